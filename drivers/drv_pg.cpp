// zem_drv_pg.so: the driver entry points over a PostgreSQL server (libpq).
//
// Connection: text1 is a libpq connection string ("host=... port=... dbname=..."); the other texts,
// the kind and the option are not used. The client encoding is UTF-8.
//
// Transactions. Writes run in a transaction the driver opens at the first statement that writes and
// that Commit/Rollback, or the texts "commit"/"rollback", end. Reads outside it run on their own and
// leave nothing open: a statement that opened the transaction but wrote nothing (no transaction id
// was assigned: "show ...", a read the first word did not give away) ends it at once, unless it is
// one that only means something inside a transaction (lock, declare, savepoint, set local). Inside
// the transaction every statement runs behind a savepoint, so a failing statement is undone alone and
// the statements before it stay, as on other databases, instead of the whole transaction turning
// bad; a failing statement that opened the transaction ends it. Errors arrive as the SQLSTATE (all
// digits: that number; otherwise read in base 36) and the server's message prefixed by the state.
//
// Lost connections are answered with a message beginning "ConnectionWrite", which makes the session
// reconnect at its next call, and code 8006 (the state 08006); 8007 when a transaction of earlier
// calls was open on it and went with it, also when that happened while a failed statement was undone
// (its own error then follows in the message). An undo that had to roll back the whole transaction on
// a connection that stayed reports 8007 too, and the next commit fails with that news. Lost during a commit, the message says that the outcome is
// unknown (8006). A connection found lost before the call ran anything on it (the server restarted
// while the session was idle), with no transaction of earlier calls open, is marked so in tag 3
// (DB_END_LOST_IDLE): the session may run the call again on a fresh connection.
//
// One deadline per call. Every entry call (a statement, a procedure, a row selection, a whole batch,
// a commit) has one bound, tag 2 of its data set, covering all of its round trips. The driver talks
// to the server without blocking (libpq's asynchronous calls): one function sends a request (Send),
// another waits for its answer (Await_Result), the socket waited on through the waiting function the
// loading module handed over (_Set_Wait_Handle, frame/wait.h): on the user-interface thread the host's
// event loop runs (the window paints) and after 500 ms a box "正在等待数据库…" with the time waited and
// 取消 shows; elsewhere poll(2). A parameterised request goes through the same pair: Send with
// PQsendQueryParams, then Await_Result.
// - When the deadline passes, or the user cancels, the statement is cancelled on the server (the
//   cancel request goes from a thread of its own: libpq waits for the server to take it, and a server
//   that stopped answering must not hold the caller there) and its answer is awaited a little longer
//   (1 s after the deadline, 150 ms after the user's cancel), as is the server's taking of the cancel
//   (so that it cannot stop the next statement). A server that answers gives "57014: statement
//   timeout ..." or "57014: cancelled by the user ..." and the work of the call is undone (back to
//   its savepoint, or the transaction it opened is rolled back): the session goes on. A silent one
//   loses the session ("ConnectionWrite: no answer ...", "... did not take the cancel ..."); nothing
//   is committed either way. Tag 3 says which (DB_END_TIMEOUT, DB_END_CANCELLED).
// - A statement that has waited a second asks the server, on a connection of its own, which sessions
//   block it (pg_blocking_pids): their user and statement become the wait box's second line and a log
//   line.
// - connecting: the host name is looked up first, on a thread of its own, within the connect bound,
//   and the connection then goes to the address found (libpq would look it up inside its connect
//   start, where no bound reaches). The bound is the connection text's connect_timeout, else the
//   call's (tag 2). A server that accepts and never answers gives "连接失败: no answer from ...". TCP
//   keepalives (probes after 30 s of silence, every 10 s, 3 of them) and a 60 s TCP user timeout are
//   added unless the text sets them, so that a peer that vanished is noticed also while a statement
//   waits without a bound.
//
// Change notices belong to the session's schema. The server's channels are database-wide, but
// applications (and test runs) share one database in schemas of their own; a notice of one must not
// reach the others, which would act on it. So a channel is named on the server "<channel>@<schema>",
// the schema being the session's current schema (the first of its search path that exists; empty
// when none does), or "<channel>@<md5 of the schema>" when that name exceeds the server's 63 bytes.
// Listening and sending take the schema at the time of the call; the rows of received notices name
// the channel as the caller listened to it.
#include <arpa/inet.h>
#include <libpq-fe.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "drivers/drv_common.h"
#include "frame/log_mgr.h"

namespace {

// How the last exchange with the server ended: the cancel of the call's deadline or of the user
// answered by the server, or the connection gone.
enum class Fault { None, Timeout, Cancelled, Lost };

struct Probe;

struct Session {
  PGconn* conn = nullptr;  // null once the driver closed it (the server stopped answering)
  std::vector<std::string> keys, vals;  // what it connected with: the blocker probe connects alike
  bool in_tx = false;
  bool savepoint = false;  // "zem_sp" exists in the open transaction
  // The undo of a failed statement had to give up the whole transaction, and earlier calls' work with
  // it, on a connection that stayed: the next commit reports it instead of committing the rest.
  bool tx_lost = false;
  std::vector<wchar16> buf;
  // ---- the running call
  Zem_Wait wait{};          // its deadline and its wait box
  // Once the call was stopped (its deadline, the user's 取消), what is left of it (the cancel's
  // answer awaited, the undo) waits quietly on a bound of its own: the box may not take the user's
  // 取消 for a second one, nor appear afresh.
  Zem_Wait quiet{};
  Zem_Wait* active = &wait;  // the one the round trips wait on
  int bound_ms = 0;         // its bound, <= 0 none
  bool tx_before = false;   // a transaction of earlier calls was open when it began
  bool ran = false;         // a round trip of it was answered: the connection was alive then
  int end = DB_END_NONE;    // how it was stopped (tag 3)
  Fault fault = Fault::None;
  std::string closed_why;    // why the driver closed the connection
  std::string reported;      // the last error reported into the call's data set
  std::shared_ptr<Probe> probe;  // who blocks it, asked once it waited a while
  std::map<std::string, std::string> channels;  // listened to: the server's name -> the caller's
};

const int kDefault_Statement_Ms = 30000;  // a call's bound when its data set carries none
const int kDefault_Connect_Ms = 10000;
const int kTimeout_Grace_Ms = 1000;   // after the deadline: the wait for the cancel's answer
const int kCancel_Grace_Ms = 150;     // after the user's 取消: the same, short, so the call returns at once
const int kCleanup_Ms = 1000;         // the undo of a stopped statement
const int kProbe_After_Ms = 1000;     // a statement waiting this long asks who blocks it

long long Now_Ms() { return Zem_Wait_Now_Ms(); }

// ---- who blocks a waiting statement ------------------------------------------------------------------

// Asked on a connection of its own, made like the session's, about once a second while the statement
// waits. The text is the wait box's second line.
struct Probe {
  std::mutex m;
  std::u16string text;
  std::atomic<bool> stop{false};
};

int Probe_Detail(void* ctx, char16_t* buf, int cap) {
  Probe* p = static_cast<Probe*>(ctx);
  std::lock_guard<std::mutex> g(p->m);
  const int n = std::min(static_cast<int>(p->text.size()), cap - 1);
  if (n < 0) return 0;
  std::copy(p->text.begin(), p->text.begin() + n, buf);
  buf[n] = 0;
  return n;
}

const char* const kBlockers =
    "select a.pid, coalesce(a.usename, ''), coalesce(a.state, ''), "
    "coalesce(left(regexp_replace(a.query, '\\s+', ' ', 'g'), 200), '') "
    "from pg_stat_activity a where a.pid = any(pg_blocking_pids($1::int)) order by a.pid";

// The blockers as the box shows them, and as the log has them.
void Describe_Blockers(PGresult* r, std::string* user_text, std::string* log_text) {
  for (int i = 0; i < PQntuples(r); i++) {
    const std::string pid = PQgetvalue(r, i, 0), user = PQgetvalue(r, i, 1), state = PQgetvalue(r, i, 2);
    const std::string query = PQgetvalue(r, i, 3);
    const char* how = state == "active" ? "正在执行" : state.compare(0, 19, "idle in transaction") == 0 ? "事务尚未结束"
                                                                                                    : state.c_str();
    if (!user_text->empty()) *user_text += "；";
    *user_text += "被用户 " + user + " 的会话（进程 " + pid + "，" + how + "）阻塞" +
                  (query.empty() ? std::string() : "，它的语句：" + query);
    *log_text += (log_text->empty() ? "" : "; ") + std::string("pid ") + pid + " (user " + user + ", " + state +
                 "): " + query;
  }
}

void Run_Probe(std::shared_ptr<Probe> p, std::vector<std::string> keys, std::vector<std::string> vals, int pid) {
  std::vector<const char*> k, v;
  for (size_t i = 0; i < keys.size(); i++) {
    k.push_back(keys[i].c_str());
    v.push_back(vals[i].c_str());
  }
  k.push_back(nullptr);
  v.push_back(nullptr);
  PGconn* c = PQconnectdbParams(k.data(), v.data(), 1);
  if (PQstatus(c) != CONNECTION_OK) {
    PQfinish(c);
    return;
  }
  PQclear(PQexec(c, "set statement_timeout = 2000"));
  const std::string pid_text = std::to_string(pid);
  const char* params[1] = {pid_text.c_str()};
  bool logged = false;
  while (!p->stop) {
    PGresult* r = PQexecParams(c, kBlockers, 1, nullptr, params, nullptr, nullptr, 0);
    if (PQresultStatus(r) != PGRES_TUPLES_OK) {
      PQclear(r);
      break;
    }
    std::string text, log;
    Describe_Blockers(r, &text, &log);
    PQclear(r);
    {
      std::lock_guard<std::mutex> g(p->m);
      p->text = drv::W(text);
    }
    if (!logged && !log.empty()) {
      Log_Printf("pg: backend %d waits for a lock held by %s\n", pid, log.c_str());
      logged = true;
    }
    for (int i = 0; i < 20 && !p->stop; i++) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  PQfinish(c);
}

void Start_Probe(Session* s) {
  if (s->probe) return;  // one per call
  auto p = std::make_shared<Probe>();
  s->probe = p;
  if (!s->conn || s->keys.empty()) return;
  std::vector<std::string> keys = s->keys, vals = s->vals;
  keys.push_back("connect_timeout");
  vals.push_back("2");
  keys.push_back("application_name");
  vals.push_back("zem_drv_pg lock probe");
  try {
    std::thread(Run_Probe, p, keys, vals, PQbackendPID(s->conn)).detach();
  } catch (...) {
    return;  // no thread: the box shows no second line
  }
  s->wait.detail = Probe_Detail;
  s->wait.ctx = p.get();
}

void Stop_Probe(Session* s) {
  if (s->probe) s->probe->stop = true;
  s->probe.reset();
  s->wait.detail = nullptr;
  s->wait.ctx = nullptr;
}

// ---- waiting for the server -------------------------------------------------------------------------

// The driver gives up a connection whose server stopped answering.
void Close(Session* s, const std::string& why) {
  PQfinish(s->conn);
  s->conn = nullptr;
  s->closed_why = why;
  s->fault = Fault::Lost;
}

// Drives the connection until a whole answer can be taken, waiting through the waiting function.
// 1 ready, 0 the deadline passed, -1 connection lost, -2 the user cancelled. probe: a long wait asks
// who blocks it.
int Await(Session* s, bool probe) {
  PGconn* conn = s->conn;
  Zem_Wait* w = s->active;
  for (;;) {
    int f = PQflush(conn);
    if (f < 0) return -1;
    if (f == 0 && !PQisBusy(conn)) return 1;
    w->fd = PQsocket(conn);
    if (w->fd < 0) return -1;
    w->events = static_cast<short>(POLLIN | (f == 1 ? POLLOUT : 0));
    w->until_ms = probe && !s->probe && w == &s->wait ? w->started_ms + kProbe_After_Ms : 0;
    switch (drv::Wait_Fn()(w, ZEM_WAIT_STEP)) {
      case ZEM_WAIT_READY:
        if (!PQconsumeInput(conn)) return -1;  // read only once the socket has something
        break;
      case ZEM_WAIT_AGAIN:
        if (w->until_ms > 0) Start_Probe(s);
        break;
      case ZEM_WAIT_TIMEOUT: return 0;
      case ZEM_WAIT_CANCELLED: return -2;
      default:
        // The statement may still run on the server, and the connection is mid-request: given up.
        Close(s, std::string("waiting for the server failed: ") + std::strerror(errno) + "; the connection was closed");
        return -1;
    }
  }
}

// A cancel request on its way to the server; done once the server took it (or refused it), or when
// none could be sent.
struct Cancel_Request {
  std::mutex m;
  bool done = false;
};

// Asks the server to cancel the running statement, from a thread of its own (see the top).
std::shared_ptr<Cancel_Request> Cancel_Detached(PGconn* conn) {
  auto req = std::make_shared<Cancel_Request>();
  PGcancel* c = PQgetCancel(conn);
  if (!c) {
    req->done = true;
    return req;
  }
  try {
    std::thread([c, req] {
      char err[256];
      PQcancel(c, err, sizeof err);
      PQfreeCancel(c);
      std::lock_guard<std::mutex> g(req->m);
      req->done = true;
    }).detach();
  } catch (...) {
    PQfreeCancel(c);  // no thread: the answer is awaited all the same
    req->done = true;
  }
  return req;
}

int Cancel_Done(void* ctx) {
  Cancel_Request* req = static_cast<Cancel_Request*>(ctx);
  std::lock_guard<std::mutex> g(req->m);
  return req->done ? 1 : 0;
}

// Whether the server took the cancel by the deadline (monotonic ms). Waited for through the waiting
// function, quietly (no box): on the user-interface thread the window keeps painting meanwhile.
bool Cancel_Taken(Cancel_Request* req, long long deadline_ms) {
  const long long left = deadline_ms - Now_Ms();
  if (left <= 0 || Cancel_Done(req)) return Cancel_Done(req) != 0;
  Zem_Wait w;
  Zem_Wait_Begin(&w, drv::Waiting_Title(), static_cast<int>(std::min<long long>(left, INT_MAX)));
  w.show_after_ms = INT_MAX;
  w.done = Cancel_Done;
  w.ctx = req;
  w.fd = -1;
  int r = ZEM_WAIT_AGAIN;
  while (r == ZEM_WAIT_AGAIN) r = drv::Wait_Fn()(&w, ZEM_WAIT_STEP);
  drv::Wait_Fn()(&w, ZEM_WAIT_END);
  return Cancel_Done(req) != 0;
}

bool Is_State(PGresult* r, const char* state) {
  const char* st = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
  return st && std::strcmp(st, state) == 0;
}

bool Lost(Session* s) { return !s->conn || PQstatus(s->conn) == CONNECTION_BAD; }

// What is left of a stopped call waits quietly, at most ms more (see Session::quiet).
void Go_Quiet(Session* s, int ms) {
  if (s->active != &s->quiet) {
    Zem_Wait_Begin(&s->quiet, drv::Waiting_Title(), ms);
    s->quiet.show_after_ms = INT_MAX;
    s->active = &s->quiet;
  } else {
    s->quiet.deadline_ms = Now_Ms() + ms;
  }
}

// The seconds the running call has waited, for messages.
std::string Waited_Text(Session* s) { return drv::Seconds_Text(static_cast<int>(Now_Ms() - s->wait.started_ms)); }

// Why a stopped statement's connection was given up.
std::string Stop_Text(Session* s, bool cancel_not_taken) {
  if (s->end == DB_END_CANCELLED)
    return "cancelled by the user after " + Waited_Text(s) + " s; the server did not " +
           (cancel_not_taken ? "take the cancel" : "answer it in time") + ", so the connection was closed";
  if (cancel_not_taken)
    return "the server did not take the cancel of a statement past its bound of " + drv::Seconds_Text(s->bound_ms) +
           " s; the connection was closed";
  return "no answer from the server within " + drv::Seconds_Text(s->bound_ms) +
         " s; the statement was cancelled and the connection closed";
}

// Sends one request (the statement text, or a parameterised one: send is PQsendQuery,
// PQsendQueryParams, PQsendPrepare...). The connection is checked first: one the server closed while
// the session was idle (its socket readable with nothing asked) is found lost here, before anything
// of the call ran. 1 sent, 0 lost (s->fault).
int Send(Session* s, const std::function<int(PGconn*)>& send) {
  s->fault = Fault::None;
  if (s->conn && PQstatus(s->conn) != CONNECTION_BAD && !PQisBusy(s->conn)) {
    pollfd p{PQsocket(s->conn), POLLIN, 0};
    if (p.fd >= 0 && poll(&p, 1, 0) > 0) PQconsumeInput(s->conn);  // an error message, the end of the stream
  }
  if (Lost(s) || !send(s->conn)) {
    if (Lost(s)) s->fault = Fault::Lost;
    return 0;
  }
  return 1;
}

// Collects the answer of the request sent, as PQexec would (the last result; an error result wins),
// within the call's deadline (see the top: the deadline or the user's cancel stop it on the server);
// s->fault says how it ended. Null when nothing came back. probe: a long wait asks who blocks it.
PGresult* Await_Result(Session* s, bool probe = false) {
  s->fault = Fault::None;
  if (Lost(s)) {
    s->fault = Fault::Lost;
    return nullptr;
  }
  std::shared_ptr<Cancel_Request> cancel;
  long long grace_end = 0;
  PGresult* keep = nullptr;
  for (;;) {
    const int w = Await(s, probe && !cancel);
    if ((w == 0 || w == -2) && !cancel) {
      s->end = w == 0 ? DB_END_TIMEOUT : DB_END_CANCELLED;
      cancel = Cancel_Detached(s->conn);
      const int grace = w == 0 ? kTimeout_Grace_Ms : kCancel_Grace_Ms;
      grace_end = Now_Ms() + grace;
      Go_Quiet(s, grace);
      continue;
    }
    if (w == 0 || w == -2) {
      PQclear(keep);
      Close(s, Stop_Text(s, false));
      return nullptr;
    }
    if (w < 0) {
      s->fault = Fault::Lost;
      return keep;
    }
    PGresult* r = PQgetResult(s->conn);
    if (!r) break;
    ExecStatusType st = PQresultStatus(r);
    if (st == PGRES_COPY_IN) {
      PQputCopyEnd(s->conn, "COPY from the client is not supported by this driver");
      PQclear(r);
      continue;
    }
    if (st == PGRES_COPY_OUT || st == PGRES_COPY_BOTH) {
      PQclear(r);
      PQclear(keep);
      Close(s, "COPY to the client is not supported by this driver; the connection was closed");
      return nullptr;
    }
    if (keep && PQresultStatus(keep) == PGRES_FATAL_ERROR) {
      PQclear(r);
    } else {
      PQclear(keep);
      keep = r;
    }
  }
  s->ran = true;
  // The server acts on a cancel whenever it arrives: one still on its way when a statement that was
  // finishing anyway answered would stop the next statement instead. So after any other answer than
  // the cancel's own, the next statement goes only once the server took it, and a server that does
  // not take it in time loses the session.
  if (cancel && !Is_State(keep, "57014") && !Cancel_Taken(cancel.get(), grace_end)) {
    PQclear(keep);
    Close(s, Stop_Text(s, true));
    return nullptr;
  }
  if (cancel && Is_State(keep, "57014")) {
    s->fault = s->end == DB_END_TIMEOUT ? Fault::Timeout : Fault::Cancelled;
  } else if (cancel) {
    s->end = DB_END_NONE;  // it finished before the cancel reached it
  }
  return keep;
}

PGresult* Exchange(Session* s, const std::function<int(PGconn*)>& send) {
  return Send(s, send) ? Await_Result(s) : nullptr;
}

PGresult* Exchange_Text(Session* s, const char* sql) {
  return Exchange(s, [sql](PGconn* c) { return PQsendQuery(c, sql); });
}

// After a statement stopped by its deadline or by the user, its undo needs a bound of its own.
void Bound_Cleanup(Session* s) {
  if (s->end != DB_END_NONE) Go_Quiet(s, kCleanup_Ms);
}

// Never destroyed: sessions still open when the process ends stay in reach, and a session closed from
// another module's static destructor at exit still finds the table.
drv::Sessions<Session>& All() {
  static drv::Sessions<Session>* s = new drv::Sessions<Session>();
  return *s;
}

const TDb_Data_Oper* T() { return drv::Table(); }

const char* const kTx_Lost_Text = "; the transaction open on it was lost: nothing since the last commit was kept";

// What happened to a lost connection, after "ConnectionWrite: ".
std::string Lost_Text(Session* s, PGresult* res) {
  std::string msg = "ConnectionWrite: ";
  if (!s->closed_why.empty()) {
    msg += s->closed_why;
  } else {
    msg += "the connection to the server was lost: ";
    msg += res ? PQresultErrorMessage(res) : (s->conn ? PQerrorMessage(s->conn) : "");
  }
  while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
  return msg;
}

// Reports a failed result (or a null one). Returns 0.
int Report(void* ds, Session* s, PGresult* res) {
  if (Lost(s)) {
    std::string msg = Lost_Text(s, res);
    const bool earlier = s->in_tx && s->tx_before;
    if (earlier) msg += kTx_Lost_Text;
    drv::Set_Error(ds, earlier ? DB_LOST_TRANSACTION : DB_LOST_CONNECTION, msg);
    s->reported = msg;
    // Nothing of the call ran on a connection that was already gone: it may run again elsewhere.
    if (!s->ran && !s->tx_before && s->end == DB_END_NONE) s->end = DB_END_LOST_IDLE;
    s->in_tx = s->savepoint = false;
    return 0;
  }
  if (s->fault == Fault::Timeout) {
    s->reported = "57014: statement timeout: no answer within " + drv::Seconds_Text(s->bound_ms) +
                  " s; the statement was cancelled on the server";
    drv::Set_Error(ds, drv::Code_From_State("57014"), s->reported);
    return 0;
  }
  if (s->fault == Fault::Cancelled) {
    s->reported = "57014: cancelled by the user after " + Waited_Text(s) + " s; the statement was cancelled on the server";
    drv::Set_Error(ds, drv::Code_From_State("57014"), s->reported);
    return 0;
  }
  const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
  const char* primary = res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  std::string msg = state ? std::string(state) + ": " : std::string();
  msg += primary ? primary : PQerrorMessage(s->conn);
  while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
  drv::Set_Error(ds, state ? drv::Code_From_State(state) : -1, msg);
  s->reported = msg;
  return 0;
}

// Runs a text without results. 1 or 0 (error in ds when ds is given).
int Simple(void* ds, Session* s, const char* sql) {
  PGresult* res = Exchange_Text(s, sql);
  int ok = res && PQresultStatus(res) == PGRES_COMMAND_OK;
  if (!ok && ds) Report(ds, s, res);
  PQclear(res);
  if (!ok && Lost(s)) s->in_tx = s->savepoint = false;
  return ok;
}

// Follows the server's view of the transaction: a statement text may itself have ended it.
void Sync_Tx(Session* s) {
  if (s->conn && PQtransactionStatus(s->conn) == PQTRANS_IDLE) s->in_tx = s->savepoint = false;
}

// One entry call: its deadline and wait box from tag 2 of its data set, ended (the box closed, the
// probe stopped, tag 3 written) when the scope ends.
class Call {
 public:
  Call(void* ds, Session* s) : ds_(ds), s_(s) {
    const int bound = T()->Get_Tag(ds, 2);
    s->bound_ms = bound == 0 ? kDefault_Statement_Ms : bound;
    Zem_Wait_Begin(&s->wait, drv::Waiting_Title(), s->bound_ms);
    s->active = &s->wait;
    Sync_Tx(s);
    s->tx_before = s->in_tx;
    s->ran = false;
    s->end = DB_END_NONE;
    s->closed_why.clear();
  }
  ~Call() {
    Stop_Probe(s_);
    drv::Wait_Fn()(&s_->wait, ZEM_WAIT_END);
    if (s_->active == &s_->quiet) drv::Wait_Fn()(&s_->quiet, ZEM_WAIT_END);
    s_->active = &s_->wait;
    T()->Set_Tag(ds_, 3, s_->end);
  }
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

 private:
  void* ds_;
  Session* s_;
};

// The session of the data set.
Session* Session_Of(void* ds) {
  if (!ds || !T()) return nullptr;
  Session* s = All().Get(T()->Get_Tag(ds, 0));
  if (!s) {
    drv::Set_Error(ds, DB_LOST_CONNECTION, "ConnectionWrite: no open session for this data set");
    T()->Set_Tag(ds, 3, DB_END_LOST_IDLE);
    return nullptr;
  }
  return s;
}

int End_Tx(void* ds, Session* s, bool commit) {
  Sync_Tx(s);
  if (s->tx_lost) {
    // Committing what came after the loss would pass for committing all of it; kept for a later
    // commit, it would be committed as a part without the rest: it is rolled back.
    s->tx_lost = false;
    if (commit) {
      if (s->in_tx) Simple(nullptr, s, "ROLLBACK");
      s->in_tx = s->savepoint = false;
      drv::Set_Error(ds, DB_LOST_TRANSACTION,
                     "commit: an earlier error rolled the transaction back; nothing of it was committed, and the "
                     "statements since were rolled back");
      return 0;
    }
  }
  if (!s->in_tx) return 1;
  int ok = 1;
  if (!commit) {
    ok = Simple(ds, s, "ROLLBACK");
  } else {
    PGresult* res = Exchange_Text(s, "COMMIT");
    ok = res && PQresultStatus(res) == PGRES_COMMAND_OK;
    // Lost while committing: the server may have committed before the link went.
    if (!ok && Lost(s)) {
      drv::Set_Error(ds, DB_LOST_CONNECTION, Lost_Text(s, res) + "; whether the server committed is unknown");
    } else if (!ok) {
      Report(ds, s, res);
    } else if (std::strcmp(PQcmdStatus(res), "ROLLBACK") == 0) {
      // The server ends a failed transaction's COMMIT with a rollback and no error.
      ok = 0;
      drv::Set_Error(ds, DB_LOST_TRANSACTION,
                     "commit: the transaction had failed and the server rolled it back; nothing of it was committed");
    }
    PQclear(res);
  }
  s->in_tx = s->savepoint = false;
  return ok;
}

// The open transaction, holding earlier calls' work, went while a failed call was undone: the call
// reports that loss (8007) in place of its own error, which the message keeps. Lost with the
// connection, the session reconnects and its next commit fails; on a live connection the transaction
// was rolled back and tx_lost makes the next commit fail.
void Earlier_Work_Lost(void* ds, Session* s) {
  const std::string why = s->reported.empty() ? std::string() : " (the call had failed: " + s->reported + ")";
  if (Lost(s)) {
    drv::Set_Error(ds, DB_LOST_TRANSACTION, Lost_Text(s, nullptr) + kTx_Lost_Text + why);
  } else {
    if (s->in_tx) Simple(nullptr, s, "ROLLBACK");
    s->tx_lost = true;
    drv::Set_Error(ds, DB_LOST_TRANSACTION,
                   "the open transaction could not be kept and was rolled back: nothing since the last commit was "
                   "kept" + why);
  }
  s->in_tx = s->savepoint = false;
}

// Undoes a failed statement: back to its savepoint, or, when the statement opened the transaction,
// the whole transaction (it held nothing else). When even that fails the transaction is given up, and
// with it the work of earlier calls it held: that is reported (see Earlier_Work_Lost).
void Undo_Statement(void* ds, Session* s, bool opened_here) {
  if (!s->in_tx || Lost(s)) return;
  Bound_Cleanup(s);
  if (!opened_here && Simple(nullptr, s, "ROLLBACK TO SAVEPOINT zem_sp")) return;
  if (!opened_here) return Earlier_Work_Lost(ds, s);
  if (!Lost(s)) Simple(nullptr, s, "ROLLBACK");
  s->in_tx = s->savepoint = false;
}

// Statements that mean something only inside the transaction they run in: never ended at once.
bool Keeps_Transaction(const wchar16* sql) {
  const wchar16* rest = nullptr;
  const std::string w = Db_First_Word(sql, &rest);
  if (w == "lock" || w == "declare" || w == "savepoint") return true;
  if (w != "set") return false;
  const std::string next = Db_First_Word(rest);
  return next == "local" || next == "transaction" || next == "constraints";
}

// A transaction opened by a statement that wrote nothing (the server assigned it no transaction id)
// is ended, so that a read never leaves the session idle in a transaction holding its locks.
void End_If_Read(Session* s) {
  if (!s->in_tx || PQserverVersion(s->conn) < 100000) return;
  const char* ask = PQserverVersion(s->conn) >= 130000 ? "select pg_current_xact_id_if_assigned() is null"
                                                       : "select txid_current_if_assigned() is null";
  PGresult* r = Exchange_Text(s, ask);
  const bool wrote_nothing =
      r && PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1 && std::strcmp(PQgetvalue(r, 0, 0), "t") == 0;
  PQclear(r);
  if (wrote_nothing && Simple(nullptr, s, "COMMIT")) s->in_tx = s->savepoint = false;
}

// PostgreSQL type ids of the built-in types this driver describes.
drv::Field_Kind Kind_Of(Oid type, int mod) {
  drv::Field_Kind k;
  switch (type) {
    case 20: k = {'I', 19, 0}; break;                      // int8
    case 21: k = {'I', 5, 0}; break;                       // int2
    case 23: case 26: k = {'I', 10, 0}; break;             // int4, oid
    case 700: k = {'F', 7, 0}; break;                      // float4
    case 701: k = {'F', 15, 0}; break;                     // float8
    case 790: k = {'F', 19, 2}; break;                     // money
    case 1700:                                             // numeric(p, s)
      k.type = 'F';
      if (mod >= 4) {
        k.size = ((mod - 4) >> 16) & 0xffff;
        k.decsize = (mod - 4) & 0xffff;
      }
      break;
    case 1082: k = {'D', 10, 0}; break;                    // date
    case 1083: case 1266: k = {'D', 8, 0}; break;          // time, timetz
    case 1114: case 1184: k = {'D', 19, 0}; break;         // timestamp, timestamptz
    case 1042: case 1043:                                  // char(n), varchar(n)
      k.size = mod >= 4 ? mod - 4 : 0;
      break;
    default: break;
  }
  return k;
}

void Fill(void* ds, Session* s, PGresult* res, int first, int max) {
  const int nf = PQnfields(res);
  const int nr = PQntuples(res);
  T()->Set_Field_Count(ds, nf);
  for (int i = 0; i < nf; i++) {
    const char* name = PQfname(res, i);
    T()->Set_Field_Name(ds, i, drv::W(name ? name : "").c_str());
    drv::Field_Kind k = Kind_Of(PQftype(res, i), PQfmod(res, i));
    T()->Set_Field_Type(ds, i, k.type);
    T()->Set_Field_Size(ds, i, k.size);
    T()->Set_Field_Decsize(ds, i, k.decsize);
  }
  int end = nr;
  if (max >= 0 && first + max < end) end = first + max;
  for (int r = first; r < end; r++) {
    T()->Add_Row(ds);
    for (int i = 0; i < nf; i++) {
      if (PQgetisnull(res, r, i)) continue;  // stays absent
      int n = drv::From_Utf8(PQgetvalue(res, r, i), PQgetlength(res, r, i), &s->buf);
      T()->Set_Value_With_Len(ds, i, s->buf.data(), n);
    }
  }
}

// Puts the running call behind the savepoint, opening the transaction first when open_tx. The
// savepoint goes in a round trip of its own: the server parses a whole text before running any of
// it, so a statement that does not parse would also skip a savepoint sent with it, and the undo
// would then reach back into the statement before. 1, or 0 with the error in ds.
int Savepoint(void* ds, Session* s, bool open_tx) {
  std::string head = open_tx ? "BEGIN;" : (s->savepoint ? "RELEASE SAVEPOINT zem_sp;" : "");
  head += "SAVEPOINT zem_sp";
  if (!Simple(ds, s, head.c_str())) {
    // Failed inside the open transaction (a cancel), it left that transaction failed; lost with the
    // connection, the report said so already.
    if (!open_tx && s->in_tx && !Lost(s)) Earlier_Work_Lost(ds, s);
    return 0;
  }
  s->in_tx = s->savepoint = true;
  return 1;
}

// Parameters bound to the placeholders ("$n") of one statement, as UTF-8 texts for the server; the
// server gives each the type its place in the statement asks for.
struct Bound {
  std::vector<std::string> texts;
  std::vector<const char*> values;  // null for NULL
};

int Run_Bound(void* ds, Session* s, const wchar16* sql, int first, int max, const Bound* bound) {
  drv::Fresh_Result(ds);
  bool open_tx = false;
  const drv::Stmt kind = drv::Classify(sql);
  switch (kind) {
    case drv::Stmt::Commit: return End_Tx(ds, s, true);
    case drv::Stmt::Rollback: return End_Tx(ds, s, false);
    case drv::Stmt::Begin:
      if (!s->in_tx && !Simple(ds, s, "BEGIN")) return 0;
      s->in_tx = true;
      return 1;
    case drv::Stmt::Plain: open_tx = !s->in_tx; break;
    case drv::Stmt::Select: break;
  }
  if ((open_tx || s->in_tx) && !Savepoint(ds, s, open_tx)) return 0;
  const std::string text = drv::To_Utf8(sql);
  // One request, the statement's text or the statement with its parameters, through the call's wait.
  PGresult* res = Send(s, [&text, bound](PGconn* c) {
    if (!bound) return PQsendQuery(c, text.c_str());
    return PQsendQueryParams(c, text.c_str(), static_cast<int>(bound->values.size()), nullptr, bound->values.data(),
                             nullptr, nullptr, 0);
  }) ? Await_Result(s, true) : nullptr;
  ExecStatusType st = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
  int ok = 1;
  if (st == PGRES_TUPLES_OK) {
    Fill(ds, s, res, first, max);
  } else if (st == PGRES_COMMAND_OK) {
    T()->Set_Tag(ds, 1, std::atoi(PQcmdTuples(res)));
  } else if (st == PGRES_EMPTY_QUERY) {
  } else {
    ok = Report(ds, s, res);
    Undo_Statement(ds, s, open_tx);
  }
  PQclear(res);
  Sync_Tx(s);
  if (ok && open_tx && !Keeps_Transaction(sql)) End_If_Read(s);
  T()->First(ds);
  return ok;
}

int Run(void* ds, Session* s, const wchar16* sql, int first, int max) {
  return Run_Bound(ds, s, sql, first, max, nullptr);
}

int Guarded(void* ds, int (*fn)(void*, Session*, const wchar16*, int, int), const wchar16* sql, int first,
            int max) {
  Session* s = Session_Of(ds);
  if (!s) return 0;
  Call call(ds, s);
  try {
    return fn(ds, s, sql ? sql : u"", first, max);
  } catch (...) {
    drv::Set_Error(ds, -1, "driver failure");
    return 0;
  }
}

int Batch(void* ds, Session* s, const wchar16*, int, int) {
  T()->Reset_Result(ds);
  std::string table = drv::To_Utf8(T()->Get_Table_Name(ds));
  if (table.empty()) {
    drv::Set_Error(ds, -1, "batch insert: the data set names no table");
    return 0;
  }
  const int nf = T()->Get_Field_Count(ds);
  std::vector<int> cols;
  std::string sql = "insert into " + table + "(";
  for (int i = 0; i < nf; i++) {
    const wchar16* name = T()->Get_Field_Name(ds, i);
    if (drv::Skip_Column(name)) continue;
    if (!cols.empty()) sql += ",";
    sql += drv::To_Utf8(name);
    cols.push_back(i);
  }
  if (cols.empty()) {
    drv::Set_Error(ds, -1, "batch insert: the data set has no fields");
    return 0;
  }
  sql += ") values(";
  for (size_t i = 0; i < cols.size(); i++) sql += (i ? ",$" : "$") + std::to_string(i + 1);
  sql += ")";
  // All rows or none: the statement's savepoint covers the whole batch, and the call's one deadline
  // all of its rows.
  const bool open_tx = !s->in_tx;
  if (!Savepoint(ds, s, open_tx)) return 0;
  const int n = static_cast<int>(cols.size());
  PGresult* prep = Exchange(s, [&sql, n](PGconn* c) { return PQsendPrepare(c, "", sql.c_str(), n, nullptr); });
  int ok = prep && PQresultStatus(prep) == PGRES_COMMAND_OK;
  if (!ok) Report(ds, s, prep);
  PQclear(prep);
  std::vector<std::string> vals(cols.size());
  std::vector<const char*> ptrs(cols.size());
  int done = 0;
  for (int r = 0; ok && r < T()->Get_Row_Count(ds); r++) {
    T()->Go_To_Row(ds, r);
    for (size_t j = 0; j < cols.size(); j++) {
      const wchar16* v = T()->Get_Value(ds, cols[j]);
      vals[j] = drv::To_Utf8(v);
      ptrs[j] = (v && *v) ? vals[j].c_str() : nullptr;  // empty cells insert NULL
    }
    PGresult* res =
        Exchange(s, [&ptrs, n](PGconn* c) { return PQsendQueryPrepared(c, "", n, ptrs.data(), nullptr, nullptr, 0); });
    if (res && PQresultStatus(res) == PGRES_COMMAND_OK) done++;
    else ok = Report(ds, s, res);
    PQclear(res);
  }
  T()->First(ds);
  if (!ok) Undo_Statement(ds, s, open_tx);
  // A failed batch keeps no row: its savepoint was undone, or its transaction went with the
  // connection. Only rows the server still holds are reported.
  T()->Set_Tag(ds, 1, ok ? done : 0);
  return ok;
}

// ---- connecting --------------------------------------------------------------------------------------

// A bound in ms from a connect_timeout text (libpq's reading: 0 or less none, under 2 s taken as 2 s).
int Connect_Timeout_Ms(const char* text) {
  int v = std::atoi(text);
  return v <= 0 ? -1 : (v < 2 ? 2 : v) * 1000;
}

// A host name looked up on a thread of its own (getaddrinfo has no bound), shared with that thread.
struct Lookup {
  std::mutex m;
  bool done = false;
  std::string addr;  // the first address found, numeric
  std::string why;   // else the resolver's reason
};

int Lookup_Done(void* ctx) {
  Lookup* l = static_cast<Lookup*>(ctx);
  std::lock_guard<std::mutex> g(l->m);
  return l->done;
}

bool Is_Address(const std::string& host) {
  unsigned char buf[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

// The address of a host name, found within the wait's deadline. "" with *why when it was not.
std::string Resolve(const std::string& name, Zem_Wait* w, std::string* why) {
  auto l = std::make_shared<Lookup>();
  try {
    std::thread([l, name] {
      addrinfo hints{};
      hints.ai_family = AF_UNSPEC;
      hints.ai_socktype = SOCK_STREAM;
      addrinfo* res = nullptr;
      const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &res);
      char host[NI_MAXHOST] = "";
      if (rc == 0 && res)
        getnameinfo(res->ai_addr, res->ai_addrlen, host, sizeof host, nullptr, 0, NI_NUMERICHOST);
      if (res) freeaddrinfo(res);
      std::lock_guard<std::mutex> g(l->m);
      l->addr = host;
      l->why = rc ? gai_strerror(rc) : host[0] ? "" : "no address";
      l->done = true;
    }).detach();
  } catch (...) {
    *why = "the name " + name + " could not be looked up: no thread for it";
    return "";
  }
  w->done = Lookup_Done;
  w->ctx = l.get();
  const int r = drv::Wait_Fn()(w, ZEM_WAIT_STEP) == ZEM_WAIT_READY;
  w->done = nullptr;
  w->ctx = nullptr;
  std::lock_guard<std::mutex> g(l->m);
  if (!r || !l->done) {
    *why = w->cancelled ? "cancelled by the user while the name " + name + " was looked up"
                        : "the name " + name + " was not resolved within " +
                              drv::Seconds_Text(static_cast<int>(w->deadline_ms - w->started_ms)) + " s";
    return "";
  }
  if (!l->why.empty()) *why = "the name " + name + " could not be resolved: " + l->why;
  return l->addr;
}

// The hostaddr list for the connection text's host list: each name looked up within the bound, each
// address and socket folder as it is. "" when nothing needs looking up (no host, or a hostaddr given);
// sets *why when a name was not found.
std::string Host_Addresses(PQconninfoOption* opts, Zem_Wait* w, std::string* why) {
  std::string host, hostaddr;
  for (PQconninfoOption* o = opts; o->keyword; ++o) {
    if (std::strcmp(o->keyword, "host") == 0 && o->val) host = o->val;
    if (std::strcmp(o->keyword, "hostaddr") == 0 && o->val) hostaddr = o->val;
  }
  if (host.empty() || !hostaddr.empty()) return "";
  std::string out;
  bool named = false;
  size_t pos = 0;
  for (;;) {
    const size_t comma = host.find(',', pos);
    const std::string h = host.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    std::string addr;
    if (!h.empty() && h[0] != '/' && h[0] != '@') {
      if (Is_Address(h)) {
        addr = h;
      } else {
        addr = Resolve(h, w, why);
        if (addr.empty()) return "";
        named = true;
      }
    }
    if (pos) out += ",";
    out += addr;
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  return named ? out : "";
}

// Opens a connection within its bound (see the top), waiting through the waiting function. The
// keepalive settings are given before the text, so the text's own win; the looked-up addresses and
// the client encoding after it. Null with *why when it fails; s receives what it connected with.
PGconn* Connect_Bounded(const std::string& info, int bound_ms, Session* s, std::string* why) {
  char* err = nullptr;
  PQconninfoOption* opts = PQconninfoParse(info.c_str(), &err);
  if (!opts) {
    *why = err ? err : "out of memory";
    PQfreemem(err);
    return nullptr;
  }
  int ms = bound_ms == 0 ? kDefault_Connect_Ms : bound_ms;
  for (PQconninfoOption* o = opts; o->keyword; ++o)
    if (std::strcmp(o->keyword, "connect_timeout") == 0 && o->val && *o->val) ms = Connect_Timeout_Ms(o->val);
  s->bound_ms = ms;
  Zem_Wait_Begin(&s->wait, drv::Waiting_Title(), ms);
  std::string lookup_why;
  const std::string hostaddr = Host_Addresses(opts, &s->wait, &lookup_why);
  PQconninfoFree(opts);
  if (!lookup_why.empty()) {
    if (s->wait.cancelled) s->end = DB_END_CANCELLED;
    *why = lookup_why;
    return nullptr;
  }
  s->keys = {"keepalives", "keepalives_idle", "keepalives_interval", "keepalives_count", "tcp_user_timeout", "dbname"};
  s->vals = {"1", "30", "10", "3", "60000", info};
  if (!hostaddr.empty()) {
    s->keys.push_back("hostaddr");
    s->vals.push_back(hostaddr);
  }
  s->keys.push_back("client_encoding");
  s->vals.push_back("UTF8");
  std::vector<const char*> keys, vals;
  for (size_t i = 0; i < s->keys.size(); i++) {
    keys.push_back(s->keys[i].c_str());
    vals.push_back(s->vals[i].c_str());
  }
  keys.push_back(nullptr);
  vals.push_back(nullptr);
  PGconn* c = PQconnectStartParams(keys.data(), vals.data(), 1);
  if (!c || PQstatus(c) == CONNECTION_BAD) {
    *why = c ? PQerrorMessage(c) : "out of memory";
    PQfinish(c);
    return nullptr;
  }
  PostgresPollingStatusType st = PGRES_POLLING_WRITING;
  while (st != PGRES_POLLING_OK) {
    if (st == PGRES_POLLING_FAILED) {
      *why = PQerrorMessage(c);
      PQfinish(c);
      return nullptr;
    }
    s->wait.fd = PQsocket(c);
    s->wait.events = st == PGRES_POLLING_WRITING ? POLLOUT : POLLIN;
    s->wait.until_ms = 0;
    const int w = drv::Wait_Fn()(&s->wait, ZEM_WAIT_STEP);
    if (w != ZEM_WAIT_READY) {
      const char* host = PQhost(c);
      const char* port = PQport(c);
      if (w == ZEM_WAIT_CANCELLED) {
        s->end = DB_END_CANCELLED;
        *why = "cancelled by the user after " + Waited_Text(s) + " s";
      } else if (w == ZEM_WAIT_TIMEOUT) {
        *why = "no answer from the server at " + std::string(host ? host : "?") + ":" + (port ? port : "?") +
               " within " + drv::Seconds_Text(ms) + " s (connect_timeout in the connection text sets the bound)";
      } else {
        *why = std::string("waiting for the server failed: ") + std::strerror(errno);
      }
      PQfinish(c);
      return nullptr;
    }
    st = PQconnectPoll(c);
  }
  PQsetnonblocking(c, 1);
  return c;
}

}  // namespace

ZEM_DRV_EXPORT int _Set_Data_Oper_Handle(const TDb_Data_Oper* table) {
  drv::Table() = table;
  return 1;
}

// Optional: the waiting function of the loading module (frame/wait.h). Null goes back to poll(2).
ZEM_DRV_EXPORT int _Set_Wait_Handle(Zem_Wait_Fn fn) {
  drv::Wait_Fn() = fn ? fn : Zem_Wait_Poll;
  return 1;
}

ZEM_DRV_EXPORT int _Connect_Handle(void* ds, int /*kind*/, const wchar16* t1, const wchar16*, const wchar16*,
                                   const wchar16*, int /*option*/) {
  if (!ds || !T()) return 0;
  std::string why;
  std::unique_ptr<Session> s(new Session());
  PGconn* conn = Connect_Bounded(drv::To_Utf8(t1), T()->Get_Tag(ds, 2), s.get(), &why);
  drv::Wait_Fn()(&s->wait, ZEM_WAIT_END);
  T()->Set_Tag(ds, 3, s->end);
  if (!conn) {
    while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
    drv::Set_Error(ds, DB_LOST_CONNECTION, "连接失败: " + why);
    return 0;
  }
  // Notices (e.g. "there is no transaction in progress") are not errors: keep them off the console.
  PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
  s->conn = conn;
  T()->Set_Tag(ds, 0, All().Add(s.release()));
  T()->Reset_Result(ds);
  return 1;
}

ZEM_DRV_EXPORT int _Disconnect_Handle(void* ds) {
  if (!ds || !T()) return 0;
  Session* s = All().Take(T()->Get_Tag(ds, 0));
  if (!s) return 0;
  Stop_Probe(s);
  // Uncommitted statements are given up, as the server does when a session ends.
  PQfinish(s->conn);
  delete s;
  return 1;
}

ZEM_DRV_EXPORT int _Commit_Handle(void* ds) {
  Session* s = Session_Of(ds);
  if (!s) return 0;
  Call call(ds, s);
  T()->Reset_Result(ds);
  return End_Tx(ds, s, true);
}

ZEM_DRV_EXPORT int _Rollback_Handle(void* ds) {
  Session* s = Session_Of(ds);
  if (!s) return 0;
  Call call(ds, s);
  T()->Reset_Result(ds);
  return End_Tx(ds, s, false);
}

ZEM_DRV_EXPORT int _ExecuteSql_Handle(void* ds, const wchar16* sql) { return Guarded(ds, Run, sql, 0, -1); }

// A procedure call ("call name(...)", or a select of a function) runs as a statement.
ZEM_DRV_EXPORT int _ExecuteProc_Handle(void* ds, const wchar16* call) { return Guarded(ds, Run, call, 0, -1); }

ZEM_DRV_EXPORT int _SelectRow_Handle(void* ds, const wchar16* sql, int first_row, int max_rows) {
  return Guarded(ds, Run, sql, first_row < 0 ? 0 : first_row, max_rows);
}

ZEM_DRV_EXPORT int _BatchInsert_Handle(void* ds) { return Guarded(ds, Batch, nullptr, 0, 0); }

// One statement with bound parameters: "?" placeholders become "$n"; the values go beside the text
// (PQsendQueryParams, through the same bounded wait as every statement).
ZEM_DRV_EXPORT int _ExecuteSql_Params_Handle(void* ds, const wchar16* sql, int count, const wchar16* const* values,
                                             const char* /*kinds*/) {
  Session* s = Session_Of(ds);
  if (!s) return 0;
  Call call(ds, s);
  try {
    std::u16string text;
    std::string why;
    int n = 0;
    if (Db_Number_Params(sql ? sql : u"", '$', &text, &n, &why) < 0 || n != count || count < 0 ||
        (count > 0 && !values)) {
      drv::Fresh_Result(ds);
      if (why.empty()) why = "the statement's placeholders and the parameters given do not agree";
      drv::Set_Error(ds, drv::Code_From_State("08P01"), "08P01: " + why);
      return 0;
    }
    Bound b;
    b.texts.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; i++) {
      if (values[i]) b.texts[static_cast<size_t>(i)] = drv::To_Utf8(values[i]);
      b.values.push_back(values[i] ? b.texts[static_cast<size_t>(i)].c_str() : nullptr);
    }
    return Run_Bound(ds, s, text.c_str(), 0, -1, &b);
  } catch (...) {
    drv::Set_Error(ds, -1, "driver failure");
    return 0;
  }
}

// ---- change notices (LISTEN/NOTIFY), the optional entries of db_connect.h ---------------------------
namespace {

// The server's name of the channel given as $1 (text): see the head of this file.
const char* const kScoped_Channel =
    "(select case when octet_length($1::text || '@' || s) <= 63 then $1::text || '@' || s "
    "else $1::text || '@' || md5(s) end from (select coalesce(current_schema()::text, '') as s) x)";

// The notices already received on the session, as rows (channel, payload, sender_pid) of ds.
void Take_Notices(void* ds, Session* s) {
  while (PGnotify* n = PQnotifies(s->conn)) {
    const std::string server = n->relname ? n->relname : "";
    auto it = s->channels.find(server);
    T()->Add_Row(ds);
    T()->Set_Value(ds, 0, drv::W(it == s->channels.end() ? server : it->second).c_str());
    T()->Set_Value(ds, 1, drv::W(n->extra ? n->extra : "").c_str());
    T()->Set_Value(ds, 2, drv::W(std::to_string(n->be_pid)).c_str());
    PQfreemem(n);
  }
}

int Notices_Lost(void* ds, Session* s) {
  s->fault = Fault::Lost;
  return Report(ds, s, nullptr);
}

}  // namespace

ZEM_DRV_EXPORT int _Listen_Handle(void* ds, const wchar16* channel) {
  Session* s = Session_Of(ds);
  if (!s) return 0;
  Call call(ds, s);
  drv::Fresh_Result(ds);
  if (Lost(s)) return Notices_Lost(ds, s);
  const std::string name = drv::To_Utf8(channel);
  const char* values[1] = {name.c_str()};
  const std::string ask = std::string("select ") + kScoped_Channel;
  PGresult* res = Exchange(s, [&values, &ask](PGconn* conn) {
    return PQsendQueryParams(conn, ask.c_str(), 1, nullptr, values, nullptr, nullptr, 0);
  });
  if (!res || PQresultStatus(res) != PGRES_TUPLES_OK || PQntuples(res) != 1) {
    Report(ds, s, res);
    PQclear(res);
    return 0;
  }
  const std::string server = PQgetvalue(res, 0, 0);
  PQclear(res);
  char* quoted = PQescapeIdentifier(s->conn, server.c_str(), server.size());
  if (!quoted) return Report(ds, s, nullptr);
  std::string sql = std::string("LISTEN ") + quoted;
  PQfreemem(quoted);
  if (!Simple(ds, s, sql.c_str())) return 0;
  s->channels[server] = name;
  return 1;
}

ZEM_DRV_EXPORT int _Notify_Handle(void* ds, const wchar16* channel, const wchar16* payload) {
  Session* s = Session_Of(ds);
  if (!s) return 0;
  Call call(ds, s);
  drv::Fresh_Result(ds);
  if (Lost(s)) return Notices_Lost(ds, s);
  // Inside a transaction the notice stands behind its own savepoint, as every statement does, so a
  // refused one (a payload too long) leaves the transaction usable.
  Sync_Tx(s);
  if (s->in_tx) {
    if (!Simple(ds, s, s->savepoint ? "RELEASE SAVEPOINT zem_sp;SAVEPOINT zem_sp" : "SAVEPOINT zem_sp")) return 0;
    s->savepoint = true;
  }
  const std::string c = drv::To_Utf8(channel), p = drv::To_Utf8(payload);
  const char* values[2] = {c.c_str(), p.c_str()};
  const std::string send = std::string("select pg_notify(") + kScoped_Channel + ", $2)";
  PGresult* res = Exchange(s, [&values, &send](PGconn* conn) {
    return PQsendQueryParams(conn, send.c_str(), 2, nullptr, values, nullptr, nullptr, 0);
  });
  int ok = res && PQresultStatus(res) == PGRES_TUPLES_OK;
  if (!ok) Report(ds, s, res);
  PQclear(res);
  if (!ok) Undo_Statement(ds, s, false);
  return ok;
}

ZEM_DRV_EXPORT int _Wait_Notify_Handle(void* ds, int timeout_ms) {
  Session* s = Session_Of(ds);
  if (!s) return 0;
  drv::Fresh_Result(ds);
  T()->Set_Field_Count(ds, 3);
  const char16_t* names[3] = {u"channel", u"payload", u"sender_pid"};
  for (int i = 0; i < 3; i++) T()->Set_Field_Name(ds, i, names[i]);
  if (Lost(s) || !PQconsumeInput(s->conn)) return Notices_Lost(ds, s);
  Take_Notices(ds, s);
  if (T()->Get_Row_Count(ds) > 0 || timeout_ms <= 0) return 1;
  pollfd p = {PQsocket(s->conn), POLLIN, 0};
  if (p.fd < 0) return Notices_Lost(ds, s);
  int r = ::poll(&p, 1, timeout_ms);
  if (r < 0 && errno != EINTR) return Notices_Lost(ds, s);
  if (r > 0 && !PQconsumeInput(s->conn)) return Notices_Lost(ds, s);
  Take_Notices(ds, s);
  T()->First(ds);
  return 1;
}
