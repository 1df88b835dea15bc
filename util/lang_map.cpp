// The caption language map: translation file parsing, sorted look-up, parenthesised placeholders, the
// lookup log, and the caption translation with leading blanks and hot keys.
#include "util/lang_map.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>
#include "core/text/wfunc.h"
#include "frame/log_mgr.h"
#include "frame/singleton.h"

namespace {

typedef std::u16string_view WView;

bool Is_Trim_Char(wchar16 c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

WView Trim_View(WView v) {
  size_t b = 0, e = v.size();
  while (b < e && Is_Trim_Char(v[b])) ++b;
  while (e > b && Is_Trim_Char(v[e - 1])) --e;
  return v.substr(b, e - b);
}

// Applies the line rules to one line of wide text.
void Parse_Line(WView line, TLang_File* out) {
  size_t nul = line.find(u'\0');
  if (nul != WView::npos) line = line.substr(0, nul);
  line = Trim_View(line);
  if (line.empty()) return;
  if (line[0] == u'#') {
    if (line == u"#log_all") out->log_mode = 1;
    else if (line == u"#log_not_define") out->log_mode = 2;
    // "#manual" and every other "#" line are comments.
    return;
  }
  size_t eq = line.find(u'=');
  if (eq == WView::npos) return;
  WView key = Trim_View(line.substr(0, eq));
  WView value = Trim_View(line.substr(eq + 1));
  if (!key.empty() && key[0] == u'.') key.remove_prefix(1);
  out->pairs.push_back(TLang_Pair{std::u16string(key), std::u16string(value)});
}

// Appends wide text to the log file as UTF-16LE bytes, the mark first when the file is empty.
void Append_Log_Line(const std::string& path, const std::u16string& line) {
  FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return;  // a log that cannot be opened drops the line
  std::fseek(f, 0, SEEK_END);
  std::string bytes;
  if (std::ftell(f) == 0) bytes.append("\xFF\xFE", 2);
  for (wchar16 c : line) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

bool Contains(WView s, WView part) { return s.find(part) != WView::npos; }

std::string Join_Path(const char* dir, const char* name) {
  if (!dir || !*dir) return name;
  std::string p(dir);
  if (p.back() != '/') p += '/';
  return p + name;
}

}  // namespace

int Lang_Parse_Bytes(const void* data, size_t size, TLang_File* out) {
  if (!out) return 0;
  out->pairs.clear();
  out->log_mode = 0;
  if (!data) return size == 0 ? 1 : 0;
  const unsigned char* p = static_cast<const unsigned char*>(data);

  if (size >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
    // UTF-16LE: whole code units after the mark; an odd last byte is dropped.
    size_t units = (size - 2) / 2;
    std::u16string line;
    for (size_t i = 0; i < units; ++i) {
      wchar16 c = static_cast<wchar16>(p[2 + 2 * i] | (p[3 + 2 * i] << 8));
      if (c == u'\n') {
        Parse_Line(line, out);
        line.clear();
      } else {
        line.push_back(c);
      }
    }
    Parse_Line(line, out);
    return 1;
  }

  // UTF-8: with its mark EF BB BF (skipped), or without one when every byte is well-formed UTF-8 and
  // some character lies beyond ASCII. GBK text with Chinese in it is hardly ever well-formed UTF-8, and
  // ASCII reads the same both ways, so a file saved by any editor is read as it was written.
  int cp = ZEM_CP_SYSTEM;
  if (size >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
    p += 3;
    size -= 3;
    cp = ZEM_CP_UTF8;
  } else if (size <= static_cast<size_t>(INT_MAX) &&
             Zem_Is_Utf8_Text(reinterpret_cast<const char*>(p), static_cast<int>(size))) {
    cp = ZEM_CP_UTF8;
  }
  // Narrow text: LF never occurs inside a double-byte character (GBK trail bytes are 40 or more, UTF-8
  // continuation bytes 80 or more), so the bytes are split into lines first and each line converted on
  // its own.
  std::u16string wide;
  size_t start = 0;
  while (start <= size) {
    const void* nl = start < size ? std::memchr(p + start, '\n', size - start) : nullptr;
    size_t end = nl ? static_cast<size_t>(static_cast<const unsigned char*>(nl) - p) : size;
    size_t n = end - start;
    if (n > 0 && n <= static_cast<size_t>(INT_MAX)) {
      // n bytes never give more than n code units.
      wide.resize(n);
      int got = Zem_MB_To_W(cp, reinterpret_cast<const char*>(p + start),
                            static_cast<int>(n), &wide[0], static_cast<int>(n));
      wide.resize(got > 0 ? static_cast<size_t>(got) : 0);
      Parse_Line(wide, out);
    }
    if (!nl) break;
    start = end + 1;
  }
  return 1;
}

TLang_Map::TLang_Map() { Load_Dir(nullptr); }

TLang_Map::TLang_Map(const char* dir) { Load_Dir(dir); }

TLang_Map::TLang_Map(const void* data, size_t size, const char* log_dir) {
  Load_Bytes(data, size, log_dir);
}

void TLang_Map::Load_Dir(const char* dir) {
  entries_.clear();
  std::string path = Join_Path(dir, "lang.txt");
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return;  // no translation file: every caption stays as it is
  std::string bytes;
  char buf[65536];
  size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, got);
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) {
    Log_Printf("unable to read %s\n", path.c_str());
    return;
  }
  Load_Bytes(bytes.data(), bytes.size(), dir ? dir : "");
}

void TLang_Map::Load_Bytes(const void* data, size_t size, const char* log_dir) {
  TLang_File file;
  entries_.clear();
  log_mode_ = 0;
  log_path_.clear();
  if (!Lang_Parse_Bytes(data, size, &file)) return;
  std::stable_sort(file.pairs.begin(), file.pairs.end(), [](const TLang_Pair& a, const TLang_Pair& b) {
    return W_Cmp(a.key.c_str(), b.key.c_str()) < 0;
  });
  entries_ = std::move(file.pairs);
  log_mode_ = file.log_mode;
  if (log_mode_ != 0 && log_dir) {
    log_path_ = Join_Path(log_dir, "lang_log.txt");
    // A fresh log at every start: only the mark.
    if (FILE* f = std::fopen(log_path_.c_str(), "wb")) {
      std::fwrite("\xFF\xFE", 1, 2, f);
      std::fclose(f);
    }
  }
}

const wchar16* TLang_Map::Key(int i) const {
  return i >= 0 && i < Count() ? entries_[i].key.c_str() : nullptr;
}

const wchar16* TLang_Map::Value(int i) const {
  return i >= 0 && i < Count() ? entries_[i].value.c_str() : nullptr;
}

int TLang_Map::Find(const wchar16* key) const {
  int lo = 0, hi = Count() - 1;
  while (lo <= hi) {
    int mid = lo + (hi - lo) / 2;
    int c = W_Cmp(entries_[mid].key.c_str(), key);
    if (c == 0) return mid;
    if (c < 0) lo = mid + 1;
    else hi = mid - 1;
  }
  return -1;
}

void TLang_Map::Log(const wchar16* context, const wchar16* text, const wchar16* trans) {
  if (log_mode_ == 0 || log_path_.empty()) return;
  if (trans && log_mode_ == 2) return;
  std::u16string line;
  if (*context) {
    line += context;
    line += u'.';
  }
  line += text;
  if (trans) {
    line += u" = ";
    line += trans;
  } else {
    line += u"  *****";
  }
  line += u"\r\n";
  Append_Log_Line(log_path_, line);
}

const wchar16* TLang_Map::Map(const map_wchar& context, const map_wchar& text) {
  std::lock_guard<std::mutex> guard(lock_);
  // A copy, so that a caller may pass the previous result back in.
  const std::u16string t(text.c_str());
  const wchar16* ctx = context.c_str();
  result_.assign(t.c_str());
  WView v(t);
  if (v.empty() || Contains(v, u"tarvok") || Contains(v, u"TarVok") || v == u"-") return result_.c_str();
  if (Contains(v, u"(")) return Map_Paren(t.c_str());
  if (v.size() > static_cast<size_t>(LANG_MAX_TEXT)) return result_.c_str();

  if (*ctx) {
    std::u16string key(ctx);
    key += u'.';
    key += v;
    int i = Find(key.c_str());
    if (i >= 0) {
      Log(ctx, t.c_str(), entries_[i].value.c_str());
      return result_.assign(entries_[i].value.c_str()).c_str();
    }
  }
  int i = Find(t.c_str());
  if (i >= 0) {
    Log(ctx, t.c_str(), entries_[i].value.c_str());
    return result_.assign(entries_[i].value.c_str()).c_str();
  }
  Log(ctx, t.c_str(), nullptr);
  return result_.c_str();
}

// Runs under the lock; result_ already holds the text.
const wchar16* TLang_Map::Map_Paren(const wchar16* text) {
  WView t(text);
  std::u16string base;      // the text outside the groups
  std::u16string numbered;  // the same with "{n}" where group n stood
  std::u16string braced;    // the same with "{}" where each group stood
  std::vector<WView> groups;
  size_t i = 0;
  while (i < t.size() && groups.size() < static_cast<size_t>(LANG_MAX_GROUPS) &&
         base.size() < static_cast<size_t>(LANG_MAX_TEXT)) {
    if (t[i] == u'(') {
      size_t close = t.find(u')', i + 1);
      if (close == WView::npos) break;  // an open "(" ends the split and belongs nowhere
      groups.push_back(t.substr(i, close - i + 1));
      numbered += u'{';
      numbered += static_cast<wchar16>(u'0' + groups.size());
      numbered += u'}';
      braced += u"{}";
      i = close + 1;
    } else {
      base.push_back(t[i]);
      numbered.push_back(t[i]);
      braced.push_back(t[i]);
      ++i;
    }
  }
  // The base alone first; then the keys that mark where the groups stand, so that a translator can
  // tell apart captions whose groups sit at different places. An empty base is never translated,
  // like any empty text.
  int k = -1;
  if (!base.empty()) {
    k = Find(base.c_str());
    if (k < 0 && !groups.empty()) k = Find(numbered.c_str());
    if (k < 0 && !groups.empty()) k = Find(braced.c_str());
  }
  if (k < 0) return result_.c_str();

  // One pass over the translation: each "{}" takes the next group, each "{n}" group n. Groups are
  // copied whole, so placeholders inside a group's own text stay as they are.
  WView tr(entries_[k].value);
  std::u16string out;
  size_t next = 0;
  for (size_t j = 0; j < tr.size();) {
    if (tr[j] == u'{' && j + 1 < tr.size()) {
      if (tr[j + 1] == u'}' && next < groups.size()) {
        out += groups[next++];
        j += 2;
        continue;
      }
      if (j + 2 < tr.size() && tr[j + 2] == u'}' && tr[j + 1] >= u'1' && tr[j + 1] <= u'9') {
        size_t n = static_cast<size_t>(tr[j + 1] - u'0');
        if (n <= groups.size()) {
          out += groups[n - 1];
          j += 3;
          continue;
        }
      }
    }
    out.push_back(tr[j++]);
  }
  return result_.assign(out.c_str()).c_str();
}

namespace {

TLang_Map* g_lang_map = nullptr;  // this module's pointer to the process-wide map

// Caption translator state, shared by all callers on the user-interface thread.
std::u16string g_cap_trim;   // the trimmed caption, hot key taken out
std::u16string g_cap_trans;  // the translated caption with its hot key
std::u16string g_cap_blank;  // the result with the caller's leading blanks

// Puts the hot key h back into a translation.
void Put_Hot_Key(std::u16string& s, wchar16 h) {
  if (h == 0) return;  // a trailing "&" names no key
  if (s.find(u'&') != std::u16string::npos) return;
  wchar16 first = h, second = h;
  if (h >= u'a' && h <= u'z') second = static_cast<wchar16>(h - 32);
  else first = static_cast<wchar16>(h + 32);
  size_t pos = s.find(first);
  if (pos == std::u16string::npos) pos = s.find(second);
  if (pos != std::u16string::npos) {
    s.insert(pos, 1, u'&');
    return;
  }
  bool letters_only = std::all_of(s.begin(), s.end(), [](wchar16 c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
  });
  if (!letters_only) {
    s += u'&';
    s += h;
  }
}

// The caption after its leading blanks. map null: the process-wide map, made when first needed.
const wchar16* Cap_Body(TLang_Map* map, const map_wchar& context, const wchar16* caption) {
  if (!*caption) return g_empty_w;
  if (W_Len(caption) >= LANG_MAX_TEXT) return caption;
  if (!map) map = Lang_Map_Mgr();
  g_cap_trim.assign(Trim_View(caption));

  size_t amp = g_cap_trim.find(u'&');
  if (amp == std::u16string::npos) return map->Map(context, g_cap_trim.c_str());

  // The key travels as one 8-bit character, as menu hot keys are ASCII letters or digits.
  wchar16 hot = 0;
  g_cap_trim[amp] = u' ';
  if (amp + 1 < g_cap_trim.size()) {
    hot = static_cast<wchar16>(g_cap_trim[amp + 1] & 0xFF);
    g_cap_trim[amp + 1] = u' ';
  }
  g_cap_trim.erase(std::remove(g_cap_trim.begin(), g_cap_trim.end(), u' '), g_cap_trim.end());

  g_cap_trans = map->Map(context, g_cap_trim.c_str());
  if (W_Cmp(g_cap_trans.c_str(), g_cap_trim.c_str()) == 0) {
    g_cap_trans = caption;  // untranslated: as passed, "&" included
    return g_cap_trans.c_str();
  }
  Put_Hot_Key(g_cap_trans, hot);
  return g_cap_trans.c_str();
}

const wchar16* Cap(TLang_Map* map, const map_wchar& context, const wchar16* caption) {
  if (!caption || !*caption) return g_empty_w;
  size_t blanks = 0;
  while (caption[blanks] == u' ') ++blanks;
  if (blanks == 0) return Cap_Body(map, context, caption);
  std::u16string with_blanks(caption, blanks);
  with_blanks += Cap_Body(map, context, caption + blanks);
  g_cap_blank.swap(with_blanks);
  return g_cap_blank.c_str();
}

}  // namespace

TLang_Map* Lang_Map_Mgr() { return Zem_Singleton<TLang_Map>("lang_map_mgr", g_lang_map); }

const wchar16* Lang_Cap(const map_wchar& context, const wchar16* caption) {
  return Cap(nullptr, context, caption);
}

const wchar16* Lang_Cap(TLang_Map* map, const map_wchar& context, const wchar16* caption) {
  return Cap(map, context, caption);
}
