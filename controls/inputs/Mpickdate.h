// The Mpickdate unit: MPickDate, the toolkit's date picker made into a date or month field that can be
// empty.
//
// Emptiness is the blank format (one space): the field shows nothing while the picker still holds a
// date underneath. Two modes:
//
//   MODE   FORMAT        SET / GET            FIRST MENU ITEM
//   1      "yyyy-MM-dd"  Set_Date / YYYYMMDD  "今天"
//   2      "yyyy-MM"     Set_Month / YYYYMM   "本月"
//
// The pop-up menu holds that first item (today or this month), "清空" (blank the field) and "日历" (the
// host's calendar "gui_calendar_get", placed at the picker's lower left corner). A text is a valid date
// when its first eight characters are a year (not negative), a month 1..12 and a day within that month,
// leap years included; a valid date outside the picker's range (years 1601..9999) is refused like an
// invalid one, so the picker never shows a date other than the one it was given. Invalid input blanks
// the field and keeps the date underneath.
//
// The blank state is left by Show_Info/Check_Format, valid input, the focus entering the field, and any
// change of the picker's value. Typing goes as in a date edit of the same format: a whole date digit by
// digit (separators or not), each section handing over to the next as it fills, the year typed over. Get_Date gives "" for a blank field, an unticked check box, or a date
// in the year 9999 (the picker's "no date").
//
// Today comes from the toolkit's clock (Today()). OnChange (the picker's own) fires for the user's
// changes and after a menu or calendar choice. Published for the form designer: MonthMode (writing it
// switches the mode keeping the value), and the picker's ShowCheckbox.
#pragma once

#include "toolkit/tk_datetime.h"
#include "toolkit/tk_menu.h"

class MPickDate : public TDateTimePicker {
  Q_OBJECT
  // Written through the "setName" forms, the ones code generated from a form (uic) calls.
  Q_PROPERTY(bool MonthMode READ MonthMode WRITE setMonthMode)
  Q_PROPERTY(bool ShowCheckbox READ ShowCheckbox WRITE setShowCheckbox)

 public:
  static constexpr const char* kDate_Format = "yyyy-MM-dd";
  static constexpr const char* kMonth_Format = "yyyy-MM";
  static constexpr const char* kBlank_Format = " ";

  explicit MPickDate(QWidget* parent = nullptr);
  ~MPickDate() override;

  // Mode 1. Null is today. A valid YYYYMMDD shows that date; anything else blanks the field. Returns 1.
  int Set_Date(const char* text);
  // Mode 2. Null is this month. YYYYMM (day 01 is appended, the first eight characters are checked)
  // shows that month and holds its first day, also for a longer text such as YYYYMMDD; anything else
  // blanks the field. Returns 1.
  int Set_Month(const char* text);
  // The date as YYYYMMDD, or "" (see above), into out of size bytes. A value that does not fit whole
  // is not written in part: out gets "" and the result is 0 (also for a null out); else 1.
  int Get_Date(char* out, size_t size);
  // Get_Date cut to YYYYMM, likewise.
  int Get_Month(char* out, size_t size);
  // The same into a buffer of at least 9 (date) or 7 (month) bytes.
  int Get_Date(char* out) { return Get_Date(out, 9); }
  int Get_Month(char* out) { return Get_Month(out, 7); }
  // Blank format / the format of the mode.
  int Hide_Info();
  int Show_Info();
  int Check_Format();
  // Sets the date to today unless the owner gave the picker a value (any setter, the toolkit's SetDate
  // included) or blanked it before it was first shown.
  void Loaded() override;

  int Mode() const { return mode_; }
  bool MonthMode() const { return mode_ == 2; }
  void SetMonthMode(bool on);
  void setMonthMode(bool on) { SetMonthMode(on); }
  void setShowCheckbox(bool on) { SetShowCheckbox(on); }
  TPopupMenu* Menu() const { return menu_; }

  // ---- Qt forms
  // Set_Date and Set_Month take a QString as the narrow forms take text (a null QString is today /
  // this month, as a null text); a QDate sets that date / its month (an invalid one blanks the field).

  int Set_Date(const QString& text);
  int Set_Date(const QDate& date);
  int Set_Month(const QString& text);
  int Set_Month(const QDate& date);
  // Get_Date as a date: invalid when the field is blank (also for an unticked check box). In the month
  // mode the first of the month.
  QDate dateValue();

  // Whether text holds a valid date in its first eight characters (the rule above, without the
  // picker's range); *date receives it.
  static bool Valid_Date_Text(const char* text, QDate* date);

  // Handlers (public as in the toolkit's forms, so that hosts and tests can run them).
  void Value_OnChange(TObject* sender);
  void MPickDate_Enter(TObject* sender);
  void Menu_OnPupup(TObject* sender);
  void Menu_TodayClick(TObject* sender);
  void Menu_ClearClick(TObject* sender);
  void Menu_PopChooseClick(TObject* sender);

 protected:
  // A key that edits the value, pressed in a blank field (one the user cleared while in it), first
  // shows the date of the mode, so that what is typed can be seen.
  void keyPressEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  // Every change of the user's, a pick of the date already held or a ticked check box included, shows
  // a blank field again before the owner's OnChange hears of it.
  void Change() override;

 private:
  void Fire_Change();
  // Shows date in the mode's format when it is within the picker's range; blanks the field otherwise.
  void Show_Or_Blank(bool valid, const QDate& date);

  int mode_ = 1;
  TPopupMenu* menu_;
  TMenuItem* first_;  // "今天" / "本月", owned by the menu
  bool given_ = false;  // the owner set a value or blanked the field before Loaded
};

// The unit's palette registration: "MPickDate" on the page "Zem_Pack".
void Mpickdate_Register();
