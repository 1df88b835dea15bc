// The demo host's start-up and its main window made whole, shared by the program and its tests.
#pragma once

#include <QString>
#include <memory>

class DemoDb;
class DemoWindow;
class DemoInputs;
class VoucherEntry;

// The package as a host meets it: the units, the framework, the application home path (home, else an
// existing "app_home_path", else the user's data folder for the program) and the host functions of
// the host module. Returns the home path.
QString Demo_Start_Host(const QString& home);

// The main window with every part on it: the voucher form and its input strip, the department tree,
// the filter bar, the voucher entry, the grid's tools and menus. Null with *error set when a form does
// not load. db must outlive the window.
struct DemoParts {
  std::unique_ptr<DemoWindow> window;
  DemoInputs* inputs = nullptr;  // owned by the window
  VoucherEntry* entry = nullptr;
};
DemoParts Demo_Build(DemoDb* db, QString* error);
