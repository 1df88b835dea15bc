// The dictionary time-stamp server ("sync_server_mgr", guarded by "sync_server_lock"): the stamps this
// process hands out for its dictionaries, answered to clients through the named function
// "Tfa_Info_Sync_Get_Time_Stamp" on "Mid_Process".
//
// A dictionary gets its first stamp when it is first asked for: the seconds since 1970 at that
// moment, a stamp newer than any a client cached before this server started, so every client reloads
// once and then follows the server. Changes set a new stamp with Set_Time_Stamp (or Touch).
#pragma once
#include <map>
#include <mutex>
#include <string>

class TParaMgr;

class TSync_Server_Mgr {
 public:
  // Every access holds the registered "sync_server_lock" (Sync_Server_Lock()).
  // The dictionary's stamp, assigning the first one now (see above). 0 for a null or empty id.
  long long Get_Time_Stamp(const char* dict_id);
  // Sets the stamp; 1, or 0 for a null or empty id.
  int Set_Time_Stamp(const char* dict_id, long long stamp);
  // A new stamp for a changed dictionary: later than the last one it had. The stamp given.
  long long Touch(const char* dict_id);

 private:
  std::map<std::string, long long> stamps_;
};

// The process-wide server and its lock (found or created under "sync_server_mgr" and
// "sync_server_lock"). *created (optional) tells whether this call made the server.
TSync_Server_Mgr* Sync_Server_Mgr(bool* created = nullptr);
std::mutex* Sync_Server_Lock();

// "Tfa_Info_Sync_Get_Time_Stamp": reads "dict_id" (text) from para and answers "time_stamp" (int
// seconds, which holds until 2038). 1 when answered; 0 without a pack or a dict_id (nothing written,
// the thread error set).
int Tfa_Info_Sync_Get_Time_Stamp(TParaMgr* para);
