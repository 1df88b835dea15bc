// A new voucher entered from the keyboard alone, and saved.
//
// Ctrl+N (凭证 > 新增凭证) adds a row marked "（新）" at the end of the voucher grid and puts the cursor
// in the voucher date of the input strip; of the strip's values only the valid ones go into it (a real
// date, a code of the supplier and of the department table). Escape takes an untouched new row away
// again; Ctrl+D (凭证 > 删除未保存的新凭证) takes it away after a question naming its row, whatever it
// holds (in the grid, only from that row: on a saved voucher it deletes nothing and says so). The
// strip's fields follow into the row as they are taken:
// Enter in the date goes on to the supplier; a supplier code (typed, or chosen from its search list
// with Down or F4) goes on to the department; a department goes on to the row's summary in the grid,
// then Tab to the amount; the sum line under the grid totals the amounts as they are typed. Ctrl+S
// (凭证 > 保存凭证) checks the row (a real date, a supplier of the supplier table, an amount) and writes it
// to the vouchers table under the next number of the sequence "voucher_no" ("V" + the date's year +
// three digits), in one transaction. A refused or failed save says why in the status bar, naming the
// voucher and the column, puts the cursor on that cell and keeps the row as typed; so does a refill of
// the grid (a filter, the department tree) while the row is open. An amount the grid kept as typed
// (letters, more than two decimals: the grid's "keep_bad_number") is such a refusal. After a save the
// saved row is the current one, with no editor open over it.
//
// A voucher already saved is edited in its row of the grid: every change goes into the window's
// tracked area of vouchers (DemoWindow::vouchers(), core/data/row_track.h), so a refill shows it again
// and a filter that hides the row does not lose it. Ctrl+S saves the area (TSQLCA::Save_Changes) with
// the new row when one is open, in one transaction: only the columns changed, each UPDATE holding the
// values the clerk read, so another clerk's change of the same voucher since is not overwritten but
// put to the clerk (keep mine, take theirs, merge by column: the host's "pdu_save_conflict"), and
// another clerk's change of other columns stays. The new voucher's number is taken in that transaction.
// The sum line and the table view above follow. Closing the window with an open row or edits not yet
// saved asks whether to save them, throw them away, or stay.
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
  // Saves the open row and the edits of saved vouchers, all or none. The numbers written (the new
  // voucher's last), or empty when nothing was saved (the status bar says why).
  QStringList save();
  // The grid row of the open voucher, or -1.
  int openRow() const;
  // The saved vouchers edited and not yet written back.
  QStringList edited() const;
  // Takes the open row away (after a question when ask); false when there is none or the answer is no.
  bool discard(bool ask);

 protected:
  // The window's close: asks first when something typed is not saved.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A voucher's fields as they go to the database.
  struct Values {
    QString date, sup, dept, summary, amount, checked;
  };
  Values read(int row) const;
  // The values of a row of the tracked area.
  Values stored(int row);
  // Why the values cannot be saved ("" when they can); *field names the column at fault, null when
  // none is (a check that could not be made). row: the grid row they were read from, -1 when it is
  // not shown. check_dept: the department is checked (a new voucher's, or one changed; a saved voucher
  // keeps a department stopped since).
  QString problem(const Values& v, int row, const char** field, bool check_dept = true);
  // Why the department cannot take a voucher ("" when it can): it must be in the "dept" dictionary,
  // as it is now, and not stopped. *failed (optional) is set when the dictionary could not be read.
  static QString deptProblem(const QString& code, bool* failed = nullptr);
  // The open row as Ctrl+N and the strip's fields left it: Escape takes it away.
  bool untouched() const;
  QStringList rowCells(int row) const;
  // Whether code is a value of column in table.
  bool known(const char* table, const char* column, const QString& code);
  // The cursor on a cell of the grid without an editor over it.
  void rest(int col, int row);
  void noteEdit(int row);
  bool askToClose();
  void follow(const char* column, const QString& value);
  void keep();
  void restore();
  int appendRow();
  QStringList refuse(const QString& why);
  // A refusal naming the voucher (who) and the column, with the cursor put on that cell.
  QStringList refuseAt(const QString& who, int row, const char* field, const QString& why);

  DemoWindow* window_;
  DemoInputs* in_;
  DemoDb* db_;
  TMG* grid_;
  QStringList kept_;  // the open row's cells while the grid is refilled
  QStringList fresh_;  // the open row's cells as Ctrl+N and the strip left them
};
