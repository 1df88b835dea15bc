// The per-thread error record ("thr_err_mgr"): the last error code and text of each thread, set by
// call-by-name and the data layer, read by whoever needs to report it. Shared by all modules through
// the registry, so it is keyed by thread id rather than held in thread-local storage (which is per
// module).
#pragma once
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

class TThr_Err_Mgr {
 public:
  // Sets the calling thread's error (code 0 clears it).
  void Set_Err(int code, const char* text);
  void Clear_Err();
  // The calling thread's error code, 0 when it has none; text copied into *text when given.
  int Get_Err(std::string* text = nullptr) const;

 private:
  struct Rec { int code = 0; std::string text; };
  mutable std::mutex lock_;
  std::unordered_map<std::thread::id, Rec> recs_;
};

// The process-wide record (found or created under "thr_err_mgr").
TThr_Err_Mgr* Thr_Err_Mgr();
// The same; *created tells whether this call made the object (start-up records what it created).
TThr_Err_Mgr* Thr_Err_Mgr(bool* created);
