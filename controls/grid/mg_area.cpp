// TMG over a query area: the area's rows shown in the grid, and the grid's reported changes written back
// into them (Bind_Area in Mg.h), so that a tracked area saves what the clerk changed.
#include "controls/grid/Mg.h"

#include <algorithm>

#include "core/data/row_track.h"
#include "core/data/sqlca.h"

namespace {

const wchar16* Utf16(const QString& s) { return reinterpret_cast<const wchar16*>(s.utf16()); }

}  // namespace

int TMG::Bind_Area(TSQLCA* area) {
  area_ = area;
  areaRows_.clear();
  if (!area) return 0;
  const int first = FixedRows(), rows = area->Get_Row_Count(), fields = area->Get_Field_Count();
  ++filling_;
  BeginUpdate();
  SetRowCount(first + std::max(rows, 1));
  for (int r = first; r < RowCount(); ++r)
    for (int c = 1; c < ColCount(); ++c) SetCells(c, r, QString());
  areaRows_.assign(size_t(RowCount()), -1);
  for (int r = 0; r < rows; ++r) areaRows_[size_t(first + r)] = r;
  for (int f = 0; f < fields; ++f) {
    int col = 0;
    if (!GetColId(area->Get_Field_Name(f), &col) || col < 1) continue;
    const bool number = Is_Num_Type(Rec(col)->type);
    for (int r = 0; r < rows; ++r) {
      const wchar16* v = area->Get_Row_Value(r, f);
      SetW(col, first + r, v);
      if (number && v && *v) Std_Number_Cell(col, first + r);
    }
  }
  // Display columns show the names of the codes just written.
  for (int col = 1; col < ColCount(); ++col)
    if (Is_Dict_Col(col) && Rec(col)->edit_style != 3) Refresh_Dict_Names(Rec(col)->dict);
  EndUpdate();
  --filling_;
  if (showRowIdMode_) Show_Row_Id();
  Change_Check_Reset();
  // The clerk starts on a cell that takes typing, not on a read-only key.
  if (!Can_Move_To(Col(), Row()) || Row() >= first + std::max(rows, 1)) {
    const int c = First_Edit_Col();
    if (Can_Move_To(c, first)) FocusCell(c, first);
  }
  Sync_Sum();
  Invalidate();
  return rows;
}

int TMG::Area_Row(int row) const {
  if (!area_ || row < FixedRows() || row >= RowCount() || row >= int(areaRows_.size())) return -1;
  const int r = areaRows_[size_t(row)];
  return r < area_->Get_Row_Count() ? r : -1;
}

void TMG::Area_Row_Changed(int row) {
  if (!area_ || filling_ || row < FixedRows() || row >= RowCount()) return;
  if (int(areaRows_.size()) < RowCount()) areaRows_.resize(size_t(RowCount()), -1);
  int ar = Area_Row(row);
  if (ar < 0) {
    area_->Add_Row();
    ar = area_->Get_Row_Count() - 1;
    areaRows_[size_t(row)] = ar;
  }
  area_->Go_To_Row(ar);
  for (int f = 0; f < area_->Get_Field_Count(); ++f) {
    int col = 0;
    if (!GetColId(area_->Get_Field_Name(f), &col) || col < 1) continue;
    if (Is_Dict_Col(col) && Rec(col)->edit_style != 3) continue;  // names shown, not stored
    QString v = value(col, row);
    const char type = area_->Get_Field_Type(f);
    if (Is_Num_Type(type) || Is_Num_Type(Rec(col)->type)) v.remove(u',');
    if (!TRow_Track::Same(area_->Get_Value(f), true, Utf16(v), true, type)) area_->Set_Value(f, Utf16(v));
  }
  Sync_Sum();
}

void TMG::Area_Rows_Moved(const std::vector<int>& src, const std::vector<int>& dst) {
  if (!area_ || src.size() != dst.size()) return;
  std::vector<int> moved = areaRows_;
  int last = 0;
  for (int d : dst) last = std::max(last, d);
  if (int(moved.size()) <= last) moved.resize(size_t(last) + 1, -1);
  for (size_t k = 0; k < src.size(); ++k)
    moved[size_t(dst[k])] = src[k] < int(areaRows_.size()) ? areaRows_[size_t(src[k])] : -1;
  areaRows_.swap(moved);
}

void TMG::Area_Row_Inserted(int row) {
  if (!area_ || row > int(areaRows_.size())) return;
  areaRows_.insert(areaRows_.begin() + row, -1);
}

void TMG::Area_Row_Deleted(int row) {
  if (!area_ || row >= int(areaRows_.size())) return;
  const int ar = Area_Row(row);
  areaRows_.erase(areaRows_.begin() + row);
  if (ar < 0) return;
  area_->Go_To_Row(ar);
  area_->Del_Row();
  for (int& r : areaRows_)
    if (r > ar) --r;
}
