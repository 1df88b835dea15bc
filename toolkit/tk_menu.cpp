#include "toolkit/tk_menu.h"

#include <QAction>
#include <QMenu>
#include <QSet>

namespace {

// A caption without its accelerator marks: "&&" stands for a literal '&', a single '&' disappears.
QString stripHotkey(const QString& s) {
    QString out;
    out.reserve(s.size());
    for (int i = 0; i < s.size(); ++i) {
        if (s[i] == QLatin1Char('&') && i + 1 < s.size()) {
            ++i;
        }
        out += s[i];
    }
    return out;
}

// The accelerator letter a caption carries ('&' followed by something other than '&'), upper-cased; 0 when none.
QChar hotkeyOf(const QString& s) {
    for (int i = 0; i + 1 < s.size(); ++i) {
        if (s[i] == QLatin1Char('&')) {
            if (s[i + 1] == QLatin1Char('&')) {
                ++i;
                continue;
            }
            return s[i + 1].toUpper();
        }
    }
    return QChar();
}

}  // namespace

TMenuItem::TMenuItem(QObject* owner) : QObject(owner), owner_(owner) {}

QAction* TMenuItem::action() const {
    if (action_) return action_;
    // Made when a menu shows the item or a caller asks: until then the item is its fields alone.
    auto* self = const_cast<TMenuItem*>(this);
    action_ = new QAction(self);
    connect(action_, &QAction::triggered, self, [self]() {
        // The toolkit's items do not tick themselves when chosen; the check mark follows Checked only.
        self->action_->setChecked(self->checked_);
        self->Click();
    });
    action_->setSeparator(IsLine());
    self->applyText();
    action_->setVisible(visible_);
    action_->setEnabled(enabled_);
    if (checkable_) action_->setCheckable(true);
    action_->setChecked(checked_);
    if (menu_)
        action_->setMenu(menu_);
    else if (!root_ && !items_.empty())
        self->ensureMenu();  // which gives the action its menu
    return action_;
}

TMenuItem::~TMenuItem() {
    // Children go first, while this item's list is still whole (their destructors take them out of it).
    Clear();
    if (parentItem_) parentItem_->detach(this);
    if (menu_) {
        if (action_) action_->setMenu(static_cast<QMenu*>(nullptr));
        delete menu_;
        menu_ = nullptr;
    }
}

void TMenuItem::SetCaption(const QString& c) {
    caption_ = c;
    if (!action_) return;
    action_->setSeparator(IsLine());
    applyText();
}

void TMenuItem::SetVisible(bool v) {
    visible_ = v;
    if (action_) action_->setVisible(v);
}

void TMenuItem::SetEnabled(bool e) {
    enabled_ = e;
    if (action_) action_->setEnabled(e);
}

void TMenuItem::SetChecked(bool c) {
    checked_ = c;
    checkable_ = checkable_ || c;
    if (!action_) return;
    if (c) action_->setCheckable(true);
    action_->setChecked(c);
}

TMenuItem* TMenuItem::Items(int i) const {
    if (i < 0 || i >= Count()) return nullptr;
    return items_[size_t(i)];
}

int TMenuItem::IndexOf(const TMenuItem* item) const {
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i] == item) return int(i);
    }
    return -1;
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
    if (!item || item == this) return;
    // An ancestor cannot become its own descendant.
    for (const TMenuItem* p = this; p; p = p->parentItem_) {
        if (p == item) return;
    }
    if (item->parentItem_) item->parentItem_->Remove(item);
    if (index < 0 || index > Count()) index = Count();
    attachAction(item, index);
    items_.insert(items_.begin() + index, item);
    item->parentItem_ = this;
    item->setParent(this);
}

void TMenuItem::attachAction(TMenuItem* item, int index) {
    // A QMenu is made when it is first wanted (ensureMenu adds the items then): a pop-up menu's when
    // it shows, a submenu's with its item's action. A form with many controls holds many menus, and Qt
    // makes each QMenu slower the more there are.
    if (!menu_ && (root_ || !action_)) return;
    QMenu* m = ensureMenu();
    QAction* before = index < Count() ? items_[size_t(index)]->action() : nullptr;
    m->insertAction(before, item->action());
}

void TMenuItem::Remove(TMenuItem* item) {
    if (IndexOf(item) < 0) return;
    detach(item);
    item->setParent(item->owner_.data());
}

void TMenuItem::detach(TMenuItem* item) {
    const int i = IndexOf(item);
    if (i < 0) return;
    if (menu_ && item->action_) menu_->removeAction(item->action_);
    items_.erase(items_.begin() + i);
    item->parentItem_ = nullptr;
}

void TMenuItem::Delete(int index) {
    if (index < 0 || index >= Count()) return;
    delete items_[size_t(index)];
}

void TMenuItem::Clear() {
    while (!items_.empty()) delete items_.back();
}

TMenuItem* TMenuItem::Find(const QString& caption) const {
    const QString want = stripHotkey(caption);
    for (TMenuItem* it : items_) {
        if (stripHotkey(it->caption_) == want) return it;
    }
    return nullptr;
}

TMenuItem* TMenuItem::FindByName(const QString& name) const {
    for (TMenuItem* it : items_) {
        if (it->objectName() == name) return it;
        if (TMenuItem* deeper = it->FindByName(name)) return deeper;
    }
    return nullptr;
}

TPopupMenu* TMenuItem::PopupMenu() const {
    const TMenuItem* p = this;
    while (p->parentItem_) p = p->parentItem_;
    return p->root_;
}

void TMenuItem::Click() {
    if (OnClick) OnClick(this);
}

QMenu* TMenuItem::ensureMenu() {
    if (!menu_) {
        menu_ = new QMenu();
        menu_->setObjectName(objectName());
        if (action_) action_->setMenu(menu_);
        connect(menu_, &QMenu::aboutToShow, this, [this]() {
            // The pop-up's own handler may change captions and visibility, so it runs before the marks.
            if (root_ && root_->OnPopup) root_->OnPopup(root_);
            assignHotkeys();
        });
        for (TMenuItem* item : items_) menu_->addAction(item->action());
    }
    return menu_;
}

void TMenuItem::applyText() {
    if (action_) action_->setText(IsLine() ? QString() : caption_);
}

TMenuAutoFlag TMenuItem::effectiveAutoHotkeys() const {
    if (autoHotkeys_ != maParent) return autoHotkeys_;
    if (parentItem_) return parentItem_->effectiveAutoHotkeys();
    if (root_ && root_->AutoHotkeys() != maParent) return root_->AutoHotkeys();
    return maAutomatic;
}

void TMenuItem::assignHotkeys() {
    const bool automatic = effectiveAutoHotkeys() == maAutomatic;
    QSet<QChar> used;
    for (TMenuItem* it : items_) {
        const QChar k = hotkeyOf(it->caption_);
        if (!k.isNull()) used.insert(k);
    }
    for (TMenuItem* it : items_) {
        if (it->IsLine()) continue;
        QString text = it->caption_;
        if (automatic && hotkeyOf(text).isNull() && !text.contains(QLatin1Char('&'))) {
            // The first ASCII letter or digit that no sibling uses yet gets the mark.
            for (int i = 0; i < text.size(); ++i) {
                const QChar c = text[i];
                if (c.unicode() < 128 && c.isLetterOrNumber() && !used.contains(c.toUpper())) {
                    used.insert(c.toUpper());
                    text.insert(i, QLatin1Char('&'));
                    break;
                }
            }
        }
        it->action()->setText(text);
    }
}

TPopupMenu::TPopupMenu(QObject* owner) : QObject(owner) {
    items_ = new TMenuItem(this);
    items_->root_ = this;
}

TPopupMenu::~TPopupMenu() = default;

QMenu* TPopupMenu::menu() const { return Items()->ensureMenu(); }

void TPopupMenu::Fill() const {
    if (!fill_) return;
    // Taken out first: the fill adds its entries through Items(), which must not run it again.
    const std::function<void(TPopupMenu*)> fill = std::move(fill_);
    fill_ = nullptr;
    fill(const_cast<TPopupMenu*>(this));
}

void TPopupMenu::Popup(int x, int y) {
    menu()->popup(QPoint(x, y));
}
