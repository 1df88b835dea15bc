// Code-page conversion, in one place. Narrow text is in the "system code page", which this framework
// fixes itself (936, GBK, by default) rather than taking it from the OS locale; 65001 is UTF-8.
// Semantics follow the usual multi-byte/wide conversion with no flags and no default character:
// a character the target code page cannot represent comes out as "?".
#pragma once
#include <cstddef>

typedef char16_t wchar16;  // the wide character of the framework: one UTF-16 code unit

enum {
  ZEM_CP_SYSTEM = 0,   // whatever Set_Sys_Code_Page chose (936 unless changed)
  ZEM_CP_GBK = 936,
  ZEM_CP_UTF8 = 65001,
};

// The code page that ZEM_CP_SYSTEM stands for.
int Sys_Code_Page();
// Chooses the system code page (936 or 65001); returns 1, or 0 for a code page that is not supported.
int Set_Sys_Code_Page(int cp);

// Converts n bytes of narrow text (n < 0: up to and including the NUL) into at most cap code units.
// With dst null, returns the number of code units needed. Returns the number written (0 on overflow
// or for an unsupported code page). Does not add a terminator beyond what the input holds.
int Zem_MB_To_W(int cp, const char* src, int n, wchar16* dst, int cap);
// Converts n code units of wide text (n < 0: up to and including the NUL) into at most cap bytes.
// With dst null, returns the number of bytes needed. Unmappable characters become "?".
int Zem_W_To_MB(int cp, const wchar16* src, int n, char* dst, int cap);

// The narrow bytes of one BMP code unit in code page 936 (1 or 2 bytes, big-endian order in the
// result: 0xB0A1 for U+554A), or '?' (0x3F) when it has none. Table-driven; for the collation.
unsigned Gbk_Of(wchar16 c);
