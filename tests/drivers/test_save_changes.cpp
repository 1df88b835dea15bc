// Tracked query areas and their save, on both bundled drivers: what the area knows since the load, and
// two clerks (two sessions) editing the same rows: conflicts found, nothing overwritten unasked, each
// answer written as the clerk chose, edits of different columns both kept.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/data/db_connect.h"
#include "core/data/save_changes.h"
#include "core/data/sqlca.h"
#include "drivers/db_fixture.h"

using zem_test::Db_Test;
using zem_test::U;
using zem_test::Utf8;

namespace {

// One clerk: a session of its own and a tracked area over the vouchers.
struct Clerk {
  explicit Clerk(const TDb_Config& cfg) {
    conn.Set_Config(cfg);
    q.Set_Connect(&conn);
  }
  void Load(const char16_t* version = u"") {
    ASSERT_EQ(q.Select(u"select * from sv order by no"), 0) << Utf8(q.Get_Error_Msg());
    ASSERT_EQ(q.Track_Changes(u"sv", u"no", version), 1) << Utf8(q.Get_Error_Msg());
  }
  void Set(const char16_t* no, const char16_t* field, const char16_t* value) {
    const int r = q.Find_Key(no);
    ASSERT_GE(r, 0) << Utf8(no);
    q.Go_To_Row(r);
    if (value) q.Set_Value(q.Find_Field(field), value);
    else q.Data()->Set_Null(q.Find_Field(field));
  }
  void Delete(const char16_t* no) {
    ASSERT_GE(q.Find_Key(no), 0);
    q.Go_To_Row(q.Find_Key(no));
    q.Del_Row();
  }
  int Save(std::function<int(TSave_Conflict*)> answer = nullptr) {
    TSave_Options o;
    o.on_conflict = answer;
    return q.Save_Changes(&o, &result);
  }
  TDb_Connect conn;
  TSQLCA q;
  TSave_Result result;
};

// A row of the table as "summary|amount|note" ("-" for NULL, "gone" for no row); amounts as numbers.
std::string Row(TSQLCA& q, const char16_t* no) {
  if (q.Select(u"select summary, amount * 100, note from sv where no = ?", {no}) != 0) return Utf8(q.Get_Error_Msg());
  if (q.Get_Row_Count() == 0) return "gone";
  std::string s;
  for (int f = 0; f < 3; f++) {
    std::string v = q.Data()->Row_Value_Present(0, f) ? Utf8(q.Get_Row_Value(0, f)) : "-";
    if (f == 1 && v != "-") v = std::to_string(std::stoll(v.substr(0, v.find('.'))));  // 100000 for 1000.00
    s += (f ? "|" : "") + v;
  }
  return s;
}

class Save_Test : public Db_Test {
 protected:
  void Fresh_Table(bool version = false) {
    TSQLCA q;
    Ok(q, {u"drop table if exists sv"});
    Ok(q, {version ? u"create table sv(no varchar(20) primary key, summary varchar(100), amount numeric(14,2), "
                     u"note varchar(50), rate real, ver integer)"
                   : u"create table sv(no varchar(20) primary key, summary varchar(100), amount numeric(14,2), "
                     u"note varchar(50), rate real)",
           u"insert into sv(no, summary, amount, note, rate) values('V1', '采购钢板', 1000.00, 'n1', 0.1)",
           u"insert into sv(no, summary, amount, note, rate) values('V2', '运费', 125600, null, 0.2)",
           u"update sv set rate = rate + 0.2"});  // a float that does not survive as text
    if (version) Ok(q, {u"update sv set ver = 1"});
  }
};

TEST_P(Save_Test, TheAreaKnowsWhatChangedSinceTheLoad) {
  Fresh_Table();
  Clerk a(cfg_);
  a.Load();
  TSQLCA& q = a.q;
  const int amount = q.Find_Field(u"amount"), note = q.Find_Field(u"note"), summary = q.Find_Field(u"summary");
  auto state = [&](const char16_t* no) { return q.Find_Key(no) < 0 ? -1 : q.Row_State(q.Find_Key(no)); };
  struct Step {
    const char* name;
    std::function<void()> act;
    int v1, v2, added, deleted;
  } steps[] = {
      {"as loaded", [] {}, TSQLCA::ROW_UNCHANGED, TSQLCA::ROW_UNCHANGED, 0, 0},
      {"an amount written otherwise", [&] { a.Set(u"V2", u"amount", u"125,600.00"); }, TSQLCA::ROW_UNCHANGED,
       TSQLCA::ROW_UNCHANGED, 0, 0},
      {"a NULL written as empty", [&] { a.Set(u"V2", u"note", u""); }, TSQLCA::ROW_UNCHANGED, TSQLCA::ROW_UNCHANGED, 0, 0},
      {"a summary changed", [&] { a.Set(u"V1", u"summary", u"采购冷轧钢板"); }, TSQLCA::ROW_CHANGED,
       TSQLCA::ROW_UNCHANGED, 0, 0},
      {"sorted descending: the rows keep their states",
       [&] {
         q.Set_Sort_Key(0, 1);
         q.Sort();
       },
       TSQLCA::ROW_CHANGED, TSQLCA::ROW_UNCHANGED, 0, 0},
      {"a row added", [&] {
         q.Add_Row();
         q.Set_Value(0, u"V9");
       }, TSQLCA::ROW_CHANGED, TSQLCA::ROW_UNCHANGED, 1, 0},
      {"a row deleted", [&] { a.Delete(u"V2"); }, TSQLCA::ROW_CHANGED, -1, 1, 1},
      {"the summary back as loaded", [&] { a.Set(u"V1", u"summary", u"采购钢板"); }, TSQLCA::ROW_UNCHANGED, -1, 1, 1},
      // Another clerk's saves read in (a refill): changes of rows untouched here come in as loaded, a
      // new row comes in, and what this clerk changed or deleted stays so (its save finds any conflict).
      {"another clerk's amount, summary and new row merged in",
       [&] {
         a.Set(u"V1", u"note", u"mine");
         TSQLCA other;
         Ok(other, {u"update sv set amount = 2000, note = 'theirs' where no = 'V1'", u"update sv set note = 'x' where no = 'V2'",
                    u"insert into sv(no, summary) values('V3', '新')"});
         TSQLCA fresh;
         ASSERT_EQ(fresh.Select(u"select * from sv order by no"), 0);
         EXPECT_EQ(q.Merge_Fresh(&fresh), 2);
       },
       TSQLCA::ROW_CHANGED, -1, 1, 1},
  };
  for (const Step& s : steps) {
    s.act();
    int added = 0;
    for (int r = 0; r < q.Get_Row_Count(); r++) added += q.Row_State(r) == TSQLCA::ROW_ADDED;
    EXPECT_EQ(std::vector<int>({state(u"V1"), state(u"V2"), added, q.Deleted_Count()}),
              std::vector<int>({s.v1, s.v2, s.added, s.deleted}))
        << s.name;
  }
  const int v1 = q.Find_Key(u"V1");
  EXPECT_EQ(std::u16string(q.Get_Orig_Value(v1, summary)), u"采购钢板");
  EXPECT_EQ(q.Field_Changed(v1, amount), 0);
  EXPECT_EQ(std::u16string(q.Get_Deleted_Value(0, u"summary")), u"运费");
  EXPECT_EQ(q.Data()->Row_Value_Present(q.Find_Key(u"V1"), note), 1);
  EXPECT_EQ(q.Has_Changes(), 1);
  EXPECT_EQ(Utf8(q.Get_Row_Value(v1, amount)).substr(0, 4) + "|" + Utf8(q.Get_Row_Value(v1, note)), "2000|mine");
  EXPECT_EQ(Utf8(q.Get_Orig_Value(v1, note)), "n1") << "the column changed here keeps its original for the save";
  ASSERT_GE(q.Find_Key(u"V3"), 0);
  EXPECT_EQ(q.Row_State(q.Find_Key(u"V3")), TSQLCA::ROW_UNCHANGED);
}

TEST_P(Save_Test, TwoClerksOnOneRow) {
  // Clerk A saves first; B, who loaded the same rows before, saves second and answers (or not).
  using Edit = std::vector<std::vector<const char16_t*>>;  // {no, field, value} or {no} to delete
  struct Case {
    const char* name;
    Edit a, b;
    int answer;  // -1 nobody answers
    int code;    // B's save
    std::string v1;  // V1 in the table afterwards
    std::string b_sees;  // V1 in B's area afterwards, the same form
    const char16_t* no = u"V1";  // the row the case is about
  } cases[] = {
      {"same column, nobody answers", {{u"V1", u"amount", u"2000"}}, {{u"V1", u"amount", u"3000"}}, -1, SAVE_CONFLICT,
       "采购钢板|200000|n1", "采购钢板|300000|n1"},
      {"same column, keep mine", {{u"V1", u"amount", u"2000"}}, {{u"V1", u"amount", u"3000"}},
       TSave_Conflict::KEEP_MINE, 0, "采购钢板|300000|n1", "采购钢板|300000|n1"},
      {"same column, take theirs", {{u"V1", u"amount", u"2000"}}, {{u"V1", u"amount", u"3000"}},
       TSave_Conflict::TAKE_THEIRS, 0, "采购钢板|200000|n1", "采购钢板|200000|n1"},
      {"keep mine keeps their other column", {{u"V1", u"amount", u"2000"}, {u"V1", u"note", u"A"}},
       {{u"V1", u"amount", u"3000"}}, TSave_Conflict::KEEP_MINE, 0, "采购钢板|300000|A", "采购钢板|300000|A"},
      {"merge by column: theirs where only they changed", {{u"V1", u"amount", u"2000"}, {u"V1", u"note", u"A"}},
       {{u"V1", u"amount", u"3000"}, {u"V1", u"summary", u"B"}}, TSave_Conflict::MERGE, 0, "B|300000|A", "B|300000|A"},
      {"different columns: both kept, nobody asked", {{u"V1", u"summary", u"A"}}, {{u"V1", u"amount", u"3000"}}, -1, 0,
       "A|300000|n1", "A|300000|n1"},
      {"cancelled", {{u"V1", u"amount", u"2000"}}, {{u"V1", u"amount", u"3000"}}, TSave_Conflict::CANCEL, SAVE_CANCELLED,
       "采购钢板|200000|n1", "采购钢板|300000|n1"},
      {"a NULL both filled", {{u"V2", u"note", u"A"}}, {{u"V2", u"note", u"B"}}, -1, SAVE_CONFLICT, "运费|12560000|A",
       "运费|12560000|B", u"V2"},
      {"they deleted it, keep mine: back", {{u"V1"}}, {{u"V1", u"amount", u"3000"}}, TSave_Conflict::KEEP_MINE, 0,
       "采购钢板|300000|n1", "采购钢板|300000|n1"},
      {"they deleted it, take theirs: gone", {{u"V1"}}, {{u"V1", u"amount", u"3000"}}, TSave_Conflict::TAKE_THEIRS, 0,
       "gone", "gone"},
      {"I deleted it, they changed it, take theirs", {{u"V1", u"amount", u"2000"}}, {{u"V1"}},
       TSave_Conflict::TAKE_THEIRS, 0, "采购钢板|200000|n1", "采购钢板|200000|n1"},
      {"I deleted it, they changed it, keep mine", {{u"V1", u"amount", u"2000"}}, {{u"V1"}}, TSave_Conflict::KEEP_MINE,
       0, "gone", "gone"},
      {"both deleted it", {{u"V1"}}, {{u"V1"}}, -1, 0, "gone", "gone"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh_Table();
    Clerk a(cfg_), b(cfg_);
    a.Load();
    b.Load();
    auto apply = [](Clerk& k, const Edit& e) {
      for (const auto& x : e) {
        if (x.size() == 1) k.Delete(x[0]);
        else k.Set(x[0], x[1], x[2]);
      }
    };
    apply(a, c.a);
    apply(b, c.b);
    ASSERT_EQ(a.Save(), 0) << Utf8(a.q.Get_Error_Msg());
    std::vector<TSave_Conflict> asked;
    const int code = b.Save(c.answer < 0 ? std::function<int(TSave_Conflict*)>()
                                         : [&](TSave_Conflict* k) {
                                             asked.push_back(*k);
                                             return c.answer;
                                           });
    EXPECT_EQ(code, c.code) << Utf8(b.q.Get_Error_Msg());
    TSQLCA check;
    EXPECT_EQ(Row(check, c.no), c.v1);
    std::string sees = "gone";
    if (int r = b.q.Find_Key(c.no); r >= 0) {
      DBDataMgr* d = b.q.Data();
      std::string amount = Utf8(d->Get_Row_Value(r, d->Find_Field(u"amount")));
      amount = std::to_string(std::stoll(amount.substr(0, amount.find('.'))) * 100);
      sees = Utf8(d->Get_Row_Value(r, d->Find_Field(u"summary"))) + "|" + amount + "|" +
             (d->Row_Value_Present(r, d->Find_Field(u"note")) ? Utf8(d->Get_Row_Value(r, d->Find_Field(u"note"))) : "-");
    }
    EXPECT_EQ(sees, c.b_sees);
    if (c.answer >= 0) {
      ASSERT_EQ(asked.size(), 1u);
      EXPECT_EQ(Utf8(asked[0].row.c_str()), "no=" + Utf8(c.no));
    }
    if (c.code == 0) {
      EXPECT_EQ(b.q.Has_Changes(), 0) << "saved rows are loaded ones";
    }
  }
}

TEST_P(Save_Test, TheConflictShowsTheRowAsLoadedMineAndTheirs) {
  Fresh_Table();
  Clerk a(cfg_), b(cfg_);
  a.Load();
  b.Load();
  a.Set(u"V2", u"note", u"A的");
  b.Set(u"V2", u"note", u"B的");
  b.Set(u"V2", u"summary", u"B改");
  ASSERT_EQ(a.Save(), 0);
  TSave_Conflict seen;
  ASSERT_EQ(b.Save([&](TSave_Conflict* k) {
    seen = *k;
    return TSave_Conflict::CANCEL;
  }),
            SAVE_CANCELLED);
  EXPECT_EQ(seen.kind, TSave_Conflict::CHANGED);
  EXPECT_EQ(Utf8(seen.row.c_str()), "no=V2");
  std::string fields;
  for (const TSave_Conflict_Field& f : seen.fields) {
    if (!f.mine_changed && !f.theirs_changed) continue;
    fields += Utf8(f.name.c_str()) + ":" + (f.orig_null ? "-" : Utf8(f.orig.c_str())) + "/" + Utf8(f.mine.c_str()) + "/" +
              Utf8(f.theirs.c_str()) + (f.take_theirs ? " theirs" : " mine") + ";";
  }
  EXPECT_EQ(fields, "summary:运费/B改/运费 mine;note:-/B的/A的 mine;");
  EXPECT_EQ(Utf8(b.result.message.c_str()).find("no=V2") != std::string::npos, true) << Utf8(b.result.message.c_str());
}

TEST_P(Save_Test, AVersionColumnConflictsOnAnyColumnAndIsCountedUp) {
  Fresh_Table(true);
  Clerk a(cfg_), b(cfg_);
  a.Load(u"ver");
  b.Load(u"ver");
  a.Set(u"V1", u"summary", u"A");
  b.Set(u"V1", u"amount", u"3000");
  ASSERT_EQ(a.Save(), 0);
  int asked = 0;
  ASSERT_EQ(b.Save([&](TSave_Conflict*) {
    asked++;
    return TSave_Conflict::MERGE;  // preset: their summary, my amount
  }),
            0)
      << Utf8(b.q.Get_Error_Msg());
  EXPECT_EQ(asked, 1);
  TSQLCA check;
  EXPECT_EQ(Row(check, u"V1"), "A|300000|n1");
  ASSERT_EQ(check.Select(u"select ver from sv where no = 'V1'"), 0);
  EXPECT_EQ(std::u16string(check.Get_Row_Value(0, 0)), u"3");
  EXPECT_EQ(std::u16string(b.q.Get_Value(u"ver")), u"3") << "the area reads the version back";
}

TEST_P(Save_Test, AddedRowsAreNumberedInTheSavesTransactionAndAFailureWritesNothing) {
  Fresh_Table();
  Clerk a(cfg_);
  a.Load();
  TSQLCA& q = a.q;
  a.Set(u"V1", u"summary", u"改");
  q.Add_Row();
  q.Set_Value(q.Find_Field(u"summary"), u"新凭证");
  q.Set_Value(q.Find_Field(u"amount"), u"12,345.60");
  TSave_Options o;
  int numbered = 0;
  o.before_insert = [&](TSQLCA* w, TSQLCA* area, int row) {
    int n = 0;
    if (!w->Get_Sequence_Id("sv_no", &n)) return w->Get_Sqlcode() ? w->Get_Sqlcode() : -1;
    area->Go_To_Row(row);
    area->Set_Value(area->Find_Field(u"no"), map_wchar(("N" + std::to_string(n)).c_str()));
    numbered++;
    return 0;
  };
  TSQLCA setup;
  Ok(setup, {u"create table if not exists app_sequence(seq_name varchar(60) primary key, seq_val int)",
             u"delete from app_sequence"});
  // A duplicate key of V2 on a second new row fails the whole save: nothing written, nothing numbered.
  q.Add_Row();
  q.Set_Value(q.Find_Field(u"no"), u"V2");
  TSave_Options dup = o;
  dup.before_insert = [&](TSQLCA* w, TSQLCA* area, int row) {
    area->Go_To_Row(row);
    return *area->Get_Value(u"no") ? 0 : o.before_insert(w, area, row);
  };
  EXPECT_NE(q.Save_Changes(&dup), 0);
  TSQLCA check;
  EXPECT_EQ(Row(check, u"V1"), "采购钢板|100000|n1") << "rolled back whole";
  ASSERT_EQ(check.Select(u"select count(*) from app_sequence"), 0);
  EXPECT_EQ(std::u16string(check.Get_Row_Value(0, 0)), u"0") << "the number went back with it";
  EXPECT_EQ(std::u16string(q.Get_Row_Value(q.Get_Row_Count() - 2, q.Find_Field(u"no"))), u"")
      << "the number given in the rolled-back transaction went back too";
  q.Go_To_Row(q.Get_Row_Count() - 1);
  q.Del_Row();  // the duplicate out
  numbered = 0;
  ASSERT_EQ(q.Save_Changes(&o), 0) << Utf8(q.Get_Error_Msg());
  EXPECT_EQ(numbered, 1);
  EXPECT_EQ(Row(check, u"N1"), "新凭证|1234560|-");
  EXPECT_EQ(Row(check, u"V1"), "改|100000|n1");
  EXPECT_EQ(q.Has_Changes(), 0);
}

TEST_P(Save_Test, AFloatThatDoesNotSurviveAsTextIsStillSaved) {
  Fresh_Table();
  Clerk a(cfg_);
  a.Load();
  a.Set(u"V1", u"rate", u"0.75");
  a.Set(u"V1", u"note", u"x");
  EXPECT_EQ(a.Save([](TSave_Conflict*) { return TSave_Conflict::CANCEL; }), 0) << Utf8(a.q.Get_Error_Msg());
  TSQLCA check;
  ASSERT_EQ(check.Select(u"select rate * 100, note from sv where no = 'V1'"), 0);
  EXPECT_EQ(Utf8(check.Get_Row_Value(0, 0)).substr(0, 2), "75");
  EXPECT_EQ(std::u16string(check.Get_Row_Value(0, 1)), u"x");
}

// A lost connection is a server's: this one runs on PostgreSQL alone.
class Save_Lost_Test : public Save_Test {
 protected:
  // Commits of sessions asking for it (synchronous_commit=on) wait, once written, for a standby that
  // never comes; every other session commits as before. Returns once such a commit is seen waiting.
  static void Standby_Wait(bool on) {
    const char* ci = std::getenv("ZEM_PG_CONNINFO");
    EXPECT_EQ(zem_test::Pg_Admin(ci, on ? "alter system set synchronous_standby_names = 'zem_nobody'"
                                        : "alter system reset synchronous_standby_names"), "");
    EXPECT_EQ(zem_test::Pg_Admin(ci, on ? "alter system set synchronous_commit = 'local'"
                                        : "alter system reset synchronous_commit"), "");
    zem_test::Pg_Admin(ci, "select pg_reload_conf()");
    for (int i = 0; on && i < 100; i++) {
      PGconn* c = PQconnectdb((std::string(ci) + " options='-c synchronous_commit=on'").c_str());
      PQsendQuery(c, "begin; create temp table zem_probe(x int); commit");
      usleep(100000);
      PQconsumeInput(c);
      const bool waits = PQisBusy(c);
      PQfinish(c);
      if (waits) return;
    }
    EXPECT_FALSE(on) << "commits never waited for the standby";
  }
};

// The server ends the clerk's session, as a restart does: while the clerk is idle, or while its commit
// waits after the server wrote it (the commit landed, its answer was lost). Either way the save works
// first time, and the new voucher it numbered is in the table once.
TEST_P(Save_Lost_Test, ASaveAfterALostConnectionWorksFirstTime) {
  Fresh_Table();
  TSQLCA setup;
  Ok(setup, {u"create table if not exists app_sequence(seq_name varchar(60) primary key, seq_val int)"});
  const std::string ends = "select count(pg_terminate_backend(pid)) from pg_stat_activity where application_name = "
                           "'zem_lost_clerk'";
  struct Case { const char* name; bool at_commit; const char16_t* amount; const char* kept; };
  for (const Case& r : {Case{"ended while idle", false, u"4321", "采购钢板|432100|n1"},
                        Case{"ended after the commit landed", true, u"5432", "采购钢板|543200|n1"}}) {
    SCOPED_TRACE(r.name);
    TDb_Config cfg = cfg_;
    cfg.text[0].pop_back();  // the closing quote of the options
    cfg.text[0] += u" -c synchronous_commit=on' application_name=zem_lost_clerk";
    Clerk a(cfg);
    a.Load();
    a.Set(u"V1", u"amount", r.amount);
    a.q.Add_Row();
    a.q.Set_Value(a.q.Find_Field(u"summary"), U(r.name).c_str());
    TSave_Options o;
    o.before_insert = [](TSQLCA* w, TSQLCA* area, int row) {
      int n = 0;
      if (!w->Get_Sequence_Id("sv_no", &n)) return w->Get_Sqlcode() ? w->Get_Sqlcode() : -1;
      area->Go_To_Row(row);
      area->Set_Value(area->Find_Field(u"no"), map_wchar(("N" + std::to_string(n)).c_str()));
      return 0;
    };
    std::atomic<bool> saved{false};
    std::atomic<int> ended{0};
    std::thread ender;
    if (r.at_commit) {
      Standby_Wait(true);
      ender = std::thread([&] {
        PGconn* c = PQconnectdb(std::getenv("ZEM_PG_CONNINFO"));
        const std::string waiting = ends + " and wait_event = 'SyncRep'";
        for (int i = 0; i < 3000 && !saved; i++, usleep(5000)) {
          PGresult* res = PQexec(c, waiting.c_str());
          if (PQresultStatus(res) == PGRES_TUPLES_OK) ended += std::atoi(PQgetvalue(res, 0, 0));
          PQclear(res);
        }
        PQfinish(c);
      });
    } else {
      EXPECT_EQ(zem_test::Pg_Admin(std::getenv("ZEM_PG_CONNINFO"), ends), "");
      ended = 1;
    }
    EXPECT_EQ(a.q.Save_Changes(&o, &a.result), 0) << Utf8(a.q.Get_Error_Msg());
    saved = true;
    if (ender.joinable()) ender.join();
    if (r.at_commit) Standby_Wait(false);
    EXPECT_GT(ended.load(), 0);
    TSQLCA check;
    EXPECT_EQ(Row(check, u"V1"), r.kept);
    ASSERT_EQ(check.Select(u"select count(*) from sv where summary = ?", {U(r.name)}), 0);
    EXPECT_EQ(std::u16string(check.Get_Row_Value(0, 0)), u"1") << "the new voucher saved once";
    EXPECT_EQ(a.q.Has_Changes(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Drivers, Save_Test, ::testing::Values("sqlite", "pg"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });
INSTANTIATE_TEST_SUITE_P(Drivers, Save_Lost_Test, ::testing::Values("pg"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
