// TMG dictionary columns: pick-list columns over a dictionary ("code name" cells), display columns
// that show the names of the codes held in another column, the host's choose dialogs, and the
// resolution of text typed into either kind.
#include "controls/grid/Mg.h"
#include "controls/grid/mg_dict_find.h"
#include "controls/common/dict_watch.h"

#include "core/data/sqlca.h"
#include "dict/dict_mgr.h"
#include "frame/host_funcs.h"
#include "frame/singleton.h"
#include "util/lang_map.h"

#include <algorithm>
#include <cstring>

namespace {

Pdu_Code_Select_Fn g_code_select = nullptr;
Pdu_Code_Multi_Select_Fn g_code_multi_select = nullptr;
Pdu_Code_Key_Search_Fn g_code_key_search = nullptr;

QString Cap(const char16_t* text) { return QString::fromUtf16(Lang_Cap(map_wchar(u"grid"), text)); }

// At most max bytes of a narrow text, never half of a double-byte character.
std::string Cut_Narrow(const std::string& s, size_t max) {
  size_t n = 0;
  while (n < s.size()) {
    const size_t step = static_cast<unsigned char>(s[n]) >= 0x81 && n + 1 < s.size() ? 2 : 1;
    if (n + step > max) break;
    n += step;
  }
  return s.substr(0, n);
}

}  // namespace

// ---- Finding a text in a dictionary -----------------------------------------------------------------

Mg_Dict_Finder::Mg_Dict_Finder(const char* dict_id) : id_(dict_id ? dict_id : "") {
  if (!id_.empty()) dict_ = Dict_Client_List()->Get_Dict(id_.c_str(), 1);
}

int Mg_Dict_Finder::Row_Of(QStringView code) {
  if (code.isEmpty()) return -1;
  // The look-up wants the code NUL-terminated; a code of up to 99 characters needs no allocation.
  char16_t buf[100];
  std::u16string longer;
  const char16_t* z = buf;
  if (code.size() < 100) {
    std::copy(code.utf16(), code.utf16() + code.size(), buf);
    buf[code.size()] = 0;
  } else {
    longer.assign(code.utf16(), size_t(code.size()));
    z = longer.c_str();
  }
  return dict_->Seek_Code(0, map_wchar(z)) ? dict_->Get_Cur_Row() : -1;
}

// FNV-1a over the UTF-16 units: our own hash, the same in every process, with no vector code that
// would leave the processor's state to slow the scalar loops around it.
uint32_t Mg_Dict_Finder::Hash(QStringView text) {
  uint32_t h = 2166136261u;
  for (QChar c : text) h = (h ^ c.unicode()) * 16777619u;
  return h;
}

void Mg_Dict_Finder::Put(Table* t, uint32_t hash, int row) {
  const size_t mask = t->size() - 1;
  size_t at = hash & mask;
  while ((*t)[at].row >= 0) at = (at + 1) & mask;
  (*t)[at] = {hash, row};
}

// Slots for n texts: a power of two, at most half full.
static size_t Table_Size(size_t n) {
  size_t cap = 16;
  while (cap < n * 2) cap <<= 1;
  return cap;
}

int Mg_Dict_Finder::Row_Of_Name(QStringView name, int* shared) {
  DBDataMgr* d = dict_->Data();
  *shared = 0;
  if (d->Get_Field_Count() < 2) return -1;
  const int rows = d->Get_Row_Count();
  if (indexedRows_ != rows) {
    names_.assign(Table_Size(size_t(rows)), Slot{0, -1});
    for (int r = 0; r < rows; ++r) Put(&names_, Hash(QStringView(d->Get_Row_Value(r, 1))), r);
    indexedRows_ = rows;
  }
  // Equal names have equal hashes and so lie on one run of slots from their home: the run is searched
  // to its end, and each hash that matches is checked against the entry's name.
  const uint32_t h = Hash(name);
  const size_t mask = names_.size() - 1;
  int row = -1;
  for (size_t at = h & mask; names_[at].row >= 0; at = (at + 1) & mask) {
    const Slot& s = names_[at];
    if (s.hash == h && QStringView(d->Get_Row_Value(s.row, 1)) == name && (*shared)++ == 0) row = s.row;
  }
  return row;
}

void Mg_Dict_Finder::Make_Copy() {
  auto guard = dict_->Lock();
  DBDataMgr* d = dict_->Data();
  const int rows = std::max(0, d->Get_Row_Count());
  named_ = d->Get_Field_Count() > 1;
  const std::vector<char> stop = dict_->Stop_Rows();
  entries_.resize(size_t(rows));
  text_.clear();
  text_.reserve(size_t(rows) * 16);
  // The entries in row order, reading the rows once; then the tables, each slot asked for a few
  // entries ahead, so that the waits for memory overlap.
  std::vector<uint32_t> codeHash(static_cast<size_t>(rows)), nameHash(named_ ? static_cast<size_t>(rows) : 0);
  auto add = [&](const wchar16* s, uint32_t* at, uint32_t* size) {
    const QStringView v(s);
    *at = uint32_t(text_.size());
    *size = uint32_t(v.size());
    text_.insert(text_.end(), v.utf16(), v.utf16() + v.size());
    return Hash(v);
  };
  for (int r = 0; r < rows; ++r) {
    Copy_Entry& e = entries_[size_t(r)];
    codeHash[size_t(r)] = add(d->Get_Row_Value(r, 0), &e.code, &e.code_size);
    if (named_) nameHash[size_t(r)] = add(d->Get_Row_Value(r, 1), &e.name, &e.name_size);
    else e.name = e.name_size = 0;
    e.stop = size_t(r) < stop.size() && stop[size_t(r)];
  }
  auto fill = [&](Table* t, const std::vector<uint32_t>& hash, bool codes) {
    t->assign(Table_Size(hash.size()), Slot{0, -1});
    const size_t mask = t->size() - 1;
    for (size_t r = 0; r < hash.size(); ++r) {
      if (r + 16 < hash.size()) __builtin_prefetch(&(*t)[hash[r + 16] & mask]);
      if (!codes || entries_[r].code_size > 0) Put(t, hash[r], int(r));
    }
  };
  fill(&copyCodes_, codeHash, true);
  fill(&copyNames_, nameHash, false);
  copied_ = true;
}

int Mg_Dict_Finder::Copy_Code(QStringView code) const {
  if (code.isEmpty()) return -1;
  // A code held twice is found at its first row, as the dictionary's own index finds it: the run of
  // slots is searched to its end.
  const uint32_t h = Hash(code);
  const size_t mask = copyCodes_.size() - 1;
  int row = -1;
  for (size_t at = h & mask; copyCodes_[at].row >= 0; at = (at + 1) & mask) {
    const Slot s = copyCodes_[at];
    if (s.hash != h || (row >= 0 && s.row > row)) continue;
    const Copy_Entry& e = entries_[size_t(s.row)];
    if (Copy_Text(e.code, e.code_size) == code) row = s.row;
  }
  return row;
}

int Mg_Dict_Finder::Find_Entry(QStringView text, Entry* e, QString* why) {
  e->hold = {};
  if (!dict_) {
    *why = Cap(u"字典 %1 不能使用").arg(QString::fromStdString(id_));
    return 0;
  }
  const QStringView t = text.trimmed();
  if (many_) {
    if (!copied_) Make_Copy();
    auto code_of = [&](int r) { return Copy_Text(entries_[size_t(r)].code, entries_[size_t(r)].code_size); };
    auto name_of = [&](int r) { return Copy_Text(entries_[size_t(r)].name, entries_[size_t(r)].name_size); };
    int row = Copy_Code(t);
    if (row < 0) {
      // The cell's own form: the code, one blank, its name.
      const int blank = int(t.indexOf(u' '));
      if (blank > 0) {
        const int r = Copy_Code(t.left(blank));
        if (r >= 0 && name_of(r) == t.mid(blank + 1).trimmed()) row = r;
      }
    }
    if (row < 0 && named_) {
      const uint32_t h = Hash(t);
      const size_t mask = copyNames_.size() - 1;
      int shared = 0;
      for (size_t at = h & mask; copyNames_[at].row >= 0; at = (at + 1) & mask)
        if (copyNames_[at].hash == h && name_of(copyNames_[at].row) == t && shared++ == 0) row = copyNames_[at].row;
      if (shared > 1) {
        *why = Cap(u"字典 %1 中名称为“%2”的不止一项，请输入编码").arg(QString::fromStdString(id_), t);
        return 0;
      }
    }
    if (row < 0) return Not_Found(t, why);
    if (entries_[size_t(row)].stop) {
      *why = Cap(u"字典 %1 的“%2”已停用或是分组，不能选用").arg(QString::fromStdString(id_), t);
      return 0;
    }
    e->code = code_of(row);
    e->name = name_of(row);
    return 1;
  }
  e->hold = dict_->Lock();  // one look-up sees one state of the dictionary
  DBDataMgr* d = dict_->Data();
  const bool named = d->Get_Field_Count() > 1;
  auto name_of = [&](int row) { return named ? QStringView(d->Get_Row_Value(row, 1)) : QStringView(); };
  int row = Row_Of(t);
  if (row < 0) {
    // The cell's own form: the code, one blank, its name.
    const int blank = int(t.indexOf(u' '));
    if (blank > 0) {
      const int r = Row_Of(t.left(blank));
      if (r >= 0 && name_of(r) == t.mid(blank + 1).trimmed()) row = r;
    }
  }
  if (row < 0) {
    int shared = 0;
    row = Row_Of_Name(t, &shared);
    if (shared > 1) {
      *why = Cap(u"字典 %1 中名称为“%2”的不止一项，请输入编码").arg(QString::fromStdString(id_), t);
      return 0;
    }
  }
  if (row < 0) return Not_Found(t, why);
  d->Go_To_Row(row);
  if (dict_->Is_Stop()) {
    *why = Cap(u"字典 %1 的“%2”已停用或是分组，不能选用").arg(QString::fromStdString(id_), t);
    return 0;
  }
  e->code = QStringView(d->Get_Row_Value(row, 0));
  e->name = name_of(row);
  return 1;
}

int Mg_Dict_Finder::Not_Found(QStringView t, QString* why) {
  auto guard = dict_->Lock();
  if (dict_->Load_Failed()) {
    // A dictionary that could not be read cannot tell that a code is missing: the failure is said.
    const QString reason = QString::fromUtf16(dict_->Get_User_Msg());
    *why = Cap(u"字典 %1 暂时无法读取，不能核对“%2”").arg(QString::fromStdString(id_), t) +
           (reason.isEmpty() ? QString() : QStringLiteral("：") + reason);
  } else {
    *why = Cap(u"“%1”不是字典 %2 的编码或名称").arg(t, QString::fromStdString(id_));
  }
  return 0;
}

int Mg_Dict_Finder::Find(QStringView text, QString* code, QString* name, QString* why, QString* cell) {
  Entry e;
  if (!Find_Entry(text, &e, why)) return 0;
  if (code) *code = e.code.toString();
  if (name) *name = e.name.toString();
  if (cell) {
    cell->clear();
    cell->reserve(e.code.size() + 1 + e.name.size());
    cell->append(e.code).append(u' ').append(e.name);
  }
  return 1;
}

// ---- Column setup -----------------------------------------------------------------------------------

int TMG::SetColPickDict(int col, const char* dict) {
  if (!In_Range(col)) return 1;
  TMG_Col_Def* d = Rec(col);
  d->edit_style = 3;
  std::snprintf(d->dict, sizeof d->dict, "%s", dict ? dict : "");
  if (d->dict[0]) Watch_Dicts();
  Invalidate();
  return 1;
}

int TMG::Set_Dict(int col, const char* dict, const char* code_col) {
  if (col < 1 || col >= ColCount()) return 0;
  TMG_Col_Def* d = Rec(col);
  std::snprintf(d->dict, sizeof d->dict, "%s", dict ? dict : "");
  std::snprintf(d->code_col, sizeof d->code_col, "%s", code_col ? code_col : "");
  if (d->dict[0]) Watch_Dicts();
  // Rows loaded before the column was bound show their names at once.
  int codeCol = -1;
  if (Is_Dict_Col(col) && GetColId(d->code_col, &codeCol) && codeCol != col) {
    for (int row = FixedRows(); row < RowCount(); ++row) {
      if (CellView(codeCol, row).isEmpty()) continue;
      Refresh_Dict_Names(d->dict);
      break;
    }
  }
  return 1;
}

void TMG::Watch_Dicts() {
  if (dictWatched_) return;
  dictWatched_ = true;
  Zem_Dict_Watch(this, [this](const std::string& id) { Refresh_Dict_Names(id.empty() ? nullptr : id.c_str()); });
}

int TMG::Refresh_Dict_Names(const char* dict_id) {
  int changed = 0;
  for (int col = 1; col < ColCount(); ++col) {
    TMG_Col_Def* d = Rec(col);
    if (!d->dict[0] || (dict_id && std::strcmp(d->dict, dict_id) != 0)) continue;
    const bool pick = d->edit_style == 3;
    int codeCol = -1;
    const bool display = !pick && Is_Dict_Col(col) && GetColId(d->code_col, &codeCol) && codeCol != col;
    if (!pick && !display) continue;
    TDict* dict = Dict_Client_List()->Get_Dict(d->dict, 1);
    if (!dict || dict->Load_Failed()) continue;  // no names rather than empty ones
    for (int row = FixedRows(); row < RowCount(); ++row) {
      if (watchTyped_ && col == watchCol_ && row == watchRow_) continue;  // the clerk's typing
      QString text;
      if (pick) {
        const QString code = QString::fromUtf16(GetW(col, row));
        if (code.isEmpty()) continue;
        std::u16string name;
        dict->Get_Name(map_wchar(reinterpret_cast<const wchar16*>(code.utf16())), &name);
        text = code + u' ' + QString::fromStdU16String(name);
      } else {
        // GetW: the codes alone also when the code column is a pick list showing "code name".
        const QString codes = QString::fromUtf16(GetW(codeCol, row));
        if (codes.isEmpty()) continue;
        QStringList names;
        for (const QString& c : codes.split(u',')) {
          std::u16string n;
          dict->Get_Name(map_wchar(reinterpret_cast<const wchar16*>(c.utf16())), &n);
          names << QString::fromStdU16String(n);
        }
        text = names.join(u',');
      }
      if (Cells(col, row) == text) continue;
      SetCells(col, row, text);
      ++changed;
    }
  }
  if (changed) Invalidate();
  return changed;
}

int TMG::Set_Dict(const char* name, const char* dict, const char* code_col) {
  int id;
  return name && GetColId(name, &id) ? Set_Dict(id, dict, code_col) : 0;
}

int TMG::Is_Dict_Col(int col) {
  return col >= 1 && col < ColCount() && Rec(col)->dict[0] && Rec(col)->code_col[0] ? 1 : 0;
}

int TMG::Is_Dict_Col(const char* name) {
  int id;
  return name && GetColId(name, &id) ? Is_Dict_Col(id) : 0;
}

void TMG::DoFillPickListItems(int col, int row, TStrings* items) {
  if (In_Range(col) && Rec(col)->edit_style == 3 && Rec(col)->dict[0]) {
    items->Clear();
    if (TDict* dict = Dict_Client_List()->Get_Dict(Rec(col)->dict, 1)) {
      auto guard = dict->Lock();
      DBDataMgr* d = dict->Data();
      const bool named = d->Get_Field_Count() > 1;
      for (int r = 0; r < d->Get_Row_Count(); ++r)
        items->Add(QString::fromUtf16(d->Get_Row_Value(r, 0)) + u' ' +
                   (named ? QString::fromUtf16(d->Get_Row_Value(r, 1)) : QString()));
    }
  }
  if (OnFillPickListitems) OnFillPickListitems(this, col, row, items);
}

// ---- The host's choice ------------------------------------------------------------------------------

int TMG::Pop_Choose(int col, int row) {
  const Pdu_Code_Select_Fn select = Zem_Host_Func(kPdu_Code_Select, g_code_select);
  const Pdu_Code_Multi_Select_Fn multi = Zem_Host_Func(kPdu_Code_Multi_Select, g_code_multi_select);
  int codeCol = -1;
  if (!select || !Is_Dict_Col(col) || !GetColId(Rec(col)->code_col, &codeCol)) return 0;
  if (row < 0 || row >= RowCount()) return 0;
  TMG_Col_Def* d = Rec(col);
  const std::string current = Cut_Narrow(Narrow(CellView(codeCol, row)), 99);
  std::string chosen;
  if (!(d->ext_opt & 8)) {
    char buf[100];
    std::memcpy(buf, current.c_str(), current.size() + 1);
    if (!select(d->dict, buf)) return 0;
    buf[99] = 0;
    chosen = buf;
  } else {
    if (!multi) return 0;
    TSQLCA codes;
    codes.Set_Field_Count(1);
    codes.Set_Field_Name(0, u"code");
    size_t at = 0;
    while (at <= current.size()) {
      size_t comma = current.find(',', at);
      if (comma == std::string::npos) comma = current.size();
      if (comma > at) {
        codes.Add_Row();
        codes.Set_Value(0, map_wchar(current.substr(at, comma - at).c_str()));
      }
      at = comma + 1;
    }
    if (!multi(d->dict, &codes)) return 0;
    // Codes are taken while the joined text stays within 98 bytes; the first that would pass it ends
    // the list.
    for (int r = 0; r < codes.Get_Row_Count(); ++r) {
      const std::string c = map_char(codes.Get_Row_Value(r, 0)).c_str();
      if (c.empty()) continue;
      const std::string joined = chosen.empty() ? c : chosen + "," + c;
      if (joined.size() > 98) break;
      chosen = joined;
    }
  }
  QStringList names;
  if (TDict* dict = Dict_Client_List()->Get_Dict(d->dict, 1)) {
    const QString all = Wide(chosen.c_str());
    for (const QString& c : all.split(u',')) {
      std::u16string n;
      dict->Get_Name(map_wchar(reinterpret_cast<const wchar16*>(c.utf16())), &n);
      names << QString::fromStdU16String(n);
    }
  }
  // The choice is the user's edit of the cell, reported at once (from what the cell had before any
  // typing in it).
  const bool watched = col == watchCol_ && row == watchRow_;
  const QString before = watched ? watchOld_ : Cells(col, row);
  ++ownWrite_;
  SetV(codeCol, row, chosen.c_str());
  SetCells(col, row, chosen.empty() ? QString() : names.join(u','));
  --ownWrite_;
  const QString now = Cells(col, row);
  if (watched) {
    watchOld_ = now;
    watchTyped_ = false;
  }
  if (now != before) {
    if (OnMGValChange) OnMGValChange(this, col, row, now, before);
    Area_Row_Changed(row);
    Sync_Sum();
  }
  return 1;
}

// ---- Text typed into a dictionary cell --------------------------------------------------------------

bool TMG::Dict_Commit(int col, int row) {
  if (!watchTyped_) return true;
  watchTyped_ = false;
  TMG_Col_Def* d = Rec(col);
  const bool pick = d->edit_style == 3 && d->dict[0];
  int codeCol = -1;
  const bool display = !pick && Is_Dict_Col(col) && GetColId(d->code_col, &codeCol) && codeCol != col;
  if (!pick && !display) return true;
  struct Own {  // the grid's own writes below are the user's edit, measured from before it
    int& n;
    explicit Own(int& c) : n(c) { ++n; }
    ~Own() { --n; }
  } own(ownWrite_);
  const QString text = Cells(col, row).trimmed();
  QStringList codes, names;
  if (!text.isEmpty()) {
    Mg_Dict_Finder finder(d->dict);
    const QStringList parts =
        display && (d->ext_opt & 8) ? text.split(u',', Qt::SkipEmptyParts) : QStringList{text};
    for (const QString& part : parts) {
      QString code, name, why;
      if (!finder.Find(part, &code, &name, &why)) {
        // The host's search takes an exact code or name or a single hit, else lets the user choose.
        const Pdu_Code_Key_Search_Fn search = Zem_Host_Func(kPdu_Code_Key_Search, g_code_key_search);
        char buf[100] = "";
        const QString typed = part.trimmed();
        const bool chose = search && search(d->dict, reinterpret_cast<const char16_t*>(typed.utf16()), buf);
        if (chose) buf[99] = 0;
        if (!chose || !finder.Find(Wide(buf), &code, &name, &why)) {
          SetCells(col, row, watchOld_);  // refused: the text the cell had before the edit
          if (!search || chose) {
            const QString caption = Cells(col, 0).isEmpty() ? Wide(d->name) : Cells(col, 0);
            Show_Refusal(Cap(u"“%1”列：%2").arg(caption, why));
          }
          return false;
        }
      }
      codes << code;
      names << name;
    }
  }
  if (pick) {
    SetCells(col, row, codes.isEmpty() ? QString() : codes[0] + u' ' + names[0]);
  } else {
    SetCells(codeCol, row, codes.join(u','));
    SetCells(col, row, names.join(u','));
  }
  return true;
}
