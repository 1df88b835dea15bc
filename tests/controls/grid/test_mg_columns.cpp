// Column model of TMG: the definition languages, lookups, per-column access and column order.
#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"

#include <cstring>

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
    SCOPED_TRACE(r.what);
    EXPECT_EQ(d->type, r.type);
    EXPECT_EQ(d->dec, r.dec);
    EXPECT_EQ(d->align_style, r.align);
    EXPECT_EQ(d->show_style, r.show);
    EXPECT_EQ(d->nullable, r.nullable);
    EXPECT_EQ(d->readonly, r.readonly);
    if (r.name) {
      EXPECT_STREQ(d->name, r.name);
    }
    if (r.width != kDefault) {
      EXPECT_EQ(t.g.ColWidths(r.col), r.width == money ? MoneyWidth(t.g) : r.width);
    }
    EXPECT_EQ(d->fixed_width, r.fixed);
    EXPECT_EQ(d->color, r.color);
    EXPECT_EQ(d->bgcolor, r.bg);
    EXPECT_EQ(t.g.Cells(r.col, 0).isEmpty(), false);
  }
  // Items beyond the caption: limits, sign, editor and extended option.
  Grid t(5);
  t.g.Add_Def(4, "|0,min#10,max#100 x,+,picklist,allow_edit");
  TMG_Col_Def* d = t.g.GetColDef(4);
  EXPECT_STREQ(d->min, "10");
  EXPECT_STREQ(d->max, "100");
  EXPECT_EQ(d->sign, '+');
  EXPECT_EQ(d->edit_style, 2);
  EXPECT_EQ(d->ext_opt, 1);
}

TEST(MgColumns, LookupsAndOutOfRange) {
  Grid t(4);
  t.g.SetADEF({QStringLiteral("A,$Code"), QStringLiteral("B")});
  int id = -1;
  EXPECT_EQ(t.g.GetColId("Code", &id), 0);
  EXPECT_EQ(id, -1);
  EXPECT_EQ(t.g.GetColId("code", &id), 1);
  EXPECT_EQ(id, 1);
  EXPECT_EQ(t.g.GetColId(u"B", nullptr), 2);
  EXPECT_EQ(t.g.Get_Def("nope"), nullptr);
  TMG_Col_Def* z = t.g.GetColDef("nope");
  EXPECT_EQ(z->type, 0);
  EXPECT_NE(z, t.g.GetColDef(99));
  EXPECT_EQ(t.g.GetColColor(99), 0x5F5F5F);
  EXPECT_EQ(t.g.GetColBgColor(-1), 0xFFFFFF);
  EXPECT_EQ(t.g.GetColFixedSize(4), -1);
  EXPECT_FALSE(t.g.GetColNullable(4));
  EXPECT_STREQ(t.g.GetColName(7), "");
  EXPECT_STREQ(t.g.C("nope", 1), "");
  t.g.SetColReadonly(9, true);  // out of range: nothing
  EXPECT_EQ(t.g.Hide_Col("nope"), 0);
  EXPECT_EQ(t.g.Hide_Col(2), 1);
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
  EXPECT_EQ(r->a, 1);
  EXPECT_EQ(r->b, 0);
  EXPECT_EQ(r->c, 3);
  EXPECT_EQ(r->d, 0);
  EXPECT_STREQ(r->caption, "Money");
  EXPECT_FALSE(t.g.DefaultDrawing());
}

TEST(MgColumns, RunTimeDefinition) {
  Grid t(2);
  TMG_Col_Def* d = t.g.Def_Col(4, u"Price", "price", 'F', 80, 0x01 | 0x02 | 0x20 | 0x08);
  EXPECT_EQ(t.g.ColCount(), 5);
  EXPECT_FALSE(d->nullable);
  EXPECT_TRUE(d->readonly);
  EXPECT_EQ(d->edit_style, 2);
  EXPECT_EQ(d->show_style, 1);
  EXPECT_EQ(d->type, 'F');
  EXPECT_EQ(d->dec, 6);
  EXPECT_EQ(d->align_style, 1);
  EXPECT_EQ(d->color, 0x1F1F1F);
  EXPECT_EQ(t.g.ColWidths(4), 80);
  EXPECT_EQ(t.g.Cells(4, 0), QStringLiteral("Price"));
}

TEST(MgColumns, SwapJumpAndDragMove) {
  Grid t(7);
  t.g.SetADEF({"c1", "c2", "c3", "c4", "c5", "c6"});
  for (int c = 1; c < 7; ++c) t.g.SetV(c, 1, t.g.GetColName(c));
  t.g.Cell_Attr.push_back({1, 5, 8, 0, 0xFF});
  t.g.Sort_Keys.push_back({2, 'S', 0});

  // A drag from 5 to 2: the toolkit moved the cells; records and attributes follow.
  t.g.MoveColumn(5, 2);
  EXPECT_STREQ(t.g.GetColName(2), "c5");
  EXPECT_STREQ(t.g.GetColName(3), "c2");
  EXPECT_STREQ(t.g.GetColName(5), "c4");
  EXPECT_STREQ(t.g.GetV(2, 1), "c5");
  EXPECT_EQ(t.g.Cell_Attr[0].col, 2);
  EXPECT_TRUE(t.g.Sort_Keys.empty());
  EXPECT_EQ(t.g.Column_Order_Changed, 1);

  EXPECT_EQ(t.g.Swap_Column(1, 2), 1);
  EXPECT_STREQ(t.g.GetColName(1), "c5");
  EXPECT_STREQ(t.g.GetV(1, 1), "c5");
  EXPECT_EQ(t.g.Cell_Attr[0].col, 1);

  EXPECT_EQ(t.g.Col_Jump("c5", 6), 1);
  EXPECT_STREQ(t.g.GetColName(6), "c5");
  EXPECT_STREQ(t.g.GetColName(1), "c1");
  EXPECT_EQ(t.g.Col_Jump("c5", 7), 0);

  EXPECT_EQ(t.g.Check_Column_Turn("c1", "c2"), 0);
  EXPECT_EQ(t.g.Check_Column_Turn("c5", "c1"), 1);
  EXPECT_STREQ(t.g.GetColName(1), "c5");

  EXPECT_EQ(t.g.Adjust_Col_Pos("c6", 1), 1);
  EXPECT_STREQ(t.g.GetColName(1), "c6");
  EXPECT_STREQ(t.g.GetV(1, 1), "c6");
  // Into a column no record has reached yet: the exchange takes a fresh record's place.
  t.g.SetColCount(300);
  EXPECT_EQ(t.g.Adjust_Col_Pos("c6", 299), 1);
  EXPECT_STREQ(t.g.GetColName(299), "c6");
  EXPECT_STREQ(t.g.GetV(299, 1), "c6");
  EXPECT_STREQ(t.g.GetColName(1), "");
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
    EXPECT_TRUE(g->IsLoaded());
    EXPECT_EQ(g->Cells(3, 0), QStringLiteral("Memo"));
    EXPECT_EQ(g->ColWidths(3), 70);
    EXPECT_EQ(g->GetColFixedSize(3), 70);
    EXPECT_EQ(g->ColWidths(0), 18);
    EXPECT_EQ(g->Rect_Count(), 1);
    EXPECT_EQ(g->GetColShowStyle(2), 1);
    EXPECT_EQ(g->ColWidths(2), MoneyWidth(*g));
    EXPECT_EQ(g->GetColReadonly(1), r.adefFirst);
    EXPECT_EQ(g->GetColColor(2), r.adefFirst ? 0 : 0x123456);
    if (!r.adefFirst) {
      EXPECT_EQ(g->ColWidths(1), 33);
    }
    EXPECT_EQ(g->property("ADEF").toStringList(), adef);
    g->Loaded();  // a host calling it again changes nothing
    EXPECT_EQ(g->GetColColor(2), r.adefFirst ? 0 : 0x123456);
    EXPECT_EQ(g->property("FixedFontColor").toInt(), 0x800000);
  }
}
