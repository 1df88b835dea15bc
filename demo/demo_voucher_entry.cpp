// A new voucher entered from the keyboard alone, and saved.
#include "demo/demo_voucher_entry.h"

#include <QAction>
#include <QDate>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

#include "controls/grid/Mg.h"
#include "controls/inputs/Mdate.h"
#include "core/data/sqlca.h"
#include "demo/demo_db.h"
#include "demo/demo_inputs.h"
#include "demo/demo_window.h"
#include "host/host_ui.h"
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
  if (window->window()) window->window()->installEventFilter(this);
  // A change in a saved voucher's row is remembered for the next save.
  if (grid_) {
    auto typed = grid_->OnMGValChange;
    grid_->OnMGValChange = [this, typed](TObject* s, int c, int r, const QString& now, const QString& old) {
      if (typed) typed(s, c, r, now, old);
      noteEdit(r);
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
  // Edits not yet saved show again in the rows of their vouchers.
  int noCol = 0;
  if (!edits_.isEmpty() && grid_->GetColId("voucher_no", &noCol)) {
    for (int r = grid_->FixedRows(); r < grid_->RowCount(); ++r) {
      const auto e = edits_.constFind(grid_->Cells(noCol, r));
      if (e == edits_.cend()) continue;
      for (int c = 1; c < grid_->ColCount() && c - 1 < e->cells.size(); ++c) grid_->SetCells(c, r, e->cells[c - 1]);
    }
    grid_->Sync_Sum();
    grid_->Invalidate();
  }
  if (kept_.isEmpty()) return;
  const int row = appendRow();
  for (int c = 1; c < grid_->ColCount() && c - 1 < kept_.size(); ++c) grid_->SetCells(c, row, kept_[c - 1]);
  kept_.clear();
  grid_->Sync_Sum();
  grid_->Invalidate();
}

QStringList VoucherEntry::refuse(const QString& why, QWidget* focus) {
  window_->note(QString::fromUtf16(u"凭证未保存：") + why);
  if (focus) focus->setFocus();
  return {};
}

VoucherEntry::Values VoucherEntry::read(int row) const {
  auto text = [&](const char* column) { return QString::fromUtf16(grid_->GetW(column, row)).trimmed(); };
  Values v{text("voucher_date"), text("sup_code"), text("dept_code"), text("summary"), text("amount"), text("checked")};
  v.amount.remove(QLatin1Char(','));
  // The date column's picker writes 2024-06-18; the table keeps 20240618.
  if (QDate::fromString(v.date, QStringLiteral("yyyy-MM-dd")).isValid()) v.date.remove(QLatin1Char('-'));
  return v;
}

QString VoucherEntry::problem(const Values& v, const char** field) {
  *field = "voucher_date";
  if (!QDate::fromString(v.date, QStringLiteral("yyyyMMdd")).isValid()) return QString::fromUtf16(u"日期无效：") + v.date;
  *field = "sup_code";
  TSQLCA q;
  if (db_->select(q, QStringLiteral("select count(*) from suppliers where sup_code=") + Quoted(v.sup)) != 0 ||
      q.Get_Row_Count() != 1 || QString::fromUtf16(q.Get_Row_Value(0, 0)).toInt() != 1)
    return QString::fromUtf16(u"没有这个供应商：") + v.sup;
  *field = "amount";
  bool number = false;
  v.amount.toDouble(&number);
  if (!number || !QRegularExpression(QStringLiteral("^-?[0-9]+(\\.[0-9]{1,2})?$")).match(v.amount).hasMatch())
    return QString::fromUtf16(u"金额无效：") + (v.amount.isEmpty() ? QString::fromUtf16(u"（空）") : v.amount);
  return QString();
}

// A saved voucher's row changed in the grid: remembered until it is written back.
void VoucherEntry::noteEdit(int row) {
  int noCol = 0;
  if (row < grid_->FixedRows() || !grid_->GetColId("voucher_no", &noCol)) return;
  const QString no = grid_->Cells(noCol, row);
  if (no.isEmpty() || no == QString::fromUtf16(kNew_Mark)) return;
  Edit& e = edits_[no];
  e.cells.clear();
  for (int c = 1; c < grid_->ColCount(); ++c) e.cells << grid_->Cells(c, row);
  e.values = read(row);
  window_->note(QString::fromUtf16(u"凭证 %1 已修改，Ctrl+S 保存").arg(no));
}

QStringList VoucherEntry::save() {
  if (!grid_) return {};
  grid_->Change_Check();  // the cell being typed counts
  const int row = openRow();
  if (row < 0 && edits_.isEmpty())
    return refuse(QString::fromUtf16(u"没有新凭证或修改（Ctrl+N 新增）"), nullptr);

  // Everything is checked before anything is written: a refusal keeps every row as typed.
  const char* field = nullptr;
  Values fresh;
  if (row >= 0) {
    fresh = read(row);
    const QString why = problem(fresh, &field);
    if (!why.isEmpty()) {
      if (QByteArray(field) == "voucher_date") return refuse(why, in_->date->Year_Field());
      if (QByteArray(field) == "sup_code") return refuse(why, in_->supCode);
      int col = 0;
      grid_->GetColId(field, &col);
      grid_->setFocus();
      grid_->FocusCell(col, row);
      return refuse(why, nullptr);
    }
  }
  int noCol = 0;
  grid_->GetColId("voucher_no", &noCol);
  for (auto e = edits_.cbegin(); e != edits_.cend(); ++e) {
    const QString why = problem(e.value().values, &field);
    if (why.isEmpty()) continue;
    for (int r = grid_->FixedRows(); r < grid_->RowCount(); ++r) {
      int col = 0;
      if (grid_->Cells(noCol, r) == e.key() && grid_->GetColId(field, &col)) {
        grid_->setFocus();
        grid_->FocusCell(col, r);
      }
    }
    return refuse(QString::fromUtf16(u"凭证 %1 ").arg(e.key()) + why, nullptr);
  }

  // The edits, the next number of the sequence and the new voucher in one transaction: a failure leaves
  // none of them. The number is made by the statements themselves ("V", the year, the sequence's value
  // in at least three digits), so the same list runs on the database or through the application server.
  auto nullable = [](const QString& v) { return v.isEmpty() ? QStringLiteral("null") : Quoted(v); };
  QStringList sqls, written;
  for (auto e = edits_.cbegin(); e != edits_.cend(); ++e) {
    const Values& v = e.value().values;
    const QString checked = v.checked == QLatin1String("1") || v.checked == QLatin1String("0") ? v.checked
                                                                                              : QStringLiteral("null");
    sqls << QStringLiteral("update vouchers set voucher_date=%1,sup_code=%2,dept_code=%3,summary=%4,amount=%5,"
                           "checked=%6 where voucher_no=%7")
                .arg(Quoted(v.date), Quoted(v.sup), nullable(v.dept), Quoted(v.summary), v.amount, checked,
                     Quoted(e.key()));
    written << e.key();
  }
  QString no;
  if (row >= 0) {
    const QString number = QStringLiteral("'V%1' || case when seq_val < 10 then '00' when seq_val < 100 then '0' "
                                          "else '' end || seq_val").arg(fresh.date.left(4));
    sqls << QStringLiteral("update app_sequence set seq_val=seq_val+1 where seq_name='voucher_no'")
         << QStringLiteral("insert into vouchers(voucher_no,voucher_date,sup_code,dept_code,summary,amount,checked) "
                           "select %1,%2,%3,%4,%5,%6,null from app_sequence where seq_name='voucher_no'")
                .arg(number, Quoted(fresh.date), Quoted(fresh.sup), nullable(fresh.dept), Quoted(fresh.summary),
                     fresh.amount)
         << QStringLiteral("select %1 from app_sequence where seq_name='voucher_no'").arg(number);
  }
  TSQLCA q;
  if (db_->transact(q, sqls) != 0) return refuse(QString::fromUtf16(u"保存失败：") + db_->error(), nullptr);
  if (row >= 0) {
    if (q.Get_Row_Count() != 1) return refuse(QString::fromUtf16(u"取凭证号失败"), nullptr);
    no = QString::fromUtf16(q.Get_Row_Value(0, 0));
    written << no;
  }

  edits_.clear();
  if (row >= 0) grid_->SetCells(noCol, row, no);  // no longer open: the refill does not bring it back as new
  window_->fillVouchers(window_->lastWhere());
  window_->refreshTable();
  window_->refreshStatus();
  int amountCol = 0;
  grid_->GetColId("amount", &amountCol);
  for (int r = grid_->FixedRows(); r < grid_->RowCount(); ++r)
    if (grid_->Cells(noCol, r) == written.last()) {
      grid_->setFocus();
      grid_->FocusCell(amountCol, r);
    }
  window_->note(QString::fromUtf16(u"凭证 %1 已保存").arg(written.join(QStringLiteral("、"))));
  return written;
}

bool VoucherEntry::askToClose() {
  if (openRow() < 0 && edits_.isEmpty()) return true;
  QStringList what = edits_.keys();
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
  if (box.clickedButton() == drop) {
    edits_.clear();
    return true;
  }
  return box.clickedButton() == keep && !save().isEmpty();  // a refused save keeps the window open
}

bool VoucherEntry::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close && watched == window_->window() && !askToClose()) {
    event->ignore();
    return true;
  }
  return QObject::eventFilter(watched, event);
}
