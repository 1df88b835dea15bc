// Fuzz target: the ".dz" block reader on arbitrary bytes. A refused input leaves the output as it was;
// an accepted one has a well-formed block sequence, and its expanded bytes encode and decode back to
// themselves. The output limit keeps a lying header from allocating without bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dict/dict_zip.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string out = "kept";
  int ok = Zip_Block_Decode(data, size, &out, 64u << 20);
  if (!ok) {
    Check(out == "kept");
    return 0;
  }
  Check(Zip_Block_Count(data, size) >= 0);
  std::string raw = out.substr(4), z, back;
  Check(Zip_Block_Encode(reinterpret_cast<const uint8_t*>(raw.data()), raw.size(), &z) == 1);
  Check(Zip_Block_Decode(reinterpret_cast<const uint8_t*>(z.data()), z.size(), &back) == 1);
  Check(back == raw);
  return 0;
}
