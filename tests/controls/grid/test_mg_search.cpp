// Search, seek and filter of a TMG: stepping over hidden rows and columns with the search colours and
// scrolling, seeks, the filter and the number clean-ups, and the host module's filter dialogs reached
// from a header click and from the grid's menu.
#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"
#include "host/zem_host_grid.h"
#include "toolkit/tk_menu.h"

#include <QComboBox>
#include <QDialog>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <utility>

namespace {

// The host's input box: answers what the test put here, or cancels when it is empty.
std::u16string g_answer;
int Test_Input(const char16_t* prompt, char16_t* buffer, int max_len, const char16_t*) {
  EXPECT_EQ(std::u16string(prompt), u"查找内容");
  EXPECT_EQ(max_len, 60);
  if (g_answer.empty()) return 0;
  std::copy(g_answer.begin(), g_answer.end(), buffer);
  buffer[g_answer.size()] = 0;
  return 1;
}

struct AppWithInput {
  AppWithInput() {
    controlsTestApp();
    Gui_Inp_Str_W_Fn input = Test_Input;
    Zem_Reg_Shared_Ptr(kGui_Inp_Str_W, reinterpret_cast<void*>(input));
  }
};

// Five columns, 50 rows; column 4 and row 3 hidden.
struct Searchable : AppWithInput {
  TMG g;
  Searchable() {
    g.resize(400, 200);
    g.SetColCount(5);
    g.SetRowCount(50);
    g.SetADEF({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")});
    const struct {
      int c, r;
      const char* t;
    } cells[] = {{1, 1, "abc"}, {3, 1, "xaby"}, {4, 1, "ab hidden column"}, {2, 2, "AB"},
                 {1, 3, "ab hidden row"}, {2, 5, "ab"}, {1, 45, "far ab"}};
    for (const auto& c : cells) g.SetV(c.c, c.r, c.t);
    g.SetColWidths(4, 0);
    g.SetRowHeights(3, 0);
    g.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&g));
  }
};

// Runs act while a modal dialog opened by it is driven by drive.
void With_Dialog(const std::function<void()>& act, const std::function<void(QDialog*)>& drive) {
  QTimer::singleShot(0, [drive] {
    auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(d, nullptr);
    drive(d);
  });
  act();
}

QString Shown(TMG& g, int col) {
  QStringList l;
  for (int r = g.FixedRows(); r < g.RowCount(); ++r)
    if (g.RowHeights(r) > 0) l << g.Cells(col, r);
  return l.join(',');
}

}  // namespace

TEST(MgSearch, SteppingOverHiddenCells) {
  Searchable t;
  struct Step {
    const char* what;
    char key;  // Ctrl+F search, Ctrl+K next, Ctrl+L previous
    const char16_t* answer;
    int col, row;
  };
  const Step steps[] = {
      {"a cancelled search finds nothing", 'F', u"", -1, -1},
      {"the first hit", 'F', u"ab", 1, 1},
      {"on in the same row", 'K', nullptr, 3, 1},
      {"hidden column, upper case and hidden row passed over", 'K', nullptr, 2, 5},
      {"a hit below the view scrolls it in", 'K', nullptr, 1, 45},
      {"after the last hit the hit stays", 'K', nullptr, 1, 45},
      {"back", 'L', nullptr, 2, 5},
      {"back again", 'L', nullptr, 3, 1},
      {"back to the first", 'L', nullptr, 1, 1},
      {"before the first the hit stays", 'L', nullptr, 1, 1},
  };
  for (const Step& s : steps) {
    if (s.answer) g_answer = s.answer;
    QTest::keyClick(&t.g, Qt::Key(Qt::Key_A + (s.key - 'A')), Qt::ControlModifier);
    EXPECT_EQ(t.g.Search_Hit_Col, s.col) << s.what;
    EXPECT_EQ(t.g.Search_Hit_Row, s.row) << s.what;
    if (s.row > 0) {
      EXPECT_FALSE(t.g.CellRect(s.col, s.row).IsEmpty()) << s.what << ": the hit is in view";
    }
  }
  const struct {
    const char* what;
    int col, row;
    bool cleared;
    TColor bg;  // 0: neither search colour
  } colours[] = {{"the found cell", 1, 1, false, 0x008000}, {"another match", 2, 5, false, 0x00FFFF},
                 {"no case folding", 2, 2, false, 0}, {"cleared", 2, 5, true, 0}};
  for (const auto& k : colours) {
    if (k.cleared) t.g.Popu_Menu_Search_ClearClick(&t.g);
    TColor c, b;
    t.g.Get_Color(k.col, k.row, c, b);
    if (k.bg) EXPECT_EQ(b, k.bg) << k.what;
    else EXPECT_TRUE(b != 0x008000 && b != 0x00FFFF) << k.what;
  }
}

// With one column in view (each 330 wide), a column of context on the left would leave no room for
// the hit: the view ends on the hit's column, wherever the hit lies (left: the view before).
TEST(MgSearch, OneColumnInView) {
  const struct { const char* what; int left; const char16_t* text; int col; } rows[] = {
      {"the hit in the view's column", 3, u"xab", 3}, {"the hit left of the view", 3, u"AB", 2},
      {"the first column, left of the view", 3, u"abc", 1}, {"the hit right of it", 1, u"xab", 3}};
  for (const auto& r : rows) {
    Searchable t;
    for (int c = 1; c <= 3; ++c) t.g.SetColWidths(c, 330);
    t.g.SetLeftCol(r.left);
    g_answer = r.text;
    QTest::keyClick(&t.g, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(std::make_pair(t.g.Search_Hit_Col, t.g.LeftCol()), std::make_pair(r.col, r.col)) << r.what;
  }
}

TEST(MgSearch, Seeks) {
  Searchable t;
  t.g.SetV(2, 7, "k");
  t.g.SetV(3, 7, "v");
  t.g.SetV(2, 9, "k");
  t.g.SetV(3, 9, "w");
  struct Row {
    const char* what;
    std::function<int(int*)> seek;
    int found, row;
  } rows[] = {
      {"by name and value", [&](int* r) { return t.g.Seek(r, "B", u"k"); }, 1, 7},
      {"from a later row", [&](int* r) { return t.g.Seek_From_Row(r, 8, "B", u"k"); }, 1, 9},
      {"hidden rows are not skipped", [&](int* r) { return t.g.Seek(r, "A", u"ab hidden row"); }, 1, 3},
      {"no such value", [&](int* r) { return t.g.Seek(r, "B", u"zz"); }, 0, -7},
      {"from beyond the rows", [&](int* r) { return t.g.Seek_From_Row(r, 50, "B", u"k"); }, 0, -7},
      {"two pairs", [&](int* r) { return t.g.Seek_Ext(r, 1, "B", "k", "C", "w", nullptr); }, 1, 9},
      {"no pair finds from_row", [&](int* r) { return t.g.Seek_Ext(r, 1, nullptr, nullptr); }, 1, 1},
  };
  for (const Row& r : rows) {
    int row = -7;
    EXPECT_EQ(r.seek(&row), r.found) << r.what;
    EXPECT_EQ(row, r.row) << r.what;
  }
}

TEST(MgSearch, FilterAndNumberCleanUps) {
  controlsTestApp();
  TMG g;
  g.SetColCount(4);
  g.SetRowCount(7);
  g.SetADEF({QStringLiteral("K"), QStringLiteral("N,float"), QStringLiteral("T")});
  const char* rows[][3] = {{"a", "0", "0"}, {"b", "0.0", "x"}, {"a", "-0.00", "0"},
                           {"c", "0.01", "y"}, {"a", "12.500", "z"}, {"b", "abc", "0.0"}};
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 3; ++c) g.SetV(c + 1, r + 1, rows[r][c]);
  g.SetRowHeights(2, 40);
  struct Step {
    const char* what;
    std::function<int()> act;
    int result;
    const char* shown;  // column K of the shown rows
  } steps[] = {
      {"filter by a value", [&] { return g.Filter(1, u"a"); }, 1, "a,a,a"},
      {"another value replaces it", [&] { return g.Filter("K", u"b"); }, 1, "b,b"},
      {"an unknown column changes nothing", [&] { return g.Filter("nope", u"a"); }, 0, "b,b"},
      {"a value no row holds hides all", [&] { return g.Filter(1, u"q"); }, 1, ""},
      {"show all", [&] { return g.Filter_Show_All(); }, 1, "a,b,a,c,a,b"},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(s.act(), s.result) << s.what;
    EXPECT_EQ(Shown(g, 1), QString::fromLatin1(s.shown)) << s.what;
  }
  EXPECT_EQ(g.RowHeights(2), g.DefaultRowHeight()) << "a custom height comes back at the default";
  EXPECT_EQ(g.Cells(0, 4), QStringLiteral("4")) << "the rows are numbered again";
  g.Filter(1, u"c");
  EXPECT_EQ(g.Cells(0, 4), QStringLiteral("1"));
  g.Filter_Show_All();
  g.Popu_Menu_Hide_Zero_Click(&g);
  EXPECT_EQ(Shown(g, 2), QStringLiteral(",,,0.01,12.500,abc")) << "zeros of every form go, texts stay";
  EXPECT_EQ(Shown(g, 3), QStringLiteral("0,x,0,y,z,0.0")) << "text columns are left alone";
  g.Popu_Menu_Clear_Dot_Zero_Click(&g);
  EXPECT_EQ(Shown(g, 2), QStringLiteral(",,,0.01,12.5,abc"));
}

// The host module's dialogs, as a user reaches them: the right half of a header opens the column's
// extended filter, the menu's filter item the filter over a column's values.
TEST(MgSearch, HostFilterDialogs) {
  Searchable t;
  Zem_Host_Register_Grid();
  TMG& g = t.g;
  g.Filter_Show_All();
  g.SetRowCount(8);
  const char* depts[] = {"", "01", "02", "01", "03", "02", "01", "02"};
  for (int r = 1; r < 8; ++r) g.SetV(2, r, depts[r]);
  TMG sum;
  g.Set_Sum_Mg(&sum);
  auto header = [&] {  // the right half of column 2's header
    const TRect h = g.CellRect(2, 0);
    QTest::mouseClick(g.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(h.Right - 15, h.Top + 5));
  };
  auto menu = [&] { g.Base_Menu_Item("mg_filter")->Click(); };
  g.SetCol(2);
  g.Init_Popup_Menu();
  struct Row {
    const char* what;
    std::function<void()> open;
    std::function<void(QDialog*)> drive;
    const char* shown;
  } rows[] = {
      {"extended filter: untick 02", header,
       [](QDialog* d) {
         auto* list = d->findChild<QListWidget*>(QStringLiteral("values"));
         for (int i = 0; i < list->count(); ++i)
           if (list->item(i)->data(Qt::UserRole).toString() == QStringLiteral("02"))
             list->item(i)->setCheckState(Qt::Unchecked);
         d->findChild<QPushButton*>(QStringLiteral("ok"))->click();
       },
       "01,01,03,01"},
      {"extended filter: cancelled", header, [](QDialog* d) { d->reject(); }, "01,01,03,01"},
      {"menu filter: the value 02 of the current column", menu,
       [](QDialog* d) {
         auto* list = d->findChild<QListWidget*>(QStringLiteral("values"));
         for (int i = 0; i < list->count(); ++i)
           if (list->item(i)->data(Qt::UserRole).toString() == QStringLiteral("02")) list->setCurrentRow(i);
         d->accept();
       },
       "02,02,02"},
      {"menu filter: show all", menu,
       [](QDialog* d) { d->findChild<QPushButton*>(QStringLiteral("show_all"))->click(); }, "01,02,01,03,02,01,02"},
      {"extended filter: OK after typing 3 keeps the values listed", header,
       [](QDialog* d) {
         d->findChild<QLineEdit*>(QStringLiteral("contains"))->setText(QStringLiteral("3"));
         d->findChild<QPushButton*>(QStringLiteral("ok"))->click();
       },
       "03"},
      {"menu filter after a right click in column 2, the cursor in column 1: on the column clicked",
       [&] {
         g.SetCol(1);
         QTest::mouseClick(g.viewport(), Qt::RightButton, Qt::NoModifier, g.CellRect(2, 3).toQRect().center());
         g.Base_Popup_Menu()->menu()->hide();
         menu();
       },
       [](QDialog* d) {
         EXPECT_EQ(d->findChild<QComboBox*>(QStringLiteral("columns"))->currentData().toInt(), 2);
         d->findChild<QPushButton*>(QStringLiteral("show_all"))->click();
       },
       "01,02,01,03,02,01,02"},
  };
  for (const Row& r : rows) {
    With_Dialog(r.open, r.drive);
    EXPECT_EQ(Shown(g, 2), QString::fromLatin1(r.shown)) << r.what;
    EXPECT_TRUE(g.Sort_Keys.empty()) << r.what << ": a filter click does not sort";
  }
  EXPECT_EQ(sum.Cells(1, 0), QStringLiteral("合计 7")) << "the dialogs refresh the sum line";
}
