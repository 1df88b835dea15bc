// The input controls' Qt forms (QString and QDate in and out), and the date box's captions through the
// caption map: translated, they widen their labels and the box's size hint with them.
#include "controls/inputs/Mdate.h"
#include "controls/inputs/Mgs.h"
#include "controls/inputs/Mpickdate.h"
#include "controls/inputs/inputs_test.h"
#include "util/lang_map.h"

#include <QHBoxLayout>

namespace {

class InputsQt : public InputsTest {};

// The fields a user sees.
QString Fields(TMDate& b) {
  return b.Year_Field()->Text() + '|' + b.Month_Field()->Text() + '|' + (b.Day_Field()->isHidden() ? QString() : b.Day_Field()->Text());
}

TEST_F(InputsQt, DateBoxTakesAndGivesQDate) {
  // fields: what the three fields show; value: dateValue() as yyyy-MM-dd ("" for an invalid date)
  struct Row { const char* name; std::function<void(TMDate&)> set; const char* fields; const char* value; } rows[] = {
      {"a QDate", [](TMDate& b) { b.Set_Date(QDate(2024, 2, 29)); }, "2024|02|29", "2024-02-29"},
      {"an invalid QDate empties the fields", [](TMDate& b) { b.Set_Date(QDate()); }, "||", ""},
      {"a QString as the narrow text", [](TMDate& b) { b.Set_Date(QStringLiteral("20231105")); }, "2023|11|05",
       "2023-11-05"},
      {"a day the month lacks is shown, and is no date", [](TMDate& b) { b.Set_Date(QStringLiteral("20240230")); },
       "2024|02|30", ""},
      {"the month form: the first of the month", [](TMDate& b) { b.Set_Month(QDate(2023, 7, 19)); }, "2023|07|",
       "2023-07-01"},
  };
  for (Row& r : rows) {
    SCOPED_TRACE(r.name);
    TMDate box;
    r.set(box);
    EXPECT_EQ(Fields(box), QLatin1String(r.fields));
    EXPECT_EQ(box.dateValue().toString(Qt::ISODate), QLatin1String(r.value));
  }
}

TEST_F(InputsQt, DatePickerAndSearchEditTakeAndGiveQt) {
  MPickDate pick;
  pick.Set_Date(QDate(2023, 12, 31));
  EXPECT_EQ(pick.Text(), QStringLiteral("2023-12-31"));
  EXPECT_EQ(pick.dateValue(), QDate(2023, 12, 31));
  pick.Set_Date(QDate());
  EXPECT_EQ(pick.Text().trimmed(), QString()) << "blank";
  EXPECT_FALSE(pick.dateValue().isValid());
  pick.Set_Date(QString());
  EXPECT_EQ(pick.dateValue(), QDate(2024, 6, 15)) << "a null QString is today, as a null text";
  pick.SetMonthMode(true);
  pick.Set_Month(QDate(2022, 3, 9));
  EXPECT_EQ(pick.Text(), QStringLiteral("2022-03"));
  EXPECT_EQ(pick.dateValue(), QDate(2022, 3, 1));

  TMGS search;
  search.Set_Code(QString::fromUtf16(u"甲01"));
  EXPECT_EQ(search.Code_Edit()->Text(), QString::fromUtf16(u"甲01"));
  EXPECT_EQ(search.typedCode(), QString::fromUtf16(u"甲01"));
}

TEST_F(InputsQt, DateBoxCaptionsGoThroughTheCaptionMap) {
  ZEM_IN_CHILD({
    // A translation file of the application, as lang.txt holds it (UTF-8 here); the date context wins.
    const QByteArray lang = QString::fromUtf16(u"date.年=Year\n月=Mon\ndate.日=Day\n").toUtf8();
    if (!Reg_Pub_Ptr("lang_map_mgr", new TLang_Map(lang.constData(), size_t(lang.size()), nullptr))) return 1;
    TMDate box;
    if (box.Year_Caption()->Caption() != "Year" || box.Month_Caption()->Caption() != "Mon" ||
        box.Day_Caption()->Caption() != "Day")
      return 2;
    // The wider captions push the parts after them right; nothing overlaps and the size hint covers all.
    int right = 0;
    for (QWidget* w : std::initializer_list<QWidget*>{box.Year_Field(), box.Year_Caption(), box.Month_Field(),
                                                      box.Month_Caption(), box.Day_Field(), box.Day_Caption()}) {
      if (w->x() < right) return 3;
      right = w->geometry().right() + 1;
    }
    if (box.Day_Caption()->width() < box.Day_Caption()->fontMetrics().horizontalAdvance("Day")) return 4;
    if (box.sizeHint().width() < right || box.minimumSizeHint().width() < right) return 5;
    return 0;
  });
}

}  // namespace
