// Shared pieces of the host module's dialogs.
#include "host/host_ui.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLibraryInfo>
#include <QPushButton>
#include <QSettings>
#include <QTranslator>

#include "controls/grid/Mg.h"
#include "util/lang_map.h"

QString Host_Cap(const char16_t* context, const char16_t* caption) {
  return QString::fromUtf16(Lang_Cap(map_wchar(context), caption));
}

void Host_Tell(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
  QMessageBox box(icon, title, text, QMessageBox::NoButton, parent);
  box.setObjectName(QStringLiteral("zem_host_message"));
  box.setLocale(Host_Locale());
  box.addButton(Host_Cap(u"dialog", u"确定"), QMessageBox::AcceptRole)->setObjectName(QStringLiteral("ok"));
  box.exec();
}

bool Host_Ask(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
  box.setObjectName(QStringLiteral("zem_host_question"));
  box.setLocale(Host_Locale());
  QPushButton* yes = box.addButton(Host_Cap(u"dialog", u"是"), QMessageBox::YesRole);
  yes->setObjectName(QStringLiteral("yes"));
  box.addButton(Host_Cap(u"dialog", u"否"), QMessageBox::NoRole)->setObjectName(QStringLiteral("no"));
  box.setDefaultButton(yes);
  box.exec();
  return box.clickedButton() == yes;
}

QDialogButtonBox* Host_Buttons(QDialog* dialog, const QString& accept, const QString& reject) {
  auto* buttons = new QDialogButtonBox(dialog);
  QPushButton* ok = buttons->addButton(accept, QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("ok"));
  ok->setDefault(true);
  if (!reject.isEmpty())
    buttons->addButton(reject, QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancel"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

QWidget* Host_Parent(QWidget* w) { return w ? w->window() : QApplication::activeWindow(); }

bool Host_Use_Chinese_Qt_Texts() {
  static bool done = false, chinese = false;
  if (done || !QCoreApplication::instance()) return chinese;
  done = true;
  // A caption map that turns the dialog buttons into another language wants Qt's texts as they come.
  if (Host_Cap(u"dialog", u"取消") != QString::fromUtf16(u"取消")) return chinese;
  auto* qt = new QTranslator(QCoreApplication::instance());  // lives with the application
  if (!qt->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete qt;
    return chinese;
  }
  QCoreApplication::installTranslator(qt);
  chinese = true;
  return chinese;
}

TMG* Host_Focused_Grid() {
  for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
    if (auto* grid = qobject_cast<TMG*>(w)) return grid->Data_Mg() ? grid->Data_Mg() : grid;
  }
  return nullptr;
}

std::unique_ptr<QSettings> Host_Settings() {
  return std::make_unique<QSettings>(QStringLiteral("zem_pack"), QCoreApplication::applicationName());
}

QString Host_Col_Caption(TMG* grid, int col) {
  if (!grid || col < 0 || col >= grid->ColCount()) return QString();
  for (int r = grid->FixedRows() - 1; r >= 0; --r) {
    const QString text = grid->Cells(col, r).trimmed();
    if (!text.isEmpty()) return text;
  }
  return TMG::Wide(grid->GetColName(col));
}
