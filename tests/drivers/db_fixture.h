// Shared by the database tests: a pool configured for one of the two bundled drivers. SQLite runs on
// a file in a fresh temporary directory; PostgreSQL on the server named by ZEM_PG_CONNINFO, which the
// test script sets (tools/run-tests.sh). A missing variable fails the PostgreSQL tests, never skips them.
#pragma once
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/data/db_connect.h"
#include "core/data/sqlca.h"
#include "frame/log_mgr.h"

namespace zem_test {

inline std::u16string U(const std::string& utf8) {
  std::u16string w(utf8.size() + 1, u'\0');
  int n = Zem_MB_To_W(ZEM_CP_UTF8, utf8.data(), static_cast<int>(utf8.size()), &w[0], static_cast<int>(w.size()));
  w.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return w;
}

inline std::string Utf8(const wchar16* w) { return Zem_W_To_Utf8(w); }

// The bytes of a file ("" when it cannot be read).
inline std::string Read(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Keeps the framework log's last lines for the duration of a test.
struct Log_Capture {
  Log_Capture() {
    Log_Mgr()->Set_Keep(0);  // drops what earlier tests left
    Log_Mgr()->Set_Keep(400);
  }
  ~Log_Capture() { Log_Mgr()->Set_Keep(0); }
  std::string Text() const { return Log_Mgr()->Last_Lines(); }
  bool Has(const std::string& s) const { return Text().find(s) != std::string::npos; }
};

// Makes the current area of q the rows of table under these field names (a null text: no value).
inline void Fill_Area(TSQLCA& q, const char16_t* table, std::vector<const char16_t*> fields,
                      std::vector<std::vector<const char16_t*>> rows) {
  q.Set_Field_Count(static_cast<int>(fields.size()));
  for (size_t i = 0; i < fields.size(); i++) q.Set_Field_Name(static_cast<int>(i), fields[i]);
  if (table) q.Set_Table_Name(table);
  for (const auto& row : rows) {
    q.Add_Row();
    for (size_t i = 0; i < row.size(); i++)
      if (row[i]) q.Set_Value(static_cast<int>(i), row[i]);
  }
}

// The driver libraries lie beside the test binary; ctest sets TARVOK_DLL_PATH, a direct run may not.
inline void Ensure_Dll_Path() {
  if (std::getenv("TARVOK_DLL_PATH")) return;
  std::string exe = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
  setenv("TARVOK_DLL_PATH", exe.c_str(), 1);
}

// Runs one statement on a bare libpq connection; "" or the server's message.
inline std::string Pg_Admin(const char* conninfo, const std::string& sql) {
  PGconn* c = PQconnectdb(conninfo);
  std::string err;
  if (PQstatus(c) != CONNECTION_OK) {
    err = PQerrorMessage(c);
  } else {
    PGresult* r = PQexec(c, sql.c_str());
    if (PQresultStatus(r) != PGRES_COMMAND_OK) err = PQresultErrorMessage(r);
    PQclear(r);
  }
  PQfinish(c);
  return err;
}

// Fills cfg for the backend ("sqlite" or "pg"); false with *why when it cannot be run.
inline bool Config_For(const std::string& backend, const std::string& dir, TDb_Config* cfg, std::string* why) {
  Ensure_Dll_Path();
  *cfg = TDb_Config();
  cfg->count = 2;
  if (backend == "sqlite") {
    cfg->driver = "zem_drv_sqlite";
    cfg->text[0] = U(dir + "/test.db");
    return true;
  }
  const char* conninfo = std::getenv("ZEM_PG_CONNINFO");
  if (!conninfo || !*conninfo) {
    *why = "ZEM_PG_CONNINFO is not set: start a server with tools/pg-test-cluster.sh start DIR and export "
           "its connection string (tools/run-tests.sh does this)";
    return false;
  }
  cfg->driver = "zem_drv_pg";
  cfg->text[0] = U(conninfo);
  return true;
}

// Tests run in parallel processes against one server: each PostgreSQL test works in a schema of its
// own, made here and dropped by Drop_Schema. The sessions find it first on their search path.
inline bool Own_Schema(TDb_Config* cfg, std::string* schema, std::string* why) {
  static int n = 0;
  const char* conninfo = std::getenv("ZEM_PG_CONNINFO");
  *schema = "zt_" + std::to_string(getpid()) + "_" + std::to_string(++n);
  *why = Pg_Admin(conninfo, "create schema " + *schema);
  if (!why->empty()) return false;
  cfg->text[0] = U(std::string(conninfo) + " options='-c search_path=" + *schema + "'");
  return true;
}

inline void Drop_Schema(const std::string& schema) {
  if (!schema.empty()) Pg_Admin(std::getenv("ZEM_PG_CONNINFO"), "drop schema " + schema + " cascade");
}

class Db_Test : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zem-sqlca-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    std::string why;
    ASSERT_TRUE(Config_For(GetParam(), dir_, &cfg_, &why)) << why;
    if (Pg()) {
      ASSERT_TRUE(Own_Schema(&cfg_, &schema_, &why)) << why;
    }
    Db_Connect_Mgr()->Clear();
    ASSERT_TRUE(Db_Connect_Mgr()->Add_Config(cfg_));
  }
  void TearDown() override {
    Db_Connect_Mgr()->Clear();
    Drop_Schema(schema_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  bool Pg() const { return GetParam() == "pg"; }

  // Runs statements that must succeed, then commits.
  void Ok(TSQLCA& q, std::initializer_list<const char16_t*> sqls) {
    for (const char16_t* s : sqls) ASSERT_EQ(q.Exec(s), 0) << Utf8(s) << ": " << Utf8(q.Get_Error_Msg());
    ASSERT_EQ(q.Commit(), 0) << Utf8(q.Get_Error_Msg());
  }

  std::string dir_;
  std::string schema_;  // PostgreSQL only
  TDb_Config cfg_;
};

}  // namespace zem_test
