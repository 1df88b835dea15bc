// The framework's waiting function: the host's box on its user-interface thread, poll(2) elsewhere.
#include "frame/wait.h"

#include <poll.h>
#include <time.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "frame/host_funcs.h"
#include "frame/singleton.h"

long long Zem_Wait_Now_Ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void Zem_Wait_Begin(Zem_Wait* w, const char16_t* title, int bound_ms) {
  std::memset(w, 0, sizeof *w);
  w->size = sizeof *w;
  w->title = title;
  w->started_ms = Zem_Wait_Now_Ms();
  w->deadline_ms = bound_ms > 0 ? w->started_ms + bound_ms : 0;
  w->show_after_ms = 500;
  w->fd = -1;
}

namespace {

// The end of a step: the deadline or until_ms, whichever comes first (0: none).
long long Step_End(const Zem_Wait* w) {
  if (w->until_ms > 0 && (w->deadline_ms == 0 || w->until_ms < w->deadline_ms)) return w->until_ms;
  return w->deadline_ms;
}

int Past_End(const Zem_Wait* w, long long now) {
  if (w->deadline_ms > 0 && now >= w->deadline_ms) return ZEM_WAIT_TIMEOUT;
  if (w->until_ms > 0 && now >= w->until_ms) return ZEM_WAIT_AGAIN;
  return ZEM_WAIT_READY;
}

// A step without a host: poll(2) on the socket, in slices of 10 ms when done() is to be asked.
int Poll_Step(Zem_Wait* w) {
  for (;;) {
    if (w->done && w->done(w->ctx)) return ZEM_WAIT_READY;
    const long long now = Zem_Wait_Now_Ms();
    const int past = Past_End(w, now);
    if (past != ZEM_WAIT_READY) return past;
    const long long end = Step_End(w);
    long long ms = end > 0 ? end - now : -1;
    if (w->done && (ms < 0 || ms > 10)) ms = 10;
    if (w->fd < 0) {
      if (ms < 0) return ZEM_WAIT_ERROR;  // nothing could ever end this step
      timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
      nanosleep(&ts, nullptr);
      continue;
    }
    pollfd p{w->fd, w->events, 0};
    const int r = poll(&p, 1, ms > INT_MAX ? INT_MAX : static_cast<int>(ms));
    if (r > 0) return ZEM_WAIT_READY;
    if (r < 0 && errno != EINTR) return ZEM_WAIT_ERROR;
  }
}

}  // namespace

extern "C" int Zem_Wait_Run(Zem_Wait* w, int op) {
  if (!w) return ZEM_WAIT_ERROR;
  static Gui_Wait_Box_Fn box = nullptr;
  Gui_Wait_Box_Fn host = Zem_Host_Func(kGui_Wait_Box, box);
  if (op == ZEM_WAIT_END) {
    if (host && w->host) host(w, ZEM_WAIT_END);
    w->host = nullptr;
    return 1;
  }
  if (w->cancelled) return ZEM_WAIT_CANCELLED;
  if (op == ZEM_WAIT_STEP) {
    const int past = Past_End(w, Zem_Wait_Now_Ms());
    if (past != ZEM_WAIT_READY) return past;
  }
  if (host) {
    const int r = host(w, op);
    if (r != ZEM_WAIT_NOT_HERE) {
      if (r == ZEM_WAIT_CANCELLED) w->cancelled = 1;
      return r;
    }
  }
  return op == ZEM_WAIT_TICK ? ZEM_WAIT_READY : Poll_Step(w);
}

extern "C" int Zem_Wait_Poll(Zem_Wait* w, int op) {
  if (!w) return ZEM_WAIT_ERROR;
  if (op == ZEM_WAIT_END) {
    w->host = nullptr;
    return 1;
  }
  if (w->cancelled) return ZEM_WAIT_CANCELLED;
  return op == ZEM_WAIT_TICK ? ZEM_WAIT_READY : Poll_Step(w);
}

int Zem_Wait_Step(Zem_Wait* w, int fd, short events) {
  w->fd = fd;
  w->events = events;
  return Zem_Wait_Run(w, ZEM_WAIT_STEP);
}

int Zem_Wait_End(Zem_Wait* w) { return Zem_Wait_Run(w, ZEM_WAIT_END); }
