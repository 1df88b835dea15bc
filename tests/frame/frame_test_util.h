// Helpers shared by the frame tests and their child program: the folder of the running binary (where
// the build puts every library beside it), whole files, and an environment variable set for a scope.
#pragma once
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

inline const std::string& Bin() {
  static const std::string dir = [] {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string s(path, n > 0 ? static_cast<size_t>(n) : 0);
    size_t slash = s.rfind('/');
    return slash == std::string::npos ? std::string(".") : s.substr(0, slash);
  }();
  return dir;
}

inline std::string Read_File(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Sets (or, given null, unsets) an environment variable and puts the old state back at the end.
class Env_Var {
 public:
  Env_Var(const char* name, const char* value) : name_(name) {
    const char* old = getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    Put(value);
  }
  ~Env_Var() { Put(had_ ? old_.c_str() : nullptr); }

 private:
  void Put(const char* value) { value ? setenv(name_, value, 1) : unsetenv(name_); }
  const char* name_;
  bool had_;
  std::string old_;
};
