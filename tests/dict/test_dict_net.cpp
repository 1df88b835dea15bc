// Dictionaries from the application server: transfer packs (rows as packed sets or as
// block-compressed files), bad packs, and, over the local server on both drivers, whole loads,
// change sets, time stamps, part loads, Prepare_Dicts and the user code map.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

#include "core/data/para.h"
#include "core/data/sqlca.h"
#include "dict/dict_mgr.h"
#include "dict/dict_net.h"
#include "dict/dict_serv.h"
#include "dict/dict_zip.h"
#include "frame/log_mgr.h"
#include "frame/pub_ptr.h"
#include "link/r_call.h"
#include "tests/dict/dict_fixture.h"

using zem_test::Codes;
using zem_test::Read;
using zem_test::U;
using zem_test::Utf8;

namespace fs = std::filesystem;

namespace {

using Code_List = std::vector<std::string>;
using Rows = std::vector<std::vector<const char16_t*>>;

// A dictionary-shaped set (code, name) with the entries in this order.
void Fill(TSQLCA* q, const Rows& rows) { zem_test::Fill_Area(*q, nullptr, {u"code", u"name"}, rows); }

std::string Packed(const Rows& rows) {
  TSQLCA q;
  Fill(&q, rows);
  unsigned len = 0;
  uint8_t* buf = q.Data()->Pack_Data(&len);
  std::string out(reinterpret_cast<const char*>(buf), len);
  std::free(buf);
  return out;
}

std::string Zipped(const std::string& raw) {
  std::string z;
  Zip_Block_Encode(reinterpret_cast<const uint8_t*>(raw.data()), raw.size(), &z);
  return z;
}

// The definition part of a transfer pack.
void Put_Definition(TParaMgr* p, int ts, int file_mode) {
  p->Put_Str(u"parent_col", "pcode");
  p->Put_Str(u"idx_dict", "");
  p->Put_Str(u"idx_col", "");
  p->Put_Str(u"sort_col", "");
  p->Put_Str(u"ext_col", "name");
  p->Put_Str(u"ext_col_val", "Stop");
  p->Put_Int(u"is_app_dict", 0);
  p->Put_Str(u"dict_sql", "select code,name from t_item");
  p->Put_Int(u"time_stamp", ts);
  p->Put_Int(u"part_load_mode", 0);
  p->Put_Int(u"file_mode", file_mode);
}

void Put_Binary(TParaMgr* p, const std::u16string& name, const std::string& bytes, int size) {
  p->Put_Int((name + u"_size").c_str(), size);
  // An owned copy: the callers' byte strings are gone before the pack is read.
  p->Push_Para((name + u"_data").c_str(), bytes.data(), 'S', static_cast<int>(bytes.size()));
}

// The pack as the receiver sees it: packed and read back, as it would cross the link.
void Wire(TParaMgr* p) {
  int len = 0;
  void* buf = p->Pack_Para(&len);
  ASSERT_NE(buf, nullptr);
  TParaMgr back;
  ASSERT_EQ(back.Unpack_Para(buf, static_cast<size_t>(len)), 1);
  std::free(buf);
  p->Copy_Para(&back);
}

class Dict_Unpack : public ::testing::Test {
 protected:
  void SetUp() override {
    Sqlca_Set_Para_Hooks();
    char tmpl[] = "/tmp/zem-dnet-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    home_ = tmpl;
    Set_Home(home_);
    ASSERT_EQ(d_.Set_Dict_Id("net1"), 1);
  }
  void TearDown() override {
    Pub_Para_Put_WStr(u"app_home_path", u"");
    std::error_code ec;
    fs::remove_all(home_, ec);
  }
  static void Set_Home(const std::string& h) {
    std::u16string w = U(h);
    Pub_Para_Put_WStr(u"app_home_path", w.c_str());
  }
  std::string Dt(const char* suffix) { return home_ + "/dt/net1" + suffix; }

  // The dictionary as a first good pack leaves it: stamp 5, entries k1 k2 k3, extended k9.
  void Load_First() {
    TParaMgr p;
    Put_Definition(&p, 5, 0);
    std::string rows = Packed({{u"k3", u"Three"}, {u"k1", u"One"}, {u"k2", u"Two"}});
    std::string ext = Packed({{u"k9", u"Nine"}});
    p.Put_Data(u"data_pack", rows.data(), static_cast<int>(rows.size()));
    p.Put_Data(u"parent_data_pack", ext.data(), static_cast<int>(ext.size()));
    Wire(&p);
    ASSERT_EQ(d_.Unpack_Dict(&p), 1);
  }

  std::string home_;
  TDict d_;
};

// The rows as packed sets (file_mode 0) or as block-compressed files through the cache folder (1):
// the definition, the stamps, the rows (sorted by code: no "order by", no sort_col) and the extended
// dictionary's rows; the received compressed files stay, the expanded ones go.
TEST_F(Dict_Unpack, TakesDefinitionStampsAndRows) {
  TSQLCA big;  // Chinese names and more than one block's worth of entries travel unchanged
  Fill(&big, {{u"k3", u"Three"}, {u"k1", u"One"}, {u"k2", u"Stop"}});
  for (int i = 0; i < 3000; ++i) {
    big.Add_Row();
    std::u16string code = U("c" + std::to_string(100000 + i));
    big.Set_Value(0, code.c_str());
    big.Set_Value(1, u"部门名称");
  }
  unsigned len = 0;
  uint8_t* buf = big.Data()->Pack_Data(&len);
  const std::string rows(reinterpret_cast<const char*>(buf), len), ext = Packed({{u"e1", u"上级"}});
  std::free(buf);
  for (int file_mode : {0, 1}) {
    SCOPED_TRACE(file_mode);
    TParaMgr p;
    Put_Definition(&p, 42 + file_mode, file_mode);
    p.Put_Int(u"part_load_mode", 1);
    if (file_mode) {
      Put_Binary(&p, u"dtfile", Zipped(rows), static_cast<int>(Zipped(rows).size()));
      Put_Binary(&p, u"pardtfile", Zipped(ext), static_cast<int>(Zipped(ext).size()));
    } else {
      p.Put_Data(u"data_pack", rows.data(), static_cast<int>(rows.size()));
      p.Put_Data(u"parent_data_pack", ext.data(), static_cast<int>(ext.size()));
    }
    Wire(&p);
    ASSERT_EQ(d_.Unpack_Dict(&p), 1);
    EXPECT_EQ(d_.Parent_Col() + "|" + d_.Ext_Col() + "|" + d_.Ext_Col_Val() + "|" + d_.Sqlcmd(),
              "pcode|name|Stop|select code,name from t_item");
    // app dictionary, stamps, part and file modes, loaded (the caller marks it), rows
    EXPECT_EQ(std::make_tuple(d_.Is_App_Dict(), d_.Time_Stamp(), d_.Local_Version(), d_.Part_Load_Mode(), d_.File_Mode(),
                              d_.Is_Loaded(), d_.Get_Row_Count()),
              std::make_tuple(0, 42 + file_mode, 42 + file_mode, 1, file_mode, 0, 3003));
    EXPECT_EQ(Codes(&d_)[3000], "k1");
    std::u16string name;
    EXPECT_TRUE(d_.Get_Name(u"c101234", &name) == 1 && name == u"部门名称");
    EXPECT_TRUE(d_.Seek_Code(0, u"k2") == 1 && d_.Is_Stop() == 1) << "the ext_col rule from the pack";
    ASSERT_NE(d_.Ext_Dict(), nullptr);
    EXPECT_TRUE(d_.Ext_Dict()->Dict_Id() == "net1.ext" && Codes(d_.Ext_Dict()) == Code_List{"e1"});
    EXPECT_EQ(fs::exists(Dt(".dz_")), file_mode == 1);
    EXPECT_EQ(file_mode ? Read(Dt(".dz__p")) : "", file_mode ? Zipped(ext) : "");
    EXPECT_FALSE(fs::exists(Dt(".dt_")) || fs::exists(Dt(".dt__p")));
  }
}

// Packs whose rows cannot be taken. A missing or empty binary skips its step: the definition and stamp
// are taken, the rows stay. Every bad pack is refused, and the dictionary keeps its rows, definition,
// stamps and loaded mark.
TEST_F(Dict_Unpack, PacksWhoseRowsCannotBeTaken) {
  const std::string good = Packed({{u"n1", u"New"}});
  const std::string good_z = Zipped(good), z = good_z;
  struct Row {
    const char* name;
    int file_mode;
    std::function<void(TParaMgr*)> fill;
    std::function<void()> before = [] {};
    bool taken = false;  // the definition and stamp taken, the rows kept
  } rows[] = {
      {"no binaries", 1, [](TParaMgr*) {}, [] {}, true},
      {"binary of size 0", 1, [](TParaMgr* p) { Put_Binary(p, u"dtfile", "zipblock", 0); }, [] {}, true},
      {"binary size without data", 1, [](TParaMgr* p) { p->Put_Int(u"dtfile_size", 12); }, [] {}, true},
      {"binary of empty data", 1, [](TParaMgr* p) { Put_Binary(p, u"dtfile", "", 5); }, [] {}, true},
      {"no data_pack", 0, [](TParaMgr*) {}},
      {"data_pack not a packed set", 0, [](TParaMgr* p) { p->Put_Str(u"data_pack", "not a packed set"); }},
      {"data_pack empty", 0, [](TParaMgr* p) { p->Put_Data(u"data_pack", "", 0); }},
      {"data_pack cut short", 0,
       [&](TParaMgr* p) { p->Put_Data(u"data_pack", good.data(), static_cast<int>(good.size() - 3)); }},
      {"data_pack without fields", 0,
       [](TParaMgr* p) {
         TSQLCA none;
         p->Put_Sqlca_Para(u"data_pack", &none);
       }},
      {"bad parent_data_pack", 0,
       [&](TParaMgr* p) {
         p->Put_Data(u"data_pack", good.data(), static_cast<int>(good.size()));
         p->Put_Data(u"parent_data_pack", good.data(), 9);
       }},
      {"size past the bytes", 1,
       [&](TParaMgr* p) { Put_Binary(p, u"dtfile", good_z, static_cast<int>(good_z.size() + 1)); }},
      {"negative size", 1, [&](TParaMgr* p) { Put_Binary(p, u"dtfile", good_z, -4); }},
      {"not block-compressed", 1, [&](TParaMgr* p) { Put_Binary(p, u"dtfile", good, static_cast<int>(good.size())); }},
      {"size cuts the last block", 1,
       [&](TParaMgr* p) { Put_Binary(p, u"dtfile", good_z, static_cast<int>(good_z.size() - 1)); }},
      {"blocks expand to no packed set", 1,
       [](TParaMgr* p) {
         std::string z = Zipped("plain words, not rows");
         Put_Binary(p, u"dtfile", z, static_cast<int>(z.size()));
       }},
      {"good dtfile, bad pardtfile", 1,
       [&](TParaMgr* p) {
         Put_Binary(p, u"dtfile", good_z, static_cast<int>(good_z.size()));
         std::string lying = std::string("zipblock ") + "         9 " + "xxxxxxxxx";
         Put_Binary(p, u"pardtfile", lying, static_cast<int>(lying.size()));
       }},
      {"cache folder's place taken by a file", 1,
       [&](TParaMgr* p) { Put_Binary(p, u"dtfile", z, static_cast<int>(z.size())); },
       [this] {
         std::ofstream(home_ + "/blocked") << "x";
         Set_Home(home_ + "/blocked");
       }},
      {"transfer file's place taken by a directory", 1,
       [&](TParaMgr* p) { Put_Binary(p, u"dtfile", z, static_cast<int>(z.size())); },
       [this] {
         Set_Home(home_);
         fs::remove(Dt(".dz_"));
         fs::create_directories(Dt(".dz_"));
       }},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ASSERT_NO_FATAL_FAILURE(Load_First());
    d_.Set_Loaded(1);
    r.before();
    TParaMgr p;
    Put_Definition(&p, 99, r.file_mode);
    p.Put_Str(u"dict_sql", "select other");
    p.Put_Str(u"parent_col", "changed");
    r.fill(&p);
    Wire(&p);
    EXPECT_EQ(d_.Unpack_Dict(&p), r.taken ? 1 : 0);
    EXPECT_EQ(std::make_tuple(d_.Time_Stamp(), d_.Local_Version(), d_.Sqlcmd(), d_.Parent_Col(), d_.File_Mode(), d_.Is_Loaded()),
              r.taken ? std::make_tuple(99, 99, std::string("select other"), std::string("changed"), 1, 1)
                      : std::make_tuple(5, 5, std::string("select code,name from t_item"), std::string("pcode"), 0, 1));
    EXPECT_EQ(Codes(&d_), (Code_List{"k1", "k2", "k3"}));
    EXPECT_EQ(Codes(d_.Ext_Dict()), (Code_List{"k9"}));
    EXPECT_EQ(d_.Seek_Code(0, u"k3"), 1);
    EXPECT_FALSE(fs::exists(Dt(".dt_")));
  }
  EXPECT_EQ(d_.Unpack_Dict(nullptr), 0);
}

// A change set over many codes: erased ones (some not held, one twice), modified ones, added ones,
// one code modified twice (the later row wins).
TEST_F(Dict_Unpack, ChangeSetOfManyCodes) {
  auto code = [](int i) { return U("c" + std::to_string(1000 + i)); };
  TSQLCA all;
  Fill(&all, {});
  for (int i = 0; i < 500; ++i) {
    all.Add_Row();
    all.Set_Value(0, code(i).c_str());
    all.Set_Value(1, u"old");
  }
  TParaMgr whole;
  Put_Definition(&whole, 3, 0);
  whole.Put_Sqlca_Para(u"data_pack", &all);
  ASSERT_EQ(d_.Unpack_Dict(&whole), 1);
  TSQLCA erase, modi;
  erase.Set_Field_Count(1);
  for (int i = 0; i < 520; i += 2) {  // 500..518 are not held
    erase.Add_Row();
    erase.Set_Value(0, code(i).c_str());
  }
  erase.Add_Row();
  erase.Set_Value(0, code(0).c_str());
  Fill(&modi, {});
  for (int i = 1; i < 600; i += 2) {  // odd codes: 250 held, 50 new
    modi.Add_Row();
    modi.Set_Value(0, code(i).c_str());
    modi.Set_Value(1, u"new");
  }
  modi.Add_Row();
  modi.Set_Value(0, code(1).c_str());
  modi.Set_Value(1, u"newer");
  TParaMgr part;
  part.Put_Int(u"time_stamp", 4);
  part.Put_Sqlca_Para(u"erase_data_pack", &erase);
  part.Put_Sqlca_Para(u"modi_data_pack", &modi);
  Wire(&part);
  ASSERT_EQ(d_.Unpack_Part(&part), 1);
  EXPECT_EQ(d_.Time_Stamp(), 4);
  EXPECT_EQ(d_.Get_Row_Count(), 300);
  std::u16string name;
  struct Row {
    int i;
    int found;
    const char16_t* name;
  } rows[] = {{0, 0, u""}, {2, 0, u""}, {498, 0, u""}, {1, 1, u"newer"}, {3, 1, u"new"},
              {499, 1, u"new"}, {501, 1, u"new"}, {599, 1, u"new"}, {600, 0, u""}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.i);
    ASSERT_EQ(d_.Get_Name(code(r.i).c_str(), &name), r.found);
    if (r.found) {
      EXPECT_EQ(name, r.name);
    }
  }
  // A set that does not unpack changes nothing, the stamp included.
  TParaMgr bad;
  bad.Put_Int(u"time_stamp", 99);
  bad.Put_Str(u"erase_data_pack", "not a packed set");
  EXPECT_EQ(d_.Unpack_Part(&bad), 0);
  EXPECT_EQ(d_.Unpack_Part(nullptr), 0);
  EXPECT_EQ(d_.Time_Stamp(), 4);
  EXPECT_EQ(d_.Get_Row_Count(), 300);
}

}  // namespace

// ---- End to end: a client list of server dictionaries over the local server on both drivers.
namespace {

class Dict_Net_Test : public zem_test::Dict_Test {
 protected:
  void SetUp() override {
    Dict_Test::SetUp();
    if (HasFatalFailure()) return;
    Link_Register();
    Dict_Serv_Register();
    Dict_Mgr_Serv()->Clear();
    home_ = dir_ + "/home";
    fs::create_directories(home_);
    std::u16string w = U(home_);
    Pub_Para_Put_WStr(u"app_home_path", w.c_str());
    Dict_Client_List()->Set_Dict_Kind(TDict_Client_List::DICT_KIND_NET);
    Define("items", "select code,name,flag from t_item");
  }
  void TearDown() override {
    Dict_Client_List()->Set_Dict_Kind(TDict_Client_List::DICT_KIND_SQL);
    Dict_Client_List()->Clear();
    Dict_Mgr_Serv()->Clear();
    Pub_Para_Put_Int(u"dict_file_mode_size", TDict_Mgr_Serv::DEFAULT_FILE_MODE_SIZE);
    Pub_Para_Put_WStr(u"app_home_path", u"");
    Dict_Test::TearDown();
  }
  // A client-only entry: it survives a change set and disappears with a whole load.
  static void Mark_Local(TDict* d) { ASSERT_EQ(d->Add_Code(u"zz_local", u"client only"), 1); }
  static bool Has(TDict* d, const char16_t* code) { return d->Get_Name(code, nullptr) == 1; }
  std::string home_;
};

TEST_P(Dict_Net_Test, LoadsWholeThenFollowsServerChangesAsChangeSets) {
  TDict* d = Dict_Client_List()->Get_Dict("dept", 1);
  ASSERT_NE(d, nullptr);
  ASSERT_NE(dynamic_cast<TDict_Net*>(d), nullptr);
  EXPECT_EQ(std::make_tuple(d->Is_Loaded(), d->Is_App_Dict(), d->Sort_Col(), d->Time_Stamp()),
            std::make_tuple(1, 1, std::string("order_id,code"), Dict_Mgr_Serv()->Time_Stamp("dept")));
  EXPECT_EQ(Codes(d), (Code_List{"C", "A", "B", "G"}));
  ASSERT_TRUE(Dict_Client_List()->Get_Dict("dept", 1)->Seek_Code(0, u"B"));
  EXPECT_EQ(d->Is_Stop(), 1);
  EXPECT_EQ(d->Is_Time_Stamp_Changed(), 0);

  ASSERT_NO_FATAL_FAILURE(Mark_Local(d));
  ASSERT_EQ(Dict_Mgr_Serv()->Add_Code("dept", u"N", u"新部门"), 1);
  ASSERT_EQ(Dict_Mgr_Serv()->Erase_Code("dept", u"A"), 1);
  EXPECT_EQ(d->Is_Time_Stamp_Changed(), 1);
  ASSERT_EQ(d->Load(0), 1);
  EXPECT_EQ(std::make_tuple(d->Time_Stamp(), d->Is_Time_Stamp_Changed(), Has(d, u"A")),
            std::make_tuple(Dict_Mgr_Serv()->Time_Stamp("dept"), 0, false));
  std::u16string name;
  EXPECT_TRUE(d->Get_Name(u"N", &name) && name == u"新部门");
  EXPECT_TRUE(Has(d, u"zz_local"));  // a change set, not the whole dictionary
  for (const char16_t* c : {u"C", u"B", u"G"}) EXPECT_TRUE(Has(d, c)) << Utf8(c);
}

// A change set erasing a code the client no longer holds changes nothing else; a refresh takes the
// whole dictionary again (entries only the client had go).
TEST_P(Dict_Net_Test, ChangeSetKeepsClientEntriesRefreshDropsThem) {
  TDict* d = Dict_Client_List()->Get_Dict("items", 1);
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d->Erase_Code(u"k1"), 1);  // gone on the client only
  ASSERT_NO_FATAL_FAILURE(Mark_Local(d));
  Code_List before = Codes(d);
  ASSERT_EQ(Dict_Mgr_Serv()->Erase_Code("items", u"k1"), 1);
  ASSERT_EQ(d->Load(0), 1);
  EXPECT_TRUE(Codes(d) == before && d->Time_Stamp() == Dict_Mgr_Serv()->Time_Stamp("items"));
  ASSERT_EQ(Dict_Client_List()->Refresh_Dict("items"), 1);
  EXPECT_TRUE(Codes(d) == (Code_List{"k2", "k3", "k4,k5"}) && d->Time_Stamp() == Dict_Mgr_Serv()->Time_Stamp("items"));
}

// The database changes under the server; the client asks the server to re-read and follows.
TEST_P(Dict_Net_Test, ServerRereadsThenClientFollows) {
  auto* d = dynamic_cast<TDict_Net*>(Dict_Client_List()->Get_Dict("items", 1));
  ASSERT_NE(d, nullptr);
  ASSERT_NO_FATAL_FAILURE(Mark_Local(d));
  TSQLCA q;
  Ok(q, {u"insert into t_item values ('k7','Seven','')", u"update t_item set name='Alpha2' where code='k2'",
         u"update t_item set name='Gamma2' where code='k1'", u"delete from t_item where code='k3'"});
  // Only k2 and k3 re-read (k3 is gone, "nosuch" never was): k1 keeps its old name, k7 is not there yet.
  TSQLCA keys;
  Fill(&keys, {{u"k2", u""}, {u"k3", u""}, {u"nosuch", u""}});
  ASSERT_EQ(d->Serv_Refresh_Keys(&keys), 1);
  std::u16string name;
  const auto names = [&] {  // k1, k2, k3, k7 as the client names them ("-": not held)
    std::u16string all;
    for (const char16_t* c : {u"k1", u"k2", u"k3", u"k7"}) all += (d->Get_Name(c, &name) ? name : u"-") + u" ";
    return all;
  };
  EXPECT_EQ(names(), u"Gamma Alpha2 - - ");
  // The whole dictionary re-read: the rest arrives as a change set.
  ASSERT_EQ(d->Serv_Refresh(), 1);
  EXPECT_EQ(names(), u"Gamma2 Alpha2 - Seven ");
  EXPECT_TRUE(Has(d, u"zz_local") && d->Time_Stamp() == Dict_Mgr_Serv()->Time_Stamp("items"));
  // A new stamp on the server, nothing changed: the client follows the stamp.
  int before = d->Time_Stamp();
  ASSERT_EQ(d->Serv_Set_Time_Stamp(), 1);
  EXPECT_GT(d->Time_Stamp(), before);
  EXPECT_EQ(d->Time_Stamp(), Dict_Mgr_Serv()->Time_Stamp("items"));
  EXPECT_EQ(d->Get_Name(u"k7", &name), 1);
  EXPECT_EQ(d->Serv_Refresh_Keys(nullptr), 0);
}

// A failed server call leaves the dictionary as it was (not loaded), kept until it is tried again.
TEST_P(Dict_Net_Test, UnknownDictionaryStaysUnloaded) {
  TDict* held = Dict_Client_List()->Get_Dict("nosuch", 1);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(Dict_Client_List()->Get_Dict("nosuch", 0), held);
  EXPECT_EQ(held->Is_Loaded(), 0);
  EXPECT_EQ(held->Load_Failed(), 1);
  TDict_Net d;
  d.Set_Dict_Id("nosuch");
  EXPECT_EQ(d.Load(0), 0);
  EXPECT_TRUE(d.Is_Loaded() == 0 && d.Is_Time_Stamp_Changed() == 0) << "a failed call counts as no change";
}

TEST_P(Dict_Net_Test, LargeDictionaryTravelsAsTransferFiles) {
  Pub_Para_Put_Int(u"dict_file_mode_size", 1);
  TDict* d = Dict_Client_List()->Get_Dict("items", 1);
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->File_Mode() == 1 && Codes(d) == (Code_List{"k1", "k2", "k3", "k4,k5"}));
  EXPECT_TRUE(fs::exists(home_ + "/dt/items.dz_") && !fs::exists(home_ + "/dt/items.dt_"));
}

TEST_P(Dict_Net_Test, PartLoadFetchesOnlyMissingCodes) {
  ASSERT_EQ(Dict_Mgr_Serv()->Time_Stamp("items") > 0, true);
  ASSERT_EQ(Dict_Mgr_Serv()->Set_Part_Load("items", 1), 1);
  TDict* d = Dict_Client_List()->Get_Dict("items", 1);
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->Part_Load_Mode() == 1 && d->Get_Row_Count() == 0);
  TSQLCA keys;
  Fill(&keys, {{u"k3", u""}, {u"k1", u""}, {u"k3", u""}, {u"nosuch", u""}});
  ASSERT_EQ(d->Load_Part_Data(&keys), 1);
  EXPECT_EQ(Codes(d), (Code_List{"k1", "k3"}));
  std::u16string name;
  ASSERT_EQ(d->Get_Name(u"k3", &name), 1);
  EXPECT_EQ(name, u"Beta");
  ASSERT_EQ(d->Load_Part_Data(&keys), 1);  // all held now: nothing more
  EXPECT_EQ(Codes(d), (Code_List{"k1", "k3"}));
}

TEST_P(Dict_Net_Test, PrepareDictsTouchesOnlyChangedDictionaries) {
  TDict* dept = Dict_Client_List()->Get_Dict("dept", 1);
  TDict* items = Dict_Client_List()->Get_Dict("items", 1);
  ASSERT_TRUE(dept && items);
  ASSERT_NO_FATAL_FAILURE(Mark_Local(items));
  int items_ts = items->Time_Stamp();
  int dept_ts = dept->Time_Stamp();
  ASSERT_EQ(Dict_Mgr_Serv()->Add_Code("dept", u"N", u"New"), 1);
  int changed = -1;
  // dept changed on the server, items did not (its reply row has equal stamps), other is not held.
  Log_Mgr()->Set_Keep(200);
  // An id the server does not know is left out of the reply; the others go on.
  ASSERT_EQ(Dict_Client_List()->Prepare_Dicts({"dept", "items", "other", "nosuch"}, &changed), 1);
  std::string log = Log_Mgr()->Last_Lines();
  Log_Mgr()->Set_Keep(0);
  EXPECT_NE(log.find("dict prepare dept " + std::to_string(dept_ts) + "\n"), std::string::npos) << log;
  EXPECT_NE(log.find("dict prepare items " + std::to_string(items_ts) + "\n"), std::string::npos) << log;
  EXPECT_NE(log.find("dict prepare other 0\n"), std::string::npos) << log;
  EXPECT_EQ(std::make_tuple(changed, Has(dept, u"N"), dept->Time_Stamp(), Has(items, u"zz_local"), items->Time_Stamp()),
            std::make_tuple(2, true, Dict_Mgr_Serv()->Time_Stamp("dept"), true, items_ts));
  TDict* other = Dict_Client_List()->Get_Dict("other", 0);
  ASSERT_NE(other, nullptr);
  EXPECT_TRUE(other->Is_Loaded());
  EXPECT_EQ(Codes(other), (Code_List{"A"}));
  // Nothing changed since: one exchange, nothing touched.
  ASSERT_EQ(Dict_Client_List()->Prepare_Dicts({"dept", "items", "other"}, &changed), 1);
  EXPECT_EQ(changed, 0);
  // Load mode 3 checks itself, load mode 4 is left alone: neither is listed.
  ASSERT_EQ(dept->Load(3), 1);
  ASSERT_EQ(items->Load(4), 1);
  ASSERT_EQ(Dict_Mgr_Serv()->Add_Code("dept", u"N2", u"New"), 1);
  ASSERT_EQ(Dict_Mgr_Serv()->Add_Code("items", u"k9", u"Nine"), 1);
  ASSERT_EQ(Dict_Client_List()->Prepare_Dicts({"dept", "items"}, &changed), 1);
  EXPECT_EQ(std::make_tuple(changed, Has(dept, u"N2"), dept->Time_Stamp(), Has(items, u"k9")),
            std::make_tuple(0, true, Dict_Mgr_Serv()->Time_Stamp("dept"), false));
}

TEST_P(Dict_Net_Test, UserMapRestrictsServerDictionaries) {
  TSQLCA q;
  Ok(q, {u"insert into mup_user_bo values ('u1','dept','A')", u"insert into mup_user_bo values ('u1','dept','C')"});
  Dict_Client_List()->Set_User_Id("u1");
  TDict* d = Dict_Client_List()->Get_Dict("dept", 1);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(Codes(d), (Code_List{"C", "A"}));
  std::set<std::u16string> codes;
  ASSERT_EQ(Dict_Client_User_Map()->Codes("dept", &codes), 1);
  EXPECT_TRUE(codes == (std::set<std::u16string>{u"A", u"C"}) && Dict_Client_User_Map()->Codes("items", &codes) == 0);
  // Prepare_Dicts applies the same restriction to a dictionary it brings in.
  ASSERT_EQ(Dict_Mgr_Serv()->Add_Code("dept", u"N", u"New"), 1);
  ASSERT_EQ(Dict_Client_List()->Prepare_Dicts({"dept"}), 1);
  EXPECT_FALSE(Has(d, u"N"));
  EXPECT_EQ(Get_Pub_Ptr("dict_mgr_client_user_map"), static_cast<void*>(Dict_Client_User_Map()));
}

INSTANTIATE_TEST_SUITE_P(Drivers, Dict_Net_Test, ::testing::Values("sqlite", "pg"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
