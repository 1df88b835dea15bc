// TMG as a screen reader meets it, through Qt's accessibility interfaces and the events a reader hears,
// on a real grid with a dictionary column read from SQLite.
#include "controls/accessible_test.h"
#include "controls/grid/mg_test_util.h"

namespace {

QString Name(QAccessibleInterface* i) { return i ? i->text(QAccessible::Name) : QStringLiteral("(none)"); }

}  // namespace

// The grid reads as a table: shown rows and columns only, headers from both header rows (a header unit's
// caption included), each cell as it shows, the current cell focused on every arrow key, the editor
// named after its column and row.
TEST_F(MgDict, ScreenReaderReadsTheGridAsATable) {
  Reader_Ear ear;
  TMG g;
  g.resize(640, 300);
  g.SetColCount(6);
  g.SetRowCount(7);
  g.SetFixedRows(2);
  g.SetADEF({QStringLiteral("部门"), QStringLiteral("金额,money"), QStringLiteral("核对,bool"),
             QStringLiteral("备注"), QStringLiteral("内部")});
  g.SetBDEF({QStringLiteral("unit,1,0,2,0,凭证明细")});
  g.SetCells(1, 1, QStringLiteral("部门"));
  g.SetCells(2, 1, QStringLiteral("金额"));
  g.SetColPickDict(1, "dept");
  g.SetW(1, 2, u"02");
  g.SetW(1, 3, u"05");
  g.SetW(1, 5, u"01");
  g.SetV(2, 2, "1234.5");
  g.SetV(3, 2, "Y");
  g.SetV(3, 3, "N");
  g.SetCells(4, 5, QStringLiteral("末行"));
  g.SetColWidths(5, 0);  // hidden column
  g.SetRowHeights(4, 0);  // hidden row

  QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(&g);
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->role(), QAccessible::Table);
  QAccessibleTableInterface* table = grid->tableInterface();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->rowCount(), 4) << "rows 2, 3, 5, 6; the hidden row 4 left out";
  EXPECT_EQ(table->columnCount(), 4) << "columns 1 to 4; the hidden column 5 left out";
  const char16_t* headers[] = {u"凭证明细 部门", u"凭证明细 金额", u"核对", u"备注"};
  for (int c = 0; c < 4; ++c) EXPECT_EQ(table->columnDescription(c), QString::fromUtf16(headers[c])) << "column " << c;
  struct Cell {
    const char* what;
    int row, col;
    const char16_t* text;
    int checked;  // -1: no check box
  } cells[] = {{"dictionary cell", 0, 0, u"02 财务部", -1}, {"money cell", 0, 1, u"1,234.50", -1},
               {"ticked", 0, 2, u"是", 1},                  {"not ticked", 1, 2, u"否", 0},
               {"after the hidden row", 2, 3, u"末行", -1}};
  for (const Cell& c : cells) {
    QAccessibleInterface* cell = table->cellAt(c.row, c.col);
    EXPECT_EQ(Name(cell), QString::fromUtf16(c.text)) << c.what;
    ASSERT_NE(cell, nullptr) << c.what;
    EXPECT_EQ(cell->state().checkable, c.checked >= 0) << c.what;
    EXPECT_EQ(cell->state().checked, c.checked == 1) << c.what;
    const QList<QAccessibleInterface*> head = cell->tableCellInterface()->columnHeaderCells();
    ASSERT_EQ(head.size(), 1) << c.what;
    EXPECT_EQ(Name(head[0]), QString::fromUtf16(headers[c.col])) << c.what;
  }

  // Arrow keys: a focus event on the grid for the cell each key lands on, and the editor named after it.
  g.show();
  g.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&g));
  g.FocusCell(1, 2);
  struct Step {
    Qt::Key key;
    const char16_t* cell;
    const char16_t* editor;
  } steps[] = {{Qt::Key_Down, u"05 仓储物流部", u"凭证明细 部门，第 2 行"},
               {Qt::Key_Down, u"01 总经理办公室", u"凭证明细 部门，第 3 行"},  // over the hidden row
               {Qt::Key_Up, u"05 仓储物流部", u"凭证明细 部门，第 2 行"}};
  for (const Step& s : steps) {
    ear.Clear();
    Press(g, s.key);
    const TRect at = g.CellRect(g.Col(), g.Row());
    int focus = -1;
    for (const Heard& h : ear.Events())
      if (h.type == QAccessible::Focus && h.object == &g) focus = h.child;
    ASSERT_GE(focus, 0) << "no focus event after a key; now on row " << g.Row();
    QAccessibleInterface* cell = grid->child(focus);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(Name(cell), QString::fromUtf16(s.cell)) << "row " << g.Row();
    EXPECT_EQ(cell->rect().topLeft(), g.viewport()->mapToGlobal(QPoint(at.Left, at.Top))) << "row " << g.Row();
    ASSERT_NE(g.InplaceEditor(), nullptr);
    EXPECT_EQ(Name(QAccessible::queryAccessibleInterface(g.InplaceEditor())), QString::fromUtf16(s.editor));
  }
  g.hide();
}
