// T_Dll over dlopen/dlsym; dlerror() gives the system's message for a failed load.
#include "frame/t_dll.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include "frame/log_mgr.h"

int T_Dll::Load(const char* file_name) {
  if (handle_) Free();
  if (!file_name) file_name = "";
  std::snprintf(file_name_, sizeof file_name_, "%s", file_name);
  dlerror();  // clear a stale message so the one logged belongs to this load
  // RTLD_LOCAL: each library keeps its own symbols, so several framework copies never merge.
  handle_ = dlopen(file_name_, RTLD_NOW | RTLD_LOCAL);
  if (handle_) {
    std::printf("LOAD %s OK\n", file_name_);
    std::fflush(stdout);
    return 1;
  }
  const char* msg = dlerror();
  TLog_Mgr* log = Log_Mgr();
  log->Printf("unable to LOAD %s \n", file_name_);
  log->Printf("%s\n", msg ? msg : "unknown error");
  return 0;
}

void* T_Dll::Get_Ptr(const char* name) {
  if (!name) name = "";
  if (!handle_) {
    std::printf("no dll loaded,unable to get module %s\n", name);
    std::fflush(stdout);
    return nullptr;
  }
  void* p = nullptr;
  if (name[0] != '_') {
    // Libraries built with a leading-underscore convention export "_name"; try that form first.
    char decorated[512];
    std::snprintf(decorated, sizeof decorated, "_%s", name);
    p = dlsym(handle_, decorated);
    if (!p) p = dlsym(handle_, name);
  } else {
    p = dlsym(handle_, name);
  }
  if (!p) {
    std::printf("unable to get ptr of module '%s' in lib %s\n", name, file_name_);
    std::fflush(stdout);
  }
  return p;
}

int T_Dll::Free() {
  if (!handle_) return 0;
  dlclose(handle_);
  handle_ = nullptr;
  return 1;
}
