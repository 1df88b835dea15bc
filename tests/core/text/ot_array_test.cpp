// OT_Array growth, deletion and position rules; Array_Str ownership.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "core/text/ot_array.h"
#include "core/text/separate_str.h"

namespace {

TEST(OTArray, AtGrowsAndCounts) {
  struct { const char* name; int initial; int delta; int index; int cap; int count; } rows[] = {
      {"first touch allocates the initial size", 30, 20, 0, 30, 1}, {"far index: index + delta", 30, 20, 100, 120, 101},
      {"negative index is 0", 30, 20, -5, 30, 1}, {"defaults replace values below 1", 0, -1, 0, 30, 1},
      {"own initial and delta", 4, 2, 10, 12, 11}, {"initial raises a small step", 100, 5, 10, 100, 11},
  };
  for (const auto& row : rows) {
    OT_Array<int> a(row.initial, row.delta);
    EXPECT_EQ(a.At(row.index), 0) << row.name;
    EXPECT_EQ(std::make_pair(a.Capacity(), a.Count()), std::make_pair(row.cap, row.count)) << row.name;
  }

  OT_Array<int> a;
  for (int i = 0; i < 10; ++i) a.Add(i + 1);
  int* data = a.Data();
  EXPECT_EQ(a.At(5), 6);
  EXPECT_TRUE(a.Count() == 10 && a.Data() == data) << "reading inside the count changes nothing";
  a.At(40) = 7;
  EXPECT_EQ(std::make_pair(a.Capacity(), a.Count()), std::make_pair(60, 41));
  for (int i = 10; i < 40; ++i) EXPECT_EQ(a.At(i), 0) << "skipped slots read as zero";
  EXPECT_EQ(a.At(9), 10) << "growth keeps the elements";
}

TEST(OTArray, DefaultGrowthSteps) {
  OT_Array<int> a;
  for (int cap : {30, 50, 70, 90}) {
    while (a.Count() < cap) a.Add(a.Count());
    EXPECT_EQ(a.Capacity(), cap);
  }
  // Past 4096 slots the array grows by half, so a million appends stay linear.
  OT_Array<int> big;
  int grows = 0, last = 0;
  for (int i = 0; i < 1000000; ++i) {
    big.Add(i);
    if (big.Capacity() != last) ++grows, last = big.Capacity();
  }
  EXPECT_LT(grows, 250);
  EXPECT_EQ(big.At(999999), 999999);
}

// The elements with the position marked ("0|*20|30"), and the capacity.
std::string State(OT_Array<int>& a) {
  std::string out;
  for (int i = 0; i < a.Count(); ++i)
    out += (i ? "|" : "") + std::string(i == a.Position() ? "*" : "") + std::to_string(a.Get(i));
  return out + " cap " + std::to_string(a.Capacity());
}

TEST(OTArray, DeleteInsertAndPosition) {
  OT_Array<int> a;
  for (int i = 0; i < 5; ++i) a.Add(i * 10);
  typedef OT_Array<int> A;
  const struct { const char* what; int (*step)(A*); int result; const char* state; } steps[] = {
      {"delete past the end", [](A* t) { return t->Del(5); }, 0, "*0|10|20|30|40 cap 30"},
      {"delete before the start", [](A* t) { return t->Del(-1); }, 0, "*0|10|20|30|40 cap 30"},
      {"delete: position kept within", [](A* t) { t->Position() = 4; return t->Del(1); }, 1, "0|20|30|*40 cap 30"},
      {"remove a missing value", [](A* t) { return t->Remove(99); }, 1, "0|20|30|*40 cap 30"},
      {"remove a value", [](A* t) { return t->Remove(30); }, 1, "0|20|*40 cap 30"},
      {"insert in front", [](A* t) { return t->Insert(0, 7), 1; }, 1, "7|0|*20|40 cap 30"},
      {"insert in the middle", [](A* t) { return t->Insert(2, 5), 1; }, 1, "7|0|*5|20|40 cap 30"},
      {"insert past the end: gap is 0", [](A* t) { return t->Insert(7, 9), 1; }, 1, "7|0|*5|20|40|0|0|9 cap 30"},
      {"truncate", [](A* t) { return t->Truncate(2), 1; }, 1, "7|*0 cap 30"},
      {"truncate past the count", [](A* t) { return t->Truncate(5), 1; }, 1, "7|*0 cap 30"},
      {"reserve keeps the elements", [](A* t) { return t->Reserve(500), 1; }, 1, "7|*0 cap 500"},
      {"clear frees the storage", [](A* t) { return t->Clear(); }, 1, " cap 0"},
  };
  for (const auto& s : steps) {
    EXPECT_EQ(s.step(&a), s.result) << s.what;
    EXPECT_EQ(State(a), s.state) << s.what;
  }
  EXPECT_TRUE(a.Position() == 0 && a.Data() == nullptr);
  OT_Array<int> one;
  one.Add(1);
  EXPECT_EQ(one.Del(0), 1);
  EXPECT_TRUE(State(one) == " cap 30" && one.Position() == 0) << "the last one deleted";
}

// Init_Item runs once for every new slot.
class Counting_Array : public OT_Array<int> {
 public:
  int inits = 0;
  int Init_Item(int*) override { return ++inits, 1; }
};

TEST(OTArray, InitItemForEveryNewSlot) {
  Counting_Array a;
  a.At(0);
  const int first = a.inits;
  a.At(30);
  EXPECT_EQ(std::make_pair(first, a.inits), std::make_pair(30, 50));
}

int g_live = 0;
void* Count_Alloc(size_t n) { ++g_live; return std::malloc(n); }
void Count_Release(void* p) { --g_live; std::free(p); }

TEST(ArrayStr, OwnsCopiesThroughItsAllocator) {
  char* kept = nullptr;
  {
    Array_Str a;
    a.Set_Allocator(Count_Alloc, Count_Release);
    char text[] = "abc";
    EXPECT_EQ(a.Add(text), 1);
    text[0] = 'X';
    EXPECT_STREQ(a.Str(0), "abc") << "a copy, not the caller's text";
    EXPECT_EQ(a.Add(nullptr), 0);
    EXPECT_EQ(a.Add(""), 1);
    EXPECT_TRUE(a.Count() == 2 && a.Str(2) == nullptr && a.Str(-1) == nullptr);
    EXPECT_EQ(g_live, 3) << "the slots and two strings";
    EXPECT_EQ(a.Free_All(), 1);
    EXPECT_TRUE(g_live == 0 && a.Count() == 0);
    a.Add("again");
    kept = a.Get(0);
  }
  EXPECT_EQ(g_live, 1) << "the destructor returns only the slots; the owner frees the strings";
  EXPECT_STREQ(kept, "again");
  Count_Release(kept);
}

}  // namespace
