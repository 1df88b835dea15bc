// Arbitrary text into the connection configuration reader: no crash, and a refused text says why.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/data/db_connect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);  // the reader takes NUL-terminated text
  TDb_Config cfg;
  std::string error;
  int ok = cfg.Parse_Text(text.c_str(), &error);
  if (!ok && error.empty()) std::abort();
  return 0;
}
