// The framework start-up as the floors below the composition root reach it.
//
// The start-up (frame/startup) composes every subsystem, so nothing below it may call it directly. It
// installs itself here when its library is loaded; a control's constructor runs it through
// Zem_Run_Startup_Hook. A program that links the controls without the composition root has no hook,
// and its controls then leave the framework to come up on first use.
#pragma once

typedef int (*Zem_Startup_Fn)();

// Installs fn as the framework start-up of this module (the composition root does, once).
void Zem_Set_Startup_Hook(Zem_Startup_Fn fn);
// Runs the installed start-up and returns what it returns; 0 when none is installed.
int Zem_Run_Startup_Hook();
