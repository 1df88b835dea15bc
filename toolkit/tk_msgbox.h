// MessageBox: the toolkit's modal question and message box over QMessageBox.
//
// flags combine one button set (MB_OK, MB_OKCANCEL, MB_YESNOCANCEL, MB_YESNO) with one icon
// (MB_ICONERROR, MB_ICONQUESTION, MB_ICONWARNING, MB_ICONINFORMATION); the answer is the button
// pressed (IDOK, IDCANCEL, IDYES, IDNO). Escape and the window's close button answer IDCANCEL where
// there is a Cancel button, else IDNO (yes/no) or IDOK (OK only). The first button has the focus.
//
// Button captions are given by the caller (TMsgBoxButtons): the defaults are the Chinese ones of the
// platform, so a control that passes them through its caption map gets translated buttons. A caption
// may carry a hot key ("是(&Y)").
#pragma once

#include <QString>

class QWidget;

enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

struct TMsgBoxButtons {
    QString ok = QString::fromUtf16(u"确定");
    QString cancel = QString::fromUtf16(u"取消");
    QString yes = QString::fromUtf16(u"是");
    QString no = QString::fromUtf16(u"否");
};

// Shows the box modally over parent (null: the active window) and returns the answer. The box is named
// "tk_message_box" so that a host or a test can find it while it is open.
int MessageBox(QWidget* parent, const QString& text, const QString& caption, unsigned flags,
               const TMsgBoxButtons& buttons = TMsgBoxButtons());
