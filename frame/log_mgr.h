// The framework log ("log_mgr"): lines written by the framework (load failures, driver errors, SQL
// statements, call traces). Console (standard output) by default; a file when configured.
#pragma once
#include <cstdarg>
#include <mutex>
#include <string>

class TLog_Mgr {
 public:
  TLog_Mgr() = default;
  // Writes one formatted narrow text as given (callers end their lines with "\n").
  void Printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  void VPrintf(const char* fmt, va_list ap);
  // Sends later lines to the file (appended); an empty path goes back to the console. 1, or 0 when
  // the file cannot be opened (the log then stays where it was).
  int Set_File(const char* path);
  // The file the log goes to, empty for the console.
  std::string File() const;
  // Also keeps a copy of the last lines written, for tests and diagnostics (0 turns it off).
  void Set_Keep(int lines);
  std::string Last_Lines() const;

 private:
  mutable std::mutex lock_;
  std::string path_;
  int keep_ = 0;
  std::string kept_;
};

// The process-wide log (found or created under "log_mgr"). The framework start-up sends it to the
// file named by the environment variable "ZEM_LOG_FILE" when that is set and the log is still on the
// console.
TLog_Mgr* Log_Mgr();
// The same; *created tells whether this call made the object (start-up records what it created).
TLog_Mgr* Log_Mgr(bool* created);
// Shorthand for Log_Mgr()->Printf.
void Log_Printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
