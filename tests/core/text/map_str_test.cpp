// String views, converters, temporary rings and Str_Copy_Limit.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/text/map_str.h"
#include "frame/log_mgr.h"

namespace {

const char* const kAhBa = "\xB0\xA1\xB0\xC9";  // two ideographs in code page 936
const wchar16 kAhBaW[] = {0x554A, 0x5427, 0};

// The shape of a toolkit string (QString): UTF-16 units through utf16() and size().
struct Toolkit_String {
  std::u16string s;
  const char16_t* utf16() const { return s.c_str(); }
  int size() const { return static_cast<int>(s.size()); }
};

// A view converts (and owns) only what has the other width; same-width text and null are borrowed (a
// wrongly owned one is a bad free the sanitizer build reports).
TEST(MapWchar, Construction) {
  map_wchar null_narrow(static_cast<const char*>(nullptr)), null_wide(static_cast<const wchar16*>(nullptr));
  EXPECT_TRUE(null_narrow.c_str() == g_empty_w && null_wide.c_str() == g_empty_w);
  map_wchar gbk(kAhBa);
  EXPECT_TRUE(gbk.owned());
  EXPECT_EQ(std::u16string(gbk.c_str(), 5), std::u16string(kAhBaW) + std::u16string(3, u'\0'))
      << "four bytes give five units; everything past the two characters is zero";
  map_wchar empty("");
  EXPECT_TRUE(empty.owned() && empty.c_str()[0] == 0);
  map_wchar same(kAhBaW);
  EXPECT_EQ(same.c_str(), kAhBaW) << "same width is a pointer copy";
  const struct { int value; const char16_t* text; } ints[] = {{-17, u"-17"}, {0, u"0"}, {INT_MIN, u"-2147483648"}};
  for (const auto& row : ints) EXPECT_EQ(std::u16string(map_wchar(row.value).c_str()), row.text);
  Toolkit_String ts{u"ab\x554A"};
  map_wchar toolkit(ts);
  EXPECT_TRUE(toolkit.owned() && toolkit.c_str() != ts.utf16()) << "a copy, not the toolkit string's own storage";
  EXPECT_EQ(std::u16string(toolkit.c_str()), ts.s);

  map_char wide(kAhBaW), null_c(static_cast<const wchar16*>(nullptr)), narrow(kAhBa);
  EXPECT_TRUE(wide.owned() && std::string(wide.c_str()) == kAhBa);
  map_char from_toolkit(Toolkit_String{u"\u554A\u5427 \u20AC9 \u2713"});  // what the code page lacks becomes "?"
  EXPECT_TRUE(from_toolkit.owned() && std::string(from_toolkit.c_str()) == std::string(kAhBa) + " \x80" "9 ?");
  EXPECT_TRUE(null_c.c_str() == g_empty_c && narrow.c_str() == kAhBa);
}

// Copies alias the owner's text (the owner frees it); moves hand the ownership over.
TEST(MapWchar, CopyAliasesAndMoveTransfers) {
  map_wchar owner(kAhBa);
  {
    map_wchar alias(owner);
    EXPECT_EQ(alias.c_str(), owner.c_str());
  }  // the alias frees nothing: the owner's text is still readable
  EXPECT_EQ(std::u16string(owner.c_str()), std::u16string(kAhBaW));
  map_wchar moved(std::move(owner));
  EXPECT_TRUE(moved.owned() && !owner.owned());

  // A view of an integer keeps its text inline: a copy must carry its own inline text.
  map_wchar* number = new map_wchar(-17);
  map_wchar copy(*number), moved_number(map_wchar(42));
  delete number;
  EXPECT_EQ(std::u16string(copy.c_str()) + u" " + moved_number.c_str(), u"-17 42");

  map_char c_owner(kAhBaW), c_alias(c_owner), c_borrowed(kAhBa);
  EXPECT_TRUE(!c_alias.owned() && c_alias.c_str() == c_owner.c_str());
  map_char c_moved(std::move(c_borrowed));
  EXPECT_FALSE(c_moved.owned()) << "moving a borrowed text borrows it still";
}

TEST(Converters, AssignAndReassign) {
  tc2u to_w;
  EXPECT_EQ(to_w.c_str(), g_empty_w);
  EXPECT_EQ(std::u16string(to_w = kAhBa), std::u16string(kAhBaW));
  EXPECT_EQ(std::u16string(to_w = "abc"), u"abc");  // the first result is freed
  EXPECT_EQ(std::u16string(to_w.Assign(kAhBa, 3)), u"\x554A?") << "a lone lead byte is one ?";
  EXPECT_EQ(std::u16string(to_w.Assign("abcdef", 2)), u"ab");
  EXPECT_EQ(to_w = static_cast<const char*>(nullptr), g_empty_w);

  tc2u utf8(ZEM_CP_UTF8);
  EXPECT_EQ(std::u16string(utf8 = "\xE5\x95\x8A"), u"\x554A");

  tu2c to_c;
  EXPECT_EQ(to_c.c_str(), g_empty_c);
  EXPECT_STREQ(to_c = kAhBaW, kAhBa);
  EXPECT_EQ(to_c = static_cast<const wchar16*>(nullptr), nullptr) << "nothing converted gives null";
  EXPECT_EQ(to_c.c_str(), g_empty_c);
  EXPECT_STREQ(to_c = u"", "");
  tu2c utf8_out(ZEM_CP_UTF8);
  EXPECT_STREQ(utf8_out = kAhBaW, "\xE5\x95\x8A\xE5\x90\xA7");
}

TEST(Converters, FollowTheSystemCodePage) {
  ASSERT_EQ(Set_Sys_Code_Page(ZEM_CP_UTF8), 1);
  map_char utf8(kAhBaW);
  map_wchar back(utf8.c_str());
  const wchar16* from_ring = Tmp_C2W(kAhBa);  // ring W stays on 936 whatever the system says
  std::u16string ring_copy(from_ring);
  std::string w2c_copy(Tmp_W2C(kAhBaW));
  ASSERT_EQ(Set_Sys_Code_Page(ZEM_CP_GBK), 1);
  EXPECT_STREQ(utf8.c_str(), "\xE5\x95\x8A\xE5\x90\xA7");
  EXPECT_TRUE(std::u16string(back.c_str()) == kAhBaW && ring_copy == kAhBaW);
  EXPECT_EQ(w2c_copy, "\xE5\x95\x8A\xE5\x90\xA7") << "ring N follows the system code page";
}

TEST(TmpRings, SixtySlotsInRound) {
  int start = Tmp_W2C_Counter();
  int first_slot = start % 60;
  const char* first = Tmp_W2C(u"first");
  EXPECT_TRUE(std::string(first) == "first" && Tmp_W2C_Slot(first_slot) == first);
  std::vector<std::string> kept;
  std::vector<const char*> results;
  for (int i = 1; i < 60; ++i) {
    std::u16string t = u"t" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) + std::u16string(i, u'x');
    results.push_back(Tmp_W2C(t.c_str()));
    kept.push_back(results.back());
  }
  // 59 further results: every one of the 60 is still intact.
  EXPECT_STREQ(Tmp_W2C_Slot(first_slot), "first");
  for (size_t i = 0; i < results.size(); ++i) EXPECT_EQ(kept[i], results[i]);
  // The 61st call takes the first call's slot.
  const char* sixty_first = Tmp_W2C(u"sixty-first");
  EXPECT_TRUE(Tmp_W2C_Slot(first_slot) == sixty_first && std::string(sixty_first) == "sixty-first");
  EXPECT_EQ(kept[0], results[0]) << "the second call's slot is untouched";
  EXPECT_EQ(std::string(Tmp_W2C(nullptr)) + Tmp_W2C_Slot(60) + Tmp_W2C_Slot(-1), "") << "null, slots out of range";
  EXPECT_EQ(Tmp_C2W(nullptr)[0], 0);
}

TEST(TmpRings, CounterIsCutBackPastTenThousandWithoutBreakingTheRound) {
  int last_slot = -1;
  for (int i = 0; i < 10100; ++i) {
    int c = Tmp_C2W_Counter();
    ASSERT_TRUE(c >= 0 && c <= 10000) << c;
    if (last_slot >= 0) { ASSERT_EQ(c % 60, (last_slot + 1) % 60) << "call " << i; }
    Tmp_C2W("x");
    last_slot = c % 60;
  }
}

// Threads share the rings; each slot's conversion happens under the ring's lock, so every slot holds a
// whole text of one of the threads (run under the sanitizers to see the locking).
TEST(TmpRings, SharedByThreads) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      std::u16string w(20 + t, static_cast<char16_t>(u'a' + t));
      std::string n(20 + t, static_cast<char>('a' + t));
      for (int i = 0; i < 2000; ++i) {
        Tmp_W2C(w.c_str());
        Tmp_C2W(n.c_str());
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int s = 0; s < 60; ++s) {
    std::string text = Tmp_W2C_Slot(s);
    ASSERT_FALSE(text.empty());
    if (text.size() >= 20 && text.size() <= 23) { EXPECT_EQ(text, std::string(text.size(), char('a' + text.size() - 20))); }
  }
}

TEST(StrCopyLimit, KeepsWholeCharacters) {
  const struct { const char* name; int max; const char* src; const char* out; } rows[] = {
      {"two ideographs, max 3: only the first", 3, kAhBa, "\xB0\xA1"}, {"two ideographs, max 4: all", 4, kAhBa, kAhBa},
      {"max 1 before an ideograph: nothing", 1, kAhBa, ""}, {"ASCII cut", 2, "abc", "ab"},
      {"mixed cut before the pair", 2, "a\xB0\xA1", "a"}, {"mixed cut after the pair", 3, "a\xB0\xA1" "b", "a\xB0\xA1"},
      {"max 0 copies all", 0, "abcdef", "abcdef"}, {"negative max copies all", -5, "abc", "abc"},
      {"source not longer than max", 10, "abc", "abc"}, {"empty source", 3, "", ""},
  };
  for (const auto& row : rows) {
    char dst[32];
    std::memset(dst, 'Z', sizeof dst);
    EXPECT_EQ(Str_Copy_Limit(dst, row.max, row.src), dst) << row.name;
    EXPECT_STREQ(dst, row.out) << row.name;
  }
  char dst[4] = "abc";
  EXPECT_TRUE(Str_Copy_Limit(dst, 3, nullptr) == dst && dst[0] == 0) << "a null source empties";
  const char* src = "keep";
  EXPECT_EQ(Str_Copy_Limit(nullptr, 3, src), src);
}

}  // namespace

// A UTF-8 literal handed over as narrow text: told once, as such, in the framework log.
TEST(NarrowText, Utf8WhereTheCodePageIsExpectedIsToldOnce) {
  Log_Mgr()->Set_Keep(50);
  // utf8: Zem_Is_Utf8_Text; told: Zem_Note_Narrow_Text after a conversion from code page 936
  struct Row { const char* name; const char* text; int utf8, told; } rows[] = {
      {"UTF-8 the code page cannot read", "\xE9\x87\x91\xE9\xA2\x9D", 1, 1},
      {"UTF-8 that reads as other GBK characters, none of them \"?\"", "\xE9\x83\xA8\xE9\x97\xA8", 1, 1},
      {"a four-byte sequence", "\xF0\x9F\x98\x80", 1, 1},
      {"GBK characters that are also two-byte UTF-8", "\xC4\xA3\xD6\xB5", 1, 0},
      {"GBK text", kAhBa, 0, 0},
      {"ASCII with a question mark of its own", "why?", 0, 0},
      {"a truncated sequence", "\xE9\x87", 0, 0},
      {"an overlong form", "\xC0\xAF", 0, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(Zem_Is_Utf8_Text(r.text, -1), r.utf8);
    tc2u wide(ZEM_CP_GBK);
    const std::u16string w = wide = r.text;
    EXPECT_EQ(Zem_Note_Narrow_Text(ZEM_CP_GBK, r.text, -1, w.c_str(), int(w.size())), r.told);
    EXPECT_EQ(Zem_Note_Narrow_Text(ZEM_CP_UTF8, r.text, -1, w.c_str(), int(w.size())), 0);
  }
  for (int i = 0; i < 3; ++i) map_wchar again("\xE9\x87\x91\xE9\xA2\x9D \xE7\xAC\xAC" "2");
  const std::string log = Log_Mgr()->Last_Lines();
  Log_Mgr()->Set_Keep(0);
  const size_t at = log.find("narrow text is UTF-8, not code page 936: \"\xE9\x87\x91\xE9\xA2\x9D\"");
  ASSERT_NE(at, std::string::npos) << log;
  EXPECT_EQ(log.find("narrow text is UTF-8", at + 1), std::string::npos) << "once: " << log;
}
