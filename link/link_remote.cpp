// R_Call in remote mode: the call goes to the application server through the transport library
// (core/data/link_transport.h), loaded once per process on first use.
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "core/data/db_connect.h"
#include "core/data/link_transport.h"
#include "core/data/para.h"
#include "core/text/code_page.h"
#include "frame/host_funcs.h"
#include "frame/log_mgr.h"
#include "frame/pub_ptr.h"
#include "frame/singleton.h"
#include "frame/t_dll.h"
#include "frame/thr_err.h"
#include "frame/wait.h"
#include "link/r_call.h"

namespace {

constexpr char kTransport_Base[] = "zem_link_grpc";
// How often the waiting thread looks at the host's wait box: its window paints at this pace.
constexpr int kSlice_Ms = 25;

struct Transport {
  T_Dll dll;
  Link_Open_Fn open = nullptr;
  Link_Call_Fn call = nullptr;
  Link_Reply_Free_Fn free_reply = nullptr;
  Link_Watch_Start_Fn watch = nullptr;
  Link_Watch_Stop_Fn watch_stop = nullptr;
  std::string error;  // why it could not be loaded; empty once loaded
};

// The transport, loaded on first use; its failure is kept (and told at every call).
Transport& The_Transport() {
  static Transport* t = [] {
    auto* tr = new Transport();
    char path[1024];
    Dll_Get_File_Name(kTransport_Base, path);
    if (!tr->dll.Load(path)) {
      tr->error = std::string("no remote transport: unable to load ") + path;
      return tr;
    }
    tr->open = reinterpret_cast<Link_Open_Fn>(tr->dll.Get_Ptr("Link_Open_Handle"));
    tr->call = reinterpret_cast<Link_Call_Fn>(tr->dll.Get_Ptr("Link_Call_Handle"));
    tr->free_reply = reinterpret_cast<Link_Reply_Free_Fn>(tr->dll.Get_Ptr("Link_Reply_Free_Handle"));
    tr->watch = reinterpret_cast<Link_Watch_Start_Fn>(tr->dll.Get_Ptr("Link_Watch_Handle"));
    tr->watch_stop = reinterpret_cast<Link_Watch_Stop_Fn>(tr->dll.Get_Ptr("Link_Watch_Stop_Handle"));
    if (!tr->open || !tr->call || !tr->free_reply || !tr->watch || !tr->watch_stop)
      tr->error = std::string("no remote transport: ") + path + " lacks an entry point";
    return tr;
  }();
  return *t;
}

// A public text parameter as UTF-8 ("" when unset).
std::string Param(const char16_t* name) {
  wchar16 buf[2048];  // the getter ends what it writes with a NUL; read at every call, so not cleared
  if (!Pub_Para_Get_WStr(name, buf, 2048)) return "";
  return Zem_W_To_Utf8(buf);
}

int Param_Int(const char16_t* name, int dflt) {
  int v = dflt;
  return Pub_Para_Get_Int(name, &v) ? v : dflt;
}

// The server's settings as the public parameters give them now.
struct Settings {
  std::string address, ca, cert, key, tls_name, token;
  int insecure = 0;
  int max_message = kLink_Default_Max_Message;

  void Read() {
    address = Param(u"app_server");
    ca = Param(u"app_server_ca");
    cert = Param(u"app_server_cert");
    key = Param(u"app_server_key");
    tls_name = Param(u"app_server_tls_name");
    token = Param(u"app_server_token");
    insecure = Param_Int(u"app_server_insecure", 0);
    max_message = Param_Int(u"app_server_max_message", kLink_Default_Max_Message);
    if (max_message <= 0) max_message = kLink_Default_Max_Message;
  }
  Link_Target Target() const {
    Link_Target t{};
    t.address = address.c_str();
    t.ca_file = ca.c_str();
    t.cert_file = cert.c_str();
    t.key_file = key.c_str();
    t.tls_name = tls_name.c_str();
    t.insecure = insecure;
    t.max_message = max_message;
    return t;
  }
};

// The channel of the settings: the transport shares one per target; opening an equal one again only
// finds it, so the parameters may change between calls. Each thread keeps the last one it had, so
// that calls with unchanged settings do not meet in the transport's lock.
void* Channel(const Settings& s, std::string* error);

void* Thread_Channel(const Settings& s, std::string* error) {
  thread_local std::string key;
  thread_local void* channel = nullptr;
  const std::string now = s.address + '\n' + s.ca + '\n' + s.cert + '\n' + s.key + '\n' + s.tls_name + '\n' +
                          std::to_string(s.insecure) + '\n' + std::to_string(s.max_message);
  if (channel && now == key) return channel;
  channel = Channel(s, error);
  key = channel ? now : std::string();
  return channel;
}

void* Channel(const Settings& s, std::string* error) {
  if (s.address.empty()) {
    *error = "no application server: the public parameter app_server is not set";
    return nullptr;
  }
  Transport& t = The_Transport();
  if (!t.error.empty()) {
    *error = t.error;
    return nullptr;
  }
  char why[512] = {0};
  Link_Target target = s.Target();
  void* ch = t.open(&target, why, sizeof why);
  if (!ch) *error = std::string("application server ") + s.address + ": " + why;
  return ch;
}

// A remote call's wait, shown as the database's waits are (frame/wait.h): between the transport's
// slices the host's wait box handles what is pending (the window paints), appears once the call has
// waited long enough, and takes the user's cancel.
struct Call_Wait {
  Zem_Wait wait;
  std::u16string detail;  // the call and the server, the box's second line
};

int Wait_Detail(void* ctx, char16_t* buf, int cap) {
  const std::u16string& d = static_cast<Call_Wait*>(ctx)->detail;
  const int n = static_cast<int>(d.size()) < cap - 1 ? static_cast<int>(d.size()) : cap - 1;
  for (int i = 0; i < n; ++i) buf[i] = d[static_cast<size_t>(i)];
  buf[n] = 0;
  return n;
}

int Wait_Hook(void* arg, int /*elapsed_ms*/) {
  return Zem_Wait_Run(&static_cast<Call_Wait*>(arg)->wait, ZEM_WAIT_TICK) != ZEM_WAIT_CANCELLED;
}

int Fail(const char* name, int code, const std::string& text) {
  Thr_Err_Mgr()->Set_Err(code, text.c_str());
  Log_Printf("*** fail to call %s: %s\n", name, text.c_str());
  return code;
}

// What the user is told beside the technical text. The server may have done a call whose answer never
// came (it rolls back one whose client gave up, unless its commit came first): such sentences say
// where to look.
constexpr char16_t kMaybe_Done[] = u"（服务器若已完成这次操作，刷新后可见）";

// The reply's pack into *pack, which is emptied first. A large reply (a dictionary's rows) is read where
// it lies: its big values refer to the reply's bytes, and the pack keeps the reply (*reply's owner
// becomes null) until it is reset or gone. A small one is copied and the reply stays the caller's.
bool Take_Reply_Pack(Transport& t, Link_Reply* reply, TParaMgr* pack) {
  pack->Reset_Para();
  const size_t len = reply->pack_len > 0 ? static_cast<size_t>(reply->pack_len) : 0;
  if (len < static_cast<size_t>(TParaMgr::kRefer_Min) || !reply->owner) return pack->Unpack_Para(reply->pack, len) != 0;
  Link_Reply_Free_Fn free_reply = t.free_reply;
  std::shared_ptr<Link_Reply> kept(new Link_Reply(*reply), [free_reply](Link_Reply* r) {
    free_reply(r);
    delete r;
  });
  reply->owner = nullptr;
  pack->Hold(kept);
  return pack->Unpack_Para_Refer(kept->pack, len) != 0;
}

std::u16string No_Answer_In(int ms) {
  return u"应用服务器在 " + Zem_Utf8_To_W(std::to_string((ms + 999) / 1000)) + u" 秒内没有回答，已不再等待" + kMaybe_Done;
}

}  // namespace

int R_Call_Remote(const char* name, TParaMgr* pack, int wait, std::u16string* user_msg) {
  Settings s;
  s.Read();
  std::string error;
  void* ch = Thread_Channel(s, &error);
  if (!ch) {
    *user_msg = u"无法使用应用服务器：连接设置不完整或有误（详见日志，请告知管理员）";
    return Fail(name, -1, error);
  }

  int len = 0;
  void* bytes = pack->Pack_Para(&len, 0);
  if (!bytes) {
    *user_msg = u"这次调用的数据无法发送，没有发出（详见日志）";
    return Fail(name, -1, "the call's parameters do not pack");
  }
  if (len > s.max_message) {
    std::free(bytes);
    *user_msg = u"这次调用的数据超过应用服务器允许的大小，没有发出";
    return Fail(name, -1, "the parameters of " + std::string(name) + " take " + std::to_string(len) +
                              " bytes, over the " + std::to_string(s.max_message) + "-byte message limit");
  }
  Call_Wait shown;
  Zem_Wait_Begin(&shown.wait, u"正在等待应用服务器…", Db_Statement_Timeout_Ms());
  shown.detail = Zem_Utf8_To_W(std::string(name) + " @ " + s.address);
  shown.wait.detail = Wait_Detail;
  shown.wait.ctx = &shown;
  Link_Call call{};
  call.name = name;
  call.pack = bytes;
  call.pack_len = len;
  call.wait = wait ? 1 : 0;
  call.token = s.token.c_str();
  call.deadline_ms = Db_Statement_Timeout_Ms();
  call.slice_ms = kSlice_Ms;
  call.hook = Wait_Hook;
  call.hook_arg = &shown;
  Link_Reply reply;
  Transport& t = The_Transport();
  t.call(ch, &call, &reply);
  Zem_Wait_End(&shown.wait);
  std::free(bytes);

  const std::string where = "application server " + s.address;
  int code = 0;
  switch (reply.status) {
    case LINK_OK:
      if (wait && !Take_Reply_Pack(t, &reply, pack)) {
        *user_msg = std::u16string(u"应用服务器的回答无法读取") + kMaybe_Done;
        code = Fail(name, -1, where + ": the reply to " + name + " does not unpack");
      } else if (reply.result != 0) {
        // The function's own error, as a local call would leave it.
        Thr_Err_Mgr()->Set_Err(reply.result, reply.message);
        code = reply.result;
      }
      break;
    case LINK_UNREACHABLE:
      *user_msg = u"无法连接应用服务器，这次操作没有完成";
      code = Fail(name, R_CALL_UNREACHABLE, where + " unreachable: " + reply.message);
      break;
    case LINK_TIMEOUT:
      *user_msg = No_Answer_In(call.deadline_ms);
      code = Fail(name, R_CALL_TIMEOUT, where + ": " + reply.message + " to " + name);
      break;
    case LINK_CANCELLED:
      *user_msg = std::u16string(u"已取消：不再等待应用服务器的回答") + kMaybe_Done;
      code = Fail(name, R_CALL_TIMEOUT, where + ": " + name + " " + reply.message);
      break;
    case LINK_REFUSED:
      *user_msg = u"应用服务器拒绝了这次调用（详见日志，请告知管理员）";
      code = Fail(name, -1, where + " refused " + name + ": " + reply.message);
      break;
    default:
      *user_msg = std::u16string(u"应用服务器没有完成这次调用（详见日志）");
      code = Fail(name, -1, where + ": " + name + " failed: " + reply.message);
      break;
  }
  if (reply.owner) t.free_reply(&reply);
  return code;
}

// ---- the notice stream -----------------------------------------------------------------------------
namespace {

std::mutex g_watch_lock;
void* g_watch = nullptr;
R_Call_Notice_Fn g_notice_fn = nullptr;

void On_Watch(void* /*arg*/, int event, const char* channel, const char* payload) {
  if (R_Call_Notice_Fn fn = __atomic_load_n(&g_notice_fn, __ATOMIC_ACQUIRE)) fn(event, channel, payload);
}

}  // namespace

int R_Call_Watch_Start(R_Call_Notice_Fn fn) {
  std::lock_guard<std::mutex> g(g_watch_lock);
  if (g_watch) return 1;
  Settings s;
  s.Read();
  std::string error;
  void* ch = Channel(s, &error);
  if (!ch) {
    Log_Printf("link: cannot follow the server's notices: %s\n", error.c_str());
    return 0;
  }
  __atomic_store_n(&g_notice_fn, fn, __ATOMIC_RELEASE);
  g_watch = The_Transport().watch(ch, s.token.c_str(), On_Watch, nullptr);
  if (!g_watch) Log_Printf("link: cannot follow the notices of %s\n", s.address.c_str());
  return g_watch ? 1 : 0;
}

void R_Call_Watch_Stop() {
  std::lock_guard<std::mutex> g(g_watch_lock);
  if (!g_watch) return;
  The_Transport().watch_stop(g_watch);
  g_watch = nullptr;
  __atomic_store_n(&g_notice_fn, static_cast<R_Call_Notice_Fn>(nullptr), __ATOMIC_RELEASE);
}
