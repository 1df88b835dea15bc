// DBDataMgr: multi-key sort, binary seek on field 0, and finding rows by conditions.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/data/dbdata.h"
#include "core/data/dbdata_util.h"
#include "core/data/dec_num.h"
#include "frame/log_mgr.h"
#include "frame/vector_state.h"

using dbdata::Coll_Cmp;
using dbdata::Text;

bool DBDataMgr::Numeric_Key(const Sort_Key& k) const {
  char type = cols_.Get(k.field)->type;
  char kind;
  switch (k.mode) {
    case 'F': case 'I': case '1': kind = static_cast<char>(k.mode); break;
    case '2': kind = 'F'; break;
    case 'N': kind = type == 'I' ? 'I' : 'F'; break;
    default: kind = type; break;  // -1 and anything else: the field's own type
  }
  return kind == '1' || kind == '2' || kind == 'F' || kind == 'I' || kind == 'N';
}

int DBDataMgr::Set_Sort_Key(int field, int desc, int mode) {
  if (!Col(field)) return 0;
  key_count_ = 0;
  return Add_Sort_Key(field, desc, mode);
}

int DBDataMgr::Add_Sort_Key(int field, int desc, int mode) {
  if (!Col(field) || key_count_ >= MAX_SORT_KEYS) return 0;
  keys_[key_count_++] = Sort_Key{field, desc, mode};
  return 1;
}

namespace {

// One key as the sort uses it.
struct Key_Plan {
  int field;
  bool desc;
  bool numeric;
};

int Cmp_Rows(const DBIOROWSTRU* a, const DBIOROWSTRU* b, const Key_Plan* keys, int from, int n) {
  for (int k = from; k < n; ++k) {
    const Key_Plan& p = keys[k];
    const wchar16* x = Text(a->cols[p.field]);
    const wchar16* y = Text(b->cols[p.field]);
    int r = p.numeric ? Dec_Cmp(x, y) : Coll_Cmp(x, y);
    if (r) return p.desc ? -r : r;
  }
  return 0;
}

// A row with its first two keys in forms that compare as unsigned integers.
struct Sort_Ent {
  uint64_t fast[2];
  DBIOROWSTRU* row;
};

// How a key is carried in Sort_Ent::fast.
enum Fast_Kind {
  kNone,    // not carried: compare the texts
  kExact,   // a numeric key scaled to 64 bits: equal fast values mean equal keys
  kPrefix,  // the collation keys of a text's first four code units: equal needs the texts
};

// The first four code units of a text as one integer that orders as W_Cmp does whenever they
// differ: 16 bits per unit, each unit replaced by its collation key under code page 936 (the same
// table W_Cmp uses) and taken as it is otherwise; a terminator weighs 0 and so does all after it.
uint64_t Text_Prefix(const unsigned short* key, const wchar16* s) {
  uint64_t v = 0;
  int i = 0;
  for (; i < 4 && s[i]; ++i) v = (v << 16) | (key ? key[s[i]] : s[i]);
  for (; i < 4; ++i) v <<= 16;
  return v;
}

// Fills fast[] for the first two keys (n of them, at most 2) and says how each is carried. The rows
// are visited once (they lie scattered in memory): a numeric value is read at its own scale first,
// then brought to the common scale in a pass over the entries alone.
void Make_Fast(Sort_Ent* ents, int r, const Key_Plan* keys, int n, Fast_Kind* kind) {
  const unsigned short* w = Sys_Code_Page() == ZEM_CP_GBK ? g_zem_collation_key.data() : nullptr;
  std::vector<uint8_t> scales[2];
  int scale_max[2] = {0, 0}, idig_max[2] = {0, 0};
  bool fits[2] = {true, true};
  for (int k = 0; k < n; ++k) {
    kind[k] = keys[k].numeric ? kExact : kPrefix;
    if (keys[k].numeric) scales[k].resize(static_cast<size_t>(r));
  }
  for (int j = 0; j < r; ++j) {
    // The rows lie scattered: fetch the row blocks 16 ahead and their key texts 8 ahead.
    if (j + 16 < r) __builtin_prefetch(ents[j + 16].row);
    if (j + 8 < r) {
      const DBIOCOLSTRU* ahead = ents[j + 8].row->cols;
      for (int k = 0; k < n; ++k) __builtin_prefetch(ahead[keys[k].field].value);
    }
    const DBIOCOLSTRU* cols = ents[j].row->cols;
    for (int k = 0; k < n; ++k) {
      const wchar16* v = Text(cols[keys[k].field]);
      if (kind[k] == kPrefix) {
        ents[j].fast[k] = Text_Prefix(w, v);
      } else if (kind[k] == kExact && fits[k]) {
        int idig = 0;
        int s = Dec_Scale(v, &idig);
        long long m = 0;
        if (idig + s > 18 || !Dec_To_I64(v, s, &m)) {
          fits[k] = false;
          continue;
        }
        ents[j].fast[k] = static_cast<uint64_t>(m);
        scales[k][static_cast<size_t>(j)] = static_cast<uint8_t>(s);
        if (s > scale_max[k]) scale_max[k] = s;
        if (idig > idig_max[k]) idig_max[k] = idig;
      }
    }
  }
  static const long long kPow10[19] = {1LL, 10LL, 100LL, 1000LL, 10000LL, 100000LL, 1000000LL, 10000000LL,
                                       100000000LL, 1000000000LL, 10000000000LL, 100000000000LL,
                                       1000000000000LL, 10000000000000LL, 100000000000000LL,
                                       1000000000000000LL, 10000000000000000LL, 100000000000000000LL,
                                       1000000000000000000LL};
  for (int k = 0; k < n; ++k) {
    if (kind[k] == kExact && (!fits[k] || idig_max[k] + scale_max[k] > 18)) kind[k] = kNone;
    if (kind[k] == kNone) continue;
    for (int j = 0; j < r; ++j) {
      uint64_t u = ents[j].fast[k];
      if (kind[k] == kExact) {
        long long m = static_cast<long long>(u) * kPow10[scale_max[k] - scales[k][static_cast<size_t>(j)]];
        u = static_cast<uint64_t>(m) ^ (uint64_t{1} << 63);  // signed order as unsigned
      }
      ents[j].fast[k] = keys[k].desc ? ~u : u;
    }
  }
}

}  // namespace

int DBDataMgr::Sort_Cmp(int row_a, int row_b) const {
  int r = Get_Row_Count();
  if (row_a < 0 || row_b < 0 || row_a >= r || row_b >= r) return 0;
  Key_Plan plan[MAX_SORT_KEYS];
  int n = 0;
  for (int k = 0; k < key_count_; ++k) {
    if (keys_[k].field < Get_Field_Count()) plan[n++] = Key_Plan{keys_[k].field, keys_[k].desc != 0, Numeric_Key(keys_[k])};
  }
  return Cmp_Rows(rows_.Get(row_a), rows_.Get(row_b), plan, 0, n);
}

int DBDataMgr::Sort() {
  int r = Get_Row_Count();
  if (r < 2) return 1;
  Zem_Clean_Vector_State();  // the comparisons read the keys' texts
  Key_Plan plan[MAX_SORT_KEYS];
  int n = 0;
  for (int k = 0; k < key_count_; ++k) {
    if (keys_[k].field < Get_Field_Count()) plan[n++] = Key_Plan{keys_[k].field, keys_[k].desc != 0, Numeric_Key(keys_[k])};
  }
  if (n == 0) {
    rows_.Position() = 0;
    return 1;
  }
  Sort_Ent* ents = static_cast<Sort_Ent*>(Mem_Alloc(sizeof(Sort_Ent) * static_cast<size_t>(r), "DBDataMgr::Sort"));
  if (!ents) {
    Log_Printf("ERROR: unable to alloc memory for sort\n");
    return 0;
  }
  DBIOROWSTRU** data = rows_.Data();
  for (int j = 0; j < r; ++j) ents[j] = Sort_Ent{{0, 0}, data[j]};

  // The first two keys are carried beside the row pointers, so most comparisons never reach the
  // texts: numeric keys exactly (values of at most 18 digits at one common scale), text keys as
  // collation prefixes that decide whenever the first four code units differ.
  Fast_Kind kind[2] = {kNone, kNone};
  Make_Fast(ents, r, plan, n < 2 ? n : 2, kind);
  const Key_Plan* keys = plan;
  auto less = [keys, n, kind](const Sort_Ent& a, const Sort_Ent& b) {
    for (int k = 0; k < n; ++k) {
      if (k < 2 && kind[k] != kNone) {
        if (a.fast[k] != b.fast[k]) return a.fast[k] < b.fast[k];
        if (kind[k] == kExact) continue;
      }
      const Key_Plan& p = keys[k];
      const wchar16* x = Text(a.row->cols[p.field]);
      const wchar16* y = Text(b.row->cols[p.field]);
      int c = p.numeric ? Dec_Cmp(x, y) : Coll_Cmp(x, y);
      if (c) return p.desc ? c > 0 : c < 0;
    }
    return false;
  };
  // Rows saved after a sort come back in order: when every row is strictly after the one before,
  // the order is the only one the sort could give, and the sort is skipped. Equal keys still sort.
  int j = 1;
  while (j < r && less(ents[j - 1], ents[j])) ++j;
  if (j < r) std::sort(ents, ents + r, less);
  for (int j = 0; j < r; ++j) data[j] = ents[j].row;
  Mem_Free(ents, "DBDataMgr::Sort");
  rows_.Position() = 0;
  return 1;
}

int DBDataMgr::Seek(map_wchar key) {
  int r = Get_Row_Count();
  if (r == 0 || Get_Field_Count() == 0) return 0;
  const wchar16* k = key.c_str();
  int lo = 1, hi = r;
  while (lo <= hi) {
    int mid = lo + (hi - lo) / 2;
    int c = Coll_Cmp(Text(rows_.Get(mid - 1)->cols[0]), k);
    if (c > 0) {
      hi = mid - 1;
    } else if (c < 0) {
      lo = mid + 1;
    } else {
      rows_.Position() = mid - 1;
      return 1;
    }
  }
  return 0;
}

int DBDataMgr::Row_Match(DBIOROWSTRU* row, int field, const wchar16* value) const {
  // Absent and empty read alike on both sides, so one comparison covers every case.
  return Coll_Cmp(Text(row->cols[field]), value ? value : g_empty_w) == 0;
}

int DBDataMgr::Conds_Match(DBIOROWSTRU* row, DBDataMgr_Find_List* conds) const {
  for (int i = 0; i < conds->Count(); ++i) {
    DBDataMgr_Find_Stru& c = conds->At(i);
    if (c.idx == -1) c.idx = Find_Field(c.name);
    if (c.idx < 0 || c.idx >= Get_Field_Count()) return 0;
    if (!Row_Match(row, c.idx, c.value)) return 0;
  }
  return 1;
}

int DBDataMgr::Find_First(DBDataMgr_Find_List* conds) {
  if (Get_Row_Count() == 0) return 0;
  rows_.Position() = 0;
  return Find_Next(conds);
}

int DBDataMgr::Find_Next(DBDataMgr_Find_List* conds) {
  int r = Get_Row_Count();
  if (r == 0 || !conds) return 0;
  for (int j = rows_.Position(); j < r; ++j) {
    if (Conds_Match(rows_.Get(j), conds)) {
      rows_.Position() = j;
      return 1;
    }
  }
  rows_.Position() = r - 1;
  return 0;
}

int DBDataMgr::Find_First(int field, const wchar16* value) {
  if (Get_Row_Count() == 0) return 0;
  rows_.Position() = 0;
  return Find_Next(field, value);
}

int DBDataMgr::Find_Next(int field, const wchar16* value) {
  int r = Get_Row_Count();
  if (r == 0 || !Col(field)) return 0;
  for (int j = rows_.Position(); j < r; ++j) {
    if (Row_Match(rows_.Get(j), field, value)) {
      rows_.Position() = j;
      return 1;
    }
  }
  rows_.Position() = r - 1;
  return 0;
}
