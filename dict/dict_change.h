// Changes of master data made by any writer (a program of the package, another application, psql),
// recorded by the database itself so that every client learns of them (dict/dict_notify.h).
//
// Tables (made when missing):
//   app_dict_change(change_id, dict_id)   one row per change: a rising number (integer primary key on
//                                         SQLite, bigserial on PostgreSQL) and the changed id
//   app_dict_watch(table_name, dict_id)   the tables a dictionary's SQL reads, named by the host
//                                         (Dict_Watch_Table), with the ids their changes touch
// Triggers, on app_dict_def and app_dict_sql (the dict_id of every row written, old and new) and on each
// table of app_dict_watch (the ids listed for it): insert into app_dict_change and, on PostgreSQL, send
// the package's change notice on the channel "zem_dict" of the table's schema, payload
// "<change_id> sql <dict_id>" (the sender "sql": no process of the package, so every process, the
// writer's own included, reads the change). On PostgreSQL the triggers run once per statement (a
// dictionary of 10,000 rows written in one statement is one change); on SQLite once per row.
//
// The ids need not be dictionaries: a host may watch any table under an id of its own (the demo watches
// its vouchers) and follow it through TDict_Notify's observers.
//
// Clients that cannot have notices (SQLite; a server that refuses LISTEN) read app_dict_change
// periodically (TDict_Notify's polling), so another process's change is seen without a notice.
#pragma once
#include <string>
#include <vector>

class TSQLCA;

// Makes the two tables, the trigger function (PostgreSQL) and the triggers on app_dict_def,
// app_dict_sql (each when the table exists) and every watched table, on q's session; running it again
// renews them. For databases made before the triggers existed; Dict_Create_Def_Tables calls it. Not
// committed: the caller commits. 0, or the sqlcode of the statement that failed (message in q).
int Dict_Create_Change_Triggers(TSQLCA* q);

// Records that changes of table touch the ids (comma-separated) and makes its triggers (the tables and
// the function are made when missing). Not committed. 0, or the failing statement's sqlcode.
int Dict_Watch_Table(TSQLCA* q, const char* table, const char* ids);

// One change read back from app_dict_change.
struct Dict_Change_Row {
  long long change_id;
  std::string dict_id;
};
// The changes with numbers above after, in their order (at most limit of them). 1, or 0 when the table
// cannot be read (message in q).
int Dict_Read_Changes(TSQLCA* q, long long after, int limit, std::vector<Dict_Change_Row>* out);
// The highest change number (0 for none). 1, or 0 when the table cannot be read.
int Dict_Last_Change(TSQLCA* q, long long* last);
// Deletes all but the last keep changes. 1, or 0 when refused (message in q).
int Dict_Prune_Changes(TSQLCA* q, long long keep);
