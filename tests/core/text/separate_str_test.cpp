// TSeparate_Str: item boundaries, white space, raw mode and double-byte characters.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/text/separate_str.h"

namespace {

typedef std::vector<std::pair<std::string, int>> Items;

Items Items_Of(const TSeparate_Str& s) {
  Items out;
  for (int i = 0; i < s.Count(); ++i) out.push_back({s.Item(i), s.Item_Rec(i)->sep});
  return out;
}

TEST(SeparateStr, Split) {
  const struct { const char* name; const char* seps; int raw; const char* text; Items items; } rows[] = {
      {"blanks around and an empty item", ",", 0, "a, b,,c", {{"a", ','}, {"b", ','}, {"", ','}, {"c", 0}}},
      {"leading separator gives an empty item", ",", 0, ",a", {{"", ','}, {"a", 0}}},
      {"trailing separator adds nothing", ",", 0, "a,", {{"a", ','}}}, {"empty text", ",", 0, "", {}},
      {"all blank", ",", 0, " \t\r\n ", {}}, {"blank then comma then tab", ",", 0, "x ,\ty", {{"x", ','}, {"y", 0}}},
      {"trailing blanks of the last item", ",", 0, "a,b  \r\n", {{"a", ','}, {"b", 0}}},
      {"single character", ",", 0, "z", {{"z", 0}}},
      {"several separators", ",;", 0, "a;b,c", {{"a", ';'}, {"b", ','}, {"c", 0}}},
      {"raw keeps blanks", ",", 1, " a , b ", {{" a ", ','}, {" b ", 0}}},
      {"raw lone separator", ",", 1, ",", {{"", ','}}}, {"raw blank text is one item", ",", 1, "  ", {{"  ", 0}}},
      {"second byte equal to the separator stays inside", "|", 0, "\x81\x7C|b", {{"\x81\x7C", '|'}, {"b", 0}}},
      {"second byte equal to a backslash separator", "\\", 0, "a\x81\x5C\\b", {{"a\x81\x5C", '\\'}, {"b", 0}}},
      {"ideographs around a comma", ",", 0, "\xB0\xA1,\xB0\xC9", {{"\xB0\xA1", ','}, {"\xB0\xC9", 0}}},
      {"lead byte at the very end", ",", 0, "a,\xB0", {{"a", ','}, {"\xB0", 0}}},
      {"no separators at all", "", 0, "a,b", {{"a,b", 0}}},
  };
  for (const auto& row : rows) {
    TSeparate_Str s(row.seps, row.raw);
    EXPECT_EQ(s.Separate(row.text), 1) << row.name;
    EXPECT_EQ(Items_Of(s), row.items) << row.name;
  }
}

TEST(SeparateStr, TypicalUseAndAccumulation) {
  TSeparate_Str s(",");
  for (char c : {'\t', '\r', '\n', ','}) EXPECT_EQ(s.Add_Sep(c), 1) << int(c);
  EXPECT_STREQ(s.Separators(), ",\t\r\n") << "no duplicates";
  s.Separate("a\tb\r\nc"), s.Separate("d,e");
  Items want = {{"a", '\t'}, {"b", '\r'}, {"c", 0}, {"d", ','}, {"e", 0}};
  EXPECT_EQ(Items_Of(s), want) << "later calls append; blanks after a separator are skipped";
  EXPECT_TRUE(s.Item(5) == nullptr && s.Item_Rec(-1) == nullptr && s.Item_Rec(0)->text2 == nullptr);
  EXPECT_EQ(s.Separate(nullptr), 1);
  EXPECT_TRUE(s.Clear() == 1 && s.Count() == 0);
  s.Separate("x");
  EXPECT_EQ(Items_Of(s), (Items{{"x", 0}}));
}

TEST(SeparateStr, SeparatorSetLimit) {
  std::string many(70, '\0');
  for (int i = 0; i < 70; ++i) many[static_cast<size_t>(i)] = static_cast<char>(0x21 + i);
  TSeparate_Str s(many.c_str()), none(nullptr);
  EXPECT_EQ(std::string(s.Separators()).size(), 59u);
  EXPECT_EQ(s.Add_Sep('~'), 0) << "the set is full";
  EXPECT_STREQ(none.Separators(), "");
}

}  // namespace
