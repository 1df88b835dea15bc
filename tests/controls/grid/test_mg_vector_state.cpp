// The grid's long operations run with the AVX upper state clean although Qt's seeded string hash, called
// just before, left it dirty (then each switch between SSE code and the C library's AVX copies is slow).
#include <cpuid.h>

#include <QHash>
#include <functional>

#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"

TEST(MgVectorState, LongOperationsStartClean) {
  unsigned a, b, c, d;  // XGETBV with ECX=1 (the state in use) exists when CPUID 0xD.1 sets EAX bit 2
  if (!__builtin_cpu_supports("avx") || !__get_cpuid_count(0xd, 1, &a, &b, &c, &d) || !(a & 4))
    GTEST_SKIP() << "no AVX upper state to read";
  auto upper_in_use = [] { unsigned lo, hi; asm volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(1)); return (lo & 4) != 0; };
  controlsTestApp();
  TMG g;
  g.SetColCount(3), g.SetRowCount(200), g.SetADEF({QStringLiteral("A"), QStringLiteral("B")});
  for (int r = 1; r < 200; ++r) g.SetV(1, r, std::to_string(r % 7).c_str());
  const std::pair<const char*, std::function<void()>> ops[] = {
      {"sort", [&] { g.Sort_Col_Add(1, 0), g.Sort(); }},
      {"filter", [&] { g.Filter(1, u"3"); }},
      {"seek", [&] { g.Seek_Ext(nullptr, 1, "A", "none", nullptr); }},
      {"paste", [&] { g.Paste_Text(QStringLiteral("x\ty\n"), nullptr); }},
      {"copy", [&] { g.Copy_Text(1, 199, 1, 2); }},
  };
  for (const auto& [what, op] : ops) {
    volatile size_t h = qHash(QStringLiteral("a key of some length"), QHashSeed::globalSeed());  // pure: kept
    if (!upper_in_use()) GTEST_SKIP() << "this Qt's hash leaves the state clean";
    op();
    EXPECT_FALSE(upper_in_use()) << what << " (hash " << h << ")";
  }
}
