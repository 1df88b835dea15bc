// TDict: definition, loading by SQL, code index, lookups, stop rules and single-entry changes.
#include "dict/dict.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <filesystem>
#include <set>
#include <system_error>

#include "core/data/db_connect.h"
#include "core/text/code_page.h"
#include "core/text/wfunc.h"
#include "dict/dict_change.h"
#include "dict/dict_db.h"
#include "dict/dict_zip.h"
#include "dict/tree_dict.h"
#include "frame/host_funcs.h"
#include "frame/log_mgr.h"
#include "frame/singleton.h"
#include "frame/vector_state.h"

std::string Dict_Narrow(const wchar16* w) {
  tu2c conv;
  return std::string(conv = w);
}

long long Dict_Now_Ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

namespace {

// Case-insensitive search of an ASCII phrase in narrow SQL text.
bool Has_Phrase(const std::string& text, const char* phrase) {
  std::string low(text);
  for (char& c : low) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return low.find(phrase) != std::string::npos;
}

// FNV-1a over the code units.
inline uint32_t Code_Hash(const wchar16* s) {
  uint32_t h = 2166136261u;
  for (; *s; ++s) h = (h ^ static_cast<uint32_t>(*s)) * 16777619u;
  return h;
}

// Orders index entries (made in row order) by code, equal codes by row.
void Sort_Index(std::vector<SQLCA_Row_Index_Stru>* index) {
  std::sort(index->begin(), index->end(), [](const SQLCA_Row_Index_Stru& a, const SQLCA_Row_Index_Stru& b) {
    int c = W_Cmp(a.key, b.key);
    return c != 0 ? c < 0 : a.row < b.row;
  });
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// Whether a failed read of the definitions table names that table, as the databases say a table is
// missing ("no such table: app_dict_sql", "relation "app_dict_sql" does not exist").
bool Names_Sql_Table(const wchar16* msg) {
  if (!msg || Db_Lost_Message(msg)) return false;
  std::u16string m = msg;
  for (wchar16& c : m)
    if (c >= u'A' && c <= u'Z') c = static_cast<wchar16>(c - u'A' + u'a');
  return m.find(u"app_dict_sql") != std::u16string::npos;
}

}  // namespace

TDict::~TDict() = default;

void TDict::Set_Load_Failed(int on) {
  load_failed_ = on ? 1 : 0;
  failed_at_ = on ? Dict_Now_Ms() : 0;
  if (!on) stale_ = 0;
}

int TDict::Has_Rows() {
  auto guard = Lock();
  return Data()->Get_Row_Count() > 0;
}

void TDict::Reload_Failed(const char* what) {
  Set_Load_Failed(1);
  if (!Has_Rows()) return;
  stale_ = 1;
  int rows = 0;
  {
    auto guard = Lock();
    rows = Data()->Get_Row_Count();
  }
  Log_Printf("dict %s: %s failed; the %d rows held serve meanwhile (stale)\n", dict_id_.c_str(), what, rows);
  static Gui_Status_Text_Fn status = nullptr;
  if (Gui_Status_Text_Fn fn = Zem_Host_Func(kGui_Status_Text, status)) {
    std::u16string line = u"字典 ";
    line += map_wchar(dict_id_.c_str()).c_str();
    line += u" 暂时无法刷新，显示的是之前的内容";
    fn(line.c_str(), 0);
  }
}

void TDict::Clear_Definition() {
  dict_id_.clear();
  sqlcmd_.clear();
  sql_given_ = false;
  sqlcmd_ext_.clear();
  ext_.reset();
  parent_col_.clear();
  idx_dict_.clear();
  idx_col_.clear();
  sort_col_.clear();
  ext_col_.clear();
  ext_col_val_.clear();
  is_app_dict_ = 0;
  loaded_ = 0;
  index_.clear();
  index_mode_ = INDEX_NONE;
  Data()->CFree();
}

int TDict::SetInfo(const char* dict_id, const char* sqlcmd) {
  auto load = Load_Lock();
  std::string id = dict_id ? dict_id : "";  // dict_id may point into our own fields
  std::string sql = sqlcmd ? sqlcmd : "";
  // The definition row is read first, off the rows lock: look-ups go on meanwhile.
  TSQLCA q;
  int code = 0;
  if (!id.empty() && sql.empty()) {
    std::string ask =
        "select sqlcmd,sqlcmd_ext,parent_col,idx_dict,idx_col,sort_col,ext_col,ext_col_val from app_dict_sql "
        "where dict_id='" + Sql_Quote(id.c_str()) + "'";
    code = q.Exec(map_wchar(ask.c_str()));
  }
  auto guard = Lock();
  // A redefinition keeps the extended dictionary's object, which callers may hold.
  std::unique_ptr<TDict> old_ext = std::move(ext_);
  Clear_Definition();
  if (id.empty()) return 0;
  dict_id_ = id;
  if (!sql.empty()) {
    sqlcmd_ = sql;
    sql_given_ = true;
    return 1;
  }
  // A missing app_dict_sql table means every dictionary is a standard one. Any other failure (a lost
  // connection, a timeout, a lock) leaves the definition unknown: taken for a standard dictionary,
  // the dictionary would load with no rows, and its file cache would keep it empty.
  if (code != 0 && !Names_Sql_Table(q.Get_Error_Msg())) {
    Swap_Area_Data(q);  // the failure, for the caller to read
    Data()->Clear_Data();
    return 0;
  }
  if (code == 0 && q.Get_Row_Count() == 1) {
    q.First();
    std::string* dst[] = {&sqlcmd_, &sqlcmd_ext_, &parent_col_, &idx_dict_,
                          &idx_col_, &sort_col_,  &ext_col_,    &ext_col_val_};
    for (int i = 0; i < 8; ++i) *dst[i] = Trim(Dict_Narrow(q.Get_Value(i)));
    if (sqlcmd_.empty()) return 0;
    if (!sqlcmd_ext_.empty()) {
      ext_ = old_ext ? std::move(old_ext) : New_Ext();
      ext_->SetInfo((dict_id_ + ".ext").c_str(), sqlcmd_ext_.c_str());
      ext_->file_cache_ = file_cache_;
    }
    return 1;
  }
  Data()->CFree();
  sqlcmd_ = "select code,name,is_group,stop_flag,color_val,note_info,order_id from app_dict_def where dict_id='" +
            Sql_Quote(id.c_str()) + "'";
  sort_col_ = "order_id,code";
  is_app_dict_ = 1;
  return 1;
}

// The query runs on an area of its own, off the rows lock; its result (rows, or the failure with the
// area emptied) is swapped in at once.
int TDict::Load_By_Sql(const std::string& sql) {
  TSQLCA q;
  const int code = q.Exec(map_wchar(sql.c_str()));
  auto guard = Lock();
  Swap_Area_Data(q);
  if (code != 0 || Get_Field_Count() < 1) {
    index_.clear();  // its entries pointed into the rows just given up
    slots_.clear();
    index_mode_ = INDEX_NONE;
    return 0;
  }
  Build_Index();
  return 1;
}

// A failed query leaves the dictionary empty but loaded: lookups find nothing, and nothing runs the
// failing SQL again until the client list retries (Load_Failed).
int TDict::Load(int mode) {
  auto load = Load_Lock();
  std::string sql;
  {
    auto guard = Lock();
    load_mode_ = mode;
    loaded_ = 1;
    sql = sqlcmd_;
  }
  bool ok = !sql.empty() && (!ext_ || ext_->Load(mode)) && Load_By_Sql(sql);
  auto guard = Lock();
  if (!ok) {
    index_.clear();
    slots_.clear();
    index_mode_ = INDEX_NONE;
    Data()->Clear_Data();
  }
  Set_Load_Failed(!ok);
  if (ok) time_stamp_ = local_ver_.load();
  return ok ? 1 : 0;
}

int TDict::Refresh() { return Rebuild(nullptr, 0); }

int TDict::Rebuild(const std::function<void(TDict*)>& prepare, int changes_only) {
  auto load = Load_Lock();
  std::unique_ptr<TDict> fresh = New_Ext();
  fresh->Copy_Settings(*this);
  const int ok = fresh->Load_Fresh(*this, changes_only);
  if (ok && prepare) prepare(fresh.get());
  if (!ok) {
    ++local_ver_;  // the rows held are behind the source's
    Reload_Failed("the reload");
    return 0;
  }
  Take_From(*fresh);
  return 1;
}

void TDict::Copy_Settings(const TDict& live) { file_cache_ = live.file_cache_; }

int TDict::Load_Fresh(TDict& live, int /*changes_only*/) {
  std::string id, sql, sort;
  bool given = false;
  int mode = 0;
  {
    auto guard = live.Lock();
    id = live.dict_id_;
    given = live.sql_given_;
    // An SQL given by the caller (not read from app_dict_sql) is kept, with the sort_col set beside it.
    if (given) sql = live.sqlcmd_;
    sort = live.sort_col_;
    mode = live.load_mode_;
  }
  local_ver_ = live.local_ver_.load() + 1;
  if (!SetInfo(id.c_str(), given ? sql.c_str() : nullptr)) return 0;
  if (given) sort_col_ = sort;
  const int ok = Load(mode);
  time_stamp_ = local_ver_.load();
  return ok;
}

int TDict::Copy_Rows_From(TDict& live) {
  auto mine = Lock();
  auto theirs = live.Lock();  // this one is seen by nobody: no order of the two locks to keep
  dict_id_ = live.dict_id_;
  sqlcmd_ = live.sqlcmd_;
  sql_given_ = live.sql_given_;
  sqlcmd_ext_ = live.sqlcmd_ext_;
  parent_col_ = live.parent_col_;
  idx_dict_ = live.idx_dict_;
  idx_col_ = live.idx_col_;
  sort_col_ = live.sort_col_;
  ext_col_ = live.ext_col_;
  ext_col_val_ = live.ext_col_val_;
  is_app_dict_ = live.is_app_dict_;
  file_cache_ = live.file_cache_;
  time_stamp_ = live.time_stamp_.load();
  local_ver_ = live.local_ver_.load();
  load_mode_ = live.load_mode_;
  part_load_mode_ = live.part_load_mode_;
  file_mode_ = live.file_mode_;
  unsigned len = 0;
  uint8_t* bytes = live.Data()->Pack_Data(&len);
  if (!bytes) return 0;
  const int ok = Data()->Unpack_Data(bytes, static_cast<int>(len));
  std::free(bytes);
  if (!ok) return 0;
  if (live.ext_) {
    ext_ = New_Ext();
    if (!ext_->Copy_Rows_From(*live.ext_)) return 0;
  }
  loaded_ = 1;
  Build_Index();
  return 1;
}

void TDict::Take_From(TDict& fresh) {
  auto mine = Lock();
  auto theirs = fresh.Lock();  // fresh is seen by nobody: no order of the two locks to keep
  Swap_Area_Data(fresh);
  std::swap(sqlcmd_, fresh.sqlcmd_);
  std::swap(sql_given_, fresh.sql_given_);
  std::swap(sqlcmd_ext_, fresh.sqlcmd_ext_);
  std::swap(parent_col_, fresh.parent_col_);
  std::swap(idx_dict_, fresh.idx_dict_);
  std::swap(idx_col_, fresh.idx_col_);
  std::swap(sort_col_, fresh.sort_col_);
  std::swap(ext_col_, fresh.ext_col_);
  std::swap(ext_col_val_, fresh.ext_col_val_);
  std::swap(is_app_dict_, fresh.is_app_dict_);
  std::swap(load_mode_, fresh.load_mode_);
  std::swap(part_load_mode_, fresh.part_load_mode_);
  std::swap(file_mode_, fresh.file_mode_);
  std::swap(index_, fresh.index_);  // its entries point into the rows, which moved with it
  std::swap(slots_, fresh.slots_);
  std::swap(index_mode_, fresh.index_mode_);
  time_stamp_ = fresh.time_stamp_.load();
  local_ver_ = fresh.local_ver_.load();
  loaded_ = 1;
  Set_Load_Failed(0);
  if (fresh.ext_) {
    if (ext_) {
      ext_->Take_From(*fresh.ext_);
    } else {
      ext_ = std::move(fresh.ext_);
    }
  }
}

// The tree columns: a dictionary whose parent_col names no column of its rows gets that column,
// filled with each code's longest other code that is a proper prefix of it, so the tree views find
// the parents of codes that nest by prefix under the declared name. The column made here carries
// FIELD_TREE_PARENT and is filled again at every build (codes come and go); a parent column the
// rows brought holds codes and is typed 'S' like the code. parent_col naming the code column
// itself needs nothing: the tree is then built by prefix.
void TDict::Prepare_Tree_Columns() {
  DBDataMgr* d = Data();
  if (parent_col_.empty() || d->Get_Field_Count() < 1) return;
  map_wchar name(parent_col_.c_str());
  int f = d->Find_Field(name);
  if (f == 0) return;
  if (f > 0 && !(d->Get_Field_Attr(f) & FIELD_TREE_PARENT)) {
    d->Set_Field_Type(f, 'S');
    return;
  }
  if (f < 0) {
    if (!d->Add_Field(name) || (f = d->Find_Field(name)) < 0) return;
    d->Set_Field_Attr(f, FIELD_TREE_PARENT);
  }
  const int n = d->Get_Row_Count();
  std::vector<std::u16string_view> codes;
  codes.reserve(static_cast<size_t>(n));
  for (int r = 0; r < n; ++r) codes.emplace_back(d->Get_Row_Value(r, 0));
  std::vector<size_t> lens = Prefix_Parent_Lengths(codes);
  const int cur = d->Get_Cur_Row();
  for (int r = 0; r < n; ++r) {
    d->Go_To_Row(r);
    d->Set_Value_With_Len(f, codes[static_cast<size_t>(r)].data(), static_cast<int>(lens[static_cast<size_t>(r)]));
  }
  d->Go_To_Row(cur);
}

// Rules: an empty sort_col keeps the SQL's "order by" order with a separate code index (mode 2), or
// else sorts by code (mode 1). A sort_col sorts by its known columns (by code when none is known);
// a first column other than the code needs the separate index.
int TDict::Build_Index() {
  auto guard = Lock();
  Zem_Clean_Vector_State();  // the index copies and compares every code
  index_.clear();
  slots_.clear();
  index_mode_ = INDEX_NONE;
  DBDataMgr* d = Data();
  if (d->Get_Field_Count() < 1) return 1;
  Prepare_Tree_Columns();
  d->Set_Field_Type(0, 'S');
  bool separate = false;
  if (sort_col_.empty()) {
    if (Has_Phrase(sqlcmd_, "order by")) {
      separate = true;
    } else {
      d->Set_Sort_Key(0, 0);
      d->Sort();
    }
  } else {
    int keys = 0, first = -1;
    size_t pos = 0;
    while (pos <= sort_col_.size()) {
      size_t comma = sort_col_.find(',', pos);
      if (comma == std::string::npos) comma = sort_col_.size();
      std::string name = Trim(sort_col_.substr(pos, comma - pos));
      pos = comma + 1;
      if (name.empty()) continue;
      int f = d->Find_Field(map_wchar(name.c_str()));
      if (f < 0) continue;
      if (keys == 0) {
        d->Set_Sort_Key(f, 0);
        first = f;
      } else {
        d->Add_Sort_Key(f, 0);
      }
      ++keys;
    }
    if (keys == 0) {
      d->Set_Sort_Key(0, 0);
      first = 0;
    }
    d->Sort();
    separate = first != 0;
  }
  if (!separate) {
    index_mode_ = INDEX_SORTED;
    return 1;
  }
  // One pass over the rows takes each code and its hash, and finds whether the rows are in code order
  // already, or in its reverse (rows loaded from the cache or by an "order by" on the code often
  // are): those need no sort, or only a reversal, and then no comparison of neighbours for repeated
  // codes either.
  const std::vector<const wchar16*> keys = d->Column_Texts(0);
  const size_t n = keys.size();
  std::vector<uint32_t> hashes(n);
  index_.reserve(n);
  bool ascending = true, descending = true, repeated = false;
  for (size_t r = 0; r < n; ++r) {
    if (r + 32 < n) __builtin_prefetch(keys[r + 32]);
    index_.push_back({keys[r], static_cast<int>(r), 0});
    hashes[r] = Code_Hash(keys[r]);
    if (r == 0 || !(ascending || descending)) continue;
    const int c = W_Cmp(keys[r - 1], keys[r]);
    if (c > 0) ascending = false;
    if (c <= 0) descending = false;  // equal codes would end up with their rows falling
    if (c == 0) repeated = true;
  }
  if (descending) {
    std::reverse(index_.begin(), index_.end());
  } else if (!ascending) {
    Sort_Index(&index_);
    repeated = true;  // not known: the neighbours are compared below
  }
  index_mode_ = INDEX_SEPARATE;
  size_t cap = 16;
  while (cap < n * 2) cap <<= 1;
  slots_.assign(cap, Code_Slot{0, -1});
  // Equal codes lie side by side in the sorted entries, so only the first of each run goes into the
  // table, and a probe never meets its own code: the first free slot is the one. A large dictionary's
  // table outgrows the caches and its slots are met at random: each is asked for 16 entries ahead, so
  // the reads overlap instead of waiting one after the other.
  const size_t mask = cap - 1;
  constexpr size_t kAhead = 16;
  for (size_t i = 0; i < n; ++i) {
    if (i + kAhead < n) __builtin_prefetch(&slots_[hashes[static_cast<size_t>(index_[i + kAhead].row)] & mask], 1);
    if (repeated && i > 0 && W_Cmp(index_[i - 1].key, index_[i].key) == 0) continue;  // keeps the first
    const uint32_t hash = hashes[static_cast<size_t>(index_[i].row)];
    size_t h = hash & mask;
    while (slots_[h].at >= 0) h = (h + 1) & mask;
    slots_[h] = {hash, static_cast<int32_t>(i)};
  }
  return 1;
}

int TDict::Index_Seek(const wchar16* key) {
  if (!slots_.empty()) {
    const size_t mask = slots_.size() - 1;
    const uint32_t hash = Code_Hash(key);
    for (size_t h = hash & mask;; h = (h + 1) & mask) {
      const Code_Slot s = slots_[h];
      if (s.at < 0) return 0;
      if (s.hash != hash) continue;
      SQLCA_Row_Index_Stru& e = index_[static_cast<size_t>(s.at)];
      if (W_Cmp(e.key, key) == 0) {
        Go_To_Row(e.row);
        ++e.hits;
        return 1;
      }
    }
  }
  // Binary search of the sorted entries (lo and hi count from 1).
  int lo = 1, hi = static_cast<int>(index_.size());
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    SQLCA_Row_Index_Stru& e = index_[static_cast<size_t>(mid - 1)];
    int c = W_Cmp(e.key, key);
    if (c == 0) {
      Go_To_Row(e.row);
      ++e.hits;
      return 1;
    }
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  return 0;
}

std::vector<std::u16string> TDict::Missing_Codes(TSQLCA* keys) {
  std::vector<std::u16string> missing;
  if (!keys) return missing;
  auto guard = Lock();
  std::set<std::u16string> seen;
  for (int r = 0; r < keys->Get_Row_Count(); ++r) {
    std::u16string code = keys->Get_Row_Value(r, 0);
    if (code.empty() || !seen.insert(code).second) continue;
    if (!Seek_Code(0, code.c_str())) missing.push_back(code);
  }
  return missing;
}

int TDict::Seek_Code(int field, map_wchar value) {
  auto guard = Lock();
  DBDataMgr* d = Data();
  if (field < 0 || field >= d->Get_Field_Count()) return 0;
  if (field == 0 && index_mode_ == INDEX_SORTED) return d->Seek(value);
  if (field == 0 && index_mode_ == INDEX_SEPARATE) return Index_Seek(value.c_str());
  int n = d->Get_Row_Count();
  for (int r = 0; r < n; ++r) {
    if (W_Cmp(d->Get_Row_Value(r, field), value.c_str()) == 0) return d->Go_To_Row(r);
  }
  return 0;
}

namespace {

// Whether a row may not be chosen, the dictionary's fields for that found once (see TDict::Is_Stop).
class Stop_Test {
 public:
  Stop_Test(DBDataMgr* d, bool app_dict, const std::string& ext_col, const std::string& ext_val) : d_(d) {
    if (app_dict) {
      group_ = d->Find_Field(u"is_group");
      stop_ = d->Find_Field(u"stop_flag");
      app_ = true;
    } else if (!ext_col.empty() && !ext_val.empty()) {
      ext_ = d->Find_Field(map_wchar(ext_col.c_str()));
      list_ = map_wchar(ext_val.c_str()).c_str();
    }
  }
  bool Stopped(int row) const {
    if (app_) {
      for (int f : {group_, stop_})
        if (f >= 0 && d_->Get_Row_Value(row, f)[0] == u'Y') return true;
      return false;
    }
    if (W_Chr(d_->Get_Row_Value(row, 0), u',')) return true;
    if (ext_ < 0) return false;
    const wchar16* v = d_->Get_Row_Value(row, ext_);
    return !W_Is_Empty(v) && W_Str(list_.c_str(), map_wchar(v));
  }

 private:
  DBDataMgr* d_;
  bool app_ = false;
  int group_ = -1, stop_ = -1, ext_ = -1;
  std::u16string list_;
};

}  // namespace

int TDict::Is_Stop() {
  auto guard = Lock();
  DBDataMgr* d = Data();
  int row = d->Get_Cur_Row();
  if (row < 0 || row >= d->Get_Row_Count()) return 0;
  return Stop_Test(d, is_app_dict_, ext_col_, ext_col_val_).Stopped(row) ? 1 : 0;
}

std::vector<char> TDict::Stop_Rows() {
  auto guard = Lock();
  DBDataMgr* d = Data();
  const Stop_Test test(d, is_app_dict_, ext_col_, ext_col_val_);
  std::vector<char> out(static_cast<size_t>(std::max(0, d->Get_Row_Count())));
  for (size_t r = 0; r < out.size(); ++r) out[r] = test.Stopped(static_cast<int>(r)) ? 1 : 0;
  return out;
}

int TDict::Add_Code(map_wchar code, map_wchar name) {
  auto guard = Lock();
  DBDataMgr* d = Data();
  if (W_Is_Empty(code.c_str()) || d->Get_Field_Count() < 2) return 0;
  d->Add_Row();
  d->Set_Value(0, code);
  d->Set_Value(1, name);
  Build_Index();
  return 1;
}

int TDict::Erase_Code(map_wchar code) {
  auto guard = Lock();
  if (!Seek_Code(0, code)) return 0;
  Data()->Del_Row();
  if (load_mode_ == 1) {
    Drop_Cache();
    time_stamp_ = ++local_ver_;
  }
  Build_Index();
  return 1;
}

int TDict::Get_Name(map_wchar code, std::u16string* name) {
  auto guard = Lock();
  if (!Seek_Code(0, code)) return 0;
  if (name) {
    const wchar16* v = Data()->Get_Field_Count() > 1 ? Get_Value(1) : u"";
    *name = v ? v : u"";
  }
  return 1;
}

int TDict::Unpack_Part(TParaMgr* pack) {
  if (!pack) return 0;
  TSQLCA erase, modi;
  bool has_erase = pack->Find_Para(u"erase_data_pack") != nullptr;
  bool has_modi = pack->Find_Para(u"modi_data_pack") != nullptr;
  if ((has_erase && !pack->Get_Sqlca_Para(u"erase_data_pack", &erase)) ||
      (has_modi && !pack->Get_Sqlca_Para(u"modi_data_pack", &modi)))
    return 0;
  auto guard = Lock();
  DBDataMgr* d = Data();
  int ts = 0;
  if (pack->Get_Int(u"time_stamp", &ts)) time_stamp_ = local_ver_ = ts;
  // The rows are found before any changes and the index is rebuilt once per step, so a change set
  // of many codes costs a few sorts, not one per code.
  if (has_erase && erase.Get_Field_Count() > 0) {
    std::vector<int> gone;
    for (int r = 0; r < erase.Get_Row_Count(); ++r) {
      if (Seek_Code(0, erase.Get_Row_Value(r, 0))) gone.push_back(d->Get_Cur_Row());
    }
    std::sort(gone.begin(), gone.end());
    gone.erase(std::unique(gone.begin(), gone.end()), gone.end());
    for (auto it = gone.rbegin(); it != gone.rend(); ++it) {
      d->Go_To_Row(*it);
      d->Del_Row();
    }
    if (!gone.empty()) Build_Index();
  }
  if (has_modi && modi.Get_Field_Count() > 0 && d->Get_Field_Count() > 0) {
    int fields = std::min(modi.Get_Field_Count(), d->Get_Field_Count());
    std::vector<std::u16string> added;
    std::set<std::u16string> seen;
    for (int r = 0; r < modi.Get_Row_Count(); ++r) {
      std::u16string code = modi.Get_Row_Value(r, 0);
      if (seen.insert(code).second && !Seek_Code(0, code.c_str())) added.push_back(code);
    }
    for (const std::u16string& code : added) {
      d->Add_Row();
      d->Set_Value(0, code.c_str());
    }
    if (!added.empty()) Build_Index();
    for (int r = 0; r < modi.Get_Row_Count(); ++r) {
      if (!Seek_Code(0, modi.Get_Row_Value(r, 0))) continue;
      for (int f = 1; f < fields; ++f) d->Set_Value(f, modi.Get_Row_Value(r, f));
    }
  }
  Build_Index();
  return 1;
}

int TDict::Set_Dict_Id(const char* dict_id) {
  auto load = Load_Lock();
  auto guard = Lock();
  std::string id = dict_id ? dict_id : "";
  Clear_Definition();
  if (id.empty()) return 0;
  dict_id_ = id;
  return 1;
}

int TDict::Is_Time_Stamp_Changed() {
  auto guard = Lock();
  return time_stamp_ < local_ver_ ? 1 : 0;
}

int TDict::Load_Part_Data(TSQLCA* /*keys*/) { return 1; }

int TDict::Check_Dict() { return 1; }

// Dictionary transfer pack, as the server sends one dictionary:
//
//   NAME                                   TYPE   CONTENT
//   parent_col, idx_dict, idx_col,         text   definition fields (absent: empty)
//     sort_col, ext_col, ext_col_val
//   is_app_dict                            int    standard dictionary flag
//   dict_sql                               text   the loading SQL (may be empty)
//   time_stamp                             int    server version: time stamp and local version
//   part_load_mode                         int    part-load mode of the dictionary
//   file_mode                              int    0: rows in the packed sets below; else in files
//   data_pack, parent_data_pack            bytes  packed data sets (data flag 1): the rows and the
//                                                 extended dictionary's rows (optional)
//   dtfile_size, dtfile_data               int, bytes  block-compressed packed set of the rows
//   pardtfile_size, pardtfile_data         int, bytes  the same for the extended dictionary
//
// A binary is taken when its size is positive; the size must not exceed the bytes carried.
namespace {

// The bytes one parameter carries (the NUL of an owned text is not counted).
bool Para_Bytes(TParaMgr* pack, const char16_t* name, const uint8_t** data, size_t* len) {
  ParaStru* p = pack->Find_Para(name);
  if (!p) return false;
  int size = 0;
  const void* v = p->Get_Value(&size);
  int n = (p->Type() == 'S' || p->Type() == 'M') ? p->Text_Bytes() : size;
  if (!v || n < 0) n = 0;
  *data = static_cast<const uint8_t*>(v);
  *len = static_cast<size_t>(n);
  return true;
}

// Checks that bytes are one whole packed data set with at least one field (the code).
bool Packed_Set_Ok(const uint8_t* bytes, size_t len) {
  int fields = 0;
  return len > 0 && DBDataMgr::Check_Packed(bytes, len, &fields) && fields >= 1;
}

bool Packed_Set_Ok(const std::string& bytes) {
  return Packed_Set_Ok(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// One transfer binary ("<name>_size", "<name>_data"): written to dz_path, expanded into dt_path,
// taken as packed set bytes into *out, the expanded file deleted. The bytes taken are the expanded
// ones in memory, not read back: another process receiving the same dictionary may replace or
// delete the file meanwhile. Returns 1 with the bytes, 2 when the binary is missing or empty (the
// step is skipped), 0 when anything fails.
int Take_Transfer_File(TParaMgr* pack, const std::u16string& name, const std::string& dz_path,
                       const std::string& dt_path, std::string* out) {
  int size = 0;
  if (!pack->Get_Int((name + u"_size").c_str(), &size) || size == 0) return 2;
  const uint8_t* data = nullptr;
  size_t have = 0;
  if (!Para_Bytes(pack, (name + u"_data").c_str(), &data, &have) || have == 0) return 2;
  if (size < 0 || static_cast<size_t>(size) > have) {
    Log_Printf("dict transfer file %s: size %d, %zu bytes carried\n", Zem_W_To_Utf8(name.c_str()).c_str(), size,
               have);
    return 0;
  }
  size_t len = static_cast<size_t>(size);
  if (!Dict_Write_File(dz_path, data, len, "create file fail\n")) return 0;
  // zlib expands at most 1032:1; beyond that (or 1 GiB) the blocks are lying.
  size_t cap = std::min<size_t>(len * 1032, size_t(1) << 30);
  std::string raw;
  if (!Zip_Block_Decode(data, len, &raw, cap)) return 0;
  int ok = Dict_Write_File(dt_path, raw.data(), raw.size(), "create file fail\n");
  std::error_code ec;
  std::filesystem::remove(dt_path, ec);
  if (!ok || !Packed_Set_Ok(raw)) return 0;
  out->swap(raw);
  return 1;
}

std::string Text_Of(TParaMgr* pack, const char16_t* name) {
  tstr t;
  pack->Get_Str(name, &t);
  return Trim(t.c_str());
}

}  // namespace

int TDict::Unpack_Dict(TParaMgr* pack) {
  if (!pack) return 0;
  std::string id;
  {
    auto guard = Lock();
    id = dict_id_;
  }
  // Everything is read and checked here, before the dictionary changes.
  std::string fields[6];
  const char16_t* names[6] = {u"parent_col", u"idx_dict", u"idx_col", u"sort_col", u"ext_col", u"ext_col_val"};
  for (int i = 0; i < 6; ++i) fields[i] = Text_Of(pack, names[i]);
  std::string sql = Text_Of(pack, u"dict_sql");
  int app = 0, ts = 0, part = 0, fmode = 0;
  pack->Get_Int(u"is_app_dict", &app);
  pack->Get_Int(u"time_stamp", &ts);
  pack->Get_Int(u"part_load_mode", &part);
  pack->Get_Int(u"file_mode", &fmode);

  // The packed sets, checked; none: that set stays as it is. They are read where they lie in the pack
  // (file mode: in the expanded files' bytes).
  std::string rows_file, ext_file;
  const uint8_t* rows = nullptr;
  const uint8_t* ext_rows = nullptr;
  size_t rows_len = 0, ext_len = 0;
  if (fmode == 0) {
    if (!Para_Bytes(pack, u"data_pack", &rows, &rows_len)) {
      Log_Printf("dict %s: transfer pack without data_pack\n", id.c_str());
      return 0;
    }
    if (!Packed_Set_Ok(rows, rows_len)) {
      Log_Printf("dict %s: data_pack does not unpack\n", id.c_str());
      return 0;
    }
    if (Para_Bytes(pack, u"parent_data_pack", &ext_rows, &ext_len) && !Packed_Set_Ok(ext_rows, ext_len)) {
      Log_Printf("dict %s: parent_data_pack does not unpack\n", id.c_str());
      return 0;
    }
  } else {
    std::string dir = Dict_Cache_Dir();
    if (!Dict_Make_Cache_Dir(dir)) return 0;
    std::string base = dir + "/" + Zem_W_To_Utf8(map_wchar(id.c_str()).c_str());
    if (!Take_Transfer_File(pack, u"dtfile", base + ".dz_", base + ".dt_", &rows_file)) return 0;
    if (!Take_Transfer_File(pack, u"pardtfile", base + ".dz__p", base + ".dt__p", &ext_file)) return 0;
    rows = reinterpret_cast<const uint8_t*>(rows_file.data());
    rows_len = rows_file.size();
    ext_rows = reinterpret_cast<const uint8_t*>(ext_file.data());
    ext_len = ext_file.size();
  }

  auto guard = Lock();
  std::string* dst[6] = {&parent_col_, &idx_dict_, &idx_col_, &sort_col_, &ext_col_, &ext_col_val_};
  for (int i = 0; i < 6; ++i) *dst[i] = fields[i];
  is_app_dict_ = app ? 1 : 0;
  sqlcmd_ = sql;
  time_stamp_ = local_ver_ = ts;
  part_load_mode_ = part;
  file_mode_ = fmode;
  // The bytes were unpacked once already; only running out of memory can refuse them now.
  if (rows_len > 0) {
    Data()->CFree();
    Data()->Unpack_Data(rows, rows_len, nullptr);
    Build_Index();
  }
  if (ext_len > 0) {
    if (!ext_) {
      ext_ = New_Ext();
      ext_->Set_Dict_Id((dict_id_ + ".ext").c_str());
      ext_->file_cache_ = file_cache_;
    }
    auto eg = ext_->Lock();
    ext_->Data()->CFree();
    ext_->Data()->Unpack_Data(ext_rows, ext_len, nullptr);
    ext_->Build_Index();
  }
  return 1;
}

int Dict_Create_Def_Tables(TSQLCA* q) {
  if (!q) return -1;
  static const char16_t* const kTables[] = {
      u"create table if not exists app_dict_def(dict_id varchar(40) not null, code varchar(40) not null, "
      u"name varchar(100), is_group varchar(1) default 'N', stop_flag varchar(1) default 'N', "
      u"color_val int default 0, "
      u"note_info varchar(200), order_id int default 0, primary key(dict_id, code))",
      u"create table if not exists app_dict_sql(dict_id varchar(40) primary key, sqlcmd varchar(2000), "
      u"sqlcmd_ext varchar(2000), parent_col varchar(40), idx_dict varchar(40), idx_col varchar(40), "
      u"sort_col varchar(100), ext_col varchar(100), ext_col_val varchar(200))",
  };
  for (const char16_t* sql : kTables)
    if (int code = q->Exec(sql)) return code;
  // Every writer's change of a definition reaches the clients (dict/dict_change.h).
  return Dict_Create_Change_Triggers(q);
}
