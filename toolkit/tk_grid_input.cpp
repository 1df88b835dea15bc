// TStringGrid: keys, focus, mouse gestures (selecting, sizing and moving columns) and the wheel.
#include "toolkit/tk_grid.h"
#include "toolkit/tk_grid_store.h"

#include <QApplication>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>

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

void TStringGrid::inputMethodEvent(QInputMethodEvent* e) {
    const bool open = editorMode_ && editor_ && editor_->isVisible();
    if (!open && e->commitString().isEmpty() && e->preeditString().isEmpty()) return;
    if (!open && options_.Contains(goEditing) && !options_.Contains(goRowSelect)) ShowEditor();
    if (!editorMode_ || !editor_ || !editor_->isVisible()) {
        e->ignore();
        return;
    }
    editor_->setFocus(Qt::OtherFocusReason);
    QCoreApplication::sendEvent(editor_, e);
}

QVariant TStringGrid::inputMethodQuery(Qt::InputMethodQuery q) const {
    switch (q) {
    case Qt::ImEnabled:
        return testAttribute(Qt::WA_InputMethodEnabled);
    case Qt::ImCursorRectangle: {
        const TRect r = CellRect(col_, row_);
        return r.IsEmpty() ? QRect() : r.toQRect().translated(viewport()->pos());
    }
    case Qt::ImSurroundingText:
    case Qt::ImCurrentSelection:
        return QString();
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition:
        return 0;
    default:
        return QAbstractScrollArea::inputMethodQuery(q);
    }
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
            DoEnter();
        }
        return;
    }
    if (hadFocusInside_ && !focusInside()) {
        hadFocusInside_ = false;
        InvalidateCell(col_, row_);
        DoExit();
    }
}

void TStringGrid::DoEnter() {
    if (OnEnter) OnEnter(this);
}

void TStringGrid::DoExit() {
    if (OnExit) OnExit(this);
}

void TStringGrid::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    focusChangedInside(true);
    viewport()->update();
    // The keyboard given to the grid while its editor is open goes on to the editor: the grid itself
    // types nothing while an editor shows (KeyPress), so the keys would go nowhere until a click.
    if (editorMode_ && editor_ && editor_->isVisible()) editor_->setFocus(Qt::OtherFocusReason);
    // Qt tells of the grid getting the focus after this event; the current cell is told after that.
    QMetaObject::invokeMethod(this, [this] { announceCurrent(Selection()); }, Qt::QueuedConnection);
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
