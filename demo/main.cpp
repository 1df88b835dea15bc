// zem_demo: the host application of the package.
//
// Usage: zem_demo [--home DIR] [--pg CONNINFO | --server ADDR:PORT [--ca FILE] [--token-file FILE]
//                  [--insecure]] [--screenshot FILE [--show WHAT]]
//   --home DIR         application home path (default: the "app_home_path" public parameter, else
//                      ~/.local/share/zem_demo); the SQLite sample database zem_demo.db lives there,
//                      and the dictionaries' cache files (dt/)
//   --pg CONNINFO      use a PostgreSQL server instead of the SQLite file
//   --server ADDR:PORT use an application server (zem_app_server with zem_demo_server.so) instead of a
//                      database: --ca names the authority of its certificate, --token-file a file whose
//                      first line is the token (or the environment variable ZEM_APP_SERVER_TOKEN holds
//                      it), --insecure talks plain text to a loopback address
//   --screenshot FILE  write a PNG of the window and exit 0 (for machines without a display)
//   --show WHAT        the picture to take instead of the window: a form or a control's dialog
//                      (demo/demo_shots.h; "--show list" names them)
// Exit code 1 when the database or the form cannot be opened.
// With ZEM_FIRST_PAINT set in the environment, the program prints "first paint <seconds>" (the
// system's monotonic clock) once its window has painted for the first time, and quits: the end mark
// of the start-up benchmark (bench/demo).
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QFontDatabase>
#include <QMainWindow>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "controls/grid/Mg.h"
#include "core/data/para.h"
#include "demo/demo_build.h"
#include "demo/demo_db.h"
#include "demo/demo_shots.h"
#include "demo/demo_window.h"
#include "frame/zem_units.h"

namespace {

QString Own_Dir() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return QStringLiteral(".");
  return QFileInfo(QString::fromLocal8Bit(path, static_cast<int>(n))).absolutePath();
}

// A face that draws Chinese text, when the system's default one lacks it.
void Choose_Font(QApplication& app) {
  const QStringList families = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
  for (const QString& f : {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")}) {
    if (families.contains(f)) {
      QFont font(f, 10);
      app.setFont(font);
      return;
    }
  }
}

// Tells the first paint of window (see the top) once the whole window has painted: the paint event
// of the window comes first, and its widgets paint in the same pass, before queued calls run.
class First_Paint : public QObject {
 public:
  explicit First_Paint(QWidget* window) : QObject(window) { window->installEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      watched->removeEventFilter(this);
      QTimer::singleShot(0, this, [] {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        std::printf("first paint %.6f\n", double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9);
        std::fflush(stdout);
        QApplication::quit();
      });
    }
    return false;
  }

 private:
  bool seen_ = false;
};

int Fail(const QString& why, bool quiet) {
  std::fprintf(stderr, "zem_demo: %s\n", why.toUtf8().constData());
  if (!quiet) QMessageBox::critical(nullptr, QStringLiteral("zem_demo"), why);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // The package finds the registry and driver libraries through this variable: beside the program.
  setenv("TARVOK_DLL_PATH", Own_Dir().toLocal8Bit().constData(), 0);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("zem_demo"));
  QApplication::setOrganizationName(QStringLiteral("zem_pack"));
  QCommandLineParser args;
  args.addHelpOption();
  args.addOption({QStringLiteral("home"), QStringLiteral("application home path"), QStringLiteral("DIR")});
  args.addOption({QStringLiteral("pg"), QStringLiteral("PostgreSQL connection string"), QStringLiteral("CONNINFO")});
  args.addOption({QStringLiteral("server"), QStringLiteral("application server (zem_app_server)"),
                  QStringLiteral("ADDR:PORT")});
  args.addOption({QStringLiteral("ca"), QStringLiteral("with --server: the authority of its certificate"),
                  QStringLiteral("FILE")});
  args.addOption({QStringLiteral("token-file"), QStringLiteral("with --server: the file holding the token"),
                  QStringLiteral("FILE")});
  args.addOption({QStringLiteral("insecure"), QStringLiteral("with --server: plain text, loopback only")});
  args.addOption({QStringLiteral("screenshot"), QStringLiteral("write a PNG of the window and exit"),
                  QStringLiteral("FILE")});
  args.addOption({QStringLiteral("show"), QStringLiteral("with --screenshot: the form or dialog to take"),
                  QStringLiteral("WHAT")});
  args.process(app);
  const QString shot = args.value(QStringLiteral("screenshot"));
  const QString show = args.value(QStringLiteral("show"));
  if (show == QLatin1String("list")) {
    int n = 0;
    const Demo_Shot* shots = Demo_Shots(&n);
    for (int i = 0; i < n; i++) std::printf("%-16s %s\n", shots[i].name, shots[i].what);
    return 0;
  }
  if (!show.isEmpty()) Demo_Shots_Fix_Clock();
  Choose_Font(app);

  const QString home = Demo_Start_Host(args.value(QStringLiteral("home")));

  DemoDb db;
  const QString server = args.value(QStringLiteral("server"));
  if (!server.isEmpty()) {
    QString token = QString::fromLocal8Bit(qgetenv("ZEM_APP_SERVER_TOKEN"));
    if (args.isSet(QStringLiteral("token-file"))) {
      QFile f(args.value(QStringLiteral("token-file")));
      if (!f.open(QIODevice::ReadOnly)) return Fail(QStringLiteral("cannot read the token file ") + f.fileName(), !shot.isEmpty());
      token = QString::fromUtf8(f.readLine()).trimmed();
    }
    if (!db.openServer(server, args.value(QStringLiteral("ca")), token, args.isSet(QStringLiteral("insecure"))))
      return Fail(db.error(), !shot.isEmpty());
  } else if (!db.open(home, args.value(QStringLiteral("pg")))) {
    return Fail(db.error(), !shot.isEmpty());
  }
  if (!db.ensureSample()) return Fail(QStringLiteral("cannot create the sample tables: ") + db.error(), !shot.isEmpty());
  if (!db.followChanges())
    std::fprintf(stderr, "zem_demo: other clerks' changes show only on 刷新: %s\n", db.error().toUtf8().constData());

  int rc = 0;
  {
    QString error;
    DemoParts demo = Demo_Build(&db, &error);
    if (!demo.window) return Fail(error, !shot.isEmpty());
    QMainWindow* window = demo.window->window();
    if (std::getenv("ZEM_FIRST_PAINT")) new First_Paint(window);
    window->show();
    window->activateWindow();  // its shortcuts (Ctrl+N, Ctrl+S) work from the first key
    // A host tells its grids when it showed them: header clicks in the first second are not taken.
    Pub_Para_Put_Int(u"grid_show_time", TMG::Tick_Count());
    if (!shot.isEmpty()) {
      QApplication::processEvents();
      const QString error = Demo_Take_Shot(window, show.isEmpty() ? QStringLiteral("window") : show, shot);
      if (!error.isEmpty()) return Fail(error, true);
      std::printf("zem_demo: window written to %s (database %s)\n", shot.toUtf8().constData(),
                  db.location().toUtf8().constData());
    } else {
      rc = app.exec();
    }
  }
  Finalize();
  return rc;
}
