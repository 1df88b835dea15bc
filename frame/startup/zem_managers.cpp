// The start-up steps: one find-or-create per singleton name.
#include "frame/startup/zem_managers.h"

#include <ctime>
#include <mutex>

#include "frame/log_mgr.h"
#include "frame/singleton.h"
#include "frame/startup/zem_names.h"
#include "frame/thr_err.h"

namespace {

// Empty objects for the managers whose working lies outside this package, each a class of its own so
// that a debugger shows what it is looking at.
#define ZEM_PLACEHOLDER(Class, name_text)                              \
  class Class {};                                                      \
  void* Get_##Class(bool* created) {                                   \
    static Class* cache = nullptr;                                     \
    return Zem_Singleton<Class>(name_text, cache, created);            \
  }

ZEM_PLACEHOLDER(TMts_Mgr, "mts_mgr")                // database layer object (query areas, later)
ZEM_PLACEHOLDER(TTab_Entity_Mgr, "tab_entity_mgr")
ZEM_PLACEHOLDER(TDict_Mgr_Serv, "dict_mgr_serv")    // dictionary manager (dictionaries, later)
ZEM_PLACEHOLDER(TVoucher_Mgr, "voucher_mgr")
ZEM_PLACEHOLDER(TGriprep_Mgr, "griprep_mgr")
ZEM_PLACEHOLDER(THttpd_Mgr, "httpd_mgr")
ZEM_PLACEHOLDER(TImport_Mgr, "import_mgr")
ZEM_PLACEHOLDER(TPub_Para_Mgr, "pub_para_mgr")      // parameter packs (core/data, later)
ZEM_PLACEHOLDER(TTmp_Para_Mgr, "tmp_para_mgr")
ZEM_PLACEHOLDER(TRep_Call_Para, "rep_call_para")
ZEM_PLACEHOLDER(TQp_Mgr, "qp_mgr")
ZEM_PLACEHOLDER(TCsp_Mgr, "csp_mgr")
ZEM_PLACEHOLDER(TModu_Mgr, "modu_mgr")
ZEM_PLACEHOLDER(TNbr_Obj_Proc_Mgr, "nbr_obj_proc_mgr")
ZEM_PLACEHOLDER(TTm_Info_Mgr, "tm_info_mgr")
ZEM_PLACEHOLDER(TLoad_Proc_Mgr, "Load_Proc_mgr")
ZEM_PLACEHOLDER(TCsp_Obj_Attr_Mgr, "csp_obj_attr_mgr")
ZEM_PLACEHOLDER(TDict_Fetch_Filter_Mgr, "Dict_Fetch_Filter_mgr")
ZEM_PLACEHOLDER(TMid_Process, "Mid_Process")        // named-function tables (core/data, later)
ZEM_PLACEHOLDER(TLink_Process, "Link_Process")
ZEM_PLACEHOLDER(TMid_Link_Mgr, "Mid_Link_Mgr")      // middleware link client
ZEM_PLACEHOLDER(TSync_Server_Mgr, "sync_server_mgr")

#undef ZEM_PLACEHOLDER

void* Get_Thread_Mgr(bool* created) { return Thread_Mgr(created); }
void* Get_Thr_Err_Mgr(bool* created) { return Thr_Err_Mgr(created); }
void* Get_Log_Mgr(bool* created) { return Log_Mgr(created); }

// Shared integers: "exiting_flag" starts at 0, "_R_Call_Local_Mode" at 1 (calls served in-process).
void* Get_Exiting_Flag(bool* created) {
  static int* cache = nullptr;
  return Zem_Singleton<int>("exiting_flag", cache, [] { return new int(0); }, created);
}
void* Get_R_Call_Local_Mode(bool* created) {
  static int* cache = nullptr;
  return Zem_Singleton<int>("_R_Call_Local_Mode", cache, [] { return new int(1); }, created);
}
void* Get_Sync_Server_Lock(bool* created) {
  static std::mutex* cache = nullptr;
  return Zem_Singleton<std::mutex>("sync_server_lock", cache, created);
}

const Zem_Startup_Step kSteps[] = {
    {"thread_mgr", Get_Thread_Mgr},
    {"thr_err_mgr", Get_Thr_Err_Mgr},
    {"mts_mgr", Get_TMts_Mgr},
    {"tab_entity_mgr", Get_TTab_Entity_Mgr},
    {"dict_mgr_serv", Get_TDict_Mgr_Serv},
    {"voucher_mgr", Get_TVoucher_Mgr},
    {"griprep_mgr", Get_TGriprep_Mgr},
    {"httpd_mgr", Get_THttpd_Mgr},
    {"import_mgr", Get_TImport_Mgr},
    {"pub_para_mgr", Get_TPub_Para_Mgr},
    {"tmp_para_mgr", Get_TTmp_Para_Mgr},
    {"rep_call_para", Get_TRep_Call_Para},
    {"log_mgr", Get_Log_Mgr},
    {"qp_mgr", Get_TQp_Mgr},
    {"csp_mgr", Get_TCsp_Mgr},
    {"modu_mgr", Get_TModu_Mgr},
    {"nbr_obj_proc_mgr", Get_TNbr_Obj_Proc_Mgr},
    {"tm_info_mgr", Get_TTm_Info_Mgr},
    {"Load_Proc_mgr", Get_TLoad_Proc_Mgr},
    {"exiting_flag", Get_Exiting_Flag},
    {"csp_obj_attr_mgr", Get_TCsp_Obj_Attr_Mgr},
    {"Dict_Fetch_Filter_mgr", Get_TDict_Fetch_Filter_Mgr},
    {"Mid_Process", Get_TMid_Process},
    {"Link_Process", Get_TLink_Process},
    {"Mid_Link_Mgr", Get_TMid_Link_Mgr},
    {"_R_Call_Local_Mode", Get_R_Call_Local_Mode},
    {"sync_server_mgr", Get_TSync_Server_Mgr},
    {"sync_server_lock", Get_Sync_Server_Lock},
};

static_assert(sizeof kSteps / sizeof kSteps[0] == kZem_Startup_Name_Count,
              "one start-up step per start-up name");

}  // namespace

const Zem_Startup_Step* Zem_Startup_Steps(int* count) {
  if (count) *count = static_cast<int>(sizeof kSteps / sizeof kSteps[0]);
  return kSteps;
}

TThread_Mgr* Thread_Mgr(bool* created) {
  static TThread_Mgr* cache = nullptr;
  return Zem_Singleton<TThread_Mgr>("thread_mgr", cache, created);
}

long long Zem_Sync_Local_Time_Stamp() { return static_cast<long long>(std::time(nullptr)); }
