// TMG column model: records, the ADEF/BDEF definition languages, lookups, widths and column order.
#include "controls/grid/Mg.h"

#include "core/data/sqlca.h"

#include <QEvent>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const Key_Cmp_Str kEditKeys[] = {
    {"edit_simple", 0}, {"edit_ellipsis", 1}, {"ellipsis", 1}, {"edit_picklist", 2}, {"picklist", 2}};
const Key_Cmp_Str kShowKeys[] = {
    {"show_simple", 0}, {"show_money", 1}, {"money", 1}, {"show_bool", 2}, {"bool", 2}};
const Key_Cmp_Str kAlignKeys[] = {{"align_left", 0},  {"left", 0},         {"align_right", 1},
                                  {"right", 1},       {"align_middle", 2}, {"align", 2}};
const Key_Cmp_Str kColorKeys[] = {
    {"black", 0x000000},  {"maroon", 0x000080}, {"green", 0x008000},   {"olive", 0x008080},
    {"navy", 0x800000},   {"purple", 0x800080}, {"teal", 0x808000},    {"gray", 0x808080},
    {"silver", 0xC0C0C0}, {"red", 0x0000FF},    {"lime", 0x00FF00},    {"yellow", 0x00FFFF},
    {"blue", 0xFF0000},   {"fuchsia", 0xFF00FF}, {"aqua", 0xFFFF00},   {"white", 0xFFFFFF}};

// Shared all-zero records answered for an index or a name that has no column; callers must not change them.
TMG_Col_Def g_zero_by_index;
TMG_Col_Def g_zero_by_name;

// Copies at most cap - 1 bytes of s into dst, never splitting a GBK double-byte character.
void Copy_Narrow(char* dst, const char* s, int cap) {
  int n = 0;
  while (s[n]) {
    int step = (static_cast<unsigned char>(s[n]) >= 0x81 && s[n + 1]) ? 2 : 1;
    if (n + step > cap - 1) break;
    n += step;
  }
  std::memcpy(dst, s, n);
  dst[n] = 0;
}

bool Starts(const char* s, const char* p) { return std::strncmp(s, p, std::strlen(p)) == 0; }

// Reads a decimal integer, held to the int range; false when there is no digit.
bool Read_Int(const char* s, int* out) {
  char* end = nullptr;
  long v = std::strtol(s, &end, 10);
  if (end == s) return false;
  *out = int(std::max<long>(INT_MIN, std::min<long>(INT_MAX, v)));
  return true;
}

std::string Trim(const std::string& s, const char* blanks) {
  size_t b = s.find_first_not_of(blanks);
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(blanks);
  return s.substr(b, e - b + 1);
}

}  // namespace

namespace {

// A definition line: the caption (trimmed) before the first ',', the items after it (narrow).
void Split_Def_Line(const QString& full, QString* caption, std::string* items) {
  QString line = full.left(1023);
  int comma = line.indexOf(u',');
  *caption = comma < 0 ? line : line.left(comma);
  *items = comma < 0 ? std::string() : TMG::Narrow(QStringView(line).mid(comma + 1));
  int b = 0, e = int(caption->size());
  auto blank = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
  while (b < e && blank((*caption)[b])) ++b;
  while (e > b && blank((*caption)[e - 1])) --e;
  *caption = caption->mid(b, e - b);
}

}  // namespace

int Is_Num_Type(char t) { return t == 'F' || t == 'I' || t == 'N' || t == '1' || t == '2'; }

TMG::TMG(QWidget* parent) : TStringGrid(Zem_Startup_Parent(parent)) {
  SetOptions(Options() | goEditing | goAlwaysShowEditor | goTabs | goColSizing | goThumbTracking);
  SetCells(0, 1, QString(QChar(0x25C6)));
  SetCells(0, 0, QString(QChar(0xFF0D)));
  SetDefaultRowHeight(25);
  SetGridLineWidth(0);
  SetDefaultDrawing(false);
  OnDrawCell = [this](TObject* s, int c, int r, TRect& rect, TGridDrawState st) {
    OnMGGridDrawCell(s, c, r, rect, st);
  };
  OnSelectCell = Own_Select{this};
  OnKeyDown = [this](TObject* s, WORD& key, TShiftState sh) { TMG_OnKeyDown(s, key, sh); };
  OnMouseWheelDown = [this](TObject* s, TShiftState sh, TPoint p, bool& h) { TMG_OnMouseWheelDown(s, sh, p, h); };
  OnMouseWheelUp = [this](TObject* s, TShiftState sh, TPoint p, bool& h) { TMG_MouseWheelUp(s, sh, p, h); };
  OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) { TMG_OnMouseDown(s, b, sh, x, y); };
  OnMouseUp = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) { TMG_OnMouseUp(s, b, sh, x, y); };
  OnMouseMove = [this](TObject* s, TShiftState sh, int x, int y) { TMG_OnMouseMove(s, sh, x, y); };
  OnColumnMoved = [this](TObject* s, int from, int to) { Column_Move(s, from, to); };
  OnTopLeftChanged = [this](TObject* s) { TMG_OnTopLeftChanged(s); };
  OnEditButtonClick = [this](TObject* s) { TMG_OnEditButtonClick(s); };
  // The hover tint is drawn only while the mouse is over the cells: leaving takes it away.
  OnMouseEnter = [this](TObject*) { mouseInside_ = true; };
  OnMouseLeave = [this](TObject*) {
    mouseInside_ = false;
    Redraw_Hover();
  };
  wring_.resize(100);
}

// What the grid put into hosts' menus (its submenu, the check-mark items) goes with it: it acts on the grid.
TMG::~TMG() {
  delete hostSub_.data();
  for (const QPointer<TMenuItem>& item : rowBoolItems_) delete item.data();
}

// The property setters parse ADEF and BDEF as a form sets them, and columns added later take their
// lines' captions and widths as they come (SizeChanged): Loaded applies what may be left. Records of
// such columns could not be reached by any setter, so applying their lines overrides nothing a host did.
void TMG::Loaded() {
  TStringGrid::Loaded();
  Apply_Deferred_Defs();
  // The first current cell is one that takes typing: many grids begin with a read-only key column.
  if (Row() >= FixedRows() && Row() < RowCount() && !Can_Move_To(Col(), Row())) {
    const int c = First_Edit_Col();
    if (Can_Move_To(c, Row())) FocusCell(c, Row());
  }
  Invalidate();
}

void TMG::Reset_Rec(TMG_Col_Def* d) {
  std::memset(d, 0, sizeof(*d));
  d->type = 'S';
  d->nullable = true;
  d->bgcolor = 0xFFFFFF;
  d->fixed_width = -1;
}

TMG_Col_Def* TMG::Rec(int col) {
  while (int(cols_.size()) <= col) {
    TMG_Col_Def d;
    Reset_Rec(&d);
    cols_.push_back(d);
  }
  return &cols_[col];
}

const char* TMG::Ring(const std::string& s) {
  static std::string ring[100];
  static int pos = 0;
  std::string& slot = ring[pos];
  pos = (pos + 1) % 100;
  slot = s;
  return slot.c_str();
}

std::string TMG::Narrow(QStringView w) {
  if (w.isEmpty()) return std::string();
  const wchar16* src = reinterpret_cast<const wchar16*>(w.utf16());
  int need = Zem_W_To_MB(Sys_Code_Page(), src, int(w.size()), nullptr, 0);
  std::string out(size_t(need), '\0');
  if (need > 0) Zem_W_To_MB(Sys_Code_Page(), src, int(w.size()), &out[0], need);
  return out;
}

QString TMG::Wide(const char* s) {
  if (!s || !*s) return QString();
  int n = int(std::strlen(s));
  int need = Zem_MB_To_W(Sys_Code_Page(), s, n, nullptr, 0);
  std::u16string out(size_t(need), u'\0');
  if (need > 0) Zem_Note_Narrow_Text(ZEM_CP_SYSTEM, s, n, out.data(), Zem_MB_To_W(Sys_Code_Page(), s, n, &out[0], need));
  return QString::fromUtf16(out.data(), qsizetype(out.size()));
}

// ---- ADEF / BDEF -----------------------------------------------------------------------------------

void TMG::SetADEF(const QStringList& list) {
  adef_ = list;
  cols_.clear();
  SetColFixedSize(0, showRowIdMode_ ? 50 : 18);
  Rec(0);
  for (int i = 0; i < adef_.size(); ++i) {
    QString caption;
    std::string items;
    Split_Def_Line(adef_[i], &caption, &items);
    SetCells(i + 1, 0, caption);
    Copy_Narrow(Rec(i + 1)->name, Narrow(caption).c_str(), 61);
    Add_Def(i + 1, items.c_str());
  }
  adefColCount_ = ColCount();
  Invalidate();
}

void TMG::Apply_Deferred_Defs() {
  for (int i = std::max(adefColCount_ - 1, 0); i < adef_.size() && i + 1 < ColCount(); ++i) {
    QString caption;
    std::string items;
    Split_Def_Line(adef_[i], &caption, &items);
    SetCells(i + 1, 0, caption);
    Add_Def_Items(i + 1, items.c_str(), true);
  }
  adefColCount_ = std::max(adefColCount_, ColCount());
}

void TMG::SizeChanged(int OldColCount, int OldRowCount) {
  TStringGrid::SizeChanged(OldColCount, OldRowCount);
  // Columns taken away lose their captions and widths: added again, they take their lines again.
  if (ColCount() < adefColCount_) adefColCount_ = ColCount();
  else if (ColCount() > OldColCount) Apply_Deferred_Defs();
}

int TMG::Set_ADef(TStrings* list) {
  QStringList l;
  for (int i = 0; list && i < list->Count(); ++i) l << list->Strings(i);
  SetADEF(l);
  return 1;
}

void TMG::SetBDEF(const QStringList& list) {
  bdef_ = list;
  rects_.clear();
  for (const QString& line : bdef_) {
    std::string s = Narrow(line).substr(0, 4095);
    std::vector<std::string> f;
    size_t start = 0;
    while (f.size() < 40) {
      size_t c = s.find(',', start);
      std::string part = s.substr(start, c == std::string::npos ? std::string::npos : c - start);
      f.push_back(Trim(part, " \t\r\n").substr(0, 199));
      if (c == std::string::npos) break;
      start = c + 1;
    }
    if (f.size() != 6 || f[0] != "unit") continue;
    int v[4] = {0, 0, 0, 0};
    for (int k = 0; k < 4; ++k) Read_Int(f[size_t(k + 1)].c_str(), &v[k]);
    Def_Rect(v[0], v[1], v[2], v[3], f[5].c_str());
  }
  Invalidate();
}

int TMG::Set_BDef(TStrings* list) {
  QStringList l;
  for (int i = 0; list && i < list->Count(); ++i) l << list->Strings(i);
  SetBDEF(l);
  return 1;
}

int TMG::Def_Rect(int a, int b, int c, int d, const char* caption) {
  TMG_Rect_Def r;
  r.a = a, r.b = b, r.c = c, r.d = d;
  Copy_Narrow(r.caption, caption ? caption : "", 80);
  rects_.push_back(r);
  SetDefaultDrawing(false);
  return 1;
}

const TMG_Rect_Def* TMG::Get_Rect_Def(int i) const {
  return i >= 0 && i < int(rects_.size()) ? &rects_[i] : nullptr;
}

int TMG::Add_Def(int col, const char* items) { return Add_Def_Items(col, items, false); }

int TMG::Add_Def_Items(int col, const char* items, bool widthsOnly) {
  if (col < 0 || !items) return 1;
  const char* p = items;
  for (;;) {
    while (*p == ' ') ++p;
    const char* e = std::strchr(p, ',');
    size_t n = e ? size_t(e - p) : std::strlen(p);
    std::string item(p, n < 4095 ? n : 4095);
    for (char& ch : item)
      if (ch >= 'A' && ch <= 'Z') ch = char(ch - 'A' + 'a');
    Apply_Item(col, item.c_str(), widthsOnly);
    if (!e) break;
    p = e + 1;
  }
  return 1;
}

int TMG::Cmp_Key(const char* item, const Key_Cmp_Str* table, unsigned count) {
  for (unsigned i = 0; i < count; ++i)
    if (std::strstr(item, table[i].key)) return table[i].value;
  return -1;
}

int TMG::Add_Sub_Def(int col, const char* item) { return Apply_Item(col, item, false); }

// The rules in their order; with widthsOnly, only the grid's column widths that the deciding rule sets
// (what a grid without that column yet could not take when the line was parsed).
int TMG::Apply_Item(int col, const char* item, bool widthsOnly) {
  if (col < 0 || !item) return 1;
  TMG_Col_Def* d = Rec(col);
  TMG_Col_Def keep = *d;
  int v;
  if (item[0] == '$') {
    Copy_Narrow(d->name, item + 1, 61);
  } else if (!std::strcmp(item, "float") || !std::strcmp(item, "number")) {
    d->type = 'F', d->size = 9, d->dec = 2, d->align_style = 1;
  } else if (!std::strcmp(item, "int")) {
    d->type = 'I', d->size = 9, d->dec = 0, d->align_style = 1;
  } else if (Starts(item, "size#")) {
    if (Read_Int(item + 5, &v)) d->size = v;
  } else if (Starts(item, "dec#")) {
    if (Read_Int(item + 4, &v)) {
      d->dec = v;
      if (v > 0) d->type = 'F';
    }
    d->align_style = 1;
  } else if (Starts(item, "min#") || Starts(item, "max#")) {
    char* dst = item[1] == 'i' ? d->min : d->max;
    int n = 0;
    for (const char* s = item + 4; *s && *s != ' ' && *s != '\t' && *s != '\r' && *s != '\n' && n < 19; ++s)
      dst[n++] = *s;
    dst[n] = 0;
  } else if (item[0] == '+' || item[0] == '-') {
    d->sign = item[0];
  } else if (item[0] == '|') {
    // Fixed widths apply only below column 250; the width itself at any column.
    bool ok;
    if (item[1] == '|') {
      ok = Read_Int(item + 2, &v);
      if (ok && col < 250) SetColFixedSize(col, v);
    } else {
      ok = Read_Int(item + 1, &v);
    }
    if (ok && v >= 0 && v < 1000) {
      SetColWidths(col, v);
      Rec(col)->width = v;
    }
  } else if (!std::strcmp(item, "notnull")) {
    d->nullable = false;
  } else if (!std::strcmp(item, "readonly")) {
    d->readonly = true;
  } else if ((v = Cmp_Key(item, kEditKeys, 5)) >= 0) {
    d->edit_style = TMG_EditStyle(v);
  } else if ((v = Cmp_Key(item, kShowKeys, 5)) >= 0) {
    if (v == 1) SetColWidths(col, 11 * (Canvas()->TextWidth(QStringLiteral("8")) + 3) + 3);
    d = Rec(col);
    d->show_style = TMG_ShowStyle(v);
    d->type = 'I';
    if (v == 1) d->type = 'F', d->dec = 2;
  } else if ((v = Cmp_Key(item, kAlignKeys, 6)) >= 0) {
    d->align_style = TMG_AlignStyle(v);
  } else if ((v = Cmp_Key(item, kColorKeys, 16)) >= 0) {
    if (std::strstr(item, "bg")) d->bgcolor = v;
    else d->color = v;
  } else if (item[0] == '#') {
    if (Read_Int(item + 1, &v)) d->color = v;
  } else if (Starts(item, "bg#")) {
    if (Read_Int(item + 3, &v)) d->bgcolor = v;
  } else if (!std::strcmp(item, "allow_edit")) {
    d->ext_opt |= 1;
  } else if (!std::strcmp(item, "not_allow_edit")) {
    d->ext_opt |= 2;
  }
  if (widthsOnly) {
    // The record keeps what it had; only the fixed width of a "||" item joins it with the grid width.
    const int fixed = Rec(col)->fixed_width;
    *Rec(col) = keep;
    if (item[0] == '|' && item[1] == '|' && col < 250) Rec(col)->fixed_width = fixed;
  }
  return 1;
}

TMG_Col_Def* TMG::Def_Col(int col, const char16_t* caption, const char* name, char type, int width, int flags) {
  if (col < 0) return &g_zero_by_index;
  if (col >= ColCount()) SetColCount(col + 1);
  TMG_Col_Def* d = Rec(col);
  Reset_Rec(d);
  d->color = 0x1F1F1F;
  Copy_Narrow(d->name, name ? name : "", 61);
  d->type = type;
  d->width = width;
  d->nullable = !(flags & 0x01);
  d->readonly = (flags & 0x02) != 0;
  d->edit_style = (flags & 0x04) ? 1 : (flags & 0x20) ? 2 : 0;
  if (flags & 0x08) d->show_style = 1;
  if (type == 'F' || (flags & 0x10)) d->dec = 6;
  d->align_style = (type == 'I' || type == 'F') ? 1 : 0;
  SetCells(col, 0, caption ? QString::fromUtf16(caption) : QString());
  SetColWidths(col, width);
  return d;
}

// ---- Lookups ----------------------------------------------------------------------------------------

TMG_Col_Def* TMG::Get_Def(const char* name) {
  int id;
  return name && GetColId(name, &id) ? Rec(id) : nullptr;
}

TMG_Col_Def* TMG::GetColDef(int col) {
  if (!In_Range(col)) {
    std::memset(&g_zero_by_index, 0, sizeof g_zero_by_index);
    return &g_zero_by_index;
  }
  return Rec(col);
}

TMG_Col_Def* TMG::GetColDef(const char* name) {
  TMG_Col_Def* d = Get_Def(name);
  if (d) return d;
  std::memset(&g_zero_by_name, 0, sizeof g_zero_by_name);
  return &g_zero_by_name;
}

const char* TMG::GetColName(int col) { return In_Range(col) ? Rec(col)->name : ""; }

int TMG::GetColId(const char* name, int* id) {
  if (!name) return 0;
  int n = std::min(ColCount(), int(cols_.size()));
  for (int i = 0; i < n; ++i)
    if (!std::strcmp(cols_[i].name, name)) {
      if (!id) return i;
      *id = i;
      return 1;
    }
  return 0;
}

int TMG::GetColId(const char16_t* name, int* id) {
  if (!name) return 0;
  return GetColId(Narrow(QStringView(name)).c_str(), id);
}

const char* TMG::C(int col, int row) { return Ring(Narrow(CellView(col, row))); }

const char* TMG::C(const char* name, int row) {
  int id;
  if (!GetColId(name, &id)) return "";
  return C(id, row);
}

int TMG::Set_Col(const char* name) {
  int id;
  if (!GetColId(name, &id)) return 0;
  SetCol(id);
  return 1;
}

// ---- Per-column setters and getters ---------------------------------------------------------------

bool TMG::GetColNullable(int c) { return In_Range(c) ? Rec(c)->nullable : false; }
void TMG::SetColNullable(int c, bool v) { if (In_Range(c)) Rec(c)->nullable = v; }
bool TMG::GetColReadonly(int c) { return In_Range(c) ? Rec(c)->readonly : false; }
void TMG::SetColReadonly(int c, bool v) { if (In_Range(c)) Rec(c)->readonly = v; }
int TMG::GetColStatMode(int c) { return In_Range(c) ? Rec(c)->stat_mode : 0; }
void TMG::SetColStatMode(int c, int v) { if (In_Range(c)) Rec(c)->stat_mode = v; }
TMG_EditStyle TMG::GetColEditStyle(int c) { return In_Range(c) ? Rec(c)->edit_style : 0; }
void TMG::SetColEditStyle(int c, TMG_EditStyle v) { if (In_Range(c)) Rec(c)->edit_style = v, Invalidate(); }
TMG_ShowStyle TMG::GetColShowStyle(int c) { return In_Range(c) ? Rec(c)->show_style : 0; }
void TMG::SetColShowStyle(int c, TMG_ShowStyle v) { if (In_Range(c)) Rec(c)->show_style = v, Invalidate(); }
TMG_AlignStyle TMG::GetColAlignStyle(int c) { return In_Range(c) ? Rec(c)->align_style : 0; }
void TMG::SetColAlignStyle(int c, TMG_AlignStyle v) { if (In_Range(c)) Rec(c)->align_style = v, Invalidate(); }
TColor TMG::GetColColor(int c) { return In_Range(c) ? Rec(c)->color : 0x5F5F5F; }
void TMG::SetColColor(int c, TColor v) { if (In_Range(c)) Rec(c)->color = v, Invalidate(); }
TColor TMG::GetColBgColor(int c) { return In_Range(c) ? Rec(c)->bgcolor : 0xFFFFFF; }
void TMG::SetColBgColor(int c, TColor v) { if (In_Range(c)) Rec(c)->bgcolor = v, Invalidate(); }
int TMG::GetColFixedSize(int c) { return In_Range(c) ? Rec(c)->fixed_width : -1; }
void TMG::SetColFixedSize(int c, int v) {
  if (!In_Range(c)) return;
  Rec(c)->fixed_width = v;
  SetColWidths(c, v);
}

void TMG::Set_Show_Row_Id_Mode(bool on) {
  showRowIdMode_ = on;
  SetColFixedSize(0, on ? 50 : 18);
  Invalidate();
}

void TMG::SetFixedFontColor(TColor c) {
  fixedFontColor_ = c;
  Invalidate();
}

// ---- Widths and order -----------------------------------------------------------------------------

int TMG::Hide_Col(int col) {
  if (!In_Range(col)) return 0;
  SetColWidths(col, 0);
  return 1;
}

int TMG::Hide_Col(const char* name) {
  int id;
  return GetColId(name, &id) ? Hide_Col(id) : 0;
}

int TMG::Show_Col(int col, int width) {
  if (!In_Range(col)) return 0;
  Rec(col)->width = width;
  SetColWidths(col, width);
  return 1;
}

int TMG::Show_Col(const char* name, int width) {
  int id;
  return GetColId(name, &id) ? Show_Col(id, width) : 0;
}

int TMG::Adjust_Col_Caption(const char* name, const char16_t* caption) {
  int id;
  if (!GetColId(name, &id)) return 0;
  SetCells(id, 0, caption ? QString::fromUtf16(caption) : QString());
  return 1;
}

int TMG::Adjust_Col_All_Hide() {
  for (int c = 1; c < ColCount(); ++c) {
    Rec(c)->width = 0;
    SetColWidths(c, 0);
  }
  return 1;
}

int TMG::Adjust_Col_Pos(const char* name, int pos) {
  int id;
  if (pos < 0 || pos >= ColCount() || !GetColId(name, &id)) return 0;
  if (id == pos) return 1;
  Swap_Col_Cells(id, pos);
  Rec(std::max(id, pos));  // both records exist before either is touched: growing moves them
  std::swap(cols_[id], cols_[pos]);
  return 1;
}

int TMG::Adjust_Col_Pos_And_Width(const char* name, int pos, int width) {
  Adjust_Col_Width(name, width);
  return Adjust_Col_Pos(name, pos);
}

void TMG::Swap_Attr_Col(int a, int b) {
  for (TMG_Cell_Attr& e : Cell_Attr) {
    if (e.col == a) e.col = b;
    else if (e.col == b) e.col = a;
  }
}

void TMG::Swap_Col_Cells(int a, int b) {
  for (int r = 0; r < RowCount(); ++r) {
    QString t = Cells(a, r);
    SetCells(a, r, Cells(b, r));
    SetCells(b, r, t);
  }
  int w = ColWidths(a);
  SetColWidths(a, ColWidths(b));
  SetColWidths(b, w);
}

int TMG::Swap_Column(int a, int b) {
  if (!In_Range(a) || !In_Range(b)) return 0;
  Swap_Col_Cells(a, b);
  Swap_Attr_Col(a, b);
  Rec(std::max(a, b));
  std::swap(cols_[a], cols_[b]);
  Column_Order_Changed = 1;
  Sort_Keys.clear();
  Sync_Sum();
  return 1;
}

int TMG::Col_Jump(const char* name, int pos) {
  int id;
  if (pos < 0 || pos >= ColCount() || !GetColId(name, &id)) return 0;
  while (id < pos) Swap_Column(id, id + 1), ++id;
  while (id > pos) Swap_Column(id, id - 1), --id;
  return 1;
}

int TMG::Check_Column_Turn(const char* first, const char* second) {
  int a, b;
  if (!GetColId(first, &a) || !GetColId(second, &b) || a < b) return 0;
  Swap_Column(a, b);
  return 1;
}

int TMG::Column_Move(TObject*, int from, int to) {
  if (!In_Range(from) || !In_Range(to) || from == to) return 0;
  for (TMG_Cell_Attr& e : Cell_Attr) {
    if (e.col == from) e.col = to;
    else if (from < to && e.col > from && e.col <= to) --e.col;
    else if (from > to && e.col >= to && e.col < from) ++e.col;
  }
  // The watched cell went with its column (the drag moved the texts), like the attributes.
  if (watchCol_ == from) watchCol_ = to;
  else if (from < to && watchCol_ > from && watchCol_ <= to) --watchCol_;
  else if (from > to && watchCol_ >= to && watchCol_ < from) ++watchCol_;
  Rec(std::max(from, to));
  TMG_Col_Def moved = cols_[from];
  cols_.erase(cols_.begin() + from);
  cols_.insert(cols_.begin() + to, moved);
  Column_Order_Changed = 1;
  Sort_Keys.clear();
  Sync_Sum();
  return 1;
}

// ---- Registration ---------------------------------------------------------------------------------

namespace {
void* Create_TMG(void* parent) { return new TMG(static_cast<QWidget*>(parent)); }
}  // namespace

void Mg_Register() { RegisterComponents(kZem_Palette_Page, "TMG", Create_TMG); }

static Zem_Unit_Registrar g_mg_unit("Mg", nullptr, nullptr, Mg_Register);
