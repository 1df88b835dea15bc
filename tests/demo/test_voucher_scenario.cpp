// A clerk's voucher, keys and clicks only, on the demo's own window: Ctrl+N, the date typed into the
// date box, the supplier chosen in its search list, the department typed, the summary and the amount
// typed into the grid, Ctrl+S; then a saved voucher's amount changed and saved; the rows are in the
// database, and a window made anew over the same database shows them. Then, a window each, what a
// clerk's day ran into. On a SQLite file and on the test server (a schema of the test's own).
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
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
#include "controls/inputs/Mpickdate.h"
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

int Col_Of(TMG* g, const char* name) {
  int col = -1;
  g->GetColId(name, &col);
  return col;
}

double Sum_Shown(TMG* g) {
  return g->Sum_Mg()->Cells(Col_Of(g, "amount"), 0).remove(QLatin1Char(',')).toDouble();
}

// A click in the middle of a cell (a header cell too).
void Click(TMG* g, int col, int row, int delay = -1) {
  const TRect r = g->CellRect(col, row);
  QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, QPoint((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2), delay);
}

// What the clerk types, to whichever widget has the keyboard: texts and single keys in turn.
void Keys(std::initializer_list<std::variant<const char*, Qt::Key>> steps) {
  for (const auto& s : steps) {
    if (const auto* text = std::get_if<const char*>(&s))
      QTest::keyClicks(QApplication::focusWidget(), QString::fromUtf8(*text));
    else
      QTest::keyClick(QApplication::focusWidget(), std::get<Qt::Key>(s));
  }
}

void Ctrl(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key, Qt::ControlModifier); }

// Answers the question of that object name with that button once it shows; *asked tells it did.
std::unique_ptr<QTimer> Answer(const char* box, const char* button, bool* asked) {
  auto timer = std::make_unique<QTimer>();
  QObject::connect(timer.get(), &QTimer::timeout, [=] {
    for (QWidget* t : QApplication::topLevelWidgets())
      if (t->objectName() == QLatin1String(box) && t->isVisible()) {
        *asked = true;
        t->findChild<QPushButton*>(QLatin1String(button))->click();
      }
  });
  timer->start(20);
  return timer;
}

// The demo's window over a database of its own (a SQLite file in a new home, or a schema of its own
// on the test server), shown and active.
struct Desk {
  ~Desk() {
    demo = DemoParts();
    db.reset();
    Dict_Client_List()->Clear();
    Db_Connect_Mgr()->Clear();
    if (!schema.isEmpty()) zem_test::Drop_Schema(schema.toStdString());
  }
  ::testing::AssertionResult open(const std::string& backend) {
    Demo_Test_App();
    if (backend == "pg") {
      const char* conninfo = std::getenv("ZEM_PG_CONNINFO");
      if (!conninfo || !*conninfo) return ::testing::AssertionFailure() << "ZEM_PG_CONNINFO is not set";
      static int n = 0;
      schema = QStringLiteral("zt_demo_%1_%2").arg(getpid()).arg(++n);
      const std::string why = zem_test::Pg_Admin(conninfo, "create schema " + schema.toStdString());
      if (!why.empty()) return ::testing::AssertionFailure() << why;
      pg = QString::fromUtf8(conninfo) + QStringLiteral(" options='-c search_path=%1'").arg(schema);
    }
    Demo_Start_Host(home.path());
    return reopen();
  }
  // The window and the database opened anew over the same data.
  ::testing::AssertionResult reopen() {
    demo = DemoParts();
    db.reset();
    Dict_Client_List()->Clear();
    db = std::make_unique<DemoDb>();
    if (db->open(home.path(), pg) != 1 || db->ensureSample() != 1)
      return ::testing::AssertionFailure() << db->error().toStdString();
    QString error;
    demo = Demo_Build(db.get(), &error);
    if (!demo.window) return ::testing::AssertionFailure() << error.toStdString();
    w = demo.window->window();
    grid = demo.window->voucherGrid();
    w->resize(1200, 800);
    w->show();
    return QTest::qWaitForWindowActive(w) ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "not active";
  }
  // A voucher's amount as the table holds it.
  double stored(const char* no) {
    TSQLCA q;
    db->select(q, QStringLiteral("select amount from vouchers where voucher_no='%1'").arg(QLatin1String(no)));
    return q.Get_Row_Count() == 1 ? QString::fromUtf16(q.Get_Row_Value(0, 0)).toDouble() : -1e9;
  }
  bool editorShown() const { return grid->InplaceEditor() && grid->InplaceEditor()->isVisible(); }
  bool keyboardInGrid() const { return QApplication::focusWidget() == grid || grid->isAncestorOf(QApplication::focusWidget()); }

  QTemporaryDir home;
  QString pg, schema;
  std::unique_ptr<DemoDb> db;
  DemoParts demo;
  QMainWindow* w = nullptr;
  TMG* grid = nullptr;
};

class VoucherScenario : public ::testing::TestWithParam<std::string> {};

TEST_P(VoucherScenario, ClerkEntersSavesAndFindsItAfterARestart) {
  Desk d;
  ASSERT_TRUE(d.open(GetParam()));
  DemoParts& demo = d.demo;
  QMainWindow* w = d.w;
  TMG* grid = d.grid;
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
  EXPECT_TRUE(d.keyboardInGrid());
  const int summary = Col_Of(grid, "summary");
  EXPECT_EQ(grid->Col(), summary);
  EXPECT_EQ(grid->Row(), row);
  // Saved without an amount: refused, said, and nothing typed is lost.
  QTest::keyClick(w, Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(Status(w).contains(QString::fromUtf16(u"金额无效"))) << Status(w).toStdString();
  EXPECT_EQ(demo.entry->openRow(), row);
  EXPECT_EQ(d.db->rowCount(QStringLiteral("vouchers")), 12);
  EXPECT_STREQ(grid->GetV("sup_code", row), "S003");

  Click(grid, summary, row);
  Keys({"carton boxes", Qt::Key_Tab, "1234.5", Qt::Key_Return});
  EXPECT_DOUBLE_EQ(Sum_Shown(grid), before + 1234.5) << "the sum line follows the amount";
  QTest::keyClick(w, Qt::Key_S, Qt::ControlModifier);
  const QString no = QStringLiteral("V2024013");
  EXPECT_TRUE(Status(w).contains(no)) << Status(w).toStdString();
  EXPECT_EQ(demo.entry->openRow(), -1);

  // The row in the database, as typed.
  TSQLCA q;
  ASSERT_EQ(d.db->select(q, QStringLiteral("select voucher_date,sup_code,dept_code,summary,amount from vouchers "
                                           "where voucher_no='V2024013'")), 0);
  ASSERT_EQ(q.Get_Row_Count(), 1);
  const QStringList want = {"20240618", "S003", "04", "carton boxes", "1234.5"};
  for (int f = 0; f < want.size(); ++f) {
    const QString got = QString::fromUtf16(q.Get_Row_Value(0, f));
    EXPECT_EQ(f == 4 ? QString::number(got.toDouble()) : got, want[f]) << f;
  }

  // A saved voucher's amount changed in the grid: closing asks first (cancelled: the window stays, the
  // edit too, the keyboard where it was), Ctrl+S writes it back, the sum line follows.
  const int first = grid->FixedRows();
  grid->SetTopRow(first);  // scrolled back to the first voucher
  const QString edited = QString::fromUtf16(grid->GetW("voucher_no", first));
  const double old = QString::fromLatin1(grid->GetV("amount", first)).remove(QLatin1Char(',')).toDouble();
  Click(grid, Col_Of(grid, "amount"), first);
  Keys({"777.7", Qt::Key_Return});
  EXPECT_EQ(demo.entry->edited(), QStringList{edited});
  bool asked = false;
  auto cancel = Answer("unsavedVouchers", "cancel", &asked);
  EXPECT_FALSE(w->close());
  EXPECT_TRUE(asked && w->isVisible());
  cancel.reset();
  EXPECT_STREQ(grid->GetV("amount", first), "777.70");
  ASSERT_TRUE(QTest::qWaitFor([&] { return d.keyboardInGrid(); }));
  Ctrl(Qt::Key_S);
  EXPECT_TRUE(demo.entry->edited().isEmpty()) << Status(w).toStdString();
  EXPECT_DOUBLE_EQ(Sum_Shown(grid), before + 1234.5 - old + 777.7);

  // The window closed and made anew, over the database opened anew: the voucher is there.
  ASSERT_TRUE(d.reopen());
  grid = d.grid;
  const int again = Row_Of(grid, no);
  ASSERT_GE(again, 0);
  for (const auto& [column, shown] : {std::pair{"voucher_date", "2024-06-18"}, {"sup_code", "S003"},
                                      {"dept_code", "04"}, {"summary", "carton boxes"}, {"amount", "1234.50"}})
    EXPECT_EQ(QString::fromUtf16(grid->GetW(column, again)), QLatin1String(shown)) << column;
  EXPECT_DOUBLE_EQ(Sum_Shown(grid), before + 1234.5 - old + 777.7);
  EXPECT_STREQ(grid->GetV("amount", Row_Of(grid, edited)), "777.70");
}

// What the clerk ran into during a day of voucher entry, each on a window of its own.
TEST_P(VoucherScenario, WhatTheClerkRanInto) {
  struct Case {
    const char* name;
    std::function<void(Desk&)> run;
  };
  const Case cases[] = {
      {"a new row goes away with Escape or after a question; a refusal names the voucher and the cell",
       [](Desk& d) {
         const int rows = d.grid->RowCount();
         Ctrl(Qt::Key_N);
         Keys({Qt::Key_Escape});
         EXPECT_TRUE(d.demo.entry->openRow() == -1 && d.grid->RowCount() == rows) << "Escape on the untouched row";
         Ctrl(Qt::Key_N);
         Click(d.grid, Col_Of(d.grid, "summary"), d.demo.entry->openRow());
         Keys({"x", Qt::Key_Escape, Qt::Key_Escape});
         EXPECT_EQ(d.demo.entry->openRow(), -1) << "the first Escape takes the typing back, the second the row";
         Ctrl(Qt::Key_N);
         Click(d.grid, Col_Of(d.grid, "summary"), d.demo.entry->openRow());
         Keys({"paper", Qt::Key_Tab});
         Ctrl(Qt::Key_S);
         EXPECT_TRUE(Status(d.w).contains(QString::fromUtf16(u"新凭证的供应商有误"))) << Status(d.w).toStdString();
         EXPECT_TRUE(d.grid->Col() == Col_Of(d.grid, "sup_code") && d.grid->Row() == d.demo.entry->openRow() &&
                     d.keyboardInGrid());
         bool asked = false;
         auto yes = Answer("discardVoucher", "delete", &asked);
         Ctrl(Qt::Key_D);
         EXPECT_TRUE(asked && d.demo.entry->openRow() == -1 && d.grid->RowCount() == rows);
       }},
      {"a date typed digit by digit into the making date",
       [](Desk& d) {
         d.demo.inputs->made->setFocus(Qt::TabFocusReason);
         Keys({"20240315"});
         EXPECT_EQ(d.demo.inputs->made->Date(), QDate(2024, 3, 15));
       }},
      {"an amount with letters or a third decimal is kept, marked, said and refused",
       [](Desk& d) {
         const int row = Row_Of(d.grid, QStringLiteral("V2024004"));
         const int amount = Col_Of(d.grid, "amount");
         Click(d.grid, amount, row);
         Keys({"12a.5", Qt::Key_Return});
         EXPECT_TRUE(d.grid->Cells(amount, row) == "12a.5" && Status(d.w).contains(QString::fromUtf16(u"不是数字")))
             << Status(d.w).toStdString();
         Ctrl(Qt::Key_S);
         EXPECT_TRUE(Status(d.w).contains(QString::fromUtf16(u"凭证 V2024004 的金额有误"))) << Status(d.w).toStdString();
         EXPECT_TRUE(d.grid->Col() == amount && d.grid->Row() == row);
         const int other = Row_Of(d.grid, QStringLiteral("V2024005"));
         Click(d.grid, amount, other);
         Keys({"1.234"});
         Ctrl(Qt::Key_S);  // still in the editor
         EXPECT_TRUE(d.grid->Cells(amount, other) == "1.234" && d.stored("V2024004") + d.stored("V2024005") == 1234.5 + 3265.8);
       }},
      {"no editor is open at start or after a save",
       [](Desk& d) {
         EXPECT_FALSE(d.editorShown()) << "at start";
         Click(d.grid, Col_Of(d.grid, "summary"), Row_Of(d.grid, QStringLiteral("V2024004")));
         Keys({"z", Qt::Key_Return});
         Ctrl(Qt::Key_S);
         ASSERT_TRUE(d.demo.entry->edited().isEmpty()) << Status(d.w).toStdString();
         EXPECT_TRUE(!d.editorShown() && d.grid->Row() == Row_Of(d.grid, QStringLiteral("V2024004")) && d.keyboardInGrid());
       }},
      {"Ctrl+N carries only a valid date and a known supplier",
       [](Desk& d) {
         d.demo.inputs->supCode->setFocus();
         Keys({"S003", Qt::Key_Return});
         d.demo.inputs->supCode->selectAll();
         Keys({"S00312"});  // refused or not, not taken
         d.demo.inputs->date->Set_Date("20240630");
         d.demo.inputs->date->Day_Field()->setText(QStringLiteral("31"));  // 31 June
         Ctrl(Qt::Key_N);
         const int row = d.demo.entry->openRow();
         ASSERT_GE(row, 0);
         EXPECT_EQ(QString::fromUtf16(d.grid->GetW("sup_code", row)) + "|" + QString::fromUtf16(d.grid->GetW("voucher_date", row)), "|");
       }},
      {"a header click under the two-row header shows its mark and the keys in the status bar",
       [](Desk& d) {
         const int amount = Col_Of(d.grid, "amount");
         Click(d.grid, amount, 1);
         EXPECT_TRUE(Status(d.w) == QString::fromUtf16(u"排序：1 金额▲") && d.grid->GetV("voucher_no", d.grid->FixedRows()) == std::string("V2024009"));
         const QImage shot = d.grid->viewport()->grab().toImage();
         const TRect r = d.grid->CellRect(amount, 1);
         int green = 0;  // the mark's dark green (0x3F7F1F), nothing else in the header is green
         for (int y = r.Top; y < r.Bottom; ++y)
           for (int x = r.Left; x < r.Left + 16; ++x)
             green += qGreen(shot.pixel(x, y)) > qRed(shot.pixel(x, y)) + 30 && qGreen(shot.pixel(x, y)) > qBlue(shot.pixel(x, y)) + 30;
         EXPECT_GT(green, 3);
       }},
      {"the check-box column turns over on a click and on Space, with no editor",
       [](Desk& d) {
         const int row = Row_Of(d.grid, QStringLiteral("V2024001"));
         const int checked = Col_Of(d.grid, "checked");
         Click(d.grid, checked, row);
         EXPECT_EQ(d.grid->Cells(checked, row) + (d.editorShown() ? "|editor" : ""), QStringLiteral("0"));
         Keys({Qt::Key_Space});
         EXPECT_EQ(d.grid->Cells(checked, row) + (d.editorShown() ? "|editor" : ""), QStringLiteral("1"));
         Keys({Qt::Key_Space});
         EXPECT_EQ(d.demo.entry->edited(), QStringList{QStringLiteral("V2024001")});
       }},
      {"after a question the keyboard is back where it was: Ctrl+S saves without a click",
       [](Desk& d) {
         Click(d.grid, Col_Of(d.grid, "amount"), Row_Of(d.grid, QStringLiteral("V2024004")));
         Keys({"777.7", Qt::Key_Return});
         bool asked = false;
         auto cancel = Answer("unsavedVouchers", "cancel", &asked);
         EXPECT_TRUE(!d.w->close() && asked);
         cancel.reset();
         ASSERT_TRUE(QTest::qWaitFor([&] { return d.keyboardInGrid(); }));
         Ctrl(Qt::Key_S);
         EXPECT_EQ(d.stored("V2024004"), 777.7);
       }},
      {"sorting is no change: only the voucher typed into is edited",
       [](Desk& d) {
         const int first = d.grid->FixedRows();
         Click(d.grid, Col_Of(d.grid, "summary"), first);
         Keys({"z", Qt::Key_Escape});  // typed and taken back
         Click(d.grid, Col_Of(d.grid, "amount"), 1);
         Keys({Qt::Key_Down});
         EXPECT_TRUE(d.demo.entry->edited().isEmpty()) << Status(d.w).toStdString();
         Click(d.grid, Col_Of(d.grid, "summary"), Row_Of(d.grid, QStringLiteral("V2024001")));
         Keys({"z"});
         Click(d.grid, Col_Of(d.grid, "summary"), 1, 400);  // a second key: the order stays
         Click(d.grid, Col_Of(d.grid, "summary"), 1);       // a double click: the summary alone
         ASSERT_NE(Row_Of(d.grid, QStringLiteral("V2024001")), d.grid->Row()) << "the sort moved the row typed into";
         Keys({Qt::Key_Down});
         EXPECT_EQ(d.demo.entry->edited(), QStringList{QStringLiteral("V2024001")});
       }},
      {"typing is kept when the clerk clicks another control",
       [](Desk& d) {
         Click(d.grid, Col_Of(d.grid, "amount"), Row_Of(d.grid, QStringLiteral("V2024004")));
         Keys({"99"});
         QTest::mouseClick(d.demo.inputs->supCode, Qt::LeftButton);
         EXPECT_TRUE(d.demo.entry->edited() == QStringList{"V2024004"} && Status(d.w).contains("V2024004")) << Status(d.w).toStdString();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Desk d;
    ASSERT_TRUE(d.open(GetParam()));
    c.run(d);
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, VoucherScenario, ::testing::Values("sqlite", "pg"),
                         [](const auto& info) { return info.param; });

}  // namespace
