// The client dictionary list and the fetch-filter manager.
#include "dict/dict_mgr.h"

#include <set>

#include "core/text/wfunc.h"
#include "core/data/db_connect.h"
#include "core/data/key_set.h"
#include "core/data/para.h"
#include "dict/dict_db.h"
#include "dict/dict_net.h"
#include "dict/dict_notify.h"
#include "frame/log_mgr.h"
#include "frame/singleton.h"
#include "frame/wait.h"

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

void TDict_Client_User_Map::Set_User_Id(const char* user_id) {
  std::lock_guard<std::mutex> g(lock_);
  std::string id = user_id ? user_id : "";
  if (id == user_id_) return;
  user_id_ = id;
  filled_ = false;
  codes_.clear();
}

std::string TDict_Client_User_Map::User_Id() {
  std::lock_guard<std::mutex> g(lock_);
  return user_id_;
}

int TDict_Client_User_Map::Filled() {
  std::lock_guard<std::mutex> g(lock_);
  return filled_ ? 1 : 0;
}

int TDict_Client_User_Map::Fill(const std::string& user_id, TDict* ubo) {
  std::map<std::string, std::set<std::u16string>> codes;
  if (ubo) {
    auto ug = ubo->Lock();
    if (ubo->Get_Field_Count() >= 2) {
      for (int r = 0; r < ubo->Get_Row_Count(); ++r)
        codes[Dict_Narrow(ubo->Get_Row_Value(r, 0))].insert(ubo->Get_Row_Value(r, 1));
    }
  }
  std::lock_guard<std::mutex> g(lock_);
  if (user_id != user_id_) return 0;
  codes_.swap(codes);
  filled_ = true;
  return 1;
}

int TDict_Client_User_Map::Codes(const std::string& dict_id, std::set<std::u16string>* codes) {
  std::lock_guard<std::mutex> g(lock_);
  auto it = codes_.find(dict_id);
  if (it == codes_.end() || it->second.empty()) return 0;
  if (codes) *codes = it->second;
  return 1;
}

void TDict_Client_User_Map::Clear() {
  std::lock_guard<std::mutex> g(lock_);
  filled_ = false;
  codes_.clear();
}

void TDict_Client_List::Set_User_Id(const char* user_id) { Dict_Client_User_Map()->Set_User_Id(user_id); }

std::string TDict_Client_List::User_Id() { return Dict_Client_User_Map()->User_Id(); }

void TDict_Client_List::Set_Dict_Kind(int kind) {
  std::lock_guard<std::mutex> g(lock_);
  kind_ = (kind == DICT_KIND_DB || kind == DICT_KIND_NET) ? kind : DICT_KIND_SQL;
}

int TDict_Client_List::Dict_Kind() {
  std::lock_guard<std::mutex> g(lock_);
  return kind_;
}

int TDict_Client_List::Count() {
  std::lock_guard<std::mutex> g(lock_);
  return static_cast<int>(dicts_.size());
}

void TDict_Client_List::Clear() {
  std::map<std::string, std::unique_ptr<TDict>> old;
  std::lock_guard<std::mutex> g(lock_);
  old.swap(dicts_);
  Dict_Client_User_Map()->Clear();
  std::lock_guard<std::mutex> m(marks_lock_);
  marks_.clear();
  mark_count_ = 0;
}

// Keeps only the codes the user's business objects name for this dictionary; none named keeps all.
void TDict_Client_List::Apply_User_Map(TDict* d) {
  TDict_Client_User_Map* map = Dict_Client_User_Map();
  std::string user = map->User_Id();
  if (!d || user.empty() || d->Dict_Id().compare(0, 4, "ubo.") == 0) return;
  if (!map->Filled()) map->Fill(user, Get_Dict(("ubo." + user).c_str(), 1));
  std::set<std::u16string> allowed;
  if (!map->Codes(d->Dict_Id(), &allowed)) return;
  auto dg = d->Lock();
  for (int r = d->Get_Row_Count() - 1; r >= 0; --r) {
    if (!allowed.count(d->Get_Row_Value(r, 0))) {
      d->Go_To_Row(r);
      d->Del_Row();
    }
  }
}

// filter false: the dictionary's own load ran the post-load filter already.
void TDict_Client_List::After_Load(TDict* d, bool filter) {
  Apply_User_Map(d);
  Apply_User_Map(d->Ext_Dict());
  if (filter) Dict_Run_Fetch_Filter(d);
  d->Build_Index();
  if (d->Ext_Dict()) d->Ext_Dict()->Build_Index();
}

std::unique_ptr<TDict> TDict_Client_List::Make_Dict(int kind) {
  if (kind == DICT_KIND_DB) return std::make_unique<TDict_Db>();
  if (kind == DICT_KIND_NET) return std::make_unique<TDict_Net>();
  return std::make_unique<TDict>();
}

namespace {

int Param_Ms(const char16_t* name, int fallback) {
  int v = fallback;
  if (!Pub_Para_Get_Int(name, &v)) v = fallback;
  return v;
}

// Whether this thread's database session waits in an outer call (this look-up comes from a paint or a
// timer inside the wait box): a load now would be refused as busy and pass for a failed one.
bool Session_Busy_Here(int kind) {
  if (kind == TDict_Client_List::DICT_KIND_NET) return false;
  TDb_Connect* c = Db_Connect_Mgr()->Get_Session(nullptr);
  return c && c->Busy();
}

using Load_Guard = std::unique_lock<std::recursive_mutex>;

int Take_Load_Lock(void* ctx) {
  auto* l = static_cast<Load_Guard*>(ctx);
  return l->owns_lock() || l->try_lock() ? 1 : 0;
}

// The dictionary's loaders' lock, waited for through the framework's waiting function while another
// thread holds it (it loads over the network, up to its statement bound): on the user-interface thread
// the window paints and the wait box offers 取消. Not owned when the wait was cancelled.
Load_Guard Load_Lock_Waiting(TDict* d) {
  Load_Guard l = d->Load_Lock(false);
  if (l.owns_lock()) return l;
  Zem_Wait_Scope wait(u"正在等待字典载入…", 0);
  wait.get()->done = Take_Load_Lock;
  wait.get()->ctx = &l;
  for (;;) {
    const int r = Zem_Wait_Step(wait.get(), -1, 0);
    if (l.owns_lock() || (r != ZEM_WAIT_AGAIN && r != ZEM_WAIT_READY)) return l;
  }
}

}  // namespace

int TDict_Client_List::Define_And_Load(TDict* d, const std::string& id, int kind) {
  bool ok;
  if (kind == DICT_KIND_NET) {
    ok = d->Set_Dict_Id(id.c_str()) && d->Load(0);  // the definition comes with the rows
  } else if (id.compare(0, 4, "ubo.") == 0) {
    std::string sql = "select bo_id,val from mup_user_bo where user_id='" + Sql_Quote(id.c_str() + 4) + "'";
    d->SetInfo(id.c_str(), sql.c_str());
    d->Set_Sort_Col("bo_id,val");
    d->Set_File_Cache(0);
    ok = d->Load(0);
  } else {
    ok = d->SetInfo(id.c_str()) && d->Load(0);
  }
  d->Set_Checked_At(Dict_Now_Ms());
  if (!ok) {
    // Empty but loaded, as a failed query leaves it; a server dictionary stays as the call left it.
    if (kind != DICT_KIND_NET) d->Set_Loaded(1);
    d->Set_Load_Failed(1);
    Log_Printf("dict %s: not loaded; tried again after %d ms\n", id.c_str(),
               Param_Ms(u"dict_load_retry_ms", DEFAULT_RETRY_MS));
    return 0;
  }
  After_Load(d, kind != DICT_KIND_NET);
  return 1;
}

bool TDict_Client_List::Take_Mark(const std::string& id) {
  if (mark_count_.load(std::memory_order_acquire) == 0) return false;
  std::lock_guard<std::mutex> g(marks_lock_);
  bool had = marks_.erase(id) > 0;
  mark_count_.store(static_cast<int>(marks_.size()), std::memory_order_release);
  return had;
}

void TDict_Client_List::Mark_Changed(const std::string& dict_id) {
  if (dict_id.empty()) return;
  std::lock_guard<std::mutex> g(marks_lock_);
  marks_.insert(dict_id);
  mark_count_.store(static_cast<int>(marks_.size()), std::memory_order_release);
}

void TDict_Client_List::Mark_All_Changed() {
  std::vector<std::string> ids;
  {
    std::lock_guard<std::mutex> g(lock_);
    for (const auto& e : dicts_) ids.push_back(e.first);
  }
  for (const std::string& id : ids) Mark_Changed(id);
}

int TDict_Client_List::Kind_Of(TDict* d) {
  if (dynamic_cast<TDict_Net*>(d)) return DICT_KIND_NET;
  return dynamic_cast<TDict_Db*>(d) ? DICT_KIND_DB : DICT_KIND_SQL;
}

// The rows afresh, swapped in with the user restriction and the filter already applied; the rows
// held serve meanwhile and stay when it fails. The caller holds the dictionary's loaders' lock.
int TDict_Client_List::Reload(TDict* d, int changes_only) {
  const bool net = Kind_Of(d) == DICT_KIND_NET;
  return d->Rebuild([this, net](TDict* fresh) { After_Load(fresh, !net); }, changes_only);
}

// Runs on every Get_Dict (a grid asks at every cell): the common case costs a flag, an atomic read and
// one cast. Whatever needs the database or the server runs under the dictionary's loaders' lock, taken
// only when free: while another thread loads the dictionary, this one serves the rows held.
void TDict_Client_List::Keep_Current(TDict* d, const std::string& id) {
  const int kind = Kind_Of(d);
  const int retry_ms = Param_Ms(u"dict_load_retry_ms", DEFAULT_RETRY_MS);
  // A server dictionary serving its cache file (its server was away at the first load) is usable, and
  // asks the server again after the same pause as a failed one.
  auto cached = [d, kind] { return kind == DICT_KIND_NET && d->Is_Stale() && !d->Load_Failed(); };
  auto due = [&] { return Dict_Now_Ms() - (cached() ? d->Checked_At() : d->Failed_At()) >= retry_ms; };
  if (d->Load_Failed() || cached()) {
    if (!due() || Session_Busy_Here(kind)) return;
    auto load = d->Load_Lock(false);
    if (!load.owns_lock() || !(d->Load_Failed() || cached()) || !due()) return;
    d->Set_Checked_At(Dict_Now_Ms());
    Take_Mark(id);
    // Stale rows serve until the new ones are in.
    if (d->Has_Rows() ? Reload(d, kind == DICT_KIND_NET) : Define_And_Load(d, id, kind)) Tell_Reloaded(id);
    return;
  }
  bool reload = Take_Mark(id);
  if (!reload && kind == DICT_KIND_NET) {
    const long long now = Dict_Now_Ms();
    const int every = Param_Ms(u"dict_poll_interval_ms", DEFAULT_POLL_MS);
    if (every > 0 && now - d->Checked_At() >= every) {
      auto load = d->Load_Lock(false);
      if (!load.owns_lock()) return;
      d->Set_Checked_At(now);
      if (!Dict_Notify_Listening() && d->Is_Time_Stamp_Changed() && Reload(d, 1)) Tell_Reloaded(id);
      return;
    }
  }
  if (!reload) return;
  auto load = Session_Busy_Here(kind) ? Load_Guard() : d->Load_Lock(false);
  if (!load.owns_lock()) {
    // Another thread loads it now, or this thread's session waits: the change is read at a later look.
    Mark_Changed(id);
    return;
  }
  // A server dictionary loads the change set onto a copy of the rows held; the others read again.
  if (Reload(d, kind == DICT_KIND_NET)) Tell_Reloaded(id);
}

void TDict_Client_List::Add_Reload_Observer(Reloaded_Fn fn, void* ctx) {
  std::lock_guard<std::mutex> g(observers_lock_);
  observers_.emplace_back(fn, ctx);
}

void TDict_Client_List::Remove_Reload_Observer(Reloaded_Fn fn, void* ctx) {
  std::lock_guard<std::mutex> g(observers_lock_);
  for (auto it = observers_.begin(); it != observers_.end(); ++it) {
    if (it->first == fn && it->second == ctx) {
      observers_.erase(it);
      return;
    }
  }
}

void TDict_Client_List::Tell_Reloaded(const std::string& id) {
  std::vector<std::pair<Reloaded_Fn, void*>> now;
  {
    std::lock_guard<std::mutex> g(observers_lock_);
    now = observers_;
  }
  for (const auto& o : now) o.first(o.second, id.c_str());
}

bool TDict_Client_List::Is_Marked(const std::string& id) {
  if (mark_count_.load(std::memory_order_acquire) == 0) return false;
  std::lock_guard<std::mutex> g(marks_lock_);
  return marks_.count(id) > 0;
}

TDict* TDict_Client_List::Get_Dict(const char* dict_id, int create) {
  if (!dict_id || !*dict_id) return nullptr;
  const std::string id(dict_id);
  TDict* d = nullptr;
  int kind = DICT_KIND_SQL;
  std::unique_lock<std::recursive_mutex> first_load;
  {
    std::lock_guard<std::mutex> g(lock_);
    auto it = dicts_.find(id);
    if (it != dicts_.end()) {
      d = it->second.get();
    } else if (create) {
      // A user's business objects come from the database, whatever the other dictionaries' kind.
      const bool ubo = id.compare(0, 4, "ubo.") == 0;
      kind = (ubo && kind_ == DICT_KIND_NET) ? DICT_KIND_SQL : kind_;
      std::unique_ptr<TDict> made = Make_Dict(kind);
      d = made.get();
      first_load = d->Load_Lock();  // taken before anyone sees it: they wait for this first load
      dicts_[id] = std::move(made);
    }
  }
  if (!d || !create) return d;
  if (first_load.owns_lock()) {
    Take_Mark(id);  // the load below reads the change a notice announced
    Define_And_Load(d, id, kind);  // kept also when it failed: see Get_Dict
    d->Set_Ready();
    return d;
  }
  if (!d->Ready()) {
    auto wait = Load_Lock_Waiting(d);  // its first load runs on another thread: nothing to serve before it ends
    return d;
  }
  Keep_Current(d, id);
  return d;
}

int TDict_Client_List::Refresh_Dict(const char* dict_id) {
  if (!dict_id) return 0;
  TDict* d = nullptr;
  {
    std::lock_guard<std::mutex> g(lock_);
    auto it = dicts_.find(dict_id);
    if (it == dicts_.end()) return 0;
    d = it->second.get();
  }
  auto load = Load_Lock_Waiting(d);
  if (!load.owns_lock()) return 0;
  Take_Mark(dict_id);
  return Reload(d, 0);
}

int TDict_Client_List::Prepare_Dicts(const std::vector<std::string>& ids, int* changed) {
  if (changed) *changed = 0;
  auto held = [this](const std::string& id) -> TDict* {
    std::lock_guard<std::mutex> g(lock_);
    auto it = dicts_.find(id);
    return it == dicts_.end() ? nullptr : it->second.get();
  };
  TSQLCA lst;
  lst.Set_Field_Count(2);
  lst.Set_Field_Name(0, u"dict_id");
  lst.Set_Field_Type(0, 'S');
  lst.Set_Field_Name(1, u"client_time_stamp");
  lst.Set_Field_Type(1, 'I');
  std::set<std::string> listed;
  for (const std::string& id : ids) {
    if (id.empty() || !listed.insert(id).second) continue;
    int ts = 0;
    if (TDict* d = held(id)) {
      if (d->Load_Mode() == 4) continue;
      if (d->Load_Mode() == 3) {
        d->Check_Dict();
        continue;
      }
      ts = d->Time_Stamp();
      Log_Printf("dict prepare %s %d\n", id.c_str(), ts);
    } else {
      Log_Printf("dict prepare %s 0\n", id.c_str());
    }
    lst.Add_Row();
    lst.Set_Value(0, map_wchar(id.c_str()));
    lst.Set_Value(1, map_wchar(std::to_string(ts).c_str()));
  }
  if (lst.Get_Row_Count() == 0) return 1;
  if (!Para_Dbio_Hooks().pack) Sqlca_Set_Para_Hooks();
  TParaMgr para;
  if (!para.Put_Sqlca_Para(u"dict_pack", &lst)) return 0;
  if (Zem_R_Call("Dict_Check_Time_Stamp", &para, 1) != 0) {
    Log_Printf("dict prepare: Dict_Check_Time_Stamp failed\n");
    return 0;
  }
  TSQLCA rep;
  if (!para.Get_Sqlca_Para(u"dict_pack", &rep)) return 0;
  int f_id = rep.Find_Field(u"dict_id"), f_cts = rep.Find_Field(u"client_time_stamp");
  int f_sts = rep.Find_Field(u"serv_time_stamp"), f_mode = rep.Find_Field(u"part_mode");
  if (f_id < 0 || f_cts < 0 || f_sts < 0) return 0;
  int n = 0;
  for (int r = 0; r < rep.Get_Row_Count(); ++r) {
    std::string id = Dict_Narrow(rep.Get_Row_Value(r, f_id));
    if (id.empty() || W_To_Int(rep.Get_Row_Value(r, f_sts)) == W_To_Int(rep.Get_Row_Value(r, f_cts))) continue;
    int part_mode = f_mode < 0 ? 0 : W_To_Int(rep.Get_Row_Value(r, f_mode));
    TParaMgr sub;
    if (!para.Get_Para_Para(map_wchar(("dict_data_" + id).c_str()), &sub)) {
      Log_Printf("dict prepare %s: no dict_data pack\n", id.c_str());
      continue;
    }
    std::unique_ptr<TDict> made;
    TDict* d = held(id);
    if (!d) {
      made = Make_Dict(DICT_KIND_NET);
      made->Set_Dict_Id(id.c_str());
      d = made.get();
    }
    auto load = Load_Lock_Waiting(d);
    if (!load.owns_lock()) continue;
    {
      auto dg = d->Lock();
      if (!(part_mode == 0 ? d->Unpack_Dict(&sub) : d->Unpack_Part(&sub))) {
        Log_Printf("dict prepare %s: reply does not unpack\n", id.c_str());
        continue;
      }
    }
    After_Load(d, true);
    d->Set_Loaded(1);
    d->Set_Load_Failed(0);
    if (d->Ext_Dict()) d->Ext_Dict()->Set_Loaded(1);
    if (made) {
      made->Set_Ready();
      std::lock_guard<std::mutex> g(lock_);
      if (!dicts_.count(id)) dicts_[id] = std::move(made);  // else another thread made it meanwhile
    }
    ++n;
  }
  if (changed) *changed = n;
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

TDict_Client_User_Map* Dict_Client_User_Map() {
  static TDict_Client_User_Map* cache = nullptr;
  return Zem_Singleton<TDict_Client_User_Map>("dict_mgr_client_user_map", cache);
}
