// The form designer's plugin: the palette page "Zem_Pack".
//
// ZemDesignerCollection does what a form designer does with the package (the units' initialization,
// then every control unit's Register()) and offers one ZemWidgetPlugin per class on the page, sorted by
// name; when the plugin is unloaded it runs the units' finalization. Each widget plugin only describes
// its class: name, group, icon (designer/icons, a resource keyed by class name), tooltip, "what's this",
// header, default XML, and how to make one. The controls' published properties are Q_PROPERTY, so the
// designer edits them and stores them in .ui files. The default XML gives a control its size on the
// form and marks its data properties (the grid's definition lines, a dictionary id, panel widths, a
// date value) as not translatable, so that uic never hands them to tr().
//
// Loaded while TARVOK_DLL_PATH is unset, the plugin points it at the folder of the package library it
// runs with (where kdm_pub_ptr.so and the driver libraries lie), so the package binds to the registry
// library without a load error.
#pragma once

#include <QObject>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

struct Zem_Palette_Entry;

class ZemWidgetPlugin : public QObject, public QDesignerCustomWidgetInterface {
  Q_OBJECT
  Q_INTERFACES(QDesignerCustomWidgetInterface)
 public:
  // entry: the class's palette entry (owned by the package, lives while it is loaded).
  ZemWidgetPlugin(const Zem_Palette_Entry* entry, QObject* parent);

  QString name() const override;
  QString group() const override;
  QString toolTip() const override;
  QString whatsThis() const override;
  QString includeFile() const override;
  QIcon icon() const override;
  bool isContainer() const override { return false; }
  // Inside the form designer (initialized with its core) a control is made in design mode: an
  // MStatusBar then stays where it is put, a TComboBox_Ext holds its properties without attaching its
  // dictionary, the tree views show a sample branch. A form loader (QUiLoader) gets run-time controls.
  QWidget* createWidget(QWidget* parent) override;
  bool isInitialized() const override { return initialized_; }
  void initialize(QDesignerFormEditorInterface* core) override;
  QString domXml() const override;

 private:
  const Zem_Palette_Entry* entry_;
  bool initialized_ = false;
  bool designing_ = false;  // initialized by a form designer's core
};

class ZemDesignerCollection : public QObject, public QDesignerCustomWidgetCollectionInterface {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QDesignerCustomWidgetCollectionInterface")
  Q_INTERFACES(QDesignerCustomWidgetCollectionInterface)
 public:
  explicit ZemDesignerCollection(QObject* parent = nullptr);
  ~ZemDesignerCollection() override;
  QList<QDesignerCustomWidgetInterface*> customWidgets() const override { return widgets_; }

 private:
  QList<QDesignerCustomWidgetInterface*> widgets_;  // owned (Qt children)
};

// The header a form's generated code includes for a class of the palette.
QString Zem_Designer_Include_For(const char* class_name);
// The folder TARVOK_DLL_PATH is given when unset: the package library's, when kdm_pub_ptr.so lies there,
// else this plugin's own.
QString Zem_Designer_Dll_Dir();
