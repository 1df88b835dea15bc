// Several clerks on one database, each a process of its own (zem_clerk_client): edits of one row by two
// clerks (the second is refused as a conflict, nothing overwritten), edits of different columns of
// one row (both kept), a department renamed and stopped with plain SQL (every clerk's combo box, both
// tree views and grid show it, and the dictionary stops it, without a restart), a server restart
// between two saves (the next save works first time), and after every step no session of the
// database idle in a transaction. On a throwaway PostgreSQL cluster of the test's own (it is
// restarted) and on one SQLite file.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/data/db_connect.h"
#include "core/data/sqlca.h"
#include "dict/dict.h"
#include "tests/dict/dict_notify_client.h"

using zem_test::Notify_Child;

namespace {

std::string Run_Script(const std::string& args) {
  const std::string cmd = std::string(ZEM_SOURCE_DIR) + "/tools/pg-test-cluster.sh " + args + " 2>&1";
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char b[512];
    while (std::fgets(b, sizeof b, p)) out += b;
    if (pclose(p) != 0) out = "failed: " + out;
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// The first value of a query on a bare libpq connection; "error: ..." when it fails.
std::string Pg_Value(const std::string& conninfo, const std::string& sql) {
  PGconn* c = PQconnectdb(conninfo.c_str());
  std::string v;
  if (PQstatus(c) != CONNECTION_OK) {
    v = std::string("error: ") + PQerrorMessage(c);
  } else {
    PGresult* r = PQexec(c, sql.c_str());
    const ExecStatusType st = PQresultStatus(r);
    if (st == PGRES_TUPLES_OK) v = PQntuples(r) > 0 ? PQgetvalue(r, 0, 0) : "";
    else if (st != PGRES_COMMAND_OK) v = std::string("error: ") + PQresultErrorMessage(r);
    PQclear(r);
  }
  PQfinish(c);
  return v;
}

// A database for the clerks: the package's dictionary tables and the vouchers.
class Clerks_Test : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    if (!std::getenv("TARVOK_DLL_PATH"))
      setenv("TARVOK_DLL_PATH", std::filesystem::read_symlink("/proc/self/exe").parent_path().c_str(), 1);
    if (Pg()) {
      // Beside the temporary folder, not in it: the server's user must reach it (the script makes it).
      cluster_ = "/tmp/zem-clerks-pg-" + std::to_string(getpid());
      conninfo_ = Run_Script("start " + cluster_);
      ASSERT_EQ(conninfo_.rfind("host=", 0), 0u) << conninfo_;
      cfg_.driver = "zem_drv_pg";
      cfg_.text[0] = QString::fromStdString(conninfo_).toStdU16String();
    } else {
      cfg_.driver = "zem_drv_sqlite";
      cfg_.text[0] = dir_.filePath(QStringLiteral("clerks.db")).toStdU16String();
    }
    Db_Connect_Mgr()->Clear();
    ASSERT_TRUE(Db_Connect_Mgr()->Add_Config(cfg_));
    TSQLCA q;
    ASSERT_EQ(Dict_Create_Def_Tables(&q), 0) << Utf8(q.Get_Error_Msg());
    for (const char16_t* sql :
         {u"create table vouchers(voucher_no varchar(20) primary key, dept_code varchar(20), summary varchar(100), "
          u"amount numeric(14,2))",
          u"insert into vouchers values('V1', '03', '采购钢板', 1000.00)",
          u"insert into vouchers values('V2', '04', '运费', 500.00)",
          u"insert into vouchers values('V3', '03', '样品', 20.00)",
          u"insert into app_dict_def values('dept', '03', '销售部', 'N', 'N', 0, '', 1)",
          u"insert into app_dict_def values('dept', '04', '采购部', 'N', 'N', 0, '', 2)",
          u"insert into app_dict_def values('dept', '05', '仓储部', 'N', 'N', 0, '', 3)", u"commit"})
      ASSERT_EQ(q.Exec(sql), 0) << Utf8(q.Get_Error_Msg());
    Db_Connect_Mgr()->Clear();
  }
  void TearDown() override {
    clients_.clear();
    if (Pg()) Run_Script("stop " + cluster_);
  }
  bool Pg() const { return GetParam() == "pg"; }
  static std::string Utf8(const wchar16* w) { return Zem_W_To_Utf8(w); }

  Notify_Child* Start_Client() {
    clients_.push_back(std::make_unique<Notify_Child>());
    const std::string exe =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "zem_clerk_client").string();
    EXPECT_TRUE(clients_.back()->Start({exe, cfg_.driver, Utf8(cfg_.text[0].c_str())}));
    std::string line;
    EXPECT_TRUE(clients_.back()->Read(&line, 60000));
    EXPECT_EQ(line, "ready");
    return clients_.back().get();
  }

  // A command to a clerk and its answer.
  static std::string Ask(Notify_Child* c, const std::string& command) {
    std::string line;
    if (!c->Send(command) || !c->Read(&line, 90000)) return "(no answer)";
    return line;
  }

  // A statement of someone else's, in plain SQL on a session of its own.
  void Plain_Sql(const char16_t* sql) {
    TDb_Connect other;
    ASSERT_TRUE(other.Set_Config(cfg_));
    TSQLCA q;
    q.Set_Connect(&other);
    ASSERT_EQ(q.Exec(sql), 0) << Utf8(q.Get_Error_Msg());
    ASSERT_EQ(q.Commit(), 0) << Utf8(q.Get_Error_Msg());
  }

  // The voucher's summary and amount in the table, "summary|amount".
  std::string Voucher(const char16_t* no) {
    TDb_Connect other;
    other.Set_Config(cfg_);
    TSQLCA q;
    q.Set_Connect(&other);
    if (q.Select(u"select summary, amount * 100 from vouchers where voucher_no = ?", {no}) != 0 || q.Get_Row_Count() != 1)
      return "?";
    std::string amount = Utf8(q.Get_Row_Value(0, 1));
    return Utf8(q.Get_Row_Value(0, 0)) + "|" + amount.substr(0, amount.find('.'));
  }

  // Sessions of the database idle in a transaction (every client's included), "0" when none.
  std::string Idle_In_Transaction() {
    if (!Pg()) return "0";
    return Pg_Value(conninfo_,
                    "select count(*) from pg_stat_activity where state like 'idle in transaction%' and pid <> "
                    "pg_backend_pid()");
  }

  QTemporaryDir dir_;
  std::string cluster_, conninfo_;
  TDb_Config cfg_;
  std::vector<std::unique_ptr<Notify_Child>> clients_;
};

TEST_P(Clerks_Test, TwoClerksOneDatabase) {
  Notify_Child* a = Start_Client();
  Notify_Child* b = Start_Client();
  struct Step {
    const char* name;
    std::function<void()> act;
  } steps[] = {
      {"both load",
       [&] {
         EXPECT_EQ(Ask(a, "load"), "ok 3");
         EXPECT_EQ(Ask(b, "load"), "ok 3");
       }},
      {"one row, one column: the second save is refused and overwrites nothing",
       [&] {
         EXPECT_EQ(Ask(a, "set V1 amount 2000"), "ok");
         EXPECT_EQ(Ask(b, "set V1 amount 3000"), "ok");
         EXPECT_EQ(Ask(a, "save none"), "saved");
         EXPECT_EQ(Ask(b, "save none").substr(0, 8), "code -2 ");
         EXPECT_EQ(Voucher(u"V1"), "采购钢板|200000");
         EXPECT_EQ(Ask(b, "save theirs"), "saved");
         EXPECT_EQ(Voucher(u"V1"), "采购钢板|200000");
       }},
      {"one row, two columns: both kept",
       [&] {
         EXPECT_EQ(Ask(a, "set V3 summary 样品二"), "ok");
         EXPECT_EQ(Ask(b, "set V3 amount 30"), "ok");
         EXPECT_EQ(Ask(a, "save none"), "saved");
         EXPECT_EQ(Ask(b, "save none"), "saved");
         EXPECT_EQ(Voucher(u"V3"), "样品二|3000");
       }},
      {"a department renamed and another stopped with plain SQL",
       [&] {
         Plain_Sql(u"update app_dict_def set name = '销售三部' where dict_id = 'dept' and code = '03'");
         Plain_Sql(u"update app_dict_def set stop_flag = 'Y' where dict_id = 'dept' and code = '04'");
         for (Notify_Child* c : {a, b}) {
           for (const char* what : {"combo", "tree", "ext", "grid"})
             EXPECT_EQ(Ask(c, std::string("wait ") + what + " 03 销售三部"), "ok") << what;
           EXPECT_EQ(Ask(c, "wait combo 04 -"), "ok") << "a stopped department leaves the list";
           EXPECT_EQ(Ask(c, "wait stop 04 1"), "ok") << "and is refused where it is typed";
           EXPECT_EQ(Ask(c, "wait grid 04 采购部"), "ok") << "a voucher's stopped department still shows";
         }
       }},
      {"a server restart between two saves: the next save works first time",
       [&] {
         EXPECT_EQ(Ask(a, "set V2 amount 600"), "ok");
         EXPECT_EQ(Ask(a, "save none"), "saved");
         if (Pg()) {
           EXPECT_EQ(Run_Script("restart " + cluster_), "");
         }
         EXPECT_EQ(Ask(a, "set V2 amount 700"), "ok");
         EXPECT_EQ(Ask(a, "save none"), "saved");
         EXPECT_EQ(Voucher(u"V2"), "运费|70000");
         EXPECT_EQ(Ask(b, "load"), "ok 3");
         EXPECT_EQ(Ask(b, "set V2 summary 运费二"), "ok");
         EXPECT_EQ(Ask(b, "save none"), "saved");
         EXPECT_EQ(Voucher(u"V2"), "运费二|70000");
       }},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    s.act();
    EXPECT_EQ(Idle_In_Transaction(), "0") << "no session is left idle in a transaction";
  }
  for (Notify_Child* c : {a, b}) EXPECT_EQ(c->Finish(), 0);
}

INSTANTIATE_TEST_SUITE_P(Databases, Clerks_Test, ::testing::Values("sqlite", "pg"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
