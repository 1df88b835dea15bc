// TDict_Net: a dictionary loaded from the application server through the remote-call entry
// (core/data/key_set.h, Zem_R_Call). The server decides from the client's time stamp whether it
// answers with the whole dictionary (a transfer pack, TDict::Unpack_Dict) or with the changes since
// that stamp (a change set, TDict::Unpack_Part).
//
// Calls made here (parameters sent -> read back):
//   "Dict_Load_Data"       dict_id, time_stamp -> part_sync (0 transfer pack, else change set)
//   "Dict_Get_Time_Stamp"  dict_id -> time_stamp
//   "Dict_Load_Part_Data"  dict_id, time_stamp, lst_key (packed set, field 0 the codes)
//                          -> part_data_pack (packed set of those rows)
//   "Dict_Serv_Refresh"    dict_id                  (the server re-reads the dictionary)
//   "Dict_Refresh_Dict_Key" dict_id, lst_key        (the server re-reads these codes)
//   "Dict_Set_Time_Stamp"  dict_id                  (the server starts a new stamp, no history)
// A call succeeds when the entry returns 0; any other result leaves the dictionary as it was.
//
// The server away. Every whole dictionary received is also kept as a cache file "<id>.net" in the
// cache directory (dict/dict_db.h): the transfer pack as it came, with its integrity record, written
// by a thread of its own (Dict_Net_Cache_Flush). A reload that finds the server away leaves the rows
// held, stale (TDict::Rebuild). A first load that finds it unreachable, or gets no answer in time
// (link/r_call.h, R_Call_Server_Away), serves that cache file instead, usable and marked stale
// (TDict::Is_Stale); the client list asks the server again after "dict_load_retry_ms" and then loads
// the changes since the file's stamp. The cache file is a whole transfer of its stamp, not the rows
// after later change sets, so the changes since that stamp always apply to it.
#pragma once
#include <memory>
#include <string>

#include "dict/dict.h"

class TDict_Net : public TDict {
 public:
  // Under the lock: "Dict_Load_Data" with the held time stamp (0 while never loaded), the reply
  // applied whole or as a change set, the extended dictionary marked loaded, the post-load filter
  // of the id run and the index built. 1, or 0 when the call or the reply failed (nothing changed;
  // a dictionary not loaded before stays unloaded). With the server away and nothing held, the cache
  // file serves (see the top): 1, stale.
  int Load(int mode = 0) override;
  // Asks for the whole dictionary (time stamp 0), whatever is held, into a fresh object swapped in
  // once it arrived (TDict::Rebuild). 1, or 0 as Load (the rows held stay, stale).
  int Refresh() override;
  // "Dict_Get_Time_Stamp": 1 when the server's stamp differs from the held one (the local version
  // then goes back to the held stamp), 0 when equal or when the call failed.
  int Is_Time_Stamp_Changed() override;
  // Part-load mode: the codes of keys (field 0) not held yet, each once, fetched with
  // "Dict_Load_Part_Data" and appended. 1 (also with nothing missing), or 0 when the call failed or
  // the reply does not fit the dictionary's fields (nothing added).
  int Load_Part_Data(TSQLCA* keys) override;
  // Load mode 3: reloads (whole or by change set) when the server's stamp differs. 1, or 0 when the
  // reload failed.
  int Check_Dict() override;

  // The cache file of this dictionary ("<cache directory>/<id>.net").
  std::string Net_Cache_Path() const;

  // After the database changed under the server: the server re-reads the whole dictionary
  // ("Dict_Serv_Refresh") or only the codes of field 0 of keys ("Dict_Refresh_Dict_Key"), or takes
  // a new stamp without history ("Dict_Set_Time_Stamp"); then this dictionary loads what changed
  // (Load). 1, or 0 when a call failed (the dictionary as it was).
  int Serv_Refresh();
  int Serv_Refresh_Keys(TSQLCA* keys);
  int Serv_Set_Time_Stamp();

 protected:
  std::unique_ptr<TDict> New_Ext() override { return std::make_unique<TDict_Net>(); }
  int Load_Fresh(TDict& live, int changes_only) override;

 private:
  std::string Id_Copy();  // the id, read under the rows lock
  // Load with the client stamp sent: since < 0 the held one (0 while never loaded).
  int Load_Since(int mode, int since);
  // Sends call with dict_id (and keys as lst_key when given), then loads. 1 or 0.
  int Serv_Call_Then_Load(const char* call, TSQLCA* keys);
  // Loads the cache file, stale. 1, or 0 when there is none that reads.
  int Serve_Cache(int mode);
  // Keeps the reply of a whole transfer as the cache file (a failure is logged and harms nothing).
  void Write_Net_Cache(TParaMgr* transfer);

  bool away_ = false;  // the last Dict_Load_Data found the server away (unreachable, no answer in time)
};

// Runs the post-load filter registered for the dictionary's id (none: nothing). Returns 1.
int Dict_Run_Fetch_Filter(TDict* d);

// Waits until the cache files of server dictionaries are written: they are written by a thread of
// their own (a load does not wait for the disk), and whatever is pending when the process ends
// normally is written then.
void Dict_Net_Cache_Flush();
