// What a statement text asks of a database session itself, read from its first words. Header-only:
// the driver libraries use it too, and they link no more of the data layer than the table it hands
// them.
#pragma once
#include <cctype>
#include <string>

#include "core/text/map_str.h"

enum class Db_Stmt { Plain, Select, Begin, Commit, Rollback };

// The statement's first word, lower-cased ("" when none); comments are not skipped. *rest (when
// given) points after it.
inline std::string Db_First_Word(const wchar16* sql, const wchar16** rest = nullptr) {
  const wchar16* p = sql;
  while (*p == u' ' || *p == u'\t' || *p == u'\r' || *p == u'\n' || *p == u'(') p++;
  std::string w;
  while ((*p >= u'a' && *p <= u'z') || (*p >= u'A' && *p <= u'Z')) {
    w.push_back(static_cast<char>(std::tolower(static_cast<int>(*p))));
    p++;
  }
  if (rest) *rest = p;
  return w;
}

// "commit", "commit work", "rollback;" and the like end the session's transaction instead of running
// as text; "begin"/"start transaction" open it; a text starting with select (or values) reads only.
inline Db_Stmt Db_Classify(const wchar16* sql) {
  if (!sql) return Db_Stmt::Plain;
  const wchar16* rest = nullptr;
  std::string w = Db_First_Word(sql, &rest);
  auto only_tail = [&](const char* const* allowed) {
    std::string next = Db_First_Word(rest, &rest);
    if (!next.empty()) {
      bool ok = false;
      for (const char* const* a = allowed; *a; ++a) ok = ok || next == *a;
      if (!ok) return false;
    }
    while (*rest == u' ' || *rest == u'\t' || *rest == u'\r' || *rest == u'\n' || *rest == u';') rest++;
    return *rest == 0;
  };
  static const char* const kTx[] = {"work", "transaction", nullptr};
  if (w == "commit" || w == "end") return only_tail(kTx) ? Db_Stmt::Commit : Db_Stmt::Plain;
  if (w == "rollback") return only_tail(kTx) ? Db_Stmt::Rollback : Db_Stmt::Plain;
  if (w == "begin") return only_tail(kTx) ? Db_Stmt::Begin : Db_Stmt::Plain;
  if (w == "select" || w == "values" || w == "with") {
    // "select ... into t from ..." creates a table, and a "with" may end in a change: those write.
    // A wrong guess only opens a transaction that a read did not need.
    std::u16string s(sql);
    for (auto& c : s)
      if (c >= u'A' && c <= u'Z') c = static_cast<wchar16>(c - u'A' + u'a');
    for (const char16_t* k : {u" into ", u"insert ", u"update ", u"delete "})
      if (s.find(k) != std::u16string::npos) return Db_Stmt::Plain;
    return Db_Stmt::Select;
  }
  return Db_Stmt::Plain;
}
