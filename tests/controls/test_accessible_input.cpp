// The small controls as a screen reader reads them (Qt's accessibility interfaces and events, in
// process) and as an input method writes into them (preedit, then commit, as a pinyin method sends them).
#include <QApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <functional>
#include <vector>

#include "controls/combo/Combobox_ext.h"
#include "controls/grid/Mg.h"
#include "controls/inputs/Mdate.h"
#include "controls/inputs/Mgs.h"
#include "controls/inputs/Mstatusbar.h"
#include "controls/accessible_test.h"
#include "controls_test_app.h"

// The status bar's panels are its children, each read by its text; a changed text is told at once. The
// date box is one group named by its label, its value the date; the search edit's buttons are push buttons.
TEST(AccessibleInput, StatusBarDateBoxAndSearchButtons) {
  controlsTestApp();
  Reader_Ear ear;
  QWidget form;
  MStatusBar bar(&form);
  bar.SetPanelTexts({QString::fromUtf16(u"数据库：demo.db"), QString::fromUtf16(u"行数：12"), QString()});
  QAccessibleInterface* b = QAccessible::queryAccessibleInterface(&bar);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->role(), QAccessible::StatusBar);
  ASSERT_EQ(b->childCount(), 3);
  EXPECT_EQ(b->child(0)->text(QAccessible::Name), QString::fromUtf16(u"数据库：demo.db"));
  EXPECT_EQ(b->child(1)->text(QAccessible::Name), QString::fromUtf16(u"行数：12"));
  struct Change {
    const char* what;
    bool simple;
    int panel;
    const char16_t* text;
  } changes[] = {{"a panel's text", false, 2, u"已保存"}, {"the simple text", true, 0, u"正在保存…"}};
  for (const Change& c : changes) {
    bar.SetSimplePanel(c.simple);
    ear.Clear();
    if (c.simple) bar.SetSimpleText(QString::fromUtf16(c.text));
    else bar.Panels()->Items(c.panel)->SetText(QString::fromUtf16(c.text));
    ASSERT_EQ(ear.Events().size(), 1u) << c.what;
    EXPECT_EQ(ear.Events()[0].type, QAccessible::NameChanged) << c.what;
    EXPECT_EQ(ear.Events()[0].child, c.panel) << c.what;
    EXPECT_EQ(b->child(c.panel)->text(QAccessible::Name), QString::fromUtf16(c.text)) << c.what;
  }

  QLabel label(QString::fromUtf16(u"凭证日期"), &form);
  TMDate date(&form);
  label.setBuddy(&date);
  struct Date {
    const char* set;
    const char* value;
  } dates[] = {{"20261206", "2026-12-06"}, {"", ""}};
  for (const Date& d : dates) {
    date.Set_Date(d.set);
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(&date);
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(i->role(), QAccessible::Grouping);
    EXPECT_EQ(i->text(QAccessible::Name), QString::fromUtf16(u"凭证日期"));
    EXPECT_EQ(i->text(QAccessible::Value), QString::fromLatin1(d.value)) << d.set;
  }

  TMGS search(&form);
  search.SetOptions(TMGS::goSearch | TMGS::goAdd);
  for (auto [option, name] : {std::pair{TMGS::goSearch, u"查找"}, std::pair{TMGS::goAdd, u"增加"}}) {
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(search.Button(option));
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(i->role(), QAccessible::Button);
    EXPECT_FALSE(i->state().checkable);
    EXPECT_EQ(i->text(QAccessible::Name), QString::fromUtf16(name));
  }
}

// Chinese typed through an input method: the preedit stays in the field uncommitted, the candidate
// window's place is at the caret inside the field, and the committed text lands where the user typed.
TEST(AccessibleInput, InputMethodWritesIntoGridComboAndSearchEdit) {
  controlsTestApp();
  QWidget form;
  form.resize(700, 400);
  TMG grid(&form);
  grid.setGeometry(0, 0, 400, 200);
  grid.SetColCount(3);
  grid.SetRowCount(4);
  grid.SetADEF({QStringLiteral("部门"), QStringLiteral("备注")});
  TComboBox_Ext combo(&form);
  combo.setGeometry(420, 0, 200, 24);
  TMGS search(&form);
  search.setGeometry(420, 40, 200, 120);
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  auto enter = [&](int col) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    return grid.Cells(col, 1);
  };
  struct Target {
    const char* what;
    std::function<void()> focus;
    std::function<QString()> landed;  // what the control holds once the user is done
  } targets[] = {
      {"grid, no editor open yet", [&] { grid.setFocus(); }, [&] { return enter(1); }},
      {"grid, its editor open", [&] { grid.FocusCell(2, 1); }, [&] { return enter(2); }},
      {"combo box", [&] { combo.setFocus(); }, [&] { return combo.lineEdit()->text(); }},
      {"search edit", [&] { search.Code_Edit()->setFocus(); }, [&] { return search.Code_Edit()->text(); }},
  };
  for (const Target& t : targets) {
    t.focus();
    QWidget* w = QApplication::focusWidget();
    ASSERT_NE(w, nullptr) << t.what;
    EXPECT_TRUE(w->testAttribute(Qt::WA_InputMethodEnabled) && w->inputMethodQuery(Qt::ImEnabled).toBool()) << t.what;
    QInputMethodEvent preedit(QStringLiteral("cai'gou"), {{QInputMethodEvent::Cursor, 7, 1, QVariant()}});
    QApplication::sendEvent(w, &preedit);
    w = QApplication::focusWidget();  // the grid hands the text on to its editor
    EXPECT_EQ(w->inputMethodQuery(Qt::ImSurroundingText).toString(), QString()) << t.what << ": nothing committed yet";
    const QRect caret = w->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    EXPECT_TRUE(w->rect().contains(caret.center())) << t.what << ": candidates at the caret";
    EXPECT_GT(caret.left(), 10) << t.what << ": the caret stands after the preedit";
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf16(u"采购部"));
    QApplication::sendEvent(w, &commit);
    EXPECT_EQ(t.landed(), QString::fromUtf16(u"采购部")) << t.what;
  }
}
