// Small helpers shared by the data set's source files (not part of its interface).
#pragma once
#include <sys/mman.h>

#include <cstdint>

#include "core/data/dbdata.h"
#include "core/text/wfunc.h"

// One block of the pool; the room handed out follows the header.
struct DBDataMgr::Pool_Block {
  Pool_Block* next;
  size_t size;  // bytes of room after the header
  size_t used;
};

namespace dbdata {

// The value of a cell as text: absent reads as "".
inline const wchar16* Text(const DBIOCOLSTRU& c) { return c.value ? c.value : g_empty_w; }
// Code units of a cell's value (embedded zeros counted).
inline int Units(const DBIOCOLSTRU& c) { return c.value ? c.len - 1 : 0; }

// The text collation over whole texts (W_Cmp), as -1, 0 or 1.
inline int Coll_Cmp(const wchar16* a, const wchar16* b) {
  int r = W_Cmp(a, b);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

// A large fresh buffer is filled front to back at once: asking for large pages spares a page fault
// per 4 KB (a hint; nothing changes where the system has none to give).
inline void Large_Pages(void* p, size_t n) {
  const uintptr_t kHuge = uintptr_t{1} << 21;
  if (n < 2 * kHuge) return;
  uintptr_t a = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
  uintptr_t e = (reinterpret_cast<uintptr_t>(p) + n) & ~(kHuge - 1);
  if (e > a) madvise(reinterpret_cast<void*>(a), e - a, MADV_HUGEPAGE);
}

inline int Str_Len(const wchar16* s) {
  int n = 0;
  if (s) while (s[n]) ++n;
  return n;
}

}  // namespace dbdata
