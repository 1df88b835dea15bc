// Sessions, driver loading and the pool, without a database where none is needed.
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <tuple>
#include <thread>

#include "core/data/db_connect.h"
#include "core/data/dbdata.h"
#include "drivers/db_fixture.h"
#include "drivers/drv_common.h"
#include "frame/log_mgr.h"
#include "frame/pub_ptr.h"

namespace {

using zem_test::Log_Capture;

TDb_Connect* Named(const char* group) {
  auto* c = new TDb_Connect();
  c->Set_Group(group);
  return c;
}

}  // namespace

TEST(Db_Connect, MissingLibraryIsRefusedWithItsMessageAndALibraryIsLoadedOnce) {
  zem_test::Ensure_Dll_Path();
  Log_Capture log;
  TDb_Connect c;
  EXPECT_EQ(c.Load_Driver("zem_drv_none"), 0);
  EXPECT_TRUE(log.Has("unable to load dll ")) << Log_Mgr()->Last_Lines();
  EXPECT_TRUE(log.Has("zem_drv_none.so\n"));
  // Sessions made one after another (a listener reconnecting through an outage) load and print the
  // driver once in the process, not once each.
  testing::internal::CaptureStdout();
  for (int i = 0; i < 3; i++) EXPECT_EQ(TDb_Connect().Load_Driver("zem_drv_sqlite"), 1);
  const std::string out = testing::internal::GetCapturedStdout();
  size_t loads = 0;
  for (size_t at = out.find("LOAD "); at != std::string::npos; at = out.find("LOAD ", at + 1)) loads++;
  EXPECT_LE(loads, 1u) << out;
  TDb_Config cfg;
  cfg.driver = "/no/such/dir/zem_drv_x.so";
  TDb_Connect_Mgr pool;
  EXPECT_EQ(pool.Add_Config(cfg), 0);
  EXPECT_EQ(pool.Count(), 0);
}

TEST(Db_Connect, LibraryWithoutEntriesNamesEachMissingOneAndEveryCallFails) {
  zem_test::Ensure_Dll_Path();
  Log_Capture log;
  TDb_Connect c;
  // The registry library loads fine but has none of the driver entries.
  ASSERT_EQ(c.Load_Driver("kdm_pub_ptr"), 1);
  for (const char* e : {"_Set_Data_Oper_Handle", "_Connect_Handle", "_Disconnect_Handle", "_Commit_Handle",
                        "_Rollback_Handle", "_ExecuteSql_Handle", "_ExecuteProc_Handle", "_SelectRow_Handle",
                        "_BatchInsert_Handle"})
    EXPECT_TRUE(log.Has(std::string("kdm_pub_ptr.so: ") + e + "\n")) << e;

  DBDataMgr ds;
  struct Call { const char* message; int (*run)(TDb_Connect&, DBDataMgr*); };
  const Call calls[] = {
      {"_Connect_Handle is NULL\n", [](TDb_Connect& x, DBDataMgr* d) { return x.Connect(d); }},
      {"_Disconnect_Handle is NULL\n", [](TDb_Connect& x, DBDataMgr* d) { return x.Disconnect(d); }},
      {"_Commit_Handle is NULL\n", [](TDb_Connect& x, DBDataMgr* d) { return x.Commit(d); }},
      {"_Rollback_Handle is NULL\n", [](TDb_Connect& x, DBDataMgr* d) { return x.Rollback(d); }},
      {"_ExecuteSql_Handle is NULL\n", [](TDb_Connect& x, DBDataMgr* d) { return x.Execute_Sql(d, u"select 1"); }},
      {"_ExecuteProc_Handle is NULL\n", [](TDb_Connect& x, DBDataMgr* d) { return x.Execute_Proc(d, u"call p()"); }},
      {"_SelectRow_Handle is NULL\n", [](TDb_Connect& x, DBDataMgr* d) { return x.Select_Row(d, u"select 1", 0, 1); }},
      {"_BatchInsert_Handle is NULL\n", [](TDb_Connect& x, DBDataMgr*) { return x.Batch_Insert(nullptr); }},
  };
  for (const Call& call : calls) {
    EXPECT_EQ(call.run(c, &ds), 0) << call.message;
    EXPECT_TRUE(log.Has(call.message)) << call.message;
  }
  EXPECT_EQ(c.Connected(), 0);
}

TEST(Db_Connect, ConfigurationTextSetsEveryKeyAndRefusesUnknownOnes) {
  TDb_Config cfg;
  std::string err;
  ASSERT_EQ(cfg.Parse_Text("# pool for the tests\n"
                           "driver=zem_drv_pg\r\n"
                           "  text1=host=127.0.0.1 port=5432 dbname=库\n"
                           "text4=x\n"
                           "kind=3\noption=4\ngroup=main\nlog_path=/tmp/a.log\nlog_mode=2\ncount=5\n\n",
                           &err),
            1)
      << err;
  EXPECT_EQ(std::make_tuple(cfg.text[0], cfg.text[1], cfg.text[3]),
            std::make_tuple(std::u16string(u"host=127.0.0.1 port=5432 dbname=库"), std::u16string(), std::u16string(u"x")));
  EXPECT_EQ(std::make_tuple(cfg.driver, cfg.kind, cfg.option, cfg.group, cfg.log_path, cfg.log_mode, cfg.count),
            std::make_tuple(std::string("zem_drv_pg"), 3, 4, std::string("main"), std::string("/tmp/a.log"), 2, 5));

  struct Bad { const char* text; const char* says; };
  for (Bad b : {Bad{"driver=x\ncolour=red\n", "line 2: unknown key \"colour\""},
                Bad{"text5=x", "unknown key \"text5\""}, Bad{"no equals sign", "line 1: no '='"}}) {
    TDb_Config c2;
    std::string e2;
    EXPECT_EQ(c2.Parse_Text(b.text, &e2), 0) << b.text;
    EXPECT_NE(e2.find(b.says), std::string::npos) << e2;
    EXPECT_EQ(c2.driver, "zem_drv_sqlite") << "a refused text changes nothing";
  }
}

TEST(Db_Connect_Mgr, SessionsAreBoundToThreadsAndGroups) {
  Log_Capture log;
  TDb_Connect_Mgr pool;
  TDb_Connect* a1 = Named("a");
  TDb_Connect* a2 = Named("a");
  TDb_Connect* b1 = Named("b");
  pool.Add_Connect(a1);
  pool.Add_Connect(a2);
  pool.Add_Connect(b1);
  EXPECT_EQ(pool.Add_Connect(nullptr), 0);
  EXPECT_EQ(pool.Count(), 3);

  // The same thread gets the same session again.
  EXPECT_EQ(pool.Get_Session("a"), a1);
  EXPECT_EQ(pool.Get_Session("a"), a1);
  EXPECT_EQ(pool.Get_Session(nullptr), a1) << "a null group matches the session already held";
  EXPECT_EQ(pool.Get_Session("b"), b1);

  // Another thread gets the free one, then none.
  TDb_Connect* other = nullptr;
  TDb_Connect* none = reinterpret_cast<TDb_Connect*>(1);
  std::thread t([&] {
    other = pool.Get_Session("a");
    none = pool.Get_Session("b");  // held by the main thread
    EXPECT_EQ(pool.Release_Session(a1), 0) << "only the holder gives a session back";
    EXPECT_EQ(pool.Release_Thread(), 1);
  });
  t.join();
  EXPECT_EQ(other, a2);
  EXPECT_EQ(none, nullptr);
  EXPECT_TRUE(log.Has("Get_Session Fail grp_name b tot num 3"));
  EXPECT_EQ(pool.Get_Session("c"), nullptr);

  EXPECT_EQ(pool.Release_Session(a1), 1);
  EXPECT_EQ(pool.Release_Session(a1), 0) << "already given back";
}

TEST(Db_Connect_Mgr, GivenBackSessionReturnsToItsLastHolder) {
  TDb_Connect_Mgr pool;
  TDb_Connect* s1 = Named("g");
  TDb_Connect* s2 = Named("g");
  pool.Add_Connect(s1);
  pool.Add_Connect(s2);
  std::promise<void> b_took, main_gave_back, b_gave_back;
  TDb_Connect* b_got = nullptr;
  std::thread b([&] {
    b_got = pool.Get_Session("g");
    b_took.set_value();
    main_gave_back.get_future().wait();
    pool.Release_Thread();
    b_gave_back.set_value();
  });
  b_took.get_future().wait();
  EXPECT_EQ(b_got, s1);
  ASSERT_EQ(pool.Get_Session("g"), s2);
  EXPECT_EQ(pool.Release_Thread(), 1);
  main_gave_back.set_value();
  b_gave_back.get_future().wait();
  b.join();
  // Both are free; s1 comes first, but this thread held s2 last.
  EXPECT_EQ(pool.Get_Session("g"), s2);
  pool.Release_Thread();
}

TEST(Db_Connect_Mgr, SharedUnderItsRegistryNames) {
  bool created = false;
  TDb_Connect_Mgr* a = Db_Connect_Mgr(&created);
  EXPECT_EQ(Db_Connect_Mgr(), a);
  EXPECT_EQ(Get_Pub_Ptr("mts_mgr"), a);
  int* flag = Db_Net_Thread_Flag();
  EXPECT_EQ(Get_Pub_Ptr("Db_Net_Thread_Flag"), flag);
  EXPECT_EQ(*flag, 0);
}

// Which statement texts end, open or stay outside the driver's transaction.
TEST(Driver_Text, StatementKinds) {
  using drv::Stmt;
  struct Case { const char16_t* sql; Stmt kind; };
  const Case cases[] = {
      {u"commit", Stmt::Commit},           {u"  COMMIT WORK ;", Stmt::Commit},
      {u"end transaction", Stmt::Commit},  {u"rollback", Stmt::Rollback},
      {u"Rollback;", Stmt::Rollback},      {u"rollback to savepoint a", Stmt::Plain},
      {u"begin", Stmt::Begin},             {u"begin transaction", Stmt::Begin},
      {u"select 1", Stmt::Select},         {u"(select 1) union (select 2)", Stmt::Select},
      {u"with c(x) as (select 1) select x from c", Stmt::Select},
      {u"with d as (delete from t returning *) select * from d", Stmt::Plain},
      {u"select * into t2 from t", Stmt::Plain},
      {u"select * from t for update ", Stmt::Plain},
      {u"insert into t values(1)", Stmt::Plain},
      {u"", Stmt::Plain},
  };
  for (const Case& c : cases) EXPECT_EQ(static_cast<int>(drv::Classify(c.sql)), static_cast<int>(c.kind)) << zem_test::Utf8(c.sql);
}

TEST(Driver_Text, ErrorStatesAsCodes) {
  EXPECT_EQ(drv::Code_From_State("23505"), 23505);
  EXPECT_EQ(drv::Code_From_State("42P01"), (((4 * 36 + 2) * 36 + 25) * 36 + 0) * 36 + 1);
  EXPECT_NE(drv::Code_From_State("42P01"), drv::Code_From_State("42P02"));
  EXPECT_EQ(drv::Code_From_State("00000"), -1) << "never 0, which means success";
  EXPECT_EQ(drv::Code_From_State(nullptr), -1);
}

// Change notices stay in the schema they were sent in: applications (and parallel test runs) sharing
// one database in schemas of their own use the same channel unheard by each other. The foreign notice,
// sent first, would arrive first. A schema name too long to follow the channel's keeps its own too.
using zem_test::Db_Test;

TEST_P(Db_Test, NoticesStayInTheirSchema) {
  if (!Pg()) GTEST_SKIP() << "SQLite has no notices";
  const std::string conninfo = std::getenv("ZEM_PG_CONNINFO"), other = schema_ + "_x";
  const std::string longer = other + std::string(45, 'l');
  for (const std::string& s : {other, longer})
    ASSERT_EQ(zem_test::Pg_Admin(conninfo.c_str(), "create schema " + s), "");
  auto open = [&](const std::string& schema, TDb_Connect* c) {
    TDb_Config cfg = cfg_;
    cfg.text[0] = zem_test::U(conninfo + " options='-c search_path=" + schema + "'");
    return c->Set_Config(cfg) && c->Connect();
  };
  for (const std::string& own_schema : {schema_, longer}) {
    SCOPED_TRACE(own_schema);
    TDb_Connect listener, foreign, own;
    ASSERT_TRUE(open(own_schema, &listener) && open(other, &foreign) && open(own_schema, &own));
    DBDataMgr ds;
    ASSERT_TRUE(listener.Listen(&ds, u"zem_dict") && foreign.Notify(&ds, u"zem_dict", u"foreign") &&
                own.Notify(&ds, u"zem_dict", u"own")) << zem_test::Utf8(ds.Get_Sqlmsg());
    std::vector<std::string> heard;
    for (int i = 0; i < 100 && heard.empty() && listener.Wait_Notify(&ds, 100); ++i)
      for (int n = 0; n < ds.Get_Row_Count(); ++n)
        heard.push_back(zem_test::Utf8(ds.Get_Row_Value(n, 0)) + " " + zem_test::Utf8(ds.Get_Row_Value(n, 1)));
    EXPECT_EQ(heard, std::vector<std::string>{"zem_dict own"});
  }
  for (const std::string& s : {other, longer}) zem_test::Drop_Schema(s);
}
