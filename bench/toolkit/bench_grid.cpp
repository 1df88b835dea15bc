// TStringGrid against QTableWidget with the same texts: fill time and peak memory, and the paint of one
// 1200 x 800 viewport scrolled to the middle.
//
// Usage: bench_grid MODE ROWS [google benchmark flags], or bench_grid machine (the machine line every
// benchmark program prints, for run_grid_bench.sh's table)
//   MODE fill_tk | fill_qt   fill ROWS x 10 cells (codes, Chinese names, amounts, dates ...)
//        paint_tk | paint_qt fill, scroll to the middle row, render the viewport repeatedly
// Each mode runs in a fresh process (run_grid_bench.sh does that), so the peak resident size measured
// around the fill belongs to that fill alone. Each prints one line
//   RESULT mode=... rows=... seconds=... peak_mb=... ok=1
// (seconds are process CPU seconds: the machine is shared, and both sides run on one thread)
// and checks its answer: the texts read back, the rendered viewport shows the middle rows.
#include "toolkit/tk_grid.h"

#include "bench/bench_summary.h"

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QTableWidget>
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kCols = 10;
constexpr int kViewW = 1200;
constexpr int kViewH = 800;

std::string g_mode;
int g_rows = 100000;
double g_seconds = 0;
double g_peakMb = 0;
bool g_ok = true;
std::string g_why;

// Process CPU time: the machine running the benchmarks is shared, and both sides run on one thread.
double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double peakRssMb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
}

// The text of one data cell: the same for both grids. Row r is a data row (1-based under the header).
QString cellText(int r, int c) {
    static const char16_t kFamily[] = u"王李张刘陈杨赵黄周吴徐孙胡朱高林何郭马罗";
    static const char16_t kGiven[] = u"伟芳娜敏静丽强磊军洋勇艳杰娟涛明超秀霞平";
    static const char16_t* const kDepts[] = {u"财务部", u"销售部", u"采购部", u"仓储部", u"人事部", u"信息部"};
    switch (c) {
    case 0: return QStringLiteral("A%1").arg(r, 7, 10, QLatin1Char('0'));
    case 1: {
        char16_t n[3] = {kFamily[r % 20], kGiven[(r / 20) % 20], kGiven[(r / 400) % 20]};
        return QString::fromUtf16(n, 3);
    }
    case 2: return QStringLiteral("D%1").arg(r % 6 + 1, 3, 10, QLatin1Char('0'));
    case 3: return QString::fromUtf16(kDepts[r % 6]);
    case 4: return QString::number((r * 7919LL) % 10000000 / 100.0, 'f', 2);
    case 5: return QString::number(r % 500 + 1);
    case 6: return QStringLiteral("2026-%1-%2").arg(r % 12 + 1, 2, 10, QLatin1Char('0')).arg(r % 28 + 1, 2, 10, QLatin1Char('0'));
    case 7: return QString::number((r * 104729LL) % 100000000 / 100.0, 'f', 2);
    case 8: return QString::fromUtf16(u"备注") + QString::number(r % 97);
    default: return r % 3 ? QString::fromUtf16(u"已审核") : QString::fromUtf16(u"未审核");
    }
}

void fail(const std::string& why) {
    g_ok = false;
    if (g_why.empty()) g_why = why;
}

// ---------------------------------------------------------------------------------------------- fill

void fillTk(TStringGrid& g, int rows) {
    g.SetColCount(kCols);
    g.SetRowCount(rows + 1);
    for (int r = 1; r <= rows; ++r)
        for (int c = 0; c < kCols; ++c) g.SetCells(c, r, cellText(r, c));
}

void fillQt(QTableWidget& t, int rows) {
    t.setColumnCount(kCols);
    t.setRowCount(rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < kCols; ++c) t.setItem(r, c, new QTableWidgetItem(cellText(r + 1, c)));
}

void checkTk(TStringGrid& g, int rows) {
    for (int r : {1, rows / 2, rows})
        for (int c = 0; c < kCols; ++c)
            if (g.Cells(c, r) != cellText(r, c)) fail("tk cell differs");
}

void checkQt(QTableWidget& t, int rows) {
    for (int r : {1, rows / 2, rows})
        for (int c = 0; c < kCols; ++c)
            if (!t.item(r - 1, c) || t.item(r - 1, c)->text() != cellText(r, c)) fail("qt cell differs");
}

void BM_Fill(benchmark::State& state) {
    const bool tk = g_mode == "fill_tk";
    for (auto _ : state) {
        double before = peakRssMb();
        double t0 = cpuSeconds();
        if (tk) {
            auto* g = new TStringGrid();
            fillTk(*g, g_rows);
            g_seconds = cpuSeconds() - t0;
            g_peakMb = peakRssMb() - before;
            state.PauseTiming();
            checkTk(*g, g_rows);
            delete g;
            state.ResumeTiming();
        } else {
            auto* t = new QTableWidget();
            fillQt(*t, g_rows);
            g_seconds = cpuSeconds() - t0;
            g_peakMb = peakRssMb() - before;
            state.PauseTiming();
            checkQt(*t, g_rows);
            delete t;
            state.ResumeTiming();
        }
    }
    state.counters["peak_mb"] = g_peakMb;
    if (!g_ok) state.SkipWithError(g_why.c_str());
}

// --------------------------------------------------------------------------------------------- paint

void BM_Paint(benchmark::State& state) {
    const bool tk = g_mode == "paint_tk";
    const int mid = g_rows / 2;
    QImage img(kViewW, kViewH, QImage::Format_RGB32);
    std::unique_ptr<QAbstractScrollArea> w;
    TStringGrid* g = nullptr;
    QTableWidget* t = nullptr;
    if (tk) {
        g = new TStringGrid();
        w.reset(g);
        fillTk(*g, g_rows);
        g->setFrameShape(QFrame::NoFrame);
        g->SetDefaultColWidth(110);
        g->resize(kViewW, kViewH);
        g->show();
        QApplication::processEvents();
        g->SetTopRow(mid);
    } else {
        t = new QTableWidget();
        w.reset(t);
        fillQt(*t, g_rows);
        t->setFrameShape(QFrame::NoFrame);
        t->horizontalHeader()->setDefaultSectionSize(110);
        t->verticalHeader()->setDefaultSectionSize(25);
        t->resize(kViewW, kViewH);
        t->show();
        QApplication::processEvents();
        t->scrollToItem(t->item(mid - 1, 0), QAbstractItemView::PositionAtTop);
        QApplication::processEvents();
    }
    // The whole 1200 x 800 control is rendered on both sides: cells, headers (fixed cells) and bars.
    QWidget* vp = w->viewport();
    long long n = 0;
    double t0 = cpuSeconds();
    for (auto _ : state) {
        w->render(&img);
        ++n;
    }
    g_seconds = (cpuSeconds() - t0) / double(n ? n : 1);
    // The right rows are on screen: the view starts at the middle row and its texts are drawn.
    if (tk) {
        if (g->TopRow() != mid) fail("tk did not scroll to the middle");
        QRect rc = g->CellRect(0, mid).toQRect().translated(vp->mapTo(w.get(), QPoint(0, 0)));
        int ink = 0;
        for (int y = rc.top(); y <= rc.bottom(); ++y)
            for (int x = rc.left(); x <= rc.right(); ++x) ink += qGray(img.pixel(x, y)) < 128;
        if (ink < 10) fail("tk middle row drew no text");
    } else {
        QModelIndex top = t->indexAt(QPoint(5, 5));
        if (top.row() != mid - 1) fail("qt did not scroll to the middle");
        QRect rc = t->visualRect(top).translated(vp->mapTo(w.get(), QPoint(0, 0)));
        int ink = 0;
        for (int y = rc.top(); y <= rc.bottom(); ++y)
            for (int x = rc.left(); x <= rc.right(); ++x) ink += qGray(img.pixel(x, y)) < 128;
        if (ink < 10) fail("qt middle row drew no text");
    }
    state.counters["view_w"] = vp->width();
    state.counters["view_h"] = vp->height();
    if (!g_ok) state.SkipWithError(g_why.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "machine") == 0) {
        std::printf("%s\n", zem_bench::Machine().c_str());
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s fill_tk|fill_qt|paint_tk|paint_qt ROWS [benchmark flags] | machine\n", argv[0]);
        return 2;
    }
    g_mode = argv[1];
    g_rows = std::atoi(argv[2]);
    if (g_rows < 10) {
        std::fprintf(stderr, "ROWS must be at least 10\n");
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qargc = 1;
    QApplication app(qargc, argv);

    if (g_mode == "fill_tk" || g_mode == "fill_qt") {
        benchmark::RegisterBenchmark(("fill/" + g_mode).c_str(), BM_Fill)->Iterations(1)->Unit(benchmark::kMillisecond);
    } else if (g_mode == "paint_tk" || g_mode == "paint_qt") {
        benchmark::RegisterBenchmark(("paint/" + g_mode).c_str(), BM_Paint)->Unit(benchmark::kMicrosecond);
    } else {
        std::fprintf(stderr, "unknown mode %s\n", g_mode.c_str());
        return 2;
    }
    int bargc = argc - 2;
    argv[2] = argv[0];
    benchmark::Initialize(&bargc, argv + 2);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("RESULT mode=%s rows=%d seconds=%.6f peak_mb=%.1f ok=%d%s%s\n", g_mode.c_str(), g_rows, g_seconds,
                g_peakMb, g_ok ? 1 : 0, g_ok ? "" : " why=", g_why.c_str());
    return g_ok ? 0 : 1;
}
