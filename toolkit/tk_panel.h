// TPanel: the toolkit's panel over QFrame: an opaque container with a caption drawn in its middle, bevels
// and a border, and enter/exit events for the focus moving into or out of it (its children included)
// within its window; focus going to another window (a message box) is neither.
#pragma once

#include "toolkit/tk_controls.h"

#include <QFrame>

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

class TPanel : public QFrame, public TControl {
    Q_OBJECT
public:
    // Starts 185 x 41, button-face colour, raised outer bevel, no inner bevel, no border, caption centred.
    explicit TPanel(QWidget* parent = nullptr);
    ~TPanel() override;

    QString Caption() const { return caption_; }
    void SetCaption(const QString& c);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment a);
    TBevelCut BevelInner() const { return bevelInner_; }
    void SetBevelInner(TBevelCut b);
    TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut b);
    // 1 or more; smaller values count as 1.
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int w);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle s);

    TNotifyEvent OnResize;
    TNotifyEvent OnEnter;  // the focus moved into the panel or one of its children
    TNotifyEvent OnExit;   // the focus left the panel and all of its children
    TNotifyEvent OnClick;
    TMouseEvent OnMouseDown;

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void applyFrame();
    // The application's one focus-change handler for every panel: it visits the panels the focus
    // leaves and those around the widget it reaches, so a focus change, and making or destroying a
    // panel, costs the same with ten panels alive as with ten thousand.
    static void dispatchFocus(QWidget* old, QWidget* now);
    bool holds(QWidget* w) const;

    QString caption_;
    TAlignment alignment_ = taCenter;
    TBevelCut bevelInner_ = bvNone;
    TBevelCut bevelOuter_ = bvRaised;
    int bevelWidth_ = 1;
    TBorderStyle borderStyle_ = bsNone;
    bool pressed_ = false;
    bool focusInside_ = false;
};
