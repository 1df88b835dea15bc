// A new voucher entered from the keyboard alone, and saved.
#include "demo/demo_voucher_entry.h"

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

#include "controls/grid/Mg.h"
#include "controls/inputs/Mdate.h"
#include "core/data/db_connect.h"
#include "core/data/db_errors.h"
#include "core/data/row_track.h"
#include "core/data/save_changes.h"
#include "core/data/sqlca.h"
#include "demo/demo_db.h"
#include "demo/demo_inputs.h"
#include "demo/demo_voucher_no.h"
#include "demo/demo_window.h"
#include "dict/dict_mgr.h"
#include "host/host_ui.h"
#include "toolkit/tk_edit.h"

namespace {

// The voucher-number cell of a row not yet saved.
const char16_t kNew_Mark[] = u"（新）";

const wchar16* W(const QString& s) { return reinterpret_cast<const wchar16*>(s.utf16()); }

}  // namespace

VoucherEntry::VoucherEntry(DemoWindow* window, DemoInputs* inputs, DemoDb* db)
    : QObject(window), window_(window), in_(inputs), db_(db), grid_(window->voucherGrid()) {
  auto action = [window](const char* name) {
    return window->window() ? window->window()->findChild<QAction*>(QString::fromLatin1(name)) : nullptr;
  };
  if (QAction* a = action("actionNewVoucher")) connect(a, &QAction::triggered, this, [this] { start(); });
  if (QAction* a = action("actionSaveVoucher")) connect(a, &QAction::triggered, this, [this] { save(); });
  if (QAction* a = action("actionDiscardVoucher")) connect(a, &QAction::triggered, this, [this] { discard(true); });
  if (window->window()) window->window()->installEventFilter(this);
  // A change in a saved voucher's row is remembered for the next save.
  if (grid_) {
    auto typed = grid_->OnMGValChange;
    grid_->OnMGValChange = [this, typed](TObject* s, int c, int r, const QString& now, const QString& old) {
      if (typed) typed(s, c, r, now, old);
      noteEdit(r);
    };
    // Escape on the untouched new row takes it away (in the editor too: the grid hears its keys first).
    auto keys = grid_->OnKeyDown;
    grid_->OnKeyDown = [this, keys](TObject* s, WORD& key, TShiftState shift) {
      if (key == VK_ESCAPE && shift.Empty() && grid_->Row() == openRow() && untouched()) {
        key = 0;
        discard(false);
        return;
      }
      if (keys) keys(s, key, shift);
    };
  }
  connect(window, &DemoWindow::aboutToFill, this, [this] { keep(); });
  connect(window, &DemoWindow::vouchersFilled, this, [this] { restore(); });

  // The strip's fields follow into the open row, each handing the cursor on to the next field.
  TMDate* date = in_->date;
  auto shown = date->OnChange;
  date->OnChange = [this, date, shown](TObject* s) {
    if (shown) shown(s);
    char v[16];
    date->Get_Date(v);
    follow("voucher_date", QString::fromLatin1(v));
  };
  in_->onDateDone = [this] {
    if (openRow() < 0) return;
    in_->supCode->setFocus();
    in_->supCode->selectAll();
  };
  in_->onSupplier = [this](const QString& code) {
    follow("sup_code", code);
    if (openRow() < 0) return;
    in_->deptCode->setFocus();
    in_->deptCode->selectAll();
  };
  in_->onDept = [this](const QString& code) {
    follow("dept_code", code);
    const int row = openRow();
    int col = 0;
    if (row < 0 || !grid_->GetColId("summary", &col)) return;
    grid_->setFocus();
    grid_->FocusCell(col, row);
  };
  // At start the keyboard is in the voucher date, not over a saved value in the grid.
  in_->date->Year_Field()->setFocus();
}

int VoucherEntry::openRow() const {
  int col = 0;
  if (!grid_ || !grid_->GetColId("voucher_no", &col)) return -1;
  for (int r = grid_->FixedRows(); r < grid_->RowCount(); ++r)
    if (grid_->Cells(col, r) == QString::fromUtf16(kNew_Mark)) return r;
  return -1;
}

// The row the new voucher takes: the grid's one empty row when it shows no voucher, else a new last row.
int VoucherEntry::appendRow() {
  int noCol = 0;
  grid_->GetColId("voucher_no", &noCol);
  const int first = grid_->FixedRows();
  int row = grid_->RowCount();
  if (row == first + 1 && grid_->Cells(noCol, first).isEmpty()) {
    row = first;
  } else {
    grid_->SetRowCount(row + 1);
  }
  grid_->SetCells(noCol, row, QString::fromUtf16(kNew_Mark));
  grid_->Show_Row_Id();
  for (int r = 1; r < first; ++r) grid_->SetCells(0, r, QString());  // no row mark in the header
  return row;
}

bool VoucherEntry::known(const char* table, const char* column, const QString& code) {
  TSQLCA q;
  const QString sql = QStringLiteral("select count(*) from %1 where %2 = ?").arg(QLatin1String(table), QLatin1String(column));
  return !code.isEmpty() && db_->select(q, sql, {code}) == 0 && q.Get_Row_Count() == 1 &&
         QString::fromUtf16(q.Get_Row_Value(0, 0)).toInt() == 1;
}

QStringList VoucherEntry::rowCells(int row) const {
  QStringList cells;
  for (int c = 1; c < grid_->ColCount(); ++c) cells << grid_->Cells(c, row);
  return cells;
}

bool VoucherEntry::untouched() const {
  const int row = openRow();
  return row >= 0 && rowCells(row) == fresh_;
}

void VoucherEntry::start() {
  if (!grid_) return;
  if (openRow() < 0) {
    const int row = appendRow();
    // Only what the strip holds as valid goes into the new voucher: a code the clerk was refused (or
    // did not add) stays out of it.
    char v[16];
    in_->date->Get_Date(v);
    if (QDate::fromString(QString::fromLatin1(v), QStringLiteral("yyyyMMdd")).isValid())
      grid_->SetW("voucher_date", row, W(DemoWindow::shownDate(QString::fromLatin1(v))));
    const QString sup = in_->supCode->text().trimmed(), dept = in_->deptCode->text().trimmed();
    if (known("suppliers", "sup_code", sup)) grid_->SetW("sup_code", row, W(sup));
    if (!dept.isEmpty() && deptProblem(dept).isEmpty()) grid_->SetW("dept_code", row, W(dept));
    fresh_ = rowCells(row);
    grid_->Sync_Sum();
    grid_->SetTopRow(row);
    grid_->Invalidate();
  }
  window_->note(QString::fromUtf16(u"新凭证：日期、供应商、部门，再输入摘要和金额；Ctrl+S 保存"));
  in_->date->Year_Field()->SetFocus();
  in_->date->Year_Field()->selectAll();
}

void VoucherEntry::follow(const char* column, const QString& value) {
  const int row = openRow();
  if (row < 0) return;
  const bool wasUntouched = untouched();
  grid_->SetW(column, row, W(QByteArray(column) == "voucher_date" ? DemoWindow::shownDate(value) : value));
  if (wasUntouched) fresh_ = rowCells(row);  // what the strip carries is no typing in the row
  grid_->Invalidate();
}

bool VoucherEntry::discard(bool ask) {
  const int row = openRow();
  if (!grid_ || row < 0) {
    window_->note(QString::fromUtf16(u"没有未保存的新凭证"));
    return false;
  }
  // Ctrl+D in the grid acts on its current row only: on a saved voucher it deletes nothing (the new row
  // may lie far below, out of sight) and says what it is for.
  int noCol = 0;
  grid_->GetColId("voucher_no", &noCol);
  const QWidget* focus = QApplication::focusWidget();
  if (ask && (focus == grid_ || grid_->isAncestorOf(focus)) && grid_->Row() != row && grid_->Row() >= grid_->FixedRows()) {
    window_->note(QString::fromUtf16(u"凭证 %1 已保存，没有删除：Ctrl+D 只删除未保存的新凭证（第 %2 行）")
                      .arg(grid_->Cells(noCol, grid_->Row()), grid_->Cells(0, row)));
    return false;
  }
  if (ask) {
    const QString summary = QString::fromUtf16(grid_->GetW("summary", row)).trimmed();
    QMessageBox box(QMessageBox::Question, QString::fromUtf16(u"凭证"),
                    QString::fromUtf16(u"删除第 %1 行未保存的新凭证%2吗？已输入的内容不会保存。")
                        .arg(grid_->Cells(0, row), summary.isEmpty() ? QString() : QString::fromUtf16(u"“%1”").arg(summary)),
                    QMessageBox::NoButton, window_->window());
    box.setObjectName(QStringLiteral("discardVoucher"));
    QPushButton* yes = box.addButton(Host_Cap(u"dialog", u"删除"), QMessageBox::AcceptRole);
    yes->setObjectName(QStringLiteral("delete"));
    QPushButton* no = box.addButton(Host_Cap(u"dialog", u"取消"), QMessageBox::RejectRole);
    no->setObjectName(QStringLiteral("cancel"));
    // A typed-ahead Enter must not throw a filled row away: 取消 is the default.
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    if (box.clickedButton() != yes) return false;
  }
  grid_->Change_Check();  // an edit of another voucher still pending is reported before the rows move
  grid_->Delete_Row(row);
  grid_->Show_Row_Id();
  for (int r = 1; r < grid_->FixedRows(); ++r) grid_->SetCells(0, r, QString());  // no row mark in the header
  fresh_.clear();
  grid_->Sync_Sum();
  grid_->Invalidate();
  window_->note(QString::fromUtf16(u"新凭证已删除（未保存）"));
  return true;
}

void VoucherEntry::keep() {
  const int row = openRow();
  kept_.clear();
  if (row < 0) return;
  for (int c = 1; c < grid_->ColCount(); ++c) kept_ << grid_->Cells(c, row);
}

void VoucherEntry::restore() {
  // The edits of saved vouchers come back with the fill itself (they are in the tracked area); the open
  // row is put back here.
  if (kept_.isEmpty()) return;
  const int row = appendRow();
  for (int c = 1; c < grid_->ColCount() && c - 1 < kept_.size(); ++c) grid_->SetCells(c, row, kept_[c - 1]);
  kept_.clear();
  grid_->Sync_Sum();
  grid_->Invalidate();
}

QStringList VoucherEntry::refuse(const QString& why) {
  window_->note(QString::fromUtf16(u"凭证未保存：") + why);
  return {};
}

QStringList VoucherEntry::refuseAt(const QString& who, int row, const char* field, const QString& why) {
  int col = 0;
  grid_->GetColId(field, &col);
  if (row >= 0 && col > 0) {
    grid_->setFocus();
    grid_->FocusCell(col, row);
    // The clerk types the right value straight over the one refused.
    if (TInplaceEdit* editor = grid_->InplaceEditor(); editor && editor->isVisible()) editor->selectAll();
  }
  return refuse(QString::fromUtf16(u"%1的%2有误，").arg(who, grid_->Cells(col, 0)) + why);
}

void VoucherEntry::rest(int col, int row) {
  grid_->setFocus();
  grid_->FocusCell(col, row);
  grid_->HideEditor();  // the cursor shows the saved row; the next key does not type over it
}

VoucherEntry::Values VoucherEntry::read(int row) const {
  auto text = [&](const char* column) { return QString::fromUtf16(grid_->GetW(column, row)).trimmed(); };
  Values v{text("voucher_date"), text("sup_code"), text("dept_code"), text("summary"), text("amount"), text("checked")};
  v.amount.remove(QLatin1Char(','));
  // The date column's picker writes 2024-06-18; the table keeps 20240618.
  if (QDate::fromString(v.date, QStringLiteral("yyyy-MM-dd")).isValid()) v.date.remove(QLatin1Char('-'));
  return v;
}

QString VoucherEntry::deptProblem(const QString& code, bool* failed) {
  TDict* dept = Dict_Client_List()->Get_Dict("dept", 1);  // a change told meanwhile is read first
  if (failed) *failed = !dept || dept->Load_Failed();
  if (!dept || dept->Load_Failed())
    return QString::fromUtf16(u"无法核对部门 %1：部门字典暂时无法读取，请稍后再试").arg(code);
  auto guard = dept->Lock();
  if (!dept->Seek_Code(0, W(code))) return QString::fromUtf16(u"没有这个部门：") + code;
  if (dept->Is_Stop()) return QString::fromUtf16(u"部门 %1 已停用").arg(code);
  return QString();
}

QString VoucherEntry::problem(const Values& v, int row, const char** field, bool check_dept) {
  const QString none = QString::fromUtf16(u"（空）");
  *field = "voucher_date";
  if (!QDate::fromString(v.date, QStringLiteral("yyyyMMdd")).isValid())
    return QString::fromUtf16(u"日期无效：") + (v.date.isEmpty() ? none : v.date);
  *field = "sup_code";
  TSQLCA q;
  // A look-up that failed says so, and no field is blamed: the supplier may well exist.
  if (db_->select(q, QStringLiteral("select count(*) from suppliers where sup_code = ?"), {v.sup}) != 0) {
    *field = nullptr;
    return QString::fromUtf16(u"无法核对供应商 %1：").arg(v.sup) + db_->error();
  }
  if (q.Get_Row_Count() != 1 || QString::fromUtf16(q.Get_Row_Value(0, 0)).toInt() != 1)
    return QString::fromUtf16(u"没有这个供应商：") + (v.sup.isEmpty() ? none : v.sup);
  *field = "dept_code";
  if (check_dept && !v.dept.isEmpty()) {
    bool failed = false;
    const QString why = deptProblem(v.dept, &failed);
    if (failed) *field = nullptr;  // the department may well be right
    if (!why.isEmpty()) return why;
  }
  *field = "amount";
  int col = 0;
  const QString kept = row >= 0 && grid_->GetColId("amount", &col) ? grid_->Number_Problem(col, row) : QString();
  bool number = false;
  v.amount.toDouble(&number);
  if (!kept.isEmpty() || !number ||
      !QRegularExpression(QStringLiteral("^-?[0-9]+(\\.[0-9]{1,2})?$")).match(v.amount).hasMatch())
    return QString::fromUtf16(u"金额无效：") + (v.amount.isEmpty() ? none : v.amount) +
           (kept.isEmpty() ? QString() : QStringLiteral("（") + kept + QStringLiteral("）"));
  return QString();
}

namespace {

// The vouchers' fields as the grid's columns and the table name them, in the order of Values.
const char* const kFields[] = {"voucher_date", "sup_code", "dept_code", "summary", "amount", "checked"};

}  // namespace

VoucherEntry::Values VoucherEntry::stored(int row) {
  TSQLCA* area = window_->vouchers();
  auto f = [&](const char* name) { return QString::fromUtf16(area->Get_Row_Value(row, area->Find_Field(map_wchar(name)))); };
  return {f("voucher_date"), f("sup_code"), f("dept_code"), f("summary"), f("amount"), f("checked")};
}

QStringList VoucherEntry::edited() const {
  TSQLCA* area = window_->vouchers();
  QStringList out;
  const int key = area->Find_Field(u"voucher_no");
  for (int r = 0; r < area->Get_Row_Count(); ++r)
    if (area->Row_State(r) == TSQLCA::ROW_CHANGED) out << QString::fromUtf16(area->Get_Row_Value(r, key));
  return out;
}

// A saved voucher's row changed in the grid: its values go into the tracked area until they are saved.
void VoucherEntry::noteEdit(int row) {
  int noCol = 0;
  if (row < grid_->FixedRows() || !grid_->GetColId("voucher_no", &noCol)) return;
  const QString no = grid_->Cells(noCol, row);
  if (no.isEmpty() || no == QString::fromUtf16(kNew_Mark)) return;
  TSQLCA* area = window_->vouchers();
  const int r = area->Find_Key(W(no));
  if (r < 0) return;
  const Values v = read(row);
  const QString values[] = {v.date, v.sup, v.dept, v.summary, v.amount, v.checked};
  area->Go_To_Row(r);
  for (size_t i = 0; i < sizeof kFields / sizeof kFields[0]; ++i) {
    const int f = area->Find_Field(map_wchar(kFields[i]));
    // A value the clerk did not touch stays as read (SQLite's 125600 is the grid's 125,600.00).
    if (f >= 0 && !TRow_Track::Same(area->Get_Value(f), true, W(values[i]), true, area->Get_Field_Type(f)))
      area->Set_Value(f, W(values[i]));
  }
  const QString warning = window_->amountWarning(row);
  window_->note(warning.isEmpty() ? QString::fromUtf16(u"凭证 %1 已修改，Ctrl+S 保存").arg(no)
                                  : QString::fromUtf16(u"凭证 %1：").arg(no) + warning);
}

QStringList VoucherEntry::save() {
  if (!grid_) return {};
  grid_->Change_Check();  // the cell being typed counts
  const int row = openRow();
  TSQLCA* area = window_->vouchers();
  const QStringList changed = edited();
  if (row < 0 && changed.isEmpty()) return refuse(QString::fromUtf16(u"没有新凭证或修改（Ctrl+N 新增）"));

  // Everything is checked before anything is written: a refusal keeps every row as typed.
  const char* field = nullptr;
  Values fresh;
  if (row >= 0) {
    fresh = read(row);
    const QString why = problem(fresh, row, &field);
    if (!why.isEmpty()) return field ? refuseAt(QString::fromUtf16(u"新凭证"), row, field, why) : refuse(why);
  }
  int noCol = 0;
  grid_->GetColId("voucher_no", &noCol);
  for (const QString& no : changed) {
    int shown = -1;  // the voucher's row, when the grid shows it
    for (int r = grid_->FixedRows(); r < grid_->RowCount(); ++r)
      if (grid_->Cells(noCol, r) == no) shown = r;
    const int kept = area->Find_Key(W(no));
    const QString why = problem(stored(kept), shown, &field, area->Field_Changed(kept, area->Find_Field(u"dept_code")));
    if (!why.isEmpty()) return field ? refuseAt(QString::fromUtf16(u"凭证 %1 ").arg(no), shown, field, why) : refuse(why);
  }

  // The new voucher joins the area as an added row; it takes its number in the save's transaction.
  int added = -1;
  if (row >= 0) {
    area->Add_Row();
    added = area->Get_Row_Count() - 1;
    const QString values[] = {fresh.date, fresh.sup, fresh.dept, fresh.summary, fresh.amount, QString()};
    for (size_t i = 0; i < sizeof kFields / sizeof kFields[0]; ++i)
      if (!values[i].isEmpty()) area->Set_Value(area->Find_Field(map_wchar(kFields[i])), W(values[i]));
  }
  TSave_Options options;
  options.caption = u"凭证";  // a conflict names the voucher, not the table
  options.before_insert = Demo_Number_Voucher;
  TSave_Result result;
  if (db_->saveChanges(area, options, &result) != 0) {
    if (added >= 0) {  // the open row stays in the grid as typed, not in the area
      area->Go_To_Row(added);
      area->Del_Row();
    }
    // A conflict is told in the clerk's words already; a database failure gets the user's sentence.
    return refuse(db_->error());
  }

  QStringList written = changed;
  QString no;
  if (added >= 0) {
    no = QString::fromUtf16(area->Get_Row_Value(added, area->Find_Field(u"voucher_no")));
    written << no;
    grid_->SetCells(noCol, row, no);  // no longer open: the refill does not bring it back as new
  }
  fresh_.clear();
  window_->fillVouchers(window_->lastWhere());
  window_->refreshTable();
  window_->refreshStatus();
  int amountCol = 0;
  grid_->GetColId("amount", &amountCol);
  if (!written.isEmpty())
    for (int r = grid_->FixedRows(); r < grid_->RowCount(); ++r)
      if (grid_->Cells(noCol, r) == written.last()) rest(amountCol, r);
  QString said = QString::fromUtf16(u"凭证 %1 已保存").arg(written.join(QStringLiteral("、")));
  if (result.took_theirs) said += QString::fromUtf16(u"（%1 张采用了他人的修改）").arg(result.took_theirs);
  window_->note(said);
  return written;
}

bool VoucherEntry::askToClose() {
  if (grid_) grid_->Change_Check();  // the cell being typed counts
  const QStringList changed = edited();
  if (openRow() < 0 && changed.isEmpty()) return true;
  QStringList what = changed;
  if (openRow() >= 0) what << QString::fromUtf16(kNew_Mark);
  QMessageBox box(QMessageBox::Question, QString::fromUtf16(u"凭证"),
                  QString::fromUtf16(u"凭证 %1 还没有保存。保存吗？").arg(what.join(QStringLiteral("、"))),
                  QMessageBox::NoButton, window_->window());
  box.setObjectName(QStringLiteral("unsavedVouchers"));
  box.setLocale(Host_Locale());
  QPushButton* keep = box.addButton(Host_Cap(u"dialog", u"保存"), QMessageBox::AcceptRole);
  keep->setObjectName(QStringLiteral("save"));
  QPushButton* drop = box.addButton(Host_Cap(u"dialog", u"不保存"), QMessageBox::DestructiveRole);
  drop->setObjectName(QStringLiteral("discard"));
  QPushButton* stay = box.addButton(Host_Cap(u"dialog", u"取消"), QMessageBox::RejectRole);
  stay->setObjectName(QStringLiteral("cancel"));
  box.setDefaultButton(keep);
  box.setEscapeButton(stay);
  box.exec();
  if (box.clickedButton() == drop) return true;
  return box.clickedButton() == keep && !save().isEmpty();  // a refused save keeps the window open
}

bool VoucherEntry::eventFilter(QObject* watched, QEvent* event) {
  // The event's type first: the window's own teardown sends events here while it is half gone.
  if ((event->type() != QEvent::Close && event->type() != QEvent::KeyPress) || watched != window_->window())
    return QObject::eventFilter(watched, event);
  if (event->type() == QEvent::Close && !askToClose()) {
    event->ignore();
    return true;
  }
  // Escape that no control took (the strip's fields leave it to the window) takes an untouched new
  // row away.
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier && untouched()) {
      discard(false);
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}
