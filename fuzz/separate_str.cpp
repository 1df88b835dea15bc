// Fuzz target for TSeparate_Str::Separate: the first byte chooses raw mode and how many separator
// bytes follow (0..7); the rest is the text, given as a NUL-terminated copy. Checks, besides memory
// safety, that raw items joined with their separators give the text back, and that items without
// raw mode are the text without its blanks.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/text/separate_str.h"

namespace {

bool Is_Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Without_Blanks(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (!Is_Blank(c)) out.push_back(c);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  int raw = data[0] & 1;
  size_t nsep = (data[0] >> 1) & 7;
  if (size < 1 + nsep) return 0;
  std::string seps;
  for (size_t i = 0; i < nsep; ++i) {
    if (data[1 + i]) seps.push_back(static_cast<char>(data[1 + i]));
  }
  std::string text(reinterpret_cast<const char*>(data + 1 + nsep), size - 1 - nsep);
  text = text.c_str();  // the function sees text up to its first NUL

  TSeparate_Str split(seps.c_str(), raw);
  if (split.Separate(text.c_str()) != 1) std::abort();
  std::string joined;
  for (int i = 0; i < split.Count(); ++i) {
    const LSeparate_Item_Stru* item = split.Item_Rec(i);
    if (!item || !item->text) std::abort();
    joined += item->text;
    if (item->sep) {
      if (!std::strchr(seps.c_str(), item->sep)) std::abort();
      joined.push_back(static_cast<char>(item->sep));
    } else if (i != split.Count() - 1) {
      std::abort();  // only the last item ends with the text
    }
  }
  if (raw ? joined != text : Without_Blanks(joined) != Without_Blanks(text)) std::abort();
  split.Clear();
  if (split.Count() != 0) std::abort();
  return 0;
}
