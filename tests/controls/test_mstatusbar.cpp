// MStatusBar: its look on rendered pixels, its published panel properties, and how it behaves in a form
// designer. Each panel text is compared with the same text written by a reference canvas at the origin,
// so the offsets by alignment are checked to the pixel.
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
      ink.left = ink.left < 0 ? x : std::min(ink.left, x);
      ink.right = std::max(ink.right, x);
      ink.top = ink.top < 0 ? y : ink.top;
      ink.bottom = y;  // rows come top to bottom
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

QImage Render(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

TEST(MStatusBar, PanelTextsWhereTheirAlignmentPutsThem) {
  controlsTestApp();
  // pointSize: of the bar's font, in a bar 24 high; ownDraw false: the toolkit draws, with the same offsets.
  struct Case { const char* name; QString text; TAlignment alignment; int pointSize; bool ownDraw; };
  const QString wide = QString::fromUtf16(u"应付账款合计：一二三四五六七八九十一二三四五六七八九十 1234567890");
  const Case cases[] = {
      {"left-justified", QString::fromUtf16(u"数据库 zem"), taLeftJustify, 9, true},
      {"right-justified", QString::fromUtf16(u"行数 42"), taRightJustify, 9, true},
      {"centred", QString::fromUtf16(u"中心 Mid"), taCenter, 9, true},
      {"tall text starts at the top", QString::fromUtf16(u"高Hg"), taLeftJustify, 18, true},
      {"wide right-justified text is clipped", wide, taRightJustify, 9, true},
      {"without Set_Own_Draw the toolkit draws", QString::fromUtf16(u"工具包 draws"), taLeftJustify, 9, false},
      {"the toolkit right-justifies", QString::fromUtf16(u"行数 42"), taRightJustify, 9, false},
      {"the toolkit centres", QString::fromUtf16(u"中心 Mid"), taCenter, 9, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Two panels: an empty one 100 wide, then the one under test reaching the right edge.
    MStatusBar bar;
    bar.SetAlignBottom(false);
    bar.Font()->Size = c.pointSize;
    bar.resize(400, 24);
    bar.Panels()->Add()->SetWidth(100);
    TStatusPanel* p = bar.Panels()->Add();
    p->SetText(c.text);
    p->SetAlignment(c.alignment);
    bool handlerRan = false;
    if (c.ownDraw) bar.Set_Own_Draw();
    else bar.OnDrawPanel = [&](TStatusBar*, TStatusPanel*, const TRect&) { handlerRan = true; };
    const TRect r = bar.PanelRect(1);
    const QImage image = Render(bar);
    EXPECT_FALSE(handlerRan);

    int w = 0, h = 0;
    const Ink ref = Reference_Ink(bar, c.text, &w, &h);
    ASSERT_TRUE(ref.any());
    const int x = c.alignment == taRightJustify ? r.Width() - w - 3 : c.alignment == taCenter ? (r.Width() - w) / 2 : 3;
    const int y = std::max(0, (r.Height() - h) / 2);
    if (c.pointSize == 18) { ASSERT_GT(h, r.Height()) << "the case needs a text taller than the panel"; }
    if (c.text == wide) { ASSERT_LT(x, 0) << "the case needs a text wider than the panel"; }

    const Ink ink = Find_Ink(image, r.toQRect());
    ASSERT_TRUE(ink.any());
    EXPECT_GT(ink.blue, 0) << "the text is drawn in the bar's blue";
    // The text where the reference puts it, shifted by the panel's offsets; clipped to the panel.
    EXPECT_EQ(std::make_tuple(ink.left, ink.right, ink.top),
              std::make_tuple(std::max(r.Left, r.Left + x + ref.left), std::min(r.Right - 1, r.Left + x + ref.right),
                              std::max(r.Top, r.Top + y + ref.top))) << "left, right, top";
    // The panel's background is the bar colour; nothing spills into the empty panel on the left.
    EXPECT_EQ(image.pixel(r.Right - 2, r.Top + 1) & 0xFFFFFF, kBar & 0xFFFFFF);
    EXPECT_FALSE(Find_Ink(image, bar.PanelRect(0).toQRect()).any());
  }
}

TEST(MStatusBar, PublishedPanelProperties) {
  controlsTestApp();
  MStatusBar bar;
  const QStringList texts = {QString::fromUtf16(u"数据库"), QStringLiteral("rows"), QString()};
  struct Case { const char* name; bool ownDraw; QString widths, widthsBack; };  // a new panel is 50 wide
  const Case cases[] = {
      {"plain", false, QStringLiteral("200,120,80"), QStringLiteral("200,120,80")},
      {"own draw set first", true, QStringLiteral("10, 20 ,30"), QStringLiteral("10,20,30")},
      {"an empty entry keeps its panel's place", false, QStringLiteral(",90"), QStringLiteral("50,90,50")},
      {"bad, empty and negative entries", false, QStringLiteral("x,,-5"), QStringLiteral("50,50,0")},
      {"more entries than panels: the last waits for its panel", false, QStringLiteral("1,2,3,4"), QStringLiteral("1,2,3,4")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bar.SetPanelTexts({});
    bar.SetOwnDraw(c.ownDraw);
    EXPECT_TRUE(bar.setProperty("PanelTexts", texts) && bar.setProperty("PanelWidths", c.widths));
    EXPECT_TRUE(bar.property("PanelTexts").toStringList() == texts && bar.property("PanelWidths").toString() == c.widthsBack)
        << bar.property("PanelWidths").toString().toStdString();
    for (int i = 0; i < bar.Panels()->Count(); i++)
      EXPECT_EQ(bar.Panels()->Items(i)->Style(), c.ownDraw ? psOwnerDraw : psText);
  }
  // Widths given before the panels exist (a form may set them first) wait for the next PanelTexts, and
  // panels added after Set_Own_Draw keep the toolkit's style until it runs again.
  MStatusBar early;
  early.SetPanelWidths(QStringLiteral(",70"));
  EXPECT_EQ(early.PanelWidths(), QStringLiteral(",70")) << "read back as given, so a form designer saves it";
  early.SetPanelTexts({QStringLiteral("a"), QStringLiteral("b")});
  EXPECT_EQ(early.PanelWidths(), QStringLiteral("50,70"));
  early.Set_Own_Draw();
  TStatusPanel* later = early.Panels()->Add();
  const TStatusPanelStyle before = later->Style();
  early.Set_Own_Draw();
  EXPECT_EQ(std::make_pair(before, later->Style()), std::make_pair(psText, psOwnerDraw));
}

TEST(MStatusBar, InADesignerItStaysPutAndShowsItself) {
  controlsTestApp();
  // docked: along the bottom of the form after it grows; frame: a dashed grey outline; className: written inside.
  struct Case { const char* name; bool designing, panels, docked, frame, className; };
  const Case cases[] = {
      {"run time: docks, nothing extra", false, false, true, false, false},
      {"designer, fresh: outline and name", true, false, false, true, true},
      {"designer, with panels: outline only", true, true, false, true, false},
  };
  // The form is a shown child, so that its resizes reach the bar at once.
  QWidget window;
  window.resize(500, 400);
  window.show();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* form = new QWidget(&window);
    form->resize(300, 200);
    form->show();
    auto* bar = new MStatusBar(form);
    bar->Set_Designing(c.designing);
    bar->setGeometry(10, 40, 200, 19);  // where the designer put it
    if (c.panels) bar->SetPanelTexts({QString()});
    form->resize(400, 300);
    EXPECT_TRUE(bar->AlignBottom()) << "the stored property is untouched";
    EXPECT_EQ(bar->geometry(), c.docked ? QRect(0, 300 - 19, 400, 19) : QRect(10, 40, 200, 19));

    const QImage image = Render(*bar);
    int grey = 0;
    for (int x = 0; x < image.width(); x++) grey += (image.pixel(x, 0) & 0xFFFFFF) == 0x808080;
    EXPECT_EQ(grey > image.width() / 4, c.frame) << grey;
    const Ink inside = Find_Ink(image, image.rect().adjusted(2, 2, -2, -2));
    EXPECT_EQ(inside.any() && inside.right < image.width() / 2, c.className);
    bar->Set_Designing(false);
    EXPECT_EQ(bar->geometry(), QRect(0, 300 - 19, 400, 19)) << "leaving design mode docks it";
    delete form;
  }
}

}  // namespace
