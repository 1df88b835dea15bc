// zem_app_server's service: checks, the worker queue, the watchers, the summary.
#include "apps/app_server/app_server.h"

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include "apps/app_server/call_codec.h"
#include "core/data/db_connect.h"
#include "core/data/dbdata.h"
#include "core/data/name_call.h"
#include "core/data/para.h"
#include "core/text/code_page.h"
#include "frame/log_mgr.h"
#include "frame/thr_err.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long the answers of a batch's calls that ended wait for the others still running.
constexpr auto kAnswer_Hold = std::chrono::milliseconds(1);
// How long the queue's first call waits on the workers awake before the guard wakes one more.
constexpr auto kStall = std::chrono::milliseconds(1);
// The most calls one call stream has in flight before its next message waits.
constexpr int kStream_Open = 8192;

// The calls of the package's server side: dictionaries, their time stamps, temporary key sets.
const char* const kPackage_Calls[] = {
    "Dict_Load_Data",        "Dict_Get_Time_Stamp",   "Dict_Check_Time_Stamp", "Dict_Load_Part_Data",
    "Dict_Set_Time_Stamp",   "Dict_Refresh_Dict_Key", "Dict_Serv_Refresh",     "Tfa_Info_Sync_Get_Time_Stamp",
    "tfa_key_set_create",
};

bool Read_File(const std::string& path, std::string* out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::ostringstream s;
  s << f.rdbuf();
  *out = s.str();
  return true;
}

}  // namespace

void Server_Log(const std::string& text) {
  char when[32];
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
  Log_Printf("%s %s\n", when, text.c_str());
}

// ---- the watchers ----------------------------------------------------------------------------------
class App_Server::Watcher final : public grpc::ServerWriteReactor<zem::link::Notice> {
 public:
  Watcher(App_Server* s, std::string who) : server_(s), who_(std::move(who)) {}

  // The stream's opening message (no channel): the client knows it stands.
  void Open() {
    std::lock_guard<std::mutex> g(lock_);
    queue_.emplace_back();
    Next_Locked();
  }
  void Post(const zem::link::Notice& n) {
    std::lock_guard<std::mutex> g(lock_);
    if (closing_) return;
    if (queue_.size() >= kWatch_Queue) {
      Server_Log("watcher " + who_ + " is " + std::to_string(queue_.size()) + " notices behind: its stream is ended");
      Close_Locked(grpc::Status(grpc::StatusCode::RESOURCE_EXHAUSTED, "too many notices not taken"));
      return;
    }
    queue_.push_back(n);
    if (!writing_) Next_Locked();
  }
  void Close(const grpc::Status& s) {
    std::lock_guard<std::mutex> g(lock_);
    Close_Locked(s);
  }

  void OnWriteDone(bool ok) override {
    std::lock_guard<std::mutex> g(lock_);
    writing_ = false;
    queue_.pop_front();
    if (!ok) closing_ = true;  // the client is gone: the stream ends with the status below
    if (closing_) {
      Finish_Locked();
    } else if (!queue_.empty()) {
      Next_Locked();
    }
  }
  void OnCancel() override { Close(grpc::Status::CANCELLED); }
  void OnDone() override {
    server_->Remove_Watcher(this);
    delete this;
  }

 private:
  void Next_Locked() {
    writing_ = true;
    StartWrite(&queue_.front());
  }
  void Close_Locked(const grpc::Status& s) {
    if (closing_ && finished_) return;
    if (!closing_) status_ = s;
    closing_ = true;
    if (!writing_) Finish_Locked();
  }
  void Finish_Locked() {
    if (finished_) return;
    finished_ = true;
    Finish(status_);
  }

  App_Server* server_;
  std::string who_;
  std::mutex lock_;
  std::deque<zem::link::Notice> queue_;  // front: being written (deque keeps it in place)
  bool writing_ = false;
  bool closing_ = false;
  bool finished_ = false;
  grpc::Status status_ = grpc::Status::CANCELLED;
};

// ---- batches ---------------------------------------------------------------------------------------
struct App_Server::Client {
  std::string peer;        // its key in clients_
  int queued = 0;          // calls in the workers' queue or running
  std::deque<Job> waiting; // calls beyond the cap, in order
};

// One CallStream: a client's batches of calls, each message's calls handed to the workers as calls of
// their own, the answers written as they come (those of one message's calls that end together leave
// together). Ends once the client closed its side and every call is answered, or, when the server
// stops, once the calls it took are answered. Lives until gRPC is done with it and no worker holds
// one of its calls.
class App_Server::Batch final
    : public grpc::ServerBidiReactor<zem::link::CallBatchRequest, zem::link::CallBatchReply> {
 public:
  Batch(App_Server* s, grpc::CallbackServerContext* ctx, std::string who)
      : server_(s), ctx_(ctx), who_(std::move(who)) {}

  void Begin() {
    std::lock_guard<std::mutex> g(lock_);
    Read_On_Locked();
  }
  void Refuse(const grpc::Status& s) {
    std::lock_guard<std::mutex> g(lock_);
    Finish_Locked(s);
  }

  void OnReadDone(bool ok) override {
    {
      std::lock_guard<std::mutex> g(lock_);
      reading_ = false;
      if (!ok) {
        // The client closed its side (no more calls), or is gone (OnCancel).
        half_closed_ = true;
        Send_Locked();
        return;
      }
    }
    Take_Message();
    std::lock_guard<std::mutex> g(lock_);
    Read_On_Locked();
  }

  void OnWriteDone(bool ok) override {
    std::lock_guard<std::mutex> g(lock_);
    writing_ = false;
    out_.Clear();
    if (!ok) {
      // The client is gone: nothing more reaches it.
      gone_ = true;
      Finish_Locked(grpc::Status::CANCELLED);
      return;
    }
    Send_Locked();
  }

  void OnCancel() override { gone_ = true; }

  void OnDone() override {
    server_->Remove_Stream(this);
    bool last;
    {
      std::lock_guard<std::mutex> g(lock_);
      done_ = true;
      last = holds_ == 0;
    }
    if (last) delete this;
  }

  // The server stops: calls that come from now on are refused, and the stream ends once those taken
  // are answered.
  void Stop() {
    std::lock_guard<std::mutex> g(lock_);
    stopping_ = true;
    Send_Locked();
  }

  // Whether the call's caller stopped waiting: the stream is gone, a cancel message named it, or its
  // timeout passed.
  bool Gave_Up(int i) {
    if (gone_) return true;
    std::lock_guard<std::mutex> g(lock_);
    Slot* s = Find_Locked(i);
    if (!s || s->given_up) return true;
    return s->deadline != Clock::time_point() && Clock::now() >= s->deadline;
  }

  // The call's answer: OK with its reply, or the status a call of its own would have ended with.
  void Answer(int i, const grpc::Status& status) {
    std::lock_guard<std::mutex> g(lock_);
    Answer_Locked(i, status);
  }

  // The hold of the answers ready is over: they leave now.
  void Flush() {
    {
      std::lock_guard<std::mutex> g(lock_);
      flush_waiting_ = false;
      flush_due_ = true;
      Send_Locked();
    }
    Let_Go();
  }

  // A worker holds the stream while it runs one of its calls.
  void Let_Go() {
    bool last;
    {
      std::lock_guard<std::mutex> g(lock_);
      last = --holds_ == 0 && done_;
    }
    if (last) delete this;
  }

 private:
  // A call taken: its request and reply stay where they are until its answer is written.
  struct Slot {
    zem::link::CallRequest req;
    zem::link::CallReply reply;
    grpc::Status status;
    Clock::time_point deadline;
    bool given_up = false;
    std::shared_ptr<int> message_open;  // calls of its message not yet answered
  };

  Slot* Find_Locked(int i) {
    auto it = slots_.find(i);
    return it == slots_.end() ? nullptr : it->second.get();
  }

  void Answer_Locked(int i, const grpc::Status& status) {
    Slot* s = Find_Locked(i);
    if (!s) return;
    s->status = status;
    ready_.push_back(i);
    if (--open_ < kStream_Open / 2 && paused_) {
      paused_ = false;
      Read_On_Locked();
    }
    // The last of its message: what is ready leaves now.
    if (--*s->message_open == 0) flush_due_ = true;
    s->message_open.reset();
    Send_Locked();
  }

  // Reads the next message unless one is being read, the stream ended or too many calls are in flight.
  void Read_On_Locked() {
    if (reading_ || paused_ || half_closed_ || finished_) return;
    reading_ = true;
    StartRead(&in_);
  }

  // A call taken and refused before it ran: its answer, and the hold taken for it let go.
  void Answer_Unrun(int i, const grpc::Status& status) {
    Answer(i, status);
    Let_Go();
  }

  // Reads one message: its calls (each checked by name and queued as a call of its own), then its
  // cancels; a message that does not read ends the stream.
  void Take_Message() {
    std::string why;
    if (!Check_Batch(in_, &why)) {
      server_->Refused("a batch", who_, why);
      std::lock_guard<std::mutex> g(lock_);
      Finish_Locked(grpc::Status(grpc::StatusCode::INVALID_ARGUMENT, why));
      return;
    }
    // The stream outlives a token taken off the file: each batch is checked again.
    const bool refused = in_.calls_size() > 0 && server_->Authorize(ctx_, "a batch", &why).empty();
    const int n = in_.calls_size();
    std::vector<std::pair<int, Slot*>> taken;
    taken.reserve(static_cast<size_t>(n));
    bool stopping;
    {
      std::lock_guard<std::mutex> g(lock_);
      if (finished_) return;
      for (int k = 0; k < n; ++k)
        if (slots_.count(in_.first() + k)) {
          why = "a batch that sends index " + std::to_string(in_.first() + k) + " again while it is in flight";
          server_->Refused("a batch", who_, why);
          Finish_Locked(grpc::Status(grpc::StatusCode::INVALID_ARGUMENT, why));
          return;
        }
      const Clock::time_point now = Clock::now();
      auto message_open = std::make_shared<int>(n);
      for (int k = 0; k < n; ++k) {
        zem::link::BatchCall* c = in_.mutable_calls(k);
        auto slot = std::make_unique<Slot>();
        slot->req.Swap(c->mutable_call());
        if (c->timeout_ms() > 0) slot->deadline = now + std::chrono::milliseconds(c->timeout_ms());
        slot->message_open = message_open;
        taken.emplace_back(in_.first() + k, slot.get());
        slots_.emplace(in_.first() + k, std::move(slot));
      }
      // After the calls: a cancel may name a call of its own message.
      for (int i : in_.cancel())
        if (Slot* s = Find_Locked(i)) s->given_up = true;
      open_ += n;
      holds_ += n + 1;  // let go as each call is run or refused, and below
      stopping = stopping_;
      if (open_ >= kStream_Open) paused_ = true;  // read on once fewer are in flight
    }
    const std::string peer = ctx_->peer();
    std::vector<std::pair<int, Slot*>> listed;
    listed.reserve(taken.size());
    for (const auto& [i, s] : taken) {
      std::string no;
      if (refused)
        Answer_Unrun(i, grpc::Status(grpc::StatusCode::UNAUTHENTICATED, why));
      else if (stopping)
        Answer_Unrun(i, grpc::Status(grpc::StatusCode::UNAVAILABLE, "the server is stopping"));
      else if (server_->Listed(s->req.name(), who_, &no))
        listed.emplace_back(i, s);
      else
        Answer_Unrun(i, grpc::Status(grpc::StatusCode::PERMISSION_DENIED, no));
    }
    size_t queued = 0;
    Wakes wakes;
    {
      std::lock_guard<std::mutex> g(server_->queue_lock_);
      for (const auto& [i, s] : listed) {
        if (!server_->Queue_Locked(Job{ctx_, &s->req, &s->reply, nullptr, this, i, who_, nullptr}, peer)) break;
        ++queued;
      }
      server_->Wake_Locked(&wakes);
    }
    server_->Wake(wakes);
    for (size_t k = queued; k < listed.size(); ++k)
      Answer_Unrun(listed[k].first, grpc::Status(grpc::StatusCode::UNAVAILABLE, "the server is stopping"));
    Let_Go();
  }

  // Writes the answers ready, as many as one message may hold, once the last call of a message is
  // answered, nothing else is in flight, or the first of them has waited kAnswer_Hold (so that answers
  // ending together leave together, and a long call holds those of the short ones no longer than
  // that); ends the stream once nothing is in flight and no more calls come.
  void Send_Locked() {
    if (writing_ || finished_) return;
    if (ready_.empty()) {
      if (open_ == 0 && (half_closed_ || stopping_)) Finish_Locked(grpc::Status::OK);
      return;
    }
    if (open_ > 0 && !flush_due_) {
      if (!flush_waiting_) {
        flush_waiting_ = true;
        ++holds_;  // let go by Flush
        server_->Flush_Later(this, Clock::now() + kAnswer_Hold);
      }
      return;
    }
    flush_due_ = false;
    long long bytes = 0;
    size_t taken = 0;
    for (; taken < ready_.size(); ++taken) {
      const int i = ready_[taken];
      auto it = slots_.find(i);
      Slot& s = *it->second;
      const long long size =
          static_cast<long long>(s.reply.pack().size() + s.reply.message().size() + s.status.error_message().size()) + 64;
      if (taken > 0 && bytes + size > server_->o_.max_message) break;
      bytes += size;
      zem::link::BatchAnswer* a = out_.add_answers();
      a->set_index(i);
      if (!s.status.ok()) {
        a->set_status(static_cast<int>(s.status.error_code()));
        a->set_status_message(s.status.error_message());
      } else {
        a->mutable_reply()->Swap(&s.reply);
      }
      slots_.erase(it);
    }
    ready_.erase(ready_.begin(), ready_.begin() + static_cast<long>(taken));
    writing_ = true;
    StartWrite(&out_);
  }

  void Finish_Locked(const grpc::Status& s) {
    if (finished_) return;
    finished_ = true;
    Finish(s);
  }

  App_Server* server_;
  grpc::CallbackServerContext* ctx_;
  std::string who_;
  zem::link::CallBatchRequest in_;
  std::atomic<bool> gone_{false};

  std::mutex lock_;
  std::unordered_map<int, std::unique_ptr<Slot>> slots_;  // taken, until their answers are written
  std::vector<int> ready_;                                // answered, not yet written
  zem::link::CallBatchReply out_;
  int open_ = 0;  // calls not yet answered
  int holds_ = 0;
  bool writing_ = false;
  bool finished_ = false;
  bool done_ = false;
  bool half_closed_ = false;    // the client sends no more calls
  bool paused_ = false;         // kStream_Open calls in flight: the next message waits
  bool reading_ = false;        // a message is being read
  bool stopping_ = false;       // the server stops: no more calls are run
  bool flush_waiting_ = false;  // a hold runs (Flush_Later)
  bool flush_due_ = false;      // it ended: what is ready leaves with the next write
};

void App_Server::Flush_Later(Batch* b, Clock::time_point at) {
  std::lock_guard<std::mutex> g(flush_lock_);
  flush_.emplace(at, b);
  flush_cv_.notify_one();
}

void App_Server::Flusher() {
  std::unique_lock<std::mutex> l(flush_lock_);
  for (;;) {
    if (flush_.empty()) {
      if (flush_stop_) return;
      flush_cv_.wait(l);
      continue;
    }
    auto first = flush_.begin();
    if (!flush_stop_ && Clock::now() < first->first) {
      flush_cv_.wait_until(l, first->first);
      continue;
    }
    Batch* b = first->second;
    flush_.erase(first);
    l.unlock();
    b->Flush();
    l.lock();
  }
}

// ---- the server ------------------------------------------------------------------------------------
App_Server::App_Server(const Server_Options& o) : o_(o), since_(Clock::now()) {
  for (const char* n : kPackage_Calls) names_.insert(n);
  for (const std::string& n : o_.serve) names_.insert(n);
}

App_Server::~App_Server() {
  if (server_ || !workers_.empty()) Drain();
}

void App_Server::Serve(const std::string& name) {
  std::lock_guard<std::mutex> g(names_lock_);
  names_.insert(name);
}

int App_Server::Reload_Tokens() {
  Token_File t;
  std::string error;
  if (!t.Load(o_.tokens, &error)) {
    Server_Log("tokens: " + error + "; the tokens held before stay");
    return 0;
  }
  std::lock_guard<std::mutex> g(tokens_lock_);
  tokens_ = t;
  Server_Log("tokens: " + std::to_string(tokens_.Count()) + " read from " + o_.tokens);
  return 1;
}

int App_Server::Start(std::string* error) {
  {
    std::lock_guard<std::mutex> g(tokens_lock_);
    if (!tokens_.Load(o_.tokens, error)) return 0;
  }
  std::shared_ptr<grpc::ServerCredentials> creds;
  if (o_.insecure) {
    creds = grpc::InsecureServerCredentials();
  } else {
    grpc::SslServerCredentialsOptions ssl(o_.client_ca.empty()
                                              ? GRPC_SSL_DONT_REQUEST_CLIENT_CERTIFICATE
                                              : GRPC_SSL_REQUEST_AND_REQUIRE_CLIENT_CERTIFICATE_AND_VERIFY);
    grpc::SslServerCredentialsOptions::PemKeyCertPair pair;
    if (!Read_File(o_.key, &pair.private_key) || !Read_File(o_.cert, &pair.cert_chain)) {
      *error = "cannot read the certificate " + o_.cert + " or its key " + o_.key;
      return 0;
    }
    if (!o_.client_ca.empty() && !Read_File(o_.client_ca, &ssl.pem_root_certs)) {
      *error = "cannot read the client authority " + o_.client_ca;
      return 0;
    }
    ssl.pem_key_cert_pairs.push_back(pair);
    creds = grpc::SslServerCredentials(ssl);
  }
  grpc::ServerBuilder b;
  b.AddListeningPort(o_.listen, creds, &port_);
  b.RegisterService(this);
  b.SetMaxReceiveMessageSize(o_.max_message);
  b.SetMaxSendMessageSize(o_.max_message);
  b.AddChannelArgument(GRPC_ARG_MAX_CONCURRENT_STREAMS, o_.max_calls_per_client);
  // Pings find clients that vanished without closing (their watchers would stay), and clients' own
  // pings every 30 s on an idle stream are welcome.
  b.AddChannelArgument(GRPC_ARG_KEEPALIVE_TIME_MS, 60000);
  b.AddChannelArgument(GRPC_ARG_KEEPALIVE_TIMEOUT_MS, 20000);
  b.AddChannelArgument(GRPC_ARG_KEEPALIVE_PERMIT_WITHOUT_CALLS, 1);
  b.AddChannelArgument(GRPC_ARG_HTTP2_MIN_RECV_PING_INTERVAL_WITHOUT_DATA_MS, 20000);
  // A second server started on the same port by mistake fails instead of sharing it silently.
  b.AddChannelArgument(GRPC_ARG_ALLOW_REUSEPORT, 0);
  // The CPUs this process may run on (a container or taskset may allow fewer than the machine has).
  cpu_set_t cpus;
  const int n_cpus = sched_getaffinity(0, sizeof cpus, &cpus) == 0
                         ? CPU_COUNT(&cpus)
                         : static_cast<int>(std::thread::hardware_concurrency());
  wake_cap_ = std::min(o_.threads, std::max(2, n_cpus));
  awake_ = o_.threads;  // each goes idle at the empty queue
  for (int i = 0; i < o_.threads; ++i) {
    sleepers_.push_back(std::make_unique<Sleeper>());
    workers_.emplace_back(&App_Server::Work, this, sleepers_.back().get());
  }
  guard_ = std::thread(&App_Server::Guard, this);
  flusher_ = std::thread(&App_Server::Flusher, this);
  server_ = b.BuildAndStart();
  if (!server_ || port_ == 0) {
    *error = "cannot listen on " + o_.listen +
             ": the address is in use or not this machine's, or the certificate or key does not read (see grpc: lines)";
    server_.reset();
    Drain();
    return 0;
  }
  return 1;
}

std::string App_Server::Authorize(grpc::CallbackServerContext* ctx, const std::string& what, std::string* why) {
  const auto& md = ctx->client_metadata();
  auto it = md.find("authorization");
  std::string token;
  if (it != md.end()) {
    token.assign(it->second.data(), it->second.size());
    if (token.compare(0, 7, "Bearer ") == 0) token.erase(0, 7);
  }
  std::string label;
  if (!token.empty()) {
    std::lock_guard<std::mutex> g(tokens_lock_);
    label = tokens_.Check(token);
  }
  if (label.empty()) {
    *why = token.empty() ? "the call carries no token (app_server_token)" : "the token is not valid";
    Refused(what, ctx->peer(), *why);
  }
  return label;
}

void App_Server::Refused(const std::string& what, const std::string& who, const std::string& why) {
  {
    std::lock_guard<std::mutex> g(stats_lock_);
    ++refused_;
  }
  Server_Log("refused " + what + " from " + who + ": " + why);
}

bool App_Server::Listed(const std::string& name, const std::string& who, std::string* why) {
  bool listed;
  {
    std::lock_guard<std::mutex> g(names_lock_);
    listed = names_.count(name) > 0;
  }
  if (listed) return true;
  *why = "the call " + name + " is not served here";
  Refused(name, who, *why);
  return false;
}

grpc::ServerUnaryReactor* App_Server::Call(grpc::CallbackServerContext* ctx, const zem::link::CallRequest* req,
                                           zem::link::CallReply* reply) {
  grpc::ServerUnaryReactor* r = ctx->DefaultReactor();
  std::string why;
  const std::string label = Authorize(ctx, req->name(), &why);
  if (label.empty()) {
    r->Finish(grpc::Status(grpc::StatusCode::UNAUTHENTICATED, why));
    return r;
  }
  const std::string peer = ctx->peer();
  std::string who = label + " (" + peer + ")";
  if (!Listed(req->name(), who, &why)) {
    r->Finish(grpc::Status(grpc::StatusCode::PERMISSION_DENIED, why));
    return r;
  }
  bool queued;
  Wakes wakes;
  {
    std::lock_guard<std::mutex> g(queue_lock_);
    queued = Queue_Locked(Job{ctx, req, reply, r, nullptr, -1, std::move(who), nullptr}, peer);
    Wake_Locked(&wakes);
  }
  // Woken after the lock is let go: the worker does not wake into a held lock.
  Wake(wakes);
  if (queued) return r;
  r->Finish(grpc::Status(grpc::StatusCode::UNAVAILABLE, "the server is stopping"));
  return r;
}

#ifndef ZEM_APP_SERVER_UNARY_ONLY
grpc::ServerBidiReactor<zem::link::CallBatchRequest, zem::link::CallBatchReply>* App_Server::CallStream(
    grpc::CallbackServerContext* ctx) {
  std::string why;
  const std::string label = Authorize(ctx, "a batch", &why);
  auto* b = new Batch(this, ctx, label + " (" + ctx->peer() + ")");
  if (label.empty()) {
    b->Refuse(grpc::Status(grpc::StatusCode::UNAUTHENTICATED, why));
    return b;
  }
  {
    std::lock_guard<std::mutex> g(watchers_lock_);
    if (!draining_) {
      streams_.insert(b);
      b->Begin();
      return b;
    }
  }
  b->Refuse(grpc::Status(grpc::StatusCode::UNAVAILABLE, "the server is stopping"));
  return b;
}
#endif

void App_Server::Remove_Stream(Batch* b) {
  std::lock_guard<std::mutex> g(watchers_lock_);
  streams_.erase(b);
}

bool App_Server::Queue_Locked(Job job, const std::string& peer) {
  if (stopping_) return false;
  Client*& c = clients_[peer];
  if (!c) {
    c = new Client();
    c->peer = peer;
  }
  job.client = c;
  ++in_flight_;
  if (c->queued >= o_.max_calls_per_client) {
    c->waiting.push_back(std::move(job));
    return true;
  }
  ++c->queued;
  job.queued = Clock::now();
  queue_.push_back(std::move(job));
  return true;
}

void App_Server::Wake_Locked(Wakes* w) {
  const int waiting = static_cast<int>(queue_.size()) - starting_;
  for (int n = std::min(waiting, wake_cap_ - awake_); n > 0 && !idle_.empty(); --n) Wake_One_Locked(w);
  // Calls left waiting for the workers awake: the guard sees that they do not wait on a slow one.
  if (guard_idle_ && static_cast<int>(queue_.size()) > starting_ && !idle_.empty()) {
    guard_idle_ = false;
    w->guard = true;
  }
}

void App_Server::Wake_One_Locked(Wakes* w) {
  Sleeper* s = idle_.back();
  idle_.pop_back();
  s->woken = true;
  ++awake_;
  ++starting_;
  w->workers.push_back(s);
}

void App_Server::Wake(const Wakes& w) {
  for (Sleeper* s : w.workers) s->cv.notify_one();
  if (w.guard) guard_cv_.notify_one();
}

void App_Server::Guard() {
  std::unique_lock<std::mutex> l(queue_lock_);
  while (!guard_stop_) {
    if (queue_.empty() || idle_.empty()) {
      guard_idle_ = true;
      guard_cv_.wait(l);
      guard_idle_ = false;
      continue;
    }
    const Clock::time_point now = Clock::now();
    const Clock::time_point due = queue_.front().queued + kStall;
    if (now < due) {
      guard_cv_.wait_until(l, due);
      continue;
    }
    if (starting_ == 0) {
      // The workers awake are held by slow calls, or too few for the calls waiting: one more (the
      // sleepers outlive the lock).
      Wakes w;
      Wake_One_Locked(&w);
      w.workers.front()->cv.notify_one();
    }
    // Once the one woken is at the queue, the next call's wait is looked at.
    guard_cv_.wait_until(l, now + kStall);
  }
}

void App_Server::Work(Sleeper* me) {
  std::unique_lock<std::mutex> l(queue_lock_);
  for (;;) {
    if (queue_.empty()) {
      if (stopping_) break;  // and nothing left
      --awake_;
      me->woken = false;
      idle_.push_back(me);
      me->cv.wait(l, [me] { return me->woken; });
      --starting_;  // the waker counted it awake
      continue;
    }
    Job job = std::move(queue_.front());
    queue_.pop_front();
    l.unlock();
    Run(job);
    Batch* batch = job.batch;
    l.lock();
    Client* c = job.client;
    if (!c->waiting.empty()) {
      // The connection's next call takes this one's place (this worker takes it next, or another).
      queue_.push_back(std::move(c->waiting.front()));
      queue_.back().queued = Clock::now();
      c->waiting.pop_front();
    } else if (--c->queued == 0) {
      clients_.erase(c->peer);
      delete c;
    }
    --in_flight_;
    if (batch) {
      l.unlock();
      batch->Let_Go();
      l.lock();
    }
  }
  l.unlock();
  Db_Connect_Mgr()->Release_Thread();
}

bool App_Server::Gave_Up(const Job& job) {
  return job.batch ? job.batch->Gave_Up(job.index) : job.ctx->IsCancelled();
}

void App_Server::Answer(Job& job, const grpc::Status& status) {
  if (job.batch) job.batch->Answer(job.index, status);
  else job.reactor->Finish(status);
}

void App_Server::Run(Job& job) {
  // The call's name is kept: a call answered before it runs (wait=false) may lose its request.
  const std::string name = job.req->name();
  if (Gave_Up(job)) {
    Answer(job, grpc::Status::CANCELLED);
    return;
  }
  TParaMgr pack;
  std::string why;
  if (!Decode_Call(*job.req, &pack, &why)) {
    Refused(name, job.who, why);
    Answer(job, grpc::Status(grpc::StatusCode::INVALID_ARGUMENT, why));
    return;
  }
  bool answered = false;
  if (!job.req->wait()) {
    // The client goes on at once; the call runs as if awaited.
    job.reply->set_result(0);
    Answer(job, grpc::Status::OK);
    answered = true;
  }
  const Clock::time_point start = Clock::now();
  TThr_Err_Mgr* err = Thr_Err_Mgr();
  err->Clear_Err();
  if (o_.trace) {
    Mid_Process()->N_Call(name.c_str(), &pack);
  } else if (Name_Call_Fn fn = Mid_Process()->Find(name.c_str())) {
    fn(&pack);
  } else {
    err->Set_Err(-1, ("function " + name + " is not defined").c_str());
  }
  Put_Thr_Err_Para(&pack);
  std::string message;
  int result = err->Get_Err(&message);
  // The call is its own unit of work on this worker's session, kept only when its client learns that
  // it succeeded: not when the client gave up waiting (its user's 取消, its deadline: it was told the
  // call did not complete) nor when the answer is too large to go back.
  const bool gave_up = !answered && Gave_Up(job);
  std::string too_large;
  const bool answer = answered || Encode_Reply(&pack, result, message, o_.max_message, job.reply, &too_large);
  TDb_Connect* session = Db_Connect_Mgr()->Get_Session(nullptr);
  if (session && session->Connected()) {
    if (result == 0 && !gave_up && answer) {
      DBDataMgr ds;
      if (!session->Commit(&ds)) {
        message = "the call's work could not be committed: " + Zem_W_To_Utf8(ds.Get_Sqlmsg());
        Server_Log(name + " from " + job.who + ": " + message);
        result = ds.Get_Sqlcode() ? ds.Get_Sqlcode() : -1;
        err->Set_Err(result, message.c_str());
        Put_Thr_Err_Para(&pack);
        if (!answered) job.reply->Clear();
        if (!answered && !Encode_Reply(&pack, result, message, o_.max_message, job.reply, &too_large)) {
          job.reply->set_result(result);
          job.reply->set_message(message);
        }
      }
    } else {
      session->Rollback();
    }
  }
  if (gave_up) Server_Log(name + " from " + job.who + ": its client gave up waiting; its work is rolled back");
  if (!answer) Server_Log(name + " from " + job.who + ": " + too_large + "; its work is rolled back");
  const long long micros = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
  Count_Call(name, micros, result != 0 || !answer || gave_up, job.batch != nullptr);
  if (answered) return;
  if (!answer) {
    Answer(job, grpc::Status(grpc::StatusCode::RESOURCE_EXHAUSTED, too_large));
    return;
  }
  Answer(job, grpc::Status::OK);
}

void App_Server::Count_Call(const std::string& name, long long micros, bool failed, bool batched) {
  std::lock_guard<std::mutex> g(stats_lock_);
  ++calls_;
  if (batched) ++batched_;
  if (failed) ++failed_;
  // The percentile reads from a bounded sample: every call while there are few, a spread of them after.
  if (micros_.size() < 100000) micros_.push_back(micros);
  else micros_[static_cast<size_t>(calls_) % micros_.size()] = micros;
  if (micros > slowest_) {
    slowest_ = micros;
    slowest_name_ = name;
  }
}

void App_Server::Summary() {
  long long calls, failed, refused, slowest, batched;
  std::vector<long long> micros;
  std::string slowest_name;
  Clock::time_point since;
  {
    std::lock_guard<std::mutex> g(stats_lock_);
    calls = calls_;
    failed = failed_;
    refused = refused_;
    batched = batched_;
    slowest = slowest_;
    micros.swap(micros_);
    slowest_name.swap(slowest_name_);
    since = since_;
    calls_ = failed_ = refused_ = slowest_ = batched_ = 0;
    since_ = Clock::now();
  }
  size_t watching;
  {
    std::lock_guard<std::mutex> g(watchers_lock_);
    watching = watchers_.size();
  }
  const long long secs = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - since).count();
  std::string line = "summary: " + std::to_string(calls) + " calls in " + std::to_string(secs) + " s (" +
                     std::to_string(failed) + " failed, " + std::to_string(refused) + " refused" +
                     (batched ? ", " + std::to_string(batched) + " in batches" : std::string()) + "), " +
                     std::to_string(watching) + " watching";
  if (!micros.empty()) {
    const size_t k = std::min(micros.size() - 1, micros.size() * 99 / 100);
    std::nth_element(micros.begin(), micros.begin() + static_cast<long>(k), micros.end());
    char figs[160];
    std::snprintf(figs, sizeof figs, ", 99%% within %.1f ms, slowest %.1f ms (%s)", micros[k] / 1000.0,
                  slowest / 1000.0, slowest_name.c_str());
    line += figs;
  }
  Server_Log(line);
}

grpc::ServerWriteReactor<zem::link::Notice>* App_Server::Watch(grpc::CallbackServerContext* ctx,
                                                                const zem::link::WatchRequest* /*req*/) {
  std::string why;
  const std::string label = Authorize(ctx, "watch", &why);
  auto* w = new Watcher(this, label + " (" + ctx->peer() + ")");
  if (label.empty()) {
    w->Close(grpc::Status(grpc::StatusCode::UNAUTHENTICATED, why));
    return w;
  }
  Add_Watcher(w);
  return w;
}

void App_Server::Add_Watcher(Watcher* w) {
  std::lock_guard<std::mutex> g(watchers_lock_);
  if (draining_) {
    w->Close(grpc::Status(grpc::StatusCode::UNAVAILABLE, "the server is stopping"));
    return;
  }
  watchers_.insert(w);
  w->Open();
}

void App_Server::Remove_Watcher(Watcher* w) {
  std::lock_guard<std::mutex> g(watchers_lock_);
  watchers_.erase(w);
}

void App_Server::Post_Notice(const std::string& channel, const std::string& id) {
  zem::link::Notice n;
  n.set_channel(channel);
  n.set_id(id);
  std::lock_guard<std::mutex> g(watchers_lock_);
  for (Watcher* w : watchers_) w->Post(n);
}

void App_Server::Drain() {
  {
    std::lock_guard<std::mutex> g(watchers_lock_);
    draining_ = true;
    for (Watcher* w : watchers_) w->Close(grpc::Status(grpc::StatusCode::UNAVAILABLE, "the server is stopping"));
    // Call streams stay open between batches: each ends once the calls it took are answered.
    for (Batch* b : streams_) b->Stop();
  }
  // Refuses new calls at once; the calls in flight finish (the workers keep running) until the
  // deadline, when gRPC cancels what is left: a call cancelled while it waited in the queue is not run.
  if (server_) server_->Shutdown(std::chrono::system_clock::now() + std::chrono::seconds(o_.drain_seconds));
  Wakes all;
  {
    std::lock_guard<std::mutex> g(queue_lock_);
    stopping_ = true;
    while (!idle_.empty()) Wake_One_Locked(&all);
  }
  Wake(all);
  for (std::thread& t : workers_) t.join();
  workers_.clear();
  if (guard_.joinable()) {
    {
      std::lock_guard<std::mutex> g(queue_lock_);
      guard_stop_ = true;
    }
    guard_cv_.notify_all();
    guard_.join();
  }
  if (server_) server_->Wait();
  server_.reset();
  if (flusher_.joinable()) {
    {
      std::lock_guard<std::mutex> g(flush_lock_);
      flush_stop_ = true;
    }
    flush_cv_.notify_all();
    flusher_.join();
  }
}
