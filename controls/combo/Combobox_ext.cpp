// The Combobox_ext unit: construction, the item list's code index, the published properties and the
// unit's hooks. The list and code operations are in combo_items.cpp, typing and choosing in
// combo_input.cpp.
#include "controls/combo/Combobox_ext.h"

#include <QWheelEvent>
#include <cstring>

#include "controls/combo/combo_util.h"
#include "core/data/sqlca.h"

namespace {
TComboBox_Ext* g_hovered = nullptr;  // the box the mouse last entered; user-interface thread only
}  // namespace

TComboBox_Ext::TComboBox_Ext(QWidget* parent)
    : TComboBox(Zem_Startup_Parent(parent)),
      items_(std::make_unique<TSQLCA>()),
      index_(std::make_unique<Code_Index>()) {
  _Reset_Data_List();
  OnDblClick = [this](TObject* s) { Handle_On_DblClick(s); };
  OnDropDown = [this](TObject* s) { Handle_On_DropDown(s); };
  OnCloseUp = [this](TObject* s) { Handle_On_CloseUp(s); };
  OnMouseEnter = [this](TObject* s) { Handle_On_MouseEnter(s); };
}

TComboBox_Ext::~TComboBox_Ext() {
  if (g_hovered == this) g_hovered = nullptr;
  // Qt's teardown may still move the focus or close the list: nothing may call back into this box.
  OnChange = nullptr;
  OnExit = nullptr;
  OnEnter = nullptr;
  OnSelect = nullptr;
  OnCloseUp = nullptr;
  OnDropDown = nullptr;
  OnKeyPress = nullptr;
  OnKeyDown = nullptr;
  OnKeyUp = nullptr;
  OnMouseEnter = nullptr;
}

TComboBox_Ext* TComboBox_Ext::Hovered() { return g_hovered; }
void TComboBox_Ext::Set_Hovered(TComboBox_Ext* box) { g_hovered = box; }

// ---- the item list and its index

const wchar16* TComboBox_Ext::Item_Code(int row) const { return items_->Data()->Get_Row_Value(row, 0); }
const wchar16* TComboBox_Ext::Item_Name(int row) const { return items_->Data()->Get_Row_Value(row, 1); }
int TComboBox_Ext::Item_Count() const { return items_->Data()->Get_Row_Count(); }

void TComboBox_Ext::Index_Dirty() { index_->Invalidate(); }

int TComboBox_Ext::Find_Code(const wchar16* code) {
  if (!code) code = u"";
  DBDataMgr* d = items_->Data();
  index_->Reserve(d, static_cast<size_t>(d->Get_Row_Count()));
  const size_t len = Code_Index::Len(code);
  size_t at = 0;
  return index_->Probe(d, code, len, Code_Index::Hash(code, len), &at);
}

bool TComboBox_Ext::Append_Item(const wchar16* code, const wchar16* name) {
  const int rows = Item_Count();
  Append_Rows(1, [&](int, const wchar16** c, const wchar16** n) {
    *c = code;
    *n = name;
    return true;
  });
  return Item_Count() != rows;
}

int TComboBox_Ext::Find_Name(const wchar16* name) const {
  if (!name) name = u"";
  const int n = Item_Count();
  for (int r = 0; r < n; ++r)
    if (std::u16string_view(Item_Name(r)) == std::u16string_view(name)) return r;
  return -1;
}

int TComboBox_Ext::_Reset_Data_List() {
  items_->CFree();
  items_->Set_Field_Count(2);
  items_->Set_Field_Name(0, u"code");
  items_->Set_Field_Name(1, u"name");
  items_->Set_Field_Type(0, 'S');
  items_->Set_Field_Type(1, 'S');
  Index_Dirty();
  return 1;
}

int TComboBox_Ext::_Add_Item(map_char code, map_wchar name) {
  Append_Item(map_wchar(code.c_str()).c_str(), name.c_str());
  return 1;
}

int TComboBox_Ext::_Del_Item(map_char code) {
  const int row = Find_Code(map_wchar(code.c_str()).c_str());
  if (row < 0) return 0;
  items_->Go_To_Row(row);
  items_->Del_Row();
  Index_Dirty();
  return 1;
}

int TComboBox_Ext::Add_Item(map_char code, map_wchar name) {
  const int rows = Item_Count();
  _Add_Item(code, name);
  if (Item_Count() != rows) _Build_Item();
  return 1;
}

int TComboBox_Ext::Del_Item(map_char code) {
  if (!_Del_Item(code)) return 0;
  _Build_Item();
  return 1;
}

int TComboBox_Ext::Enable_Null() {
  if (Find_Code(u"") < 0) Add_Item("", u"");
  return 1;
}

// ---- published properties and the form's first show

QString TComboBox_Ext::Dict_Id_Property() const {
  return dict_id_.empty() ? form_dict_id_ : Combo_Q(dict_id_.c_str());
}

void TComboBox_Ext::Set_Dict_Id_Property(const QString& id) {
  form_dict_id_ = id;
  if (IsLoaded()) Loaded();
}

void TComboBox_Ext::Set_Multi_Mode_Property(bool on) {
  form_multi_ = on;
  if (designing_ && IsLoaded()) Loaded();
}

void TComboBox_Ext::Set_Designing(bool on) {
  designing_ = on;
  if (IsLoaded()) Loaded();
}

void TComboBox_Ext::Set_Style_Property(Box_Style s) {
  if (static_cast<int>(s) < csDropDown || static_cast<int>(s) > csDropDownList) return;
  SetStyle(static_cast<TComboBoxStyle>(s));
}

void TComboBox_Ext::Loaded() {
  TComboBox::Loaded();
  if (designing_) {
    // The look of the run-time box, without its list.
    SetColor(form_dict_id_.isEmpty() ? clWindow : form_multi_ ? kMulti_Color : kSearch_Color);
    return;
  }
  // A box the host attached in code keeps its source.
  if (form_dict_id_.isEmpty() || !dict_id_.empty()) return;
  const std::string id = Combo_Narrow(form_dict_id_);
  if (form_multi_) {
    Multi_Attach(id.c_str(), include_all_);
  } else {
    Search_Attach(id.c_str(), include_all_);
  }
}

void TComboBox_Ext::SetSorted(bool on) {
  TComboBox::SetSorted(false);
  const bool sort_now = on && sorted_flag_ != 1;
  sorted_flag_ = on ? 1 : -1;
  if (sort_now) _Build_Item();
}

void TComboBox_Ext::wheelEvent(QWheelEvent* e) { e->accept(); }

// ---- the unit

namespace {
void* Create_TComboBox_Ext(void* parent) { return new TComboBox_Ext(static_cast<QWidget*>(parent)); }
}  // namespace

void Combobox_ext_Register() { RegisterComponents(kZem_Palette_Page, "TComboBox_Ext", Create_TComboBox_Ext); }

static Zem_Unit_Registrar g_combobox_ext_unit("Combobox_ext", nullptr, nullptr, Combobox_ext_Register);
