// The host's calendar dialog as the date box and the date picker call it: "gui_calendar_get" over a
// 20-byte buffer holding YYYYMMDD (or ""), non-zero when the user chose a date, which is then in the
// buffer as YYYYMMDD. The dialog's screen position goes before the call into the integer public
// parameters "tmp.calendar_x" and "tmp.calendar_y".
#pragma once

#include "toolkit/tk_types.h"

// Whether the host provides the calendar (looked up again on every call while it is missing, then kept).
bool Zem_Calendar_Available();
// Stores at as the dialog position and calls the host's calendar with buffer (20 bytes). Returns the
// host's answer; 0 without a host calendar (nothing is stored then).
int Zem_Calendar_Get(const TPoint& at, char* buffer);
