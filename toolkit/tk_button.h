// TSpeedButton: the toolkit's flat tool button over QToolButton, with a caption, a glyph and a Down state.
//
// Down follows the toolkit's grouping rules: a button with GroupIndex 0 never stays down (SetDown does
// nothing); buttons of one parent that share a GroupIndex > 0 are exclusive (one going down lifts the
// others); a click on a down button lifts it only when AllowAllUp is set.
#pragma once

#include "toolkit/tk_controls.h"
#include "toolkit/tk_image.h"

#include <QToolButton>

class TSpeedButton : public QToolButton, public TControl {
    Q_OBJECT
public:
    explicit TSpeedButton(QWidget* parent = nullptr);
    ~TSpeedButton() override;

    QString Caption() const { return text(); }
    void SetCaption(const QString& c);
    // The picture beside the caption; draw into it and call GlyphChanged(), or use SetGlyph. An empty
    // glyph shows the caption alone.
    TBitmap* Glyph() { return &glyph_; }
    void SetGlyph(const QImage& image);
    void GlyphChanged();

    bool Down() const { return isChecked(); }
    void SetDown(bool d);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int g);
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool on) { allowAllUp_ = on; }
    bool Flat() const { return autoRaise(); }
    void SetFlat(bool on) { setAutoRaise(on); }

    // Acts as a user's click: Down rules, then OnClick.
    void Click();

    TNotifyEvent OnClick;

private:
    void liftGroup();

    TBitmap glyph_;
    int groupIndex_ = 0;
    bool allowAllUp_ = false;
};
