// TStringGrid: sizes, geometry, scrolling, cell texts, options and moving rows and columns. Painting,
// the current cell and selection, keys and mouse, and the in-place editors have files of their own
// (tk_grid_paint, tk_grid_select, tk_grid_input, tk_grid_edit); the storage is in tk_grid_store.h.
#include "toolkit/tk_grid.h"
#include "toolkit/tk_grid_store.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QScrollBar>
#include <array>
#include <memory>
#include <vector>

// Sizes are held to 0 .. kMaxLineSize, so that positions and rectangles stay within int.
static const int kMaxLineSize = 65535;

// ========================================================================================= LineStrings
namespace {

// A TStrings over one row or one column of a grid.
class GridLineList : public TStrings {
public:
    GridLineList(TStringGrid* g, bool row, int index) : grid_(g), row_(row), index_(index) {}
    bool is(bool row, int index) const { return row_ == row && index_ == index; }

    int Count() const override { return row_ ? grid_->ColCount() : grid_->RowCount(); }
    QString Strings(int i) const override { return row_ ? grid_->Cells(i, index_) : grid_->Cells(index_, i); }
    void SetStrings(int i, const QString& s) override {
        if (row_) grid_->SetCells(i, index_, s);
        else grid_->SetCells(index_, i, s);
    }
    void Clear() override {
        for (int i = 0, n = Count(); i < n; ++i)
            if (!(row_ ? grid_->CellView(i, index_) : grid_->CellView(index_, i)).isEmpty()) SetStrings(i, QString());
    }
    void Insert(int, const QString&) override {}
    void Delete(int) override {}
    int Add(const QString& s) override {
        for (int i = 0, n = Count(); i < n; ++i) {
            if ((row_ ? grid_->CellView(i, index_) : grid_->CellView(index_, i)).isEmpty()) {
                SetStrings(i, s);
                return i;
            }
        }
        return -1;
    }
    void Assign(const TStrings* other) override {
        if (other == this) return;
        int n = Count();
        int m = other ? other->Count() : 0;
        for (int i = 0; i < n; ++i) SetStrings(i, i < m ? other->Strings(i) : QString());
    }

private:
    TStringGrid* grid_;
    bool row_;
    int index_;
};

}  // namespace

class TStringGrid::LineStrings {
public:
    explicit LineStrings(TStringGrid* g) : grid_(g) {}
    TStrings* get(bool row, int index) {
        for (auto& v : ring_)
            if (v && v->is(row, index)) return v.get();
        auto& slot = ring_[size_t(next_)];
        next_ = (next_ + 1) % int(ring_.size());
        slot = std::make_unique<GridLineList>(grid_, row, index);
        return slot.get();
    }

private:
    TStringGrid* grid_;
    std::array<std::unique_ptr<GridLineList>, 64> ring_;
    int next_ = 0;
};

// ========================================================================================= TStringGrid

TStringGrid::TStringGrid(QWidget* parent)
    : QAbstractScrollArea(parent),
      TControl(this),
      rows_(std::make_unique<Axis>(5, 24, 1)),
      cols_(std::make_unique<Axis>(5, 64, 1)),
      cells_(std::make_unique<CellStore>()),
      lineViews_(std::make_unique<LineStrings>(this)) {
    options_ = goFixedVertLine | goFixedHorzLine;
    options_ << goVertLine << goHorzLine << goRangeSelect;
    cells_->setRowCount(5);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // The viewport's context-menu and enter/leave events are the control's.
    HookChild(viewport());
    installAccessible();
    connect(verticalScrollBar(), &QScrollBar::sliderReleased, this, [this] { scrollContentsBy(0, 0); });
    connect(horizontalScrollBar(), &QScrollBar::sliderReleased, this, [this] { scrollContentsBy(0, 0); });
    updateScrollBars();
}

TStringGrid::~TStringGrid() = default;

// ---------------------------------------------------------------------------------------------- size

int TStringGrid::RowCount() const { return rows_->count(); }

void TStringGrid::SetColCount(int n) {
    if (n < 1 || n == colCount_) return;
    const int was = colCount_;
    if (n < colCount_) cells_->truncateCols(n);
    colCount_ = n;
    cols_->setCount(n);
    if (fixedCols_ >= n) fixedCols_ = n - 1;
    if (editCol_ >= n) HideEditor();
    col_ = std::min(std::max(col_, fixedCols_), n - 1);
    anchorCol_ = std::min(std::max(anchorCol_, fixedCols_), n - 1);
    clampTopLeft();
    updateScrollBars();
    viewport()->update();
    if (n < was) CellsSetByCode(n, 0, was - 1, RowCount() - 1);
    SizeChanged(was, RowCount());
}

void TStringGrid::SetRowCount(int n) {
    if (n < 1 || n == RowCount()) return;
    const int was = RowCount();
    rows_->setCount(n);
    cells_->setRowCount(n);
    if (fixedRows_ >= n) fixedRows_ = n - 1;
    if (editRow_ >= n) HideEditor();
    row_ = std::min(std::max(row_, fixedRows_), n - 1);
    anchorRow_ = std::min(std::max(anchorRow_, fixedRows_), n - 1);
    clampTopLeft();
    updateScrollBars();
    viewport()->update();
    if (n < was) CellsSetByCode(0, n, colCount_ - 1, was - 1);
    SizeChanged(colCount_, was);
}

void TStringGrid::SetFixedCols(int n) {
    if (n < 0 || n >= colCount_ || n == fixedCols_) return;
    fixedCols_ = n;
    col_ = std::max(col_, n);
    anchorCol_ = std::max(anchorCol_, n);
    if (editCol_ >= 0 && editCol_ < n) HideEditor();
    clampTopLeft();
    updateScrollBars();
    viewport()->update();
}

void TStringGrid::SetFixedRows(int n) {
    if (n < 0 || n >= RowCount() || n == fixedRows_) return;
    fixedRows_ = n;
    row_ = std::max(row_, n);
    anchorRow_ = std::max(anchorRow_, n);
    if (editRow_ >= 0 && editRow_ < n) HideEditor();
    clampTopLeft();
    updateScrollBars();
    viewport()->update();
}

int TStringGrid::DefaultColWidth() const { return cols_->defaultSize(); }
int TStringGrid::DefaultRowHeight() const { return rows_->defaultSize(); }

void TStringGrid::SetDefaultColWidth(int w) {
    cols_->setDefault(std::min(std::max(w, 0), kMaxLineSize));
    clampTopLeft();
    updateScrollBars();
    placeEditor();
    viewport()->update();
}

void TStringGrid::SetDefaultRowHeight(int h) {
    rows_->setDefault(std::min(std::max(h, 0), kMaxLineSize));
    clampTopLeft();
    updateScrollBars();
    placeEditor();
    viewport()->update();
}

int TStringGrid::ColWidths(int i) const { return cols_->size(i); }
int TStringGrid::RowHeights(int i) const { return rows_->size(i); }

void TStringGrid::sizesChanged() {
    if (updating_) return;
    clampTopLeft();
    updateScrollBars();
    placeEditor();
    viewport()->update();
}

void TStringGrid::SetColWidths(int i, int w) {
    if (i < 0 || i >= colCount_) return;
    w = std::min(std::max(w, 0), kMaxLineSize);
    if (cols_->size(i) == w) return;
    if (updating_) cols_->setSizeLazy(i, w);
    else cols_->setSize(i, w);
    sizesChanged();
}

void TStringGrid::SetRowHeights(int i, int h) {
    if (i < 0 || i >= RowCount()) return;
    h = std::min(std::max(h, 0), kMaxLineSize);
    if (rows_->size(i) == h) return;
    if (updating_) rows_->setSizeLazy(i, h);
    else rows_->setSize(i, h);
    sizesChanged();
}

void TStringGrid::BeginUpdate() { ++updating_; }

void TStringGrid::EndUpdate() {
    if (updating_ == 0 || --updating_ > 0) return;
    const int oldTop = topRow_, oldLeft = leftCol_;
    sizesChanged();
    if (oldTop != topRow_ || oldLeft != leftCol_) TopLeftChanged();
}

void TStringGrid::SetGridLineWidth(int w) {
    w = std::max(w, 0);
    if (w == lineWidth_) return;
    lineWidth_ = w;
    rows_->setLine(w);
    cols_->setLine(w);
    clampTopLeft();
    updateScrollBars();
    placeEditor();
    viewport()->update();
}

long long TStringGrid::GridWidth() const { return cols_->prefix(colCount_); }
long long TStringGrid::GridHeight() const { return rows_->prefix(RowCount()); }

// ------------------------------------------------------------------------------------------ geometry

int TStringGrid::clientW() const { return viewport()->width(); }
int TStringGrid::clientH() const { return viewport()->height(); }

int TStringGrid::rowTop(int r) const {
    if (r < 0 || r >= RowCount() || rows_->size(r) == 0) return -1;
    long long y;
    if (r < fixedRows_) y = rows_->prefix(r);
    else if (r >= topRow_) y = rows_->prefix(fixedRows_) + rows_->prefix(r) - rows_->prefix(topRow_);
    else return -1;
    return y < clientH() ? int(y) : -1;
}

int TStringGrid::colLeft(int c) const {
    if (c < 0 || c >= colCount_ || cols_->size(c) == 0) return -1;
    long long x;
    if (c < fixedCols_) x = cols_->prefix(c);
    else if (c >= leftCol_) x = cols_->prefix(fixedCols_) + cols_->prefix(c) - cols_->prefix(leftCol_);
    else return -1;
    return x < clientW() ? int(x) : -1;
}

TRect TStringGrid::CellRect(int ACol, int ARow) const {
    int x = colLeft(ACol);
    int y = rowTop(ARow);
    if (x < 0 || y < 0) return TRect();
    return TRect(x, y, x + cols_->size(ACol), y + rows_->size(ARow));
}

void TStringGrid::MouseToCell(int X, int Y, int& ACol, int& ARow) const {
    ACol = ARow = -1;
    if (X < 0 || Y < 0 || X >= clientW() || Y >= clientH()) return;
    long long fixedH = rows_->prefix(fixedRows_);
    int r = Y < fixedH ? rows_->indexAt(Y) : rows_->indexAt(rows_->prefix(topRow_) + (Y - fixedH));
    long long fixedW = cols_->prefix(fixedCols_);
    int c = X < fixedW ? cols_->indexAt(X) : cols_->indexAt(cols_->prefix(leftCol_) + (X - fixedW));
    if (r >= RowCount() || c >= colCount_) return;
    ACol = c;
    ARow = r;
}

TGridCoord TStringGrid::MouseCoord(int X, int Y) const {
    TGridCoord g;
    MouseToCell(X, Y, g.X, g.Y);
    return g;
}

// ----------------------------------------------------------------------------------------- scrolling

int TStringGrid::nextShownRow(int r, int step) const {
    int n = RowCount();
    int s = step > 0 ? rows_->nextShown(r) : rows_->prevShown(r);
    return (s >= fixedRows_ && s < n) ? s : -1;
}

int TStringGrid::nextShownCol(int c, int step) const {
    int s = step > 0 ? cols_->nextShown(c) : cols_->prevShown(c);
    return (s >= fixedCols_ && s < colCount_) ? s : -1;
}

int TStringGrid::maxTopRow() const {
    int n = RowCount();
    long long avail = clientH() - rows_->prefix(fixedRows_);
    long long target = rows_->prefix(n) - avail;  // the top row must start at or after this
    int t = fixedRows_;
    if (target > rows_->prefix(fixedRows_)) t = rows_->indexAt(target - 1) + 1;
    t = std::min(std::max(t, fixedRows_), n - 1);
    int s = nextShownRow(t, +1);
    if (s < 0) s = nextShownRow(t, -1);
    return s < 0 ? fixedRows_ : s;
}

int TStringGrid::maxLeftCol() const {
    long long avail = clientW() - cols_->prefix(fixedCols_);
    long long target = cols_->prefix(colCount_) - avail;
    int t = fixedCols_;
    if (target > cols_->prefix(fixedCols_)) t = cols_->indexAt(target - 1) + 1;
    t = std::min(std::max(t, fixedCols_), colCount_ - 1);
    int s = nextShownCol(t, +1);
    if (s < 0) s = nextShownCol(t, -1);
    return s < 0 ? fixedCols_ : s;
}

void TStringGrid::clampTopLeft() {
    int top = std::min(std::max(topRow_, fixedRows_), maxTopRow());
    int s = nextShownRow(top, +1);
    topRow_ = s >= 0 ? s : std::max(fixedRows_, std::min(top, RowCount() - 1));
    int left = std::min(std::max(leftCol_, fixedCols_), maxLeftCol());
    s = nextShownCol(left, +1);
    leftCol_ = s >= 0 ? s : std::max(fixedCols_, std::min(left, colCount_ - 1));
}

void TStringGrid::setTopLeft(int top, int left) {
    int oldTop = topRow_, oldLeft = leftCol_;
    topRow_ = top;
    leftCol_ = left;
    clampTopLeft();
    if (topRow_ == oldTop && leftCol_ == oldLeft) {
        updateScrollBars();
        return;
    }
    updateScrollBars();
    placeEditor();
    viewport()->update();
    TopLeftChanged();
}

void TStringGrid::SetTopRow(int r) { setTopLeft(r, leftCol_); }
void TStringGrid::SetLeftCol(int c) { setTopLeft(topRow_, c); }

int TStringGrid::VisibleRowCount() const {
    long long avail = clientH() - rows_->prefix(fixedRows_);
    if (avail <= 0) return 0;
    int k = rows_->indexAt(rows_->prefix(topRow_) + avail);
    return std::max(0, k - topRow_);
}

int TStringGrid::VisibleColCount() const {
    long long avail = clientW() - cols_->prefix(fixedCols_);
    if (avail <= 0) return 0;
    int k = cols_->indexAt(cols_->prefix(leftCol_) + avail);
    return std::max(0, k - leftCol_);
}

// The bars count from the first shown scrollable row (column): rows hidden before it are no steps, so
// a grid whose shown rows all fit has no vertical bar whatever is hidden above them.
int TStringGrid::firstScrollRow() const {
    int s = nextShownRow(fixedRows_, +1);
    return s < 0 ? fixedRows_ : s;
}

int TStringGrid::firstScrollCol() const {
    int s = nextShownCol(fixedCols_, +1);
    return s < 0 ? fixedCols_ : s;
}

void TStringGrid::updateScrollBars() {
    settingScroll_ = true;
    QScrollBar* v = verticalScrollBar();
    const int r0 = firstScrollRow(), c0 = firstScrollCol();
    v->setRange(0, std::max(0, maxTopRow() - r0));
    v->setPageStep(std::max(1, VisibleRowCount()));
    v->setSingleStep(1);
    v->setValue(topRow_ - r0);
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, std::max(0, maxLeftCol() - c0));
    h->setPageStep(std::max(1, VisibleColCount()));
    h->setSingleStep(1);
    h->setValue(leftCol_ - c0);
    settingScroll_ = false;
}

void TStringGrid::scrollContentsBy(int, int) {
    // The bars count rows and columns; pixels are never scrolled, the view is painted from TopRow/LeftCol.
    if (settingScroll_) return;
    QScrollBar* v = verticalScrollBar();
    QScrollBar* h = horizontalScrollBar();
    bool track = options_.Contains(goThumbTracking);
    int top = (v->isSliderDown() && !track) ? topRow_ : firstScrollRow() + v->value();
    int left = (h->isSliderDown() && !track) ? leftCol_ : firstScrollCol() + h->value();
    // A bar step onto a hidden row goes on in the direction of the step.
    if (top < topRow_) {
        int s = nextShownRow(top, -1);
        if (s >= 0) top = s;
    }
    if (left < leftCol_) {
        int s = nextShownCol(left, -1);
        if (s >= 0) left = s;
    }
    setTopLeft(top, left);
}

void TStringGrid::scrollIntoView(int c, int r) {
    int top = topRow_, left = leftCol_;
    if (r >= fixedRows_ && r < RowCount()) {
        long long avail = clientH() - rows_->prefix(fixedRows_);
        if (r < topRow_) {
            top = r;
        } else if (rows_->prefix(r + 1) - rows_->prefix(topRow_) > avail) {
            long long target = rows_->prefix(r + 1) - avail;
            int t = target > 0 ? rows_->indexAt(target - 1) + 1 : fixedRows_;
            top = std::min(t, r);
        }
    }
    if (c >= fixedCols_ && c < colCount_) {
        long long avail = clientW() - cols_->prefix(fixedCols_);
        if (c < leftCol_) {
            left = c;
        } else if (cols_->prefix(c + 1) - cols_->prefix(leftCol_) > avail) {
            long long target = cols_->prefix(c + 1) - avail;
            int t = target > 0 ? cols_->indexAt(target - 1) + 1 : fixedCols_;
            left = std::min(t, c);
        }
    }
    if (top != topRow_ || left != leftCol_) setTopLeft(top, left);
}

void TStringGrid::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    int oldTop = topRow_, oldLeft = leftCol_;
    clampTopLeft();
    updateScrollBars();
    placeEditor();
    if (oldTop != topRow_ || oldLeft != leftCol_) TopLeftChanged();
}

// ---------------------------------------------------------------------------------------------- cells

QString TStringGrid::Cells(int ACol, int ARow) const { return CellView(ACol, ARow).toString(); }

QStringView TStringGrid::CellView(int ACol, int ARow) const {
    if (ACol < 0 || ARow < 0 || ACol >= colCount_ || ARow >= RowCount()) return QStringView();
    return cells_->get(ACol, ARow);
}

void TStringGrid::SetCells(int ACol, int ARow, const QString& Value) { SetCells(ACol, ARow, QStringView(Value)); }

void TStringGrid::SetCells(int ACol, int ARow, QStringView Value) {
    if (ACol < 0 || ARow < 0 || ACol >= colCount_ || ARow >= RowCount()) return;
    cells_->set(ACol, ARow, Value, colCount_);
    if (!updating_) InvalidateCell(ACol, ARow);
    if (writingFromEditor_) return;
    if (editor_ && editorMode_ && ACol == editCol_ && ARow == editRow_) {
        const QString value = Value.toString();
        bool m = editor_->isModified();
        editor_->setText(value);
        editor_->setModified(m);
        // Esc goes back to this value: an edit that a reload or a new value replaced is gone.
        editOriginal_ = value;
        EditTextReplaced(ACol, ARow, value);
    }
    CellsSetByCode(ACol, ARow, ACol, ARow);
}

void TStringGrid::ReserveRowText(int ARow, int Units) {
    if (ARow < 0 || ARow >= RowCount() || Units <= 0) return;
    cells_->reserve(ARow, colCount_, cells_->rowText(ARow) + uint32_t(Units));
}

TStrings* TStringGrid::Rows(int i) { return lineViews_->get(true, i); }
TStrings* TStringGrid::Cols(int i) { return lineViews_->get(false, i); }

// ------------------------------------------------------------------------------------------- options

void TStringGrid::SetOptions(TGridOptions o) {
    if (o == options_) return;
    options_ = o;
    if (!o.Contains(goRangeSelect)) {
        anchorCol_ = col_;
        anchorRow_ = row_;
    }
    if (!o.Contains(goEditing) || o.Contains(goRowSelect)) HideEditor();
    else if (o.Contains(goAlwaysShowEditor)) ShowEditor();
    // An input method may write on a grid whose cells can be edited (inputMethodEvent).
    setAttribute(Qt::WA_InputMethodEnabled, o.Contains(goEditing) && !o.Contains(goRowSelect));
    if (hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImEnabled);
    viewport()->update();
}

void TStringGrid::SetDefaultDrawing(bool on) {
    if (on == defaultDrawing_) return;
    defaultDrawing_ = on;
    viewport()->update();
}

void TStringGrid::SetFixedColor(TColor c) {
    fixedColor_ = c;
    viewport()->update();
}

// ------------------------------------------------------------------------------------ moving lines

namespace {
// Where index i ends up when the line at from is taken out and put back at to.
int movedIndex(int i, int from, int to) {
    if (i == from) return to;
    if (from < to && i > from && i <= to) return i - 1;
    if (from > to && i >= to && i < from) return i + 1;
    return i;
}
}  // namespace

void TStringGrid::MoveColumn(int FromIndex, int ToIndex) {
    if (FromIndex < 0 || ToIndex < 0 || FromIndex >= colCount_ || ToIndex >= colCount_ || FromIndex == ToIndex) return;
    cells_->moveCol(FromIndex, ToIndex);
    cols_->move(FromIndex, ToIndex);
    col_ = movedIndex(col_, FromIndex, ToIndex);
    anchorCol_ = movedIndex(anchorCol_, FromIndex, ToIndex);
    if (editCol_ >= 0) editCol_ = movedIndex(editCol_, FromIndex, ToIndex);
    clampTopLeft();
    updateScrollBars();
    placeEditor();
    viewport()->update();
    ColumnMoved(FromIndex, ToIndex);
}

void TStringGrid::MoveRow(int FromIndex, int ToIndex) {
    int n = RowCount();
    if (FromIndex < 0 || ToIndex < 0 || FromIndex >= n || ToIndex >= n || FromIndex == ToIndex) return;
    cells_->moveRow(FromIndex, ToIndex);
    rows_->move(FromIndex, ToIndex);
    row_ = movedIndex(row_, FromIndex, ToIndex);
    anchorRow_ = movedIndex(anchorRow_, FromIndex, ToIndex);
    if (editRow_ >= 0) editRow_ = movedIndex(editRow_, FromIndex, ToIndex);
    clampTopLeft();
    updateScrollBars();
    placeEditor();
    viewport()->update();
    RowMoved(FromIndex, ToIndex);
}

bool TStringGrid::ReorderRows(int First, const std::vector<int>& order) {
    const int n = int(order.size());
    if (First < 0 || n == 0 || First + n > RowCount()) return false;
    std::vector<char> seen(size_t(n), 0);
    for (int o : order) {
        if (o < First || o >= First + n || seen[size_t(o - First)]) return false;
        seen[size_t(o - First)] = 1;
    }
    cells_->reorder(First, order);
    rows_->reorder(First, order);
    if (editor_ && editorMode_ && editRow_ >= First && editRow_ < First + n) {
        editOriginal_ = Cells(editCol_, editRow_);
        editor_->UpdateContents();
    }
    sizesChanged();
    return true;
}

void TStringGrid::ColumnMoved(int FromIndex, int ToIndex) {
    if (OnColumnMoved) OnColumnMoved(this, FromIndex, ToIndex);
}

void TStringGrid::RowMoved(int FromIndex, int ToIndex) {
    if (OnRowMoved) OnRowMoved(this, FromIndex, ToIndex);
}

void TStringGrid::TopLeftChanged() {
    if (OnTopLeftChanged) OnTopLeftChanged(this);
}
