// Growable narrow and wide text buffers.
#include "core/text/zstr.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

#include "core/text/text_util.h"
#include "core/text/wfunc.h"

namespace {

// True when p points into the size bytes at base: such text must be re-found after a reallocation.
bool Inside(const void* p, const void* base, size_t size) {
  uintptr_t a = reinterpret_cast<uintptr_t>(p), b = reinterpret_cast<uintptr_t>(base);
  return base && a >= b && a < b + size;
}

}  // namespace

// ---- tstr ----

tstr::~tstr() { Zem_Text_Free(buf_); }

int tstr::reserve(int n) {
  if (n <= len_) return 0;  // the used characters and the terminator must fit
  char* p = static_cast<char*>(Zem_Text_Alloc(static_cast<size_t>(n), "tstr::ma"));
  if (!p) return 0;
  std::memset(p, 0, static_cast<size_t>(n));
  if (len_ > 0) std::memcpy(p, buf_, static_cast<size_t>(len_));
  Zem_Text_Free(buf_);
  buf_ = p;
  cap_ = n;
  buf_[len_] = 0;
  return 1;
}

int tstr::set_length(int n) {
  // n equal to the capacity would leave no room for the terminator: refused like larger n.
  if (n < 0 || n >= cap_) return 0;
  len_ = n;
  buf_[n] = 0;
  return 1;
}

int tstr::erase_front(int n) {
  if (n <= 0) return 1;
  if (n >= len_) {
    len_ = 0;
    if (buf_) buf_[0] = 0;
    return 1;
  }
  std::memmove(buf_, buf_ + n, static_cast<size_t>(len_ - n) + 1);
  len_ -= n;
  return 1;
}

tstr& tstr::operator~() {
  Zem_Text_Free(buf_);
  buf_ = nullptr;
  cap_ = len_ = 0;
  return *this;
}

tstr& tstr::assign(const char* text) {
  if (buf_ && text == buf_) return *this;
  if (text && Inside(text, buf_, static_cast<size_t>(cap_))) {  // a tail of our own text
    size_t n = std::strlen(text);
    std::memmove(buf_, text, n + 1);
    len_ = static_cast<int>(n);
    return *this;
  }
  len_ = 0;
  if (buf_) buf_[0] = 0;
  return append(text);
}

tstr& tstr::append(const char* text) {
  if (!text || !*text) return *this;
  size_t n = std::strlen(text);
  if (n > static_cast<size_t>(INT_MAX)) return *this;
  return append(text, static_cast<int>(n));
}

tstr& tstr::append(const char* data, int n) {
  if (!data || n <= 0) return *this;
  if (static_cast<long long>(len_) + n >= static_cast<long long>(cap_) - 1) {
    long long extra = len_ / 12 >= 513 ? len_ / 12 : 512;
    long long want = (static_cast<long long>(len_) + n + extra) / 256 * 256;
    if (want > INT_MAX) return *this;
    // The data may be our own text: keep its offset across the reallocation.
    long long off = Inside(data, buf_, static_cast<size_t>(cap_)) ? data - buf_ : -1;
    if (!reserve(static_cast<int>(want))) return *this;
    if (off >= 0) data = buf_ + off;
  }
  std::memmove(buf_ + len_, data, static_cast<size_t>(n));
  len_ += n;
  buf_[len_] = 0;
  return *this;
}

tstr& tstr::assign(int v) {
  char tmp[24];
  Zem_Fmt_Int(tmp, sizeof tmp, v);
  return assign(tmp);
}

tstr& tstr::assign(double v) {
  char tmp[400];  // "%f" of the largest double has 316 characters
  Zem_Fmt_Double(tmp, sizeof tmp, v);
  return assign(tmp);
}

// ---- wstr ----

wstr::~wstr() { Zem_Text_Free(buf_); }

int wstr::reserve(int n) {
  if (n <= len_) return 0;
  wchar16* p = static_cast<wchar16*>(Zem_Text_Alloc(sizeof(wchar16) * static_cast<size_t>(n), "wstr::ma"));
  if (!p) return 0;
  std::memset(p, 0, sizeof(wchar16) * static_cast<size_t>(n));
  if (len_ > 0) std::memcpy(p, buf_, sizeof(wchar16) * static_cast<size_t>(len_));
  Zem_Text_Free(buf_);
  buf_ = p;
  cap_ = n;
  buf_[len_] = 0;
  return 1;
}

int wstr::set_length(int n) {
  if (n < 0 || n > len_) return 0;  // truncation only
  len_ = n;
  if (buf_) buf_[n] = 0;
  return 1;
}

wstr& wstr::operator~() {
  Zem_Text_Free(buf_);
  buf_ = nullptr;
  cap_ = len_ = 0;
  return *this;
}

wstr& wstr::assign(const wchar16* text) {
  if (buf_ && text == buf_) return *this;
  if (text && Inside(text, buf_, sizeof(wchar16) * static_cast<size_t>(cap_))) {
    int n = W_Len(text);
    std::memmove(buf_, text, sizeof(wchar16) * (static_cast<size_t>(n) + 1));
    len_ = n;
    return *this;
  }
  len_ = 0;
  if (buf_) buf_[0] = 0;
  return append(text);
}

wstr& wstr::append(const wchar16* text) {
  if (!text || !*text) return *this;
  return append(text, W_Len(text));
}

wstr& wstr::append(const wchar16* text, int n) {
  if (!text || n <= 0) return *this;
  if (static_cast<long long>(len_) + n >= static_cast<long long>(cap_) - 2) {
    long long want = (static_cast<long long>(len_) + n + 512) / 256 * 256;
    if (want > INT_MAX / static_cast<long long>(sizeof(wchar16))) return *this;
    long long off = Inside(text, buf_, sizeof(wchar16) * static_cast<size_t>(cap_)) ? text - buf_ : -1;
    if (!reserve(static_cast<int>(want))) return *this;
    if (off >= 0) text = buf_ + off;
  }
  std::memmove(buf_ + len_, text, sizeof(wchar16) * static_cast<size_t>(n));
  len_ += n;
  buf_[len_] = 0;
  return *this;
}

wstr& wstr::assign(const char* narrow) {
  map_wchar w(narrow);
  return assign(w.c_str());
}

wstr& wstr::append(const char* narrow) {
  map_wchar w(narrow);
  return append(w.c_str());
}

wstr& wstr::assign(int v) {
  return assign(map_wchar(v).c_str());
}

wstr& wstr::assign(double v) {
  char tmp[400];
  Zem_Fmt_Double(tmp, sizeof tmp, v);
  return assign(tmp);
}
