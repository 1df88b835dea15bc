// data_app: the first data app of docs/GUIDE.md. Goods in a grid with a dictionary column and totals, a
// department box and a date box choosing the rows, Save writing back what the clerk changed.
// Usage: data_app [--check] [--pg CONNINFO]; --check pastes an amount, saves and prints the result.
#include <zem_pack/zem_pack.h>

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>

const char16_t* const kSample[] = {  // made anew; nothing else of the database is touched
    u"drop table if exists sample_goods", u"delete from app_dict_def where dict_id = 'sample_dept'",
    u"insert into app_dict_def(dict_id, code, name) values('sample_dept', '01', '财务部'), ('sample_dept', '02', "
    u"'采购部'), ('sample_dept', '03', '仓储部')",
    u"create table sample_goods(code varchar(10) primary key, name varchar(40), dept_code varchar(10), qty integer, "
    u"amount numeric(12,2), since date)",
    u"insert into sample_goods values('G01', '冷轧钢板', '02', 12, 67200, '2024-01-08'), ('G02', '电子元件', '02', 340, 4250, "
    u"'2024-03-15'), ('G03', '包装纸箱', '03', 1500, 1800, '2024-05-20'), ('G04', '办公用品', '01', 25, 2200, '2024-06-01')",
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  QTemporaryDir home;
  Zem_Start_Options options;
  options.library_dir = ZEM_DLL_DIR;
  options.database = args.contains("--pg") ? args.value(args.indexOf("--pg") + 1) : home.filePath("data_app.db");
  const Zem_Start_Result started = Zem_Pack_Start(options);
  TSQLCA q;
  bool made = started.ok && Dict_Create_Def_Tables(&q) == 0;  // where the database has none yet
  for (const char16_t* sql : kSample) made = made && q.Exec(sql) == 0;
  if (!made || q.Commit() != 0) {
    std::fprintf(stderr, "data_app: %s\n", qPrintable(started.failed.join("; ") + QString::fromUtf16(q.Get_Error_Msg())));
    return 1;
  }

  QWidget window;
  auto* dept = new TComboBox_Ext;
  dept->Set_Allow_Empty(1);  // the empty entry: every department
  dept->Attach_Dict("sample_dept", 0);
  auto* since = new TMDate;
  since->Set_Date(QDate(2024, 12, 31));
  auto* save = new QPushButton("保存");
  auto* grid = new TMG;
  auto* sum = new TMG;
  auto* layout = new QGridLayout(&window);
  layout->addWidget(dept, 0, 0);
  layout->addWidget(since, 0, 1);
  layout->addWidget(save, 0, 2);
  layout->addWidget(grid, 1, 0, 1, 3);
  layout->addWidget(sum, 2, 0, 1, 3);
  grid->SetColCount(7);  // the row numbers, then a column for each ADEF line
  grid->SetADEF({"代码,$code,readonly,|60", "名称,$name,|120", "部门,$dept_code,|100", "数量,$qty,int,+",
                 "金额,$amount,money,|110", "启用日期,$since,|90"});
  grid->SetColPickDict(3, "sample_dept");  // cells show "code name"; the value is the code
  grid->Set_Sum_Mg(sum);            // the line of totals below the grid
  grid->Set_Sum_Flag("amount", 1);
  TSQLCA area;  // the rows shown, tracked since they were read
  QString shownDept;  // the choices they were read with, put back when the clerk keeps unsaved changes
  QDate shownSince;
  bool restoring = false;
  auto load = [&] {
    if (restoring) return;
    if (area.Has_Changes() && QMessageBox::question(&window, "data_app", "放弃未保存的修改？") != QMessageBox::Yes) {
      restoring = true;
      dept->Set_Code(shownDept);
      since->Set_Date(shownSince);
      restoring = false;
      return;
    }
    shownDept = dept->code();
    shownSince = since->dateValue();
    area.Select(u"select * from sample_goods where (? = '' or dept_code = ?) and since <= ? order by code",
                {shownDept, shownDept, shownSince});
    area.Track_Changes(u"sample_goods", u"code");
    grid->Bind_Area(&area);  // what the clerk changes in the grid goes into the area
  };
  QObject::connect(dept, &QComboBox::currentIndexChanged, load);
  since->OnChange = [&](TObject*) { if (since->dateValue().isValid()) load(); };
  QObject::connect(save, &QPushButton::clicked, [&] {  // read again once saved; a failed save keeps the clerk's work
    if (area.Save_Changes() == 0) load();
    else QMessageBox::warning(&window, "data_app", QString::fromUtf16(area.Get_Error_Msg()));
  });
  load();
  window.resize(640, 360);
  window.show();
  if (!args.contains("--check")) return app.exec();
  grid->FocusCell(5, 2);  // G02's amount, as a clerk pastes 5100 there and saves
  grid->Paste_Text("5100");
  save->click();
  q.Select(u"select amount from sample_goods where code = ?", {u"G02"});
  std::printf("saved: G02 amount %s, total %s\n", qPrintable(QString::fromUtf16(q.Get_Row_Value(0, 0))),
              qPrintable(sum->value(5, 0)));
  return 0;
}
