// TComboBox_Ext: attaching sources, setting and reading codes, validating typed text, the shown text of
// a multiple choice and the SQL condition built from the choice.
#include <QLineEdit>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "controls/combo/Combobox_ext.h"
#include "controls/combo/combo_util.h"
#include "controls/common/dict_watch.h"
#include "core/data/key_set.h"
#include "core/data/sqlca.h"
#include "core/text/separate_str.h"
#include "core/text/wfunc.h"
#include "dict/dict_mgr.h"
#include "frame/log_mgr.h"

namespace {

// The buffers shared by every combo box: Get_Code without a buffer, Build_Limit.
std::string g_code_text;
std::u16string g_code_text_w;
std::string g_limit;

// Dictionaries that a multiple choice lists without their stopped entries.
constexpr char kMulti_Plain_Dicts[] = "res,emp,eba,sup";
// A code of a typed code list keeps at most this many characters.
constexpr size_t kList_Code_Max = 80;
// The wide Get_Max_Code works on at most this many characters.
constexpr int kMax_Code_W = 290;
// After this many names a multiple choice shows "...等".
constexpr int kShown_Names = 21;

std::string Cut_Narrow(const std::string& s, int max) {
  if (static_cast<int>(s.size()) <= max) return s;
  std::string out(static_cast<size_t>(max) + 1, '\0');
  Str_Copy_Limit(&out[0], max, s.c_str());
  out.resize(std::strlen(out.c_str()));
  return out;
}

// Codes joined by "," cut to max_len units without splitting a code.
template <class Str>
Str Join_Cut(const std::vector<Str>& codes, size_t max_len) {
  Str out;
  for (const Str& c : codes) {
    const size_t need = out.size() + (out.empty() ? 0 : 1) + c.size();
    if (need > max_len) break;
    if (!out.empty()) out += ',';
    out += c;
  }
  return out;
}

}  // namespace

// ---- building the list

int TComboBox_Ext::Clear_Data() {
  dict_time_stamp_ = -1;
  Items()->Clear();
  listed_ = 0;
  extra_row_ = -1;
  _Reset_Data_List();
  cur_code_.clear();
  Clear_Selection();
  return 1;
}

int TComboBox_Ext::_Build_Item() {
  // The control sorts its list itself, by name and then code, so that the visible items keep the
  // order of the records.
  if (Sorted()) {
    sorted_flag_ = 1;
    TComboBox::SetSorted(false);
  }
  if (sorted_flag_ == 1 && Item_Count() > 1) {
    items_->Set_Sort_Key(1, 0);
    items_->Add_Sort_Key(0, 0);
    items_->Sort();
    Index_Dirty();
  }
  const int rows = Item_Count();
  const int shown = dict_id_.empty() ? rows : std::min(rows, kMax_Dict_Items);
  QStringList names;
  names.reserve(shown);
  for (int r = 0; r < shown; ++r) names << QString::fromUtf16(Item_Name(r));
  AssignTexts(names);
  listed_ = shown;
  extra_row_ = -1;
  if (!multi_mode_ && !cur_code_.empty()) {
    const std::string code = cur_code_;
    Set_Code(code.c_str());
  }
  return 1;
}

TDict* TComboBox_Ext::Attached_Dict() const {
  return dict_id_.empty() ? nullptr : Dict_Client_List()->Get_Dict(dict_id_.c_str(), 0);
}

int TComboBox_Ext::_Append_Dict(TDict* dict) {
  if (!dict) return 0;
  auto guard = dict->Lock();
  DBDataMgr* src = dict->Data();
  if (src->Get_Field_Count() < 1) return 0;
  const bool has_name = src->Get_Field_Count() > 1;
  const int stop_field = src->Find_Field(u"stop_flag");
  // A dictionary of its own SQL without an exclusion rule stops only codes holding ",", which is
  // tested here anyway: its rule need not run row by row.
  const bool stop_rule = dict->Is_App_Dict() || (!dict->Ext_Col().empty() && !dict->Ext_Col_Val().empty());
  Append_Rows(src->Get_Row_Count(), [&](int r, const wchar16** code, const wchar16** name) {
    *code = src->Get_Row_Value(r, 0);
    if (stop_field >= 0 && std::u16string_view(src->Get_Row_Value(r, stop_field)) == u"Y") return false;
    if (!include_all_) {
      if (W_Chr(*code, u',')) return false;
      if (stop_rule && (src->Go_To_Row(r), dict->Is_Stop())) return false;
    }
    *name = has_name ? src->Get_Row_Value(r, 1) : u"";
    return true;
  });
  return 1;
}

int TComboBox_Ext::Attach_Dict(TDict* dict) {
  if (!dict) return 0;
  dict_id_ = Cut_Narrow(dict->Dict_Id(), 100);
  if (!dict_watched_ && !designing_) {
    dict_watched_ = true;
    Zem_Dict_Watch(this, [this](const std::string& id) { Follow_Dict_Change(id); });
  }
  _Reset_Data_List();
  _Append_Dict(dict);
  if (include_all_ && dict->Ext_Dict()) _Append_Dict(dict->Ext_Dict());
  _Build_Item();
  return 1;
}

int TComboBox_Ext::Attach_Dict(const char* dict_id, int include_all) {
  last_attach_ = ATTACH_FAILED;
  if (!dict_id || !*dict_id) return 0;
  const std::string id = Cut_Narrow(dict_id, 100);
  TDict* dict = Dict_Client_List()->Get_Dict(id.c_str(), 0);
  if (!dict || !dict->Is_Loaded()) dict = Dict_Client_List()->Get_Dict(id.c_str(), 1);
  // An unavailable dictionary (one whose load failed is kept, empty) leaves the box as it was.
  if (!dict || dict->Load_Failed()) return 0;
  last_attach_ = ATTACH_UNCHANGED;
  bool rebuild = id != dict_id_;
  if (include_all >= 0 && (include_all ? 1 : 0) != include_all_) {
    include_all_ = include_all ? 1 : 0;
    rebuild = true;
  }
  if (!rebuild && dict->Time_Stamp() == dict_time_stamp_) return 0;
  last_attach_ = ATTACH_REBUILT;
  const std::string keep = multi_mode_ ? std::string() : cur_code_;
  dict_time_stamp_ = dict->Time_Stamp();
  Attach_Dict(dict);
  if (!keep.empty()) Set_Code(keep.c_str());
  if (allow_empty_) Enable_Null();
  return 1;
}

void TComboBox_Ext::Follow_Dict_Change(const std::string& id) {
  if (dict_id_.empty() || (!id.empty() && id != dict_id_)) return;
  // While the clerk types into the box, the new list waits: rebuilt now, it would put the chosen
  // item's text over the typing. It follows once the typing is taken or the focus left.
  if (isEditable() && lineEdit() && lineEdit()->hasFocus() && lineEdit()->isModified()) {
    if (!dict_follow_waiting_) {
      dict_follow_waiting_ = true;
      QTimer::singleShot(kFollow_Again_Ms, this, [this, id] {
        dict_follow_waiting_ = false;
        Follow_Dict_Change(id);
      });
    }
    return;
  }
  const std::string chosen = multi_mode_ ? std::string(Get_Code()) : std::string();
  const std::string dict_id = dict_id_;
  Dict_Client_List()->Get_Dict(dict_id.c_str(), 1);  // reads the change when it was not read yet
  if (Attach_Dict(dict_id.c_str(), -1) && multi_mode_ && !chosen.empty()) {
    Set_Code(chosen.c_str());
    Multi_Show_Text();
  }
}

int TComboBox_Ext::Is_Dict_Time_Stamp_Changed(const char* dict_id) {
  TDict* dict = dict_id ? Dict_Client_List()->Get_Dict(dict_id, 0) : nullptr;
  return dict && dict->Is_Loaded() && dict->Time_Stamp() != dict_time_stamp_ ? 1 : 0;
}

int TComboBox_Ext::Try_To_Add_Dict_Code_To_List(map_wchar code) {
  TDict* dict = Attached_Dict();
  if (!dict || W_Is_Empty(code.c_str())) return 0;
  std::u16string name;
  if (!dict->Get_Name(code, &name) && !(dict->Ext_Dict() && dict->Ext_Dict()->Get_Name(code, &name)))
    return 0;
  Add_Item(map_char(code.c_str()), name.c_str());
  return 1;
}

int TComboBox_Ext::Reload_Dict() {
  if (dict_id_.empty()) return 0;
  const std::string id = dict_id_;
  Dict_Client_List()->Refresh_Dict(id.c_str());
  Attach_Dict(id.c_str(), -1);
  return 1;
}

int TComboBox_Ext::Attach_Dbio(TSQLCA* area) {
  if (!area) return 0;
  dict_id_.clear();
  dict_time_stamp_ = -1;
  _Reset_Data_List();
  Append_Dbio(area);
  Install_Handlers(false);
  SetColor(kSearch_Color);
  return 1;
}

int TComboBox_Ext::Append_Dbio(TSQLCA* area) {
  if (!area) return 0;
  DBDataMgr* src = area->Data();
  const bool has_name = src->Get_Field_Count() > 1;
  Append_Rows(src->Get_Row_Count(), [&](int r, const wchar16** code, const wchar16** name) {
    *code = src->Get_Row_Value(r, 0);
    *name = has_name ? src->Get_Row_Value(r, 1) : u"";
    return true;
  });
  _Build_Item();
  return 1;
}

int TComboBox_Ext::Search_Attach(const char* dict_id, int include_all) {
  const int r = Attach_Dict(dict_id, include_all);
  Install_Handlers(true);
  SetColor(kSearch_Color);
  return r;
}

int TComboBox_Ext::Multi_Attach(const char* dict_id, int /*include_all*/) {
  chosen_ = std::make_unique<TSQLCA>();
  chosen_->Set_Field_Count(1);
  chosen_->Set_Field_Name(0, u"code");
  multi_mode_ = 1;
  SetText(QString());
  SetHint(Hint().section(u':', 0, 0));
  const int f = dict_id && *dict_id && std::strstr(kMulti_Plain_Dicts, dict_id) ? 0 : 1;
  const int r = Search_Attach(dict_id, f);
  SetColor(kMulti_Color);
  return r;
}

// ---- setting codes

void TComboBox_Ext::Clear_Selection() {
  Drop_Extra_Item();
  SetItemIndex(-1);
  // A drop-down list with no item chosen is empty; setting its text "" would choose an entry whose
  // name is empty.
  if (Style() != csDropDownList) SetText(QString());
}

void TComboBox_Ext::Select_Row(int row) {
  if (row < listed_) {
    Drop_Extra_Item();
    SetItemIndex(row);
  } else if (Style() != csDropDownList) {
    SetItemIndex(-1);  // the text shows the name
  } else {
    if (extra_row_ != row) {
      Drop_Extra_Item();
      Items()->Add(QString::fromUtf16(Item_Name(row)));
      extra_row_ = row;
    }
    SetItemIndex(listed_);
  }
}

void TComboBox_Ext::Drop_Extra_Item() {
  if (extra_row_ < 0) return;
  extra_row_ = -1;
  if (Items()->Count() > listed_) Items()->Delete(listed_);
}

int TComboBox_Ext::Row_Of_Item(int i) const {
  if (i >= 0 && i < listed_) return i;
  return i == listed_ && extra_row_ >= 0 ? extra_row_ : -1;
}

void TComboBox_Ext::Set_Cur_Code(const wchar16* code) {
  cur_code_ = Cut_Narrow(Combo_Narrow(code), kCode_Max);
}

int TComboBox_Ext::Set_Single_Code(const wchar16* code, bool dict_fallback) {
  cur_code_.clear();
  if (W_Is_Empty(code)) {
    Clear_Selection();
    return 0;
  }
  int row = Find_Code(code);
  if (row < 0 && dict_fallback && Try_To_Add_Dict_Code_To_List(code)) row = Find_Code(code);
  if (row < 0) {
    Clear_Selection();
    return 0;
  }
  Set_Cur_Code(code);
  if (Style() != csSimple) Select_Row(row);
  SetText(QString::fromUtf16(Item_Name(row)));
  return 1;
}

int TComboBox_Ext::Find_Code_Multi(const wchar16* code, bool* reattached) {
  int row = Find_Code(code);
  if (row < 0 && Try_To_Add_Dict_Code_To_List(code)) row = Find_Code(code);
  // Re-attached, not reloaded: the list catches up with a dictionary that changed since it was built.
  if (row < 0 && !*reattached && Attached_Dict()) {
    *reattached = true;
    const std::string id = dict_id_;
    Attach_Dict(id.c_str(), -1);
    row = Find_Code(code);
  }
  return row;
}

int TComboBox_Ext::Set_Code(map_char code) {
  if (!multi_mode_) return Set_Single_Code(map_wchar(code.c_str()).c_str(), true);
  chosen_->Clear_Data();
  // The text is a list: blanks and line breaks are dropped, each code keeps 80 characters.
  std::u16string text(map_wchar(code.c_str()).c_str());
  text.erase(std::remove_if(text.begin(), text.end(),
                            [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }),
             text.end());
  bool reattached = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(u',', start);
    if (end == std::u16string::npos) end = text.size();
    const std::u16string one = text.substr(start, std::min(end - start, kList_Code_Max));
    start = end + 1;
    if (one.empty() || Find_Code_Multi(one.c_str(), &reattached) < 0) continue;
    bool dup = false;
    for (int i = 0; i < chosen_->Get_Row_Count() && !dup; ++i)
      dup = std::u16string_view(chosen_->Get_Row_Value(i, 0)) == one;
    if (dup) continue;
    chosen_->Add_Row();
    chosen_->Set_Value(0, one.c_str());
  }
  Multi_Show_Text();
  return chosen_->Get_Row_Count() > 0 ? 1 : 0;
}

int TComboBox_Ext::Set_Code(TSQLCA* area) {
  if (!area) return 0;
  DBDataMgr* src = area->Data();
  if (!multi_mode_) {
    cur_code_.clear();
    Clear_Selection();
    if (src->Get_Row_Count() == 0) return 0;
    return Set_Single_Code(src->Get_Row_Value(0, 0), false);
  }
  bool missing = false;
  for (int r = 0; r < src->Get_Row_Count() && !missing; ++r) {
    const wchar16* c = src->Get_Row_Value(r, 0);
    missing = !W_Is_Empty(c) && Find_Code(c) < 0;
  }
  if (missing) Reload_Dict();
  chosen_->Clear_Data();
  for (int r = 0; r < src->Get_Row_Count(); ++r) {
    const wchar16* c = src->Get_Row_Value(r, 0);
    if (W_Is_Empty(c) || Find_Code(c) < 0) continue;
    chosen_->Add_Row();
    chosen_->Set_Value(0, c);
  }
  Multi_Show_Text();
  return 1;
}

int TComboBox_Ext::Set_Default_Code(map_char code) {
  if (!multi_mode_) {
    const int r = Set_Code(code);
    if (!r) Clear_Selection();
    return r;
  }
  chosen_->Clear_Data();
  map_wchar w(code.c_str());
  bool reattached = false;
  int r = 0;
  if (!W_Is_Empty(w.c_str()) && Find_Code_Multi(w.c_str(), &reattached) >= 0) {
    chosen_->Add_Row();
    chosen_->Set_Value(0, w.c_str());
    r = 1;
  }
  Multi_Show_Text();
  return r;
}

int TComboBox_Ext::Set_Info(map_char code, map_wchar name) {
  if (multi_mode_ && Find_Code(map_wchar(code.c_str()).c_str()) >= 0) {
    chosen_->Clear_Data();
    chosen_->Add_Row();
    chosen_->Set_Value(0, map_wchar(code.c_str()).c_str());
  }
  if (Set_Default_Code(code)) return 1;
  if (!*code.c_str()) return 0;
  Add_Item(code, name);
  return Set_Default_Code(code);
}

// ---- reading codes

int TComboBox_Ext::Check_Valid() {
  if (Style() == csDropDownList) {
    const int row = Row_Of_Item(ItemIndex());
    cur_code_.clear();
    if (row >= 0 && row < Item_Count()) Set_Cur_Code(Item_Code(row));
    return cur_code_.empty() ? 0 : 1;
  }
  const QString text = Text();
  if (text.isEmpty()) {
    cur_code_.clear();
    if (multi_mode_) chosen_->Clear_Data();
    return 0;
  }
  if (!cur_code_.empty()) {
    const int row = Find_Code(map_wchar(cur_code_.c_str()).c_str());
    if (row >= 0 && QString::fromUtf16(Item_Name(row)) == text) return 1;
  }
  cur_code_.clear();
  const map_wchar typed(text.trimmed());
  int row = Find_Code(typed.c_str());
  if (row >= 0) {
    Set_Cur_Code(Item_Code(row));
    SetText(QString::fromUtf16(Item_Name(row)));
    return 1;
  }
  row = Find_Name(typed.c_str());
  if (row < 0) return 0;
  Set_Cur_Code(Item_Code(row));
  return 1;
}

std::vector<std::u16string> TComboBox_Ext::Code_List(int first_only) {
  std::vector<std::u16string> codes;
  if (multi_mode_) {
    for (int r = 0; r < chosen_->Get_Row_Count(); ++r) {
      const wchar16* c = chosen_->Get_Row_Value(r, 0);
      if (W_Is_Empty(c)) continue;
      codes.emplace_back(c);
      if (first_only) break;
    }
    return codes;
  }
  Check_Valid();
  if (!cur_code_.empty()) codes.emplace_back(map_wchar(cur_code_.c_str()).c_str());
  return codes;
}

const char* TComboBox_Ext::Get_Code(char* buf, int first_only) {
  if (buf) {
    const int need = Copy_Code(buf, kCode_Buffer, first_only);
    if (static_cast<size_t>(need) >= kCode_Buffer)
      Log_Printf("Get_Code: the codes chosen (%d bytes) were cut to the %zu bytes of a buffer without a size\n",
                 need, kCode_Buffer - 1);
    return buf;
  }
  std::string joined;
  for (const std::u16string& c : Code_List(first_only)) {
    if (!joined.empty()) joined += ',';
    joined += Combo_Narrow(c.c_str());
  }
  g_code_text = joined;
  return g_code_text.c_str();
}

const wchar16* TComboBox_Ext::Get_Code(wchar16* buf, int first_only) {
  if (buf) {
    const int need = Copy_Code(buf, kCode_Buffer, first_only);
    if (static_cast<size_t>(need) >= kCode_Buffer)
      Log_Printf("Get_Code: the codes chosen (%d characters) were cut to the %zu characters of a buffer "
                 "without a size\n", need, kCode_Buffer - 1);
    return buf;
  }
  std::u16string joined;
  for (const std::u16string& c : Code_List(first_only)) {
    if (!joined.empty()) joined += u',';
    joined += c;
  }
  g_code_text_w = joined;
  return g_code_text_w.c_str();
}

int TComboBox_Ext::Copy_Code(char* buf, size_t size, int first_only) {
  std::vector<std::string> codes;
  size_t need = 0;
  for (const std::u16string& c : Code_List(first_only)) {
    codes.push_back(Combo_Narrow(c.c_str()));
    need += (need ? 1 : 0) + codes.back().size();
  }
  if (buf && size > 0) {
    const std::string out = Join_Cut(codes, size - 1);
    std::memcpy(buf, out.c_str(), out.size() + 1);
  }
  return static_cast<int>(std::min<size_t>(need, INT_MAX));
}

int TComboBox_Ext::Copy_Code(wchar16* buf, size_t size, int first_only) {
  const std::vector<std::u16string> codes = Code_List(first_only);
  size_t need = 0;
  for (const std::u16string& c : codes) need += (need ? 1 : 0) + c.size();
  if (buf && size > 0) {
    const std::u16string out = Join_Cut(codes, size - 1);
    std::memcpy(buf, out.c_str(), (out.size() + 1) * sizeof(wchar16));
  }
  return static_cast<int>(std::min<size_t>(need, INT_MAX));
}

char* TComboBox_Ext::Get_Max_Code(char* buf, int max_len) {
  std::vector<std::string> codes;
  for (const std::u16string& c : Code_List(0)) codes.push_back(Combo_Narrow(c.c_str()));
  const std::string out = Join_Cut(codes, static_cast<size_t>(std::max(max_len, 0)));
  if (!buf) {
    g_code_text = out;
    return &g_code_text[0];
  }
  std::memcpy(buf, out.c_str(), out.size() + 1);
  return buf;
}

wchar16* TComboBox_Ext::Get_Max_Code(wchar16* buf, int max_len) {
  const std::u16string out = Join_Cut(Code_List(0), static_cast<size_t>(std::clamp(max_len, 0, kMax_Code_W)));
  if (!buf) {
    g_code_text_w = out;
    return &g_code_text_w[0];
  }
  std::memcpy(buf, out.c_str(), (out.size() + 1) * sizeof(wchar16));
  return buf;
}

int TComboBox_Ext::Get_Code(TSQLCA* area) {
  if (!area) return 0;
  area->CFree();
  area->Set_Field_Count(1);
  area->Set_Field_Name(0, u"code");
  std::vector<std::u16string> codes = Code_List(0);
  if (multi_mode_ && codes.empty()) {
    Check_Valid();
    if (!cur_code_.empty()) codes.emplace_back(map_wchar(cur_code_.c_str()).c_str());
  }
  for (const std::u16string& c : codes) {
    area->Add_Row();
    area->Set_Value(0, c.c_str());
  }
  return 1;
}

int TComboBox_Ext::Get_Code_Array(Array_Str* list) {
  if (!list) return 0;
  list->Free_All();
  TSQLCA area;
  Get_Code(&area);
  for (int r = 0; r < area.Get_Row_Count(); ++r) list->Add(map_char(area.Get_Row_Value(r, 0)).c_str());
  return 1;
}

int TComboBox_Ext::Contain_Code(map_char code) {
  return Find_Code(map_wchar(code.c_str()).c_str()) >= 0 ? 1 : 0;
}

int TComboBox_Ext::Have_Choice() {
  if (Text().isEmpty()) return 0;
  if (multi_mode_) return chosen_->Get_Row_Count() > 0 ? 1 : 0;
  return ItemIndex() >= 0 || !cur_code_.empty() ? 1 : 0;
}

// ---- what a multiple choice shows, and the condition it makes

int TComboBox_Ext::Multi_Show_Text() {
  if (!multi_mode_) return 0;
  QString text;
  const int count = chosen_->Get_Row_Count();
  int names = 0;
  for (int i = 0; i < count; ++i) {
    const wchar16* code = chosen_->Get_Row_Value(i, 0);
    int row = Find_Code(code);
    if (row < 0 && Try_To_Add_Dict_Code_To_List(code)) row = Find_Code(code);
    if (row < 0) continue;
    if (!text.isEmpty()) text += u',';
    text += QString::fromUtf16(Item_Name(row));
    if (++names == kShown_Names && i + 1 < count) {
      text += QString::fromUtf16(u"...等");
      break;
    }
  }
  SetText(text);
  Show_Choice_Hint(text);
  return 1;
}

void TComboBox_Ext::Show_Choice_Hint(const QString& shown) {
  // The hint keeps what the host wrote before its first ":" and shows the whole choice after it.
  const QString prefix = Hint().section(u':', 0, 0);
  SetHint(shown.isEmpty() ? prefix : prefix + u':' + shown);
  SetShowHint(true);
}

const char* TComboBox_Ext::Build_Limit(int max_len) {
  if (!multi_mode_ || chosen_->Get_Row_Count() == 0) {
    Check_Valid();
    g_limit = " = '" + Sql_Quote(cur_code_.c_str()) + "'";
    return g_limit.c_str();
  }
  std::string list = "in (";
  for (int i = 0; i < chosen_->Get_Row_Count(); ++i) {
    if (i) list += ',';
    list += "'" + Sql_Quote(Combo_Narrow(chosen_->Get_Row_Value(i, 0)).c_str()) + "'";
  }
  list += " ) ";
  g_limit = list;
  // A list too long for the statement goes to the server as a temporary key set. When no set can be
  // made, the condition stays the literal list (set 0 would select nothing without a word).
  if (static_cast<int>(list.size()) > max_len) {
    const int set_id = Key_Set_Create(chosen_.get(), 0);
    if (set_id != 0)
      g_limit = Key_Set_In_Cond(set_id);
    else
      Log_Printf("Build_Limit: the condition lists the %d codes chosen itself\n", chosen_->Get_Row_Count());
  }
  return g_limit.c_str();
}

// ---- Qt forms ---------------------------------------------------------------------------------------

int TComboBox_Ext::Attach_Dict(const QString& dict_id, int include_all) {
  return Attach_Dict(map_char(dict_id).c_str(), include_all);
}

int TComboBox_Ext::Search_Attach(const QString& dict_id, int include_all) {
  return Search_Attach(map_char(dict_id).c_str(), include_all);
}

int TComboBox_Ext::Multi_Attach(const QString& dict_id, int include_all) {
  return Multi_Attach(map_char(dict_id).c_str(), include_all);
}

QString TComboBox_Ext::code() { return codes().join(u','); }

QStringList TComboBox_Ext::codes() {
  QStringList out;
  for (const std::u16string& c : Code_List(0)) out << QString::fromStdU16String(c);
  return out;
}
