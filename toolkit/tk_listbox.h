// TListBox: the toolkit's list box over QListWidget.
//
// Items() is a TStrings view of the lines (objects are kept with each line, not owned). In a Sorted list,
// Add puts each line in its place (case-insensitive order) and SetSorted(true) sorts what is there.
// ItemIndex is the selected line, -1 for none. OnClick fires when the user changes the selected line
// (click or keys), not when code sets ItemIndex, as the toolkit does. Like the edit, the list is white
// (the window colour) from the start, whatever its parent's colour.
#pragma once

#include "toolkit/tk_controls.h"
#include "toolkit/tk_strings.h"

#include <QListWidget>
#include <memory>

class TListBox : public QListWidget, public TControl {
    Q_OBJECT
public:
    explicit TListBox(QWidget* parent = nullptr);
    ~TListBox() override;

    TStrings* Items() const { return items_.get(); }
    int Count() const { return count(); }
    int ItemIndex() const { return currentRow(); }
    // -1 (or any index out of range) clears the selection.
    void SetItemIndex(int i);
    // The first line shown at the top.
    int TopIndex() const;
    void SetTopIndex(int i);
    bool Sorted() const { return sorted_; }
    void SetSorted(bool on);
    TBorderStyle BorderStyle() const { return frameShape() == QFrame::NoFrame ? bsNone : bsSingle; }
    void SetBorderStyle(TBorderStyle s) { setFrameShape(s == bsNone ? QFrame::NoFrame : QFrame::StyledPanel); }
    void Clear();
    // The line at a client point; -1 when none (existing) or Count() when below the last line (not existing).
    int ItemAtPos(const TPoint& p, bool existing) const;
    TRect ItemRect(int i) const;

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;
    TKeyEvent OnKeyUp;
    TMouseEvent OnMouseDown;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    QWidget* PaintTarget() const override { return viewport(); }

private:
    friend class TListBoxStrings;
    std::unique_ptr<TStrings> items_;
    bool sorted_ = false;
    int programmatic_ = 0;  // > 0 while code changes the selection
};
