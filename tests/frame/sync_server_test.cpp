// The dictionary time-stamp server and its named function on "Mid_Process".
#include <gtest/gtest.h>

#include "core/data/name_call.h"
#include "core/data/para.h"
#include "dict/sync_server.h"
#include "frame/startup/zem_pack.h"

namespace {

TEST(SyncServer, StampsAreKeptAndMovedForward) {
  TSync_Server_Mgr s;
  EXPECT_EQ(s.Get_Time_Stamp(nullptr) + s.Get_Time_Stamp("") + s.Set_Time_Stamp("", 5) + s.Touch(nullptr), 0) << "no name";

  const long long first = s.Get_Time_Stamp("emp");
  EXPECT_TRUE(first > 0 && s.Get_Time_Stamp("emp") == first) << "assigned once, then kept";

  ASSERT_EQ(s.Set_Time_Stamp("dep", 5000000000LL), 1);
  EXPECT_EQ(s.Get_Time_Stamp("dep"), 5000000000LL);
  // A changed dictionary always gets a later stamp, even when its last one lies ahead of the clock.
  EXPECT_TRUE(s.Touch("dep") == 5000000001LL && s.Get_Time_Stamp("dep") == 5000000001LL);
  EXPECT_GT(s.Touch("emp"), first - 1);
}

TEST(SyncServer, ServedOnMidProcessWhenThisModuleMadeIt) {
  ASSERT_EQ(Init_Tfa(), 1);
  Name_Call_Fn fn = Mid_Process()->Find("Tfa_Info_Sync_Get_Time_Stamp");
  if (!Zem_Startup_Created("sync_server_mgr")) GTEST_SKIP() << "another module serves the stamps";
  ASSERT_EQ(fn, &Tfa_Info_Sync_Get_Time_Stamp);
  ASSERT_EQ(Sync_Server_Mgr()->Set_Time_Stamp("sup", 1234567), 1);

  // dict_id null: not in the pack; stamp -1: no "time_stamp" answered
  const struct { const char* what; const char16_t* dict_id; int result; int stamp; } rows[] = {
      {"known dictionary", u"sup", 1, 1234567}, {"no dict_id", nullptr, 0, -1}, {"empty dict_id", u"", 0, -1},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    TParaMgr para;
    if (r.dict_id) para.Put_WStr(u"dict_id", r.dict_id);
    EXPECT_EQ(Mid_Process()->N_Call("Tfa_Info_Sync_Get_Time_Stamp", &para), r.result);
    int stamp = 0;
    EXPECT_EQ(para.Get_Int(u"time_stamp", &stamp) ? stamp : -1, r.stamp);
  }
  EXPECT_EQ(Tfa_Info_Sync_Get_Time_Stamp(nullptr), 0);
}

}  // namespace
