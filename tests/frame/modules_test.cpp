// Several modules in one process: libzem_pack.so, a second module with its own hidden framework copy,
// and the registry library kdm_pub_ptr.so that joins them. Each case runs in a fresh process
// (zem_module_child), so that nothing is loaded or bound before it starts.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "frame_test_util.h"

namespace {

// Runs zem_module_child with the case and its argument; its exit code, -1 when it did not exit.
int Run_Child(const std::string& which, const std::string& arg) {
  const std::string exe = Bin() + "/zem_module_child";
  std::fflush(stdout), std::fflush(stderr);
  pid_t pid = fork();
  if (pid == 0) {
    execl(exe.c_str(), exe.c_str(), which.c_str(), arg.c_str(), static_cast<char*>(nullptr)), _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A folder without the registry library.
std::string Make_Empty_Dir() {
  char tmpl[] = "/tmp/zem_no_registry.XXXXXX";
  const char* d = mkdtemp(tmpl);
  return d ? d : "/nonexistent";
}

TEST(Modules, EachCaseInAFreshProcess) {
  const std::string empty = Make_Empty_Dir();
  const std::string log_file = empty + "/zem.log";
  const struct { const char* which; std::string arg; } rows[] = {
      {"shared", ""},            // two copies bound to kdm_pub_ptr.so share every singleton
      {"absent", empty},         // without it each copy has its own
      {"init_twice", ""},        // Init_Tfa twice creates nothing the second time
      {"thread_mgr_first", ""},  // a registered "thread_mgr" is used, not replaced
      {"host_func", ""},         // a host function registered with kdm_pub_ptr.so reaches the package
      {"shared_log", log_file},  // ZEM_LOG_FILE: the shared log writes to the file
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.which);
    EXPECT_EQ(Run_Child(r.which, r.arg), 0) << "0 expected; otherwise the failed line of module_child.cpp";
  }
  EXPECT_EQ(Read_File(log_file), "from the second module\n");
  std::remove(log_file.c_str()), rmdir(empty.c_str());
  EXPECT_EQ(Run_Child("no_such_case", ""), 2);
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
  const struct { const char* file; std::vector<const char*> present, absent; } rows[] = {
      {"libzem_pack.so", {"Init_Tfa", "F_Dll_Ver", "F_Std_Ver", "F_Mid_Ver", "Init_Dict_Select_Handle",
                          "App_Set_Pub_Ptr", "App_Get_Pub_Ptr", "Initialize", "Finalize", "Zem_Register_Units"}, {}},
      {"kdm_pub_ptr.so", {"App_Set_Pub_Ptr", "App_Get_Pub_Ptr"}, {"Init_Tfa"}},
      // The second module's framework copy is hidden.
      {"libzem_second.so", {"Second_Startup", "Second_Get"},
       {"App_Set_Pub_Ptr", "App_Get_Pub_Ptr", "Init_Tfa", "Zem_Get_Shared_Ptr"}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.file);
    std::set<std::string> names = Exported(Bin() + "/" + r.file);
    ASSERT_FALSE(names.empty());
    for (const char* n : r.present) EXPECT_EQ(names.count(n), 1u) << n;
    for (const char* n : r.absent) EXPECT_EQ(names.count(n), 0u) << n;
  }
}

}  // namespace
