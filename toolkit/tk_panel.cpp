#include "toolkit/tk_panel.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

namespace {
Qt::Alignment qtAlign(TAlignment a) {
    switch (a) {
    case taLeftJustify: return Qt::AlignLeft | Qt::AlignVCenter;
    case taRightJustify: return Qt::AlignRight | Qt::AlignVCenter;
    default: return Qt::AlignCenter;
    }
}
}  // namespace

TPanel::TPanel(QWidget* parent) : QFrame(parent), TControl(this) {
    resize(185, 41);
    setAutoFillBackground(true);
    SetColor(clBtnFace);
    applyFrame();
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        connect(app, &QApplication::focusChanged, this, &TPanel::onFocusChanged);
    }
}

TPanel::~TPanel() {
    // Destroying children moves the focus; the application must not report it to a half-destroyed panel.
    if (QCoreApplication* app = QCoreApplication::instance()) disconnect(app, nullptr, this, nullptr);
}

void TPanel::SetCaption(const QString& c) {
    caption_ = c;
    update();
}

void TPanel::SetAlignment(TAlignment a) {
    alignment_ = a;
    update();
}

void TPanel::SetBevelInner(TBevelCut b) {
    bevelInner_ = b;
    applyFrame();
}

void TPanel::SetBevelOuter(TBevelCut b) {
    bevelOuter_ = b;
    applyFrame();
}

void TPanel::SetBevelWidth(int w) {
    bevelWidth_ = w < 1 ? 1 : w;
    applyFrame();
}

void TPanel::SetBorderStyle(TBorderStyle s) {
    borderStyle_ = s;
    applyFrame();
}

void TPanel::applyFrame() {
    // One Qt frame stands for border and bevels: the border wins, then the outer bevel, then the inner one.
    const TBevelCut bevel = bevelOuter_ != bvNone && bevelOuter_ != bvSpace ? bevelOuter_ : bevelInner_;
    if (borderStyle_ == bsSingle) {
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(1);
    } else if (bevel == bvRaised) {
        setFrameStyle(QFrame::Panel | QFrame::Raised);
        setLineWidth(bevelWidth_);
    } else if (bevel == bvLowered) {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setLineWidth(bevelWidth_);
    } else {
        setFrameStyle(QFrame::NoFrame);
    }
    update();
}

void TPanel::paintEvent(QPaintEvent* e) {
    QFrame::paintEvent(e);
    if (caption_.isEmpty()) return;
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(contentsRect().adjusted(2, 0, -2, 0), int(qtAlign(alignment_)), caption_);
}

void TPanel::resizeEvent(QResizeEvent* e) {
    QFrame::resizeEvent(e);
    if (OnResize) OnResize(this);
}

void TPanel::mousePressEvent(QMouseEvent* e) {
    pressed_ = e->button() == Qt::LeftButton;
    if (OnMouseDown) {
        const QPoint p = e->position().toPoint();
        OnMouseDown(this, buttonFromQt(e->button()), shiftFromQt(e->modifiers(), e->buttons()), p.x(), p.y());
    }
    QFrame::mousePressEvent(e);
}

void TPanel::mouseReleaseEvent(QMouseEvent* e) {
    const bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    pressed_ = false;
    QFrame::mouseReleaseEvent(e);
    if (click && OnClick) OnClick(this);
}

bool TPanel::holds(QWidget* w) const { return w && (w == this || isAncestorOf(w)); }

void TPanel::onFocusChanged(QWidget*, QWidget* now) {
    // Only moves inside the panel's own window count: a message box or another window taking the focus
    // is no exit, and coming back to the same child is no enter.
    if (!now || now->window() != window()) return;
    const bool isIn = holds(now);
    if (isIn == focusInside_) return;
    focusInside_ = isIn;
    if (isIn && OnEnter) OnEnter(this);
    if (!isIn && OnExit) OnExit(this);
}
