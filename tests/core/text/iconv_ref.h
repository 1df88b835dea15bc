// glibc iconv as the reference the code-page tables must reproduce.
#pragma once
#include <iconv.h>

#include <string>

#include "core/text/code_page.h"

// Converts with iconv; false when iconv rejects any of the input.
inline bool Iconv_Run(const char* to, const char* from, const std::string& in, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out->assign(in.size() * 4 + 16, '\0');
  char* ip = const_cast<char*>(in.data());
  char* op = &(*out)[0];
  size_t il = in.size(), ol = out->size();
  size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1) || il != 0) return false;
  out->resize(out->size() - ol);
  return true;
}

inline bool Iconv_Gbk_To_W(const std::string& gbk, std::u16string* w) {
  std::string bytes;
  if (!Iconv_Run("UTF-16LE", "GBK", gbk, &bytes)) return false;
  w->assign(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < w->size(); ++i)
    (*w)[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) | (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return true;
}

inline std::string Le_Bytes(const std::u16string& w) {
  std::string in;
  for (char16_t c : w) in += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return in;
}

inline bool Iconv_W_To_Gbk(const std::u16string& w, std::string* gbk) {
  return Iconv_Run("GBK", "UTF-16LE", Le_Bytes(w), gbk);
}

// The framework's converters on whole std::strings, through their size queries.
inline std::u16string Mb_To_W(int cp, const std::string& s) {
  int n = Zem_MB_To_W(cp, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::u16string w(static_cast<size_t>(n), u'\0');
  if (n > 0) Zem_MB_To_W(cp, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

inline std::string W_To_Mb(int cp, const std::u16string& w) {
  int n = Zem_W_To_MB(cp, w.data(), static_cast<int>(w.size()), nullptr, 0);
  std::string s(static_cast<size_t>(n), '\0');
  if (n > 0) Zem_W_To_MB(cp, w.data(), static_cast<int>(w.size()), &s[0], n);
  return s;
}
