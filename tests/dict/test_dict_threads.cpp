// Eight threads asking for dictionaries and looking codes up while another thread reloads them, the
// server answering while it changes, and writers of one cache file. Meant to run under
// ThreadSanitizer as well (build with -DZEM_TSAN=ON).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <filesystem>

#include "core/data/para.h"
#include "dict/cache_file.h"
#include "dict/dict_mgr.h"
#include "dict/dict_serv.h"
#include "link/r_call.h"
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

// Clients load, ask stamps and check dictionaries through the server while another thread changes and reloads
// them there: every answer is whole and consistent, and stamps never go back.
TEST_P(Dict_Threads, ServerAnswersWhileAnotherThreadChangesIt) {
  Db_Connect_Mgr()->Clear();
  cfg_.count = 12;
  ASSERT_TRUE(Db_Connect_Mgr()->Add_Config(cfg_));
  Dict_Serv_Register();
  Dict_Mgr_Serv()->Clear();
  const int first = Dict_Mgr_Serv()->Time_Stamp("dept");
  ASSERT_GT(first, 0);
  {
    // The shared objects a call reaches are made on this thread, as the start-up would.
    TParaMgr warm;
    warm.Put_Str(u"dict_id", "dept");
    warm.Put_Int(u"time_stamp", 0);
    ASSERT_EQ(R_Call("Dict_Load_Data", &warm), 0);
  }
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0}, calls{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < 6; ++t) {
    clients.emplace_back([&, t] {
      int last = first;
      for (int i = 0; i < 100 || (!stop && i < 2000); ++i) {
        TParaMgr p;
        p.Put_Str(u"dict_id", "dept");
        p.Put_Int(u"time_stamp", (t + i) % 3 == 0 ? 0 : first);
        int part = -1, stamp = 0;
        if (R_Call("Dict_Load_Data", &p) != 0 || !p.Get_Int(u"part_sync", &part) ||
            !p.Get_Int(u"time_stamp", &stamp)) {
          ++wrong;
          continue;
        }
        if (stamp < last) ++wrong;  // a stamp never goes back
        last = stamp;
        TSQLCA rows;
        // A is never touched: a whole transfer always has it, a change set never erases it.
        if (part == 0) {
          if (!p.Get_Sqlca_Para(u"data_pack", &rows) || !rows.Find_First(0, u"A")) ++wrong;
        } else if (!p.Get_Sqlca_Para(u"erase_data_pack", &rows) || rows.Find_First(0, u"A")) {
          ++wrong;
        }
        TParaMgr ts;
        ts.Put_Str(u"dict_id", "dept");
        int now = 0;
        if (R_Call("Dict_Get_Time_Stamp", &ts) != 0 || !ts.Get_Int(u"time_stamp", &now) || now < stamp)
          ++wrong;
        // The many-dictionary check from the stamp just seen: one row, nested only when it moved on.
        TSQLCA list;
        list.Set_Field_Count(2);
        list.Set_Field_Name(0, u"dict_id");
        list.Set_Field_Name(1, u"client_time_stamp");
        list.Add_Row();
        list.Set_Value(0, u"dept");
        list.Set_Value(1, map_wchar(now));
        TParaMgr check;
        check.Put_Sqlca_Para(u"dict_pack", &list);
        TSQLCA reply;
        if (R_Call("Dict_Check_Time_Stamp", &check) != 0 || !check.Get_Sqlca_Para(u"dict_pack", &reply) ||
            reply.Get_Row_Count() != 1) {
          ++wrong;
        } else {
          bool moved = std::u16string(reply.Get_Row_Value(0, 2)) != reply.Get_Row_Value(0, 1);
          if (moved != (check.Find_Para(u"dict_data_dept") != nullptr)) ++wrong;
        }
        ++calls;
      }
      Db_Connect_Mgr()->Release_Thread();
    });
  }
  std::thread changer([&] {
    for (int i = 0; i < 40; ++i) {
      std::u16string code = u"T" + std::u16string(map_wchar(i % 5).c_str());
      if (!Dict_Mgr_Serv()->Modify("dept", {code, u"temp"})) ++wrong;
      if (i % 2 && !Dict_Mgr_Serv()->Erase_Code("dept", code.c_str())) ++wrong;
      if (i % 10 == 9 && !Dict_Mgr_Serv()->Refresh("dept")) ++wrong;
    }
    stop = true;
    Db_Connect_Mgr()->Release_Thread();
  });
  changer.join();
  for (std::thread& c : clients) c.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GE(calls.load(), 6 * 100);
  Dict_Mgr_Serv()->Clear();
  Db_Connect_Mgr()->Clear();
}

// One thread loads a dictionary from a backend that stopped answering; another looks codes up in a
// dictionary loaded before: every look-up is answered while that load still waits. Once the load gave
// up, the dictionary it was for is listed, failed and empty, and loads at the next request after the
// retry time.
TEST_P(Dict_Threads, LookupsNeverWaitForAnotherDictionarysLoad) {
  if (!Pg()) GTEST_SKIP() << "a SQLite file has no backend to stop";
  Define("items", "select code,name,flag from t_item");
  Db_Connect_Mgr()->Clear();
  cfg_.count = 3;
  ASSERT_TRUE(Db_Connect_Mgr()->Add_Config(cfg_));
  ASSERT_NE(Dict_Client_List()->Get_Dict("dept", 1), nullptr);
  Pub_Para_Put_Int(u"db_statement_timeout", 3);
  std::atomic<int> stage{0};
  std::atomic<bool> load_over{false};
  std::string pid;
  std::thread loader([&] {
    TSQLCA q;
    if (q.Exec(u"select pg_backend_pid()") == 0) pid = Utf8(q.Get_Value(0));
    stage = 1;
    while (stage != 2) std::this_thread::yield();
    Dict_Client_List()->Get_Dict("items", 1);
    load_over = true;
    Db_Connect_Mgr()->Release_Thread();
  });
  while (stage != 1) std::this_thread::yield();
  ASSERT_EQ(kill(std::stoi(pid), SIGSTOP), 0);
  stage = 2;
  TDict* items = nullptr;
  while (!(items = Dict_Client_List()->Get_Dict("items", 0))) std::this_thread::yield();  // its load began
  int wrong = 0;
  for (int i = 0; i < 2000; ++i) {
    std::u16string name;
    TDict* dept = Dict_Client_List()->Get_Dict("dept", 1);
    if (!dept || !dept->Get_Name(u"A", &name) || Utf8(name.c_str()) != "部门甲") ++wrong;
  }
  const bool still_loading = !load_over && !items->Ready();
  loader.join();
  kill(std::stoi(pid), SIGCONT);
  Pub_Para_Put_Int(u"db_statement_timeout", 30);
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(still_loading) << "the look-ups were answered while the other load waited";
  EXPECT_TRUE(items->Load_Failed());
  EXPECT_EQ(items->Get_Row_Count(), 0);
  Pub_Para_Put_Int(u"dict_load_retry_ms", 0);
  EXPECT_EQ(Codes(Dict_Client_List()->Get_Dict("items", 1)), (std::vector<std::string>{"k1", "k2", "k3", "k4,k5"}));
  Pub_Para_Put_Int(u"dict_load_retry_ms", TDict_Client_List::DEFAULT_RETRY_MS);
  Db_Connect_Mgr()->Clear();
}

}  // namespace

// Writers of one cache file at once (threads here, processes alike): the file always holds one
// writer's bytes whole, and no temporary file stays behind.
TEST(Dict_Threads_Files, WritersOfOneFileNeverMix) {
  char tmpl[] = "/tmp/zem-dwrite-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl, path = dir + "/d.dt";
  const size_t size = 256 * 1024;
  std::atomic<bool> done{false}, reading{false};
  std::atomic<int> wrong{0}, reads{0};
  // The writers start once the reader runs (on a loaded machine it could otherwise start after them),
  // and the reader reads once more after them.
  std::thread reader([&] {
    for (bool last = false; !last;) {
      last = done;
      reading = true;
      std::string got;
      if (!std::filesystem::exists(path) || !Dict_Read_File(path, &got)) continue;
      ++reads;
      if (got.size() != size || got.find_first_not_of(got[0]) != std::string::npos) ++wrong;
    }
  });
  while (!reading) std::this_thread::yield();
  std::vector<std::thread> writers;
  for (int w = 1; w <= 4; ++w) {
    writers.emplace_back([&, w] {
      const std::string bytes(size, static_cast<char>(w));
      for (int i = 0; i < 10; ++i)
        if (!Dict_Write_File(path, bytes.data(), bytes.size())) ++wrong;
    });
  }
  for (std::thread& t : writers) t.join();
  done = true;
  reader.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GT(reads.load(), 0);
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) files += e.path() != path;
  EXPECT_EQ(files, 0) << "temporary files left";
  std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Drivers, Dict_Threads, ::testing::Values("sqlite", "pg"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });
