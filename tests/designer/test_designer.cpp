// The Designer plugin as a form designer meets it, and .ui forms with the package's controls loaded back
// as a host loads them (the demo's own forms are loaded by tests/demo). ctest runs each test in a
// process of its own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QFormBuilder>
#include <QLibraryInfo>
#include <QMetaProperty>
#include <QPluginLoader>
#include <QUiLoader>
#include <QVBoxLayout>
#include <QXmlStreamReader>
#include <QColor>
#include <QtDesigner/QDesignerFormEditorInterface>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <cstdlib>
#include <memory>
#include <unistd.h>

#include "controls/combo/Combobox_ext.h"
#include "controls/grid/Mg.h"
#include "controls/inputs/Mstatusbar.h"
#include "toolkit/tk_tree.h"
#include "frame/log_mgr.h"
#include "frame/pub_ptr.h"
#include "frame/startup/zem_names.h"
#include "frame/startup/zem_pack.h"
#include "frame/zem_units.h"
#include "host/zem_ui_loader.h"
#include "ui_all_properties.h"

namespace {

QString Bin_Dir() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return QFileInfo(QString::fromUtf8(path, n > 0 ? static_cast<int>(n) : 0)).absolutePath();
}

QString Plugin_File() { return Bin_Dir() + QStringLiteral("/libzem_pack_designer.so"); }

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
  static QPluginLoader* loader = new QPluginLoader(Plugin_File());
  return qobject_cast<QDesignerCustomWidgetCollectionInterface*>(loader->instance());
}

QDesignerCustomWidgetInterface* Plugin_For(const QString& name) {
  for (auto* w : Collection()->customWidgets())
    if (w->name() == name) return w;
  return nullptr;
}

TEST(DesignerPlugin, EachClassDescribedDrawnAndMade) {
  ASSERT_EQ(std::getenv("TARVOK_DLL_PATH"), nullptr) << "the test needs the variable unset";
  QPluginLoader probe(Plugin_File());
  ASSERT_TRUE(Collection() != nullptr) << probe.errorString().toStdString();
  // Loaded without TARVOK_DLL_PATH, the plugin points it at the package's folder.
  EXPECT_EQ(QString::fromLocal8Bit(std::getenv("TARVOK_DLL_PATH")), Bin_Dir());

  // Exactly the eight classes, each added by its own unit's Register(), in the units' order; loading
  // the plugin entered every unit once. The widget box gets them by name.
  const struct { const char* unit; const char* cls; } expected[] = {
      {"Mtreeview", "MTreeView"}, {"Mstatusbar", "MStatusBar"}, {"Mgs", "TMGS"}, {"Treeview_ext", "TTreeView_Ext"},
      {"Mg", "TMG"},              {"Mdate", "TMDate"},          {"Combobox_ext", "TComboBox_Ext"},
      {"Mpickdate", "MPickDate"}};
  const char* const by_name[] = {"MPickDate", "MStatusBar", "MTreeView", "TComboBox_Ext",
                                 "TMDate",    "TMG",        "TMGS",      "TTreeView_Ext"};
  const auto widgets = Collection()->customWidgets();
  ASSERT_EQ(widgets.size(), 8);
  ASSERT_EQ(Zem_Palette_Count(), 8);
  for (int i = 0; i < 8; i++) {
    SCOPED_TRACE(expected[i].cls);
    EXPECT_EQ(widgets[i]->name(), QLatin1String(by_name[i]));
    EXPECT_STREQ(Zem_Palette_Get(i)->class_name, expected[i].cls);
    EXPECT_STREQ(Zem_Palette_Get(i)->unit, expected[i].unit);
    EXPECT_STREQ(Zem_Unit_Name(i + 1), expected[i].unit);
    EXPECT_EQ(Zem_Unit_Init_Count(expected[i].unit), 1);
  }
  EXPECT_EQ(Zem_Unit_Init_Count("Zem_pack"), 1);

  QWidget form;
  // The properties that hold data, marked not translatable (a string list as dropped, a string through
  // the plugin's property hints), so uic never re-applies them in retranslateUi.
  const QMap<QString, QString> data = {{"TMG", "ADEF,BDEF"}, {"MStatusBar", "PanelTexts,PanelWidths"},
                                       {"TComboBox_Ext", "Dict_Id"}, {"TMDate", "Value"}};
  for (auto* w : Collection()->customWidgets()) {
    SCOPED_TRACE(w->name().toStdString());
    EXPECT_TRUE(w->group() == QStringLiteral("Zem_Pack") && !w->isContainer());
    EXPECT_TRUE(w->toolTip() != w->name() && w->whatsThis().size() > w->toolTip().size()) << "a tip and a longer help";
    // The header a generated form includes is the unit's, found under the include directory.
    EXPECT_TRUE(QFile::exists(QStringLiteral(ZEM_SOURCE_DIR "/") + w->includeFile())) << w->includeFile().toStdString();
    EXPECT_TRUE(!w->icon().isNull() && w->icon().pixmap(32, 32).toImage().size() == QSize(32, 32));
    // The default XML is well formed and its first widget is of the class.
    QXmlStreamReader xml(w->domXml());
    QString widgetClass, property;
    QSize dropped;
    QStringList notr;
    while (!xml.atEnd()) {
      if (xml.readNext() != QXmlStreamReader::StartElement) continue;
      const QXmlStreamAttributes a = xml.attributes();
      if (xml.name() == QLatin1String("property")) property = a.value(QLatin1String("name")).toString();
      if (a.value(QLatin1String("notr")) == QLatin1String("true")) notr << (a.hasAttribute("name") ? a.value("name").toString() : property);
      if (xml.name() == QLatin1String("widget") && widgetClass.isEmpty()) widgetClass = a.value(QLatin1String("class")).toString();
      if (xml.name() == QLatin1String("width")) dropped.setWidth(xml.readElementText().toInt());
      if (xml.name() == QLatin1String("height")) dropped.setHeight(xml.readElementText().toInt());
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(widgetClass, w->name());
    EXPECT_EQ(notr.join(',').toStdString(), data.value(w->name()).toStdString()) << "not translatable";
    QWidget* made = w->createWidget(&form);
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(QString::fromLatin1(made->metaObject()->className()) == w->name() && made->parentWidget() == &form);
    // A control that sizes itself is dropped on a form at that size; a combo box as a line.
    if (QStringList{"TMGS", "TMDate", "MPickDate"}.contains(w->name())) { EXPECT_EQ(dropped, made->size()); }
    if (w->name() == "TComboBox_Ext") { EXPECT_LT(dropped.height(), 2 * made->sizeHint().height()); }
  }
  // Making controls brought the framework up through libzem_pack.so's start-up hook, bound to the
  // registry library the variable points at.
  EXPECT_TRUE(Pub_Ptr_Is_Shared());
  // Besides, the date box's captions brought up the caption map.
  EXPECT_EQ(Zem_Startup_Created_Count(), kZem_Startup_Name_Count + 1);
  EXPECT_TRUE(Zem_Startup_Created("lang_map_mgr"));

  // Every class of the package has its own picture, at both sizes, whether its unit is linked or not.
  const char* const classes[] = {"MTreeView", "MStatusBar", "TMGS",   "TTreeView_Ext",
                                 "TMG",       "TMDate",     "TComboBox_Ext", "MPickDate"};
  QList<QImage> seen;
  for (const char* c : classes) {
    SCOPED_TRACE(c);
    for (int scale : {1, 2}) {
      const QImage image(QStringLiteral(":/zem_pack/designer/icons/%1%2.png")
                             .arg(QString::fromLatin1(c), scale == 2 ? QStringLiteral("@2x") : QString()));
      ASSERT_EQ(image.size(), QSize(32 * scale, 32 * scale));
      int opaque = 0;
      for (int y = 0; y < image.height(); y++)
        for (int x = 0; x < image.width(); x++) opaque += qAlpha(image.pixel(x, y)) == 255;
      EXPECT_GT(opaque, image.width() * image.height() / 4);
      EXPECT_TRUE(scale == 2 || !seen.contains(image)) << "the same picture as another class";
      if (scale == 1) seen << image;
    }
  }
  // The two trees are told apart at a glance: a good part of their pictures differs clearly.
  const QImage code(QStringLiteral(":/zem_pack/designer/icons/MTreeView.png"));
  const QImage dict(QStringLiteral(":/zem_pack/designer/icons/TTreeView_Ext.png"));
  int differ = 0;
  for (int y = 0; y < 32; y++)
    for (int x = 0; x < 32; x++) differ += std::abs(qGray(code.pixel(x, y)) - qGray(dict.pixel(x, y))) > 40;
  EXPECT_GT(differ, 32 * 32 / 8);
}

// What a form designer drops: the trees show a sample branch (there only), the grid's colour has an
// editor of its own.
TEST(DesignerPlugin, DroppedControlsAsAFormDesignerSeesThem) {
  ASSERT_TRUE(Collection() != nullptr);
  QDesignerFormEditorInterface core;
  QWidget form;
  for (const char* cls : {"MTreeView", "TTreeView_Ext"}) {
    SCOPED_TRACE(cls);
    auto* runTime = qobject_cast<TTreeView*>(Plugin_For(QLatin1String(cls))->createWidget(&form));
    Plugin_For(QLatin1String(cls))->initialize(&core);
    auto* designed = qobject_cast<TTreeView*>(Plugin_For(QLatin1String(cls))->createWidget(&form));
    EXPECT_TRUE(runTime->Items()->Count() == 0 && designed->Items()->Count() == 2 && designed->Items()->Item(0)->Text() == cls);
  }
  auto* grid = qobject_cast<TMG*>(Plugin_For(QStringLiteral("TMG"))->createWidget(&form));
  grid->setProperty("FixedFontQColor", QColor(0xF1, 0x65, 0x55));
  EXPECT_EQ(grid->FixedFontColor(), 0x5565F1);
}

TEST(DesignerPlugin, ControlsMadeInTheDesignerStayAsEdited) {
  ASSERT_TRUE(Collection() != nullptr);
  QDesignerCustomWidgetInterface* plugin = Plugin_For(QStringLiteral("MStatusBar"));
  ASSERT_NE(plugin, nullptr);
  QWidget form;
  // As a form loader makes it (no designer core): a run-time bar.
  auto* runTime = qobject_cast<MStatusBar*>(plugin->createWidget(&form));
  ASSERT_TRUE(runTime && !runTime->Designing());
  // As the designer makes it, once it has handed the plugin its core.
  QDesignerFormEditorInterface core;
  plugin->initialize(&core);
  auto* designed = qobject_cast<MStatusBar*>(plugin->createWidget(&form));
  ASSERT_TRUE(designed && designed->Designing() && designed->AlignBottom());
  // A combo box holds its properties as edited, in any order: in the designer (no database) it loads no
  // dictionary, so no error lines while its Dict_Id is typed, yet it shows its run-time colour.
  QDesignerCustomWidgetInterface* combo_plugin = Plugin_For(QStringLiteral("TComboBox_Ext"));
  ASSERT_NE(combo_plugin, nullptr);
  combo_plugin->initialize(&core);
  auto* combo = qobject_cast<TComboBox_Ext*>(combo_plugin->createWidget(&form));
  ASSERT_NE(combo, nullptr);
  form.show();
  Log_Mgr()->Set_Keep(20);
  combo->setProperty("Multi_Mode", true);
  for (const char* typed : {"d", "de", "dep", "dept"}) combo->setProperty("Dict_Id", QLatin1String(typed));
  EXPECT_EQ(Log_Mgr()->Last_Lines(), "");
  EXPECT_EQ(combo->Color(), TComboBox_Ext::kMulti_Color);
  combo->setProperty("Multi_Mode", false);
  EXPECT_TRUE(!combo->property("Multi_Mode").toBool() && combo->property("Dict_Id").toString() == "dept");
  EXPECT_EQ(combo->Color(), TComboBox_Ext::kSearch_Color);
  Log_Mgr()->Set_Keep(0);
}

TEST(DesignerPlugin, UnloadingFinalizesTheUnits) {
  App();
  const int before = Zem_Unit_Init_Count("Mstatusbar");
  QPluginLoader loader(Plugin_File());
  ASSERT_NE(loader.instance(), nullptr) << loader.errorString().toStdString();
  EXPECT_EQ(Zem_Unit_Init_Count("Mstatusbar"), before + 1);
  EXPECT_TRUE(loader.unload() && Zem_Unit_Init_Count("Mstatusbar") == before);
}

// Saves a form holding an MStatusBar made by the plugin, with its published properties changed.
QByteArray Saved_Form(QStringList* texts) {
  QDesignerCustomWidgetInterface* plugin = Plugin_For(QStringLiteral("MStatusBar"));
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
  bar->setProperty("PanelWidths", QStringLiteral("300,,90"));
  bar->setProperty("OwnDraw", true);
  bar->setProperty("SimpleText", QString::fromUtf16(u"简单"));
  QBuffer out;
  QFormBuilder builder;
  return out.open(QIODevice::WriteOnly), builder.save(&out, &form), out.data();
}

TEST(DesignerForms, SavedFormLoadsThroughQUiLoaderAndThePaletteLoader) {
  ASSERT_TRUE(Collection() != nullptr);
  QStringList texts;
  const QByteArray ui = Saved_Form(&texts);
  ASSERT_TRUE(ui.contains("class=\"MStatusBar\""));
  QUiLoader plain;       // finds the controls through the plugin
  ZemUiLoader palette;  // makes them through the palette, no plugin needed
  plain.clearPluginPaths();
  plain.addPluginPath(Bin_Dir());
  palette.clearPluginPaths();
  EXPECT_TRUE(plain.availableWidgets().contains("MStatusBar") && palette.availableWidgets().contains("MStatusBar"));
  for (QUiLoader* loader : {&plain, static_cast<QUiLoader*>(&palette)}) {
    SCOPED_TRACE(loader == &plain ? "QUiLoader with the plugin path" : "ZemUiLoader");
    QBuffer in;
    in.setData(ui);
    std::unique_ptr<QWidget> root(loader->load(&in));
    ASSERT_NE(root, nullptr);
    auto* bar = root->findChild<MStatusBar*>(QStringLiteral("bar"));
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(!bar->Designing() && bar->OwnDraw() && !bar->AlignBottom());
    EXPECT_EQ(bar->PanelTexts(), texts);
    EXPECT_EQ(bar->PanelWidths() + '|' + bar->SimpleText(), QString::fromUtf16(u"300,50,90|简单"));
    for (int i = 0; i < bar->Panels()->Count(); i++) EXPECT_EQ(bar->Panels()->Items(i)->Style(), psOwnerDraw);
  }
}

// The palette loader loads no designer plugin of the system until a form names a class only such a
// plugin makes; a host that chose its plugin folders keeps to them.
TEST(DesignerForms, PaletteLoaderBringsOtherPluginsOnlyForTheirClasses) {
  App();
  if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/designer/libqquickwidget.so")))
    GTEST_SKIP() << "no Qt Quick designer plugin on this system";
  const QByteArray ui =
      "<ui version=\"4.0\"><class>F</class><widget class=\"QWidget\" name=\"F\">"
      "<widget class=\"QQuickWidget\" name=\"quick\"/><widget class=\"MStatusBar\" name=\"bar\"/></widget></ui>";
  struct Row {
    const char* what;
    bool ownFolder;  // the host adds the package's plugin folder itself
    const char* made;
  } rows[] = {
      {"the system's plugins, brought for the class", false, "quick bar"},
      {"the host's own folder only", true, "bar"},
  };
  for (const Row& r : rows) {
    ZemUiLoader loader;
    EXPECT_TRUE(loader.pluginPaths().isEmpty()) << r.what;
    if (r.ownFolder) loader.addPluginPath(Bin_Dir());
    QBuffer in;
    in.setData(ui);
    std::unique_ptr<QWidget> root(loader.load(&in));
    ASSERT_NE(root, nullptr) << r.what;
    QStringList made;
    for (const char* name : {"quick", "bar"})
      if (root->findChild<QWidget*>(QString::fromLatin1(name))) made << QString::fromLatin1(name);
    EXPECT_EQ(made.join(u' ').toStdString(), r.made) << r.what;
  }
}

// Every published property of the eight controls (and of the grid's base), as Designer saved them in
// all_properties.ui: code generated by uic calls each one's "setName" setter (a missing one fails the
// build), and the same file through the palette loader and through QUiLoader with the plugin path gives
// the same values.
TEST(DesignerForms, EveryPublishedPropertyThroughUicAndTheLoader) {
  App();
  // readBack: the property as text after the form is built (enumerations and flags as numbers, lists
  // joined by "|")
  struct Row { const char* object; const char* property; QString readBack; };
  const Row rows[] = {
      {"grid", "ColCount", "4"}, {"grid", "RowCount", "6"}, {"grid", "FixedCols", "2"}, {"grid", "FixedRows", "2"},
      {"grid", "ADEF", QString::fromUtf16(u"编码,$code,||60|金额,$amt,float,money|审核,$ok,bool")},
      {"grid", "BDEF", QString::fromUtf16(u"unit,1,0,2,0,凭证")}, {"grid", "Show_Row_Id_Mode", "false"},
      {"grid", "FixedFontColor", "255"}, {"grid", "FixedFontQColor", "#ff0000"}, {"plainGrid", "DefaultColWidth", "70"},
      {"plainGrid", "DefaultRowHeight", "30"}, {"plainGrid", "GridLineWidth", "1"},
      {"plainGrid", "DefaultDrawing", "true"}, {"box", "Dict_Id", "dept"}, {"box", "Multi_Mode", "true"},
      {"box", "Include_All", "true"}, {"box", "Allow_Empty", "true"}, {"box", "Style", "2"},
      {"box", "Sorted", "true"}, {"box", "DropDownCount", "12"}, {"box", "Hint", QString::fromUtf16(u"部门")},
      {"tree", "A_Caption_With_Code", "true"}, {"tree", "A_ID", "7"}, {"search", "EditWidth", "64"},
      {"search", "Options", "6"}, {"date", "Value", "20240229"}, {"date", "MonthForm", "false"},
      {"month", "Value", "202311"}, {"month", "MonthForm", "true"}, {"pick", "MonthMode", "true"},
      {"pick", "ShowCheckbox", "true"}, {"bar", "SimplePanel", "true"},
      {"bar", "SimpleText", QString::fromUtf16(u"就绪")}, {"bar", "PanelWidths", "120,80"},
      {"bar", "PanelTexts", QString::fromUtf16(u"数据库|行数")}, {"bar", "OwnDraw", "true"},
      {"bar", "AlignBottom", "false"},
  };
  auto text = [](const QVariant& v) {
    if (v.metaType().flags() & QMetaType::IsEnumeration) return QString::number(v.toInt());
    return v.metaType().id() == QMetaType::QStringList ? v.toStringList().join('|') : v.toString();
  };
  QWidget generated;
  Ui::AllProperties ui;
  ui.setupUi(&generated);
  ZemUiLoader palette;
  QUiLoader plugin;
  plugin.clearPluginPaths();
  plugin.addPluginPath(Bin_Dir());
  std::unique_ptr<QWidget> loaded[2];
  for (QUiLoader* loader : {static_cast<QUiLoader*>(&palette), &plugin}) {
    QFile file(QStringLiteral(ZEM_SOURCE_DIR "/tests/designer/all_properties.ui"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    loaded[loader == &plugin].reset(loader->load(&file));
    ASSERT_NE(loaded[loader == &plugin], nullptr) << loader->errorString().toStdString();
  }
  QStringList covered;
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.object) + "." + r.property);
    for (QWidget* root : {&generated, loaded[0].get(), loaded[1].get()}) {
      QWidget* w = root->findChild<QWidget*>(QLatin1String(r.object));
      ASSERT_NE(w, nullptr);
      EXPECT_EQ(text(w->property(r.property)), r.readBack)
          << (root == &generated ? "uic" : root == loaded[0].get() ? "palette loader" : "plugin path");
      covered << QString::fromLatin1(w->metaObject()->className()) + '.' + r.property;
    }
  }
  // A property published later joins the form and this table: every one of the classes is covered.
  for (QWidget* w : generated.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    const QMetaObject* own = w->metaObject();
    const QMetaObject* from = qobject_cast<TStringGrid*>(w) ? &TStringGrid::staticMetaObject : own;
    for (int i = from->propertyOffset(); i < own->propertyCount(); i++)
      EXPECT_TRUE(covered.contains(QString::fromLatin1(own->className()) + '.' + own->property(i).name()))
          << own->className() << "." << own->property(i).name() << " is not in all_properties.ui";
  }
}

}  // namespace
