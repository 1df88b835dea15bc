// threads: the threading rules of docs/GUIDE.md. Widgets live on the GUI thread alone; worker threads
// read the database through the pooled sessions (each worker holds one until it gives it back) and use the
// shared dictionaries under their locks; a worker hands its result to the GUI thread, which writes it into
// a grid.
//
// Usage: threads
#include <QApplication>
#include <QDir>
#include <QMetaObject>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "controls/grid/Mg.h"
#include "core/data/db_connect.h"
#include "core/data/sqlca.h"
#include "dict/dict.h"
#include "dict/dict_mgr.h"
#include "frame/startup/zem_pack.h"
#include "frame/zem_units.h"

namespace {

constexpr int kWorkers = 4;

bool Make_Database(const QString& file) {
  TDb_Config cfg;
  cfg.text[0] = file.toStdU16String();
  cfg.count = kWorkers;  // one session for each worker; the GUI thread gives its own back below
  TSQLCA q;
  if (!Db_Connect_Mgr()->Add_Config(cfg) || Dict_Create_Def_Tables(&q) != 0) return false;
  for (const char16_t* sql : {u"create table stock(dept varchar(10), qty int)",
                              u"insert into stock values('01',10)", u"insert into stock values('01',5)",
                              u"insert into stock values('02',7)", u"insert into stock values('03',1)",
                              u"insert into app_dict_def(dict_id,code,name) values('dept','01','财务部')",
                              u"insert into app_dict_def(dict_id,code,name) values('dept','02','采购部')",
                              u"insert into app_dict_def(dict_id,code,name) values('dept','03','仓储部')"})
    if (q.Exec(sql) != 0) return false;
  return q.Commit() == 0;
}

// One worker: its department's stock through its own session, the name through the shared dictionary.
// The grid is the GUI thread's: the row goes there as a queued call.
void Worker(TMG* grid, int row, const char16_t* dept) {
  TSQLCA q;  // binds the pooled session this thread holds (or takes a free one)
  std::u16string sql = u"select sum(qty) from stock where dept='";
  sql += dept;
  sql += u"'";
  QString qty = QStringLiteral("?");
  if (q.Exec(sql.c_str()) == 0 && q.Get_Row_Count() > 0) qty = QString::fromUtf16(q.Get_Row_Value(0, 0));
  std::u16string name;
  if (TDict* d = Dict_Client_List()->Get_Dict("dept", 1)) d->Get_Name(dept, &name);  // locks inside
  Db_Connect_Mgr()->Release_Thread();  // the session goes back to the pool for other threads
  const QString code = QString::fromUtf16(dept), text = QString::fromStdU16String(name);
  QMetaObject::invokeMethod(grid, [=] {
    grid->SetCells(1, row, code);
    grid->SetCells(2, row, text);
    grid->SetCells(3, row, qty);
  }, Qt::QueuedConnection);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("TARVOK_DLL_PATH", ZEM_DLL_DIR, 0);
  QApplication app(argc, argv);
  Initialize();  // on the GUI thread, before any worker starts
  Init_Tfa();
  QTemporaryDir home;
  if (!home.isValid() || !Make_Database(QDir(home.path()).filePath(QStringLiteral("app.db")))) return 1;
  Db_Connect_Mgr()->Release_Thread();

  TMG grid;
  grid.SetColCount(4);
  grid.SetRowCount(1 + kWorkers);
  grid.SetADEF({QString::fromUtf16(u"部门,$dept,readonly"), QString::fromUtf16(u"名称,$name,readonly"),
                QString::fromUtf16(u"数量,$qty,int")});

  const char16_t* const depts[kWorkers] = {u"01", u"02", u"03", u"04"};
  std::vector<std::thread> workers;
  for (int i = 0; i < kWorkers; i++) workers.emplace_back(Worker, &grid, grid.FixedRows() + i, depts[i]);
  for (std::thread& t : workers) t.join();
  QApplication::processEvents();  // the queued rows land in the grid here, on the GUI thread

  std::printf("%d workers done\n", kWorkers);
  for (int r = grid.FixedRows(); r < grid.RowCount(); r++)
    std::printf("  %s %s %s\n", grid.Cells(1, r).toUtf8().constData(), grid.Cells(2, r).toUtf8().constData(),
                grid.Cells(3, r).toUtf8().constData());
  Finalize();
  return 0;
}
