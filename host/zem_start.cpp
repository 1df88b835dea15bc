// Zem_Pack_Start: the package's start-up steps in one call, each failure named.
#include "host/zem_start.h"

#include <dlfcn.h>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdlib>

#include "core/data/db_connect.h"
#include "core/data/dbdata.h"
#include "core/data/para.h"
#include "frame/log_mgr.h"
#include "frame/pub_ptr.h"
#include "frame/startup/zem_pack.h"
#include "frame/zem_units.h"
#include "host/zem_host.h"

namespace {

// The folder of the library that holds Init_Tfa (libzem_pack.so for an installed host).
QString Package_Dir() {
  Dl_info info;
  if (!dladdr(reinterpret_cast<void*>(&Init_Tfa), &info) || !info.dli_fname) return QString();
  return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath();
}

// A PostgreSQL connection string rather than a file: a URI, or libpq's key=value form starting with a
// keyword ("host=...", "dbname = ..."); a file path with "=" further on ("/data/a=1.db") stays a file.
bool Is_Conninfo(const QString& db) {
  static const QRegularExpression kKeyword(QStringLiteral("^\\s*[a-z_]+\\s*="));
  return db.startsWith(QLatin1String("postgresql://")) || db.startsWith(QLatin1String("postgres://")) ||
         kKeyword.match(db).hasMatch();
}

// The database as the result and the log name it: a password in a connection string left out.
QString Shown_Database(QString db) {
  db.replace(QRegularExpression(QStringLiteral("password\\s*=\\s*('[^']*'|\\S+)")), QStringLiteral("password=***"));
  db.replace(QRegularExpression(QStringLiteral("(://[^:/@]*):[^@]*@")), QStringLiteral("\\1:***@"));
  return db;
}

}  // namespace

Zem_Start_Result Zem_Pack_Start(const Zem_Start_Options& options) {
  Zem_Start_Result r;
  auto fail = [&r](const QString& what) { r.failed << what; };

  // Where the registry and driver libraries are, before anything binds to the registry.
  QString dir = options.library_dir;
  if (dir.isEmpty() && !std::getenv("TARVOK_DLL_PATH")) {
    const QString own = Package_Dir();
    if (QFileInfo::exists(own + QStringLiteral("/kdm_pub_ptr.so"))) dir = own;
  }
  if (!dir.isEmpty()) setenv("TARVOK_DLL_PATH", QDir(dir).absolutePath().toLocal8Bit().constData(), 1);
  r.library_dir = QString::fromLocal8Bit(std::getenv("TARVOK_DLL_PATH"));
  if (!r.library_dir.isEmpty() && !QFileInfo::exists(r.library_dir + QStringLiteral("/kdm_pub_ptr.so")))
    fail(QStringLiteral("library folder %1 holds no kdm_pub_ptr.so").arg(r.library_dir));

  Initialize();
  Init_Tfa();
  r.shared_registry = Pub_Ptr_Is_Shared();
  if (!r.shared_registry)
    fail(QStringLiteral("the registry library kdm_pub_ptr.so was not loaded: this module keeps its managers to itself"));

  if (!options.home_path.isEmpty()) {
    const QString home = QDir(options.home_path).absolutePath();
    if (!QDir().mkpath(home)) fail(QStringLiteral("home path %1 cannot be made").arg(home));
    Pub_Para_Put_WStr(u"app_home_path", reinterpret_cast<const wchar16*>(home.utf16()));
  }

  if (options.host_defaults) {
    r.host_functions = Zem_Host_Register_Defaults();
    if (r.host_functions <= 0) fail(QStringLiteral("no host function could be registered"));
  }

  if (!options.database.isEmpty()) {
    TDb_Config cfg;
    const bool pg = Is_Conninfo(options.database);
    cfg.driver = pg ? "zem_drv_pg" : "zem_drv_sqlite";
    cfg.text[0] = (pg ? options.database : QFileInfo(options.database).absoluteFilePath()).toStdU16String();
    cfg.count = options.sessions > 0 ? options.sessions : 1;
    r.driver = QString::fromLatin1(cfg.driver.c_str());
    // One connection made and closed at once, so that a database that cannot be reached is told now,
    // not at the first statement.
    TDb_Connect probe;
    DBDataMgr ds;
    if (!pg) QDir().mkpath(QFileInfo(options.database).absolutePath());  // a new file's folder too
    if (!probe.Set_Config(cfg)) {
      fail(QStringLiteral("the driver %1 cannot be loaded from %2").arg(r.driver, r.library_dir));
    } else if (!probe.Connect(&ds)) {
      fail(QStringLiteral("database %1 cannot be opened: %2")
               .arg(Shown_Database(options.database), QString::fromUtf16(ds.Get_Sqlmsg())));
    } else {
      probe.Disconnect(&ds);
      if (!Db_Connect_Mgr()->Add_Config(cfg))
        fail(QStringLiteral("the sessions of %1 cannot be made").arg(Shown_Database(options.database)));
    }
  }
  // Written at the end, when the log goes where the start-up sent it (ZEM_LOG_FILE).
  for (const QString& f : r.failed) Log_Printf("zem_pack start: %s\n", f.toUtf8().constData());
  r.ok = r.failed.isEmpty();
  return r;
}
