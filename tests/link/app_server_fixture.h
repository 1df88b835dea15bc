// Shared by the application-server tests: a PostgreSQL schema with the dictionary tables (the
// dictionary tests' fixture), a zem_app_server over it (tests/link/app_server_proc.h), and this process
// as its client.
#pragma once
#include <algorithm>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/data/para.h"
#include "link/r_call.h"
#include "tests/dict/dict_fixture.h"
#include "tests/dict/dict_notify_client.h"
#include "tests/link/app_server_proc.h"

namespace zem_test {

// The dictionary fixture's schema, certificates, a token file, one server over the schema with the
// test module, and this process as a client of it in remote mode.
class App_Server_Test : public Dict_Test {
 protected:
  static constexpr const char* kToken = "clerk-token-0123456789";

  void SetUp() override {
    Dict_Test::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(Make_Certs(dir_), "");
    std::ofstream(dir_ + "/tokens") << "# the office\nclerks " << kToken << "\n";
    TSQLCA q;
    Ok(q, {u"create table test_rows (code varchar(20))"});
    ASSERT_TRUE(Start_Server(&server_, {}));
    port_ = server_.Port();
    ASSERT_GT(port_, 0) << server_.Log();
    Link_Register();
    *R_Call_Local_Mode() = 0;
    Use_Server("127.0.0.1:" + std::to_string(port_));
  }
  void TearDown() override {
    *R_Call_Local_Mode() = 1;
    server_.Kill();
    Dict_Test::TearDown();
  }

  // A server over this test's schema (more arguments after the usual ones).
  bool Start_Server(Server_Proc* s, const std::vector<std::string>& more, const std::string& listen = "127.0.0.1:0") {
    std::vector<std::string> args = {"--listen", listen, "--db", Utf8(cfg_.text[0].c_str()),
                                     "--cert", dir_ + "/server.pem", "--key", dir_ + "/server.key",
                                     "--tokens", dir_ + "/tokens", "--module", Bin_Dir() + "/zem_test_server_module.so",
                                     "--threads", "4", "--max-calls-per-client", "3", "--max-message", "4194304",
                                     "--summary-seconds", "1"};
    args.insert(args.end(), more.begin(), more.end());
    return s->Start(args, dir_ + "/server" + std::to_string(++servers_) + ".log");
  }

  // This process's client settings: the address, the authority, the token.
  void Use_Server(const std::string& address) {
    Pub_Para_Put_Str(u"app_server", address.c_str());
    Pub_Para_Put_Str(u"app_server_ca", (dir_ + "/ca.pem").c_str());
    Pub_Para_Put_Str(u"app_server_token", kToken);
    Pub_Para_Put_Int(u"app_server_insecure", 0);
    Pub_Para_Put_Str(u"app_server_tls_name", "");
    Pub_Para_Put_Int(u"app_server_max_message", 0);
  }

  // A client process of its own (tests/link/app_client.cpp), its cache files under home.
  std::vector<std::string> Client_Args(const std::string& home) {
    return {Bin_Dir() + "/app_client", "--server", "127.0.0.1:" + std::to_string(port_), "--ca", dir_ + "/ca.pem",
            "--token", kToken, "--home", dir_ + "/" + home, "--retry-ms", "100"};
  }

  // A call from this process: its code and its "out" (or its error text).
  static std::pair<int, std::string> Call(const char* name, std::vector<std::pair<const char16_t*, std::string>> args) {
    TParaMgr p;
    for (const auto& a : args) p.Put_Str(a.first, a.second.c_str());
    const int rc = R_Call(name, &p);
    char buf[4096] = {0};
    p.Get_Str(rc ? u"_r_em_" : u"out", buf, sizeof buf);
    return {rc, buf};
  }

  // The same call made by many threads at once (so that most travel together): their codes, sorted.
  static std::vector<int> Burst(int threads, const char* name, const std::string& v) {
    std::vector<int> codes(static_cast<size_t>(threads));
    std::vector<std::thread> t;
    for (int& c : codes) t.emplace_back([&c, name, v] { c = Call(name, {{u"v", v}}).first; });
    for (std::thread& x : t) x.join();
    std::sort(codes.begin(), codes.end());
    return codes;
  }

  // A writer's change, committed: the table's trigger records it (and on PostgreSQL sends the notice).
  void Change(const char16_t* sql) {
    TSQLCA q;
    ASSERT_EQ(q.Exec(sql), 0) << Utf8(q.Get_Error_Msg());
    ASSERT_EQ(q.Commit(), 0) << Utf8(q.Get_Error_Msg());
  }

  Server_Proc server_;
  int port_ = 0;
  int servers_ = 0;
};

}  // namespace zem_test
