// The module's one start-up hook.
#include "frame/startup_hook.h"

#include <atomic>

namespace {

// Constant-initialized, so the composition root may install it from a static constructor in any order.
std::atomic<Zem_Startup_Fn> g_startup{nullptr};

}  // namespace

void Zem_Set_Startup_Hook(Zem_Startup_Fn fn) { g_startup.store(fn, std::memory_order_release); }

int Zem_Run_Startup_Hook() {
  const Zem_Startup_Fn fn = g_startup.load(std::memory_order_acquire);
  return fn ? fn() : 0;
}
