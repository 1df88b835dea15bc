// Array_Str and TSeparate_Str.
#include "core/text/separate_str.h"

#include <cstdlib>
#include <cstring>

// ---- Array_Str ----

int Array_Str::Add(const char* text) {
  if (!text) return 0;
  size_t n = std::strlen(text);
  char* copy = static_cast<char*>(Allocator()(n + 1));
  if (!copy) return 0;
  std::memcpy(copy, text, n + 1);
  OT_Array<char*>::Add(copy);
  return 1;
}

int Array_Str::Free_All() {
  for (int i = 0; i < Count(); ++i) {
    if (char* s = Get(i)) Releaser()(s);
  }
  OT_Array<char*>::Clear();
  return 1;
}

// ---- TSeparate_Str ----

namespace {

bool Is_Blank(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

TSeparate_Str::TSeparate_Str(const char* separators, int raw) : OT_Array<LSeparate_Item_Stru*>(30, 20), raw_(raw) {
  if (separators) {
    size_t n = std::strlen(separators);
    if (n > sizeof seps_ - 1) n = sizeof seps_ - 1;
    std::memcpy(seps_, separators, n);
    seps_[n] = 0;
  }
}

TSeparate_Str::~TSeparate_Str() { Clear(); }

int TSeparate_Str::Add_Sep(char c) {
  if (!c || std::strchr(seps_, c)) return 1;
  size_t n = std::strlen(seps_);
  if (n >= sizeof seps_ - 1) return 0;  // the set holds at most 59 characters
  seps_[n] = c;
  seps_[n + 1] = 0;
  return 1;
}

int TSeparate_Str::Clear() {
  for (int i = 0; i < Count(); ++i) {
    if (LSeparate_Item_Stru* item = Get(i)) {
      std::free(item->text);
      std::free(item->text2);
      std::free(item);
    }
  }
  OT_Array<LSeparate_Item_Stru*>::Clear();
  return 1;
}

int TSeparate_Str::Separate(const char* text) {
  if (!text) return 1;
  bool is_sep[256] = {};
  for (const char* p = seps_; *p; ++p) is_sep[static_cast<unsigned char>(*p)] = true;

  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  // Appends the item [start, end) with its separator; 0 when memory is short.
  auto close = [&](const unsigned char* start, const unsigned char* end, int sep) -> int {
    if (!raw_) {
      while (end - start > 1 && Is_Blank(end[-1])) --end;  // never beyond the first character
    }
    size_t n = static_cast<size_t>(end - start);
    LSeparate_Item_Stru* item = static_cast<LSeparate_Item_Stru*>(std::calloc(1, sizeof(LSeparate_Item_Stru)));
    char* copy = static_cast<char*>(std::malloc(n + 1));
    if (!item || !copy) {
      std::free(item);
      std::free(copy);
      return 0;
    }
    std::memcpy(copy, start, n);
    copy[n] = 0;
    item->text = copy;
    item->sep = sep;
    OT_Array<LSeparate_Item_Stru*>::Add(item);
    return 1;
  };

  if (!raw_) {
    while (Is_Blank(*p)) ++p;
  }
  if (!*p) return 1;
  const unsigned char* start = p;
  for (;;) {
    unsigned char c = *p;
    if (is_sep[c]) {
      if (!close(start, p, c)) return 0;
      ++p;
      if (!raw_) {
        while (Is_Blank(*p)) ++p;
      }
      if (!*p) return 1;  // a separator at the very end adds no empty item
      start = p;
      continue;
    }
    // A high-bit byte starts a two-byte character whose second byte is never looked at, so a
    // second byte equal to a separator does not split; a lead byte just before the end is alone.
    p += ((c & 0x80) && p[1]) ? 2 : 1;
    if (!*p) return close(start, p, 0);
  }
}
