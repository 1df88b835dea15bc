// TDict_Notify ("dict_notify_mgr"): change notices about dictionaries between the processes that share
// one PostgreSQL database, so that clients learn of a change without polling.
//
// The dictionary server (dict/dict_serv.h) sends a notice for every change it records (Add_Code,
// Modify, Erase_Code, Refresh, Refresh_Keys, Set_Time_Stamp) on the calling thread's session. The
// notice goes with that session's transaction, so it leaves when the change it names is committed,
// and other processes reading the database then see the change. A process that listens (Start) keeps
// a session of its own on the channel and a thread waiting on it; for each notice it:
//   - marks the dictionary changed in the client list: its next Get_Dict loads the change (a server
//     dictionary its change set, the others their rows again);
//   - when the notice came from another process, marks the dictionary stale in this process's own
//     dictionary server: it reads the database again before it next answers (and sends no notice of
//     its own for what it finds, so one change makes one round of notices).
// After the listening session was lost and is back, every dictionary is marked, since notices may
// have been missed meanwhile.
//
// Where notices cannot be had (a driver without them, SQLite; a server that refuses LISTEN; the public
// parameter "dict_notices" set to 0, for sessions that pass through a pooler without LISTEN), the same
// thread reads the database's change log instead (dict/dict_change.h), every "dict_change_poll_ms"
// (public parameter, default 2000): each change another writer recorded since is dispatched as a
// notice from another process. Without the log table either, Start fails and clients keep polling
// server dictionaries by time stamps (TDict_Client_List::Get_Dict). In either mode the thread keeps
// the log short (the last 10,000 changes, checked every ten minutes).
//
// In remote mode (R_Call_Local_Mode() not 1) a client holds no database session: Start then follows
// the application server's stream (link/r_call.h, R_Call_Watch_Start), which carries every id the
// server's own following dispatches, and dispatches them alike (as from another process). Listening()
// is 1 while the stream stands; each time it stands again every dictionary is marked and the observers
// hear an empty id, as after a lost session.
//
// Observers (Add_Observer) hear of every id dispatched, dictionaries and ids of watched tables alike,
// on the listening thread, after the client list marked it: a control that shows a dictionary posts
// the id to its own thread and reads the dictionary again there (controls/common/dict_watch.h). An
// empty id means that anything may have changed (notices were missed).
//
// Notice: channel "zem_dict" of the session's schema (the driver keeps schemas apart, so applications
// sharing a database in schemas of their own do not reload each other's dictionaries), payload "<stamp> <sender> <dict_id>" (UTF-8): the dictionary's new
// stamp, the sending process's token (host name, process id and start time: the same in every module
// of the process, different for every other process), and the id (the rest of the text).
//
// Sending needs no object: the sender is a plain function. The listener object is made by the first
// Dict_Notify() (registered as "dict_notify_mgr"), which a host calls when it starts listening, on
// its start-up thread as every registration; Dict_Notify_Listening() asks without making it.
#pragma once
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/data/db_connect.h"

class TDict_Notify {
 public:
  TDict_Notify() = default;
  ~TDict_Notify();
  TDict_Notify(const TDict_Notify&) = delete;
  TDict_Notify& operator=(const TDict_Notify&) = delete;

  enum { MODE_OFF = 0, MODE_NOTICES = 1, MODE_POLL = 2 };
  // Starts following changes on a session of its own, made like the pool's first session of the
  // group (null: any group), or like cfg: by notices where it can, else by reading the change log.
  // 1 when following (also when it already was); 0 when neither can be had. In remote mode: follows
  // the application server's stream (1 once started: it stands when the server answers; 0 without a
  // transport or an "app_server").
  int Start(const char* group = nullptr);
  int Start(const TDb_Config& cfg);
  // Stops the thread and closes its session (or the server's stream).
  void Stop();
  // 1 while changes come as notices (not while the log is read).
  int Listening() const { return listening_.load(); }
  int Mode() const { return mode_.load(); }

  // Observers of dispatched ids (see the top). fn is called on the listening thread with ctx and the
  // id; removing waits for a call in progress. 1, or 0 for a null fn (or one not registered).
  typedef void (*Changed_Fn)(void* ctx, const char* id);
  int Add_Observer(Changed_Fn fn, void* ctx);
  int Remove_Observer(Changed_Fn fn, void* ctx);
  // Tells the observers of an id, as a notice would (also for callers that learn of a change
  // otherwise).
  void Tell_Observers(const std::string& id);

  // Notices taken in since start-up (all channels' rows read, own ones included).
  long long Received() const { return received_.load(); }

  static constexpr const char16_t* CHANNEL = u"zem_dict";

 private:
  void Run();
  // Opens the session and listens, or finds the change log to read. 1 or 0.
  int Open();
  void Dispatch(const std::string& payload);
  void Dispatch_Id(const std::string& id, bool other_process);
  // The application server's stream (remote mode), on the transport's thread.
  static void On_Remote(int event, const char* channel, const char* id);
  // Reads the change log once (poll mode): 1, or 0 when the session was lost.
  int Poll();
  void Prune();

  TDb_Config cfg_;
  std::unique_ptr<TDb_Connect> conn_;  // the listening session, used by the thread alone
  std::thread thread_;
  std::mutex lock_;  // Start/Stop, and the wait between reconnection attempts
  std::condition_variable wake_;
  bool stop_ = false;
  std::atomic<int> listening_{0};
  std::atomic<int> mode_{MODE_OFF};
  std::atomic<long long> received_{0};
  std::string last_why_;  // the last reason a connect failed, logged once
  bool has_log_ = false;          // the change log can be read on the session
  long long last_change_ = 0;     // the highest change read from the log
  long long floor_ = 0;           // the highest change when the log was first read
  std::vector<long long> seen_;   // poll mode: changes read in the window below last_change_
  long long pruned_at_ms_ = 0;
  std::mutex obs_lock_;
  std::vector<std::pair<Changed_Fn, void*>> observers_;
  bool remote_ = false;  // following the application server's stream (under lock_)
};

TDict_Notify* Dict_Notify();
// 1 when this process listens for notices; makes nothing.
int Dict_Notify_Listening();

// Sends the notice of a changed dictionary on the calling thread's session of the pool. 1 when sent;
// 0 when that session's driver has no notices, or on failure (logged).
int Dict_Notify_Send(const std::string& dict_id, int stamp);
// This process's sender token.
const std::string& Dict_Notify_Token();
