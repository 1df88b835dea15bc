#include "toolkit/tk_panel.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include <algorithm>
#include <vector>

namespace {
Qt::Alignment qtAlign(TAlignment a) {
    switch (a) {
    case taLeftJustify: return Qt::AlignLeft | Qt::AlignVCenter;
    case taRightJustify: return Qt::AlignRight | Qt::AlignVCenter;
    default: return Qt::AlignCenter;
    }
}
// The panels the focus is inside of, in the order it entered them.
std::vector<QPointer<TPanel>>& Inside() {
    static std::vector<QPointer<TPanel>> panels;
    return panels;
}
}  // namespace

TPanel::TPanel(QWidget* parent) : QFrame(parent), TControl(this) {
    resize(185, 41);
    setAutoFillBackground(true);
    SetColor(clBtnFace);
    applyFrame();
    static QPointer<QApplication> connected;
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app && connected != app) {
        connected = app;
        connect(app, &QApplication::focusChanged, app, &TPanel::dispatchFocus);
    }
}

TPanel::~TPanel() {
    // Destroying children moves the focus; nothing may reach this half-destroyed panel.
    focusInside_ = false;
    auto& in = Inside();
    in.erase(std::remove(in.begin(), in.end(), QPointer<TPanel>(this)), in.end());
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

void TPanel::dispatchFocus(QWidget*, QWidget* now) {
    // Only moves inside a panel's own window count: a message box or another window taking the focus
    // is no exit, and coming back to the same child is no enter.
    if (!now) return;
    QWidget* const win = now->window();
    std::vector<QPointer<TPanel>> leaving, entering;
    for (const QPointer<TPanel>& p : Inside())
        if (p && p->focusInside_ && p->window() == win && !p->holds(now)) leaving.push_back(p);
    for (QWidget* w = now; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
        auto* p = qobject_cast<TPanel*>(w);
        if (p && !p->focusInside_) entering.insert(entering.begin(), p);  // the outermost first
    }
    // A handler may move the focus again: each panel is told only while its state still differs.
    for (const QPointer<TPanel>& p : leaving) {
        if (!p || !p->focusInside_) continue;
        p->focusInside_ = false;
        if (p->OnExit) p->OnExit(p.data());
    }
    for (const QPointer<TPanel>& p : entering) {
        if (!p || p->focusInside_) continue;
        p->focusInside_ = true;
        Inside().push_back(p);
        if (p->OnEnter) p->OnEnter(p.data());
    }
    auto& in = Inside();
    in.erase(std::remove_if(in.begin(), in.end(), [](const QPointer<TPanel>& p) { return !p || !p->focusInside_; }),
             in.end());
}
