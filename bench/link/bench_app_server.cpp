// The application server's speed and memory, each figure beside an anchor measured in the same run, on
// a zem_app_server with TLS on loopback over the throwaway PostgreSQL server (ZEM_PG_CONNINFO):
//   - a 100,000-entry dictionary loaded through the server (TDict_Net::Load: the whole transfer, the
//     rows unpacked and indexed; the cache file written by its own thread, outside the wall time)
//     beside the same rows by their SQL from PostgreSQL directly (TDict::Load): wall time per load,
//     target <= 1.0x; both sides' CPU beside it (this process, the cache file's writing included; the
//     server process, or the PostgreSQL backend);
//   - 64 threads calling Dict_Check_Time_Stamp for 10 s over the process's one channel beside 64
//     threads each doing PQexec("select 1") on a connection of its own: calls per second (target >= 1x)
//     and the 99th percentile of a call (target <= 2x); the CPU a call took on either side (this
//     process; the server process, or the PostgreSQL backends);
//   - the server's memory (resident) with 1,000 idle clients watching for notices, each on a connection
//     of its own, beside the same server before they came: reported.
#include "bench/bench_summary.h"

#include <dlfcn.h>
#include <libpq-fe.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/data/db_connect.h"
#include "core/data/link_transport.h"
#include "core/data/para.h"
#include "core/data/sqlca.h"
#include "dict/dict_net.h"
#include "dict/dict_serv.h"
#include "link/r_call.h"
#include "tests/link/app_server_proc.h"

using namespace zem_bench;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRows = 100000;
constexpr int kThreads = 64;
constexpr int kSeconds = 10;
constexpr int kWatchers = 1000;
constexpr const char* kToken = "bench-token-0123456789";

// The run's setting, made once: a schema with the dictionary, certificates, the server.
struct Setting {
  std::string dir, schema, conninfo, why;
  zem_test::Server_Proc server;
  bool ready = false;
};

// CPU seconds (user and system) of a process, from /proc.
double Proc_Cpu(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  unsigned long long utime = 0, stime = 0;
  std::sscanf(text.c_str() + close + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime);
  return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// Resident memory of a process in MB, from /proc.
double Proc_Rss_Mb(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(f, line);)
    if (line.compare(0, 6, "VmRSS:") == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return 0;
}

std::string Pg_Exec(const std::string& conninfo, const std::string& sql) {
  PGconn* c = PQconnectdb(conninfo.c_str());
  std::string err;
  PGresult* r = PQstatus(c) == CONNECTION_OK ? PQexec(c, sql.c_str()) : nullptr;
  if (!r) err = PQerrorMessage(c);
  else if (PQresultStatus(r) != PGRES_COMMAND_OK && PQresultStatus(r) != PGRES_TUPLES_OK) err = PQresultErrorMessage(r);
  PQclear(r);
  PQfinish(c);
  return err;
}

Setting& The_Setting() {
  static Setting* s = [] {
    auto* st = new Setting();
    const char* pg = std::getenv("ZEM_PG_CONNINFO");
    if (!pg || !*pg) {
      st->why = "ZEM_PG_CONNINFO is not set";
      return st;
    }
    setenv("TARVOK_DLL_PATH", zem_test::Bin_Dir().c_str(), 0);
    char tmpl[] = "/tmp/zem-bench-srv-XXXXXX";
    st->dir = mkdtemp(tmpl) ? tmpl : "/tmp";
    st->schema = "zb_" + std::to_string(getpid());
    st->conninfo = std::string(pg) + " options='-c search_path=" + st->schema + "'";
    st->why = Pg_Exec(pg, "create schema " + st->schema);
    TDb_Config cfg;
    cfg.driver = "zem_drv_pg";
    cfg.text[0] = Zem_Utf8_To_W(st->conninfo);
    cfg.count = 2;
    if (st->why.empty() && !Db_Connect_Mgr()->Add_Config(cfg)) st->why = "no PostgreSQL driver";
    TSQLCA q;
    if (st->why.empty() && Dict_Create_Def_Tables(&q) != 0) st->why = Zem_W_To_Utf8(q.Get_Error_Msg());
    if (st->why.empty() &&
        q.Exec(u"insert into app_dict_def select 'big', lpad(g::text, 6, '0'), '部门名称' || g, 'N', 'N', 0, "
               u"'备注' || g, g from generate_series(1, 100000) g") != 0)
      st->why = Zem_W_To_Utf8(q.Get_Error_Msg());
    if (st->why.empty() && q.Commit() != 0) st->why = Zem_W_To_Utf8(q.Get_Error_Msg());
    if (st->why.empty()) st->why = zem_test::Make_Certs(st->dir);
    if (!st->why.empty()) return st;
    std::ofstream(st->dir + "/tokens") << "bench " << kToken << "\n";
    st->server.Start({"--listen", "127.0.0.1:0", "--db", st->conninfo, "--cert", st->dir + "/server.pem", "--key",
                      st->dir + "/server.key", "--tokens", st->dir + "/tokens", "--threads", "8",
                      "--max-calls-per-client", std::to_string(kThreads), "--summary-seconds", "3600"},
                     st->dir + "/server.log");
    const int port = st->server.Port();
    if (port <= 0) {
      st->why = "the server did not start: " + st->server.Log();
      return st;
    }
    Link_Register();
    Dict_Serv_Register();
    Pub_Para_Put_Str(u"app_server", ("127.0.0.1:" + std::to_string(port)).c_str());
    Pub_Para_Put_Str(u"app_server_ca", (st->dir + "/ca.pem").c_str());
    Pub_Para_Put_Str(u"app_server_token", kToken);
    Pub_Para_Put_WStr(u"app_home_path", Zem_Utf8_To_W(st->dir).c_str());
    *R_Call_Local_Mode() = 0;
    st->ready = true;
    return st;
  }();
  return *s;
}

bool Ready(benchmark::State& state) {
  Setting& s = The_Setting();
  if (!s.ready) state.SkipWithError(s.why.c_str());
  return s.ready;
}

// ---- the dictionary --------------------------------------------------------------------------------
bool Holds_All(TDict& d) {
  std::u16string name;
  return d.Get_Row_Count() == kRows && d.Get_Name(u"054321", &name) && name == u"部门名称54321";
}

void BM_Dict_Load_Server(benchmark::State& state) {
  if (!Ready(state)) return;
  const pid_t server = The_Setting().server.Pid();
  {
    TDict_Net warm;  // the server reads the dictionary from its database once
    warm.Set_Dict_Id("big");
    warm.Load(0);
  }
  double client = 0, serv = 0;
  int n = 0;
  for (auto _ : state) {
    const double c0 = Cpu_Seconds(CLOCK_PROCESS_CPUTIME_ID), s0 = Proc_Cpu(server);
    TDict_Net d;
    d.Set_Dict_Id("big");
    const int ok = d.Load(0);
    // The cache file is written by a thread of its own; its writing counts here, not in the wall time.
    state.PauseTiming();
    Dict_Net_Cache_Flush();
    state.ResumeTiming();
    client += Cpu_Seconds(CLOCK_PROCESS_CPUTIME_ID) - c0;
    serv += Proc_Cpu(server) - s0;
    ++n;
    if (!ok || !Holds_All(d)) state.SkipWithError("the dictionary came with other rows");
  }
  Keep("load server client cpu", client / n);
  Keep("load server server cpu", serv / n);
}

void BM_Dict_Load_Pg(benchmark::State& state) {
  if (!Ready(state)) return;
  TSQLCA q;
  int backend = 0;
  if (q.Exec(u"select pg_backend_pid()") == 0 && q.Get_Row_Count() == 1) backend = std::atoi(Zem_W_To_Utf8(q.Get_Row_Value(0, 0)).c_str());
  double client = 0, serv = 0;
  int n = 0;
  for (auto _ : state) {
    const double c0 = Cpu_Seconds(CLOCK_PROCESS_CPUTIME_ID), s0 = Proc_Cpu(backend);
    TDict d;
    const int ok = d.SetInfo("big") && d.Load(0);
    client += Cpu_Seconds(CLOCK_PROCESS_CPUTIME_ID) - c0;
    serv += Proc_Cpu(backend) - s0;
    ++n;
    if (!ok || !Holds_All(d)) state.SkipWithError("the dictionary came with other rows");
  }
  Keep("load pg client cpu", client / n);
  Keep("load pg server cpu", serv / n);
}

// ---- many clients' calls ---------------------------------------------------------------------------
struct Calls {
  long long count = 0;
  double p99_ms = 0;
  bool wrong = false;
};

// kThreads threads each running one(-1) once, then one(0) in a loop for kSeconds, then one(1): how many
// calls there were and the 99th percentile of one.
template <class One>
Calls Hammer(One one) {
  std::vector<std::vector<float>> micros(kThreads);
  std::atomic<bool> wrong{false};
  const Clock::time_point end = Clock::now() + std::chrono::seconds(kSeconds);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      one(-1);
      while (Clock::now() < end) {
        const Clock::time_point t0 = Clock::now();
        if (!one(0)) wrong = true;
        micros[t].push_back(static_cast<float>(std::chrono::duration<double, std::micro>(Clock::now() - t0).count()));
      }
      one(1);
    });
  for (std::thread& th : threads) th.join();
  std::vector<float> all;
  for (auto& m : micros) all.insert(all.end(), m.begin(), m.end());
  Calls c;
  c.count = static_cast<long long>(all.size());
  c.wrong = wrong;
  if (!all.empty()) {
    const size_t k = all.size() * 99 / 100;
    std::nth_element(all.begin(), all.begin() + static_cast<long>(k), all.end());
    c.p99_ms = all[k] / 1000.0;
  }
  return c;
}

void BM_Check_Stamps_Server(benchmark::State& state) {
  if (!Ready(state)) return;
  const pid_t server = The_Setting().server.Pid();
  // The stamp the server holds: every check finds the dictionary current, as most of a day's do.
  TParaMgr ask;
  ask.Put_Str(u"dict_id", "big");
  char stamp[32] = "0";
  if (R_Call("Dict_Get_Time_Stamp", &ask) != 0 || !ask.Get_Str(u"time_stamp", stamp, sizeof stamp)) {
    state.SkipWithError("no stamp");
    return;
  }
  const std::u16string held = Zem_Utf8_To_W(stamp);
  for (auto _ : state) {
    const double s0 = Proc_Cpu(server), c0 = Cpu_Seconds(CLOCK_PROCESS_CPUTIME_ID);
    Calls c = Hammer([&held](int phase) {
      if (phase != 0) return 1;
      TSQLCA lst;
      lst.Set_Field_Count(2);
      lst.Set_Field_Name(0, u"dict_id");
      lst.Set_Field_Name(1, u"client_time_stamp");
      lst.Add_Row();
      lst.Set_Value(0, u"big");
      lst.Set_Value(1, held.c_str());
      TParaMgr p;
      p.Put_Sqlca_Para(u"dict_pack", &lst);
      return R_Call("Dict_Check_Time_Stamp", &p) == 0 && !p.Find_Para(u"dict_data_big") ? 1 : 0;
    });
    state.SetIterationTime(kSeconds);
    if (c.wrong) state.SkipWithError("a call failed or found the dictionary changed");
    Keep_Most("server calls", double(c.count) / kSeconds);
    Keep("server p99", c.p99_ms);
    Keep("server call cpu here", (Cpu_Seconds(CLOCK_PROCESS_CPUTIME_ID) - c0) / double(std::max(1LL, c.count)));
    Keep("server call cpu server", (Proc_Cpu(server) - s0) / double(std::max(1LL, c.count)));
  }
}

void BM_Select1_Pg(benchmark::State& state) {
  if (!Ready(state)) return;
  const char* pg = std::getenv("ZEM_PG_CONNINFO");
  for (auto _ : state) {
    std::mutex lock;
    std::vector<pid_t> backends;
    std::vector<double> backend_cpu;
    const double c0 = Cpu_Seconds(CLOCK_PROCESS_CPUTIME_ID);
    Calls c = Hammer([&](int phase) {
      thread_local PGconn* conn = nullptr;
      if (phase < 0) {
        conn = PQconnectdb(pg);
        std::lock_guard<std::mutex> g(lock);
        backends.push_back(PQbackendPID(conn));
        backend_cpu.push_back(Proc_Cpu(backends.back()));
      }
      if (phase > 0) {
        const pid_t b = PQbackendPID(conn);
        const double used = Proc_Cpu(b);
        std::lock_guard<std::mutex> g(lock);
        for (size_t i = 0; i < backends.size(); ++i)
          if (backends[i] == b) backend_cpu[i] = used - backend_cpu[i];
        PQfinish(conn);
      }
      if (phase != 0) return 1;
      PGresult* r = PQexec(conn, "select 1");
      const bool ok = PQresultStatus(r) == PGRES_TUPLES_OK;
      PQclear(r);
      return ok ? 1 : 0;
    });
    state.SetIterationTime(kSeconds);
    if (c.wrong) state.SkipWithError("a statement failed");
    Keep_Most("pg calls", double(c.count) / kSeconds);
    Keep("pg p99", c.p99_ms);
    double backend_total = 0;
    for (double b : backend_cpu) backend_total += b;
    Keep("pg call cpu here", (Cpu_Seconds(CLOCK_PROCESS_CPUTIME_ID) - c0) / double(std::max(1LL, c.count)));
    Keep("pg call cpu server", backend_total / double(std::max(1LL, c.count)));
  }
}

// ---- idle watchers ---------------------------------------------------------------------------------
std::atomic<int> g_up{0};
void On_Watch(void*, int event, const char*, const char*) {
  if (event == LINK_WATCH_UP) ++g_up;
}

void BM_Idle_Watchers(benchmark::State& state) {
  if (!Ready(state)) return;
  Setting& s = The_Setting();
  // The transport itself, so that each watcher has a connection of its own, as a client process has.
  void* lib = dlopen((zem_test::Bin_Dir() + "/zem_link_grpc.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  auto open = reinterpret_cast<Link_Open_Fn>(lib ? dlsym(lib, "_Link_Open_Handle") : nullptr);
  auto watch = reinterpret_cast<Link_Watch_Start_Fn>(lib ? dlsym(lib, "_Link_Watch_Handle") : nullptr);
  auto stop = reinterpret_cast<Link_Watch_Stop_Fn>(lib ? dlsym(lib, "_Link_Watch_Stop_Handle") : nullptr);
  if (!open || !watch || !stop) {
    state.SkipWithError("no transport library");
    return;
  }
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < static_cast<rlim_t>(kWatchers + 256)) {
    // Each watcher is a connection, a descriptor on either side: the machine does not allow them.
    const std::string why = "open-file limit " + std::to_string(files.rlim_cur) + " is below the watchers' needs";
    std::printf("idle watchers not run: %s\n", why.c_str());
    for (auto _ : state) {
    }
    return;
  }
  const std::string address = "127.0.0.1:" + std::to_string(s.server.Port()), ca = s.dir + "/ca.pem";
  for (auto _ : state) {
    const double before = Proc_Rss_Mb(s.server.Pid());
    std::vector<void*> watches;
    g_up = 0;
    for (int i = 0; i < kWatchers; ++i) {
      Link_Target t{};
      t.address = address.c_str();
      t.ca_file = ca.c_str();
      t.instance = i + 1;
      char why[256];
      if (void* ch = open(&t, why, sizeof why)) watches.push_back(watch(ch, kToken, On_Watch, nullptr));
    }
    for (int i = 0; i < 1200 && g_up < kWatchers; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double with = Proc_Rss_Mb(s.server.Pid());
    if (g_up != kWatchers) state.SkipWithError("not every watcher's stream stood");
    for (void* w : watches) stop(w);
    Keep("rss idle", before);
    Keep("rss watchers", with);
  }
}

BENCHMARK(BM_Dict_Load_Server)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Dict_Load_Pg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Check_Stamps_Server)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Select1_Pg)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Idle_Watchers)->Iterations(1)->Unit(benchmark::kMillisecond);

void Print(const Summary& s) {
  Setting& st = The_Setting();
  if (!st.ready) {
    std::printf("application-server figures not run: %s\n", st.why.c_str());
    return;
  }
  Line("100,000-entry dictionary through the server", s.Real("BM_Dict_Load_Server") * 1e3,
       "by SQL from PostgreSQL", s.Real("BM_Dict_Load_Pg") * 1e3, "<= 1.0x");
  Line("  its CPU here", Fig("load server client cpu"), "here", Fig("load pg client cpu"));
  Line("  its CPU in the server process", Fig("load server server cpu"), "in the PostgreSQL backend",
       Fig("load pg server cpu"));
  Form calls;
  calls.unit = "calls/s";
  calls.digits = 0;
  Line("64 threads' Dict_Check_Time_Stamp", Fig("server calls", 1), "PQexec(\"select 1\")", Fig("pg calls", 1),
       ">= 1x", calls);
  Form ms;
  ms.digits = 2;
  Line("  99th percentile of a call", Fig("server p99", 1), "of a statement", Fig("pg p99", 1), "<= 2x", ms);
  Form us;
  us.unit = "us";
  Line("  CPU per call here", Fig("server call cpu here", 1e6), "per statement", Fig("pg call cpu here", 1e6), nullptr,
       us);
  Line("  CPU per call in the server process", Fig("server call cpu server", 1e6), "in the PostgreSQL backends",
       Fig("pg call cpu server", 1e6), nullptr, us);
  Form mb;
  mb.unit = "MB";
  mb.note = "idle server";
  Line("server memory with 1,000 idle watchers", Fig("rss watchers", 1), "before", Fig("rss idle", 1), nullptr, mb);
  if (Fig("rss watchers", 1) > 0)
    std::printf("  %.1f KB per watching client\n", (Fig("rss watchers", 1) - Fig("rss idle", 1)) * 1024 / kWatchers);
}

}  // namespace

int main(int argc, char** argv) {
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  const int rc = Run(argc, argv, Print);
  Setting& s = The_Setting();
  s.server.Signal(SIGTERM);
  s.server.Wait_Exit();
  Db_Connect_Mgr()->Clear();
  if (!s.schema.empty()) Pg_Exec(std::getenv("ZEM_PG_CONNINFO"), "drop schema " + s.schema + " cascade");
  if (!s.dir.empty() && s.dir != "/tmp") std::filesystem::remove_all(s.dir);
  return rc;
}
