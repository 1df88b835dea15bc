// The one QApplication of the controls tests, made on first use (offscreen unless told otherwise), and
// the child-process helper for cases that need a process of their own (once-per-process caches, the
// framework start-up).
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <string>

inline QApplication* controlsTestApp() {
  static QApplication* app = [] {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The registry library lies beside the test binary; bind to it even when the variable is not set.
    if (!std::getenv("TARVOK_DLL_PATH")) {
      char path[4096];
      const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
      std::string dir(path, n > 0 ? static_cast<size_t>(n) : 0);
      dir = dir.substr(0, dir.rfind('/') == std::string::npos ? 0 : dir.rfind('/'));
      if (!dir.empty()) setenv("TARVOK_DLL_PATH", dir.c_str(), 1);
    }
    static int argc = 1;
    static char name[] = "test_controls";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return app;
}

// A first base for fixtures holding widgets: the application exists before their members are made.
struct AppFirst {
  AppFirst() { controlsTestApp(); }
};

// Runs body in a fresh process (the test binary started again for this one test) and expects it to
// exit with 0. body returns the exit code; a failing check inside should return a distinct non-zero code.
#define ZEM_IN_CHILD(...)                                                                  \
  do {                                                                                     \
    GTEST_FLAG_SET(death_test_style, "threadsafe");                                        \
    EXPECT_EXIT(std::exit([&]() -> int __VA_ARGS__()), ::testing::ExitedWithCode(0), ""); \
  } while (0)
