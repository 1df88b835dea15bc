// TMG cell values: typed accessors, number cleaning and formatting, column-wide normalisation, rows.
#include "controls/grid/Mg.h"

#include "toolkit/tk_menu.h"

#include "core/data/dec_num.h"
#include "core/text/code_page.h"
#include "dict/dict_mgr.h"
#include "util/lang_map.h"

#include <QLineEdit>
#include <cstdio>
#include <cstring>

namespace {

// Full-width digits and signs to their ASCII forms (works on the wide form, so any code page).
std::string Half_Width(const std::string& s) {
  bool high = false;
  for (char c : s) high |= static_cast<unsigned char>(c) >= 0x80;
  if (!high) return s;
  QString w = TMG::Wide(s.c_str());
  for (QChar& ch : w) {
    char16_t u = ch.unicode();
    if (u >= 0xFF10 && u <= 0xFF19) ch = QChar(u'0' + (u - 0xFF10));
    else if (u == 0xFF0B) ch = QChar(u'+');
    else if (u == 0xFF0D) ch = QChar(u'-');
    else if (u == 0x00D7) ch = QChar(u'*');
  }
  return TMG::Narrow(w);
}

bool Digit(char c) { return c >= '0' && c <= '9'; }

// At most n bytes of narrow text, cut back to the last whole character of the system code page, so
// that a cut text written back never ends in half a character.
std::string Cut(const std::string& s, size_t n) {
  if (s.size() <= n) return s;
  const unsigned char* u = reinterpret_cast<const unsigned char*>(s.data());
  size_t k = 0;
  if (Sys_Code_Page() == ZEM_CP_UTF8) {
    k = n;
    while (k > 0 && (u[k] & 0xC0) == 0x80) --k;
  } else {
    for (size_t w; k < s.size(); k += w) {
      w = (u[k] >= 0x81 && u[k] <= 0xFE && k + 1 < s.size()) ? 2 : 1;
      if (k + w > n) break;
    }
  }
  return s.substr(0, k);
}

}  // namespace

std::string Mg_Clean_Number(const std::string& in) {
  std::string s = Half_Width(in), out;
  for (char c : s)
    if (Digit(c) || c == '+' || c == '-' || c == '.') out += c;
  if (out == "+" || out == "-") out = "0";
  return out;
}

std::string Mg_Format_Number(const std::string& in, int d, bool pad) {
  if (d > 10) d = 10;
  if (d < 0) d = 0;
  bool group = in.find(',') != std::string::npos;
  std::string s;
  for (char c : in)
    if (c != ',') s += c;
  s = Half_Width(s);
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  if (i == s.size()) s = "0", i = 0;
  std::string sign, integer, frac;
  bool dot = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    if (s[i] == '-') sign = "-";
    ++i;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  }
  if (i < s.size() && s[i] == '0') {
    integer = "0";
    while (i < s.size() && s[i] == '0') ++i;
  }
  while (i < s.size() && Digit(s[i]) && integer.size() < 30) integer += s[i++];
  while (i < s.size() && Digit(s[i])) ++i;  // integer digits past 30 are dropped
  if (d > 0) {
    if (i < s.size() && s[i] == '.') dot = true, ++i;
    while (i < s.size() && Digit(s[i]) && int(frac.size()) < d) frac += s[i++];
    if (pad) {
      dot = true;
      while (int(frac.size()) < d) frac += '0';
    }
  }
  if (integer.empty() && frac.empty()) {
    // No digit at all: "0", with the padded fraction when asked for.
    std::string z = "0";
    if (pad && d > 0) z += "." + std::string(size_t(d), '0');
    return z;
  }
  if (group && integer.size() > 3) {
    std::string g;
    int n = int(integer.size());
    for (int k = 0; k < n; ++k) {
      if (k > 0 && (n - k) % 3 == 0) g += ',';
      g += integer[size_t(k)];
    }
    integer = g;
  }
  return sign + integer + (dot ? "." + frac : std::string());
}

std::string Mg_Allt_Number(const std::string& s) {
  if (s.find('.') == std::string::npos) return s;
  size_t e = s.size();
  while (e > 0 && s[e - 1] == '0') --e;
  if (e > 0 && s[e - 1] == '.') --e;
  return s.substr(0, e);
}

// ---- Typed access -----------------------------------------------------------------------------------

const char* TMG::GetV(int col, int row) { return Ring(Narrow(CellView(col, row))); }

const char* TMG::GetV(const char* name, int row) {
  int id;
  return GetColId(name, &id) ? GetV(id, row) : "";
}

const char* TMG::SetV(int col, int row, const char* text) {
  SetCells(col, row, Wide(text));
  return text;
}

const char* TMG::SetV(int col, int row, int value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%i", value);
  SetCells(col, row, QString::fromLatin1(buf));
  return Ring(buf);
}

const char* TMG::SetV(int col, int row, float value) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", double(value));
  SetCells(col, row, QString::fromLatin1(buf));
  return Ring(buf);
}

const char* TMG::SetV(const char* name, int row, const char* text) {
  int id;
  if (!GetColId(name, &id)) return "";
  return SetV(id, row, text);
}

const char* TMG::SetV(const char* name, int row, const char16_t* text) {
  int id;
  if (!GetColId(name, &id)) return "";
  std::string n = Narrow(QStringView(text ? text : u""));
  SetCells(id, row, Wide(n.c_str()));
  return Ring(n);
}

const char16_t* TMG::GetW(int col, int row) {
  QStringView v = CellView(col, row);
  std::u16string& slot = wring_[size_t(wringPos_)];
  wringPos_ = (wringPos_ + 1) % 100;
  if (In_Range(col) && col >= 1 && Rec(col)->edit_style == 3 && Rec(col)->dict[0]) {
    int b = int(v.indexOf(u' '));
    if (b >= 0) v = v.left(b);
  }
  slot.assign(reinterpret_cast<const char16_t*>(v.utf16()), size_t(v.size()));
  return slot.c_str();
}

const char16_t* TMG::GetW(const char* name, int row) {
  int id;
  return GetColId(name, &id) ? GetW(id, row) : u"";
}

const char16_t* TMG::SetW(int col, int row, const char16_t* text) {
  if (!text) text = u"";
  // Dictionary pick-list cells show "code name" so that the user sees both; the value stays the code.
  if (In_Range(col) && col >= 1 && Rec(col)->edit_style == 3 && Rec(col)->dict[0]) {
    std::u16string name;
    if (TDict* d = Dict_Client_List()->Get_Dict(Rec(col)->dict, 1)) d->Get_Name(map_wchar(text), &name);
    SetCells(col, row, QString::fromUtf16(text) + u' ' + QString::fromStdU16String(name));
    return text;
  }
  SetCells(col, row, QString::fromUtf16(text));
  return text;
}

const char16_t* TMG::SetW(const char* name, int row, const char16_t* text) {
  int id;
  return GetColId(name, &id) ? SetW(id, row, text) : u"";
}

// ---- Number normalisation ---------------------------------------------------------------------------

int TMG::Std_Number_Cell(int col, int row) {
  if (!In_Range(col)) return 1;
  TMG_Col_Def* d = Rec(col);
  if (d->dec < 0) d->dec = 0;
  if (Opt_Exist("keep_bad_number") && !Number_Problem(col, row).isEmpty()) return 1;  // kept as typed
  SetV(col, row, Mg_Format_Number(GetV(col, row), d->dec, true).c_str());
  return 1;
}

// The column-wide operations work on at most 40 bytes of each cell's narrow text (whole characters),
// and every cell they visit takes the result (a cut text included), so that the whole column ends in
// one form.
int TMG::Unify_Dec_Num(int col) {
  if (!In_Range(col)) return 1;
  int m = 0;
  for (int r = FixedRows(); r < RowCount(); ++r) {
    QStringView v = CellView(col, r);
    if (v.isEmpty() || v[0] == u'*') continue;
    std::string s = Cut(Narrow(v), 40);
    size_t dot = s.find('.');
    if (dot != std::string::npos) m = std::max(m, int(s.size() - dot - 1));
  }
  if (m == 0) return 1;
  for (int r = FixedRows(); r < RowCount(); ++r) {
    QStringView v = CellView(col, r);
    if (v.isEmpty() || v[0] == u'*') continue;
    SetCells(col, r, Wide(Mg_Format_Number(Cut(Narrow(v), 40), m, true).c_str()));
  }
  return 1;
}

int TMG::Unify_Dec_Num(const char* name) {
  int id;
  return GetColId(name, &id) ? Unify_Dec_Num(id) : 1;
}

int TMG::Unify_All_Dec_Num() {
  for (int c = 0; c < ColCount(); ++c)
    if (Is_Num_Type(Rec(c)->type)) Unify_Dec_Num(c);
  return 1;
}

int TMG::Allt_Num(int col) {
  if (!In_Range(col)) return 1;
  for (int r = FixedRows(); r < RowCount(); ++r) {
    QStringView v = CellView(col, r);
    if (v.isEmpty() || v[0] == u'*') continue;  // an empty cell's result is itself
    SetCells(col, r, Wide(Mg_Allt_Number(Cut(Narrow(v), 40)).c_str()));
  }
  return 1;
}

int TMG::Allt_Num(const char* name) {
  int id;
  return GetColId(name, &id) ? Allt_Num(id) : 1;
}

int TMG::Allt_All_Num() {
  for (int c = 0; c < ColCount(); ++c)
    if (Is_Num_Type(Rec(c)->type)) Allt_Num(c);
  return 1;
}

int TMG::Allt_And_Unify() {
  Allt_All_Num();
  return Unify_All_Dec_Num();
}

std::string Mg_Valid_Text(const TMG_Col_Def* d, const std::string& text) {
  if (d->type == 'S' || d->type == 'D' || d->type == 2 || text.empty()) return text;
  std::string cleaned = Mg_Clean_Number(text);
  std::string res;
  if (d->type == 'I') res = Mg_Format_Number(cleaned, 0, false);
  else if (d->type == 'F') res = Mg_Format_Number(cleaned, d->dec, false);
  else res = cleaned;
  if (d->show_style == 2) return cleaned;
  if (d->sign == '+' && !res.empty() && res[0] == '-') res = "0";
  if (d->sign == '-' && (res.empty() || res[0] != '-')) res = "0";
  // Both limits are tested against the result, so with the minimum above the maximum a result over
  // the maximum ends as the maximum.
  std::string out = res;
  if (d->min[0] && Dec_Cmp(res.c_str(), d->min) < 0) out = d->min;
  if (d->max[0] && Dec_Cmp(res.c_str(), d->max) > 0) out = d->max;
  return out;
}

int TMG::Valid_Check(int col, int row) {
  if (col < FixedCols() || row < FixedRows() || !In_Range(col) || row >= RowCount()) return 0;
  TMG_Col_Def* d = Rec(col);
  if (d->type == 'S' || d->type == 'D' || d->type == 2) return 0;
  std::string text = Cut(Narrow(CellView(col, row)), 600);
  if (text.empty()) return 0;
  if (Opt_Exist("keep_bad_number") && !Number_Problem(col, row).isEmpty()) return 0;  // kept as typed
  std::string res = Mg_Valid_Text(d, text);
  if (res != text) SetV(col, row, res.c_str());
  return d->show_style == 2 ? 2 : 1;
}

QString TMG::Number_Problem(int col, int row) {
  if (col < FixedCols() || row < FixedRows() || !In_Range(col) || row >= RowCount()) return QString();
  const TMG_Col_Def* d = Rec(col);
  if (!Is_Num_Type(d->type) || d->show_style == 2) return QString();
  // Blanks, a currency sign, a sign, then digits with ',' separators and one '.', then blanks.
  const QStringView t = CellView(col, row).trimmed();
  if (t.isEmpty()) return QString();
  qsizetype i = 0;
  auto at = [&](std::initializer_list<char16_t> set) {
    if (i >= t.size()) return false;
    for (char16_t c : set)
      if (t[i] == c) {
        ++i;
        return true;
      }
    return false;
  };
  auto blanks = [&] {
    while (i < t.size() && t[i].isSpace()) ++i;
  };
  at({u'¥', u'￥', u'$'});
  blanks();
  at({u'+', u'-', u'＋', u'－'});
  blanks();
  bool digit = false, point = false;
  int decimals = 0, zeros = 0;  // fraction digits, and the zeros among them at its end
  for (; i < t.size(); ++i) {
    const char16_t c = t[i].unicode();
    const bool d09 = (c >= u'0' && c <= u'9') || (c >= u'０' && c <= u'９');
    if (d09) {
      digit = true;
      if (point) {
        ++decimals;
        zeros = (c == u'0' || c == u'０') ? zeros + 1 : 0;
      }
    } else if (c == u'.' && !point) {
      point = true;
    } else if (!(c == u',' && digit && !point)) {
      break;
    }
  }
  const map_wchar ctx(u"grid");
  if (i < t.size() || !digit) return QString::fromUtf16(Lang_Cap(ctx, u"不是数字"));
  const int keep = d->type == 'I' ? 0 : d->type == 'F' ? std::max(d->dec, 0) : -1;
  if (keep == 0 && decimals > zeros) return QString::fromUtf16(Lang_Cap(ctx, u"只能是整数"));
  if (keep > 0 && decimals - zeros > keep) return QString::fromUtf16(Lang_Cap(ctx, u"小数超过 %1 位")).arg(keep);
  return QString();
}

// ---- Rows -------------------------------------------------------------------------------------------

int TMG::Insert_Row(int row) {
  if (row < FixedRows()) return 0;
  int n = RowCount();
  if (row > n) row = n;
  Area_Row_Inserted(row);
  SetRowCount(n + 1);
  for (int r = n; r > row; --r)
    for (int c = 0; c < ColCount(); ++c) SetCells(c, r, Cells(c, r - 1));
  for (int c = 0; c < ColCount(); ++c) SetCells(c, row, QString());
  return 1;
}

int TMG::Delete_Row(int row) {
  if (row < FixedRows() || row >= RowCount()) return 0;
  Area_Row_Deleted(row);
  int n = RowCount();
  for (int r = row; r < n - 1; ++r)
    for (int c = 0; c < ColCount(); ++c) SetCells(c, r, Cells(c, r + 1));
  for (int c = 0; c < ColCount(); ++c) SetCells(c, n - 1, QString());
  if (n - 1 > FixedRows()) SetRowCount(n - 1);
  if (area_) Sync_Sum();  // a bound grid's totals follow each change
  return 1;
}

int TMG::Swap_Row(int a, int b) {
  if (a < 0 || b < 0 || a >= RowCount() || b >= RowCount()) return 0;
  for (int c = 0; c < ColCount(); ++c) {
    QString t = Cells(c, a);
    SetCells(c, a, Cells(c, b));
    SetCells(c, b, t);
  }
  int h = RowHeights(a);
  SetRowHeights(a, RowHeights(b));
  SetRowHeights(b, h);
  Area_Rows_Moved({a, b}, {b, a});
  for (TMG_Cell_Attr& e : Cell_Attr) {
    if (e.row == a) e.row = b;
    else if (e.row == b) e.row = a;
  }
  if (showRowIdMode_ && (RowHeights(a) == 0 || RowHeights(b) == 0)) Show_Row_Id();
  return 1;
}

int TMG::Get_Have_Data_Row_Num() {
  int n = 0, first = std::min(FixedCols(), 1);
  for (int r = FixedRows(); r < RowCount(); ++r) {
    if (RowHeights(r) == 0) continue;
    for (int c = first; c < ColCount(); ++c)
      if (ColWidths(c) != 0 && !CellView(c, r).isEmpty()) {
        ++n;
        break;
      }
  }
  return n;
}

bool TMG::Has_Changed() {
  QLineEdit* e = InplaceEditor();
  if (!e) return false;
  bool m = e->isModified();
  e->setModified(false);
  return m;
}

int TMG::Set_Changed(int flag) {
  if (QLineEdit* e = InplaceEditor()) e->setModified(flag != 0);
  return 1;
}

int TMG::Assign_Mg(TMG* src) {
  if (!src || src == this) return 1;
  SetColCount(src->ColCount());
  SetRowCount(src->RowCount());
  SetFixedCols(src->FixedCols());
  SetFixedRows(src->FixedRows());
  for (int c = 0; c < src->ColCount(); ++c) {
    *Rec(c) = *src->Rec(c);
    SetColWidths(c, src->ColWidths(c));
  }
  for (int r = 0; r < src->RowCount(); ++r) {
    for (int c = 0; c < src->ColCount(); ++c) SetCells(c, r, src->Cells(c, r));
    SetRowHeights(r, src->RowHeights(r));
  }
  *Font() = *src->Font();
  return 1;
}

int TMG::Set_Dat_Id(const char* id, int flag) {
  datId_ = Cut(id ? id : "", 62);  // whole characters: the host names files after it
  datFlag_ = flag;
  Init_Popup_Menu();
  if (TMenuItem* item = Base_Menu_Item("mg_import_from_dat")) item->SetVisible(flag != 0);
  return 1;
}
