#include "controls/inputs/date_calendar.h"

#include "core/data/para.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"

namespace {

Gui_Calendar_Get_Fn Calendar() {
  static Gui_Calendar_Get_Fn fn = nullptr;  // the host's function, once found
  if (!fn) fn = reinterpret_cast<Gui_Calendar_Get_Fn>(Get_Pub_Ptr(kGui_Calendar_Get));
  return fn;
}

}  // namespace

bool Zem_Calendar_Available() { return Calendar() != nullptr; }

int Zem_Calendar_Get(const TPoint& at, char* buffer) {
  Gui_Calendar_Get_Fn fn = Calendar();
  if (!fn || !buffer) return 0;
  Pub_Para_Put_Int(u"tmp.calendar_x", at.x);
  Pub_Para_Put_Int(u"tmp.calendar_y", at.y);
  return fn(buffer);
}
