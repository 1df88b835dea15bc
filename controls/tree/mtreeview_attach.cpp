// MTreeView: filling the tree from query areas, dictionaries and tree dictionaries.
//
// Every fill runs inside one update of the nodes, so the view hears of the new branch once, however
// many nodes it holds.
#include <memory>
#include <set>
#include <string>

#include "controls/common/dict_watch.h"
#include "controls/tree/Mtreeview.h"
#include "core/data/sqlca.h"
#include "dict/dict.h"
#include "dict/dict_mgr.h"
#include "dict/tree_dict.h"
#include "frame/vector_state.h"

namespace {

// Holds the nodes' update open for the length of a fill, which copies every row's code and caption
// (so the vector state is cleared first).
class Update_Guard {
 public:
  explicit Update_Guard(TTreeNodes* nodes) : nodes_(nodes) {
    Zem_Clean_Vector_State();
    nodes_->BeginUpdate();
  }
  ~Update_Guard() { nodes_->EndUpdate(); }
  Update_Guard(const Update_Guard&) = delete;
  Update_Guard& operator=(const Update_Guard&) = delete;

 private:
  TTreeNodes* nodes_;
};

// A query area holding the rows of dict and then of its extended dictionary, with dict's field names
// (so that the tree build finds order_id and tree_id). Extended rows with other fields are matched by
// field name.
void Copy_With_Ext(TDict* dict, TSQLCA* out) {
  const int fields = dict->Get_Field_Count();
  out->Set_Field_Count(fields);
  for (int f = 0; f < fields; ++f) out->Set_Field_Name(f, dict->Get_Field_Name(f));
  out->Append_Data(dict);
  TDict* ext = dict->Ext_Dict();
  if (!ext) return;
  auto ext_lock = ext->Lock();
  if (ext->Get_Field_Count() == fields) {
    out->Append_Data(ext);
    return;
  }
  std::vector<int> from(static_cast<size_t>(fields));
  for (int f = 0; f < fields; ++f) from[static_cast<size_t>(f)] = ext->Find_Field(dict->Get_Field_Name(f));
  for (int r = 0; r < ext->Get_Row_Count(); ++r) {
    out->Add_Row();
    for (int f = 0; f < fields; ++f)
      if (from[static_cast<size_t>(f)] >= 0)
        out->Set_Value(f, ext->Get_Row_Value(r, from[static_cast<size_t>(f)]));
  }
}

}  // namespace

int MTreeView::TN_Attach_Dbio(TTreeNode* node, TSQLCA* data, int type) {
  if (!data) return 0;
  Update_Guard update(Items());
  const int rows = data->Get_Row_Count();
  const bool has_name = data->Get_Field_Count() > 1;
  std::string code;
  for (int r = 0; r < rows; ++r) {
    code = Dict_Narrow(data->Get_Row_Value(r, 0));
    const char16_t* caption = has_name ? data->Get_Row_Value(r, 1) : u"";
    Add_Node(node, type, code.data(), static_cast<int>(code.size()), caption,
             static_cast<int>(std::char_traits<char16_t>::length(caption)));
  }
  return 1;
}

void MTreeView::Attach_Branch(TTreeNode* node, TTree_Dict* branch, int type) {
  // Depth first with an explicit stack, so a deep code hierarchy cannot exhaust the call stack.
  struct Frame {
    TTreeNode* node;
    TTree_Dict* branch;
    int next;
  };
  std::vector<Frame> stack{{node, branch, 0}};
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next >= f.branch->Child_Count()) {
      stack.pop_back();
      continue;
    }
    TTree_Dict* c = f.branch->Child(f.next++);
    if (!c) continue;  // a slot whose branch was moved out
    TTreeNode* n = Add_Node(f.node, type, c->code.data(), static_cast<int>(c->code.size()), c->caption.data(),
                            static_cast<int>(c->caption.size()));
    if (c->Child_Count() > 0) stack.push_back({n, c, 0});
  }
}

int MTreeView::TN_Attach_Tree_Dbio_Branch(TTreeNode* node, TTree_Dict* branch, int type) {
  if (!branch) return 0;
  Update_Guard update(Items());
  Attach_Branch(node, branch, type);
  return 1;
}

int MTreeView::TN_Attach_Tree_Dbio(TTreeNode* node, TSQLCA* data, int type, int code_col, int name_col,
                                   int parent_col) {
  if (!data) return 0;
  TTree_Dict root;
  if (!Build_Tree(data, code_col, parent_col, name_col, &root)) return 0;
  return TN_Attach_Tree_Dbio_Branch(node, &root, type);
}

int MTreeView::TN_Attach_Class_Tree_Dbio(TTreeNode* node, TSQLCA* data, int type, int code_col,
                                         int name_col) {
  return TN_Attach_Tree_Dbio(node, data, type, code_col, name_col, code_col);
}

int MTreeView::Attach_Dict_With(TTreeNode* node, TDict* dict, int type, int with_ext, bool by_prefix) {
  if (!dict) return 0;
  const int before = node ? node->Count() : Items()->RootCount();
  const int ok = Build_Dict_Branch(node, dict, type, with_ext, by_prefix);
  if (!ok || refreshing_) return ok;
  // Remembered, so that a change of the dictionary can be shown (Follow_Dict_Change).
  Dict_Attach a{node, dict->Dict_Id(), type, with_ext, by_prefix, {}};
  const int after = node ? node->Count() : Items()->RootCount();
  for (int i = before; i < after; ++i) a.made.push_back(node ? node->Item(i) : Items()->Root(i));
  attaches_.push_back(std::move(a));
  if (!dict_watched_) {
    dict_watched_ = true;
    Zem_Dict_Watch(this, [this](const std::string& id) { Follow_Dict_Change(id); });
  }
  return ok;
}

int MTreeView::Build_Dict_Branch(TTreeNode* node, TDict* dict, int type, int with_ext, bool by_prefix) {
  TTree_Dict root;
  {
    auto lock = dict->Lock();
    TSQLCA copy;
    // Without extended rows the tree is built straight from the dictionary's rows, under its lock.
    TSQLCA* rows = dict;
    if (with_ext && dict->Ext_Dict()) {
      Copy_With_Ext(dict, &copy);
      rows = &copy;
    }
    int parent_col = -1;
    if (by_prefix) {
      parent_col = 0;
    } else if (!dict->Parent_Col().empty()) {
      parent_col = rows->Find_Field(map_wchar(dict->Parent_Col().c_str()));
    }
    if (rows->Get_Field_Count() < 2 || !Build_Tree(rows, 0, parent_col, 1, &root)) return 0;
  }
  return TN_Attach_Tree_Dbio_Branch(node, &root, type);
}

int MTreeView::TN_Attach_Dict(TTreeNode* node, TDict* dict, int type, int with_ext) {
  return Attach_Dict_With(node, dict, type, with_ext, false);
}

int MTreeView::TN_Attach_Dict(TTreeNode* node, const char* dict_id, int type, int with_ext) {
  return Attach_Dict_With(node, dict_id ? Dict_Client_List()->Get_Dict(dict_id, 1) : nullptr, type, with_ext,
                          false);
}

int MTreeView::TN_Attach_Class_Dict(TTreeNode* node, const char* dict_id, int type, int with_ext) {
  return Attach_Dict_With(node, dict_id ? Dict_Client_List()->Get_Dict(dict_id, 1) : nullptr, type, with_ext,
                          true);
}

namespace {

// The codes of the expanded nodes below (and of) the given nodes.
void Expanded_Codes(MTreeView* tree, TTreeNode* n, std::set<std::string>* out) {
  if (!n) return;
  if (n->Expanded()) out->insert(tree->TN_Code(n));
  for (int i = 0; i < n->Count(); ++i) Expanded_Codes(tree, n->Item(i), out);
}

void Expand_Again(MTreeView* tree, TTreeNode* n, const std::set<std::string>& codes) {
  if (!n) return;
  if (n->HasChildren() && codes.count(tree->TN_Code(n))) n->SetExpanded(true);
  for (int i = 0; i < n->Count(); ++i) Expand_Again(tree, n->Item(i), codes);
}

// The node with the code below (and of) the given node, depth first; null when none.
TTreeNode* Find_Code(MTreeView* tree, TTreeNode* n, const std::string& code) {
  if (!n) return nullptr;
  if (code == tree->TN_Code(n)) return n;
  for (int i = 0; i < n->Count(); ++i)
    if (TTreeNode* f = Find_Code(tree, n->Item(i), code)) return f;
  return nullptr;
}

}  // namespace

void MTreeView::Follow_Dict_Change(const std::string& id) {
  for (size_t k = 0; k < attaches_.size(); ++k) {
    if (!id.empty() && attaches_[k].dict_id != id) continue;
    TDict* dict = Dict_Client_List()->Get_Dict(attaches_[k].dict_id.c_str(), 0);
    if (!dict) continue;
    dict = Dict_Client_List()->Get_Dict(attaches_[k].dict_id.c_str(), 1);  // the change read
    if (!dict || dict->Load_Failed()) continue;  // what is shown stays until the dictionary can be read
    Dict_Attach& a = attaches_[k];
    // What the user had: the expanded nodes and the selected one (when it is one of the attach's).
    std::set<std::string> expanded;
    TTreeNode* sel = Selected();
    bool sel_inside = false;
    for (TTreeNode* m : a.made) {
      Expanded_Codes(this, m, &expanded);
      sel_inside = sel_inside || (sel && (sel == m || sel->HasAsParent(m)));
    }
    const std::string sel_code = sel_inside ? TN_Code(sel) : std::string();
    const TTVChangedEvent on_change = OnChange;
    OnChange = nullptr;  // the nodes go and come back: nothing the user chose
    refreshing_ = true;
    {
      Update_Guard update(Items());
      for (TTreeNode* m : a.made) Items()->Delete(m);
      a.made.clear();
      const int before = a.node ? a.node->Count() : Items()->RootCount();
      Build_Dict_Branch(a.node, dict, a.type, a.with_ext, a.by_prefix);
      const int after = a.node ? a.node->Count() : Items()->RootCount();
      for (int i = before; i < after; ++i) a.made.push_back(a.node ? a.node->Item(i) : Items()->Root(i));
    }
    refreshing_ = false;
    for (TTreeNode* m : a.made) Expand_Again(this, m, expanded);
    TTreeNode* again = nullptr;
    for (TTreeNode* m : a.made)
      if (!again && sel_inside) again = Find_Code(this, m, sel_code);
    if (again) SetSelected(again);
    else if (sel_inside && a.node) SetSelected(a.node);
    OnChange = on_change;
    if (sel_inside && !again && OnChange && Selected()) OnChange(this, Selected());
  }
}
