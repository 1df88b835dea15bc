// Drawing of TMG checked on rendered pixels and on the colour rules a host sees through Get_Color.
#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"

#include <QImage>
#include <cstdlib>

namespace {

struct AppFirst {
  AppFirst() { controlsTestApp(); }
};

struct Drawn : AppFirst {
  TMG g;
  Drawn(int cols, int rows) {
    g.resize(700, 300);
    g.SetColCount(cols);
    g.SetRowCount(rows);
  }
  QImage Shot() { return g.viewport()->grab().toImage(); }
};

QRgb Rgb(TColor c) { return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

bool Near(QRgb a, QRgb b, int tol) {
  return std::abs(qRed(a) - qRed(b)) <= tol && std::abs(qGreen(a) - qGreen(b)) <= tol &&
         std::abs(qBlue(a) - qBlue(b)) <= tol;
}

// Pixels of colour c (within tol) in the rectangle [x0, x1) x [y0, y1).
int Count(const QImage& img, int x0, int y0, int x1, int y1, TColor c, int tol = 40) {
  int n = 0;
  for (int y = std::max(y0, 0); y < std::min(y1, img.height()); ++y)
    for (int x = std::max(x0, 0); x < std::min(x1, img.width()); ++x)
      if (Near(img.pixel(x, y), Rgb(c), tol)) ++n;
  return n;
}

}  // namespace

TEST(MgDraw, ColourPrecedence) {
  struct Row {
    const char* what;
    int mode;
    bool selected;
    const char* items;
    int row;
    TColor text, bg;
  };
  const Row rows[] = {
      {"selected, mode 0", 0, true, "red,bg_yellow", 2, 0xFFFFFF, 0xF16555},
      {"selected, mode 2 keeps column", 2, true, "red,bg_yellow", 2, 0x0000FF, 0x00FFFF},
      {"selected, mode 2 keeps zebra", 2, true, "", 3, 0, 0xFEFFF6},
      {"zebra even", 0, false, "", 2, 0, 0xFEFFFF},
      {"readonly", 0, false, "readonly", 2, 0, 0xE8F4EE},
      {"negative number", 0, false, "int", 4, 0x0000FF, 0xFEFFFF},
  };
  for (const Row& r : rows) {
    Drawn t(3, 6);
    t.g.Add_Def(1, r.items);
    t.g.SetV(1, 4, "-5");
    t.g.Set_Base_Color_Mode(r.mode);
    TColor c = -1, b = -1;
    t.g.Get_Color(1, r.row, c, b, r.selected ? TGridDrawState(gdSelected) : TGridDrawState());
    EXPECT_EQ(c, r.text) << r.what;
    EXPECT_EQ(b, r.bg) << r.what;
  }
}

TEST(MgDraw, AttributesAndCorner) {
  Drawn t(5, 6);
  t.g.Cell_Attr.push_back({-10, 3, 8, 0, 0x112233});
  t.g.Cell_Attr.push_back({2, 3, 4 | 8, 0x0000FF, 0x445566});
  TColor c, b;
  t.g.Get_Color(3, 4, c, b);
  EXPECT_EQ(b, 0x112233);
  t.g.Get_Color(3, 2, c, b);
  EXPECT_EQ(b, 0x445566);
  EXPECT_EQ(c, 0x0000FF);
  t.g.Get_Color(2, 4, c, b);
  EXPECT_EQ(b, 0xFEFFFF);
  t.g.Get_Color(0, 0, c, b);
  EXPECT_EQ(b, 0xEFE5F6);
  t.g.Get_Color(2, 0, c, b);
  EXPECT_EQ(c, 0x800000);
}

TEST(MgDraw, SelectedCellPixels) {
  Drawn t(3, 5);
  t.g.SetCol(1);
  t.g.SetRow(2);
  // Without the always-shown editor, which would cover the current cell.
  t.g.SetOptions(t.g.Options() >> goAlwaysShowEditor >> goEditing);
  QImage img = t.Shot();
  TRect r = t.g.CellRect(1, 2);
  int mx = (r.Left + r.Right) / 2, my = (r.Top + r.Bottom) / 2;
  EXPECT_EQ(img.pixel(mx, my), Rgb(0xF16555));
  t.g.Set_Base_Color_Mode(2);
  img = t.Shot();
  EXPECT_EQ(img.pixel(mx, my), Rgb(0xFEFFFF));
}

TEST(MgDraw, MoneyDigitsByPlace) {
  struct Row {
    const char* text;
    int place;  // from the right, 1-based
    TColor colour;
  };
  const Row rows[] = {
      {"1234.5", 1, 0x0000FF}, {"1234.5", 2, 0x0000FF}, {"1234.5", 3, 0x000000}, {"1234.5", 6, 0x000000},
      {"12345678", 7, 0xFF0000}, {"12345678", 10, 0xFF0000}, {"-5", 4, 0x0000FF}, {"-5", 3, 0x000000},
  };
  for (const Row& row : rows) {
    Drawn t(3, 4);
    t.g.Add_Def(1, "money");
    t.g.SetV(1, 2, row.text);
    t.g.SetCol(2);
    QImage img = t.Shot();
    TRect r = t.g.CellRect(1, 2);
    int d = t.g.Canvas()->TextWidth(QStringLiteral("8")) + 3;
    int left = r.Left - 1 + 1;  // the cell grows one pixel left, then shrinks by line width + 1
    int x0 = left + 11 * d + 2 - row.place * d;
    int n = Count(img, x0 + 1, r.Top + 2, x0 + d - 1, r.Bottom - 2, row.colour, 90);
    EXPECT_GT(n, 3) << row.text << " place " << row.place;
  }
}

TEST(MgDraw, CheckBoxMarks) {
  struct Row {
    const char* text;
    int ticks, crosses;
  };
  const Row rows[] = {{"Y", 1, 0}, {"1", 1, 0}, {"n", 0, 1}, {"F", 0, 1}, {"", 0, 0}, {"?", 0, 0}};
  for (const Row& row : rows) {
    Drawn t(3, 4);
    t.g.Add_Def(1, "bool");
    t.g.SetV(1, 2, row.text);
    t.g.SetCol(2);
    QImage img = t.Shot();
    TRect r = t.g.CellRect(1, 2);
    int ticks = Count(img, r.Left, r.Top, r.Right, r.Bottom, 0xC81866, 30);
    int crosses = Count(img, r.Left, r.Top, r.Right, r.Bottom, 0x1E4EC8, 30);
    EXPECT_EQ(ticks > 10, row.ticks == 1) << row.text;
    EXPECT_EQ(crosses > 10, row.crosses == 1) << row.text;
  }
}

TEST(MgDraw, SortMarksAndHeaderUnits) {
  Drawn t(5, 4);
  t.g.SetFixedRows(2);
  t.g.Sort_Keys.push_back({2, 0});
  QImage img = t.Shot();
  TRect h = t.g.CellRect(2, 0);
  EXPECT_GT(Count(img, h.Left, h.Top, h.Left + 14, h.Bottom, 0x1F7F3F, 60), 3);
  TRect other = t.g.CellRect(3, 0);
  EXPECT_EQ(Count(img, other.Left, other.Top, other.Right, other.Bottom, 0x1F7F3F, 30), 0);

  // A unit over columns 1..3 of row 0: one caption drawn across, no grid line inside it.
  t.g.SetBDEF({QStringLiteral("unit,1,0,3,0,WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW")});
  t.g.Sort_Keys.clear();
  img = t.Shot();
  TRect a = t.g.CellRect(1, 0), c = t.g.CellRect(3, 0);
  int ink = 0;
  for (int col = 1; col <= 3; ++col) {
    TRect r = t.g.CellRect(col, 0);
    int n = Count(img, r.Left, r.Top, r.Right, r.Bottom, 0x800000, 60);
    EXPECT_GT(n, 5) << "column " << col;
    ink += n;
  }
  EXPECT_GT(ink, 30);
  EXPECT_LT(a.Left, c.Left);
}

TEST(MgDraw, RowNumbersSkipHiddenRows) {
  Drawn t(3, 6);
  t.g.SetRowHeights(2, 0);
  t.g.Show_Row_Id();
  EXPECT_EQ(t.g.Cells(0, 1), QStringLiteral("1"));
  EXPECT_EQ(t.g.Cells(0, 3), QStringLiteral("2"));
  EXPECT_EQ(t.g.Cells(0, 5), QStringLiteral("4"));
  t.g.SetV(1, 2, "hidden");
  QImage img = t.Shot();  // the hidden row paints nothing (and nothing crashes)
  EXPECT_FALSE(img.isNull());
}

TEST(MgDraw, LongWordsWrapAndFit) {
  Drawn t(3, 4);
  t.g.SetColWidths(1, 60);
  t.g.SetV(1, 1, "abcdefghijklmnopqrstuvwxyzabcdefghij");
  int h = 0;
  t.g.Cal_Row_Fit_Height(1, h);
  int th = t.g.Canvas()->TextHeight(QStringLiteral("8"));
  EXPECT_GE(h, 2 + 3 * (th + 4));
  t.g.Fit_To_Show(1);
  EXPECT_EQ(t.g.RowHeights(1), std::max(h, t.g.DefaultRowHeight()));
  t.g.Fit_To_Show(2);
  EXPECT_EQ(t.g.RowHeights(2), t.g.DefaultRowHeight());
}

TEST(MgDraw, HoverFollowsMouseAndSwapRenumbers) {
  Drawn t(3, 6);
  TRect r = t.g.CellRect(2, 3);
  t.g.TMG_OnMouseMove(&t.g, TShiftState(), r.Left + 2, r.Top + 2);
  EXPECT_EQ(t.g.Last_Hover_Row, 0);  // hover off: nothing tracked
  t.g.Row_Hover = 1;
  t.g.TMG_OnMouseMove(&t.g, TShiftState(), r.Left + 2, r.Top + 2);
  EXPECT_EQ(t.g.Last_Hover_Row, 3);
  EXPECT_EQ(t.g.Last_Hover_Col, 2);

  // Exchanging a hidden row renumbers the visible rows.
  t.g.SetRowHeights(2, 0);
  t.g.Swap_Row(2, 4);
  EXPECT_EQ(t.g.Cells(0, 2), QStringLiteral("2"));
  EXPECT_EQ(t.g.Cells(0, 3), QStringLiteral("3"));
  EXPECT_EQ(t.g.Cells(0, 5), QStringLiteral("4"));
}
