// Fuzz target for Build_Tree: the input is a list of rows, one per line, "code" or "code<TAB>parent",
// over a four-letter alphabet (so codes repeat and nest). The first byte chooses parents by code
// prefix or by the parent column, and the root's code (empty, or a short code some rows may have). The rows are put in ascending code order, which is built without
// a hash table, and built again with one more row (an empty code, left out) that breaks the order
// and takes the table: the two trees must be the same, and every node one level below its parent.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "core/data/sqlca.h"
#include "dict/tree_dict.h"

namespace {

std::string Dump(const TTree_Dict* root) {
  std::string s;
  std::vector<const TTree_Dict*> todo{root};
  while (!todo.empty()) {
    const TTree_Dict* n = todo.back();
    todo.pop_back();
    s += n->code + "<" + n->parent_code + ":" + std::to_string(n->level) + ":" + std::to_string(n->key) + " ";
    for (int i = n->Child_Count(); i-- > 0;) {
      const TTree_Dict* c = n->Child(i);
      if (c->parent != n || c->level != n->level + 1) abort();
      todo.push_back(c);
    }
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 4096) return 0;
  const bool by_prefix = data[0] & 1;
  static const char* const root_codes[] = {"", "a", "ab", "b"};
  const char* root_code = root_codes[(data[0] >> 1) & 3];
  std::vector<std::pair<std::string, std::string>> rows(1);
  bool in_parent = false;
  for (size_t i = 1; i < size; ++i) {
    const uint8_t b = data[i];
    if (b == '\n') {
      rows.emplace_back();
      in_parent = false;
    } else if (b == '\t') {
      in_parent = true;
    } else {
      (in_parent ? rows.back().second : rows.back().first) += static_cast<char>('a' + b % 4);
    }
  }
  std::sort(rows.begin(), rows.end());
  TSQLCA q;
  q.Set_Field_Count(3);
  for (const auto& [code, parent] : rows) {
    q.Add_Row();
    q.Set_Value(0, code.c_str());
    q.Set_Value(1, code.c_str());
    q.Set_Value(2, parent.c_str());
  }
  const int parent_col = by_prefix ? 0 : 2;
  TTree_Dict ascending, any;
  ascending.code = any.code = root_code;
  if (Build_Tree(&q, 0, parent_col, 1, &ascending) != 1) abort();
  q.Add_Row();
  q.Set_Value(0, "");
  q.Set_Value(1, "");
  q.Set_Value(2, "zz");
  if (Build_Tree(&q, 0, parent_col, 1, &any) != 1) abort();
  if (Dump(&ascending) != Dump(&any)) abort();
  return 0;
}
