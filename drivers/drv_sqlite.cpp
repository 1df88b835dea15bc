// zem_drv_sqlite.so: the driver entry points over an embedded SQLite database file.
//
// Connection: text1 is the database file (created when missing); the other texts, the kind and the
// option are not used. Statements are prepared from their UTF-16 text as they are; a text holding
// several statements runs them all, and the first one that returns columns fills the data set.
// Writes run in a transaction the driver opens at the first statement that writes (SQLite says which
// do: sqlite3_stmt_readonly; BEGIN IMMEDIATE, so two sessions never deadlock on the upgrade from
// reading to writing) and that Commit/Rollback, or the texts "commit"/"rollback", end. Reads outside a
// transaction run on their own and hold no lock afterwards. A call inside the transaction stands
// behind a savepoint, so a failing one (all of its statements) is undone alone; a failing call that
// opened the transaction ends it. Errors arrive as SQLite's extended result code and its message.
//
// Bounded waits, one deadline per call (tag 2): a lock held by another connection or process is
// waited for at most 5 s (less when the call's bound is shorter), then the statement fails with a
// message that says so; a statement that runs past the call's bound is stopped (SQLITE_INTERRUPT,
// "statement timeout ...") and undone (a write stopped half way takes its whole transaction with it,
// which the message says and the next commit reports), and the session stays usable. The waits go
// through the waiting function the loading module handed over (_Set_Wait_Handle, frame/wait.h): the
// lock wait sleeps in it, and a long statement gives it a turn every 25 ms from the progress handler,
// so on the user-interface thread the window paints, the wait box shows after 500 ms, and its 取消
// stops the statement as the deadline would ("cancelled by the user ...", tag 3 DB_END_CANCELLED).
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstdlib>
#include <string>
#include <vector>

#include "drivers/drv_common.h"

namespace {

struct Session {
  sqlite3* db = nullptr;
  std::string file;        // the database file, for messages
  bool in_tx = false;
  bool tx_lost = false;    // an error rolled back earlier calls' work; the next commit reports it
  // ---- the running call
  bool in_call = false;    // the handlers below act only during a call
  Zem_Wait wait{};         // its deadline and its wait box
  int bound_ms = 0;        // its bound, <= 0 none
  bool tx_before = false;  // a transaction of earlier calls was open when it began
  bool timed_out = false;  // the bound stopped the running statement
  bool user_cancel = false;  // the user's 取消 stopped it
  int busy_ms = 0;         // its longest wait for another's lock
  long long busy_since = 0;  // when the current lock wait began
  long long last_tick = 0;   // when the progress handler last gave the waiting function a turn
};

const int kBusy_Ms = 5000;       // longest wait for another connection's lock
const int kDefault_Ms = 30000;   // a call's bound when its data set carries none
const int kTick_Ms = 25;         // a long statement lets the window paint this often
const int kBusy_Slice_Ms = 20;   // a lock wait tries the lock again this often

long long Now_Ms() { return Zem_Wait_Now_Ms(); }

// Starts one call: its bound (tag 2 of its data set, read before the result is reset) and its wait.
void Begin_Call(Session* s, int tag_ms) {
  s->bound_ms = tag_ms == 0 ? kDefault_Ms : tag_ms;
  Zem_Wait_Begin(&s->wait, drv::Waiting_Title(), s->bound_ms);
  s->timed_out = s->user_cancel = false;
  s->busy_ms = s->bound_ms > 0 && s->bound_ms < kBusy_Ms ? s->bound_ms : kBusy_Ms;
  s->last_tick = s->wait.started_ms;
  s->tx_before = !sqlite3_get_autocommit(s->db);
  s->in_call = true;
}

// Ends it: the wait box closed, how it was stopped in tag 3.
void End_Call(void* ds, Session* s) {
  s->in_call = false;
  drv::Wait_Fn()(&s->wait, ZEM_WAIT_END);
  drv::Table()->Set_Tag(ds, 3, s->user_cancel ? DB_END_CANCELLED : s->timed_out ? DB_END_TIMEOUT : DB_END_NONE);
}

// Called by SQLite every few thousand steps of a running statement: nonzero stops it.
int Past_Bound(void* p) {
  Session* s = static_cast<Session*>(p);
  if (!s->in_call) return 0;
  const long long now = Now_Ms();
  if (s->wait.deadline_ms > 0 && now >= s->wait.deadline_ms) {
    s->timed_out = true;
    return 1;
  }
  if (now - s->last_tick < kTick_Ms) return 0;
  s->last_tick = now;
  if (drv::Wait_Fn()(&s->wait, ZEM_WAIT_TICK) != ZEM_WAIT_CANCELLED) return 0;
  s->user_cancel = true;
  return 1;
}

// The wait box's second line during a lock wait.
int Lock_Detail(void* ctx, char16_t* buf, int cap) {
  const std::u16string t = drv::W("另一个连接或程序正在使用数据库文件 " + static_cast<Session*>(ctx)->file);
  const int n = std::min(static_cast<int>(t.size()), cap - 1);
  if (n < 0) return 0;
  std::copy(t.begin(), t.begin() + n, buf);
  buf[n] = 0;
  return n;
}

// SQLite's busy handler: another connection holds the lock. Sleeps in the waiting function (the
// window paints, 取消 works) until the lock wait's bound; 0 gives up (SQLITE_BUSY).
int On_Busy(void* p, int count) {
  Session* s = static_cast<Session*>(p);
  const long long now = Now_Ms();
  if (count == 0) s->busy_since = now;
  const long long limit = s->busy_since + s->busy_ms;
  if (now >= limit) return 0;
  if (!s->in_call) {  // outside a call (closing): a plain sleep
    std::this_thread::sleep_for(std::chrono::milliseconds(kBusy_Slice_Ms));
    return 1;
  }
  s->wait.detail = Lock_Detail;
  s->wait.ctx = s;
  s->wait.fd = -1;
  s->wait.until_ms = std::min(now + kBusy_Slice_Ms, limit);
  const int r = drv::Wait_Fn()(&s->wait, ZEM_WAIT_STEP);
  s->wait.until_ms = 0;
  if (r == ZEM_WAIT_CANCELLED) s->user_cancel = true;
  return r == ZEM_WAIT_AGAIN || r == ZEM_WAIT_READY;
}

// Never destroyed: sessions still open when the process ends stay in reach, and a session closed from
// another module's static destructor at exit still finds the table.
drv::Sessions<Session>& All() {
  static drv::Sessions<Session>* s = new drv::Sessions<Session>();
  return *s;
}

const TDb_Data_Oper* T() { return drv::Table(); }

void Db_Error(void* ds, Session* s) {
  const int code = sqlite3_extended_errcode(s->db);
  std::u16string msg = static_cast<const wchar16*>(sqlite3_errmsg16(s->db));
  const std::string waited = drv::Seconds_Text(static_cast<int>(Now_Ms() - s->wait.started_ms));
  if (s->user_cancel && ((code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_LOCKED)) {
    msg = drv::W("cancelled by the user after " + waited + " s while another connection or process held a lock on " +
                 s->file);
  } else if ((code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_LOCKED) {
    msg += drv::W(": another connection or process holds a lock on " + s->file + "; gave up after " +
                  drv::Seconds_Text(s->busy_ms) + " s");
  } else if ((code & 0xFF) == SQLITE_INTERRUPT && s->user_cancel) {
    msg = drv::W("cancelled by the user after " + waited + " s; the statement was stopped");
  } else if ((code & 0xFF) == SQLITE_INTERRUPT && s->timed_out) {
    msg = drv::W("statement timeout: the statement ran longer than " + drv::Seconds_Text(s->bound_ms) +
                 " s and was stopped");
  }
  // Some errors (full disk, I/O, a write stopped half way) end the transaction inside SQLite: follow
  // it, say so, and keep the news for the next commit when earlier calls' work went with it.
  const bool was_in_tx = s->in_tx;
  s->in_tx = !sqlite3_get_autocommit(s->db);
  if (was_in_tx && !s->in_tx && s->tx_before) {
    msg += u"; the open transaction was rolled back";
    s->tx_lost = true;
  }
  T()->Set_Error(ds, code, msg.c_str());
}

// Runs a text without results on the session (BEGIN, COMMIT, ...). 1 or 0 (error in ds).
int Simple(void* ds, Session* s, const char* sql) {
  if (sqlite3_exec(s->db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    if (ds) Db_Error(ds, s);
    return 0;
  }
  return 1;
}

Session* Session_Of(void* ds) {
  if (!ds || !T()) return nullptr;
  Session* s = All().Get(T()->Get_Tag(ds, 0));
  if (!s) T()->Set_Error(ds, SQLITE_MISUSE, u"no open session for this data set");
  return s;
}

int End_Tx(void* ds, Session* s, bool commit) {
  if (s->tx_lost) {
    // Committing what came after the loss would pass for committing all of it; kept for a later
    // commit, it would be committed as a part without the rest: it is rolled back.
    s->tx_lost = false;
    if (commit) {
      if (!sqlite3_get_autocommit(s->db)) sqlite3_exec(s->db, "ROLLBACK", nullptr, nullptr, nullptr);
      s->in_tx = !sqlite3_get_autocommit(s->db);
      T()->Set_Error(ds, SQLITE_ABORT_ROLLBACK,
                     u"commit: an earlier error rolled the transaction back; nothing of it was committed, "
                     u"and the statements since were rolled back");
      return 0;
    }
  }
  s->in_tx = !sqlite3_get_autocommit(s->db);  // a statement text may itself have ended it
  if (!s->in_tx) return 1;
  int ok = Simple(ds, s, commit ? "COMMIT" : "ROLLBACK");
  s->in_tx = !sqlite3_get_autocommit(s->db);
  return ok;
}

int Begin_Tx(void* ds, Session* s) {
  s->in_tx = !sqlite3_get_autocommit(s->db);
  if (s->in_tx) return 1;
  if (!Simple(ds, s, "BEGIN IMMEDIATE")) return 0;
  s->in_tx = true;
  return 1;
}

// Field descriptors of a prepared statement. The declared type decides; an expression column takes
// the storage class of its first value.
void Describe(void* ds, sqlite3_stmt* st, bool have_row) {
  int n = sqlite3_column_count(st);
  T()->Set_Field_Count(ds, n);
  for (int i = 0; i < n; i++) {
    T()->Set_Field_Name(ds, i, static_cast<const wchar16*>(sqlite3_column_name16(st, i)));
    const char* decl = sqlite3_column_decltype(st, i);
    drv::Field_Kind k = drv::Kind_From_Decl(decl);
    if ((!decl || !*decl) && have_row) {
      int c = sqlite3_column_type(st, i);
      if (c == SQLITE_INTEGER) k = {'I', 19, 0};
      else if (c == SQLITE_FLOAT) k = {'F', 15, 0};
    }
    T()->Set_Field_Type(ds, i, k.type);
    T()->Set_Field_Size(ds, i, k.size);
    T()->Set_Field_Decsize(ds, i, k.decsize);
  }
}

// What a call did to the transaction, so that its failure undoes exactly its own work.
struct Call_Tx {
  bool opened = false;  // the call opened the transaction
  bool savepoint = false;  // the call stands behind "zem_call" in an earlier transaction
};

// Before the first statement of a call that writes: opens the transaction, or sets the call's
// savepoint in the one open. 1, or 0 with the error in ds.
int Before_Write(void* ds, Session* s, Call_Tx* tx) {
  if (tx->opened || tx->savepoint) return 1;
  if (sqlite3_get_autocommit(s->db)) {
    if (!Begin_Tx(ds, s)) return 0;
    tx->opened = true;
    return 1;
  }
  if (!Simple(ds, s, "SAVEPOINT zem_call")) return 0;
  tx->savepoint = true;
  return 1;
}

// After the call: success keeps its work; failure undoes it (a transaction it opened is ended). The
// undo runs without the handlers' turns: a 取消 already taken must not stop it.
void After_Call(Session* s, const Call_Tx& tx, bool ok) {
  const bool in_call = s->in_call;
  if (!ok) s->in_call = false;
  if (!sqlite3_get_autocommit(s->db)) {
    if (ok && tx.savepoint) {
      sqlite3_exec(s->db, "RELEASE zem_call", nullptr, nullptr, nullptr);
    } else if (!ok && tx.opened) {
      sqlite3_exec(s->db, "ROLLBACK", nullptr, nullptr, nullptr);
    } else if (!ok && tx.savepoint) {
      sqlite3_exec(s->db, "ROLLBACK TO zem_call; RELEASE zem_call", nullptr, nullptr, nullptr);
    }
  }
  s->in_tx = !sqlite3_get_autocommit(s->db);
  s->in_call = in_call;
}

// Parameters bound to the placeholders of one statement (_ExecuteSql_Params_Handle).
struct Bound {
  int count = 0;
  const wchar16* const* values = nullptr;  // null entries are NULL
  const char* kinds = nullptr;             // 'S', 'I', 'F', 'D'
};

// An integer parameter goes as an integer when its text is one; everything else as text, which the
// column's affinity turns into a number where the column holds numbers (exact decimals stay exact on
// the way in).
int Bind_All(void* ds, Session* s, sqlite3_stmt* st, const Bound& b) {
  for (int i = 0; i < b.count; i++) {
    const wchar16* v = b.values[i];
    int rc;
    if (!v) {
      rc = sqlite3_bind_null(st, i + 1);
    } else {
      long long n = 0;
      bool integer = b.kinds && b.kinds[i] == 'I' && *v;
      for (const wchar16* p = v; integer && *p; ++p) {
        if (p == v && *p == u'-' && p[1]) continue;
        integer = *p >= u'0' && *p <= u'9' && n < 100000000000000000LL;
        if (integer) n = n * 10 + (*p - u'0');
      }
      if (integer) rc = sqlite3_bind_int64(st, i + 1, v[0] == u'-' ? -n : n);
      else rc = sqlite3_bind_text16(st, i + 1, v, -1, SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK) {
      Db_Error(ds, s);
      return 0;
    }
  }
  return 1;
}

// Runs every statement of the text; rows of the first one with columns go into ds, from row `first`
// on and at most `max` of them (max < 0: all). With bound parameters the text holds one statement
// only, its placeholders numbered "?n". 1 or 0.
int Run_Text(void* ds, Session* s, const wchar16* sql, int first, int max, const Bound* bound, Call_Tx* tx) {
  // Rows the statements changed themselves: what triggers changed besides (a change log, say) is not
  // counted, so a caller that tells "no row matched" from the count is not misled.
  sqlite3_int64 changed = 0;
  const void* tail = sql;
  bool filled = false;
  int statements = 0;
  while (tail && *static_cast<const wchar16*>(tail)) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare16_v2(s->db, tail, -1, &st, &tail) != SQLITE_OK) {
      Db_Error(ds, s);
      return 0;
    }
    if (!st) break;  // only blanks or comments were left
    if (bound && ++statements > 1) {
      sqlite3_finalize(st);
      T()->Set_Error(ds, SQLITE_MISUSE, u"bound parameters go with a text of one statement only");
      return 0;
    }
    if ((bound && !Bind_All(ds, s, st, *bound)) || (!sqlite3_stmt_readonly(st) && !Before_Write(ds, s, tx))) {
      sqlite3_finalize(st);
      return 0;
    }
    const bool fill = !filled && sqlite3_column_count(st) > 0;
    const sqlite3_int64 total_before = sqlite3_total_changes64(s->db);
    int rc = sqlite3_step(st);
    if (fill) {
      filled = true;
      Describe(ds, st, rc == SQLITE_ROW);
      const int n = sqlite3_column_count(st);
      int row = 0, kept = 0;
      for (; rc == SQLITE_ROW; rc = sqlite3_step(st), row++) {
        if (row < first) continue;
        if (max >= 0 && kept >= max) continue;  // stepped to the end so errors still surface
        T()->Add_Row(ds);
        kept++;
        for (int i = 0; i < n; i++) {
          // NULL reads as a null pointer (so do failures to convert): the cell stays absent.
          const wchar16* v = static_cast<const wchar16*>(sqlite3_column_text16(st, i));
          if (v) T()->Set_Value_With_Len(ds, i, v, sqlite3_column_bytes16(st, i) / 2);
        }
      }
    } else {
      while (rc == SQLITE_ROW) rc = sqlite3_step(st);
    }
    if (rc != SQLITE_DONE) {
      Db_Error(ds, s);
      sqlite3_finalize(st);
      return 0;
    }
    // sqlite3_changes64 keeps the last insert, update or delete's count; it is this statement's only
    // when this statement changed anything.
    if (sqlite3_total_changes64(s->db) != total_before) changed += sqlite3_changes64(s->db);
    sqlite3_finalize(st);
  }
  T()->Set_Tag(ds, 1, static_cast<int>(changed));
  T()->First(ds);
  return 1;
}

int Run_Bound(void* ds, Session* s, const wchar16* sql, int first, int max, const Bound* bound) {
  drv::Fresh_Result(ds);
  switch (drv::Classify(sql)) {
    case drv::Stmt::Commit: return End_Tx(ds, s, true);
    case drv::Stmt::Rollback: return End_Tx(ds, s, false);
    case drv::Stmt::Begin: return Begin_Tx(ds, s);
    case drv::Stmt::Plain: case drv::Stmt::Select: break;
  }
  Call_Tx tx;
  const int ok = Run_Text(ds, s, sql, first, max, bound, &tx);
  After_Call(s, tx, ok != 0);
  return ok;
}

int Run(void* ds, Session* s, const wchar16* sql, int first, int max) {
  return Run_Bound(ds, s, sql, first, max, nullptr);
}

int Guarded(void* ds, int (*fn)(void*, Session*, const wchar16*, int, int), const wchar16* sql, int first,
            int max) {
  Session* s = Session_Of(ds);
  if (!s) return 0;
  Begin_Call(s, T()->Get_Tag(ds, 2));
  int ok = 0;
  try {
    ok = fn(ds, s, sql ? sql : u"", first, max);
  } catch (...) {
    T()->Set_Error(ds, SQLITE_ERROR, u"driver failure");
  }
  End_Call(ds, s);
  return ok;
}

int Batch(void* ds, Session* s, const wchar16*, int, int) {
  T()->Reset_Result(ds);
  std::u16string table = T()->Get_Table_Name(ds);
  if (table.empty()) {
    T()->Set_Error(ds, SQLITE_ERROR, u"batch insert: the data set names no table");
    return 0;
  }
  const int nf = T()->Get_Field_Count(ds);
  std::vector<int> cols;
  std::u16string sql = u"insert into " + table + u"(";
  for (int i = 0; i < nf; i++) {
    const wchar16* name = T()->Get_Field_Name(ds, i);
    if (drv::Skip_Column(name)) continue;
    if (!cols.empty()) sql += u",";
    sql += name;
    cols.push_back(i);
  }
  sql += u") values(";
  for (size_t i = 0; i < cols.size(); i++) sql += i ? u",?" : u"?";
  sql += u")";
  if (cols.empty()) {
    T()->Set_Error(ds, SQLITE_ERROR, u"batch insert: the data set has no fields");
    return 0;
  }
  // All rows or none: the call's transaction, or its savepoint in the one open.
  Call_Tx tx;
  if (!Before_Write(ds, s, &tx)) return 0;
  sqlite3_stmt* st = nullptr;
  int ok = sqlite3_prepare16_v2(s->db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK;
  int done = 0;
  if (!ok) Db_Error(ds, s);
  const int keep_row = T()->Get_Row_Count(ds) > 0 ? 0 : -1;
  for (int r = 0; ok && r < T()->Get_Row_Count(ds); r++) {
    T()->Go_To_Row(ds, r);
    for (size_t j = 0; j < cols.size(); j++) {
      const wchar16* v = T()->Get_Value(ds, cols[j]);
      if (!v || !*v) sqlite3_bind_null(st, static_cast<int>(j) + 1);  // empty cells insert NULL
      else sqlite3_bind_text16(st, static_cast<int>(j) + 1, v, -1, SQLITE_TRANSIENT);
    }
    if (sqlite3_step(st) != SQLITE_DONE) {
      Db_Error(ds, s);
      ok = 0;
    } else {
      done++;
    }
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  if (keep_row == 0) T()->First(ds);
  After_Call(s, tx, ok != 0);
  if (!ok) done = 0;
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
  std::string path = drv::To_Utf8(t1);
  if (path.empty()) {
    T()->Set_Error(ds, SQLITE_CANTOPEN, u"no database file given (text1)");
    return 0;
  }
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc != SQLITE_OK) {
    T()->Set_Error(ds, rc, db ? static_cast<const wchar16*>(sqlite3_errmsg16(db)) : u"out of memory");
    sqlite3_close_v2(db);
    return 0;
  }
  Session* s = new Session();
  s->db = db;
  s->file = path;
  s->busy_ms = kBusy_Ms;
  sqlite3_busy_handler(db, On_Busy, s);
  sqlite3_progress_handler(db, 4000, Past_Bound, s);
  T()->Set_Tag(ds, 0, All().Add(s));
  T()->Reset_Result(ds);
  return 1;
}

ZEM_DRV_EXPORT int _Disconnect_Handle(void* ds) {
  if (!ds || !T()) return 0;
  Session* s = All().Take(T()->Get_Tag(ds, 0));
  if (!s) return 0;
  // Uncommitted statements are given up, as the database does when a session ends.
  if (s->in_tx) sqlite3_exec(s->db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(s->db);
  delete s;
  return 1;
}

ZEM_DRV_EXPORT int _Commit_Handle(void* ds) {
  Session* s = Session_Of(ds);
  if (!s) return 0;
  Begin_Call(s, T()->Get_Tag(ds, 2));
  const int ok = End_Tx(ds, s, true);
  End_Call(ds, s);
  return ok;
}

ZEM_DRV_EXPORT int _Rollback_Handle(void* ds) {
  Session* s = Session_Of(ds);
  if (!s) return 0;
  Begin_Call(s, T()->Get_Tag(ds, 2));
  const int ok = End_Tx(ds, s, false);
  End_Call(ds, s);
  return ok;
}

// Optional: the waiting function of the loading module (frame/wait.h). Null goes back to poll(2).
ZEM_DRV_EXPORT int _Set_Wait_Handle(Zem_Wait_Fn fn) {
  drv::Wait_Fn() = fn ? fn : Zem_Wait_Poll;
  return 1;
}

// The database is a file on this machine.
ZEM_DRV_EXPORT int _File_Db_Handle() { return 1; }

ZEM_DRV_EXPORT int _ExecuteSql_Handle(void* ds, const wchar16* sql) { return Guarded(ds, Run, sql, 0, -1); }

// SQLite has no stored procedures: the call text runs as a statement (and fails as SQLite says).
ZEM_DRV_EXPORT int _ExecuteProc_Handle(void* ds, const wchar16* call) { return Guarded(ds, Run, call, 0, -1); }

ZEM_DRV_EXPORT int _SelectRow_Handle(void* ds, const wchar16* sql, int first_row, int max_rows) {
  return Guarded(ds, Run, sql, first_row < 0 ? 0 : first_row, max_rows);
}

ZEM_DRV_EXPORT int _BatchInsert_Handle(void* ds) { return Guarded(ds, Batch, nullptr, 0, 0); }

// One statement with bound parameters: "?" and "$n" placeholders become SQLite's "?n".
ZEM_DRV_EXPORT int _ExecuteSql_Params_Handle(void* ds, const wchar16* sql, int count, const wchar16* const* values,
                                             const char* kinds) {
  Session* s = Session_Of(ds);
  if (!s) return 0;
  Begin_Call(s, T()->Get_Tag(ds, 2));
  int ok = 0;
  try {
    std::u16string text;
    std::string why;
    int n = 0;
    if (Db_Number_Params(sql ? sql : u"", '?', &text, &n, &why) < 0 || n != count || count < 0 ||
        (count > 0 && !values)) {
      drv::Fresh_Result(ds);
      if (why.empty()) why = "the statement's placeholders and the parameters given do not agree";
      drv::Set_Error(ds, SQLITE_RANGE, why);
    } else {
      Bound b;
      b.count = count;
      b.values = values;
      b.kinds = kinds;
      ok = Run_Bound(ds, s, text.c_str(), 0, -1, &b);
    }
  } catch (...) {
    T()->Set_Error(ds, SQLITE_ERROR, u"driver failure");
  }
  End_Call(ds, s);
  return ok;
}
