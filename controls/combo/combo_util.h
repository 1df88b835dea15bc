// Helpers shared by the files of the Combobox_ext unit: text conversions between the narrow codes of
// the interface (system code page), the wide item list and the toolkit's strings, and the control's own
// change handler.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "controls/combo/Combobox_ext.h"
#include "core/data/dbdata.h"
#include "core/text/map_str.h"

// Narrow (system code page) to a toolkit string; null gives "".
inline QString Combo_Q(const char* narrow) { return QString::fromUtf16(map_wchar(narrow).c_str()); }
inline QString Combo_Q(const wchar16* wide) { return wide ? QString::fromUtf16(wide) : QString(); }
// A toolkit string or wide text to narrow text.
inline std::string Combo_Narrow(const wchar16* wide) { return std::string(map_char(wide).c_str()); }
inline std::string Combo_Narrow(const QString& s) { return Combo_Narrow(map_wchar(s).c_str()); }

// The control's own OnChange. A named type so that an attach can tell it from a handler the host
// assigned (std::function::target), which the control then keeps and calls itself.
struct TComboBox_Ext::Own_Change {
  TComboBox_Ext* box;
  void operator()(TObject* sender) const { box->Handle_On_Change(sender); }
};


// Open-addressing hash over the codes (field 0) of the item list: slot = row + 1, 0 empty. Built on
// the first look-up after a deletion or a sort, extended row by row while records are appended, so
// that filling a list of n codes without duplicates costs O(n) and every look-up one or two probes.
class TComboBox_Ext::Code_Index {
 public:
  void Invalidate() { valid_ = false; }
  bool Valid() const { return valid_; }

  void Build(DBDataMgr* d) {
    const int n = d->Get_Row_Count();
    size_t cap = 16;
    while (cap < static_cast<size_t>(n) * 2 + 2) cap <<= 1;
    slots_.assign(cap, 0);
    used_ = 0;
    valid_ = true;
    for (int r = 0; r < n; ++r) Insert(d, r);
  }

  // Row of code, or -1. len: code units of code.
  int Find(DBDataMgr* d, const wchar16* code, size_t len) const {
    if (slots_.empty()) return -1;
    const size_t mask = slots_.size() - 1;
    for (size_t s = Hash(code, len) & mask;; s = (s + 1) & mask) {
      const int v = slots_[s];
      if (v == 0) return -1;
      const wchar16* k = d->Get_Row_Value(v - 1, 0);
      if (Equal(k, code, len)) return v - 1;
    }
  }

  // Records row (already in the list) under its code; the first row of a code wins.
  void Insert(DBDataMgr* d, int row) {
    if (!valid_) return;
    if ((used_ + 1) * 2 > slots_.size()) {
      Build(d);  // takes every row, this one included
      return;
    }
    const wchar16* code = d->Get_Row_Value(row, 0);
    const size_t len = Len(code);
    const size_t mask = slots_.size() - 1;
    for (size_t s = Hash(code, len) & mask;; s = (s + 1) & mask) {
      if (slots_[s] == 0) {
        slots_[s] = row + 1;
        ++used_;
        return;
      }
      if (Equal(d->Get_Row_Value(slots_[s] - 1, 0), code, len)) return;
    }
  }

  static size_t Len(const wchar16* s) { return std::char_traits<char16_t>::length(s); }

 private:
  static size_t Hash(const wchar16* s, size_t len) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < len; ++i) h = (h ^ s[i]) * 16777619u;
    return h;
  }
  static bool Equal(const wchar16* k, const wchar16* code, size_t len) {
    return std::char_traits<char16_t>::compare(k, code, len) == 0 && k[len] == 0;
  }

  std::vector<int> slots_;
  size_t used_ = 0;
  bool valid_ = false;
};

