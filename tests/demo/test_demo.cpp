// The demo host's messages: a refused connection told in the database's own words, and status bar
// panels that show their texts whole.
#include <QDir>
#include <QTemporaryDir>

#include "controls/controls_test_app.h"
#include "controls/inputs/Mstatusbar.h"
#include "demo/demo_db.h"
#include "demo/demo_window.h"

// The demo tests' application, made once per process (also by the voucher scenario).
void Demo_Test_App() { controlsTestApp(); }

namespace {

TEST(DemoMessages, ARefusedConnectionSaysWhy) {
  controlsTestApp();
  const QString pg = QString::fromUtf8(std::getenv("ZEM_PG_CONNINFO"));
  ASSERT_FALSE(pg.isEmpty()) << "ZEM_PG_CONNINFO is not set (tools/run-tests.sh sets it)";
  QTemporaryDir dir;
  QDir(dir.path()).mkpath(QStringLiteral("taken/zem_demo.db"));  // a folder where the file should be
  struct Case { const char* name; QString home, pg, says; };
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
    EXPECT_TRUE(db.error().contains(c.says) && !db.error().contains(QStringLiteral("secret"))) << db.error().toStdString();
  }
}

TEST(DemoMessages, StatusPanelsShowTheirTextsWholeOrCutWithAMark) {
  controlsTestApp();
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
  const QString unknown = QString::fromUtf16(u"没有这个供应商编码：S00312");
  const QString long_one = QString::fromUtf16(u"凭证未保存：无法核对供应商 S001：").repeated(8);
  // What each panel then shows: whole ("="), cut with … at its end ("…"), or shortened in the middle.
  struct Case { const char* name; int width; QString message; const char* shows; };
  const Case cases[] = {
      {"a short message, a wide window", 1600, unknown, "=|=|="},
      {"a long message is cut, the database keeps its room", 1600, long_one, "=|…|="},
      {"a narrow window shortens the database's location, leaving the message a few words", 700,
       QString::fromUtf16(u"凭证已刷新"), "middle|=|="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    demo.window()->resize(c.width, 700);
    demo.note(c.message);
    QApplication::processEvents();
    const QString wholes[] = {location, c.message, bar->Panels()->Items(2)->Text()};
    QStringList shows;
    for (int i = 0; i < 3; i++) {
      const QString t = bar->Panels()->Items(i)->Text();
      shows << (t == wholes[i] ? "=" : t.endsWith(QChar(0x2026)) && wholes[i].startsWith(t.chopped(1)) ? "…" : t.contains(QChar(0x2026)) ? "middle" : t);
    }
    EXPECT_EQ(shows.join('|').toStdString(), c.shows);
    EXPECT_EQ(Demo_Status_Message(bar), c.message) << "the whole text, for the tooltip";
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
            left = left < 0 ? x : left;
            right = x;
          }
      ASSERT_GE(left, 0);
      EXPECT_TRUE(left >= r.Left + 2 && right <= r.Right - 3) << left << ".." << right << " in " << r.Left << ".." << r.Right;
    }
  }
}

}  // namespace
