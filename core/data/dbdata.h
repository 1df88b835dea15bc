// DBDataMgr: the in-memory table that every query result, dictionary load and grid fill passes
// through. Fields (columns) with descriptors, rows of wide-text cells, a current-row cursor, sort keys,
// and the result attributes sqlcode, sqlmsg and table_name. All values are text; numeric meaning is
// applied only by sorting (exact decimal comparison, core/data/dec_num.h) and by the callers.
//
// Packed form (Pack_Data / Unpack_Data). Integers are big-endian; texts other than sqlmsg are UTF-8
// without terminator.
//
//   OFFSET    SIZE  CONTENT
//   0         4     sqlcode, signed
//   4         2     m = number of UTF-16 code units of sqlmsg
//   6         m     the first m BYTES of sqlmsg in UTF-16LE (peers frame it this way; a reader gets
//                   the first m/2 code units back, and an odd last byte as a code unit of its own)
//   6+m       2     t = byte length of table_name
//   8+m       t     table_name
//   8+m+t     2     f = field count (below 600)
//   ...             f field records:
//                     2 name length n | n name | 1 type letter | 2 size | 1 decsize (signed) |
//                     2 caption length c | c caption | 2 width | 2 attr
//   ...       4     r = row count
//   ...             r rows of f values (read only when bytes follow the count: a set that ends
//                   right after it is a set without rows, whatever r says); each value:
//                     1 k = significant bytes of the UTF-8 length L (0 when L is 0, else 1..4) |
//                     k bytes L | L bytes UTF-8
//                   an absent or empty value is the single byte 00.
//
// Unpacking checks every length against the bytes that remain before it changes anything: a truncated
// or lying buffer (a length past the end, 600 fields or more, a length of more than 4 bytes, rows
// announced and partly there) is refused with 0 and a console line, and the set keeps what it held
// before. Bytes after the last row are ignored (the bounded overload reports how many were used).
// Only running out of memory can stop a checked buffer half way: the set then holds the header and
// the fields (the rows take one piece of memory, sized by the checking pass), and 0 is returned.
// Malformed UTF-8 reads as U+FFFD.
//
// Failures print the fixed console lines of this unit and return 0; getters given a bad field index
// print "ERROR: Field is out of range!" and return the empty text, type '0' or 0.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/text/map_str.h"
#include "core/text/ot_array.h"

// One field descriptor.
struct DBDataMgr_Col_Stru {
  wchar16* name;     // field name as the database returned it; owned, may be null
  char type;         // 'S' text; '1', '2', 'F', 'I', 'N' numeric for sorting
  int size;          // storage size (16 bits when packed)
  int decsize;       // decimals (8 bits signed when packed)
  wchar16* caption;  // display caption; owned, may be null
  int width;         // display width (16 bits when packed)
  int attr;          // owner-defined, stored and packed as is (16 bits when packed)
};

// One cell.
struct DBIOCOLSTRU {
  wchar16* value;  // owned, NUL-terminated (embedded zeros possible); null when absent
  char* s_value;   // the value in the system code page, made on first request; dropped on change
  int len;         // code units allocated for value, terminator included (0 when absent)
  int pooled;      // a Pool_State: where value lives, and whether the cell may still use the pool
};

// Where a cell's value lives. A cell of a pooled row takes room from the set's block pool for its
// first value only; once that value is replaced or dropped the cell uses the heap, so a cell that is
// set over and over never makes the pool grow.
enum Pool_State {
  ZEM_CELL_HEAP = 0,   // on the heap, or absent and never pooled
  ZEM_CELL_POOL = 1,   // in the block pool (freed with the rows)
  ZEM_CELL_SPENT = 2,  // on the heap, or absent, after the cell's pooled value went
};

// One row: field-count cells (a row may hold more, always absent, after the field count shrank).
// The cells normally follow the row header in the same block.
struct DBIOROWSTRU {
  DBIOCOLSTRU* cols;
  int pooled;  // nonzero when the row block lives in the set's block pool (rows appended at the end
               // and unpacked rows; their cells then take their first value from the pool too)
  int track;   // the change tracker's number of a loaded row (core/data/row_track.h); 0 for a row
               // made afterwards. It goes with the row through sorts, moves and swaps.
};

// One find condition: rows match when the cell of the named field equals the value (text collation).
struct DBDataMgr_Find_Stru {
  int idx;             // field index, -1 until resolved from the name on first use
  wchar16 name[61];    // at most 60 code units
  wchar16 value[121];  // at most 120 code units
};

// A condition list for Find_First / Find_Next.
class DBDataMgr_Find_List : public OT_Array<DBDataMgr_Find_Stru> {
 public:
  // Appends a condition (name and value cut to 60 and 120 code units); its index is resolved later.
  int Add_Cond(map_wchar name, map_wchar value);
};

class DBDataMgr {
 public:
  enum { MAX_FIELDS = 600, MAX_SORT_KEYS = 30, MAX_SQLMSG = 4096 };

  DBDataMgr();
  virtual ~DBDataMgr();
  DBDataMgr(const DBDataMgr&) = delete;
  DBDataMgr& operator=(const DBDataMgr&) = delete;

  // ---- fields (0-based index)
  // Re-creates n empty descriptors, 0 <= n < 600. With rows present: n equal to the count does
  // nothing; a larger n is refused (thread error -1); a smaller n drops the later cells of every row.
  int Set_Field_Count(int n);
  int Get_Field_Count() const { return cols_.Count(); }
  int Get_Row_Count() const { return rows_.Count(); }
  // Replaces the name; a field without caption gets the name as caption too.
  int Set_Field_Name(int i, map_wchar name);
  int Set_Field_Caption(int i, map_wchar caption);
  int Set_Field_Type(int i, char t);  // t 0 leaves the type unchanged
  int Set_Field_Size(int i, int v);
  int Set_Field_Decsize(int i, int v);
  int Set_Field_Width(int i, int v);
  int Set_Field_Attr(int i, int v);
  const wchar16* Get_Field_Name(int i) const;
  const wchar16* Get_Field_Caption(int i) const;
  char Get_Field_Type(int i) const;
  int Get_Field_Size(int i) const;
  int Get_Field_Decsize(int i) const;
  int Get_Field_Width(int i) const;
  int Get_Field_Attr(int i) const;
  // Index of the field, or -1: exact names first, then names compared lower-cased (ASCII only).
  int Find_Field(map_wchar name) const;
  // Inserts a field (type 'S', caption = name) before pos (clamped to 0..count) with an empty cell in
  // every row; 0 when a field of that name exists.
  int Insert_Field(int pos, map_wchar name);
  int Add_Field(map_wchar name) { return Insert_Field(Get_Field_Count(), name); }
  int Drop_Field(int i);
  int Drop_Field(map_wchar name);

  // ---- rows and cursor
  int Add_Row();             // appends a row of empty cells and makes it current
  int Insert_Row(int pos);   // pos clamped to 0..row count; the new row becomes current
  // Appends a row whose first n cells hold the texts (lens[i] code units of texts[i], embedded zeros
  // kept; a null text leaves the cell absent) and makes it current: Add_Row and Set_Value_With_Len in
  // one piece of the block pool, for callers that fill many rows. 0 when n is negative or above the
  // field count, or there is no memory.
  int Append_Row(const wchar16* const* texts, const int* lens, int n);
  int Del_Row();             // deletes the current row; the cursor keeps its index, clamped
  int Swap_Row(int a, int b);
  int First();               // row 0; whether any row exists
  int Next();                // 0 at the last row
  int Has_Next() const;
  int Go_To_Row(int r);      // 0 when r is outside the rows
  int Get_Cur_Row() { return rows_.Position(); }

  // ---- values of the current row
  // Stores the text (a null text makes the cell absent; a cell holding "" keeps it).
  int Set_Value(int i, map_wchar text);
  // Makes the cell absent (a database NULL), whatever it held, "" included.
  int Set_Null(int i);
  // Stores exactly n code units (embedded zeros kept) plus a terminator.
  int Set_Value_With_Len(int i, const wchar16* text, int n);
  const wchar16* Get_Value(int i);   // "" when absent or when the set has no rows
  const char* Get_S_Value(int i);    // system code page, converted once and cached in the cell
  const char* Check_S_Value(int i) { return Get_S_Value(i); }
  int Get_Value_Len(int i);          // code units of the current value (embedded zeros counted)
  // Any row, without moving the cursor ("" outside the rows or fields).
  const wchar16* Get_Row_Value(int row, int i) const;
  // The texts of field i in every row, in row order ("" for absent values), or none for a bad index:
  // one pass over the rows for callers that index a column.
  std::vector<const wchar16*> Column_Texts(int i) const;
  // Whether the cell holds a value at all (an absent value reads as "" but is a database NULL).
  int Row_Value_Present(int row, int i) const;
  // The row's tracking number (DBIOROWSTRU::track); 0 outside the rows. Setting it is the tracker's.
  int Get_Row_Track(int row) const;
  int Set_Row_Track(int row, int id);

  // Appends a copy of every row of other (values only); 0 when the field counts differ.
  int Append_Data(DBDataMgr* other);

  // ---- the whole set
  int Clear_Data();  // rows gone, sqlcode 0, sqlmsg empty; fields stay
  int CFree();       // back to the freshly constructed state
  int Set_Error(int code, map_wchar msg);  // msg cut to 4096 code units
  int Get_Sqlcode() const { return sqlcode_; }
  const wchar16* Get_Sqlmsg() const { return sqlmsg_.empty() ? g_empty_w : sqlmsg_.c_str(); }
  int Set_Table_Name(map_wchar name);  // stored upper-cased (a-z only)
  const wchar16* Get_Table_Name() const { return table_name_.empty() ? g_empty_w : table_name_.c_str(); }
  // Integers for the owner: 0 the driver's session handle, 1 the driver's further result, 2 the bound
  // in ms on the driver's waits for this call, 3 how the call ended when it was stopped (db_connect.h).
  // Other indexes read 0 and keep nothing.
  enum { TAG_COUNT = 4 };
  void Set_Tag(int which, int v) { if (which >= 0 && which < TAG_COUNT) tag_[which] = v; }
  int Get_Tag(int which) const { return (which >= 0 && which < TAG_COUNT) ? tag_[which] : 0; }

  // ---- sorting. mode: -1 the field's type; 'F', 'I', '1' as they are; '2' as 'F'; 'N' as 'I' on an
  // 'I' field, else 'F'; anything else the field's type. Numeric kinds compare as exact decimals,
  // the others with the text collation (W_Cmp). Unstable: rows equal on all keys keep no order.
  int Set_Sort_Key(int field, int desc, int mode = -1);
  int Add_Sort_Key(int field, int desc, int mode = -1);
  int Get_Sort_Key_Count() const { return key_count_; }
  int Sort();
  // -1, 0 or 1 comparing two rows by the sort keys (for callers that merge or check an order).
  int Sort_Cmp(int row_a, int row_b) const;

  // ---- searching
  // Binary search on field 0 (ascending by the text collation); the cursor goes to a matching row.
  int Seek(map_wchar key);
  int Find_First(DBDataMgr_Find_List* conds);
  int Find_Next(DBDataMgr_Find_List* conds);
  int Find_First(int field, const wchar16* value);
  int Find_Next(int field, const wchar16* value);

  // ---- packed form (table above)
  // A new buffer with the packed set (release with std::free) and its length; null and 0 on failure.
  uint8_t* Pack_Data(unsigned* len);
  // 1 on success; 0 when buf is null, len < 1, or the bytes are not a whole packed set.
  int Unpack_Data(const uint8_t* buf, int len);
  // The same for any size; *used (when given) receives the bytes the packed set took.
  int Unpack_Data(const uint8_t* buf, size_t len, size_t* used);
  // Whether buf starts with a whole packed set: every length walked against the bytes that remain,
  // nothing built (the first pass of Unpack_Data). 1 with its field count in *fields, 0 after logging.
  static int Check_Packed(const uint8_t* buf, size_t len, int* fields = nullptr);

  // ---- XML form, narrow text in the system code page, appended to *out:
  //   <elem type="dbio" sqlcode=".." sqlmsg=".." table_name=".." colcount=".." rowcount="..">
  //     <col_list><col name=".." caption=".." type="S" size=".." width=".." decsize=".."/>...</col_list>
  //     <row_list><row><FIELD>value</FIELD>...</row>...</row_list>
  //   </elem>
  // FIELD is the field name when it is an XML name, else "field_<index>". Lines are indented by
  // indent blanks per level (indent < 0: no line breaks).
  int Write_Xml(std::string* out, const char* elem, int indent = 2) const;

 protected:
  // The set's allocator: names, captions, rows, cell arrays and values all come from here with the
  // tag of their call site. A derived set may track or refuse allocations; the default is the C heap.
  // A derived set that frees differently calls CFree() in its own destructor (the base destructor
  // can only reach the base Mem_Free).
  virtual void* Mem_Alloc(size_t bytes, const char* tag);
  virtual void Mem_Free(void* p, const char* tag);

 private:
  struct Sort_Key {
    int field;
    int desc;
    int mode;
  };
  DBDataMgr_Col_Stru* Col(int i) const;  // null (after the console line) for a bad index
  // Null for a bad index or no current row; *pool_row (when given) says whether the row is pooled.
  DBIOCOLSTRU* Cur_Cell(int i, bool* pool_row = nullptr);
  DBIOROWSTRU* New_Row(bool pooled);     // a row of field-count empty cells (heap or pool), or null
  void Free_Row(DBIOROWSTRU* row);
  void Free_Cell(DBIOCOLSTRU* c, const char* tag);
  void Free_Cols();
  wchar16* Dup_W(const wchar16* s, int n, const char* tag);
  int Store(DBIOCOLSTRU* c, const wchar16* text, int n, const char* tag, bool pool_row = false);
  bool Numeric_Key(const Sort_Key& k) const;
  int Row_Match(DBIOROWSTRU* row, int field, const wchar16* value) const;
  int Conds_Match(DBIOROWSTRU* row, DBDataMgr_Find_List* conds) const;
  int Unpack_Checked(const uint8_t* buf, size_t len, size_t* used);
  int Unpack_Build(const uint8_t* buf, size_t total, uint32_t f, uint32_t r, size_t units);
  // The block pool: unpacked and appended rows and their first values are carved from large blocks
  // instead of one heap block each, and the blocks go back all at once when the rows are cleared. Take() hands out room for
  // up to `bytes` (8-byte aligned); Keep() gives back what the last Take() did not use. Unpacking
  // over earlier content reuses that content's blocks (memory already in use, no fresh pages).
  struct Pool_Block;
  void* Pool_Take(size_t bytes);
  void Pool_Keep(void* p, size_t bytes);
  void Pool_Free();

  OT_Array<DBDataMgr_Col_Stru*> cols_;
  OT_Array<DBIOROWSTRU*> rows_;  // its Position() is the cursor
  Sort_Key keys_[MAX_SORT_KEYS] = {};
  int key_count_ = 0;
  std::u16string table_name_;
  int sqlcode_ = 0;
  std::u16string sqlmsg_;
  int tag_[TAG_COUNT] = {0, 0, 0, 0};
  Pool_Block* pool_ = nullptr;
  Pool_Block* spare_ = nullptr;  // blocks of the previous content, reused while unpacking over it
  // Some row, cell array or text of the rows lies outside the pool. Until then the rows own nothing
  // but pool blocks, and clearing them frees the blocks without visiting every cell (cold memory at
  // a hundred thousand rows).
  bool heap_parts_ = false;
};
