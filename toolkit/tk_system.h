// System services the controls ask the platform for: key state, cursor position, a millisecond tick
// counter, posting key presses to a control, keyboard layouts, and the application's active state and form.
#pragma once

#include "toolkit/tk_types.h"

#include <cstdint>

class QWidget;

// Whether a key is held now, by virtual-key number. Only the modifier keys are tracked:
// VK_SHIFT, VK_CONTROL and VK_MENU (Alt), and their left/right forms below, which report the same
// state as the plain key (the platform does not tell the sides apart). Other keys answer false.
enum : WORD { VK_LSHIFT = 0xA0, VK_RSHIFT = 0xA1, VK_LCONTROL = 0xA2, VK_RCONTROL = 0xA3, VK_LMENU = 0xA4, VK_RMENU = 0xA5 };
bool IsKeyDown(WORD vk);
bool CtrlDown();
bool AltDown();
bool ShiftDown();
// The modifier keys held now.
TShiftState KeyboardState();

// The mouse cursor in screen coordinates.
TPoint GetCursorPos();

// Milliseconds on a monotonic clock (wraps after about 49 days, as the toolkit's counter does), and the
// full 64-bit count.
std::uint32_t GetTickCount();
std::uint64_t GetTickCount64();

// Qt's key number for a virtual-key number; 0 when it has none.
int QtKeyFromVk(WORD vk);

// Posts a key press and its release for vk to target; they are delivered by the event loop, in order,
// after the events already queued (the toolkit's PostMessage of WM_KEYDOWN). Returns false for a null
// target or a key without a Qt number.
bool PostKeyDown(QWidget* target, WORD vk, TShiftState shift = TShiftState());
// The same, delivered at once (SendMessage); returns whether the target accepted the press.
bool SendKeyDown(QWidget* target, WORD vk, TShiftState shift = TShiftState());

// Keyboard layouts. The platform's input method switches layouts itself and offers no API for it, so
// these do nothing: SaveKeyboardLayout returns 0 and RestoreKeyboardLayout ignores its argument.
// Code that saves a layout around an input keeps working unchanged.
std::intptr_t SaveKeyboardLayout();
void RestoreKeyboardLayout(std::intptr_t layout);

// Modal windows give the keyboard back. Once installed, every modal window that closes (a message box,
// any dialog run with exec) is followed by the window that was active when it opened being activated
// again, and by the control that had the focus then getting it back, unless another window was
// activated meanwhile. A window manager usually does the first part; without one (a bare X server, the
// offscreen platform) nobody does, and a window's shortcuts stay dead until a click. Installed once
// per application; later calls do nothing. False without an application.
bool ReturnFocusAfterDialogs();

// Whether one of the application's windows is active.
bool ApplicationActive();
// The active form: the active top-level widget; null when the application is not active.
QWidget* ActiveForm();
