// The start-up in a process where "Mid_Process" became known before it ran (CTest runs each test in a
// process of its own).
#include <gtest/gtest.h>

#include "core/data/name_call.h"
#include "core/data/para.h"
#include "frame/pub_ptr.h"
#include "frame/startup/zem_pack.h"

TEST(ZemStartupSkip, SkippedOnceMidProcessIsKnownHoweverItBecameKnown) {
  if (Get_Pub_Ptr("Mid_Process")) GTEST_SKIP() << "needs a fresh process: run it through ctest";
  Mid_Process()->DefineFunction("host_call", 1, [](TParaMgr*) { return 1; });
  TPara_Dbio_Hooks host = Para_Dbio_Hooks();  // the host writes no query area as XML
  host.xml = nullptr;
  Para_Set_Dbio_Hooks(host);
  const int before = Zem_Startup_Created_Count();
  ASSERT_EQ(Init_Tfa(), 1);
  EXPECT_EQ(Para_Dbio_Hooks().xml, nullptr) << "the start-up keeps the host's query-area hooks";
  EXPECT_EQ(Zem_Startup_Created_Count(), before) << "no singleton made by the start-up";
  EXPECT_EQ(Get_Pub_Ptr("voucher_mgr"), nullptr);
  // What the module serves on the table is defined all the same.
  EXPECT_NE(Mid_Process()->Find("tfa_key_set_create"), nullptr);
  EXPECT_NE(Mid_Process()->Find("host_call"), nullptr);
}
