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
// have been missed meanwhile. Drivers without notices (SQLite) leave Start at 0: clients then keep
// polling by time stamps (TDict_Client_List::Get_Dict).
//
// Notice: channel "zem_dict" of the session's schema (the driver keeps schemas apart, so applications
// sharing a database in schemas of their own do not reload each other's dictionaries), payload "<stamp> <sender> <dict_id>" (UTF-8): the dictionary's new
// stamp, the sending process's token (host name, process id and start time: the same in every module
// of the process, different for every other process), and the id (the rest of the text).
//
// In remote mode (R_Call_Local_Mode() not 1) a client holds no database session: Start then follows
// the application server's notice stream instead (link/r_call.h, R_Call_Watch_Start), which carries
// every notice the server's own listener hears, and dispatches them alike. Listening() is 1 while the
// stream stands; each time it stands again every dictionary is marked, as after a lost session.
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

#include "core/data/db_connect.h"

class TDict_Notify {
 public:
  TDict_Notify() = default;
  ~TDict_Notify();
  TDict_Notify(const TDict_Notify&) = delete;
  TDict_Notify& operator=(const TDict_Notify&) = delete;

  // Starts listening on a session of its own, made like the pool's first session of the group (null:
  // any group), or like cfg. 1 when listening (also when it already was); 0 when the driver has no
  // notices or the session cannot be opened or listen. In remote mode: follows the application
  // server's stream (1 once started: it stands when the server answers; 0 without a transport or an
  // "app_server").
  int Start(const char* group = nullptr);
  int Start(const TDb_Config& cfg);
  // Stops the thread and closes its session (or the server's stream).
  void Stop();
  int Listening() const { return listening_.load(); }

  // Notices taken in since start-up (all channels' rows read, own ones included).
  long long Received() const { return received_.load(); }

  // Called with every notice the listener hears (its channel and payload as the database delivered
  // them), on the listening thread, after the notice is dispatched here (so that a client told of it
  // finds this process's server dictionary marked): the application server passes them on to its
  // clients. Null for none. Set before Start.
  typedef void (*Observer_Fn)(const std::string& channel, const std::string& payload);
  void Set_Observer(Observer_Fn fn) { observer_ = fn; }

  // A notice as the listener dispatches it (the payload of the channel CHANNEL).
  void Dispatch(const std::string& payload);

  static constexpr const char16_t* CHANNEL = u"zem_dict";

 private:
  void Run();
  // Opens the session and listens. 1 or 0.
  int Open();
  static void On_Remote(int event, const char* channel, const char* payload);

  TDb_Config cfg_;
  std::unique_ptr<TDb_Connect> conn_;  // the listening session, used by the thread alone
  std::thread thread_;
  std::mutex lock_;  // Start/Stop, and the wait between reconnection attempts
  std::condition_variable wake_;
  bool stop_ = false;
  std::atomic<int> listening_{0};
  std::atomic<long long> received_{0};
  std::atomic<Observer_Fn> observer_{nullptr};
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
