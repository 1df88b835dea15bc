// Table-driven conversions between code page 936 (glibc's GBK), UTF-8 and UTF-16. The rules for bad
// input are written in code_page.h; every converter below follows them in its counting pass and its
// writing pass alike, so that a size query always matches what a conversion writes.
#include "core/text/code_page.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "frame/log_mgr.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#include "core/text/gbk_table.inc"

int Resolve(int cp) {
  if (cp == ZEM_CP_SYSTEM) cp = Sys_Code_Page();
  return (cp == ZEM_CP_GBK || cp == ZEM_CP_UTF8) ? cp : -1;
}

// How a converter treats its output: count only, write with room guaranteed by the caller, or write
// while checking the room left.
enum Mode { kCount, kWrite, kChecked };

inline bool Is_Gbk_Trail(unsigned t) { return t >= 0x40 && t <= 0xFE && t != 0x7F; }
inline bool Is_Hi(unsigned u) { return (u & 0xFC00) == 0xD800; }
inline bool Is_Lo(unsigned u) { return (u & 0xFC00) == 0xDC00; }

// The code page 936 tables in the forms the converters index directly, built once from the generated
// tables:
//   code[u]   GBK code of code unit u: below 0x100 one byte, otherwise lead << 8 | trail; 0x3F if none;
//   store[u]  the same code as two bytes in memory order (lead first), to be copied as one 16-bit
//             value; a one-byte code is followed by a zero that the next character overwrites;
//   wide[t << 8 | b]  the code unit of the character starting with byte b when t follows: b itself
//             below 0x80, the pair's unit (or '?') for a lead byte, '?' when t cannot be a trail.
//             Indexed by the two bytes read as one little-endian 16-bit value.
struct Gbk_Tables {
  unsigned short code[0x10000];
  unsigned short store[0x10000];
  unsigned short wide[0x10000];
  Gbk_Tables() {
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
    for (unsigned u = 0; u < 0x10000; ++u) {
      unsigned c = code[u];
      unsigned char bytes[2] = {static_cast<unsigned char>(c < 0x100 ? c : c >> 8),
                                static_cast<unsigned char>(c < 0x100 ? 0 : c & 0xFF)};
      std::memcpy(&store[u], bytes, 2);
    }
    for (unsigned b = 0; b < 0x100; ++b) {
      for (unsigned t = 0; t < 0x100; ++t) {
        unsigned u = '?';
        if (b < 0x80) {
          u = b;
        } else if (b == 0x80) {
          u = kGbk_Single_80 ? kGbk_Single_80 : '?';
        } else if (b != 0xFF && Is_Gbk_Trail(t) && kGbk_Decode[b - 0x81][t - 0x40]) {
          u = kGbk_Decode[b - 0x81][t - 0x40];
        }
        wide[(t << 8) | b] = static_cast<unsigned short>(u);
      }
    }
  }
};

const Gbk_Tables& Tables() {
  static const Gbk_Tables* tables = new Gbk_Tables();  // lives with the process
  return *tables;
}

// Bit masks over one 64-byte block (bit j stands for byte j): bytes with the high bit, possible lead
// bytes (81..FE), and bytes that may follow a lead byte as its trail (40..7E, 80..FE).
struct Block_Masks {
  uint64_t high, lead, trail;
};

inline Block_Masks Masks_Of(const unsigned char* s) {
  uint64_t high = 0, b80 = 0, bff = 0, low_trail = 0;
#if defined(__SSE2__)
  const __m128i k80 = _mm_set1_epi8(static_cast<char>(0x80)), kff = _mm_set1_epi8(static_cast<char>(0xFF));
  const __m128i k3f = _mm_set1_epi8(0x3F), k7f = _mm_set1_epi8(0x7F);
  for (int k = 0; k < 4; ++k) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16 * k));
    int sh = 16 * k;
    high |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(v))) << sh;
    b80 |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, k80)))) << sh;
    bff |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, kff)))) << sh;
    // Signed compares: 40..7E are the positive bytes above 3F and below 7F.
    __m128i mid = _mm_and_si128(_mm_cmpgt_epi8(v, k3f), _mm_cmplt_epi8(v, k7f));
    low_trail |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(mid))) << sh;
  }
#else
  for (int j = 0; j < 64; ++j) {
    uint64_t bit = uint64_t{1} << j;
    unsigned b = s[j];
    if (b & 0x80) high |= bit;
    if (b == 0x80) b80 |= bit;
    if (b == 0xFF) bff |= bit;
    if (b >= 0x40 && b <= 0x7E) low_trail |= bit;
  }
#endif
  return {high, high & ~b80 & ~bff, low_trail | (high & ~bff)};
}

// The bits of a 16-bit value copied from two bytes that hold the second byte.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr uint16_t kSecond_Byte = 0x00FF;
#else
constexpr uint16_t kSecond_Byte = 0xFF00;
#endif

constexpr uint64_t kEven_Bits = 0x5555555555555555ULL;

// The character starts of one block. Every byte is either a character start or the trail of the lead
// byte before it. After a byte that cannot lead (ASCII, 80, FF) comes a start, so only runs of
// possible lead bytes need care: since every possible lead byte can also trail, a run pairs up from
// its first byte, and a run of odd length takes the byte after it as the last lead's trail when that
// byte can trail. carry says the previous block's last byte was a lead start (byte 0 may be its
// trail); it is updated for the next block.
inline uint64_t Char_Starts(const Block_Masks& m, uint64_t* carry) {
  uint64_t trail0 = *carry & m.trail & 1;
  uint64_t lead = m.lead & ~trail0;
  uint64_t run_starts = lead & ~(lead << 1);
  // Adding a run's first bit carries through the run and clears it: what is cleared are the runs
  // that start on an even bit.
  uint64_t even_runs = lead & ~(lead + (run_starts & kEven_Bits));
  uint64_t lead_starts = (even_runs & kEven_Bits) | (lead & ~even_runs & ~kEven_Bits);
  *carry = lead_starts >> 63;
  return ~(((lead_starts << 1) & m.trail) | trail0);
}

// Set bits of v. The portable form avoids the library call that __builtin_popcountll becomes without
// the popcnt instruction; Native uses the builtin (for code compiled with popcnt).
template <bool Native = false>
inline int Popcount(uint64_t v) {
  if (Native) return __builtin_popcountll(v);
  v = v - ((v >> 1) & 0x5555555555555555ULL);
  v = (v & 0x3333333333333333ULL) + ((v >> 2) & 0x3333333333333333ULL);
  v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<int>((v * 0x0101010101010101ULL) >> 56);
}

// The position of the lowest set bit of m; 63 when m is 0, so that a loop reading a few positions
// past the last set bit still reads inside the block.
inline unsigned Low_Bit(uint64_t m) { return static_cast<unsigned>(__builtin_ctzll(m | (uint64_t{1} << 63))); }

// Bytes j and j + 1 as the index of Gbk_Tables::wide (second byte high).
inline unsigned Pair_At(const unsigned char* p, size_t j) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  uint16_t pair;
  std::memcpy(&pair, p + j, 2);
  return pair;
#else
  return p[j] | (p[j + 1] << 8);
#endif
}

// Native: compiled for processors with popcnt and BMI1 (see Gbk_To_W_Write).
template <Mode M, bool Native = false>
__attribute__((always_inline)) inline int Gbk_To_W(const unsigned char* s, int n, wchar16* d, int cap) {
  const unsigned short* wide = Tables().wide;
  int i = 0, o = 0;
  uint64_t carry = 0;
  // Whole blocks while 8 bytes follow the block: a lead byte at the block's end reads the next one,
  // and the look-ups run four at a time, writing up to three units past the block's characters,
  // which the at least four characters of those 8 bytes overwrite afterwards.
  while (i + 72 <= n && (M != kChecked || o + 68 <= cap)) {
    Block_Masks m = Masks_Of(s + i);
    if (!m.high && !carry) {  // ASCII only
      if (M != kCount) {
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        for (int k = 0; k < 4; ++k) {
          __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 16 * k));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(d + o + 16 * k), _mm_unpacklo_epi8(v, zero));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(d + o + 16 * k + 8), _mm_unpackhi_epi8(v, zero));
        }
#else
        for (int k = 0; k < 64; ++k) d[o + k] = s[i + k];
#endif
      }
      i += 64;
      o += 64;
      continue;
    }
    uint64_t starts = Char_Starts(m, &carry);
    const int count = Popcount<Native>(starts);
    if (M != kCount) {
      // One table look-up per character start, four at a time with no loop for the remainder (one
      // branch that mispredicts per block instead of two); past the last start, Low_Bit reads
      // position 63 and the unit written is overwritten later (see the loop condition).
      const unsigned char* p = s + i;
      wchar16* out = d + o;
      for (int k = 0; k < count; k += 4) {
        unsigned j0 = Low_Bit(starts);
        starts &= starts - 1;
        unsigned j1 = Low_Bit(starts);
        starts &= starts - 1;
        unsigned j2 = Low_Bit(starts);
        starts &= starts - 1;
        unsigned j3 = Low_Bit(starts);
        starts &= starts - 1;
        out[k] = wide[Pair_At(p, j0)];
        out[k + 1] = wide[Pair_At(p, j1)];
        out[k + 2] = wide[Pair_At(p, j2)];
        out[k + 3] = wide[Pair_At(p, j3)];
      }
    }
    o += count;
    i += 64;
  }
  // The last block's final lead byte has already taken the next byte as its trail.
  if (carry && Is_Gbk_Trail(s[i])) ++i;
  while (i < n) {
    unsigned b = s[i];
    unsigned t = i + 1 < n ? s[i + 1] : 0;
    unsigned u = wide[(t << 8) | b];
    i += (b >= 0x81 && b <= 0xFE && Is_Gbk_Trail(t)) ? 2 : 1;
    if (M == kChecked && o >= cap) return 0;
    if (M != kCount) d[o] = static_cast<wchar16>(u);
    ++o;
  }
  return o;
}

// The writing passes of Gbk_To_W (room guaranteed or checked): on processors with popcnt and BMI1
// (all current x86-64 ones) copies compiled for them, which count a block's characters in one
// instruction and clear each lowest bit in one; elsewhere the portable form.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("popcnt,bmi"))) int Gbk_To_W_Native_Write(const unsigned char* s, int n, wchar16* d, int cap) {
  return Gbk_To_W<kWrite, true>(s, n, d, cap);
}

__attribute__((target("popcnt,bmi"))) int Gbk_To_W_Native_Checked(const unsigned char* s, int n, wchar16* d, int cap) {
  return Gbk_To_W<kChecked, true>(s, n, d, cap);
}

// ZEM_TEXT_PORTABLE set in the environment keeps the portable form, so its tests run on any machine.
bool Have_Popcnt_Bmi() {
  static const bool yes = !std::getenv("ZEM_TEXT_PORTABLE") && __builtin_cpu_supports("popcnt") &&
                          __builtin_cpu_supports("bmi");
  return yes;
}

int Gbk_To_W_Write(const unsigned char* s, int n, wchar16* d, int cap) {
  return Have_Popcnt_Bmi() ? Gbk_To_W_Native_Write(s, n, d, cap) : Gbk_To_W<kWrite>(s, n, d, cap);
}

int Gbk_To_W_Checked(const unsigned char* s, int n, wchar16* d, int cap) {
  return Have_Popcnt_Bmi() ? Gbk_To_W_Native_Checked(s, n, d, cap) : Gbk_To_W<kChecked>(s, n, d, cap);
}
#else
int Gbk_To_W_Write(const unsigned char* s, int n, wchar16* d, int cap) { return Gbk_To_W<kWrite>(s, n, d, cap); }
int Gbk_To_W_Checked(const unsigned char* s, int n, wchar16* d, int cap) { return Gbk_To_W<kChecked>(s, n, d, cap); }
#endif

// One character at i (a surrogate pair is one character): its code's bytes at d + o. Returns the
// bytes written, or 0 in checked mode when they do not fit. Advances i.
template <Mode M>
inline int Gbk_One(const Gbk_Tables& t, const wchar16* s, int n, int* i, unsigned char* d, int o, int cap) {
  unsigned u = s[(*i)++];
  if (Is_Hi(u) && *i < n && Is_Lo(s[*i])) ++*i;  // outside the BMP: one "?"
  unsigned c = t.code[u];
  int len = c < 0x100 ? 1 : 2;
  if (M == kChecked && o + len > cap) return 0;
  if (M != kCount) {
    if (len == 1) {
      d[o] = static_cast<unsigned char>(c);
    } else {
      d[o] = static_cast<unsigned char>(c >> 8);
      d[o + 1] = static_cast<unsigned char>(c);
    }
  }
  return len;
}

template <Mode M>
int W_To_Gbk(const wchar16* s, int n, unsigned char* d, int cap) {
  const Gbk_Tables& t = Tables();
  int i = 0, o = 0;
#if defined(__SSE2__)
  if (M != kCount) {
    // Eight units at a time while they surely fit (16 bytes): ASCII is packed, other chunks without
    // surrogates store each code as two bytes and move on by its length, the zero after a one-byte
    // code being overwritten by the next one.
    const __m128i bias = _mm_set1_epi16(-32768), ascii_max = _mm_set1_epi16(-32768 + 0x7F);
    const __m128i surr_bits = _mm_set1_epi16(static_cast<short>(0xF800));
    const __m128i surr = _mm_set1_epi16(static_cast<short>(0xD800));
    while (i + 8 <= n && (M == kWrite || cap - o >= 16)) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
      if (_mm_movemask_epi8(_mm_cmpgt_epi16(_mm_xor_si128(v, bias), ascii_max)) == 0) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + o), _mm_packus_epi16(v, v));
        i += 8;
        o += 8;
        continue;
      }
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, surr_bits), surr)) != 0) {
        int stop = i + 8;
        while (i < stop) o += Gbk_One<kWrite>(t, s, n, &i, d, o, cap);
        continue;
      }
      const wchar16* p = s + i;
      unsigned char* out = d + o;
      for (int k = 0; k < 8; ++k) {
        uint16_t v16 = t.store[p[k]];
        std::memcpy(out, &v16, 2);
        out += 1 + ((v16 & kSecond_Byte) != 0);
      }
      i += 8;
      o = static_cast<int>(out - d);
    }
  }
#endif
  while (i < n) {
    int len = Gbk_One<M>(t, s, n, &i, d, o, cap);
    if (M == kChecked && len == 0) return 0;
    o += len;
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

std::atomic<int> g_zem_sys_cp{ZEM_CP_GBK};

namespace {

typedef std::array<unsigned short, ZEM_CJK_LAST - ZEM_CJK_FIRST + 1> Cjk_Codes;
typedef std::array<unsigned short, 0x10000> Unit_Table;

// The GBK code of each ideograph: the generated decoding table inverted over the ideograph range,
// first code winning as in Gbk_Tables, then the generator's exceptions.
constexpr Cjk_Codes Make_Cjk_Codes() {
  Cjk_Codes codes{};
  for (int lead = 0; lead < 126; ++lead) {
    for (int trail = 0; trail < 191; ++trail) {
      unsigned u = kGbk_Decode[lead][trail];
      if (u >= ZEM_CJK_FIRST && u <= ZEM_CJK_LAST && !codes[u - ZEM_CJK_FIRST]) {
        codes[u - ZEM_CJK_FIRST] = static_cast<unsigned short>(((lead + 0x81) << 8) | (trail + 0x40));
      }
    }
  }
  for (int i = 0; kGbk_Encode_Extra[i][0]; ++i) {
    unsigned u = kGbk_Encode_Extra[i][0];
    if (u >= ZEM_CJK_FIRST && u <= ZEM_CJK_LAST) codes[u - ZEM_CJK_FIRST] = kGbk_Encode_Extra[i][1];
  }
  return codes;
}

constexpr Cjk_Codes kCjk_Codes = Make_Cjk_Codes();

// Every ideograph needs its own two-byte code: then numeric order of the codes is their byte order,
// and ranking them loses nothing.
constexpr bool Distinct_Two_Byte(const Cjk_Codes& codes) {
  Unit_Table seen{};
  for (unsigned short c : codes) {
    if (c < 0x8140 || seen[c]) return false;
    seen[c] = 1;
  }
  return true;
}
static_assert(Distinct_Two_Byte(kCjk_Codes), "the collation needs a distinct two-byte code for every ideograph");

constexpr Unit_Table Make_Collation_Key() {
  Unit_Table rank_of_code{};  // GBK code -> 1 + its rank among the ideographs' codes
  for (unsigned short c : kCjk_Codes) rank_of_code[c] = 1;
  unsigned next = 0;
  for (unsigned c = 0; c < 0x10000; ++c) {
    if (rank_of_code[c]) rank_of_code[c] = static_cast<unsigned short>(++next);
  }
  Unit_Table key{};
  for (unsigned u = 0; u < 0x10000; ++u) key[u] = static_cast<unsigned short>(u);
  for (unsigned i = 0; i < kCjk_Codes.size(); ++i) {
    key[ZEM_CJK_FIRST + i] = static_cast<unsigned short>(ZEM_CJK_FIRST + rank_of_code[kCjk_Codes[i]] - 1);
  }
  return key;
}

}  // namespace

constexpr Unit_Table g_zem_collation_key = Make_Collation_Key();
// Starts as the code page 936 keys: a copy of constant data, so it is ready before any constructor runs.
alignas(64) Unit_Table g_zem_collation_active = g_zem_collation_key;

int Set_Sys_Code_Page(int cp) {
  if (cp != ZEM_CP_GBK && cp != ZEM_CP_UTF8) return 0;
  for (unsigned u = ZEM_CJK_FIRST; u <= ZEM_CJK_LAST; ++u) {
    g_zem_collation_active[u] = cp == ZEM_CP_GBK ? g_zem_collation_key[u] : static_cast<unsigned short>(u);
  }
  g_zem_sys_cp.store(cp, std::memory_order_relaxed);
  return 1;
}

const unsigned short* Gbk_Encode_Table() { return Tables().code; }

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
    return cap >= n ? Gbk_To_W_Write(s, n, dst, cap) : Gbk_To_W_Checked(s, n, dst, cap);
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

std::string Zem_W_To_Utf8(const wchar16* w) {
  if (!w || !*w) return std::string();
  int n = Zem_W_To_MB(ZEM_CP_UTF8, w, -1, nullptr, 0);
  if (n <= 0) return std::string();
  std::string s(static_cast<size_t>(n), '\0');
  Zem_W_To_MB(ZEM_CP_UTF8, w, -1, &s[0], n);
  while (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

std::u16string Zem_Utf8_To_W(const std::string& s) {
  if (s.empty()) return std::u16string();
  int n = Zem_MB_To_W(ZEM_CP_UTF8, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::u16string w(static_cast<size_t>(n > 0 ? n : 0), u'\0');
  if (n > 0) Zem_MB_To_W(ZEM_CP_UTF8, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

namespace {

// What sequences a valid UTF-8 text holds beyond ASCII: 2 for two-byte ones, 4 for longer ones (0 when
// the text is not UTF-8 or plain ASCII).
int Utf8_Widths(const char* src, int n) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  int widths = 0;
  for (int i = 0; i < n;) {
    const unsigned b = s[i];
    if (b < 0x80) {
      ++i;
      continue;
    }
    int len = 0;
    unsigned lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      if (b == 0xE0) lo = 0xA0;  // overlong
      if (b == 0xED) hi = 0x9F;  // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;  // beyond U+10FFFF
    } else {
      return 0;
    }
    if (i + len > n || s[i + 1] < lo || s[i + 1] > hi) return 0;
    for (int k = 2; k < len; ++k)
      if (!Is_Cont(s[i + k])) return 0;
    widths |= len == 2 ? 2 : 4;
    i += len;
  }
  return widths;
}

}  // namespace

int Zem_Is_Utf8_Text(const char* src, int n) {
  if (!src) return 0;
  if (n < 0) n = static_cast<int>(std::strlen(src));
  return Utf8_Widths(src, n) ? 1 : 0;
}

int Zem_Note_Narrow_Text(int cp, const char* src, int n, const wchar16* out, int out_n) {
  if (!src || !out || Resolve(cp) != ZEM_CP_GBK) return 0;
  if (n < 0) n = static_cast<int>(std::strlen(src));
  int asked = 0, given = 0;
  for (int i = 0; i < n; ++i) asked += src[i] == '?';
  for (int i = 0; i < out_n; ++i) given += out[i] == u'?';
  // Chinese in UTF-8 is all three-byte sequences; GBK text is seldom valid UTF-8 that way, while GBK
  // characters often read as two-byte sequences, so those count only where "?" came out.
  const int widths = Utf8_Widths(src, n);
  if (!widths || (given <= asked && widths != 4)) return 0;
  static std::atomic<bool> told{false};
  if (!told.exchange(true)) {
    Log_Printf("narrow text is UTF-8, not code page 936: \"%.*s\" shows as other characters or \"?\"; "
               "pass wide text (u\"...\", QString) or text in the system code page (told once)\n", n, src);
  }
  return 1;
}
