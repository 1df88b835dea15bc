// Zem_Pack_Start as an application calls it, each case in a process of its own (the start binds the
// registry and fills the session pool once per process): what it says, and what works afterwards.
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include <zem_pack/zem_pack.h>

#include "controls/controls_test_app.h"

namespace {

TEST(ZemPackStart, EachStepComesUpOrSaysWhy) {
  ASSERT_NE(std::getenv("ZEM_PG_CONNINFO"), nullptr) << "start a server with tools/pg-test-cluster.sh (run-tests.sh does)";
  using Opt = Zem_Start_Options;  // the application's options; the start's result:
  using Res = Zem_Start_Result;
  // failed: the result's failures, each also in the log; check: what works afterwards
  struct Row { const char* name; std::function<void(Opt&, QString)> set; QStringList failed; std::function<bool(Res&)> check; } rows[] = {
      {"SQLite in a new folder (a \"=\" in its path), a home path, the defaults", [](Opt& o, QString d) {
         o.database = d + "/data/a=1.db";
         o.home_path = d + "/home";
       }, {}, [](Res& r) { return r.shared_registry && r.host_functions == 29 && TSQLCA().Select(u"select 1") == 0; }},
      {"no host defaults", [](Opt& o, QString) { o.host_defaults = false; }, {},
       [](Res& r) { return r.host_functions == 0 && !Get_Pub_Ptr(kPdu_Code_Select); }},
      {"a library folder without the registry and the drivers", [](Opt& o, QString d) { o.library_dir = o.database = d; },
       {"holds no kdm_pub_ptr.so", "kdm_pub_ptr.so was not loaded", "the driver zem_drv_sqlite cannot be loaded"},
       [](Res& r) { return r.host_functions == 29; }},
      {"a server nobody answers on; its password is not told",
       [](Opt& o, QString) { o.database = "host=127.0.0.1 port=1 dbname=app password=Secret9"; },
       {"password=*** cannot be opened"}, [](Res& r) { return r.driver == "zem_drv_pg"; }},
      {"PostgreSQL, two sessions", [](Opt& o, QString) {
         o.database = std::getenv("ZEM_PG_CONNINFO");
         o.sessions = 2;
       }, {}, [](Res&) { return TSQLCA().Select(u"select 1") == 0 && Db_Connect_Mgr()->Count() == 2; }},
  };
  for (Row& r : rows) {
    SCOPED_TRACE(r.name);
    ZEM_IN_CHILD({
      controlsTestApp();  // TARVOK_DLL_PATH: the test binary's folder, where the libraries are
      QTemporaryDir dir;
      // Nothing may bind the registry before the start: its log goes to a file, read afterwards.
      setenv("ZEM_LOG_FILE", qPrintable(dir.filePath("log")), 1);
      Opt options;
      r.set(options, dir.path());
      Res res = Zem_Pack_Start(options);
      QFile log(dir.filePath("log"));
      const QString logged = log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
      bool told = res.ok == r.failed.isEmpty() && res.failed.size() == r.failed.size() && !logged.contains("Secret9");
      for (int i = 0; i < r.failed.size() && told; ++i)
        told = res.failed[i].contains(r.failed[i]) && logged.contains("zem_pack start: " + res.failed[i]);
      if (told && r.check(res)) return 0;
      std::fprintf(stderr, "said: %s\nlog: %s\n", qPrintable(res.failed.join(" / ")), qPrintable(logged));
      return 1;
    });
  }
}

}  // namespace
