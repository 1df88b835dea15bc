// Default grid dialogs: the filter over a column's distinct values and the extended filter of one column.
#include "host/zem_host_grid.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>
#include <algorithm>

#include "controls/grid/Mg.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"
#include "util/lang_map.h"

namespace {

QString Cap(const char16_t* caption) { return QString::fromUtf16(Lang_Cap(map_wchar(u"grid"), caption)); }

struct Value_Count {
  QString value;
  int count = 0;
  bool shown = false;  // held by a row the grid shows now
};

// The distinct texts of a column over the data rows, in text order, with how often each occurs.
QList<Value_Count> Distinct_Values(TMG* grid, int col) {
  QHash<QString, int> index;
  QList<Value_Count> values;
  for (int r = grid->FixedRows(); r < grid->RowCount(); ++r) {
    const QString v = grid->CellView(col, r).toString();
    auto it = index.find(v);
    if (it == index.end()) {
      it = index.insert(v, int(values.size()));
      values.append({v, 0, false});
    }
    Value_Count& vc = values[*it];
    ++vc.count;
    vc.shown |= grid->RowHeights(r) != 0;
  }
  std::sort(values.begin(), values.end(), [](const Value_Count& a, const Value_Count& b) { return a.value < b.value; });
  return values;
}

QString Item_Text(const Value_Count& v) {
  return (v.value.isEmpty() ? Cap(u"（空）") : v.value) + QStringLiteral("  (%1)").arg(v.count);
}

QString Column_Caption(TMG* grid, int col) {
  const QString caption = grid->Cells(col, 0).trimmed();
  return caption.isEmpty() ? TMG::Wide(grid->GetColName(col)) : caption;
}

QDialogButtonBox* Ok_Cancel(QDialog* dialog) {
  auto* buttons = new QDialogButtonBox(dialog);
  buttons->addButton(Cap(u"确定"), QDialogButtonBox::AcceptRole)->setObjectName(QStringLiteral("ok"));
  buttons->addButton(Cap(u"取消"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancel"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

// Shows exactly the data rows whose text in col is one of keep.
void Show_Rows(TMG* grid, int col, const QSet<QString>& keep) {
  const int def = grid->DefaultRowHeight();
  grid->BeginUpdate();
  for (int r = grid->FixedRows(); r < grid->RowCount(); ++r) {
    const bool show = keep.contains(grid->CellView(col, r).toString());
    const int h = grid->RowHeights(r);
    if (show && h == 0) grid->SetRowHeights(r, def);
    else if (!show && h != 0) grid->SetRowHeights(r, 0);
  }
  grid->EndUpdate();
  if (grid->Show_Row_Id_Mode()) grid->Show_Row_Id();
}

}  // namespace

int Zem_Host_Grid_Filter(TMG* grid) {
  if (!grid || grid->ColCount() <= grid->FixedCols()) return 0;
  QDialog dialog(QApplication::activeWindow());
  dialog.setObjectName(QStringLiteral("zem_host_grid_filter"));
  dialog.setWindowTitle(Cap(u"过滤数据"));
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel(Cap(u"列"), &dialog));
  auto* columns = new QComboBox(&dialog);
  columns->setObjectName(QStringLiteral("columns"));
  layout->addWidget(columns);
  layout->addWidget(new QLabel(Cap(u"值"), &dialog));
  auto* list = new QListWidget(&dialog);
  list->setObjectName(QStringLiteral("values"));
  layout->addWidget(list);
  // The column the menu was opened on (a right click leaves the current cell where it was), else the
  // current one.
  const int at = grid->Click_Col >= grid->FixedCols() && grid->Click_Col < grid->ColCount() &&
                         grid->ColWidths(grid->Click_Col) != 0
                     ? grid->Click_Col
                     : grid->Col();
  for (int c = grid->FixedCols(); c < grid->ColCount(); ++c) {
    if (grid->ColWidths(c) == 0) continue;
    columns->addItem(Column_Caption(grid, c), c);
    if (c == at) columns->setCurrentIndex(columns->count() - 1);
  }
  auto fill = [grid, columns, list] {
    list->clear();
    for (const Value_Count& v : Distinct_Values(grid, columns->currentData().toInt())) {
      auto* item = new QListWidgetItem(Item_Text(v), list);
      item->setData(Qt::UserRole, v.value);
    }
    list->setCurrentRow(0);
  };
  fill();
  QObject::connect(columns, &QComboBox::currentIndexChanged, &dialog, fill);
  QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
  auto* buttons = Ok_Cancel(&dialog);
  QPushButton* all = buttons->addButton(Cap(u"全部显示"), QDialogButtonBox::ResetRole);
  all->setObjectName(QStringLiteral("show_all"));
  bool showAll = false;
  QObject::connect(all, &QPushButton::clicked, &dialog, [&dialog, &showAll] {
    showAll = true;
    dialog.accept();
  });
  layout->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted) return 0;
  if (showAll) {
    grid->Filter_Show_All();
  } else {
    QListWidgetItem* chosen = list->currentItem();
    if (!chosen) return 0;
    grid->Filter(columns->currentData().toInt(), map_wchar(chosen->data(Qt::UserRole).toString()));
  }
  grid->Sync_Sum();
  return 1;
}

int Zem_Host_Grid_Filter_Ext(TMG* grid, const char* col_name) {
  int col = 0;
  if (!grid || !col_name || !grid->GetColId(col_name, &col)) return 0;
  QDialog dialog(QApplication::activeWindow());
  dialog.setObjectName(QStringLiteral("zem_host_grid_filter_ext"));
  dialog.setWindowTitle(Cap(u"过滤数据") + QStringLiteral("：") + Column_Caption(grid, col));
  auto* layout = new QVBoxLayout(&dialog);
  auto* contains = new QLineEdit(&dialog);
  contains->setObjectName(QStringLiteral("contains"));
  contains->setPlaceholderText(Cap(u"包含"));
  layout->addWidget(contains);
  auto* list = new QListWidget(&dialog);
  list->setObjectName(QStringLiteral("values"));
  layout->addWidget(list);
  for (const Value_Count& v : Distinct_Values(grid, col)) {
    auto* item = new QListWidgetItem(Item_Text(v), list);
    item->setData(Qt::UserRole, v.value);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(v.shown ? Qt::Checked : Qt::Unchecked);
  }
  // The text narrows the list; the ticks of the values it hides are kept while it changes, but what
  // the list shows when OK is pressed is what the grid shows: ticked values the text leaves listed.
  QObject::connect(contains, &QLineEdit::textChanged, &dialog, [list](const QString& t) {
    for (int i = 0; i < list->count(); ++i)
      list->item(i)->setHidden(!list->item(i)->data(Qt::UserRole).toString().contains(t));
  });
  auto tickListed = [list](Qt::CheckState s) {
    for (int i = 0; i < list->count(); ++i)
      if (!list->item(i)->isHidden()) list->item(i)->setCheckState(s);
  };
  auto* buttons = Ok_Cancel(&dialog);
  QPushButton* all = buttons->addButton(Cap(u"全选"), QDialogButtonBox::ActionRole);
  all->setObjectName(QStringLiteral("tick_all"));
  QPushButton* none = buttons->addButton(Cap(u"全不选"), QDialogButtonBox::ActionRole);
  none->setObjectName(QStringLiteral("tick_none"));
  QObject::connect(all, &QPushButton::clicked, &dialog, [tickListed] { tickListed(Qt::Checked); });
  QObject::connect(none, &QPushButton::clicked, &dialog, [tickListed] { tickListed(Qt::Unchecked); });
  layout->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted) return 0;
  QSet<QString> keep;
  for (int i = 0; i < list->count(); ++i)
    if (!list->item(i)->isHidden() && list->item(i)->checkState() == Qt::Checked)
      keep.insert(list->item(i)->data(Qt::UserRole).toString());
  Show_Rows(grid, col, keep);
  grid->Sync_Sum();
  return 1;
}

int Zem_Host_Register_Grid() {
  Pdu_Grid_Filter_Fn filter = Zem_Host_Grid_Filter;
  Pdu_Grid_Filter_Ext_Fn filter_ext = Zem_Host_Grid_Filter_Ext;
  return Zem_Reg_Shared_Ptr(kPdu_Grid_Filter, reinterpret_cast<void*>(filter)) +
         Zem_Reg_Shared_Ptr(kPdu_Grid_Filter_Ext, reinterpret_cast<void*>(filter_ext));
}
