// TTreeView, TTreeNode and TTreeNodes: the toolkit's tree view, a QTreeView over a model of its own.
//
// Nodes are the layer's own small records (no Qt item per node), kept in blocks by their TTreeNodes, so
// that a tree of hundreds of thousands of codes costs a fraction of what one QTreeWidgetItem per node
// would, and the view only asks for the rows it shows. A node holds its text (UTF-16, its own block),
// a data pointer the tree does not own, two image indexes, its parent and the array of its children.
//
// Node order is the toolkit's: depth first, parents before children, children in order, whether expanded
// or not. GetNext/GetPrev walk that order through the links (no cache needed); absolute indexes
// (GetNodeFromIndex, AbsoluteIndex) come from a flat list rebuilt only after the tree's shape changed, so
// walking a tree by index stays linear.
//
// Bulk changes: between BeginUpdate and EndUpdate, nodes appended at the end of a parent's children are
// not announced to the view one by one; the view goes on seeing the tree as it was, and EndUpdate announces
// every parent's new rows at once (a node made inside the update never needs its own announcement). Any
// other change inside an update (a deletion, an insertion before a sibling, a call that hands a node to the
// view such as SetSelected or Expand) announces what is pending first. Text changes inside an update
// repaint once at its end.
//
// Data is a pointer the tree does not own; OnDeletion (through the virtual DoDeletion) runs for every node
// before it goes (Delete, Clear, destruction of the view), parents before children, so that its owner can
// release it.
//
// Drawing: OnCustomDraw runs before the items with a canvas on the view's client area; OnCustomDrawItem
// runs for each item with a canvas whose brush and font are preset (highlight colours for a selected
// item, window colours otherwise) and the item's rect. The handler may change brush and font, or draw the
// item itself and clear DefaultDraw; otherwise the layer fills the rect with the brush and writes the text
// with the font.
#pragma once

#include <QHash>
#include <QIcon>
#include <QList>
#include <QModelIndex>
#include <QTreeView>
#include <memory>
#include <vector>

#include "toolkit/tk_canvas.h"
#include "toolkit/tk_controls.h"

class TTreeView;
class TTreeNodes;
class TTreeModel;

class TTreeNode {
public:
    TTreeNode(const TTreeNode&) = delete;
    TTreeNode& operator=(const TTreeNode&) = delete;

    QString Text() const { return QString::fromUtf16(text_ ? text_ : u"", textLen_); }
    void SetText(const QString& t) { SetText(reinterpret_cast<const char16_t*>(t.utf16()), int(t.size())); }
    // len < 0: up to the terminator. A null text is the empty text.
    void SetText(const char16_t* t, int len);
    // The text without a copy (NUL-terminated, never null), valid until the text changes.
    const char16_t* TextData() const { return text_ ? text_ : u""; }
    int TextLength() const { return textLen_; }
    void* Data() const { return data_; }
    void SetData(void* d) { data_ = d; }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int i);
    int SelectedIndex() const { return selectedIndex_; }
    void SetSelectedIndex(int i);

    // Null for a root.
    TTreeNode* Parent() const;
    // Roots are at level 0.
    int Level() const;
    // Index among its siblings.
    int Index() const { return row_; }
    // Index in the whole tree's node order.
    int AbsoluteIndex() const;
    int Count() const { return kidCount_; }
    bool HasChildren() const { return kidCount_ > 0; }
    TTreeNode* Item(int i) const { return i >= 0 && i < kidCount_ ? kids_[i] : nullptr; }
    TTreeNode* getFirstChild() const { return Item(0); }
    TTreeNode* GetLastChild() const { return Item(kidCount_ - 1); }
    TTreeNode* getNextSibling() const { return parent_ ? parent_->Item(row_ + 1) : nullptr; }
    TTreeNode* getPrevSibling() const { return parent_ ? parent_->Item(row_ - 1) : nullptr; }
    // The next / previous node in node order; null past the ends.
    TTreeNode* GetNext() const;
    TTreeNode* GetPrev() const;
    bool HasAsParent(const TTreeNode* ancestor) const;

    bool Expanded() const;
    void SetExpanded(bool e);
    void Expand(bool recursive);
    void Collapse(bool recursive);
    bool Selected() const;
    void SetSelected(bool s);
    // Expands the parents and scrolls the node into view.
    void MakeVisible();
    // The node's row in the view's client coordinates (text part only when textOnly).
    TRect DisplayRect(bool textOnly) const;
    TTreeView* TreeView() const;
    TTreeNodes* Owner() const;
    // Deletes the node and its subtree (OnDeletion runs for each).
    void Delete();

private:
    friend class TTreeNodes;
    friend class TTreeModel;
    TTreeNode() = default;
    ~TTreeNode();
    void insertKid(int at, TTreeNode* kid);
    void takeKid(int at);

    // 64 bytes a node: the layout is what makes large trees cheap.
    TTreeNode* parent_ = nullptr;  // the hidden root for roots; null for the hidden root (and free nodes)
    TTreeNode** kids_ = nullptr;   // child array (malloc), kidCount_ used of kidCap_
    char16_t* text_ = nullptr;     // malloc, NUL-terminated; null for the empty text
    void* data_ = nullptr;         // the hidden root's is its TTreeNodes
    int kidCount_ = 0;
    int kidCap_ = 0;
    int textLen_ = 0;
    int row_ = 0;        // index among the siblings
    int absIndex_ = -1;  // position in node order, valid while the owner's flat list is clean
    int imageIndex_ = -1;
    int selectedIndex_ = -1;
    unsigned gen_ = 0;  // the update batch that appended it unannounced; 0 once the view knows it
};

class TTreeNodes {
public:
    explicit TTreeNodes(TTreeView* view);
    ~TTreeNodes();
    TTreeNodes(const TTreeNodes&) = delete;
    TTreeNodes& operator=(const TTreeNodes&) = delete;

    // Every node of the tree.
    int Count() const { return count_; }
    int GetCount() const { return count_; }
    // The node at an absolute index in node order; null out of range.
    TTreeNode* GetNodeFromIndex(int i) const;
    TTreeNode* Item(int i) const { return GetNodeFromIndex(i); }
    TTreeNode* GetFirstNode() const { return root_.Item(0); }
    // The roots.
    int RootCount() const { return root_.kidCount_; }
    TTreeNode* Root(int i) const { return root_.Item(i); }

    // A new last child of parent (a new last root when parent is null or belongs to another tree).
    TTreeNode* AddChild(TTreeNode* parent, const QString& text) {
        return AddChildObject(parent, text, nullptr);
    }
    TTreeNode* AddChildObject(TTreeNode* parent, const QString& text, void* data) {
        return AddChildObject(parent, reinterpret_cast<const char16_t*>(text.utf16()), int(text.size()),
                              data);
    }
    // The same from UTF-16 text (len < 0: up to the terminator), without a QString in between.
    TTreeNode* AddChildObject(TTreeNode* parent, const char16_t* text, int len, void* data);
    TTreeNode* AddChildFirst(TTreeNode* parent, const QString& text);
    // A new last sibling of node (a new root when node is null).
    TTreeNode* Add(TTreeNode* sibling, const QString& text) { return AddObject(sibling, text, nullptr); }
    TTreeNode* AddObject(TTreeNode* sibling, const QString& text, void* data);
    // A new node just before node (a new last root when node is null).
    TTreeNode* Insert(TTreeNode* before, const QString& text);

    void Delete(TTreeNode* node);
    void Clear();
    // Nested pairs; see the header comment for what an update batches.
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return updateDepth_ > 0; }

    TTreeView* Owner() const { return view_; }

private:
    friend class TTreeNode;
    friend class TTreeModel;
    friend class TTreeView;
    TTreeNode* make();
    void release(TTreeNode* n);
    bool owns(const TTreeNode* n) const { return n && n->Owner() == this; }
    // Puts a new node at row `at` of parent (at == Count(): appended), announcing it unless batched.
    TTreeNode* place(TTreeNode* parent, int at, const char16_t* text, int len, void* data);
    // Announces every batched append to the view.
    void flush();
    // The view's index of a node, after announcing what is pending (for calls that hand it to the view).
    QModelIndex viewIndex(const TTreeNode* n);
    // The rows of parent the view knows (fewer than it has while appends are batched).
    int announcedCount(const TTreeNode* parent) const;
    void reportDeletion(TTreeNode* n);
    void freeSubtree(TTreeNode* n);
    void rebuild() const;
    void textChanged(TTreeNode* n);

    TTreeView* view_;
    TTreeModel* model_ = nullptr;  // owned by the view (Qt child)
    TTreeNode root_;               // hidden root: its children are the roots
    std::vector<void*> blocks_;    // node storage, kBlockNodes nodes each
    TTreeNode* free_ = nullptr;    // released nodes, linked through parent_
    int blockUsed_ = 0;            // nodes handed out of the last block
    int count_ = 0;
    mutable std::vector<TTreeNode*> flat_;
    mutable bool dirty_ = true;
    int updateDepth_ = 0;
    unsigned gen_ = 1;  // the current update batch
    bool textDirty_ = false;
    QHash<const TTreeNode*, int> pending_;  // parent -> rows the view knows, for batched appends
    std::vector<TTreeNode*> pendingOrder_;  // the same parents in the order they were first appended to
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

class TTreeView : public QTreeView, public TControl {
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

    // Qt side: the model index of a node (invalid for null), and the node behind an index.
    QModelIndex IndexOf(const TTreeNode* node) const;
    TTreeNode* NodeOf(const QModelIndex& index) const;

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
    // Runs for every node about to be deleted; the default fires OnDeletion. A derived view that keeps
    // data per node releases it here (and clears its nodes in its own destructor, while it is whole).
    virtual void DoDeletion(TTreeNode* node);
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    // One node stays selected, as in a native tree: a click on no node, or a Ctrl+click on the selected
    // node, leaves the selection as it is.
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    QWidget* PaintTarget() const override { return viewport(); }

private:
    friend class TTreeNode;
    friend class TTreeNodes;
    friend class TTreeModel;
    friend class TTreeItemDelegate;

    std::unique_ptr<TTreeNodes> items_;
    QList<QIcon> images_;
    TCanvas canvas_;
    bool hideSelection_ = false;
    bool destroying_ = false;
    bool pressed_ = false;
};
