// Exact decimal number texts: every case runs on narrow and on wide text, which must agree.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "core/data/dec_num.h"

namespace {

std::u16string W(const std::string& s) { return std::u16string(s.begin(), s.end()); }
std::string N(const std::u16string& s) { return std::string(s.begin(), s.end()); }

TEST(DecNum, CompareTable) {
  const struct { const char* name; const char* a; const char* b; int want; } cases[] = {
      {"trailing zeros", "1.50", "1.5", 0}, {"empty is zero", "", "0", 0}, {"minus zero", "-0", "0", 0},
      {"minus zero with fraction", "-0.000", "0.0", 0}, {"ten after nine", "10", "9", 1},
      {"negative before positive", "-2", "1", -1}, {"plus sign", "+5", "5", 0}, {"leading zeros", "007", "7", 0},
      {"thousands separators", "1,234.5", "1234.50", 0}, {"negatives reversed", "-1.1", "-1.01", -1},
      {"fraction digits", "0.001", "0.0009", 1}, {"fewer integer digits", "99", "100", -1},
      {"fewer negative digits", "-99", "-100", 1},
      {"beyond 64 bits", "123456789012345678901234567890", "123456789012345678901234567891", -1},
      {"beyond 64 bits, more digits", "1000000000000000000000", "999999999999999999999.99", 1},
      {"letters read as zero", "abc", "0", 0}, {"number then letters", "12abc", "12", 0},
      {"blanks before", " \t-3", "-3", 0}, {"blank after sign", "- 3", "-3", 0}, {"bare fraction", ".5", "0.5", 0},
      {"lone sign", "-", "0", 0}, {"small negative below zero", "-0.01", "", -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Dec_Cmp(c.a, c.b), c.want) << c.name;
    EXPECT_EQ(Dec_Cmp(c.b, c.a), -c.want) << c.name << " (swapped)";
    std::u16string a = W(c.a), b = W(c.b);
    EXPECT_EQ(Dec_Cmp(a.c_str(), b.c_str()), c.want) << c.name << " (wide)";
  }
  EXPECT_EQ(Dec_Cmp(static_cast<const char*>(nullptr), "0"), 0) << "null reads as zero";
}

TEST(DecNum, CompareByLengthStopsAtTheLength) {
  std::u16string a = u"12345", b = u"123";
  EXPECT_EQ(std::make_tuple(Dec_Cmp(a.c_str(), 3, b.c_str(), -1), Dec_Cmp(a.c_str(), 4, b.c_str(), 3), Dec_Cmp(a.c_str(), 0, u"", -1)),
            std::make_tuple(0, 1, 0));
}

TEST(DecNum, AddSubtractMultiplyTable) {
  const struct { const char* name; char op; const char* a; const char* b; const char* want; } cases[] = {
      {"same decimals kept", '+', "1.10", "2.20", "3.30"}, {"mixed decimals", '+', "1.5", "2.25", "3.75"},
      {"zeros kept", '+', "1.50", "2.50", "4.00"}, {"integers", '+', "3", "4", "7"}, {"empty texts", '+', "", "", "0"},
      {"to zero", '+', "-1", "1", "0"}, {"negative result", '+', "-1.5", "1", "-0.5"},
      {"zero keeps scale, no sign", '+', "0.1", "-0.10", "0.00"},
      {"carry past 64 bits", '+', "99999999999999999999", "1", "100000000000000000000"},
      {"separators", '+', "1,000", "-0.001", "999.999"}, {"minus zeros", '+', "-0", "-0", "0"},
      {"both negative", '+', "-2.5", "-0.75", "-3.25"}, {"equal", '-', "1", "1.00", "0.00"},
      {"below zero", '-', "5", "7", "-2"}, {"negatives", '-', "-5", "-7", "2"},
      {"binary-unfriendly fractions", '-', "0.3", "0.1", "0.2"},
      {"borrow across digits", '-', "1000", "0.001", "999.999"}, {"scales add", '*', "1.5", "2", "3.0"},
      {"signs", '*', "-0.5", "0.5", "-0.25"}, {"long", '*', "123456789", "987654321", "121932631112635269"},
      {"zero has no sign", '*', "0", "-5", "0"}, {"empty", '*', "", "7.25", "0.00"},
      {"carries", '*', "99", "99", "9801"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(1, c.op) + " " + c.name);
    std::string out;
    std::u16string wout;
    const std::u16string a = W(c.a), b = W(c.b);
    if (c.op == '+') {
      EXPECT_EQ(Dec_Add(c.a, c.b, &out), 1);
      Dec_Add(a.c_str(), b.c_str(), &wout);
    } else if (c.op == '-') {
      Dec_Sub(c.a, c.b, &out), Dec_Sub(a.c_str(), b.c_str(), &wout);
    } else {
      Dec_Mul(c.a, c.b, &out), Dec_Mul(a.c_str(), b.c_str(), &wout);
    }
    EXPECT_EQ(out, c.want);
    EXPECT_EQ(N(wout), c.want) << "wide";
  }
}

TEST(DecNum, DivideTable) {
  const struct { const char* name; const char* a; const char* b; int d; int ok; const char* want; } cases[] = {
      {"thirds", "10", "3", 2, 1, "3.33"}, {"rounds up", "2", "3", 2, 1, "0.67"},
      {"rounds away from zero", "-2", "3", 2, 1, "-0.67"}, {"half up", "1", "8", 2, 1, "0.13"},
      {"half away below zero", "-1", "8", 2, 1, "-0.13"}, {"by zero", "1", "0", 2, 0, ""},
      {"by empty", "1", "", 2, 0, ""}, {"fractions", "7.5", "2.5", 0, 1, "3"},
      {"negative decimals count as 0", "1", "3", -1, 1, "0"}, {"small operands", "0.001", "0.003", 3, 1, "0.333"},
      {"by a fraction", "100", "0.25", 1, 1, "400.0"},
      {"long result", "1", "7", 30, 1, "0.142857142857142857142857142857"},
      {"rounds to zero without sign", "-0.001", "3", 2, 1, "0.00"}, {"average of a total", "10.00", "4", 2, 1, "2.50"},
  };
  for (const auto& c : cases) {
    std::string out = "junk";
    EXPECT_EQ(Dec_Div(c.a, c.b, c.d, &out), c.ok) << c.name;
    EXPECT_EQ(out, c.want) << c.name;
    std::u16string wout;
    EXPECT_EQ(Dec_Div(W(c.a).c_str(), W(c.b).c_str(), c.d, &wout), c.ok) << c.name;
    EXPECT_EQ(N(wout), c.want) << c.name << " (wide)";
  }
}

TEST(DecNum, RoundFormatNormaliseTable) {
  // round: Dec_Round; format: Dec_Format
  const struct { const char* name; const char* a; int d; int sep; const char* round; const char* format; } cases[] = {
      {"half up", "2.345", 2, 0, "2.35", "2.35"}, {"half away below zero", "-2.345", 2, 0, "-2.35", "-2.35"},
      {"down", "2.344", 2, 0, "2.34", "2.34"}, {"padded", "1", 2, 0, "1.00", "1.00"},
      {"tiny to zero", "0.004", 2, 0, "0.00", "0.00"}, {"tiny negative loses its sign", "-0.004", 2, 0, "0.00", "0.00"},
      {"carry into integers", "9.995", 2, 1, "10.00", "10.00"}, {"empty", "", 2, 1, "0.00", "0.00"},
      {"to integer", "12.5", 0, 0, "13", "13"}, {"negative decimals", "12.5", -3, 0, "13", "13"},
      {"separators", "1234567.891", 2, 1, "1234567.89", "1,234,567.89"},
      {"negative separators", "-1234", 0, 1, "-1234", "-1,234"}, {"carry adds a group", "999.5", 0, 1, "1000", "1,000"},
      {"three digits stay", "100", 0, 1, "100", "100"},
      {"input separators", "1,234,567", 1, 1, "1234567.0", "1,234,567.0"},
  };
  for (const auto& c : cases) {
    std::string round, format;
    std::u16string wide;
    Dec_Round(c.a, c.d, &round), Dec_Format(c.a, c.d, c.sep, &format), Dec_Format(W(c.a).c_str(), c.d, c.sep, &wide);
    EXPECT_EQ(round + " " + format + " " + N(wide), std::string(c.round) + " " + c.format + " " + c.format) << c.name;
  }
  const struct { const char* a; int sep; const char* want; } norms[] = {
      {"012.500", 0, "12.5"}, {"-0.0", 0, "0"}, {"12.000", 0, "12"},         {"12.", 0, "12"},
      {"12.05", 0, "12.05"},  {"", 0, "0"},     {"1,234.50", 1, "1,234.5"}, {"-1234567", 1, "-1,234,567"}};
  for (const auto& c : norms) {
    std::string out;
    EXPECT_EQ((Dec_Norm(c.a, c.sep, &out), out), c.want) << c.a;
  }
}

TEST(DecNum, ValidityTable) {
  const struct { const char* s; int want; } cases[] = {
      {"", 1},      {"   ", 1},   {"12", 1},    {"-12.5", 1}, {"+.5", 1},  {"1.", 1},    {"1,234", 1},
      {" 7 ", 1},   {"0", 1},     {",1", 0},    {"1,,2", 0},  {"1,", 0},   {"-", 0},     {".", 0},
      {"1.2.3", 0}, {"12a", 0},   {"1e5", 0},   {"--1", 0},   {"1 2", 0},  {"1.5,0", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Dec_Valid(c.s), c.want) << '"' << c.s << '"';
    EXPECT_EQ(Dec_Valid(W(c.s).c_str()), c.want) << '"' << c.s << "\" (wide)";
  }
  EXPECT_EQ(std::make_tuple(Dec_Is_Zero("-0.00"), Dec_Is_Zero(""), Dec_Is_Zero("0.001"), Dec_Is_Zero(u"-0,000")),
            std::make_tuple(1, 1, 0, 1));
}

TEST(DecNum, ScaledIntegers) {
  const struct { const char16_t* s; int scale; int ok; long long want; } cases[] = {
      {u"12.5", 2, 1, 1250}, {u"-12.50", 1, 1, -125}, {u"12.55", 1, 0, 0},
      {u"999999999999999999", 0, 1, 999999999999999999LL}, {u"1000000000000000000", 0, 0, 0},
      {u"99999999999999999.9", 1, 1, 999999999999999999LL}, {u"1,234", 0, 1, 1234}, {u"", 3, 1, 0},
  };
  for (const auto& c : cases) {
    long long v = 77;
    EXPECT_EQ(Dec_To_I64(c.s, c.scale, &v), c.ok) << N(c.s);
    EXPECT_EQ(v, c.want) << N(c.s);
  }
  int idig = -1;
  EXPECT_TRUE(Dec_Scale(u"0012.3400", &idig) == 2 && idig == 2) << "decimals and integer digits, zeros not counted";
}

}  // namespace
