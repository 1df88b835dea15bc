// MTreeView: search, the clipboard text, the context menu groups, the show-codes preference, the
// host's print and export, keys and the background.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "controls/tree/Mtreeview.h"
#include "frame/host_funcs.h"
#include "frame/singleton.h"
#include "toolkit/tk_clipboard.h"
#include "toolkit/tk_menu.h"
#include "util/lang_map.h"

namespace {

// The host functions, each looked up until found and then kept.
Gui_Inp_Str_Fn g_inp_str = nullptr;
Gui_Print_Tree_Fn g_print_tree = nullptr;
Pdu_Export_Tree_To_Km_Fn g_export_tree = nullptr;
Mup_Gui_User_Para_Get_Fn g_para_get = nullptr;
Mup_Gui_User_Para_Save_Fn g_para_save = nullptr;

std::string Narrow(const QString& s) { return std::string(Tmp_U2C(s)); }

}  // namespace

// ---- search

TTreeNode* MTreeView::Search_From(TTreeNode* start, bool forward) const {
  tc2u wide;
  const std::u16string_view needle(wide = search_text_);
  for (TTreeNode* n = start; n; n = forward ? n->GetNext() : n->GetPrev()) {
    const std::u16string_view text(n->TextData(), static_cast<size_t>(n->TextLength()));
    if (text.find(needle) != std::u16string_view::npos) return n;
  }
  return nullptr;
}

int MTreeView::Select_Found(TTreeNode* found) {
  if (!found) return 0;
  SetSelected(found);
  found->MakeVisible();
  return 1;
}

int MTreeView::Search_Str(const char* text) {
  if (text != search_text_) Str_Copy_Limit(search_text_, SEARCH_TEXT_MAX, text ? text : "");
  TTreeNode* first = Items()->GetFirstNode();
  if (!first) return 0;
  return Select_Found(Search_From(first, true)) ? 0 : 1;
}

int MTreeView::Ask_Search_Text() {
  Gui_Inp_Str_Fn ask = Zem_Host_Func(kGui_Inp_Str, g_inp_str);
  if (!ask) return 0;
  char buffer[SEARCH_TEXT_MAX + 1];
  std::memcpy(buffer, search_text_, sizeof buffer);
  const std::string prompt = Tmp_W2C(u"查找内容");
  if (!ask(prompt.c_str(), buffer, SEARCH_TEXT_MAX, "")) return 0;
  buffer[SEARCH_TEXT_MAX] = 0;
  Str_Copy_Limit(search_text_, SEARCH_TEXT_MAX, buffer);
  return 1;
}

int MTreeView::Find_From_Start() {
  if (!Ask_Search_Text()) return 0;
  return Search_Str(search_text_) == 0 && Selected() ? 1 : 0;
}

int MTreeView::Find_From_Here() {
  TTreeNode* s = Selected();
  if (!s || !Ask_Search_Text()) return 0;
  return Select_Found(Search_From(s->GetNext(), true));
}

int MTreeView::Find_Next() {
  if (!search_text_[0]) return Find_From_Start();
  TTreeNode* s = Selected();
  return Select_Found(Search_From(s ? s->GetNext() : Items()->GetFirstNode(), true));
}

int MTreeView::Find_Prev() {
  if (!search_text_[0]) return Find_From_Start();
  TTreeNode* s = Selected();
  return Select_Found(Search_From(s ? s->GetPrev() : Items()->GetNodeFromIndex(Items()->Count() - 1), false));
}

void MTreeView::TMTreeView_OnKeyDown(TObject*, WORD& key, TShiftState shift) {
  if (!shift.Contains(ssCtrl) || shift.Contains(ssAlt)) return;
  if (key == 'K') {
    key = 0;
    Find_Next();
  } else if (key == 'L') {
    key = 0;
    Find_Prev();
  }
}

// ---- text, print, export

QString MTreeView::Tree_Text() const {
  std::u16string out;
  for (TTreeNode* n = Items()->GetFirstNode(); n; n = n->GetNext()) {
    for (int level = n->Level(); level > 0; --level) out.append(u"......");
    out.append(n->TextData(), static_cast<size_t>(n->TextLength()));
    out.append(u"\r\n");
  }
  return QString::fromStdU16String(out);
}

int MTreeView::Copy_To_Clipboard() {
  Clipboard()->SetAsText(Tree_Text());
  return 1;
}

int MTreeView::Print_Tree() {
  Gui_Print_Tree_Fn print = Zem_Host_Func(kGui_Print_Tree, g_print_tree);
  return print ? print(this) : 0;
}

QString MTreeView::Km_Title() const {
  if (!km_title_.empty()) return QString::fromStdU16String(km_title_);
  if (!windowTitle().isEmpty()) return windowTitle();
  return QString::fromUtf16(u"索引树");
}

int MTreeView::Export_Tree() {
  Pdu_Export_Tree_To_Km_Fn exp = Zem_Host_Func(kPdu_Export_Tree_To_Km, g_export_tree);
  return exp ? exp(this, Narrow(Km_Title()).c_str()) : 0;
}

// ---- show codes and the user's preference

std::string MTreeView::User_Para_Key() const {
  QWidget* form = GetParentForm(const_cast<MTreeView*>(this));
  const std::string form_name = Narrow(FormName(form));
  const std::string name = Narrow(objectName());
  return "cap." + form_name + "." + name;
}

void MTreeView::Toggle_Caption_With_Code() {
  Set_Caption_With_Code(!with_code_);
  if (OnSwitch_Caption_With_CodeClick) OnSwitch_Caption_With_CodeClick(this);
  if (Mup_Gui_User_Para_Save_Fn save = Zem_Host_Func(kMup_Gui_User_Para_Save, g_para_save))
    save(User_Para_Key().c_str(), with_code_ ? "1" : "0", 0);
}

// ---- menus

TPopupMenu* MTreeView::Menu_Or_Own(TPopupMenu* menu) const { return menu ? menu : PopupMenu(); }

TMenuItem* MTreeView::Add_Item(TPopupMenu* menu, const char* suffix, const char16_t* caption,
                               std::function<void()> click) {
  auto* item = new TMenuItem(menu);
  item->SetName(objectName() + QLatin1String(suffix));
  item->SetAutoHotkeys(maManual);
  item->SetCaption(QString::fromUtf16(Lang_Cap(map_wchar(u"tree"), caption)));
  if (click) {
    // The menu may outlive the tree: a click after that does nothing.
    QPointer<MTreeView> self(this);
    item->OnClick = [self, click](TObject*) {
      if (self) click();
    };
  }
  menu->Items()->Add(item);
  return item;
}

int MTreeView::TN_Extend_Menu(TPopupMenu* menu, int flags) {
  TPopupMenu* m = Menu_Or_Own(menu);
  if (!m) return 0;
  const QString name = objectName();
  auto has = [&](const char* group) { return m->FindItem(name + QLatin1String(group)) != nullptr; };
  auto selected = [this](void (*act)(TTreeNode*)) {
    return [this, act] {
      if (TTreeNode* s = Selected()) act(s);
    };
  };
  if (!(flags & TN_MENU_NO_EXPAND) && !has("_exp_funcs")) {
    Add_Item(m, "_exp_funcs", u"-", nullptr);
    Add_Item(m, "_exp_all", u" 全部展开", [this] { FullExpand(); });
    Add_Item(m, "_col_all", u" 全部合拢", [this] { FullCollapse(); });
    Add_Item(m, "_exp_cur", u" 展开当前节点", selected([](TTreeNode* n) { n->Expand(false); }));
    Add_Item(m, "_col_cur", u" 合拢当前节点", selected([](TTreeNode* n) { n->Collapse(false); }));
    Add_Item(m, "_exp_cur_all", u" 全部展开当前节点", selected([](TTreeNode* n) { n->Expand(true); }));
    Add_Item(m, "_col_cur_all", u" 全部合拢当前节点", selected([](TTreeNode* n) { n->Collapse(true); }));
  }
  if ((flags & TN_MENU_SWITCH_CODE) && !has("_shcode_funcs"))
    Add_Item(m, "_shcode_funcs", u" 显示/隐藏编码", [this] { Toggle_Caption_With_Code(); });
  if (!(flags & TN_MENU_NO_FIND) && !has("_find_funcs")) {
    Add_Item(m, "_find_funcs", u"-", nullptr);
    Add_Item(m, "_find_start", u" 从头查找节点", [this] { Find_From_Start(); });
    Add_Item(m, "_find_here", u" 从本节点查找", [this] { Find_From_Here(); });
    Add_Item(m, "_find_next", u" 向后查找Ctrl+K", [this] { Find_Next(); });
    Add_Item(m, "_find_prev", u" 向前查找Ctrl+L", [this] { Find_Prev(); });
    Add_Item(m, "_copy_text", u" 复制树结构文本到内存", [this] { Copy_To_Clipboard(); });
    Add_Item(m, "_print", u" 打印", [this] { Print_Tree(); });
  }
  Apply_Menu_Font(m);
  return 1;
}

int MTreeView::TN_Extend_Menu_Switch_Code(TPopupMenu* menu) {
  TPopupMenu* m = Menu_Or_Own(menu);
  if (!m) return 0;
  if (!m->FindItem(objectName() + QLatin1String("_shcode_funcs")))
    Add_Item(m, "_shcode_funcs", u" 显示/隐藏编码", [this] { Toggle_Caption_With_Code(); });
  Apply_Menu_Font(m);
  Mup_Gui_User_Para_Get_Fn get = Zem_Host_Func(kMup_Gui_User_Para_Get, g_para_get);
  const char* stored = get ? get(User_Para_Key().c_str()) : nullptr;
  if (stored && (std::strcmp(stored, "1") == 0) != with_code_) {
    Set_Caption_With_Code(!with_code_);
    if (OnSwitch_Caption_With_CodeClick) OnSwitch_Caption_With_CodeClick(this);
  }
  return 1;
}

int MTreeView::Add_Km_Menu(TPopupMenu* menu, const char16_t* title) {
  TPopupMenu* m = Menu_Or_Own(menu);
  if (!m) return 0;
  km_title_ = title ? title : u"";
  if (!km_item_) km_item_ = Add_Item(m, "_km_funcs", u" 输出到层次图", [this] { Export_Tree(); });
  Apply_Menu_Font(m);
  return 1;
}

// ---- drawing

void MTreeView::MTreeView_CustomDraw(TTreeView*, const TRect& rect, bool&) {
  QWidget* form = GetParentForm(this);
  Canvas()->Brush->Style = bsSolid;
  Canvas()->Brush->Color = form && form != this ? FormColor(form) : kNo_Form_Color;
  Canvas()->FillRect(rect);
}
