// zem_example: a window with a TMG whose columns come from ADEF lines, filled from a SQLite table
// through the package's query area and driver, and an MStatusBar saying what it shows.
//
// Usage: zem_example [--screenshot FILE] [--quit-after MS]
//   --screenshot FILE  writes a PNG of the window and exits (for a machine without a display)
//   --quit-after MS    closes the window after MS milliseconds
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>

#include "controls/grid/Mg.h"
#include "controls/inputs/Mstatusbar.h"
#include "core/data/db_connect.h"
#include "core/data/sqlca.h"
#include "frame/startup/zem_pack.h"
#include "frame/zem_units.h"

namespace {

const wchar16* W(const QString& s) { return reinterpret_cast<const wchar16*>(s.utf16()); }

// The sample table, made afresh in a SQLite file.
const char16_t* const kSql[] = {
    u"create table goods(code varchar(10) primary key, name varchar(40), qty int, price numeric(12,2), "
    u"ok int)",
    u"insert into goods values('G01','冷轧钢板',12,5600.00,1)",
    u"insert into goods values('G02','电子元件',340,12.50,1)",
    u"insert into goods values('G03','包装纸箱',1500,1.20,0)",
    u"insert into goods values('G04','办公用品',25,88.00,null)",
};

// The grid's columns: one ADEF line each, named after the table's fields.
const QStringList kAdef = {
    QString::fromUtf16(u"编码,$code,readonly,||60"), QString::fromUtf16(u"品名,$name,|140"),
    QString::fromUtf16(u"数量,$qty,int,size#8"), QString::fromUtf16(u"单价,$price,float,dec#2,size#12,money"),
    QString::fromUtf16(u"合格,$ok,bool,||40")};

int Fail(const char* what, const TSQLCA* q) {
  std::fprintf(stderr, "zem_example: %s%s%s\n", what, q ? ": " : "",
               q ? QString::fromUtf16(const_cast<TSQLCA*>(q)->Get_Error_Msg()).toUtf8().constData() : "");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // The package loads its registry and driver libraries from this folder.
  setenv("TARVOK_DLL_PATH", ZEM_DLL_DIR, 0);
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  const int shotAt = args.indexOf(QStringLiteral("--screenshot"));
  const int quitAt = args.indexOf(QStringLiteral("--quit-after"));
  const QString shot = shotAt > 0 && shotAt + 1 < args.size() ? args[shotAt + 1] : QString();

  Initialize();
  Init_Tfa();

  QTemporaryDir home;
  TDb_Config cfg;  // the SQLite driver, zem_drv_sqlite.so
  cfg.text[0] = QDir(home.path()).filePath(QStringLiteral("example.db")).toStdU16String();
  if (!home.isValid() || !Db_Connect_Mgr()->Add_Config(cfg)) return Fail("cannot load the SQLite driver", nullptr);
  TSQLCA q;
  for (const char16_t* sql : kSql)
    if (q.Exec(sql) != 0) return Fail("cannot create the sample table", &q);
  q.Commit();
  if (q.Exec(u"select * from goods order by code") != 0) return Fail("cannot read the sample table", &q);

  QWidget window;
  window.setWindowTitle(QStringLiteral("zem_example"));
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* grid = new TMG(&window);
  grid->SetColCount(kAdef.size() + 1);
  grid->SetADEF(kAdef);
  grid->SetRowCount(1 + q.Get_Row_Count());
  for (int f = 0; f < q.Get_Field_Count(); f++) {
    int col = 0;
    if (!grid->GetColId(q.Get_Field_Name(f), &col)) continue;
    for (int r = 0; r < q.Get_Row_Count(); r++) grid->SetW(col, 1 + r, q.Get_Row_Value(r, f));
  }
  int price = 0;
  if (grid->GetColId("price", &price))
    for (int r = 1; r < grid->RowCount(); r++) grid->Std_Number_Cell(price, r);
  grid->Show_Row_Id();
  layout->addWidget(grid);

  // The bar sits in the window's layout, so it does not dock itself.
  auto* bar = new MStatusBar(&window);
  bar->SetAlignBottom(false);
  bar->SetPanelTexts({QString::fromUtf16(u"商品 %1 行").arg(q.Get_Row_Count()),
                      QStringLiteral("zem_pack %1").arg(QString::fromLatin1(F_Dll_Ver()))});
  bar->SetPanelWidths(QStringLiteral("160"));
  bar->Set_Own_Draw();
  layout->addWidget(bar);
  window.resize(560, 260);
  window.show();

  int rc = 0;
  if (!shot.isEmpty()) {
    QApplication::processEvents();
    if (!window.grab().save(shot, "PNG")) return Fail("cannot write the screenshot", nullptr);
    std::printf("zem_example: %d rows shown, window written to %s\n", q.Get_Row_Count(), shot.toUtf8().constData());
  } else {
    if (quitAt > 0 && quitAt + 1 < args.size()) QTimer::singleShot(args[quitAt + 1].toInt(), &window, &QWidget::close);
    rc = app.exec();
  }
  Finalize();
  return rc;
}
