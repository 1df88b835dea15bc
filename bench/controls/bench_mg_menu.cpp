// TMG menu benchmark, beside its anchor of the same run:
//   copy: Copy_To_Mem of 100,000 rows x 10 columns (through the code page, onto the clipboard) against
//         building the same tab-separated text from a QTableWidget's items with QString appends
//         (target <= 0.5x).
// It checks its answer: the clipboard holds exactly the anchor's text.
#include "bench/bench_summary.h"
#include "controls/grid/Mg.h"

#include <QApplication>
#include <QClipboard>
#include <QTableWidget>
#include <cstdlib>

using namespace zem_bench;

namespace {

constexpr int kRows = 100000, kCols = 10;

// Codes, Chinese names, amounts and dates, as a voucher list holds them.
QString Cell(int r, int c) {
  switch (c % 4) {
    case 0: return QStringLiteral("V%1").arg(r, 7, 10, QLatin1Char('0'));
    case 1: return QString::fromUtf16(u"采购原材料第") + QString::number(r % 977) + QString::fromUtf16(u"批");
    case 2: return QString::number((r * 7919LL + c) % 10000000 / 100.0, 'f', 2);
    default: return QStringLiteral("2024%1%2").arg(r % 12 + 1, 2, 10, QLatin1Char('0')).arg(r % 28 + 1, 2, 10,
                                                                                             QLatin1Char('0'));
  }
}

QString g_anchor_text;

void BM_Copy_QTableWidget_Items(benchmark::State& st) {
  QTableWidget t(kRows, kCols);
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kCols; ++c) t.setItem(r, c, new QTableWidgetItem(Cell(r, c)));
  double total = 0;
  for (auto _ : st) {
    QString s;
    total += Timed([&] {
      for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kCols; ++c) {
          s += t.item(r, c)->text();
          if (c < kCols - 1) s += QLatin1Char('\t');
        }
        if (r < kRows - 1) s += QLatin1String("\r\n");
      }
    });
    g_anchor_text = s;
  }
  Keep("copy_anchor", total / double(st.iterations()));
}

void BM_Copy_To_Mem(benchmark::State& st) {
  TMG g;
  g.SetColCount(kCols + 1);
  g.SetRowCount(kRows + 1);
  g.SetFixedRows(1);
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kCols; ++c) g.SetCells(c + 1, r + 1, Cell(r, c));
  g.Copy_To_Mem(1, 1, 1, 1);  // the code-page table is built once per process, outside the figure
  double total = 0;
  for (auto _ : st) total += Timed([&] { g.Copy_To_Mem(1, kRows, 1, kCols); });
  Keep("copy", total / double(st.iterations()));
  Check(!g_anchor_text.isEmpty() && QGuiApplication::clipboard()->text() == g_anchor_text,
        "the clipboard holds the rows and columns as tab-separated text");
}

}  // namespace

BENCHMARK(BM_Copy_QTableWidget_Items)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_Copy_To_Mem)->Unit(benchmark::kMillisecond)->MinTime(0.5);

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  return Run(argc, argv, [](const Summary&) {
    Line("Copy_To_Mem 100k x 10", Fig("copy"), "QTableWidget items with QString appends", Fig("copy_anchor"),
         "<= 0.50x");
  });
}
