// The one QApplication of the toolkit tests, made on first use (platform "offscreen" comes from CTest's
// environment, and is set here too when a test binary is run by hand), and what the widget tests of the
// toolkit and of the controls share: a fixture that makes the application, ink counted on a grab, and
// modal dialogs answered as a user answers them. Qt only, as the toolkit.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <functional>

inline QApplication* tkTestApp() {
    static QApplication* app = [] {
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "test_toolkit";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return app;
}

namespace zt {

struct TkTest : ::testing::Test {
    void SetUp() override { tkTestApp(); }
};

// Pixels of r darker than gray (0..255): the ink of text or lines on a light face.
inline int Dark_Pixels(const QImage& img, const QRect& r, int gray = 100) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) n += qGray(img.pixel(x, y)) < gray;
    return n;
}

// Answers the next modal widget (the next one named `name`, when given) with answer(widget) once it is
// up; call it before the code that opens the dialog.
inline void Answer(std::function<void(QWidget*)> answer, const char* name = nullptr) {
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, answer, name] {
        QWidget* d = QApplication::activeModalWidget();
        if (!d || (name && d->objectName() != QLatin1String(name))) return;
        timer->stop(), timer->deleteLater(), answer(d);
    });
    timer->start();
}

// Clicks the dialog's button that reads text, or is named so.
inline bool Click(QWidget* d, const QString& text_or_name) {
    for (QAbstractButton* b : d->findChildren<QAbstractButton*>())
        if (b->text() == text_or_name || b->objectName() == text_or_name) return b->click(), true;
    return false;
}

}  // namespace zt
