// Shared pointer registry: named pointers that every module of the process can reach.
//
// Each module carries a local table (200 entries, names of at most 59 characters). At the first
// registry call the module tries once to bind to the process-wide registry library kdm_pub_ptr.so
// (found through TARVOK_DLL_PATH); when bound, registrations and look-ups go there, so all modules
// see one table; otherwise the module keeps to its local table.
#pragma once

extern "C" {
// The local table of this module. Exported with C names from libzem_pack.so and kdm_pub_ptr.so.
// Returns 1 on success, 0 for a null pointer or a new name when the table is full.
__attribute__((visibility("default"))) int App_Set_Pub_Ptr(const char* name, void* ptr);
__attribute__((visibility("default"))) void* App_Get_Pub_Ptr(const char* name);
}

// Register under the shared table when bound, else the local one; result as App_Set_Pub_Ptr.
int Reg_Pub_Ptr(const char* name, void* ptr);
// Look up in the shared table when bound, else the local one; null when absent.
void* Get_Pub_Ptr(const char* name);

// Builds the file name of a library from its base name: "%s/%s.so" under TARVOK_DLL_PATH, "%s.so"
// when the variable is unset (with a console line saying so); ".so.so" is reduced to ".so".
// Returns buffer, which must hold at least 1024 bytes.
char* Dll_Get_File_Name(const char* base_name, char* buffer);

// The register-shared and look-up-shared calls under C names, for hosts and tests that reach a
// module through dlsym (same results as Reg_Pub_Ptr and Get_Pub_Ptr).
extern "C" {
__attribute__((visibility("default"))) int Zem_Reg_Shared_Ptr(const char* name, void* ptr);
__attribute__((visibility("default"))) void* Zem_Get_Shared_Ptr(const char* name);
}

// The record of the singletons this module created (rather than found in the registry): the
// singleton pattern notes each name it creates. Count, and the name at index in creation order (null
// past the end).
void Pub_Ptr_Note_Created(const char* name);
int Pub_Ptr_Created_Count();
const char* Pub_Ptr_Created_Name(int index);

// Whether this module bound to the process-wide registry library (binds first when not yet tried).
bool Pub_Ptr_Is_Shared();
