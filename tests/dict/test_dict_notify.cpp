// Change notices between processes of one PostgreSQL database: client processes of their own (each
// with its local server, as every process of the database has) follow the server-side changes of
// this process without polling.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/dict/dict_fixture.h"
#include "tests/dict/dict_notify_client.h"

using zem_test::Notify_Child;
using zem_test::Utf8;

namespace {

class Dict_Notify_Test : public zem_test::Dict_Test {};

TEST_P(Dict_Notify_Test, ClientProcessesFollowServerSideChanges) {
  Link_Register();
  Dict_Serv_Register();
  Dict_Mgr_Serv()->Clear();
  ASSERT_GT(Dict_Mgr_Serv()->Time_Stamp("dept"), 0);
  const std::string exe =
      (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "dict_notify_client").string();
  std::vector<std::unique_ptr<Notify_Child>> clients;
  std::string line;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(std::make_unique<Notify_Child>());
    ASSERT_TRUE(clients.back()->Start({exe, Utf8(cfg_.text[0].c_str()), "dept"}));
  }
  for (auto& c : clients) {
    ASSERT_TRUE(c->Read(&line, 30000));
    ASSERT_EQ(line, "ready");
  }
  // Each change is made in the database and then on this process's server, which announces it.
  TSQLCA q;
  struct Step {
    const char* name;
    std::function<int()> change;
    const char* code;
    int held;
  } steps[] = {
      {"Add_Code",
       [&] {
         Ok(q, {u"insert into app_dict_def values ('dept','N1','新','N','N',0,'',9)"});
         return Dict_Mgr_Serv()->Add_Code("dept", u"N1", u"新");
       },
       "N1", 1},
      {"Erase_Code",
       [&] {
         Ok(q, {u"delete from app_dict_def where dict_id='dept' and code='A'"});
         return Dict_Mgr_Serv()->Erase_Code("dept", u"A");
       },
       "A", 0},
      {"Refresh",
       [&] {
         Ok(q, {u"insert into app_dict_def values ('dept','R1','r','N','N',0,'',10)"});
         return Dict_Mgr_Serv()->Refresh("dept");
       },
       "R1", 1},
  };
  for (Step& s : steps) {
    SCOPED_TRACE(s.name);
    for (auto& c : clients) ASSERT_TRUE(c->Send(std::string("wait ") + s.code + " " + std::to_string(s.held)));
    ASSERT_EQ(s.change(), 1);
    for (auto& c : clients) {
      ASSERT_TRUE(c->Read(&line, 40000));
      EXPECT_EQ(line.substr(0, 3), "ok ") << line;
    }
  }
  for (auto& c : clients) EXPECT_EQ(c->Finish(), 0);
  Dict_Mgr_Serv()->Clear();
}

INSTANTIATE_TEST_SUITE_P(Drivers, Dict_Notify_Test, ::testing::Values("pg"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
