// zem_link_grpc.so: the middleware link's client over gRPC (the interface in core/data/link_transport.h).
//
// One channel per target, shared by every thread and every caller of the process; gRPC keeps its
// connections, reconnects with back-off (1 s growing to 30 s) and, for a name with several addresses,
// spreads the calls round robin. Calls fail at once while no address can be reached, so a vanished
// server costs a caller no wait. Keepalive pings find a server that vanished without closing its
// connection (a cable, a frozen machine) while a notice stream is idle.
#include <absl/synchronization/mutex.h>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>
#include <grpcpp/grpcpp.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/data/link_transport.h"
#include "transport/link_address.h"
#include "transport/zem_link.grpc.pb.h"

#define LINK_API extern "C" __attribute__((visibility("default")))

namespace {

using Clock = std::chrono::steady_clock;

struct Entry;
struct Stream;

struct Channel {
  std::string address;
  bool insecure = false;
  int max_message = kLink_Default_Max_Message;
  std::shared_ptr<grpc::Channel> channel;
  std::unique_ptr<zem::link::AppServer::Stub> stub;

  // Calls that travel together (see Run_Call), under batch_lock.
  std::mutex batch_lock;
  int in_air = 0;              // calls sent (on their own or in batches) and not yet answered
  std::deque<Entry*> pending;  // calls waiting to travel with the next batch
  bool batch_off = false;      // the server has no CallStream: every call goes on its own
  std::map<std::string, Stream*> streams;  // the open call stream of each token
  grpc::CompletionQueue batch_queue;       // the streams, driven by a thread of the channel's
  std::once_flag driver;
};

std::mutex g_lock;
std::map<std::string, Channel*> g_channels;  // by target; never freed

void Put(char* out, int len, const std::string& text) {
  if (!out || len <= 0) return;
  std::snprintf(out, static_cast<size_t>(len), "%s", text.c_str());
}

std::string Text(const char* s) { return s ? s : ""; }

bool Read_File(const std::string& path, std::string* out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::ostringstream s;
  s << f.rdbuf();
  *out = s.str();
  return true;
}

std::shared_ptr<grpc::ChannelCredentials> Credentials(const Link_Target& t, std::string* error) {
  if (t.insecure) return grpc::InsecureChannelCredentials();
  grpc::SslCredentialsOptions ssl;
  const std::string ca = Text(t.ca_file), cert = Text(t.cert_file), key = Text(t.key_file);
  if (!ca.empty() && !Read_File(ca, &ssl.pem_root_certs)) {
    *error = "cannot read the certificate file " + ca + " (app_server_ca)";
    return nullptr;
  }
  if (cert.empty() != key.empty()) {
    *error = "a client certificate needs both its certificate and its key file";
    return nullptr;
  }
  if (!cert.empty() && (!Read_File(cert, &ssl.pem_cert_chain) || !Read_File(key, &ssl.pem_private_key))) {
    *error = "cannot read the client certificate " + cert + " or its key " + key;
    return nullptr;
  }
  return grpc::SslCredentials(ssl);
}

Channel* Open(const Link_Target& t, std::string* error) {
  const std::string address = Text(t.address);
  if (address.empty()) {
    *error = "no application server address";
    return nullptr;
  }
  if (t.insecure && !zem_link::Loopback_Address(address)) {
    *error = "plain text (no TLS) is for loopback addresses only, not " + address;
    return nullptr;
  }
  const int max = t.max_message > 0 ? t.max_message : kLink_Default_Max_Message;
  const std::string key = address + '\n' + Text(t.ca_file) + '\n' + Text(t.cert_file) + '\n' + Text(t.key_file) +
                          '\n' + Text(t.tls_name) + '\n' + std::to_string(t.insecure) + '\n' + std::to_string(max) +
                          '\n' + std::to_string(t.instance);
  std::lock_guard<std::mutex> g(g_lock);
  auto it = g_channels.find(key);
  if (it != g_channels.end()) return it->second;
  // The distribution's abseil keeps a lock-order graph for every mutex gRPC takes (a debugging aid
  // that cost a tenth of a call's time here); gRPC is the only user of it this library brings.
  if (g_channels.empty()) absl::SetMutexDeadlockDetectionMode(absl::OnDeadlockCycle::kIgnore);
  std::shared_ptr<grpc::ChannelCredentials> creds = Credentials(t, error);
  if (!creds) return nullptr;
  grpc::ChannelArguments args;
  args.SetMaxReceiveMessageSize(max);
  args.SetMaxSendMessageSize(max);
  args.SetLoadBalancingPolicyName("round_robin");
  args.SetInt(GRPC_ARG_INITIAL_RECONNECT_BACKOFF_MS, 1000);
  args.SetInt(GRPC_ARG_MIN_RECONNECT_BACKOFF_MS, 1000);
  args.SetInt(GRPC_ARG_MAX_RECONNECT_BACKOFF_MS, 30000);
  args.SetInt(GRPC_ARG_KEEPALIVE_TIME_MS, 30000);
  args.SetInt(GRPC_ARG_KEEPALIVE_TIMEOUT_MS, 10000);
  args.SetInt(GRPC_ARG_KEEPALIVE_PERMIT_WITHOUT_CALLS, 1);
  args.SetInt(GRPC_ARG_HTTP2_MAX_PINGS_WITHOUT_DATA, 0);
  if (t.tls_name && *t.tls_name) args.SetSslTargetNameOverride(t.tls_name);
  if (t.instance) {
    // Its own connections too: gRPC otherwise shares connections between channels of equal targets.
    args.SetInt(GRPC_ARG_USE_LOCAL_SUBCHANNEL_POOL, 1);
    args.SetInt("zem.link_instance", t.instance);
  }
  auto* c = new Channel();
  c->address = address;
  c->insecure = t.insecure != 0;
  c->max_message = max;
  c->channel = grpc::CreateCustomChannel(address, creds, args);
  c->stub = zem::link::AppServer::NewStub(c->channel);
  g_channels[key] = c;
  return c;
}

// What a failed status means for the caller, with a hint where the transport's text is obscure.
int Status_Kind(const grpc::Status& s, bool cancelled) {
  switch (s.error_code()) {
    case grpc::StatusCode::OK: return LINK_OK;
    case grpc::StatusCode::DEADLINE_EXCEEDED: return LINK_TIMEOUT;
    case grpc::StatusCode::CANCELLED: return cancelled ? LINK_CANCELLED : LINK_UNREACHABLE;
    case grpc::StatusCode::UNAVAILABLE: return LINK_UNREACHABLE;
    case grpc::StatusCode::UNAUTHENTICATED:
    case grpc::StatusCode::PERMISSION_DENIED:
    case grpc::StatusCode::RESOURCE_EXHAUSTED:
    case grpc::StatusCode::INVALID_ARGUMENT:
    case grpc::StatusCode::UNIMPLEMENTED: return LINK_REFUSED;
    default: return LINK_FAILED;
  }
}

std::string Status_Text(const Channel* c, const grpc::Status& s) {
  std::string text = s.error_message();
  if (s.error_code() != grpc::StatusCode::UNAVAILABLE) return text;
  const bool handshake = text.find("andshake") != std::string::npos || text.find("SSL") != std::string::npos ||
                         text.find("ssl") != std::string::npos;
  if (c->insecure)
    text += " (this client speaks plain text: a server that expects TLS closes its connections)";
  else if (handshake)
    text += " (the TLS handshake failed: a plain-text server, or a certificate that app_server_ca did not sign "
            "or that does not name the server)";
  return text;
}

// Each calling thread waits on a completion queue of its own, kept for its next calls: the thread
// itself drives the queue while it waits (no hand-over to another thread and back), in slices.
class Thread_Queue {
 public:
  ~Thread_Queue() {
    q_.Shutdown();
    void* tag = nullptr;
    bool ok = false;
    while (q_.Next(&tag, &ok)) {
    }
  }
  grpc::CompletionQueue* Get() { return &q_; }

 private:
  grpc::CompletionQueue q_;
};

// A failed call's reply: its kind and the caller's text.
int Fail_Reply(const Channel* c, const grpc::Status& status, bool cancelled, const Link_Call* call, Link_Reply* reply) {
  reply->status = Status_Kind(status, cancelled);
  if (reply->status == LINK_TIMEOUT)
    Put(reply->message, sizeof reply->message, "no answer within " + std::to_string(call->deadline_ms) + " ms");
  else if (reply->status == LINK_CANCELLED)
    Put(reply->message, sizeof reply->message, "cancelled while waiting for the answer");
  else
    Put(reply->message, sizeof reply->message, Status_Text(c, status));
  return reply->status;
}

// A call's answer into the caller's reply, which then owns it.
int Ok_Reply(std::unique_ptr<zem::link::CallReply> rep, Link_Reply* reply) {
  reply->status = LINK_OK;
  reply->result = rep->result();
  Put(reply->message, sizeof reply->message, rep->message());
  reply->pack = rep->pack().data();
  reply->pack_len = static_cast<int>(rep->pack().size());
  reply->owner = rep.release();
  return LINK_OK;
}

// A call of its own: one unary RPC, awaited on the calling thread's queue.
int Run_Single(Channel* c, const Link_Call* call, Link_Reply* reply) {
  thread_local Thread_Queue queue;
  grpc::CompletionQueue* cq = queue.Get();
  grpc::ClientContext ctx;
  zem::link::CallRequest req;
  auto rep = std::make_unique<zem::link::CallReply>();
  req.set_name(Text(call->name));
  if (call->pack && call->pack_len > 0) req.set_pack(call->pack, static_cast<size_t>(call->pack_len));
  req.set_wait(call->wait != 0);
  if (call->token && *call->token) ctx.AddMetadata("authorization", std::string("Bearer ") + call->token);
  const Clock::time_point start = Clock::now();
  if (call->deadline_ms > 0) ctx.set_deadline(std::chrono::system_clock::now() + std::chrono::milliseconds(call->deadline_ms));

  grpc::Status status;
  std::unique_ptr<grpc::ClientAsyncResponseReader<zem::link::CallReply>> rpc =
      c->stub->AsyncCall(&ctx, req, cq);
  rpc->Finish(rep.get(), &status, &status);  // the status' address is the tag
  const auto slice = std::chrono::milliseconds(call->slice_ms > 0 ? call->slice_ms : 50);
  bool cancelled = false;
  for (;;) {
    void* tag = nullptr;
    bool ok = false;
    const grpc::CompletionQueue::NextStatus n = cq->AsyncNext(&tag, &ok, std::chrono::system_clock::now() + slice);
    if (n == grpc::CompletionQueue::GOT_EVENT && tag == &status) break;
    if (n == grpc::CompletionQueue::SHUTDOWN) break;
    if (n != grpc::CompletionQueue::TIMEOUT || cancelled || !call->hook) continue;
    const int elapsed = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    if (!call->hook(call->hook_arg, elapsed)) {
      cancelled = true;
      ctx.TryCancel();  // the call ends at once with CANCELLED, through the queue
    }
  }
  if (!status.ok()) return Fail_Reply(c, status, cancelled, call, reply);
  return Ok_Reply(std::move(rep), reply);
}

// ---- calls that travel together ---------------------------------------------------------------------
//
// Many threads of one process calling at once would each pay for an RPC of their own (its HTTP/2
// stream, its headers, its completions and thread hand-overs cost both sides more than the call). So
// a call goes on its own while fewer than kAlone calls of its channel are in the air (a lone call, or
// two at once: no wait at all); beyond that it waits in the channel's pending list, and what is
// pending leaves as one batch once it is as many calls as are in the air (see Send_If_Due_Locked), or
// after kHold at the latest, so that slow calls in the air do not hold it. A batch is one message of a
// CallStream that the channel keeps open for its token while batches follow each other (opening a
// stream per batch cost as much as the calls): the calls are numbered on along the stream, and their
// answers come back on it as they end. The server runs a batch's calls on its workers side by side,
// each as a call of its own, and sends the answers of those that ended together in one message, an
// answer waiting at most a millisecond for the others of its batch: a long call does not hold the
// answers of the short ones beside it. A caller's 取消 or deadline ends its own wait at once and tells
// the server on the stream, which does not run the call or rolls its work back, as for a call of its
// own. A stream that fails fails the calls it carried, as their own RPCs would have, and the next
// batch opens another. A server without CallStream (UNIMPLEMENTED, nothing ran) has the calls sent
// again on their own, and the channel sends no more batches.
constexpr int kAlone = 2;
constexpr auto kHold = std::chrono::milliseconds(5);
constexpr int kBatch_Pack = 64 * 1024;  // larger packs always go on their own
constexpr int kBatch_Calls = 256;
constexpr int kRetire_Index = 1 << 30;  // a stream's calls numbered this far: the next batch opens another
constexpr auto kIdle = std::chrono::seconds(1);  // a stream idle this long closes

// A call waiting in a batch; on its caller's stack, under the channel's batch_lock.
struct Entry {
  enum State { kPending, kSent, kAnswered, kAlone_Again };
  const Link_Call* call;
  Clock::time_point start, queued;
  State state = kPending;
  Stream* stream = nullptr;  // kSent: the stream it went on, its index there and its batch
  int index = -1;
  grpc::Status status;  // kAnswered: the call's own status
  std::unique_ptr<zem::link::CallReply> answer;
  // The caller sleeps on this word once the state above is final: kAwake, kAsleep while it sleeps (or
  // is about to), kDone once its waker set the state. The waker wakes it only when it sleeps, and
  // touches nothing of the entry after kDone (the caller may be gone).
  enum Word { kAwake, kAsleep, kDone };
  std::atomic<int> word{kAwake};
};

// Waits until the entry's word is kDone or the time comes; true when it is done.
bool Wait_Done(Entry& e, Clock::time_point until) {
  for (;;) {
    int w = e.word.load(std::memory_order_acquire);
    if (w == Entry::kDone) return true;
    if (w == Entry::kAwake && !e.word.compare_exchange_weak(w, Entry::kAsleep, std::memory_order_acquire)) continue;
    const auto left = until - Clock::now();
    if (left <= Clock::duration::zero()) return false;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    syscall(SYS_futex, reinterpret_cast<int*>(&e.word), FUTEX_WAIT_PRIVATE, Entry::kAsleep, &ts, nullptr, 0);
  }
}

// Wakes the callers whose state was set under batch_lock (called after letting go of it, so that a
// woken caller finds no lock held by its waker).
void Wake(const std::vector<Entry*>& woken) {
  for (Entry* e : woken) {
    std::atomic<int>* word = &e->word;
    if (word->exchange(Entry::kDone, std::memory_order_acq_rel) == Entry::kAsleep)
      syscall(SYS_futex, reinterpret_cast<int*>(word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
  }
}

// A message to write: a batch (the ends of its calls' waits, so that each call's timeout is what is
// left when it leaves) or cancels.
struct Out_Message {
  zem::link::CallBatchRequest req;
  std::vector<Clock::time_point> ends;  // by call; the epoch for a call without a bound
};

// A channel's CallStream for one token, open while its batches follow each other: once nothing sent
// on it has waited for kIdle it takes no more and closes its side, so that an idle process holds none
// of the connection's streams (the server caps them per connection); driven by the channel's thread.
struct Stream {
  struct Op {
    Stream* stream;
    enum Kind { kStart, kWrite, kRead, kFinish, kClose } kind;
  };
  Channel* c;
  std::string token;
  grpc::ClientContext ctx;
  std::unique_ptr<grpc::ClientAsyncReaderWriter<zem::link::CallBatchRequest, zem::link::CallBatchReply>> rw;
  std::deque<Out_Message> out;  // to write; the front is being written while writing
  std::vector<int> cancels;     // given up, not yet told
  std::unordered_map<int, Entry*> live;         // sent and not yet answered, by index
  int next = 0;                                 // the next call's index
  bool writing = false;
  bool open = true;     // still the channel's stream for its token: takes batches
  bool closing = false; // its side is closed (nothing more to send)
  bool ended = false;   // the stream's status is in
  int ops = 0;          // operations started and not completed
  Clock::time_point idle_since;  // nothing to write or wait for since then; the epoch while busy
  zem::link::CallBatchReply rep;
  grpc::Status status;
  Op start{this, Op::kStart}, write{this, Op::kWrite}, read{this, Op::kRead}, finish{this, Op::kFinish},
      close{this, Op::kClose};
};

void Drive(Channel* c);

// The channel's open stream for the token, opened (its start and first read under way) when there is
// none: its headers leave with its first message.
Stream* Stream_For_Locked(Channel* c, const std::string& token) {
  auto it = c->streams.find(token);
  if (it != c->streams.end()) return it->second;
  std::call_once(c->driver, [c] { std::thread(Drive, c).detach(); });
  auto* s = new Stream();
  s->c = c;
  s->token = token;
  if (!token.empty()) s->ctx.AddMetadata("authorization", "Bearer " + token);
  s->ctx.set_initial_metadata_corked(true);
  s->rw = c->stub->PrepareAsyncCallStream(&s->ctx, &c->batch_queue);
  s->rw->StartCall(&s->start);  // corked: no operation (its tag never comes back)
  s->rw->Read(&s->rep, &s->read);
  s->ops = 1;
  c->streams[token] = s;
  return s;
}

// The stream takes no more batches; its side closes once nothing is left to write.
void Retire_Locked(Stream* s) {
  if (!s->open) return;
  s->open = false;
  auto it = s->c->streams.find(s->token);
  if (it != s->c->streams.end() && it->second == s) s->c->streams.erase(it);
}

// Writes the next message, one at a time; the cancels not yet told go with the last message queued
// (after the calls they name), or on their own. Once nothing is left to write or wait for, a retired
// stream closes its side.
void Write_Locked(Stream* s) {
  if (s->closing || s->ended) {
    s->cancels.clear();  // nothing sent on it waits any more
    return;
  }
  if (!s->cancels.empty()) {
    if (s->out.size() <= (s->writing ? 1u : 0u)) s->out.emplace_back();
    for (int i : s->cancels) s->out.back().req.add_cancel(i);
    s->cancels.clear();
  }
  if (s->writing) return;
  if (!s->out.empty()) {
    Out_Message& m = s->out.front();
    const Clock::time_point now = Clock::now();
    for (size_t k = 0; k < m.ends.size(); ++k)
      if (m.ends[k] != Clock::time_point()) {
        const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(m.ends[k] - now).count();
        m.req.mutable_calls(static_cast<int>(k))->set_timeout_ms(static_cast<int>(std::max(1LL, left)));
        // Its wait ended while the message queued: the server is told not to run it.
        if (left <= 0) m.req.add_cancel(m.req.first() + static_cast<int>(k));
      }
    s->writing = true;
    ++s->ops;
    s->rw->Write(m.req, &s->write);
    return;
  }
  if (!s->open && s->live.empty()) {
    s->closing = true;
    ++s->ops;
    s->rw->WritesDone(&s->close);
  }
}

// Sends what is pending (the calls with the first one's token, as many as a message takes) as one
// batch on the token's stream.
void Take_Pending_Locked(Channel* c) {
  if (c->pending.empty()) return;
  if (c->batch_off) {
    // The server has no call streams: what waits goes on its own (woken under the lock: this
    // happens once, when a stream meets such a server).
    std::vector<Entry*> alone(c->pending.begin(), c->pending.end());
    c->pending.clear();
    for (Entry* e : alone) e->state = Entry::kAlone_Again;
    Wake(alone);
    return;
  }
  const std::string token = Text(c->pending.front()->call->token);
  Stream* s = Stream_For_Locked(c, token);
  Out_Message& m = s->out.emplace_back();
  zem::link::CallBatchRequest& req = m.req;
  req.set_first(s->next);
  int taken = 0;
  long long bytes = 1024;
  for (auto it = c->pending.begin(); it != c->pending.end() && taken < kBatch_Calls;) {
    Entry* e = *it;
    const Link_Call* call = e->call;
    if (Text(call->token) != token) {
      ++it;
      continue;
    }
    const int len = call->pack && call->pack_len > 0 ? call->pack_len : 0;
    const long long need = len + static_cast<long long>(std::strlen(call->name)) + 32;
    if (taken > 0 && bytes + need > c->max_message) break;
    bytes += need;
    zem::link::BatchCall* bc = req.add_calls();
    zem::link::CallRequest* r = bc->mutable_call();
    r->set_name(call->name);
    if (len > 0) r->set_pack(call->pack, static_cast<size_t>(len));
    r->set_wait(call->wait != 0);
    m.ends.push_back(call->deadline_ms > 0 ? e->start + std::chrono::milliseconds(call->deadline_ms) : Clock::time_point());
    e->state = Entry::kSent;
    e->stream = s;
    e->index = s->next++;
    s->live[e->index] = e;
    ++taken;
    it = c->pending.erase(it);
  }
  c->in_air += taken;
  s->idle_since = Clock::time_point();
  if (s->next >= kRetire_Index) Retire_Locked(s);
  Write_Locked(s);
}

// Notes when a stream has nothing sent on it waiting and nothing to write (the channel's thread closes
// it once that lasted kIdle; a retired one closes at once).
void Close_If_Idle_Locked(Stream* s) {
  const bool idle = s->live.empty() && s->out.empty() && !s->writing;
  if (!idle) {
    s->idle_since = Clock::time_point();
  } else if (!s->open) {
    Write_Locked(s);  // retired: its side closes now
  } else if (s->idle_since == Clock::time_point()) {
    s->idle_since = Clock::now();
  }
}

// Closes the channel's streams idle for kIdle; gives when to look again (max: none is idle).
Clock::time_point Close_Idle_Locked(Channel* c, Clock::time_point now) {
  Clock::time_point next = Clock::time_point::max();
  std::vector<Stream*> due;
  for (auto& [token, s] : c->streams) {
    if (s->idle_since == Clock::time_point()) continue;
    if (now - s->idle_since >= kIdle) due.push_back(s);
    else next = std::min(next, s->idle_since + kIdle);
  }
  for (Stream* s : due) {
    Retire_Locked(s);
    Write_Locked(s);
  }
  return next;
}

// A call sent leaves the air (answered, failed or given up).
void Leave_Air_Locked(Channel* c) { --c->in_air; }

// What is pending leaves once it is as many calls as are in the air: the calls answered while a batch
// runs make up the next one, so that two batches take turns (one runs on the server while the
// other's callers take their answers and call again) instead of one large batch and a few small.
void Send_If_Due_Locked(Channel* c) {
  while (!c->pending.empty() && c->pending.size() >= static_cast<size_t>(c->in_air)) {
    const size_t before = c->pending.size();
    Take_Pending_Locked(c);  // one token's calls, up to a message's worth
    if (c->pending.size() == before) break;
  }
}

// The answers of one message to their callers.
void Deliver_Locked(Stream* s, std::vector<Entry*>* woken) {
  for (zem::link::BatchAnswer& a : *s->rep.mutable_answers()) {
    auto it = s->live.find(a.index());
    if (it == s->live.end()) continue;  // given up meanwhile
    Entry* e = it->second;
    s->live.erase(it);
    e->state = Entry::kAnswered;
    if (a.status() != 0) {
      e->status = grpc::Status(static_cast<grpc::StatusCode>(a.status()), a.status_message());
    } else {
      e->answer = std::make_unique<zem::link::CallReply>();
      e->answer->Swap(a.mutable_reply());
    }
    woken->push_back(e);
    Leave_Air_Locked(s->c);
  }
  Send_If_Due_Locked(s->c);
  Close_If_Idle_Locked(s);
}

// The stream ended: callers still waiting get its status (or go again on their own when the server
// has no call streams).
void End_Locked(Stream* s, std::vector<Entry*>* woken) {
  Channel* c = s->c;
  const bool absent = s->status.error_code() == grpc::StatusCode::UNIMPLEMENTED;
  if (absent) c->batch_off = true;
  const grpc::Status status =
      s->status.ok() ? grpc::Status(grpc::StatusCode::UNAVAILABLE, "the server ended the batch without this call's answer")
                     : s->status;
  std::vector<Entry*> left;
  for (auto& [i, e] : s->live) left.push_back(e);
  s->live.clear();
  for (Entry* e : left) {
    e->state = absent ? Entry::kAlone_Again : Entry::kAnswered;
    e->status = status;
    woken->push_back(e);
    Leave_Air_Locked(c);
  }
  Send_If_Due_Locked(c);
  s->cancels.clear();
}

// The channel's thread that drives its streams.
void Drive(Channel* c) {
  void* tag = nullptr;
  bool ok = false;
  std::vector<Entry*> woken;
  Clock::time_point look = Clock::time_point::max();  // when an idle stream is due to close
  for (;;) {
    grpc::CompletionQueue::NextStatus n;
    if (look == Clock::time_point::max()) {
      n = c->batch_queue.Next(&tag, &ok) ? grpc::CompletionQueue::GOT_EVENT : grpc::CompletionQueue::SHUTDOWN;
    } else {
      n = c->batch_queue.AsyncNext(&tag, &ok, std::chrono::system_clock::now() + (look - Clock::now()));
    }
    if (n == grpc::CompletionQueue::SHUTDOWN) return;
    if (n == grpc::CompletionQueue::TIMEOUT) {
      std::lock_guard<std::mutex> g(c->batch_lock);
      look = Close_Idle_Locked(c, Clock::now());
      continue;
    }
    auto* op = static_cast<Stream::Op*>(tag);
    Stream* s = op->stream;
    bool gone;
    woken.clear();
    {
      std::lock_guard<std::mutex> g(c->batch_lock);
      --s->ops;
      switch (op->kind) {
        case Stream::Op::kStart:
        case Stream::Op::kClose: break;
        case Stream::Op::kWrite:
          s->writing = false;
          if (!s->out.empty()) s->out.pop_front();
          if (ok) {
            Write_Locked(s);
            Close_If_Idle_Locked(s);
          } else {
            // The stream broke: its read ends too, and the next batch opens another.
            Retire_Locked(s);
          }
          break;
        case Stream::Op::kRead:
          if (ok) {
            Deliver_Locked(s, &woken);
            s->rep.Clear();
            ++s->ops;
            s->rw->Read(&s->rep, &s->read);
          } else {
            Retire_Locked(s);
            s->closing = true;  // nothing more is written once Finish is asked for
            ++s->ops;
            s->rw->Finish(&s->status, &s->finish);
          }
          break;
        case Stream::Op::kFinish:
          s->ended = true;
          End_Locked(s, &woken);
          break;
      }
      gone = s->ended && s->ops == 0;
      look = Close_Idle_Locked(c, Clock::now());
    }
    Wake(woken);
    if (gone) delete s;
  }
}

// Ends the wait of a call sent in a batch (its caller's 取消 or deadline): the server is told that its
// caller gave up.
void Give_Up_Locked(Channel* c, Entry* e) {
  Stream* s = e->stream;
  s->live.erase(e->index);
  s->cancels.push_back(e->index);
  Write_Locked(s);
  Leave_Air_Locked(c);
  Send_If_Due_Locked(c);
  Close_If_Idle_Locked(s);
}

// A call of its own that the caller counted in the channel's in_air: once it is answered, what is
// pending leaves as a batch.
int Run_Counted(Channel* c, const Link_Call* call, Link_Reply* reply) {
  const int rc = Run_Single(c, call, reply);
  std::lock_guard<std::mutex> g(c->batch_lock);
  Leave_Air_Locked(c);
  Send_If_Due_Locked(c);
  return rc;
}

// Waits for a call that travels in a batch: in slices, calling the hook between them as a call of its
// own does; the first pending call sends what is pending once it has waited kHold.
int Wait_Batched(Channel* c, Entry& e, Link_Reply* reply) {
  const Link_Call* call = e.call;
  const auto slice = std::chrono::milliseconds(call->slice_ms > 0 ? call->slice_ms : 50);
  Clock::time_point next_hook = e.start + slice;
  bool pending = true;  // as far as this thread knows
  for (;;) {
    Clock::time_point until = next_hook;
    if (pending) until = std::min(until, e.queued + kHold);
    if (call->deadline_ms > 0) until = std::min(until, e.start + std::chrono::milliseconds(call->deadline_ms));
    if (Wait_Done(e, until)) break;
    std::unique_lock<std::mutex> l(c->batch_lock);
    // Answered meanwhile: its waker is on its way.
    if (e.state == Entry::kAnswered || e.state == Entry::kAlone_Again) {
      l.unlock();
      Wait_Done(e, Clock::time_point::max());
      break;
    }
    pending = e.state == Entry::kPending;
    const Clock::time_point now = Clock::now();
    if (pending && now >= e.queued + kHold) {
      Take_Pending_Locked(c);  // takes this call with the others, unless another token's went first
      pending = e.state == Entry::kPending;
      continue;
    }
    bool give_up = false, cancelled = false;
    if (call->deadline_ms > 0 && now >= e.start + std::chrono::milliseconds(call->deadline_ms)) {
      give_up = true;
    } else if (now >= next_hook) {
      next_hook = now + slice;
      if (call->hook) {
        const int elapsed = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now - e.start).count());
        l.unlock();
        const int go_on = call->hook(call->hook_arg, elapsed);
        l.lock();
        if (!go_on && e.state != Entry::kAnswered && e.state != Entry::kAlone_Again) give_up = cancelled = true;
      }
    }
    if (!give_up) continue;
    if (e.state == Entry::kPending) {
      for (auto it = c->pending.begin(); it != c->pending.end(); ++it)
        if (*it == &e) {
          c->pending.erase(it);
          break;
        }
    } else {
      Give_Up_Locked(c, &e);
    }
    l.unlock();
    return Fail_Reply(c, grpc::Status(cancelled ? grpc::StatusCode::CANCELLED : grpc::StatusCode::DEADLINE_EXCEEDED, ""),
                      cancelled, call, reply);
  }
  // Done: the state is final and no one touches the entry any more.
  if (e.state == Entry::kAlone_Again) {
    {
      std::lock_guard<std::mutex> g(c->batch_lock);
      ++c->in_air;
    }
    return Run_Counted(c, call, reply);
  }
  if (!e.status.ok()) return Fail_Reply(c, e.status, false, call, reply);
  return Ok_Reply(std::move(e.answer), reply);
}

int Run_Call(Channel* c, const Link_Call* call, Link_Reply* reply) {
  if (call->pack_len > kBatch_Pack) return Run_Single(c, call, reply);
  Entry e;
  e.call = call;
  e.start = e.queued = Clock::now();
  {
    std::unique_lock<std::mutex> l(c->batch_lock);
    if (c->batch_off || c->in_air < kAlone) {
      ++c->in_air;
      l.unlock();
      return Run_Counted(c, call, reply);
    }
    c->pending.push_back(&e);
    Send_If_Due_Locked(c);
  }
  return Wait_Batched(c, e, reply);
}

// A notice stream kept open by a thread of its own until Stop.
class Watch {
 public:
  Watch(Channel* c, std::string token, Link_Watch_Fn fn, void* arg)
      : c_(c), token_(std::move(token)), fn_(fn), arg_(arg), thread_(&Watch::Run, this) {}

  void Stop() {
    {
      std::lock_guard<std::mutex> g(lock_);
      stop_ = true;
      if (ctx_) ctx_->TryCancel();
    }
    wake_.notify_all();
    thread_.join();
  }

 private:
  void Run() {
    auto pause = std::chrono::seconds(1);
    for (;;) {
      grpc::ClientContext ctx;
      if (!token_.empty()) ctx.AddMetadata("authorization", "Bearer " + token_);
      // Waits for the server while it is away (gRPC reconnects with its back-off) instead of failing.
      ctx.set_wait_for_ready(true);
      {
        std::lock_guard<std::mutex> g(lock_);
        if (stop_) return;
        ctx_ = &ctx;
      }
      std::unique_ptr<grpc::ClientReader<zem::link::Notice>> reader = c_->stub->Watch(&ctx, zem::link::WatchRequest());
      bool up = false;
      zem::link::Notice n;
      while (reader->Read(&n)) {
        if (n.channel().empty()) {  // the server's opening message: the stream stands
          up = true;
          fn_(arg_, LINK_WATCH_UP, "", "");
          continue;
        }
        fn_(arg_, LINK_WATCH_NOTICE, n.channel().c_str(), n.id().c_str());
      }
      grpc::Status s = reader->Finish();
      {
        std::lock_guard<std::mutex> g(lock_);
        ctx_ = nullptr;
        if (stop_) return;
      }
      fn_(arg_, LINK_WATCH_DOWN, "", Status_Text(c_, s).c_str());
      // A stream that stood is opened again at once; a refused one (a token the server does not take)
      // is tried again after a growing pause, so a misconfigured client does not hammer the server.
      pause = up ? std::chrono::seconds(1) : std::min<std::chrono::seconds>(pause * 2, std::chrono::seconds(30));
      std::unique_lock<std::mutex> l(lock_);
      if (wake_.wait_for(l, up ? std::chrono::seconds(0) : pause, [this] { return stop_; })) return;
    }
  }

  Channel* c_;
  std::string token_;
  Link_Watch_Fn fn_;
  void* arg_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool stop_ = false;
  grpc::ClientContext* ctx_ = nullptr;  // the open stream's, for Stop
  std::thread thread_;                  // last: starts once the rest is made
};

}  // namespace

LINK_API void* _Link_Open_Handle(const Link_Target* target, char* error, int error_len) {
  if (!target) return nullptr;
  std::string why;
  Channel* c = Open(*target, &why);
  if (!c) Put(error, error_len, why);
  return c;
}

LINK_API int _Link_Call_Handle(void* channel, const Link_Call* call, Link_Reply* reply) {
  if (!reply) return LINK_FAILED;
  std::memset(reply, 0, sizeof *reply);
  if (!channel || !call || !call->name || !*call->name) {
    reply->status = LINK_FAILED;
    Put(reply->message, sizeof reply->message, "a call needs a channel and a name");
    return reply->status;
  }
  return Run_Call(static_cast<Channel*>(channel), call, reply);
}

LINK_API void _Link_Reply_Free_Handle(Link_Reply* reply) {
  if (!reply) return;
  delete static_cast<zem::link::CallReply*>(reply->owner);
  reply->owner = nullptr;
  reply->pack = nullptr;
  reply->pack_len = 0;
}

LINK_API void* _Link_Watch_Handle(void* channel, const char* token, Link_Watch_Fn fn, void* arg) {
  if (!channel || !fn) return nullptr;
  return new Watch(static_cast<Channel*>(channel), Text(token), fn, arg);
}

LINK_API void _Link_Watch_Stop_Handle(void* watch) {
  auto* w = static_cast<Watch*>(watch);
  if (!w) return;
  w->Stop();
  delete w;
}
