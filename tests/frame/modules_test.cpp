// Several modules in one process: libzem_pack.so, a second module with its own hidden framework copy,
// and the registry library kdm_pub_ptr.so that joins them. Every case runs in a child process so that
// each module binds afresh; the child exits with the line of the first failed check (0 when all hold).
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>

#include "bin_dir.h"
#include "frame/host_funcs.h"
#include "frame/startup/zem_names.h"

namespace {

#define CHILD_CHECK(cond)                                              \
  do {                                                                 \
    if (!(cond)) {                                                     \
      std::fprintf(stderr, "child check failed: %s\n", #cond);        \
      return __LINE__;                                                 \
    }                                                                  \
  } while (0)

// Runs body in a child process and answers its exit code (-1 when it did not exit normally).
int Run_In_Child(const std::function<int()>& body) {
  std::fflush(stdout);
  std::fflush(stderr);
  pid_t pid = fork();
  if (pid == 0) {
    int rc = body();
    std::fflush(stdout);
    _exit(rc > 255 ? 255 : rc);  // the line is on stderr too
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One module opened in the child, and its C entry points.
struct Module {
  void* handle = nullptr;
  template <class Fn>
  Fn Sym(const char* name) const {
    return reinterpret_cast<Fn>(dlsym(handle, name));
  }
};

typedef int (*Int_Fn)();
typedef void* (*Get_Fn)(const char*);
typedef int (*Set_Fn)(const char*, void*);
typedef const char* (*Name_Fn)(int);

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

// A folder without the registry library, for the modules that must fall back to their own tables.
std::string Empty_Dir() {
  char tmpl[] = "/tmp/zem_no_registry.XXXXXX";
  const char* d = mkdtemp(tmpl);
  return d ? d : "/nonexistent";
}

TEST(Modules, SharedRegistryJoinsTheCopies) {
  int rc = Run_In_Child([] {
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
  });
  EXPECT_EQ(rc, 0) << "failed at line " << rc;
}

TEST(Modules, WithoutTheRegistryLibraryEachModuleHasItsOwn) {
  int rc = Run_In_Child([] {
    const std::string empty = Empty_Dir();
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
    rmdir(empty.c_str());
    return 0;
  });
  EXPECT_EQ(rc, 0) << "failed at line " << rc;
}

TEST(Modules, InitTfaTwiceCreatesNothingTheSecondTime) {
  int rc = Run_In_Child([] {
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
  });
  EXPECT_EQ(rc, 0) << "failed at line " << rc;
}

TEST(Modules, StartupUsesAThreadManagerAlreadyRegistered) {
  int rc = Run_In_Child([] {
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
  });
  EXPECT_EQ(rc, 0) << "failed at line " << rc;
}

TEST(Modules, SharedLogGoesToTheConfiguredFile) {
  const std::string dir = Empty_Dir();
  const std::string file = dir + "/zem.log";
  int rc = Run_In_Child([&] {
    setenv("TARVOK_DLL_PATH", Bin().c_str(), 1);
    setenv("ZEM_LOG_FILE", file.c_str(), 1);
    Module pack = Open(Bin() + "/libzem_pack.so");
    Module second = Open(Bin() + "/libzem_second.so");
    CHILD_CHECK(pack.handle && second.handle);
    CHILD_CHECK(pack.Sym<Int_Fn>("Init_Tfa")() == 1);
    // The second module writes through the package's log, which the start-up sent to the file.
    typedef void (*Log_Fn)(const char*);
    second.Sym<Log_Fn>("Second_Log")("from the second module\n");
    return 0;
  });
  EXPECT_EQ(rc, 0) << "failed at line " << rc;
  std::string text;
  if (FILE* f = std::fopen(file.c_str(), "rb")) {
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
  }
  EXPECT_EQ(text, "from the second module\n");
  std::remove(file.c_str());
  rmdir(dir.c_str());
}

// A host double for "gui_inp_str_w": answers a fixed text.
int Host_Inp_Str_W(const char16_t*, char16_t* buffer, int max_len, const char16_t*) {
  const char16_t text[] = u"查找";
  if (max_len < 2) return 0;
  std::memcpy(buffer, text, sizeof text);
  return 1;
}

TEST(Modules, PackageFindsAHostFunctionRegisteredByTheHost) {
  int rc = Run_In_Child([] {
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
  });
  EXPECT_EQ(rc, 0) << "failed at line " << rc;
}

// The dynamic symbols a file defines, read with nm -D.
std::set<std::string> Exported(const std::string& file) {
  std::set<std::string> names;
  std::string cmd = "nm -D --defined-only '" + file + "' 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return names;
  char line[1024];
  while (std::fgets(line, sizeof line, p)) {
    char addr[64], kind[8], name[900];
    if (std::sscanf(line, "%63s %7s %899s", addr, kind, name) == 3) names.insert(name);
  }
  pclose(p);
  return names;
}

TEST(Modules, ExportedCNames) {
  struct Row {
    const char* file;
    std::vector<const char*> present;
    std::vector<const char*> absent;
  };
  const Row rows[] = {
      {"libzem_pack.so",
       {"Init_Tfa", "F_Dll_Ver", "F_Std_Ver", "F_Mid_Ver", "Init_Dict_Select_Handle",
        "App_Set_Pub_Ptr", "App_Get_Pub_Ptr", "Initialize", "Finalize", "Zem_Register_Units"},
       {}},
      {"kdm_pub_ptr.so", {"App_Set_Pub_Ptr", "App_Get_Pub_Ptr"}, {"Init_Tfa"}},
      // The second module's framework copy is hidden.
      {"libzem_second.so",
       {"Second_Startup", "Second_Get"},
       {"App_Set_Pub_Ptr", "App_Get_Pub_Ptr", "Init_Tfa", "Zem_Get_Shared_Ptr"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.file);
    std::set<std::string> names = Exported(Bin() + "/" + r.file);
    ASSERT_FALSE(names.empty());
    for (const char* n : r.present) EXPECT_EQ(names.count(n), 1u) << n;
    for (const char* n : r.absent) EXPECT_EQ(names.count(n), 0u) << n;
  }
}

}  // namespace
