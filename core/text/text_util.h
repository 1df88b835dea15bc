// Small services shared by the text units: the allocator behind tstr/wstr buffers and the replace
// functions' scratch space, and number texts that do not depend on the process locale (a Qt
// application sets the locale from the environment, but stored numbers always use '.').
#pragma once
#include <cstddef>

// Allocation of text buffers. The tag names the call site ("tstr::ma", "wstr::ma", "W_Replace") for
// diagnostics. Memory comes from the C heap unless a hook is set; whatever the hook returns must be
// releasable with free() (tests set a hook that fails on purpose, to see that nothing is lost).
typedef void* (*Zem_Text_Alloc_Hook)(size_t bytes, const char* tag);
void Zem_Text_Set_Alloc_Hook(Zem_Text_Alloc_Hook hook);  // null restores the C heap
void* Zem_Text_Alloc(size_t bytes, const char* tag);
void Zem_Text_Free(void* p);

// printf-style "%d" and "%f" of the C locale into buf (cap bytes, always terminated); returns the
// length written.
int Zem_Fmt_Int(char* buf, int cap, int v);
int Zem_Fmt_Double(char* buf, int cap, double v);
// Reads a number the way sscanf "%d" / "%lf" would in the C locale (leading blanks, sign, digits; the
// rest ignored); null, empty or no number gives 0. Integers beyond the int range are clamped.
int Zem_Read_Int(const char* s);
double Zem_Read_Double(const char* s);
