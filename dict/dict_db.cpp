// Direct dictionary loads with the file cache, the part-load SQL rewrite and the part-load fetch.
#include "dict/dict_db.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

#include "core/data/db_connect.h"
#include "core/data/para.h"
#include "core/text/wfunc.h"
#include "dict/dict_mgr.h"
#include "dict/dict_zip.h"
#include "frame/log_mgr.h"
#include "frame/vector_state.h"

namespace fs = std::filesystem;

namespace {

std::string Utf8_Of(const std::u16string& w) { return fs::path(w).string(); }

// A narrow dictionary id as a file-name part (UTF-8).
std::string File_Part(const std::string& id) {
  map_wchar w(id.c_str());
  return Utf8_Of(std::u16string(w.c_str()));
}

}  // namespace

std::string Dict_Cache_Dir() {
  wchar16 home[1024] = {};
  std::string base = ".";
  if (Pub_Para_Get_WStr(u"app_home_path", home, 1024) && home[0]) base = Utf8_Of(home);
  return base + "/dt";
}

std::string Dict_Cache_Path(const std::string& dict_id, const char* suffix) {
  return Dict_Cache_Dir() + "/" + File_Part(dict_id) + suffix;
}

std::string TDict_Db::Cache_Path(const char* suffix) const { return Dict_Cache_Path(Dict_Id(), suffix); }

std::unique_ptr<TDict> TDict_Db::New_Ext() {
  auto e = std::make_unique<TDict_Db>();
  e->part_load_ = part_load_;
  e->skip_cache_ = skip_cache_;
  return e;
}

void TDict_Db::Copy_Settings(const TDict& live) {
  TDict::Copy_Settings(live);
  if (const TDict_Db* db = dynamic_cast<const TDict_Db*>(&live)) part_load_ = db->part_load_;
}

int TDict_Db::Load_Fresh(TDict& live, int changes_only) {
  skip_cache_ = 1;
  return TDict::Load_Fresh(live, changes_only);
}

std::string TDict_Db::Part_Load_Sql(const std::string& sql) {
  std::string s = sql;
  size_t p = s.find(" where");
  if (p != std::string::npos) return s.replace(p, 6, " where 1=0 and");
  p = s.find(" order");
  if (p != std::string::npos) return s.replace(p, 6, " where 1=0 order");
  return s + " where 1=2";
}

int TDict_Db::Load_Cache(int zipped) {
  auto guard = Lock();
  std::string path = Cache_Path(zipped ? ".dz" : ".dt");
  std::unique_ptr<uint8_t[]> file;
  size_t file_len = 0;
  if (!Dict_Read_Cache_File(path, &file, &file_len)) return 0;
  const uint8_t* bytes = file.get();
  size_t len = file_len;
  std::string raw;
  if (zipped) {
    if (!Zip_Block_Decode(bytes, len, &raw)) return 0;
    bytes = reinterpret_cast<const uint8_t*>(raw.data());
    len = raw.size();
  }
  // A refused pack leaves the set as it was; one with bytes after it, or without fields, is emptied.
  DBDataMgr* d = Data();
  size_t used = 0;
  if (len == 0 || !d->Unpack_Data(bytes, len, &used)) {
    Log_Printf("unable to unpack cache file %s\n", path.c_str());
    return 0;
  }
  if (used != len || d->Get_Field_Count() < 1) {
    d->CFree();
    Build_Index();  // no entries point into the rows given up
    Log_Printf("unable to unpack cache file %s\n", path.c_str());
    return 0;
  }
  Build_Index();
  return 1;
}

int TDict_Db::Remove_Cache_Files() {
  int n = 0;
  for (const char* suffix : {".dt", ".dz", ".ext.dt", ".ext.dz"}) n += Dict_Remove_Cache_File(Cache_Path(suffix));
  return n;
}

int TDict_Db::Write_Cache() {
  if (!Dict_Make_Cache_Dir(Dict_Cache_Dir())) return 0;
  unsigned len = 0;
  uint8_t* packed = nullptr;
  {
    auto guard = Lock();
    packed = Data()->Pack_Data(&len);
  }
  if (!packed) {
    Log_Printf("unable to packdata\n");
    return 0;
  }
  int ok = Dict_Write_Cache_File(Cache_Path(".dt"), packed, len);
  std::string z;
  if (ok && Zip_Block_Encode(packed, len, &z)) ok = Dict_Write_Cache_File(Cache_Path(".dz"), z.data(), z.size());
  std::free(packed);
  return ok;
}

int TDict_Db::Load(int mode) {
  auto load = Load_Lock();
  Zem_Clean_Vector_State();  // a load copies every row, from the cache or from the database
  std::string sql;
  {
    auto guard = Lock();
    Set_Load_Mode(mode);
    Set_Time_Stamp(Local_Version());
    Set_Loaded(1);
    sql = Sqlcmd();
  }
  bool ok = !Ext_Dict() || Ext_Dict()->Load(mode);
  if (ok && File_Cache() && !skip_cache_ && Load_Cache(0)) {
    Set_Load_Failed(0);
    return 1;
  }
  ok = ok && !sql.empty() && Load_By_Sql(part_load_ ? Part_Load_Sql(sql) : sql);
  Set_Load_Failed(!ok);
  if (!ok) {
    auto guard = Lock();
    Data()->Clear_Data();
    Build_Index();  // no entries point into the rows cleared
    return 0;
  }
  if (File_Cache()) Write_Cache();
  return 1;
}

int Expire_Cache(const char* dict_id) {
  if (!dict_id || !*dict_id) return 0;
  TDict* held = Dict_Client_List()->Get_Dict(dict_id, 0);
  if (held && !held->File_Cache()) return 0;
  TDict_Db probe;
  probe.SetInfo(dict_id, "select 1");  // names the files only; nothing runs
  probe.Remove_Cache_Files();
  if (held) held->Next_Local_Version();
  return 1;
}

int TDict_Db::Fetch_By_Lists(const std::u16string& table, const std::u16string& col,
                             const std::vector<std::u16string>& codes) {
  int ok = 1;
  std::u16string cond;
  for (size_t i = 0; i < codes.size(); ++i) {
    cond += cond.empty() ? u" " + col + u" in ('" : u"','";
    cond += Sql_Quote(codes[i].c_str());
    if (cond.size() < 3000 && i + 1 < codes.size()) continue;
    TSQLCA q;
    std::u16string sql = u"select * from " + table + u" where" + cond + u"')";
    if (q.Exec(sql.c_str()) == 0) {
      auto guard = Lock();
      Data()->Append_Data(q.Data());
    } else {
      ok = 0;
    }
    cond.clear();
  }
  return ok;
}

// On the side session of this thread's session (the same database, a transaction of its own), rolled
// back at the end: the key rows are seen by this fetch alone and never stay behind.
int TDict_Db::Fetch_By_Key_Table(const std::u16string& table, const std::u16string& col,
                                 const std::vector<std::u16string>& codes) {
  TDb_Connect* base = Db_Connect_Mgr()->Get_Session(nullptr);
  TDb_Connect* own = base ? base->Side_Session() : nullptr;
  if (!own) return 0;
  TSQLCA q;
  q.Set_Connect(own);
  q.SelectArea(1);
  q.Set_Field_Count(1);
  q.Set_Field_Name(0, u"key_id");
  q.Set_Field_Type(0, 'S');
  for (const std::u16string& code : codes) {
    q.Add_Row();
    q.Set_Value(0, code.c_str());
  }
  q.Set_Table_Name(u"app_dict_tmp_key_set");
  q.SelectArea(0);
  int ok = q.Exec(u"delete from app_dict_tmp_key_set") == 0;
  if (ok) {
    q.SelectArea(1);
    ok = q.Batch_Insert() == 0;
    q.SelectArea(0);
  }
  std::u16string sql = u"select * from " + table + u" where " + col + u" in (select key_id from app_dict_tmp_key_set)";
  ok = ok && q.Exec(sql.c_str()) == 0;
  if (ok) {
    auto guard = Lock();
    Data()->Append_Data(q.Data());
  }
  if (!ok) Log_Printf("dict %s: the key table could not be used: %s\n", Dict_Id().c_str(),
                      Zem_W_To_Utf8(q.Get_Error_Msg()).c_str());
  q.Rollback();
  return ok;
}

// The queries run under the loaders' lock alone; the rows lock is taken to find what is missing and
// to append what came.
int TDict_Db::Fetch_Missing_Codes(TSQLCA* keys, map_wchar column) {
  if (!keys || W_Is_Empty(column.c_str())) return 0;
  auto load = Load_Lock();
  std::vector<std::u16string> missing = Missing_Codes(keys);
  if (missing.empty()) return 1;
  std::u16string table;
  {
    auto guard = Lock();
    table = Get_Table_Name();
  }
  if (table.empty()) return 0;
  std::u16string col = column.c_str();
  int ok = (missing.size() >= 201 && Fetch_By_Key_Table(table, col, missing)) || Fetch_By_Lists(table, col, missing);
  Build_Index();
  return ok;
}
