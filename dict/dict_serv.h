// TDict_Mgr_Serv: the application server's dictionaries ("dict_mgr_serv"), and the server side of the
// dictionary calls on "Mid_Process". In local call mode the server runs on the calling thread's
// database session, so it loads each dictionary by its definition exactly as a client's direct load
// would (TDict::SetInfo, TDict::Load).
//
// Time stamps come from the time-stamp server (dict/sync_server.h): a dictionary's first stamp is the
// one that server hands out when first asked, each change takes a later one, so "Dict_Get_Time_Stamp"
// and "Tfa_Info_Sync_Get_Time_Stamp" always answer the same stamp. Each dictionary keeps a bounded
// change history: for every change, the stamp it produced and the code it erased or modified. A client
// whose stamp lies between the oldest base of that history and the current stamp gets a change set;
// any other stamp (0, older, unknown) gets the whole dictionary.
//
// The calls (all read and answer through the parameter pack; errors go to the thread error record):
//
//   CALL                     READS                                   ANSWERS
//   "Dict_Load_Data"         dict_id, time_stamp                     part_sync 1 + change set, or
//                                                                    part_sync 0 + transfer pack
//   "Dict_Get_Time_Stamp"    dict_id                                 time_stamp
//   "Dict_Check_Time_Stamp"  dict_pack (dict_id, client_time_stamp)  dict_pack (dict_id,
//                                                                    client_time_stamp, serv_time_stamp,
//                                                                    part_mode) and, per row whose
//                                                                    stamps differ, a nested pack
//                                                                    "dict_data_<id>" as Dict_Load_Data
//   "Dict_Load_Part_Data"    dict_id, time_stamp, lst_key (field 0)  part_data_pack, time_stamp
//   "Dict_Set_Time_Stamp"    dict_id                                 time_stamp (after a Refresh that
//                                                                    always takes a new stamp)
//   "Dict_Refresh_Dict_Key"  dict_id, lst_key (field 0)              time_stamp
//   "Dict_Serv_Refresh"      dict_id                                 time_stamp
//
// Change set: time_stamp (int), erase_data_pack (the dictionary's fields, only field 0 filled, the
// codes to delete), modi_data_pack (whole rows to add or replace). Transfer pack: parent_col, idx_dict,
// idx_col, sort_col, ext_col, ext_col_val (text), is_app_dict (int), dict_sql (text), time_stamp,
// part_load_mode, file_mode (int); file_mode 0 carries the rows as the packed sets data_pack and
// parent_data_pack (extended dictionary); file_mode 1, chosen when the packed rows exceed the public
// parameter "dict_file_mode_size" (bytes, default 1,000,000; 0 never), carries them block-compressed
// (dict/dict_zip.h) as "dtfile_size"/"dtfile_data" and "pardtfile_size"/"pardtfile_data". A part-loaded
// dictionary travels with part_load_mode 1 and no rows: the client fetches the codes it needs.
//
// A dictionary is unknown when its definition cannot be read or its SQL fails, or when it is a
// standard dictionary (app_dict_def) with no rows at all; it is then not kept, so a definition added
// later is found on the next call.
//
// Every change recorded under a new stamp is also announced to the other processes of a PostgreSQL
// database (dict/dict_notify.h). A notice from another process marks the dictionary stale here: it is
// read from the database again (Refresh, without a notice of its own) before it next answers.
//
// Threads: the list has one lock, each dictionary its own (held across a whole call on it); the
// time-stamp server's lock is taken last and alone.
#pragma once
#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/text/map_str.h"
#include "dict/dict.h"

class TParaMgr;
class TSQLCA;

class TDict_Mgr_Serv {
 public:
  enum { HISTORY_MAX = 10000, DEFAULT_FILE_MODE_SIZE = 1000000 };

  TDict_Mgr_Serv();
  ~TDict_Mgr_Serv();
  TDict_Mgr_Serv(const TDict_Mgr_Serv&) = delete;
  TDict_Mgr_Serv& operator=(const TDict_Mgr_Serv&) = delete;

  // ---- answers (the functions on "Mid_Process" call these; para is read and answered)
  // 1, or 0 with the thread error set (nothing answered but the error).
  int Load_Data(TParaMgr* para);
  int Get_Time_Stamp(TParaMgr* para);
  int Check_Time_Stamp(TParaMgr* para);
  int Load_Part_Data(TParaMgr* para);
  int Set_Time_Stamp_Call(TParaMgr* para);
  int Refresh_Dict_Key(TParaMgr* para);
  int Serv_Refresh(TParaMgr* para);

  // ---- server-side changes, each recorded under a new stamp. 1, or 0 (thread error set) for an
  // unknown dictionary or a bad argument.
  // Adds the code (other fields empty) or, when held, replaces its name.
  int Add_Code(const char* dict_id, map_wchar code, map_wchar name);
  // Sets a row's values in field order (row[0] the code; fields beyond the row are left as they
  // are, or empty for a new row); adds the row when the code is not held.
  int Modify(const char* dict_id, const std::vector<std::u16string>& row);
  int Erase_Code(const char* dict_id, map_wchar code);
  // Reloads from the database and records every erased, added or changed code. No difference
  // keeps the stamp; a changed field list makes older clients take the whole dictionary.
  int Refresh(const char* dict_id);
  // Re-reads only these codes; each is recorded as modified, or erased when the database no longer
  // has it.
  int Refresh_Keys(const char* dict_id, const std::vector<std::u16string>& codes);
  // A new stamp with an empty history: every older client gets the whole dictionary.
  int Set_Time_Stamp(const char* dict_id);
  // Marks a dictionary part-loaded (clients load no rows up front). 1, or 0 when unknown.
  int Set_Part_Load(const char* dict_id, int on);
  // The database changed under a listed dictionary (a notice from another process): it is read again
  // before it next answers. Null marks every listed dictionary; an id not listed is ignored (its
  // first use reads it anyway).
  void Mark_Stale(const char* dict_id);

  // ---- state, for server code and tests
  // The current stamp (the dictionary is loaded on first use); 0 when unknown.
  int Time_Stamp(const char* dict_id);
  // The oldest stamp a change set can start from; 0 when unknown.
  int Base_Stamp(const char* dict_id);
  // Changes held in the history; -1 when unknown.
  int History_Count(const char* dict_id);
  // Drops every dictionary (tests; no call may be running).
  void Clear();

 private:
  struct Change {
    int stamp;            // the stamp this change produced
    std::u16string code;  // the code erased or modified; empty for a change of no single row
  };
  struct Serv_Dict {
    std::recursive_mutex lock;
    std::unique_ptr<TDict> dict;  // owned; loaded once the entry is listed
    int part_load = 0;
    int base = 0;                // the oldest client stamp a change set can be built for
    int stamp = 0;               // current stamp
    std::deque<Change> history;  // oldest first, stamps rising
    std::atomic<bool> stale{false};  // read the database again before answering
    // The rows packed for a whole transfer, kept for the stamp and part-load mode they were packed
    // at (-1: none); the entry's rows change only under a new stamp or when replaced (which drops them).
    // Shared with the replies that carry them (a reply's pack refers to them, see Put_Shared), so a
    // new stamp's rows never pull bytes from under a reply still being sent.
    std::shared_ptr<const std::string> packed_rows, packed_ext;
    std::string zipped_rows, zipped_ext;  // their block-compressed form, made at the first file-mode transfer
    int packed_stamp = -1;
    int packed_part = -1;
  };

  // The listed dictionary, loaded on first use, with its lock taken into *hold; null with the thread
  // error set when unknown.
  Serv_Dict* Find(const char* dict_id, std::unique_lock<std::recursive_mutex>* hold);
  // Reloads e (see Refresh); force_stamp takes a new stamp even when nothing differs; announce
  // false sends no notice (the change came as one).
  int Refresh_Locked(const std::string& id, Serv_Dict* e, bool force_stamp, bool announce = true);
  // Follows a stamp set on the time-stamp server by someone else: history restarts there.
  void Sync_Stamp(const std::string& id, Serv_Dict* e);
  // Records changes of these codes under one new stamp, announced unless announce is false.
  void Record(const std::string& id, Serv_Dict* e, const std::vector<std::u16string>& codes,
              bool announce = true);
  void Restart_History(const std::string& id, Serv_Dict* e, bool announce = true);
  // Answers a client holding client_stamp: a change set (1) or a transfer pack (0) into out; -1 on
  // failure (thread error set).
  int Answer(Serv_Dict* e, int client_stamp, TParaMgr* out);
  int Put_Transfer(Serv_Dict* e, TParaMgr* out);
  int Put_Change_Set(Serv_Dict* e, int client_stamp, TParaMgr* out);

  std::mutex lock_;  // guards dicts_ (not the entries)
  std::map<std::string, std::unique_ptr<Serv_Dict>> dicts_;
};

// The process-wide server dictionaries (found or created under "dict_mgr_serv").
TDict_Mgr_Serv* Dict_Mgr_Serv();

// Defines the dictionary calls above and "Tfa_Info_Sync_Get_Time_Stamp" on "Mid_Process" and lets
// packs carry query areas. For the start-up; repeat calls do no harm. Returns 1.
int Dict_Serv_Register();
