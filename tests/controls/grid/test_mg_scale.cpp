// TMG on a scaled screen: the grid rendered at device pixel ratios 2 and 1.5, looked at pixel by pixel.
#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"

#include "toolkit/tk_image.h"

#include <QSet>
#include <QImage>
#include <QTemporaryDir>
#include <cmath>
#include <map>
#include <vector>

namespace {

// The viewport as a screen at ratio dpr shows it: one image pixel per device pixel.
QImage Render(TStringGrid& g, qreal dpr) {
  QImage img((QSizeF(g.viewport()->size()) * dpr).toSize(), QImage::Format_RGB32);
  img.setDevicePixelRatio(dpr);
  img.fill(Qt::white);
  g.viewport()->render(&img);
  return img;
}

// Device-pixel blocks of 2x2 in a cell's inside (toolkit coordinates) that hold more than one colour. A
// header drawn at 1x and scaled up has none: each of its pixels became one whole block.
int Mixed_Blocks(const QImage& img, const TRect& r) {
  int n = 0;
  for (int y = 2 * (r.Top + 2); y < 2 * (r.Bottom - 2); y += 2)
    for (int x = 2 * (r.Left + 2); x < 2 * (r.Right - 2); x += 2) {
      const QRgb p = img.pixel(x, y);
      if (img.pixel(x + 1, y) != p || img.pixel(x, y + 1) != p || img.pixel(x + 1, y + 1) != p) ++n;
    }
  return n;
}

// Widths in device pixels of the runs of a grid line's colour along row y.
std::map<int, int> Line_Widths(const QImage& img, int y, QRgb line) {
  std::map<int, int> widths;  // width -> how many lines
  for (int x = 0; x < img.width();) {
    int w = 0;
    while (x + w < img.width() && img.pixel(x + w, y) == line) ++w;
    if (w > 0) ++widths[w];
    x += w > 0 ? w : 1;
  }
  return widths;
}

}  // namespace

// Header captions, plain and of a header unit, are drawn at the screen's resolution; grid lines are one
// toolkit pixel wide at every scale (whole device pixels, the same for every line); marks are smooth.
TEST(MgScale, HeadersLinesAndMarksAtEveryRatio) {
  controlsTestApp();
  TMG g;
  g.resize(640, 220);
  g.SetColCount(6);
  g.SetRowCount(5);
  g.SetFixedRows(2);
  g.SetADEF({QStringLiteral("Ref"), QStringLiteral("Memo"), QStringLiteral("Amount,money"), QStringLiteral("Ok,bool"),
             QStringLiteral("Note")});
  g.SetBDEF({QStringLiteral("unit,1,0,2,0,记账凭证摘要"), QStringLiteral("unit,3,0,5,0,金额与核对")});
  g.SetCells(1, 1, QStringLiteral("凭证号"));
  g.SetV(4, 2, "Y");
  g.SetV(4, 3, "N");
  for (int c = 1; c < 6; ++c)
    if (c != 3) g.SetColWidths(c, 61 + c);  // odd and even widths: lines land on every device-pixel phase
  g.SetOptions(g.Options() >> goAlwaysShowEditor >> goEditing);

  const QImage two = Render(g, 2);
  struct Header {
    const char* what;
    int col, row;
  } headers[] = {{"header unit, first cell", 1, 0}, {"header unit, second cell", 2, 0}, {"plain header cell", 1, 1}};
  for (const Header& h : headers)
    EXPECT_GT(Mixed_Blocks(two, g.CellRect(h.col, h.row)), 10) << h.what << ": drawn at full resolution";

  // The toolkit's own grid lines too (the data grid draws its lines with the cells).
  TStringGrid plain;
  plain.resize(640, 220);
  plain.SetColCount(6);
  for (int c = 0; c < 6; ++c) plain.SetColWidths(c, 61 + c);
  struct Lines {
    const char* what;
    TStringGrid* grid;
    QRgb colour;
    int col;
    std::vector<int> rows;
  } grids[] = {{"data grid", &g, qRgb(0xA2, 0xC8, 0xA2), 2, {0, 1, 3}}, {"toolkit grid", &plain, qRgb(0xC0, 0xC0, 0xC0), 2, {2}}};
  for (const Lines& l : grids)
    for (qreal dpr : {1.0, 1.5, 2.0}) {
      const QImage img = Render(*l.grid, dpr);
      const int want = int(std::ceil(dpr));
      for (int row : l.rows) {
        const TRect r = l.grid->CellRect(l.col, row);
        const std::map<int, int> widths = Line_Widths(img, int((r.Top + r.Bottom) / 2 * dpr), l.colour);
        ASSERT_GE(widths.size(), 1u) << l.what << ", ratio " << dpr << ", row " << row;
        EXPECT_EQ(widths.begin()->first, want) << l.what << ", ratio " << dpr << ", row " << row << ": thinnest";
        EXPECT_EQ(widths.rbegin()->first, want) << l.what << ", ratio " << dpr << ", row " << row << ": widest";
      }
    }

  // A mark's slanted strokes are smoothed: colours between the stroke's and the cell's at their edges.
  const QImage one = Render(g, 1);
  for (int row : {2, 3}) {
    const TRect r = g.CellRect(4, row);
    QSet<QRgb> colours;
    for (int y = r.Top + 2; y < r.Bottom - 2; ++y)
      for (int x = r.Left + 2; x < r.Right - 2; ++x) colours.insert(one.pixel(x, y));
    EXPECT_GT(colours.size(), 6) << "row " << row;
  }
}

// A picture read from "name.png" comes from "name@2x.png" at ratio 2 when that lies beside it, and the
// grid's empty area then shows its every device pixel.
TEST(MgScale, PictureTakenAtTwiceTheResolution) {
  controlsTestApp();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QImage plain(100, 80, QImage::Format_RGB32);
  plain.fill(Qt::red);
  QImage fine(200, 160, QImage::Format_RGB32);
  for (int x = 0; x < 200; ++x)
    for (int y = 0; y < 160; ++y) fine.setPixel(x, y, x % 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
  ASSERT_TRUE(plain.save(dir.filePath(QStringLiteral("paper.png"))));
  ASSERT_TRUE(plain.save(dir.filePath(QStringLiteral("alone.png"))));
  ASSERT_TRUE(fine.save(dir.filePath(QStringLiteral("paper@2x.png"))));
  struct Row {
    const char* file;
    qreal ratio;
    QRgb at0, at1;  // device pixels 0 and 1 of a band row
  } rows[] = {{"paper.png", 2, qRgb(255, 255, 255), qRgb(0, 0, 0)}, {"alone.png", 1, qRgb(255, 0, 0), qRgb(255, 0, 0)}};
  for (const Row& r : rows) {
    TImage pic;
    ASSERT_TRUE(pic.Bitmap()->LoadFromFile(dir.filePath(QString::fromLatin1(r.file))));
    EXPECT_EQ(pic.Bitmap()->DevicePixelRatio(), r.ratio) << r.file;
    EXPECT_EQ(pic.Width(), 100) << r.file;
    EXPECT_EQ(pic.Height(), 80) << r.file;
    TMG g;
    g.resize(300, 200);
    g.SetColCount(2);
    g.SetRowCount(2);
    g.Set_Background_Image(&pic);
    const QImage img = Render(g, 2);
    const int y = 2 * (g.GridHeight() + 10);
    EXPECT_EQ(img.pixel(20, y), r.at0) << r.file;
    EXPECT_EQ(img.pixel(21, y), r.at1) << r.file;
  }
}
