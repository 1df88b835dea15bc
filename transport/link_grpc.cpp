// zem_link_grpc.so: the middleware link's client over gRPC (the interface in core/data/link_transport.h).
//
// One channel per target, shared by every thread and every caller of the process; gRPC keeps its
// connections, reconnects with back-off (1 s growing to 30 s) and, for a name with several addresses,
// spreads the calls round robin. Calls fail at once while no address can be reached, so a vanished
// server costs a caller no wait. Keepalive pings find a server that vanished without closing its
// connection (a cable, a frozen machine) while a notice stream is idle.
#include <absl/synchronization/mutex.h>
#include <grpcpp/grpcpp.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "core/data/link_transport.h"
#include "transport/link_address.h"
#include "transport/zem_link.grpc.pb.h"

#define LINK_API extern "C" __attribute__((visibility("default")))

namespace {

using Clock = std::chrono::steady_clock;

struct Channel {
  std::string address;
  bool insecure = false;
  std::shared_ptr<grpc::Channel> channel;
  std::unique_ptr<zem::link::AppServer::Stub> stub;
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

int Run_Call(Channel* c, const Link_Call* call, Link_Reply* reply) {
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

  reply->status = Status_Kind(status, cancelled);
  if (reply->status != LINK_OK) {
    if (reply->status == LINK_TIMEOUT)
      Put(reply->message, sizeof reply->message, "no answer within " + std::to_string(call->deadline_ms) + " ms");
    else if (reply->status == LINK_CANCELLED)
      Put(reply->message, sizeof reply->message, "cancelled while waiting for the answer");
    else
      Put(reply->message, sizeof reply->message, Status_Text(c, status));
    return reply->status;
  }
  reply->result = rep->result();
  Put(reply->message, sizeof reply->message, rep->message());
  reply->pack = rep->pack().data();
  reply->pack_len = static_cast<int>(rep->pack().size());
  reply->owner = rep.release();
  return LINK_OK;
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
