// The separate code index over rows kept in their own order: every input order (already in code
// order, in its reverse, almost either, equal codes, one row, none) gives the entries ordered by code
// then row, look-ups that find the first row of a code, and hit counts on that entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/text/wfunc.h"
#include "dict/dict.h"
#include "tests/drivers/db_fixture.h"

using zem_test::U;
using zem_test::Utf8;

namespace {

using Code_List = std::vector<std::string>;

// A dictionary whose rows are the codes in the order given, indexed as rows loaded by an
// "order by" are (no database: the SQL only names the rule).
void Fill(TDict* d, const Code_List& codes) {
  ASSERT_EQ(d->SetInfo("idx_test", "select code,name from t order by name"), 1);
  auto g = d->Lock();
  DBDataMgr* data = d->Data();
  data->Set_Field_Count(2);
  data->Set_Field_Name(0, u"code");
  data->Set_Field_Name(1, u"name");
  for (size_t i = 0; i < codes.size(); ++i) {
    data->Add_Row();
    data->Set_Value(0, U(codes[i]).c_str());
    data->Set_Value(1, U("n" + std::to_string(i)).c_str());
  }
  ASSERT_EQ(d->Build_Index(), 1);
}

// The expected entries: (code, row) ordered by the collation, equal codes by row.
std::vector<std::pair<std::u16string, int>> Expected(const Code_List& codes) {
  std::vector<std::pair<std::u16string, int>> v;
  for (size_t i = 0; i < codes.size(); ++i) v.emplace_back(U(codes[i]), static_cast<int>(i));
  std::stable_sort(v.begin(), v.end(), [](const auto& a, const auto& b) {
    return W_Cmp(a.first.c_str(), b.first.c_str()) < 0;
  });
  return v;
}

Code_List Numbered(int n, bool reverse) {
  Code_List v;
  for (int i = 0; i < n; ++i) {
    char b[16];
    std::snprintf(b, sizeof b, "D%05d", reverse ? n - 1 - i : i);
    v.push_back(b);
  }
  return v;
}

Code_List Shuffled_With_Repeats(int n) {
  Code_List v = Numbered(n, false);
  for (int i = 0; i < n; i += 7) v.push_back(v[static_cast<size_t>(i)]);
  std::mt19937 rng(7);
  std::shuffle(v.begin(), v.end(), rng);
  return v;
}

TEST(Dict_Index, EntriesLookupsAndHitsForEveryInputOrder) {
  struct Case {
    const char* what;
    Code_List codes;
  };
  const std::vector<Case> cases = {
      {"no rows", {}},
      {"one row", {"A"}},
      {"in order", {"A", "B", "C", "D"}},
      {"in order with equal codes", {"A", "A", "B", "C", "C"}},
      {"all equal", {"K", "K", "K"}},
      {"reversed", {"D", "C", "B", "A"}},
      {"reversed with equal codes", {"C", "B", "B", "A"}},
      {"almost in order", {"A", "B", "D", "C", "E"}},
      {"in order but the last", {"B", "C", "D", "A"}},
      {"almost reversed", {"D", "C", "A", "B"}},
      {"reversed but the last", {"C", "B", "A", "D"}},
      {"two rows reversed", {"B", "A"}},
      {"two equal rows", {"A", "A"}},
      {"prefixes", {"AB", "A", "ABC", ""}},
      // Ideographs collate by their narrow bytes, not by code unit.
      {"ideographs in collation order", {"丙", "部门", "甲", "乙"}},
      {"ideographs reversed", {"乙", "甲", "部门", "丙"}},
      {"many in order", Numbered(3000, false)},
      {"many reversed", Numbered(3000, true)},
      {"many shuffled with repeats", Shuffled_With_Repeats(3000)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TDict d;
    Fill(&d, c.codes);
    if (HasFatalFailure()) return;
    auto g = d.Lock();
    ASSERT_EQ(d.Index_Mode(), TDict::INDEX_SEPARATE);
    // The rows keep their order.
    ASSERT_EQ(d.Get_Row_Count(), static_cast<int>(c.codes.size()));
    for (size_t r = 0; r < c.codes.size(); ++r) ASSERT_EQ(Utf8(d.Get_Row_Value(static_cast<int>(r), 0)), c.codes[r]);
    const auto want = Expected(c.codes);
    const auto& index = d.Index();
    ASSERT_EQ(index.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
      ASSERT_EQ(std::u16string(index[i].key), want[i].first) << i;
      ASSERT_EQ(index[i].row, want[i].second) << i;
    }
    // Each code finds its first row; the hit lands on the first entry of its run.
    for (size_t i = 0; i < want.size(); ++i) {
      if (i > 0 && want[i].first == want[i - 1].first) continue;
      ASSERT_EQ(d.Seek_Code(0, want[i].first.c_str()), 1) << Utf8(want[i].first.c_str());
      EXPECT_EQ(d.Get_Cur_Row(), want[i].second);
    }
    for (size_t i = 0; i < want.size(); ++i) {
      bool first = i == 0 || want[i].first != want[i - 1].first;
      ASSERT_EQ(index[i].hits, first ? 1 : 0) << i;
    }
    EXPECT_EQ(d.Seek_Code(0, u"not a code"), 0);
  }
}

}  // namespace
