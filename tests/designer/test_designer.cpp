// The Designer plugin and .ui forms with the package's controls.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QFormBuilder>
#include <QPluginLoader>
#include <QUiLoader>
#include <QVBoxLayout>
#include <QXmlStreamReader>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <cstdlib>
#include <memory>
#include <unistd.h>

#include "controls/inputs/Mstatusbar.h"
#include "frame/startup/zem_units.h"
#include "host/zem_ui_loader.h"

namespace {

QString Bin_Dir() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return QFileInfo(QString::fromUtf8(path, n > 0 ? static_cast<int>(n) : 0)).absolutePath();
}

QApplication* App() {
  static QApplication* app = [] {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "test_designer";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return app;
}

QDesignerCustomWidgetCollectionInterface* Collection() {
  App();
  static QPluginLoader* loader = new QPluginLoader(Bin_Dir() + QStringLiteral("/libzem_pack_designer.so"));
  return qobject_cast<QDesignerCustomWidgetCollectionInterface*>(loader->instance());
}

QStringList Palette_Classes() {
  QStringList names;
  for (int i = 0; i < Zem_Palette_Count(); i++) names << QString::fromLatin1(Zem_Palette_Get(i)->class_name);
  return names;
}

TEST(DesignerPlugin, ListsThePaletteUnderZemPackAndCreatesEach) {
  QPluginLoader probe(Bin_Dir() + QStringLiteral("/libzem_pack_designer.so"));
  ASSERT_TRUE(Collection() != nullptr) << probe.errorString().toStdString();
  const auto widgets = Collection()->customWidgets();
  // The package and the plugin share libzem_pack.so: the plugin's list is the palette, in its order.
  QStringList names;
  for (auto* w : widgets) names << w->name();
  EXPECT_EQ(names, Palette_Classes());
  EXPECT_TRUE(names.contains(QStringLiteral("MStatusBar")));

  QWidget form;
  for (auto* w : widgets) {
    SCOPED_TRACE(w->name().toStdString());
    EXPECT_EQ(w->group(), QStringLiteral("Zem_Pack"));
    EXPECT_FALSE(w->isContainer());
    EXPECT_TRUE(w->includeFile().endsWith(QStringLiteral(".h")));
    // The default XML is well formed and its first widget is of the class.
    QXmlStreamReader xml(w->domXml());
    QString widgetClass;
    while (!xml.atEnd()) {
      if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("widget") &&
          widgetClass.isEmpty())
        widgetClass = xml.attributes().value(QLatin1String("class")).toString();
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(widgetClass, w->name());
    QWidget* made = w->createWidget(&form);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(QString::fromLatin1(made->metaObject()->className()), w->name());
    EXPECT_EQ(made->parentWidget(), &form);
  }
  for (auto* w : widgets) {
    if (w->name() == QStringLiteral("MStatusBar")) {
      EXPECT_EQ(w->includeFile(), QStringLiteral("controls/inputs/Mstatusbar.h"));
    }
  }
}

// Saves a form holding an MStatusBar made by the plugin, with its published properties changed.
QByteArray Saved_Form(QStringList* texts) {
  QDesignerCustomWidgetInterface* plugin = nullptr;
  for (auto* w : Collection()->customWidgets())
    if (w->name() == QStringLiteral("MStatusBar")) plugin = w;
  if (!plugin) return QByteArray();
  QWidget form;
  form.setObjectName(QStringLiteral("Form"));
  auto* layout = new QVBoxLayout(&form);
  auto* bar = qobject_cast<MStatusBar*>(plugin->createWidget(&form));
  if (!bar) return QByteArray();
  bar->setObjectName(QStringLiteral("bar"));
  layout->addWidget(bar);
  *texts = {QString::fromUtf16(u"数据库：示例"), QStringLiteral("rows 42"), QString::fromUtf16(u"版本")};
  bar->setProperty("AlignBottom", false);
  bar->setProperty("PanelTexts", *texts);
  bar->setProperty("PanelWidths", QStringLiteral("300,120,90"));
  bar->setProperty("OwnDraw", true);
  bar->setProperty("SimpleText", QString::fromUtf16(u"简单"));
  QBuffer out;
  out.open(QIODevice::WriteOnly);
  QFormBuilder builder;
  builder.save(&out, &form);
  return out.data();
}

void Expect_Loaded_Bar(QWidget* root, const QStringList& texts) {
  ASSERT_NE(root, nullptr);
  auto* bar = root->findChild<MStatusBar*>(QStringLiteral("bar"));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->PanelTexts(), texts);
  EXPECT_EQ(bar->PanelWidths(), QStringLiteral("300,120,90"));
  EXPECT_TRUE(bar->OwnDraw());
  EXPECT_FALSE(bar->AlignBottom());
  EXPECT_EQ(bar->SimpleText(), QString::fromUtf16(u"简单"));
  for (int i = 0; i < bar->Panels()->Count(); i++) EXPECT_EQ(bar->Panels()->Items(i)->Style(), psOwnerDraw);
}

TEST(DesignerForms, SavedFormLoadsThroughQUiLoaderWithThePluginPath) {
  ASSERT_TRUE(Collection() != nullptr);
  QStringList texts;
  const QByteArray ui = Saved_Form(&texts);
  ASSERT_FALSE(ui.isEmpty());
  EXPECT_TRUE(ui.contains("class=\"MStatusBar\""));
  EXPECT_TRUE(ui.contains("PanelTexts"));

  QUiLoader loader;
  loader.clearPluginPaths();
  loader.addPluginPath(Bin_Dir());
  EXPECT_TRUE(loader.availableWidgets().contains(QStringLiteral("MStatusBar")));
  QBuffer in;
  in.setData(ui);
  std::unique_ptr<QWidget> root(loader.load(&in));
  Expect_Loaded_Bar(root.get(), texts);
}

TEST(DesignerForms, SavedFormLoadsThroughThePaletteLoader) {
  ASSERT_TRUE(Collection() != nullptr);
  QStringList texts;
  const QByteArray ui = Saved_Form(&texts);
  ZemUiLoader loader;
  loader.clearPluginPaths();  // no plugin: the palette alone makes the controls
  EXPECT_TRUE(loader.availableWidgets().contains(QStringLiteral("MStatusBar")));
  QBuffer in;
  in.setData(ui);
  std::unique_ptr<QWidget> root(loader.load(&in));
  Expect_Loaded_Bar(root.get(), texts);
}

TEST(DesignerForms, TheDemoFormLoads) {
  App();
  QFile form(QStringLiteral(ZEM_DEMO_FORM));
  ASSERT_TRUE(form.open(QIODevice::ReadOnly));
  ZemUiLoader loader;
  std::unique_ptr<QWidget> root(loader.load(&form));
  ASSERT_NE(root, nullptr) << loader.errorString().toStdString();
  auto* bar = root->findChild<MStatusBar*>(QStringLiteral("statusBar"));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->Panels()->Count(), 3);
  EXPECT_TRUE(bar->OwnDraw());
  EXPECT_NE(root->findChild<QWidget*>(QStringLiteral("gridHost")), nullptr);
}

// The input controls' published properties, written as a form designer writes them into a .ui file,
// come back through QUiLoader with the plugin path.
TEST(DesignerForms, InputControlsKeepTheirPropertiesThroughAForm) {
  App();
  struct Row {
    const char* cls;
    const char* property;
    const char* xml;       // the property's value element in the .ui file
    QString readBack;      // the property as text after loading
  };
  const Row rows[] = {
      {"TMGS", "EditWidth", "<number>64</number>", "64"},
      {"TMGS", "Options", "<set>TMGS::goSearch|TMGS::goRefresh</set>", "6"},
      {"TMDate", "Value", "<string>20240229</string>", "20240229"},
      {"TMDate", "MonthForm", "<bool>true</bool>", "true"},
      {"MPickDate", "MonthMode", "<bool>true</bool>", "true"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.cls) + "." + r.property);
    const QString ui = QStringLiteral(
                           "<ui version=\"4.0\"><class>Form</class><widget class=\"QWidget\" name=\"Form\">"
                           "<widget class=\"%1\" name=\"control\"><property name=\"%2\">%3</property></widget>"
                           "</widget></ui>")
                           .arg(QLatin1String(r.cls), QLatin1String(r.property), QLatin1String(r.xml));
    QUiLoader loader;
    loader.clearPluginPaths();
    loader.addPluginPath(Bin_Dir());
    QBuffer in;
    in.setData(ui.toUtf8());
    std::unique_ptr<QWidget> root(loader.load(&in));
    ASSERT_NE(root, nullptr) << loader.errorString().toStdString();
    QWidget* back = root->findChild<QWidget*>(QStringLiteral("control"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(QString::fromLatin1(back->metaObject()->className()), QLatin1String(r.cls));
    const QVariant got = back->property(r.property);
    EXPECT_EQ(got.metaType().flags() & QMetaType::IsEnumeration ? QString::number(got.toInt()) : got.toString(),
              r.readBack);
  }
}

}  // namespace
