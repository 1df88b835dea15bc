// Waiting for an outside party (a database server, an application server) on the calling thread:
// bounded, shown, and cancellable by the user.
//
// A call that may wait (one statement, one remote call) fills one Zem_Wait when it begins
// (Zem_Wait_Begin), hands it to Zem_Wait_Step for every wait of the call (each round trip: a socket to
// become readable or writable, or work done elsewhere to complete) and to Zem_Wait_End when it ends.
//
// A step goes to the host function "gui_wait_box" when the host registered one. The host runs its
// event loop on its user-interface thread while it waits, so the window keeps painting, and holds off
// other input; once the call has waited show_after_ms (500) it shows a small modal box with the title
// ("正在等待数据库…"), the time waited, the detail line and a 取消 button. Escape or 取消 end the step
// with ZEM_WAIT_CANCELLED and set `cancelled` for the rest of the call; the caller then stops its
// work (a driver cancels the statement on the server) and returns at once. On any other thread the
// host answers ZEM_WAIT_NOT_HERE, and without the host function nobody answers: the step then waits
// with poll(2) itself. So worker threads never show the box.
//
// The host keeps its box in `host` between the steps of one call, so the box does not blink between
// round trips; ZEM_WAIT_END closes it.
//
// The struct crosses module borders (a driver library calls the framework of the module that loaded
// it, which calls the host's function): plain C types only, `size` first so that later fields can be
// added, times in milliseconds of the monotonic clock (Zem_Wait_Now_Ms), which every module of the
// process reads alike.
//
//   op             what the host does                                    results
//   ZEM_WAIT_STEP  waits until fd has one of events, done() says so,     READY, TIMEOUT (deadline),
//                  until_ms (when set) or the deadline passes, or the    AGAIN (until_ms), CANCELLED,
//                  user cancels                                          ERROR, NOT_HERE
//   ZEM_WAIT_TICK  handles what is pending without blocking (painting),  READY, CANCELLED, NOT_HERE
//                  shows the box when it is due
//   ZEM_WAIT_END   the call is over: closes its box, clears `host`       1, NOT_HERE
#pragma once

extern "C" {

struct Zem_Wait {
  int size;  // sizeof(Zem_Wait), set by Zem_Wait_Begin
  // ---- for the whole call, the caller's
  const char16_t* title;  // the box's first line, e.g. u"正在等待数据库…"
  long long started_ms;   // when the call began: the time shown counts from here
  long long deadline_ms;  // when the call gives up; 0 none
  int show_after_ms;      // the box appears this long after started_ms (500)
  // Optional second line (who or what is waited for): copied into buf (cap code units with the NUL);
  // returns its length, 0 for none. Asked again about twice a second while the box shows; the caller
  // may change what it answers from any thread.
  int (*detail)(void* ctx, char16_t* buf, int cap);
  // Optional: nonzero once the awaited work completed elsewhere (a step with fd -1 asks it about every
  // 10 ms).
  int (*done)(void* ctx);
  void* ctx;  // handed to detail and done
  // ---- for one step, the caller's
  int fd;             // the socket to wait on; -1 none
  short events;       // POLLIN and/or POLLOUT
  long long until_ms;  // the step ends with ZEM_WAIT_AGAIN then (a short sleep); 0 not before the deadline
  // ---- the wait's own
  int cancelled;  // the user cancelled; stays set for the rest of the call
  void* host;     // the host's state between the steps of one call (its box); null before the first
};

// The operations and results of the table above.
enum { ZEM_WAIT_STEP = 0, ZEM_WAIT_TICK = 1, ZEM_WAIT_END = 2 };
enum {
  ZEM_WAIT_READY = 1,
  ZEM_WAIT_TIMEOUT = 0,
  ZEM_WAIT_AGAIN = 2,
  ZEM_WAIT_CANCELLED = -1,
  ZEM_WAIT_ERROR = -2,
  ZEM_WAIT_NOT_HERE = -3,
};

// The waiting function a driver library is handed (its optional entry _Set_Wait_Handle) and the type
// of the host function "gui_wait_box" alike.
typedef int (*Zem_Wait_Fn)(Zem_Wait* w, int op);

// The framework's waiting function: the host function when it takes the wait, else poll(2). Never
// answers NOT_HERE. A step with the deadline (or until_ms) already past answers at once.
int Zem_Wait_Run(Zem_Wait* w, int op);
// The same without asking the host: poll(2) alone, nothing shown (what a driver library uses until the
// module that loaded it hands it Zem_Wait_Run).
int Zem_Wait_Poll(Zem_Wait* w, int op);
}

// Milliseconds of the monotonic clock.
long long Zem_Wait_Now_Ms();
// Clears w and starts a call's wait now: title, the deadline bound_ms from now (0 or less: none), the
// box after 500 ms.
void Zem_Wait_Begin(Zem_Wait* w, const char16_t* title, int bound_ms);
// One step on fd (-1: done() or until_ms alone), as Zem_Wait_Run(w, ZEM_WAIT_STEP).
int Zem_Wait_Step(Zem_Wait* w, int fd, short events);
// Ends the call's wait (closes the host's box). Returns 1.
int Zem_Wait_End(Zem_Wait* w);

// A call's wait that ends itself: Zem_Wait_Begin on construction, Zem_Wait_End on destruction.
class Zem_Wait_Scope {
 public:
  Zem_Wait_Scope(const char16_t* title, int bound_ms) { Zem_Wait_Begin(&w_, title, bound_ms); }
  ~Zem_Wait_Scope() { Zem_Wait_End(&w_); }
  Zem_Wait_Scope(const Zem_Wait_Scope&) = delete;
  Zem_Wait_Scope& operator=(const Zem_Wait_Scope&) = delete;
  Zem_Wait* get() { return &w_; }

 private:
  Zem_Wait w_;
};
