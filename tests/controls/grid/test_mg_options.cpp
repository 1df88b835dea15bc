// Row check marks with the host's vetoes, the range-select switch, named options and extended option
// bits of a TMG, driven as a user and a host drive them.
#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"
#include "toolkit/tk_menu.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QTest>
#include <cstring>
#include <functional>
#include <string>

namespace {

// Rows 1..4 of the check-mark column as a user reads them: 'T' where a tick is drawn, '.' elsewhere.
std::string Ticks(TMG& g) {
  const QImage img = g.viewport()->grab().toImage();
  std::string s;
  for (int r = 1; r < g.RowCount(); ++r) {
    const TRect c = g.CellRect(2, r);
    int tick = 0;
    for (int y = c.Top; y < c.Bottom; ++y)
      for (int x = c.Left; x < c.Right; ++x) tick += img.pixel(x, y) == qRgb(0x66, 0x18, 0xC8);
    s += tick > 10 ? 'T' : '.';
    EXPECT_EQ(tick > 10, g.GetRow_Bool(r)) << r;
  }
  return s;
}

}  // namespace

// The host refuses to mark row 2 and to unmark row 3; every way of marking respects that.
TEST(MgOptions, CheckMarksAndVetoes) {
  controlsTestApp();
  struct Row {
    const char* what;
    const char* before;
    std::function<void(TMG&, TPopupMenu&)> act;
    const char* after;
  };
  auto item = [](int i) { return [i](TMG&, TPopupMenu& m) { m.Items(i)->action()->trigger(); }; };
  auto key = [](int row, Qt::Key k, Qt::KeyboardModifiers mod) {
    return [=](TMG& g, TPopupMenu&) { g.FocusCell(k == Qt::Key_Space ? 2 : 1, row), QTest::keyClick(&g, k, mod); };
  };
  const Row rows[] = {
      {"mark all", "....", item(2), "T.TT"},
      {"mark none", "TTTT", item(3), "..T."},
      {"mark the selected rows", "....", [item](TMG& g, TPopupMenu& m) { g.SetSelection({1, 2, 1, 4}), item(4)(g, m); }, "..TT"},
      {"unmark the selected rows", "TTTT", [item](TMG& g, TPopupMenu& m) { g.SetSelection({1, 1, 1, 3}), item(5)(g, m); }, "..TT"},
      {"Space in the check column", "....", key(1, Qt::Key_Space, Qt::NoModifier), "T..."},
      {"Ctrl+S on a refused row", "....", key(2, Qt::Key_S, Qt::ControlModifier), "...."},
      {"Ctrl+S unmarks", ".T..", key(2, Qt::Key_S, Qt::ControlModifier), "...."},
      {"a click in the check column", "....", [](TMG& g, TPopupMenu&) {
         const TRect c = g.CellRect(2, 4);
         QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(c.Left + 5, c.Top + 5));
       }, "...T"},
  };
  for (const Row& row : rows) {
    TMG g;
    g.resize(300, 200);
    g.SetColCount(4);
    g.SetRowCount(5);
    g.SetADEF({QStringLiteral("Name"), QStringLiteral("Ok")});
    TPopupMenu menu;
    menu.Items()->Add(new TMenuItem(&menu));  // the host's own item: the mark items follow a separator
    g.Row_Bool_Bind("Ok", &menu);
    for (int r = 1; r <= 4; ++r) g.SetCells(2, r, row.before[r - 1] == 'T' ? QStringLiteral("T") : QString());
    g.OnCanRowBoolBeTrue = [](TObject*, int r, bool& can) { can = r != 2; };
    g.OnCanRowBoolBeFalse = [](TObject*, int r, bool& can) { can = r != 3; };
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    ASSERT_EQ(menu.Count(), 6);
    EXPECT_TRUE(menu.Items(1)->IsLine());
    EXPECT_EQ(menu.Items(2)->Caption(), QString::fromUtf16(u" 全部选中"));
    row.act(g, menu);
    g.FocusCell(3, 1);  // the current cell away from the check column
    EXPECT_EQ(Ticks(g), row.after) << row.what;
  }
  TMG unbound;
  unbound.SetRowCount(3);
  unbound.SetRow_Bool(1, true);
  EXPECT_FALSE(unbound.GetRow_Bool(1));
}

// Range selection: offered, switched on (a block is selected and copied, nothing is edited), off again.
TEST(MgOptions, RangeSelectSwitch) {
  controlsTestApp();
  TMG g;
  g.resize(300, 200);
  g.SetColCount(4);
  g.SetRowCount(4);
  g.SetCells(1, 1, QStringLiteral("x"));
  g.SetCells(2, 2, QStringLiteral("y"));
  g.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
  g.Init_Popup_Menu();
  TMenuItem* item = g.Base_Menu_Item("mg_range_select");
  const TGridOptions editing = g.Options();
  const struct {
    std::function<void()> act;
    int mode;
    const char16_t* caption;  // null: hidden
    bool range;
  } steps[] = {
      {[] {}, -1, nullptr, false},
      {[&] { g.Allow_Range_Select_Mode_Switch(1); }, 0, u" 进入选择模式", false},
      {[&] { item->action()->trigger(); }, 1, u" 退出选择模式", true},
      {[&] { item->action()->trigger(); }, 0, u" 进入选择模式", false},
      {[&] { item->action()->trigger(), g.Allow_Range_Select_Mode_Switch(0); }, -1, nullptr, false},
  };
  for (const auto& s : steps) {
    s.act();
    EXPECT_EQ(g.Range_Select_Mode, s.mode);
    EXPECT_EQ(item->action()->isVisible(), s.caption != nullptr) << s.mode;
    if (s.caption) {
      EXPECT_EQ(item->Caption(), QString::fromUtf16(s.caption));
    }
    EXPECT_EQ(g.Options() == editing, !s.range) << s.mode;
    EXPECT_TRUE(!s.range || g.Options().Contains(goRangeSelect)) << s.mode;
    EXPECT_EQ(g.Options().Contains(goEditing), !s.range) << s.mode;
    if (!s.range) continue;
    EXPECT_FALSE(g.EditorMode());
    g.FocusCell(1, 1);
    QTest::keyClick(&g, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&g, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(&g, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("x\t\r\n\ty"));
  }
}

// Options are lines found by prefix; "auto_adjust_height" fits the rows when added; extended option bits
// are per column, 0 for a column that does not exist.
TEST(MgOptions, OptionsAndExtendedBits) {
  controlsTestApp();
  TMG g;
  g.resize(300, 200);
  g.SetColCount(3);
  g.SetRowCount(3);
  g.SetADEF({QStringLiteral("A"), QStringLiteral("B")});
  g.SetColWidths(1, 20);
  g.SetCells(1, 1, QString::fromUtf16(u"很长的一段文字"));
  g.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
  char val[200];
  auto get = [&](const char* name) { return g.Opt_Get_Val(name, std::strcpy(val, "?")) ? std::string(val) : "none"; };
  const struct {
    const char* what;
    std::function<std::string()> act;
    std::string result;
  } steps[] = {
      {"bare name stored, its value empty", [&] { g.Opt_Add("auto_adjust_height", nullptr); return get("auto_adjust_height"); }, ""},
      {"it fitted the rows", [&] { return std::to_string(g.RowHeights(1) > g.DefaultRowHeight()); }, "1"},
      {"name: value", [&] { g.Opt_Add("sum_val.B", "-"); return get("sum_val.B"); }, "-"},
      {"added again replaces", [&] { g.Opt_Add("sum_val.B", "x y"); return get("sum_val.B"); }, "x y"},
      {"a shorter name finds it", [&] { return std::to_string(g.Opt_Exist("sum_")); }, "1"},
      {"removed", [&] { g.Opt_Remove("sum_val.B"); return get("sum_val.B") + std::to_string(g.Opt_Exist("sum_")); }, "none0"},
      {"cleared", [&] { g.Opt_Clear(); return std::to_string(g.Opt_Exist("auto")); }, "0"},
      {"bits added", [&] { return std::to_string(g.Add_Ext_Opt("B", 8 | 4)); }, "12"},
      {"a bit not set removed", [&] { return std::to_string(g.Remove_Ext_Opt(2, 1)); }, "12"},
      {"a bit removed", [&] { return std::to_string(g.Remove_Ext_Opt("B", 4)); }, "8"},
      {"read back", [&] { return std::to_string(g.Get_Ext_Opt(2)); }, "8"},
      {"no such column", [&] { return std::to_string(g.Add_Ext_Opt(5, 1) + g.Get_Ext_Opt("Z") + g.Remove_Ext_Opt(-1, 1)); }, "0"},
  };
  for (const auto& s : steps) EXPECT_EQ(s.act(), s.result) << s.what;
}
