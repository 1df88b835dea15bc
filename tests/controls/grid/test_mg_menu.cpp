// The grid's popup menu as a user meets it: where it opens and which items it shows, what lands on the
// clipboard, the grid functions inside a host's menu, column locking, and the items that hand the grid
// to the host (through test doubles registered as the host's functions).
#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"
#include "core/data/sqlca.h"
#include "toolkit/tk_menu.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QTest>
#include <functional>
#include <memory>
#include <string>

namespace {

// A shown grid of cols x rows, one header row, cell (c, r) holding "<column letter><r>".
std::unique_ptr<TMG> Shown(int cols, int rows) {
  controlsTestApp();
  auto g = std::make_unique<TMG>();
  g->resize(400, 200);
  g->SetColCount(cols);
  g->SetRowCount(rows);
  for (int c = 1; c < cols; ++c)
    for (int r = 0; r < rows; ++r) g->SetCells(c, r, QString(QChar(u'a' + c - 1)) + QString::number(r));
  g->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(g.get()));
  return g;
}

void Right_Press(TMG& g, int c, int r) {
  const TRect cell = g.CellRect(c, r);
  QTest::mousePress(g.viewport(), Qt::RightButton, Qt::NoModifier, QPoint(cell.Left + 3, cell.Top + 3));
  QTest::mouseRelease(g.viewport(), Qt::RightButton, Qt::NoModifier, QPoint(cell.Left + 3, cell.Top + 3));
}

QString Board() { return QGuiApplication::clipboard()->text(); }

// What the host's doubles were asked, in order.
std::string g_calls;
int Save(TMG*) { return g_calls += "save;", 1; }
int Import(TMG*) { return g_calls += "import;", 1; }
int Fit(TMG*) { return g_calls += "fit;", 1; }
int Max(TMG*) { return g_calls += "max;", 1; }
int Schemes(const char* key, TSQLCA* q) {
  if (std::string(key) != "vouchers") return 0;
  q->Set_Field_Count(2);
  for (const auto& s : {std::make_pair(u"7", u"宽列"), std::make_pair(u"9", u"窄列")})
    q->Add_Row(), q->Set_Value(0, s.first), q->Set_Value(1, s.second);
  return 2;
}
int Apply(Grid_Fmt_Desc* d, TMG*, int flag) { return g_calls += "apply " + std::string(d->cur_id) + " " + std::to_string(flag) + ";", 1; }
int Send(TMG*, const char* code) { return g_calls += "send " + std::string(code) + ";", 1; }
int Design(const char* code) { return g_calls += "design " + std::string(code) + ";", 1; }
int Outbox() { return g_calls += "outbox;", 1; }

void Register_Doubles() {
  controlsTestApp();  // first: the registry library is found through the application's folder
  static const bool once = [] {
    const std::pair<const char*, void*> fns[] = {
        {kGui_Save_Mg, reinterpret_cast<void*>(Gui_Save_Mg_Fn(Save))},
        {kGui_Mg_Import_From_Dat, reinterpret_cast<void*>(Gui_Mg_Import_From_Dat_Fn(Import))},
        {kGui_Fit_Mg_Col_Size_Skip_0, reinterpret_cast<void*>(Gui_Fit_Mg_Col_Size_Skip_0_Fn(Fit))},
        {kPdu_Grid_Show_Max, reinterpret_cast<void*>(Pdu_Grid_Show_Max_Fn(Max))},
        {kPdu_Fmtgrid_Load_List, reinterpret_cast<void*>(Pdu_Fmtgrid_Load_List_Fn(Schemes))},
        {kPdu_Fmtgrid_F2g_Handle, reinterpret_cast<void*>(Pdu_Fmtgrid_F2g_Handle_Fn(Apply))},
        {kTbx_Sms_Send_By_Temp, reinterpret_cast<void*>(Tbx_Sms_Send_By_Temp_Fn(Send))},
        {kTbx_Sms_Temp_Design, reinterpret_cast<void*>(Tbx_Sms_Temp_Design_Fn(Design))},
        {kTbx_Sms_My_List, reinterpret_cast<void*>(Tbx_Sms_My_List_Fn(Outbox))}};
    for (const auto& f : fns) Zem_Reg_Shared_Ptr(f.first, f.second);
    return true;
  }();
  (void)once;
}

}  // namespace

// Where the menu opens and what it shows. Routes: a right press on a cell or over the cell editor, a left
// click on the corner cell (with the number clean-ups); none with "hide_base_menu" or over a host menu.
TEST(MgMenu, WhereItOpensAndWhatItShows) {
  Register_Doubles();
  static Grid_Fmt_Desc desc = {"vouchers", ""};
  struct Row {
    const char* what;
    std::function<void(TMG&)> setup;
    char route;  // 'r' right press, 'e' over the editor, 'c' corner
    bool opens;
    const char* shown;  // item names, blank-separated; "-x" for hidden
    const char16_t* range_caption;
  };
  const Row rows[] = {
      {"a fresh grid", [](TMG&) {}, 'r', true,
       "mg_copy_all mg_save_to_file mg_copy_selected -mg_import_from_dat mg_search mg_fit_col_size -mg_unsort "
       "mg_show_max mg_filter -mg_hide_zero mg_lock_fixed_col -mg_range_select -mg_format_temp_0",
       nullptr},
      {"export not allowed", [](TMG& g) { g.Export_Allowed = 0; }, 'r', true,
       "-mg_copy_all -mg_save_to_file -mg_copy_selected -mg_show_max mg_search", nullptr},
      {"import mode 1, sorted", [](TMG& g) { g.Set_Dat_Id("v", 1), g.Sort_Col_Add(1, 0), g.Sort(); }, 'e', true,
       "mg_import_from_dat mg_unsort", nullptr},
      {"sorted, then rows deleted", [](TMG& g) { g.Sort_Col_Add(1, 0), g.Sort(), g.SetRowCount(3); }, 'r', true,
       "-mg_unsort", nullptr},
      {"corner cell, range switch offered", [](TMG& g) { g.Allow_Range_Select_Mode_Switch(1); }, 'c', true,
       "mg_hide_zero mg_clear_dot_zero mg_range_select", u" 进入选择模式"},
      {"range mode on", [](TMG& g) { g.Allow_Range_Select_Mode_Switch(1), g.Popu_Menu_Range_Select_Mode_Switch_Click(&g); },
       'r', true, "mg_range_select", u" 退出选择模式"},
      {"two display schemes", [](TMG& g) { g.Set_Fmt_Desc(&desc); }, 'r', true,
       "mg_format_temp_0 mg_format_temp_1 -mg_format_temp_2", nullptr},
      {"SMS templates", [](TMG& g) { g.Bind_Sms_Temp("T01,T02"); }, 'r', true, "mg_sms_send mg_sms_design mg_sms_list", nullptr},
      {"SMS list emptied", [](TMG& g) { g.Bind_Sms_Temp("T01"), g.Bind_Sms_Temp(" , "); }, 'r', true, "-mg_sms_send -mg_sms_list", nullptr},
      {"hide_base_menu", [](TMG& g) { g.Opt_Add("hide_base_menu", nullptr); }, 'r', false, "", nullptr},
      {"the host's own menu", [](TMG& g) { g.Set_PopupMenu(new TPopupMenu(&g)); }, 'r', false, "", nullptr},
  };
  for (const Row& row : rows) {
    auto g = Shown(4, 4);
    row.setup(*g);
    g->FocusCell(2, 2);
    const TRect cell = g->CellRect(row.route == 'c' ? 0 : 2, row.route == 'c' ? 0 : 2);
    if (row.route == 'c')
      QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(cell.Left + 5, cell.Top + 5));
    else if (row.route == 'e')
      QTest::mousePress(g->InplaceEditor(), Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    else
      Right_Press(*g, 2, 2);
    TPopupMenu* m = g->Base_Popup_Menu();
    ASSERT_EQ(m && m->menu()->isVisible(), row.opens) << row.what;
    if (!row.opens) continue;
    EXPECT_EQ(g->Click_Col * 10 + g->Click_Row, 22) << row.what;
    for (const QString& n : QString::fromLatin1(row.shown).split(u' ', Qt::SkipEmptyParts)) {
      TMenuItem* item = g->Base_Menu_Item(n.mid(n.startsWith(u'-')).toLatin1().constData());
      ASSERT_NE(item, nullptr) << row.what << " " << n.toStdString();
      EXPECT_EQ(item->action()->isVisible(), !n.startsWith(u'-')) << row.what << " " << n.toStdString();
    }
    if (row.range_caption) {
      EXPECT_EQ(g->Base_Menu_Item("mg_range_select")->Caption(), QString::fromUtf16(row.range_caption)) << row.what;
    }
    m->menu()->hide();
  }
}

// The items' work: the clipboard text (hidden row 2 and column 3 left out, characters GBK lacks as "?",
// tabs and line breaks as blanks), the keys, Alt+click, fitting rows, and the host's functions.
TEST(MgMenu, WhatTheItemsDo) {
  Register_Doubles();
  static Grid_Fmt_Desc desc = {"vouchers", ""};
  auto g = Shown(5, 5);
  g->SetCells(2, 1, QStringLiteral("b\t1 "));
  g->SetCells(1, 3, QString::fromUtf16(u" 한🙂元\r\nx"));
  g->SetColWidths(3, 0);
  g->SetRowHeights(2, 0);
  g->SetColWidths(2, 30);
  g->Set_Fmt_Desc(&desc);
  g->Bind_Sms_Temp("T01, T02");
  g->Set_Dat_Id("v", 1);
  auto item = [&](const char* name) { return [&g, name] { g->Base_Menu_Item(name)->action()->trigger(); }; };
  auto key = [&](Qt::Key k, const char* before) {
    return [&g, k, before] { QGuiApplication::clipboard()->setText(before), QTest::keyClick(g.get(), k, Qt::ControlModifier); };
  };
  const QString data = QString::fromUtf16(u"a1\tb 1\td1\t\na2\tb2\td2\t\n한🙂元  x\tb3\td3\t\na4\tb4\td4\t\n");
  const QString all = QString::fromUtf16(u"a0\tb0\td0\r\na1\tb 1 \td1\r\n ??元  x\tb3\td3\r\na4\tb4\td4");
  struct Row {
    const char* what;
    std::function<void()> act;
    QString board;      // the clipboard afterwards (null: not looked at)
    std::string calls;  // what the host was asked
  } rows[] = {
      {"copy all", item("mg_copy_all"), all, ""},
      {"copy selection, hidden last column", [&] { g->SetSelection({2, 1, 3, 3}), item("mg_copy_selected")(); },
       QStringLiteral("b 1 \t\r\nb3\t"), ""},
      {"Ctrl+C", [&] { g->SetSelection({1, 3, 1, 4}), key(Qt::Key_C, "")(); }, QString::fromUtf16(u" ??元  x\r\na4"), ""},
      {"Ctrl+B", key(Qt::Key_B, ""), QStringLiteral("a0\tb0\td0\t\n") + data, ""},
      {"Ctrl+N", key(Qt::Key_N, ""), data, ""},
      {"Ctrl+B, export not allowed", [&] { g->Export_Allowed = 0, key(Qt::Key_B, "kept")(), g->Export_Allowed = 1; },
       QStringLiteral("kept"), ""},
      {"Alt+click copies the cell as it is", [&] {
         const TRect c = g->CellRect(2, 1);
         QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::AltModifier, QPoint(c.Left + 3, c.Top + 3));
       }, QStringLiteral("b\t1 "), ""},
      {"save, import, fit widths, full screen", [&] {
         for (const char* n : {"mg_save_to_file", "mg_import_from_dat", "mg_fit_col_size", "mg_show_max"}) item(n)();
       }, QString(), "save;import;fit;max;"},
      {"second display scheme", [&] {
         Right_Press(*g, 1, 1), g->Base_Popup_Menu()->menu()->hide(), item("mg_format_temp_1")();
       }, QString(), "apply 9 0;"},
      {"SMS send, design, outbox", [&] {
         g->Base_Menu_Item("mg_sms_send")->Items(1)->action()->trigger();
         g->Base_Menu_Item("mg_sms_design")->Items(0)->action()->trigger();
         item("mg_sms_list")();
       }, QString(), "send T02;design T01;outbox;"},
  };
  for (Row& r : rows) {
    g_calls.clear();
    r.act();
    if (!r.board.isNull()) {
      EXPECT_EQ(Board(), r.board) << r.what;
    }
    EXPECT_EQ(g_calls, r.calls) << r.what;
  }
  EXPECT_EQ(g->Base_Menu_Item("mg_format_temp_1")->Caption(), QString::fromUtf16(u" 显示方案-窄列"));
  EXPECT_EQ(g->Base_Menu_Item("mg_sms_send")->Items(1)->Caption(), QStringLiteral("T02"));
  // Fitting the rows gives the narrow column's long text the lines it needs.
  item("mg_fit_row_size")();
  EXPECT_GT(g->RowHeights(3), g->DefaultRowHeight());
}

// Repeated right presses keep exactly one grid-functions submenu at the top of the host's menu; it
// opens the grid's own items; attaching another menu or destroying the grid takes it out again.
TEST(MgMenu, InsideTheHostMenu) {
  auto g = Shown(4, 4);
  TPopupMenu first, second;
  first.SetName(QStringLiteral("voucherMenu"));
  const struct {
    TPopupMenu* menu;
    const char16_t* own;
  } menus[] = {{&first, u" 刷新"}, {&second, u"打印"}};
  for (const auto& m : menus) {
    auto* own = new TMenuItem(m.menu);
    own->SetCaption(QString::fromUtf16(m.own));
    m.menu->Items()->Add(own);
  }
  g->Set_PopupMenu(&first);
  for (int i = 0; i < 3; ++i) Right_Press(*g, 1, 1);
  ASSERT_EQ(first.Count(), 2);
  TMenuItem* sub = first.Items(0);
  EXPECT_EQ(sub->Name(), QStringLiteral("voucherMenu_grid_base_fun"));
  EXPECT_EQ(sub->Caption(), QString::fromUtf16(u" 表格功能"));
  EXPECT_EQ(first.Items(1)->Caption(), QString::fromUtf16(u" 刷新"));
  QMenu* shown = sub->action()->menu();
  ASSERT_EQ(shown, g->Base_Popup_Menu()->menu());
  g->Export_Allowed = 0;  // opening the submenu brings its items in line, as the menu itself does
  shown->popup(QPoint(0, 0));
  EXPECT_FALSE(g->Base_Menu_Item("mg_copy_all")->action()->isVisible());
  EXPECT_FALSE(g->Base_Menu_Item("mg_hide_zero")->action()->isVisible());
  shown->hide();

  g->Set_PopupMenu(&second);
  EXPECT_EQ(first.Count(), 1);
  Right_Press(*g, 1, 1);
  ASSERT_EQ(second.Count(), 2);
  EXPECT_EQ(second.Items(0)->Caption(), QString::fromUtf16(u"表格功能"));
  g.reset();
  EXPECT_EQ(second.Count(), 1);
}

// Locking on a column keeps it and those left of it in place while the rest scrolls; the same column
// again unlocks; the last column or no column returns to the fixed columns from before.
TEST(MgMenu, ColumnLocking) {
  auto g = Shown(12, 4);
  g->Init_Popup_Menu();
  const struct {
    int clicked, fixed;
  } steps[] = {{3, 4}, {3, 1}, {2, 3}, {6, 7}, {11, 1}, {4, 5}, {-1, 1}, {0, 1}};
  for (const auto& s : steps) {
    g->Click_Col = s.clicked;
    g->Base_Menu_Item("mg_lock_fixed_col")->action()->trigger();
    EXPECT_EQ(g->FixedCols(), s.fixed) << s.clicked;
  }
  Right_Press(*g, 3, 1);
  g->Base_Popup_Menu()->menu()->hide();
  g->Base_Menu_Item("mg_lock_fixed_col")->action()->trigger();
  const int x3 = g->CellRect(3, 1).Left;
  g->SetLeftCol(9);
  EXPECT_GT(g->LeftCol(), 5);
  EXPECT_EQ(g->CellRect(3, 1).Left, x3);
  EXPECT_TRUE(g->CellRect(4, 1).Right <= g->CellRect(4, 1).Left);  // scrolled out of view
}
