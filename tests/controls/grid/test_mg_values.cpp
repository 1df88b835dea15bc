// Values of TMG: number formatting and cleaning, Valid_Check, column-wide normalisation, rows.
#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"

#include <string>

TEST(MgValues, FormatNumber) {
  struct Row {
    const char* in;
    int d;
    bool pad;
    const char* out;
  };
  const Row rows[] = {
      {"12", 2, true, "12.00"},         {"12.5", 2, true, "12.50"},      {"12.567", 2, true, "12.56"},
      {"1,234.5", 2, true, "1,234.50"}, {"", 2, true, "0.00"},           {"-0.5", 2, true, "-0.50"},
      {"12", 2, false, "12"},           {"12.567", 2, false, "12.56"},   {"12.9", 0, true, "12"},
      {"007", 0, false, "07"},          {"000", 0, false, "0"},          {"+ 5", 1, true, "5.0"},
      {"abc", 2, false, "0"},           {"12.3.4", 3, false, "12.3"},    {"5", -3, true, "5"},
      {"1234567", 0, false, "1234567"}, {"1,234567", 0, false, "1,234,567"},
      {"0.123456789012", 20, false, "0.1234567890"},
  };
  for (const Row& r : rows) EXPECT_EQ(Mg_Format_Number(r.in, r.d, r.pad), r.out) << r.in << " d=" << r.d;
}

TEST(MgValues, CleanAndAllt) {
  EXPECT_EQ(Mg_Clean_Number("1, 234 .5x"), "1234.5");
  EXPECT_EQ(Mg_Clean_Number("-"), "0");
  EXPECT_EQ(Mg_Allt_Number("12.500"), "12.5");
  EXPECT_EQ(Mg_Allt_Number("12.000"), "12");
  EXPECT_EQ(Mg_Allt_Number("12."), "12");
  EXPECT_EQ(Mg_Allt_Number("12.05"), "12.05");
  EXPECT_EQ(Mg_Allt_Number("100"), "100");
}

TEST(MgValues, ValidCheck) {
  struct Row {
    const char* what;
    const char* items;
    const char16_t* in;
    const char16_t* out;
  };
  const Row rows[] = {
      {"currency and separators", "float", u"¥1,234.5", u"1234.5"},
      {"int cuts", "int", u"12.999", u"12"},
      {"sign plus", "int,+", u"-3", u"0"},
      {"sign minus", "int,-", u"3", u"0"},
      {"minimum", "int,min#10", u"7", u"10"},
      {"maximum", "int,max#100", u"250", u"100"},
      {"full-width digits", "int", u"１２３", u"123"},
      {"text column untouched", "", u"abc", u"abc"},
      {"decimals cut", "dec#1", u"3.25", u"3.2"},
      {"exact limit compare", "float,max#0.3", u"0.30", u"0.30"},
  };
  for (const Row& r : rows) {
    controlsTestApp();
    TMG g;
    g.SetColCount(2);
    g.SetRowCount(3);
    g.Add_Def(1, r.items);
    g.SetCells(1, 1, QString::fromUtf16(r.in));
    g.Valid_Check(1, 1);
    EXPECT_EQ(g.Cells(1, 1), QString::fromUtf16(r.out)) << r.what;
  }
}

TEST(MgValues, CheckBoxColumnStops) {
  controlsTestApp();
  TMG g;
  g.SetColCount(2);
  g.Add_Def(1, "bool");
  g.SetV(1, 1, "1");
  EXPECT_EQ(g.Valid_Check(1, 1), 2);
}

TEST(MgValues, ColumnNormalisation) {
  controlsTestApp();
  TMG g;
  g.SetColCount(3);
  g.SetRowCount(6);
  g.SetADEF({"N,number", "T"});
  const char* in[] = {"1.50", "2.125", "3", "*x.1234", ""};
  for (int i = 0; i < 5; ++i) g.SetV(1, i + 1, in[i]);
  g.SetV(2, 1, "1.50");
  g.Allt_And_Unify();
  const char* out[] = {"1.500", "2.125", "3.000", "*x.1234", ""};
  for (int i = 0; i < 5; ++i) EXPECT_STREQ(g.GetV(1, i + 1), out[i]);
  EXPECT_STREQ(g.GetV(2, 1), "1.50");  // text column left alone

  g.SetV(1, 2, "");
  g.Std_Number_Cell(1, 2);
  EXPECT_STREQ(g.GetV(1, 2), "0.00");
}

TEST(MgValues, TypedAccess) {
  controlsTestApp();
  TMG g;
  g.SetColCount(3);
  g.SetADEF({"A,$a", "B"});
  EXPECT_STREQ(g.SetV(1, 1, 0.1f), "0.100000001490116");
  EXPECT_STREQ(g.SetV(1, 2, -42), "-42");
  EXPECT_STREQ(g.GetV("a", 2), "-42");
  EXPECT_STREQ(g.SetV("nope", 1, "x"), "");
  g.SetV("B", 1, u"金额");
  EXPECT_EQ(g.Cells(2, 1), QStringLiteral("金额"));
  EXPECT_EQ(std::u16string(g.GetW("B", 1)), u"金额");
  EXPECT_EQ(std::u16string(g.GetW("nope", 1)), u"");
  // Dictionary pick-list cells read back as the code.
  std::strcpy(g.GetColDef(2)->dict, "dept");
  g.GetColDef(2)->edit_style = 3;
  g.SetCells(2, 2, QStringLiteral("01 Sales"));
  EXPECT_EQ(std::u16string(g.GetW(2, 2)), u"01");
}

TEST(MgValues, Rows) {
  controlsTestApp();
  TMG g;
  g.SetColCount(3);
  g.SetRowCount(2);
  g.SetV(1, 1, "only");
  EXPECT_EQ(g.Delete_Row(1), 1);
  EXPECT_EQ(g.RowCount(), 2);
  EXPECT_STREQ(g.GetV(1, 1), "");
  EXPECT_EQ(g.Delete_Row(0), 0);
  EXPECT_EQ(g.Insert_Row(0), 0);

  g.SetV(1, 1, "a");
  g.Add_Row(1);
  g.SetV(1, 2, "b");
  g.Insert_Row(1);
  EXPECT_EQ(g.RowCount(), 4);
  EXPECT_STREQ(g.GetV(1, 1), "");
  EXPECT_STREQ(g.GetV(1, 2), "a");
  EXPECT_STREQ(g.GetV(1, 3), "b");
  EXPECT_EQ(g.Get_Have_Data_Row_Num(), 2);

  g.Cell_Attr.push_back({2, -10, 8, 0, 0xFF});
  g.Swap_Row(2, 3);
  EXPECT_STREQ(g.GetV(1, 2), "b");
  EXPECT_EQ(g.Cell_Attr[0].row, 3);

  g.SetRowHeights(2, 0);
  EXPECT_EQ(g.Get_Have_Data_Row_Num(), 1);
  g.SetColWidths(1, 0);
  EXPECT_EQ(g.Get_Have_Data_Row_Num(), 0);

  g.Delete_Row(2);
  EXPECT_EQ(g.RowCount(), 3);
  EXPECT_STREQ(g.GetV(1, 2), "a");

  TMG copy;
  copy.Assign_Mg(&g);
  EXPECT_EQ(copy.RowCount(), 3);
  EXPECT_STREQ(copy.GetV(1, 2), "a");
  EXPECT_EQ(copy.ColWidths(1), 0);
  EXPECT_FALSE(copy.Has_Changed());
}
