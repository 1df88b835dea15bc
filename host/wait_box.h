// The default wait box (host function "gui_wait_box", the struct and its operations in frame/wait.h)
// and the default status line about the database link ("gui_status_text").
//
// Zem_Host_Wait_Box, on the application's user-interface thread (any other thread: ZEM_WAIT_NOT_HERE):
// - a step waits for the socket with poll(2) while less than 20 ms passed since the event loop last
//   ran, then runs the event loop (a QEventLoop with a QSocketNotifier on the socket, timers for the
//   step's end, for done() every 10 ms and for the box), so the window paints at least every 20 ms
//   however long the call waits, and a call of many quick round trips costs no event loop per trip;
// - until the box shows, user input stays queued (QEventLoop::ExcludeUserInputEvents): nothing typed
//   or clicked reaches the window while it waits, and it is delivered once the call returned;
// - once the call has waited show_after_ms (500), a small application-modal box (object name
//   "zem_wait_box") shows the title, "已等待 N 秒" and the detail line, refreshed about every 200 ms,
//   and the button 取消 (object name "cancel"); 取消, Escape and the window's close button end the step
//   with ZEM_WAIT_CANCELLED at once;
// - the box stays from step to step of one call (its state in w->host) and goes at ZEM_WAIT_END.
// ZEM_WAIT_TICK runs what is pending (at most every 20 ms) and shows the box when due.
// While a Zem_Host_Quiet_Waits lives, no box shows: for calls the host makes by itself (a refresh after
// another client's change) that nobody is waiting for and that carry a short bound instead. The window
// still paints; input waits as before the box.
//
// Zem_Host_Status_Text, from any thread: the line goes to the user-interface thread and shows in the
// status bar of the active main window (its last panel, or its single text), or in a QMainWindow's
// own status bar when it has no other.
#pragma once

#include "frame/host_funcs.h"
#include "frame/wait.h"

int Zem_Host_Wait_Box(Zem_Wait* w, int op);

// While one lives, waits on the user-interface thread show no wait box (they nest).
class Zem_Host_Quiet_Waits {
 public:
  Zem_Host_Quiet_Waits();
  ~Zem_Host_Quiet_Waits();
  Zem_Host_Quiet_Waits(const Zem_Host_Quiet_Waits&) = delete;
  Zem_Host_Quiet_Waits& operator=(const Zem_Host_Quiet_Waits&) = delete;
};
int Zem_Host_Status_Text(const char16_t* text, int kind);
// Registers both under their names (called by Zem_Host_Register_Defaults). Returns how many were.
int Zem_Host_Register_Wait();
