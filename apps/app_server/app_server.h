// App_Server: the service of zem_app_server over gRPC (transport/zem_link.proto).
//
// Calls. A call is checked where it arrives (its token against the token file, its name against the
// server's list) and refused there with one log line; a call that passes waits in one queue for the
// worker threads (--threads), which read its pack, run the named function of "Mid_Process" on the
// worker's own database session, commit what it left when it succeeded (roll back otherwise) and
// answer the pack. A call whose client gave up (cancelled, deadline passed) while it waited is not run.
// How many calls one client connection has in flight at once is capped by HTTP/2 itself (the
// connection's concurrent streams): further calls of that client wait on its side, and other
// clients' calls are not held up behind them.
//
// Batches. A client process whose threads call many at once sends the calls made while others were in
// flight together, as one message of a CallStream it keeps open. Each is a call of its own here:
// checked by name, queued for the workers beside the single calls (so they run side by side), its own
// unit of work, trace and summary figures, and answered on the stream as it ends. Its caller's 取消 or
// deadline reaches the server as a cancel message or as the call's own timeout; such a call is not
// run, or rolled back.
// A connection's calls from batches count against the same cap as its streams: those beyond it wait
// here, in the connection's own list, so that one busy client still holds no more workers than that.
//
// Notices. Every change the server's following dispatches (dict/dict_notify.h: a notice of its
// database or a row of its change log) goes to every watching client; each watcher writes one notice
// at a time from a queue of its own. A watcher whose client
// falls more than kWatch_Queue notices behind is ended (the client opens its stream again and then
// re-checks every dictionary), so a stuck client never holds the server's memory.
//
// Stopping. Drain() ends the watchers and the call streams (each once the calls it took are answered),
// lets the calls in flight finish for --drain-seconds (new ones are refused), then stops the workers.
#pragma once
#include <grpcpp/grpcpp.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "apps/app_server/server_options.h"
#include "apps/app_server/token_file.h"
#include "transport/zem_link.grpc.pb.h"

class App_Server final : public zem::link::AppServer::CallbackService {
 public:
  enum { kWatch_Queue = 10000 };

  explicit App_Server(const Server_Options& o);
  ~App_Server() override;

  // Reads the tokens, starts the workers and listens. 1, or 0 with *error.
  int Start(std::string* error);
  // The port listened on (the one chosen when --listen gave port 0).
  int Port() const { return port_; }
  // Adds a name to the list of calls served (the package's are there from the start).
  void Serve(const std::string& name);
  // Reads the token file again; the old tokens stay when it does not read. 1 or 0 (logged either way).
  int Reload_Tokens();
  // One summary line for the time since the last one.
  void Summary();
  // Hands a change (the id the server's following dispatched; "" for anything) to every watcher; any
  // thread.
  void Post_Notice(const std::string& channel, const std::string& id);
  // See the header comment: ends the watchers, waits for the calls in flight (at most --drain-seconds)
  // and stops the workers.
  void Drain();
  // Calls taken and not yet answered.
  int In_Flight() const { return in_flight_.load(); }

  // gRPC's side.
  grpc::ServerUnaryReactor* Call(grpc::CallbackServerContext* ctx, const zem::link::CallRequest* req,
                                 zem::link::CallReply* reply) override;
#ifndef ZEM_APP_SERVER_UNARY_ONLY
  // Built without it (ZEM_APP_SERVER_UNARY_ONLY), the server answers UNIMPLEMENTED as servers before
  // call streams did: the tests check their clients' fallback to single calls against it.
  grpc::ServerBidiReactor<zem::link::CallBatchRequest, zem::link::CallBatchReply>* CallStream(
      grpc::CallbackServerContext* ctx) override;
#endif
  grpc::ServerWriteReactor<zem::link::Notice>* Watch(grpc::CallbackServerContext* ctx,
                                                     const zem::link::WatchRequest* req) override;

 private:
  class Watcher;
  class Batch;
  struct Client;
  struct Job {
    grpc::CallbackServerContext* ctx;
    const zem::link::CallRequest* req;
    zem::link::CallReply* reply;
    grpc::ServerUnaryReactor* reactor;  // a call of its own; null for a batch's
    Batch* batch;                       // a batch's call: the batch and its index there
    int index;
    std::string who;  // token label and peer, for the log
    Client* client;   // its connection's count of calls, for the cap
    std::chrono::steady_clock::time_point queued{};  // when it entered the workers' queue
  };
  // A worker's own wake-up, so that a waker wakes just the workers the queue needs (each wake is a
  // context switch the calls pay for) and knows whom it woke.
  struct Sleeper {
    std::condition_variable cv;
    bool woken = false;
  };
  // Whom to wake once queue_lock_ is let go.
  struct Wakes {
    std::vector<Sleeper*> workers;
    bool guard = false;
  };

  // The token's label, or empty after refusing (logged) for want of a valid token.
  std::string Authorize(grpc::CallbackServerContext* ctx, const std::string& what, std::string* why);
  void Refused(const std::string& what, const std::string& who, const std::string& why);
  // Whether the name is on the list of calls served; logs the refusal, and says why in *why, when not.
  bool Listed(const std::string& name, const std::string& who, std::string* why);
  // Puts a call in the workers' queue, or in its connection's list when the connection is at its cap.
  // Under queue_lock_; false when the server is stopping.
  bool Queue_Locked(Job job, const std::string& peer);
  void Work(Sleeper* me);
  // After calls were queued: wakes idle workers until as many are awake as there are CPUs, or as
  // there are calls waiting; the guard watches the rest (Guard).
  void Wake_Locked(Wakes* w);
  void Wake_One_Locked(Wakes* w);  // the idle worker last in; idle_ not empty
  void Wake(const Wakes& w);
  // Wakes one worker more than the CPUs when the queue's first call has waited kStall: the workers
  // awake may all be held by slow calls (a long statement, a lock), and the others must not wait on them.
  void Guard();
  void Run(Job& job);
  bool Gave_Up(const Job& job);
  void Answer(Job& job, const grpc::Status& status);
  void Count_Call(const std::string& name, long long micros, bool failed, bool batched);
  void Add_Watcher(Watcher* w);
  void Remove_Watcher(Watcher* w);
  void Remove_Stream(Batch* b);

  Server_Options o_;
  std::unique_ptr<grpc::Server> server_;
  int port_ = 0;

  std::mutex tokens_lock_;
  Token_File tokens_;
  std::mutex names_lock_;
  std::set<std::string> names_;

  std::mutex queue_lock_;
  std::deque<Job> queue_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
  std::vector<std::unique_ptr<Sleeper>> sleepers_;  // one per worker, for the server's life
  std::vector<Sleeper*> idle_;  // last in, first woken: its cache is the warmest
  int awake_ = 0;               // workers not idle (running, or woken and not yet at the queue)
  int starting_ = 0;            // woken and not yet at the queue
  int wake_cap_ = 2;            // the CPUs: workers woken for calls waiting
  std::condition_variable guard_cv_;
  bool guard_idle_ = false;  // the guard waits with no deadline
  bool guard_stop_ = false;
  std::thread guard_;
  std::atomic<int> in_flight_{0};
  std::map<std::string, Client*> clients_;
  // Batches whose answers ready wait a moment for the others (Batch::Send_Locked), by when.
  void Flush_Later(Batch* b, std::chrono::steady_clock::time_point at);
  void Flusher();
  std::mutex flush_lock_;
  std::condition_variable flush_cv_;
  std::multimap<std::chrono::steady_clock::time_point, Batch*> flush_;
  bool flush_stop_ = false;
  std::thread flusher_;  // by peer: connections with calls from batches, under queue_lock_

  std::mutex watchers_lock_;
  std::set<Watcher*> watchers_;
  std::set<Batch*> streams_;  // the call streams open, under watchers_lock_
  bool draining_ = false;     // under watchers_lock_: no new watcher or call stream

  // The summary's figures since the last line.
  std::mutex stats_lock_;
  long long calls_ = 0, failed_ = 0, refused_ = 0, batched_ = 0;
  std::vector<long long> micros_;
  std::string slowest_name_;
  long long slowest_ = 0;
  std::chrono::steady_clock::time_point since_;
};

// A log line of the server: the time, then the text (no newline), through the framework log.
void Server_Log(const std::string& text);
