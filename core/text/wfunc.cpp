// Wide-text functions and the text collation.
#include "core/text/wfunc.h"

#include <cstdio>

#include "core/text/text_util.h"

namespace {

bool Is_Blank(wchar16 c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

const wchar16* Find(const wchar16* s, const wchar16* sub) {
  if (!s) return nullptr;
  if (!sub || !*sub) return s;
  for (; *s; ++s) {
    if (*s != *sub) continue;
    const wchar16 *p = s, *q = sub;
    while (*q && *p == *q) ++p, ++q;
    if (!*q) return s;
  }
  return nullptr;
}

int Replace(wchar16* dst, const wchar16* from, const wchar16* to, bool all) {
  int from_len = W_Len(from), to_len = W_Len(to);
  if (!dst || from_len == 0) return 0;
  int done = 0;
  wchar16* pos = dst;
  while (wchar16* hit = const_cast<wchar16*>(Find(pos, from))) {
    // The tail from the hit on is saved first, since the replacement may be longer than the text
    // it replaces.
    int rest = W_Len(hit);
    wchar16* tail = static_cast<wchar16*>(Zem_Text_Alloc(sizeof(wchar16) * (static_cast<size_t>(rest) + 10), "W_Replace"));
    if (!tail) {
      std::printf("ERROR: unable alloc memory for replace\n");
      break;
    }
    W_Cpy(tail, hit);
    W_NCpy(hit, to, to_len);
    W_Cpy(hit + to_len, tail + from_len);
    Zem_Text_Free(tail);
    ++done;
    pos = hit + to_len;
    if (!all) break;
  }
  return done;
}

}  // namespace

int W_Len(const wchar16* s) {
  if (!s) return 0;
  const wchar16* p = s;
  while (*p) ++p;
  return static_cast<int>(p - s);
}

bool W_Is_Empty(const wchar16* s) { return !s || !*s; }

wchar16* W_Cpy(wchar16* dst, const wchar16* src) {
  if (!dst) return nullptr;
  if (src) {
    while ((*dst = *src++) != 0) ++dst;
  } else {
    *dst = 0;
  }
  return dst;
}

wchar16* W_Cat(wchar16* dst, const wchar16* src) {
  if (!dst) return nullptr;
  while (*dst) ++dst;
  if (!src) return dst;
  return W_Cpy(dst, src);
}

void W_NCpy(wchar16* dst, const wchar16* src, int n) {
  if (!dst || !src || n <= 0) return;
  std::memmove(dst, src, sizeof(wchar16) * static_cast<size_t>(n));
}

wchar16* W_LCpy(wchar16* dst, const wchar16* src, int n) {
  if (!dst) return nullptr;
  int i = 0;
  if (src) {
    for (; src[i] && (n <= 0 || i < n); ++i) dst[i] = src[i];
  }
  dst[i] = 0;
  return dst;
}

void W_Fill(wchar16* dst, wchar16 c, int n) {
  if (!dst) return;
  for (int i = 0; i < n; ++i) dst[i] = c;
}

const wchar16* W_Chr(const wchar16* s, wchar16 c) {
  if (!s) return nullptr;
  for (;; ++s) {
    if (*s == c) return s;
    if (!*s) return nullptr;
  }
}

const wchar16* W_RChr(const wchar16* s, wchar16 c) {
  if (!s) return nullptr;
  const wchar16* last = nullptr;
  for (;; ++s) {
    if (*s == c) last = s;
    if (!*s) return last;
  }
}

// Two different code units never collate equal, so the collation's equality is plain equality.
const wchar16* W_Str(const wchar16* s, const map_wchar& sub) { return Find(s, sub.c_str()); }

int W_Cmp(const map_wchar& a, const map_wchar& b) { return W_Cmp(a.c_str(), b.c_str()); }

int W_NCmp(const wchar16* a, const wchar16* b, int n) {
  if (n <= 0) return 0;
  if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
  for (int i = 0; i < n; ++i) {
    wchar16 x = a[i], y = b[i];
    if (x != y) return zem_collation::Diff(x, y);
    if (!x) return 0;
  }
  return 0;
}

int W_NCmp(const map_wchar& a, const map_wchar& b, int n) { return W_NCmp(a.c_str(), b.c_str(), n); }

wchar16* W_RTrim(wchar16* s) {
  if (!s) return s;
  int n = W_Len(s);
  while (n > 0 && Is_Blank(s[n - 1])) --n;
  s[n] = 0;
  return s;
}

wchar16* W_LTrim(wchar16* s) {
  if (!s) return s;
  int i = 0;
  while (Is_Blank(s[i])) ++i;
  if (i > 0) std::memmove(s, s + i, sizeof(wchar16) * (static_cast<size_t>(W_Len(s + i)) + 1));
  return s;
}

wchar16* W_Trim(wchar16* s) { return W_LTrim(W_RTrim(s)); }

wchar16* W_Upper(wchar16* s) {
  if (!s) return s;
  for (wchar16* p = s; *p; ++p) {
    if (*p >= u'a' && *p <= u'z') *p = static_cast<wchar16>(*p - 32);
  }
  return s;
}

wchar16* W_Lower(wchar16* s) {
  if (!s) return s;
  for (wchar16* p = s; *p; ++p) {
    if (*p >= u'A' && *p <= u'Z') *p = static_cast<wchar16>(*p + 32);
  }
  return s;
}

wchar16* W_Remove_Chr(wchar16* s, wchar16 c) {
  if (!s || !c) return s;
  wchar16* out = s;
  for (const wchar16* p = s; *p; ++p) {
    if (*p != c) *out++ = *p;
  }
  *out = 0;
  return s;
}

int W_Replace_All(wchar16* dst, const map_wchar& from, const map_wchar& to) {
  return Replace(dst, from.c_str(), to.c_str(), true);
}

int W_Replace_First(wchar16* dst, const map_wchar& from, const map_wchar& to) {
  return Replace(dst, from.c_str(), to.c_str(), false);
}

int W_To_Int(const wchar16* s) {
  if (W_Is_Empty(s)) return 0;
  map_char narrow(s);
  return Zem_Read_Int(narrow.c_str());
}

double W_To_Double(const wchar16* s) {
  if (W_Is_Empty(s)) return 0;
  map_char narrow(s);
  return Zem_Read_Double(narrow.c_str());
}
