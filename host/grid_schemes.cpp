// Display schemes of a grid ("pdu_fmtgrid_load_list", "pdu_fmtgrid_f2g_handle"): named layouts of its
// columns kept in the user's settings, and the dialog that saves, shows, applies and deletes them.
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

#include "controls/grid/Mg.h"
#include "core/data/sqlca.h"
#include "host/grid_menu_host.h"
#include "host/host_ui.h"
#include "util/lang_map.h"

namespace {

QString Cap(const char16_t* caption) { return Host_Cap(u"grid", caption); }

QString Group(const QString& key) {
  return QStringLiteral("grid_schemes/") + QString::fromLatin1(QUrl::toPercentEncoding(key));
}

Zem_Grid_Scheme Read_Scheme(QSettings& s, const QString& id) {
  Zem_Grid_Scheme scheme;
  s.beginGroup(id);
  scheme.id = id;
  scheme.name = s.value(QStringLiteral("name")).toString();
  scheme.locked = s.value(QStringLiteral("locked"), -1).toInt();
  const int n = s.beginReadArray(QStringLiteral("columns"));
  for (int i = 0; i < n; ++i) {
    s.setArrayIndex(i);
    Zem_Grid_Scheme_Col c;
    c.name = s.value(QStringLiteral("name")).toString();
    c.width = s.value(QStringLiteral("width")).toInt();
    c.hidden = s.value(QStringLiteral("hidden")).toBool();
    if (!c.name.isEmpty()) scheme.cols.append(c);
  }
  s.endArray();
  s.endGroup();
  return scheme;
}

QString Narrow_Q(const char* s, size_t max) { return TMG::Wide(std::string(s, strnlen(s, max)).c_str()); }

}  // namespace

Zem_Grid_Scheme Zem_Host_Grid_Capture_Scheme(TMG* grid) {
  Zem_Grid_Scheme scheme;
  if (!grid) return scheme;
  scheme.locked = grid->FixedCols();
  for (int c = 1; c < grid->ColCount(); ++c) {
    const QString name = TMG::Wide(grid->GetColName(c));
    if (name.isEmpty()) continue;  // a column without a name cannot be found again
    const int w = grid->ColWidths(c);
    scheme.cols.append({name, w > 0 ? w : grid->GetColDef(c)->width, w == 0});
  }
  return scheme;
}

int Zem_Host_Grid_Apply_Scheme(TMG* grid, const Zem_Grid_Scheme& scheme) {
  if (!grid) return 0;
  grid->HideEditor();
  // Order first, each move as a user's drag of the column (records, cell colours and the sum grid
  // follow), then the widths.
  int pos = 1;
  for (const Zem_Grid_Scheme_Col& sc : scheme.cols) {
    int cur = 0;
    if (!grid->GetColId(TMG::Narrow(sc.name).c_str(), &cur) || cur < 1) continue;
    if (cur != pos) grid->MoveColumn(cur, pos);
    ++pos;
  }
  for (const Zem_Grid_Scheme_Col& sc : scheme.cols) {
    int c = 0;
    if (!grid->GetColId(TMG::Narrow(sc.name).c_str(), &c) || c < 1) continue;
    if (grid->GetColDef(c)->fixed_width >= 0) continue;  // a held column keeps its width
    grid->Show_Col(c, std::max(sc.width, 0));
    if (sc.hidden) grid->Hide_Col(c);
  }
  // Locked as the grid's own lock item does, so that its unlock later returns to the fixed columns the
  // grid had before any lock.
  if (scheme.locked > 0 && scheme.locked < grid->ColCount() && scheme.locked != grid->FixedCols()) {
    const int clicked = grid->Click_Col;
    grid->Click_Col = scheme.locked - 1;
    grid->Popu_Menu_Lock_Fixed_Col(grid);
    grid->Click_Col = clicked;
  } else if (scheme.locked == 0) {
    grid->SetFixedCols(0);
  }
  grid->Sync_Sum();
  grid->Invalidate();
  return 1;
}

QList<Zem_Grid_Scheme> Zem_Host_Grid_Schemes(const QString& key) {
  QList<Zem_Grid_Scheme> list;
  auto s = Host_Settings();
  s->beginGroup(Group(key));
  QStringList ids = s->childGroups();
  std::sort(ids.begin(), ids.end(), [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
  for (const QString& id : ids) list.append(Read_Scheme(*s, id));
  s->endGroup();
  return list;
}

QString Zem_Host_Grid_Save_Scheme(const QString& key, const Zem_Grid_Scheme& scheme) {
  QString id;
  for (const Zem_Grid_Scheme& old : Zem_Host_Grid_Schemes(key))
    if (old.name == scheme.name) id = old.id;
  auto s = Host_Settings();
  s->beginGroup(Group(key));
  if (id.isEmpty()) {
    const int next = std::max(1, s->value(QStringLiteral("next_id"), 1).toInt());
    id = QString::number(next);
    s->setValue(QStringLiteral("next_id"), next + 1);
  }
  s->remove(id);
  s->beginGroup(id);
  s->setValue(QStringLiteral("name"), scheme.name);
  s->setValue(QStringLiteral("locked"), scheme.locked);
  s->beginWriteArray(QStringLiteral("columns"), int(scheme.cols.size()));
  for (int i = 0; i < scheme.cols.size(); ++i) {
    s->setArrayIndex(i);
    s->setValue(QStringLiteral("name"), scheme.cols[i].name);
    s->setValue(QStringLiteral("width"), scheme.cols[i].width);
    s->setValue(QStringLiteral("hidden"), scheme.cols[i].hidden);
  }
  s->endArray();
  s->endGroup();
  s->endGroup();
  return id;
}

int Zem_Host_Grid_Delete_Scheme(const QString& key, const QString& id) {
  if (id.isEmpty()) return 0;
  auto s = Host_Settings();
  s->beginGroup(Group(key));
  const bool had = s->childGroups().contains(id);
  s->remove(id);
  s->endGroup();
  return had ? 1 : 0;
}

// ---- The host functions --------------------------------------------------------------------------------

int Zem_Host_Fmtgrid_Load_List(const char* key, TSQLCA* schemes) {
  if (!key || !schemes) return 0;
  schemes->CFree();
  schemes->Set_Field_Count(2);
  schemes->Set_Field_Name(0, u"id");
  schemes->Set_Field_Name(1, u"name");
  // The menu shows 20 entries: the last one always opens the dialog.
  const QList<Zem_Grid_Scheme> list = Zem_Host_Grid_Schemes(TMG::Wide(key));
  for (int i = 0; i < list.size() && i < 19; ++i) {
    schemes->Add_Row();
    schemes->Set_Value(0, reinterpret_cast<const wchar16*>(list[i].id.utf16()));
    schemes->Set_Value(1, reinterpret_cast<const wchar16*>(list[i].name.utf16()));
  }
  schemes->Add_Row();
  schemes->Set_Value(0, u"manage");
  schemes->Set_Value(1, Lang_Cap(u"grid", u"保存与管理…"));
  return schemes->Get_Row_Count();
}

int Zem_Host_Fmtgrid_F2g_Handle(Grid_Fmt_Desc* desc, TMG* grid, int) {
  if (!desc || !grid) return 0;
  const QString key = Narrow_Q(desc->key, sizeof desc->key);
  const QString id = Narrow_Q(desc->cur_id, sizeof desc->cur_id);
  if (id == QLatin1String(kZem_Grid_Scheme_Manage)) return Zem_Host_Grid_Scheme_Dialog(grid, key);
  for (const Zem_Grid_Scheme& s : Zem_Host_Grid_Schemes(key))
    if (s.id == id) return Zem_Host_Grid_Apply_Scheme(grid, s);
  Host_Tell(Host_Parent(grid), QMessageBox::Warning, Cap(u"显示方案"), Cap(u"这个显示方案已被删除。"));
  return 0;
}

Grid_Fmt_Desc* Zem_Host_Grid_Fmt_Desc(TMG* grid) {
  static std::map<TMG*, std::unique_ptr<Grid_Fmt_Desc>> descs;
  if (!grid) return nullptr;
  auto& d = descs[grid];
  if (!d) {
    d = std::make_unique<Grid_Fmt_Desc>();
    QString key = grid->window() && grid->window() != grid ? grid->window()->objectName() : QString();
    key += QLatin1Char('/') + (grid->objectName().isEmpty() ? QStringLiteral("grid") : grid->objectName());
    std::snprintf(d->key, sizeof d->key, "%s", TMG::Narrow(key).c_str());
    QObject::connect(grid, &QObject::destroyed, [grid] { descs.erase(grid); });
  }
  return d.get();
}

// ---- The dialog ----------------------------------------------------------------------------------------

int Zem_Host_Grid_Scheme_Dialog(TMG* grid, const QString& key) {
  if (!grid) return 0;
  QDialog dialog(Host_Parent(grid));
  dialog.setObjectName(QStringLiteral("zem_host_grid_schemes"));
  dialog.setLocale(Host_Locale());
  dialog.setWindowTitle(Cap(u"显示方案"));
  auto* layout = new QGridLayout(&dialog);
  layout->addWidget(new QLabel(Cap(u"已保存的方案"), &dialog), 0, 0);
  layout->addWidget(new QLabel(Cap(u"方案中的列（按顺序）"), &dialog), 0, 1);
  auto* schemes = new QListWidget(&dialog);
  schemes->setObjectName(QStringLiteral("schemes"));
  auto* columns = new QListWidget(&dialog);
  columns->setObjectName(QStringLiteral("columns"));
  columns->setSelectionMode(QAbstractItemView::NoSelection);
  layout->addWidget(schemes, 1, 0);
  layout->addWidget(columns, 1, 1);
  auto* save_row = new QHBoxLayout;
  save_row->addWidget(new QLabel(Cap(u"方案名称"), &dialog));
  auto* name = new QLineEdit(&dialog);
  name->setObjectName(QStringLiteral("name"));
  save_row->addWidget(name, 1);
  auto* save = new QPushButton(Cap(u"保存当前布局"), &dialog);
  save->setObjectName(QStringLiteral("save"));
  save_row->addWidget(save);
  layout->addLayout(save_row, 2, 0, 1, 2);
  auto* buttons = new QHBoxLayout;
  auto* apply = new QPushButton(Cap(u"应用"), &dialog);
  apply->setObjectName(QStringLiteral("apply"));
  auto* remove = new QPushButton(Cap(u"删除"), &dialog);
  remove->setObjectName(QStringLiteral("delete"));
  auto* close = new QPushButton(Cap(u"关闭"), &dialog);
  close->setObjectName(QStringLiteral("close"));
  buttons->addWidget(apply);
  buttons->addWidget(remove);
  buttons->addStretch(1);
  buttons->addWidget(close);
  layout->addLayout(buttons, 3, 0, 1, 2);
  for (QPushButton* b : {save, apply, remove, close}) b->setAutoDefault(false);

  QList<Zem_Grid_Scheme> list;
  auto current = [&]() -> const Zem_Grid_Scheme* {
    const int i = schemes->currentRow();
    return i >= 0 && i < list.size() ? &list[i] : nullptr;
  };
  auto reload = [&](const QString& select_id) {
    list = Zem_Host_Grid_Schemes(key);
    schemes->clear();
    for (const Zem_Grid_Scheme& s : list) {
      schemes->addItem(s.name);
      if (s.id == select_id) schemes->setCurrentRow(schemes->count() - 1);
    }
    if (schemes->currentRow() < 0 && schemes->count() > 0) schemes->setCurrentRow(0);
  };
  auto show_columns = [&] {
    columns->clear();
    const Zem_Grid_Scheme* s = current();
    apply->setEnabled(s != nullptr);
    remove->setEnabled(s != nullptr);
    if (!s) return;
    name->setText(s->name);
    for (const Zem_Grid_Scheme_Col& c : s->cols) {
      int id = 0;
      const QString caption = grid->GetColId(TMG::Narrow(c.name).c_str(), &id) ? Host_Col_Caption(grid, id) : c.name;
      columns->addItem(c.hidden ? Cap(u"%1（隐藏）").arg(caption) : Cap(u"%1  宽 %2").arg(caption).arg(c.width));
    }
    // Column 0 (the row marks) is always fixed: the locked count is of the data columns.
    if (s->locked > 1) columns->addItem(Cap(u"锁定前 %1 列").arg(s->locked - 1));
  };
  QObject::connect(schemes, &QListWidget::currentRowChanged, &dialog, show_columns);
  int applied = 0;
  auto apply_current = [&] {
    if (const Zem_Grid_Scheme* s = current()) {
      applied = Zem_Host_Grid_Apply_Scheme(grid, *s);
      dialog.accept();
    }
  };
  QObject::connect(apply, &QPushButton::clicked, &dialog, apply_current);
  QObject::connect(schemes, &QListWidget::itemDoubleClicked, &dialog, apply_current);
  QObject::connect(close, &QPushButton::clicked, &dialog, &QDialog::reject);
  QObject::connect(name, &QLineEdit::returnPressed, save, &QPushButton::click);
  QObject::connect(save, &QPushButton::clicked, &dialog, [&] {
    const QString n = name->text().trimmed();
    if (n.isEmpty()) {
      Host_Tell(&dialog, QMessageBox::Information, Cap(u"显示方案"), Cap(u"请先给方案起个名称。"));
      return;
    }
    for (const Zem_Grid_Scheme& s : list)
      if (s.name == n && !Host_Ask(&dialog, Cap(u"显示方案"), Cap(u"已有名为“%1”的方案，用当前布局替换它吗？").arg(n)))
        return;
    Zem_Grid_Scheme s = Zem_Host_Grid_Capture_Scheme(grid);
    s.name = n;
    reload(Zem_Host_Grid_Save_Scheme(key, s));
  });
  QObject::connect(remove, &QPushButton::clicked, &dialog, [&] {
    const Zem_Grid_Scheme* s = current();
    if (!s || !Host_Ask(&dialog, Cap(u"显示方案"), Cap(u"删除方案“%1”吗？").arg(s->name))) return;
    Zem_Host_Grid_Delete_Scheme(key, s->id);
    name->clear();
    reload(QString());
    show_columns();
  });
  reload(QString());
  show_columns();
  if (list.isEmpty()) name->setFocus();
  dialog.resize(520, 360);
  dialog.exec();
  return applied;
}
