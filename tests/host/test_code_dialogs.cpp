// The host's code search and code-choice dialogs: what a text finds (code prefix, name part, pinyin
// initials), the initials table, and the four entry points over a real dictionary, answered as a user.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "core/data/db_connect.h"
#include "core/data/sqlca.h"
#include "dict/dict_mgr.h"
#include "host/code_choose_dialog.h"
#include "host/code_dialogs.h"
#include "host/code_search.h"
#include "host/pinyin_initials.h"

namespace {

QApplication* App() {
  static QApplication* app = [] {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The driver library lies beside the test binary.
    if (!std::getenv("TARVOK_DLL_PATH"))
      setenv("TARVOK_DLL_PATH", std::filesystem::read_symlink("/proc/self/exe").parent_path().c_str(), 1);
    static int argc = 1;
    static char name[] = "test_host_code";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return app;
}

QString U(const char16_t* s) { return QString::fromUtf16(s); }

// Answers the next choice dialog once it is up.
void Answer(std::function<void(CodeChooseDialog*)> answer) {
  QTimer::singleShot(0, [answer] {
    for (int i = 0; i < 200; ++i) {
      if (auto* d = qobject_cast<CodeChooseDialog*>(QApplication::activeModalWidget())) return answer(d);
      QTest::qWait(10);
    }
  });
}

}  // namespace

TEST(CodeSearch, FindsByCodePrefixNamePartAndInitials) {
  CodeSearch s;
  s.setEntries({{"04", U(u"采购部")}, {"02", U(u"财务部")}, {"05", U(u"仓储物流部")}, {"1002", U(u"银行存款")},
                {"07", U(u"行政部")}, {"S1", "Sales Dept"}, {"W3", U(u"3号仓库")}});
  // Rows in order: each text extends or replaces the one before, as a user types.
  struct Row {
    const char* what;
    QString text;
    QStringList codes;
  } rows[] = {
      {"nothing typed: all", "", {"04", "02", "05", "1002", "07", "S1", "W3"}},
      {"code prefix", "0", {"04", "02", "05", "07"}},
      {"a longer prefix", "10", {"1002"}},
      {"initials", "cgb", {"04"}},
      {"initials, upper case", "CGB", {"04"}},
      {"one letter: every initial and code", "c", {"04", "02", "05", "1002", "W3"}},
      {"typing on narrows: inside a name too", "cw", {"02", "05"}},
      {"... to one", "cwb", {"02"}},
      {"a polyphone answers to each reading (yin hang)", "yh", {"1002"}},
      {"... (xing zheng)", "xz", {"07"}},
      {"a part of a name", U(u"物流"), {"05"}},
      {"Latin names ignore case", "sales", {"S1"}},
      {"digits of a name match themselves", "3hck", {"W3"}},
      {"nothing found", "zq", {}},
  };
  for (const Row& r : rows) {
    QStringList got;
    for (int i : s.filter(r.text)) got << s.entry(i).code;
    EXPECT_EQ(got, r.codes) << r.what;
  }
  EXPECT_EQ(s.findCode("1002"), 3);
  EXPECT_EQ(s.findCode("100"), -1);
  // The table covers code page 936; a polyphone has both initials, a Latin letter none.
  int total = 0, covered = 0;
  Pinyin_Gbk_Coverage(&total, &covered);
  EXPECT_GT(total, 20900);
  EXPECT_GE(covered * 1000, total * 998);
  EXPECT_EQ(Pinyin_Initials(U'行'), (1u << ('x' - 'a')) | (1u << ('h' - 'a')));
  EXPECT_EQ(Pinyin_Initials(U'采'), 1u << ('c' - 'a'));
  EXPECT_EQ(Pinyin_Initials(U'A'), 0u);
}

class CodeDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    ASSERT_TRUE(dir_.isValid());
    TDb_Config cfg;
    cfg.driver = "zem_drv_sqlite";
    cfg.text[0] = dir_.filePath(QStringLiteral("code.db")).toStdU16String();
    Db_Connect_Mgr()->Clear();
    ASSERT_TRUE(Db_Connect_Mgr()->Add_Config(cfg));
    Dict_Client_List()->Clear();
    TSQLCA q;
    ASSERT_EQ(Dict_Create_Def_Tables(&q), 0);
    for (const char16_t* sql : {u"insert into app_dict_def values('dept','01','总经理办公室',0,0,0,'',1)",
                                u"insert into app_dict_def values('dept','02','财务部',0,0,0,'',2)",
                                u"insert into app_dict_def values('dept','04','采购部',0,0,0,'',4)",
                                u"insert into app_dict_def values('dept','05','仓储物流部',0,0,0,'',5)",
                                u"insert into app_dict_def values('dept','08','旧部门',0,'Y',0,'',8)", u"commit"})
      ASSERT_EQ(q.Exec(sql), 0);
  }
  void TearDown() override {
    Dict_Client_List()->Clear();
    Db_Connect_Mgr()->Clear();
  }
  QTemporaryDir dir_;
};

TEST_F(CodeDialogs, EntryPointsAnsweredAsAUser) {
  TSQLCA area;
  area.Set_Field_Count(2);
  for (const char16_t* code : {u"A", u"B", u"C"}) {
    area.Add_Row();
    area.Set_Value(0, code);
    area.Set_Value(1, code == std::u16string(u"B") ? u"乙" : u"其他");
  }
  TSQLCA chosen;
  chosen.Set_Field_Count(1);
  chosen.Add_Row();
  chosen.Set_Value(0, u"04");
  QStringList seen;
  struct Row {
    const char* what;
    std::function<void(CodeChooseDialog*)> answer;  // null: no dialog may open
    std::function<int(char*)> call;
    int result;
    std::string code;
  } rows[] = {
      {"select: the buffer's first code is current, Down moves on",
       [](CodeChooseDialog* d) { QTest::keyClick(d->searchEdit(), Qt::Key_Down), d->accept(); },
       [](char* b) { return std::strcpy(b, "02,04"), Zem_Host_Code_Select("dept", b); }, 1, "04"},
      {"select: a stopped entry is not offered",
       [&](CodeChooseDialog* d) { seen << QString::number(d->shownCount()), d->reject(); },
       [](char* b) { return Zem_Host_Code_Select("dept", b); }, 0, ""},
      {"key search: an exact name is taken at once", nullptr,
       [](char* b) { return Zem_Host_Code_Key_Search("dept", u"财务部", b); }, 1, "02"},
      {"key search: initials finding one entry are taken at once", nullptr,
       [](char* b) { return Zem_Host_Code_Key_Search("dept", u"zjl", b); }, 1, "01"},
      {"key search: several found open the dialog with the text",
       [&](CodeChooseDialog* d) {
         seen << d->searchEdit()->text() + QString::number(d->shownCount());
         QTest::keyClick(d->searchEdit(), Qt::Key_Down), QTest::keyClick(d->searchEdit(), Qt::Key_Return);
       },
       [](char* b) { return Zem_Host_Code_Key_Search("dept", u"cw", b); }, 1, "05"},
      {"dbio select over a query area, by name", [](CodeChooseDialog* d) { d->setSearchText(U(u"乙")), d->accept(); },
       [&](char* b) { return Zem_Host_Dbio_Select(&area, b, 0); }, 1, "B"},
      {"multi select: ticked order kept, the area rewritten",
       [&](CodeChooseDialog* d) {
         seen << d->chosenCodes().join(',');
         d->setSearchText("01");
         d->list()->model()->setData(d->list()->model()->index(0, 0), Qt::Checked, Qt::CheckStateRole);
         d->setSearchText("02");
         d->list()->model()->setData(d->list()->model()->index(0, 0), Qt::Checked, Qt::CheckStateRole);
         d->accept();
       },
       [&](char*) { return Zem_Host_Code_Multi_Select("dept", &chosen); }, 1, "04,01,02"},
      {"multi select cancelled leaves the area", [](CodeChooseDialog* d) { d->chooseAllShown(true), d->reject(); },
       [&](char*) { return Zem_Host_Code_Multi_Select("dept", &chosen); }, 0, "04,01,02"},
  };
  for (const Row& r : rows) {
    if (r.answer) Answer(r.answer);
    char buffer[100] = "";
    EXPECT_EQ(r.call(buffer), r.result) << r.what;
    std::string got = buffer;
    if (std::string(r.what).rfind("multi", 0) == 0) {
      got.clear();
      for (int i = 0; i < chosen.Get_Row_Count(); ++i)
        got += (i ? "," : "") + QString::fromUtf16(chosen.Get_Row_Value(i, 0)).toStdString();
    }
    EXPECT_EQ(got, r.code) << r.what;
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << r.what;
  }
  EXPECT_EQ(seen, (QStringList{"4", "cw2", "04"}));
}
