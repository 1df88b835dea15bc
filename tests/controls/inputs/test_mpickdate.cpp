// MPickDate: the text shown and read back after Set_Date / Set_Month, blank dates, the menu in both
// modes and the calendar placed under the picker.
#include "controls/inputs/Mpickdate.h"
#include "controls/inputs/inputs_test.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <variant>
#include <vector>

namespace {

class PickDate : public InputsTest {};

TEST_F(PickDate, SetAndGetRoundTripsAndBlankDates) {
  struct Row { const char* name; bool month; const char *in, *shown, *date, *monthOut; };  // in null: today
  const Row rows[] = {
      {"leap day", false, "20240229", "2024-02-29", "20240229", "202402"},
      {"no leap day in 2023", false, "20230229", "", "", ""},
      {"day 31 of a 30-day month", false, "20240431", "", "", ""}, {"text too short", false, "202402", "", "", ""},
      {"letters", false, "2024O101", "", "", ""}, {"before the picker's range", false, "10000101", "", "", ""},
      {"the picker's no-date year", false, "99991231", "9999-12-31", "", ""},
      {"today", false, nullptr, "2024-06-15", "20240615", "202406"},
      {"a month", true, "202402", "2024-02", "20240201", "202402"},
      {"a month from a whole date", true, "20240311", "2024-03", "20240301", "202403"},
      {"month 13", true, "202413", "", "", ""}, {"this month", true, nullptr, "2024-06", "20240601", "202406"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    MPickDate p;
    p.SetDate(QDate(2001, 2, 3));
    r.month ? p.Set_Month(r.in) : p.Set_Date(r.in);
    EXPECT_TRUE(p.Text() == r.shown && p.Mode() == (r.month ? 2 : 1)) << p.Text().toStdString();
    char date[16], month[16];
    std::fill(date, date + 16, '#');
    std::fill(month, month + 16, '#');
    p.Get_Date(date);
    p.Get_Month(month);
    EXPECT_EQ(std::string(date) + "/" + month, std::string(r.date) + "/" + r.monthOut);
    EXPECT_EQ(std::string(date + 9, 7) + "/" + std::string(month + 7, 9), "#######/#########")
        << "nothing past the 9 bytes of a date, the 7 of a month";
    if (!*r.shown) { EXPECT_EQ(p.Date(), QDate(2001, 2, 3)) << "refused input keeps the date underneath"; }
  }
}

TEST_F(PickDate, BlankIsLeftByShowingEnteringOrChangingTheValue) {
  QWidget form;
  form.resize(200, 60);
  MPickDate p(&form);
  p.SetBounds(0, 0, 160, 24);
  QLineEdit other(&form);
  other.move(0, 30);
  p.SetDate(QDate(2024, 1, 5));
  p.Hide_Info();  // what the owner gives before the first show outlives it
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  char out[16];
  auto pickHeldDate = [&] {  // the calendar opens on the date held; the user clicks that very day
    p.DropDown();
    auto* days = p.calendarWidget()->findChild<QTableView*>();
    const QRect cell = days->visualRect(days->selectionModel()->currentIndex());
    QTest::mouseClick(days->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
  };
  struct Step { const char* name; std::function<void()> act; const char* shown; };
  const Step steps[] = {
      {"blank as left before the first show", [] {}, ""}, {"hide", [&] { p.Hide_Info(); }, ""},
      {"show", [&] { p.Show_Info(); }, "2024-01-05"}, {"clear item", [&] { p.Menu()->Items(1)->Click(); }, ""},
      {"a value set by code", [&] { p.SetDate(QDate(2024, 1, 6)); }, "2024-01-06"},
      {"clear again", [&] { p.Menu()->Items(1)->Click(); }, ""},
      {"entering the field", [&] { other.setFocus(); p.setFocus(Qt::TabFocusReason); }, "2024-01-06"},
      {"clear with the focus inside", [&] { p.Menu()->Items(1)->Click(); }, ""},
      {"the held date picked in the calendar", pickHeldDate, "2024-01-06"},
      {"a key typed into the field cleared while in it (the cursor where a right click may have left it)", [&] {
         p.Menu()->Items(1)->Click();
         p.findChild<QLineEdit*>()->setCursorPosition(0);
         QTest::keyClick(&p, Qt::Key_2);
       }, "2-01-06"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    s.act();
    EXPECT_EQ(p.Text(), s.shown);
    p.Get_Date(out);
    EXPECT_EQ(std::string(out).empty(), !*s.shown);
  }
  p.SetShowCheckbox(true);
  p.SetChecked(false);
  p.Get_Date(out);
  EXPECT_STREQ(out, "") << "an unticked box reads as no date";
  p.Hide_Info();
  QTest::mouseClick(p.findChild<QCheckBox*>(), Qt::LeftButton);
  EXPECT_EQ(p.Text(), "2024-01-06") << "ticking the box is the user's change too";
}

// Keys typed into the picker land as they do in a QDateEdit of the same format, range and date; a blank
// field starts from the date it holds underneath.
TEST_F(PickDate, TypingAsInADateEdit) {
  using Keys = std::vector<std::variant<const char*, Qt::Key>>;
  struct Row {
    const char* name;
    bool blank;
    Keys keys;
  };
  const Row rows[] = {
      {"a whole date digit by digit", false, {"20240315"}}, {"a whole date into a blank field", true, {"20240315"}},
      {"with separators", false, {"2024-03-15"}}, {"the year typed over", false, {"2027"}},
      {"Right, 11, Right, 30", false, {Qt::Key_Right, "11", Qt::Key_Right, "30"}},
      {"Tab from section to section", false, {"2025", Qt::Key_Tab, "7", Qt::Key_Tab, "4"}},
      {"a short month and day", false, {"2024", "3", "9"}}, {"Up in the year", false, {Qt::Key_Up, Qt::Key_Up}},
      {"Backspace in the day, then two digits", false, {"20240315", Qt::Key_Backspace, Qt::Key_Backspace, "28"}},
  };
  QWidget form;
  form.resize(400, 100);
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    QDateEdit anchor(&form);
    anchor.setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    anchor.setDateRange(QDate(1601, 1, 1), QDate(9999, 12, 31));
    anchor.setDate(QDate(2026, 1, 15));
    MPickDate p(&form);
    p.Set_Date("20260115");
    if (r.blank) p.Hide_Info();
    anchor.show();
    p.show();
    std::vector<QString> got;
    for (QWidget* w : {static_cast<QWidget*>(&anchor), static_cast<QWidget*>(&p)}) {
      w->setFocus(Qt::TabFocusReason);
      for (const auto& k : r.keys) {
        if (const auto* text = std::get_if<const char*>(&k)) QTest::keyClicks(w, QString::fromLatin1(*text));
        else QTest::keyClick(w, std::get<Qt::Key>(k));
      }
      auto* e = static_cast<QDateTimeEdit*>(w);
      got.push_back(e->text() + QLatin1Char('|') + e->date().toString(Qt::ISODate));
    }
    EXPECT_EQ(got[1], got[0]);
  }
}

TEST_F(PickDate, MenuInBothModesAndTheCalendar) {
  QWidget form;
  form.resize(240, 80);
  MPickDate p(&form);
  p.SetBounds(10, 20, 160, 24);
  form.show();
  int changes = 0;
  p.OnChange = [&](TObject*) { changes++; };
  char out[16];
  struct Row { const char* name; bool month; const char16_t* first; const char* afterToday; };
  const Row rows[] = {{"date mode", false, u"今天", "20240615"}, {"month mode", true, u"本月", "20240601"}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    r.month ? p.Set_Month("202001") : p.Set_Date("20200101");
    p.Menu()->Popup(0, 0);
    p.Menu()->menu()->hide();
    EXPECT_EQ(p.Menu()->Items(0)->Caption() + p.Menu()->Items(2)->Caption(), QString::fromUtf16(r.first) + QString::fromUtf16(u"日历"));
    p.Menu()->Items(0)->Click();
    p.Get_Date(out);
    EXPECT_STREQ(out, r.afterToday);
  }
  EXPECT_EQ(changes, 2);

  p.Set_Date("20240105");
  answer = "20240311";
  p.Menu()->Items(2)->Click();
  EXPECT_TRUE(given == "20240105" && at == form.mapToGlobal(QPoint(10, 20 + 24))) << "the calendar under the picker";
  EXPECT_TRUE(p.Text() == "2024-03-11" && changes == 3);
  p.Hide_Info();
  answer = nullptr;
  p.Menu()->Items(2)->Click();
  EXPECT_TRUE(given.empty() && p.Text().isEmpty() && changes == 3) << "cancelled: still blank, no change reported";
}

}  // namespace
