// first_form: the payment form of docs/GUIDE.md ("A first form in Designer"). first_form.ui was saved by
// Designer; the program builds it at run time with the host module's ZemUiLoader, or (--uic) from the
// class that uic generated from the same file, fills it from a small SQLite database and shows it.
//
// Usage: first_form [--uic] [--screenshot FILE]
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "controls/combo/Combobox_ext.h"
#include "controls/grid/Mg.h"
#include "controls/inputs/Mdate.h"
#include "controls/inputs/Mstatusbar.h"
#include "core/data/db_connect.h"
#include "core/data/sqlca.h"
#include "dict/dict.h"
#include "frame/startup/zem_pack.h"
#include "frame/zem_units.h"
#include "host/zem_host.h"
#include "host/zem_ui_loader.h"
#include "ui_first_form.h"

namespace {

// The form built at run time from the .ui file, here a resource of the program.
QWidget* Load_Form() {
  QFile file(QStringLiteral(":/forms/first_form.ui"));
  if (!file.open(QIODevice::ReadOnly)) return nullptr;
  ZemUiLoader loader;  // makes the package's controls through its palette: no Designer plugin needed
  QWidget* form = loader.load(&file);
  if (!form) std::fprintf(stderr, "first_form: %s\n", qPrintable(loader.errorString()));
  return form;
}

// The same form from the class uic generated (ui_first_form.h), compiled into the program.
QWidget* Build_Form() {
  static Ui::PaymentForm ui;  // the pointers to the form's widgets
  auto* form = new QWidget;
  ui.setupUi(form);
  return form;
}

// The dictionary the department box names in its Dict_Id property.
bool Make_Database(const QString& file) {
  TDb_Config cfg;  // zem_drv_sqlite: text1 is the database file
  cfg.text[0] = file.toStdU16String();
  if (!Db_Connect_Mgr()->Add_Config(cfg)) return false;
  TSQLCA q;
  if (Dict_Create_Def_Tables(&q) != 0) return false;
  for (const char16_t* sql : {u"insert into app_dict_def(dict_id,code,name,order_id) values('dept','01','财务部',1)",
                              u"insert into app_dict_def(dict_id,code,name,order_id) values('dept','02','采购部',2)",
                              u"insert into app_dict_def(dict_id,code,name,order_id) values('dept','03','仓储部',3)"})
    if (q.Exec(sql) != 0) return false;
  return q.Commit() == 0;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("TARVOK_DLL_PATH", ZEM_DLL_DIR, 0);  // the registry and driver libraries
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  const int shotAt = args.indexOf(QStringLiteral("--screenshot"));
  Initialize();               // the package's units
  Init_Tfa();                 // the framework's managers
  Zem_Host_Register_Defaults();  // the host module's dialogs

  QTemporaryDir home;
  if (!home.isValid() || !Make_Database(QDir(home.path()).filePath(QStringLiteral("first_form.db")))) {
    std::fprintf(stderr, "first_form: cannot make the sample database\n");
    return 1;
  }
  const bool uic = args.contains(QStringLiteral("--uic"));
  std::unique_ptr<QWidget> form(uic ? Build_Form() : Load_Form());
  if (!form) return 1;

  // The controls by the object names they were given in Designer.
  auto* grid = form->findChild<TMG*>(QStringLiteral("payGrid"));
  auto* dept = form->findChild<TComboBox_Ext*>(QStringLiteral("deptBox"));
  auto* date = form->findChild<TMDate*>(QStringLiteral("payDate"));
  auto* bar = form->findChild<MStatusBar*>(QStringLiteral("statusBar"));
  if (!grid || !dept || !date || !bar) return 1;
  const char16_t* const rows[][4] = {{u"S001", u"钢材货款", u"125600.00", u"1"},
                                     {u"S004", u"一月运费", u"6850.00", u"0"}};
  for (int r = 0; r < 2; r++) {
    const int row = grid->FixedRows() + r;  // data rows follow the two header rows
    grid->SetW("sup_code", row, rows[r][0]);
    grid->SetW("summary", row, rows[r][1]);
    grid->SetW("amount", row, rows[r][2]);
    grid->SetW("paid", row, rows[r][3]);
  }
  date->Set_Date("20240131");
  form->show();  // the department box attaches its dictionary now (Loaded)
  dept->Set_Code("02");
  bar->SetPanelTexts({QStringLiteral("%1 %2").arg(QString::fromUtf16(u"部门"), dept->currentText())});

  std::printf("first_form: built %s\n", uic ? "by uic" : "at run time by ZemUiLoader");
  std::printf("payGrid: %d columns, %d header rows, amount of row 2: %s\n", grid->ColCount() - 1,
              grid->FixedRows(), grid->C("amount", 2));
  std::printf("deptBox: dictionary %s, %d entries, code %s\n", dept->Dict_Id().c_str(),
              dept->Items_List()->Get_Row_Count(), dept->Get_Code());
  int rc = 0;
  if (shotAt > 0 && shotAt + 1 < args.size()) {
    QApplication::processEvents();
    rc = form->grab().save(args[shotAt + 1], "PNG") ? 0 : 1;
  } else if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
    rc = app.exec();
  }
  form.reset();
  Finalize();
  return rc;
}
