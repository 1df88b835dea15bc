// The dictionary file cache (".dt"/".dz"), the block-compressed format, part-load SQL and cache expiry.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/data/para.h"
#include "core/text/wfunc.h"
#include "dict/dict_db.h"
#include "dict/dict_zip.h"
#include "tests/dict/dict_fixture.h"

using zem_test::U;
using zem_test::Utf8;

namespace fs = std::filesystem;

namespace {

using Code_List = std::vector<std::string>;

class Dict_Cache : public zem_test::Dict_Test {
 protected:
  void SetUp() override {
    Dict_Test::SetUp();
    if (HasFatalFailure()) return;
    home_ = dir_ + "/home";
    fs::create_directories(home_);
    std::u16string w = U(home_);
    Pub_Para_Put_WStr(u"app_home_path", w.c_str());
    Dict_Client_List()->Set_Dict_Kind(TDict_Client_List::DICT_KIND_DB);
  }
  void TearDown() override {
    Dict_Client_List()->Set_Dict_Kind(TDict_Client_List::DICT_KIND_SQL);
    Pub_Para_Put_WStr(u"app_home_path", u"");
    Dict_Test::TearDown();
  }
  std::string Dt(const std::string& id, const char* suffix) { return home_ + "/dt/" + id + suffix; }
  void Drop_Def() {
    TSQLCA q;
    Ok(q, {u"drop table app_dict_def"});
  }
  std::string home_;
};

std::string Read(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << bytes;
}

TEST_P(Dict_Cache, SecondLoadComesFromTheCacheFiles) {
  TDict* d = Dict_Client_List()->Get_Dict("dept", 1);
  ASSERT_NE(d, nullptr);
  Code_List first = Codes(d);
  ASSERT_TRUE(fs::exists(Dt("dept", ".dt")));
  ASSERT_TRUE(fs::exists(Dt("dept", ".dz")));
  // Without the table the rows can only come from the cache.
  Drop_Def();
  Dict_Client_List()->Clear();
  d = Dict_Client_List()->Get_Dict("dept", 1);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(Codes(d), first);
  EXPECT_EQ(d->Index_Mode(), TDict::INDEX_SEPARATE);
  std::u16string name;
  ASSERT_EQ(d->Get_Name(u"B", &name), 1);
  EXPECT_EQ(Utf8(name.c_str()), "停用部门");
  // The compressed copy holds the same rows.
  auto* db = static_cast<TDict_Db*>(d);
  ASSERT_EQ(db->Load_Cache(1), 1);
  EXPECT_EQ(Codes(d), first);
}

TEST_P(Dict_Cache, BadCacheFileFallsBackToTheSql) {
  ASSERT_NE(Dict_Client_List()->Get_Dict("dept", 1), nullptr);
  const std::string good = Read(Dt("dept", ".dt"));
  ASSERT_GT(good.size(), 40u);
  struct Row {
    const char* name;
    std::string bytes;
  } rows[] = {
      {"empty file", ""},
      {"cut in half", good.substr(0, good.size() / 2)},
      {"last byte missing", good.substr(0, good.size() - 1)},
      {"first bytes changed", std::string(8, '\xff') + good.substr(8)},
      {"bytes after the pack", good + "junk"},
      {"not a pack at all", "zipblock          5 hello"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Write(Dt("dept", ".dt"), r.bytes);
    Dict_Client_List()->Clear();
    TDict* d = Dict_Client_List()->Get_Dict("dept", 1);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(Codes(d), (Code_List{"C", "A", "B", "G"}));
    EXPECT_EQ(Read(Dt("dept", ".dt")), good) << "the cache is written again";
  }
  // A bad file with no SQL to fall back on gives no dictionary rather than a half-filled one.
  Write(Dt("dept", ".dt"), good.substr(0, good.size() / 2));
  Drop_Def();
  Dict_Client_List()->Clear();
  EXPECT_EQ(Dict_Client_List()->Get_Dict("dept", 1), nullptr);
}

TEST_P(Dict_Cache, ExpireAndEraseDropTheFiles) {
  Define("items", "select code,name,flag from t_item", "", "", "", "select code,name from t_item");
  TDict* d = Dict_Client_List()->Get_Dict("items", 1);
  ASSERT_NE(d, nullptr);
  for (const char* s : {".dt", ".dz", ".ext.dt", ".ext.dz"}) EXPECT_TRUE(fs::exists(Dt("items", s))) << s;
  int ver = d->Local_Version();
  ASSERT_EQ(Expire_Cache("items"), 1);
  EXPECT_EQ(d->Local_Version(), ver + 1);
  for (const char* s : {".dt", ".dz", ".ext.dt", ".ext.dz"}) EXPECT_FALSE(fs::exists(Dt("items", s))) << s;
  EXPECT_EQ(Expire_Cache(""), 0);

  // Load mode 1: erasing a code drops the files and takes the next local version as the time stamp.
  TDict_Db own;
  ASSERT_EQ(own.SetInfo("items2", "select code,name from t_item"), 1);
  ASSERT_EQ(own.Load(1), 1);
  ASSERT_TRUE(fs::exists(Dt("items2", ".dt")));
  int before = own.Local_Version();
  ASSERT_EQ(own.Erase_Code(u"k1"), 1);
  EXPECT_FALSE(fs::exists(Dt("items2", ".dt")));
  EXPECT_EQ(own.Time_Stamp(), before + 1);

  // A user's business-object dictionary is kept out of the cache.
  ASSERT_NE(Dict_Client_List()->Get_Dict("ubo.u1", 1), nullptr);
  EXPECT_FALSE(fs::exists(Dt("ubo.u1", ".dt")));
  EXPECT_EQ(Expire_Cache("ubo.u1"), 0);
}

TEST_P(Dict_Cache, PartLoadKeepsColumnsButNoRows) {
  TDict_Db d;
  d.Set_Part_Load(1);
  ASSERT_EQ(d.SetInfo("parts", "select code,name,flag from t_item order by code"), 1);
  ASSERT_EQ(d.Load(0), 1);
  EXPECT_EQ(d.Get_Row_Count(), 0);
  EXPECT_EQ(d.Get_Field_Count(), 3);
}

TEST(Dict_Part_Load_Sql, Rewrites) {
  struct Row {
    const char* name;
    const char* sql;
    const char* want;
  } rows[] = {
      {"first where", "select code from t where a=1 and b in (select x from u where y=2)",
       "select code from t where 1=0 and a=1 and b in (select x from u where y=2)"},
      {"order without where", "select code from t order by code", "select code from t where 1=0 order by code"},
      {"neither", "select code from t", "select code from t where 1=2"},
      {"where before order", "select code from t where a=1 order by code",
       "select code from t where 1=0 and a=1 order by code"},
  };
  for (const Row& r : rows) EXPECT_EQ(TDict_Db::Part_Load_Sql(r.sql), r.want) << r.name;
}

// ---- the block-compressed format -------------------------------------------------------------------

std::string Random_Bytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() % 16);  // compressible, not trivially
  return s;
}

const uint8_t* B(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST(Dict_Zip, BlocksOfFourMillionBytes) {
  struct Row {
    size_t size;
    int blocks;
  } rows[] = {{0, 0}, {1, 1}, {ZIP_BLOCK_CHUNK - 1, 1}, {ZIP_BLOCK_CHUNK, 1}, {ZIP_BLOCK_CHUNK + 1, 2}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.size);
    std::string src = Random_Bytes(r.size, static_cast<unsigned>(r.size));
    std::string z;
    ASSERT_EQ(Zip_Block_Encode(B(src), src.size(), &z), 1);
    EXPECT_EQ(Zip_Block_Count(B(z), z.size()), r.blocks);
    if (r.blocks) {
      EXPECT_EQ(z.compare(0, 9, "zipblock "), 0);
    }
    std::string back = "kept:";
    ASSERT_EQ(Zip_Block_Decode(B(z), z.size(), &back), 1);
    EXPECT_TRUE(back == "kept:" + src);
  }
}

TEST(Dict_Zip, MalformedInputIsRefusedAndLeavesTheOutput) {
  std::string src = Random_Bytes(1000, 7);
  std::string good;
  ASSERT_EQ(Zip_Block_Encode(B(src), src.size(), &good), 1);
  std::string n = good.substr(9, 10);  // the length field
  struct Row {
    const char* name;
    std::string bytes;
  } rows[] = {
      {"header cut short", good.substr(0, 12)},
      {"data cut short", good.substr(0, good.size() - 1)},
      {"wrong magic", "zipbl0ck" + good.substr(8)},
      {"letters in the length", "zipblock        1x " + good.substr(20)},
      {"zero length", std::string("zipblock          0 ")},
      {"length past the end", "zipblock 9999999999 " + good.substr(20)},
      {"no blank after the length", good.substr(0, 19) + "x" + good.substr(20)},
      {"blank between digits", "zipblock  1 " + n.substr(3) + " " + good.substr(20)},
      {"bytes do not expand", good.substr(0, 20) + std::string(good.size() - 20, 'z')},
      {"trailing garbage", good + "zip"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::string out = "kept";
    EXPECT_EQ(Zip_Block_Decode(B(r.bytes), r.bytes.size(), &out), 0);
    EXPECT_EQ(out, "kept");
  }
  // An output limit stops a file that expands further than the caller allows.
  std::string out;
  EXPECT_EQ(Zip_Block_Decode(B(good), good.size(), &out, 999), 0);
  EXPECT_EQ(Zip_Block_Decode(B(good), good.size(), &out, 1000), 1);
  EXPECT_TRUE(out == src);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Drivers, Dict_Cache, ::testing::Values("sqlite", "pg"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

namespace {

// Part-load fetches: literal lists up to 200 codes, the temporary key table from 201.
TEST_P(Dict_Cache, FetchMissingCodesAtTheListBoundary) {
  TSQLCA q;
  Ok(q, {u"create table t_many (code varchar(20), name varchar(20))",
         u"create table app_dict_tmp_key_set (key_id varchar(40))"});
  Ok(q, {u"insert into t_many values ('m000','n0')"});
  for (int i = 1; i < 300; i += 1) {
    std::u16string s = U("insert into t_many values ('m" + std::string(i < 10 ? "00" : i < 100 ? "0" : "") +
                         std::to_string(i) + "','n" + std::to_string(i) + "')");
    ASSERT_EQ(q.Exec(s.c_str()), 0) << Utf8(q.Get_Error_Msg());
  }
  Ok(q, {});
  struct Row {
    int wanted;
    int tmp_rows;  // rows left in the temporary key table
  } rows[] = {{200, 0}, {201, 201}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.wanted);
    TDict_Db d;
    d.Set_Part_Load(1);
    d.Set_File_Cache(0);
    ASSERT_EQ(d.SetInfo("many", "select code,name from t_many"), 1);
    ASSERT_EQ(d.Load(0), 1);
    ASSERT_EQ(d.Get_Row_Count(), 0);
    TSQLCA keys;
    keys.Set_Field_Count(1);
    for (int i = 0; i < r.wanted; ++i) {
      char code[16];
      std::snprintf(code, sizeof code, "m%03d", i);
      for (int twice = 0; twice < 2; ++twice) {  // each code fetched once
        keys.Add_Row();
        keys.Set_Value(0, code);
      }
    }
    ASSERT_EQ(d.Fetch_Missing_Codes(&keys, u"code"), 1);
    EXPECT_EQ(d.Get_Row_Count(), r.wanted);
    std::u16string name;
    ASSERT_EQ(d.Get_Name(u"m123", &name), 1);
    EXPECT_EQ(Utf8(name.c_str()), "n123");
    ASSERT_EQ(q.Exec(u"select count(*) from app_dict_tmp_key_set"), 0);
    EXPECT_EQ(W_To_Int(q.Get_Value(0)), r.tmp_rows);
    // Held codes are not fetched again.
    ASSERT_EQ(d.Fetch_Missing_Codes(&keys, u"code"), 1);
    EXPECT_EQ(d.Get_Row_Count(), r.wanted);
  }
}

}  // namespace
