// TMG popup menu of grid functions: the base menu with its items in their fixed order.
//
// The menu is built once, on first need, and owned by the grid. Items are found by name; their
// visibility is what the grid's state says at the time (the import item follows the import mode of
// Set_Dat_Id, the range-select switch is hidden until range selection is offered, the unsort and
// display-scheme items stay hidden until a sort memory or a scheme list exists).
#include "controls/grid/Mg.h"

#include "toolkit/tk_menu.h"
#include "util/lang_map.h"

#include "core/data/sqlca.h"

#include <cstdio>
#include <cstring>

namespace {

struct Menu_Item_Def {
  const char* name;
  const char16_t* caption;  // the leading blank is part of the caption; "-" is a separator
  bool visible;
};

// The base menu in order. The filter item is made only when the filter-click mode is on as the menu is
// built; the display schemes follow as 20 hidden items.
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

}  // namespace

int TMG::Init_Popup_Menu() {
  if (popupMenu_) return 1;
  popupMenu_ = new TPopupMenu(this);
  popupMenu_->SetName(QStringLiteral("mg_base_menu"));
  popupMenu_->SetAutoHotkeys(maManual);
  for (const Menu_Item_Def& def : kBaseItems) {
    if (!std::strcmp(def.name, "mg_filter") && !Filter_Click_Mode) continue;
    auto* item = new TMenuItem(popupMenu_);
    item->SetName(QString::fromLatin1(def.name));
    item->SetAutoHotkeys(maManual);
    const bool line = def.caption[0] == u'-' && def.caption[1] == 0;
    item->SetCaption(QString::fromUtf16(line ? def.caption : Lang_Cap(map_wchar(u"grid"), def.caption)));
    item->SetVisible(def.visible);
    popupMenu_->Items()->Add(item);
  }
  // Display schemes: captioned and shown when the menu pops up with a scheme list.
  for (int i = 0; i < kSchemeItems; ++i) {
    auto* item = new TMenuItem(popupMenu_);
    char name[32];
    std::snprintf(name, sizeof name, "mg_format_temp_%d", i);
    item->SetName(QString::fromLatin1(name));
    item->SetCaption(QString::fromUtf16(u" 显示方案"));
    item->SetVisible(false);
    popupMenu_->Items()->Add(item);
  }
  // The actions that are the grid's own work: fitting every row (header rows included), search, unsort,
  // filter and the number clean-ups.
  const struct {
    const char* name;
    void (TMG::*action)(TObject*);
  } actions[] = {
      {"mg_search", &TMG::Popu_Menu_SearchClick},
      {"mg_search_next", &TMG::Popu_Menu_Search_NextClick},
      {"mg_search_last", &TMG::Popu_Menu_Search_LastClick},
      {"mg_search_clear", &TMG::Popu_Menu_Search_ClearClick},
      {"mg_unsort", &TMG::Popu_Menu_UnsortClick},
      {"mg_show_max", &TMG::Popu_Menu_Show_Max_Click},
      {"mg_filter", &TMG::Popu_Menu_FilterClick},
      {"mg_hide_zero", &TMG::Popu_Menu_Hide_Zero_Click},
      {"mg_clear_dot_zero", &TMG::Popu_Menu_Clear_Dot_Zero_Click},
  };
  for (const auto& a : actions)
    if (TMenuItem* item = Base_Menu_Item(a.name)) item->OnClick = [this, f = a.action](TObject* s) { (this->*f)(s); };
  if (TMenuItem* fit = Base_Menu_Item("mg_fit_row_size"))
    fit->OnClick = [this](TObject*) { Fit_To_Show(0, RowCount() - 1); };
  popupMenu_->OnPopup = [this](TObject*) { Popu_Menu_OnPopup(); };
  if (TMenuItem* import = Base_Menu_Item("mg_import_from_dat")) import->SetVisible(datFlag_ != 0);
  Apply_Menu_Font(popupMenu_);
  return 1;
}

TMenuItem* TMG::Base_Menu_Item(const char* name) const {
  if (!popupMenu_ || !name) return nullptr;
  return popupMenu_->FindItem(QString::fromLatin1(name));
}

// Each time the menu opens: the unsort item shows while a sort can be undone (a sort memory whose rows
// all still exist).
void TMG::Popu_Menu_OnPopup() {
  if (TMenuItem* unsort = Base_Menu_Item("mg_unsort"))
    unsort->SetVisible(sortMemory_ && sortMemory_->Data()->Get_Row_Count() <= RowCount() - FixedRows());
}
