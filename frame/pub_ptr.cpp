// The module's registry: its local table and its one-time binding to the process-wide registry library.
#include "frame/pub_ptr.h"
#include "frame/singleton.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frame/pub_table.h"
#include "frame/t_dll.h"

namespace {

TPub_Table g_local;  // zero-initialized static storage: usable before constructors run

typedef int (*Set_Fn)(const char*, void*);
typedef void* (*Get_Fn)(const char*);

// Binding state of this module: tried once, whatever the outcome.
bool g_bind_tried = false;
Set_Fn g_shared_set = nullptr;
Get_Fn g_shared_get = nullptr;

void Bind_Once() {
  if (g_bind_tried) return;
  // Set first: loading may write to the framework log, which itself goes through the registry.
  g_bind_tried = true;
  char file[1024];
  Dll_Get_File_Name("kdm_pub_ptr", file);
  // The registry library stays loaded for the life of the process (T_Dll never unloads on its own).
  static T_Dll* dll = new T_Dll();
  if (!dll->Load(file)) return;
  g_shared_set = reinterpret_cast<Set_Fn>(dll->Get_Ptr("App_Set_Pub_Ptr"));
  g_shared_get = reinterpret_cast<Get_Fn>(dll->Get_Ptr("App_Get_Pub_Ptr"));
}

// Names this module's singleton pattern created, in order; never destroyed, like the singletons.
std::vector<std::string>& Created() {
  static std::vector<std::string>* list = new std::vector<std::string>();
  return *list;
}

// Replaces the first occurrence of from in s by to (to is shorter).
void Reduce_Once(char* s, const char* from, const char* to) {
  char* p = std::strstr(s, from);
  if (!p) return;
  size_t from_len = std::strlen(from), to_len = std::strlen(to);
  std::memcpy(p, to, to_len);
  std::memmove(p + to_len, p + from_len, std::strlen(p + from_len) + 1);
}

}  // namespace

extern "C" int App_Set_Pub_Ptr(const char* name, void* ptr) { return g_local.Set(name, ptr); }

extern "C" void* App_Get_Pub_Ptr(const char* name) { return g_local.Get(name); }

int Reg_Pub_Ptr(const char* name, void* ptr) {
  Bind_Once();
  if (g_shared_set) return g_shared_set(name, ptr);
  return App_Set_Pub_Ptr(name, ptr);
}

void* Get_Pub_Ptr(const char* name) {
  Bind_Once();
  if (g_shared_get) return g_shared_get(name);
  return App_Get_Pub_Ptr(name);
}

bool Pub_Ptr_Is_Shared() {
  Bind_Once();
  return g_shared_set != nullptr || g_shared_get != nullptr;
}

extern "C" int Zem_Reg_Shared_Ptr(const char* name, void* ptr) { return Reg_Pub_Ptr(name, ptr); }

extern "C" void* Zem_Get_Shared_Ptr(const char* name) { return Get_Pub_Ptr(name); }

std::recursive_mutex& Zem_Singleton_Lock() {
  static std::recursive_mutex lock;
  return lock;
}

void Pub_Ptr_Note_Created(const char* name) { Created().push_back(name ? name : ""); }

int Pub_Ptr_Created_Count() { return static_cast<int>(Created().size()); }

const char* Pub_Ptr_Created_Name(int index) {
  if (index < 0 || index >= Pub_Ptr_Created_Count()) return nullptr;
  return Created()[static_cast<size_t>(index)].c_str();
}

char* Dll_Get_File_Name(const char* base_name, char* buffer) {
  const int kSize = 1024;
  if (!buffer) return buffer;
  if (!base_name) base_name = "";
  const char* dir = std::getenv("TARVOK_DLL_PATH");
  if (!dir) {
    std::printf("Dll_Get_File_Name dll path not set\n");
    std::fflush(stdout);
    std::snprintf(buffer, kSize, "%s.so", base_name);
  } else {
    std::snprintf(buffer, kSize, "%s/%s.so", dir, base_name);
  }
  Reduce_Once(buffer, ".so.so", ".so");
  return buffer;
}
