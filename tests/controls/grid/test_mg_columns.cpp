// Column model of TMG: the definition languages, lookups, per-column access and column order.
#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"

#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <utility>

namespace {

struct Grid : AppFirst {
  TMG g;
  explicit Grid(int cols = 6, int rows = 5) {
    g.SetColCount(cols);
    g.SetRowCount(rows);
  }
};

int MoneyWidth(TMG& g) { return 11 * (g.Canvas()->TextWidth(QStringLiteral("8")) + 3) + 3; }

}  // namespace

TEST(MgColumns, DefinitionLines) {
  const int kDefault = -2;  // width or colour left unchecked
  struct Row {
    const char* what;
    int col;
    const char16_t* line;
    char type;
    int dec, align, show;
    bool nullable, readonly;
    const char* name;
    int width, fixed;  // grid width (kDefault: not checked), fixed width
    TColor color, bg;
  };
  const int money = -1;  // the money width: 11 digit places of "8" + 3, plus 3
  const Row rows[] = {
      {"caption only", 1, u"Amount", 'S', 0, 0, 0, true, false, "Amount", kDefault, -1, 0, 0xFFFFFF},
      {"blanks and capitals", 1, u"  Amount  ,FLOAT,ReadOnly", 'F', 2, 1, 0, true, true, "Amount", kDefault, -1, 0, 0xFFFFFF},
      {"float with blank is not float", 1, u"Amount,float ,readonly", 'S', 0, 0, 0, true, true, "Amount", kDefault, -1, 0, 0xFFFFFF},
      {"dollar name lower-cased", 1, u"Code,$Code", 'S', 0, 0, 0, true, false, "code", kDefault, -1, 0, 0xFFFFFF},
      {"int", 1, u"Qty,int,notnull", 'I', 0, 1, 0, false, false, "Qty", kDefault, -1, 0, 0xFFFFFF},
      {"dec#3 makes F", 1, u"Rate,dec#3", 'F', 3, 1, 0, true, false, "Rate", kDefault, -1, 0, 0xFFFFFF},
      {"dec#0 keeps type", 1, u"Rate,dec#0", 'S', 0, 1, 0, true, false, "Rate", kDefault, -1, 0, 0xFFFFFF},
      {"show_bool is I", 1, u"Ok,show_bool", 'I', 0, 0, 2, true, false, "Ok", kDefault, -1, 0, 0xFFFFFF},
      {"show_simple is I", 1, u"N,show_simple", 'I', 0, 0, 0, true, false, "N", kDefault, -1, 0, 0xFFFFFF},
      {"money_red is money, no colour", 1, u"M,money_red", 'F', 2, 0, 1, true, false, "M", money, -1, 0, 0xFFFFFF},
      {"align keyword", 1, u"A,align", 'S', 0, 2, 0, true, false, "A", kDefault, -1, 0, 0xFFFFFF},
      {"chinese caption", 1, u"金额,number", 'F', 2, 1, 0, true, false, nullptr, kDefault, -1, 0, 0xFFFFFF},
      {"the example line", 1, u"Amount ,$amt, dec#2,|90,money,notnull", 'F', 2, 1, 1, false, false, "amt", money, -1, 0, 0xFFFFFF},
      {"bg_ and _bg both background", 1, u"C,bg_yellow, yellow_bg", 'S', 0, 0, 0, true, false, "C", kDefault, -1, 0, 0x00FFFF},
      {"keyword then numeric colours", 1, u"C,red,#255,bg#65280", 'S', 0, 0, 0, true, false, "C", kDefault, -1, 255, 65280},
      {"||60 fixes the width", 3, u"F,||60", 'S', 0, 0, 0, true, false, "F", 60, 60, 0, 0xFFFFFF},
      {"||60 at column 250 only sizes", 250, u"F,||60", 'S', 0, 0, 0, true, false, "F", 60, -1, 0, 0xFFFFFF},
      {"|1000 is ignored", 1, u"W,|1000", 'S', 0, 0, 0, true, false, "W", 64, -1, 0, 0xFFFFFF},
      {"|0 hides and keeps the column", 1, u"W,|0", 'S', 0, 0, 0, true, false, "W", 0, -1, 0, 0xFFFFFF},
  };
  for (const Row& r : rows) {
    Grid t(260);
    QStringList adef;
    for (int i = 1; i < r.col; ++i) adef << QStringLiteral("x%1").arg(i);
    adef << QString::fromUtf16(r.line);
    t.g.SetADEF(adef);
    TMG_Col_Def* d = t.g.GetColDef(r.col);
    const int width = r.width == kDefault ? t.g.ColWidths(r.col) : r.width == money ? MoneyWidth(t.g) : r.width;
    EXPECT_EQ(std::make_tuple(d->type, d->dec, int(d->align_style), int(d->show_style), d->nullable, d->readonly,
                              std::string(d->name), t.g.ColWidths(r.col), d->fixed_width, d->color, d->bgcolor),
              std::make_tuple(r.type, r.dec, r.align, r.show, r.nullable, r.readonly,
                              std::string(r.name ? r.name : d->name), width, r.fixed, r.color, r.bg)) << r.what;
    EXPECT_FALSE(t.g.Cells(r.col, 0).isEmpty()) << r.what;
  }
  // Items beyond the caption: limits, sign, editor and extended option.
  Grid t(5);
  t.g.Add_Def(4, "|0,min#10,max#100 x,+,picklist,allow_edit");
  TMG_Col_Def* d = t.g.GetColDef(4);
  EXPECT_EQ(std::make_tuple(std::string(d->min), std::string(d->max), d->sign, int(d->edit_style), d->ext_opt),
            std::make_tuple(std::string("10"), std::string("100"), '+', 2, 1));
}

TEST(MgColumns, LookupsAndOutOfRange) {
  Grid t(4);
  t.g.SetADEF({QStringLiteral("A,$Code"), QStringLiteral("B")});
  int id = -1, found = t.g.GetColId("Code", &id);
  EXPECT_EQ(std::make_pair(found, id), std::make_pair(0, -1)) << "the name is stored in lower case";
  found = t.g.GetColId("code", &id);
  EXPECT_EQ(std::make_tuple(found, id, t.g.GetColId(u"B", nullptr)), std::make_tuple(1, 1, 2));
  TMG_Col_Def* z = t.g.GetColDef("nope");
  EXPECT_TRUE(t.g.Get_Def("nope") == nullptr && z->type == 0 && z != t.g.GetColDef(99));
  EXPECT_EQ(std::make_tuple(t.g.GetColColor(99), t.g.GetColBgColor(-1), t.g.GetColFixedSize(4), t.g.GetColNullable(4)),
            std::make_tuple(TColor(0x5F5F5F), TColor(0xFFFFFF), -1, false));
  EXPECT_EQ(std::string(t.g.GetColName(7)) + t.g.C("nope", 1), "");
  t.g.SetColReadonly(9, true);  // out of range: nothing
  EXPECT_EQ(std::make_pair(t.g.Hide_Col("nope"), t.g.Hide_Col(2)), std::make_pair(0, 1));
  EXPECT_EQ(t.g.ColWidths(2), 0);
  EXPECT_EQ(t.g.Show_Col("B", 77), 1);
  EXPECT_EQ(t.g.GetColDef(2)->width, 77);
}

TEST(MgColumns, HeaderUnits) {
  Grid t;
  t.g.SetBDEF({QStringLiteral(" unit , 1, 0, 3 ,0, Money"), QStringLiteral("unit,1,0,3,0"),
               QStringLiteral("other,1,0,3,0,x")});
  ASSERT_EQ(t.g.Rect_Count(), 1);
  const TMG_Rect_Def* r = t.g.Get_Rect_Def(0);
  EXPECT_EQ(std::make_tuple(r->a, r->b, r->c, r->d, std::string(r->caption), t.g.DefaultDrawing()),
            std::make_tuple(1, 0, 3, 0, std::string("Money"), false));
}

TEST(MgColumns, RunTimeDefinition) {
  Grid t(2);
  TMG_Col_Def* d = t.g.Def_Col(4, u"Price", "price", 'F', 80, 0x01 | 0x02 | 0x20 | 0x08);
  EXPECT_EQ(std::make_tuple(t.g.ColCount(), d->nullable, d->readonly, int(d->edit_style), int(d->show_style), d->type,
                            d->dec, int(d->align_style), d->color, t.g.ColWidths(4), t.g.Cells(4, 0)),
            std::make_tuple(5, false, true, 2, 1, 'F', 6, 1, TColor(0x1F1F1F), 80, QStringLiteral("Price")));
}

TEST(MgColumns, SwapJumpAndDragMove) {
  Grid t(7);
  t.g.SetADEF({"c1", "c2", "c3", "c4", "c5", "c6"});
  for (int c = 1; c < 7; ++c) t.g.SetV(c, 1, t.g.GetColName(c));
  t.g.Cell_Attr.push_back({1, 5, 8, 0, 0xFF});
  t.g.Sort_Keys.push_back({2, 'S', 0});
  // The names of columns 1..6, "=" when row 1's cells went with their records, the attribute's column.
  const auto shape = [&] {
    std::string names, cells;
    for (int c = 1; c < 7; ++c) names += std::string(t.g.GetColName(c)) + " ";
    for (int c = 1; c < 7; ++c) cells += std::string(t.g.GetV(c, 1)) + " ";
    return names + (names == cells ? "=" : "! " + cells) + std::to_string(t.g.Cell_Attr[0].col);
  };
  const struct { const char* what; std::function<int()> act; int result; const char* shape; } steps[] = {
      {"a drag from 5 to 2 (the toolkit moved the cells): order changed, no sort keys",
       [&] { t.g.MoveColumn(5, 2); return t.g.Column_Order_Changed * 10 + int(t.g.Sort_Keys.size()); }, 10,
       "c1 c5 c2 c3 c4 c6 =2"},
      {"swap 1 and 2", [&] { return t.g.Swap_Column(1, 2); }, 1, "c5 c1 c2 c3 c4 c6 =1"},
      {"c5 jumps to 6", [&] { return t.g.Col_Jump("c5", 6); }, 1, "c1 c2 c3 c4 c6 c5 =6"},
      {"no column 7 to jump to", [&] { return t.g.Col_Jump("c5", 7); }, 0, "c1 c2 c3 c4 c6 c5 =6"},
      {"c1 already before c2", [&] { return t.g.Check_Column_Turn("c1", "c2"); }, 0, "c1 c2 c3 c4 c6 c5 =6"},
      {"c5 after c1 is turned", [&] { return t.g.Check_Column_Turn("c5", "c1"); }, 1, "c5 c2 c3 c4 c6 c1 =1"},
      {"c6 to 1: cells and records, not the attribute", [&] { return t.g.Adjust_Col_Pos("c6", 1); }, 1,
       "c6 c2 c3 c4 c5 c1 =1"},
      {"into a column no record has reached yet",
       [&] { t.g.SetColCount(300); return t.g.Adjust_Col_Pos("c6", 299); }, 1, " c2 c3 c4 c5 c1 =1"},
  };
  for (const auto& s : steps) {
    EXPECT_EQ(s.act(), s.result) << s.what;
    EXPECT_EQ(shape(), s.shape) << s.what;
  }
  EXPECT_STREQ(t.g.GetV(299, 1), "c6");
  EXPECT_STREQ(t.g.GetColName(299), "c6");
}

TEST(MgColumns, ResultRingKeepsHundred) {
  Grid t(2, 200);
  for (int r = 0; r < 100; ++r) t.g.SetV(1, r, r);
  const char* first = t.g.C(1, 0);
  for (int r = 1; r < 100; ++r) t.g.C(1, r);
  EXPECT_STREQ(first, "0");
}

// What a host set in code before the first show, what a form set in any order (ADEF before
// ColCount), and columns a shown grid gets after its ADEF are all there once the grid is shown: the
// first show never parses ADEF over settings, and columns added later take their lines.
TEST(MgColumns, SettingsSurviveTheFirstShow) {
  struct Row {
    const char* what;
    bool adefFirst;  // ADEF set while the grid had only 2 columns, as a form may
    bool shown;      // ... and the grid shown before that
  };
  const Row rows[] = {{"built in code", false, false},
                      {"form order: ADEF before ColCount", true, false},
                      {"a shown grid given ADEF, then its columns", true, true}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    controlsTestApp();
    QWidget form;
    auto* g = new TMG(&form);
    const QStringList adef{QStringLiteral("Code,$code,readonly"), QStringLiteral("Amount,money"),
                           QStringLiteral("Memo,||70")};
    if (r.adefFirst) {
      g->SetColCount(2);
      if (r.shown) form.show();
      ASSERT_TRUE(g->setProperty("ADEF", adef));
      ASSERT_TRUE(g->setProperty("ColCount", 4));
    } else {
      g->SetColCount(4);
      g->SetADEF(adef);
      g->SetColReadonly(1, false);
      g->SetColColor(2, 0x123456);
      g->Show_Col(1, 33);
    }
    ASSERT_TRUE(g->setProperty("BDEF", QStringList{QStringLiteral("unit,1,0,2,0,Voucher")}));
    ASSERT_TRUE(g->setProperty("Show_Row_Id_Mode", false));
    form.show();
    // Loaded; column 3 caption, width, fixed width; column 0 width; units; column 2 style, width, colour;
    // column 1 read-only, width.
    const auto seen = [&] {
      return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 ").arg(g->IsLoaded()).arg(g->Cells(3, 0)).arg(g->ColWidths(3))
                 .arg(g->GetColFixedSize(3)).arg(g->ColWidths(0)).arg(g->Rect_Count()).arg(g->GetColShowStyle(2))
                 .arg(g->ColWidths(2) == MoneyWidth(*g)) +
             QStringLiteral("%1 %2 %3").arg(g->GetColColor(2), 0, 16).arg(g->GetColReadonly(1)).arg(g->ColWidths(1));
    };
    const QString want = QStringLiteral("1 Memo 70 70 18 1 1 1 %1 %2 %3")
                             .arg(r.adefFirst ? "0" : "123456").arg(r.adefFirst).arg(r.adefFirst ? g->ColWidths(1) : 33);
    EXPECT_EQ(seen(), want);
    EXPECT_EQ(g->property("ADEF").toStringList(), adef);
    g->Loaded();  // a host calling it again changes nothing
    EXPECT_EQ(seen(), want);
    EXPECT_EQ(g->property("FixedFontColor").toInt(), 0x800000);
  }
}
