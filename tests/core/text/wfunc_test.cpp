// Wide-text functions and the collation.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "core/text/text_util.h"
#include "core/text/wfunc.h"
#include "tests/core/text/iconv_ref.h"

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(Collation, WCmpRows) {
  const int kAll = -100;  // compare with W_Cmp; any other n with W_NCmp
  const struct { const char* name; const char16_t* a; const char16_t* b; int n; int sign; } rows[] = {
      {"ideographs follow GBK: 啊 (B0A1) before 吧 (B0C9)", u"\x554A", u"\x5427", kAll, -1},
      {"prefix sorts first", u"a", u"ab", kAll, -1}, {"no case folding", u"B", u"a", kAll, -1},
      {"equal", u"\x554A" "b", u"\x554A" "b", kAll, 0}, {"empty texts", u"", u"", kAll, 0},
      {"empty before anything", u"", u"a", kAll, -1}, {"ASCII before ideograph", u"z", u"\x4E00", kAll, -1},
      {"outside the range: code unit order", u"\x3000", u"\x4E00", kAll, -1},
      {"ideograph against U+9FA6 (just outside)", u"\x9FA5", u"\x9FA6", kAll, -1},
      {"range ends are ideographs: 一 (D2BB) after 啊", u"\x4E00", u"\x554A", kAll, 1},
      {"first difference decides", u"\x554A\x5427", u"\x5427\x554A", kAll, -1},
      {"late difference after a long shared prefix", u"\x554A\x554A\x554A\x554A\x554A\x554A\x554A\x554A\x554A\x554A",
       u"\x554A\x554A\x554A\x554A\x554A\x554A\x554A\x554A\x554A\x5427", kAll, -1},
      {"shared ideograph prefix, shorter first", u"\x554A\x5427", u"\x554A\x5427\x4E00", kAll, -1},
      {"surrogate pairs by code unit", u"\xD83D\xDE00", u"\xD83D\xDE01", kAll, -1},
      {"lone surrogate after ideographs", u"\x9FA5", u"\xD800", kAll, -1},
      {"unit without a GBK code after ideographs", u"\x554A", u"\xAC00", kAll, -1},
      {"null before empty", nullptr, u"", kAll, -1}, {"two nulls", nullptr, nullptr, kAll, 0},
      {"n: difference after n ignored", u"abc", u"abd", 2, 0}, {"n: difference at n counts", u"abc", u"abd", 3, -1},
      {"n 0 compares nothing", u"abc", u"xyz", 0, 0}, {"negative n compares nothing", u"abc", u"xyz", -3, 0},
      {"n past the shorter text", u"ab", u"abc", 5, -1}, {"n past both ends", u"ab", u"ab", 5, 0},
      {"n: ideographs by GBK", u"\x5427", u"\x554A", 1, 1}, {"n: null first", nullptr, u"a", 1, -1},
  };
  for (const auto& row : rows) {
    auto cmp = [&](const wchar16* a, const wchar16* b) {
      return Sign(row.n == kAll ? W_Cmp(a, b) : W_NCmp(a, b, row.n));
    };
    EXPECT_EQ(cmp(row.a, row.b), row.sign) << row.name;
    EXPECT_EQ(cmp(row.b, row.a), -row.sign) << row.name << " (swapped)";
  }
  // Narrow callers convert on the way in (system code page 936).
  EXPECT_EQ(W_Cmp("\xB0\xA1", u"\x554A"), 0);
  EXPECT_LT(W_NCmp("\xB0\xA1", "\xB0\xC9", 1), 0);
}

// All ideographs sorted by the collation come out in ascending GBK order, as iconv encodes them.
TEST(Collation, IdeographsSortByTheirGbkBytes) {
  std::vector<wchar16> all;
  for (unsigned c = 0x4E00; c <= 0x9FA5; ++c) all.push_back(static_cast<wchar16>(c));
  std::sort(all.begin(), all.end(), [](wchar16 a, wchar16 b) { return W_Chr_Cmp(a, b) < 0; });
  std::string prev;
  for (wchar16 c : all) {
    std::string gbk;
    ASSERT_TRUE(Iconv_W_To_Gbk(std::u16string(1, c), &gbk)) << std::hex << c;
    ASSERT_EQ(gbk.size(), 2u);
    ASSERT_LT(prev, gbk) << std::hex << c;
    prev = gbk;
  }
}

// Switching the code page rewrites the keys of the whole ideograph range, ends included, and only
// that range; switching back restores the GBK order exactly.
TEST(Collation, CodePageSwitchRekeysTheIdeographRange) {
  // gbk, utf8: the sign of W_Chr_Cmp(a, b) under each code page
  const struct { const char* name; wchar16 a, b; int gbk, utf8; } rows[] = {
      {"last unit before the range", 0x4DFF, 0x4E00, -1, -1},
      {"first ideograph (D2BB) after 啊 (B0A1)", 0x4E00, 0x554A, 1, -1},
      {"last ideograph (FD9B) after 一 (D2BB)", 0x9FA5, 0x4E00, 1, 1},
      {"last ideograph before the first unit after the range", 0x9FA5, 0x9FA6, -1, -1},
      {"吧 (B0C9) after 啊 (B0A1)", 0x5427, 0x554A, 1, -1}, {"ASCII before ideographs", u'z', 0x4E00, -1, -1},
      {"terminator before everything", 0, 0x4E00, -1, -1},
  };
  const int pages[] = {ZEM_CP_GBK, ZEM_CP_UTF8, ZEM_CP_GBK};
  for (int cp : pages) {
    ASSERT_EQ(Set_Sys_Code_Page(cp), 1);
    for (const auto& row : rows) {
      int want = cp == ZEM_CP_GBK ? row.gbk : row.utf8;
      EXPECT_EQ(Sign(W_Chr_Cmp(row.a, row.b)), want) << row.name << " under " << cp;
      EXPECT_EQ(Sign(W_Chr_Cmp(row.b, row.a)), -want) << row.name << " (swapped) under " << cp;
      const wchar16 ta[] = {u'x', row.a, 0}, tb[] = {u'x', row.b, 0};
      EXPECT_EQ(Sign(W_Cmp(ta, tb)), want) << row.name << " in texts under " << cp;
      EXPECT_EQ(Sign(W_NCmp(ta, tb, 2)), want) << row.name << " W_NCmp under " << cp;
    }
    for (unsigned u = 0; u < 0x10000; ++u) {
      bool cjk = u >= ZEM_CJK_FIRST && u <= ZEM_CJK_LAST;
      unsigned want = cp == ZEM_CP_GBK ? g_zem_collation_key[u] : u;
      ASSERT_EQ(g_zem_collation_active[u], want) << std::hex << u << " under " << std::dec << cp;
      if (!cjk) { ASSERT_EQ(g_zem_collation_key[u], u) << std::hex << u; }
    }
  }
  EXPECT_EQ(Sys_Code_Page(), ZEM_CP_GBK);
  // A refused code page changes nothing.
  EXPECT_EQ(Set_Sys_Code_Page(1252), 0);
  EXPECT_EQ(Sign(W_Chr_Cmp(0x4E00, 0x554A)), 1);
}

TEST(WFunc, CopyAndConcatenate) {
  // Steps on one buffer: what each leaves in it and where the pointer it returns points.
  const struct { const char* name; wchar16* (*fn)(wchar16*); const char16_t* text; int at; } steps[] = {
      {"W_Cpy returns the end", [](wchar16* b) { return W_Cpy(b, u"abc"); }, u"abc", 3},
      {"W_Cat returns the end", [](wchar16* b) { return W_Cat(b, u"de"); }, u"abcde", 5},
      {"W_Cat of null appends nothing", [](wchar16* b) { return W_Cat(b, nullptr); }, u"abcde", 5},
      {"W_Cpy of null empties", [](wchar16* b) { return W_Cpy(b, nullptr); }, u"", 0},
      {"W_NCpy: exactly n units, no terminator", [](wchar16* b) { return W_Cpy(b, u"xxxxx"), W_NCpy(b, u"ab", 2), b; },
       u"abxxx", 0},
      {"W_LCpy cuts at n", [](wchar16* b) { return W_LCpy(b, u"abcdef", 3); }, u"abc", 0},
      {"W_LCpy with 0 copies all", [](wchar16* b) { return W_LCpy(b, u"abcdef", 0); }, u"abcdef", 0},
      {"W_LCpy of a shorter text", [](wchar16* b) { return W_LCpy(b, u"ab", 10); }, u"ab", 0},
      {"W_Fill", [](wchar16* b) { return W_Fill(b, u'z', 4), b[4] = 0, b; }, u"zzzz", 0},
  };
  wchar16 buf[32];
  for (const auto& step : steps) {
    EXPECT_EQ(step.fn(buf) - buf, step.at) << step.name;
    EXPECT_EQ(std::u16string(buf), step.text) << step.name;
  }
  EXPECT_EQ(std::make_tuple(W_Len(nullptr), W_Len(u"\x554A" "b"), W_Is_Empty(nullptr), W_Is_Empty(u""), W_Is_Empty(u" ")),
            std::make_tuple(0, 2, true, true, false));
}

TEST(WFunc, Find) {
  const wchar16 *s = u"abcabc", *cn = u"x\x554A\x5427";
  const struct { const char* name; const wchar16* got; const wchar16* want; } rows[] = {
      {"W_Chr: the first", W_Chr(s, u'b'), s + 1}, {"W_RChr: the last", W_RChr(s, u'b'), s + 4},
      {"W_Chr: absent", W_Chr(s, u'z'), nullptr}, {"W_RChr: absent", W_RChr(s, u'z'), nullptr},
      {"W_Chr: null text", W_Chr(nullptr, u'a'), nullptr}, {"W_Str", W_Str(s, u"ca"), s + 2},
      {"W_Str: across the repeat", W_Str(s, u"cab"), s + 2}, {"W_Str: absent", W_Str(s, u"cb"), nullptr},
      {"W_Str: longer than the text", W_Str(s, u"abcabcd"), nullptr},
      {"W_Str: empty finds the start", W_Str(s, u""), s}, {"W_Str: null text", W_Str(nullptr, u"a"), nullptr},
      {"W_Str: a narrow search text is converted", W_Str(cn, "\xB0\xC9"), cn + 2},
  };
  for (const auto& r : rows) EXPECT_EQ(r.got, r.want) << r.name;
}

TEST(WFunc, InPlaceEdits) {
  const struct { const char* name; wchar16* (*fn)(wchar16*); const char16_t* in; const char16_t* out; } rows[] = {
      {"rtrim", W_RTrim, u"  a b \t\r\n", u"  a b"}, {"ltrim", W_LTrim, u"\r\n\t a b  ", u"a b  "},
      {"trim", W_Trim, u" \ta b\n ", u"a b"}, {"trim all blank", W_Trim, u" \t\r\n", u""},
      {"trim keeps ideographic space", W_Trim, u"\x3000" "a", u"\x3000" "a"},
      {"upper ASCII only", W_Upper, u"abZ\xFF41\x00E9", u"ABZ\xFF41\x00E9"},
      {"lower ASCII only", W_Lower, u"ABz\xFF21\x00C9", u"abz\xFF21\x00C9"},
      {"remove a character", [](wchar16* b) { return W_Remove_Chr(b, u','); }, u"a,b,,c,", u"abc"},
      {"removing the terminator does nothing", [](wchar16* b) { return W_Remove_Chr(b, 0); }, u"abc", u"abc"},
  };
  for (const auto& row : rows) {
    wchar16 buf[32];
    W_Cpy(buf, row.in);
    EXPECT_TRUE(row.fn(buf) == buf && std::u16string(buf) == row.out) << row.name;
  }
  EXPECT_EQ(W_Trim(nullptr), nullptr);
}

TEST(WFunc, Replace) {
  const struct { const char* name; bool all; const char16_t *text, *from, *to, *out; int count; } rows[] = {
      {"all, longer", true, u"a-b-c", u"-", u"--", u"a--b--c", 2},
      {"all, shorter", true, u"a--b--c", u"--", u"", u"abc", 2},
      {"first only", false, u"a-b-c", u"-", u"+", u"a+b-c", 1},
      {"replacement holds the search text", true, u"aa", u"a", u"aa", u"aaaa", 2},
      {"not found", true, u"abc", u"x", u"y", u"abc", 0},
      {"empty search replaces nothing", true, u"abc", u"", u"y", u"abc", 0},
      {"whole text", true, u"abc", u"abc", u"\x554A", u"\x554A", 1},
      {"overlapping occurrences", true, u"aaa", u"aa", u"b", u"ba", 1},
  };
  for (const auto& row : rows) {
    wchar16 buf[64];
    W_Cpy(buf, row.text);
    const int n = row.all ? W_Replace_All(buf, row.from, row.to) : W_Replace_First(buf, row.from, row.to);
    EXPECT_TRUE(n == row.count && std::u16string(buf) == row.out) << row.name << ": " << n << " replaced";
  }
}

int g_allocs_left = 0;
void* Fail_After(size_t n, const char*) { return g_allocs_left-- > 0 ? std::malloc(n) : nullptr; }

TEST(WFunc, ReplaceWithoutMemoryStopsWhereItGot) {
  wchar16 buf[32];
  W_Cpy(buf, u"a-b-c-d");
  g_allocs_left = 1;
  Zem_Text_Set_Alloc_Hook(Fail_After), testing::internal::CaptureStdout();
  int n = W_Replace_All(buf, u"-", u"+");
  std::string out = testing::internal::GetCapturedStdout();
  Zem_Text_Set_Alloc_Hook(nullptr);
  EXPECT_TRUE(n == 1 && std::u16string(buf) == u"a+b-c-d");
  EXPECT_EQ(out, "ERROR: unable alloc memory for replace\n");
}

TEST(WFunc, Numbers) {
  struct { const char16_t* s; int i; double d; } rows[] = {
      {u"42", 42, 42.0},        {u"  -7x", -7, -7.0},        {u"3.75", 3, 3.75},
      {u"", 0, 0.0},            {u"abc", 0, 0.0},            {u"99999999999", 2147483647, 99999999999.0},
      {u"\xFF11", 0, 0.0},  // a full-width digit is not a digit
  };
  for (const auto& row : rows) {
    EXPECT_EQ(W_To_Int(row.s), row.i) << std::string(map_char(row.s).c_str());
    EXPECT_DOUBLE_EQ(W_To_Double(row.s), row.d) << std::string(map_char(row.s).c_str());
  }
  EXPECT_TRUE(W_To_Int(nullptr) == 0 && W_To_Double(nullptr) == 0.0);
}

}  // namespace
