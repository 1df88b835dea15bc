// TDict_Db: a dictionary loaded on a direct database connection, with a file cache so that the next
// start runs no query, and a part-load mode that loads no rows up front and fetches codes as needed.
//
// Cache files lie in "dt" below the application home path (public parameter "app_home_path", the
// current directory when unset): "<id>.dt" is the packed data set of the rows, "<id>.dz" the same bytes
// block-compressed (dict/dict_zip.h); the extended dictionary "<id>.ext" has its own pair. Files are
// written to a temporary name and renamed, so a reader never sees half a file.
#pragma once
#include <string>

#include "dict/dict.h"

class TDict_Db : public TDict {
 public:
  // Under the lock: from "<id>.dt" when the file cache is on and the file unpacks whole; else by the
  // SQL (rewritten to return no rows in part-load mode), then the cache files are written. 1, or 0
  // when the SQL failed (the dictionary is then empty and not marked loaded).
  int Load(int mode = 0) override;

  // Loads the rows from one cache file: zipped 0 the ".dt", 1 the ".dz". 1, or 0 when the file is
  // missing or does not unpack whole (the rows are then as they were).
  int Load_Cache(int zipped);
  // Deletes the four cache files. Returns how many existed.
  int Remove_Cache_Files();
  // The cache file path of this dictionary for a suffix (".dt", ".dz"), UTF-8.
  std::string Cache_Path(const char* suffix) const;

  void Set_Part_Load(int on) { part_load_ = on ? 1 : 0; }
  int Part_Load() const { return part_load_; }

  // Part-load mode: fetches the rows of the codes (field 0 of keys) that the dictionary does not hold,
  // each once, from the table of the dictionary's SQL where column matches. Up to 200 codes go as
  // literal lists (a statement per 3000 characters of condition); 201 or more through the table
  // app_dict_tmp_key_set (column key_id). 1 when every statement succeeded (also with nothing
  // missing), else 0 with the rows fetched so far kept.
  int Fetch_Missing_Codes(TSQLCA* keys, map_wchar column);

  // The SQL of a part-load dictionary: it keeps its columns but returns no rows. The first " where"
  // becomes " where 1=0 and"; else the first " order" becomes " where 1=0 order"; else " where 1=2"
  // is appended.
  static std::string Part_Load_Sql(const std::string& sql);

 protected:
  std::unique_ptr<TDict> New_Ext() override;
  void Drop_Cache() override { Remove_Cache_Files(); }

 private:
  int Write_Cache();

  int part_load_ = 0;
};

// The cache directory: "<app_home_path>/dt" (UTF-8).
std::string Dict_Cache_Dir();

// Unless the dictionary is kept out of the cache: deletes its four cache files and counts its local
// version on (when the client list holds it). 1, or 0 for an exempt dictionary or an empty id.
int Expire_Cache(const char* dict_id);

// Reads a whole file into *out. 1, or 0 after logging "unable to open file %s".
int Dict_Read_File(const std::string& path, std::string* out);
// Writes bytes to path through a temporary file renamed into place. 1, or 0 after logging
// "unable to create dmp file %s".
int Dict_Write_File(const std::string& path, const void* data, size_t len);
