// Mg_Dict_Finder: what a text names in one code dictionary, for the grid's dictionary cells (text
// typed into them and pasted values): a code of the dictionary, a cell's own "code name", or the name
// of exactly one entry.
//
// One look-up (text typed into a cell) asks the dictionary itself: its code index, then the names,
// indexed on the first text that is no code in one open-addressing table of (hash, row) slots; a
// dictionary that grew or shrank is indexed again, and every hit is checked against the entry itself.
// Many look-ups (a paste of many rows: Expect_Many) read a copy of the dictionary made at the first of
// them, under its lock: every entry's code, name and whether it may be chosen side by side in one
// block, and two tables of (hash, entry) slots over the codes and the names. A look-up then reads one
// slot and one entry, where the dictionary's own rows cost a memory read for each of the slot, index
// entry, row, field and text; at 100,000 entries those reads miss the processor's caches, so the
// paste's time would follow the cache sizes of the machine. The copy stands for the dictionary as it
// was when the paste began.
#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class TDict;

class Mg_Dict_Finder {
 public:
  // The dictionary of that id, loaded when first asked for; Dict() is null when it cannot be had.
  explicit Mg_Dict_Finder(const char* dict_id);
  TDict* Dict() const { return dict_; }
  const std::string& Id() const { return id_; }

  // An entry found: its code and name as views into the dictionary, good while hold keeps the
  // dictionary locked (until the Entry goes or is found again).
  struct Entry {
    QStringView code, name;
    std::unique_lock<std::recursive_mutex> hold;
  };
  // 1 with the entry a text names; 0 with why, a sentence for the user: no entry has that code or name,
  // several entries have that name, or the entry may not be chosen (a group, stopped). For many
  // look-ups whose results are copied where they go, without a string made for each.
  int Find_Entry(QStringView text, Entry* e, QString* why);
  // The same with the entry's code and name (each may be null) and, when cell is given, the text a
  // pick-list cell shows for it ("code name").
  int Find(QStringView text, QString* code, QString* name, QString* why, QString* cell = nullptr);
  // Many look-ups follow: they read a copy of the dictionary (see the top), made at the next one.
  void Expect_Many() { many_ = true; }

 private:
  // The data row of a code, -1 when none; called under the dictionary's lock.
  int Row_Of(QStringView code);
  // The data row of the one entry of that name, -1 when none; *shared the number of entries of that name.
  int Row_Of_Name(QStringView name, int* shared);
  // 0 with why: t names no entry (or the dictionary could not be read to tell).
  int Not_Found(QStringView t, QString* why);
  static uint32_t Hash(QStringView text);

  // The copy read by many look-ups: entries by dictionary row, their texts in one block.
  struct Copy_Entry {
    uint32_t code, code_size, name, name_size;  // where in text, and how long
    bool stop;                                  // may not be chosen
  };
  void Make_Copy();
  // The copy's entry of a code, -1 when none.
  int Copy_Code(QStringView code) const;

  std::string id_;
  TDict* dict_ = nullptr;
  int indexedRows_ = -1;  // the row count names_ was built for
  struct Slot {
    uint32_t hash;
    int32_t row;  // -1 empty
  };
  // A table of slots, a power of two of them, at most half full; equal texts lie on one run of slots.
  using Table = std::vector<Slot>;
  static void Put(Table* t, uint32_t hash, int row);
  Table names_;  // the dictionary's names (one look-up at a time)
  bool many_ = false, copied_ = false;
  std::vector<char16_t> text_;
  std::vector<Copy_Entry> entries_;
  Table copyCodes_, copyNames_;  // the copy's codes (the first entry of each) and names
  bool named_ = false;           // the dictionary has a name field
  QStringView Copy_Text(uint32_t at, uint32_t size) const { return QStringView(text_.data() + at, qsizetype(size)); }
};
