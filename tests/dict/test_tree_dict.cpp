// Tree dictionaries built from query areas in memory: the three parent rules, ordering, numbering,
// Find_Node and Add_Child, deep chains, and the parent column a dictionary's index build prepares.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/data/para.h"
#include "core/data/sqlca.h"
#include "dict/dict.h"
#include "dict/tree_dict.h"
#include "drivers/db_fixture.h"

namespace {

using zem_test::Fill_Area;

// "code(child,child)" for each child of n, comma separated.
std::string Shape(const TTree_Dict* n) {
  std::string s;
  for (int i = 0; i < n->Child_Count(); ++i) {
    const TTree_Dict* c = n->Child(i);
    if (i) s += ",";
    s += c->code;
    if (c->Child_Count()) s += "(" + Shape(c) + ")";
  }
  return s;
}

// "code:level:key" in depth-first order.
std::string Numbers(const TTree_Dict* n) {
  std::string s = n->code + ":" + std::to_string(n->level) + ":" + std::to_string(n->key);
  for (int i = 0; i < n->Child_Count(); ++i) s += " " + Numbers(n->Child(i));
  return s;
}

TEST(Tree_Dict, ParentRules) {
  struct Row {
    const char* name;
    std::vector<const char16_t*> cols;  // code, name, parent (when present), further columns
    std::vector<std::vector<const char16_t*>> rows;
    int parent_col;
    const char* shape;
    const char* root_code = "";
  } rows[] = {
      {"prefix: 01, 0101, 0102, 02", {u"code", u"name"},
       {{u"0102", u"b"}, {u"01", u"a"}, {u"02", u"c"}, {u"0101", u"d"}}, 0, "01(0102,0101),02"},
      {"prefix two levels up", {u"code", u"name"}, {{u"01", u"a"}, {u"010203", u"b"}}, 0, "01(010203)"},
      {"no parent column: all under the root in row order", {u"code", u"name"},
       {{u"b", u"1"}, {u"a", u"2"}, {u"c", u"3"}}, -1, "b,a,c"},
      {"explicit parent column, children in row order", {u"code", u"name", u"par"},
       {{u"x1", u"", u"x"}, {u"x", u"", u""}, {u"y", u"", u""}, {u"x2", u"", u"x"}, {u"y1", u"", u"y"}}, 2,
       "x(x1,x2),y(y1)"},
      {"a code equal to its parent is left out", {u"code", u"name", u"par"},
       {{u"a", u"", u""}, {u"s", u"", u"s"}, {u"b", u"", u"a"}}, 2, "a(b)"},
      {"a cycle below the root does not recurse", {u"code", u"name", u"par"},
       {{u"a", u"", u""}, {u"b", u"", u"a"}, {u"a", u"", u"b"}}, 2, "a(b)"},
      {"a repeated code has the children under each of its nodes", {u"code", u"name", u"par"},
       {{u"a", u"", u""}, {u"b", u"", u"a"}, {u"a", u"", u""}}, 2, "a(b),a(b)"},
      {"a cycle through the root's code does not bring it back", {u"code", u"name", u"par"},
       {{u"b", u"", u"a"}, {u"a", u"", u"b"}, {u"c", u"", u"b"}}, 2, "b(c)", "a"},
      {"tree_id list goes back up two levels", {u"code", u"name", u"par", u"tree_id", u"order_id"},
       {{u"1", u"", u"", u"", u"1"}, {u"11", u"", u"1", u"", u"2"}, {u"111", u"", u"11", u"", u"3"},
        {u"12", u"", u"1", u"", u"4"}, {u"2", u"", u"", u"", u"5"}},
       2, "1(11(111),12),2"},
      {"tree_id list with parents by code prefix", {u"code", u"name", u"tree_id"},
       {{u"1", u""}, {u"11", u""}, {u"111", u""}, {u"12", u""}, {u"2", u""}, {u"21", u""}}, 0, "1(11(111),12),2(21)"},
      {"tree_id list ordered by order_id", {u"code", u"name", u"par", u"tree_id", u"order_id"},
       {{u"b", u"", u"", u"", u"9"}, {u"a", u"", u"", u"", u"3"}}, 2, "a,b"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    TSQLCA q;
    Fill_Area(q, nullptr, r.cols, r.rows);
    TTree_Dict root;
    root.code = r.root_code;
    ASSERT_EQ(Build_Tree(&q, 0, r.parent_col, 1, &root), 1);
    EXPECT_EQ(Shape(&root), r.shape);
  }
}

TEST(Tree_Dict, NumberingAndFind) {
  TSQLCA q;
  Fill_Area(q, nullptr, {u"code", u"name"}, {{u"01", u"甲"}, {u"0101", u"乙"}, {u"02", u"丙"}, {u"0102", u"丁"}});
  TTree_Dict root;
  ASSERT_EQ(Build_Tree(&q, 0, 0, 1, &root), 1);
  EXPECT_EQ(Numbers(&root), ":0:0 01:1:1 0101:2:2 0102:2:3 02:1:4");
  TTree_Dict* n = Find_Node(&root, "0102");
  ASSERT_NE(n, nullptr);
  EXPECT_TRUE(n->caption == u"丁" && n->row == 3 && n->parent == Find_Node(&root, "01"));
  EXPECT_TRUE(Find_Node(&root, "03") == nullptr && Find_Node(nullptr, "01") == nullptr);
  // Rebuilding drops the old children.
  ASSERT_EQ(Build_Tree(&q, 0, -1, 1, &root), 1);
  EXPECT_EQ(Shape(&root), "01,0101,02,0102");
  EXPECT_EQ(Build_Tree(&q, 5, 0, 1, &root), 0);
  EXPECT_EQ(Build_Tree(nullptr, 0, 0, 1, &root), 0);
  // A depth-first list built under a node of another tree numbers from that node, at level 0.
  TSQLCA list;
  Fill_Area(list, nullptr, {u"code", u"name", u"tree_id"}, {{u"1", u"", u""}, {u"11", u"", u""}});
  ASSERT_EQ(Build_Tree(&list, 0, 0, 1, root.Child(1)), 1);
  EXPECT_EQ(Numbers(root.Child(1)), "0101:0:0 1:1:1 11:2:2");
}

// A chain far deeper than a call stack: built, numbered, searched and freed.
TEST(Tree_Dict, DeepChain) {
  TSQLCA q;
  q.Set_Field_Count(3);
  const int n = 200000;
  for (int i = 0; i < n; ++i) {
    q.Add_Row();
    q.Set_Value(0, map_wchar(("c" + std::to_string(i)).c_str()));
    q.Set_Value(2, map_wchar(i ? ("c" + std::to_string(i - 1)).c_str() : ""));
  }
  TTree_Dict root;
  ASSERT_EQ(Build_Tree(&q, 0, 2, 1, &root), 1);
  TTree_Dict* last = Find_Node(&root, ("c" + std::to_string(n - 1)).c_str());
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->level, n);
  EXPECT_EQ(last->key, n);
}

// Rows in ascending code order are numbered without a hash table; the same rows followed by a row
// with an empty code (left out, but the order is broken) go through the table: the trees agree.
TEST(Tree_Dict, AscendingRowsGiveTheSameTreeAsAnyOrder) {
  std::vector<std::vector<const char16_t*>> rows;
  std::vector<std::u16string> texts;
  texts.reserve(400);
  for (const char16_t* a : {u"01", u"02", u"03"})
    for (const char16_t* b : {u"", u"01", u"02", u"03"})
      for (const char16_t* c : {u"", u"01", u"02"}) {
        if (!*b && *c) continue;
        texts.push_back(std::u16string(a) + b + c);  // the code
        std::u16string code = texts.back();
        // The prefix parent, but "0302..." names "01" and "0203" names a code no row has.
        texts.push_back(code.rfind(u"0302", 0) == 0 ? u"01" : code == u"0203" ? u"09" : code.substr(0, code.size() - 2));
        rows.push_back({texts[texts.size() - 2].c_str(), u"n", texts.back().c_str()});
        if (code == u"02") rows.push_back(rows.back());  // a repeated code
      }
  for (int parent_col : {0, 2}) {
    SCOPED_TRACE(parent_col);
    TSQLCA q;
    Fill_Area(q, nullptr, {u"code", u"name", u"par"}, rows);
    TTree_Dict ascending;
    ASSERT_EQ(Build_Tree(&q, 0, parent_col, 1, &ascending), 1);
    q.Add_Row();
    TTree_Dict any;
    ASSERT_EQ(Build_Tree(&q, 0, parent_col, 1, &any), 1);
    EXPECT_EQ(Numbers(&ascending), Numbers(&any));
    EXPECT_NE(Numbers(&any).find(" 0302:"), std::string::npos);
  }
}

// A build's nodes and captions share one block: a branch taken out of the tree, and copies of its
// texts, stay whole after the tree and the rest of its nodes are gone (ASan sees a freed block).
TEST(Tree_Dict, BranchOutlivesItsTree) {
  TSQLCA q;
  Fill_Area(q, nullptr, {u"code", u"name"}, {{u"01", u"甲部门"}, {u"0101", u"乙科室一二三四五六"}, {u"02", u"丙"}});
  std::unique_ptr<TTree_Dict> branch;
  Tree_Text copy;
  {
    TTree_Dict root;
    ASSERT_EQ(Build_Tree(&q, 0, 0, 1, &root), 1);
    branch = std::move(root.children[0]);  // its empty slot is passed over by searches and freeing
    EXPECT_EQ(Find_Node(&root, "02")->row, 2);
    copy = branch->Child(0)->caption;
  }
  EXPECT_TRUE(branch->caption == u"甲部门");
  EXPECT_TRUE(branch->Child(0)->caption == u"乙科室一二三四五六");
  branch->caption = std::u16string_view(branch->Child(0)->caption).substr(0, 2);
  EXPECT_TRUE(branch->caption == u"乙科");
  branch->Child(0)->caption = u"";
  EXPECT_TRUE(copy == u"乙科室一二三四五六");
  EXPECT_EQ(Add_Child(branch.get(), "0102", u"新", "01", 9)->parent, branch.get());
  // A node moved to another object takes its children along; a node may take its own child's place.
  TTree_Dict moved(std::move(*branch));
  ASSERT_EQ(Shape(&moved), "0101,0102");
  EXPECT_EQ(moved.Child(1)->parent, &moved);
  moved = std::move(*moved.Child(1));
  EXPECT_EQ(moved.code + "(" + Shape(&moved) + ")", "0102()");
  EXPECT_EQ(moved.parent, nullptr);
}

// Build_Index gives a dictionary whose parent_col names no column a parent column by code prefix,
// filled again after every change; a parent column of its own stays as it is.
TEST(Tree_Dict, DictionaryParentColumnByPrefix) {
  struct Row {
    const char* name;
    const char* parent_col;
    bool own_column;  // the rows bring a column "par" with parents of their own (none)
    int fields;       // after the index build
    const char* shape;
  } rows[] = {{"derived", "par", false, 3, "01(0101(010101),0102),02"},
              {"own column", "par", true, 3, "01,0101,010101,0102,02"},
              {"the code column itself", "code", false, 2, "01(0101(010101),0102),02"}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    TDict d;
    TParaMgr pack;
    pack.Put_Str(u"parent_col", r.parent_col);
    pack.Put_Int(u"time_stamp", 1);
    TSQLCA rows_in;
    Fill_Area(rows_in, nullptr,
              r.own_column ? std::vector<const char16_t*>{u"code", u"name", u"par"}
                           : std::vector<const char16_t*>{u"code", u"name"},
              {{u"0101", u"", u""}, {u"02", u"", u""}, {u"01", u"", u""}, {u"0102", u"", u""}});
    Sqlca_Set_Para_Hooks();
    ASSERT_NE(pack.Put_Sqlca_Para(u"data_pack", &rows_in), nullptr);
    ASSERT_EQ(d.Set_Dict_Id("tree"), 1);
    ASSERT_EQ(d.Unpack_Dict(&pack), 1);
    ASSERT_EQ(d.Add_Code(u"010101", u"new"), 1);  // the index is built again: its parent is found
    EXPECT_EQ(d.Get_Field_Count(), r.fields);
    int f = d.Find_Field(map_wchar(r.parent_col));
    ASSERT_GE(f, 0);
    TTree_Dict root;
    ASSERT_EQ(Build_Tree(&d, 0, f, 1, &root), 1);
    EXPECT_EQ(Shape(&root), r.shape);
  }
}

TEST(Tree_Dict, AddChildAdoptsWaitingChildren) {
  TTree_Dict root;
  Add_Child(&root, "0101", u"", "01", 0);
  Add_Child(&root, "02", u"", "", 1);
  Add_Child(&root, "0102", u"", "01", 2);
  EXPECT_EQ(Shape(&root), "0101,02,0102");  // their parent is not there yet
  TTree_Dict* p = Add_Child(&root, "01", u"", "", 3);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(Shape(&root), "02,01(0101,0102)");
  Add_Child(&root, "010101", u"", "0101", 4);  // found deeper in the subtree
  EXPECT_EQ(Shape(&root), "02,01(0101(010101),0102)");
  EXPECT_EQ(Add_Child(nullptr, "x", u"", "", 0), nullptr);
}

}  // namespace
