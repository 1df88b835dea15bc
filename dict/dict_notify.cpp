// Dictionary change notices over LISTEN/NOTIFY: the sender, the listening thread and the dispatch.
#include "dict/dict_notify.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "core/data/dbdata.h"
#include "core/data/link_transport.h"
#include "core/data/para.h"
#include "core/data/sqlca.h"
#include "dict/dict.h"
#include "dict/dict_change.h"
#include "dict/dict_mgr.h"
#include "dict/dict_serv.h"
#include "frame/log_mgr.h"
#include "frame/singleton.h"
#include "link/r_call.h"

namespace {

// How long one wait for notices lasts: the longest Stop waits for the thread.
constexpr int kWait_Ms = 100;
// The pause between attempts to get a lost listening session back.
constexpr auto kReconnect_Pause = std::chrono::seconds(1);

// Host name, process id and the process's start time (clock ticks since boot, from /proc): what
// every module of this process computes alike.
std::string Make_Token() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) host[0] = 0;
  unsigned long long start = 0;
  if (FILE* f = std::fopen("/proc/self/stat", "r")) {
    char buf[1024];
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = 0;
    // The fields after the command name (which may hold blanks) start after its closing ')'.
    if (const char* p = std::strrchr(buf, ')'))
      std::sscanf(p + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu", &start);
  }
  return std::string(host) + "/" + std::to_string(getpid()) + "/" + std::to_string(start);
}

TDict_Notify* g_notify = nullptr;  // this module's cache of "dict_notify_mgr"

}  // namespace

const std::string& Dict_Notify_Token() {
  static const std::string token = Make_Token();
  return token;
}

TDict_Notify::~TDict_Notify() { Stop(); }

int TDict_Notify::Start(const char* group) {
  if (*R_Call_Local_Mode() != 1) {
    std::lock_guard<std::mutex> g(lock_);
    if (!remote_ && !R_Call_Watch_Start(&TDict_Notify::On_Remote)) return 0;
    remote_ = true;
    return 1;
  }
  TDb_Config cfg;
  if (!Db_Connect_Mgr()->First_Config(group, &cfg)) return 0;
  return Start(cfg);
}

int TDict_Notify::Start(const TDb_Config& cfg) {
  std::lock_guard<std::mutex> g(lock_);
  if (thread_.joinable()) return 1;
  cfg_ = cfg;
  cfg_.count = 1;
  if (!Open()) return 0;
  stop_ = false;
  thread_ = std::thread(&TDict_Notify::Run, this);
  return 1;
}

void TDict_Notify::On_Remote(int event, const char* /*channel*/, const char* id) {
  TDict_Notify* self = Dict_Notify();
  if (event == LINK_WATCH_UP) {
    Log_Printf("dict notices: following the application server's changes; every dictionary is checked\n");
    self->listening_ = 1;
    self->mode_ = MODE_NOTICES;
    // Changes may have been missed while the stream did not stand.
    Dict_Client_List()->Mark_All_Changed();
    self->Tell_Observers(std::string());
  } else if (event == LINK_WATCH_DOWN) {
    self->mode_ = MODE_OFF;
    if (self->listening_.exchange(0)) Log_Printf("dict notices: the application server's stream was lost: %s\n", id);
  } else if (event == LINK_WATCH_NOTICE) {
    ++self->received_;
    const std::string changed = Dict_Narrow(Zem_Utf8_To_W(id).c_str());
    if (changed.empty()) {  // anything may have changed (the server missed notices)
      Dict_Client_List()->Mark_All_Changed();
      self->Tell_Observers(std::string());
    } else {
      self->Dispatch_Id(changed, true);
    }
  }
}

void TDict_Notify::Stop() {
  {
    std::lock_guard<std::mutex> g(lock_);
    if (remote_) {
      R_Call_Watch_Stop();
      remote_ = false;
      listening_ = 0;
      mode_ = MODE_OFF;
    }
  }
  {
    std::lock_guard<std::mutex> g(lock_);
    if (!thread_.joinable()) return;
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
  std::lock_guard<std::mutex> g(lock_);
  thread_ = std::thread();
}

namespace {

int Param(const char16_t* name, int fallback) {
  int v = fallback;
  if (!Pub_Para_Get_Int(name, &v)) v = fallback;
  return v;
}

// Poll mode reads the changes above the highest one seen less this many again: on a server, a change
// numbered below one already read may commit after it.
constexpr long long kPoll_Window = 1000;
// The log keeps this many changes; the thread checks at most once per kPrune_Every_Ms.
constexpr long long kLog_Keep = 10000;
constexpr long long kPrune_Every_Ms = 600000;

}  // namespace

int TDict_Notify::Open() {
  listening_ = 0;
  mode_ = MODE_OFF;
  conn_ = std::make_unique<TDb_Connect>();
  DBDataMgr ds;
  if (!conn_->Set_Config(cfg_)) return 0;
  if (!conn_->Connect(&ds)) {
    // Tried again every second while the server is away: a reason is logged once, not at every try.
    const std::string why = Zem_W_To_Utf8(ds.Get_Sqlmsg());
    const std::string reason = why.substr(0, why.find(" the next try in"));
    if (reason != last_why_) Log_Printf("dict notices: cannot connect: %s\n", why.c_str());
    last_why_ = reason;
    return 0;
  }
  last_why_.clear();
  TSQLCA q;
  q.Set_Connect(conn_.get());
  has_log_ = Dict_Last_Change(&q, &last_change_) != 0;
  floor_ = last_change_;  // what was recorded before is in the rows loaded since
  seen_.clear();
  // A host whose sessions pass through a pooler that does not carry LISTEN turns notices off.
  if (conn_->Has_Notify() && Param(u"dict_notices", 1) != 0) {
    if (conn_->Listen(&ds, CHANNEL)) {
      listening_ = 1;
      mode_ = MODE_NOTICES;
      return 1;
    }
    Log_Printf("dict notices: cannot listen: %s\n", Zem_W_To_Utf8(ds.Get_Sqlmsg()).c_str());
  }
  if (has_log_) {
    Log_Printf("dict notices: none to be had from %s; the change log is read every %d ms\n", conn_->Driver_File(),
               Param(u"dict_change_poll_ms", 2000));
    mode_ = MODE_POLL;
    return 1;
  }
  Log_Printf("dict notices: neither notices nor a change log (Dict_Create_Change_Triggers) with %s; "
             "dictionaries are polled by time stamps\n",
             conn_->Driver_File());
  conn_->Disconnect();
  return 0;
}

void TDict_Notify::Run() {
  DBDataMgr ds;
  long long next_poll = 0;
  for (;;) {
    if (mode_ == MODE_OFF) {
      std::unique_lock<std::mutex> l(lock_);
      if (wake_.wait_for(l, kReconnect_Pause, [this] { return stop_; })) break;
      l.unlock();
      if (Open()) {
        Log_Printf("dict notices: following changes again; every dictionary is checked\n");
        Dict_Client_List()->Mark_All_Changed();
        Dict_Mgr_Serv()->Mark_Stale(nullptr);
        Tell_Observers(std::string());
      }
      continue;
    }
    if (mode_ == MODE_POLL) {
      const long long now = Dict_Now_Ms();
      const long long wait = next_poll - now;
      if (wait > 0) {
        std::unique_lock<std::mutex> l(lock_);
        if (wake_.wait_for(l, std::chrono::milliseconds(std::min<long long>(wait, kWait_Ms)), [this] { return stop_; }))
          break;
        continue;
      }
      {
        std::lock_guard<std::mutex> g(lock_);
        if (stop_) break;
      }
      const int every = Param(u"dict_change_poll_ms", 2000);
      next_poll = now + (every > 50 ? every : 50);
      if (!Poll()) {
        conn_->Disconnect();
        mode_ = MODE_OFF;
        continue;
      }
      Prune();
      continue;
    }
    {
      std::lock_guard<std::mutex> g(lock_);
      if (stop_) break;
    }
    if (!conn_->Wait_Notify(&ds, kWait_Ms)) {
      Log_Printf("dict notices: the listening session was lost: %s\n", Zem_W_To_Utf8(ds.Get_Sqlmsg()).c_str());
      conn_->Disconnect();
      listening_ = 0;
      mode_ = MODE_OFF;
      continue;
    }
    for (int r = 0; r < ds.Get_Row_Count(); ++r) {
      ++received_;
      if (std::u16string(ds.Get_Row_Value(r, 0)) == CHANNEL) Dispatch(Zem_W_To_Utf8(ds.Get_Row_Value(r, 1)));
    }
    Prune();
  }
  conn_.reset();  // disconnects
  listening_ = 0;
  mode_ = MODE_OFF;
}

int TDict_Notify::Poll() {
  TSQLCA q;
  q.Set_Connect(conn_.get());
  const bool server = !conn_->Is_File_Db();
  const long long from = server ? std::max<long long>(floor_, last_change_ - kPoll_Window) : last_change_;
  std::vector<Dict_Change_Row> rows;
  if (!Dict_Read_Changes(&q, from, 0, &rows)) {
    Log_Printf("dict notices: the change log cannot be read: %s\n", Zem_W_To_Utf8(q.Get_Error_Msg()).c_str());
    return Db_Lost_Message(q.Get_Error_Msg()) || q.Get_Sqlcode() == 999 ? 0 : 1;
  }
  std::vector<std::string> ids;
  for (const Dict_Change_Row& r : rows) {
    if (r.change_id <= last_change_ && std::binary_search(seen_.begin(), seen_.end(), r.change_id)) continue;
    if (server) seen_.insert(std::upper_bound(seen_.begin(), seen_.end(), r.change_id), r.change_id);
    if (r.change_id > last_change_) last_change_ = r.change_id;
    ++received_;
    if (std::find(ids.begin(), ids.end(), r.dict_id) == ids.end()) ids.push_back(r.dict_id);
  }
  // Numbers below the window will never be read again.
  const long long low = last_change_ - kPoll_Window;
  seen_.erase(seen_.begin(), std::lower_bound(seen_.begin(), seen_.end(), low + 1));
  for (const std::string& id : ids) Dispatch_Id(Dict_Narrow(Zem_Utf8_To_W(id).c_str()), true);
  return 1;
}

void TDict_Notify::Prune() {
  if (!has_log_) return;
  const long long now = Dict_Now_Ms();
  if (pruned_at_ms_ && now - pruned_at_ms_ < kPrune_Every_Ms) return;
  pruned_at_ms_ = now;
  TSQLCA q;
  q.Set_Connect(conn_.get());
  if (!Dict_Prune_Changes(&q, kLog_Keep))
    Log_Printf("dict notices: the change log was not shortened: %s\n", Zem_W_To_Utf8(q.Get_Error_Msg()).c_str());
}

void TDict_Notify::Dispatch(const std::string& payload) {
  size_t a = payload.find(' ');
  size_t b = a == std::string::npos ? a : payload.find(' ', a + 1);
  if (b == std::string::npos || b + 1 >= payload.size()) return;
  const std::string id = Dict_Narrow(Zem_Utf8_To_W(payload.substr(b + 1)).c_str());
  Dispatch_Id(id, payload.compare(a + 1, b - a - 1, Dict_Notify_Token()) != 0);
}

void TDict_Notify::Dispatch_Id(const std::string& id, bool other_process) {
  // The server first: a client that reloads at once must find it reading the database again.
  if (other_process) Dict_Mgr_Serv()->Mark_Stale(id.c_str());
  Dict_Client_List()->Mark_Changed(id);
  Tell_Observers(id);
}

int TDict_Notify::Add_Observer(Changed_Fn fn, void* ctx) {
  if (!fn) return 0;
  std::lock_guard<std::mutex> g(obs_lock_);
  observers_.emplace_back(fn, ctx);
  return 1;
}

int TDict_Notify::Remove_Observer(Changed_Fn fn, void* ctx) {
  std::lock_guard<std::mutex> g(obs_lock_);
  for (auto it = observers_.begin(); it != observers_.end(); ++it) {
    if (it->first == fn && it->second == ctx) {
      observers_.erase(it);
      return 1;
    }
  }
  return 0;
}

void TDict_Notify::Tell_Observers(const std::string& id) {
  std::lock_guard<std::mutex> g(obs_lock_);
  for (const auto& o : observers_) o.first(o.second, id.c_str());
}

int Dict_Notify_Send(const std::string& dict_id, int stamp) {
  TDb_Connect* c = Db_Connect_Mgr()->Get_Session(nullptr);
  if (!c || !c->Has_Notify()) return 0;
  DBDataMgr ds;
  std::u16string payload = Zem_Utf8_To_W(std::to_string(stamp) + " " + Dict_Notify_Token() + " ");
  payload += map_wchar(dict_id.c_str()).c_str();
  if (c->Notify(&ds, TDict_Notify::CHANNEL, payload.c_str())) return 1;
  Log_Printf("dict notices: the notice of %s was not sent: %s\n", dict_id.c_str(),
             Zem_W_To_Utf8(ds.Get_Sqlmsg()).c_str());
  return 0;
}

TDict_Notify* Dict_Notify() { return Zem_Singleton<TDict_Notify>("dict_notify_mgr", g_notify); }

int Dict_Notify_Listening() {
  TDict_Notify* n = __atomic_load_n(&g_notify, __ATOMIC_ACQUIRE);
  if (!n) n = static_cast<TDict_Notify*>(Get_Pub_Ptr("dict_notify_mgr"));
  return n && n->Listening();
}
