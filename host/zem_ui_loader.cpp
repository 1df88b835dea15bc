// ZemUiLoader: .ui forms with the package's controls, made through the palette.
#include "host/zem_ui_loader.h"

#include <QWidget>
#include <cstring>

#include "frame/zem_units.h"

namespace {

const Zem_Palette_Entry* Find_Entry(const QByteArray& class_name) {
  for (int i = 0; i < Zem_Palette_Count(); i++) {
    const Zem_Palette_Entry* e = Zem_Palette_Get(i);
    if (e && e->create && class_name == e->class_name) return e;
  }
  return nullptr;
}

}  // namespace

ZemUiLoader::ZemUiLoader(QObject* parent) : QUiLoader(parent) {
  // A host runs the units' initialization itself (Initialize); the palette is the designer's step,
  // taken here when nobody took it.
  if (Zem_Palette_Count() == 0) Zem_Register_Units();
}

QWidget* ZemUiLoader::createWidget(const QString& className, QWidget* parent, const QString& name) {
  if (const Zem_Palette_Entry* e = Find_Entry(className.toLatin1())) {
    auto* w = static_cast<QWidget*>(e->create(parent));
    if (w) w->setObjectName(name);
    return w;
  }
  return QUiLoader::createWidget(className, parent, name);
}

QStringList ZemUiLoader::availableWidgets() const {
  QStringList names = QUiLoader::availableWidgets();
  for (int i = 0; i < Zem_Palette_Count(); i++) names << QString::fromLatin1(Zem_Palette_Get(i)->class_name);
  return names;
}
