// Tree dictionaries: building by parent column, depth-first list or code prefix; lookup; numbering.
#include "dict/tree_dict.h"

#include <algorithm>
#include <unordered_map>

#include "core/data/sqlca.h"
#include "core/text/code_page.h"
#include "core/text/wfunc.h"
#include "dict/dict.h"

namespace {

using tree_dict_detail::Code_Ids;

// The rows read once, in row order: codes and parent codes (narrow, system code page) side by side in
// one buffer, so that numbering and chaining them touches little memory; the captions where the data
// set holds them.
class Flat_Rows {
 public:
  Flat_Rows(TSQLCA* data, int code_col, int parent_col, int name_col) {
    const int n = data->Get_Row_Count();
    const int order_col = data->Find_Field(u"order_id");
    const bool own_parent = parent_col >= 0 && parent_col != code_col;
    at_.reserve(static_cast<size_t>(n) * 2 + 1);
    captions_.reserve(static_cast<size_t>(n));
    order_.reserve(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r) {
      Append(data->Get_Row_Value(r, code_col));
      Append(own_parent ? data->Get_Row_Value(r, parent_col) : u"");
      captions_.push_back(data->Get_Row_Value(r, name_col));
      order_.push_back(order_col >= 0 ? W_To_Int(data->Get_Row_Value(r, order_col)) : r);
    }
    at_.push_back(arena_.size());
  }
  int Count() const { return static_cast<int>(order_.size()); }
  std::string_view Code(int r) const { return Piece(2 * static_cast<size_t>(r)); }
  std::string_view Parent(int r) const {
    return prefix_.empty() ? Piece(2 * static_cast<size_t>(r) + 1) : Code(r).substr(0, prefix_[static_cast<size_t>(r)]);
  }
  const wchar16* Caption(int r) const { return captions_[static_cast<size_t>(r)]; }
  int Order(int r) const { return order_[static_cast<size_t>(r)]; }
  // Parents by the longest code that is a proper prefix, in place of a parent column.
  void Parents_By_Prefix() {
    std::vector<std::string_view> codes;
    codes.reserve(order_.size());
    for (int r = 0; r < Count(); ++r) codes.push_back(Code(r));
    prefix_ = Prefix_Parent_Lengths(codes);
  }

 private:
  void Append(const wchar16* w) {
    int n = 0;
    while (w[n]) ++n;
    const size_t old = arena_.size();
    at_.push_back(old);
    arena_.resize(old + static_cast<size_t>(n) * 3);
    int m = n ? Zem_W_To_MB(ZEM_CP_SYSTEM, w, n, &arena_[old], n * 3) : 0;
    arena_.resize(old + static_cast<size_t>(m > 0 ? m : 0));
  }
  std::string_view Piece(size_t i) const { return std::string_view(arena_).substr(at_[i], at_[i + 1] - at_[i]); }

  std::string arena_;                    // every code and parent code, one after the other
  std::vector<size_t> at_;               // where piece i starts (code of row r: 2r, parent: 2r + 1)
  std::vector<size_t> prefix_;           // by row: the parent's length as a prefix of the code, when set
  std::vector<const wchar16*> captions_; // in the data set, which does not change while we build
  std::vector<int> order_;               // order_id, or the row index without that column
};

// One node to make: its row, the place of its parent (-1: the root), its level.
struct Place {
  int row;
  int parent;
  int level;
};

// Level by level: the rows whose parent is a node's code become its children, in row order, then the
// same below each child. Codes are numbered once and the rows of each parent code put side by side
// in row order, so each node finds its children without a search. A code already on the path from
// the root is not added again, so a cycle in the data cannot grow the tree for ever. The places come
// depth first (the order of the running numbers); the children of each node come in row order,
// which is their key order, so nothing needs sorting afterwards.
std::vector<Place> Places_By_Levels(const Flat_Rows& rows, std::string_view root_code) {
  const int n = rows.Count();
  Code_Ids<char> ids(static_cast<size_t>(n) + 1);
  const int root_id = ids.Find(root_code, true);
  std::vector<int> code_id(static_cast<size_t>(n)), parent_id(static_cast<size_t>(n), -1);
  for (int r = 0; r < n; ++r) code_id[static_cast<size_t>(r)] = ids.Find(rows.Code(r), true);
  // The candidate children of each parent id side by side, in row order (a counting sort):
  // kids[begin[id] .. begin[id + 1]).
  std::vector<size_t> begin(ids.Size() + 1, 0);
  for (int r = 0; r < n; ++r) {
    std::string_view code = rows.Code(r), parent = rows.Parent(r);
    if (code.empty() || code == parent) continue;
    int p = ids.Find(parent, false);
    parent_id[static_cast<size_t>(r)] = p;
    if (p >= 0) ++begin[static_cast<size_t>(p) + 1];
  }
  for (size_t i = 1; i < begin.size(); ++i) begin[i] += begin[i - 1];
  struct Kid {
    int row, id;
  };
  std::vector<Kid> kids(begin.back());
  {
    std::vector<size_t> fill(begin.begin(), begin.end() - 1);
    for (int r = 0; r < n; ++r)
      if (int p = parent_id[static_cast<size_t>(r)]; p >= 0) kids[fill[static_cast<size_t>(p)]++] = {r, code_id[static_cast<size_t>(r)]};
  }
  std::vector<int> on_path(ids.Size(), 0);  // by code id: places of that code from below the root
  struct Frame {
    int place;  // -1 for the root
    int level;
    int id;
    size_t next, end;  // the candidates left
  };
  std::vector<Place> places;
  places.reserve(static_cast<size_t>(n));
  std::vector<Frame> stack{{-1, 0, root_id, begin[static_cast<size_t>(root_id)], begin[static_cast<size_t>(root_id) + 1]}};
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next == f.end) {
      if (f.place >= 0) --on_path[static_cast<size_t>(f.id)];
      stack.pop_back();
      continue;
    }
    const Kid k = kids[f.next++];
    if (on_path[static_cast<size_t>(k.id)]) continue;
    places.push_back({k.row, f.place, f.level + 1});
    ++on_path[static_cast<size_t>(k.id)];
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
    places.push_back({r, at, at < 0 ? 1 : places[static_cast<size_t>(at)].level + 1});
    cur = static_cast<int>(places.size()) - 1;
  }
  return places;
}

// The nodes of the places. Each row's node is made in row order (the data set and the codes are
// read in the order they lie in memory) and then put in its place; a row placed twice (under two
// nodes of a repeated code) is copied. Keys are the running numbers (root 0, then 1, 2, ...) or,
// with by_order, the rows' order.
void Make_Nodes(TTree_Dict* root, const Flat_Rows& rows, const std::vector<Place>& places, bool by_order) {
  const int n = rows.Count();
  std::vector<int> child_count(places.size() + 1, 0);  // index 0: the root
  std::vector<char> wanted(static_cast<size_t>(n), 0);
  for (const Place& p : places) {
    ++child_count[static_cast<size_t>(p.parent + 1)];
    wanted[static_cast<size_t>(p.row)] = 1;
  }
  std::vector<std::unique_ptr<TTree_Dict>> by_row(static_cast<size_t>(n));
  std::vector<const TTree_Dict*> first(static_cast<size_t>(n), nullptr);
  for (int r = 0; r < n; ++r) {
    if (!wanted[static_cast<size_t>(r)]) continue;
    auto m = std::make_unique<TTree_Dict>();
    m->code = rows.Code(r);
    m->parent_code = rows.Parent(r);
    m->caption = rows.Caption(r);
    m->row = r;
    first[static_cast<size_t>(r)] = m.get();
    by_row[static_cast<size_t>(r)] = std::move(m);
  }
  std::vector<TTree_Dict*> made(places.size());
  root->level = 0;
  root->key = 0;
  root->children.reserve(static_cast<size_t>(child_count[0]));
  for (size_t i = 0; i < places.size(); ++i) {
    const Place& p = places[i];
    TTree_Dict* parent = p.parent < 0 ? root : made[static_cast<size_t>(p.parent)];
    std::unique_ptr<TTree_Dict> m = std::move(by_row[static_cast<size_t>(p.row)]);
    if (!m) {
      const TTree_Dict* f = first[static_cast<size_t>(p.row)];
      m = std::make_unique<TTree_Dict>();
      m->code = f->code;
      m->parent_code = f->parent_code;
      m->caption = f->caption;
      m->row = p.row;
    }
    m->level = p.level;
    m->key = by_order ? rows.Order(p.row) : static_cast<int>(i) + 1;
    m->parent = parent;
    m->children.reserve(static_cast<size_t>(child_count[i + 1]));
    made[i] = m.get();
    parent->children.push_back(std::move(m));
  }
}

bool By_Key(const std::unique_ptr<TTree_Dict>& a, const std::unique_ptr<TTree_Dict>& b) { return a->key < b->key; }

// Children ordered by key (rows keep their order among equal keys), then numbered depth first.
void Sort_And_Number(TTree_Dict* root) {
  std::vector<TTree_Dict*> todo{root};
  int next = 0;
  while (!todo.empty()) {
    TTree_Dict* n = todo.back();
    todo.pop_back();
    n->level = n->parent ? n->parent->level + 1 : 0;
    n->key = next++;
    if (!std::is_sorted(n->children.begin(), n->children.end(), By_Key))
      std::stable_sort(n->children.begin(), n->children.end(), By_Key);
    for (auto it = n->children.rbegin(); it != n->children.rend(); ++it) todo.push_back(it->get());
  }
}

}  // namespace

TTree_Dict::~TTree_Dict() {
  std::vector<std::unique_ptr<TTree_Dict>> pending;
  pending.swap(children);
  while (!pending.empty()) {
    std::unique_ptr<TTree_Dict> n = std::move(pending.back());
    pending.pop_back();
    for (auto& c : n->children) pending.push_back(std::move(c));
    n->children.clear();  // n now goes without reaching further down
  }
}

TTree_Dict* Find_Node(TTree_Dict* node, const char* code) {
  if (!node || !code) return nullptr;
  std::vector<TTree_Dict*> todo{node};
  while (!todo.empty()) {
    TTree_Dict* n = todo.back();
    todo.pop_back();
    if (n->code == code) return n;
    for (auto it = n->children.rbegin(); it != n->children.rend(); ++it) todo.push_back(it->get());
  }
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
  Flat_Rows rows(data, code_col, parent_col, name_col);
  if (parent_col == code_col) rows.Parents_By_Prefix();
  if (data->Find_Field(u"tree_id") >= 0) {
    Make_Nodes(root, rows, Places_By_List(rows, root->code), true);
    Sort_And_Number(root);
  } else {
    Make_Nodes(root, rows, Places_By_Levels(rows, root->code), false);
  }
  return 1;
}
