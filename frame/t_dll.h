// T_Dll: holds one dynamically loaded library (dlopen/dlsym). Destroying the holder does not unload
// the library: what is loaded through T_Dll stays for the life of the process unless Free() is called.
#pragma once

class T_Dll {
 public:
  T_Dll() = default;
  ~T_Dll() = default;  // deliberately keeps the library loaded
  T_Dll(const T_Dll&) = delete;
  T_Dll& operator=(const T_Dll&) = delete;

  // Loads the file (freeing a library already held). 1 with "LOAD %s OK\n" on the console; 0 with
  // "unable to LOAD %s \n" and the system's message in the framework log.
  int Load(const char* file_name);
  // Address of a symbol: the decorated "_name" first, then name; a name starting with "_" is tried
  // only as given. Null with a console message when nothing is loaded or nothing is found.
  void* Get_Ptr(const char* name);
  // Unloads; 1, or 0 when nothing was loaded.
  int Free();

  void* Handle() const { return handle_; }
  const char* File_Name() const { return file_name_; }

 private:
  void* handle_ = nullptr;
  char file_name_[1024] = {0};
};
