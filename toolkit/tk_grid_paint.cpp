// TStringGrid: repainting and painting the visible cells and grid lines.
#include "toolkit/tk_grid.h"
#include "toolkit/tk_grid_store.h"

#include <QPaintEvent>
#include <QPainter>
#include <cmath>
#include <vector>

// ------------------------------------------------------------------------------------------ repaint

void TStringGrid::InvalidateCell(int ACol, int ARow) {
    TRect r = CellRect(ACol, ARow);
    if (r.IsEmpty()) return;
    viewport()->update(QRect(r.Left, r.Top, r.Width() + lineWidth_, r.Height() + lineWidth_));
}

void TStringGrid::InvalidateRow(int ARow) {
    int y = rowTop(ARow);
    if (y < 0) return;
    viewport()->update(QRect(0, y, clientW(), rows_->size(ARow) + lineWidth_));
}

void TStringGrid::InvalidateCol(int ACol) {
    int x = colLeft(ACol);
    if (x < 0) return;
    viewport()->update(QRect(x, 0, cols_->size(ACol) + lineWidth_, clientH()));
}

// -------------------------------------------------------------------------------------------- paint

void TStringGrid::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    canvas_.Attach(&p);
    Paint();
    canvas_.Detach();
}

void TStringGrid::Paint() {
    QPainter* p = canvas_.Painter();
    if (!p) return;
    const int W = clientW(), H = clientH();
    const QRect dirty = p->hasClipping() ? p->clipBoundingRect().toAlignedRect() : QRect(0, 0, W, H);
    const TColor cellColor = Color() == clDefault ? clWindow : Color();
    p->fillRect(dirty, toQColor(cellColor));

    // The shown rows and columns: fixed ones, then the scrolled ones until the view is full.
    struct Line { int index, pos, size; };
    std::vector<Line> rows, cols;
    for (int r = 0, y = 0; r < fixedRows_ && y < H; ++r) {
        int h = rows_->size(r);
        if (h > 0) { rows.push_back({r, y, h}); y += h + lineWidth_; }
    }
    {
        int y = int(rows_->prefix(fixedRows_));
        for (int r = rows_->nextShown(topRow_); r < RowCount() && y < H; r = rows_->nextShown(r + 1)) {
            int h = rows_->size(r);
            rows.push_back({r, y, h});
            y += h + lineWidth_;
        }
    }
    for (int c = 0, x = 0; c < fixedCols_ && x < W; ++c) {
        int w = cols_->size(c);
        if (w > 0) { cols.push_back({c, x, w}); x += w + lineWidth_; }
    }
    {
        int x = int(cols_->prefix(fixedCols_));
        for (int c = cols_->nextShown(leftCol_); c < colCount_ && x < W; c = cols_->nextShown(c + 1)) {
            int w = cols_->size(c);
            cols.push_back({c, x, w});
            x += w + lineWidth_;
        }
    }

    const bool focused = focusInside();
    const TGridRect sel = Selection();
    const bool rowSelect = options_.Contains(goRowSelect);
    const bool focusSelected = options_.Contains(goDrawFocusSelected) || rowSelect;
    const QColor fixedLine = toQColor(clGray);
    const QColor normalLine = toQColor(clSilver);
    canvas_.Font->Assign(*Font());
    // At a fractional scale a line is drawn whole device pixels wide, which may reach into the next cell's
    // first pixel: the lines are drawn after all cells there, so that every one keeps its width.
    const qreal scale = p->deviceTransform().m11();
    const bool linesLast = scale != std::floor(scale);
    struct GridLine { TRect rect; bool vertical; TColor color; };
    std::vector<GridLine> lines;

    for (const Line& rl : rows) {
        if (rl.pos >= dirty.bottom() + 1 || rl.pos + rl.size + lineWidth_ <= dirty.top()) continue;
        for (const Line& cl : cols) {
            if (cl.pos >= dirty.right() + 1 || cl.pos + cl.size + lineWidth_ <= dirty.left()) continue;
            const int c = cl.index, r = rl.index;
            const bool fixed = c < fixedCols_ || r < fixedRows_;
            TGridDrawState state;
            if (fixed) {
                state << gdFixed;
            } else {
                if (focused && c == col_ && r == row_) state << gdFocused;
                if (sel.Contains(c, r)) state << gdSelected;
            }
            TRect rect(cl.pos, rl.pos, cl.pos + cl.size, rl.pos + rl.size);
            if (defaultDrawing_) {
                canvas_.Font->Assign(*Font());
                canvas_.Brush->Style = bsSolid;
                if (fixed) {
                    canvas_.Brush->Color = fixedColor_;
                } else if (state.Contains(gdSelected) && (!state.Contains(gdFocused) || focusSelected)) {
                    canvas_.Brush->Color = clHighlight;
                    canvas_.Font->Color = clHighlightText;
                } else {
                    canvas_.Brush->Color = cellColor;
                }
                canvas_.FillRect(rect);
            }
            DrawCell(c, r, rect, state);
            if (defaultDrawing_ && state.Contains(gdFocused) && !rowSelect) {
                QPen pen(toQColor(clWindowText));
                pen.setStyle(Qt::DotLine);
                p->setPen(pen);
                p->setBrush(Qt::NoBrush);
                p->drawRect(QRect(cl.pos, rl.pos, cl.size - 1, rl.size - 1));
            }
            if (lineWidth_ > 0) {
                bool vert = options_.Contains(fixed ? goFixedVertLine : goVertLine);
                bool horz = options_.Contains(fixed ? goFixedHorzLine : goHorzLine);
                const QColor& lc = fixed ? fixedLine : normalLine;
                const QRect v(cl.pos + cl.size, rl.pos, lineWidth_, rl.size + lineWidth_);
                const QRect h(cl.pos, rl.pos + rl.size, cl.size + lineWidth_, lineWidth_);
                if (linesLast) {
                    if (vert) lines.push_back({TRect::fromQRect(v), true, fixed ? clGray : clSilver});
                    if (horz) lines.push_back({TRect::fromQRect(h), false, fixed ? clGray : clSilver});
                } else {
                    if (vert) p->fillRect(v, lc);
                    if (horz) p->fillRect(h, lc);
                }
            }
        }
    }

    for (const GridLine& l : lines) canvas_.FillLine(l.rect, l.vertical, l.color);

    if (gesture_ == Gesture::Moving && gestureTarget_ >= 0) {
        // Where a dragged column would land: a bar at the target's left edge.
        int x = colLeft(gestureTarget_);
        if (x >= 0) p->fillRect(QRect(std::max(0, x - 1), 0, 3, H), toQColor(clHighlight));
    }
}

void TStringGrid::DrawCell(int ACol, int ARow, TRect& ARect, TGridDrawState AState) {
    if (defaultDrawing_) canvas_.TextRect(ARect, ARect.Left + 2, ARect.Top + 2, Cells(ACol, ARow));
    if (OnDrawCell) OnDrawCell(this, ACol, ARow, ARect, AState);
}
