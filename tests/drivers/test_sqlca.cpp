// Query areas over both bundled drivers: one suite, run once on SQLite and once on PostgreSQL.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "core/data/db_connect.h"
#include "core/data/sqlca.h"
#include "drivers/db_fixture.h"

using zem_test::Db_Test;
using zem_test::Fill_Area;
using zem_test::Log_Capture;
using zem_test::U;
using zem_test::Utf8;

namespace {

std::string Read_Utf16_File(const std::string& path) {
  const std::string bytes = zem_test::Read(path);
  if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF || static_cast<unsigned char>(bytes[1]) != 0xFE)
    return "<no UTF-16LE byte order mark>";
  std::u16string w;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2)
    w.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  return Utf8(w.c_str());
}

}  // namespace

// ---- round trips ------------------------------------------------------------------------------------

TEST_P(Db_Test, ChineseRowsRoundTripWithFieldKinds) {
  TSQLCA q;
  Ok(q, {u"drop table if exists emp_b",
         u"create table emp_b(code varchar(20), name varchar(40), amt numeric(12,2), qty integer, "
         u"rate double precision, born date)",
         u"insert into emp_b values('001', '张三丰', 12.25, 7, 0.5, '2026-12-05')",
         u"insert into emp_b values('002', '李四·O''Brien', -3.10, 0, 1.25, '1999-01-31')",
         u"insert into emp_b values('003', null, null, null, null, null)"});
  ASSERT_EQ(q.Exec(u"select code, name, amt, qty, rate, born from emp_b order by code"), 0)
      << Utf8(q.Get_Error_Msg());
  ASSERT_EQ(q.Get_Row_Count(), 3);
  ASSERT_EQ(q.Get_Field_Count(), 6);
  EXPECT_EQ(q.Get_Table_Name(), std::u16string(u"EMP_B"));

  struct Col { const char16_t* name; char type; int size; int decsize; };
  const Col cols[] = {{u"code", 'S', 20, 0}, {u"name", 'S', 40, 0}, {u"amt", 'F', 12, 2},
                      {u"qty", 'I', 10, 0},  {u"rate", 'F', 15, 0}, {u"born", 'D', 10, 0}};
  for (int i = 0; i < 6; i++) {
    SCOPED_TRACE(Utf8(cols[i].name));
    EXPECT_EQ(std::u16string(q.Get_Field_Name(i)), cols[i].name);
    EXPECT_EQ(q.Get_Field_Type(i), cols[i].type);
    EXPECT_EQ(q.Get_Field_Size(i), cols[i].size);
    EXPECT_EQ(q.Get_Field_Decsize(i), cols[i].decsize);
  }

  EXPECT_EQ(q.Get_Cur_Row(), 0);
  EXPECT_EQ(std::u16string(q.Get_Value(1)), u"张三丰");
  EXPECT_EQ(std::u16string(q.Get_Value(2)), u"12.25");
  EXPECT_EQ(std::u16string(q.Get_Value(3)), u"7");
  EXPECT_EQ(std::u16string(q.Get_Value(5)), u"2026-12-05");
  // The narrow form is GBK: 张 is D5 C5.
  EXPECT_EQ(std::string(q.Get_S_Value(1)).substr(0, 2), "\xD5\xC5");
  ASSERT_TRUE(q.Next());
  EXPECT_EQ(std::u16string(q.Get_Value(u"name")), u"李四·O'Brien");
  EXPECT_EQ(std::u16string(q.Get_Value(u"rate")), u"1.25");
  ASSERT_TRUE(q.Next());
  for (int i = 1; i < 6; i++) EXPECT_EQ(std::u16string(q.Get_Value(i)), u"") << "null reads as empty";
}

TEST_P(Db_Test, BatchInsertStoresAreaRowsAndSkipsTheSkipSumColumn) {
  TSQLCA q;
  Ok(q, {u"drop table if exists dept", u"create table dept(code varchar(10), name varchar(40), ord integer)"});
  q.SelectArea(1);
  const char16_t* names[] = {u"财务部", u"人事部", u"研发部'一'", u""};
  Fill_Area(q, u"dept", {u"code", u"name", u"ord"},
            {{u"A", names[0], u"0"}, {u"B", names[1], u"10"}, {u"C", names[2], u"20"}, {u"D", names[3], u"30"}});
  ASSERT_GE(q.Skip_Sum_Col(), 0);
  EXPECT_TRUE(q.Set_Skip_Sum(1, 1));
  EXPECT_EQ(q.Get_Skip_Sum(1), 1);
  EXPECT_EQ(q.Get_Skip_Sum(0), 0);

  ASSERT_EQ(q.Batch_Insert(), 0) << Utf8(q.Get_Error_Msg());
  EXPECT_EQ(std::u16string(q.Get_Error_Sql()), u"batch insert into DEPT");
  EXPECT_EQ(q.Get_Result_Int(), 4);
  EXPECT_EQ(q.Get_Row_Count(), 4) << "the area keeps its rows";
  q.SelectArea(0);
  ASSERT_EQ(q.Commit(), 0);

  q.SelectArea(2);
  ASSERT_EQ(q.Exec(u"select code, name, ord from dept order by code"), 0) << Utf8(q.Get_Error_Msg());
  ASSERT_EQ(q.Get_Row_Count(), 4);
  for (int i = 0; i < 4; i++) {
    q.Go_To_Row(i);
    EXPECT_EQ(std::u16string(q.Get_Value(1)), names[i]);
  }
  // Empty cells were stored as NULL.
  ASSERT_EQ(q.Exec(u"select count(*) from dept where name is null"), 0);
  EXPECT_EQ(std::u16string(q.Get_Value(0)), u"1");

  // Areas are independent: area 1 still holds what was inserted.
  q.SelectArea(1);
  EXPECT_EQ(q.Get_Row_Count(), 4);
  EXPECT_EQ(std::u16string(q.Get_Error_Sql()), u"batch insert into DEPT");
}

TEST_P(Db_Test, BatchInsertIsAllOrNothing) {
  TSQLCA q;
  Ok(q, {u"drop table if exists uniq_t", u"create table uniq_t(code varchar(10) primary key)"});
  Fill_Area(q, u"uniq_t", {u"code"}, {{u"a"}, {u"b"}, {u"a"}});
  EXPECT_NE(q.Batch_Insert(), 0);
  EXPECT_NE(std::u16string(q.Get_Error_Msg()), u"");
  TSQLCA r;
  ASSERT_EQ(r.Exec(u"select count(*) from uniq_t"), 0);
  EXPECT_EQ(std::u16string(r.Get_Value(0)), u"0");
}

// ---- statement texts -----------------------------------------------------------------------------------

TEST_P(Db_Test, BacktickBecomesPercentAndTableNameComesFromTheText) {
  TSQLCA q;
  Ok(q, {u"drop table if exists emp_b", u"create table emp_b(code varchar(20))",
         u"insert into emp_b values('x1')"});
  ASSERT_EQ(q.Exec(u"select code from emp_b where code like 'x`'"), 0) << Utf8(q.Get_Error_Msg());
  EXPECT_TRUE(q.Get_Row_Count() == 1 && std::u16string(q.Get_Error_Sql()) == u"select code from emp_b where code like 'x%'");
  ASSERT_EQ(q.Exec(u"select 'a`b' as v"), 0);
  EXPECT_EQ(std::u16string(q.Get_Value(0)), u"a%b");
  ASSERT_EQ(q.Exec(u"insert into emp_b values('x2')"), 0);
  EXPECT_TRUE(std::u16string(q.Get_Table_Name()) == u"EMP_B" && q.Get_Result_Int() == 1) << "1: rows changed";
  q.Rollback();
}

TEST_P(Db_Test, CommitKeepsAndRollbackDropsAndOtherSessionsSeeOnlyCommitted) {
  TSQLCA q;
  Ok(q, {u"drop table if exists tx_t", u"create table tx_t(v integer)"});
  ASSERT_EQ(q.Exec(u"insert into tx_t values(1)"), 0);
  ASSERT_EQ(q.Rollback(), 0);
  ASSERT_EQ(q.Exec(u"insert into tx_t values(2)"), 0);

  // A second session (another thread takes the pool's second connection) sees nothing yet.
  std::u16string seen_before, seen_after;
  auto count_from_other_thread = [](std::u16string* out) {
    std::thread t([out] {
      TSQLCA other;
      if (other.Exec(u"select count(*) from tx_t") == 0) *out = other.Get_Value(0);
      else *out = u"error " + std::u16string(other.Get_Error_Msg());
      other.Rollback();
      Db_Connect_Mgr()->Release_Thread();
    });
    t.join();
  };
  if (GetParam() == "pg") {
    count_from_other_thread(&seen_before);
    EXPECT_EQ(seen_before, u"0");
  }
  ASSERT_EQ(q.Commit(), 0);
  count_from_other_thread(&seen_after);
  EXPECT_EQ(seen_after, u"1");
  ASSERT_EQ(q.Exec(u"select v from tx_t"), 0);
  EXPECT_EQ(std::u16string(q.Get_Value(0)), u"2");

  // A text that ends the transaction itself: the driver follows, and the next statements get a
  // transaction of their own again.
  ASSERT_EQ(q.Exec(u"insert into tx_t values(3); commit"), 0) << Utf8(q.Get_Error_Msg());
  ASSERT_EQ(q.Exec(u"insert into tx_t values(4)"), 0) << Utf8(q.Get_Error_Msg());
  ASSERT_EQ(q.Rollback(), 0) << Utf8(q.Get_Error_Msg());
  ASSERT_EQ(q.Exec(u"select sum(v) from tx_t"), 0);
  EXPECT_EQ(std::u16string(q.Get_Value(0)), u"5");
}

TEST_P(Db_Test, SessionEntriesSelectRowWindowAndProcedureText) {
  TDb_Connect* c = Db_Connect_Mgr()->Get_Session(nullptr);
  ASSERT_NE(c, nullptr);
  DBDataMgr ds;
  ASSERT_EQ(c->Connect(&ds), 1) << Utf8(ds.Get_Sqlmsg());
  const char16_t* ten = u"with recursive c(x) as (select 1 union all select x+1 from c where x < 10) select x from c";
  struct Case { int first, max; std::vector<std::u16string> rows; };
  const Case cases[] = {
      {5, 3, {u"6", u"7", u"8"}}, {8, 5, {u"9", u"10"}}, {0, 0, {}}, {20, 2, {}}, {7, -1, {u"8", u"9", u"10"}}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.first);
    ASSERT_EQ(c->Select_Row(&ds, ten, k.first, k.max), 1) << Utf8(ds.Get_Sqlmsg());
    ASSERT_EQ(ds.Get_Row_Count(), static_cast<int>(k.rows.size()));
    for (size_t i = 0; i < k.rows.size(); i++) EXPECT_EQ(std::u16string(ds.Get_Row_Value(static_cast<int>(i), 0)), k.rows[i]);
  }
  // Procedure calls run as statements: a select of a value here, an error as the database says.
  EXPECT_EQ(c->Execute_Proc(&ds, u"select 41 + 1"), 1);
  EXPECT_EQ(std::u16string(ds.Get_Row_Value(0, 0)), u"42");
  EXPECT_EQ(c->Execute_Proc(&ds, u"call no_such_procedure()"), 0);
  EXPECT_NE(ds.Get_Sqlcode(), 0);
  EXPECT_EQ(c->Commit(&ds), 1);
  EXPECT_EQ(c->Rollback(&ds), 1) << "nothing open: nothing to end";
  EXPECT_EQ(c->Disconnect(&ds), 1);
  EXPECT_EQ(c->Connected(), 0);
  Db_Connect_Mgr()->Release_Session(c);
}

// ---- errors ------------------------------------------------------------------------------------------

TEST_P(Db_Test, SqlErrorsArriveAsCodeAndMessageAndLeaveTheTransactionUsable) {
  Log_Capture log;
  TSQLCA q;
  Ok(q, {u"drop table if exists err_t", u"create table err_t(v integer primary key)"});
  ASSERT_EQ(q.Exec(u"insert into err_t values(1)"), 0);

  struct Case { const char* name; const char16_t* sql; int sqlite_code; const char* pg_state; const char* text; };
  const Case cases[] = {
      // A text that does not parse runs none of its statements: it must undo nothing before it.
      {"syntax", u"selec 1", 1, "42601", "selec"},
      {"missing table", u"select * from no_such_table", 1, "42P01", "no_such_table"},
      {"duplicate key", u"insert into err_t values(1)", 1555, "23505", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int code = q.Exec(c.sql);
    EXPECT_NE(code, 0);
    EXPECT_NE(code, 999);
    EXPECT_EQ(code, q.Get_Sqlcode());
    if (Pg()) {
      // Non-digit states are read in base 36, all-digit states as the number.
      std::string state = c.pg_state;
      bool digits = state.find_first_not_of("0123456789") == std::string::npos;
      if (digits) {
        EXPECT_EQ(code, std::stoi(state));
      }
      EXPECT_EQ(Utf8(q.Get_Error_Msg()).substr(0, 5), state);
    } else {
      EXPECT_EQ(code, c.sqlite_code);
    }
    EXPECT_NE(Utf8(q.Get_Error_Msg()).find(c.text), std::string::npos) << Utf8(q.Get_Error_Msg());
    EXPECT_EQ(std::u16string(q.Get_Error_Sql()), c.sql);
  }
  // The failed statements were undone alone: the good ones around them stay.
  ASSERT_EQ(q.Exec(u"insert into err_t values(2)"), 0) << Utf8(q.Get_Error_Msg());
  ASSERT_EQ(q.Commit(), 0);
  ASSERT_EQ(q.Exec(u"select count(*) from err_t"), 0);
  EXPECT_EQ(std::u16string(q.Get_Value(0)), u"2");

  std::string text = log.Text();
  EXPECT_NE(text.find("select * from no_such_table"), std::string::npos);
  EXPECT_NE(text.find("runover error code"), std::string::npos);
  EXPECT_NE(text.find("错误代码: "), std::string::npos);
  EXPECT_NE(text.find("错误信息: "), std::string::npos);
}

TEST_P(Db_Test, NoConnectionPathsGive999) {
  Log_Capture log;
  TSQLCA q;
  // An empty pool.
  Db_Connect_Mgr()->Clear();
  EXPECT_EQ(q.Exec(u"select 1"), 999);
  EXPECT_EQ(std::u16string(q.Get_Error_Msg()), u"cant get db connection");
  EXPECT_EQ(q.Get_Row_Count(), 0);
  EXPECT_EQ(q.Get_Field_Count(), 0);
  int v = 5;
  EXPECT_EQ(q.Get_Sequence_Id("s", &v), 0);
  EXPECT_EQ(v, 0);
  std::string text = log.Text();
  EXPECT_NE(text.find("*** fail to run select 1\n"), std::string::npos);
  EXPECT_NE(text.find("*** cant get db connection\n"), std::string::npos);
  EXPECT_NE(text.find("*** fail to Get_Sequence_Id s\n"), std::string::npos);
  EXPECT_NE(text.find("Get_Session Fail grp_name (null) tot num 0"), std::string::npos);

  // A session that cannot reach its database.
  TDb_Config bad = cfg_;
  bad.text[0] = Pg() ? U("host=127.0.0.1 port=1 dbname=none connect_timeout=2") : U(dir_ + "/no/such/dir/x.db");
  ASSERT_TRUE(Db_Connect_Mgr()->Add_Config(bad));
  EXPECT_EQ(q.Exec(u"select 1"), 999);
  EXPECT_EQ(std::u16string(q.Get_Error_Msg()), u"cant link to db server");
  EXPECT_NE(log.Text().find("*** cant link to db server\n"), std::string::npos);
  // Nothing to insert into without a connection either; the rows stay.
  Fill_Area(q, u"t", {u"v"}, {{}});
  EXPECT_EQ(q.Batch_Insert(), 999);
  EXPECT_EQ(q.Get_Row_Count(), 1);
}

// Error texts the query area recognises: a damaged-bookmark message gets the repair hint; a lost-link
// message makes it reconnect (the session's temporary state is gone afterwards).
TEST_P(Db_Test, RecoveryTextsForBookmarkAndLostLinkMessages) {
  TSQLCA q;
  // Makes the database itself fail a statement with the given message.
  auto raise = [&](const std::u16string& msg) {
    if (Pg()) return q.Exec((u"do $$ begin raise exception '" + msg + u"'; end $$").c_str());
    EXPECT_EQ(q.Exec(u"create temp table if not exists zem_raise_t(v integer)"), 0);
    EXPECT_EQ(q.Exec(u"drop trigger if exists zem_raise_tr"), 0);
    EXPECT_EQ(q.Exec((u"create temp trigger zem_raise_tr before insert on zem_raise_t begin "
                      u"select raise(abort, '" + msg + u"'); end").c_str()),
              0)
        << Utf8(q.Get_Error_Msg());
    return q.Exec(u"insert into zem_raise_t values(1)");
  };
  // Something that lives only as long as the session: the backend's id, or a temporary table.
  auto session_mark = [&]() -> std::u16string {
    if (Pg()) return q.Exec(u"select pg_backend_pid()") == 0 ? q.Get_Value(0) : u"?";
    if (q.Exec(u"create temp table if not exists zem_mark(v integer)")) return u"?";
    return q.Exec(u"select count(*) from zem_mark") == 0 ? u"same" : u"?";
  };
  auto mark_after = [&]() -> std::u16string {
    if (Pg()) return q.Exec(u"select pg_backend_pid()") == 0 ? q.Get_Value(0) : u"?";
    return q.Exec(u"select count(*) from zem_mark") == 0 ? u"same" : u"fresh";
  };

  EXPECT_NE(raise(u"无效的书签 (test)"), 0);
  EXPECT_EQ(std::u16string(q.Get_Error_Msg()),
            u"  无效的书签-数据库异常了，不要共享方式使用软件，可以尝试在（配置管理=》压缩数据库）进行修复");

  struct Case { const char16_t* msg; };
  for (Case c : {Case{u"连接失败 (test)"}, Case{u"ConnectionWrite (test)"}}) {
    SCOPED_TRACE(Utf8(c.msg));
    q.Rollback();
    std::u16string before = session_mark();
    ASSERT_NE(before, u"?") << Utf8(q.Get_Error_Msg());
    EXPECT_NE(raise(c.msg), 0);
    EXPECT_NE(Utf8(q.Get_Error_Msg()).find(Utf8(c.msg)), std::string::npos) << "the message is kept";
    std::u16string after = mark_after();
    EXPECT_NE(after, u"?");
    EXPECT_NE(after, before) << "a fresh session";
  }
}

// ---- logs --------------------------------------------------------------------------------------------

TEST_P(Db_Test, ManyRowsWarningFromTenThousandRowsOn) {
  TDb_Config logged = cfg_;
  logged.count = 1;
  logged.log_path = dir_ + "/sql.log";
  Db_Connect_Mgr()->Clear();
  ASSERT_TRUE(Db_Connect_Mgr()->Add_Config(logged));
  const char16_t* kRows =
      u"with recursive c(x) as (select 1 union all select x+1 from c where x < %d) select x from c";
  struct Case { int rows; bool warned; };
  for (Case c : {Case{9999, false}, Case{10000, true}}) {
    SCOPED_TRACE(c.rows);
    std::remove(logged.log_path.c_str());
    std::u16string sql = kRows;
    sql.replace(sql.find(u"%d"), 2, U(std::to_string(c.rows)));
    TSQLCA q;
    ASSERT_EQ(q.Exec(sql.c_str()), 0) << Utf8(q.Get_Error_Msg());
    EXPECT_EQ(q.Get_Row_Count(), c.rows) << "nothing is cut";
    q.Go_To_Row(c.rows - 1);
    EXPECT_EQ(std::u16string(q.Get_Value(0)), U(std::to_string(c.rows)));
    std::string text = Read_Utf16_File(logged.log_path);
    std::string warning = "the next sqlcmd fetch many rows[more than 10000]: " + std::to_string(c.rows);
    EXPECT_EQ(text.find(warning) != std::string::npos, c.warned) << text;
    if (c.warned) {
      EXPECT_NE(text.find(std::string(63, '-') + "\n" + warning), std::string::npos);
    }
  }
}

TEST_P(Db_Test, StatementLogIsUtf16WithEveryStatementInLogModeTwo) {
  TDb_Config logged = cfg_;
  logged.count = 1;
  logged.log_mode = 2;
  logged.log_path = dir_ + "/all.log";
  Db_Connect_Mgr()->Clear();
  ASSERT_TRUE(Db_Connect_Mgr()->Add_Config(logged));
  TSQLCA q;
  ASSERT_EQ(q.Exec(u"select '汉字' as v"), 0);
  std::string text = Read_Utf16_File(logged.log_path);
  EXPECT_NE(text.find("select '汉字' as v\nrunover error code 0 result rownum 1"), std::string::npos) << text;
  EXPECT_EQ(text.find("错误代码"), std::string::npos);
  EXPECT_EQ(text[0], '[') << "each entry starts with its time-stamp line";
}

// ---- sequences and quoting -----------------------------------------------------------------------------

// Without its table a sequence fails; with it, names start at 1 and count on, whatever they hold.
TEST_P(Db_Test, Sequences) {
  TSQLCA q;
  Ok(q, {u"drop table if exists app_sequence"});
  int v = 9;
  EXPECT_EQ(q.Get_Sequence_Id("x", &v), 0);
  EXPECT_EQ(v, 0);
  EXPECT_NE(q.Get_Sqlcode(), 0);
  Ok(q, {u"create table app_sequence(seq_name varchar(60) primary key, seq_val integer)"});
  q.SelectArea(3);
  ASSERT_EQ(q.Exec(u"select 'keep' as v"), 0);
  enum Op { kNext, kCur, kSet };
  struct Row { Op op; const char* name; int value; };
  const Row rows[] = {{kNext, "voucher", 1}, {kNext, "voucher", 2}, {kCur, "voucher", 2},
                      {kNext, "o'neil'); drop table app_sequence; --", 1}, {kSet, "voucher", 40},
                      {kNext, "voucher", 41}, {kSet, "fresh", 7}, {kCur, "fresh", 7}, {kCur, "unknown", 1}};
  for (const Row& r : rows) {
    v = r.value;
    EXPECT_EQ(r.op == kNext ? q.Get_Sequence_Id(r.name, &v)
                            : r.op == kCur ? q.Get_Sequence_Cur(r.name, &v) : q.Set_Sequence(r.name, r.value), 1);
    EXPECT_EQ(v, r.value) << r.name;
  }
  EXPECT_EQ(std::u16string(q.Get_Value(0)), u"keep") << "the caller's area keeps its rows";
  ASSERT_EQ(q.Exec(u"select count(*) from app_sequence"), 0);
  EXPECT_EQ(std::u16string(q.Get_Value(0)), u"4");
  q.Commit();
}

INSTANTIATE_TEST_SUITE_P(Drivers, Db_Test, ::testing::Values("sqlite", "pg"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

// ---- without a database ---------------------------------------------------------------------------------

TEST(Sqlca_Text, TableNameFromStatement) {
  struct Case { const char16_t* sql; const char16_t* table; };
  const Case cases[] = {
      {u"insert into emp_b values(1)", u"EMP_B"},
      {u"select * from \r\n\t dbo.Dept_1 where x=1", u"DBO.DEPT_1"},
      {u"delete from t1", u"T1"},
      {u"x update  abc set v=1", u"ABC"},
      {u"update abc set v=1", u""},              // " update " needs the blank before it
      {u"select a into tmp from src", u"TMP"},     // " into " wins over " from "
      {u"select 1", u""},
      {u"select * FROM t", u""},                   // case-sensitive
      {u"select * from\nt", u""},                  // the blank after the word is part of it
      {u"select * from 表", u""},
  };
  for (const Case& c : cases) EXPECT_EQ(Sql_Table_Name(c.sql), c.table) << Utf8(c.sql);
  std::u16string long_name = u"select * from " + std::u16string(70, u'a');
  EXPECT_EQ(Sql_Table_Name(long_name.c_str()), std::u16string(60, u'A'));
}

TEST(Sqlca_Text, QuotesAreDoubled) {
  EXPECT_EQ(Sql_Quote("o'neil"), "o''neil");
  EXPECT_EQ(Sql_Quote("''"), "''''");
  EXPECT_EQ(Sql_Quote("plain"), "plain");
  EXPECT_EQ(Sql_Quote(static_cast<const char*>(nullptr)), "");
  EXPECT_EQ(Sql_Quote(u"李'四"), u"李''四");
}

TEST(Sqlca_Areas, SelectAreaBoundsAndErrorCopies) {
  TSQLCA q;
  EXPECT_EQ(q.Cur_Area(), -1);
  EXPECT_EQ(q.Get_Field_Count(), 0) << "area 0 is selected on first use";
  EXPECT_EQ(q.Cur_Area(), 0);
  for (int n : {-1, 9, 100}) {
    EXPECT_EQ(q.SelectArea(n), 0);
    EXPECT_EQ(q.Cur_Area(), 0);
  }
  ASSERT_EQ(q.SelectArea(8), 1);
  EXPECT_NE(q.Area_Data(8), nullptr);
  EXPECT_EQ(q.Area_Data(5), nullptr);
  q.Set_Error_Msg(u"boom");
  q.Set_Error_Sql(u"select 1");
  EXPECT_EQ(std::u16string(q.Get_Error_Msg()), u"boom");
  q.SelectArea(0);
  EXPECT_EQ(std::u16string(q.Get_Error_Msg()), u"");
  q.SelectArea(8);
  EXPECT_EQ(std::u16string(q.Get_Error_Sql()), u"select 1");
  q.Set_Error_Msg(u"");
  EXPECT_EQ(std::u16string(q.Get_Error_Msg()), u"");
  q.Free_Area();
  EXPECT_EQ(q.Area_Data(8), nullptr);
  EXPECT_EQ(q.Cur_Area(), -1);
}
