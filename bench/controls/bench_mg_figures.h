// What the translation units of bench_mg share: the figures by name, the answer checks, a timer.
#pragma once

#include <ctime>
#include <cstdio>
#include <map>
#include <string>

inline std::map<std::string, double> g_sec;  // seconds per iteration by figure name
inline bool g_ok = true;                     // every benchmark's answer was right
inline long long g_cents[3] = {};            // the anchor's totals, checked by Cal_Sum_Val
inline int g_shown = -1;                     // rows the filter anchor accepted

inline void Check(bool ok, const char* what) {
  if (!ok) {
    g_ok = false;
    std::fprintf(stderr, "CHECK FAILED: %s\n", what);
  }
}

// Seconds of this thread's CPU time that f takes: the figure and its anchor are measured the same way,
// and other processes on a shared machine do not weigh in.
template <class F>
double Timed(F f) {
  timespec a, b;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &a);
  f();
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &b);
  return double(b.tv_sec - a.tv_sec) + double(b.tv_nsec - a.tv_nsec) * 1e-9;
}
