// The save conflict dialog.
#include "host/save_conflict_dialog.h"

#include <QApplication>
#include <algorithm>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/data/save_changes.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"
#include "host/host_ui.h"

namespace {

QString Shown(const std::u16string& v, bool null) {
  return null ? Host_Cap(u"dialog", u"（空）") : QString::fromStdU16String(v);
}

}  // namespace

int Zem_Host_Save_Conflict(TSave_Conflict* k) {
  if (!k) return TSave_Conflict::CANCEL;
  QDialog dialog(Host_Parent(nullptr));
  dialog.setObjectName(QStringLiteral("zem_host_save_conflict"));
  dialog.setWindowTitle(Host_Cap(u"dialog", u"保存冲突"));
  dialog.setLocale(Host_Locale());
  auto* layout = new QVBoxLayout(&dialog);
  // The rows named in the clerk's words (the table's name means nothing to a clerk), then the key.
  const QString row = QString::fromStdU16String(k->row);
  const QString what = k->caption.empty() ? Host_Cap(u"dialog", u"记录") : QString::fromStdU16String(k->caption);
  const char16_t* text = k->kind == TSave_Conflict::GONE ? u"%1（%2）在您读取之后已被他人删除。"
                         : k->kind == TSave_Conflict::DELETE_CHANGED
                             ? u"您删除的%1（%2）在您读取之后已被他人修改。"
                             : u"%1（%2）在您读取之后已被他人修改。请选择要保留的内容：";
  auto* label = new QLabel(Host_Cap(u"dialog", text).arg(what, row), &dialog);
  label->setObjectName(QStringLiteral("what"));
  label->setWordWrap(true);
  layout->addWidget(label);

  const bool merge = k->kind == TSave_Conflict::CHANGED;
  auto* grid = new QTableWidget(static_cast<int>(k->fields.size()), merge ? 5 : 4, &dialog);
  grid->setObjectName(QStringLiteral("fields"));
  QStringList heads = {Host_Cap(u"dialog", u"字段"), Host_Cap(u"dialog", u"读取时"), Host_Cap(u"dialog", u"我的"),
                       Host_Cap(u"dialog", u"他人的")};
  if (merge) heads << Host_Cap(u"dialog", u"采用他人的");
  grid->setHorizontalHeaderLabels(heads);
  grid->verticalHeader()->hide();
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setSelectionMode(QAbstractItemView::NoSelection);
  std::vector<QCheckBox*> ticks;
  for (int i = 0; i < static_cast<int>(k->fields.size()); i++) {
    const TSave_Conflict_Field& f = k->fields[static_cast<size_t>(i)];
    const QString cells[4] = {QString::fromStdU16String(f.caption), Shown(f.orig, f.orig_null), Shown(f.mine, f.mine_null),
                              Shown(f.theirs, f.theirs_null)};
    // Both sides changed it: red; one side: a pale tint on that side's value.
    const bool both = f.mine_changed && f.theirs_changed;
    for (int c = 0; c < 4; c++) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (both && c >= 2) item->setForeground(QColor(0xC0, 0, 0));
      if ((c == 2 && f.mine_changed) || (c == 3 && f.theirs_changed)) item->setBackground(QColor(0xFF, 0xF4, 0xC8));
      grid->setItem(i, c, item);
    }
    if (merge) {
      auto* tick = new QCheckBox(grid);
      tick->setObjectName(QStringLiteral("take_%1").arg(QString::fromStdU16String(f.name)));
      tick->setChecked(f.take_theirs);
      tick->setEnabled(f.mine_changed || f.theirs_changed);
      grid->setCellWidget(i, 4, tick);
      ticks.push_back(tick);
    }
  }
  grid->resizeColumnsToContents();
  grid->horizontalHeader()->setStretchLastSection(true);
  grid->setMinimumWidth(std::min(900, grid->horizontalHeader()->length() + 40));
  // Every column in sight where the screen allows, the first one that changed at least.
  int height = grid->horizontalHeader()->height() + 2 * grid->frameWidth();
  for (int i = 0; i < grid->rowCount(); i++) height += grid->rowHeight(i);
  grid->setMinimumHeight(std::min(height, 520));
  for (int i = 0; i < static_cast<int>(k->fields.size()); i++)
    if (k->fields[static_cast<size_t>(i)].mine_changed || k->fields[static_cast<size_t>(i)].theirs_changed) {
      grid->scrollToItem(grid->item(i, 0));
      break;
    }
  layout->addWidget(grid);

  auto* buttons = new QDialogButtonBox(&dialog);
  int choice = TSave_Conflict::CANCEL;
  auto add = [&](const char16_t* caption, const char* name, int answer) {
    QPushButton* b = buttons->addButton(Host_Cap(u"dialog", caption), QDialogButtonBox::ActionRole);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    QObject::connect(b, &QPushButton::clicked, &dialog, [&dialog, &choice, answer] {
      choice = answer;
      dialog.accept();
    });
    return b;
  };
  add(u"保留我的", "keepMine", TSave_Conflict::KEEP_MINE);
  add(u"采用他人的", "takeTheirs", TSave_Conflict::TAKE_THEIRS);
  if (merge) add(u"按列合并", "merge", TSave_Conflict::MERGE)->setDefault(true);
  buttons->addButton(Host_Cap(u"dialog", u"取消"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancel"));
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);

  if (dialog.exec() != QDialog::Accepted) return TSave_Conflict::CANCEL;
  if (choice == TSave_Conflict::MERGE)
    for (size_t i = 0; i < ticks.size(); i++) k->fields[i].take_theirs = ticks[i]->isChecked();
  return choice;
}

int Zem_Host_Register_Save_Conflict() {
  Pdu_Save_Conflict_Fn fn = Zem_Host_Save_Conflict;
  return Zem_Reg_Shared_Ptr(kPdu_Save_Conflict, reinterpret_cast<void*>(fn));
}
