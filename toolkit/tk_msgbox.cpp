#include "toolkit/tk_msgbox.h"
#include "toolkit/tk_system.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

int MessageBox(QWidget* parent, const QString& text, const QString& caption, unsigned flags,
               const TMsgBoxButtons& buttons) {
    ReturnFocusAfterDialogs();  // the keyboard goes back to where it was when the box closes
    QMessageBox box(parent ? parent : QApplication::activeWindow());
    box.setObjectName(QStringLiteral("tk_message_box"));
    box.setWindowTitle(caption);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    switch (flags & 0xF0) {
        case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
        case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
        case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
        case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
        default: box.setIcon(QMessageBox::NoIcon); break;
    }
    struct Choice {
        QPushButton* button;
        int answer;
    };
    std::vector<Choice> choices;
    auto add = [&](const QString& text, QMessageBox::ButtonRole role, int answer) {
        choices.push_back({box.addButton(text, role), answer});
    };
    int escape = IDOK;
    switch (flags & 0x0F) {
        case MB_OKCANCEL:
            add(buttons.ok, QMessageBox::AcceptRole, IDOK);
            add(buttons.cancel, QMessageBox::RejectRole, IDCANCEL);
            escape = IDCANCEL;
            break;
        case MB_YESNOCANCEL:
            add(buttons.yes, QMessageBox::YesRole, IDYES);
            add(buttons.no, QMessageBox::NoRole, IDNO);
            add(buttons.cancel, QMessageBox::RejectRole, IDCANCEL);
            escape = IDCANCEL;
            break;
        case MB_YESNO:
            add(buttons.yes, QMessageBox::YesRole, IDYES);
            add(buttons.no, QMessageBox::NoRole, IDNO);
            escape = IDNO;
            break;
        default:
            add(buttons.ok, QMessageBox::AcceptRole, IDOK);
            break;
    }
    for (const Choice& c : choices)
        if (c.answer == escape) box.setEscapeButton(c.button);
    box.setDefaultButton(choices.front().button);
    box.exec();
    for (const Choice& c : choices)
        if (box.clickedButton() == c.button) return c.answer;
    return escape;  // closed without a button
}
