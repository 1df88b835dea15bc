// TStringGrid: storage, geometry, scrolling, painting, keys, mouse and the in-place editors.
#include "toolkit/tk_grid.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolButton>
#include <QWheelEvent>
#include <array>
#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

// Sizes are held to 0 .. kMaxLineSize, so that positions and rectangles stay within int.
static const int kMaxLineSize = 65535;

// ================================================================================================ Axis
// Sizes of the rows (or columns) of one direction. While every size is the default, nothing is stored and
// positions are products; the first other size stores all sizes and a Fenwick tree of extents
// (size + grid line, 0 for a hidden one), so the position of an index and the index at a position take
// O(log n) even for a million rows.
class TStringGrid::Axis {
public:
    Axis(int count, int def, int line) : n_(count), def_(def), line_(line) {}

    int count() const { return n_; }
    int defaultSize() const { return def_; }
    int size(int i) const {
        if (i < 0 || i >= n_) return 0;
        return sizes_.empty() ? def_ : sizes_[size_t(i)];
    }
    long long extent(int i) const {
        int s = size(i);
        return s > 0 ? (long long)s + line_ : 0;
    }
    // Rows appended one at a time cost O(log n) each: a new Fenwick node is the sum of the extents it
    // covers, read from the nodes already there. Cutting rows keeps the nodes below the cut as they are.
    void setCount(int n) {
        if (n == n_) return;
        flush();
        if (sizes_.empty()) {
            n_ = n;
            return;
        }
        if (n < n_) {
            n_ = n;
            sizes_.resize(size_t(n));
            tree_.resize(size_t(n) + 1);
            return;
        }
        sizes_.resize(size_t(n), def_);
        if (n - n_ > n_) {
            n_ = n;
            build();
            return;
        }
        tree_.resize(size_t(n) + 1, 0);
        for (int i = n_ + 1; i <= n; ++i) {
            n_ = i;
            int low = i - (i & -i);
            tree_[size_t(i)] = prefix(i - 1) - prefix(low) + extent(i - 1);
        }
    }
    void setDefault(int d) {
        def_ = d;
        sizes_.clear();
        tree_.clear();
        dirty_ = false;
    }
    void setLine(int w) {
        line_ = w;
        if (!sizes_.empty()) build();
    }
    // Stores a size without updating the tree; the tree is rebuilt once on the next position query.
    // For batches that touch many sizes (a filter over a million rows).
    void setSizeLazy(int i, int s) {
        if (i < 0 || i >= n_) return;
        if (sizes_.empty()) {
            if (s == def_) return;
            sizes_.assign(size_t(n_), def_);
        }
        sizes_[size_t(i)] = s;
        dirty_ = true;
    }
    // Rows first .. first + n - 1 take the sizes of rows order[k].
    void reorder(int first, const std::vector<int>& order) {
        if (sizes_.empty()) return;
        std::vector<int> moved(order.size());
        for (size_t k = 0; k < order.size(); ++k) moved[k] = sizes_[size_t(order[k])];
        std::copy(moved.begin(), moved.end(), sizes_.begin() + first);
        build();
    }
    void setSize(int i, int s) {
        if (i < 0 || i >= n_) return;
        flush();
        if (sizes_.empty()) {
            if (s == def_) return;
            sizes_.assign(size_t(n_), def_);
            sizes_[size_t(i)] = s;
            build();
            return;
        }
        long long before = extent(i);
        sizes_[size_t(i)] = s;
        long long delta = extent(i) - before;
        if (delta == 0) return;
        for (int k = i + 1; k <= n_; k += k & -k) tree_[size_t(k)] += delta;
    }
    void move(int from, int to) {
        if (sizes_.empty()) return;
        flush();
        int s = sizes_[size_t(from)];
        sizes_.erase(sizes_.begin() + from);
        sizes_.insert(sizes_.begin() + to, s);
        build();
    }
    // Sum of the extents of [0, i).
    long long prefix(int i) const {
        flush();
        if (i <= 0) return 0;
        if (i > n_) i = n_;
        if (sizes_.empty()) return (long long)i * unit();
        long long sum = 0;
        for (int k = i; k > 0; k -= k & -k) sum += tree_[size_t(k)];
        return sum;
    }
    // The largest i in [0, n] with prefix(i) <= off: the index whose extent holds pixel off (n when off is
    // past the end); hidden indexes are stepped over because they add nothing.
    int indexAt(long long off) const {
        flush();
        if (off < 0) return 0;
        if (sizes_.empty()) {
            long long u = unit();
            if (u == 0) return n_;
            long long i = off / u;
            return i >= n_ ? n_ : int(i);
        }
        int pos = 0;
        long long rem = off;
        int step = 1;
        while (step * 2 <= n_) step *= 2;
        for (; step > 0; step /= 2) {
            if (pos + step <= n_ && tree_[size_t(pos + step)] <= rem) {
                pos += step;
                rem -= tree_[size_t(pos)];
            }
        }
        return pos;
    }
    // The first shown index at or after i; n when none.
    int nextShown(int i) const {
        if (i < 0) i = 0;
        if (i >= n_) return n_;
        if (sizes_.empty()) return def_ > 0 ? i : n_;
        return indexAt(prefix(i));
    }
    // The last shown index at or before i; -1 when none.
    int prevShown(int i) const {
        if (i >= n_) i = n_ - 1;
        if (i < 0) return -1;
        if (sizes_.empty()) return def_ > 0 ? i : -1;
        long long end = prefix(i + 1);
        if (end == 0) return -1;
        return indexAt(end - 1);
    }

    // Brings the tree up to date after lazy sizes.
    void flush() const {
        if (dirty_) const_cast<Axis*>(this)->build();
    }

private:
    long long unit() const { return def_ > 0 ? (long long)def_ + line_ : 0; }
    void build() {
        dirty_ = false;
        tree_.assign(size_t(n_) + 1, 0);
        for (int i = 1; i <= n_; ++i) {
            tree_[size_t(i)] += extent(i - 1);
            int j = i + (i & -i);
            if (j <= n_) tree_[size_t(j)] += tree_[size_t(i)];
        }
    }

    int n_;
    int def_;
    int line_;
    std::vector<int> sizes_;         // empty while every size is def_
    std::vector<long long> tree_;    // Fenwick tree over extents, 1-based; valid with sizes_
    bool dirty_ = false;             // sizes_ changed lazily; tree_ to be rebuilt
};

// =========================================================================================== CellStore
// The texts of the cells: one block per row that has any text, none for an empty row.
//
// Row block (one malloc'ed piece of memory, 32-bit words first):
//   OFFSET          SIZE            CONTENT
//   0               4               nslots: cells held (columns 0 .. nslots-1; later ones are empty)
//   4               4               cap: room for texts, in UTF-16 code units
//   8               4 * nslots      ends[c]: end of cell c's text, in code units from the text start;
//                                   cell c spans [c ? ends[c-1] : 0, ends[c])
//   8 + 4 * nslots  2 * cap         the texts, back to back
class TStringGrid::CellStore {
public:
    ~CellStore() { setRowCount(0); }

    void setRowCount(int n) {
        for (size_t r = size_t(n); r < rows_.size(); ++r) std::free(rows_[r]);
        rows_.resize(size_t(n), nullptr);
    }

    QStringView get(int c, int r) const {
        const uint32_t* b = rows_[size_t(r)];
        if (!b || uint32_t(c) >= b[0]) return QStringView();
        uint32_t start = c ? b[2 + c - 1] : 0;
        uint32_t end = b[2 + c];
        return QStringView(text(b) + start, qsizetype(end - start));
    }

    void set(int c, int r, QStringView v, int slotsHint) {
        uint32_t*& b = rows_[size_t(r)];
        const uint32_t len = uint32_t(v.size());
        if (!b) {
            if (len == 0) return;
            b = make(uint32_t(std::max(slotsHint, c + 1)), std::max<uint32_t>(len, 8));
        } else if (uint32_t(c) >= b[0]) {
            if (len == 0) return;
            b = widen(b, uint32_t(c + 1));
        }
        const uint32_t nslots = b[0];
        uint32_t* ends = b + 2;
        const uint32_t start = c ? ends[c - 1] : 0;
        const uint32_t end = ends[c];
        const uint32_t total = ends[nslots - 1];
        const long long delta = (long long)len - (long long)(end - start);
        if (delta > 0 && total + delta > b[1]) {
            uint32_t cap = std::max<uint32_t>(uint32_t(total + delta), b[1] + b[1] / 2 + 8);
            void* grown = std::realloc(b, bytes(nslots, cap));
            assert(grown && "cell text allocation failed");
            b = static_cast<uint32_t*>(grown);
            b[1] = cap;
            ends = b + 2;
        }
        char16_t* t = text(b);
        if (delta != 0 && total > end)
            std::memmove(t + end + delta, t + end, size_t(total - end) * sizeof(char16_t));
        if (len) std::memcpy(t + start, v.utf16(), size_t(len) * sizeof(char16_t));
        for (uint32_t k = uint32_t(c); k < nslots; ++k) ends[k] = uint32_t((long long)ends[k] + delta);
        if (ends[nslots - 1] == 0) {  // the row holds no text any more
            std::free(b);
            b = nullptr;
        }
    }

    // Empties the cells of columns n and beyond.
    void truncateCols(int n) {
        for (uint32_t*& b : rows_) {
            if (!b || b[0] <= uint32_t(n)) continue;
            uint32_t keep = n > 0 ? b[2 + n - 1] : 0;
            for (uint32_t k = uint32_t(n); k < b[0]; ++k) b[2 + k] = keep;
            if (keep == 0) {
                std::free(b);
                b = nullptr;
            }
        }
    }

    // Moves column from to to in every row: each block is rebuilt once, its texts copied in the new order.
    void moveCol(int from, int to) {
        const uint32_t need = uint32_t(std::max(from, to)) + 1;
        std::vector<uint32_t> order;
        for (uint32_t*& b : rows_) {
            if (!b) continue;
            if (uint32_t(from) >= b[0] && uint32_t(to) >= b[0]) continue;  // both empty
            if (b[0] < need) b = widen(b, need);
            const uint32_t n = b[0];
            order.resize(n);
            for (uint32_t k = 0; k < n; ++k) order[k] = k;
            order.erase(order.begin() + from);
            order.insert(order.begin() + to, uint32_t(from));
            uint32_t* m = make(n, b[1]);
            const char16_t* src = text(b);
            char16_t* dst = text(m);
            uint32_t at = 0;
            for (uint32_t k = 0; k < n; ++k) {
                uint32_t c = order[k];
                uint32_t start = c ? b[2 + c - 1] : 0, end = b[2 + c];
                std::memcpy(dst + at, src + start, size_t(end - start) * 2);
                at += end - start;
                m[2 + k] = at;
            }
            std::free(b);
            b = m;
        }
    }

    // Rows first .. first + n - 1 take the blocks of rows order[k]: pointers move, texts stay put.
    void reorder(int first, const std::vector<int>& order) {
        std::vector<uint32_t*> moved(order.size());
        for (size_t k = 0; k < order.size(); ++k) moved[k] = rows_[size_t(order[k])];
        std::copy(moved.begin(), moved.end(), rows_.begin() + first);
    }

    void moveRow(int from, int to) {
        uint32_t* b = rows_[size_t(from)];
        rows_.erase(rows_.begin() + from);
        rows_.insert(rows_.begin() + to, b);
    }

private:
    static size_t bytes(uint32_t nslots, uint32_t cap) { return (2 + size_t(nslots)) * 4 + size_t(cap) * 2; }
    static char16_t* text(uint32_t* b) { return reinterpret_cast<char16_t*>(b + 2 + b[0]); }
    static const char16_t* text(const uint32_t* b) { return reinterpret_cast<const char16_t*>(b + 2 + b[0]); }
    static uint32_t* make(uint32_t nslots, uint32_t cap) {
        uint32_t* b = static_cast<uint32_t*>(std::malloc(bytes(nslots, cap)));
        assert(b && "cell text allocation failed");
        b[0] = nslots;
        b[1] = cap;
        std::memset(b + 2, 0, size_t(nslots) * 4);
        return b;
    }
    // A copy of b with more nslots (the new cells empty).
    static uint32_t* widen(uint32_t* b, uint32_t nslots) {
        uint32_t old = b[0];
        uint32_t total = b[2 + old - 1];
        uint32_t* n = make(nslots, b[1]);
        std::memcpy(n + 2, b + 2, size_t(old) * 4);
        for (uint32_t k = old; k < nslots; ++k) n[2 + k] = total;
        std::memcpy(text(n), text(b), size_t(total) * 2);
        std::free(b);
        return n;
    }

    std::vector<uint32_t*> rows_;
};

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
}

bool TStringGrid::SelectCell(int ACol, int ARow) {
    bool can = true;
    if (OnSelectCell) OnSelectCell(this, ACol, ARow, can);
    return can;
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
                if (vert) p->fillRect(QRect(cl.pos + cl.size, rl.pos, lineWidth_, rl.size + lineWidth_), lc);
                if (horz) p->fillRect(QRect(cl.pos, rl.pos + rl.size, cl.size + lineWidth_, lineWidth_), lc);
            }
        }
    }

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

// -------------------------------------------------------------------------------------------- editor

QString TStringGrid::GetEditText(int ACol, int ARow) {
    QString v = Cells(ACol, ARow);
    if (OnGetEditText) OnGetEditText(this, ACol, ARow, v);
    return v;
}

void TStringGrid::SetEditText(int ACol, int ARow, const QString& Value) {
    if (CellView(ACol, ARow) != Value) SetCells(ACol, ARow, Value);
    if (OnSetEditText) OnSetEditText(this, ACol, ARow, Value);
}

void TStringGrid::EditTextReplaced(int, int, const QString&) {}
void TStringGrid::CellsSetByCode(int, int, int, int) {}

TEditStyle TStringGrid::GetEditStyle(int ACol, int ARow) {
    return OnGetEditStyle ? OnGetEditStyle(this, ACol, ARow) : esSimple;
}

void TStringGrid::GetPickListItems(int ACol, int ARow, TStrings* Items) {
    if (OnGetPickListItems) OnGetPickListItems(this, ACol, ARow, Items);
}

bool TStringGrid::CanEditShow() const {
    return options_.Contains(goEditing) && !options_.Contains(goRowSelect) && col_ >= fixedCols_ && row_ >= fixedRows_;
}

TInplaceEdit* TStringGrid::CreateEditor() {
    auto* e = new TInplaceEditList(this);
    e->SetDropDownRows(15);
    e->OnEditButtonClick = [this](TObject*) {
        if (OnEditButtonClick) OnEditButtonClick(this);
    };
    e->OnGetPickListItems = [this](TObject*, int c, int r, TStrings* items) { GetPickListItems(c, r, items); };
    return e;
}

void TStringGrid::SetEditorMode(bool on) {
    if (on) ShowEditor();
    else HideEditor();
}

void TStringGrid::ShowEditor() {
    if (!CanEditShow()) {
        // A cell that takes no editor (read-only, editing switched off for it) leaves none of another
        // cell behind it, where typing would land in the wrong cell.
        if (editorMode_ && (editCol_ != col_ || editRow_ != row_)) HideEditor();
        return;
    }
    if (!editor_) {
        editor_ = CreateEditor();
        assert(editor_ && editor_->Grid() == this && "CreateEditor must make an editor of this grid");
        connect(editor_, &QLineEdit::textEdited, this, [this](const QString& t) { editorTextEdited(t); });
        editor_->hide();
    }
    bool same = editorMode_ && editCol_ == col_ && editRow_ == row_ && editor_->isVisible();
    editorMode_ = true;
    if (!same) {
        editCol_ = col_;
        editRow_ = row_;
        if (auto* l = qobject_cast<TInplaceEditList*>(editor_)) l->SetEditStyle(GetEditStyle(col_, row_));
        editOriginal_ = Cells(col_, row_);
        editor_->UpdateContents();
        editor_->selectAll();
    }
    placeEditor();
    if (editor_->isVisible() && (hasFocus() || focusInside() || !isActiveWindow())) editor_->setFocus(Qt::OtherFocusReason);
}

void TStringGrid::HideEditor() {
    editorMode_ = false;
    if (!editor_) return;
    if (auto* l = qobject_cast<TInplaceEditList*>(editor_)) l->CloseUp(false);
    bool hadFocus = editor_->hasFocus();
    editor_->hide();
    editCol_ = editRow_ = -1;
    if (hadFocus) setFocus(Qt::OtherFocusReason);
}

void TStringGrid::placeEditor() {
    if (!editor_ || !editorMode_) return;
    TRect rc = CellRect(editCol_, editRow_);
    if (rc.IsEmpty()) {
        bool hadFocus = editor_->hasFocus();
        editor_->hide();
        if (hadFocus) setFocus(Qt::OtherFocusReason);
        return;
    }
    editor_->setGeometry(rc.toQRect());
    if (!editor_->isVisible()) editor_->show();
}

void TStringGrid::cancelEdit() {
    if (!editor_ || !editorMode_) return;
    QString original = editOriginal_;
    editor_->setText(original);
    editor_->setModified(false);
    writingFromEditor_ = true;
    SetEditText(editCol_, editRow_, original);
    writingFromEditor_ = false;
    if (options_.Contains(goAlwaysShowEditor)) editor_->selectAll();
    else HideEditor();
}

void TStringGrid::editorTextEdited(const QString& text) {
    if (editCol_ < 0 || editRow_ < 0) return;
    writingFromEditor_ = true;
    SetEditText(editCol_, editRow_, text);
    writingFromEditor_ = false;
}

// ---------------------------------------------------------------------------------------------- keys

void TStringGrid::KeyDown(WORD& Key, TShiftState Shift) {
    if (OnKeyDown) OnKeyDown(this, Key, Shift);
    if (Key == 0) return;
    const bool ctrl = Shift.Contains(ssCtrl);
    const bool shift = Shift.Contains(ssShift);
    const bool rowSelect = options_.Contains(goRowSelect);
    int c = col_, r = row_;
    bool extend = shift && options_.Contains(goRangeSelect);
    auto firstRow = [&] { return nextShownRow(fixedRows_, +1); };
    auto lastRow = [&] { return nextShownRow(RowCount() - 1, -1); };
    auto firstCol = [&] { return nextShownCol(fixedCols_, +1); };
    auto lastCol = [&] { return nextShownCol(colCount_ - 1, -1); };

    switch (Key) {
    case VK_UP:
        r = nextShownRow(row_ - 1, -1);
        break;
    case VK_DOWN:
        r = nextShownRow(row_ + 1, +1);
        break;
    case VK_LEFT:
        if (rowSelect) {
            int s = nextShownCol(leftCol_ - 1, -1);
            if (s >= 0) SetLeftCol(s);
            return;
        }
        c = nextShownCol(col_ - 1, -1);
        break;
    case VK_RIGHT:
        if (rowSelect) {
            int s = nextShownCol(leftCol_ + 1, +1);
            if (s >= 0) SetLeftCol(s);
            return;
        }
        c = nextShownCol(col_ + 1, +1);
        break;
    case VK_PRIOR: {
        int page = std::max(1, VisibleRowCount());
        int t = std::max(fixedRows_, row_ - page);
        r = nextShownRow(t, -1);
        if (r < 0) r = firstRow();
        if (r >= 0) SetTopRow(std::max(fixedRows_, topRow_ - page));
        break;
    }
    case VK_NEXT: {
        int page = std::max(1, VisibleRowCount());
        int t = std::min(RowCount() - 1, row_ + page);
        r = nextShownRow(t, +1);
        if (r < 0) r = lastRow();
        if (r >= 0) SetTopRow(topRow_ + page);
        break;
    }
    case VK_HOME:
        if (ctrl || rowSelect) r = firstRow();
        if (!rowSelect) c = firstCol();
        break;
    case VK_END:
        if (ctrl || rowSelect) r = lastRow();
        if (!rowSelect) c = lastCol();
        break;
    case VK_TAB:
        if (!options_.Contains(goTabs) || ctrl) return;
        extend = false;
        if (!shift) {
            c = nextShownCol(col_ + 1, +1);
            if (c < 0) {
                r = nextShownRow(row_ + 1, +1);
                c = r >= 0 ? firstCol() : -1;
            }
        } else {
            c = nextShownCol(col_ - 1, -1);
            if (c < 0) {
                r = nextShownRow(row_ - 1, -1);
                c = r >= 0 ? lastCol() : -1;
            }
        }
        if (c < 0 || r < 0) return;
        break;
    case VK_RETURN:
        // Ctrl+Enter is not Enter: it neither opens nor closes the editor (an ellipsis editor takes it
        // as its button before it gets here).
        if (ctrl || !options_.Contains(goEditing) || rowSelect) return;
        if (editorMode_) {
            if (options_.Contains(goAlwaysShowEditor)) {
                if (editor_) editor_->selectAll();
            } else {
                HideEditor();
            }
        } else {
            ShowEditor();
        }
        return;
    case VK_F2:
        if (!options_.Contains(goEditing)) return;
        ShowEditor();
        if (editor_ && editorMode_) editor_->deselect(), editor_->end(false);
        return;
    case VK_ESCAPE:
        cancelEdit();
        return;
    default:
        return;
    }
    if (c < 0 || r < 0) return;
    if (c == col_ && r == row_) return;
    moveCurrent(c, r, extend, true);
}

void TStringGrid::KeyPress(char16_t& Key) {
    if (OnKeyPress) OnKeyPress(this, Key);
    if (Key < 0x20 || Key == 0x7F) return;
    if (editorMode_ && editor_ && editor_->isVisible()) return;
    if (!options_.Contains(goEditing) || options_.Contains(goRowSelect)) return;
    ShowEditor();
    if (!editorMode_ || !editor_) return;
    // The typed character replaces the cell's text, as if typed into the selected text.
    QString t{QChar(Key)};
    editor_->setText(t);
    editor_->setModified(true);
    editorTextEdited(t);
}

void TStringGrid::keyPressEvent(QKeyEvent* e) {
    WORD key = vkFromQtKey(e->key(), e->modifiers());
    TShiftState shift = shiftFromQt(e->modifiers());
    if (key) {
        KeyDown(key, shift);
        if (key == 0) {  // taken by OnKeyDown: it types nothing either
            e->accept();
            return;
        }
    }
    QString text = e->text();
    if (!text.isEmpty() && text[0].unicode() >= 0x20 && text[0].unicode() != 0x7F) {
        char16_t ch = text[0].unicode();
        KeyPress(ch);
    }
    e->accept();
}

void TStringGrid::keyReleaseEvent(QKeyEvent* e) {
    WORD key = vkFromQtKey(e->key(), e->modifiers());
    if (key && OnKeyUp) OnKeyUp(this, key, shiftFromQt(e->modifiers()));
    e->accept();
}

bool TStringGrid::focusNextPrevChild(bool next) {
    // With goTabs, Tab moves between cells instead of leaving the grid.
    if (options_.Contains(goTabs)) return false;
    return QAbstractScrollArea::focusNextPrevChild(next);
}

// --------------------------------------------------------------------------------------------- focus

bool TStringGrid::focusInside() const {
    QWidget* f = QApplication::focusWidget();
    return f && (f == this || isAncestorOf(f));
}

void TStringGrid::focusChangedInside(bool gained) {
    if (gained) {
        if (!hadFocusInside_) {
            hadFocusInside_ = true;
            InvalidateCell(col_, row_);
            if (OnEnter) OnEnter(this);
        }
        return;
    }
    if (hadFocusInside_ && !focusInside()) {
        hadFocusInside_ = false;
        InvalidateCell(col_, row_);
        if (OnExit) OnExit(this);
    }
}

void TStringGrid::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    focusChangedInside(true);
    viewport()->update();
}

void TStringGrid::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    // A popup (the pick list, a menu) or another window taking the keyboard is not leaving the grid.
    if (e->reason() == Qt::PopupFocusReason || e->reason() == Qt::ActiveWindowFocusReason) return;
    focusChangedInside(false);
    viewport()->update();
}

// --------------------------------------------------------------------------------------------- mouse

void TStringGrid::mousePressEvent(QMouseEvent* e) {
    const int X = int(e->position().x()), Y = int(e->position().y());
    const TShiftState shift = shiftFromQt(e->modifiers(), e->buttons());
    const bool wasFocused = focusInside();
    if (!hasFocus() && !(editor_ && editor_->hasFocus())) setFocus(Qt::MouseFocusReason);
    int c, r;
    MouseToCell(X, Y, c, r);
    clickOnCurrent_ = false;
    if (e->button() == Qt::LeftButton) {
        bool inFixedRows = Y < rows_->prefix(fixedRows_);
        int sizing = -1;
        if (options_.Contains(goColSizing) && inFixedRows) {
            // Near the right edge of a shown column: the grab area spans the grid line and 2 pixels beside it.
            for (int k = 0; k < colCount_; ++k) {
                int x = colLeft(k);
                if (x < 0) continue;
                int edge = x + cols_->size(k);
                if (X >= edge - 2 && X <= edge + lineWidth_ + 1) sizing = k;
            }
        }
        if (sizing >= 0) {
            gesture_ = Gesture::Sizing;
            gestureIndex_ = sizing;
            gestureStart_ = colLeft(sizing);
        } else if (options_.Contains(goColMoving) && r >= 0 && r < fixedRows_ && c >= fixedCols_) {
            gesture_ = Gesture::Moving;
            gestureIndex_ = c;
            gestureStart_ = X;
            gestureTarget_ = -1;
        } else if (c >= fixedCols_ && r >= fixedRows_ && c >= 0 && r >= 0) {
            clickOnCurrent_ = wasFocused && c == col_ && r == row_;
            bool extend = shift.Contains(ssShift) && options_.Contains(goRangeSelect);
            if (!(c == col_ && r == row_ && !extend)) moveCurrent(c, r, extend, true);
            gesture_ = Gesture::Selecting;
        }
    }
    if (OnMouseDown) OnMouseDown(this, buttonFromQt(e->button()), shift, X, Y);
    e->accept();
}

void TStringGrid::mouseMoveEvent(QMouseEvent* e) {
    const int X = int(e->position().x()), Y = int(e->position().y());
    const TShiftState shift = shiftFromQt(e->modifiers(), e->buttons());
    switch (gesture_) {
    case Gesture::Sizing:
        SetColWidths(gestureIndex_, std::max(0, X - gestureStart_));
        break;
    case Gesture::Moving: {
        if (std::abs(X - gestureStart_) < 4 && gestureTarget_ < 0) break;
        int c, r;
        MouseToCell(X, std::max(0, std::min(Y, clientH() - 1)), c, r);
        if (c < 0) c = X < 0 ? nextShownCol(leftCol_, +1) : nextShownCol(colCount_ - 1, -1);
        if (c >= 0 && c < fixedCols_) c = nextShownCol(fixedCols_, +1);
        if (c != gestureTarget_) {
            gestureTarget_ = c;
            viewport()->update();
        }
        break;
    }
    case Gesture::Selecting: {
        int c, r;
        MouseToCell(X, Y, c, r);
        if (c >= fixedCols_ && r >= fixedRows_ && (c != col_ || r != row_)) moveCurrent(c, r, true, true);
        break;
    }
    case Gesture::None: {
        bool nearEdge = false;
        if (options_.Contains(goColSizing) && Y < rows_->prefix(fixedRows_)) {
            for (int k = 0; k < colCount_ && !nearEdge; ++k) {
                int x = colLeft(k);
                if (x < 0) continue;
                int edge = x + cols_->size(k);
                nearEdge = X >= edge - 2 && X <= edge + lineWidth_ + 1;
            }
        }
        if (nearEdge) viewport()->setCursor(Qt::SplitHCursor);
        else viewport()->unsetCursor();
        break;
    }
    }
    if (OnMouseMove) OnMouseMove(this, shift, X, Y);
    e->accept();
}

void TStringGrid::mouseReleaseEvent(QMouseEvent* e) {
    const int X = int(e->position().x()), Y = int(e->position().y());
    const Gesture g = gesture_;
    gesture_ = Gesture::None;
    if (g == Gesture::Moving) {
        int from = gestureIndex_, to = gestureTarget_;
        gestureTarget_ = -1;
        viewport()->update();
        if (to >= fixedCols_ && to != from) MoveColumn(from, to);
    } else if (g == Gesture::Selecting && e->button() == Qt::LeftButton) {
        int c, r;
        MouseToCell(X, Y, c, r);
        if (clickOnCurrent_ && c == col_ && r == row_ && options_.Contains(goEditing)) ShowEditor();
        if (OnClick && c >= 0) OnClick(this);
    }
    clickOnCurrent_ = false;
    if (OnMouseUp) OnMouseUp(this, buttonFromQt(e->button()), shiftFromQt(e->modifiers(), e->buttons()), X, Y);
    e->accept();
}

void TStringGrid::mouseDoubleClickEvent(QMouseEvent* e) {
    const int X = int(e->position().x()), Y = int(e->position().y());
    int c, r;
    MouseToCell(X, Y, c, r);
    if (OnDblClick) OnDblClick(this);
    if (e->button() == Qt::LeftButton && c == col_ && r == row_ && options_.Contains(goEditing)) ShowEditor();
    e->accept();
}

void TStringGrid::wheelEvent(QWheelEvent* e) {
    int dy = e->angleDelta().y();
    if (dy == 0) {
        e->ignore();
        return;
    }
    bool handled = false;
    TPoint pos(int(e->position().x()), int(e->position().y()));
    TShiftState shift = shiftFromQt(e->modifiers(), e->buttons());
    if (dy < 0 && OnMouseWheelDown) OnMouseWheelDown(this, shift, pos, handled);
    if (dy > 0 && OnMouseWheelUp) OnMouseWheelUp(this, shift, pos, handled);
    if (!handled) {
        // Three shown rows per notch.
        int top = topRow_;
        for (int i = 0; i < 3; ++i) {
            int s = dy < 0 ? nextShownRow(top + 1, +1) : nextShownRow(top - 1, -1);
            if (s < 0) break;
            top = s;
        }
        SetTopRow(top);
    }
    e->accept();
}

// ======================================================================================== TInplaceEdit

TInplaceEdit::TInplaceEdit(TStringGrid* grid) : QLineEdit(grid->viewport()), grid_(grid) {
    setFrame(false);
    setAttribute(Qt::WA_MacShowFocusRect, false);
}

void TInplaceEdit::UpdateContents() {
    setText(grid_->GetEditText(grid_->editCol_, grid_->editRow_));
    setModified(false);
}

bool TInplaceEdit::sendKeyToGrid(WORD& key, TShiftState shift) {
    grid_->KeyDown(key, shift);
    return true;
}

void TInplaceEdit::keyPressEvent(QKeyEvent* e) {
    WORD key = vkFromQtKey(e->key(), e->modifiers());
    TShiftState shift = shiftFromQt(e->modifiers());
    const int len = text().size();
    const bool whole = hasSelectedText() && selectedText().size() == len;
    const bool atLeft = (cursorPosition() == 0 && !hasSelectedText()) || whole || len == 0;
    const bool atRight = (cursorPosition() == len && !hasSelectedText()) || whole || len == 0;
    bool toGrid = false;
    switch (key) {
    case VK_UP: case VK_DOWN: case VK_PRIOR: case VK_NEXT: case VK_ESCAPE: case VK_RETURN:
        toGrid = true;
        break;
    case VK_TAB:
        toGrid = !shift.Contains(ssAlt);
        if (e->key() == Qt::Key_Backtab) shift << ssShift;
        break;
    case VK_LEFT:
        toGrid = atLeft && !shift.Contains(ssShift);
        break;
    case VK_RIGHT:
        toGrid = atRight && !shift.Contains(ssShift);
        break;
    case VK_HOME: case VK_END:
        toGrid = shift.Contains(ssCtrl);
        break;
    default:
        break;
    }
    if (toGrid) {
        if (key == VK_TAB && !grid_->options_.Contains(goTabs)) {
            // Without goTabs, Tab leaves the grid as it would from the grid itself.
            if (grid_->OnKeyDown) grid_->OnKeyDown(grid_, key, shift);
            if (key) grid_->QAbstractScrollArea::focusNextPrevChild(!shift.Contains(ssShift));
        } else {
            sendKeyToGrid(key, shift);
        }
        e->accept();
        return;
    }
    // Every other key is the grid's to see first; clearing it keeps it from the editor.
    if (key) {
        if (grid_->OnKeyDown) grid_->OnKeyDown(grid_, key, shift);
        if (key == 0) {
            e->accept();
            return;
        }
    }
    QString t = e->text();
    if (!t.isEmpty() && t[0].unicode() >= 0x20 && t[0].unicode() != 0x7F) {
        char16_t ch = t[0].unicode();
        if (grid_->OnKeyPress) grid_->OnKeyPress(grid_, ch);
        if (ch == 0) {
            e->accept();
            return;
        }
        if (ch != t[0].unicode()) {
            // The handler replaced the character: type the replacement instead.
            insert(QString(QChar(ch)));
            setModified(true);
            emit textEdited(text());
            e->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(e);
}

void TInplaceEdit::keyReleaseEvent(QKeyEvent* e) {
    WORD key = vkFromQtKey(e->key(), e->modifiers());
    if (key && grid_->OnKeyUp) grid_->OnKeyUp(grid_, key, shiftFromQt(e->modifiers()));
    QLineEdit::keyReleaseEvent(e);
}

void TInplaceEdit::focusInEvent(QFocusEvent* e) {
    QLineEdit::focusInEvent(e);
    grid_->focusChangedInside(true);
}

void TInplaceEdit::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    if (e->reason() == Qt::PopupFocusReason || e->reason() == Qt::ActiveWindowFocusReason) return;
    grid_->focusChangedInside(false);
}

void TInplaceEdit::contextMenuEvent(QContextMenuEvent* e) {
    // Left to the grid, so the grid's popup menu opens over the editor too.
    e->ignore();
}

void TInplaceEdit::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::RightButton) {
        QLineEdit::mousePressEvent(e);
        return;
    }
    // A right press is the grid's (its menu, its clicked cell), in the grid's viewport coordinates.
    const QPoint p = mapTo(grid_->viewport(), e->position().toPoint());
    if (grid_->OnMouseDown) grid_->OnMouseDown(grid_, mbRight, shiftFromQt(e->modifiers(), e->buttons()), p.x(), p.y());
    e->accept();
}

void TInplaceEdit::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::RightButton) {
        QLineEdit::mouseReleaseEvent(e);
        return;
    }
    const QPoint p = mapTo(grid_->viewport(), e->position().toPoint());
    if (grid_->OnMouseUp) grid_->OnMouseUp(grid_, mbRight, shiftFromQt(e->modifiers(), e->buttons()), p.x(), p.y());
    e->accept();
}

void TInplaceEdit::mouseDoubleClickEvent(QMouseEvent* e) {
    QLineEdit::mouseDoubleClickEvent(e);
    if (grid_->OnDblClick) grid_->OnDblClick(grid_);
}

bool TInplaceEdit::focusNextPrevChild(bool) { return false; }

// ==================================================================================== TInplaceEditList

TInplaceEditList::TInplaceEditList(TStringGrid* grid) : TInplaceEdit(grid) {
    button_ = new QToolButton(this);
    button_->setFocusPolicy(Qt::NoFocus);
    button_->setCursor(Qt::ArrowCursor);
    button_->hide();
    connect(button_, &QToolButton::clicked, this, [this] { buttonClicked(); });
}

TInplaceEditList::~TInplaceEditList() { delete list_; }

void TInplaceEditList::SetEditStyle(TEditStyle s) {
    editStyle_ = s;
    if (s == esSimple) {
        button_->hide();
        setTextMargins(0, 0, 0, 0);
    } else {
        if (s == esEllipsis) {
            button_->setArrowType(Qt::NoArrow);
            button_->setText(QStringLiteral("..."));
        } else {
            button_->setText(QString());
            button_->setArrowType(Qt::DownArrow);
        }
        button_->show();
        placeButton();
    }
    if (s != esPickList) CloseUp(false);
}

void TInplaceEditList::placeButton() {
    if (editStyle_ == esSimple) return;
    int w = std::min(17, std::max(8, height()));
    button_->setGeometry(width() - w, 0, w, height());
    setTextMargins(0, 0, w, 0);
}

void TInplaceEditList::resizeEvent(QResizeEvent* e) {
    TInplaceEdit::resizeEvent(e);
    placeButton();
}

void TInplaceEditList::buttonClicked() {
    if (editStyle_ == esEllipsis) {
        if (OnEditButtonClick) OnEditButtonClick(grid_);
    } else if (editStyle_ == esPickList) {
        if (ListVisible()) CloseUp(false);
        else DropDown();
    }
}

bool TInplaceEditList::ListVisible() const { return list_ && list_->isVisible(); }

void TInplaceEditList::DropDown() {
    if (editStyle_ != esPickList || ListVisible()) return;
    pickList_.Clear();
    if (OnGetPickListItems) OnGetPickListItems(grid_, grid_->editCol_, grid_->editRow_, &pickList_);
    if (pickList_.Count() == 0) return;
    if (!list_) {
        list_ = new QListWidget();
        list_->setWindowFlags(Qt::Popup);
        list_->setFocusPolicy(Qt::StrongFocus);
        list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list_->installEventFilter(this);
        connect(list_, &QListWidget::itemClicked, this, [this] { CloseUp(true); });
    }
    list_->clear();
    list_->addItems(pickList_.toQStringList());
    const int n = list_->count();
    const int shown = std::min(n, dropDownRows_);
    const int frame = list_->frameWidth() * 2;
    const int rowH = std::max(1, list_->sizeHintForRow(0));
    int w = list_->sizeHintForColumn(0) + frame + (n > shown ? list_->verticalScrollBar()->sizeHint().width() : 0);
    w = std::max(w, width());
    QPoint at = mapToGlobal(QPoint(0, height()));
    list_->setGeometry(at.x(), at.y(), w, shown * rowH + frame);
    QList<QListWidgetItem*> same = list_->findItems(text(), Qt::MatchExactly);
    list_->setCurrentRow(same.isEmpty() ? 0 : list_->row(same.first()));
    list_->show();
    list_->setFocus(Qt::PopupFocusReason);
}

void TInplaceEditList::CloseUp(bool accept) {
    if (!ListVisible()) return;
    QListWidgetItem* it = list_->currentItem();
    list_->hide();
    if (accept && it) {
        QString t = it->text();
        setText(t);
        setModified(true);
        grid_->editorTextEdited(t);
        selectAll();
    }
    if (isVisible()) setFocus(Qt::PopupFocusReason);
}

void TInplaceEditList::keyPressEvent(QKeyEvent* e) {
    bool altDown = (e->modifiers() & Qt::AltModifier) && (e->key() == Qt::Key_Down || e->key() == Qt::Key_Up);
    if (editStyle_ == esPickList && (altDown || e->key() == Qt::Key_F4)) {
        if (ListVisible()) CloseUp(true);
        else DropDown();
        e->accept();
        return;
    }
    if (editStyle_ == esEllipsis && e->key() == Qt::Key_Return && (e->modifiers() & Qt::ControlModifier)) {
        if (OnEditButtonClick) OnEditButtonClick(grid_);
        e->accept();
        return;
    }
    TInplaceEdit::keyPressEvent(e);
}

bool TInplaceEditList::eventFilter(QObject* watched, QEvent* e) {
    if (watched == list_ && e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        switch (k->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            CloseUp(true);
            return true;
        case Qt::Key_Escape:
            CloseUp(false);
            return true;
        case Qt::Key_F4:
            CloseUp(true);
            return true;
        default:
            if ((k->modifiers() & Qt::AltModifier) && (k->key() == Qt::Key_Up || k->key() == Qt::Key_Down)) {
                CloseUp(true);
                return true;
            }
            break;
        }
    }
    return TInplaceEdit::eventFilter(watched, e);
}
