// Functions on NUL-terminated wide text, and the text collation used by sorts and look-ups: CJK
// ideographs (U+4E00..U+9FA5) order by their code page 936 bytes, everything else by code unit.
// Functions that take a second text also accept a map_wchar, so narrow callers convert on the way in.
#pragma once
#include "core/text/map_str.h"

int W_Len(const wchar16* s);                       // 0 for null
bool W_Is_Empty(const wchar16* s);                 // null or ""
wchar16* W_Cpy(wchar16* dst, const wchar16* src);  // returns the end (the NUL) of dst; null src gives ""
wchar16* W_Cat(wchar16* dst, const wchar16* src);  // returns the new end of dst; null src appends nothing
void W_NCpy(wchar16* dst, const wchar16* src, int n);       // exactly n units, no terminator
wchar16* W_LCpy(wchar16* dst, const wchar16* src, int n);   // at most n units (n <= 0: all), terminated; returns dst
void W_Fill(wchar16* dst, wchar16 c, int n);
const wchar16* W_Chr(const wchar16* s, wchar16 c);   // first occurrence, or null
const wchar16* W_RChr(const wchar16* s, wchar16 c);  // last occurrence, or null
const wchar16* W_Str(const wchar16* s, const map_wchar& sub);  // first occurrence; an empty sub gives s

namespace zem_collation {
// Two different code units, through the key table of the system code page (g_zem_collation_active:
// the GBK ranks under 936; under 65001 every unit is its own key, since UTF-8 bytes follow the code
// point). One table read per unit and no test of the code page: sorts spend their time here.
inline int Diff(wchar16 a, wchar16 b) { return g_zem_collation_active[a] < g_zem_collation_active[b] ? -1 : 1; }
}  // namespace zem_collation

// The collation of two code units: equal units 0; two ideographs by their narrow bytes in the system
// code page; otherwise the smaller unit first. Results are -1, 0 or 1. Inline, since sorts and
// look-ups spend their time here.
inline int W_Chr_Cmp(wchar16 a, wchar16 b) { return a == b ? 0 : zem_collation::Diff(a, b); }
// Whole texts by W_Chr_Cmp, the shorter first when one is the start of the other; null sorts before
// everything (two nulls are equal). W_NCmp looks at most n units (n <= 0 gives 0).
// Shaped for sorts, where the first units usually differ: equal units are skipped in a tight loop,
// and the first difference goes straight to the key table with no branch taken on the way.
inline int W_Cmp(const wchar16* a, const wchar16* b) {
  if (__builtin_expect(!a || !b, 0)) return a == b ? 0 : (a ? 1 : -1);
  while (*a == *b) {
    if (!*a) return 0;
    ++a;
    ++b;
  }
  return zem_collation::Diff(*a, *b);  // a terminator is unit 0: the shorter text first
}
int W_Cmp(const map_wchar& a, const map_wchar& b);
int W_NCmp(const wchar16* a, const wchar16* b, int n);
int W_NCmp(const map_wchar& a, const map_wchar& b, int n);

wchar16* W_RTrim(wchar16* s);  // space, tab, LF, CR; in place; returns s
wchar16* W_LTrim(wchar16* s);
wchar16* W_Trim(wchar16* s);
wchar16* W_Upper(wchar16* s);  // ASCII letters only
wchar16* W_Lower(wchar16* s);
wchar16* W_Remove_Chr(wchar16* s, wchar16 c);
// Replace in place, scanning on after each replacement; dst must have room for the result and must
// not overlap from or to. Return the number of replacements (an empty from replaces nothing). When
// scratch memory is short they print "ERROR: unable alloc memory for replace\n" and stop there.
int W_Replace_All(wchar16* dst, const map_wchar& from, const map_wchar& to);
int W_Replace_First(wchar16* dst, const map_wchar& from, const map_wchar& to);
// Read like "%d" / "%f" of the narrow text (C locale); null or empty gives 0; int range clamped.
int W_To_Int(const wchar16* s);
double W_To_Double(const wchar16* s);
