// The loaded rows of a tracked query area and what became of them.
#include "core/data/row_track.h"

#include <algorithm>
#include <unordered_map>

#include "core/data/dec_num.h"
#include "core/text/wfunc.h"

namespace {

std::vector<std::u16string> Split_Names(const wchar16* text) {
  std::vector<std::u16string> out;
  std::u16string cur;
  auto flush = [&]() {
    size_t b = cur.find_first_not_of(u" \t");
    size_t e = cur.find_last_not_of(u" \t");
    if (b != std::u16string::npos) out.push_back(cur.substr(b, e - b + 1));
    cur.clear();
  };
  for (const wchar16* p = text; p && *p; ++p) {
    if (*p == u',') {
      flush();
    } else {
      cur.push_back(*p);
    }
  }
  flush();
  return out;
}

bool Numeric(char type) { return type == 'F' || type == 'I' || type == 'N' || type == '1' || type == '2'; }

std::u16string Without_Commas(const wchar16* s) {
  std::u16string t;
  for (; s && *s; ++s)
    if (*s != u',') t.push_back(*s);
  return t;
}

std::string Ascii(const std::u16string& w) {
  std::string s;
  for (char16_t c : w) s.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return s;
}

const char16_t kKey_Sep = 0x1F;

}  // namespace

bool TRow_Track::Same(const wchar16* a, bool a_present, const wchar16* b, bool b_present, char type) {
  const bool a_empty = !a_present || !a || !*a;
  const bool b_empty = !b_present || !b || !*b;
  if (a_empty || b_empty) return a_empty == b_empty;
  if (Numeric(type)) {
    const std::u16string x = Without_Commas(a), y = Without_Commas(b);
    if (Dec_Valid(x.c_str()) && Dec_Valid(y.c_str())) return Dec_Cmp(x.c_str(), y.c_str()) == 0;
    return x == y;
  }
  return std::u16string_view(a) == std::u16string_view(b);
}

int TRow_Track::Start(DBDataMgr* data, map_wchar table, map_wchar key_fields, map_wchar version_field,
                      map_wchar columns, std::string* error) {
  auto fail = [error](const std::string& why) {
    if (error) *error = why;
    return 0;
  };
  if (!data) return fail("no data set");
  std::vector<std::u16string> cols = Split_Names(columns.c_str());
  if (cols.empty()) {
    for (int i = 0; i < data->Get_Field_Count(); i++) {
      std::u16string n = data->Get_Field_Name(i);
      if (n != u"skip_sum_flag" && !n.empty()) cols.push_back(n);
    }
  }
  for (const std::u16string& c : cols)
    if (data->Find_Field(c.c_str()) < 0) return fail("no field \"" + Ascii(c) + "\" in the rows");
  std::vector<int> keys;
  for (const std::u16string& k : Split_Names(key_fields.c_str())) {
    int at = -1;
    for (size_t i = 0; i < cols.size(); i++)
      if (cols[i] == k) at = static_cast<int>(i);
    if (at < 0) return fail("the key field \"" + Ascii(k) + "\" is not among the columns");
    keys.push_back(at);
  }
  if (keys.empty()) return fail("no key field given");
  int version = -1;
  std::u16string v = version_field.c_str() ? version_field.c_str() : u"";
  if (!v.empty()) {
    for (size_t i = 0; i < cols.size(); i++)
      if (cols[i] == v) version = static_cast<int>(i);
    if (version < 0) return fail("the version field \"" + Ascii(v) + "\" is not among the columns");
  }
  table_ = table.c_str() ? table.c_str() : u"";
  columns_ = cols;
  keys_ = keys;
  version_ = version;
  return Accept(data);
}

int TRow_Track::Field_Of(const DBDataMgr* data, int c) const {
  if (c < 0 || c >= static_cast<int>(columns_.size())) return -1;
  return data->Find_Field(columns_[static_cast<size_t>(c)].c_str());
}

int TRow_Track::Accept(DBDataMgr* data) {
  orig_.CFree();
  const int nc = static_cast<int>(columns_.size());
  orig_.Set_Field_Count(nc);
  std::vector<int> from(static_cast<size_t>(nc));
  for (int c = 0; c < nc; c++) {
    const int f = Field_Of(data, c);
    from[static_cast<size_t>(c)] = f;
    orig_.Set_Field_Name(c, columns_[static_cast<size_t>(c)].c_str());
    if (f >= 0) {
      orig_.Set_Field_Type(c, data->Get_Field_Type(f));
      orig_.Set_Field_Size(c, data->Get_Field_Size(f));
      orig_.Set_Field_Decsize(c, data->Get_Field_Decsize(f));
      orig_.Set_Field_Caption(c, data->Get_Field_Caption(f));
    }
  }
  const int rows = data->Get_Row_Count();
  for (int r = 0; r < rows; r++) {
    orig_.Add_Row();
    for (int c = 0; c < nc; c++) {
      const int f = from[static_cast<size_t>(c)];
      if (f >= 0 && data->Row_Value_Present(r, f)) orig_.Set_Value(c, data->Get_Row_Value(r, f));
    }
    data->Set_Row_Track(r, r + 1);
  }
  alive_.assign(static_cast<size_t>(rows), 1);
  return 1;
}

int TRow_Track::Original_Of(const DBDataMgr* data, int row) const {
  const int t = data->Get_Row_Track(row);
  if (t <= 0 || t > orig_.Get_Row_Count() || !alive_[static_cast<size_t>(t - 1)]) return -1;
  return t - 1;
}

int TRow_Track::Column_Changed(const DBDataMgr* data, int row, int c) const {
  const int o = Original_Of(data, row);
  if (o < 0) return 1;
  const int f = Field_Of(data, c);
  if (f < 0) return 0;
  return Same(orig_.Get_Row_Value(o, c), orig_.Row_Value_Present(o, c), data->Get_Row_Value(row, f),
              data->Row_Value_Present(row, f), orig_.Get_Field_Type(c))
             ? 0
             : 1;
}

int TRow_Track::Row_State(const DBDataMgr* data, int row) const {
  if (row < 0 || row >= data->Get_Row_Count()) return ROW_UNCHANGED;
  if (Original_Of(data, row) < 0) return ROW_ADDED;
  for (int c = 0; c < static_cast<int>(columns_.size()); c++)
    if (Column_Changed(data, row, c)) return ROW_CHANGED;
  return ROW_UNCHANGED;
}

std::vector<int> TRow_Track::Deleted(const DBDataMgr* data) const {
  std::vector<char> seen(static_cast<size_t>(orig_.Get_Row_Count()), 0);
  for (int r = 0; r < data->Get_Row_Count(); r++) {
    const int o = Original_Of(data, r);
    if (o >= 0) seen[static_cast<size_t>(o)] = 1;
  }
  std::vector<int> out;
  for (int o = 0; o < orig_.Get_Row_Count(); o++)
    if (alive_[static_cast<size_t>(o)] && !seen[static_cast<size_t>(o)]) out.push_back(o);
  return out;
}

int TRow_Track::Has_Changes(const DBDataMgr* data) const {
  if (!Deleted(data).empty()) return 1;
  for (int r = 0; r < data->Get_Row_Count(); r++)
    if (Row_State(data, r) != ROW_UNCHANGED) return 1;
  return 0;
}

int TRow_Track::Set_Original(int orig_row, int c, const wchar16* value, bool present) {
  if (orig_row < 0 || orig_row >= orig_.Get_Row_Count() || c < 0 || c >= orig_.Get_Field_Count()) return 0;
  orig_.Go_To_Row(orig_row);
  return present ? orig_.Set_Value_With_Len(c, value ? value : u"", W_Len(value)) : orig_.Set_Null(c);
}

int TRow_Track::Drop_Original(int orig_row) {
  if (orig_row < 0 || orig_row >= orig_.Get_Row_Count()) return 0;
  alive_[static_cast<size_t>(orig_row)] = 0;
  return 1;
}

int TRow_Track::Adopt(DBDataMgr* data, int row, const DBDataMgr& values, int values_row) {
  if (row < 0 || row >= data->Get_Row_Count()) return -1;
  const int nc = static_cast<int>(columns_.size());
  if (!orig_.Add_Row()) return -1;
  for (int c = 0; c < nc; c++) {
    const int f = values.Find_Field(columns_[static_cast<size_t>(c)].c_str());
    if (f >= 0 && values.Row_Value_Present(values_row, f)) orig_.Set_Value(c, values.Get_Row_Value(values_row, f));
  }
  alive_.push_back(1);
  const int o = orig_.Get_Row_Count() - 1;
  data->Set_Row_Track(row, o + 1);
  return o;
}

std::u16string TRow_Track::Key_Of(const DBDataMgr* data, int row) const {
  std::u16string k;
  for (int c : keys_) {
    const int f = data->Find_Field(columns_[static_cast<size_t>(c)].c_str());
    if (!k.empty()) k.push_back(kKey_Sep);
    if (f >= 0) k += data->Get_Row_Value(row, f);
  }
  return k;
}

std::u16string TRow_Track::Orig_Key(int orig_row) const { return Key_Of(&orig_, orig_row); }

std::u16string TRow_Track::Key_Text(int orig_row) const {
  std::u16string t;
  for (int c : keys_) {
    if (!t.empty()) t += u", ";
    t += columns_[static_cast<size_t>(c)] + u"=" + orig_.Get_Row_Value(orig_row, c);
  }
  return t;
}

int TRow_Track::Merge_Fresh(DBDataMgr* data, const DBDataMgr& fresh, int* changed) {
  if (changed) *changed = 0;
  const int nc = static_cast<int>(columns_.size());
  std::vector<int> ff(static_cast<size_t>(nc)), df(static_cast<size_t>(nc));
  for (int c = 0; c < nc; c++) {
    ff[static_cast<size_t>(c)] = fresh.Find_Field(columns_[static_cast<size_t>(c)].c_str());
    df[static_cast<size_t>(c)] = Field_Of(data, c);
    if (ff[static_cast<size_t>(c)] < 0) return 0;
  }
  std::unordered_map<std::u16string, int> fresh_rows;
  for (int r = 0; r < fresh.Get_Row_Count(); r++) fresh_rows.emplace(Key_Of(&fresh, r), r);
  std::unordered_map<std::u16string, int> orig_rows;  // live originals by key
  for (int o = 0; o < orig_.Get_Row_Count(); o++)
    if (alive_[static_cast<size_t>(o)]) orig_rows.emplace(Orig_Key(o), o);
  std::vector<int> area_of(static_cast<size_t>(orig_.Get_Row_Count()), -1);
  for (int r = 0; r < data->Get_Row_Count(); r++) {
    const int o = Original_Of(data, r);
    if (o >= 0) area_of[static_cast<size_t>(o)] = r;
  }
  int n = 0;
  std::vector<int> remove;  // area rows gone from the table and unchanged here
  for (const auto& [key, o] : orig_rows) {
    const int r = area_of[static_cast<size_t>(o)];
    auto fr = fresh_rows.find(key);
    if (fr == fresh_rows.end()) {
      if (r >= 0 && Row_State(data, r) == ROW_UNCHANGED) remove.push_back(r);
      if (r < 0) Drop_Original(o);  // deleted here and in the table: nothing left to write
      continue;
    }
    const int f = fr->second;
    bool altered = false;
    for (int c = 0; c < nc; c++) {
      const int fc = ff[static_cast<size_t>(c)];
      const wchar16* nv = fresh.Get_Row_Value(f, fc);
      const bool np = fresh.Row_Value_Present(f, fc) != 0;
      const bool was = Same(orig_.Get_Row_Value(o, c), orig_.Row_Value_Present(o, c), nv, np, orig_.Get_Field_Type(c));
      if (was) continue;
      // A column changed here keeps its value and its old original (the save then finds the conflict);
      // a row deleted here keeps its old originals for the same reason.
      if (r < 0 || Column_Changed(data, r, c)) continue;
      Set_Original(o, c, nv, np);
      const int dc = df[static_cast<size_t>(c)];
      if (dc >= 0) {
        data->Go_To_Row(r);
        if (np) data->Set_Value_With_Len(dc, nv, W_Len(nv));
        else data->Set_Null(dc);
      }
      altered = true;
    }
    if (altered) n++;
    fresh_rows.erase(fr);
  }
  // Rows removed from the bottom up, so the indexes stay right.
  std::sort(remove.begin(), remove.end());
  for (auto it = remove.rbegin(); it != remove.rend(); ++it) {
    const int o = Original_Of(data, *it);
    data->Go_To_Row(*it);
    data->Del_Row();
    Drop_Original(o);
    n++;
  }
  // Rows the table has and the area never had: appended as loaded, in the fresh order.
  std::vector<int> added;
  for (const auto& e : fresh_rows) added.push_back(e.second);
  std::sort(added.begin(), added.end());
  for (int f : added) {
    if (!data->Add_Row()) return 0;
    const int r = data->Get_Row_Count() - 1;
    for (int c = 0; c < nc; c++) {
      const int dc = df[static_cast<size_t>(c)], fc = ff[static_cast<size_t>(c)];
      if (dc >= 0 && fresh.Row_Value_Present(f, fc)) data->Set_Value(dc, fresh.Get_Row_Value(f, fc));
    }
    Adopt(data, r, fresh, f);
    n++;
  }
  if (changed) *changed = n;
  return 1;
}
