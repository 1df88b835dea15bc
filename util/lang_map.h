// The caption language map: fixed captions of the controls (menu items, sum-grid labels, tree menus)
// are written in Chinese in the code and pass, with a short context word ("grid", "menu", "tree"),
// through this map before they are shown. The map reads an optional translation file "lang.txt"
// once; without it every caption comes back unchanged. One map serves the whole process: it is
// registered under "lang_map_mgr" so that every module translates with the same table.
//
// Translation file "lang.txt":
//
//   ITEM              RULE
//   encoding          UTF-16LE when the file begins with FF FE, UTF-8 when it begins with EF BB BF
//                     (either mark is skipped) or when it is well-formed UTF-8 with characters beyond
//                     ASCII; otherwise narrow text in the system code page (GBK), converted to wide text
//   lines             split at LF; each line is cut at a NUL code unit, then trimmed of blanks, tabs,
//                     CR and LF at both ends; empty lines are skipped
//   "#log_all"        log mode 1: every lookup is logged
//   "#log_not_define" log mode 2: only lookups that found no translation are logged
//   "#manual"         ignored
//   other "#..."      comments, ignored
//   key=value         split at the first "="; key and value trimmed; one leading "." of the key removed
//   no "="            ignored
//
// A key is a caption alone or "context.caption" (grid.合计=Total); the context form wins. Entries are
// kept sorted by W_Cmp and searched by halving; duplicate keys are all kept and one of them is found.
// An odd last byte of a UTF-16 file is not a code unit and is dropped.
//
// Log file "lang_log.txt" (beside the translation file): recreated holding only the mark FF FE when a
// file with a log mode is loaded; then each logged lookup appends one UTF-16LE line (the file is opened
// per line; the mark is written first when the file is empty; a file that cannot be opened drops the
// line):
//
//   CASE                          LINE
//   no context, found             "%s = %s\r\n"        caption, translation
//   no context, not found         "%s  *****\r\n"      caption
//   context, found                "%s.%s = %s\r\n"     context, caption, translation
//   context, not found            "%s.%s  *****\r\n"   context, caption
//
// Log mode 2 leaves out the "found" lines.
#pragma once
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>
#include "core/text/map_str.h"
#include "core/text/zstr.h"

// One line key=value of the translation file.
struct TLang_Pair {
  std::u16string key;    // caption or "context.caption", without a leading "."
  std::u16string value;  // its translation
};

// What the bytes of a translation file hold.
struct TLang_File {
  std::vector<TLang_Pair> pairs;  // in file order
  int log_mode = 0;               // 0 none, 1 all lookups, 2 lookups without translation
};

// Parses the bytes of a translation file by the rules above into *out (replacing what it held).
// Never fails on content: bad bytes become "?" through the code-page conversion and lines that fit no
// rule are skipped. Returns 1, or 0 for a null out or null data with a non-zero size.
int Lang_Parse_Bytes(const void* data, size_t size, TLang_File* out);

// Longest text (code units) that the map looks up; longer texts come back unchanged.
constexpr int LANG_MAX_TEXT = 300;
// Groups "(...)" carried by a parenthesised lookup.
constexpr int LANG_MAX_GROUPS = 8;

class TLang_Map {
 public:
  // Loads "lang.txt" of the current directory; logs into "lang_log.txt" there.
  TLang_Map();
  // Loads "<dir>/lang.txt"; logs into "<dir>/lang_log.txt". A null or empty dir is the current one.
  explicit TLang_Map(const char* dir);
  // Takes the bytes of a translation file; logs into "<log_dir>/lang_log.txt", or nowhere when
  // log_dir is null.
  TLang_Map(const void* data, size_t size, const char* log_dir);
  TLang_Map(const TLang_Map&) = delete;
  TLang_Map& operator=(const TLang_Map&) = delete;

  // The map lookup, without blank and hot-key handling. Returns the translation of "context.text",
  // else of text alone, else text unchanged. Unchanged always: null or empty text, a text containing
  // "tarvok" or "TarVok", the menu separator "-", texts longer than LANG_MAX_TEXT. A text with "("
  // goes to the parenthesised lookup: the text is split into its base (the text outside the groups)
  // and up to LANG_MAX_GROUPS groups "(...)"; the base is looked up alone (no context, no log), then,
  // when absent, with "{1}".."{8}" and then with "{}" where the groups stood ("导出到{1}文件"); the
  // groups go into the translation's placeholders, "{}" in order and "{n}" by number. Unchanged when
  // nothing is found. The result lives in the map's buffer until its next lookup.
  const wchar16* Map(const map_wchar& context, const map_wchar& text);

  int Log_Mode() const { return log_mode_; }
  // The sorted entries, for diagnostics and tests; i outside 0..Count()-1 gives null.
  int Count() const { return static_cast<int>(entries_.size()); }
  const wchar16* Key(int i) const;
  const wchar16* Value(int i) const;
  // Where logged lines go; empty when the map does not log to a file.
  const std::string& Log_Path() const { return log_path_; }

 private:
  // Reads <dir>/lang.txt; without the file the map stays empty and logs nothing.
  void Load_Dir(const char* dir);
  void Load_Bytes(const void* data, size_t size, const char* log_dir);
  // Index of an entry whose key equals key under W_Cmp, or -1.
  int Find(const wchar16* key) const;
  const wchar16* Map_Paren(const wchar16* text);
  // Logs one lookup by the log mode; trans null means not found.
  void Log(const wchar16* context, const wchar16* text, const wchar16* trans);

  std::vector<TLang_Pair> entries_;  // ascending by W_Cmp of the key
  std::mutex lock_;                  // held for the whole of each lookup
  int log_mode_ = 0;
  wstr result_;                      // the text of the current lookup
  std::string log_path_;
};

// The process-wide map: found under "lang_map_mgr" or created (loading "lang.txt" of the current
// directory) and registered there. Lives until the process ends.
TLang_Map* Lang_Map_Mgr();

// The caption translation used by the controls, through the process-wide map. Leading blanks are
// kept; the rest is trimmed and looked up; a hot key ("&" and the character after it) is taken out for
// the lookup and put back into the translation:
//   - a translation that already holds "&" is returned as it is;
//   - otherwise "&" goes before the first occurrence of the key letter (lower-case key: itself, then
//     its upper case; any other key k: k + 32, then k itself);
//   - when neither occurs, "&" and the key are appended, unless the translation is made only of ASCII
//     letters (it then gets no hot key).
// Without a translation the caption comes back as passed, "&" included. A null or empty caption gives
// "". Captions of LANG_MAX_TEXT code units or more (after the leading blanks) are not translated.
// The result stays valid until the next caption translation. User-interface thread only.
const wchar16* Lang_Cap(const map_wchar& context, const wchar16* caption);
// The same through a given map (tests, and hosts that keep a map of their own); null: the process-wide map.
const wchar16* Lang_Cap(TLang_Map* map, const map_wchar& context, const wchar16* caption);
