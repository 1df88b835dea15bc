// MTreeView: construction, node data, node operations and the show-codes switch; the unit's palette
// registration.
#include <QKeyEvent>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "controls/tree/Mtreeview.h"
#include "core/text/code_page.h"
#include "core/text/map_str.h"

namespace {

constexpr int kData_Block = 1024;

int Len(const char* s) { return s ? static_cast<int>(std::strlen(s)) : 0; }

int Wide_Len(const char16_t* s) { return s ? static_cast<int>(std::char_traits<char16_t>::length(s)) : 0; }

// The code as wide text appended to out (system code page).
void Append_Wide(std::u16string* out, const char* code, int len) {
  if (len <= 0) return;
  const size_t at = out->size();
  out->resize(at + static_cast<size_t>(len));  // n narrow bytes never give more than n code units
  const int n = Zem_MB_To_W(ZEM_CP_SYSTEM, code, len, &(*out)[at], len);
  out->resize(at + static_cast<size_t>(n > 0 ? n : 0));
}

}  // namespace

MTreeView::MTreeView(QWidget* parent) : TTreeView(Zem_Startup_Parent(parent)) {
  OnCustomDraw = [this](TTreeView* s, const TRect& r, bool& d) { MTreeView_CustomDraw(s, r, d); };
}

MTreeView::~MTreeView() {
  // The nodes go while this control is whole, so that their data is released here.
  Items()->Clear();
  for (auto& block : data_blocks_)
    for (int i = 0; i < kData_Block; ++i) {
      TN_Node_Data& d = block[i];
      if (d.code_len >= static_cast<int>(sizeof d.inline_code)) std::free(d.heap_code);
    }
}

// ---- node data

TN_Node_Data* MTreeView::New_Data(int type, const char* code, int len) {
  TN_Node_Data* d;
  if (data_free_) {
    d = data_free_;
    data_free_ = reinterpret_cast<TN_Node_Data*>(d->heap_code);
  } else {
    if (data_blocks_.empty() || data_used_ == kData_Block) {
      data_blocks_.push_back(std::make_unique<TN_Node_Data[]>(kData_Block));
      data_used_ = 0;
    }
    d = &data_blocks_.back()[data_used_++];
  }
  d->type = type;
  d->code_len = 0;
  d->inline_code[0] = 0;
  Set_Code(d, code, len);
  return d;
}

void MTreeView::Set_Code(TN_Node_Data* d, const char* code, int len) {
  // The new code may be the node's own code or a part of it (TN_Update(n, TN_Code(n), ...)): it is
  // copied before the old one goes.
  char* old_heap = d->code_len >= static_cast<int>(sizeof d->inline_code) ? d->heap_code : nullptr;
  char* to = d->inline_code;
  if (len >= static_cast<int>(sizeof d->inline_code)) {
    to = static_cast<char*>(std::malloc(static_cast<size_t>(len) + 1));
    if (!to) throw std::bad_alloc();
  }
  if (len > 0) std::memmove(to, code, static_cast<size_t>(len));
  to[len] = 0;
  if (to != d->inline_code) d->heap_code = to;
  d->code_len = len;
  std::free(old_heap);
}

TN_Node_Data* MTreeView::Data_Of(TTreeNode* node) const {
  return node ? static_cast<TN_Node_Data*>(node->Data()) : nullptr;
}

void MTreeView::TN_Free(TTreeNode* node) {
  TN_Node_Data* d = Data_Of(node);
  if (!d) return;
  node->SetData(nullptr);
  if (d->code_len >= static_cast<int>(sizeof d->inline_code)) std::free(d->heap_code);
  d->code_len = 0;
  d->heap_code = reinterpret_cast<char*>(data_free_);
  data_free_ = d;
}

void MTreeView::DoDeletion(TTreeNode* node) {
  TTreeView::DoDeletion(node);
  TN_Free(node);
  // A dictionary attach goes with its node, and with any top node it made: the host changed the
  // branch, which is then no longer the dictionary's to replace.
  if (!refreshing_ && !attaches_.empty()) {
    attaches_.erase(std::remove_if(attaches_.begin(), attaches_.end(),
                                   [node](const Dict_Attach& a) {
                                     return (a.node && a.node == node) ||
                                            std::find(a.made.begin(), a.made.end(), node) != a.made.end();
                                   }),
                    attaches_.end());
  }
}

// ---- nodes

void MTreeView::Make_Text(const char* code, int code_len, const char16_t* caption, int caption_len) {
  text_.clear();
  if (with_code_ && code_len > 0) {
    Append_Wide(&text_, code, code_len);
    text_.push_back(u' ');
  }
  text_.append(caption, static_cast<size_t>(caption_len));
}

TTreeNode* MTreeView::Add_Node(TTreeNode* parent, int type, const char* code, int code_len,
                               const char16_t* caption, int caption_len) {
  TN_Node_Data* d = New_Data(type, code, code_len);
  Make_Text(code, code_len, caption, caption_len);
  TTreeNode* n = Items()->AddChildObject(parent, text_.data(), static_cast<int>(text_.size()), d);
  if (OnShowRowNum) OnShowRowNum(this);
  return n;
}

TTreeNode* MTreeView::TN_Add(TTreeNode* parent, int type, const char* code, map_wchar caption) {
  return Add_Node(parent, type, code, Len(code), caption.c_str(), Wide_Len(caption.c_str()));
}

int MTreeView::TN_Update(TTreeNode* node, const char* code, map_wchar caption) {
  TN_Node_Data* d = Data_Of(node);
  if (!d) return 0;
  std::u16string kept;
  const char16_t* cap = caption.c_str();
  int cap_len = Wide_Len(cap);
  if (cap_len == 0) {
    // The present caption: the whole text, or what follows the code and its blank.
    kept.assign(node->TextData(), static_cast<size_t>(node->TextLength()));
    if (with_code_ && d->code_len > 0) {
      const size_t blank = kept.find(u' ');
      kept.erase(0, blank == std::u16string::npos ? kept.size() : blank + 1);
    }
    cap = kept.data();
    cap_len = static_cast<int>(kept.size());
  }
  Set_Code(d, code, Len(code));
  Make_Text(d->Code(), d->code_len, cap, cap_len);
  node->SetText(text_.data(), static_cast<int>(text_.size()));
  return 1;
}

TTreeNode* MTreeView::TN_Get(int type, const char* code) {
  for (TTreeNode* n = Items()->GetFirstNode(); n; n = n->GetNext()) {
    TN_Node_Data* d = Data_Of(n);
    if (d && d->type == type && (!code || std::strcmp(d->Code(), code) == 0)) return n;
  }
  return nullptr;
}

TTreeNode* MTreeView::TN_Get_Head_Mode(int type, const char* text) {
  TTreeNode* best = nullptr;
  const char* best_code = nullptr;
  for (TTreeNode* n = Items()->GetFirstNode(); n; n = n->GetNext()) {
    TN_Node_Data* d = Data_Of(n);
    if (!d || d->type != type) continue;
    if (!text) return n;
    if (std::strncmp(text, d->Code(), static_cast<size_t>(d->code_len)) != 0) continue;
    if (!best || std::strcmp(d->Code(), best_code) >= 0) {
      best = n;
      best_code = d->Code();
    }
  }
  return best;
}

const char* MTreeView::TN_Code(TTreeNode* node) const {
  TN_Node_Data* d = Data_Of(node);
  return d ? d->Code() : "";
}

int MTreeView::TN_Type(TTreeNode* node) const {
  TN_Node_Data* d = Data_Of(node);
  return d ? d->type : 0;
}

void MTreeView::TN_Set_Image(int type, int image, int selected_image) {
  Items()->BeginUpdate();
  for (TTreeNode* n = Items()->GetFirstNode(); n; n = n->GetNext()) {
    if (type != -1 && TN_Type(n) != type) continue;
    n->SetImageIndex(image);
    n->SetSelectedIndex(selected_image);
  }
  Items()->EndUpdate();
}

// ---- show codes

void MTreeView::Set_Caption_With_Code(bool on) {
  if (on == with_code_) return;
  with_code_ = on;
  Items()->BeginUpdate();
  std::u16string code;
  for (TTreeNode* n = Items()->GetFirstNode(); n; n = n->GetNext()) {
    TN_Node_Data* d = Data_Of(n);
    if (!d || d->code_len == 0) continue;
    code.clear();
    Append_Wide(&code, d->Code(), d->code_len);
    const std::u16string_view text(n->TextData(), static_cast<size_t>(n->TextLength()));
    if (on) {
      text_ = code;
      text_.push_back(u' ');
      text_.append(text);
    } else {
      if (text.substr(0, code.size()) != code) continue;
      size_t from = code.size();
      while (from < text.size() && text[from] == u' ') ++from;
      text_.assign(text.substr(from));
    }
    n->SetText(text_.data(), static_cast<int>(text_.size()));
  }
  Items()->EndUpdate();
}

int MTreeView::Change_Event_Cmd(int cmd) {
  suppress_change_ = cmd == 0 ? 1 : 0;
  if (cmd == 2 && OnChange) {
    if (TTreeNode* s = Selected()) OnChange(this, s);
  }
  return 1;
}

void MTreeView::keyPressEvent(QKeyEvent* e) {
  WORD key = vkFromQtKey(e->key());
  TMTreeView_OnKeyDown(this, key, shiftFromQt(e->modifiers(), Qt::NoButton));
  if (key == 0) {
    e->accept();
    return;
  }
  TTreeView::keyPressEvent(e);
}

// ---- unit

namespace {
void* Create_MTreeView(void* parent) { return new MTreeView(static_cast<QWidget*>(parent)); }
}  // namespace

void Mtreeview_Register() { RegisterComponents(kZem_Palette_Page, "MTreeView", Create_MTreeView); }

// ---- Qt forms ---------------------------------------------------------------------------------------

TTreeNode* MTreeView::TN_Add(TTreeNode* parent, int type, const QString& code, map_wchar caption) {
  return TN_Add(parent, type, map_char(code).c_str(), std::move(caption));
}

int MTreeView::TN_Update(TTreeNode* node, const QString& code, map_wchar caption) {
  return TN_Update(node, map_char(code).c_str(), std::move(caption));
}

TTreeNode* MTreeView::TN_Get(int type, const QString& code) { return TN_Get(type, map_char(code).c_str()); }

int MTreeView::TN_Attach_Dict(TTreeNode* node, const QString& dict_id, int type, int with_ext) {
  return TN_Attach_Dict(node, map_char(dict_id).c_str(), type, with_ext);
}

int MTreeView::TN_Attach_Class_Dict(TTreeNode* node, const QString& dict_id, int type, int with_ext) {
  return TN_Attach_Class_Dict(node, map_char(dict_id).c_str(), type, with_ext);
}

int MTreeView::Search_Str(const QString& text) { return Search_Str(map_char(text).c_str()); }

int MTreeView::Add_Km_Menu(TPopupMenu* menu, const QString& title) {
  return Add_Km_Menu(menu, reinterpret_cast<const char16_t*>(title.utf16()));
}

QString MTreeView::code(TTreeNode* node) const { return QString::fromUtf16(map_wchar(TN_Code(node)).c_str()); }
