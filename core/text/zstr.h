// tstr and wstr: growable narrow and wide text buffers. The buffer always holds a NUL at index
// length once it exists; c_str() is never null. Growth is by at least 512 characters, cut to a
// multiple of 256, so repeated appends stay linear.
#pragma once
#include "core/text/map_str.h"

class tstr {
 public:
  tstr() = default;
  tstr(const char* text) { append(text); }  // NOLINT
  tstr(const tstr& o) { append(o.c_str()); }
  tstr& operator=(const tstr& o) { return assign(o.c_str()); }
  ~tstr();

  int length() const { return len_; }
  int capacity() const { return cap_; }
  const char* c_str() const { return buf_ ? buf_ : g_empty_c; }
  char* data() { return buf_; }
  int reserve(int n);
  int set_length(int n);
  int erase_front(int n);
  tstr& operator~();   // frees the buffer
  tstr& clear() { return ~*this; }
  tstr& assign(const char* text);
  tstr& operator=(const char* text) { return assign(text); }
  tstr& append(const char* text);
  tstr& append(const char* data, int n);
  tstr& operator+=(const char* text) { return append(text); }
  tstr& assign(int v);
  tstr& assign(double v);
  tstr& operator=(int v) { return assign(v); }
  tstr& operator=(double v) { return assign(v); }

 private:
  char* buf_ = nullptr;
  int cap_ = 0;
  int len_ = 0;
};

class wstr {
 public:
  wstr() = default;
  wstr(const wchar16* text) { append(text); }  // NOLINT
  wstr(const wstr& o) { append(o.c_str()); }
  wstr& operator=(const wstr& o) { return assign(o.c_str()); }
  ~wstr();

  int length() const { return len_; }
  int capacity() const { return cap_; }
  const wchar16* c_str() const { return buf_ ? buf_ : g_empty_w; }
  wchar16* data() { return buf_; }
  int reserve(int n);
  int set_length(int n);
  wstr& operator~();
  wstr& clear() { return ~*this; }
  wstr& assign(const wchar16* text);
  wstr& operator=(const wchar16* text) { return assign(text); }
  wstr& append(const wchar16* text);
  wstr& append(const wchar16* text, int n);
  wstr& operator+=(const wchar16* text) { return append(text); }
  wstr& assign(const char* narrow);  // converted with the system code page
  wstr& append(const char* narrow);
  wstr& operator=(const char* narrow) { return assign(narrow); }
  wstr& assign(int v);
  wstr& assign(double v);

 private:
  wchar16* buf_ = nullptr;
  int cap_ = 0;
  int len_ = 0;
};
