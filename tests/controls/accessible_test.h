// A screen reader's ear in process: the events Qt's accessibility sends while the platform's
// accessibility is switched on, as a reader switches it on (the offscreen platform starts with it off,
// and Qt then sends nothing).
#pragma once

#include <QAccessible>
#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformaccessibility.h>
#include <QtGui/qpa/qplatformintegration.h>
#include <vector>

struct Heard {
  QAccessible::Event type;
  QObject* object;
  int child;
};

// Listens while it lives; Events() are those heard since the last Clear().
class Reader_Ear {
 public:
  Reader_Ear() {
    QPlatformAccessibility* a = QGuiApplicationPrivate::platformIntegration()->accessibility();
    if (a) a->setActive(true);
    QAccessible::installUpdateHandler(&Hear);
  }
  ~Reader_Ear() {
    QAccessible::installUpdateHandler(nullptr);
    if (QPlatformAccessibility* a = QGuiApplicationPrivate::platformIntegration()->accessibility()) a->setActive(false);
  }
  static std::vector<Heard>& Events() {
    static std::vector<Heard> heard;
    return heard;
  }
  void Clear() { Events().clear(); }

 private:
  static void Hear(QAccessibleEvent* e) { Events().push_back({e->type(), e->object(), e->child()}); }
};
