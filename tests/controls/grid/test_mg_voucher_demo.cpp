// The demo's voucher form end to end: the sample database's vouchers fill the TMG of voucher_form.ui
// in the demo window, the department column through the "dept" dictionary, the grid paints them, and a
// clerk edits and pastes into it from the keyboard.
#include "controls/grid/mg_test_util.h"
#include "controls/inputs/Mpickdate.h"
#include "toolkit/tk_clipboard.h"
#include "core/data/db_connect.h"
#include "core/data/sqlca.h"
#include "demo/demo_db.h"
#include "demo/demo_grid_menu.h"
#include "demo/demo_window.h"
#include "dict/dict_mgr.h"

#include <QImage>
#include <QMainWindow>
#include <QTemporaryDir>
#include <cstdlib>

namespace {

class MgVoucherDemo : public ::testing::Test {
 protected:
  void SetUp() override {
    controlsTestApp();
    Dict_Client_List()->Clear();
    ASSERT_TRUE(home_.isValid());
    ASSERT_EQ(db_.open(home_.path(), QString()), 1) << db_.error().toStdString();
    ASSERT_EQ(db_.ensureSample(), 1) << db_.error().toStdString();
  }
  void TearDown() override {
    Dict_Client_List()->Clear();
    Db_Connect_Mgr()->Clear();
  }
  // The grid row of a voucher, -1 when it is not shown.
  static int RowOf(TMG* g, const char* voucher) {
    for (int r = g->FixedRows(); r < g->RowCount(); ++r)
      if (std::string(g->GetV("voucher_no", r)) == voucher) return r;
    return -1;
  }
  QTemporaryDir home_;
  DemoDb db_;
};

int CountBlue(const QImage& img, const TRect& r) {
  int n = 0;
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x) {
      const QRgb p = img.pixel(x, y);
      if (qBlue(p) > 180 && qRed(p) < 90 && qGreen(p) < 90) ++n;
    }
  return n;
}

}  // namespace

TEST_F(MgVoucherDemo, VouchersFillTheFormByColumnName) {
  EXPECT_EQ(db_.rowCount(QStringLiteral("vouchers")), 12);
  DemoWindow w(&db_);
  ASSERT_NE(w.window(), nullptr) << w.error().toStdString();
  TMG* g = w.voucherGrid();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->RowCount(), g->FixedRows() + 12);

  struct Row {
    const char* voucher;
    const char* amount;
    const char16_t* dept_cell;
    const char16_t* dept;
    const char* checked;
  } rows[] = {
      {"V2024001", "125600.00", u"04 采购部", u"04", "1"},
      {"V2024004", "1234.50", u"04 采购部", u"04", "0"},
      {"V2024006", "12345678.00", u"04 采购部", u"04", ""},
      {"V2024009", "-5.00", u"02 财务部", u"02", ""},
      {"V2024011", "14275.60", u"05 仓储物流部", u"05", ""},
  };
  int deptCol = 0;
  ASSERT_TRUE(g->GetColId("dept_code", &deptCol));
  for (const Row& r : rows) {
    const int row = RowOf(g, r.voucher);
    ASSERT_GE(row, 0) << r.voucher;
    EXPECT_STREQ(g->GetV("amount", row), r.amount) << r.voucher;
    EXPECT_EQ(g->Cells(deptCol, row), QString::fromUtf16(r.dept_cell)) << r.voucher;
    EXPECT_EQ(std::u16string(g->GetW("dept_code", row)), r.dept) << r.voucher;
    EXPECT_STREQ(g->GetV("checked", row), r.checked) << r.voucher;
  }
  // The sum line: the total of the amounts and the count of vouchers.
  TMG* sum = g->Sum_Mg();
  ASSERT_NE(sum, nullptr);
  int amountCol = 0;
  ASSERT_TRUE(g->GetColId("amount", &amountCol));
  EXPECT_EQ(sum->Cells(amountCol, 0), QStringLiteral("12597199.90"));
  EXPECT_EQ(sum->Cells(1, 0), QString::fromUtf16(u"合计 12"));
  // The negative voucher's summary carries its own colours.
  int sumCol = 0;
  ASSERT_TRUE(g->GetColId("summary", &sumCol));
  TColor text, bg;
  g->Get_Color(sumCol, RowOf(g, "V2024009"), text, bg);
  EXPECT_EQ(text, 0x0000FF);
  EXPECT_EQ(bg, 0x99FFFF);
  g->Get_Color(sumCol, RowOf(g, "V2024001"), text, bg);
  EXPECT_NE(bg, 0x99FFFF);
}

TEST_F(MgVoucherDemo, MoneyPlacesPaintInTheWindow) {
  DemoWindow w(&db_);
  ASSERT_NE(w.window(), nullptr) << w.error().toStdString();
  TMG* g = w.voucherGrid();
  ASSERT_NE(g, nullptr);
  w.window()->resize(1000, 860);
  w.window()->show();
  QApplication::processEvents();
  int amountCol = 0;
  ASSERT_TRUE(g->GetColId("amount", &amountCol));
  const QImage img = g->viewport()->grab().toImage();
  // 12345678 fills the places 7 to 10, drawn blue and bold; 0.50 has no digit there.
  const TRect big = g->CellRect(amountCol, RowOf(g, "V2024006"));
  const TRect small = g->CellRect(amountCol, RowOf(g, "V2024012"));
  ASSERT_FALSE(big.IsEmpty());
  ASSERT_FALSE(small.IsEmpty());
  EXPECT_GT(CountBlue(img, big), 10);
  EXPECT_EQ(CountBlue(img, small), 0);
  // With the demo's mark column added and the grid scrolled right, the total stays under the amounts.
  TMG* sum = g->Sum_Mg();
  ASSERT_NE(sum, nullptr);
  Demo_Add_Grid_Menu(g);
  w.window()->resize(640, 640);
  QApplication::processEvents();
  g->SetLeftCol(g->ColCount() - 1);
  QApplication::processEvents();
  EXPECT_GT(g->LeftCol(), g->FixedCols() + 1);
  EXPECT_EQ(sum->LeftCol(), g->LeftCol());
  const int last = g->ColCount() - 1;
  for (int c : {amountCol, last})
    EXPECT_EQ(sum->CellRect(c, 0).Right, g->CellRect(c, RowOf(g, "V2024006")).Right) << "column " << c;
  w.window()->hide();
}

// A database made before the vouchers had their audit column is brought up to date on start.
TEST_F(MgVoucherDemo, OlderVoucherTableIsReplaced) {
  TSQLCA q;
  for (const char16_t* sql : {u"drop table vouchers",
                              u"create table vouchers(voucher_no varchar(20) primary key, voucher_date char(8), "
                              u"sup_code varchar(20), dept_code varchar(20), summary varchar(100), "
                              u"amount numeric(14,2))",
                              u"insert into vouchers values('V1','20240101','S001','01','old',1.00)", u"commit"})
    ASSERT_EQ(q.Exec(sql), 0) << QString::fromUtf16(q.Get_Error_Msg()).toStdString();
  ASSERT_EQ(db_.ensureSample(), 1) << db_.error().toStdString();
  EXPECT_EQ(db_.rowCount(QStringLiteral("vouchers")), 12);
  EXPECT_EQ(db_.rowCount(QStringLiteral("departments")), 6);  // the other tables are kept
  // A second start changes nothing.
  ASSERT_EQ(db_.ensureSample(), 1);
  EXPECT_EQ(db_.rowCount(QStringLiteral("vouchers")), 12);
}

// The voucher grid from the keyboard alone, as a clerk uses it: each step and the cell it leaves.
TEST_F(MgVoucherDemo, EditedFromTheKeyboardAndPastedInto) {
  DemoWindow w(&db_);
  ASSERT_NE(w.window(), nullptr) << w.error().toStdString();
  TMG& g = *w.voucherGrid();
  w.window()->show();
  int date = 0, dept = 0, amount = 0;
  ASSERT_TRUE(g.GetColId("voucher_date", &date) && g.GetColId("dept_code", &dept) && g.GetColId("amount", &amount));
  const int row = g.FixedRows();
  EXPECT_EQ(g.Col(), date) << "the read-only voucher number is passed over";
  auto back = [&](int n) { for (int i = 0; i < n; ++i) Press(g, Qt::Key_Backtab, Qt::ShiftModifier); };
  struct Step {
    const char* what;
    std::function<void()> act;
    int col, r;
    const char16_t* cell;
  } steps[] = {
      {"a code typed into the department", [&] { Press(g, Qt::Key_Tab); Press(g, Qt::Key_Tab); Type(g, QStringLiteral("02")); Press(g, Qt::Key_Tab); }, dept, row, u"02 财务部"},
      {"a department's name typed, Enter", [&] { back(1); Type(g, QString::fromUtf16(u"仓储物流部")); Press(g, Qt::Key_Return); }, dept, row, u"05 仓储物流部"},
      {"Ctrl+Enter on the date: the picker on the cell's date, Escape closes it",
       [&] {
         back(3);
         Press(g, Qt::Key_Return, Qt::ControlModifier);
         ASSERT_TRUE(g.DateTimePicker_Mg() && g.DateTimePicker_Mg()->Date() == QDate(2024, 1, 5));
         g.DateTimePicker_Mg()->CloseUp();
         QTest::keyClick(g.DateTimePicker_Mg(), Qt::Key_Escape);
       },
       date, row, u"2024-01-05"},
      {"a block pasted: department, summary, amount with the demo's decimals",
       [&] { g.FocusCell(dept, row + 1); Clipboard()->SetAsText(QString::fromUtf16(u"销售部\t新摘要\t88\r\n")); Press(g, Qt::Key_V, Qt::ControlModifier); },
       amount, row + 1, u"88.00"},
  };
  for (const Step& s : steps) {
    s.act();
    EXPECT_EQ(g.Cells(s.col, s.r).toStdString(), QString::fromUtf16(s.cell).toStdString()) << s.what;
  }
  EXPECT_EQ(g.Cells(dept, row + 1), QString::fromUtf16(u"03 销售部"));
  EXPECT_EQ(g.Sum_Mg()->Cells(amount, 0), QStringLiteral("12548967.40")) << "the totals follow the paste";
  w.window()->hide();
}
