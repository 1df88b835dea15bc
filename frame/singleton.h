// The framework singleton pattern: a module keeps one static pointer per registry name; the object is
// taken from the shared registry when another module created it, and created and registered only when
// absent. Objects made this way live until the process ends.
#pragma once
#include <mutex>

#include "frame/pub_ptr.h"

// The lock of the slow path below: one per module, recursive because making one object may ask for
// another.
std::recursive_mutex& Zem_Singleton_Lock();

// Returns the object registered under name, creating a T with make() when absent. cache is the
// module's static pointer for this name. created (optional) tells whether this call made the object.
// Threads may race to the first use: the cache is read and written atomically and the lookup, creation
// and registration happen under one lock, so exactly one object is made and every thread sees it whole.
template <class T, class Make>
T* Zem_Singleton(const char* name, T*& cache, Make make, bool* created = nullptr) {
  if (created) *created = false;
  if (T* c = __atomic_load_n(&cache, __ATOMIC_ACQUIRE)) return c;
  std::lock_guard<std::recursive_mutex> guard(Zem_Singleton_Lock());
  if (T* c = __atomic_load_n(&cache, __ATOMIC_ACQUIRE)) return c;
  if (void* p = Get_Pub_Ptr(name)) {
    __atomic_store_n(&cache, static_cast<T*>(p), __ATOMIC_RELEASE);
    return static_cast<T*>(p);
  }
  T* made = make();
  if (created) *created = true;
  Pub_Ptr_Note_Created(name);
  Reg_Pub_Ptr(name, made);
  __atomic_store_n(&cache, made, __ATOMIC_RELEASE);
  return made;
}

template <class T>
T* Zem_Singleton(const char* name, T*& cache, bool* created = nullptr) {
  return Zem_Singleton(name, cache, [] { return new T(); }, created);
}

// The host function pattern: a call site keeps the address it found; while it is still null it is
// looked up again on each use. Returns the address or null (the caller then skips the action).
template <class Fn>
Fn Zem_Host_Func(const char* name, Fn& cache) {
  Fn f = __atomic_load_n(&cache, __ATOMIC_ACQUIRE);
  if (!f) {
    f = reinterpret_cast<Fn>(Get_Pub_Ptr(name));
    if (f) __atomic_store_n(&cache, f, __ATOMIC_RELEASE);
  }
  return f;
}
