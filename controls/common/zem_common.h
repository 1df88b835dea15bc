// Package functions shared by several controls, and the start-up base of the controls. A control unit
// includes this header alone for the start-up, the menu font, its unit hooks (Zem_Unit_Registrar) and its
// palette registration (RegisterComponents, kZem_Palette_Page). It includes only from the floors below
// the controls: the start-up itself sits above them and is reached through the ground floor's hook.
//
// List_Font_Name / Input_Font_Name answer the face name (narrow, system code page) of drop lists and of
// input fields. Each is worked out once per process: the candidate faces are tried in order and the
// first that reads back unchanged wins; the public parameter "font.list" / "font.input", when present at
// that moment, overrides the outcome. The texts live in static buffers of the package.
#pragma once

#include <string>

#include "frame/startup_hook.h"
#include "frame/zem_units.h"

class TPopupMenu;

// Hands a freshly built popup menu to the host's "gui_init_menu_font" when the host has one (looked up
// again on every call while missing, kept once found). Always 1.
int Apply_Menu_Font(TPopupMenu* menu);

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

// Every control but MStatusBar runs the framework start-up in its constructor, before anything else of
// it is built, so that a host that never calls Init_Tfa still gets a working framework (through the
// hook the composition root installs; see frame/startup_hook.h). The toolkit base
// is constructed first, so the start-up goes into the base's argument:
//   TMG::TMG(QWidget* parent) : TStringGrid(Zem_Startup_Parent(parent)) { ... }
// (moc takes a Q_OBJECT class's first base as its Qt superclass, so a start-up base class cannot be
// listed before the toolkit base.) Returns parent unchanged.
template <class Parent>
Parent* Zem_Startup_Parent(Parent* parent) {
  Zem_Run_Startup_Hook();
  return parent;
}

// The same for classes without Q_OBJECT (helpers that must find the framework up):
// list it first among the bases.
struct Zem_Startup_First {
  Zem_Startup_First() { Zem_Run_Startup_Hook(); }
};
