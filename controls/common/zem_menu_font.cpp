// The menu font hook every control's popup menus go through.
#include "controls/common/zem_common.h"
#include "frame/host_funcs.h"
#include "frame/singleton.h"

int Apply_Menu_Font(TPopupMenu* menu) {
  static Gui_Init_Menu_Font_Fn fn = nullptr;
  if (auto f = Zem_Host_Func(kGui_Init_Menu_Font, fn)) f(menu);
  return 1;
}
