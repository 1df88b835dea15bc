// The demo's sample database: where it lives, how it is opened, what it holds.
//
// The database is a SQLite file "zem_demo.db" in the application home path (the public parameter
// "app_home_path"; ~/.local/share/zem_demo unless the host set it), created with its sample tables on
// first start. A PostgreSQL connection string given instead switches the demo to that server (the tables
// are created there the same way when missing).
//
// On an application server (openServer; zem_app_server with the demo's module zem_demo_server.so) the
// demo holds no database credentials: calls go over the middleware link in remote mode, dictionaries
// come from the server (and its change notices), and the demo's reads and writes are the module's calls
// "demo_select", "demo_transact" and "demo_save" (demo/demo_server_module.cpp). The server's database
// must hold the sample already (the demo run once on it directly makes it).
#pragma once

#include <QString>
#include <QStringList>

class TSQLCA;
struct TSave_Options;
struct TSave_Result;

struct DemoTable {
  QString name;      // table name in SQL
  QString caption;   // what the window calls it
};

class DemoDb {
 public:
  // home: folder of the SQLite file (created when missing); pg: a libpq connection string, or empty
  // for SQLite. 1 on success, 0 with error() set.
  int open(const QString& home, const QString& pg);
  // address: where zem_app_server listens; ca: the authority of its certificate ("" for the system's);
  // token: what every call carries; insecure: plain text (loopback only). 1, or 0 with error() set.
  int openServer(const QString& address, const QString& ca, const QString& token, bool insecure);
  bool remote() const { return remote_; }
  // Creates the sample tables and rows when the database has none. 1 when they exist afterwards.
  int ensureSample();
  // Makes the window follow other writers: the change log and its triggers when the database lacks
  // them (dict/dict_change.h), the vouchers table watched as "vouchers", and the following started
  // (Dict_Notify). 1, or 0 with error() set. On a server: the server's following, passed on.
  int followChanges();

  QString location() const { return location_; }  // the file, or the server's connection string
  QString error() const { return error_; }
  QString engineVersion();                          // e.g. "SQLite 3.40.1"
  // Rows of a table; -1 when it cannot be read.
  int rowCount(const QString& table);
  // Runs a select into q (its current area). Its sqlcode.
  int select(TSQLCA& q, const QString& sql);
  // Runs the statements (inserts, updates, selects) in one transaction: all of them or none. q gets the
  // rows of the last one. 0, or the failing statement's code with error() set.
  int transact(TSQLCA& q, const QStringList& sqls);
  // A select whose placeholders take the texts (bound, never put into the statement).
  int select(TSQLCA& q, const QString& sql, const QStringList& params);
  // Saves a tracked area (TSQLCA::Save_Changes with options). On a server the rows as loaded and as
  // they are go there, and the server's module saves them with the same rules, numbering new vouchers
  // itself (demo/demo_voucher_no.h); a row another clerk changed meanwhile is refused there, not asked
  // about. 0, or the code with error() set.
  int saveChanges(TSQLCA* area, const TSave_Options& options, TSave_Result* result);

  // The tables the window shows, in order.
  static QList<DemoTable> tables();
  // The caption of a column of the sample tables (the column name when it has none).
  static QString columnCaption(const QString& column);

 private:
  int exec(TSQLCA& q, const QString& sql);
  bool pg_ = false;
  bool remote_ = false;
  QString engine_;  // what the server's module says of its database
  QString location_;
  QString error_;
};
