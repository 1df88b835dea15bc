// TSQLCA: the query area through which all code runs SQL. It owns up to nine result areas (each a
// DBDataMgr), one of them current; Exec takes a session (the explicit one, or one from the pool
// "mts_mgr"), runs the statement through the driver, and leaves sqlcode, message and rows in the
// current area. Field, row, cursor and value operations work on the current area (area 0 is
// selected first when none is).
//
// Result codes: 0 success; 999 no session ("cant get db connection") or no link to the server ("cant
// link to db server"); anything else is the driver's (the database's own code and message). Every
// failure also has a sentence for the user (Get_User_Msg, core/data/db_errors.h): what happened and
// what became of the work, in the user's language; the technical text is logged with the statement.
//
// Each call (Exec, Batch_Insert) has one deadline for all of its round trips: the public parameter
// "db_statement_timeout" (seconds, default 30), or the area's own (Set_Statement_Timeout) for a long
// report. On the user-interface thread the wait shows the host's wait box after 500 ms, and its 取消
// stops the call as the deadline would (core/data/db_connect.h).
//
// Values put into statement texts (sequence names) are quoted with Sql_Quote: a single quote is
// doubled, so a name holding one neither breaks the statement nor adds SQL to it.
#pragma once
#include <string>
#include <thread>
#include <vector>
#include "core/data/dbdata.h"
#include "core/data/sql_param.h"
#include "core/text/map_str.h"

class TDb_Connect;
class TRow_Track;
struct TSave_Options;
struct TSave_Result;

class TSQLCA {
 public:
  enum { AREA_COUNT = 9, MANY_ROWS = 10000, SEQ_NAME_MAX = 60 };

  TSQLCA();
  virtual ~TSQLCA();
  TSQLCA(const TSQLCA&) = delete;
  TSQLCA& operator=(const TSQLCA&) = delete;

  // ---- areas
  // 0 <= n <= 8: creates the area on first use, makes it current, returns 1; else 0 (nothing changes).
  int SelectArea(int n);
  int Cur_Area() const { return cur_; }
  // The current area's data set (area 0 is selected first when none is). Owned by this query area.
  DBDataMgr* Data();
  // The data set of area n, or null when n is out of range or the area was never selected.
  DBDataMgr* Area_Data(int n) const;
  // Releases every area and its data set.
  int Free_Area();

  // ---- statements
  // Runs one statement in the current area; returns its sqlcode.
  int Exec(map_wchar sql);
  // Runs one statement whose placeholders ("?" in order, or "$1", "$2"...; core/data/db_stmt.h) take
  // the parameters, bound by position and handed to the driver beside the text (core/data/sql_param.h):
  //   q.Exec(u"update vouchers set summary = ? where voucher_no = ?", {summary, no});
  // A count of placeholders other than the count of parameters, a bad value (a decimal that is not a
  // number, a date that does not exist) or a driver without bound parameters fails with -1 before
  // anything is sent. The statement log shows the parameters after the text.
  int Exec(map_wchar sql, const TSql_Params& params);
  // A read: Exec for a statement that only reads (select, values, with ... select). A statement that
  // writes is refused with -1 and not run, so a Select never changes the database.
  int Select(map_wchar sql);
  int Select(map_wchar sql, const TSql_Params& params);
  int Commit() { return Exec(u"commit"); }
  int Rollback() { return Exec(u"rollback"); }
  // Inserts the current area's rows into the table named by its table_name (field names as columns).
  int Batch_Insert();

  // ---- change tracking of the current area (core/data/row_track.h) and saving it back
  // (core/data/save_changes.h). Tracking starts on the area's rows as they are (just loaded); a later
  // Exec, Select or CFree in the area ends it.
  //   table          the table the rows came from
  //   key_fields     comma-separated fields that name a row of the table ("voucher_no")
  //   version_field  a row version field of the table, counted up by every save ("" when none)
  //   columns        comma-separated fields that are columns of the table ("": every field)
  // 1, or 0 with the reason as the area's message (sqlcode -1) when a name is not a field.
  int Track_Changes(map_wchar table, map_wchar key_fields, map_wchar version_field = u"",
                    map_wchar columns = u"");
  int Tracking() { return Tracker() != nullptr; }
  // The current area's tracker, null when it is not tracked.
  TRow_Track* Tracker();
  enum { ROW_UNCHANGED = 0, ROW_CHANGED = 1, ROW_ADDED = 2 };
  // The row's state since the load (ROW_UNCHANGED for an area not tracked).
  int Row_State(int row);
  // 1 when the row's field differs from its value as loaded (every field of an added row).
  int Field_Changed(int row, int field);
  // The row's field as loaded ("" for an added row, a field that is no column, an area not tracked).
  const wchar16* Get_Orig_Value(int row, int field);
  // 1 when rows were changed, added or deleted since the load.
  int Has_Changes();
  // The rows deleted since the load, and their values as loaded by field name.
  int Deleted_Count();
  const wchar16* Get_Deleted_Value(int i, map_wchar field);
  // The row whose key fields hold these values (in key_fields order), -1 when none.
  int Find_Key(const std::vector<std::u16string>& key);
  int Find_Key(map_wchar key) { return Find_Key(std::vector<std::u16string>{key.c_str()}); }
  // The rows as they are become the loaded ones.
  int Accept_Changes();
  // Takes in a new read of the table (fresh: the same columns), keeping what was changed here (see
  // TRow_Track::Merge_Fresh). Returns how many rows it added, altered or removed; -1 when the area is
  // not tracked or fresh lacks a column.
  int Merge_Fresh(TSQLCA* fresh);
  // Writes the changes since the load in one transaction, other clerks' changes never overwritten
  // unasked (core/data/save_changes.h). 0 on success, else the code with the message in the area.
  int Save_Changes(const TSave_Options* options = nullptr, TSave_Result* result = nullptr);

  // ---- sequences (table app_sequence, columns seq_name and seq_val)
  // The next value of the sequence (created at 1 on first use). 1, or 0 with *value 0.
  int Get_Sequence_Id(const char* name, int* value);
  // The current value (created at 1 when missing). 1, or 0 with *value 0.
  int Get_Sequence_Cur(const char* name, int* value);
  // Sets the value (creates the sequence when missing). 1 or 0.
  int Set_Sequence(const char* name, int value);

  // The bound of this area's calls in seconds: 0 (the default) "db_statement_timeout", negative none.
  void Set_Statement_Timeout(int seconds) { timeout_s_ = seconds; }
  int Statement_Timeout() const { return timeout_s_; }

  // ---- the session used
  // An explicit session (not owned; null goes back to the pool).
  void Set_Connect(TDb_Connect* c) { explicit_ = c; }
  TDb_Connect* Get_Connect() const { return explicit_ ? explicit_ : used_; }

  // ---- per-area results
  int Get_Sqlcode() const { return cur_ < 0 ? 0 : res_[cur_].sqlcode; }
  const wchar16* Get_Error_Msg() const;  // "" when none
  const wchar16* Get_Error_Sql() const;  // the last statement of the area, "" when none
  // The failure of the area's last call as its user is told it (core/data/db_errors.h); "" when the
  // call succeeded or the message was set by Set_Error/Set_Error_Msg rather than by a call.
  const wchar16* Get_User_Msg() const;
  int Get_Result_Int() const { return cur_ < 0 ? 0 : res_[cur_].result; }  // rows the driver changed
  // Sets the current area's result: sqlcode and message, in the area and in its data set.
  int Set_Error(int code, map_wchar msg);
  // Replace the current area's copies; an empty text stores none.
  int Set_Error_Msg(map_wchar msg);
  int Set_Error_Sql(map_wchar sql);

  // ---- the skip-sum column: a hidden text column "skip_sum_flag" added on first use; a marked row is
  // left out of totals by grids.
  int Skip_Sum_Col();                        // its field index (added when missing), -1 on failure
  int Set_Skip_Sum(int row, int skip);       // marks ("1") or clears ("") the row; 1 or 0
  int Get_Skip_Sum(int row);                 // 1 when the row is marked

  // ---- the current area's data set (DBDataMgr operations)
  int Set_Field_Count(int n) { return Data()->Set_Field_Count(n); }
  int Get_Field_Count() { return Data()->Get_Field_Count(); }
  int Get_Row_Count() { return Data()->Get_Row_Count(); }
  int Set_Field_Name(int i, map_wchar name) { return Data()->Set_Field_Name(i, name); }
  int Set_Field_Caption(int i, map_wchar c) { return Data()->Set_Field_Caption(i, c); }
  int Set_Field_Type(int i, char t) { return Data()->Set_Field_Type(i, t); }
  int Set_Field_Size(int i, int v) { return Data()->Set_Field_Size(i, v); }
  int Set_Field_Decsize(int i, int v) { return Data()->Set_Field_Decsize(i, v); }
  int Set_Field_Width(int i, int v) { return Data()->Set_Field_Width(i, v); }
  int Set_Field_Attr(int i, int v) { return Data()->Set_Field_Attr(i, v); }
  const wchar16* Get_Field_Name(int i) { return Data()->Get_Field_Name(i); }
  const wchar16* Get_Field_Caption(int i) { return Data()->Get_Field_Caption(i); }
  char Get_Field_Type(int i) { return Data()->Get_Field_Type(i); }
  int Get_Field_Size(int i) { return Data()->Get_Field_Size(i); }
  int Get_Field_Decsize(int i) { return Data()->Get_Field_Decsize(i); }
  int Get_Field_Width(int i) { return Data()->Get_Field_Width(i); }
  int Get_Field_Attr(int i) { return Data()->Get_Field_Attr(i); }
  int Find_Field(map_wchar name) { return Data()->Find_Field(name); }
  int Insert_Field(int pos, map_wchar name) { return Data()->Insert_Field(pos, name); }
  int Add_Field(map_wchar name) { return Data()->Add_Field(name); }
  int Drop_Field(int i) { return Data()->Drop_Field(i); }
  int Drop_Field(map_wchar name) { return Data()->Drop_Field(name); }

  int Add_Row() { return Data()->Add_Row(); }
  int Insert_Row(int pos) { return Data()->Insert_Row(pos); }
  int Del_Row() { return Data()->Del_Row(); }
  int Swap_Row(int a, int b) { return Data()->Swap_Row(a, b); }
  int First() { return Data()->First(); }
  int Next() { return Data()->Next(); }
  int Has_Next() { return Data()->Has_Next(); }
  int Go_To_Row(int r) { return Data()->Go_To_Row(r); }
  int Get_Cur_Row() { return Data()->Get_Cur_Row(); }

  int Set_Value(int i, map_wchar text) { return Data()->Set_Value(i, text); }
  int Set_Value_With_Len(int i, const wchar16* t, int n) { return Data()->Set_Value_With_Len(i, t, n); }
  const wchar16* Get_Value(int i) { return Data()->Get_Value(i); }
  const char* Get_S_Value(int i) { return Data()->Get_S_Value(i); }
  const wchar16* Get_Row_Value(int row, int i) { return Data()->Get_Row_Value(row, i); }
  // The value of the named field in the current row ("" for an unknown field).
  const wchar16* Get_Value(map_wchar field);

  int Append_Data(DBDataMgr* other) { return Data()->Append_Data(other); }
  int Append_Data(TSQLCA* other) { return other ? Data()->Append_Data(other->Data()) : 0; }
  int Clear_Data() { return Data()->Clear_Data(); }
  int CFree();
  int Set_Table_Name(map_wchar n) { return Data()->Set_Table_Name(n); }
  const wchar16* Get_Table_Name() { return Data()->Get_Table_Name(); }

  int Set_Sort_Key(int f, int desc, int mode = -1) { return Data()->Set_Sort_Key(f, desc, mode); }
  int Add_Sort_Key(int f, int desc, int mode = -1) { return Data()->Add_Sort_Key(f, desc, mode); }
  int Sort() { return Data()->Sort(); }
  int Seek(map_wchar key) { return Data()->Seek(key); }
  int Find_First(DBDataMgr_Find_List* c) { return Data()->Find_First(c); }
  int Find_Next(DBDataMgr_Find_List* c) { return Data()->Find_Next(c); }
  int Find_First(int f, const wchar16* v) { return Data()->Find_First(f, v); }
  int Find_Next(int f, const wchar16* v) { return Data()->Find_Next(f, v); }

  // Statement tracing (step 1 of Exec): when on, every statement is written to the framework log
  // before it runs. One switch for all query areas of this module.
  static void Set_Trace(int on);

 protected:
  // The session for the next statement: the explicit one, else the pool's for this thread.
  TDb_Connect* Take_Connect();
  // Exchanges the current area's data set and results with other's current area (one selected first
  // where none is), without copying a row.
  void Swap_Area_Data(TSQLCA& other);

 private:
  struct Area_Result {
    int sqlcode = 0;
    std::u16string msg;  // error message
    std::u16string sql;  // the last statement run in this area
    int result = 0;      // the driver's further result (rows changed)
    std::u16string user; // the user's sentence for a failed call
  };
  // Copies the outcome of a call from the current data set into the area (the user's sentence too).
  void Take_Outcome(TDb_Connect* conn);
  void Refresh_From_Data();
  int Run(map_wchar sql, const TSql_Params* params);
  void End_Tracking();
  int Refuse(const std::u16string& sql, const std::string& why);
  int Fail_No_Connect(const wchar16* sql, const char* what, const char* console_what);
  int Sequence_Step(const char* name, int set_value, int mode, int* value);

  std::thread::id owner_;                         // the creating thread
  DBDataMgr* areas_[AREA_COUNT] = {};             // owned
  int cur_ = -1;                                  // current area, -1 before the first selection
  DBDataMgr* cur_data_ = nullptr;                 // areas_[cur_]
  Area_Result res_[AREA_COUNT];
  TRow_Track* track_[AREA_COUNT] = {};            // owned; per tracked area
  TDb_Connect* explicit_ = nullptr;               // not owned
  TDb_Connect* used_ = nullptr;                   // the session of the last statement (pool's)
  int timeout_s_ = 0;                             // Set_Statement_Timeout
};

// A text for a '...' literal in a statement: every single quote doubled.
std::string Sql_Quote(const char* text);
std::u16string Sql_Quote(const wchar16* text);

// The table name Exec takes from a statement: the text after the first " into ", else " update ",
// else " from " (case-sensitive), leading blanks, tabs and line breaks skipped, then up to 60
// characters of A-Z, a-z, 0-9, '_' and '.'; upper-cased. "" when none.
std::u16string Sql_Table_Name(const wchar16* sql);

// How parameter packs carry query areas (Put_Sqlca_Para / Get_Sqlca_Para, and the data set in their
// XML form): the packed data set of the current area, its reading back, and its XML element. Packs
// hold these from the moment the library is loaded (Para_Dbio_Hooks); Sqlca_Set_Para_Hooks puts them
// back after a host replaced them. Returns 1.
void* Sqlca_Para_Pack(TSQLCA* sqlca, int* len);
int Sqlca_Para_Unpack(TSQLCA* sqlca, const void* data, int len);
int Sqlca_Para_Xml(const void* data, int len, const char* elem, std::string* out);
int Sqlca_Set_Para_Hooks();
