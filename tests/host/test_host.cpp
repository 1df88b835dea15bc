// The host module: registration by name and the default dialogs, answered by a timer as a user would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCalendarWidget>
#include <QDialog>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "core/text/code_page.h"
#include "frame/pub_ptr.h"
#include "host/zem_host.h"
#include "core/data/para.h"
#include "toolkit/tk_datetime.h"
#include "toolkit/tk_menu.h"

namespace {

QApplication* App() {
  static QTemporaryDir* config = new QTemporaryDir();  // user preferences stay out of the real home
  static QApplication* app = [] {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_CONFIG_HOME", config->path().toLocal8Bit().constData(), 1);
    static int argc = 1;
    static char name[] = "test_host";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return app;
}

// Answers the next modal dialog with answer(dialog) once it is up.
void Answer_Next_Dialog(std::function<void(QDialog*)> answer) {
  auto* timer = new QTimer(App());
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, answer] {
    if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      answer(d);
    }
  });
  timer->start();
}

std::string Gbk(const char16_t* s) {
  char out[256] = {};
  Zem_W_To_MB(ZEM_CP_GBK, s, -1, out, sizeof out);
  return out;
}

// Every host function name the controls may call has a default after the one registration call, so a
// name added to frame/host_funcs.h without a default fails here. The remote-call hook and the two TLS
// proxy objects are the application's own framework pieces, not defaults of a host module.
TEST(HostModule, EveryControlHostNameHasADefault) {
  App();
  EXPECT_EQ(Zem_Host_Register_Defaults(), 26);
  int count = 0;
  const char* const* names = Zem_Host_Func_Names(&count);
  const QStringList framework = {kRcall_Prepare_Handle, kSsl_Proxy_Client_Ptr, kSsl_Proxy_Server_Ptr};
  for (int i = 0; i < count; i++) {
    if (framework.contains(QLatin1String(names[i]))) continue;
    EXPECT_NE(Get_Pub_Ptr(names[i]), nullptr) << names[i];
  }
  EXPECT_EQ(Get_Pub_Ptr(kGui_Inp_Str_W), reinterpret_cast<void*>(&Zem_Host_Inp_Str_W));
  auto memory = reinterpret_cast<Gui_Get_Memory_Usage_Fn>(Get_Pub_Ptr(kGui_Get_Memory_Usage));
  EXPECT_GT(memory(), 0);
  // The board keeps the last code chosen per dictionary for the rest of the application.
  auto board = reinterpret_cast<Board_Obj_Handle_Fn>(Get_Pub_Ptr(kBoard_Obj_Handle));
  board("sup", "S003");
  char kept[16] = "";
  Pub_Para_Get_Str(u"board.sup", kept, sizeof kept);
  EXPECT_STREQ(kept, "S003");
}

TEST(HostModule, InputBoxes) {
  App();
  // narrow: the GBK box (max_len counts bytes), else the UTF-16 one (code units); buffer: afterwards
  struct Case { const char* name; bool narrow, accept; QString typed; int max_len, result; std::u16string buffer; };
  const Case cases[] = {
      {"confirmed", false, true, QString::fromUtf16(u"查找 abc"), 60, 1, u"查找 abc"},
      {"confirmed, cut at max_len", false, true, QString::fromUtf16(u"一二三四五"), 3, 1, u"一二三"},
      {"cancelled leaves the buffer", false, false, QStringLiteral("ignored"), 60, 0, u"旧"},
      // 6 bytes hold 部门 (4) and A (1), not half of 编.
      {"narrow: cut at a whole GBK character", true, true, QString::fromUtf16(u"部门A编码"), 6, 1, u"部门A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Answer_Next_Dialog([&](QDialog* d) {
      auto* box = qobject_cast<QInputDialog*>(d);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->labelText(), QString::fromUtf16(u"查找内容"));
      EXPECT_EQ(box->windowTitle(), c.narrow ? QString::fromUtf16(u"标题") : box->windowTitle());
      EXPECT_EQ(box->textValue(), QString::fromUtf16(u"旧"));
      box->setTextValue(c.typed);
      c.accept ? box->accept() : box->reject();
    });
    if (c.narrow) {
      char buffer[16];
      std::strcpy(buffer, Gbk(u"旧").c_str());
      EXPECT_EQ(Zem_Host_Inp_Str(Gbk(u"查找内容").c_str(), buffer, c.max_len, Gbk(u"标题").c_str()), c.result);
      EXPECT_EQ(std::string(buffer), Gbk(c.buffer.c_str()));
    } else {
      char16_t buffer[61] = u"旧";
      EXPECT_EQ(Zem_Host_Inp_Str_W(u"查找内容", buffer, c.max_len, nullptr), c.result);
      EXPECT_EQ(std::u16string(buffer), c.buffer);
    }
  }
}

TEST(HostModule, CalendarKeepsYyyymmdd) {
  App();
  SetClock([] { return QDateTime(QDate(2023, 10, 17), QTime(8, 0)); });
  Pub_Para_Put_Int(u"tmp.calendar_x", 120);
  Pub_Para_Put_Int(u"tmp.calendar_y", 90);
  // shown: what the calendar starts on; picked empty: cancel
  struct Case { const char* name; const char* before; QDate shown; QDate picked; const char* after; };
  const Case cases[] = {
      {"a date moved by a day", "20240229", QDate(2024, 2, 29), QDate(2024, 3, 1), "20240301"},
      {"cancel leaves the text", "20240105", QDate(2024, 1, 5), QDate(), "20240105"},
      {"empty starts on today", "", QDate(2023, 10, 17), QDate(2023, 10, 18), "20231018"},
      {"not a date starts on today", "2023-1", QDate(2023, 10, 17), QDate(2023, 10, 1), "20231001"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char buffer[20];
    std::strcpy(buffer, c.before);
    Answer_Next_Dialog([&](QDialog* d) {
      auto* cal = d->findChild<QCalendarWidget*>();
      ASSERT_NE(cal, nullptr);
      EXPECT_EQ(cal->selectedDate(), c.shown);
      EXPECT_EQ(cal->locale().dayName(1, QLocale::ShortFormat), QString::fromUtf16(u"周一"));
      EXPECT_EQ(cal->locale().standaloneMonthName(3), QString::fromUtf16(u"三月"));
      EXPECT_EQ(d->pos(), QPoint(120, 90));
      if (!c.picked.isValid()) return d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
      cal->setSelectedDate(c.picked);
      QPushButton* ok = d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
      EXPECT_EQ(ok->text(), QString::fromUtf16(u"确定"));
      ok->click();
    });
    EXPECT_EQ(Zem_Host_Calendar_Get(buffer), c.picked.isValid() ? 1 : 0);
    EXPECT_STREQ(buffer, c.after);
  }
  SetClock(nullptr);
}

TEST(HostModule, UserPreferencesRoundTrip) {
  App();
  const std::string key = Gbk(u"cap.部门.显示编码");
  EXPECT_EQ(Zem_Host_User_Para_Get(key.c_str()), nullptr);
  EXPECT_EQ(Zem_Host_User_Para_Save(key.c_str(), Gbk(u"是").c_str(), 0), 1);
  const char* got = Zem_Host_User_Para_Get(key.c_str());
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(std::string(got), Gbk(u"是"));
  EXPECT_EQ(Zem_Host_User_Para_Get(nullptr), nullptr);
  EXPECT_EQ(Zem_Host_User_Para_Save(nullptr, "x", 0), 0);
}

TEST(HostModule, MenuFont) {
  App();
  TPopupMenu menu;
  EXPECT_EQ(Zem_Host_Init_Menu_Font(&menu), 1);
  EXPECT_EQ(menu.menu()->font(), QApplication::font("QMenu"));
  EXPECT_EQ(Zem_Host_Init_Menu_Font(nullptr), 0);
}

}  // namespace
