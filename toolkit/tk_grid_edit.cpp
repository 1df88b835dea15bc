// TStringGrid's in-place editing: showing, placing and cancelling the editor, and the editors
// TInplaceEdit and TInplaceEditList (ellipsis button and drop-down pick list).
#include "toolkit/tk_grid.h"
#include "toolkit/tk_grid_store.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolButton>
#include <cassert>

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
        if (QAccessible::isActive()) nameEditor();
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
