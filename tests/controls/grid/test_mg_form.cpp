// A form saved with a TMG defined through ADEF and BDEF loads back (through the package's palette
// loader) with the same columns and header units.
#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"
#include "host/zem_ui_loader.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <memory>

TEST(MgForm, SavedFormReloadsColumns) {
  controlsTestApp();
  const QStringList adef{QString::fromUtf16(u"凭证号,$voucher_no,readonly,||90"),
                         QString::fromUtf16(u"金额,$amount,money"), QString::fromUtf16(u"审核,$ok,bool")};
  const QStringList bdef{QString::fromUtf16(u"unit,1,0,3,0,凭证")};
  // The form as Designer stores it: string lists as <stringlist>, the custom class by name.
  auto list = [](const QStringList& l) {
    QString x = QStringLiteral("<stringlist>");
    for (const QString& s : l) x += QStringLiteral("<string>") + s + QStringLiteral("</string>");
    return x + QStringLiteral("</stringlist>");
  };
  const QString xml =
      QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><ui version=\"4.0\"><class>Form</class>"
                     "<widget class=\"QWidget\" name=\"Form\"><widget class=\"TMG\" name=\"grid\">"
                     "<property name=\"ColCount\"><number>4</number></property>"
                     "<property name=\"ADEF\">") +
      list(adef) + QStringLiteral("</property><property name=\"BDEF\">") + list(bdef) +
      QStringLiteral("</property></widget></widget></ui>");
  const QByteArray ui = xml.toUtf8();

  ZemUiLoader loader;
  loader.clearPluginPaths();
  QBuffer in;
  in.setData(ui);
  std::unique_ptr<QWidget> root(loader.load(&in));
  ASSERT_NE(root, nullptr);
  auto* grid = root->findChild<TMG*>(QStringLiteral("grid"));
  ASSERT_NE(grid, nullptr);
  grid->Loaded();
  EXPECT_EQ(grid->ADEF(), adef);
  EXPECT_EQ(grid->BDEF(), bdef);
  EXPECT_EQ(grid->ColCount(), 4);
  int id = 0;
  EXPECT_EQ(grid->GetColId("amount", &id), 1);
  EXPECT_EQ(id, 2);
  EXPECT_EQ(grid->GetColShowStyle(2), 1);
  EXPECT_EQ(grid->GetColShowStyle(3), 2);
  EXPECT_TRUE(grid->GetColReadonly(1));
  EXPECT_EQ(grid->GetColFixedSize(1), 90);
  EXPECT_EQ(grid->Cells(2, 0), QString::fromUtf16(u"金额"));
  ASSERT_EQ(grid->Rect_Count(), 1);
  EXPECT_EQ(grid->Get_Rect_Def(0)->c, 3);
}

// The demo's voucher form: its grid loads with the money, check-box and header-unit definitions and
// paints them.
TEST(MgForm, VoucherFormLoadsAndPaints) {
  controlsTestApp();
  QFile file(QStringLiteral(ZEM_VOUCHER_FORM));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  ZemUiLoader loader;
  loader.clearPluginPaths();
  std::unique_ptr<QWidget> root(loader.load(&file));
  ASSERT_NE(root, nullptr);
  auto* grid = root->findChild<TMG*>(QStringLiteral("voucherGrid"));
  ASSERT_NE(grid, nullptr);
  grid->Loaded();
  EXPECT_EQ(grid->FixedRows(), 2);
  EXPECT_EQ(grid->GetColShowStyle(6), 1);
  EXPECT_EQ(grid->GetColShowStyle(7), 2);
  EXPECT_EQ(grid->GetColFixedSize(7), 40);
  EXPECT_EQ(grid->Rect_Count(), 9);
  grid->SetV("amount", 2, "125600.00");
  grid->SetV("checked", 2, "1");
  root->resize(900, 300);
  QImage img = grid->viewport()->grab().toImage();
  EXPECT_FALSE(img.isNull());
  EXPECT_STREQ(grid->GetV("amount", 2), "125600.00");
}
