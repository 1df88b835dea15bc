// A new voucher entered from the keyboard alone, and saved.
//
// Ctrl+N (凭证 > 新增凭证) adds a row marked "（新）" at the end of the voucher grid and puts the cursor
// in the voucher date of the input strip. The strip's fields follow into the row as they are taken:
// Enter in the date goes on to the supplier; a supplier code (typed, or chosen from its search list
// with Down or F4) goes on to the department; a department goes on to the row's summary in the grid,
// then Tab to the amount; the sum line under the grid totals the amounts as they are typed. Ctrl+S
// (凭证 > 保存凭证) checks the row (a real date, a supplier of the supplier table, an amount) and writes it
// to the vouchers table under the next number of the sequence "voucher_no" ("V" + the date's year +
// three digits), in one transaction. A refused or failed save says why in the status bar and keeps the
// row as typed; so does a refill of the grid (a filter, the department tree) while the row is open.
#pragma once

#include <QObject>
#include <QStringList>

class DemoWindow;
class DemoInputs;
class DemoDb;
class TMG;

class VoucherEntry : public QObject {
  Q_OBJECT
 public:
  // window owns the entry; inputs and db must outlive it.
  VoucherEntry(DemoWindow* window, DemoInputs* inputs, DemoDb* db);

  // Opens a new voucher row (or goes back to the open one).
  void start();
  // Saves the open row. The new voucher's number, or "" when nothing was saved (the status bar says why).
  QString save();
  // The grid row of the open voucher, or -1.
  int openRow() const;

 private:
  void follow(const char* column, const QString& value);
  void keep();
  void restore();
  int appendRow();
  QString refuse(const QString& why, QWidget* focus);

  DemoWindow* window_;
  DemoInputs* in_;
  DemoDb* db_;
  TMG* grid_;
  QStringList kept_;  // the open row's cells while the grid is refilled
};
