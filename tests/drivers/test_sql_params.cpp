// Bound parameters on both bundled drivers: values reach the table as given (quotes and an injection
// attempt included, stored verbatim), both placeholder forms, NULL, exact decimals, dates; statements
// whose parameters do not fit are refused before anything is sent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/data/db_stmt.h"
#include "core/data/sqlca.h"
#include "drivers/db_fixture.h"

using zem_test::Db_Test;
using zem_test::Utf8;

namespace {

// The text of a placeholder scan ("$1" form) and its count, or "error: ..." for a refused text.
std::string Scan(const char16_t* sql, char style) {
  std::u16string out;
  std::string why;
  int n = 0;
  if (Db_Number_Params(sql, style, &out, &n, &why) < 0) return "error: " + why;
  return Utf8(out.c_str()) + " #" + std::to_string(n);
}

}  // namespace

TEST(Sql_Params, PlaceholdersAreFoundOnlyInTheStatementsOwnText) {
  struct Row {
    const char* name;
    const char16_t* sql;
    char style;
    std::string want;
  } rows[] = {
      {"question marks in order", u"select a from t where b = ? and c = ?", '$', "select a from t where b = $1 and c = $2 #2"},
      {"to SQLite's numbered form", u"update t set a = ? where b = ?", '?', "update t set a = ?1 where b = ?2 #2"},
      {"$n kept, repeated once", u"select $2, $1, $2", '$', "select $2, $1, $2 #2"},
      {"$n to ?n", u"select $1 || $1", '?', "select ?1 || ?1 #1"},
      {"quoted text passed over", u"select 'a?b', 'it''s ?' from t where x = ?", '$',
       "select 'a?b', 'it''s ?' from t where x = $1 #1"},
      {"quoted name passed over", u"select \"col?\" from t where a = ?", '$', "select \"col?\" from t where a = $1 #1"},
      {"comments passed over", u"select 1 -- a ? here\n, ? /* and ? /* nested ? */ here */", '$',
       "select 1 -- a ? here\n, $1 /* and ? /* nested ? */ here */ #1"},
      {"escaped quote in E''", u"select E'a\\'?' , ?", '$', "select E'a\\'?' , $1 #1"},
      {"dollar-quoted body", u"select $q$ ? $1 $q$, $$?$$, ?", '$', "select $q$ ? $1 $q$, $$?$$, $1 #1"},
      {"$ inside a name", u"select a$1 from t where b = ?", '$', "select a$1 from t where b = $1 #1"},
      {"none at all", u"select 1", '$', "select 1 #0"},
      {"SQLite's ?n numbered", u"select ?2, ?1", '$', "select $2, $1 #2"},
      {"kept apart from names", u"select a?,?b", '$', "select a $1,$2 b #2"},
      {"mixed refused", u"select ? , $1", '$', "error: the statement mixes \"?\" and numbered placeholders"},
      {"$0 refused", u"select $0", '$', "error: \"$0\" is not a parameter: they count from $1"},
      {"a number straight before E'' refused", u"select $1E'\\', $2", '$',
       "error: a parameter written straight before E'...': put a blank between them"},
      {"a blank before E'' keeps it", u"select $1 E'\\'', $2", '?', "select ?1 E'\\'', ?2 #2"},
      {"a gap refused", u"select $1, $3", '$', "error: $2 stands nowhere in the statement, though $3 does"},
  };
  for (const Row& r : rows) EXPECT_EQ(Scan(r.sql, r.style), r.want) << r.name;
}

TEST(Sql_Params, StatementsAreToldByTheirFirstWords) {
  const char* names[] = {"plain", "select", "begin", "commit", "rollback"};
  struct Row {
    const char16_t* sql;
    const char* want;
  } rows[] = {
      {u"select 1", "select"},
      {u"  (SELECT a FROM t)", "select"},
      {u"Values (1)", "select"},
      {u"with x as (select 1) select * from x", "select"},
      {u"select a into t2 from t", "plain"},
      {u"WITH d AS (DELETE FROM t RETURNING *) SELECT * FROM d", "plain"},
      {u"with x as (select 1) Insert into t select * from x", "plain"},
      {u"selected", "plain"},
      {u"select1", "select"},
      {u"COMMIT", "commit"},
      {u"commit work;", "commit"},
      {u"end transaction ; ", "commit"},
      {u"commit foo", "plain"},
      {u"committed", "plain"},
      {u"rollback", "rollback"},
      {u"ROLLBACK TO SAVEPOINT a", "plain"},
      {u"begin", "begin"},
      {u"begin transaction", "begin"},
      {u"begin; insert into t values (1)", "plain"},
      {u"update t set a = 1", "plain"},
      {u"", "plain"},
  };
  for (const Row& r : rows) EXPECT_STREQ(names[static_cast<int>(Db_Classify(r.sql))], r.want) << Utf8(r.sql);
}

TEST_P(Db_Test, BoundParametersReachTheTableAsGiven) {
  TSQLCA q;
  Ok(q, {u"drop table if exists bp", u"drop table if exists bp_victim",
         u"create table bp(k varchar(20), txt varchar(200), n integer, amt numeric(16,2), d date)",
         u"create table bp_victim(x integer)", u"insert into bp_victim values(1)"});
  const std::u16string attack = u"x'); drop table bp_victim; --";
  struct Row {
    const char* name;
    TSql_Params params;
    const char16_t* txt;
    const char16_t* n;
    const char16_t* amt;
    const char16_t* d;
  } rows[] = {
      {"injection attempt stored verbatim", {u"r1", attack, 7, TSql_Param::Decimal(u"1.50"), TSql_Param::Date(2024, 2, 29)},
       attack.c_str(), u"7", u"1.50", u"2024-02-29"},
      {"quotes, Chinese, negative, big exact decimal",
       {u"r2", u"O'Brien 张三 \"引号\" ?", -42, TSql_Param::Decimal(u"-12,345,678,901,234.56"), TSql_Param::Date(u"19991231")},
       u"O'Brien 张三 \"引号\" ?", u"-42", u"-12345678901234.56", u"1999-12-31"},
      {"NULLs in every form", {u"r3", nullptr, TSql_Param::Null(), TSql_Param::Decimal(u""), TSql_Param::Date(u"")},
       u"", u"", u"", u""},
      {"narrow text", {"r4", std::string("plain"), 0, TSql_Param::Decimal(u"0"), TSql_Param::Date(u"2000-01-01")},
       u"plain", u"0", u"0", u"2000-01-01"},
  };
  for (const Row& r : rows) {
    ASSERT_EQ(q.Exec(u"insert into bp(k, txt, n, amt, d) values(?, ?, ?, ?, ?)", r.params), 0)
        << r.name << ": " << Utf8(q.Get_Error_Msg());
  }
  ASSERT_EQ(q.Commit(), 0);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ASSERT_EQ(q.Select(u"select txt, n, amt, d, txt is null from bp where k = $1", {r.params[0]}), 0)
        << Utf8(q.Get_Error_Msg());
    ASSERT_EQ(q.Get_Row_Count(), 1);
    EXPECT_EQ(std::u16string(q.Get_Row_Value(0, 0)), r.txt);
    EXPECT_EQ(std::u16string(q.Get_Row_Value(0, 1)), r.n);
    // SQLite keeps 1.50 as 1.5: the amount is compared as a number by the database.
    EXPECT_EQ(q.Get_Row_Value(0, 2)[0] == 0, r.amt[0] == 0);
    if (r.amt[0]) {
      ASSERT_EQ(q.Select(u"select count(*) from bp where k = ? and amt = ?", {r.params[0], TSql_Param::Decimal(r.amt)}), 0);
      EXPECT_EQ(std::u16string(q.Get_Row_Value(0, 0)), u"1") << "the stored amount equals " << Utf8(r.amt);
    }
    ASSERT_EQ(q.Select(u"select d from bp where k = ?", {r.params[0]}), 0);
    EXPECT_EQ(std::u16string(q.Get_Row_Value(0, 0)), r.d);
  }
  ASSERT_EQ(q.Select(u"select count(*) from bp_victim"), 0) << "the table an injection aimed at is still there";
  EXPECT_EQ(std::u16string(q.Get_Row_Value(0, 0)), u"1");
  ASSERT_EQ(q.Select(u"select count(*) from bp where txt = ?", {attack}), 0);
  EXPECT_EQ(std::u16string(q.Get_Row_Value(0, 0)), u"1") << "the attack's text found by a bound comparison";
}

TEST_P(Db_Test, ParametersThatDoNotFitAreRefusedBeforeTheDriver) {
  TSQLCA q;
  Ok(q, {u"drop table if exists bp2", u"create table bp2(k varchar(20), amt numeric(12,2), d date)"});
  struct Row {
    const char* name;
    const char16_t* sql;
    TSql_Params params;
    std::string message;  // the start of the area's message
  } rows[] = {
      {"too few", u"insert into bp2(k, amt) values(?, ?)", {u"a"}, "the statement has 2 placeholders and 1 parameters"},
      {"too many", u"insert into bp2(k) values(?)", {u"a", u"b"}, "the statement has 1 placeholders and 2 parameters"},
      {"not a decimal", u"insert into bp2(k, amt) values(?, ?)", {u"a", TSql_Param::Decimal(u"12a")},
       "parameter 2: not a decimal number"},
      {"no such date", u"insert into bp2(k, d) values(?, ?)", {u"a", TSql_Param::Date(2023, 2, 29)},
       "parameter 2: no such date: 2023-02-29"},
      {"mixed forms", u"insert into bp2(k, amt) values(?, $1)", {u"a"}, "the statement mixes"},
      {"a write through Select", u"delete from bp2 where k = ?", {u"a"}, "Select runs reads only"},
  };
  for (const Row& r : rows) {
    const bool select = std::string(r.name) == "a write through Select";
    const int code = select ? q.Select(r.sql, r.params) : q.Exec(r.sql, r.params);
    EXPECT_EQ(code, -1) << r.name;
    EXPECT_EQ(Utf8(q.Get_Error_Msg()).substr(0, r.message.size()), r.message) << r.name;
  }
  ASSERT_EQ(q.Commit(), 0);
  ASSERT_EQ(q.Select(u"select count(*) from bp2"), 0);
  EXPECT_EQ(std::u16string(q.Get_Row_Value(0, 0)), u"0") << "nothing refused was written";
}
