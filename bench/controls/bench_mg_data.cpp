// TMG data benchmarks (part of bench_mg), each beside its anchor of the same run:
//   sort:   Sort() of 100,000 rows x 10 columns on one text key against QTableWidget::sortItems on the
//           same texts, and on one numeric key against sortItems over items holding doubles (<= 0.25x);
//   sum:    Cal_Sum_Val over 1,000,000 rows x 3 money columns against a bare exact integer-scaled sum of
//           the same texts (<= 3x);
//   filter: Filter of 1,000,000 rows on one column against QSortFilterProxyModel::setFilterFixedString
//           over a model of the same rows (<= 0.5x), and Filter_Show_All after it against the same anchor;
//   search: Search_Str_To_Next over 1,000,000 rows to a hit in the last row, beside a plain loop that
//           compares the same texts.
// Each checks its answer: the sorted order, the totals, the rows shown, the hit.
#include "bench/bench_summary.h"
#include "controls/grid/Mg.h"
#include "core/data/dec_num.h"
#include "core/data/sqlca.h"

#include <QAbstractListModel>
#include <QSortFilterProxyModel>
#include <QTableWidget>
#include <memory>
#include <random>

using namespace zem_bench;

namespace {

constexpr int kSortRows = 100000, kSortCols = 10, kBigRows = 1000000;
long long g_cents[3] = {};  // the anchor's totals, checked by Cal_Sum_Val
int g_shown = -1;           // rows the filter anchor accepted

QString Random_Text(std::mt19937& rng) {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  QString s(8, QChar(u'x'));
  for (QChar& c : s) c = QChar(kChars[rng() % 62]);
  return s;
}

QString Random_Amount(std::mt19937& rng) {
  const long long cents = (long long)(rng() % 100000000) - 20000000;
  return QString::number(double(cents) / 100.0, 'f', 2);
}

// The same texts for the grid and its anchor: column 1 text keys, column 2 amounts, the rest filler.
std::vector<std::vector<QString>> Sort_Data() {
  std::mt19937 rng(17);
  std::vector<std::vector<QString>> d(kSortRows, std::vector<QString>(kSortCols));
  for (auto& row : d)
    for (int c = 0; c < kSortCols; ++c) row[size_t(c)] = c == 1 ? Random_Amount(rng) : Random_Text(rng);
  return d;
}

void Sort_TMG(benchmark::State& st, int key, const char* figure) {
  static const auto data = Sort_Data();
  TMG g;
  g.SetColCount(kSortCols + 1);
  g.SetRowCount(kSortRows + 1);
  QStringList adef;
  for (int c = 0; c < kSortCols; ++c) adef << (c == 1 ? QStringLiteral("Amt,float") : QStringLiteral("T%1").arg(c));
  g.SetADEF(adef);
  for (int r = 0; r < kSortRows; ++r)
    for (int c = 0; c < kSortCols; ++c) g.SetCells(c + 1, r + 1, data[size_t(r)][size_t(c)]);
  g.Sort_Col_Add(key + 1, 0);
  double total = 0;
  for (auto _ : st) {
    total += Timed([&] { g.Sort(); });
    st.PauseTiming();
    bool ordered = true;
    for (int r = 2; r <= kSortRows && ordered; ++r) {
      if (key == 1) ordered = Dec_Cmp(g.GetV(key + 1, r - 1), g.GetV(key + 1, r)) <= 0;
      else ordered = g.CellView(key + 1, r - 1).compare(g.CellView(key + 1, r)) <= 0;
    }
    Check(ordered, figure);
    g.Unsort();
    g.Sort_Col_Add(key + 1, 0);
    st.ResumeTiming();
  }
  Keep(figure, total / double(st.iterations()));
}

void Sort_Table(benchmark::State& st, int key, bool doubles, const char* figure) {
  static const auto data = Sort_Data();
  QTableWidget t(kSortRows, kSortCols);
  for (int r = 0; r < kSortRows; ++r)
    for (int c = 0; c < kSortCols; ++c) {
      auto* item = new QTableWidgetItem;
      if (doubles && c == key) item->setData(Qt::DisplayRole, data[size_t(r)][size_t(c)].toDouble());
      else item->setText(data[size_t(r)][size_t(c)]);
      t.setItem(r, c, item);
    }
  double total = 0;
  for (auto _ : st) {
    st.PauseTiming();
    t.sortItems(key == 0 ? 2 : 0);  // another column's order first, so every sort starts unsorted
    st.ResumeTiming();
    total += Timed([&] { t.sortItems(key); });
  }
  Keep(figure, total / double(st.iterations()));
  Check(doubles ? t.item(0, key)->data(Qt::DisplayRole).toDouble() <= t.item(1, key)->data(Qt::DisplayRole).toDouble()
                : t.item(0, key)->text() <= t.item(1, key)->text(),
        figure);
}

void BM_Sort_Text(benchmark::State& st) { Sort_TMG(st, 0, "sort_text"); }
void BM_Sort_Text_Anchor(benchmark::State& st) { Sort_Table(st, 0, false, "sort_text_anchor"); }
void BM_Sort_Number(benchmark::State& st) { Sort_TMG(st, 1, "sort_num"); }
void BM_Sort_Number_Anchor(benchmark::State& st) { Sort_Table(st, 1, true, "sort_num_anchor"); }

// ---- Totals --------------------------------------------------------------------------------------------

struct Money {
  std::vector<QString> cells[3];
  Money() {
    std::mt19937 rng(23);
    for (auto& col : cells) {
      col.reserve(kBigRows);
      for (int r = 0; r < kBigRows; ++r) col.push_back(Random_Amount(rng));
    }
  }
};
const Money& Money_Data() {
  static const Money m;
  return m;
}

// The bare anchor: each text read as an integer number of cents and added.
long long Cents(QStringView v) {
  long long m = 0;
  bool neg = false;
  for (QChar ch : v) {
    if (ch == u'-') neg = true;
    else if (ch != u'.') m = m * 10 + (ch.unicode() - u'0');
  }
  return neg ? -m : m;
}

void BM_Sum_Anchor(benchmark::State& st) {
  const Money& m = Money_Data();
  long long sums[3] = {};
  double total = 0;
  for (auto _ : st) {
    total += Timed([&] {
      for (int c = 0; c < 3; ++c) {
        long long s = 0;
        for (const QString& v : m.cells[c]) s += Cents(v);
        sums[c] = s;
      }
    });
    benchmark::DoNotOptimize(sums);
  }
  Keep("sum_anchor", total / double(st.iterations()));
  for (int c = 0; c < 3; ++c) g_cents[c] = sums[c];
}

void BM_Cal_Sum_Val(benchmark::State& st) {
  const Money& m = Money_Data();
  TMG data, sum;
  data.SetColCount(4);
  data.SetRowCount(kBigRows + 1);
  data.SetADEF({QStringLiteral("A,money"), QStringLiteral("B,money"), QStringLiteral("C,money")});
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < kBigRows; ++r) data.SetCells(c + 1, r + 1, m.cells[c][size_t(r)]);
  data.Set_Sum_Mg(&sum);
  data.Set_All_Num_Sum_Flag();
  double total = 0;
  for (auto _ : st) total += Timed([&] { data.Cal_Sum_Val(); });
  Keep("sum", total / double(st.iterations()));
  for (int c = 0; c < 3; ++c) {
    const long long v = g_cents[c];
    char want[40];
    std::snprintf(want, sizeof want, "%s%lld.%02lld", v < 0 ? "-" : "", (v < 0 ? -v : v) / 100, (v < 0 ? -v : v) % 100);
    Check(sum.Cells(c + 1, 0) == QString::fromLatin1(want), "Cal_Sum_Val totals");
  }
}

// ---- Filter ---------------------------------------------------------------------------------------------

QString Category(int r) { return QStringLiteral("cat%1").arg(r * 7919 % 10, 2, 10, QChar(u'0')); }

class Rows_Model : public QAbstractListModel {
 public:
  std::vector<QString> rows;
  int rowCount(const QModelIndex& p) const override { return p.isValid() ? 0 : int(rows.size()); }
  QVariant data(const QModelIndex& i, int role) const override {
    return role == Qt::DisplayRole ? QVariant(rows[size_t(i.row())]) : QVariant();
  }
};

// A fresh proxy per round: the filter and the view's first question for its rows are timed together,
// since the proxy builds its row mapping on that question. Clearing the filter of a million rows is
// left out: the proxy takes minutes for it.
void BM_Filter_Anchor(benchmark::State& st) {
  Rows_Model model;
  for (int r = 0; r < kBigRows; ++r) model.rows.push_back(Category(r));
  double filter = 0;
  int shown = 0;
  for (auto _ : st) {
    st.PauseTiming();
    auto proxy = std::make_unique<QSortFilterProxyModel>();
    proxy->setSourceModel(&model);
    st.ResumeTiming();
    filter += Timed([&] {
      proxy->setFilterFixedString(QStringLiteral("cat03"));
      shown = proxy->rowCount();
    });
  }
  Keep("filter_anchor", filter / double(st.iterations()));
  g_shown = shown;
}

void BM_Filter(benchmark::State& st) {
  TMG g;
  g.SetColCount(3);
  g.SetRowCount(kBigRows + 1);
  for (int r = 0; r < kBigRows; ++r) g.SetCells(1, r + 1, Category(r));
  double filter = 0, all = 0;
  int shown = 0;
  for (auto _ : st) {
    filter += Timed([&] { g.Filter(1, u"cat03"); });
    shown = 0;
    for (int r = 1; r <= kBigRows; ++r) shown += g.RowHeights(r) > 0;
    all += Timed([&] { g.Filter_Show_All(); });
  }
  Keep("filter", filter / double(st.iterations()));
  Keep("show_all", all / double(st.iterations()));
  Check(shown == g_shown && shown > 0, "Filter shows the rows the proxy accepts");
  Check(g.Get_Have_Data_Row_Num() == kBigRows, "Filter_Show_All shows every row");
}

// ---- Search ---------------------------------------------------------------------------------------------

void Search_Fill(TMG& g) {
  g.SetColCount(4);
  g.SetRowCount(kBigRows + 1);
  for (int r = 1; r <= kBigRows; ++r)
    for (int c = 1; c < 4; ++c) g.SetCells(c, r, QStringLiteral("row %1 col %2").arg(r).arg(c));
  g.SetCells(2, kBigRows, QStringLiteral("the needle"));
}

void BM_Search(benchmark::State& st) {
  TMG g;
  Search_Fill(g);
  std::u16string needle = u"needle";
  std::copy(needle.begin(), needle.end(), g.Search_Text);
  double total = 0;
  for (auto _ : st) {
    g.Search_Hit_Col = 0;
    g.Search_Hit_Row = 1;
    total += Timed([&] { g.Search_Str_To_Next(); });
  }
  Keep("search", total / double(st.iterations()));
  Check(g.Search_Hit_Row == kBigRows && g.Search_Hit_Col == 2, "search hit in the last row");
}

void BM_Search_Anchor(benchmark::State& st) {
  TMG g;
  Search_Fill(g);
  const QString needle = QStringLiteral("needle");
  int hit = -1;
  double total = 0;
  for (auto _ : st)
    total += Timed([&] {
      hit = -1;
      for (int r = 1; r <= kBigRows && hit < 0; ++r)
        for (int c = 1; c < 4; ++c)
          if (g.CellView(c, r).contains(needle)) {
            hit = r;
            break;
          }
    });
  Keep("search_anchor", total / double(st.iterations()));
  Check(hit == kBigRows, "plain loop finds the last row");
}

}  // namespace

BENCHMARK(BM_Sort_Text_Anchor)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Sort_Text)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Sort_Number_Anchor)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Sort_Number)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Sum_Anchor)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Cal_Sum_Val)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Filter_Anchor)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Filter)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Search_Anchor)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Search)->Unit(benchmark::kMillisecond)->Iterations(3);
