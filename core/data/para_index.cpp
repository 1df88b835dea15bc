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
  return h ? h : 1;
}

ParaStru* TPara_Name_Index::Find(const wchar16* name, int n) const {
  if (used_ == 0) return nullptr;
  const uint32_t h = Hash(name, n);
  const size_t mask = tags_.size() - 1;
  for (size_t i = h & mask;; i = (i + 1) & mask) {
    const uint32_t t = tags_[i];
    if (!t) return nullptr;
    if (t == h && Same_Name(paras_[i], name, n)) return paras_[i];
  }
}

void TPara_Name_Index::Grow(size_t slots) {
  std::vector<uint32_t> old_tags(slots, 0);
  std::vector<ParaStru*> old_paras(slots);
  old_tags.swap(tags_);
  old_paras.swap(paras_);
  const size_t mask = slots - 1;
  for (size_t k = 0; k < old_tags.size(); ++k) {
    if (!old_tags[k]) continue;
    size_t i = old_tags[k] & mask;
    while (tags_[i]) i = (i + 1) & mask;
    tags_[i] = old_tags[k];
    paras_[i] = old_paras[k];
  }
}

void TPara_Name_Index::Reserve(size_t n) {
  size_t want = 16;
  while (want < n * 2) want <<= 1;
  if (want > tags_.size()) Grow(want);
}

void TPara_Name_Index::Insert(ParaStru* p) {
  if ((used_ + 1) * 2 > tags_.size()) Grow(tags_.empty() ? 16 : tags_.size() * 2);
  const wchar16* name = p->Name();
  const uint32_t h = Hash(name, para_detail::W_Units(name));
  const size_t mask = tags_.size() - 1;
  size_t i = h & mask;
  while (tags_[i]) i = (i + 1) & mask;
  tags_[i] = h;
  paras_[i] = p;
  ++used_;
}

void TPara_Name_Index::Erase(ParaStru* p) {
  if (used_ == 0) return;
  const wchar16* name = p->Name();
  const uint32_t h = Hash(name, para_detail::W_Units(name));
  const size_t mask = tags_.size() - 1;
  size_t i = h & mask;
  while (!(tags_[i] && paras_[i] == p)) {
    if (!tags_[i]) return;  // not indexed
    i = (i + 1) & mask;
  }
  // Move later members of the probe run back so that no lookup meets a hole before its key.
  for (size_t j = (i + 1) & mask; tags_[j]; j = (j + 1) & mask) {
    size_t home = tags_[j] & mask;
    bool movable = (j > i) ? (home <= i || home > j) : (home <= i && home > j);
    if (movable) {
      tags_[i] = tags_[j];
      paras_[i] = paras_[j];
      i = j;
    }
  }
  tags_[i] = 0;
  --used_;
}

void TPara_Name_Index::Clear() {
  std::vector<uint32_t>().swap(tags_);
  std::vector<ParaStru*>().swap(paras_);
  used_ = 0;
}
