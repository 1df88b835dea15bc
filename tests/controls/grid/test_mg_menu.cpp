// The grid's popup menu as a user meets it: where it opens and which items it shows, what lands on the
// clipboard, the grid functions inside a host's menu, column locking, the items that hand the grid to the
// host (through test doubles registered as the host's functions); row check marks with the host's
// vetoes, range selection, options and extended option bits.
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
#include <cstring>
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

void Press(TMG& g, int c, int r, Qt::MouseButton b = Qt::RightButton, Qt::KeyboardModifiers m = Qt::NoModifier) {
  const TRect cell = g.CellRect(c, r);
  QTest::mouseClick(g.viewport(), b, m, QPoint(cell.Left + 3, cell.Top + 3));
}

void Close(TMG& g) { g.Base_Popup_Menu()->menu()->hide(); }
QClipboard* Board() { return QGuiApplication::clipboard(); }

std::string g_calls;  // what the host's doubles were asked, in order
int Call(const char* what, const char* code) { return g_calls.append(what).append(" ").append(code) += ';', 1; }
template <class Fn>
void Reg(const char* name, Fn f) { Zem_Reg_Shared_Ptr(name, reinterpret_cast<void*>(f)); }

void Register_Doubles() {
  controlsTestApp();  // first: the registry library is found through the application's folder
  Reg<Gui_Save_Mg_Fn>(kGui_Save_Mg, [](TMG*) { return g_calls += "save;", 1; });
  Reg<Gui_Mg_Import_From_Dat_Fn>(kGui_Mg_Import_From_Dat, [](TMG*) { return g_calls += "import;", 1; });
  Reg<Gui_Fit_Mg_Col_Size_Skip_0_Fn>(kGui_Fit_Mg_Col_Size_Skip_0, [](TMG*) { return g_calls += "fit;", 1; });
  Reg<Pdu_Grid_Show_Max_Fn>(kPdu_Grid_Show_Max, [](TMG*) { return g_calls += "max;", 1; });
  Reg<Pdu_Fmtgrid_Load_List_Fn>(kPdu_Fmtgrid_Load_List, [](const char* key, TSQLCA* q) {
    q->Set_Field_Count(2);
    for (const auto& s : {std::make_pair(u"7", u"宽列"), std::make_pair(u"9", u"窄列")})
      if (std::string(key) == "vouchers") {
        q->Add_Row();
        q->Set_Value(0, s.first);
        q->Set_Value(1, s.second);
      }
    return q->Get_Row_Count();
  });
  Reg<Pdu_Fmtgrid_F2g_Handle_Fn>(kPdu_Fmtgrid_F2g_Handle, [](Grid_Fmt_Desc* d, TMG*, int flag) {
    return g_calls += "apply " + std::string(d->cur_id) + " " + std::to_string(flag) + ";", 1;
  });
  Reg<Tbx_Sms_Send_By_Temp_Fn>(kTbx_Sms_Send_By_Temp, [](TMG*, const char* c) { return Call("send", c); });
  Reg<Tbx_Sms_Temp_Design_Fn>(kTbx_Sms_Temp_Design, [](const char* c) { return Call("design", c); });
  Reg<Tbx_Sms_My_List_Fn>(kTbx_Sms_My_List, [] { return g_calls += "outbox;", 1; });
}

// Rows 1..4 as a user reads the check column 2: 'T' where a tick is drawn, '.' elsewhere.
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

// Where the menu opens and what it shows. Routes: a right press on a cell or over the cell editor, a left
// click on the corner cell (with the number clean-ups); none with "hide_base_menu" or over a host menu.
TEST(MgMenu, WhereItOpensAndWhatItShows) {
  Register_Doubles();
  static Grid_Fmt_Desc desc = {"vouchers", ""};
  auto sorted = [](TMG& g) {
    g.Sort_Col_Add(1, 0);
    g.Sort();
  };
  const struct {
    const char* what;
    std::function<void(TMG&)> setup;
    char route;         // 'r' right press, 'e' over the editor, 'c' corner, '-' the menu does not open
    const char* shown;  // item names, blank-separated; "-x" for hidden
  } rows[] = {
      {"a fresh grid", [](TMG&) {}, 'r',
       "mg_copy_all mg_save_to_file mg_copy_selected -mg_import_from_dat mg_search mg_fit_col_size -mg_unsort "
       "mg_show_max mg_filter -mg_hide_zero mg_lock_fixed_col -mg_range_select -mg_format_temp_0"},
      {"export not allowed", [](TMG& g) { g.Export_Allowed = 0; }, 'r',
       "-mg_copy_all -mg_save_to_file -mg_copy_selected -mg_show_max mg_search"},
      {"import mode 1, sorted", [&](TMG& g) { g.Set_Dat_Id("v", 1); sorted(g); }, 'e', "mg_import_from_dat mg_unsort"},
      {"sorted, then rows deleted", [&](TMG& g) { sorted(g); g.SetRowCount(3); }, 'r', "-mg_unsort"},
      {"corner cell, range switch offered", [](TMG& g) { g.Allow_Range_Select_Mode_Switch(1); }, 'c',
       "mg_hide_zero mg_clear_dot_zero mg_range_select"},
      {"two display schemes", [](TMG& g) { g.Set_Fmt_Desc(&desc); }, 'r',
       "mg_format_temp_0 mg_format_temp_1 -mg_format_temp_2"},
      {"SMS templates", [](TMG& g) { g.Bind_Sms_Temp("T01,T02"); }, 'r', "mg_sms_send mg_sms_design mg_sms_list"},
      {"SMS list emptied", [](TMG& g) { g.Bind_Sms_Temp("T01"); g.Bind_Sms_Temp(" ,\t, \t"); }, 'r',
       "-mg_sms_send -mg_sms_list"},
      {"hide_base_menu", [](TMG& g) { g.Opt_Add("hide_base_menu", nullptr); }, '-', ""},
      {"the host's own menu", [](TMG& g) { g.Set_PopupMenu(new TPopupMenu(&g)); }, '-', ""},
  };
  for (const auto& row : rows) {
    auto g = Shown(4, 4);
    row.setup(*g);
    g->FocusCell(2, 2);
    const TRect corner = g->CellRect(0, 0);
    if (row.route == 'c')
      QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(corner.Left + 5, corner.Top + 5));
    else if (row.route == 'e')
      QTest::mousePress(g->InplaceEditor(), Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    else
      Press(*g, 2, 2);
    TPopupMenu* m = g->Base_Popup_Menu();
    ASSERT_EQ(m && m->menu()->isVisible(), row.route != '-') << row.what;
    if (row.route == '-') continue;
    EXPECT_EQ(g->Click_Col * 10 + g->Click_Row, 22) << row.what;
    for (const QString& n : QString::fromLatin1(row.shown).split(u' ', Qt::SkipEmptyParts)) {
      TMenuItem* item = g->Base_Menu_Item(n.mid(n.startsWith(u'-')).toLatin1().constData());
      ASSERT_NE(item, nullptr) << row.what << " " << n.toStdString();
      EXPECT_EQ(item->action()->isVisible(), !n.startsWith(u'-')) << row.what << " " << n.toStdString();
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
  g->Bind_Sms_Temp("\tT01 ,\t T02\t\r\n");  // codes trimmed of blanks, tabs and line breaks
  g->Set_Dat_Id("v", 1);
  auto item = [&](const char* name) { return [&g, name] { g->Base_Menu_Item(name)->action()->trigger(); }; };
  auto key = [&](Qt::Key k, const char* before) {
    return [&g, k, before] {
      Board()->setText(before);
      QTest::keyClick(g.get(), k, Qt::ControlModifier);
    };
  };
  const QString data = QString::fromUtf16(u"a1\tb 1\td1\t\na2\tb2\td2\t\n한🙂元  x\tb3\td3\t\na4\tb4\td4\t\n");
  const QString all = QString::fromUtf16(u"a0\tb0\td0\r\na1\tb 1 \td1\r\n ??元  x\tb3\td3\r\na4\tb4\td4");
  const struct {
    const char* what;
    std::function<void()> act;
    QString board;      // the clipboard afterwards (null: not looked at)
    std::string calls;  // what the host was asked
  } rows[] = {
      {"copy all", item("mg_copy_all"), all, ""},
      {"copy selection, hidden last column", [&] { g->SetSelection({2, 1, 3, 3}), item("mg_copy_selected")(); },
       QStringLiteral("b 1 \t\r\nb3\t"), ""},
      {"Ctrl+C", [&] { g->SetSelection({1, 3, 1, 4}), key(Qt::Key_C, "")(); }, QString::fromUtf16(u" ??元  x\r\na4"),
       ""},
      {"Ctrl+B", key(Qt::Key_B, ""), QStringLiteral("a0\tb0\td0\t\n") + data, ""},
      {"Ctrl+N", key(Qt::Key_N, ""), data, ""},
      {"Ctrl+B, export not allowed", [&] { g->Export_Allowed = 0; key(Qt::Key_B, "kept")(); g->Export_Allowed = 1; },
       QStringLiteral("kept"), ""},
      {"Alt+click copies the cell as it is", [&] { Press(*g, 2, 1, Qt::LeftButton, Qt::AltModifier); },
       QStringLiteral("b\t1 "), ""},
      {"save, import, fit widths, full screen", [&] {
         for (const char* n : {"mg_save_to_file", "mg_import_from_dat", "mg_fit_col_size", "mg_show_max"}) item(n)();
       }, QString(), "save;import;fit;max;"},
      {"second display scheme", [&] { Press(*g, 1, 1); Close(*g); item("mg_format_temp_1")(); },
       QString(), "apply 9 0;"},
      {"SMS send, design, outbox", [&] {
         g->Base_Menu_Item("mg_sms_send")->Items(1)->action()->trigger();
         g->Base_Menu_Item("mg_sms_design")->Items(0)->action()->trigger();
         item("mg_sms_list")();
       }, QString(), "send T02;design T01;outbox;"},
  };
  for (const auto& r : rows) {
    g_calls.clear();
    r.act();
    if (!r.board.isNull()) {
      EXPECT_EQ(Board()->text(), r.board) << r.what;
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
  for (const auto& m : {std::make_pair(&first, u" 刷新"), std::make_pair(&second, u"打印")}) {
    m.first->Items()->Add(new TMenuItem(m.first));
    m.first->Items(0)->SetCaption(QString::fromUtf16(m.second));
  }
  g->Set_PopupMenu(&first);
  for (int i = 0; i < 3; ++i) Press(*g, 1, 1);
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

  g->Opt_Add("hide_base_menu", nullptr);
  Press(*g, 1, 1);  // from now on the host's menu comes without them
  EXPECT_EQ(first.Count(), 1);
  g->Opt_Remove("hide_base_menu");
  Press(*g, 1, 1);
  g->Set_PopupMenu(&second);
  EXPECT_EQ(first.Count(), 1);
  Press(*g, 1, 1);
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
  const struct { int clicked, fixed; } steps[] = {{3, 4}, {3, 1}, {2, 3}, {6, 7}, {11, 1}, {4, 5}, {-1, 1}, {0, 1}};
  for (const auto& s : steps) {
    g->Click_Col = s.clicked;
    g->Base_Menu_Item("mg_lock_fixed_col")->action()->trigger();
    EXPECT_EQ(g->FixedCols(), s.fixed) << s.clicked;
  }
  Press(*g, 3, 1);  // locked on column 3, then scrolled: columns 1..3 stay, column 4 goes
  Close(*g);
  g->Base_Menu_Item("mg_lock_fixed_col")->action()->trigger();
  const int x3 = g->CellRect(3, 1).Left;
  g->SetLeftCol(9);
  EXPECT_EQ(g->CellRect(3, 1).Left, x3);
  EXPECT_TRUE(g->CellRect(4, 1).Right <= g->CellRect(4, 1).Left);  // scrolled out of view
}

// The host refuses to mark row 2 and to unmark row 3; every way of marking respects that.
TEST(MgMenu, CheckMarksAndVetoes) {
  // The mark items (2 all, 3 none, 4 selected rows, 5 unmark them) over the selected rows top..bottom.
  auto item = [](int i, int top = 1, int bottom = 1) {
    return [=](TMG& g, TPopupMenu& m) { g.SetSelection({1, top, 1, bottom}), m.Items(i)->action()->trigger(); };
  };
  auto key = [](int col, int row, Qt::Key k) {
    const Qt::KeyboardModifiers mod = k == Qt::Key_S ? Qt::ControlModifier : Qt::NoModifier;
    return [=](TMG& g, TPopupMenu&) {
      g.FocusCell(col, row);
      QTest::keyClick(&g, k, mod);
    };
  };
  const struct {
    const char* what;
    const char* before;
    std::function<void(TMG&, TPopupMenu&)> act;
    const char* after;
  } rows[] = {
      {"mark all", "....", item(2), "T.TT"},
      {"mark none", "TTTT", item(3), "..T."},
      {"mark selected rows", "....", item(4, 2, 4), "..TT"},
      {"unmark selected rows", "TTTT", item(5, 1, 3), "..TT"},
      {"Space in the check column", "....", key(2, 1, Qt::Key_Space), "T..."},
      {"Space elsewhere", "....", key(1, 1, Qt::Key_Space), "...."},
      {"Ctrl+S on a refused row", "....", key(1, 2, Qt::Key_S), "...."},
      {"Ctrl+S unmarks", ".T..", key(1, 2, Qt::Key_S), "...."},
      {"a click in the check column", "....", [](TMG& g, TPopupMenu&) { Press(g, 2, 4, Qt::LeftButton); }, "...T"},
  };
  for (const auto& row : rows) {
    auto g = Shown(4, 5);
    g->SetADEF({QStringLiteral("Name"), QStringLiteral("Ok")});
    TPopupMenu menu;
    menu.Items()->Add(new TMenuItem(&menu));  // the host's own item: the mark items follow a separator
    g->Row_Bool_Bind("Ok", &menu);
    for (int r = 1; r <= 4; ++r) g->SetCells(2, r, row.before[r - 1] == 'T' ? QStringLiteral("T") : QString());
    g->OnCanRowBoolBeTrue = [](TObject*, int r, bool& can) { can = r != 2; };
    g->OnCanRowBoolBeFalse = [](TObject*, int r, bool& can) { can = r != 3; };
    ASSERT_EQ(menu.Count(), 6);
    EXPECT_TRUE(menu.Items(1)->IsLine());
    EXPECT_EQ(menu.Items(2)->Caption(), QString::fromUtf16(u" 全部选中"));
    row.act(*g, menu);
    g->FocusCell(3, 1);  // the current cell away from the check column
    EXPECT_EQ(Ticks(*g), row.after) << row.what;
  }
  auto unbound = Shown(4, 5);
  unbound->SetRow_Bool(1, true);
  EXPECT_EQ(Ticks(*unbound), "....");
  TPopupMenu host;  // outlives the grid: the mark items go with it, the host's own item stays
  host.Items()->Add(new TMenuItem(&host));
  unbound->Row_Bool_Bind("Ok", &host);
  const QPointer<TMenuItem> all = host.Items(2);
  unbound.reset();
  if (all) all->action()->trigger();
  EXPECT_EQ(host.Count(), 1);
}

// Range selection on: a block is selected and copied, nothing is edited; off again: the options as before.
TEST(MgMenu, RangeSelectSwitch) {
  auto g = Shown(4, 4);
  g->Allow_Range_Select_Mode_Switch(1);
  g->Init_Popup_Menu();
  TMenuItem* sw = g->Base_Menu_Item("mg_range_select");
  const TGridOptions editing = g->Options();
  // Left by the switch, by allowing the switch again, by taking it away.
  for (int leave : {0, 1, 2}) {
    EXPECT_EQ(sw->Caption(), QString::fromUtf16(u" 进入选择模式"));
    sw->action()->trigger();
    EXPECT_EQ(g->Range_Select_Mode, 1);
    EXPECT_EQ(sw->Caption(), QString::fromUtf16(u" 退出选择模式"));
    EXPECT_FALSE(g->Options().Contains(goEditing) || g->EditorMode());
    g->FocusCell(1, 1);
    QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::ShiftModifier, g->CellRect(2, 2).toQRect().center());
    QTest::keyClick(g.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("a1\tb1\r\na2\tb2"));
    if (leave == 0) sw->action()->trigger();
    else g->Allow_Range_Select_Mode_Switch(leave == 1);
    EXPECT_EQ(g->Range_Select_Mode, leave == 2 ? -1 : 0);
    EXPECT_EQ(sw->action()->isVisible(), leave != 2);
    EXPECT_TRUE(g->Options() == editing) << "left by way " << leave;
  }
}

// Options are lines found by prefix; "auto_adjust_height" fits the rows when added; extended option bits
// are per column, 0 for a column that does not exist.
TEST(MgMenu, OptionsAndExtendedBits) {
  auto p = Shown(4, 4);
  TMG& g = *p;
  g.SetADEF({QStringLiteral("Name"), QStringLiteral("Ok")});
  g.SetColWidths(1, 20);
  g.SetCells(1, 1, QString::fromUtf16(u"很长的一段文字"));
  char val[200];
  auto get = [&](const char* name) { return g.Opt_Get_Val(name, std::strcpy(val, "?")) ? std::string(val) : "none"; };
  auto n = [](int v) { return std::to_string(v); };
  const struct {
    const char* what;
    std::function<std::string()> act;
    std::string result;
  } steps[] = {
      {"bare name, empty value", [&] { return g.Opt_Add("auto_adjust_height", nullptr), get("auto_adjust_height"); },
       ""},
      {"which fitted the rows", [&] { return n(g.RowHeights(1) > g.DefaultRowHeight()); }, "1"},
      {"name: value", [&] { return g.Opt_Add("sum_val.B", "-"), get("sum_val.B"); }, "-"},
      {"added again replaces", [&] { return g.Opt_Add("sum_val.B", "x y"), get("sum_val.B"); }, "x y"},
      {"a shorter name finds it", [&] { return n(g.Opt_Exist("sum_")); }, "1"},
      {"removed", [&] { return g.Opt_Remove("sum_val.B"), get("sum_val.B"); }, "none"},
      {"bits added", [&] { return n(g.Add_Ext_Opt("Ok", 8 | 4)); }, "12"},
      {"a bit not set removed", [&] { return n(g.Remove_Ext_Opt(2, 1)); }, "12"},
      {"an import id is cut to whole characters",
       [&] { return g.Set_Dat_Id((std::string(61, 'a') + TMG::Narrow(u"中")).c_str(), 1), n(std::strlen(g.Dat_Id())); },
       "61"},
      {"no such column", [&] { return n(g.Add_Ext_Opt(5, 1) + g.Get_Ext_Opt("Z") + g.Remove_Ext_Opt(-1, 1)); }, "0"},
  };
  for (const auto& s : steps) EXPECT_EQ(s.act(), s.result) << s.what;
}
