// A new voucher entered from the keyboard alone, and saved.
#include "demo/demo_voucher_entry.h"

#include <QAction>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QRegularExpression>

#include "controls/grid/Mg.h"
#include "controls/inputs/Mdate.h"
#include "core/data/sqlca.h"
#include "demo/demo_db.h"
#include "demo/demo_inputs.h"
#include "demo/demo_window.h"
#include "toolkit/tk_edit.h"

namespace {

// The voucher-number cell of a row not yet saved.
const char16_t kNew_Mark[] = u"（新）";

const wchar16* W(const QString& s) { return reinterpret_cast<const wchar16*>(s.utf16()); }

QString Quoted(QString s) { return QLatin1Char('\'') + s.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\''); }

}  // namespace

VoucherEntry::VoucherEntry(DemoWindow* window, DemoInputs* inputs, DemoDb* db)
    : QObject(window), window_(window), in_(inputs), db_(db), grid_(window->voucherGrid()) {
  auto action = [window](const char* name) {
    return window->window() ? window->window()->findChild<QAction*>(QString::fromLatin1(name)) : nullptr;
  };
  if (QAction* a = action("actionNewVoucher")) connect(a, &QAction::triggered, this, [this] { start(); });
  if (QAction* a = action("actionSaveVoucher")) connect(a, &QAction::triggered, this, [this] { save(); });
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

void VoucherEntry::start() {
  if (!grid_) return;
  if (openRow() < 0) {
    const int row = appendRow();
    char v[16];
    in_->date->Get_Date(v);
    grid_->SetV("voucher_date", row, v);
    if (!in_->supName->text().isEmpty()) grid_->SetW("sup_code", row, W(in_->supCode->text()));
    if (!in_->deptName->text().isEmpty()) grid_->SetW("dept_code", row, W(in_->deptCode->text()));
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
  grid_->SetW(column, row, W(value));
  grid_->Invalidate();
}

void VoucherEntry::keep() {
  const int row = openRow();
  kept_.clear();
  if (row < 0) return;
  for (int c = 1; c < grid_->ColCount(); ++c) kept_ << grid_->Cells(c, row);
}

void VoucherEntry::restore() {
  if (kept_.isEmpty()) return;
  const int row = appendRow();
  for (int c = 1; c < grid_->ColCount() && c - 1 < kept_.size(); ++c) grid_->SetCells(c, row, kept_[c - 1]);
  kept_.clear();
  grid_->Sync_Sum();
  grid_->Invalidate();
}

QString VoucherEntry::refuse(const QString& why, QWidget* focus) {
  window_->note(QString::fromUtf16(u"凭证未保存：") + why);
  if (focus) focus->setFocus();
  return QString();
}

QString VoucherEntry::save() {
  const int row = openRow();
  if (row < 0) return refuse(QString::fromUtf16(u"没有新凭证（Ctrl+N 新增）"), nullptr);
  const QString date = QString::fromLatin1(grid_->GetV("voucher_date", row)).trimmed();
  const QString sup = QString::fromLatin1(grid_->GetV("sup_code", row)).trimmed();
  const QString dept = QString::fromUtf16(grid_->GetW("dept_code", row)).trimmed();
  const QString summary = QString::fromUtf16(grid_->GetW("summary", row)).trimmed();
  QString amount = QString::fromLatin1(grid_->GetV("amount", row)).remove(QLatin1Char(',')).trimmed();
  int amountCol = 0;
  grid_->GetColId("amount", &amountCol);

  if (!QDate::fromString(date, QStringLiteral("yyyyMMdd")).isValid())
    return refuse(QString::fromUtf16(u"日期无效：") + date, in_->date->Year_Field());
  TSQLCA q;
  if (db_->select(q, QStringLiteral("select count(*) from suppliers where sup_code=") + Quoted(sup)) != 0 ||
      q.Get_Row_Count() != 1 || QString::fromUtf16(q.Get_Row_Value(0, 0)).toInt() != 1)
    return refuse(QString::fromUtf16(u"没有这个供应商：") + sup, in_->supCode);
  bool number = false;
  amount.toDouble(&number);
  if (!number || !QRegularExpression(QStringLiteral("^-?[0-9]+(\\.[0-9]{1,2})?$")).match(amount).hasMatch()) {
    grid_->setFocus();
    grid_->FocusCell(amountCol, row);
    return refuse(QString::fromUtf16(u"金额无效：") + (amount.isEmpty() ? QString::fromUtf16(u"（空）") : amount),
                  nullptr);
  }

  // The number and the voucher in one transaction: a failure leaves neither.
  auto failed = [&](const QString& what) {
    const QString why = QString::fromUtf16(q.Get_Error_Msg());
    q.Rollback();
    return refuse(what + QStringLiteral("：") + why, nullptr);
  };
  if (q.Exec(u"update app_sequence set seq_val=seq_val+1 where seq_name='voucher_no'") != 0)
    return failed(QString::fromUtf16(u"取凭证号失败"));
  if (q.Exec(u"select seq_val from app_sequence where seq_name='voucher_no'") != 0 || q.Get_Row_Count() != 1)
    return failed(QString::fromUtf16(u"取凭证号失败"));
  const QString no = QStringLiteral("V%1%2").arg(date.left(4)).arg(QString::fromUtf16(q.Get_Row_Value(0, 0)).toInt(), 3, 10,
                                                                     QLatin1Char('0'));
  const QString insert =
      QStringLiteral("insert into vouchers(voucher_no,voucher_date,sup_code,dept_code,summary,amount,checked) "
                     "values(%1,%2,%3,%4,%5,%6,null)")
          .arg(Quoted(no), Quoted(date), Quoted(sup), dept.isEmpty() ? QStringLiteral("null") : Quoted(dept),
               Quoted(summary), amount);
  if (q.Exec(W(insert)) != 0) return failed(QString::fromUtf16(u"写入凭证失败"));
  if (q.Commit() != 0) return failed(QString::fromUtf16(u"提交失败"));

  int noCol = 0;
  grid_->GetColId("voucher_no", &noCol);
  grid_->SetCells(noCol, row, no);  // no longer open: the refill does not bring it back as new
  window_->fillVouchers(window_->lastWhere());
  window_->refreshTable();
  window_->refreshStatus();
  for (int r = grid_->FixedRows(); r < grid_->RowCount(); ++r)
    if (grid_->Cells(noCol, r) == no) {
      grid_->setFocus();
      grid_->FocusCell(amountCol, r);
    }
  window_->note(QString::fromUtf16(u"凭证 %1 已保存").arg(no));
  return no;
}
