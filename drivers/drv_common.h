// What both bundled driver libraries share: the data-operation table they were handed, the table of
// open sessions (the handle a caller keeps in tag 0 of its data set), text conversion between the
// databases' UTF-8 and the data set's UTF-16, and the reading of statement texts.
#pragma once
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "core/data/db_connect.h"
#include "core/data/db_stmt.h"
#include "core/text/code_page.h"
#include "frame/wait.h"

#define ZEM_DRV_EXPORT extern "C" __attribute__((visibility("default")))

namespace drv {

// The table of the module that loaded the driver; null until _Set_Data_Oper_Handle. Nothing can be
// written into a data set before that, so every entry refuses to run (0) while it is null.
inline const TDb_Data_Oper*& Table() {
  static const TDb_Data_Oper* t = nullptr;
  return t;
}

// Open sessions by handle. A session is used by one thread at a time (the pool binds it), so only the
// map itself is locked.
template <class S>
class Sessions {
 public:
  int Add(S* s) {
    std::lock_guard<std::mutex> g(lock_);
    int id = next_++;
    map_[id] = s;
    return id;
  }
  S* Get(int id) {
    std::lock_guard<std::mutex> g(lock_);
    auto it = map_.find(id);
    return it == map_.end() ? nullptr : it->second;
  }
  S* Take(int id) {
    std::lock_guard<std::mutex> g(lock_);
    auto it = map_.find(id);
    if (it == map_.end()) return nullptr;
    S* s = it->second;
    map_.erase(it);
    return s;
  }

 private:
  std::mutex lock_;
  std::map<int, S*> map_;
  int next_ = 1;
};

inline std::string To_Utf8(const wchar16* w) {
  if (!w || !*w) return std::string();
  int n = 0;
  while (w[n]) n++;
  std::string s(static_cast<size_t>(n) * 3, '\0');
  int m = Zem_W_To_MB(ZEM_CP_UTF8, w, n, &s[0], static_cast<int>(s.size()));
  s.resize(m > 0 ? static_cast<size_t>(m) : 0);
  return s;
}

// UTF-8 bytes into a reusable wide buffer; returns the code units (n bytes never give more than n).
inline int From_Utf8(const char* s, int n, std::vector<wchar16>* buf) {
  if (n <= 0) return 0;
  if (buf->size() < static_cast<size_t>(n) + 1) buf->resize(static_cast<size_t>(n) + 1);
  return Zem_MB_To_W(ZEM_CP_UTF8, s, n, buf->data(), n);
}

inline std::u16string W(const std::string& utf8) {
  std::vector<wchar16> buf;
  int n = From_Utf8(utf8.data(), static_cast<int>(utf8.size()), &buf);
  return std::u16string(buf.data(), static_cast<size_t>(n));
}

// Empties the data set for a statement's result, keeping the session handle and the call's bound
// that came with it.
inline void Fresh_Result(void* ds) {
  int session = Table()->Get_Tag(ds, 0), bound = Table()->Get_Tag(ds, 2);
  Table()->CFree(ds);
  Table()->Set_Tag(ds, 0, session);
  Table()->Set_Tag(ds, 2, bound);
}

// The waiting function of the module that loaded the driver (its optional entry _Set_Wait_Handle):
// the host's wait box on its user-interface thread, poll(2) elsewhere. Until it is handed one, the
// driver polls by itself and shows nothing.
inline Zem_Wait_Fn& Wait_Fn() {
  static Zem_Wait_Fn f = Zem_Wait_Poll;
  return f;
}

// The box's title while a call waits for the database.
inline const char16_t* Waiting_Title() { return u"正在等待数据库…"; }

// A bound in ms as seconds for messages ("1.5", "300").
inline std::string Seconds_Text(int ms) {
  char b[32];
  std::snprintf(b, sizeof b, "%g", ms / 1000.0);
  return b;
}

inline void Set_Error(void* ds, int code, const std::string& utf8_msg) {
  Table()->Set_Error(ds, code, W(utf8_msg).c_str());
}

// Statement kinds (core/data/db_stmt.h), under the names the drivers use.
using Stmt = Db_Stmt;
inline Stmt Classify(const wchar16* sql) { return Db_Classify(sql); }

// The hidden column that grids add to mark rows left out of totals; it never goes to a table.
inline bool Skip_Column(const wchar16* name) {
  static const char16_t k[] = u"skip_sum_flag";
  if (!name) return true;
  int i = 0;
  for (; k[i]; i++) {
    wchar16 c = name[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<wchar16>(c - u'A' + u'a');
    if (c != k[i]) return false;
  }
  return name[i] == 0;
}

// Field descriptor from a declared column type (SQLite declarations, also usable for any SQL type
// text): letter, size and decimals.
struct Field_Kind {
  char type = 'S';
  int size = 0;
  int decsize = 0;
};

inline Field_Kind Kind_From_Decl(const char* decl) {
  Field_Kind k;
  if (!decl || !*decl) return k;
  std::string u;
  for (const char* p = decl; *p; ++p) u.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(*p))));
  int a = 0, b = 0;
  size_t par = u.find('(');
  int nums = 0;
  if (par != std::string::npos) {
    const char* p = u.c_str() + par + 1;
    a = std::atoi(p);
    nums = 1;
    if (const char* c = std::strchr(p, ',')) {
      b = std::atoi(c + 1);
      nums = 2;
    }
  }
  auto has = [&u](const char* s) { return u.find(s) != std::string::npos; };
  if (has("DATE") || has("TIME")) {
    k.type = 'D';
    k.size = (has("DATETIME") || has("TIMESTAMP")) ? 19 : (has("TIME") && !has("DATE") ? 8 : 10);
  } else if (has("INT")) {
    k.type = 'I';
    k.size = (has("BIGINT") || has("INT8")) ? 19 : (has("SMALLINT") || has("INT2")) ? 5 : has("TINYINT") ? 3 : 10;
  } else if (has("CHAR") || has("CLOB") || has("TEXT")) {
    k.size = nums >= 1 ? a : 0;
  } else if (has("REAL") || has("FLOA") || has("DOUB")) {
    k.type = 'F';
    k.size = has("REAL") && !has("DOUB") ? 7 : 15;
  } else if (has("DEC") || has("NUMERIC") || has("MONEY") || has("NUMBER")) {
    k.type = 'F';
    k.size = nums >= 1 ? a : 0;
    k.decsize = nums >= 2 ? b : (has("MONEY") ? 2 : 0);
  } else if (has("BOOL")) {
    k.type = 'I';
    k.size = 1;
  }
  return k;
}

// Text for a code that has no number of its own (SQLSTATE): all digits read as decimal, otherwise the
// five characters read as a base-36 number, so every state keeps a distinct nonzero code.
inline int Code_From_State(const char* state) {
  if (!state || !*state) return -1;
  bool digits = true;
  for (const char* p = state; *p; ++p) digits = digits && std::isdigit(static_cast<unsigned char>(*p));
  if (digits) {
    int v = std::atoi(state);
    return v ? v : -1;
  }
  long v = 0;
  for (const char* p = state; *p && v < 100000000; ++p) {
    int c = std::toupper(static_cast<unsigned char>(*p));
    int d = std::isdigit(c) ? c - '0' : (c >= 'A' && c <= 'Z') ? c - 'A' + 10 : 0;
    v = v * 36 + d;
  }
  return static_cast<int>(v);
}

}  // namespace drv
