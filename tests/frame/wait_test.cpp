// The framework's waiting function: poll(2) when no host takes the wait, the host's "gui_wait_box"
// when it does, and each way a step ends answered as a driver expects.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>

#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"
#include "frame/wait.h"

namespace {

// The host function double: what it does is the running test's; unset, it leaves every wait to the
// caller, as the real one does off its user-interface thread. Registered once: the framework keeps
// the address it found.
std::function<int(Zem_Wait*, int)> g_host;
int g_host_calls = 0;

int Host_Double(Zem_Wait* w, int op) {
  ++g_host_calls;
  return g_host ? g_host(w, op) : ZEM_WAIT_NOT_HERE;
}

void Use_Host_Double() {
  static const bool registered = [] {
    Gui_Wait_Box_Fn fn = Host_Double;
    return Reg_Pub_Ptr(kGui_Wait_Box, reinterpret_cast<void*>(fn)) == 1;
  }();
  ASSERT_TRUE(registered);
}

struct Pair {
  int fd[2] = {-1, -1};
  Pair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fd), 0); }
  ~Pair() {
    close(fd[0]);
    close(fd[1]);
  }
};

int g_done_asked = 0;
int Done_On_Third(void*) { return ++g_done_asked >= 3; }

}  // namespace

TEST(Wait, HowAStepEnds) {
  Use_Host_Double();
  g_host = nullptr;
  enum Fd { SOCKET, NONE };
  struct Row {
    const char* name;
    bool written;       // a byte waits on the socket
    Fd fd;
    short events;
    int until_in_ms;    // 0: none
    int bound_ms;       // the call's deadline from its start; 0 none, -1 already past
    bool done;          // done() says yes at its third asking
    int result;
  };
  const Row rows[] = {
      {"a byte to read", true, SOCKET, POLLIN, 0, 1000, false, ZEM_WAIT_READY},
      {"room to write", false, SOCKET, POLLOUT, 0, 1000, false, ZEM_WAIT_READY},
      {"nothing comes before until_ms", false, SOCKET, POLLIN, 30, 5000, false, ZEM_WAIT_AGAIN},
      {"nothing comes before the deadline", false, SOCKET, POLLIN, 0, 30, false, ZEM_WAIT_TIMEOUT},
      {"the deadline is earlier than until_ms", false, SOCKET, POLLIN, 5000, 30, false, ZEM_WAIT_TIMEOUT},
      {"the deadline passed before the step", true, SOCKET, POLLIN, 0, -1, false, ZEM_WAIT_TIMEOUT},
      {"no socket: done() says so", false, NONE, 0, 0, 5000, true, ZEM_WAIT_READY},
      {"no socket, no deadline, no done(): nothing would end it", false, NONE, 0, 0, 0, false, ZEM_WAIT_ERROR},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Pair p;
    if (r.written) {
      ASSERT_EQ(write(p.fd[1], "x", 1), 1);
    }
    Zem_Wait w;
    Zem_Wait_Begin(&w, u"正在等待数据库…", r.bound_ms > 0 ? r.bound_ms : 0);
    if (r.bound_ms < 0) w.deadline_ms = w.started_ms - 1;
    if (r.until_in_ms) w.until_ms = w.started_ms + r.until_in_ms;
    g_done_asked = 0;
    if (r.done) w.done = Done_On_Third;
    EXPECT_EQ(Zem_Wait_Step(&w, r.fd == SOCKET ? p.fd[0] : -1, r.events), r.result);
    EXPECT_EQ(w.cancelled, 0);
    EXPECT_EQ(Zem_Wait_End(&w), 1);
  }
}

// A host that takes the wait decides the step; its 取消 stays for the rest of the call, so later steps
// answer at once without asking it; the end of the call reaches it only when it kept a box.
TEST(Wait, TheHostTakesTheWait) {
  Use_Host_Double();
  Pair p;
  struct Seen { int steps = 0, ticks = 0, ends = 0; } seen;
  int box = 0;
  g_host = [&](Zem_Wait* w, int op) -> int {
    if (op == ZEM_WAIT_END) {
      ++seen.ends;
      return 1;
    }
    w->host = &box;  // the host keeps its box between steps
    if (op == ZEM_WAIT_TICK) {
      ++seen.ticks;
      return ZEM_WAIT_READY;
    }
    ++seen.steps;
    return seen.steps == 1 ? ZEM_WAIT_READY : ZEM_WAIT_CANCELLED;
  };
  Zem_Wait w;
  Zem_Wait_Begin(&w, u"正在等待数据库…", 5000);
  EXPECT_EQ(Zem_Wait_Step(&w, p.fd[0], POLLIN), ZEM_WAIT_READY) << "the host said so, nothing to read";
  EXPECT_EQ(Zem_Wait_Run(&w, ZEM_WAIT_TICK), ZEM_WAIT_READY);
  EXPECT_EQ(Zem_Wait_Step(&w, p.fd[0], POLLIN), ZEM_WAIT_CANCELLED);
  EXPECT_EQ(w.cancelled, 1);
  EXPECT_EQ(Zem_Wait_Step(&w, p.fd[0], POLLIN), ZEM_WAIT_CANCELLED);
  EXPECT_EQ(Zem_Wait_Run(&w, ZEM_WAIT_TICK), ZEM_WAIT_CANCELLED);
  EXPECT_EQ(seen.steps, 2) << "a cancelled call does not ask the host again";
  EXPECT_EQ(seen.ticks, 1);
  EXPECT_EQ(Zem_Wait_End(&w), 1);
  EXPECT_EQ(seen.ends, 1);
  EXPECT_EQ(w.host, nullptr);

  // A call whose host kept nothing ends without asking it; the poll-only function never asks it.
  Zem_Wait quiet;
  Zem_Wait_Begin(&quiet, u"正在等待数据库…", 5000);
  ASSERT_EQ(write(p.fd[1], "x", 1), 1);
  g_host_calls = 0;
  quiet.fd = p.fd[0];
  quiet.events = POLLIN;
  EXPECT_EQ(Zem_Wait_Poll(&quiet, ZEM_WAIT_STEP), ZEM_WAIT_READY);
  EXPECT_EQ(Zem_Wait_Poll(&quiet, ZEM_WAIT_TICK), ZEM_WAIT_READY);
  EXPECT_EQ(Zem_Wait_End(&quiet), 1);
  EXPECT_EQ(g_host_calls, 0);
  g_host = nullptr;
}
