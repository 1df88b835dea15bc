// The host's default combo-box functions.
#include "host/combo_host.h"

#include <string>

#include "controls/combo/Combobox_ext.h"
#include "core/data/para.h"
#include "frame/pub_ptr.h"
#include "toolkit/tk_types.h"

int Zem_Host_Inp_Dict_Key(TComboBox_Ext* box, int key) {
  if (!box || key != VK_DOWN || box->DroppedDown()) return 0;
  box->SetDroppedDown(true);
  return 1;
}

int Zem_Host_Board_Obj(const char* dict_id, const char* code) {
  if (!dict_id || !*dict_id || !code) return 0;
  const std::u16string name = u"board." + std::u16string(dict_id, dict_id + std::char_traits<char>::length(dict_id));
  return Pub_Para_Put_Str(name.c_str(), code);
}

int Zem_Host_Register_Combo() {
  Pdu_Inp_Dict_Key_Fn key = Zem_Host_Inp_Dict_Key;
  Board_Obj_Handle_Fn board = Zem_Host_Board_Obj;
  return Zem_Reg_Shared_Ptr(kPdu_Inp_Dict_Key, reinterpret_cast<void*>(key)) +
         Zem_Reg_Shared_Ptr(kBoard_Obj_Handle, reinterpret_cast<void*>(board));
}
