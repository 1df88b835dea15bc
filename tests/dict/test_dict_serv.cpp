// The dictionary server's calls, made through R_Call in local call mode with packs built by hand, on
// both drivers: whole transfers, change sets after server-side changes and refreshes, the bounded
// history, block-compressed transfers, part loads and errors (the many-dictionary check runs end to
// end in test_dict_net.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "core/data/para.h"
#include "dict/dict_serv.h"
#include "dict/dict_zip.h"
#include "link/r_call.h"
#include "tests/dict/dict_fixture.h"

using zem_test::Dict_Test;
using zem_test::U;
using zem_test::Utf8;

namespace {

using Code_List = std::vector<std::string>;

class Dict_Serv : public Dict_Test {
 protected:
  void SetUp() override {
    Dict_Test::SetUp();
    if (HasFatalFailure()) return;
    Dict_Serv_Register();
    Dict_Mgr_Serv()->Clear();
    Pub_Para_Put_Int(u"dict_file_mode_size", TDict_Mgr_Serv::DEFAULT_FILE_MODE_SIZE);
  }
  void TearDown() override {
    Dict_Mgr_Serv()->Clear();
    Pub_Para_Put_Int(u"dict_file_mode_size", TDict_Mgr_Serv::DEFAULT_FILE_MODE_SIZE);
    Dict_Test::TearDown();
  }

  static TDict_Mgr_Serv* Serv() { return Dict_Mgr_Serv(); }

  // "Dict_Load_Data" for a client holding stamp; the reply in *reply, the call's result returned.
  static int Load(const char* id, int stamp, TParaMgr* reply) {
    reply->Put_Str(u"dict_id", id);
    reply->Put_Int(u"time_stamp", stamp);
    return R_Call("Dict_Load_Data", reply);
  }
  static int Int(TParaMgr& p, const char16_t* name) {
    int v = -12345;
    p.Get_Int(name, &v);
    return v;
  }
  static std::string Str(TParaMgr& p, const char16_t* name) {
    tstr s;
    p.Get_Str(name, &s);
    return s.c_str();
  }
  static int Stamp(const char* id) {
    TParaMgr p;
    p.Put_Str(u"dict_id", id);
    EXPECT_EQ(R_Call("Dict_Get_Time_Stamp", &p), 0);
    return Int(p, u"time_stamp");
  }
  // The codes (field 0) of a packed data set in the pack, sorted; {"<none>"} when it does not unpack.
  static Code_List Set_Codes(TParaMgr& p, const char16_t* name, bool sorted = true) {
    TSQLCA s;
    if (!p.Get_Sqlca_Para(name, &s)) return {"<none>"};
    Code_List out;
    for (int r = 0; r < s.Get_Row_Count(); ++r) out.push_back(Utf8(s.Get_Row_Value(r, 0)));
    if (sorted) std::sort(out.begin(), out.end());
    return out;
  }
  // A packed key list with these codes in field 0.
  static void Put_Keys(TParaMgr* p, const Code_List& codes) {
    TSQLCA k;
    k.Set_Field_Count(1);
    k.Set_Field_Name(0, u"code");
    for (const std::string& c : codes) {
      k.Add_Row();
      k.Set_Value(0, U(c).c_str());
    }
    p->Put_Sqlca_Para(u"lst_key", &k);
  }
  // "Dict_Set_Time_Stamp" for dept: 1 when answered.
  static int Call_Set_Time_Stamp() {
    TParaMgr p;
    p.Put_Str(u"dict_id", "dept");
    return R_Call("Dict_Set_Time_Stamp", &p) == 0 && Int(p, u"time_stamp") == Stamp("dept");
  }
  // The codes of a dictionary the server holds, sorted (the rows a client up to date would hold).
  static Code_List Client_Codes(TDict* d) {
    Code_List c = Codes(d);
    std::sort(c.begin(), c.end());
    return c;
  }
};

// A client holding nothing gets the whole dictionary with its definition; one holding the current
// stamp an empty change set; one holding a stamp never handed out the whole dictionary again.
TEST_P(Dict_Serv, WholeTransferThenChangeSets) {
  Define("item", "select code,name,flag from t_item", "", "flag", "XQ", "select code,name from t_item where flag<>''");
  struct Row {
    const char* id;
    int app;
    const char* sql_part;  // in dict_sql
    const char* sort_col;
    const char* ext_col_val;
    Code_List rows, ext_rows;  // ext_rows {"<none>"}: no parent_data_pack
  } rows[] = {
      {"dept", 1, "app_dict_def", "order_id,code", "", {"C", "A", "B", "G"}, {"<none>"}},
      {"item", 0, "select code,name,flag from t_item", "", "XQ", {"k1", "k2", "k3", "k4,k5"}, {"k2", "k3"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.id);
    TParaMgr whole;
    ASSERT_EQ(Load(r.id, 0, &whole), 0) << Str(whole, u"_r_em_");
    // part_sync, is_app_dict, part_load_mode, file_mode; sort_col, ext_col_val
    EXPECT_EQ(std::make_tuple(Int(whole, u"part_sync"), Int(whole, u"is_app_dict"), Int(whole, u"part_load_mode"),
                              Int(whole, u"file_mode"), Str(whole, u"sort_col"), Str(whole, u"ext_col_val")),
              std::make_tuple(0, r.app, 0, 0, std::string(r.sort_col), std::string(r.ext_col_val)));
    EXPECT_NE(Str(whole, u"dict_sql").find(r.sql_part), std::string::npos);
    EXPECT_EQ(Set_Codes(whole, u"data_pack", false), r.rows);
    EXPECT_EQ(whole.Find_Para(u"parent_data_pack") ? Set_Codes(whole, u"parent_data_pack") : Code_List{"<none>"},
              r.ext_rows);
    // Both stamp calls answer the stamp of the transfer.
    const int stamp = Int(whole, u"time_stamp");
    EXPECT_GT(stamp, 0);
    EXPECT_EQ(Stamp(r.id), stamp);
    TParaMgr sync;
    sync.Put_Str(u"dict_id", r.id);
    ASSERT_EQ(R_Call("Tfa_Info_Sync_Get_Time_Stamp", &sync), 0);
    EXPECT_EQ(Int(sync, u"time_stamp"), stamp);
    TParaMgr same, future;
    ASSERT_EQ(Load(r.id, stamp, &same), 0);
    EXPECT_EQ(std::make_tuple(Int(same, u"part_sync"), Int(same, u"time_stamp"), Set_Codes(same, u"erase_data_pack"),
                              Set_Codes(same, u"modi_data_pack")),
              std::make_tuple(1, stamp, Code_List{}, Code_List{}));
    ASSERT_EQ(Load(r.id, stamp + 1000, &future), 0);
    EXPECT_EQ(Int(future, u"part_sync"), 0);
  }
  TParaMgr whole;
  ASSERT_EQ(Load("dept", 0, &whole), 0);
  TSQLCA rows_got;
  ASSERT_TRUE(whole.Get_Sqlca_Para(u"data_pack", &rows_got));
  EXPECT_EQ(Utf8(rows_got.Get_Row_Value(1, 1)), "部门甲");
}

// Each step changes the server's dictionary; the change set since the step before, and the one
// since the first stamp, hold exactly the changed codes, and applying the latter to the rows of the
// first stamp gives the server's rows.
TEST_P(Dict_Serv, ChangeSetsFollowServerSideChanges) {
  const int s0 = Stamp("dept");
  TDict client;
  ASSERT_TRUE(client.SetInfo("dept"));
  ASSERT_TRUE(client.Load(0));
  struct Step {
    const char* name;
    std::function<int()> change;
    Code_List erased, modified;          // since the step before
    Code_List erased_all, modified_all;  // since s0
    bool new_stamp = true;
  } steps[] = {
      {"add a code", [] { return Serv()->Add_Code("dept", u"N", u"新部门"); }, {}, {"N"}, {}, {"N"}},
      {"erase a code", [] { return Serv()->Erase_Code("dept", u"A"); }, {"A"}, {}, {"A"}, {"N"}},
      {"modify a row", [] { return Serv()->Modify("dept", {u"C", u"改名"}); }, {}, {"C"}, {"A"}, {"C", "N"}},
      {"erase what was added", [] { return Serv()->Erase_Code("dept", u"N"); }, {"N"}, {}, {"A", "N"}, {"C"}},
      {"refresh after database changes",
       [this] {
         TSQLCA q;
         Ok(q, {u"insert into app_dict_def values ('dept','D','新增','N','N',0,'',5)",
                u"delete from app_dict_def where dict_id='dept' and code='G'"});
         return Serv()->Refresh("dept");
       },
       {"G"},
       {"A", "C", "D"},
       {"G", "N"},
       {"A", "C", "D"}},
      {"refresh without a difference keeps the stamp", [] { return Serv()->Refresh("dept"); }, {}, {},
       {"G", "N"}, {"A", "C", "D"}, false},
      {"Dict_Set_Time_Stamp takes a new stamp and records the database's change",
       [this] {
         TSQLCA q;
         Ok(q, {u"update app_dict_def set name='新名' where dict_id='dept' and code='B'"});
         return Call_Set_Time_Stamp();
       },
       {}, {"B"}, {"G", "N"}, {"A", "B", "C", "D"}},
      {"Dict_Set_Time_Stamp with nothing changed", [] { return Call_Set_Time_Stamp(); }, {}, {}, {"G", "N"},
       {"A", "B", "C", "D"}},
      {"a notice whose re-read fails is read at the next call",
       [this] {
         TSQLCA q;
         const int held = Stamp("dept");
         Ok(q, {u"insert into app_dict_def values ('dept','E','e','N','N',0,'',6)",
                u"alter table app_dict_def rename to app_dict_hold"});
         Serv()->Mark_Stale("dept");
         const int unchanged = Stamp("dept") == held;  // the re-read failed
         Ok(q, {u"alter table app_dict_hold rename to app_dict_def"});
         return unchanged;
       },
       {}, {"E"}, {"G", "N"}, {"A", "B", "C", "D", "E"}},
  };
  int before = s0;
  for (Step& s : steps) {
    SCOPED_TRACE(s.name);
    ASSERT_EQ(s.change(), 1);
    const int now = Stamp("dept");
    if (s.new_stamp) {
      EXPECT_GT(now, before);
    } else {
      EXPECT_EQ(now, before);
    }
    TParaMgr p;
    ASSERT_EQ(Load("dept", before, &p), 0) << Str(p, u"_r_em_");
    EXPECT_EQ(Int(p, u"part_sync"), 1);
    EXPECT_EQ(Int(p, u"time_stamp"), now);
    EXPECT_EQ(Set_Codes(p, u"erase_data_pack"), s.erased);
    EXPECT_EQ(Set_Codes(p, u"modi_data_pack"), s.modified);
    TParaMgr all;
    ASSERT_EQ(Load("dept", s0, &all), 0);
    EXPECT_EQ(Set_Codes(all, u"erase_data_pack"), s.erased_all);
    EXPECT_EQ(Set_Codes(all, u"modi_data_pack"), s.modified_all);
    before = now;
  }
  // The modified rows carry the whole row; C has its database name again after the refresh.
  TParaMgr last;
  ASSERT_EQ(Load("dept", s0, &last), 0);
  TSQLCA modi;
  ASSERT_TRUE(last.Get_Sqlca_Para(u"modi_data_pack", &modi));
  ASSERT_EQ(modi.Get_Field_Count(), 7);
  ASSERT_TRUE(modi.Find_First(0, u"D"));
  EXPECT_EQ(Utf8(modi.Get_Value(1)) + "|" + Utf8(modi.Get_Value(6)), "新增|5");
  ASSERT_TRUE(modi.Find_First(0, u"C"));
  EXPECT_EQ(Utf8(modi.Get_Value(1)), "部门丙");

  ASSERT_TRUE(client.Unpack_Part(&last));
  EXPECT_EQ(Client_Codes(&client), (Code_List{"A", "B", "C", "D", "E"}));
  std::u16string name;
  ASSERT_EQ(client.Get_Name(u"B", &name), 1);
  EXPECT_EQ(Utf8(name.c_str()), "新名");
  EXPECT_EQ(client.Time_Stamp(), Stamp("dept"));
}

TEST_P(Dict_Serv, WholeAgainAfterSetTimeStampOrBeyondTheHistory) {
  const int s0 = Stamp("dept");
  ASSERT_TRUE(Serv()->Add_Code("dept", u"N", u"n"));
  const int s1 = Stamp("dept");
  ASSERT_TRUE(Serv()->Set_Time_Stamp("dept"));
  const int s2 = Stamp("dept");
  EXPECT_GT(s2, s1);
  EXPECT_EQ(Serv()->History_Count("dept"), 0);
  struct Row {
    const char* name;
    int stamp;
    int part_sync;
  } rows[] = {{"before the new stamp", s0, 0}, {"just before it", s1, 0}, {"at it", s2, 1}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    TParaMgr p;
    ASSERT_EQ(Load("dept", r.stamp, &p), 0);
    EXPECT_EQ(Int(p, u"part_sync"), r.part_sync);
  }
  TParaMgr whole;
  ASSERT_EQ(Load("dept", s1, &whole), 0);
  EXPECT_EQ(Set_Codes(whole, u"data_pack"), (Code_List{"A", "B", "C", "G", "N"}));

  // One change more than the history holds: the first change's base is gone.
  const int n = TDict_Mgr_Serv::HISTORY_MAX + 1;
  int first = 0;
  for (int i = 0; i < n; ++i) {
    ASSERT_TRUE(Serv()->Modify("dept", {u"C", map_wchar(i).c_str()}));
    if (i == 0) first = Stamp("dept");
  }
  EXPECT_EQ(Serv()->History_Count("dept"), TDict_Mgr_Serv::HISTORY_MAX);
  EXPECT_EQ(Serv()->Base_Stamp("dept"), first);
  TParaMgr old;
  ASSERT_EQ(Load("dept", s2, &old), 0);
  EXPECT_EQ(Int(old, u"part_sync"), 0);
  TParaMgr kept;
  ASSERT_EQ(Load("dept", first, &kept), 0);
  EXPECT_EQ(Int(kept, u"part_sync"), 1);
  EXPECT_EQ(Set_Codes(kept, u"modi_data_pack"), Code_List{"C"});
}

// Expands "<name>_data" and checks its byte count against "<name>_size"; the codes of the rows.
Code_List File_Codes(TParaMgr& p, const std::string& name) {
  int size = -1, bytes = 0;
  std::u16string size_name = U(name + "_size"), data_name = U(name + "_data");
  p.Get_Int(size_name.c_str(), &size);
  ParaStru* data = p.Find_Para(data_name.c_str());
  if (!data) return {"<no data>"};
  const void* v = data->Get_Value(&bytes);
  bytes = data->Text_Bytes();
  if (size != bytes) return {"<size " + std::to_string(size) + " for " + std::to_string(bytes) + " bytes>"};
  std::string rows;
  if (!Zip_Block_Decode(static_cast<const uint8_t*>(v), static_cast<size_t>(bytes), &rows))
    return {"<no blocks>"};
  DBDataMgr d;
  if (!d.Unpack_Data(reinterpret_cast<const uint8_t*>(rows.data()), rows.size(), nullptr))
    return {"<no rows>"};
  Code_List out;
  for (int r = 0; r < d.Get_Row_Count(); ++r) out.push_back(Utf8(d.Get_Row_Value(r, 0)));
  std::sort(out.begin(), out.end());
  return out;
}

TEST_P(Dict_Serv, FileModeAboveTheThreshold) {
  Define("item", "select code,name,flag from t_item", "", "", "",
         "select code,name from t_item where flag<>''");
  struct Row {
    const char* name;
    int threshold;
    int file_mode;
  } rows[] = {{"default threshold", TDict_Mgr_Serv::DEFAULT_FILE_MODE_SIZE, 0},
              {"rows larger than the threshold", 10, 1},
              {"threshold 0 disables", 0, 0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Pub_Para_Put_Int(u"dict_file_mode_size", r.threshold);
    TParaMgr p;
    ASSERT_EQ(Load("item", 0, &p), 0) << Str(p, u"_r_em_");
    EXPECT_EQ(Int(p, u"part_sync"), 0);
    EXPECT_EQ(Int(p, u"file_mode"), r.file_mode);
    if (r.file_mode) {
      EXPECT_EQ(p.Find_Para(u"data_pack"), nullptr);
      EXPECT_EQ(File_Codes(p, "dtfile"), (Code_List{"k1", "k2", "k3", "k4,k5"}));
      EXPECT_EQ(File_Codes(p, "pardtfile"), (Code_List{"k2", "k3"}));
    } else {
      EXPECT_EQ(p.Find_Para(u"dtfile_data"), nullptr);
      EXPECT_EQ(Set_Codes(p, u"data_pack"), (Code_List{"k1", "k2", "k3", "k4,k5"}));
    }
  }
}

// A part-loaded dictionary travels with its fields and no rows; "Dict_Load_Part_Data" answers the
// rows of the codes it holds, each once.
TEST_P(Dict_Serv, PartLoad) {
  ASSERT_TRUE(Serv()->Set_Part_Load("dept", 1));
  TParaMgr whole;
  ASSERT_EQ(Load("dept", 0, &whole), 0);
  EXPECT_EQ(Int(whole, u"part_load_mode"), 1);
  TSQLCA none;
  ASSERT_TRUE(whole.Get_Sqlca_Para(u"data_pack", &none));
  EXPECT_EQ(none.Get_Field_Count(), 7);
  EXPECT_EQ(none.Get_Row_Count(), 0);
  TParaMgr p;
  p.Put_Str(u"dict_id", "dept");
  p.Put_Int(u"time_stamp", 0);
  Put_Keys(&p, {"G", "Z", "A", "G", ""});
  ASSERT_EQ(R_Call("Dict_Load_Part_Data", &p), 0) << Str(p, u"_r_em_");
  EXPECT_EQ(Set_Codes(p, u"part_data_pack", false), (Code_List{"G", "A"}));
  TSQLCA rows;
  ASSERT_TRUE(p.Get_Sqlca_Para(u"part_data_pack", &rows));
  EXPECT_EQ(rows.Get_Field_Count(), 7);
  EXPECT_EQ(Utf8(rows.Get_Row_Value(1, 1)), "部门甲");
}

TEST_P(Dict_Serv, BadCallsAnswerErrors) {
  struct Row {
    const char* name;
    const char* call;
    const char* dict_id;  // null: none sent
    bool keys;            // a key list "A" sent
    const char* message;  // part of "_r_em_"
    std::function<void(TParaMgr*)> more = [](TParaMgr*) {};
  } rows[] = {
      {"load without dict_id", "Dict_Load_Data", nullptr, false, "no dict_id",
       [](TParaMgr* p) { p->Put_Int(u"time_stamp", 0); }},
      {"load of an empty dict_id", "Dict_Load_Data", "", false, "no dict_id"},
      {"load of an unknown dictionary", "Dict_Load_Data", "nosuch", false, "unknown dictionary nosuch"},
      {"stamp of an unknown dictionary", "Dict_Get_Time_Stamp", "nosuch", false, "unknown dictionary"},
      {"own SQL that fails", "Dict_Load_Data", "broken", false, "cannot load dictionary broken"},
      {"check without a list", "Dict_Check_Time_Stamp", nullptr, false, "no dictionary list"},
      {"check with a list of other columns", "Dict_Check_Time_Stamp", nullptr, false, "needs the columns",
       [](TParaMgr* p) {
         TSQLCA l;
         l.Set_Field_Count(1);
         l.Set_Field_Name(0, u"id");
         p->Put_Sqlca_Para(u"dict_pack", &l);
       }},
      {"check with bytes that are no data set", "Dict_Check_Time_Stamp", nullptr, false, "no dictionary list",
       [](TParaMgr* p) { p->Push_Para(u"dict_pack", "\x01\x02garbage", 'S', 9)->Set_Data_Flag(1); }},
      {"part load without keys", "Dict_Load_Part_Data", "dept", false, "no key list"},
      {"part load of an unknown dictionary", "Dict_Load_Part_Data", "nosuch", true, "unknown dictionary"},
      {"refresh keys of an unknown dictionary", "Dict_Refresh_Dict_Key", "nosuch", true, "unknown dictionary"},
      {"refresh without dict_id", "Dict_Serv_Refresh", nullptr, false, "no dict_id"},
      {"time-stamp server without dict_id", "Tfa_Info_Sync_Get_Time_Stamp", nullptr, false, "no dict_id"},
      {"new stamp of an unknown dictionary", "Dict_Set_Time_Stamp", "nosuch", false, "unknown dictionary"},
  };
  Define("broken", "select nothing from no_such_table");
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    TParaMgr p;
    if (r.dict_id) p.Put_Str(u"dict_id", r.dict_id);
    if (r.keys) Put_Keys(&p, {"A"});
    r.more(&p);
    EXPECT_NE(R_Call(r.call, &p), 0);
    EXPECT_NE(Int(p, u"_r_ec_"), 0);
    EXPECT_NE(Str(p, u"_r_em_").find(r.message), std::string::npos) << Str(p, u"_r_em_");
  }
  // The server-side API refuses the same way.
  EXPECT_EQ(Serv()->Add_Code("nosuch", u"A", u"a"), 0);
  EXPECT_EQ(Serv()->Erase_Code("dept", u"no such code"), 0);
  EXPECT_EQ(Serv()->Modify("dept", {}), 0);
  EXPECT_EQ(Serv()->History_Count("nosuch"), -1);
  // A dictionary defined after a failed call is found on the next one.
  TSQLCA q;
  Ok(q, {u"insert into app_dict_def values ('nosuch','X','x','N','N',0,'',1)"});
  TParaMgr later;
  ASSERT_EQ(Load("nosuch", 0, &later), 0) << Str(later, u"_r_em_");
  EXPECT_EQ(Set_Codes(later, u"data_pack"), Code_List{"X"});
}

INSTANTIATE_TEST_SUITE_P(Drivers, Dict_Serv, ::testing::Values("sqlite", "pg"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
