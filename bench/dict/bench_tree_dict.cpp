// Tree dictionary builds, each figure beside an anchor measured in the same run:
//   Build_Tree over 1,000,000 shuffled rows beside a std::unordered_map of the same codes, built and
//   then looked up once per row's parent (target: at most 2x): both outgrow the processor's caches
//   alike, so the ratio holds on a CPU with other cache sizes;
//   Build_Tree over 100,000 shuffled rows beside filling a QTreeWidget with the same nodes (target: at
//   most 0.5x);
//   Build_Tree over 100,000 rows in code order beside the same build over 10,000 rows (target: at most
//   12x, so the build grows as n log n, not rows x nodes).
// Each build runs with an explicit parent column and by code prefix. The rows are a ten-way tree of
// two-digit code segments ("01", "0103", "010307", ...), in code order (as a dictionary loads "order by
// code") or shuffled with a fixed seed (as a dictionary ordered by order_id reaches the build). Every
// build is checked: all rows are nodes, each under the node of its parent code, one level deeper.
#include "bench/bench_summary.h"

#include <QApplication>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
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

// The anchor of the large build: the rows' codes into a std::unordered_map (code to row, the table sized
// for them first), then each row's parent code looked up in it, reading the same query area.
void BM_Unordered_Map_Codes(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TSQLCA* q = Rows(n, state.range(1) != 0);
  size_t found = 0;
  for (auto _ : state) {
    std::unordered_map<std::u16string_view, int> codes;
    codes.reserve(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r) codes.emplace(q->Get_Row_Value(r, 0), r);
    found = 0;
    for (int r = 0; r < n; ++r) found += codes.count(q->Get_Row_Value(r, 2));
    state.PauseTiming();  // freeing the table is no part of the build, as for the tree
    codes = {};
    state.ResumeTiming();
  }
  if (found != static_cast<size_t>(n - 10)) state.SkipWithError("the table found other parents");
}

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

// Arguments: rows, shuffled (0 code order, 1 no order). A figure's anchor is registered beside it, so
// the two take turns in every round.
#define ZEM_TREE_BENCH(fn, ...) BENCHMARK(fn)->__VA_ARGS__->Unit(benchmark::kMillisecond)
ZEM_TREE_BENCH(BM_Unordered_Map_Codes, Args({1000000, 1}));
ZEM_TREE_BENCH(BM_Build_Tree_Parent_Col, Args({1000000, 1})->Args({100000, 1})->Args({10000, 0})->Args({100000, 0}));
ZEM_TREE_BENCH(BM_Build_Tree_Prefix, Args({1000000, 1})->Args({100000, 1})->Args({10000, 0})->Args({100000, 0}));
ZEM_TREE_BENCH(BM_QTreeWidget_Fill, Args({100000, 1}));

// Each figure beside its anchor: the large shuffled build beside the hash table, the shuffled build
// beside the widget's fill, and the growth from 10,000 to 100,000 rows in code order.
void Print(const Summary& s) {
  auto ms = [&](const std::string& name) { return s.Cpu(name) * 1e3; };
  for (const char* kind : {"Parent_Col", "Prefix"}) {
    const std::string bench = std::string("BM_Build_Tree_") + kind;
    const std::string by = kind[1] == 'a' ? " by parent column" : " by code prefix";
    Line(("Build_Tree 1,000,000 rows shuffled" + by).c_str(), ms(bench + "/1000000/1"),
         "std::unordered_map of the codes, one look-up per parent", ms("BM_Unordered_Map_Codes/1000000/1"), "<= 2x");
    Line(("Build_Tree 100,000 rows shuffled" + by).c_str(), ms(bench + "/100000/1"),
         "QTreeWidget fill of the same nodes", ms("BM_QTreeWidget_Fill/100000/1"), "<= 0.5x");
    Line(("Build_Tree 100,000 rows in code order" + by).c_str(), ms(bench + "/100000/0"), "10,000 rows",
         ms(bench + "/10000/0"), "<= 12x");
  }
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  return Run(argc, argv, Print);
}
