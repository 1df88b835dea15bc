// Disp_Text: the script in which fixed captions are shown. Captions are written in simplified Chinese;
// where the system's default locale is one of the traditional-script ones they are converted to the
// traditional script before they are shown, otherwise they come back unchanged.
//
//   LOCALE ID   LOCALE                       CONVERSION (OpenCC configuration)
//   1028        Chinese (Taiwan), zh_TW      simplified to traditional, Taiwan standard (s2tw.json)
//   3076        Chinese (Hong Kong), zh_HK   simplified to traditional, Hong Kong standard (s2hk.json)
//   5124        Chinese (Macao), zh_MO       the same as Hong Kong (s2hk.json)
//   2052, other none
//
// The locale is read once from the environment (LC_ALL, then LC_MESSAGES, then LANG: "zh_TW.UTF-8"
// gives 1028), or set by the host with Disp_Text_Set_Locale. The conversion goes through the OpenCC
// library and its own configuration files; when a configuration cannot be opened (the data files are
// missing) the framework log says so once and captions stay unchanged.
//
// Results live in rings of 30 slots (one for wide, one for narrow text): a result stays valid for the
// next 29 calls of the same form. User-interface thread only, like the captions it serves.
#pragma once

#include "core/text/code_page.h"

enum {
  LCID_ZH_TW = 1028,
  LCID_ZH_CN = 2052,
  LCID_ZH_HK = 3076,
  LCID_ZH_MO = 5124,
  DISP_TEXT_RING = 30,
};

// The caption in the script of the locale. Null gives "".
const wchar16* Disp_Text(const wchar16* text);
// The same for narrow text in the system code page (GBK holds the traditional characters too).
const char* Disp_Text(const char* text);

// The locale id in force (1028, 2052, 3076, 5124, or 0 for a locale without Chinese).
int Disp_Text_Locale();
// Sets the locale id; a negative one reads the environment again.
void Disp_Text_Set_Locale(int lcid);
// The locale id a locale name stands for ("zh_TW.UTF-8" -> 1028, "zh_CN" -> 2052, "C" -> 0).
int Disp_Text_Locale_Of(const char* locale_name);
