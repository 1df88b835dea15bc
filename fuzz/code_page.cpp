// Fuzz target for the code page converters: the input as narrow text in code pages 936 and 65001
// and, byte pairs taken as code units, as wide text. Checks that size queries match what is
// written, that a buffer one short is refused without being overrun, that n bytes never give more
// than n units, and that decoded text encodes and decodes back to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/text/code_page.h"
#include "core/text/map_str.h"

namespace {

std::vector<wchar16> Decode(int cp, const char* s, int n) {
  int need = Zem_MB_To_W(cp, s, n, nullptr, 0);
  if (need < 0 || need > n) std::abort();
  std::vector<wchar16> w(static_cast<size_t>(need));
  if (need > 0) {
    if (Zem_MB_To_W(cp, s, n, w.data(), need) != need) std::abort();
    std::vector<wchar16> short_buf(static_cast<size_t>(need - 1) + 1);
    if (need > 1 && Zem_MB_To_W(cp, s, n, short_buf.data(), need - 1) != 0) std::abort();
  }
  return w;
}

std::vector<char> Encode(int cp, const wchar16* w, int n) {
  int need = Zem_W_To_MB(cp, w, n, nullptr, 0);
  if (need < 0 || need > 3 * n) std::abort();
  std::vector<char> s(static_cast<size_t>(need));
  if (need > 0) {
    if (Zem_W_To_MB(cp, w, n, s.data(), need) != need) std::abort();
    std::vector<char> short_buf(static_cast<size_t>(need - 1) + 1);
    if (need > 1 && Zem_W_To_MB(cp, w, n, short_buf.data(), need - 1) != 0) std::abort();
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  const char* s = reinterpret_cast<const char*>(data);
  int n = static_cast<int>(size);
  for (int cp : {ZEM_CP_GBK, ZEM_CP_UTF8}) {
    std::vector<wchar16> w = Decode(cp, s, n);
    std::vector<char> back = Encode(cp, w.data(), static_cast<int>(w.size()));
    std::vector<wchar16> again = Decode(cp, back.data(), static_cast<int>(back.size()));
    if (again != w) std::abort();  // what decoding gives is stable under a round trip
  }
  std::vector<wchar16> units(size / 2);
  if (!units.empty()) std::memcpy(units.data(), data, units.size() * 2);
  for (int cp : {ZEM_CP_GBK, ZEM_CP_UTF8}) Encode(cp, units.data(), static_cast<int>(units.size()));

  // The views and converters over a NUL-terminated copy.
  std::vector<char> text(s, s + size);
  text.push_back(0);
  map_wchar wide(text.data());
  map_char narrow(wide.c_str());
  tc2u to_w(ZEM_CP_UTF8);
  to_w.Assign(text.data(), n);
  tu2c to_c(ZEM_CP_GBK);
  to_c = to_w.c_str();
  return 0;
}
