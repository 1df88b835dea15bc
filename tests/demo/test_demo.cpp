// The demo host's messages: a refused connection told in the database's own words, and status bar
// panels that show their texts whole.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <unistd.h>

#include "controls/inputs/Mstatusbar.h"
#include "demo/demo_db.h"
#include "demo/demo_window.h"

// The demo tests' application, made once per process (also by the voucher scenario).
void Demo_Test_App() {
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    setenv("TARVOK_DLL_PATH", QFileInfo(QString::fromUtf8(path, n > 0 ? int(n) : 0)).absolutePath().toUtf8(), 0);
    static int argc = 1;
    static char name[] = "test_demo";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  (void)app;
}

namespace {

void App() { Demo_Test_App(); }

TEST(DemoMessages, ARefusedConnectionSaysWhy) {
  App();
  const QString pg = QString::fromUtf8(std::getenv("ZEM_PG_CONNINFO"));
  ASSERT_FALSE(pg.isEmpty()) << "ZEM_PG_CONNINFO is not set (tools/run-tests.sh sets it)";
  QTemporaryDir dir;
  QDir(dir.path()).mkpath(QStringLiteral("taken/zem_demo.db"));  // a folder where the file should be
  struct Case {
    const char* name;
    QString home, pg;
    QString says;
  };
  const Case cases[] = {
      {"no such database", QString(), pg + QStringLiteral(" dbname=zem_no_such_db"),
       QStringLiteral("database \"zem_no_such_db\" does not exist")},
      {"nothing listens, password hidden", QString(),
       QStringLiteral("host=127.0.0.1 port=1 dbname=x password=secret connect_timeout=5"),
       QStringLiteral("Connection refused")},
      {"SQLite file cannot be opened", dir.filePath(QStringLiteral("taken")), QString(),
       QStringLiteral("unable to open database file")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DemoDb db;
    EXPECT_EQ(db.open(c.home, c.pg), 0);
    EXPECT_TRUE(db.error().contains(c.says)) << db.error().toStdString();
    EXPECT_FALSE(db.error().contains(QStringLiteral("secret")));
  }
}

TEST(DemoMessages, StatusPanelsShowTheirTextsWhole) {
  App();
  QTemporaryDir home;
  DemoDb db;
  ASSERT_EQ(db.open(home.path(), QString()), 1) << db.error().toStdString();
  ASSERT_EQ(db.ensureSample(), 1) << db.error().toStdString();
  DemoWindow demo(&db);
  ASSERT_NE(demo.window(), nullptr) << demo.error().toStdString();
  auto* bar = demo.window()->findChild<MStatusBar*>(QStringLiteral("statusBar"));
  ASSERT_NE(bar, nullptr);
  demo.window()->show();
  const QString location = QString::fromUtf16(u"数据库：") + db.location();
  for (int width : {1600, 700}) {
    SCOPED_TRACE(width);
    demo.window()->resize(width, 700);
    QApplication::processEvents();
    const QImage image = bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb barColour = image.pixel(bar->PanelRect(0).Left + 1, 2);
    for (int i = 0; i < bar->Panels()->Count(); i++) {
      SCOPED_TRACE(i);
      // The text's ink lies inside its panel, clear of both edges: nothing of it is clipped.
      const TRect r = bar->PanelRect(i);
      int left = -1, right = -1;
      for (int x = r.Left; x < r.Right; x++)
        for (int y = r.Top; y < r.Bottom; y++)
          if (image.pixel(x, y) != barColour) {
            if (left < 0) left = x;
            right = x;
          }
      ASSERT_GE(left, 0);
      EXPECT_GE(left, r.Left + 2);
      EXPECT_LE(right, r.Right - 3);
    }
    // The location is the one to give way, and only when the bar is too narrow.
    EXPECT_EQ(bar->Panels()->Items(0)->Text() == location, width == 1600);
  }
}

}  // namespace
