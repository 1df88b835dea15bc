// The framework log (console or file, kept lines) and the per-thread error records.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

#include "frame/log_mgr.h"
#include "frame/singleton.h"
#include "frame/thr_err.h"
#include "frame_test_util.h"

namespace {

// A log file of this test process, removed at the end.
struct Temp_Log_File {
  std::string path = testing::TempDir() + "zem_log_" + std::to_string(getpid()) + ".txt";
  Temp_Log_File() { std::remove(path.c_str()); }
  ~Temp_Log_File() { std::remove(path.c_str()); }
};

std::string Printed(TLog_Mgr* log, const char* text) {
  testing::internal::CaptureStdout(), log->Printf("%s", text);
  return testing::internal::GetCapturedStdout();
}

TEST(LogMgr, ConsoleByDefaultFileWhenSet) {
  TLog_Mgr log;
  testing::internal::CaptureStdout(), log.Printf("SQL %s %d\n", "select 1", 7);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "SQL select 1 7\n");

  Temp_Log_File file;
  ASSERT_EQ(log.Set_File(file.path.c_str()), 1);
  EXPECT_EQ(Printed(&log, "first\n"), "");
  EXPECT_EQ(Read_File(file.path), "first\n");
  EXPECT_EQ(log.Set_File("/nonexistent/dir/log.txt"), 0);
  log.Printf("second %s\n", "line");
  EXPECT_EQ(Read_File(file.path), "first\nsecond line\n") << "a file that cannot be opened leaves the log";
  ASSERT_EQ(log.Set_File(""), 1);
  EXPECT_EQ(Printed(&log, "third\n"), "third\n") << "back to the console";
  EXPECT_EQ(Read_File(file.path), "first\nsecond line\n");

  // A line far beyond any buffer is written and kept whole.
  const std::string big(100000, 'q');
  ASSERT_EQ(log.Set_File(file.path.c_str()), 1);
  log.Set_Keep(1), log.Printf("%s\n", big.c_str());
  EXPECT_EQ(log.Last_Lines(), big + "\n");
  EXPECT_EQ(Read_File(file.path), "first\nsecond line\n" + big + "\n");
}

TEST(LogMgr, KeepsTheLastLines) {
  TLog_Mgr log;
  Temp_Log_File file;
  ASSERT_EQ(log.Set_File(file.path.c_str()), 1);  // keeps the console quiet
  log.Printf("before keeping\n");
  EXPECT_EQ(log.Last_Lines(), "");
  log.Set_Keep(2);
  const struct { const char* print; const char* kept; } steps[] = {
      {"a\n", "a\n"}, {"b\nc\n", "b\nc\n"}, {"d", "c\nd"} /* an unfinished line counts */, {"e\n", "c\nde\n"}};
  for (const auto& s : steps) {
    log.Printf("%s", s.print);
    EXPECT_EQ(log.Last_Lines(), s.kept) << s.print;
  }
  log.Set_Keep(0);
  EXPECT_EQ(log.Last_Lines(), "");
}

TEST(LogMgr, ProcessLogIsTheRegisteredOne) {
  bool created = true, again = true;
  TLog_Mgr* log = Log_Mgr(&created);
  EXPECT_EQ(Get_Pub_Ptr("log_mgr"), log);
  EXPECT_TRUE(Log_Mgr(&again) == log && !again) << "the second call finds its own static pointer";
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
  std::thread([&] { other_code = m->Get_Err(&other_text), m->Set_Err(5, nullptr); }).join();
  EXPECT_TRUE(other_code == 0 && other_text.empty()) << "a new thread starts without an error";
  EXPECT_EQ(m->Get_Err(&text), -1) << "the other thread's error stays its own";

  m->Set_Err(0, "ignored");
  EXPECT_TRUE(m->Get_Err(&text) == 0 && text.empty()) << "code 0 clears";
  m->Set_Err(7, "x"), m->Clear_Err();
  EXPECT_EQ(m->Get_Err(), 0);
}

}  // namespace
