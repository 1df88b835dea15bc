// DBDataMgr: fields, rows, cursor, values, sorting, seek and find, through the public interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/data/dec_num.h"
#include "core/text/wfunc.h"
#include "data_test_util.h"
#include "frame/thr_err.h"

namespace {

// A set with the given field names and rows of values (nullptr = absent).
void Fill(DBDataMgr* d, std::vector<const char16_t*> names, std::vector<std::vector<const char16_t*>> rows) {
  d->CFree();
  d->Set_Field_Count(static_cast<int>(names.size()));
  for (size_t i = 0; i < names.size(); ++i) d->Set_Field_Name(static_cast<int>(i), names[i]);
  for (auto& r : rows) {
    d->Add_Row();
    for (size_t i = 0; i < r.size(); ++i)
      if (r[i]) d->Set_Value(static_cast<int>(i), r[i]);
  }
}

std::u16string Column(DBDataMgr* d, int field) {
  std::u16string out;
  for (int r = 0; r < d->Get_Row_Count(); ++r) out += (r ? u"|" : u"") + S(d->Get_Row_Value(r, field));
  return out;
}

TEST(DBData, FieldCountLimitsAndRefusals) {
  Kept_Log log;
  const struct { const char* name; int n; int ok; } counts[] = {
      {"600 is past the limit", 600, 0}, {"negative", -1, 0}, {"none", 0, 1}, {"599 is the limit", 599, 1}};
  DBDataMgr d;
  for (const auto& c : counts) EXPECT_EQ(d.Set_Field_Count(c.n), c.ok) << c.name;
  EXPECT_TRUE(log.Has("ERROR: Field is out of range!\n"));
  EXPECT_TRUE(d.Get_Field_Count() == 599 && d.Get_Field_Type(598) == 'S');

  Fill(&d, {u"a", u"b", u"c"}, {{u"1", u"2", u"3"}});
  EXPECT_EQ(d.Set_Field_Count(3), 1) << "same count on a filled set is a no-op";
  EXPECT_EQ(S(d.Get_Field_Name(1)), u"b");
  Thr_Err_Mgr()->Clear_Err();
  EXPECT_EQ(d.Set_Field_Count(4), 0);
  std::string err;
  EXPECT_TRUE(Thr_Err_Mgr()->Get_Err(&err) == -1 && err == "ERROR: dataset is not empty, records 1 field num 3 ,set field num fail\n")
      << err;
  EXPECT_EQ(S(d.Get_Value(2)), u"3") << "nothing changed";
  EXPECT_EQ(d.Set_Field_Count(2), 1) << "fewer fields drop the later cells";
  EXPECT_TRUE(d.Get_Field_Count() == 2 && S(d.Get_Value(1)) == u"2");
}

TEST(DBData, FieldDescriptorsAndLookup) {
  Kept_Log log;
  DBDataMgr d;
  Fill(&d, {u"code", u"Name"}, {});
  EXPECT_EQ(S(d.Get_Field_Caption(0)), u"code") << "a field without caption takes its name";
  d.Set_Field_Caption(0, u"编码");
  d.Set_Field_Name(0, u"dept_code");
  EXPECT_EQ(S(d.Get_Field_Caption(0)), u"编码") << "a caption, once set, stays";
  d.Set_Field_Type(0, 'N');
  d.Set_Field_Type(0, 0);
  EXPECT_EQ(d.Get_Field_Type(0), 'N') << "type letter 0 leaves the type";

  const struct { const char16_t* ask; int want; } finds[] = {
      {u"Name", 1}, {u"NAME", 1}, {u"name", 1}, {u"DEPT_CODE", 0}, {u"nam", -1}, {u"", -1}};
  for (const auto& f : finds) EXPECT_EQ(d.Find_Field(f.ask), f.want) << std::string(map_char(f.ask).c_str());
  EXPECT_EQ(d.Find_Field("Name"), 1) << "narrow names convert on the way in";

  // Bad indexes give defaults and the console line.
  EXPECT_EQ(std::make_tuple(S(d.Get_Field_Name(5)), d.Get_Field_Type(-1), d.Get_Field_Size(2), d.Set_Field_Width(2, 5)),
            std::make_tuple(std::u16string(), '0', 0, 0));
  EXPECT_TRUE(log.Has("ERROR: Field is out of range!"));
}

// Every field as "name:cell|cell", fields apart by blanks.
std::u16string Cells(DBDataMgr* d) {
  std::u16string out;
  for (int f = 0; f < d->Get_Field_Count(); ++f)
    out += (f ? u" " : u"") + S(d->Get_Field_Name(f)) + u":" + Column(d, f);
  return out;
}

TEST(DBData, InsertAndDropFieldsMoveCells) {
  DBDataMgr d;
  Fill(&d, {u"a", u"b"}, {{u"a1", u"b1"}, {u"a2", nullptr}});
  d.Set_Field_Type(1, 'I');
  const struct { const char* what; int (*step)(DBDataMgr*); int result; const char16_t* cells; } steps[] = {
      {"a name found case-folded", [](DBDataMgr* t) { return t->Insert_Field(0, u"B"); }, 0, u"a:a1|a2 b:b1|"},
      {"insert in the middle", [](DBDataMgr* t) { return t->Insert_Field(1, u"mid"); }, 1, u"a:a1|a2 mid:| b:b1|"},
      {"add at the end", [](DBDataMgr* t) { return t->Add_Field(u"z") + t->Go_To_Row(1) + t->Set_Value(3, u"x"); }, 3,
       u"a:a1|a2 mid:| b:b1| z:|x"},
      {"drop by name, case-folded", [](DBDataMgr* t) { return t->Drop_Field(u"MID"); }, 1, u"a:a1|a2 b:b1| z:|x"},
      {"drop by index", [](DBDataMgr* t) { return t->Drop_Field(0); }, 1, u"b:b1| z:|x"},
      {"drop an unknown name", [](DBDataMgr* t) { return t->Drop_Field(u"nothing"); }, 0, u"b:b1| z:|x"},
      {"new rows carry the new field count", [](DBDataMgr* t) { return t->Add_Row() + t->Set_Value(1, u"y"); }, 2,
       u"b:b1|| z:|x|y"},
  };
  for (const auto& s : steps) {
    EXPECT_EQ(s.step(&d), s.result) << s.what;
    EXPECT_EQ(Cells(&d), s.cells) << s.what;
  }
  EXPECT_EQ(S(d.Get_Field_Caption(1)), u"z") << "an inserted field is captioned by its name";
  EXPECT_EQ(d.Get_Field_Type(0), 'I') << "a field's type moves with it";
}

// Field 0 of every row with the current row marked: "a|*b|c".
std::u16string Rows(DBDataMgr* d) {
  std::u16string out;
  for (int r = 0; r < d->Get_Row_Count(); ++r)
    out += (r ? u"|" : u"") + std::u16string(r == d->Get_Cur_Row() ? u"*" : u"") + S(d->Get_Row_Value(r, 0));
  return out;
}

TEST(DBData, RowsAndCursor) {
  Kept_Log log;
  DBDataMgr d;
  EXPECT_EQ(d.Add_Row() + d.First() + d.Del_Row(), 0) << "no fields: no rows";
  EXPECT_TRUE(log.Has("ERROR: the field count is 0,cant alloc memory\n"));
  Fill(&d, {u"k"}, {{u"r0"}, {u"r1"}});
  const struct { const char* what; int (*step)(DBDataMgr*); int result; const char16_t* rows; } steps[] = {
      {"insert before all", [](DBDataMgr* t) { return t->Insert_Row(-5) + t->Set_Value(0, u"n"); }, 2, u"*n|r0|r1"},
      {"insert past the end", [](DBDataMgr* t) { return t->Insert_Row(12) + t->Set_Value(0, u"n"); }, 2, u"n|r0|r1|*n"},
      {"insert mid-way", [](DBDataMgr* t) { return t->Insert_Row(2) + t->Set_Value(0, u"m"); }, 2, u"n|r0|*m|r1|n"},
      {"go past the end", [](DBDataMgr* t) { return t->Go_To_Row(5); }, 0, u"n|r0|*m|r1|n"},
      {"go before the first", [](DBDataMgr* t) { return t->Go_To_Row(-1); }, 0, u"n|r0|*m|r1|n"},
      {"go to the last", [](DBDataMgr* t) { return t->Go_To_Row(4); }, 1, u"n|r0|m|r1|*n"},
      {"nothing after the last", [](DBDataMgr* t) { return t->Has_Next() + t->Next(); }, 0, u"n|r0|m|r1|*n"},
      {"deleting the last row clamps the cursor", [](DBDataMgr* t) { return t->Del_Row(); }, 1, u"n|r0|m|*r1"},
      {"first", [](DBDataMgr* t) { return t->First(); }, 1, u"*n|r0|m|r1"},
      {"next", [](DBDataMgr* t) { return t->Has_Next() + t->Next(); }, 2, u"n|*r0|m|r1"},
      {"delete: the cursor keeps its index", [](DBDataMgr* t) { return t->Del_Row(); }, 1, u"n|*m|r1"},
      {"swap", [](DBDataMgr* t) { return t->Swap_Row(0, 2); }, 1, u"r1|*m|n"},
      {"swap outside the rows", [](DBDataMgr* t) { return t->Swap_Row(0, 3); }, 0, u"r1|*m|n"},
  };
  for (const auto& s : steps) {
    EXPECT_EQ(s.step(&d), s.result) << s.what;
    EXPECT_EQ(Rows(&d), s.rows) << s.what;
  }
  d.Clear_Data();
  EXPECT_EQ(S(d.Get_Value(0)), u"") << "no rows: empty text";
}

TEST(DBData, ValuesBuffersAndNarrowCache) {
  DBDataMgr d;
  Fill(&d, {u"v"}, {{nullptr}});
  EXPECT_EQ(S(d.Get_Value(0)), u"");
  EXPECT_EQ(d.Set_Value(0, u"abc"), 1);
  d.Set_Value(0, u"xyz");
  EXPECT_EQ(S(d.Get_Value(0)), u"xyz");
  d.Set_Value(0, u"啊吧");
  EXPECT_STREQ(d.Get_S_Value(0), "\xB0\xA1\xB0\xC9") << "system code page is GBK";
  d.Set_Value(0, u"ok");
  EXPECT_STREQ(d.Get_S_Value(0), "ok") << "a change drops the narrow form";
  d.Set_Value(0, static_cast<const wchar16*>(nullptr));
  EXPECT_EQ(d.Get_Value_Len(0), 0) << "a null text clears the cell";
  d.Set_Value(0, "narrow");
  EXPECT_EQ(S(d.Get_Value(0)), u"narrow");

  const wchar16 zeros[] = {u'a', 0, u'b'};
  EXPECT_EQ(d.Set_Value_With_Len(0, zeros, 3), 1);
  EXPECT_EQ(std::u16string(d.Get_Value(0), static_cast<size_t>(d.Get_Value_Len(0))), std::u16string(zeros, 3))
      << "embedded zeros are kept";
  EXPECT_EQ(d.Set_Value(3, u"x"), 0);
}

TEST(DBData, AppendData) {
  Kept_Log log;
  DBDataMgr a, b, c;
  Fill(&a, {u"x", u"y"}, {{u"1", u"一"}});
  Fill(&b, {u"p", u"q"}, {{u"2", nullptr}, {u"3", u"三"}});
  Fill(&c, {u"x"}, {{u"9"}});
  EXPECT_EQ(a.Append_Data(&c), 0);
  EXPECT_TRUE(log.Has("ERROR: The field num is not equle,cant merge to one!\n"));
  EXPECT_EQ(a.Append_Data(&b), 1);
  EXPECT_EQ(Cells(&a), u"x:1|2|3 y:一||三") << "values only, the names stay";
  EXPECT_EQ(a.Append_Data(&a), 1);
  EXPECT_EQ(a.Get_Row_Count(), 6) << "a set appended to itself doubles once";
}

TEST(DBData, AppendRowIsAddRowWithItsValues) {
  const char16_t zeros[] = {u'a', 0, u'b'};
  const struct { const char* what; std::vector<const char16_t*> texts; std::vector<int> lens; } rows[] = {
      {"code and name", {u"D01", u"部门"}, {3, 2}},
      {"an absent name", {u"D02", nullptr}, {3, 0}},
      {"an empty code", {u"", u"空"}, {0, 1}},
      {"embedded zeros", {zeros, u"z"}, {3, 1}},
      {"the first cell only", {u"D03"}, {3}},
      {"no cells", {}, {}},
  };
  DBDataMgr by_add, by_append;
  for (DBDataMgr* d : {&by_add, &by_append}) {
    d->Set_Field_Count(3);
    d->Set_Field_Name(0, u"code");
  }
  for (const auto& r : rows) {
    by_add.Add_Row();
    for (size_t i = 0; i < r.texts.size(); ++i)
      if (r.texts[i]) by_add.Set_Value_With_Len(static_cast<int>(i), r.texts[i], r.lens[i]);
    ASSERT_EQ(by_append.Append_Row(r.texts.data(), r.lens.data(), static_cast<int>(r.texts.size())), 1) << r.what;
    EXPECT_EQ(by_append.Get_Cur_Row(), by_append.Get_Row_Count() - 1) << r.what << ": the new row is current";
  }
  EXPECT_EQ(Pack(&by_append), Pack(&by_add)) << "the same set, absent cells included";
  for (int r = 0; r < by_append.Get_Row_Count(); ++r)
    EXPECT_EQ(by_append.Row_Value_Present(r, 1), by_add.Row_Value_Present(r, 1)) << rows[r].what;
  const std::vector<const wchar16*> codes = by_append.Column_Texts(0);
  EXPECT_TRUE(codes.size() == std::size(rows) && S(codes[0]) == u"D01" && S(codes[5]) == u"") << "absent reads \"\"";
  EXPECT_TRUE(by_append.Column_Texts(3).empty() && by_append.Column_Texts(-1).empty()) << "no such field";

  // The appended values change, move and go like any others.
  by_append.Go_To_Row(0);
  by_append.Set_Value(1, u"财务部门（总部）");
  by_append.Go_To_Row(1);
  by_append.Del_Row();
  by_append.Set_Sort_Key(0, 1);
  by_append.Add_Sort_Key(1, 1);
  by_append.Sort();
  EXPECT_EQ(Column(&by_append, 0), u"a|D03|D01||");
  EXPECT_EQ(Column(&by_append, 1), u"z||财务部门（总部）|空|");

  // Refused: more cells than fields, a negative count, a set without fields; nothing is added.
  const char16_t* four[] = {u"a", u"b", u"c", u"d"};
  const int lens[] = {1, 1, 1, 1};
  DBDataMgr none;
  EXPECT_EQ(by_append.Append_Row(four, lens, 4) + by_append.Append_Row(four, lens, -1) + none.Append_Row(four, lens, 0), 0);
  EXPECT_TRUE(by_append.Get_Row_Count() == 5 && none.Get_Row_Count() == 0);
}

TEST(DBData, ResultAttributesAndReset) {
  DBDataMgr d;
  std::u16string long_msg(5000, u'm');
  long_msg[4095] = u'e';
  d.Set_Error(-7, long_msg.c_str());
  EXPECT_EQ(d.Get_Sqlcode(), -7);
  EXPECT_EQ(S(d.Get_Sqlmsg()), long_msg.substr(0, 4096));
  Fill(&d, {u"a"}, {{u"1"}});
  d.Set_Error(3, u"boom");
  d.Set_Table_Name(u"Emp_b");
  d.Set_Tag(0, 42);
  d.Set_Sort_Key(0, 0);
  EXPECT_EQ(S(d.Get_Table_Name()), u"EMP_B");
  // Clear_Data keeps the fields and the table; CFree drops everything.
  d.Clear_Data();
  EXPECT_EQ(std::make_tuple(d.Get_Row_Count(), d.Get_Field_Count(), d.Get_Sqlcode(), S(d.Get_Sqlmsg()), S(d.Get_Table_Name())),
            std::make_tuple(0, 1, 0, std::u16string(), std::u16string(u"EMP_B")));
  d.CFree();
  EXPECT_EQ(std::make_tuple(d.Get_Field_Count(), S(d.Get_Table_Name()), d.Get_Tag(0), d.Get_Sort_Key_Count()),
            std::make_tuple(0, std::u16string(), 0, 0));
}

// ---------------------------------------------------------------- sorting

// Sorts, then checks that the cursor went to row 0 and that every row is in order by Sort_Cmp.
void Sort_And_Check(DBDataMgr* d) {
  d->Go_To_Row(d->Get_Row_Count() - 1);
  ASSERT_EQ(d->Sort(), 1);
  EXPECT_EQ(d->Get_Cur_Row(), 0);
  for (int r = 0; r + 1 < d->Get_Row_Count(); ++r) EXPECT_LE(d->Sort_Cmp(r, r + 1), 0) << "row " << r;
}

TEST(DBData, SortOnMixedKeys) {
  // id, amount (type F), name (text), qty (type I), qty_text (the same texts, type S)
  const std::vector<std::vector<const char16_t*>> rows = {
      {u"a", u"10", u"吧", u"3", u"3"},  {u"b", u"9", u"啊", u"-2", u"-2"}, {u"c", u"1.50", u"b", u"3", u"3"},
      {u"d", u"1.5", u"B", u"10", u"10"}, {u"e", u"-2", u"a", u"1", u"1"},   {u"f", nullptr, u"啊", u"", u""},
      {u"g", u"1,000", u"a", u"1", u"1"},
  };
  // want: the "id" column after sorting.
  const struct { const char* name; std::vector<int> fields, desc, modes; const char16_t* want; } cases[] = {
      {"numeric then text: absent is 0, 10 after 9, 1.50 equals 1.5, B before b", {1, 2}, {0, 0}, {-1, -1},
       u"e|f|d|c|b|a|g"},
      {"numeric descending, text ascending", {1, 2}, {1, 0}, {-1, -1}, u"g|a|b|d|c|f|e"},
      {"text: Chinese by GBK (啊 before 吧), ASCII by code unit", {2, 0}, {0, 0}, {-1, -1}, u"d|e|g|c|b|f|a"},
      {"text descending, tie broken ascending", {2, 0}, {1, 0}, {-1, -1}, u"a|b|f|c|e|g|d"},
      {"an unknown mode S means the field's own type (I)", {3, 0}, {0, 0}, {'S', -1}, u"b|f|e|g|a|c|d"},
      {"qty as text on a text field", {4, 0}, {0, 0}, {-1, -1}, u"f|b|e|g|d|a|c"},
      {"mode 2 makes a text field numeric", {4, 0}, {0, 0}, {'2', -1}, u"b|f|e|g|a|c|d"},
      {"mode N on an I field", {3, 0}, {0, 1}, {'N', -1}, u"b|f|g|e|c|a|d"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DBDataMgr d;
    Fill(&d, {u"id", u"amount", u"name", u"qty", u"qty_text"}, rows);
    d.Set_Field_Type(1, 'F');
    d.Set_Field_Type(3, 'I');
    for (size_t k = 0; k < c.fields.size(); ++k) ASSERT_EQ(d.Add_Sort_Key(c.fields[k], c.desc[k], c.modes[k]), 1);
    Sort_And_Check(&d);
    EXPECT_EQ(Column(&d, 0), c.want);
  }
}

TEST(DBData, SortKeyLimitsAndSmallSets) {
  DBDataMgr d;
  Fill(&d, {u"a"}, {{u"2"}});
  EXPECT_EQ(d.Add_Sort_Key(1, 0), 0) << "bad field";
  for (int k = 0; k < 30; ++k) ASSERT_EQ(d.Add_Sort_Key(0, k & 1), 1);
  EXPECT_EQ(d.Add_Sort_Key(0, 0), 0) << "a 31st key is refused";
  EXPECT_EQ(d.Set_Sort_Key(0, 1), 1);
  EXPECT_EQ(d.Get_Sort_Key_Count(), 1) << "Set replaces every key by one";
  d.Set_Field_Count(1);  // same count with rows: nothing changes
  Sort_And_Check(&d);
  EXPECT_EQ(DBDataMgr().Sort(), 1) << "an empty set sorts";
}

// The order is exact whatever the sort carries beside the rows (short numbers, text prefixes): a stable
// reference sort by Dec_Cmp and W_Cmp, long numbers, shared beginnings, units around the ideographs.
TEST(DBData, SortMatchesAnExactReference) {
  const struct { const char* name; bool text_first; int desc; int max_digits; } rounds[] = {
      {"number then name", false, 0, 6}, {"number descending then name", false, 1, 6}, {"long numbers then name", false, 0, 25},
      {"name then number", true, 0, 6}, {"name descending then number", true, 1, 6}};
  const char16_t* names[] = {u"张三", u"李四", u"王五", u"abc", u"", u"啊", u"人力资源部一", u"人力资源部二",
                             u"人力资源", u"人力资源部", u"ab\u3000c", u"ab\uFF21", u"ab\u4E00x", u"abcd", u"abcde"};
  std::mt19937 rng(7);
  for (const auto& round : rounds) {
    SCOPED_TRACE(round.name);
    DBDataMgr d;
    d.Set_Field_Count(2);
    d.Set_Field_Type(0, 'F');
    std::vector<std::pair<std::u16string, std::u16string>> ref;
    for (int i = 0; i < 600; ++i) {
      std::u16string num = rng() % 7 == 0 ? u"-" : u"";
      int digits = 1 + static_cast<int>(rng() % static_cast<unsigned>(round.max_digits));
      for (int k = 0; k < digits; ++k) num += static_cast<char16_t>(u'0' + rng() % (k ? 10 : 3));
      if (rng() % 2) num += std::u16string(u".") + static_cast<char16_t>(u'0' + rng() % 10) + (rng() % 2 ? u"0" : u"");
      ref.emplace_back(num, names[rng() % (sizeof names / sizeof names[0])]);
      d.Add_Row();
      d.Set_Value(0, ref.back().first.c_str());
      d.Set_Value(1, ref.back().second.c_str());
    }
    d.Set_Sort_Key(round.text_first ? 1 : 0, round.desc);
    d.Add_Sort_Key(round.text_first ? 0 : 1, 0);
    d.Sort();
    std::stable_sort(ref.begin(), ref.end(), [&](const auto& x, const auto& y) {
      int n = Dec_Cmp(x.first.c_str(), y.first.c_str()), t = W_Cmp(x.second.c_str(), y.second.c_str());
      int first = round.text_first ? t : n, second = round.text_first ? n : t;
      if (round.desc) first = -first;
      return first ? first < 0 : second < 0;
    });
    for (int r = 0; r < d.Get_Row_Count(); ++r) {
      const auto& want = ref[static_cast<size_t>(r)];
      ASSERT_EQ(Dec_Cmp(d.Get_Row_Value(r, 0), want.first.c_str()), 0) << "row " << r;
      ASSERT_EQ(S(d.Get_Row_Value(r, 1)), want.second) << "row " << r;
    }
  }
}

// Rows in order skip the sort; a row out of place past the four units carried beside the rows (codes
// sharing "D0000"), or equal keys, still sort. want: the rows' former numbers after sorting.
TEST(DBData, SortOfRowsAlmostInOrder) {
  const struct { const char* name; std::vector<const char16_t*> codes; const char16_t* want; } cases[] = {
      {"one row", {u"A"}, u"0"}, {"two in order", {u"A", u"B"}, u"0|1"}, {"two reversed", {u"B", u"A"}, u"1|0"},
      {"in order", {u"D00001", u"D00002", u"D00003", u"D00004"}, u"0|1|2|3"},
      {"last row first", {u"D00002", u"D00003", u"D00004", u"D00001"}, u"3|0|1|2"},
      {"one pair swapped", {u"D00001", u"D00003", u"D00002", u"D00004"}, u"0|2|1|3"},
      {"last pair swapped", {u"D00001", u"D00002", u"D00004", u"D00003"}, u"0|1|3|2"},
      {"a prefix before its longer text", {u"D0000", u"D00001", u"D0000"}, nullptr},
      {"equal keys in order", {u"A", u"A", u"B", u"B"}, nullptr},
      {"equal keys out of order", {u"B", u"A", u"B", u"A"}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DBDataMgr d;
    d.Set_Field_Count(2);
    for (size_t i = 0; i < c.codes.size(); ++i) {
      d.Add_Row();
      d.Set_Value(0, std::u16string(1, static_cast<char16_t>(u'0' + i)).c_str());
      d.Set_Value(1, c.codes[i]);
    }
    ASSERT_EQ(d.Set_Sort_Key(1, 0), 1);
    Sort_And_Check(&d);
    if (!c.want) continue;
    EXPECT_EQ(Column(&d, 0), c.want);
    EXPECT_TRUE(d.Sort() == 1 && Column(&d, 0) == c.want) << "sorted again, the rows stay where they are";
  }
}

// ---------------------------------------------------------------- seek and find

TEST(DBData, SeekOnFieldZero) {
  DBDataMgr d;
  EXPECT_EQ(d.Seek(u"x"), 0) << "empty set";
  Fill(&d, {u"code", u"n"}, {{u"01", u"a"}, {u"02", u"b"}, {u"05", u"c"}, {u"10", u"d"}, {u"啊", u"e"}, {u"吧", u"f"}});
  const struct { const char16_t* key; int row; } cases[] = {  // row -1: not found
      {u"01", 0}, {u"05", 2}, {u"10", 3}, {u"吧", 5}, {u"啊", 4}, {u"03", -1}, {u"", -1}, {u"99", -1}, {u"1", -1}};
  for (const auto& c : cases) {
    d.Go_To_Row(1);
    EXPECT_EQ(d.Seek(c.key), c.row >= 0) << c.row;
    EXPECT_EQ(d.Get_Cur_Row(), c.row >= 0 ? c.row : 1) << c.row;
  }
}

TEST(DBData, FindWithConditions) {
  DBDataMgr d;
  Fill(&d, {u"dept", u"Name", u"note"},
       {{u"D1", u"张三", nullptr}, {u"D2", u"李四", u""}, {u"D1", u"王五", u"x"}, {u"D1", u"张三", u"y"}});
  DBDataMgr_Find_List conds;
  conds.Add_Cond(u"dept", u"D1");
  conds.Add_Cond(u"NAME", u"张三");
  EXPECT_TRUE(d.Find_First(&conds) == 1 && d.Get_Cur_Row() == 0);
  d.Next();
  EXPECT_TRUE(d.Find_Next(&conds) == 1 && d.Get_Cur_Row() == 3);
  d.Next();
  EXPECT_TRUE(d.Find_Next(&conds) == 1 && d.Get_Cur_Row() == 3) << "the current row is tested first";

  // Absent and empty cells match an empty value; a present value needs equal text.
  const struct { const char* name; int field; const char16_t* value; int found; int row; } singles[] = {
      {"absent cell, null value", 2, nullptr, 1, 0}, {"absent cell, empty value", 2, u"", 1, 0},
      {"text", 2, u"y", 1, 3},                      {"no such text", 2, u"z", 0, 3},
      {"Chinese", 1, u"王五", 1, 2},                 {"no case folding", 0, u"d2", 0, 3},
  };
  for (const auto& s : singles) {
    EXPECT_EQ(d.Find_First(s.field, s.value), s.found) << s.name;
    EXPECT_EQ(d.Get_Cur_Row(), s.row) << s.name;
  }
  d.First();
  d.Next();
  EXPECT_TRUE(d.Find_Next(2, u"") == 1 && d.Get_Cur_Row() == 1) << "an empty cell matches the empty value";

  DBDataMgr_Find_List unknown, cut;
  unknown.Add_Cond(u"missing", u"");
  cut.Add_Cond(u"note", std::u16string(200, u'v').c_str());
  EXPECT_EQ(d.Find_First(&unknown), 0) << "an unresolved name never matches";
  EXPECT_EQ(W_Len(cut.At(0).value), 120) << "a value is cut at 120 units";
  EXPECT_EQ(DBDataMgr().Find_First(&conds), 0);
}

// ---------------------------------------------------------------- allocation failures

// A set whose allocator refuses after a number of allocations, to see that a failure loses nothing.
class Failing_Set : public DBDataMgr {
 public:
  int budget = 1 << 30;
  int live = 0;

 protected:
  void* Mem_Alloc(size_t n, const char* tag) override {
    if (budget-- <= 0) return nullptr;
    ++live;
    return DBDataMgr::Mem_Alloc(n, tag);
  }
  void Mem_Free(void* p, const char* tag) override {
    --live;
    DBDataMgr::Mem_Free(p, tag);
  }
};

TEST(DBData, AllocationFailuresLoseNothing) {
  Kept_Log log;
  Failing_Set d;
  Fill(&d, {u"a", u"b"}, {{u"1", u"2"}, {u"3", u"4"}});
  d.Go_To_Row(0);
  d.budget = 0;
  EXPECT_EQ(d.Set_Value(0, u"longer"), 0);
  EXPECT_TRUE(log.Has("ERROR: unable to alloc for value"));
  EXPECT_EQ(S(d.Get_Value(0)), u"") << "a failed Set_Value leaves the cell absent";
  EXPECT_EQ(d.Set_Value(1, u"9"), 1) << "the same length needs no allocation";

  for (int budget = 0; budget < 8; ++budget) {
    d.budget = budget;
    int r = d.Insert_Field(1, u"new");
    d.budget = 1 << 30;
    if (r) {
      EXPECT_EQ(budget, 6) << "descriptor, name, caption, table and one array per row";
      break;
    }
    EXPECT_EQ(d.Get_Field_Count(), 2) << "a failed insert changes nothing (budget " << budget << ")";
    EXPECT_EQ(Column(&d, 1), u"9|4");
  }
  EXPECT_EQ(Column(&d, 2), u"9|4");

  d.budget = 0;
  EXPECT_EQ(d.Insert_Row(0), 0) << "a row placed before others is a heap block of its own";
  EXPECT_TRUE(log.Has("ERROR: unable to alloc for to_add"));
  EXPECT_EQ(d.Get_Row_Count(), 2);
  d.budget = 1 << 30;
  d.CFree();
  EXPECT_EQ(d.live, 0) << "everything allocated was freed";

  // Appended rows come from the block pool: the first one of a set needs its first block.
  Failing_Set e;
  e.Set_Field_Count(2);
  e.budget = 0;
  EXPECT_EQ(e.Add_Row() + e.Get_Row_Count(), 0);
  e.budget = 1 << 30;
  EXPECT_EQ(e.Add_Row(), 1);
  e.budget = 0;
  EXPECT_EQ(e.Add_Row(), 1) << "later rows fit in the block";
  EXPECT_EQ(e.Set_Value(0, u"first"), 1) << "a cell's first value fits in the block";
  EXPECT_EQ(e.Set_Value(0, u"second"), 0) << "a different length afterwards takes the heap";
  EXPECT_EQ(S(e.Get_Value(0)), u"");
  e.budget = 1 << 30;
  e.CFree();
  EXPECT_EQ(e.live, 0);
}

// Appended rows and their first values live in a block pool, later values on the heap: a cell set again
// and again never grows the pool, and whatever moves or drops cells keeps the values right.
TEST(DBData, PooledRowsAndValues) {
  Failing_Set d;
  Fill(&d, {u"a", u"b", u"c"}, {{u"x1", nullptr, u"z1"}, {u"x2", u"y2", nullptr}, {u"x3", u"y3", u"z3"}});
  const int live_after_fill = d.live;
  d.Go_To_Row(0);
  for (int i = 0; i < 1000; ++i) {  // toggles between absent, a heap value and lengths 1..3
    if (i % 4 == 3) {
      d.Set_Value(1, map_wchar(static_cast<const wchar16*>(nullptr)));
    } else {
      std::u16string v(static_cast<size_t>(1 + i % 4), u'v');
      ASSERT_EQ(d.Set_Value(1, v.c_str()), 1);
      ASSERT_EQ(d.Set_Value(0, v.c_str()), 1);
    }
  }
  EXPECT_LE(d.live, live_after_fill + 2) << "at most one heap value per changed cell";
  EXPECT_EQ(S(d.Get_Value(0)) + u"/" + S(d.Get_Value(1)), u"vvv/") << "the last turn made b absent";
  EXPECT_EQ(d.Set_Value_With_Len(2, u"z\0z", 3), 1);

  d.Go_To_Row(1);
  d.Set_Value(2, u"new in a pooled row");
  EXPECT_EQ(d.Insert_Field(1, u"ins"), 1);
  d.Go_To_Row(2);
  d.Set_Value(1, u"ins3");
  EXPECT_EQ(d.Drop_Field(u"b"), 1);
  const std::u16string want = u"a:vvv|x2|x3 ins:||ins3 c:z|new in a pooled row|z3";
  EXPECT_EQ(Cells(&d), want);

  DBDataMgr copy;
  copy.Set_Field_Count(3);
  EXPECT_EQ(copy.Append_Data(&d), 1) << "from pooled rows";
  EXPECT_EQ(Column(&copy, 0), u"vvv|x2|x3");
  const Bytes packed = Pack(&d);
  ASSERT_FALSE(packed.empty());
  d.Go_To_Row(0);
  EXPECT_EQ(d.Del_Row(), 1);
  d.Set_Sort_Key(0, 1);
  d.Sort();
  EXPECT_EQ(Column(&d, 0), u"x3|x2");
  EXPECT_EQ(d.Add_Row(), 1);
  d.Set_Value(0, u"x4");
  EXPECT_EQ(Column(&d, 0), u"x3|x2|x4");
  EXPECT_EQ(d.Unpack_Data(packed.data(), static_cast<int>(packed.size())), 1) << "unpacking over pooled rows";
  EXPECT_EQ(Cells(&d), want);
  d.Go_To_Row(0);
  EXPECT_EQ(d.Get_Value_Len(2), 3) << "the embedded zero came back";
  d.Go_To_Row(1);
  d.Set_Value(1, u"after unpack");
  EXPECT_EQ(Column(&d, 1), u"|after unpack|ins3");
  d.CFree();
  EXPECT_EQ(d.live, 0) << "everything allocated was freed";
}

}  // namespace
