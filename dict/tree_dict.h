// TTree_Dict: a node of a code tree built from the rows of a query area. Each row becomes a node with
// its code, caption and parent code; children are ordered by key, and numbering gives every node its
// level (root 0) and a running number in depth-first order (root 0).
//
// A row's parent comes from an explicit parent column; from a depth-first list when the data has a
// "tree_id" column; or, when the parent column is the code column itself, from the longest other code
// that is a proper prefix of the row's code.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "core/text/map_str.h"

class TSQLCA;

class TTree_Dict {
 public:
  std::string code;         // narrow, system code page; empty for the root
  std::u16string caption;
  std::string parent_code;  // narrow
  int level = 0;            // root 0, its children 1, ...
  int key = 0;              // sort key while building (row index or order_id), then the running number
  int row = -1;             // the row the node came from
  std::vector<std::unique_ptr<TTree_Dict>> children;  // owned
  TTree_Dict* parent = nullptr;                       // null for the root

  int Child_Count() const { return static_cast<int>(children.size()); }
  TTree_Dict* Child(int i) const {
    return i >= 0 && i < Child_Count() ? children[static_cast<size_t>(i)].get() : nullptr;
  }
};

// Builds the tree of data's rows under root (whose old children are dropped). parent_col -1: no
// parent column (every row under the root); parent_col == code_col: parents by longest code prefix.
// 1, or 0 for a null data or root or a code/name column outside the fields.
int Build_Tree(TSQLCA* data, int code_col, int parent_col, int name_col, TTree_Dict* root);
// The node of that code in node's subtree (node included, depth first), or null.
TTree_Dict* Find_Node(TTree_Dict* node, const char* code);
// A new node under node: node's children whose parent code is the new code move under it (keeping
// their order); it then becomes the last child of the node of parent_code in node's subtree, or of
// node itself when there is none. Returns the new node (owned by its parent); null for a null node.
TTree_Dict* Add_Child(TTree_Dict* node, const char* code, const wchar16* caption, const char* parent_code,
                      int row);
