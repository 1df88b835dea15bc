// The application server across processes: zem_app_server on loopback with TLS and a token, client
// processes in remote mode, the database's change notices passed on, the server killed and started
// again, refusals, caps, cancels and draining.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "apps/app_server/token_file.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"
#include "frame/wait.h"
#include "tests/link/app_server_fixture.h"

using zem_test::App_Server_Test;
using zem_test::Bin_Dir;
using zem_test::Notify_Child;
using zem_test::Server_Proc;
using zem_test::Utf8;

namespace {

// Starts a client process and reads its first answer to the command.
std::string Ask(Notify_Child& c, const std::string& command) {
  std::string line;
  if (!c.Send(command) || !c.Read(&line, 60000)) return "<no answer>";
  return line;
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

void Wait_For_File(const std::string& path) {
  for (int i = 0; i < 3000 && !Exists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// On both databases: the server follows PostgreSQL's notices, or SQLite's change log.
class App_Server_Changes_Test : public App_Server_Test {};

TEST_P(App_Server_Changes_Test, TwoClientsLoadADictionaryAndFollowItsChanges) {
  Notify_Child a, b;
  ASSERT_TRUE(a.Start(Client_Args("home_a")));
  ASSERT_TRUE(b.Start(Client_Args("home_b")));
  const std::string first = Ask(a, "dict dept");
  EXPECT_EQ(first, "4 stale=0 C=部门丙,A=部门甲,B=停用部门,G=分组");
  EXPECT_EQ(Ask(b, "dict dept"), first) << "the same dictionary through the same server";
  EXPECT_EQ(Ask(a, "watch"), "1");
  EXPECT_EQ(Ask(b, "watch"), "1");
  // Each change is a writer's on the server's database (its trigger records it); the server learns of
  // it and passes it to both clients, which load the change.
  struct Step {
    const char* name;
    const char16_t* sql;
    const char* wait;
  } steps[] = {
      {"renamed", u"update app_dict_def set name='行政部' where dict_id='dept' and code='A'", "wait dept A 行政部"},
      {"added", u"insert into app_dict_def values ('dept','D','新部门','N','N',0,'',5)", "wait dept D 新部门"},
      {"deleted", u"delete from app_dict_def where dict_id='dept' and code='C'", "wait dept C -"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    Change(s.sql);
    EXPECT_EQ(Ask(a, s.wait), "ok");
    EXPECT_EQ(Ask(b, s.wait), "ok");
  }
  EXPECT_EQ(Ask(a, "dict dept"), "4 stale=0 A=行政部,B=停用部门,G=分组,D=新部门");
  EXPECT_TRUE(server_.Logged("2 watching")) << server_.Log();
  EXPECT_EQ(a.Finish(), 0);
  EXPECT_EQ(b.Finish(), 0);
}

TEST_P(App_Server_Test, KilledMidCallItsClientsServeTheCacheAndReturnWhenItIsBack) {
  Notify_Child first;
  ASSERT_TRUE(first.Start(Client_Args("home")));
  const std::string held = Ask(first, "dict dept");
  ASSERT_EQ(held.substr(0, 10), "4 stale=0 ");
  EXPECT_EQ(first.Finish(), 0);
  EXPECT_TRUE(Exists(dir_ + "/home/dt/dept.net")) << "the whole transfer is kept as the cache file";

  // A call in flight when the server dies with SIGKILL returns an error as the connection drops, not
  // at its deadline (57014) nor never.
  const std::string mark = dir_ + "/running";
  std::pair<int, std::string> slow;
  Pub_Para_Put_Int(u"db_statement_timeout", 30);
  std::thread caller([&] { slow = Call("test_slow", {{u"ms", "60000"}, {u"mark", mark}}); });
  Wait_For_File(mark);
  server_.Signal(SIGKILL);
  caller.join();
  Pub_Para_Put_Int(u"db_statement_timeout", 0);
  EXPECT_EQ(slow.first, R_CALL_UNREACHABLE) << slow.second;
  EXPECT_NE(slow.second.find("unreachable"), std::string::npos) << slow.second;

  // A client started now finds no server: the dictionary is its cache file, marked stale.
  Notify_Child second;
  ASSERT_TRUE(second.Start(Client_Args("home")));
  EXPECT_EQ(Ask(second, "dict dept"), "4 stale=1 " + held.substr(10));
  EXPECT_EQ(Ask(second, "call test_echo v=1").substr(0, 4), "999 ");

  // The server again, on the same port: the stale dictionary is current again once it answers, and
  // calls go through (those before the channel reconnects fail as unreachable, nothing else).
  EXPECT_EQ(server_.Wait_Exit(), -1);
  Server_Proc again;
  ASSERT_TRUE(Start_Server(&again, {}, "127.0.0.1:" + std::to_string(port_)));
  ASSERT_EQ(again.Port(), port_) << again.Log();
  EXPECT_EQ(Ask(second, "wait dept A 部门甲"), "ok");
  std::pair<int, std::string> echo;
  std::set<int> codes;
  for (int i = 0; i < 400 && (echo = Call("test_echo", {{u"v", "21"}})).first != 0; ++i) {
    codes.insert(echo.first);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(echo, std::make_pair(0, std::string("42")));
  EXPECT_TRUE(codes.empty() || codes == std::set<int>{R_CALL_UNREACHABLE});
  EXPECT_EQ(second.Finish(), 0);
}

TEST_P(App_Server_Test, RefusalsAreClearAndTheServerServesOn) {
  const char16_t* const kRefused = u"应用服务器拒绝了这次调用（详见日志，请告知管理员）";
  const char16_t* const kUnreachable = u"无法连接应用服务器，这次操作没有完成";
  std::string big(2 * 1024 * 1024, 'x');
  struct Row {
    const char* name;
    std::function<void()> setup;
    const char* call;
    std::vector<std::pair<const char16_t*, std::string>> args;
    int code;
    const char* says;    // in the client's message
    const char* logged;  // in the server's log ("" for a refusal the server cannot tell)
    const char16_t* user;  // what the user is told (R_Call_User_Msg)
  } rows[] = {
      {"a token not in the file", [] { Pub_Para_Put_Str(u"app_server_token", "guessed-token-000000000"); },
       "test_echo", {}, -1, "refused test_echo: the token is not valid", "refused test_echo from ipv4:127.0.0.1:",
       kRefused},
      {"no token", [] { Pub_Para_Put_Str(u"app_server_token", ""); }, "test_echo", {}, -1,
       "the call carries no token", "the call carries no token", kRefused},
      {"plain text against TLS", [] { Pub_Para_Put_Int(u"app_server_insecure", 1); }, "test_echo", {},
       R_CALL_UNREACHABLE, "this client speaks plain text", "grpc: Handshake failed", kUnreachable},
      {"a certificate the authority did not sign", [this] {
         Pub_Para_Put_Str(u"app_server_ca", (dir_ + "/other_ca.pem").c_str()); }, "test_echo", {},
       R_CALL_UNREACHABLE, "certificate verify failed", "", kUnreachable},
      {"a name not on the list", [] {}, "test_hidden", {}, -1, "the call test_hidden is not served here",
       "refused test_hidden from clerks (ipv4:127.0.0.1:", kRefused},
      {"a call over the client's limit", [] { Pub_Para_Put_Int(u"app_server_max_message", 1048576); }, "test_echo",
       {{u"v", big}}, -1, "over the 1048576-byte message limit", "", u"这次调用的数据超过应用服务器允许的大小，没有发出"},
      {"a reply over the server's limit", [] {}, "test_big", {{u"bytes", "5000000"}}, -1,
       "over the server's 4194304-byte message limit", "test_big from clerks", kRefused},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    r.setup();
    const auto got = Call(r.call, r.args);
    EXPECT_EQ(got.first, r.code) << got.second;
    EXPECT_NE(got.second.find(r.says), std::string::npos) << got.second;
    EXPECT_EQ(std::u16string(R_Call_User_Msg()), r.user);
    if (*r.logged) {
      EXPECT_TRUE(server_.Logged(r.logged)) << server_.Log();
    }
    Use_Server("127.0.0.1:" + std::to_string(port_));
    EXPECT_EQ(Call("test_echo", {{u"v", "21"}}), std::make_pair(0, std::string("42"))) << "served on";
  }
}

// Replies small and large come back whole, one pack serving call after call: a large reply's values are
// read where they lie in the reply, which the pack keeps until its next call.
TEST_P(App_Server_Test, RepliesOfEverySizeComeBackWhole) {
  const struct { const char* name; int bytes; } rows[] = {
      {"a few bytes", 10},
      {"just under the size read in place", TParaMgr::kRefer_Min - 100},
      {"twice that size", TParaMgr::kRefer_Min * 2},
      {"three megabytes", 3 * 1024 * 1024},
      {"small again after a large one", 7},
  };
  TParaMgr p;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    p.Put_Str(u"bytes", std::to_string(r.bytes).c_str());
    ASSERT_EQ(R_Call("test_big", &p), 0);
    tstr out;
    p.Get_Str(u"out", &out);
    EXPECT_EQ(std::string(out.c_str()), std::string(static_cast<size_t>(r.bytes), 'x'));
    tstr asked;
    p.Get_Str(u"bytes", &asked);
    EXPECT_EQ(std::string(asked.c_str()), std::to_string(r.bytes));
  }
}

// A token taken off the file stops working at once, for calls of their own and for calls that travel
// together on a stream the client opened while it was valid.
TEST_P(App_Server_Test, TokensAreReadAgainOnSighup) {
  EXPECT_EQ(Burst(24, "test_echo", "1"), std::vector<int>(24, 0)) << "a stream stands";
  const char* fresh = "new-clerk-token-9876543210";
  std::ofstream(dir_ + "/tokens") << "newcomer " << fresh << "\n";
  server_.Signal(SIGHUP);
  ASSERT_TRUE(server_.Logged("tokens: 1 read from"));
  EXPECT_EQ(Burst(24, "test_echo", "1"), std::vector<int>(24, -1)) << "the old token is gone";
  EXPECT_EQ(Call("test_echo", {{u"v", "1"}}).first, -1);
  Pub_Para_Put_Str(u"app_server_token", fresh);
  EXPECT_EQ(Call("test_echo", {{u"v", "1"}}), std::make_pair(0, std::string("2")));
  EXPECT_EQ(Burst(24, "test_echo", "1"), std::vector<int>(24, 0));
}

// A server built before call streams answers them UNIMPLEMENTED: the calls a client's threads make at
// once go again one at a time, each with its own answer, and later bursts go one at a time from the
// start.
TEST_P(App_Server_Test, CallsMadeAtOnceReachAServerWithoutCallStreamsOneByOne) {
  Server_Proc old;
  old.Use_Program("zem_app_server_unary");
  ASSERT_TRUE(Start_Server(&old, {}));
  const int port = old.Port();
  ASSERT_GT(port, 0) << old.Log();
  Use_Server("127.0.0.1:" + std::to_string(port));
  for (int burst = 0; burst < 2; ++burst) {
    SCOPED_TRACE(burst ? "after the fallback" : "the first burst");
    std::vector<std::pair<int, std::string>> got(24);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < got.size(); ++i)
      threads.emplace_back([&got, i] { got[i] = Call("test_echo", {{u"v", std::to_string(i)}}); });
    for (std::thread& t : threads) t.join();
    for (size_t i = 0; i < got.size(); ++i)
      EXPECT_EQ(got[i], std::make_pair(0, std::to_string(2 * i))) << "the caller of v=" << i;
  }
  old.Kill();
}

// A call's work is kept only when its client learns that it succeeded: not when it failed, when its
// client stopped waiting for it, or when its answer was too large to go back.
TEST_P(App_Server_Test, ACallKeepsWhatItWroteOnlyWhenItsClientIsToldItSucceeded) {
  struct Row { const char* code; const char* fail; const char* ms; const char* pad; int timeout_s; int result; const char* logged; int rows_after; } rows[] = {
      {"kept", "0", "0", "0", 0, 0, "", 1},
      {"undone", "1", "0", "0", 0, 77, "", 0},
      {"given_up", "0", "2500", "0", 1, R_CALL_TIMEOUT, "its client gave up waiting; its work is rolled back", 0},
      {"too_large", "0", "0", "5000000", 0, -1, "over the server's 4194304-byte message limit; its work is rolled back", 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.code);
    Pub_Para_Put_Int(u"db_statement_timeout", r.timeout_s);
    EXPECT_EQ(Call("test_write", {{u"code", r.code}, {u"fail", r.fail}, {u"ms", r.ms}, {u"pad", r.pad}}).first, r.result);
    Pub_Para_Put_Int(u"db_statement_timeout", 0);
    if (*r.logged) {
      EXPECT_TRUE(server_.Logged(r.logged)) << server_.Log();
    }
    TSQLCA q;
    const std::u16string sql = u"select count(*) from test_rows where code='" + zem_test::U(r.code) + u"'";
    ASSERT_EQ(q.Exec(sql.c_str()), 0);
    EXPECT_EQ(Utf8(q.Get_Row_Value(0, 0)), std::to_string(r.rows_after));
  }
}

// Calls made at once by many threads of this process travel together (in batches, as the server's
// summary says); each caller still gets its own answer, its own refusal or error, and its own unit of
// work, and a caller that stops waiting has its work rolled back while the others keep theirs.
TEST_P(App_Server_Test, CallsMadeAtOnceEachGetTheirOwnAnswerAndUnitOfWork) {
  struct Row { const char* name; int threads; const char* call; const char* fail; const char* ms; int code; const char* out; int rows_each; } rows[] = {
      {"an echo", 16, "test_echo", "0", "0", 0, "2N", -1},
      {"a name not served", 8, "test_hidden", "0", "0", -1, "the call test_hidden is not served here", -1},
      {"a write kept", 12, "test_write", "0", "0", 0, "wN", 1},
      {"a write that fails", 12, "test_write", "1", "0", 77, "refused after writing", 0},
      {"a write whose caller stops waiting", 2, "test_write", "0", "3500", R_CALL_TIMEOUT, "no answer within 2000 ms", 0},
  };
  Pub_Para_Put_Int(u"db_statement_timeout", 2);
  struct Got { const Row* row; int n; std::pair<int, std::string> got; };
  std::vector<Got> got;
  for (const Row& r : rows)
    for (int n = 0; n < r.threads; ++n) got.push_back({&r, static_cast<int>(got.size()), {}});
  std::vector<std::thread> threads;
  for (Got& g : got)
    threads.emplace_back([&g] {
      const std::string n = std::to_string(g.n);
      g.got = Call(g.row->call, {{u"v", n}, {u"code", "w" + n}, {u"fail", g.row->fail}, {u"ms", g.row->ms}});
    });
  for (std::thread& t : threads) t.join();
  Pub_Para_Put_Int(u"db_statement_timeout", 0);
  for (const Got& g : got) {
    SCOPED_TRACE(std::string(g.row->name) + " #" + std::to_string(g.n));
    std::string out = g.row->out;
    if (out.find('N') != std::string::npos) {
      const std::string n = out.compare(0, 2, "2N") == 0 ? std::to_string(2 * g.n) : "w" + std::to_string(g.n);
      out = n;
    }
    EXPECT_EQ(g.got.first, g.row->code) << g.got.second;
    if (g.got.first == 0) {
      EXPECT_EQ(g.got.second, out);
    } else {
      EXPECT_NE(g.got.second.find(out), std::string::npos) << g.got.second;
    }
    if (g.row->rows_each < 0) continue;
    TSQLCA q;
    const std::u16string sql = u"select count(*) from test_rows where code='w" + zem_test::U(std::to_string(g.n).c_str()) + u"'";
    ASSERT_EQ(q.Exec(sql.c_str()), 0);
    EXPECT_EQ(Utf8(q.Get_Row_Value(0, 0)), std::to_string(g.row->rows_each));
  }
  EXPECT_TRUE(server_.Logged(" in batches)")) << server_.Log();
  EXPECT_TRUE(server_.Logged("its client gave up waiting; its work is rolled back")) << server_.Log();
}

TEST_P(App_Server_Test, OneClientsCallsBeyondItsCapWaitWhileOthersAreServed) {
  // Eight calls at once over this process's one connection: the server runs three at a time (its
  // cap per client), the others wait on this side and all are answered. With fewer CPUs than that,
  // the third call and the other client's wait on the workers awake until the guard wakes more.
  std::vector<std::pair<int, std::string>> got(8);
  std::vector<std::thread> threads;
  for (auto& g : got) threads.emplace_back([&g] { g = Call("test_slow", {{u"ms", "300"}}); });
  Notify_Child other;
  ASSERT_TRUE(other.Start(Client_Args("other")));
  EXPECT_EQ(Ask(other, "call test_echo v=5"), "0 10") << "another client is served meanwhile";
  for (std::thread& t : threads) t.join();
  int peak = 0;
  for (const auto& g : got) {
    EXPECT_EQ(g.first, 0) << g.second;
    peak = std::max(peak, std::atoi(g.second.c_str()));
  }
  EXPECT_EQ(peak, 3) << "the most calls of one client the server ran at once";
  EXPECT_EQ(other.Finish(), 0);
}

// The host's wait box, as a remote call sees it: each tick is counted with what the box would show,
// and 取消 is pressed once the call has waited cancel_after_ms (0: never). Like the real box it answers
// on one thread alone (the test's, while the test runs): a host function stays found once found.
struct Box_Seen {
  int ticks = 0;
  long long waited_ms = 0;
  std::u16string title, detail;
} g_box;
int g_cancel_after_ms = 0;
std::thread::id g_box_thread;
int Test_Wait_Box(Zem_Wait* w, int op) {
  if (std::this_thread::get_id() != g_box_thread) return ZEM_WAIT_NOT_HERE;
  if (op != ZEM_WAIT_TICK) return op == ZEM_WAIT_END ? 1 : ZEM_WAIT_NOT_HERE;
  ++g_box.ticks;
  g_box.waited_ms = Zem_Wait_Now_Ms() - w->started_ms;
  g_box.title = w->title;
  char16_t buf[256];
  if (w->detail) g_box.detail.assign(buf, static_cast<size_t>(w->detail(w->ctx, buf, 256)));
  return g_cancel_after_ms > 0 && g_box.waited_ms >= g_cancel_after_ms ? ZEM_WAIT_CANCELLED : ZEM_WAIT_READY;
}

// A slow call's wait goes through the host's wait box (its window paints at every tick), ending by
// the user's 取消 or by db_statement_timeout; both give 57014 and the server serves on.
TEST_P(App_Server_Test, ASlowCallWaitsInTheWaitBoxUntilCancelledOrItsDeadline) {
  Reg_Pub_Ptr(kGui_Wait_Box, reinterpret_cast<void*>(&Test_Wait_Box));
  g_box_thread = std::this_thread::get_id();
  struct Row { const char* name; int cancel_after_ms; int timeout_s; const char* says; const char16_t* user; } rows[] = {
      {"取消 in the wait box", 600, 0, "test_slow cancelled while waiting",
       u"已取消：不再等待应用服务器的回答（服务器若已完成这次操作，刷新后可见）"},
      {"past db_statement_timeout", 0, 1, "no answer within 1000 ms to test_slow",
       u"应用服务器在 1 秒内没有回答，已不再等待（服务器若已完成这次操作，刷新后可见）"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    g_box = Box_Seen();
    g_cancel_after_ms = r.cancel_after_ms;
    Pub_Para_Put_Int(u"db_statement_timeout", r.timeout_s);
    const auto got = Call("test_slow", {{u"ms", "4000"}});
    EXPECT_EQ(got.first, R_CALL_TIMEOUT);
    EXPECT_NE(got.second.find(r.says), std::string::npos) << got.second;
    EXPECT_EQ(std::u16string(R_Call_User_Msg()), r.user);
    EXPECT_GT(g_box.ticks, 5) << "the window was let paint while the call waited";
    EXPECT_EQ(g_box.title, u"正在等待应用服务器…");
    EXPECT_EQ(Utf8(g_box.detail.c_str()), "test_slow @ 127.0.0.1:" + std::to_string(port_));
    Pub_Para_Put_Int(u"db_statement_timeout", 0);
    g_cancel_after_ms = 0;
    EXPECT_EQ(Call("test_echo", {{u"v", "21"}}), std::make_pair(0, std::string("42"))) << "served on";
  }
  g_box_thread = std::thread::id();
}

// The calls in flight finish; a stream this process keeps open between its batches ends with them
// rather than holding the server to its 30-second drain.
TEST_P(App_Server_Test, SigtermLetsTheCallsInFlightFinish) {
  EXPECT_EQ(Burst(24, "test_echo", "1"), std::vector<int>(24, 0));
  const std::string mark = dir_ + "/running";
  std::pair<int, std::string> slow;
  std::thread caller([&] { slow = Call("test_slow", {{u"ms", "1500"}, {u"mark", mark}}); });
  Wait_For_File(mark);
  const auto asked = std::chrono::steady_clock::now();
  server_.Signal(SIGTERM);
  caller.join();
  EXPECT_EQ(slow.first, 0) << slow.second;
  EXPECT_EQ(server_.Wait_Exit(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(20)) << "stopped before the drain's end";
  EXPECT_NE(server_.Log().find("stopping: 1 calls in flight"), std::string::npos) << server_.Log();
  EXPECT_NE(server_.Log().find("stopped"), std::string::npos);
  EXPECT_NE(Call("test_echo", {{u"v", "1"}}).first, 0) << "nothing serves after it stopped";
}

TEST_P(App_Server_Test, CallsGoRoundRobinOverTheAddressesOfOneTarget) {
  Server_Proc second;
  ASSERT_TRUE(Start_Server(&second, {}));
  const int port2 = second.Port();
  ASSERT_GT(port2, 0) << second.Log();
  Use_Server("ipv4:127.0.0.1:" + std::to_string(port_) + ",127.0.0.1:" + std::to_string(port2));
  Pub_Para_Put_Str(u"app_server_tls_name", "localhost");
  std::set<std::string> answered;
  for (int i = 0; i < 12; ++i) {
    const auto got = Call("test_who", {});
    EXPECT_EQ(got.first, 0) << got.second;
    answered.insert(got.second);
  }
  EXPECT_EQ(answered, (std::set<std::string>{std::to_string(server_.Pid()), std::to_string(second.Pid())}));
}

INSTANTIATE_TEST_SUITE_P(Drivers, App_Server_Changes_Test, ::testing::Values("pg", "sqlite"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });
INSTANTIATE_TEST_SUITE_P(Pg, App_Server_Test, ::testing::Values("pg"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

// ---- the command line and the token file, without a database ---------------------------------------
TEST(App_Server_Start, WrongCommandLinesAndFilesAreToldAndStopTheStart) {
  char tmpl[] = "/tmp/zem-srv-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string d = tmpl;
  std::ofstream(d + "/tokens") << "0123456789abcdef-token\n";
  std::ofstream(d + "/short") << "clerk short\n";
  std::ofstream(d + "/x.pem") << "x";
  const std::string ok_db = d + "/app.db";
  struct Row { const char* name; std::vector<std::string> args; int code; std::string says; } rows[] = {
      {"nothing", {}, 2, "--listen ADDR:PORT is missing"},
      {"plain text beyond loopback", {"--listen", "0.0.0.0:0", "--db", ok_db, "--insecure", "--tokens", d + "/tokens"},
       2, "--insecure listens on a loopback address only"},
      {"TLS without a certificate", {"--listen", "127.0.0.1:0", "--db", ok_db, "--tokens", d + "/tokens"}, 2,
       "--cert and --key are needed"},
      {"no token file", {"--listen", "127.0.0.1:0", "--db", ok_db, "--insecure"}, 2, "--tokens is missing"},
      {"a count out of range", {"--listen", "127.0.0.1:0", "--threads", "0"}, 2, "--threads takes a number from 1"},
      {"a database that cannot open", {"--listen", "127.0.0.1:0", "--db", "/nonexistent/dir/app.db", "--insecure",
       "--tokens", d + "/tokens"}, 1, "cannot connect to the database /nonexistent/dir/app.db"},
      {"a token file that cannot be read", {"--listen", "127.0.0.1:0", "--db", ok_db, "--insecure", "--tokens",
       d + "/missing"}, 1, "cannot read the token file"},
      {"a token too short", {"--listen", "127.0.0.1:0", "--db", ok_db, "--insecure", "--tokens", d + "/short"}, 1,
       "line 1: a token has at least 16 characters"},
      {"a key that is no key", {"--listen", "127.0.0.1:0", "--db", ok_db, "--cert", d + "/x.pem", "--key",
       d + "/x.pem", "--tokens", d + "/tokens"}, 1, "cannot listen on 127.0.0.1:0"},
      {"a module without its entry", {"--listen", "127.0.0.1:0", "--db", ok_db, "--insecure", "--tokens",
       d + "/tokens", "--module", Bin_Dir() + "/kdm_pub_ptr.so"}, 1, "has no Zem_App_Server_Init"},
  };
  int n = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Server_Proc s;
    ASSERT_TRUE(s.Start(r.args, d + "/run" + std::to_string(++n) + ".log"));
    EXPECT_EQ(s.Wait_Exit(), r.code) << s.Log();
    EXPECT_NE(s.Log().find(r.says), std::string::npos) << s.Log();
  }
  std::filesystem::remove_all(d);
}

TEST(App_Server_Tokens, LinesReadAsLabelledTokensAndOnlyHeldOnesPass) {
  struct Row { const char* name; const char* text; int ok; int count; const char* error; } rows[] = {
      {"labels, comments, blanks, CR LF", "# office\r\n\r\nclerk-1 aaaaaaaaaaaaaaaa1\r\nbbbbbbbbbbbbbbbb2\n", 1, 2, ""},
      {"three words", "a b cccccccccccccccccc\n", 0, 0, "f: line 1: one token, or a label and a token, per line"},
      {"too short on line 2", "aaaaaaaaaaaaaaaa1\nshort\n", 0, 0, "f: line 2: a token has at least 16 characters"},
      {"nothing but comments", "# none\n", 0, 0, "f: no token (every call would be refused)"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Token_File t;
    std::string error;
    EXPECT_EQ(t.Parse(r.text, "f", &error), r.ok);
    EXPECT_EQ(t.Count(), r.count);
    EXPECT_EQ(error, r.error);
  }
  Token_File t;
  std::string error;
  ASSERT_EQ(t.Parse(rows[0].text, "f", &error), 1);
  struct Check { const char* token; const char* label; } checks[] = {
      {"aaaaaaaaaaaaaaaa1", "clerk-1"}, {"bbbbbbbbbbbbbbbb2", "token 4"}, {"aaaaaaaaaaaaaaaa", ""},
      {"aaaaaaaaaaaaaaaa12", ""},       {"", ""},                          {"clerk-1", ""},
  };
  for (const Check& c : checks) EXPECT_EQ(t.Check(c.token), c.label) << c.token;
}

}  // namespace
