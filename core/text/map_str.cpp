// String views, converters and the temporary conversion rings.
#include "core/text/map_str.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>

#include "core/text/text_util.h"

const char g_empty_c[1] = {0};
const wchar16 g_empty_w[1] = {0};

namespace {

// n bytes into a fresh zero-filled buffer of n + 1 code units (the zero fill is the terminator);
// null when memory is short.
wchar16* Narrow_To_Wide(int cp, const char* s, int n) {
  wchar16* buf = static_cast<wchar16*>(std::calloc(static_cast<size_t>(n) + 1, sizeof(wchar16)));
  if (buf && n > 0) Zem_Note_Narrow_Text(cp, s, n, buf, Zem_MB_To_W(cp, s, n, buf, n));
  return buf;
}

// The whole text into a fresh buffer of m + 1 bytes, m being the converted size with its terminator;
// null when the conversion gives nothing (null text) or memory is short.
char* Wide_To_Narrow(int cp, const wchar16* s) {
  int m = Zem_W_To_MB(cp, s, -1, nullptr, 0);
  if (m <= 0) return nullptr;
  char* buf = static_cast<char*>(std::calloc(static_cast<size_t>(m) + 1, 1));
  if (buf) Zem_W_To_MB(cp, s, -1, buf, m);
  return buf;
}

}  // namespace

// ---- map_char ----

map_char::map_char(const wchar16* text) : text_(g_empty_c), owned_(false) {
  if (!text) return;
  if (char* buf = Wide_To_Narrow(ZEM_CP_SYSTEM, text)) {
    text_ = buf;
    owned_ = true;
  }
}

void map_char::Take_Wide(const wchar16* s, int n) {
  if (!s || n <= 0) return;
  const int m = Zem_W_To_MB(ZEM_CP_SYSTEM, s, n, nullptr, 0);
  char* buf = m > 0 ? static_cast<char*>(std::calloc(static_cast<size_t>(m) + 1, 1)) : nullptr;
  if (!buf) return;
  Zem_W_To_MB(ZEM_CP_SYSTEM, s, n, buf, m);
  text_ = buf;
  owned_ = true;
}

map_char::~map_char() {
  if (owned_) std::free(const_cast<char*>(text_));
}

// ---- map_wchar ----

map_wchar::map_wchar(const char* text) {
  if (!text) return;
  if (wchar16* buf = Narrow_To_Wide(ZEM_CP_SYSTEM, text, static_cast<int>(std::strlen(text)))) {
    text_ = buf;
    owned_ = true;
  }
  narrow_ = text;
}

map_wchar::map_wchar(int value) {
  char tmp[20];
  int n = Zem_Fmt_Int(tmp, sizeof tmp, value);
  for (int i = 0; i < n; ++i) inline_[i] = static_cast<wchar16>(tmp[i]);
  inline_[n] = 0;
  text_ = inline_;
}

map_wchar::map_wchar(map_wchar&& o) noexcept : text_(o.text_), narrow_(o.narrow_), owned_(o.owned_) {
  if (o.text_ == o.inline_) {
    std::memcpy(inline_, o.inline_, sizeof inline_);
    text_ = inline_;
  }
  o.owned_ = false;
}

map_wchar::~map_wchar() {
  if (owned_) std::free(const_cast<wchar16*>(text_));
}

void map_wchar::Take_Copy(const wchar16* s, int n) {
  if (n < 0) n = 0;
  wchar16* buf = static_cast<wchar16*>(std::calloc(static_cast<size_t>(n) + 1, sizeof(wchar16)));
  if (!buf) return;
  if (s && n > 0) std::memcpy(buf, s, sizeof(wchar16) * static_cast<size_t>(n));
  text_ = buf;
  owned_ = true;
}

// ---- tc2u / tu2c ----

tc2u::~tc2u() { std::free(owned_); }

const wchar16* tc2u::operator=(const char* text) {
  return Assign(text, text ? static_cast<int>(std::strlen(text)) : 0);
}

const wchar16* tc2u::Assign(const char* text, int bytes) {
  wchar16* fresh = nullptr;
  if (text) {
    if (bytes < 0) bytes = static_cast<int>(std::strlen(text));
    fresh = Narrow_To_Wide(cp_, text, bytes);
  }
  std::free(owned_);
  owned_ = fresh;
  text_ = fresh ? fresh : g_empty_w;
  return text_;
}

tu2c::~tu2c() { std::free(owned_); }

const char* tu2c::operator=(const wchar16* text) {
  char* fresh = text ? Wide_To_Narrow(cp_, text) : nullptr;
  std::free(owned_);
  owned_ = fresh;
  text_ = fresh ? fresh : g_empty_c;
  return fresh;
}

// ---- temporary rings ----

namespace {

constexpr int kRing_Slots = 60;
constexpr int kRing_Counter_Cut = 10000;

template <class Conv>
struct Ring {
  std::mutex lock;
  Conv* slot[kRing_Slots] = {};
  int counter = 0;

  // Slot selection and the counter rule; called under the lock. Null only when memory is short.
  Conv* Next(int code_page) {
    int i = counter % kRing_Slots;
    ++counter;
    if (!slot[i]) slot[i] = new (std::nothrow) Conv(code_page);
    if (counter > kRing_Counter_Cut) counter %= kRing_Slots;
    return slot[i];
  }
};

// Created on first use and kept for the process: a slot's text may be read until the very end.
Ring<tu2c>& Ring_N() {
  static Ring<tu2c>* r = new Ring<tu2c>();
  return *r;
}

Ring<tc2u>& Ring_W() {
  static Ring<tc2u>* r = new Ring<tc2u>();
  return *r;
}

}  // namespace

const char* Tmp_W2C(const wchar16* text) {
  Ring<tu2c>& r = Ring_N();
  std::lock_guard<std::mutex> hold(r.lock);
  tu2c* conv = r.Next(ZEM_CP_SYSTEM);
  if (!conv) return g_empty_c;
  *conv = text;
  return conv->c_str();
}

const wchar16* Tmp_C2W(const char* text) {
  Ring<tc2u>& r = Ring_W();
  std::lock_guard<std::mutex> hold(r.lock);
  tc2u* conv = r.Next(ZEM_CP_GBK);
  if (!conv) return g_empty_w;
  return *conv = text;
}

int Tmp_W2C_Counter() {
  Ring<tu2c>& r = Ring_N();
  std::lock_guard<std::mutex> hold(r.lock);
  return r.counter;
}

int Tmp_C2W_Counter() {
  Ring<tc2u>& r = Ring_W();
  std::lock_guard<std::mutex> hold(r.lock);
  return r.counter;
}

const char* Tmp_W2C_Slot(int slot) {
  if (slot < 0 || slot >= kRing_Slots) return g_empty_c;
  Ring<tu2c>& r = Ring_N();
  std::lock_guard<std::mutex> hold(r.lock);
  return r.slot[slot] ? r.slot[slot]->c_str() : g_empty_c;
}

const wchar16* Tmp_C2W_Slot(int slot) {
  if (slot < 0 || slot >= kRing_Slots) return g_empty_w;
  Ring<tc2u>& r = Ring_W();
  std::lock_guard<std::mutex> hold(r.lock);
  return r.slot[slot] ? r.slot[slot]->c_str() : g_empty_w;
}

// ---- Str_Copy_Limit ----

char* Str_Copy_Limit(char* dst, int max, const char* src) {
  if (!dst) return const_cast<char*>(src);
  if (!src) {
    dst[0] = 0;
    return dst;
  }
  size_t len = std::strlen(src);
  if (max < 1 || len <= static_cast<size_t>(max)) {
    std::memmove(dst, src, len + 1);
    return dst;
  }
  // The longest prefix of whole characters within max bytes; a high-bit byte starts a pair.
  int keep = 0;
  while (keep < max) {
    int step = (static_cast<unsigned char>(src[keep]) & 0x80) ? 2 : 1;
    if (keep + step > max) break;
    keep += step;
  }
  std::memmove(dst, src, static_cast<size_t>(keep));
  dst[keep] = 0;
  return dst;
}
