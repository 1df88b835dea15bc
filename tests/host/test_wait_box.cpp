// The default wait box, driven as a user meets it: a window that keeps painting
// while the call waits, the box after half a second with its title, time and detail, 取消 and Escape
// ending the wait, nothing shown for worker threads, and real statements on the PostgreSQL test server
// stopped under the box (Escape, 取消 in a lock wait and on a stopped backend, the deadline).
#include <signal.h>
#include <unistd.h>

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <thread>

#include "controls/combo/Combobox_ext.h"
#include "controls/support.h"
#include "dict/dict_notify.h"
#include "frame/host_funcs.h"
#include "frame/wait.h"
#include "host/wait_box.h"

namespace {

using zt::U;

// A window that counts its paints.
class Painted : public QWidget {
 public:
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent*) override { ++paints; }
};

QDialog* Box() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == QLatin1String("zem_wait_box") && w->isVisible()) return qobject_cast<QDialog*>(w);
  return nullptr;
}

QString Label(QDialog* box, const char* name) {
  QLabel* l = box ? box->findChild<QLabel*>(QLatin1String(name)) : nullptr;
  return l ? l->text() : QStringLiteral("(none)");
}

// What the box showed when the test acted on it.
struct Seen {
  bool early = false;  // a box within the first half second
  QString title, elapsed, detail;
  bool modal = false;
};

// Looks at the screen every 50 ms from the wait's start: records the box, then acts once it shows
// and act_when(box) holds.
void Watch(Seen* seen, const std::function<bool(QDialog*)>& act_when, const std::function<void(QDialog*)>& act) {
  auto* t = new QTimer(qApp);
  const long long start = Zem_Wait_Now_Ms();
  QObject::connect(t, &QTimer::timeout, qApp, [=] {
    QDialog* box = Box();
    const long long waited = Zem_Wait_Now_Ms() - start;
    if (box && waited < 450) seen->early = true;
    if (!box || !act_when(box)) {
      if (waited > 20000) t->deleteLater();
      return;
    }
    seen->title = Label(box, "title");
    seen->elapsed = Label(box, "elapsed");
    seen->detail = Label(box, "detail");
    seen->modal = box->windowModality() == Qt::ApplicationModal;
    t->stop();
    t->deleteLater();
    act(box);
  });
  t->start(50);
}

}  // namespace

class WaitBox_Db : public zem_test::Db_Test {};

// A statement on the user-interface thread, under the real box: stopped with Escape (a long one),
// 取消 (one waiting for another session's lock, whose user and statement the box names; one on a
// stopped backend, whose connection is given up) or by its deadline. The window painted and its timers
// ran meanwhile, the modal box came after half a second and went with the call, the call returns with
// the user's sentence, and the session goes on.
TEST_P(WaitBox_Db, StatementStoppedUnderTheBox) {
  zt::App();
  Zem_Host_Register_Wait();
  TSQLCA q;
  Ok(q, {u"create table w(k integer primary key, v integer)", u"insert into w values(1, 1)"});
  PGconn* blocker = PQconnectdb(zem_test::Utf8(cfg_.text[0].c_str()).c_str());
  enum Stop { CANCEL, LOCK, STOPPED, DEADLINE };
  struct Row { const char* name; Stop how; const char16_t* sql; const char* says; const char16_t* user; };
  const Row rows[] = {
      {"Escape on a long statement", CANCEL, u"select pg_sleep(20)", "57014: cancelled by the user after",
       u"已取消：数据库操作已中止，没有留下任何修改"},
      {"取消 a lock wait", LOCK, u"update w set v = 3 where k = 1", "57014: cancelled by the user after",
       u"已取消：数据库操作已中止，没有留下任何修改"},
      {"取消 on a stopped backend", STOPPED, u"select 1", "the server did not answer it in time, so the connection was closed",
       u"已取消：数据库操作已中止，没有留下任何修改"},
      {"the deadline", DEADLINE, u"select pg_sleep(20)", "57014: statement timeout: no answer within 2 s",
       u"数据库在 2 秒内没有完成这次操作，已取消；这次操作没有留下任何修改"},
  };
  Painted window;
  window.resize(200, 100);
  window.show();
  QTimer repaint;
  QObject::connect(&repaint, &QTimer::timeout, &window, [&] { window.update(); });
  repaint.start(30);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    QApplication::processEvents();
    const int paints = window.paints;
    if (r.how == LOCK) {
      PQclear(PQexec(blocker, "begin"));
      PQclear(PQexec(blocker, "update w set v = 2 where k = 1"));
    }
    pid_t stopped = 0;
    if (r.how == STOPPED) {
      ASSERT_EQ(q.Exec(u"select pg_backend_pid()"), 0);
      stopped = QString::fromUtf16(q.Get_Value(0)).toInt();
      ASSERT_EQ(kill(stopped, SIGSTOP), 0);
    }
    q.Set_Statement_Timeout(r.how == DEADLINE ? 2 : 0);
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, qApp, [&] { ++ticks; });
    tick.start(10);
    Seen seen;
    Watch(&seen,
          [&](QDialog* box) { return r.how != LOCK || Label(box, "detail").contains(U(u"update w set v = 2")); },
          [&](QDialog* box) {
            if (r.how == CANCEL) QTest::keyClick(box, Qt::Key_Escape);
            if (r.how == LOCK || r.how == STOPPED) box->findChild<QPushButton*>(QStringLiteral("cancel"))->click();
          });
    EXPECT_NE(q.Exec(r.sql), 0);
    tick.stop();
    if (stopped) kill(stopped, SIGCONT);
    q.Set_Statement_Timeout(0);
    EXPECT_EQ(Box(), nullptr) << "the box went with the call";
    EXPECT_GT(ticks, 20) << "the event loop ran while the statement waited";
    EXPECT_GT(window.paints - paints, 5) << "the window painted while the statement waited";
    EXPECT_FALSE(seen.early);
    EXPECT_TRUE(seen.modal);
    EXPECT_EQ(seen.title, U(u"正在等待数据库…"));
    EXPECT_TRUE(seen.elapsed.startsWith(U(u"已等待 "))) << seen.elapsed.toStdString();
    if (r.how == LOCK) {
      EXPECT_TRUE(seen.detail.startsWith(U(u"被用户 zem 的会话（进程 "))) << seen.detail.toStdString();
      PQclear(PQexec(blocker, "commit"));
    }
    EXPECT_NE(zem_test::Utf8(q.Get_Error_Msg()).find(r.says), std::string::npos) << zem_test::Utf8(q.Get_Error_Msg());
    EXPECT_EQ(QString::fromUtf16(q.Get_User_Msg()), U(r.user));
    ASSERT_EQ(q.Exec(u"select v from w"), 0) << zem_test::Utf8(q.Get_Error_Msg());
    EXPECT_EQ(QString::fromUtf16(q.Get_Value(0)), r.how == CANCEL ? QStringLiteral("1") : QStringLiteral("2"));
  }
  PQfinish(blocker);
  // A worker thread's statement waits by itself: no box, however long it waits.
  std::atomic<bool> done{false};
  std::thread worker([&] {
    TSQLCA other;
    EXPECT_EQ(other.Exec(u"select pg_sleep(1)"), 0);
    Db_Connect_Mgr()->Release_Thread();
    done = true;
  });
  bool boxed = false;
  while (!done) {
    QTest::qWait(20);
    boxed = boxed || Box();
  }
  worker.join();
  EXPECT_FALSE(boxed);
  // The sessions asking who blocks a statement end with their statement.
  QTest::qWait(200);
  ASSERT_EQ(q.Exec(u"select count(*) from pg_stat_activity where application_name = 'zem_drv_pg lock probe'"), 0);
  EXPECT_EQ(QString::fromUtf16(q.Get_Value(0)), QStringLiteral("0"));
}

class WaitBox_Dict : public zt::Dict_Db {};

// A combo box over a dictionary while the window waits on the database. A change told during a
// statement's wait (the window's session busy meanwhile) is read once the wait is over, and the box
// then lists the new name, with no "cannot refresh" line; a refresh asked while another thread holds
// the dictionary's load waits with the window's timers running, then reads it; a change told while the
// clerk types into the box leaves the typing alone until the focus leaves.
TEST_P(WaitBox_Dict, ADictionaryChangeWhileTheWindowWaits) {
  Zem_Host_Register_Wait();
  using Status = zt::Host<kGui_Status_Text, Gui_Status_Text_Fn>;
  QStringList lines;
  Status::Set([&](const char16_t* text, int) {
    lines << QString::fromUtf16(text);
    return 1;
  });
  Sql({u"insert into app_dict_def values('dept','01','财务部',0,0,0,'',1),('dept','02','销售部',0,0,0,'',2)"});
  QWidget window;
  auto* box = new TComboBox_Ext(&window);
  auto* other = new QLineEdit(&window);
  other->move(0, 40);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  ASSERT_EQ(box->Attach_Dict("dept", 0), 1);
  const std::string conninfo = zem_test::Utf8(cfg_.text[0].c_str());
  auto rename = [&](const char* name) {
    EXPECT_EQ(zem_test::Pg_Admin(conninfo.c_str(), std::string("update app_dict_def set name = '") + name +
                                                       "' where dict_id = 'dept' and code = '02'"), "");
    Dict_Client_List()->Mark_Changed("dept");
    Dict_Notify()->Tell_Observers("dept");
  };
  int ticks = 0;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, qApp, [&] { ++ticks; });
  struct Step { const char* name; std::function<void()> act; QStringList listed; };
  const Step steps[] = {
      {"told during a statement's wait",
       [&] {
         QTimer::singleShot(200, qApp, [&] { rename("营销部"); });
         TSQLCA q;
         EXPECT_EQ(q.Exec(u"select pg_sleep(1)"), 0) << zem_test::Utf8(q.Get_Error_Msg());
       },
       {U(u"财务部"), U(u"营销部")}},
      {"a refresh while another thread loads",
       [&] {
         EXPECT_EQ(zem_test::Pg_Admin(conninfo.c_str(), "update app_dict_def set name = '市场部' where code = '02'"), "");
         std::atomic<bool> held{false};
         std::thread loader([&] {
           auto lock = Dict_Client_List()->Get_Dict("dept", 0)->Load_Lock();
           held = true;
           std::this_thread::sleep_for(std::chrono::milliseconds(800));
         });
         while (!held) std::this_thread::yield();
         EXPECT_EQ(Dict_Client_List()->Refresh_Dict("dept"), 1);
         loader.join();
         box->Attach_Dict("dept", -1);
       },
       {U(u"财务部"), U(u"市场部")}},
      {"told while the clerk types",
       [&] {
         box->SetStyle(csDropDown);
         box->setFocus();
         zt::Type(box->lineEdit(), U(u"财"), Qt::Key_unknown);
         rename("推广部");
         QTest::qWait(600);
         EXPECT_EQ(box->lineEdit()->text(), U(u"财")) << "the typing stays while the box has the focus";
         other->setFocus();
       },
       {U(u"财务部"), U(u"推广部")}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    ticks = 0;
    tick.start(10);
    s.act();
    tick.stop();
    EXPECT_GT(ticks, 20) << "the window's timers ran meanwhile";
    if (!QTest::qWaitFor([&] { return box->Items()->toQStringList() == s.listed; }, 5000)) {
      EXPECT_EQ(box->Items()->toQStringList(), s.listed);
    }
  }
  for (const QString& l : lines) EXPECT_FALSE(l.contains(U(u"暂时无法刷新"))) << l.toStdString();
  Status::Set(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Host, WaitBox_Dict, ::testing::Values(std::string("pg")), zt::Backend_Name);

INSTANTIATE_TEST_SUITE_P(Host, WaitBox_Db, ::testing::Values(std::string("pg")), zt::Backend_Name);
