// What the grid's tests share: a SQLite file holding the "dept" dictionary, keys pressed where a user's
// keys land (the editor while it shows), and the text of a message box a step opens.
#pragma once

#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"
#include "core/data/db_connect.h"
#include "core/data/sqlca.h"
#include "dict/dict_mgr.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

// A SQLite database in a temporary folder holding the "dept" dictionary (02 and 06 share no name; 07
// is stopped; 08 and 09 share one); the connection and the dictionary list are emptied afterwards so
// that other tests meet no database.
class MgDict : public ::testing::Test {
 protected:
  void SetUp() override {
    controlsTestApp();
    ASSERT_TRUE(dir_.isValid());
    TDb_Config cfg;
    cfg.driver = "zem_drv_sqlite";
    cfg.text[0] = dir_.filePath(QStringLiteral("dict.db")).toStdU16String();
    Db_Connect_Mgr()->Clear();
    ASSERT_TRUE(Db_Connect_Mgr()->Add_Config(cfg));
    Dict_Client_List()->Clear();
    TSQLCA q;
    ASSERT_EQ(Dict_Create_Def_Tables(&q), 0) << QString::fromUtf16(q.Get_Error_Msg()).toStdString();
    for (const char16_t* sql : {
             u"insert into app_dict_def values('dept','01','总经理办公室',0,0,0,'',1)",
             u"insert into app_dict_def values('dept','02','财务部',0,0,0,'',2)",
             u"insert into app_dict_def values('dept','05','仓储物流部',0,0,0,'',3)",
             u"insert into app_dict_def values('dept','07','旧部门',0,'Y',0,'',4)",
             u"insert into app_dict_def values('dept','08','分部',0,0,0,'',5)",
             u"insert into app_dict_def values('dept','09','分部',0,0,0,'',6)",
             u"insert into app_dict_def values('other','02','not a department',0,0,0,'',1)",
             u"commit"}) {
      ASSERT_EQ(q.Exec(sql), 0) << QString::fromUtf16(q.Get_Error_Msg()).toStdString();
    }
  }
  void TearDown() override {
    Dict_Client_List()->Clear();
    Db_Connect_Mgr()->Clear();
  }
  QTemporaryDir dir_;
};

// A key as the user presses it: into the editor while it shows, else into the grid.
inline void Press(TMG& g, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QWidget* w = g.InplaceEditor() && g.InplaceEditor()->isVisible() ? static_cast<QWidget*>(g.InplaceEditor())
                                                                    : static_cast<QWidget*>(&g);
  QTest::keyClick(w, key, mods);
}

// Text typed as the user types it (Chinese too, as an input method hands it over), where Press sends keys.
inline void Type(TMG& g, const QString& text) {
  for (QChar ch : text) {
    QWidget* w = g.InplaceEditor() && g.InplaceEditor()->isVisible() ? static_cast<QWidget*>(g.InplaceEditor())
                                                                      : static_cast<QWidget*>(&g);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &press);
  }
}

// Runs act; a message box it opens is read and closed. The box's text, empty when none opened.
inline QString Message_Of(const std::function<void()>& act) {
  auto text = std::make_shared<QString>();
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [text] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      *text = box->text();
      box->accept();
    }
  });
  timer.start(10);
  act();
  return *text;
}
