// DBDataMgr: fields, rows, cursor, values and the whole-set operations.
#include "core/data/dbdata.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/data/dbdata_util.h"
#include "frame/log_mgr.h"
#include "frame/thr_err.h"

using dbdata::Str_Len;

namespace {

// Room for one more row: the row table doubles when full, as filling a result row by row must not
// copy it every 20 rows.
void Grow_For_One(OT_Array<DBIOROWSTRU*>* rows) {
  const int r = rows->Count();
  if (r >= rows->Capacity() && r >= 30) rows->Reserve(r < (1 << 29) ? 2 * r : r + 1);
}

const char kOutOfRange[] = "ERROR: Field is out of range!\n";

int Cut(int n, int max) { return n > max ? max : n; }

wchar16 Lower(wchar16 c) { return (c >= 'A' && c <= 'Z') ? static_cast<wchar16>(c + 32) : c; }

bool Same_Name(const wchar16* a, const wchar16* b, bool fold) {
  if (!a) a = g_empty_w;
  for (;; ++a, ++b) {
    wchar16 x = fold ? Lower(*a) : *a;
    wchar16 y = fold ? Lower(*b) : *b;
    if (x != y) return false;
    if (!x) return true;
  }
}

}  // namespace

// ---------------------------------------------------------------- find conditions

int DBDataMgr_Find_List::Add_Cond(map_wchar name, map_wchar value) {
  DBDataMgr_Find_Stru& c = At(Count());
  c.idx = -1;
  W_LCpy(c.name, name.c_str(), 60);
  W_LCpy(c.value, value.c_str(), 120);
  return 1;
}

// ---------------------------------------------------------------- memory

DBDataMgr::DBDataMgr() : cols_(30, 20), rows_(30, 20) {}

DBDataMgr::~DBDataMgr() { CFree(); }

void* DBDataMgr::Mem_Alloc(size_t bytes, const char* /*tag*/) { return std::malloc(bytes ? bytes : 1); }

void DBDataMgr::Mem_Free(void* p, const char* /*tag*/) { std::free(p); }

wchar16* DBDataMgr::Dup_W(const wchar16* s, int n, const char* tag) {
  wchar16* d = static_cast<wchar16*>(Mem_Alloc(sizeof(wchar16) * (static_cast<size_t>(n) + 1), tag));
  if (!d) return nullptr;
  if (n > 0) std::memcpy(d, s, sizeof(wchar16) * static_cast<size_t>(n));
  d[n] = 0;
  return d;
}

void DBDataMgr::Free_Cell(DBIOCOLSTRU* c, const char* tag) {
  if (c->value && c->pooled != ZEM_CELL_POOL) Mem_Free(c->value, tag);
  if (c->s_value) Mem_Free(c->s_value, tag);
  c->value = nullptr;
  c->s_value = nullptr;
  c->len = 0;
  if (c->pooled == ZEM_CELL_POOL) c->pooled = ZEM_CELL_SPENT;
}

DBIOROWSTRU* DBDataMgr::New_Row(bool pooled) {
  int f = Get_Field_Count();
  size_t bytes = sizeof(DBIOROWSTRU) + sizeof(DBIOCOLSTRU) * static_cast<size_t>(f);
  DBIOROWSTRU* row = static_cast<DBIOROWSTRU*>(pooled ? Pool_Take(bytes) : Mem_Alloc(bytes, "DBDataMgr::Add_Row"));
  if (!row) return nullptr;
  if (!pooled) heap_parts_ = true;
  std::memset(static_cast<void*>(row), 0, bytes);
  row->cols = reinterpret_cast<DBIOCOLSTRU*>(row + 1);
  row->pooled = pooled ? 1 : 0;
  return row;
}

void DBDataMgr::Free_Row(DBIOROWSTRU* row) {
  int f = Get_Field_Count();
  for (int i = 0; i < f; ++i) Free_Cell(&row->cols[i], "DBDataMgr::Del_Row");
  if (row->cols != reinterpret_cast<DBIOCOLSTRU*>(row + 1)) Mem_Free(row->cols, "DBDataMgr::Del_Row");
  if (!row->pooled) Mem_Free(row, "DBDataMgr::Del_Row");
}

void* DBDataMgr::Pool_Take(size_t bytes) {
  bytes = (bytes + 7) & ~static_cast<size_t>(7);
  if (!pool_ || pool_->size - pool_->used < bytes) {
    if (spare_ && spare_->size >= bytes) {
      Pool_Block* b = spare_;
      spare_ = b->next;
      b->next = pool_;
      b->used = 0;
      pool_ = b;
      char* p = reinterpret_cast<char*>(pool_ + 1);
      pool_->used = bytes;
      return p;
    }
    // Blocks double from 64 KB up to 64 MB: a small set (most query results) costs little, a large one
    // takes few blocks.
    size_t size = pool_ ? pool_->size * 2 : size_t{64} << 10;
    if (size > (size_t{64} << 20)) size = size_t{64} << 20;
    if (size < bytes) size = bytes;
    Pool_Block* b = static_cast<Pool_Block*>(Mem_Alloc(sizeof(Pool_Block) + size, "DBDataMgr::Unpack_Data"));
    if (!b) return nullptr;
    dbdata::Large_Pages(b, sizeof(Pool_Block) + size);
    b->next = pool_;
    b->size = size;
    b->used = 0;
    pool_ = b;
  }
  char* p = reinterpret_cast<char*>(pool_ + 1) + pool_->used;
  pool_->used += bytes;
  return p;
}

void DBDataMgr::Pool_Keep(void* p, size_t bytes) {
  char* base = reinterpret_cast<char*>(pool_ + 1);
  pool_->used = static_cast<size_t>(static_cast<char*>(p) - base) + ((bytes + 7) & ~static_cast<size_t>(7));
}

void DBDataMgr::Pool_Free() {
  for (Pool_Block** list : {&pool_, &spare_}) {
    while (*list) {
      Pool_Block* next = (*list)->next;
      Mem_Free(*list, "DBDataMgr::Clear_Data");
      *list = next;
    }
  }
}

void DBDataMgr::Free_Cols() {
  for (int i = 0; i < cols_.Count(); ++i) {
    DBDataMgr_Col_Stru* d = cols_.Get(i);
    if (!d) continue;
    if (d->name) Mem_Free(d->name, "DBDataMgr::CFree()");
    if (d->caption) Mem_Free(d->caption, "DBDataMgr::CFree()");
    Mem_Free(d, "DBDataMgr::CFree()");
  }
  cols_.Clear();
}

// ---------------------------------------------------------------- fields

DBDataMgr_Col_Stru* DBDataMgr::Col(int i) const {
  if (i < 0 || i >= cols_.Count()) {
    Log_Printf("%s", kOutOfRange);
    return nullptr;
  }
  return cols_.Get(i);
}

int DBDataMgr::Set_Field_Count(int n) {
  if (n < 0 || n >= MAX_FIELDS) {
    Log_Printf("%s", kOutOfRange);
    return 0;
  }
  int f = Get_Field_Count();
  int r = Get_Row_Count();
  if (r > 0 && f > 0) {
    if (n == f) return 1;
    if (n > f) {
      char msg[160];
      std::snprintf(msg, sizeof msg,
                    "ERROR: dataset is not empty, records %d field num %d ,set field num fail\n", r, f);
      Thr_Err_Mgr()->Set_Err(-1, msg);
      Log_Printf("%s", msg);
      return 0;
    }
    // Fewer fields: the later cells of every row go (they stay in the row as absent cells).
    for (int j = 0; j < r; ++j) {
      DBIOROWSTRU* row = rows_.Get(j);
      for (int i = n; i < f; ++i) Free_Cell(&row->cols[i], "DBDataMgr::Drop_Field");
    }
  }
  Free_Cols();
  for (int i = 0; i < n; ++i) {
    DBDataMgr_Col_Stru* d =
        static_cast<DBDataMgr_Col_Stru*>(Mem_Alloc(sizeof(DBDataMgr_Col_Stru), "DBDataMgr::Set_Field_Count"));
    if (!d) {
      Log_Printf("ERROR: unable to alloc memory for fieldname\n");
      return 0;
    }
    std::memset(static_cast<void*>(d), 0, sizeof *d);
    d->type = 'S';
    cols_.Add(d);
  }
  for (int k = 0; k < key_count_;) {  // keys on fields that are gone are dropped
    if (keys_[k].field >= n) {
      std::memmove(&keys_[k], &keys_[k + 1], sizeof(Sort_Key) * static_cast<size_t>(key_count_ - k - 1));
      --key_count_;
    } else {
      ++k;
    }
  }
  return 1;
}

int DBDataMgr::Set_Field_Name(int i, map_wchar name) {
  DBDataMgr_Col_Stru* d = Col(i);
  if (!d) return 0;
  wchar16* s = Dup_W(name.c_str(), Str_Len(name.c_str()), "DBDataMgr::Set_Field_Name");
  wchar16* cap = nullptr;
  if (s && !d->caption) {
    cap = Dup_W(name.c_str(), Str_Len(name.c_str()), "DBDataMgr::Set_Field_Name");
    if (!cap) {
      Mem_Free(s, "DBDataMgr::Set_Field_Name");
      s = nullptr;
    }
  }
  if (!s) {
    Log_Printf("ERROR: unable to alloc memory for fieldname\n");
    return 0;
  }
  if (d->name) Mem_Free(d->name, "DBDataMgr::Set_Field_Name");
  d->name = s;
  if (cap) d->caption = cap;
  return 1;
}

int DBDataMgr::Set_Field_Caption(int i, map_wchar caption) {
  DBDataMgr_Col_Stru* d = Col(i);
  if (!d) return 0;
  wchar16* s = Dup_W(caption.c_str(), Str_Len(caption.c_str()), "DBDataMgr::Set_Field_Caption");
  if (!s) {
    Log_Printf("ERROR: unable to alloc memory for fieldname\n");
    return 0;
  }
  if (d->caption) Mem_Free(d->caption, "DBDataMgr::Set_Field_Caption");
  d->caption = s;
  return 1;
}

int DBDataMgr::Set_Field_Type(int i, char t) {
  DBDataMgr_Col_Stru* d = Col(i);
  if (!d) return 0;
  if (t) d->type = t;
  return 1;
}

int DBDataMgr::Set_Field_Size(int i, int v) {
  DBDataMgr_Col_Stru* d = Col(i);
  if (!d) return 0;
  d->size = v;
  return 1;
}

int DBDataMgr::Set_Field_Decsize(int i, int v) {
  DBDataMgr_Col_Stru* d = Col(i);
  if (!d) return 0;
  d->decsize = v;
  return 1;
}

int DBDataMgr::Set_Field_Width(int i, int v) {
  DBDataMgr_Col_Stru* d = Col(i);
  if (!d) return 0;
  d->width = v;
  return 1;
}

int DBDataMgr::Set_Field_Attr(int i, int v) {
  DBDataMgr_Col_Stru* d = Col(i);
  if (!d) return 0;
  d->attr = v;
  return 1;
}

const wchar16* DBDataMgr::Get_Field_Name(int i) const {
  DBDataMgr_Col_Stru* d = Col(i);
  return d && d->name ? d->name : g_empty_w;
}

const wchar16* DBDataMgr::Get_Field_Caption(int i) const {
  DBDataMgr_Col_Stru* d = Col(i);
  return d && d->caption ? d->caption : g_empty_w;
}

char DBDataMgr::Get_Field_Type(int i) const {
  DBDataMgr_Col_Stru* d = Col(i);
  return d ? d->type : '0';
}

int DBDataMgr::Get_Field_Size(int i) const {
  DBDataMgr_Col_Stru* d = Col(i);
  return d ? d->size : 0;
}

int DBDataMgr::Get_Field_Decsize(int i) const {
  DBDataMgr_Col_Stru* d = Col(i);
  return d ? d->decsize : 0;
}

int DBDataMgr::Get_Field_Width(int i) const {
  DBDataMgr_Col_Stru* d = Col(i);
  return d ? d->width : 0;
}

int DBDataMgr::Get_Field_Attr(int i) const {
  DBDataMgr_Col_Stru* d = Col(i);
  return d ? d->attr : 0;
}

int DBDataMgr::Find_Field(map_wchar name) const {
  const wchar16* n = name.c_str();
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < cols_.Count(); ++i) {
      if (Same_Name(cols_.Get(i)->name, n, pass == 1)) return i;
    }
  }
  return -1;
}

int DBDataMgr::Insert_Field(int pos, map_wchar name) {
  if (Find_Field(name) >= 0) return 0;
  int f = Get_Field_Count();
  int r = Get_Row_Count();
  if (pos < 0) pos = 0;
  if (pos > f) pos = f;
  if (f + 1 >= MAX_FIELDS) {
    Log_Printf("%s", kOutOfRange);
    return 0;
  }
  // Everything that can fail is allocated before anything changes.
  const char* tag = "DBDataMgr::Insert_Field";
  int n = Str_Len(name.c_str());
  DBDataMgr_Col_Stru* d = static_cast<DBDataMgr_Col_Stru*>(Mem_Alloc(sizeof(DBDataMgr_Col_Stru), tag));
  wchar16* nm = d ? Dup_W(name.c_str(), n, tag) : nullptr;
  wchar16* cap = nm ? Dup_W(name.c_str(), n, tag) : nullptr;
  DBIOCOLSTRU** fresh = nullptr;
  bool ok = cap != nullptr;
  if (ok && r > 0) {
    fresh = static_cast<DBIOCOLSTRU**>(Mem_Alloc(sizeof(DBIOCOLSTRU*) * static_cast<size_t>(r), tag));
    if (fresh) std::memset(static_cast<void*>(fresh), 0, sizeof(DBIOCOLSTRU*) * static_cast<size_t>(r));
    ok = fresh != nullptr;
    for (int j = 0; ok && j < r; ++j) {
      fresh[j] = static_cast<DBIOCOLSTRU*>(Mem_Alloc(sizeof(DBIOCOLSTRU) * static_cast<size_t>(f + 1), tag));
      ok = fresh[j] != nullptr;
    }
  }
  if (!ok) {
    if (fresh) {
      for (int j = 0; j < r && fresh[j]; ++j) Mem_Free(fresh[j], tag);
      Mem_Free(fresh, tag);
    }
    if (cap) Mem_Free(cap, tag);
    if (nm) Mem_Free(nm, tag);
    if (d) Mem_Free(d, tag);
    Log_Printf("ERROR: unable to alloc for col\n");
    return 0;
  }
  if (r > 0) heap_parts_ = true;
  for (int j = 0; j < r; ++j) {
    DBIOROWSTRU* row = rows_.Get(j);
    DBIOCOLSTRU* c = fresh[j];
    std::memcpy(static_cast<void*>(c), row->cols, sizeof(DBIOCOLSTRU) * static_cast<size_t>(pos));
    std::memset(static_cast<void*>(c + pos), 0, sizeof(DBIOCOLSTRU));
    std::memcpy(static_cast<void*>(c + pos + 1), row->cols + pos, sizeof(DBIOCOLSTRU) * static_cast<size_t>(f - pos));
    if (row->cols != reinterpret_cast<DBIOCOLSTRU*>(row + 1)) Mem_Free(row->cols, tag);
    row->cols = c;
  }
  if (fresh) Mem_Free(fresh, tag);
  std::memset(static_cast<void*>(d), 0, sizeof *d);
  d->name = nm;
  d->caption = cap;
  d->type = 'S';
  cols_.Insert(pos, d);
  for (int k = 0; k < key_count_; ++k) {
    if (keys_[k].field >= pos) ++keys_[k].field;
  }
  return 1;
}

int DBDataMgr::Drop_Field(int i) {
  DBDataMgr_Col_Stru* d = Col(i);
  if (!d) return 0;
  int f = Get_Field_Count();
  for (int j = 0; j < Get_Row_Count(); ++j) {
    DBIOCOLSTRU* c = rows_.Get(j)->cols;
    Free_Cell(&c[i], "DBDataMgr::Drop_Field");
    std::memmove(static_cast<void*>(c + i), c + i + 1, sizeof(DBIOCOLSTRU) * static_cast<size_t>(f - i - 1));
    std::memset(static_cast<void*>(c + f - 1), 0, sizeof(DBIOCOLSTRU));
  }
  if (d->name) Mem_Free(d->name, "DBDataMgr::Drop_Field");
  if (d->caption) Mem_Free(d->caption, "DBDataMgr::Drop_Field");
  Mem_Free(d, "DBDataMgr::Drop_Field");
  cols_.Del(i);
  for (int k = 0; k < key_count_;) {
    if (keys_[k].field == i) {
      std::memmove(&keys_[k], &keys_[k + 1], sizeof(Sort_Key) * static_cast<size_t>(key_count_ - k - 1));
      --key_count_;
      continue;
    }
    if (keys_[k].field > i) --keys_[k].field;
    ++k;
  }
  return 1;
}

int DBDataMgr::Drop_Field(map_wchar name) {
  int i = Find_Field(name);
  if (i < 0) return 0;
  return Drop_Field(i);
}

// ---------------------------------------------------------------- rows and cursor

int DBDataMgr::Add_Row() { return Insert_Row(Get_Row_Count()); }

int DBDataMgr::Insert_Row(int pos) {
  if (Get_Field_Count() == 0) {
    Log_Printf("ERROR: the field count is 0,cant alloc memory\n");
    return 0;
  }
  int r = Get_Row_Count();
  Grow_For_One(&rows_);
  // A row appended at the end (the way drivers fill a result) comes from the block pool.
  DBIOROWSTRU* row = New_Row(pos >= r);
  if (!row) {
    Log_Printf("ERROR: unable to alloc for to_add\n");
    return 0;
  }
  if (pos < 0) pos = 0;
  if (pos > r) pos = r;
  rows_.Insert(pos, row);
  rows_.Position() = pos;
  return 1;
}

int DBDataMgr::Append_Row(const wchar16* const* texts, const int* lens, int n) {
  const int f = Get_Field_Count();
  if (n < 0 || n > f || f == 0) return 0;
  size_t units = 0;
  for (int i = 0; i < n; ++i)
    if (texts[i]) units += static_cast<size_t>(lens[i] > 0 ? lens[i] : 0) + 1;
  const size_t row_bytes = sizeof(DBIOROWSTRU) + sizeof(DBIOCOLSTRU) * static_cast<size_t>(f);
  const int r = Get_Row_Count();
  Grow_For_One(&rows_);
  char* piece = static_cast<char*>(Pool_Take(row_bytes + sizeof(wchar16) * units));
  if (!piece) {
    Log_Printf("ERROR: unable to alloc for to_add\n");
    return 0;
  }
  std::memset(static_cast<void*>(piece), 0, row_bytes);
  DBIOROWSTRU* row = reinterpret_cast<DBIOROWSTRU*>(piece);
  row->cols = reinterpret_cast<DBIOCOLSTRU*>(row + 1);
  row->pooled = 1;
  wchar16* v = reinterpret_cast<wchar16*>(piece + row_bytes);
  for (int i = 0; i < n; ++i) {
    if (!texts[i]) continue;
    const int len = lens[i] > 0 ? lens[i] : 0;
    if (len) std::memcpy(v, texts[i], sizeof(wchar16) * static_cast<size_t>(len));
    v[len] = 0;
    row->cols[i].value = v;
    row->cols[i].len = len + 1;
    row->cols[i].pooled = ZEM_CELL_POOL;
    v += len + 1;
  }
  rows_.Add(row);
  rows_.Position() = r;
  return 1;
}

int DBDataMgr::Del_Row() {
  int r = Get_Row_Count();
  if (r == 0) return 0;
  int pos = rows_.Position();
  if (pos < 0 || pos >= r) return 0;
  Free_Row(rows_.Get(pos));
  rows_.Del(pos);
  return 1;
}

int DBDataMgr::Swap_Row(int a, int b) {
  int r = Get_Row_Count();
  if (a < 0 || b < 0 || a >= r || b >= r) return 0;
  DBIOROWSTRU* t = rows_.At(a);
  rows_.At(a) = rows_.At(b);
  rows_.At(b) = t;
  return 1;
}

int DBDataMgr::First() {
  rows_.Position() = 0;
  return Get_Row_Count() > 0 ? 1 : 0;
}

int DBDataMgr::Next() {
  if (rows_.Position() + 1 >= Get_Row_Count()) return 0;
  ++rows_.Position();
  return 1;
}

int DBDataMgr::Has_Next() const {
  return const_cast<OT_Array<DBIOROWSTRU*>&>(rows_).Position() + 1 < Get_Row_Count() ? 1 : 0;
}

int DBDataMgr::Go_To_Row(int r) {
  if (r < 0 || r >= Get_Row_Count()) return 0;
  rows_.Position() = r;
  return 1;
}

// ---------------------------------------------------------------- values

DBIOCOLSTRU* DBDataMgr::Cur_Cell(int i, bool* pool_row) {
  if (!Col(i)) return nullptr;
  int pos = rows_.Position();
  if (pos < 0 || pos >= Get_Row_Count()) return nullptr;
  DBIOROWSTRU* row = rows_.Get(pos);
  if (pool_row) *pool_row = row->pooled != 0;
  return &row->cols[i];
}

int DBDataMgr::Store(DBIOCOLSTRU* c, const wchar16* text, int n, const char* tag, bool pool_row) {
  if (c->s_value) {
    Mem_Free(c->s_value, tag);
    c->s_value = nullptr;
  }
  if (c->value && c->len == n + 1) {  // same length: the buffer is reused
    if (n > 0) std::memmove(c->value, text, sizeof(wchar16) * static_cast<size_t>(n));
    c->value[n] = 0;
    return 1;
  }
  if (!c->value && pool_row && c->pooled == ZEM_CELL_HEAP) {  // the cell's first value
    wchar16* v = static_cast<wchar16*>(Pool_Take(sizeof(wchar16) * (static_cast<size_t>(n) + 1)));
    if (v) {
      if (n > 0) std::memcpy(v, text, sizeof(wchar16) * static_cast<size_t>(n));
      v[n] = 0;
      c->value = v;
      c->len = n + 1;
      c->pooled = ZEM_CELL_POOL;
      return 1;
    }
  }
  wchar16* v = Dup_W(text, n, tag);
  heap_parts_ = true;
  if (c->value && c->pooled != ZEM_CELL_POOL) Mem_Free(c->value, tag);
  if (c->pooled == ZEM_CELL_POOL) c->pooled = ZEM_CELL_SPENT;
  c->value = v;
  c->len = v ? n + 1 : 0;
  if (!v) {
    Log_Printf("ERROR: unable to alloc for value\n");
    return 0;
  }
  return 1;
}

int DBDataMgr::Set_Value(int i, map_wchar text) {
  bool pool_row = false;
  DBIOCOLSTRU* c = Cur_Cell(i, &pool_row);
  if (!c) return 0;
  if (text.c_str() == g_empty_w) {  // a null text: the cell becomes absent
    if (c->value && c->len == 1) return 1;
    Free_Cell(c, "DBDataMgr::Set_Value");
    return 1;
  }
  return Store(c, text.c_str(), Str_Len(text.c_str()), "DBDataMgr::Set_Value", pool_row);
}

int DBDataMgr::Set_Null(int i) {
  DBIOCOLSTRU* c = Cur_Cell(i);
  if (!c) return 0;
  Free_Cell(c, "DBDataMgr::Set_Value");
  return 1;
}

int DBDataMgr::Set_Value_With_Len(int i, const wchar16* text, int n) {
  bool pool_row = false;
  DBIOCOLSTRU* c = Cur_Cell(i, &pool_row);
  if (!c) return 0;
  if (!text || n < 0) n = 0;
  return Store(c, text ? text : g_empty_w, n, "DBDataMgr::Set_Value_With_Len", pool_row);
}

const wchar16* DBDataMgr::Get_Value(int i) {
  DBIOCOLSTRU* c = Cur_Cell(i);
  return c ? dbdata::Text(*c) : g_empty_w;
}

int DBDataMgr::Get_Value_Len(int i) {
  DBIOCOLSTRU* c = Cur_Cell(i);
  return c ? dbdata::Units(*c) : 0;
}

const char* DBDataMgr::Get_S_Value(int i) {
  DBIOCOLSTRU* c = Cur_Cell(i);
  if (!c || !c->value || c->len <= 1) return g_empty_c;
  if (!c->s_value) {
    int n = c->len - 1;
    int m = Zem_W_To_MB(ZEM_CP_SYSTEM, c->value, n, nullptr, 0);
    char* s = static_cast<char*>(Mem_Alloc(static_cast<size_t>(m) + 1, "DBDataMgr::Check_S_Value"));
    if (!s) return g_empty_c;
    heap_parts_ = true;
    int w = m > 0 ? Zem_W_To_MB(ZEM_CP_SYSTEM, c->value, n, s, m) : 0;
    s[w] = 0;
    c->s_value = s;
  }
  return c->s_value;
}

const wchar16* DBDataMgr::Get_Row_Value(int row, int i) const {
  if (row < 0 || row >= Get_Row_Count() || i < 0 || i >= Get_Field_Count()) return g_empty_w;
  return dbdata::Text(rows_.Get(row)->cols[i]);
}

std::vector<const wchar16*> DBDataMgr::Column_Texts(int i) const {
  std::vector<const wchar16*> texts;
  if (i < 0 || i >= Get_Field_Count()) return texts;
  const int n = Get_Row_Count();
  texts.resize(static_cast<size_t>(n));
  DBIOROWSTRU* const* rows = rows_.Data();
  for (int r = 0; r < n; ++r) {
    // Rows lie apart, each cold: its header is asked for early, its cell once the header is there.
    if (r + 32 < n) __builtin_prefetch(rows[r + 32]);
    if (r + 16 < n) __builtin_prefetch(&rows[r + 16]->cols[i]);
    texts[static_cast<size_t>(r)] = dbdata::Text(rows[r]->cols[i]);
  }
  return texts;
}

int DBDataMgr::Row_Value_Present(int row, int i) const {
  if (row < 0 || row >= Get_Row_Count() || i < 0 || i >= Get_Field_Count()) return 0;
  return rows_.Get(row)->cols[i].value != nullptr;
}

int DBDataMgr::Get_Row_Track(int row) const {
  if (row < 0 || row >= Get_Row_Count()) return 0;
  return rows_.Get(row)->track;
}

int DBDataMgr::Set_Row_Track(int row, int id) {
  if (row < 0 || row >= Get_Row_Count()) return 0;
  rows_.Get(row)->track = id;
  return 1;
}

int DBDataMgr::Append_Data(DBDataMgr* other) {
  if (!other) return 0;
  int f = Get_Field_Count();
  if (other->Get_Field_Count() != f) {
    Log_Printf("ERROR: The field num is not equle,cant merge to one!\n");
    return 0;
  }
  int m = other->Get_Row_Count();  // fixed first, so appending a set to itself ends
  if (m == 0) return 1;
  if (f == 0) {
    Log_Printf("ERROR: the field count is 0,cant alloc memory\n");
    return 0;
  }
  rows_.Reserve(Get_Row_Count() + m);
  for (int j = 0; j < m; ++j) {
    DBIOROWSTRU* row = New_Row(false);
    if (!row) {
      Log_Printf("ERROR: unable to alloc for to_add\n");
      return 0;
    }
    const DBIOCOLSTRU* src = other->rows_.Get(j)->cols;
    for (int i = 0; i < f; ++i) {
      if (src[i].value && !Store(&row->cols[i], src[i].value, src[i].len - 1, "DBDataMgr::Set_Value")) {
        Free_Row(row);
        return 0;
      }
    }
    rows_.Add(row);
  }
  rows_.Position() = Get_Row_Count() - 1;
  return 1;
}

// ---------------------------------------------------------------- the whole set

int DBDataMgr::Clear_Data() {
  if (heap_parts_)
    for (int j = 0; j < Get_Row_Count(); ++j) Free_Row(rows_.Get(j));
  heap_parts_ = false;
  rows_.Clear();
  Pool_Free();
  sqlcode_ = 0;
  sqlmsg_.clear();
  return 1;
}

int DBDataMgr::CFree() {
  Clear_Data();
  Free_Cols();
  table_name_.clear();
  sqlmsg_.clear();
  sqlcode_ = 0;
  tag_[0] = tag_[1] = tag_[2] = 0;
  key_count_ = 0;
  return 1;
}

int DBDataMgr::Set_Error(int code, map_wchar msg) {
  sqlcode_ = code;
  const wchar16* m = msg.c_str();
  sqlmsg_.assign(m, static_cast<size_t>(Cut(Str_Len(m), MAX_SQLMSG)));
  return 1;
}

int DBDataMgr::Set_Table_Name(map_wchar name) {
  table_name_.assign(name.c_str());
  for (wchar16& c : table_name_) {
    if (c >= 'a' && c <= 'z') c = static_cast<wchar16>(c - 32);
  }
  return 1;
}
