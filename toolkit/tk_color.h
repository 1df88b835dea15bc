// Colours of the toolkit layer.
//
// TColor is the toolkit's colour integer, 0x00BBGGRR: the low byte is red, then green, then blue. So the
// selected-cell colour 0xF16555 is RGB(0x55, 0x65, 0xF1). Values with the high byte 0x80 name a colour of
// the system palette (clBtnFace, clWindow...) and are resolved through the application's QPalette when
// drawn. clNone and clDefault are markers: "no colour" and "the control's own colour".
//
// Every colour crosses into Qt through toQColor() below; nothing else converts TColor by hand.
#pragma once

#include <QColor>
#include <cstdint>

typedef std::int32_t TColor;

// Builds a TColor from its three channels (the toolkit's RGB macro).
constexpr TColor TkRGB(int r, int g, int b) {
    return TColor((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(TColor c) { return c & 0xFF; }
constexpr int GetGValue(TColor c) { return (c >> 8) & 0xFF; }
constexpr int GetBValue(TColor c) { return (c >> 16) & 0xFF; }

// Plain colours.
constexpr TColor clBlack   = 0x000000;
constexpr TColor clMaroon  = 0x000080;
constexpr TColor clGreen   = 0x008000;
constexpr TColor clOlive   = 0x008080;
constexpr TColor clNavy    = 0x800000;
constexpr TColor clPurple  = 0x800080;
constexpr TColor clTeal    = 0x808000;
constexpr TColor clGray    = 0x808080;
constexpr TColor clSilver  = 0xC0C0C0;
constexpr TColor clRed     = 0x0000FF;
constexpr TColor clLime    = 0x00FF00;
constexpr TColor clYellow  = 0x00FFFF;
constexpr TColor clBlue    = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua    = 0xFFFF00;
constexpr TColor clWhite   = 0xFFFFFF;
constexpr TColor clCream   = 0xF0FBFF;
constexpr TColor clMoneyGreen = 0xC0DCC0;
constexpr TColor clSkyBlue = 0xF0CAA6;

// System colours: resolved through the palette (see toQColor).
constexpr TColor clSystemColor     = TColor(0x80000000u);
constexpr TColor clScrollBar       = TColor(0x80000000u);
constexpr TColor clBackground      = TColor(0x80000001u);
constexpr TColor clActiveCaption   = TColor(0x80000002u);
constexpr TColor clWindow          = TColor(0x80000005u);
constexpr TColor clWindowFrame     = TColor(0x80000006u);
constexpr TColor clWindowText      = TColor(0x80000008u);
constexpr TColor clHighlight       = TColor(0x8000000Du);
constexpr TColor clHighlightText   = TColor(0x8000000Eu);
constexpr TColor clBtnFace         = TColor(0x8000000Fu);
constexpr TColor clBtnShadow       = TColor(0x80000010u);
constexpr TColor clGrayText        = TColor(0x80000011u);
constexpr TColor clBtnText         = TColor(0x80000012u);
constexpr TColor clBtnHighlight    = TColor(0x80000014u);
constexpr TColor cl3DDkShadow      = TColor(0x80000015u);
constexpr TColor cl3DLight         = TColor(0x80000016u);
constexpr TColor clInfoText        = TColor(0x80000017u);
constexpr TColor clInfoBk          = TColor(0x80000018u);

// Markers, never drawn as such.
constexpr TColor clNone    = TColor(0x1FFFFFFF);
constexpr TColor clDefault = TColor(0x20000000);

inline bool IsSystemColor(TColor c) { return (std::uint32_t(c) & 0xFF000000u) == 0x80000000u; }

// The one conversion into Qt. System colours come from the application palette (the active group);
// clNone gives a fully transparent colour; clDefault gives the window colour.
QColor toQColor(TColor c);

// The way back, for colours read from Qt (palette entries, pixels of a grabbed image). Alpha is dropped.
inline TColor fromQColor(const QColor& q) { return TkRGB(q.red(), q.green(), q.blue()); }

// A system colour resolved to its plain 0x00BBGGRR value; plain colours come back unchanged.
TColor ColorToRGB(TColor c);
