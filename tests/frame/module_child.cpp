// The child side of the module tests: a fresh process per case (nothing loaded or bound before), that
// opens libzem_pack.so, the second module and kdm_pub_ptr.so itself and checks how they meet.
// Usage: zem_module_child <case> [argument]. Exit code 0 when every check held, else the line of the
// first failed check (also written to standard error), 2 for an unknown case.
#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bin_dir.h"
#include "frame/host_funcs.h"
#include "frame/startup/zem_names.h"

namespace {

#define CHILD_CHECK(cond)                                         \
  do {                                                            \
    if (!(cond)) {                                                \
      std::fprintf(stderr, "child check failed: %s\n", #cond);   \
      return __LINE__ > 255 ? 255 : __LINE__;                     \
    }                                                             \
  } while (0)

typedef int (*Int_Fn)();
typedef void* (*Get_Fn)(const char*);
typedef int (*Set_Fn)(const char*, void*);
typedef const char* (*Name_Fn)(int);

// One module opened here, and its C entry points.
struct Module {
  void* handle = nullptr;
  template <class Fn>
  Fn Sym(const char* name) const {
    return reinterpret_cast<Fn>(dlsym(handle, name));
  }
};

Module Open(const std::string& file) {
  Module m;
  m.handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!m.handle) std::fprintf(stderr, "%s\n", dlerror());
  return m;
}

const std::string& Bin() {
  static const std::string dir = Test_Bin_Dir();
  return dir;
}

// A host double for "gui_inp_str_w": answers a fixed text.
int Host_Inp_Str_W(const char16_t*, char16_t* buffer, int max_len, const char16_t*) {
  const char16_t text[] = u"查找";
  if (max_len < 2) return 0;
  std::memcpy(buffer, text, sizeof text);
  return 1;
}

// Two copies bound to one registry library share every singleton.
int Case_shared(const std::string& arg) {
  (void)arg;
  setenv("TARVOK_DLL_PATH", Bin().c_str(), 1);
  Module pack = Open(Bin() + "/libzem_pack.so");
  Module second = Open(Bin() + "/libzem_second.so");
  CHILD_CHECK(pack.handle && second.handle);
  CHILD_CHECK(pack.Sym<Int_Fn>("Init_Tfa")() == 1);
  CHILD_CHECK(pack.Sym<Int_Fn>("Zem_Startup_Created_Count")() == kZem_Startup_Name_Count);
  CHILD_CHECK(second.Sym<Int_Fn>("Second_Startup")() == 1);
  CHILD_CHECK(second.Sym<Int_Fn>("Second_Is_Shared")() == 1);
  // The second module found everything the package made.
  CHILD_CHECK(second.Sym<Int_Fn>("Second_Created_Count")() == 0);
  Get_Fn pack_get = pack.Sym<Get_Fn>("Zem_Get_Shared_Ptr");
  Get_Fn second_get = second.Sym<Get_Fn>("Second_Get");
  for (const char* name : kZem_Startup_Names) {
    CHILD_CHECK(pack_get(name) != nullptr);
    CHILD_CHECK(pack_get(name) == second_get(name));
  }
  CHILD_CHECK(second.Sym<Get_Fn>("Second_Log_Mgr")(nullptr) == pack_get("log_mgr"));
  // A name registered by one module is seen by the other, and by the registry library itself.
  static int token;
  CHILD_CHECK(second.Sym<Set_Fn>("Second_Reg")("modules_test.token", &token) == 1);
  CHILD_CHECK(pack_get("modules_test.token") == &token);
  Module kdm = Open(Bin() + "/kdm_pub_ptr.so");
  CHILD_CHECK(kdm.Sym<Get_Fn>("App_Get_Pub_Ptr")("modules_test.token") == &token);
  // The package's own local table stays empty of it: registrations went to the shared table.
  CHILD_CHECK(pack.Sym<Get_Fn>("App_Get_Pub_Ptr")("modules_test.token") == nullptr);
  return 0;

}

// arg: a folder without the registry library; each copy keeps its own singletons.
int Case_absent(const std::string& arg) {
  (void)arg;
  const std::string& empty = arg;
  setenv("TARVOK_DLL_PATH", empty.c_str(), 1);
  Module pack = Open(Bin() + "/libzem_pack.so");
  Module second = Open(Bin() + "/libzem_second.so");
  CHILD_CHECK(pack.handle && second.handle);
  CHILD_CHECK(pack.Sym<Int_Fn>("Init_Tfa")() == 1);
  CHILD_CHECK(second.Sym<Int_Fn>("Second_Startup")() == 1);
  CHILD_CHECK(second.Sym<Int_Fn>("Second_Is_Shared")() == 0);
  CHILD_CHECK(pack.Sym<Int_Fn>("Zem_Startup_Created_Count")() == kZem_Startup_Name_Count);
  CHILD_CHECK(second.Sym<Int_Fn>("Second_Created_Count")() == kZem_Startup_Name_Count);
  Get_Fn pack_get = pack.Sym<Get_Fn>("Zem_Get_Shared_Ptr");
  Get_Fn second_get = second.Sym<Get_Fn>("Second_Get");
  for (const char* name : kZem_Startup_Names) {
    CHILD_CHECK(pack_get(name) && second_get(name));
    CHILD_CHECK(pack_get(name) != second_get(name));
  }
  // Unbound, the package's look-ups read its local table.
  CHILD_CHECK(pack.Sym<Get_Fn>("App_Get_Pub_Ptr")("log_mgr") == pack_get("log_mgr"));
  return 0;

}

// Init_Tfa twice: everything created once, in the start-up order.
int Case_init_twice(const std::string& arg) {
  (void)arg;
  setenv("TARVOK_DLL_PATH", Bin().c_str(), 1);
  Module pack = Open(Bin() + "/libzem_pack.so");
  CHILD_CHECK(pack.handle);
  Int_Fn init = pack.Sym<Int_Fn>("Init_Tfa");
  Int_Fn count = pack.Sym<Int_Fn>("Zem_Startup_Created_Count");
  Name_Fn name = pack.Sym<Name_Fn>("Zem_Startup_Created_Name");
  CHILD_CHECK(count() == 0);
  CHILD_CHECK(init() == 1);
  CHILD_CHECK(count() == kZem_Startup_Name_Count);
  for (int i = 0; i < kZem_Startup_Name_Count; i++)
    CHILD_CHECK(std::strcmp(name(i), kZem_Startup_Names[i]) == 0);
  CHILD_CHECK(init() == 1);
  CHILD_CHECK(count() == kZem_Startup_Name_Count);
  return 0;

}

// A thread manager registered by another module first is used, not replaced.
int Case_thread_mgr_first(const std::string& arg) {
  (void)arg;
  setenv("TARVOK_DLL_PATH", Bin().c_str(), 1);
  // Another module of the process registered its thread manager first.
  Module kdm = Open(Bin() + "/kdm_pub_ptr.so");
  CHILD_CHECK(kdm.handle);
  static int other_thread_mgr;
  CHILD_CHECK(kdm.Sym<Set_Fn>("App_Set_Pub_Ptr")("thread_mgr", &other_thread_mgr) == 1);

  Module pack = Open(Bin() + "/libzem_pack.so");
  CHILD_CHECK(pack.handle);
  CHILD_CHECK(pack.Sym<Int_Fn>("Init_Tfa")() == 1);
  CHILD_CHECK(pack.Sym<Get_Fn>("Zem_Get_Shared_Ptr")("thread_mgr") == &other_thread_mgr);
  Int_Fn count = pack.Sym<Int_Fn>("Zem_Startup_Created_Count");
  Name_Fn name = pack.Sym<Name_Fn>("Zem_Startup_Created_Name");
  CHILD_CHECK(count() == kZem_Startup_Name_Count - 1);
  for (int i = 0; i < count(); i++) CHILD_CHECK(std::strcmp(name(i), "thread_mgr") != 0);
  return 0;

}

// arg: the log file named by ZEM_LOG_FILE; the second module writes through the shared log.
int Case_shared_log(const std::string& arg) {
  (void)arg;
  setenv("TARVOK_DLL_PATH", Bin().c_str(), 1);
  setenv("ZEM_LOG_FILE", arg.c_str(), 1);
  Module pack = Open(Bin() + "/libzem_pack.so");
  Module second = Open(Bin() + "/libzem_second.so");
  CHILD_CHECK(pack.handle && second.handle);
  CHILD_CHECK(pack.Sym<Int_Fn>("Init_Tfa")() == 1);
  // The second module writes through the package's log, which the start-up sent to the file.
  typedef void (*Log_Fn)(const char*);
  second.Sym<Log_Fn>("Second_Log")("from the second module\n");
  return 0;

}

// A host function registered with the registry library is found by the package.
int Case_host_func(const std::string& arg) {
  (void)arg;
  setenv("TARVOK_DLL_PATH", Bin().c_str(), 1);
  Module kdm = Open(Bin() + "/kdm_pub_ptr.so");
  Module pack = Open(Bin() + "/libzem_pack.so");
  CHILD_CHECK(kdm.handle && pack.handle);
  Gui_Inp_Str_W_Fn fn = Host_Inp_Str_W;
  CHILD_CHECK(kdm.Sym<Set_Fn>("App_Set_Pub_Ptr")(kGui_Inp_Str_W, reinterpret_cast<void*>(fn)));
  auto found = reinterpret_cast<Gui_Inp_Str_W_Fn>(
      pack.Sym<Get_Fn>("Zem_Get_Shared_Ptr")(kGui_Inp_Str_W));
  CHILD_CHECK(found == fn);
  char16_t buffer[61] = u"";
  CHILD_CHECK(found(u"查找内容", buffer, 60, nullptr) == 1);
  CHILD_CHECK(std::u16string(buffer) == u"查找");
  return 0;

}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string which = argv[1];
  const std::string arg = argc > 2 ? argv[2] : "";
  struct Case {
    const char* name;
    int (*run)(const std::string&);
  };
  const Case cases[] = {
      {"shared", Case_shared},
      {"absent", Case_absent},
      {"init_twice", Case_init_twice},
      {"thread_mgr_first", Case_thread_mgr_first},
      {"shared_log", Case_shared_log},
      {"host_func", Case_host_func},
  };
  for (const Case& c : cases)
    if (which == c.name) return c.run(arg);
  std::fprintf(stderr, "unknown case %s\n", which.c_str());
  return 2;
}
