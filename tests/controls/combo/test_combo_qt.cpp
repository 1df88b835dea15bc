// The combo box's Qt forms: dictionary ids and codes as QString, the chosen codes as values, and what
// the last Attach_Dict did.
#include "controls/combo/combo_fixture.h"

namespace {

TEST_P(ComboDb, QtFormsAndTheLastAttach) {
  Combo_Form form;
  TComboBox_Ext* box = form.Add();
  // result: Attach_Dict's (as documented); last: Last_Attach() after it
  struct Row { const char* name; QString id; int include_all; int result; int last; } rows[] = {
      {"a dictionary first attached", QStringLiteral("dept"), 0, 1, TComboBox_Ext::ATTACH_REBUILT},
      {"the same again: nothing changed", QStringLiteral("dept"), -1, 0, TComboBox_Ext::ATTACH_UNCHANGED},
      {"one that cannot be had", QStringLiteral("broken"), 0, 0, TComboBox_Ext::ATTACH_FAILED},
      {"no id at all", QString(), 0, 0, TComboBox_Ext::ATTACH_FAILED},
      {"back to the first", QStringLiteral("dept"), 0, 0, TComboBox_Ext::ATTACH_UNCHANGED},
  };
  for (Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(box->Attach_Dict(r.id, r.include_all), r.result);
    EXPECT_EQ(box->Last_Attach(), r.last);
  }
  // A code as a QString shows its name; the code reads back as a value.
  EXPECT_EQ(box->Set_Code(QStringLiteral("03")), 1);
  EXPECT_EQ(box->Text(), zt::U(u"销售部"));
  EXPECT_EQ(box->code(), QStringLiteral("03"));
  EXPECT_EQ(box->codes(), QStringList{QStringLiteral("03")});
  EXPECT_EQ(box->Set_Code(QStringLiteral("77")), 0);
  EXPECT_EQ(box->code(), QString()) << "an unknown code leaves no choice";
  // Multi mode: the chosen codes one by one, and joined.
  TComboBox_Ext* multi = form.Add();
  multi->Multi_Attach(QStringLiteral("dept"), 0);
  multi->Set_Code(QStringLiteral("02,04"));
  EXPECT_EQ(multi->codes(), (QStringList{QStringLiteral("02"), QStringLiteral("04")}));
  EXPECT_EQ(multi->code(), QStringLiteral("02,04"));
}

}  // namespace
