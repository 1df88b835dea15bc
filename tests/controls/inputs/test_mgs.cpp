// TMGS: a list filled from a SQLite query, the line a typed code selects, the keys, the question of
// Check_Return answered on the real box, and where the buttons go.
#include <QMessageBox>

#include "controls/inputs/Mgs.h"
#include "controls/support.h"

namespace {

using zt::U;

class Mgs : public zt::Dict_Db {
 protected:
  void SetUp() override {
    Dict_Db::SetUp();
    if (HasFatalFailure()) return;
    Sql({u"create table dept(code varchar(10), name varchar(40), boss varchar(20))",
         u"insert into dept values('01','总经理办公室','王'),('05','财务部','李'),('10','仓储物流部','张')"});
    form_.resize(300, 200);
    TSQLCA rows;
    ASSERT_EQ(rows.Exec(u"select code,name from dept order by code"), 0);
    mgs_->Fill_List(&rows, 9);  // more columns than fields: all of them
    form_.show(), form_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form_));
    mgs_->Code_Edit()->setFocus();
  }
  QApplication* app_ = zt::App();
  QWidget form_;
  TMGS* mgs_ = new TMGS(&form_);
};

TEST_P(Mgs, TypedCodesSelectTheFirstLineNotSmaller) {
  ASSERT_EQ(mgs_->List()->Count(), 3);
  EXPECT_EQ(mgs_->List()->Items()->Strings(1), U(u"05  财务部  "));
  struct Row { const char* typed; int selected; };
  const Row rows[] = {{"04", 1}, {"99", 1}, {"0", 0}, {"10", 2}, {"1", 2}, {"05 extra words", 1}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.typed);
    mgs_->Code_Edit()->selectAll(), QTest::keyClicks(mgs_->Code_Edit(), r.typed);  // typing replaces the code
    EXPECT_EQ(mgs_->List()->ItemIndex(), r.selected);
  }
  QTest::keyClick(mgs_->Code_Edit(), Qt::Key_Up), QCoreApplication::processEvents();
  EXPECT_EQ(mgs_->List()->ItemIndex(), 0) << "Up moves the list through a posted key";
}

TEST_P(Mgs, EnterAcceptsTheSelectedLineEscapeAndEmptyEnterOnlyHide) {
  std::string result;
  mgs_->OnFunc_Result = [&](TObject*, const char* code) { result = code; };
  struct Row { const char* name; const char* typed; int select; Qt::Key key; const char* result; };  // -2: as typed
  const Row rows[] = {{"typed code not in the list: the selected line's", "04", -2, Qt::Key_Return, "05"},
                      {"a line picked with the keys", "01", 2, Qt::Key_Return, "10"},
                      {"no selection", "", -1, Qt::Key_Return, ""},
                      {"escape", "05", -2, Qt::Key_Escape, ""}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    result.clear(), mgs_->Show(), mgs_->Code_Edit()->setFocus(), mgs_->Code_Edit()->SetText(r.typed);
    if (r.select != -2) mgs_->List()->SetItemIndex(r.select);
    QTest::keyClick(mgs_->Code_Edit(), r.key);
    EXPECT_TRUE(result == r.result && !mgs_->Visible()) << result;
  }
  mgs_->SetOptions(TMGS::goSearch), mgs_->Show(), QTest::keyClick(mgs_->Button(TMGS::goSearch), Qt::Key_Escape);
  EXPECT_FALSE(mgs_->Visible()) << "Escape on a button tabbed onto";
  mgs_->Show(), mgs_->List()->SetItemIndex(-1);
  QTest::mouseClick(mgs_->List()->viewport(), Qt::LeftButton, Qt::NoModifier, mgs_->List()->ItemRect(2).toQRect().center());
  EXPECT_TRUE(result == "10" && mgs_->Code_Edit()->Text() == "10") << "a clicked line";
}

TEST_P(Mgs, CheckReturnAsksToAddAnUnknownCode) {
  int adds = 0;
  std::string result;
  mgs_->OnFunc_Add = [&](TObject*) { adds++; };
  mgs_->OnFunc_Result = [&](TObject*, const char* code) { result = code; };
  struct Row { const char16_t* button; int adds; bool open; };
  const Row rows[] = {{u"是", 1, false}, {u"否", 0, false}, {u"取消", 0, true}};
  for (const Row& r : rows) {
    SCOPED_TRACE(U(r.button).toStdString());
    adds = 0, mgs_->Show(), mgs_->Set_Code("07");
    QString text, title;
    zt::Answer([&](QWidget* box) {
      text = static_cast<QMessageBox*>(box)->text(), title = box->windowTitle(), zt::Click(box, U(r.button));
    });
    EXPECT_EQ(mgs_->Check_Return(), 0);
    EXPECT_EQ(title + ": " + text, U(u"系统提示: 选择了无效的代码，需要新增加吗"));
    EXPECT_TRUE(adds == r.adds && mgs_->Visible() == r.open && result.empty());
  }
  mgs_->Set_Code("10");
  EXPECT_TRUE(mgs_->Check_Return() == 1 && result == "10");
}

TEST_P(Mgs, ButtonsShareTheBottomInTheirOrder) {
  mgs_->Loaded();
  using O = TMGS;
  struct Row { const char* name; TMGS::TMGSOptions options; std::vector<std::pair<O::TMGSOption, QRect>> shown; int listHeight; };
  const Row rows[] = {
      {"none: the list takes the strip", {}, {}, 80},
      {"add and refresh halve it", O::goAdd | O::goRefresh, {{O::goAdd, {0, 82, 75, 18}}, {O::goRefresh, {75, 82, 75, 18}}}, 62},
      {"all four, search first", O::goAdd | O::goSearch | O::goEdit | O::goRefresh,
       {{O::goSearch, {0, 82, 37, 18}}, {O::goAdd, {37, 82, 37, 18}}, {O::goEdit, {74, 82, 37, 18}},
        {O::goRefresh, {111, 82, 37, 18}}}, 62},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    mgs_->SetOptions(r.options);
    int visible = 0;
    for (TMGS::TMGSOption o : {O::goAdd, O::goSearch, O::goEdit, O::goRefresh}) visible += mgs_->Button(o)->Visible();
    EXPECT_TRUE(visible == int(r.shown.size()) && mgs_->List()->Height() == r.listHeight) << visible << " buttons";
    for (const auto& s : r.shown) EXPECT_EQ(mgs_->Button(s.first)->geometry(), s.second);
  }
  mgs_->Set_EditWidth(60);
  const int eh = mgs_->Code_Edit()->Height();
  EXPECT_TRUE(mgs_->Code_Edit()->Width() == 60 && mgs_->Code_Edit()->Name().startsWith("mgs_code_0x"));
  const QRegion m = mgs_->mask();  // the edit, nothing right of it above the list, the list
  EXPECT_TRUE(m.contains(QPoint(30, 5)) && !m.contains(QPoint(100, eh / 2)) && m.contains(QPoint(100, 50)));
}

INSTANTIATE_TEST_SUITE_P(Sqlite, Mgs, ::testing::Values("sqlite"), zt::Backend_Name);

}  // namespace
