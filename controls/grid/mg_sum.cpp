// TMG sum grid: pairing, the mirrored layout, scroll coupling both ways, totals and the row count.
#include "controls/grid/Mg.h"

#include "core/data/dec_num.h"
#include "util/lang_map.h"

#include <QScrollBar>
#include <cstdio>
#include <cstring>
#include <unordered_map>

namespace {

// Sums number texts exactly. Plain texts ([sign] digits [. digits], at most 18 digits) are added as
// integers per scale, so a million money cells cost one pass and no allocation; anything else goes
// through the decimal string addition, which reads it as the number routines do.
class Exact_Sum {
 public:
  // Adds v; returns how many characters follow its dot (0 without one): the decimals it was written with.
  int Add(QStringView v) {
    const char16_t* p = v.utf16();
    const char16_t* const e = p + v.size();
    bool neg = false;
    if (p < e && (*p == u'-' || *p == u'+')) neg = *p++ == u'-';
    // Unsigned, so that a long run of digits wraps instead of overflowing; it is then not used.
    unsigned long long m = 0;
    const char16_t* const whole = p;
    while (p < e && unsigned(*p - u'0') <= 9) m = m * 10 + unsigned(*p++ - u'0');
    int digits = int(p - whole), scale = 0;
    if (p < e && *p == u'.') {
      const char16_t* const frac = ++p;
      while (p < e && unsigned(*p - u'0') <= 9) m = m * 10 + unsigned(*p++ - u'0');
      scale = int(p - frac);
      digits += scale;
    }
    if (p == e && digits > 0 && digits <= 18) {
      by_scale_[scale] += neg ? -(long long)m : (long long)m;
      used_[scale] = true;
      return scale;
    }
    std::string t = TMG::Narrow(v), out;
    Dec_Add(slow_.c_str(), t.c_str(), &out);
    slow_ = out;
    const qsizetype dot = v.indexOf(u'.');
    return dot < 0 ? 0 : int(v.size() - dot - 1);
  }

  // The exact total; its scale is the largest of the values added.
  std::string Total() const {
    std::string total = slow_;
    for (int s = 0; s <= 18; ++s) {
      if (!used_[s]) continue;
      std::string out;
      Dec_Add(total.c_str(), Text(by_scale_[s], s).c_str(), &out);
      total = out;
    }
    return total;
  }

 private:
  static std::string Text(__int128 v, int scale) {
    const bool neg = v < 0;
    unsigned __int128 u = neg ? (unsigned __int128)(-(v + 1)) + 1 : (unsigned __int128)v;
    std::string d;
    do {
      d.insert(d.begin(), char('0' + int(u % 10)));
      u /= 10;
    } while (u);
    while (int(d.size()) <= scale) d.insert(d.begin(), '0');
    if (scale > 0) d.insert(d.size() - size_t(scale), ".");
    return neg ? "-" + d : d;
  }

  __int128 by_scale_[19] = {};
  bool used_[19] = {};
  std::string slow_ = "0";
};

// ',' between every three digits of the integer part, sign and fraction kept.
std::string Thousands(const std::string& s) {
  size_t b = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
  size_t e = s.find('.');
  if (e == std::string::npos) e = s.size();
  std::string out = s.substr(0, b);
  for (size_t i = b; i < e; ++i) {
    if (i > b && (e - i) % 3 == 0) out += ',';
    out += s[i];
  }
  return out + s.substr(e);
}

// The attribute list as the statistics read it: exact cells, whole columns and whole rows.
struct Exclusions {
  std::unordered_map<long long, int> cell;  // (row, col) -> flags of its first entry with 16 or 32
  std::unordered_map<int, bool> col, row;   // flag 16 on an entry for every row / every column
  bool any = false;

  explicit Exclusions(const std::vector<TMG_Cell_Attr>& list) {
    for (const TMG_Cell_Attr& e : list) {
      if (e.row >= 0 && e.col >= 0) {
        if (!(e.flags & (16 | 32))) continue;  // colours only
        cell.emplace((long long)e.row << 32 | unsigned(e.col), e.flags);
        any = true;
      } else if (e.row < 0 && e.col >= 0 && (e.flags & 16)) {
        col[e.col] = any = true;
      } else if (e.row >= 0 && e.col < 0 && (e.flags & 16)) {
        row[e.row] = any = true;
      }
    }
  }
  bool Excluded(int r, int c) const {
    if (!any) return false;
    auto it = cell.find((long long)r << 32 | unsigned(c));
    if (it != cell.end()) {
      if (it->second & 16) return true;
      if (it->second & 32) return false;
    }
    return col.count(c) || row.count(r);
  }
};

// The sum grid shows no scroll bar; a margin where the data grid has its vertical bar keeps both views
// equally wide, so the same left column lines the totals up under their columns. The bar is judged by
// its range, which the grid sets at once, since the scroll area shows or hides the bar only later.
int Sum_Margin(const TMG* data) {
  const QScrollBar* v = data->verticalScrollBar();
  const Qt::ScrollBarPolicy policy = data->verticalScrollBarPolicy();
  const bool shown = policy == Qt::ScrollBarAlwaysOn || (policy == Qt::ScrollBarAsNeeded && v->maximum() > v->minimum());
  return shown ? v->sizeHint().width() : 0;
}

// Row 1 becomes the sum grid's current row and its view stays on the data grid's LeftCol. The toolkit
// scrolls a grid to its current cell, and the sum grid's current column is wherever FixedCols last
// pushed it (locking columns moves it right): followed, it would drag the data grid back to it.
void Sum_Current_Row(TMG* s, int left) {
  auto keep = std::move(s->OnTopLeftChanged);
  s->OnTopLeftChanged = nullptr;
  s->SetRow(1);
  if (s->LeftCol() != left) s->SetLeftCol(left);
  s->OnTopLeftChanged = std::move(keep);
}

}  // namespace

// ---- Pairing and layout -----------------------------------------------------------------------------

int TMG::Set_Sum_Mg(TMG* sum) {
  if (sum == this) return 1;
  if (sumMg_ && sumMg_ != sum) {
    TMG* old = sumMg_.data();
    old->dataMg_ = nullptr;
    old->OnTopLeftChanged = [old](TObject* s) { old->TMG_OnTopLeftChanged(s); };
    old->OnSelectCell = Own_Select{old};
  }
  sumMg_ = sum;
  if (!sum) {
    OnTopLeftChanged = [this](TObject* s) { TMG_OnTopLeftChanged(s); };
    return 1;
  }
  sum->dataMg_ = this;
  // The sum grid may outlive this grid (neither owns the other): its handlers reach this grid only
  // while it exists and is still paired with it.
  sum->OnTopLeftChanged = [data = QPointer<TMG>(this), sum](TObject* s) {
    if (data && data->sumMg_ == sum)
      data->TMG_OnTopLeftChanged_For_Sum(s);
    else
      sum->TMG_OnTopLeftChanged(s);
  };
  sum->OnSelectCell = [sum](TObject* s, int c, int r, bool& can) { sum->TMG_OnItemSelectCell_For_Sum(s, c, r, can); };
  OnTopLeftChanged = [this](TObject* s) { TMG_OnTopLeftChanged_For_Data(s); };
  // The sum line is row 0, drawn as data; row 1 is hidden and the only one that can be current, so the
  // sum line never shows a selection. It is read, not edited, and scrolls only with its data grid.
  sum->SetRowCount(2);
  sum->SetFixedRows(0);
  sum->SetRowHeights(1, 0);
  Sum_Current_Row(sum, LeftCol());
  sum->SetOptions(sum->Options() >> goEditing >> goAlwaysShowEditor);
  sum->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  sum->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // In a layout the sum line keeps the height of its line (sizeHint) and grows only sideways.
  sum->setSizePolicy(sum->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
  sum->updateGeometry();
  // Rows filtered, added or resized may bring this grid's bar or take it away without a Sync_Sum.
  QObject::disconnect(verticalScrollBar(), SIGNAL(rangeChanged(int, int)), sum, nullptr);
  QObject::connect(verticalScrollBar(), &QScrollBar::rangeChanged, sum, [this, sum] {
    if (sumMg_ == sum) sum->setViewportMargins(0, 0, Sum_Margin(this), 0);
  });
  sum->setViewportMargins(0, 0, Sum_Margin(this), 0);
  return 1;
}

int TMG::Sync_Sum() {
  if (!sumMg_ || !sumMg_->Visible()) return 1;
  Fit_Sum_Grid_Size();
  Cal_Sum_Val();
  sumMg_->Show_Sum_Rec_Num(-1);
  return 1;
}

int TMG::Fit_Sum_Grid_Size() {
  TMG* s = sumMg_.data();
  if (!s) return 1;
  if (s->Font()->Name != Font()->Name || s->Font()->Size != Font()->Size) {
    TFont f;
    f.Assign(*s->Font());
    f.Name = Font()->Name;
    f.Size = Font()->Size;
    s->SetFont(f);
  }
  if (s->Left() != Left()) s->SetLeft(Left());
  if (s->Width() != Width()) s->SetWidth(Width());
  if (s->ColCount() != ColCount()) s->SetColCount(ColCount());
  if (s->FixedCols() != FixedCols()) s->SetFixedCols(FixedCols());
  for (int c = 0; c < ColCount(); ++c) {
    TMG_Col_Def* d = s->Rec(c);
    *d = *Rec(c);
    if (d->show_style == 2) d->show_style = 0;  // the sum line shows no check boxes
    if (s->ColWidths(c) != ColWidths(c)) s->SetColWidths(c, ColWidths(c));
  }
  s->setViewportMargins(0, 0, Sum_Margin(this), 0);
  s->SetRowCount(2);
  s->SetRowHeights(1, 0);
  Sum_Current_Row(s, LeftCol());
  return 1;
}

void TMG::TMG_OnTopLeftChanged_For_Data(TObject*) {
  Refresh_Mouse_Move_Height_Light();
  if (!sumMg_) return;
  // The sum grid's own handler is taken off while it follows, so the change does not come back here.
  auto keep = std::move(sumMg_->OnTopLeftChanged);
  sumMg_->OnTopLeftChanged = nullptr;
  sumMg_->SetLeftCol(LeftCol());
  sumMg_->OnTopLeftChanged = std::move(keep);
}

void TMG::TMG_OnTopLeftChanged_For_Sum(TObject*) {
  if (!sumMg_) return;
  auto keep = std::move(OnTopLeftChanged);
  OnTopLeftChanged = nullptr;
  SetLeftCol(sumMg_->LeftCol());
  OnTopLeftChanged = std::move(keep);
}

void TMG::TMG_OnItemSelectCell_For_Sum(TObject*, int, int ARow, bool& CanSelect) { CanSelect = ARow == 1; }

// ---- Statistics ------------------------------------------------------------------------------------

int TMG::Cal_Sum_Val() {
  TMG* s = sumMg_.data();
  if (!s) return 1;
  const int n_rows = Get_Have_Data_Row_Num();
  s->SetRowCount(2);
  s->BeginUpdate();
  s->Rows(0)->Clear();
  const Exclusions excl(Cell_Attr);
  struct Stat {
    int col;
    bool ext;
    std::string opt;
    Exact_Sum sum;
    int dec = -1;
    bool same = true, counted = false;
  };
  std::vector<Stat> stats;
  char opt[200];
  char key[80];
  for (int c = FixedCols(); c < ColCount(); ++c) {
    const TMG_Col_Def* d = Rec(c);
    std::snprintf(key, sizeof key, "sum_val.%s", d->name);
    if (Opt_Get_Val(key, opt)) {
      s->SetCells(c, 0, Wide(opt));
      continue;
    }
    std::snprintf(key, sizeof key, "sum_ext.%s", d->name);
    const bool ext = Opt_Get_Val(key, opt) != 0;
    if (d->stat_mode == 0) {
      if (ext) s->SetCells(c, 0, Wide(opt));
      continue;
    }
    stats.push_back(Stat{c, ext, ext ? std::string(opt) : std::string(), Exact_Sum()});
  }
  // A number kept as typed ("12a.5", "1.234" in a column of two decimals) is no amount yet: it counts
  // once it is mended, not as the number its cleaning would have made of it.
  const bool kept_as_typed = Opt_Exist("keep_bad_number");
  // One pass over the rows for all columns: each row's texts are read while they are at hand.
  for (int r = FixedRows(); r < RowCount() && !stats.empty(); ++r) {
    if (RowHeights(r) == 0) continue;
    for (Stat& st : stats) {
      if (excl.Excluded(r, st.col)) continue;
      QStringView v = CellView(st.col, r).left(100);
      if (v.isEmpty()) continue;
      if (kept_as_typed && !Number_Problem(st.col, r).isEmpty()) continue;
      const int k = st.sum.Add(v);
      if (st.dec < 0) st.dec = k;
      else if (k != st.dec) st.same = false;
      st.counted = true;
    }
  }
  for (Stat& st : stats) {
    const TMG_Col_Def* d = Rec(st.col);
    int dec = st.dec > 10 ? 8 : st.dec;
    std::string result = "0";
    if (st.counted) {
      const std::string total = st.sum.Total();
      if (st.same && dec > 0) Dec_Round(total.c_str(), dec, &result);
      else Dec_Norm(total.c_str(), 0, &result);
    }
    const bool average = d->stat_mode == 2;
    if (average) {
      std::string q;
      if (n_rows > 0) Dec_Div(result.c_str(), std::to_string(n_rows).c_str(), dec, &q);
      result = n_rows > 0 ? q : std::string();
    }
    // Separators go on last, so that an average is grouped as its total would be.
    if (d->ext_opt & 4) result = Thousands(result);
    if (!result.empty() && result[0] == '+') result.erase(0, 1);
    std::string cell;
    if (st.ext) cell = "Tot:" + result + "\r\n" + st.opt;
    else if (average && !result.empty()) cell = "E:" + result;
    else cell = result;
    s->SetCells(st.col, 0, Wide(cell.c_str()));
  }
  s->EndUpdate();
  s->SetRowHeights(1, 0);
  Sum_Current_Row(s, LeftCol());
  s->Fit_To_Show(0, 0);
  s->updateGeometry();  // a layout gives the line its new height
  return 1;
}

int TMG::Show_Sum_Rec_Num(int n) {
  if (n < 0) {
    if (!dataMg_) return 1;
    n = dataMg_->Get_Have_Data_Row_Num();
  }
  int c = 1;
  while (c < ColCount() && ColWidths(c) < 50) ++c;
  if (c >= ColCount()) return 1;
  if (Rec(c)->stat_mode == 0) {
    Rec(c)->show_style = 0;
    SetCells(c, 0, QString::fromUtf16(Lang_Cap(map_wchar(u"grid"), u"合计")) + QStringLiteral(" %1").arg(n));
  } else if (showRowIdMode_) {
    SetCells(0, 0, QString::fromUtf16(Lang_Cap(map_wchar(u"grid"), u"总")) + QStringLiteral("%1 ").arg(n));
  }
  return 1;
}

int TMG::Set_Sum_Flag(const char* col_name, int mode) {
  int id;
  if (GetColId(col_name, &id)) SetColStatMode(id, mode);
  return 1;
}

int TMG::Clear_All_Sum_Flag() {
  for (int c = 0; c < ColCount(); ++c) Rec(c)->stat_mode = 0;
  return 1;
}

int TMG::Set_All_Num_Sum_Flag() {
  for (int c = 0; c < ColCount(); ++c) {
    TMG_Col_Def* d = Rec(c);
    if (Is_Num_Type(d->type) && d->show_style != 2) d->stat_mode = 1;
  }
  return 1;
}

QSize TMG::sizeHint() const {
  const QSize base = TStringGrid::sizeHint();
  if (!dataMg_) return base;
  // A sum grid: its one line (row 0, the lines of a "sum_ext" text included) and the frame.
  return QSize(base.width(), RowHeights(0) + 2 * frameWidth());
}

QSize TMG::minimumSizeHint() const {
  const QSize base = TStringGrid::minimumSizeHint();
  return dataMg_ ? QSize(base.width(), sizeHint().height()) : base;
}
