// What the input controls' tests share: the application, a fixed "today" and the host's calendar as a
// test double that records how it was called and answers as the test says.
#pragma once

#include <QDateTime>
#include <QTimer>
#include <functional>
#include <string>

#include "controls/controls_test_app.h"
#include "core/data/para.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"
#include "toolkit/tk_datetime.h"

struct CalendarCall {
  std::string given;  // the buffer as the control passed it
  int x = 0, y = 0;   // "tmp.calendar_x" / "tmp.calendar_y" at the call
};

// The calendar double: records the call, then writes answer (when not null) and returns 1, else 0.
inline CalendarCall g_calendar_call;
inline const char* g_calendar_answer = nullptr;
inline int g_calendar_calls = 0;

inline int Calendar_Double(char* buffer) {
  g_calendar_calls++;
  g_calendar_call.given = buffer;
  Pub_Para_Get_Int(u"tmp.calendar_x", &g_calendar_call.x);
  Pub_Para_Get_Int(u"tmp.calendar_y", &g_calendar_call.y);
  if (!g_calendar_answer) return 0;
  std::strcpy(buffer, g_calendar_answer);
  return 1;
}

// Today is 2024-06-15 for every test of the binary; the calendar double is registered once.
class InputsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    controlsTestApp();
    SetClock([] { return QDateTime(QDate(2024, 6, 15), QTime(9, 30)); });
    Gui_Calendar_Get_Fn fn = Calendar_Double;
    Reg_Pub_Ptr(kGui_Calendar_Get, reinterpret_cast<void*>(fn));
    g_calendar_answer = nullptr;
    g_calendar_calls = 0;
    g_calendar_call = CalendarCall();
  }
  void TearDown() override { SetClock(nullptr); }
};
