// TMG row check marks, named options and the per-column extended option bits.
#include "controls/grid/Mg.h"

#include "toolkit/tk_menu.h"
#include "util/lang_map.h"

#include <cstdio>
#include <cstring>

// ---- Row check marks -------------------------------------------------------------------------------

int TMG::Row_Bool_Bind(const char* col_name, TPopupMenu* menu) {
  std::snprintf(rowBoolCol_, sizeof rowBoolCol_, "%s", col_name ? col_name : "");
  if (menu) Row_Bool_Extend_Menu(menu);
  int id;
  if (GetColId(rowBoolCol_, &id)) SetColShowStyle(id, 2);
  return 1;
}

bool TMG::GetRow_Bool(int row) {
  if (row < FixedRows() || row >= RowCount() || !rowBoolCol_[0]) return false;
  int id;
  if (!GetColId(rowBoolCol_, &id)) return false;
  QStringView v = CellView(id, row);
  return !v.isEmpty() && v[0] == u'T';
}

void TMG::SetRow_Bool(int row, bool value) {
  if (row < FixedRows() || row >= RowCount()) return;
  bool can = true;
  if (value && OnCanRowBoolBeTrue) OnCanRowBoolBeTrue(this, row, can);
  if (!value && OnCanRowBoolBeFalse) OnCanRowBoolBeFalse(this, row, can);
  if (!can) return;
  int id;
  if (rowBoolCol_[0] && GetColId(rowBoolCol_, &id)) SetCells(id, row, value ? QStringLiteral("T") : QString());
  Redraw_Row(row);
}

int TMG::Row_Bool_All() {
  for (int r = 0; r < RowCount(); ++r) SetRow_Bool(r, r >= FixedRows());
  Sync_Sum();
  return 1;
}

int TMG::Row_Bool_Clear() {
  for (int r = 0; r < RowCount(); ++r) SetRow_Bool(r, false);
  Sync_Sum();
  return 1;
}

// The items act on this grid from a menu the host owns, which may outlive the grid: they reach the
// grid only while it exists, and the grid takes them out of the menu when it goes.
int TMG::Row_Bool_Extend_Menu(TPopupMenu* menu) {
  if (!menu) return 1;
  auto add = [this, menu](const char16_t* caption, void (TMG::*action)(TObject*)) {
    auto* item = new TMenuItem(menu);
    item->SetCaption(QString::fromUtf16(caption[0] == u'-' ? caption : Lang_Cap(map_wchar(u"grid"), caption)));
    if (action)
      item->OnClick = [grid = QPointer<TMG>(this), action](TObject* s) {
        if (grid) (grid.data()->*action)(s);
      };
    menu->Items()->Add(item);
    rowBoolItems_.emplace_back(item);
  };
  if (menu->Count() > 0) add(u"-", nullptr);
  add(u" 全部选中", &TMG::Popu_Menu_Select_AllClick);
  add(u" 全部不选", &TMG::Popu_Menu_Unselect_AllClick);
  add(u" 选择记录", &TMG::Popu_Menu_Select_ThisClick);
  add(u" 不选记录", &TMG::Popu_Menu_Unselect_ThisClick);
  Apply_Menu_Font(menu);
  return 1;
}

void TMG::Popu_Menu_Select_AllClick(TObject*) { Row_Bool_All(); }
void TMG::Popu_Menu_Unselect_AllClick(TObject*) { Row_Bool_Clear(); }

void TMG::Popu_Menu_Select_ThisClick(TObject*) {
  const TGridRect s = Selection();
  for (int r = s.Top; r <= s.Bottom; ++r) SetRow_Bool(r, true);
  Sync_Sum();
}

void TMG::Popu_Menu_Unselect_ThisClick(TObject*) {
  const TGridRect s = Selection();
  for (int r = s.Top; r <= s.Bottom; ++r) SetRow_Bool(r, false);
  Sync_Sum();
}

// ---- Options ---------------------------------------------------------------------------------------

namespace {

bool Begins(const std::string& line, const char* name) {
  return std::strncmp(line.c_str(), name, std::strlen(name)) == 0;
}

}  // namespace

int TMG::Opt_Add(const char* name, const char* value) {
  if (!name) return 1;
  Opt_Remove(name);
  options_.push_back(value ? std::string(name) + ": " + value : std::string(name));
  if (std::strstr(name, "auto_adjust_height")) Fit_To_Show();
  return 1;
}

int TMG::Opt_Remove(const char* name) {
  if (!name) return 1;
  for (auto it = options_.begin(); it != options_.end(); ++it)
    if (Begins(*it, name)) {
      options_.erase(it);
      break;
    }
  return 1;
}

int TMG::Opt_Exist(const char* name) {
  if (!name) return 0;
  for (const std::string& line : options_)
    if (Begins(line, name)) return 1;
  return 0;
}

int TMG::Opt_Get_Val(const char* name, char* dst) {
  if (!name || !dst) return 0;
  for (const std::string& line : options_) {
    if (!Begins(line, name)) continue;
    size_t i = std::strlen(name);
    while (i < line.size() && (line[i] == ' ' || line[i] == ':')) ++i;
    std::snprintf(dst, 200, "%s", line.c_str() + i);
    return 1;
  }
  return 0;
}

int TMG::Opt_Clear() {
  options_.clear();
  return 1;
}

// ---- Extended option bits --------------------------------------------------------------------------

int TMG::Get_Ext_Opt(int col) { return In_Range(col) ? Rec(col)->ext_opt : 0; }

int TMG::Get_Ext_Opt(const char* name) {
  int id;
  return GetColId(name, &id) ? Get_Ext_Opt(id) : 0;
}

int TMG::Add_Ext_Opt(int col, int bits) {
  if (!In_Range(col)) return 0;
  return Rec(col)->ext_opt |= bits;
}

int TMG::Add_Ext_Opt(const char* name, int bits) {
  int id;
  return GetColId(name, &id) ? Add_Ext_Opt(id, bits) : 0;
}

int TMG::Remove_Ext_Opt(int col, int bits) {
  if (!In_Range(col)) return 0;
  return Rec(col)->ext_opt &= ~bits;
}

int TMG::Remove_Ext_Opt(const char* name, int bits) {
  int id;
  return GetColId(name, &id) ? Remove_Ext_Opt(id, bits) : 0;
}
