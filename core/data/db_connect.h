// Database sessions and the driver library interface.
//
// A driver library (zem_drv_sqlite.so, zem_drv_pg.so, or any library with the same entry points) is
// loaded at run time by file name through T_Dll and called through nine C entry points. It never
// links the data set: it reads and fills data sets only through the data-operation table below, which
// the loading module hands it once after loading. TDb_Connect is one session over such a library;
// TDb_Connect_Mgr ("mts_mgr") is the process-wide pool that binds sessions to threads.
//
// Driver entry points (C linkage; looked up as "_Name" first, then "Name"):
//
//   entry                  arguments                                         result
//   _Set_Data_Oper_Handle  table                                             1
//   _Connect_Handle        ds, kind, text1..text4 (wide, may be ""), option  1 connected, 0 failed;
//                                                                            the session handle goes
//                                                                            into ds tag 0 (slot 10)
//   _Disconnect_Handle     ds                                                1 / 0
//   _Commit_Handle         ds                                                1 / 0
//   _Rollback_Handle       ds                                                1 / 0
//   _ExecuteSql_Handle     ds, sql                                           1 / 0
//   _ExecuteProc_Handle    ds, call text                                     1 / 0
//   _SelectRow_Handle      ds, sql, first row (0-based), at most n rows      1 / 0
//   _BatchInsert_Handle    ds (rows, field names, table_name = target)       1 / 0
//
// Every call after connecting finds the session handle in tag 0 of ds. The statement entries replace
// what ds held by their result (the session tag stays); _BatchInsert_Handle reads the rows and leaves
// them. Outcomes are written into ds:
// rows and fields through the table, sqlcode/sqlmsg through Set_Error (the database's own code and
// message; 0 and "" on success), and the number of rows a statement changed in tag 1 (the "further
// result" that the query area copies; for a batch insert the rows it kept, 0 when it failed). A driver
// opens a transaction for the statements since the last commit or rollback; the statement texts
// "commit" and "rollback" end it as well.
//
// Optional entry (no message when missing): _File_Db_Handle() returns 1 when the database is a local
// file, which cannot do what only a server does (the maintenance statements below).
//
// Optional entry for bound parameters (no message when missing):
//   _ExecuteSql_Params_Handle  ds, sql, count, values, kinds                   1 / 0
// runs one statement whose placeholders ("?" or "$n", core/data/db_stmt.h) take the count values:
// values[i] is the text of parameter i+1 (null for NULL), kinds[i] its kind letter ('S' text, 'I'
// integer, 'F' decimal, 'D' date, as core/data/sql_param.h). The values reach the database as
// parameters of the statement (never as part of its text); the outcome is written as for
// _ExecuteSql_Handle. A text of several statements is refused.
//
// One deadline per call. Tag 2 of ds carries the bound in ms of the whole call (every round trip of
// it: savepoints, the statement, every row of a batch, the undo; 0: the driver's default, negative:
// none). The session sets it before every call from two public parameters (pub_para_mgr), read at
// each call so that the host may change them at any time, or from the query area's own bound
// (TSQLCA::Set_Statement_Timeout, for a long report):
//   "db_statement_timeout"  seconds a call may wait for the server; default 30, 0 or less for no
//                           bound. On expiry the driver cancels the statement on the server, undoes
//                           the call's work (back to where the call began) and reports a timeout; a
//                           server that does not even answer the cancel loses the session (reported
//                           as a lost connection). Nothing half-written is committed either way.
//   "db_connect_timeout"    seconds a connection attempt may take, name look-up included, when the
//                           connection text sets none (PostgreSQL: connect_timeout); default 10.
// Tag 3 is the driver's answer on how the call ended when it was stopped (DB_END_*).
//
// Waiting. Drivers wait through the waiting function of frame/wait.h, handed over by the optional
// entry _Set_Wait_Handle(Zem_Wait_Fn) when the library is loaded: on the host's user-interface thread
// its event loop runs while the call waits and after 500 ms the box "正在等待数据库…" (host function
// "gui_wait_box") with 取消 shows; 取消 stops the call as its deadline would, at once (DB_END_CANCELLED).
// A call made on a session while an outer call of the same thread still waits on it (a timer or a
// paint handled in the wait's event loop) is refused at once with DB_SESSION_BUSY.
//
// Lost connections. A driver reports one with a message holding "ConnectionWrite" (or "连接失败"),
// with code 8007 when work of earlier calls not yet committed went with it (8006 otherwise). Whatever
// the call was, the session disconnects; its next call connects again first. A statement call that
// found its connection lost before it ran anything on it (DB_END_LOST_IDLE: the server restarted while
// the session was idle, no transaction open) is run once more on a fresh connection within its
// deadline, so nobody sees a failure once the server is back. After a loss with code 8007 the
// session's next commit fails with that news instead of committing an empty transaction, and rolls
// back the statements run since (a part of the lost unit of work); a rollback clears it, also one that
// itself meets the lost connection. A commit or rollback on a session that is not connected has
// nothing to end: it succeeds without connecting (the commit refusal above aside).
//
// Unreachable servers. A failed connection attempt starts a back-off for that server (driver and
// text1), shared by every session of the process: until the next try every connect fails at once
// (under a millisecond, "连接失败: ... next try in N s"), the pause doubling from 1 s to 30 s. The
// log and the host function "gui_status_text" say "数据库连接中断，N 秒后重试", and
// "数据库连接已恢复" once a connection succeeds again.
//
// Connection configuration (TDb_Config), filled by hosts and tests:
//   driver   library file: a base name ("zem_drv_sqlite", found as "%s/%s.so" under TARVOK_DLL_PATH)
//            or a path holding '/', loaded as given
//   kind     driver kind, passed to _Connect_Handle (the bundled drivers ignore it)
//   text[4]  connection texts: SQLite text1 = database file (created when missing);
//            PostgreSQL text1 = libpq connection string; text2..4 unused by both (may be empty)
//   option   integer option passed to _Connect_Handle (unused by the bundled drivers)
//   group    pool group name ("" matches a null group only through Get_Session(nullptr))
//   log_path statement log file (UTF-16LE with BOM); empty logs to the framework log
//   log_mode 2 logs every statement; otherwise only failing ones
//   count    number of pooled sessions to create from this configuration
// The same configuration reads from "key=value" lines (Parse_Text), e.g. a host's config file:
//   driver=zem_drv_pg
//   text1=host=127.0.0.1 port=5432 dbname=app
//   group=main
//   count=2
#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "core/text/map_str.h"
#include "frame/t_dll.h"
#include "frame/wait.h"

class DBDataMgr;
class TSQLCA;

// Codes of lost connections: nothing uncommitted lost, and work since the last commit lost with it.
enum { DB_LOST_CONNECTION = 8006, DB_LOST_TRANSACTION = 8007 };
// A call refused because an outer call of the same thread waits on the session.
enum { DB_SESSION_BUSY = 8010 };
// How a call was stopped (tag 3): not; by its deadline; by the user's 取消; the connection was found
// lost before the call ran anything on it, with no earlier work open (it may run again).
enum { DB_END_NONE = 0, DB_END_TIMEOUT = 1, DB_END_CANCELLED = 2, DB_END_LOST_IDLE = 3 };
// Whether a driver message tells of a lost connection ("ConnectionWrite" or "连接失败").
bool Db_Lost_Message(const wchar16* msg);
// The bounds of the public parameters above, in ms as tag 2 carries them.
int Db_Statement_Timeout_Ms();
int Db_Connect_Timeout_Ms();

// The data-operation table: 27 slots, the data set (opaque to the driver) always first.
struct TDb_Data_Oper {
  int (*Reset_Result)(void* ds);                                   // 0  sqlcode 0, sqlmsg "", tags 0
  int (*CFree)(void* ds);                                          // 1
  int (*Set_Error)(void* ds, int code, const wchar16* msg);        // 2
  int (*Set_Table_Name)(void* ds, const wchar16* name);            // 3
  int (*Set_Field_Name)(void* ds, int i, const wchar16* name);     // 4
  int (*Set_Field_Type)(void* ds, int i, char type);               // 5
  int (*Set_Field_Size)(void* ds, int i, int size);                // 6
  int (*Set_Field_Decsize)(void* ds, int i, int decsize);          // 7
  int (*Set_Field_Count)(void* ds, int n);                         // 8
  int (*Nop)(void* ds);                                            // 9  returns 1
  int (*Set_Tag)(void* ds, int which, int value);                  // 10 driver tag (0 session, 1 result)
  int (*Set_Value)(void* ds, int i, const wchar16* text);          // 11
  int (*Set_Value_With_Len)(void* ds, int i, const wchar16* text, int n);  // 12
  const wchar16* (*Get_Table_Name)(void* ds);                      // 13
  const wchar16* (*Get_Field_Name)(void* ds, int i);               // 14
  char (*Get_Field_Type)(void* ds, int i);                         // 15
  int (*Get_Field_Size)(void* ds, int i);                          // 16
  int (*Get_Field_Decsize)(void* ds, int i);                       // 17
  int (*Get_Field_Count)(void* ds);                                // 18
  int (*Get_Row_Count)(void* ds);                                  // 19
  int (*Get_Tag)(void* ds, int which);                             // 20
  const wchar16* (*Get_Value)(void* ds, int i);                    // 21 current row
  int (*Add_Row)(void* ds);                                        // 22
  int (*Has_Next)(void* ds);                                       // 23
  int (*Next)(void* ds);                                           // 24
  int (*First)(void* ds);                                          // 25
  int (*Go_To_Row)(void* ds, int row);                             // 26
};
static_assert(sizeof(TDb_Data_Oper) == 27 * sizeof(void*), "the table has exactly 27 slots");

// This module's table (its functions work on this module's DBDataMgr).
const TDb_Data_Oper* Db_Data_Oper_Table();

// The entry point types of a driver library.
extern "C" {
typedef int (*Db_Set_Data_Oper_Fn)(const TDb_Data_Oper* table);
typedef int (*Db_Connect_Fn)(void* ds, int kind, const wchar16* t1, const wchar16* t2,
                             const wchar16* t3, const wchar16* t4, int option);
typedef int (*Db_Session_Fn)(void* ds);  // disconnect, commit, rollback, batch insert
typedef int (*Db_Execute_Fn)(void* ds, const wchar16* sql);
typedef int (*Db_Select_Row_Fn)(void* ds, const wchar16* sql, int first_row, int max_rows);
// Optional entries for change notices between sessions (see TDb_Connect::Listen).
typedef int (*Db_Listen_Fn)(void* ds, const wchar16* channel);
typedef int (*Db_Notify_Fn)(void* ds, const wchar16* channel, const wchar16* payload);
typedef int (*Db_Wait_Notify_Fn)(void* ds, int timeout_ms);
typedef int (*Db_File_Db_Fn)();
typedef int (*Db_Execute_Params_Fn)(void* ds, const wchar16* sql, int count, const wchar16* const* values,
                                    const char* kinds);
// Optional entry: the waiting function of the loading module (frame/wait.h).
typedef int (*Db_Set_Wait_Fn)(Zem_Wait_Fn wait);
}

// What a session is made from (see the header comment).
struct TDb_Config {
  std::string driver = "zem_drv_sqlite";
  int kind = 0;
  std::u16string text[4];
  int option = 0;
  std::string group;
  std::string log_path;
  int log_mode = 0;
  int count = 1;

  // Reads "key=value" lines (keys driver, kind, text1..text4, option, group, log_path, log_mode,
  // count; '#' starts a comment line; values are UTF-8). Unknown keys are refused: 0 with *error set.
  int Parse_Text(const char* text, std::string* error = nullptr);
};

class TDb_Connect {
 public:
  TDb_Connect() = default;
  ~TDb_Connect();  // disconnects
  TDb_Connect(const TDb_Connect&) = delete;
  TDb_Connect& operator=(const TDb_Connect&) = delete;

  // Loads the driver library and resolves its entry points ("no define handle in %s: _Name\n" for
  // each missing one); hands it this module's data-operation table. 1, or 0 with "unable to load dll".
  int Load_Driver(const char* file);
  // Loads the configuration's driver and keeps its texts, group and log settings. 1 or 0.
  int Set_Config(const TDb_Config& cfg);

  // Session operations. ds may be null (a temporary data set is used). 1 on success, 0 on failure
  // (the driver's code and message are in ds); a missing entry prints "_Name_Handle is NULL\n".
  int Connect(DBDataMgr* ds = nullptr);
  int Disconnect(DBDataMgr* ds = nullptr);
  int Commit(DBDataMgr* ds = nullptr);
  int Rollback(DBDataMgr* ds = nullptr);
  int Execute_Sql(DBDataMgr* ds, map_wchar sql);
  // One statement with bound parameters (the optional entry above). Without the entry: 0 and "the driver
  // <file> takes no bound parameters" in ds (the values are never put into the text instead).
  int Execute_Sql_Params(DBDataMgr* ds, map_wchar sql, int count, const wchar16* const* values,
                         const char* kinds);
  int Has_Params() const { return execute_params_ != nullptr; }
  int Execute_Proc(DBDataMgr* ds, map_wchar call);
  int Select_Row(DBDataMgr* ds, map_wchar sql, int first_row, int max_rows);
  int Batch_Insert(DBDataMgr* ds);

  // Writes one statement-log entry: to the log file (UTF-16, a time-stamp line, the text, a closing
  // line, under the process-wide lock) or, without a file, to the framework log.
  void Log_Text(map_wchar text);

  // ---- maintenance statements (db_maint.cpp). Each runs through a query area on this session
  // (TSQLCA::Exec) and returns its sqlcode; out (may be null) receives the outcome: code, message and,
  // for a dump, the rows. Names and conditions go into the statements as given.
  // 1 when the database is a local file (the driver's _File_Db_Handle), else 0.
  int Is_File_Db();
  // Copies a table into a new one: "select * into %s from %s %s" (cond may be empty). A file database
  // answers -1 "disk storage not support".
  int Copy_Table(map_wchar to, map_wchar from, map_wchar cond, TSQLCA* out = nullptr);
  // Adds a column: "ALTER TABLE %s ADD %s %s".
  int Add_Column(map_wchar table, map_wchar column, map_wchar type, TSQLCA* out = nullptr);
  // Builds an index afresh: "drop index if exists %s", then "create index %s on %s(%s)".
  int Rebuild_Index(map_wchar index, map_wchar table, map_wchar columns, TSQLCA* out = nullptr);
  // Writes every row of the table ("select * from %s") to the file as one packed data set (the form of
  // core/data/dbdata.h), through a temporary file of its own renamed into place. The file is written
  // whole or not at all; -1 with the system's reason when it cannot be.
  int Dump_Table(map_wchar table, const char* file, TSQLCA* out = nullptr);
  // Inserts the rows of such a file into the table (a batch insert, not committed). A file that is not
  // a whole packed data set is refused with -1 and nothing is inserted.
  int Load_Dump(const char* file, map_wchar table, TSQLCA* out = nullptr);

  // A second session to the same database (same driver, texts, kind, option and log settings), made
  // on first request, owned by this session and connected when needed: for work that must commit on
  // its own whatever this session's transaction holds, such as numbering and creating tables, so that
  // no lock of it waits for this session's commit. Used by the thread that holds this session, as the
  // session itself is. Null (the driver's reason in the log) when it cannot connect.
  TDb_Connect* Side_Session();

  // The bound in ms of the next calls of this session (0: "db_statement_timeout", negative: none).
  // A query area sets it around each call from its own bound.
  void Set_Call_Bound(int ms) { call_bound_ms_ = ms; }
  int Call_Bound() const { return call_bound_ms_; }
  // Milliseconds until this session's server may be tried again after failed connection attempts
  // (0: now).
  int Retry_In_Ms() const;
  // 1 while a call of this session waits for its server (an outer call of the same thread).
  int Busy() const { return busy_; }

  int Connected() const { return connected_; }
  int Session() const { return session_; }
  int Kind() const { return kind_; }
  const std::string& Group() const { return group_; }
  void Set_Group(const char* g) { group_ = g ? g : ""; }
  int Log_Mode() const { return log_mode_; }
  void Set_Log_Mode(int m) { log_mode_ = m; }
  const std::string& Log_Path() const { return log_path_; }
  void Set_Log_Path(const char* p) { log_path_ = p ? p : ""; }
  const char* Driver_File() const { return dll_ ? dll_->File_Name() : ""; }

  // The configuration this session was made from (driver: the library file loaded), so that a caller
  // can open a session of its own beside it.
  TDb_Config Config() const;

  // ---- change notices between sessions of one database. A driver may offer three optional entries
  // (zem_drv_pg does; zem_drv_sqlite has none, and its callers keep polling):
  //   _Listen_Handle       ds, channel             the session receives the channel's notices
  //   _Notify_Handle       ds, channel, payload    sends a notice (with the session's transaction:
  //                                                it goes out when that transaction commits)
  //   _Wait_Notify_Handle  ds, timeout_ms          waits up to timeout_ms; ds gets one row per notice
  //                                                (channel, payload, sender_pid); 0 when the
  //                                                connection is lost
  // Each returns 1 or 0 with the driver's error in ds; without the entry, 0 and nothing is logged.
  // A channel is the session's schema's (zem_drv_pg: the current schema): sessions working in
  // different schemas of one database do not hear each other.
  int Has_Notify() const { return listen_ && notify_ && wait_notify_; }
  int Listen(DBDataMgr* ds, map_wchar channel);
  int Notify(DBDataMgr* ds, map_wchar channel, map_wchar payload);
  int Wait_Notify(DBDataMgr* ds, int timeout_ms);

 private:
  friend class TDb_Connect_Mgr;
  // One call of an entry: the busy guard, the deadline, connecting first, the lost connection given
  // up, and a statement whose connection was found lost before it ran retried once (retry).
  template <class Run>
  int Call(DBDataMgr* ds, void* fn, const char* name, bool retry, Run run);
  int Before_Call(DBDataMgr* ds, void* fn, const char* name, long long deadline_ms);
  void Load_Notify_Entries();
  int After_Call(DBDataMgr* ds, int ok);
  int Lost_Work_Refuses_Commit(DBDataMgr* ds);
  std::string Server_Key() const;

  int kind_ = 0;                  // driver kind
  std::u16string text_[4];        // connection texts given to _Connect_Handle
  std::string group_;             // pool group
  int option_ = 0;                // option given to _Connect_Handle
  int connected_ = 0;             // connected flag
  int lost_tx_ = 0;               // uncommitted work went with a lost connection; the next commit says so
  int busy_ = 0;                  // a call of this session waits for its server
  int connecting_ = 0;            // Connect waits for its server
  int call_bound_ms_ = 0;         // Set_Call_Bound
  std::unique_ptr<TDb_Connect> side_;  // Side_Session(), made on first request
  int session_ = 0;               // driver session handle
  int log_mode_ = 0;              // 2: log every statement
  std::string log_path_;          // statement log file; empty: the framework log
  std::thread::id owner_;         // thread holding the session (pool), none when free
  std::thread::id last_owner_;    // the thread that held it last
  T_Dll* dll_ = nullptr;           // the driver library, loaded once per process (not owned)
  Db_Set_Data_Oper_Fn set_oper_ = nullptr;
  Db_Connect_Fn connect_ = nullptr;
  Db_Session_Fn disconnect_ = nullptr;
  Db_Session_Fn commit_ = nullptr;
  Db_Session_Fn rollback_ = nullptr;
  Db_Execute_Fn execute_sql_ = nullptr;
  Db_Execute_Fn execute_proc_ = nullptr;
  Db_Select_Row_Fn select_row_ = nullptr;
  Db_Session_Fn batch_insert_ = nullptr;
  Db_Listen_Fn listen_ = nullptr;            // optional entries (change notices)
  Db_Notify_Fn notify_ = nullptr;
  Db_Wait_Notify_Fn wait_notify_ = nullptr;
  Db_File_Db_Fn file_db_ = nullptr;  // optional
  Db_Execute_Params_Fn execute_params_ = nullptr;  // optional
};

// The back-off of one unreachable server (TDb_Connect_Mgr): failed attempts in a row, and when the
// next may be made.
struct TDb_Backoff {
  int failures = 0;
  long long next_try_ms = 0;  // monotonic clock
  std::string why;            // the last attempt's reason
};

// The pool. Owns its sessions; destroying it disconnects and frees them all.
class TDb_Connect_Mgr {
 public:
  TDb_Connect_Mgr() = default;
  ~TDb_Connect_Mgr();
  TDb_Connect_Mgr(const TDb_Connect_Mgr&) = delete;
  TDb_Connect_Mgr& operator=(const TDb_Connect_Mgr&) = delete;

  // A session for the calling thread: the one of the group it already holds; else a free one it held
  // last; else the first free one of the group. Null (with "Get_Session Fail grp_name %s tot num %d")
  // when none is free. A null group matches every session.
  TDb_Connect* Get_Session(const char* group = nullptr);
  // Gives the calling thread's session back (owner cleared, last owner kept). 1, or 0 when c is not a
  // session of this pool held by the calling thread.
  int Release_Session(TDb_Connect* c);
  // Gives back every session the calling thread holds; returns how many.
  int Release_Thread();

  // Takes ownership of a session. 1, or 0 for null.
  int Add_Connect(TDb_Connect* c);
  // Creates cfg.count sessions (not yet connected). 1, or 0 when the driver cannot be loaded (nothing
  // added).
  int Add_Config(const TDb_Config& cfg);
  // Disconnects and frees every session (none may be in use by another thread).
  void Clear();
  int Count() const;
  // The configuration of the group's first session (of the first session for a null group), without
  // taking it. 1, or 0 when the pool has none.
  int First_Config(const char* group, TDb_Config* cfg) const;

  // The process-wide lock of the statement log files.
  std::mutex& Log_Lock() { return log_lock_; }

  // ---- the back-off of unreachable servers (see the header comment), by server key
  // Milliseconds until the server may be tried again (0: now); *why the last attempt's reason.
  int Backoff_Left_Ms(const std::string& server, std::string* why = nullptr);
  // Records an attempt: a failure lengthens the pause (1 s, 2 s, 4 s ... 30 s) and says so once per
  // attempt; a success after failures says the link is back. counted false: a failure that says
  // nothing of the server (the user cancelled) changes nothing.
  void Note_Connect(const std::string& server, bool ok, const std::string& why, bool counted = true);

 private:
  mutable std::mutex lock_;
  std::mutex log_lock_;
  std::vector<TDb_Connect*> conns_;  // owned
  std::mutex backoff_lock_;
  std::map<std::string, TDb_Backoff> backoff_;
};

// The process-wide pool (found or created under "mts_mgr").
TDb_Connect_Mgr* Db_Connect_Mgr();
TDb_Connect_Mgr* Db_Connect_Mgr(bool* created);
// The shared flag "Db_Net_Thread_Flag" (created as 0): database calls run on the network thread.
int* Db_Net_Thread_Flag();
