// The framework log (console or file, kept lines) and the per-thread error records.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "frame/log_mgr.h"
#include "frame/singleton.h"
#include "frame/thr_err.h"

namespace {

std::string Read_File(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

TEST(LogMgr, ConsoleByDefaultFileWhenSet) {
  TLog_Mgr log;
  testing::internal::CaptureStdout();
  log.Printf("SQL %s %d\n", "select 1", 7);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "SQL select 1 7\n");

  const std::string path = testing::TempDir() + "zem_log_" + std::to_string(getpid()) + ".txt";
  std::remove(path.c_str());
  ASSERT_EQ(log.Set_File(path.c_str()), 1);
  testing::internal::CaptureStdout();
  log.Printf("first\n");
  log.Printf("second %s\n", "line");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(Read_File(path), "first\nsecond line\n");

  // A file that cannot be opened leaves the log where it was.
  EXPECT_EQ(log.Set_File("/nonexistent/dir/log.txt"), 0);
  log.Printf("third\n");
  EXPECT_EQ(Read_File(path), "first\nsecond line\nthird\n");

  ASSERT_EQ(log.Set_File(""), 1);  // back to the console
  testing::internal::CaptureStdout();
  log.Printf("fourth\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "fourth\n");
  EXPECT_EQ(Read_File(path), "first\nsecond line\nthird\n");
  std::remove(path.c_str());
}

TEST(LogMgr, KeepsTheLastLines) {
  TLog_Mgr log;
  const std::string path = testing::TempDir() + "zem_keep_" + std::to_string(getpid()) + ".txt";
  ASSERT_EQ(log.Set_File(path.c_str()), 1);  // keeps the console quiet
  log.Printf("before keeping\n");
  EXPECT_EQ(log.Last_Lines(), "");
  log.Set_Keep(2);
  log.Printf("a\n");
  log.Printf("b\nc\n");
  EXPECT_EQ(log.Last_Lines(), "b\nc\n");
  log.Printf("d");  // an unfinished line counts
  EXPECT_EQ(log.Last_Lines(), "c\nd");
  log.Printf("e\n");
  EXPECT_EQ(log.Last_Lines(), "c\nde\n");
  log.Set_Keep(0);
  EXPECT_EQ(log.Last_Lines(), "");
  std::remove(path.c_str());
}

TEST(LogMgr, LongLinesAreWrittenWhole) {
  TLog_Mgr log;
  log.Set_Keep(1);
  const std::string path = testing::TempDir() + "zem_long_" + std::to_string(getpid()) + ".txt";
  ASSERT_EQ(log.Set_File(path.c_str()), 1);
  std::string big(100000, 'q');
  log.Printf("%s\n", big.c_str());
  EXPECT_EQ(log.Last_Lines(), big + "\n");
  EXPECT_EQ(Read_File(path), big + "\n");
  std::remove(path.c_str());
}

TEST(LogMgr, ProcessLogIsTheRegisteredOne) {
  bool created = true;
  TLog_Mgr* log = Log_Mgr(&created);
  EXPECT_EQ(Log_Mgr(), log);
  EXPECT_EQ(Get_Pub_Ptr("log_mgr"), log);
  bool again = true;
  Log_Mgr(&again);
  EXPECT_FALSE(again);  // the second call finds its own static pointer
}

TEST(ThrErrMgr, EachThreadHasItsOwnRecord) {
  TThr_Err_Mgr* m = Thr_Err_Mgr();
  EXPECT_EQ(Get_Pub_Ptr("thr_err_mgr"), m);
  m->Set_Err(-1, "function Foo not defined");
  std::string text;
  EXPECT_EQ(m->Get_Err(&text), -1);
  EXPECT_EQ(text, "function Foo not defined");

  int other_code = 99;
  std::string other_text = "unchanged";
  std::thread t([&] {
    other_code = m->Get_Err(&other_text);
    m->Set_Err(5, nullptr);
  });
  t.join();
  EXPECT_EQ(other_code, 0);
  EXPECT_EQ(other_text, "");
  EXPECT_EQ(m->Get_Err(&text), -1);  // the other thread's error stays its own

  m->Set_Err(0, "ignored");  // code 0 clears
  EXPECT_EQ(m->Get_Err(&text), 0);
  EXPECT_EQ(text, "");
  m->Set_Err(7, "x");
  m->Clear_Err();
  EXPECT_EQ(m->Get_Err(), 0);
}

}  // namespace
