// Zem_Pack_Start as an application calls it: each case in a process of its own (the start binds the
// registry, sets the environment and fills the session pool once per process), told by its result and
// by the framework log, then checked by what works afterwards.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "controls/controls_test_app.h"
#include "core/data/db_connect.h"
#include "core/data/para.h"
#include "core/data/sqlca.h"
#include "frame/host_funcs.h"
#include "frame/log_mgr.h"
#include "frame/pub_ptr.h"
#include "host/zem_start.h"

namespace {

// What a case leaves to check: the result, the log, the scratch folder.
struct Started {
  Zem_Start_Result result;
  QString log;
  QString dir;
  bool Failed_With(const char* text) const {
    for (const QString& f : result.failed)
      if (f.contains(QLatin1String(text)) && log.contains(QLatin1String("zem_pack start: ") + f)) return true;
    return false;
  }
};

TEST(ZemPackStart, EachStepComesUpOrSaysWhy) {
  // options: given the scratch folder; check: true when the process is as the case expects
  struct Row {
    const char* name;
    std::function<void(Zem_Start_Options&, const QString&)> options;
    std::function<bool(const Started&)> check;
  } rows[] = {
      {"SQLite, a home path, the defaults: everything up and usable",
       [](Zem_Start_Options& o, const QString& d) {
         o.database = d + "/data/app.db";
         o.home_path = d + "/home/cache";
       },
       [](const Started& s) {
         wchar16 home[512] = {};
         Pub_Para_Get_WStr(u"app_home_path", home, 512);
         TSQLCA q;
         return s.result.ok && s.result.failed.isEmpty() && s.result.shared_registry && s.result.host_functions == 27 &&
                s.result.driver == "zem_drv_sqlite" && QFile::exists(s.dir + "/data/app.db") &&
                QString::fromUtf16(home) == s.dir + "/home/cache" && QDir(s.dir + "/home/cache").exists() &&
                Get_Pub_Ptr(kPdu_Code_Select) != nullptr && q.Select(u"select 1") == 0 && !s.log.contains("zem_pack start");
       }},
      {"no host defaults: no dialog behind the host functions",
       [](Zem_Start_Options& o, const QString&) { o.host_defaults = false; },
       [](const Started& s) {
         return s.result.ok && s.result.host_functions == 0 && Get_Pub_Ptr(kPdu_Code_Select) == nullptr;
       }},
      {"a library folder without the registry and the drivers",
       [](Zem_Start_Options& o, const QString& d) {
         o.library_dir = d;
         o.database = d + "/app.db";
       },
       [](const Started& s) {
         return !s.result.ok && s.result.failed.size() == 3 && s.Failed_With("holds no kdm_pub_ptr.so") &&
                s.Failed_With("kdm_pub_ptr.so was not loaded") && s.Failed_With("the driver zem_drv_sqlite cannot be loaded") &&
                s.result.host_functions == 27;
       }},
      {"a PostgreSQL server nobody answers on: its password stays out of the message",
       [](Zem_Start_Options& o, const QString&) {
         o.database = "host=127.0.0.1 port=1 dbname=app connect_timeout=3 password=Secret9";
       },
       [](const Started& s) {
         return !s.result.ok && s.result.driver == "zem_drv_pg" && s.Failed_With("cannot be opened") &&
                !s.log.contains("Secret9") && s.log.contains("password=***");
       }},
      {"a home path that cannot be made",
       [](Zem_Start_Options& o, const QString&) { o.home_path = "/proc/self/no/such"; },
       [](const Started& s) { return !s.result.ok && s.result.failed.size() == 1 && s.Failed_With("cannot be made"); }},
      {"PostgreSQL, two sessions",
       [](Zem_Start_Options& o, const QString&) {
         o.database = QString::fromLocal8Bit(std::getenv("ZEM_PG_CONNINFO"));
         o.sessions = 2;
       },
       [](const Started& s) {
         TSQLCA q;
         return s.result.ok && s.result.driver == "zem_drv_pg" && Db_Connect_Mgr()->Count() == 2 &&
                q.Select(u"select 1") == 0;
       }},
  };
  ASSERT_NE(std::getenv("ZEM_PG_CONNINFO"), nullptr)
      << "ZEM_PG_CONNINFO is not set: start a server with tools/pg-test-cluster.sh start DIR (tools/run-tests.sh does)";
  for (Row& r : rows) {
    SCOPED_TRACE(r.name);
    ZEM_IN_CHILD({
      controlsTestApp();  // TARVOK_DLL_PATH: the folder of the test binary, where the libraries are
      QTemporaryDir scratch;
      // Nothing may touch the registry before the start (it binds once): the log goes to a file.
      setenv("ZEM_LOG_FILE", qPrintable(scratch.filePath("log.txt")), 1);
      Zem_Start_Options options;
      r.options(options, scratch.path());
      Started s;
      s.result = Zem_Pack_Start(options);
      QFile log(scratch.filePath("log.txt"));
      if (log.open(QIODevice::ReadOnly)) s.log = QString::fromUtf8(log.readAll());
      s.dir = scratch.path();
      if (r.check(s)) return 0;
      std::fprintf(stderr, "failed: %s\nlog: %s\n", qPrintable(s.result.failed.join(" / ")), qPrintable(s.log));
      return 1;
    });
  }
}

}  // namespace
