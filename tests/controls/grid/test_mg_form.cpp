// A form saved with a TMG defined through ADEF and BDEF loads back (through the package's palette
// loader, and through QUiLoader with the Designer plugin) with the same columns and header units.
#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"
#include "host/zem_ui_loader.h"

#include <unistd.h>

#include <QBuffer>
#include <QFileInfo>
#include <QFormBuilder>
#include <QUiLoader>
#include <QVBoxLayout>
#include <memory>

namespace {

QString Bin_Dir() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return QFileInfo(QString::fromUtf8(path, n > 0 ? static_cast<int>(n) : 0)).absolutePath();
}

// Saves as the form designer does: a control that is no container is written without the widgets it
// builds inside itself (scroll bars, viewport, cell editor), only with its published properties.
class Designer_Like_Builder : public QFormBuilder {
 protected:
  using QFormBuilder::createDom;
  DomWidget* createDom(QWidget* widget, DomWidget* parent, bool recursive) override {
    return QFormBuilder::createDom(widget, parent, recursive && !qobject_cast<TMG*>(widget));
  }
};

// The grid's definitions as a designer writes them.
QByteArray Save_Grid_Form(const QStringList& adef, const QStringList& bdef) {
  QWidget form;
  form.setObjectName(QStringLiteral("Form"));
  auto* layout = new QVBoxLayout(&form);
  auto* grid = new TMG(&form);
  grid->setObjectName(QStringLiteral("grid"));
  layout->addWidget(grid);
  grid->SetColCount(5);
  grid->SetFixedRows(1);
  grid->SetADEF(adef);
  grid->SetBDEF(bdef);
  grid->SetFixedFontColor(0x008000);
  QBuffer out;
  out.open(QIODevice::WriteOnly);
  // The builder names every Qt property whose type it cannot write; those are not the grid's own.
  QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  Designer_Like_Builder builder;
  builder.save(&out, &form);
  qInstallMessageHandler(previous);
  return out.data();
}

}  // namespace

// Saved by the form builder, loaded back by the palette loader and by QUiLoader with the plugin path.
TEST(MgForm, FormBuilderRoundTripKeepsTheColumns) {
  controlsTestApp();
  const QStringList adef{QString::fromUtf16(u"凭证号,$voucher_no,readonly,||90"),
                         QString::fromUtf16(u"部门,$dept_code,|120"),
                         QString::fromUtf16(u"金额,$amount,float,dec#2,money"),
                         QString::fromUtf16(u"审核,$checked,bool")};
  const QStringList bdef{QString::fromUtf16(u"unit,1,0,2,0,凭证"), QString::fromUtf16(u"unit,3,0,4,0,金额与审核")};
  const QByteArray ui = Save_Grid_Form(adef, bdef);
  ASSERT_TRUE(ui.contains("class=\"TMG\"")) << ui.constData();
  ASSERT_TRUE(ui.contains("name=\"ADEF\""));
  ASSERT_TRUE(ui.contains("name=\"BDEF\""));

  ZemUiLoader loader;
  loader.clearPluginPaths();
  QBuffer in;
  in.setData(ui);
  std::unique_ptr<QWidget> root(loader.load(&in));
  ASSERT_NE(root, nullptr) << loader.errorString().toStdString();
  auto* grid = root->findChild<TMG*>(QStringLiteral("grid"));
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->ADEF(), adef);
  EXPECT_EQ(grid->BDEF(), bdef);
  EXPECT_EQ(grid->ColCount(), 5);
  EXPECT_EQ(grid->FixedFontColor(), 0x008000);
  struct Col {
    int col;
    const char* name;
    int show;
    int fixed;
    bool readonly;
    char type;
  } cols[] = {{1, "voucher_no", 0, 90, true, 'S'},
              {2, "dept_code", 0, -1, false, 'S'},
              {3, "amount", 1, -1, false, 'F'},
              {4, "checked", 2, -1, false, 'I'}};
  for (const Col& c : cols) {
    EXPECT_STREQ(grid->GetColName(c.col), c.name) << c.col;
    EXPECT_EQ(grid->GetColShowStyle(c.col), c.show) << c.col;
    EXPECT_EQ(grid->GetColFixedSize(c.col), c.fixed) << c.col;
    EXPECT_EQ(grid->GetColReadonly(c.col), c.readonly) << c.col;
    EXPECT_EQ(grid->GetColDef(c.col)->type, c.type) << c.col;
  }
  EXPECT_EQ(grid->GetColDef(2)->width, 120);
  ASSERT_EQ(grid->Rect_Count(), 2);
  EXPECT_STREQ(grid->Get_Rect_Def(1)->caption, TMG::Narrow(QString::fromUtf16(u"金额与审核")).c_str());

  // The designer's own path: the plugin makes the grid (its class lives in the package library, so it
  // is looked at through its published properties).
  QUiLoader plain;
  plain.clearPluginPaths();
  plain.addPluginPath(Bin_Dir());
  ASSERT_TRUE(plain.availableWidgets().contains(QStringLiteral("TMG")));
  QBuffer again;
  again.setData(ui);
  std::unique_ptr<QWidget> root2(plain.load(&again));
  ASSERT_NE(root2, nullptr) << plain.errorString().toStdString();
  QWidget* made = root2->findChild<QWidget*>(QStringLiteral("grid"));
  ASSERT_NE(made, nullptr);
  EXPECT_STREQ(made->metaObject()->className(), "TMG");
  EXPECT_TRUE(made->property("ADEF").toStringList() == adef && made->property("BDEF").toStringList() == bdef);
  EXPECT_EQ(std::make_pair(made->property("ColCount").toInt(), made->property("FixedFontColor").toInt()),
            std::make_pair(5, 0x008000));
}
