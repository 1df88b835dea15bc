// The Mdate unit: TMDate, the compact date and month box.
//
// A borderless white panel (132 x 21) holding three small edits for year, month and day, each followed
// by its caption (年, 月, 日), laid out from x = 3, y = 1, two pixels apart:
//
//   CHILD          X    WIDTH  MAX CHARS  STARTS AS
//   year field     3    32     4          "2008"
//   year caption   37   12                "年"
//   month field    51   16     2          "1"
//   month caption  69   12                "月"
//   day field      83   16     2          "18"
//   day caption    101  12                "日"
//
// Fields are flat (no border) on FFFFF6, font "Arial" 9. Every field and its caption share a pop-up
// menu of likely values around the clock's year Y at construction (made by the constructor):
//
//   MENU   ITEMS IN ORDER
//   year   "今天"; "%02d 年" for Y+5 .. Y+1; a separator; "%02d 年" for Y .. Y-9
//   month  "今天"; "%02d 月份" for 1 .. 12
//   day    "今天"; "%02d 日" for 1 .. 31 (29, 30 and 31 hidden when the month is shorter)
//
// Captions pass through Disp_Text (traditional script where the locale asks for it). Choosing "今天" sets
// the whole date to the clock's day in any menu; another item sets its field to the item's number
// without a leading zero. Clicking a caption opens the host's calendar ("gui_calendar_get") below it.
//
// Values are digit texts: YYYYMMDD in the date form (day field shown), YYYYMM in the month form (day
// field and caption hidden). Set_Date checks each part against its range and empties the field of a
// part out of range; Set_Month puts the parts in unchecked. Fields are read back with To_Int, so a field
// typed with stray characters reads as its digits.
//
// Screen readers meet the box as one group named after its label (a buddy label, or the box's accessible
// name) whose text is the date as "2026-12-06" ("2026-12" in the month form, empty when empty); its fields
// are named 年, 月 and 日.
//
// Published (form designer, .ui files): Value (YYYYMMDD, or YYYYMM in the month form: writing it runs
// Set_Date, or Set_Month when MonthForm is on), MonthForm. OnChange fires on every change of a field's
// text and again after a menu or calendar choice.
#pragma once

#include <QDate>
#include <QString>

#include "toolkit/tk_edit.h"
#include "toolkit/tk_label.h"
#include "toolkit/tk_menu.h"
#include "toolkit/tk_panel.h"

class TMDate : public TPanel {
  Q_OBJECT
  // Written through the "setName" forms, the ones code generated from a form (uic) calls.
  Q_PROPERTY(QString Value READ Value WRITE setValue)
  Q_PROPERTY(bool MonthForm READ MonthForm WRITE setMonthForm)

 public:
  explicit TMDate(QWidget* parent = nullptr);
  ~TMDate() override;

  // Year (4), month (2) and day (2) characters of text, each part shorter when the text ends early. A
  // part whose digits lie in range (year 1000..5000, month 1..12, day 1..31) is shown as given, others
  // empty their field. Shows the day field (date form). Null counts as "". Returns 1.
  int Set_Date(const char* text);
  // The first 4 characters into the year field, the next 2 into the month field, unchecked; hides the
  // day field (month form). Null counts as "". Returns 1.
  int Set_Month(const char* text);
  // "%04d%02d%02d" of the three fields, or "" when all three read 0, into out of size bytes. A value
  // that does not fit whole is not written in part: out gets "" and the result is 0 (also for a null
  // out); else 1.
  int Get_Date(char* out, size_t size);
  // "%04d%02d" of year and month, or "" when both read 0; likewise.
  int Get_Month(char* out, size_t size);
  // The same into a buffer of at least 9 (date) or 7 (month) bytes.
  int Get_Date(char* out) { return Get_Date(out, 9); }
  int Get_Month(char* out) { return Get_Month(out, 7); }
  // The decimal value of the digits of text, other characters skipped; "" and null give 0. Digits past
  // nine are ignored (a date part never has that many).
  static int To_Int(const char* text);
  // Hides the three fields and greys the captions / shows the fields and blackens the captions.
  int Hide_Info();
  int Show_Info();
  void Loaded() override;

  // ---- Qt forms
  // Set_Date and Set_Month take a QString as the narrow forms take text; a QDate sets that date (an
  // invalid one empties the fields) / its year and month.

  int Set_Date(const QString& text);
  int Set_Date(const QDate& date);
  int Set_Month(const QString& text);
  int Set_Month(const QDate& date);
  // The fields as a date: invalid when they are empty or name no day of the calendar (20240230); in
  // the month form the first of the month.
  QDate dateValue();

  // The box's size in a layout: its parts are placed at fixed points, so it asks for the width up to
  // its last shown caption (132 x 21 in the date form with the usual captions) and takes no less than
  // the parts need; it keeps that size (a fixed size policy).
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  // The parts, for owners and tests.
  TEdit* Year_Field() const { return year_; }
  TEdit* Month_Field() const { return month_; }
  TEdit* Day_Field() const { return day_; }
  TLabel* Year_Caption() const { return yearCap_; }
  TLabel* Month_Caption() const { return monthCap_; }
  TLabel* Day_Caption() const { return dayCap_; }
  // The menus, with their items.
  TPopupMenu* Year_Menu() const { return yearMenu_; }
  TPopupMenu* Month_Menu() const { return monthMenu_; }
  TPopupMenu* Day_Menu() const { return dayMenu_; }

  QString Value();
  void SetValue(const QString& v);
  bool MonthForm() const { return monthForm_; }
  void SetMonthForm(bool on);
  void setValue(const QString& v) { SetValue(v); }
  void setMonthForm(bool on) { SetMonthForm(on); }

  TNotifyEvent OnChange;

  // Handlers (public as in the toolkit's forms, so that hosts and tests can run them).
  void Value_OnChange(TObject* sender);
  void Label_OnClick(TObject* sender);
  void Menu_OnClick(TObject* sender);
  void On_Day_Menu_Popup(TObject* sender);

 private:
  TEdit* Make_Field(const char* text, int width, int max_len);
  TLabel* Make_Caption(const char16_t* caption);
  TPopupMenu* Make_Menu();
  void Build_Menus();
  TMenuItem* Add_Item(TPopupMenu* menu, const QString& caption);
  void Focus(TEdit* field);
  void Fire_Change();
  // Makes screen readers meet every date box as one group (once per process).
  static void Install_Accessible();

  TEdit* year_;
  TEdit* month_;
  TEdit* day_;
  TLabel* yearCap_;
  TLabel* monthCap_;
  TLabel* dayCap_;
  TPopupMenu* yearMenu_ = nullptr;  // the three menus: children of the box, made by the constructor,
                                    // their entries when first wanted
  TPopupMenu* monthMenu_ = nullptr;
  TPopupMenu* dayMenu_ = nullptr;
  TMenuItem* day29_ = nullptr;  // owned by the day menu; hidden for shorter months
  TMenuItem* day30_ = nullptr;
  TMenuItem* day31_ = nullptr;
  bool monthForm_ = false;
  int menuYear_ = 0;  // the clock's year at construction: the year menu's middle
};

// Days of month (1..12) of year, leap years included; 0 for a month out of range.
int Zem_Days_In_Month(int year, int month);

// The unit's palette registration: "TMDate" on the page "Zem_Pack".
void Mdate_Register();
