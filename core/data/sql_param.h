// TSql_Param: one value bound to a placeholder of a statement ("?" or "$n", core/data/db_stmt.h), as
// TSQLCA::Exec and TSQLCA::Select take them. The value goes to the driver beside the statement text
// (sqlite3_bind_*, PQexecParams) and never into it, so no value can change what the statement does:
//
//   q.Exec(u"update vouchers set summary = ? where voucher_no = ?", {summary, u"V2024016"});
//   q.Select(u"select * from vouchers where amount > $1 and dept_code = $2", {TSql_Param::Decimal(u"100.00"), u"03"});
//
// Kinds: text (from char16_t text, or narrow text in the system code page), integer (int, long long),
// decimal (an exact number given as text: "-12.50"; no floating point on the way), date (year, month
// and day, sent as "YYYY-MM-DD"; a column of dates written as text is given text instead) and NULL
// (nullptr, a null text pointer, or Null()). A QString is text (an empty one too); a QDate is a date, an
// invalid one (a date box left empty) NULL. A decimal that is not a number, or a date that does not
// exist, makes the statement fail before it is sent (Bad() says why).
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/text/map_str.h"

class TSql_Param {
 public:
  // The kind letters are those of the data set's field types; the drivers receive them.
  enum Kind : char { TEXT = 'S', INT = 'I', DECIMAL = 'F', DATE = 'D' };

  TSql_Param(std::nullptr_t) : null_(true) {}
  TSql_Param(const char16_t* text) : null_(!text), text_(text ? text : u"") {}
  TSql_Param(const std::u16string& text) : text_(text) {}
  // Narrow text in the system code page.
  TSql_Param(const char* text) : null_(!text), text_(text ? map_wchar(text).c_str() : u"") {}
  TSql_Param(const std::string& text) : TSql_Param(text.c_str()) {}
  TSql_Param(int v) : TSql_Param(static_cast<long long>(v)) {}
  TSql_Param(long v) : TSql_Param(static_cast<long long>(v)) {}
  TSql_Param(long long v) : kind_(INT) {
    char b[32];
    std::snprintf(b, sizeof b, "%lld", v);
    for (const char* p = b; *p; ++p) text_.push_back(static_cast<char16_t>(*p));
  }

  // A toolkit string (anything with utf16() and size(), such as QString): text.
  template <class S, decltype(std::declval<const S&>().utf16(), 0) = 0>
  TSql_Param(const S& s)  // NOLINT
      : text_(s.size() > 0 ? std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<size_t>(s.size()))
                           : std::u16string()) {}
  // A toolkit date (anything with isValid(), year(), month() and day(), such as QDate): that date, or
  // NULL when it is not valid.
  template <class D, decltype(std::declval<const D&>().daysInMonth(), 0L) = 0L>
  TSql_Param(const D& d)  // NOLINT
      : TSql_Param(d.isValid() ? Date(d.year(), d.month(), d.day()) : Null()) {}

  static TSql_Param Null() { return TSql_Param(nullptr); }
  // An exact number as text ("1234.50", "-0.5"); thousands separators are dropped. An empty text is NULL.
  static TSql_Param Decimal(map_wchar text);
  // A date; one that does not exist (2024-02-30) is refused when the statement runs.
  static TSql_Param Date(int year, int month, int day);
  // A date from "YYYYMMDD" or "YYYY-MM-DD" text; an empty text is NULL.
  static TSql_Param Date(map_wchar text);

  Kind Type() const { return kind_; }
  bool Is_Null() const { return null_; }
  // The value as the driver receives it; "" for NULL.
  const std::u16string& Text() const { return text_; }
  // Why the value cannot be bound ("" when it can).
  const std::string& Bad() const { return bad_; }

 private:
  TSql_Param() = default;
  Kind kind_ = TEXT;
  bool null_ = false;
  std::u16string text_;
  std::string bad_;
};

using TSql_Params = std::vector<TSql_Param>;

// The parameters as a statement-log line: "params: 'a''b', 12, NULL" (texts quoted, long ones cut).
std::u16string Sql_Params_Text(const TSql_Params& params);
