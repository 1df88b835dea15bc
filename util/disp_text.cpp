#include "util/disp_text.h"

#include <opencc.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "frame/log_mgr.h"

namespace {

int g_lcid = -1;  // -1: not read from the environment yet

const char* Config_For(int lcid) {
  switch (lcid) {
    case LCID_ZH_TW: return "s2tw.json";
    case LCID_ZH_HK:
    case LCID_ZH_MO: return "s2hk.json";
    default: return nullptr;
  }
}

// One converter per configuration, opened on first use and kept for the process; null when it cannot
// be opened (reported once).
opencc_t Converter_For(const char* config) {
  struct Slot {
    const char* config;
    opencc_t handle;
    bool tried;
  };
  static Slot slots[] = {{"s2tw.json", nullptr, false}, {"s2hk.json", nullptr, false}};
  for (Slot& s : slots) {
    if (std::strcmp(s.config, config) != 0) continue;
    if (!s.tried) {
      s.tried = true;
      opencc_t h = opencc_open(config);
      if (h == reinterpret_cast<opencc_t>(-1)) {
        Log_Printf("Disp_Text: cannot open the conversion %s: %s\n", config, opencc_error());
        h = nullptr;
      }
      s.handle = h;
    }
    return s.handle;
  }
  return nullptr;
}

// The text converted for the locale in force; the text itself when no conversion applies.
std::u16string Convert(const wchar16* text) {
  const char* config = Config_For(Disp_Text_Locale());
  opencc_t cc = config && *text ? Converter_For(config) : nullptr;
  if (!cc) return std::u16string(text);
  const std::string utf8 = Zem_W_To_Utf8(text);
  char* out = opencc_convert_utf8(cc, utf8.data(), utf8.size());
  if (!out) return std::u16string(text);
  std::u16string result = Zem_Utf8_To_W(out);
  opencc_convert_utf8_free(out);
  return result;
}

}  // namespace

int Disp_Text_Locale_Of(const char* name) {
  if (!name || std::strncmp(name, "zh", 2) != 0) return 0;
  std::string n(name);
  for (char& c : n)
    if (c == '-') c = '_';
  const std::string region = n.size() >= 5 && n[2] == '_' ? n.substr(3, 2) : std::string();
  if (region == "TW") return LCID_ZH_TW;
  if (region == "HK") return LCID_ZH_HK;
  if (region == "MO") return LCID_ZH_MO;
  return LCID_ZH_CN;  // zh, zh_CN, zh_SG: simplified
}

int Disp_Text_Locale() {
  if (g_lcid < 0) {
    const char* name = nullptr;
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* v = std::getenv(var);
      if (v && *v) {
        name = v;
        break;
      }
    }
    g_lcid = Disp_Text_Locale_Of(name);
  }
  return g_lcid;
}

void Disp_Text_Set_Locale(int lcid) { g_lcid = lcid < 0 ? -1 : lcid; }

const wchar16* Disp_Text(const wchar16* text) {
  static std::u16string ring[DISP_TEXT_RING];
  static int next = 0;
  std::u16string& slot = ring[next];
  next = (next + 1) % DISP_TEXT_RING;
  slot = Convert(text ? text : u"");
  return slot.c_str();
}

const char* Disp_Text(const char* text) {
  static std::string ring[DISP_TEXT_RING];
  static int next = 0;
  std::string& slot = ring[next];
  next = (next + 1) % DISP_TEXT_RING;
  if (!text) text = "";
  const int n = static_cast<int>(std::strlen(text));
  std::u16string wide(static_cast<size_t>(n) + 1, u'\0');
  wide.resize(static_cast<size_t>(Zem_MB_To_W(ZEM_CP_SYSTEM, text, n, &wide[0], n + 1)));
  const std::u16string converted = Convert(wide.c_str());
  const int m = Zem_W_To_MB(ZEM_CP_SYSTEM, converted.data(), static_cast<int>(converted.size()), nullptr, 0);
  slot.assign(static_cast<size_t>(m), '\0');
  Zem_W_To_MB(ZEM_CP_SYSTEM, converted.data(), static_cast<int>(converted.size()), &slot[0], m);
  return slot.c_str();
}
