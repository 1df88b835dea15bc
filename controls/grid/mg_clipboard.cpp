// TMG on the clipboard: Copy_To_Mem (the copy items of the menu and Ctrl+C), the export keys Ctrl+B and
// Ctrl+N.
//
// Copy_To_Mem text, rows from_row..to_row, columns from_col..to_col:
//   rows of height 0 and columns of width 0 are left out;
//   each cell's text goes through the narrow code page and back (characters the code page lacks read
//   "?"), at most 2047 characters, with every tab, LF and CR made a blank;
//   a tab follows each cell but one in the last column, "\r\n" each row but the last;
// so a hidden last column (row) still leaves the tab (line end) of the one before it, and the text
// pastes into a spreadsheet as the block the user sees.
// Ctrl+B / Ctrl+N text: every row from 0 (Ctrl+N: from FixedRows), every column of non-zero width from 1
// (Ctrl+N: from FixedCols); each cell trimmed, tabs and line breaks made blanks, followed by a tab; each
// row ended by LF.
#include "controls/grid/Mg.h"

#include "core/text/code_page.h"
#include "frame/vector_state.h"
#include "toolkit/tk_clipboard.h"

#include <QGuiApplication>
#include <algorithm>
#include <array>
#include <memory>

namespace {

const int kMaxCellText = 2047;

// What each UTF-16 code unit becomes on its way through the system code page and back, built once per
// code page. Surrogates are handled by the caller: code page 936 has no character beyond the BMP.
class Round_Trip {
 public:
  const char16_t* Table() {
    const int cp = Sys_Code_Page();
    if (!table_ || cp != cp_) Build(cp);
    return table_->data();
  }
  bool Utf8() const { return cp_ == ZEM_CP_UTF8; }

 private:
  void Build(int cp) {
    if (!table_) table_ = std::make_unique<std::array<char16_t, 0x10000>>();
    cp_ = cp;
    for (unsigned u = 0; u < 0x10000; ++u) {
      char16_t w = char16_t(u), back = u'?';
      char bytes[8];
      const int n = Zem_W_To_MB(cp, &w, 1, bytes, sizeof bytes);
      if (n > 0 && Zem_MB_To_W(cp, bytes, n, &back, 1) != 1) back = u'?';
      (*table_)[u] = back;
    }
  }

  std::unique_ptr<std::array<char16_t, 0x10000>> table_;
  int cp_ = -1;
};

Round_Trip& Trip() {
  static Round_Trip trip;
  return trip;
}

bool Is_High(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool Is_Low(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Appends one cell as Copy_To_Mem writes it to out (which has room for v.size() more units, the most a
// round trip can give). Returns the units written.
qsizetype Put_Cell(QStringView v, char16_t* out, const char16_t* table, bool utf8) {
  const char16_t* s = reinterpret_cast<const char16_t*>(v.utf16());
  const qsizetype n = v.size();
  qsizetype k = 0;
  for (qsizetype i = 0; i < n && k < kMaxCellText; ++i) {
    char16_t c = s[i];
    if (Is_High(c) && i + 1 < n && Is_Low(s[i + 1])) {
      if (utf8) {
        if (k + 2 > kMaxCellText) break;
        out[k++] = c;
        out[k++] = s[++i];
        continue;
      }
      ++i;  // the pair is one character without a code: one "?"
      out[k++] = u'?';
      continue;
    }
    if (Is_High(c) || Is_Low(c)) c = utf8 ? char16_t(0xFFFD) : u'?';
    else c = table[c];
    out[k++] = (c == u'\t' || c == u'\n' || c == u'\r') ? u' ' : c;
  }
  return k;
}

}  // namespace

QString TMG::Copy_Text(int from_row, int to_row, int from_col, int to_col) {
  // Beyond the grid nothing is shown, so nothing is copied from there.
  from_row = std::max(from_row, 0);
  from_col = std::max(from_col, 0);
  to_row = std::min(to_row, RowCount() - 1);
  to_col = std::min(to_col, ColCount() - 1);
  QString text;
  if (from_row > to_row || from_col > to_col) return text;
  Zem_Clean_Vector_State();  // every copied cell is converted and appended
  Round_Trip& trip = Trip();
  const char16_t* table = trip.Table();
  const bool utf8 = trip.Utf8();
  std::vector<int> cols;
  for (int c = from_col; c <= to_col; ++c)
    if (ColWidths(c) != 0) cols.push_back(c);
  qsizetype size = 0;
  // The text never grows on its way through the code page, so a cell needs at most its own length.
  auto room = [&](qsizetype need) {
    if (text.size() < size + need) text.resize(std::max<qsizetype>(2 * text.size(), size + need + 1024));
  };
  for (int r = from_row; r <= to_row; ++r) {
    if (RowHeights(r) == 0) continue;
    for (int c : cols) {
      const QStringView v = CellView(c, r);
      room(v.size() + 1);
      size += Put_Cell(v, reinterpret_cast<char16_t*>(text.data()) + size, table, utf8);
      if (c < to_col) text[size++] = u'\t';
    }
    if (r < to_row) {
      room(2);
      text[size++] = u'\r';
      text[size++] = u'\n';
    }
  }
  text.resize(size);
  return text;
}

int TMG::Copy_To_Mem(int from_row, int to_row, int from_col, int to_col) {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return 0;  // no clipboard to open
  Clipboard()->SetAsText(Copy_Text(from_row, to_row, from_col, to_col));
  return 1;
}

namespace {

// The export keys' text: rows from first_row, shown columns from first_col.
QString Export_Text(TMG* g, int first_row, int first_col) {
  QString text;
  for (int r = std::max(first_row, 0); r < g->RowCount(); ++r) {
    for (int c = std::max(first_col, 0); c < g->ColCount(); ++c) {
      if (g->ColWidths(c) == 0) continue;
      QStringView v = g->CellView(c, r);
      while (!v.isEmpty() && v.front().unicode() <= u' ') v = v.mid(1);
      while (!v.isEmpty() && v.back().unicode() <= u' ') v.chop(1);
      for (QChar ch : v) text += (ch == u'\t' || ch == u'\n' || ch == u'\r') ? QChar(u' ') : ch;
      text += u'\t';
    }
    text += u'\n';
  }
  return text;
}

}  // namespace

int TMG::Copy_Key_Down(WORD& Key, TShiftState Shift) {
  if (!Shift.Contains(ssCtrl) || Shift.Contains(ssAlt)) return 0;
  if (Key == 'C') {
    if (Col() < 0 || Row() < 0 || Col() >= ColCount() || Row() >= RowCount()) return 0;
    const TGridRect s = Selection();
    Copy_To_Mem(s.Top, s.Bottom, s.Left, s.Right);
  } else if ((Key == 'B' || Key == 'N') && Export_Allowed) {
    Clipboard()->SetAsText(Key == 'B' ? Export_Text(this, 0, 1) : Export_Text(this, FixedRows(), FixedCols()));
  } else {
    return 0;
  }
  Key = 0;
  return 1;
}
