// TMG for screen readers: what each cell shows as the grid draws it, the headers of the sum line and the
// name of the editor (the toolkit's grid asks through GetCellShown, ColumnHeaderText, EditorAccessibleName).
#include "controls/grid/Mg.h"

#include "util/lang_map.h"

namespace {

QString Cap(const char16_t* caption) { return QString::fromUtf16(Lang_Cap(map_wchar(u"grid"), caption)); }

// A plain number ([sign] digits [. digits]), the form a money cell holds.
bool Plain_Number(QStringView t) {
  qsizetype i = t.startsWith(u'-') || t.startsWith(u'+') ? 1 : 0;
  bool digit = false, dot = false;
  for (; i < t.size(); ++i) {
    if (t[i].isDigit()) digit = true;
    else if (t[i] == u'.' && !dot) dot = true;
    else return false;
  }
  return digit;
}

// ',' between every three digits of the integer part.
QString Grouped(QString s) {
  const int start = s.startsWith(u'-') || s.startsWith(u'+') ? 1 : 0;
  int dot = int(s.indexOf(u'.'));
  if (dot < 0) dot = int(s.size());
  for (int i = dot - 3; i > start; i -= 3) s.insert(i, u',');
  return s;
}

}  // namespace

void TMG::GetCellShown(int ACol, int ARow, TGridCellShown& Shown) {
  Shown = TGridCellShown();
  if (!In_Range(ACol) || ARow < 0 || ARow >= RowCount()) return;
  if (ARow < FixedRows()) {
    if (const TMG_Rect_Def* u = Unit_At(ACol, ARow, false)) {
      Shown.Text = Wide(u->caption);
      return;
    }
  }
  QString text = Cells(ACol, ARow);
  const TMG_Col_Def* d = Rec(ACol);
  if (ACol >= FixedCols() && ARow >= FixedRows() && d->show_style == 2) {
    const QChar c = text.isEmpty() ? QChar() : text[0];
    const bool tick = QStringView(u"T1tYy").contains(c), cross = QStringView(u"F0fNn").contains(c);
    Shown.Check = tick ? 1 : 0;
    Shown.Text = tick ? Cap(u"是") : cross ? Cap(u"否") : QString();
    return;
  }
  // A money cell reads as its digits show it, with two decimals; one kept as typed reads as typed.
  const QString bare = QString(text).remove(u',');
  if (ACol >= FixedCols() && ARow >= FixedRows() && d->show_style == 1 && Plain_Number(bare) &&
      !(Is_Num_Type(d->type) && Opt_Exist("keep_bad_number") && !Number_Problem(ACol, ARow).isEmpty())) {
    Shown.Text = Grouped(Wide(Mg_Format_Number(Narrow(bare), 2, true).c_str()));
    return;
  }
  text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
  text.replace(u'\r', u' ');
  text.replace(u'\n', u' ');
  Shown.Text = text;
}

QString TMG::ColumnHeaderText(int ACol) {
  // The sum line has no header rows of its own: its totals stand under the data grid's columns.
  if (FixedRows() == 0 && Data_Mg()) return Data_Mg()->ColumnHeaderText(ACol);
  return TStringGrid::ColumnHeaderText(ACol);
}

QString TMG::EditorAccessibleName(int ACol, int ARow) {
  return Cap(u"%1，第 %2 行").arg(ColumnHeaderText(ACol)).arg(ShownRowNumber(ARow));
}
