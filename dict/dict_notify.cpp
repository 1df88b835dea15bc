// Dictionary change notices over LISTEN/NOTIFY: the sender, the listening thread and the dispatch.
#include "dict/dict_notify.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "core/data/dbdata.h"
#include "core/data/link_transport.h"
#include "dict/dict.h"
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

void TDict_Notify::On_Remote(int event, const char* channel, const char* payload) {
  TDict_Notify* self = Dict_Notify();
  if (event == LINK_WATCH_UP) {
    Log_Printf("dict notices: following the application server's notices; every dictionary is checked\n");
    self->listening_ = 1;
    // Notices may have been missed while the stream did not stand.
    Dict_Client_List()->Mark_All_Changed();
  } else if (event == LINK_WATCH_DOWN) {
    if (self->listening_.exchange(0)) Log_Printf("dict notices: the application server's stream was lost: %s\n", payload);
  } else if (event == LINK_WATCH_NOTICE) {
    ++self->received_;
    if (std::string(channel) == Zem_W_To_Utf8(CHANNEL)) self->Dispatch(payload);
  }
}

void TDict_Notify::Stop() {
  {
    std::lock_guard<std::mutex> g(lock_);
    if (remote_) {
      R_Call_Watch_Stop();
      remote_ = false;
      listening_ = 0;
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

int TDict_Notify::Open() {
  listening_ = 0;
  conn_ = std::make_unique<TDb_Connect>();
  DBDataMgr ds;
  if (!conn_->Set_Config(cfg_)) return 0;
  if (!conn_->Has_Notify()) {
    Log_Printf("dict notices: the driver %s has none; dictionaries are polled by time stamps\n",
               conn_->Driver_File());
    return 0;
  }
  if (!conn_->Connect(&ds) || !conn_->Listen(&ds, CHANNEL)) {
    Log_Printf("dict notices: cannot listen: %s\n", Zem_W_To_Utf8(ds.Get_Sqlmsg()).c_str());
    conn_->Disconnect();
    return 0;
  }
  listening_ = 1;
  return 1;
}

void TDict_Notify::Run() {
  DBDataMgr ds;
  for (;;) {
    if (!listening_) {
      std::unique_lock<std::mutex> l(lock_);
      if (wake_.wait_for(l, kReconnect_Pause, [this] { return stop_; })) break;
      l.unlock();
      if (Open()) {
        Log_Printf("dict notices: listening again; every dictionary is checked\n");
        Dict_Client_List()->Mark_All_Changed();
        Dict_Mgr_Serv()->Mark_Stale(nullptr);
      }
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
      continue;
    }
    for (int r = 0; r < ds.Get_Row_Count(); ++r) {
      ++received_;
      const std::string payload = Zem_W_To_Utf8(ds.Get_Row_Value(r, 1));
      if (std::u16string(ds.Get_Row_Value(r, 0)) == CHANNEL) Dispatch(payload);
      // After the dispatch: a client told now and asking at once finds the server reading again.
      if (Observer_Fn fn = observer_.load()) fn(Zem_W_To_Utf8(ds.Get_Row_Value(r, 0)), payload);
    }
  }
  conn_.reset();  // disconnects
  listening_ = 0;
}

void TDict_Notify::Dispatch(const std::string& payload) {
  size_t a = payload.find(' ');
  size_t b = a == std::string::npos ? a : payload.find(' ', a + 1);
  if (b == std::string::npos || b + 1 >= payload.size()) return;
  const std::string id = Dict_Narrow(Zem_Utf8_To_W(payload.substr(b + 1)).c_str());
  // The server first: a client that reloads at once must find it reading the database again.
  if (payload.compare(a + 1, b - a - 1, Dict_Notify_Token()) != 0) Dict_Mgr_Serv()->Mark_Stale(id.c_str());
  Dict_Client_List()->Mark_Changed(id);
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
