// zem_drv_pg.so: the driver entry points over a PostgreSQL server (libpq).
//
// Connection: text1 is a libpq connection string ("host=... port=... dbname=..."); the other texts,
// the kind and the option are not used. The client encoding is UTF-8.
// Writes run in a transaction the driver opens and that Commit/Rollback, or the texts
// "commit"/"rollback", end; reads outside a transaction run on their own. Inside the transaction
// every statement runs behind a savepoint, so a failing statement is undone alone and the
// statements before it stay, as on other databases, instead of the whole transaction turning bad.
// Errors arrive as the SQLSTATE (all digits: that number; otherwise read in base 36) and the
// server's message prefixed by the state. A lost connection is answered with a message beginning
// "ConnectionWrite", which makes the session reconnect, and code 8006 (the state 08006), or 8007 when
// a transaction was open on it and went with it; lost during a commit, it says that the outcome is
// unknown (8006).
//
// Bounded waits. The driver talks to the server without blocking (libpq's asynchronous calls, its
// socket polled against a deadline), so that no wait outlasts its bound:
// - connecting: the connection text's connect_timeout, else the call's bound (tag 2). A server that
//   accepts and never answers gives "连接失败: no answer from ...". TCP keepalives (probes after 30 s
//   of silence, every 10 s, 3 of them) and a 60 s TCP user timeout are added unless the text sets
//   them, so that a peer that vanished is noticed also while a statement waits without a bound.
// - statements: the call's bound (tag 2). On expiry the statement is cancelled on the server (the
//   cancel request goes from a thread of its own: libpq waits for the server to take it, and a server
//   that stopped answering must not hold the caller there) and the answer is awaited 5 s more at
//   most, as is the server's taking of the cancel (so that it cannot stop the next statement). A
//   server that answers gives "57014: statement timeout ..." (or the statement's own result when it
//   finished first) and the session goes on, the statement undone alone; a silent one loses the
//   session ("ConnectionWrite: no answer ...", "... did not take the cancel ...").
//
// Change notices belong to the session's schema. The server's channels are database-wide, but
// applications (and test runs) share one database in schemas of their own; a notice of one must not
// reach the others, which would act on it. So a channel is named on the server "<channel>@<schema>",
// the schema being the session's current schema (the first of its search path that exists; empty
// when none does), or "<channel>@<md5 of the schema>" when that name exceeds the server's 63 bytes.
// Listening and sending take the schema at the time of the call; the rows of received notices name
// the channel as the caller listened to it.
#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
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

namespace {

using Clock = std::chrono::steady_clock;

// How the last exchange with the server ended.
enum class Fault { None, Cancelled, Lost };

struct Session {
  PGconn* conn = nullptr;  // null once the driver closed it (the server stopped answering)
  bool in_tx = false;
  bool savepoint = false;  // "zem_sp" exists in the open transaction
  std::vector<wchar16> buf;
  int bound_ms = 0;          // the running call's bound, <= 0 none
  Fault fault = Fault::None;
  std::string closed_why;    // why the driver closed the connection
  std::map<std::string, std::string> channels;  // listened to: the server's name -> the caller's
};

const int kDefault_Statement_Ms = 300000;  // a call's bound when its data set carries none
const int kDefault_Connect_Ms = 15000;
const int kCancel_Grace_Ms = 5000;         // wait for the answer to a cancel

// ---- waiting for the server -------------------------------------------------------------------------

// Waits until the socket has one of the events or the deadline passes (none: as long as it takes).
// 1 ready, 0 deadline passed, -1 error.
int Wait_Socket(int fd, short events, const Clock::time_point* deadline) {
  if (fd < 0) return -1;
  for (;;) {
    int ms = -1;
    if (deadline) {
      long long left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
      if (left <= 0) return 0;
      ms = left > INT_MAX ? INT_MAX : static_cast<int>(left);
    }
    pollfd p{fd, events, 0};
    int r = poll(&p, 1, ms);
    if (r > 0) return 1;
    if (r < 0 && errno != EINTR) return -1;
  }
}

// Drives the connection until a whole answer can be taken: sends what is queued, reads what comes.
// 1 ready, 0 deadline passed, -1 connection lost.
int Await(PGconn* conn, const Clock::time_point* deadline) {
  for (;;) {
    int f = PQflush(conn);
    if (f < 0) return -1;
    if (f == 0 && !PQisBusy(conn)) return 1;
    int w = Wait_Socket(PQsocket(conn), static_cast<short>(POLLIN | (f == 1 ? POLLOUT : 0)), deadline);
    if (w <= 0) return w;
    if (!PQconsumeInput(conn)) return -1;  // read only once the socket has something
  }
}

// A cancel request on its way to the server; done once the server took it (or refused it), or when
// none could be sent.
struct Cancel_Request {
  std::mutex m;
  std::condition_variable cv;
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
      req->cv.notify_all();
    }).detach();
  } catch (...) {
    PQfreeCancel(c);  // no thread: the answer is awaited all the same
    req->done = true;
  }
  return req;
}

// Whether the server took the cancel by the deadline.
bool Cancel_Taken(Cancel_Request* req, Clock::time_point deadline) {
  std::unique_lock<std::mutex> g(req->m);
  return req->cv.wait_until(g, deadline, [req] { return req->done; });
}

// The driver gives up a connection whose server stopped answering.
void Close(Session* s, const std::string& why) {
  PQfinish(s->conn);
  s->conn = nullptr;
  s->closed_why = why;
  s->fault = Fault::Lost;
}

bool Is_State(PGresult* r, const char* state) {
  const char* st = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
  return st && std::strcmp(st, state) == 0;
}

// Sends one request and collects its answer as PQexec would (the last result; an error result wins)
// within the session's bound; s->fault says how it ended. Null when nothing came back.
PGresult* Exchange(Session* s, const std::function<int(PGconn*)>& send) {
  s->fault = Fault::None;
  if (!s->conn || PQstatus(s->conn) == CONNECTION_BAD || !send(s->conn)) {
    if (!s->conn || PQstatus(s->conn) == CONNECTION_BAD) s->fault = Fault::Lost;
    return nullptr;
  }
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(s->bound_ms);
  const Clock::time_point* dl = s->bound_ms > 0 ? &deadline : nullptr;
  std::shared_ptr<Cancel_Request> cancel;
  PGresult* keep = nullptr;
  for (;;) {
    int w = Await(s->conn, dl);
    if (w == 0 && !cancel) {
      cancel = Cancel_Detached(s->conn);
      deadline = Clock::now() + std::chrono::milliseconds(std::min(kCancel_Grace_Ms, s->bound_ms));
      continue;
    }
    if (w == 0) {
      PQclear(keep);
      Close(s, "no answer from the server within " + drv::Seconds_Text(s->bound_ms) +
                   " s; the statement was cancelled and the connection closed");
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
  // The server acts on a cancel whenever it arrives: one still on its way when a statement that was
  // finishing anyway answered would stop the next statement instead. So the next one goes only after
  // the server took it, and a server that does not take it in time loses the session.
  if (cancel && !Cancel_Taken(cancel.get(), deadline)) {
    PQclear(keep);
    Close(s, "the server did not take the cancel of a statement past its bound of " +
                 drv::Seconds_Text(s->bound_ms) + " s; the connection was closed");
    return nullptr;
  }
  if (cancel && Is_State(keep, "57014")) s->fault = Fault::Cancelled;
  return keep;
}

PGresult* Exchange_Text(Session* s, const char* sql) {
  return Exchange(s, [sql](PGconn* c) { return PQsendQuery(c, sql); });
}

// Never destroyed: sessions still open when the process ends stay in reach, and a session closed from
// another module's static destructor at exit still finds the table.
drv::Sessions<Session>& All() {
  static drv::Sessions<Session>* s = new drv::Sessions<Session>();
  return *s;
}

const TDb_Data_Oper* T() { return drv::Table(); }

bool Lost(Session* s) { return !s->conn || PQstatus(s->conn) == CONNECTION_BAD; }

// What happened to a lost connection, after "ConnectionWrite: ".
std::string Lost_Text(Session* s, PGresult* res) {
  std::string msg = "ConnectionWrite: ";
  if (!s->closed_why.empty()) {
    msg += s->closed_why;
  } else {
    msg += "the connection to the server was lost: ";
    msg += res ? PQresultErrorMessage(res) : PQerrorMessage(s->conn);
  }
  while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
  return msg;
}

// Reports a failed result (or a null one). Returns 0.
int Report(void* ds, Session* s, PGresult* res) {
  if (Lost(s)) {
    std::string msg = Lost_Text(s, res);
    if (s->in_tx) msg += "; the transaction open on it was lost: nothing since the last commit was kept";
    drv::Set_Error(ds, s->in_tx ? DB_LOST_TRANSACTION : DB_LOST_CONNECTION, msg);
    s->in_tx = s->savepoint = false;
    return 0;
  }
  if (s->fault == Fault::Cancelled) {
    drv::Set_Error(ds, drv::Code_From_State("57014"),
                   "57014: statement timeout: no answer within " + drv::Seconds_Text(s->bound_ms) +
                       " s; the statement was cancelled on the server");
    return 0;
  }
  const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
  const char* primary = res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  std::string msg = state ? std::string(state) + ": " : std::string();
  msg += primary ? primary : PQerrorMessage(s->conn);
  while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
  drv::Set_Error(ds, state ? drv::Code_From_State(state) : -1, msg);
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

// The session of the data set, its bound for this call taken from tag 2.
Session* Session_Of(void* ds) {
  if (!ds || !T()) return nullptr;
  Session* s = All().Get(T()->Get_Tag(ds, 0));
  if (!s) {
    drv::Set_Error(ds, DB_LOST_CONNECTION, "ConnectionWrite: no open session for this data set");
    return nullptr;
  }
  int bound = T()->Get_Tag(ds, 2);
  s->bound_ms = bound == 0 ? kDefault_Statement_Ms : bound;
  return s;
}

// Follows the server's view of the transaction: a statement text may itself have ended it.
void Sync_Tx(Session* s) {
  if (s->conn && PQtransactionStatus(s->conn) == PQTRANS_IDLE) s->in_tx = s->savepoint = false;
}

int End_Tx(void* ds, Session* s, bool commit) {
  Sync_Tx(s);
  if (!s->in_tx) return 1;
  int ok = 1;
  if (!commit) {
    ok = Simple(ds, s, "ROLLBACK");
  } else {
    PGresult* res = Exchange_Text(s, "COMMIT");
    ok = res && PQresultStatus(res) == PGRES_COMMAND_OK;
    // Lost while committing: the server may have committed before the link went.
    if (!ok && Lost(s)) drv::Set_Error(ds, DB_LOST_CONNECTION, Lost_Text(s, res) + "; whether the server committed is unknown");
    else if (!ok) Report(ds, s, res);
    PQclear(res);
  }
  s->in_tx = s->savepoint = false;
  return ok;
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

// Parameters bound to the placeholders ("$n") of one statement, as UTF-8 texts for the server; the
// server gives each the type its place in the statement asks for.
struct Bound {
  std::vector<std::string> texts;
  std::vector<const char*> values;  // null for NULL
};

int Run_Bound(void* ds, Session* s, const wchar16* sql, int first, int max, const Bound* bound) {
  drv::Fresh_Result(ds);
  Sync_Tx(s);
  bool open_tx = false;
  switch (drv::Classify(sql)) {
    case drv::Stmt::Commit: return End_Tx(ds, s, true);
    case drv::Stmt::Rollback: return End_Tx(ds, s, false);
    case drv::Stmt::Begin:
      if (!s->in_tx && !Simple(ds, s, "BEGIN")) return 0;
      s->in_tx = true;
      return 1;
    case drv::Stmt::Plain: open_tx = !s->in_tx; break;
    case drv::Stmt::Select: break;
  }
  if (open_tx || s->in_tx) {
    // The savepoint goes in a round trip of its own: the server parses a whole text before running
    // any of it, so a statement that does not parse would also skip a savepoint sent with it, and
    // the undo below would then reach back into the statement before.
    std::string head = open_tx ? "BEGIN;" : (s->savepoint ? "RELEASE SAVEPOINT zem_sp;" : "");
    head += "SAVEPOINT zem_sp";
    if (!Simple(ds, s, head.c_str())) return 0;
    s->in_tx = s->savepoint = true;
  }
  const std::string text = drv::To_Utf8(sql);
  PGresult* res = bound ? Exchange(s, [&text, bound](PGconn* c) {
    return PQsendQueryParams(c, text.c_str(), static_cast<int>(bound->values.size()), nullptr,
                             bound->values.data(), nullptr, nullptr, 0);
  })
                        : Exchange_Text(s, text.c_str());
  ExecStatusType st = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
  int ok = 1;
  if (st == PGRES_TUPLES_OK) {
    Fill(ds, s, res, first, max);
  } else if (st == PGRES_COMMAND_OK) {
    T()->Set_Tag(ds, 1, std::atoi(PQcmdTuples(res)));
  } else if (st == PGRES_EMPTY_QUERY) {
  } else {
    ok = Report(ds, s, res);
    if (s->in_tx && !Lost(s)) {
      // Undo this statement only; when even that fails the transaction is given up.
      if (!Simple(nullptr, s, "ROLLBACK TO SAVEPOINT zem_sp")) {
        Simple(nullptr, s, "ROLLBACK");
        s->in_tx = s->savepoint = false;
      }
    }
  }
  PQclear(res);
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
  // All rows or none: the statement's savepoint covers the whole batch.
  Sync_Tx(s);
  std::string head = s->in_tx ? "" : "BEGIN;";
  if (s->savepoint) head += "RELEASE SAVEPOINT zem_sp;";
  head += "SAVEPOINT zem_sp";
  if (!Simple(ds, s, head.c_str())) return 0;
  s->in_tx = s->savepoint = true;
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
  if (!ok && s->in_tx && !Lost(s)) {
    if (!Simple(nullptr, s, "ROLLBACK TO SAVEPOINT zem_sp")) {
      Simple(nullptr, s, "ROLLBACK");
      s->in_tx = s->savepoint = false;
    }
  }
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

// Opens a connection within its bound (see the top). The keepalive settings are given before the
// text, so the text's own win; the client encoding after it, since the driver reads UTF-8 only.
// Null with *why when it fails.
PGconn* Connect_Bounded(const std::string& info, int bound_ms, std::string* why) {
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
  PQconninfoFree(opts);
  const char* keys[] = {"keepalives", "keepalives_idle", "keepalives_interval", "keepalives_count",
                        "tcp_user_timeout", "dbname", "client_encoding", nullptr};
  const char* vals[] = {"1", "30", "10", "3", "60000", info.c_str(), "UTF8", nullptr};
  PGconn* c = PQconnectStartParams(keys, vals, 1);
  if (!c || PQstatus(c) == CONNECTION_BAD) {
    *why = c ? PQerrorMessage(c) : "out of memory";
    PQfinish(c);
    return nullptr;
  }
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  PostgresPollingStatusType st = PGRES_POLLING_WRITING;
  while (st != PGRES_POLLING_OK) {
    if (st == PGRES_POLLING_FAILED) {
      *why = PQerrorMessage(c);
      PQfinish(c);
      return nullptr;
    }
    int w = Wait_Socket(PQsocket(c), st == PGRES_POLLING_WRITING ? POLLOUT : POLLIN, ms > 0 ? &deadline : nullptr);
    if (w <= 0) {
      const char* host = PQhost(c);
      const char* port = PQport(c);
      *why = w == 0 ? "no answer from the server at " + std::string(host ? host : "?") + ":" +
                          (port ? port : "?") + " within " + drv::Seconds_Text(ms) +
                          " s (connect_timeout in the connection text sets the bound)"
                    : std::string("waiting for the server failed: ") + std::strerror(errno);
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

ZEM_DRV_EXPORT int _Connect_Handle(void* ds, int /*kind*/, const wchar16* t1, const wchar16*, const wchar16*,
                                   const wchar16*, int /*option*/) {
  if (!ds || !T()) return 0;
  std::string why;
  PGconn* conn = Connect_Bounded(drv::To_Utf8(t1), T()->Get_Tag(ds, 2), &why);
  if (!conn) {
    while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
    drv::Set_Error(ds, DB_LOST_CONNECTION, "连接失败: " + why);
    return 0;
  }
  // Notices (e.g. "there is no transaction in progress") are not errors: keep them off the console.
  PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
  Session* s = new Session();
  s->conn = conn;
  T()->Set_Tag(ds, 0, All().Add(s));
  T()->Reset_Result(ds);
  return 1;
}

ZEM_DRV_EXPORT int _Disconnect_Handle(void* ds) {
  if (!ds || !T()) return 0;
  Session* s = All().Take(T()->Get_Tag(ds, 0));
  if (!s) return 0;
  // Uncommitted statements are given up, as the server does when a session ends.
  PQfinish(s->conn);
  delete s;
  return 1;
}

ZEM_DRV_EXPORT int _Commit_Handle(void* ds) {
  Session* s = Session_Of(ds);
  if (!s) return 0;
  T()->Reset_Result(ds);
  return End_Tx(ds, s, true);
}

ZEM_DRV_EXPORT int _Rollback_Handle(void* ds) {
  Session* s = Session_Of(ds);
  if (!s) return 0;
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
  if (!ok && s->in_tx && !Lost(s) && !Simple(nullptr, s, "ROLLBACK TO SAVEPOINT zem_sp")) {
    Simple(nullptr, s, "ROLLBACK");
    s->in_tx = s->savepoint = false;
  }
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
