// The combo box's Qt forms (ids and codes as QString, codes as values) and what the last attach did.
#include "controls/combo/combo_fixture.h"

TEST_P(ComboDb, QtFormsAndTheLastAttach) {
  Combo_Form form;
  TComboBox_Ext* box = form.Add();
  // result: Attach_Dict's, as documented; last: Last_Attach() after it
  struct Row { const char* name; QString id; int result, last; } rows[] = {
      {"first attached", QStringLiteral("dept"), 1, TComboBox_Ext::ATTACH_REBUILT},
      {"the same again", QStringLiteral("dept"), 0, TComboBox_Ext::ATTACH_UNCHANGED},
      {"one that cannot be had", QStringLiteral("broken"), 0, TComboBox_Ext::ATTACH_FAILED},
  };
  for (Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(box->Attach_Dict(r.id, 0), r.result);
    EXPECT_EQ(box->Last_Attach(), r.last);
  }
  EXPECT_EQ(box->Set_Code(QStringLiteral("03")), 1);
  EXPECT_EQ(box->Text() + box->code(), zt::U(u"销售部03"));
  EXPECT_EQ(box->Set_Code(QStringLiteral("77")) + box->codes().size(), 0) << "an unknown code leaves no choice";
  TComboBox_Ext* multi = form.Add();
  multi->Multi_Attach(QStringLiteral("dept"), 0);
  multi->Set_Code(QStringLiteral("02,04"));
  EXPECT_EQ(multi->codes().join('|') + "/" + multi->code(), QStringLiteral("02|04/02,04"));
}
