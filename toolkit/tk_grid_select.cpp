// TStringGrid: the current cell, the selection block and the moves between cells.
#include "toolkit/tk_grid.h"
#include "toolkit/tk_grid_store.h"

#include <algorithm>

// ------------------------------------------------------------------------------- current and selection

TGridRect TStringGrid::Selection() const {
    TGridRect s;
    s.Left = std::min(col_, anchorCol_);
    s.Right = std::max(col_, anchorCol_);
    s.Top = std::min(row_, anchorRow_);
    s.Bottom = std::max(row_, anchorRow_);
    if (options_.Contains(goRowSelect)) {
        s.Left = fixedCols_;
        s.Right = colCount_ - 1;
    }
    return s;
}

void TStringGrid::invalidateSelection(const TGridRect& s) {
    if (s.Top == s.Bottom && s.Left == s.Right) {
        InvalidateCell(s.Left, s.Top);
        return;
    }
    // A block: repaint the band of its rows that is on screen (cheap, and right for row selection).
    int first = rows_->nextShown(std::max(s.Top, topRow_));
    if (first > s.Bottom || first >= RowCount()) return;
    int y0 = rowTop(first);
    if (y0 < 0) return;
    int last = rows_->prevShown(s.Bottom);
    int ylast = rowTop(last);
    int y1 = ylast >= 0 ? ylast + rows_->size(last) + lineWidth_ : clientH();
    viewport()->update(QRect(0, y0, clientW(), y1 - y0));
}

bool TStringGrid::moveCurrent(int c, int r, bool keepAnchor, bool ask) {
    if (c < fixedCols_ || r < fixedRows_ || c >= colCount_ || r >= RowCount()) return false;
    if (ask && !SelectCell(c, r)) return false;
    TGridRect before = Selection();
    bool changed = c != col_ || r != row_;
    if (changed && editorMode_ && !options_.Contains(goAlwaysShowEditor)) HideEditor();
    col_ = c;
    row_ = r;
    if (!keepAnchor || !options_.Contains(goRangeSelect)) {
        anchorCol_ = c;
        anchorRow_ = r;
    }
    invalidateSelection(before);
    scrollIntoView(c, r);
    invalidateSelection(Selection());
    if (options_.Contains(goEditing) && options_.Contains(goAlwaysShowEditor) && changed) ShowEditor();
    else placeEditor();
    announceCurrent(before);
    return true;
}

bool TStringGrid::FocusCell(int c, int r) { return moveCurrent(c, r, false, true); }
void TStringGrid::SetCol(int c) { moveCurrent(c, row_, false, true); }
void TStringGrid::SetRow(int r) { moveCurrent(col_, r, false, true); }

void TStringGrid::SetSelection(const TGridRect& s) {
    int l = std::min(s.Left, s.Right), rgt = std::max(s.Left, s.Right);
    int t = std::min(s.Top, s.Bottom), b = std::max(s.Top, s.Bottom);
    if (l < fixedCols_ || t < fixedRows_ || rgt >= colCount_ || b >= RowCount()) return;
    TGridRect before = Selection();
    if ((rgt != col_ || b != row_) && editorMode_ && !options_.Contains(goAlwaysShowEditor)) HideEditor();
    anchorCol_ = l;
    anchorRow_ = t;
    col_ = rgt;
    row_ = b;
    invalidateSelection(before);
    scrollIntoView(col_, row_);
    viewport()->update();
    placeEditor();
    announceCurrent(before);
}

bool TStringGrid::SelectCell(int ACol, int ARow) {
    bool can = true;
    if (OnSelectCell) OnSelectCell(this, ACol, ARow, can);
    return can;
}
