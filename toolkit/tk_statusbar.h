// TStatusBar, TStatusPanel, TStatusPanels: the toolkit's status bar, painted by the layer itself.
//
// The bar fills itself with Color (clBtnFace until set) and lies along the bottom of its parent, following
// the parent's size. In simple mode (SimplePanel) it shows SimpleText alone. Otherwise it shows its panels
// left to right, each Width pixels wide, the last one reaching the right edge. A panel's rect handed to
// drawing is its cell without the one-pixel bevel on each side.
//
// psText panels are drawn by the layer: the text vertically centred, 3 pixels in from the side its
// Alignment names (centred for taCenter), in the bar's font and font colour. psOwnerDraw panels are drawn
// by OnDrawPanel on Canvas(), whose brush is preset to the bar colour and whose font is the bar's; without
// a handler they stay empty. UseSystemFont (the default) draws with the application font in the button
// text colour; switched off, the bar's own Font is used.
//
// Screen readers meet the bar as a status bar whose children are its panels (the one simple text in simple
// mode), each named by its text; a changed text is told to them at once (tk_statusbar_access.cpp).
#pragma once

#include "toolkit/tk_canvas.h"
#include "toolkit/tk_controls.h"

#include <QWidget>
#include <memory>
#include <vector>

class TStatusBar;

enum TStatusPanelStyle { psText, psOwnerDraw };
enum TStatusPanelBevel { pbNone, pbLowered, pbRaised };

class TStatusPanel {
public:
    QString Text() const { return text_; }
    void SetText(const QString& t);
    // Negative widths count as 0.
    int Width() const { return width_; }
    void SetWidth(int w);
    TStatusPanelStyle Style() const { return style_; }
    void SetStyle(TStatusPanelStyle s);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment a);
    TStatusPanelBevel Bevel() const { return bevel_; }
    void SetBevel(TStatusPanelBevel b);
    int Index() const;
    TStatusBar* StatusBar() const { return bar_; }

private:
    friend class TStatusPanels;
    explicit TStatusPanel(TStatusBar* bar) : bar_(bar) {}
    void changed();

    TStatusBar* bar_;
    QString text_;
    int width_ = 50;
    TStatusPanelStyle style_ = psText;
    TAlignment alignment_ = taLeftJustify;
    TStatusPanelBevel bevel_ = pbLowered;
};

class TStatusPanels {
public:
    explicit TStatusPanels(TStatusBar* bar) : bar_(bar) {}
    TStatusPanels(const TStatusPanels&) = delete;
    TStatusPanels& operator=(const TStatusPanels&) = delete;

    // A new last panel (width 50, psText, left-justified).
    TStatusPanel* Add();
    // A new panel at index (0..Count(); out of range appends).
    TStatusPanel* Insert(int index);
    int Count() const { return int(panels_.size()); }
    TStatusPanel* Items(int i) const;
    TStatusPanel* operator[](int i) const { return Items(i); }
    int IndexOf(const TStatusPanel* p) const;
    void Delete(int i);
    void Clear();

private:
    TStatusBar* bar_;
    std::vector<std::unique_ptr<TStatusPanel>> panels_;
};

typedef std::function<void(TStatusBar* StatusBar, TStatusPanel* Panel, const TRect& Rect)> TDrawPanelEvent;

class TStatusBar : public QWidget, public TControl {
    Q_OBJECT
public:
    // Starts 19 pixels high, button-face colour, system font, no panels.
    explicit TStatusBar(QWidget* parent = nullptr);
    ~TStatusBar() override;

    TStatusPanels* Panels() { return &panels_; }
    bool SimplePanel() const { return simplePanel_; }
    void SetSimplePanel(bool on);
    QString SimpleText() const { return simpleText_; }
    void SetSimpleText(const QString& t);
    bool UseSystemFont() const { return useSystemFont_; }
    void SetUseSystemFont(bool on);
    // Whether the bar keeps itself along the bottom of its parent (on by default).
    bool AlignBottom() const { return alignBottom_; }
    void SetAlignBottom(bool on);

    // The rect a panel draws in (its cell less the bevel); empty for an unknown index.
    TRect PanelRect(int index) const;
    // The canvas of the current paint (valid inside OnDrawPanel).
    TCanvas* Canvas() { return &canvas_; }

    TDrawPanelEvent OnDrawPanel;
    TNotifyEvent OnResize;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    friend class TStatusPanel;
    // Tells screen readers that the text of panel index (of the simple text: 0) changed.
    void announceText(int index);
    // Makes screen readers meet every status bar through tk_statusbar_access.cpp (once per process).
    static void installAccessible();
    void follow();
    void presetCanvas();
    void drawBevel(QPainter& p, const QRect& cell, TStatusPanelBevel b);

    TStatusPanels panels_;
    TCanvas canvas_;
    QString simpleText_;
    bool simplePanel_ = false;
    bool useSystemFont_ = true;
    bool alignBottom_ = true;
    QWidget* watched_ = nullptr;  // the parent whose resizes are followed (not owned)
};
