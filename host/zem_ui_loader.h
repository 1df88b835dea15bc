// ZemUiLoader: builds forms saved by the form designer, making the package's controls itself.
//
// QUiLoader on its own finds custom widgets only through designer plugins in its plugin paths. A host
// already linked with the package needs no plugin: this loader asks the package's palette (the classes
// the control units registered on "Zem_Pack") for every class it meets and falls back to QUiLoader for
// the rest. QUiLoader loads every designer plugin of the system when it is made; this one loads them
// only when a form names a class that neither the palette nor Qt makes (or when its classes are
// listed), unless the host set plugin folders of its own. The control units' Register() run on first use when nobody ran them; Initialize() stays the
// host's call, as for every host of the package.
#pragma once

#include <QStringList>
#include <QUiLoader>

class ZemUiLoader : public QUiLoader {
  Q_OBJECT
 public:
  explicit ZemUiLoader(QObject* parent = nullptr);

  QWidget* createWidget(const QString& className, QWidget* parent = nullptr,
                        const QString& name = QString()) override;
  // The palette's classes and QUiLoader's own.
  QStringList availableWidgets() const;

 private:
  // Empties the application's library paths while QUiLoader is made (its constructor loads every
  // designer plugin in them at once), keeping them for the constructor's body to put back; parent.
  static QObject* Paths_Aside(QObject* parent);
  // Puts the system's designer plugin folders in place (loading their plugins) unless the host set
  // folders of its own; whether it did.
  bool Bring_Plugins();
  QStringList pluginPaths_;  // the system's designer plugin folders, until a form needs them
};
