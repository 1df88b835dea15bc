// The host module of the application-server tests (zem_app_server --module): functions a host would
// serve, with what the tests need to see from outside: who answered, how many ran at once, whether
// their work was committed.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "core/data/name_call.h"
#include "core/data/para.h"
#include "core/data/sqlca.h"
#include "frame/thr_err.h"
#include "link/server_module.h"

#define MODULE_API extern "C" __attribute__((visibility("default")))

namespace {

std::atomic<int> g_running{0};
std::atomic<int> g_peak{0};

int Get(TParaMgr* p, const char16_t* name) {
  int v = 0;
  p->Get_Int(name, &v);
  return v;
}

// out = v * 2.
int Echo(TParaMgr* p) {
  p->Put_Int(u"out", Get(p, u"v") * 2);
  return 1;
}

// out = this server's process id: which server of several answered.
int Who(TParaMgr* p) {
  p->Put_Int(u"out", static_cast<int>(getpid()));
  return 1;
}

// Creates the file "mark" (when given) once running, then takes "ms" milliseconds; out = the most
// test_slow calls this server ever ran at once.
int Slow(TParaMgr* p) {
  const int now = ++g_running;
  for (int seen = g_peak.load(); now > seen && !g_peak.compare_exchange_weak(seen, now);) {
  }
  char mark[1024] = {0};
  if (p->Get_Str(u"mark", mark, sizeof mark) && mark[0]) {
    if (FILE* f = std::fopen(mark, "w")) std::fclose(f);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(Get(p, u"ms")));
  --g_running;
  p->Put_Int(u"out", g_peak.load());
  return 1;
}

// Inserts "code" into test_rows, then takes "ms" milliseconds; with fail=1 then fails (the server rolls
// the insert back); out = code and "pad" more bytes.
int Write(TParaMgr* p) {
  char code[64] = {0};
  p->Get_Str(u"code", code, sizeof code);
  TSQLCA q;
  const std::string sql = std::string("insert into test_rows values('") + code + "')";
  std::u16string w(sql.begin(), sql.end());
  if (q.Exec(w.c_str()) != 0) return Thr_Err_Mgr()->Set_Err(q.Get_Sqlcode(), "insert failed"), 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(Get(p, u"ms")));
  if (Get(p, u"fail")) return Thr_Err_Mgr()->Set_Err(77, "refused after writing"), 0;
  p->Put_Str(u"out", (code + std::string(static_cast<size_t>(std::max(0, Get(p, u"pad"))), 'x')).c_str());
  return 1;
}

// A reply of "bytes" bytes.
int Big(TParaMgr* p) {
  const std::string text(static_cast<size_t>(std::max(0, Get(p, u"bytes"))), 'x');
  p->Put_Str(u"out", text.c_str());
  return 1;
}

}  // namespace

MODULE_API int Zem_App_Server_Init(Zem_App_Server_Serve_Fn serve) {
  struct Fn { const char* name; Name_Call_Fn fn; bool served; };
  const Fn fns[] = {{"test_echo", Echo, true},   {"test_who", Who, true}, {"test_slow", Slow, true},
                    {"test_write", Write, true}, {"test_big", Big, true}, {"test_hidden", Echo, false}};
  for (const Fn& f : fns) {
    Mid_Process()->DefineFunction(f.name, 1, f.fn, "test module");
    if (f.served) serve(f.name);
  }
  return 1;
}
