// How the framework start-up obtains each singleton: one step per registry name, in the fixed order of
// kZem_Startup_Names. Each step finds the object in the shared registry or creates and registers it
// (the singleton pattern records what this module created). Managers of other layers come through
// those layers' accessors; the ones whose working lies outside this package are small empty objects
// registered under their names. Replacing a placeholder by a real manager means changing its one step
// in zem_managers.cpp.
#pragma once

// Finds or creates one singleton and returns it.
typedef void* (*Zem_Startup_Get_Fn)();

struct Zem_Startup_Step {
  const char* name;
  Zem_Startup_Get_Fn get;
};

// The steps of the framework singletons, the remote-call singletons and the time-stamp server, in
// order (the same order as kZem_Startup_Names); *count receives their number.
const Zem_Startup_Step* Zem_Startup_Steps(int* count);

// The thread manager (its working lies outside this package: an empty object for now).
class TThread_Mgr {};
TThread_Mgr* Thread_Mgr();
// Whether this module knows the thread manager yet (without looking it up).
bool Thread_Mgr_Known();
