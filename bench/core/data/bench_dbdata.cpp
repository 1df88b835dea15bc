// DBDataMgr speed, each figure beside an anchor measured in the same run:
//   Sort of 1,000,000 rows on two keys (numeric text, Chinese text) vs std::sort over the same rows with
//   the numbers pre-parsed to double and the names as plain char16_t strings (target: at most 3x);
//   Pack_Data and Unpack_Data of 1,000,000 rows x 7 fields vs memcpy of the packed bytes (target: at
//   least 150 MB/s each way).
// Every benchmark checks its answer and fails the run when it is wrong. Figures are CPU time: the
// machine is shared, and CPU time keeps both sides of a comparison honest under load.
#include "bench/bench_summary.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/data/dbdata.h"
#include "core/data/dec_num.h"
#include "core/text/wfunc.h"

using namespace zem_bench;

namespace {

const int kRows = 1000000;

// Common ideographs for names and notes.
const char16_t kHan[] = u"张王李赵刘陈杨黄周吴徐孙胡朱高林何郭马罗梁宋郑谢韩唐冯于董萧程曹袁邓许傅沈曾彭吕苏卢蒋蔡贾丁魏薛叶阎余潘杜戴夏钟汪田任姜范方石姚谭廖邹熊金陆郝孔白崔康毛邱秦江史顾侯邵孟龙万段雷钱汤尹黎易常武乔贺赖龚文";

std::u16string Han_Text(std::mt19937& rng, int n) {
  const size_t pool = sizeof(kHan) / sizeof(kHan[0]) - 1;
  std::u16string s;
  for (int i = 0; i < n; ++i) s += kHan[rng() % pool];
  return s;
}

// ---------------------------------------------------------------- sort

struct Sort_Data {
  std::vector<std::u16string> amount;  // decimal texts with 0 to 2 decimals, many ties
  std::vector<std::u16string> name;
  DBDataMgr set;
  Sort_Data() {
    std::mt19937 rng(2026);
    amount.reserve(kRows);
    name.reserve(kRows);
    set.Set_Field_Count(2);
    set.Set_Field_Name(0, u"amount");
    set.Set_Field_Type(0, 'F');
    set.Set_Field_Name(1, u"name");
    for (int i = 0; i < kRows; ++i) {
      int cents = static_cast<int>(rng() % 200000) - 20000;  // -200.00 .. 1799.99
      char b[32];
      switch (rng() % 3) {
        case 0: std::snprintf(b, sizeof b, "%d.%02d", cents / 100, std::abs(cents % 100)); break;
        case 1: std::snprintf(b, sizeof b, "%d.%d", cents / 100, std::abs(cents % 100) / 10); break;
        default: std::snprintf(b, sizeof b, "%d", cents / 100); break;
      }
      if (cents < 0 && cents > -100) b[0] = '-', std::snprintf(b + 1, sizeof b - 1, "0.%02d", -cents);
      amount.emplace_back(b, b + std::strlen(b));
      name.push_back(Han_Text(rng, 2 + static_cast<int>(rng() % 3)));
      set.Add_Row();
      set.Set_Value(0, amount.back().c_str());
      set.Set_Value(1, name.back().c_str());
    }
    set.Set_Sort_Key(0, 0);
    set.Add_Sort_Key(1, 0);
  }
};

Sort_Data& Sorts() {
  static Sort_Data d;
  return d;
}

// The set back in the same shuffled order before every timed sort.
void Shuffle(DBDataMgr* d) {
  std::mt19937 rng(99);
  for (int i = d->Get_Row_Count() - 1; i > 0; --i) d->Swap_Row(i, static_cast<int>(rng() % (i + 1)));
}

void BM_Sort_DBDataMgr(benchmark::State& state) {
  DBDataMgr& d = Sorts().set;
  for (auto _ : state) {
    state.PauseTiming();
    Shuffle(&d);
    state.ResumeTiming();
    d.Sort();
  }
  // The answer: every neighbour in order, both keys checked with the exact comparisons.
  for (int r = 0; r + 1 < d.Get_Row_Count(); ++r) {
    int c = Dec_Cmp(d.Get_Row_Value(r, 0), d.Get_Row_Value(r + 1, 0));
    if (c > 0 || (c == 0 && W_Cmp(d.Get_Row_Value(r, 1), d.Get_Row_Value(r + 1, 1)) > 0)) {
      state.SkipWithError("DBDataMgr::Sort left rows out of order");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

struct Plain_Row {
  double amount;
  std::u16string name;
};

void BM_Sort_Anchor_StdSort(benchmark::State& state) {
  Sort_Data& s = Sorts();
  std::vector<Plain_Row> base;
  base.reserve(kRows);
  for (int i = 0; i < kRows; ++i) {
    std::string a(s.amount[i].begin(), s.amount[i].end());
    base.push_back(Plain_Row{std::strtod(a.c_str(), nullptr), s.name[i]});
  }
  std::vector<Plain_Row> rows;
  for (auto _ : state) {
    state.PauseTiming();
    rows = base;
    state.ResumeTiming();
    std::sort(rows.begin(), rows.end(), [](const Plain_Row& a, const Plain_Row& b) {
      if (a.amount != b.amount) return a.amount < b.amount;
      return a.name < b.name;
    });
  }
  if (!std::is_sorted(rows.begin(), rows.end(),
                      [](const Plain_Row& a, const Plain_Row& b) { return a.amount < b.amount; })) {
    state.SkipWithError("std::sort anchor out of order");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

// ---------------------------------------------------------------- pack and unpack

struct Pack_Data_Set {
  DBDataMgr set;
  std::vector<uint8_t> packed;
  Pack_Data_Set() {
    std::mt19937 rng(7);
    const char16_t* fields[] = {u"emp_code", u"emp_name", u"dept_code", u"salary", u"hire_date", u"note", u"stop_flag"};
    set.Set_Field_Count(7);
    for (int i = 0; i < 7; ++i) set.Set_Field_Name(i, fields[i]);
    set.Set_Field_Type(3, 'F');
    set.Set_Field_Decsize(3, 2);
    set.Set_Table_Name(u"emp");
    char b[64];
    for (int r = 0; r < kRows; ++r) {
      set.Add_Row();
      std::snprintf(b, sizeof b, "E%07d", r);
      set.Set_Value(0, b);
      set.Set_Value(1, Han_Text(rng, 2 + static_cast<int>(rng() % 2)).c_str());
      std::snprintf(b, sizeof b, "D%02u", static_cast<unsigned>(rng() % 40));
      set.Set_Value(2, b);
      std::snprintf(b, sizeof b, "%u.%02u", 3000 + static_cast<unsigned>(rng() % 20000), static_cast<unsigned>(rng() % 100));
      set.Set_Value(3, b);
      std::snprintf(b, sizeof b, "20%02u-%02u-%02u", static_cast<unsigned>(rng() % 27), 1 + static_cast<unsigned>(rng() % 12),
                    1 + static_cast<unsigned>(rng() % 28));
      set.Set_Value(4, b);
      if (rng() % 3) set.Set_Value(5, (Han_Text(rng, 4) + u" note " + Han_Text(rng, 3)).c_str());
      set.Set_Value(6, (rng() % 10) ? "0" : "1");
    }
    unsigned len = 0;
    uint8_t* p = set.Pack_Data(&len);
    if (p) packed.assign(p, p + len);
    std::free(p);
  }
};

Pack_Data_Set& Packs() {
  static Pack_Data_Set d;
  return d;
}

void BM_Pack_Data(benchmark::State& state) {
  Pack_Data_Set& s = Packs();
  unsigned len = 0;
  bool same = true;
  for (auto _ : state) {
    uint8_t* p = s.set.Pack_Data(&len);
    benchmark::DoNotOptimize(p);
    state.PauseTiming();
    same = same && p && len == s.packed.size() && std::memcmp(p, s.packed.data(), len) == 0;
    std::free(p);
    state.ResumeTiming();
  }
  if (!same || s.packed.empty()) state.SkipWithError("Pack_Data gave other bytes");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(s.packed.size()));
}

void BM_Unpack_Data(benchmark::State& state) {
  Pack_Data_Set& s = Packs();
  // Unpacked over earlier content, as a query area or dictionary is refilled: the timed work is the
  // release of the old rows and the reading of the new ones. One untimed unpack fills it first.
  DBDataMgr d;
  int ok = d.Unpack_Data(s.packed.data(), s.packed.size(), nullptr);
  for (auto _ : state) {
    ok &= d.Unpack_Data(s.packed.data(), s.packed.size(), nullptr);
  }
  // The answer: same shape, same values at a spread of rows, and the same bytes when packed again.
  bool right = ok && d.Get_Row_Count() == kRows && d.Get_Field_Count() == 7;
  for (int r = 0; right && r < kRows; r += 9973) {
    for (int i = 0; i < 7; ++i) right = right && W_Cmp(d.Get_Row_Value(r, i), s.set.Get_Row_Value(r, i)) == 0;
  }
  unsigned len = 0;
  uint8_t* p = right ? d.Pack_Data(&len) : nullptr;
  right = right && p && len == s.packed.size() && std::memcmp(p, s.packed.data(), len) == 0;
  std::free(p);
  if (!right) state.SkipWithError("Unpack_Data did not give the packed set back");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(s.packed.size()));
}

// The same into a new set each time (fresh memory; the release of the set is not timed).
void BM_Unpack_Data_Fresh(benchmark::State& state) {
  Pack_Data_Set& s = Packs();
  int ok = 1;
  int rows = 0;
  for (auto _ : state) {
    auto* d = new DBDataMgr;
    ok &= d->Unpack_Data(s.packed.data(), s.packed.size(), nullptr);
    state.PauseTiming();
    rows = d->Get_Row_Count();
    delete d;
    state.ResumeTiming();
  }
  if (!ok || rows != kRows) state.SkipWithError("Unpack_Data into a new set failed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(s.packed.size()));
}

void BM_Pack_Anchor_Memcpy(benchmark::State& state) {
  Pack_Data_Set& s = Packs();
  std::vector<uint8_t> dst(s.packed.size());
  for (auto _ : state) {
    std::memcpy(dst.data(), s.packed.data(), s.packed.size());
    benchmark::ClobberMemory();
  }
  if (dst != s.packed) state.SkipWithError("memcpy anchor differs");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(s.packed.size()));
}

BENCHMARK(BM_Sort_DBDataMgr)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Sort_Anchor_StdSort)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Pack_Data)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Unpack_Data)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Unpack_Data_Fresh)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Pack_Anchor_Memcpy)->Unit(benchmark::kMillisecond);

// The sort beside std::sort, then each throughput beside memcpy, with the targets.
void Print(const Summary& s) {
  double sort = s.Cpu("BM_Sort_DBDataMgr"), anchor = s.Cpu("BM_Sort_Anchor_StdSort");
  Line("Sort 1,000,000 rows, 2 keys: DBDataMgr", sort * 1e3, "std::sort", anchor * 1e3, "<= 3x", Form{"ms", 0, 2});
  const double mc = s.Mbps("BM_Pack_Anchor_Memcpy");
  const Form rate{"MB/s", 0, 3};
  Line("Pack_Data", s.Mbps("BM_Pack_Data"), "memcpy", mc, ">= 150 MB/s", rate);
  Line("Unpack_Data over earlier content", s.Mbps("BM_Unpack_Data/"), "memcpy", mc, ">= 150 MB/s", rate);
  Line("Unpack_Data into a new set", s.Mbps("BM_Unpack_Data_Fresh"), "memcpy", mc, ">= 150 MB/s", rate);
}

}  // namespace

int main(int argc, char** argv) { return Run(argc, argv, Print); }
