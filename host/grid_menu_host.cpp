// The grid's view functions ("pdu_grid_show_max", "gui_fit_mg_col_size_skip_0") and the registration of
// every default behind the grid's popup menu.
#include "host/grid_menu_host.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "controls/grid/Mg.h"
#include "frame/pub_ptr.h"
#include "host/host_ui.h"

namespace {

QString Cap(const char16_t* caption) { return Host_Cap(u"grid", caption); }

// Where a widget sits in its form, so that it can be lent to another window and put back in the same
// slot: a placeholder holds its place in a layout (nested ones too) or a splitter while it is away; a
// widget placed by hand gets its parent and geometry back.
class Form_Slot {
 public:
  explicit Form_Slot(QWidget* w)
      : w_(w), parent_(w->parentWidget()), geometry_(w->geometry()), min_(w->minimumSize()),
        max_(w->maximumSize()), shown_(w->isVisible()) {
    if (!parent_) return;
    placeholder_ = new QWidget(parent_);
    placeholder_->setSizePolicy(w->sizePolicy());
    placeholder_->setMinimumSize(w->minimumSize());
    placeholder_->setGeometry(geometry_);
    if (auto* split = qobject_cast<QSplitter*>(parent_)) {
      how_ = SPLITTER, index_ = split->indexOf(w);
      split->replaceWidget(index_, placeholder_);
    } else if (QLayoutItem* item = parent_->layout() ? parent_->layout()->replaceWidget(w, placeholder_) : nullptr) {
      how_ = LAYOUT;
      delete item;
    }
    placeholder_->setVisible(shown_);
  }

  // Puts the widget back where it was and drops the placeholder.
  void Restore() {
    if (!w_) return;
    if (!parent_) {
      w_->setParent(nullptr, Qt::Window);
      w_->setGeometry(geometry_);
    } else if (how_ == SPLITTER) {
      static_cast<QSplitter*>(parent_.data())->replaceWidget(index_, w_);
    } else if (how_ == LAYOUT && parent_->layout()) {
      delete parent_->layout()->replaceWidget(placeholder_, w_);
    } else {
      w_->setParent(parent_);
      w_->setGeometry(geometry_);
    }
    w_->setMinimumSize(min_);
    w_->setMaximumSize(max_);
    w_->setVisible(shown_);
    delete placeholder_;
    if (parent_ && parent_->layout()) parent_->layout()->activate();
  }

 private:
  enum How { LAYOUT, SPLITTER, FREE };
  QPointer<QWidget> w_, parent_, placeholder_;
  QRect geometry_;
  QSize min_, max_;  // the lending window may change them
  bool shown_;
  How how_ = FREE;
  int index_ = -1;
};

// Escape closes the full-screen window, except while the cell editor holds an edit (Escape then
// takes the edit back, as in the form).
class Escape_Closes : public QObject {
 public:
  Escape_Closes(QDialog* dialog, TMG* grid) : QObject(dialog), dialog_(dialog), grid_(grid) {}
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(e)->key() != Qt::Key_Escape) return false;
    if (QApplication::activeModalWidget() != dialog_) return false;
    TInplaceEdit* editor = grid_ ? grid_->InplaceEditor() : nullptr;
    if (editor && editor->isVisible() && editor->hasFocus() && editor->Modified()) return false;
    dialog_->reject();
    return true;
  }

 private:
  QDialog* dialog_;
  QPointer<TMG> grid_;
};

}  // namespace

int Zem_Host_Grid_Show_Max(TMG* grid) {
  if (!grid) return 0;
  TMG* sum = grid->Sum_Mg() && grid->Sum_Mg()->isVisible() ? grid->Sum_Mg() : nullptr;
  const int top = grid->TopRow(), left = grid->LeftCol(), row = grid->Row(), col = grid->Col();

  QDialog dialog(Host_Parent(grid));
  dialog.setObjectName(QStringLiteral("zem_host_grid_max"));
  dialog.setLocale(Host_Locale());
  const QString title = grid->window() ? grid->window()->windowTitle() : QString();
  dialog.setWindowTitle(title.isEmpty() ? Cap(u"全屏幕显示数据") : title);
  auto* layout = new QVBoxLayout(&dialog);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(2);
  auto* bar = new QHBoxLayout;
  auto* caption = new QLabel(dialog.windowTitle() + QStringLiteral("    ") + Cap(u"按 Esc 返回"), &dialog);
  bar->addWidget(caption, 1);
  auto* close = new QPushButton(Cap(u"退出全屏"), &dialog);
  close->setObjectName(QStringLiteral("close"));
  close->setAutoDefault(false);
  QObject::connect(close, &QPushButton::clicked, &dialog, &QDialog::reject);
  bar->addWidget(close);
  layout->addLayout(bar);

  Form_Slot grid_slot(grid);
  std::unique_ptr<Form_Slot> sum_slot(sum ? new Form_Slot(sum) : nullptr);
  layout->addWidget(grid, 1);
  if (sum) {
    sum->setFixedHeight(sum->height());
    layout->addWidget(sum);
  }
  grid->show();
  if (sum) sum->show();
  auto* escape = new Escape_Closes(&dialog, grid);
  qApp->installEventFilter(escape);
  // The whole screen the grid is on; the full-screen state as well, for window managers that honour it.
  QScreen* screen = grid->screen() ? grid->screen() : QGuiApplication::primaryScreen();
  if (screen) dialog.setGeometry(screen->geometry());
  dialog.setWindowState(Qt::WindowFullScreen);
  QMetaObject::invokeMethod(grid, [grid] { grid->setFocus(); }, Qt::QueuedConnection);
  dialog.exec();
  qApp->removeEventFilter(escape);

  // Back into the form: the same slot, size and visibility; the same first row and column when the
  // user did not move the current cell while the grid had the screen.
  if (sum_slot) sum_slot->Restore();
  grid_slot.Restore();
  if (grid->Row() == row && grid->Col() == col) {
    grid->SetTopRow(top);
    grid->SetLeftCol(left);
  }
  grid->Sync_Sum();
  grid->setFocus();
  return 1;
}

// ---- Fitting column widths -----------------------------------------------------------------------------

namespace {

// How wide a text looks without measuring it: East Asian characters count two.
int Rough_Width(QStringView s) {
  int n = 0;
  for (QChar c : s) n += c.unicode() >= 0x1100 ? 2 : 1;
  return n;
}

}  // namespace

int Zem_Host_Fit_Mg_Col_Size_Skip_0(TMG* grid) {
  if (!grid) return 0;
  const QFontMetrics fm(grid->font());
  const int pad = 10 + grid->GridLineWidth();
  // Only the longest texts of a column are measured, so a million rows cost one pass of counting.
  constexpr size_t kMeasured = 24;
  for (int c = 1; c < grid->ColCount(); ++c) {
    const TMG_Col_Def* d = grid->GetColDef(c);
    if (grid->ColWidths(c) == 0 || d->fixed_width >= 0 || d->show_style != 0) continue;
    std::vector<std::pair<int, int>> longest;  // (rough width, row)
    for (int r = 0; r < grid->RowCount(); ++r) {
      if (grid->RowHeights(r) == 0) continue;
      const QStringView text = grid->CellView(c, r);
      if (text.isEmpty()) continue;
      const int w = Rough_Width(text);
      if (longest.size() == kMeasured && w <= longest.front().first) continue;
      longest.emplace_back(w, r);
      std::push_heap(longest.begin(), longest.end(), std::greater<>());
      if (longest.size() > kMeasured) {
        std::pop_heap(longest.begin(), longest.end(), std::greater<>());
        longest.pop_back();
      }
    }
    int width = fm.horizontalAdvance(QStringLiteral("00"));
    for (const auto& [rough, r] : longest) {
      for (const QString& line : grid->Cells(c, r).split(u'\n'))
        width = std::max(width, fm.horizontalAdvance(line.trimmed()));
    }
    grid->Show_Col(c, std::min(width + pad, 600));
  }
  grid->Sync_Sum();
  grid->Invalidate();
  return 1;
}

int Zem_Host_Register_Grid_Menu() {
  Host_Use_Chinese_Qt_Texts();
  Gui_Save_Mg_Fn save = Zem_Host_Save_Mg;
  Gui_Mg_Import_From_Dat_Fn import = Zem_Host_Mg_Import_From_Dat;
  Gui_Fit_Mg_Col_Size_Skip_0_Fn fit = Zem_Host_Fit_Mg_Col_Size_Skip_0;
  Pdu_Grid_Show_Max_Fn show_max = Zem_Host_Grid_Show_Max;
  Pdu_Fmtgrid_Load_List_Fn load_list = Zem_Host_Fmtgrid_Load_List;
  Pdu_Fmtgrid_F2g_Handle_Fn f2g = Zem_Host_Fmtgrid_F2g_Handle;
  Tbx_Sms_Send_By_Temp_Fn send = Zem_Host_Sms_Send_By_Temp;
  Tbx_Sms_Temp_Design_Fn design = Zem_Host_Sms_Temp_Design;
  Tbx_Sms_My_List_Fn my_list = Zem_Host_Sms_My_List;
  const std::pair<const char*, void*> functions[] = {
      {kGui_Save_Mg, reinterpret_cast<void*>(save)},
      {kGui_Mg_Import_From_Dat, reinterpret_cast<void*>(import)},
      {kGui_Fit_Mg_Col_Size_Skip_0, reinterpret_cast<void*>(fit)},
      {kPdu_Grid_Show_Max, reinterpret_cast<void*>(show_max)},
      {kPdu_Fmtgrid_Load_List, reinterpret_cast<void*>(load_list)},
      {kPdu_Fmtgrid_F2g_Handle, reinterpret_cast<void*>(f2g)},
      {kTbx_Sms_Send_By_Temp, reinterpret_cast<void*>(send)},
      {kTbx_Sms_Temp_Design, reinterpret_cast<void*>(design)},
      {kTbx_Sms_My_List, reinterpret_cast<void*>(my_list)},
  };
  int n = 0;
  for (const auto& [name, fn] : functions) n += Zem_Reg_Shared_Ptr(name, fn);
  return n;
}
