// Arbitrary statement text into the placeholder scanner: no crash, no read past the text; a text it
// takes keeps its count through both drivers' forms, and those forms scan back to themselves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/data/db_stmt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string sql;
  for (size_t i = 0; i + 1 < size; i += 2) {
    const char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (c) sql.push_back(c);
  }
  std::u16string pg, lite;
  std::string why;
  int n = 0, m = 0, k = 0;
  const int taken = Db_Number_Params(sql.c_str(), '$', &pg, &n, &why);
  if (taken < 0) {
    if (why.empty()) std::abort();
    return 0;
  }
  if (Db_Number_Params(sql.c_str(), '?', &lite, &m, &why) != taken || m != n) std::abort();
  // The libpq form is "$n" throughout: scanned again, it counts the same and stays as it is.
  std::u16string again;
  if (Db_Number_Params(pg.c_str(), '$', &again, &k, &why) != n || again != pg) std::abort();
  return 0;
}
