// TMG editing: the editor per column (none in a read-only column, the ellipsis and pick-list styles),
// the watched cell and its change reports, the ellipsis button and the date picker over a cell.
//
// The editor is the grid's own pick-list editor: its ellipsis button runs OnEditButtonClick, its list
// is filled by DoFillPickListItems (15 rows shown), and a right press over it reaches the grid's
// mouse-down handler in viewport coordinates, so the grid's menu opens over an edited cell too.
#include "controls/grid/Mg.h"

#include "controls/inputs/Mpickdate.h"
#include "toolkit/tk_msgbox.h"
#include "util/lang_map.h"

#include <QDate>

bool Mg_Read_Date(QStringView text, QDate* date) {
  int parts[3] = {0, 0, 0}, digits[3] = {0, 0, 0}, n = 0;
  bool inNumber = false;
  for (QChar ch : text.trimmed()) {
    const bool d = ch >= u'0' && ch <= u'9';
    if (d) {
      if (!inNumber && n == 3) return false;
      if (!inNumber) ++n;
      inNumber = true;
      if (++digits[n - 1] > 8) return false;
      parts[n - 1] = parts[n - 1] * 10 + (ch.unicode() - u'0');
    } else {
      inNumber = false;
      if (n == 0) return false;  // the text starts with the year
    }
  }
  int y = parts[0], m = parts[1], d = parts[2];
  if (n == 1 && digits[0] == 8) {  // yyyymmdd
    y = parts[0] / 10000;
    m = parts[0] / 100 % 100;
    d = parts[0] % 100;
  } else if (n != 3 || digits[0] != 4 || digits[1] > 2 || digits[2] > 2) {
    return false;
  }
  const QDate q(y, m, d);
  if (!q.isValid() || y < 1601 || y > 9999) return false;
  if (date) *date = q;
  return true;
}

TEditStyle TMG::GetEditStyle(int ACol, int) {
  switch (In_Range(ACol) ? Rec(ACol)->edit_style : 0) {
    case 1: return esEllipsis;
    case 2:
    case 3: return esPickList;
    default: return esSimple;
  }
}

void TMG::GetPickListItems(int ACol, int ARow, TStrings* Items) { DoFillPickListItems(ACol, ARow, Items); }

bool TMG::CanEditShow() const {
  const int c = Col();
  // A check box is set by Space and clicks: a text editor over it would only blank it.
  return TStringGrid::CanEditShow() &&
         !(c >= 0 && c < int(cols_.size()) && (cols_[size_t(c)].readonly || cols_[size_t(c)].show_style == 2));
}

void TMG::DoExit() {
  Change_Check();  // what was typed before clicking elsewhere is the user's, as on leaving the cell
  TStringGrid::DoExit();
}

bool TMG::Bool_Editable(int col, int row) {
  return col >= FixedCols() && row >= FixedRows() && In_Range(col) && row < RowCount() &&
         Rec(col)->show_style == 2 && !Rec(col)->readonly && !Range_Selecting() && Options().Contains(goEditing) &&
         !Options().Contains(goRowSelect);
}

void TMG::Bool_Cell_Set(int col, int row, bool on) {
  const QString prev = Cells(col, row);
  const QString now = on ? QStringLiteral("1") : QStringLiteral("0");
  if (prev == now) return;
  ++ownWrite_;
  SetCells(col, row, now);
  --ownWrite_;
  if (col == watchCol_ && row == watchRow_) watchOld_ = now;  // reported here, not again on leaving
  if (OnMGValChange) OnMGValChange(this, col, row, now, prev);
  Sync_Sum();
}

void TMG::SetEditText(int ACol, int ARow, const QString& Value) {
  if (ACol != watchCol_ || ARow != watchRow_) {
    Change_Check();
    Change_Check_Set(ACol, ARow);
  }
  watchTyped_ = true;
  TStringGrid::SetEditText(ACol, ARow, Value);
}

void TMG::EditTextReplaced(int, int, const QString&) {
  if (!ownWrite_) InplaceEditor()->SetModified(false);
}

void TMG::CellsSetByCode(int Left, int Top, int Right, int Bottom) {
  if (ownWrite_ || watchCol_ < Left || watchCol_ > Right || watchRow_ < Top || watchRow_ > Bottom) return;
  watchOld_ = Cells(watchCol_, watchRow_);  // empty for a dropped row: it comes back empty
  watchTyped_ = false;
}

int TMG::Change_Check_Set(int col, int row) {
  if (row != watchRow_) {
    if (watchRow_ >= FixedRows() && watchRow_ < RowCount()) {
      Redraw_Row(watchRow_);
    } else {
      Redraw_Row(Row());
      Redraw_Row(FixedRows());
    }
  }
  watchCol_ = col;
  watchRow_ = row;
  watchOld_ = Cells(col, row);
  watchTyped_ = false;
  return 1;
}

int TMG::Change_Check_Reset() {
  watchCol_ = watchRow_ = -1;
  watchOld_.clear();
  watchTyped_ = false;
  return 1;
}

int TMG::Change_Check() {
  const int c = watchCol_, r = watchRow_;
  if (r < FixedRows() || r >= RowCount() || c < FixedCols() || c >= ColCount()) return 1;
  if (CellView(c, r) == watchOld_) {
    watchTyped_ = false;
    return 1;
  }
  if (!Dict_Commit(c, r) || watchCol_ != c || watchRow_ != r) return 1;
  QString present = Cells(c, r);
  if (present == watchOld_) return 1;
  QString old = watchOld_;
  watchOld_ = present;
  if (OnMGValChange) OnMGValChange(this, c, r, present, old);
  Sync_Sum();
  return 1;
}

int TMG::Change_Auto_Check() {
  Change_Check();
  return Change_Check_Set(Col(), Row());
}

void TMG::Show_Refusal(const QString& text) {
  const map_wchar ctx(u"grid");
  TMsgBoxButtons buttons;
  buttons.ok = QString::fromUtf16(Lang_Cap(ctx, u"确定"));
  MessageBox(this, text, QString::fromUtf16(Lang_Cap(ctx, u"提示")), MB_OK | MB_ICONWARNING, buttons);
}

// The ellipsis button: the date picker in a date column, the host's choice in a dictionary column.
void TMG::TMG_OnEditButtonClick(TObject*) {
  const int c = Col();
  if (c < 1 || c >= ColCount()) return;
  if (Rec(c)->type == 'D') Inp_Grid_Date();
  else if (Is_Dict_Col(c)) Pop_Choose(c, Row());
}

// ---- The date picker over a cell --------------------------------------------------------------------

int TMG::Inp_Grid_Date() {
  const bool fresh = !picker_;
  if (fresh) {
    picker_ = new MPickDate(viewport());
    picker_->setObjectName(QStringLiteral("DateTimePicker_Mg"));
    picker_->OnChange = [this](TObject* s) { DateTimePicker_Mg_Change(s); };
    picker_->OnExit = [this](TObject* s) { DateTimePicker_Mg_Exit(s); };
    picker_->OnKeyDown = [this](TObject*, WORD& key, TShiftState) { Picker_Key(key); };
  }
  pickerCol_ = Col();
  pickerRow_ = Row();
  pickerOld_ = Cells(pickerCol_, pickerRow_);
  QDate d;
  // An empty or unreadable cell keeps the date picked last (a clerk's run of vouchers of one day); the
  // picker's first use starts on today.
  if (Mg_Read_Date(pickerOld_, &d)) picker_->Set_Date(d.toString(QStringLiteral("yyyyMMdd")).toLatin1().constData());
  else if (fresh) picker_->Set_Date(nullptr);
  const TRect rc = CellRect(pickerCol_, pickerRow_);
  picker_->SetBounds(rc.Left, rc.Top, std::max(rc.Width() - 16, 40), rc.Height());
  picker_->setAccessibleName(EditorAccessibleName(pickerCol_, pickerRow_));
  picker_->show();
  picker_->raise();
  picker_->setFocus(Qt::OtherFocusReason);
  picker_->DropDown();
  return 1;
}

void TMG::DateTimePicker_Mg_Change(TObject*) {
  if (!picker_ || pickerCol_ < 0) return;
  char buf[16] = "";
  picker_->Get_Date(buf);
  const QDate picked = QDate::fromString(QString::fromLatin1(buf), QStringLiteral("yyyyMMdd"));
  if (!picked.isValid()) return;
  const int c = pickerCol_, r = pickerRow_;
  const QString prev = Cells(c, r);
  QDate held;
  if (!prev.isEmpty() && Mg_Read_Date(prev, &held) && held == picked) return;
  const QString shown = picked.toString(QStringLiteral("yyyy-MM-dd"));
  ++ownWrite_;
  SetCells(c, r, shown);
  --ownWrite_;
  if (c == watchCol_ && r == watchRow_) watchOld_ = shown;  // reported here, not again on leaving
  if (OnMGValChange) OnMGValChange(this, c, r, shown, prev);
}

void TMG::DateTimePicker_Mg_Exit(TObject*) {
  if (!picker_ || !picker_->isVisible()) return;
  pickerCol_ = pickerRow_ = -1;
  picker_->hide();
  setFocus(Qt::OtherFocusReason);
  if (TInplaceEdit* e = InplaceEditor())
    if (EditorMode() && e->isVisible()) e->setFocus(Qt::OtherFocusReason);
}

// Enter keeps the date picked; Escape puts back the text the cell had when the picker opened.
void TMG::Picker_Key(WORD& Key) {
  if (Key == VK_ESCAPE && pickerCol_ >= 0) {
    const int c = pickerCol_, r = pickerRow_;
    const QString now = Cells(c, r);
    if (now != pickerOld_) {
      ++ownWrite_;
      SetCells(c, r, pickerOld_);
      --ownWrite_;
      if (c == watchCol_ && r == watchRow_) watchOld_ = pickerOld_;
      if (OnMGValChange) OnMGValChange(this, c, r, pickerOld_, now);
    }
  }
  if (Key != VK_ESCAPE && Key != VK_RETURN) return;
  Key = 0;
  DateTimePicker_Mg_Exit(picker_);
}
