// TStringGrid for screen readers: the grid as a table of cells, with column and row headers, the current
// cell focused and the selection, over QAccessible.
//
// The table's rows are the shown scrollable rows and its columns the shown scrollable columns; row and
// column k are found through the axes' counts of shown lines, so a million rows cost nothing up front and
// O(log n) per question. The children are laid out as Qt's own tables lay them out:
//
//   [corner] [column header 0] [column header 1] ...        present when a fixed row is shown
//   [row header 0] [cell 0,0] [cell 0,1] ...                a row header when a fixed column is shown
//   ...
//
// Cell objects are made when someone asks for one and kept in a small cache (kKeptCells, the oldest
// dropped first, never the current cell); each is registered with QAccessible, which owns it, and the
// table removes its cells when it goes. A cell is known by its grid column and row.
#include "toolkit/tk_grid.h"
#include "toolkit/tk_grid_store.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QHash>
#include <QPointer>
#include <climits>
#include <deque>
#include <utility>

namespace {

const int kKeptCells = 256;    // cell objects kept for the screen reader's next question
const int kListedCells = 200;  // at most this many in a list of selected cells, rows or columns

quint64 cellKey(int c, int r) { return (quint64(quint32(r + 1)) << 32) | quint32(c + 1); }

}  // namespace

// The table over one grid; made by Qt's accessibility through the factory below.
class TGridAccess : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit TGridAccess(TStringGrid* g) : QAccessibleWidget(g, QAccessible::Table) {}
    ~TGridAccess() override {
        for (QAccessible::Id id : std::as_const(ids_)) QAccessible::deleteAccessibleInterface(id);
    }

    static TGridAccess* of(TStringGrid* g) {
        return g ? dynamic_cast<TGridAccess*>(QAccessible::queryAccessibleInterface(g)) : nullptr;
    }
    TStringGrid* grid() const { return static_cast<TStringGrid*>(object()); }

    // ---- Table rows and columns against grid rows and columns.
    static int rows(const TStringGrid* g) {
        return g->rows_->shownBefore(g->RowCount()) - g->rows_->shownBefore(g->fixedRows_);
    }
    static int cols(const TStringGrid* g) {
        return g->cols_->shownBefore(g->colCount_) - g->cols_->shownBefore(g->fixedCols_);
    }
    static bool colHeader(const TStringGrid* g) { return g->rows_->shownBefore(g->fixedRows_) > 0; }
    static bool rowHeader(const TStringGrid* g) { return g->cols_->shownBefore(g->fixedCols_) > 0; }
    // -1 for a fixed or hidden line; the line of a table index, -1 past the end.
    static int tableRow(const TStringGrid* g, int r) {
        if (r < g->fixedRows_ || r >= g->RowCount() || g->rows_->size(r) == 0) return -1;
        return g->rows_->shownBefore(r) - g->rows_->shownBefore(g->fixedRows_);
    }
    static int tableCol(const TStringGrid* g, int c) {
        if (c < g->fixedCols_ || c >= g->colCount_ || g->cols_->size(c) == 0) return -1;
        return g->cols_->shownBefore(c) - g->cols_->shownBefore(g->fixedCols_);
    }
    static int gridRow(const TStringGrid* g, int row) {
        if (row < 0) return -1;
        const int r = g->rows_->nthShown(g->rows_->shownBefore(g->fixedRows_) + row);
        return r < g->RowCount() ? r : -1;
    }
    static int gridCol(const TStringGrid* g, int col) {
        if (col < 0) return -1;
        const int c = g->cols_->nthShown(g->cols_->shownBefore(g->fixedCols_) + col);
        return c < g->colCount_ ? c : -1;
    }
    // The child index of a table position (-1 for the header row or column), -1 when out of reach.
    static int childIndex(const TStringGrid* g, int row, int col) {
        const long long width = cols(g) + (rowHeader(g) ? 1 : 0);
        const long long i = (row + (colHeader(g) ? 1 : 0)) * width + col + (rowHeader(g) ? 1 : 0);
        return i >= 0 && i < INT_MAX ? int(i) : -1;
    }

    class Cell;
    // The cell object of a grid position; c or r -1 for a header. Made on demand, kept a while.
    QAccessibleInterface* cell(int c, int r) const;

    // ---- QAccessibleInterface.
    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    int childCount() const override {
        const TStringGrid* g = grid();
        if (!g) return 0;
        const long long n = (rows(g) + (colHeader(g) ? 1LL : 0)) * (cols(g) + (rowHeader(g) ? 1 : 0));
        return n < INT_MAX ? int(n) : INT_MAX;
    }
    QAccessibleInterface* child(int index) const override {
        const TStringGrid* g = grid();
        if (!g || index < 0) return nullptr;
        const int width = cols(g) + (rowHeader(g) ? 1 : 0);
        if (width == 0) return nullptr;
        const int row = index / width - (colHeader(g) ? 1 : 0), col = index % width - (rowHeader(g) ? 1 : 0);
        const int r = row < 0 ? -1 : gridRow(g, row), c = col < 0 ? -1 : gridCol(g, col);
        if ((row >= 0 && r < 0) || (col >= 0 && c < 0)) return nullptr;
        return cell(c, r);
    }
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override {
        TStringGrid* g = grid();
        if (!g) return nullptr;
        const QPoint p = g->viewport()->mapFromGlobal(QPoint(x, y));
        int c, r;
        g->MouseToCell(p.x(), p.y(), c, r);
        if (c < 0 || r < 0) return nullptr;
        return cell(c < g->fixedCols_ ? -1 : c, r < g->fixedRows_ ? -1 : r);
    }
    QAccessibleInterface* focusChild() const override {
        TStringGrid* g = grid();
        if (!g) return nullptr;
        if (g->editor_ && g->editor_->hasFocus()) return QAccessible::queryAccessibleInterface(g->editor_);
        return g->hasFocus() ? cell(g->col_, g->row_) : nullptr;
    }

    // ---- QAccessibleTableInterface.
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override {
        const TStringGrid* g = grid();
        if (!g) return nullptr;
        const int r = gridRow(g, row), c = gridCol(g, column);
        return r >= 0 && c >= 0 ? cell(c, r) : nullptr;
    }
    QString columnDescription(int column) const override {
        const int c = grid() ? gridCol(grid(), column) : -1;
        return c >= 0 ? grid()->ColumnHeaderText(c) : QString();
    }
    QString rowDescription(int row) const override {
        const int r = grid() ? gridRow(grid(), row) : -1;
        return r >= 0 ? grid()->RowHeaderText(r) : QString();
    }
    int columnCount() const override { return grid() ? cols(grid()) : 0; }
    int rowCount() const override { return grid() ? rows(grid()) : 0; }
    // The shown rows and columns of the selection block: first table index and count.
    void selected(int& row0, int& nrows, int& col0, int& ncols) const {
        const TStringGrid* g = grid();
        row0 = nrows = col0 = ncols = 0;
        if (!g) return;
        const TGridRect s = g->Selection();
        row0 = g->rows_->shownBefore(s.Top) - g->rows_->shownBefore(g->fixedRows_);
        nrows = g->rows_->shownBefore(s.Bottom + 1) - g->rows_->shownBefore(s.Top);
        col0 = g->cols_->shownBefore(s.Left) - g->cols_->shownBefore(g->fixedCols_);
        ncols = g->cols_->shownBefore(s.Right + 1) - g->cols_->shownBefore(s.Left);
    }
    int selectedCellCount() const override {
        int r0, nr, c0, nc;
        selected(r0, nr, c0, nc);
        const long long n = (long long)nr * nc;
        return n < INT_MAX ? int(n) : INT_MAX;
    }
    QList<QAccessibleInterface*> selectedCells() const override {
        int r0, nr, c0, nc;
        selected(r0, nr, c0, nc);
        QList<QAccessibleInterface*> out;
        for (int r = r0; r < r0 + nr && out.size() < kListedCells; ++r)
            for (int c = c0; c < c0 + nc && out.size() < kListedCells; ++c)
                if (QAccessibleInterface* i = cellAt(r, c)) out << i;
        return out;
    }
    // Whole rows are selected when the block spans every column, whole columns when it spans every row.
    int selectedRowCount() const override {
        int r0, nr, c0, nc;
        selected(r0, nr, c0, nc);
        return nc > 0 && nc == columnCount() ? nr : 0;
    }
    int selectedColumnCount() const override {
        int r0, nr, c0, nc;
        selected(r0, nr, c0, nc);
        return nr > 0 && nr == rowCount() ? nc : 0;
    }
    QList<int> selectedRows() const override {
        int r0, nr, c0, nc;
        selected(r0, nr, c0, nc);
        QList<int> out;
        for (int r = r0; selectedRowCount() > 0 && r < r0 + nr && out.size() < kListedCells; ++r) out << r;
        return out;
    }
    QList<int> selectedColumns() const override {
        int r0, nr, c0, nc;
        selected(r0, nr, c0, nc);
        QList<int> out;
        for (int c = c0; selectedColumnCount() > 0 && c < c0 + nc && out.size() < kListedCells; ++c) out << c;
        return out;
    }
    bool isRowSelected(int row) const override {
        int r0, nr, c0, nc;
        selected(r0, nr, c0, nc);
        return row >= r0 && row < r0 + nr && nc > 0 && nc == columnCount();
    }
    bool isColumnSelected(int column) const override {
        int r0, nr, c0, nc;
        selected(r0, nr, c0, nc);
        return column >= c0 && column < c0 + nc && nr > 0 && nr == rowCount();
    }
    // Selecting a row (column) makes it current; with range selection the whole line is selected.
    bool selectRow(int row) override {
        TStringGrid* g = grid();
        const int r = g ? gridRow(g, row) : -1;
        if (r < 0) return false;
        if (!g->options_.Contains(goRangeSelect)) return g->FocusCell(g->col_, r);
        g->SetSelection(TGridRect{g->fixedCols_, r, g->colCount_ - 1, r});
        return true;
    }
    bool selectColumn(int column) override {
        TStringGrid* g = grid();
        const int c = g ? gridCol(g, column) : -1;
        if (c < 0) return false;
        if (!g->options_.Contains(goRangeSelect)) return g->FocusCell(c, g->row_);
        g->SetSelection(TGridRect{c, g->fixedRows_, c, g->RowCount() - 1});
        return true;
    }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override {}

private:
    mutable QHash<quint64, QAccessible::Id> ids_;
    mutable std::deque<quint64> order_;  // oldest first
};

// One cell, column header, row header or the corner of a grid, known by grid column and row (-1 on the
// header's axis).
class TGridAccess::Cell : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    Cell(TStringGrid* g, int c, int r) : grid_(g), c_(c), r_(r) {}

    bool isValid() const override {
        if (!grid_) return false;
        return (c_ < 0 || TGridAccess::tableCol(grid_, c_) >= 0) && (r_ < 0 || TGridAccess::tableRow(grid_, r_) >= 0);
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return grid_ ? grid_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(grid_.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    void* interface_cast(QAccessible::InterfaceType t) override {
        return t == QAccessible::TableCellInterface ? static_cast<QAccessibleTableCellInterface*>(this) : nullptr;
    }
    void setText(QAccessible::Text, const QString&) override {}

    QAccessible::Role role() const override {
        if (r_ < 0) return QAccessible::ColumnHeader;
        return c_ < 0 ? QAccessible::RowHeader : QAccessible::Cell;
    }
    QString text(QAccessible::Text t) const override {
        if (!grid_ || t != QAccessible::Name) return QString();
        if (r_ >= 0 && c_ >= 0) {
            TGridCellShown shown;
            grid_->GetCellShown(c_, r_, shown);
            return shown.Text;
        }
        if (r_ < 0 && c_ >= 0) return grid_->ColumnHeaderText(c_);
        if (c_ < 0 && r_ >= 0) return grid_->RowHeaderText(r_);
        TGridCellShown corner;  // the top-left shown fixed cell
        grid_->GetCellShown(grid_->cols_->nthShown(0), grid_->rows_->nthShown(0), corner);
        return corner.Text;
    }
    QRect rect() const override {
        if (!grid_) return QRect();
        const int c = c_ >= 0 ? c_ : grid_->cols_->nthShown(0), r = r_ >= 0 ? r_ : grid_->rows_->nthShown(0);
        const TRect rc = grid_->CellRect(c, r);
        if (rc.IsEmpty()) return QRect();
        return QRect(grid_->viewport()->mapToGlobal(QPoint(rc.Left, rc.Top)), QSize(rc.Width(), rc.Height()));
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!grid_) return s;
        s.offscreen = rect().isEmpty();
        if (r_ < 0 || c_ < 0) return s;
        s.focusable = true;
        s.selectable = true;
        s.focused = c_ == grid_->col_ && r_ == grid_->row_ && grid_->hasFocus();
        s.selected = isSelected();
        s.readOnly = !grid_->options_.Contains(goEditing);
        TGridCellShown shown;
        grid_->GetCellShown(c_, r_, shown);
        s.checkable = shown.Check >= 0;
        s.checked = shown.Check > 0;
        return s;
    }

    // ---- QAccessibleTableCellInterface.
    bool isSelected() const override { return grid_ && r_ >= 0 && c_ >= 0 && grid_->Selection().Contains(c_, r_); }
    QList<QAccessibleInterface*> columnHeaderCells() const override {
        TGridAccess* t = TGridAccess::of(grid_);
        if (!t || r_ < 0 || c_ < 0 || !TGridAccess::colHeader(grid_)) return {};
        return {t->cell(c_, -1)};
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override {
        TGridAccess* t = TGridAccess::of(grid_);
        if (!t || r_ < 0 || c_ < 0 || !TGridAccess::rowHeader(grid_)) return {};
        return {t->cell(-1, r_)};
    }
    int columnIndex() const override { return c_ < 0 || !grid_ ? -1 : TGridAccess::tableCol(grid_, c_); }
    int rowIndex() const override { return r_ < 0 || !grid_ ? -1 : TGridAccess::tableRow(grid_, r_); }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

    int col() const { return c_; }
    int row() const { return r_; }

private:
    QPointer<TStringGrid> grid_;
    int c_, r_;
};

namespace {

QAccessibleInterface* gridFactory(const QString&, QObject* o) {
    auto* g = qobject_cast<TStringGrid*>(o);
    return g ? new TGridAccess(g) : nullptr;
}

}  // namespace

QAccessibleInterface* TGridAccess::cell(int c, int r) const {
    const quint64 key = cellKey(c, r);
    if (QAccessible::Id id = ids_.value(key)) {
        if (QAccessibleInterface* i = QAccessible::accessibleInterface(id)) return i;
    }
    auto* made = new Cell(grid(), c, r);
    ids_.insert(key, QAccessible::registerAccessibleInterface(made));
    order_.push_back(key);
    // The oldest go first; the current cell stays (a screen reader is reading it).
    const quint64 current = grid() ? cellKey(grid()->col_, grid()->row_) : 0;
    while (int(order_.size()) > kKeptCells) {
        const quint64 old = order_.front();
        order_.pop_front();
        if (old == current || old == key) {
            order_.push_back(old);
            continue;
        }
        if (QAccessible::Id id = ids_.take(old)) QAccessible::deleteAccessibleInterface(id);
    }
    return made;
}

int TGridAccess::indexOfChild(const QAccessibleInterface* child) const {
    const TStringGrid* g = grid();
    auto* cell = child ? dynamic_cast<const Cell*>(child) : nullptr;
    if (!g || !cell || !cell->isValid() || cell->parent() != this) return -1;
    return childIndex(g, cell->row() < 0 ? -1 : tableRow(g, cell->row()), cell->col() < 0 ? -1 : tableCol(g, cell->col()));
}

// ------------------------------------------------------------------------------------------- the grid

// A screen reader starting to listen finds every open editor named.
class TGridEditorNamer : public QAccessible::ActivationObserver {
public:
    void accessibilityActiveChanged(bool active) override {
        if (!active) return;
        for (QWidget* w : QApplication::allWidgets())
            if (auto* g = qobject_cast<TStringGrid*>(w)) g->nameEditor();
    }
};

void TStringGrid::installAccessible() {
    static bool done = false;
    if (done) return;
    done = true;
    QAccessible::installFactory(gridFactory);
    static TGridEditorNamer namer;
    QAccessible::installActivationObserver(&namer);
}

void TStringGrid::nameEditor() {
    if (editor_ && editorMode_ && editCol_ >= 0 && editRow_ >= 0)
        editor_->setAccessibleName(EditorAccessibleName(editCol_, editRow_));
}

int TStringGrid::ShownRowNumber(int ARow) const { return TGridAccess::tableRow(this, ARow) + 1; }

void TStringGrid::GetCellShown(int ACol, int ARow, TGridCellShown& Shown) { Shown.Text = Cells(ACol, ARow); }

namespace {

// Texts joined by a blank, empty ones and one repeating the text before it left out.
void joinShown(QString& out, QString& last, const QString& text) {
    if (text.isEmpty() || text == last) return;
    if (!out.isEmpty()) out += QLatin1Char(' ');
    out += text;
    last = text;
}

}  // namespace

QString TStringGrid::ColumnHeaderText(int ACol) {
    QString out, last;
    for (int r = rows_->nextShown(0); r < fixedRows_; r = rows_->nextShown(r + 1)) {
        TGridCellShown shown;
        GetCellShown(ACol, r, shown);
        joinShown(out, last, shown.Text);
    }
    return out;
}

QString TStringGrid::RowHeaderText(int ARow) {
    QString out, last;
    for (int c = cols_->nextShown(0); c < fixedCols_; c = cols_->nextShown(c + 1)) {
        TGridCellShown shown;
        GetCellShown(c, ARow, shown);
        joinShown(out, last, shown.Text);
    }
    return out;
}

QString TStringGrid::EditorAccessibleName(int ACol, int ARow) {
    QString row = RowHeaderText(ARow);
    if (row.isEmpty()) row = QString::number(ShownRowNumber(ARow));
    return ColumnHeaderText(ACol) + QStringLiteral(", ") + row;
}

void TStringGrid::announceCurrent(const TGridRect& before) {
    if (!QAccessible::isActive()) return;
    const int tr = TGridAccess::tableRow(this, row_), tc = TGridAccess::tableCol(this, col_);
    if (focusInside() && tr >= 0 && tc >= 0) {
        const int index = TGridAccess::childIndex(this, tr, tc);
        if (index >= 0) {
            QAccessibleEvent e(this, QAccessible::Focus);
            e.setChild(index);
            QAccessible::updateAccessibility(&e);
        }
        // The keys go on into the editor: the reader is brought back to it, named after its new cell.
        if (editor_ && editor_->hasFocus()) {
            QAccessibleEvent e(editor_, QAccessible::Focus);
            QAccessible::updateAccessibility(&e);
        }
    }
    if (!(Selection() == before)) {
        QAccessibleEvent e(this, QAccessible::SelectionWithin);
        QAccessible::updateAccessibility(&e);
    }
}
