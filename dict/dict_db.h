// TDict_Db: a dictionary loaded on a direct database connection, with a file cache so that the next
// start runs no query, and a part-load mode that loads no rows up front and fetches codes as needed.
//
// Cache files lie in "dt" below the application home path (public parameter "app_home_path", the
// current directory when unset): "<id>.dt" is the packed data set of the rows, "<id>.dz" the same bytes
// block-compressed (dict/dict_zip.h); the extended dictionary "<id>.ext" has its own pair. Each has an
// integrity record beside it, and all are written through unique temporary files renamed into place
// (dict/cache_file.h), so a reader never takes half a file or a damaged one.
#pragma once
#include <string>
#include <vector>

#include "dict/cache_file.h"
#include "dict/dict.h"

class TDict_Db : public TDict {
 public:
  // Under the lock: from "<id>.dt" when the file cache is on and the file is whole (its integrity
  // record matches) and unpacks; else by the SQL (rewritten to return no rows in part-load mode),
  // then the cache files are written afresh. 1, or 0 when the SQL failed (the dictionary is then
  // empty, marked loaded, and Load_Failed()).
  int Load(int mode = 0) override;

  // Loads the rows from one cache file: zipped 0 the ".dt", 1 the ".dz". 1, or 0 when the file is
  // missing, damaged or does not unpack whole (the rows are then as they were).
  int Load_Cache(int zipped);
  // Deletes the four cache files and their records. Returns how many cache files existed.
  int Remove_Cache_Files();
  // The cache file path of this dictionary for a suffix (".dt", ".dz"), UTF-8.
  std::string Cache_Path(const char* suffix) const;

  void Set_Part_Load(int on) { part_load_ = on ? 1 : 0; }
  int Part_Load() const { return part_load_; }

  // Part-load mode: fetches the rows of the codes (field 0 of keys) that the dictionary does not hold,
  // each once, from the table of the dictionary's SQL where column matches. Up to 200 codes go as
  // literal lists (a statement per 3000 characters of condition) on the caller's session, which only
  // reads. 201 or more go through the table app_dict_tmp_key_set (column key_id) on the side session
  // of the caller's (TDb_Connect::Side_Session), rolled back afterwards, so nothing the caller's
  // session has pending is committed and no key rows are left for other clients; when that session
  // cannot write (a SQLite file locked by a pending write), the literal lists serve. 1 when every statement succeeded (also
  // with nothing missing), else 0 with the rows fetched so far kept.
  int Fetch_Missing_Codes(TSQLCA* keys, map_wchar column);

  // The SQL of a part-load dictionary: it keeps its columns but returns no rows. The first " where"
  // becomes " where 1=0 and"; else the first " order" becomes " where 1=0 order"; else " where 1=2"
  // is appended.
  static std::string Part_Load_Sql(const std::string& sql);

 protected:
  std::unique_ptr<TDict> New_Ext() override;
  void Drop_Cache() override { Remove_Cache_Files(); }
  // A fresh load reads the database, not the cache it is to replace; the cache files are written
  // afresh only once the new rows are in, so a reload that fails leaves them.
  int Load_Fresh(TDict& live, int changes_only) override;
  void Copy_Settings(const TDict& live) override;

 private:
  int Write_Cache();
  int Fetch_By_Lists(const std::u16string& table, const std::u16string& col,
                     const std::vector<std::u16string>& codes);
  int Fetch_By_Key_Table(const std::u16string& table, const std::u16string& col,
                         const std::vector<std::u16string>& codes);

  int part_load_ = 0;
  int skip_cache_ = 0;  // Load reads the database even when a cache file exists (a fresh load)
};

// The cache directory: "<app_home_path>/dt" (UTF-8).
std::string Dict_Cache_Dir();
// A cache file of a dictionary in that directory: the id (as a file name, UTF-8) and the suffix.
std::string Dict_Cache_Path(const std::string& dict_id, const char* suffix);

// Unless the dictionary is kept out of the cache: deletes its four cache files and counts its local
// version on (when the client list holds it). 1, or 0 for an exempt dictionary or an empty id.
int Expire_Cache(const char* dict_id);
