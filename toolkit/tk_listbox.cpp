#include "toolkit/tk_listbox.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>
#include <vector>

namespace {

constexpr int kObjectRole = Qt::UserRole + 1;

struct Quiet {
    explicit Quiet(int& n) : n_(n) { ++n_; }
    ~Quiet() { --n_; }
    int& n_;
};

}  // namespace

// The lines of a TListBox as TStrings; every change goes straight to the QListWidget.
class TListBoxStrings : public TStrings {
public:
    explicit TListBoxStrings(TListBox* box) : box_(box) {}

    int Count() const override { return box_->count(); }
    QString Strings(int i) const override {
        const QListWidgetItem* it = box_->item(i);
        return it ? it->text() : QString();
    }
    void SetStrings(int i, const QString& s) override {
        if (QListWidgetItem* it = box_->item(i)) it->setText(s);
    }
    void* Objects(int i) const override {
        const QListWidgetItem* it = box_->item(i);
        return it ? reinterpret_cast<void*>(it->data(kObjectRole).value<quintptr>()) : nullptr;
    }
    void SetObjects(int i, void* obj) override {
        if (QListWidgetItem* it = box_->item(i)) it->setData(kObjectRole, QVariant::fromValue(quintptr(obj)));
    }
    void Clear() override {
        Quiet q(box_->programmatic_);
        box_->clear();
    }
    void Insert(int i, const QString& s) override {
        if (i < 0 || i > Count()) return;
        Quiet q(box_->programmatic_);
        box_->insertItem(i, s);
    }
    void Delete(int i) override {
        if (i < 0 || i >= Count()) return;
        Quiet q(box_->programmatic_);
        delete box_->takeItem(i);
    }
    int Add(const QString& s) override {
        return box_->sorted_ ? InsertSortedCaseless(s) : TStrings::Add(s);
    }
    void BeginUpdate() override {
        if (updateCount_++ == 0) box_->setUpdatesEnabled(false);
    }
    void EndUpdate() override {
        if (updateCount_ == 0) return;
        if (--updateCount_ == 0) box_->setUpdatesEnabled(true);
    }

private:
    TListBox* box_;
};

TListBox::TListBox(QWidget* parent)
    : QListWidget(parent), TControl(this), items_(std::make_unique<TListBoxStrings>(this)) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    SetColor(clWindow);  // not the parent panel's face colour, which Qt would hand down
    HookChild(viewport());
    connect(this, &QListWidget::currentRowChanged, this, [this]() {
        if (programmatic_ == 0 && OnClick) OnClick(this);
    });
}

TListBox::~TListBox() {
    // Qt's own destructors still emit signals; none may reach this half-destroyed box.
    disconnect(this, nullptr, this, nullptr);
}

void TListBox::SetItemIndex(int i) {
    Quiet q(programmatic_);
    if (i < 0 || i >= count()) {
        clearSelection();
        setCurrentRow(-1);
        return;
    }
    setCurrentRow(i);
    scrollToItem(item(i));
}

int TListBox::TopIndex() const {
    QListWidgetItem* it = itemAt(2, 2);
    return it ? row(it) : (count() > 0 ? 0 : -1);
}

void TListBox::SetTopIndex(int i) {
    if (QListWidgetItem* it = item(i)) scrollToItem(it, QAbstractItemView::PositionAtTop);
}

void TListBox::SetSorted(bool on) {
    sorted_ = on;
    if (!on || count() < 2) return;
    // The same case-insensitive, stable order that Add keeps.
    struct Line {
        QString text;
        void* obj;
    };
    std::vector<Line> lines;
    lines.reserve(size_t(count()));
    for (int i = 0; i < count(); ++i) lines.push_back({items_->Strings(i), items_->Objects(i)});
    std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
        return QString::compare(a.text, b.text, Qt::CaseInsensitive) < 0;
    });
    Quiet q(programmatic_);
    items_->BeginUpdate();
    for (int i = 0; i < int(lines.size()); ++i) {
        items_->SetStrings(i, lines[size_t(i)].text);
        items_->SetObjects(i, lines[size_t(i)].obj);
    }
    items_->EndUpdate();
}

void TListBox::Clear() { items_->Clear(); }

int TListBox::ItemAtPos(const TPoint& p, bool existing) const {
    if (QListWidgetItem* it = itemAt(p.toQPoint())) return row(it);
    return existing ? -1 : count();
}

TRect TListBox::ItemRect(int i) const {
    QListWidgetItem* it = item(i);
    return it ? TRect::fromQRect(visualItemRect(it)) : TRect();
}

void TListBox::keyPressEvent(QKeyEvent* e) {
    if (RunKeyHandlers(this, e, OnKeyDown, OnKeyPress, nullptr)) {
        e->accept();
        return;
    }
    QListWidget::keyPressEvent(e);
}

void TListBox::keyReleaseEvent(QKeyEvent* e) {
    if (RunKeyUpHandler(this, e, OnKeyUp)) {
        e->accept();
        return;
    }
    QListWidget::keyReleaseEvent(e);
}

void TListBox::mousePressEvent(QMouseEvent* e) {
    // The press selects first, so OnMouseDown sees the line under the mouse as ItemIndex.
    QListWidget::mousePressEvent(e);
    if (OnMouseDown) {
        const QPoint p = e->position().toPoint();
        OnMouseDown(this, buttonFromQt(e->button()), shiftFromQt(e->modifiers(), e->buttons()), p.x(), p.y());
    }
}

void TListBox::mouseDoubleClickEvent(QMouseEvent* e) {
    QListWidget::mouseDoubleClickEvent(e);
    if (OnDblClick) OnDblClick(this);
}

void TListBox::focusInEvent(QFocusEvent* e) {
    QListWidget::focusInEvent(e);
    if (OnEnter && IsControlFocusReason(e->reason())) OnEnter(this);
}

void TListBox::focusOutEvent(QFocusEvent* e) {
    QListWidget::focusOutEvent(e);
    if (OnExit && IsControlFocusReason(e->reason())) OnExit(this);
}
