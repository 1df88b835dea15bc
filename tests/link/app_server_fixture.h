// Shared by the application-server tests: certificates made with openssl at test time, a
// zem_app_server process (its output in a log file), and a PostgreSQL schema with the dictionary
// tables (the dictionary tests' fixture) that the server works on.
#pragma once
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/data/para.h"
#include "tests/dict/dict_fixture.h"
#include "tests/dict/dict_notify_client.h"
#include "link/r_call.h"

extern char** environ;

namespace zem_test {

inline std::string Bin_Dir() { return std::filesystem::read_symlink("/proc/self/exe").parent_path().string(); }

// A certificate authority (ca.pem) and a server certificate it signed for localhost and 127.0.0.1
// (server.pem, server.key), and a second authority that signed nothing here (other_ca.pem). "" or why not.
inline std::string Make_Certs(const std::string& dir) {
  const std::string ec = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
  const std::string cmd =
      "cd '" + dir + "' && openssl req -x509 " + ec + " -keyout ca.key -out ca.pem -days 2 -subj '/CN=zem test CA' &&"
      " openssl req -x509 " + ec + " -keyout other_ca.key -out other_ca.pem -days 2 -subj '/CN=another CA' &&"
      " openssl req " + ec + " -keyout server.key -out server.csr -subj '/CN=localhost' &&"
      " printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\\nextendedKeyUsage=serverAuth\\n' > server.ext &&"
      " openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2"
      " -extfile server.ext";
  if (std::system((cmd + " >openssl.log 2>&1").c_str()) != 0) return "openssl failed: " + Read(dir + "/openssl.log");
  return "";
}

// One zem_app_server process; standard output and error go to its log file.
class Server_Proc {
 public:
  ~Server_Proc() { Kill(); }
  bool Start(const std::vector<std::string>& args, const std::string& log) {
    log_ = log;
    std::vector<std::string> argv = {Bin_Dir() + "/zem_app_server"};
    argv.insert(argv.end(), args.begin(), args.end());
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    std::vector<char*> a;
    for (const std::string& s : argv) a.push_back(const_cast<char*>(s.c_str()));
    a.push_back(nullptr);
    if (posix_spawn(&pid_, a[0], &fa, nullptr, a.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid_ > 0;
  }
  // The port once the server says it listens (counting such lines from the n-th on: a restarted
  // server appends to the same log); 0 when it exited or did not say so within 30 s.
  int Port(int nth = 1) {
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30); std::chrono::steady_clock::now() < end;) {
      const std::string text = Log();
      const std::string key = "zem_app_server: listening on ";
      size_t at = std::string::npos, from = 0;
      for (int i = 0; i < nth && (at = text.find(key, from)) != std::string::npos; ++i) from = at + key.size();
      if (at != std::string::npos) {
        const size_t colon = text.find('\n', at);
        return std::atoi(text.substr(text.rfind(':', colon) + 1).c_str());
      }
      if (waitpid(pid_, &status_, WNOHANG) == pid_) {
        pid_ = -1;
        return 0;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
  }
  std::string Log() const { return Read(log_); }
  // Waits up to 30 s for the text in the log.
  bool Logged(const std::string& text) const {
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30); std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(std::chrono::milliseconds(20)))
      if (Log().find(text) != std::string::npos) return true;
    return false;
  }
  pid_t Pid() const { return pid_; }
  void Signal(int sig) {
    if (pid_ > 0) kill(pid_, sig);
  }
  // The exit code once it ended (up to 60 s; then killed: -1); -1 too after a signal ended it.
  int Wait_Exit() {
    if (pid_ <= 0) return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    pid_t r = 0;
    for (int i = 0; i < 3000 && (r = waitpid(pid_, &status_, WNOHANG)) == 0; ++i) usleep(20000);
    if (r == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status_, 0);
      pid_ = -1;
      return -1;
    }
    pid_ = -1;
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int status_ = 0;
  std::string log_;
};

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

  // A notice as a writer's trigger sends it, with the writer's change, committed together.
  void Change_And_Notify(const char16_t* sql, const char* dict_id) {
    TSQLCA q;
    ASSERT_EQ(q.Exec(sql), 0) << Utf8(q.Get_Error_Msg());
    DBDataMgr ds;
    const std::u16string payload = u"0 admin " + U(dict_id);
    ASSERT_TRUE(Db_Connect_Mgr()->Get_Session()->Notify(&ds, u"zem_dict", payload.c_str())) << Utf8(ds.Get_Sqlmsg());
    ASSERT_EQ(q.Commit(), 0) << Utf8(q.Get_Error_Msg());
  }

  Server_Proc server_;
  int port_ = 0;
  int servers_ = 0;
};

}  // namespace zem_test
