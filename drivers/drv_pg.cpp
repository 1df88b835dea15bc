// zem_drv_pg.so: the driver entry points over a PostgreSQL server (libpq).
//
// Connection: text1 is a libpq connection string ("host=... port=... dbname=..."); the other texts,
// the kind and the option are not used. The client encoding is UTF-8.
// Writes run in a transaction the driver opens and that Commit/Rollback, or the texts
// "commit"/"rollback", end; reads outside a transaction run on their own. Inside the transaction
// every statement runs behind a savepoint, so a failing statement is undone alone and the
// statements before it stay, as on other databases, instead of the whole transaction turning bad.
// Errors arrive as the SQLSTATE (all digits: that number; otherwise read in base 36) and the
// server's message prefixed by the state. A lost connection is answered with code 8006 (the state
// 08006) and a message beginning "ConnectionWrite", which makes the query area reconnect.
#include <libpq-fe.h>
#include <poll.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "drivers/drv_common.h"

namespace {

struct Session {
  PGconn* conn = nullptr;
  bool in_tx = false;
  bool savepoint = false;  // "zem_sp" exists in the open transaction
  std::vector<wchar16> buf;
};

drv::Sessions<Session>& All() {
  static drv::Sessions<Session> s;
  return s;
}

const TDb_Data_Oper* T() { return drv::Table(); }

const int kLost = 8006;

// Reports a failed result (or a null one). Returns 0.
int Report(void* ds, Session* s, PGresult* res) {
  if (PQstatus(s->conn) == CONNECTION_BAD) {
    std::string msg = "ConnectionWrite: the connection to the server was lost: ";
    msg += res ? PQresultErrorMessage(res) : PQerrorMessage(s->conn);
    while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
    drv::Set_Error(ds, kLost, msg);
    s->in_tx = s->savepoint = false;
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
  PGresult* res = PQexec(s->conn, sql);
  int ok = res && PQresultStatus(res) == PGRES_COMMAND_OK;
  if (!ok && ds) Report(ds, s, res);
  PQclear(res);
  if (!ok && PQstatus(s->conn) == CONNECTION_BAD) s->in_tx = s->savepoint = false;
  return ok;
}

Session* Session_Of(void* ds) {
  if (!ds || !T()) return nullptr;
  Session* s = All().Get(T()->Get_Tag(ds, 0));
  if (!s) drv::Set_Error(ds, kLost, "ConnectionWrite: no open session for this data set");
  return s;
}

// Follows the server's view of the transaction: a statement text may itself have ended it.
void Sync_Tx(Session* s) {
  if (PQtransactionStatus(s->conn) == PQTRANS_IDLE) s->in_tx = s->savepoint = false;
}

int End_Tx(void* ds, Session* s, bool commit) {
  Sync_Tx(s);
  if (!s->in_tx) return 1;
  int ok = Simple(ds, s, commit ? "COMMIT" : "ROLLBACK");
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

int Run(void* ds, Session* s, const wchar16* sql, int first, int max) {
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
  PGresult* res = PQexec(s->conn, text.c_str());
  ExecStatusType st = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
  int ok = 1;
  if (st == PGRES_TUPLES_OK) {
    Fill(ds, s, res, first, max);
  } else if (st == PGRES_COMMAND_OK) {
    T()->Set_Tag(ds, 1, std::atoi(PQcmdTuples(res)));
  } else if (st == PGRES_EMPTY_QUERY) {
  } else {
    ok = Report(ds, s, res);
    if (s->in_tx && PQstatus(s->conn) != CONNECTION_BAD) {
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
  PGresult* prep = PQprepare(s->conn, "", sql.c_str(), static_cast<int>(cols.size()), nullptr);
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
    PGresult* res = PQexecPrepared(s->conn, "", static_cast<int>(cols.size()), ptrs.data(), nullptr, nullptr, 0);
    if (res && PQresultStatus(res) == PGRES_COMMAND_OK) done++;
    else ok = Report(ds, s, res);
    PQclear(res);
  }
  T()->First(ds);
  if (!ok && s->in_tx && PQstatus(s->conn) != CONNECTION_BAD) {
    if (!Simple(nullptr, s, "ROLLBACK TO SAVEPOINT zem_sp")) {
      Simple(nullptr, s, "ROLLBACK");
      s->in_tx = s->savepoint = false;
    }
    done = 0;
  }
  T()->Set_Tag(ds, 1, done);
  return ok;
}

}  // namespace

ZEM_DRV_EXPORT int _Set_Data_Oper_Handle(const TDb_Data_Oper* table) {
  drv::Table() = table;
  return 1;
}

ZEM_DRV_EXPORT int _Connect_Handle(void* ds, int /*kind*/, const wchar16* t1, const wchar16*, const wchar16*,
                                   const wchar16*, int /*option*/) {
  if (!ds || !T()) return 0;
  std::string info = drv::To_Utf8(t1);
  PGconn* conn = PQconnectdb(info.c_str());
  if (!conn || PQstatus(conn) != CONNECTION_OK) {
    std::string msg = conn ? PQerrorMessage(conn) : "out of memory";
    while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
    drv::Set_Error(ds, kLost, "连接失败: " + msg);
    PQfinish(conn);
    return 0;
  }
  PQsetClientEncoding(conn, "UTF8");
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
  return s ? End_Tx(ds, s, true) : 0;
}

ZEM_DRV_EXPORT int _Rollback_Handle(void* ds) {
  Session* s = Session_Of(ds);
  return s ? End_Tx(ds, s, false) : 0;
}

ZEM_DRV_EXPORT int _ExecuteSql_Handle(void* ds, const wchar16* sql) { return Guarded(ds, Run, sql, 0, -1); }

// A procedure call ("call name(...)", or a select of a function) runs as a statement.
ZEM_DRV_EXPORT int _ExecuteProc_Handle(void* ds, const wchar16* call) { return Guarded(ds, Run, call, 0, -1); }

ZEM_DRV_EXPORT int _SelectRow_Handle(void* ds, const wchar16* sql, int first_row, int max_rows) {
  return Guarded(ds, Run, sql, first_row < 0 ? 0 : first_row, max_rows);
}

ZEM_DRV_EXPORT int _BatchInsert_Handle(void* ds) { return Guarded(ds, Batch, nullptr, 0, 0); }

// ---- change notices (LISTEN/NOTIFY), the optional entries of db_connect.h ---------------------------
namespace {

// The notices already received on the session, as rows (channel, payload, sender_pid) of ds.
void Take_Notices(void* ds, Session* s) {
  while (PGnotify* n = PQnotifies(s->conn)) {
    T()->Add_Row(ds);
    T()->Set_Value(ds, 0, drv::W(n->relname ? n->relname : "").c_str());
    T()->Set_Value(ds, 1, drv::W(n->extra ? n->extra : "").c_str());
    T()->Set_Value(ds, 2, drv::W(std::to_string(n->be_pid)).c_str());
    PQfreemem(n);
  }
}

int Lost(void* ds, Session* s) {
  s->in_tx = s->savepoint = false;
  return Report(ds, s, nullptr);
}

}  // namespace

ZEM_DRV_EXPORT int _Listen_Handle(void* ds, const wchar16* channel) {
  Session* s = Session_Of(ds);
  if (!s) return 0;
  drv::Fresh_Result(ds);
  std::string name = drv::To_Utf8(channel);
  char* quoted = PQescapeIdentifier(s->conn, name.c_str(), name.size());
  if (!quoted) return Report(ds, s, nullptr);
  std::string sql = std::string("LISTEN ") + quoted;
  PQfreemem(quoted);
  return Simple(ds, s, sql.c_str());
}

ZEM_DRV_EXPORT int _Notify_Handle(void* ds, const wchar16* channel, const wchar16* payload) {
  Session* s = Session_Of(ds);
  if (!s) return 0;
  drv::Fresh_Result(ds);
  // Inside a transaction the notice stands behind its own savepoint, as every statement does, so a
  // refused one (a payload too long) leaves the transaction usable.
  Sync_Tx(s);
  if (s->in_tx) {
    if (!Simple(ds, s, s->savepoint ? "RELEASE SAVEPOINT zem_sp;SAVEPOINT zem_sp" : "SAVEPOINT zem_sp")) return 0;
    s->savepoint = true;
  }
  const std::string c = drv::To_Utf8(channel), p = drv::To_Utf8(payload);
  const char* values[2] = {c.c_str(), p.c_str()};
  PGresult* res = PQexecParams(s->conn, "select pg_notify($1, $2)", 2, nullptr, values, nullptr, nullptr, 0);
  int ok = res && PQresultStatus(res) == PGRES_TUPLES_OK;
  if (!ok) Report(ds, s, res);
  PQclear(res);
  if (!ok && s->in_tx && PQstatus(s->conn) != CONNECTION_BAD && !Simple(nullptr, s, "ROLLBACK TO SAVEPOINT zem_sp")) {
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
  if (!PQconsumeInput(s->conn)) return Lost(ds, s);
  Take_Notices(ds, s);
  if (T()->Get_Row_Count(ds) > 0 || timeout_ms <= 0) return 1;
  pollfd p = {PQsocket(s->conn), POLLIN, 0};
  if (p.fd < 0) return Lost(ds, s);
  int r = ::poll(&p, 1, timeout_ms);
  if (r < 0 && errno != EINTR) return Lost(ds, s);
  if (r > 0 && !PQconsumeInput(s->conn)) return Lost(ds, s);
  Take_Notices(ds, s);
  T()->First(ds);
  return 1;
}
