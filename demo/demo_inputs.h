// The demo's input strip above the voucher grid, loaded from the Designer form inputs_form.ui: the
// voucher date (TMDate), a supplier and a department code each with a search edit (TMGS) as its
// drop-down over its table, an accounting month (TMDate) and a making date (MPickDate). Choices are
// noted in the status bar; an unknown department code offers to add the department.
//
// Keys: Down or F4 in a code field opens its list; Enter takes the typed code (an unknown supplier is
// refused, an unknown department may be added); Enter in the voucher date goes on to the supplier.
#pragma once

#include <QObject>
#include <functional>

class QMainWindow;
class QLineEdit;
class QLabel;
class DemoDb;
class TMDate;
class MPickDate;
class TMGS;

class DemoInputs : public QObject {
 public:
  TMDate* date = nullptr;     // the voucher date
  TMDate* month = nullptr;    // the accounting month
  MPickDate* made = nullptr;  // the making date
  QLineEdit* supCode = nullptr;
  QLabel* supName = nullptr;
  QLineEdit* deptCode = nullptr;
  QLabel* deptName = nullptr;
  TMGS* supList = nullptr;   // the supplier field's drop-down
  TMGS* deptList = nullptr;  // the department field's drop-down

  // Called after a code was taken into its field (by Enter, from the list or from the search dialog),
  // and after Enter in the voucher date; each may be empty.
  std::function<void(const QString& code)> onSupplier, onDept;
  std::function<void()> onDateDone;

  using QObject::QObject;
};

// Loads the strip into the window's voucher box; null when the form or the box is missing. db is not
// owned and must outlive the window; the strip belongs to the window.
DemoInputs* Demo_Add_Inputs(QMainWindow* window, DemoDb* db);
