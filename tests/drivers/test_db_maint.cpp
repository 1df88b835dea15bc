// Maintenance statements of a session on both drivers: what each does to the database, what a file
// database refuses, and dumps that read back whole or not at all.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>

#include "drivers/db_fixture.h"

using zem_test::Db_Test;
using zem_test::Utf8;

TEST_P(Db_Test, MaintenanceStatements) {
  TSQLCA q;
  Ok(q, {u"drop table if exists mt", u"drop table if exists mt2", u"drop table if exists mt3",
         u"create table mt(code varchar(10), name varchar(20))", u"insert into mt values('A', '甲')",
         u"insert into mt values('B', null)", u"create table mt3(code varchar(10), name varchar(20), note char(1))"});
  TDb_Connect* c = Db_Connect_Mgr()->Get_Session();
  EXPECT_EQ(c->Is_File_Db(), Pg() ? 0 : 1);
  const std::string dump = dir_ + "/mt.dump", cut = dir_ + "/cut.dump", folder = dir_ + "/folder";
  std::ofstream(cut) << "\x01\x02";
  mkdir(folder.c_str(), 0700);
  // pg, sqlite: the sqlcode on each driver; says: part of a failure's message; check: a statement whose first
  // value shows the effect, the value on each driver.
  struct Row { const char* name; std::function<int(TSQLCA*)> run; int pg, sqlite; const char* says;
               const char16_t *check, *pg_value, *sqlite_value; };
  const Row rows[] = {
      {"add a column", [&](TSQLCA* o) { return c->Add_Column(u"mt", u"note", u"char(1)", o); }, 0, 0, "",
       u"select count(note) from mt", u"0", u"0"},
      {"build an index twice", [&](TSQLCA* o) { return c->Rebuild_Index(u"ix", u"mt", u"code", o) +
                                                       c->Rebuild_Index(u"ix", u"mt", u"code", o); },
       0, 0, "", u"select name from mt where code = 'A'", u"甲", u"甲"},
      {"copy a table", [&](TSQLCA* o) { return c->Copy_Table(u"mt2", u"mt", u"where code = 'A'", o); }, 0, -1,
       "disk storage not support", Pg() ? u"select count(*) from mt2" : u"select 1", u"1", u"1"},
      {"dump and load", [&](TSQLCA* o) { return c->Dump_Table(u"mt", dump.c_str(), o) +
                                                c->Load_Dump(dump.c_str(), u"mt3", o); },
       0, 0, "", u"select count(*) from mt3 where name = '甲' or name is null", u"2", u"2"},
      {"a cut dump", [&](TSQLCA* o) { return c->Load_Dump(cut.c_str(), u"mt3", o); }, -1, -1,
       "is not a whole dump", u"select count(*) from mt3", u"2", u"2"},
      {"a folder for a dump", [&](TSQLCA* o) { return c->Load_Dump(folder.c_str(), u"mt3", o); }, -1, -1,
       "not a regular file", u"select count(*) from mt3", u"2", u"2"},
      {"a dump into a missing folder", [&](TSQLCA* o) { return c->Dump_Table(u"mt", (dir_ + "/no/x").c_str(), o); },
       -1, -1, "No such file or directory", u"select count(*) from mt", u"2", u"2"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    TSQLCA out;
    EXPECT_EQ(r.run(&out), Pg() ? r.pg : r.sqlite) << Utf8(out.Get_Error_Msg());
    EXPECT_NE(Utf8(out.Get_Error_Msg()).find(out.Get_Sqlcode() ? r.says : ""), std::string::npos);
    ASSERT_EQ(q.Exec(r.check), 0) << Utf8(q.Get_Error_Msg());
    EXPECT_EQ(std::u16string(q.Get_Value(0)), Pg() ? r.pg_value : r.sqlite_value);
  }
  q.Rollback();
}
