// Clearing the AVX upper state: one VZEROUPPER where the processor knows it.
#include "frame/vector_state.h"

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx"))) static void Zero_Upper() { __builtin_ia32_vzeroupper(); }

void Zem_Clean_Vector_State() {
  static const bool avx = __builtin_cpu_supports("avx");
  if (avx) Zero_Upper();
}
#else
void Zem_Clean_Vector_State() {}
#endif
