// TMG drawing: cell colours, money and check-box cells, text layout, header units, sort marks, row
// numbers and row heights.
#include "controls/grid/Mg.h"

#include "core/data/dec_num.h"
#include "toolkit/tk_image.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QScrollBar>
#include <cstdio>
#include <cstring>

namespace {

const int kMargin = 4;

const TColor kGridLine = 0xA2C8A2;
const TColor kNoFormBg = 0xF3F3F2;
const TColor kZebraEven = 0xFEFFFF, kZebraOdd = 0xFEFFF6;
const TColor kReadonlyBg = 0xE8F4EE;
const TColor kSelectedBg = 0xF16555, kSelectedText = 0xFFFFFF;
const TColor kCurrentRowBg = 0xDEFFBF;
const TColor kNegativeText = 0x0000FF;
const TColor kCheckedRowBg = 0xF9F0C8;
const TColor kCornerBg = 0xEFE5F6;
// Search colours: the backgrounds are the grid's (green for the hit, yellow for the other matches); the
// text on them is white and black, whatever the cell's own colour, so that it reads at a contrast of at
// least 4.5:1 (5.1:1 and 19.6:1) where a red or dark text would not.
const TColor kSearchHit = 0x008000, kSearchOther = 0x00FFFF;
const TColor kSearchHitText = 0xFFFFFF, kSearchOtherText = 0x000000;
// A number cell kept as typed ("keep_bad_number"): dark red on pale red, 6.0:1.
const TColor kBadNumberBg = 0xE0E0FF, kBadNumberText = 0x0000B0;
const TColor kSortMark = 0x1F7F3F;
const TColor kTick = 0xC81866, kCross = 0x1E4EC8;

TColor From_QColor(const QColor& c) { return TkRGB(c.red(), c.green(), c.blue()); }

// A number as the digit places of a money cell can show it: [sign] digits (thousands separators
// allowed) [. digits], blanks around it.
bool Money_Number(const char* s) {
  while (*s == ' ' || *s == '\t') ++s;
  if (*s == '+' || *s == '-') ++s;
  int digits = 0;
  for (; (*s >= '0' && *s <= '9') || (*s == ',' && digits > 0); ++s) digits += *s != ',';
  if (*s == '.')
    for (++s; *s >= '0' && *s <= '9'; ++s) ++digits;
  while (*s == ' ' || *s == '\t') ++s;
  return digits > 0 && !*s;
}

// The cell shows the search colours: it holds the search text and is not the selection of a focused grid.
bool Search_Shown(TMG& g, int col, int row, TGridDrawState state) {
  const bool focusedSelection =
      state.Contains(gdSelected) && (g.hasFocus() || (g.InplaceEditor() && g.InplaceEditor()->hasFocus()));
  return g.Search_Text[0] && !focusedSelection && g.CellView(col, row).contains(QStringView(g.Search_Text));
}

// A data cell kept as typed though the number normalisation would change it.
bool Bad_Number_Shown(TMG& g, int col, int row) {
  return col >= g.FixedCols() && row >= g.FixedRows() && g.Opt_Exist("keep_bad_number") &&
         !g.Number_Problem(col, row).isEmpty();
}

// Breaks text into lines between characters so that each fits width (a line keeps at least one
// character); CR or LF end a line, with one directly following CR or LF. *widths gets each line's width.
std::vector<QString> Break_Lines(TCanvas* canvas, QStringView text, int width, std::vector<int>* widths) {
  std::vector<QString> lines;
  qsizetype i = 0, n = text.size();
  while (i < n) {
    // A run that fits the width whole is the line (prefix widths only grow): one measure, not one per
    // character, for the texts of most cells.
    qsizetype end = i;
    while (end < n && end - i < 400 && text[end] != u'\r' && text[end] != u'\n') ++end;
    const qsizetype len = end - i;
    const int whole = len > 0 ? canvas->TextWidth(text.mid(i, len).toString()) : 0;
    if (len > 0 && whole <= width) {
      lines.push_back(text.mid(i, len).toString());
      widths->push_back(whole);
      i = end;
      if (len < 400 && i < n) {  // the line end, and one more CR or LF right after it
        ++i;
        if (i < n && (text[i] == u'\r' || text[i] == u'\n')) ++i;
      }
      continue;
    }
    QString line;
    while (i < n && line.size() < 400) {
      QChar ch = text[i];
      if (ch == u'\r' || ch == u'\n') {
        ++i;
        if (i < n && (text[i] == u'\r' || text[i] == u'\n')) ++i;
        break;
      }
      line += ch;
      if (line.size() > 1 && canvas->TextWidth(line) > width) {
        line.chop(1);
        break;
      }
      ++i;
    }
    lines.push_back(line);
    widths->push_back(canvas->TextWidth(line));
  }
  return lines;
}

}  // namespace

const TMG_Rect_Def* TMG::Unit_At(int col, int row, bool last) const {
  const TMG_Rect_Def* found = nullptr;
  for (const TMG_Rect_Def& u : rects_)
    if (col >= u.a && col <= u.c && row >= u.b && row <= u.d) {
      found = &u;
      if (!last) break;
    }
  return found;
}

int TMG::Get_Color(int col, int row, TColor& color, TColor& bgcolor, TGridDrawState State) {
  bool selected = State.Contains(gdSelected);
  bool fixed = col < FixedCols() || row < FixedRows();
  TMG_Col_Def* d = In_Range(col) ? Rec(col) : GetColDef(-1);
  if (fixed) {
    QWidget* form = window();
    bgcolor = form && form != this ? From_QColor(form->palette().color(QPalette::Window)) : kNoFormBg;
    color = fixedFontColor_;
    if (!Marked_Col_Name.empty() && Marked_Col_Name == d->name) color = 0x0000FF;
    if (Marked_Col_Name == "-" && col == 0 && row == 0) color = 0x0000FF;
  } else {
    bgcolor = d->bgcolor;
    color = d->color;
    if (!selected || Base_Color_Mode != 0) {
      if (d->bgcolor == 0xFFFFFF) bgcolor = row % 2 == 0 ? kZebraEven : kZebraOdd;
      if (d->readonly) bgcolor = kReadonlyBg;
    } else {
      bgcolor = kSelectedBg;
      color = kSelectedText;
    }
    if (showRowIdMode_ && Base_Color_Mode == 0 && !selected && RowCount() > 1 && row == Row() &&
        col != Col())
      bgcolor = kCurrentRowBg;
    if (d->type == 'I' || d->type == 'F') {
      std::string t = Narrow(CellView(col, row));
      if (t.size() < 60 && Dec_Cmp(t.c_str(), "0") < 0) color = kNegativeText;
    }
    if (!selected || Base_Color_Mode == 1) {
      // Exact cell first; what it leaves open comes from the whole-column, then the whole-row entry.
      bool haveText = false, haveBg = false;
      auto apply = [&](int r, int c) {
        for (const TMG_Cell_Attr& e : Cell_Attr) {
          bool rm = e.row == r || (r < 0 && e.row < 0);
          bool cm = e.col == c || (c < 0 && e.col < 0);
          if (!rm || !cm) continue;
          if ((e.flags & 4) && !haveText) color = e.color, haveText = true;
          if ((e.flags & 8) && !haveBg) bgcolor = e.bgcolor, haveBg = true;
          return;
        }
      };
      apply(row, col);
      apply(-10, col);
      apply(row, -10);
    }
    if ((!selected || Base_Color_Mode == 1) && GetRow_Bool(row)) bgcolor = kCheckedRowBg;
    if (!selected && Is_Num_Type(d->type) && Bad_Number_Shown(*this, col, row)) {
      bgcolor = kBadNumberBg;
      color = kBadNumberText;
    }
  }
  if (col == 0 && row == 0) bgcolor = kCornerBg;
  GetEditColor(col, row, color, bgcolor, State);
  const bool focusedSelection = selected && (hasFocus() || (InplaceEditor() && InplaceEditor()->hasFocus()));
  if (Search_Shown(*this, col, row, State)) {
    const bool hit = col == Search_Hit_Col && row == Search_Hit_Row;
    bgcolor = hit ? kSearchHit : kSearchOther;
    color = hit ? kSearchHitText : kSearchOtherText;
  }
  if (Row_Hover && Base_Color_Mode == 0 && Hover_Active() && !focusedSelection && Last_Hover_Row >= 1 &&
      Last_Hover_Row < RowCount() && Last_Hover_Col >= 0 && Last_Hover_Col < ColCount()) {
    bool current = col == Col() && row == Row();
    int k = 0;
    if (row == Last_Hover_Row && RowCount() > 1 && col >= FixedCols() && !current) k = 1;
    if (Col_Hover && Last_Hover_Col >= FixedCols() && col == Last_Hover_Col && row >= FixedRows() &&
        RowCount() > 1 && !current)
      ++k;
    if (k == 1) bgcolor = Col_Hover ? 0xE1FFFF : 0x61FFFF;
    else if (k == 2) bgcolor = 0x61FFFF;
  }
  return 1;
}

TColor TMG::GetEditColor(int col, int row, TColor& color, TColor& bgcolor, TGridDrawState State) {
  if (OnGetEditColor) OnGetEditColor(this, col, row, color, bgcolor, State);
  return Color();
}

int TMG::Get_Rect(int col, int row, TRect* r) {
  if (!r) return 1;
  const int gl = GridLineWidth();
  int x = 0, y = 0;
  for (int c = 0; c < FixedCols(); ++c) x += ColWidths(c) + gl;
  for (int c = LeftCol(); c < col; ++c) x += ColWidths(c) + gl;
  for (int k = 0; k < FixedRows(); ++k) y += RowHeights(k) + gl;
  for (int k = TopRow(); k < row; ++k) y += RowHeights(k) + gl;
  *r = TRect(x, y, x + ColWidths(col), y + RowHeights(row));
  return 1;
}

// The pen draws the cell's border and the brush its background in one step, so the border stays.
void TMG::Out_Text(int, int, int align, TRect& rect, const char16_t* text, TGridDrawState, TCanvas* canvas) {
  canvas->Rectangle(rect);
  canvas->Font->SetName(Font()->GetName());
  canvas->Font->SetSize(Font()->GetSize());
  if (!text || !*text) return;
  int w = rect.Right - rect.Left, h = rect.Bottom - rect.Top;
  std::vector<int> widths;
  std::vector<QString> lines = Break_Lines(canvas, QStringView(text), w - 2 * kMargin, &widths);
  int th = canvas->TextHeight(QStringLiteral("8"));
  int total = int(lines.size()) * (th + kMargin);
  int y = total < h ? rect.Top + (h - total) / 2 + kMargin / 2 : rect.Top + kMargin / 2;
  for (size_t k = 0; k < lines.size(); ++k) {
    const QString& line = lines[k];
    if (y > rect.Bottom - kMargin) break;
    int lw = widths[k];
    int x = align == 1 ? rect.Right - lw - kMargin : align == 2 ? rect.Left + 1 + (w - 1 - lw) / 2
                                                                 : rect.Left + 1 + kMargin;
    canvas->TextOut(x, y, line);
    y += th + kMargin;
  }
}

void TMG::Show_Money(int col, int row, TRect& rect, const char* text, TGridDrawState State) {
  TCanvas* cv = Canvas();
  int d = cv->TextWidth(QStringLiteral("8")) + 3;
  // The digit grid has eleven places of the font's digit width: a money column dragged wider or
  // narrower goes back to that width, or its rulings would no longer close the cell. A fixed width
  // given to the column is held instead (by the cell drawing), so the two never take turns.
  if (In_Range(col) && Rec(col)->fixed_width < 0 && ColWidths(col) != 0 && ColWidths(col) != 11 * d + 3)
    SetColWidths(col, 11 * d + 3);
  // The sum line also writes averages ("E:..."), totals with a second line ("Tot:...") and fixed
  // texts under money columns: they are shown as the text they are, right aligned; the digit places
  // would read them as a number.
  if (dataMg_ && text && *text && !Money_Number(text)) {
    const std::u16string w = Wide(text).toStdU16String();
    Out_Text(col, row, 1, rect, w.c_str(), State, cv);
    return;
  }
  cv->Rectangle(rect);
  int g = GridLineWidth() + 1;
  TRect r{rect.Left + g, rect.Top + g, rect.Right - g, rect.Bottom - g};
  TColor penColor = cv->Pen->GetColor();
  int penWidth = cv->Pen->GetWidth();
  cv->Pen->SetWidth(1);
  for (int k = 1; k <= 10; ++k) {
    cv->Pen->SetColor(k == 9 ? 0x0000FF : (k == 3 || k == 6) ? 0x000000 : 0x808080);
    cv->MoveTo(r.Left + k * d, r.Top - 1);
    cv->LineTo(r.Left + k * d, r.Bottom + 1);
  }
  cv->Pen->SetColor(penColor);
  cv->Pen->SetWidth(penWidth);
  if (!text || !*text) return;
  std::string s = Mg_Format_Number(text, 2, true);
  // Leading zeros after the sign take no place: 0.50 shows only its fraction digits.
  size_t start = (!s.empty() && s[0] == '-') ? 1 : 0;
  size_t z = start;
  while (z < s.size() && s[z] == '0') ++z;
  s = s.substr(0, start) + s.substr(z);
  TFontStyles style = cv->Font->GetStyle();
  TColor fontColor = cv->Font->GetColor();
  bool selected = State.Contains(gdSelected);
  const bool found = In_Range(col) && Search_Shown(*this, col, row, State);  // digits in the search's text colour
  int y = r.Top + (r.Bottom - r.Top - cv->TextHeight(QStringLiteral("8"))) / 2;
  int k = 0;
  for (size_t i = s.size(); i-- > 0;) {
    char ch = s[i];
    if (ch == '.' || ch == ',') continue;  // the rulings mark the decimal point and the thousands
    ++k;
    TColor c = 0x000000;
    bool bold = false;
    if (ch == '-') c = 0x0000FF, bold = true;
    else if (k <= 2) c = 0x0000FF;
    else if (k <= 6) c = 0x000000;
    else if (k <= 11) c = 0xFF0000, bold = true;
    if (selected) c = 0xFFFFFF;
    else if (found) c = fontColor;
    cv->Font->SetColor(c);
    cv->Font->SetStyle(bold ? style | fsBold : style);
    cv->TextOut(r.Left + 11 * d + 2 - k * d, y, QString(QChar(ch)));
  }
  cv->Font->SetStyle(style);
  cv->Font->SetColor(fontColor);
}

void TMG::Show_Bool(int, int, TRect& rect, const char* text, TGridDrawState State) {
  TCanvas* cv = Canvas();
  cv->Rectangle(rect);
  TColor penColor = cv->Pen->GetColor();
  int penWidth = cv->Pen->GetWidth();
  cv->Pen->SetWidth(3);
  cv->Pen->SetStyle(psSolid);
  int h = rect.Bottom - rect.Top, l = rect.Left, t = rect.Top;
  char c = text ? text[0] : 0;
  if (c == 'T' || c == '1' || c == 't' || c == 'Y' || c == 'y') {
    cv->Pen->SetColor(State.Contains(gdSelected) ? 0xFFFFFF : kTick);
    const TPoint tick[] = {TPoint(l + 6, t + 2 * h / 3 - 1), TPoint(l + 11, t + 4 * h / 5), TPoint(l + 22, t + h / 4 + 1)};
    cv->Polyline(tick, 3);  // one stroke, so the two legs join without a notch
  } else if (c == 'F' || c == '0' || c == 'f' || c == 'N' || c == 'n') {
    cv->Pen->SetColor(kCross);
    cv->MoveTo(l + 8, t + h / 4 + 1);
    cv->LineTo(l + 19, t + 3 * h / 4 - 1);
    cv->MoveTo(l + 8, t + 3 * h / 4 - 1);
    cv->LineTo(l + 19, t + h / 4 + 1);
  }
  cv->Pen->SetColor(penColor);
  cv->Pen->SetWidth(penWidth);
}

void TMG::OnMGGridDrawCell(TObject*, int ACol, int ARow, TRect& Rect, TGridDrawState State) {
  if (RowHeights(ARow) == 0) return;
  TMG_Col_Def* d = In_Range(ACol) ? Rec(ACol) : GetColDef(-1);
  if (ACol < 250 && d->fixed_width >= 0 && ColWidths(ACol) != d->fixed_width) SetColWidths(ACol, d->fixed_width);
  int align = d->align_style;
  if (ARow < FixedRows() || (ACol == 0 && FixedCols() > 0)) align = 2;
  TCanvas* cv = Canvas();
  cv->Pen->SetColor(kGridLine);
  cv->Pen->SetWidth(GridLineWidth() > 0 ? GridLineWidth() : 1);
  cv->Pen->SetStyle(psSolid);
  cv->Brush->SetStyle(bsSolid);
  TColor color, bg;
  Get_Color(ACol, ARow, color, bg, State);
  cv->Brush->SetColor(bg);
  cv->Font->Assign(*Font());
  cv->Font->SetColor(color);
  int gl = GridLineWidth();

  if (const TMG_Rect_Def* u = Unit_At(ACol, ARow, false)) {
    // The caption is laid out over the whole unit and each cell draws its own part of it straight onto
    // the grid, at the screen's resolution (the unit's origin moved to where it lies, clipped to the
    // cell). A unit reaching past the grid counts only its columns and rows that exist; its size is held
    // to what a screen can show, so a unit defined over a huge area costs no more than that.
    int W = 0, H = 0, x0 = 1, y0 = 0;
    for (int c = std::max(u->a, 0); c <= std::min(u->c, ColCount() - 1); ++c) {
      W += ColWidths(c) + gl;
      if (c < ACol) x0 += ColWidths(c) + gl;
    }
    for (int r = std::max(u->b, 0); r <= std::min(u->d, RowCount() - 1); ++r) {
      H += RowHeights(r) + gl;
      if (r < ARow) y0 += RowHeights(r) + gl;
    }
    const int kMaxUnit = 8192;
    W = std::min(W, kMaxUnit);
    H = std::min(H, kMaxUnit);
    TRect ur{0, 0, W + 1, H};
    std::u16string cap = Wide(u->caption).toStdU16String();
    TFont font;
    font.Assign(*cv->Font);
    cv->DrawMoved(Rect, Rect.Left - x0, Rect.Top - y0, [&] { Out_Text(ACol, ARow, align, ur, cap.c_str(), State, cv); });
    cv->Font->Assign(font);
    Draw_Sort_Mark(ACol, ARow, Rect);
    return;
  }

  TRect r = Rect;
  if (gl > 0) {
    r.Right += gl, r.Bottom += gl;
    if (ACol != 0) r.Left -= gl;
    if (ARow != 0) r.Top -= gl;
  } else {
    if (ACol != 0) r.Left -= 1;
    if (ARow != 0) r.Top -= 1;
  }
  const bool bad = Is_Num_Type(d->type) && Bad_Number_Shown(*this, ACol, ARow);  // shown as typed, not in places
  if (ACol >= FixedCols() && ARow >= FixedRows() && d->show_style == 1 && !bad) {
    Show_Money(ACol, ARow, r, Narrow(CellView(ACol, ARow)).c_str(), State);
  } else if (ACol >= FixedCols() && ARow >= FixedRows() && d->show_style == 2) {
    Show_Bool(ACol, ARow, r, Narrow(CellView(ACol, ARow)).c_str(), State);
  } else {
    QStringView v = CellView(ACol, ARow);
    std::u16string t(reinterpret_cast<const char16_t*>(v.utf16()), size_t(v.size()));
    Out_Text(ACol, ARow, align, r, t.c_str(), State, cv);
  }
  Draw_Sort_Mark(ACol, ARow, Rect);
}

// A sort key's priority and direction, in the header cell of its column in row 0; when that cell is part
// of a header unit (whose caption covers it), in the column's cell of the lowest header row instead, so
// that a grid with two header rows shows its marks too.
void TMG::Draw_Sort_Mark(int ACol, int ARow, const TRect& Rect) {
  if (ACol <= 0 || ARow >= FixedRows()) return;
  const int markRow = Unit_At(ACol, 0, false) ? FixedRows() - 1 : 0;
  if (ARow != markRow) return;
  const int k = Sort_Col_Get(ACol);
  if (k < 0) return;
  TCanvas* cv = Canvas();
  TFont keep;
  keep.Assign(*cv->Font);
  cv->Font->SetName(QStringLiteral("Arial"));
  cv->Font->SetSize(7);
  cv->Font->SetColor(kSortMark);
  cv->Brush->SetStyle(bsClear);  // over a unit's caption the marks leave it readable
  cv->TextOut(Rect.Left + 3, Rect.Top + 1, QString::number(k + 1));
  cv->TextOut(Rect.Left + 1, Rect.Top + 10, Sort_Keys[size_t(k)].desc ? QStringLiteral("▼") : QStringLiteral("▲"));
  cv->Brush->SetStyle(bsSolid);
  cv->Font->Assign(keep);
}

// ---- Row heights, numbers, marks, repaints --------------------------------------------------------

int TMG::Cal_Row_Fit_Height(int row, int& height) {
  height = 0;
  if (RowCount() >= 1501 && row >= FixedRows()) {
    int last = TopRow() + VisibleRowCount() - 1;  // the last visible row
    if (row < TopRow() - 20 || row > last + 20) {
      height = DefaultRowHeight();
      return 1;
    }
  }
  TCanvas* cv = Canvas();
  int th = cv->TextHeight(QStringLiteral("8"));
  int gl = GridLineWidth();
  for (int c = 1; c < ColCount(); ++c) {
    if (ColWidths(c) == 0) continue;
    const TMG_Rect_Def* u = Unit_At(c, row, true);
    int c0 = u ? u->a : c, c1 = u ? u->c : c, lastRow = u ? u->d : row;
    if (row != lastRow) continue;
    QStringView text = u ? QStringView() : CellView(c, row);
    QString cap;
    if (u) {
      cap = Wide(u->caption);
      text = cap;
    }
    int w = 1;
    for (int k = std::max(c0, 0); k <= std::min(c1, ColCount() - 1); ++k) w += ColWidths(k) + gl;
    std::vector<int> widths;
    int need = kMargin / 2 + int(Break_Lines(cv, text, w - 2 * kMargin, &widths).size()) * (th + kMargin);
    height = std::max(height, need);
  }
  return 1;
}

int TMG::Fit_To_Show(int from, int to) {
  for (int r = std::max(from, 0); r <= std::min(to, RowCount() - 1); ++r) {
    if (RowHeights(r) == 0) continue;
    int h;
    Cal_Row_Fit_Height(r, h);
    h = std::max(h, DefaultRowHeight());
    if (RowHeights(r) != h) SetRowHeights(r, h);
  }
  return 1;
}

int TMG::Fit_To_Show() {
  Fit_To_Show(0, FixedRows());
  return Fit_To_Show(TopRow(), TopRow() + VisibleRowCount());
}

int TMG::Show_Row_Id() {
  // Compared in place and written only where the number differs: renumbering a million rows after a
  // filter or a sort writes only the rows whose number changed.
  int n = 0;
  char16_t buf[16];
  BeginUpdate();
  for (int r = FixedRows(); r < RowCount(); ++r) {
    if (RowHeights(r) == 0) continue;
    int len = 0;
    for (unsigned v = unsigned(++n); v; v /= 10) buf[15 - len++] = char16_t(u'0' + v % 10);
    QStringView t(buf + 16 - len, len);
    if (CellView(0, r) != t) SetCells(0, r, t);
  }
  EndUpdate();
  return 1;
}

int TMG::Show_Row_Mark(int row) {
  if (!showRowIdMode_) {
    if (Row_Mark_Row >= 0) SetCells(0, Row_Mark_Row, QStringLiteral(" "));
    SetCells(0, row, QString(QChar(0x25C6)));
  }
  if (row != Row_Mark_Row) {
    Redraw_Row(Row_Mark_Row);
    Redraw_Row(row);
  }
  // The row current until this move loses its tint too, also when the mark was elsewhere (a grid with
  // two header rows starts on row 2 while the mark row is 1).
  if (Row() != row && Row() != Row_Mark_Row) Redraw_Row(Row());
  Row_Mark_Row = row;
  return 1;
}

int TMG::Show_Row_Num() {
  if (OnShowRowNum) OnShowRowNum(this);
  return 1;
}

int TMG::Show_Last_Row() {
  int hgt = height();
  if (horizontalScrollBar() && horizontalScrollBar()->isVisible()) hgt -= 18;
  int dh = DefaultRowHeight();
  if (dh <= 0) return 1;
  int n = hgt / dh - FixedRows();
  for (int r = TopRow(); r <= TopRow() + n - 2 && r < RowCount(); ++r) SetRowHeights(r, dh);
  for (int r = std::max(TopRow() + n - 1, 0); r <= RowCount() - 2; ++r) SetRowHeights(r, 0);
  return 1;
}

int TMG::Set_Base_Color_Mode(int mode) {
  Base_Color_Mode = mode;
  Invalidate();
  return 1;
}

// ---- Background picture ---------------------------------------------------------------------------

int TMG::Set_Background_Image(TImage* picture) {
  bgPict_ = picture;
  Invalidate();
  return 1;
}

// The rows and columns cover GridHeight() x GridWidth() from the top-left whenever they do not fill the
// view (a grid that does not fill its view cannot be scrolled), so the bands below and right of them
// are the empty area. Each band shows the picture's pixels at the same coordinates, as far as the
// picture reaches.
void TMG::Paint() {
  TStringGrid::Paint();
  if (!bgPict_ || bgPict_->Bitmap()->Empty()) return;
  TCanvas* cv = Canvas();
  if (!cv->Painter()) return;
  const int cw = viewport()->width(), ch = viewport()->height();
  const long long H = GridHeight(), W = GridWidth();
  bgPict_->Bitmap()->Image();  // closes the picture's own painter so that its pixels are complete
  const QRect pict(0, 0, bgPict_->Width(), bgPict_->Height());
  auto copy = [&](const QRect& band) {
    QRect r = band & pict;
    if (r.isEmpty()) return;
    TRect t{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
    cv->CopyRect(t, bgPict_->Canvas(), t);
  };
  if (H < ch) copy(QRect(0, int(H), cw, ch - int(H)));
  if (W < cw) copy(QRect(int(W), 0, cw - int(W), ch));
}

int TMG::Redraw_Row(int row) {
  if (row >= 0 && row < RowCount()) InvalidateRow(row);
  return 1;
}

int TMG::Redraw_Col(int col) {
  if (In_Range(col)) InvalidateCol(col);
  return 1;
}

int TMG::Redraw_Cell(int col, int row) {
  InvalidateCell(col, row);
  return 1;
}

bool TMG::Hover_Active() const {
  // The application is active and this grid's window is the active one, with the mouse over the cells.
  QWidget* w = QApplication::activeWindow();
  return mouseInside_ && w && w == window();
}

void TMG::Redraw_Hover() {
  if (!Row_Hover) return;
  Redraw_Row(Last_Hover_Row);
  if (Col_Hover) Redraw_Col(Last_Hover_Col);
}

void TMG::changeEvent(QEvent* e) {
  TStringGrid::changeEvent(e);
  if (e->type() == QEvent::ActivationChange) Redraw_Hover();
}

void TMG::TMG_OnMouseMove(TObject*, TShiftState, int X, int Y) {
  mouseInside_ = true;
  if (!Row_Hover) return;
  int c, r;
  MouseToCell(X, Y, c, r);
  if (r != Last_Hover_Row) {
    Redraw_Row(Last_Hover_Row);
    Redraw_Row(r);
  }
  if (c != Last_Hover_Col && Col_Hover) {
    Redraw_Col(Last_Hover_Col);
    Redraw_Col(c);
  }
  Last_Hover_Row = r;
  Last_Hover_Col = c;
}

int TMG::Refresh_Mouse_Move_Height_Light() {
  if (!Row_Hover) return 1;
  QPoint p = viewport()->mapFromGlobal(QCursor::pos());
  int c, r;
  MouseToCell(p.x(), p.y(), c, r);
  Redraw_Row(Last_Hover_Row);
  Redraw_Row(r);
  if (Col_Hover) {
    Redraw_Col(Last_Hover_Col);
    Redraw_Col(c);
  }
  Last_Hover_Row = r;
  Last_Hover_Col = c;
  return 1;
}
