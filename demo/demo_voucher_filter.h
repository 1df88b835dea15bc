// The voucher form's filter bar: a department box (TComboBox_Ext, single choice over the dictionary
// "dept") and a supplier box (multiple choice over "sup") above the voucher grid. Each accepted choice
// rebuilds the condition from the boxes' Build_Limit and the grid shows only the vouchers it lets
// through; "全部" clears both, and takes the department tree beside the grid (if any) back to its top node.
#pragma once

#include <QObject>
#include <QString>

class QLabel;
class DemoWindow;
class TComboBox_Ext;

class VoucherFilter : public QObject {
  Q_OBJECT
 public:
  // Puts the bar at the top of the window's voucher box (nothing when the window has none).
  explicit VoucherFilter(DemoWindow* window);

  TComboBox_Ext* department() const { return dept_; }
  TComboBox_Ext* suppliers() const { return sup_; }
  // The condition the grid is filtered by ("" for every voucher).
  QString condition() const { return condition_; }
  // Rebuilds the condition from the boxes and refills the grid.
  void apply();

 private:
  // The bar's condition and the vouchers the grid shows.
  void showCount(int rows);

  DemoWindow* window_;
  TComboBox_Ext* dept_ = nullptr;  // owned by the bar, a child of the window
  TComboBox_Ext* sup_ = nullptr;
  QLabel* shown_ = nullptr;
  QString condition_;
};
