// TControl: what every control of the toolkit layer has besides its Qt widget.
//
// Each layer class derives from its Qt widget and from TControl (class TEdit : public QLineEdit, public
// TControl), and hands its own widget to TControl's constructor. TControl then speaks the toolkit's
// names over that widget: Name, Parent, Left/Top/Width/Height, Visible, Enabled, Hint/ShowHint, Color,
// Font, PopupMenu, ClientToScreen/ScreenToClient, Invalidate/Refresh, SetFocus, Tag.
//
// Property form: P() reads, SetP(v) writes (as in the rest of the layer).
//
// Colour and font: Color() is clDefault until set, meaning the widget keeps its palette. Font() is the
// control's TFont; its fields may be changed in place and take effect with FontChanged() or the next
// Refresh(); SetFont() assigns and applies at once. A Font colour of clWindowText leaves the palette's text
// colour alone. The Font follows the widget's own font too: a font set on the widget (a form's font
// property, a parent's font passed down) becomes the Font's name, size and style, its colour kept.
//
// Pop-up menu: a right click (or the menu key) runs OnContextPopup first; unless that handles it, the
// control's PopupMenu opens at the mouse. Without a PopupMenu the widget keeps its own context menu.
//
// OnMouseEnter / OnMouseLeave: the mouse came over / left the control's client area (PaintTarget: a
// scroll area's viewport, so leaving onto a scroll bar counts as leaving).
//
// Loaded(): called once by the layer when the widget is first shown, after its properties were set (by
// code or by a form loaded from a .ui file); a host that builds a control in code and needs it earlier
// calls it itself. Overrides call TControl::Loaded() first.
#pragma once

#include "toolkit/tk_canvas.h"
#include "toolkit/tk_color.h"
#include "toolkit/tk_menu.h"
#include "toolkit/tk_types.h"

#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class QKeyEvent;
class QWidget;
class QObject;

typedef std::function<void(TObject* Sender, TPoint MousePos, bool& Handled)> TContextPopupEvent;

class TControl {
public:
    // self is the widget this control is (the derived class's own this); it must outlive TControl.
    explicit TControl(QWidget* self);
    virtual ~TControl();
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;

    QWidget* Widget() const { return self_; }

    QString Name() const;
    void SetName(const QString& name);
    // The parent widget (null for a form); SetParent moves the widget and keeps its position.
    QWidget* Parent() const;
    void SetParent(QWidget* parent);

    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetLeft(int v);
    void SetTop(int v);
    // Negative sizes count as 0.
    void SetWidth(int v);
    void SetHeight(int v);
    void SetBounds(int left, int top, int width, int height);
    TRect BoundsRect() const;
    TRect ClientRect() const;
    int ClientWidth() const { return ClientRect().Width(); }
    int ClientHeight() const { return ClientRect().Height(); }

    // The toolkit's Visible: the control's own flag, true also while its form is not shown yet.
    bool Visible() const;
    void SetVisible(bool v);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    bool Enabled() const;
    void SetEnabled(bool e);
    bool Showing() const;

    QString Hint() const { return hint_; }
    void SetHint(const QString& h);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool on);

    TColor Color() const { return color_; }
    void SetColor(TColor c);
    TFont* Font() { return &font_; }
    const TFont* Font() const { return &font_; }
    void SetFont(const TFont& f);
    // Applies the Font's fields to the widget.
    void FontChanged();

    TPopupMenu* PopupMenu() const { return popupMenu_.data(); }
    void SetPopupMenu(TPopupMenu* menu);

    intptr_t Tag() const { return tag_; }
    void SetTag(intptr_t t) { tag_ = t; }

    // Client coordinates of this control to screen coordinates and back.
    TPoint ClientToScreen(const TPoint& p) const;
    TPoint ScreenToClient(const TPoint& p) const;

    // Limits the control's visible and clickable area to a polygon in its own coordinates (the toolkit's
    // window region); fewer than 3 points remove the limit.
    void SetClipPolygon(const std::vector<TPoint>& points);

    // Schedules a repaint of the whole control / of one rectangle of its client area.
    void Invalidate();
    void InvalidateRect(const TRect& r);
    // Re-applies Color and Font and repaints at once.
    void Refresh();
    void Repaint() { Refresh(); }
    void Update();

    bool CanFocus() const;
    void SetFocus();
    bool Focused() const;

    virtual void Loaded();
    bool IsLoaded() const { return loaded_; }

    // Runs OnContextPopup and opens PopupMenu at globalPos; true when the event was used. Widgets whose
    // context-menu events do not reach the control itself (scroll-area viewports) call it directly.
    bool DoContextPopup(const QPoint& localPos, const QPoint& globalPos);

    TContextPopupEvent OnContextPopup;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;

protected:
    // Called after Color or Font changed; the default applies them through the widget's palette.
    virtual void ColorChanged();
    // The widget that paints the client area (a scroll area's viewport); Invalidate targets it.
    virtual QWidget* PaintTarget() const { return self_; }
    // Routes the context-menu events of a child widget (a combo box's editor) through the control too.
    void HookChild(QWidget* child);

private:
    friend class TControlHook;
    // The widget's font (set by a form or inherited) read back into Font, its colour kept.
    void fontFromWidget();
    QWidget* self_;
    QObject* hook_;  // Qt child of self_, deleted by ~TControl: the filter behind Loaded and the menu
    QPointer<TPopupMenu> popupMenu_;
    QString hint_;
    bool showHint_ = false;
    TColor color_ = clDefault;
    TFont font_;
    intptr_t tag_ = 0;
    bool loaded_ = false;
    bool loadCalled_ = false;
};

// The control behind a widget, when the widget is one of the layer's; null otherwise.
TControl* AsControl(QWidget* w);

// The outermost form that holds w (its top-level window); null for a null widget.
QWidget* GetParentForm(QWidget* w);
// The form's name (its object name) and its background colour as a TColor.
QString FormName(QWidget* form);
TColor FormColor(QWidget* form);

// Keyboard glue shared by the layer's widgets: runs OnKeyDown, then (for keys that type a character)
// OnKeyPress. Returns true when a handler swallowed the key (set it to 0). When OnKeyPress replaced the
// character, *replaced holds the new one (0 when unchanged).
bool RunKeyHandlers(QObject* sender, QKeyEvent* e, const TKeyEvent& onKeyDown,
                    const TKeyPressEvent& onKeyPress, char16_t* replaced);
// Runs OnKeyUp; true when it swallowed the key.
bool RunKeyUpHandler(QObject* sender, QKeyEvent* e, const TKeyEvent& onKeyUp);
// A copy of a key event with its typed character replaced (what OnKeyPress asked for).
std::unique_ptr<QKeyEvent> ReplacedKeyEvent(const QKeyEvent* e, char16_t ch);
// Whether a focus change is one the toolkit reports as enter/exit (not a pop-up or window switch).
bool IsControlFocusReason(Qt::FocusReason r);

// Border of edits, list boxes and panels.
enum TBorderStyle { bsNone, bsSingle };
