// TCanvas, TFont and the colour conversion of the toolkit layer.
#include "toolkit/tk_canvas.h"

#include "toolkit/tk_image.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QTextOption>
#include <QVector>
#include <cmath>

namespace {

// Fallbacks for system colours when no application (and so no palette) exists yet.
QColor paletteColor(unsigned index) {
    QPalette pal = qGuiApp ? QGuiApplication::palette() : QPalette();
    switch (index) {
    case 0x00: return pal.color(QPalette::Active, QPalette::Button);
    case 0x01: return pal.color(QPalette::Active, QPalette::Window);
    case 0x02: return pal.color(QPalette::Active, QPalette::Highlight);
    case 0x05: return pal.color(QPalette::Active, QPalette::Base);
    case 0x06: return pal.color(QPalette::Active, QPalette::Shadow);
    case 0x08: return pal.color(QPalette::Active, QPalette::Text);
    case 0x0D: return pal.color(QPalette::Active, QPalette::Highlight);
    case 0x0E: return pal.color(QPalette::Active, QPalette::HighlightedText);
    case 0x0F: return pal.color(QPalette::Active, QPalette::Button);
    case 0x10: return pal.color(QPalette::Active, QPalette::Dark);
    case 0x11: return pal.color(QPalette::Disabled, QPalette::Text);
    case 0x12: return pal.color(QPalette::Active, QPalette::ButtonText);
    case 0x14: return pal.color(QPalette::Active, QPalette::Light);
    case 0x15: return pal.color(QPalette::Active, QPalette::Shadow);
    case 0x16: return pal.color(QPalette::Active, QPalette::Midlight);
    case 0x17: return pal.color(QPalette::Active, QPalette::ToolTipText);
    case 0x18: return pal.color(QPalette::Active, QPalette::ToolTipBase);
    default: return pal.color(QPalette::Active, QPalette::Window);
    }
}

Qt::PenStyle qtPenStyle(TPenStyle s) {
    switch (s) {
    case psDash: return Qt::DashLine;
    case psDot: return Qt::DotLine;
    case psDashDot: return Qt::DashDotLine;
    case psDashDotDot: return Qt::DashDotDotLine;
    case psClear: return Qt::NoPen;
    default: return Qt::SolidLine;
    }
}

Qt::BrushStyle qtBrushStyle(TBrushStyle s) {
    switch (s) {
    case bsClear: return Qt::NoBrush;
    case bsHorizontal: return Qt::HorPattern;
    case bsVertical: return Qt::VerPattern;
    case bsFDiagonal: return Qt::FDiagPattern;
    case bsBDiagonal: return Qt::BDiagPattern;
    case bsCross: return Qt::CrossPattern;
    case bsDiagCross: return Qt::DiagCrossPattern;
    default: return Qt::SolidPattern;
    }
}

}  // namespace

QColor toQColor(TColor c) {
    if (c == clNone) return QColor(0, 0, 0, 0);
    if (c == clDefault) return paletteColor(0x05);
    if (IsSystemColor(c)) return paletteColor(std::uint32_t(c) & 0xFFu);
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

TColor ColorToRGB(TColor c) {
    if (IsSystemColor(c) || c == clDefault) return fromQColor(toQColor(c));
    return c;
}

// ---------------------------------------------------------------------------------------------- TFont

TFont::TFont() {
    if (qGuiApp) Name = QGuiApplication::font().family();
}

QFont TFont::toQFont() const {
    QFont f = qGuiApp ? QGuiApplication::font() : QFont();
    if (!Name.isEmpty()) f.setFamily(Name);
    f.setPointSize(Size > 0 ? Size : 9);
    f.setBold(Style.Contains(fsBold));
    f.setItalic(Style.Contains(fsItalic));
    f.setUnderline(Style.Contains(fsUnderline));
    f.setStrikeOut(Style.Contains(fsStrikeOut));
    return f;
}

void TFont::fromQFont(const QFont& f) {
    Name = f.family();
    Size = f.pointSize() > 0 ? f.pointSize() : 9;
    TFontStyles s;
    if (f.bold()) s << fsBold;
    if (f.italic()) s << fsItalic;
    if (f.underline()) s << fsUnderline;
    if (f.strikeOut()) s << fsStrikeOut;
    Style = s;
}

// -------------------------------------------------------------------------------------------- TCanvas

TCanvas::TCanvas() : Pen(&pen_), Brush(&brush_), Font(&font_) {}

TCanvas::TCanvas(QPainter* painter) : TCanvas() { painter_ = painter; }

TCanvas::~TCanvas() { End(); }

void TCanvas::Attach(QPainter* painter) {
    End();
    device_ = nullptr;
    painter_ = painter;
    painterFontSerial_ = -1;
}

void TCanvas::SetDevice(QPaintDevice* device) {
    End();
    painter_ = nullptr;
    device_ = device;
}

void TCanvas::End() {
    if (own_) {
        own_->end();
        delete own_;
        own_ = nullptr;
        painter_ = nullptr;
    }
}

QPainter* TCanvas::Painter() {
    if (painter_) return painter_;
    if (!device_) return nullptr;
    own_ = new QPainter();
    if (!own_->begin(device_)) {
        delete own_;
        own_ = nullptr;
        return nullptr;
    }
    painter_ = own_;
    painterFontSerial_ = -1;
    return painter_;
}

void TCanvas::applyPen() {
    QPainter* p = painter_;
    if (pen_.Style == psClear) {
        p->setPen(Qt::NoPen);
        return;
    }
    QPen qp(toQColor(pen_.Color));
    qp.setWidth(pen_.Width > 1 ? pen_.Width : 0);  // 0 = cosmetic one-pixel line
    qp.setStyle(qtPenStyle(pen_.Style));
    qp.setCapStyle(Qt::FlatCap);
    qp.setJoinStyle(Qt::MiterJoin);
    p->setPen(qp);
}

void TCanvas::applyNoPen() { painter_->setPen(Qt::NoPen); }

void TCanvas::applyBrush() {
    if (brush_.Style == bsClear) {
        painter_->setBrush(Qt::NoBrush);
        return;
    }
    painter_->setBrush(QBrush(toQColor(brush_.Color), qtBrushStyle(brush_.Style)));
}

const QFont& TCanvas::qfont() {
    if (!cachedMetrics_ || cachedSize_ != font_.Size || cachedStyle_ != font_.Style || cachedName_ != font_.Name) {
        cachedFont_ = font_.toQFont();
        cachedMetrics_ = std::make_unique<QFontMetrics>(cachedFont_);
        cachedName_ = font_.Name;
        cachedSize_ = font_.Size;
        cachedStyle_ = font_.Style;
        ++fontSerial_;
    }
    return cachedFont_;
}

const QFontMetrics& TCanvas::metrics() {
    qfont();
    return *cachedMetrics_;
}

void TCanvas::applyFont() {
    const QFont& f = qfont();
    if (painterFontSerial_ != fontSerial_) {
        painter_->setFont(f);
        painterFontSerial_ = fontSerial_;
    }
    painter_->setPen(QPen(toQColor(font_.Color)));
}

void TCanvas::MoveTo(int X, int Y) { PenPos = TPoint(X, Y); }

void TCanvas::fillLine(const QRect& r, bool vertical, const QColor& c) {
    QPainter* p = painter_;
    const QTransform d = p->deviceTransform();
    const qreal s = d.m11();
    if (d.type() > QTransform::TxScale || s != d.m22() || s == std::floor(s) || r.isEmpty()) {
        p->fillRect(r, c);
        return;
    }
    // The device pixels the line touches start at the first whose centre it covers, as a fill's do; its
    // width is rounded up, so no cell edge is left uncovered and every line is as wide as the next.
    auto first = [](qreal v) { return int(std::ceil(v - 0.5)); };
    const int x0 = first(s * r.x() + d.dx()), y0 = first(s * r.y() + d.dy());
    const int x1 = first(s * (r.x() + r.width()) + d.dx()), y1 = first(s * (r.y() + r.height()) + d.dy());
    const QRect dev = vertical ? QRect(x0, y0, int(std::ceil(s * r.width() - 1e-9)), y1 - y0)
                               : QRect(x0, y0, x1 - x0, int(std::ceil(s * r.height() - 1e-9)));
    const QTransform keep = p->worldTransform();
    p->setWorldTransform(d.inverted() * keep);  // device pixels for the fill
    p->fillRect(dev, c);
    p->setWorldTransform(keep);
}

void TCanvas::FillLine(const TRect& Rect, bool Vertical, TColor Color) {
    if (Painter()) fillLine(Rect.toQRect(), Vertical, toQColor(Color));
}

void TCanvas::DrawMoved(const TRect& Clip, int DX, int DY, const std::function<void()>& draw) {
    if (!Painter() || Clip.IsEmpty()) return;
    QPainter* p = painter_;
    p->save();
    p->setClipRect(Clip.toQRect(), Qt::IntersectClip);
    p->translate(DX, DY);
    const TPoint pen = PenPos;
    draw();
    PenPos = pen;
    p->restore();
    painterFontSerial_ = -1;  // the restore took back the font the drawing set
}

void TCanvas::LineTo(int X, int Y) {
    TPoint from = PenPos;
    PenPos = TPoint(X, Y);
    if (!Painter() || pen_.Style == psClear) return;
    int w = pen_.Width > 1 ? pen_.Width : 1;
    // Straight solid lines are filled as pixel runs: exact, end point excluded, and fast for grid lines.
    if (pen_.Style == psSolid && (from.x == X || from.y == Y)) {
        QColor c = toQColor(pen_.Color);
        int off = (w - 1) / 2;
        if (from.y == Y) {
            int x0, x1;
            if (X < from.x) { x0 = X + 1; x1 = from.x + 1; } else { x0 = from.x; x1 = X; }
            if (x1 > x0) fillLine(QRect(x0, Y - off, x1 - x0, w), false, c);
        } else {
            int y0, y1;
            if (Y < from.y) { y0 = Y + 1; y1 = from.y + 1; } else { y0 = from.y; y1 = Y; }
            if (y1 > y0) fillLine(QRect(X - off, y0, w, y1 - y0), true, c);
        }
        return;
    }
    applyPen();
    const bool smooth = painter_->testRenderHint(QPainter::Antialiasing);
    const bool slanted = from.x != X && from.y != Y;
    if (slanted && !smooth) painter_->setRenderHint(QPainter::Antialiasing, true);
    painter_->drawLine(from.x, from.y, X, Y);
    if (slanted && !smooth) painter_->setRenderHint(QPainter::Antialiasing, false);
}

void TCanvas::FillRect(const TRect& Rect) {
    if (!Painter() || brush_.Style == bsClear || Rect.IsEmpty()) return;
    if (brush_.Style == bsSolid)
        painter_->fillRect(Rect.toQRect(), toQColor(brush_.Color));
    else
        painter_->fillRect(Rect.toQRect(), QBrush(toQColor(brush_.Color), qtBrushStyle(brush_.Style)));
}

void TCanvas::FrameRect(const TRect& Rect) {
    if (!Painter() || Rect.IsEmpty()) return;
    QColor c = toQColor(brush_.Color);
    QRect r = Rect.toQRect();
    fillLine(QRect(r.left(), r.top(), r.width(), 1), false, c);
    fillLine(QRect(r.left(), r.bottom(), r.width(), 1), false, c);
    fillLine(QRect(r.left(), r.top(), 1, r.height()), true, c);
    fillLine(QRect(r.right(), r.top(), 1, r.height()), true, c);
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
    if (!Painter()) return;
    TRect r(std::min(X1, X2), std::min(Y1, Y2), std::max(X1, X2), std::max(Y1, Y2));
    if (r.IsEmpty()) return;
    FillRect(r);
    if (pen_.Style == psClear) return;
    if (pen_.Style == psSolid && pen_.Width <= 1) {
        QColor c = toQColor(pen_.Color);
        fillLine(QRect(r.Left, r.Top, r.Width(), 1), false, c);
        fillLine(QRect(r.Left, r.Bottom - 1, r.Width(), 1), false, c);
        fillLine(QRect(r.Left, r.Top, 1, r.Height()), true, c);
        fillLine(QRect(r.Right - 1, r.Top, 1, r.Height()), true, c);
        return;
    }
    applyPen();
    painter_->setBrush(Qt::NoBrush);
    painter_->drawRect(QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1));
}

void TCanvas::Ellipse(int X1, int Y1, int X2, int Y2) {
    if (!Painter()) return;
    applyPen();
    applyBrush();
    painter_->drawEllipse(QRect(X1, Y1, X2 - X1 - 1, Y2 - Y1 - 1));
}

void TCanvas::Polyline(const TPoint* Points, int Count) {
    if (!Points || Count < 2 || !Painter()) return;
    applyPen();
    QVector<QPoint> pts;
    pts.reserve(Count);
    bool slanted = false;
    for (int i = 0; i < Count; ++i) {
        pts.push_back(Points[i].toQPoint());
        if (i > 0 && pts[i].x() != pts[i - 1].x() && pts[i].y() != pts[i - 1].y()) slanted = true;
    }
    const bool smooth = painter_->testRenderHint(QPainter::Antialiasing);
    if (slanted && !smooth) painter_->setRenderHint(QPainter::Antialiasing, true);
    painter_->drawPolyline(pts.constData(), Count);
    if (slanted && !smooth) painter_->setRenderHint(QPainter::Antialiasing, false);
    PenPos = Points[Count - 1];
}

namespace {

// The advance of a text; a single character is read from the font without shaping a whole run (the
// money cells write their digits one by one).
int Advance(const QFontMetrics& fm, const QString& text) {
    if (text.size() == 1 && !text[0].isSurrogate()) return fm.horizontalAdvance(text[0]);
    return fm.horizontalAdvance(text);
}

}  // namespace

void TCanvas::TextOut(int X, int Y, const QString& Text) {
    if (!Painter()) return;
    applyFont();
    const QFontMetrics& fm = metrics();
    int w = Advance(fm, Text);
    if (brush_.Style != bsClear) painter_->fillRect(QRect(X, Y, w, fm.height()), toQColor(brush_.Color));
    painter_->drawText(X, Y + fm.ascent(), Text);
    PenPos = TPoint(X + w, Y);
}

void TCanvas::TextRect(const TRect& Rect, int X, int Y, const QString& Text) {
    if (!Painter() || Rect.IsEmpty()) return;
    if (brush_.Style != bsClear) painter_->fillRect(Rect.toQRect(), toQColor(brush_.Color));
    if (Text.isEmpty()) return;
    applyFont();
    if (X >= Rect.Left && Y >= Rect.Top) {
        // drawText into a rectangle clips to it only when the text does not fit: the cheap common case.
        if (X < Rect.Right && Y < Rect.Bottom)
            painter_->drawText(QRect(X, Y, Rect.Right - X, Rect.Bottom - Y), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, Text);
        return;
    }
    painter_->save();
    painter_->setClipRect(Rect.toQRect(), Qt::IntersectClip);
    painter_->drawText(X, Y + metrics().ascent(), Text);
    painter_->restore();
}

int TCanvas::DrawText(const QString& Text, TRect& Rect, unsigned Format) {
    int flags = 0;
    if (Format & DT_CENTER) flags |= Qt::AlignHCenter;
    else if (Format & DT_RIGHT) flags |= Qt::AlignRight;
    else flags |= Qt::AlignLeft;
    if (Format & DT_SINGLELINE) {
        flags |= Qt::TextSingleLine;
        if (Format & DT_VCENTER) flags |= Qt::AlignVCenter;
        else if (Format & DT_BOTTOM) flags |= Qt::AlignBottom;
        else flags |= Qt::AlignTop;
    } else {
        flags |= Qt::AlignTop;
    }
    if (Format & DT_WORDBREAK) flags |= Qt::TextWordWrap;
    if (!(Format & DT_NOPREFIX)) flags |= Qt::TextShowMnemonic;

    const QFontMetrics& fm = metrics();
    QString text = Text;
    if ((Format & DT_END_ELLIPSIS) && (Format & DT_SINGLELINE))
        text = fm.elidedText(Text, Qt::ElideRight, Rect.Width());
    QRect bound = fm.boundingRect(Rect.toQRect().isEmpty() && (Format & DT_CALCRECT)
                                      ? QRect(Rect.Left, Rect.Top, (Format & DT_WORDBREAK) ? std::max(Rect.Width(), 1) : 1 << 20, 1 << 20)
                                      : QRect(Rect.Left, Rect.Top, Rect.Width(), 1 << 20),
                                  flags & ~(Qt::AlignVCenter | Qt::AlignBottom), text);
    if (Format & DT_CALCRECT) {
        Rect.Right = Rect.Left + bound.width();
        Rect.Bottom = Rect.Top + bound.height();
        return bound.height();
    }
    if (!Painter()) return bound.height();
    applyFont();
    if (Format & DT_NOCLIP) {
        painter_->drawText(Rect.toQRect(), flags, text);
    } else {
        painter_->save();
        painter_->setClipRect(Rect.toQRect(), Qt::IntersectClip);
        painter_->drawText(Rect.toQRect(), flags, text);
        painter_->restore();
    }
    return bound.height();
}

int TCanvas::TextWidth(const QString& Text) { return TextExtent(Text).cx; }

int TCanvas::TextHeight(const QString&) { return metrics().height(); }

TSize TCanvas::TextExtent(const QString& Text) {
    const QFontMetrics& fm = metrics();
    return TSize(Advance(fm, Text), fm.height());
}

QImage* TCanvas::sourceImage() {
    QPaintDevice* d = device_ ? device_ : (painter_ ? painter_->device() : nullptr);
    if (!d) return nullptr;
    if (d->devType() == QInternal::Image) return static_cast<QImage*>(d);
    return nullptr;
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas* Source, const TRect& SourceRect) {
    if (!Source || Dest.IsEmpty() || SourceRect.IsEmpty() || !Painter()) return;
    QPaintDevice* d = Source->device_ ? Source->device_ : (Source->painter_ ? Source->painter_->device() : nullptr);
    if (!d) return;
    if (d->devType() != QInternal::Image && d->devType() != QInternal::Pixmap) return;
    // A copy of the region, so that copying within one image reads the pixels from before the copy. A
    // picture for a high-DPI screen is copied at its own resolution (its image pixels, not its toolkit
    // pixels), and smoothly where the surface has fewer.
    const qreal r = d->devicePixelRatioF();
    const QRect src = SourceRect.toQRect();
    const QRect at = r == 1 ? src : QRect(qRound(src.x() * r), qRound(src.y() * r), qRound(src.width() * r), qRound(src.height() * r));
    const bool smooth = r != 1 && !painter_->testRenderHint(QPainter::SmoothPixmapTransform);
    if (smooth) painter_->setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (d->devType() == QInternal::Image)
        painter_->drawImage(Dest.toQRect(), static_cast<QImage*>(d)->copy(at));
    else
        painter_->drawPixmap(Dest.toQRect(), static_cast<QPixmap*>(d)->copy(at));
    if (smooth) painter_->setRenderHint(QPainter::SmoothPixmapTransform, false);
}

void TCanvas::Draw(int X, int Y, TBitmap* Graphic) {
    if (!Graphic || Graphic->Empty() || !Painter()) return;
    if (Graphic->Canvas() == this) return;  // drawing an image onto itself copies nothing
    painter_->drawImage(QPoint(X, Y), Graphic->Image());
}

void TCanvas::StretchDraw(const TRect& Rect, TBitmap* Graphic) {
    if (!Graphic || Graphic->Empty() || Rect.IsEmpty() || !Painter()) return;
    if (Graphic->Canvas() == this) return;
    painter_->drawImage(Rect.toQRect(), Graphic->Image());
}

TColor TCanvas::Pixel(int X, int Y) {
    QImage* img = sourceImage();
    if (img && img->devicePixelRatio() != 1) {  // the first image pixel of the toolkit pixel
        X = int(X * img->devicePixelRatio());
        Y = int(Y * img->devicePixelRatio());
    }
    if (!img || !img->valid(X, Y)) return clNone;
    return fromQColor(QColor(img->pixel(X, Y)));
}

void TCanvas::SetPixel(int X, int Y, TColor Color) {
    QImage* img = sourceImage();
    if (!img || !img->valid(int(X * img->devicePixelRatio()), int(Y * img->devicePixelRatio()))) return;
    if (Painter()) painter_->fillRect(QRect(X, Y, 1, 1), toQColor(Color));
}

TRect TCanvas::ClipRect() {
    if (painter_ && painter_->hasClipping()) return TRect::fromQRect(painter_->clipBoundingRect().toAlignedRect());
    QPaintDevice* d = device_ ? device_ : (painter_ ? painter_->device() : nullptr);
    if (!d) return TRect();
    // An image's size is in its own pixels; a picture for a high-DPI screen has more of them.
    const bool picture = d->devType() == QInternal::Image || d->devType() == QInternal::Pixmap;
    const qreal r = picture ? d->devicePixelRatioF() : 1;
    return TRect(0, 0, qRound(d->width() / r), qRound(d->height() / r));
}
