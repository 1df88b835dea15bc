// The dictionary time-stamp server.
#include "dict/sync_server.h"

#include <ctime>

#include "core/data/para.h"
#include "frame/singleton.h"
#include "frame/thr_err.h"

namespace {
TSync_Server_Mgr* g_sync_server = nullptr;  // this module's static pointers
std::mutex* g_sync_lock = nullptr;
}  // namespace

long long TSync_Server_Mgr::Get_Time_Stamp(const char* dict_id) {
  if (!dict_id || !*dict_id) return 0;
  std::lock_guard<std::mutex> g(*Sync_Server_Lock());
  auto it = stamps_.find(dict_id);
  if (it != stamps_.end()) return it->second;
  long long now = static_cast<long long>(std::time(nullptr));
  stamps_[dict_id] = now;
  return now;
}

int TSync_Server_Mgr::Set_Time_Stamp(const char* dict_id, long long stamp) {
  if (!dict_id || !*dict_id) return 0;
  std::lock_guard<std::mutex> g(*Sync_Server_Lock());
  stamps_[dict_id] = stamp;
  return 1;
}

long long TSync_Server_Mgr::Touch(const char* dict_id) {
  if (!dict_id || !*dict_id) return 0;
  std::lock_guard<std::mutex> g(*Sync_Server_Lock());
  long long now = static_cast<long long>(std::time(nullptr));
  long long& s = stamps_[dict_id];
  s = now > s ? now : s + 1;  // strictly later even within one second
  return s;
}

std::mutex* Sync_Server_Lock() { return Zem_Singleton<std::mutex>("sync_server_lock", g_sync_lock); }

TSync_Server_Mgr* Sync_Server_Mgr(bool* created) {
  return Zem_Singleton<TSync_Server_Mgr>("sync_server_mgr", g_sync_server, created);
}

int Tfa_Info_Sync_Get_Time_Stamp(TParaMgr* para) {
  char dict_id[128];
  if (!para || !para->Get_Str(u"dict_id", dict_id, sizeof dict_id) || !dict_id[0]) {
    // Reported through the thread error, so that a remote caller sees why nothing came back.
    Thr_Err_Mgr()->Set_Err(-1, "Tfa_Info_Sync_Get_Time_Stamp: no dict_id in the call");
    return 0;
  }
  long long stamp = Sync_Server_Mgr()->Get_Time_Stamp(dict_id);
  para->Put_Int(u"time_stamp", static_cast<int>(stamp));
  return 1;
}
