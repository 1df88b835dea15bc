// Sessions under faults: a server that never answers, statements past their bound, a batch cut half way
// by a lost connection or by another process's lock. Every wait ends in an error that says what
// happened (the suite's own timeout catches a hang), and counts match what the table holds.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "core/data/para.h"
#include "drivers/db_fixture.h"

using zem_test::Db_Test;
using zem_test::U;
using zem_test::Utf8;

namespace {

std::string Msg(TSQLCA& q) { return Utf8(q.Get_Error_Msg()); }

std::u16string Value(TSQLCA& q, const char16_t* sql) {
  return q.Exec(sql) == 0 ? std::u16string(q.Get_Value(0)) : u"error: " + std::u16string(q.Get_Error_Msg());
}

}  // namespace

// A loopback port whose connections the kernel completes and nobody reads or answers.
TEST(Db_Faults, ServerThatNeverAnswersFailsTheConnect) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t n = sizeof a;
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), n) | listen(fd, 8) |
                getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n), 0);
  const std::string at = "host=127.0.0.1 port=" + std::to_string(ntohs(a.sin_port)) + " dbname=x";
  zem_test::Ensure_Dll_Path();
  struct Row { const char* name; std::string text; int default_s; };
  for (const Row& r : {Row{"bound in the connection text", at + " connect_timeout=1", 60},
                       Row{"default bound, db_connect_timeout", at, 1}}) {
    SCOPED_TRACE(r.name);
    Pub_Para_Put_Int(u"db_connect_timeout", r.default_s);
    TDb_Config cfg;
    cfg.driver = "zem_drv_pg";
    cfg.text[0] = U(r.text);
    Db_Connect_Mgr()->Clear();
    ASSERT_TRUE(Db_Connect_Mgr()->Add_Config(cfg));
    DBDataMgr d;
    EXPECT_EQ(Db_Connect_Mgr()->Get_Session()->Connect(&d), 0);
    EXPECT_NE(Utf8(d.Get_Sqlmsg()).find("连接失败: no answer from the server at 127.0.0.1"), std::string::npos)
        << Utf8(d.Get_Sqlmsg());
    TSQLCA q;
    EXPECT_EQ(q.Exec(u"select 1"), 999);
  }
  Db_Connect_Mgr()->Clear();
  close(fd);
}

// A statement past "db_statement_timeout" in an open transaction, then the next statement and a commit:
// a server that takes the cancel keeps the session and the transaction; a stopped backend loses both,
// and the commit says so and undoes the statements since (committed later on their own, they would be
// a part of the unit without the rest), as SQLite does after a write stopped half way. So does a server
// that cannot take the cancel (its postmaster stopped) while the statement answers anyway: the cancel,
// arriving later, would stop whichever statement ran then. A rollback that meets a lost connection
// leaves the next unit of work alone. A statement whose error came back before the server went (it ended
// its own backend) loses the transaction in its undo: the call and the commit say so.
TEST_P(Db_Test, StatementPastItsBound) {
  enum Stop { NONE, BACKEND, POSTMASTER, ENDED, SELF };
  struct Row {
    const char* backend; const char16_t* sql; Stop stop; const char* says; int commit; const char16_t* kept;
    const char* user;
  };
  const std::u16string endless = u"with recursive c(x) as (select 1 union all select x+1 from c) select ";
  const std::u16string count = endless + u"count(*) from c";
  const std::u16string write = u"insert into t " + endless + u"x from c";
  const char* const plain = "数据库在 1 秒内没有完成这次操作，已取消；这次操作没有留下任何修改";
  const char* const took_earlier =
      "数据库在 1 秒内没有完成这次操作，已取消；之前尚未提交的修改也已丢失，这次没有保存任何内容，请再保存一次";
  const char* const lost = "与数据库的连接中断，之前尚未提交的修改已丢失，这次没有保存任何内容；请再保存一次";
  const Row rows[] = {
      {"sqlite", count.c_str(), NONE, "statement timeout: the statement ran longer than 1 s", 0, u"2", plain},
      {"sqlite", write.c_str(), NONE, "and was stopped; the open transaction was rolled back",
       SQLITE_ABORT_ROLLBACK, u"0", took_earlier},
      {"pg", u"select pg_sleep(60)", NONE,
       "57014: statement timeout: no answer within 1 s; the statement was cancelled on the server", 0, u"2", plain},
      {"pg", u"select 1", BACKEND,
       "ConnectionWrite: no answer from the server within 1 s; the statement was cancelled and the connection "
       "closed; the transaction open on it was lost", DB_LOST_TRANSACTION, u"0", took_earlier},
      {"pg", u"select pg_sleep(1.5)", POSTMASTER,
       "ConnectionWrite: the server did not take the cancel of a statement past its bound of 1 s; the "
       "connection was closed; the transaction open on it was lost", DB_LOST_TRANSACTION, u"0", took_earlier},
      {"pg", u"rollback", ENDED, "ConnectionWrite: the connection to the server was lost", 0, u"1", lost},
      {"pg", u"select 1 / (case when pg_terminate_backend(pg_backend_pid()) then 0 else 0 end)", SELF,
       "the transaction open on it was lost: nothing since the last commit was kept (the call had failed: 22012",
       DB_LOST_TRANSACTION, u"0", lost},
  };
  Pub_Para_Put_Int(u"db_connect_timeout", 1);  // the reconnection while the postmaster is stopped
  for (const Row& r : rows) {
    if (GetParam() != r.backend) continue;
    SCOPED_TRACE(r.says);
    TSQLCA q;
    Ok(q, {u"drop table if exists t", u"create table t(v integer)"});
    const std::u16string pid = Pg() ? Value(q, u"select pg_backend_pid()") : u"";
    ASSERT_EQ(q.Exec(u"insert into t values(1)"), 0) << Msg(q);
    pid_t stopped = 0;
    if (r.stop == ENDED) {
      const std::string end =
          "do $$ begin perform pg_terminate_backend(" + Utf8(pid.c_str()) + ", 10000); end $$";
      ASSERT_EQ(zem_test::Pg_Admin(std::getenv("ZEM_PG_CONNINFO"), end), "");
    } else if (r.stop && r.stop != SELF) {
      stopped = std::stoi(Utf8(pid.c_str()));
      if (r.stop == POSTMASTER) {  // the backend's parent: "pid (name) state ppid ..."
        std::ifstream f("/proc/" + std::to_string(stopped) + "/stat");
        std::string stat((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        stopped = std::stoi(stat.substr(stat.rfind(')') + 4));
      }
      ASSERT_EQ(kill(stopped, SIGSTOP), 0);
    }
    Pub_Para_Put_Int(u"db_statement_timeout", 1);  // this statement's bound only: set-up may be slow
    EXPECT_NE(q.Exec(r.sql), 0);
    if (stopped) kill(stopped, SIGCONT);
    Pub_Para_Put_Int(u"db_statement_timeout", 300);
    EXPECT_NE(Msg(q).find(r.says), std::string::npos) << Msg(q);
    EXPECT_EQ(Utf8(q.Get_User_Msg()), r.user);
    ASSERT_EQ(q.Exec(u"insert into t values(2)"), 0) << Msg(q);
    EXPECT_EQ(q.Commit(), r.commit) << Msg(q);
    EXPECT_EQ(Value(q, u"select count(*) from t"), r.kept);
    EXPECT_EQ(Value(q, u"select pg_backend_pid()") == pid, Pg() && !r.stop) << "same session unless lost";
  }
  Pub_Para_Put_Int(u"db_connect_timeout", 15);
}

// A batch cut half way (PostgreSQL: its backend terminated from another session; SQLite: another process
// holds the file's lock) reports no row, the next statement works, and the table holds what was counted.
TEST_P(Db_Test, BatchCutHalfWayReportsWhatTheTableHolds) {
  TSQLCA q;
  Ok(q, {u"drop table if exists b", u"create table b(v integer)", u"insert into b values(-1)"});
  const std::string pid = Pg() ? Utf8(Value(q, u"select pg_backend_pid()").c_str()) : "";
  q.SelectArea(1);
  zem_test::Fill_Area(q, u"b", {u"v"}, {});
  for (int i = 0; i < (Pg() ? 50000 : 3); i++) {
    q.Add_Row();
    q.Set_Value(0, U(std::to_string(i)).c_str());
  }
  int go[2], held[2];
  ASSERT_EQ(pipe(go) | pipe(held), 0);
  std::thread killer;
  pid_t locker = Pg() ? 0 : fork();
  if (locker == 0 && !Pg()) {
    sqlite3* db = nullptr;
    char c = sqlite3_open((dir_ + "/test.db").c_str(), &db) == SQLITE_OK &&
                     sqlite3_exec(db, "begin exclusive", nullptr, nullptr, nullptr) == SQLITE_OK ? 'y' : 'n';
    _exit(write(held[1], &c, 1) == 1 && read(go[0], &c, 1) == 1 ? 0 : 1);
  }
  if (Pg()) {
    killer = std::thread([pid] {
      PGconn* c = PQconnectdb(std::getenv("ZEM_PG_CONNINFO"));
      const std::string kill_once_open = "select pg_terminate_backend(pid) from pg_stat_activity where pid = " +
                                         pid + " and xact_start is not null";
      for (bool hit = false; !hit; usleep(10000)) {
        PGresult* r = PQexec(c, kill_once_open.c_str());
        hit = PQntuples(r) == 1 || PQresultStatus(r) != PGRES_TUPLES_OK;
        PQclear(r);
      }
      PQfinish(c);
    });
  } else {
    char c = 0;
    ASSERT_TRUE(read(held[0], &c, 1) == 1 && c == 'y');
    Pub_Para_Put_Int(u"db_statement_timeout", 1);
  }
  EXPECT_NE(q.Batch_Insert(), 0);
  EXPECT_NE(Msg(q).find(Pg() ? "ConnectionWrite" : "another connection or process holds a lock"), std::string::npos)
      << Msg(q);
  const int reported = q.Get_Result_Int();
  q.SelectArea(0);
  if (killer.joinable()) killer.join();
  if (locker > 0) {
    EXPECT_NE(q.Exec(u"insert into b values(-2)"), 0) << "still locked";
    EXPECT_EQ(write(go[1], "x", 1), 1);
    waitpid(locker, nullptr, 0);
    Pub_Para_Put_Int(u"db_statement_timeout", 300);
  }
  for (int fd : {go[0], go[1], held[0], held[1]}) close(fd);
  EXPECT_EQ(reported, 0);
  EXPECT_EQ(Value(q, u"select count(*) from b"), U(std::to_string(1 + reported)));
  EXPECT_EQ(q.Commit(), 0) << "the batch opened the transaction: its own failure said all there was to lose";
  q.SelectArea(1);
  ASSERT_EQ(q.Batch_Insert(), 0) << Msg(q);
  EXPECT_EQ(q.Get_Result_Int(), q.Get_Row_Count());
  q.SelectArea(0);
  ASSERT_EQ(q.Commit(), 0);
  EXPECT_EQ(Value(q, u"select count(*) from b"), U(std::to_string(1 + q.Area_Data(1)->Get_Row_Count())));
}
