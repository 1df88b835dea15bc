// What every benchmark program shares: the figures it gathers, the check of its answers, the CPU timer,
// the summary printed after Google Benchmark's table (each figure beside its anchor with its target, and
// the machine it ran on) and main's run. Figures come two ways: Google Benchmark's own runs, read back
// from the Summary by benchmark name, or a program's own timing of one part of an iteration, kept in
// g_sec by figure name.
//
// How a figure is measured, so that it holds on a shared machine and on another CPU: main runs every
// registered benchmark in rounds (five by default), each round all of them in registration order, so a
// figure and its anchor take turns and a busy moment of the machine falls on both sides; each figure is
// the least over the rounds (the run the neighbours disturbed least). Work done in this process is timed
// in CPU seconds, which other processes do not lengthen; only work that waits on another process (a
// database server, a window system) is timed on the wall clock. Memory a run frees stays with the
// process for the next run (the C library gives none back to the system, and takes large blocks from
// its heap rather than mapping each afresh): what a page fault costs differs tenfold between machines
// and virtual machines, and a figure that paid the system for fresh pages on every run measured that
// rather than our code (a split of 100,000 rows into cells spent three quarters of its time there).
// The first round pays for the pages; the least of the rounds does not.
#pragma once

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace zem_bench {

inline std::map<std::string, double> g_sec;  // figures a program times itself: seconds (or bytes) by name
inline bool g_ok = true;                     // every answer was right; else the program exits with 1

// Keeps in *m the best of the runs of a figure: the least of its times, the most of its rates (the
// run disturbed least either way).
inline void Keep_Best(std::map<std::string, double>* m, const std::string& name, double v, bool most) {
  auto [it, fresh] = m->emplace(name, v);
  if (!fresh) it->second = most ? std::max(it->second, v) : std::min(it->second, v);
}

// Keeps a figure a program timed itself: the least of every run of it (each round runs it again).
inline void Keep(const std::string& name, double v) { Keep_Best(&g_sec, name, v, false); }

// The same for a rate (calls a second): the most of every run.
inline void Keep_Most(const std::string& name, double v) { Keep_Best(&g_sec, name, v, true); }

inline void Check(bool ok, const char* what) {
  if (!ok) {
    g_ok = false;
    std::fprintf(stderr, "CHECK FAILED: %s\n", what);
  }
}

// CPU seconds of this thread: a figure and its anchor are measured alike, and other processes on a
// shared machine do not weigh in.
inline double Cpu_Seconds(clockid_t clock = CLOCK_THREAD_CPUTIME_ID) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

template <class F>
double Timed(F f, clockid_t clock = CLOCK_THREAD_CPUTIME_ID) {
  const double t0 = Cpu_Seconds(clock);
  f();
  return Cpu_Seconds(clock) - t0;
}

// A figure of g_sec scaled to the unit it is printed in (milliseconds by default); 0 when it did not run.
inline double Fig(const std::string& name, double scale = 1e3) {
  auto it = g_sec.find(name);
  return it == g_sec.end() ? 0 : it->second * scale;
}

// How a figure and its anchor are printed: their unit and decimals, the ratio's decimals, and the note
// after the anchor's figure.
struct Form {
  const char* unit = "ms";
  int digits = 1;
  int ratio_digits = 3;
  const char* note = "anchor";
};

// Whether a target ("<= 0.25x", ">= 3x", "<= 2 ms") holds: one ending in x is on the ratio, any other on
// the figure itself, in the unit it is printed in.
inline bool Holds(const char* target, double value, double ratio) {
  char op[3] = "", unit[8] = "";
  double limit = 0;
  if (std::sscanf(target, "%2s %lf%7s", op, &limit, unit) < 2) return false;
  const double v = std::string(unit) == "x" ? ratio : value;
  return op[0] == '<' ? v <= limit : v >= limit;
}

// The machine a run measured: CPU model (with its family and model numbers: a virtual machine's model
// name may say little more than the maker), CPU count, cache sizes, and the load of the machine when
// the run ended, e.g. "Machine: AMD EPYC (family 25, model 1), 2 CPUs; caches L1d 48 KiB, L1i 32 KiB,
// L2 1024 KiB, L3 32768 KiB; load 1.60". Caches come from the kernel's per-CPU cache folder; a virtual
// machine often has none, and then from the C library, which asks the processor.
inline std::string Machine() {
  std::string model = "unknown CPU", family, number;
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line) && !line.empty();) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon + 2 > line.size()) continue;
    const std::string key = line.substr(0, line.find_first_of("\t:")), value = line.substr(colon + 2);
    if (key == "model name") model = value;
    else if (key == "cpu family") family = value;
    else if (key == "model") number = value;
  }
  if (!family.empty() && !number.empty()) model += " (family " + family + ", model " + number + ")";
  auto kib = [](long bytes) { return std::to_string(bytes / 1024) + " KiB"; };
  std::string caches;
  const std::string dir = "/sys/devices/system/cpu/cpu0/cache/index";
  for (int i = 0; i < 8; ++i) {
    std::ifstream level(dir + std::to_string(i) + "/level"), type(dir + std::to_string(i) + "/type"),
        size(dir + std::to_string(i) + "/size");
    std::string l, t, z;
    if (!(level >> l) || !(type >> t) || !(size >> z)) break;
    const std::string kind = t == "Data" ? "d" : t == "Instruction" ? "i" : "";
    if (!z.empty() && z.back() == 'K') z.replace(z.size() - 1, 1, " KiB");
    caches += (caches.empty() ? "" : ", ") + ("L" + l + kind + " " + z);
  }
  if (caches.empty()) {
    const std::pair<const char*, int> named[] = {{"L1d", _SC_LEVEL1_DCACHE_SIZE}, {"L1i", _SC_LEVEL1_ICACHE_SIZE},
                                                 {"L2", _SC_LEVEL2_CACHE_SIZE}, {"L3", _SC_LEVEL3_CACHE_SIZE}};
    for (const auto& [name, key] : named) {
      const long bytes = sysconf(key);
      if (bytes > 0) caches += (caches.empty() ? "" : ", ") + (name + (" " + kib(bytes)));
    }
  }
  double load = -1;
  if (FILE* f = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(f, "%lf", &load) != 1) load = -1;
    std::fclose(f);
  }
  char tail[64] = "";
  if (load >= 0) std::snprintf(tail, sizeof tail, "; load %.2f", load);
  return "Machine: " + model + ", " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " CPUs; caches " +
         (caches.empty() ? "unknown" : caches) + tail;
}

// One summary line, the form every benchmark prints:
//   "<what> 12.3 ms, <anchor_what> 80.1 ms (anchor), ratio 0.154x (target <= 0.25x) ok"
// ending at the ratio when there is no target, MISSED when the target does not hold. A figure that is
// missing (its benchmark did not run) gives "<what>: not run".
inline void Line(const char* what, double value, const char* anchor_what, double anchor,
                 const char* target = nullptr, const Form& f = Form()) {
  if (value <= 0 || anchor <= 0) {
    std::printf("%s: not run\n", what);
    return;
  }
  const double ratio = value / anchor;
  std::printf("%s %.*f %s, %s %.*f %s (%s), ratio %.*fx", what, f.digits, value, f.unit, anchor_what, f.digits,
              anchor, f.unit, f.note, f.ratio_digits, ratio);
  if (target) std::printf(" (target %s) %s", target, Holds(target, value, ratio) ? "ok" : "MISSED");
  std::printf("\n");
}

// Google Benchmark's table as usual (one block of rows a round), then the machine and the program's
// summary lines. Each run is kept by benchmark name: CPU and wall seconds per iteration, the least over
// rounds and repetitions (on a shared machine the others measure the neighbours), and its
// bytes_per_second counter, the most over them. A run that failed its check fails the program; one
// skipped because ZEM_PG_CONNINFO names no server does not (its line says it was not run).
class Summary : public benchmark::ConsoleReporter {
 public:
  using Print = std::function<void(const Summary&)>;
  explicit Summary(Print print) : print_(std::move(print)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred) {
        failed_ = failed_ || r.error_message.find("ZEM_PG_CONNINFO") == std::string::npos;
        continue;
      }
      const double unit = benchmark::GetTimeUnitMultiplier(r.time_unit);
      Keep_Best(&cpu_, r.benchmark_name(), r.GetAdjustedCPUTime() / unit, false);
      Keep_Best(&real_, r.benchmark_name(), r.GetAdjustedRealTime() / unit, false);
      auto it = r.counters.find("bytes_per_second");
      if (it != r.counters.end()) Keep_Best(&mbps_, r.benchmark_name(), it->second.value / 1e6, true);
    }
  }
  // The machine's description is printed once, not every round.
  bool ReportContext(const Context& context) override {
    if (printed_context_) {
      name_field_width_ = context.name_field_width;
      return true;
    }
    printed_context_ = true;
    return ConsoleReporter::ReportContext(context);
  }
  // After the last round: the machine, then the figures.
  void Print_Figures() {
    std::printf("\n%s\n", Machine().c_str());
    if (print_) print_(*this);
    if (failed()) std::printf("SOME ANSWERS WERE WRONG\n");
    std::fflush(stdout);
  }
  bool failed() const { return failed_ || !g_ok; }

  // Seconds per iteration (or MB/s) of the benchmark named so, else of the first whose name begins so;
  // 0 when none ran.
  double Cpu(const std::string& name) const { return Find(cpu_, name); }
  double Real(const std::string& name) const { return Find(real_, name); }
  double Mbps(const std::string& name) const { return Find(mbps_, name); }

 private:
  using Figures = std::map<std::string, double>;
  static double Find(const Figures& m, const std::string& name) {
    auto it = m.lower_bound(name);
    return it != m.end() && it->first.compare(0, name.size(), name) == 0 ? it->second : 0;
  }
  Print print_;
  Figures cpu_, real_, mbps_;
  bool failed_ = false;
  bool printed_context_ = false;
};

// Freed memory stays with the process and large blocks come from the heap (see the top).
inline void Keep_Freed_Memory() {
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_TOP_PAD, 64 << 20);
}

// main's run of the benchmarks: Google Benchmark's flags read (an unknown one is an error), every
// registered benchmark run in rounds (--rounds=N overrides the program's number, at least 1), then the
// summary; exit status 1 when an answer was wrong.
inline int Run(int& argc, char** argv, Summary::Print print, int rounds = 5) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rounds=", 9) != 0) continue;
    rounds = std::max(1, std::atoi(argv[i] + 9));
    std::copy(argv + i + 1, argv + argc, argv + i);
    --argc;
    --i;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Keep_Freed_Memory();
  Summary summary(std::move(print));
  for (int r = 0; r < rounds; ++r) benchmark::RunSpecifiedBenchmarks(&summary);
  summary.Print_Figures();
  benchmark::Shutdown();
  return summary.failed() ? 1 : 0;
}

}  // namespace zem_bench
