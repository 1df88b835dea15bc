// The Mpickdate unit: MPickDate and its unit hooks.
#include "controls/inputs/Mpickdate.h"
#include "controls/common/zem_common.h"
#include "controls/inputs/Mdate.h"
#include "controls/inputs/date_calendar.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <cstdio>
#include <cstring>
#include <string>

#include "util/disp_text.h"

namespace {

QString Caption_Text(const char16_t* text) { return QString::fromUtf16(Disp_Text(text)); }

}  // namespace

MPickDate::MPickDate(QWidget* parent) : TDateTimePicker(Zem_Startup_Parent(parent)) {
  mode_ = 1;
  SetFormat(QString::fromLatin1(kDate_Format));
  // Any change of the value, by the user or by code, makes a blank field show its date again. The
  // picker's OnChange stays free for the owner. A value given before the first show is the owner's.
  connect(this, &QDateTimeEdit::dateTimeChanged, this, [this]() {
    given_ = true;
    Value_OnChange(this);
  });
  // The calendar drop-down speaks Chinese like the rest of the box.
  setLocale(QLocale(QLocale::Chinese, QLocale::China));

  menu_ = new TPopupMenu(this);
  menu_->SetAutoHotkeys(maManual);
  struct Entry {
    const char16_t* caption;
    void (MPickDate::*handler)(TObject*);
  };
  const Entry entries[] = {{u"今天", &MPickDate::Menu_TodayClick},
                           {u"清空", &MPickDate::Menu_ClearClick},
                           {u"日历", &MPickDate::Menu_PopChooseClick}};
  for (const Entry& e : entries) {
    auto* item = new TMenuItem(menu_);
    item->SetCaption(Caption_Text(e.caption));
    const auto handler = e.handler;
    item->OnClick = [this, handler](TObject* s) { (this->*handler)(s); };
    menu_->Items()->Add(item);
  }
  first_ = menu_->Items(0);
  menu_->OnPopup = [this](TObject* s) { Menu_OnPupup(s); };
  SetPopupMenu(menu_);
  Apply_Menu_Font(menu_);
}

MPickDate::~MPickDate() { disconnect(this, nullptr, this, nullptr); }

bool MPickDate::Valid_Date_Text(const char* text, QDate* date) {
  if (!text) return false;
  int parts[3] = {0, 0, 0};
  const int widths[3] = {4, 2, 2};
  const char* p = text;
  for (int i = 0; i < 3; i++)
    for (int k = 0; k < widths[i]; k++, p++) {
      if (*p < '0' || *p > '9') return false;  // a short text or a non-digit
      parts[i] = parts[i] * 10 + (*p - '0');
    }
  const int days = Zem_Days_In_Month(parts[0], parts[1]);
  if (parts[2] < 1 || parts[2] > days) return false;
  if (date) *date = QDate(parts[0], parts[1], parts[2]);
  return true;
}

void MPickDate::Show_Or_Blank(bool valid, const QDate& date) {
  given_ = true;
  if (valid && date.isValid() && date >= minimumDate() && date <= maximumDate()) {
    SetFormat(QString::fromLatin1(mode_ == 2 ? kMonth_Format : kDate_Format));
    SetDate(date);
  } else {
    SetFormat(QString::fromLatin1(kBlank_Format));
  }
}

int MPickDate::Set_Date(const char* text) {
  mode_ = 1;
  if (!text) {
    Show_Or_Blank(true, Today());
    return 1;
  }
  QDate date;
  const bool valid = Valid_Date_Text(text, &date);
  Show_Or_Blank(valid, date);
  return 1;
}

int MPickDate::Set_Month(const char* text) {
  mode_ = 2;
  // Day 01 goes after the text and the first eight characters are checked as a date; the month is
  // shown from its first day, whatever day a longer text (a calendar's YYYYMMDD) carried.
  const QDate today = Today();
  QDate date = today;
  const bool valid = !text || Valid_Date_Text((std::string(text) + "01").c_str(), &date);
  Show_Or_Blank(valid, QDate(date.year(), date.month(), 1));
  return 1;
}

int MPickDate::Get_Date(char* out, size_t size) {
  if (!out || size == 0) return 0;
  out[0] = 0;
  if (!Checked() || IsBlank()) return 1;
  const QDate d = Date();
  if (d.year() == 9999) return 1;
  char date[16];
  std::snprintf(date, sizeof date, "%04d%02d%02d", d.year(), d.month(), d.day());
  if (std::strlen(date) >= size) return 0;
  std::memcpy(out, date, std::strlen(date) + 1);
  return 1;
}

int MPickDate::Get_Month(char* out, size_t size) {
  if (!out || size == 0) return 0;
  char date[16];
  Get_Date(date, sizeof date);
  date[6] = 0;  // "" stays "" (its terminator comes first)
  out[0] = 0;
  if (std::strlen(date) >= size) return 0;
  std::memcpy(out, date, std::strlen(date) + 1);
  return 1;
}

int MPickDate::Hide_Info() {
  given_ = true;  // a field blanked before the first show stays blank
  SetFormat(QString::fromLatin1(kBlank_Format));
  return 1;
}

int MPickDate::Show_Info() { return Check_Format(); }

int MPickDate::Check_Format() {
  SetFormat(QString::fromLatin1(mode_ == 2 ? kMonth_Format : kDate_Format));
  return 1;
}

void MPickDate::SetMonthMode(bool on) {
  if (on == (mode_ == 2)) return;
  const bool blank = IsBlank();
  mode_ = on ? 2 : 1;
  if (blank)
    Hide_Info();
  else
    Check_Format();
}

void MPickDate::Loaded() {
  TDateTimePicker::Loaded();
  if (!given_) SetDate(Today());
}

void MPickDate::Fire_Change() {
  if (OnChange) OnChange(this);
}

void MPickDate::Value_OnChange(TObject* sender) {
  if (sender) Check_Format();
}

void MPickDate::Change() {
  Value_OnChange(this);
  TDateTimePicker::Change();
}

void MPickDate::MPickDate_Enter(TObject*) {
  if (IsBlank()) Check_Format();
}

void MPickDate::keyPressEvent(QKeyEvent* e) {
  const int k = e->key();
  const bool edits = k == Qt::Key_Up || k == Qt::Key_Down || k == Qt::Key_PageUp || k == Qt::Key_PageDown ||
                     k == Qt::Key_Backspace || k == Qt::Key_Delete ||
                     (!e->text().isEmpty() && e->text().at(0).isPrint());
  if (edits && IsBlank()) {
    Check_Format();
    setSelectedSection(sectionAt(0));  // the key goes to the year, typed over as on entering the field
  }
  TDateTimePicker::keyPressEvent(e);
}

void MPickDate::focusInEvent(QFocusEvent* e) {
  // Entering an empty field shows a date to start from; the picker's OnEnter stays the owner's.
  if (IsControlFocusReason(e->reason())) MPickDate_Enter(this);
  TDateTimePicker::focusInEvent(e);
}

void MPickDate::Menu_OnPupup(TObject*) {
  first_->SetCaption(Caption_Text(mode_ == 2 ? u"本月" : u"今天"));
}

void MPickDate::Menu_TodayClick(TObject*) {
  const QByteArray today = Today().toString(QStringLiteral("yyyyMMdd")).toLatin1();
  if (mode_ == 2)
    Set_Month(today.constData());
  else
    Set_Date(today.constData());
  Fire_Change();
}

void MPickDate::Menu_ClearClick(TObject*) {
  Hide_Info();
  Fire_Change();
}

void MPickDate::Menu_PopChooseClick(TObject*) {
  if (!Zem_Calendar_Available()) return;
  char buffer[20], old[20];
  Get_Date(buffer, sizeof buffer);
  Get_Date(old, sizeof old);
  if (!Zem_Calendar_Get(ClientToScreen(TPoint(0, Height())), buffer)) return;
  if (mode_ == 2)
    Set_Month(buffer);
  else
    Set_Date(buffer);
  if (std::strcmp(buffer, old) != 0) Fire_Change();
}

namespace {

void* Create_MPickDate(void* parent) { return new MPickDate(static_cast<QWidget*>(parent)); }

}  // namespace

void Mpickdate_Register() { RegisterComponents(kZem_Palette_Page, "MPickDate", Create_MPickDate); }

// The unit has no static objects to destroy; its initialization only counts (the unit table does).
static Zem_Unit_Registrar g_mpickdate_unit("Mpickdate", nullptr, nullptr, Mpickdate_Register);

// ---- Qt forms ---------------------------------------------------------------------------------------

int MPickDate::Set_Date(const QString& text) {
  return text.isNull() ? Set_Date(static_cast<const char*>(nullptr)) : Set_Date(text.toLatin1().constData());
}

int MPickDate::Set_Date(const QDate& date) {
  return Set_Date(date.isValid() ? date.toString(QStringLiteral("yyyyMMdd")).toLatin1().constData() : "");
}

int MPickDate::Set_Month(const QString& text) {
  return text.isNull() ? Set_Month(static_cast<const char*>(nullptr)) : Set_Month(text.toLatin1().constData());
}

int MPickDate::Set_Month(const QDate& date) {
  return Set_Month(date.isValid() ? date.toString(QStringLiteral("yyyyMM")).toLatin1().constData() : "");
}

QDate MPickDate::dateValue() {
  char out[16] = "";
  Get_Date(out);
  return QDate::fromString(QString::fromLatin1(out), QStringLiteral("yyyyMMdd"));
}
