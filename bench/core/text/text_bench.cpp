// Text benchmarks, each beside its anchor of the same run:
//   sorting 1,000,000 names of 2 to 4 ideographs with W_Cmp against plain char16_t order
//     (target: at most 1.25x the plain sort);
//   code page 936 <-> UTF-16 over 64 MiB of mixed Chinese/ASCII text against glibc iconv
//     (target: at least 3x iconv's throughput, and byte-identical output).
// Every benchmark checks its answer; a wrong answer fails the run.
#include "bench/bench_summary.h"

#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/text/code_page.h"
#include "core/text/wfunc.h"

using namespace zem_bench;

namespace {

// ---- data ----

struct Names {
  std::vector<char16_t> pool;          // NUL-terminated names, back to back
  std::vector<const char16_t*> order;  // the unsorted order
};

const Names& Name_Data() {
  static Names* names = [] {
    auto* n = new Names();
    std::mt19937 rng(2026);
    const int count = 1000000;
    std::vector<size_t> starts;
    n->pool.reserve(count * 4);
    for (int i = 0; i < count; ++i) {
      starts.push_back(n->pool.size());
      int len = 2 + static_cast<int>(rng() % 3);
      for (int k = 0; k < len; ++k) n->pool.push_back(static_cast<char16_t>(0x4E00 + rng() % (0x9FA6 - 0x4E00)));
      n->pool.push_back(0);
    }
    for (size_t s : starts) n->order.push_back(n->pool.data() + s);
    return n;
  }();
  return *names;
}

// Reference GBK codes of the ideographs, from iconv, for checking the collated order independently.
std::vector<unsigned> Iconv_Ideograph_Codes() {
  std::vector<unsigned> codes(0x10000, 0);
  iconv_t cd = iconv_open("GBK", "UTF-16LE");
  for (unsigned c = 0x4E00; c <= 0x9FA5; ++c) {
    char in[2] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    unsigned char out[4];
    char* ip = in;
    char* op = reinterpret_cast<char*>(out);
    size_t il = 2, ol = 4;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1) && ol == 2) codes[c] = (out[0] << 8) | out[1];
  }
  iconv_close(cd);
  return codes;
}

constexpr size_t kText_Bytes = 64u << 20;

struct Mixed_Text {
  std::string gbk;       // 64 MiB of code page 936 text
  std::u16string wide;   // the same text in UTF-16, as iconv gives it
};

// Runs iconv over a whole buffer; returns the output size or -1.
long Iconv_All(iconv_t cd, const char* in, size_t in_len, char* out, size_t out_cap) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* ip = const_cast<char*>(in);
  char* op = out;
  size_t il = in_len, ol = out_cap;
  if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) || il) return -1;
  return static_cast<long>(out_cap - ol);
}

const Mixed_Text& Text_Data() {
  static Mixed_Text* text = [] {
    auto* t = new Mixed_Text();
    // The mapped double-byte codes of the GB2312 area, the common case of Chinese data.
    std::vector<std::string> ideographs;
    for (int lead = 0xB0; lead <= 0xF7; ++lead) {
      for (int trail = 0xA1; trail <= 0xFE; ++trail) {
        wchar16 w;
        char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        if (Zem_MB_To_W(936, pair, 2, &w, 1) == 1 && w != u'?') ideographs.push_back(std::string(pair, 2));
      }
    }
    std::mt19937 rng(936);
    t->gbk.reserve(kText_Bytes);
    // Records of a data-entry table: codes, numbers and Chinese names, separated by tabs.
    while (t->gbk.size() + 64 < kText_Bytes) {
      int ascii = 1 + static_cast<int>(rng() % 12);
      for (int i = 0; i < ascii; ++i) t->gbk.push_back(static_cast<char>('0' + rng() % 75));
      t->gbk.push_back('\t');
      int cn = 1 + static_cast<int>(rng() % 8);
      for (int i = 0; i < cn; ++i) t->gbk += ideographs[rng() % ideographs.size()];
      t->gbk.push_back(rng() % 4 ? '\t' : '\n');
    }
    t->gbk.resize(kText_Bytes, ' ');
    std::string bytes(kText_Bytes * 2, '\0');
    iconv_t cd = iconv_open("UTF-16LE", "GBK");
    long n = Iconv_All(cd, t->gbk.data(), t->gbk.size(), &bytes[0], bytes.size());
    iconv_close(cd);
    if (n < 0) std::abort();
    t->wide.resize(static_cast<size_t>(n) / 2);
    std::memcpy(&t->wide[0], bytes.data(), static_cast<size_t>(n));
    return t;
  }();
  return *text;
}

// ---- timing of a subject beside its anchor ----

// The fastest pass of a subject and of its anchor. Each iteration of a benchmark times one pass of
// each back to back, so that both meet the same load; the fastest pass is the one least disturbed.
struct Pair_Times {
  double subject = 1e30, anchor = 1e30;
  void Add(double subject_s, double anchor_s) {
    if (subject_s < subject) subject = subject_s;
    if (anchor_s < anchor) anchor = anchor_s;
  }
};

std::map<std::string, Pair_Times>& Results() {
  static std::map<std::string, Pair_Times> results;
  return results;
}

// ---- sorting ----

// Function objects, so that the sort inlines either comparison alike.
struct Plain_Less {
  bool operator()(const char16_t* a, const char16_t* b) const {
    while (*a && *a == *b) ++a, ++b;
    return *a < *b;
  }
};

struct Collated_Less {
  bool operator()(const char16_t* a, const char16_t* b) const { return W_Cmp(a, b) < 0; }
};

// W_Cmp beside the plain char16_t order, on the same 1,000,000 names.
void BM_Sort_Names(benchmark::State& state) {
  const Names& n = Name_Data();
  std::vector<const char16_t*> plain, collated;
  Pair_Times& times = Results()["sort"];
  for (auto _ : state) {
    state.PauseTiming();
    plain = n.order;
    collated = n.order;
    state.ResumeTiming();
    double t0 = Cpu_Seconds();
    std::sort(plain.begin(), plain.end(), Plain_Less());
    double t1 = Cpu_Seconds();
    std::sort(collated.begin(), collated.end(), Collated_Less());
    double t2 = Cpu_Seconds();
    benchmark::DoNotOptimize(plain.data());
    benchmark::DoNotOptimize(collated.data());
    times.Add(t2 - t1, t1 - t0);
  }
  if (!std::is_sorted(plain.begin(), plain.end(), [](const char16_t* a, const char16_t* b) {
        return std::u16string(a) < std::u16string(b);
      })) {
    state.SkipWithError("plain sort gave a wrong order");
  }
  // Checked against iconv's GBK bytes of each ideograph, independently of the tables under test.
  std::vector<unsigned> code = Iconv_Ideograph_Codes();
  auto ref_less = [&](const char16_t* a, const char16_t* b) {
    for (;; ++a, ++b) {
      if (*a != *b) return (*a ? code[*a] : 0) < (*b ? code[*b] : 0);
      if (!*a) return false;
    }
  };
  if (!std::is_sorted(collated.begin(), collated.end(), ref_less)) {
    state.SkipWithError("W_Cmp sort disagrees with GBK order");
  }
}

// ---- code page 936 ----

// Zem_MB_To_W beside iconv, GBK to UTF-16, over the same 64 MiB; both results are checked.
void BM_Gbk_To_W(benchmark::State& state) {
  const Mixed_Text& t = Text_Data();
  std::u16string out(t.wide.size() + 16, u'\0');
  std::string ref(t.wide.size() * 2 + 16, '\0');
  iconv_t cd = iconv_open("UTF-16LE", "GBK");
  Pair_Times& times = Results()["gbk_to_w"];
  int n = 0;
  long ref_n = 0;
  for (auto _ : state) {
    double t0 = Cpu_Seconds();
    ref_n = Iconv_All(cd, t.gbk.data(), t.gbk.size(), &ref[0], ref.size());
    double t1 = Cpu_Seconds();
    n = Zem_MB_To_W(936, t.gbk.data(), static_cast<int>(t.gbk.size()), &out[0], static_cast<int>(out.size()));
    double t2 = Cpu_Seconds();
    benchmark::DoNotOptimize(out.data());
    benchmark::DoNotOptimize(ref.data());
    times.Add(t2 - t1, t1 - t0);
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(t.gbk.size()) * 2);
  if (ref_n != static_cast<long>(t.wide.size() * 2) || n != static_cast<int>(t.wide.size()) ||
      std::memcmp(out.data(), ref.data(), t.wide.size() * 2) != 0) {
    state.SkipWithError("GBK -> UTF-16 differs from iconv");
  }
}

// Zem_W_To_MB beside iconv, UTF-16 to GBK, over the same text; both results are checked.
void BM_W_To_Gbk(benchmark::State& state) {
  const Mixed_Text& t = Text_Data();
  std::string out(t.gbk.size() + 16, '\0');
  std::string ref(t.gbk.size() + 16, '\0');
  iconv_t cd = iconv_open("GBK", "UTF-16LE");
  Pair_Times& times = Results()["w_to_gbk"];
  int n = 0;
  long ref_n = 0;
  for (auto _ : state) {
    double t0 = Cpu_Seconds();
    ref_n = Iconv_All(cd, reinterpret_cast<const char*>(t.wide.data()), t.wide.size() * 2, &ref[0], ref.size());
    double t1 = Cpu_Seconds();
    n = Zem_W_To_MB(936, t.wide.data(), static_cast<int>(t.wide.size()), &out[0], static_cast<int>(out.size()));
    double t2 = Cpu_Seconds();
    benchmark::DoNotOptimize(out.data());
    benchmark::DoNotOptimize(ref.data());
    times.Add(t2 - t1, t1 - t0);
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(t.gbk.size()) * 2);
  if (ref_n != static_cast<long>(t.gbk.size()) || n != static_cast<int>(t.gbk.size()) ||
      std::memcmp(out.data(), t.gbk.data(), t.gbk.size()) != 0 || std::memcmp(ref.data(), t.gbk.data(), t.gbk.size()) != 0) {
    state.SkipWithError("UTF-16 -> GBK differs from iconv");
  }
}

BENCHMARK(BM_Sort_Names)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Gbk_To_W)->Unit(benchmark::kMillisecond)->Iterations(12);
BENCHMARK(BM_W_To_Gbk)->Unit(benchmark::kMillisecond)->Iterations(12);

// The fastest pass of each subject beside that of its anchor, with the targets.
void Print(const Summary&) {
  auto& r = Results();
  std::printf("fastest pass of each, by thread CPU time, subject and anchor timed back to back:\n");
  if (r.count("sort")) {
    const Pair_Times& t = r["sort"];
    Line("sort 1,000,000 names: W_Cmp", t.subject * 1e3, "plain char16_t", t.anchor * 1e3, "<= 1.25x");
  }
  const double mb = static_cast<double>(kText_Bytes) / 1e6;
  const struct { const char* key; const char* what; } pairs[] = {{"gbk_to_w", "GBK -> UTF-16 over 64 MiB: zem"},
                                                                 {"w_to_gbk", "UTF-16 -> GBK over 64 MiB: zem"}};
  for (const auto& p : pairs)
    if (r.count(p.key))
      Line(p.what, mb / r[p.key].subject, "glibc iconv", mb / r[p.key].anchor, ">= 3x", {"MB/s", 0, 2});
}

}  // namespace

int main(int argc, char** argv) { return Run(argc, argv, Print); }
