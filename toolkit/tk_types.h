// Small value types and event signatures shared by every class of the toolkit layer.
//
// Geometry follows the toolkit's rules, not Qt's: TRect holds Left/Top/Right/Bottom with Right and Bottom
// one past the last pixel, so Width() = Right - Left. toQRect()/fromQRect() are the only crossings.
// Key codes are the toolkit's virtual-key numbers (VK_RETURN = 13, 'A' = 0x41 ...); vkFromQtKey() maps a
// Qt key onto them so that controls compare keys as the toolkit does.
#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <Qt>
#include <algorithm>
#include <functional>

// The sender of every event: the QObject that fires it (a widget of the layer).
typedef QObject TObject;
typedef unsigned short WORD;

struct TPoint {
    int x = 0;
    int y = 0;
    TPoint() = default;
    TPoint(int ax, int ay) : x(ax), y(ay) {}
    bool operator==(const TPoint& o) const { return x == o.x && y == o.y; }
    bool operator!=(const TPoint& o) const { return !(*this == o); }
    QPoint toQPoint() const { return QPoint(x, y); }
    static TPoint fromQPoint(const QPoint& p) { return TPoint(p.x(), p.y()); }
};

struct TSize {
    int cx = 0;
    int cy = 0;
    TSize() = default;
    TSize(int w, int h) : cx(w), cy(h) {}
};

struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;   // one past the last column of pixels
    int Bottom = 0;  // one past the last row of pixels
    TRect() = default;
    TRect(int l, int t, int r, int b) : Left(l), Top(t), Right(r), Bottom(b) {}
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
    bool Contains(const TPoint& p) const { return Contains(p.x, p.y); }
    bool operator==(const TRect& o) const {
        return Left == o.Left && Top == o.Top && Right == o.Right && Bottom == o.Bottom;
    }
    bool operator!=(const TRect& o) const { return !(*this == o); }
    // Shrinks (positive) or grows (negative) every side.
    void Inflate(int dx, int dy) { Left -= dx; Top -= dy; Right += dx; Bottom += dy; }
    void Offset(int dx, int dy) { Left += dx; Right += dx; Top += dy; Bottom += dy; }
    TRect Intersected(const TRect& o) const {
        TRect r(std::max(Left, o.Left), std::max(Top, o.Top), std::min(Right, o.Right), std::min(Bottom, o.Bottom));
        if (r.IsEmpty()) return TRect();
        return r;
    }
    QRect toQRect() const { return QRect(Left, Top, Width(), Height()); }
    static TRect fromQRect(const QRect& q) { return TRect(q.left(), q.top(), q.left() + q.width(), q.top() + q.height()); }
};

inline TRect Rect(int l, int t, int r, int b) { return TRect(l, t, r, b); }
inline TRect Bounds(int l, int t, int w, int h) { return TRect(l, t, l + w, t + h); }
inline TPoint Point(int x, int y) { return TPoint(x, y); }

enum TShiftStateFlag : unsigned {
    ssShift = 1u << 0,
    ssAlt = 1u << 1,
    ssCtrl = 1u << 2,
    ssLeft = 1u << 3,
    ssRight = 1u << 4,
    ssMiddle = 1u << 5,
    ssDouble = 1u << 6,
};

// The set of keyboard modifiers and mouse buttons held during an event.
class TShiftState {
public:
    TShiftState() = default;
    TShiftState(TShiftStateFlag f) : bits_(f) {}
    static TShiftState fromBits(unsigned b) { TShiftState s; s.bits_ = b; return s; }
    bool Contains(TShiftStateFlag f) const { return (bits_ & f) != 0; }
    bool Empty() const { return bits_ == 0; }
    TShiftState& operator<<(TShiftStateFlag f) { bits_ |= f; return *this; }
    TShiftState& operator>>(TShiftStateFlag f) { bits_ &= ~unsigned(f); return *this; }
    TShiftState operator|(TShiftStateFlag f) const { return fromBits(bits_ | f); }
    bool operator==(const TShiftState& o) const { return bits_ == o.bits_; }
    bool operator!=(const TShiftState& o) const { return bits_ != o.bits_; }
    unsigned bits() const { return bits_; }

private:
    unsigned bits_ = 0;
};
inline TShiftState operator|(TShiftStateFlag a, TShiftStateFlag b) { return TShiftState::fromBits(unsigned(a) | unsigned(b)); }

enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// Event signatures: std::function members named as the toolkit names them (OnKeyDown, OnMouseDown...).
typedef std::function<void(TObject* Sender)> TNotifyEvent;
typedef std::function<void(TObject* Sender, WORD& Key, TShiftState Shift)> TKeyEvent;
typedef std::function<void(TObject* Sender, char16_t& Key)> TKeyPressEvent;
typedef std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)> TMouseEvent;
typedef std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)> TMouseMoveEvent;
typedef std::function<void(TObject* Sender, TShiftState Shift, TPoint MousePos, bool& Handled)> TMouseWheelUpDownEvent;

// Virtual-key numbers of the toolkit. Letters and digits are their upper-case ASCII codes.
enum : WORD {
    VK_LBUTTON = 0x01, VK_RBUTTON = 0x02, VK_CANCEL = 0x03, VK_MBUTTON = 0x04,
    VK_BACK = 0x08, VK_TAB = 0x09, VK_CLEAR = 0x0C, VK_RETURN = 0x0D,
    VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12, VK_PAUSE = 0x13, VK_CAPITAL = 0x14,
    VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24,
    VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28,
    VK_PRINT = 0x2A, VK_SNAPSHOT = 0x2C, VK_INSERT = 0x2D, VK_DELETE = 0x2E, VK_HELP = 0x2F,
    VK_APPS = 0x5D,
    VK_NUMPAD0 = 0x60, VK_MULTIPLY = 0x6A, VK_ADD = 0x6B, VK_SEPARATOR = 0x6C, VK_SUBTRACT = 0x6D,
    VK_DECIMAL = 0x6E, VK_DIVIDE = 0x6F,
    VK_F1 = 0x70, VK_F2, VK_F3, VK_F4, VK_F5, VK_F6, VK_F7, VK_F8, VK_F9, VK_F10, VK_F11, VK_F12,
    VK_NUMLOCK = 0x90, VK_SCROLL = 0x91,
    // Punctuation keys of the main keyboard, numbered by their US-layout key caps.
    VK_OEM_1 = 0xBA, VK_OEM_PLUS = 0xBB, VK_OEM_COMMA = 0xBC, VK_OEM_MINUS = 0xBD, VK_OEM_PERIOD = 0xBE,
    VK_OEM_2 = 0xBF, VK_OEM_3 = 0xC0, VK_OEM_4 = 0xDB, VK_OEM_5 = 0xDC, VK_OEM_6 = 0xDD, VK_OEM_7 = 0xDE,
};

// Maps a Qt key (QKeyEvent::key()) to its virtual-key number; 0 for keys the toolkit has no number for.
// A shifted symbol maps to the key that types it on a US layout ('#' -> '3'); digits with
// Qt::KeypadModifier are the keypad's. '*', '+', '-' and '/' keep their keypad numbers.
inline WORD vkFromQtKey(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return WORD('A' + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return WORD(((mods & Qt::KeypadModifier) ? int(VK_NUMPAD0) : int('0')) + (key - Qt::Key_0));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return WORD(VK_F1 + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab: case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Clear: return VK_CLEAR;
    case Qt::Key_Return: case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Pause: return VK_PAUSE;
    case Qt::Key_CapsLock: return VK_CAPITAL;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Print: return VK_SNAPSHOT;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Help: return VK_HELP;
    case Qt::Key_Menu: return VK_APPS;
    case Qt::Key_Asterisk: return VK_MULTIPLY;
    case Qt::Key_Plus: return VK_ADD;
    case Qt::Key_Minus: return VK_SUBTRACT;
    case Qt::Key_Slash: return VK_DIVIDE;
    case Qt::Key_NumLock: return VK_NUMLOCK;
    case Qt::Key_ScrollLock: return VK_SCROLL;
    case Qt::Key_ParenRight: return '0';
    case Qt::Key_Exclam: return '1';
    case Qt::Key_At: return '2';
    case Qt::Key_NumberSign: return '3';
    case Qt::Key_Dollar: return '4';
    case Qt::Key_Percent: return '5';
    case Qt::Key_AsciiCircum: return '6';
    case Qt::Key_Ampersand: return '7';
    case Qt::Key_ParenLeft: return '9';
    case Qt::Key_Semicolon: case Qt::Key_Colon: return VK_OEM_1;
    case Qt::Key_Equal: return VK_OEM_PLUS;
    case Qt::Key_Comma: case Qt::Key_Less: return VK_OEM_COMMA;
    case Qt::Key_Underscore: return VK_OEM_MINUS;
    case Qt::Key_Period: return (mods & Qt::KeypadModifier) ? VK_DECIMAL : VK_OEM_PERIOD;
    case Qt::Key_Greater: return VK_OEM_PERIOD;
    case Qt::Key_Question: return VK_OEM_2;
    case Qt::Key_QuoteLeft: case Qt::Key_AsciiTilde: return VK_OEM_3;
    case Qt::Key_BracketLeft: case Qt::Key_BraceLeft: return VK_OEM_4;
    case Qt::Key_Backslash: case Qt::Key_Bar: return VK_OEM_5;
    case Qt::Key_BracketRight: case Qt::Key_BraceRight: return VK_OEM_6;
    case Qt::Key_Apostrophe: case Qt::Key_QuoteDbl: return VK_OEM_7;
    default: return 0;
    }
}

// Keyboard modifiers (and, when given, mouse buttons) as a TShiftState.
inline TShiftState shiftFromQt(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons = Qt::NoButton) {
    TShiftState s;
    if (mods & Qt::ShiftModifier) s << ssShift;
    if (mods & Qt::AltModifier) s << ssAlt;
    if (mods & Qt::ControlModifier) s << ssCtrl;
    if (buttons & Qt::LeftButton) s << ssLeft;
    if (buttons & Qt::RightButton) s << ssRight;
    if (buttons & Qt::MiddleButton) s << ssMiddle;
    return s;
}

inline TMouseButton buttonFromQt(Qt::MouseButton b) {
    if (b == Qt::RightButton) return mbRight;
    if (b == Qt::MiddleButton) return mbMiddle;
    return mbLeft;
}
