// The demo host's start-up and its main window made whole.
#include "demo/demo_build.h"

#include <QDir>
#include <QApplication>
#include <QMainWindow>
#include <QPointer>
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
#include "frame/pub_ptr.h"
#include "frame/startup/zem_pack.h"
#include "frame/zem_units.h"
#include "host/zem_host.h"

namespace {

// The window whose status bar shows the lines about the database link; none before it is built.
QPointer<DemoWindow> g_status_window;

// The demo's "gui_status_text": the line goes to the window's message panel (the default would take the
// last panel, where the demo shows its versions). Any thread may call it.
int Demo_Status_Text(const char16_t* text, int /*kind*/) {
  if (!text || !qApp) return 0;
  const QString line = QString::fromUtf16(text);
  QMetaObject::invokeMethod(qApp, [line] {
    if (g_status_window) g_status_window->note(line);
  }, Qt::QueuedConnection);
  return 1;
}

}  // namespace

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
  // Replaced before anything calls it: a call site keeps the address it found first.
  Gui_Status_Text_Fn status = Demo_Status_Text;
  Zem_Reg_Shared_Ptr(kGui_Status_Text, reinterpret_cast<void*>(status));
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
  g_status_window = demo;
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
