// Tree dictionaries: building by parent column, depth-first list or code prefix; lookup; numbering.
#include "dict/tree_dict.h"

#include <algorithm>
#include <unordered_set>

#include "core/data/sqlca.h"
#include "core/text/wfunc.h"
#include "dict/dict.h"

namespace {

struct Row_Info {
  std::string code;
  std::string parent;
  std::u16string caption;
  int row;
  int order;  // order_id, or the row index without that column
};

void Sort_Children(TTree_Dict* n) {
  std::stable_sort(n->children.begin(), n->children.end(),
                   [](const std::unique_ptr<TTree_Dict>& a, const std::unique_ptr<TTree_Dict>& b) {
                     return a->key < b->key;
                   });
  for (auto& c : n->children) Sort_Children(c.get());
}

void Number(TTree_Dict* n, int level, int* next) {
  n->level = level;
  n->key = (*next)++;
  for (auto& c : n->children) Number(c.get(), level + 1, next);
}

bool On_Path(const TTree_Dict* n, const std::string& code) {
  for (; n && n->parent; n = n->parent)
    if (n->code == code) return true;
  return false;
}

// Level by level: the rows whose parent is node's code go under node, then the same for each child.
// A code already on the path is not added again, so a cycle in the data cannot recurse for ever.
void Add_Level(TTree_Dict* node, const std::vector<Row_Info>& rows) {
  for (const Row_Info& r : rows) {
    if (r.code.empty() || r.code == r.parent || r.parent != node->code || On_Path(node, r.code)) continue;
    TTree_Dict* c = Add_Child(node, r.code.c_str(), r.caption.c_str(), r.parent.c_str(), r.row);
    c->key = r.row;
  }
  for (size_t i = 0; i < node->children.size(); ++i) Add_Level(node->children[i].get(), rows);
}

}  // namespace

TTree_Dict* Find_Node(TTree_Dict* node, const char* code) {
  if (!node || !code) return nullptr;
  if (node->code == code) return node;
  for (auto& c : node->children)
    if (TTree_Dict* f = Find_Node(c.get(), code)) return f;
  return nullptr;
}

TTree_Dict* Add_Child(TTree_Dict* node, const char* code, const wchar16* caption, const char* parent_code,
                      int row) {
  if (!node) return nullptr;
  auto made = std::make_unique<TTree_Dict>();
  made->code = code ? code : "";
  made->caption = caption ? caption : u"";
  made->parent_code = parent_code ? parent_code : "";
  made->row = row;
  TTree_Dict* n = made.get();
  // Children waiting for this code move under it.
  std::vector<std::unique_ptr<TTree_Dict>> keep;
  for (auto& c : node->children) {
    if (c->parent_code == n->code) {
      c->parent = n;
      n->children.push_back(std::move(c));
    } else {
      keep.push_back(std::move(c));
    }
  }
  node->children.swap(keep);
  TTree_Dict* at = Find_Node(node, n->parent_code.c_str());
  if (!at) at = node;
  n->parent = at;
  at->children.push_back(std::move(made));
  return n;
}

int Build_Tree(TSQLCA* data, int code_col, int parent_col, int name_col, TTree_Dict* root) {
  if (!data || !root) return 0;
  int fields = data->Get_Field_Count();
  if (code_col < 0 || code_col >= fields || name_col < 0 || name_col >= fields || parent_col >= fields) return 0;
  root->children.clear();
  int order_col = data->Find_Field(u"order_id");
  std::vector<Row_Info> rows;
  int n = data->Get_Row_Count();
  rows.reserve(static_cast<size_t>(n));
  for (int r = 0; r < n; ++r) {
    Row_Info info;
    info.code = Dict_Narrow(data->Get_Row_Value(r, code_col));
    if (parent_col >= 0 && parent_col != code_col) info.parent = Dict_Narrow(data->Get_Row_Value(r, parent_col));
    info.caption = data->Get_Row_Value(r, name_col);
    info.row = r;
    info.order = order_col >= 0 ? W_To_Int(data->Get_Row_Value(r, order_col)) : r;
    rows.push_back(std::move(info));
  }
  if (parent_col == code_col) {
    // The longest other code that is a proper prefix of the row's code.
    std::unordered_set<std::string> codes;
    for (const Row_Info& r : rows) codes.insert(r.code);
    for (Row_Info& r : rows) {
      r.parent.clear();
      for (size_t len = r.code.size(); len-- > 1;) {
        if (codes.count(r.code.substr(0, len))) {
          r.parent = r.code.substr(0, len);
          break;
        }
      }
    }
  }
  if (data->Find_Field(u"tree_id") >= 0) {
    TTree_Dict* cur = root;
    for (const Row_Info& r : rows) {
      TTree_Dict* at = cur;
      if (r.parent != cur->code && cur != root) {
        at = cur->parent;
        while (at != root && at->code != r.parent) at = at->parent;
      }
      auto made = std::make_unique<TTree_Dict>();
      made->code = r.code;
      made->caption = r.caption;
      made->parent_code = r.parent;
      made->row = r.row;
      made->key = r.order;
      made->parent = at;
      cur = made.get();
      at->children.push_back(std::move(made));
    }
  } else {
    Add_Level(root, rows);
  }
  Sort_Children(root);
  int next = 0;
  Number(root, 0, &next);
  return 1;
}
