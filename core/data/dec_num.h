// Exact decimal number texts: the one module that the data set's sort, the grid's checks and the sum
// grid's totals use to compare and compute with numbers held as text. Any length, no floating point.
//
// Reading a number text (every function here, narrow or wide):
//   [blanks] [+|-] [blanks] [digits and ','] [. [digits]] [anything else, ignored]
// Blanks are space and tab. ',' in the integer part is a thousands separator and is skipped. Reading
// stops at the first character that does not fit, and what was read so far is the value, so "12abc"
// reads as 12, and "", "abc", "-" and "." read as zero. "1.50" equals "1.5"; "-0" equals "0".
// Dec_Valid tells whether a text is a number as a whole.
//
// Results are canonical texts: an optional '-' (never on zero), integer digits without leading zeros
// (at least "0"), and, when the result has a scale, '.' and exactly that many fraction digits. The
// scale of a sum or difference is the larger scale of the operands as written ("1.50" + "2.50" gives
// "4.00"); of a product the sum of the scales. Rounding is half away from zero.
//
// Functions return 1 on success; Dec_Div returns 0 (and an empty result) when the divisor is zero.
// Comparing and checking never allocate.
#pragma once
#include <string>
#include "core/text/code_page.h"

// -1, 0 or 1 as a is smaller than, equal to or greater than b (numerically).
int Dec_Cmp(const char* a, const char* b);
int Dec_Cmp(const wchar16* a, const wchar16* b);
// The same over texts given by length (n < 0: up to the NUL); no terminator needed.
int Dec_Cmp(const wchar16* a, int na, const wchar16* b, int nb);

// 1 when the whole text is a number: blanks around it allowed, ',' only between integer digits, at
// least one digit; an empty or all-blank text counts as zero and is valid.
int Dec_Valid(const char* s);
int Dec_Valid(const wchar16* s);
// 1 when the text reads as zero.
int Dec_Is_Zero(const char* s);
int Dec_Is_Zero(const wchar16* s);

int Dec_Add(const char* a, const char* b, std::string* out);
int Dec_Add(const wchar16* a, const wchar16* b, std::u16string* out);
int Dec_Sub(const char* a, const char* b, std::string* out);
int Dec_Sub(const wchar16* a, const wchar16* b, std::u16string* out);
int Dec_Mul(const char* a, const char* b, std::string* out);
int Dec_Mul(const wchar16* a, const wchar16* b, std::u16string* out);
// a / b rounded to d decimals (d < 0 counts as 0). 0 and "" when b is zero.
int Dec_Div(const char* a, const char* b, int d, std::string* out);
int Dec_Div(const wchar16* a, const wchar16* b, int d, std::u16string* out);

// a rounded (or padded with zeros) to exactly d decimals (d < 0 counts as 0).
int Dec_Round(const char* a, int d, std::string* out);
int Dec_Round(const wchar16* a, int d, std::u16string* out);
// Dec_Round, then, when sep is nonzero, ',' between every three integer digits: "-1,234,567.50".
int Dec_Format(const char* a, int d, int sep, std::string* out);
int Dec_Format(const wchar16* a, int d, int sep, std::u16string* out);
// The canonical text of a with the trailing zeros of its fraction removed (and the '.' when nothing
// is left after it): "012.500" gives "12.5", "-0.0" gives "0". Thousands separators when sep != 0.
int Dec_Norm(const char* a, int sep, std::string* out);
int Dec_Norm(const wchar16* a, int sep, std::u16string* out);

// Number of fraction digits of a up to its last nonzero one ("1.250" gives 2); integer digits
// without leading zeros into *int_digits when given. For callers that pick a common scale.
int Dec_Scale(const wchar16* a, int* int_digits = nullptr);
// a times 10^scale as a 64-bit integer, when that is exact and below 10^18 in magnitude: 1, or 0
// (with *out 0) when a has nonzero digits beyond the scale or is too large.
int Dec_To_I64(const wchar16* a, int scale, long long* out);
