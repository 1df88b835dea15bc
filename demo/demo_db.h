// The demo's sample database: where it lives, how it is opened, what it holds.
//
// The database is a SQLite file "zem_demo.db" in the application home path (the public parameter
// "app_home_path"; ~/.local/share/zem_demo unless the host set it), created with its sample tables on
// first start. A PostgreSQL connection string given instead switches the demo to that server (the tables
// are created there the same way when missing).
#pragma once

#include <QString>
#include <QStringList>

class TSQLCA;

struct DemoTable {
  QString name;      // table name in SQL
  QString caption;   // what the window calls it
};

class DemoDb {
 public:
  // home: folder of the SQLite file (created when missing); pg: a libpq connection string, or empty
  // for SQLite. 1 on success, 0 with error() set.
  int open(const QString& home, const QString& pg);
  // Creates the sample tables and rows when the database has none. 1 when they exist afterwards.
  int ensureSample();
  // Makes the window follow other writers: the change log and its triggers when the database lacks
  // them (dict/dict_change.h), the vouchers table watched as "vouchers", and the following started
  // (Dict_Notify). 1, or 0 with error() set.
  int followChanges();

  QString location() const { return location_; }  // the file, or the server's connection string
  QString error() const { return error_; }
  QString engineVersion();                          // e.g. "SQLite 3.40.1"
  // Rows of a table; -1 when it cannot be read.
  int rowCount(const QString& table);
  // Runs a select into q (its current area). Its sqlcode.
  int select(TSQLCA& q, const QString& sql);

  // The tables the window shows, in order.
  static QList<DemoTable> tables();
  // The caption of a column of the sample tables (the column name when it has none).
  static QString columnCaption(const QString& column);

 private:
  int exec(TSQLCA& q, const QString& sql);
  bool pg_ = false;
  QString location_;
  QString error_;
};
