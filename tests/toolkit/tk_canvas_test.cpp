// TColor conversion, TCanvas drawing rules and TBitmap, checked on the pixels of real images.
#include "toolkit/tk_canvas.h"
#include "toolkit/tk_image.h"
#include "tk_test_app.h"

#include <QPalette>
#include <gtest/gtest.h>

namespace {

QRgb rgb(TColor c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); }

// The pixel of a bitmap as 0xRRGGBB, so failures print readable colours.
unsigned px(TBitmap& b, int x, int y) { return b.Image().pixel(x, y) & 0xFFFFFFu; }
unsigned hex(TColor c) { return rgb(c) & 0xFFFFFFu; }

using CanvasTest = zt::TkTest;

TEST_F(CanvasTest, ColourConversion) {
    struct Row { const char* name; TColor in; int r, g, b; };
    const Row rows[] = {
        {"selected cell colour", TColor(0xF16555), 0x55, 0x65, 0xF1}, {"red is the low byte", clRed, 255, 0, 0},
        {"blue is the third byte", clBlue, 0, 0, 255}, {"grid line colour", TColor(0xA2C8A2), 0xA2, 0xC8, 0xA2},
        {"built by TkRGB", TkRGB(1, 2, 3), 1, 2, 3},
    };
    for (const Row& r : rows) {
        QColor q = toQColor(r.in);
        EXPECT_EQ(q, QColor(r.r, r.g, r.b)) << r.name;
        EXPECT_EQ(fromQColor(q), r.in) << r.name;
    }
    // System colours come from the palette; markers are not colours.
    EXPECT_EQ(toQColor(clBtnFace), QGuiApplication::palette().color(QPalette::Active, QPalette::Button));
    EXPECT_EQ(ColorToRGB(clWindow), fromQColor(QGuiApplication::palette().color(QPalette::Active, QPalette::Base)));
    EXPECT_TRUE(ColorToRGB(clRed) == clRed && toQColor(clNone).alpha() == 0);
}

// Rectangle outlines with the pen and fills with the brush, right and bottom bounds outside;
// FillRect fills with the brush (a clear brush fills nothing), FrameRect outlines with the brush.
TEST_F(CanvasTest, RectanglesFillsAndFrames) {
    TBitmap b(40, 20);
    TCanvas* c = b.Canvas();
    c->Brush->Color = clYellow, c->Pen->Color = clBlue, c->Rectangle(2, 3, 8, 10);
    c->Brush->Color = clGreen, c->FillRect(TRect(20, 0, 25, 5));
    c->Brush->Style = bsClear, c->FillRect(TRect(30, 10, 35, 15));
    c->Brush->Style = bsSolid, c->Brush->Color = clRed, c->FrameRect(TRect(30, 10, 35, 15));
    struct Row { const char* name; int x, y; TColor want; };
    const Row rows[] = {
        {"rectangle: top-left corner is outline", 2, 3, clBlue}, {"rectangle: last column is outline", 7, 5, clBlue},
        {"rectangle: last row is outline", 4, 9, clBlue}, {"rectangle: right bound is outside", 8, 5, clWhite},
        {"rectangle: bottom bound is outside", 4, 10, clWhite}, {"rectangle: inside is brush", 4, 5, clYellow},
        {"fill: last pixel", 24, 4, clGreen}, {"fill: bounds outside", 25, 5, clWhite},
        {"frame: left edge", 30, 12, clRed}, {"frame: right edge", 34, 12, clRed},
        {"frame, clear-brush fill: inside untouched", 32, 12, clWhite},
    };
    for (const Row& r : rows) EXPECT_EQ(px(b, r.x, r.y), hex(r.want)) << r.name;
}

TEST_F(CanvasTest, LineToLeavesTheEndPoint) {
    // The start is ink, the end is not; a clear pen draws nothing but still moves.
    struct Row { const char* name; TPenStyle pen; int x0, y0, x1, y1; TColor start; };
    const Row rows[] = {{"rightward", psSolid, 2, 5, 10, 5, clBlack}, {"leftward", psSolid, 10, 6, 2, 6, clBlack},
                        {"downward", psSolid, 4, 2, 4, 12, clBlack},  {"upward", psSolid, 6, 12, 6, 2, clBlack},
                        {"clear pen", psClear, 0, 0, 10, 0, clWhite}};
    for (const Row& r : rows) {
        TBitmap b(16, 16);
        TCanvas* c = b.Canvas();
        c->Pen->Color = clBlack, c->Pen->Style = r.pen;
        c->MoveTo(r.x0, r.y0), c->LineTo(r.x1, r.y1);
        EXPECT_EQ(px(b, r.x0, r.y0), hex(r.start)) << r.name;
        EXPECT_EQ(px(b, r.x1, r.y1), hex(clWhite)) << r.name;
        EXPECT_EQ(c->PenPos, TPoint(r.x1, r.y1)) << r.name;
    }
}

TEST_F(CanvasTest, TextOutFillsItsCellUnlessTheBrushIsClear) {
    TBitmap b(120, 40);
    TCanvas* c = b.Canvas();
    c->Font->Color = clBlack, c->Brush->Color = clAqua, c->TextOut(2, 2, QStringLiteral("Wg"));
    TSize ext = c->TextExtent(QStringLiteral("Wg"));
    ASSERT_TRUE(ext.cx > 0 && ext.cy > 0);
    EXPECT_EQ(c->PenPos.x, 2 + ext.cx);
    // Somewhere in the text box is background, and something is ink.
    int aqua = 0, dark = 0;
    for (int y = 2; y < 2 + ext.cy; ++y)
        for (int x = 2; x < 2 + ext.cx; ++x) {
            aqua += px(b, x, y) == hex(clAqua), dark += qGray(px(b, x, y)) < 100;
        }
    EXPECT_TRUE(aqua > 0 && dark > 0) << aqua << " background, " << dark << " ink";
    EXPECT_EQ(px(b, 2 + ext.cx + 2, 2), hex(clWhite)) << "nothing right of the text";

    TBitmap clear(120, 40);
    clear.Canvas()->Brush->Style = bsClear, clear.Canvas()->TextOut(2, 2, QStringLiteral("Wg"));
    int tinted = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x) tinted += px(clear, x, y) == hex(clAqua);
    EXPECT_EQ(tinted, 0);
}

TEST_F(CanvasTest, TextRectClipsToItsRectangle) {
    TBitmap b(200, 30);
    TCanvas* c = b.Canvas();
    c->Brush->Color = clYellow, c->Font->Color = clBlack;
    c->TextRect(TRect(10, 0, 30, 30), 12, 2, QStringLiteral("WWWWWWWWWWWWWWWWWWWW"));
    for (int y = 0; y < 30; ++y)
        for (int x = 30; x < 200; ++x) ASSERT_EQ(px(b, x, y), hex(clWhite)) << x << "," << y;
    EXPECT_EQ(px(b, 10, 0), hex(clYellow));
}

TEST_F(CanvasTest, FontMeasuresWithoutADevice) {
    TCanvas c;  // bound to nothing: drawing is ignored, measuring works
    c.FillRect(TRect(0, 0, 10, 10));
    c.Font->Size = 9;
    const int wide = c.TextWidth(QStringLiteral("WWWW"));
    EXPECT_LT(c.TextWidth(QStringLiteral("i")), wide);
    c.Font->Size = 20;
    EXPECT_GT(c.TextHeight(QStringLiteral("W")), 0);
    EXPECT_GT(c.TextWidth(QStringLiteral("WWWW")), wide) << "a larger size is measured at once";
}

TEST_F(CanvasTest, CopyRectAndDrawBetweenBitmaps) {
    TBitmap src(10, 10);
    src.Canvas()->Brush->Color = clRed, src.Canvas()->FillRect(TRect(0, 0, 5, 5));
    TBitmap dst(20, 20);
    dst.Canvas()->CopyRect(TRect(10, 10, 15, 15), src.Canvas(), TRect(0, 0, 5, 5)), dst.Canvas()->Draw(0, 0, &src);
    // Corners of the copy, the first pixel past it, the drawn bitmap's red and white parts.
    EXPECT_EQ(std::vector<unsigned>({px(dst, 10, 10), px(dst, 14, 14), px(dst, 15, 15), px(dst, 2, 2), px(dst, 7, 7)}),
              std::vector<unsigned>({hex(clRed), hex(clRed), hex(clWhite), hex(clRed), hex(clWhite)}));
    // Copying inside one bitmap reads the pixels from before the copy.
    src.Canvas()->CopyRect(TRect(3, 3, 8, 8), src.Canvas(), TRect(0, 0, 5, 5));
    EXPECT_EQ(px(src, 7, 7), hex(clRed));
    // A null source or empty rectangles copy nothing.
    dst.Canvas()->CopyRect(TRect(0, 0, 5, 5), nullptr, TRect(0, 0, 5, 5));
    dst.Canvas()->CopyRect(TRect(0, 0, 0, 0), src.Canvas(), TRect(5, 5, 10, 10));
    EXPECT_EQ(px(dst, 2, 2), hex(clRed));
}

TEST_F(CanvasTest, BitmapResizeKeepsPixelsAndPixelAccess) {
    TBitmap b(4, 4);
    b.Canvas()->SetPixel(1, 1, clBlue);
    EXPECT_EQ(b.Canvas()->Pixel(1, 1), clBlue);
    EXPECT_EQ(b.Canvas()->Pixel(50, 50), clNone) << "outside the image";
    b.SetSize(8, 6);
    EXPECT_TRUE(b.Width() == 8 && b.Height() == 6);
    EXPECT_TRUE(px(b, 1, 1) == hex(clBlue) && px(b, 7, 5) == hex(clWhite)) << "kept, and the new part white";
    b.SetSize(-3, 2);
    EXPECT_TRUE(b.Empty());
    TImage img;
    img.SetSize(5, 5), img.Canvas()->Brush->Color = clLime, img.Canvas()->FillRect(TRect(0, 0, 5, 5));
    EXPECT_EQ(px(*img.Bitmap(), 4, 4), hex(clLime));
}

}  // namespace
