// TMG popup menu of grid functions: the base menu with its items in their fixed order, what each item
// does, and the grid's menu inside a host's menu.
//
// The menu is built once, on first need, and owned by the grid; items are never destroyed, only shown,
// hidden and re-captioned. Items are found by name ("mg_..."). Each time the menu opens it is brought in
// line with the grid (Popu_Menu_OnPopup): the export items follow Export_Allowed, unsort a sort that
// can still be undone, the range-select switch its mode, the display schemes the host's list. Actions
// that are the host's look their function up by name on every use until it is found.
#include "controls/grid/Mg.h"

#include "core/data/sqlca.h"
#include "dict/dict_mgr.h"
#include "frame/host_funcs.h"
#include "frame/singleton.h"
#include "toolkit/tk_menu.h"
#include "util/lang_map.h"

#include <QMenu>
#include <cstdio>
#include <cstring>

namespace {

struct Menu_Item_Def {
  const char* name;
  const char16_t* caption;  // the leading blank is part of the caption; "-" is a separator
  bool visible;
};

// The base menu in order. The filter item is made only when the filter-click mode is on as the menu is
// built; the display schemes follow as 20 hidden items, the SMS items (Bind_Sms_Temp) after them.
const Menu_Item_Def kBaseItems[] = {
    {"mg_copy_all", u" 复制全部表格内容", true},
    {"mg_save_to_file", u" 保存内容到文件", true},
    {"mg_copy_selected", u" 复制选中部分表格内容", true},
    {"mg_import_from_dat", u" 从数据文件引入", false},
    {"mg_line_1", u"-", true},
    {"mg_search", u" 表格内查找Ctrl+F", true},
    {"mg_search_next", u" 定位下一个Ctrl+K", true},
    {"mg_search_last", u" 定位上一个Ctrl+L", true},
    {"mg_search_clear", u" 清除查找", true},
    {"mg_line_2", u"-", true},
    {"mg_fit_col_size", u" 根据内容调整各列合适宽度", true},
    {"mg_fit_row_size", u" 根据内容调整各列合适高度", true},
    {"mg_unsort", u" 撤销上次排序", false},
    {"mg_show_max", u" 全屏幕显示数据", true},
    {"mg_filter", u" 过滤数据", true},
    {"mg_hide_zero", u" 清空数值为0的单元", true},
    {"mg_clear_dot_zero", u" 去掉小数点后尾部的0", true},
    {"mg_lock_fixed_col", u" 锁定列/解锁", true},
    {"mg_range_select", u" 进入选择模式", false},
};

const int kSchemeItems = 20;

// Each call site keeps the host function it found.
Gui_Save_Mg_Fn g_save_mg = nullptr;
Gui_Mg_Import_From_Dat_Fn g_import_from_dat = nullptr;
Gui_Fit_Mg_Col_Size_Skip_0_Fn g_fit_col_size = nullptr;
Pdu_Fmtgrid_Load_List_Fn g_fmt_load_list = nullptr;
Pdu_Fmtgrid_F2g_Handle_Fn g_fmt_f2g = nullptr;
Tbx_Sms_Send_By_Temp_Fn g_sms_send = nullptr;
Tbx_Sms_Temp_Design_Fn g_sms_design = nullptr;
Tbx_Sms_My_List_Fn g_sms_list = nullptr;

QString Grid_Cap(const char16_t* caption) { return QString::fromUtf16(Lang_Cap(map_wchar(u"grid"), caption)); }

TMenuItem* New_Item(QObject* owner, const char* name, const QString& caption, bool visible) {
  auto* item = new TMenuItem(owner);
  item->SetName(QString::fromLatin1(name));
  item->SetAutoHotkeys(maManual);
  item->SetCaption(caption);
  item->SetVisible(visible);
  return item;
}

// The position of an SMS entry in its submenu: the index of its template code.
int Index_In_Parent(TObject* sender) {
  auto* item = qobject_cast<TMenuItem*>(sender);
  return item && item->Parent() ? item->MenuIndex() : -1;
}

}  // namespace

int TMG::Init_Popup_Menu() {
  if (popupMenu_) return 1;
  popupMenu_ = new TPopupMenu(this);
  popupMenu_->SetName(QStringLiteral("mg_base_menu"));
  popupMenu_->SetAutoHotkeys(maManual);
  for (const Menu_Item_Def& def : kBaseItems) {
    if (!std::strcmp(def.name, "mg_filter") && !Filter_Click_Mode) continue;
    const bool line = def.caption[0] == u'-' && def.caption[1] == 0;
    popupMenu_->Items()->Add(
        New_Item(popupMenu_, def.name, line ? QStringLiteral("-") : Grid_Cap(def.caption), def.visible));
  }
  // Display schemes: captioned and shown when the menu pops up with a scheme list.
  for (int i = 0; i < kSchemeItems; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "mg_format_temp_%d", i);
    TMenuItem* item = New_Item(popupMenu_, name, QString::fromUtf16(u" 显示方案"), false);
    item->OnClick = [this](TObject* s) { Popu_Menu_Format_TempClick(s); };
    popupMenu_->Items()->Add(item);
  }
  const struct {
    const char* name;
    void (TMG::*action)(TObject*);
  } actions[] = {
      {"mg_copy_all", &TMG::Popu_Menu_Copy_To_MemClick},
      {"mg_save_to_file", &TMG::Popu_Menu_Save_To_FileClick},
      {"mg_copy_selected", &TMG::Popu_Menu_Copy_Selected_To_MemClick},
      {"mg_import_from_dat", &TMG::Popu_Menu_Import_From_DatClick},
      {"mg_search", &TMG::Popu_Menu_SearchClick},
      {"mg_search_next", &TMG::Popu_Menu_Search_NextClick},
      {"mg_search_last", &TMG::Popu_Menu_Search_LastClick},
      {"mg_search_clear", &TMG::Popu_Menu_Search_ClearClick},
      {"mg_fit_col_size", &TMG::Popu_Menu_Auto_Fit_Col_Size},
      {"mg_fit_row_size", &TMG::Popu_Menu_Auto_Fit_Row_Size},
      {"mg_unsort", &TMG::Popu_Menu_UnsortClick},
      {"mg_show_max", &TMG::Popu_Menu_Show_Max_Click},
      {"mg_filter", &TMG::Popu_Menu_FilterClick},
      {"mg_hide_zero", &TMG::Popu_Menu_Hide_Zero_Click},
      {"mg_clear_dot_zero", &TMG::Popu_Menu_Clear_Dot_Zero_Click},
      {"mg_lock_fixed_col", &TMG::Popu_Menu_Lock_Fixed_Col},
      {"mg_range_select", &TMG::Popu_Menu_Range_Select_Mode_Switch_Click},
  };
  for (const auto& a : actions)
    if (TMenuItem* item = Base_Menu_Item(a.name)) item->OnClick = [this, f = a.action](TObject* s) { (this->*f)(s); };
  popupMenu_->OnPopup = [this](TObject*) { Popu_Menu_OnPopup(); };
  if (TMenuItem* import = Base_Menu_Item("mg_import_from_dat")) import->SetVisible(datFlag_ != 0);
  Check_Range_Select_Mode_Switch_Menu();
  Apply_Menu_Font(popupMenu_);
  return 1;
}

TMenuItem* TMG::Base_Menu_Item(const char* name) const {
  if (!popupMenu_ || !name) return nullptr;
  return popupMenu_->FindItem(QString::fromLatin1(name));
}

void TMG::Popu_Menu_OnPopup() {
  for (const char* name : {"mg_copy_all", "mg_save_to_file", "mg_copy_selected", "mg_show_max"})
    if (TMenuItem* item = Base_Menu_Item(name)) item->SetVisible(Export_Allowed != 0);
  // Unsort shows while the last sort can be undone: a sort memory whose rows all still exist.
  if (TMenuItem* unsort = Base_Menu_Item("mg_unsort"))
    unsort->SetVisible(sortMemory_ && sortMemory_->Data()->Get_Row_Count() <= RowCount() - FixedRows());
  Check_Range_Select_Mode_Switch_Menu();

  schemeIds_.clear();
  char name[32];
  for (int i = 0; i < kSchemeItems; ++i) {
    std::snprintf(name, sizeof name, "mg_format_temp_%d", i);
    if (TMenuItem* item = Base_Menu_Item(name)) item->SetVisible(false);
  }
  if (!fmtDesc_) return;
  Pdu_Fmtgrid_Load_List_Fn list = Zem_Host_Func(kPdu_Fmtgrid_Load_List, g_fmt_load_list);
  if (!list) return;
  TSQLCA schemes;
  list(fmtDesc_->key, &schemes);
  const QString head = QString::fromUtf16(Lang_Cap(map_wchar(u"menu"), u" 显示方案")) + u'-';
  for (int i = 0; i < kSchemeItems && i < schemes.Get_Row_Count(); ++i) {
    std::snprintf(name, sizeof name, "mg_format_temp_%d", i);
    TMenuItem* item = Base_Menu_Item(name);
    if (!item) break;
    item->SetCaption(head + QString::fromUtf16(schemes.Get_Row_Value(i, 1)));
    schemeIds_.push_back(Narrow(QStringView(schemes.Get_Row_Value(i, 0))).substr(0, 100));
    item->SetVisible(true);
  }
}

// ---- The grid's menu inside the host's ---------------------------------------------------------------

namespace {

// Takes the grid functions a right press put into menu out of it again (back to the grid that owns them).
void Take_Grid_Functions_Out(TPopupMenu* menu) {
  if (menu && menu->Count() > 0 && menu->Items(0)->Name().contains(QLatin1String("grid_base_fun")))
    menu->Items()->Remove(menu->Items(0));
}

}  // namespace

int TMG::Set_PopupMenu(TPopupMenu* menu) {
  if (menu == PopupMenu()) return 1;
  Take_Grid_Functions_Out(PopupMenu());
  SetPopupMenu(menu);
  return 1;
}

// The submenu item shows the base menu's own QMenu, so the items stay the base menu's (and the corner
// cell can still open it alone) and its on-popup handling runs when the submenu opens.
void TMG::Extend_Host_Menu(TPopupMenu* host) {
  Take_Grid_Functions_Out(host);  // also what an earlier press put there before "hide_base_menu" came
  if (Opt_Exist("hide_base_menu")) return;
  Init_Popup_Menu();
  for (const char* name : {"mg_hide_zero", "mg_clear_dot_zero"})
    if (TMenuItem* item = Base_Menu_Item(name)) item->SetVisible(false);
  if (!hostSub_) {
    hostSub_ = new TMenuItem(this);
    hostSub_->action()->setMenu(popupMenu_->menu());
  }
  const bool blank = host->Count() > 0 && host->Items(0)->Caption().startsWith(u' ');
  hostSub_->SetCaption(Grid_Cap(blank ? u" 表格功能" : u"表格功能"));
  hostSub_->SetName(host->Name() + QStringLiteral("_grid_base_fun"));
  host->Items()->Insert(0, hostSub_);
  Apply_Menu_Font(host);
}

// ---- Actions ---------------------------------------------------------------------------------------

void TMG::Popu_Menu_Copy_To_MemClick(TObject*) { Copy_To_Mem(0, RowCount() - 1, 1, ColCount() - 1); }

void TMG::Popu_Menu_Copy_Selected_To_MemClick(TObject*) {
  const TGridRect s = Selection();
  Copy_To_Mem(s.Top, s.Bottom, s.Left, s.Right);
}

void TMG::Popu_Menu_Save_To_FileClick(TObject*) {
  if (Gui_Save_Mg_Fn f = Zem_Host_Func(kGui_Save_Mg, g_save_mg)) f(this);
}

void TMG::Popu_Menu_Import_From_DatClick(TObject*) {
  if (Gui_Mg_Import_From_Dat_Fn f = Zem_Host_Func(kGui_Mg_Import_From_Dat, g_import_from_dat)) f(this);
}

void TMG::Popu_Menu_Auto_Fit_Col_Size(TObject*) {
  if (Gui_Fit_Mg_Col_Size_Skip_0_Fn f = Zem_Host_Func(kGui_Fit_Mg_Col_Size_Skip_0, g_fit_col_size)) f(this);
}

void TMG::Popu_Menu_Auto_Fit_Row_Size(TObject*) { Fit_To_Show(0, RowCount() - 1); }

void TMG::Popu_Menu_Lock_Fixed_Col(TObject*) {
  if (savedFixedCols_ < 0 || savedFixedCols_ > ColCount()) savedFixedCols_ = FixedCols();
  const int c = Click_Col;
  const int before = FixedCols();
  if (c >= 0 && c < ColCount() - 1) {
    SetFixedCols(c + 1 != FixedCols() ? c + 1 : savedFixedCols_);
  } else if (savedFixedCols_ < ColCount()) {
    SetFixedCols(savedFixedCols_);
  } else {
    savedFixedCols_ = FixedCols();
  }
  if (FixedCols() < before) SetLeftCol(FixedCols());  // the columns let go stay in view
  Fit_Sum_Grid_Size();  // the totals stay under their columns
  Invalidate();
}

// ---- Range selection ---------------------------------------------------------------------------------

int TMG::Allow_Range_Select_Mode_Switch(int allow) {
  // Leaving the mode this way (the switch taken away, or set back to off) gives the grid its editing
  // back, as the switch does: else the grid would stay without an editor and without a way out.
  if (Range_Select_Mode == 1) SetOptions(rangeSavedOptions_);
  Range_Select_Mode = allow ? 0 : -1;
  Check_Range_Select_Mode_Switch_Menu();
  return 1;
}

int TMG::Check_Range_Select_Mode_Switch_Menu() {
  TMenuItem* item = Base_Menu_Item("mg_range_select");
  if (!item) return 1;
  item->SetVisible(Range_Select_Mode != -1);
  if (Range_Select_Mode != -1)
    item->SetCaption(Grid_Cap(Range_Select_Mode == 1 ? u" 退出选择模式" : u" 进入选择模式"));
  return 1;
}

void TMG::Popu_Menu_Range_Select_Mode_Switch_Click(TObject*) {
  const int was = Range_Select_Mode;
  Range_Select_Mode = was == 0 ? 1 : 0;
  if (Range_Select_Mode == 1) {
    SetEditorMode(false);
    rangeSavedOptions_ = Options();
    TGridOptions o = Options() | goRangeSelect;
    SetOptions(o >> goEditing >> goAlwaysShowEditor);
  } else if (was == 1) {
    SetOptions(rangeSavedOptions_);
  }
  Check_Range_Select_Mode_Switch_Menu();
}

// ---- Display schemes -------------------------------------------------------------------------------

int TMG::Set_Fmt_Desc(Grid_Fmt_Desc* desc) {
  fmtDesc_ = desc;
  return 1;
}

void TMG::Popu_Menu_Format_TempClick(TObject* Sender) {
  if (!fmtDesc_) return;
  char name[32];
  for (int i = 0; i < int(schemeIds_.size()); ++i) {
    std::snprintf(name, sizeof name, "mg_format_temp_%d", i);
    if (Sender != Base_Menu_Item(name)) continue;
    std::snprintf(fmtDesc_->cur_id, sizeof fmtDesc_->cur_id, "%s", schemeIds_[size_t(i)].c_str());
    if (Pdu_Fmtgrid_F2g_Handle_Fn f = Zem_Host_Func(kPdu_Fmtgrid_F2g_Handle, g_fmt_f2g)) f(fmtDesc_, this, 0);
    return;
  }
}

// ---- SMS templates ---------------------------------------------------------------------------------

int TMG::Bind_Sms_Temp(const char* temp_list) {
  smsTemps_.clear();
  const std::string list = temp_list ? temp_list : "";
  // Codes come from hosts' lists, often laid out with tabs or line breaks as well as blanks.
  auto blank = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\v' || ch == '\f'; };
  for (size_t at = 0; at <= list.size();) {
    size_t end = list.find(',', at);
    if (end == std::string::npos) end = list.size();
    size_t a = at, b = end;
    while (a < b && blank(list[a])) ++a;
    while (b > a && blank(list[b - 1])) --b;
    if (b > a) smsTemps_.push_back(list.substr(a, b - a));
    at = end + 1;
  }
  Init_Popup_Menu();
  TMenuItem* send = Base_Menu_Item("mg_sms_send");
  TMenuItem* design = Base_Menu_Item("mg_sms_design");
  if (!send) {
    TMenuItem* root = popupMenu_->Items();
    root->Add(New_Item(popupMenu_, "mg_sms_line", QStringLiteral("-"), false));
    root->Add(send = New_Item(popupMenu_, "mg_sms_send", Grid_Cap(u" 发送短信"), false));
    root->Add(design = New_Item(popupMenu_, "mg_sms_design", Grid_Cap(u" 设计短信模板"), false));
    TMenuItem* log = New_Item(popupMenu_, "mg_sms_list", Grid_Cap(u" 短信发送记录"), false);
    log->OnClick = [](TObject*) {
      if (Tbx_Sms_My_List_Fn f = Zem_Host_Func(kTbx_Sms_My_List, g_sms_list)) f();
    };
    root->Add(log);
  }
  send->Clear();
  design->Clear();
  TDict* names = smsTemps_.empty() ? nullptr : Dict_Client_List()->Get_Dict("tbx_sms_type", 1);
  for (const std::string& code : smsTemps_) {
    std::u16string name;
    if (names) names->Get_Name(map_wchar(code.c_str()), &name);
    const QString caption = name.empty() ? Wide(code.c_str()) : QString::fromStdU16String(name);
    TMenuItem* s = New_Item(popupMenu_, "mg_sms_send_temp", caption, true);
    s->OnClick = [this](TObject* o) { Popu_Menu_Sms_CreateClick(o); };
    send->Add(s);
    TMenuItem* d = New_Item(popupMenu_, "mg_sms_design_temp", caption, true);
    d->OnClick = [this](TObject* o) { Popu_Menu_Sms_DesignClick(o); };
    design->Add(d);
  }
  Apply_Menu_Font(popupMenu_);
  for (const char* name : {"mg_sms_line", "mg_sms_send", "mg_sms_design", "mg_sms_list"})
    Base_Menu_Item(name)->SetVisible(!smsTemps_.empty());
  return 1;
}

void TMG::Popu_Menu_Sms_CreateClick(TObject* Sender) {
  const int i = Index_In_Parent(Sender);
  if (i < 0 || i >= int(smsTemps_.size())) return;
  Tbx_Sms_Send_By_Temp_Fn f = Zem_Host_Func(kTbx_Sms_Send_By_Temp, g_sms_send);
  if (f) f(this, smsTemps_[size_t(i)].c_str());
}

void TMG::Popu_Menu_Sms_DesignClick(TObject* Sender) {
  const int i = Index_In_Parent(Sender);
  if (i < 0 || i >= int(smsTemps_.size())) return;
  if (Tbx_Sms_Temp_Design_Fn f = Zem_Host_Func(kTbx_Sms_Temp_Design, g_sms_design)) f(smsTemps_[size_t(i)].c_str());
}
