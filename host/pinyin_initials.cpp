// Pinyin initials: the generated table and its look-up.
#include "host/pinyin_initials.h"

#include <cstddef>

#include "pinyin_initials.inc"

uint32_t Pinyin_Initials(char32_t c) {
  uint32_t base = 0;
  for (size_t r = 0; r < sizeof kPinyin_First / sizeof kPinyin_First[0]; ++r) {
    if (c >= kPinyin_First[r] && c <= kPinyin_Last[r])
      return kPinyin_Sets[kPinyin_Index[base + (c - kPinyin_First[r])]];
    base += kPinyin_Last[r] - kPinyin_First[r] + 1;
  }
  return 0;
}

void Pinyin_Gbk_Coverage(int* total, int* covered) {
  if (total) *total = kPinyin_Gbk_Han;
  if (covered) *covered = kPinyin_Gbk_Covered;
}
