// Waits for the database as a user meets them: one deadline per call, 取消 (through a test double of
// the host's wait box), stopped backends, unreachable servers, a name that does not resolve, a restart
// between calls, no idle transactions. Every check is on results, messages and rows.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "core/data/para.h"
#include "drivers/db_fixture.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"
#include "frame/wait.h"

using zem_test::Db_Test;
using zem_test::U;
using zem_test::Utf8;

namespace {

std::string Msg(TSQLCA& q) { return Utf8(q.Get_Error_Msg()); }
std::string User(TSQLCA& q) { return Utf8(q.Get_User_Msg()); }

std::u16string Value(TSQLCA& q, const char16_t* sql) {
  return q.Exec(sql) == 0 ? std::u16string(q.Get_Value(0)) : u"error: " + std::u16string(q.Get_Error_Msg());
}

// One value read on a bare libpq connection ("" when there is none).
std::string Pg_Value(const std::string& sql) {
  PGconn* c = PQconnectdb(std::getenv("ZEM_PG_CONNINFO"));
  std::string v;
  PGresult* r = PQexec(c, sql.c_str());
  if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0) v = PQgetvalue(r, 0, 0);
  PQclear(r);
  PQfinish(c);
  return v;
}

// The postmaster of a backend: the parent in "pid (name) state ppid ...".
pid_t Parent_Of(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  return std::stoi(stat.substr(stat.rfind(')') + 4));
}

// ---- the host's wait box and status line, as test doubles --------------------------------------------

// Waits on the socket in slices of 20 ms, as the host's event loop would, keeps every detail line
// shown, and answers 取消 once the running test's condition holds (detail seen, time waited).
struct Box_Double {
  std::function<bool(const std::u16string& detail, long long waited_ms)> cancel_when;
  std::vector<std::u16string> details;
  std::u16string title;
};
Box_Double* g_box = nullptr;

int Box_Double_Fn(Zem_Wait* w, int op) {
  if (!g_box) return ZEM_WAIT_NOT_HERE;
  if (op == ZEM_WAIT_END) return 1;
  w->host = g_box;
  g_box->title = w->title ? w->title : u"";
  for (;;) {
    char16_t buf[512] = u"";
    const int n = w->detail ? w->detail(w->ctx, buf, 512) : 0;
    const std::u16string detail(buf, static_cast<size_t>(n > 0 ? n : 0));
    if (!detail.empty() && (g_box->details.empty() || g_box->details.back() != detail)) g_box->details.push_back(detail);
    const long long now = Zem_Wait_Now_Ms();
    if (g_box->cancel_when && g_box->cancel_when(detail, now - w->started_ms)) return ZEM_WAIT_CANCELLED;
    if (op == ZEM_WAIT_TICK) return ZEM_WAIT_READY;
    if (w->done && w->done(w->ctx)) return ZEM_WAIT_READY;
    if (w->deadline_ms > 0 && now >= w->deadline_ms) return ZEM_WAIT_TIMEOUT;
    if (w->until_ms > 0 && now >= w->until_ms) return ZEM_WAIT_AGAIN;
    pollfd p{w->fd, w->events, 0};
    if (poll(w->fd >= 0 ? &p : nullptr, w->fd >= 0 ? 1 : 0, 20) > 0) return ZEM_WAIT_READY;
  }
}

std::vector<std::pair<std::u16string, int>>* g_status = nullptr;
int Status_Double_Fn(const char16_t* text, int kind) {
  if (g_status) g_status->push_back({text, kind});
  return 1;
}

// Registers both doubles once (the framework keeps the addresses it found); each test points them at
// its own records for its scope.
class Doubles {
 public:
  Doubles() {
    static const bool registered = [] {
      Gui_Wait_Box_Fn box = Box_Double_Fn;
      Gui_Status_Text_Fn status = Status_Double_Fn;
      return Reg_Pub_Ptr(kGui_Wait_Box, reinterpret_cast<void*>(box)) &&
             Reg_Pub_Ptr(kGui_Status_Text, reinterpret_cast<void*>(status));
    }();
    EXPECT_TRUE(registered);
    g_box = &box;
    g_status = &status;
  }
  ~Doubles() {
    g_box = nullptr;
    g_status = nullptr;
  }
  Box_Double box;
  std::vector<std::pair<std::u16string, int>> status;
};

// The public parameters of the waits, for one scope.
struct Bounds {
  Bounds(int statement_s, int connect_s) {
    Pub_Para_Put_Int(u"db_statement_timeout", statement_s);
    Pub_Para_Put_Int(u"db_connect_timeout", connect_s);
  }
  ~Bounds() {
    Pub_Para_Put_Int(u"db_statement_timeout", 30);
    Pub_Para_Put_Int(u"db_connect_timeout", 10);
  }
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

// A call's one deadline covers all of its round trips: a batch whose every row takes 0.15 s (a
// trigger) stops after 1 s as a whole, keeping none of its rows, where a bound per round trip would
// have let twenty such rows through.
TEST_P(Db_Test, OneDeadlineCoversEveryRoundTripOfACall) {
  if (!Pg()) GTEST_SKIP() << "SQLite has no server round trips; its bound covers the call already";
  TSQLCA q;
  Ok(q, {u"create table slow(v integer)",
         u"create function slow_row() returns trigger as $$ begin perform pg_sleep(0.15); return new; end $$ "
         u"language plpgsql",
         u"create trigger slow_t before insert on slow for each row execute function slow_row()"});
  struct Row { const char* name; int rows; int code; const char* says; const char16_t* kept; };
  const Row rows[] = {
      {"twenty rows do not fit", 20, 57014, "57014: statement timeout: no answer within 1 s", u"0"},
      {"three rows fit", 3, 0, "", u"3"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    q.SelectArea(1);
    zem_test::Fill_Area(q, u"slow", {u"v"}, {});
    for (int i = 0; i < r.rows; i++) {
      q.Add_Row();
      q.Set_Value(0, U(std::to_string(i)).c_str());
    }
    q.Set_Statement_Timeout(1);  // this query area's own bound
    EXPECT_EQ(q.Batch_Insert(), r.code) << Msg(q);
    EXPECT_TRUE(Has(Msg(q), r.says)) << Msg(q);
    if (r.code) {
      EXPECT_EQ(User(q), "数据库在 1 秒内没有完成这次操作，已取消；这次操作没有留下任何修改");
    }
    q.Set_Statement_Timeout(0);
    q.Free_Area();
    EXPECT_EQ(Value(q, u"select count(*) from slow"), r.kept);
    ASSERT_EQ(q.Rollback(), 0);
  }
}

// 取消 in the wait box stops the call and returns at once: inside a write a server that answers the
// cancel undoes only the call's work; SQLite stops the statement from its progress handler (a write
// stopped half way takes its transaction along). The box showed the call's title. (The real box, a
// stopped backend and the deadline: tests/host.)
TEST_P(Db_Test, CancelStopsTheCallAndUndoesItsWork) {
  struct Row {
    const char* backend; const char* name; bool in_write; bool stop; const char16_t* sql;
    const char* says; int commit; const char16_t* kept; bool same_session;
  };
  const std::u16string endless = u"with recursive c(x) as (select 1 union all select x+1 from c) ";
  const std::u16string count = endless + u"select count(*) from c";
  const std::u16string write = u"insert into t " + endless + u"select x from c";
  const Row rows[] = {
      {"pg", "inside a write: only the call is undone", true, false, u"insert into t select 2 from pg_sleep(30)",
       "57014: cancelled by the user after", 0, u"1", true},
      {"sqlite", "a long read", false, false, count.c_str(), "cancelled by the user after", 0, u"0", true},
      {"sqlite", "a long write in a write", true, false, write.c_str(),
       "the statement was stopped; the open transaction was rolled back", SQLITE_ABORT_ROLLBACK, u"0", true},
  };
  Bounds bounds(30, 10);
  for (const Row& r : rows) {
    if (GetParam() != r.backend) continue;
    SCOPED_TRACE(r.name);
    TSQLCA q;
    Ok(q, {u"drop table if exists t", u"create table t(v integer)"});
    const std::u16string pid = Pg() ? Value(q, u"select pg_backend_pid()") : u"";
    if (r.in_write) {
      ASSERT_EQ(q.Exec(u"insert into t values(1)"), 0) << Msg(q);
    }
    pid_t stopped = r.stop ? std::stoi(Utf8(pid.c_str())) : 0;
    if (stopped) {
      ASSERT_EQ(kill(stopped, SIGSTOP), 0);
    }
    {
      Doubles d;
      d.box.cancel_when = [](const std::u16string&, long long waited) { return waited >= 300; };
      EXPECT_NE(q.Exec(r.sql), 0);
      EXPECT_EQ(d.box.title, u"正在等待数据库…");
    }
    if (stopped) kill(stopped, SIGCONT);
    EXPECT_TRUE(Has(Msg(q), r.says)) << Msg(q);
    EXPECT_EQ(User(q), r.commit ? "已取消：数据库操作已中止；之前尚未提交的修改也已丢失，这次没有保存任何内容，请再保存一次"
                                : "已取消：数据库操作已中止，没有留下任何修改");
    EXPECT_EQ(q.Commit(), r.commit) << Msg(q);
    EXPECT_EQ(Value(q, u"select count(*) from t"), r.kept);
    if (Pg()) {
      EXPECT_EQ(Value(q, u"select pg_backend_pid()") == pid, r.same_session);
    }
  }
}

// Backends stopped with SIGSTOP while a statement runs and while a batch runs: the call returns (its
// deadline, then the cancel awaited in vain) with a message that says so, the data is as before the
// call, and once the backend continues the next call works.
TEST_P(Db_Test, StoppedBackendMidStatementAndMidBatch) {
  if (!Pg()) GTEST_SKIP() << "a SQLite database has no backend to stop";
  struct Row { const char* name; bool batch; };
  for (const Row& r : {Row{"mid-statement", false}, Row{"mid-batch", true}}) {
    SCOPED_TRACE(r.name);
    TSQLCA q;
    Ok(q, {u"drop table if exists s", u"create table s(k integer primary key, v integer)",
           u"insert into s values(1, 10), (2, 20)"});
    const std::string pid = Utf8(Value(q, u"select pg_backend_pid()").c_str());
    std::atomic<bool> stopped{false};
    std::atomic<bool> returned{false};
    // Stops the backend once it is inside the call's transaction, as a server that stalls mid-way. It
    // watches until the call returns: filling the batch's rows first takes seconds on a loaded machine.
    // What the stopper saw last, told when it never stopped the backend.
    std::string seen;
    std::thread stopper([&] {
      PGconn* c = nullptr;
      // Between calls no transaction is open, so one open is this call's (running a statement or, on a
      // loaded machine, waiting for the batch's next rows).
      const std::string inside = "select 1 from pg_stat_activity where pid = " + pid + " and xact_start is not null";
      int polls = 0;
      for (int i = 0; i < 60000 && !stopped && !returned; i++, usleep(2000)) {
        if (!c || PQstatus(c) != CONNECTION_OK) {
          // A watcher that could not connect would never see the call: it tries again.
          if (c) seen = PQerrorMessage(c);
          PQfinish(c);
          c = PQconnectdb(std::getenv("ZEM_PG_CONNINFO"));
          continue;
        }
        PGresult* res = PQexec(c, inside.c_str());
        ++polls;
        if (PQresultStatus(res) != PGRES_TUPLES_OK) seen = PQerrorMessage(c);
        if (PQntuples(res) == 1) stopped = kill(std::stoi(pid), SIGSTOP) == 0;
        PQclear(res);
      }
      if (!stopped && c && PQstatus(c) == CONNECTION_OK) {
        PGresult* res = PQexec(c, ("select coalesce(state, '-') || ' ' || coalesce(xact_start::text, 'no transaction') "
                                   "|| ' ' || coalesce(query, '') from pg_stat_activity where pid = " + pid).c_str());
        seen += " after " + std::to_string(polls) + " looks; now: " +
                (PQntuples(res) == 1 ? PQgetvalue(res, 0, 0) : "no such backend");
        PQclear(res);
      }
      PQfinish(c);
    });
    Bounds bounds(2, 10);
    int code = 0;
    if (r.batch) {
      q.SelectArea(1);
      zem_test::Fill_Area(q, u"s", {u"k", u"v"}, {});
      for (int i = 3; i < 200003; i++) {
        q.Add_Row();
        q.Set_Value(0, U(std::to_string(i)).c_str());
        q.Set_Value(1, u"0");
      }
      code = q.Batch_Insert();
    } else {
      code = q.Exec(u"update s set v = v + 1 from (select pg_sleep(0.5)) z");
    }
    returned = true;
    stopper.join();
    ASSERT_TRUE(stopped.load()) << "the backend was never seen inside the call: " << seen;
    EXPECT_EQ(code, DB_LOST_CONNECTION) << Msg(q);
    EXPECT_TRUE(Has(Msg(q), "ConnectionWrite: no answer from the server within 2 s; the statement was cancelled "
                            "and the connection closed")) << Msg(q);
    EXPECT_EQ(User(q), "数据库在 2 秒内没有完成这次操作，已取消；这次操作没有留下任何修改");
    kill(std::stoi(pid), SIGCONT);
    q.SelectArea(0);
    EXPECT_EQ(Value(q, u"select count(*) || ' ' || sum(v) from s"), u"2 30") << "as before the call";
    EXPECT_NE(Utf8(Value(q, u"select pg_backend_pid()").c_str()), pid) << "a fresh session";
  }
}

// After a call no session sits idle in a transaction, unless a write of its own is pending: reads,
// failures, stopped calls and dictionary loads end what they opened. PostgreSQL says it in
// pg_stat_activity; on SQLite another connection can start writing exactly when nothing is held.
TEST_P(Db_Test, NoSessionIdleInTransactionAfterACall) {
  TSQLCA q;
  Ok(q, {u"drop table if exists it", u"create table it(k integer primary key)", u"insert into it values(1)"});
  const std::string pid = Pg() ? Utf8(Value(q, u"select pg_backend_pid()").c_str()) : "";
  auto holds = [&]() -> bool {
    if (Pg()) return Pg_Value("select state from pg_stat_activity where pid = " + pid) == "idle in transaction";
    sqlite3* other = nullptr;
    sqlite3_open((dir_ + "/test.db").c_str(), &other);
    const bool busy = sqlite3_exec(other, "begin immediate", nullptr, nullptr, nullptr) == SQLITE_BUSY;
    sqlite3_exec(other, "rollback", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    return busy;
  };
  Bounds bounds(1, 10);
  struct Step { const char* name; std::function<void()> run; bool open; };
  const Step steps[] = {
      {"a select", [&] { q.Exec(u"select count(*) from it"); }, false},
      {"a read the first word does not give away", [&] {
         q.Exec(Pg() ? u"show server_version" : u"pragma table_info(it)"); }, false},
      {"a failing read", [&] { q.Exec(u"select * from no_such_table"); }, false},
      {"a prepared statement (the session keeps it)", [&] {
         q.Exec(Pg() ? u"prepare zem_p as select count(*) from it" : u"select count(*) from it"); }, false},
      {"a write alone that fails", [&] { q.Exec(u"insert into it values(1)"); }, false},
      {"a write stopped by its deadline", [&] {
         q.Exec(Pg() ? u"insert into it select 5 from pg_sleep(3)"
                     : u"insert into it with recursive c(x) as (select 10 union all select x+1 from c) select x from c");
       }, false},
      {"a write: its transaction stays until commit", [&] { q.Exec(u"insert into it values(2)"); }, true},
      {"a failing statement inside the write", [&] { q.Exec(u"insert into it values(1)"); }, true},
      {"commit", [&] { q.Commit(); }, false},
      {"a write, then rollback", [&] {
         q.Exec(u"insert into it values(3)");
         q.Rollback();
       }, false},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    s.run();
    EXPECT_EQ(holds(), s.open);
  }
  EXPECT_EQ(Value(q, u"select count(*) from it"), u"2");
}

// The server goes away between two calls (its session terminated, as a restart does): with nothing
// pending the next call reconnects and runs, and nobody sees a failure; with a write pending the
// loss is told once, in words a user understands, and the next unit of work goes through.
TEST_P(Db_Test, LostConnectionBetweenCallsIsNoFailureWhenNothingWasPending) {
  if (!Pg()) GTEST_SKIP() << "a SQLite file has no connection to lose";
  zem_test::Log_Capture log;
  TSQLCA q;
  Ok(q, {u"drop table if exists rs", u"create table rs(k integer primary key)"});
  auto end_session = [&] {
    const std::string pid = Utf8(Value(q, u"select pg_backend_pid()").c_str());
    ASSERT_EQ(zem_test::Pg_Admin(std::getenv("ZEM_PG_CONNINFO"),
                                 "do $$ begin perform pg_terminate_backend(" + pid + ", 10000); end $$"),
              "");
  };
  // commit: what the commit after the next statement answers (a commit would otherwise keep a part of
  // the lost unit of work).
  struct Row { const char* name; bool pending; const char16_t* next; int code; const char* user; int commit; };
  const Row rows[] = {
      {"idle, then a read", false, u"select count(*) from rs", 0, "", 0},
      {"idle, then a write", false, u"insert into rs values(1)", 0, "", 0},
      {"a write pending", true, u"insert into rs values(3)", DB_LOST_TRANSACTION,
       "与数据库的连接中断，之前尚未提交的修改已丢失，这次没有保存任何内容；请再保存一次", DB_LOST_TRANSACTION},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    if (r.pending) {
      ASSERT_EQ(q.Exec(u"insert into rs values(2)"), 0);
    }
    end_session();
    EXPECT_EQ(q.Exec(r.next), r.code) << Msg(q);
    EXPECT_EQ(User(q), r.user);
    EXPECT_EQ(q.Commit(), r.commit) << Msg(q);
    EXPECT_EQ(q.Commit(), 0) << Msg(q) << ": the news is told once";
  }
  EXPECT_EQ(Value(q, u"select string_agg(k::text, ',' order by k) from rs"), u"1");
  EXPECT_TRUE(log.Has("the connection was gone before the call ran")) << log.Text();
}

// A server that cannot be reached: each failed attempt lengthens the pause before the next one
// (1 s, 2 s ...), calls meanwhile fail at once with the next try's time, the status line says the link
// is down and, at the first attempt that succeeds, that it is back. The server here is a real one
// whose postmaster is stopped: its port accepts, nothing answers.
TEST_P(Db_Test, UnreachableServerBacksOffAndSaysWhenItIsBack) {
  if (!Pg()) GTEST_SKIP() << "a SQLite file is never unreachable";
  TSQLCA q;
  const pid_t postmaster = Parent_Of(std::stoi(Utf8(Value(q, u"select pg_backend_pid()").c_str())));
  Db_Connect_Mgr()->Clear();  // no session open: the next call connects
  TDb_Config cfg = cfg_;
  cfg.text[0] += u" connect_timeout=1";
  ASSERT_TRUE(Db_Connect_Mgr()->Add_Config(cfg));
  Doubles d;
  Bounds bounds(30, 10);
  TDb_Connect* session = Db_Connect_Mgr()->Get_Session();
  auto wait_for_turn = [&] {
    while (session->Retry_In_Ms() > 0) usleep(20000);
  };
  ASSERT_EQ(kill(postmaster, SIGSTOP), 0);
  struct Step { const char* name; bool wait_turn; int code; const char* user; const char* status; };
  const Step steps[] = {
      {"first attempt", false, 999, "数据库连接中断，1 秒后重试", "数据库连接中断，1 秒后重试"},
      {"at once: not tried", false, 999, "数据库连接中断，1 秒后重试", nullptr},
      {"its turn: tried again", true, 999, "数据库连接中断，2 秒后重试", "数据库连接中断，2 秒后重试"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    if (s.wait_turn) wait_for_turn();
    d.status.clear();
    EXPECT_EQ(q.Exec(u"select 1"), s.code);
    EXPECT_EQ(Msg(q), "cant link to db server");
    EXPECT_EQ(User(q), s.user);
    using Lines = decltype(d.status);
    EXPECT_EQ(d.status, (s.status ? Lines{{U(s.status), 1}} : Lines()));
  }
  kill(postmaster, SIGCONT);
  wait_for_turn();
  d.status.clear();
  EXPECT_EQ(Value(q, u"select 7"), u"7");
  EXPECT_EQ(d.status, (decltype(d.status){{u"数据库连接已恢复", 2}}));
}

// The host name is looked up within the connect bound, before libpq connects to the address found: a
// name whose resolver never answers fails after the bound with a message that names it. The child
// process gets its own view of /etc/resolv.conf pointing at a loopback address where a socket takes
// the questions and answers none.
TEST(Db_Waits, NameThatDoesNotResolveFailsWithinTheConnectBound) {
  zem_test::Ensure_Dll_Path();
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t child = fork();
  if (child == 0) {
    auto fail = [&](const std::string& why) {
      const std::string line = "setup: " + why;
      (void)!write(out[1], line.data(), line.size());
      _exit(2);
    };
    if (unshare(CLONE_NEWNS) != 0) fail("no mount namespace (" + std::string(strerror(errno)) + ")");
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) fail("mounts not private");
    const std::string conf = "/tmp/zem-resolv-" + std::to_string(getpid());
    std::ofstream(conf) << "nameserver 127.0.0.77\noptions timeout:30 attempts:1\n";
    if (mount(conf.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0) fail("resolv.conf not replaced");
    const int dns = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(53);
    inet_pton(AF_INET, "127.0.0.77", &a.sin_addr);
    if (bind(dns, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) fail("no silent resolver");
    Pub_Para_Put_Int(u"db_connect_timeout", 1);
    TDb_Config cfg;
    cfg.driver = "zem_drv_pg";
    cfg.text[0] = u"host=db.zem-slow.example port=5432 dbname=x";
    TDb_Connect c;
    DBDataMgr ds;
    const int ok = c.Set_Config(cfg) && c.Connect(&ds);
    const std::string msg = ok ? "connected" : Utf8(ds.Get_Sqlmsg());
    unlink(conf.c_str());
    (void)!write(out[1], msg.data(), msg.size());
    _exit(0);
  }
  close(out[1]);
  std::string msg;
  char buf[512];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) msg.append(buf, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot build the slow resolver here: " << msg;
  EXPECT_EQ(msg, "连接失败: the name db.zem-slow.example was not resolved within 1 s");
}
