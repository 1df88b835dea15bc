// A second module carrying its own copy of the framework, as another library of a host process would.
// It exports only these C functions, for the module tests.
#include "frame/log_mgr.h"
#include "frame/pub_ptr.h"
#include "frame/startup/zem_pack.h"

#define SECOND_API extern "C" __attribute__((visibility("default")))

SECOND_API int Second_Startup() { return Zem_Framework_Startup(); }
SECOND_API void* Second_Get(const char* name) { return Get_Pub_Ptr(name); }
SECOND_API int Second_Reg(const char* name, void* ptr) { return Reg_Pub_Ptr(name, ptr); }
SECOND_API void* Second_Log_Mgr() { return Log_Mgr(); }
SECOND_API int Second_Created_Count() { return Zem_Startup_Created_Count(); }
SECOND_API void Second_Log(const char* text) { Log_Printf("%s", text); }
SECOND_API int Second_Is_Shared() { return Pub_Ptr_Is_Shared() ? 1 : 0; }

// Two symbols for the loader test: the decorated form is preferred over the plain one.
SECOND_API int _Second_Probe() { return 2; }
SECOND_API int Second_Probe() { return 1; }
SECOND_API int _Second_Only_Decorated() { return 3; }
