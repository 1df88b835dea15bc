// Tree dictionary builds, each figure beside an anchor measured in the same run:
//   Build_Tree over 100,000 rows beside the same build over 10,000 rows (target: at most 12x, so the
//   build grows as n log n, not rows x nodes), with an explicit parent column and by code prefix;
//   Build_Tree over 100,000 rows beside filling a QTreeWidget with the same nodes (target: at most 1x).
// The rows are a ten-way tree of two-digit code segments ("01", "0103", "010307", ...), in code order
// (as a dictionary loads "order by code") and shuffled with a fixed seed (rows in no order: the tree
// is then walked all over memory, and at 100,000 rows that memory no longer fits the caches, which
// the 10,000-row anchor does). Every build is checked: all rows are nodes, each under the node of its
// parent code, one level deeper. Each figure is the least of five runs (the machine is shared).
#include "bench/bench_summary.h"

#include <QApplication>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/data/sqlca.h"
#include "core/text/code_page.h"
#include "dict/tree_dict.h"

using namespace zem_bench;

namespace {

// The first n codes of the ten-way tree breadth first, in code order or shuffled: code, name, parent.
void Fill(TSQLCA* q, int n, bool shuffled) {
  std::vector<std::string> codes;
  codes.reserve(static_cast<size_t>(n));
  for (int i = 0; i < 10 && i < n; ++i) codes.push_back((i < 9 ? "0" : "") + std::to_string(i + 1));
  for (size_t p = 0; codes.size() < static_cast<size_t>(n); ++p)
    for (int i = 0; i < 10 && codes.size() < static_cast<size_t>(n); ++i)
      codes.push_back(codes[p] + (i < 9 ? "0" : "") + std::to_string(i + 1));
  std::sort(codes.begin(), codes.end());
  std::mt19937 rng(11);
  if (shuffled) std::shuffle(codes.begin(), codes.end(), rng);
  q->Set_Field_Count(3);
  q->Set_Field_Name(0, u"code");
  q->Set_Field_Name(1, u"name");
  q->Set_Field_Name(2, u"parent");
  for (const std::string& c : codes) {
    q->Add_Row();
    q->Set_Value(0, c.c_str());
    q->Set_Value(1, (u"节点" + Zem_Utf8_To_W(c)).c_str());
    q->Set_Value(2, c.substr(0, c.size() - 2).c_str());
  }
}

TSQLCA* Rows(int n, bool shuffled) {
  static std::map<std::pair<int, bool>, TSQLCA*> made;
  TSQLCA*& q = made[{n, shuffled}];
  if (!q) {
    q = new TSQLCA();
    Fill(q, n, shuffled);
  }
  return q;
}

// Every row a node, under the node of its parent code, one level deeper.
bool Check(const TTree_Dict& root, int n) {
  int nodes = 0;
  std::vector<const TTree_Dict*> todo{&root};
  while (!todo.empty()) {
    const TTree_Dict* t = todo.back();
    todo.pop_back();
    for (int i = 0; i < t->Child_Count(); ++i) {
      const TTree_Dict* c = t->Child(i);
      if (c->parent != t || c->level != static_cast<int>(c->code.size() / 2) ||
          c->code.compare(0, t->code.size(), t->code) != 0 || c->code.size() != t->code.size() + 2)
        return false;
      ++nodes;
      todo.push_back(c);
    }
  }
  return nodes == n;
}

void Build(benchmark::State& state, bool by_prefix) {
  const int n = static_cast<int>(state.range(0));
  TSQLCA* q = Rows(n, state.range(1) != 0);
  TTree_Dict root;
  bool right = true;
  for (auto _ : state) {
    state.PauseTiming();  // freeing the last tree is no part of the build, as for the widget
    root.children.clear();
    state.ResumeTiming();
    right = right && Build_Tree(q, 0, by_prefix ? 0 : 2, 1, &root) == 1;
  }
  if (!right || !Check(root, n)) state.SkipWithError("the tree is wrong");
}

void BM_Build_Tree_Parent_Col(benchmark::State& state) { Build(state, false); }
void BM_Build_Tree_Prefix(benchmark::State& state) { Build(state, true); }

void Add_Items(QTreeWidgetItem* item, const TTree_Dict* node) {
  for (int i = 0; i < node->Child_Count(); ++i) {
    const TTree_Dict* c = node->Child(i);
    auto* child = new QTreeWidgetItem(item, QStringList{QString::fromUtf16(c->caption.c_str())});
    Add_Items(child, c);
  }
}

void BM_QTreeWidget_Fill(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TTree_Dict root;
  Build_Tree(Rows(n, state.range(1) != 0), 0, 2, 1, &root);
  int items = 0;
  for (auto _ : state) {
    QTreeWidget tree;
    for (int i = 0; i < root.Child_Count(); ++i) {
      const TTree_Dict* c = root.Child(i);
      auto* top = new QTreeWidgetItem(QStringList{QString::fromUtf16(c->caption.c_str())});
      Add_Items(top, c);
      tree.addTopLevelItem(top);
    }
    state.PauseTiming();  // counting and freeing the items is no part of the fill
    items = 0;
    for (QTreeWidgetItemIterator it(&tree); *it; ++it) ++items;
    tree.clear();
    state.ResumeTiming();
  }
  if (items != n) state.SkipWithError("the widget holds other nodes");
}

// The machine is shared: each figure is the least of five runs, the one least disturbed.
double Least(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }
#define ZEM_TREE_BENCH(fn, ...)                                                                    \
  BENCHMARK(fn)->__VA_ARGS__->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true) \
      ->ComputeStatistics("least", Least)
// Arguments: rows, shuffled (0 code order, 1 no order).
ZEM_TREE_BENCH(BM_Build_Tree_Parent_Col, ArgsProduct({{10000, 100000}, {0, 1}}));
ZEM_TREE_BENCH(BM_Build_Tree_Prefix, ArgsProduct({{10000, 100000}, {0, 1}}));
ZEM_TREE_BENCH(BM_QTreeWidget_Fill, Args({100000, 0}));

// Each figure beside its anchor: 100,000 rows beside 10,000, in code order and shuffled, by parent column
// and by code prefix; then beside the widget's fill.
void Print(const Summary& s) {
  auto least = [&](const std::string& name) { return s.Cpu(name + "/repeats:5_least") * 1e3; };
  for (const char* order : {"0", "1"}) {
    for (const char* kind : {"Parent_Col", "Prefix"}) {
      const std::string bench = std::string("BM_Build_Tree_") + kind;
      const std::string what = std::string("Build_Tree 100,000 rows ") +
                               (order[0] == '0' ? "in code order" : "shuffled") +
                               (kind[1] == 'a' ? " by parent column" : " by code prefix");
      Line(what.c_str(), least(bench + "/100000/" + order), "10,000 rows", least(bench + "/10000/" + order), "<= 12x");
    }
  }
  Line("Build_Tree 100,000 rows in code order by parent column", least("BM_Build_Tree_Parent_Col/100000/0"),
       "QTreeWidget fill of the same nodes", least("BM_QTreeWidget_Fill/100000/0"), "<= 1x");
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  return Run(argc, argv, Print);
}
