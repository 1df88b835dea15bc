// The demo's grid tools: each entry looks its host function up by name and calls it on the voucher grid.
#include "demo/demo_grid_tools.h"

#include <QMainWindow>
#include <QMenu>
#include <cstdio>
#include <functional>

#include "controls/grid/Mg.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"
#include "host/grid_menu_host.h"

namespace {

template <typename Fn>
Fn Host(const char* name) {
  return reinterpret_cast<Fn>(Zem_Get_Shared_Ptr(name));
}

}  // namespace

void Demo_Add_Grid_Tools(QMainWindow* window, TMG* grid) {
  QMenu* tools = window ? window->findChild<QMenu*>(QStringLiteral("menuTools")) : nullptr;
  if (!tools || !grid) return;
  grid->Set_Dat_Id("vouchers", 1);
  Grid_Fmt_Desc* desc = Zem_Host_Grid_Fmt_Desc(grid);
  QMenu* menu = tools->addMenu(QString::fromUtf16(u"表格"));
  menu->setObjectName(QStringLiteral("menuGridTools"));
  auto add = [menu](const char16_t* caption, std::function<void()> call) {
    QObject::connect(menu->addAction(QString::fromUtf16(caption)), &QAction::triggered, menu, call);
  };
  add(u"保存内容到文件…", [grid] {
    if (auto f = Host<Gui_Save_Mg_Fn>(kGui_Save_Mg)) f(grid);
  });
  add(u"从数据文件引入…", [grid] {
    if (auto f = Host<Gui_Mg_Import_From_Dat_Fn>(kGui_Mg_Import_From_Dat)) f(grid);
  });
  add(u"根据内容调整各列合适宽度", [grid] {
    if (auto f = Host<Gui_Fit_Mg_Col_Size_Skip_0_Fn>(kGui_Fit_Mg_Col_Size_Skip_0)) f(grid);
  });
  add(u"全屏幕显示数据", [grid] {
    if (auto f = Host<Pdu_Grid_Show_Max_Fn>(kPdu_Grid_Show_Max)) f(grid);
  });
  add(u"显示方案…", [grid, desc] {
    std::snprintf(desc->cur_id, sizeof desc->cur_id, "%s", kZem_Grid_Scheme_Manage);
    if (auto f = Host<Pdu_Fmtgrid_F2g_Handle_Fn>(kPdu_Fmtgrid_F2g_Handle)) f(desc, grid, 0);
  });
  menu->addSeparator();
  add(u"设计短信模板…", [grid] {
    grid->setFocus();  // the designer offers the focused grid's columns
    if (auto f = Host<Tbx_Sms_Temp_Design_Fn>(kTbx_Sms_Temp_Design)) f("T01");
  });
  add(u"发送短信…", [grid] {
    if (auto f = Host<Tbx_Sms_Send_By_Temp_Fn>(kTbx_Sms_Send_By_Temp)) f(grid, "T01");
  });
  add(u"短信发送记录", [] {
    if (auto f = Host<Tbx_Sms_My_List_Fn>(kTbx_Sms_My_List)) f();
  });
}
