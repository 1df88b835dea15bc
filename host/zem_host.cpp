// Default host functions as Qt dialogs.
#include "host/zem_host.h"
#include "host/grid_menu_host.h"
#include "host/zem_host_tree.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QInputDialog>
#include <QMenu>
#include <QSettings>
#include <cstring>
#include <string>

#include "core/text/code_page.h"
#include "frame/pub_ptr.h"
#include "host/zem_host_grid.h"
#include "host/code_dialogs.h"
#include "host/combo_host.h"
#include "host/save_conflict_dialog.h"
#include "host/wait_box.h"
#include "toolkit/tk_menu.h"
#include "toolkit/tk_system.h"
#include "util/lang_map.h"

namespace {

QString From_Gbk(const char* s) {
  if (!s || !*s) return QString();
  const int n = static_cast<int>(std::strlen(s));
  std::u16string w(static_cast<size_t>(n), u'\0');
  const int m = Zem_MB_To_W(ZEM_CP_GBK, s, n, &w[0], n);
  return QString::fromUtf16(w.data(), m);
}

std::string To_Gbk(const QString& s) {
  if (s.isEmpty()) return std::string();
  const std::u16string w = s.toStdU16String();
  const int n = Zem_W_To_MB(ZEM_CP_GBK, w.data(), static_cast<int>(w.size()), nullptr, 0);
  std::string out(static_cast<size_t>(n), '\0');
  Zem_W_To_MB(ZEM_CP_GBK, w.data(), static_cast<int>(w.size()), &out[0], n);
  return out;
}

// The input box both text forms share; true with *text when confirmed.
bool Ask_Text(const QString& prompt, const QString& title, QString* text, int max_len) {
  QInputDialog dialog(QApplication::activeWindow());
  dialog.setWindowTitle(title.isEmpty() ? QApplication::applicationDisplayName() : title);
  dialog.setLabelText(prompt);
  dialog.setTextValue(*text);
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setObjectName(QStringLiteral("zem_host_input_box"));
  // Chinese buttons, through the caption map as every fixed caption of the package.
  dialog.setOkButtonText(QString::fromUtf16(Lang_Cap(map_wchar(u"dialog"), u"确定")));
  dialog.setCancelButtonText(QString::fromUtf16(Lang_Cap(map_wchar(u"dialog"), u"取消")));
  if (dialog.exec() != QDialog::Accepted) return false;
  *text = dialog.textValue().left(max_len);
  return true;
}

}  // namespace

int Zem_Host_Inp_Str_W(const char16_t* prompt, char16_t* buffer, int max_len, const char16_t* title) {
  if (!buffer || max_len < 0) return 0;
  QString text = QString::fromUtf16(buffer).left(max_len);
  if (!Ask_Text(prompt ? QString::fromUtf16(prompt) : QString(),
                title ? QString::fromUtf16(title) : QString(), &text, max_len))
    return 0;  // cancelled: the buffer stays as it was
  const std::u16string w = text.toStdU16String();
  std::memcpy(buffer, w.c_str(), (w.size() + 1) * sizeof(char16_t));
  return 1;
}

int Zem_Host_Inp_Str(const char* prompt, char* buffer, int max_len, const char* title) {
  if (!buffer || max_len < 0) return 0;
  QString text = From_Gbk(buffer);
  if (!Ask_Text(From_Gbk(prompt), From_Gbk(title), &text, max_len)) return 0;
  // max_len counts bytes of the narrow buffer: drop whole characters until the GBK text fits.
  std::string narrow = To_Gbk(text);
  while (static_cast<int>(narrow.size()) > max_len && !text.isEmpty()) {
    text.chop(1);
    narrow = To_Gbk(text);
  }
  std::memcpy(buffer, narrow.c_str(), narrow.size() + 1);
  return 1;
}

int Zem_Host_Init_Menu_Font(TPopupMenu* menu) {
  if (!menu) return 0;
  // A menu not shown yet has no QMenu, and the one made later takes the application's menu font.
  if (QMenu* made = menu->Items()->menu()) made->setFont(QApplication::font("QMenu"));
  return 1;
}

const char* Zem_Host_User_Para_Get(const char* key) {
  static std::string value;  // valid until the next call, as the callers expect
  if (!key) return nullptr;
  QSettings settings(QStringLiteral("zem_pack"), QCoreApplication::applicationName());
  const QString k = QStringLiteral("user/") + From_Gbk(key);
  if (!settings.contains(k)) return nullptr;
  value = To_Gbk(settings.value(k).toString());
  return value.c_str();
}

int Zem_Host_User_Para_Save(const char* key, const char* value, int /*flag*/) {
  if (!key) return 0;
  QSettings settings(QStringLiteral("zem_pack"), QCoreApplication::applicationName());
  settings.setValue(QStringLiteral("user/") + From_Gbk(key), From_Gbk(value));
  return 1;
}

long long Zem_Host_Memory_Usage() {
  QFile statm(QStringLiteral("/proc/self/statm"));
  if (!statm.open(QIODevice::ReadOnly)) return 0;
  const QList<QByteArray> fields = statm.readAll().split(' ');
  if (fields.size() < 2) return 0;
  return fields[1].toLongLong() * 4096;
}

int Zem_Host_Register_Defaults() {
  Gui_Inp_Str_Fn inp = Zem_Host_Inp_Str;
  Gui_Inp_Str_W_Fn inp_w = Zem_Host_Inp_Str_W;
  Gui_Init_Menu_Font_Fn menu_font = Zem_Host_Init_Menu_Font;
  Mup_Gui_User_Para_Get_Fn para_get = Zem_Host_User_Para_Get;
  Mup_Gui_User_Para_Save_Fn para_save = Zem_Host_User_Para_Save;
  Gui_Get_Memory_Usage_Fn memory = Zem_Host_Memory_Usage;
  const struct {
    const char* name;
    void* fn;
  } defaults[] = {
      {kGui_Inp_Str, reinterpret_cast<void*>(inp)},
      {kGui_Inp_Str_W, reinterpret_cast<void*>(inp_w)},
      {kGui_Init_Menu_Font, reinterpret_cast<void*>(menu_font)},
      {kMup_Gui_User_Para_Get, reinterpret_cast<void*>(para_get)},
      {kMup_Gui_User_Para_Save, reinterpret_cast<void*>(para_save)},
      {kGui_Get_Memory_Usage, reinterpret_cast<void*>(memory)},
  };
  int n = 0;
  for (const auto& d : defaults) n += Zem_Reg_Shared_Ptr(d.name, d.fn);
  n += Zem_Host_Register_Grid();
  n += Zem_Host_Register_Tree();
  n += Zem_Host_Register_Calendar();
  n += Zem_Host_Register_Code_Dialogs();
  n += Zem_Host_Register_Grid_Menu();
  n += Zem_Host_Register_Combo();
  n += Zem_Host_Register_Save_Conflict();
  n += Zem_Host_Register_Wait();
  // The host's dialogs, and the application's own, hand the keyboard back when they close.
  ReturnFocusAfterDialogs();
  return n;
}
