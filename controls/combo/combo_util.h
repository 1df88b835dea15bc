// Helpers shared by the files of the Combobox_ext unit: text conversions between the narrow codes of
// the interface (system code page), the wide item list and the toolkit's strings; the control's own
// change handler; the hash index over the item list's codes.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "controls/combo/Combobox_ext.h"
#include "core/data/dbdata.h"
#include "core/data/sqlca.h"
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

// Open-addressing hash over the codes (field 0) of the item list. Each slot keeps the row and the
// code's hash, so a probe touches a row's text only when the hashes agree. Built on the first look-up
// after a deletion or a sort, and filled row by row while records are appended (Reserve first, so that
// the slot a probe found stays valid), so that filling a list of n codes costs O(n).
class TComboBox_Ext::Code_Index {
 public:
  void Invalidate() { valid_ = false; }
  bool Valid() const { return valid_; }

  static size_t Len(const wchar16* s) { return std::char_traits<char16_t>::length(s); }
  static uint32_t Hash(const wchar16* s, size_t len) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < len; ++i) h = (h ^ s[i]) * 16777619u;
    return h;
  }

  // Room for rows codes at most half full; rebuilt from d (valid afterwards) when it is short.
  void Reserve(DBDataMgr* d, size_t rows) {
    if (valid_ && rows * 2 <= slots_.size()) return;
    size_t cap = 16;
    while (cap < rows * 2) cap <<= 1;
    slots_.assign(cap, Slot{-1, 0});
    valid_ = true;
    const int n = d->Get_Row_Count();
    for (int r = 0; r < n; ++r) {
      const wchar16* code = d->Get_Row_Value(r, 0);
      const size_t len = Len(code);
      const uint32_t h = Hash(code, len);
      size_t at = 0;
      if (Probe(d, code, len, h, &at) < 0) slots_[at] = Slot{r, h};  // the first row of a code wins
    }
  }

  // The row of code, or -1 with *at the empty slot where it would go.
  int Probe(DBDataMgr* d, const wchar16* code, size_t len, uint32_t h, size_t* at) const {
    const size_t mask = slots_.size() - 1;
    for (size_t s = h & mask;; s = (s + 1) & mask) {
      const Slot& slot = slots_[s];
      if (slot.row < 0) {
        *at = s;
        return -1;
      }
      if (slot.hash == h) {
        const wchar16* k = d->Get_Row_Value(slot.row, 0);
        if (std::char_traits<char16_t>::compare(k, code, len) == 0 && k[len] == 0) return slot.row;
      }
    }
  }

  void Put(size_t at, int row, uint32_t h) { slots_[at] = Slot{row, h}; }
  // Asks for the slot a probe for hash h starts at, ahead of the probe (Reserve first).
  void Prefetch(uint32_t h) const { __builtin_prefetch(&slots_[h & (slots_.size() - 1)]); }

 private:
  struct Slot {
    int row;        // -1 empty
    uint32_t hash;  // Hash() of the row's code
  };
  std::vector<Slot> slots_;
  bool valid_ = false;
};

// The index's table outgrows the caches with a long list, and codes meet its slots at random: the
// rows are taken in batches, each batch's codes hashed and their slots asked for first, so that the
// reads overlap, then probed and appended in order (a code repeated within a batch finds its first
// record). A source row is read while it is at hand, once; each record is one piece of the list's
// block pool.
template <class Pick>
void TComboBox_Ext::Append_Rows(int rows, Pick pick) {
  DBDataMgr* d = items_->Data();
  index_->Reserve(d, static_cast<size_t>(d->Get_Row_Count()) + static_cast<size_t>(rows > 0 ? rows : 0));
  constexpr int kBatch = 32;
  const wchar16* texts[kBatch][2];
  int lens[kBatch][2];
  uint32_t hashes[kBatch];
  for (int b = 0; b < rows; b += kBatch) {
    int n = 0;
    for (int r = b; r < rows && r < b + kBatch; ++r) {
      const wchar16* code = nullptr;
      const wchar16* name = nullptr;
      if (!pick(r, &code, &name)) continue;
      texts[n][0] = code ? code : u"";
      texts[n][1] = name ? name : u"";
      const size_t len = Code_Index::Len(texts[n][0]);
      lens[n][0] = static_cast<int>(len);
      lens[n][1] = static_cast<int>(Code_Index::Len(texts[n][1]));
      hashes[n] = Code_Index::Hash(texts[n][0], len);
      index_->Prefetch(hashes[n]);
      ++n;
    }
    for (int i = 0; i < n; ++i) {
      size_t at = 0;
      if (index_->Probe(d, texts[i][0], static_cast<size_t>(lens[i][0]), hashes[i], &at) >= 0) continue;
      const int row = d->Get_Row_Count();
      if (!d->Append_Row(texts[i], lens[i], 2)) return;
      index_->Put(at, row, hashes[i]);
    }
  }
}
