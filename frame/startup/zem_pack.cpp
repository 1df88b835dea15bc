// The Zem_pack unit: exported entry points and the framework start-up.
#include "frame/startup/zem_pack.h"

#include <clocale>
#include <cstring>

#include "dict/dict_serv.h"
#include "frame/singleton.h"
#include "frame/startup/zem_managers.h"
#include "frame/startup_hook.h"
#include "link/r_call.h"

namespace {

const char kDll_Ver[] = "2023-10-17";
const char kStd_Ver[] = "std-2007.12.07.01";
const char kMid_Ver[] = "mid-2006.12.07.01";

intptr_t g_dict_select_handle = 0;  // held for the host only
bool g_thread_known = false;        // step 1 done in this module
void* g_mid_process = nullptr;      // once known, the start-up is skipped

}  // namespace

// The controls sit below this unit and run the start-up through the ground floor's hook, installed as
// soon as the library holding this unit is loaded (the build links this file into every program that
// links the start-up).
static const struct Install_Startup_Hook {
  Install_Startup_Hook() { Zem_Set_Startup_Hook(Zem_Framework_Startup); }
} g_install_startup_hook;

int Zem_Framework_Startup() {
  if (g_mid_process) return 1;
  if (!g_thread_known) {
    // The runtime follows the user's locale, except for numbers: numeric texts of the framework
    // (parameters, SQL, definitions) are always written and read with '.'.
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    g_thread_known = true;
  }
  int count = 0;
  const Zem_Startup_Step* steps = Zem_Startup_Steps(&count);
  void* mid_process = nullptr;
  for (int i = 0; i < count; i++) {
    void* obj = steps[i].get();
    if (std::strcmp(steps[i].name, "Mid_Process") == 0) mid_process = obj;
  }
  // The link's server-side functions on "Mid_Process" and its call entry in the registry, and the
  // dictionary server's calls.
  Link_Register();
  Dict_Serv_Register();
  g_mid_process = mid_process;
  return 1;
}

bool Zem_Startup_Created(const char* name) {
  if (!name) return false;
  for (int i = 0; i < Pub_Ptr_Created_Count(); i++)
    if (std::strcmp(Pub_Ptr_Created_Name(i), name) == 0) return true;
  return false;
}

intptr_t Zem_Dict_Select_Handle() { return g_dict_select_handle; }

extern "C" int Init_Tfa() { return Zem_Framework_Startup(); }

extern "C" const char* F_Dll_Ver() { return kDll_Ver; }

extern "C" const char* F_Std_Ver() { return kStd_Ver; }

extern "C" const char* F_Mid_Ver() { return kMid_Ver; }

extern "C" int Init_Dict_Select_Handle(intptr_t handle) {
  g_dict_select_handle = handle;
  return 1;
}

extern "C" int Zem_Startup_Created_Count() { return Pub_Ptr_Created_Count(); }

extern "C" const char* Zem_Startup_Created_Name(int index) { return Pub_Ptr_Created_Name(index); }
