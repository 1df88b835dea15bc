// Per-thread error records, keyed by thread id in one shared object.
#include "frame/thr_err.h"

#include "frame/singleton.h"

void TThr_Err_Mgr::Set_Err(int code, const char* text) {
  std::lock_guard<std::mutex> g(lock_);
  if (code == 0) {
    recs_.erase(std::this_thread::get_id());
    return;
  }
  Rec& r = recs_[std::this_thread::get_id()];
  r.code = code;
  r.text = text ? text : "";
}

void TThr_Err_Mgr::Clear_Err() { Set_Err(0, nullptr); }

int TThr_Err_Mgr::Get_Err(std::string* text) const {
  std::lock_guard<std::mutex> g(lock_);
  auto it = recs_.find(std::this_thread::get_id());
  if (it == recs_.end()) {
    if (text) text->clear();
    return 0;
  }
  if (text) *text = it->second.text;
  return it->second.code;
}

namespace {
TThr_Err_Mgr* g_thr_err_cache = nullptr;  // this module's static pointer for "thr_err_mgr"
}

TThr_Err_Mgr* Thr_Err_Mgr() { return Zem_Singleton<TThr_Err_Mgr>("thr_err_mgr", g_thr_err_cache); }

TThr_Err_Mgr* Thr_Err_Mgr(bool* created) {
  return Zem_Singleton<TThr_Err_Mgr>("thr_err_mgr", g_thr_err_cache, created);
}
