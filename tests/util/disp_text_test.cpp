// Disp_Text: captions in the script of the locale, for the three traditional-script locales and the
// simplified ones, in wide and narrow form.
#include "util/disp_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Gbk(const char16_t* s) {
  char out[128] = {};
  Zem_W_To_MB(ZEM_CP_GBK, s, -1, out, sizeof out);
  return out;
}

TEST(DispText, CaptionsFollowTheLocalesScript) {
  struct Row { const char* name; int lcid; const char16_t* in; const char16_t* out; };
  const Row rows[] = {
      {"Taiwan", LCID_ZH_TW, u"日历", u"日曆"},
      {"Taiwan, a question", LCID_ZH_TW, u"选择了无效的代码，需要新增加吗", u"選擇了無效的代碼，需要新增加嗎"},
      {"Hong Kong", LCID_ZH_HK, u"系统提示", u"系統提示"},
      {"Macao as Hong Kong", LCID_ZH_MO, u"编辑 刷新", u"編輯 刷新"},
      {"the same in both scripts", LCID_ZH_TW, u"2024 年", u"2024 年"},
      {"mainland unchanged", LCID_ZH_CN, u"日历", u"日历"}, {"no Chinese locale unchanged", 0, u"日历", u"日历"},
      {"empty", LCID_ZH_TW, u"", u""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Disp_Text_Set_Locale(r.lcid);
    EXPECT_EQ(std::u16string(Disp_Text(r.in)), r.out);
    EXPECT_EQ(std::string(Disp_Text(Gbk(r.in).c_str())), Gbk(r.out));
  }
  Disp_Text_Set_Locale(LCID_ZH_TW);
  const wchar16* first = Disp_Text(u"刷新");
  for (int i = 1; i < DISP_TEXT_RING; i++) Disp_Text(u"x");
  EXPECT_EQ(std::u16string(first), u"刷新");  // valid for the next 29 calls
  EXPECT_EQ(std::u16string(Disp_Text(static_cast<const wchar16*>(nullptr))), u"");
  Disp_Text_Set_Locale(-1);
}

TEST(DispText, LocaleNames) {
  const std::pair<const char*, int> rows[] = {{"zh_TW.UTF-8", LCID_ZH_TW}, {"zh_HK", LCID_ZH_HK}, {"zh-MO", LCID_ZH_MO},
                                              {"zh_CN.GBK", LCID_ZH_CN},    {"zh", LCID_ZH_CN},   {"en_US.UTF-8", 0},
                                              {"C", 0},                     {nullptr, 0}};
  for (const auto& r : rows) EXPECT_EQ(Disp_Text_Locale_Of(r.first), r.second) << (r.first ? r.first : "null");
}

}  // namespace
