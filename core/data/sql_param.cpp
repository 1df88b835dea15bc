// Bound parameter values: decimals and dates checked when they are made, and the log form.
#include "core/data/sql_param.h"

#include "core/data/dec_num.h"

namespace {

bool Real_Date(int y, int m, int d) {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= days[m - 1] + (m == 2 && leap ? 1 : 0);
}

std::string Narrow_Ascii(const std::u16string& w) {
  std::string s;
  for (char16_t c : w) s.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return s;
}

}  // namespace

TSql_Param TSql_Param::Decimal(map_wchar text) {
  TSql_Param p;
  p.kind_ = DECIMAL;
  std::u16string t;
  for (const wchar16* s = text.c_str(); s && *s; ++s)
    if (*s != u',' && *s != u' ' && *s != u'\t') t.push_back(*s);
  if (t.empty()) {
    p.null_ = true;
    return p;
  }
  if (!Dec_Valid(t.c_str())) p.bad_ = "not a decimal number: \"" + Narrow_Ascii(t) + "\"";
  p.text_ = t;
  return p;
}

TSql_Param TSql_Param::Date(int year, int month, int day) {
  TSql_Param p;
  p.kind_ = DATE;
  char b[32];
  std::snprintf(b, sizeof b, "%04d-%02d-%02d", year, month, day);
  for (const char* s = b; *s; ++s) p.text_.push_back(static_cast<char16_t>(*s));
  if (!Real_Date(year, month, day)) p.bad_ = std::string("no such date: ") + b;
  return p;
}

TSql_Param TSql_Param::Date(map_wchar text) {
  std::u16string digits, t = text.c_str() ? text.c_str() : u"";
  for (char16_t c : t)
    if (c >= u'0' && c <= u'9') digits.push_back(c);
  if (t.empty()) return Null();
  const bool plain = t.size() == 8 && digits.size() == 8;
  const bool dashed = t.size() == 10 && digits.size() == 8 && t[4] == u'-' && t[7] == u'-';
  if (!plain && !dashed) {
    TSql_Param p;
    p.kind_ = DATE;
    p.text_ = t;
    p.bad_ = "not a date (YYYYMMDD or YYYY-MM-DD): \"" + Narrow_Ascii(t) + "\"";
    return p;
  }
  auto num = [&digits](size_t at, size_t n) {
    int v = 0;
    for (size_t i = at; i < at + n; i++) v = v * 10 + (digits[i] - u'0');
    return v;
  };
  return Date(num(0, 4), num(4, 2), num(6, 2));
}

std::u16string Sql_Params_Text(const TSql_Params& params) {
  std::u16string out = u"params:";
  for (size_t i = 0; i < params.size(); i++) {
    out += i ? u", " : u" ";
    const TSql_Param& p = params[i];
    if (p.Is_Null()) {
      out += u"NULL";
      continue;
    }
    if (p.Type() == TSql_Param::INT || p.Type() == TSql_Param::DECIMAL) {
      out += p.Text();
      continue;
    }
    std::u16string t = p.Text().size() > 200 ? p.Text().substr(0, 200) + u"..." : p.Text();
    out += u"'";
    for (char16_t c : t) {
      out.push_back(c);
      if (c == u'\'') out.push_back(c);
    }
    out += u"'";
  }
  return out;
}
