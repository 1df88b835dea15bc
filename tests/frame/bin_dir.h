// The folder of the test binary, where the build puts every library beside it.
#pragma once
#include <unistd.h>

#include <string>

inline std::string Test_Bin_Dir() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string s(path, static_cast<size_t>(n));
  size_t slash = s.rfind('/');
  return slash == std::string::npos ? "." : s.substr(0, slash);
}
