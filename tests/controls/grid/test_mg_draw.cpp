// Drawing of TMG checked on rendered pixels and on the colour rules a host sees through Get_Color.
#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"

#include "toolkit/tk_image.h"

#include <QImage>
#include <algorithm>
#include <QPaintEvent>
#include <QTest>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

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

const TColor kNoForm = 0xF3F3F2;  // header background of a grid on no form
const TColor kLine = 0xA2C8A2;

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

// Collects the regions the viewport repaints, to tell what a change scheduled for painting.
struct PaintSpy : QObject {
  QRegion painted;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(e)->region();
    return false;
  }
};

}  // namespace

TEST(MgDraw, ColourPrecedence) {
  struct Row {
    const char* what;
    int mode;
    bool selected;
    const char* items;
    int col, row;
    TColor text, bg;
  };
  const Row rows[] = {
      {"selected, mode 0", 0, true, "red,bg_yellow", 1, 2, 0xFFFFFF, 0xF16555},
      {"selected, mode 2 keeps column", 2, true, "red,bg_yellow", 1, 2, 0x0000FF, 0x00FFFF},
      {"selected, mode 2 keeps zebra", 2, true, "", 1, 3, 0, 0xFEFFF6},
      {"zebra even", 0, false, "", 1, 2, 0, 0xFEFFFF},
      {"readonly", 0, false, "readonly", 1, 2, 0, 0xE8F4EE},
      {"negative number", 0, false, "int", 1, 4, 0x0000FF, 0xFEFFFF},
      {"whole-column attribute", 0, false, "", 3, 4, 0, 0x112233},
      {"cell attribute before the column's", 0, false, "", 3, 2, 0x0000FF, 0x445566},
      {"checked row", 0, false, "", 2, 5, 0, 0xF9F0C8},
      {"checked row, selected in mode 1", 1, true, "", 2, 5, 0, 0xF9F0C8},
      {"corner", 0, false, "", 0, 0, 0x800000, 0xEFE5F6},
      {"header text", 0, false, "", 2, 0, 0x800000, kNoForm},
      {"search hit: white text on its green", 0, false, "", 2, 1, 0xFFFFFF, 0x008000},
      {"another search match: black text on its yellow", 0, false, "", 2, 3, 0, 0x00FFFF},
      {"a number kept as typed", 0, false, "float", 1, 3, 0x0000B0, 0xE0E0FF},
  };
  for (const Row& r : rows) {
    Drawn t(5, 6);
    t.g.SetADEF({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("Ok")});
    t.g.Add_Def(1, r.items);
    t.g.Opt_Add("keep_bad_number", nullptr);
    t.g.SetV(1, 3, "12a");
    t.g.SetV(2, 1, "abc");
    t.g.SetV(2, 3, "xabc");
    std::copy_n(u"abc", 4, t.g.Search_Text);
    t.g.Search_Hit_Col = 2;
    t.g.Search_Hit_Row = 1;
    t.g.SetV(1, 4, "-5");
    t.g.Cell_Attr.push_back({-10, 3, 8, 0, 0x112233});
    t.g.Cell_Attr.push_back({2, 3, 4 | 8, 0x0000FF, 0x445566});
    t.g.Row_Bool_Bind("Ok", nullptr);
    t.g.SetRow_Bool(5, true);
    t.g.Set_Base_Color_Mode(r.mode);
    TColor c = -1, b = -1;
    t.g.Get_Color(r.col, r.row, c, b, r.selected ? TGridDrawState(gdSelected) : TGridDrawState());
    EXPECT_EQ(c, r.text) << r.what;
    EXPECT_EQ(b, r.bg) << r.what;
  }
}

TEST(MgDraw, SelectedCellPixels) {
  Drawn t(3, 5);
  t.g.SetCol(1);
  t.g.SetRow(2);
  t.g.SetOptions(t.g.Options() >> goAlwaysShowEditor >> goEditing);  // the editor would cover the cell
  const TRect r = t.g.CellRect(1, 2);
  for (auto [mode, bg] : {std::pair<int, TColor>{0, 0xF16555}, {2, 0xFEFFFF}}) {
    t.g.Set_Base_Color_Mode(mode);
    EXPECT_EQ(t.Shot().pixel((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2), Rgb(bg)) << "mode " << mode;
  }
}

TEST(MgDraw, MoneyDigitsByPlace) {
  struct Row {
    const char* text;
    int place;  // from the right, 1-based
    TColor colour;
    int dragged;  // a width the user gave the column before the paint (0: none)
  };
  const Row rows[] = {
      {"1234.5", 1, 0x0000FF, 0}, {"1234.5", 2, 0x0000FF, 0}, {"1234.5", 3, 0x000000, 0},
      {"1234.5", 6, 0x000000, 0}, {"12345678", 7, 0xFF0000, 0}, {"12345678", 10, 0xFF0000, 0},
      {"-5", 4, 0x0000FF, 0},     {"-5", 3, 0x000000, 0},     {"1234.5", 1, 0x0000FF, 300},
      {"12345678", 10, 0xFF0000, 40}, {"1234.5", 1, 0x0000FF, -200},  // -200: a fixed width of 200
  };
  for (const Row& row : rows) {
    Drawn t(3, 4);
    t.g.Add_Def(1, "money");
    if (row.dragged < 0) t.g.Add_Def(1, "||200");
    t.g.SetV(1, 2, row.text);
    t.g.SetCol(2);
    if (row.dragged > 0) t.g.SetColWidths(1, row.dragged);
    t.Shot();  // the first paint takes the column back to its digit grid
    QImage img = t.Shot();
    TRect r = t.g.CellRect(1, 2);
    int d = t.g.Canvas()->TextWidth(QStringLiteral("8")) + 3;
    EXPECT_EQ(t.g.ColWidths(1), row.dragged < 0 ? -row.dragged : 11 * d + 3) << row.text << " width " << row.dragged;
    int left = r.Left - 1 + 1;  // the cell grows one pixel left, then shrinks by line width + 1
    int x0 = left + 11 * d + 2 - row.place * d;
    int n = Count(img, x0 + 1, r.Top + 2, x0 + d - 1, r.Bottom - 2, row.colour, 90);
    EXPECT_GT(n, 3) << row.text << " place " << row.place;
  }
}

// Under a money column the sum line shows what its cell says: a total in the digit places, where
// thousands separators take no place, and an average or a total with a second line as the text it
// is. Each sum cell is compared with the same statistic drawn under a reference column.
TEST(MgDraw, MoneyColumnsOnTheSumLine) {
  // values of column 2, its statistic and extended bits, its "sum_ext" option, what the sum line holds, and
  // the items of the reference column the sum cell must look the same in (without extended bits)
  struct Row { const char* what; std::vector<const char*> values; int mode, bits; const char *ext, *cell, *ref; };
  const Row rows[] = {
      {"separators take no digit place", {"1234.5", "1000"}, 1, 4, nullptr, "2,234.5", "money"},
      {"an average reads as its text", {"1234.50", "1234.50"}, 2, 0, nullptr, "E:1234.50", "float"},
      {"a total with a second line reads as its text", {"3", "4"}, 1, 0, "yuan", "Tot:7\r\nyuan", "float"},
  };
  // The sum cell of column 2 as drawn, and what it holds.
  auto sum_cell = [](const Row& r, const char* items, int bits) {
    TMG data, sum;
    data.SetColCount(3);
    data.SetRowCount(int(r.values.size()) + 1);
    data.SetADEF({QStringLiteral("Name"), QStringLiteral("Amt,") + QString::fromLatin1(items)});
    for (size_t i = 0; i < r.values.size(); ++i) data.SetV(2, int(i) + 1, r.values[i]);
    data.SetColWidths(2, 11 * (data.Canvas()->TextWidth(QStringLiteral("8")) + 3) + 3);
    data.Set_Sum_Mg(&sum);
    data.Set_Sum_Flag("Amt", r.mode);
    data.Add_Ext_Opt(2, bits);
    if (r.ext) data.Opt_Add("sum_ext.Amt", r.ext);
    sum.resize(400, 80);
    data.Sync_Sum();
    const TRect c = sum.CellRect(2, 0);
    return std::make_pair(sum.viewport()->grab().toImage().copy(c.toQRect()), sum.Cells(2, 0));
  };
  controlsTestApp();
  for (const Row& r : rows) {
    const auto [shown, held] = sum_cell(r, "money", r.bits);
    const QImage ref = sum_cell(r, r.ref, 0).first;
    EXPECT_EQ(held, QString::fromUtf8(r.cell)) << r.what;
    EXPECT_GT(Count(shown, 0, 0, shown.width(), shown.height(), 0x000000, 100), 10) << r.what << ": no ink";
    EXPECT_TRUE(shown == ref) << r.what << ": not drawn as in a " << r.ref << " column";
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
  t.g.Sort_Keys.push_back({2, 'S', 0});
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
  // Under the unit the mark stands in the lowest header row.
  t.g.Sort_Keys.push_back({2, 'S', 1});
  img = t.Shot();
  const TRect top = t.g.CellRect(2, 0), low = t.g.CellRect(2, 1);
  EXPECT_EQ(Count(img, top.Left, top.Top, top.Left + 14, top.Bottom, 0x1F7F3F, 60), 0);
  EXPECT_GT(Count(img, low.Left, low.Top, low.Left + 14, low.Bottom, 0x1F7F3F, 60), 3);
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
  // From 1501 rows on, only rows within 20 of the visible page are measured.
  t.g.SetRowCount(1600);
  const int last = t.g.TopRow() + t.g.VisibleRowCount() - 1;
  for (int row : {last + 20, last + 21, 1500}) {
    t.g.SetV(1, row, "abcdefghijklmnopqrstuvwxyzabcdefghij");
    t.g.Cal_Row_Fit_Height(row, h);
    EXPECT_EQ(h > t.g.DefaultRowHeight(), row == last + 20) << "row " << row << ", last visible " << last;
  }
}

// Every kind of cell keeps its 0xA2C8A2 border: text cells, header cells, header units, money cells.
TEST(MgDraw, GridLinesAroundEveryKindOfCell) {
  Drawn t(5, 6);
  t.g.SetADEF({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("M,money"), QStringLiteral("D")});
  t.g.SetBDEF({QStringLiteral("unit,1,0,2,0,Both")});
  t.g.SetV(1, 2, "text");
  t.g.SetV(3, 2, "12.5");
  t.g.SetOptions(t.g.Options() >> goAlwaysShowEditor >> goEditing);
  const QImage img = t.Shot();
  struct Probe {
    const char* what;
    int col, row;
  } probes[] = {{"text cell", 1, 2}, {"empty data cell", 4, 3}, {"header cell", 4, 0},
                {"row number cell", 0, 3}, {"header unit", 2, 0}, {"money cell", 3, 2}};
  for (const Probe& p : probes) {
    const TRect r = t.g.CellRect(p.col, p.row);
    const int mx = (r.Left + r.Right) / 2, my = (r.Top + r.Bottom) / 2;
    EXPECT_EQ(img.pixel(mx, r.Bottom - 1), Rgb(kLine)) << p.what << ": bottom border";
    EXPECT_EQ(img.pixel(r.Right - 1, my), Rgb(kLine)) << p.what << ": right border";
    EXPECT_NE(img.pixel(mx, r.Bottom - 3), Rgb(kLine)) << p.what << ": inside";
  }
}

// The hover tint follows the mouse and goes when the mouse leaves; the current-row tint and the row
// mark follow the current row, and the row left behind is painted plain again.
TEST(MgDraw, HoverAndTheCurrentRowOnPixels) {
  Drawn t(4, 8);
  TMG& g = t.g;
  g.resize(400, 250);
  g.Row_Hover = 1;
  g.show();
  g.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&g));
  auto px = [&](int c, int r) {
    const TRect rc = g.CellRect(c, r);
    QApplication::processEvents();
    return g.viewport()->grab().toImage().pixel(rc.Left + 30, (rc.Top + rc.Bottom) / 2);
  };
  EXPECT_EQ(g.Last_Hover_Row, 0);
  const TRect cell = g.CellRect(2, 3);
  QTest::mouseMove(g.viewport(), QPoint(cell.Left + 5, cell.Top + 5));
  EXPECT_EQ(g.Last_Hover_Row, 3);
  EXPECT_EQ(px(2, 3), Rgb(0x61FFFF));
  EXPECT_EQ(px(2, 4), Rgb(0xFEFFFF));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(g.viewport(), &leave);
  EXPECT_EQ(px(2, 3), Rgb(0xFEFFF6)) << "no tint once the mouse is gone";

  // With row numbers the current row is tinted; without them column 0 carries the mark instead.
  struct Step {
    const char* what;
    bool numbers;
    Qt::Key key;
    int row;
  } steps[] = {{"marks: Down", false, Qt::Key_Down, 2}, {"marks: Down again", false, Qt::Key_Down, 3},
               {"marks: Up", false, Qt::Key_Up, 2},     {"tint: Down", true, Qt::Key_Down, 3},
               {"tint: Up", true, Qt::Key_Up, 2},       {"tint: Up again", true, Qt::Key_Up, 1}};
  int before = g.Row();
  PaintSpy spy;
  g.viewport()->installEventFilter(&spy);
  for (const Step& s : steps) {
    g.Set_Show_Row_Id_Mode(s.numbers);
    QApplication::processEvents();
    spy.painted = QRegion();
    QTest::keyClick(&g, s.key);
    QApplication::processEvents();
    ASSERT_EQ(g.Row(), s.row) << s.what;
    const TRect old = g.CellRect(3, before);
    EXPECT_TRUE(spy.painted.contains(QPoint(old.Left + 2, old.Top + 2))) << s.what << ": the old row is repainted";
    if (!s.numbers) {
      EXPECT_EQ(g.Cells(0, s.row), QString(QChar(0x25C6))) << s.what << ": the mark is on the current row";
      EXPECT_EQ(g.Cells(0, before), QStringLiteral(" ")) << s.what;
    } else {
      EXPECT_EQ(px(g.Col() + 1, s.row), Rgb(0xDEFFBF)) << s.what << ": current row tint";
      EXPECT_NE(px(g.Col() + 1, before), Rgb(0xDEFFBF)) << s.what << ": the old row is plain again";
    }
    before = s.row;
  }
  g.hide();
}

// The picture under the empty area: the bands below and right of the cells show its pixels at the same
// place, a small picture only as far as it reaches, none once the rows fill the view.
TEST(MgDraw, BackgroundPictureBands) {
  Drawn t(3, 3);
  TMG& g = t.g;
  g.resize(420, 300);
  for (int c = 0; c < 3; ++c) g.SetColWidths(c, 50);
  const TColor left = 0xFF0000, right = 0x00FF00;
  auto picture = [&](TImage& pic, int w, int h) {
    pic.SetSize(w, h);
    pic.Canvas()->Brush->SetColor(left);
    pic.Canvas()->FillRect(TRect{0, 0, w, h});
    pic.Canvas()->Brush->SetColor(right);
    pic.Canvas()->FillRect(TRect{200, 0, w, h});
  };
  TImage big, small;
  picture(big, 600, 400);
  picture(small, 260, 120);
  const QRgb empty = g.viewport()->grab().toImage().pixel(300, 200);
  struct Probe {
    const char* what;
    TImage* pic;
    int rows, x, y;
    QRgb expect;
  } probes[] = {
      {"below the rows, left half", &big, 3, 100, 200, Rgb(left)},
      {"below the rows, right half", &big, 3, 300, 200, Rgb(right)},
      {"right of the columns", &big, 3, 300, 35, Rgb(right)},
      {"first pixel below the last row", &big, 3, 20, 75, Rgb(left)},
      {"inside a data cell", &big, 3, 125, 60, Rgb(0xFEFFFF)},
      {"beyond a small picture", &small, 3, 300, 200, empty},
      {"inside a small picture", &small, 3, 230, 100, Rgb(right)},
      {"rows fill the view: no band below", &big, 40, 125, 110, Rgb(0xFEFFFF)},
      {"no picture", nullptr, 3, 230, 100, empty},
  };
  for (const Probe& p : probes) {
    g.SetRowCount(p.rows);
    g.Set_Background_Image(p.pic);
    const QImage img = g.viewport()->grab().toImage();
    EXPECT_EQ(img.pixel(p.x, p.y) & 0xFFFFFFu, p.expect & 0xFFFFFFu) << p.what;
  }
}

TEST(MgDraw, RowNumbersSkipHiddenRows) {
  Drawn t(3, 6);
  t.g.SetRowHeights(2, 0);
  t.g.Show_Row_Id();
  const char* want[] = {"", "1", "", "2", "3", "4"};
  for (int r = 1; r < 6; ++r) {
    if (r != 2) {
      EXPECT_EQ(t.g.Cells(0, r), QString::fromLatin1(want[r])) << r;
    }
  }
  // Exchanging a hidden row renumbers the visible rows.
  t.g.Swap_Row(2, 4);
  EXPECT_EQ(t.g.Cells(0, 2), QStringLiteral("2"));
  EXPECT_EQ(t.g.Cells(0, 5), QStringLiteral("4"));
}
