// TMDate for screen readers: one group named after its label, whose text is the date it holds.
#include "controls/inputs/Mdate.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace {

// The group over a date box; its text interface reads the value as "2026-12-06", read only (the fields
// inside it are where the date is typed).
class MDate_Access : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit MDate_Access(TMDate* box) : QAccessibleWidget(box, QAccessible::Grouping) {}

  // "yyyy-mm-dd" (or "yyyy-mm") of the box's digits, empty when it holds no date.
  QString Value() const {
    auto* box = static_cast<TMDate*>(object());
    QString v = box ? box->Value() : QString();
    if (v.size() >= 6) v.insert(4, u'-');
    if (v.size() >= 9) v.insert(7, u'-');
    return v;
  }

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }
  QString text(QAccessible::Text t) const override {
    return t == QAccessible::Value ? Value() : QAccessibleWidget::text(t);
  }

  // ---- QAccessibleTextInterface, read only.
  void selection(int, int* start, int* end) const override { *start = *end = 0; }
  int selectionCount() const override { return 0; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override { return 0; }
  void setCursorPosition(int) override {}
  QString text(int start, int end) const override { return Value().mid(start, end - start); }
  int characterCount() const override { return int(Value().size()); }
  QRect characterRect(int) const override { return QRect(); }
  int offsetAtPoint(const QPoint&) const override { return -1; }
  void scrollToSubstring(int, int) override {}
  QString attributes(int offset, int* start, int* end) const override {
    *start = *end = offset;
    return QString();
  }
};

QAccessibleInterface* Factory(const QString&, QObject* o) {
  auto* box = qobject_cast<TMDate*>(o);
  return box ? new MDate_Access(box) : nullptr;
}

}  // namespace

void TMDate::Install_Accessible() {
  static bool done = false;
  if (done) return;
  done = true;
  QAccessible::installFactory(Factory);
}
