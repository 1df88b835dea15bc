// TMDate: what the three fields show after Set_Date / Set_Month and what reads back, the menus built
// from the injected today, and the calendar opened from a caption.
#include "controls/inputs/Mdate.h"
#include "controls/inputs/inputs_test.h"

#include <QMenu>
#include <QTest>

namespace {

class MDate : public InputsTest {};

QString Item(TPopupMenu* m, int i) { return m->Items(i) ? m->Items(i)->Caption() : QStringLiteral("<none>"); }

TEST_F(MDate, SetAndGetRoundTrips) {
  // month: Set_Month rather than Set_Date; year, mon, day: the fields' texts.
  struct Row { const char* name; bool month; const char *in, *year, *mon, *day; bool dayShown; const char *date, *monthOut; };
  const Row rows[] = {
      {"no check of the day against the month", false, "20240230", "2024", "02", "30", true, "20240230", "202402"},
      {"year and month out of range empty", false, "09991301", "", "", "01", true, "00000001", ""},
      {"upper bounds", false, "50001231", "5000", "12", "31", true, "50001231", "500012"},
      {"short text stops the parts", false, "20245", "2024", "5", "", true, "20240500", "202405"},
      {"empty text empties all", false, "", "", "", "", true, "", ""},
      {"month form hides the day", true, "202403", "2024", "03", "", false, "20240300", "202403"},
      {"month form takes parts unchecked", true, "999913", "9999", "13", "", false, "99991300", "999913"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    TMDate box;
    box.Day_Field()->SetText(QString());
    r.month ? box.Set_Month(r.in) : box.Set_Date(r.in);
    EXPECT_EQ(box.Year_Field()->Text() + '|' + box.Month_Field()->Text() + '|' + box.Day_Field()->Text(),
              QStringLiteral("%1|%2|%3").arg(r.year, r.mon, r.day));
    EXPECT_TRUE(box.Day_Field()->Visible() == r.dayShown && box.Day_Caption()->Visible() == r.dayShown);
    char date[16], month[16];
    box.Get_Date(date);
    box.Get_Month(month);
    EXPECT_EQ(std::string(date) + "/" + month, std::string(r.date) + "/" + r.monthOut);
  }
  EXPECT_EQ(TMDate::To_Int("2x0-2 4"), 2024);
  TMDate box;  // a buffer of known size gets a value only whole
  box.Set_Date("20240229");
  char date[8], month[8];
  EXPECT_EQ(std::to_string(box.Get_Date(date, sizeof date)) + date + "/" + std::to_string(box.Get_Month(month, 7)) + month,
            "0/1202402");
}

TEST_F(MDate, DayMenuHidesDaysPastTheMonthsEnd) {
  struct Row { const char* month; bool d29, d30, d31; };
  const Row rows[] = {{"202302", false, false, false}, {"202402", true, false, false}, {"190002", false, false, false},
                      {"200002", true, false, false},  {"202404", true, true, false},   {"202401", true, true, true},
                      {"202412", true, true, true},    {"", false, false, false}};
  TMDate box;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.month);
    box.Set_Month(r.month);
    box.Day_Menu()->Popup(0, 0);
    box.Day_Menu()->menu()->hide();  // OnPopup runs before it shows
    EXPECT_EQ(std::vector<bool>({box.Day_Menu()->Items(28)->Visible(), box.Day_Menu()->Items(29)->Visible(),
                                 box.Day_Menu()->Items(30)->Visible(), box.Day_Menu()->Items(31)->Visible()}),
              std::vector<bool>({true, r.d29, r.d30, r.d31})) << "days 28 to 31";
  }
}

TEST_F(MDate, MenusOfferTheYearsAroundTodayAndSetTheirField) {
  TMDate box;
  box.Set_Date("20230131");
  TPopupMenu* years = box.Year_Menu();
  ASSERT_EQ(years->Count(), 17);
  const std::pair<int, const char16_t*> shown[] = {{0, u"今天"}, {1, u"2029 年"}, {5, u"2025 年"}, {6, u"-"},
                                                   {7, u"2024 年"}, {16, u"2015 年"}};
  for (const auto& s : shown) EXPECT_EQ(Item(years, s.first), QString::fromUtf16(s.second)) << s.first;
  EXPECT_EQ(Item(box.Month_Menu(), 12), QString::fromUtf16(u"12 月份"));
  EXPECT_EQ(Item(box.Day_Menu(), 31), QString::fromUtf16(u"31 日"));

  int changes = 0;
  box.OnChange = [&](TObject*) { changes++; };
  struct Step { const char* name; TPopupMenu* menu; int item; const char* date; };
  const Step steps[] = {{"May without a leading zero", box.Month_Menu(), 5, "20230531"},
                        {"a coming year", years, 3, "20270531"}, {"a day", box.Day_Menu(), 9, "20270509"},
                        {"today from the day menu", box.Day_Menu(), 0, "20240615"},
                        {"today from the year menu", years, 0, "20240615"}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    const int before = changes;
    char out[16];
    s.menu->Items(s.item)->Click();
    box.Get_Date(out);
    EXPECT_TRUE(std::string(out) == s.date && changes > before) << out;
  }
  EXPECT_EQ(box.Month_Field()->Text(), "06");
}

// A host that handles the right click itself finds the field's menu already there, whole.
TEST_F(MDate, AHostsContextPopupFindsTheMenus) {
  TMDate box;
  int items = -1;
  box.Day_Field()->OnContextPopup = [&](TObject*, TPoint, bool& handled) {
    handled = true;
    items = box.Day_Field()->PopupMenu() ? box.Day_Field()->PopupMenu()->Count() : 0;
  };
  box.Day_Field()->DoContextPopup(QPoint(2, 2), QPoint(2, 2));
  EXPECT_TRUE(items == 32 && box.Day_Caption()->PopupMenu() == box.Day_Menu()) << items;
}

TEST_F(MDate, CaptionClickOpensTheCalendarBelowIt) {
  QWidget form;
  form.resize(300, 80);
  TMDate box(&form);
  box.SetBounds(20, 30, 132, 21);
  form.show();
  box.Set_Date("20240105");
  int changes = 0;
  box.OnChange = [&](TObject*) { changes++; };

  answer = "20240229";
  QTest::mouseClick(box.Month_Caption(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
  EXPECT_TRUE(given == "20240105" && at == form.mapToGlobal(QPoint(20 + 69, 30 + 1 + 19))) << "below the caption";
  char out[16];
  box.Get_Date(out);
  EXPECT_TRUE(std::string(out) == "20240229" && changes > 0);

  answer = nullptr;
  changes = 0;
  QTest::mouseClick(box.Year_Caption(), Qt::LeftButton);
  box.Get_Date(out);
  EXPECT_TRUE(calls == 2 && std::string(out) == "20240229" && changes == 0) << "the user cancels: nothing changes";

  // Hidden, the fields go and the captions turn grey; shown, back in black.
  for (bool hide : {true, false}) {
    hide ? box.Hide_Info() : box.Show_Info();
    EXPECT_EQ(box.Year_Field()->Visible(), !hide);
    EXPECT_EQ(box.Year_Caption()->palette().color(QPalette::WindowText), hide ? QColor(128, 128, 128) : QColor(0, 0, 0));
  }
}

}  // namespace
