// The voucher form's filter bar.
#include "demo/demo_voucher_filter.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QPushButton>

#include "controls/combo/Combobox_ext.h"
#include "toolkit/tk_tree.h"
#include "core/text/map_str.h"
#include "demo/demo_window.h"

namespace {
// A longer supplier list than this goes to the server as a temporary key set.
constexpr int kLimit_Max = 1000;
}  // namespace

VoucherFilter::VoucherFilter(DemoWindow* window) : QObject(window), window_(window) {
  QWidget* box =
      window->window() ? window->window()->findChild<QWidget*>(QStringLiteral("voucherBox")) : nullptr;
  auto* layout = box ? qobject_cast<QBoxLayout*>(box->layout()) : nullptr;
  if (!layout) return;
  auto* bar = new QWidget(box);
  bar->setObjectName(QStringLiteral("voucherFilter"));
  bar->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);  // one line; the grid takes the height
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(0, 0, 0, 4);
  auto* deptLabel = new QLabel(QString::fromUtf16(u"部门"), bar);
  row->addWidget(deptLabel);
  dept_ = new TComboBox_Ext(bar);
  deptLabel->setBuddy(dept_);
  dept_->setObjectName(QStringLiteral("deptFilter"));
  dept_->setMinimumWidth(170);
  row->addWidget(dept_);
  row->addSpacing(12);
  auto* supLabel = new QLabel(QString::fromUtf16(u"供应商"), bar);
  row->addWidget(supLabel);
  sup_ = new TComboBox_Ext(bar);
  supLabel->setBuddy(sup_);
  sup_->setObjectName(QStringLiteral("supFilter"));
  sup_->setMinimumWidth(320);
  row->addWidget(sup_);
  auto* all = new QPushButton(QString::fromUtf16(u"全部"), bar);
  all->setObjectName(QStringLiteral("filterAll"));
  row->addWidget(all);
  shown_ = new QLabel(bar);
  shown_->setObjectName(QStringLiteral("filterShown"));
  // A long condition is cut at the window's edge (its tooltip shows it whole) rather than widening it.
  shown_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  row->addWidget(shown_, 1);
  layout->insertWidget(0, bar);

  // The handlers are the host's: assigned before the attach, the boxes keep and call them after each
  // accepted choice.
  dept_->OnChange = [this](TObject*) { apply(); };
  sup_->OnChange = [this](TObject*) { apply(); };
  dept_->Search_Attach("dept", 0);
  sup_->SetHint(QString::fromUtf16(u"供应商"));
  sup_->Multi_Attach("sup", 0);
  connect(all, &QPushButton::clicked, this, [this] {
    dept_->Set_Default_Code("");
    sup_->Set_Default_Code("");
    // The whole company: the department tree's top node, which filters nothing.
    auto* tree = window_->window()->findChild<TTreeView*>(QStringLiteral("deptTree"));
    if (tree) tree->SetSelected(tree->Items()->GetFirstNode());
    apply();
  });
  // The department tree refills the grid too: the count follows every fill.
  connect(window_, &DemoWindow::vouchersFilled, this, &VoucherFilter::showCount);
  apply();
}

void VoucherFilter::apply() {
  QStringList parts;
  if (dept_ && dept_->Have_Choice())
    parts << QStringLiteral("dept_code") +
                 QString::fromUtf16(map_wchar(dept_->Build_Limit(kLimit_Max)).c_str());
  if (sup_ && sup_->Have_Choice())
    parts << QStringLiteral("sup_code ") +
                 QString::fromUtf16(map_wchar(sup_->Build_Limit(kLimit_Max)).c_str());
  condition_ = parts.join(QStringLiteral(" and ")).trimmed();
  window_->setVoucherCondition(condition_);
}

void VoucherFilter::showCount(int rows) {
  if (!shown_) return;
  const QString count = QString::fromUtf16(u"（%1 张）").arg(rows < 0 ? 0 : rows);
  // The choice in the clerk's words (the names the boxes show), not the SQL behind it.
  QStringList words;
  if (dept_ && dept_->Have_Choice()) words << QString::fromUtf16(u"部门：") + dept_->Text().trimmed();
  if (sup_ && sup_->Have_Choice()) words << QString::fromUtf16(u"供应商：") + sup_->Text().trimmed();
  const QString choice = words.join(QString::fromUtf16(u"；"));
  if (!condition_.isEmpty())
    shown_->setText(QString::fromUtf16(u"条件：") + choice + count);
  else
    shown_->setText(QString::fromUtf16(window_->lastWhere().isEmpty() ? u"全部凭证" : u"所选部门的凭证") +
                    count);
  shown_->setToolTip(choice);
}
