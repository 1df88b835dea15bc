// TTree_Dict: a node of a code tree built from the rows of a query area. Each row becomes a node with
// its code, caption and parent code; children are ordered by key, and numbering gives every node its
// level (root 0) and a running number in depth-first order (root 0).
//
// A row's parent comes from an explicit parent column; from a depth-first list when the data has a
// "tree_id" column; or, when the parent column is the code column itself, from the longest other code
// that is a proper prefix of the row's code.
//
// Building takes time in proportion to the number of rows (children found through one numbering of
// the codes; a "tree_id" list also sorts each node's children by order_id); nothing here recurses, so
// a chain of any depth is built and freed. Rows in ascending code order (as a dictionary loads them)
// need no hash table. The nodes of one build and their captions lie in one block, in depth-first
// order, the order trees are read, numbered and freed in.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <cstdint>
#include <vector>

#include "core/text/map_str.h"

class TSQLCA;
namespace tree_dict_detail {
struct Text_Access;
}

// A node's caption: wide text the node owns. The captions of a build lie in the block of its nodes
// (one allocation for the whole tree, freed with its last node); a caption set later, or copied,
// has memory of its own. Always ends with a null character.
class Tree_Text {
 public:
  Tree_Text() = default;
  Tree_Text(const Tree_Text& o) { Set(o.View()); }
  Tree_Text(Tree_Text&& o);
  Tree_Text& operator=(const Tree_Text& o);
  Tree_Text& operator=(std::u16string_view text);
  Tree_Text& operator=(const char16_t* text) { return *this = std::u16string_view(text ? text : u""); }
  ~Tree_Text() { Drop(); }

  const char16_t* c_str() const { return text_; }
  const char16_t* data() const { return text_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::u16string_view View() const { return std::u16string_view(text_, size_); }
  operator std::u16string_view() const { return View(); }  // NOLINT
  friend bool operator==(const Tree_Text& a, std::u16string_view b) { return a.View() == b; }

 private:
  friend struct tree_dict_detail::Text_Access;
  void Set(std::u16string_view text);
  void Drop();
  const char16_t* text_ = u"";
  size_t size_ = 0;
  bool own_ = false;  // the text is ours to free (not the block's, not the static empty text)
};

class TTree_Dict {
 public:
  std::string code;         // narrow, system code page; empty for the root
  Tree_Text caption;
  std::string parent_code;  // narrow
  int level = 0;            // root 0, its children 1, ...
  int key = 0;              // sort key while building (row index or order_id), then the running number
  int row = -1;             // the row the node came from
  std::vector<std::unique_ptr<TTree_Dict>> children;  // owned; a slot emptied by moving a branch out is passed over
  TTree_Dict* parent = nullptr;                       // null for the root

  TTree_Dict() = default;
  ~TTree_Dict();  // frees the subtree without recursion
  // A node moved to another object takes its children along, their parent becoming that object. A
  // node made so stands alone (no parent); a node assigned to keeps its own place (and parent). The
  // source may lie in the target's own subtree.
  TTree_Dict(TTree_Dict&& o);
  TTree_Dict& operator=(TTree_Dict&& o);

  // A node made on its own (make_unique, Add_Child) has memory of its own; a build's nodes lie in
  // its block, which goes with the last of them.
  static void* operator new(size_t size);
  static void operator delete(void* p);

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

// Distinct codes numbered in the order first seen, in one flat open-addressing table. A slot holds
// the code's hash, number and length, and the code itself when it is short (as codes are), so a
// look-up of a short code touches one cache line of the table and nothing else.
template <class Ch>
class Code_Ids {
 public:
  using View = std::basic_string_view<Ch>;
  explicit Code_Ids(size_t expected) {
    size_t cap = 16;
    while (cap < expected * 2) cap <<= 1;
    Size_Table(cap);
    keys_.reserve(expected);
  }
  // The id of the code, -1 when absent (add false) or after adding it (add true).
  int Find(View code, bool add) { return Find(code, Hash(code), add); }
  // The same with the code's hash given (Hash, or Hash_On over its characters).
  int Find(View code, uint32_t hash, bool add) {
    Slot& s = slot_[Place(code, hash)];
    if (s.id >= 0 || !add) return s.id;
    if (keys_.size() * 2 >= slot_.size()) {
      Grow();
      return Find(code, hash, true);
    }
    Fill(s, code, hash, static_cast<int>(keys_.size()));
    keys_.push_back(code);
    return s.id;
  }
  // The id of the code, -1 when absent.
  int Look_Up(View code, uint32_t hash) const { return slot_[Place(code, hash)].id; }
  // Starts bringing a hash's slot into the cache: many look-ups go faster when each one's slot is
  // asked for a few look-ups ahead, as the waits for memory then overlap.
  void Prefetch(uint32_t hash) const { __builtin_prefetch(&slot_[Home(hash)]); }
  size_t Size() const { return keys_.size(); }
  // Whether some code of the table has n characters: a prefix search passes over other lengths
  // without a look-up (codes in segments of two have only even lengths).
  bool Has_Length(size_t n) const { return n < 64 ? (lengths_ >> n) & 1 : long_; }

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
  static constexpr size_t SLOT_BYTES = 32;
  static constexpr size_t INLINE = (SLOT_BYTES - 12) / sizeof(Ch);  // characters held in the slot
  struct alignas(SLOT_BYTES) Slot {
    uint32_t hash = 0;
    int32_t id = -1;  // -1 empty
    uint32_t size = 0;
    Ch head[INLINE] = {};  // the code, when it fits
  };
  void Size_Table(size_t cap) { slot_.assign(cap, Slot{}); }
  // Where a hash's search starts.
  size_t Home(uint32_t hash) const { return hash & (slot_.size() - 1); }
  // The code's slot, or the empty slot where it would go.
  size_t Place(View code, uint32_t hash) const {
    const size_t mask = slot_.size() - 1;
    for (size_t h = Home(hash);; h = (h + 1) & mask) {
      const Slot& s = slot_[h];
      if (s.id < 0 || (s.hash == hash && s.size == code.size() && Same(s, code))) return h;
    }
  }
  void Fill(Slot& s, View code, uint32_t hash, int id) {
    s.hash = hash;
    s.id = id;
    s.size = static_cast<uint32_t>(code.size());
    if (code.size() < 64) lengths_ |= uint64_t{1} << code.size();
    else long_ = true;
    if (code.size() <= INLINE) std::char_traits<Ch>::copy(s.head, code.data(), code.size());
  }
  bool Same(const Slot& s, View code) const {
    if (code.size() <= INLINE) return std::char_traits<Ch>::compare(s.head, code.data(), code.size()) == 0;
    return keys_[static_cast<size_t>(s.id)] == code;
  }
  void Grow() {
    std::vector<View> keys;
    keys.swap(keys_);
    Size_Table(slot_.size() * 2);
    for (View k : keys) Find(k, Hash(k), true);
  }
  std::vector<Slot> slot_;
  uint64_t lengths_ = 0;    // bit n: a code of n characters (n < 64)
  bool long_ = false;       // a code of 64 characters or more
  std::vector<View> keys_;  // by id
};

// The id of the longest code of ids that is a proper prefix of code (not shorter than one
// character), or -1; with that prefix's length in *len. hashes: scratch space. The code of id skip
// does not count.
template <class Ch>
int Longest_Prefix(const Code_Ids<Ch>& ids, std::basic_string_view<Ch> code, std::vector<uint32_t>& hashes,
                   size_t* len, int skip = -1) {
  using Ids = Code_Ids<Ch>;
  hashes.resize(code.size() + 1);
  hashes[0] = Ids::HASH_START;
  for (size_t k = 0; k < code.size(); ++k) hashes[k + 1] = Ids::Hash_On(hashes[k], code[k]);
  for (size_t n = code.size(); n-- > 1;) {
    if (!ids.Has_Length(n)) continue;
    int id = ids.Look_Up(code.substr(0, n), hashes[n]);
    if (id >= 0 && id != skip) {
      *len = n;
      return id;
    }
  }
  *len = 0;
  return -1;
}

// Asks for the slots of code's two longest proper prefixes of lengths that some code has, ahead of
// a Longest_Prefix of it.
template <class Ch>
void Prefetch_Prefixes(const Code_Ids<Ch>& ids, std::basic_string_view<Ch> code) {
  using Ids = Code_Ids<Ch>;
  size_t from = code.size();
  for (int found = 0; from > 1 && found < 2;)
    if (ids.Has_Length(--from)) ++found;
  uint32_t h = Ids::HASH_START;
  for (size_t k = 0; k + 1 < code.size(); ++k) {
    h = Ids::Hash_On(h, code[k]);
    if (k + 1 >= from && ids.Has_Length(k + 1)) ids.Prefetch(h);
  }
}

}  // namespace tree_dict_detail

// For each code, the length of the longest other code of the list that is a proper prefix of it (0
// when none): the parent of a code when codes nest by prefix ("01" holds "0101" and "010203").
// Linear in the number of codes times their longest length.
template <class Str>
std::vector<size_t> Prefix_Parent_Lengths(const std::vector<Str>& codes) {
  using Ch = typename Str::value_type;
  using View = std::basic_string_view<Ch>;
  tree_dict_detail::Code_Ids<Ch> all(codes.size());
  for (const Str& c : codes) all.Find(View(c), true);
  std::vector<size_t> out(codes.size(), 0);
  std::vector<uint32_t> hashes;
  for (size_t i = 0; i < codes.size(); ++i) {
    if (i + 16 < codes.size()) tree_dict_detail::Prefetch_Prefixes(all, View(codes[i + 16]));
    tree_dict_detail::Longest_Prefix(all, View(codes[i]), hashes, &out[i]);
  }
  return out;
}
