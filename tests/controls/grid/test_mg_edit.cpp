// Editing a TMG from the keyboard as a user does: where each key lands (read-only, hidden and vetoed
// cells skipped), what a read-only column and Escape leave in a cell, the change reports, and the
// date picker over a date cell.
#include "controls/grid/mg_test_util.h"
#include "controls/inputs/Mpickdate.h"

#include <QLineEdit>
#include <QWheelEvent>

namespace {

// Columns 1 A, 2 B read-only, 3 C, 4 D hidden, 5 E, 6 F; rows 1..7 with row 4 hidden; the host vetoes
// cell (5, 2).
struct NavGrid {
  QApplication* app = controlsTestApp();  // before the grid
  TMG g;
  NavGrid() {
    g.resize(600, 300);
    g.SetColCount(7);
    g.SetRowCount(8);
    g.SetADEF({QStringLiteral("A"), QStringLiteral("B,readonly"), QStringLiteral("C"), QStringLiteral("D,|0"),
               QStringLiteral("E"), QStringLiteral("F")});
    g.SetRowHeights(4, 0);
    g.OnSelectCell = [this](TObject* s, int c, int r, bool& can) {
      g.TMG_OnSelectCell(s, c, r, can);
      if (c == 5 && r == 2) can = false;
    };
    for (int r = 1; r < 8; ++r)
      for (int c = 1; c < 7; ++c) g.SetCells(c, r, QStringLiteral("%1%2").arg(QChar('a' + c - 1)).arg(r));  // a1, b1 ...
    g.show();
  }
};

}  // namespace

TEST(MgEdit, KeysLandOnCellsThatMayBeEntered) {
  NavGrid t;
  TMG& g = t.g;
  const int wheel = -1;  // a notch of the wheel down instead of a key
  struct Row {
    const char* what;
    int c0, r0, key;
    Qt::KeyboardModifiers mods;
    int c, r;
    char mode = 'e';  // 'e' editing, 'n' no editor, 'r' row selection, 'g' range selection
  } rows[] = {
      {"Tab skips the read-only column", 1, 1, Qt::Key_Tab, {}, 3, 1},
      {"Tab skips the hidden column", 3, 1, Qt::Key_Tab, {}, 5, 1},
      {"Enter moves like Tab", 3, 1, Qt::Key_Return, {}, 5, 1},
      {"Tab at the row's end: first cell of the next row", 6, 1, Qt::Key_Tab, {}, 1, 2},
      {"Tab skips the vetoed cell", 3, 2, Qt::Key_Tab, {}, 6, 2},
      {"Shift+Tab at the row's start: last cell of the previous row", 1, 2, Qt::Key_Backtab, Qt::ShiftModifier, 6, 1},
      {"Tab passes over the hidden row", 6, 3, Qt::Key_Tab, {}, 1, 5},
      {"Tab in the last cell stays", 6, 7, Qt::Key_Tab, {}, 6, 7},
      {"Down passes over the hidden row", 1, 3, Qt::Key_Down, {}, 1, 5},
      {"Down onto a vetoed cell takes the nearest cell to its left", 5, 1, Qt::Key_Down, {}, 3, 2},
      {"Up over a vetoed cell goes on up", 5, 3, Qt::Key_Up, {}, 5, 1},
      {"the wheel moves like Down", 1, 3, wheel, {}, 1, 5},
      {"Shift+End", 1, 3, Qt::Key_End, Qt::ShiftModifier, 6, 3},
      {"Shift+Home", 6, 3, Qt::Key_Home, Qt::ShiftModifier, 1, 3},
      {"Ctrl+End", 3, 1, Qt::Key_End, Qt::ControlModifier, 6, 7},
      {"Ctrl+Home", 6, 7, Qt::Key_Home, Qt::ControlModifier, 1, 1},
      {"Alt+Enter: first editable column of the next shown row", 6, 3, Qt::Key_Return, Qt::AltModifier, 1, 5},
      {"Right without an editor moves like Tab", 1, 1, Qt::Key_Right, {}, 3, 1, 'n'},
      {"Left without an editor moves like Shift+Tab", 1, 2, Qt::Key_Left, {}, 6, 1, 'n'},
      {"Shift+Left without an editor moves like Tab", 3, 1, Qt::Key_Left, Qt::ShiftModifier, 5, 1, 'n'},
      {"Right in the editor's text stays in the cell", 3, 1, Qt::Key_Right, {}, 3, 1},
      {"row selection: Down is the grid's plain move, the read-only column kept", 2, 1, Qt::Key_Down, {}, 2, 2, 'r'},
      {"row selection: Enter moves nowhere", 3, 1, Qt::Key_Return, {}, 3, 1, 'r'},
      {"range selection: Shift+Down moves as Down, to a cell that may be entered", 2, 1, Qt::Key_Down, Qt::ShiftModifier, 1, 2, 'g'},
  };
  const TGridOptions editing = g.Options();
  for (const Row& row : rows) {
    const TGridOptions plain = TGridOptions(editing) >> goEditing;
    g.Range_Select_Mode = row.mode == 'g' ? 1 : -1;
    g.SetOptions(row.mode == 'e' ? editing : row.mode == 'n' ? plain : row.mode == 'g' ? plain | goRangeSelect : editing | goRowSelect);
    ASSERT_TRUE(g.FocusCell(row.c0, row.r0)) << row.what;
    if (row.key == Qt::Key_Right && row.mode == 'e') g.InplaceEditor()->setCursorPosition(0);
    if (row.key != wheel) Press(g, Qt::Key(row.key), row.mods);
    QWheelEvent e(QPointF(50, 60), QPointF(), QPoint(), QPoint(0, -120), Qt::NoButton, {}, Qt::NoScrollPhase, false);
    if (row.key == wheel) QApplication::sendEvent(g.viewport(), &e);
    QApplication::processEvents();
    EXPECT_EQ(g.Col(), row.c) << row.what;
    EXPECT_EQ(g.Row(), row.r) << row.what;
  }
}

// What a selection leaves beside the current cell: the row mark on the row asked for, even when the cell
// is refused; editing kept off in range selection whatever the host answers; no editor from Ctrl+Enter.
TEST(MgEdit, WhatASelectionLeavesBesideTheCurrentCell) {
  NavGrid t;
  TMG& g = t.g;
  g.Set_Show_Row_Id_Mode(false);  // column 0 shows the mark instead of row numbers
  g.Allow_Range_Select_Mode_Switch(1);
  const QString mark(QChar(0x25C6));
  auto click = [&](int c, int r) { QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.CellRect(c, r).toQRect().center()); };
  struct Step {
    const char* what;
    std::function<void()> act;
    int c, r, markRow;
    bool editing, editor;
  } steps[] = {
      {"a click on a cell that may be entered", [&] { click(3, 2); }, 3, 2, 2, true, true},
      {"a click on a read-only cell: refused, its row marked", [&] { click(2, 5); }, 3, 2, 5, true, true},
      {"range selection: the host's yes keeps editing off",
       [&] {
         g.OnGetEditEnable = [](TObject*, int, int, bool& can) { can = true; };
         g.Popu_Menu_Range_Select_Mode_Switch_Click(&g);
         click(1, 3);
       },
       1, 3, 3, false, false},
      {"Ctrl+Enter in a plain cell opens no editor",
       [&] {
         g.Popu_Menu_Range_Select_Mode_Switch_Click(&g);
         g.SetOptions(TGridOptions(g.Options()) >> goAlwaysShowEditor);
         g.FocusCell(1, 5);
         Press(g, Qt::Key_Return, Qt::ControlModifier);
       },
       1, 5, 5, true, false},
  };
  for (const Step& s : steps) {
    s.act();
    EXPECT_EQ(g.Col(), s.c) << s.what;
    EXPECT_EQ(g.Row(), s.r) << s.what;
    EXPECT_EQ(g.Cells(0, s.markRow), mark) << s.what;
    EXPECT_EQ(g.Options().Contains(goEditing), s.editing) << s.what;
    EXPECT_EQ(g.InplaceEditor() && g.InplaceEditor()->isVisible(), s.editor) << s.what;
  }
}

// A stateful sequence on one grid: each step does what a user does and checks the cell it is about and
// the change reports so far.
TEST(MgEdit, WhatTypingEscapeAndReloadsLeaveInCells) {
  NavGrid t;
  TMG& g = t.g;
  QStringList reports;
  g.OnMGValChange = [&](TObject*, int c, int r, const QString& v, const QString& old) { reports << QStringLiteral("%1,%2:%3<%4").arg(c).arg(r).arg(v, old); };
  auto type = [&](const char* text) { Type(g, QString::fromUtf8(text)); };
  struct Step {
    const char* what;
    std::function<void()> act;
    int c, r;
    const char *cell, *reports;
  } steps[] = {
      {"typing fills the cell, reported only on leaving", [&] { g.FocusCell(3, 1); type("new"); }, 3, 1, "new", ""},
      {"Tab reports the change once", [&] { Press(g, Qt::Key_Tab); }, 3, 1, "new", "3,1:new<c1"},
      {"back and on without typing: nothing", [&] { Press(g, Qt::Key_Backtab, Qt::ShiftModifier); Press(g, Qt::Key_Tab); }, 3, 1, "new", "3,1:new<c1"},
      {"Escape puts back what the cell had", [&] { g.FocusCell(1, 3); type("zz"); Press(g, Qt::Key_Escape); }, 1, 3, "a3", "3,1:new<c1"},
      {"a reload replaces the typing, leaving nothing changed",
       [&] { type("typed"); g.SetCells(1, 3, QStringLiteral("reloaded")); EXPECT_FALSE(g.Has_Changed()); }, 1, 3, "reloaded", "3,1:new<c1"},
      {"Escape after the reload keeps the reloaded text", [&] { Press(g, Qt::Key_Escape); }, 1, 3, "reloaded", "3,1:new<c1"},
      {"a click elsewhere reports the typing, from the reloaded text",
       [&] { type("x"); QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.CellRect(6, 5).toQRect().center()); }, 1, 3, "x",
       "3,1:new<c1|1,3:x<reloaded"},
      {"typing, the editor closed, a reload of the column: no change on leaving", [&] {
         type("y"), g.SetEditorMode(false);
         for (int r = 1; r < 8; ++r) g.SetCells(6, r, QStringLiteral("g%1").arg(r));
         Press(g, Qt::Key_Tab);
       }, 6, 5, "g5", "3,1:new<c1|1,3:x<reloaded"},
      {"typing, a reload into fewer rows and back, the cell left empty: no change", [&] {
         g.FocusCell(6, 5), type("z"), g.SetRowCount(5), g.SetRowCount(8);
         for (int r = 5; r < 8; ++r)
           for (int c = 1; c < 6; ++c) g.SetCells(c, r, QStringLiteral("%1%2").arg(QChar('a' + c - 1)).arg(r));
         Press(g, Qt::Key_Tab);
       }, 6, 5, "", "3,1:new<c1|1,3:x<reloaded"},
      {"a read-only cell the host lets be selected takes no typing",
       [&] { g.OnGetEditEnable = [](TObject*, int, int, bool&) {}; g.FocusCell(2, 5); type("q"); }, 2, 5, "b5", "3,1:new<c1|1,3:x<reloaded"},
  };
  for (const Step& s : steps) {
    s.act();
    EXPECT_EQ(g.Cells(s.c, s.r), QString::fromUtf8(s.cell)) << s.what;
    EXPECT_EQ(reports.join(u'|').toStdString(), s.reports) << s.what;
  }
  EXPECT_FALSE(g.InplaceEditor()->isVisible()) << "no editor over the read-only cell";
}

// Check-box columns take Space, 1, 0 and clicks, never a text editor; an edit is reported as soon as
// the keyboard goes to another control, as leaving the cell reports it.
TEST(MgEdit, CheckBoxesAndLeavingTheGrid) {
  controlsTestApp();
  QWidget form;
  TMG g(&form);
  g.resize(500, 250);
  QLineEdit other(&form);
  g.SetColCount(4);
  g.SetRowCount(4);
  g.SetADEF({QStringLiteral("A"), QStringLiteral("Ok,bool"), QStringLiteral("Ro,bool,readonly")});
  for (int r = 1; r < 4; ++r) g.SetCells(1, r, QStringLiteral("a%1").arg(r));
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  QStringList reports;
  g.OnMGValChange = [&](TObject*, int c, int r, const QString& v, const QString& old) { reports << QStringLiteral("%1,%2:%3<%4").arg(c).arg(r).arg(v, old); };
  auto click = [&](int c, int r) { QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.CellRect(c, r).toQRect().center()); };
  struct Step {
    const char* what;
    std::function<void()> act;
    int c, r;
    const char *cell, *reports;
  } steps[] = {
      {"a click on a check box ticks it", [&] { click(2, 1); }, 2, 1, "1", "2,1:1<"},
      {"Space turns it over", [&] { Press(g, Qt::Key_Space); }, 2, 1, "0", "2,1:1<|2,1:0<1"},
      {"1 ticks it", [&] { Press(g, Qt::Key_1); }, 2, 1, "1", "2,1:1<|2,1:0<1|2,1:1<0"},
      {"a letter does nothing", [&] { Type(g, QStringLiteral("x")); }, 2, 1, "1", "2,1:1<|2,1:0<1|2,1:1<0"},
      {"a read-only check box is not taken", [&] { click(3, 2); }, 3, 2, "", "2,1:1<|2,1:0<1|2,1:1<0"},
      {"typing, then a click on another control: reported",
       [&] { click(1, 2); Type(g, QStringLiteral("new")); QTest::mouseClick(&other, Qt::LeftButton); }, 1, 2, "new",
       "2,1:1<|2,1:0<1|2,1:1<0|1,2:new<a2"},
      {"back into the grid and out again: nothing more",
       [&] { g.setFocus(); other.setFocus(); }, 1, 2, "new", "2,1:1<|2,1:0<1|2,1:1<0|1,2:new<a2"},
  };
  for (const Step& s : steps) {
    s.act();
    EXPECT_EQ(g.Cells(s.c, s.r), QString::fromUtf8(s.cell)) << s.what;
    EXPECT_EQ(reports.join(u'|').toStdString(), s.reports) << s.what;
    if (s.c == 2) {
      EXPECT_FALSE(g.InplaceEditor() && g.InplaceEditor()->isVisible()) << s.what << ": no editor over a check box";
    }
  }
}

// Ctrl+Enter on a date cell: the picker over the cell on its date; a date picked is written and reported
// once, Escape puts the cell's text back, Enter keeps the date.
TEST(MgEdit, DatePickerOverTheCell) {
  NavGrid t;
  TMG& g = t.g;
  g.GetColDef(3)->type = 'D';
  g.SetColEditStyle(3, 1);
  g.SetCells(3, 2, QStringLiteral("20240105"));
  QStringList reports;
  g.OnMGValChange = [&](TObject*, int, int, const QString& v, const QString& old) { reports << v + u'<' + old; };
  auto open = [&] {
    Press(g, Qt::Key_Return, Qt::ControlModifier);
    g.DateTimePicker_Mg()->CloseUp();
    g.DateTimePicker_Mg()->setCurrentSection(QDateTimeEdit::DaySection);
    return g.DateTimePicker_Mg();
  };
  g.FocusCell(3, 2);
  MPickDate* p = open();
  const TRect cell = g.CellRect(3, 2);
  EXPECT_EQ(p->geometry(), QRect(cell.Left, cell.Top, cell.Width() - 16, cell.Height()));
  EXPECT_EQ(p->Date(), QDate(2024, 1, 5));
  g.DateTimePicker_Mg_Change(p);  // the date the cell holds: nothing written
  QTest::keyClick(p, Qt::Key_Up);
  EXPECT_EQ(g.Cells(3, 2), QStringLiteral("2024-01-06"));
  QTest::keyClick(p, Qt::Key_Escape);
  EXPECT_FALSE(p->isVisible());
  EXPECT_EQ(g.Cells(3, 2), QStringLiteral("20240105"));
  QTest::keyClick(open(), Qt::Key_Down);
  QTest::keyClick(p, Qt::Key_Return);
  Press(g, Qt::Key_Tab);
  EXPECT_EQ(g.Cells(3, 2), QStringLiteral("2024-01-04"));
  EXPECT_EQ(reports.join(u'|'), QStringLiteral("2024-01-06<20240105|20240105<2024-01-06|2024-01-04<20240105"));
  g.FocusCell(3, 3);
  EXPECT_EQ(open()->Date(), QDate(2024, 1, 4)) << "a cell without a date keeps the date picked last";
}
