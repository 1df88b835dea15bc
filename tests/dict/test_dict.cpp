// Dictionary definition, loading, index, lookups, stop rules, per-user restriction, filters, refresh,
// time stamps, failed loads and single-entry changes, on both drivers.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "dict/dict_db.h"
#include "dict/dict_mgr.h"
#include "frame/log_mgr.h"
#include "tests/dict/dict_fixture.h"

using zem_test::Dict_Test;
using zem_test::U;
using zem_test::Utf8;

namespace {

using Code_List = std::vector<std::string>;

// A standard dictionary (no sql) or one of its own SQL: rows in the kept order, index mode, and every
// code found again; the same object on the next request.
TEST_P(Dict_Test, IndexModesFollowSqlAndSortCol) {
  struct Row {
    const char* id;
    const char* sql;  // null: the standard dictionary of app_dict_def
    const char* sort_col;
    int mode;
    Code_List order;
  } rows[] = {
      {"dept", nullptr, "order_id,code", TDict::INDEX_SEPARATE, {"C", "A", "B", "G"}},
      {"no_order", "select code,name,flag from t_item", "", TDict::INDEX_SORTED, {"k1", "k2", "k3", "k4,k5"}},
      {"order_by", "select code,name,flag from t_item order by name", "", TDict::INDEX_SEPARATE,
       {"k2", "k3", "k4,k5", "k1"}},
      {"sort_name", "select code,name,flag from t_item", "name", TDict::INDEX_SEPARATE, {"k2", "k3", "k4,k5", "k1"}},
      {"sort_code", "select code,name,flag from t_item", "code,name", TDict::INDEX_SORTED, {"k1", "k2", "k3", "k4,k5"}},
      {"sort_unknown", "select code,name,flag from t_item", "nosuch", TDict::INDEX_SORTED, {"k1", "k2", "k3", "k4,k5"}},
  };
  for (const Row& r : rows)
    if (r.sql) Define(r.id, r.sql, r.sort_col);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.id);
    TDict* d = Dict_Client_List()->Get_Dict(r.id, 1);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(std::make_tuple(d->Is_Loaded(), d->Is_App_Dict(), d->Sort_Col(), d->Index_Mode(), d->Get_Field_Type(0)),
              std::make_tuple(1, r.sql ? 0 : 1, std::string(r.sort_col), r.mode, 'S'));
    EXPECT_EQ(Codes(d), r.order);
    for (const std::string& code : r.order) {
      auto g = d->Lock();
      ASSERT_EQ(d->Seek_Code(0, U(code).c_str()), 1) << code;
      EXPECT_EQ(Utf8(d->Get_Value(0)), code);
    }
    EXPECT_EQ(d->Seek_Code(0, u"k0"), 0);
    EXPECT_EQ(d->Seek_Code(0, u"k9"), 0);
    EXPECT_EQ(Dict_Client_List()->Get_Dict(r.id, 1), d);
  }
  EXPECT_EQ(Dict_Client_List()->Get_Dict("nosuch", 0), nullptr);
  EXPECT_EQ(Dict_Client_List()->Get_Dict("", 1), nullptr);
}

// Is_Stop on the standard dictionary ('Y' in is_group or stop_flag, in the tables hosts create with
// Dict_Create_Def_Tables) and on own-SQL ones (a comma in the code; the ext_col value listed in
// ext_col_val).
TEST_P(Dict_Test, SeekCodeAndStopRules) {
  TSQLCA again;  // a host that makes the tables at every start keeps their rows
  ASSERT_EQ(Dict_Create_Def_Tables(&again), 0) << Utf8(again.Get_Error_Msg());
  ASSERT_EQ(again.Commit(), 0);
  Define("ext_rule", "select code,name,flag from t_item", "", "flag", "X,Z");
  Define("no_rule", "select code,name,flag from t_item");
  struct Row {
    const char* dict;
    const char16_t* code;
    int found;
    const char* name;
    int stop;
  } rows[] = {
      {"dept", u"A", 1, "部门甲", 0},
      {"dept", u"C", 1, "部门丙", 0},
      {"dept", u"B", 1, "停用部门", 1},  // stop_flag Y: found, but stopped
      {"dept", u"G", 1, "分组", 1},      // a group
      {"dept", u"Z", 0, "", 0},
      {"dept", u"a", 0, "", 0},  // case matters
      {"dept", u"", 0, "", 0},
      {"ext_rule", u"k3", 1, "Beta", 1},  // flag X is listed
      {"ext_rule", u"k2", 1, "Alpha", 0},  // flag Q is not
      {"ext_rule", u"k1", 1, "Gamma", 0},  // empty flag
      {"ext_rule", u"k4,k5", 1, "Delta", 1},
      {"no_rule", u"k3", 1, "Beta", 0},
      {"no_rule", u"k4,k5", 1, "Delta", 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.dict) + " " + Utf8(r.code));
    TDict* d = Dict_Client_List()->Get_Dict(r.dict, 1);
    ASSERT_NE(d, nullptr);
    auto g = d->Lock();
    ASSERT_EQ(d->Seek_Code(0, r.code), r.found);
    if (!r.found) continue;
    EXPECT_EQ(Utf8(d->Get_Value(1)), r.name);
    EXPECT_EQ(d->Is_Stop(), r.stop);
  }
  // Hit counts follow the index look-ups; another field scans the rows.
  TDict* d = Dict_Client_List()->Get_Dict("dept", 1);
  auto g = d->Lock();
  for (const SQLCA_Row_Index_Stru& e : d->Index()) {
    if (Utf8(e.key) == "A") {
      EXPECT_EQ(e.hits, 1);
    }
  }
  EXPECT_EQ(d->Seek_Code(1, U("停用部门").c_str()), 1);
  EXPECT_EQ(Utf8(d->Get_Value(0)), "B");
  EXPECT_EQ(d->Seek_Code(7, u"A"), 0);
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

// A failed load keeps an empty dictionary marked loaded: the grid asking at every cell does not run
// the failing SQL again, and once the cause is gone (and the retry time has passed) it loads. Causes:
// the dictionary's table missing, or (PostgreSQL) a server that stopped answering while the definition
// is read, which must not pass for a standard dictionary without rows (and be cached so).
TEST_P(Dict_Test, FailedLoadIsKeptAndRetriedLater) {
  std::u16string home = U(dir_);
  Pub_Para_Put_WStr(u"app_home_path", home.c_str());
  struct Row { int kind; bool lost; };
  for (Row r : {Row{TDict_Client_List::DICT_KIND_SQL, false}, Row{TDict_Client_List::DICT_KIND_DB, false},
                Row{TDict_Client_List::DICT_KIND_SQL, true}, Row{TDict_Client_List::DICT_KIND_DB, true}}) {
    if (r.lost && !Pg()) continue;
    const int kind = r.kind;
    SCOPED_TRACE(std::to_string(kind) + (r.lost ? " lost" : ""));
    Dict_Client_List()->Clear();
    Dict_Client_List()->Set_Dict_Kind(kind);
    std::string id = "later" + std::to_string(kind) + (r.lost ? "l" : ""), table = "t_" + id;
    Define(id, "select code,name from " + table);
    TSQLCA q;
    std::u16string create = U("create table " + table + " (code varchar(10), name varchar(10))");
    std::u16string fill = U("insert into " + table + " values ('x1','one')");
    pid_t stopped = 0;
    if (r.lost) {
      Ok(q, {create.c_str(), fill.c_str()});
      std::u16string pid = q.Exec(u"select pg_backend_pid()") == 0 ? q.Get_Value(0) : u"";
      stopped = std::stoi(Utf8(pid.c_str()));
      ASSERT_EQ(kill(stopped, SIGSTOP), 0);
      Pub_Para_Put_Int(u"db_statement_timeout", 1);
    }
    Pub_Para_Put_Int(u"dict_load_retry_ms", 3600000);
    Log_Mgr()->Set_Keep(400);
    TDict* d = Dict_Client_List()->Get_Dict(id.c_str(), 1);
    if (stopped) {
      kill(stopped, SIGCONT);
      Pub_Para_Put_Int(u"db_statement_timeout", 30);
    }
    for (int cell = 0; cell < 50; ++cell) EXPECT_EQ(Dict_Client_List()->Get_Dict(id.c_str(), 1), d);
    std::string log = Log_Mgr()->Last_Lines();
    Log_Mgr()->Set_Keep(0);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->Is_Loaded());
    EXPECT_TRUE(d->Load_Failed());
    EXPECT_EQ(d->Get_Row_Count(), 0);
    EXPECT_EQ(d->Seek_Code(0, u"x1"), 0);
    size_t runs = 0;
    const std::string ran = "from " + table;
    for (size_t at = log.find(ran); at != std::string::npos; at = log.find(ran, at + 1)) ++runs;
    EXPECT_EQ(runs, r.lost ? 0u : 1u) << log;
    if (!r.lost) Ok(q, {create.c_str(), fill.c_str()});
    EXPECT_EQ(Dict_Client_List()->Get_Dict(id.c_str(), 1)->Get_Row_Count(), 0);  // not yet time
    Pub_Para_Put_Int(u"dict_load_retry_ms", 0);
    EXPECT_EQ(Dict_Client_List()->Get_Dict(id.c_str(), 1), d);
    EXPECT_FALSE(d->Load_Failed());
    EXPECT_EQ(Codes(d), Code_List{"x1"});
    EXPECT_EQ(d->Is_Time_Stamp_Changed(), 0);
  }
  Pub_Para_Put_Int(u"dict_load_retry_ms", TDict_Client_List::DEFAULT_RETRY_MS);
  Dict_Client_List()->Set_Dict_Kind(TDict_Client_List::DICT_KIND_SQL);
  Pub_Para_Put_WStr(u"app_home_path", u"");
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

// Entries added and erased; time stamps after loads, changes and refreshes (a fresh load holds the
// local version, so nothing reads as changed); a refresh reads the definition again.
TEST_P(Dict_Test, ChangesStampsAndRefresh) {
  TSQLCA q;
  Ok(q, {u"insert into app_dict_sql values ('own','select code,name,flag from t_item','','flag','','','',"
         u"'flag','X')"});
  for (const char* id : {"dept", "own"}) {
    SCOPED_TRACE(id);
    TDict* d = Dict_Client_List()->Get_Dict(id, 1);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->Time_Stamp(), d->Local_Version());
    EXPECT_EQ(d->Is_Time_Stamp_Changed(), 0);
    int rows = d->Get_Row_Count();
    ASSERT_EQ(d->Add_Code(u"AA", U("新增").c_str()), 1);
    EXPECT_EQ(d->Add_Code(u"", u"no code"), 0);
    std::u16string name;
    ASSERT_EQ(d->Get_Name(u"AA", &name), 1);
    EXPECT_EQ(Utf8(name.c_str()), "新增");
    int ts = d->Time_Stamp();
    ASSERT_EQ(d->Erase_Code(u"AA"), 1);
    EXPECT_EQ(d->Time_Stamp(), ts);  // load mode 0 keeps its time stamp
    EXPECT_EQ(d->Erase_Code(u"AA"), 0);
    EXPECT_EQ(d->Get_Row_Count(), rows);
    for (const std::string& code : Codes(d)) EXPECT_EQ(d->Seek_Code(0, U(code).c_str()), 1) << code;
  }
  // Refresh: the database's rows and the app_dict_sql row are read again.
  Ok(q, {u"insert into app_dict_def values ('dept','D','new','N','N',0,'',0)",
         u"update app_dict_sql set ext_col_val='Q' where dict_id='own'"});
  TDict* dept = Dict_Client_List()->Get_Dict("dept", 0);
  int ver = dept->Local_Version();
  ASSERT_EQ(Dict_Client_List()->Refresh_Dict("dept"), 1);
  EXPECT_EQ(dept->Time_Stamp(), ver + 1);
  EXPECT_EQ(dept->Is_Time_Stamp_Changed(), 0);
  EXPECT_EQ(Codes(dept), (Code_List{"D", "C", "A", "B", "G"}));
  TDict* own = Dict_Client_List()->Get_Dict("own", 0);
  ASSERT_EQ(Dict_Client_List()->Refresh_Dict("own"), 1);
  EXPECT_EQ(own->Parent_Col(), "flag");
  EXPECT_EQ(own->Ext_Col(), "flag");
  EXPECT_EQ(own->Ext_Col_Val(), "Q");
  for (auto stop : {std::pair<const char16_t*, int>{u"k2", 1}, {u"k3", 0}}) {
    auto g = own->Lock();
    ASSERT_EQ(own->Seek_Code(0, stop.first), 1);
    EXPECT_EQ(own->Is_Stop(), stop.second) << Utf8(stop.first);
  }
  EXPECT_EQ(Dict_Client_List()->Refresh_Dict("nosuch"), 0);
  // The base kind has no server: nothing to fetch, its own check does nothing.
  TSQLCA keys;
  keys.Set_Field_Count(1);
  keys.Add_Row();
  keys.Set_Value(0, u"x");
  EXPECT_EQ(dept->Load_Part_Data(&keys), 1);
  EXPECT_EQ(dept->Check_Dict(), 1);
}

}  // namespace

// A dictionary that cannot be read again keeps serving the rows it has and says it is stale (its flag,
// the log); with a file cache, a process that starts afresh serves the cache file;
// the next reload that succeeds brings the new rows and clears the mark.
TEST_P(Dict_Test, ReloadThatFailsKeepsServingAndSaysStale) {
  Pub_Para_Put_WStr(u"app_home_path", U(dir_).c_str());
  for (int kind : {TDict_Client_List::DICT_KIND_SQL, TDict_Client_List::DICT_KIND_DB}) {
    SCOPED_TRACE(kind == TDict_Client_List::DICT_KIND_DB ? "file cache" : "plain");
    Dict_Client_List()->Clear();
    Dict_Client_List()->Set_Dict_Kind(kind);
    const std::string id = "st" + std::to_string(kind), table = "t_" + id;
    Define(id, "select code,name from " + table);
    TSQLCA q;
    const std::u16string make = U("create table " + table + " (code varchar(10), name varchar(10))");
    const std::u16string fill = U("insert into " + table + " values ('a','甲'),('b','乙')");
    Ok(q, {make.c_str(), fill.c_str()});
    TDict* d = Dict_Client_List()->Get_Dict(id.c_str(), 1);
    ASSERT_EQ(Codes(d), (Code_List{"a", "b"}));
    Ok(q, {U("drop table " + table).c_str()});
    zem_test::Log_Capture log;
    EXPECT_EQ(Dict_Client_List()->Refresh_Dict(id.c_str()), 0);
    EXPECT_TRUE(d->Is_Stale());
    EXPECT_TRUE(d->Load_Failed());
    EXPECT_EQ(Codes(d), (Code_List{"a", "b"})) << "the rows held serve";
    EXPECT_TRUE(log.Has("dict " + id + ": the reload failed; the 2 rows held serve meanwhile (stale)")) << log.Text();
    if (kind == TDict_Client_List::DICT_KIND_DB) {
      Dict_Client_List()->Clear();  // a process that starts afresh: the cache file serves
      d = Dict_Client_List()->Get_Dict(id.c_str(), 1);
      EXPECT_FALSE(d->Load_Failed());
      EXPECT_EQ(Codes(d), (Code_List{"a", "b"}));
    }
    Ok(q, {make.c_str(), U("insert into " + table + " values ('c','丙')").c_str()});
    EXPECT_EQ(Dict_Client_List()->Refresh_Dict(id.c_str()), 1);
    EXPECT_FALSE(d->Is_Stale());
    EXPECT_EQ(Codes(d), Code_List{"c"});
  }
  Dict_Client_List()->Set_Dict_Kind(TDict_Client_List::DICT_KIND_SQL);
  Pub_Para_Put_WStr(u"app_home_path", u"");
}

INSTANTIATE_TEST_SUITE_P(Drivers, Dict_Test, ::testing::Values("sqlite", "pg"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });
