// The anchor of the start-up figure: a bare Qt program that opens the demo's SQLite file and shows its
// vouchers in a QTableView, the window as large as the demo's. It chooses a face for Chinese text as the
// demo does. With ZEM_FIRST_PAINT set it prints "first paint <seconds>" (the system's monotonic clock)
// once the window has painted for the first time, and quits, as the demo does.
// Usage: bench_start_anchor DATABASE
#include <QApplication>
#include <QFontDatabase>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlTableModel>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

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

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DATABASE\n", argv[0]);
    return 2;
  }
  const QStringList families = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
  for (const QString& f : {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")}) {
    if (families.contains(f)) {
      app.setFont(QFont(f, 10));
      break;
    }
  }
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
  db.setDatabaseName(QString::fromLocal8Bit(argv[1]));
  if (!db.open()) {
    std::fprintf(stderr, "cannot open %s: %s\n", argv[1], db.lastError().text().toUtf8().constData());
    return 1;
  }
  QSqlTableModel model;
  model.setTable(QStringLiteral("vouchers"));
  if (!model.select() || model.rowCount() == 0) {
    std::fprintf(stderr, "no vouchers in %s\n", argv[1]);
    return 1;
  }
  QTableView view;
  view.setModel(&model);
  view.setWindowTitle(QStringLiteral("vouchers"));
  view.resize(1000, 860);
  if (std::getenv("ZEM_FIRST_PAINT")) new First_Paint(&view);
  view.show();
  return app.exec();
}
