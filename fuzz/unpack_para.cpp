// Arbitrary bytes into Unpack_Para (the size-bounded form). What was read must pack again, and the
// packed form must read back to the same names in the same order. The read that leaves large values
// where they lie must give the same pack, and packing into a string the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/data/para.h"
#include "frame/log_mgr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = [] { return Log_Mgr()->Set_File("/dev/null") == 1; }();
  (void)quiet;
  TParaMgr m;
  m.Put_Int("before", 1);
  int ok = m.Unpack_Para(data, size);
  if (!ok && (m.Count() != 1 || !m.Find_Para("before"))) std::abort();  // a refusal changes nothing

  int len = 0;
  void* packed = m.Pack_Para(&len, 0, 0);
  if (!packed) return 0;
  TParaMgr back;
  if (back.Unpack_Para(packed, static_cast<size_t>(len)) != 1) std::abort();
  // Nameless parameters are left out of the packed form; everything else comes back in order. Names
  // that grow past 255 UTF-8 bytes (replacement characters) are cut and may merge, so skip those.
  bool cut = false;
  for (int i = 0; i < m.Count(); ++i) cut = cut || std::u16string(m.Para(i)->Name()).size() > 85;
  int j = 0;
  for (int i = 0; !cut && i < m.Count(); ++i) {
    const wchar16* a = m.Para(i)->Name();
    if (!a[0]) continue;
    if (j >= back.Count()) std::abort();
    const wchar16* b = back.Para(j++)->Name();
    if (std::u16string(a) != b) std::abort();
  }
  TParaMgr here;
  here.Put_Int("before", 1);
  if (here.Unpack_Para_Refer(data, size) != ok) std::abort();
  std::string into;
  if (here.Pack_Para_Into(&into) != len || std::memcmp(into.data(), packed, static_cast<size_t>(len)) != 0)
    std::abort();
  std::free(packed);
  std::string xml;
  m.Xml_Doc(&xml);
  return 0;
}
