// A zem_app_server process for the tests and the benchmarks: certificates made with openssl at run
// time, the server started with its output in a log file, its port read from what it says.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace zem_test {

inline std::string Read_All(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

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
  if (std::system((cmd + " >openssl.log 2>&1").c_str()) != 0) return "openssl failed: " + Read_All(dir + "/openssl.log");
  return "";
}

// One zem_app_server process; standard output and error go to its log file.
class Server_Proc {
 public:
  ~Server_Proc() { Kill(); }
  // The program started, from the build's bin folder (zem_app_server unless told otherwise).
  void Use_Program(const std::string& name) { program_ = name; }
  bool Start(const std::vector<std::string>& args, const std::string& log) {
    log_ = log;
    std::vector<std::string> argv = {Bin_Dir() + "/" + program_};
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
  std::string Log() const { return Read_All(log_); }
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
  std::string program_ = "zem_app_server";
  std::string log_;
};

}  // namespace zem_test
