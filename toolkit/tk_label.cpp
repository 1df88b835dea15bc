#include "toolkit/tk_label.h"

#include <QMouseEvent>

TLabel::TLabel(QWidget* parent) : QLabel(parent), TControl(this) {
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

TLabel::~TLabel() = default;

void TLabel::SetCaption(const QString& c) {
    setText(c);
    fit();
}

void TLabel::SetAlignment(TAlignment a) {
    alignment_ = a;
    Qt::Alignment h = Qt::AlignLeft;
    if (a == taRightJustify) h = Qt::AlignRight;
    if (a == taCenter) h = Qt::AlignHCenter;
    setAlignment(h | Qt::AlignTop);
}

void TLabel::SetAutoSize(bool on) {
    autoSize_ = on;
    fit();
}

void TLabel::fit() {
    if (autoSize_ && !wordWrap()) resize(sizeHint());
}

void TLabel::ColorChanged() {
    TControl::ColorChanged();
    fit();
}

void TLabel::mousePressEvent(QMouseEvent* e) {
    pressed_ = e->button() == Qt::LeftButton;
    if (OnMouseDown) {
        const QPoint p = e->position().toPoint();
        OnMouseDown(this, buttonFromQt(e->button()), shiftFromQt(e->modifiers(), e->buttons()), p.x(), p.y());
    }
    QLabel::mousePressEvent(e);
}

void TLabel::mouseReleaseEvent(QMouseEvent* e) {
    const bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(e);
    if (click && OnClick) OnClick(this);
}

void TLabel::mouseDoubleClickEvent(QMouseEvent* e) {
    QLabel::mouseDoubleClickEvent(e);
    if (OnDblClick) OnDblClick(this);
}
