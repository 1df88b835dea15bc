// Small helpers shared by the data set's source files (not part of its interface).
#pragma once
#include "core/data/dbdata.h"
#include "core/text/wfunc.h"

namespace dbdata {

// The value of a cell as text: absent reads as "".
inline const wchar16* Text(const DBIOCOLSTRU& c) { return c.value ? c.value : g_empty_w; }
// Code units of a cell's value (embedded zeros counted).
inline int Units(const DBIOCOLSTRU& c) { return c.value ? c.len - 1 : 0; }

// The text collation over whole texts, as W_Cmp: equal code units are skipped cheaply and the first
// differing pair is decided by W_Chr_Cmp (a terminator counts as code unit 0). -1, 0 or 1.
inline int Coll_Cmp(const wchar16* a, const wchar16* b) {
  for (;; ++a, ++b) {
    wchar16 x = *a, y = *b;
    if (x == y) {
      if (!x) return 0;
      continue;
    }
    int r = W_Chr_Cmp(x, y);
    if (r) return r < 0 ? -1 : 1;
  }
}

inline int Str_Len(const wchar16* s) {
  int n = 0;
  if (s) while (s[n]) ++n;
  return n;
}

}  // namespace dbdata
