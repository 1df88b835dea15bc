// String views and converters between narrow (code-page) and wide (UTF-16) text.
//
// map_char and map_wchar are passed by value through most interfaces so that a caller may give either
// width and the callee gets the width it works in, converted on the fly and freed automatically.
// A view owns exactly the buffer it allocated. Copying a view gives a non-owning alias of the same
// text that must not outlive the original; moving transfers ownership.
#pragma once
#include <cstring>
#include <utility>
#include "core/text/code_page.h"

extern const char g_empty_c[1];      // the static empty narrow text
extern const wchar16 g_empty_w[1];   // the static empty wide text

class map_char {
 public:
  map_char(const char* text) : text_(text ? text : g_empty_c), owned_(false) {}  // NOLINT
  map_char(const wchar16* text);  // NOLINT converts (system code page), owned
  // From a toolkit string (anything with utf16() and size(), such as QString): converted to the system
  // code page, owned.
  template <class S, class = decltype(std::declval<const S&>().utf16())>
  map_char(const S& s) : text_(g_empty_c), owned_(false) {  // NOLINT
    Take_Wide(reinterpret_cast<const wchar16*>(s.utf16()), static_cast<int>(s.size()));
  }
  map_char(const map_char& o) : text_(o.text_), owned_(false) {}
  map_char(map_char&& o) noexcept : text_(o.text_), owned_(o.owned_) { o.owned_ = false; }
  map_char& operator=(const map_char&) = delete;
  ~map_char();

  const char* c_str() const { return text_; }
  operator const char*() const { return text_; }  // NOLINT
  bool owned() const { return owned_; }

 private:
  void Take_Wide(const wchar16* s, int n);
  const char* text_;
  bool owned_;
};

class map_wchar {
 public:
  map_wchar(const char* text);  // NOLINT converts (system code page), owned; null gives ""
  map_wchar(const wchar16* text) : text_(text ? text : g_empty_w) {}  // NOLINT
  map_wchar(int value);  // NOLINT "%d" into the inline buffer
  // From a toolkit string (anything with utf16() and size(), such as QString): an owned copy.
  template <class S, class = decltype(std::declval<const S&>().utf16())>
  map_wchar(const S& s) {  // NOLINT
    Take_Copy(reinterpret_cast<const wchar16*>(s.utf16()), static_cast<int>(s.size()));
  }
  map_wchar(const map_wchar& o) : text_(o.text_), narrow_(o.narrow_) {
    if (o.text_ == o.inline_) { std::memcpy(inline_, o.inline_, sizeof inline_); text_ = inline_; }
  }
  map_wchar(map_wchar&& o) noexcept;
  map_wchar& operator=(const map_wchar&) = delete;
  ~map_wchar();

  const wchar16* c_str() const { return text_; }
  operator const wchar16*() const { return text_; }  // NOLINT
  const char* narrow_source() const { return narrow_; }
  bool owned() const { return owned_; }

 private:
  void Take_Copy(const wchar16* s, int n);
  const wchar16* text_ = g_empty_w;
  const char* narrow_ = nullptr;
  wchar16 inline_[20] = {0};
  bool owned_ = false;
};

// Narrow to wide converter with an explicit code page (0: system code page).
class tc2u {
 public:
  explicit tc2u(int code_page = ZEM_CP_SYSTEM) : cp_(code_page) {}
  ~tc2u();
  tc2u(const tc2u&) = delete;
  tc2u& operator=(const tc2u&) = delete;
  // Converts the whole text (null gives ""); returns the wide text, never null.
  const wchar16* operator=(const char* text);
  const wchar16* Assign(const char* text) { return *this = text; }
  const wchar16* Assign(const char* text, int bytes);  // exactly that many bytes (< 0: the whole text)
  const wchar16* c_str() const { return text_; }
  void Set_Code_Page(int cp) { cp_ = cp; }
  int Code_Page() const { return cp_; }

 private:
  wchar16* owned_ = nullptr;
  const wchar16* text_ = g_empty_w;
  int cp_;
};

// Wide to narrow converter with an explicit code page (0: system code page).
class tu2c {
 public:
  explicit tu2c(int code_page = ZEM_CP_SYSTEM) : cp_(code_page) {}
  ~tu2c();
  tu2c(const tu2c&) = delete;
  tu2c& operator=(const tu2c&) = delete;
  // Converts; returns the narrow text, or null when the conversion gives nothing (c_str() is then "").
  const char* operator=(const wchar16* text);
  const char* Assign(const wchar16* text) { return *this = text; }
  const char* c_str() const { return text_; }
  void Set_Code_Page(int cp) { cp_ = cp; }
  int Code_Page() const { return cp_; }

 private:
  char* owned_ = nullptr;
  const char* text_ = g_empty_c;
  int cp_;
};

// Temporary conversions through two process-wide rings of 60 slots. A result stays valid until 60
// further conversions on the same ring (by any thread); copy what must live longer, never free it.
// Each call takes slot counter % 60 under the ring's lock and counts on; past 10000 the counter is cut
// back modulo 60, so the slots keep their round. A null text gives "" (never null).
const char* Tmp_W2C(const wchar16* text);    // wide to narrow, system code page
const wchar16* Tmp_C2W(const char* text);    // narrow to wide, code page 936
// Diagnostics: a ring's call counter, and the text now held by one of its slots (0..59; "" when the
// slot is still empty or out of range).
int Tmp_W2C_Counter();
int Tmp_C2W_Counter();
const char* Tmp_W2C_Slot(int slot);
const wchar16* Tmp_C2W_Slot(int slot);
template <class S, class = decltype(std::declval<const S&>().utf16())>
const char* Tmp_U2C(const S& s) {            // toolkit string to narrow
  map_wchar w(s);
  return Tmp_W2C(w.c_str());
}

// Copies src into dst keeping at most max bytes without splitting a double-byte character.
// Null dst returns src; null src empties dst; max < 1 copies all. Returns dst.
char* Str_Copy_Limit(char* dst, int max, const char* src);
