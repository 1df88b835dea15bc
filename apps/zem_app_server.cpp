// zem_app_server: the application server. Clients in remote mode (link/r_call.h) send it their calls
// (dictionaries, time stamps, key sets, and the functions of a host's --module) and follow the change
// notices of its database; it holds the only database credentials. The command line is in
// apps/app_server/server_options.cpp (Server_Usage), the service in apps/app_server/app_server.h.
//
// It prints "zem_app_server: listening on HOST:PORT" on standard output once it serves (the port is
// the one chosen when --listen gave 0), then logs a summary line per period and one line per refused
// call. SIGTERM or SIGINT drains: watchers end, calls in flight finish (at most --drain-seconds), and
// it exits 0. SIGHUP reads the token file again. Exit 1 when it cannot start, 2 for a wrong command line.
#include <absl/synchronization/mutex.h>
#include <grpc/support/log.h>
#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "apps/app_server/app_server.h"
#include "apps/app_server/server_options.h"
#include "core/data/db_connect.h"
#include "core/data/dbdata.h"
#include "core/data/name_call.h"
#include "core/data/para.h"
#include "dict/dict_notify.h"
#include "frame/log_mgr.h"
#include "frame/pub_ptr.h"
#include "frame/startup/zem_pack.h"
#include "frame/t_dll.h"
#include "link/server_module.h"

#ifndef ZEM_BIN_TO_LIB
#define ZEM_BIN_TO_LIB "../lib"
#endif

namespace {

std::vector<std::string> g_served;  // what the module being loaded names

int Serve_Name(const char* name) {
  if (!name || !*name) return 0;
  g_served.push_back(name);
  return 1;
}

// The registry and driver libraries: beside the program in a build tree, in the library folder of an
// installed tree. A TARVOK_DLL_PATH already set is kept.
void Set_Library_Folder() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec).parent_path();
  for (const fs::path& dir : {self, (self / ZEM_BIN_TO_LIB).lexically_normal()}) {
    if (fs::exists(dir / "kdm_pub_ptr.so", ec)) {
      setenv("TARVOK_DLL_PATH", dir.c_str(), 0);
      return;
    }
  }
}

// gRPC's own complaints (a failed TLS handshake, a port in use) go to the server's log.
void Grpc_Log(gpr_log_func_args* args) {
  if (args->severity >= GPR_LOG_SEVERITY_ERROR) Server_Log(std::string("grpc: ") + args->message);
}

std::string Masked(const std::string& conninfo) {
  return std::regex_replace(conninfo, std::regex("password\\s*=\\s*\\S+"), "password=***");
}

int Fail(const std::string& why) {
  Server_Log("cannot start: " + why);
  std::fprintf(stderr, "zem_app_server: %s\n", why.c_str());
  return 1;
}

// The database: the pool gets a session per worker (and one for the start-up check).
int Open_Database(const Server_Options& o, std::string* error) {
  TDb_Config cfg;
  cfg.driver = o.Db_Is_Pg() ? "zem_drv_pg" : "zem_drv_sqlite";
  cfg.text[0] = Zem_Utf8_To_W(o.Db_Text());
  cfg.count = o.threads + 1;
  if (!Db_Connect_Mgr()->Add_Config(cfg)) {
    *error = "cannot load the driver " + cfg.driver + ".so (TARVOK_DLL_PATH)";
    return 0;
  }
  TDb_Connect* s = Db_Connect_Mgr()->Get_Session(nullptr);
  DBDataMgr ds;
  const bool ok = s && s->Connect(&ds);
  Db_Connect_Mgr()->Release_Thread();
  if (!ok) *error = "cannot connect to the database " + Masked(o.Db_Text()) + ": " + Zem_W_To_Utf8(ds.Get_Sqlmsg());
  return ok ? 1 : 0;
}

int Load_Module(const std::string& file, App_Server* server, std::string* error) {
  // A module stays loaded for the life of the process.
  auto* dll = new T_Dll();
  if (!dll->Load(file.c_str())) {
    *error = "cannot load the module " + file;
    return 0;
  }
  auto init = reinterpret_cast<Zem_App_Server_Init_Fn>(dll->Get_Ptr(kZem_App_Server_Init));
  if (!init) {
    *error = "the module " + file + " has no " + kZem_App_Server_Init;
    return 0;
  }
  g_served.clear();
  if (!init(Serve_Name)) {
    *error = "the module " + file + " did not start";
    return 0;
  }
  for (const std::string& name : g_served) {
    // A module that reached another table (no shared registry) defined its functions out of reach.
    if (!Mid_Process()->Find(name.c_str())) {
      *error = "the module " + file + " serves " + name + " but did not define it on the server's table "
               "(kdm_pub_ptr.so not found through TARVOK_DLL_PATH?)";
      return 0;
    }
    server->Serve(name);
  }
  Server_Log("module " + file + ": " + std::to_string(g_served.size()) + " calls");
  return 1;
}

// Every id the server's following dispatches (after marking its own dictionary, so that a client
// reloading at once finds it reading the database again) goes to the watching clients.
void Pass_Change(void* server, const char* id) {
  static_cast<App_Server*>(server)->Post_Notice("zem_dict", id ? id : "");
}

}  // namespace

int main(int argc, char** argv) {
  Server_Options o;
  std::string error;
  if (!Parse_Server_Options(argc, argv, &o, &error)) {
    std::fprintf(stderr, "zem_app_server: %s\n%s", error.c_str(), Server_Usage());
    return 2;
  }
  // The signals are taken by the main thread alone: every thread made later inherits the mask.
  sigset_t sigs;
  sigemptyset(&sigs);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&sigs, s);
  pthread_sigmask(SIG_BLOCK, &sigs, nullptr);
  signal(SIGPIPE, SIG_IGN);

  // Every client connection takes a file descriptor: the soft limit goes up to the hard one.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  Set_Library_Folder();
  if (!o.log.empty() && !Log_Mgr()->Set_File(o.log.c_str())) {
    std::fprintf(stderr, "zem_app_server: cannot write the log file %s\n", o.log.c_str());
    return 1;
  }
  gpr_set_log_function(Grpc_Log);
  // The distribution's abseil keeps a lock-order graph for every mutex gRPC takes, a debugging aid
  // that costs every call.
  absl::SetMutexDeadlockDetectionMode(absl::OnDeadlockCycle::kIgnore);
  // A dictionary's reply is megabytes, made, copied into gRPC's buffer and let go per call. Left to
  // itself, malloc hands such blocks back to the system and every reply faults in fresh pages (a third
  // of the call's CPU); blocks up to 32 MiB are taken from the heap, and free memory up to 256 MiB is
  // kept there for the next reply.
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
  Zem_Framework_Startup();
  Pub_Para_Put_Int(u"dict_file_mode_size", o.file_mode_size);
  if (!Open_Database(o, &error)) return Fail(error);

  App_Server server(o);
  for (const std::string& m : o.modules)
    if (!Load_Module(m, &server, &error)) return Fail(error);
  if (!server.Start(&error)) return Fail(error);

  Dict_Notify()->Add_Observer(Pass_Change, &server);
  std::string notices;
  if (!Dict_Notify()->Start())
    notices = "no changes followed (see above): clients poll by time stamps";
  else if (Dict_Notify()->Mode() == TDict_Notify::MODE_NOTICES)
    notices = "following changes by the database's notices";
  else
    notices = "following changes by the database's change log";
  std::string host = o.listen.substr(0, o.listen.rfind(':'));
  const std::string where = host + ":" + std::to_string(server.Port());
  Server_Log("listening on " + where + (o.insecure ? " (plain text)" : " (TLS)") + ", database " +
             Masked(o.Db_Text()) + ", " + std::to_string(o.threads) + " threads, " + notices);
  std::printf("zem_app_server: listening on %s\n", where.c_str());
  std::fflush(stdout);

  auto next = std::chrono::steady_clock::now() + std::chrono::seconds(o.summary_seconds);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - std::chrono::steady_clock::now());
    timespec wait{};
    if (left.count() > 0) {
      wait.tv_sec = left.count() / 1000;
      wait.tv_nsec = (left.count() % 1000) * 1000000;
    }
    const int sig = sigtimedwait(&sigs, nullptr, &wait);
    if (sig == SIGTERM || sig == SIGINT) break;
    if (sig == SIGHUP) {
      server.Reload_Tokens();
    } else if (std::chrono::steady_clock::now() >= next) {
      server.Summary();
      // Periods missed while the process was stopped (SIGSTOP, a suspended machine) are not made up.
      const auto now = std::chrono::steady_clock::now();
      next += std::chrono::seconds(o.summary_seconds);
      if (next <= now) next = now + std::chrono::seconds(o.summary_seconds);
    }
  }
  Server_Log("stopping: " + std::to_string(server.In_Flight()) + " calls in flight, waiting at most " +
             std::to_string(o.drain_seconds) + " s");
  server.Drain();
  Dict_Notify()->Stop();
  Dict_Notify()->Remove_Observer(Pass_Change, &server);
  server.Summary();
  Server_Log("stopped");
  return 0;
}
