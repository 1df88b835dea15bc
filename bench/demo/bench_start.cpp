// The demo's start to its first painted window, beside a bare Qt program that opens the same SQLite
// file and shows its vouchers in a QTableView (bench_start_anchor): target at most 2x. Each program
// runs as a user starts it, a process of its own on the platform of QT_QPA_PLATFORM (offscreen unless
// set), and tells its first paint itself (ZEM_FIRST_PAINT: a line with the monotonic clock's time, then
// it quits); the figure runs from just before the process is made to that time, wall time, since a start
// reads files and the least of the rounds is the one the machine disturbed least. The CPU time the
// process spent by its exit is printed beside. Before the rounds the demo starts once to make its sample
// database in a fresh home folder (and both programs' files are then in the system's cache).
#include "bench/bench_summary.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

using namespace zem_bench;

namespace {

std::string g_bin;   // the folder of the programs
std::string g_home;  // the demo's home folder, its database zem_demo.db inside

double Monotonic() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// One start of a program: seconds to its first paint, the CPU seconds it used; false when it failed.
struct Start {
  double paint = 0, cpu = 0;
  bool ok = false;
};

Start Start_Program(const std::vector<std::string>& args, bool mark = true) {
  Start out;
  int fds[2];
  if (pipe(fds) != 0) return out;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::vector<std::string> env_text;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "ZEM_FIRST_PAINT=", 16) != 0) env_text.emplace_back(*e);
  if (mark) env_text.emplace_back("ZEM_FIRST_PAINT=1");
  std::vector<char*> env, argv;
  for (std::string& e : env_text) env.push_back(e.data());
  env.push_back(nullptr);
  std::vector<std::string> arg_text = args;
  for (std::string& a : arg_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const double t0 = Monotonic();
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string said;
  char buf[512];
  for (ssize_t n; spawned == 0 && (n = read(fds[0], buf, sizeof buf)) > 0;) said.append(buf, size_t(n));
  close(fds[0]);
  if (spawned != 0) return out;
  int status = 0;
  rusage use{};
  wait4(pid, &status, 0, &use);
  out.cpu = double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) + double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) * 1e-6;
  const size_t at = said.find("first paint ");
  out.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && (!mark || at != std::string::npos);
  if (mark && at != std::string::npos) out.paint = std::atof(said.c_str() + at + 12) - t0;
  if (!out.ok) std::fprintf(stderr, "%s: exit %d, said: %s\n", args[0].c_str(), status, said.c_str());
  return out;
}

void Measure(benchmark::State& state, const std::vector<std::string>& args, const char* figure) {
  for (auto _ : state) {
    const Start s = Start_Program(args);
    Check(s.ok && s.paint > 0, figure);
    if (!s.ok) {
      state.SkipWithError("the program did not paint");
      return;
    }
    Keep(figure, s.paint);
    Keep(std::string(figure) + "_cpu", s.cpu);
  }
}

void BM_Start_Bare_QTableView(benchmark::State& state) {
  Measure(state, {g_bin + "/bench_start_anchor", g_home + "/zem_demo.db"}, "start_anchor");
}

void BM_Start_Demo(benchmark::State& state) { Measure(state, {g_bin + "/zem_demo", "--home", g_home}, "start"); }

void Print(const Summary&) {
  const Form wall{"ms", 1, 2, "anchor, wall time"};
  Line("zem_demo start to its first painted window", Fig("start"), "bare Qt program, QTableView of the vouchers",
       Fig("start_anchor"), "<= 2x", wall);
  Line("zem_demo start, CPU time to its exit", Fig("start_cpu"), "bare Qt program", Fig("start_anchor_cpu"), nullptr,
       {"ms", 1, 2, "anchor, CPU time"});
}

}  // namespace

BENCHMARK(BM_Start_Bare_QTableView)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Start_Demo)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  g_bin = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
  char home[] = "/tmp/zem-bench-start-XXXXXX";
  if (!mkdtemp(home)) return 1;
  g_home = home;
  // The sample database made once, outside the figures.
  const std::string shot = g_home + "/first.png";
  const Start first = Start_Program({g_bin + "/zem_demo", "--home", g_home, "--screenshot", shot}, false);
  int rc = 1;
  if (!first.ok || !std::filesystem::exists(g_home + "/zem_demo.db")) {
    std::fprintf(stderr, "CHECK FAILED: the demo did not make its database in %s\n", home);
  } else {
    rc = Run(argc, argv, Print);
  }
  std::error_code ec;
  std::filesystem::remove_all(g_home, ec);
  return rc;
}
