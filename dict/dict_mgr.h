// The process-wide dictionary managers, shared by all modules through the registry:
//   "dict_mgr_client_list"   TDict_Client_List: every dictionary of the client, found or made by id;
//   "Dict_Fetch_Filter_mgr"  TDict_Fetch_Filter_Mgr: post-load filters registered per dictionary id;
//   "dict_mgr_client_user_map" TDict_Client_User_Map: the current user and, per dictionary id, the
//                            codes that user may see (from the user's "ubo.%s" dictionary).
// Dictionaries live as long as the list (the life of the process, apart from Clear in tests).
#pragma once
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "dict/dict.h"

// A post-load filter: may delete or change rows of the freshly loaded dictionary. Its result is
// ignored (the dictionary is kept either way).
typedef int (*Dict_Fetch_Filter_Fn)(TDict* dict);

class TDict_Fetch_Filter_Mgr {
 public:
  // Registers (or with null removes) the filter of a dictionary id. 1, or 0 for an empty id.
  int Register(const char* dict_id, Dict_Fetch_Filter_Fn fn);
  // The filter of the id, null when none.
  Dict_Fetch_Filter_Fn Find(const char* dict_id);

 private:
  std::mutex lock_;
  std::map<std::string, Dict_Fetch_Filter_Fn> filters_;
};

// The per-user code map: the current user id and, once filled from that user's business-object
// dictionary ("ubo.%s": rows bo_id, val), the values of each bo_id. The client list keeps the entries
// of a dictionary to the values its id has here; an id without values keeps all its entries.
class TDict_Client_User_Map {
 public:
  // Sets the user ("" for none); a different user drops the codes held.
  void Set_User_Id(const char* user_id);
  std::string User_Id();
  // 1 when the codes of the current user have been taken in (Fill), else 0.
  int Filled();
  // Takes in the rows of the user's business-object dictionary (field 0 bo_id, field 1 val) for
  // user_id; ignored (0) when user_id is no longer the current user. A null dictionary fills an
  // empty map (no restriction). 1 when taken.
  int Fill(const std::string& user_id, TDict* ubo);
  // The codes allowed in the dictionary for the current user: 1 and *codes filled, or 0 when the
  // dictionary is not restricted.
  int Codes(const std::string& dict_id, std::set<std::u16string>* codes);
  // Drops the codes held (they are filled again on next use); the user stays.
  void Clear();

 private:
  std::mutex lock_;
  std::string user_id_;
  bool filled_ = false;
  std::map<std::string, std::set<std::u16string>> codes_;
};

class TDict_Client_List {
 public:
  enum { DEFAULT_RETRY_MS = 10000, DEFAULT_POLL_MS = 30000 };

  // The dictionary with this id; when missing and create is nonzero: created, defined, loaded,
  // restricted to the current user's codes, filtered and indexed. A dictionary whose load failed is
  // kept, empty (lookups find nothing), and with create nonzero loaded again once the public
  // parameter "dict_load_retry_ms" (default 10000) has passed since the failure: a grid asking
  // for it at every cell does not run the failing SQL at every cell, and the dictionary loads once
  // the cause is gone. A listed dictionary, with create nonzero, is also brought up to date: when a
  // change notice marked it (Mark_Changed), it loads the change (a server dictionary its change
  // set, the others their rows again); without notices, a server dictionary asks the server's
  // time stamp once per "dict_poll_interval_ms" (default 30000; 0 never) and loads the change set
  // when it moved. A server dictionary that serves its held rows or its cache file while the server
  // is away (Is_Stale) asks the server again after "dict_load_retry_ms", or at once when marked, and
  // is current again once it answers. Null when missing and create is 0, and for an empty id.
  TDict* Get_Dict(const char* dict_id, int create);
  // Reloads a listed dictionary (the user restriction and filter again). 1, or 0 when missing or failed.
  // While another thread loads it, the caller waits through the framework's waiting function
  // (frame/wait.h: on the user-interface thread the window paints and the wait box offers 取消; a
  // cancelled wait refreshes nothing and returns 0). So do Get_Dict waiting for another thread's first
  // load and Prepare_Dicts.
  int Refresh_Dict(const char* dict_id);

  // Told after a listed dictionary was read again by a look-up (a change notice's mark taken, a retry
  // after a failed load, a server time stamp that moved), on the thread that read it: controls showing
  // it follow (controls/common/dict_watch.h). A look-up on a thread whose database session waits in an
  // outer call (a paint or timer inside the wait box) does not read: the mark stays for a later one.
  typedef void (*Reloaded_Fn)(void* ctx, const char* dict_id);
  void Add_Reload_Observer(Reloaded_Fn fn, void* ctx);
  void Remove_Reload_Observer(Reloaded_Fn fn, void* ctx);
  // Whether a change mark waits on the id (its next look-up reads the change).
  bool Is_Marked(const std::string& dict_id);

  // A change notice: the dictionary changed elsewhere, and its next Get_Dict loads the change. Safe
  // from any thread; an id not listed yet is loaded fresh anyway. Mark_All_Changed marks every listed
  // dictionary (after notices may have been missed).
  void Mark_Changed(const std::string& dict_id);
  void Mark_All_Changed();

  // The current user ("" for none); applies to dictionaries loaded afterwards.
  void Set_User_Id(const char* user_id);
  std::string User_Id();

  // What Get_Dict makes: DICT_KIND_SQL a plain dictionary (its SQL, no cache; the default, so that
  // nothing writes files until the host chooses), DICT_KIND_DB a TDict_Db with the file cache,
  // DICT_KIND_NET a TDict_Net loaded from the application server (no local definition is read).
  enum { DICT_KIND_SQL = 0, DICT_KIND_DB = 1, DICT_KIND_NET = 2 };
  void Set_Dict_Kind(int kind);
  int Dict_Kind();

  // Brings the dictionaries of ids up to date from the server in one "Dict_Check_Time_Stamp"
  // exchange. A held dictionary in load mode 4 is left alone, one in load mode 3 runs its own
  // check (Check_Dict) instead of being listed; the others are sent with their time stamp (0 when
  // not held). Each reply row whose server stamp differs from the client's gets its dictionary
  // (made when missing, as a server dictionary) from the nested pack "dict_data_<id>": whole when
  // part_mode is 0, else as a change set; then the user restriction, filter, index and loaded marks.
  // Rows with equal stamps, and rows whose pack is missing or bad, change nothing.
  // 1, or 0 when the exchange failed. *changed (optional): the dictionaries updated.
  int Prepare_Dicts(const std::vector<std::string>& ids, int* changed = nullptr);

  int Count();
  // Drops every dictionary. Only when no other thread holds one (tests, shutdown).
  void Clear();

 private:
  void Apply_User_Map(TDict* d);
  void After_Load(TDict* d, bool filter);
  std::unique_ptr<TDict> Make_Dict(int kind);
  // Defines and loads d as Get_Dict does, the user restriction and filter included; a failure marks
  // it failed. 1 or 0.
  int Define_And_Load(TDict* d, const std::string& id, int kind);
  void Keep_Current(TDict* d, const std::string& id);
  int Kind_Of(TDict* d);
  // Rebuilds d's rows (TDict::Rebuild) with the restriction and filter; the caller holds its
  // loaders' lock. 1 or 0.
  int Reload(TDict* d, int changes_only);
  // Takes the change mark of the id: true when it was marked.
  bool Take_Mark(const std::string& id);
  void Tell_Reloaded(const std::string& id);

  // Guards the list alone (dicts_, kind_), never held across a load: loads hold the dictionary's own
  // loaders' lock (TDict::Load_Lock), so a slow load never stops look-ups in the others.
  std::mutex lock_;
  std::map<std::string, std::unique_ptr<TDict>> dicts_;
  int kind_ = DICT_KIND_SQL;
  std::mutex marks_lock_;  // taken alone or inside lock_, never the other way round
  std::set<std::string> marks_;
  std::atomic<int> mark_count_{0};  // marks_.size(), read without the lock on every Get_Dict
  std::mutex observers_lock_;
  std::vector<std::pair<Reloaded_Fn, void*>> observers_;
};

TDict_Client_List* Dict_Client_List();
TDict_Client_User_Map* Dict_Client_User_Map();
TDict_Fetch_Filter_Mgr* Dict_Fetch_Filter_Mgr();
