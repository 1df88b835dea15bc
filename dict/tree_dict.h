// TTree_Dict: a node of a code tree built from the rows of a query area. Each row becomes a node with
// its code, caption and parent code; children are ordered by key, and numbering gives every node its
// level (root 0) and a running number in depth-first order (root 0).
//
// A row's parent comes from an explicit parent column; from a depth-first list when the data has a
// "tree_id" column; or, when the parent column is the code column itself, from the longest other code
// that is a proper prefix of the row's code.
//
// Building takes time in proportion to n log n for n rows (children found through a table of parent
// codes, sorted once per node); nothing here recurses, so a chain of any depth is built and freed.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <cstdint>
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

  TTree_Dict() = default;
  ~TTree_Dict();  // frees the subtree without recursion
  TTree_Dict(TTree_Dict&&) = default;
  TTree_Dict& operator=(TTree_Dict&&) = default;

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

namespace tree_dict_detail {

// Distinct codes numbered in the order first seen, in one flat open-addressing table (a look-up
// touches one or two slots and the code's own characters, nothing else).
template <class Ch>
class Code_Ids {
 public:
  using View = std::basic_string_view<Ch>;
  explicit Code_Ids(size_t expected) {
    size_t cap = 16;
    while (cap < expected * 2) cap <<= 1;
    slot_.assign(cap, Slot{0, -1});
    keys_.reserve(expected);
  }
  // The id of the code, -1 when absent (add false) or after adding it (add true).
  int Find(View code, bool add) { return Find(code, Hash(code), add); }
  // The same with the code's hash given (Hash, or Hash_On over its characters).
  int Find(View code, uint32_t hash, bool add) {
    const size_t mask = slot_.size() - 1;
    for (size_t h = hash & mask;; h = (h + 1) & mask) {
      Slot& s = slot_[h];
      if (s.id < 0) {
        if (!add) return -1;
        if (keys_.size() * 2 >= slot_.size()) {
          Grow();
          return Find(code, hash, true);
        }
        s = Slot{hash, static_cast<int>(keys_.size())};
        keys_.push_back(code);
        return s.id;
      }
      if (s.hash == hash && keys_[static_cast<size_t>(s.id)] == code) return s.id;
    }
  }
  size_t Size() const { return keys_.size(); }

  // FNV-1a: the hash of a code is built character by character, so the hashes of all its prefixes
  // come in one pass.
  static constexpr uint32_t HASH_START = 2166136261u;
  static uint32_t Hash_On(uint32_t h, Ch c) { return (h ^ static_cast<uint32_t>(c)) * 16777619u; }
  static uint32_t Hash(View code) {
    uint32_t h = HASH_START;
    for (Ch c : code) h = Hash_On(h, c);
    return h;
  }

 private:
  struct Slot {
    uint32_t hash;  // the code's hash: most other codes are passed over without reading them
    int id;         // -1 empty
  };
  void Grow() {
    std::vector<View> keys;
    keys.swap(keys_);
    slot_.assign(slot_.size() * 2, Slot{0, -1});
    for (View k : keys) Find(k, Hash(k), true);
  }
  std::vector<Slot> slot_;
  std::vector<View> keys_;  // by id
};

}  // namespace tree_dict_detail

// For each code, the length of the longest other code of the list that is a proper prefix of it (0
// when none): the parent of a code when codes nest by prefix ("01" holds "0101" and "010203").
// Linear in the number of codes times their longest length.
template <class Str>
std::vector<size_t> Prefix_Parent_Lengths(const std::vector<Str>& codes) {
  using Ch = typename Str::value_type;
  using Ids = tree_dict_detail::Code_Ids<Ch>;
  Ids all(codes.size());
  for (const Str& c : codes) all.Find(std::basic_string_view<Ch>(c), true);
  std::vector<size_t> out(codes.size(), 0);
  std::vector<uint32_t> hashes;  // hashes[k]: of the first k characters
  for (size_t i = 0; i < codes.size(); ++i) {
    std::basic_string_view<Ch> c(codes[i]);
    hashes.resize(c.size() + 1);
    hashes[0] = Ids::HASH_START;
    for (size_t k = 0; k < c.size(); ++k) hashes[k + 1] = Ids::Hash_On(hashes[k], c[k]);
    for (size_t len = c.size(); len-- > 1;) {
      if (all.Find(c.substr(0, len), hashes[len], false) >= 0) {
        out[i] = len;
        break;
      }
    }
  }
  return out;
}
