// TComboBox: the toolkit's combo box over QComboBox.
//
// Items() is a TStrings view of the entries (objects kept per entry, not owned). Adding entries never
// selects one (ItemIndex stays -1 until set), as the toolkit does. Style: csDropDown and csSimple are
// editable (Qt has no always-open list; csSimple behaves as csDropDown), csDropDownList is not.
// Sorted: Add puts each entry in its place (case-insensitive) and SetSorted(true) sorts what is there.
//
// Events follow the toolkit: OnChange fires when the user edits the text or picks an entry (a pick runs
// OnClick, then OnSelect when assigned, else OnChange), never for SetText/SetItemIndex. OnDropDown runs
// before the list opens, OnCloseUp after it closed. OnMouseWheel may set Handled to keep the wheel from
// changing the choice. Key, enter/exit, double-click and context-menu events of the editable part are
// the combo box's.
#pragma once

#include "toolkit/tk_controls.h"
#include "toolkit/tk_strings.h"

#include <QComboBox>
#include <memory>

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

typedef std::function<void(TObject* Sender, TShiftState Shift, int WheelDelta, TPoint MousePos, bool& Handled)>
    TMouseWheelEvent;

class TComboBox : public QComboBox, public TControl {
    Q_OBJECT
public:
    explicit TComboBox(QWidget* parent = nullptr);
    ~TComboBox() override;

    TStrings* Items() const { return items_.get(); }
    int ItemIndex() const { return currentIndex(); }
    // Out of range clears the choice (and the text of an editable box).
    void SetItemIndex(int i);
    QString Text() const { return currentText(); }
    // Editable styles show t as it is; csDropDownList selects the entry equal to t, or none. In an
    // editable box ItemIndex names the entry whose text is shown: a text that differs from the chosen
    // entry's (set here or typed) leaves no entry chosen.
    void SetText(const QString& t);
    void Clear();
    // Replaces every entry by texts in one model insertion (objects dropped), far cheaper than adding
    // them one by one. Afterwards no entry is chosen and an editable box keeps its text.
    void AssignTexts(const QStringList& texts);

    TComboBoxStyle Style() const { return style_; }
    void SetStyle(TComboBoxStyle s);
    bool Sorted() const { return sorted_; }
    void SetSorted(bool on);
    // Lines shown by the open list before it scrolls (8 by default).
    int DropDownCount() const { return maxVisibleItems(); }
    void SetDropDownCount(int n) { setMaxVisibleItems(n < 1 ? 1 : n); }
    bool DroppedDown() const;
    void SetDroppedDown(bool on);

    // The editable part's selection; 0 and empty for csDropDownList.
    int SelStart() const;
    void SetSelStart(int pos);
    int SelLength() const;
    void SetSelLength(int len);
    QString SelText() const;
    void SelectAll();
    // 0 means no limit.
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int n);

    TNotifyEvent OnChange;
    TNotifyEvent OnClick;
    TNotifyEvent OnSelect;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnDropDown;
    TNotifyEvent OnCloseUp;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TKeyEvent OnKeyUp;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TMouseWheelEvent OnMouseWheel;

    void showPopup() override;
    void hidePopup() override;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    friend class TComboStrings;
    void attachEditor();
    void dropStaleChoice(const QString& text);
    bool handleKeyPress(QKeyEvent* e, QObject* target);

    std::unique_ptr<TStrings> items_;
    TComboBoxStyle style_ = csDropDown;
    bool sorted_ = false;
    int maxLength_ = 0;
    bool popupOpen_ = false;
    const QKeyEvent* editorKey_ = nullptr;  // the editor's key press now being delivered
};
