// A clerk's voucher, keys and clicks only, on the demo's own window: Ctrl+N, the date typed into the
// date box, the supplier chosen in its search list, the department typed, the summary and the amount
// typed into the grid, Ctrl+S; then a saved voucher's amount changed and saved; the rows are in the
// database, and a window made anew over the same database shows them. On a SQLite file and on the
// test server (a schema of the test's own).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <variant>

#include "controls/grid/Mg.h"
#include "controls/inputs/Mdate.h"
#include "controls/inputs/Mgs.h"
#include "controls/inputs/Mstatusbar.h"
#include "core/data/db_connect.h"
#include "core/data/sqlca.h"
#include "demo/demo_build.h"
#include "demo/demo_db.h"
#include "demo/demo_inputs.h"
#include "demo/demo_voucher_entry.h"
#include "demo/demo_window.h"
#include "dict/dict_mgr.h"
#include "drivers/db_fixture.h"

void Demo_Test_App();  // test_demo.cpp

namespace {

QString Status(QMainWindow* w) {
  return w->findChild<MStatusBar*>(QStringLiteral("statusBar"))->Panels()->Items(1)->Text();
}

// The grid row showing a voucher number, or -1.
int Row_Of(TMG* g, const QString& no) {
  int col = 0;
  g->GetColId("voucher_no", &col);
  for (int r = g->FixedRows(); r < g->RowCount(); ++r)
    if (g->Cells(col, r) == no) return r;
  return -1;
}

double Sum_Shown(TMG* g) {
  int col = 0;
  g->GetColId("amount", &col);
  return g->Sum_Mg()->Cells(col, 0).remove(QLatin1Char(',')).toDouble();
}

// What the clerk types, to whichever widget has the keyboard: texts and single keys in turn.
void Keys(std::initializer_list<std::variant<const char*, Qt::Key>> steps) {
  for (const auto& s : steps) {
    if (const auto* text = std::get_if<const char*>(&s))
      QTest::keyClicks(QApplication::focusWidget(), QLatin1String(*text));
    else
      QTest::keyClick(QApplication::focusWidget(), std::get<Qt::Key>(s));
  }
}

class VoucherScenario : public ::testing::TestWithParam<std::string> {};

TEST_P(VoucherScenario, ClerkEntersSavesAndFindsItAfterARestart) {
  Demo_Test_App();
  QTemporaryDir home;
  QString pg, schema;
  if (GetParam() == "pg") {
    const char* conninfo = std::getenv("ZEM_PG_CONNINFO");
    if (!conninfo || !*conninfo) GTEST_SKIP() << "ZEM_PG_CONNINFO is not set: tools/run-tests.sh starts a server";
    schema = QStringLiteral("zt_demo_%1").arg(getpid());
    ASSERT_EQ(zem_test::Pg_Admin(conninfo, "create schema " + schema.toStdString()), "");
    pg = QString::fromUtf8(conninfo) + QStringLiteral(" options='-c search_path=%1'").arg(schema);
  }
  Demo_Start_Host(home.path());
  auto db = std::make_unique<DemoDb>();
  ASSERT_EQ(db->open(home.path(), pg), 1) << db->error().toStdString();
  ASSERT_EQ(db->ensureSample(), 1) << db->error().toStdString();

  QString error;
  DemoParts demo = Demo_Build(db.get(), &error);
  ASSERT_TRUE(demo.window) << error.toStdString();
  QMainWindow* w = demo.window->window();
  TMG* grid = demo.window->voucherGrid();
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w));
  const double before = Sum_Shown(grid);

  // Ctrl+N: a new row, the cursor in the date's year.
  QTest::keyClick(w, Qt::Key_N, Qt::ControlModifier);
  const int row = demo.entry->openRow();
  ASSERT_GE(row, 0);
  ASSERT_EQ(QApplication::focusWidget(), demo.inputs->date->Year_Field());
  Keys({"2024", Qt::Key_Tab, "6", Qt::Key_Tab, "18", Qt::Key_Return});
  // The supplier from its search list: Down opens it, the typed code picks its line, Enter takes it.
  ASSERT_EQ(QApplication::focusWidget(), demo.inputs->supCode);
  Keys({Qt::Key_Down});
  ASSERT_TRUE(demo.inputs->supList->isVisible());
  Keys({"S003", Qt::Key_Return});
  EXPECT_FALSE(demo.inputs->supList->isVisible());
  EXPECT_EQ(demo.inputs->supName->text(), QString::fromUtf16(u"北方包装材料公司"));
  ASSERT_EQ(QApplication::focusWidget(), demo.inputs->deptCode);
  Keys({"04", Qt::Key_Return});
  EXPECT_TRUE(grid->isAncestorOf(QApplication::focusWidget()) || QApplication::focusWidget() == grid);
  int summary = 0;
  grid->GetColId("summary", &summary);
  EXPECT_EQ(grid->Col(), summary);
  EXPECT_EQ(grid->Row(), row);
  // Saved without an amount: refused, said, and nothing typed is lost.
  QTest::keyClick(w, Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(Status(w).contains(QString::fromUtf16(u"金额无效"))) << Status(w).toStdString();
  EXPECT_EQ(demo.entry->openRow(), row);
  EXPECT_EQ(db->rowCount(QStringLiteral("vouchers")), 12);
  EXPECT_STREQ(grid->GetV("sup_code", row), "S003");

  const TRect cell = grid->CellRect(summary, row);
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, QPoint((cell.Left + cell.Right) / 2, (cell.Top + cell.Bottom) / 2));
  Keys({"carton boxes", Qt::Key_Tab, "1234.5", Qt::Key_Return});
  EXPECT_DOUBLE_EQ(Sum_Shown(grid), before + 1234.5) << "the sum line follows the amount";
  QTest::keyClick(w, Qt::Key_S, Qt::ControlModifier);
  const QString no = QStringLiteral("V2024013");
  EXPECT_TRUE(Status(w).contains(no)) << Status(w).toStdString();
  EXPECT_EQ(demo.entry->openRow(), -1);

  // The row in the database, as typed.
  TSQLCA q;
  ASSERT_EQ(db->select(q, QStringLiteral("select voucher_date,sup_code,dept_code,summary,amount from vouchers "
                                         "where voucher_no='V2024013'")), 0);
  ASSERT_EQ(q.Get_Row_Count(), 1);
  const QStringList want = {"20240618", "S003", "04", "carton boxes", "1234.5"};
  for (int f = 0; f < want.size(); ++f) {
    const QString got = QString::fromUtf16(q.Get_Row_Value(0, f));
    EXPECT_EQ(f == 4 ? QString::number(got.toDouble()) : got, want[f]) << f;
  }

  // A saved voucher's amount changed in the grid: closing asks first (cancelled: the window stays, the
  // edit too), Ctrl+S writes it back, the sum line follows.
  const int first = grid->FixedRows();
  grid->SetTopRow(first);  // scrolled back to the first voucher
  const QString edited = QString::fromUtf16(grid->GetW("voucher_no", first));
  const double old = QString::fromLatin1(grid->GetV("amount", first)).remove(QLatin1Char(',')).toDouble();
  int amount = 0;
  grid->GetColId("amount", &amount);
  const TRect money = grid->CellRect(amount, first);
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, QPoint((money.Left + money.Right) / 2, (money.Top + money.Bottom) / 2));
  Keys({"777.7", Qt::Key_Return});
  EXPECT_EQ(demo.entry->edited(), QStringList{edited});
  bool asked = false;
  QTimer answer;  // the clerk's answer once the question shows
  QObject::connect(&answer, &QTimer::timeout, [&] {
    for (QWidget* t : QApplication::topLevelWidgets())
      if (t->objectName() == QLatin1String("unsavedVouchers") && t->isVisible()) {
        asked = true;
        t->findChild<QPushButton*>(QStringLiteral("cancel"))->click();
      }
  });
  answer.start(20);
  EXPECT_FALSE(w->close());
  EXPECT_TRUE(asked && w->isVisible());
  EXPECT_STREQ(grid->GetV("amount", first), "777.70");
  w->activateWindow();  // as the desktop gives it back when the question goes
  ASSERT_TRUE(QTest::qWaitForWindowActive(w));
  QTest::keyClick(w, Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(demo.entry->edited().isEmpty()) << Status(w).toStdString();
  EXPECT_DOUBLE_EQ(Sum_Shown(grid), before + 1234.5 - old + 777.7);

  // The window closed and made anew, over the database opened anew: the voucher is there.
  demo = DemoParts();
  db.reset();
  Dict_Client_List()->Clear();
  db = std::make_unique<DemoDb>();
  ASSERT_EQ(db->open(home.path(), pg), 1) << db->error().toStdString();
  ASSERT_EQ(db->ensureSample(), 1);
  demo = Demo_Build(db.get(), &error);
  ASSERT_TRUE(demo.window) << error.toStdString();
  grid = demo.window->voucherGrid();
  const int again = Row_Of(grid, no);
  ASSERT_GE(again, 0);
  for (const auto& [column, shown] : {std::pair{"voucher_date", "20240618"}, {"sup_code", "S003"},
                                      {"dept_code", "04"}, {"summary", "carton boxes"}, {"amount", "1234.50"}})
    EXPECT_EQ(QString::fromUtf16(grid->GetW(column, again)), QLatin1String(shown)) << column;
  EXPECT_DOUBLE_EQ(Sum_Shown(grid), before + 1234.5 - old + 777.7);
  EXPECT_STREQ(grid->GetV("amount", Row_Of(grid, edited)), "777.70");

  demo = DemoParts();
  Dict_Client_List()->Clear();
  Db_Connect_Mgr()->Clear();
  if (!schema.isEmpty()) zem_test::Drop_Schema(schema.toStdString());
}

INSTANTIATE_TEST_SUITE_P(Backends, VoucherScenario, ::testing::Values("sqlite", "pg"),
                         [](const auto& info) { return info.param; });

}  // namespace
