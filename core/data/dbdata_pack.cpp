// DBDataMgr: the packed byte form (the table is in dbdata.h).
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/data/dbdata.h"
#include "core/data/dbdata_util.h"
#include "frame/log_mgr.h"
#include "frame/vector_state.h"

using dbdata::Str_Len;

namespace {

inline uint8_t* Put16(uint8_t* p, unsigned v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
  return p + 2;
}

inline uint8_t* Put32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
  return p + 4;
}

// Bytes needed for the UTF-8 length prefix of a value.
inline int Len_Bytes(uint32_t n) {
  if (n == 0) return 0;
  if (n < 0x100u) return 1;
  if (n < 0x10000u) return 2;
  if (n < 0x1000000u) return 3;
  return 4;
}

inline size_t Utf8_Len(const wchar16* s, int n) {
  return n > 0 ? static_cast<size_t>(Zem_W_To_MB(ZEM_CP_UTF8, s, n, nullptr, 0)) : 0;
}

// A reader over [p, e) that refuses to go past the end.
struct Reader {
  const uint8_t* p;
  const uint8_t* e;
  bool ok = true;

  size_t Left() const { return static_cast<size_t>(e - p); }
  bool Need(size_t n) {
    if (!ok || Left() < n) ok = false;
    return ok;
  }
  uint32_t Be(int n) {
    if (!Need(static_cast<size_t>(n))) return 0;
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
    p += n;
    return v;
  }
  const uint8_t* Take(size_t n) {
    if (!Need(n)) return nullptr;
    const uint8_t* at = p;
    p += n;
    return at;
  }
};

// UTF-8 bytes to wide text; ill-formed pieces become U+FFFD (core/text's rule).
void From_Utf8(const uint8_t* s, size_t n, std::u16string* out) {
  out->resize(n);
  int w = n ? Zem_MB_To_W(ZEM_CP_UTF8, reinterpret_cast<const char*>(s), static_cast<int>(n), &(*out)[0],
                          static_cast<int>(n))
            : 0;
  out->resize(static_cast<size_t>(w));
}

}  // namespace

// The values are read once: the buffer is taken with room for the longest form they can have (three
// UTF-8 bytes per code unit), written, and cut to the exact length. Untouched room costs no memory.
uint8_t* DBDataMgr::Pack_Data(unsigned* len) {
  Zem_Clean_Vector_State();  // every value is measured and copied
  if (len) *len = 0;
  int f = Get_Field_Count();
  int r = Get_Row_Count();
  size_t m = sqlmsg_.size();
  size_t t = Utf8_Len(table_name_.data(), static_cast<int>(table_name_.size()));
  if (t > 0xFFFF) {
    Log_Printf("ERROR: table name too long to pack\n");
    return nullptr;
  }
  size_t bound = 4 + 2 + m + 2 + t + 2 + 4;
  for (int i = 0; i < f; ++i) {
    const DBDataMgr_Col_Stru* d = cols_.Get(i);
    size_t n = Utf8_Len(d->name, Str_Len(d->name));
    size_t c = Utf8_Len(d->caption, Str_Len(d->caption));
    if (n > 0xFFFF || c > 0xFFFF) {
      Log_Printf("ERROR: field name too long to pack\n");
      return nullptr;
    }
    bound += 2 + n + 1 + 2 + 1 + 2 + c + 2 + 2;
  }
  DBIOROWSTRU** rows = rows_.Data();
  for (int j = 0; j < r; ++j) {
    const DBIOCOLSTRU* c = rows[j]->cols;
    for (int i = 0; i < f; ++i) {
      size_t most = 3 * static_cast<size_t>(dbdata::Units(c[i]));
      bound += 1 + static_cast<size_t>(Len_Bytes(static_cast<uint32_t>(most > 0xFFFFFFFFu ? 0xFFFFFFFFu : most))) + most;
    }
  }

  uint8_t* buf = static_cast<uint8_t*>(std::malloc(bound));
  if (!buf) {
    Log_Printf("ERROR: unable to alloc memory for pack data\n");
    return nullptr;
  }
  dbdata::Large_Pages(buf, bound);
  uint8_t* p = buf;
  uint8_t* end = buf + bound;
  p = Put32(p, static_cast<uint32_t>(sqlcode_));
  p = Put16(p, static_cast<unsigned>(m));
  for (size_t i = 0; i < m; ++i) {  // the first m bytes of the message in UTF-16LE
    wchar16 u = sqlmsg_[i / 2];
    *p++ = static_cast<uint8_t>((i & 1) ? (u >> 8) : u);
  }
  p = Put16(p, static_cast<unsigned>(t));
  if (t) p += Zem_W_To_MB(ZEM_CP_UTF8, table_name_.data(), static_cast<int>(table_name_.size()),
                          reinterpret_cast<char*>(p), static_cast<int>(t));
  p = Put16(p, static_cast<unsigned>(f));
  for (int i = 0; i < f; ++i) {
    const DBDataMgr_Col_Stru* d = cols_.Get(i);
    int nn = Str_Len(d->name);
    size_t n = Utf8_Len(d->name, nn);
    p = Put16(p, static_cast<unsigned>(n));
    if (n) p += Zem_W_To_MB(ZEM_CP_UTF8, d->name, nn, reinterpret_cast<char*>(p), static_cast<int>(n));
    *p++ = static_cast<uint8_t>(d->type);
    p = Put16(p, static_cast<unsigned>(d->size));
    *p++ = static_cast<uint8_t>(d->decsize);
    int cn = Str_Len(d->caption);
    size_t c = Utf8_Len(d->caption, cn);
    p = Put16(p, static_cast<unsigned>(c));
    if (c) p += Zem_W_To_MB(ZEM_CP_UTF8, d->caption, cn, reinterpret_cast<char*>(p), static_cast<int>(c));
    p = Put16(p, static_cast<unsigned>(d->width));
    p = Put16(p, static_cast<unsigned>(d->attr));
  }
  p = Put32(p, static_cast<uint32_t>(r));
  for (int j = 0; j < r; ++j) {
    const DBIOCOLSTRU* c = rows[j]->cols;
    for (int i = 0; i < f; ++i) {
      int units = dbdata::Units(c[i]);
      size_t most = 3 * static_cast<size_t>(units);
      size_t need = units ? 1 + static_cast<size_t>(Len_Bytes(static_cast<uint32_t>(most > 0xFFFFFFFFu ? 0xFFFFFFFFu : most))) + most : 1;
      if (static_cast<size_t>(end - p) < need) goto fail;  // the set changed since the room was counted
      if (units == 0) {
        *p++ = 0;
        continue;
      }
      if (most < 0x100) {  // fewer than 86 code units: one length byte
        int l = Zem_W_To_MB(ZEM_CP_UTF8, c[i].value, units, reinterpret_cast<char*>(p + 2), static_cast<int>(most));
        if (l <= 0) goto fail;
        p[0] = 1;
        p[1] = static_cast<uint8_t>(l);
        p += 2 + l;
        continue;
      }
      // Longer: written after room for the longest length prefix, moved up when the prefix is shorter.
      int kmax = Len_Bytes(static_cast<uint32_t>(most > 0xFFFFFFFFu ? 0xFFFFFFFFu : most));
      int w = Zem_W_To_MB(ZEM_CP_UTF8, c[i].value, units, reinterpret_cast<char*>(p + 1 + kmax),
                          most > 0x7fffffff ? 0x7fffffff : static_cast<int>(most));
      if (w <= 0) goto fail;
      int k = Len_Bytes(static_cast<uint32_t>(w));
      if (k < kmax) std::memmove(p + 1 + k, p + 1 + kmax, static_cast<size_t>(w));
      *p++ = static_cast<uint8_t>(k);
      for (int b = k - 1; b >= 0; --b) *p++ = static_cast<uint8_t>(static_cast<uint32_t>(w) >> (8 * b));
      p += w;
    }
  }
  {
    size_t size = static_cast<size_t>(p - buf);
    if (p > end || size > 0xFFFFFFFFu) goto fail;
    if (uint8_t* cut = static_cast<uint8_t*>(std::realloc(buf, size ? size : 1))) buf = cut;
    if (len) *len = static_cast<unsigned>(size);
    return buf;
  }

fail:
  std::free(buf);
  Log_Printf("ERROR: unable to pack the data set (a text could not be converted or it is over 4 GB)\n");
  return nullptr;
}

int DBDataMgr::Unpack_Data(const uint8_t* buf, int len) {
  if (!buf || len < 1) return 0;
  return Unpack_Checked(buf, static_cast<size_t>(len), nullptr);
}

int DBDataMgr::Unpack_Data(const uint8_t* buf, size_t len, size_t* used) {
  if (used) *used = 0;
  if (!buf || len < 1) return 0;
  return Unpack_Checked(buf, len, used);
}

namespace {

// The values of the rows, walked from p: *units receives the code units their texts can need (one
// per byte at most, UTF-8 never giving more) with a terminator each. false when a length byte is over
// 4 or a length runs past e. Raw pointers and every length checked against what remains: the loop
// runs once per value of the whole set.
bool Walk_Values(const uint8_t*& p, const uint8_t* e, uint64_t values, size_t* units) {
  size_t u = 0;
  for (; values > 0; --values) {
    if (p == e) return false;
    const uint32_t k = *p++;
    if (k == 0) continue;
    if (k > 4 || static_cast<size_t>(e - p) < k) return false;
    uint32_t l = p[0];
    for (uint32_t b = 1; b < k; ++b) l = (l << 8) | p[b];
    p += k;
    if (static_cast<size_t>(e - p) < l) return false;
    p += l;
    u += static_cast<size_t>(l) + 1;
  }
  *units = u;
  return true;
}

// The first pass of an unpack: every length walked against the bytes that remain, nothing changed.
// true with the field and row counts, the set's length and the code units its values can need
// (Walk_Values); false after logging.
bool Walk_Packed(const uint8_t* buf, size_t len, uint32_t* fields, uint32_t* rows, size_t* total,
                 size_t* units) {
  Reader v{buf, buf + len};
  v.Be(4);
  v.Take(v.Be(2));
  v.Take(v.Be(2));
  uint32_t f = v.Be(2);
  if (v.ok && f >= DBDataMgr::MAX_FIELDS) {
    Log_Printf("ERROR: packed data set has %u fields, at most %d are allowed\n", f, DBDataMgr::MAX_FIELDS - 1);
    return false;
  }
  for (uint32_t i = 0; v.ok && i < f; ++i) {
    v.Take(v.Be(2));
    v.Take(1 + 2 + 1);
    v.Take(v.Be(2));
    v.Take(2 + 2);
  }
  uint32_t r = v.Be(4);
  // Rows are read only when bytes follow the count: a set that ends right after it has no rows.
  if (v.ok && v.Left() == 0) r = 0;
  if (v.ok && r > 0 && (f == 0 || r > 0x7fffffffu || v.Left() / f < r)) v.ok = false;  // each value >= 1 byte
  if (v.ok && !Walk_Values(v.p, v.e, static_cast<uint64_t>(r) * f, units)) v.ok = false;
  if (!v.ok) {
    Log_Printf("ERROR: packed data set is truncated or inconsistent (%zu bytes)\n", len);
    return false;
  }
  *fields = f;
  *rows = r;
  *total = static_cast<size_t>(v.p - buf);
  return true;
}

// The texts of the rows are mostly ASCII (codes, flags, numbers) and well-formed two- and three-byte
// sequences (names): those are decoded here, and the converter takes over at the first byte of anything
// else, from a sequence boundary, so the result is the converter's. n code units written to v.
inline int Utf8_Value(const uint8_t* s, uint32_t l, wchar16* v) {
  uint32_t a = 0;
  int o = 0;
  while (a < l) {
    const uint32_t b = s[a];
    if (b < 0x80) {
      v[o++] = static_cast<wchar16>(b);
      a += 1;
    } else if (b >= 0xC2 && b <= 0xDF && a + 1 < l && (s[a + 1] & 0xC0) == 0x80) {
      v[o++] = static_cast<wchar16>(((b & 0x1F) << 6) | (s[a + 1] & 0x3F));
      a += 2;
    } else if (b >= 0xE1 && b <= 0xEF && b != 0xED && a + 2 < l && (s[a + 1] & 0xC0) == 0x80 &&
               (s[a + 2] & 0xC0) == 0x80) {  // E0 (overlong forms) and ED (surrogates) need the converter
      v[o++] = static_cast<wchar16>(((b & 0x0F) << 12) | ((s[a + 1] & 0x3F) << 6) | (s[a + 2] & 0x3F));
      a += 3;
    } else {
      const int rest = static_cast<int>(l - a);
      return o + Zem_MB_To_W(ZEM_CP_UTF8, reinterpret_cast<const char*>(s + a), rest, v + o, rest);
    }
  }
  return o;
}

}  // namespace

int DBDataMgr::Check_Packed(const uint8_t* buf, size_t len, int* fields) {
  uint32_t f = 0, r = 0;
  size_t total = 0, units = 0;
  if (!buf || len < 1 || !Walk_Packed(buf, len, &f, &r, &total, &units)) return 0;
  if (fields) *fields = static_cast<int>(f);
  return 1;
}

int DBDataMgr::Unpack_Checked(const uint8_t* buf, size_t len, size_t* used) {
  Zem_Clean_Vector_State();  // both passes read and copy value after value
  uint32_t f = 0, r = 0;
  size_t total = 0, units = 0;
  if (!Walk_Packed(buf, len, &f, &r, &total, &units)) return 0;

  // Second pass: build. Only an allocation failure can stop it now; the set then holds the fields
  // and no rows. The blocks of the old rows are kept aside and filled again.
  Pool_Block* old = pool_;
  pool_ = nullptr;
  CFree();
  spare_ = old;
  int ok = Unpack_Build(buf, total, f, r, units);
  while (spare_) {  // what the new content did not need
    Pool_Block* next = spare_->next;
    Mem_Free(spare_, "DBDataMgr::Unpack_Data");
    spare_ = next;
  }
  if (ok && used) *used = total;
  return ok;
}

int DBDataMgr::Unpack_Build(const uint8_t* buf, size_t total, uint32_t f, uint32_t r, size_t units) {
  Reader rd{buf, buf + total};
  std::u16string w;
  int code = static_cast<int>(rd.Be(4));
  uint32_t m = rd.Be(2);
  const uint8_t* mb = rd.Take(m);
  w.clear();
  for (uint32_t i = 0; i + 1 < m; i += 2) w.push_back(static_cast<wchar16>(mb[i] | (mb[i + 1] << 8)));
  if (m & 1) w.push_back(static_cast<wchar16>(mb[m - 1]));
  Set_Error(code, w.c_str());
  uint32_t t = rd.Be(2);
  From_Utf8(rd.Take(t), t, &w);
  Set_Table_Name(w.c_str());
  rd.Be(2);
  if (!Set_Field_Count(static_cast<int>(f))) return 0;
  for (uint32_t i = 0; i < f; ++i) {
    int fi = static_cast<int>(i);
    uint32_t n = rd.Be(2);
    From_Utf8(rd.Take(n), n, &w);
    if (!Set_Field_Name(fi, w.c_str())) return 0;
    Set_Field_Type(fi, static_cast<char>(rd.Be(1)));
    Set_Field_Size(fi, static_cast<int>(rd.Be(2)));
    Set_Field_Decsize(fi, static_cast<int8_t>(rd.Be(1)));
    uint32_t c = rd.Be(2);
    From_Utf8(rd.Take(c), c, &w);
    if (!Set_Field_Caption(fi, w.c_str())) return 0;
    Set_Field_Width(fi, static_cast<int>(rd.Be(2)));
    Set_Field_Attr(fi, static_cast<int>(rd.Be(2)));
  }
  rd.Be(4);
  // Rows and values come from the block pool, all in one piece: the rows with their cells, each
  // followed by its texts, one after the other. The first pass counted the code units the texts can
  // need; what they did not need goes back.
  if (r == 0) return 1;
  rows_.Reserve(static_cast<int>(r));
  const size_t row_bytes = sizeof(DBIOROWSTRU) + sizeof(DBIOCOLSTRU) * f;
  const size_t room = (row_bytes + 7) * r + sizeof(wchar16) * units;
  char* const piece = static_cast<char*>(Pool_Take(room));
  if (!piece) {
    Log_Printf("ERROR: unable to alloc for to_add\n");
    return 0;
  }
  char* at = piece;
  for (uint32_t j = 0; j < r; ++j) {
    DBIOROWSTRU* row = reinterpret_cast<DBIOROWSTRU*>(at);
    row->cols = reinterpret_cast<DBIOCOLSTRU*>(row + 1);
    row->pooled = 1;
    row->track = 0;
    rows_.Add(row);
    DBIOCOLSTRU* cells = row->cols;
    wchar16* v = reinterpret_cast<wchar16*>(at + row_bytes);
    for (uint32_t i = 0; i < f; ++i) {  // every cell written whole: the piece is not cleared first
      uint32_t k = *rd.p++;
      if (k == 0) {
        cells[i] = DBIOCOLSTRU{nullptr, nullptr, 0, ZEM_CELL_HEAP};
        continue;
      }
      uint32_t l = rd.Be(static_cast<int>(k));
      const uint8_t* s = rd.p;
      rd.p += l;
      const int n = Utf8_Value(s, l, v);
      v[n] = 0;
      cells[i] = DBIOCOLSTRU{v, nullptr, n + 1, ZEM_CELL_POOL};
      v += n + 1;
    }
    at = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(v) + 7) & ~uintptr_t{7});
  }
  Pool_Keep(piece, static_cast<size_t>(at - piece));
  rows_.Position() = 0;
  return 1;
}
