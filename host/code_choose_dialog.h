// CodeChooseDialog: the host's dialog for choosing codes from a list of (code, name) entries: a search
// line over a two-column list (code, name). The search finds codes by prefix, names by a part or by the
// pinyin initials of their characters (CodeSearch).
//
// Single choice: the first row found is current; Up/Down/PageUp/PageDown in the search line move in
// the list, Enter or a double click takes the current row. Multiple choice: each row has a check box
// (click, Space in the list, or a double click), "全选"/"全不选" tick or clear every row shown, and
// the codes come back in the order they were ticked (codes ticked before the dialog keep their places,
// also those the list does not show). Buttons and captions go through the caption language map
// (context "host").
#pragma once

#include <QDialog>
#include <QSet>
#include <QStringList>
#include <memory>

#include "host/code_search.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

class CodeChooseDialog : public QDialog {
  Q_OBJECT
 public:
  enum Mode { Single, Multi };
  CodeChooseDialog(Mode mode, std::shared_ptr<CodeSearch> search, const QString& title,
                   QWidget* parent = nullptr);
  ~CodeChooseDialog() override;

  // Puts text into the search line and shows what it finds.
  void setSearchText(const QString& text);
  // Single choice: makes the row of code current (when shown).
  void setCurrentCode(const QString& code);
  // Multiple choice: the codes ticked, in their order.
  void setChosenCodes(const QStringList& codes);

  // Single choice: the current row's code ("" when none).
  QString chosenCode() const;
  // Multiple choice: the ticked codes in choice order.
  QStringList chosenCodes() const { return order_; }
  // Ticks (or clears) every row shown.
  void chooseAllShown(bool on);

  QLineEdit* searchEdit() const { return edit_; }
  QTableView* list() const { return view_; }
  int shownCount() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  class Model;
  void refilter();
  void toggle(int row);
  void updateCount();

  Mode mode_;
  std::shared_ptr<CodeSearch> search_;
  Model* model_ = nullptr;  // owned by the dialog (Qt child)
  QLineEdit* edit_ = nullptr;
  QTableView* view_ = nullptr;
  QLabel* count_ = nullptr;
  QPushButton* ok_ = nullptr;
  QStringList order_;      // ticked codes in choice order
  QSet<QString> checked_;  // the same codes, for the check boxes
};
