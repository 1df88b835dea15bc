// The host's code search: what a text finds (code prefix, name part, pinyin initials) and the initials
// table. The dialogs and their entry points are driven through the combo box (tests/controls/combo).
#include <gtest/gtest.h>

#include <QStringList>

#include "host/code_search.h"
#include "host/pinyin_initials.h"

namespace {

QString U(const char16_t* s) { return QString::fromUtf16(s); }

}  // namespace

TEST(CodeSearch, FindsByCodePrefixNamePartAndInitials) {
  CodeSearch s;
  s.setEntries({{"04", U(u"采购部")}, {"02", U(u"财务部")}, {"05", U(u"仓储物流部")}, {"1002", U(u"银行存款")},
                {"07", U(u"行政部")}, {"S1", "Sales Dept"}, {"W3", U(u"3号仓库")}});
  // Rows in order: each text extends or replaces the one before, as a user types.
  struct Row { const char* what; QString text; QStringList codes; } rows[] = {
      {"nothing typed: all", "", {"04", "02", "05", "1002", "07", "S1", "W3"}},
      {"code prefix", "0", {"04", "02", "05", "07"}}, {"a longer prefix", "10", {"1002"}}, {"initials", "cgb", {"04"}},
      {"initials, upper case", "CGB", {"04"}},
      {"one letter: every initial and code", "c", {"04", "02", "05", "1002", "W3"}},
      {"typing on narrows: inside a name too", "cw", {"02", "05"}}, {"... to one", "cwb", {"02"}},
      {"a polyphone answers to each reading (yin hang)", "yh", {"1002"}}, {"... (xing zheng)", "xz", {"07"}},
      {"a part of a name", U(u"物流"), {"05"}}, {"Latin names ignore case", "sales", {"S1"}},
      {"digits of a name match themselves", "3hck", {"W3"}}, {"nothing found", "zq", {}},
  };
  for (const Row& r : rows) {
    QStringList got;
    for (int i : s.filter(r.text)) got << s.entry(i).code;
    EXPECT_EQ(got, r.codes) << r.what;
  }
  EXPECT_TRUE(s.findCode("1002") == 3 && s.findCode("100") == -1) << "whole codes only";
  // The table covers code page 936; a polyphone has both initials, a Latin letter none.
  int total = 0, covered = 0;
  Pinyin_Gbk_Coverage(&total, &covered);
  EXPECT_TRUE(total > 20900 && covered * 1000 >= total * 998) << covered << " of " << total;
  EXPECT_EQ(Pinyin_Initials(U'行'), (1u << ('x' - 'a')) | (1u << ('h' - 'a')));
  EXPECT_TRUE(Pinyin_Initials(U'采') == 1u << ('c' - 'a') && Pinyin_Initials(U'A') == 0u);
}
