// Named-function tables: definition rules, prefix entries, call by name and its error results.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/data/name_call.h"
#include "data_test_util.h"
#include "frame/pub_ptr.h"
#include "frame/thr_err.h"

namespace {

int F1(TParaMgr* p) { if (p) p->Put_Int("who", 1); return 11; }
int F2(TParaMgr* p) { if (p) p->Put_Int("who", 2); return 22; }
int F3(TParaMgr* p) { if (p) p->Put_Int("who", 3); return 33; }

TEST(TName_Call, PrefixEntries) {
  TName_Call t;
  EXPECT_EQ(t.DefineFunction("ab*", 1, F1) + t.DefineFunction("abc", 1, F2), 2);
  struct Row { const char* name; Name_Call_Fn fn; };
  const Row rows[] = {
      {"abc", F2}, {"abx", F1}, {"ab", F1}, {"abcd", F1}, {"a", nullptr}, {"", nullptr}, {"xab", nullptr},
  };
  for (const Row& r : rows) EXPECT_EQ(t.Find(r.name), r.fn) << r.name;
  // A later prefix entry that also begins the name replaces an earlier one; exact names still win.
  EXPECT_EQ(t.DefineFunction("a*", 1, F3), 1);
  EXPECT_TRUE(t.Find("abx") == F3 && t.Find("abc") == F2 && t.Find(nullptr) == nullptr);
  const TName_Call_Entry* e = t.Find_Entry("abz");
  ASSERT_NE(e, nullptr);
  EXPECT_TRUE(std::string(e->name) == "a" && e->prefix == 1) << "the entry is the prefix without its star";
}

TEST(TName_Call, DefineRules) {
  TName_Call t;
  EXPECT_EQ(t.DefineFunction(nullptr, 1, F1) + t.DefineFunction("f", 1, nullptr), 0) << "a name and a function needed";
  EXPECT_EQ(t.DefineFunction("f", 2, F1, "first", 0, "extra"), 1);
  EXPECT_EQ(t.DefineFunction("f", 1, F2, "second", 5), 1);
  EXPECT_EQ(t.Count(), 1) << "the first definition stays";
  const TName_Call_Entry* e = t.Find_Entry("f");
  ASSERT_NE(e, nullptr);
  // Type 0 is stored as 3.
  EXPECT_EQ(std::make_tuple(e->func, std::string(e->mean), std::string(e->text2), e->kind, e->type, e->prefix),
            std::make_tuple(&F1, std::string("first"), std::string("extra"), 2, 3, 0));
  EXPECT_EQ(t.DefineFunction("g", 1, F2, nullptr, 4), 1);
  EXPECT_TRUE(t.Find_Entry("g")->type == 4 && t.Find_Entry("g")->mean == nullptr);
}

TEST(TName_Call, CallByName) {
  TName_Call t;
  t.DefineFunction("Do_It", 1, F2, "does it");
  TParaMgr p;
  Kept_Log log;
  EXPECT_EQ(t.N_Call("Do_It", &p), 22);
  EXPECT_TRUE(p.Find_Para("who")->Get_Int() == 2 && p.Find_Para("_r_ec_") == nullptr);
  EXPECT_TRUE(log.Has("N_Call                    Do_It does it") && log.Has("           Do_It does it Over\n"))
      << log.Text();
}

TEST(TName_Call, UndefinedCall) {
  TName_Call t;
  TParaMgr p;
  Thr_Err_Mgr()->Clear_Err();
  Kept_Log log;
  EXPECT_EQ(t.N_Call("nope", &p), 1);
  EXPECT_TRUE(log.Has("cant get function nope\n"));
  int ec = 0;
  tstr em;
  EXPECT_TRUE(p.Get_Int("_r_ec_", &ec) == 1 && ec == -1);
  EXPECT_TRUE(p.Get_Str("_r_em_", &em) == 1 && std::string(em.c_str()).find("nope") != std::string::npos);
  std::string text;
  EXPECT_TRUE(Thr_Err_Mgr()->Get_Err(&text) == -1 && text == em.c_str()) << "the thread's error says the same";
  // Without a pack the call still fails cleanly.
  EXPECT_EQ(t.N_Call("nope", nullptr), 1);
  Thr_Err_Mgr()->Clear_Err();
}

TEST(TName_Call, ThreadErrorIntoPack) {
  TParaMgr p;
  Thr_Err_Mgr()->Clear_Err();
  EXPECT_EQ(Put_Thr_Err_Para(&p), 1);
  EXPECT_TRUE(p.Find_Para("_r_ec_")->Get_Int() == 0 && p.Find_Para("_r_em_") == nullptr);
  EXPECT_EQ(Put_Thr_Err_Para(nullptr), 0);
  // Another thread's error is its own.
  std::thread([] { Thr_Err_Mgr()->Set_Err(-7, "other"); }).join();
  TParaMgr q;
  Put_Thr_Err_Para(&q);
  EXPECT_EQ(q.Find_Para("_r_ec_")->Get_Int(), 0);
}

TEST(TName_Call, ProcessTablesAreRegisteredByName) {
  EXPECT_NE(Mid_Process(), Link_Process());
  EXPECT_TRUE(Mid_Process() == Get_Pub_Ptr("Mid_Process") && Link_Process() == Get_Pub_Ptr("Link_Process"));
}

TEST(TName_Call, DefineAndFindFromThreads) {
  TName_Call t;
  std::vector<std::thread> ts;
  for (int k = 0; k < 4; ++k)
    ts.emplace_back([&t, k] {
      for (int i = 0; i < 200; ++i) {
        std::string n = "f" + std::to_string(i);
        t.DefineFunction(n.c_str(), 1, k % 2 ? F1 : F2);
        EXPECT_NE(t.Find(n.c_str()), nullptr);
      }
    });
  for (auto& th : ts) th.join();
  EXPECT_EQ(t.Count(), 200);
}

}  // namespace
