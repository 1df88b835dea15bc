// MTreeView benchmarks, each beside its anchor of the same run:
//   attach:  a 100,000-node dictionary tree (10 x 100 x 99 department codes with Chinese names) put under
//            an MTreeView by TN_Attach_Tree_Dbio_Branch, against filling a QTreeWidget with one item per
//            node from the same tree dictionary (targets: time and heap at most 0.5x);
//   build:   the same from the dictionary's rows (TN_Attach_Tree_Dbio: the tree dictionary is built
//            first), against the same anchor and against a QTreeWidget filled from the same rows, each
//            item put under its parent found by code in a QHash (reported);
//   expand:  expanding a node with 10,000 children and painting the view, against QTreeWidget (reported);
//   loop:    TN_Code_Loop over a branch of 10,000 nodes, against building the same quoted list with
//            QString from the same codes (reported).
// Times are process CPU seconds. Heap figures are the bytes malloc holds after the fill minus before it (both
// trees are alive then). Each benchmark checks its answer (node count and texts, visible rows, the list
// text).
#include "bench/bench_summary.h"

#include <malloc.h>

#include <QApplication>
#include <QHash>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "controls/tree/Mtreeview.h"
#include "core/data/sqlca.h"
#include "dict/tree_dict.h"

using namespace zem_bench;

namespace {

// Process CPU time: the machine running the benchmarks is shared, and both sides run on one thread.
template <class F>
double Timed(F f) {
  return zem_bench::Timed(f, CLOCK_PROCESS_CPUTIME_ID);
}

double Heap() {
  const struct mallinfo2 m = mallinfo2();
  return double(m.uordblks + m.hblkhd);
}

// Four ideographs picked by the number, as department names are.
std::u16string Name(int i) {
  static const char16_t kChars[] = u"部门甲乙丙丁财务销售仓库";
  std::u16string s;
  for (int k = 0, v = i; k < 4; ++k, v /= 12) s += kChars[v % 12];
  return s;
}

std::string Code(int a, int b, int c) {
  char buf[16];
  if (b < 0)
    std::snprintf(buf, sizeof buf, "D%02d", a);
  else if (c < 0)
    std::snprintf(buf, sizeof buf, "D%02d%02d", a, b);
  else
    std::snprintf(buf, sizeof buf, "D%02d%02d%03d", a, b, c);
  return buf;
}

// The dictionary's rows: code, name, parent code; 10 + 1,000 + 99,000 = 100,010 entries.
TSQLCA* Rows() {
  static TSQLCA* q = [] {
    auto* d = new TSQLCA();
    d->Set_Field_Count(3);
    d->Set_Field_Name(0, u"code");
    d->Set_Field_Name(1, u"name");
    d->Set_Field_Name(2, u"parent");
    int i = 0;
    auto add = [&](const std::string& code, const std::string& parent) {
      d->Add_Row();
      d->Set_Value(0, map_wchar(code.c_str()));
      d->Set_Value(1, map_wchar(Name(i++).c_str()));
      d->Set_Value(2, map_wchar(parent.c_str()));
    };
    for (int a = 0; a < 10; ++a) {
      add(Code(a, -1, -1), "");
      for (int b = 0; b < 100; ++b) {
        add(Code(a, b, -1), Code(a, -1, -1));
        for (int c = 0; c < 99; ++c) add(Code(a, b, c), Code(a, b, -1));
      }
    }
    return d;
  }();
  return q;
}

// The same entries as a tree dictionary, made directly (its build is the dictionaries' own benchmark).
TTree_Dict* Tree() {
  static TTree_Dict* root = [] {
    auto* r = new TTree_Dict();
    TSQLCA* q = Rows();
    int row = 0;
    auto add = [&](TTree_Dict* parent) {
      auto n = std::make_unique<TTree_Dict>();
      tu2c narrow;
      n->code = (narrow = q->Get_Row_Value(row, 0));
      n->caption = q->Get_Row_Value(row, 1);
      n->row = row++;
      n->parent = parent;
      parent->children.push_back(std::move(n));
      return parent->children.back().get();
    };
    for (int a = 0; a < 10; ++a) {
      TTree_Dict* na = add(r);
      for (int b = 0; b < 100; ++b) {
        TTree_Dict* nb = add(na);
        for (int c = 0; c < 99; ++c) add(nb);
      }
    }
    return r;
  }();
  return root;
}

constexpr int kNodes = 100010;

void Fill_Widget(QTreeWidget* w, const TTree_Dict* branch, QTreeWidgetItem* parent) {
  for (const auto& c : branch->children) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem();
    item->setText(0, QString::fromUtf16(c->caption.data(), static_cast<qsizetype>(c->caption.size())));
    if (!parent) w->addTopLevelItem(item);
    Fill_Widget(w, c.get(), item);
  }
}

// The QTreeWidget way: one item per node, built under detached parents and added as whole branches.
void BM_Attach_QTreeWidget(benchmark::State& st) {
  Tree();
  double total = 0, heap = 0;
  for (auto _ : st) {
    auto* w = new QTreeWidget();
    w->setHeaderHidden(true);
    const double h0 = Heap();
    total += Timed([&] {
      QList<QTreeWidgetItem*> tops;
      for (const auto& c : Tree()->children) {
        auto* item = new QTreeWidgetItem();
        item->setText(0, QString::fromUtf16(c->caption.data(), static_cast<qsizetype>(c->caption.size())));
        Fill_Widget(w, c.get(), item);
        tops << item;
      }
      w->addTopLevelItems(tops);
    });
    heap = Heap() - h0;
    Check(w->topLevelItemCount() == 10 && w->topLevelItem(9)->child(99)->childCount() == 99,
          "QTreeWidget filled");
    delete w;
  }
  Keep("attach_anchor", total / double(st.iterations()));
  Keep("attach_anchor_heap", heap);
}

void Check_Tree(MTreeView& t, const char* what) {
  TTreeNode* last = t.Items()->Root(9);
  Check(t.Items()->Count() == kNodes && last && last->Item(99) && last->Item(99)->Count() == 99 &&
            std::string(t.TN_Code(last->Item(99)->Item(98))) == "D0999098" &&
            last->Item(99)->Item(98)->Text() == QString::fromStdU16String(Name(kNodes - 1)),
        what);
}

void BM_Attach_MTreeView(benchmark::State& st) {
  Tree();
  double total = 0, heap = 0;
  for (auto _ : st) {
    auto* t = new MTreeView();
    const double h0 = Heap();
    total += Timed([&] { t->TN_Attach_Tree_Dbio_Branch(nullptr, Tree(), 1); });
    heap = Heap() - h0;
    Check_Tree(*t, "MTreeView attached from the tree dictionary");
    delete t;
  }
  Keep("attach", total / double(st.iterations()));
  Keep("attach_heap", heap);
}

// The QTreeWidget way from the rows: parents come before their children, found by code.
void BM_Attach_QTreeWidget_From_Rows(benchmark::State& st) {
  TSQLCA* q = Rows();
  double total = 0;
  for (auto _ : st) {
    auto* w = new QTreeWidget();
    w->setHeaderHidden(true);
    total += Timed([&] {
      QHash<QString, QTreeWidgetItem*> by_code;
      QList<QTreeWidgetItem*> tops;
      for (int r = 0; r < q->Get_Row_Count(); ++r) {
        auto* item = new QTreeWidgetItem();
        item->setText(0, QString::fromUtf16(q->Get_Row_Value(r, 1)));
        by_code.insert(QString::fromUtf16(q->Get_Row_Value(r, 0)), item);
        if (QTreeWidgetItem* parent = by_code.value(QString::fromUtf16(q->Get_Row_Value(r, 2))))
          parent->addChild(item);
        else
          tops << item;
      }
      w->addTopLevelItems(tops);
    });
    Check(w->topLevelItemCount() == 10 && w->topLevelItem(9)->child(99)->childCount() == 99,
          "QTreeWidget filled from the rows");
    delete w;
  }
  Keep("build_anchor", total / double(st.iterations()));
}

void BM_Attach_MTreeView_From_Rows(benchmark::State& st) {
  Rows();
  double total = 0;
  for (auto _ : st) {
    auto* t = new MTreeView();
    total += Timed([&] { t->TN_Attach_Tree_Dbio(nullptr, Rows(), 1, 0, 1, 2); });
    Check_Tree(*t, "MTreeView attached from the dictionary's rows");
    delete t;
  }
  Keep("build", total / double(st.iterations()));
}

constexpr int kWide = 10000;

void BM_Expand_QTreeWidget(benchmark::State& st) {
  QTreeWidget w;
  w.setHeaderHidden(true);
  w.setUniformRowHeights(true);
  w.resize(400, 600);
  auto* top = new QTreeWidgetItem(QStringList(QStringLiteral("wide")));
  for (int i = 0; i < kWide; ++i) new QTreeWidgetItem(top, QStringList(QString::fromStdU16String(Name(i))));
  w.addTopLevelItem(top);
  w.show();
  QImage img(w.viewport()->size(), QImage::Format_RGB32);
  double total = 0;
  for (auto _ : st) {
    w.collapseItem(top);
    w.viewport()->render(&img);
    total += Timed([&] {
      w.expandItem(top);
      w.viewport()->render(&img);
    });
  }
  Check(w.itemAt(5, w.visualItemRect(top->child(3)).center().y()) == top->child(3), "QTreeWidget expanded");
  Keep("expand_anchor", total / double(st.iterations()));
}

void BM_Expand_MTreeView(benchmark::State& st) {
  MTreeView t;
  t.resize(400, 600);
  TTreeNode* top = t.TN_Add(nullptr, 1, "wide", u"wide");
  t.Items()->BeginUpdate();
  for (int i = 0; i < kWide; ++i) t.TN_Add(top, 1, "c", map_wchar(Name(i).c_str()));
  t.Items()->EndUpdate();
  t.show();
  QImage img(t.viewport()->size(), QImage::Format_RGB32);
  double total = 0;
  for (auto _ : st) {
    top->Collapse(false);
    t.viewport()->render(&img);
    total += Timed([&] {
      top->Expand(false);
      t.viewport()->render(&img);
    });
  }
  const TRect r = top->Item(3)->DisplayRect(true);
  Check(t.GetNodeAt(r.Left + 2, (r.Top + r.Bottom) / 2) == top->Item(3), "MTreeView expanded");
  Keep("expand", total / double(st.iterations()));
}

QString g_anchor_list;

void BM_Code_Loop_QString(benchmark::State& st) {
  QStringList codes;
  for (const auto& b : Tree()->Child(3)->children) {
    codes << QString::fromStdString(b->code);
    for (const auto& c : b->children) codes << QString::fromStdString(c->code);
  }
  codes.prepend(QString::fromStdString(Tree()->Child(3)->code));
  double total = 0;
  for (auto _ : st)
    total += Timed([&] {
      QString out;
      for (const QString& c : codes) {
        if (!out.isEmpty()) out += QLatin1Char(',');
        out += QLatin1Char('\'');
        out +=
            c.contains(QLatin1Char('\'')) ? QString(c).replace(QLatin1Char('\''), QStringLiteral("''")) : c;
        out += QLatin1Char('\'');
      }
      g_anchor_list = out;
    });
  Keep("loop_anchor", total / double(st.iterations()));
}

void BM_Code_Loop_MTreeView(benchmark::State& st) {
  MTreeView t;
  TTreeNode* top = t.TN_Add(nullptr, 1, Tree()->Child(3)->code.c_str(), u"branch");
  t.TN_Attach_Tree_Dbio_Branch(top, Tree()->Child(3), 1);
  std::string out;
  double total = 0;
  for (auto _ : st) total += Timed([&] { out = t.TN_Code_Loop(top, 1, 0); });
  Check(t.Items()->Count() == 10001 && QString::fromLatin1(out.c_str()) == g_anchor_list, "code list text");
  Keep("loop", total / double(st.iterations()));
}

}  // namespace

BENCHMARK(BM_Attach_QTreeWidget)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Attach_MTreeView)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Attach_QTreeWidget_From_Rows)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Attach_MTreeView_From_Rows)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Expand_QTreeWidget)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Expand_MTreeView)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Code_Loop_QString)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(BM_Code_Loop_MTreeView)->Unit(benchmark::kMillisecond)->MinTime(0.3);

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  return Run(argc, argv, [](const Summary&) {
    Line("Attach 100,010 nodes", Fig("attach"), "QTreeWidget fill", Fig("attach_anchor"), "<= 0.5x");
    Line("Attach heap", Fig("attach_heap", 1e-6), "QTreeWidget fill heap", Fig("attach_anchor_heap", 1e-6), "<= 0.5x",
         {"MB"});
    Line("Attach from the rows (tree build + attach)", Fig("build"), "QTreeWidget fill", Fig("attach_anchor"));
    Line("Attach from the rows", Fig("build"), "QTreeWidget filled from the rows by code", Fig("build_anchor"));
    Line("Expand 10,000 children and paint", Fig("expand"), "QTreeWidget", Fig("expand_anchor"), nullptr, {"ms", 2});
    Line("Code loop over 10,001 nodes", Fig("loop"), "the same list with QString", Fig("loop_anchor"), nullptr,
         {"ms", 3});
  });
}
