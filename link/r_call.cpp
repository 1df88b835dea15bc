// The remote-call entry in local call mode.
#include "link/r_call.h"

#include "core/data/key_set.h"
#include "core/data/name_call.h"
#include "core/data/para.h"
#include "core/data/sqlca.h"
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

int R_Call(const char* name, TParaMgr* para, int /*wait*/) {
  TThr_Err_Mgr* err = Thr_Err_Mgr();
  err->Clear_Err();
  if (!name || !*name) {
    err->Set_Err(-1, "remote call without a name");
  } else if (*R_Call_Local_Mode() != 1) {
    err->Set_Err(-1, "no remote transport: the call can only run in local call mode");
    Log_Printf("*** fail to call %s: no remote transport\n", name);
  } else if (para) {
    Mid_Process()->N_Call(name, para);
  } else {
    // Callees read and answer through a pack; give them one when the caller has none.
    TParaMgr tmp;
    Mid_Process()->N_Call(name, &tmp);
  }
  Put_Thr_Err_Para(para);
  return err->Get_Err();
}

int Link_Register() {
  // Calls carry query areas in their packs ("key_dbio"): packs must know the data layer.
  Sqlca_Set_Para_Hooks();
  Mid_Process()->DefineFunction("tfa_key_set_create", 1, Tfa_Key_Set_Create, "temporary key set");
  Reg_Pub_Ptr(kR_Call_Entry, reinterpret_cast<void*>(&R_Call_C));
  return 1;
}
