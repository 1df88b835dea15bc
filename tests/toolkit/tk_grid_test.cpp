// TStringGrid through its public interface: cell storage, whole-row scrolling, geometry, selection, keys,
// the in-place editor and pick list, column moving and sizing by mouse, and drawn states on real pixels.
#include "toolkit/tk_grid.h"
#include "toolkit/tk_menu.h"
#include "tk_test_app.h"

#include <QListWidget>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <QToolButton>
#include <gtest/gtest.h>
#include <QContextMenuEvent>
#include <QMenu>
#include <map>
#include <random>
#include <tuple>

namespace {

class GridTest : public ::testing::Test {
protected:
    void SetUp() override {
        tkTestApp();
        grid = std::make_unique<TStringGrid>();
        grid->setFrameShape(QFrame::NoFrame), grid->resize(400, 200);
        grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff), grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        grid->SetDefaultRowHeight(20), grid->SetDefaultColWidth(60);
    }
    void show() {
        grid->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(grid.get()));
    }
    void focus() {
        show(), grid->activateWindow(), grid->setFocus(), QApplication::processEvents();
    }
    QWidget* vp() { return grid->viewport(); }
    // The widget keys go to: the focused one inside the grid (its editor), else the grid.
    QWidget* keyTarget() {
        QWidget* target = QApplication::focusWidget();
        return target && (target == grid.get() || grid->isAncestorOf(target)) ? target : grid.get();
    }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(keyTarget(), k, m); }
    // Mouse events sent straight to the viewport, buttons held as a user would.
    void mouse(QEvent::Type t, int x, int y, Qt::MouseButtons held, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QPointF p(x, y);
        QMouseEvent e(t, p, vp()->mapToGlobal(p), t == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, m);
        QApplication::sendEvent(vp(), &e);
    }
    void click(int c, int r, Qt::KeyboardModifiers m = Qt::NoModifier) {
        TRect rc = grid->CellRect(c, r);
        int x = (rc.Left + rc.Right) / 2, y = (rc.Top + rc.Bottom) / 2;
        mouse(QEvent::MouseButtonPress, x, y, Qt::LeftButton, m);
        mouse(QEvent::MouseButtonRelease, x, y, Qt::NoButton, m);
    }

    std::unique_ptr<TStringGrid> grid;
};

// ------------------------------------------------------------------------------------------- storage

TEST_F(GridTest, CellsFollowAReferenceModelThroughEveryKindOfChange) {
    grid->SetColCount(7), grid->SetRowCount(60);
    std::map<std::pair<int, int>, QString> model;  // (col, row) -> text; empty texts are absent
    int cols = 7, rows = 60;
    std::mt19937 rng(7);
    auto text = [&](int n) {
        QString s;
        for (int i = 0; i < n; ++i) s += QChar(rng() % 3 ? char16_t(u'a' + rng() % 26) : char16_t(0x4E00 + rng() % 500));
        return s;
    };
    auto check = [&](int step) {
        ASSERT_EQ(std::make_pair(grid->ColCount(), grid->RowCount()), std::make_pair(cols, rows)) << "step " << step;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c)
                ASSERT_EQ(grid->Cells(c, r), model.count({c, r}) ? model.at({c, r}) : QString()) << "step " << step << " cell " << c << "," << r;
    };
    for (int step = 0; step < 3000; ++step) {
        int op = int(rng() % 100);
        if (op < 70) {
            int c = int(rng() % cols), r = int(rng() % rows);
            QString t = rng() % 5 ? text(int(rng() % 12)) : QString();
            grid->SetCells(c, r, t);
            if (t.isEmpty()) model.erase({c, r});
            else model[{c, r}] = t;
        } else if (op < 86) {  // a column or a row moves; the ones between shift by one towards its old place
            const bool col = op < 78;
            const int n = col ? cols : rows, from = int(rng() % n), to = int(rng() % n);
            col ? grid->MoveColumn(from, to) : grid->MoveRow(from, to);
            auto moved = [&](int i) {
                return i == from ? to : from < to && i > from && i <= to ? i - 1 : from > to && i >= to && i < from ? i + 1 : i;
            };
            std::map<std::pair<int, int>, QString> next;
            for (auto& [k, v] : model) next[{col ? moved(k.first) : k.first, col ? k.second : moved(k.second)}] = v;
            model.swap(next);
        } else if (op < 97) {  // fewer or more columns or rows: the cells cut off go
            const bool col = op < 92;
            const int n = col ? 2 + int(rng() % 9) : 2 + int(rng() % 80);
            col ? grid->SetColCount(n) : grid->SetRowCount(n);
            for (auto it = model.begin(); it != model.end();)
                it = (col ? it->first.first : it->first.second) >= n ? model.erase(it) : std::next(it);
            (col ? cols : rows) = n;
        } else {
            const int r = int(rng() % rows);
            grid->Rows(r)->Clear();
            for (int c = 0; c < cols; ++c) model.erase({c, r});
        }
        if (step % 100 == 0) check(step);
    }
    check(-1);
}

TEST_F(GridTest, RowAndColumnListsReadAndWriteTheCells) {
    grid->SetColCount(4), grid->SetRowCount(4);
    TStrings* row1 = grid->Rows(1);
    row1->SetStrings(0, "a"), row1->SetStrings(2, "c");
    EXPECT_EQ(row1->Add("b"), 1) << "Add fills the first empty cell";
    grid->Rows(2)->Assign(row1);
    row1->Insert(0, "x"), row1->Delete(0);  // a grid line has a fixed length: no insert, no delete
    EXPECT_EQ(grid->Rows(1), row1) << "asking again gives the same list";
    grid->Cols(2)->Clear();
    grid->SetCells(9, 9, "x");  // out of range: forgiven
    for (int r : {1, 2}) EXPECT_EQ(grid->Rows(r)->toQStringList(), (QStringList{"a", "b", "", ""})) << "row " << r;
    EXPECT_EQ(grid->Cols(2)->Count(), 4);
}

// ----------------------------------------------------------------------------------------- scrolling

TEST_F(GridTest, ScrollsByWholeRows) {
    // 200 px high: one fixed row of 20 + 1 px line, then 179 px show 8 whole rows of 21.
    grid->SetRowCount(100), grid->SetRowHeights(30, 0), show();
    EXPECT_EQ(grid->VisibleRowCount(), 8);
    int changes = 0;
    grid->OnTopLeftChanged = [&](TObject* s) { changes += s == grid.get(); };
    struct Row { const char* name; int set; int want; };
    const Row rows[] = {{"inside the range", 50, 50}, {"past the end: the last full page", 1000, 92},
                        {"into the fixed rows", 0, 1}, {"onto a hidden row: the next shown", 30, 31},
                        {"just before the hidden row", 29, 29}};
    for (const Row& r : rows) {
        grid->SetTopRow(r.set);
        EXPECT_EQ(grid->TopRow(), r.want) << r.name;
        EXPECT_EQ(grid->CellRect(1, grid->TopRow()).Top, 21) << r.name << ": the top row starts under the fixed row";
        EXPECT_EQ(grid->verticalScrollBar()->value(), grid->TopRow() - 1) << r.name;
    }
    EXPECT_TRUE(changes == 5 && grid->verticalScrollBar()->maximum() == 91);
    // The bar moves the view in rows.
    grid->verticalScrollBar()->setValue(10);
    EXPECT_EQ(grid->TopRow(), 11);
    // Making a row below the view current scrolls it to the bottom, whole.
    grid->SetTopRow(1), grid->SetRow(40);
    EXPECT_TRUE(grid->TopRow() == 33 && grid->CellRect(1, 40).Bottom <= 200);
    grid->SetRow(5);
    EXPECT_EQ(grid->TopRow(), 5);
}

TEST_F(GridTest, LastPageWithUnevenHeightsOfAMillionRows) {
    grid->SetRowCount(1000000);
    std::mt19937 rng(3);
    for (int i = 0; i < 2000; ++i) grid->SetRowHeights(1 + int(rng() % 999999), int(rng() % 4) * 15);
    show();
    struct Row { const char* name; int set; };
    const Row rows[] = {{"middle", 500000}, {"near the end", 999990}, {"past the end", 2000000}, {"start", 1}};
    for (const Row& r : rows) {
        grid->SetTopRow(r.set);
        int top = grid->TopRow();
        ASSERT_GT(grid->RowHeights(top), 0) << r.name;
        EXPECT_EQ(grid->CellRect(1, top).Top, 21) << r.name;
        // Every pixel row of the view maps to a row whose rectangle holds it.
        for (int y = 0; y < 200; ++y) {
            const TGridCoord at = grid->MouseCoord(5 + 60 + 1, y);
            if (at.Y < 0) continue;
            TRect cr = grid->CellRect(at.X, at.Y);
            ASSERT_FALSE(cr.IsEmpty()) << r.name << " y " << y;
            ASSERT_TRUE(y >= cr.Top && y < cr.Bottom + grid->GridLineWidth()) << r.name << " y " << y;
        }
    }
    grid->SetTopRow(2000000);
    int last = 999999;
    while (grid->RowHeights(last) == 0) --last;
    TRect rc = grid->CellRect(1, last);
    EXPECT_TRUE(!rc.IsEmpty() && rc.Bottom <= 200) << "the last row is whole on the last page";
}

TEST_F(GridTest, RowPositionsStayRightWhileRowsAreAppendedAndCut) {
    grid->SetRowCount(2);
    grid->SetRowHeights(1, 7);  // uneven from the start, so the positions come from the tree
    std::vector<int> h = {20, 7};
    std::mt19937 rng(11);
    auto append = [&](int n) {
        for (int i = 0; i < n; ++i) {
            grid->SetRowCount(grid->RowCount() + 1), h.push_back(rng() % 4 == 0 ? int(rng() % 3) * 12 : 20);
            if (h.back() != 20) grid->SetRowHeights(grid->RowCount() - 1, h.back());
        }
    };
    auto check = [&](const char* when) {
        show();
        ASSERT_EQ(grid->RowCount(), int(h.size())) << when;
        long long total = 0;
        for (int v : h) total += v ? v + 1 : 0;
        EXPECT_EQ(grid->GridHeight(), total) << when;
        for (int top : {1, 37, 150, 299}) {
            grid->SetTopRow(top);
            const int t = grid->TopRow();
            for (int r = t, y = 21; r < int(h.size()) && y < 200; y += h[size_t(r)] ? h[size_t(r)] + 1 : 0, ++r) {
                const TRect rc = grid->CellRect(1, r);
                EXPECT_TRUE(h[size_t(r)] ? rc.Top == y : rc.IsEmpty()) << when << " top " << t << " row " << r;
            }
        }
    };
    append(400), check("after appending one by one");
    grid->SetRowCount(250), h.resize(250), check("after cutting");
    append(120), check("after appending again");
}

// ------------------------------------------------------------------------------------------ geometry

TEST_F(GridTest, MouseToCellAndCellRectAgreeWithHiddenLines) {
    grid->SetColCount(9), grid->SetRowCount(30), grid->SetFixedCols(1), grid->SetGridLineWidth(2);
    grid->SetColWidths(2, 0), grid->SetColWidths(3, 35), grid->SetColWidths(5, 90);
    grid->SetRowHeights(3, 0), grid->SetRowHeights(4, 33), grid->SetRowHeights(0, 0);  // row 0: a hidden fixed row
    show();
    struct Row { const char* name; int top, left; };
    const Row rows[] = {{"unscrolled", 1, 1}, {"scrolled", 6, 4}, {"scrolled onto hidden", 3, 2}};
    for (const Row& s : rows) {
        grid->SetTopRow(s.top), grid->SetLeftCol(s.left);
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 400; ++x) {
                int c, r;
                grid->MouseToCell(x, y, c, r);
                if (c < 0) { ASSERT_EQ(r, -1); }
                if (c < 0) continue;
                ASSERT_TRUE(grid->ColWidths(c) > 0 && grid->RowHeights(r) > 0) << s.name << " a hidden cell at " << x << "," << y;
                TRect rc = grid->CellRect(c, r);
                ASSERT_TRUE(x >= rc.Left && x < rc.Right + 2 && y >= rc.Top && y < rc.Bottom + 2)
                    << s.name << " pixel " << x << "," << y << " cell " << c << "," << r;
            }
        for (int r = 0; r < 30; ++r)
            for (int c = 0; c < 9; ++c) {
                TRect rc = grid->CellRect(c, r);
                if (grid->ColWidths(c) == 0 || grid->RowHeights(r) == 0) {
                    EXPECT_TRUE(rc.IsEmpty()) << s.name << " hidden " << c << "," << r;
                    continue;
                }
                if (rc.IsEmpty()) continue;  // scrolled out of view
                TGridCoord a = grid->MouseCoord(rc.Left, rc.Top);
                EXPECT_TRUE(a.X == c && a.Y == r) << s.name << " " << c << "," << r;
                if (rc.Right - 1 < 400 && rc.Bottom - 1 < 200) {
                    TGridCoord b = grid->MouseCoord(rc.Right - 1, rc.Bottom - 1);
                    EXPECT_TRUE(b.X == c && b.Y == r) << s.name << " " << c << "," << r;
                }
            }
    }
    EXPECT_EQ(grid->MouseCoord(-1, 5).X, -1) << "left of the grid";
    EXPECT_EQ(grid->MouseCoord(5, 250).Y, -1) << "below the grid";
}

// ---------------------------------------------------------------------------------- selection, keys

TEST_F(GridTest, SelectionRules) {
    struct Key { Qt::Key k; Qt::KeyboardModifiers m; };
    struct Row { const char* name; TGridOptions opts; std::vector<Key> keys; TGridRect want; int col, row; };
    const auto S = Qt::ShiftModifier, N = Qt::NoModifier;
    const Row rows[] = {
        {"range select extends with Shift", goRangeSelect, {{Qt::Key_Down, S}, {Qt::Key_Down, S}, {Qt::Key_Right, S}}, {1, 1, 2, 3}, 2, 3},
        {"without range select Shift only moves", TGridOptions(), {{Qt::Key_Down, S}, {Qt::Key_Down, S}}, {1, 3, 1, 3}, 1, 3},
        {"a plain move collapses the range", goRangeSelect, {{Qt::Key_Down, S}, {Qt::Key_Down, N}}, {1, 3, 1, 3}, 1, 3},
        {"row select covers the scrollable columns", goRowSelect, {{Qt::Key_Down, N}}, {1, 2, 5, 2}, 1, 2},
        {"row select with range spans rows", goRowSelect | goRangeSelect, {{Qt::Key_Down, S}, {Qt::Key_Down, S}}, {1, 1, 5, 3}, 1, 3},
        {"Up at the first scrollable row stays", goRangeSelect, {{Qt::Key_Up, N}}, {1, 1, 1, 1}, 1, 1},
    };
    for (const Row& r : rows) {
        grid = std::make_unique<TStringGrid>();
        grid->SetColCount(6), grid->SetRowCount(10), grid->SetOptions(r.opts), grid->resize(400, 300);
        for (const Key& k : r.keys) QTest::keyClick(grid.get(), k.k, k.m);
        const TGridRect s = grid->Selection();
        EXPECT_EQ(s, r.want) << r.name << " got " << s.Left << "," << s.Top << "-" << s.Right << "," << s.Bottom;
        EXPECT_EQ(std::make_pair(grid->Col(), grid->Row()), std::make_pair(r.col, r.row)) << r.name;
    }
}

TEST_F(GridTest, MouseSelectsAndShiftClickExtends) {
    grid->SetColCount(6), grid->SetRowCount(10), show(), click(2, 2);
    EXPECT_EQ(grid->Selection(), (TGridRect{2, 2, 2, 2}));
    click(4, 5, Qt::ShiftModifier);
    EXPECT_EQ(grid->Selection(), (TGridRect{2, 2, 4, 5}));
    click(0, 3);
    EXPECT_EQ(grid->Col(), 4) << "a fixed cell does not become current";
    std::vector<std::pair<int, int>> asked;
    grid->OnSelectCell = [&](TObject*, int c, int r, bool& can) { asked.push_back({c, r}), can = c != 3; };
    click(3, 1);
    EXPECT_EQ(grid->Col(), 4) << "a refused cell is not entered";
    EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{3, 1}})) << "the handler is asked about the clicked cell";
    grid->SetCol(3);
    EXPECT_EQ(grid->Col(), 4) << "nor set by the program";
    grid->SetCol(2);
    EXPECT_EQ(grid->Col(), 2);
}

TEST_F(GridTest, KeyboardMoves) {
    struct Key { Qt::Key k; Qt::KeyboardModifiers m; };
    struct Row { const char* name; TGridOptions opts; int startCol, startRow; std::vector<Key> keys; int col, row; };
    const auto C = Qt::ControlModifier, S = Qt::ShiftModifier, N = Qt::NoModifier;
    const Row rows[] = {
        {"Home goes to the first scrollable column", TGridOptions(), 4, 3, {{Qt::Key_Home, N}}, 1, 3},
        {"End goes to the last column", TGridOptions(), 1, 3, {{Qt::Key_End, N}}, 5, 3},
        {"Ctrl+Home goes to the first cell", TGridOptions(), 4, 30, {{Qt::Key_Home, C}}, 1, 1},
        {"Ctrl+End goes to the last cell", TGridOptions(), 2, 2, {{Qt::Key_End, C}}, 5, 49},
        {"End skips a hidden last column", TGridOptions(), 1, 1, {{Qt::Key_End, N}}, 5, 1},
        {"Down skips the hidden row", TGridOptions(), 1, 6, {{Qt::Key_Down, N}}, 1, 8},
        {"PgDn moves a page (the hidden row counts)", TGridOptions(), 1, 1, {{Qt::Key_PageDown, N}}, 1, 10},
        {"PgUp at the top stays in the grid", TGridOptions(), 1, 2, {{Qt::Key_PageUp, N}}, 1, 1},
        {"Tab with goTabs wraps to the next row", TGridOptions(goTabs), 5, 2, {{Qt::Key_Tab, N}}, 1, 3},
        {"Shift+Tab wraps back", TGridOptions(goTabs), 1, 3, {{Qt::Key_Backtab, S}}, 5, 2},
        {"Right at the last column stays", TGridOptions(), 5, 2, {{Qt::Key_Right, N}}, 5, 2},
    };
    for (const Row& r : rows) {
        SetUp(), grid->SetColCount(7), grid->SetRowCount(50), grid->SetOptions(r.opts);
        grid->SetColWidths(6, 0), grid->SetRowHeights(7, 0);  // the last column and row 7 hidden
        show();
        grid->FocusCell(r.startCol, r.startRow);
        for (const Key& k : r.keys) QTest::keyClick(grid.get(), k.k, k.m);
        EXPECT_EQ(std::make_pair(grid->Col(), grid->Row()), std::make_pair(r.col, r.row)) << r.name;
    }
}

TEST_F(GridTest, WheelScrollsUnlessItsHandlerTakesIt) {
    grid->SetRowCount(100), show();
    struct Row { const char* name; int delta; bool take; int want; };
    const Row rows[] = {{"down three rows", -120, false, 4}, {"down again", -120, false, 7}, {"up", 120, false, 4},
                        {"taken by the handler", -120, true, 4}};
    int downs = 0, ups = 0;
    bool take = false;
    grid->OnMouseWheelDown = [&](TObject*, TShiftState, TPoint, bool& handled) { ++downs, handled = take; };
    grid->OnMouseWheelUp = [&](TObject*, TShiftState, TPoint, bool& handled) { ++ups, handled = take; };
    for (const Row& r : rows) {
        take = r.take;
        QPointF at(50, 50);
        QWheelEvent e(at, vp()->mapToGlobal(at), QPoint(), QPoint(0, r.delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(vp(), &e);
        EXPECT_EQ(grid->TopRow(), r.want) << r.name;
    }
    EXPECT_TRUE(downs == 3 && ups == 1) << "every turn reported, taken or not";
}

TEST_F(GridTest, KeyHandlersSeeTakeAndReplaceKeysFromGridAndEditor) {
    grid->SetRowCount(10);
    std::vector<WORD> seen;
    grid->OnKeyDown = [&](TObject*, WORD& k, TShiftState s) { seen.push_back(k), k = k == VK_DOWN && s.Contains(ssCtrl) ? 0 : k; };
    QTest::keyClick(grid.get(), Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(grid->Row(), 1) << "a key the handler takes does not move";
    QTest::keyClick(grid.get(), Qt::Key_Down);
    EXPECT_EQ(grid->Row(), 2);
    EXPECT_EQ(seen, (std::vector<WORD>{VK_CONTROL, VK_DOWN, VK_DOWN})) << "modifier keys are reported too";
    grid->OnKeyDown = nullptr, grid->FocusCell(1, 1), grid->SetOptions(goEditing);
    std::vector<char16_t> pressed;
    std::vector<WORD> released;
    // Codes are typed in upper case: the handler replaces the character.
    grid->OnKeyPress = [&](TObject*, char16_t& k) { pressed.push_back(k), k = k == u'#' ? 0 : QChar(k).toUpper().unicode(); };
    grid->OnKeyUp = [&](TObject*, WORD& k, TShiftState) { released.push_back(k); };
    focus(), key(Qt::Key_F2);
    QWidget* ed = grid->InplaceEditor();
    ASSERT_NE(ed, nullptr);
    QTest::keyClicks(ed, "ab#c");
    EXPECT_EQ(grid->Cells(1, 1), "ABC");
    EXPECT_EQ(pressed, (std::vector<char16_t>{u'a', u'b', u'#', u'c'}));
    EXPECT_EQ(released, (std::vector<WORD>{VK_F2, 'A', 'B', '3', 'C'})) << "'#' is the key of '3'";
}

TEST_F(GridTest, RowsMoveWithTheirTextsAndHeights) {
    // from, to: MoveRow, when order (ReorderRows(1, order)) is empty.
    struct Row { const char* name; int from, to; std::vector<int> order; const char* col1; int height33At, current, moved; };
    const Row rows[] = {
        {"MoveRow down carries the current row", 2, 4, {}, "0 1 3 4 2 5", 4, 4, 1},
        {"MoveRow out of range does nothing", 9, 1, {}, "0 1 2 3 4 5", 2, 2, 0},
        {"ReorderRows permutes, the current row stays", 0, 0, {5, 2, 1, 4, 3}, "0 5 2 1 4 3", 2, 2, 0},
        {"ReorderRows with a repeated row does nothing", 0, 0, {5, 5, 1, 4, 3}, "0 1 2 3 4 5", 2, 2, 0},
        {"ReorderRows past the last row does nothing", 0, 0, {2, 1, 3, 4, 5, 6}, "0 1 2 3 4 5", 2, 2, 0},
    };
    for (const Row& r : rows) {
        SetUp(), grid->SetRowCount(6);
        for (int k = 0; k < 6; ++k) grid->SetCells(1, k, QString::number(k));
        grid->SetRowHeights(2, 33), grid->FocusCell(1, 2);
        int moved = 0;
        grid->OnRowMoved = [&](TObject*, int, int) { ++moved; };
        if (r.order.empty()) grid->MoveRow(r.from, r.to);
        else grid->ReorderRows(1, r.order);
        EXPECT_EQ(grid->Cols(1)->toQStringList().join(' '), r.col1) << r.name;
        EXPECT_TRUE(grid->RowHeights(r.height33At) == 33 && grid->Row() == r.current && moved == r.moved) << r.name;
    }
}

// A batch of height changes keeps positions right once it ends, and the scroll bar counts from the
// first shown row: rows hidden above the shown ones are no scroll steps.
TEST_F(GridTest, BatchedHeightsAndTheScrollBarAfterAFilter) {
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded), grid->SetRowCount(100000), show(), grid->BeginUpdate();
    for (int r = 1; r < 100000; ++r) grid->SetRowHeights(r, r % 1000 == 7 ? 20 : 0);
    EXPECT_TRUE(grid->Updating());
    grid->EndUpdate();
    EXPECT_EQ(std::make_tuple(grid->GridHeight(), grid->TopRow(), grid->CellRect(1, 1007).Top), std::make_tuple(21 * 101, 7, 42));
    EXPECT_EQ(grid->verticalScrollBar()->maximum(), 92007 - 7) << "from row 7 to the last full page";
    grid->BeginUpdate();
    for (int r = 1; r < 100000; ++r) grid->SetRowHeights(r, r < 5000 ? 0 : (r < 5003 ? 20 : 0));
    grid->EndUpdate();
    EXPECT_TRUE(grid->TopRow() == 5000 && grid->verticalScrollBar()->maximum() == 0) << "three shown rows fit: nothing to scroll";
}

// The grid is a control of the layer: its menu, hint, tag, bounds and font; a right press over the
// in-place editor is the grid's, and so is its context menu.
TEST_F(GridTest, ControlPropertiesAndTheRightPressOverTheEditor) {
    grid->SetOptions(goEditing | goAlwaysShowEditor), grid->SetBounds(5, 6, 300, 150);
    grid->SetHint(QStringLiteral("cells")), grid->SetShowHint(true);
    EXPECT_TRUE(grid->BoundsRect() == TRect(5, 6, 305, 156) && grid->toolTip() == QStringLiteral("cells"));
    QFont big = grid->font();
    big.setPointSize(17);
    grid->setFont(big);  // as a form's font property sets it
    EXPECT_EQ(grid->Font()->Size, 17);
    TPopupMenu menu;
    menu.Items()->Add(new TMenuItem(&menu)), grid->SetPopupMenu(&menu), show(), grid->FocusCell(2, 2);
    TInplaceEdit* ed = grid->InplaceEditor();
    ASSERT_NE(ed, nullptr);
    ASSERT_TRUE(ed->isVisible());
    EXPECT_EQ(ed->font().pointSize(), 17) << "the editor writes in the grid's font";
    std::vector<std::tuple<TMouseButton, int, int>> downs;
    grid->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState, int x, int y) { downs.emplace_back(b, x, y); };
    int popups = 0;
    grid->OnContextPopup = [&](TObject* s, TPoint p, bool& handled) {
        EXPECT_TRUE(s == grid.get() && p == TPoint(ed->x() + 4, ed->y() + 3));
        ++popups;
        handled = popups == 1;  // the first one the host takes, the second opens the menu
    };
    const TRect cell = grid->CellRect(2, 2);
    for (int i = 0; i < 2; ++i) {
        QTest::mousePress(ed, Qt::RightButton, Qt::NoModifier, QPoint(4, 3));
        QContextMenuEvent cm(QContextMenuEvent::Mouse, QPoint(4, 3), ed->mapToGlobal(QPoint(4, 3)));
        QApplication::sendEvent(ed, &cm), QTest::mouseRelease(ed, Qt::RightButton, Qt::NoModifier, QPoint(4, 3));
    }
    ASSERT_EQ(downs.size(), 2u);
    EXPECT_EQ(downs[0], std::make_tuple(mbRight, cell.Left + 4, cell.Top + 3)) << "in the viewport's coordinates";
    EXPECT_TRUE(popups == 2 && menu.menu()->isVisible() && menu.PopupComponent() == grid.get());
    EXPECT_EQ(grid->ClientToScreen(TPoint(cell.Left, cell.Top)), TPoint::fromQPoint(ed->mapToGlobal(QPoint(0, 0))));
    menu.menu()->hide();
}

// ------------------------------------------------------------------------------------------- editing

TEST_F(GridTest, EditingThroughTheInplaceEditor) {
    struct Step { Qt::Key k; Qt::KeyboardModifiers m; const char* type; };
    struct Row { const char* name; TGridOptions opts; std::vector<Step> steps; QString cell; bool editing; };
    const auto N = Qt::NoModifier;
    const TGridOptions E = goEditing;
    const Row rows[] = {
        {"F2 keeps the text and types at its end", E, {{Qt::Key_F2, N, "yz"}, {Qt::Key_Return, N, nullptr}}, "oldyz", false},
        {"a typed character replaces the text", E, {{Qt::Key_unknown, N, "q"}, {Qt::Key_unknown, N, "r"}}, "qr", true},
        {"Esc puts the old text back", E, {{Qt::Key_F2, N, "zz"}, {Qt::Key_Escape, N, nullptr}}, "old", false},
        {"Enter shows the editor, Enter again ends it", E, {{Qt::Key_Return, N, nullptr}, {Qt::Key_Return, N, nullptr}}, "old", false},
        {"moving away ends editing and keeps the text", E, {{Qt::Key_F2, N, "1"}, {Qt::Key_Down, N, nullptr}}, "old1", false},
        {"without goEditing typing does nothing", TGridOptions(), {{Qt::Key_unknown, N, "q"}}, "old", false},
        {"always-show editor stays after Enter", E | goAlwaysShowEditor, {{Qt::Key_F2, N, "2"}, {Qt::Key_Return, N, nullptr}}, "old2", true},
    };
    for (const Row& r : rows) {
        SetUp(), grid->SetColCount(4), grid->SetRowCount(6), grid->SetOptions(r.opts), grid->SetCells(1, 1, "old");
        int setEdits = 0;
        QString lastSet;
        grid->OnSetEditText = [&](TObject*, int c, int rr, const QString& v) {
            ++setEdits, lastSet = v;
            EXPECT_TRUE(c == 1 && rr == 1);
        };
        focus();
        for (const Step& s : r.steps) {
            if (s.k != Qt::Key_unknown) key(s.k, s.m);
            if (s.type) QTest::keyClicks(keyTarget(), s.type);
        }
        EXPECT_EQ(grid->Cells(1, 1), r.cell) << r.name;
        EXPECT_EQ(grid->EditorMode(), r.editing) << r.name;
        if (setEdits) { EXPECT_EQ(lastSet, r.cell) << r.name << ": the last edit report holds the cell's text"; }
        grid.reset();
    }
}

TEST_F(GridTest, ModifiedFlagAndOnGetEditText) {
    grid->SetOptions(goEditing), grid->SetCells(1, 1, "stored");
    grid->OnGetEditText = [](TObject*, int, int, QString& v) { v = "edit:" + v; };
    focus(), key(Qt::Key_F2);
    TInplaceEdit* ed = grid->InplaceEditor();
    ASSERT_NE(ed, nullptr);
    EXPECT_TRUE(ed->Text() == "edit:stored" && !ed->Modified());
    QTest::keyClicks(ed, "x");
    EXPECT_TRUE(ed->Modified() && grid->Cells(1, 1) == "edit:storedx");
    // A cell written by the program while it is being edited shows in the editor.
    grid->SetCells(1, 1, "from host");
    EXPECT_EQ(ed->Text(), "from host");
    // The editor follows its cell when the view scrolls, and hides when the cell leaves the view.
    EXPECT_EQ(ed->geometry(), grid->CellRect(1, 1).toQRect());
}

TEST_F(GridTest, PickListAndEllipsisButtons) {
    grid->SetColCount(4), grid->SetRowCount(6), grid->SetOptions(goEditing);
    grid->OnGetEditStyle = [](TObject*, int c, int) { return c == 2 ? esPickList : c == 3 ? esEllipsis : esSimple; };
    int fills = 0;
    grid->OnGetPickListItems = [&](TObject* s, int c, int r, TStrings* items) {
        ++fills;
        EXPECT_TRUE(s == grid.get() && c == 2 && r == 1) << "asked for the cell being edited";
        for (const char16_t* t : {u"A001 \u7532", u"A002 \u4E59", u"A003 \u4E19"}) items->Add(QString::fromUtf16(t));
        for (int i = 0; i < 37; ++i) items->Add(QString("item %1").arg(i));
    };
    focus(), grid->FocusCell(2, 1), key(Qt::Key_F2);
    auto* ed = qobject_cast<TInplaceEditList*>(grid->InplaceEditor());
    ASSERT_NE(ed, nullptr);
    EXPECT_TRUE(ed->EditStyle() == esPickList && ed->EditButton()->isVisible() && ed->DropDownRows() == 15);
    QTest::keyClick(ed, Qt::Key_Down, Qt::AltModifier);
    QListWidget* list = ed->PickListWidget();
    ASSERT_TRUE(ed->ListVisible() && fills == 1 && list->count() == 40) << "Alt+Down fills the list once and opens it";
    EXPECT_EQ(list->height(), 15 * list->sizeHintForRow(0) + 2 * list->frameWidth()) << "at most 15 rows show";
    QTest::keyClick(list, Qt::Key_Down), QTest::keyClick(list, Qt::Key_Return);
    EXPECT_TRUE(!ed->ListVisible() && ed->Modified());
    EXPECT_EQ(grid->Cells(2, 1), QString::fromUtf16(u"A002 \u4E59"));
    key(Qt::Key_Escape);
    EXPECT_EQ(grid->Cells(2, 1), QString()) << "Esc gives the cell its old (empty) text back";
    // A click on an item chooses it too; the list opens on the current text.
    key(Qt::Key_F2), ed->DropDown();
    ASSERT_TRUE(ed->ListVisible());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(list->item(2)).center());
    EXPECT_EQ(grid->Cells(2, 1), QString::fromUtf16(u"A003 \u4E19"));
    // The simple column has no button; the ellipsis column's button fires OnEditButtonClick.
    key(Qt::Key_Return), grid->FocusCell(1, 1), key(Qt::Key_F2);
    EXPECT_TRUE(ed->EditStyle() == esSimple && !ed->EditButton()->isVisible());
    key(Qt::Key_Return), grid->FocusCell(3, 1), key(Qt::Key_F2);
    ASSERT_TRUE(ed->EditButton()->isVisible() && ed->EditButton()->text() == "...");
    TObject* sender = nullptr;
    grid->OnEditButtonClick = [&](TObject* s) { sender = s; };
    QTest::mouseClick(ed->EditButton(), Qt::LeftButton);
    EXPECT_EQ(sender, grid.get());
}

TEST_F(GridTest, HeaderDragsMoveAndSizeColumns) {
    // row: where the drag runs; fromEdge: on column 1's right edge, else inside it; moves: OnColumnMoved
    // calls; width1: column 1 afterwards (60 before); row1: the texts of row 1 afterwards.
    struct Row { const char* name; TGridOptions opts; int row; bool fromEdge; int moves, width1; const char* row1; };
    const Row rows[] = {
        {"header drag with goColMoving moves the column", goColMoving, 0, false, 1, 60, "c0 c2 c1 c3 c4"},
        {"without goColMoving nothing moves", TGridOptions(), 0, false, 0, 60, "c0 c1 c2 c3 c4"},
        {"the edge of a header sizes the column", goColSizing, 0, true, 0, 90, "c0 c1 c2 c3 c4"},
        {"the edge in a data row selects instead", goColSizing, 2, true, 0, 60, "c0 c1 c2 c3 c4"},
    };
    for (const Row& r : rows) {
        SetUp(), grid->SetColCount(5), grid->SetRowCount(4), grid->SetOptions(r.opts);
        for (int c = 0; c < 5; ++c) grid->SetCells(c, 1, QString("c%1").arg(c));
        show();
        int moves = 0;
        grid->OnColumnMoved = [&](TObject* s, int, int) { moves += s == grid.get(); };
        TRect a = grid->CellRect(1, r.row), b = grid->CellRect(2, r.row);
        const int y = (a.Top + a.Bottom) / 2, x0 = r.fromEdge ? a.Right : a.Left + 5;
        const int x1 = r.fromEdge ? a.Right + 30 : b.Right - 5;
        mouse(QEvent::MouseButtonPress, x0, y, Qt::LeftButton);
        mouse(QEvent::MouseMove, (x0 + x1) / 2, y, Qt::LeftButton), mouse(QEvent::MouseMove, x1, y, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, x1, y, Qt::NoButton);
        EXPECT_EQ(moves, r.moves) << r.name;
        EXPECT_EQ(grid->ColWidths(r.moves ? 2 : 1), r.width1) << r.name;
        EXPECT_EQ(grid->Rows(1)->toQStringList().join(' '), r.row1) << r.name;
    }
}

// --------------------------------------------------------------------------------------------- drawing

TEST_F(GridTest, OnDrawCellStatesOnRenderedPixels) {
    grid->SetColCount(5), grid->SetRowCount(6), grid->SetDefaultDrawing(false);
    std::map<std::pair<int, int>, unsigned> states;
    grid->OnDrawCell = [&](TObject* s, int c, int r, TRect& rect, TGridDrawState st) {
        TStringGrid* g = static_cast<TStringGrid*>(s);
        states[{c, r}] = st.bits();
        TCanvas* cv = g->Canvas();
        cv->Brush->Style = bsSolid;
        cv->Brush->Color = st.Contains(gdFixed) ? TColor(0x0000FF) : st.Contains(gdFocused) ? TColor(0x00FF00)
                         : st.Contains(gdSelected) ? TColor(0xF16555) : clWhite;
        cv->FillRect(rect);
    };
    grid->SetSelection(TGridRect{1, 1, 2, 2}), show(), grid->clearFocus(), QApplication::processEvents();
    QImage img = grid->viewport()->grab().toImage();
    auto at = [&](int c, int r) {
        TRect rc = grid->CellRect(c, r);
        return img.pixel((rc.Left + rc.Right) / 2, (rc.Top + rc.Bottom) / 2) & 0xFFFFFFu;
    };
    struct Row { const char* name; int c, r; unsigned rgb; };
    const Row rows[] = {{"fixed corner", 0, 0, 0xFF0000u}, {"fixed header", 3, 0, 0xFF0000u}, {"selected", 1, 1, 0x5565F1u},
                        {"selected current cell without focus", 2, 2, 0x5565F1u}, {"outside the selection", 3, 3, 0xFFFFFFu}};
    for (const Row& r : rows) EXPECT_EQ(at(r.c, r.r), r.rgb) << r.name;
    EXPECT_EQ(states[std::make_pair(2, 2)], unsigned(gdSelected));
    // With the focus, the current cell is drawn focused.
    focus(), grid->SetSelection(TGridRect{1, 1, 2, 2});
    img = grid->viewport()->grab().toImage();
    if (grid->hasFocus()) {
        EXPECT_EQ(at(2, 2), 0x00FF00u);
        EXPECT_EQ(states[std::make_pair(2, 2)], unsigned(gdSelected | gdFocused));
    }
}

TEST_F(GridTest, DefaultDrawingPaintsTextsGridLinesAndOnlyVisibleCells) {
    grid->SetColCount(4), grid->SetRowCount(1000), grid->SetCells(1, 1, QString::fromUtf16(u"\u7532\u4E59WWW"));
    int drawn = 0;
    grid->OnDrawCell = [&](TObject*, int, int r, TRect&, TGridDrawState) {
        ++drawn;
        EXPECT_LT(r, 20) << "rows far below the view are never drawn";
    };
    show();
    drawn = 0;
    QImage img = grid->viewport()->grab().toImage();
    EXPECT_TRUE(drawn > 0 && drawn <= 4 * 11) << drawn << " cells drawn";
    TRect rc = grid->CellRect(1, 1);
    int ink = 0;
    for (int y = rc.Top; y < rc.Bottom; ++y)
        for (int x = rc.Left; x < rc.Right; ++x) ink += qGray(img.pixel(x, y)) < 128;
    EXPECT_GT(ink, 10) << "the cell's text is drawn";
    // The vertical grid line right of a data cell, in the line colour.
    EXPECT_EQ(img.pixel(rc.Right, (rc.Top + rc.Bottom) / 2) & 0xFFFFFFu, toQColor(clSilver).rgb() & 0xFFFFFFu);
    grid->SetOptions(TGridOptions(goFixedVertLine));
    img = grid->viewport()->grab().toImage();
    EXPECT_EQ(img.pixel(rc.Right, (rc.Top + rc.Bottom) / 2) & 0xFFFFFFu, toQColor(clWindow).rgb() & 0xFFFFFFu)
        << "without goVertLine the line is not drawn";
}

TEST_F(GridTest, EnterAndExitAndDoubleClick) {
    grid->SetOptions(goEditing);
    int enters = 0, exits = 0, dbl = 0;
    grid->OnEnter = [&](TObject*) { ++enters; };
    grid->OnExit = [&](TObject*) { ++exits; };
    grid->OnDblClick = [&](TObject*) { ++dbl; };
    QWidget outer;
    outer.resize(500, 300), grid->setParent(&outer);
    auto* other = new QLineEdit(&outer);
    other->move(0, 250), outer.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&outer));
    outer.activateWindow(), other->setFocus(), QApplication::processEvents();
    if (!other->hasFocus()) GTEST_SKIP() << "the platform gives no keyboard focus";
    enters = exits = 0;
    grid->setFocus();
    EXPECT_EQ(enters, 1);
    key(Qt::Key_F2);  // focus moves into the editor: still inside the grid
    EXPECT_EQ(exits, 0);
    other->setFocus();
    EXPECT_EQ(exits, 1);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, grid->CellRect(2, 2).toQRect().topLeft() + QPoint(3, 3));
    EXPECT_GE(dbl, 1);
    grid->setParent(nullptr);
}

}  // namespace
