// The Zem_pack unit: exported entry points and the framework start-up.
#include "frame/startup/zem_pack.h"

#include <clocale>
#include <cstring>
#include <mutex>

#include "core/data/name_call.h"
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
std::once_flag g_servers_once;      // the server functions of this module, defined once

}  // namespace

// The controls sit below this unit and run the start-up through the ground floor's hook, installed as
// soon as the library holding this unit is loaded (the build links this file into every program that
// links the start-up).
static const struct Install_Startup_Hook {
  Install_Startup_Hook() { Zem_Set_Startup_Hook(Zem_Framework_Startup); }
} g_install_startup_hook;

int Zem_Framework_Startup() {
  // The singleton sequence is skipped once this module knows "Mid_Process", however it came to know
  // it: the start-up itself, or any earlier caller of Mid_Process().
  if (!Mid_Process_Known()) {
    if (!Thread_Mgr_Known()) {
      // The runtime follows the user's locale, except for numbers: numeric texts of the framework
      // (parameters, SQL, definitions) are always written and read with '.'.
      std::setlocale(LC_ALL, "");
      std::setlocale(LC_NUMERIC, "C");
    }
    int count = 0;
    const Zem_Startup_Step* steps = Zem_Startup_Steps(&count);
    for (int i = 0; i < count; i++) steps[i].get();
  }
  // What this module serves on "Mid_Process" (the link's functions and its call entry, the
  // dictionary server's calls) does not depend on who made the table: defined once per module.
  std::call_once(g_servers_once, [] {
    Link_Register();
    Dict_Serv_Register();
  });
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
