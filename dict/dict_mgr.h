// The process-wide dictionary managers, shared by all modules through the registry:
//   "dict_mgr_client_list"   TDict_Client_List: every dictionary of the client, found or made by id;
//   "Dict_Fetch_Filter_mgr"  TDict_Fetch_Filter_Mgr: post-load filters registered per dictionary id.
// Dictionaries live as long as the list (the life of the process, apart from Clear in tests).
#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>

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

class TDict_Client_List {
 public:
  // The dictionary with this id; when missing and create is nonzero: created, defined, loaded,
  // restricted to the current user's codes, filtered and indexed. Null when missing and create is 0,
  // for an empty id, or when the load failed (nothing half-loaded is kept in the list).
  TDict* Get_Dict(const char* dict_id, int create);
  // Reloads a listed dictionary (the user restriction and filter again). 1, or 0 when missing or failed.
  int Refresh_Dict(const char* dict_id);

  // The current user ("" for none); applies to dictionaries loaded afterwards.
  void Set_User_Id(const char* user_id);
  std::string User_Id();

  // What Get_Dict makes: DICT_KIND_SQL a plain dictionary (its SQL, no cache; the default, so that
  // nothing writes files until the host chooses), DICT_KIND_DB a TDict_Db with the file cache.
  enum { DICT_KIND_SQL = 0, DICT_KIND_DB = 1 };
  void Set_Dict_Kind(int kind);
  int Dict_Kind();

  int Count();
  // Drops every dictionary. Only when no other thread holds one (tests, shutdown).
  void Clear();

 private:
  void Apply_User_Map(TDict* d);
  void After_Load(TDict* d);

  std::recursive_mutex lock_;  // a user's "ubo." dictionary is made while another is being made
  std::map<std::string, std::unique_ptr<TDict>> dicts_;
  std::string user_id_;
  int kind_ = DICT_KIND_SQL;
};

TDict_Client_List* Dict_Client_List();
TDict_Fetch_Filter_Mgr* Dict_Fetch_Filter_Mgr();
