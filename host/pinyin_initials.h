// Pinyin initials of CJK ideographs, for finding names by the first letters of their syllables
// ("cgb" finds 采购部). The table is built at build time from the Unicode Character Database of the
// Debian package unicode-data (tools/gen_pinyin_initials.cpp): Unihan's Mandarin readings, every
// reading of a polyphone counting (行 answers to x and h).
#pragma once

#include <cstdint>

// The initial letters of c's readings as a set: bit i is the letter 'a' + i. 0 for a character that
// is no ideograph of the table's ranges (3400..4DBF, 4E00..9FFF, F900..FAFF) or has no reading.
uint32_t Pinyin_Initials(char32_t c);

// How many ideographs code page 936 holds, and how many of them have initials in the table.
void Pinyin_Gbk_Coverage(int* total, int* covered);
