// MTreeView: the code loops (codes of a branch as an SQL list, cut, or as a temporary key set) and the
// unit's static texts.
#include <cstring>
#include <memory>

#include "controls/tree/Mtreeview.h"
#include "core/data/key_set.h"
#include "core/data/sqlca.h"
#include "frame/log_mgr.h"
#include "toolkit/tk_system.h"

namespace {

// The unit's static texts: the result every text code loop hands out, and the list it is built in.
std::unique_ptr<tstr> g_loop_result;
std::unique_ptr<tstr> g_loop_list;

tstr* Loop_Result() {
  if (!g_loop_result) g_loop_result = std::make_unique<tstr>();
  return g_loop_result.get();
}

tstr* Loop_List() {
  if (!g_loop_list) g_loop_list = std::make_unique<tstr>();
  return g_loop_list.get();
}

void Mtreeview_Final() {
  g_loop_result.reset();
  g_loop_list.reset();
}

// One item: the code, as an SQL text literal when quoted (every "'" doubled).
void Append_Item(tstr* list, const char* code, bool quote) {
  if (list->length() > 0) list->append(",", 1);
  if (!quote) {
    list->append(code);
    return;
  }
  list->append("'", 1);
  for (const char* q; (q = std::strchr(code, '\'')) != nullptr; code = q + 1) {
    list->append(code, static_cast<int>(q - code) + 1);
    list->append("'", 1);
  }
  list->append(code);
  list->append("'", 1);
}

// The node that follows node's subtree in node order (null at the end of the tree).
TTreeNode* After_Subtree(TTreeNode* node) {
  for (TTreeNode* n = node; n; n = n->Parent())
    if (TTreeNode* s = n->getNextSibling()) return s;
  return nullptr;
}

}  // namespace

int MTreeView::TN_Code_Loop(TTreeNode* node, tstr* list, int quote, TN_Code_Fn code_fn) {
  if (!list) return 0;
  return Loop_Codes(node, list, quote, code_fn, 0, nullptr);
}

int MTreeView::Loop_Codes(TTreeNode* node, tstr* list, int quote, TN_Code_Fn code_fn, int max_len,
                          int* fit) {
  if (!node) return 0;
  int added = 0;
  TTreeNode* const stop = After_Subtree(node);
  for (TTreeNode* n = node; n && n != stop; n = n->GetNext()) {
    const char* code = code_fn ? code_fn(n) : TN_Code(n);
    if (!code || !*code) continue;
    Append_Item(list, code, quote != 0);
    ++added;
    if (!fit) continue;
    // Whole items only: a comma inside a code is no place to cut.
    if (list->length() > max_len) return added;
    *fit = list->length();
  }
  return added;
}

const char* MTreeView::TN_Code_Loop(TTreeNode* node, int quote, int max_len, TN_Code_Fn code_fn) {
  if (CtrlDown()) return TN_Code_Loop_Smart(node, quote, max_len, code_fn);
  tstr* out = Loop_Result();
  out->set_length(0);
  if (max_len <= 0) {
    Loop_Codes(node, out, quote, code_fn, 0, nullptr);
  } else {
    // The list stops at the last whole item that fits in max_len bytes.
    int fit = 0;
    Loop_Codes(node, out, quote, code_fn, max_len, &fit);
    if (out->length() > max_len) out->set_length(fit);
  }
  return out->c_str();
}

const char* MTreeView::TN_Code_Loop_Smart(TTreeNode* node, int quote, int max_len, TN_Code_Fn code_fn) {
  tstr* out = Loop_Result();
  out->set_length(0);
  Loop_Codes(node, out, quote, code_fn, 0, nullptr);
  if (max_len == 0 || out->length() <= max_len || !node) return out->c_str();
  // Too long for a literal list: the node and its direct children go to the server as a key set.
  TSQLCA keys;
  keys.Set_Field_Count(1);
  keys.Set_Field_Name(0, u"key_id");
  tstr* list = Loop_List();
  for (TTreeNode* n = node; n; n = n == node ? n->getFirstChild() : n->getNextSibling()) {
    const char* code = code_fn ? code_fn(n) : TN_Code(n);
    keys.Add_Row();
    keys.Set_Value(0, map_wchar(code ? code : ""));
  }
  const int set_id = Key_Set_Create(&keys, 0);
  if (set_id == 0) {
    // No set (the log says why): the whole list stands, as long as it is, rather than set 0, which
    // would select nothing without a word.
    Log_Printf("TN_Code_Loop_Smart: the list holds the %d bytes of codes itself\n", out->length());
    return out->c_str();
  }
  list->assign(Key_Set_Sub_Select(set_id).c_str());
  out->assign(list->c_str());
  return out->c_str();
}

// The unit's hooks: nothing to do on entry; the static texts go on the last exit.
static Zem_Unit_Registrar g_mtreeview_unit("Mtreeview", nullptr, Mtreeview_Final, Mtreeview_Register);
