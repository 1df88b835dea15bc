// Code page 936 and UTF-8 conversions: exhaustively against glibc iconv for valid input, and the
// documented replacements for bad input (fuzz/code_page.cpp checks counting against writing).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/text/code_page.h"
#include "tests/core/text/iconv_ref.h"

namespace {

// Every double-byte code and every single byte decodes exactly as iconv does, where iconv accepts it.
TEST(CodePage, GbkDecodeMatchesIconvForEveryCode) {
  int mapped = 0;
  for (int lead = 0x80; lead <= 0xFF; ++lead) {
    std::string one(1, static_cast<char>(lead));
    std::u16string ref;
    if (Iconv_Gbk_To_W(one, &ref)) { EXPECT_EQ(Mb_To_W(ZEM_CP_GBK, one), ref) << std::hex << lead; }
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
      if (!Iconv_Gbk_To_W(pair, &ref)) continue;
      ++mapped;
      ASSERT_EQ(Mb_To_W(ZEM_CP_GBK, pair), ref) << std::hex << lead << " " << trail;
    }
  }
  EXPECT_GT(mapped, 21000);
}

// Every BMP code unit encodes as iconv does; the ones iconv rejects become "?".
TEST(CodePage, GbkEncodeMatchesIconvForEveryCodeUnit) {
  for (unsigned u = 1; u < 0x10000; ++u) {
    if (u >= 0xD800 && u < 0xE000) continue;
    std::u16string w(1, static_cast<char16_t>(u));
    std::string ref;
    if (!Iconv_W_To_Gbk(w, &ref)) ref = "?";
    ASSERT_EQ(W_To_Mb(ZEM_CP_GBK, w), ref) << std::hex << u;
    unsigned code = ref.size() == 1 ? static_cast<unsigned char>(ref[0])
                                    : (static_cast<unsigned char>(ref[0]) << 8) | static_cast<unsigned char>(ref[1]);
    ASSERT_EQ(Gbk_Of(static_cast<wchar16>(u)), code) << std::hex << u;
  }
}

TEST(CodePage, Utf8MatchesIconvAcrossPlanes) {
  std::mt19937 rng(65001);
  for (int round = 0; round < 200; ++round) {
    std::u16string w;
    for (int i = 0; i < 100; ++i) {
      unsigned cp;
      switch (rng() % 4) {
        case 0: cp = 0x20 + rng() % 0x60; break;
        case 1: cp = 0x80 + rng() % 0x780; break;
        case 2: cp = 0x800 + rng() % 0xF800; break;
        default: cp = 0x10000 + rng() % 0x100000;
      }
      if (cp >= 0xD800 && cp < 0xE000) continue;
      if (cp < 0x10000) w.push_back(static_cast<char16_t>(cp));
      else w += {static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)), static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF))};
    }
    std::string ref;
    ASSERT_TRUE(Iconv_Run("UTF-8", "UTF-16LE", Le_Bytes(w), &ref));
    ASSERT_EQ(W_To_Mb(ZEM_CP_UTF8, w), ref);
    ASSERT_EQ(Mb_To_W(ZEM_CP_UTF8, ref), w);
  }
}

// Bad input never fails: each bad piece gives one replacement; n bytes never give more than n units.
TEST(CodePage, BadInputGivesOneReplacementPerPiece) {
  const std::u16string R(1, u'\xFFFD');
  const struct { const char* name; int cp; std::string narrow; std::u16string wide; } decodes[] = {
      {"gbk byte FF", 936, "a\xFF" "b", u"a?b"}, {"gbk lead at the end", 936, "a\x81", u"a?"},
      {"gbk lead before ASCII digit", 936, "\x81" "0", u"?0"}, {"gbk lead before DEL", 936, "\x81\x7F", u"?\x7F"},
      {"gbk lead before FF", 936, "\x81\xFF", u"??"}, {"gbk unmapped pair is one ?", 936, "\xA2\xA0" "x", u"?x"},
      {"gbk pair then lone lead", 936, "\xB0\xA1\xB0", u"\x554A?"},
      {"gbk single 80 is the euro", 936, "\x80", u"\x20AC"},
      {"gbk embedded NUL kept", 936, std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {"utf8 stray continuation", 65001, "\x80" "a", R + u"a"}, {"utf8 overlong C0 80", 65001, "\xC0\x80", R + R},
      {"utf8 overlong E0 80 80", 65001, "\xE0\x80\x80", R + R + R},
      {"utf8 truncated 3-byte", 65001, "\xE4\xBD" "a", R + u"a"},
      {"utf8 encoded surrogate", 65001, "\xED\xA0\x80", R + R + R},
      {"utf8 beyond U+10FFFF", 65001, "\xF4\x90\x80\x80", R + R + R + R},
      {"utf8 truncated 4-byte", 65001, "\xF0\x9F\x98", R}, {"utf8 F5 lead", 65001, "\xF5" "a", R + u"a"},
      {"utf8 4-byte", 65001, "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
  };
  for (const auto& row : decodes) {
    EXPECT_EQ(Mb_To_W(row.cp, row.narrow), row.wide) << row.name;
    EXPECT_LE(row.wide.size(), row.narrow.size()) << row.name;
  }
  const struct { const char* name; int cp; std::u16string wide; std::string narrow; } encodes[] = {
      {"hangul has no GBK code", 936, u"a\xAC00" "b", "a?b"}, {"surrogate pair is one ?", 936, u"\xD83D\xDE00!", "?!"},
      {"lone high surrogate", 936, u"\xD83D" "a", "?a"}, {"lone low surrogate", 936, u"\xDE00", "?"},
      {"ideographs", 936, u"\x554A\x5427", "\xB0\xA1\xB0\xC9"}, {"euro", 936, u"\x20AC", "\x80"},
      {"utf8 lone high surrogate", 65001, u"\xD800" "a", "\xEF\xBF\xBD" "a"},
      {"utf8 lone low surrogate at end", 65001, u"a\xDC00", "a\xEF\xBF\xBD"},
      {"utf8 pair", 65001, u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
  };
  for (const auto& row : encodes) EXPECT_EQ(W_To_Mb(row.cp, row.wide), row.narrow) << row.name;
}

// Size queries, the NUL-inclusive form, overflow and refused arguments.
TEST(CodePage, SizesAndRefusals) {
  const char* gbk = "A\xB0\xA1";  // "A" and one ideograph
  const wchar16 text[] = {u'A', 0x554A, 0};
  wchar16 w[8] = {};
  char n[8] = {};
  // The rows run in order (a braced list is evaluated left to right): each result beside what it must be.
  const struct { const char* what; int got, want; } rows[] = {
      {"GBK size query: two characters and the NUL", Zem_MB_To_W(936, gbk, -1, nullptr, 0), 3},
      {"GBK into room", Zem_MB_To_W(936, gbk, -1, w, 8), 3}, {"... the ideograph", w[1], 0x554A},
      {"overflow writes nothing useful and says so", Zem_MB_To_W(936, gbk, -1, w, 2), 0},
      {"in UTF-8 too", Zem_MB_To_W(65001, "A\xE5\x95\x8A", -1, w, 2), 0},
      {"no bytes", Zem_MB_To_W(936, gbk, 0, w, 8), 0}, {"no text", Zem_MB_To_W(936, nullptr, -1, w, 8), 0},
      {"an unknown code page", Zem_MB_To_W(1252, gbk, -1, w, 8), 0},
      {"to GBK: the size", Zem_W_To_MB(936, text, -1, nullptr, 0), 4}, {"into room", Zem_W_To_MB(936, text, -1, n, 4), 4},
      {"... the bytes", std::string(n) == gbk, 1}, {"one short", Zem_W_To_MB(936, text, -1, n, 3), 0},
      {"the ideograph needs both bytes", Zem_W_To_MB(936, text, 2, n, 2), 0},
      {"to UTF-8: the size", Zem_W_To_MB(65001, text, -1, nullptr, 0), 5},
      {"to UTF-8 one short", Zem_W_To_MB(65001, text, -1, n, 4), 0},
      {"to an unknown code page", Zem_W_To_MB(437, text, -1, n, 8), 0},
      {"the system code page", Sys_Code_Page(), 936}, {"an unknown one refused", Set_Sys_Code_Page(1252), 0},
      {"... and kept", Sys_Code_Page(), 936}, {"UTF-8 taken", Set_Sys_Code_Page(65001), 1},
      {"the system's size in UTF-8", Zem_W_To_MB(ZEM_CP_SYSTEM, text, -1, nullptr, 0), 5},
      {"back to 936", Set_Sys_Code_Page(936), 1}, {"the system's size in GBK", Zem_W_To_MB(ZEM_CP_SYSTEM, text, -1, nullptr, 0), 4},
  };
  for (const auto& r : rows) EXPECT_EQ(r.got, r.want) << r.what;
}

// The rules of code page 936 one character at a time, iconv for each pair: the reference for long inputs
// (the converter works on 64-byte blocks).
std::u16string Reference_Gbk_Decode(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    unsigned b = static_cast<unsigned char>(s[i]);
    unsigned t = i + 1 < s.size() ? static_cast<unsigned char>(s[i + 1]) : 0;
    std::u16string w;
    if (b >= 0x81 && b <= 0xFE && t >= 0x40 && t <= 0xFE && t != 0x7F) {
      out += Iconv_Gbk_To_W(s.substr(i, 2), &w) ? w : u"?";
      i += 2;
    } else {
      out.push_back(b < 0x80 ? static_cast<char16_t>(b) : b == 0x80 ? u'\x20AC' : u'?');
      i += 1;
    }
  }
  return out;
}

// A random pair that iconv maps (rejection sampling over the lead and trail ranges).
std::string Random_Gbk_Pair(std::mt19937& rng) {
  for (;;) {
    std::string pair{static_cast<char>(0x81 + rng() % 0x7E), static_cast<char>(0x40 + rng() % 0xBF)};
    std::u16string probe;
    if (Iconv_Gbk_To_W(pair, &probe)) return pair;
  }
}

// Long random texts: ASCII runs, mapped pairs, and pieces at block boundaries (lead runs, 80, FF).
TEST(CodePage, LongMixedTextMatchesTheCharacterRules) {
  std::mt19937 rng(64);
  const std::vector<std::string> pieces = {
      "", "\xB0\xA1", "\xB0", "\x81\x40", "\x81", "\xFE\xFE\xFE", "\x80", "\xFF", "A", "abcdefghij",
      "\x7F", "\x40", "\xA2\xA0", "\x81\x7F", "0123456789012345678901234567890123456789"};
  for (int round = 0; round < 3000; ++round) {
    std::string s;
    size_t len = 1 + rng() % 400;
    while (s.size() < len) {
      size_t k = rng() % pieces.size();
      s += k ? pieces[k] : Random_Gbk_Pair(rng);
    }
    ASSERT_EQ(Mb_To_W(ZEM_CP_GBK, s), Reference_Gbk_Decode(s)) << "round " << round;
  }
}

// Texts of every length around the 64-byte block, ending in each kind of piece, decode as the rules say
// into buffers one short (refused), exact and larger, and leave every unit past the result untouched.
TEST(CodePage, GbkBlocksNeverWritePastTheResult) {
  const struct { const char* name; std::string bytes; } tails[] = {
      {"nothing", ""},          {"ideograph", "\xB0\xA1"},        {"lone lead at the end", "\xB0"},
      {"lead before ASCII trail", "\x81\x40"}, {"unmapped pair", "\xA2\xA0"}, {"odd run of leads", "\xFE\xFE\xFE"},
      {"80 and FF", "\x80\xFF"}, {"ASCII", "z"},
  };
  const std::string fills[] = {"\xC4\xE3", "a\xB0\xA1", "ab"};
  for (const auto& tail : tails) {
    for (const std::string& fill : fills) {
      for (size_t len = 0; len <= 200; ++len) {
        std::string s;
        while (s.size() + tail.bytes.size() < len) s += fill;
        s += tail.bytes;
        std::u16string ref = Reference_Gbk_Decode(s);
        wchar16 untouched = u'#';
        if (s.empty()) { ASSERT_TRUE(Zem_MB_To_W(ZEM_CP_GBK, s.data(), 0, &untouched, 1) == 0 && untouched == u'#'); }
        if (s.empty()) continue;
        for (size_t cap : {ref.size() - 1, ref.size(), ref.size() + 3, s.size(), s.size() + 5}) {
          if (cap == 0) continue;  // a size query
          SCOPED_TRACE(std::string(tail.name) + ", " + std::to_string(s.size()) + " bytes, cap " +
                       std::to_string(cap));
          const size_t want = cap < ref.size() ? 0 : ref.size();
          std::u16string w(cap + 4, u'#');
          ASSERT_EQ(Zem_MB_To_W(ZEM_CP_GBK, s.data(), static_cast<int>(s.size()), &w[0], static_cast<int>(cap)),
                    static_cast<int>(want));
          ASSERT_EQ(w.substr(0, want), ref.substr(0, want));
          ASSERT_EQ(w.substr(std::max(want, cap)), std::u16string(cap + 4 - std::max(want, cap), u'#'));
        }
      }
    }
  }
}

// Long wide texts (surrogates, unmappable units, any ideograph) into buffers around the exact size.
TEST(CodePage, LongWideTextIntoTightBuffers) {
  std::mt19937 rng(128);
  const std::vector<std::u16string> pieces = {u"", u"\x554A", u"abcdefgh", u"x", u"\xD83D\xDE00", u"\xD800",
                                              u"\xDC00", u"\xAC00", u"\x20AC", u"12345678901234567890"};
  const unsigned kIdeographs = ZEM_CJK_LAST - ZEM_CJK_FIRST + 1;
  for (int round = 0; round < 2000; ++round) {
    std::u16string w;
    size_t len = 1 + rng() % 200;
    while (w.size() < len) {
      size_t k = rng() % pieces.size();
      w += k ? pieces[k] : std::u16string(1, static_cast<char16_t>(ZEM_CJK_FIRST + rng() % kIdeographs));
    }
    std::string ref;
    for (size_t i = 0; i < w.size(); ++i) {
      char16_t c = w[i];
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) ++i;
      std::string one;
      ref += (c >= 0xD800 && c < 0xE000) || !Iconv_W_To_Gbk(std::u16string(1, c), &one) ? "?" : one;
    }
    ASSERT_EQ(W_To_Mb(ZEM_CP_GBK, w), ref) << "round " << round;
    for (int cap = static_cast<int>(ref.size()) - 2; cap <= static_cast<int>(ref.size()) + 2; ++cap) {
      if (cap <= 0) continue;
      std::string out(static_cast<size_t>(cap) + 4, '#');
      int got = Zem_W_To_MB(ZEM_CP_GBK, w.data(), static_cast<int>(w.size()), &out[0], cap);
      ASSERT_EQ(got, cap >= static_cast<int>(ref.size()) ? static_cast<int>(ref.size()) : 0) << cap;
      ASSERT_EQ(out.substr(static_cast<size_t>(cap)), "####") << "nothing written past cap";
      if (got) { ASSERT_EQ(out.substr(0, ref.size()), ref); }
    }
  }
}

}  // namespace
