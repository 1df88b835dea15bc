// T_Dll: loading, symbol look-up with the decorated form first, freeing, and the messages of each.
#include <gtest/gtest.h>

#include <string>

#include "frame_test_util.h"
#include "frame/log_mgr.h"
#include "frame/t_dll.h"

namespace {

typedef int (*Int_Fn)();

TEST(TDll, LoadFailureIsLoggedWithTheSystemMessage) {
  TLog_Mgr* log = Log_Mgr();
  log->Set_Keep(10);
  T_Dll dll;
  testing::internal::CaptureStdout();
  EXPECT_EQ(dll.Load("/nonexistent/zem_missing.so"), 0);
  std::string out = testing::internal::GetCapturedStdout();
  std::string kept = log->Last_Lines();
  log->Set_Keep(0);
  EXPECT_TRUE(dll.Handle() == nullptr && kept.find("unable to LOAD /nonexistent/zem_missing.so \n") == 0u) << kept;
  // dlerror()'s own text follows on the next line; it names the file.
  EXPECT_NE(kept.find("zem_missing.so", 45), std::string::npos) << kept;
  EXPECT_EQ(out.find("LOAD /nonexistent/zem_missing.so OK"), std::string::npos);
}

TEST(TDll, LoadGetFree) {
  const std::string file = Bin() + "/libzem_second.so";
  T_Dll dll;
  testing::internal::CaptureStdout();
  ASSERT_EQ(dll.Load(file.c_str()), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "LOAD " + file + " OK\n");
  ASSERT_TRUE(dll.File_Name() == file && dll.Handle() != nullptr);

  // answer: what the found function returns, 0: nothing found
  const struct { const char* what; const char* name; int answer; } rows[] = {
      {"decorated form preferred", "Second_Probe", 2}, {"a leading underscore is tried as given", "_Second_Probe", 2},
      {"decorated form only", "Second_Only_Decorated", 3}, {"plain form when no decorated one", "Second_Startup", -1},
      {"absent", "Second_Absent", 0}, {"underscore name not found without it", "_Second_Startup", 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    testing::internal::CaptureStdout();
    void* p = dll.Get_Ptr(r.name);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(p != nullptr, r.answer != 0);
    EXPECT_EQ(out, r.answer ? "" : std::string("unable to get ptr of module '") + r.name + "' in lib " + file + "\n");
    if (p && r.answer > 0) { EXPECT_EQ(reinterpret_cast<Int_Fn>(p)(), r.answer); }
  }
  // Loading again frees the first library.
  testing::internal::CaptureStdout();
  ASSERT_EQ(dll.Load((Bin() + "/kdm_pub_ptr.so").c_str()), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(dll.File_Name() == Bin() + "/kdm_pub_ptr.so" && dll.Get_Ptr("App_Set_Pub_Ptr") != nullptr);
  EXPECT_TRUE(dll.Free() == 1 && dll.Handle() == nullptr);
  EXPECT_EQ(dll.Free(), 0) << "nothing left to free";
  testing::internal::CaptureStdout();
  EXPECT_EQ(dll.Get_Ptr("App_Get_Pub_Ptr"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "no dll loaded,unable to get module App_Get_Pub_Ptr\n");
}

}  // namespace
