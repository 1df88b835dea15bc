// The Zem_pack unit: the package's exported C entry points and the framework start-up that every
// entry (Init_Tfa, the controls' constructors) runs before using the framework.
#pragma once
#include <cstdint>

extern "C" {
// Brings up the framework singletons (Zem_Framework_Startup). Always 1.
__attribute__((visibility("default"))) int Init_Tfa();
// The build date and the two version strings; constant texts owned by the package.
__attribute__((visibility("default"))) const char* F_Dll_Ver();
__attribute__((visibility("default"))) const char* F_Std_Ver();
__attribute__((visibility("default"))) const char* F_Mid_Ver();
// Keeps the host's dictionary-select handle (nothing in the package reads it). Always 1.
__attribute__((visibility("default"))) int Init_Dict_Select_Handle(intptr_t handle);

// The singletons this module created itself (as opposed to found in the registry), whether by the
// start-up or on first use: the count, and the name at index in creation order (null past the end).
// For hosts and tests.
__attribute__((visibility("default"))) int Zem_Startup_Created_Count();
__attribute__((visibility("default"))) const char* Zem_Startup_Created_Name(int index);
}

// The idempotent framework start-up: finds or creates every singleton in the fixed order, unless this
// module already knows "Mid_Process" (whoever looked it up); then defines this module's server
// functions on "Mid_Process" once. Returns 1. Installed as the module's start-up hook
// (frame/startup_hook.h) when this library is loaded, so the controls below reach it.
int Zem_Framework_Startup();
// Whether this module created the singleton registered under name.
bool Zem_Startup_Created(const char* name);
// The handle last given to Init_Dict_Select_Handle (0 before).
intptr_t Zem_Dict_Select_Handle();
