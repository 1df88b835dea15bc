#include "toolkit/tk_tree.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

constexpr int kNodeType = QTreeWidgetItem::UserType + 1;

// The layer's node behind a Qt item; null for items the layer did not make.
TTreeNode* asNode(QTreeWidgetItem* item) {
    return item && item->type() == kNodeType ? static_cast<TTreeNode*>(item) : nullptr;
}

}  // namespace

// Draws each item through OnCustomDrawItem when the view has one, and honours HideSelection.
class TTreeItemDelegate : public QStyledItemDelegate {
public:
    explicit TTreeItemDelegate(TTreeView* view) : QStyledItemDelegate(view), view_(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt(option);
        if (view_->hideSelection_ && !view_->hasFocus()) opt.state &= ~QStyle::State_Selected;
        if (!view_->OnCustomDrawItem) {
            QStyledItemDelegate::paint(painter, opt, index);
            return;
        }
        TTreeNode* node = asNode(view_->itemFromIndex(index));
        const bool selected = (opt.state & QStyle::State_Selected) != 0;
        TCustomDrawState state = 0;
        if (selected) state |= cdsSelected;
        if (opt.state & QStyle::State_HasFocus) state |= cdsFocused;
        if (opt.state & QStyle::State_MouseOver) state |= cdsHot;
        if (!(opt.state & QStyle::State_Enabled)) state |= cdsDisabled;

        TCanvas* c = &view_->canvas_;
        c->Attach(painter);
        painter->save();
        c->Brush->Style = selected ? bsSolid : bsClear;
        c->Brush->Color = selected ? clHighlight : (view_->Color() != clDefault ? view_->Color() : clWindow);
        c->Font->Assign(*view_->Font());
        c->Font->fromQFont(opt.font);
        c->Font->Color = selected ? clHighlightText : view_->Font()->Color;
        c->Pen->Color = c->Font->Color;
        const TRect rect = TRect::fromQRect(opt.rect);
        bool defaultDraw = true;
        view_->OnCustomDrawItem(view_, node, state, rect, defaultDraw);
        if (defaultDraw) {
            if (c->Brush->Style != bsClear) c->FillRect(rect);
            QRect textRect = opt.rect;
            const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
            if (!icon.isNull()) {
                const int side = opt.decorationSize.height() > 0 ? opt.decorationSize.height() : 16;
                const QRect iconRect(opt.rect.left() + 1, opt.rect.top() + (opt.rect.height() - side) / 2, side, side);
                icon.paint(painter, iconRect);
                textRect.setLeft(iconRect.right() + 4);
            } else {
                textRect.setLeft(textRect.left() + 2);
            }
            painter->setFont(c->Font->toQFont());
            painter->setPen(toQColor(c->Font->Color));
            painter->drawText(textRect, int(Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine),
                              index.data(Qt::DisplayRole).toString());
        }
        painter->restore();
        c->Detach();
    }

private:
    TTreeView* view_;
};

// ---- TTreeNode

TTreeNode::~TTreeNode() {
    if (!owner_) return;
    owner_->changed();
    TTreeView* v = owner_->view_;
    if (v->OnDeletion) v->OnDeletion(v, this);
}

void TTreeNode::SetImageIndex(int i) {
    imageIndex_ = i;
    applyIcon();
}

void TTreeNode::SetSelectedIndex(int i) {
    selectedIndex_ = i;
    applyIcon();
}

void TTreeNode::applyIcon() {
    TTreeView* v = TreeView();
    if (!v) return;
    const bool current = v->currentItem() == this;
    const int i = current && selectedIndex_ >= 0 ? selectedIndex_ : imageIndex_;
    if (i >= 0 && i < v->images_.size()) {
        setIcon(0, v->images_[i]);
    } else if (!icon(0).isNull()) {
        setIcon(0, QIcon());
    }
}

TTreeNode* TTreeNode::Parent() const { return asNode(parent()); }

int TTreeNode::Level() const {
    int level = 0;
    for (QTreeWidgetItem* p = parent(); p; p = p->parent()) ++level;
    return level;
}

int TTreeNode::Index() const {
    if (QTreeWidgetItem* p = parent()) return p->indexOfChild(const_cast<TTreeNode*>(this));
    if (QTreeWidget* w = treeWidget()) return w->indexOfTopLevelItem(const_cast<TTreeNode*>(this));
    return -1;
}

int TTreeNode::AbsoluteIndex() const {
    if (!treeWidget()) return -1;
    owner_->rebuild();
    return absIndex_;
}

TTreeNode* TTreeNode::Item(int i) const {
    if (i < 0 || i >= childCount()) return nullptr;
    return asNode(child(i));
}

TTreeNode* TTreeNode::getNextSibling() const {
    if (!treeWidget()) return nullptr;
    // In node order a node's next sibling comes right after its subtree.
    owner_->rebuild();
    TTreeNode* n = owner_->GetNodeFromIndex(subtreeEnd_);
    return n && n->parent() == parent() ? n : nullptr;
}

TTreeNode* TTreeNode::getPrevSibling() const {
    const int i = Index();
    if (i <= 0) return nullptr;
    if (QTreeWidgetItem* p = parent()) return asNode(p->child(i - 1));
    return asNode(treeWidget()->topLevelItem(i - 1));
}

TTreeNode* TTreeNode::GetNext() const {
    if (!treeWidget()) return nullptr;
    owner_->rebuild();
    return owner_->GetNodeFromIndex(absIndex_ + 1);
}

TTreeNode* TTreeNode::GetPrev() const {
    if (!treeWidget()) return nullptr;
    owner_->rebuild();
    return absIndex_ > 0 ? owner_->GetNodeFromIndex(absIndex_ - 1) : nullptr;
}

bool TTreeNode::HasAsParent(const TTreeNode* ancestor) const {
    if (!ancestor) return false;
    for (QTreeWidgetItem* p = parent(); p; p = p->parent()) {
        if (p == ancestor) return true;
    }
    return false;
}

void TTreeNode::Expand(bool recursive) {
    setExpanded(true);
    if (!recursive) return;
    for (int i = 0; i < childCount(); ++i) {
        if (TTreeNode* c = Item(i)) c->Expand(true);
    }
}

void TTreeNode::Collapse(bool recursive) {
    setExpanded(false);
    if (!recursive) return;
    for (int i = 0; i < childCount(); ++i) {
        if (TTreeNode* c = Item(i)) c->Collapse(true);
    }
}

void TTreeNode::SetSelected(bool s) {
    TTreeView* v = TreeView();
    if (!v || !treeWidget()) return;
    if (s) {
        v->SetSelected(this);
    } else {
        setSelected(false);
    }
}

void TTreeNode::MakeVisible() {
    for (QTreeWidgetItem* p = parent(); p; p = p->parent()) p->setExpanded(true);
    if (QTreeWidget* w = treeWidget()) w->scrollToItem(this);
}

TRect TTreeNode::DisplayRect(bool textOnly) const {
    QTreeWidget* w = treeWidget();
    if (!w) return TRect();
    QRect r = w->visualItemRect(this);
    if (!textOnly) {
        r.setLeft(0);
        r.setRight(w->viewport()->width() - 1);
    }
    return TRect::fromQRect(r);
}

TTreeView* TTreeNode::TreeView() const { return owner_ ? owner_->view_ : nullptr; }

void TTreeNode::Delete() { delete this; }

// ---- TTreeNodes

void TTreeNodes::rebuild() const {
    if (!dirty_) return;
    flat_.clear();
    // Iterative pre-order walk; each node's subtree end is known once its last descendant was placed.
    struct Frame {
        QTreeWidgetItem* item;
        int next;
    };
    std::vector<Frame> stack;
    QTreeWidgetItem* root = view_->invisibleRootItem();
    stack.push_back({root, 0});
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next < f.item->childCount()) {
            QTreeWidgetItem* c = f.item->child(f.next++);
            if (TTreeNode* n = asNode(c)) {
                n->absIndex_ = int(flat_.size());
                flat_.push_back(n);
            }
            stack.push_back({c, 0});
        } else {
            if (TTreeNode* n = asNode(f.item)) n->subtreeEnd_ = int(flat_.size());
            stack.pop_back();
        }
    }
    dirty_ = false;
}

int TTreeNodes::Count() const {
    rebuild();
    return int(flat_.size());
}

TTreeNode* TTreeNodes::GetNodeFromIndex(int i) const {
    rebuild();
    if (i < 0 || i >= int(flat_.size())) return nullptr;
    return flat_[size_t(i)];
}

TTreeNode* TTreeNodes::GetFirstNode() const { return asNode(view_->topLevelItem(0)); }

TTreeNode* TTreeNodes::make(const QString& text, void* data) {
    auto* n = new TTreeNode(const_cast<TTreeNodes*>(this));
    n->setText(0, text);
    n->data_ = data;
    n->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return n;
}

TTreeNode* TTreeNodes::AddChildObject(TTreeNode* parent, const QString& text, void* data) {
    TTreeNode* n = make(text, data);
    if (parent && parent->treeWidget() == view_) {
        parent->addChild(n);
    } else {
        view_->addTopLevelItem(n);
    }
    changed();
    return n;
}

TTreeNode* TTreeNodes::AddChildFirst(TTreeNode* parent, const QString& text) {
    TTreeNode* n = make(text, nullptr);
    if (parent && parent->treeWidget() == view_) {
        parent->insertChild(0, n);
    } else {
        view_->insertTopLevelItem(0, n);
    }
    changed();
    return n;
}

TTreeNode* TTreeNodes::AddObject(TTreeNode* sibling, const QString& text, void* data) {
    return AddChildObject(sibling ? sibling->Parent() : nullptr, text, data);
}

TTreeNode* TTreeNodes::Insert(TTreeNode* before, const QString& text) {
    if (!before || before->treeWidget() != view_) return AddChildObject(nullptr, text, nullptr);
    TTreeNode* n = make(text, nullptr);
    const int i = before->Index();
    if (QTreeWidgetItem* p = before->parent()) {
        p->insertChild(i, n);
    } else {
        view_->insertTopLevelItem(i, n);
    }
    changed();
    return n;
}

void TTreeNodes::Delete(TTreeNode* node) {
    if (node && node->owner_ == this) delete node;
}

void TTreeNodes::Clear() {
    BeginUpdate();
    view_->setCurrentItem(nullptr);
    const QList<QTreeWidgetItem*> tops = view_->invisibleRootItem()->takeChildren();
    changed();
    qDeleteAll(tops);
    EndUpdate();
}

void TTreeNodes::BeginUpdate() {
    if (updateDepth_++ == 0) view_->setUpdatesEnabled(false);
}

void TTreeNodes::EndUpdate() {
    if (updateDepth_ == 0) return;
    if (--updateDepth_ == 0) view_->setUpdatesEnabled(true);
}

// ---- TTreeView

TTreeView::TTreeView(QWidget* parent)
    : QTreeWidget(parent), TControl(this), items_(std::make_unique<TTreeNodes>(this)) {
    setColumnCount(1);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    setItemDelegate(new TTreeItemDelegate(this));
    HookChild(viewport());
    QAbstractItemModel* m = model();
    auto dirty = [this]() { items_->changed(); };
    connect(m, &QAbstractItemModel::rowsInserted, this, dirty);
    connect(m, &QAbstractItemModel::rowsRemoved, this, dirty);
    connect(m, &QAbstractItemModel::rowsMoved, this, dirty);
    connect(m, &QAbstractItemModel::modelReset, this, dirty);
    connect(m, &QAbstractItemModel::layoutChanged, this, dirty);
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* cur, QTreeWidgetItem* prev) {
        if (TTreeNode* p = asNode(prev)) p->applyIcon();
        if (TTreeNode* c = asNode(cur)) c->applyIcon();
        if (!destroying_ && OnChange) OnChange(this, asNode(cur));
    });
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* it) {
        if (OnExpanded) OnExpanded(this, asNode(it));
    });
    connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* it) {
        if (OnCollapsed) OnCollapsed(this, asNode(it));
    });
}

TTreeView::~TTreeView() {
    // Nodes go while the view is whole, so OnDeletion handlers still see a working tree.
    destroying_ = true;
    items_->Clear();
    // Qt's own destructors still emit signals; none may reach this half-destroyed view.
    disconnect(model(), nullptr, this, nullptr);
    disconnect(this, nullptr, this, nullptr);
}

TTreeNode* TTreeView::Selected() const {
    QTreeWidgetItem* cur = currentItem();
    return cur && cur->isSelected() ? asNode(cur) : nullptr;
}

void TTreeView::SetSelected(TTreeNode* node) {
    if (!node) {
        clearSelection();
        setCurrentItem(nullptr);
        return;
    }
    if (node->treeWidget() != this) return;
    setCurrentItem(node);
    node->setSelected(true);
}

TTreeNode* TTreeView::TopItem() const { return asNode(itemAt(0, 0)); }

TTreeNode* TTreeView::GetNodeAt(int x, int y) const { return asNode(itemAt(x, y)); }

void TTreeView::FullExpand() { expandAll(); }
void TTreeView::FullCollapse() { collapseAll(); }

void TTreeView::SetImages(const QList<QIcon>& images) {
    images_ = images;
    for (int i = 0; i < items_->Count(); ++i) items_->GetNodeFromIndex(i)->applyIcon();
}

void TTreeView::SetHideSelection(bool on) {
    hideSelection_ = on;
    viewport()->update();
}

void TTreeView::paintEvent(QPaintEvent* e) {
    if (OnCustomDraw) {
        bool defaultDraw = true;
        {
            QPainter p(viewport());
            canvas_.Attach(&p);
            canvas_.Brush->Style = bsSolid;
            canvas_.Brush->Color = Color() != clDefault ? Color() : clWindow;
            OnCustomDraw(this, ClientRect(), defaultDraw);
            canvas_.Detach();
        }
        if (!defaultDraw) return;
    }
    QTreeWidget::paintEvent(e);
}

void TTreeView::keyPressEvent(QKeyEvent* e) {
    if (RunKeyHandlers(this, e, OnKeyDown, OnKeyPress, nullptr)) {
        e->accept();
        return;
    }
    QTreeWidget::keyPressEvent(e);
}

void TTreeView::mousePressEvent(QMouseEvent* e) {
    pressed_ = e->button() == Qt::LeftButton;
    QTreeWidget::mousePressEvent(e);
    if (OnMouseDown) {
        const QPoint p = e->position().toPoint();
        OnMouseDown(this, buttonFromQt(e->button()), shiftFromQt(e->modifiers(), e->buttons()), p.x(), p.y());
    }
}

void TTreeView::mouseReleaseEvent(QMouseEvent* e) {
    const bool click = pressed_ && e->button() == Qt::LeftButton;
    pressed_ = false;
    QTreeWidget::mouseReleaseEvent(e);
    if (click && OnClick) OnClick(this);
}

void TTreeView::mouseDoubleClickEvent(QMouseEvent* e) {
    QTreeWidget::mouseDoubleClickEvent(e);
    if (OnDblClick) OnDblClick(this);
}
