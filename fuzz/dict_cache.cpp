// Fuzz target: a dictionary cache file (".dt") of arbitrary bytes. Loading it either gives a whole
// dictionary with its code index, or is refused and leaves the dictionary's rows as they were.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/data/para.h"
#include "dict/dict_db.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

std::string& Home() {
  static std::string home = [] {
    std::string h = "/tmp/zem-fuzz-dict-" + std::to_string(getpid());
    std::filesystem::create_directories(h + "/dt");
    std::u16string w = std::filesystem::path(h).u16string();
    Pub_Para_Put_WStr(u"app_home_path", w.c_str());
    return h;
  }();
  return home;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Home();
  TDict_Db d;
  d.SetInfo("fz", "select 1");  // defines the file names; nothing runs
  d.Set_Field_Count(2);
  d.Add_Row();
  d.Set_Value(0, u"k");
  d.Set_Value(1, u"before");
  {
    std::ofstream f(d.Cache_Path(".dt"), std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  if (!d.Load_Cache(0)) {
    Check(d.Get_Row_Count() <= 1);  // as it was, or emptied for bytes after a whole pack
    Check(!d.Is_Loaded());
    return 0;
  }
  Check(d.Get_Field_Count() >= 1);
  for (int r = 0; r < d.Get_Row_Count(); ++r) Check(d.Seek_Code(0, d.Get_Row_Value(r, 0)) == 1);
  return 0;
}
