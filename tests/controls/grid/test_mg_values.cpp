// Values of TMG: number formatting and cleaning, Valid_Check, column-wide normalisation, rows.
#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"

#include <string>
#include <vector>

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
  EXPECT_EQ(Mg_Clean_Number("1, 234 .5x") + " " + Mg_Clean_Number("-"), "1234.5 0");
  std::string allt;
  for (const char* n : {"12.500", "12.000", "12.", "12.05", "100"}) allt += Mg_Allt_Number(n) + " ";
  EXPECT_EQ(allt, "12.5 12 12 12.05 100 ");
}

// Each row without and with "keep_bad_number" (kept: what it leaves, why: Number_Problem's reason).
TEST(MgValues, ValidCheck) {
  struct Row {
    const char* what;
    const char* items;
    const char16_t* in;
    const char16_t* out;
    int result;
    const char16_t* kept = nullptr;
    const char16_t* why = u"";
  };
  const Row rows[] = {
      {"currency and separators", "float", u"¥1,234.5", u"1234.5", 1},
      {"int cuts", "int", u"12.999", u"12", 1, u"12.999", u"只能是整数"},
      {"a letter among the digits", "float", u"12a.5", u"12.5", 1, u"12a.5", u"不是数字"},
      {"a third decimal", "float", u"1.234", u"1.23", 1, u"1.234", u"小数超过 2 位"},
      {"trailing zeros past the decimals lose nothing", "float", u"1.2300", u"1.23", 1},
      {"sign plus", "int,+", u"-3", u"0", 1},
      {"sign minus", "int,-", u"3", u"0", 1},
      {"minimum", "int,min#10", u"7", u"10", 1},
      {"maximum", "int,max#100", u"250", u"100", 1},
      {"minimum above maximum, under both", "int,min#100,max#10", u"5", u"100", 1},
      {"minimum above maximum, between", "int,min#100,max#10", u"50", u"10", 1},
      {"minimum above maximum, over both", "int,min#100,max#10", u"500", u"10", 1},
      {"full-width digits", "int", u"１２３", u"123", 1},
      {"text column untouched", "", u"abc", u"abc", 0},
      {"decimals cut", "dec#1", u"3.25", u"3.2", 1, u"3.25", u"小数超过 1 位"},
      {"exact limit compare", "float,max#0.3", u"0.30", u"0.30", 1},
      {"check box stops after cleaning", "bool", u"1", u"1", 2},
  };
  for (const Row& r : rows)
    for (bool keep : {false, true}) {
      SCOPED_TRACE(keep ? "keep_bad_number" : "normalised");
      controlsTestApp();
      TMG g;
      g.SetColCount(2);
      g.SetRowCount(3);
      g.Add_Def(1, r.items);
      if (keep) g.Opt_Add("keep_bad_number", nullptr);
      g.SetCells(1, 1, QString::fromUtf16(r.in));
      EXPECT_EQ(g.Number_Problem(1, 1), QString::fromUtf16(r.why)) << r.what;
      const bool kept = keep && r.kept;
      EXPECT_EQ(g.Valid_Check(1, 1), kept ? 0 : r.result) << r.what;
      EXPECT_EQ(g.Cells(1, 1), QString::fromUtf16(kept ? r.kept : r.out)) << r.what;
    }
}

// Allt_And_Unify over one numeric column; cells longer than 40 bytes are cut and take the result.
TEST(MgValues, ColumnNormalisation) {
  struct Row {
    const char* what;
    std::vector<std::string> in, out;
  };
  const std::string int29 = "12345678901234567890123456789";
  std::string zhong19;  // 19 double-byte characters (GBK)
  for (int i = 0; i < 19; ++i) zhong19 += "\xd6\xd0";
  const Row rows[] = {
      {"common decimals", {"1.50", "2.125", "3", "*x.1234", ""}, {"1.500", "2.125", "3.000", "*x.1234", ""}},
      {"a long fraction is cut to 10 decimals", {"1.5", "0.123456789012345"}, {"1.5000000000", "0.1234567890"}},
      {"a cell over 40 bytes takes its cut form",
       {int29 + ".1234567891234", "1"},
       {int29 + ".1234567891", "1.0000000000"}},
      {"an integer over 40 bytes is cut",
       {"1234567890123456789012345678901234567890123", "7"},
       {"1234567890123456789012345678901234567890", "7"}},
      {"a cut at 40 bytes keeps whole characters", {"1" + zhong19 + "\xd6\xd0"}, {"1" + zhong19}},
  };
  for (const Row& r : rows) {
    controlsTestApp();
    TMG g;
    g.SetColCount(3);
    g.SetRowCount(int(r.in.size()) + 1);
    g.SetADEF({"N,number", "T"});
    for (size_t i = 0; i < r.in.size(); ++i) g.SetV(1, int(i) + 1, r.in[i].c_str());
    g.SetV(2, 1, "1.50");
    g.Allt_And_Unify();
    for (size_t i = 0; i < r.out.size(); ++i) EXPECT_EQ(g.GetV(1, int(i) + 1), r.out[i]) << r.what << " row " << i;
    EXPECT_STREQ(g.GetV(2, 1), "1.50") << "text column left alone";
  }
  controlsTestApp();
  TMG g;
  g.SetColCount(2);
  g.SetADEF({"N,number"});
  g.Std_Number_Cell(1, 1);
  EXPECT_STREQ(g.GetV(1, 1), "0.00");
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
