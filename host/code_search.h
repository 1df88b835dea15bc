// CodeSearch: the search of the host's code dialogs over a list of (code, name) entries. A text finds
// an entry when, case ignored,
//   - the code starts with it ("02" finds 0201),
//   - the name holds it ("物流" finds 仓储物流部),
//   - or it is made of letters and digits that match consecutive characters of the name by their pinyin
//     initials ("cgb" finds 采购部; a polyphone answers to each of its readings, a Latin letter or digit
//     of the name to itself).
// Results keep the order of the entries. Typing on (a text that extends the previous one) searches
// only the previous results, so each further character costs less than the first.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

class CodeSearch {
 public:
  struct Entry {
    QString code;
    QString name;
  };

  // Takes the entries and prepares their search keys (the previous results are dropped).
  void setEntries(std::vector<Entry> entries);
  int size() const { return static_cast<int>(entries_.size()); }
  const Entry& entry(int i) const { return entries_[static_cast<size_t>(i)]; }
  // Position of the entry whose code is code exactly, -1 when none.
  int findCode(const QString& code) const;

  // The positions of the entries that text finds; every entry for an empty text. Valid until the next
  // call.
  const std::vector<int>& filter(const QString& text);
  // Whether entry i is found by text (text already lower-cased).
  bool matches(int i, const QString& lower) const;

 private:
  // The key of one character of a name: bits 0..25 the letters (a pinyin initial, or the letter
  // itself), bits 26..35 the digits.
  static uint64_t charKey(char32_t c);
  // The keys of a typed text; false (and no keys) unless it is made of letters and digits alone.
  static bool typedKeys(const QString& lower, std::vector<uint64_t>* typed);
  // Empty typed keys: no initials search.
  bool initialsMatch(int i, const std::vector<uint64_t>& typed) const;
  bool hit(int i, const QString& lower, const std::vector<uint64_t>& typed) const;

  std::vector<Entry> entries_;
  std::vector<QString> codeLower_, nameLower_;
  std::vector<uint64_t> keys_;      // the keys of every name, one after another
  std::vector<uint32_t> keyStart_;  // entry i's keys: keys_[keyStart_[i] .. keyStart_[i + 1])
  QString lastText_;
  std::vector<int> result_;
  bool resultValid_ = false;
};
