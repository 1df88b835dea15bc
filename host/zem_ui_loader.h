// ZemUiLoader: builds forms saved by the form designer, making the package's controls itself.
//
// QUiLoader on its own finds custom widgets only through designer plugins in its plugin paths. A host
// already linked with the package needs no plugin: this loader asks the package's palette (the classes
// the control units registered on "Zem_Pack") for every class it meets and falls back to QUiLoader for
// the rest. The control units' Register() run on first use when nobody ran them; Initialize() stays the
// host's call, as for every host of the package.
#pragma once

#include <QUiLoader>

class ZemUiLoader : public QUiLoader {
  Q_OBJECT
 public:
  explicit ZemUiLoader(QObject* parent = nullptr);

  QWidget* createWidget(const QString& className, QWidget* parent = nullptr,
                        const QString& name = QString()) override;
  // The palette's classes and QUiLoader's own.
  QStringList availableWidgets() const;
};
