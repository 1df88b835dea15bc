// What a statement text asks of a database session itself, read from its first words. Header-only:
// the driver libraries use it too, and they link no more of the data layer than the table it hands
// them.
#pragma once
#include <initializer_list>
#include <string>

#include "core/text/map_str.h"

enum class Db_Stmt { Plain, Select, Begin, Commit, Rollback };

// The statement's first word, lower-cased ("" when none); comments are not skipped. *rest (when
// given) points after it.
inline std::string Db_First_Word(const wchar16* sql, const wchar16** rest = nullptr) {
  const wchar16* p = sql;
  while (*p == u' ' || *p == u'\t' || *p == u'\r' || *p == u'\n' || *p == u'(') p++;
  std::string w;
  for (; (*p >= u'a' && *p <= u'z') || (*p >= u'A' && *p <= u'Z'); p++)
    w.push_back(static_cast<char>(*p <= u'Z' ? *p - u'A' + 'a' : *p));
  if (rest) *rest = p;
  return w;
}

// What Db_Classify reads, without a string made: every statement passes there several times on its
// way to the server.
namespace db_stmt_detail {

inline wchar16 Lower(wchar16 c) { return c >= u'A' && c <= u'Z' ? static_cast<wchar16>(c - u'A' + u'a') : c; }

// Whether the word at p (letters, any case) is word (lower-case); *rest (when given) after it.
inline bool Word_Is(const wchar16* p, const char* word, const wchar16** rest = nullptr) {
  while (*p == u' ' || *p == u'\t' || *p == u'\r' || *p == u'\n' || *p == u'(') p++;
  for (; *word && Lower(*p) == static_cast<wchar16>(*word); ++word) ++p;
  if (*word || (*p >= u'a' && *p <= u'z') || (*p >= u'A' && *p <= u'Z')) return false;
  if (rest) *rest = p;
  return true;
}

// Whether text holds one of the words (lower-case ASCII), letters compared without case.
inline bool Holds_Any(const wchar16* text, std::initializer_list<const char*> words) {
  for (; *text; ++text) {
    const wchar16 c = Lower(*text);
    for (const char* w : words) {
      if (c != static_cast<wchar16>(w[0])) continue;
      const wchar16* t = text + 1;
      const char* k = w + 1;
      for (; *k && Lower(*t) == static_cast<wchar16>(*k); ++k) ++t;
      if (!*k) return true;
    }
  }
  return false;
}

}  // namespace db_stmt_detail

// "commit", "commit work", "rollback;" and the like end the session's transaction instead of running
// as text; "begin"/"start transaction" open it; a text starting with select (or values) reads only.
inline Db_Stmt Db_Classify(const wchar16* sql) {
  using namespace db_stmt_detail;
  if (!sql) return Db_Stmt::Plain;
  // After the first word: nothing, or "work"/"transaction", then blanks and semicolons alone.
  auto only_tail = [](const wchar16* rest) {
    if (!Word_Is(rest, "work", &rest)) Word_Is(rest, "transaction", &rest);
    while (*rest == u' ' || *rest == u'\t' || *rest == u'\r' || *rest == u'\n' || *rest == u';') rest++;
    return *rest == 0;
  };
  const wchar16* first = sql;
  while (*first == u' ' || *first == u'\t' || *first == u'\r' || *first == u'\n' || *first == u'(') first++;
  const wchar16 c = Lower(*first);  // the words below begin with different letters
  const wchar16* rest = nullptr;
  if ((c == u'c' && Word_Is(first, "commit", &rest)) || (c == u'e' && Word_Is(first, "end", &rest)))
    return only_tail(rest) ? Db_Stmt::Commit : Db_Stmt::Plain;
  if (c == u'r' && Word_Is(first, "rollback", &rest)) return only_tail(rest) ? Db_Stmt::Rollback : Db_Stmt::Plain;
  if (c == u'b' && Word_Is(first, "begin", &rest)) return only_tail(rest) ? Db_Stmt::Begin : Db_Stmt::Plain;
  if ((c == u's' && Word_Is(first, "select")) || (c == u'v' && Word_Is(first, "values")) ||
      (c == u'w' && Word_Is(first, "with"))) {
    // "select ... into t from ..." creates a table, and a "with" may end in a change: those write.
    // A wrong guess only opens a transaction that a read did not need.
    return Holds_Any(sql, {" into ", "insert ", "update ", "delete "}) ? Db_Stmt::Plain : Db_Stmt::Select;
  }
  return Db_Stmt::Plain;
}

// ---- positional parameters ---------------------------------------------------------------------------
// A statement's placeholders for bound parameters are "?" (numbered in the order they stand) or "$n"
// and "?n" (numbered by the writer; one number may stand several times), never both kinds in one
// statement.
// Placeholders are found only in the statement's own text: quoted texts ('...' with '' inside, E'...'
// with backslash escapes), quoted names ("..."), dollar-quoted bodies ($tag$...$tag$, $$...$$), line
// comments (-- to the line's end) and block comments (/* */, nested) are passed over, and a "$"
// inside a name (a$1) is part of the name.
//
// Db_Number_Params writes the text with every placeholder in the form a driver needs: style '$' gives
// "$1", "$2"... (PostgreSQL), style '?' gives "?1", "?2"... (SQLite), and style 0 leaves the text as it
// is (*out may then be null); a placeholder between name characters is set apart by blanks. The count
// of parameters goes to *count: the number of "?", or the highest number. -1 with *error when the text is not one the parameters can go into: both forms mixed,
// "$0", a number past 65535, a number written straight before E'...', or a "$n" form that leaves a number below the highest unused (every
// parameter must stand somewhere, or the server could not tell its type).
inline int Db_Number_Params(const wchar16* sql, char style, std::u16string* out, int* count, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return -1;
  };
  if (out) out->clear();
  if (count) *count = 0;
  if (!sql) return 0;
  auto ident = [](wchar16 c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' ||
           c == u'$' || c >= 0x80;
  };
  auto put = [&](const wchar16* from, const wchar16* to) {
    if (out && style) out->append(from, static_cast<size_t>(to - from));
  };
  // A placeholder written between name characters would join them: a blank keeps it apart.
  auto put_number = [&](int n, wchar16 next) {
    if (!out || !style) return;
    if (!out->empty() && ident(out->back())) out->push_back(u' ');
    out->push_back(style == '$' ? u'$' : u'?');
    std::string d = std::to_string(n);
    for (char c : d) out->push_back(static_cast<wchar16>(c));
    if (ident(next)) out->push_back(u' ');
  };
  int questions = 0, highest = 0;
  std::string used;  // used[n] != 0: $n stands in the text
  const wchar16* p = sql;
  const wchar16* copied = sql;  // text before this is in *out
  while (*p) {
    const wchar16 c = *p;
    if (c == u'\'' || c == u'"') {
      // E'...' (and e'...') reads backslash escapes; a quoted name never does.
      const bool escapes = c == u'\'' && p > sql && (p[-1] == u'E' || p[-1] == u'e') &&
                           (p - 1 == sql || !ident(p[-2]));
      for (++p; *p; ++p) {
        if (escapes && *p == u'\\' && p[1]) {
          ++p;
        } else if (*p == c) {
          if (p[1] == c) {
            ++p;
          } else {
            break;
          }
        }
      }
      if (*p) ++p;
      continue;
    }
    if (c == u'-' && p[1] == u'-') {
      while (*p && *p != u'\n') ++p;
      continue;
    }
    if (c == u'/' && p[1] == u'*') {
      int depth = 0;
      while (*p) {
        if (*p == u'/' && p[1] == u'*') {
          depth++;
          p += 2;
        } else if (*p == u'*' && p[1] == u'/') {
          p += 2;
          if (--depth == 0) break;
        } else {
          ++p;
        }
      }
      continue;
    }
    if (ident(c) && c != u'$') {  // a name or a number, "$" inside it included
      while (*p && ident(*p)) ++p;
      continue;
    }
    if (c == u'$' || c == u'?') {
      // "$n", or SQLite's own "?n": a numbered placeholder.
      if (p[1] >= u'0' && p[1] <= u'9') {
        const wchar16* q = p + 1;
        long n = 0;
        while (*q >= u'0' && *q <= u'9') {
          if (n <= 65535) n = n * 10 + (*q - u'0');
          ++q;
        }
        if (n == 0) return fail("\"$0\" is not a parameter: they count from $1");
        if (n > 65535) return fail("a parameter number past 65535");
        // "$1E'...'": the blank that sets the number apart would turn a plain quoted text into one that
        // reads backslash escapes, and the text would mean something else.
        if ((*q == u'E' || *q == u'e') && q[1] == u'\'')
          return fail("a parameter written straight before E'...': put a blank between them");
        if (used.size() <= static_cast<size_t>(n)) used.resize(static_cast<size_t>(n) + 1, 0);
        used[static_cast<size_t>(n)] = 1;
        if (n > highest) highest = static_cast<int>(n);
        put(copied, p);
        put_number(static_cast<int>(n), *q);
        p = copied = q;
        continue;
      }
      if (c == u'?') {
        ++questions;
        put(copied, p);
        put_number(questions, p[1]);
        p = copied = p + 1;
        continue;
      }
      // $tag$ ... $tag$ (or $$ ... $$): a quoted body.
      const wchar16* q = p + 1;
      while (*q && *q != u'$' && ident(*q)) ++q;
      if (*q == u'$') {
        std::u16string tag(p, static_cast<size_t>(q - p + 1));
        const wchar16* end = q + 1;
        auto tag_at = [&tag](const wchar16* at) {
          size_t i = 0;
          while (i < tag.size() && at[i] == tag[i]) i++;
          return i == tag.size();
        };
        while (*end && !tag_at(end)) ++end;
        p = *end ? end + tag.size() : end;
        continue;
      }
      ++p;
      continue;
    }
    ++p;
  }
  put(copied, p);
  if (questions && highest) return fail("the statement mixes \"?\" and numbered placeholders");
  if (highest) {
    for (int n = 1; n <= highest; n++)
      if (!used[static_cast<size_t>(n)])
        return fail("$" + std::to_string(n) + " stands nowhere in the statement, though $" + std::to_string(highest) +
                    " does");
  }
  if (count) *count = questions ? questions : highest;
  return questions ? questions : highest;
}
