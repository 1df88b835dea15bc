// TMG benchmarks, each beside its anchor of the same run:
//   paint: a 1200 x 800 viewport of a 1,000,000-row TMG with money and check-box columns, against
//          QTableWidget rendering a plain 100,000-row viewport of the same size (target: at most 1.5x);
//   fit:   Fit_To_Show() on 1,000,000 rows against 2,000 rows (target: within 2x);
//   allt:  Allt_And_Unify() over 1,000,000 rows x 3 numeric columns, in rows per second.
// Each benchmark checks its answer (painted money digits, fitted heights, unified texts). The data
// benchmarks (sort, totals, filter, search) are in bench_mg_data.cpp.
#include "bench/bench_summary.h"
#include "controls/grid/Mg.h"

#include <QApplication>
#include <QImage>
#include <QTableWidget>
#include <cstdio>
#include <cstdlib>

using namespace zem_bench;

namespace {

constexpr int kViewW = 1200, kViewH = 800;

void Fill_Mg(TMG& g, int rows) {
  g.SetColCount(6);
  g.SetRowCount(rows + 1);
  g.SetADEF({QStringLiteral("Code,$code"), QStringLiteral("Name"), QStringLiteral("Amount,money"),
             QStringLiteral("Ok,bool"), QStringLiteral("Rate,number")});
  for (int r = 1; r <= rows; ++r) {
    g.SetCells(1, r, QStringLiteral("A%1").arg(r));
    g.SetCells(2, r, QStringLiteral("Name %1").arg(r % 97));
    g.SetCells(3, r, QString::number((r * 7919LL) % 10000000 / 100.0, 'f', 2));
    g.SetCells(4, r, r % 2 ? QStringLiteral("1") : QStringLiteral("0"));
    g.SetCells(5, r, QString::number(r % 1000) + QStringLiteral(".5"));
  }
}

void BM_Paint_QTableWidget_100k(benchmark::State& st) {
  QTableWidget t(100000, 6);
  t.resize(kViewW, kViewH);
  for (int r = 0; r < 100000; ++r)
    for (int c = 0; c < 6; ++c) t.setItem(r, c, new QTableWidgetItem(QStringLiteral("%1").arg(r * 6 + c)));
  t.scrollToItem(t.item(50000, 0));
  QImage img(kViewW, kViewH, QImage::Format_RGB32);
  double total = 0;
  for (auto _ : st) total += Timed([&] { t.viewport()->render(&img); });
  Keep("paint_anchor", total / double(st.iterations()));
}

void BM_Paint_TMG_1M(benchmark::State& st) {
  TMG g;
  g.resize(kViewW, kViewH);
  Fill_Mg(g, 1000000);
  g.SetTopRow(500000);
  g.SetCol(1);
  QImage img(g.viewport()->size(), QImage::Format_RGB32);
  double total = 0;
  for (auto _ : st) total += Timed([&] { g.viewport()->render(&img); });
  Keep("paint", total / double(st.iterations()));
  // The money column shows red fraction digits somewhere in the viewport.
  TRect r = g.CellRect(3, g.TopRow() + 1);
  int red = 0;
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right && x < img.width(); ++x) {
      QRgb p = img.pixel(x, y);
      if (qRed(p) > 180 && qGreen(p) < 90 && qBlue(p) < 90) ++red;
    }
  Check(red > 3, "money digits painted");
}

void Fit(benchmark::State& st, int rows, const char* name) {
  TMG g;
  g.resize(kViewW, kViewH);
  Fill_Mg(g, rows);
  g.SetColWidths(2, 30);
  g.SetTopRow(rows / 2);
  double total = 0;
  for (auto _ : st) {
    for (int r = g.TopRow(); r < g.TopRow() + 3; ++r) g.SetRowHeights(r, g.DefaultRowHeight());
    total += Timed([&] { g.Fit_To_Show(); });
  }
  Keep(name, total / double(st.iterations()));
  Check(g.RowHeights(g.TopRow()) > g.DefaultRowHeight(), "narrow column made rows taller");
}

void BM_Fit_2000(benchmark::State& st) { Fit(st, 2000, "fit_anchor"); }
void BM_Fit_1M(benchmark::State& st) { Fit(st, 1000000, "fit"); }

void BM_Allt_And_Unify_1M(benchmark::State& st) {
  const int rows = 1000000;
  TMG g;
  g.SetColCount(4);
  g.SetRowCount(rows + 1);
  g.SetADEF({QStringLiteral("A,number"), QStringLiteral("B,int"), QStringLiteral("C,dec#3")});
  double total = 0;
  for (auto _ : st) {
    for (int r = 1; r <= rows; ++r) {
      g.SetCells(1, r, r % 3 ? QStringLiteral("1.50") : QStringLiteral("2.125"));
      g.SetCells(2, r, QString::number(r));
      g.SetCells(3, r, QStringLiteral("3.000"));
    }
    total += Timed([&] { g.Allt_And_Unify(); });
  }
  Keep("allt", total / double(st.iterations()));
  Check(g.Cells(1, 1) == QStringLiteral("1.500") && g.Cells(1, 3) == QStringLiteral("2.125") &&
            g.Cells(2, 7) == QStringLiteral("7") && g.Cells(3, 9) == QStringLiteral("3"),
        "Allt_And_Unify texts");
}

}  // namespace

BENCHMARK(BM_Paint_QTableWidget_100k)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_Paint_TMG_1M)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_Fit_2000)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(BM_Fit_1M)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(BM_Allt_And_Unify_1M)->Unit(benchmark::kMillisecond)->Iterations(1);

namespace {

// The grid's own figures, then the data benchmarks' (bench_mg_data.cpp), each beside its anchor.
void Print(const Summary&) {
  const Form fine{"ms", 3, 2};
  if (g_sec.count("paint"))
    Line("paint TMG 1M rows", Fig("paint"), "QTableWidget 100k rows", Fig("paint_anchor"), "<= 1.5x", fine);
  if (g_sec.count("fit")) Line("Fit_To_Show 1M rows", Fig("fit"), "2,000 rows", Fig("fit_anchor"), "<= 2x", fine);
  if (g_sec.count("allt")) std::printf("Allt_And_Unify 1M rows x 3 columns: %.0f rows/s\n", 1e6 / g_sec["allt"]);
  Line("Sort 100k x 10 text key", Fig("sort_text"), "QTableWidget::sortItems", Fig("sort_text_anchor"), "<= 0.25x");
  Line("Sort 100k x 10 numeric key", Fig("sort_num"), "QTableWidget::sortItems doubles", Fig("sort_num_anchor"),
       "<= 0.25x");
  Line("Cal_Sum_Val 1M x 3 money", Fig("sum"), "integer-scaled sum", Fig("sum_anchor"), "<= 3.00x");
  const char* proxy = "QSortFilterProxyModel::setFilterFixedString";
  Line("Filter 1M rows", Fig("filter"), proxy, Fig("filter_anchor"), "<= 0.50x");
  Line("Filter_Show_All 1M rows", Fig("show_all"), proxy, Fig("filter_anchor"), "<= 0.50x");
  Line("Search next 1M rows to the last", Fig("search"), "plain loop", Fig("search_anchor"));
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  return Run(argc, argv, Print);
}
