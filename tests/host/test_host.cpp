// The host module: registration by name and the default dialogs, answered by a timer as a user would.
#include <QCalendarWidget>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QMenu>
#include <cstring>

#include "controls/support.h"
#include <QCheckBox>
#include <QLabel>
#include <QTableWidget>

#include "core/data/save_changes.h"
#include "host/host_ui.h"
#include "host/save_conflict_dialog.h"
#include "host/zem_host.h"
#include "toolkit/tk_datetime.h"
#include "toolkit/tk_menu.h"

namespace {

using zt::Gbk;
using zt::U;

// Every host function name the controls may call has a default after the one registration call, so a
// name added to frame/host_funcs.h without a default fails here. The remote-call hook and the two TLS
// proxy objects are the application's own framework pieces, not defaults of a host module.
TEST(HostModule, EveryControlHostNameHasADefault) {
  zt::App();
  EXPECT_EQ(Zem_Host_Register_Defaults(), 29);
  int count = 0;
  const char* const* names = Zem_Host_Func_Names(&count);
  const QStringList framework = {kRcall_Prepare_Handle, kSsl_Proxy_Client_Ptr, kSsl_Proxy_Server_Ptr};
  for (int i = 0; i < count; i++)
    if (!framework.contains(QLatin1String(names[i]))) { EXPECT_NE(Get_Pub_Ptr(names[i]), nullptr) << names[i]; }
  EXPECT_EQ(Get_Pub_Ptr(kGui_Inp_Str_W), reinterpret_cast<void*>(&Zem_Host_Inp_Str_W));
  EXPECT_GT(reinterpret_cast<Gui_Get_Memory_Usage_Fn>(Get_Pub_Ptr(kGui_Get_Memory_Usage))(), 0) << "memory in use";
  // The board keeps the last code chosen per dictionary for the rest of the application.
  char kept[16] = "";
  reinterpret_cast<Board_Obj_Handle_Fn>(Get_Pub_Ptr(kBoard_Obj_Handle))("sup", "S003");
  Pub_Para_Get_Str(u"board.sup", kept, sizeof kept);
  EXPECT_STREQ(kept, "S003");
}

// The input boxes, their buttons in Chinese once Qt's own texts are (an edit field's menu too).
TEST(HostModule, InputBoxes) {
  zt::App();
  EXPECT_TRUE(Host_Use_Chinese_Qt_Texts() && QCoreApplication::translate("QLineEdit", "&Undo") != QStringLiteral("&Undo"));
  // narrow: the GBK box (max_len counts bytes), else the UTF-16 one (code units); buffer: afterwards
  struct Case { const char* name; bool narrow, accept; QString typed; int max_len, result; std::u16string buffer; };
  const Case cases[] = {
      {"confirmed", false, true, U(u"查找 abc"), 60, 1, u"查找 abc"},
      {"confirmed, cut at max_len", false, true, U(u"一二三四五"), 3, 1, u"一二三"},
      {"cancelled leaves the buffer", false, false, QStringLiteral("ignored"), 60, 0, u"旧"},
      // 6 bytes hold 部门 (4) and A (1), not half of 编.
      {"narrow: cut at a whole GBK character", true, true, U(u"部门A编码"), 6, 1, u"部门A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    zt::Answer([&](QWidget* d) {
      auto* box = qobject_cast<QInputDialog*>(d);
      ASSERT_NE(box, nullptr);
      EXPECT_TRUE(box->labelText() == U(u"查找内容") && box->textValue() == U(u"旧"));
      if (c.narrow) { EXPECT_EQ(box->windowTitle(), U(u"标题")); }
      QStringList buttons;
      for (QAbstractButton* b : d->findChild<QDialogButtonBox*>()->buttons()) buttons << b->text();
      buttons.sort();
      EXPECT_EQ(buttons.join(' '), U(u"取消 确定"));
      box->setTextValue(c.typed);
      c.accept ? box->accept() : box->reject();
    });
    char narrow[16];
    char16_t wide[61] = u"旧";
    std::strcpy(narrow, Gbk(u"旧").c_str());
    const int result = c.narrow ? Zem_Host_Inp_Str(Gbk(u"查找内容").c_str(), narrow, c.max_len, Gbk(u"标题").c_str())
                                : Zem_Host_Inp_Str_W(u"查找内容", wide, c.max_len, nullptr);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(c.narrow ? std::string(narrow) : Gbk(wide), Gbk(c.buffer.c_str())) << "the buffer afterwards";
  }
}

TEST(HostModule, CalendarKeepsYyyymmdd) {
  zt::App();
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
    zt::Answer([&](QWidget* d) {
      auto* cal = d->findChild<QCalendarWidget*>();
      ASSERT_NE(cal, nullptr);
      EXPECT_TRUE(cal->selectedDate() == c.shown && d->pos() == QPoint(120, 90));
      EXPECT_EQ(cal->locale().dayName(1, QLocale::ShortFormat) + cal->locale().standaloneMonthName(3), U(u"周一三月"));
      if (!c.picked.isValid()) return d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
      cal->setSelectedDate(c.picked);
      QPushButton* ok = d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
      EXPECT_EQ(ok->text(), U(u"确定"));
      ok->click();
    });
    EXPECT_TRUE(Zem_Host_Calendar_Get(buffer) == (c.picked.isValid() ? 1 : 0) && std::string(buffer) == c.after) << buffer;
  }
  SetClock(nullptr);
}

TEST(HostModule, UserPreferencesRoundTrip) {
  zt::App();
  const std::string key = Gbk(u"cap.部门.显示编码");
  EXPECT_EQ(Zem_Host_User_Para_Get(key.c_str()), nullptr);
  EXPECT_EQ(Zem_Host_User_Para_Save(key.c_str(), Gbk(u"是").c_str(), 0), 1);
  const char* got = Zem_Host_User_Para_Get(key.c_str());
  EXPECT_TRUE(got && std::string(got) == Gbk(u"是"));
  EXPECT_TRUE(Zem_Host_User_Para_Get(nullptr) == nullptr && Zem_Host_User_Para_Save(nullptr, "x", 0) == 0);
}

TEST(HostModule, MenuFont) {
  zt::App();
  TPopupMenu menu;
  EXPECT_TRUE(Zem_Host_Init_Menu_Font(&menu) == 1 && menu.menu()->font() == QApplication::font("QMenu"));
  EXPECT_EQ(Zem_Host_Init_Menu_Font(nullptr), 0);
}

// The save conflict dialog: the row named, each column's three values as the clerk reads them, and
// each button's answer; a merge takes the ticks as the clerk left them.
TEST(HostModule, SaveConflictDialog) {
  zt::App();
  auto conflict = [] {
    TSave_Conflict k;
    k.table = u"vouchers";
    k.row = u"凭证号=V2024016";
    auto field = [](const char16_t* name, const char16_t* orig, const char16_t* mine, const char16_t* theirs, bool orig_null) {
      TSave_Conflict_Field f;
      f.name = name;
      f.caption = name;
      f.orig = orig;
      f.mine = mine;
      f.theirs = theirs;
      f.orig_null = orig_null;
      f.mine_changed = std::u16string(mine) != orig;
      f.theirs_changed = std::u16string(theirs) != orig;
      f.take_theirs = f.theirs_changed && !f.mine_changed;
      return f;
    };
    k.fields = {field(u"amount", u"1000.00", u"3000", u"2000.00", false), field(u"summary", u"钢板", u"钢板", u"冷轧钢板", false),
                field(u"note", u"", u"B", u"", true)};
    return k;
  };
  struct Case {
    const char* name;
    int kind;
    const char* button;
    int choice;
    std::vector<bool> theirs;  // take_theirs afterwards
    const char16_t* caption;   // the area's word for its rows
    const char16_t* says;      // how the question begins
  } cases[] = {
      {"keep mine", TSave_Conflict::CHANGED, "keepMine", TSave_Conflict::KEEP_MINE, {false, true, false}, u"凭证",
       u"凭证（凭证号=V2024016）在您读取之后已被他人修改"},
      {"take theirs", TSave_Conflict::CHANGED, "takeTheirs", TSave_Conflict::TAKE_THEIRS, {false, true, false}, u"凭证",
       u"凭证（"},
      {"merge, the amount ticked by the clerk", TSave_Conflict::CHANGED, "merge", TSave_Conflict::MERGE, {true, true, false},
       u"凭证", u"凭证（"},
      {"cancel", TSave_Conflict::CHANGED, "cancel", TSave_Conflict::CANCEL, {false, true, false}, u"凭证", u"凭证（"},
      {"a deleted row offers no merge; rows without a caption are records", TSave_Conflict::GONE, "merge",
       TSave_Conflict::CANCEL, {false, true, false}, u"", u"记录（凭证号=V2024016）在您读取之后已被他人删除"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSave_Conflict k = conflict();
    k.kind = c.kind;
    k.caption = c.caption;
    QStringList shown;
    QString what;
    zt::Answer(
        [&](QWidget* d) {
          what = d->findChild<QLabel*>(QStringLiteral("what"))->text();
          auto* t = d->findChild<QTableWidget*>(QStringLiteral("fields"));
          for (int r = 0; r < t->rowCount(); r++) {
            QStringList cells;
            for (int col = 0; col < 4; col++) cells << t->item(r, col)->text();
            shown << cells.join(u'|');
          }
          if (auto* tick = d->findChild<QCheckBox*>(QStringLiteral("take_amount"))) tick->setChecked(true);
          if (!zt::Click(d, QLatin1String(c.button))) zt::Click(d, QStringLiteral("cancel"));
        },
        "zem_host_save_conflict");
    EXPECT_EQ(Zem_Host_Save_Conflict(&k), c.choice);
    EXPECT_TRUE(what.startsWith(U(c.says)) && !what.contains(QStringLiteral("vouchers"))) << what.toStdString();
    EXPECT_EQ(shown, (QStringList{U(u"amount|1000.00|3000|2000.00"), U(u"summary|钢板|钢板|冷轧钢板"), U(u"note|（空）|B|")}));
    std::vector<bool> theirs;
    for (const TSave_Conflict_Field& f : k.fields) theirs.push_back(f.take_theirs);
    EXPECT_EQ(theirs, c.theirs);
  }
}

}  // namespace
