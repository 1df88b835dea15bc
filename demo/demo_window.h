// The demo's main window: built from the Designer form zem_demo.ui, with the sample tables in a
// TStringGrid, the voucher form (voucher_form.ui, a TMG defined by ADEF and BDEF) filled from the
// vouchers table below them, and the database's facts on the MStatusBar. Other clerks' new and changed
// vouchers show as soon as the database tells of them (the table is watched under the id "vouchers",
// dict/dict_change.h), the current row and the clerk's unsaved edits kept; while a cell is being typed
// into, the refill waits for it.
#pragma once

#include <QObject>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <memory>

#include "core/data/sqlca.h"

class QListWidget;
class QLabel;
class MStatusBar;
class TStringGrid;
class TMG;
class TImage;
class DemoDb;

// Shows text in the message panel of the demo's status bar (the one between the database and the
// versions), the panel taking the room the others leave: a text longer than that is cut with "…" at
// its end and shows whole as the panel's tooltip.
void Demo_Status_Note(MStatusBar* bar, const QString& text);
// The message panel's whole text.
QString Demo_Status_Message(MStatusBar* bar);

class DemoWindow : public QObject {
  Q_OBJECT
 public:
  // db is not owned and must outlive the window.
  explicit DemoWindow(DemoDb* db, QObject* parent = nullptr);
  ~DemoWindow() override;

  // The form's main window; null when the form did not load (error() says why).
  QMainWindow* window() const { return window_; }
  QString error() const { return error_; }
  // Shows the table at index of DemoDb::tables() in the grid.
  void showTable(int index);
  // Reads the table shown again (after the host changed it).
  void refreshTable();
  // Refreshes the status bar panels (database, row counts, versions).
  void refreshStatus();
  // Reads the vouchers table into the voucher grid, column by column name; where (an SQL condition,
  // empty for all) picks the rows, together with the condition of setVoucherCondition. The vouchers
  // live in a tracked query area (vouchers()) that holds them all: a fill reads the table again into it
  // keeping what the clerk changed and not saved (core/data/row_track.h), then shows the rows the
  // conditions pick, the clerk's edits in them; the current row (by voucher number) and column stay.
  // The rows it filled, or -1 when the table cannot be read.
  int fillVouchers(const QString& where = QString());
  // Every voucher as read, with the clerk's edits: tracked since the first fill, saved by VoucherEntry.
  TSQLCA* vouchers() { return &vouchers_; }
  // A second condition on the vouchers, kept for every later fill ("" none); fills again with the last
  // where. The rows filled, as fillVouchers.
  int setVoucherCondition(const QString& condition);
  // The voucher form's grid; null when the form did not load.
  TMG* voucherGrid() const { return voucher_; }
  // The where of the last fillVouchers ("" for all).
  QString lastWhere() const { return lastWhere_; }
  // Shows a message in the status bar's middle panel.
  void note(const QString& text);
  // A date as the voucher grid shows it: eight digits yyyymmdd as yyyy-mm-dd, anything else as it is
  // (one form in the column, whether a date came from the table, the picker, a paste or the keyboard).
  static QString shownDate(const QString& text);
  // What the clerk is told about an amount the grid kept as typed in row ("" when there is nothing).
  QString amountWarning(int row);

 signals:
  // Before every fill of the voucher grid, while it still shows what was there.
  void aboutToFill();
  // After every fill of the voucher grid, with the rows it shows.
  void vouchersFilled(int rows);

 private:
  void connectActions();
  void followOthers();
  void refillSoon();
  // A read of the window's, within readBound_.
  int read(TSQLCA& q, const QString& sql);
  bool loadVoucherForm(QWidget* host);
  // The voucher grid's sort keys in the status bar.
  void noteSortKeys();
  // The background picture of the voucher grid, made for its view's size and the band its cells leave.
  void paintPaper();
  bool eventFilter(QObject* watched, QEvent* event) override;

  DemoDb* db_;
  QPointer<QMainWindow> window_;  // owned (deleted with this object)
  QListWidget* tables_ = nullptr;
  QLabel* caption_ = nullptr;
  MStatusBar* status_ = nullptr;
  TStringGrid* grid_ = nullptr;
  TMG* voucher_ = nullptr;        // owned by its form, a child of the window
  std::unique_ptr<TImage> voucherPicture_;  // painted under the voucher grid's empty area
  QString error_;
  TSQLCA vouchers_;           // every voucher, tracked
  QString voucherCondition_;  // setVoucherCondition's
  QString lastWhere_;         // the where of the last fill
  static constexpr int kQuiet_Bound_S = 2;  // a refill nobody asked for
  int readBound_ = 0;         // the bound of the window's reads in seconds (0: the database's)
  QTimer retry_;              // the next try of a refill that failed
  int retryMs_ = 0;           // its wait, doubled on each failure; 0 while the last refill worked
};
