#include "toolkit/tk_controls.h"

#include "toolkit/tk_menu.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPalette>
#include <QPolygon>
#include <QRegion>
#include <QWidget>
#include <algorithm>

// The event filter every control installs on its widget: it runs Loaded() on the first show and turns
// context-menu events into the control's pop-up menu.
class TControlHook : public QObject {
public:
    TControlHook(TControl* control, QWidget* self) : QObject(self), control_(control) {}

    bool eventFilter(QObject* watched, QEvent* e) override {
        switch (e->type()) {
        case QEvent::Show:
            if (watched == control_->self_ && !control_->loadCalled_) {
                control_->loadCalled_ = true;
                if (!control_->loaded_) control_->Loaded();
            }
            break;
        case QEvent::FontChange:
            if (watched == control_->self_) control_->fontFromWidget();
            break;
        case QEvent::Enter:
            if (watched == control_->PaintTarget() && control_->OnMouseEnter) control_->OnMouseEnter(control_->self_);
            break;
        case QEvent::Leave:
            if (watched == control_->PaintTarget() && control_->OnMouseLeave) control_->OnMouseLeave(control_->self_);
            break;
        case QEvent::ContextMenu: {
            auto* ce = static_cast<QContextMenuEvent*>(e);
            auto* w = qobject_cast<QWidget*>(watched);
            if (!w) break;
            const QPoint local = w == control_->self_ ? ce->pos() : w->mapTo(control_->self_, ce->pos());
            if (control_->DoContextPopup(local, ce->globalPos())) return true;
            break;
        }
        default:
            break;
        }
        return QObject::eventFilter(watched, e);
    }

private:
    TControl* control_;
};

TControl::TControl(QWidget* self) : self_(self) {
    Q_ASSERT_X(self, "TControl", "a control needs its widget");
    font_.fromQFont(self->font());
    auto* hook = new TControlHook(this, self);
    hook_ = hook;
    self->installEventFilter(hook);
}

// The hook goes with the control part: the widget part outlives it a little, and the events its
// teardown sends must not reach a control that is gone.
TControl::~TControl() { delete hook_; }

QString TControl::Name() const { return self_->objectName(); }
void TControl::SetName(const QString& name) { self_->setObjectName(name); }

QWidget* TControl::Parent() const { return self_->parentWidget(); }

void TControl::SetParent(QWidget* parent) {
    if (parent == self_->parentWidget()) return;
    const QPoint pos = self_->pos();
    const bool wasVisible = Visible();
    self_->setParent(parent);
    self_->move(pos);
    // A widget given a new parent starts hidden in Qt; the toolkit keeps its Visible flag.
    if (wasVisible && parent) self_->show();
}

int TControl::Left() const { return self_->x(); }
int TControl::Top() const { return self_->y(); }
int TControl::Width() const { return self_->width(); }
int TControl::Height() const { return self_->height(); }
void TControl::SetLeft(int v) { self_->move(v, self_->y()); }
void TControl::SetTop(int v) { self_->move(self_->x(), v); }
void TControl::SetWidth(int v) { self_->resize(std::max(0, v), self_->height()); }
void TControl::SetHeight(int v) { self_->resize(self_->width(), std::max(0, v)); }

void TControl::SetBounds(int left, int top, int width, int height) {
    self_->setGeometry(left, top, std::max(0, width), std::max(0, height));
}

TRect TControl::BoundsRect() const { return TRect::fromQRect(self_->geometry()); }
TRect TControl::ClientRect() const { return TRect::fromQRect(PaintTarget()->rect()); }

bool TControl::Visible() const {
    // Hidden only when someone hid it: Qt also calls a child hidden while its form is not shown yet.
    return !(self_->testAttribute(Qt::WA_WState_ExplicitShowHide) && self_->testAttribute(Qt::WA_WState_Hidden));
}

void TControl::SetVisible(bool v) { self_->setVisible(v); }
bool TControl::Enabled() const { return self_->isEnabled(); }
void TControl::SetEnabled(bool e) { self_->setEnabled(e); }
bool TControl::Showing() const { return self_->isVisible(); }

void TControl::SetHint(const QString& h) {
    hint_ = h;
    self_->setToolTip(showHint_ ? hint_ : QString());
}

void TControl::SetShowHint(bool on) {
    showHint_ = on;
    self_->setToolTip(showHint_ ? hint_ : QString());
}

void TControl::SetColor(TColor c) {
    color_ = c;
    ColorChanged();
    Invalidate();
}

void TControl::SetFont(const TFont& f) {
    font_.Assign(f);
    FontChanged();
}

void TControl::FontChanged() {
    self_->setFont(font_.toQFont());
    ColorChanged();
}

void TControl::fontFromWidget() {
    const TColor keep = font_.Color;
    font_.fromQFont(self_->font());
    font_.Color = keep;
}

void TControl::ColorChanged() {
    QPalette pal = QApplication::palette(self_);
    if (color_ != clDefault && color_ != clNone) {
        const QColor q = toQColor(color_);
        pal.setColor(QPalette::Window, q);
        pal.setColor(QPalette::Base, q);
        pal.setColor(QPalette::Button, q);
    }
    if (font_.Color != clWindowText && font_.Color != clDefault && font_.Color != clNone) {
        const QColor q = toQColor(font_.Color);
        pal.setColor(QPalette::WindowText, q);
        pal.setColor(QPalette::Text, q);
        pal.setColor(QPalette::ButtonText, q);
    }
    self_->setPalette(pal);
}

void TControl::SetPopupMenu(TPopupMenu* menu) { popupMenu_ = menu; }

TPoint TControl::ClientToScreen(const TPoint& p) const {
    return TPoint::fromQPoint(PaintTarget()->mapToGlobal(p.toQPoint()));
}

TPoint TControl::ScreenToClient(const TPoint& p) const {
    return TPoint::fromQPoint(PaintTarget()->mapFromGlobal(p.toQPoint()));
}

void TControl::SetClipPolygon(const std::vector<TPoint>& points) {
    if (points.size() < 3) {
        self_->clearMask();
        return;
    }
    QPolygon poly;
    for (const TPoint& p : points) poly << p.toQPoint();
    self_->setMask(QRegion(poly));
}

void TControl::Invalidate() { PaintTarget()->update(); }
void TControl::InvalidateRect(const TRect& r) { PaintTarget()->update(r.toQRect()); }

void TControl::Refresh() {
    FontChanged();
    PaintTarget()->repaint();
}

void TControl::Update() { PaintTarget()->repaint(); }

bool TControl::CanFocus() const {
    return self_->isEnabled() && self_->isVisible() && self_->focusPolicy() != Qt::NoFocus;
}

void TControl::SetFocus() { self_->setFocus(Qt::OtherFocusReason); }

bool TControl::Focused() const { return self_->hasFocus(); }

void TControl::Loaded() {
    loaded_ = true;
    loadCalled_ = true;
}

bool TControl::DoContextPopup(const QPoint& localPos, const QPoint& globalPos) {
    bool handled = false;
    if (OnContextPopup) OnContextPopup(self_, TPoint::fromQPoint(localPos), handled);
    if (handled) return true;
    if (TPopupMenu* m = popupMenu_.data()) {
        m->SetPopupComponent(self_);
        m->Popup(globalPos.x(), globalPos.y());
        return true;
    }
    return false;
}

void TControl::HookChild(QWidget* child) {
    if (child) child->installEventFilter(hook_);
}

TControl* AsControl(QWidget* w) { return dynamic_cast<TControl*>(w); }

QWidget* GetParentForm(QWidget* w) { return w ? w->window() : nullptr; }

QString FormName(QWidget* form) { return form ? form->objectName() : QString(); }

TColor FormColor(QWidget* form) {
    if (!form) return clNone;
    if (TControl* c = AsControl(form)) {
        if (c->Color() != clDefault) return ColorToRGB(c->Color());
    }
    return fromQColor(form->palette().color(QPalette::Window));
}

bool RunKeyHandlers(QObject* sender, QKeyEvent* e, const TKeyEvent& onKeyDown, const TKeyPressEvent& onKeyPress,
                    char16_t* replaced) {
    if (replaced) *replaced = 0;
    if (onKeyDown) {
        WORD key = vkFromQtKey(e->key());
        if (key != 0) {
            onKeyDown(sender, key, shiftFromQt(e->modifiers()));
            if (key == 0) return true;
        }
    }
    if (onKeyPress) {
        const QString t = e->text();
        if (t.size() == 1) {
            const char16_t original = t[0].unicode();
            char16_t ch = original;
            onKeyPress(sender, ch);
            if (ch == 0) return true;
            if (ch != original && replaced) *replaced = ch;
        }
    }
    return false;
}

bool RunKeyUpHandler(QObject* sender, QKeyEvent* e, const TKeyEvent& onKeyUp) {
    if (!onKeyUp) return false;
    WORD key = vkFromQtKey(e->key());
    if (key == 0) return false;
    onKeyUp(sender, key, shiftFromQt(e->modifiers()));
    return key == 0;
}

bool IsControlFocusReason(Qt::FocusReason r) {
    return r != Qt::PopupFocusReason && r != Qt::ActiveWindowFocusReason;
}

std::unique_ptr<QKeyEvent> ReplacedKeyEvent(const QKeyEvent* e, char16_t ch) {
    // A printable replacement is typed as plain text; a control character keeps the key it came with.
    const int key = ch >= 0x20 ? int(Qt::Key_unknown) : e->key();
    return std::make_unique<QKeyEvent>(e->type(), key, e->modifiers(), QString(QChar(ch)), e->isAutoRepeat(),
                                       ushort(e->count()));
}
