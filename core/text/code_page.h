// Code-page conversion, in one place. Narrow text is in the "system code page", which this framework
// fixes itself (936, GBK, by default) rather than taking it from the OS locale; 65001 is UTF-8.
// Semantics follow the usual multi-byte/wide conversion with no flags and no default character:
// a character the target code page cannot represent comes out as "?".
//
// Code page 936 is glibc's "GBK", reproduced exactly from tables generated once from glibc iconv
// (tools/gen_gbk_table.cpp -> gbk_table.inc): bytes 00..7F are ASCII, the single byte 80 is U+20AC,
// and a lead byte 81..FE with a trail byte 40..7E or 80..FE is one double-byte code.
// Bad input never fails a conversion; each bad piece gives one replacement unit:
//   936 -> wide   the byte FF, a lead byte followed by a byte that cannot be a trail (or by the end
//                 of the input): "?" for that one byte, and the next byte is read on its own;
//                 a well-formed lead/trail pair that glibc does not map: one "?" for both bytes.
//   wide -> 936   a code unit without a GBK code: "?"; a surrogate pair gives one "?".
//   UTF-8 -> wide each maximal ill-formed piece (overlong, surrogate, beyond U+10FFFF, truncated)
//                 gives U+FFFD.
//   wide -> UTF-8 an unpaired surrogate gives U+FFFD (EF BF BD).
// So n narrow bytes never give more than n code units, and n code units never more than 3n bytes.
#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <string>

typedef char16_t wchar16;  // the wide character of the framework: one UTF-16 code unit

enum {
  ZEM_CP_SYSTEM = 0,   // whatever Set_Sys_Code_Page chose (936 unless changed)
  ZEM_CP_GBK = 936,
  ZEM_CP_UTF8 = 65001,
};

// The system code page, read inline by the collation's inner loop; change it with Set_Sys_Code_Page.
extern std::atomic<int> g_zem_sys_cp;

// The code page that ZEM_CP_SYSTEM stands for.
inline int Sys_Code_Page() { return g_zem_sys_cp.load(std::memory_order_relaxed); }
// Chooses the system code page (936 or 65001); returns 1, or 0 for a code page that is not supported.
// Meant for start-up, before other threads convert or compare text.
int Set_Sys_Code_Page(int cp);

// Converts n bytes of narrow text (n < 0: up to and including the NUL) into at most cap code units.
// With dst null or cap 0, returns the number of code units needed. Returns the number written (0 on
// overflow, for n 0, a null src or an unsupported code page). Does not add a terminator beyond what
// the input holds.
int Zem_MB_To_W(int cp, const char* src, int n, wchar16* dst, int cap);
// Converts n code units of wide text (n < 0: up to and including the NUL) into at most cap bytes.
// With dst null or cap 0, returns the number of bytes needed. Unmappable characters become "?".
int Zem_W_To_MB(int cp, const wchar16* src, int n, char* dst, int cap);
// 1 when the n bytes are well-formed UTF-8 holding at least one character beyond ASCII (n < 0: up to
// the NUL), else 0.
int Zem_Is_Utf8_Text(const char* src, int n);
// Narrow text is in the system code page, yet a UTF-8 literal is easily passed where it is expected
// ("金额" as bytes E9 87 91 ...) and turns into other characters or "?". The conversions of single
// texts (map_wchar, tc2u, Tmp_C2W, the grid's cells) hand their input and output here: when the code
// page was 936 and the input is UTF-8 beyond ASCII, either all of it in sequences of three bytes or
// more (as Chinese is) or with more "?" in the output than in the input (bytes the code page cannot
// read), the framework log says so, once per process, with the text as UTF-8 reads it. Returns 1 when
// the text was such (whether or not this call wrote the line), else 0.
int Zem_Note_Narrow_Text(int cp, const char* src, int n, const wchar16* out, int out_n);
// Whole NUL-terminated wide text as UTF-8 (null gives ""), and UTF-8 bytes back to wide text: for log
// lines, configuration texts and SQL parameters that travel as UTF-8.
std::string Zem_W_To_Utf8(const wchar16* w);
std::u16string Zem_Utf8_To_W(const std::string& s);

// The narrow bytes of one BMP code unit in code page 936 (1 or 2 bytes, big-endian order in the
// result: 0xB0A1 for U+554A), or '?' (0x3F) when it has none. Table-driven; for the collation.
unsigned Gbk_Of(wchar16 c);
// The whole code unit -> code table behind Gbk_Of (65536 entries), built once on first use.
const unsigned short* Gbk_Encode_Table();

// CJK ideographs U+4E00..U+9FA5, whose collation follows their code page 936 bytes.
enum { ZEM_CJK_FIRST = 0x4E00, ZEM_CJK_LAST = 0x9FA5 };
// The collation key of every code unit under code page 936: each ideograph
// takes the place of the range's ideograph of the same rank in GBK byte order (ZEM_CJK_FIRST + rank),
// every other unit keeps its own value. So two ideographs compare by their GBK bytes, and everything
// else, ideographs against other units included, by code unit. Constant data, made at compile time
// from the generated tables.
extern const std::array<unsigned short, 0x10000> g_zem_collation_key;
// The key table the collation reads, chosen by the system code page: g_zem_collation_key under 936,
// every unit its own key under 65001. Set_Sys_Code_Page rewrites its ideographs, and nothing else
// writes it; so W_Cmp's inner loop reads one table and never the code page.
extern std::array<unsigned short, 0x10000> g_zem_collation_active;
