#include "toolkit/tk_tree.h"

#include <QAbstractItemModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr int kBlockNodes = 1024;

void* checkedRealloc(void* p, size_t bytes) {
    void* q = std::realloc(p, bytes);
    if (!q) throw std::bad_alloc();
    return q;
}

}  // namespace

// The view's model: rows are the nodes the view has been told about (see TTreeNodes' batching), the
// internal pointer of an index is its node.
class TTreeModel : public QAbstractItemModel {
public:
    TTreeModel(TTreeView* view, TTreeNodes* nodes) : QAbstractItemModel(view), view_(view), nodes_(nodes) {}

    TTreeNode* nodeOf(const QModelIndex& i) const {
        return i.isValid() ? static_cast<TTreeNode*>(i.internalPointer()) : &nodes_->root_;
    }
    QModelIndex indexOf(const TTreeNode* n) const {
        if (!n || n == &nodes_->root_) return QModelIndex();
        return createIndex(n->row_, 0, const_cast<TTreeNode*>(n));
    }

    QModelIndex index(int row, int column, const QModelIndex& parent) const override {
        const TTreeNode* p = nodeOf(parent);
        if (column != 0 || row < 0 || row >= nodes_->announcedCount(p)) return QModelIndex();
        return createIndex(row, 0, p->kids_[row]);
    }
    QModelIndex parent(const QModelIndex& child) const override {
        if (!child.isValid()) return QModelIndex();
        return indexOf(nodeOf(child)->parent_);
    }
    int rowCount(const QModelIndex& parent) const override {
        if (parent.isValid() && parent.column() != 0) return 0;
        return nodes_->announcedCount(nodeOf(parent));
    }
    int columnCount(const QModelIndex&) const override { return 1; }
    bool hasChildren(const QModelIndex& parent) const override { return rowCount(parent) > 0; }
    Qt::ItemFlags flags(const QModelIndex& i) const override {
        return i.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
    }
    QVariant data(const QModelIndex& i, int role) const override {
        if (!i.isValid()) return QVariant();
        const TTreeNode* n = nodeOf(i);
        if (role == Qt::DisplayRole || role == Qt::EditRole) return n->Text();
        if (role == Qt::DecorationRole) {
            const bool current = view_->currentIndex() == i;
            const int k = current && n->selectedIndex_ >= 0 ? n->selectedIndex_ : n->imageIndex_;
            if (k >= 0 && k < view_->images_.size()) return view_->images_[k];
        }
        return QVariant();
    }

    // Announces rows first..last of parent (already in the tree) to the view.
    void announce(const TTreeNode* parent, int first, int last) {
        beginInsertRows(indexOf(parent), first, last);
        nodes_->pending_.remove(parent);
        endInsertRows();
    }
    void changed(const TTreeNode* n) {
        const QModelIndex i = indexOf(n);
        emit dataChanged(i, i);
    }

    using QAbstractItemModel::beginInsertRows;
    using QAbstractItemModel::beginRemoveRows;
    using QAbstractItemModel::beginResetModel;
    using QAbstractItemModel::endInsertRows;
    using QAbstractItemModel::endRemoveRows;
    using QAbstractItemModel::endResetModel;

private:
    TTreeView* view_;
    TTreeNodes* nodes_;
};

// Draws each item through OnCustomDrawItem when the view has one, and honours HideSelection.
class TTreeItemDelegate : public QStyledItemDelegate {
public:
    explicit TTreeItemDelegate(TTreeView* view) : QStyledItemDelegate(view), view_(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt(option);
        if (view_->hideSelection_ && !view_->hasFocus()) opt.state &= ~QStyle::State_Selected;
        if (!view_->OnCustomDrawItem) {
            QStyledItemDelegate::paint(painter, opt, index);
            return;
        }
        TTreeNode* node = view_->NodeOf(index);
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
                const QRect iconRect(opt.rect.left() + 1, opt.rect.top() + (opt.rect.height() - side) / 2,
                                     side, side);
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
    std::free(kids_);
    std::free(text_);
}

void TTreeNode::SetText(const char16_t* t, int len) {
    if (!t) len = 0;
    if (len < 0) len = int(std::char_traits<char16_t>::length(t));
    if (len == 0) {
        std::free(text_);
        text_ = nullptr;
    } else {
        if (len != textLen_ || !text_)
            text_ = static_cast<char16_t*>(checkedRealloc(text_, size_t(len + 1) * 2));
        std::memcpy(text_, t, size_t(len) * 2);
        text_[len] = 0;
    }
    textLen_ = len;
    if (TTreeNodes* o = Owner()) o->textChanged(this);
}

void TTreeNode::SetImageIndex(int i) {
    imageIndex_ = i;
    if (TTreeNodes* o = Owner()) o->textChanged(this);
}

void TTreeNode::SetSelectedIndex(int i) {
    selectedIndex_ = i;
    if (TTreeNodes* o = Owner()) o->textChanged(this);
}

void TTreeNode::insertKid(int at, TTreeNode* kid) {
    if (kidCount_ == kidCap_) {
        const int cap = kidCap_ < 4 ? 4 : kidCap_ * 2;
        kids_ = static_cast<TTreeNode**>(checkedRealloc(kids_, size_t(cap) * sizeof(TTreeNode*)));
        kidCap_ = cap;
    }
    if (at < kidCount_) std::memmove(kids_ + at + 1, kids_ + at, size_t(kidCount_ - at) * sizeof(TTreeNode*));
    kids_[at] = kid;
    ++kidCount_;
    kid->parent_ = this;
    for (int i = at; i < kidCount_; ++i) kids_[i]->row_ = i;
}

void TTreeNode::takeKid(int at) {
    std::memmove(kids_ + at, kids_ + at + 1, size_t(kidCount_ - at - 1) * sizeof(TTreeNode*));
    --kidCount_;
    for (int i = at; i < kidCount_; ++i) kids_[i]->row_ = i;
}

TTreeNode* TTreeNode::Parent() const {
    return parent_ && parent_->parent_ ? parent_ : nullptr;
}

int TTreeNode::Level() const {
    int level = 0;
    for (const TTreeNode* p = Parent(); p; p = p->Parent()) ++level;
    return level;
}

TTreeNodes* TTreeNode::Owner() const {
    const TTreeNode* n = this;
    while (n->parent_) n = n->parent_;
    return static_cast<TTreeNodes*>(n->data_);
}

int TTreeNode::AbsoluteIndex() const {
    TTreeNodes* o = Owner();
    if (!o) return -1;
    o->rebuild();
    return absIndex_;
}

TTreeNode* TTreeNode::GetNext() const {
    if (kidCount_ > 0) return kids_[0];
    for (const TTreeNode* n = this; n->parent_; n = n->parent_) {
        if (n->row_ + 1 < n->parent_->kidCount_) return n->parent_->kids_[n->row_ + 1];
    }
    return nullptr;
}

TTreeNode* TTreeNode::GetPrev() const {
    if (!parent_) return nullptr;
    if (row_ == 0) return Parent();
    TTreeNode* p = parent_->kids_[row_ - 1];
    while (p->kidCount_ > 0) p = p->kids_[p->kidCount_ - 1];
    return p;
}

bool TTreeNode::HasAsParent(const TTreeNode* ancestor) const {
    if (!ancestor) return false;
    for (const TTreeNode* p = Parent(); p; p = p->Parent()) {
        if (p == ancestor) return true;
    }
    return false;
}

bool TTreeNode::Expanded() const {
    TTreeNodes* o = Owner();
    return o && o->view_->isExpanded(o->viewIndex(this));
}

void TTreeNode::SetExpanded(bool e) {
    if (TTreeNodes* o = Owner()) o->view_->setExpanded(o->viewIndex(this), e);
}

void TTreeNode::Expand(bool recursive) {
    TTreeNodes* o = Owner();
    if (!o) return;
    const QModelIndex i = o->viewIndex(this);
    if (recursive) {
        o->view_->expandRecursively(i);
    } else {
        o->view_->expand(i);
    }
}

void TTreeNode::Collapse(bool recursive) {
    TTreeNodes* o = Owner();
    if (!o) return;
    TTreeView* v = o->view_;
    v->collapse(o->viewIndex(this));
    if (!recursive) return;
    // Only expanded nodes can hold expanded descendants worth collapsing.
    for (TTreeNode* n = GetNext(); n && n->HasAsParent(this); n = n->GetNext()) {
        if (n->kidCount_ == 0) continue;
        const QModelIndex i = o->viewIndex(n);
        if (v->isExpanded(i)) v->collapse(i);
    }
}

bool TTreeNode::Selected() const {
    TTreeNodes* o = Owner();
    return o && o->view_->selectionModel()->isSelected(o->viewIndex(this));
}

void TTreeNode::SetSelected(bool s) {
    TTreeNodes* o = Owner();
    if (!o) return;
    if (s) {
        o->view_->SetSelected(this);
    } else {
        o->view_->selectionModel()->select(o->viewIndex(this), QItemSelectionModel::Deselect);
    }
}

void TTreeNode::MakeVisible() {
    TTreeNodes* o = Owner();
    if (!o) return;
    for (TTreeNode* p = Parent(); p; p = p->Parent()) o->view_->expand(o->viewIndex(p));
    o->view_->scrollTo(o->viewIndex(this));
}

TRect TTreeNode::DisplayRect(bool textOnly) const {
    TTreeNodes* o = Owner();
    if (!o) return TRect();
    QRect r = o->view_->visualRect(o->viewIndex(this));
    if (r.isEmpty()) return TRect();
    if (!textOnly) {
        r.setLeft(0);
        r.setRight(o->view_->viewport()->width() - 1);
    }
    return TRect::fromQRect(r);
}

TTreeView* TTreeNode::TreeView() const {
    TTreeNodes* o = Owner();
    return o ? o->view_ : nullptr;
}

void TTreeNode::Delete() {
    if (TTreeNodes* o = Owner()) o->Delete(this);
}

// ---- TTreeNodes

TTreeNodes::TTreeNodes(TTreeView* view) : view_(view) {
    root_.data_ = this;
}

TTreeNodes::~TTreeNodes() {
    // The view clears the nodes first; what is left here is storage.
    for (void* b : blocks_) ::operator delete(b);
}

TTreeNode* TTreeNodes::make() {
    void* at;
    if (free_) {
        at = free_;
        free_ = free_->parent_;
    } else {
        if (blocks_.empty() || blockUsed_ == kBlockNodes) {
            blocks_.push_back(::operator new(sizeof(TTreeNode) * kBlockNodes));
            blockUsed_ = 0;
        }
        at = static_cast<TTreeNode*>(blocks_.back()) + blockUsed_++;
    }
    return new (at) TTreeNode();
}

void TTreeNodes::release(TTreeNode* n) {
    n->~TTreeNode();
    // The slot joins the free list, linked through parent_ (a free slot is never read as a node).
    auto* slot = new (n) TTreeNode();
    slot->parent_ = free_;
    free_ = slot;
}

int TTreeNodes::announcedCount(const TTreeNode* parent) const {
    if (!pending_.isEmpty()) {
        auto it = pending_.constFind(parent);
        if (it != pending_.constEnd()) return it.value();
    }
    return parent->kidCount_;
}

TTreeNode* TTreeNodes::place(TTreeNode* parent, int at, const char16_t* text, int len, void* data) {
    TTreeNode* n = make();
    n->data_ = data;
    if (text && len != 0) {
        if (len < 0) len = int(std::char_traits<char16_t>::length(text));
        n->text_ = static_cast<char16_t*>(checkedRealloc(nullptr, size_t(len + 1) * 2));
        std::memcpy(n->text_, text, size_t(len) * 2);
        n->text_[len] = 0;
        n->textLen_ = len;
    }
    const bool append = at == parent->kidCount_;
    if (updateDepth_ > 0 && append) {
        // Batched: the view learns of it at EndUpdate, with its parent's other new rows, or with the
        // parent itself when the parent is new in this batch too.
        const bool parentNew = parent->gen_ == gen_;
        if (!parentNew && !pending_.contains(parent)) {
            pending_.insert(parent, parent->kidCount_);
            pendingOrder_.push_back(parent);
        }
        n->gen_ = gen_;
        parent->insertKid(at, n);
    } else {
        flush();
        model_->beginInsertRows(model_->indexOf(parent), at, at);
        parent->insertKid(at, n);
        model_->endInsertRows();
    }
    ++count_;
    dirty_ = true;
    return n;
}

void TTreeNodes::flush() {
    if (pendingOrder_.empty()) return;
    std::vector<TTreeNode*> order;
    order.swap(pendingOrder_);
    for (TTreeNode* p : order) {
        auto it = pending_.constFind(p);
        if (it == pending_.constEnd()) continue;
        const int first = it.value();
        if (first < p->kidCount_) {
            model_->announce(p, first, p->kidCount_ - 1);
        } else {
            pending_.remove(p);
        }
    }
    pending_.clear();
    ++gen_;  // everything made so far is known to the view now
}

QModelIndex TTreeNodes::viewIndex(const TTreeNode* n) {
    flush();
    return model_->indexOf(n);
}

void TTreeNodes::textChanged(TTreeNode* n) {
    if (updateDepth_ > 0) {
        textDirty_ = true;
        return;
    }
    model_->changed(n);
}

TTreeNode* TTreeNodes::GetNodeFromIndex(int i) const {
    if (i < 0 || i >= count_) return nullptr;
    rebuild();
    return flat_[size_t(i)];
}

void TTreeNodes::rebuild() const {
    if (!dirty_) return;
    flat_.clear();
    flat_.reserve(size_t(count_));
    for (TTreeNode* n = GetFirstNode(); n; n = n->GetNext()) {
        n->absIndex_ = int(flat_.size());
        flat_.push_back(n);
    }
    dirty_ = false;
}

TTreeNode* TTreeNodes::AddChildObject(TTreeNode* parent, const char16_t* text, int len, void* data) {
    TTreeNode* p = owns(parent) ? parent : &root_;
    return place(p, p->kidCount_, text, len, data);
}

TTreeNode* TTreeNodes::AddChildFirst(TTreeNode* parent, const QString& text) {
    TTreeNode* p = owns(parent) ? parent : &root_;
    return place(p, 0, reinterpret_cast<const char16_t*>(text.utf16()), int(text.size()), nullptr);
}

TTreeNode* TTreeNodes::AddObject(TTreeNode* sibling, const QString& text, void* data) {
    return AddChildObject(owns(sibling) ? sibling->Parent() : nullptr, text, data);
}

TTreeNode* TTreeNodes::Insert(TTreeNode* before, const QString& text) {
    if (!owns(before)) return AddChildObject(nullptr, text, nullptr);
    return place(before->parent_, before->row_, reinterpret_cast<const char16_t*>(text.utf16()),
                 int(text.size()), nullptr);
}

void TTreeNodes::reportDeletion(TTreeNode* n) {
    view_->DoDeletion(n);
    for (int i = 0; i < n->kidCount_; ++i) reportDeletion(n->kids_[i]);
}

void TTreeNodes::freeSubtree(TTreeNode* n) {
    // Iterative, so that a deep chain of nodes cannot exhaust the stack.
    std::vector<TTreeNode*> stack{n};
    while (!stack.empty()) {
        TTreeNode* t = stack.back();
        stack.pop_back();
        for (int i = 0; i < t->kidCount_; ++i) stack.push_back(t->kids_[i]);
        --count_;
        release(t);
    }
}

void TTreeNodes::Delete(TTreeNode* node) {
    if (!owns(node) || node == &root_) return;
    flush();
    reportDeletion(node);
    TTreeNode* p = node->parent_;
    const int row = node->row_;
    model_->beginRemoveRows(model_->indexOf(p), row, row);
    p->takeKid(row);
    dirty_ = true;
    model_->endRemoveRows();
    freeSubtree(node);
}

void TTreeNodes::Clear() {
    pending_.clear();
    pendingOrder_.clear();
    for (int i = 0; i < root_.kidCount_; ++i) reportDeletion(root_.kids_[i]);
    model_->beginResetModel();
    for (int i = 0; i < root_.kidCount_; ++i) freeSubtree(root_.kids_[i]);
    root_.kidCount_ = 0;
    dirty_ = true;
    flat_.clear();
    flat_.shrink_to_fit();
    // An empty tree gives its storage back.
    if (count_ == 0) {
        for (void* b : blocks_) ::operator delete(b);
        blocks_.clear();
        free_ = nullptr;
        blockUsed_ = 0;
    }
    model_->endResetModel();
}

void TTreeNodes::BeginUpdate() {
    if (updateDepth_++ == 0) view_->setUpdatesEnabled(false);
}

void TTreeNodes::EndUpdate() {
    if (updateDepth_ == 0) return;
    if (--updateDepth_ > 0) return;
    flush();
    view_->setUpdatesEnabled(true);
    if (textDirty_) {
        textDirty_ = false;
        view_->viewport()->update();
    }
}

// ---- TTreeView

TTreeView::TTreeView(QWidget* parent)
    : QTreeView(parent), TControl(this), items_(std::make_unique<TTreeNodes>(this)) {
    items_->model_ = new TTreeModel(this, items_.get());
    setModel(items_->model_);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    setItemDelegate(new TTreeItemDelegate(this));
    HookChild(viewport());
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& i) {
        if (OnExpanded) OnExpanded(this, NodeOf(i));
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& i) {
        if (OnCollapsed) OnCollapsed(this, NodeOf(i));
    });
}

TTreeView::~TTreeView() {
    // Nodes go while the view is whole, so OnDeletion handlers still see a working tree.
    destroying_ = true;
    items_->Clear();
    // Qt's own destructors still emit signals; none may reach this half-destroyed view. The model goes
    // before the nodes it reads.
    disconnect(this, nullptr, this, nullptr);
    setModel(nullptr);
    delete items_->model_;
    items_->model_ = nullptr;
}

void TTreeView::DoDeletion(TTreeNode* node) {
    if (OnDeletion) OnDeletion(this, node);
}

QModelIndex TTreeView::IndexOf(const TTreeNode* node) const {
    if (!node || node->Owner() != items_.get()) return QModelIndex();
    return items_->viewIndex(node);
}

TTreeNode* TTreeView::NodeOf(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != items_->model_) return nullptr;
    return static_cast<TTreeNode*>(index.internalPointer());
}

void TTreeView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    if (destroying_) return;
    // The icon of a node may differ while it is current.
    if (!images_.isEmpty()) {
        if (previous.isValid()) items_->model_->changed(NodeOf(previous));
        if (current.isValid()) items_->model_->changed(NodeOf(current));
    }
    // A click makes the node current before Qt selects it: select it now, so that OnChange reads it as
    // Selected().
    if (current.isValid() && selectionMode() == SingleSelection && !selectionModel()->isSelected(current))
        selectionModel()->select(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (OnChange) OnChange(this, NodeOf(current));
}

QItemSelectionModel::SelectionFlags TTreeView::selectionCommand(const QModelIndex& index,
                                                                const QEvent* event) const {
    const QItemSelectionModel::SelectionFlags command = QTreeView::selectionCommand(index, event);
    if (selectionMode() == SingleSelection && (!index.isValid() || (command & QItemSelectionModel::Deselect)))
        return QItemSelectionModel::NoUpdate;
    return command;
}

TTreeNode* TTreeView::Selected() const {
    const QModelIndex cur = currentIndex();
    return cur.isValid() && selectionModel()->isSelected(cur) ? NodeOf(cur) : nullptr;
}

void TTreeView::SetSelected(TTreeNode* node) {
    if (!node) {
        selectionModel()->clearSelection();
        setCurrentIndex(QModelIndex());
        return;
    }
    const QModelIndex i = IndexOf(node);
    if (!i.isValid()) return;
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
}

TTreeNode* TTreeView::TopItem() const {
    return NodeOf(indexAt(QPoint(1, 1)));
}

TTreeNode* TTreeView::GetNodeAt(int x, int y) const {
    return NodeOf(indexAt(QPoint(x, y)));
}

void TTreeView::FullExpand() {
    items_->flush();
    expandAll();
}

void TTreeView::FullCollapse() {
    collapseAll();
}

void TTreeView::SetImages(const QList<QIcon>& images) {
    images_ = images;
    viewport()->update();
}

void TTreeView::SetHideSelection(bool on) {
    if (hideSelection_ == on) return;
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
    QTreeView::paintEvent(e);
}

void TTreeView::keyPressEvent(QKeyEvent* e) {
    if (RunKeyHandlers(this, e, OnKeyDown, OnKeyPress, nullptr)) {
        e->accept();
        return;
    }
    QTreeView::keyPressEvent(e);
}

void TTreeView::mousePressEvent(QMouseEvent* e) {
    pressed_ = e->button() == Qt::LeftButton;
    QTreeView::mousePressEvent(e);
    if (OnMouseDown) {
        const QPoint p = e->position().toPoint();
        OnMouseDown(this, buttonFromQt(e->button()), shiftFromQt(e->modifiers(), e->buttons()), p.x(), p.y());
    }
}

void TTreeView::mouseReleaseEvent(QMouseEvent* e) {
    const bool click = pressed_ && e->button() == Qt::LeftButton;
    pressed_ = false;
    QTreeView::mouseReleaseEvent(e);
    if (click && OnClick) OnClick(this);
}

void TTreeView::mouseDoubleClickEvent(QMouseEvent* e) {
    QTreeView::mouseDoubleClickEvent(e);
    if (OnDblClick) OnDblClick(this);
}
