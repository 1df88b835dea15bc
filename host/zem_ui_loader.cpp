// ZemUiLoader: .ui forms with the package's controls, made through the palette.
#include "host/zem_ui_loader.h"

#include <QCoreApplication>
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

namespace {
thread_local QStringList t_library_paths;  // set aside by Paths_Aside, for the constructor's body
}  // namespace

QObject* ZemUiLoader::Paths_Aside(QObject* parent) {
  t_library_paths = QCoreApplication::libraryPaths();
  QCoreApplication::setLibraryPaths({});
  return parent;
}

ZemUiLoader::ZemUiLoader(QObject* parent) : QUiLoader(Paths_Aside(parent)) {
  // A host runs the units' initialization itself (Initialize); the palette is the designer's step,
  // taken here when nobody took it.
  if (Zem_Palette_Count() == 0) Zem_Register_Units();
  // No designer plugin is loaded until a form names a class neither the palette nor Qt makes: the
  // plugins installed on a system load their modules (Qt Quick's brings a dozen libraries), which
  // took a third of the demo's start. QUiLoader was made without them; they wait here.
  QCoreApplication::setLibraryPaths(t_library_paths);
  for (const QString& path : t_library_paths) pluginPaths_ << path + QStringLiteral("/designer");
  t_library_paths.clear();
}

QWidget* ZemUiLoader::createWidget(const QString& className, QWidget* parent, const QString& name) {
  if (const Zem_Palette_Entry* e = Find_Entry(className.toLatin1())) {
    auto* w = static_cast<QWidget*>(e->create(parent));
    if (w) w->setObjectName(name);
    return w;
  }
  QWidget* w = QUiLoader::createWidget(className, parent, name);
  if (!w && Bring_Plugins()) w = QUiLoader::createWidget(className, parent, name);
  return w;
}

bool ZemUiLoader::Bring_Plugins() {
  const bool bring = !pluginPaths_.isEmpty() && pluginPaths().isEmpty();  // else the host chose the paths
  for (const QString& path : bring ? pluginPaths_ : QStringList()) addPluginPath(path);
  pluginPaths_.clear();
  return bring;
}

QStringList ZemUiLoader::availableWidgets() const {
  const_cast<ZemUiLoader*>(this)->Bring_Plugins();  // the plugins' classes are available too
  QStringList names = QUiLoader::availableWidgets();
  for (int i = 0; i < Zem_Palette_Count(); i++) names << QString::fromLatin1(Zem_Palette_Get(i)->class_name);
  return names;
}
