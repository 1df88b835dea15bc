// TStatusBar for screen readers: a status bar whose children are its panels, each named by its text, and
// a name-changed event whenever a shown text changes, so that a reader can say "已保存" as it appears.
#include "toolkit/tk_statusbar.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <utility>

namespace {

// Panel index of a bar, or its simple text (index 0 in simple mode). Registered with QAccessible, which
// owns it; the bar's interface drops its panels when it goes.
class PanelAccess : public QAccessibleInterface {
public:
    PanelAccess(TStatusBar* bar, int index) : bar_(bar), index_(index) {}

    bool isValid() const override { return bar_ && index_ < (bar_->SimplePanel() ? 1 : bar_->Panels()->Count()); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return bar_ ? bar_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(bar_.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString&) override {}
    QAccessible::Role role() const override { return QAccessible::StaticText; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.readOnly = true;
        return s;
    }
    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || !isValid()) return QString();
        return bar_->SimplePanel() ? bar_->SimpleText() : bar_->Panels()->Items(index_)->Text();
    }
    QRect rect() const override {
        if (!isValid()) return QRect();
        const QRect r = bar_->SimplePanel() ? bar_->rect() : bar_->PanelRect(index_).toQRect();
        return QRect(bar_->mapToGlobal(r.topLeft()), r.size());
    }
    int index() const { return index_; }

private:
    QPointer<TStatusBar> bar_;
    int index_;
};

class BarAccess : public QAccessibleWidget {
public:
    explicit BarAccess(TStatusBar* bar) : QAccessibleWidget(bar, QAccessible::StatusBar) {}
    ~BarAccess() override {
        for (QAccessible::Id id : std::as_const(ids_)) QAccessible::deleteAccessibleInterface(id);
    }
    TStatusBar* bar() const { return static_cast<TStatusBar*>(object()); }

    int childCount() const override {
        if (!bar()) return 0;
        return bar()->SimplePanel() ? 1 : bar()->Panels()->Count();
    }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount()) return nullptr;
        while (ids_.size() <= index) ids_ << QAccessible::registerAccessibleInterface(new PanelAccess(bar(), int(ids_.size())));
        return QAccessible::accessibleInterface(ids_[index]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        auto* p = dynamic_cast<const PanelAccess*>(child);
        return p && p->parent() == this && p->isValid() ? p->index() : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < childCount(); ++i)
            if (child(i)->rect().contains(x, y)) return child(i);
        return nullptr;
    }

private:
    mutable QList<QAccessible::Id> ids_;  // the panel at each index, made when first asked for
};

QAccessibleInterface* barFactory(const QString&, QObject* o) {
    auto* b = qobject_cast<TStatusBar*>(o);
    return b ? new BarAccess(b) : nullptr;
}

}  // namespace

void TStatusBar::installAccessible() {
    static bool done = false;
    if (done) return;
    done = true;
    QAccessible::installFactory(barFactory);
}

void TStatusBar::announceText(int index) {
    if (!QAccessible::isActive() || index < 0) return;
    QAccessibleEvent e(this, QAccessible::NameChanged);
    e.setChild(index);
    QAccessible::updateAccessibility(&e);
}
