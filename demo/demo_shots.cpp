// The demo's pictures of itself: each shot opens what its name says the way a user does, grabs the
// widget that opened and closes it again. Widgets are found by the object names the demo's forms give
// them, so the pictures follow the forms.
#include "demo/demo_shots.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QEventLoop>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QSet>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <functional>

#include "controls/combo/Combobox_ext.h"
#include "controls/grid/Mg.h"
#include "controls/inputs/Mdate.h"
#include "controls/inputs/Mgs.h"
#include "controls/inputs/Mpickdate.h"
#include "controls/tree/Mtreeview.h"
#include "core/data/para.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"
#include "toolkit/tk_datetime.h"

namespace {

const Demo_Shot kShots[] = {
    {"window", "the demo's main window: tables, the voucher form, the department tree, the status bar"},
    {"voucher", "the voucher form: filter boxes, date inputs, the department tree, the grid and its totals"},
    {"code_select", "the department box's single choice (double click on a TComboBox_Ext)"},
    {"multi_select", "the supplier box's multiple choice with check boxes (double click)"},
    {"key_search", "a text typed into the department box that names several: the choice opens, the text searched"},
    {"search", "the search edit's drop-down (TMGS) under the department code field"},
    {"calendar", "the host's calendar, opened from the date picker's menu"},
    {"pick_date", "the date picker's own drop-down calendar (MPickDate)"},
    {"date_menu", "the date box's day menu (right click on the day of a TMDate)"},
    {"grid_menu", "the grid's own menu (a click on the corner cell of a TMG)"},
    {"voucher_menu", "the demo's menu on the voucher grid, the grid's menu its first item (right click)"},
    {"grid_search", "the grid's find box (Ctrl+F in a TMG)"},
    {"grid_filter", "the grid's filter over every column's values"},
    {"grid_filter_ext", "the grid's filter of one column, a tick per value"},
    {"tree_menu", "the department tree's context menu (right click on an MTreeView)"},
};

// A picture that is nearly all one colour caught nothing worth showing.
bool Blank(const QImage& image) {
  if (image.width() < 8 || image.height() < 8) return true;
  const QImage img = image.convertToFormat(QImage::Format_RGB32);
  const QRgb first = img.pixel(0, 0);
  qint64 same = 0;
  for (int y = 0; y < img.height(); y++) {
    const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
    for (int x = 0; x < img.width(); x++) same += line[x] == first;
  }
  return same * 1000 >= qint64(img.width()) * img.height() * 995;
}

QString Save(QWidget* w, const QString& file) {
  QApplication::processEvents();
  const QPixmap pixmap = w->grab();
  if (Blank(pixmap.toImage())) return QStringLiteral("the picture of %1 is blank").arg(w->metaObject()->className());
  return pixmap.save(file, "PNG") ? QString() : QStringLiteral("cannot write ") + file;
}

// A menu or drop-down in its place: the window under it, cut to the part around the opened widget and the
// control it belongs to (anchor).
QString Save_In_Place(QWidget* opened, QWidget* anchor, const QString& file) {
  QApplication::processEvents();
  QWidget* window = anchor->window();
  const QPoint origin = window->mapToGlobal(QPoint(0, 0));
  QPixmap picture = window->grab();
  const QRect at(opened->mapToGlobal(QPoint(0, 0)) - origin, opened->size());
  if (opened->isWindow()) {
    QPainter painter(&picture);
    painter.drawPixmap(at.topLeft(), opened->grab());
  }
  const QRect around = at.united(QRect(anchor->mapTo(window, QPoint(0, 0)), anchor->size()))
                           .adjusted(-24, -24, 24, 24)
                           .intersected(picture.rect());
  picture = picture.copy(around);
  if (Blank(picture.toImage())) return QStringLiteral("the picture of %1 is blank").arg(opened->metaObject()->className());
  return picture.save(file, "PNG") ? QString() : QStringLiteral("cannot write ") + file;
}

QSet<QWidget*> Visible_Top_Levels() {
  QSet<QWidget*> set;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) set.insert(w);
  return set;
}

// Runs open(), which shows a window (and may run it modally until it closes), waits for the window
// to appear (a new top-level, or the child given), grabs it into file (in its place beside anchor, when
// given) and closes it.
QString Shoot_Opened(const std::function<void()>& open, const QString& file, QWidget* anchor = nullptr,
                     QWidget* child = nullptr) {
  const QSet<QWidget*> before = Visible_Top_Levels();
  QString error = QStringLiteral("nothing opened");
  bool done = false;
  int ticks = 0;
  QEventLoop loop;
  QTimer timer;
  timer.setInterval(50);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    QWidget* shown = child && child->isVisible() ? child : nullptr;
    if (!shown)
      for (QWidget* w : Visible_Top_Levels())
        if (!before.contains(w)) shown = w;
    if (!shown && ++ticks < 100) return;  // five seconds at most
    timer.stop();
    if (shown) {
      error = anchor ? Save_In_Place(shown, anchor, file) : Save(shown, file);
      if (auto* dialog = qobject_cast<QDialog*>(shown)) dialog->reject();
      else if (shown->isWindow()) shown->close();
      else shown->hide();
    }
    done = true;
    loop.quit();
  });
  timer.start();
  open();
  if (!done) loop.exec();
  return error;
}

// A click as the mouse makes it: press, release, and for the right button the context menu.
void Click(QWidget* target, QPoint at, Qt::MouseButton button) {
  const QPointF local(at), global(target->mapToGlobal(at));
  QMouseEvent press(QEvent::MouseButtonPress, local, global, button, button, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, button, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(target, &release);
  if (button != Qt::RightButton) return;
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, global.toPoint());
  QApplication::sendEvent(target, &event);
}

template <typename T>
T* Find(QMainWindow* window, const char* name) {
  return window->findChild<T*>(QLatin1String(name));
}

}  // namespace

const Demo_Shot* Demo_Shots(int* count) {
  *count = sizeof kShots / sizeof kShots[0];
  return kShots;
}

void Demo_Shots_Fix_Clock() {
  SetClock([] { return QDateTime(QDate(2024, 5, 20), QTime(9, 30)); });
}

QString Demo_Take_Shot(QMainWindow* window, const QString& what, const QString& file) {
  auto* grid = Find<TMG>(window, "voucherGrid");
  auto* tree = Find<MTreeView>(window, "deptTree");
  auto* made = Find<MPickDate>(window, "makeDate");
  auto* date = Find<TMDate>(window, "voucherDate");
  auto* dept = Find<TComboBox_Ext>(window, "deptFilter");
  auto* sup = Find<TComboBox_Ext>(window, "supFilter");
  auto* drop = Find<QToolButton>(window, "deptDrop");
  auto* chooser = Find<TMGS>(window, "deptChooser");
  auto missing = [&what](const char* name) { return QStringLiteral("%1: the demo has no %2").arg(what, QLatin1String(name)); };

  if (what == QLatin1String("window")) return Save(window, file);
  if (what == QLatin1String("voucher")) {
    QWidget* box = Find<QWidget>(window, "voucherBox");
    return box ? Save(box, file) : missing("voucherBox");
  }
  if (what == QLatin1String("code_select") || what == QLatin1String("multi_select")) {
    TComboBox_Ext* box = what == QLatin1String("code_select") ? dept : sup;
    if (!box) return missing(what == QLatin1String("code_select") ? "deptFilter" : "supFilter");
    return Shoot_Opened([box] { box->Pop_Choose(); }, file);
  }
  if (what == QLatin1String("key_search")) {
    if (!dept || !dept->lineEdit()) return missing("deptFilter");
    // Typed into the department box and Enter: a text naming several departments opens the choice.
    QWidget* edit = dept->lineEdit();
    edit->setFocus();
    return Shoot_Opened([edit] {
      for (const QString& text : {QString::fromUtf16(u"部"), QStringLiteral("\r")}) {
        const int key = text == QLatin1String("\r") ? Qt::Key_Return : 0;
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(edit, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QApplication::sendEvent(edit, &release);
      }
    }, file);
  }
  if (what == QLatin1String("search")) {
    if (!drop || !chooser) return missing("deptDrop");
    // The drop-down is a child of the window: the picture is the window's part around it.
    QWidget* code = Find<QWidget>(window, "deptCode");
    return Shoot_Opened([drop] { drop->click(); }, file, code ? code : drop, chooser);
  }
  if (what == QLatin1String("calendar")) {
    if (!made) return missing("makeDate");
    return Shoot_Opened([made] { made->Menu_PopChooseClick(nullptr); }, file);
  }
  if (what == QLatin1String("pick_date")) {
    if (!made) return missing("makeDate");
    return Shoot_Opened([made] { made->setFocus(); made->DropDown(); }, file, made);
  }
  if (what == QLatin1String("date_menu")) {
    if (!date) return missing("voucherDate");
    QList<QLineEdit*> fields = date->findChildren<QLineEdit*>();
    if (fields.size() < 3) return missing("day field");
    std::sort(fields.begin(), fields.end(), [](QLineEdit* a, QLineEdit* b) { return a->x() < b->x(); });
    QLineEdit* day = fields[2];
    return Shoot_Opened([day] { Click(day, QPoint(4, 4), Qt::RightButton); }, file, date);
  }
  if (what == QLatin1String("grid_menu") || what == QLatin1String("voucher_menu") || what == QLatin1String("grid_search")) {
    if (!grid) return missing("voucherGrid");
    if (what == QLatin1String("grid_search")) {
      grid->setFocus();
      return Shoot_Opened([grid] {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_F, Qt::ControlModifier);
        QApplication::sendEvent(grid, &key);
      }, file);
    }
    // The grid's own menu opens from a click on its corner cell; the demo's menu, with the grid's as its
    // first item, from a right click on a row.
    const bool corner = what == QLatin1String("grid_menu");
    const TRect cell = corner ? grid->CellRect(0, 0) : grid->CellRect(3, grid->FixedRows() + 1);
    const QPoint at((cell.Left + cell.Right) / 2, (cell.Top + cell.Bottom) / 2);
    // Clicks in the first second after the grid was shown are not taken: this one comes later.
    Pub_Para_Put_Int(u"grid_show_time", TMG::Tick_Count() - 60000);
    return Shoot_Opened([grid, at, corner] { Click(grid->viewport(), at, corner ? Qt::LeftButton : Qt::RightButton); },
                        file, grid);
  }
  if (what == QLatin1String("grid_filter") || what == QLatin1String("grid_filter_ext")) {
    if (!grid) return missing("voucherGrid");
    if (what == QLatin1String("grid_filter")) {
      auto filter = reinterpret_cast<Pdu_Grid_Filter_Fn>(Zem_Get_Shared_Ptr(kPdu_Grid_Filter));
      if (!filter) return missing(kPdu_Grid_Filter);
      return Shoot_Opened([grid, filter] { filter(grid); }, file);
    }
    auto filter = reinterpret_cast<Pdu_Grid_Filter_Ext_Fn>(Zem_Get_Shared_Ptr(kPdu_Grid_Filter_Ext));
    if (!filter) return missing(kPdu_Grid_Filter_Ext);
    return Shoot_Opened([grid, filter] { filter(grid, "sup_code"); }, file);
  }
  if (what == QLatin1String("tree_menu")) {
    if (!tree) return missing("deptTree");
    return Shoot_Opened([tree] { Click(tree->viewport(), QPoint(40, 10), Qt::RightButton); }, file, tree);
  }
  return QStringLiteral("unknown picture \"%1\" (zem_demo --show list names them)").arg(what);
}
