// The server's dictionaries: loading, change history under time stamps, and the answers of the
// dictionary calls.
#include "dict/dict_serv.h"

#include <climits>
#include <cstdlib>
#include <set>
#include <unordered_map>

#include "core/data/name_call.h"
#include "core/data/para.h"
#include "core/data/sqlca.h"
#include "core/text/code_page.h"
#include "core/text/wfunc.h"
#include "dict/dict_notify.h"
#include "dict/dict_zip.h"
#include "dict/sync_server.h"
#include "frame/log_mgr.h"
#include "frame/singleton.h"
#include "frame/thr_err.h"

namespace {

TDict_Mgr_Serv* g_dict_serv = nullptr;  // this module's static pointer

// Codes per statement when only some codes are re-read.
constexpr int kKeys_Per_Statement = 200;

int Fail(const std::string& text, TSQLCA* db = nullptr) {
  std::string msg = text;
  int code = -1;
  if (db && db->Get_Sqlcode()) {
    code = db->Get_Sqlcode();
    std::string m = Zem_W_To_Utf8(db->Get_Error_Msg());
    if (!m.empty()) msg += ": " + m;
  }
  Thr_Err_Mgr()->Set_Err(code, msg.c_str());
  Log_Printf("%s\n", msg.c_str());
  return 0;
}

// The dict_id of a call (narrow text); false with the thread error set when missing or empty.
bool Read_Id(TParaMgr* para, const char* call, std::string* id) {
  tstr s;
  if (!para || !para->Get_Str(u"dict_id", &s) || s.length() == 0) {
    Fail(std::string(call) + ": no dict_id in the call");
    return false;
  }
  *id = s.c_str();
  return true;
}

// A decimal integer of a data-set cell; 0 for anything else (a client stamp of 0 means "nothing held").
int Cell_Int(const wchar16* v) {
  if (!v) return 0;
  long long n = 0;
  bool neg = false;
  if (*v == u'-') {
    neg = true;
    ++v;
  }
  if (*v < u'0' || *v > u'9') return 0;
  for (; *v >= u'0' && *v <= u'9'; ++v) {
    n = n * 10 + (*v - u'0');
    if (n > INT_MAX) return 0;
  }
  if (*v) return 0;
  return static_cast<int>(neg ? -n : n);
}

// The field list of from (names, captions, types and sizes), without rows, into to.
void Copy_Fields(DBDataMgr* from, DBDataMgr* to) {
  int n = from->Get_Field_Count();
  to->CFree();
  to->Set_Field_Count(n);
  for (int i = 0; i < n; ++i) {
    to->Set_Field_Name(i, from->Get_Field_Name(i));
    to->Set_Field_Caption(i, from->Get_Field_Caption(i));
    to->Set_Field_Type(i, from->Get_Field_Type(i));
    to->Set_Field_Size(i, from->Get_Field_Size(i));
    to->Set_Field_Decsize(i, from->Get_Field_Decsize(i));
    to->Set_Field_Width(i, from->Get_Field_Width(i));
    to->Set_Field_Attr(i, from->Get_Field_Attr(i));
  }
}

bool Same_Fields(DBDataMgr* a, DBDataMgr* b) {
  if (a->Get_Field_Count() != b->Get_Field_Count()) return false;
  for (int i = 0; i < a->Get_Field_Count(); ++i)
    if (std::u16string(a->Get_Field_Name(i)) != b->Get_Field_Name(i)) return false;
  return true;
}

void Copy_Row(DBDataMgr* from, int row, DBDataMgr* to) {
  to->Add_Row();
  int n = std::min(from->Get_Field_Count(), to->Get_Field_Count());
  for (int f = 0; f < n; ++f) to->Set_Value(f, from->Get_Row_Value(row, f));
}

// The packed rows of a data set; false when it cannot be packed or is too long for a pack.
bool Pack_Rows(DBDataMgr* d, std::string* out) {
  unsigned n = 0;
  uint8_t* buf = d->Pack_Data(&n);
  if (!buf) return false;
  bool ok = n <= static_cast<unsigned>(INT_MAX);
  if (ok) out->assign(reinterpret_cast<const char*>(buf), n);
  std::free(buf);
  return ok;
}

// A packed data set as the pack's data-set value (what Put_Sqlca_Para stores).
bool Put_Packed_Set(TParaMgr* out, const char16_t* name, const std::shared_ptr<const std::string>& bytes) {
  ParaStru* p = out->Put_Shared(name, bytes);
  if (!p) return false;
  p->Set_Data_Flag(1);
  return true;
}

// Block-compressed bytes (made from rows when *zipped is still empty, kept there for the next
// transfer) as the two entries "<name>_size" and "<name>_data".
bool Put_File(TParaMgr* out, const std::string& name, const std::string& rows, std::string* zipped_keep) {
  std::string& zipped = *zipped_keep;
  if (zipped.empty() && !Zip_Block_Encode(reinterpret_cast<const uint8_t*>(rows.data()), rows.size(), &zipped))
    return false;
  if (zipped.size() > static_cast<size_t>(INT_MAX)) return false;
  std::u16string size_name = Zem_Utf8_To_W(name + "_size");
  std::u16string data_name = Zem_Utf8_To_W(name + "_data");
  if (!out->Put_Int(size_name.c_str(), static_cast<int>(zipped.size()))) return false;
  return out->Push_Para(data_name.c_str(), zipped.data(), 'S', static_cast<int>(zipped.size())) != nullptr;
}

// The codes of field 0 of a packed key list (empty codes left out).
bool Read_Keys(TParaMgr* para, const char* call, std::vector<std::u16string>* codes) {
  TSQLCA keys;
  if (!para->Find_Para(u"lst_key") || !para->Get_Sqlca_Para(u"lst_key", &keys))
    return Fail(std::string(call) + ": no key list \"lst_key\" in the call");
  if (keys.Get_Field_Count() < 1) return true;
  for (int r = 0; r < keys.Get_Row_Count(); ++r) {
    const wchar16* v = keys.Get_Row_Value(r, 0);
    if (v && *v) codes->push_back(v);
  }
  return true;
}

int File_Mode_Size() {
  int v = TDict_Mgr_Serv::DEFAULT_FILE_MODE_SIZE;
  if (!Pub_Para_Get_Int(u"dict_file_mode_size", &v)) v = TDict_Mgr_Serv::DEFAULT_FILE_MODE_SIZE;
  return v;
}

int Call_Load_Data(TParaMgr* p) { return Dict_Mgr_Serv()->Load_Data(p); }
int Call_Get_Time_Stamp(TParaMgr* p) { return Dict_Mgr_Serv()->Get_Time_Stamp(p); }
int Call_Check_Time_Stamp(TParaMgr* p) { return Dict_Mgr_Serv()->Check_Time_Stamp(p); }
int Call_Load_Part_Data(TParaMgr* p) { return Dict_Mgr_Serv()->Load_Part_Data(p); }
int Call_Set_Time_Stamp(TParaMgr* p) { return Dict_Mgr_Serv()->Set_Time_Stamp_Call(p); }
int Call_Refresh_Dict_Key(TParaMgr* p) { return Dict_Mgr_Serv()->Refresh_Dict_Key(p); }
int Call_Serv_Refresh(TParaMgr* p) { return Dict_Mgr_Serv()->Serv_Refresh(p); }

}  // namespace

TDict_Mgr_Serv::TDict_Mgr_Serv() = default;
TDict_Mgr_Serv::~TDict_Mgr_Serv() = default;

// ---- the list and the stamps

TDict_Mgr_Serv::Serv_Dict* TDict_Mgr_Serv::Find(const char* dict_id,
                                                std::unique_lock<std::recursive_mutex>* hold) {
  if (!dict_id || !*dict_id) {
    Fail("dictionary server: no dictionary id");
    return nullptr;
  }
  std::string id = dict_id;
  Serv_Dict* e = nullptr;
  {
    std::lock_guard<std::mutex> g(lock_);
    std::unique_ptr<Serv_Dict>& slot = dicts_[id];
    if (!slot) slot = std::make_unique<Serv_Dict>();
    e = slot.get();
  }
  *hold = std::unique_lock<std::recursive_mutex>(e->lock);
  if (e->dict) {
    Sync_Stamp(id, e);
    if (e->stale.exchange(false) && !Refresh_Locked(id, e, false, false)) {
      // The rows held still answer; the failure is this refresh's, not the caller's. The entry stays
      // stale: the change its notice announced is read by the next call, not lost until another.
      e->stale = true;
      std::string why;
      Thr_Err_Mgr()->Get_Err(&why);
      Log_Printf("dictionary server: %s\n", why.c_str());
      Thr_Err_Mgr()->Clear_Err();
    }
    return e;
  }
  // First use (or a retry after an unknown id): load by the definition on this thread's session.
  e->stale = false;  // what this load reads is current
  auto d = std::make_unique<TDict>();
  d->Set_File_Cache(0);
  if (!d->SetInfo(id.c_str())) {
    hold->unlock();
    Fail("dictionary server: unknown dictionary " + id, d.get());
    return nullptr;
  }
  if (!d->Load(0)) {
    hold->unlock();
    Fail("dictionary server: cannot load dictionary " + id, d.get());
    return nullptr;
  }
  if (d->Is_App_Dict() && d->Get_Row_Count() == 0) {
    hold->unlock();
    Fail("dictionary server: unknown dictionary " + id);
    return nullptr;
  }
  e->dict = std::move(d);
  e->packed_stamp = -1;
  e->history.clear();
  e->stamp = e->base = static_cast<int>(Sync_Server_Mgr()->Get_Time_Stamp(id.c_str()));
  return e;
}

void TDict_Mgr_Serv::Sync_Stamp(const std::string& id, Serv_Dict* e) {
  int s = static_cast<int>(Sync_Server_Mgr()->Get_Time_Stamp(id.c_str()));
  if (s == e->stamp) return;
  e->history.clear();
  e->stamp = e->base = s;
}

void TDict_Mgr_Serv::Restart_History(const std::string& id, Serv_Dict* e, bool announce) {
  e->history.clear();
  e->stamp = e->base = static_cast<int>(Sync_Server_Mgr()->Touch(id.c_str()));
  if (announce) Dict_Notify_Send(id, e->stamp);
}

void TDict_Mgr_Serv::Mark_Stale(const char* dict_id) {
  std::lock_guard<std::mutex> g(lock_);
  // The entry's dictionary is its own lock's: only the flag is touched here.
  for (auto& entry : dicts_)
    if (!dict_id || entry.first == dict_id) entry.second->stale = true;
}

void TDict_Mgr_Serv::Record(const std::string& id, Serv_Dict* e, const std::vector<std::u16string>& codes,
                            bool announce) {
  int s = static_cast<int>(Sync_Server_Mgr()->Touch(id.c_str()));
  if (codes.empty()) {
    e->history.push_back({s, std::u16string()});
  } else {
    for (const std::u16string& c : codes) e->history.push_back({s, c});
  }
  e->stamp = s;
  // A client that holds a dropped change's stamp already has it: the base moves up to it.
  while (e->history.size() > static_cast<size_t>(HISTORY_MAX)) {
    e->base = e->history.front().stamp;
    e->history.pop_front();
  }
  if (announce) Dict_Notify_Send(id, s);
}

void TDict_Mgr_Serv::Clear() {
  std::lock_guard<std::mutex> g(lock_);
  dicts_.clear();
}

int TDict_Mgr_Serv::Time_Stamp(const char* dict_id) {
  std::unique_lock<std::recursive_mutex> hold;
  Serv_Dict* e = Find(dict_id, &hold);
  return e ? e->stamp : 0;
}

int TDict_Mgr_Serv::Base_Stamp(const char* dict_id) {
  std::unique_lock<std::recursive_mutex> hold;
  Serv_Dict* e = Find(dict_id, &hold);
  return e ? e->base : 0;
}

int TDict_Mgr_Serv::History_Count(const char* dict_id) {
  std::unique_lock<std::recursive_mutex> hold;
  Serv_Dict* e = Find(dict_id, &hold);
  return e ? static_cast<int>(e->history.size()) : -1;
}

// ---- server-side changes

int TDict_Mgr_Serv::Add_Code(const char* dict_id, map_wchar code, map_wchar name) {
  std::unique_lock<std::recursive_mutex> hold;
  Serv_Dict* e = Find(dict_id, &hold);
  if (!e) return 0;
  TDict* d = e->dict.get();
  if (W_Is_Empty(code.c_str()) || d->Get_Field_Count() < 2)
    return Fail("Add_Code: an empty code or a dictionary without a name");
  std::u16string c = code.c_str();
  if (d->Seek_Code(0, c.c_str())) {
    d->Set_Value(1, name);
  } else if (!d->Add_Code(c.c_str(), name)) {
    return Fail("Add_Code: cannot add the code");
  }
  Record(dict_id, e, {c});
  return 1;
}

int TDict_Mgr_Serv::Modify(const char* dict_id, const std::vector<std::u16string>& row) {
  std::unique_lock<std::recursive_mutex> hold;
  Serv_Dict* e = Find(dict_id, &hold);
  if (!e) return 0;
  TDict* d = e->dict.get();
  if (row.empty() || row[0].empty() || d->Get_Field_Count() < 1) return Fail("Modify: a row without a code");
  if (!d->Seek_Code(0, row[0].c_str())) {
    d->Add_Row();
    d->Set_Value(0, row[0].c_str());
  }
  int n = std::min(static_cast<int>(row.size()), d->Get_Field_Count());
  for (int f = 1; f < n; ++f) d->Set_Value(f, row[static_cast<size_t>(f)].c_str());
  d->Build_Index();
  Record(dict_id, e, {row[0]});
  return 1;
}

int TDict_Mgr_Serv::Erase_Code(const char* dict_id, map_wchar code) {
  std::unique_lock<std::recursive_mutex> hold;
  Serv_Dict* e = Find(dict_id, &hold);
  if (!e) return 0;
  std::u16string c = code.c_str();
  if (!e->dict->Erase_Code(c.c_str()))
    return Fail("Erase_Code: the code is not in dictionary " + std::string(dict_id));
  Record(dict_id, e, {c});
  return 1;
}

int TDict_Mgr_Serv::Set_Time_Stamp(const char* dict_id) {
  std::unique_lock<std::recursive_mutex> hold;
  Serv_Dict* e = Find(dict_id, &hold);
  if (!e) return 0;
  Restart_History(dict_id, e);
  return 1;
}

int TDict_Mgr_Serv::Set_Part_Load(const char* dict_id, int on) {
  std::unique_lock<std::recursive_mutex> hold;
  Serv_Dict* e = Find(dict_id, &hold);
  if (!e) return 0;
  e->part_load = on ? 1 : 0;
  return 1;
}

int TDict_Mgr_Serv::Refresh(const char* dict_id) {
  std::unique_lock<std::recursive_mutex> hold;
  Serv_Dict* e = Find(dict_id, &hold);
  return e ? Refresh_Locked(dict_id, e, false) : 0;
}

int TDict_Mgr_Serv::Refresh_Locked(const std::string& id, Serv_Dict* e, bool force_stamp, bool announce) {
  auto d = std::make_unique<TDict>();
  d->Set_File_Cache(0);
  if (!d->SetInfo(id.c_str()) || !d->Load(0))
    return Fail("dictionary server: cannot reload dictionary " + id, d.get());
  TDict* old = e->dict.get();
  DBDataMgr* od = old->Data();
  DBDataMgr* nd = d->Data();
  bool whole = !Same_Fields(od, nd);
  // The change set carries no rows of the extended dictionary: when those differ, clients reload whole.
  if (!whole && (old->Ext_Dict() != nullptr) != (d->Ext_Dict() != nullptr)) whole = true;
  if (!whole && old->Ext_Dict()) {
    std::string a, b;
    whole = !Pack_Rows(old->Ext_Dict()->Data(), &a) || !Pack_Rows(d->Ext_Dict()->Data(), &b) || a != b;
  }
  std::vector<std::u16string> changed;
  if (!whole) {
    std::unordered_map<std::u16string, int> before, after;
    for (int r = od->Get_Row_Count() - 1; r >= 0; --r) before[od->Get_Row_Value(r, 0)] = r;  // first wins
    for (int r = nd->Get_Row_Count() - 1; r >= 0; --r) after[nd->Get_Row_Value(r, 0)] = r;
    for (const auto& b : before)
      if (!after.count(b.first)) changed.push_back(b.first);
    const int fields = nd->Get_Field_Count();
    for (const auto& a : after) {
      auto b = before.find(a.first);
      bool differs = b == before.end();
      for (int f = 1; !differs && f < fields; ++f)
        differs = std::u16string(od->Get_Row_Value(b->second, f)) != nd->Get_Row_Value(a.second, f);
      if (differs) changed.push_back(a.first);
    }
  }
  e->dict = std::move(d);
  e->packed_stamp = -1;
  if (whole) {
    Restart_History(id, e, announce);
  } else if (!changed.empty() || force_stamp) {
    Record(id, e, changed, announce);
  }
  return 1;
}

int TDict_Mgr_Serv::Refresh_Keys(const char* dict_id, const std::vector<std::u16string>& codes) {
  std::unique_lock<std::recursive_mutex> hold;
  Serv_Dict* e = Find(dict_id, &hold);
  if (!e) return 0;
  TDict* d = e->dict.get();
  if (d->Get_Field_Count() < 1)
    return Fail("Dict_Refresh_Dict_Key: dictionary " + std::string(dict_id) + " has no fields");
  // The dictionary's own SQL as a derived table, narrowed to the codes: any definition works the same.
  const std::u16string head = u"select * from (" + std::u16string(map_wchar(d->Sqlcmd().c_str()).c_str()) +
                              u") zem_k where " + d->Get_Field_Name(0) + u" in (";
  TSQLCA found;
  std::set<std::u16string> wanted(codes.begin(), codes.end());
  wanted.erase(std::u16string());
  std::vector<std::u16string> list(wanted.begin(), wanted.end());
  for (size_t at = 0; at < list.size(); at += kKeys_Per_Statement) {
    std::u16string sql = head;
    for (size_t i = at; i < list.size() && i < at + kKeys_Per_Statement; ++i) {
      if (i > at) sql += u",";
      sql += u"'" + Sql_Quote(list[i].c_str()) + u"'";
    }
    sql += u")";
    TSQLCA q;
    if (q.Exec(sql.c_str()) != 0)
      return Fail("Dict_Refresh_Dict_Key: cannot read the codes of " + std::string(dict_id), &q);
    if (q.Get_Field_Count() != d->Get_Field_Count())
      return Fail("Dict_Refresh_Dict_Key: the rows of " + std::string(dict_id) +
                  " no longer have its fields");
    if (found.Get_Field_Count() == 0) Copy_Fields(q.Data(), found.Data());
    found.Append_Data(&q);
  }
  // Everything is read before anything changes.
  std::set<std::u16string> present;
  for (int r = 0; r < found.Get_Row_Count(); ++r) {
    std::u16string c = found.Get_Row_Value(r, 0);
    if (!present.insert(c).second) continue;  // a duplicated code: the first row counts, as in lookups
    if (!d->Seek_Code(0, c.c_str())) {
      d->Add_Row();
      d->Set_Value(0, c.c_str());
    }
    for (int f = 1; f < d->Get_Field_Count(); ++f) d->Set_Value(f, found.Get_Row_Value(r, f));
    d->Build_Index();
  }
  for (const std::u16string& c : list)
    if (!present.count(c) && d->Seek_Code(0, c.c_str())) {
      d->Data()->Del_Row();
      d->Build_Index();
    }
  if (!list.empty()) Record(dict_id, e, list);
  return 1;
}

// ---- answers

int TDict_Mgr_Serv::Put_Transfer(Serv_Dict* e, TParaMgr* out) {
  TDict* d = e->dict.get();
  out->Put_Str(u"parent_col", d->Parent_Col().c_str());
  out->Put_Str(u"idx_dict", d->Idx_Dict().c_str());
  out->Put_Str(u"idx_col", d->Idx_Col().c_str());
  out->Put_Str(u"sort_col", d->Sort_Col().c_str());
  out->Put_Str(u"ext_col", d->Ext_Col().c_str());
  out->Put_Str(u"ext_col_val", d->Ext_Col_Val().c_str());
  out->Put_Int(u"is_app_dict", d->Is_App_Dict());
  out->Put_Str(u"dict_sql", d->Sqlcmd().c_str());
  out->Put_Int(u"time_stamp", e->stamp);
  out->Put_Int(u"part_load_mode", e->part_load);

  // The packed rows are kept for the stamp: every client after the first that needs the whole
  // dictionary at this stamp gets the same bytes without packing them again.
  TDict* ext = d->Ext_Dict();
  if (e->packed_stamp != e->stamp || e->packed_part != e->part_load) {
    std::string rows, ext_rows;
    bool ok;
    if (e->part_load) {
      DBDataMgr empty;  // the fields without rows: the client fetches the codes it needs
      Copy_Fields(d->Data(), &empty);
      ok = Pack_Rows(&empty, &rows);
    } else {
      ok = Pack_Rows(d->Data(), &rows);
    }
    if (ok && ext) ok = Pack_Rows(ext->Data(), &ext_rows);
    if (!ok) return Fail("Dict_Load_Data: cannot pack the rows of " + d->Dict_Id());
    e->packed_rows = std::make_shared<const std::string>(std::move(rows));
    e->packed_ext = std::make_shared<const std::string>(std::move(ext_rows));
    e->zipped_rows.clear();
    e->zipped_ext.clear();
    e->packed_stamp = e->stamp;
    e->packed_part = e->part_load;
  }
  const std::string& rows = *e->packed_rows;
  const std::string& ext_rows = *e->packed_ext;
  bool ok;

  const int limit = File_Mode_Size();
  const bool file_mode = limit > 0 && rows.size() + ext_rows.size() > static_cast<size_t>(limit);
  out->Put_Int(u"file_mode", file_mode ? 1 : 0);
  if (file_mode) {
    ok = Put_File(out, "dtfile", rows, &e->zipped_rows) &&
         (!ext || Put_File(out, "pardtfile", ext_rows, &e->zipped_ext));
  } else {
    ok = Put_Packed_Set(out, u"data_pack", e->packed_rows) &&
         (!ext || Put_Packed_Set(out, u"parent_data_pack", e->packed_ext));
  }
  if (!ok) return Fail("Dict_Load_Data: cannot put the rows of " + d->Dict_Id() + " into the reply");
  return 1;
}

int TDict_Mgr_Serv::Put_Change_Set(Serv_Dict* e, int client_stamp, TParaMgr* out) {
  TDict* d = e->dict.get();
  std::set<std::u16string> codes;
  for (auto it = e->history.rbegin(); it != e->history.rend() && it->stamp > client_stamp; ++it)
    if (!it->code.empty()) codes.insert(it->code);
  TSQLCA erase, modi;
  Copy_Fields(d->Data(), erase.Data());
  Copy_Fields(d->Data(), modi.Data());
  for (const std::u16string& c : codes) {
    if (d->Seek_Code(0, c.c_str())) {
      Copy_Row(d->Data(), d->Get_Cur_Row(), modi.Data());
    } else {
      erase.Add_Row();
      erase.Set_Value(0, c.c_str());
    }
  }
  out->Put_Int(u"time_stamp", e->stamp);
  if (!out->Put_Sqlca_Para(u"erase_data_pack", &erase) || !out->Put_Sqlca_Para(u"modi_data_pack", &modi))
    return Fail("Dict_Load_Data: cannot put the change set of " + d->Dict_Id() + " into the reply");
  return 1;
}

int TDict_Mgr_Serv::Answer(Serv_Dict* e, int client_stamp, TParaMgr* out) {
  // Stamp 0 means nothing held; a stamp outside the history (older, or never handed out) gets all.
  const bool part = client_stamp != 0 && client_stamp >= e->base && client_stamp <= e->stamp;
  if (part) return Put_Change_Set(e, client_stamp, out) ? 1 : -1;
  return Put_Transfer(e, out) ? 0 : -1;
}

int TDict_Mgr_Serv::Load_Data(TParaMgr* para) {
  std::string id;
  if (!Read_Id(para, "Dict_Load_Data", &id)) return 0;
  int client = 0;
  para->Get_Int(u"time_stamp", &client);
  std::unique_lock<std::recursive_mutex> hold;
  Serv_Dict* e = Find(id.c_str(), &hold);
  if (!e) return 0;
  int part = Answer(e, client, para);
  if (part < 0) return 0;
  para->Put_Int(u"part_sync", part);
  return 1;
}

int TDict_Mgr_Serv::Get_Time_Stamp(TParaMgr* para) {
  std::string id;
  if (!Read_Id(para, "Dict_Get_Time_Stamp", &id)) return 0;
  std::unique_lock<std::recursive_mutex> hold;
  Serv_Dict* e = Find(id.c_str(), &hold);
  if (!e) return 0;
  para->Put_Int(u"time_stamp", e->stamp);
  return 1;
}

int TDict_Mgr_Serv::Check_Time_Stamp(TParaMgr* para) {
  TSQLCA in;
  if (!para || !para->Find_Para(u"dict_pack") || !para->Get_Sqlca_Para(u"dict_pack", &in))
    return Fail("Dict_Check_Time_Stamp: no dictionary list \"dict_pack\" in the call");
  const int f_id = in.Find_Field(u"dict_id");
  const int f_ts = in.Find_Field(u"client_time_stamp");
  if (f_id < 0 || f_ts < 0)
    return Fail("Dict_Check_Time_Stamp: \"dict_pack\" needs the columns dict_id and client_time_stamp");
  TSQLCA out;
  const char16_t* names[] = {u"dict_id", u"client_time_stamp", u"serv_time_stamp", u"part_mode"};
  out.Set_Field_Count(4);
  for (int i = 0; i < 4; ++i) {
    out.Set_Field_Name(i, names[i]);
    if (i > 0) out.Set_Field_Type(i, 'I');
  }
  for (int r = 0; r < in.Get_Row_Count(); ++r) {
    std::string id = Dict_Narrow(in.Get_Row_Value(r, f_id));
    int client = Cell_Int(in.Get_Row_Value(r, f_ts));
    std::unique_lock<std::recursive_mutex> hold;
    Serv_Dict* e = Find(id.c_str(), &hold);
    if (!e) {
      // One unknown id does not fail the others: its row is left out, and a later load reports it.
      Thr_Err_Mgr()->Clear_Err();
      continue;
    }
    int part = 0;
    if (e->stamp != client) {
      TParaMgr sub;
      part = Answer(e, client, &sub);
      if (part < 0) return 0;
      sub.Put_Int(u"part_sync", part);
      std::u16string name = u"dict_data_" + std::u16string(in.Get_Row_Value(r, f_id));
      if (!para->Put_Para_Para(name.c_str(), &sub))
        return Fail("Dict_Check_Time_Stamp: cannot put the reply of dictionary " + id);
    }
    out.Add_Row();
    out.Set_Value(0, in.Get_Row_Value(r, f_id));
    out.Set_Value(1, map_wchar(client));
    out.Set_Value(2, map_wchar(e->stamp));
    out.Set_Value(3, map_wchar(part));
  }
  if (!para->Put_Sqlca_Para(u"dict_pack", &out))
    return Fail("Dict_Check_Time_Stamp: cannot put the reply list");
  return 1;
}

int TDict_Mgr_Serv::Load_Part_Data(TParaMgr* para) {
  std::string id;
  if (!Read_Id(para, "Dict_Load_Part_Data", &id)) return 0;
  std::vector<std::u16string> codes;
  if (!Read_Keys(para, "Dict_Load_Part_Data", &codes)) return 0;
  std::unique_lock<std::recursive_mutex> hold;
  Serv_Dict* e = Find(id.c_str(), &hold);
  if (!e) return 0;
  TDict* d = e->dict.get();
  TSQLCA out;
  Copy_Fields(d->Data(), out.Data());
  std::set<std::u16string> seen;
  for (const std::u16string& c : codes)
    if (seen.insert(c).second && d->Seek_Code(0, c.c_str()))
      Copy_Row(d->Data(), d->Get_Cur_Row(), out.Data());
  if (!para->Put_Sqlca_Para(u"part_data_pack", &out))
    return Fail("Dict_Load_Part_Data: cannot put the rows of " + id + " into the reply");
  para->Put_Int(u"time_stamp", e->stamp);
  return 1;
}

int TDict_Mgr_Serv::Set_Time_Stamp_Call(TParaMgr* para) {
  std::string id;
  if (!Read_Id(para, "Dict_Set_Time_Stamp", &id)) return 0;
  std::unique_lock<std::recursive_mutex> hold;
  Serv_Dict* e = Find(id.c_str(), &hold);
  if (!e || !Refresh_Locked(id, e, true)) return 0;
  para->Put_Int(u"time_stamp", e->stamp);
  return 1;
}

int TDict_Mgr_Serv::Refresh_Dict_Key(TParaMgr* para) {
  std::string id;
  if (!Read_Id(para, "Dict_Refresh_Dict_Key", &id)) return 0;
  std::vector<std::u16string> codes;
  if (!Read_Keys(para, "Dict_Refresh_Dict_Key", &codes)) return 0;
  if (!Refresh_Keys(id.c_str(), codes)) return 0;
  para->Put_Int(u"time_stamp", Time_Stamp(id.c_str()));
  return 1;
}

int TDict_Mgr_Serv::Serv_Refresh(TParaMgr* para) {
  std::string id;
  if (!Read_Id(para, "Dict_Serv_Refresh", &id)) return 0;
  std::unique_lock<std::recursive_mutex> hold;
  Serv_Dict* e = Find(id.c_str(), &hold);
  if (!e || !Refresh_Locked(id, e, false)) return 0;
  para->Put_Int(u"time_stamp", e->stamp);
  return 1;
}

TDict_Mgr_Serv* Dict_Mgr_Serv() { return Zem_Singleton<TDict_Mgr_Serv>("dict_mgr_serv", g_dict_serv); }

int Dict_Serv_Register() {
  TName_Call* mid = Mid_Process();
  mid->DefineFunction("Dict_Load_Data", 1, Call_Load_Data, "dictionary load");
  mid->DefineFunction("Dict_Get_Time_Stamp", 1, Call_Get_Time_Stamp, "dictionary time stamp");
  mid->DefineFunction("Dict_Check_Time_Stamp", 1, Call_Check_Time_Stamp, "dictionary prepare");
  mid->DefineFunction("Dict_Load_Part_Data", 1, Call_Load_Part_Data, "dictionary part load");
  mid->DefineFunction("Dict_Set_Time_Stamp", 1, Call_Set_Time_Stamp, "dictionary new time stamp");
  mid->DefineFunction("Dict_Refresh_Dict_Key", 1, Call_Refresh_Dict_Key, "dictionary refresh codes");
  mid->DefineFunction("Dict_Serv_Refresh", 1, Call_Serv_Refresh, "dictionary refresh");
  mid->DefineFunction("Tfa_Info_Sync_Get_Time_Stamp", 1, Tfa_Info_Sync_Get_Time_Stamp,
                      "dictionary time stamp");
  return 1;
}
