// Master data changed by any writer, with plain SQL on a session of its own: the change log and its
// triggers record it, and this process follows it, by notices or by reading the log, whichever the
// database allows; a watched table's changes arrive under the id the host gave it.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "dict/dict_change.h"
#include "dict/dict_notify.h"
#include "tests/dict/dict_fixture.h"

using zem_test::Utf8;

namespace {

// What the observers heard, from the listening thread.
struct Heard {
  std::mutex m;
  std::set<std::string> ids;
  static void Fn(void* ctx, const char* id) {
    auto* h = static_cast<Heard*>(ctx);
    std::lock_guard<std::mutex> g(h->m);
    h->ids.insert(id);
  }
  bool Has(const std::string& id) {
    std::lock_guard<std::mutex> g(m);
    return ids.count(id) > 0;
  }
};

// Polls cond for up to a generous minute; the test asserts the outcome, never the time it took.
bool Eventually(const std::function<bool()>& cond) {
  for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60); std::chrono::steady_clock::now() < end;) {
    if (cond()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return cond();
}

class Dict_Change_Test : public zem_test::Dict_Test {
 protected:
  void TearDown() override {
    Dict_Notify()->Stop();
    Dict_Notify()->Remove_Observer(&Heard::Fn, &heard_);
    Pub_Para_Put_Int(u"dict_notices", 1);
    Pub_Para_Put_Int(u"dict_change_poll_ms", 2000);
    zem_test::Dict_Test::TearDown();
  }
  // A writer outside the package's dictionaries: a session of its own, plain SQL, committed.
  void Write(const char16_t* sql) {
    TDb_Connect other;
    ASSERT_TRUE(other.Set_Config(cfg_));
    TSQLCA q;
    q.Set_Connect(&other);
    ASSERT_EQ(q.Exec(sql), 0) << Utf8(q.Get_Error_Msg());
    ASSERT_EQ(q.Commit(), 0) << Utf8(q.Get_Error_Msg());
  }
  Heard heard_;
};

TEST_P(Dict_Change_Test, PlainSqlChangesReachThisProcessByNoticeOrByTheLog) {
  TSQLCA q;
  Ok(q, {u"create table t_dept_tree (code varchar(20), name varchar(60))",
         u"insert into t_dept_tree values ('01', '总部')",
         u"insert into app_dict_sql values ('dtree', 'select code, name from t_dept_tree', '', '', '', '', 'code', '', '')"});
  ASSERT_EQ(Dict_Watch_Table(&q, "t_dept_tree", "dtree, vouchers_seen"), 0) << Utf8(q.Get_Error_Msg());
  ASSERT_EQ(q.Commit(), 0);
  Pub_Para_Put_Int(u"dict_change_poll_ms", 100);
  struct Mode {
    const char* name;
    int notices;  // the "dict_notices" parameter
    int want;     // the mode Start takes
  } modes[] = {
      {"as the database allows", 1, Pg() ? TDict_Notify::MODE_NOTICES : TDict_Notify::MODE_POLL},
      {"notices turned off", 0, TDict_Notify::MODE_POLL},
  };
  int round = 0;
  for (const Mode& m : modes) {
    SCOPED_TRACE(m.name);
    Pub_Para_Put_Int(u"dict_notices", m.notices);
    ASSERT_EQ(Dict_Notify()->Start(cfg_), 1);
    EXPECT_EQ(Dict_Notify()->Mode(), m.want);
    Dict_Notify()->Add_Observer(&Heard::Fn, &heard_);
    ASSERT_EQ(Codes(Dict_Client_List()->Get_Dict("dept", 1)).size(), 4u);
    ASSERT_TRUE(Dict_Client_List()->Get_Dict("dtree", 1));
    round++;
    const std::u16string name = round == 1 ? u"改名甲" : u"再改名甲";
    struct Change {
      const char* name;
      std::u16string sql;
      const char* id;
      std::function<bool()> seen;
    } changes[] = {
        {"a name in app_dict_def", u"update app_dict_def set name = '" + name + u"' where dict_id = 'dept' and code = 'A'",
         "dept",
         [&] {
           std::u16string n;
           Dict_Client_List()->Get_Dict("dept", 1)->Get_Name(u"A", &n);
           return n == name;
         }},
        {"an entry stopped", std::u16string(u"update app_dict_def set stop_flag = '") + (round == 1 ? u"Y" : u"N") +
                                 u"' where dict_id = 'dept' and code = 'C'",
         "dept",
         [&] {
           TDict* d = Dict_Client_List()->Get_Dict("dept", 1);
           auto g = d->Lock();
           return d->Seek_Code(0, u"C") && d->Is_Stop() == (round == 1);
         }},
        {"a row of a watched table", std::u16string(u"insert into t_dept_tree values ('0") + (round == 1 ? u"2" : u"3") +
                                         u"', '分部')",
         "vouchers_seen",
         [&] { return Codes(Dict_Client_List()->Get_Dict("dtree", 1)).size() == static_cast<size_t>(1 + round); }},
    };
    for (Change& c : changes) {
      SCOPED_TRACE(c.name);
      {
        std::lock_guard<std::mutex> g(heard_.m);
        heard_.ids.clear();
      }
      Write(c.sql.c_str());
      EXPECT_TRUE(Eventually([&] { return heard_.Has(c.id); })) << "the observers heard of " << c.id;
      EXPECT_TRUE(Eventually(c.seen)) << "the dictionary shows the change";
    }
    Dict_Notify()->Stop();
    Dict_Notify()->Remove_Observer(&Heard::Fn, &heard_);
  }
  std::vector<Dict_Change_Row> log;
  ASSERT_EQ(Dict_Read_Changes(&q, 0, 0, &log), 1);
  std::set<std::string> ids;
  for (const Dict_Change_Row& r : log) ids.insert(r.dict_id);
  EXPECT_EQ(ids, (std::set<std::string>{"dept", "dtree", "other", "vouchers_seen"}));
  ASSERT_EQ(Dict_Prune_Changes(&q, 1), 1);
  ASSERT_EQ(Dict_Read_Changes(&q, 0, 0, &log), 1);
  EXPECT_EQ(log.size(), 1u) << "pruned to the last change";
}

TEST_P(Dict_Change_Test, ADatabaseMadeBeforeTheTriggersGetsThemByTheMaintenanceCall) {
  TSQLCA q;
  // As an older database has it: no log, no triggers.
  Ok(q, {Pg() ? u"drop trigger zem_dict_change_u on app_dict_def" : u"drop trigger zem_dict_change_app_dict_def_u",
         u"drop table app_dict_change"});
  Ok(q, {u"update app_dict_def set name = 'x' where code = 'A'"});
  EXPECT_NE(q.Select(u"select count(*) from app_dict_change"), 0);
  ASSERT_EQ(Dict_Create_Change_Triggers(&q), 0) << Utf8(q.Get_Error_Msg());
  ASSERT_EQ(Dict_Create_Change_Triggers(&q), 0) << "running it again renews what is there";
  ASSERT_EQ(q.Commit(), 0);
  Ok(q, {u"update app_dict_def set name = 'y' where code = 'A' and dict_id = 'dept'",
         u"delete from app_dict_def where dict_id = 'other'"});
  std::vector<Dict_Change_Row> log;
  ASSERT_EQ(Dict_Read_Changes(&q, 0, 0, &log), 1);
  std::string ids;
  for (const Dict_Change_Row& r : log) ids += r.dict_id + ";";
  EXPECT_EQ(ids, "dept;other;");
}

INSTANTIATE_TEST_SUITE_P(Drivers, Dict_Change_Test, ::testing::Values("sqlite", "pg"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
