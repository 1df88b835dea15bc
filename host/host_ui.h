// Pieces the host module's grid and message dialogs share: captions through the caption language map,
// message boxes whose buttons follow it, Qt's own texts in Chinese, the dialogs' parent window, the
// grid that has the keyboard focus, and the user-settings store.
#pragma once

#include <QLocale>
#include <QMessageBox>
#include <QString>
#include <memory>

class QDialog;
class QDialogButtonBox;
class QSettings;
class QWidget;
class TMG;

// The caption through the caption language map with the context ("grid", "sms", "dialog").
QString Host_Cap(const char16_t* context, const char16_t* caption);
// The locale the dialogs are made in: Chinese (China), for month names, digits and dates.
inline QLocale Host_Locale() { return QLocale(QLocale::Chinese, QLocale::China); }

// A message box with one button "确定" (through the caption map); named "zem_host_message".
void Host_Tell(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text);
// A question with the buttons "是" and "否"; true for "是".
bool Host_Ask(QWidget* parent, const QString& title, const QString& text);
// A button box with an accepting and a rejecting button (objects "ok" and "cancel") wired to the
// dialog's accept and reject. An empty reject caption leaves that button out.
QDialogButtonBox* Host_Buttons(QDialog* dialog, const QString& accept, const QString& reject);
// The window a dialog about w opens over: w's window, else the active window (may be null).
QWidget* Host_Parent(QWidget* w);

// Loads Qt's own translations (file dialogs, the edit fields' context menus, standard buttons) in
// Chinese, once per process, when a QCoreApplication exists and the caption map leaves the dialog
// captions in Chinese (a map that translates them into another language keeps Qt's English). True when
// the Chinese texts are in use.
bool Host_Use_Chinese_Qt_Texts();

// The grid that holds the keyboard focus, itself or through its cell editor; a sum grid stands for its
// data grid. Null when the focus is elsewhere.
TMG* Host_Focused_Grid();

// The host module's store in the user's settings: the same file as the user preferences
// ("Mup_Gui_User_Para_*"), organisation "zem_pack", application the program's name.
std::unique_ptr<QSettings> Host_Settings();

// The caption a user knows a grid column by: its header text in the last header row (else row 0), else
// its name.
QString Host_Col_Caption(TMG* grid, int col);
