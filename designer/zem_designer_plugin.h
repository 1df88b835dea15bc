// The form designer's plugin: the palette page "Zem_Pack".
//
// ZemDesignerCollection does what a form designer does with the package (the units' initialization,
// then every control unit's Register()) and offers one ZemWidgetPlugin per class on the page. Each
// widget plugin only describes its class: name, group, header, default XML, and how to make one. The
// controls' published properties are Q_PROPERTY, so the designer edits them and stores them in .ui files.
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
  QWidget* createWidget(QWidget* parent) override;
  bool isInitialized() const override { return initialized_; }
  void initialize(QDesignerFormEditorInterface*) override { initialized_ = true; }
  QString domXml() const override;

 private:
  const Zem_Palette_Entry* entry_;
  bool initialized_ = false;
};

class ZemDesignerCollection : public QObject, public QDesignerCustomWidgetCollectionInterface {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QDesignerCustomWidgetCollectionInterface")
  Q_INTERFACES(QDesignerCustomWidgetCollectionInterface)
 public:
  explicit ZemDesignerCollection(QObject* parent = nullptr);
  QList<QDesignerCustomWidgetInterface*> customWidgets() const override { return widgets_; }

 private:
  QList<QDesignerCustomWidgetInterface*> widgets_;  // owned (Qt children)
};

// The header a form's generated code includes for a class of the palette.
QString Zem_Designer_Include_For(const char* class_name);
