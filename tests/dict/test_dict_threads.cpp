// Eight threads asking for dictionaries and looking codes up while another thread reloads them. Meant to
// run under ThreadSanitizer as well (build with -DZEM_TSAN=ON).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "dict/dict_mgr.h"
#include "tests/dict/dict_fixture.h"

using zem_test::U;
using zem_test::Utf8;

namespace {

class Dict_Threads : public zem_test::Dict_Test {};

TEST_P(Dict_Threads, LookupsWhileAnotherThreadReloads) {
  Define("items", "select code,name,flag from t_item");
  // One session for each thread that may reach the database at once (the pool binds them to threads).
  Db_Connect_Mgr()->Clear();
  cfg_.count = 12;
  ASSERT_TRUE(Db_Connect_Mgr()->Add_Config(cfg_));
  ASSERT_NE(Dict_Client_List()->Get_Dict("dept", 1), nullptr);
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0}, lookups{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < 8; ++t) {
    workers.emplace_back([&, t] {
      const char* id = (t % 2) ? "dept" : "items";  // "items" is first made by one of these threads
      for (int i = 0; i < 300 || (!stop && i < 3000); ++i) {
        TDict* d = Dict_Client_List()->Get_Dict(id, 1);
        if (!d) {
          ++wrong;
          continue;
        }
        std::u16string name;
        const char16_t* code = (t % 2) ? u"A" : u"k2";
        const char* expect = (t % 2) ? "部门甲" : "Alpha";
        if (!d->Get_Name(code, &name) || Utf8(name.c_str()) != expect) ++wrong;
        if (d->Seek_Code(0, u"missing")) ++wrong;
        ++lookups;
      }
      Db_Connect_Mgr()->Release_Thread();
    });
  }
  std::thread reloader([&] {
    for (int i = 0; i < 20; ++i) {
      if (!Dict_Client_List()->Refresh_Dict("dept")) ++wrong;
      Dict_Client_List()->Refresh_Dict("items");  // 0 until a worker has made it
    }
    stop = true;
    Db_Connect_Mgr()->Release_Thread();
  });
  reloader.join();
  for (std::thread& w : workers) w.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GE(lookups.load(), 8 * 300);
  Db_Connect_Mgr()->Clear();  // the worker threads' sessions
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Drivers, Dict_Threads, ::testing::Values("sqlite", "pg"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });
