// The framework's waiting function without a host (a worker thread's case): each way a step ends,
// answered as a driver expects. The host's side is tested with the host module (tests/host).
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "frame/wait.h"

namespace {

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
