// The host's calendar dialog ("gui_calendar_get") as the date box and the date picker call it.
#include <QApplication>
#include <QCalendarWidget>
#include <QDate>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <cstring>

#include "core/data/para.h"
#include "frame/pub_ptr.h"
#include "host/zem_host.h"
#include "toolkit/tk_datetime.h"
#include "util/lang_map.h"

namespace {

QString Cap(const char16_t* caption) { return QString::fromUtf16(Lang_Cap(u"dialog", caption)); }

// Puts the dialog's top-left corner at the point the control asked for, moved back onto the screen
// that holds the point when the dialog would stick out of it.
void Place(QDialog* dialog) {
  int x = 0, y = 0;
  if (!Pub_Para_Get_Int(u"tmp.calendar_x", &x) || !Pub_Para_Get_Int(u"tmp.calendar_y", &y)) return;
  dialog->adjustSize();
  QPoint at(x, y);
  if (QScreen* screen = QGuiApplication::screenAt(at)) {
    const QRect area = screen->availableGeometry();
    const QSize size = dialog->frameGeometry().size();
    at.setX(std::max(area.left(), std::min(at.x(), area.right() + 1 - size.width())));
    at.setY(std::max(area.top(), std::min(at.y(), area.bottom() + 1 - size.height())));
  }
  dialog->move(at);
}

}  // namespace

int Zem_Host_Calendar_Get(char* date_buffer) {
  if (!date_buffer) return 0;
  // The buffer is 20 bytes: YYYYMMDD, or anything else (an empty text) for "no date yet".
  QDate date = QDate::fromString(QString::fromLatin1(date_buffer, static_cast<int>(strnlen(date_buffer, 20))),
                                 QStringLiteral("yyyyMMdd"));
  if (!date.isValid()) date = Today();

  QDialog dialog(QApplication::activeWindow());
  dialog.setObjectName(QStringLiteral("zem_host_calendar"));
  dialog.setWindowTitle(Cap(u"日历"));
  auto* layout = new QVBoxLayout(&dialog);
  auto* calendar = new QCalendarWidget(&dialog);
  // Month and day names in Chinese (一月, 周一), weeks starting on Monday, as the forms around it read.
  calendar->setLocale(QLocale(QLocale::Chinese, QLocale::China));
  calendar->setFirstDayOfWeek(Qt::Monday);
  calendar->setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
  calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
  calendar->setGridVisible(true);
  calendar->setSelectedDate(date);
  layout->addWidget(calendar);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setText(Cap(u"确定"));
  buttons->button(QDialogButtonBox::Cancel)->setText(Cap(u"取消"));
  layout->addWidget(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  QObject::connect(calendar, &QCalendarWidget::activated, &dialog, &QDialog::accept);
  Place(&dialog);
  if (dialog.exec() != QDialog::Accepted) return 0;  // the buffer stays as it was
  const QByteArray text = calendar->selectedDate().toString(QStringLiteral("yyyyMMdd")).toLatin1();
  std::memcpy(date_buffer, text.constData(), static_cast<size_t>(text.size()) + 1);
  return 1;
}

int Zem_Host_Register_Calendar() {
  Gui_Calendar_Get_Fn calendar = Zem_Host_Calendar_Get;
  return Zem_Reg_Shared_Ptr(kGui_Calendar_Get, reinterpret_cast<void*>(calendar));
}
