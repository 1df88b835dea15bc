// MStatusBar: its look on rendered pixels. Each owner-drawn text is compared with the same text written
// by a reference canvas at the origin, so the offsets by alignment are checked to the pixel.
#include <QImage>
#include <QPainter>

#include "controls/inputs/Mstatusbar.h"
#include "controls_test_app.h"

namespace {

const QRgb kBar = qRgb(0xEE, 0xEF, 0xEF);  // EFEFEE in 00BBGGRR

struct Ink {
  int left = -1, right = -1, top = -1, bottom = -1;  // inclusive bounds; -1 when there is none
  int blue = 0;                                       // pixels of pure text colour
  bool any() const { return left >= 0; }
};

// Where the pixels of image inside area differ from the bar colour.
Ink Find_Ink(const QImage& image, const QRect& area) {
  Ink ink;
  for (int y = area.top(); y <= area.bottom(); y++) {
    for (int x = area.left(); x <= area.right(); x++) {
      const QRgb p = image.pixel(x, y);
      if ((p & 0xFFFFFF) == (kBar & 0xFFFFFF)) continue;
      if (qBlue(p) > 200 && qRed(p) < 90 && qGreen(p) < 90) ink.blue++;
      if (ink.left < 0 || x < ink.left) ink.left = x;
      if (x > ink.right) ink.right = x;
      if (ink.top < 0 || y < ink.top) ink.top = y;
      if (y > ink.bottom) ink.bottom = y;
    }
  }
  return ink;
}

// The text as the bar's canvas writes it at (0, 0) on a bar-coloured image.
Ink Reference_Ink(MStatusBar& bar, const QString& text, int* width, int* height) {
  TCanvas canvas;
  QImage image(1200, 200, QImage::Format_RGB32);
  image.fill(kBar);
  canvas.SetDevice(&image);
  canvas.Font->Assign(*bar.Font());
  canvas.Brush->Color = MStatusBar::kBar_Color;
  *width = canvas.TextWidth(text);
  *height = canvas.TextHeight(text);
  canvas.TextOut(0, 0, text);
  canvas.End();
  canvas.SetDevice(nullptr);
  return Find_Ink(image, image.rect());
}

QImage Render(MStatusBar& bar) { return bar.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// A bar of two panels: an empty one 100 wide, then the one under test reaching the right edge.
void Build(MStatusBar& bar, int height, const QString& text, TAlignment alignment) {
  bar.SetAlignBottom(false);
  bar.resize(400, height);
  bar.Panels()->Add()->SetWidth(100);
  TStatusPanel* p = bar.Panels()->Add();
  p->SetText(text);
  p->SetAlignment(alignment);
}

TEST(MStatusBar, ConstructionSetsTheLook) {
  controlsTestApp();
  MStatusBar bar;
  EXPECT_EQ(bar.Color(), 0xEFEFEE);
  EXPECT_EQ(bar.Font()->Color, 0xFF0000);
  EXPECT_EQ(toQColor(bar.Font()->Color), QColor(0, 0, 0xFF));
  EXPECT_FALSE(bar.UseSystemFont());
  EXPECT_TRUE(static_cast<bool>(bar.OnDrawPanel));
  EXPECT_EQ(bar.Set_Own_Draw(), 1);  // no panels: still 1
}

TEST(MStatusBar, OwnerDrawnPanelOffsets) {
  controlsTestApp();
  struct Case {
    const char* name;
    QString text;
    TAlignment alignment;
    int height;     // of the bar
    int pointSize;  // of the bar's font
  };
  const QString wide = QString::fromUtf16(u"应付账款合计：一二三四五六七八九十一二三四五六七八九十 1234567890");
  const Case cases[] = {
      {"left-justified", QString::fromUtf16(u"数据库 zem"), taLeftJustify, 24, 9},
      {"right-justified", QString::fromUtf16(u"行数 42"), taRightJustify, 24, 9},
      {"centred", QString::fromUtf16(u"中心 Mid"), taCenter, 24, 9},
      {"tall text starts at the top", QString::fromUtf16(u"高Hg"), taLeftJustify, 24, 18},
      {"wide right-justified text is clipped", wide, taRightJustify, 24, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MStatusBar bar;
    bar.Font()->Size = c.pointSize;
    Build(bar, c.height, c.text, c.alignment);
    bar.Set_Own_Draw();
    ASSERT_EQ(bar.Panels()->Items(1)->Style(), psOwnerDraw);
    const TRect r = bar.PanelRect(1);
    const QImage image = Render(bar);

    int w = 0, h = 0;
    const Ink ref = Reference_Ink(bar, c.text, &w, &h);
    ASSERT_TRUE(ref.any());
    int x = 3;
    if (c.alignment == taRightJustify) x = r.Width() - w - 3;
    if (c.alignment == taCenter) x = (r.Width() - w) / 2;
    const int y = std::max(0, (r.Height() - h) / 2);
    if (c.pointSize == 18) {
      ASSERT_GT(h, r.Height()) << "the case needs a text taller than the panel";
      EXPECT_EQ(y, 0);
    }
    if (c.text == wide) {
      EXPECT_LT(x, 0);
    }

    const Ink ink = Find_Ink(image, r.toQRect());
    ASSERT_TRUE(ink.any());
    EXPECT_GT(ink.blue, 0) << "the text is drawn in the bar's blue";
    // The text where the reference puts it, shifted by the panel's offsets; clipped to the panel.
    EXPECT_EQ(ink.left, std::max(r.Left, r.Left + x + ref.left));
    EXPECT_EQ(ink.right, std::min(r.Right - 1, r.Left + x + ref.right));
    EXPECT_EQ(ink.top, std::max(r.Top, r.Top + y + ref.top));
    // Nothing spills into the empty panel on the left, whose inside stays the bar colour.
    EXPECT_FALSE(Find_Ink(image, bar.PanelRect(0).toQRect()).any());
  }
}

TEST(MStatusBar, PanelBackgroundIsTheBarColour) {
  controlsTestApp();
  MStatusBar bar;
  Build(bar, 24, QStringLiteral("x"), taLeftJustify);
  bar.Set_Own_Draw();
  const QImage image = Render(bar);
  const TRect r = bar.PanelRect(1);
  EXPECT_EQ(image.pixel(r.Right - 2, r.Top + 1) & 0xFFFFFF, kBar & 0xFFFFFF);
  EXPECT_EQ(image.pixel(r.Left + 200, r.Bottom - 2) & 0xFFFFFF, kBar & 0xFFFFFF);
}

TEST(MStatusBar, WithoutSetOwnDrawTheToolkitDrawsInTheBarColours) {
  controlsTestApp();
  MStatusBar bar;
  Build(bar, 24, QString::fromUtf16(u"工具包 draws"), taLeftJustify);
  EXPECT_EQ(bar.Panels()->Items(1)->Style(), psText);
  bool handlerRan = false;
  bar.OnDrawPanel = [&](TStatusBar*, TStatusPanel*, const TRect&) { handlerRan = true; };
  const QImage image = Render(bar);
  EXPECT_FALSE(handlerRan);
  const TRect r = bar.PanelRect(1);
  EXPECT_EQ(image.pixel(r.Right - 2, r.Top + 1) & 0xFFFFFF, kBar & 0xFFFFFF);
  const Ink ink = Find_Ink(image, r.toQRect());
  ASSERT_TRUE(ink.any());
  EXPECT_GT(ink.blue, 0);
}

TEST(MStatusBar, PanelsAddedLaterKeepTheDefaultStyle) {
  controlsTestApp();
  MStatusBar bar;
  bar.Panels()->Add();
  bar.Set_Own_Draw();
  TStatusPanel* later = bar.Panels()->Add();
  EXPECT_EQ(bar.Panels()->Items(0)->Style(), psOwnerDraw);
  EXPECT_EQ(later->Style(), psText);
  bar.Set_Own_Draw();
  EXPECT_EQ(later->Style(), psOwnerDraw);
}

TEST(MStatusBar, PublishedPanelProperties) {
  controlsTestApp();
  MStatusBar bar;
  const QStringList texts = {QString::fromUtf16(u"数据库"), QStringLiteral("rows"), QString()};
  struct Case {
    const char* name;
    bool ownDrawFirst;
    QString widths;
    QString widthsBack;
  };
  const Case cases[] = {
      {"plain", false, QStringLiteral("200,120,80"), QStringLiteral("200,120,80")},
      {"own draw set first", true, QStringLiteral("10, 20 ,30"), QStringLiteral("10,20,30")},
      {"bad and missing widths keep the old", false, QStringLiteral("x,,-5"), QStringLiteral("50,0,50")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bar.SetPanelTexts({});
    bar.SetOwnDraw(c.ownDrawFirst);
    EXPECT_TRUE(bar.setProperty("PanelTexts", texts));
    EXPECT_TRUE(bar.setProperty("PanelWidths", c.widths));
    EXPECT_EQ(bar.property("PanelTexts").toStringList(), texts);
    EXPECT_EQ(bar.property("PanelWidths").toString(), c.widthsBack);
    for (int i = 0; i < bar.Panels()->Count(); i++)
      EXPECT_EQ(bar.Panels()->Items(i)->Style(), c.ownDrawFirst ? psOwnerDraw : psText);
  }
}

}  // namespace
