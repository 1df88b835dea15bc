// Named-function tables: definition, lookup with prefix entries, and call by name.
#include "core/data/name_call.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "core/data/para.h"
#include "frame/log_mgr.h"
#include "frame/singleton.h"
#include "frame/thr_err.h"

namespace {

TName_Call* g_mid = nullptr;
TName_Call* g_link = nullptr;

char* Dup(const char* s, size_t n) {
  char* c = static_cast<char*>(std::malloc(n + 1));
  if (!c) return nullptr;
  std::memcpy(c, s, n);
  c[n] = 0;
  return c;
}

void Free_Entry(TName_Call_Entry* e) {
  if (!e) return;
  std::free(e->name);
  std::free(e->mean);
  std::free(e->text2);
  std::free(e);
}

}  // namespace

TName_Call::~TName_Call() {
  for (int i = 0; i < entries_.Count(); ++i) Free_Entry(entries_.Get(i));
  entries_.Clear();
}

int TName_Call::DefineFunction(const char* name, int kind, Name_Call_Fn func, const char* mean, int type,
                               const char* text2) {
  if (!name || !func) return 0;
  std::lock_guard<std::mutex> hold(lock_);
  for (int i = 0; i < entries_.Count(); ++i) {
    if (std::strcmp(entries_.Get(i)->name, name) == 0) return 1;
  }
  size_t n = std::strlen(name);
  bool prefix = n > 0 && name[n - 1] == '*';
  TName_Call_Entry* e = static_cast<TName_Call_Entry*>(std::calloc(1, sizeof(TName_Call_Entry)));
  if (!e) return 0;
  e->name = Dup(name, prefix ? n - 1 : n);
  e->mean = mean ? Dup(mean, std::strlen(mean)) : nullptr;
  e->text2 = text2 ? Dup(text2, std::strlen(text2)) : nullptr;
  if (!e->name || (mean && !e->mean) || (text2 && !e->text2)) {
    Free_Entry(e);
    return 0;
  }
  e->func = func;
  e->kind = kind;
  e->type = type == 0 ? 3 : type;
  e->prefix = prefix ? 1 : 0;
  entries_.Add(e);
  return 1;
}

const TName_Call_Entry* TName_Call::Find_Locked(const char* name) const {
  if (!name) return nullptr;
  const TName_Call_Entry* pre = nullptr;
  for (int i = 0; i < entries_.Count(); ++i) {
    const TName_Call_Entry* e = entries_.Get(i);
    if (!e->prefix) {
      if (std::strcmp(e->name, name) == 0) return e;
    } else if (std::strncmp(e->name, name, std::strlen(e->name)) == 0) {
      pre = e;  // a later prefix entry replaces an earlier one
    }
  }
  return pre;
}

Name_Call_Fn TName_Call::Find(const char* name) {
  std::lock_guard<std::mutex> hold(lock_);
  const TName_Call_Entry* e = Find_Locked(name);
  return e ? e->func : nullptr;
}

const TName_Call_Entry* TName_Call::Find_Entry(const char* name) {
  std::lock_guard<std::mutex> hold(lock_);
  return Find_Locked(name);
}

int TName_Call::Count() {
  std::lock_guard<std::mutex> hold(lock_);
  return entries_.Count();
}

int TName_Call::N_Call(const char* name, TParaMgr* para) {
  // The name is copied first: it may live in the pack the function is about to change.
  std::string own = name ? name : "";
  Name_Call_Fn func = nullptr;
  std::string mean, text2;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (const TName_Call_Entry* e = Find_Locked(own.c_str())) {
      func = e->func;
      mean = e->mean ? e->mean : "";
      text2 = e->text2 ? e->text2 : "";
    }
  }
  if (!func) {
    std::string text = "function " + own + " is not defined";
    Thr_Err_Mgr()->Set_Err(-1, text.c_str());
    Log_Printf("cant get function %s\n", own.c_str());
    Put_Thr_Err_Para(para);
    return 1;
  }
  char thread[32];
  std::snprintf(thread, sizeof thread, "%zx", std::hash<std::thread::id>()(std::this_thread::get_id()));
  Log_Printf("N_Call         %16s %s %s %s\n", own.c_str(), mean.c_str(), text2.c_str(), thread);
  auto start = std::chrono::steady_clock::now();
  int rc = func(para);
  long long ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  Log_Printf("N_Call  %6d %16s %s Over\n", static_cast<int>(ms), own.c_str(), mean.c_str());
  return rc;
}

int Put_Thr_Err_Para(TParaMgr* para) {
  if (!para) return 0;
  std::string text;
  int code = Thr_Err_Mgr()->Get_Err(&text);
  para->Put_Int("_r_ec_", code);
  if (code != 0) para->Put_Str("_r_em_", text.c_str());
  return 1;
}

TName_Call* Mid_Process() { return Zem_Singleton<TName_Call>("Mid_Process", g_mid); }
bool Mid_Process_Known() { return __atomic_load_n(&g_mid, __ATOMIC_ACQUIRE) != nullptr; }
TName_Call* Link_Process() { return Zem_Singleton<TName_Call>("Link_Process", g_link); }
