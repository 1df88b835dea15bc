// The demo's main window: built from the Designer form zem_demo.ui, with the sample tables in a
// TStringGrid and the database's facts on the MStatusBar.
#pragma once

#include <QObject>
#include <QMainWindow>
#include <QPointer>

class QListWidget;
class QLabel;
class MStatusBar;
class TStringGrid;
class DemoDb;

class DemoWindow : public QObject {
  Q_OBJECT
 public:
  // db is not owned and must outlive the window.
  explicit DemoWindow(DemoDb* db, QObject* parent = nullptr);
  ~DemoWindow() override;

  // The form's main window; null when the form did not load (error() says why).
  QMainWindow* window() const { return window_; }
  QString error() const { return error_; }
  // Shows the table at index of DemoDb::tables() in the grid.
  void showTable(int index);
  // Refreshes the status bar panels (database, row counts, versions).
  void refreshStatus();

 private:
  void connectActions();
  void note(const QString& text);

  DemoDb* db_;
  QPointer<QMainWindow> window_;  // owned (deleted with this object)
  QListWidget* tables_ = nullptr;
  QLabel* caption_ = nullptr;
  MStatusBar* status_ = nullptr;
  TStringGrid* grid_ = nullptr;
  QString error_;
};
