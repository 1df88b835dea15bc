// The default wait box and status line.
#include "host/wait_box.h"

#include <poll.h>

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <functional>
#include <memory>

#include "frame/pub_ptr.h"
#include "host/host_ui.h"
#include "toolkit/tk_statusbar.h"

namespace {

const int kPump_Ms = 20;      // the window's events run at least this often while a call waits
const int kRefresh_Ms = 200;  // the box's time and detail lines
const int kDone_Ms = 10;      // done() is asked this often

class WaitBox : public QDialog {
 public:
  explicit WaitBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("zem_wait_box"));
    setWindowModality(Qt::ApplicationModal);
    setLocale(Host_Locale());
    auto* lay = new QVBoxLayout(this);
    title_ = new QLabel(this);
    title_->setObjectName(QStringLiteral("title"));
    QFont f = title_->font();
    f.setBold(true);
    title_->setFont(f);
    elapsed_ = new QLabel(this);
    elapsed_->setObjectName(QStringLiteral("elapsed"));
    detail_ = new QLabel(this);
    detail_->setObjectName(QStringLiteral("detail"));
    detail_->setWordWrap(true);
    detail_->setMaximumWidth(460);
    detail_->hide();
    auto* row = new QHBoxLayout();
    row->addStretch(1);
    auto* cancel = new QPushButton(Host_Cap(u"dialog", u"取消"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);  // a key typed ahead never presses it; Escape does
    row->addWidget(cancel);
    lay->addWidget(title_);
    lay->addWidget(elapsed_);
    lay->addWidget(detail_);
    lay->addLayout(row);
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
  }

  // Back to a box that shows nothing of an earlier call.
  void Reset() {
    cancelled = false;
    on_cancel = nullptr;
    detail_->clear();
    detail_->hide();
  }

  void Refresh(const Zem_Wait* w, long long now) {
    const QString title = w->title ? QString::fromUtf16(w->title) : Host_Cap(u"dialog", u"正在等待…");
    if (title_->text() != title) {
      title_->setText(title);
      setWindowTitle(title);
    }
    elapsed_->setText(QString::fromUtf16(u"已等待 %1 秒").arg((now - w->started_ms) / 1000));
    if (w->detail) {
      char16_t buf[512];
      const int n = w->detail(w->ctx, buf, 512);
      const QString d = n > 0 ? QString::fromUtf16(buf, n) : QString();
      if (d != detail_->text()) {
        detail_->setText(d);
        detail_->setVisible(!d.isEmpty());
        adjustSize();
      }
    }
  }

  bool cancelled = false;
  std::function<void()> on_cancel;  // the running step's

 protected:
  // 取消, Escape and the close button: the box stays until the call ends.
  void reject() override {
    cancelled = true;
    if (on_cancel) on_cancel();
  }

 private:
  QLabel* title_;
  QLabel* elapsed_;
  QLabel* detail_;
};

// One box kept ready between calls (made, polished and given its window when the event loop first
// runs after the registration): a call shows it at once, without the cost of making a window.
QPointer<WaitBox>& Spare() {
  static QPointer<WaitBox> spare;
  return spare;
}

std::unique_ptr<WaitBox> Take_Box() {
  std::unique_ptr<WaitBox> box(Spare() ? Spare().data() : new WaitBox(nullptr));
  Spare() = nullptr;
  box->Reset();
  return box;
}

void Give_Back(std::unique_ptr<WaitBox> box) {
  if (!box) return;
  box->hide();
  box->Reset();
  if (!Spare()) Spare() = box.release();
}

void Warm() {
  if (Spare()) return;
  auto* box = new WaitBox(nullptr);
  box->ensurePolished();
  box->adjustSize();
  box->winId();
  Spare() = box;
}

// What the host keeps between the steps of one call.
struct Call_State {
  std::unique_ptr<WaitBox> box;
  QPointer<QWidget> before;  // the window that was active when the box showed: it gets the keys back
  long long last_pump = 0;
  long long last_refresh = 0;
};

bool On_Ui_Thread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && qobject_cast<QApplication*>(app) && QThread::currentThread() == app->thread();
}

long long Step_End(const Zem_Wait* w) {
  if (w->until_ms > 0 && (w->deadline_ms == 0 || w->until_ms < w->deadline_ms)) return w->until_ms;
  return w->deadline_ms;
}

// Not yet at the step's end (ZEM_WAIT_TIMEOUT is 0, so "nothing" needs a value of its own).
const int kGoing = INT_MIN + 1;

// The result of a step whose end came (the deadline, else until_ms), or kGoing.
int Past(const Zem_Wait* w, long long now) {
  if (w->deadline_ms > 0 && now >= w->deadline_ms) return ZEM_WAIT_TIMEOUT;
  if (w->until_ms > 0 && now >= w->until_ms) return ZEM_WAIT_AGAIN;
  return kGoing;
}

int g_quiet = 0;  // Zem_Host_Quiet_Waits alive (user-interface thread only)

// When the call's box is due; never for a quiet call.
long long Show_At(const Zem_Wait* w) { return g_quiet > 0 ? LLONG_MAX : w->started_ms + w->show_after_ms; }

void Show_If_Due(Zem_Wait* w, Call_State* st, long long now) {
  if (st->box || now < Show_At(w)) return;
  QWidget* parent = QApplication::activeWindow();
  st->before = parent;
  st->box = Take_Box();
  st->box->Refresh(w, now);
  st->last_refresh = now;
  st->box->adjustSize();
  if (parent) st->box->move(parent->geometry().center() - st->box->rect().center());
  st->box->show();
  st->box->raise();
  st->box->activateWindow();
}

void Refresh_If_Due(Zem_Wait* w, Call_State* st, long long now) {
  if (!st->box || now - st->last_refresh < kRefresh_Ms) return;
  st->last_refresh = now;
  st->box->Refresh(w, now);
}

// Runs the event loop until the step ends. Returns a ZEM_WAIT_* result, INT_MAX when the step is to go
// round again (the box became due: the loop then takes input for it), INT_MIN when the loop was left
// from outside.
int Run_Loop(Zem_Wait* w, Call_State* st) {
  const long long now = Zem_Wait_Now_Ms();
  QEventLoop loop;
  int result = INT_MIN;
  auto finish = [&](int r) {
    if (result != INT_MIN) return;
    result = r;
    loop.quit();
  };
  std::unique_ptr<QSocketNotifier> readable, writable;
  if (w->fd >= 0 && (w->events & POLLIN)) {
    readable = std::make_unique<QSocketNotifier>(w->fd, QSocketNotifier::Read);
    QObject::connect(readable.get(), &QSocketNotifier::activated, &loop, [&] { finish(ZEM_WAIT_READY); });
  }
  if (w->fd >= 0 && (w->events & POLLOUT)) {
    writable = std::make_unique<QSocketNotifier>(w->fd, QSocketNotifier::Write);
    QObject::connect(writable.get(), &QSocketNotifier::activated, &loop, [&] { finish(ZEM_WAIT_READY); });
  }
  QTimer end, done, show, refresh;
  const long long step_end = Step_End(w);
  if (step_end > 0) {
    end.setSingleShot(true);
    end.setTimerType(Qt::PreciseTimer);
    QObject::connect(&end, &QTimer::timeout, &loop, [&] {
      const int past = Past(w, Zem_Wait_Now_Ms());
      finish(past != kGoing ? past : INT_MAX);  // a timer a little early: the step goes round again
    });
    end.start(static_cast<int>(std::clamp<long long>(step_end - now, 0, INT_MAX)));
  }
  if (w->done) {
    QObject::connect(&done, &QTimer::timeout, &loop, [&] {
      if (w->done(w->ctx)) finish(ZEM_WAIT_READY);
    });
    done.start(kDone_Ms);
  }
  if (!st->box) {
    show.setSingleShot(true);
    QObject::connect(&show, &QTimer::timeout, &loop, [&] { finish(INT_MAX); });  // the box is due
    if (Show_At(w) != LLONG_MAX) show.start(static_cast<int>(std::clamp<long long>(Show_At(w) - now, 0, INT_MAX)));
  } else {
    st->box->on_cancel = [&] { finish(ZEM_WAIT_CANCELLED); };
    QObject::connect(&refresh, &QTimer::timeout, &loop, [&] { Refresh_If_Due(w, st, Zem_Wait_Now_Ms()); });
    refresh.start(kRefresh_Ms);
  }
  // Until the box shows, input stays queued for later; the box then takes its own (it is modal).
  loop.exec(st->box ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
  if (st->box) st->box->on_cancel = nullptr;
  st->last_pump = Zem_Wait_Now_Ms();
  return result;
}

int Step(Zem_Wait* w, Call_State* st) {
  for (;;) {
    if (st->box && st->box->cancelled) return ZEM_WAIT_CANCELLED;
    if (w->done && w->done(w->ctx)) return ZEM_WAIT_READY;
    long long now = Zem_Wait_Now_Ms();
    if (const int past = Past(w, now); past != kGoing) return past;
    // Between two turns of the event loop, the socket alone: quick round trips cost no loop.
    if (w->fd >= 0 && now - st->last_pump < kPump_Ms) {
      long long ms = kPump_Ms - (now - st->last_pump);
      const long long end = Step_End(w);
      if (end > 0) ms = std::min(ms, end - now);
      pollfd p{w->fd, w->events, 0};
      const int r = poll(&p, 1, static_cast<int>(std::max(0LL, ms)));
      if (r > 0) return ZEM_WAIT_READY;
      now = Zem_Wait_Now_Ms();
      if (const int past = Past(w, now); past != kGoing) return past;
      if (now - st->last_pump < kPump_Ms) continue;
    }
    Show_If_Due(w, st, now);
    const int r = Run_Loop(w, st);
    if (r == INT_MAX) {
      Show_If_Due(w, st, Zem_Wait_Now_Ms());
      continue;
    }
    if (r == INT_MIN) return ZEM_WAIT_ERROR;  // the loop was left from outside (the application quits)
    return r;
  }
}

// Shows the line in the window's status bar; on the user-interface thread.
void Show_Status(const QString& text) {
  QWidget* win = QApplication::activeWindow();
  if (!win) {
    for (QWidget* t : QApplication::topLevelWidgets())
      if (t->isVisible() && qobject_cast<QMainWindow*>(t)) {
        win = t;
        break;
      }
  }
  if (!win) return;
  if (TStatusBar* bar = win->findChild<TStatusBar*>()) {
    TStatusPanels* panels = bar->Panels();
    if (!bar->SimplePanel() && panels->Count() > 0) {
      panels->Items(panels->Count() - 1)->SetText(text);
    } else {
      bar->SetSimpleText(text);
    }
    bar->update();
    return;
  }
  if (auto* main = qobject_cast<QMainWindow*>(win)) main->statusBar()->showMessage(text);
}

}  // namespace

int Zem_Host_Wait_Box(Zem_Wait* w, int op) {
  if (!w || !On_Ui_Thread()) return ZEM_WAIT_NOT_HERE;
  auto* st = static_cast<Call_State*>(w->host);
  if (op == ZEM_WAIT_END) {
    if (st && st->box) {
      Give_Back(std::move(st->box));
      if (st->before) st->before->activateWindow();  // also where no window manager hands the focus back
    }
    delete st;
    w->host = nullptr;
    return 1;
  }
  if (!st) {
    st = new Call_State();
    st->last_pump = Zem_Wait_Now_Ms();
    w->host = st;
  }
  const long long now = Zem_Wait_Now_Ms();
  if (op == ZEM_WAIT_TICK) {
    if (now - st->last_pump >= kPump_Ms) {
      Show_If_Due(w, st, now);
      QCoreApplication::processEvents(st->box ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
      st->last_pump = Zem_Wait_Now_Ms();
      Refresh_If_Due(w, st, st->last_pump);
    }
    return st->box && st->box->cancelled ? ZEM_WAIT_CANCELLED : ZEM_WAIT_READY;
  }
  return Step(w, st);
}

Zem_Host_Quiet_Waits::Zem_Host_Quiet_Waits() { ++g_quiet; }
Zem_Host_Quiet_Waits::~Zem_Host_Quiet_Waits() { --g_quiet; }

int Zem_Host_Status_Text(const char16_t* text, int /*kind*/) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!text || !app) return 0;
  const QString line = QString::fromUtf16(text);
  if (On_Ui_Thread()) {
    Show_Status(line);
  } else {
    QMetaObject::invokeMethod(app, [line] { Show_Status(line); }, Qt::QueuedConnection);
  }
  return 1;
}

int Zem_Host_Register_Wait() {
  if (On_Ui_Thread()) QTimer::singleShot(0, qApp, Warm);
  Gui_Wait_Box_Fn box = Zem_Host_Wait_Box;
  Gui_Status_Text_Fn status = Zem_Host_Status_Text;
  return Zem_Reg_Shared_Ptr(kGui_Wait_Box, reinterpret_cast<void*>(box)) +
         Zem_Reg_Shared_Ptr(kGui_Status_Text, reinterpret_cast<void*>(status));
}
