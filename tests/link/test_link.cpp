// The remote-call entry in local call mode, and temporary key sets made through it.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "core/data/key_set.h"
#include "core/data/name_call.h"
#include "core/data/para.h"
#include "core/data/sqlca.h"
#include "drivers/db_fixture.h"
#include "frame/host_funcs.h"
#include "frame/log_mgr.h"
#include "frame/pub_ptr.h"
#include "frame/thr_err.h"
#include "link/r_call.h"

using zem_test::Db_Test;
using zem_test::Fill_Area;
using zem_test::Utf8;

namespace {

int Echo_Double(TParaMgr* p) {
  int v = 0;
  p->Get_Int(u"v", &v);
  p->Put_Int(u"out", v * 2);
  char sess[32] = {0};
  if (p->Get_Str(u"sess", sess, sizeof sess)) p->Put_Str(u"seen", sess);
  return 1;
}

// The host's call preparation: adds its session value and goes on, or stops the call.
bool g_prepare_goes_on = true;
int Prepare(TParaMgr* p) { return g_prepare_goes_on ? (p->Put_Str(u"sess", "host"), 1) : 0; }

int Failing(TParaMgr*) { return Thr_Err_Mgr()->Set_Err(42, "no stock for that code"), 0; }

std::string Str(TParaMgr& p, const char16_t* name) {
  char buf[256] = {0};
  if (!p.Get_Str(name, buf, sizeof buf)) return "<absent>";
  return buf;
}

}  // namespace

// Runs first in its process: nothing has registered the entry yet.
TEST(Key_Set, WithoutTheLinkTheCallFailsCleanly) {
  TParaMgr p;
  EXPECT_EQ(Zem_R_Call("tfa_key_set_create", &p), -1);
  EXPECT_TRUE(Str(p, u"_r_ec_") == "-1" && Str(p, u"_r_em_").find("not registered") != std::string::npos) << Str(p, u"_r_em_");
  TSQLCA data;
  Fill_Area(data, nullptr, {u"code"}, {{u"A"}});
  EXPECT_EQ(Key_Set_Create(&data, 0), 0);
}

TEST(R_Call, LocalModeRunsTheNamedFunctionAndReportsThroughThePack) {
  Link_Register();
  Mid_Process()->DefineFunction("test_echo_double", 1, Echo_Double);
  Mid_Process()->DefineFunction("test_failing", 1, Failing);
  ASSERT_EQ(*R_Call_Local_Mode(), 1) << "local call mode is the default";

  // Rows without a host preparation come first: once registered it stays.
  enum Prep { kNoHandle, kGoesOn, kStops };
  struct Case { const char* name; Prep prep; int result; const char* ec; const char* em_has; int out; const char* seen; };
  const Case cases[] = {
      {"test_echo_double", kNoHandle, 0, "0", nullptr, 42, "<absent>"},
      {"test_failing", kNoHandle, 42, "42", "no stock", -1, "<absent>"},
      {"no_such_call", kNoHandle, -1, "-1", "no_such_call", -1, "<absent>"},
      {"test_echo_double", kGoesOn, 0, "0", nullptr, 42, "host"},
      {"test_echo_double", kStops, -1, "-1", "Rcall_Prepare_Handle", -1, "<absent>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " prep " + std::to_string(c.prep));
    if (c.prep != kNoHandle) Reg_Pub_Ptr(kRcall_Prepare_Handle, reinterpret_cast<void*>(&Prepare));
    g_prepare_goes_on = c.prep != kStops;
    TParaMgr p;
    p.Put_Int(u"v", 21);
    EXPECT_EQ(R_Call(c.name, &p), c.result);
    EXPECT_EQ(Str(p, u"_r_ec_"), c.ec);
    // No message at all after a call that succeeded.
    EXPECT_NE(Str(p, u"_r_em_").find(c.em_has ? c.em_has : "<absent>"), std::string::npos) << Str(p, u"_r_em_");
    int out = 0;
    EXPECT_EQ(p.Get_Int(u"out", &out) ? out : -1, c.out);
    EXPECT_EQ(Str(p, u"seen"), c.seen) << "the session value the host's preparation added";
  }
  g_prepare_goes_on = true;
  TParaMgr p, q;
  EXPECT_EQ(R_Call("test_echo_double", nullptr), 0) << "a call without a pack gets an empty one";
  EXPECT_NE(R_Call(nullptr, &p), 0);

  // Remote mode without a server named: a clear error, nothing run (tests/link/test_app_server.cpp
  // has the server).
  *R_Call_Local_Mode() = 0;
  int out = 0;
  EXPECT_NE(R_Call("test_echo_double", &q), 0);
  EXPECT_TRUE(q.Get_Int(u"out", &out) == 0 && Str(q, u"_r_em_").find("app_server is not set") != std::string::npos);
  *R_Call_Local_Mode() = 1;
  EXPECT_EQ(Zem_R_Call("test_echo_double", &q), 0) << "the data layer reaches the same entry";
}

TEST(Key_Set, ServerSideRefusesACallWithoutKeys) {
  TParaMgr p;
  Thr_Err_Mgr()->Clear_Err();
  EXPECT_EQ(Tfa_Key_Set_Create(&p), 0);
  std::string text;
  EXPECT_TRUE(Thr_Err_Mgr()->Get_Err(&text) == -1 && text.find("key_dbio") != std::string::npos) << text;
}

// Over both drivers: sets are numbered, hold each distinct non-empty code once, and serve as
// conditions in the caller's own statements.
TEST_P(Db_Test, KeySetsHoldDistinctCodesAndServeAsConditions) {
  Link_Register();
  TSQLCA q;
  Ok(q, {u"drop table if exists app_tmp_key_set", u"drop table if exists app_sequence",
         u"drop table if exists goods",
         u"create table goods(code varchar(20), name varchar(40))",
         u"insert into goods values('A', '甲'), ('B', '乙'), ('C', '丙'), ('D', '丁'), ('李''四', '戊')"});

  TSQLCA data;
  Fill_Area(data, nullptr, {u"x", u"code"},
            {{u"x", u"A"}, {u"x", u"B"}, {u"x", u"A"}, {u"x", u""}, {u"x", u"C"}, {u"x", u"李'四"}});
  int id = Key_Set_Create(&data, 1);
  ASSERT_GT(id, 0) << Utf8(q.Get_Error_Msg());
  ASSERT_EQ(q.Exec(map_wchar(("select key_id from app_tmp_key_set where set_id=" + std::to_string(id) +
                              " order by key_id").c_str())),
            0);
  std::u16string keys;
  for (int i = 0; i < q.Get_Row_Count(); i++) keys += std::u16string(q.Get_Row_Value(i, 0)) + u";";
  EXPECT_EQ(keys, u"A;B;C;李'四;") << "each distinct non-empty code once";

  // Used as the combo box's limit and as the tree view's sub-select.
  std::string sql = "select name from goods where code " + Key_Set_In_Cond(id) + "order by code";
  ASSERT_EQ(q.Exec(map_wchar(sql.c_str())), 0) << Utf8(q.Get_Error_Msg());
  EXPECT_EQ(q.Get_Row_Count(), 4);
  sql = "select count(*) from goods where code in (" + Key_Set_Sub_Select(id) + ")";
  ASSERT_EQ(q.Exec(map_wchar(sql.c_str())), 0);
  EXPECT_EQ(std::u16string(q.Get_Value(0)), u"4");

  // The next set gets the next number; an empty list still makes a set.
  TSQLCA empty;
  Fill_Area(empty, nullptr, {u"code"}, {{}});
  const int id2 = Key_Set_Create(&empty, 0);
  EXPECT_EQ(id2, id + 1);
  EXPECT_EQ(Key_Set_Create(&data, 5), 0) << "a field outside the data";
  TSQLCA none;
  EXPECT_EQ(Key_Set_Create(&none, 0), id2 + 1) << "a set without rows or fields sends an empty list";
  ASSERT_EQ(q.Exec(map_wchar(("select count(*) from app_tmp_key_set where set_id=" + std::to_string(id2)).c_str())), 0);
  EXPECT_EQ(std::u16string(q.Get_Value(0)), u"0");
  q.Commit();
}

TEST_P(Db_Test, KeySetFailsWhenTheDatabaseRefuses) {
  Link_Register();
  TSQLCA q;
  // A key table of the wrong shape: the insert fails, the call answers no set.
  Ok(q, {u"drop table if exists app_tmp_key_set", u"create table app_tmp_key_set(other integer)"});
  TSQLCA data;
  Fill_Area(data, nullptr, {u"code"}, {{u"A"}});
  EXPECT_EQ(Key_Set_Create(&data, 0), 0);
  std::string text;
  EXPECT_TRUE(Thr_Err_Mgr()->Get_Err(&text) != 0 && text.find("cannot store the keys") != std::string::npos) << text;
  q.Rollback();
  Ok(q, {u"drop table if exists app_tmp_key_set"});
}

// Two clients of one server: a set made in a transaction left open locks nothing that another client
// needs for its own set, and each set still goes with its caller's transaction.
class Key_Set_Server : public Db_Test {};
TEST_P(Key_Set_Server, AnOpenTransactionHoldsNoOtherClientBack) {
  Link_Register();
  Pub_Para_Put_Int(u"db_statement_timeout", 10);  // a wait on a lock ends as an error, not a hang
  TSQLCA q;
  Ok(q, {u"drop table if exists app_tmp_key_set", u"drop table if exists app_sequence"});
  TSQLCA data;
  Fill_Area(data, nullptr, {u"code"}, {{u"A"}});
  int mine = Key_Set_Create(&data, 0);  // not committed: this thread's session stays in its transaction
  ASSERT_GT(mine, 0);
  int other = 0;
  std::string why;
  std::thread client([&] {  // the pool gives this thread the second session
    other = Key_Set_Create(&data, 0);
    if (!other) Thr_Err_Mgr()->Get_Err(&why);
    TSQLCA c;
    c.Commit();
    Db_Connect_Mgr()->Release_Thread();
  });
  client.join();
  Pub_Para_Put_Int(u"db_statement_timeout", 300);
  ASSERT_GT(other, 0) << why;
  EXPECT_NE(other, mine);
  ASSERT_EQ(q.Rollback(), 0);
  ASSERT_EQ(q.Exec(u"select set_id from app_tmp_key_set"), 0);
  ASSERT_EQ(q.Get_Row_Count(), 1) << "the rolled back set is gone, the committed one stays";
  EXPECT_EQ(Utf8(q.Get_Value(0)), std::to_string(other));
}
INSTANTIATE_TEST_SUITE_P(Pg, Key_Set_Server, ::testing::Values("pg"));

INSTANTIATE_TEST_SUITE_P(Drivers, Db_Test, ::testing::Values("sqlite", "pg"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });
