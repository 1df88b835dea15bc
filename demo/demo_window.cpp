// The demo's main window.
#include "demo/demo_window.h"

#include <QAction>
#include <QDate>
#include <QEvent>
#include <QApplication>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QLinearGradient>
#include <QMainWindow>
#include <QPainter>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>
#include <QToolTip>
#include <vector>

#include "controls/common/dict_watch.h"
#include "controls/grid/Mg.h"
#include "controls/inputs/Mstatusbar.h"
#include "core/data/db_connect.h"
#include "core/data/sqlca.h"
#include "demo/demo_db.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"
#include "frame/startup/zem_pack.h"
#include "host/wait_box.h"
#include "host/zem_ui_loader.h"
#include "toolkit/tk_grid.h"
#include "toolkit/tk_image.h"
#include "toolkit/tk_menu.h"

namespace {

// The full texts of the two status panels that may be cut, kept on the bar (the panels hold what is
// drawn).
const char kLocation[] = "zem_location";
const char kMessage[] = "zem_message";

}  // namespace

DemoWindow::DemoWindow(DemoDb* db, QObject* parent) : QObject(parent), db_(db) {
  QFile form(QStringLiteral(":/demo/zem_demo.ui"));
  if (!form.open(QIODevice::ReadOnly)) {
    error_ = QStringLiteral("the form zem_demo.ui is missing from the program");
    return;
  }
  ZemUiLoader loader;
  window_ = qobject_cast<QMainWindow*>(loader.load(&form));
  if (!window_) {
    error_ = QStringLiteral("the form zem_demo.ui does not load: ") + loader.errorString();
    return;
  }
  tables_ = window_->findChild<QListWidget*>(QStringLiteral("tableList"));
  caption_ = window_->findChild<QLabel*>(QStringLiteral("tableCaption"));
  status_ = window_->findChild<MStatusBar*>(QStringLiteral("statusBar"));
  QWidget* host = window_->findChild<QWidget*>(QStringLiteral("gridHost"));
  if (!tables_ || !caption_ || !status_ || !host || !host->layout()) {
    error_ = QStringLiteral("the form zem_demo.ui lacks one of tableList, tableCaption, statusBar, gridHost");
    return;
  }

  grid_ = new TStringGrid(host);
  grid_->setObjectName(QStringLiteral("dataGrid"));
  grid_->SetFixedCols(0);
  grid_->SetDefaultRowHeight(22);
  grid_->SetOptions(grid_->Options() | goRowSelect | goColSizing | goThumbTracking);
  host->layout()->addWidget(grid_);
  caption_->setBuddy(grid_);  // the grid is read out under the caption above it ("凭证（12 行）")

  QWidget* voucherHost = window_->findChild<QWidget*>(QStringLiteral("voucherBox"));
  if (!voucherHost || !voucherHost->layout() || !loadVoucherForm(voucherHost)) {
    if (error_.isEmpty()) error_ = QStringLiteral("the form zem_demo.ui lacks voucherBox");
    return;
  }
  fillVouchers();
  followOthers();
  retry_.setSingleShot(true);
  connect(&retry_, &QTimer::timeout, this, [this] { refillSoon(); });

  for (const DemoTable& t : DemoDb::tables()) tables_->addItem(t.caption);
  connect(tables_, &QListWidget::currentRowChanged, this, [this](int row) { showTable(row); });
  connectActions();
  tables_->setCurrentRow(3);  // the vouchers: codes, Chinese texts and amounts
  refreshStatus();
  status_->installEventFilter(this);  // the tooltips of cut panel texts
}

// The window, and with it the voucher grid, goes before the members: the grid never sees its
// background picture deleted.
DemoWindow::~DemoWindow() {
  if (window_ && voucher_) voucher_->viewport()->removeEventFilter(this);  // no resize of a grid going away
  delete window_;
}

namespace {

// A pale ruled paper as large as the grid's view, for the area the voucher rows leave empty. The grid
// shows the picture's pixels where they lie, so the form's name is put whole into the empty band below
// the rows, else into the one right of the columns, and left out when neither holds it (cut at the
// view's edge or under the cells it would only puzzle). It is painted at the screen's ratio, so that a
// high-DPI screen shows it as sharp as the cells.
void Paint_Voucher_Paper(TImage* picture, QSize size, qreal ratio, long long cellsWidth, long long cellsHeight) {
  size = size.expandedTo(QSize(1, 1));
  QImage paper((QSizeF(size) * ratio).toSize(), QImage::Format_RGB32);
  paper.setDevicePixelRatio(ratio);
  QPainter p(&paper);
  QLinearGradient g(0, 0, size.width(), size.height());
  g.setColorAt(0, QColor(0xF7, 0xF9, 0xFC));
  g.setColorAt(1, QColor(0xE4, 0xEC, 0xF5));
  p.fillRect(QRect(QPoint(0, 0), size), g);
  p.setPen(QColor(0xC9, 0xD6, 0xE6));
  for (int y = 0; y < size.height(); y += 24) p.drawLine(0, y, size.width(), y);
  QFont f = p.font();
  f.setPointSize(30);
  f.setBold(true);
  p.setFont(f);
  const QString name = QString::fromUtf16(u"记账凭证\nzem_pack");
  const QSize text = QFontMetrics(f).boundingRect(QRect(0, 0, size.width(), size.height()), 0, name).size();
  const int margin = 16;
  const QRect below(0, int(cellsHeight), size.width(), size.height() - int(cellsHeight));
  const QRect right(int(cellsWidth), 0, size.width() - int(cellsWidth), size.height());
  QRect at;
  if (below.height() >= text.height() + 2 * margin && below.width() >= text.width() + 2 * margin)
    at = below.adjusted(margin, margin, -margin, -margin);
  else if (right.width() >= text.width() + 2 * margin && right.height() >= text.height() + 2 * margin)
    at = right.adjusted(margin, margin, -margin, -margin);
  if (!at.isEmpty()) {
    p.setPen(QColor(0xB8, 0xC8, 0xDC));
    p.drawText(at, Qt::AlignRight | Qt::AlignBottom, name);
  }
  p.end();
  picture->Bitmap()->Assign(paper);
}

}  // namespace

bool DemoWindow::loadVoucherForm(QWidget* host) {
  QFile form(QStringLiteral(":/demo/voucher_form.ui"));
  if (!form.open(QIODevice::ReadOnly)) {
    error_ = QStringLiteral("the form voucher_form.ui is missing from the program");
    return false;
  }
  ZemUiLoader loader;
  QWidget* page = loader.load(&form, host);
  voucher_ = page ? page->findChild<TMG*>(QStringLiteral("voucherGrid")) : nullptr;
  if (!voucher_) {
    error_ = QStringLiteral("the form voucher_form.ui does not load its voucherGrid: ") + loader.errorString();
    delete page;
    return false;
  }
  host->layout()->addWidget(page);
  // The sum line under the vouchers: the total of the amounts and the count of vouchers. The header
  // sorts (Ctrl: descending, double click: that column alone), the right half of a header filters by
  // the column's values, Ctrl+F searches, and the grid's menu has search, filter and unsort.
  if (TMG* sum = page->findChild<TMG*>(QStringLiteral("voucherSum"))) {
    voucher_->Set_Sum_Mg(sum);
    voucher_->Set_Sum_Flag("amount", 1);
  }
  voucher_->Row_Hover = 1;
  // The department column is a pick list over the "dept" dictionary (app_dict_def): cells show
  // "code name", the value read back is the code; a code or a name typed in is resolved, anything else
  // goes to the host's search and choose dialog. The date column's button (Ctrl+Enter from the keyboard)
  // puts a date picker over the cell.
  int col = 0;
  if (voucher_->GetColId("dept_code", &col)) voucher_->SetColPickDict(col, "dept");
  if (TMG_Col_Def* date = voucher_->GetColDef("voucher_date")) date->type = 'D';
  // An amount typed or pasted is cleaned and shown with the column's two decimals, unless cleaning would
  // lose something of it (letters, a third decimal): then it stays as typed, marked, and the clerk is
  // told; the save refuses it. A date typed in any form the grid reads is shown as the others are. A
  // summary that wraps makes its row taller.
  voucher_->Opt_Add("keep_bad_number", nullptr);
  voucher_->OnMGValChange = [this](TObject*, int c, int r, const QString&, const QString&) {
    const QString name = TMG::Wide(voucher_->GetColName(c));
    if (name == QLatin1String("amount") && !voucher_->Cells(c, r).isEmpty()) {
      voucher_->Valid_Check(c, r);
      voucher_->Std_Number_Cell(c, r);
      const QString warning = amountWarning(r);
      if (!warning.isEmpty()) note(warning);
      voucher_->Sync_Sum();  // the sum line follows every amount typed
    } else if (name == QLatin1String("voucher_date")) {
      QDate d;
      if (Mg_Read_Date(voucher_->Cells(c, r), &d)) voucher_->SetCells(c, r, d.toString(QStringLiteral("yyyy-MM-dd")));
    } else if (name == QLatin1String("summary")) {
      voucher_->Fit_To_Show(r);
    }
  };
  // Header clicks sort: the keys are told in the status bar as the marks show them in the header.
  auto mouseUp = voucher_->OnMouseUp;
  voucher_->OnMouseUp = [this, mouseUp](TObject* s, TMouseButton b, TShiftState shift, int x, int y) {
    std::vector<std::pair<int, int>> before;
    for (const TMG_Sort_Key& k : voucher_->Sort_Keys) before.emplace_back(k.col, k.desc);
    if (mouseUp) mouseUp(s, b, shift, x, y);
    std::vector<std::pair<int, int>> after;
    for (const TMG_Sort_Key& k : voucher_->Sort_Keys) after.emplace_back(k.col, k.desc);
    if (after != before) noteSortKeys();
  };
  voucher_->Init_Popup_Menu();
  if (TMenuItem* unsort = voucher_->Base_Menu_Item("mg_unsort")) {
    auto own = unsort->OnClick;
    unsort->OnClick = [this, own](TObject* s) {
      if (own) own(s);
      noteSortKeys();
    };
  }
  voucher_->SetDefaultRowHeight(24);
  voucherPicture_ = std::make_unique<TImage>();
  paintPaper();
  voucher_->Set_Background_Image(voucherPicture_.get());
  voucher_->viewport()->installEventFilter(this);  // the paper follows the view's size
  return true;
}

void DemoWindow::paintPaper() {
  if (!voucher_ || !voucherPicture_) return;
  Paint_Voucher_Paper(voucherPicture_.get(), voucher_->viewport()->size(), voucher_->viewport()->devicePixelRatioF(),
                      voucher_->GridWidth(), voucher_->GridHeight());
  voucher_->viewport()->update();
}

bool DemoWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && voucher_ && watched == voucher_->viewport()) paintPaper();
  // A panel's text cut to its width shows whole over it.
  if (event->type() == QEvent::ToolTip && status_ && watched == status_) {
    const QPoint at = static_cast<QHelpEvent*>(event)->pos();
    for (int i : {0, 1}) {
      const QString whole = status_->property(i == 0 ? kLocation : kMessage).toString();
      if (status_->PanelRect(i).toQRect().contains(at) && status_->Panels()->Items(i)->Text() != whole) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), whole, status_);
        return true;
      }
    }
    QToolTip::hideText();
    return true;
  }
  // Moved to a screen of another scale: the paper is painted anew at its ratio before the grid shows it.
  if (event->type() == QEvent::Paint && voucher_ && voucherPicture_ && watched == voucher_->viewport() &&
      voucherPicture_->Bitmap()->DevicePixelRatio() != voucher_->viewport()->devicePixelRatioF())
    Paint_Voucher_Paper(voucherPicture_.get(), voucher_->viewport()->size(), voucher_->viewport()->devicePixelRatioF(),
                        voucher_->GridWidth(), voucher_->GridHeight());
  return QObject::eventFilter(watched, event);
}

void DemoWindow::noteSortKeys() {
  QStringList keys;
  for (size_t k = 0; k < voucher_->Sort_Keys.size(); ++k) {
    const TMG_Sort_Key& key = voucher_->Sort_Keys[k];
    keys << QStringLiteral("%1 %2%3").arg(k + 1).arg(voucher_->Cells(key.col, 0),
                                                    key.desc ? QString::fromUtf16(u"▼") : QString::fromUtf16(u"▲"));
  }
  note(QString::fromUtf16(u"排序：") + (keys.isEmpty() ? QString::fromUtf16(u"无") : keys.join(QStringLiteral("，"))));
}

QString DemoWindow::shownDate(const QString& text) {
  static const QRegularExpression digits(QStringLiteral("^[0-9]{8}$"));
  return digits.match(text).hasMatch() ? text.left(4) + QLatin1Char('-') + text.mid(4, 2) + QLatin1Char('-') + text.mid(6)
                                       : text;
}

QString DemoWindow::amountWarning(int row) {
  int col = 0;
  if (!voucher_ || !voucher_->GetColId("amount", &col)) return QString();
  const QString why = voucher_->Number_Problem(col, row);
  if (why.isEmpty()) return QString();
  return QString::fromUtf16(u"金额“%1”%2，保留原样未改动；请改正后再保存").arg(voucher_->Cells(col, row), why);
}

int DemoWindow::fillVouchers(const QString& where) {
  if (!voucher_) return -1;
  int noCol = 0;
  voucher_->GetColId("voucher_no", &noCol);
  const int first = voucher_->FixedRows();
  // Where the clerk is: the voucher of the current row and the column, found again after the fill.
  const QString currentNo = voucher_->Row() >= first ? voucher_->Cells(noCol, voucher_->Row()) : QString();
  const int currentCol = voucher_->Col(), top = voucher_->TopRow();
  const std::vector<TMG_Sort_Key> sortKeys = voucher_->Sort_Keys;  // the clerk's order, kept
  emit aboutToFill();
  lastWhere_ = where;
  // Every voucher, read again into the tracked area: the clerk's unsaved edits stay in it.
  if (!vouchers_.Tracking()) {
    if (read(vouchers_, QStringLiteral("select * from vouchers order by voucher_no")) != 0) return -1;
    // The clerk's words for the fields, as a conflict over a voucher names them.
    for (int f = 0; f < vouchers_.Get_Field_Count(); f++)
      vouchers_.Set_Field_Caption(f, DemoDb::columnCaption(QString::fromUtf16(vouchers_.Get_Field_Name(f))));
    vouchers_.Track_Changes(u"vouchers", u"voucher_no");
  } else {
    TSQLCA fresh;
    if (read(fresh, QStringLiteral("select * from vouchers order by voucher_no")) != 0) return -1;
    vouchers_.Merge_Fresh(&fresh);
  }
  vouchers_.Set_Sort_Key(vouchers_.Find_Field(u"voucher_no"), 0);
  vouchers_.Sort();
  // The ones the conditions pick.
  QStringList parts;
  for (const QString& c : {where, voucherCondition_})
    if (!c.isEmpty()) parts << QStringLiteral("(") + c + QStringLiteral(")");
  QSet<QString> picked;
  if (!parts.isEmpty()) {
    TSQLCA keys;
    if (read(keys, QStringLiteral("select voucher_no from vouchers where ") + parts.join(QStringLiteral(" and "))) != 0)
      return -1;
    for (int r = 0; r < keys.Get_Row_Count(); r++) picked.insert(QString::fromUtf16(keys.Get_Row_Value(r, 0)));
  }
  std::vector<int> shown;
  const int key = vouchers_.Find_Field(u"voucher_no");
  for (int r = 0; r < vouchers_.Get_Row_Count(); r++)
    if (parts.isEmpty() || picked.contains(QString::fromUtf16(vouchers_.Get_Row_Value(r, key)))) shown.push_back(r);
  const int rows = static_cast<int>(shown.size()), fields = vouchers_.Get_Field_Count();
  voucher_->SetRowCount(first + std::max(rows, 1));
  for (int r = first; r < voucher_->RowCount(); ++r)
    for (int c = 1; c < voucher_->ColCount(); ++c) voucher_->SetCells(c, r, QString());
  for (int f = 0; f < fields; f++) {
    int col = 0;
    if (!voucher_->GetColId(vouchers_.Get_Field_Name(f), &col)) continue;  // a column the form does not show
    const bool date = QString::fromUtf16(vouchers_.Get_Field_Name(f)) == QLatin1String("voucher_date");
    for (int r = 0; r < rows; r++) {
      const wchar16* v = vouchers_.Get_Row_Value(shown[static_cast<size_t>(r)], f);
      if (date) voucher_->SetCells(col, first + r, shownDate(QString::fromUtf16(v)));
      else voucher_->SetW(col, first + r, v);
    }
  }
  // SQLite keeps 125600.00 as 125600: amounts get the column's two decimals.
  int supCol = 0, sumCol = 0, amtCol = 0;
  const bool amounts = voucher_->GetColId("amount", &amtCol);
  if (amounts)
    for (int r = first; r < first + rows; ++r) voucher_->Std_Number_Cell(amtCol, r);
  voucher_->Show_Row_Id();
  for (int r = 1; r < first; ++r) voucher_->SetCells(0, r, QString());  // no row mark in the header
  // Colours of the voucher form: the supplier codes on a pale column, a negative voucher's summary
  // picked out in red on yellow.
  voucher_->Cell_Attr.clear();
  voucher_->Sort_Col_Clear();
  if (voucher_->GetColId("sup_code", &supCol)) voucher_->Cell_Attr.push_back({-10, supCol, 8, 0, 0xF5EEE4});
  if (amounts && voucher_->GetColId("summary", &sumCol))
    for (int r = first; r < first + rows; ++r)
      if (voucher_->GetV(amtCol, r)[0] == '-') voucher_->Cell_Attr.push_back({r, sumCol, 4 | 8, 0x0000FF, 0x99FFFF});
  voucher_->Filter_Show_All();
  voucher_->Fit_To_Show(first, voucher_->RowCount() - 1);  // a long summary wraps onto a taller row
  // The rows come in voucher order; the clerk's sort keys (and their marks) put them in the clerk's.
  for (const TMG_Sort_Key& k : sortKeys) voucher_->Sort_Col_Add(k.col, k.desc);
  if (!sortKeys.empty() && rows > 0) voucher_->Sort();
  voucher_->Sync_Sum();
  // What was typed before the reload is in the area: nothing is watched. The clerk's row and column
  // again; a current cell that takes no typing (the first fill starts on the read-only voucher number)
  // gives way to the first one that does.
  voucher_->Change_Check_Reset();
  int again = -1;
  for (int r = first; !currentNo.isEmpty() && r < first + rows && again < 0; ++r)
    if (voucher_->Cells(noCol, r) == currentNo) again = r;
  if (again >= 0 && voucher_->Can_Move_To(currentCol, again)) {
    voucher_->FocusCell(currentCol, again);
    voucher_->SetTopRow(std::min(top, again));
  } else if (!voucher_->Can_Move_To(voucher_->Col(), voucher_->Row())) {
    voucher_->FocusCell(voucher_->First_Edit_Col(), first);
    voucher_->SetLeftCol(voucher_->FixedCols());  // before the first layout the move scrolls a tiny view
  }
  // No editor over a value just read until the clerk starts one; a refill for another clerk's voucher
  // while this one works in the grid leaves the grid as the clerk had it.
  QWidget* focus = QApplication::focusWidget();
  if (focus != voucher_ && !voucher_->isAncestorOf(focus)) voucher_->HideEditor();
  paintPaper();  // the rows leave another band empty
  voucher_->Invalidate();
  emit vouchersFilled(rows);
  return rows;
}

void DemoWindow::followOthers() {
  // Another clerk's voucher (or this one's saved elsewhere): the grid is filled again, unless a cell is
  // being typed into, in which case it waits for the typing to end.
  Zem_Dict_Watch(this, [this](const std::string& id) {
    if (!id.empty() && id != "vouchers") return;
    refillSoon();
  });
}

int DemoWindow::read(TSQLCA& q, const QString& sql) {
  q.Set_Statement_Timeout(readBound_);
  return db_->select(q, sql);
}

void DemoWindow::refillSoon() {
  TInplaceEdit* editor = voucher_ ? voucher_->InplaceEditor() : nullptr;
  // Typing in a cell, or this thread's session still waiting in an outer call (the notice came in
  // the wait box's event loop): the refill waits its turn rather than fail.
  TDb_Connect* session = Db_Connect_Mgr()->Get_Session(nullptr);
  if ((editor && editor->isVisible() && editor->Modified()) || (session && session->Busy())) {
    QTimer::singleShot(300, this, [this] { refillSoon(); });
    return;
  }
  // Nobody asked for this refill: it waits for the server without the wait box and within a short
  // bound, so a server that does not answer neither stops the clerk nor raises a box by itself. One
  // that failed (no answer, the session busy with the clerk's own call, the connection lost) tries again
  // a little later, until the grid shows what the others saved.
  bool ok = false;
  {
    Zem_Host_Quiet_Waits quiet;
    readBound_ = kQuiet_Bound_S;
    ok = fillVouchers(lastWhere_) >= 0;
    if (ok) refreshTable();
    readBound_ = 0;
  }
  if (ok) {
    if (retryMs_ > 0) note(QString::fromUtf16(u"凭证已刷新"));
    retryMs_ = 0;
    retry_.stop();
    return;
  }
  const bool first = retryMs_ == 0;
  retryMs_ = first ? 1000 : std::min(retryMs_ * 2, 16000);
  if (first) note(QString::fromUtf16(u"凭证未能刷新（%1），稍后自动重试").arg(db_->error()));
  retry_.start(retryMs_);
}

int DemoWindow::setVoucherCondition(const QString& condition) {
  voucherCondition_ = condition;
  return fillVouchers(lastWhere_);
}

void DemoWindow::refreshTable() {
  if (tables_) showTable(tables_->currentRow());
}

void DemoWindow::showTable(int index) {
  const QList<DemoTable> tables = DemoDb::tables();
  if (!grid_ || index < 0 || index >= tables.size()) return;
  const DemoTable& t = tables[index];
  TSQLCA q;
  // In the order of the first column (each table's key): PostgreSQL would show a row updated last.
  if (read(q, QStringLiteral("select * from %1 order by 1").arg(t.name)) != 0) {
    caption_->setText(t.caption + QStringLiteral("：") + db_->error());
    return;
  }
  const int fields = q.Get_Field_Count();
  const int rows = q.Get_Row_Count();
  caption_->setText(QString::fromUtf16(u"%1（%2 行）").arg(t.caption).arg(rows));
  grid_->SetColCount(fields > 0 ? fields : 1);
  grid_->SetRowCount(rows + 1);
  grid_->SetFixedRows(rows > 0 ? 1 : 0);
  QFontMetrics fm(grid_->font());
  for (int c = 0; c < fields; c++) {
    const QString name = QString::fromUtf16(q.Get_Field_Name(c));
    const QString caption = DemoDb::columnCaption(name);
    // SQLite keeps 125600.00 as the integer 125600: money shows with its two decimals.
    const bool money = name == QStringLiteral("amount") || name == QStringLiteral("salary");
    grid_->SetCells(c, 0, caption);
    int width = fm.horizontalAdvance(caption);
    for (int r = 0; r < rows; r++) {
      QString v = QString::fromUtf16(q.Get_Row_Value(r, c));
      if (money && !v.isEmpty()) v = QString::number(v.toDouble(), 'f', 2);
      grid_->SetCells(c, r + 1, v);
      width = std::max(width, fm.horizontalAdvance(v));
    }
    grid_->SetColWidths(c, std::min(width + 16, 320));
  }
}

namespace {

// The database's location as wide as its text, the versions too, and the message panel between them
// takes the rest: a long message is cut at its end with "…" (whole in its tooltip) and never squeezes
// the others. Only when the bar cannot hold the location, the versions and a few words of message does
// the location give way, shortened in the middle.
void Fit_Status_Panels(MStatusBar* bar) {
  TStatusPanels* panels = bar->Panels();
  if (panels->Count() < 3) return;
  const QFontMetrics fm(bar->Font()->toQFont());
  const int margin = 12;  // the text's 3 pixels and the bevel on each side, and some air
  const int least = 160;  // the message panel's room for a few words
  TStatusPanel* versions = panels->Items(2);
  versions->SetWidth(fm.horizontalAdvance(versions->Text()) + margin);
  const QString location = bar->property(kLocation).toString();
  const int need = fm.horizontalAdvance(location) + margin;
  const int width = std::max(std::min(need, bar->width() - versions->Width() - least), 4 * margin);
  panels->Items(0)->SetWidth(width);
  panels->Items(0)->SetText(width >= need ? location : fm.elidedText(location, Qt::ElideMiddle, width - margin));
  const int room = std::max(bar->width() - width - versions->Width(), 4 * margin);
  panels->Items(1)->SetWidth(room);
  panels->Items(1)->SetText(fm.elidedText(bar->property(kMessage).toString(), Qt::ElideRight, room - margin));
}

}  // namespace

void Demo_Status_Note(MStatusBar* bar, const QString& text) {
  if (!bar || bar->Panels()->Count() < 3) return;
  bar->setProperty(kMessage, text);
  Fit_Status_Panels(bar);
}

QString Demo_Status_Message(MStatusBar* bar) { return bar ? bar->property(kMessage).toString() : QString(); }

void DemoWindow::refreshStatus() {
  if (!status_) return;
  TStatusPanels* p = status_->Panels();
  if (p->Count() < 3) {
    status_->SetPanelTexts({QString(), QString(), QString()});
  }
  status_->setProperty(kLocation, QString::fromUtf16(u"数据库：") + db_->location());
  QStringList counts;
  for (const DemoTable& t : DemoDb::tables()) {
    if (t.name.startsWith(QStringLiteral("app_"))) continue;
    counts << QStringLiteral("%1 %2").arg(t.caption).arg(db_->rowCount(t.name));
  }
  p->Items(2)->SetText(QStringLiteral("zem_pack %1 · %2 · Qt %3")
                           .arg(QString::fromLatin1(F_Dll_Ver()), db_->engineVersion(),
                                QString::fromLatin1(qVersion())));
  p->Items(2)->SetAlignment(taRightJustify);
  Demo_Status_Note(status_, QString::fromUtf16(u"行数：") + counts.join(QStringLiteral("  ")));
  status_->OnResize = [this](TObject*) { Fit_Status_Panels(status_); };
  status_->Set_Own_Draw();
}

void DemoWindow::note(const QString& text) { Demo_Status_Note(status_, text); }

void DemoWindow::connectActions() {
  auto action = [this](const char* name) { return window_->findChild<QAction*>(QString::fromLatin1(name)); };
  if (QAction* a = action("actionQuit")) connect(a, &QAction::triggered, window_, &QWidget::close);
  if (QAction* a = action("actionReload"))
    connect(a, &QAction::triggered, this, [this] {
      showTable(tables_->currentRow());
      fillVouchers();
      refreshStatus();
    });
  // The tools reach the host functions by name, as the controls do.
  if (QAction* a = action("actionInput"))
    connect(a, &QAction::triggered, this, [this] {
      auto fn = reinterpret_cast<Gui_Inp_Str_W_Fn>(Zem_Get_Shared_Ptr(kGui_Inp_Str_W));
      char16_t buffer[61] = u"";
      if (fn && fn(u"查找内容", buffer, 60, nullptr)) note(QString::fromUtf16(u"输入：") + QString::fromUtf16(buffer));
    });
  if (QAction* a = action("actionCalendar"))
    connect(a, &QAction::triggered, this, [this] {
      auto fn = reinterpret_cast<Gui_Calendar_Get_Fn>(Zem_Get_Shared_Ptr(kGui_Calendar_Get));
      char date[20] = "";
      if (fn && fn(date)) note(QString::fromUtf16(u"日期：") + QString::fromLatin1(date));
    });
  if (QAction* a = action("actionChooseDept"))
    connect(a, &QAction::triggered, this, [this] {
      auto fn = reinterpret_cast<Pdu_Code_Select_Fn>(Zem_Get_Shared_Ptr(kPdu_Code_Select));
      char code[100] = "";
      if (fn && fn("dept", code)) note(QString::fromUtf16(u"部门编码：") + QString::fromLatin1(code));
    });
}
