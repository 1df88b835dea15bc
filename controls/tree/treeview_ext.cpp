// TTreeView_Ext: code list, filling from a query area, selected items on blue; the unit's registration.
#include "controls/tree/Treeview_ext.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>

#include "controls/common/dict_watch.h"
#include "core/data/sqlca.h"
#include "core/text/map_str.h"
#include "dict/dict.h"
#include "dict/dict_mgr.h"

namespace {

// Whether a node of code `outer` holds a node of code `inner`: outer is shorter, not empty, and occurs
// in inner.
bool Nests(const char* outer, const std::string& inner) {
  const size_t n = std::strlen(outer);
  return n > 0 && n < inner.size() && inner.find(outer) != std::string::npos;
}

}  // namespace

TTreeView_Ext::TTreeView_Ext(QWidget* parent) : TTreeView(Zem_Startup_Parent(parent)) {
  OnCustomDrawItem = [this](TTreeView* s, TTreeNode* n, TCustomDrawState st, const TRect& r, bool& d) {
    MTreeView_DrawItem(s, n, st, r, d);
  };
  // The view paints the selected row's branch area (left of the item) in the palette's highlight: the
  // same blue, so that the row reads as one, with the focus or without.
  QPalette p = palette();
  for (auto group : {QPalette::Active, QPalette::Inactive})
    p.setColor(group, QPalette::Highlight, toQColor(kSelected_Color));
  setPalette(p);
}

TTreeView_Ext::~TTreeView_Ext() { FreeCode(); }

TTreeNode* TTreeView_Ext::AddItem(TTreeNode* parent, const char* code, const char16_t* text) {
  const char* c = code ? code : "";
  const size_t n = std::strlen(c);
  char* copy = static_cast<char*>(std::malloc(n + 1));
  if (!copy) return nullptr;
  std::memcpy(copy, c, n + 1);
  codes_.push_back(copy);
  return Items()->AddChildObject(parent, text ? text : u"", -1, copy);
}

TTreeNode* TTreeView_Ext::AddItem(TTreeNode* parent, const char* code, const char* text) {
  map_wchar wide(text);
  return AddItem(parent, code, wide.c_str());
}

const char* TTreeView_Ext::GetCode() const {
  TTreeNode* s = Selected();
  return s ? static_cast<const char*>(s->Data()) : nullptr;
}

int TTreeView_Ext::FreeCode() {
  const int n = Code_Count();
  if (n == 0) return 0;
  const std::unordered_set<const void*> mine(codes_.begin(), codes_.end());
  for (TTreeNode* node = Items()->GetFirstNode(); node; node = node->GetNext())
    if (mine.count(node->Data())) node->SetData(nullptr);
  for (char* c : codes_) std::free(c);
  codes_.clear();
  codes_.shrink_to_fit();
  return n;
}

int TTreeView_Ext::AttachTreeDict(TSQLCA* data) {
  if (!data) return 0;
  if (auto* dict = dynamic_cast<TDict*>(data)) {
    if (!dict->Dict_Id().empty() && Dict_Client_List()->Get_Dict(dict->Dict_Id().c_str(), 0) == dict)
      return Attach_Dict(dict->Dict_Id().c_str());
    auto lock = dict->Lock();
    return Fill(data);
  }
  return Fill(data);
}

int TTreeView_Ext::Attach_Dict(const char* dict_id) {
  TDict* dict = dict_id && *dict_id ? Dict_Client_List()->Get_Dict(dict_id, 1) : nullptr;
  if (!dict) return 0;
  dict_id_ = dict_id;
  if (!dict_watched_) {
    dict_watched_ = true;
    Zem_Dict_Watch(this, [this](const std::string& id) { Follow_Dict_Change(id); });
  }
  auto lock = dict->Lock();
  return Fill(dict);
}

void TTreeView_Ext::Follow_Dict_Change(const std::string& id) {
  if (dict_id_.empty() || (!id.empty() && id != dict_id_)) return;
  TDict* dict = Dict_Client_List()->Get_Dict(dict_id_.c_str(), 1);
  if (!dict || dict->Load_Failed()) return;  // what is shown stays until the dictionary can be read
  std::unordered_set<std::string> expanded;
  for (TTreeNode* n = Items()->GetFirstNode(); n; n = n->GetNext())
    if (n->Expanded() && n->Data()) expanded.insert(static_cast<const char*>(n->Data()));
  const std::string selected = GetCode() ? GetCode() : "";
  const TTVChangedEvent on_change = OnChange;
  OnChange = nullptr;  // the nodes go and come back: nothing the user chose
  Items()->Clear();
  FreeCode();
  {
    auto lock = dict->Lock();
    Fill(dict);
  }
  TTreeNode* again = nullptr;
  for (TTreeNode* n = Items()->GetFirstNode(); n; n = n->GetNext()) {
    const char* code = static_cast<const char*>(n->Data());
    if (!code) continue;
    if (n->HasChildren() && expanded.count(code)) n->SetExpanded(true);
    if (!again && !selected.empty() && selected == code) again = n;
  }
  if (again) SetSelected(again);
  OnChange = on_change;
  if (!selected.empty() && !again && OnChange) OnChange(this, Selected());
}

int TTreeView_Ext::Fill(TSQLCA* data) {
  Items()->BeginUpdate();
  TTreeNode* prev = nullptr;
  char code[kCode_Max + 1];
  std::u16string name;
  for (int r = 0; r < data->Get_Row_Count(); ++r) {
    tu2c narrow;
    Str_Copy_Limit(code, kCode_Max, narrow = data->Get_Row_Value(r, 0));
    name.assign(data->Get_Row_Value(r, 1));
    if (name.size() > kName_Max) {
      // Never half a surrogate pair.
      size_t keep = kName_Max;
      if (name[keep - 1] >= 0xD800 && name[keep - 1] <= 0xDBFF) --keep;
      name.resize(keep);
    }
    const std::string key(code);
    TTreeNode* parent = prev;
    while (parent && !Nests(static_cast<const char*>(parent->Data() ? parent->Data() : ""), key))
      parent = parent->Parent();
    prev = AddItem(parent, code, name.c_str());
  }
  Items()->EndUpdate();
  return 1;
}

void TTreeView_Ext::MTreeView_DrawItem(TTreeView*, TTreeNode*, TCustomDrawState state, const TRect&, bool&) {
  if (HideSelection()) SetHideSelection(false);
  if (state & cdsSelected) {
    Canvas()->Brush->Style = bsSolid;
    Canvas()->Brush->Color = kSelected_Color;
  }
}

namespace {
void* Create_TTreeView_Ext(void* parent) { return new TTreeView_Ext(static_cast<QWidget*>(parent)); }
}  // namespace

void Treeview_ext_Register() { RegisterComponents(kZem_Palette_Page, "TTreeView_Ext", Create_TTreeView_Ext); }

// The unit's static objects are none; its initialization only counts (the unit table does).
static Zem_Unit_Registrar g_treeview_ext_unit("Treeview_ext", nullptr, nullptr, Treeview_ext_Register);

// ---- Qt forms ---------------------------------------------------------------------------------------

TTreeNode* TTreeView_Ext::AddItem(TTreeNode* parent, const QString& code, const QString& text) {
  return AddItem(parent, map_char(code).c_str(), reinterpret_cast<const char16_t*>(text.utf16()));
}

int TTreeView_Ext::Attach_Dict(const QString& dict_id) { return Attach_Dict(map_char(dict_id).c_str()); }

QString TTreeView_Ext::selectedCode() const {
  const char* c = GetCode();
  return c ? QString::fromUtf16(map_wchar(c).c_str()) : QString();
}
