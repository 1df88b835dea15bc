// The grid's base popup menu as far as the grid builds it now: its items in order, and the import item
// that Set_Dat_Id shows and hides.
#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"
#include "toolkit/tk_menu.h"

#include <QMenu>
#include <QTest>

#include <string>

TEST(MgMenu, SetDatIdBuildsTheMenuAndFollowsTheImportMode) {
  controlsTestApp();
  TMG g;
  EXPECT_EQ(g.Base_Popup_Menu(), nullptr);
  EXPECT_EQ(g.Base_Menu_Item("mg_import_from_dat"), nullptr);

  struct Step {
    const char* what;
    const char* id;
    int mode;
    std::string stored;
    bool shown;
  };
  const std::string longId(70, 'k');
  const Step steps[] = {
      {"mode 0 builds the menu, item hidden", "imp.voucher", 0, "imp.voucher", false},
      {"mode 1 shows it", "imp.voucher", 1, "imp.voucher", true},
      {"any non-zero mode shows it", "imp.other", -3, "imp.other", true},
      {"back to 0 hides it", "imp.other", 0, "imp.other", false},
      {"ids are cut to 62 bytes", longId.c_str(), 2, std::string(62, 'k'), true},
      {"a null id is empty", nullptr, 0, "", false},
  };
  TPopupMenu* first = nullptr;
  for (const Step& s : steps) {
    EXPECT_EQ(g.Set_Dat_Id(s.id, s.mode), 1) << s.what;
    EXPECT_EQ(g.Dat_Id(), s.stored) << s.what;
    EXPECT_EQ(g.Dat_Mode(), s.mode) << s.what;
    ASSERT_NE(g.Base_Popup_Menu(), nullptr) << s.what;
    if (!first) first = g.Base_Popup_Menu();
    EXPECT_EQ(g.Base_Popup_Menu(), first) << s.what << ": built once";
    TMenuItem* item = g.Base_Menu_Item("mg_import_from_dat");
    ASSERT_NE(item, nullptr) << s.what;
    EXPECT_EQ(item->Visible(), s.shown) << s.what;
  }
}

TEST(MgMenu, BaseItemsInTheirOrder) {
  controlsTestApp();
  TMG g;
  g.Set_Dat_Id("x", 1);
  EXPECT_EQ(g.Init_Popup_Menu(), 1);  // already built: nothing changes
  TPopupMenu* m = g.Base_Popup_Menu();
  ASSERT_NE(m, nullptr);
  struct Row {
    int index;
    const char16_t* caption;
    bool visible;
  } rows[] = {
      {0, u" 复制全部表格内容", true},   {1, u" 保存内容到文件", true},
      {2, u" 复制选中部分表格内容", true}, {3, u" 从数据文件引入", true},
      {4, u"-", true},                    {5, u" 表格内查找Ctrl+F", true},
      {9, u"-", true},                    {11, u" 根据内容调整各列合适高度", true},
      {12, u" 撤销上次排序", false},       {14, u" 过滤数据", true},
      {17, u" 锁定列/解锁", true},         {18, u" 进入选择模式", false},
      {19, u" 显示方案", false},
  };
  for (const Row& r : rows) {
    TMenuItem* item = m->Items(r.index);
    ASSERT_NE(item, nullptr) << r.index;
    EXPECT_EQ(item->Caption(), QString::fromUtf16(r.caption)) << r.index;
    EXPECT_EQ(item->Visible(), r.visible) << r.index;
  }
  EXPECT_EQ(m->Count(), 19 + 20);
  EXPECT_EQ(m->Items(3), g.Base_Menu_Item("mg_import_from_dat"));
  EXPECT_EQ(g.Base_Menu_Item(nullptr), nullptr);
  EXPECT_EQ(g.Base_Menu_Item("no_such_item"), nullptr);
}

// The row-height item is the grid's own: a long text in a narrow column gets the rows it needs.
TEST(MgMenu, FitRowHeightsItem) {
  controlsTestApp();
  TMG g;
  g.resize(400, 300);
  g.SetColCount(2);
  g.SetRowCount(3);
  g.SetColWidths(1, 40);
  g.SetCells(1, 2, QString::fromUtf16(u"一二三四五六七八九十"));
  g.Init_Popup_Menu();
  TMenuItem* fit = g.Base_Menu_Item("mg_fit_row_size");
  ASSERT_NE(fit, nullptr);
  const int before = g.RowHeights(2);
  fit->Click();
  EXPECT_GT(g.RowHeights(2), before);
  EXPECT_EQ(g.RowHeights(1), g.DefaultRowHeight());
}

// Where the grid's own menu opens: a right press anywhere (also over the cell being edited), a left click
// on the corner cell with the number clean-ups shown; not with "hide_base_menu", not over a host menu.
// The unsort item shows while the last sort can be undone.
TEST(MgMenu, WhereTheMenuOpens) {
  controlsTestApp();
  struct Row {
    const char* what;
    bool corner, editor, hide, hostMenu, sorted;
    bool opens, cleanUps, unsort;
  };
  const Row rows[] = {
      {"right press on a cell", false, false, false, false, false, true, false, false},
      {"right press over the editor", false, true, false, false, true, true, false, true},
      {"left click on the corner", true, false, false, false, true, true, true, true},
      {"hide_base_menu", false, false, true, false, false, false, false, false},
      {"the host's own menu", false, false, false, true, false, false, false, false},
  };
  for (const Row& r : rows) {
    TMG g;
    g.resize(400, 200);
    g.SetColCount(3);
    g.SetRowCount(4);
    g.SetV(1, 1, "b");
    g.SetV(1, 2, "a");
    if (r.sorted) {
      g.Sort_Col_Add(1, 0);
      g.Sort();
    }
    if (r.hide) g.Opt_Add("hide_base_menu", nullptr);
    TPopupMenu host;
    if (r.hostMenu) g.SetPopupMenu(&host);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    g.FocusCell(2, 2);
    const TRect cell = g.CellRect(r.corner ? 0 : 2, r.corner ? 0 : 2);
    const QPoint at(cell.Left + 5, cell.Top + 5);
    if (r.corner) {
      QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::NoModifier, at);
    } else {
      QWidget* target = r.editor ? static_cast<QWidget*>(g.InplaceEditor()) : g.viewport();
      ASSERT_NE(target, nullptr) << r.what;
      QTest::mousePress(target, Qt::RightButton, Qt::NoModifier, r.editor ? QPoint(5, 5) : at);
      QTest::mouseRelease(target, Qt::RightButton, Qt::NoModifier, r.editor ? QPoint(5, 5) : at);
    }
    TPopupMenu* m = g.Base_Popup_Menu();
    const bool open = m && m->menu()->isVisible();
    EXPECT_EQ(open, r.opens) << r.what;
    if (!open) continue;
    EXPECT_EQ(g.Click_Col, 2) << r.what;
    EXPECT_EQ(g.Click_Row, 2) << r.what;
    EXPECT_EQ(g.Base_Menu_Item("mg_hide_zero")->Visible(), r.cleanUps) << r.what;
    EXPECT_EQ(g.Base_Menu_Item("mg_unsort")->Visible(), r.unsort) << r.what;
    m->menu()->hide();
  }
}
