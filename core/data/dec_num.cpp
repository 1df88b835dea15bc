// Exact decimal number texts: reading, comparing, arithmetic on digit strings, rounding, formatting.
#include "core/data/dec_num.h"

#include <algorithm>

namespace {

template <class C>
inline bool Is_Blank(C c) { return c == ' ' || c == '\t'; }
template <class C>
inline bool Is_Digit(C c) { return c >= '0' && c <= '9'; }

// A number as read from a text, pointing into it (no copy). The integer part may hold ','.
template <class C>
struct Span {
  bool neg = false;
  const C* ip = nullptr;  // first significant integer digit
  const C* ie = nullptr;  // end of the integer part
  int idig = 0;           // significant integer digits
  const C* fp = nullptr;  // first fraction digit
  int flen = 0;           // fraction digits as written
  int fsig = 0;           // fraction digits up to the last nonzero one
  bool Zero() const { return idig == 0 && fsig == 0; }
};

// Reads s up to e (e null: up to the NUL); a null s reads as zero.
template <class C>
void Parse(const C* s, const C* e, Span<C>* p) {
  static const C kNul[1] = {0};
  if (!s) s = kNul;
  const C* q = s;
  auto ch = [&](const C* at) -> C { return (e && at >= e) ? C(0) : *at; };
  while (Is_Blank(ch(q))) ++q;
  C c = ch(q);
  if (c == '+' || c == '-') {
    p->neg = (c == '-');
    ++q;
    while (Is_Blank(ch(q))) ++q;
  }
  while ((c = ch(q)) == '0' || c == ',') ++q;
  p->ip = q;
  while (Is_Digit(c = ch(q)) || c == ',') {
    if (c != ',') ++p->idig;
    ++q;
  }
  p->ie = q;
  p->fp = q;
  if (ch(q) == '.') {
    ++q;
    p->fp = q;
    while (Is_Digit(c = ch(q))) {
      ++p->flen;
      if (c != '0') p->fsig = p->flen;
      ++q;
    }
  }
}

// Compares the magnitudes of two read numbers.
template <class C>
int Mag_Cmp(const Span<C>& a, const Span<C>& b) {
  if (a.idig != b.idig) return a.idig < b.idig ? -1 : 1;
  const C* pa = a.ip;
  const C* pb = b.ip;
  for (int i = 0; i < a.idig; ++i, ++pa, ++pb) {
    while (*pa == ',') ++pa;
    while (*pb == ',') ++pb;
    if (*pa != *pb) return *pa < *pb ? -1 : 1;
  }
  int n = std::max(a.fsig, b.fsig);
  for (int i = 0; i < n; ++i) {
    C da = i < a.fsig ? a.fp[i] : C('0');
    C db = i < b.fsig ? b.fp[i] : C('0');
    if (da != db) return da < db ? -1 : 1;
  }
  return 0;
}

template <class C>
int Cmp_Spans(const Span<C>& a, const Span<C>& b) {
  int sa = a.Zero() ? 0 : (a.neg ? -1 : 1);
  int sb = b.Zero() ? 0 : (b.neg ? -1 : 1);
  if (sa != sb) return sa < sb ? -1 : 1;
  if (sa == 0) return 0;
  int r = Mag_Cmp(a, b);
  return sa < 0 ? -r : r;
}

template <class C>
int Valid(const C* s) {
  if (!s) return 1;
  const C* q = s;
  while (Is_Blank(*q)) ++q;
  if (!*q) return 1;
  if (*q == '+' || *q == '-') {
    ++q;
    while (Is_Blank(*q)) ++q;
  }
  int digits = 0;
  bool prev_digit = false;
  for (;; ++q) {
    if (Is_Digit(*q)) {
      ++digits;
      prev_digit = true;
    } else if (*q == ',') {
      if (!prev_digit || !Is_Digit(q[1])) return 0;
      prev_digit = false;
    } else {
      break;
    }
  }
  if (*q == '.') {
    ++q;
    while (Is_Digit(*q)) { ++digits; ++q; }
  }
  if (digits == 0) return 0;
  while (Is_Blank(*q)) ++q;
  return *q ? 0 : 1;
}

// A number for arithmetic: value = digits x 10^-scale; digits hold no leading zeros ("" is zero).
struct Num {
  bool neg = false;
  std::string d;
  int scale = 0;
};

void Strip(std::string* d) {
  size_t i = 0;
  while (i < d->size() && (*d)[i] == '0') ++i;
  if (i) d->erase(0, i);
}

template <class C>
Num To_Num(const C* s) {
  Span<C> p;
  Parse<C>(s, nullptr, &p);
  Num n;
  n.d.reserve(static_cast<size_t>(p.idig + p.flen));
  for (const C* q = p.ip; q < p.ie; ++q) {
    if (*q != ',') n.d.push_back(static_cast<char>(*q));
  }
  for (int i = 0; i < p.flen; ++i) n.d.push_back(static_cast<char>(p.fp[i]));
  Strip(&n.d);
  n.scale = p.flen;
  n.neg = p.neg && !n.d.empty();
  return n;
}

int Mag_Cmp_S(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  int r = a.compare(b);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

std::string Mag_Add(const std::string& a, const std::string& b) {
  std::string r(std::max(a.size(), b.size()) + 1, '0');
  int carry = 0;
  size_t ia = a.size(), ib = b.size(), ir = r.size();
  while (ir > 0) {
    int s = carry;
    if (ia > 0) s += a[--ia] - '0';
    if (ib > 0) s += b[--ib] - '0';
    r[--ir] = static_cast<char>('0' + s % 10);
    carry = s / 10;
  }
  Strip(&r);
  return r;
}

// a - b for a >= b.
std::string Mag_Sub(const std::string& a, const std::string& b) {
  std::string r(a);
  int borrow = 0;
  size_t ib = b.size();
  for (size_t ir = r.size(); ir > 0;) {
    --ir;
    int v = r[ir] - '0' - borrow - (ib > 0 ? b[--ib] - '0' : 0);
    borrow = v < 0;
    if (v < 0) v += 10;
    r[ir] = static_cast<char>('0' + v);
    if (ib == 0 && !borrow) break;
  }
  Strip(&r);
  return r;
}

void Pad_Scale(Num* n, int scale) {
  if (n->scale < scale) {
    if (!n->d.empty()) n->d.append(static_cast<size_t>(scale - n->scale), '0');
    n->scale = scale;
  }
}

Num Add_Num(Num x, Num y) {
  int s = std::max(x.scale, y.scale);
  Pad_Scale(&x, s);
  Pad_Scale(&y, s);
  Num r;
  r.scale = s;
  if (x.neg == y.neg) {
    r.d = Mag_Add(x.d, y.d);
    r.neg = x.neg;
  } else if (Mag_Cmp_S(x.d, y.d) >= 0) {
    r.d = Mag_Sub(x.d, y.d);
    r.neg = x.neg;
  } else {
    r.d = Mag_Sub(y.d, x.d);
    r.neg = y.neg;
  }
  if (r.d.empty()) r.neg = false;
  return r;
}

Num Mul_Num(const Num& x, const Num& y) {
  Num r;
  r.scale = x.scale + y.scale;
  if (x.d.empty() || y.d.empty()) return r;
  std::string acc(x.d.size() + y.d.size(), 0);  // digit values, not characters
  for (size_t i = x.d.size(); i-- > 0;) {
    int carry = 0;
    int xi = x.d[i] - '0';
    for (size_t j = y.d.size(); j-- > 0;) {
      int v = acc[i + j + 1] + xi * (y.d[j] - '0') + carry;
      acc[i + j + 1] = static_cast<char>(v % 10);
      carry = v / 10;
    }
    acc[i] = static_cast<char>(acc[i] + carry);
  }
  for (char& c : acc) c = static_cast<char>(c + '0');
  Strip(&acc);
  r.d = acc;
  r.neg = (x.neg != y.neg) && !r.d.empty();
  return r;
}

// Integer division of digit strings; the remainder into *rem.
std::string Mag_Div(const std::string& num, const std::string& den, std::string* rem) {
  std::string q;
  q.reserve(num.size());
  std::string r;
  for (char c : num) {
    if (!(r.empty() && c == '0')) r.push_back(c);
    int k = 0;
    while (Mag_Cmp_S(r, den) >= 0) {
      r = Mag_Sub(r, den);
      ++k;
    }
    q.push_back(static_cast<char>('0' + k));
  }
  Strip(&q);
  *rem = r;
  return q;
}

// x rounded half away from zero (or padded) to d decimals.
Num Round_Num(Num x, int d) {
  if (x.scale <= d) {
    Pad_Scale(&x, d);
    return x;
  }
  size_t drop = static_cast<size_t>(x.scale - d);
  if (x.d.size() < drop + 1) x.d.insert(0, drop + 1 - x.d.size(), '0');
  bool up = x.d[x.d.size() - drop] >= '5';
  x.d.resize(x.d.size() - drop);
  if (up) x.d = Mag_Add(x.d, "1");
  Strip(&x.d);
  x.scale = d;
  if (x.d.empty()) x.neg = false;
  return x;
}

Num Norm_Num(Num x) {
  while (x.scale > 0 && !x.d.empty() && x.d.back() == '0') {
    x.d.pop_back();
    --x.scale;
  }
  if (x.d.empty()) x.scale = 0;
  return x;
}

// The canonical text of x, with thousands separators when sep.
std::string Text_Of(const Num& x, bool sep) {
  std::string digits = x.d;
  if (static_cast<int>(digits.size()) <= x.scale) {
    digits.insert(0, static_cast<size_t>(x.scale) + 1 - digits.size(), '0');
  }
  size_t nint = digits.size() - static_cast<size_t>(x.scale);
  std::string out;
  out.reserve(digits.size() + nint / 3 + 2);
  if (x.neg && !x.d.empty()) out.push_back('-');
  for (size_t i = 0; i < nint; ++i) {
    if (sep && i > 0 && (nint - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  if (x.scale > 0) {
    out.push_back('.');
    out.append(digits, nint, std::string::npos);
  }
  return out;
}

int Put(const Num& x, bool sep, std::string* out) {
  if (out) *out = Text_Of(x, sep);
  return 1;
}

int Put(const Num& x, bool sep, std::u16string* out) {
  if (out) {
    std::string t = Text_Of(x, sep);
    out->assign(t.begin(), t.end());
  }
  return 1;
}

template <class C, class S>
int Div_Impl(const C* a, const C* b, int d, S* out) {
  if (d < 0) d = 0;
  Num x = To_Num(a);
  Num y = To_Num(b);
  if (y.d.empty()) {
    if (out) out->clear();
    return 0;
  }
  // a / b = (X / 10^sx) / (Y / 10^sy); scaled by 10^d: X * 10^(sy + d) / (Y * 10^sx).
  std::string num = x.d;
  if (!num.empty()) num.append(static_cast<size_t>(y.scale + d), '0');
  std::string den = y.d;
  den.append(static_cast<size_t>(x.scale), '0');
  std::string rem;
  Num q;
  q.d = Mag_Div(num, den, &rem);
  if (Mag_Cmp_S(Mag_Add(rem, rem), den) >= 0) q.d = Mag_Add(q.d, "1");
  q.scale = d;
  q.neg = (x.neg != y.neg) && !q.d.empty();
  return Put(q, false, out);
}

template <class C>
int Scale_Of(const C* a, int* int_digits) {
  Span<C> p;
  Parse<C>(a, nullptr, &p);
  if (int_digits) *int_digits = p.idig;
  return p.fsig;
}

}  // namespace

int Dec_Cmp(const char* a, const char* b) {
  Span<char> x, y;
  Parse<char>(a, nullptr, &x);
  Parse<char>(b, nullptr, &y);
  return Cmp_Spans(x, y);
}

int Dec_Cmp(const wchar16* a, const wchar16* b) {
  Span<wchar16> x, y;
  Parse<wchar16>(a, nullptr, &x);
  Parse<wchar16>(b, nullptr, &y);
  return Cmp_Spans(x, y);
}

int Dec_Cmp(const wchar16* a, int na, const wchar16* b, int nb) {
  Span<wchar16> x, y;
  Parse<wchar16>(a, (a && na >= 0) ? a + na : nullptr, &x);
  Parse<wchar16>(b, (b && nb >= 0) ? b + nb : nullptr, &y);
  return Cmp_Spans(x, y);
}

int Dec_Valid(const char* s) { return Valid(s); }
int Dec_Valid(const wchar16* s) { return Valid(s); }

int Dec_Is_Zero(const char* s) {
  Span<char> p;
  Parse<char>(s, nullptr, &p);
  return p.Zero() ? 1 : 0;
}

int Dec_Is_Zero(const wchar16* s) {
  Span<wchar16> p;
  Parse<wchar16>(s, nullptr, &p);
  return p.Zero() ? 1 : 0;
}

int Dec_Add(const char* a, const char* b, std::string* out) {
  return Put(Add_Num(To_Num(a), To_Num(b)), false, out);
}
int Dec_Add(const wchar16* a, const wchar16* b, std::u16string* out) {
  return Put(Add_Num(To_Num(a), To_Num(b)), false, out);
}

int Dec_Sub(const char* a, const char* b, std::string* out) {
  Num y = To_Num(b);
  y.neg = !y.neg && !y.d.empty();
  return Put(Add_Num(To_Num(a), y), false, out);
}
int Dec_Sub(const wchar16* a, const wchar16* b, std::u16string* out) {
  Num y = To_Num(b);
  y.neg = !y.neg && !y.d.empty();
  return Put(Add_Num(To_Num(a), y), false, out);
}

int Dec_Mul(const char* a, const char* b, std::string* out) {
  return Put(Mul_Num(To_Num(a), To_Num(b)), false, out);
}
int Dec_Mul(const wchar16* a, const wchar16* b, std::u16string* out) {
  return Put(Mul_Num(To_Num(a), To_Num(b)), false, out);
}

int Dec_Div(const char* a, const char* b, int d, std::string* out) { return Div_Impl(a, b, d, out); }
int Dec_Div(const wchar16* a, const wchar16* b, int d, std::u16string* out) {
  return Div_Impl(a, b, d, out);
}

int Dec_Round(const char* a, int d, std::string* out) {
  return Put(Round_Num(To_Num(a), d < 0 ? 0 : d), false, out);
}
int Dec_Round(const wchar16* a, int d, std::u16string* out) {
  return Put(Round_Num(To_Num(a), d < 0 ? 0 : d), false, out);
}

int Dec_Format(const char* a, int d, int sep, std::string* out) {
  return Put(Round_Num(To_Num(a), d < 0 ? 0 : d), sep != 0, out);
}
int Dec_Format(const wchar16* a, int d, int sep, std::u16string* out) {
  return Put(Round_Num(To_Num(a), d < 0 ? 0 : d), sep != 0, out);
}

int Dec_Norm(const char* a, int sep, std::string* out) { return Put(Norm_Num(To_Num(a)), sep != 0, out); }
int Dec_Norm(const wchar16* a, int sep, std::u16string* out) {
  return Put(Norm_Num(To_Num(a)), sep != 0, out);
}

int Dec_Scale(const wchar16* a, int* int_digits) { return Scale_Of(a, int_digits); }

int Dec_To_I64(const wchar16* a, int scale, long long* out) {
  Span<wchar16> p;
  Parse<wchar16>(a, nullptr, &p);
  *out = 0;
  if (scale < 0 || p.fsig > scale || p.idig + scale > 18) return 0;
  long long v = 0;
  for (const wchar16* q = p.ip; q < p.ie; ++q) {
    if (*q != ',') v = v * 10 + (*q - '0');
  }
  for (int i = 0; i < scale; ++i) v = v * 10 + (i < p.flen ? p.fp[i] - '0' : 0);
  *out = p.neg ? -v : v;
  return 1;
}
