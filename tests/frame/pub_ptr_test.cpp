// The registry table and library file names.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "frame/pub_ptr.h"
#include "frame/pub_table.h"
#include "frame_test_util.h"

namespace {

int a, b, c;

TEST(PubTable, SetGetReplaceAndRefuse) {
  auto t = std::make_unique<TPub_Table>();  // value-initialized: empty
  const std::string long59(59, 'x'), long60(60, 'y');
  // after: what Get(name) answers afterwards
  const struct { const char* what; const char* name; void* ptr; int result; void* after; int count; } rows[] = {
      {"new name", "thread_mgr", &a, 1, &a, 1}, {"same name again replaces", "thread_mgr", &b, 1, &b, 1},
      {"null pointer refused, old value kept", "thread_mgr", nullptr, 0, &b, 1},
      {"names are case-sensitive", "Thread_mgr", &c, 1, &c, 2}, {"null name refused", nullptr, &a, 0, nullptr, 2},
      {"59 characters fit", long59.c_str(), &a, 1, &a, 3}, {"60 characters refused", long60.c_str(), &a, 0, nullptr, 3},
      {"prefix of a name is another name", "thread", &c, 1, &c, 4},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    EXPECT_EQ(t->Set(r.name, r.ptr), r.result);
    EXPECT_EQ(t->Get(r.name), r.after);
    EXPECT_EQ(t->count, r.count);
  }
  EXPECT_TRUE(t->Get("thread_mgr") == &b && t->Get("absent") == nullptr);
}

TEST(PubTable, FullTableRefusesNewNamesButReplaces) {
  auto t = std::make_unique<TPub_Table>();
  int values[TPub_Table::kMaxEntries];
  for (int i = 0; i < TPub_Table::kMaxEntries; i++)
    ASSERT_EQ(t->Set(("name_" + std::to_string(i)).c_str(), &values[i]), 1) << i;
  EXPECT_TRUE(t->Set("name_200", &a) == 0 && t->Get("name_200") == nullptr) << "the 201st distinct name";
  EXPECT_TRUE(t->Set("name_0", &a) == 1 && t->Get("name_0") == &a) << "replacing the first still works";
  EXPECT_TRUE(t->Set("name_199", &b) == 1 && t->Get("name_199") == &b) << "and the last";
  EXPECT_EQ(t->count, TPub_Table::kMaxEntries);
}

// The exported local table and the shared calls (bound or not, what register-shared stores,
// look-up-shared finds): a new name is stored, a null pointer refused, a second pointer replaces.
TEST(PubPtr, LocalAndSharedCalls) {
  const struct { const char* name; int (*set)(const char*, void*); void* (*get)(const char*); } rows[] = {
      {"pub_ptr_test.local", App_Set_Pub_Ptr, App_Get_Pub_Ptr}, {"pub_ptr_test.shared", Reg_Pub_Ptr, Get_Pub_Ptr}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.set(r.name, &a), 1);
    EXPECT_EQ(r.set(r.name, nullptr), 0);
    EXPECT_EQ(r.get(r.name), &a) << "kept after the refused null";
    EXPECT_TRUE(r.set(r.name, &b) == 1 && r.get(r.name) == &b) << "replaced";
  }
}

TEST(DllGetFileName, WithAndWithoutDirectory) {
  // dir null: the variable unset
  const struct { const char* what; const char* dir; const char* base; const char* file; bool says_not_set; } rows[] = {
      {"directory set", "/opt/zem/bin", "kdm_pub_ptr", "/opt/zem/bin/kdm_pub_ptr.so", false},
      {"base already ends in .so", "/opt/zem/bin", "zem_drv_pg.so", "/opt/zem/bin/zem_drv_pg.so", false},
      {"only the first .so.so is reduced", "/d", "a.so.so", "/d/a.so.so", false},
      {"empty directory still formats", "", "kdm_pub_ptr", "/kdm_pub_ptr.so", false},
      {"variable unset", nullptr, "kdm_pub_ptr", "kdm_pub_ptr.so", true},
      {"unset, base ends in .so", nullptr, "x.so", "x.so", true},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    Env_Var env("TARVOK_DLL_PATH", r.dir);
    char buffer[1024];
    testing::internal::CaptureStdout();
    char* got = Dll_Get_File_Name(r.base, buffer);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(got == buffer && std::string(buffer) == r.file) << buffer;
    EXPECT_EQ(out, r.says_not_set ? "Dll_Get_File_Name dll path not set\n" : "");
  }
}

TEST(DllGetFileName, LongDirectoryIsCutNotOverrun) {
  std::string dir(2000, 'd');
  Env_Var env("TARVOK_DLL_PATH", dir.c_str());
  char buffer[1024 + 16];
  std::memset(buffer, '#', sizeof buffer), Dll_Get_File_Name("kdm_pub_ptr", buffer);
  EXPECT_TRUE(std::strlen(buffer) == 1023u && buffer[1024] == '#') << "cut, terminated, nothing past the buffer";
}

}  // namespace
