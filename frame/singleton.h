// The framework singleton pattern: a module keeps one static pointer per registry name; the object is
// taken from the shared registry when another module created it, and created and registered only when
// absent. Objects made this way live until the process ends.
#pragma once
#include "frame/pub_ptr.h"

// Returns the object registered under name, creating a T with make() when absent. cache is the
// module's static pointer for this name. created (optional) tells whether this call made the object.
template <class T, class Make>
T* Zem_Singleton(const char* name, T*& cache, Make make, bool* created = nullptr) {
  if (created) *created = false;
  if (cache) return cache;
  if (void* p = Get_Pub_Ptr(name)) {
    cache = static_cast<T*>(p);
    return cache;
  }
  cache = make();
  if (created) *created = true;
  Pub_Ptr_Note_Created(name);
  Reg_Pub_Ptr(name, cache);
  return cache;
}

template <class T>
T* Zem_Singleton(const char* name, T*& cache, bool* created = nullptr) {
  return Zem_Singleton(name, cache, [] { return new T(); }, created);
}

// The host function pattern: a call site keeps the address it found; while it is still null it is
// looked up again on each use. Returns the address or null (the caller then skips the action).
template <class Fn>
Fn Zem_Host_Func(const char* name, Fn& cache) {
  if (!cache) cache = reinterpret_cast<Fn>(Get_Pub_Ptr(name));
  return cache;
}
