// Waiting for the database on the user-interface thread, beside anchors measured in the same run:
// - the worst lateness of a 10 ms timer while a statement stalls 5 s on the server (the host's wait box
//   runs the event loop), beside the same timer with the thread idle (target <= 50 ms);
// - the time from 取消 in the box to the call's return, a server that answers the cancel and a stopped
//   backend, beside a bare libpq cancel of the same statement (target <= 200 ms);
// - the slowest dictionary look-up while another thread's load waits for a stopped backend, beside the
//   same look-ups with nothing loading (target <= 50 ms).
// Needs ZEM_PG_CONNINFO (tools/run-bench.sh starts a server); without it the figures say they did not run.
#include <libpq-fe.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "bench/bench_summary.h"
#include "core/data/db_connect.h"
#include "core/data/para.h"
#include "core/data/sqlca.h"
#include "dict/dict.h"
#include "dict/dict_mgr.h"
#include "frame/wait.h"
#include "host/wait_box.h"

namespace {

using zem_bench::Check;
using zem_bench::Keep;

struct Env {
  bool ok = false;
  std::string conninfo;  // the server's, with a schema of this run's own
  std::string schema;
};

Env& E() {
  static Env e = [] {
    Env x;
    const char* c = std::getenv("ZEM_PG_CONNINFO");
    if (!c || !*c) return x;
    x.schema = "zb_wait_" + std::to_string(getpid());
    PGconn* pg = PQconnectdb(c);
    PGresult* r = PQexec(pg, ("create schema " + x.schema).c_str());
    x.ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    PQfinish(pg);
    x.conninfo = std::string(c) + " options='-c search_path=" + x.schema + "'";
    TDb_Config cfg;
    cfg.driver = "zem_drv_pg";
    cfg.text[0] = Zem_Utf8_To_W(x.conninfo);
    cfg.count = 3;
    x.ok = x.ok && Db_Connect_Mgr()->Add_Config(cfg);
    TSQLCA q;
    x.ok = x.ok && Dict_Create_Def_Tables(&q) == 0 &&
           q.Exec(u"insert into app_dict_def values('dept','A','部门甲','N','N',0,'',1),('dept','B','部门乙','N','N',0,'',2)") == 0 &&
           q.Exec(u"create table items(code varchar(10), name varchar(20))") == 0 &&
           q.Exec(u"insert into app_dict_sql values('items','select code,name from items','','','','','','','')") == 0 &&
           q.Commit() == 0;
    return x;
  }();
  return e;
}

void Cleanup() {
  if (E().schema.empty()) return;
  Db_Connect_Mgr()->Clear();
  PGconn* pg = PQconnectdb(std::getenv("ZEM_PG_CONNINFO"));
  PQclear(PQexec(pg, ("drop schema " + E().schema + " cascade").c_str()));
  PQfinish(pg);
}

bool Ready(benchmark::State& state) {
  if (E().ok) return true;
  state.SkipWithError(std::getenv("ZEM_PG_CONNINFO") ? "the database could not be prepared" : "ZEM_PG_CONNINFO is not set");
  return false;
}

// The worst lateness (ms) of a 10 ms timer while run() runs on this thread.
double Worst_Lateness(const std::function<void()>& run) {
  QTimer t;
  t.setTimerType(Qt::PreciseTimer);
  long long last = Zem_Wait_Now_Ms(), worst = 0;
  QObject::connect(&t, &QTimer::timeout, [&] {
    const long long now = Zem_Wait_Now_Ms();
    worst = std::max(worst, now - last - 10);
    last = now;
  });
  t.start(10);
  run();
  t.stop();
  return static_cast<double>(worst);
}

void Wait_Idle(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

void BM_Timer_Idle(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) Keep("timer idle", std::max(1.0, Worst_Lateness([] { Wait_Idle(5000); })) / 1e3);
}

void BM_Timer_Stalled_Statement(benchmark::State& state) {
  if (!Ready(state)) return;
  TSQLCA q;
  for (auto _ : state)
    Keep("timer stalled",
         std::max(1.0, Worst_Lateness([&] { Check(q.Exec(u"select pg_sleep(5)") == 0, "the stalled statement"); })) / 1e3);
}

// Clicks 取消 in the box once it has shown for a second; *clicked the time of the click.
void Cancel_After_A_Second(long long* clicked) {
  auto* t = new QTimer();
  const long long start = Zem_Wait_Now_Ms();
  QObject::connect(t, &QTimer::timeout, [t, start, clicked] {
    if (Zem_Wait_Now_Ms() - start < 1000) return;
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->objectName() != QLatin1String("zem_wait_box") || !w->isVisible()) continue;
      *clicked = Zem_Wait_Now_Ms();
      w->findChild<QPushButton*>(QStringLiteral("cancel"))->click();
      t->stop();
      t->deleteLater();
      return;
    }
  });
  t->start(5);
}

void Cancel_From_Box(benchmark::State& state, bool stop_backend, const char* figure) {
  if (!Ready(state)) return;
  for (auto _ : state) {
    TSQLCA q;
    const std::string pid = q.Exec(u"select pg_backend_pid()") == 0 ? Zem_W_To_Utf8(q.Get_Value(0)) : "0";
    if (stop_backend) kill(std::stoi(pid), SIGSTOP);
    long long clicked = 0;
    Cancel_After_A_Second(&clicked);
    q.Exec(stop_backend ? u"select 1" : u"select pg_sleep(30)");
    const long long returned = Zem_Wait_Now_Ms();
    if (stop_backend) kill(std::stoi(pid), SIGCONT);
    Check(clicked > 0 && Zem_W_To_Utf8(q.Get_Error_Msg()).find("cancelled by the user") != std::string::npos,
          "the call was cancelled from the box");
    Keep(figure, std::max(1LL, returned - clicked) / 1e3);
  }
}

void BM_Cancel_From_Box(benchmark::State& state) { Cancel_From_Box(state, false, "cancel"); }
void BM_Cancel_From_Box_Stopped_Backend(benchmark::State& state) { Cancel_From_Box(state, true, "cancel stopped"); }

// The anchor: the same statement cancelled on a bare libpq connection, to its last result.
void BM_Cancel_Libpq(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) {
    PGconn* c = PQconnectdb(E().conninfo.c_str());
    PQsendQuery(c, "select pg_sleep(30)");
    usleep(1000000);
    const long long t0 = Zem_Wait_Now_Ms();
    PGcancel* cancel = PQgetCancel(c);
    char err[256];
    PQcancel(cancel, err, sizeof err);
    PQfreeCancel(cancel);
    while (PGresult* r = PQgetResult(c)) PQclear(r);
    Keep("cancel libpq", std::max(1LL, Zem_Wait_Now_Ms() - t0) / 1e3);
    PQfinish(c);
  }
}

// The slowest of 20,000 look-ups of a loaded dictionary (ms); with load, while another thread loads a
// dictionary from a stopped backend.
double Slowest_Lookup(bool load) {
  TDict* dept = Dict_Client_List()->Get_Dict("dept", 1);
  std::atomic<int> stage{0};
  std::string pid;
  std::thread loader;
  if (load) {
    loader = std::thread([&] {
      TSQLCA q;
      if (q.Exec(u"select pg_backend_pid()") == 0) pid = Zem_W_To_Utf8(q.Get_Value(0));
      stage = 1;
      while (stage != 2) std::this_thread::yield();
      Dict_Client_List()->Get_Dict("items", 1);
      Db_Connect_Mgr()->Release_Thread();
    });
    while (stage != 1) std::this_thread::yield();
    kill(std::stoi(pid), SIGSTOP);
    stage = 2;
    while (!Dict_Client_List()->Get_Dict("items", 0)) std::this_thread::yield();
  }
  long long worst = 0;
  bool right = dept != nullptr;
  for (int i = 0; i < 20000; i++) {
    const long long t0 = Zem_Wait_Now_Ms();
    std::u16string name;
    TDict* d = Dict_Client_List()->Get_Dict("dept", 1);
    right = right && d && d->Get_Name(u"B", &name) && name == u"部门乙";
    worst = std::max(worst, Zem_Wait_Now_Ms() - t0);
  }
  if (load) {
    kill(std::stoi(pid), SIGCONT);
    loader.join();
    Dict_Client_List()->Clear();
  }
  Check(right, "the look-ups found their names");
  return static_cast<double>(worst);
}

void BM_Lookup_Idle(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) Keep("lookup idle", std::max(0.05, Slowest_Lookup(false)) / 1e3);
}

void BM_Lookup_While_Another_Loads(benchmark::State& state) {
  if (!Ready(state)) return;
  Pub_Para_Put_Int(u"db_statement_timeout", 2);
  for (auto _ : state) Keep("lookup loading", std::max(0.05, Slowest_Lookup(true)) / 1e3);
  Pub_Para_Put_Int(u"db_statement_timeout", 30);
}

BENCHMARK(BM_Timer_Idle)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Timer_Stalled_Statement)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Cancel_Libpq)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Cancel_From_Box)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Cancel_From_Box_Stopped_Backend)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lookup_Idle)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lookup_While_Another_Loads)->Iterations(1)->Unit(benchmark::kMillisecond);

void Print(const zem_bench::Summary&) {
  using zem_bench::Fig;
  using zem_bench::Line;
  // A timer exactly on time counts as 1 ms late, so that the ratio stays readable.
  Line("10 ms timer's worst lateness, statement stalled 5 s", Fig("timer stalled"), "thread idle",
       Fig("timer idle"), "<= 50 ms");
  Line("取消 to the call's return, the server cancels", Fig("cancel"), "bare libpq cancel", Fig("cancel libpq"),
       "<= 200 ms");
  Line("取消 to the call's return, backend stopped", Fig("cancel stopped"), "bare libpq cancel",
       Fig("cancel libpq"), "<= 200 ms");
  Line("slowest dictionary look-up while another loads from a stopped backend", Fig("lookup loading"),
       "nothing loading", Fig("lookup idle"), "<= 50 ms");
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  Zem_Host_Register_Wait();
  const int rc = zem_bench::Run(argc, argv, Print);
  Cleanup();
  return rc;
}
