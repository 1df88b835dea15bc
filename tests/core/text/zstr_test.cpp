// tstr and wstr: growth rules, lengths, aliasing and allocation failure.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "core/text/text_util.h"
#include "core/text/zstr.h"

namespace {

// Fills t with len units of 'x' in a buffer of exactly cap units (0: no buffer). A wstr can only be
// appended to (its set_length truncates), so its fill must leave it below its growth point.
void Fill(tstr* t, int len, int cap) {
  if (!cap) return;
  ASSERT_EQ(t->reserve(cap), 1);
  std::memset(t->data(), 'x', static_cast<size_t>(len));
  ASSERT_EQ(t->set_length(len), 1);
}
void Fill(wstr* w, int len, int cap) {
  if (!cap) return;
  ASSERT_EQ(w->reserve(cap), 1);
  w->append(std::u16string(static_cast<size_t>(len), u'x').c_str());
  ASSERT_EQ(w->capacity(), cap);
}

template <class Str, class Ch>
void Append_And_Check(int len, int cap, int append, int want_cap) {
  Str t;
  Fill(&t, len, cap), t.append(std::basic_string<Ch>(static_cast<size_t>(append), 'y').c_str());
  EXPECT_TRUE(t.capacity() == want_cap && t.length() == len + append);
  EXPECT_TRUE(t.c_str()[t.length()] == 0 && t.c_str()[t.length() - 1] == 'y') << "the text ends as appended";
}

// Buffers grow in steps of 256 units: by 512, or by a twelfth of a large text; a tstr keeps its last
// byte free, a wstr its last two units.
TEST(Zstr, Growth) {
  const struct { const char* name; bool wide; int len, cap, append, want_cap; } rows[] = {
      {"one byte into an empty buffer", false, 0, 0, 1, 512},
      {"fits with room to spare stays", false, 509, 512, 1, 512},
      {"would touch the last byte grows", false, 510, 512, 1, 768},
      {"full 7000-byte text grows by a twelfth", false, 7000, 7001, 1, 7424},
      {"below the twelfth threshold grows by 512", false, 6000, 6001, 1, 6400},
      {"large append", false, 0, 0, 1000, 1280}, {"one unit into an empty buffer", true, 0, 0, 1, 512},
      {"two units short of the end stays", true, 508, 512, 1, 512},
      {"reaching capacity - 2 grows", true, 509, 512, 1, 768}, {"big append", true, 100, 512, 700, 1280},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.wide ? "wstr: " : "tstr: ") + row.name);
    row.wide ? Append_And_Check<wstr, wchar16>(row.len, row.cap, row.append, row.want_cap)
             : Append_And_Check<tstr, char>(row.len, row.cap, row.append, row.want_cap);
  }
}

// Many appends keep every invariant: capacity a multiple of 256, room for the terminator, text intact.
TEST(Tstr, RepeatedAppendsKeepTheText) {
  tstr t;
  std::string ref;
  for (int i = 0; i < 5000; ++i) {
    const std::string piece = std::to_string(i) + ",";
    t.append(piece.c_str()), ref += piece;
    ASSERT_TRUE(t.capacity() % 256 == 0 && t.capacity() > t.length()) << "append " << i;
  }
  EXPECT_EQ(std::string(t.c_str()), ref);
}

TEST(Tstr, LengthOperations) {
  tstr t;
  EXPECT_STREQ(t.c_str(), "") << "no buffer still gives a text";
  EXPECT_EQ(t.set_length(0), 0) << "no buffer: nothing below the capacity";
  t = "hello";
  ASSERT_EQ(t.capacity(), 512);
  struct { int n; int ok; int len; } rows[] = {{511, 1, 511}, {512, 0, 511}, {600, 0, 511}, {-1, 0, 511}, {3, 1, 3}};
  for (const auto& row : rows) {
    EXPECT_EQ(t.set_length(row.n), row.ok) << row.n;
    EXPECT_EQ(t.length(), row.len) << row.n;
  }
  EXPECT_STREQ(t.c_str(), "hel");
  EXPECT_EQ(t.set_length(2), 1);
  EXPECT_EQ(t.set_length(3), 1);
  EXPECT_EQ(std::string(t.c_str(), 4), std::string("he\0\0", 4)) << "each set_length writes its terminator";

  EXPECT_EQ(t.reserve(3), 0) << "must exceed the length";
  EXPECT_EQ(t.reserve(4), 1);
  EXPECT_TRUE(t.capacity() == 4 && t.length() == 3);

  tstr e("abcdef");
  for (const auto& [n, left] : {std::pair{0, "abcdef"}, {2, "cdef"}, {10, ""}}) {
    EXPECT_EQ(e.erase_front(n), 1);
    EXPECT_EQ(std::string(e.c_str()) + "/" + std::to_string(e.length()), left + ("/" + std::to_string(std::strlen(left))));
  }
  ~e;
  EXPECT_TRUE(e.capacity() == 0 && e.length() == 0 && *e.c_str() == 0) << "released";
}

TEST(Tstr, AssignAndAppendForms) {
  tstr t;
  t.append("ab", 0), t.append(nullptr, 3), t.append(nullptr), t.append("");
  EXPECT_EQ(t.capacity(), 0) << "nothing to append allocates nothing";
  t.append("a\0b", 3);
  EXPECT_EQ(std::string(t.c_str(), 4), std::string("a\0b", 4)) << "terminated after the embedded zero";
  EXPECT_EQ(t.length(), 3);
  std::string forms;
  t = 1234, forms += t.c_str() + std::string("|");
  t = -1.5, forms += t.c_str() + std::string("|");
  t.assign(static_cast<const char*>(nullptr)), forms += t.c_str();
  EXPECT_EQ(forms, "1234|-1.500000|");

  tstr copy("copy me");
  tstr other(copy);
  EXPECT_STREQ(other.c_str(), "copy me");
  EXPECT_NE(other.c_str(), copy.c_str()) << "a copy has its own buffer";
}

// A buffer given its own text, or part of it, as the source.
TEST(Tstr, OwnTextAsSource) {
  tstr t("abcdef");
  const char* before = t.c_str();
  t.assign(t.c_str());
  EXPECT_TRUE(t.c_str() == before && std::string(t.c_str()) == "abcdef");
  t = t;  // NOLINT self-assignment is a no-op
  EXPECT_STREQ(t.c_str(), "abcdef");
  t.assign(t.c_str() + 2);
  EXPECT_STREQ(t.c_str(), "cdef");

  // Appending the text to itself until it must move: the source moves with it.
  tstr grow("0123456789");
  for (int i = 0; i < 8; ++i) grow.append(grow.c_str());
  EXPECT_EQ(grow.length(), 10 * 256);
  EXPECT_EQ(std::string(grow.c_str(), 10) + std::string(grow.c_str() + 2550, 10), "01234567890123456789");
}

// An allocator that fails on purpose: the operation that needed the room does nothing.
void* Fail_Alloc(size_t, const char*) { return nullptr; }

TEST(Zstr, AllocationFailureLosesNothing) {
  tstr t("keep");
  Fill(&t, 600, 601);
  std::string before(t.c_str());
  wstr w(u"keep");
  std::u16string wbefore(w.c_str());
  int wcap = w.capacity();

  Zem_Text_Set_Alloc_Hook(Fail_Alloc), t.append("more");
  EXPECT_EQ(t.reserve(5000), 0);
  std::string after(t.c_str());
  tstr fresh;
  fresh.append("x");
  std::u16string big(600, u'w');
  w.append(big.c_str());
  EXPECT_EQ(w.reserve(5000), 0);
  Zem_Text_Set_Alloc_Hook(nullptr);

  EXPECT_TRUE(after == before && t.length() == 600);
  EXPECT_TRUE(*fresh.c_str() == 0 && fresh.capacity() == 0);
  EXPECT_TRUE(std::u16string(w.c_str()) == wbefore && w.capacity() == wcap);
}

TEST(Wstr, LengthAndForms) {
  wstr w(u"abc");
  EXPECT_EQ(w.set_length(5) + w.set_length(-1), 0) << "only truncates";
  EXPECT_EQ(std::u16string(w.c_str()), u"abc");
  EXPECT_EQ(w.set_length(3), 1);
  EXPECT_EQ(w.set_length(1), 1);
  EXPECT_EQ(std::u16string(w.c_str()), u"a");

  const struct { void (*act)(wstr*); const char16_t* text; } steps[] = {
      {[](wstr* v) { v->assign("\xB0\xA1"); }, u"\x554A"},  // narrow text in the system code page
      {[](wstr* v) { v->append("x\xB0\xC9"); }, u"\x554Ax\x5427"},
      {[](wstr* v) { v->append(u"yz", 1); }, u"\x554Ax\x5427y"}, {[](wstr* v) { v->assign(-17); }, u"-17"},
      {[](wstr* v) { v->assign(2.25); }, u"2.250000"},
      {[](wstr* v) { v->assign(static_cast<const char*>(nullptr)); }, u""},
  };
  for (const auto& step : steps) {
    step.act(&w);
    EXPECT_EQ(std::u16string(w.c_str()), step.text);
  }

  wstr self(u"0123456789");
  for (int i = 0; i < 7; ++i) self.append(self.c_str());
  EXPECT_TRUE(self.length() == 1280 && std::u16string(self.c_str() + 1270) == u"0123456789");
  self.assign(self.c_str() + 1270);
  EXPECT_EQ(std::u16string(self.c_str()), u"0123456789");

  ~self;
  EXPECT_TRUE(self.capacity() == 0 && self.c_str()[0] == 0) << "released";
}

// Numbers are written with '.', whatever locale the host application has set.
TEST(Zstr, NumbersIgnoreTheProcessLocale) {
  const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"};
  const char* set = nullptr;
  for (const char* n : names)
    if ((set = std::setlocale(LC_NUMERIC, n)) != nullptr) break;
  if (!set) GTEST_SKIP() << "no locale with a decimal comma is installed";
  tstr t;
  t = 0.5;
  char buf[32];
  Zem_Fmt_Double(buf, sizeof buf, 1.25);
  double read = Zem_Read_Double("3.75");
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(std::string(t.c_str()) + " " + buf, "0.500000 1.250000");
  EXPECT_EQ(read, 3.75);
}

}  // namespace
