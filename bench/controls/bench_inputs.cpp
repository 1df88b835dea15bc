// Creating the date inputs, each beside its anchor of the same run:
//   TMDate (panel, three edits, three captions, three menus of 62 items) and MPickDate (picker and its
//   menu) against creating a QDateEdit, the plain Qt date field;
// Times are the creating thread's CPU time (the machine is shared).
//   growth: creating them while 5,000 of the same kind already exist against creating the first ones
//   (target: within 1.5x, i.e. the cost does not grow with what was created before).
// Each benchmark checks its answer (the value a new control reads back).
#include "bench/bench_summary.h"
#include "controls/inputs/Mdate.h"
#include "controls/inputs/Mpickdate.h"

#include <QApplication>
#include <QDateEdit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

using namespace zem_bench;

namespace {

constexpr int kBatch = 100;      // controls created per timed batch
constexpr int kExisting = 5000;  // controls alive before the "late" batches

bool Answer(QDateEdit* e) { return e->date() == QDate(2024, 6, 15); }
bool Answer(TMDate* d) {
  char out[16];
  d->Get_Date(out);
  return std::strcmp(out, "20080118") == 0;
}
bool Answer(MPickDate* p) {
  char out[16];
  p->Get_Date(out);
  return std::strcmp(out, "20240615") == 0;
}

template <class W>
W* Make(QWidget* parent);
template <>
QDateEdit* Make<QDateEdit>(QWidget* parent) {
  auto* e = new QDateEdit(parent);
  e->setDate(Today());
  return e;
}
template <>
TMDate* Make<TMDate>(QWidget* parent) { return new TMDate(parent); }
template <>
MPickDate* Make<MPickDate>(QWidget* parent) { return new MPickDate(parent); }

// Seconds per control for batches of kBatch, created after `existing` controls of the kind.
template <class W>
void Create(benchmark::State& st, int existing, const std::string& name) {
  QWidget keep;  // the controls created before the timed ones
  for (int i = 0; i < existing; i++) Make<W>(&keep);
  // What creation posts (polish and layout requests) is delivered between batches, as an event loop
  // would: an ever-growing queue would make every later creation pay for it.
  QCoreApplication::processEvents();
  double total = 0;
  long made = 0;
  bool right = true;
  for (auto _ : st) {
    auto parent = std::make_unique<QWidget>();
    const double t0 = Cpu_Seconds();
    W* last = nullptr;
    for (int i = 0; i < kBatch; i++) last = Make<W>(parent.get());
    total += Cpu_Seconds() - t0;
    made += kBatch;
    right = right && Answer(last);
    st.PauseTiming();
    parent.reset();
    QCoreApplication::processEvents();
    st.ResumeTiming();
  }
  Keep(name, total / double(made));
  Check(right, (name + " reads back its value").c_str());
}

void BM_Create_QDateEdit(benchmark::State& st) { Create<QDateEdit>(st, 0, "qdateedit"); }
void BM_Create_QDateEdit_After_5000(benchmark::State& st) { Create<QDateEdit>(st, kExisting, "qdateedit_late"); }
void BM_Create_TMDate(benchmark::State& st) { Create<TMDate>(st, 0, "tmdate"); }
void BM_Create_TMDate_After_5000(benchmark::State& st) { Create<TMDate>(st, kExisting, "tmdate_late"); }
void BM_Create_MPickDate(benchmark::State& st) { Create<MPickDate>(st, 0, "mpickdate"); }
void BM_Create_MPickDate_After_5000(benchmark::State& st) { Create<MPickDate>(st, kExisting, "mpickdate_late"); }

}  // namespace

BENCHMARK(BM_Create_QDateEdit)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(BM_Create_QDateEdit_After_5000)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(BM_Create_TMDate)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(BM_Create_TMDate_After_5000)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(BM_Create_MPickDate)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(BM_Create_MPickDate_After_5000)->Unit(benchmark::kMillisecond)->MinTime(0.3);

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  SetClock([] { return QDateTime(QDate(2024, 6, 15), QTime(9, 0)); });
  return Run(argc, argv, [](const Summary&) {
    const Form us{"us"};
    auto line = [&](const char* what, const char* key, const char* anchor_what, const char* anchor,
                    const char* target = nullptr) {
      Line(what, Fig(key, 1e6), anchor_what, Fig(anchor, 1e6), target, us);
    };
    line("TMDate create", "tmdate", "QDateEdit create", "qdateedit");
    line("MPickDate create", "mpickdate", "QDateEdit create", "qdateedit");
    line("QDateEdit create after 5,000", "qdateedit_late", "first QDateEdit", "qdateedit");
    line("TMDate create after 5,000", "tmdate_late", "first TMDate", "tmdate", "<= 1.5x");
    line("MPickDate create after 5,000", "mpickdate_late", "first MPickDate", "mpickdate", "<= 1.5x");
  });
}
