#include "toolkit/tk_combo.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QWheelEvent>
#include <algorithm>
#include <vector>

namespace {
constexpr int kObjectRole = Qt::UserRole + 1;
}  // namespace

// The entries of a TComboBox as TStrings. Qt selects the first entry put into an empty box; the toolkit
// does not, so inserting keeps a missing choice missing (and the typed text with it).
class TComboStrings : public TStrings {
public:
    explicit TComboStrings(TComboBox* box) : box_(box) {}

    int Count() const override { return box_->count(); }
    QString Strings(int i) const override {
        return i >= 0 && i < Count() ? box_->itemText(i) : QString();
    }
    void SetStrings(int i, const QString& s) override {
        if (i >= 0 && i < Count()) box_->setItemText(i, s);
    }
    void* Objects(int i) const override {
        if (i < 0 || i >= Count()) return nullptr;
        return reinterpret_cast<void*>(box_->itemData(i, kObjectRole).value<quintptr>());
    }
    void SetObjects(int i, void* obj) override {
        if (i >= 0 && i < Count()) box_->setItemData(i, QVariant::fromValue(quintptr(obj)), kObjectRole);
    }
    void Clear() override {
        box_->clear();
        if (box_->isEditable()) box_->clearEditText();
    }
    void Insert(int i, const QString& s) override {
        if (i < 0 || i > Count()) return;
        const int old = box_->currentIndex();
        const QString text = box_->isEditable() ? box_->currentText() : QString();
        box_->insertItem(i, s);
        if (old == -1 && box_->currentIndex() != -1) keepNoChoice(text);
    }
    void Delete(int i) override {
        if (i < 0 || i >= Count()) return;
        const int old = box_->currentIndex();
        const QString text = box_->isEditable() ? box_->currentText() : QString();
        box_->removeItem(i);
        // Deleting the chosen entry leaves no choice, not a neighbour chosen.
        if (old == i && box_->currentIndex() != -1) keepNoChoice(text);
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
    void keepNoChoice(const QString& text) {
        box_->setCurrentIndex(-1);
        if (box_->isEditable()) box_->setEditText(text);
    }

    TComboBox* box_;
};

TComboBox::TComboBox(QWidget* parent)
    : QComboBox(parent), TControl(this), items_(std::make_unique<TComboStrings>(this)) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(8);
    attachEditor();
    connect(this, QOverload<int>::of(&QComboBox::activated), this, [this]() {
        if (OnClick) OnClick(this);
        if (OnSelect) {
            OnSelect(this);
        } else if (OnChange) {
            OnChange(this);
        }
    });
}

TComboBox::~TComboBox() {
    // Qt's own destructors still emit signals; none may reach this half-destroyed box.
    disconnect(this, nullptr, this, nullptr);
    if (QLineEdit* le = lineEdit()) disconnect(le, nullptr, this, nullptr);
}

void TComboBox::attachEditor() {
    QLineEdit* le = lineEdit();
    if (!le) return;
    // The controls do their own searching; Qt's inline completion would rewrite what the user types.
    setCompleter(nullptr);
    HookChild(le);
    le->installEventFilter(this);
    le->setMaxLength(maxLength_ == 0 ? 32767 : maxLength_);
    connect(le, &QLineEdit::textEdited, this, [this](const QString& t) {
        dropStaleChoice(t);
        if (OnChange) OnChange(this);
    });
}

void TComboBox::dropStaleChoice(const QString& text) {
    const int i = currentIndex();
    if (i < 0 || itemText(i) == text) return;
    // Only the entry's signals are kept quiet; the editor keeps the text (and the caret) it has.
    QLineEdit* le = lineEdit();
    const int caret = le ? le->cursorPosition() : 0;
    const QSignalBlocker block(this);
    setCurrentIndex(-1);
    if (le) {
        le->setText(text);
        le->setCursorPosition(caret);
    }
}

void TComboBox::SetItemIndex(int i) {
    if (i < 0 || i >= count()) {
        setCurrentIndex(-1);
        if (isEditable()) clearEditText();
        return;
    }
    setCurrentIndex(i);
}

void TComboBox::SetText(const QString& t) {
    if (isEditable()) {
        dropStaleChoice(t);
        setEditText(t);
    } else {
        setCurrentIndex(findText(t, Qt::MatchExactly | Qt::MatchCaseSensitive));
    }
}

void TComboBox::Clear() { items_->Clear(); }

void TComboBox::AssignTexts(const QStringList& texts) {
    const QString text = isEditable() ? currentText() : QString();
    clear();
    addItems(texts);
    // Qt chooses the first entry put into an empty box; the toolkit does not.
    setCurrentIndex(-1);
    if (isEditable()) setEditText(text);
}

void TComboBox::SetStyle(TComboBoxStyle s) {
    style_ = s;
    editorKey_ = nullptr;
    const bool editable = s != csDropDownList;
    if (editable == isEditable()) return;
    const int index = currentIndex();
    setEditable(editable);
    if (editable) {
        setInsertPolicy(QComboBox::NoInsert);
        attachEditor();
    }
    setCurrentIndex(index);
}

void TComboBox::SetSorted(bool on) {
    sorted_ = on;
    if (!on || count() < 2) return;
    struct Entry {
        QString text;
        void* obj;
    };
    std::vector<Entry> entries;
    entries.reserve(size_t(count()));
    for (int i = 0; i < count(); ++i) entries.push_back({items_->Strings(i), items_->Objects(i)});
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return QString::compare(a.text, b.text, Qt::CaseInsensitive) < 0;
    });
    const QString chosen = currentIndex() >= 0 ? itemText(currentIndex()) : QString();
    const bool hadChoice = currentIndex() >= 0;
    const QString text = currentText();
    for (int i = 0; i < int(entries.size()); ++i) {
        setItemText(i, entries[size_t(i)].text);
        items_->SetObjects(i, entries[size_t(i)].obj);
    }
    if (hadChoice) setCurrentIndex(findText(chosen, Qt::MatchExactly | Qt::MatchCaseSensitive));
    if (isEditable()) setEditText(text);
}

bool TComboBox::DroppedDown() const { return popupOpen_ || (view() && view()->isVisible()); }

void TComboBox::SetDroppedDown(bool on) {
    if (on == DroppedDown()) return;
    if (on) {
        showPopup();
    } else {
        hidePopup();
    }
}

void TComboBox::showPopup() {
    if (OnDropDown) OnDropDown(this);
    popupOpen_ = true;
    QComboBox::showPopup();
}

void TComboBox::hidePopup() {
    const bool wasOpen = DroppedDown();
    QComboBox::hidePopup();
    popupOpen_ = false;
    if (wasOpen && OnCloseUp) OnCloseUp(this);
}

int TComboBox::SelStart() const {
    const QLineEdit* le = lineEdit();
    if (!le) return 0;
    return le->hasSelectedText() ? le->selectionStart() : le->cursorPosition();
}

void TComboBox::SetSelStart(int pos) {
    if (QLineEdit* le = lineEdit()) {
        le->deselect();
        le->setCursorPosition(std::clamp(pos, 0, int(le->text().size())));
    }
}

int TComboBox::SelLength() const {
    const QLineEdit* le = lineEdit();
    return le && le->hasSelectedText() ? int(le->selectedText().size()) : 0;
}

void TComboBox::SetSelLength(int len) {
    QLineEdit* le = lineEdit();
    if (!le) return;
    const int start = SelStart();
    len = std::clamp(len, 0, int(le->text().size()) - start);
    if (len == 0) {
        SetSelStart(start);
    } else {
        le->setSelection(start, len);
    }
}

QString TComboBox::SelText() const { return lineEdit() ? lineEdit()->selectedText() : QString(); }

void TComboBox::SelectAll() {
    if (QLineEdit* le = lineEdit()) le->selectAll();
}

void TComboBox::SetMaxLength(int n) {
    maxLength_ = n < 0 ? 0 : n;
    if (QLineEdit* le = lineEdit()) le->setMaxLength(maxLength_ == 0 ? 32767 : maxLength_);
}

bool TComboBox::handleKeyPress(QKeyEvent* e, QObject* target) {
    char16_t replaced = 0;
    if (RunKeyHandlers(this, e, OnKeyDown, OnKeyPress, &replaced)) {
        e->accept();
        return true;
    }
    if (!replaced) return false;
    auto r = ReplacedKeyEvent(e, replaced);
    if (target == this) {
        QComboBox::keyPressEvent(r.get());
    } else if (auto* le = qobject_cast<QLineEdit*>(target)) {
        // Straight to the editor's handler: going through sendEvent would run the handlers again.
        le->removeEventFilter(this);
        QCoreApplication::sendEvent(le, r.get());
        le->installEventFilter(this);
    }
    e->accept();
    return true;
}

void TComboBox::keyPressEvent(QKeyEvent* e) {
    // A key the editor left alone (Up, Down...) comes on to the box: its handlers have run already.
    if (e == editorKey_) {
        editorKey_ = nullptr;
        QComboBox::keyPressEvent(e);
        return;
    }
    if (handleKeyPress(e, this)) return;
    QComboBox::keyPressEvent(e);
}

void TComboBox::keyReleaseEvent(QKeyEvent* e) {
    if (RunKeyUpHandler(this, e, OnKeyUp)) {
        e->accept();
        return;
    }
    QComboBox::keyReleaseEvent(e);
}

bool TComboBox::eventFilter(QObject* watched, QEvent* e) {
    if (watched == lineEdit()) {
        switch (e->type()) {
        case QEvent::KeyPress:
            if (handleKeyPress(static_cast<QKeyEvent*>(e), watched)) return true;
            editorKey_ = static_cast<QKeyEvent*>(e);
            break;
        case QEvent::KeyRelease:
            editorKey_ = nullptr;
            if (RunKeyUpHandler(this, static_cast<QKeyEvent*>(e), OnKeyUp)) return true;
            break;
        case QEvent::MouseButtonDblClick:
            if (OnDblClick) OnDblClick(this);
            break;
        default:
            break;
        }
    }
    return QComboBox::eventFilter(watched, e);
}

void TComboBox::focusInEvent(QFocusEvent* e) {
    QComboBox::focusInEvent(e);
    if (OnEnter && IsControlFocusReason(e->reason())) OnEnter(this);
}

void TComboBox::focusOutEvent(QFocusEvent* e) {
    QComboBox::focusOutEvent(e);
    if (OnExit && IsControlFocusReason(e->reason())) OnExit(this);
}

void TComboBox::mouseDoubleClickEvent(QMouseEvent* e) {
    QComboBox::mouseDoubleClickEvent(e);
    if (OnDblClick) OnDblClick(this);
}

void TComboBox::wheelEvent(QWheelEvent* e) {
    if (OnMouseWheel) {
        bool handled = false;
        const QPoint p = e->position().toPoint();
        OnMouseWheel(this, shiftFromQt(e->modifiers(), e->buttons()), e->angleDelta().y(), TPoint(p.x(), p.y()), handled);
        if (handled) {
            e->accept();
            return;
        }
    }
    QComboBox::wheelEvent(e);
}

void TComboBox::enterEvent(QEnterEvent* e) {
    QComboBox::enterEvent(e);
    if (OnMouseEnter) OnMouseEnter(this);
}

void TComboBox::leaveEvent(QEvent* e) {
    QComboBox::leaveEvent(e);
    if (OnMouseLeave) OnMouseLeave(this);
}
