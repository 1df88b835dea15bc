// A dictionary client in a process of its own, for the test and the benchmark of change notices. It
// holds server dictionaries (from its own local server, as every process of the database has one),
// listens for notices (polling off) and talks over standard input and output; its answers start with
// "@ " (the framework's console lines go to standard output too):
//   (start)              -> "@ ready" once the dictionary is loaded and notices are listened to
//   "wait <code> <0|1>"  -> "@ ok <microseconds>" (steady clock) once Get_Dict shows the code held (1)
//                           or gone (0); "@ timeout" after 30 s
//   anything else, or the end of input, ends it.
// Notify_Child starts one and talks to it.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/data/db_connect.h"
#include "core/data/para.h"
#include "dict/dict_mgr.h"
#include "dict/dict_notify.h"
#include "dict/dict_serv.h"
#include "link/r_call.h"

extern char** environ;

namespace zem_test {

inline long long Steady_Us() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

inline int Dict_Notify_Client_Main(const char* conninfo, const char* dict_id) {
  TDb_Config cfg;
  cfg.driver = "zem_drv_pg";
  cfg.text[0] = Zem_Utf8_To_W(conninfo);
  if (!Db_Connect_Mgr()->Add_Config(cfg)) return 2;
  Link_Register();
  Dict_Serv_Register();
  Pub_Para_Put_Int(u"dict_poll_interval_ms", 0);  // notices only: polling would hide a missed one
  Dict_Client_List()->Set_Dict_Kind(TDict_Client_List::DICT_KIND_NET);
  TDict* d = Dict_Client_List()->Get_Dict(dict_id, 1);
  if (!d || !d->Is_Loaded() || !Dict_Notify()->Start()) return 3;
  std::printf("@ ready\n");
  std::fflush(stdout);
  char line[256], code[128];
  int want = 0;
  while (std::fgets(line, sizeof line, stdin) && std::sscanf(line, "wait %127s %d", code, &want) == 2) {
    bool seen = false;
    for (long long end = Steady_Us() + 30000000; !seen && Steady_Us() < end;) {
      seen = (Dict_Client_List()->Get_Dict(dict_id, 1)->Get_Name(code, nullptr) == 1) == (want == 1);
      if (!seen) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (seen) std::printf("@ ok %lld\n", Steady_Us());
    else std::printf("@ timeout\n");
    std::fflush(stdout);
  }
  Dict_Notify()->Stop();
  return 0;
}

// One client process, its standard input and output through pipes.
class Notify_Child {
 public:
  ~Notify_Child() { Finish(); }
  bool Start(const std::vector<std::string>& argv) {
    // Close-on-exec: no later client may hold this one's input open.
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &fa, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(in[0]);
    close(out[1]);
    to_ = in[1];
    from_ = out[0];
    return pid_ > 0;
  }
  bool Send(const std::string& line) {
    std::string l = line + "\n";
    return write(to_, l.data(), l.size()) == static_cast<ssize_t>(l.size());
  }
  // The next answer without its "@ ", waiting at most timeout_ms; false when none came.
  bool Read(std::string* line, int timeout_ms) {
    for (const long long end = Steady_Us() + timeout_ms * 1000LL;;) {
      for (size_t nl; (nl = buf_.find('\n')) != std::string::npos;) {
        std::string l = buf_.substr(0, nl);
        buf_.erase(0, nl + 1);
        if (l.compare(0, 2, "@ ") == 0) return *line = l.substr(2), true;
      }
      pollfd p = {from_, POLLIN, 0};
      char b[512];
      ssize_t n = 0;
      if (poll(&p, 1, static_cast<int>(std::max(0LL, (end - Steady_Us()) / 1000))) <= 0 ||
          (n = read(from_, b, sizeof b)) <= 0)
        return false;
      buf_.append(b, static_cast<size_t>(n));
    }
  }
  // Ends the client: its exit status, -1 when it had to be killed or never ran.
  int Finish() {
    if (pid_ <= 0) return -1;
    close(to_);  // the end of its input
    int status = 0;
    pid_t r = 0;
    for (int i = 0; i < 100 && (r = waitpid(pid_, &status, WNOHANG)) == 0; ++i) usleep(50000);
    if (r == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      status = -1;
    }
    close(from_);
    pid_ = -1;
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int to_ = -1, from_ = -1;
  std::string buf_;
};

}  // namespace zem_test
