// CodeChooseDialog: search line, list and buttons.
#include "host/code_choose_dialog.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTableView>
#include <QVBoxLayout>

#include "util/lang_map.h"

namespace {

QString Cap(const char16_t* caption) { return QString::fromUtf16(Lang_Cap(map_wchar(u"host"), caption)); }

}  // namespace

// The rows the search found, read straight from the search's result (no copy per keystroke).
class CodeChooseDialog::Model : public QAbstractTableModel {
 public:
  Model(CodeChooseDialog* dialog, CodeSearch* search)
      : QAbstractTableModel(dialog), dialog_(dialog), search_(search) {}

  void setRows(const std::vector<int>* rows) {
    beginResetModel();
    rows_ = rows;
    endResetModel();
  }
  int entryAt(int row) const {
    return rows_ && row >= 0 && row < static_cast<int>(rows_->size()) ? (*rows_)[static_cast<size_t>(row)]
                                                                      : -1;
  }
  void setChecked(const QSet<QString>* checked) { checked_ = checked; }
  void rowsChanged() {
    if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
  }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() || !rows_ ? 0 : static_cast<int>(rows_->size());
  }
  int columnCount(const QModelIndex& parent = QModelIndex()) const override {
    return parent.isValid() ? 0 : 2;
  }
  QVariant data(const QModelIndex& index, int role) const override {
    const int e = entryAt(index.row());
    if (e < 0) return QVariant();
    const CodeSearch::Entry& entry = search_->entry(e);
    if (role == Qt::DisplayRole) return index.column() == 0 ? entry.code : entry.name;
    if (role == Qt::CheckStateRole && checked_ && index.column() == 0)
      return checked_->contains(entry.code) ? Qt::Checked : Qt::Unchecked;
    return QVariant();
  }
  bool setData(const QModelIndex& index, const QVariant&, int role) override {
    if (role != Qt::CheckStateRole || !checked_ || index.column() != 0) return false;
    dialog_->toggle(index.row());
    return true;
  }
  Qt::ItemFlags flags(const QModelIndex& index) const override {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (checked_ && index.column() == 0) f |= Qt::ItemIsUserCheckable;
    return f;
  }
  QVariant headerData(int section, Qt::Orientation o, int role) const override {
    if (o != Qt::Horizontal || role != Qt::DisplayRole) return QVariant();
    return section == 0 ? Cap(u"编码") : Cap(u"名称");
  }

 private:
  CodeChooseDialog* dialog_;
  CodeSearch* search_;
  const std::vector<int>* rows_ = nullptr;
  const QSet<QString>* checked_ = nullptr;
};

CodeChooseDialog::CodeChooseDialog(Mode mode, std::shared_ptr<CodeSearch> search, const QString& title,
                                   QWidget* parent)
    : QDialog(parent), mode_(mode), search_(search ? std::move(search) : std::make_shared<CodeSearch>()) {
  setObjectName(QStringLiteral("zem_code_choose"));
  setWindowTitle(title);
  resize(520, 540);
  auto* layout = new QVBoxLayout(this);
  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("zem_code_search"));
  edit_->setPlaceholderText(Cap(u"编码、名称或拼音首字母"));
  edit_->setClearButtonEnabled(true);
  edit_->installEventFilter(this);
  layout->addWidget(edit_);

  model_ = new Model(this, search_.get());
  if (mode_ == Multi) model_->setChecked(&checked_);
  view_ = new QTableView(this);
  view_->setObjectName(QStringLiteral("zem_code_list"));
  view_->setModel(model_);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setAlternatingRowColors(true);
  view_->setWordWrap(false);
  view_->verticalHeader()->hide();
  // Fixed row heights keep a list of a hundred thousand rows as quick as a short one.
  view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
  view_->horizontalHeader()->setStretchLastSection(true);
  view_->setColumnWidth(0, 140);
  layout->addWidget(view_, 1);

  auto* bottom = new QHBoxLayout();
  if (mode_ == Multi) {
    auto* all = new QPushButton(Cap(u"全选"), this);
    all->setObjectName(QStringLiteral("zem_code_all"));
    auto* none = new QPushButton(Cap(u"全不选"), this);
    none->setObjectName(QStringLiteral("zem_code_none"));
    connect(all, &QPushButton::clicked, this, [this] { chooseAllShown(true); });
    connect(none, &QPushButton::clicked, this, [this] { chooseAllShown(false); });
    bottom->addWidget(all);
    bottom->addWidget(none);
  }
  count_ = new QLabel(this);
  count_->setObjectName(QStringLiteral("zem_code_count"));
  bottom->addWidget(count_, 1);
  auto* buttons = new QDialogButtonBox(this);
  ok_ = buttons->addButton(Cap(u"确定"), QDialogButtonBox::AcceptRole);
  ok_->setObjectName(QStringLiteral("zem_code_ok"));
  buttons->addButton(Cap(u"取消"), QDialogButtonBox::RejectRole)
      ->setObjectName(QStringLiteral("zem_code_cancel"));
  ok_->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (mode_ == Multi || !chosenCode().isEmpty()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  bottom->addWidget(buttons);
  layout->addLayout(bottom);

  connect(edit_, &QLineEdit::textChanged, this, [this] { refilter(); });
  connect(view_, &QTableView::doubleClicked, this, [this](const QModelIndex& i) {
    if (mode_ == Multi) {
      if (i.column() != 0) toggle(i.row());  // a double click on the box itself has ticked it already
    } else {
      view_->setCurrentIndex(i);
      accept();
    }
  });
  refilter();
}

CodeChooseDialog::~CodeChooseDialog() = default;

int CodeChooseDialog::shownCount() const { return model_->rowCount(); }

void CodeChooseDialog::refilter() {
  model_->setRows(&search_->filter(edit_->text()));
  if (model_->rowCount() > 0) view_->setCurrentIndex(model_->index(0, 0));
  updateCount();
}

void CodeChooseDialog::setSearchText(const QString& text) {
  edit_->setText(text);
  refilter();
}

void CodeChooseDialog::setCurrentCode(const QString& code) {
  for (int r = 0; r < model_->rowCount(); ++r)
    if (search_->entry(model_->entryAt(r)).code == code) {
      view_->setCurrentIndex(model_->index(r, 0));
      view_->scrollTo(model_->index(r, 0));
      return;
    }
}

void CodeChooseDialog::setChosenCodes(const QStringList& codes) {
  order_.clear();
  checked_.clear();
  for (const QString& c : codes)
    if (!c.isEmpty() && !checked_.contains(c)) {
      order_ << c;
      checked_.insert(c);
    }
  model_->rowsChanged();
  updateCount();
}

QString CodeChooseDialog::chosenCode() const {
  int row = view_->currentIndex().isValid() ? view_->currentIndex().row() : -1;
  if (row < 0 && model_->rowCount() == 1) row = 0;
  const int e = model_->entryAt(row);
  return e < 0 ? QString() : search_->entry(e).code;
}

void CodeChooseDialog::toggle(int row) {
  const int e = model_->entryAt(row);
  if (e < 0 || mode_ != Multi) return;
  const QString& code = search_->entry(e).code;
  if (checked_.remove(code)) {
    order_.removeAll(code);
  } else {
    checked_.insert(code);
    order_ << code;
  }
  const QModelIndex i = model_->index(row, 0);
  emit model_->dataChanged(i, i, {Qt::CheckStateRole});
  updateCount();
}

void CodeChooseDialog::chooseAllShown(bool on) {
  if (mode_ != Multi) return;
  for (int r = 0; r < model_->rowCount(); ++r) {
    const QString& code = search_->entry(model_->entryAt(r)).code;
    if (!on) {
      checked_.remove(code);
    } else if (!checked_.contains(code)) {
      checked_.insert(code);
      order_ << code;
    }
  }
  if (!on) order_.removeIf([this](const QString& c) { return !checked_.contains(c); });
  model_->rowsChanged();
  updateCount();
}

void CodeChooseDialog::updateCount() {
  QString text = Cap(u"共") + QString::number(model_->rowCount()) + Cap(u"项");
  if (mode_ == Multi)
    text += QStringLiteral("  ") + Cap(u"已选") + QString::number(order_.size()) + Cap(u"项");
  count_->setText(text);
}

bool CodeChooseDialog::eventFilter(QObject* watched, QEvent* e) {
  if (watched == edit_ && e->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(e);
    switch (k->key()) {
      case Qt::Key_Up:
      case Qt::Key_Down:
      case Qt::Key_PageUp:
      case Qt::Key_PageDown:
        // The search line keeps the focus; the list moves.
        QCoreApplication::sendEvent(view_, e);
        return true;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        if (mode_ == Multi || !chosenCode().isEmpty()) accept();
        return true;
      default: break;
    }
  }
  return QDialog::eventFilter(watched, e);
}
