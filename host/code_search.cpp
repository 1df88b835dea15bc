// CodeSearch: code prefix, name part and pinyin initials.
#include "host/code_search.h"

#include <QList>
#include <QStringView>

#include "host/pinyin_initials.h"

uint64_t CodeSearch::charKey(char32_t c) {
  if (c >= U'A' && c <= U'Z') return uint64_t(1) << (c - U'A');
  if (c >= U'a' && c <= U'z') return uint64_t(1) << (c - U'a');
  if (c >= U'0' && c <= U'9') return uint64_t(1) << (26 + (c - U'0'));
  return Pinyin_Initials(c);
}

void CodeSearch::setEntries(std::vector<Entry> entries) {
  entries_ = std::move(entries);
  const size_t n = entries_.size();
  codeLower_.assign(n, QString());
  nameLower_.assign(n, QString());
  keys_.clear();
  keyStart_.assign(n + 1, 0);
  for (size_t i = 0; i < n; ++i) {
    codeLower_[i] = entries_[i].code.toLower();
    nameLower_[i] = entries_[i].name.toLower();
    keyStart_[i] = static_cast<uint32_t>(keys_.size());
    for (char32_t c : entries_[i].name.toUcs4()) keys_.push_back(charKey(c));
  }
  keyStart_[n] = static_cast<uint32_t>(keys_.size());
  resultValid_ = false;
  lastText_.clear();
  result_.clear();
}

int CodeSearch::findCode(const QString& code) const {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].code == code) return static_cast<int>(i);
  return -1;
}

bool CodeSearch::initialsMatch(int i, const std::vector<uint64_t>& typed) const {
  const uint32_t begin = keyStart_[static_cast<size_t>(i)], end = keyStart_[static_cast<size_t>(i) + 1];
  const size_t m = typed.size();
  if (m == 0 || end - begin < m) return false;
  for (uint32_t s = begin; s + m <= end; ++s) {
    size_t j = 0;
    while (j < m && (keys_[s + j] & typed[j])) ++j;
    if (j == m) return true;
  }
  return false;
}

bool CodeSearch::typedKeys(const QString& lower, std::vector<uint64_t>* typed) {
  typed->clear();
  for (QChar c : lower) {
    const uint64_t key = c.unicode() < 128 ? charKey(c.unicode()) : 0;
    if (!key) return false;
    typed->push_back(key);
  }
  return !typed->empty();
}

bool CodeSearch::hit(int i, const QString& lower, const std::vector<uint64_t>& typed) const {
  const size_t k = static_cast<size_t>(i);
  return codeLower_[k].startsWith(lower) || nameLower_[k].contains(lower) || initialsMatch(i, typed);
}

bool CodeSearch::matches(int i, const QString& lower) const {
  std::vector<uint64_t> typed;
  if (!typedKeys(lower, &typed)) typed.clear();
  return hit(i, lower, typed);
}

const std::vector<int>& CodeSearch::filter(const QString& text) {
  const QString lower = text.trimmed().toLower();
  // Typing on searches only what the shorter text found.
  const bool narrowing = resultValid_ && !lastText_.isEmpty() && lower.startsWith(lastText_);
  std::vector<uint64_t> typed;
  if (!typedKeys(lower, &typed)) typed.clear();  // not letters and digits alone: no initials search
  std::vector<int> out;
  if (lower.isEmpty()) {
    out.resize(entries_.size());
    for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<int>(i);
  } else if (narrowing) {
    for (int i : result_)
      if (hit(i, lower, typed)) out.push_back(i);
  } else {
    for (int i = 0; i < size(); ++i)
      if (hit(i, lower, typed)) out.push_back(i);
  }
  result_.swap(out);
  lastText_ = lower;
  resultValid_ = true;
  return result_;
}
