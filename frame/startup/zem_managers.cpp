// The start-up steps: one find-or-create per singleton name.
#include "frame/startup/zem_managers.h"

#include <cstdlib>

#include "core/data/db_connect.h"
#include "core/data/name_call.h"
#include "core/data/para.h"
#include "dict/dict_mgr.h"
#include "dict/dict_serv.h"
#include "dict/sync_server.h"
#include "frame/log_mgr.h"
#include "frame/singleton.h"
#include "frame/startup/zem_names.h"
#include "frame/thr_err.h"
#include "link/r_call.h"

namespace {

// Empty objects for the managers whose working lies outside this package, each a class of its own so
// that a debugger shows what it is looking at.
#define ZEM_PLACEHOLDER(Class, name_text)                   \
  class Class {};                                           \
  void* Get_##Class() {                                     \
    static Class* cache = nullptr;                          \
    return Zem_Singleton<Class>(name_text, cache);          \
  }

ZEM_PLACEHOLDER(TTab_Entity_Mgr, "tab_entity_mgr")
ZEM_PLACEHOLDER(TVoucher_Mgr, "voucher_mgr")
ZEM_PLACEHOLDER(TGriprep_Mgr, "griprep_mgr")
ZEM_PLACEHOLDER(THttpd_Mgr, "httpd_mgr")
ZEM_PLACEHOLDER(TImport_Mgr, "import_mgr")
ZEM_PLACEHOLDER(TQp_Mgr, "qp_mgr")
ZEM_PLACEHOLDER(TCsp_Mgr, "csp_mgr")
ZEM_PLACEHOLDER(TModu_Mgr, "modu_mgr")
ZEM_PLACEHOLDER(TNbr_Obj_Proc_Mgr, "nbr_obj_proc_mgr")
ZEM_PLACEHOLDER(TTm_Info_Mgr, "tm_info_mgr")
ZEM_PLACEHOLDER(TLoad_Proc_Mgr, "Load_Proc_mgr")
ZEM_PLACEHOLDER(TCsp_Obj_Attr_Mgr, "csp_obj_attr_mgr")
ZEM_PLACEHOLDER(TMid_Link_Mgr, "Mid_Link_Mgr")  // middleware link client (no transport yet)

#undef ZEM_PLACEHOLDER

void* Get_Thread_Mgr() { return Thread_Mgr(); }
void* Get_Thr_Err_Mgr() { return Thr_Err_Mgr(); }
void* Get_Mts_Mgr() { return Db_Connect_Mgr(); }
void* Get_Pub_Para_Mgr() { return Pub_Para_Mgr(); }
void* Get_Tmp_Para_Mgr() { return Tmp_Para_Mgr(); }
void* Get_Rep_Call_Para() { return Rep_Call_Para(); }
// The log goes to the file of "ZEM_LOG_FILE" when set, unless someone already chose a file.
void* Get_Log_Mgr() {
  TLog_Mgr* log = Log_Mgr();
  const char* file = std::getenv("ZEM_LOG_FILE");
  if (file && *file && log->File().empty()) log->Set_File(file);
  return log;
}
void* Get_Dict_Fetch_Filter_Mgr() { return Dict_Fetch_Filter_Mgr(); }
void* Get_TDict_Mgr_Serv() { return Dict_Mgr_Serv(); }
void* Get_Mid_Process() { return Mid_Process(); }
void* Get_Link_Process() { return Link_Process(); }
void* Get_R_Call_Local_Mode() { return R_Call_Local_Mode(); }  // created as 1
void* Get_Sync_Server_Lock() { return Sync_Server_Lock(); }

// Shared integer, created as 0.
void* Get_Exiting_Flag() {
  static int* cache = nullptr;
  return Zem_Singleton<int>("exiting_flag", cache, [] { return new int(0); });
}

// The time-stamp server; when this module makes it, it also serves the stamps on "Mid_Process".
void* Get_Sync_Server_Mgr() {
  bool created = false;
  TSync_Server_Mgr* s = Sync_Server_Mgr(&created);
  if (created) {
    Mid_Process()->DefineFunction("Tfa_Info_Sync_Get_Time_Stamp", 1, Tfa_Info_Sync_Get_Time_Stamp,
                                  "dictionary time stamp");
  }
  return s;
}

const Zem_Startup_Step kSteps[] = {
    {"thread_mgr", Get_Thread_Mgr},
    {"thr_err_mgr", Get_Thr_Err_Mgr},
    {"mts_mgr", Get_Mts_Mgr},
    {"tab_entity_mgr", Get_TTab_Entity_Mgr},
    {"dict_mgr_serv", Get_TDict_Mgr_Serv},
    {"voucher_mgr", Get_TVoucher_Mgr},
    {"griprep_mgr", Get_TGriprep_Mgr},
    {"httpd_mgr", Get_THttpd_Mgr},
    {"import_mgr", Get_TImport_Mgr},
    {"pub_para_mgr", Get_Pub_Para_Mgr},
    {"tmp_para_mgr", Get_Tmp_Para_Mgr},
    {"rep_call_para", Get_Rep_Call_Para},
    {"log_mgr", Get_Log_Mgr},
    {"qp_mgr", Get_TQp_Mgr},
    {"csp_mgr", Get_TCsp_Mgr},
    {"modu_mgr", Get_TModu_Mgr},
    {"nbr_obj_proc_mgr", Get_TNbr_Obj_Proc_Mgr},
    {"tm_info_mgr", Get_TTm_Info_Mgr},
    {"Load_Proc_mgr", Get_TLoad_Proc_Mgr},
    {"exiting_flag", Get_Exiting_Flag},
    {"csp_obj_attr_mgr", Get_TCsp_Obj_Attr_Mgr},
    {"Dict_Fetch_Filter_mgr", Get_Dict_Fetch_Filter_Mgr},
    {"Mid_Process", Get_Mid_Process},
    {"Link_Process", Get_Link_Process},
    {"Mid_Link_Mgr", Get_TMid_Link_Mgr},
    {"_R_Call_Local_Mode", Get_R_Call_Local_Mode},
    {"sync_server_mgr", Get_Sync_Server_Mgr},
    {"sync_server_lock", Get_Sync_Server_Lock},
};

static_assert(sizeof kSteps / sizeof kSteps[0] == kZem_Startup_Name_Count,
              "one start-up step per start-up name");

}  // namespace

const Zem_Startup_Step* Zem_Startup_Steps(int* count) {
  if (count) *count = static_cast<int>(sizeof kSteps / sizeof kSteps[0]);
  return kSteps;
}

namespace {
TThread_Mgr* g_thread_mgr = nullptr;
}  // namespace

TThread_Mgr* Thread_Mgr() { return Zem_Singleton<TThread_Mgr>("thread_mgr", g_thread_mgr); }
bool Thread_Mgr_Known() { return __atomic_load_n(&g_thread_mgr, __ATOMIC_ACQUIRE) != nullptr; }
