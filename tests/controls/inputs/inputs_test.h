// What the input controls' tests share: today is 2024-06-15, and the host's calendar is a test double
// that records how it was called and answers `answer` (null: the user cancels).
#pragma once

#include <cstring>

#include "controls/support.h"
#include "frame/host_funcs.h"
#include "toolkit/tk_datetime.h"

class InputsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zt::App(), SetClock([] { return QDateTime(QDate(2024, 6, 15), QTime(9, 30)); });
    zt::Host<kGui_Calendar_Get, Gui_Calendar_Get_Fn>::Set([this](char* buffer) {
      ++calls, given = buffer;
      Pub_Para_Get_Int(u"tmp.calendar_x", &at.rx()), Pub_Para_Get_Int(u"tmp.calendar_y", &at.ry());
      return answer ? (std::strcpy(buffer, answer), 1) : 0;
    });
  }
  void TearDown() override { SetClock(nullptr); }
  const char* answer = nullptr;
  int calls = 0;
  std::string given;  // the buffer as the control passed it
  QPoint at;          // "tmp.calendar_x" / "tmp.calendar_y" at the call
};
