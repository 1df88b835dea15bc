// What the tests of the controls, the host module and the demo share, on top of the toolkit tests' own
// (tk_test_app.h: ink on a grab, dialogs answered as a user answers them): the application with the
// user's settings and the program's home in a folder of the process's own, short texts, keys typed into
// a widget, forms loaded from .ui text through the palette loader, host functions played by the test,
// and a dictionary database on SQLite or on the PostgreSQL test server.
#pragma once

#include <QBuffer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <string>

#include "controls/controls_test_app.h"
#include "core/data/para.h"
#include "core/text/code_page.h"
#include "dict/dict.h"
#include "dict/dict_mgr.h"
#include "drivers/db_fixture.h"
#include "frame/pub_ptr.h"
#include "host/zem_ui_loader.h"
#include "toolkit/tk_test_app.h"

namespace zt {

// The folder of the process's own that holds the user's settings and is the program's home.
inline QTemporaryDir& Home() {
  static QTemporaryDir home;
  return home;
}

inline QApplication* App() {
  static QApplication* app = [] {
    setenv("XDG_CONFIG_HOME", Home().path().toLocal8Bit().constData(), 1);
    QApplication* a = controlsTestApp();
    Pub_Para_Put_WStr(u"app_home_path", reinterpret_cast<const wchar16*>(Home().path().utf16()));
    return a;
  }();
  return app;
}

inline QString U(const char16_t* s) { return QString::fromUtf16(s); }

inline std::string Gbk(const char16_t* s) {
  char out[512] = {};
  Zem_W_To_MB(ZEM_CP_GBK, s, -1, out, sizeof out);
  return out;
}

// Types text into w after selecting what it holds, then presses last (none: Key_unknown). A character
// outside ASCII comes as an input method delivers it: the character as the key's text.
inline void Type(QWidget* w, const QString& text, Qt::Key last = Qt::Key_Return) {
  if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->selectAll();
  for (QChar c : text) {
    if (c.unicode() < 128) {
      QTest::keyClick(w, char(c.unicode()));
    } else {
      QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
  }
  if (last != Qt::Key_unknown) QTest::keyClick(w, last);
}

// A form from .ui text, made as a host makes it (the package's controls through the palette loader).
inline std::unique_ptr<QWidget> Load_Form(const QString& ui) {
  ZemUiLoader loader;
  QBuffer in;
  in.setData(ui.toUtf8());
  std::unique_ptr<QWidget> form(loader.load(&in));
  EXPECT_NE(form, nullptr) << loader.errorString().toStdString();
  return form;
}

// A host function played by the test: Host<kName, Fn>::Set(body) registers it under its name with the
// behaviour of body (none: it returns 0).
template <const char* Name, typename Fn>
struct Host;
template <const char* Name, typename R, typename... A>
struct Host<Name, R (*)(A...)> {
  static inline std::function<R(A...)> body;
  static R Call(A... a) { return body ? body(a...) : R(); }
  static void Set(std::function<R(A...)> b) {
    body = std::move(b);
    Reg_Pub_Ptr(Name, reinterpret_cast<void*>(&Call));
  }
};

// Names an instance of a suite by its backend ("sqlite", "pg").
inline std::string Backend_Name(const ::testing::TestParamInfo<std::string>& i) { return i.param; }

// A dictionary database: SQLite on a file in a fresh folder, or a schema of its own on the PostgreSQL
// test server (the parameter, "sqlite" or "pg"), with the dictionary tables made and no dictionary of
// the client loaded.
class Dict_Db : public zem_test::Db_Test {
 protected:
  void SetUp() override {
    App(), Db_Test::SetUp();
    if (HasFatalFailure()) return;
    Dict_Client_List()->Clear();
    TSQLCA q;
    ASSERT_EQ(Dict_Create_Def_Tables(&q), 0);
  }
  void TearDown() override {
    Dict_Client_List()->Clear(), Db_Test::TearDown();
  }
  // Runs statements that must succeed, then commits.
  void Sql(std::initializer_list<const char16_t*> sqls) {
    TSQLCA q;
    Ok(q, sqls);
  }
};

}  // namespace zt
