// Parameters and packs: values, conversions, lookup with prefixes and parents, list upkeep.
//
// Conversions on read:
//   stored        as int                  as float          as narrow text        as wide text
//   'C', 'I'      the integer ('C' byte)  converted         "%d"                  "%d"
//   'F'           truncated toward zero   the float         "%f"                  "%f"
//   'S', 'M'      read like "%d"          read like "%f"    the text              system code page
//   'W'           the text read as int    read as float     system code page      the text
// Texts that are not numbers read as 0.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/data/para.h"
#include "core/data/sqlca.h"
#include "frame/log_mgr.h"

namespace para_detail {

int W_Units(const wchar16* s) {
  if (!s) return 0;
  int n = 0;
  while (s[n]) ++n;
  return n;
}

std::string To_Sys(const wchar16* s, int n) {
  std::string r;
  if (!s) return r;
  if (n < 0) n = W_Units(s);
  if (n == 0) return r;
  r.resize(static_cast<size_t>(n) * 3 + 4);
  int m = Zem_W_To_MB(ZEM_CP_SYSTEM, s, n, &r[0], static_cast<int>(r.size()));
  r.resize(static_cast<size_t>(m > 0 ? m : 0));
  return r;
}

namespace {
// A bounded, NUL-terminated copy of the start of a number text; numbers never need more.
void Number_Text(const char* s, int n, char* b, int cap) {
  int i = 0;
  if (s) {
    for (; i < n && i < cap - 1 && s[i]; ++i) b[i] = s[i];
  }
  b[i] = 0;
}
}  // namespace

int Parse_Int(const char* s, int n) {
  char b[128];
  Number_Text(s, n, b, sizeof b);
  errno = 0;
  long long v = std::strtoll(b, nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

double Parse_Double(const char* s, int n) {
  char b[128];
  Number_Text(s, n, b, sizeof b);
  return std::strtod(b, nullptr);
}

}  // namespace para_detail

using para_detail::W_Units;

namespace {

// The data layer's functions from the moment the library is loaded (a table of addresses, set before
// any code runs), so packs carry query areas for a host that packs them before any start-up.
TPara_Dbio_Hooks g_dbio_hooks = {Sqlca_Para_Pack, Sqlca_Para_Unpack, Sqlca_Para_Xml};

bool Type_Ok(char t) {
  return t == 'C' || t == 'I' || t == 'F' || t == 'S' || t == 'M' || t == 'W';
}

int Float_To_Int(float f) {
  if (std::isnan(f)) return 0;
  if (f >= 2147483647.0f) return INT_MAX;
  if (f <= -2147483648.0f) return INT_MIN;
  return static_cast<int>(f);  // truncates toward zero
}

// Number of bytes of narrow text (n bytes) that fit in limit bytes without splitting a character
// of the system code page.
int Cut_Narrow(const char* s, int n, int limit) {
  if (n <= limit) return n;
  if (limit <= 0) return 0;
  const unsigned char* u = reinterpret_cast<const unsigned char*>(s);
  if (Sys_Code_Page() == ZEM_CP_UTF8) {
    int k = limit;
    while (k > 0 && (u[k] & 0xC0) == 0x80) --k;
    return k;
  }
  int i = 0;
  while (i < n) {
    int w = (u[i] >= 0x81 && u[i] <= 0xFE && i + 1 < n) ? 2 : 1;
    if (i + w > limit) break;
    i += w;
  }
  return i;
}

// Number of code units (n) that fit in limit units without splitting a surrogate pair.
int Cut_Wide(const wchar16* s, int n, int limit) {
  if (n <= limit) return n;
  if (limit <= 0) return 0;
  if (s[limit - 1] >= 0xD800 && s[limit - 1] <= 0xDBFF) return limit - 1;
  return limit;
}

}  // namespace

void Para_Set_Dbio_Hooks(const TPara_Dbio_Hooks& hooks) { g_dbio_hooks = hooks; }
const TPara_Dbio_Hooks& Para_Dbio_Hooks() { return g_dbio_hooks; }

// ---------------------------------------------------------------------------------------------
// ParaStru

ParaStru::~ParaStru() {
  Drop_Value();
  if (name_ != name_buf_) Release(name_);
  Release(mean_);
}

void* ParaStru::Alloc(size_t n) {
  return owner_ ? owner_->Mem_Alloc(n, "ParaStru") : std::malloc(n ? n : 1);
}

void ParaStru::Release(void* p) {
  if (!p) return;
  if (owner_) owner_->Mem_Free(p);
  else std::free(p);
}

void ParaStru::Drop_Value() {
  if (!external_ && value_ != value_buf_) Release(value_);
  value_ = nullptr;
  size_ = 0;
  external_ = false;
}

int ParaStru::Set_Name(const map_wchar& name) {
  const wchar16* s = name.c_str();
  if (listed_ && owner_) return owner_->Rename(this, s);
  return Store_Name(s, W_Units(s));
}

int ParaStru::Store_Name(const wchar16* s, int n) {
  const size_t bytes = static_cast<size_t>(n) * sizeof(wchar16);
  if (n < kInlineName) {
    std::memmove(name_buf_, s, bytes);
    name_buf_[n] = 0;
    if (name_ != name_buf_) Release(name_);
    name_ = name_buf_;
    return 1;
  }
  wchar16* copy = static_cast<wchar16*>(Alloc(bytes + sizeof(wchar16)));
  if (!copy) return 0;
  std::memcpy(copy, s, bytes);
  copy[n] = 0;
  if (name_ != name_buf_) Release(name_);
  name_ = copy;
  return 1;
}

int ParaStru::Set_Mean(const map_wchar& mean) {
  const wchar16* s = mean.c_str();
  int n = W_Units(s);
  wchar16* copy = nullptr;
  if (n > 0) {
    copy = static_cast<wchar16*>(Alloc((static_cast<size_t>(n) + 1) * sizeof(wchar16)));
    if (!copy) return 0;
    std::memcpy(copy, s, static_cast<size_t>(n) * sizeof(wchar16));
    copy[n] = 0;
  }
  Release(mean_);
  mean_ = copy;
  return 1;
}

int ParaStru::Set_Value(const void* value, char type, int length) {
  if (!Type_Ok(type)) return 0;
  long long size = 0;
  long long copy = 0;  // bytes taken from value
  switch (type) {
    case 'C':
    case 'I':
    case 'F':
      size = length < 1 ? (type == 'C' ? 1 : 4) : length;
      copy = size;
      break;
    case 'S':
    case 'M':
      copy = length < 1 ? (value ? static_cast<long long>(std::strlen(static_cast<const char*>(value))) : 0)
                        : length;
      size = copy + 1;
      break;
    case 'W':
      copy = length < 1 ? (value ? static_cast<long long>(W_Units(static_cast<const wchar16*>(value))) * 2 : 0)
                        : length;
      size = copy + 2;
      break;
  }
  if (size > INT_MAX) return 0;
  // Small values live inside the parameter; they are built aside first, since value may point at
  // the current one.
  unsigned char small[kInlineValue];
  const bool inside = size <= kInlineValue;
  unsigned char* fresh = inside ? small : static_cast<unsigned char*>(Alloc(static_cast<size_t>(size)));
  if (!fresh) return 0;
  if (value && copy > 0) std::memcpy(fresh, value, static_cast<size_t>(copy));
  if (!value) copy = 0;
  std::memset(fresh + copy, 0, static_cast<size_t>(size - copy));
  if (type == 'W') {
    // The last whole code unit is the terminator; an odd trailing byte stays zero.
    long long last = (size / 2 - 1) * 2;
    fresh[last] = fresh[last + 1] = 0;
  }
  if (changed_) *changed_ = 1;
  Drop_Value();
  if (inside) {
    std::memcpy(value_buf_, small, static_cast<size_t>(size));
    fresh = value_buf_;
  }
  value_ = fresh;
  size_ = static_cast<int>(size);
  type_ = type;
  return 1;
}

int ParaStru::Set_External(const void* data, int length) {
  if (length < 0) length = 0;
  if (changed_) *changed_ = 1;
  Drop_Value();
  value_ = const_cast<void*>(data);
  size_ = data ? length : 0;
  type_ = 'S';
  external_ = true;
  return 1;
}

int ParaStru::Text_Bytes() const {
  if (!value_) return 0;
  if (type_ == 'S' || type_ == 'M') return external_ ? size_ : (size_ > 0 ? size_ - 1 : 0);
  return size_;
}

int ParaStru::Get_Int() const {
  if (!value_ || size_ < 1) return 0;
  switch (type_) {
    case 'C':
      return static_cast<signed char>(*static_cast<const char*>(value_));
    case 'I': {
      int v = 0;
      std::memcpy(&v, value_, static_cast<size_t>(size_ < 4 ? size_ : 4));
      return v;
    }
    case 'F':
      return Float_To_Int(Get_Float());
    case 'S':
    case 'M':
      return para_detail::Parse_Int(static_cast<const char*>(value_), Text_Bytes());
    case 'W': {
      std::string n = para_detail::To_Sys(static_cast<const wchar16*>(value_), -1);
      return para_detail::Parse_Int(n.data(), static_cast<int>(n.size()));
    }
  }
  return 0;
}

float ParaStru::Get_Float() const {
  if (!value_ || size_ < 1) return 0;
  switch (type_) {
    case 'C':
    case 'I':
      return static_cast<float>(Get_Int());
    case 'F': {
      float f = 0;
      std::memcpy(&f, value_, static_cast<size_t>(size_ < 4 ? size_ : 4));
      return f;
    }
    case 'S':
    case 'M':
      return static_cast<float>(para_detail::Parse_Double(static_cast<const char*>(value_), Text_Bytes()));
    case 'W': {
      std::string n = para_detail::To_Sys(static_cast<const wchar16*>(value_), -1);
      return static_cast<float>(para_detail::Parse_Double(n.data(), static_cast<int>(n.size())));
    }
  }
  return 0;
}

namespace {

// The narrow form of a parameter: a pointer and a length, using tmp when it had to be made.
void Narrow_Of(const ParaStru& p, std::string* tmp, const char** s, int* n) {
  *s = "";
  *n = 0;
  int size = 0;
  const void* v = p.Get_Value(&size);
  if (!v) return;
  char b[64];
  switch (p.Type()) {
    case 'C':
    case 'I':
      std::snprintf(b, sizeof b, "%d", p.Get_Int());
      *tmp = b;
      break;
    case 'F':
      // "%f" of a float can be 47 characters long; the string takes any length.
      tmp->resize(64);
      tmp->resize(static_cast<size_t>(std::snprintf(&(*tmp)[0], 64, "%f", static_cast<double>(p.Get_Float()))));
      break;
    case 'S':
    case 'M':
      *s = static_cast<const char*>(v);
      *n = static_cast<int>(strnlen(*s, static_cast<size_t>(p.Text_Bytes())));
      return;
    case 'W':
      *tmp = para_detail::To_Sys(static_cast<const wchar16*>(v), -1);
      break;
    default:
      return;
  }
  *s = tmp->data();
  *n = static_cast<int>(tmp->size());
}

void Wide_Of(const ParaStru& p, std::u16string* tmp, const wchar16** s, int* n) {
  *s = g_empty_w;
  *n = 0;
  int size = 0;
  const void* v = p.Get_Value(&size);
  if (!v) return;
  if (p.Type() == 'W') {
    const wchar16* w = static_cast<const wchar16*>(v);
    int cap = size / 2, k = 0;
    while (k < cap && w[k]) ++k;
    *s = w;
    *n = k;
    return;
  }
  std::string nt;
  const char* ns = nullptr;
  int nn = 0;
  Narrow_Of(p, &nt, &ns, &nn);
  if (nn == 0) return;
  tmp->resize(static_cast<size_t>(nn));
  int m = Zem_MB_To_W(ZEM_CP_SYSTEM, ns, nn, &(*tmp)[0], nn);
  tmp->resize(static_cast<size_t>(m > 0 ? m : 0));
  *s = tmp->data();
  *n = static_cast<int>(tmp->size());
}

}  // namespace

char* ParaStru::Get_Str(char* buf, int size) const {
  if (!buf) return buf;
  std::string tmp;
  const char* s;
  int n;
  Narrow_Of(*this, &tmp, &s, &n);
  if (size >= 1) n = Cut_Narrow(s, n, size - 1);
  std::memcpy(buf, s, static_cast<size_t>(n));
  buf[n] = 0;
  return buf;
}

wchar16* ParaStru::Get_WStr(wchar16* buf, int size) const {
  if (!buf) return buf;
  std::u16string tmp;
  const wchar16* s;
  int n;
  Wide_Of(*this, &tmp, &s, &n);
  if (size >= 1) n = Cut_Wide(s, n, size - 1);
  std::memcpy(buf, s, static_cast<size_t>(n) * sizeof(wchar16));
  buf[n] = 0;
  return buf;
}

int ParaStru::Get_Str(tstr* out) const {
  if (!out) return 0;
  out->clear();
  std::string tmp;
  const char* s;
  int n;
  Narrow_Of(*this, &tmp, &s, &n);
  if (n > 0) out->append(s, n);
  return 1;
}

int ParaStru::Get_WStr(wstr* out) const {
  if (!out) return 0;
  out->clear();
  std::u16string tmp;
  const wchar16* s;
  int n;
  Wide_Of(*this, &tmp, &s, &n);
  if (n > 0) out->append(s, n);
  return 1;
}

const void* ParaStru::Get_Value(int* size) const {
  if (size) *size = value_ ? size_ : 0;
  return value_;
}

// ---------------------------------------------------------------------------------------------
// TParaMgr: list, index, lookup

TParaMgr::TParaMgr() = default;

TParaMgr::~TParaMgr() {
  for (int i = 0; i < paras_.Count(); ++i) Release_Para(paras_.Get(i));
  paras_.Clear();
  index_.Clear();
  Slab_Release_All();
  Clear_Pre();
}

// Parameters come from slabs of the pack: one allocation per many parameters instead of one each.
void* TParaMgr::Slab_Alloc() {
  if (slab_free_) {
    void* p = slab_free_;
    slab_free_ = *static_cast<void**>(p);
    return p;
  }
  if (slab_left_ == 0) {
    // The first block stays under the heap's large-request size: most packs hold a few parameters,
    // and a large request first merges every small freed chunk of the arena.
    size_t n = slab_objects_ ? slab_objects_ * 2 : 8;
    if (n > 4096) n = 4096;
    void* block = std::malloc(n * sizeof(ParaStru));
    if (!block) return nullptr;
    slabs_.push_back(block);
    slab_objects_ = n;
    slab_next_ = static_cast<unsigned char*>(block);
    slab_left_ = n;
  }
  void* p = slab_next_;
  slab_next_ += sizeof(ParaStru);
  --slab_left_;
  return p;
}

void TParaMgr::Slab_Put(void* p) {
  *static_cast<void**>(p) = slab_free_;
  slab_free_ = p;
}

void TParaMgr::Slab_Release_All() {
  for (void* b : slabs_) std::free(b);
  slabs_.clear();
  slab_free_ = nullptr;
  slab_next_ = nullptr;
  slab_left_ = 0;
  slab_objects_ = 0;
}

ParaStru* TParaMgr::Create_Para(int /*kind*/) {
  void* m = Slab_Alloc();
  if (!m) return nullptr;
  ParaStru* p = new (m) ParaStru();
  p->from_slab_ = true;
  return p;
}

void TParaMgr::Release_Para(ParaStru* p) {
  if (!p) return;
  if (!p->from_slab_) {
    delete p;
    return;
  }
  p->~ParaStru();
  Slab_Put(p);
}

void* TParaMgr::Mem_Alloc(size_t bytes, const char* /*tag*/) {
  void* p = std::malloc(bytes ? bytes : 1);
  if (p) ++mem_blocks_;
  return p;
}

void TParaMgr::Mem_Free(void* p) {
  if (!p) return;
  std::free(p);
  --mem_blocks_;
}

void TParaMgr::Write_Head(unsigned char head[kHeadSize]) const { std::memset(head, 0, kHeadSize); }

void TParaMgr::Read_Head(const unsigned char* /*head*/) {}

int TParaMgr::Name_Ok(const wchar16* name) {
  if (!name || !*name) return 0;
  auto alpha = [](wchar16 c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '#' || c >= 0x80;
  };
  if (!alpha(name[0])) return 0;
  for (const wchar16* p = name + 1; *p; ++p) {
    if (!alpha(*p) && !(*p >= '0' && *p <= '9') && *p != '.' && *p != '$') return 0;
  }
  return 1;
}

ParaStru* TParaMgr::Find_Own(const wchar16* name, int n) const {
  return index_.Find(name, n);
}

ParaStru* TParaMgr::Find_Own_Pre(const wchar16* name) {
  int n = W_Units(name);
  for (int i = 0; i < pre_count_; ++i) {
    int k = W_Units(pre_[i]);
    if (k <= n && std::memcmp(name, pre_[i], static_cast<size_t>(k) * sizeof(wchar16)) == 0) {
      return Find_Own(name + k, n - k);
    }
  }
  return Find_Own(name, n);
}

ParaStru* TParaMgr::Find_Depth(const wchar16* name, int depth) {
  int n = W_Units(name);
  for (int i = 0; i < pre_count_; ++i) {
    int k = W_Units(pre_[i]);
    if (k <= n && std::memcmp(name, pre_[i], static_cast<size_t>(k) * sizeof(wchar16)) == 0) {
      return Find_Own(name + k, n - k);
    }
  }
  if (ParaStru* p = Find_Own(name, n)) return p;
  // A cycle of parents would otherwise recurse forever; real chains are short.
  if (depth >= kMaxParents) return nullptr;
  for (int i = 0; i < parent_count_; ++i) {
    if (parents_[i] == this) continue;
    if (ParaStru* p = parents_[i]->Find_Depth(name, depth + 1)) return p;
  }
  return nullptr;
}

ParaStru* TParaMgr::Find_Para(const map_wchar& name) { return Find_Depth(name.c_str(), 0); }

ParaStru* TParaMgr::Append(const wchar16* name, int kind) {
  ParaStru* p = Create_Para(kind);
  if (!p) return nullptr;
  p->owner_ = this;
  p->changed_ = &changed_;
  if (!p->Set_Name(name)) {
    Release_Para(p);
    return nullptr;
  }
  paras_.Add(p);
  index_.Insert(p);
  p->listed_ = true;
  return p;
}

int TParaMgr::Rename(ParaStru* p, const wchar16* name) {
  int n = W_Units(name);
  ParaStru* other = Find_Own(name, n);
  if (other == p) return 1;
  if (other) return 0;  // two parameters of one pack never share a name
  index_.Erase(p);
  int ok = p->Store_Name(name, n);
  index_.Insert(p);  // under the new name, or again under the old one when the copy failed
  return ok;
}

void TParaMgr::Delete_At(int i) {
  ParaStru* p = paras_.Get(i);
  index_.Erase(p);
  paras_.Del(i);
  p->listed_ = false;
  Release_Para(p);
}

ParaStru* TParaMgr::Locate(const wchar16* name, bool* created) {
  *created = false;
  if (name_check_ && !Name_Ok(name)) return nullptr;
  ParaStru* p = Find_Depth(name, 0);
  // A name hidden by a prefix is still kept once in this pack's own list.
  if (!p && pre_count_ > 0) p = Find_Own(name, W_Units(name));
  if (!p) {
    p = Append(name, 1);
    *created = p != nullptr;
  }
  return p;
}

ParaStru* TParaMgr::Push_Para(const map_wchar& name, const void* value, char type, int length) {
  if (!Type_Ok(type)) return nullptr;
  bool created;
  ParaStru* p = Locate(name.c_str(), &created);
  if (!p) return nullptr;
  if (!p->Set_Value(value, type, length)) {
    if (created) Delete_At(paras_.Count() - 1);
    return nullptr;
  }
  changed_ = 1;
  return p;
}

ParaStru* TParaMgr::Put_Int(const map_wchar& name, int value) { return Push_Para(name, &value, 'I', 0); }

ParaStru* TParaMgr::Put_Float(const map_wchar& name, double value) {
  float f = static_cast<float>(value);
  return Push_Para(name, &f, 'F', 0);
}

ParaStru* TParaMgr::Put_Str(const map_wchar& name, const char* value) {
  return Push_Para(name, value ? value : "", 'S', 0);
}

ParaStru* TParaMgr::Put_WStr(const map_wchar& name, const wchar16* value) {
  return Push_Para(name, value ? value : g_empty_w, 'W', 0);
}

ParaStru* TParaMgr::Put_Data(const map_wchar& name, const void* data, int length) {
  bool created;
  ParaStru* p = Locate(name.c_str(), &created);
  if (!p) return nullptr;
  p->Set_External(data, length);
  changed_ = 1;
  return p;
}

ParaStru* TParaMgr::Put_Shared(const map_wchar& name, std::shared_ptr<const std::string> bytes) {
  if (!bytes || bytes->size() > static_cast<size_t>(INT_MAX)) return nullptr;
  ParaStru* p = Put_Data(name, bytes->data(), static_cast<int>(bytes->size()));
  if (p) holds_.push_back(std::move(bytes));
  return p;
}

void TParaMgr::Hold(std::shared_ptr<const void> keep) {
  if (keep) holds_.push_back(std::move(keep));
}

ParaStru* TParaMgr::Put_Sqlca_Para(const map_wchar& name, TSQLCA* sqlca) {
  if (!sqlca) return nullptr;
  if (!g_dbio_hooks.pack) {
    Log_Printf("Put_Sqlca_Para: no data-set layer is registered\n");
    return nullptr;
  }
  int len = 0;
  void* buf = g_dbio_hooks.pack(sqlca, &len);
  if (!buf) return nullptr;
  ParaStru* p = len > 0 ? Push_Para(name, buf, 'S', len) : Push_Para(name, "", 'S', 0);
  std::free(buf);
  if (p) p->Set_Data_Flag(1);
  return p;
}

ParaStru* TParaMgr::Put_Para_Para(const map_wchar& name, TParaMgr* para) {
  if (!para) return nullptr;
  int len = 0;
  void* buf = para->Pack_Para(&len, 0, 0);
  if (!buf) return nullptr;
  ParaStru* p = Push_Para(name, buf, 'S', len);
  std::free(buf);
  if (p) p->Set_Data_Flag(2);
  return p;
}

int TParaMgr::Get_Int(const map_wchar& name, int* value) {
  ParaStru* p = Find_Para(name);
  if (value) *value = p ? p->Get_Int() : 0;
  return p ? 1 : 0;
}

int TParaMgr::Get_Float(const map_wchar& name, float* value) {
  ParaStru* p = Find_Para(name);
  if (value) *value = p ? p->Get_Float() : 0.0f;
  return p ? 1 : 0;
}

int TParaMgr::Get_Str(const map_wchar& name, char* buf, int size) {
  ParaStru* p = Find_Para(name);
  if (!p) return 0;
  p->Get_Str(buf, size);
  return 1;
}

int TParaMgr::Get_WStr(const map_wchar& name, wchar16* buf, int size) {
  ParaStru* p = Find_Para(name);
  if (!p) return 0;
  p->Get_WStr(buf, size);
  return 1;
}

int TParaMgr::Get_Str(const map_wchar& name, tstr* out) {
  if (out) out->clear();
  ParaStru* p = Find_Para(name);
  if (!p || !out) return 0;
  return p->Get_Str(out);
}

int TParaMgr::Get_WStr(const map_wchar& name, wstr* out) {
  if (out) out->clear();
  ParaStru* p = Find_Para(name);
  if (!p || !out) return 0;
  return p->Get_WStr(out);
}

const void* TParaMgr::Get_Data(const map_wchar& name, int* size) {
  ParaStru* p = Find_Para(name);
  if (!p) {
    if (size) *size = 0;
    return nullptr;
  }
  return p->Get_Value(size);
}

int TParaMgr::Get_Sqlca_Para(const map_wchar& name, TSQLCA* sqlca) {
  ParaStru* p = Find_Para(name);
  if (!p || !sqlca) return 0;
  if (!g_dbio_hooks.unpack) {
    Log_Printf("Get_Sqlca_Para: no data-set layer is registered\n");
    return 0;
  }
  int size = 0;
  const void* v = p->Get_Value(&size);
  return g_dbio_hooks.unpack(sqlca, v, p->Text_Bytes());
}

int TParaMgr::Get_Para_Para(const map_wchar& name, TParaMgr* para) {
  ParaStru* p = Find_Para(name);
  if (!p || !para) return 0;
  int size = 0;
  const void* v = p->Get_Value(&size);
  if (!v) return 0;
  return para->Unpack_Para(v, static_cast<size_t>(p->Text_Bytes()));
}

int TParaMgr::Erase_Para(const map_wchar& name) {
  ParaStru* p = Find_Own_Pre(name.c_str());
  if (!p) return 0;
  for (int i = paras_.Count() - 1; i >= 0; --i) {
    if (paras_.Get(i) == p) {
      Delete_At(i);
      changed_ = 1;
      return 1;
    }
  }
  return 0;
}

int TParaMgr::Reset_Para() {
  for (int i = 0; i < paras_.Count(); ++i) {
    paras_.Get(i)->listed_ = false;
    Release_Para(paras_.Get(i));
  }
  paras_.Clear();
  index_.Clear();
  Slab_Release_All();  // every parameter of the pack was in the list
  holds_.clear();      // nothing refers to them any more
  changed_ = 1;
  return 1;
}

int TParaMgr::Set_Para_Pos(int n) {
  if (n < 0) return 0;
  for (int i = paras_.Count() - 1; i >= n; --i) {
    ParaStru* p = paras_.Get(i);
    index_.Erase(p);
    p->listed_ = false;
    Release_Para(p);
  }
  paras_.Truncate(n);
  changed_ = 1;
  return 1;
}

int TParaMgr::Add_Pre(const map_wchar& prefix) {
  const wchar16* s = prefix.c_str();
  int n = W_Units(s);
  if (n == 0) return 0;
  if (pre_count_ >= kMaxPrefixes) {
    Log_Printf("paramgr add pre fail\n");
    return 0;
  }
  wchar16* copy = static_cast<wchar16*>(std::malloc((static_cast<size_t>(n) + 1) * sizeof(wchar16)));
  if (!copy) return 0;
  std::memcpy(copy, s, (static_cast<size_t>(n) + 1) * sizeof(wchar16));
  pre_[pre_count_++] = copy;
  return 1;
}

int TParaMgr::Clear_Pre() {
  for (int i = 0; i < pre_count_; ++i) {
    std::free(pre_[i]);
    pre_[i] = nullptr;
  }
  pre_count_ = 0;
  return 1;
}

int TParaMgr::Set_Parent(TParaMgr* parent) {
  parent_count_ = 0;
  if (parent) parents_[parent_count_++] = parent;
  return 1;
}

int TParaMgr::Add_Parent(TParaMgr* parent) {
  if (!parent) return 0;
  if (parent_count_ >= kMaxParents) {
    Log_Printf("paramgr add parent fail\n");
    return 0;
  }
  parents_[parent_count_++] = parent;
  return 1;
}

int TParaMgr::Copy_Para(TParaMgr* source) {
  if (source == this) return 1;
  Reset_Para();
  if (!source) return 1;
  for (int i = 0; i < source->Count(); ++i) {
    const ParaStru* q = source->paras_.Get(i);
    if (!q->type_) continue;
    ParaStru* p = Find_Own(q->Name(), W_Units(q->Name()));
    if (!p) p = Append(q->Name(), 1);
    if (!p) return 0;
    int ok;
    if (q->type_ == 'S' || q->type_ == 'M') {
      int n = q->Text_Bytes();
      ok = n > 0 ? p->Set_Value(q->value_, q->type_, n) : p->Set_Value("", q->type_, 0);
    } else if (q->type_ == 'W') {
      ok = q->size_ > 2 ? p->Set_Value(q->value_, 'W', q->size_ - 2) : p->Set_Value(g_empty_w, 'W', 0);
    } else {
      ok = p->Set_Value(q->value_, q->type_, q->size_);
    }
    if (!ok) return 0;
    p->data_flag_ = q->data_flag_;
    if (q->mean_) p->Set_Mean(q->mean_);
  }
  changed_ = 1;
  return 1;
}

int TParaMgr::Dump() {
  for (int i = 0; i < pre_count_; ++i) Log_Printf("Pre Name %s\n", para_detail::To_Sys(pre_[i]).c_str());
  for (int i = 0; i < paras_.Count(); ++i) {
    const ParaStru* p = paras_.Get(i);
    std::string name = para_detail::To_Sys(p->Name());
    char head[64];
    std::snprintf(head, sizeof head, "Para: %02d Name: '", i);
    std::string line = head + name;
    std::snprintf(head, sizeof head, "' Size: '%d' Value:", p->size_);
    line += head;
    if (p->external_) {
      std::snprintf(head, sizeof head, " %llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p->value_)));
      line += head;
    } else if (p->type_ == 'S' || p->type_ == 'M' || p->type_ == 'W') {
      tstr t;
      p->Get_Str(&t);
      line += " '";
      line += t.c_str();
      line += "'";
    } else {
      char b[64];
      line += ' ';
      line += p->Get_Str(b, sizeof b);
    }
    line += '\n';
    Log_Printf("%s", line.c_str());
  }
  return 1;
}
