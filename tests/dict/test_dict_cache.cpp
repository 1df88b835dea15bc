// The dictionary file cache (".dt"/".dz" and their integrity records), damaged caches, the
// block-compressed format, part-load SQL and fetches, and cache expiry.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/data/para.h"
#include "core/text/wfunc.h"
#include "dict/dict_db.h"
#include "dict/dict_zip.h"
#include "frame/log_mgr.h"
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
  for (const char* s : {".dt", ".dz", ".dt.sum", ".dz.sum"}) ASSERT_TRUE(fs::exists(Dt("dept", s))) << s;
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

// Every damage of a cache file or of its integrity record gives the entries of a clean load from the
// database and a fresh cache, says what it found in the log, and blocks on nothing.
TEST_P(Dict_Cache, DamagedCacheLoadsFromTheDatabase) {
  ASSERT_NE(Dict_Client_List()->Get_Dict("dept", 1), nullptr);
  const std::string good = Read(Dt("dept", ".dt")), good_sum = Read(Dt("dept", ".dt.sum"));
  ASSERT_GT(good.size(), 40u);
  ASSERT_EQ(good_sum.size(), DICT_SUM_SIZE);
  auto flip = [](std::string s, size_t bit) {
    s[bit / 8] = static_cast<char>(s[bit / 8] ^ (1 << (bit % 8)));
    return s;
  };
  struct Row {
    std::string name;
    std::function<void(const std::string& dt, const std::string& sum)> damage;
    std::string log;  // lines the log must hold
  };
  auto bytes = [&](std::string b, bool record_matches) {
    return [=](const std::string& dt, const std::string& sum) {
      Write(dt, b);
      if (record_matches) Write(sum, Dict_Sum_Record(reinterpret_cast<const uint8_t*>(b.data()), b.size()));
    };
  };
  std::vector<Row> rows = {
      {"empty file", bytes("", false), "its length differs"},
      {"cut in half", bytes(good.substr(0, good.size() / 2), false), "its length differs"},
      {"bytes after the pack", bytes(good + "junk", false), "its length differs"},
      {"grown to a terabyte (a hole): refused unread",
       [](const std::string& dt, const std::string&) { fs::resize_file(dt, uintmax_t(1) << 40); },
       "its length differs"},
      {"record missing", [](const std::string&, const std::string& sum) { fs::remove(sum); }, "no integrity record"},
      {"record cut short", [&](const std::string&, const std::string& sum) { Write(sum, good_sum.substr(0, 20)); },
       "not 24 bytes"},
      {"record of other bytes", [&](const std::string& dt, const std::string&) { Write(dt, good.substr(1) + "x"); },
       "its checksum differs"},
      {"a FIFO in the file's place",
       [](const std::string& dt, const std::string&) {
         fs::remove(dt);
         ASSERT_EQ(mkfifo(dt.c_str(), 0600), 0);
       },
       "reason: not a regular file"},
      {"temporaries of writers: one killed two hours ago, one at work",
       [](const std::string& dt, const std::string& sum) {
         Write(dt + ".kIlLeD", "half");
         fs::last_write_time(dt + ".kIlLeD", fs::file_time_type::clock::now() - std::chrono::hours(2));
         Write(dt + ".AtWork", "half");
         fs::remove(sum);
       },
       "no integrity record"},
      {"a file in the cache folder's place",
       [](const std::string& dt, const std::string&) {
         fs::remove_all(fs::path(dt).parent_path());
         Write(fs::path(dt).parent_path().string(), "x");
       },
       "Unable to create directory " + home_ + "/dt\nreason: Not a directory\n"},
      {"a directory in the file's place",
       [](const std::string& dt, const std::string&) {
         fs::remove(dt);
         fs::create_directory(dt);
       },
       "reason: Is a directory"},
      // Whole records over bytes that are no packed set: the unpacking refuses them.
      {"last byte missing, record matching", bytes(good.substr(0, good.size() - 1), true), "unable to unpack cache"},
      {"first bytes changed, record matching", bytes(std::string(8, '\xff') + good.substr(8), true), "unable to unpack"},
      {"bytes after the pack, record matching", bytes(good + "junk", true), "unable to unpack cache file"},
  };
  std::mt19937 rng(18);  // single flipped bits, sampled with a fixed seed
  for (int i = 0; i < 12; ++i) {
    size_t bit = rng() % (good.size() * 8);
    rows.push_back({"bit " + std::to_string(bit) + " of the file flipped",
                    [=](const std::string& dt, const std::string&) { Write(dt, flip(good, bit)); }, "differs"});
  }
  for (int i = 0; i < 4; ++i) {
    size_t bit = rng() % (DICT_SUM_SIZE * 8);
    rows.push_back({"bit " + std::to_string(bit) + " of the record flipped",
                    [=](const std::string&, const std::string& sum) { Write(sum, flip(good_sum, bit)); },
                    "damaged cache file"});
  }
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ASSERT_NO_FATAL_FAILURE(r.damage(Dt("dept", ".dt"), Dt("dept", ".dt.sum")));
    Dict_Client_List()->Clear();
    Log_Mgr()->Set_Keep(50);
    TDict* d = Dict_Client_List()->Get_Dict("dept", 1);
    std::string log = Log_Mgr()->Last_Lines();
    Log_Mgr()->Set_Keep(0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(Codes(d), (Code_List{"C", "A", "B", "G"}));
    EXPECT_NE(log.find(r.log), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(Dt("dept", ".dt.kIlLeD"))) << "a dead writer's temporary is removed";
    if (!fs::is_directory(home_ + "/dt")) {  // nothing could be written
      fs::remove(home_ + "/dt");
      fs::create_directory(home_ + "/dt");
      continue;
    }
    if (fs::is_directory(Dt("dept", ".dt"))) {
      // Nothing is removed to make room: the new cache cannot be written, and says why.
      EXPECT_NE(log.find("unable to create dmp file " + Dt("dept", ".dt") + "\nreason: Is a directory\n"),
                std::string::npos) << log;
      fs::remove(Dt("dept", ".dt"));
      continue;
    }
    EXPECT_EQ(Read(Dt("dept", ".dt")), good) << "the cache is written again";
    if (r.name.find("temporaries") == 0) {
      EXPECT_TRUE(fs::remove(Dt("dept", ".dt.AtWork"))) << "a live writer's temporary is kept";
    }
    EXPECT_EQ(Read(Dt("dept", ".dt.sum")), good_sum);
  }
  // A damaged file with no SQL to fall back on gives an empty dictionary, not a half-filled one.
  Write(Dt("dept", ".dt"), good.substr(0, good.size() / 2));
  Drop_Def();
  Dict_Client_List()->Clear();
  TDict* d = Dict_Client_List()->Get_Dict("dept", 1);
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->Load_Failed());
  EXPECT_EQ(d->Get_Row_Count(), 0);
}

TEST_P(Dict_Cache, ExpireAndEraseDropTheFiles) {
  Define("items", "select code,name,flag from t_item", "", "", "", "select code,name from t_item");
  TDict* d = Dict_Client_List()->Get_Dict("items", 1);
  ASSERT_NE(d, nullptr);
  const char* files[] = {".dt", ".dz", ".ext.dt", ".ext.dz", ".dt.sum", ".ext.dz.sum"};
  for (const char* s : files) EXPECT_TRUE(fs::exists(Dt("items", s))) << s;
  int ver = d->Local_Version();
  ASSERT_EQ(Expire_Cache("items"), 1);
  EXPECT_EQ(d->Local_Version(), ver + 1);
  EXPECT_EQ(d->Is_Time_Stamp_Changed(), 1);  // a local change since the load
  for (const char* s : files) EXPECT_FALSE(fs::exists(Dt("items", s))) << s;
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

// Part-load fetches: literal lists up to 200 codes, the temporary key table from 201, on a session of
// the fetch's own that leaves no key rows and commits nothing the caller's session has pending.
TEST_P(Dict_Cache, FetchMissingCodesAtTheListBoundary) {
  TSQLCA q;
  Ok(q, {u"create table t_many (code varchar(20), name varchar(20))",
         u"create table app_dict_tmp_key_set (key_id varchar(40))", u"create table t_pending (v int)"});
  for (int i = 0; i < 300; i += 1) {
    std::u16string s = U("insert into t_many values ('m" + std::string(i < 10 ? "00" : i < 100 ? "0" : "") +
                         std::to_string(i) + "','n" + std::to_string(i) + "')");
    ASSERT_EQ(q.Exec(s.c_str()), 0) << Utf8(q.Get_Error_Msg());
  }
  Ok(q, {});
  struct Row {
    int wanted;
    bool pending;  // the caller's session has an uncommitted insert meanwhile
  } rows[] = {{200, false}, {201, false}, {201, true}};
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.wanted) + (r.pending ? " pending" : ""));
    TDict_Db d;
    d.Set_Part_Load(1);
    d.Set_File_Cache(0);
    ASSERT_EQ(d.SetInfo("many", "select code,name from t_many"), 1);
    ASSERT_EQ(d.Load(0), 1);
    ASSERT_EQ(d.Get_Row_Count(), 0);
    ASSERT_EQ(d.Get_Field_Count(), 2);
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
    if (r.pending) {
      ASSERT_EQ(q.Exec(u"insert into t_pending values (1)"), 0);
    }
    ASSERT_EQ(d.Fetch_Missing_Codes(&keys, u"code"), 1);
    if (r.pending) {
      ASSERT_EQ(q.Rollback(), 0);
    }
    EXPECT_EQ(d.Get_Row_Count(), r.wanted);
    std::u16string name;
    ASSERT_EQ(d.Get_Name(u"m123", &name), 1);
    EXPECT_EQ(Utf8(name.c_str()), "n123");
    for (const char16_t* left : {u"select count(*) from app_dict_tmp_key_set", u"select count(*) from t_pending"}) {
      ASSERT_EQ(q.Exec(left), 0);
      EXPECT_EQ(W_To_Int(q.Get_Value(0)), 0) << Utf8(left);
    }
    // Held codes are not fetched again.
    ASSERT_EQ(d.Fetch_Missing_Codes(&keys, u"code"), 1);
    EXPECT_EQ(d.Get_Row_Count(), r.wanted);
  }
}

}  // namespace
