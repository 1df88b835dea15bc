// Tree dictionaries: building by parent column, depth-first list or code prefix; lookup; numbering.
#include "dict/tree_dict.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "core/data/sqlca.h"
#include "core/text/code_page.h"
#include "core/text/wfunc.h"
#include "dict/dict.h"
#include "frame/vector_state.h"

namespace {

using tree_dict_detail::Code_Ids;

// The rows read once, in row order, each as one record in one buffer: its lengths and order, its code
// and parent code (narrow, system code page) and its caption (wide, with its null). In whatever order
// the tree is then made, a row's texts come in one or two cache lines.
class Flat_Rows {
 public:
  Flat_Rows(TSQLCA* data, int code_col, int parent_col, int name_col) {
    const int n = data->Get_Row_Count();
    const int order_col = data->Find_Field(u"order_id");
    const bool own_parent = parent_col >= 0 && parent_col != code_col;
    at_.reserve(static_cast<size_t>(n) + 1);
    arena_.reserve(static_cast<size_t>(n) * 64);
    for (int r = 0; r < n; ++r) {
      const wchar16* code = data->Get_Row_Value(r, code_col);
      const wchar16* parent = own_parent ? data->Get_Row_Value(r, parent_col) : u"";
      const wchar16* caption = data->Get_Row_Value(r, name_col);
      Append(code, parent, caption, order_col >= 0 ? W_To_Int(data->Get_Row_Value(r, order_col)) : r);
    }
    at_.push_back(arena_.size());
  }
  int Count() const { return static_cast<int>(at_.size()) - 1; }
  // Where row r's record starts; the texts below take a row or such a start.
  size_t At(int r) const { return at_[static_cast<size_t>(r)]; }
  std::string_view Code(int r) const { return Code_In(At(r)); }
  std::string_view Parent(int r) const { return Parent_In(At(r)); }
  std::string_view Code_In(size_t at) const {
    const Head h = Head_Of(at);
    return std::string_view(Record(at) + sizeof(Head), h.code);
  }
  std::string_view Parent_In(size_t at) const {
    const Head h = Head_Of(at);
    const char* code = Record(at) + sizeof(Head);
    return h.prefix != NO_PREFIX ? std::string_view(code, h.prefix) : std::string_view(code + h.code, h.parent);
  }
  // The caption, with its null; size in *size.
  const wchar16* Caption_In(size_t at, size_t* size) const {
    const Head h = Head_Of(at);
    *size = h.caption;
    return reinterpret_cast<const wchar16*>(Record(at) + Caption_At(h));
  }
  int Order_In(size_t at) const { return Head_Of(at).order; }
  // Characters of all captions with a null after each.
  size_t Caption_Units() const { return caption_units_; }
  // A record asked for ahead of reading it.
  void Prefetch(size_t at) const {
    __builtin_prefetch(Record(at));
    __builtin_prefetch(Record(at) + 64);
  }
  // Row r's parent is the first len characters of its code, in place of a parent column.
  void Set_Prefix(int r, size_t len) {
    Head h = Head_Of(At(r));
    h.prefix = static_cast<uint32_t>(len);
    std::memcpy(&arena_[At(r)], &h, sizeof h);
  }

 private:
  struct Head {
    uint32_t code, parent, caption;  // lengths: bytes, bytes, characters
    uint32_t prefix;                 // the parent as a prefix of the code, or NO_PREFIX
    int32_t order;
  };
  static constexpr uint32_t NO_PREFIX = UINT32_MAX;
  static size_t Caption_At(const Head& h) { return (sizeof(Head) + h.code + h.parent + 1) & ~size_t{1}; }
  const char* Record(size_t at) const { return arena_.data() + at; }
  Head Head_Of(size_t at) const {
    Head h;
    std::memcpy(&h, Record(at), sizeof h);
    return h;
  }
  void Append(const wchar16* code, const wchar16* parent, const wchar16* caption, int order) {
    const size_t code_n = std::char_traits<wchar16>::length(code);
    const size_t parent_n = std::char_traits<wchar16>::length(parent);
    const size_t caption_n = std::char_traits<wchar16>::length(caption);
    const size_t at = (arena_.size() + alignof(Head) - 1) & ~(alignof(Head) - 1);
    at_.push_back(at);
    arena_.resize(at + sizeof(Head) + 3 * (code_n + parent_n) + 1 + 2 * (caption_n + 1));
    char* rec = &arena_[at];
    Head h{0, 0, static_cast<uint32_t>(caption_n), NO_PREFIX, order};
    h.code = Narrow(code, code_n, rec + sizeof(Head));
    h.parent = Narrow(parent, parent_n, rec + sizeof(Head) + h.code);
    std::memcpy(rec, &h, sizeof h);
    const size_t cap_at = Caption_At(h);
    std::memcpy(rec + cap_at, caption, (caption_n + 1) * sizeof(wchar16));
    arena_.resize(at + cap_at + (caption_n + 1) * sizeof(wchar16));
    caption_units_ += caption_n + 1;
  }
  static uint32_t Narrow(const wchar16* w, size_t n, char* out) {
    int m = n ? Zem_W_To_MB(ZEM_CP_SYSTEM, w, static_cast<int>(n), out, static_cast<int>(n * 3)) : 0;
    return static_cast<uint32_t>(m > 0 ? m : 0);
  }

  std::vector<char> arena_;  // the records, one after the other
  std::vector<size_t> at_;   // where row r's record starts; at_[Count()]: the end
  size_t caption_units_ = 0;
};

// How many rows ahead a loop over rows in another order asks for what it will read.
constexpr size_t AHEAD = 16;

// The codes numbered with one table, and every row's parent found in it.
struct Row_Ids {
  std::vector<int> code;    // by row: its code's id
  std::vector<int> parent;  // by row: its parent code's id; -1 when absent or the row is left out
  int root = -1;            // the root code's id
  size_t count = 0;         // distinct codes, the root's included
};

// Rows whose codes come in ascending byte order (as a dictionary loads them, "order by code") are
// numbered without a table, reading the rows once in order: equal codes are neighbours, and the
// codes that are prefixes of a code come before it, so they are the codes on a stack of prefixes
// (a parent column usually names one of them; other parents are searched in the ascending codes).
bool Codes_Ascending(const Flat_Rows& rows) {
  for (int r = 1; r < rows.Count(); ++r)
    if (rows.Code(r) < rows.Code(r - 1)) return false;
  return true;
}

bool Proper_Prefix(std::string_view prefix, std::string_view code) {
  return prefix.size() < code.size() && code.compare(0, prefix.size(), prefix) == 0;
}

Row_Ids Number_Ascending(Flat_Rows& rows, std::string_view root_code, bool by_prefix) {
  const int n = rows.Count();
  Row_Ids out;
  out.code.resize(static_cast<size_t>(n));
  out.parent.assign(static_cast<size_t>(n), -1);
  std::vector<std::string_view> codes;  // distinct, ascending: id i is codes[i]
  codes.reserve(static_cast<size_t>(n));
  for (int r = 0; r < n; ++r) {
    std::string_view code = rows.Code(r);
    if (codes.empty() || code != codes.back()) codes.push_back(code);
    out.code[static_cast<size_t>(r)] = static_cast<int>(codes.size()) - 1;
  }
  auto id_of = [&](std::string_view code) {
    auto it = std::lower_bound(codes.begin(), codes.end(), code);
    return it != codes.end() && *it == code ? static_cast<int>(it - codes.begin()) : -1;
  };
  out.root = id_of(root_code);
  out.count = codes.size();
  if (out.root < 0) out.root = static_cast<int>(out.count++);
  const int empty = root_code.empty() ? out.root : id_of(std::string_view());  // the empty parent code
  std::vector<int> stack;  // ids of the codes that are prefixes of the row's code, shortest first
  for (int r = 0; r < n; ++r) {
    std::string_view code = rows.Code(r);
    const int id = out.code[static_cast<size_t>(r)];
    if (code.empty()) {
      if (by_prefix) rows.Set_Prefix(r, 0);
      continue;
    }
    // A repeated code is on the stack already, on top: its prefixes lie below.
    const bool again = r > 0 && out.code[static_cast<size_t>(r) - 1] == id;
    while (!again && !stack.empty() && !Proper_Prefix(codes[static_cast<size_t>(stack.back())], code)) stack.pop_back();
    const size_t below = again ? stack.size() - 1 : stack.size();
    if (by_prefix) {
      const int p = below ? stack[below - 1] : -1;
      out.parent[static_cast<size_t>(r)] = p >= 0 ? p : empty;
      rows.Set_Prefix(r, p >= 0 ? codes[static_cast<size_t>(p)].size() : 0);
    } else if (std::string_view parent = rows.Parent(r); parent != code) {
      int p = -1;
      for (size_t k = below; k-- > 0 && p < 0;)
        if (codes[static_cast<size_t>(stack[k])] == parent) p = stack[k];
      if (p < 0) p = parent == root_code ? out.root : id_of(parent);
      out.parent[static_cast<size_t>(r)] = p;
    }
    if (!again) stack.push_back(id);
  }
  return out;
}

// Parents from the parent column, or (by_prefix) the longest other code that is a proper prefix of
// the row's code, an empty parent code without one (noted in rows as each row's parent code). A row with an empty code, or a code equal to
// its parent code, is left out.
Row_Ids Number_Codes(Flat_Rows& rows, std::string_view root_code, bool by_prefix) {
  if (Codes_Ascending(rows)) return Number_Ascending(rows, root_code, by_prefix);
  using Ids = Code_Ids<char>;
  const int n = rows.Count();
  Ids ids(static_cast<size_t>(n) + 1);
  Row_Ids out;
  out.root = ids.Find(root_code, true);
  out.code.resize(static_cast<size_t>(n));
  out.parent.assign(static_cast<size_t>(n), -1);
  std::vector<uint32_t> hash(static_cast<size_t>(n));
  for (int r = 0; r < n; ++r) hash[static_cast<size_t>(r)] = Ids::Hash(rows.Code(r));
  bool root_is_code = false;
  for (int r = 0; r < n; ++r) {
    if (static_cast<size_t>(r) + AHEAD < hash.size()) ids.Prefetch(hash[static_cast<size_t>(r) + AHEAD]);
    const int id = ids.Find(rows.Code(r), hash[static_cast<size_t>(r)], true);
    out.code[static_cast<size_t>(r)] = id;
    root_is_code = root_is_code || id == out.root;
  }
  if (by_prefix) {
    // Only the rows' own codes count as prefixes, not a root code that no row has.
    std::vector<size_t> lengths(static_cast<size_t>(n), 0);
    std::vector<uint32_t> scratch;
    const int no_prefix = ids.Look_Up(std::string_view(), Ids::HASH_START);  // the empty parent code
    for (int r = 0; r < n; ++r) {
      if (r + static_cast<int>(AHEAD) < n) tree_dict_detail::Prefetch_Prefixes(ids, rows.Code(r + static_cast<int>(AHEAD)));
      std::string_view code = rows.Code(r);
      int p = tree_dict_detail::Longest_Prefix(ids, code, scratch, &lengths[static_cast<size_t>(r)],
                                               root_is_code ? -1 : out.root);
      if (code.empty()) continue;
      out.parent[static_cast<size_t>(r)] = p >= 0 ? p : no_prefix;
    }
    for (int r = 0; r < n; ++r) rows.Set_Prefix(r, lengths[static_cast<size_t>(r)]);
  } else {
    for (int r = 0; r < n; ++r) hash[static_cast<size_t>(r)] = Ids::Hash(rows.Parent(r));
    for (int r = 0; r < n; ++r) {
      if (static_cast<size_t>(r) + AHEAD < hash.size()) ids.Prefetch(hash[static_cast<size_t>(r) + AHEAD]);
      std::string_view code = rows.Code(r), parent = rows.Parent(r);
      if (code.empty() || code == parent) continue;
      out.parent[static_cast<size_t>(r)] = ids.Look_Up(parent, hash[static_cast<size_t>(r)]);
    }
  }
  out.count = ids.Size();
  return out;
}

// One node to make: its row and the start of the row's record, the place of its parent (-1: the
// root), its level, and the row's earlier place when the row is placed twice (-1 the first time).
struct Place {
  int row;
  int parent;
  int level;
  int first;
  size_t at;
};

// Level by level: the rows whose parent is a node's code become its children, in row order, then the
// same below each child. Codes are numbered once and the rows of each parent code put side by side
// in row order, so each node finds its children without a search. A code already on the path from
// the root (the root's own code included) is not added again, so a cycle in the data cannot grow the
// tree for ever. The places come depth first (the order of the running numbers); the children of
// each node come in row order, which is their key order, so nothing needs sorting afterwards.
std::vector<Place> Places_By_Levels(const Row_Ids& ids, const Flat_Rows& rows) {
  const int n = rows.Count();
  const std::vector<int>& code_id = ids.code;
  const std::vector<int>& parent_id = ids.parent;
  const int root_id = ids.root;
  // The candidate children of each parent id side by side, in row order (a counting sort):
  // kids[begin[id] .. begin[id + 1]).
  std::vector<uint32_t> begin(ids.count + 1, 0);
  for (int r = 0; r < n; ++r)
    if (int p = parent_id[static_cast<size_t>(r)]; p >= 0) ++begin[static_cast<size_t>(p) + 1];
  for (size_t i = 1; i < begin.size(); ++i) begin[i] += begin[i - 1];
  struct Kid {
    int row, id;
    int placed;  // the row's first place, -1 before
    size_t at;
  };
  std::vector<Kid> kids(begin.back());
  {
    std::vector<uint32_t> fill(begin.begin(), begin.end() - 1);
    for (int r = 0; r < n; ++r)
      if (int p = parent_id[static_cast<size_t>(r)]; p >= 0)
        kids[fill[static_cast<size_t>(p)]++] = {r, code_id[static_cast<size_t>(r)], -1, rows.At(r)};
  }
  std::vector<char> on_path(ids.count, 0);  // by code id: a node of that code is on the path
  on_path[static_cast<size_t>(root_id)] = 1;
  struct Frame {
    int place;  // -1 for the root
    int level;
    int id;
    uint32_t next, end;  // the candidates left
  };
  std::vector<Place> places;
  places.reserve(static_cast<size_t>(n));
  std::vector<Frame> stack{{-1, 0, root_id, begin[static_cast<size_t>(root_id)], begin[static_cast<size_t>(root_id) + 1]}};
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next == f.end) {
      if (f.place >= 0) on_path[static_cast<size_t>(f.id)] = 0;
      stack.pop_back();
      continue;
    }
    Kid& k = kids[f.next++];
    if (on_path[static_cast<size_t>(k.id)]) continue;
    places.push_back({k.row, f.place, f.level + 1, k.placed, k.at});
    if (k.placed < 0) k.placed = static_cast<int>(places.size()) - 1;
    on_path[static_cast<size_t>(k.id)] = 1;
    stack.push_back({static_cast<int>(places.size()) - 1, f.level + 1, k.id, begin[static_cast<size_t>(k.id)],
                     begin[static_cast<size_t>(k.id) + 1]});
  }
  return places;
}

// The depth-first list of a "tree_id" set: each row goes under the nearest node, from the previous
// row up, whose code is the row's parent (the root when none). Each row climbs only what the rows
// before it built, so the whole list costs linear time.
std::vector<Place> Places_By_List(const Flat_Rows& rows, std::string_view root_code) {
  std::vector<Place> places;
  places.reserve(static_cast<size_t>(rows.Count()));
  auto code_of = [&](int place) { return place < 0 ? root_code : rows.Code(places[static_cast<size_t>(place)].row); };
  auto parent_of = [&](int place) { return places[static_cast<size_t>(place)].parent; };
  int cur = -1;
  for (int r = 0; r < rows.Count(); ++r) {
    std::string_view parent = rows.Parent(r);
    int at = cur;
    if (cur >= 0 && parent != code_of(cur)) {
      at = parent_of(cur);
      while (at >= 0 && code_of(at) != parent) at = parent_of(at);
    }
    places.push_back({r, at, at < 0 ? 1 : places[static_cast<size_t>(at)].level + 1, -1, rows.At(r)});
    cur = static_cast<int>(places.size()) - 1;
  }
  return places;
}

// A block of nodes made by one build, their captions after them. Every node is preceded by the
// block it lies in (null for a node with memory of its own); the block goes when its last node is
// freed, whichever tree or thread holds that node by then.
struct Node_Block {
  std::atomic<size_t> live;
};
constexpr size_t NODE_HEAD = sizeof(Node_Block*);
constexpr size_t NODE_SLOT =
    (NODE_HEAD + sizeof(TTree_Dict) + alignof(TTree_Dict) - 1) / alignof(TTree_Dict) * alignof(TTree_Dict);
static_assert(NODE_HEAD % alignof(TTree_Dict) == 0 && sizeof(Node_Block) % alignof(TTree_Dict) == 0,
              "nodes after their heads keep their alignment");

TTree_Dict* Slot_Node(Node_Block* block, size_t i) {
  return reinterpret_cast<TTree_Dict*>(reinterpret_cast<char*>(block + 1) + i * NODE_SLOT + NODE_HEAD);
}

// Lets go of count nodes' worth of a block (freed nodes, or slots never used); the last frees it.
void Release(Node_Block* block, size_t count) {
  if (count && block->live.fetch_sub(count, std::memory_order_acq_rel) == count) {
    block->~Node_Block();
    ::operator delete(block);
  }
}

}  // namespace

namespace tree_dict_detail {
struct Text_Access {
  // A caption in its nodes' block, which outlives the node holding it.
  static void Borrow(Tree_Text& t, const char16_t* text, size_t size) {
    t.Drop();
    t.text_ = text;
    t.size_ = size;
  }
};
}  // namespace tree_dict_detail

namespace {

// The nodes of the places, node i in slot i of one block (depth-first order, the order trees are read
// in), and their captions after them. Rows are read in place order, what a node reads asked for a
// few places ahead, so that the waits for rows out of order overlap. A row placed
// twice (under two nodes of a repeated code) is copied. Keys are the running numbers (root 0, then
// 1, 2, ...) or, with by_order, the rows' order.
void Make_Nodes(TTree_Dict* root, const Flat_Rows& rows, const std::vector<Place>& places, bool by_order) {
  root->level = 0;
  root->key = 0;
  const size_t count = places.size();
  if (!count) return;
  std::vector<int> child_count(count + 1, 0);  // index 0: the root
  for (const Place& p : places) ++child_count[static_cast<size_t>(p.parent + 1)];
  root->children.reserve(static_cast<size_t>(child_count[0]));
  const size_t text_at = sizeof(Node_Block) + count * NODE_SLOT;
  void* raw = ::operator new(text_at + rows.Caption_Units() * sizeof(char16_t));
  // The build holds the block too until every slot has its node.
  Node_Block* block = new (raw) Node_Block{{count + 1}};
  struct Hold {
    Node_Block* block;
    size_t unused;
    ~Hold() { Release(block, unused + 1); }
  } hold{block, count};
  char16_t* text = reinterpret_cast<char16_t*>(static_cast<char*>(raw) + text_at);
  for (size_t i = 0; i < count; ++i) {
    if (i + AHEAD < count) rows.Prefetch(places[i + AHEAD].at);
    const Place& p = places[i];
    char* slot = reinterpret_cast<char*>(block + 1) + i * NODE_SLOT;
    *reinterpret_cast<Node_Block**>(slot) = block;
    TTree_Dict* m = ::new (slot + NODE_HEAD) TTree_Dict();
    --hold.unused;
    TTree_Dict* parent = p.parent < 0 ? root : Slot_Node(block, static_cast<size_t>(p.parent));
    m->parent = parent;
    parent->children.emplace_back(m);
    if (p.first < 0) {
      m->code = rows.Code_In(p.at);
      m->parent_code = rows.Parent_In(p.at);
      size_t size = 0;
      const wchar16* caption = rows.Caption_In(p.at, &size);
      std::memcpy(text, caption, (size + 1) * sizeof(char16_t));
      tree_dict_detail::Text_Access::Borrow(m->caption, text, size);
      text += size + 1;
    } else {
      const TTree_Dict* o = Slot_Node(block, static_cast<size_t>(p.first));
      m->code = o->code;
      m->parent_code = o->parent_code;
      tree_dict_detail::Text_Access::Borrow(m->caption, o->caption.data(), o->caption.size());
    }
    m->row = p.row;
    m->level = p.level;
    m->key = by_order ? rows.Order_In(p.at) : static_cast<int>(i) + 1;
    m->children.reserve(static_cast<size_t>(child_count[i + 1]));
  }
}

bool By_Key(const std::unique_ptr<TTree_Dict>& a, const std::unique_ptr<TTree_Dict>& b) { return a->key < b->key; }

// Children ordered by key (rows keep their order among equal keys), then numbered depth first; the
// root has level 0 even when it is a node of another tree.
void Sort_And_Number(TTree_Dict* root) {
  std::vector<TTree_Dict*> todo{root};
  int next = 0;
  while (!todo.empty()) {
    TTree_Dict* n = todo.back();
    todo.pop_back();
    n->level = n != root ? n->parent->level + 1 : 0;
    n->key = next++;
    if (!std::is_sorted(n->children.begin(), n->children.end(), By_Key))
      std::stable_sort(n->children.begin(), n->children.end(), By_Key);
    for (auto it = n->children.rbegin(); it != n->children.rend(); ++it) todo.push_back(it->get());
  }
}

// The tree of data's rows under root, whose children are none yet.
void Build_Under(TSQLCA* data, int code_col, int parent_col, int name_col, TTree_Dict* root);

}  // namespace

void* TTree_Dict::operator new(size_t size) {
  char* raw = static_cast<char*>(::operator new(NODE_HEAD + size));
  *reinterpret_cast<Node_Block**>(raw) = nullptr;
  return raw + NODE_HEAD;
}

void TTree_Dict::operator delete(void* p) {
  if (!p) return;
  char* raw = static_cast<char*>(p) - NODE_HEAD;
  if (Node_Block* block = *reinterpret_cast<Node_Block**>(raw)) Release(block, 1);
  else ::operator delete(raw);
}

Tree_Text::Tree_Text(Tree_Text&& o) {
  if (o.own_) {
    text_ = o.text_;
    size_ = o.size_;
    own_ = true;
    o.own_ = false;
    o.text_ = u"";
    o.size_ = 0;
  } else {
    Set(o.View());  // a build's caption stays with its block
  }
}

Tree_Text& Tree_Text::operator=(const Tree_Text& o) {
  if (this != &o) Set(o.View());
  return *this;
}

Tree_Text& Tree_Text::operator=(std::u16string_view text) {
  Set(text);
  return *this;
}

void Tree_Text::Set(std::u16string_view text) {
  const char16_t* was = own_ ? text_ : nullptr;  // text may lie in what we hold
  if (text.empty()) {
    text_ = u"";
    own_ = false;
  } else {
    auto* copy = new char16_t[text.size() + 1];
    std::char_traits<char16_t>::copy(copy, text.data(), text.size());
    copy[text.size()] = 0;
    text_ = copy;
    own_ = true;
  }
  size_ = text.size();
  delete[] was;
}

void Tree_Text::Drop() {
  if (own_) delete[] text_;
  text_ = u"";
  size_ = 0;
  own_ = false;
}

TTree_Dict::~TTree_Dict() {
  std::vector<std::unique_ptr<TTree_Dict>> pending;
  pending.swap(children);
  while (!pending.empty()) {
    std::unique_ptr<TTree_Dict> n = std::move(pending.back());
    pending.pop_back();
    if (!n) continue;  // a branch moved out of its slot
    for (auto& c : n->children) pending.push_back(std::move(c));
    n->children.clear();  // n now goes without reaching further down
  }
}

TTree_Dict::TTree_Dict(TTree_Dict&& o)
    : code(std::move(o.code)),
      caption(std::move(o.caption)),
      parent_code(std::move(o.parent_code)),
      level(o.level),
      key(o.key),
      row(o.row),
      children(std::move(o.children)) {
  for (auto& c : children)
    if (c) c->parent = this;
}

TTree_Dict& TTree_Dict::operator=(TTree_Dict&& o) {
  if (this == &o) return *this;
  caption = o.caption;  // first: the only step that can fail
  // o may lie in our old subtree: its children are taken before the old ones go.
  std::vector<std::unique_ptr<TTree_Dict>> taken = std::move(o.children);
  code = std::move(o.code);
  parent_code = std::move(o.parent_code);
  level = o.level;
  key = o.key;
  row = o.row;
  children.swap(taken);
  for (auto& c : children)
    if (c) c->parent = this;
  return *this;  // the old children (o among them, perhaps) go with taken
}

namespace {

// The first node of that code, depth first, in the subtrees of todo's nodes (the last one first).
TTree_Dict* Find_In(std::vector<TTree_Dict*> todo, std::string_view code) {
  while (!todo.empty()) {
    TTree_Dict* n = todo.back();
    todo.pop_back();
    if (n->code == code) return n;
    for (auto it = n->children.rbegin(); it != n->children.rend(); ++it)
      if (*it) todo.push_back(it->get());
  }
  return nullptr;
}

}  // namespace

TTree_Dict* Find_Node(TTree_Dict* node, const char* code) {
  if (!node || !code) return nullptr;
  return Find_In({node}, code);
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
  // Node's children waiting for this code move under it; the new node then goes under the node of
  // its parent code in what remains of node's subtree. Everything that can fail (searching, making
  // room) comes before the first move, so running out of memory leaves the tree as it was.
  auto waits = [n](const std::unique_ptr<TTree_Dict>& c) { return c && c->parent_code == n->code; };
  const size_t waiting = static_cast<size_t>(std::count_if(node->children.begin(), node->children.end(), waits));
  TTree_Dict* at = node;
  if (node->code != n->parent_code) {
    std::vector<TTree_Dict*> todo;
    for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
      if (*it && !waits(*it)) todo.push_back(it->get());
    if (TTree_Dict* found = Find_In(std::move(todo), n->parent_code)) at = found;
  }
  if (at->children.size() == at->children.capacity())
    at->children.reserve(std::max<size_t>(4, at->children.size() * 2));
  if (waiting) {
    n->children.reserve(waiting);
    std::vector<std::unique_ptr<TTree_Dict>> keep;
    keep.reserve(node->children.size() - waiting + 1);
    for (auto& c : node->children) {
      if (waits(c)) {
        c->parent = n;
        n->children.push_back(std::move(c));
      } else {
        keep.push_back(std::move(c));
      }
    }
    node->children.swap(keep);
  }
  n->parent = at;
  at->children.push_back(std::move(made));
  return n;
}

int Build_Tree(TSQLCA* data, int code_col, int parent_col, int name_col, TTree_Dict* root) {
  if (!data || !root) return 0;
  int fields = data->Get_Field_Count();
  if (code_col < 0 || code_col >= fields || name_col < 0 || name_col >= fields || parent_col >= fields) return 0;
  // The old children stay until the new tree stands: a build that runs out of memory part way
  // leaves the root as it was.
  std::vector<std::unique_ptr<TTree_Dict>> old;
  old.swap(root->children);
  const int old_level = root->level, old_key = root->key;
  try {
    Build_Under(data, code_col, parent_col, name_col, root);
  } catch (...) {
    root->children.clear();
    root->children.swap(old);
    root->level = old_level;
    root->key = old_key;
    throw;
  }
  return 1;
}

namespace {

void Build_Under(TSQLCA* data, int code_col, int parent_col, int name_col, TTree_Dict* root) {
  Zem_Clean_Vector_State();  // the loops below copy and compare many short texts
  Flat_Rows rows(data, code_col, parent_col, name_col);
  const bool by_prefix = parent_col == code_col;
  if (data->Find_Field(u"tree_id") >= 0) {
    if (by_prefix) Number_Codes(rows, root->code, true);  // for the parents it notes in the rows
    Make_Nodes(root, rows, Places_By_List(rows, root->code), true);
    Sort_And_Number(root);
  } else {
    Row_Ids ids = Number_Codes(rows, root->code, by_prefix);
    Make_Nodes(root, rows, Places_By_Levels(ids, rows), false);
  }
}

}  // namespace
