// Sorting a TMG: header clicks through QTest (single, Ctrl, double, the corner column, near a border),
// the sort marks on the header, Unsort, and a host that keeps its own data per row.
#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"
#include "core/data/para.h"
#include "core/data/sqlca.h"

#include <QImage>
#include <QTest>
#include <map>
#include <random>

namespace {

// Code (text), Amt (number), Name (text); one trailing empty row.
struct Sortable : AppFirst {
  TMG g;
  Sortable() {
    g.resize(600, 300);
    g.SetColCount(4);
    g.SetRowCount(6);
    g.SetADEF({QStringLiteral("Code"), QStringLiteral("Amt,float"), QStringLiteral("Name")});
    g.Filter_Click_Mode = 0;
    const char* rows[][3] = {{"b", "10", "x"}, {"a", "9", "w"}, {"B", "-2", "z"}, {"c", "11", "y"}};
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 3; ++c) g.SetV(c + 1, r + 1, rows[r][c]);
    g.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&g));
  }
  QString Codes() {
    QStringList l;
    for (int r = 1; r < g.RowCount(); ++r) l << g.Cells(1, r);
    return l.join(' ');
  }
  QPoint Header(int col, int dx = 12) {
    const TRect r = g.CellRect(col, 0);
    return QPoint(r.Left + dx, (r.Top + r.Bottom) / 2);
  }
  // Dark green pixels of the sort mark in a header cell.
  int Marks(int col) {
    const QImage img = g.viewport()->grab().toImage();
    const TRect r = g.CellRect(col, 0);
    int n = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Left + 14; ++x) {
        const QRgb p = img.pixel(x, y);
        n += qGreen(p) > 90 && qGreen(p) < 160 && qRed(p) < 90 && qBlue(p) < 90;
      }
    return n;
  }
};

}  // namespace

TEST(MgSort, HeaderClicks) {
  Sortable t;
  struct Step {
    const char* what;
    int col;
    bool ctrl, dbl;
    int dx;  // where in the header cell
    const char* keys;  // col:dir, in priority order
    const char* codes;
  };
  const Step steps[] = {
      {"a click sorts by the column, numbers as numbers", 2, false, false, 12, "2:0", "B a b c "},
      {"Ctrl adds a descending key of lower priority", 1, true, false, 12, "2:0 1:1", "B a b c "},
      {"clicking a key column again removes it", 2, false, false, 12, "1:1", "c b a B "},
      {"a click next to a border belongs to resizing", 3, false, false, 2, "1:1", "c b a B "},
      {"a double click makes the column the only key", 3, false, true, 12, "3:0", "a b c B "},
  };
  for (const Step& s : steps) {
    const QPoint at = t.Header(s.col, s.dx);
    const Qt::KeyboardModifiers mods = s.ctrl ? Qt::ControlModifier : Qt::NoModifier;
    QTest::mouseClick(t.g.viewport(), Qt::LeftButton, mods, at);
    if (s.dbl) QTest::mouseClick(t.g.viewport(), Qt::LeftButton, mods, at);  // the second release comes quickly
    QStringList keys;
    for (const TMG_Sort_Key& k : t.g.Sort_Keys) keys << QStringLiteral("%1:%2").arg(k.col).arg(k.desc);
    EXPECT_EQ(keys.join(' '), QString::fromLatin1(s.keys)) << s.what;
    EXPECT_EQ(t.Codes(), QString::fromLatin1(s.codes)) << s.what << ": the empty row stays last";
    for (int c = 1; c < 4; ++c)
      EXPECT_EQ(t.Marks(c) > 3, t.g.Sort_Col_Get(c) >= 0) << s.what << ": mark of column " << c;
    QTest::qWait(400);  // the next click is not a double click
  }
  // A click within a second of the host showing the grid is not taken.
  Pub_Para_Put_Int(u"grid_show_time", TMG::Tick_Count());
  QTest::mouseClick(t.g.viewport(), Qt::LeftButton, Qt::NoModifier, t.Header(1));
  EXPECT_EQ(t.g.Sort_Keys.size(), 1u);
  Pub_Para_Put_Int(u"grid_show_time", TMG::Tick_Count() - 5000);
  QTest::qWait(400);
  // The release that ends a column move is no click.
  t.g.Swap_Column(1, 3);
  QTest::mouseClick(t.g.viewport(), Qt::LeftButton, Qt::NoModifier, t.Header(1));
  EXPECT_TRUE(t.g.Sort_Keys.empty());
  EXPECT_EQ(t.g.Column_Order_Changed, 0);
}

// Two hundred rows with repeated keys, heights and attributes: the sort orders them, a host that applies
// every OnSortSwapRow as an exchange ends with its data on the right rows, and Unsort brings back the
// order, the heights and the attributes exactly.
TEST(MgSort, UnsortAndTheHostsRowData) {
  controlsTestApp();
  TMG g;
  const int n = 200;
  g.SetColCount(3);
  g.SetRowCount(n + 1);
  g.SetADEF({QStringLiteral("Key,int"), QStringLiteral("Id")});
  std::mt19937 rng(5);
  for (int r = 1; r <= n; ++r) {
    g.SetV(1, r, int(rng() % 40) - 20);
    g.SetV(2, r, r);
    if (r % 7 == 0) g.SetRowHeights(r, 30 + r % 5);
    if (r % 11 == 0) g.Cell_Attr.push_back({r, 2, 8, 0, TColor(r)});
  }
  std::map<int, int> host;  // the host's own data per row number: the id of the row
  for (int r = 1; r <= n; ++r) host[r] = r;
  g.OnSortSwapRow = [&](TObject*, int a, int b) { std::swap(host[a], host[b]); };
  std::vector<QString> before;
  for (int r = 0; r <= n; ++r) before.push_back(g.Cells(1, r) + '|' + g.Cells(2, r));

  g.Sort_Col_Add(1, 1);
  g.Sort();
  for (int r = 1; r <= n; ++r) {
    const int id = g.Cells(2, r).toInt();
    ASSERT_EQ(host[r], id) << "row " << r;
    EXPECT_EQ(g.RowHeights(r), id % 7 == 0 ? 30 + id % 5 : g.DefaultRowHeight()) << "row " << r;
    if (r > 1) {
      EXPECT_GE(g.Cells(1, r - 1).toInt(), g.Cells(1, r).toInt()) << "descending at row " << r;
    }
  }
  for (const TMG_Cell_Attr& e : g.Cell_Attr) EXPECT_EQ(g.Cells(2, e.row).toInt(), int(e.bgcolor));
  ASSERT_NE(g.Sort_Memory(), nullptr);
  EXPECT_EQ(g.Sort_Memory()->Get_Row_Count(), n);

  g.Unsort();
  for (int r = 0; r <= n; ++r) ASSERT_EQ(g.Cells(1, r) + '|' + g.Cells(2, r), before[size_t(r)]) << r;
  for (int r = 1; r <= n; ++r) {
    ASSERT_EQ(host[r], r);
    EXPECT_EQ(g.RowHeights(r), r % 7 == 0 ? 30 + r % 5 : g.DefaultRowHeight());
  }
  for (const TMG_Cell_Attr& e : g.Cell_Attr) EXPECT_EQ(e.row, int(e.bgcolor));
  EXPECT_TRUE(g.Sort_Keys.empty());
  EXPECT_EQ(g.Sort_Memory(), nullptr);

  // Rows deleted after a sort: Unsort leaves the grid alone. OnGetSortRows narrows the range.
  g.Sort_Col_Add(2, 1);
  g.OnGetSortRows = [](TObject*, int& from, int& to) {
    from = 3;
    to = 6;
  };
  g.Sort();
  EXPECT_EQ(g.Cells(2, 3), QStringLiteral("6"));
  EXPECT_EQ(g.Cells(2, 7), QStringLiteral("7"));
  g.SetRowCount(3);
  g.Unsort();
  EXPECT_NE(g.Sort_Memory(), nullptr);
}

TEST(MgSort, CompareAndSelectionStep) {
  controlsTestApp();
  TMG g;
  g.SetColCount(3);
  g.SetRowCount(5);
  g.SetADEF({QStringLiteral("N,float"), QStringLiteral("T")});
  const char* rows[][2] = {{"10", "B"}, {"9", "a"}, {"-2", "10"}, {"", "9"}};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 2; ++c) g.SetV(c + 1, r + 1, rows[r][c]);
  struct Row {
    const char* what;
    int col, desc, a, b, want;
  } cases[] = {
      {"numbers: 10 after 9", 1, 0, 1, 2, 1},    {"numbers: -2 before 9", 1, 0, 3, 2, -1},
      {"empty counts as zero", 1, 0, 4, 3, 1},   {"descending turns it", 1, 1, 1, 2, -1},
      {"text: 10 before 9", 2, 0, 3, 4, -1},     {"text: B before a", 2, 0, 1, 2, -1},
  };
  for (const Row& c : cases) {
    g.Sort_Keys.clear();
    g.Sort_Col_Add(c.col, c.desc);
    EXPECT_EQ(g.Sort_Cmp(c.a, c.b), c.want) << c.what;
  }
  EXPECT_EQ(g.Sort_Col_Add(0, 0), 0);
  EXPECT_EQ(g.Sort_Col_Add(3, 0), 0);
  for (int i = 0; i < 30; ++i) g.Sort_Col_Add(1, 0);
  EXPECT_EQ(int(g.Sort_Keys.size()), TMG::MAX_SORT_KEYS);
  g.Sort_Col_Clear();
  g.Sort_Col_Add(1, 0);
  std::vector<std::pair<int, int>> swaps;
  g.OnSortSwapRow = [&](TObject*, int a, int b) { swaps.push_back({a, b}); };
  for (int r = 1; r < 4; ++r) g.Sort_Row_(r, 4);
  EXPECT_EQ(g.Cells(1, 1) + ' ' + g.Cells(1, 2) + ' ' + g.Cells(1, 3) + ' ' + g.Cells(1, 4),
            QStringLiteral("-2  9 10"));
  EXPECT_EQ(swaps.front(), std::make_pair(3, 1));
}
