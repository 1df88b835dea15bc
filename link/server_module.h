// A host's server module: a shared library that zem_app_server loads with --module, so that the
// server runs the host's own functions beside the package's (dictionaries, time stamps, key sets).
//
// The module carries its own copy of the framework, linked hidden as every module does, and meets the
// server's through the process-wide registry (kdm_pub_ptr.so beside the server): its Mid_Process() is
// the server's table. It exports one C function:
//
//   extern "C" int Zem_App_Server_Init(Zem_App_Server_Serve_Fn serve);
//
// which defines the module's functions on Mid_Process() and names each one that clients may call with
// serve(name) (the server refuses every name not on its list). 1 when the module is ready; 0 stops the
// server's start with a message. The functions run on the server's worker threads, each thread on its
// own database session: what a function leaves uncommitted is committed when it succeeds (result 0 and
// no thread error) and rolled back otherwise.
#pragma once

extern "C" {
typedef int (*Zem_App_Server_Serve_Fn)(const char* call_name);
typedef int (*Zem_App_Server_Init_Fn)(Zem_App_Server_Serve_Fn serve);
}

inline constexpr char kZem_App_Server_Init[] = "Zem_App_Server_Init";
