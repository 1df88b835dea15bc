// What every benchmark program shares: the figures it gathers, the check of its answers, the CPU timer,
// the summary printed after Google Benchmark's table (each figure beside its anchor with its target) and
// main's run. Figures come two ways: Google Benchmark's own runs, read back from the Summary by
// benchmark name, or a program's own timing of one part of an iteration, kept in g_sec by figure name.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace zem_bench {

inline std::map<std::string, double> g_sec;  // figures a program times itself: seconds (or bytes) by name
inline bool g_ok = true;                     // every answer was right; else the program exits with 1

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

// Google Benchmark's table as usual, then the program's summary lines. Each run is kept by benchmark
// name: CPU and wall seconds per iteration, the least over repetitions (on a shared machine the others
// measure the neighbours), and its bytes_per_second counter. A run that failed its check fails the
// program; one skipped because ZEM_PG_CONNINFO names no server does not (its line says it was not run).
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
      Keep_Least(&cpu_, r.benchmark_name(), r.GetAdjustedCPUTime() / unit);
      Keep_Least(&real_, r.benchmark_name(), r.GetAdjustedRealTime() / unit);
      auto it = r.counters.find("bytes_per_second");
      if (it != r.counters.end()) mbps_[r.benchmark_name()] = it->second.value / 1e6;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n");
    if (print_) print_(*this);
    if (failed()) std::printf("SOME ANSWERS WERE WRONG\n");
  }
  bool failed() const { return failed_ || !g_ok; }

  // Seconds per iteration (or MB/s) of the benchmark named so, else of the first whose name begins so;
  // 0 when none ran.
  double Cpu(const std::string& name) const { return Find(cpu_, name); }
  double Real(const std::string& name) const { return Find(real_, name); }
  double Mbps(const std::string& name) const { return Find(mbps_, name); }

 private:
  using Figures = std::map<std::string, double>;
  static void Keep_Least(Figures* m, const std::string& name, double v) {
    auto it = m->find(name);
    if (it == m->end()) (*m)[name] = v;
    else it->second = std::min(it->second, v);
  }
  static double Find(const Figures& m, const std::string& name) {
    auto it = m.lower_bound(name);
    return it != m.end() && it->first.compare(0, name.size(), name) == 0 ? it->second : 0;
  }
  Print print_;
  Figures cpu_, real_, mbps_;
  bool failed_ = false;
};

// main's run of the benchmarks: Google Benchmark's flags read (an unknown one is an error), every
// registered benchmark run with the summary, exit status 1 when an answer was wrong.
inline int Run(int& argc, char** argv, Summary::Print print) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Summary summary(std::move(print));
  benchmark::RunSpecifiedBenchmarks(&summary);
  benchmark::Shutdown();
  return summary.failed() ? 1 : 0;
}

}  // namespace zem_bench
