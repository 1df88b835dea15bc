// Table-driven conversions between code page 936 (glibc's GBK), UTF-8 and UTF-16. The rules for bad
// input are written in code_page.h; every converter below follows them in its counting pass and its
// writing pass alike, so that a size query always matches what a conversion writes.
#include "core/text/code_page.h"

#include <atomic>
#include <cstdint>
#include <cstring>

namespace {

#include "core/text/gbk_table.inc"

std::atomic<int> g_sys_cp{ZEM_CP_GBK};

int Resolve(int cp) {
  if (cp == ZEM_CP_SYSTEM) cp = g_sys_cp.load(std::memory_order_relaxed);
  return (cp == ZEM_CP_GBK || cp == ZEM_CP_UTF8) ? cp : -1;
}

// How a converter treats its output: count only, write with room guaranteed by the caller, or write
// while checking the room left.
enum Mode { kCount, kWrite, kChecked };

// Code unit -> GBK code: below 0x100 one byte, otherwise lead << 8 | trail, 0x3F when unmappable.
struct Gbk_Encoder {
  unsigned short code[0x10000];
  Gbk_Encoder() {
    for (unsigned u = 0; u < 0x10000; ++u) code[u] = 0x3F;
    // Inverts the decoding table with the first code winning (walked backwards, earlier codes
    // overwrite later ones); ASCII and the single byte 0x80 come before every pair.
    for (int lead = 125; lead >= 0; --lead) {
      for (int trail = 190; trail >= 0; --trail) {
        unsigned short u = kGbk_Decode[lead][trail];
        if (u) code[u] = static_cast<unsigned short>(((lead + 0x81) << 8) | (trail + 0x40));
      }
    }
    if (kGbk_Single_80) code[kGbk_Single_80] = 0x80;
    for (unsigned u = 0; u < 0x80; ++u) code[u] = static_cast<unsigned short>(u);
    for (int i = 0; kGbk_Encode_Extra[i][0]; ++i) code[kGbk_Encode_Extra[i][0]] = kGbk_Encode_Extra[i][1];
  }
};

inline bool Is_Gbk_Trail(unsigned t) { return t >= 0x40 && t <= 0xFE && t != 0x7F; }
inline bool Is_Hi(unsigned u) { return (u & 0xFC00) == 0xD800; }
inline bool Is_Lo(unsigned u) { return (u & 0xFC00) == 0xDC00; }

template <Mode M>
int Gbk_To_W(const unsigned char* s, int n, wchar16* d, int cap) {
  int i = 0, o = 0;
  while (i < n) {
    if (M != kCount) {
      // Runs of ASCII, eight bytes at a time: most data-entry text is mostly ASCII.
      while (i + 8 <= n && (M == kWrite || o + 8 <= cap)) {
        uint64_t w;
        std::memcpy(&w, s + i, 8);
        if (w & 0x8080808080808080ULL) break;
        for (int k = 0; k < 8; ++k) d[o + k] = s[i + k];
        i += 8;
        o += 8;
      }
      if (i >= n) break;
    }
    unsigned b = s[i];
    unsigned u;
    if (b < 0x80) {
      u = b;
      i += 1;
    } else if (b >= 0x81 && b <= 0xFE && i + 1 < n && Is_Gbk_Trail(s[i + 1])) {
      u = kGbk_Decode[b - 0x81][s[i + 1] - 0x40];
      if (!u) u = '?';
      i += 2;
    } else {
      u = (b == 0x80 && kGbk_Single_80) ? kGbk_Single_80 : '?';
      i += 1;
    }
    if (M == kChecked && o >= cap) return 0;
    if (M != kCount) d[o] = static_cast<wchar16>(u);
    ++o;
  }
  return o;
}

template <Mode M>
int W_To_Gbk(const wchar16* s, int n, unsigned char* d, int cap) {
  const unsigned short* code = Gbk_Encode_Table();
  int i = 0, o = 0;
  while (i < n) {
    if (M != kCount) {
      while (i + 4 <= n && (M == kWrite || o + 4 <= cap)) {
        uint64_t w;
        std::memcpy(&w, s + i, 8);
        if (w & 0xFF80FF80FF80FF80ULL) break;
        d[o] = static_cast<unsigned char>(s[i]);
        d[o + 1] = static_cast<unsigned char>(s[i + 1]);
        d[o + 2] = static_cast<unsigned char>(s[i + 2]);
        d[o + 3] = static_cast<unsigned char>(s[i + 3]);
        i += 4;
        o += 4;
      }
      if (i >= n) break;
    }
    unsigned u = s[i++];
    if (Is_Hi(u) && i < n && Is_Lo(s[i])) ++i;  // one character outside the BMP: one "?"
    unsigned c = code[u];
    if (c < 0x100) {
      if (M == kChecked && o + 1 > cap) return 0;
      if (M != kCount) d[o] = static_cast<unsigned char>(c);
      o += 1;
    } else {
      if (M == kChecked && o + 2 > cap) return 0;
      if (M != kCount) {
        d[o] = static_cast<unsigned char>(c >> 8);
        d[o + 1] = static_cast<unsigned char>(c);
      }
      o += 2;
    }
  }
  return o;
}

inline bool Is_Cont(unsigned b) { return (b & 0xC0) == 0x80; }

template <Mode M>
int Utf8_To_W(const unsigned char* s, int n, wchar16* d, int cap) {
  int i = 0, o = 0;
  while (i < n) {
    unsigned b = s[i];
    unsigned cp = 0xFFFD;
    if (b < 0x80) {
      cp = b;
      i += 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
      if (i + 1 < n && Is_Cont(s[i + 1])) {
        cp = ((b & 0x1F) << 6) | (s[i + 1] & 0x3F);
        i += 2;
      } else {
        i += 1;
      }
    } else if (b >= 0xE0 && b <= 0xEF) {
      // The second byte's range excludes overlong forms (E0) and surrogates (ED).
      unsigned lo = b == 0xE0 ? 0xA0 : 0x80, hi = b == 0xED ? 0x9F : 0xBF;
      if (i + 1 < n && s[i + 1] >= lo && s[i + 1] <= hi) {
        if (i + 2 < n && Is_Cont(s[i + 2])) {
          cp = ((b & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
          i += 3;
        } else {
          i += 2;
        }
      } else {
        i += 1;
      }
    } else if (b >= 0xF0 && b <= 0xF4) {
      unsigned lo = b == 0xF0 ? 0x90 : 0x80, hi = b == 0xF4 ? 0x8F : 0xBF;
      if (i + 1 < n && s[i + 1] >= lo && s[i + 1] <= hi) {
        if (i + 2 < n && Is_Cont(s[i + 2])) {
          if (i + 3 < n && Is_Cont(s[i + 3])) {
            cp = ((b & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F);
            i += 4;
          } else {
            i += 3;
          }
        } else {
          i += 2;
        }
      } else {
        i += 1;
      }
    } else {
      i += 1;
    }
    if (cp < 0x10000) {
      if (M == kChecked && o >= cap) return 0;
      if (M != kCount) d[o] = static_cast<wchar16>(cp);
      o += 1;
    } else {
      if (M == kChecked && o + 2 > cap) return 0;
      if (M != kCount) {
        cp -= 0x10000;
        d[o] = static_cast<wchar16>(0xD800 | (cp >> 10));
        d[o + 1] = static_cast<wchar16>(0xDC00 | (cp & 0x3FF));
      }
      o += 2;
    }
  }
  return o;
}

template <Mode M>
int W_To_Utf8(const wchar16* s, int n, unsigned char* d, int cap) {
  int i = 0, o = 0;
  while (i < n) {
    unsigned u = s[i++];
    int len;
    if (u < 0x80) {
      len = 1;
    } else if (u < 0x800) {
      len = 2;
    } else if (Is_Hi(u) && i < n && Is_Lo(s[i])) {
      u = 0x10000 + ((u - 0xD800) << 10) + (s[i++] - 0xDC00);
      len = 4;
    } else {
      if (Is_Hi(u) || Is_Lo(u)) u = 0xFFFD;
      len = 3;
    }
    if (M == kChecked && o + len > cap) return 0;
    if (M != kCount) {
      unsigned char* p = d + o;
      switch (len) {
        case 1: p[0] = static_cast<unsigned char>(u); break;
        case 2:
          p[0] = static_cast<unsigned char>(0xC0 | (u >> 6));
          p[1] = static_cast<unsigned char>(0x80 | (u & 0x3F));
          break;
        case 3:
          p[0] = static_cast<unsigned char>(0xE0 | (u >> 12));
          p[1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
          p[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
          break;
        default:
          p[0] = static_cast<unsigned char>(0xF0 | (u >> 18));
          p[1] = static_cast<unsigned char>(0x80 | ((u >> 12) & 0x3F));
          p[2] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
          p[3] = static_cast<unsigned char>(0x80 | (u & 0x3F));
      }
    }
    o += len;
  }
  return o;
}

int W_Length_With_Nul(const wchar16* s) {
  const wchar16* p = s;
  while (*p) ++p;
  return static_cast<int>(p - s) + 1;
}

}  // namespace

int Sys_Code_Page() { return g_sys_cp.load(std::memory_order_relaxed); }

int Set_Sys_Code_Page(int cp) {
  if (cp != ZEM_CP_GBK && cp != ZEM_CP_UTF8) return 0;
  g_sys_cp.store(cp, std::memory_order_relaxed);
  return 1;
}

const unsigned short* Gbk_Encode_Table() {
  static const Gbk_Encoder* encoder = new Gbk_Encoder();  // lives with the process
  return encoder->code;
}

unsigned Gbk_Of(wchar16 c) { return Gbk_Encode_Table()[c]; }

int Zem_MB_To_W(int cp, const char* src, int n, wchar16* dst, int cap) {
  if (!src || n == 0) return 0;
  if (n < 0) n = static_cast<int>(std::strlen(src)) + 1;
  cp = Resolve(cp);
  if (cp < 0) return 0;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  // Each byte gives at most one code unit, so a buffer of n units never overflows.
  if (cp == ZEM_CP_GBK) {
    if (!dst || cap <= 0) return Gbk_To_W<kCount>(s, n, nullptr, 0);
    return cap >= n ? Gbk_To_W<kWrite>(s, n, dst, cap) : Gbk_To_W<kChecked>(s, n, dst, cap);
  }
  if (!dst || cap <= 0) return Utf8_To_W<kCount>(s, n, nullptr, 0);
  return cap >= n ? Utf8_To_W<kWrite>(s, n, dst, cap) : Utf8_To_W<kChecked>(s, n, dst, cap);
}

int Zem_W_To_MB(int cp, const wchar16* src, int n, char* dst, int cap) {
  if (!src || n == 0) return 0;
  if (n < 0) n = W_Length_With_Nul(src);
  cp = Resolve(cp);
  if (cp < 0) return 0;
  unsigned char* d = reinterpret_cast<unsigned char*>(dst);
  // At most 2 bytes (GBK) or 3 bytes (UTF-8) per code unit.
  if (cp == ZEM_CP_GBK) {
    if (!dst || cap <= 0) return W_To_Gbk<kCount>(src, n, nullptr, 0);
    return cap / 2 >= n ? W_To_Gbk<kWrite>(src, n, d, cap) : W_To_Gbk<kChecked>(src, n, d, cap);
  }
  if (!dst || cap <= 0) return W_To_Utf8<kCount>(src, n, nullptr, 0);
  return cap / 3 >= n ? W_To_Utf8<kWrite>(src, n, d, cap) : W_To_Utf8<kChecked>(src, n, d, cap);
}
