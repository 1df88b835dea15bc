// The one QApplication of the toolkit tests, made on first use (platform "offscreen" comes from CTest's
// environment, and is set here too when a test binary is run by hand).
#pragma once

#include <QApplication>
#include <cstdlib>

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
