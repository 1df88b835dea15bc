// TLabel: the toolkit's static text over QLabel. Captions are plain text (never read as rich text). With
// AutoSize on (the default) the label takes the size of its caption whenever caption or font change.
#pragma once

#include "toolkit/tk_controls.h"

#include <QLabel>

class TLabel : public QLabel, public TControl {
    Q_OBJECT
public:
    explicit TLabel(QWidget* parent = nullptr);
    ~TLabel() override;

    QString Caption() const { return text(); }
    void SetCaption(const QString& c);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment a);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);
    // A transparent label lets its parent show through; an opaque one fills itself with Color.
    bool Transparent() const { return !autoFillBackground(); }
    void SetTransparent(bool on) { setAutoFillBackground(!on); }
    bool WordWrap() const { return wordWrap(); }
    void SetWordWrap(bool on) { setWordWrap(on); }

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;

protected:
    void ColorChanged() override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    void fit();

    TAlignment alignment_ = taLeftJustify;
    bool autoSize_ = true;
    bool pressed_ = false;
};
