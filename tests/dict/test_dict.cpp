// Dictionary definition, loading, index, lookups, stop rules, per-user restriction, filters and
// single-entry changes, on both drivers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dict/dict_mgr.h"
#include "tests/dict/dict_fixture.h"

using zem_test::Dict_Test;
using zem_test::U;
using zem_test::Utf8;

namespace {

using Code_List = std::vector<std::string>;

TEST_P(Dict_Test, StandardDictionaryKeepsOrderIdOrderAndUsesSeparateIndex) {
  TDict* d = Dict_Client_List()->Get_Dict("dept", 1);
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->Is_Loaded());
  EXPECT_TRUE(d->Is_App_Dict());
  EXPECT_EQ(d->Sort_Col(), "order_id,code");
  EXPECT_EQ(d->Index_Mode(), TDict::INDEX_SEPARATE);
  EXPECT_EQ(Codes(d), (Code_List{"C", "A", "B", "G"}));
  EXPECT_EQ(d->Get_Field_Type(0), 'S');
  EXPECT_EQ(Utf8(d->Get_Field_Name(1)), "name");
  // The same object on the next request; a missing id without create gives null.
  EXPECT_EQ(Dict_Client_List()->Get_Dict("dept", 1), d);
  EXPECT_EQ(Dict_Client_List()->Get_Dict("nosuch", 0), nullptr);
}

TEST_P(Dict_Test, SeekCodeAndStopRulesOfStandardDictionary) {
  TDict* d = Dict_Client_List()->Get_Dict("dept", 1);
  ASSERT_NE(d, nullptr);
  struct Row {
    const char* name;
    const char16_t* code;
    int found;
    const char* dict_name;
    int stop;
  } rows[] = {
      {"plain entry", u"A", 1, "部门甲", 0},
      {"first by order_id", u"C", 1, "部门丙", 0},
      {"stop_flag Y is found but stopped", u"B", 1, "停用部门", 1},
      {"group is stopped", u"G", 1, "分组", 1},
      {"missing code", u"Z", 0, "", 0},
      {"case matters", u"a", 0, "", 0},
      {"empty code", u"", 0, "", 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    auto g = d->Lock();
    ASSERT_EQ(d->Seek_Code(0, r.code), r.found);
    if (!r.found) continue;
    EXPECT_EQ(Utf8(d->Get_Value(1)), r.dict_name);
    EXPECT_EQ(d->Is_Stop(), r.stop);
  }
  // Hit counts follow the successful index look-ups.
  d->Seek_Code(0, u"A");
  auto g = d->Lock();
  int hits_a = -1;
  for (const SQLCA_Row_Index_Stru& e : d->Index())
    if (Utf8(e.key) == "A") hits_a = e.hits;
  EXPECT_EQ(hits_a, 2);
  // Another field scans the rows.
  EXPECT_EQ(d->Seek_Code(1, U("停用部门").c_str()), 1);
  EXPECT_EQ(Utf8(d->Get_Value(0)), "B");
  EXPECT_EQ(d->Seek_Code(7, u"A"), 0);
}

TEST_P(Dict_Test, IndexModesFollowSqlAndSortCol) {
  struct Row {
    const char* id;
    const char* sql;
    const char* sort_col;
    int mode;
    Code_List order;
  } rows[] = {
      {"no_order", "select code,name,flag from t_item", "", TDict::INDEX_SORTED, {"k1", "k2", "k3", "k4,k5"}},
      {"order_by", "select code,name,flag from t_item order by name", "", TDict::INDEX_SEPARATE,
       {"k2", "k3", "k4,k5", "k1"}},
      {"sort_name", "select code,name,flag from t_item", "name", TDict::INDEX_SEPARATE, {"k2", "k3", "k4,k5", "k1"}},
      {"sort_code", "select code,name,flag from t_item", "code,name", TDict::INDEX_SORTED, {"k1", "k2", "k3", "k4,k5"}},
      {"sort_unknown", "select code,name,flag from t_item", "nosuch", TDict::INDEX_SORTED, {"k1", "k2", "k3", "k4,k5"}},
  };
  for (const Row& r : rows) Define(r.id, r.sql, r.sort_col);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.id);
    TDict* d = Dict_Client_List()->Get_Dict(r.id, 1);
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->Is_App_Dict());
    EXPECT_EQ(d->Index_Mode(), r.mode);
    EXPECT_EQ(Codes(d), r.order);
    for (const char* code : {"k1", "k2", "k3", "k4,k5"}) {
      auto g = d->Lock();
      ASSERT_EQ(d->Seek_Code(0, U(code).c_str()), 1) << code;
      EXPECT_EQ(Utf8(d->Get_Value(0)), code);
    }
    EXPECT_EQ(d->Seek_Code(0, u"k0"), 0);
    EXPECT_EQ(d->Seek_Code(0, u"k9"), 0);
  }
}

TEST_P(Dict_Test, StopRulesOfOwnSqlDictionary) {
  Define("ext_rule", "select code,name,flag from t_item", "", "flag", "X,Z");
  Define("no_rule", "select code,name,flag from t_item");
  TDict* with = Dict_Client_List()->Get_Dict("ext_rule", 1);
  TDict* without = Dict_Client_List()->Get_Dict("no_rule", 1);
  ASSERT_NE(with, nullptr);
  ASSERT_NE(without, nullptr);
  struct Row {
    const char16_t* code;
    int stop_with_rule;
    int stop_without_rule;
  } rows[] = {
      {u"k3", 1, 0},     // flag X is listed
      {u"k2", 0, 0},     // flag Q is not
      {u"k1", 0, 0},     // empty flag
      {u"k4,k5", 1, 1},  // a comma in the code always stops
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(Utf8(r.code));
    auto g1 = with->Lock();
    ASSERT_EQ(with->Seek_Code(0, r.code), 1);
    EXPECT_EQ(with->Is_Stop(), r.stop_with_rule);
    auto g2 = without->Lock();
    ASSERT_EQ(without->Seek_Code(0, r.code), 1);
    EXPECT_EQ(without->Is_Stop(), r.stop_without_rule);
  }
}

TEST_P(Dict_Test, ExtendedDictionaryLoadsBeside) {
  Define("with_ext", "select code,name from t_item", "", "", "", "select code,name from app_dict_def where dict_id='dept'");
  TDict* d = Dict_Client_List()->Get_Dict("with_ext", 1);
  ASSERT_NE(d, nullptr);
  ASSERT_NE(d->Ext_Dict(), nullptr);
  EXPECT_EQ(d->Ext_Dict()->Dict_Id(), "with_ext.ext");
  EXPECT_TRUE(d->Ext_Dict()->Is_Loaded());
  EXPECT_EQ(Codes(d->Ext_Dict()), (Code_List{"A", "B", "C", "G"}));
  EXPECT_EQ(Dict_Client_List()->Get_Dict("dept", 1)->Ext_Dict(), nullptr);
}

TEST_P(Dict_Test, FailedLoadIsNotListed) {
  Define("broken", "select code,name from no_such_table");
  EXPECT_EQ(Dict_Client_List()->Get_Dict("broken", 1), nullptr);
  EXPECT_EQ(Dict_Client_List()->Get_Dict("broken", 0), nullptr);
  EXPECT_EQ(Dict_Client_List()->Get_Dict("", 1), nullptr);
  EXPECT_EQ(Dict_Client_List()->Get_Dict(nullptr, 1), nullptr);
}

TEST_P(Dict_Test, UserRestrictionKeepsOnlyTheUsersCodes) {
  TSQLCA q;
  Ok(q, {u"insert into mup_user_bo values ('u1','dept','A')", u"insert into mup_user_bo values ('u1','dept','B')",
         u"insert into mup_user_bo values ('u1','other_bo','C')", u"insert into mup_user_bo values ('u2','x','C')"});
  struct Row {
    const char* user;
    Code_List codes;
  } rows[] = {
      {"u1", {"A", "B"}},
      {"u2", {"C", "A", "B", "G"}},  // values for other dictionaries only
      {"", {"C", "A", "B", "G"}},    // no user
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.user);
    Dict_Client_List()->Clear();
    Dict_Client_List()->Set_User_Id(r.user);
    TDict* d = Dict_Client_List()->Get_Dict("dept", 1);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(Codes(d), r.codes);
    EXPECT_EQ(d->Seek_Code(0, u"A"), 1);
  }
  TDict* ubo = Dict_Client_List()->Get_Dict("ubo.u1", 1);
  ASSERT_NE(ubo, nullptr);
  EXPECT_EQ(ubo->Sort_Col(), "bo_id,val");
  EXPECT_EQ(ubo->File_Cache(), 0);
  EXPECT_EQ(Codes(ubo), (Code_List{"dept", "dept", "other_bo"}));
}

int Drop_C(TDict* d) {
  auto g = d->Lock();
  if (d->Seek_Code(0, u"C")) d->Del_Row();
  return 1;
}

TEST_P(Dict_Test, FetchFilterRunsAfterLoad) {
  ASSERT_EQ(Dict_Fetch_Filter_Mgr()->Register("dept", Drop_C), 1);
  TDict* d = Dict_Client_List()->Get_Dict("dept", 1);
  Dict_Fetch_Filter_Mgr()->Register("dept", nullptr);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(Codes(d), (Code_List{"A", "B", "G"}));
  EXPECT_EQ(d->Seek_Code(0, u"G"), 1);  // the index was rebuilt after the filter
  EXPECT_EQ(Dict_Fetch_Filter_Mgr()->Find("dept"), nullptr);
  EXPECT_EQ(Dict_Fetch_Filter_Mgr()->Register("", Drop_C), 0);
}

TEST_P(Dict_Test, AddAndEraseCodes) {
  for (const char* id : {"dept", "plain"}) {
    SCOPED_TRACE(id);
    if (std::string(id) == "plain") Define("plain", "select code,name,flag from t_item");
    TDict* d = Dict_Client_List()->Get_Dict(id, 1);
    ASSERT_NE(d, nullptr);
    int rows = d->Get_Row_Count();
    ASSERT_EQ(d->Add_Code(u"AA", U("新增").c_str()), 1);
    EXPECT_EQ(d->Add_Code(u"", u"no code"), 0);
    EXPECT_EQ(d->Get_Row_Count(), rows + 1);
    std::u16string name;
    ASSERT_EQ(d->Get_Name(u"AA", &name), 1);
    EXPECT_EQ(Utf8(name.c_str()), "新增");
    int ts = d->Time_Stamp();
    ASSERT_EQ(d->Erase_Code(u"AA"), 1);
    EXPECT_EQ(d->Time_Stamp(), ts);  // load mode 0 keeps its time stamp
    EXPECT_EQ(d->Get_Name(u"AA", &name), 0);
    EXPECT_EQ(d->Erase_Code(u"AA"), 0);
    EXPECT_EQ(d->Get_Row_Count(), rows);
    // Every remaining code is still found after the change.
    for (const std::string& code : Codes(d)) EXPECT_EQ(d->Seek_Code(0, U(code).c_str()), 1) << code;
  }
}

TEST_P(Dict_Test, RefreshReadsTheDatabaseAgain) {
  TDict* d = Dict_Client_List()->Get_Dict("dept", 1);
  ASSERT_NE(d, nullptr);
  TSQLCA q;
  Ok(q, {u"insert into app_dict_def values ('dept','D','new','N','N',0,'',0)"});
  int ver = d->Local_Version();
  ASSERT_EQ(Dict_Client_List()->Refresh_Dict("dept"), 1);
  EXPECT_EQ(d->Local_Version(), ver + 1);
  EXPECT_EQ(d->Time_Stamp(), ver + 1);
  EXPECT_EQ(Codes(d), (Code_List{"D", "C", "A", "B", "G"}));
  EXPECT_EQ(Dict_Client_List()->Refresh_Dict("nosuch"), 0);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Drivers, Dict_Test, ::testing::Values("sqlite", "pg"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

namespace {

// A change set made as a server would: erased codes and modified rows as packed sets.
TEST_P(Dict_Test, ChangeSetErasesAndModifies) {
  Sqlca_Set_Para_Hooks();
  Define("items", "select code,name,flag from t_item");
  TDict* d = Dict_Client_List()->Get_Dict("items", 1);
  ASSERT_NE(d, nullptr);
  TSQLCA erase, modi;
  erase.Set_Field_Count(1);
  erase.Set_Field_Name(0, u"code");
  for (const char16_t* c : {u"k1", u"nosuch"}) {
    erase.Add_Row();
    erase.Set_Value(0, c);
  }
  modi.Set_Field_Count(2);
  modi.Set_Field_Name(0, u"code");
  modi.Set_Field_Name(1, u"name");
  for (auto cn : {std::pair<const char16_t*, const char16_t*>{u"k2", u"Alpha2"}, {u"k0", u"Zero"}}) {
    modi.Add_Row();
    modi.Set_Value(0, cn.first);
    modi.Set_Value(1, cn.second);
  }
  TParaMgr pack;
  pack.Put_Int(u"time_stamp", 77);
  ASSERT_NE(pack.Put_Sqlca_Para(u"erase_data_pack", &erase), nullptr);
  ASSERT_NE(pack.Put_Sqlca_Para(u"modi_data_pack", &modi), nullptr);
  ASSERT_EQ(d->Unpack_Part(&pack), 1);
  EXPECT_EQ(d->Time_Stamp(), 77);
  EXPECT_EQ(d->Local_Version(), 77);
  EXPECT_EQ(Codes(d), (Code_List{"k0", "k2", "k3", "k4,k5"}));
  std::u16string name;
  ASSERT_EQ(d->Get_Name(u"k2", &name), 1);
  EXPECT_EQ(Utf8(name.c_str()), "Alpha2");
  ASSERT_EQ(d->Get_Name(u"k0", &name), 1);
  EXPECT_EQ(Utf8(name.c_str()), "Zero");
  EXPECT_EQ(d->Unpack_Part(nullptr), 0);
  // A set that does not unpack changes nothing.
  TParaMgr bad;
  bad.Put_Int(u"time_stamp", 99);
  bad.Put_Str(u"erase_data_pack", "not a packed set");
  EXPECT_EQ(d->Unpack_Part(&bad), 0);
  EXPECT_EQ(d->Time_Stamp(), 77);
  EXPECT_EQ(Codes(d), (Code_List{"k0", "k2", "k3", "k4,k5"}));
}

}  // namespace
