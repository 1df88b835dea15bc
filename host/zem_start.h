// Zem_Pack_Start: an application's start of the package in one call, telling what did not come up.
//
//   QApplication app(argc, argv);
//   Zem_Start_Options options;
//   options.database = QDir::home().filePath("app.db");
//   Zem_Start_Result started = Zem_Pack_Start(options);
//   if (!started.ok) QMessageBox::warning(nullptr, "app", started.failed.join('\n'));
//
// It does, in this order, what a host otherwise does by hand (each step stays callable on its own):
//
//   STEP                          WHAT IT IS FOR                          WITHOUT IT
//   TARVOK_DLL_PATH               the folder of kdm_pub_ptr.so and the    the package looks beside itself
//     (library_dir)               driver libraries                        and says so on the console; a
//                                                                         wrong folder: no driver loads
//   Initialize()                  enters the package's units; Finalize    nothing an application sees:
//                                 leaves them (the last exit frees the    the units' static texts stay
//                                 tree view's static texts)               until the process ends
//   Init_Tfa()                    the framework's managers (registry,     the first control (other than a
//                                 log, parameters, session pool,          status bar) does it; until then
//                                 dictionary lists) and the in-process    a dictionary served in-process
//                                 server's functions                      (DICT_KIND_NET) cannot load
//   "app_home_path" (home_path)   the folder of the dictionary caches     no file cache: DICT_KIND_DB
//                                                                         dictionaries load from the
//                                                                         database at every start
//   Zem_Host_Register_Defaults()  the default dialogs behind the host     the actions that call them do
//     (host_defaults)             functions (host/zem_host.h)             nothing: the grid's find, filter
//                                                                         and save to file, the combo
//                                                                         box's choice, the calendars; a
//                                                                         save's conflict goes unanswered;
//                                                                         a call waiting on the server
//                                                                         freezes the window, with no box
//                                                                         and no 取消
//   Add_Config (database)         the pool's sessions, the database       the first statement fails with
//                                 tried once here                         999 ("cant get db connection")
//
// Each step that fails is named in the result's failed list and written to the framework log
// ("zem_pack start: ..."); the steps after it still run. ok is true when nothing failed.
#pragma once

#include <QString>
#include <QStringList>

struct Zem_Start_Options {
  // The folder of kdm_pub_ptr.so and the driver libraries. Empty: TARVOK_DLL_PATH as the environment
  // has it, or, when it is unset, the folder of libzem_pack.so.
  QString library_dir;
  // The application home path (the public parameter "app_home_path"), made when missing. Empty: not set.
  QString home_path;
  // A SQLite database file (made when missing, with its folder), or a PostgreSQL connection string ("host=... dbname=..."
  // or "postgresql://..."). Empty: no session is configured.
  QString database;
  // Pooled sessions of that database: as many as threads use it at once.
  int sessions = 1;
  // The host module's default dialogs for the host functions.
  bool host_defaults = true;
};

struct Zem_Start_Result {
  bool ok = false;           // every step asked for came up
  QStringList failed;        // one line per step that did not, in the order of the steps
  QString library_dir;       // the folder TARVOK_DLL_PATH names ("" when unset)
  bool shared_registry = false;  // bound to kdm_pub_ptr.so, so every module shares the managers
  int host_functions = 0;    // default host functions registered
  QString driver;            // the driver library of the database ("" without one)
};

// Starts the package for an application (see the table above). Call it once, on the GUI thread, after
// the QApplication is made and before controls or worker threads use the package.
Zem_Start_Result Zem_Pack_Start(const Zem_Start_Options& options = Zem_Start_Options());
