// The name index of parameter packs (open addressing, linear probing, backward-shift deletion).
#include <cstring>

#include "core/data/para.h"

namespace {

bool Same_Name(const ParaStru* p, const wchar16* name, int n) {
  const wchar16* k = p->Name();
  return std::memcmp(k, name, static_cast<size_t>(n) * sizeof(wchar16)) == 0 && k[n] == 0;
}

}  // namespace

uint32_t TPara_Name_Index::Hash(const wchar16* s, int n) {
  // FNV-1a over the code units, then a final mix so that the low bits used for the slot spread well.
  uint32_t h = 2166136261u;
  for (int i = 0; i < n; ++i) {
    h ^= s[i];
    h *= 16777619u;
  }
  h ^= h >> 16;
  h *= 0x85EBCA6Bu;
  h ^= h >> 13;
  h *= 0xC2B2AE35u;
  h ^= h >> 16;
  return h;
}

ParaStru* TPara_Name_Index::Find(const wchar16* name, int n) const {
  if (used_ == 0) return nullptr;
  const uint32_t h = Hash(name, n);
  const size_t mask = slots_.size() - 1;
  for (size_t i = h & mask;; i = (i + 1) & mask) {
    const Slot& s = slots_[i];
    if (!s.p) return nullptr;
    if (s.hash == h && Same_Name(s.p, name, n)) return s.p;
  }
}

void TPara_Name_Index::Grow(size_t slots) {
  std::vector<Slot> old;
  old.swap(slots_);
  slots_.assign(slots, Slot{nullptr, 0});
  const size_t mask = slots - 1;
  for (const Slot& s : old) {
    if (!s.p) continue;
    size_t i = s.hash & mask;
    while (slots_[i].p) i = (i + 1) & mask;
    slots_[i] = s;
  }
}

void TPara_Name_Index::Reserve(size_t n) {
  size_t want = 16;
  while (want < n * 2) want <<= 1;
  if (want > slots_.size()) Grow(want);
}

void TPara_Name_Index::Insert(ParaStru* p) {
  if ((used_ + 1) * 2 > slots_.size()) Grow(slots_.empty() ? 16 : slots_.size() * 2);
  const wchar16* name = p->Name();
  const uint32_t h = Hash(name, para_detail::W_Units(name));
  const size_t mask = slots_.size() - 1;
  size_t i = h & mask;
  while (slots_[i].p) i = (i + 1) & mask;
  slots_[i] = Slot{p, h};
  ++used_;
}

void TPara_Name_Index::Erase(ParaStru* p) {
  if (used_ == 0) return;
  const wchar16* name = p->Name();
  const uint32_t h = Hash(name, para_detail::W_Units(name));
  const size_t mask = slots_.size() - 1;
  size_t i = h & mask;
  while (slots_[i].p != p) {
    if (!slots_[i].p) return;  // not indexed
    i = (i + 1) & mask;
  }
  // Move later members of the probe run back so that no lookup meets a hole before its key.
  for (size_t j = (i + 1) & mask; slots_[j].p; j = (j + 1) & mask) {
    size_t home = slots_[j].hash & mask;
    bool movable = (j > i) ? (home <= i || home > j) : (home <= i && home > j);
    if (movable) {
      slots_[i] = slots_[j];
      i = j;
    }
  }
  slots_[i] = Slot{nullptr, 0};
  --used_;
}

void TPara_Name_Index::Clear() {
  std::vector<Slot>().swap(slots_);
  used_ = 0;
}
