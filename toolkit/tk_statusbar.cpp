#include "toolkit/tk_statusbar.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

// ---- TStatusPanel

void TStatusPanel::changed() {
    if (bar_) bar_->update();
}

void TStatusPanel::SetText(const QString& t) {
    if (t == text_) return;
    text_ = t;
    changed();
    if (bar_ && !bar_->SimplePanel()) bar_->announceText(Index());
}

void TStatusPanel::SetWidth(int w) {
    width_ = w < 0 ? 0 : w;
    changed();
}

void TStatusPanel::SetStyle(TStatusPanelStyle s) {
    style_ = s;
    changed();
}

void TStatusPanel::SetAlignment(TAlignment a) {
    alignment_ = a;
    changed();
}

void TStatusPanel::SetBevel(TStatusPanelBevel b) {
    bevel_ = b;
    changed();
}

int TStatusPanel::Index() const { return bar_ ? bar_->Panels()->IndexOf(this) : -1; }

// ---- TStatusPanels

TStatusPanel* TStatusPanels::Add() { return Insert(Count()); }

TStatusPanel* TStatusPanels::Insert(int index) {
    if (index < 0 || index > Count()) index = Count();
    auto p = std::unique_ptr<TStatusPanel>(new TStatusPanel(bar_));
    TStatusPanel* raw = p.get();
    panels_.insert(panels_.begin() + index, std::move(p));
    bar_->update();
    return raw;
}

TStatusPanel* TStatusPanels::Items(int i) const {
    if (i < 0 || i >= Count()) return nullptr;
    return panels_[size_t(i)].get();
}

int TStatusPanels::IndexOf(const TStatusPanel* p) const {
    for (size_t i = 0; i < panels_.size(); ++i) {
        if (panels_[i].get() == p) return int(i);
    }
    return -1;
}

void TStatusPanels::Delete(int i) {
    if (i < 0 || i >= Count()) return;
    panels_.erase(panels_.begin() + i);
    bar_->update();
}

void TStatusPanels::Clear() {
    panels_.clear();
    bar_->update();
}

// ---- TStatusBar

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent), TControl(this), panels_(this) {
    setAutoFillBackground(false);
    SetColor(clBtnFace);
    resize(parent ? parent->width() : 200, 19);
    follow();
    installAccessible();
}

TStatusBar::~TStatusBar() {
    if (watched_) watched_->removeEventFilter(this);
}

void TStatusBar::SetSimplePanel(bool on) {
    simplePanel_ = on;
    update();
}

void TStatusBar::SetSimpleText(const QString& t) {
    if (t == simpleText_) return;
    simpleText_ = t;
    update();
    if (simplePanel_) announceText(0);
}

void TStatusBar::SetUseSystemFont(bool on) {
    useSystemFont_ = on;
    update();
}

void TStatusBar::SetAlignBottom(bool on) {
    alignBottom_ = on;
    follow();
}

QSize TStatusBar::sizeHint() const { return QSize(200, 19); }

void TStatusBar::follow() {
    QWidget* p = parentWidget();
    if (p != watched_) {
        if (watched_) watched_->removeEventFilter(this);
        watched_ = p;
        if (watched_) watched_->installEventFilter(this);
    }
    if (alignBottom_ && p) setGeometry(0, p->height() - height(), p->width(), height());
}

bool TStatusBar::eventFilter(QObject* watched, QEvent* e) {
    if (watched == watched_ && e->type() == QEvent::Resize) follow();
    return QWidget::eventFilter(watched, e);
}

void TStatusBar::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ParentChange) follow();
}

TRect TStatusBar::PanelRect(int index) const {
    const TStatusPanel* p = panels_.Items(index);
    if (!p || simplePanel_) return TRect();
    int x = 0;
    for (int i = 0; i < index; ++i) x += panels_.Items(i)->Width();
    int right = index == panels_.Count() - 1 ? std::max(width(), x) : x + p->Width();
    TRect r(x, 0, right, height());
    if (p->Bevel() != pbNone) r.Inflate(-1, -1);
    return r;
}

void TStatusBar::presetCanvas() {
    canvas_.Brush->Style = bsSolid;
    canvas_.Brush->Color = Color();
    canvas_.Pen->Color = clBtnShadow;
    if (useSystemFont_) {
        canvas_.Font->fromQFont(QApplication::font());
        canvas_.Font->Color = clBtnText;
    } else {
        canvas_.Font->Assign(*Font());
    }
}

void TStatusBar::drawBevel(QPainter& p, const QRect& cell, TStatusPanelBevel b) {
    if (b == pbNone || cell.width() < 2 || cell.height() < 2) return;
    const QColor dark = toQColor(clBtnShadow);
    const QColor light = toQColor(clBtnHighlight);
    const QColor topLeft = b == pbLowered ? dark : light;
    const QColor bottomRight = b == pbLowered ? light : dark;
    p.setPen(topLeft);
    p.drawLine(cell.left(), cell.top(), cell.right(), cell.top());
    p.drawLine(cell.left(), cell.top(), cell.left(), cell.bottom());
    p.setPen(bottomRight);
    p.drawLine(cell.left(), cell.bottom(), cell.right(), cell.bottom());
    p.drawLine(cell.right(), cell.top(), cell.right(), cell.bottom());
}

void TStatusBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    canvas_.Attach(&p);
    presetCanvas();
    canvas_.FillRect(ClientRect());
    if (simplePanel_) {
        const int th = canvas_.TextHeight(simpleText_);
        canvas_.Brush->Style = bsClear;
        canvas_.TextOut(3, std::max(0, (height() - th) / 2), simpleText_);
        canvas_.Detach();
        return;
    }
    for (int i = 0; i < panels_.Count(); ++i) {
        TStatusPanel* panel = panels_.Items(i);
        const TRect r = PanelRect(i);
        TRect cell = r;
        if (panel->Bevel() != pbNone) cell.Inflate(1, 1);
        if (cell.Left >= width()) break;
        drawBevel(p, cell.toQRect(), panel->Bevel());
        presetCanvas();
        p.save();
        p.setClipRect(r.toQRect());
        if (panel->Style() == psOwnerDraw) {
            if (OnDrawPanel) OnDrawPanel(this, panel, r);
        } else {
            const QString& t = panel->Text();
            const int tw = canvas_.TextWidth(t);
            const int th = canvas_.TextHeight(t);
            int x = 3;
            if (panel->Alignment() == taRightJustify) x = r.Width() - tw - 3;
            if (panel->Alignment() == taCenter) x = (r.Width() - tw) / 2;
            canvas_.Brush->Style = bsClear;
            canvas_.TextOut(r.Left + x, r.Top + std::max(0, (r.Height() - th) / 2), t);
        }
        p.restore();
    }
    canvas_.Detach();
}

void TStatusBar::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (OnResize) OnResize(this);
}

void TStatusBar::mouseReleaseEvent(QMouseEvent* e) {
    QWidget::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && OnClick) OnClick(this);
}

void TStatusBar::mouseDoubleClickEvent(QMouseEvent* e) {
    QWidget::mouseDoubleClickEvent(e);
    if (OnDblClick) OnDblClick(this);
}
