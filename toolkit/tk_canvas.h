// TCanvas: the toolkit's drawing surface over a QPainter, with its pen, brush and font.
//
// A canvas draws either on a painter that someone else opened (Attach: the grid attaches its paint-event
// painter for the length of one paint) or on a paint device of its own (SetDevice: a TBitmap's QImage,
// painter opened on the first drawing call and closed by End()). Without either, drawing calls do nothing
// and the measuring calls (TextWidth, TextHeight, TextExtent) still answer from the font.
//
// Pen, Brush and Font are owned by the canvas; their fields are public and read at each drawing call, so
// `Canvas->Brush->Color = clRed; Canvas->FillRect(r);` works as in the toolkit. Get/Set pairs exist for
// code written in that form.
//
// Pixel rules follow the toolkit, not Qt: a TRect's Right/Bottom are exclusive; Rectangle() outlines the
// pixels Left..Right-1 x Top..Bottom-1 and fills inside with the brush; LineTo() does not paint the end
// point; TextOut(X, Y) puts the top-left of the text at (X, Y) and, unless the brush style is bsClear,
// fills the text's cell with the brush colour first.
//
// On a scaled surface (a high-DPI screen) the toolkit's pixel is a device-independent one. Straight lines
// (one-pixel outlines, LineTo along an axis, FillLine) then cover a whole number of device pixels, the
// same for every line of one width: the width times the scale, rounded up, from the first device pixel
// the line touches. At whole scales that is the plain scaled line; at 1.5 every one-pixel line is two
// device pixels wide, none one and its neighbour two. Slanted lines and polylines are anti-aliased.
#pragma once

#include "toolkit/tk_color.h"
#include "toolkit/tk_types.h"

#include <QFont>
#include <QFontMetrics>
#include <functional>
#include <memory>
#include <QString>

class QPainter;
class QPaintDevice;
class QImage;
class TBitmap;

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
enum TFontStyle : unsigned { fsBold = 1u, fsItalic = 2u, fsUnderline = 4u, fsStrikeOut = 8u };

// A set of TFontStyle values.
class TFontStyles {
public:
    TFontStyles() = default;
    TFontStyles(TFontStyle s) : bits_(s) {}
    static TFontStyles fromBits(unsigned b) { TFontStyles s; s.bits_ = b & 15u; return s; }
    bool Contains(TFontStyle s) const { return (bits_ & s) != 0; }
    bool Empty() const { return bits_ == 0; }
    TFontStyles& operator<<(TFontStyle s) { bits_ |= s; return *this; }
    TFontStyles& operator>>(TFontStyle s) { bits_ &= ~unsigned(s); return *this; }
    TFontStyles operator|(TFontStyle s) const { return fromBits(bits_ | s); }
    bool operator==(const TFontStyles& o) const { return bits_ == o.bits_; }
    bool operator!=(const TFontStyles& o) const { return bits_ != o.bits_; }
    unsigned bits() const { return bits_; }

private:
    unsigned bits_ = 0;
};

class TPen {
public:
    TColor Color = clBlack;
    int Width = 1;             // 0 draws as 1
    TPenStyle Style = psSolid;

    TColor GetColor() const { return Color; }
    void SetColor(TColor c) { Color = c; }
    int GetWidth() const { return Width; }
    void SetWidth(int w) { Width = w < 0 ? 0 : w; }
    TPenStyle GetStyle() const { return Style; }
    void SetStyle(TPenStyle s) { Style = s; }
    void Assign(const TPen& o) { *this = o; }
};

class TBrush {
public:
    TColor Color = clWhite;
    TBrushStyle Style = bsSolid;

    TColor GetColor() const { return Color; }
    void SetColor(TColor c) { Color = c; }
    TBrushStyle GetStyle() const { return Style; }
    void SetStyle(TBrushStyle s) { Style = s; }
    void Assign(const TBrush& o) { *this = o; }
};

class TFont {
public:
    // Starts as the application's font family at 9 points, black (clWindowText).
    TFont();

    QString Name;              // family name; empty = the application's family
    int Size = 9;              // points; 0 or less = 9
    TFontStyles Style;
    TColor Color = clWindowText;

    QString GetName() const { return Name; }
    void SetName(const QString& n) { Name = n; }
    int GetSize() const { return Size; }
    void SetSize(int s) { Size = s; }
    TFontStyles GetStyle() const { return Style; }
    void SetStyle(TFontStyles s) { Style = s; }
    TColor GetColor() const { return Color; }
    void SetColor(TColor c) { Color = c; }
    void Assign(const TFont& o) { *this = o; }

    // The QFont these fields describe.
    QFont toQFont() const;
    // Sets Name, Size and Style from a QFont (Color is left alone).
    void fromQFont(const QFont& f);
};

// Text layout flags of DrawText, as the toolkit numbers them.
enum : unsigned {
    DT_LEFT = 0x0, DT_CENTER = 0x1, DT_RIGHT = 0x2, DT_VCENTER = 0x4, DT_BOTTOM = 0x8,
    DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20, DT_NOCLIP = 0x100, DT_CALCRECT = 0x400,
    DT_NOPREFIX = 0x800, DT_END_ELLIPSIS = 0x8000,
};

class TCanvas {
public:
    TCanvas();
    // Draws on a painter opened by the caller (not owned); the painter must outlive the use.
    explicit TCanvas(QPainter* painter);
    ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    TPen* const Pen;
    TBrush* const Brush;
    TFont* const Font;
    TPoint PenPos;

    // Binds the canvas to a painter opened by someone else (null unbinds). Ends an own painter first.
    void Attach(QPainter* painter);
    void Detach() { Attach(nullptr); }
    // Binds the canvas to a device it paints on itself (a TBitmap's image); null unbinds.
    void SetDevice(QPaintDevice* device);
    // Closes the canvas's own painter (the device's pixels are then complete); the next drawing call
    // opens it again. Does nothing on an attached painter.
    void End();
    // The painter in use, opening the own one when needed; null when the canvas is not bound.
    QPainter* Painter();
    bool HandleAllocated() const { return painter_ != nullptr || device_ != nullptr; }

    TPoint GetPenPos() const { return PenPos; }
    void SetPenPos(const TPoint& p) { PenPos = p; }

    void MoveTo(int X, int Y);
    void LineTo(int X, int Y);
    // Fills a grid line (Rect is Width pixels of it across when Vertical, else Height down) in Color,
    // whole device pixels at any scale (see above).
    void FillLine(const TRect& Rect, bool Vertical, TColor Color);
    // Runs draw with the origin moved to (DX, DY) and the drawing clipped to Clip (in the coordinates
    // before the move): a piece of a larger picture drawn straight into its place at the surface's own
    // resolution, as a header unit's caption is drawn into each of its cells. The pen position is kept.
    void DrawMoved(const TRect& Clip, int DX, int DY, const std::function<void()>& draw);
    void FillRect(const TRect& Rect);
    // Outlines Rect with the brush colour, one pixel wide.
    void FrameRect(const TRect& Rect);
    void Rectangle(int X1, int Y1, int X2, int Y2);
    void Rectangle(const TRect& Rect) { Rectangle(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }
    void Ellipse(int X1, int Y1, int X2, int Y2);
    void Polyline(const TPoint* Points, int Count);

    void TextOut(int X, int Y, const QString& Text);
    // Fills Rect with the brush (unless bsClear) and writes Text at (X, Y) clipped to Rect.
    void TextRect(const TRect& Rect, int X, int Y, const QString& Text);
    // Lays Text out in Rect by DT_ flags; with DT_CALCRECT only measures and sets Rect's Right/Bottom.
    // Returns the height of the text.
    int DrawText(const QString& Text, TRect& Rect, unsigned Format);
    int TextWidth(const QString& Text);
    int TextHeight(const QString& Text);
    TSize TextExtent(const QString& Text);

    // Copies SourceRect of Source's pixels into Dest (scaled when the sizes differ). The source must paint
    // on an image or a pixmap (a TBitmap's canvas); other sources copy nothing.
    void CopyRect(const TRect& Dest, TCanvas* Source, const TRect& SourceRect);
    void Draw(int X, int Y, TBitmap* Graphic);
    void StretchDraw(const TRect& Rect, TBitmap* Graphic);

    // Pixels of an image-backed canvas; other canvases read clNone and ignore writes.
    TColor Pixel(int X, int Y);
    void SetPixel(int X, int Y, TColor Color);

    // The area drawing may touch: the painter's clip, or the whole device.
    TRect ClipRect();

private:
    void fillLine(const QRect& r, bool vertical, const QColor& c);
    void applyPen();
    void applyNoPen();
    void applyBrush();
    void applyFont();
    QImage* sourceImage();
    // The QFont and metrics of Font, rebuilt only when its name, size or style changed.
    const QFont& qfont();
    const QFontMetrics& metrics();

    TPen pen_;
    TBrush brush_;
    TFont font_;
    QPainter* painter_ = nullptr;     // attached (not owned) or own_
    QPainter* own_ = nullptr;         // owned painter on device_
    QPaintDevice* device_ = nullptr;  // not owned: the bitmap's image

    QFont cachedFont_;
    std::unique_ptr<QFontMetrics> cachedMetrics_;
    QString cachedName_;
    int cachedSize_ = -1;
    TFontStyles cachedStyle_;
    int fontSerial_ = 0;          // bumped when cachedFont_ changes
    int painterFontSerial_ = -1;  // the serial the painter was last given
};
