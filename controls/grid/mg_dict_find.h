// Mg_Dict_Finder: what a text names in one code dictionary, for the grid's dictionary cells (text
// typed into them and pasted values): a code of the dictionary, a cell's own "code name", or the name
// of exactly one entry. Names are indexed on the first text that is no code, so a paste of many names
// costs one pass over the dictionary, not one per name.
#pragma once

#include <QHash>
#include <QString>
#include <string>

class TDict;

class Mg_Dict_Finder {
 public:
  // The dictionary of that id, loaded when first asked for; Dict() is null when it cannot be had.
  explicit Mg_Dict_Finder(const char* dict_id);
  TDict* Dict() const { return dict_; }
  const std::string& Id() const { return id_; }
  // 1 with the entry's code and name; 0 with why, a sentence for the user: no entry has that code or
  // name, several entries have that name, or the entry may not be chosen (a group, stopped).
  int Find(const QString& text, QString* code, QString* name, QString* why);

 private:
  // The entry of a code: 1, 0 when there is none, -1 when it may not be chosen.
  int Entry(const QString& code, QString* name);

  std::string id_;
  TDict* dict_ = nullptr;
  bool indexed_ = false;
  QHash<QString, int> names_;  // name -> data row of its entry, -1 when several entries have it
};
