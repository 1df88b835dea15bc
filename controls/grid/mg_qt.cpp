// TMG's Qt forms: QString in and out, beside the narrow and UTF-16 forms the rest of the grid keeps.
#include "controls/grid/Mg.h"

#include <string>

#include "core/text/map_str.h"

namespace {

const char16_t* Utf16(const QString& s) { return reinterpret_cast<const char16_t*>(s.utf16()); }

}  // namespace

QString TMG::value(int col, int row) {
  if (!In_Range(col) || row < 0 || row >= RowCount()) return QString();
  return QString::fromUtf16(GetW(col, row));
}

QString TMG::value(const char* name, int row) {
  int id = 0;
  return name && GetColId(name, &id) ? value(id, row) : QString();
}

int TMG::SetW(int col, int row, const QString& text) {
  if (!In_Range(col) || row < 0 || row >= RowCount()) return 0;
  SetW(col, row, Utf16(text));
  return 1;
}

int TMG::SetW(const char* name, int row, const QString& text) {
  int id = 0;
  return name && GetColId(name, &id) ? SetW(id, row, text) : 0;
}

int TMG::SetV(int col, int row, const QString& text) {
  if (!In_Range(col) || row < 0 || row >= RowCount()) return 0;
  SetCells(col, row, text);
  return 1;
}

int TMG::SetV(const char* name, int row, const QString& text) {
  int id = 0;
  return name && GetColId(name, &id) ? SetV(id, row, text) : 0;
}

int TMG::Set_Dict(int col, const QString& dict, const QString& code_col) {
  return Set_Dict(col, map_char(dict).c_str(), map_char(code_col).c_str());
}

int TMG::Set_Dict(const char* name, const QString& dict, const QString& code_col) {
  return Set_Dict(name, map_char(dict).c_str(), map_char(code_col).c_str());
}

int TMG::SetColPickDict(int col, const QString& dict) { return SetColPickDict(col, map_char(dict).c_str()); }

int TMG::GetColId(const QString& name, int* id) { return GetColId(Utf16(name), id); }

TMG_Col_Def* TMG::Def_Col(int col, const QString& caption, const char* name, char type, int width, int flags) {
  return Def_Col(col, Utf16(caption), name, type, width, flags);
}

int TMG::Adjust_Col_Caption(const char* name, const QString& caption) {
  return Adjust_Col_Caption(name, Utf16(caption));
}

QString TMG::colName(int col) { return In_Range(col) ? Wide(Rec(col)->name) : QString(); }
