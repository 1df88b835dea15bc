// Fuzz target for the grid's definition lines: ADEF lines, BDEF header units and raw definition items
// from any bytes, on a grid of any column count, painted offscreen. Besides memory safety it checks that
// the grid stays usable afterwards: a cell written reads back, a well-formed line still defines its
// column, and the grid paints, sorts and totals.
//
// Input: byte 0 the column count (1..64), byte 1 how many of the lines are ADEF lines (the rest are BDEF
// lines), byte 2 how often the grid is painted in between (0..3); the rest is UTF-8 text split at line
// feeds. The last line is also handed to Add_Def as raw narrow bytes, which need not be valid text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <QApplication>
#include <QImage>
#include <QStringList>

#include "controls/grid/Mg.h"

// Qt keeps caches (fonts, glyphs) for the life of the process; they are no leak of the grid's.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

QApplication* App() {
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "fuzz_mg_defs";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return app;
}

void Require(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  App();
  const int cols = 1 + data[0] % 64;
  const int adefLines = data[1];
  const int paints = data[2] % 4;
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 3), qsizetype(size - 3));
  const QStringList lines = text.split(u'\n');
  QStringList adef, bdef;
  for (int i = 0; i < lines.size(); ++i) (i < adefLines ? adef : bdef) << lines[i];
  const std::string raw(reinterpret_cast<const char*>(data + 3), size - 3);
  const std::string last = raw.substr(raw.rfind('\n') == std::string::npos ? 0 : raw.rfind('\n') + 1);

  TMG g;
  g.resize(320, 200);
  g.SetColCount(cols);
  g.SetRowCount(6);
  g.SetADEF(adef);
  g.SetBDEF(bdef);
  g.Add_Def(cols - 1, last.c_str());
  for (int r = 1; r < 6; ++r)
    for (int c = 1; c < cols; ++c) g.SetCells(c, r, QString::number((r * 37 + c * 11) % 17 - 5) + QStringLiteral(".5"));
  for (int i = 0; i < paints; ++i) {
    g.SetLeftCol(1 + i);
    g.viewport()->grab();
  }
  g.Loaded();
  g.Fit_To_Show();

  // Still usable: a cell reads back, a proper line defines its column, the grid sorts and totals.
  g.SetCells(cols - 1, 2, QStringLiteral("probe"));
  Require(g.Cells(cols - 1, 2) == QStringLiteral("probe"));
  g.SetColCount(cols + 1);
  adef.clear();
  for (int c = 1; c < cols; ++c) adef << QStringLiteral("c%1").arg(c);
  adef << QStringLiteral("Amount,$amt,float,|80");
  g.SetADEF(adef);
  int id = -1;
  Require(g.GetColId("amt", &id) == 1 && id == cols && g.GetColDef(cols)->type == 'F' && g.ColWidths(cols) == 80);
  g.Sort_Col_Add(cols, 0);
  g.Sort();
  TMG sum;
  g.Set_Sum_Mg(&sum);
  g.Set_Sum_Flag("amt", 1);
  g.Sync_Sum();
  g.viewport()->grab();
  return 0;
}
