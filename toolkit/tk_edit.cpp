#include "toolkit/tk_edit.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>

TEdit::TEdit(QWidget* parent) : QLineEdit(parent), TControl(this) {
    SetColor(clWindow);  // not the parent panel's face colour, which Qt would hand down
    connect(this, &QLineEdit::textChanged, this, [this]() {
        if (OnChange) OnChange(this);
    });
}

TEdit::~TEdit() {
    disconnect(this, nullptr, this, nullptr);
}

int TEdit::SelStart() const { return hasSelectedText() ? selectionStart() : cursorPosition(); }

void TEdit::SetSelStart(int pos) {
    deselect();
    setCursorPosition(std::clamp(pos, 0, int(text().size())));
}

int TEdit::SelLength() const { return hasSelectedText() ? int(selectedText().size()) : 0; }

void TEdit::SetSelLength(int len) {
    const int start = SelStart();
    len = std::clamp(len, 0, int(text().size()) - start);
    if (len == 0) {
        SetSelStart(start);
        return;
    }
    setSelection(start, len);
}

void TEdit::SetMaxLength(int n) {
    maxLength_ = n < 0 ? 0 : n;
    setMaxLength(maxLength_ == 0 ? 32767 : maxLength_);
}

void TEdit::keyPressEvent(QKeyEvent* e) {
    char16_t replaced = 0;
    if (RunKeyHandlers(this, e, OnKeyDown, OnKeyPress, &replaced)) {
        e->accept();
        return;
    }
    if (replaced) {
        auto r = ReplacedKeyEvent(e, replaced);
        QLineEdit::keyPressEvent(r.get());
        e->setAccepted(r->isAccepted());
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void TEdit::keyReleaseEvent(QKeyEvent* e) {
    if (RunKeyUpHandler(this, e, OnKeyUp)) {
        e->accept();
        return;
    }
    QLineEdit::keyReleaseEvent(e);
}

void TEdit::focusInEvent(QFocusEvent* e) {
    QLineEdit::focusInEvent(e);
    if (OnEnter && IsControlFocusReason(e->reason())) OnEnter(this);
}

void TEdit::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    if (OnExit && IsControlFocusReason(e->reason())) OnExit(this);
}

void TEdit::mouseReleaseEvent(QMouseEvent* e) {
    QLineEdit::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && OnClick) OnClick(this);
}

void TEdit::mouseDoubleClickEvent(QMouseEvent* e) {
    QLineEdit::mouseDoubleClickEvent(e);
    if (OnDblClick) OnDblClick(this);
}
