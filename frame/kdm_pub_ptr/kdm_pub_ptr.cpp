// The process-wide registry library: one table that every bound module registers into and reads from.
#include "frame/pub_table.h"

namespace {
TPub_Table g_table;  // zero-initialized static storage
}

extern "C" __attribute__((visibility("default"))) int App_Set_Pub_Ptr(const char* name, void* ptr) {
  return g_table.Set(name, ptr);
}

extern "C" __attribute__((visibility("default"))) void* App_Get_Pub_Ptr(const char* name) {
  return g_table.Get(name);
}
