// The framework log: console by default, appended to a file when one is set.
#include "frame/log_mgr.h"

#include <cstdio>
#include <vector>

#include "frame/singleton.h"

void TLog_Mgr::Printf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  VPrintf(fmt, ap);
  va_end(ap);
}

void TLog_Mgr::VPrintf(const char* fmt, va_list ap) {
  if (!fmt) return;
  va_list ap2;
  va_copy(ap2, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, ap2);
  va_end(ap2);
  if (n < 0) return;
  std::vector<char> buf(static_cast<size_t>(n) + 1);
  std::vsnprintf(buf.data(), buf.size(), fmt, ap);
  std::lock_guard<std::mutex> g(lock_);
  bool written = false;
  if (!path_.empty()) {
    // Opened per write so that the file can be read, moved or removed while the process runs.
    if (FILE* f = std::fopen(path_.c_str(), "ab")) {
      std::fwrite(buf.data(), 1, static_cast<size_t>(n), f);
      std::fclose(f);
      written = true;
    }
  }
  if (!written) {
    std::fwrite(buf.data(), 1, static_cast<size_t>(n), stdout);
    std::fflush(stdout);
  }
  if (keep_ > 0) {
    kept_.append(buf.data(), static_cast<size_t>(n));
    // Drop whole lines from the front until at most keep_ lines remain.
    int lines = 0;
    for (char c : kept_) lines += (c == '\n');
    if (!kept_.empty() && kept_.back() != '\n') lines++;
    size_t pos = 0;
    while (lines > keep_) {
      size_t nl = kept_.find('\n', pos);
      if (nl == std::string::npos) break;
      pos = nl + 1;
      lines--;
    }
    kept_.erase(0, pos);
  }
}

int TLog_Mgr::Set_File(const char* path) {
  std::lock_guard<std::mutex> g(lock_);
  if (!path || !*path) {
    path_.clear();
    return 1;
  }
  FILE* f = std::fopen(path, "ab");
  if (!f) return 0;
  std::fclose(f);
  path_ = path;
  return 1;
}

std::string TLog_Mgr::File() const {
  std::lock_guard<std::mutex> g(lock_);
  return path_;
}

void TLog_Mgr::Set_Keep(int lines) {
  std::lock_guard<std::mutex> g(lock_);
  keep_ = lines > 0 ? lines : 0;
  if (keep_ == 0) kept_.clear();
}

std::string TLog_Mgr::Last_Lines() const {
  std::lock_guard<std::mutex> g(lock_);
  return kept_;
}

namespace {
TLog_Mgr* g_log_cache = nullptr;  // this module's static pointer for "log_mgr"
}

TLog_Mgr* Log_Mgr() { return Zem_Singleton<TLog_Mgr>("log_mgr", g_log_cache); }

TLog_Mgr* Log_Mgr(bool* created) {
  return Zem_Singleton<TLog_Mgr>("log_mgr", g_log_cache, created);
}

void Log_Printf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  Log_Mgr()->VPrintf(fmt, ap);
  va_end(ap);
}
