// The client dictionary list and the fetch-filter manager.
#include "dict/dict_mgr.h"

#include <set>

#include "core/text/wfunc.h"
#include "dict/dict_db.h"
#include "frame/singleton.h"

int TDict_Fetch_Filter_Mgr::Register(const char* dict_id, Dict_Fetch_Filter_Fn fn) {
  if (!dict_id || !*dict_id) return 0;
  std::lock_guard<std::mutex> g(lock_);
  if (fn) {
    filters_[dict_id] = fn;
  } else {
    filters_.erase(dict_id);
  }
  return 1;
}

Dict_Fetch_Filter_Fn TDict_Fetch_Filter_Mgr::Find(const char* dict_id) {
  if (!dict_id) return nullptr;
  std::lock_guard<std::mutex> g(lock_);
  auto it = filters_.find(dict_id);
  return it == filters_.end() ? nullptr : it->second;
}

void TDict_Client_List::Set_User_Id(const char* user_id) {
  std::lock_guard<std::recursive_mutex> g(lock_);
  user_id_ = user_id ? user_id : "";
}

std::string TDict_Client_List::User_Id() {
  std::lock_guard<std::recursive_mutex> g(lock_);
  return user_id_;
}

void TDict_Client_List::Set_Dict_Kind(int kind) {
  std::lock_guard<std::recursive_mutex> g(lock_);
  kind_ = kind == DICT_KIND_DB ? DICT_KIND_DB : DICT_KIND_SQL;
}

int TDict_Client_List::Dict_Kind() {
  std::lock_guard<std::recursive_mutex> g(lock_);
  return kind_;
}

int TDict_Client_List::Count() {
  std::lock_guard<std::recursive_mutex> g(lock_);
  return static_cast<int>(dicts_.size());
}

void TDict_Client_List::Clear() {
  std::lock_guard<std::recursive_mutex> g(lock_);
  dicts_.clear();
}

// Keeps only the codes the user's business objects name for this dictionary; none named keeps all.
void TDict_Client_List::Apply_User_Map(TDict* d) {
  if (!d || user_id_.empty() || d->Dict_Id().compare(0, 4, "ubo.") == 0) return;
  TDict* ubo = Get_Dict(("ubo." + user_id_).c_str(), 1);
  if (!ubo) return;
  std::set<std::u16string> allowed;
  {
    auto ug = ubo->Lock();
    map_wchar id(d->Dict_Id().c_str());
    int n = ubo->Get_Row_Count();
    for (int r = 0; r < n; ++r) {
      if (W_Cmp(ubo->Get_Row_Value(r, 0), id.c_str()) == 0) allowed.insert(ubo->Get_Row_Value(r, 1));
    }
  }
  if (allowed.empty()) return;
  auto dg = d->Lock();
  for (int r = d->Get_Row_Count() - 1; r >= 0; --r) {
    if (!allowed.count(d->Get_Row_Value(r, 0))) {
      d->Go_To_Row(r);
      d->Del_Row();
    }
  }
}

void TDict_Client_List::After_Load(TDict* d) {
  Apply_User_Map(d);
  Apply_User_Map(d->Ext_Dict());
  if (Dict_Fetch_Filter_Fn f = Dict_Fetch_Filter_Mgr()->Find(d->Dict_Id().c_str())) f(d);
  d->Build_Index();
  if (d->Ext_Dict()) d->Ext_Dict()->Build_Index();
}

TDict* TDict_Client_List::Get_Dict(const char* dict_id, int create) {
  if (!dict_id || !*dict_id) return nullptr;
  std::lock_guard<std::recursive_mutex> g(lock_);
  auto it = dicts_.find(dict_id);
  if (it != dicts_.end()) return it->second.get();
  if (!create) return nullptr;
  std::unique_ptr<TDict> d;
  if (kind_ == DICT_KIND_DB) {
    d = std::make_unique<TDict_Db>();
  } else {
    d = std::make_unique<TDict>();
  }
  std::string id(dict_id);
  if (id.compare(0, 4, "ubo.") == 0) {
    std::string sql = "select bo_id,val from mup_user_bo where user_id='" + Sql_Quote(id.c_str() + 4) + "'";
    d->SetInfo(id.c_str(), sql.c_str());
    d->Set_Sort_Col("bo_id,val");
    d->Set_File_Cache(0);
  } else if (!d->SetInfo(id.c_str())) {
    return nullptr;
  }
  if (!d->Load(0)) return nullptr;
  After_Load(d.get());
  TDict* out = d.get();
  dicts_[id] = std::move(d);
  return out;
}

int TDict_Client_List::Refresh_Dict(const char* dict_id) {
  if (!dict_id) return 0;
  std::lock_guard<std::recursive_mutex> g(lock_);
  auto it = dicts_.find(dict_id);
  if (it == dicts_.end()) return 0;
  TDict* d = it->second.get();
  auto dg = d->Lock();
  if (!d->Refresh()) return 0;
  After_Load(d);
  return 1;
}

TDict_Client_List* Dict_Client_List() {
  static TDict_Client_List* cache = nullptr;
  return Zem_Singleton<TDict_Client_List>("dict_mgr_client_list", cache);
}

TDict_Fetch_Filter_Mgr* Dict_Fetch_Filter_Mgr() {
  static TDict_Fetch_Filter_Mgr* cache = nullptr;
  return Zem_Singleton<TDict_Fetch_Filter_Mgr>("Dict_Fetch_Filter_mgr", cache);
}
