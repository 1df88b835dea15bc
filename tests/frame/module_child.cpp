// The child side of the module tests: a fresh process per case (nothing loaded or bound before), that
// opens libzem_pack.so, the second module and kdm_pub_ptr.so itself and checks how they meet.
// Usage: zem_module_child <case> [argument]. Exit code 0 when every check held, else the line of the
// first failed check (also written to standard error), 2 for an unknown case.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "frame/host_funcs.h"
#include "frame/startup/zem_names.h"
#include "frame_test_util.h"

namespace {

#define CHILD_CHECK(cond)                                       \
  do {                                                          \
    if (!(cond)) {                                              \
      std::fprintf(stderr, "child check failed: %s\n", #cond); \
      return __LINE__ > 255 ? 255 : __LINE__;                   \
    }                                                           \
  } while (0)

typedef int (*Int_Fn)();
typedef void* (*Get_Fn)(const char*);
typedef int (*Set_Fn)(const char*, void*);
typedef const char* (*Name_Fn)(int);

// One module of the binary's folder opened here, and its C entry points.
struct Module {
  explicit Module(const char* file) : handle(dlopen((Bin() + "/" + file).c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (!handle) std::fprintf(stderr, "%s\n", dlerror());
  }
  template <class Fn>
  Fn Sym(const char* name) const {
    return reinterpret_cast<Fn>(dlsym(handle, name));
  }
  void* handle;
};

// Points the package at the registry library's folder (dir, or the binary's own).
void Use_Registry_Dir(const std::string& dir) {
  setenv("TARVOK_DLL_PATH", dir.empty() ? Bin().c_str() : dir.c_str(), 1);
}

// Two framework copies, the package and the second module. Bound to one registry library (no
// argument) they share every singleton; with the argument a folder without it, each keeps its own.
int Case_copies(const std::string& arg) {
  const bool shared = arg.empty();
  Use_Registry_Dir(arg);
  Module pack("libzem_pack.so"), second("libzem_second.so");
  CHILD_CHECK(pack.handle && second.handle);
  CHILD_CHECK(pack.Sym<Int_Fn>("Init_Tfa")() == 1 && second.Sym<Int_Fn>("Second_Startup")() == 1);
  CHILD_CHECK(second.Sym<Int_Fn>("Second_Is_Shared")() == (shared ? 1 : 0));
  CHILD_CHECK(pack.Sym<Int_Fn>("Zem_Startup_Created_Count")() == kZem_Startup_Name_Count);
  // Bound, the second module finds everything the package made; unbound, it makes its own.
  CHILD_CHECK(second.Sym<Int_Fn>("Second_Created_Count")() == (shared ? 0 : kZem_Startup_Name_Count));
  Get_Fn pack_get = pack.Sym<Get_Fn>("Zem_Get_Shared_Ptr"), second_get = second.Sym<Get_Fn>("Second_Get");
  Get_Fn pack_local_get = pack.Sym<Get_Fn>("App_Get_Pub_Ptr");
  for (const char* name : kZem_Startup_Names)
    CHILD_CHECK(pack_get(name) && second_get(name) && (pack_get(name) == second_get(name)) == shared);
  CHILD_CHECK(shared || pack_local_get("log_mgr") == pack_get("log_mgr"));  // unbound: the local table
  if (!shared) return 0;
  CHILD_CHECK(second.Sym<Get_Fn>("Second_Log_Mgr")(nullptr) == pack_get("log_mgr"));
  // A name registered by one module is seen by the other, and by the registry library itself.
  static int token;
  CHILD_CHECK(second.Sym<Set_Fn>("Second_Reg")("modules_test.token", &token) == 1 && pack_get("modules_test.token") == &token);
  Module kdm("kdm_pub_ptr.so");
  CHILD_CHECK(kdm.Sym<Get_Fn>("App_Get_Pub_Ptr")("modules_test.token") == &token);
  // The package's own local table stays empty of it: registrations went to the shared table.
  CHILD_CHECK(pack_local_get("modules_test.token") == nullptr);
  return 0;
}

// Init_Tfa twice: everything created once, in the start-up order.
int Case_init_twice(const std::string&) {
  Use_Registry_Dir("");
  Module pack("libzem_pack.so");
  CHILD_CHECK(pack.handle);
  Int_Fn init = pack.Sym<Int_Fn>("Init_Tfa"), count = pack.Sym<Int_Fn>("Zem_Startup_Created_Count");
  Name_Fn name = pack.Sym<Name_Fn>("Zem_Startup_Created_Name");
  CHILD_CHECK(count() == 0 && init() == 1 && count() == kZem_Startup_Name_Count);
  for (int i = 0; i < kZem_Startup_Name_Count; i++) CHILD_CHECK(std::strcmp(name(i), kZem_Startup_Names[i]) == 0);
  CHILD_CHECK(init() == 1 && count() == kZem_Startup_Name_Count);
  return 0;
}

// A thread manager registered by another module first is used, not replaced.
int Case_thread_mgr_first(const std::string&) {
  Use_Registry_Dir("");
  Module kdm("kdm_pub_ptr.so");
  static int other_thread_mgr;
  CHILD_CHECK(kdm.handle && kdm.Sym<Set_Fn>("App_Set_Pub_Ptr")("thread_mgr", &other_thread_mgr) == 1);
  Module pack("libzem_pack.so");
  CHILD_CHECK(pack.handle && pack.Sym<Int_Fn>("Init_Tfa")() == 1);
  CHILD_CHECK(pack.Sym<Get_Fn>("Zem_Get_Shared_Ptr")("thread_mgr") == &other_thread_mgr);
  Int_Fn count = pack.Sym<Int_Fn>("Zem_Startup_Created_Count");
  Name_Fn name = pack.Sym<Name_Fn>("Zem_Startup_Created_Name");
  CHILD_CHECK(count() == kZem_Startup_Name_Count - 1);
  for (int i = 0; i < count(); i++) CHILD_CHECK(std::strcmp(name(i), "thread_mgr") != 0);
  return 0;
}

// arg: the log file named by ZEM_LOG_FILE; the second module writes through the package's log, which
// the start-up sent to the file (the parent reads it).
int Case_shared_log(const std::string& arg) {
  Use_Registry_Dir(""), setenv("ZEM_LOG_FILE", arg.c_str(), 1);
  Module pack("libzem_pack.so"), second("libzem_second.so");
  CHILD_CHECK(pack.handle && second.handle && pack.Sym<Int_Fn>("Init_Tfa")() == 1);
  second.Sym<void (*)(const char*)>("Second_Log")("from the second module\n");
  return 0;
}

// A host double for "gui_inp_str_w": answers a fixed text.
int Host_Inp_Str_W(const char16_t*, char16_t* buffer, int max_len, const char16_t*) {
  if (max_len < 2) return 0;
  std::memcpy(buffer, u"查找", sizeof u"查找");
  return 1;
}

// A host function registered with the registry library is found by the package.
int Case_host_func(const std::string&) {
  Use_Registry_Dir("");
  Module kdm("kdm_pub_ptr.so"), pack("libzem_pack.so");
  CHILD_CHECK(kdm.handle && pack.handle);
  Gui_Inp_Str_W_Fn fn = Host_Inp_Str_W;
  CHILD_CHECK(kdm.Sym<Set_Fn>("App_Set_Pub_Ptr")(kGui_Inp_Str_W, reinterpret_cast<void*>(fn)));
  auto found = reinterpret_cast<Gui_Inp_Str_W_Fn>(pack.Sym<Get_Fn>("Zem_Get_Shared_Ptr")(kGui_Inp_Str_W));
  CHILD_CHECK(found == fn);
  char16_t buffer[61] = u"";
  CHILD_CHECK(found(u"查找内容", buffer, 60, nullptr) == 1 && std::u16string(buffer) == u"查找");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string which = argv[1], arg = argc > 2 ? argv[2] : "";
  const struct { const char* name; int (*run)(const std::string&); } cases[] = {
      {"shared", Case_copies},           {"absent", Case_copies},         {"init_twice", Case_init_twice},
      {"thread_mgr_first", Case_thread_mgr_first}, {"shared_log", Case_shared_log}, {"host_func", Case_host_func},
  };
  for (const auto& c : cases)
    if (which == c.name) return c.run(which == "shared" ? "" : arg);
  std::fprintf(stderr, "unknown case %s\n", which.c_str());
  return 2;
}
