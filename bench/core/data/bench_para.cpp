// Parameter pack speed, each figure beside an anchor measured in the same run:
//   Unpack_Para of 100,000 parameters vs 10,000 (lookup by name must not make unpacking quadratic:
//   target at most 15x the time for 10x the parameters), with the order of parameters checked;
//   Pack_Para and Unpack_Para throughput vs memcpy of the packed bytes; the zlib envelope vs zlib's
//   own compress of the same bytes.
// Every benchmark checks its answer and fails the run when it is wrong.
#include "bench/bench_summary.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/data/para.h"

using namespace zem_bench;

namespace {

// A pack of n parameters "p<i>" holding text, wide and integer values in turn, and its packed form.
struct Fixture {
  TParaMgr pack;
  std::vector<unsigned char> packed;
};

void Fill(TParaMgr* m, int n) {
  char name[32], text[64];
  for (int i = 0; i < n; ++i) {
    std::snprintf(name, sizeof name, "p%d", i);
    switch (i % 3) {
      case 0:
        std::snprintf(text, sizeof text, "value number %d of the list", i);
        m->Put_Str(name, text);
        break;
      case 1:
        m->Put_WStr(name, u"部门名称与编码");
        break;
      default:
        m->Put_Int(name, i);
    }
  }
}

Fixture& Fix(int n) {
  static std::map<int, Fixture*> fixtures;
  Fixture*& f = fixtures[n];
  if (!f) {
    f = new Fixture();
    Fill(&f->pack, n);
    int len = 0;
    void* p = f->pack.Pack_Para(&len, 0, 0);
    f->packed.assign(static_cast<unsigned char*>(p), static_cast<unsigned char*>(p) + len);
    std::free(p);
  }
  return *f;
}

// Every parameter present, in order, under its own name.
bool Order_Kept(TParaMgr* m, int n) {
  if (m->Count() != n) return false;
  char name[32];
  char16_t wname[32];
  for (int i = 0; i < n; ++i) {
    int k = std::snprintf(name, sizeof name, "p%d", i);
    for (int j = 0; j <= k; ++j) wname[j] = static_cast<char16_t>(name[j]);
    if (std::u16string(m->Para(i)->Name()) != wname) return false;
    if (m->Find_Para(wname) != m->Para(i)) return false;
  }
  return true;
}

void BM_Unpack(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  Fixture& f = Fix(n);
  bool ok = true;
  for (auto _ : state) {
    TParaMgr m;
    ok = ok && m.Unpack_Para(f.packed.data(), f.packed.size()) == 1;
    benchmark::DoNotOptimize(m.Count());
    state.PauseTiming();
    ok = ok && Order_Kept(&m, n);
    state.ResumeTiming();
  }
  if (!ok) state.SkipWithError("unpacked parameters are missing or out of order");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.packed.size()));
}

void BM_Pack(benchmark::State& state) {
  Fixture& f = Fix(100000);
  bool ok = true;
  for (auto _ : state) {
    int len = 0;
    void* p = f.pack.Pack_Para(&len, 0, 0);
    ok = ok && p && static_cast<size_t>(len) == f.packed.size() && std::memcmp(p, f.packed.data(), f.packed.size()) == 0;
    std::free(p);
  }
  if (!ok) state.SkipWithError("packed bytes differ");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.packed.size()));
}

void BM_Pack_Anchor_Memcpy(benchmark::State& state) {
  Fixture& f = Fix(100000);
  std::vector<unsigned char> dst(f.packed.size());
  for (auto _ : state) {
    std::memcpy(dst.data(), f.packed.data(), f.packed.size());
    benchmark::ClobberMemory();
  }
  if (dst != f.packed) state.SkipWithError("copy differs");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.packed.size()));
}

void BM_Pack_Zip(benchmark::State& state) {
  Fixture& f = Fix(100000);
  bool ok = true;
  for (auto _ : state) {
    int len = 0;
    void* p = f.pack.Pack_Para(&len, 1, 30000);
    state.PauseTiming();
    TParaMgr back;
    ok = ok && p && back.Unpack_Para(p, static_cast<size_t>(len)) == 1 && Order_Kept(&back, 100000);
    state.ResumeTiming();
    std::free(p);
  }
  if (!ok) state.SkipWithError("zipped pack does not read back");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.packed.size()));
}

void BM_Zip_Anchor_Compress(benchmark::State& state) {
  Fixture& f = Fix(100000);
  uLongf cap = compressBound(f.packed.size());
  std::vector<unsigned char> z(cap);
  bool ok = true;
  for (auto _ : state) {
    uLongf zl = cap;
    ok = ok && compress(z.data(), &zl, f.packed.data(), f.packed.size()) == Z_OK;
  }
  if (!ok) state.SkipWithError("compress failed");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.packed.size()));
}

// CPU time throughout: the figures are about the work done, and the machine may be shared.
BENCHMARK(BM_Unpack)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Pack)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pack_Anchor_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pack_Zip)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Zip_Anchor_Compress)->Unit(benchmark::kMillisecond)->Iterations(5);

// Unpacking's growth with the number of parameters, then each throughput beside its anchor.
void Print(const Summary& s) {
  double t10 = s.Cpu("BM_Unpack/10000/"), t100 = s.Cpu("BM_Unpack/100000/");
  Line("Unpack_Para 100,000 parameters", t100 * 1e3, "10,000 parameters", t10 * 1e3, "<= 15x",
       Form{"ms", 2, 2, "anchor, CPU time"});
  double mc = s.Mbps("BM_Pack_Anchor_Memcpy");
  std::printf("Pack_Para   %.0f MB/s beside memcpy %.0f MB/s\n", s.Mbps("BM_Pack"), mc);
  std::printf("Unpack_Para %.0f MB/s beside memcpy %.0f MB/s\n", s.Mbps("BM_Unpack/100000/"), mc);
  std::printf("Pack_Para zipped %.0f MB/s beside zlib compress %.0f MB/s\n", s.Mbps("BM_Pack_Zip"),
              s.Mbps("BM_Zip_Anchor_Compress"));
  std::printf("Packed size %zu bytes for 100,000 parameters\n", Fix(100000).packed.size());
}

}  // namespace

int main(int argc, char** argv) { return Run(argc, argv, Print); }
