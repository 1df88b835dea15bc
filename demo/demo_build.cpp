// The demo host's start-up and its main window made whole.
#include "demo/demo_build.h"

#include <QDir>
#include <QMainWindow>
#include <QStandardPaths>

#include "controls/grid/Mg.h"
#include "core/data/para.h"
#include "demo/demo_dept_tree.h"
#include "demo/demo_grid_menu.h"
#include "demo/demo_grid_tools.h"
#include "demo/demo_inputs.h"
#include "demo/demo_voucher_entry.h"
#include "demo/demo_voucher_filter.h"
#include "demo/demo_window.h"
#include "frame/startup/zem_pack.h"
#include "frame/zem_units.h"
#include "host/zem_host.h"

QString Demo_Start_Host(const QString& option) {
  Initialize();
  Init_Tfa();
  QString home;
  wchar16 buffer[1024];
  if (!option.isEmpty())
    home = QDir(option).absolutePath();
  else if (Pub_Para_Get_WStr(u"app_home_path", buffer, 1024) && buffer[0])
    home = QString::fromUtf16(buffer);
  else
    home = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/zem_demo");
  Pub_Para_Put_WStr(u"app_home_path", reinterpret_cast<const wchar16*>(home.utf16()));
  Zem_Host_Register_Defaults();
  return home;
}

DemoParts Demo_Build(DemoDb* db, QString* error) {
  DemoParts parts;
  parts.window = std::make_unique<DemoWindow>(db);
  DemoWindow* demo = parts.window.get();
  if (!demo->window()) {
    *error = demo->error();
    return DemoParts();
  }
  Demo_Attach_Dept_Tree(demo->window(), db, [demo](const QString& where) { return demo->fillVouchers(where); });
  parts.inputs = Demo_Add_Inputs(demo->window(), db);
  if (!parts.inputs) {
    *error = QStringLiteral("the form inputs_form.ui does not load");
    return DemoParts();
  }
  new VoucherFilter(demo);
  parts.entry = new VoucherEntry(demo, parts.inputs, db);
  Demo_Add_Grid_Tools(demo->window(), demo->voucherGrid());
  Demo_Add_Grid_Menu(demo->voucherGrid());
  return parts;
}
