// Fuzz target for the grid's paste: any bytes as clipboard text into a grid with every column kind
// (text, notnull, pick list and dictionary columns over a SQLite dictionary, float with limits, int
// with the sign rule, check box, row check marks, date, read-only, hidden, a vetoed cell, a hidden row).
// Besides memory safety it checks that a paste is whole or nothing: a refused paste changes no cell and
// no row count and says why; an applied one changes exactly the cells it counts, and pasting the same
// text again at the same place changes none.
//
// Input: byte 0 picks the starting cell (column 1..10, row 1..3) and whether the text is UTF-8 (even)
// or raw UTF-16 (odd); the rest is the text.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <QApplication>
#include <QStringList>
#include <QTemporaryDir>

#include "controls/grid/Mg.h"
#include "core/data/db_connect.h"
#include "core/data/sqlca.h"
#include "dict/dict_mgr.h"

// Qt keeps caches (fonts, glyphs) for the life of the process; they are no leak of the grid's.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

void Require(bool ok) {
  if (!ok) std::abort();
}

// The application and a SQLite file holding the "dept" dictionary, made once per process.
void Setup() {
  static bool done = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string dir(path, n > 0 ? size_t(n) : 0);
    dir = dir.substr(0, dir.rfind('/') == std::string::npos ? 0 : dir.rfind('/'));
    setenv("TARVOK_DLL_PATH", dir.c_str(), 0);
    static int argc = 1;
    static char name[] = "fuzz_mg_paste";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    static QTemporaryDir home;
    TDb_Config cfg;
    cfg.driver = "zem_drv_sqlite";
    cfg.text[0] = home.filePath(QStringLiteral("dict.db")).toStdU16String();
    Require(home.isValid() && Db_Connect_Mgr()->Add_Config(cfg));
    TSQLCA q;
    Require(Dict_Create_Def_Tables(&q) == 0);
    for (const char16_t* sql : {u"insert into app_dict_def values('dept','01','总经理办公室',0,0,0,'',1)",
                                u"insert into app_dict_def values('dept','02','财务部',0,0,0,'',2)",
                                u"insert into app_dict_def values('dept','07','旧部门',0,'Y',0,'',3)",
                                u"insert into app_dict_def values('dept','08','分部',0,0,0,'',4)",
                                u"insert into app_dict_def values('dept','09','分部',0,0,0,'',5)", u"commit"})
      Require(q.Exec(sql) == 0);
    Require(Dict_Client_List()->Get_Dict("dept", 1) != nullptr);
    return true;
  }();
  (void)done;
}

// The cells from column `from` on, row by row.
QStringList Snapshot(TMG& g, int from) {
  QStringList cells;
  for (int r = 0; r < g.RowCount(); ++r)
    for (int c = from; c < g.ColCount(); ++c) cells << g.Cells(c, r);
  return cells;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  Setup();
  const QString text = data[0] % 2 == 0
                           ? QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1))
                           : QString::fromUtf16(reinterpret_cast<const char16_t*>(data + 1), qsizetype((size - 1) / 2));
  TMG g;
  g.SetColCount(14);
  g.SetRowCount(4);
  g.SetADEF({QStringLiteral("Code,notnull"), QStringLiteral("Dept"), QStringLiteral("Amount,float,min#-5,max#1000"),
             QStringLiteral("Qty,int,+"), QStringLiteral("Ok,bool"), QStringLiteral("Date"), QStringLiteral("Fixed,readonly"),
             QStringLiteral("Hidden,|0"), QStringLiteral("Name"), QStringLiteral("dept_id,|0"), QStringLiteral("Names"),
             QStringLiteral("dept_ids"), QStringLiteral("Mark")});
  g.SetColPickDict(2, "dept");
  g.GetColDef(6)->type = 'D';
  g.Set_Dict(9, "dept", "dept_id");
  g.Set_Dict(11, "dept", "dept_ids");
  g.Add_Ext_Opt(11, 8);
  g.Row_Bool_Bind("Mark", nullptr);
  g.SetRowHeights(2, 0);
  g.OnGetEditEnable = [](TObject*, int c, int r, bool& can) { can = !(c == 4 && r == 3); };
  for (int r = 1; r < 4; ++r)
    for (int c = 1; c < 14; ++c) g.SetCells(c, r, QStringLiteral("v%1").arg(c * r));
  int reports = 0;
  g.OnMGValChange = [&](TObject*, int, int, const QString&, const QString&) { ++reports; };
  g.FocusCell(1 + data[0] / 2 % 10, 1 + data[0] / 20 % 3);
  const int col = g.Col(), row = g.Row();

  const QStringList whole = Snapshot(g, 0);
  const QStringList before = Snapshot(g, 1);
  const int rowsBefore = g.RowCount();
  QString error;
  const int changed = g.Paste_Text(text, &error);
  if (changed < 0) {
    Require(!error.isEmpty() && g.RowCount() == rowsBefore && Snapshot(g, 0) == whole && reports == 0);
    return 0;
  }
  // Exactly the cells counted changed (cells of added rows were empty before), each reported once; the
  // row numbers of column 0 are no pasted cells.
  const QStringList after = Snapshot(g, 1);
  int differ = 0;
  for (int i = 0; i < after.size(); ++i) differ += (i < before.size() ? before[i] : QString()) != after[i];
  Require(differ == changed && reports == changed);
  // The same paste at the same place again finds every cell as it would leave it.
  g.FocusCell(col, row);
  Require(g.Col() == col && g.Row() == row && g.Paste_Text(text, &error) == 0 && Snapshot(g, 1) == after);
  return 0;
}
