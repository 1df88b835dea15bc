// Direct dictionary loads with the file cache, and the part-load SQL rewrite.
#include "dict/dict_db.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <vector>
#include <system_error>

#include "core/data/para.h"
#include "dict/dict_mgr.h"
#include "dict/dict_zip.h"
#include "core/text/wfunc.h"
#include "frame/log_mgr.h"

namespace fs = std::filesystem;

namespace {

std::string Utf8_Of(const std::u16string& w) { return fs::path(w).string(); }

// A narrow dictionary id as a file-name part (UTF-8).
std::string File_Part(const std::string& id) {
  map_wchar w(id.c_str());
  return Utf8_Of(std::u16string(w.c_str()));
}

// A whole file into a buffer of its size, left unfilled before the read (a cache file is megabytes;
// a std::string would write it with zeros first).
bool Read_Raw(const std::string& path, std::unique_ptr<uint8_t[]>* out, size_t* len) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size < 0) {
    if (fd >= 0) ::close(fd);
    Log_Printf("unable to open file %s", path.c_str());
    return false;
  }
  size_t size = static_cast<size_t>(st.st_size);
  std::unique_ptr<uint8_t[]> buf(new (std::nothrow) uint8_t[size ? size : 1]);
  size_t got = 0;
  while (buf && got < size) {
    ssize_t n = ::read(fd, buf.get() + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  if (!buf || got != size) {
    Log_Printf("unable to open file %s", path.c_str());
    return false;
  }
  *out = std::move(buf);
  *len = size;
  return true;
}

}  // namespace

std::string Dict_Cache_Dir() {
  wchar16 home[1024] = {};
  std::string base = ".";
  if (Pub_Para_Get_WStr(u"app_home_path", home, 1024) && home[0]) base = Utf8_Of(home);
  return base + "/dt";
}

int Dict_Read_File(const std::string& path, std::string* out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    Log_Printf("unable to open file %s", path.c_str());
    return 0;
  }
  std::error_code ec;
  auto size = fs::file_size(path, ec);
  if (ec) {
    Log_Printf("unable to open file %s", path.c_str());
    return 0;
  }
  std::string data;
  data.resize(static_cast<size_t>(size));
  if (size && !f.read(&data[0], static_cast<std::streamsize>(size))) {
    Log_Printf("unable to open file %s", path.c_str());
    return 0;
  }
  out->swap(data);
  return 1;
}

int Dict_Write_File(const std::string& path, const void* data, size_t len) {
  std::string tmp = path + ".tmp";
  {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    if (!f || !f.write(static_cast<const char*>(data), static_cast<std::streamsize>(len)) || !f.flush()) {
      Log_Printf("unable to create dmp file %s", path.c_str());
      std::error_code ec;
      fs::remove(tmp, ec);
      return 0;
    }
  }
  std::error_code ec;
  fs::rename(tmp, path, ec);
  if (ec) {
    Log_Printf("unable to create dmp file %s", path.c_str());
    fs::remove(tmp, ec);
    return 0;
  }
  return 1;
}

std::string TDict_Db::Cache_Path(const char* suffix) const {
  return Dict_Cache_Dir() + "/" + File_Part(Dict_Id()) + suffix;
}

std::unique_ptr<TDict> TDict_Db::New_Ext() {
  auto e = std::make_unique<TDict_Db>();
  e->part_load_ = part_load_;
  return e;
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
  std::error_code ec;
  if (!fs::exists(path, ec)) return 0;
  std::unique_ptr<uint8_t[]> file;
  size_t file_len = 0;
  if (!Read_Raw(path, &file, &file_len)) return 0;
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
    Log_Printf("unable to unpack cache file %s", path.c_str());
    return 0;
  }
  if (used != len || d->Get_Field_Count() < 1) {
    d->CFree();
    Log_Printf("unable to unpack cache file %s", path.c_str());
    return 0;
  }
  Build_Index();
  return 1;
}

int TDict_Db::Remove_Cache_Files() {
  int n = 0;
  std::error_code ec;
  for (const char* suffix : {".dt", ".dz", ".ext.dt", ".ext.dz"}) n += fs::remove(Cache_Path(suffix), ec) ? 1 : 0;
  return n;
}

int TDict_Db::Write_Cache() {
  std::string dir = Dict_Cache_Dir();
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec || !fs::is_directory(dir, ec)) {
    Log_Printf("Unable to create directory %s\n", dir.c_str());
    return 0;
  }
  unsigned len = 0;
  uint8_t* packed = Data()->Pack_Data(&len);
  if (!packed) {
    Log_Printf("unable to packdata");
    return 0;
  }
  int ok = Dict_Write_File(Cache_Path(".dt"), packed, len);
  std::string z;
  if (ok && Zip_Block_Encode(packed, len, &z)) ok = Dict_Write_File(Cache_Path(".dz"), z.data(), z.size());
  std::free(packed);
  return ok;
}

int TDict_Db::Load(int mode) {
  auto guard = Lock();
  Set_Loaded(0);
  Set_Load_Mode(mode);
  Set_Time_Stamp(Local_Version());
  if (Ext_Dict() && !Ext_Dict()->Load(mode)) return 0;
  if (File_Cache() && Load_Cache(0)) {
    Set_Loaded(1);
    return 1;
  }
  if (Sqlcmd().empty()) return 0;
  if (!Load_By_Sql(part_load_ ? Part_Load_Sql(Sqlcmd()) : Sqlcmd())) {
    Data()->Clear_Data();
    return 0;
  }
  if (File_Cache()) Write_Cache();
  Set_Loaded(1);
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

int TDict_Db::Fetch_Missing_Codes(TSQLCA* keys, map_wchar column) {
  if (!keys || W_Is_Empty(column.c_str())) return 0;
  auto guard = Lock();
  std::vector<std::u16string> missing = Missing_Codes(keys);
  if (missing.empty()) return 1;
  std::u16string table = Get_Table_Name();
  if (table.empty()) return 0;
  std::u16string col = column.c_str();
  int ok = 1;
  auto load = [&](const std::u16string& cond) {
    TSQLCA q;
    std::u16string sql = u"select * from " + table + u" where" + cond;
    if (q.Exec(sql.c_str()) != 0) {
      ok = 0;
      return;
    }
    Data()->Append_Data(q.Data());
  };
  if (missing.size() < 201) {
    std::u16string cond;
    for (size_t i = 0; i < missing.size(); ++i) {
      cond += cond.empty() ? u" " + col + u" in ('" : u"','";
      cond += Sql_Quote(missing[i].c_str());
      if (cond.size() >= 3000 || i + 1 == missing.size()) {
        load(cond + u"')");
        cond.clear();
      }
    }
  } else {
    TSQLCA tmp;
    if (tmp.Exec(u"delete from app_dict_tmp_key_set") != 0) return 0;
    tmp.Set_Field_Count(1);
    tmp.Set_Field_Name(0, u"key_id");
    tmp.Set_Field_Type(0, 'S');
    for (const std::u16string& code : missing) {
      tmp.Add_Row();
      tmp.Set_Value(0, code.c_str());
    }
    tmp.Set_Table_Name(u"app_dict_tmp_key_set");
    if (tmp.Batch_Insert() != 0) return 0;
    load(u" " + col + u" in (select key_id from app_dict_tmp_key_set)");
    tmp.Commit();
  }
  Build_Index();
  return ok;
}
