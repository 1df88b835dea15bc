// The processor's vector state between this library's code and the code around it.
//
// A GUI toolkit's start-up may leave the upper halves of the AVX registers in use. On some
// processors (virtual machines among them) each later switch between this library's SSE code and
// the C library's AVX routines (every memcpy and string compare) then costs a state change hundreds
// of times slower than the copy it serves. Long loops over rows call this once before they start.
#pragma once

// Clears the upper halves of the AVX registers when the processor has them; nothing otherwise.
void Zem_Clean_Vector_State();
