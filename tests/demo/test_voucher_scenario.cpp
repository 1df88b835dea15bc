// A clerk's voucher, keys and clicks only, on the demo's own window: Ctrl+N, the date typed into the
// date box, the supplier chosen in its search list, the department typed, the summary and the amount
// typed into the grid, Ctrl+S; then a saved voucher's amount changed and saved; the rows are in the
// database, and a window made anew over the same database shows them. Then, a window each, what a
// clerk's day ran into. On a SQLite file and on the test server (a schema of the test's own).
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

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
#include "controls/tree/Mtreeview.h"
#include "core/data/db_connect.h"
#include "core/data/sqlca.h"
#include "demo/demo_build.h"
#include "demo/demo_db.h"
#include "demo/demo_inputs.h"
#include "demo/demo_voucher_entry.h"
#include "dict/dict_mgr.h"
#include "dict/dict_notify.h"
#include "demo/demo_window.h"
#include "dict/dict_mgr.h"
#include "dict/dict_notify.h"
#include "drivers/db_fixture.h"

void Demo_Test_App();  // test_demo.cpp

namespace {

QString Status(QMainWindow* w) {
  return Demo_Status_Message(w->findChild<MStatusBar*>(QStringLiteral("statusBar")));
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

// Answers the question of that object name with that button (null: Enter) once it shows; *asked tells
// it did, *text (when given) what it asked.
std::unique_ptr<QTimer> Answer(const char* box, const char* button, bool* asked, QString* text = nullptr) {
  auto timer = std::make_unique<QTimer>();
  QObject::connect(timer.get(), &QTimer::timeout, [=] {
    for (QWidget* t : QApplication::topLevelWidgets())
      if (t->objectName() == QLatin1String(box) && t->isVisible()) {
        *asked = true;
        if (auto* m = qobject_cast<QMessageBox*>(t); m && text) *text = m->text();
        if (button) t->findChild<QPushButton*>(QLatin1String(button))->click();
        else QTest::keyClick(t, Qt::Key_Return);
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

// Another connection holding the whole vouchers table, as a long transaction of another program would.
struct Held {
  explicit Held(Desk& d) {
    if (!d.pg.isEmpty()) {
      pg = PQconnectdb(d.pg.toUtf8().constData());
      PGresult* r = PQexec(pg, "begin; lock table vouchers in access exclusive mode");
      held = PQresultStatus(r) == PGRES_COMMAND_OK;
      PQclear(r);
    } else {
      sqlite3_open(d.db->location().toUtf8().constData(), &lite);
      sqlite3_busy_timeout(lite, 5000);
      held = sqlite3_exec(lite, "begin exclusive", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
  }
  ~Held() {
    PQfinish(pg);  // the transaction ends with the connection
    sqlite3_close(lite);
  }
  PGconn* pg = nullptr;
  sqlite3* lite = nullptr;
  bool held = false;
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
         Keys({"x", Qt::Key_Escape});
         EXPECT_GE(d.demo.entry->openRow(), 0) << "the first Escape takes the typing back, the row stays";
         Keys({Qt::Key_Escape});
         EXPECT_EQ(d.demo.entry->openRow(), -1) << "the second takes the row";
         Ctrl(Qt::Key_N);
         Click(d.grid, Col_Of(d.grid, "summary"), d.demo.entry->openRow());
         Keys({"paper", Qt::Key_Tab});
         Ctrl(Qt::Key_S);
         EXPECT_TRUE(Status(d.w).contains(QString::fromUtf16(u"新凭证的供应商有误"))) << Status(d.w).toStdString();
         EXPECT_TRUE(d.grid->Col() == Col_Of(d.grid, "sup_code") && d.grid->Row() == d.demo.entry->openRow() &&
                     d.keyboardInGrid());
         bool asked = false;
         QString question;
         const int open = d.demo.entry->openRow();
         {
           auto enter = Answer("discardVoucher", nullptr, &asked);
           Click(d.grid, Col_Of(d.grid, "summary"), Row_Of(d.grid, QStringLiteral("V2024004")));
           Ctrl(Qt::Key_D);  // on a saved voucher: nothing goes, and the clerk is told why
         }
         EXPECT_TRUE(!asked && d.demo.entry->openRow() == open && Status(d.w).contains(QString::fromUtf16(u"只删除未保存的新凭证")))
             << Status(d.w).toStdString();
         Click(d.grid, Col_Of(d.grid, "summary"), open);
         {
           auto enter = Answer("discardVoucher", nullptr, &asked);
           Ctrl(Qt::Key_D);
         }
         EXPECT_TRUE(asked && d.demo.entry->openRow() >= 0) << "Enter at the question keeps the row";
         ASSERT_TRUE(QTest::qWaitFor([&] { return d.keyboardInGrid(); }));
         asked = false;
         auto yes = Answer("discardVoucher", "delete", &asked, &question);
         Ctrl(Qt::Key_D);
         EXPECT_TRUE(asked && d.demo.entry->openRow() == -1 && d.grid->RowCount() == rows);
         EXPECT_EQ(question, QString::fromUtf16(u"删除第 %1 行未保存的新凭证“paper”吗？已输入的内容不会保存。").arg(open - d.grid->FixedRows() + 1));
       }},
      {"a date typed digit by digit into the making date",
       [](Desk& d) {
         d.demo.inputs->made->setFocus(Qt::TabFocusReason);
         Keys({"20240315"});
         EXPECT_EQ(d.demo.inputs->made->Date(), QDate(2024, 3, 15));
       }},
      {"an amount with letters or a third decimal is kept, marked, said, left out of the sum and refused; the "
       "clerk types the right one straight into the cell named",
       [](Desk& d) {
         const int row = Row_Of(d.grid, QStringLiteral("V2024004"));
         const int amount = Col_Of(d.grid, "amount");
         const double others = Sum_Shown(d.grid) - 1234.5 - 3265.8;
         Click(d.grid, amount, row);
         Keys({"12a.5", Qt::Key_Return});
         EXPECT_TRUE(d.grid->Cells(amount, row) == "12a.5" && Status(d.w).contains(QString::fromUtf16(u"不是数字")))
             << Status(d.w).toStdString();
         EXPECT_DOUBLE_EQ(Sum_Shown(d.grid), others + 3265.8) << "12a.5 is no amount yet";
         Ctrl(Qt::Key_S);
         EXPECT_TRUE(Status(d.w).contains(QString::fromUtf16(u"凭证 V2024004 的金额有误"))) << Status(d.w).toStdString();
         EXPECT_TRUE(d.grid->Col() == amount && d.grid->Row() == row);
         Keys({"77", Qt::Key_Return});
         EXPECT_EQ(d.grid->Cells(amount, row), QStringLiteral("77.00"));
         const int other = Row_Of(d.grid, QStringLiteral("V2024005"));
         Click(d.grid, amount, other);
         Keys({"1.234"});
         Ctrl(Qt::Key_S);  // still in the editor
         EXPECT_TRUE(d.grid->Cells(amount, other) == "1.234" && d.stored("V2024004") + d.stored("V2024005") == 1234.5 + 3265.8);
         EXPECT_DOUBLE_EQ(Sum_Shown(d.grid), others + 77) << "1.234 is no amount of two decimals";
         Keys({"55"});
         Ctrl(Qt::Key_S);  // typed over in the editor the refusal left open
         EXPECT_EQ((QString::number(d.stored("V2024004")) + "|" + QString::number(d.stored("V2024005"))).toStdString(), "77|55")
             << Status(d.w).toStdString();
       }},
      {"a supplier look-up that fails is the database's failure, not a wrong supplier; saved once it answers",
       [](Desk& d) {
         const int summary = Col_Of(d.grid, "summary");
         const int row = Row_Of(d.grid, QStringLiteral("V2024006"));
         Click(d.grid, summary, row);
         Keys({"z", Qt::Key_Return});
         TSQLCA q;
         ASSERT_EQ(q.Exec(u"alter table suppliers rename to suppliers_away"), 0) << QString::fromUtf16(q.Get_Error_Msg()).toStdString();
         ASSERT_EQ(q.Commit(), 0);
         const auto at = std::tuple(d.grid->Col(), d.grid->Row());
         Ctrl(Qt::Key_S);
         EXPECT_TRUE(Status(d.w).startsWith(QString::fromUtf16(u"凭证未保存：无法核对供应商 S001：")) && !Status(d.w).contains(QString::fromUtf16(u"供应商有误")))
             << Status(d.w).toStdString();
         EXPECT_EQ(std::tuple(d.grid->Col(), d.grid->Row()), at) << "the cursor stays where it was, off the supplier";
         ASSERT_EQ(q.Exec(u"alter table suppliers_away rename to suppliers"), 0);
         ASSERT_EQ(q.Commit(), 0);
         Ctrl(Qt::Key_S);
         EXPECT_TRUE(d.demo.entry->edited().isEmpty()) << Status(d.w).toStdString();
       }},
      {"another clerk's voucher shows once the table can be read again: a refill nobody asked for raises no "
       "wait box, and one that failed is tried again",
       [](Desk& d) {
         TSQLCA q;
         ASSERT_EQ(q.Exec(u"update vouchers set summary = 'theirs' where voucher_no = 'V2024002'"), 0);
         ASSERT_EQ(q.Commit(), 0);
         bool boxed = false;
         auto cancel = Answer("zem_wait_box", "cancel", &boxed);  // the clerk who sees one cancels it
         {
           Held other(d);
           ASSERT_TRUE(other.held);
           Dict_Notify()->Tell_Observers("vouchers");
           EXPECT_TRUE(QTest::qWaitFor([&] { return Status(d.w).contains(QString::fromUtf16(u"凭证未能刷新")); }));
         }
         const int row = Row_Of(d.grid, QStringLiteral("V2024002"));
         EXPECT_TRUE(QTest::qWaitFor([&] { return QString::fromUtf16(d.grid->GetW("summary", row)) == "theirs"; }))
             << Status(d.w).toStdString();
         EXPECT_FALSE(boxed);
       }},
      {"a department renamed or stopped in the department dictionary shows so in the tree",
       [](Desk& d) {
         ASSERT_EQ(d.db->followChanges(), 1) << d.db->error().toStdString();
         auto* tree = d.w->findChild<MTreeView*>(QStringLiteral("deptTree"));
         ASSERT_NE(tree, nullptr);
         auto shown = [&] {
           QStringList texts;
           for (TTreeNode* n = tree->Items()->GetFirstNode(); n; n = n->GetNext())
             if (QByteArray(tree->TN_Code(n)) == "04" || QByteArray(tree->TN_Code(n)) == "06") texts << n->Text();
           return texts.join('|');
         };
         TSQLCA q;
         ASSERT_EQ(q.Exec(u"update app_dict_def set name = '采购中心' where dict_id = 'dept' and code = '04'"), 0);
         ASSERT_EQ(q.Exec(u"update app_dict_def set stop_flag = 'Y' where dict_id = 'dept' and code = '06'"), 0);
         ASSERT_EQ(q.Commit(), 0);
         EXPECT_TRUE(QTest::qWaitFor([&] { return shown() == QString::fromUtf16(u"人力资源部（停用）|采购中心"); })) << shown().toStdString();
         Dict_Notify()->Stop();
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
      {"an unknown department typed into the strip: while the question asks, the status bar names the code",
       [](Desk& d) {
         d.demo.inputs->deptCode->setFocus();
         Keys({"07"});
         QString said;
         QTimer answer;
         QObject::connect(&answer, &QTimer::timeout, [&] {
           for (QWidget* t : QApplication::topLevelWidgets())
             if (t->objectName() == QLatin1String("tk_message_box") && t->isVisible()) {
               said = Status(d.w);
               static_cast<QMessageBox*>(t)->reject();
             }
         });
         answer.start(20);
         Keys({Qt::Key_Return});
         EXPECT_EQ(said, QString::fromUtf16(u"没有这个部门编码：07"));
       }},
      {"a department stopped meanwhile: the strip's list drops it, Ctrl+N leaves it out, a save refuses it",
       [](Desk& d) {
         d.demo.inputs->deptCode->setFocus();
         Keys({"05", Qt::Key_Return});  // taken while it may take vouchers
         TSQLCA q;
         ASSERT_EQ(q.Exec(u"update app_dict_def set stop_flag = 'Y' where dict_id = 'dept' and code = '05'"), 0);
         ASSERT_EQ(q.Commit(), 0);
         Dict_Client_List()->Mark_Changed("dept");  // as the change notice does
         Dict_Notify()->Tell_Observers("dept");
         auto listed = [&] {
           QStringList codes;
           for (int i = 0; i < d.demo.inputs->deptList->List()->Count(); i++)
             codes << d.demo.inputs->deptList->List()->Items()->Strings(i).section(QStringLiteral("  "), 0, 0);
           return codes;
         };
         EXPECT_TRUE(QTest::qWaitFor([&] { return !listed().contains(QStringLiteral("05")); })) << listed().join(',').toStdString();
         Ctrl(Qt::Key_N);
         const int row = d.demo.entry->openRow();
         ASSERT_GE(row, 0);
         EXPECT_EQ(QString::fromUtf16(d.grid->GetW("dept_code", row)), QString());
         d.grid->SetW("sup_code", row, u"S003");
         d.grid->SetW("dept_code", row, u"05");
         d.grid->SetW("summary", row, u"paper");
         d.grid->SetW("amount", row, u"12.50");
         Ctrl(Qt::Key_S);
         EXPECT_TRUE(Status(d.w).contains(QString::fromUtf16(u"部门 05 已停用"))) << Status(d.w).toStdString();
         EXPECT_GE(d.demo.entry->openRow(), 0) << "refused, the row stays as typed";
       }},
      {"another clerk's voucher comes in on a refill; the unsaved edit stays",
       [](Desk& d) {
         const int amount = Col_Of(d.grid, "amount");
         Click(d.grid, amount, Row_Of(d.grid, QStringLiteral("V2024004")));
         Keys({"55", Qt::Key_Return});
         TSQLCA q;
         ASSERT_EQ(q.Exec(u"insert into vouchers(voucher_no, voucher_date, sup_code, summary, amount) "
                          u"values('V2024099', '20240701', 'S001', 'other clerk', 10)"), 0);
         ASSERT_EQ(q.Commit(), 0);
         Dict_Notify()->Tell_Observers("vouchers");  // as the change notice on the voucher table does
         EXPECT_TRUE(QTest::qWaitFor([&] { return Row_Of(d.grid, QStringLiteral("V2024099")) >= 0; }));
         EXPECT_EQ(d.demo.entry->edited(), QStringList{QStringLiteral("V2024004")});
         EXPECT_EQ(d.grid->Cells(amount, Row_Of(d.grid, QStringLiteral("V2024004"))).remove(','), QStringLiteral("55.00"));
       }},
      {"a header click under the two-row header shows its mark and the keys in the status bar; the order and "
       "its mark stay through a save",
       [](Desk& d) {
         const int amount = Col_Of(d.grid, "amount");
         // The amounts down the grid as they show, and the pixels of the mark's dark green (0x3F7F1F:
         // nothing else in the header is green).
         auto order = [&] {
           QStringList shown;
           for (int r = d.grid->FixedRows(); r < d.grid->RowCount(); ++r) shown << QString::fromUtf16(d.grid->GetW("voucher_no", r));
           return shown.join(' ').toStdString();
         };
         auto green = [&] {
           const QImage shot = d.grid->viewport()->grab().toImage();
           const TRect r = d.grid->CellRect(amount, 1);
           int n = 0;
           for (int y = r.Top; y < r.Bottom; ++y)
             for (int x = r.Left; x < r.Left + 16; ++x)
               n += qGreen(shot.pixel(x, y)) > qRed(shot.pixel(x, y)) + 30 && qGreen(shot.pixel(x, y)) > qBlue(shot.pixel(x, y)) + 30;
           return n;
         };
         Click(d.grid, amount, 1);
         EXPECT_TRUE(Status(d.w) == QString::fromUtf16(u"排序：1 金额▲") && d.grid->GetV("voucher_no", d.grid->FixedRows()) == std::string("V2024009"));
         EXPECT_GT(green(), 3);
         Click(d.grid, amount, Row_Of(d.grid, QStringLiteral("V2024004")));
         Keys({"7", Qt::Key_Return});
         Ctrl(Qt::Key_S);
         ASSERT_EQ(d.stored("V2024004"), 7) << Status(d.w).toStdString();
         EXPECT_EQ(order(), "V2024009 V2024012 V2024004 V2024005 V2024003 V2024007 V2024011 V2024008 V2024010 V2024002 "
                            "V2024001 V2024006");
         EXPECT_GT(green(), 3);
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
