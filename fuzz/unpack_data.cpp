// Fuzz target: DBDataMgr::Unpack_Data on arbitrary bytes. A refused buffer must leave the set as it
// was; an accepted one must pack again to bytes that unpack to the same set, and survive sorting,
// seeking and the XML form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/data/dbdata.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DBDataMgr d;
  d.Set_Field_Count(1);
  d.Add_Row();
  d.Set_Value(0, u"before");

  size_t used = 0;
  int ok = d.Unpack_Data(data, size, &used);
  Check(ok == d.Unpack_Data(data, static_cast<int>(size > 0x7fffffff ? 0x7fffffff : size)) || size > 0x7fffffff);
  if (!ok) {
    Check(d.Get_Field_Count() == 1 && d.Get_Row_Count() == 1);
    Check(std::u16string(d.Get_Row_Value(0, 0)) == u"before");
    return 0;
  }
  Check(used <= size);

  // The message travels cut in half, so it is left out of the round trip.
  d.Set_Error(d.Get_Sqlcode(), u"");
  unsigned len1 = 0;
  uint8_t* p1 = d.Pack_Data(&len1);
  Check(p1 != nullptr);
  DBDataMgr e;
  size_t used2 = 0;
  Check(e.Unpack_Data(p1, static_cast<size_t>(len1), &used2) == 1 && used2 == len1);
  unsigned len2 = 0;
  uint8_t* p2 = e.Pack_Data(&len2);
  Check(p2 != nullptr && len2 == len1 && std::memcmp(p1, p2, len1) == 0);
  std::free(p1);
  std::free(p2);

  if (e.Get_Field_Count() > 0 && e.Get_Row_Count() < 2000) {
    e.Set_Sort_Key(0, 0, 'F');
    if (e.Get_Field_Count() > 1) e.Add_Sort_Key(1, 1, -1);
    e.Sort();
    for (int r = 0; r + 1 < e.Get_Row_Count(); ++r) Check(e.Sort_Cmp(r, r + 1) <= 0);
    e.Set_Field_Type(0, 'S');  // Seek needs field 0 in text order
    e.Set_Sort_Key(0, 0, -1);
    e.Sort();
    if (e.Get_Row_Count() > 0) {
      std::u16string key(e.Get_Row_Value(e.Get_Row_Count() / 2, 0));
      Check(e.Seek(key.c_str()) == 1);
    }
    std::string xml;
    e.Write_Xml(&xml, "data");
  }
  return 0;
}
