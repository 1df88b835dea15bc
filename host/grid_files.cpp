// The grid's files: saving what it shows as an Excel workbook, CSV or a packed data set, and filling it
// from a packed data set or CSV ("gui_save_mg", "gui_mg_import_from_dat").
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include <sys/stat.h>
#include <xlsxwriter.h>

#include "controls/grid/Mg.h"
#include "core/data/dbdata.h"
#include "core/text/code_page.h"
#include "dict/dict_mgr.h"
#include "frame/vector_state.h"
#include "host/grid_menu_host.h"
#include "host/host_ui.h"

namespace {

QString Cap(const char16_t* caption) { return Host_Cap(u"grid", caption); }

// ---- What a file holds of the grid ---------------------------------------------------------------------

enum Cell_Kind { KIND_TEXT, KIND_NUMBER, KIND_BOOL, KIND_DATE };

struct Out_Col {
  int col = 0;          // grid column
  Cell_Kind kind = KIND_TEXT;
  int dec = 0;          // decimals a number keeps
  bool money = false;
  bool dict_pick = false;  // dictionary pick-list: the cell shows "code name", the value is the code
};

// One header unit in the rows and columns of the file.
struct Out_Unit {
  int r0, c0, r1, c1;
  QString caption;
};

// The shown part of the grid in file coordinates: the shown columns but column 0, the shown header rows
// and the shown data rows without the empty ones at the end.
struct Out_Model {
  std::vector<Out_Col> cols;
  std::vector<int> head_rows, data_rows;
  std::vector<Out_Unit> units;
  std::vector<std::vector<QString>> head;  // [header row][column]: a unit's caption in its first cell
};

Out_Col Col_Info(TMG* g, int c) {
  Out_Col oc;
  oc.col = c;
  const TMG_Col_Def* d = g->GetColDef(c);
  oc.dict_pick = d->edit_style == 3 && d->dict[0];
  if (d->show_style == 2) {
    oc.kind = KIND_BOOL;
  } else if (d->show_style == 1) {
    oc.kind = KIND_NUMBER, oc.money = true, oc.dec = 2;
  } else if (Is_Num_Type(d->type)) {
    oc.kind = KIND_NUMBER, oc.dec = d->type == 'I' ? 0 : std::max(0, std::min(d->dec, 10));
  } else if (d->type == 'D') {
    oc.kind = KIND_DATE;
  }
  return oc;
}

Out_Model Build_Model(TMG* g) {
  Out_Model m;
  for (int c = 1; c < g->ColCount(); ++c)
    if (g->ColWidths(c) > 0) m.cols.push_back(Col_Info(g, c));
  for (int r = 0; r < g->FixedRows(); ++r)
    if (g->RowHeights(r) > 0) m.head_rows.push_back(r);
  for (int r = g->FixedRows(); r < g->RowCount(); ++r)
    if (g->RowHeights(r) > 0) m.data_rows.push_back(r);
  auto empty_row = [&](int r) {
    for (const Out_Col& oc : m.cols)
      if (!g->CellView(oc.col, r).trimmed().isEmpty()) return false;
    return true;
  };
  while (!m.data_rows.empty() && empty_row(m.data_rows.back())) m.data_rows.pop_back();

  const int nc = int(m.cols.size()), nh = int(m.head_rows.size());
  m.head.assign(nh, std::vector<QString>(nc));
  for (int h = 0; h < nh; ++h)
    for (int k = 0; k < nc; ++k) m.head[h][k] = g->Cells(m.cols[k].col, m.head_rows[h]).trimmed();
  // Units: the shown columns and header rows each covers; overlapping ones cannot both be merged, so a
  // unit that overlaps an earlier one is left to its cells.
  std::vector<std::vector<char>> taken(nh, std::vector<char>(nc, 0));
  for (int i = 0; i < g->Rect_Count(); ++i) {
    const TMG_Rect_Def* u = g->Get_Rect_Def(i);
    const int ca = std::min(u->a, u->c), cb = std::max(u->a, u->c);
    const int ra = std::min(u->b, u->d), rb = std::max(u->b, u->d);
    Out_Unit ou{-1, -1, -1, -1, TMG::Wide(u->caption).trimmed()};
    for (int k = 0; k < nc; ++k) {
      if (m.cols[k].col < ca || m.cols[k].col > cb) continue;
      if (ou.c0 < 0) ou.c0 = k;
      ou.c1 = k;
    }
    for (int h = 0; h < nh; ++h) {
      if (m.head_rows[h] < ra || m.head_rows[h] > rb) continue;
      if (ou.r0 < 0) ou.r0 = h;
      ou.r1 = h;
    }
    if (ou.c0 < 0 || ou.r0 < 0) continue;
    bool free = true;
    for (int h = ou.r0; h <= ou.r1; ++h)
      for (int k = ou.c0; k <= ou.c1; ++k) free = free && !taken[h][k];
    if (!free) continue;
    for (int h = ou.r0; h <= ou.r1; ++h)
      for (int k = ou.c0; k <= ou.c1; ++k) taken[h][k] = 1, m.head[h][k].clear();
    m.head[ou.r0][ou.c0] = ou.caption;
    m.units.push_back(ou);
  }
  return m;
}

// A sign, digits and one point (at least one digit): a number as the grid's numeric columns hold it.
// Scanned by hand: it runs for every cell of a file.
bool Is_Number_Text(QStringView s) {
  qsizetype i = 0;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ++i;
  bool digit = false, point = false;
  for (; i < s.size(); ++i) {
    const char16_t c = s[i].unicode();
    if (c >= u'0' && c <= u'9') digit = true;
    else if (c == u'.' && !point) point = true;
    else return false;
  }
  return digit;
}

// A number text as a spreadsheet takes it: blanks and thousands separators aside, a number text.
// Numbers of more than 15 significant digits stay text, since a double would change them.
bool Parse_Number(QStringView text, double* value) {
  QString s;
  s.reserve(text.size());
  for (QChar ch : text)
    if (ch != u',' && !ch.isSpace()) s.append(ch);
  if (!Is_Number_Text(s)) return false;
  int significant = 0;
  bool leading = true;
  for (QChar ch : s) {
    if (!ch.isDigit()) continue;
    if (leading && ch == u'0') continue;
    leading = false;
    ++significant;
  }
  if (significant > 15) return false;
  bool ok = false;
  *value = s.toDouble(&ok);
  return ok;
}

QDate Parse_Date(QStringView text) {
  const QString s = text.trimmed().toString();
  for (const char* f : {"yyyyMMdd", "yyyy-MM-dd", "yyyy/MM/dd", "yyyy.MM.dd"}) {
    const QDate d = QDate::fromString(s, QString::fromLatin1(f));
    if (d.isValid()) return d;
  }
  return QDate();
}

bool Bool_Cell(QStringView text) { return text.trimmed() == u"1" || text.trimmed().startsWith(u'T'); }

QString Number_Format(const Out_Col& oc) {
  if (oc.money) return QStringLiteral("#,##0.00");
  return oc.dec > 0 ? QStringLiteral("0.") + QString(oc.dec, u'0') : QStringLiteral("0");
}

// ---- Excel workbook ------------------------------------------------------------------------------------

// A sheet name Excel accepts: at most 31 characters, none of []:*?/\ and not starting or ending with '.
QString Sheet_Name(TMG* g) {
  QString name = g->window() ? g->window()->windowTitle() : QString();
  name.remove(QRegularExpression(QStringLiteral("[\\[\\]:*?/\\\\]")));
  name = name.trimmed().left(31);
  while (name.startsWith(u'\'')) name.remove(0, 1);
  while (name.endsWith(u'\'')) name.chop(1);
  return name.isEmpty() ? QStringLiteral("Sheet1") : name;
}

bool Write_Xlsx(TMG* g, const Out_Model& m, const QString& path, QString* error) {
  const size_t rows = m.head_rows.size() + m.data_rows.size();
  if (rows > 1048576 || m.cols.size() > 16384) {
    *error = Cap(u"表格超出电子表格的容量（1048576 行、16384 列），请保存为 CSV 文件。");
    return false;
  }
  // The workbook goes to a temporary file beside the target and replaces it only when complete.
  QTemporaryFile tmp(QFileInfo(path).absolutePath() + QStringLiteral("/.zem_grid_XXXXXX.xlsx"));
  if (!tmp.open()) {
    *error = tmp.errorString();
    return false;
  }
  tmp.close();
  const QByteArray tmp_name = QFile::encodeName(tmp.fileName());
  lxw_workbook* wb = workbook_new(tmp_name.constData());
  if (!wb) {
    *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }
  lxw_worksheet* ws = workbook_add_worksheet(wb, Sheet_Name(g).toUtf8().constData());
  if (!ws) ws = workbook_add_worksheet(wb, nullptr);

  lxw_format* head = workbook_add_format(wb);
  format_set_bold(head);
  format_set_align(head, LXW_ALIGN_CENTER);
  format_set_align(head, LXW_ALIGN_VERTICAL_CENTER);
  format_set_border(head, LXW_BORDER_THIN);
  format_set_bg_color(head, 0xEEF2F7);
  format_set_text_wrap(head);
  lxw_format* date = workbook_add_format(wb);
  format_set_num_format(date, "yyyy-mm-dd");
  lxw_format* check = workbook_add_format(wb);
  format_set_align(check, LXW_ALIGN_CENTER);
  std::map<QString, lxw_format*> number_formats;
  std::vector<lxw_format*> col_format(m.cols.size(), nullptr);
  for (size_t k = 0; k < m.cols.size(); ++k) {
    const Out_Col& oc = m.cols[k];
    if (oc.kind == KIND_NUMBER) {
      lxw_format*& f = number_formats[Number_Format(oc)];
      if (!f) {
        f = workbook_add_format(wb);
        format_set_num_format(f, Number_Format(oc).toUtf8().constData());
      }
      col_format[k] = f;
    } else if (oc.kind == KIND_DATE) {
      col_format[k] = date;
    } else if (oc.kind == KIND_BOOL) {
      col_format[k] = check;
    }
    worksheet_set_column_pixels(ws, lxw_col_t(k), lxw_col_t(k), uint32_t(std::min(g->ColWidths(oc.col), 1000)),
                                col_format[k]);
  }

  lxw_error err = LXW_NO_ERROR;
  auto keep = [&err](lxw_error e) {
    if (err == LXW_NO_ERROR && e != LXW_NO_ERROR && e != LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED) err = e;
  };
  auto text = [](const QString& s) { return s.left(32767).toUtf8(); };  // a cell holds 32767 characters
  for (size_t h = 0; h < m.head_rows.size(); ++h)
    for (size_t k = 0; k < m.cols.size(); ++k)
      keep(worksheet_write_string(ws, lxw_row_t(h), lxw_col_t(k), text(m.head[h][k]).constData(), head));
  for (const Out_Unit& u : m.units) {
    if (u.r0 == u.r1 && u.c0 == u.c1) continue;
    keep(worksheet_merge_range(ws, lxw_row_t(u.r0), lxw_col_t(u.c0), lxw_row_t(u.r1), lxw_col_t(u.c1),
                               text(u.caption).constData(), head));
  }
  const lxw_row_t first = lxw_row_t(m.head_rows.size());
  for (size_t i = 0; i < m.data_rows.size() && err == LXW_NO_ERROR; ++i) {
    const lxw_row_t r = first + lxw_row_t(i);
    for (size_t k = 0; k < m.cols.size(); ++k) {
      const Out_Col& oc = m.cols[k];
      const QStringView cell = g->CellView(oc.col, m.data_rows[i]);
      if (cell.trimmed().isEmpty()) continue;
      double v = 0;
      QDate d;
      if (oc.kind == KIND_NUMBER && Parse_Number(cell, &v)) {
        keep(worksheet_write_number(ws, r, lxw_col_t(k), v, col_format[k]));
      } else if (oc.kind == KIND_BOOL) {
        keep(worksheet_write_boolean(ws, r, lxw_col_t(k), Bool_Cell(cell), check));
      } else if (oc.kind == KIND_DATE && (d = Parse_Date(cell)).isValid() && d.year() >= 1900) {
        lxw_datetime dt{d.year(), d.month(), d.day(), 0, 0, 0};
        keep(worksheet_write_datetime(ws, r, lxw_col_t(k), &dt, date));
      } else {
        keep(worksheet_write_string(ws, r, lxw_col_t(k), text(cell.toString()).constData(), nullptr));
      }
    }
  }
  if (!m.head_rows.empty()) worksheet_freeze_panes(ws, first, 0);
  const lxw_error closed = workbook_close(wb);  // frees the workbook whatever happens
  if (err == LXW_NO_ERROR) err = closed;
  if (err != LXW_NO_ERROR) {
    *error = QString::fromUtf8(lxw_strerror(err));
    return false;
  }
  // The temporary file is private (0600); the workbook gets the mode of the file it replaces, or what a
  // new file gets under the process's umask.
  struct stat old_file;
  const QByteArray target = QFile::encodeName(path);
  mode_t mode = 0;
  if (::stat(target.constData(), &old_file) == 0) {
    mode = old_file.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::chmod(tmp_name.constData(), mode);
  if (std::rename(tmp_name.constData(), target.constData()) != 0) {
    *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }
  tmp.setAutoRemove(false);
  return true;
}

// ---- CSV -----------------------------------------------------------------------------------------------

QString Csv_Field(const QString& s) {
  if (!s.contains(u',') && !s.contains(u'"') && !s.contains(u'\n') && !s.contains(u'\r') &&
      s.trimmed().size() == s.size())
    return s;
  QString q = s;
  q.replace(QStringLiteral("\""), QStringLiteral("\"\""));
  return u'"' + q + u'"';
}

bool Write_Csv(TMG* g, const Out_Model& m, const QString& path, QString* error) {
  QString out;
  auto line = [&out](const QStringList& cells) {
    out += cells.join(u',');
    out += QStringLiteral("\r\n");
  };
  for (const auto& h : m.head) {
    QStringList cells;
    for (const QString& s : h) cells << Csv_Field(s);
    line(cells);
  }
  for (int r : m.data_rows) {
    QStringList cells;
    for (const Out_Col& oc : m.cols) {
      QString s = g->Cells(oc.col, r);
      double v;
      if (oc.kind == KIND_NUMBER && Parse_Number(s, &v)) s.remove(u',').remove(u' ');
      cells << Csv_Field(s);
    }
    line(cells);
  }
  QSaveFile f(path);
  if (!f.open(QIODevice::WriteOnly)) {
    *error = f.errorString();
    return false;
  }
  f.write("\xEF\xBB\xBF");  // the mark that tells a spreadsheet the text is UTF-8
  f.write(out.toUtf8());
  if (!f.commit()) {
    *error = f.errorString();
    return false;
  }
  return true;
}

// ---- Packed data set -----------------------------------------------------------------------------------

const wchar16* W(const QString& s) { return reinterpret_cast<const wchar16*>(s.utf16()); }

bool Write_Dat(TMG* g, const Out_Model& m, const QString& path, QString* error) {
  DBDataMgr data;
  const int n = int(m.cols.size());
  if (n >= DBDataMgr::MAX_FIELDS) {
    *error = Cap(u"列太多，数据文件最多保存 599 列。");
    return false;
  }
  data.Set_Field_Count(n);
  for (int k = 0; k < n; ++k) {
    const int c = m.cols[k].col;
    const TMG_Col_Def* d = g->GetColDef(c);
    QString name = TMG::Wide(d->name);
    if (name.isEmpty()) name = QStringLiteral("col%1").arg(c);
    data.Set_Field_Name(k, W(name));
    data.Set_Field_Caption(k, W(Host_Col_Caption(g, c)));
    data.Set_Field_Type(k, d->type ? d->type : 'S');
    data.Set_Field_Size(k, d->size);
    data.Set_Field_Decsize(k, d->dec);
    data.Set_Field_Width(k, g->ColWidths(c));
  }
  for (int r : m.data_rows) {
    data.Add_Row();
    for (int k = 0; k < n; ++k) {
      const Out_Col& oc = m.cols[k];
      data.Set_Value(k, oc.dict_pick ? g->GetW(oc.col, r) : W(g->Cells(oc.col, r)));
    }
  }
  unsigned len = 0;
  uint8_t* bytes = data.Pack_Data(&len);
  if (!bytes) {
    *error = Cap(u"数据打包失败。");
    return false;
  }
  QSaveFile f(path);
  const bool ok = f.open(QIODevice::WriteOnly) && f.write(reinterpret_cast<const char*>(bytes), len) == qint64(len) &&
                  f.commit();
  std::free(bytes);
  if (!ok) *error = f.errorString();
  return ok;
}

// ---- Reading a data file -------------------------------------------------------------------------------

struct In_Table {
  QStringList names, captions;       // captions may be empty
  std::vector<QStringList> rows;
  std::vector<int> lines;            // the file's line (CSV) or record (data set) of each row, from 1
};

bool Has_Nul(const QByteArray& b) { return b.contains('\0'); }

// Text of a CSV file: UTF-16 with its mark, UTF-8 (with or without the mark), else GBK.
QString Decode_Text(const QByteArray& b) {
  if (b.startsWith("\xFF\xFE")) {
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(b.constData() + 2), (b.size() - 2) / 2);
  }
  if (b.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(b.constData() + 3, b.size() - 3);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString s = utf8.decode(b);
  if (!utf8.hasError()) return s;
  std::u16string w(size_t(b.size()), u'\0');
  const int n = Zem_MB_To_W(ZEM_CP_GBK, b.constData(), int(b.size()), reinterpret_cast<wchar16*>(&w[0]), int(w.size()));
  return QString::fromUtf16(w.data(), n);
}

// Splits CSV text into records (quotes as a spreadsheet writes them; CR LF, LF or CR between records);
// the separator is the one of ',', tab and ';' that the first line holds most of.
void Parse_Csv(const QString& text, std::vector<QStringList>* records, std::vector<int>* lines) {
  QChar sep = u',';
  {
    int best = 0;
    const QString first = text.section(QRegularExpression(QStringLiteral("[\r\n]")), 0, 0);
    for (QChar c : {QChar(u','), QChar(u'\t'), QChar(u';')})
      if (first.count(c) > best) best = int(first.count(c)), sep = c;
  }
  QStringList rec;
  QString field;
  bool quoted = false, any = false;
  int line = 1, rec_line = 1;
  auto end_record = [&] {
    rec << field;
    records->push_back(rec);
    lines->push_back(rec_line);
    rec.clear();
    field.clear();
    any = false;
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (quoted) {
      if (c == u'"') {
        if (i + 1 < text.size() && text[i + 1] == u'"') field += u'"', ++i;
        else quoted = false;
      } else {
        if (c == u'\n' || (c == u'\r' && !(i + 1 < text.size() && text[i + 1] == u'\n'))) ++line;
        field += c;
      }
      continue;
    }
    if (c == u'"' && field.isEmpty()) {
      quoted = true, any = true;
    } else if (c == sep) {
      rec << field, field.clear(), any = true;
    } else if (c == u'\r' || c == u'\n') {
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      end_record();
      rec_line = ++line;
    } else {
      field += c, any = true;
    }
  }
  if (any || !field.isEmpty() || !rec.isEmpty()) end_record();
}

// For each grid column, the file field that fills it (-1: none). A field fills one column at most.
std::vector<int> Match_Columns(TMG* g, const QStringList& names, const QStringList& captions) {
  std::vector<int> by_col(size_t(g->ColCount()), -1);
  std::vector<char> used(size_t(names.size()), 0);
  auto pass = [&](auto same) {
    for (int c = 1; c < g->ColCount(); ++c) {
      if (by_col[c] >= 0) continue;
      for (int f = 0; f < names.size(); ++f) {
        if (used[f] || !same(c, f)) continue;
        by_col[c] = f, used[f] = 1;
        break;
      }
    }
  };
  auto name = [g](int c) { return TMG::Wide(g->GetColName(c)); };
  pass([&](int c, int f) { return !name(c).isEmpty() && names[f].trimmed() == name(c); });
  pass([&](int c, int f) { return !name(c).isEmpty() && names[f].trimmed().compare(name(c), Qt::CaseInsensitive) == 0; });
  pass([&](int c, int f) {
    const QString cap = Host_Col_Caption(g, c), top = g->Cells(c, 0).trimmed();
    const QString fc = f < captions.size() ? captions[f].trimmed() : QString(), fn = names[f].trimmed();
    for (const QString& x : {cap, top})
      if (!x.isEmpty() && (x == fc || x == fn)) return true;
    return false;
  });
  return by_col;
}

int Match_Count(const std::vector<int>& by_col) {
  int n = 0;
  for (int f : by_col) n += f >= 0;
  return n;
}

bool Read_Table(TMG* g, const QString& path, In_Table* t, QString* error) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    *error = f.errorString();
    return false;
  }
  if (f.size() > (qint64(1) << 30)) {
    *error = Cap(u"文件大于 1 GB，不能引入。");
    return false;
  }
  const QByteArray bytes = f.readAll();
  const QString suffix = QFileInfo(path).suffix().toLower();
  const bool csv_name = suffix == QLatin1String("csv") || suffix == QLatin1String("txt") || suffix == QLatin1String("tsv");
  if (!csv_name) {
    DBDataMgr data;
    size_t used = 0;
    if (!bytes.isEmpty() &&
        data.Unpack_Data(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), &used) &&
        data.Get_Field_Count() > 0) {
      for (int i = 0; i < data.Get_Field_Count(); ++i) {
        t->names << QString::fromUtf16(data.Get_Field_Name(i));
        t->captions << QString::fromUtf16(data.Get_Field_Caption(i));
      }
      for (int r = 0; r < data.Get_Row_Count(); ++r) {
        QStringList row;
        for (int i = 0; i < data.Get_Field_Count(); ++i) row << QString::fromUtf16(data.Get_Row_Value(r, i));
        t->rows.push_back(row);
        t->lines.push_back(r + 1);
      }
      return true;
    }
  }
  if (bytes.startsWith("PK\x03\x04")) {
    *error = Cap(u"这是压缩文件或 Excel 工作簿，不是数据文件；工作簿请在电子表格程序中另存为 CSV 后再引入。");
    return false;
  }
  if (bytes.isEmpty() || (Has_Nul(bytes) && !bytes.startsWith("\xFF\xFE"))) {
    *error = Cap(u"不是数据文件：既不是打包的数据集，也不是 CSV 文本。");
    return false;
  }
  std::vector<QStringList> records;
  std::vector<int> lines;
  Parse_Csv(Decode_Text(bytes), &records, &lines);
  // The header is the block of lines among the first five that names the most grid columns. A file
  // saved from a grid with several header rows has one line per row, each caption in the line of its
  // row (a unit's over the units of the row below it), so a field is named by its lowest non-empty
  // text and, failing that, by its highest. The smallest block wins a tie, so a data line below the
  // header is never taken for part of it.
  int first = -1, last = -1, best = 0;
  QStringList names, captions;
  for (int a = 0; a < int(records.size()) && a < 5; ++a) {
    for (int b = a; b < int(records.size()) && b < 5; ++b) {
      QStringList low, high;
      for (int i = b; i >= a; --i) {
        const QStringList& rec = records[size_t(i)];
        while (low.size() < rec.size()) low << QString(), high << QString();
        for (int f = 0; f < rec.size(); ++f) {
          if (rec[f].trimmed().isEmpty()) continue;
          if (low[f].isEmpty()) low[f] = rec[f];
          high[f] = rec[f];
        }
      }
      const int n = Match_Count(Match_Columns(g, low, high));
      if (n > best) best = n, first = a, last = b, names = low, captions = high;
    }
  }
  if (first < 0) {
    *error = Cap(u"文件的前五行里没有与表格列同名的标题。");
    return false;
  }
  t->names = names;
  t->captions = captions;
  for (size_t i = size_t(last) + 1; i < records.size(); ++i) {
    const QStringList& rec = records[i];
    bool blank = true;
    for (const QString& s : rec) blank = blank && s.trimmed().isEmpty();
    if (blank) continue;
    t->rows.push_back(rec);
    t->lines.push_back(lines[i]);
  }
  return true;
}

// A dictionary pick-list column's codes and names, read once per import: a file may give the code,
// "code name" as the grid shows it, or the name alone.
class Dict_Codes {
 public:
  explicit Dict_Codes(const TMG_Col_Def* d) {
    TDict* dict = d->dict[0] ? Dict_Client_List()->Get_Dict(d->dict, 1) : nullptr;
    if (!dict) return;
    auto guard = dict->Lock();
    for (int r = 0; r < dict->Get_Row_Count(); ++r) {
      const QString code = QString::fromUtf16(dict->Get_Row_Value(r, 0));
      codes_.insert(code);
      names_.insert(QString::fromUtf16(dict->Get_Row_Value(r, 1)).trimmed(), code);
    }
  }
  // The code the text stands for; null when the dictionary has no such code or name. A dictionary
  // without rows (not loaded) cannot tell, so the text's first word is taken as the code.
  QString Code(const QString& v) const {
    const QString first = v.section(u' ', 0, 0);
    if (codes_.isEmpty() || codes_.contains(v)) return codes_.isEmpty() ? first : v;
    if (codes_.contains(first)) return first;
    return names_.value(v);
  }

 private:
  QSet<QString> codes_;
  QHash<QString, QString> names_;  // the first code of each name
};

// The value as the column keeps it, or the reason the column cannot take it (null: taken).
const char16_t* Column_Value(TMG* g, int c, const QString& in, QString* out,
                             std::map<int, Dict_Codes>* dicts) {
  const TMG_Col_Def* d = g->GetColDef(c);
  const QString v = in.trimmed();
  if (v.isEmpty()) return out->clear(), nullptr;
  if (d->show_style == 2) {
    static const QStringList yes{QStringLiteral("1"), QStringLiteral("t"), QStringLiteral("true"),
                                 QStringLiteral("y"), QStringLiteral("yes"), QString::fromUtf16(u"是"),
                                 QString::fromUtf16(u"√")};
    static const QStringList no{QStringLiteral("0"), QStringLiteral("f"), QStringLiteral("false"),
                                QStringLiteral("n"), QStringLiteral("no"), QString::fromUtf16(u"否")};
    // The grid's row check-mark column counts a row as marked by a leading 'T' alone.
    int mark_col = -1;
    const bool marks = g->Row_Bool_Col()[0] && g->GetColId(g->Row_Bool_Col(), &mark_col) && mark_col == c;
    if (yes.contains(v, Qt::CaseInsensitive)) return *out = marks ? QStringLiteral("T") : QStringLiteral("1"), nullptr;
    if (no.contains(v, Qt::CaseInsensitive)) return *out = marks ? QString() : QStringLiteral("0"), nullptr;
    return u"应为 1 或 0";
  }
  if (Is_Num_Type(d->type) || d->show_style == 1) {
    QString s;
    s.reserve(v.size());
    for (QChar ch : v)
      if (!ch.isSpace() && ch != u',' && ch != u'¥' && ch != u'￥' && ch != u'$') s.append(ch);
    if (!Is_Number_Text(s)) return u"应为数字";
    const std::string n = s.toStdString();
    *out = QString::fromStdString(d->type == 'I' ? Mg_Format_Number(n, 0, false)
                                  : d->type == 'F' ? Mg_Format_Number(n, d->dec, true)
                                                   : n);
    return nullptr;
  }
  if (d->edit_style == 3 && d->dict[0]) {
    auto it = dicts->find(c);
    if (it == dicts->end()) it = dicts->emplace(c, Dict_Codes(d)).first;
    *out = it->second.Code(v);
    return out->isNull() ? u"字典中没有这个代码或名称" : nullptr;
  }
  *out = v;
  return nullptr;
}

}  // namespace

Zem_Grid_File_Kind Zem_Host_Grid_File_Kind(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == QLatin1String("csv")) return ZEM_GRID_CSV;
  if (suffix == QLatin1String("dat")) return ZEM_GRID_DAT;
  return ZEM_GRID_XLSX;
}

bool Zem_Host_Write_Grid(TMG* grid, const QString& path, Zem_Grid_File_Kind kind, QString* error) {
  QString why;
  if (!error) error = &why;
  if (!grid || path.isEmpty()) {
    *error = Cap(u"没有表格或文件名。");
    return false;
  }
  Zem_Clean_Vector_State();  // every cell is converted and written
  const Out_Model m = Build_Model(grid);
  switch (kind) {
    case ZEM_GRID_CSV: return Write_Csv(grid, m, path, error);
    case ZEM_GRID_DAT: return Write_Dat(grid, m, path, error);
    default: return Write_Xlsx(grid, m, path, error);
  }
}

bool Zem_Host_Import_Grid_File(TMG* grid, const QString& path, int mode, Zem_Grid_Import* done, QString* error) {
  QString why;
  if (!error) error = &why;
  if (!grid) return *error = Cap(u"没有表格。"), false;
  Zem_Clean_Vector_State();  // the file's records are converted and stored cell after cell
  In_Table t;
  if (!Read_Table(grid, path, &t, error)) return false;
  const std::vector<int> by_col = Match_Columns(grid, t.names, t.captions);
  if (Match_Count(by_col) == 0) {
    *error = Cap(u"文件中没有与表格列同名的数据列。");
    return false;
  }
  // Every value is checked and converted before the grid changes.
  std::vector<int> cols;
  for (int c = 1; c < grid->ColCount(); ++c)
    if (by_col[c] >= 0) cols.push_back(c);
  std::vector<std::vector<QString>> values(t.rows.size(), std::vector<QString>(cols.size()));
  std::map<int, Dict_Codes> dicts;
  for (size_t r = 0; r < t.rows.size(); ++r) {
    for (size_t k = 0; k < cols.size(); ++k) {
      const int f = by_col[cols[k]];
      const QString in = f < t.rows[r].size() ? t.rows[r][f] : QString();
      if (const char16_t* why = Column_Value(grid, cols[k], in, &values[r][k], &dicts)) {
        *error = Cap(u"第 %1 行“%2”列的值“%3”不合这一列：%4。")
                     .arg(t.lines[r])
                     .arg(Host_Col_Caption(grid, cols[k]), in.trimmed().left(40), Cap(why));
        return false;
      }
    }
  }
  const int n = int(t.rows.size());
  const int fixed = grid->FixedRows();
  int start = fixed;
  grid->HideEditor();
  grid->BeginUpdate();
  if (mode == 2) {
    for (int r = grid->RowCount() - 1; r >= fixed && start == fixed; --r)
      for (int c = 1; c < grid->ColCount(); ++c)
        if (!grid->CellView(c, r).isEmpty()) {
          start = r + 1;
          break;
        }
    if (start + n > grid->RowCount()) grid->SetRowCount(start + n);
  } else {
    grid->SetRowCount(fixed + std::max(n, 1));
    for (int r = fixed; r < grid->RowCount(); ++r) {
      for (int c = 1; c < grid->ColCount(); ++c) grid->SetCells(c, r, QString());
      if (grid->RowHeights(r) == 0) grid->SetRowHeights(r, grid->DefaultRowHeight());
    }
  }
  for (int r = 0; r < n; ++r) {
    for (size_t k = 0; k < cols.size(); ++k) {
      const int c = cols[k];
      const TMG_Col_Def* d = grid->GetColDef(c);
      const QString& v = values[size_t(r)][k];
      if (d->edit_style == 3 && d->dict[0] && !v.isEmpty()) {
        grid->SetW(c, start + r, reinterpret_cast<const char16_t*>(v.utf16()));
      } else {
        grid->SetCells(c, start + r, v);
      }
    }
  }
  grid->EndUpdate();
  grid->Sort_Col_Clear();  // the rows the last sort remembered are gone
  if (grid->Show_Row_Id_Mode()) grid->Show_Row_Id();
  grid->Sync_Sum();
  grid->Invalidate();
  if (done) {
    done->rows = n;
    done->matched.clear();
    done->unused.clear();
    std::vector<char> used(size_t(t.names.size()), 0);
    for (int c : cols) done->matched << Host_Col_Caption(grid, c), used[size_t(by_col[c])] = 1;
    for (int f = 0; f < t.names.size(); ++f)
      if (!used[size_t(f)] && !t.names[f].trimmed().isEmpty()) done->unused << t.names[f].trimmed();
  }
  return true;
}

// ---- The dialogs ---------------------------------------------------------------------------------------

namespace {

QString Start_Dir() {
  const QString dir = Host_Settings()->value(QStringLiteral("grid_files/dir")).toString();
  if (!dir.isEmpty() && QDir(dir).exists()) return dir;
  const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return !docs.isEmpty() && QDir(docs).exists() ? docs : QDir::homePath();
}

void Remember_Dir(const QString& file) {
  Host_Settings()->setValue(QStringLiteral("grid_files/dir"), QFileInfo(file).absolutePath());
}

// A file dialog whose labels follow the caption map.
void Label(QFileDialog* d, bool save) {
  d->setObjectName(QStringLiteral("zem_host_grid_file"));
  d->setLocale(Host_Locale());
  d->setOption(QFileDialog::DontUseNativeDialog);
  d->setLabelText(QFileDialog::LookIn, Cap(u"位置："));
  d->setLabelText(QFileDialog::FileName, Cap(u"文件名："));
  d->setLabelText(QFileDialog::FileType, Cap(u"文件类型："));
  d->setLabelText(QFileDialog::Accept, save ? Cap(u"保存") : Cap(u"打开"));
  d->setLabelText(QFileDialog::Reject, Cap(u"取消"));
}

QString Base_Name(TMG* g) {
  QString name = TMG::Wide(g->Dat_Id()).trimmed();
  if (name.isEmpty() && g->window()) name = g->window()->windowTitle().trimmed();
  name.replace(QRegularExpression(QStringLiteral("[/\\\\:*?\"<>|]")), QStringLiteral("_"));
  return name.isEmpty() ? Cap(u"表格") : name;
}

}  // namespace

int Zem_Host_Save_Mg(TMG* grid) {
  if (!grid) return 0;
  QWidget* parent = Host_Parent(grid);
  const QStringList filters{Cap(u"Excel 工作簿 (*.xlsx)"), Cap(u"CSV 文件，逗号分隔 (*.csv)"),
                            Cap(u"数据文件 (*.dat)")};
  const char* suffixes[] = {"xlsx", "csv", "dat"};
  QFileDialog dialog(parent, Cap(u"保存内容到文件"), Start_Dir());
  Label(&dialog, true);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters(filters);
  dialog.setDefaultSuffix(QStringLiteral("xlsx"));
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& f) {
    const int i = int(filters.indexOf(f));
    if (i >= 0) dialog.setDefaultSuffix(QString::fromLatin1(suffixes[i]));
  });
  dialog.selectFile(Base_Name(grid) + QStringLiteral(".xlsx"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return 0;
  const QString path = dialog.selectedFiles().first();
  Remember_Dir(path);
  QString error;
  if (!Zem_Host_Write_Grid(grid, path, Zem_Host_Grid_File_Kind(path), &error)) {
    Host_Tell(parent, QMessageBox::Warning, Cap(u"保存内容到文件"),
              Cap(u"没有保存到 %1：\n%2").arg(QDir::toNativeSeparators(path), error));
    return 0;
  }
  return 1;
}

int Zem_Host_Mg_Import_From_Dat(TMG* grid) {
  if (!grid) return 0;
  QWidget* parent = Host_Parent(grid);
  QFileDialog dialog(parent, Cap(u"从数据文件引入"), Start_Dir());
  Label(&dialog, false);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters({Cap(u"数据文件 (*.dat *.csv *.txt)"), Cap(u"所有文件 (*)")});
  const QString id = TMG::Wide(grid->Dat_Id()).trimmed();
  if (!id.isEmpty()) dialog.selectFile(id + QStringLiteral(".dat"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return 0;
  const QString path = dialog.selectedFiles().first();
  Remember_Dir(path);
  Zem_Grid_Import done;
  QString error;
  if (!Zem_Host_Import_Grid_File(grid, path, grid->Dat_Mode(), &done, &error)) {
    Host_Tell(parent, QMessageBox::Warning, Cap(u"从数据文件引入"),
              Cap(u"没有引入 %1，表格保持原样：\n%2").arg(QDir::toNativeSeparators(path), error));
    return 0;
  }
  QString text = Cap(u"已引入 %1 行。\n填入的列：%2").arg(done.rows).arg(done.matched.join(QStringLiteral("、")));
  // The line break stays outside the caption: the caption map trims it.
  if (!done.unused.isEmpty()) text += u'\n' + Cap(u"文件中没有用上的列：%1").arg(done.unused.join(QStringLiteral("、")));
  Host_Tell(parent, QMessageBox::Information, Cap(u"从数据文件引入"), text);
  return 1;
}
