// TPopupMenu and TMenuItem: the toolkit's pop-up menus over QMenu/QAction.
//
// A TMenuItem is one entry: a QAction it owns, and, once it has child items, a QMenu of its own that
// shows them as a submenu. Both are made when first wanted (a menu that shows, a caller that asks), so a
// control may hold long menus that are never opened at little cost. The caption "-" makes the item a separator. A TPopupMenu is the root of a
// menu tree: its Items() item's QMenu is the menu that Popup(x, y) opens.
//
// Ownership follows Qt parents: an item added to another item is owned by it and deleted with it; an item
// created with an owner (any QObject, typically the control that builds the menu) is owned by that owner
// until it is added somewhere, and goes back to it when Remove() takes it out again. Deleting an item
// takes it out of its parent's menu.
//
// Property form: P() reads, SetP(v) writes. Out-of-range indexes and null items are forgiven (reads give
// null, writes do nothing).
#pragma once

#include "toolkit/tk_types.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

class QAction;
class QMenu;
class TPopupMenu;

// How a menu assigns keyboard accelerators ('&' marks) to captions that carry none.
enum TMenuAutoFlag { maAutomatic, maManual, maParent };

class TMenuItem : public QObject {
    Q_OBJECT
public:
    // owner (not the parent menu) keeps the item alive while it is in no menu; it may be null.
    explicit TMenuItem(QObject* owner = nullptr);
    ~TMenuItem() override;

    QString Name() const { return objectName(); }
    void SetName(const QString& n) { setObjectName(n); }
    QString Caption() const { return caption_; }
    // "-" turns the item into a separator; any other caption turns it back.
    void SetCaption(const QString& c);
    bool IsLine() const { return caption_ == QLatin1String("-"); }
    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool e);
    bool Checked() const { return checked_; }
    void SetChecked(bool c);
    intptr_t Tag() const { return tag_; }
    void SetTag(intptr_t t) { tag_ = t; }
    TMenuAutoFlag AutoHotkeys() const { return autoHotkeys_; }
    void SetAutoHotkeys(TMenuAutoFlag f) { autoHotkeys_ = f; }

    // Child items.
    int Count() const { return int(items_.size()); }
    TMenuItem* Items(int i) const;
    TMenuItem* GetItem(int i) const { return Items(i); }
    int IndexOf(const TMenuItem* item) const;
    // Appends item (taking ownership); an item that sits in another menu is moved here.
    void Add(TMenuItem* item);
    // Inserts item before index (0..Count(); out of range appends).
    void Insert(int index, TMenuItem* item);
    // Takes item out of this menu without deleting it; it goes back to its owner.
    void Remove(TMenuItem* item);
    // Deletes the child at index.
    void Delete(int index);
    // Deletes every child.
    void Clear();
    // The child whose caption equals caption (ignoring '&' marks); null when none.
    TMenuItem* Find(const QString& caption) const;
    // The first item named name in this item's subtree (depth first, this item excluded); null when none.
    TMenuItem* FindByName(const QString& name) const;

    TMenuItem* Parent() const { return parentItem_; }
    int MenuIndex() const { return parentItem_ ? parentItem_->IndexOf(this) : -1; }
    // The pop-up menu at the root of this item's tree; null for a free item.
    TPopupMenu* PopupMenu() const;

    // Fires OnClick as a user's choice does.
    void Click();

    TNotifyEvent OnClick;

    // Qt side: the entry's action (made when first wanted: by a menu that shows the item, or here),
    // and its menu.
    QAction* action() const;
    // The QMenu (null while none is made: an item without children, a submenu until its action is
    // made, or a pop-up menu's Items() item until TPopupMenu::menu() or a popup first wants it).
    QMenu* menu() const { return menu_; }
    // The submenu, created when missing.
    QMenu* ensureMenu();

private:
    friend class TPopupMenu;
    void attachAction(TMenuItem* item, int index);
    void detach(TMenuItem* item);
    void applyText();
    void assignHotkeys();
    TMenuAutoFlag effectiveAutoHotkeys() const;

    QString caption_;
    bool visible_ = true;
    bool enabled_ = true;
    bool checked_ = false;
    intptr_t tag_ = 0;
    TMenuAutoFlag autoHotkeys_ = maParent;
    bool checkable_ = false;         // once checked, the action keeps room for the mark
    mutable QAction* action_ = nullptr;  // owned (Qt child of this item); null until first wanted
    QMenu* menu_ = nullptr;          // owned, deleted in the destructor (a widget cannot be a QObject's child)
    TMenuItem* parentItem_ = nullptr;
    QPointer<QObject> owner_;
    std::vector<TMenuItem*> items_;  // owned through Qt parenting
    TPopupMenu* root_ = nullptr;     // set on the Items() item of a TPopupMenu only
};

class TPopupMenu : public QObject {
    Q_OBJECT
public:
    // owner deletes the menu (Qt parent); may be null.
    explicit TPopupMenu(QObject* owner = nullptr);
    ~TPopupMenu() override;

    QString Name() const { return objectName(); }
    void SetName(const QString& n) { setObjectName(n); }
    // The root item: its children are the menu's entries.
    TMenuItem* Items() const {
        Fill();
        return items_;
    }
    TMenuItem* Items(int i) const { return Items()->Items(i); }
    int Count() const { return Items()->Count(); }
    // The first item named name anywhere in the menu; null when none.
    TMenuItem* FindItem(const QString& name) const { return Items()->FindByName(name); }
    // Entries made when first wanted: fill runs once, before the entries are first read, changed or
    // shown (Items(), menu(), Popup()). A control that gives each instance long menus (a form holds
    // many such controls) keeps its construction short and the heap small this way.
    void SetFill(std::function<void(TPopupMenu*)> fill) { fill_ = std::move(fill); }
    TMenuAutoFlag AutoHotkeys() const { return autoHotkeys_; }
    // maParent counts as maAutomatic at the root.
    void SetAutoHotkeys(TMenuAutoFlag f) { autoHotkeys_ = f; }
    intptr_t Tag() const { return tag_; }
    void SetTag(intptr_t t) { tag_ = t; }

    // Opens the menu with its top-left corner at the screen point (x, y) and returns at once; OnPopup runs
    // before it shows.
    void Popup(int x, int y);
    // The control that opened the menu last (set by TControl before Popup); may be null.
    QWidget* PopupComponent() const { return popupComponent_; }
    void SetPopupComponent(QWidget* w) { popupComponent_ = w; }

    TNotifyEvent OnPopup;

    // Qt side: the menu that shows the entries (for host code that styles it, e.g. its font).
    QMenu* menu() const;

private:
    void Fill() const;

    TMenuItem* items_;  // owned (Qt child)
    mutable std::function<void(TPopupMenu*)> fill_;  // until the entries are first wanted
    TMenuAutoFlag autoHotkeys_ = maAutomatic;
    intptr_t tag_ = 0;
    QPointer<QWidget> popupComponent_;
};
