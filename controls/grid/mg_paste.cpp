// TMG paste: tab-separated text as spreadsheets put it on the clipboard, checked whole before any cell
// changes, so that a paste is applied whole or not at all.
//
// Clipboard text:
//   cells   separated by TAB
//   rows    ended by CR LF, LF or CR; a line end at the very end of the text starts no further row
//   quotes  a cell that begins with '"' is quoted: it runs to the next '"' that is not doubled, which
//           must be followed by TAB, a line end or the end of the text; inside, '""' is one '"', and
//           TABs and line ends belong to the cell. A quote that is not closed that way was no quote:
//           the cell is read plainly, from its '"' to the next TAB or line end.
//   shape   rows shorter than the longest get empty cells
//
// Where values go: block column j to the j-th column from the current one on that is shown and not
// read-only (block columns beyond the last such column must be empty); block row i to the i-th shown
// row from the current one on, rows added after the last row as needed. What each column takes:
//   numeric        a text with a digit; stored as Valid_Check leaves it (cleaned, decimals, sign
//                  rule, limits)
//   check box      yes (1, t, y, 是, √, ✓, true) or no (0, f, n, 否, ×, false), case ignored; stored
//                  as "1"/"0", in the row check-mark column as "T"/""
//   date ('D')     a date as Mg_Read_Date reads it; stored as "yyyy-mm-dd", as the date picker does
//   pick list      a code or a name of the column's dictionary, or "code name"; stored "code name"
//   dictionary     the same (a ','-list with extended option bit 8); the code column takes the codes,
//                  the column the names
//   other          the text as it is
// An empty value empties the cell, except in a "notnull" column. A cell the host vetoes through
// OnGetEditEnable or its own select-cell handler refuses any value.
#include "controls/grid/Mg.h"
#include "controls/grid/mg_dict_find.h"
#include "controls/grid/mg_paste.h"

#include "frame/vector_state.h"
#include "toolkit/tk_clipboard.h"
#include "core/data/dec_num.h"
#include "util/lang_map.h"

#include <QDate>
#include <algorithm>
#include <climits>
#include <map>
#include <memory>
#include <string>

namespace {

bool Line_End(QChar c) { return c == u'\r' || c == u'\n'; }

QString Cap(const char16_t* text) { return QString::fromUtf16(Lang_Cap(map_wchar(u"grid"), text)); }

enum class Kind { Text, Number, Bool, Mark, Date, Pick, Dict };

// From this many rows on, a dictionary column's look-ups read a copy of the dictionary made once
// (Mg_Dict_Finder::Expect_Many) rather than the dictionary's own rows.
constexpr int MANY_LOOK_UPS = 64;

// What a target column takes, worked out once per paste.
struct Target {
  int col = 0;
  Kind kind = Kind::Text;
  const TMG_Col_Def* def = nullptr;
  Mg_Dict_Finder* finder = nullptr;  // pick-list and dictionary columns; owned by the paste
  int codeCol = -1;                  // dictionary columns
  QString caption;                   // for messages
};

// 1 yes, 0 no, -1 neither.
int Yes_No(QStringView t) {
  static const std::pair<QStringView, int> words[] = {
      {u"1", 1}, {u"t", 1}, {u"y", 1}, {u"是", 1}, {u"√", 1}, {u"✓", 1}, {u"true", 1}, {u"yes", 1},
      {u"0", 0}, {u"f", 0}, {u"n", 0}, {u"否", 0}, {u"×", 0}, {u"false", 0}, {u"no", 0}};
  for (const auto& [word, yes] : words)
    if (word.size() == t.size() && t.compare(word, Qt::CaseInsensitive) == 0) return yes;
  return -1;
}

// "yyyy-mm-dd", as the date picker writes a date, into out (room for 10 characters); a year beyond
// 1..9999 is written whole by the caller instead. Returns false for such a year.
bool Date_Text(const QDate& d, char16_t* out) {
  int y = 0, m = 0, day = 0;
  d.getDate(&y, &m, &day);
  if (y < 1 || y > 9999) return false;
  const int digits[] = {y / 1000, y / 100 % 10, y / 10 % 10, y % 10, -1, m / 10, m % 10, -1, day / 10, day % 10};
  for (int k = 0; k < 10; ++k) out[k] = digits[k] < 0 ? u'-' : char16_t(u'0' + digits[k]);
  return true;
}

bool Has_Digit(QStringView t) {
  for (QChar c : t)
    if ((c >= u'0' && c <= u'9') || (c.unicode() >= 0xFF10 && c.unicode() <= 0xFF19)) return true;
  return false;
}

bool Ascii(QStringView t) {
  for (QChar c : t)
    if (c.unicode() >= 0x80) return false;
  return true;
}

// True when Valid_Check would leave t as it is: a plain ASCII number (an optional '-', no leading zero,
// an optional '.' with digits) the column's type, decimals, sign rule and limits take unchanged. Most
// numbers pasted from a spreadsheet are such; the others go through the whole check.
bool Already_Valid(const TMG_Col_Def* d, QStringView t) {
  const qsizetype n = t.size();
  if (n == 0 || n >= 40) return false;
  char buf[40];
  qsizetype i = 0, intDigits = 0, fracDigits = 0;
  bool dot = false;
  for (; i < n; ++i) {
    const char16_t c = t[i].unicode();
    if (c >= u'0' && c <= u'9') {
      if (dot) ++fracDigits;
      else if (intDigits++ == 0 && c == u'0' && i + 1 < n && t[i + 1] != u'.') return false;
    } else if (c == u'-' && i == 0) {
    } else if (c == u'.' && !dot && intDigits > 0) {
      dot = true;
    } else {
      return false;
    }
    buf[i] = char(c);
  }
  buf[n] = 0;
  if (intDigits == 0 || intDigits > 30 || (dot && fracDigits == 0)) return false;
  if (d->type == 'I' && dot) return false;
  if (d->type == 'F' && dot && fracDigits > std::min(d->dec, 10)) return false;
  if ((d->sign == '+' && buf[0] == '-') || (d->sign == '-' && buf[0] != '-')) return false;
  if ((d->min[0] && Dec_Cmp(buf, d->min) < 0) || (d->max[0] && Dec_Cmp(buf, d->max) > 0)) return false;
  return true;
}

// The texts a paste makes (dates, "code name" cells, the codes and names of dictionary columns, cleaned
// numbers), in chunks that never move: a view of one stays good while more are added, and a paste of
// 100,000 rows allocates a few hundred chunks, not a string per cell.
class Text_Pool {
 public:
  // Room for n characters, to be filled by the caller.
  char16_t* Room(size_t n) {
    if (n > left_) {
      const size_t size = std::max(n, CHUNK);
      chunks_.push_back(std::make_unique<char16_t[]>(size));
      next_ = chunks_.back().get();
      left_ = size;
    }
    char16_t* at = next_;
    next_ += n;
    left_ -= n;
    return at;
  }
  QStringView Add(QStringView text) {
    char16_t* at = Room(size_t(text.size()));
    std::copy(text.utf16(), text.utf16() + text.size(), at);
    return QStringView(at, text.size());
  }

 private:
  static constexpr size_t CHUNK = 32768;
  std::vector<std::unique_ptr<char16_t[]>> chunks_;
  char16_t* next_ = nullptr;
  size_t left_ = 0;
};

}  // namespace

void Mg_Split_Paste(QStringView text, Mg_Paste_Block* out) {
  out->rows = out->cols = 0;
  out->cells.clear();
  out->quoted.clear();
  const qsizetype n = text.size();
  if (n == 0) return;
  std::vector<int> widths;
  {
    // Room for every cell and row at once: a cell ends at each TAB or line end (more than there are
    // when quoted cells hold them, or CR LF ends rows), so the lists never grow on the way.
    size_t ends = 1;
    for (const char16_t *p = text.utf16(), *end = p + n; p != end; ++p)
      ends += *p <= u'\r' && (*p == u'\t' || *p == u'\r' || *p == u'\n');
    out->cells.reserve(ends);
    widths.reserve(ends);
  }
  int inRow = 0;
  qsizetype i = 0;
  for (;;) {
    QStringView cell;
    bool quoted = false;
    if (i < n && text[i] == u'"') {
      QString buf;
      qsizetype j = i + 1, run = j;
      bool closed = false;
      while (j < n) {
        if (text[j] != u'"') {
          ++j;
          continue;
        }
        buf.append(text.mid(run, j - run));
        if (j + 1 < n && text[j + 1] == u'"') {
          buf.append(u'"');
          j += 2;
          run = j;
          continue;
        }
        closed = true;
        break;
      }
      if (closed && (j + 1 == n || text[j + 1] == u'\t' || Line_End(text[j + 1]))) {
        // The view stays good while the vector grows: a moved QString keeps its characters where they are.
        out->quoted.push_back(std::move(buf));
        cell = out->quoted.back();
        i = j + 1;
        quoted = true;
      }
    }
    if (!quoted) {
      // Every separator is at or below CR: most characters are passed over with one comparison.
      const char16_t* p = text.utf16();
      qsizetype j = i;
      while (j < n && (p[j] > u'\r' || (p[j] != u'\t' && p[j] != u'\r' && p[j] != u'\n'))) ++j;
      cell = text.mid(i, j - i);
      i = j;
    }
    out->cells.push_back(cell);
    ++inRow;
    if (i < n && text[i] == u'\t') {
      ++i;
      continue;
    }
    widths.push_back(inRow);
    inRow = 0;
    if (i >= n) break;
    i += text[i] == u'\r' && i + 1 < n && text[i + 1] == u'\n' ? 2 : 1;
    if (i >= n) break;
  }
  int cols = 0;
  for (int w : widths) cols = std::max(cols, w);
  out->rows = int(widths.size());
  out->cols = cols;
  // Ragged rows: spread the flat cells out to cols per row, from the last row backwards in place.
  size_t flat = out->cells.size();
  out->cells.resize(size_t(out->rows) * size_t(cols));
  for (int r = out->rows - 1; r >= 0; --r) {
    const int w = widths[size_t(r)];
    flat -= size_t(w);
    const size_t at = size_t(r) * size_t(cols);
    for (int c = cols - 1; c >= 0; --c) out->cells[at + size_t(c)] = c < w ? out->cells[flat + size_t(c)] : QStringView();
  }
}

int TMG::Paste_Text(const QString& text, QString* error) {
  Zem_Clean_Vector_State();  // a paste splits, converts and stores cell after cell
  Mg_Paste_Block block;
  Mg_Split_Paste(text, &block);
  if (block.rows == 0) return 0;
  auto refuse = [&](const QString& why) {
    if (error) *error = why;
    return -1;
  };

  // The columns the values go to, and what each takes.
  std::map<std::string, std::unique_ptr<Mg_Dict_Finder>> finders;
  std::vector<Target> targets;
  int markCol = -1;
  if (rowBoolCol_[0]) GetColId(rowBoolCol_, &markCol);
  for (int c = std::max(Col(), FixedCols()); c < ColCount() && int(targets.size()) < block.cols; ++c) {
    TMG_Col_Def* d = Rec(c);
    if (ColWidths(c) == 0 || d->readonly) continue;
    Target t;
    t.col = c;
    t.def = d;
    t.caption = Cells(c, 0).isEmpty() ? Wide(d->name) : Cells(c, 0);
    int codeCol = -1;
    if (c == markCol) t.kind = Kind::Mark;
    else if (d->show_style == 2) t.kind = Kind::Bool;
    else if (d->edit_style == 3 && d->dict[0]) t.kind = Kind::Pick;
    else if (Is_Dict_Col(c) && GetColId(d->code_col, &codeCol) && codeCol != c) t.kind = Kind::Dict;
    else if (d->type == 'D') t.kind = Kind::Date;
    else if (Is_Num_Type(d->type)) t.kind = Kind::Number;
    t.codeCol = codeCol;
    if (t.kind == Kind::Pick || t.kind == Kind::Dict) {
      std::unique_ptr<Mg_Dict_Finder>& f = finders[d->dict];
      if (!f) f = std::make_unique<Mg_Dict_Finder>(d->dict);
      if (block.rows >= MANY_LOOK_UPS) f->Expect_Many();
      t.finder = f.get();
    }
    targets.push_back(t);
  }
  // Whether two columns of the paste write one grid column (see keepCol below).
  bool overlap = false;
  for (const Target& t : targets)
    for (const Target& u : targets)
      overlap |= t.kind == Kind::Dict && (u.col == t.codeCol || (&u != &t && u.kind == Kind::Dict && u.codeCol == t.codeCol));
  for (int j = int(targets.size()); j < block.cols; ++j)
    for (int i = 0; i < block.rows; ++i)
      if (!block.At(i, j).isEmpty())
        return refuse(Cap(u"粘贴的内容有 %1 列，从当前单元起只有 %2 个可以填写的列").arg(block.cols).arg(targets.size()));

  // The rows: the shown ones from the current row on, then new ones.
  std::vector<int> rows;
  rows.reserve(size_t(block.rows));
  int rowCount = RowCount();
  for (int r = std::max(Row(), FixedRows()); int(rows.size()) < block.rows; ++r) {
    if (r >= RowCount()) rowCount = r + 1;
    if (r >= RowCount() || RowHeights(r) != 0) rows.push_back(r);
  }

  // The grid's own select-cell handler grants every shown, writable cell; a host's may veto one, as it
  // keeps the keys from it.
  const bool hostSelect = OnSelectCell && !OnSelectCell.target<Own_Select>();
  // Which writes stand: a dictionary column writes its code column too, which may also take a value of
  // its own (or be two dictionary columns' code column); then the last write of a cell in the order
  // below (block column by block column, a dictionary column's code before its name) is the one kept.
  // Every row writes the same columns in the same order, so this is worked out once per column.
  std::vector<char> keepCol(targets.size(), 1), keepCode(targets.size(), 1);
  std::vector<int> dictAt(targets.size(), -1);  // a dictionary column's place among them, for its codes
  int dicts = 0;
  for (size_t j = 0; j < targets.size(); ++j) {
    if (targets[j].kind == Kind::Dict) dictAt[j] = dicts++;
    for (size_t k = j + 1; overlap && k < targets.size(); ++k) {
      const Target& later = targets[k];
      auto writes = [&](int col) { return later.col == col || (later.kind == Kind::Dict && later.codeCol == col); };
      if (writes(targets[j].col)) keepCol[j] = 0;
      if (targets[j].kind == Kind::Dict && writes(targets[j].codeCol)) keepCode[j] = 0;
    }
  }

  // Every value checked and turned into the text its cell takes before anything changes: each block
  // cell's view is replaced by the text it writes (into the pasted text, a static text, or the pool),
  // a dictionary column's codes kept beside them.
  Text_Pool pool;
  std::vector<QStringView> codes(size_t(block.rows) * size_t(dicts));
  std::u16string codeList, nameList;  // a ','-list of one cell, reused
  for (int i = 0; i < block.rows; ++i) {
    const int r = rows[size_t(i)];
    for (int j = 0; j < int(targets.size()); ++j) {
      const Target& t = targets[size_t(j)];
      QStringView& cell = block.cells[size_t(i) * size_t(block.cols) + size_t(j)];
      const QStringView value = cell;
      auto cell_refuses = [&](const QString& why) {
        return refuse(Cap(u"第 %1 行“%2”列：%3").arg(r - FixedRows() + 1).arg(t.caption, why));
      };
      if (hostSelect && r < RowCount() && !Can_Move_To(t.col, r)) return cell_refuses(Cap(u"不允许修改"));
      if (OnGetEditEnable && r < RowCount()) {
        bool can = true;
        OnGetEditEnable(this, t.col, r, can);
        if (!can) return cell_refuses(Cap(u"不允许修改"));
      }
      const QStringView trimmed = t.kind == Kind::Text ? value : value.trimmed();
      if (trimmed.isEmpty()) {
        if (!t.def->nullable) return cell_refuses(Cap(u"不能为空"));
        cell = {};
        continue;
      }
      switch (t.kind) {
        case Kind::Text:
          break;
        case Kind::Number: {
          if (Already_Valid(t.def, trimmed)) {
            cell = trimmed;
            break;
          }
          if (!Has_Digit(trimmed)) return cell_refuses(Cap(u"“%1”不是数字").arg(trimmed));
          const bool ascii = Ascii(trimmed);
          const std::string narrow = (ascii ? trimmed.toLatin1().toStdString() : Narrow(trimmed)).substr(0, 600);
          const std::string res = Mg_Valid_Text(t.def, narrow);
          cell = res == narrow && ascii ? trimmed : pool.Add(Wide(res.c_str()));
          break;
        }
        case Kind::Bool:
        case Kind::Mark: {
          const int yes = Yes_No(trimmed);
          if (yes < 0) return cell_refuses(Cap(u"“%1”不是“是”或“否”").arg(trimmed));
          const bool mark = t.kind == Kind::Mark;
          cell = yes ? (mark ? u"T" : u"1") : (mark ? u"" : u"0");
          break;
        }
        case Kind::Date: {
          QDate d;
          if (!Mg_Read_Date(trimmed, &d)) return cell_refuses(Cap(u"“%1”不是日期").arg(trimmed));
          char16_t* at = pool.Room(10);
          cell = Date_Text(d, at) ? QStringView(at, 10) : pool.Add(d.toString(QStringLiteral("yyyy-MM-dd")));
          break;
        }
        case Kind::Pick: {
          Mg_Dict_Finder::Entry e;
          QString why;
          if (!t.finder->Find_Entry(trimmed, &e, &why)) return cell_refuses(why);
          const qsizetype n = e.code.size() + 1 + e.name.size();
          char16_t* at = pool.Room(size_t(n));
          std::copy(e.code.utf16(), e.code.utf16() + e.code.size(), at);
          at[e.code.size()] = u' ';
          std::copy(e.name.utf16(), e.name.utf16() + e.name.size(), at + e.code.size() + 1);
          cell = QStringView(at, n);
          break;
        }
        case Kind::Dict: {
          QStringView& code = codes[size_t(i) * size_t(dicts) + size_t(dictAt[size_t(j)])];
          codeList.clear();
          nameList.clear();
          auto add = [&](QStringView part) {
            Mg_Dict_Finder::Entry e;
            QString why;
            if (!t.finder->Find_Entry(part, &e, &why)) return cell_refuses(why);
            if (!codeList.empty()) codeList += u',';
            if (!nameList.empty()) nameList += u',';
            codeList.append(e.code.utf16(), size_t(e.code.size()));
            nameList.append(e.name.utf16(), size_t(e.name.size()));
            return 0;
          };
          if (t.def->ext_opt & 8) {
            for (QStringView part : trimmed.tokenize(u',', Qt::SkipEmptyParts))
              if (add(part) < 0) return -1;
          } else if (add(trimmed) < 0) {
            return -1;
          }
          code = pool.Add(QStringView(codeList));
          cell = pool.Add(QStringView(nameList));
          break;
        }
      }
    }
  }

  // Applied in one batch; the changes are reported once each afterwards.
  struct Change {
    int col, row;
    QString now, old;
  };
  std::vector<Change> changes;
  int changed = 0;
  const int rowsBefore = RowCount();
  std::vector<int> changedRows;  // for a bound area
  BeginUpdate();
  ++ownWrite_;
  if (rowCount > RowCount()) SetRowCount(rowCount);
  auto write = [&](int col, int row, QStringView now) {
    const QStringView old = CellView(col, row);
    if (old == now) return;
    ++changed;
    if (area_) changedRows.push_back(row);
    if (OnMGValChange) changes.push_back({col, row, now.toString(), old.toString()});
    if (col == watchCol_ && row == watchRow_) watchOld_ = now.toString();
    SetCells(col, row, now);
  };
  for (int i = 0; i < block.rows; ++i) {
    const int r = rows[size_t(i)];
    const QStringView* cells = &block.cells[size_t(i) * size_t(block.cols)];
    const QStringView* rowCodes = &codes[size_t(i) * size_t(dicts)];
    // The row's memory made once for all its new texts (and the number a new row gets after them).
    qsizetype units = r >= rowsBefore && showRowIdMode_ ? 11 : 0;
    for (size_t j = 0; j < targets.size(); ++j)
      units += (keepCol[j] ? cells[j].size() : 0) + (dictAt[j] >= 0 && keepCode[j] ? rowCodes[dictAt[j]].size() : 0);
    if (units > 0) ReserveRowText(r, int(std::min<qsizetype>(units, INT_MAX / 2)));
    for (size_t j = 0; j < targets.size(); ++j) {
      const Target& t = targets[j];
      if (t.kind != Kind::Dict) {
        if (keepCol[j]) write(t.col, r, cells[j]);
        continue;
      }
      // An emptied dictionary cell empties its name first, a filled one writes its code first.
      const QStringView code = rowCodes[dictAt[j]];
      const bool emptied = cells[j].isEmpty() && code.isEmpty();
      if (emptied && keepCol[j]) write(t.col, r, cells[j]);
      if (keepCode[j]) write(t.codeCol, r, code);
      if (!emptied && keepCol[j]) write(t.col, r, cells[j]);
    }
  }
  --ownWrite_;
  EndUpdate();
  if (RowCount() > rowsBefore && showRowIdMode_) Show_Row_Id();
  Invalidate();
  for (const Change& c : changes)
    if (OnMGValChange) OnMGValChange(this, c.col, c.row, c.now, c.old);
  if (area_) {
    std::sort(changedRows.begin(), changedRows.end());
    changedRows.erase(std::unique(changedRows.begin(), changedRows.end()), changedRows.end());
    for (int r : changedRows) Area_Row_Changed(r);
  }
  if (changed) Sync_Sum();
  return changed;
}

int TMG::Paste_From_Clipboard() {
  const QString text = Clipboard()->AsText();
  if (text.isEmpty()) return 0;
  if (Options().Contains(goRowSelect) || Range_Selecting() || (!Options().Contains(goEditing) && !OnGetEditEnable))
    return 0;
  Mg_Paste_Block block;
  Mg_Split_Paste(text, &block);
  TInplaceEdit* editor = InplaceEditor();
  if (block.rows == 1 && block.cols == 1 && editor && editor->isVisible() && !block.At(0, 0).contains(u'\n') &&
      !block.At(0, 0).contains(u'\r')) {
    // One value into the cell being edited: typed in at the caret, as the editor's own paste would.
    editor->insert(block.At(0, 0).toString());
    editor->setModified(true);
    emit editor->textEdited(editor->text());
    return 1;
  }
  QString error;
  const int n = Paste_Text(text, &error);
  if (n < 0) Show_Refusal(error);
  return n;
}
