// TSQLCA: change tracking of the current area, and its save.
#include <string>

#include "core/data/row_track.h"
#include "core/data/save_changes.h"
#include "core/data/sqlca.h"

void TSQLCA::End_Tracking() {
  if (cur_ < 0) return;
  delete track_[cur_];
  track_[cur_] = nullptr;
}

int TSQLCA::CFree() {
  End_Tracking();
  return Data()->CFree();
}

TRow_Track* TSQLCA::Tracker() {
  Data();
  return track_[cur_];
}

int TSQLCA::Track_Changes(map_wchar table, map_wchar key_fields, map_wchar version_field, map_wchar columns) {
  DBDataMgr* d = Data();
  auto t = new TRow_Track();
  std::string why;
  if (!t->Start(d, table, key_fields, version_field, columns, &why)) {
    delete t;
    Set_Error(-1, map_wchar(("Track_Changes: " + why).c_str()));
    return 0;
  }
  delete track_[cur_];
  track_[cur_] = t;
  return 1;
}

int TSQLCA::Row_State(int row) {
  TRow_Track* t = Tracker();
  return t ? t->Row_State(Data(), row) : ROW_UNCHANGED;
}

namespace {

// The tracker's column of an area field, -1 when the field is no column.
int Column_Of(TRow_Track* t, DBDataMgr* d, int field) {
  if (field < 0 || field >= d->Get_Field_Count()) return -1;
  const std::u16string name = d->Get_Field_Name(field);
  for (size_t c = 0; c < t->Columns().size(); c++)
    if (t->Columns()[c] == name) return static_cast<int>(c);
  return -1;
}

}  // namespace

int TSQLCA::Field_Changed(int row, int field) {
  TRow_Track* t = Tracker();
  if (!t || row < 0 || row >= Get_Row_Count()) return 0;
  const int c = Column_Of(t, Data(), field);
  if (c < 0) return 0;
  return t->Column_Changed(Data(), row, c);
}

const wchar16* TSQLCA::Get_Orig_Value(int row, int field) {
  TRow_Track* t = Tracker();
  if (!t) return g_empty_w;
  const int c = Column_Of(t, Data(), field);
  const int o = row >= 0 && row < Get_Row_Count() ? t->Original_Of(Data(), row) : -1;
  if (c < 0 || o < 0) return g_empty_w;
  return t->Original().Get_Row_Value(o, c);
}

int TSQLCA::Has_Changes() {
  TRow_Track* t = Tracker();
  return t ? t->Has_Changes(Data()) : 0;
}

int TSQLCA::Deleted_Count() {
  TRow_Track* t = Tracker();
  return t ? static_cast<int>(t->Deleted(Data()).size()) : 0;
}

const wchar16* TSQLCA::Get_Deleted_Value(int i, map_wchar field) {
  TRow_Track* t = Tracker();
  if (!t) return g_empty_w;
  const std::vector<int> gone = t->Deleted(Data());
  if (i < 0 || i >= static_cast<int>(gone.size())) return g_empty_w;
  const int f = t->Original().Find_Field(field);
  return f < 0 ? g_empty_w : t->Original().Get_Row_Value(gone[static_cast<size_t>(i)], f);
}

int TSQLCA::Find_Key(const std::vector<std::u16string>& key) {
  TRow_Track* t = Tracker();
  if (!t || key.size() != t->Key_Columns().size()) return -1;
  DBDataMgr* d = Data();
  std::vector<int> fields;
  for (int c : t->Key_Columns()) fields.push_back(t->Field_Of(d, c));
  for (int r = 0; r < d->Get_Row_Count(); r++) {
    bool all = true;
    for (size_t k = 0; all && k < fields.size(); k++)
      all = fields[k] >= 0 && key[k] == d->Get_Row_Value(r, fields[k]);
    if (all) return r;
  }
  return -1;
}

int TSQLCA::Accept_Changes() {
  TRow_Track* t = Tracker();
  return t ? t->Accept(Data()) : 0;
}

int TSQLCA::Merge_Fresh(TSQLCA* fresh) {
  TRow_Track* t = Tracker();
  if (!t || !fresh) return -1;
  int n = 0;
  return t->Merge_Fresh(Data(), *fresh->Data(), &n) ? n : -1;
}

int TSQLCA::Save_Changes(const TSave_Options* options, TSave_Result* result) {
  return Sql_Save_Changes(this, options, result);
}
