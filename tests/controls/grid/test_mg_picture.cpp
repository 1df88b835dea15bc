// The background picture under the empty area of a TMG, and the hover highlight, checked on pixels.
#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"
#include "toolkit/tk_image.h"

#include <QImage>
#include <QTest>
#include <cstdlib>

namespace {

QRgb Rgb(TColor c) { return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

bool Near(QRgb a, TColor c, int tol = 8) {
  const QRgb b = Rgb(c);
  return std::abs(qRed(a) - qRed(b)) <= tol && std::abs(qGreen(a) - qGreen(b)) <= tol &&
         std::abs(qBlue(a) - qBlue(b)) <= tol;
}

const TColor kLeftHalf = 0xFF0000;   // blue
const TColor kRightHalf = 0x00FF00;  // lime

// The application exists before the first widget member is built.
struct AppFirst {
  AppFirst() { controlsTestApp(); }
};

// A grid of three 50-pixel columns and three 25-pixel rows in a larger view: 150 x 75 covered.
struct Small : AppFirst {
  TMG g;
  TImage pic;
  Small(int picW, int picH) {
    g.resize(420, 300);
    g.SetColCount(3);
    g.SetRowCount(3);
    for (int c = 0; c < 3; ++c) g.SetColWidths(c, 50);
    g.SetCells(1, 1, QStringLiteral("x"));
    // Two halves of different colours show that each band takes the picture's pixels at the same place.
    pic.SetSize(picW, picH);
    pic.Canvas()->Brush->SetColor(kLeftHalf);
    pic.Canvas()->FillRect(TRect{0, 0, picW, picH});
    pic.Canvas()->Brush->SetColor(kRightHalf);
    pic.Canvas()->FillRect(TRect{200, 0, picW, picH});
  }
  QImage Shot() { return g.viewport()->grab().toImage(); }
};

}  // namespace

TEST(MgPicture, BandsBelowAndRightOfTheCellsShowThePicture) {
  Small t(600, 400);
  ASSERT_EQ(t.g.GridHeight(), 75);
  ASSERT_EQ(t.g.GridWidth(), 150);
  EXPECT_EQ(t.g.Set_Background_Image(&t.pic), 1);
  EXPECT_EQ(t.g.Background_Image(), &t.pic);
  const QImage img = t.Shot();
  struct Probe {
    const char* what;
    int x, y;
    TColor expect;
    bool picture;
  } probes[] = {
      {"below the rows, left half", 100, 200, kLeftHalf, true},
      {"below the rows, right half", 300, 200, kRightHalf, true},
      {"right of the columns, beside row 1", 300, 35, kRightHalf, true},
      {"right of the columns, left half", 170, 10, kLeftHalf, true},
      {"first pixel below the last row", 20, 75, kLeftHalf, true},
      {"inside a data cell", 75, 40, kLeftHalf, false},
      {"inside a header cell", 75, 10, kLeftHalf, false},
  };
  for (const Probe& p : probes) {
    const QRgb px = img.pixel(p.x, p.y);
    EXPECT_EQ(Near(px, p.expect), p.picture) << p.what << " " << qRed(px) << "," << qGreen(px) << ","
                                             << qBlue(px);
  }
}

TEST(MgPicture, NoPictureOrASmallOneLeavesTheGridColour) {
  Small t(260, 120);
  QImage plain = t.Shot();
  const QRgb empty = plain.pixel(300, 200);
  EXPECT_FALSE(Near(empty, kRightHalf));

  t.g.Set_Background_Image(&t.pic);
  QImage img = t.Shot();
  EXPECT_TRUE(Near(img.pixel(230, 100), kRightHalf));  // inside the picture
  EXPECT_EQ(img.pixel(300, 200), empty);               // beyond it: the grid's own colour, not black
  EXPECT_EQ(img.pixel(230, 150), empty);

  // Rows that fill the view leave no band below them.
  t.g.SetRowCount(40);
  img = t.Shot();
  EXPECT_FALSE(Near(img.pixel(20, 110), kLeftHalf));
  EXPECT_TRUE(Near(img.pixel(230, 100), kRightHalf));  // the band right of the columns stays

  t.g.Set_Background_Image(nullptr);
  img = t.Shot();
  EXPECT_EQ(img.pixel(230, 100), empty);
}

// Row hover on: the row under the mouse is tinted, the current cell and other rows are not.
TEST(MgPicture, HoverTintsTheRowUnderTheMouse) {
  controlsTestApp();
  TMG g;
  g.resize(400, 250);
  g.SetColCount(4);
  g.SetRowCount(6);
  g.Row_Hover = 1;
  g.show();
  g.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&g));
  const TRect cell = g.CellRect(2, 3);
  g.TMG_OnMouseMove(&g, TShiftState(), cell.Left + 5, cell.Top + 5);
  EXPECT_EQ(g.Last_Hover_Row, 3);
  EXPECT_EQ(g.Last_Hover_Col, 2);
  TColor c, b;
  g.Get_Color(2, 3, c, b);
  EXPECT_EQ(b, 0x61FFFF);
  g.Get_Color(2, 4, c, b);
  EXPECT_EQ(b, 0xFEFFFF);

  QImage img = g.viewport()->grab().toImage();
  const TRect other = g.CellRect(2, 4);
  EXPECT_TRUE(Near(img.pixel(cell.Left + 20, cell.Top + 12), 0x61FFFF));
  EXPECT_TRUE(Near(img.pixel(other.Left + 20, other.Top + 12), 0xFEFFFF));

  // Column hover as well: the hovered cell counts twice, the rest of its column and row once.
  g.Col_Hover = 1;
  g.Get_Color(2, 3, c, b);
  EXPECT_EQ(b, 0x61FFFF);
  g.Get_Color(3, 3, c, b);
  EXPECT_EQ(b, 0xE1FFFF);
  g.Get_Color(2, 5, c, b);
  EXPECT_EQ(b, 0xE1FFFF);
  g.hide();
}
