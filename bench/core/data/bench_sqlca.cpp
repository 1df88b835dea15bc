// Query-area speed, each figure beside an anchor measured in the same run:
//   100,000 rows x 5 columns from SQLite into a query area (zem_drv_sqlite.so through the data-operation
//   table) vs a bare sqlite3_step loop that copies the same columns into std::u16string vectors;
//   the same from PostgreSQL (zem_drv_pg.so) vs a bare libpq loop. Target: at most 1.5x each.
//   PostgreSQL round trips, where the driver waits for the server against a bound (asynchronous libpq,
//   the socket polled with a deadline): 2,000 short statements through Exec vs PQexec, the two taking
//   turns statement by statement (with this process's CPU time for them beside), and a batch insert of
//   20,000 rows vs a bare PQexecPrepared loop. Target: at most 1.5x each; seven rounds, the best of each
//   side compared.
// Each side reads once before it is timed: the same database file or table, its pages in the system's
// cache and the session's, the heap warm.
// The PostgreSQL half runs on the server named by ZEM_PG_CONNINFO; without it the program says that
// half was not run. Every benchmark checks its answer (row count and sample values) and fails the run
// when it is wrong. SQLite figures are CPU time (all work is in this process, and the machine is
// shared); PostgreSQL figures are wall time, since half of the work happens in the server.
#include "bench/bench_summary.h"

#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/data/db_connect.h"
#include "core/data/sqlca.h"
#include "core/text/code_page.h"

using namespace zem_bench;

namespace {

const int kRows = 100000;
const char kSelect[] = "select id, code, name, amt, made from bench_q order by id";
const char16_t kSelectW[] = u"select id, code, name, amt, made from bench_q order by id";

std::u16string Utf16(const char* s, int n) {
  std::u16string w(static_cast<size_t>(n), u'\0');
  int m = n > 0 ? Zem_MB_To_W(ZEM_CP_UTF8, s, n, &w[0], n) : 0;
  w.resize(static_cast<size_t>(m));
  return w;
}

// The expected values of row i (0-based): the same generator fills both databases.
std::u16string Expected_Name(int i) {
  static const char16_t han[] = u"张王李赵刘陈杨黄周吴徐孙胡朱高林何郭马罗";
  std::u16string s = u"客户";
  s += han[i % 20];
  s += han[(i / 20) % 20];
  return s;
}

struct Columns {
  std::vector<std::u16string> c[5];
  void Reserve() {
    for (auto& v : c) v.reserve(kRows);
  }
};

bool Check(const Columns& cols) {
  if (cols.c[0].size() != static_cast<size_t>(kRows)) return false;
  for (int i = 0; i < kRows; i += 7919) {
    if (cols.c[2][i] != Expected_Name(i)) return false;
    if (cols.c[0][i] != Utf16(std::to_string(i + 1).c_str(), static_cast<int>(std::to_string(i + 1).size())))
      return false;
  }
  return true;
}

bool Check(TSQLCA& q) {
  if (q.Get_Row_Count() != kRows || q.Get_Field_Count() != 5) return false;
  for (int i = 0; i < kRows; i += 7919) {
    if (q.Get_Row_Value(i, 2) != Expected_Name(i)) return false;
    std::string id = std::to_string(i + 1);
    if (q.Get_Row_Value(i, 0) != Utf16(id.c_str(), static_cast<int>(id.size()))) return false;
  }
  return true;
}

std::string Utf8(const std::u16string& w) {
  std::string s(w.size() * 3, '\0');
  int n = Zem_W_To_MB(ZEM_CP_UTF8, w.data(), static_cast<int>(w.size()), &s[0], static_cast<int>(s.size()));
  s.resize(static_cast<size_t>(n > 0 ? n : 0));
  return s;
}

// ---------------------------------------------------------------- SQLite

struct Sqlite_Db {
  std::string dir, path;
  bool ok = false;
  Sqlite_Db() {
    char tmpl[] = "/tmp/zem-bench-sqlca-XXXXXX";
    if (!mkdtemp(tmpl)) return;
    dir = tmpl;
    path = dir + "/bench.db";
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return;
    sqlite3_exec(db,
                 "create table bench_q(id integer, code varchar(20), name varchar(40), amt numeric(12,2), made date);"
                 "begin",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "insert into bench_q values(?,?,?,?,?)", -1, &st, nullptr);
    for (int i = 0; i < kRows; i++) {
      char code[32], amt[32], made[32];
      std::snprintf(code, sizeof code, "C%07d", i + 1);
      std::snprintf(amt, sizeof amt, "%d.%02d", (i * 37) % 100000, i % 100);
      std::snprintf(made, sizeof made, "20%02d-%02d-%02d", i % 27, 1 + i % 12, 1 + i % 28);
      std::string name = Utf8(Expected_Name(i));
      sqlite3_bind_int(st, 1, i + 1);
      sqlite3_bind_text(st, 2, code, -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 3, name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 4, amt, -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 5, made, -1, SQLITE_TRANSIENT);
      sqlite3_step(st);
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    ok = sqlite3_exec(db, "commit", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
  }
  ~Sqlite_Db() {
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }
};

Sqlite_Db& Sqlite() {
  static Sqlite_Db d;
  return d;
}

// The pool holds one session of the chosen driver.
bool Use_Driver(const char* driver, const std::string& text1) {
  Db_Connect_Mgr()->Clear();
  TDb_Config cfg;
  cfg.driver = driver;
  cfg.text[0] = Utf16(text1.c_str(), static_cast<int>(text1.size()));
  // The many-rows warning of every read goes to a file beside the database, not between the figures.
  cfg.log_path = Sqlite().dir + "/sql.log";
  return Db_Connect_Mgr()->Add_Config(cfg) == 1;
}

void BM_Sqlite_Query_Area(benchmark::State& state) {
  if (!Sqlite().ok || !Use_Driver("zem_drv_sqlite", Sqlite().path)) {
    state.SkipWithError("no SQLite database or driver");
    return;
  }
  TSQLCA q;
  bool right = q.Exec(kSelectW) == 0;  // warm: the session's page cache, the heap
  for (auto _ : state) right = right && q.Exec(kSelectW) == 0;
  if (!right || !Check(q)) state.SkipWithError("the query area read other rows");
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_Sqlite_Anchor_Step(benchmark::State& state) {
  sqlite3* db = nullptr;
  if (!Sqlite().ok || sqlite3_open(Sqlite().path.c_str(), &db) != SQLITE_OK) {
    state.SkipWithError("no SQLite database");
    return;
  }
  Columns cols;
  auto read = [&] {
    cols = Columns();
    cols.Reserve();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, kSelect, -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) {
      for (int i = 0; i < 5; i++) {
        const char16_t* v = static_cast<const char16_t*>(sqlite3_column_text16(st, i));
        int n = sqlite3_column_bytes16(st, i) / 2;
        cols.c[i].emplace_back(v ? v : u"", v ? static_cast<size_t>(n) : 0);
      }
    }
    sqlite3_finalize(st);
  };
  read();  // warm, as the query area is
  for (auto _ : state) read();
  sqlite3_close(db);
  if (!Check(cols)) state.SkipWithError("the anchor read other rows");
  state.SetItemsProcessed(state.iterations() * kRows);
}

// ---------------------------------------------------------------- PostgreSQL

const char* Pg_Conninfo() {
  const char* c = std::getenv("ZEM_PG_CONNINFO");
  return c && *c ? c : nullptr;
}

// Runs statements on a bare connection; true when they all ran.
bool Pg_Admin_Ok(const std::string& sql) {
  PGconn* c = PQconnectdb(Pg_Conninfo());
  PGresult* r = PQstatus(c) == CONNECTION_OK ? PQexec(c, sql.c_str()) : nullptr;
  bool ok = r && PQresultStatus(r) == PGRES_COMMAND_OK;
  PQclear(r);
  PQfinish(c);
  return ok;
}

bool Pg_Fill() {
  static int state = 0;  // 0 not tried, 1 ready, 2 failed
  if (state) return state == 1;
  state = 2;
  PGconn* c = PQconnectdb(Pg_Conninfo());
  if (PQstatus(c) != CONNECTION_OK) {
    PQfinish(c);
    return false;
  }
  PQsetClientEncoding(c, "UTF8");
  std::string names = "{";
  for (int i = 0; i < 400; i++) names += (i ? "," : "") + Utf8(Expected_Name(i));
  names += "}";
  std::string sql =
      "drop table if exists bench_q;"
      "create table bench_q(id integer, code varchar(20), name varchar(40), amt numeric(12,2), made date);"
      "insert into bench_q select g, 'C' || lpad(g::text, 7, '0'), ('" + names + "'::text[])[((g - 1) % 400) + 1], "
      "(((g - 1) * 37) % 100000) + ((g - 1) % 100) / 100.0, date '2000-01-01' + (g % 9000) "
      "from generate_series(1, " + std::to_string(kRows) + ") g";
  PGresult* r = PQexec(c, sql.c_str());
  bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
  if (!ok) std::fprintf(stderr, "PostgreSQL fill failed: %s\n", PQresultErrorMessage(r));
  PQclear(r);
  PQfinish(c);
  state = ok ? 1 : 2;
  return ok;
}

void BM_Pg_Query_Area(benchmark::State& state) {
  if (!Pg_Fill() || !Use_Driver("zem_drv_pg", Pg_Conninfo())) {
    state.SkipWithError("no PostgreSQL table or driver");
    return;
  }
  TSQLCA q;
  bool right = q.Exec(kSelectW) == 0;  // warm, as the anchor is
  for (auto _ : state) right = right && q.Exec(kSelectW) == 0;
  if (!right || !Check(q)) state.SkipWithError("the query area read other rows");
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_Pg_Anchor_Libpq(benchmark::State& state) {
  PGconn* c = Pg_Fill() ? PQconnectdb(Pg_Conninfo()) : nullptr;
  if (!c || PQstatus(c) != CONNECTION_OK) {
    PQfinish(c);
    state.SkipWithError("no PostgreSQL table");
    return;
  }
  PQsetClientEncoding(c, "UTF8");
  Columns cols;
  auto read = [&] {
    cols = Columns();
    cols.Reserve();
    PGresult* r = PQexec(c, kSelect);
    const int n = PQntuples(r);
    for (int row = 0; row < n; row++) {
      for (int i = 0; i < 5; i++) cols.c[i].push_back(Utf16(PQgetvalue(r, row, i), PQgetlength(r, row, i)));
    }
    PQclear(r);
  };
  read();  // warm: the server's buffers, the heap
  for (auto _ : state) read();
  PQfinish(c);
  if (!Check(cols)) state.SkipWithError("the anchor read other rows");
  state.SetItemsProcessed(state.iterations() * kRows);
}

const int kShort = 2000;
const int kBatch = 20000;

double Now_Seconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The two sides take turns statement by statement, each on its own session, 2,000 statements each,
// and which side goes first changes every time (the session that waited through the other's statement
// answers later: of two bare sessions taking turns in one order, the first measured three times the
// second). A busy moment of the machine (the server shares it) then falls on both sides alike, where
// whole runs of each side in turn compared one quiet moment with another busy one. Kept: each side's
// wall time over its 2,000 statements, and the CPU time this process spent on them.
void BM_Pg_Short_Statements(benchmark::State& state) {
  PGconn* c = PQconnectdb(Pg_Conninfo());
  if (PQstatus(c) != CONNECTION_OK || !Use_Driver("zem_drv_pg", Pg_Conninfo())) {
    PQfinish(c);
    state.SkipWithError("no PostgreSQL server or driver");
    return;
  }
  TSQLCA q;
  bool right = q.Exec(u"select 1") == 0;  // both sessions warm
  PQclear(PQexec(c, "select 1"));
  // One statement of a side: its wall and CPU time added to the side's.
  auto one = [&](int side, double* wall, double* cpu) {
    const double c0 = Now_Seconds(CLOCK_THREAD_CPUTIME_ID), w0 = Now_Seconds(CLOCK_MONOTONIC);
    if (side == 0) {
      right = q.Exec(u"select 1") == 0 && q.Get_Value(0)[0] == u'1' && right;
    } else {
      PGresult* r = PQexec(c, "select 1");
      right = PQresultStatus(r) == PGRES_TUPLES_OK && PQgetvalue(r, 0, 0)[0] == '1' && right;
      PQclear(r);
    }
    const double w1 = Now_Seconds(CLOCK_MONOTONIC), c1 = Now_Seconds(CLOCK_THREAD_CPUTIME_ID);
    wall[side] += w1 - w0;
    cpu[side] += c1 - c0;
  };
  for (auto _ : state) {
    double wall[2] = {0, 0}, cpu[2] = {0, 0};
    for (int i = 0; i < kShort; i++) {
      one(i % 2, wall, cpu);
      one(1 - i % 2, wall, cpu);
    }
    Keep("short", wall[0]);
    Keep("short_anchor", wall[1]);
    Keep("short_cpu", cpu[0]);
    Keep("short_cpu_anchor", cpu[1]);
  }
  PQfinish(c);
  if (!right) state.SkipWithError("a statement failed");
}

bool Pg_Batch_Table() {
  return Pg_Admin_Ok("drop table if exists bench_b; create table bench_b(id integer, code varchar(20), name varchar(40))");
}

void BM_Pg_Batch_Insert(benchmark::State& state) {
  if (!Pg_Batch_Table() || !Use_Driver("zem_drv_pg", Pg_Conninfo())) {
    state.SkipWithError("no PostgreSQL table or driver");
    return;
  }
  TSQLCA q, rows;
  rows.Set_Field_Count(3);
  for (int f = 0; f < 3; f++) rows.Set_Field_Name(f, f == 0 ? u"id" : f == 1 ? u"code" : u"name");
  rows.Set_Table_Name(u"bench_b");
  for (int i = 0; i < kBatch; i++) {
    rows.Add_Row();
    std::string id = std::to_string(i + 1);
    rows.Set_Value(0, Utf16(id.c_str(), static_cast<int>(id.size())).c_str());
    rows.Set_Value(1, (u"C" + Utf16(id.c_str(), static_cast<int>(id.size()))).c_str());
    rows.Set_Value(2, Expected_Name(i).c_str());
  }
  bool right = true;
  for (auto _ : state) {
    right = right && rows.Batch_Insert() == 0 && rows.Get_Result_Int() == kBatch;
    right = right && q.Exec(u"select count(*) from bench_b") == 0 && q.Get_Value(0) == Utf16("20000", 5);
    q.Rollback();
  }
  if (!right) state.SkipWithError("the batch did not insert every row");
}

void BM_Pg_Anchor_Batch(benchmark::State& state) {
  PGconn* c = Pg_Batch_Table() ? PQconnectdb(Pg_Conninfo()) : nullptr;
  bool right = c && PQstatus(c) == CONNECTION_OK;
  if (right) PQsetClientEncoding(c, "UTF8");
  std::vector<std::string> names;
  for (int i = 0; i < kBatch; i++) names.push_back(Utf8(Expected_Name(i)));
  for (auto _ : state) {
    PQclear(PQexec(c, "begin"));
    PQclear(PQprepare(c, "", "insert into bench_b(id,code,name) values($1,$2,$3)", 3, nullptr));
    for (int i = 0; right && i < kBatch; i++) {
      std::string id = std::to_string(i + 1), code = "C" + id;
      const char* v[3] = {id.c_str(), code.c_str(), names[static_cast<size_t>(i)].c_str()};
      PGresult* r = PQexecPrepared(c, "", 3, v, nullptr, nullptr, 0);
      right = PQresultStatus(r) == PGRES_COMMAND_OK;
      PQclear(r);
    }
    PGresult* r = PQexec(c, "select count(*) from bench_b");
    right = right && std::string(PQgetvalue(r, 0, 0)) == "20000";
    PQclear(r);
    PQclear(PQexec(c, "rollback"));
  }
  PQfinish(c);
  if (!right) state.SkipWithError("the anchor did not insert every row");
}

// Each query area beside its bare loop, then the PostgreSQL round trips beside theirs.
void Print(const Summary& s) {
  auto area = [](const char* db, double a, double b, const char* what, const char* kind) {
    const std::string title = std::string(db) + ", 100,000 rows x 5 columns: query area";
    const std::string note = std::string("anchor, ") + kind + " time";
    Line(title.c_str(), a * 1e3, what, b * 1e3, "<= 1.5x", Form{"ms", 1, 2, note.c_str()});
  };
  area("SQLite", s.Cpu("BM_Sqlite_Query_Area"), s.Cpu("BM_Sqlite_Anchor_Step"), "bare sqlite3_step loop", "CPU");
  if (!Pg_Conninfo()) {
    std::printf("PostgreSQL half not run: ZEM_PG_CONNINFO is not set\n");
    return;
  }
  area("PostgreSQL", s.Real("BM_Pg_Query_Area"), s.Real("BM_Pg_Anchor_Libpq"), "bare libpq loop", "wall");
  const Form wall{"ms", 1, 2, "anchor, wall time"};
  Line("PostgreSQL, 2,000 short statements, taking turns with the anchor: Exec", Fig("short"), "bare PQexec",
       Fig("short_anchor"), "<= 1.5x", wall);
  Line("PostgreSQL, 2,000 short statements, this process's CPU: Exec", Fig("short_cpu"), "bare PQexec",
       Fig("short_cpu_anchor"), nullptr, {"ms", 1, 2, "anchor, CPU time"});
  Line("PostgreSQL, batch insert of 20,000 rows: Batch_Insert", s.Real("BM_Pg_Batch_Insert") * 1e3,
       "bare PQexecPrepared loop", s.Real("BM_Pg_Anchor_Batch") * 1e3, "<= 1.5x", wall);
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("TARVOK_DLL_PATH")) {
    std::string exe = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    setenv("TARVOK_DLL_PATH", exe.c_str(), 1);
  }
  benchmark::RegisterBenchmark("BM_Sqlite_Query_Area", BM_Sqlite_Query_Area)->Unit(benchmark::kMillisecond)->Iterations(5);
  benchmark::RegisterBenchmark("BM_Sqlite_Anchor_Step", BM_Sqlite_Anchor_Step)->Unit(benchmark::kMillisecond)->Iterations(5);
  if (Pg_Conninfo()) {
    benchmark::RegisterBenchmark("BM_Pg_Query_Area", BM_Pg_Query_Area)
        ->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
    benchmark::RegisterBenchmark("BM_Pg_Anchor_Libpq", BM_Pg_Anchor_Libpq)
        ->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
    for (auto b : {std::make_pair("BM_Pg_Short_Statements", BM_Pg_Short_Statements),
                   std::make_pair("BM_Pg_Batch_Insert", BM_Pg_Batch_Insert),
                   std::make_pair("BM_Pg_Anchor_Batch", BM_Pg_Anchor_Batch)})
      benchmark::RegisterBenchmark(b.first, b.second)
          ->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
  }
  // Round trips are timed against a server that shares the machine: seven rounds rather than five.
  const int rc = Run(argc, argv, Print, 7);
  Db_Connect_Mgr()->Clear();
  return rc;
}
