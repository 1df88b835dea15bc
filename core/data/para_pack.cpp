// Packed form of parameter packs (the byte layout is the table at the top of para.h): writing,
// reading with every length checked against the bytes left, and the zlib envelope.
#include <zlib.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/data/para.h"
#include "frame/log_mgr.h"
#include "frame/vector_state.h"

namespace {

constexpr long long kV1Limit = 16581375;       // 0xFD02FF: beyond this, 4-byte lengths
constexpr int kCountMany = 65535;              // count field meaning "read until the bytes end"
constexpr long long kExpandRatio = 1032;       // zlib's largest possible expansion
constexpr long long kExpandMax = 1LL << 30;    // largest expanded pack accepted
constexpr int kMaxEnvelopeDepth = 4;           // envelopes inside envelopes

void Put_Be(unsigned char* p, unsigned long long v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) {
    p[i] = static_cast<unsigned char>(v & 0xFF);
    v >>= 8;
  }
}

unsigned long long Get_Be(const unsigned char* p, int bytes) {
  unsigned long long v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
  return v;
}

// Length of the UTF-8 text s (n bytes) cut to at most limit bytes at a character boundary.
int Cut_Utf8(const char* s, int n, int limit) {
  if (n <= limit) return n;
  const unsigned char* u = reinterpret_cast<const unsigned char*>(s);
  int k = limit;
  while (k > 0 && (u[k] & 0xC0) == 0x80) --k;
  return k;
}

// One parameter as it will be written.
struct Out_Para {
  const ParaStru* p;
  int name_off;   // into the names blob
  int name_len;
  int value_len;
  int text_off;   // into the numbers blob for 'C', 'I', 'F'; -1 otherwise
};

// One parameter as read, pointing into the packed bytes.
struct In_Para {
  const unsigned char* name;
  int name_len;
  unsigned char flag;
  const unsigned char* value;
  long long value_len;
};

bool Name_Is(const In_Para& e, const char* s) {
  size_t n = std::strlen(s);
  return static_cast<size_t>(e.name_len) == n && std::memcmp(e.name, s, n) == 0;
}

}  // namespace

void* TParaMgr::Pack_Raw(int* length, const unsigned char head[kHeadSize], std::string* into) {
  if (length) *length = 0;
  int count = paras_.Count();
  std::vector<Out_Para> out;
  out.reserve(static_cast<size_t>(count));
  std::string names, numbers;
  long long body1 = 0, body2 = 0;
  bool big_value = false;
  for (int i = 0; i < count; ++i) {
    const ParaStru* p = paras_.Get(i);
    if (!p->Type()) continue;
    int units = para_detail::W_Units(p->Name());
    if (units == 0) {
      Log_Printf("Pack_Para: parameter %d has no name and is left out\n", i);
      continue;
    }
    Out_Para o{p, static_cast<int>(names.size()), 0, 0, -1};
    names.resize(names.size() + static_cast<size_t>(units) * 3);
    int m = Zem_W_To_MB(ZEM_CP_UTF8, p->Name(), units, &names[static_cast<size_t>(o.name_off)], units * 3);
    if (m <= 0) continue;
    o.name_len = Cut_Utf8(&names[static_cast<size_t>(o.name_off)], m, 255);
    if (o.name_len < m) Log_Printf("Pack_Para: the name of parameter %d is cut to 255 bytes\n", i);
    names.resize(static_cast<size_t>(o.name_off + o.name_len));
    int size = 0;
    const void* v = p->Get_Value(&size);
    switch (p->Type()) {
      case 'C':
      case 'I':
      case 'F': {
        char b[64];
        if (p->Type() == 'F') std::snprintf(b, sizeof b, "%f", static_cast<double>(p->Get_Float()));
        else std::snprintf(b, sizeof b, "%d", p->Get_Int());
        o.text_off = static_cast<int>(numbers.size());
        o.value_len = static_cast<int>(std::strlen(b));
        numbers += b;
        break;
      }
      case 'W': {
        const wchar16* w = static_cast<const wchar16*>(v);
        int cap = size / 2, k = 0;
        while (k < cap && w[k]) ++k;
        o.value_len = k ? Zem_W_To_MB(ZEM_CP_UTF8, w, k, nullptr, 0) : 0;
        break;
      }
      default:
        o.value_len = p->Text_Bytes();
        break;
    }
    if (o.value_len >= kV1Limit) big_value = true;
    body1 += 1 + o.name_len + 1 + 3 + o.value_len;
    body2 += 1 + o.name_len + 1 + 4 + o.value_len;
    out.push_back(o);
  }
  bool v1 = !big_value && 17 + body1 <= kV1Limit;
  long long total = v1 ? 17 + body1 : 18 + body2;
  if (total > INT_MAX) {
    Log_Printf("Pack_Para: %lld bytes are too many for one pack\n", total);
    return nullptr;
  }
  int lw = v1 ? 3 : 4;
  unsigned char* buf;
  if (into) {
    const size_t at = into->size();
    if (static_cast<unsigned long long>(total) > into->max_size() - at) {
      Log_Printf("Pack_Para: %lld bytes do not fit after the %zu already there\n", total, at);
      return nullptr;
    }
    into->resize(at + static_cast<size_t>(total));
    buf = reinterpret_cast<unsigned char*>(&(*into)[at]);
  } else {
    buf = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(total)));
  }
  if (!buf) {
    Log_Printf("ERROR PackData pool is null\n");
    return nullptr;
  }
  unsigned char* w = buf;
  *w++ = '^';
  *w++ = v1 ? '1' : '2';
  Put_Be(w, static_cast<unsigned long long>(total), lw);
  w += lw;
  std::memcpy(w, head, kHeadSize);
  w += kHeadSize;
  Put_Be(w, out.size() >= static_cast<size_t>(kCountMany) ? kCountMany : out.size(), 2);
  w += 2;
  for (const Out_Para& o : out) {
    const ParaStru* p = o.p;
    *w++ = static_cast<unsigned char>(o.name_len);
    std::memcpy(w, names.data() + o.name_off, static_cast<size_t>(o.name_len));
    w += o.name_len;
    unsigned char flag = p->Data_Flag();
    // A data flag that reads as a type letter would change how the value is read back.
    if (flag == 'W' || flag == 'S') flag = 0;
    if (p->Type() == 'W') flag = 'W';
    *w++ = flag;
    Put_Be(w, static_cast<unsigned long long>(o.value_len), lw);
    w += lw;
    int size = 0;
    const void* v = p->Get_Value(&size);
    if (o.text_off >= 0) {
      std::memcpy(w, numbers.data() + o.text_off, static_cast<size_t>(o.value_len));
    } else if (p->Type() == 'W') {
      if (o.value_len > 0) {
        int k = 0;
        const wchar16* ws = static_cast<const wchar16*>(v);
        while (k < size / 2 && ws[k]) ++k;
        Zem_W_To_MB(ZEM_CP_UTF8, ws, k, reinterpret_cast<char*>(w), o.value_len);
      }
    } else if (o.value_len > 0) {
      std::memcpy(w, v, static_cast<size_t>(o.value_len));
    }
    w += o.value_len;
  }
  if (length) *length = static_cast<int>(total);
  return buf;
}

void* TParaMgr::Pack_Para(int* length, int zip, int threshold) {
  if (length) *length = 0;
  unsigned char head[kHeadSize];
  Write_Head(head);
  int len = 0;
  void* raw = Pack_Raw(&len, head);
  if (!raw) return nullptr;
  if (!zip || len < threshold) {
    if (length) *length = len;
    return raw;
  }
  uLongf zlen = static_cast<uLongf>(len / 10 + len + 20480);
  void* zbuf = std::malloc(zlen);
  int rc = zbuf ? compress(static_cast<Bytef*>(zbuf), &zlen, static_cast<const Bytef*>(raw), static_cast<uLong>(len))
                : Z_MEM_ERROR;
  if (rc != Z_OK) {
    // The plain form is still a correct answer; only the size is lost.
    Log_Printf("Pack_Para: zlib compress failed (%d), sending %d bytes uncompressed\n", rc, len);
    std::free(zbuf);
    if (length) *length = len;
    return raw;
  }
  TParaMgr env;
  env.Put_Int("auto_zip_flag", 1);
  env.Put_Data("auto_zip_data", zbuf, static_cast<int>(zlen));
  env.Put_Int("auto_zip_size", static_cast<int>(zlen));
  env.Put_Int("auto_zip_org_size", len);
  void* packed = env.Pack_Raw(length, head);
  std::free(zbuf);
  std::free(raw);
  return packed;
}

int TParaMgr::Pack_Para_Into(std::string* out) {
  unsigned char head[kHeadSize];
  Write_Head(head);
  int len = 0;
  return Pack_Raw(&len, head, out) ? len : 0;
}

int TParaMgr::Unpack_Para(const void* data) {
  if (!data) {
    Log_Printf("Unpack_Para: no data\n");
    return 0;
  }
  const unsigned char* b = static_cast<const unsigned char*>(data);
  if (b[0] != '^' || (b[1] != '1' && b[1] != '2')) {
    Log_Printf("Unpack_Para: not a packed parameter list\n");
    return 0;
  }
  // Only the header can say how long the buffer is.
  int lw = b[1] == '1' ? 3 : 4;
  unsigned long long total = Get_Be(b + 2, lw);
  if (total < static_cast<unsigned long long>(lw + 14)) {
    Log_Printf("Unpack_Para: total length %llu is shorter than the header\n", total);
    return 1;
  }
  return Unpack_Depth(b, static_cast<size_t>(total), 0);
}

int TParaMgr::Unpack_Para(const void* data, size_t size) {
  if (!data) {
    Log_Printf("Unpack_Para: no data\n");
    return 0;
  }
  Zem_Clean_Vector_State();  // every parameter is read and copied
  return Unpack_Depth(static_cast<const unsigned char*>(data), size, 0);
}

int TParaMgr::Unpack_Para_Refer(const void* data, size_t size) {
  if (!data) {
    Log_Printf("Unpack_Para: no data\n");
    return 0;
  }
  Zem_Clean_Vector_State();
  return Unpack_Depth(static_cast<const unsigned char*>(data), size, 0, true);
}

int TParaMgr::Unpack_Depth(const unsigned char* b, size_t size, int depth, bool refer) {
  if (size < 2 || b[0] != '^' || (b[1] != '1' && b[1] != '2')) {
    Log_Printf("Unpack_Para: not a packed parameter list\n");
    return 0;
  }
  const int lw = b[1] == '1' ? 3 : 4;
  const size_t hdr = static_cast<size_t>(lw) + 14;  // '^', version, total, head area, count
  if (size < 2 + static_cast<size_t>(lw)) {
    Log_Printf("Unpack_Para: header cut short at %zu bytes\n", size);
    return 0;
  }
  unsigned long long total = Get_Be(b + 2, lw);
  if (total < hdr) {
    Log_Printf("Unpack_Para: total length %llu is shorter than the header\n", total);
    return 1;
  }
  if (size < hdr) {
    Log_Printf("Unpack_Para: header cut short at %zu bytes\n", size);
    return 0;
  }
  size_t end = size;
  if (total < size) {
    end = static_cast<size_t>(total);
  } else if (total > size) {
    Log_Printf("Unpack_Para: the header promises %llu bytes, %zu are there\n", total, size);
  }
  const unsigned char* head = b + 2 + lw;
  int count = static_cast<int>(Get_Be(b + hdr - 2, 2));

  // One parameter at pos, if it fits in what is left; the same reader serves both passes below.
  auto next = [&](size_t at, In_Para* e) -> size_t {
    size_t left = end - at;
    int n = b[at];
    size_t fixed = 1 + static_cast<size_t>(n) + 1 + static_cast<size_t>(lw);
    if (n == 0 || fixed > left) return 0;
    unsigned long long v = Get_Be(b + at + 2 + n, lw);
    if (lw == 4 && v > 0x7FFFFFFFULL) return 0;  // a negative length
    if (v > left - fixed) return 0;
    e->name = b + at + 1;
    e->name_len = n;
    e->flag = b[at + 1 + n];
    e->value = b + at + fixed;
    e->value_len = static_cast<long long>(v);
    return fixed + static_cast<size_t>(v);
  };

  // First pass: find how many parameters fit, and whether this is an envelope, changing nothing.
  int got = 0;
  size_t pos = hdr;
  In_Para e;
  In_Para zdata{};
  bool has_zdata = false;
  int zflag = 0;
  long long zsize = 0, org = 0;
  while ((count == kCountMany || got < count) && pos < end) {
    size_t step = next(pos, &e);
    if (!step) break;
    if (e.name_len >= 9 && std::memcmp(e.name, "auto_zip_", 9) == 0) {
      const char* v = reinterpret_cast<const char*>(e.value);
      int vl = static_cast<int>(e.value_len < 64 ? e.value_len : 64);
      if (Name_Is(e, "auto_zip_flag")) zflag = para_detail::Parse_Int(v, vl);
      else if (Name_Is(e, "auto_zip_size")) zsize = para_detail::Parse_Int(v, vl);
      else if (Name_Is(e, "auto_zip_org_size")) org = para_detail::Parse_Int(v, vl);
      else if (Name_Is(e, "auto_zip_data")) { zdata = e; has_zdata = true; }
    }
    pos += step;
    ++got;
  }
  if (count != kCountMany && got < count) {
    Log_Printf("Unpack_Para: parameter %d of %d does not fit in the %zu bytes left\n", got + 1, count, end - pos);
  }

  // An envelope: expand it whole or not at all.
  if (zflag && zsize && has_zdata) {
    if (zsize < 0 || zsize > zdata.value_len) {
      Log_Printf("Unpack_Para: auto_zip_size %lld does not match the %lld compressed bytes\n", zsize,
                 zdata.value_len);
      return 0;
    }
    return Expand(zdata.value, zsize, org, depth);
  }

  // Second pass: store them.
  Read_Head(head);
  paras_.Reserve(paras_.Count() + got);
  index_.Reserve(index_.Size() + static_cast<size_t>(got));
  std::u16string name, value;
  pos = hdr;
  for (int i = 0; i < got; ++i) {
    pos += next(pos, &e);
    name.resize(static_cast<size_t>(e.name_len) + 1);
    int nu = Zem_MB_To_W(ZEM_CP_UTF8, reinterpret_cast<const char*>(e.name), e.name_len, &name[0], e.name_len);
    name[static_cast<size_t>(nu > 0 ? nu : 0)] = 0;
    ParaStru* p;
    if (e.flag == 'W') {
      int vu = 0;
      if (e.value_len > 0) {
        value.resize(static_cast<size_t>(e.value_len));
        vu = Zem_MB_To_W(ZEM_CP_UTF8, reinterpret_cast<const char*>(e.value), static_cast<int>(e.value_len),
                         &value[0], static_cast<int>(e.value_len));
      }
      p = vu > 0 ? Push_Para(name.c_str(), value.data(), 'W', vu * 2) : Push_Para(name.c_str(), g_empty_w, 'W', 0);
    } else if (refer && e.value_len >= kRefer_Min) {
      p = Put_Data(name.c_str(), e.value, static_cast<int>(e.value_len));
    } else {
      p = e.value_len > 0 ? Push_Para(name.c_str(), e.value, 'S', static_cast<int>(e.value_len))
                          : Push_Para(name.c_str(), "", 'S', 0);
    }
    if (!p) {
      Log_Printf("Unpack_Para: parameter '%s' refused\n", para_detail::To_Sys(name.c_str()).c_str());
      continue;
    }
    p->Set_Data_Flag(e.flag == 'W' || e.flag == 'S' ? 0 : e.flag);
  }
  return 1;
}

int TParaMgr::Expand(const unsigned char* zdata, long long zsize, long long org, int depth) {
  if (depth >= kMaxEnvelopeDepth) {
    Log_Printf("Unpack_Para: compressed parameters nested too deep\n");
    return 0;
  }
  long long bound = zsize * kExpandRatio + 1024;
  if (bound > kExpandMax) bound = kExpandMax;
  if (org < 17 || org > bound) {
    Log_Printf("Unpack_Para: auto_zip_org_size %lld is impossible for %lld compressed bytes\n", org, zsize);
    return 0;
  }
  unsigned char* buf = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(org) + 1));
  if (!buf) {
    Log_Printf("Unpack_Para: no memory for %lld expanded bytes\n", org);
    return 0;
  }
  uLongf got = static_cast<uLongf>(org);
  int rc = uncompress(buf, &got, zdata, static_cast<uLong>(zsize));
  if (rc != Z_OK || static_cast<long long>(got) != org) {
    Log_Printf("Unpack_Para: compressed parameters are corrupt (zlib %d, %llu of %lld bytes)\n", rc,
               static_cast<unsigned long long>(got), org);
    std::free(buf);
    return 0;
  }
  buf[org] = 0;
  TParaMgr tmp;
  tmp.name_check_ = name_check_;
  if (!tmp.Unpack_Depth(buf, static_cast<size_t>(org), depth + 1)) {
    std::free(buf);
    return 0;
  }
  unsigned char head[kHeadSize];
  std::memcpy(head, buf + (buf[1] == '1' ? 5 : 6), kHeadSize);
  std::free(buf);
  Reset_Para();
  Take_From(&tmp);
  Read_Head(head);
  return 1;
}

void TParaMgr::Take_From(TParaMgr* other) {
  paras_.Reserve(paras_.Count() + other->paras_.Count());
  index_.Reserve(index_.Size() + other->index_.Size());
  for (int i = 0; i < other->paras_.Count(); ++i) {
    ParaStru* p = other->paras_.Get(i);
    p->owner_ = this;
    p->changed_ = &changed_;
    paras_.Add(p);
    index_.Insert(p);
  }
  other->paras_.Clear();
  other->index_.Clear();
  // The parameters live in the other pack's slabs, which now belong here.
  slabs_.insert(slabs_.end(), other->slabs_.begin(), other->slabs_.end());
  other->slabs_.clear();
  other->slab_free_ = nullptr;
  other->slab_next_ = nullptr;
  other->slab_left_ = 0;
  for (auto& h : other->holds_) holds_.push_back(std::move(h));
  other->holds_.clear();
  mem_blocks_ += other->mem_blocks_;
  other->mem_blocks_ = 0;
  changed_ = 1;
}
