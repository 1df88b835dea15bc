// TTreeView, TTreeNode and TTreeNodes: the toolkit's tree view over QTreeWidget.
//
// Every node is a TTreeNode (a QTreeWidgetItem the tree owns). Node order is the toolkit's: depth first,
// parents before children, children in order, whether expanded or not. GetNext/GetPrev walk that order and
// TTreeNodes' absolute indexes count in it; the flat order is cached and rebuilt only after the tree's
// shape changed, so walking a tree by index stays linear.
//
// Data is a pointer the tree does not own; OnDeletion runs for every node before it goes (Delete, Clear,
// destruction of the view) so that its owner can release it.
//
// Drawing: OnCustomDraw runs before the items with a canvas on the view's client area; OnCustomDrawItem
// runs for each item with a canvas whose brush and font are preset (highlight colours for a selected
// item, window colours otherwise) and the item's rect. The handler may change brush and font, or draw the
// item itself and clear DefaultDraw; otherwise the layer fills the rect with the brush and writes the text
// with the font.
#pragma once

#include "toolkit/tk_canvas.h"
#include "toolkit/tk_controls.h"

#include <QIcon>
#include <QList>
#include <QTreeWidget>
#include <memory>
#include <vector>

class TTreeView;
class TTreeNodes;

class TTreeNode : public QTreeWidgetItem {
public:
    ~TTreeNode() override;

    QString Text() const { return text(0); }
    void SetText(const QString& t) { setText(0, t); }
    void* Data() const { return data_; }
    void SetData(void* d) { data_ = d; }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int i);
    int SelectedIndex() const { return selectedIndex_; }
    void SetSelectedIndex(int i);

    TTreeNode* Parent() const;
    // Roots are at level 0.
    int Level() const;
    // Index among its siblings.
    int Index() const;
    // Index in the whole tree's node order.
    int AbsoluteIndex() const;
    int Count() const { return childCount(); }
    bool HasChildren() const { return childCount() > 0; }
    TTreeNode* Item(int i) const;
    TTreeNode* getFirstChild() const { return Item(0); }
    TTreeNode* GetLastChild() const { return Item(Count() - 1); }
    TTreeNode* getNextSibling() const;
    TTreeNode* getPrevSibling() const;
    // The next / previous node in node order; null past the ends.
    TTreeNode* GetNext() const;
    TTreeNode* GetPrev() const;
    bool HasAsParent(const TTreeNode* ancestor) const;

    bool Expanded() const { return isExpanded(); }
    void SetExpanded(bool e) { setExpanded(e); }
    void Expand(bool recursive);
    void Collapse(bool recursive);
    bool Selected() const { return isSelected(); }
    void SetSelected(bool s);
    // Expands the parents and scrolls the node into view.
    void MakeVisible();
    // The node's row in the view's client coordinates (text part only when textOnly).
    TRect DisplayRect(bool textOnly) const;
    TTreeView* TreeView() const;
    // Deletes the node and its subtree (OnDeletion runs for each).
    void Delete();

private:
    friend class TTreeNodes;
    friend class TTreeView;
    explicit TTreeNode(TTreeNodes* owner) : QTreeWidgetItem(QTreeWidgetItem::UserType + 1), owner_(owner) {}
    void applyIcon();

    TTreeNodes* owner_;
    int absIndex_ = -1;     // position in node order, valid while the owner's cache is clean
    int subtreeEnd_ = -1;   // one past the last descendant in node order, same validity
    void* data_ = nullptr;
    int imageIndex_ = -1;
    int selectedIndex_ = -1;
};

class TTreeNodes {
public:
    explicit TTreeNodes(TTreeView* view) : view_(view) {}
    ~TTreeNodes() = default;
    TTreeNodes(const TTreeNodes&) = delete;
    TTreeNodes& operator=(const TTreeNodes&) = delete;

    // Every node of the tree.
    int Count() const;
    int GetCount() const { return Count(); }
    // The node at an absolute index in node order; null out of range.
    TTreeNode* GetNodeFromIndex(int i) const;
    TTreeNode* Item(int i) const { return GetNodeFromIndex(i); }
    TTreeNode* GetFirstNode() const;

    // A new last child of parent (a new last root when parent is null).
    TTreeNode* AddChild(TTreeNode* parent, const QString& text) { return AddChildObject(parent, text, nullptr); }
    TTreeNode* AddChildObject(TTreeNode* parent, const QString& text, void* data);
    TTreeNode* AddChildFirst(TTreeNode* parent, const QString& text);
    // A new last sibling of node (a new root when node is null).
    TTreeNode* Add(TTreeNode* sibling, const QString& text) { return AddObject(sibling, text, nullptr); }
    TTreeNode* AddObject(TTreeNode* sibling, const QString& text, void* data);
    // A new node just before node (a new last root when node is null).
    TTreeNode* Insert(TTreeNode* before, const QString& text);

    void Delete(TTreeNode* node);
    void Clear();
    void BeginUpdate();
    void EndUpdate();

    TTreeView* Owner() const { return view_; }

private:
    friend class TTreeNode;
    friend class TTreeView;
    TTreeNode* make(const QString& text, void* data);
    void changed() { dirty_ = true; }
    void rebuild() const;

    TTreeView* view_;
    mutable std::vector<TTreeNode*> flat_;
    mutable bool dirty_ = true;
    int updateDepth_ = 0;
};

enum TCustomDrawStateFlag : unsigned {
    cdsSelected = 1u << 0,
    cdsFocused = 1u << 1,
    cdsHot = 1u << 2,
    cdsDisabled = 1u << 3,
};
typedef unsigned TCustomDrawState;  // a set of TCustomDrawStateFlag

typedef std::function<void(TObject* Sender, TTreeNode* Node)> TTVChangedEvent;
typedef std::function<void(TObject* Sender, TTreeNode* Node)> TTVExpandedEvent;
typedef std::function<void(TTreeView* Sender, const TRect& ARect, bool& DefaultDraw)> TTVCustomDrawEvent;
typedef std::function<void(TTreeView* Sender, TTreeNode* Node, TCustomDrawState State, const TRect& ItemRect,
                           bool& DefaultDraw)>
    TTVCustomDrawItemEvent;

class TTreeView : public QTreeWidget, public TControl {
    Q_OBJECT
public:
    explicit TTreeView(QWidget* parent = nullptr);
    ~TTreeView() override;

    TTreeNodes* Items() const { return items_.get(); }
    TTreeNode* Selected() const;
    // Selects node and makes it current; null clears the selection.
    void SetSelected(TTreeNode* node);
    TTreeNode* TopItem() const;
    TTreeNode* GetNodeAt(int x, int y) const;

    void FullExpand();
    void FullCollapse();

    // Icons that ImageIndex and SelectedIndex pick from; indexes outside the list show no icon.
    void SetImages(const QList<QIcon>& images);
    const QList<QIcon>& Images() const { return images_; }
    // Selected items drawn unselected while the view has no focus.
    bool HideSelection() const { return hideSelection_; }
    void SetHideSelection(bool on);

    // The canvas of the current paint (valid inside the custom-draw events only).
    TCanvas* Canvas() { return &canvas_; }

    TTVChangedEvent OnChange;
    TTVChangedEvent OnDeletion;
    TTVExpandedEvent OnExpanded;
    TTVExpandedEvent OnCollapsed;
    TTVCustomDrawEvent OnCustomDraw;
    TTVCustomDrawItemEvent OnCustomDrawItem;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TMouseEvent OnMouseDown;

protected:
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    QWidget* PaintTarget() const override { return viewport(); }

private:
    friend class TTreeNode;
    friend class TTreeNodes;
    friend class TTreeItemDelegate;

    std::unique_ptr<TTreeNodes> items_;
    QList<QIcon> images_;
    TCanvas canvas_;
    bool hideSelection_ = false;
    bool destroying_ = false;
    bool pressed_ = false;
};
