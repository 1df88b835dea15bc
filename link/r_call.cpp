// The remote-call entry: local call mode here, remote mode in link_remote.cpp.
#include "link/r_call.h"

#include <string>

#include "core/data/key_set.h"
#include "core/data/name_call.h"
#include "core/data/para.h"
#include "core/data/sqlca.h"
#include "frame/host_funcs.h"
#include "frame/log_mgr.h"
#include "frame/singleton.h"
#include "frame/thr_err.h"

namespace {
int* g_local_mode = nullptr;

int R_Call_C(const char* name, TParaMgr* para, int wait) { return R_Call(name, para, wait); }
}  // namespace

int* R_Call_Local_Mode() {
  return Zem_Singleton<int>("_R_Call_Local_Mode", g_local_mode, [] { return new int(1); });
}

void* Link_Ssl_Proxy_Client() {
  static void* cache = nullptr;
  return Zem_Host_Func(kSsl_Proxy_Client_Ptr, cache);
}

void* Link_Ssl_Proxy_Server() {
  static void* cache = nullptr;
  return Zem_Host_Func(kSsl_Proxy_Server_Ptr, cache);
}

namespace {

// The host's preparation of an outgoing call (its session values into the pack). 1 to go on: also when
// the host has none.
int Prepare_Call(const char* name, TParaMgr* para) {
  static Rcall_Prepare_Handle_Fn cache = nullptr;
  Rcall_Prepare_Handle_Fn fn = Zem_Host_Func(kRcall_Prepare_Handle, cache);
  if (!fn || fn(para)) return 1;
  std::string text = std::string("the host's Rcall_Prepare_Handle stopped the call ") + name;
  Thr_Err_Mgr()->Set_Err(-1, text.c_str());
  Log_Printf("*** fail to call %s: stopped by Rcall_Prepare_Handle\n", name);
  return 0;
}

}  // namespace

namespace {
thread_local std::u16string t_user_msg;
}  // namespace

const char16_t* R_Call_User_Msg() { return t_user_msg.c_str(); }

int R_Call(const char* name, TParaMgr* para, int wait) {
  TThr_Err_Mgr* err = Thr_Err_Mgr();
  err->Clear_Err();
  t_user_msg.clear();
  // Callees read and answer through a pack; give them one when the caller has none.
  TParaMgr tmp;
  TParaMgr* pack = para ? para : &tmp;
  if (!name || !*name) {
    err->Set_Err(-1, "remote call without a name");
  } else if (!Prepare_Call(name, pack)) {
    // the error is set
  } else if (*R_Call_Local_Mode() != 1) {
    R_Call_Remote(name, pack, wait, &t_user_msg);
  } else {
    Mid_Process()->N_Call(name, pack);
  }
  Put_Thr_Err_Para(para);
  return err->Get_Err();
}

int Link_Register() {
  Mid_Process()->DefineFunction("tfa_key_set_create", 1, Tfa_Key_Set_Create, "temporary key set");
  Reg_Pub_Ptr(kR_Call_Entry, reinterpret_cast<void*>(&R_Call_C));
  // The application server (apps/zem_app_server) does its own TLS: a proxy of the host serves nothing.
  if (Link_Ssl_Proxy_Server()) Log_Printf("link: the host's TLS proxy server is not used: zem_app_server does TLS itself\n");
  return 1;
}
