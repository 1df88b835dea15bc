// Mg_Dict_Finder: what a text names in one code dictionary, for the grid's dictionary cells (text
// typed into them and pasted values): a code of the dictionary, a cell's own "code name", or the name
// of exactly one entry. Names are indexed (by hash) on the first text that is no code, so a paste of many
// names costs one pass over the dictionary, not one per name; a dictionary that grew or shrank is indexed
// again, and every hit is checked against the entry itself.
#pragma once

#include <QString>
#include <QStringView>
#include <string>
#include <utility>
#include <vector>

class TDict;

class Mg_Dict_Finder {
 public:
  // The dictionary of that id, loaded when first asked for; Dict() is null when it cannot be had.
  explicit Mg_Dict_Finder(const char* dict_id);
  TDict* Dict() const { return dict_; }
  const std::string& Id() const { return id_; }
  // 1 with the entry's code and name (each may be null) and, when cell is given, the text a pick-list
  // cell shows for it ("code name"); 0 with why, a sentence for the user: no entry has that code or
  // name, several entries have that name, or the entry may not be chosen (a group, stopped).
  int Find(QStringView text, QString* code, QString* name, QString* why, QString* cell = nullptr);

 private:
  // The data row of a code, -1 when none; called under the dictionary's lock.
  int Row_Of(QStringView code);

  std::string id_;
  TDict* dict_ = nullptr;
  int indexedRows_ = -1;                       // the row count names_ was built for
  std::vector<std::pair<size_t, int>> names_;  // (hash of an entry's name, its data row), sorted
};
