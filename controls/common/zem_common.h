// Package functions shared by several controls, and the start-up base of the controls.
//
// Apply_Menu_Font (declared with the package entry points, frame/startup/zem_pack.h) hands a freshly
// built popup menu to the host's "gui_init_menu_font"; it is re-exported here so that a control needs
// one include for the shared functions.
//
// List_Font_Name / Input_Font_Name answer the face name (narrow, system code page) of drop lists and of
// input fields. Each is worked out once per process: the candidate faces are tried in order and the
// first that reads back unchanged wins; the public parameter "font.list" / "font.input", when present at
// that moment, overrides the outcome. The texts live in static buffers of the package.
#pragma once

#include <string>

#include "frame/startup/zem_pack.h"

// "微软雅黑 Light", "微软雅黑", then "宋体"; "font.list" overrides. Never null.
const char* List_Font_Name();
// "宋体"; "font.input" overrides. Never null.
const char* Input_Font_Name();

// What "reads back unchanged" means on this toolkit: the face is assigned to a font object and the face
// that font actually resolves to (QFontInfo, i.e. the installed face the text will be drawn with) is
// read back. A face reads back unchanged when it is installed under that name (compared without regard
// to case, as font names are). Returns the winning face of faces[0..count-1]; when none reads back
// unchanged, the last face is assigned and whatever it resolves to is returned (the installed fallback).
// Without a GUI application the face resolution is unavailable and the font keeps the name it was
// given. count must be at least 1.
std::u16string Zem_Pick_Font_Face(const char16_t* const* faces, int count);

// A control whose constructor runs the framework start-up before anything else of it is built: list it
// first among the bases (class TMG : private Zem_Startup_First, public TStringGrid). Every control but
// MStatusBar does so, so that a host that never calls Init_Tfa still gets a working framework.
struct Zem_Startup_First {
  Zem_Startup_First() { Zem_Framework_Startup(); }
};
