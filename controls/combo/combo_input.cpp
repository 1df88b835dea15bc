// TComboBox_Ext: how the box reacts to the user. Enter resolves typed text, keys go first to the host's
// search list, a double click opens the host's choice dialog, leaving the box validates the text, and
// every accepted change is reported to the host.
#include <QLineEdit>
#include <QTimer>
#include <cstring>

#include "controls/combo/Combobox_ext.h"
#include "controls/combo/combo_util.h"
#include "core/data/sqlca.h"
#include "core/text/wfunc.h"
#include "frame/host_funcs.h"
#include "frame/singleton.h"
#include "toolkit/tk_system.h"

namespace {

// Host functions, each found once by name and kept for the process.
Pdu_Inp_Dict_Key_Fn g_inp_dict_key = nullptr;
Pdu_Code_Key_Search_Fn g_code_key_search = nullptr;
Pdu_Code_Select_Fn g_code_select = nullptr;
Pdu_Dbio_Select_Fn g_dbio_select = nullptr;
Pdu_Code_Multi_Select_Fn g_code_multi_select = nullptr;

// The dictionaries whose choices the host's board hears about.
bool Is_Board_Dict(const std::string& id) { return id == "emp" || id == "eba" || id == "res" || id == "sup"; }

// The enter and exit handlers of a box, taken off while the host or the focus moves around it and put
// back afterwards.
class Detach_Enter_Exit {
 public:
  explicit Detach_Enter_Exit(TComboBox_Ext* box) : box_(box), enter_(box->OnEnter), exit_(box->OnExit) {
    box->OnEnter = nullptr;
    box->OnExit = nullptr;
  }
  ~Detach_Enter_Exit() {
    box_->OnEnter = enter_;
    box_->OnExit = exit_;
  }

 private:
  TComboBox_Ext* box_;
  TNotifyEvent enter_, exit_;
};

}  // namespace

void TComboBox_Ext::Install_Handlers(bool search_keys) {
  // A change handler the host assigned before is kept and called by the control after each accepted
  // choice; typing only raises the changed flag.
  if (OnChange && !OnChange.target<Own_Change>()) saved_on_change_ = OnChange;
  OnChange = Own_Change{this};
  OnKeyPress = [this](TObject* s, char16_t& k) { Handle_On_Key_Press(s, k); };
  OnSelect = [this](TObject* s) { Handle_On_Select(s); };
  OnExit = [this](TObject* s) { Handle_On_Exit(s); };
  if (search_keys) {
    OnKeyDown = [this](TObject* s, WORD& k, TShiftState sh) { Handle_On_Key_Down(s, k, sh); };
    OnKeyUp = [this](TObject* s, WORD& k, TShiftState sh) { Handle_On_Key_Up(s, k, sh); };
  }
}

bool TComboBox_Ext::Offer_Key(int key) {
  Pdu_Inp_Dict_Key_Fn fn = Zem_Host_Func(kPdu_Inp_Dict_Key, g_inp_dict_key);
  if (!fn) return false;
  Detach_Enter_Exit detached(this);
  return fn(this, key) != 0;
}

void TComboBox_Ext::Take_Focus_Back() {
  Detach_Enter_Exit detached(this);
  SetFocus();
}

void TComboBox_Ext::Report_Change() {
  if (saved_on_change_) saved_on_change_(this);
  changed_ = 0;
  Check_Board_Obj();
}

void TComboBox_Ext::Accept_Code(const wchar16* code) {
  bool differs = true;
  if (multi_mode_) {
    differs = !(chosen_->Get_Row_Count() == 1 && std::u16string_view(chosen_->Get_Row_Value(0, 0)) == code);
  } else {
    differs = cur_code_ != Combo_Narrow(code);
  }
  if (differs) {
    Set_Code(map_char(code));
    if (saved_on_change_) saved_on_change_(this);
  }
  changed_ = 0;
  Check_Board_Obj();
}

// ---- handlers

void TComboBox_Ext::Handle_On_Change(TObject*) { changed_ = 1; }

void TComboBox_Ext::Handle_On_Key_Press(TObject*, char16_t& key) {
  if (Style() == csDropDownList) return;
  const bool enter = key == 13;
  // Typing into a multiple choice starts a new single choice (Ctrl keeps the choice). Enter on a choice
  // nobody typed into keeps it: it only confirms what is shown.
  if (multi_mode_ && !CtrlDown() && !(enter && !changed_)) chosen_->Clear_Data();
  if (!enter) return;
  key = 0;
  if (Offer_Key(13)) {
    Report_Change();
    Take_Focus_Back();
    return;
  }
  if (parentWidget()) Take_Focus_Back();
  const QString text = Text();
  if (text.isEmpty()) return;
  if (multi_mode_ && !changed_ && chosen_->Get_Row_Count() > 0) return;
  if (!cur_code_.empty()) {
    const int row = Find_Code(map_wchar(cur_code_.c_str()).c_str());
    if (row >= 0 && QString::fromUtf16(Item_Name(row)) == text) return;
  }
  const map_wchar typed(text);
  int row = Find_Code(typed.c_str());
  if (row < 0 && Try_To_Add_Dict_Code_To_List(typed.c_str())) row = Find_Code(typed.c_str());
  if (row >= 0) {
    Accept_Code(std::u16string(Item_Code(row)).c_str());
    return;
  }
  if (dict_id_.empty()) {
    row = Find_Name(typed.c_str());
    if (row >= 0) Accept_Code(std::u16string(Item_Code(row)).c_str());
    return;
  }
  // Anything looser than an exact code (prefixes, initials, parts of names) is the host search's.
  Pdu_Code_Key_Search_Fn search = Zem_Host_Func(kPdu_Code_Key_Search, g_code_key_search);
  if (!search) return;
  char code[kChoose_Buffer] = {0};
  const std::string id = dict_id_;
  if (!search(id.c_str(), typed.c_str(), code)) return;
  code[kChoose_Buffer - 1] = 0;
  if (On_Ext_Search_Ret) On_Ext_Search_Ret(this);
  const map_wchar found(code);
  if (Find_Code(found.c_str()) < 0) Reload_Dict();
  Accept_Code(found.c_str());
}

void TComboBox_Ext::Handle_On_Key_Down(TObject*, WORD& key, TShiftState) {
  if ((key == VK_UP || key == VK_DOWN) && Offer_Key(key)) key = 0;
}

void TComboBox_Ext::Handle_On_Key_Up(TObject*, WORD& key, TShiftState shift) {
  switch (key) {
    case VK_TAB:
    case VK_RETURN:
    case VK_SHIFT:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
    case VK_HOME:
    case VK_END: return;
    default: break;
  }
  if (shift.Contains(ssCtrl)) return;
  if (Offer_Key(key)) key = 0;
}

void TComboBox_Ext::Handle_On_Select(TObject*) {
  const int i = Row_Of_Item(ItemIndex());
  if (i < 0 || i >= Item_Count()) return;
  Set_Cur_Code(Item_Code(i));
  if (multi_mode_) {
    chosen_->Clear_Data();
    chosen_->Add_Row();
    chosen_->Set_Value(0, Item_Code(i));
    Multi_Show_Text();  // the hint still told the choice before the pick
  }
  if (saved_on_change_) {
    saved_on_change_(this);
    changed_ = 0;
  }
  Check_Board_Obj();
}

void TComboBox_Ext::Handle_On_Exit(TObject*) {
  if (!changed_) return;
  const bool valid = Check_Valid();
  // Typing into a multiple choice emptied it: a code typed and left behind becomes the choice, as
  // Enter would make it; a text that matches nothing leaves no choice, and the hint no longer shows
  // the old one.
  if (multi_mode_ && chosen_->Get_Row_Count() == 0) {
    if (valid && !cur_code_.empty()) {
      chosen_->Add_Row();
      chosen_->Set_Value(0, map_wchar(cur_code_.c_str()).c_str());
      Multi_Show_Text();
    } else {
      Show_Choice_Hint(QString());
    }
  }
  // Text that matches nothing leaves the code empty and is not reported as a choice.
  if (valid || Text().isEmpty()) {
    if (saved_on_change_) saved_on_change_(this);
  }
  changed_ = 0;
  Check_Board_Obj();
}

void TComboBox_Ext::Handle_On_DblClick(TObject*) {
  // The editor takes the double click after the dialog and would select the word under the mouse in
  // the new text: the selection goes once it has.
  if (Pop_Choose() && lineEdit()) QTimer::singleShot(0, lineEdit(), &QLineEdit::deselect);
}

void TComboBox_Ext::Handle_On_DropDown(TObject*) {
  Font()->Name = Combo_Q(List_Font_Name());
  FontChanged();
}

void TComboBox_Ext::Handle_On_CloseUp(TObject*) {
  Font()->Name = Combo_Q(Input_Font_Name());
  FontChanged();
}

void TComboBox_Ext::Handle_On_MouseEnter(TObject*) {
  TComboBox_Ext* previous = Hovered();
  if (previous && previous != this) Hide_Dropdown(previous);
  Set_Hovered(this);
  Show_Dropdown(this);
}

// The drop-down pair kept for hosts that call it; on this platform the list is the toolkit's own.
void TComboBox_Ext::Hide_Dropdown(TComboBox_Ext*) {}
void TComboBox_Ext::Show_Dropdown(TComboBox_Ext*) {}

// ---- choosing through the host

int TComboBox_Ext::Pop_Choose() { return multi_mode_ && chosen_ ? Pop_Choose_Multi() : Pop_Choose_Single(); }

int TComboBox_Ext::Pop_Choose_Single() {
  char code[kChoose_Buffer] = {0};
  Get_Max_Code(code, kChoose_Buffer - 1);
  int chosen = 0;
  if (dict_id_.empty()) {
    Pdu_Dbio_Select_Fn fn = Zem_Host_Func(kPdu_Dbio_Select, g_dbio_select);
    if (!fn) return 0;
    chosen = fn(items_.get(), code, 0);
  } else {
    Pdu_Code_Select_Fn fn = Zem_Host_Func(kPdu_Code_Select, g_code_select);
    if (!fn) return 0;
    const std::string id = dict_id_;
    chosen = fn(id.c_str(), code);
  }
  if (!chosen) return 0;
  code[kChoose_Buffer - 1] = 0;
  if (On_Ext_Search_Ret) On_Ext_Search_Ret(this);
  if (!Contain_Code(code)) Reload_Dict();
  Set_Code(code);
  if (saved_on_change_) {
    saved_on_change_(this);
  } else if (OnChange) {
    OnChange(this);
  }
  changed_ = 0;
  Check_Board_Obj();
  return 1;
}

int TComboBox_Ext::Pop_Choose_Multi() {
  if (!chosen_) return 0;
  Pdu_Code_Multi_Select_Fn fn = Zem_Host_Func(kPdu_Code_Multi_Select, g_code_multi_select);
  if (!fn) return 1;
  // A typed choice opens the dialog already ticked.
  if (chosen_->Get_Row_Count() == 0 && !Text().isEmpty() && Check_Valid() && !cur_code_.empty()) {
    chosen_->Add_Row();
    chosen_->Set_Value(0, map_wchar(cur_code_.c_str()).c_str());
  }
  const std::string id = dict_id_;
  if (!fn(id.c_str(), chosen_.get())) return 0;
  for (int r = 0; r < chosen_->Get_Row_Count(); ++r) {
    const wchar16* c = chosen_->Get_Row_Value(r, 0);
    if (!W_Is_Empty(c) && Find_Code(c) < 0) {
      Reload_Dict();
      break;
    }
  }
  Multi_Show_Text();
  if (saved_on_change_) saved_on_change_(this);
  changed_ = 0;
  Check_Board_Obj();
  return 1;
}

int TComboBox_Ext::Ensure_Set_Code(map_char code) {
  if (!dict_id_.empty() && !Contain_Code(code)) Reload_Dict();
  return Set_Code(code);
}

int TComboBox_Ext::Check_Board_Obj() {
  // Other dictionaries are left alone: reading the code validates typed text.
  if (!Is_Board_Dict(dict_id_)) return 0;
  const std::string code = Get_Code(static_cast<char*>(nullptr), 1);
  if (code.empty()) return 0;
  // Looked up on every use: the board may come and go with the host's windows.
  auto fn = reinterpret_cast<Board_Obj_Handle_Fn>(Get_Pub_Ptr(kBoard_Obj_Handle));
  if (fn) fn(dict_id_.c_str(), code.c_str());
  return 1;
}
