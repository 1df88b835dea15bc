// The input controls' Qt forms (QString and QDate in and out), and the date box's captions through the
// caption map: translated, they widen their labels and the box's size hint with them.
#include "controls/inputs/Mdate.h"
#include "controls/inputs/Mgs.h"
#include "controls/inputs/Mpickdate.h"
#include "controls/inputs/inputs_test.h"
#include "util/lang_map.h"

namespace {

class InputsQt : public InputsTest {};

TEST_F(InputsQt, DatesAndCodesAsQt) {
  // picker: the date picker, else the date box; shown: what a user sees; value: dateValue() ("" invalid)
  struct Row { const char* name; bool picker; std::function<void(TMDate&, MPickDate&)> set; const char* shown; const char* value; } rows[] = {
      {"a QDate", false, [](TMDate& b, MPickDate&) { b.Set_Date(QDate(2024, 2, 29)); }, "2024|02|29", "2024-02-29"},
      {"an invalid QDate empties the box", false, [](TMDate& b, MPickDate&) { b.Set_Date(QDate()); }, "||", ""},
      {"a QString; a day the month lacks is no date", false, [](TMDate& b, MPickDate&) { b.Set_Date(QStringLiteral("20240230")); }, "2024|02|30", ""},
      {"a year still being typed is no date", false, [](TMDate& b, MPickDate&) {
         b.Set_Date(QDate(2024, 5, 1));
         b.Year_Field()->SetText(QStringLiteral("202"));
       }, "202|05|01", ""},
      {"the month form: its first day", false, [](TMDate& b, MPickDate&) { b.Set_Month(QDate(2023, 7, 19)); }, "2023|07|", "2023-07-01"},
      {"the picker: a QDate", true, [](TMDate&, MPickDate& p) { p.Set_Date(QDate(2023, 12, 31)); }, "2023-12-31", "2023-12-31"},
      {"the picker: a null QString is today", true, [](TMDate&, MPickDate& p) { p.Set_Date(QString()); }, "2024-06-15", "2024-06-15"},
      {"the picker: an invalid QDate blanks it", true, [](TMDate&, MPickDate& p) { p.Set_Date(QDate()); }, "", ""},
      {"the picker's month form", true, [](TMDate&, MPickDate& p) {
         p.SetMonthMode(true);
         p.Set_Month(QDate(2022, 3, 9));
       }, "2022-03", "2022-03-01"},
  };
  for (Row& r : rows) {
    SCOPED_TRACE(r.name);
    TMDate box;
    MPickDate pick;
    r.set(box, pick);
    const QString day = box.Day_Field()->isHidden() ? QString() : box.Day_Field()->Text();
    EXPECT_EQ(r.picker ? pick.Text().trimmed() : box.Year_Field()->Text() + '|' + box.Month_Field()->Text() + '|' + day,
              QLatin1String(r.shown));
    EXPECT_EQ((r.picker ? pick.dateValue() : box.dateValue()).toString(Qt::ISODate), QLatin1String(r.value));
  }
  TMGS search;
  search.Set_Code(QString::fromUtf16(u"甲€01"));
  EXPECT_EQ(search.Code_Edit()->Text() + '|' + search.typedCode(), QString::fromUtf16(u"甲€01|甲€01"));
}

TEST_F(InputsQt, DateBoxCaptionsGoThroughTheCaptionMap) {
  ZEM_IN_CHILD({
    const QByteArray lang = QString::fromUtf16(u"date.年=Year\n月=Mon\ndate.日=Day\n").toUtf8();  // lang.txt in UTF-8
    Reg_Pub_Ptr("lang_map_mgr", new TLang_Map(lang.constData(), size_t(lang.size()), nullptr));
    TMDate box;
    if (box.Year_Caption()->Caption() + box.Month_Caption()->Caption() + box.Day_Caption()->Caption() != "YearMonDay") return 1;
    // Wider captions push the parts after them right: nothing overlaps, the size hint covers all.
    int right = 0;
    for (QWidget* w : std::initializer_list<QWidget*>{box.Year_Field(), box.Year_Caption(), box.Month_Field(),
                                                      box.Month_Caption(), box.Day_Field(), box.Day_Caption()}) {
      if (w->x() < right) return 2;
      right = w->geometry().right() + 1;
    }
    return box.Day_Caption()->width() < box.fontMetrics().horizontalAdvance("Day") || box.minimumSizeHint().width() < right ? 3 : 0;
  });
}

}  // namespace
