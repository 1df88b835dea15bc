#include "toolkit/tk_button.h"

#include <QIcon>
#include <QPixmap>

TSpeedButton::TSpeedButton(QWidget* parent) : QToolButton(parent), TControl(this) {
    resize(23, 22);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    // Checkable only in a group, so that Down can show there; a button that never stays down is a push
    // button (and screen readers call it one). Clicks are steered by Click() so the grouping rules hold.
    setCheckable(false);
    connect(this, &QToolButton::clicked, this, [this](bool nowChecked) {
        // Qt has already toggled the state; take it back and apply the toolkit's rules instead.
        if (isCheckable()) setChecked(!nowChecked);
        Click();
    });
}

TSpeedButton::~TSpeedButton() = default;

void TSpeedButton::SetCaption(const QString& c) { setText(c); }

void TSpeedButton::SetGlyph(const QImage& image) {
    glyph_.Assign(image);
    GlyphChanged();
}

void TSpeedButton::GlyphChanged() {
    if (glyph_.Empty() || glyph_.Width() == 0 || glyph_.Height() == 0) {
        setIcon(QIcon());
        setToolButtonStyle(Qt::ToolButtonTextOnly);
        return;
    }
    const QImage& img = glyph_.Image();
    setIcon(QIcon(QPixmap::fromImage(img)));
    setIconSize(img.size());
    setToolButtonStyle(text().isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
}

void TSpeedButton::SetDown(bool d) {
    if (groupIndex_ == 0) return;
    if (d == isChecked()) return;
    setChecked(d);
    if (d) liftGroup();
}

void TSpeedButton::SetGroupIndex(int g) {
    groupIndex_ = g < 0 ? 0 : g;
    if (groupIndex_ == 0) setChecked(false);
    setCheckable(groupIndex_ > 0);
}

void TSpeedButton::liftGroup() {
    QWidget* p = parentWidget();
    if (!p) return;
    for (TSpeedButton* b : p->findChildren<TSpeedButton*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (b != this && b->groupIndex_ == groupIndex_) b->setChecked(false);
    }
}

void TSpeedButton::Click() {
    if (groupIndex_ != 0) {
        if (!isChecked()) {
            setChecked(true);
            liftGroup();
        } else if (allowAllUp_) {
            setChecked(false);
        }
    }
    if (OnClick) OnClick(this);
}
