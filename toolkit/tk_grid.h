// TStringGrid: the toolkit's string grid over QAbstractScrollArea, and its in-place editors.
//
// Property form (the same in every class of the layer): a property P is read by P() and written by
// SetP(v); an indexed property takes its indexes first: ColWidths(i) / SetColWidths(i, w),
// RowHeights(i) / SetRowHeights(i, h), Cells(c, r) / SetCells(c, r, text). Published events are
// std::function members named as the toolkit names them (OnDrawCell, OnSelectCell...); the Sender they
// receive is the grid. Setters are forgiving: an index out of range reads as 0 / empty and writes nothing.
//
// Coordinates: columns and rows are grid indexes (0-based, fixed ones first); pixel rectangles are in the
// viewport's coordinates (the client area, without the scroll bars), Right/Bottom exclusive. A cell's
// grid line (GridLineWidth pixels) lies right of and below its rectangle and belongs to it for
// MouseToCell. A width or height of 0 hides the column or row completely (no grid line either).
//
// Scrolling is by whole rows and columns: TopRow is the first scrollable row shown under the fixed rows,
// LeftCol the first scrollable column right of the fixed columns; both skip hidden rows and columns. The
// scroll bars count rows and columns. Row positions come from a Fenwick tree of row extents, built only
// once a row gets a height other than the default, so finding the row at a pixel never walks the rows.
//
// Cell texts are stored per row in one compact block (see CellStore in tk_grid_store.h); a row without
// text costs one null pointer.
//
// Editing: with goEditing, Enter, F2, a typed character, a click on the current cell or a double click
// show the in-place editor (EditorMode). Every change in the editor goes to the cell at once through
// SetEditText (so the cell always shows what the user typed); Esc puts back the text the cell had when the
// editor was shown. The editor is a TInplaceEditList: per cell, GetEditStyle gives esSimple, esEllipsis
// (a "..." button firing OnEditButtonClick) or esPickList (an arrow button and Alt+Down dropping a list of
// at most DropDownRows rows, filled through OnGetPickListItems). A right press or release over the editor
// reaches the grid's OnMouseDown / OnMouseUp (in viewport coordinates), and its context menu request is
// the grid's, so the grid's menu handling sees a right click on the cell being edited as on any cell.
//
// TStringGrid is a TControl (PopupMenu, OnContextPopup, Hint, Tag, bounds, ClientToScreen...): its client
// area is the viewport. Font() is the widget's font: a font set on the grid (a form's font property)
// draws the cells and is the editor's font. Color() is the cells' background (clDefault: clWindow).
//
// Many changes at once (heights of a million rows, a column of texts): between BeginUpdate and EndUpdate
// the grid keeps sizes and texts but does no scrolling, no scroll-bar or editor work and no repaint;
// EndUpdate does them once.
//
// Screen readers meet the grid as a table (tk_grid_access.cpp): its rows are the shown scrollable rows,
// its columns the shown scrollable columns, the fixed rows give the column headers and the fixed columns
// the row headers; hidden rows and columns are not there. Each cell says what GetCellShown says it shows,
// the current cell is the focused one (a focus event on every move) and the editor is named after its
// column and row. Cell objects are made when asked for and only a few are kept, whatever the row count.
#pragma once

#include "toolkit/tk_canvas.h"
#include "toolkit/tk_controls.h"
#include "toolkit/tk_strings.h"
#include "toolkit/tk_types.h"

#include <QAbstractScrollArea>
#include <QLineEdit>
#include <QStringView>
#include <memory>
#include <vector>

class QListWidget;
class QToolButton;
class TStringGrid;

enum TGridOption : unsigned {
    goFixedVertLine = 1u << 0,
    goFixedHorzLine = 1u << 1,
    goVertLine = 1u << 2,
    goHorzLine = 1u << 3,
    goRangeSelect = 1u << 4,
    goDrawFocusSelected = 1u << 5,
    goRowSizing = 1u << 6,
    goColSizing = 1u << 7,
    goRowMoving = 1u << 8,
    goColMoving = 1u << 9,
    goEditing = 1u << 10,
    goTabs = 1u << 11,
    goRowSelect = 1u << 12,
    goAlwaysShowEditor = 1u << 13,
    goThumbTracking = 1u << 14,
};

// A set of TGridOption values.
class TGridOptions {
public:
    TGridOptions() = default;
    TGridOptions(TGridOption o) : bits_(o) {}
    static TGridOptions fromBits(unsigned b) { TGridOptions s; s.bits_ = b; return s; }
    bool Contains(TGridOption o) const { return (bits_ & o) != 0; }
    TGridOptions& operator<<(TGridOption o) { bits_ |= o; return *this; }
    TGridOptions& operator>>(TGridOption o) { bits_ &= ~unsigned(o); return *this; }
    TGridOptions operator|(TGridOption o) const { return fromBits(bits_ | o); }
    bool operator==(const TGridOptions& o) const { return bits_ == o.bits_; }
    bool operator!=(const TGridOptions& o) const { return bits_ != o.bits_; }
    unsigned bits() const { return bits_; }

private:
    unsigned bits_ = 0;
};
inline TGridOptions operator|(TGridOption a, TGridOption b) { return TGridOptions::fromBits(unsigned(a) | unsigned(b)); }

enum TGridDrawStateFlag : unsigned { gdSelected = 1u, gdFocused = 2u, gdFixed = 4u };

// The state a cell is drawn in: selected, current with the focus, fixed.
class TGridDrawState {
public:
    TGridDrawState() = default;
    TGridDrawState(TGridDrawStateFlag f) : bits_(f) {}
    static TGridDrawState fromBits(unsigned b) { TGridDrawState s; s.bits_ = b; return s; }
    bool Contains(TGridDrawStateFlag f) const { return (bits_ & f) != 0; }
    bool Empty() const { return bits_ == 0; }
    TGridDrawState& operator<<(TGridDrawStateFlag f) { bits_ |= f; return *this; }
    TGridDrawState& operator>>(TGridDrawStateFlag f) { bits_ &= ~unsigned(f); return *this; }
    bool operator==(const TGridDrawState& o) const { return bits_ == o.bits_; }
    bool operator!=(const TGridDrawState& o) const { return bits_ != o.bits_; }
    unsigned bits() const { return bits_; }

private:
    unsigned bits_ = 0;
};

struct TGridCoord {
    int X = 0;  // column
    int Y = 0;  // row
};

// A block of cells, all four bounds inclusive.
struct TGridRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    bool Contains(int c, int r) const { return c >= Left && c <= Right && r >= Top && r <= Bottom; }
    bool operator==(const TGridRect& o) const {
        return Left == o.Left && Top == o.Top && Right == o.Right && Bottom == o.Bottom;
    }
};

enum TEditStyle { esSimple, esEllipsis, esPickList };

typedef std::function<void(TObject* Sender, int ACol, int ARow, TRect& Rect, TGridDrawState State)> TDrawCellEvent;
typedef std::function<void(TObject* Sender, int ACol, int ARow, bool& CanSelect)> TSelectCellEvent;
typedef std::function<void(TObject* Sender, int FromIndex, int ToIndex)> TMovedEvent;
typedef std::function<void(TObject* Sender, int ACol, int ARow, QString& Value)> TGetEditEvent;
typedef std::function<void(TObject* Sender, int ACol, int ARow, const QString& Value)> TSetEditEvent;
typedef std::function<TEditStyle(TObject* Sender, int ACol, int ARow)> TGetEditStyleEvent;
typedef std::function<void(TObject* Sender, int ACol, int ARow, TStrings* Items)> TGetPickListItemsEvent;

// What a cell shows, as assistive technology is told it.
struct TGridCellShown {
    QString Text;    // the text as the user reads it in the cell
    int Check = -1;  // a check box: 1 ticked, 0 not; -1 no check box
};

// The in-place editor: a line edit on the current cell, a child of the grid's viewport.
// Keys that move between cells (Up, Down, PgUp, PgDn, Enter, Esc, Tab, Ctrl+Home/End, and Left/Right
// when the caret is at that end of the text) go to the grid's KeyDown; every key is also reported to the
// grid's OnKeyDown and OnKeyPress first, which may clear it. The context menu request is left to the grid,
// so a right click in the editor opens the grid's menu.
class TInplaceEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TInplaceEdit(TStringGrid* grid);

    TStringGrid* Grid() const { return grid_; }
    QString Text() const { return text(); }
    void SetText(const QString& t) { setText(t); }
    // The user changed the text since the editor was last filled (Set by typing and by picking).
    bool Modified() const { return isModified(); }
    void SetModified(bool m) { setModified(m); }
    // Loads the current cell's edit text (GetEditText) and clears Modified.
    virtual void UpdateContents();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    bool focusNextPrevChild(bool next) override;
    // Sends a key the editor does not keep to the grid; true when it was sent.
    bool sendKeyToGrid(WORD& key, TShiftState shift);

    TStringGrid* grid_;  // the owner (also the Qt parent's parent)
};

// The in-place editor with an ellipsis button or a drop-down pick list.
class TInplaceEditList : public TInplaceEdit {
    Q_OBJECT
public:
    explicit TInplaceEditList(TStringGrid* grid);
    ~TInplaceEditList() override;

    TEditStyle EditStyle() const { return editStyle_; }
    void SetEditStyle(TEditStyle s);
    // Rows the dropped list shows before it scrolls; 15 by default, at least 1.
    int DropDownRows() const { return dropDownRows_; }
    void SetDropDownRows(int n) { dropDownRows_ = n < 1 ? 1 : n; }
    // The items of the last drop-down (filled through OnGetPickListItems just before it opens).
    TStrings* PickList() { return &pickList_; }
    bool ListVisible() const;
    // Fills and opens the list (pick-list style only; nothing when it has no items).
    void DropDown();
    // Closes the list; with accept, the chosen item becomes the text (Modified, written to the cell).
    void CloseUp(bool accept);
    QToolButton* EditButton() const { return button_; }
    QListWidget* PickListWidget() const { return list_; }

    TNotifyEvent OnEditButtonClick;             // Sender = the grid
    TGetPickListItemsEvent OnGetPickListItems;  // Sender = the grid

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void buttonClicked();
    void placeButton();

    TEditStyle editStyle_ = esSimple;
    int dropDownRows_ = 15;
    TStringList pickList_;
    QToolButton* button_ = nullptr;  // child, owned by Qt
    QListWidget* list_ = nullptr;    // top-level popup, owned here (deleted with the editor)
};

class TStringGrid : public QAbstractScrollArea, public TControl {
    Q_OBJECT
    // Written through the "setName" forms, the ones code generated from a form (uic) calls.
    Q_PROPERTY(int ColCount READ ColCount WRITE setColCount)
    Q_PROPERTY(int RowCount READ RowCount WRITE setRowCount)
    Q_PROPERTY(int FixedCols READ FixedCols WRITE setFixedCols)
    Q_PROPERTY(int FixedRows READ FixedRows WRITE setFixedRows)
    Q_PROPERTY(int DefaultColWidth READ DefaultColWidth WRITE setDefaultColWidth)
    Q_PROPERTY(int DefaultRowHeight READ DefaultRowHeight WRITE setDefaultRowHeight)
    Q_PROPERTY(int GridLineWidth READ GridLineWidth WRITE setGridLineWidth)
    Q_PROPERTY(bool DefaultDrawing READ DefaultDrawing WRITE setDefaultDrawing)

public:
    explicit TStringGrid(QWidget* parent = nullptr);
    ~TStringGrid() override;

    // The published properties' setters under the names a generated form calls (the Set* forms below).
    void setColCount(int n) { SetColCount(n); }
    void setRowCount(int n) { SetRowCount(n); }
    void setFixedCols(int n) { SetFixedCols(n); }
    void setFixedRows(int n) { SetFixedRows(n); }
    void setDefaultColWidth(int w) { SetDefaultColWidth(w); }
    void setDefaultRowHeight(int h) { SetDefaultRowHeight(h); }
    void setGridLineWidth(int w) { SetGridLineWidth(w); }
    void setDefaultDrawing(bool on) { SetDefaultDrawing(on); }

    // ---- Size. Defaults: 5 x 5 cells, 1 fixed column and row, 64 x 24 pixels, grid lines of 1 pixel.
    int ColCount() const { return colCount_; }
    void SetColCount(int n);  // n < 1 does nothing; texts of removed columns are dropped
    int RowCount() const;
    void SetRowCount(int n);  // n < 1 does nothing; texts of removed rows are dropped
    int FixedCols() const { return fixedCols_; }
    void SetFixedCols(int n);  // 0 .. ColCount - 1
    int FixedRows() const { return fixedRows_; }
    void SetFixedRows(int n);  // 0 .. RowCount - 1
    int DefaultColWidth() const;
    void SetDefaultColWidth(int w);  // resets every column to w
    int DefaultRowHeight() const;
    void SetDefaultRowHeight(int h);  // resets every row to h
    int ColWidths(int i) const;
    void SetColWidths(int i, int w);  // 0 hides the column; held to 0 .. 65535
    int RowHeights(int i) const;
    void SetRowHeights(int i, int h);  // 0 hides the row; held to 0 .. 65535
    int GridLineWidth() const { return lineWidth_; }
    void SetGridLineWidth(int w);
    // Sum of the extents (size plus grid line) of all columns / rows, in pixels.
    long long GridWidth() const;
    long long GridHeight() const;

    // ---- Scrolling.
    int TopRow() const { return topRow_; }
    void SetTopRow(int r);  // clamped to FixedRows .. the last top row that still fills the view
    int LeftCol() const { return leftCol_; }
    void SetLeftCol(int c);
    // Scrollable rows (columns) shown whole from TopRow (LeftCol), hidden ones in between included.
    int VisibleRowCount() const;
    int VisibleColCount() const;

    // ---- Current cell and selection.
    int Col() const { return col_; }
    void SetCol(int c);  // asks SelectCell; refused or out of range does nothing
    int Row() const { return row_; }
    void SetRow(int r);
    // Makes (c, r) current as one move (one SelectCell question); false when refused or out of range.
    bool FocusCell(int c, int r);
    TGridRect Selection() const;
    // A block of scrollable cells: its top-left becomes the anchor, its bottom-right the current cell
    // (OnSelectCell is not asked). Out of range does nothing.
    void SetSelection(const TGridRect& s);

    // ---- Geometry (viewport coordinates).
    // The rectangle of a shown cell; an empty TRect for a hidden cell or one scrolled out of view.
    TRect CellRect(int ACol, int ARow) const;
    // The cell under a point of the viewport; -1, -1 outside every cell.
    void MouseToCell(int X, int Y, int& ACol, int& ARow) const;
    TGridCoord MouseCoord(int X, int Y) const;

    // ---- Look and behaviour.
    TGridOptions Options() const { return options_; }
    void SetOptions(TGridOptions o);
    bool DefaultDrawing() const { return defaultDrawing_; }
    void SetDefaultDrawing(bool on);
    TColor FixedColor() const { return fixedColor_; }
    void SetFixedColor(TColor c);
    // The drawing surface: attached to the viewport's painter while the grid paints; outside painting it
    // only measures text.
    TCanvas* Canvas() { return &canvas_; }

    // ---- Cells.
    QString Cells(int ACol, int ARow) const;
    void SetCells(int ACol, int ARow, const QString& Value);
    // The same from a view, copied into the grid (no string of its own made on the way).
    void SetCells(int ACol, int ARow, QStringView Value);
    // The text without a copy; valid until the next change of the grid's texts.
    QStringView CellView(int ACol, int ARow) const;
    // Room for Units more characters in row ARow, which is about to be written cell by cell (a paste, a
    // load of many rows): the row's memory is then allocated once, not grown cell after cell. Call it
    // only when at least one of those writes puts text into the row.
    void ReserveRowText(int ARow, int Units);
    // Lists over one row (ColCount items) or one column (RowCount items) that read and write the cells.
    // Insert/Delete do nothing; Clear empties the cells; Add writes the first empty cell. The grid keeps
    // the last 64 lists it handed out; a pointer stays valid until 64 other rows or columns are asked for.
    TStrings* Rows(int i);
    TStrings* Cols(int i);

    // ---- Editing.
    bool EditorMode() const { return editorMode_; }
    void SetEditorMode(bool on);
    void ShowEditor();
    void HideEditor();
    // The editor, created on first use; null before.
    TInplaceEdit* InplaceEditor() const { return editor_; }

    // ---- Moving rows and columns (texts, sizes and the current cell move with them).
    void MoveColumn(int FromIndex, int ToIndex);  // fires OnColumnMoved
    void MoveRow(int FromIndex, int ToIndex);     // fires OnRowMoved
    // Rows First .. First + n - 1 take the texts and heights that rows order[0..n-1] had (order is a
    // permutation of those same rows): one pass, whatever n. The current cell stays where it is; no
    // event fires. Anything else (a bad range, not a permutation) does nothing and returns false.
    bool ReorderRows(int First, const std::vector<int>& order);

    // ---- Batches of changes (see the header comment). Calls nest; the outermost EndUpdate refreshes.
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return updating_ > 0; }

    // ---- Repainting (Invalidate, InvalidateRect and Refresh are TControl's, on the viewport).
    void InvalidateCell(int ACol, int ARow);
    void InvalidateRow(int ARow);
    void InvalidateCol(int ACol);

    // What the grid does with a key, from itself or from its editor: fires OnKeyDown (which may clear
    // Key), then moves or edits. KeyPress likewise fires OnKeyPress, then starts the editor on a
    // printable character.
    virtual void KeyDown(WORD& Key, TShiftState Shift);
    virtual void KeyPress(char16_t& Key);

    // ---- What a screen reader is told (tk_grid_access.cpp).
    // A cell as it shows: the default is its text; a grid that draws its cells itself says what it draws.
    virtual void GetCellShown(int ACol, int ARow, TGridCellShown& Shown);
    // A column's header: what its fixed rows show, top to bottom, blank ones left out and a text the row
    // above already gave (a caption over two rows) said once.
    virtual QString ColumnHeaderText(int ACol);
    // A row's header: what its fixed columns show, likewise.
    virtual QString RowHeaderText(int ARow);
    // The in-place editor's name on (ACol, ARow): the column header and the row header (or the row's
    // number among the shown rows when its header is blank).
    virtual QString EditorAccessibleName(int ACol, int ARow);
    // The row's number among the shown scrollable rows, from 1; 0 for a fixed or hidden row.
    int ShownRowNumber(int ARow) const;

    // ---- Events.
    TDrawCellEvent OnDrawCell;
    TSelectCellEvent OnSelectCell;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TKeyEvent OnKeyUp;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TMouseWheelUpDownEvent OnMouseWheelDown;
    TMouseWheelUpDownEvent OnMouseWheelUp;
    TMovedEvent OnColumnMoved;
    TMovedEvent OnRowMoved;
    TNotifyEvent OnTopLeftChanged;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TGetEditEvent OnGetEditText;
    TSetEditEvent OnSetEditText;
    TGetEditStyleEvent OnGetEditStyle;
    TGetPickListItemsEvent OnGetPickListItems;
    TNotifyEvent OnEditButtonClick;

protected:
    // Draws one cell. With DefaultDrawing the cell is already filled and its text is written at
    // (Left + 2, Top + 2); then OnDrawCell is fired.
    virtual void DrawCell(int ACol, int ARow, TRect& ARect, TGridDrawState AState);
    // Whether (ACol, ARow) may become current: asks OnSelectCell.
    virtual bool SelectCell(int ACol, int ARow);
    virtual QString GetEditText(int ACol, int ARow);
    virtual void SetEditText(int ACol, int ARow, const QString& Value);
    // A value written by code (SetCells, not the editor) replaced the text of the cell the editor holds;
    // Esc now goes back to that value. The default does nothing more.
    virtual void EditTextReplaced(int ACol, int ARow, const QString& Value);
    // Cells Left..Right x Top..Bottom written by code, after the write: one cell by SetCells or the row
    // and column lists (after EditTextReplaced; never the editor's own writes), or the rows or columns
    // that a smaller RowCount or ColCount dropped, emptied. The default does nothing.
    virtual void CellsSetByCode(int Left, int Top, int Right, int Bottom);
    // ColCount or RowCount changed (called after the change, with the counts before it). The default
    // does nothing.
    virtual void SizeChanged(int /*OldColCount*/, int /*OldRowCount*/) {}
    virtual TEditStyle GetEditStyle(int ACol, int ARow);
    virtual void GetPickListItems(int ACol, int ARow, TStrings* Items);
    virtual bool CanEditShow() const;
    // Makes the editor; the default is a TInplaceEditList wired to the grid's events.
    virtual TInplaceEdit* CreateEditor();
    virtual void ColumnMoved(int FromIndex, int ToIndex);
    virtual void RowMoved(int FromIndex, int ToIndex);
    virtual void TopLeftChanged();
    // The focus came into the grid or its editor from elsewhere / left both for another control (a
    // pop-up or another window taking the keyboard is not leaving). The defaults fire OnEnter / OnExit.
    virtual void DoEnter();
    virtual void DoExit();
    // Paints the visible cells and grid lines on Canvas(); a subclass may paint more after calling it.
    virtual void Paint();
    QWidget* PaintTarget() const override { return viewport(); }

    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    bool focusNextPrevChild(bool next) override;
    // An input method writing while the grid itself has the keyboard (no editor open): its first text
    // opens the editor on the current cell and goes on there, replacing the cell's text as a typed
    // character does. Its candidates stand at the current cell.
    void inputMethodEvent(QInputMethodEvent* e) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery q) const override;

private:
    friend class TInplaceEdit;
    friend class TInplaceEditList;
    friend class TGridAccess;
    friend class TGridEditorNamer;
    class Axis;
    class CellStore;
    class LineStrings;

    // Pixel position of a shown row/column start in the viewport, or -1 when not shown.
    int rowTop(int r) const;
    int colLeft(int c) const;
    int clientW() const;
    int clientH() const;
    int maxTopRow() const;
    int maxLeftCol() const;
    int nextShownRow(int r, int step) const;  // r itself when shown, else the next shown in step
    int nextShownCol(int c, int step) const;
    void clampTopLeft();
    int firstScrollRow() const;
    int firstScrollCol() const;
    void updateScrollBars();
    void scrollIntoView(int c, int r);
    bool moveCurrent(int c, int r, bool keepAnchor, bool ask);
    void setTopLeft(int top, int left);
    void placeEditor();
    void cancelEdit();
    void editorTextEdited(const QString& text);
    void focusChangedInside(bool gained);
    bool focusInside() const;
    void invalidateSelection(const TGridRect& a);
    // Tells assistive technology of the current cell (a focus event while the grid has the keyboard) and
    // of a selection other than before; names the editor after its cell.
    void announceCurrent(const TGridRect& before);
    // Names the open editor after its cell for screen readers. Only while one listens (the name may be a
    // translated caption, and a grid nobody reads need not load the translations); a reader that starts
    // listening later has the open editors named then.
    void nameEditor();
    // Makes screen readers meet every grid through tk_grid_access.cpp (once per process).
    static void installAccessible();
    // After a change of sizes: scrolling, bars, editor and repaint, unless a batch is open.
    void sizesChanged();

    std::unique_ptr<Axis> rows_;
    std::unique_ptr<Axis> cols_;
    std::unique_ptr<CellStore> cells_;
    std::unique_ptr<LineStrings> lineViews_;
    int colCount_ = 5;
    int fixedCols_ = 1;
    int fixedRows_ = 1;
    int lineWidth_ = 1;
    int topRow_ = 1;
    int leftCol_ = 1;
    int col_ = 1;
    int row_ = 1;
    int anchorCol_ = 1;
    int anchorRow_ = 1;
    TGridOptions options_;
    bool defaultDrawing_ = true;
    TColor fixedColor_ = clBtnFace;
    TCanvas canvas_;
    int updating_ = 0;
    bool editorMode_ = false;
    bool writingFromEditor_ = false;
    int editCol_ = -1;          // the cell the editor holds
    int editRow_ = -1;
    bool hadFocusInside_ = false;
    QString editOriginal_;      // the cell's text when the editor was shown, for Esc
    TInplaceEdit* editor_ = nullptr;  // child of the viewport, owned by Qt
    bool settingScroll_ = false;

    // Mouse gestures in progress.
    enum class Gesture { None, Selecting, Sizing, Moving };
    Gesture gesture_ = Gesture::None;
    int gestureIndex_ = -1;   // column being sized or moved
    int gestureStart_ = 0;    // pixel where it started
    int gestureTarget_ = -1;  // column a moved column would drop on
    bool clickOnCurrent_ = false;
};
