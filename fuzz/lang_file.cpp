// Translation file bytes into the caption language map: the parser, the sorted table and a few
// lookups and caption translations made from the same bytes. No log file is written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/text/wfunc.h"
#include "util/lang_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TLang_File file;
  if (Lang_Parse_Bytes(data, size, &file) != 1) abort();

  TLang_Map map(data, size, nullptr);
  if (map.Count() != static_cast<int>(file.pairs.size())) abort();
  for (int i = 1; i < map.Count(); ++i) {
    if (W_Cmp(map.Key(i - 1), map.Key(i)) > 0) abort();  // the halving search needs sorted keys
  }

  // Every key of the file, alone, with a context, and as a caption with blanks and a hot key.
  int n = map.Count() < 16 ? map.Count() : 16;
  for (int i = 0; i < n; ++i) {
    std::u16string key(map.Key(i));
    const wchar16* r = map.Map(u"", key.c_str());
    if (!r) abort();
    map.Map(u"grid", key.c_str());
    std::u16string cap = u"  " + key + u"&x";
    Lang_Cap(&map, u"menu", cap.c_str());
    Lang_Cap(&map, u"", (u"&" + key).c_str());
    Lang_Cap(&map, u"tree", (key + u"(Ctrl+F)").c_str());
  }

  // The raw bytes read as a caption of UTF-16 code units.
  std::u16string raw;
  for (size_t i = 0; i + 1 < size && raw.size() < 700; i += 2) {
    wchar16 c = static_cast<wchar16>(data[i] | (data[i + 1] << 8));
    if (c == 0) break;
    raw.push_back(c);
  }
  map.Map(u"grid", raw.c_str());
  Lang_Cap(&map, u"grid", raw.c_str());
  return 0;
}
