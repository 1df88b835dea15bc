// Fuzz target: a dictionary cache file (".dt") and its integrity record (".dt.sum") of arbitrary bytes.
// The first input byte chooses what the rest is:
//   even: the cache file, with the integrity record that matches it (so the unpacking is reached);
//   odd:  24 bytes of integrity record (fewer when the input is short), then the cache file.
// Loading either gives a whole dictionary with its code index, taken only when the record matches, or
// is refused and leaves the dictionary's rows as they were.
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

// Written plainly (no flush to disk): thousands of inputs a second.
void Put(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Home();
  if (size == 0) return 0;
  const bool own_record = data[0] & 1;
  ++data;
  --size;
  std::string record;
  if (own_record) {
    size_t n = size < DICT_SUM_SIZE ? size : DICT_SUM_SIZE;
    record.assign(reinterpret_cast<const char*>(data), n);
    data += n;
    size -= n;
  } else {
    record = Dict_Sum_Record(data, size);
  }
  TDict_Db d;
  d.SetInfo("fz", "select 1");  // defines the file names; nothing runs
  d.Set_Field_Count(2);
  d.Add_Row();
  d.Set_Value(0, u"k");
  d.Set_Value(1, u"before");
  Put(d.Cache_Path(".dt"), data, size);
  Put(Dict_Sum_Path(d.Cache_Path(".dt")), reinterpret_cast<const uint8_t*>(record.data()), record.size());
  const bool whole = Dict_Sum_Mismatch(record, data, size) == nullptr;
  if (!d.Load_Cache(0)) {
    // As it was; a whole file with bytes after its pack, or without fields, empties it.
    const bool as_it_was = d.Get_Row_Count() == 1 && std::u16string(d.Get_Row_Value(0, 1)) == u"before";
    Check(as_it_was || (whole && d.Get_Row_Count() == 0));
    return 0;
  }
  Check(whole);  // nothing is taken without a matching record
  Check(d.Get_Field_Count() >= 1);
  for (int r = 0; r < d.Get_Row_Count(); ++r) Check(d.Seek_Code(0, d.Get_Row_Value(r, 0)) == 1);
  return 0;
}
