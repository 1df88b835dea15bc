// TDict: a code dictionary. A query area whose rows are the entries (code, name, is_group,
// stop_flag, color_val, note_info, order_id for the standard kind; any columns with code first and
// name second for a dictionary defined by its own SQL). The definition comes from the database
// (app_dict_sql, else app_dict_def); rows are indexed by code for Seek_Code.
//
// Threads: a dictionary has two locks of its own. Lock() guards the rows, the index and the definition:
// every lookup, index build and change takes it, briefly, and never across a wait for the database or
// the server. Load_Lock() is held by whoever loads, retries or refreshes the dictionary, across those
// waits; look-ups never take it. A reload builds the rows in an object nobody else sees and swaps them
// in under Lock() (Rebuild), so look-ups go on with the rows held meanwhile, and a reload that fails
// leaves them (the dictionary then says it is stale). A caller that reads rows after a Seek_Code while
// other threads may move the cursor holds Lock() around both.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/data/para.h"
#include "core/data/sqlca.h"
#include "core/text/map_str.h"

// One entry of the separate code index.
struct SQLCA_Row_Index_Stru {
  const wchar16* key;  // the row's code; points into the data set (not owned), valid until a change
  int row;             // row number in the data set
  int hits;            // successful Seek_Code calls that found this entry
};

class TDict : public TSQLCA {
 public:
  enum { INDEX_NONE = 0, INDEX_SORTED = 1, INDEX_SEPARATE = 2 };
  // Field attribute of a parent column that Build_Index made (see there); packed with the rows.
  enum { FIELD_TREE_PARENT = 0x4000 };

  TDict() = default;
  ~TDict() override;

  // Clears the dictionary and defines it: the given SQL, else the app_dict_sql row of dict_id, else
  // the standard rows of app_dict_def. Makes the extended dictionary "%s.ext" when sqlcmd_ext is set.
  // 1 on success; 0 when dict_id is empty or the definition could not be read.
  int SetInfo(const char* dict_id, const char* sqlcmd = nullptr);

  // Loads the rows by the dictionary's SQL (and its extended dictionary's), forces field 0 to 'S'
  // and builds the index; the local version becomes the time stamp. mode is the load mode (0 the
  // normal load). 1, or 0 with the database's message in the area: the dictionary is then empty but
  // marked loaded, and Load_Failed() says so until a load succeeds.
  virtual int Load(int mode = 0);
  // Counts the local version on, defines again (the app_dict_sql row is read again unless the SQL was
  // given to SetInfo, which is then kept with its sort_col) and loads the rows afresh (Rebuild: the
  // rows held serve until the new ones are in, and stay when the reload fails); the local version
  // becomes the time stamp. 1, or 0 when the reload failed (Load_Failed, and Is_Stale when rows stay).
  virtual int Refresh();
  // The reload of Refresh, with prepare (optional) run on the fresh rows before they are swapped in
  // (the client list's user restriction and filter). changes_only: a server dictionary asks only for
  // the changes since the stamp held; the others reload whole either way. 1 or 0 as Refresh.
  int Rebuild(const std::function<void(TDict*)>& prepare, int changes_only);

  // Prepares the tree columns, sorts the rows and builds the code index (see the .cpp for the
  // rules). Returns 1.
  int Build_Index();
  // 1 and the cursor on the first row whose field equals value exactly; 0 when none.
  int Seek_Code(int field, map_wchar value);
  // The codes in field 0 of keys that the dictionary does not hold, each once, in their first order;
  // empty codes are skipped. Call under Lock() when the result must stay true.
  std::vector<std::u16string> Missing_Codes(TSQLCA* keys);
  // 1 when the current row may not be chosen (group, stopped, or excluded by ext_col/ext_col_val).
  int Is_Stop();
  // What Is_Stop says of every row, by row (1 may not be chosen), its fields found once: for a
  // look-up over many rows. Call under Lock().
  std::vector<char> Stop_Rows();

  // Appends an entry (code and name, other fields empty) and rebuilds the index. 1, or 0 when code
  // is empty or the dictionary has fewer than two fields.
  int Add_Code(map_wchar code, map_wchar name);
  // Deletes the entry with this code; a dictionary in load mode 1 drops its cache files and takes the
  // next local version as its time stamp. 1, or 0 when the code is missing.
  int Erase_Code(map_wchar code);

  // Applies a dictionary transfer pack (layout in dict.cpp): the definition fields, the loading SQL
  // ("dict_sql", replacing the old one), "time_stamp" as time stamp and local version, the part-load
  // and file modes, and the rows: with file_mode 0 from the packed sets "data_pack" and
  // "parent_data_pack" (the latter into the extended dictionary "%s.ext", made when missing); with
  // another file_mode from the block-compressed binaries "dtfile" and "pardtfile", passed through
  // the cache directory. Everything is read and checked before anything changes, so a pack that does
  // not unpack leaves the dictionary (rows, definition, stamps, loaded mark) as it was. The loaded
  // mark is the caller's. 1, or 0 for a null or bad pack.
  int Unpack_Dict(TParaMgr* pack);

  // Applies a change set: "time_stamp" (int) becomes the time stamp and the local version; each code
  // (field 0) of the packed set "erase_data_pack" is deleted when held; each row of "modi_data_pack"
  // replaces the values of the entry with its code, or is added. Both sets are read whole before
  // anything changes. 1, or 0 for a null pack or a set that does not unpack (nothing changed).
  int Unpack_Part(TParaMgr* pack);

  // 1 when the rows held are older than the source's: here, when a local change has counted the
  // local version past the time stamp. A server dictionary asks the server.
  virtual int Is_Time_Stamp_Changed();
  // Part-load mode: brings in the rows of the codes (field 0 of keys) not held yet. Here nothing is
  // fetched and 1 is returned; a server dictionary asks the server.
  virtual int Load_Part_Data(TSQLCA* keys);
  // The own up-to-date check of a dictionary in load mode 3, run by Prepare_Dicts. Nothing here; 1.
  virtual int Check_Dict();

  // The name (field 1) of a code, copied under the lock; 1 or 0 when the code is missing.
  int Get_Name(map_wchar code, std::u16string* name);

  std::unique_lock<std::recursive_mutex> Lock() { return std::unique_lock<std::recursive_mutex>(lock_); }
  // The loaders' lock (see the top). wait false: taken only when free (owns_lock() says).
  std::unique_lock<std::recursive_mutex> Load_Lock(bool wait = true) {
    return wait ? std::unique_lock<std::recursive_mutex>(load_lock_)
                : std::unique_lock<std::recursive_mutex>(load_lock_, std::try_to_lock);
  }
  // 1 when the dictionary holds rows (under Lock()).
  int Has_Rows();

  // ---- definition (narrow text, system code page)
  const std::string& Dict_Id() const { return dict_id_; }
  const std::string& Sqlcmd() const { return sqlcmd_; }
  const std::string& Sort_Col() const { return sort_col_; }
  void Set_Sort_Col(const char* s) { sort_col_ = s ? s : ""; }
  const std::string& Parent_Col() const { return parent_col_; }
  const std::string& Idx_Dict() const { return idx_dict_; }
  const std::string& Idx_Col() const { return idx_col_; }
  const std::string& Ext_Col() const { return ext_col_; }
  const std::string& Ext_Col_Val() const { return ext_col_val_; }
  TDict* Ext_Dict() const { return ext_.get(); }  // owned by this dictionary; null when none
  int Is_App_Dict() const { return is_app_dict_; }

  // ---- state
  int Is_Loaded() const { return loaded_; }
  void Set_Loaded(int on) { loaded_ = on ? 1 : 0; }
  // 1 while the rows held are older than the source's because a reload failed; cleared by the next
  // load that succeeds.
  int Is_Stale() const { return stale_; }
  // 1 once the client list finished the dictionary's first load (whatever its outcome): a thread that
  // finds it listed before then waits for that load, having nothing to serve.
  int Ready() const { return ready_; }
  void Set_Ready() { ready_ = 1; }
  // 1 after a load or definition that failed, until one succeeds; Failed_At() is when (steady clock,
  // milliseconds), so the client list retries no more often than it should.
  int Load_Failed() const { return load_failed_; }
  long long Failed_At() const { return failed_at_; }
  void Set_Load_Failed(int on);
  // When the client list last asked whether the rows are current (steady clock, milliseconds).
  long long Checked_At() const { return checked_at_; }
  void Set_Checked_At(long long ms) { checked_at_ = ms; }
  // Clears the dictionary and names it, without reading any definition (a dictionary whose
  // definition comes from the server). 1, or 0 for an empty id.
  int Set_Dict_Id(const char* dict_id);
  int File_Cache() const { return file_cache_; }
  void Set_File_Cache(int on) { file_cache_ = on ? 1 : 0; }
  int Time_Stamp() const { return time_stamp_; }
  void Set_Time_Stamp(int ts) { time_stamp_ = ts; }
  int Local_Version() const { return local_ver_.load(); }
  // Counts a local change: the next local version.
  int Next_Local_Version() { return ++local_ver_; }
  void Set_Local_Version(int v) { local_ver_ = v; }
  // From the last transfer pack: the part-load mode and how the rows travelled (0 packed sets).
  int Part_Load_Mode() const { return part_load_mode_; }
  int File_Mode() const { return file_mode_; }
  int Load_Mode() const { return load_mode_; }
  int Index_Mode() const { return index_mode_; }
  // The index entries (mode 2 only); read under Lock().
  const std::vector<SQLCA_Row_Index_Stru>& Index() const { return index_; }

 protected:
  // The extended dictionary's object: the same kind as this one.
  virtual std::unique_ptr<TDict> New_Ext() { return std::make_unique<TDict>(); }
  // Drops what a cache holds of this dictionary (nothing here).
  virtual void Drop_Cache() {}
  // Runs the SQL (sqlcode 0 needed) and builds the index; the loaded flag is the caller's.
  int Load_By_Sql(const std::string& sql);
  void Set_Load_Mode(int m) { load_mode_ = m; }
  // Loads this dictionary, made by New_Ext() and seen by nobody, as the fresh rows of live (Rebuild):
  // defined as live is, loaded whole (a dictionary with a file cache reads the database, not its
  // cache). A server dictionary overrides it: with changes_only it starts from a copy of live's rows
  // and stamp and asks for the changes. 1 or 0.
  virtual int Load_Fresh(TDict& live, int changes_only);
  // Copies the settings a host gave live that the definition does not carry (file cache, part load).
  virtual void Copy_Settings(const TDict& live);
  // Makes this dictionary (seen by nobody) a copy of live: definition, stamps, rows and index, and the
  // extended dictionary's. 1, or 0 when the rows do not copy.
  int Copy_Rows_From(TDict& live);
  // Takes fresh's rows, index, definition and stamps in one step under both rows locks; fresh is left
  // with this dictionary's old ones. The extended dictionary's object stays (callers may hold it).
  void Take_From(TDict& fresh);
  // After a failed reload: failed, and stale when rows stay (said in the log and the status line).
  void Reload_Failed(const char* what);
  // Rows older than the source's serve on purpose (a server dictionary's cache file while its server is
  // away); the next load that succeeds clears it.
  void Set_Stale(int on) { stale_ = on ? 1 : 0; }

 private:
  void Clear_Definition();
  int Index_Seek(const wchar16* key);
  void Prepare_Tree_Columns();

  std::string dict_id_;
  std::string sqlcmd_;
  bool sql_given_ = false;  // the SQL came from the caller of SetInfo, not from app_dict_sql
  std::string sqlcmd_ext_;
  std::unique_ptr<TDict> ext_;
  std::string parent_col_, idx_dict_, idx_col_;
  std::string sort_col_;
  std::string ext_col_, ext_col_val_;
  int is_app_dict_ = 0;
  // Flags read by the client list without the rows lock, from any thread.
  std::atomic<int> loaded_{0};
  std::atomic<int> load_failed_{0};
  std::atomic<int> stale_{0};
  std::atomic<int> ready_{0};
  std::atomic<long long> failed_at_{0};
  std::atomic<long long> checked_at_{0};
  int file_cache_ = 1;
  std::atomic<int> time_stamp_{0};
  std::atomic<int> local_ver_{1};
  int load_mode_ = 0;
  int part_load_mode_ = 0;
  int file_mode_ = 0;
  std::vector<SQLCA_Row_Index_Stru> index_;
  // Open-addressing table over index_: for each distinct code, its hash and the position of its first
  // entry (-1 empty). It finds the same entries as the binary search, with one or two memory reads
  // instead of one per halving; a code that is not there (a name tried as a code first) is told by the
  // hashes in the slots alone, without reading an entry.
  struct Code_Slot {
    uint32_t hash;
    int32_t at;
  };
  std::vector<Code_Slot> slots_;
  int index_mode_ = INDEX_NONE;
  std::recursive_mutex lock_;       // the rows, the index, the definition
  std::recursive_mutex load_lock_;  // whoever loads, retries or refreshes
};

// Creates the two tables that define dictionaries, app_dict_def (the rows of standard dictionaries;
// is_group and stop_flag hold 'Y' or 'N', as Is_Stop reads them) and app_dict_sql (dictionaries with
// their own SQL), with the change log and its triggers (dict/dict_change.h), on the area's session;
// for hosts that set up a new database. Tables already there are kept as they are, rows and all, so a
// host may call it at every start. Not committed. 0, or the sqlcode of the statement that failed
// (its message in the area).
int Dict_Create_Def_Tables(TSQLCA* q);

// Narrow text (system code page) of a wide value, owned by the result; safe on any thread.
std::string Dict_Narrow(const wchar16* w);
// Milliseconds of the steady clock (failure times, retry and poll intervals).
long long Dict_Now_Ms();
