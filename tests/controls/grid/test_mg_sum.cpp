// The sum grid under a TMG: the totals rules, the row count, the mirrored layout and scroll coupling.
#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"
#include "toolkit/tk_menu.h"

#include <QCoreApplication>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

namespace {

// A data grid with its sum grid: column 1 a name, column 2 the summed column, column 3 a note.
struct Paired : AppFirst {
  TMG data, sum;
  Paired(const std::vector<const char*>& values, int mode) {
    data.SetColCount(4);
    data.SetRowCount(int(values.size()) + 2);  // one trailing empty row
    data.SetADEF({QStringLiteral("Name"), QStringLiteral("Amt,float"), QStringLiteral("Note")});
    for (size_t i = 0; i < values.size(); ++i) {
      data.SetV(1, int(i) + 1, "n");
      data.SetV(2, int(i) + 1, values[i]);
    }
    data.Set_Sum_Mg(&sum);
    data.Set_Sum_Flag("Amt", mode);
  }
};

}  // namespace

TEST(MgSum, TotalsRules) {
  struct Row {
    const char* what;
    std::vector<const char*> values;
    int mode;
    int hide_row;                         // data row hidden (0: none)
    std::vector<TMG_Cell_Attr> attrs;
    const char* option;                   // "name=value" added to the data grid's options
    int ext_bits;
    const char* cell;
  };
  const Row rows[] = {
      {"same decimals are kept", {"1.10", "2.20"}, 1, 0, {}, nullptr, 0, "3.30"},
      {"mixed decimals are trimmed", {"1.5", "2.25"}, 1, 0, {}, nullptr, 0, "3.75"},
      {"same decimals keep their zeros", {"1.50", "2.50"}, 1, 0, {}, nullptr, 0, "4.00"},
      {"integers", {"3", "4"}, 1, 0, {}, nullptr, 0, "7"},
      {"an empty column sums to 0", {"", ""}, 1, 0, {}, nullptr, 0, "0"},
      {"negative and positive", {"-2.50", "1.25"}, 1, 0, {}, nullptr, 0, "-1.25"},
      {"beyond 64 bits, exactly", {"123456789012345678901.5", "1.5"}, 1, 0, {}, nullptr, 0, "123456789012345678903.0"},
      {"signs and bare dots", {"+1.5", ".5", "5.", "-.25"}, 1, 0, {}, nullptr, 0, "6.75"},
      {"18 digits and 19, exactly", {"999999999999999999", "9999999999999999999"}, 1, 0, {}, nullptr, 0,
       "10999999999999999998"},
      {"more than 10 decimals round to 8", {"0.123456789012", "0.000000000001"}, 1, 0, {}, nullptr, 0, "0.12345679"},
      {"a text adds what it reads as", {"abc", "5", "2x"}, 1, 0, {}, nullptr, 0, "7"},
      {"a hidden row is not counted", {"1", "2", "5"}, 1, 3, {}, nullptr, 0, "3"},
      {"flag 16 on a cell leaves it out", {"1", "2", "5"}, 1, 0, {{3, 2, 16, 0, 0}}, nullptr, 0, "3"},
      {"flag 16 on a row leaves it out", {"1", "2", "5"}, 1, 0, {{3, -10, 16, 0, 0}}, nullptr, 0, "3"},
      {"flag 32 on the cell takes it back", {"1", "2", "5"}, 1, 0, {{3, -10, 16, 0, 0}, {3, 2, 32, 0, 0}}, nullptr, 0, "8"},
      {"flag 16 on the column", {"1", "2"}, 1, 0, {{-10, 2, 16, 0, 0}}, nullptr, 0, "0"},
      {"thousands with bit 4", {"1234567.5", "1"}, 1, 0, {}, nullptr, 4, "1,234,568.5"},
      {"average over all rows with text", {"1.00", "2.00", "3.00", ""}, 2, 0, {}, nullptr, 0, "E:1.50"},
      {"an average grouped by thousands", {"4000000.00", "2000000.00"}, 2, 0, {}, nullptr, 4, "E:3,000,000.00"},
      {"sum_val replaces the statistic", {"1", "2"}, 2, 0, {}, "sum_val.Amt=-", 0, "-"},
      {"sum_ext adds a second line", {"3", "4"}, 1, 0, {}, "sum_ext.Amt=yuan", 0, "Tot:7\r\nyuan"},
      {"sum_ext alone without statistic", {"3", "4"}, 0, 0, {}, "sum_ext.Amt=n/a", 0, "n/a"},
      {"no statistic, no option: empty", {"3", "4"}, 0, 0, {}, nullptr, 0, ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    Paired t(r.values, r.mode);
    if (r.hide_row) t.data.SetRowHeights(r.hide_row, 0);
    t.data.Cell_Attr = r.attrs;
    if (r.option) {
      const std::string o(r.option);
      t.data.Opt_Add(o.substr(0, o.find('=')).c_str(), o.substr(o.find('=') + 1).c_str());
    }
    t.data.Add_Ext_Opt(2, r.ext_bits);
    t.data.Sync_Sum();
    EXPECT_EQ(t.sum.Cells(2, 0), QString::fromUtf8(r.cell));
    EXPECT_EQ(t.sum.RowCount(), 2);
    EXPECT_EQ(t.sum.RowHeights(1), 0);
    if (r.option && std::string(r.option).rfind("sum_ext.Amt=yuan", 0) == 0) {
      EXPECT_GT(t.sum.RowHeights(0), t.sum.DefaultRowHeight()) << "two lines need a taller sum line";
    }
  }
}

// The count goes under the first column of at least 50 pixels when it has no statistic, else into the
// corner; the sum line copies the layout and never shows check boxes.
TEST(MgSum, RowCountAndLayout) {
  struct Row {
    const char* what;
    int name_width;  // column 1
    int name_mode;
    const char* count_cell;
    const char* corner;
  };
  const Row rows[] = {
      {"under the name column", 64, 0, "合计 2", ""},
      {"narrow name column: the next wide one has a statistic", 40, 0, nullptr, "总2 "},
      {"statistic in the first wide column: the corner", 64, 1, nullptr, "总2 "},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    Paired t({"1", "2"}, 1);
    t.data.SetColWidths(1, r.name_width);
    t.data.SetColStatMode(1, r.name_mode);
    t.data.SetColWidths(3, 77);
    t.data.Add_Def(3, "bool");
    t.data.Sync_Sum();
    if (r.count_cell) {
      EXPECT_EQ(t.sum.Cells(1, 0), QString::fromUtf8(r.count_cell));
    }
    if (r.name_width < 50) {
      EXPECT_EQ(t.sum.Cells(2, 0), QStringLiteral("3")) << "Amt has a statistic";
    }
    EXPECT_EQ(t.sum.Cells(0, 0), QString::fromUtf8(r.corner));
    EXPECT_EQ(t.sum.ColWidths(3), 77);
    EXPECT_EQ(t.sum.GetColShowStyle(3), 0);
    EXPECT_EQ(t.sum.ColCount(), 4);
  }
  Paired t({"1"}, 0);
  t.data.SetColCount(6);
  t.data.SetADEF({QStringLiteral("A,float"), QStringLiteral("B,int"), QStringLiteral("C"), QStringLiteral("D,bool"),
                  QStringLiteral("E,number")});
  t.data.Set_All_Num_Sum_Flag();
  const int modes[] = {0, 1, 1, 0, 0, 1};
  for (int c = 0; c < 6; ++c) EXPECT_EQ(t.data.GetColStatMode(c), modes[c]) << c;
  t.data.Clear_All_Sum_Flag();
  for (int c = 0; c < 6; ++c) EXPECT_EQ(t.data.GetColStatMode(c), 0) << c;
}

// Either grid scrolled scrolls the other; the totals stay under their columns as the data grid's
// vertical bar comes and goes; refitting the sum line (a click on the header) moves neither.
TEST(MgSum, ScrollingAndTheVerticalBar) {
  Paired t({"1"}, 1);
  t.data.SetColCount(30);
  t.data.SetRowCount(40);
  for (int r = 1; r < 40; ++r) t.data.SetV(1, r, "a");
  t.sum.resize(300, 40);
  t.data.resize(300, 200);
  t.data.show();
  t.sum.show();
  t.data.Sync_Sum();
  const struct Step {
    const char* what;
    std::function<void()> act;
    int left;
    bool bar;
  } steps[] = {
      {"data to 5", [&] { t.data.SetLeftCol(5); }, 5, true},
      {"sum to 9", [&] { t.sum.SetLeftCol(9); }, 9, true},
      {"a filter to no row takes the bar away", [&] { t.data.Filter(1, map_wchar(u"x")); }, 9, false},
      {"data back to 1, all rows shown", [&] { t.data.SetLeftCol(1); t.data.Filter_Show_All(); }, 1, true},
      {"locked on column 3, data to 12: the corner cell opens the menu where the view is", [&] {
         t.data.Init_Popup_Menu();
         t.data.Click_Col = 3;
         t.data.Base_Menu_Item("mg_lock_fixed_col")->action()->trigger();
         t.data.SetLeftCol(12);
         QTest::mouseClick(t.data.viewport(), Qt::LeftButton, {}, QPoint(3, 3));
         EXPECT_TRUE(t.data.Base_Popup_Menu()->menu()->isVisible());
         t.data.Base_Popup_Menu()->menu()->hide();
       }, 12, true},
  };
  for (const Step& s : steps) {
    s.act();
    QCoreApplication::processEvents();
    EXPECT_EQ(t.data.LeftCol(), s.left) << s.what;
    EXPECT_EQ(t.sum.LeftCol(), s.left) << s.what;
    EXPECT_EQ(t.data.verticalScrollBar()->isVisible(), s.bar) << s.what;
    EXPECT_EQ(t.sum.viewport()->width(), t.data.viewport()->width()) << s.what;
  }
  bool can = true;
  t.sum.OnSelectCell(&t.sum, 2, 0, can);
  EXPECT_FALSE(can) << "the sum line is never selected";
}

// Neither grid owns the other: whichever goes first, the one left scrolls and keeps to itself.
TEST(MgSum, EitherGridMayGoFirst) {
  controlsTestApp();
  for (bool dataGoes : {true, false}) {
    auto data = std::make_unique<TMG>();
    auto sum = std::make_unique<TMG>();
    data->SetColCount(20);
    data->Set_Sum_Mg(sum.get());
    data->Sync_Sum();
    (dataGoes ? data : sum).reset();
    TMG& left = dataGoes ? *sum : *data;
    left.SetLeftCol(7);
    EXPECT_EQ(std::make_tuple(left.LeftCol(), left.Sum_Mg(), left.Data_Mg()), std::make_tuple(7, nullptr, nullptr))
        << (dataGoes ? "the data grid went first" : "the sum grid went first");
  }
}
