// TEdit: the toolkit's one-line edit over QLineEdit.
//
// OnChange fires for every change of the text, by the user or by code (SetText), as the toolkit does.
// OnKeyDown sees every key with a virtual-key number, then OnKeyPress sees the character it types; either
// handler swallows the key by setting it to 0, and OnKeyPress may replace the character. OnEnter/OnExit
// fire when the focus moves within the window, not when another window or a pop-up menu takes it.
// Its colour is the window colour (white) from the start, not its parent's: an edit on a grey panel
// stays white, as the toolkit's edits do.
#pragma once

#include "toolkit/tk_controls.h"

#include <QLineEdit>

class TEdit : public QLineEdit, public TControl {
    Q_OBJECT
public:
    explicit TEdit(QWidget* parent = nullptr);
    ~TEdit() override;

    QString Text() const { return text(); }
    void SetText(const QString& t) { setText(t); }
    void SetText(const char16_t* t) { setText(t ? QString::fromUtf16(t) : QString()); }
    void Clear() { clear(); }

    // Selection in characters: SelStart is where it begins (the cursor when nothing is selected).
    // SetSelStart moves the cursor there and drops the selection; SetSelLength selects from SelStart.
    // Values beyond the text are cut to it; negative ones count as 0.
    int SelStart() const;
    void SetSelStart(int pos);
    int SelLength() const;
    void SetSelLength(int len);
    QString SelText() const { return selectedText(); }
    void SelectAll() { selectAll(); }

    bool ReadOnly() const { return isReadOnly(); }
    void SetReadOnly(bool r) { setReadOnly(r); }
    // 0 means no limit.
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int n);
    TBorderStyle BorderStyle() const { return hasFrame() ? bsSingle : bsNone; }
    void SetBorderStyle(TBorderStyle s) { setFrame(s != bsNone); }

    TNotifyEvent OnChange;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TKeyEvent OnKeyUp;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    int maxLength_ = 0;
};
