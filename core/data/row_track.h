// TRow_Track: what the rows of a query area were when they were loaded from a table, so that a save can
// write only what changed since, and tell when someone else changed the same rows meanwhile
// (core/data/save_changes.h). A query area keeps one per tracked area (TSQLCA::Track_Changes).
//
// When tracking starts, the area's rows are the loaded ones: a copy of them is kept (the original
// values) and each row gets a number in its row record (DBIOROWSTRU::track), which goes with the row
// through sorts, swaps and moves. Afterwards, for the area as it is then:
//   - a row without a number (added with Add_Row/Insert_Row, appended, unpacked) is added;
//   - a numbered row whose values differ from its original's is changed (field by field);
//   - an original whose number no row carries any more is deleted (Del_Row, Clear_Data).
// Values compare as the data set reads them: an absent value (NULL) equals an empty one; numeric fields
// ('F', 'I', 'N', '1', '2') compare as exact decimals ("125600" equals "125,600.00"); everything else
// as exact text.
//
// The table's columns are the area's fields when tracking started, or the ones named; fields added
// later (a grid's "skip_sum_flag") and fields not named are never written. Fields are found by name,
// so the area may reorder them. Key fields name a row in the table (they must be among the columns);
// a row version field, when the table has one, is compared instead of the changed columns' values and
// counted up by every save.
#pragma once
#include <string>
#include <vector>

#include "core/data/dbdata.h"
#include "core/text/map_str.h"

class TRow_Track {
 public:
  enum { ROW_UNCHANGED = 0, ROW_CHANGED = 1, ROW_ADDED = 2 };

  TRow_Track() = default;
  TRow_Track(const TRow_Track&) = delete;
  TRow_Track& operator=(const TRow_Track&) = delete;

  // Starts tracking data's rows as loaded from table. key_fields and columns are comma-separated field
  // names (columns empty: every field); version_field may be empty. 1, or 0 with *error when a name is
  // not a field of data, no key is given, or a key is not among the columns.
  int Start(DBDataMgr* data, map_wchar table, map_wchar key_fields, map_wchar version_field, map_wchar columns,
            std::string* error = nullptr);

  const std::u16string& Table() const { return table_; }
  // The column names in order, which of them are keys, and the version field ("" when none).
  const std::vector<std::u16string>& Columns() const { return columns_; }
  const std::vector<int>& Key_Columns() const { return keys_; }  // indexes into Columns()
  int Version_Column() const { return version_; }               // index into Columns(), -1 when none

  // ---- the area's rows now
  int Row_State(const DBDataMgr* data, int row) const;
  // 1 when column c (index into Columns()) of the row differs from its original value; 1 for every
  // column of an added row.
  int Column_Changed(const DBDataMgr* data, int row, int c) const;
  // The original row of an area row (its index in Original()), -1 for an added row.
  int Original_Of(const DBDataMgr* data, int row) const;
  // The loaded rows, with the fields of Columns() in that order.
  const DBDataMgr& Original() const { return orig_; }
  // The loaded rows no area row stands for any more (indexes into Original()), in their order.
  std::vector<int> Deleted(const DBDataMgr* data) const;
  // 1 when anything was changed, added or deleted.
  int Has_Changes(const DBDataMgr* data) const;
  // The area's field index of column c (-1 when the area no longer has that field).
  int Field_Of(const DBDataMgr* data, int c) const;

  // ---- after a save, or a look at the table
  // The area's rows as they are become the loaded ones.
  int Accept(DBDataMgr* data);
  // Makes an original's column c read as given (present: a value; else NULL), e.g. the value another
  // clerk saved meanwhile, so that the next save compares with it.
  int Set_Original(int orig_row, int c, const wchar16* value, bool present);
  // Forgets an original (the row was deleted in the table, and its deletion here needs no writing).
  int Drop_Original(int orig_row);
  // Makes an area row a loaded one with these original values (fields as Columns()), e.g. a row the
  // table had and the area lacked. Returns its original index, -1 on failure.
  int Adopt(DBDataMgr* data, int row, const DBDataMgr& values, int values_row);

  // Brings the area up to the table's present rows (fresh: a new read of the same columns, all rows
  // the area was loaded with, found by key), keeping what was changed here:
  //   - a row added in the table is appended as loaded;
  //   - an unchanged row takes the fresh values as values and originals;
  //   - a changed row takes the fresh values of the columns not changed here (values and
  //     originals); the columns changed here keep their values and their old originals, so a save
  //     still finds the other clerk's change to them;
  //   - a row gone from the table is removed when unchanged here, kept otherwise (its save then
  //     finds it gone); a row deleted here stays deleted, added rows stay.
  // *changed (optional) counts the area rows added, altered or removed. 1, or 0 when fresh lacks a
  // column.
  int Merge_Fresh(DBDataMgr* data, const DBDataMgr& fresh, int* changed = nullptr);

  // The key of an area row, of an original, or of a fresh row (fields by Columns() names), joined for
  // look-ups.
  std::u16string Key_Of(const DBDataMgr* data, int row) const;
  std::u16string Orig_Key(int orig_row) const;
  // Key field values of an original, "name=value" pairs joined by ", " (for messages).
  std::u16string Key_Text(int orig_row) const;

  // Whether two values are the same for a field of this type (see the head of this file).
  static bool Same(const wchar16* a, bool a_present, const wchar16* b, bool b_present, char type);

 private:
  std::u16string table_;
  std::vector<std::u16string> columns_;
  std::vector<int> keys_;
  int version_ = -1;
  DBDataMgr orig_;          // original rows; row k carries number k + 1
  std::vector<char> alive_;  // per original: 0 once dropped
};
