// Sessions over driver libraries, the data-operation table handed to drivers, and the pool.
#include "core/data/db_connect.h"

#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>

#include "core/data/db_stmt.h"
#include "core/data/dbdata.h"
#include "core/data/para.h"
#include "frame/host_funcs.h"
#include "frame/log_mgr.h"
#include "frame/pub_ptr.h"
#include "frame/singleton.h"

// ---- the data-operation table ---------------------------------------------------------------------
namespace {

DBDataMgr* D(void* ds) { return static_cast<DBDataMgr*>(ds); }

int Op_Reset_Result(void* ds) {
  D(ds)->Set_Error(0, g_empty_w);
  D(ds)->Set_Tag(1, 0);
  D(ds)->Set_Tag(3, 0);
  return 1;
}
int Op_CFree(void* ds) { return D(ds)->CFree(); }
int Op_Set_Error(void* ds, int code, const wchar16* msg) { return D(ds)->Set_Error(code, msg); }
int Op_Set_Table_Name(void* ds, const wchar16* name) { return D(ds)->Set_Table_Name(name); }
int Op_Set_Field_Name(void* ds, int i, const wchar16* name) { return D(ds)->Set_Field_Name(i, name); }
int Op_Set_Field_Type(void* ds, int i, char t) { return D(ds)->Set_Field_Type(i, t); }
int Op_Set_Field_Size(void* ds, int i, int v) { return D(ds)->Set_Field_Size(i, v); }
int Op_Set_Field_Decsize(void* ds, int i, int v) { return D(ds)->Set_Field_Decsize(i, v); }
int Op_Set_Field_Count(void* ds, int n) { return D(ds)->Set_Field_Count(n); }
int Op_Nop(void*) { return 1; }
int Op_Set_Tag(void* ds, int which, int v) {
  D(ds)->Set_Tag(which, v);
  return 1;
}
int Op_Set_Value(void* ds, int i, const wchar16* t) { return D(ds)->Set_Value(i, t); }
int Op_Set_Value_With_Len(void* ds, int i, const wchar16* t, int n) {
  return D(ds)->Set_Value_With_Len(i, t, n);
}
const wchar16* Op_Get_Table_Name(void* ds) { return D(ds)->Get_Table_Name(); }
const wchar16* Op_Get_Field_Name(void* ds, int i) { return D(ds)->Get_Field_Name(i); }
char Op_Get_Field_Type(void* ds, int i) { return D(ds)->Get_Field_Type(i); }
int Op_Get_Field_Size(void* ds, int i) { return D(ds)->Get_Field_Size(i); }
int Op_Get_Field_Decsize(void* ds, int i) { return D(ds)->Get_Field_Decsize(i); }
int Op_Get_Field_Count(void* ds) { return D(ds)->Get_Field_Count(); }
int Op_Get_Row_Count(void* ds) { return D(ds)->Get_Row_Count(); }
int Op_Get_Tag(void* ds, int which) { return D(ds)->Get_Tag(which); }
const wchar16* Op_Get_Value(void* ds, int i) { return D(ds)->Get_Value(i); }
int Op_Add_Row(void* ds) { return D(ds)->Add_Row(); }
int Op_Has_Next(void* ds) { return D(ds)->Has_Next(); }
int Op_Next(void* ds) { return D(ds)->Next(); }
int Op_First(void* ds) { return D(ds)->First(); }
int Op_Go_To_Row(void* ds, int r) { return D(ds)->Go_To_Row(r); }

const TDb_Data_Oper kTable = {
    Op_Reset_Result,      Op_CFree,          Op_Set_Error,         Op_Set_Table_Name,
    Op_Set_Field_Name,    Op_Set_Field_Type, Op_Set_Field_Size,    Op_Set_Field_Decsize,
    Op_Set_Field_Count,   Op_Nop,            Op_Set_Tag,           Op_Set_Value,
    Op_Set_Value_With_Len, Op_Get_Table_Name, Op_Get_Field_Name,   Op_Get_Field_Type,
    Op_Get_Field_Size,    Op_Get_Field_Decsize, Op_Get_Field_Count, Op_Get_Row_Count,
    Op_Get_Tag,           Op_Get_Value,      Op_Add_Row,           Op_Has_Next,
    Op_Next,              Op_First,          Op_Go_To_Row,
};


}  // namespace

const TDb_Data_Oper* Db_Data_Oper_Table() { return &kTable; }

bool Db_Lost_Message(const wchar16* msg) {
  if (!msg) return false;
  std::u16string m(msg);
  return m.find(u"ConnectionWrite") != std::u16string::npos || m.find(u"连接失败") != std::u16string::npos;
}

namespace {

// A public parameter in seconds as ms; dflt when unset, -1 (no bound) for 0 or less.
int Bound_Ms(const char16_t* name, int dflt_s) {
  int v = dflt_s;
  if (!Pub_Para_Get_Int(name, &v)) v = dflt_s;
  if (v <= 0) return -1;
  return v > INT_MAX / 1000 ? INT_MAX : v * 1000;
}

}  // namespace

int Db_Statement_Timeout_Ms() { return Bound_Ms(u"db_statement_timeout", 30); }
int Db_Connect_Timeout_Ms() { return Bound_Ms(u"db_connect_timeout", 10); }

// ---- configuration ----------------------------------------------------------------------------------
int TDb_Config::Parse_Text(const char* text, std::string* error) {
  if (!text) return 1;
  TDb_Config out = *this;
  const char* p = text;
  int line_no = 0;
  while (*p) {
    const char* e = std::strchr(p, '\n');
    std::string line = e ? std::string(p, e) : std::string(p);
    p = e ? e + 1 : p + line.size();
    line_no++;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos || line[b] == '#') continue;
    line.erase(0, b);
    size_t eq = line.find('=');
    if (eq == std::string::npos) {
      if (error) *error = "line " + std::to_string(line_no) + ": no '=' in \"" + line + "\"";
      return 0;
    }
    std::string key = line.substr(0, eq), val = line.substr(eq + 1);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
    if (key == "driver") out.driver = val;
    else if (key == "kind") out.kind = std::atoi(val.c_str());
    else if (key.size() == 5 && key.compare(0, 4, "text") == 0 && key[4] >= '1' && key[4] <= '4')
      out.text[key[4] - '1'] = Zem_Utf8_To_W(val);
    else if (key == "option") out.option = std::atoi(val.c_str());
    else if (key == "group") out.group = val;
    else if (key == "log_path") out.log_path = val;
    else if (key == "log_mode") out.log_mode = std::atoi(val.c_str());
    else if (key == "count") out.count = std::atoi(val.c_str());
    else {
      if (error) *error = "line " + std::to_string(line_no) + ": unknown key \"" + key + "\"";
      return 0;
    }
  }
  *this = out;
  return 1;
}

// ---- TDb_Connect --------------------------------------------------------------------------------------
TDb_Connect::~TDb_Connect() {
  if (connected_) Disconnect();
}

namespace {

// The driver libraries this module loaded, by path. A library is loaded (and its load printed) once
// and kept for the life of the process, as T_Dll keeps what it loads: the sessions made anew while a
// server is away (a listener reconnecting every few seconds) take the one loaded.
T_Dll* Driver_Dll(const char* path) {
  static std::mutex lock;
  static auto* loaded = new std::map<std::string, std::unique_ptr<T_Dll>>();  // never destroyed: sessions
                                                                              // may close at exit
  std::lock_guard<std::mutex> g(lock);
  std::unique_ptr<T_Dll>& dll = (*loaded)[path];
  if (!dll) {
    auto fresh = std::make_unique<T_Dll>();
    if (!fresh->Load(path)) {
      loaded->erase(path);
      return nullptr;
    }
    dll = std::move(fresh);
  }
  return dll.get();
}

}  // namespace

int TDb_Connect::Load_Driver(const char* file) {
  if (!file || !*file) file = "zem_drv_sqlite";
  char path[1024];
  if (std::strchr(file, '/')) std::snprintf(path, sizeof path, "%s", file);
  else Dll_Get_File_Name(file, path);
  T_Dll* dll = Driver_Dll(path);
  if (!dll) {
    Log_Printf("unable to load dll %s\n", path);
    return 0;
  }
  dll_ = dll;
  struct Entry { const char* name; void** slot; };
  const Entry entries[] = {
      {"_Set_Data_Oper_Handle", reinterpret_cast<void**>(&set_oper_)},
      {"_Connect_Handle", reinterpret_cast<void**>(&connect_)},
      {"_Disconnect_Handle", reinterpret_cast<void**>(&disconnect_)},
      {"_Commit_Handle", reinterpret_cast<void**>(&commit_)},
      {"_Rollback_Handle", reinterpret_cast<void**>(&rollback_)},
      {"_ExecuteSql_Handle", reinterpret_cast<void**>(&execute_sql_)},
      {"_ExecuteProc_Handle", reinterpret_cast<void**>(&execute_proc_)},
      {"_SelectRow_Handle", reinterpret_cast<void**>(&select_row_)},
      {"_BatchInsert_Handle", reinterpret_cast<void**>(&batch_insert_)},
  };
  for (const Entry& en : entries) {
    // The plain name is tried by T_Dll after the decorated "_Name".
    *en.slot = dll_->Get_Ptr(en.name + 1);
    if (!*en.slot) Log_Printf("no define handle in %s: %s\n", path, en.name);
  }
  void* file_db = dlsym(dll_->Handle(), "_File_Db_Handle");
  file_db_ = reinterpret_cast<Db_File_Db_Fn>(file_db ? file_db : dlsym(dll_->Handle(), "File_Db_Handle"));
  void* params = dlsym(dll_->Handle(), "_ExecuteSql_Params_Handle");
  execute_params_ =
      reinterpret_cast<Db_Execute_Params_Fn>(params ? params : dlsym(dll_->Handle(), "ExecuteSql_Params_Handle"));
  if (set_oper_) set_oper_(Db_Data_Oper_Table());
  // The driver waits through this module's waiting function: the host's wait box on its
  // user-interface thread (frame/wait.h).
  void* set_wait = dlsym(dll_->Handle(), "_Set_Wait_Handle");
  if (!set_wait) set_wait = dlsym(dll_->Handle(), "Set_Wait_Handle");
  if (set_wait) reinterpret_cast<Db_Set_Wait_Fn>(set_wait)(Zem_Wait_Run);
  Load_Notify_Entries();
  return 1;
}

int TDb_Connect::Set_Config(const TDb_Config& cfg) {
  if (!Load_Driver(cfg.driver.c_str())) return 0;
  side_.reset();  // made from the old configuration
  kind_ = cfg.kind;
  for (int i = 0; i < 4; i++) text_[i] = cfg.text[i];
  option_ = cfg.option;
  group_ = cfg.group;
  log_path_ = cfg.log_path;
  log_mode_ = cfg.log_mode;
  return 1;
}

TDb_Connect* TDb_Connect::Side_Session() {
  if (!side_) {
    std::unique_ptr<TDb_Connect> s(new TDb_Connect());
    if (!s->Set_Config(Config())) return nullptr;
    side_ = std::move(s);
  }
  if (!side_->connected_) {
    DBDataMgr scratch;
    if (!side_->Connect(&scratch)) {
      Log_Printf("*** side session: cant link to db server: %s\n", Zem_W_To_Utf8(scratch.Get_Sqlmsg()).c_str());
      return nullptr;
    }
  }
  return side_.get();
}

// Before a call: a session that is not connected (never yet, or lost and not back) connects first;
// then the driver gets the session handle and the call's bound (what is left of its deadline).
int TDb_Connect::Before_Call(DBDataMgr* ds, void* fn, const char* name, long long deadline_ms) {
  if (!fn) {
    Log_Printf("%s is NULL\n", name);
    ds->Set_Error(-1, map_wchar((std::string(name) + " is NULL").c_str()));
    return 0;
  }
  if (!connected_) {
    DBDataMgr scratch;  // the caller's rows (a batch) stay as they are
    if (!Connect(&scratch)) {
      ds->Set_Error(scratch.Get_Sqlcode() ? scratch.Get_Sqlcode() : 999, scratch.Get_Sqlmsg());
      ds->Set_Tag(3, scratch.Get_Tag(3));
      return 0;
    }
  }
  ds->Set_Tag(0, session_);
  long long left = -1;
  if (deadline_ms > 0) left = std::max(1LL, deadline_ms - Zem_Wait_Now_Ms());
  ds->Set_Tag(2, left > INT_MAX ? INT_MAX : static_cast<int>(left));
  ds->Set_Tag(3, DB_END_NONE);
  return 1;
}

// After a call: a lost connection is given up; the next call connects afresh (the call is not
// repeated here).
int TDb_Connect::After_Call(DBDataMgr* ds, int ok) {
  if (ok || !Db_Lost_Message(ds->Get_Sqlmsg())) return ok;
  if (ds->Get_Sqlcode() == DB_LOST_TRANSACTION) lost_tx_ = 1;
  Disconnect();
  return ok;
}

template <class Run>
int TDb_Connect::Call(DBDataMgr* ds, void* fn, const char* name, bool retry, Run run) {
  if (busy_) {
    ds->Set_Error(DB_SESSION_BUSY,
                  u"ConnectionBusy: an earlier call of this thread is still waiting for the server on this "
                  u"session; this call was refused");
    return 0;
  }
  busy_ = 1;
  const int bound = call_bound_ms_ ? call_bound_ms_ : Db_Statement_Timeout_Ms();
  const long long deadline = bound > 0 ? Zem_Wait_Now_Ms() + bound : 0;
  const int was_connected = connected_;
  int ok = Before_Call(ds, fn, name, deadline) && After_Call(ds, run());
  // A connection the server closed while the session was idle is found at the next call: that call
  // runs again on a fresh one, so nobody sees a failure once the server is back.
  if (!ok && retry && was_connected && ds->Get_Tag(3) == DB_END_LOST_IDLE &&
      (deadline == 0 || Zem_Wait_Now_Ms() < deadline)) {
    Log_Printf("%s: the connection was gone before the call ran (%s); running it on a fresh connection\n", name,
               Zem_W_To_Utf8(ds->Get_Sqlmsg()).c_str());
    ok = Before_Call(ds, fn, name, deadline) && After_Call(ds, run());
  }
  busy_ = 0;
  return ok;
}

// A commit after uncommitted work was lost with a connection would commit nothing of it and look like
// success: it fails once with the news instead. The statements run since on the new session belong to
// the same unit of work; committed later on their own they would keep a part of it, so they are rolled
// back with it.
int TDb_Connect::Lost_Work_Refuses_Commit(DBDataMgr* ds) {
  if (!lost_tx_) return 0;
  if (connected_) {
    DBDataMgr scratch;
    Rollback(&scratch);
  }
  lost_tx_ = 0;
  ds->Set_Error(DB_LOST_TRANSACTION,
                u"commit: the connection was lost after the last commit, and the work not committed then went "
                u"with it; nothing was committed, and the statements since were rolled back");
  return 1;
}

std::string TDb_Connect::Server_Key() const {
  return std::string(Driver_File()) + "|" + Zem_W_To_Utf8(text_[0].c_str());
}

int TDb_Connect::Retry_In_Ms() const { return Db_Connect_Mgr()->Backoff_Left_Ms(Server_Key()); }

int TDb_Connect::Connect(DBDataMgr* ds) {
  DBDataMgr tmp;
  if (!ds) ds = &tmp;
  if (!connect_) {
    Log_Printf("_Connect_Handle is NULL\n");
    ds->Set_Error(-1, u"_Connect_Handle is NULL");
    return 0;
  }
  if (connecting_) {
    // A timer or a paint in the wait box's event loop: the outer call of this thread is connecting.
    ds->Set_Error(DB_SESSION_BUSY, u"ConnectionBusy: this session is connecting in an earlier call of this thread");
    return 0;
  }
  if (connected_) Disconnect();
  // While the server is unreachable, attempts wait for their turn and fail at once meanwhile.
  const std::string key = Server_Key();
  std::string why;
  if (const int left = Db_Connect_Mgr()->Backoff_Left_Ms(key, &why)) {
    char next[160];
    std::snprintf(next, sizeof next, "; the next try in %.1f s", left / 1000.0);
    ds->Set_Error(DB_LOST_CONNECTION, map_wchar(Zem_Utf8_To_W("连接失败: the server could not be reached at the last try (" +
                                                              why + ")" + next).c_str()));
    ds->Set_Tag(3, DB_END_NONE);
    return 0;
  }
  ds->Set_Tag(0, 0);
  ds->Set_Tag(2, Db_Connect_Timeout_Ms());
  ds->Set_Tag(3, DB_END_NONE);
  connecting_ = 1;
  int ok = connect_(ds, kind_, text_[0].c_str(), text_[1].c_str(), text_[2].c_str(), text_[3].c_str(), option_);
  connecting_ = 0;
  Db_Connect_Mgr()->Note_Connect(key, ok != 0, Zem_W_To_Utf8(ds->Get_Sqlmsg()), ds->Get_Tag(3) != DB_END_CANCELLED);
  if (!ok) return 0;
  session_ = ds->Get_Tag(0);
  connected_ = 1;
  return 1;
}

int TDb_Connect::Disconnect(DBDataMgr* ds) {
  DBDataMgr tmp;
  if (!ds) ds = &tmp;
  if (!disconnect_) {
    Log_Printf("_Disconnect_Handle is NULL\n");
    ds->Set_Error(-1, u"_Disconnect_Handle is NULL");
    return 0;
  }
  int ok = 1;
  if (connected_) {
    ds->Set_Tag(0, session_);
    ok = disconnect_(ds);
  }
  // The session is gone whatever the driver answered; a later statement connects afresh.
  connected_ = 0;
  session_ = 0;
  return ok;
}

// A session that is not connected has no transaction to end: commit and rollback succeed at once,
// without connecting (and without waiting for an unreachable server).
namespace {
int Nothing_To_End(DBDataMgr* ds) {
  ds->Set_Error(0, g_empty_w);
  ds->Set_Tag(3, DB_END_NONE);
  return 1;
}
}  // namespace

int TDb_Connect::Commit(DBDataMgr* ds) {
  DBDataMgr tmp;
  if (!ds) ds = &tmp;
  if (Lost_Work_Refuses_Commit(ds)) return 0;
  if (!connected_ && commit_ && !busy_) return Nothing_To_End(ds);
  return Call(ds, reinterpret_cast<void*>(commit_), "_Commit_Handle", false, [&] { return commit_(ds); });
}

int TDb_Connect::Rollback(DBDataMgr* ds) {
  DBDataMgr tmp;
  if (!ds) ds = &tmp;
  if (!connected_ && rollback_ && !busy_) {
    lost_tx_ = 0;
    return Nothing_To_End(ds);
  }
  int ok = Call(ds, reinterpret_cast<void*>(rollback_), "_Rollback_Handle", false, [&] { return rollback_(ds); });
  if (ds->Get_Sqlcode() != DB_SESSION_BUSY) lost_tx_ = 0;  // work lost with the connection, even by this call, was to be undone anyway
  return ok;
}

int TDb_Connect::Execute_Sql(DBDataMgr* ds, map_wchar sql) {
  std::unique_ptr<DBDataMgr> tmp;  // made only without the caller's: every statement passes here
  if (!ds) ds = (tmp = std::make_unique<DBDataMgr>()).get();
  const Db_Stmt kind = Db_Classify(sql.c_str());
  if (lost_tx_) {
    if (kind == Db_Stmt::Commit && Lost_Work_Refuses_Commit(ds)) return 0;
    if (kind == Db_Stmt::Rollback) lost_tx_ = 0;
  }
  const bool ends = kind == Db_Stmt::Commit || kind == Db_Stmt::Rollback;
  if (ends && !connected_ && execute_sql_ && !busy_) return Nothing_To_End(ds);
  int ok = Call(ds, reinterpret_cast<void*>(execute_sql_), "_ExecuteSql_Handle", !ends,
                [&] { return execute_sql_(ds, sql.c_str()); });
  if (lost_tx_ && kind == Db_Stmt::Rollback && ds->Get_Sqlcode() != DB_SESSION_BUSY) lost_tx_ = 0;  // as Rollback
  return ok;
}

int TDb_Connect::Execute_Sql_Params(DBDataMgr* ds, map_wchar sql, int count, const wchar16* const* values,
                                    const char* kinds) {
  DBDataMgr tmp;
  if (!ds) ds = &tmp;
  if (!execute_params_) {
    const std::string msg = std::string("the driver ") + Driver_File() + " takes no bound parameters";
    ds->Set_Error(-1, map_wchar(msg.c_str()));
    return 0;
  }
  return Call(ds, reinterpret_cast<void*>(execute_params_), "_ExecuteSql_Params_Handle", true,
              [&] { return execute_params_(ds, sql.c_str(), count, values, kinds); });
}

int TDb_Connect::Execute_Proc(DBDataMgr* ds, map_wchar call) {
  DBDataMgr tmp;
  if (!ds) ds = &tmp;
  return Call(ds, reinterpret_cast<void*>(execute_proc_), "_ExecuteProc_Handle", true,
              [&] { return execute_proc_(ds, call.c_str()); });
}

int TDb_Connect::Select_Row(DBDataMgr* ds, map_wchar sql, int first_row, int max_rows) {
  DBDataMgr tmp;
  if (!ds) ds = &tmp;
  return Call(ds, reinterpret_cast<void*>(select_row_), "_SelectRow_Handle", true,
              [&] { return select_row_(ds, sql.c_str(), first_row, max_rows); });
}

int TDb_Connect::Batch_Insert(DBDataMgr* ds) {
  DBDataMgr tmp;
  if (!ds) ds = &tmp;
  return Call(ds, reinterpret_cast<void*>(batch_insert_), "_BatchInsert_Handle", true,
              [&] { return batch_insert_(ds); });
}

void TDb_Connect::Log_Text(map_wchar text) {
  if (log_path_.empty()) {
    std::string s = Zem_W_To_Utf8(text.c_str());
    Log_Printf("%s\n", s.c_str());
    return;
  }
  char stamp[64];
  std::time_t now = std::time(nullptr);
  std::tm tmv;
  localtime_r(&now, &tmv);
  std::strftime(stamp, sizeof stamp, "[%Y-%m-%d %H:%M:%S]", &tmv);
  std::u16string entry;
  for (const char* s = stamp; *s; ++s) entry.push_back(static_cast<wchar16>(*s));
  entry += u"\n";
  entry += text.c_str();
  entry += u"\n-----------------------------------------------\n";
  std::lock_guard<std::mutex> g(Db_Connect_Mgr()->Log_Lock());
  FILE* f = std::fopen(log_path_.c_str(), "ab");
  if (!f) {
    Log_Printf("unable to open sql log %s\n", log_path_.c_str());
    return;
  }
  std::fseek(f, 0, SEEK_END);
  std::string bytes;
  if (std::ftell(f) == 0) bytes.append("\xFF\xFE", 2);  // UTF-16LE byte order mark on a new file
  bytes.reserve(bytes.size() + entry.size() * 2);
  for (wchar16 c : entry) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// ---- the pool -----------------------------------------------------------------------------------------
TDb_Connect_Mgr::~TDb_Connect_Mgr() { Clear(); }

TDb_Connect* TDb_Connect_Mgr::Get_Session(const char* group) {
  const std::thread::id me = std::this_thread::get_id();
  const std::thread::id none;
  std::lock_guard<std::mutex> g(lock_);
  auto in_group = [group](const TDb_Connect* c) { return !group || c->group_ == group; };
  for (TDb_Connect* c : conns_)
    if (in_group(c) && c->owner_ == me) return c;
  TDb_Connect* pick = nullptr;
  for (TDb_Connect* c : conns_) {
    if (!in_group(c) || c->owner_ != none) continue;
    if (c->last_owner_ == me) {
      pick = c;
      break;
    }
    if (!pick) pick = c;
  }
  if (!pick) {
    Log_Printf("Get_Session Fail grp_name %s tot num %d\n", group ? group : "(null)",
               static_cast<int>(conns_.size()));
    return nullptr;
  }
  pick->owner_ = me;
  pick->last_owner_ = me;
  return pick;
}

int TDb_Connect_Mgr::Release_Session(TDb_Connect* c) {
  std::lock_guard<std::mutex> g(lock_);
  for (TDb_Connect* x : conns_) {
    if (x == c && x->owner_ == std::this_thread::get_id()) {
      x->owner_ = std::thread::id();
      return 1;
    }
  }
  return 0;
}

int TDb_Connect_Mgr::Release_Thread() {
  std::lock_guard<std::mutex> g(lock_);
  int n = 0;
  for (TDb_Connect* x : conns_) {
    if (x->owner_ == std::this_thread::get_id()) {
      x->owner_ = std::thread::id();
      n++;
    }
  }
  return n;
}

int TDb_Connect_Mgr::Add_Connect(TDb_Connect* c) {
  if (!c) return 0;
  std::lock_guard<std::mutex> g(lock_);
  conns_.push_back(c);
  return 1;
}

int TDb_Connect_Mgr::Add_Config(const TDb_Config& cfg) {
  std::vector<std::unique_ptr<TDb_Connect>> made;
  for (int i = 0; i < (cfg.count < 1 ? 1 : cfg.count); i++) {
    std::unique_ptr<TDb_Connect> c(new TDb_Connect());
    if (!c->Set_Config(cfg)) return 0;
    made.push_back(std::move(c));
  }
  std::lock_guard<std::mutex> g(lock_);
  for (auto& c : made) conns_.push_back(c.release());
  return 1;
}

void TDb_Connect_Mgr::Clear() {
  std::vector<TDb_Connect*> old;
  {
    std::lock_guard<std::mutex> g(lock_);
    old.swap(conns_);
  }
  for (TDb_Connect* c : old) delete c;  // each disconnects itself
  std::lock_guard<std::mutex> g(backoff_lock_);
  backoff_.clear();  // a new configuration tries its servers at once
}

int TDb_Connect_Mgr::Backoff_Left_Ms(const std::string& server, std::string* why) {
  std::lock_guard<std::mutex> g(backoff_lock_);
  auto it = backoff_.find(server);
  if (it == backoff_.end() || it->second.failures == 0) return 0;
  if (why) *why = it->second.why;
  const long long left = it->second.next_try_ms - Zem_Wait_Now_Ms();
  return left > 0 ? static_cast<int>(std::min<long long>(left, INT_MAX)) : 0;
}

void TDb_Connect_Mgr::Note_Connect(const std::string& server, bool ok, const std::string& why, bool counted) {
  std::u16string say;
  int kind = 0;
  {
    std::lock_guard<std::mutex> g(backoff_lock_);
    auto it = backoff_.find(server);
    const long long now = Zem_Wait_Now_Ms();
    if (ok) {
      if (it == backoff_.end()) return;
      backoff_.erase(it);
      say = u"数据库连接已恢复";
      kind = 2;
    } else {
      if (!counted) return;
      TDb_Backoff& b = backoff_[server];
      if (b.failures > 0 && now < b.next_try_ms) return;  // another thread's attempt counted already
      const int pause_ms = b.failures >= 5 ? 30000 : 1000 << b.failures;
      b.failures++;
      b.next_try_ms = now + pause_ms;
      b.why = why;
      say = Zem_Utf8_To_W("数据库连接中断，" + std::to_string(pause_ms / 1000) + " 秒后重试");
      kind = 1;
    }
  }
  Log_Printf("%s%s%s\n", Zem_W_To_Utf8(say.c_str()).c_str(), why.empty() ? "" : ": ", why.c_str());
  static Gui_Status_Text_Fn status = nullptr;
  if (Gui_Status_Text_Fn fn = Zem_Host_Func(kGui_Status_Text, status)) fn(say.c_str(), kind);
}

int TDb_Connect_Mgr::Count() const {
  std::lock_guard<std::mutex> g(lock_);
  return static_cast<int>(conns_.size());
}

static TDb_Connect_Mgr* g_db_connect_mgr = nullptr;
static int* g_db_net_thread_flag = nullptr;

TDb_Connect_Mgr* Db_Connect_Mgr(bool* created) {
  return Zem_Singleton<TDb_Connect_Mgr>("mts_mgr", g_db_connect_mgr, created);
}
TDb_Connect_Mgr* Db_Connect_Mgr() { return Db_Connect_Mgr(nullptr); }

int* Db_Net_Thread_Flag() {
  return Zem_Singleton<int>("Db_Net_Thread_Flag", g_db_net_thread_flag, [] { return new int(0); });
}

// ---- configuration copies and change notices ---------------------------------------------------------
TDb_Config TDb_Connect::Config() const {
  TDb_Config cfg;
  cfg.driver = Driver_File();
  cfg.kind = kind_;
  for (int i = 0; i < 4; i++) cfg.text[i] = text_[i];
  cfg.option = option_;
  cfg.group = group_;
  cfg.log_path = log_path_;
  cfg.log_mode = log_mode_;
  cfg.count = 1;
  return cfg;
}

// Looked up without the loader's messages: most drivers have none of them.
void TDb_Connect::Load_Notify_Entries() {
  void* h = dll_->Handle();
  auto find = [h](const char* name) { return h ? dlsym(h, name) : nullptr; };
  listen_ = reinterpret_cast<Db_Listen_Fn>(find("_Listen_Handle"));
  notify_ = reinterpret_cast<Db_Notify_Fn>(find("_Notify_Handle"));
  wait_notify_ = reinterpret_cast<Db_Wait_Notify_Fn>(find("_Wait_Notify_Handle"));
}

int TDb_Connect::Listen(DBDataMgr* ds, map_wchar channel) {
  if (!listen_ || !ds) return 0;
  return Call(ds, reinterpret_cast<void*>(listen_), "_Listen_Handle", false,
              [&] { return listen_(ds, channel.c_str()); });
}

// A notice goes like a statement: within the statement bound, and a lost connection is replaced.
int TDb_Connect::Notify(DBDataMgr* ds, map_wchar channel, map_wchar payload) {
  if (!notify_ || !ds) return 0;
  return Call(ds, reinterpret_cast<void*>(notify_), "_Notify_Handle", false,
              [&] { return notify_(ds, channel.c_str(), payload.c_str()); });
}

// Only on the session that listens: a lost one is the listener's to replace (it must listen again).
int TDb_Connect::Wait_Notify(DBDataMgr* ds, int timeout_ms) {
  if (!wait_notify_ || !connected_ || !ds) return 0;
  ds->Set_Tag(0, session_);
  return wait_notify_(ds, timeout_ms);
}

int TDb_Connect_Mgr::First_Config(const char* group, TDb_Config* cfg) const {
  std::lock_guard<std::mutex> g(lock_);
  for (const TDb_Connect* c : conns_) {
    if (group && c->group_ != group) continue;
    if (cfg) *cfg = c->Config();
    return 1;
  }
  return 0;
}
