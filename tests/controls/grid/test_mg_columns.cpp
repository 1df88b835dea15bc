// Column model of TMG: the definition languages, lookups, per-column access and column order.
#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"

#include <cstring>

namespace {

struct AppFirst {
  AppFirst() { controlsTestApp(); }
};

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
  struct Row {
    const char* what;
    const char16_t* line;
    char type;
    int dec;
    int align;
    int show;
    bool nullable;
    bool readonly;
    const char* name;
  };
  const Row rows[] = {
      {"caption only", u"Amount", 'S', 0, 0, 0, true, false, "Amount"},
      {"blanks and capitals", u"  Amount  ,FLOAT,ReadOnly", 'F', 2, 1, 0, true, true, "Amount"},
      {"float with blank is not float", u"Amount,float ,readonly", 'S', 0, 0, 0, true, true, "Amount"},
      {"dollar name lower-cased", u"Code,$Code", 'S', 0, 0, 0, true, false, "code"},
      {"int", u"Qty,int,notnull", 'I', 0, 1, 0, false, false, "Qty"},
      {"dec#3 makes F", u"Rate,dec#3", 'F', 3, 1, 0, true, false, "Rate"},
      {"dec#0 keeps type", u"Rate,dec#0", 'S', 0, 1, 0, true, false, "Rate"},
      {"show_bool is I", u"Ok,show_bool", 'I', 0, 0, 2, true, false, "Ok"},
      {"show_simple is I", u"N,show_simple", 'I', 0, 0, 0, true, false, "N"},
      {"money_red is money", u"M,money_red", 'F', 2, 0, 1, true, false, "M"},
      {"align keyword", u"A,align", 'S', 0, 2, 0, true, false, "A"},
      {"chinese caption", u"金额,number", 'F', 2, 1, 0, true, false, nullptr},
  };
  for (const Row& r : rows) {
    Grid t(3);
    t.g.SetADEF({QString::fromUtf16(r.line)});
    TMG_Col_Def* d = t.g.GetColDef(1);
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
  }
}

TEST(MgColumns, ExampleLineAndHeader) {
  Grid t(3);
  t.g.SetADEF({QStringLiteral("Amount ,$amt, dec#2,|90,money,notnull"), QStringLiteral("Memo")});
  TMG_Col_Def* d = t.g.GetColDef("amt");
  ASSERT_EQ(d, t.g.GetColDef(1));
  EXPECT_EQ(t.g.Cells(1, 0), QStringLiteral("Amount"));
  EXPECT_EQ(d->type, 'F');
  EXPECT_EQ(d->dec, 2);
  EXPECT_EQ(d->width, 90);
  EXPECT_EQ(t.g.ColWidths(1), MoneyWidth(t.g));
  EXPECT_FALSE(d->nullable);
  EXPECT_STREQ(t.g.GetColName(2), "Memo");
  EXPECT_EQ(t.g.GetColFixedSize(0), 50);
}

TEST(MgColumns, ColoursAndWidths) {
  Grid t(260);
  t.g.Add_Def(1, "bg_yellow, yellow_bg");
  EXPECT_EQ(t.g.GetColBgColor(1), 0x00FFFF);
  EXPECT_EQ(t.g.GetColColor(1), 0);
  t.g.Add_Def(2, "red,#255,bg#65280");
  EXPECT_EQ(t.g.GetColColor(2), 255);
  EXPECT_EQ(t.g.GetColBgColor(2), 65280);
  t.g.Add_Def(3, "||60");
  EXPECT_EQ(t.g.GetColFixedSize(3), 60);
  EXPECT_EQ(t.g.ColWidths(3), 60);
  t.g.Add_Def(250, "||60");
  EXPECT_EQ(t.g.GetColFixedSize(250), -1);
  EXPECT_EQ(t.g.ColWidths(250), 60);
  int before = t.g.ColWidths(4);
  t.g.Add_Def(4, "|1000");
  EXPECT_EQ(t.g.ColWidths(4), before);
  t.g.Add_Def(4, "|0,min#10,max#100 x,+,picklist,allow_edit");
  EXPECT_EQ(t.g.ColWidths(4), 0);
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
  t.g.Sort_Keys.push_back({2, 0});

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
}

TEST(MgColumns, RowIdModeAndLoaded) {
  Grid t(3);
  t.g.SetADEF({"A,int"});
  t.g.Set_Show_Row_Id_Mode(false);
  EXPECT_EQ(t.g.ColWidths(0), 18);
  EXPECT_EQ(t.g.Cells(0, 1), QString(QChar(0x25C6)));
  t.g.Loaded();
  EXPECT_TRUE(t.g.IsLoaded());
  EXPECT_EQ(t.g.GetColDef(1)->type, 'I');
  EXPECT_EQ(t.g.ColWidths(0), 18);
}

TEST(MgColumns, ResultRingKeepsHundred) {
  Grid t(2, 200);
  const char* first = nullptr;
  for (int r = 0; r < 100; ++r) t.g.SetV(1, r, r);
  for (int r = 0; r < 100; ++r) {
    const char* p = t.g.C(1, r);
    if (r == 0) first = p;
  }
  EXPECT_STREQ(first, "0");
}

// What a form loader does: set the published properties by name, then Loaded().
TEST(MgColumns, PropertiesByName) {
  Grid t(3);
  QStringList adef{QStringLiteral("Code,$code,readonly"), QStringLiteral("Amount,money")};
  QStringList bdef{QStringLiteral("unit,1,0,2,0,Voucher")};
  ASSERT_TRUE(t.g.setProperty("ADEF", adef));
  ASSERT_TRUE(t.g.setProperty("BDEF", bdef));
  ASSERT_TRUE(t.g.setProperty("Show_Row_Id_Mode", false));
  t.g.Loaded();
  EXPECT_EQ(t.g.property("ADEF").toStringList(), adef);
  EXPECT_EQ(t.g.property("BDEF").toStringList(), bdef);
  EXPECT_TRUE(t.g.GetColReadonly(1));
  EXPECT_EQ(t.g.GetColShowStyle(2), 1);
  EXPECT_EQ(t.g.Rect_Count(), 1);
  EXPECT_EQ(t.g.ColWidths(0), 18);
  EXPECT_EQ(t.g.property("FixedFontColor").toInt(), 0x800000);
}
