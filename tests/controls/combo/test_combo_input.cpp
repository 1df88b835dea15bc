// TComboBox_Ext driven as a user drives it (QTest keys on offscreen widgets): Enter resolving typed
// text, keys offered to the host, the wheel, the board, the list fonts, the host's real choice dialogs,
// a Designer form, and the demo's voucher filter.
#include "combo_fixture.h"

#include <QBuffer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "controls/grid/Mg.h"
#include "controls/tree/Mtreeview.h"
#include "demo/demo_db.h"
#include "demo/demo_dept_tree.h"
#include "demo/demo_voucher_filter.h"
#include "demo/demo_window.h"
#include "host/code_choose_dialog.h"
#include "host/zem_ui_loader.h"
#include "toolkit/tk_system.h"

namespace {

void Type(TComboBox_Ext* b, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QLineEdit* le = b->lineEdit();
  le->selectAll();
  for (QChar c : text) {
    if (c.unicode() < 128) {
      QTest::keyClick(le, char(c.unicode()), mods);
    } else {  // what an input method delivers: the character as the key's text
      QTest::sendKeyEvent(QTest::Click, le, Qt::Key_unknown, QString(c), mods);
    }
  }
  QTest::keyClick(le, Qt::Key_Return);
}

// Types text without Enter, then Tab to the next box.
void Type_And_Leave(TComboBox_Ext* b, const QString& text) {
  b->setFocus(), b->lineEdit()->selectAll(), QTest::keyClicks(b->lineEdit(), text);
  QTest::keyClick(b->lineEdit(), Qt::Key_Tab);
}

// Answers the next choice dialog with answer(dialog) once it is up.
void Answer(std::function<void(CodeChooseDialog*)> answer) {
  QTimer::singleShot(0, [answer] {
    for (int i = 0; i < 200; ++i) {
      if (auto* d = qobject_cast<CodeChooseDialog*>(QApplication::activeModalWidget())) return answer(d);
      QTest::qWait(10);
    }
  });
}

QString U(const char16_t* s) { return QString::fromUtf16(s); }

}  // namespace

TEST_F(ComboDb, EnterResolvesTypedText) {
  Combo_Form form;
  TComboBox_Ext *dept = form.Add(), *dbio = form.Add();
  int changes = 0, searched = 0;
  dept->OnChange = [&](TObject* s) { changes += s == dept; };  // the host's, assigned before the attach
  dbio->OnChange = [&](TObject* s) { changes += 10 * (s == dbio); };
  dept->On_Ext_Search_Ret = [&](TObject*) { ++searched; };
  dept->Search_Attach("dept", 0);
  TSQLCA area;
  Fill_Area(area);
  dbio->Attach_Dbio(&area);
  form.show();
  struct Row {
    const char* what;
    TComboBox_Ext* box;
    QString typed;
    std::function<int(const char*, const char16_t*, char*)> search;
    QString text;
    const char* code;
    int changes, searched;
  } rows[] = {
      {"an exact code shows its name, reported once", dept, "04", nullptr, U(u"采购部"), "04", 1, 0},
      {"Enter again changes nothing", dept, "", nullptr, U(u"采购部"), "04", 1, 0},
      {"pinyin initials go to the host's search", dept, "cwb", Zem_Host_Code_Key_Search, U(u"财务部"), "02",
       2, 1},
      {"a name part too", dept, U(u"物流"), Zem_Host_Code_Key_Search, U(u"仓储物流部"), "05", 3, 2},
      {"a stopped code from the search is added and shown", dept, "fgs",
       [](const char*, const char16_t*, char* b) { return std::strcpy(b, "09") != nullptr; }, U(u"分公司"),
       "09", 4, 3},
      {"a search that finds nothing leaves the text", dept, "zzz", nullptr, "zzz", "", 4, 3},
      {"without a dictionary an exact name is taken", dbio, U(u"乙"), nullptr, U(u"乙"), "B", 14, 3},
      {"... and an exact code shows its name", dbio, "A", nullptr, U(u"甲"), "A", 24, 3},
  };
  for (const Row& r : rows) {
    Host().key_search = r.search;
    Type(r.box, r.typed);
    EXPECT_EQ(r.box->Text(), r.text) << r.what;
    EXPECT_STREQ(r.box->Get_Code(), r.code) << r.what;
    EXPECT_EQ(changes, r.changes) << r.what;
    EXPECT_EQ(searched, r.searched) << r.what;
  }
  EXPECT_EQ(dept->Color(), TComboBox_Ext::kSearch_Color);
}

TEST_F(ComboDb, KeysWheelBoardAndFonts) {
  Combo_Form form;
  TComboBox_Ext *sup = form.Add(), *emp = form.Add();
  sup->Multi_Attach("sup", 0);
  emp->Search_Attach("sup", 0);
  form.show();
  std::vector<int> offered;
  int reported = 0;
  struct Row {
    const char* what;
    std::function<void()> act;
    std::function<bool()> check;
  } rows[] = {
      {"a plain letter empties a multiple choice",
       [&] { sup->Set_Code("S001,S002"), QTest::keyClick(sup->lineEdit(), Qt::Key_X); },
       [&] { return sup->Chosen_List()->Get_Row_Count() == 0; }},
      {"with Ctrl held the choice stays",
       [&] { sup->Set_Code("S001,S002"), QTest::keyClick(sup->lineEdit(), Qt::Key_A, Qt::ControlModifier); },
       [&] { return std::string(sup->Get_Code()) == "S001,S002"; }},
      {"the wheel never changes the choice",
       [&] {
         emp->Set_Code("S002");
         QWheelEvent w(QPointF(5, 5), emp->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton,
                       Qt::NoModifier, Qt::NoScrollPhase, false);
         QApplication::sendEvent(emp, &w);
       },
       [&] { return emp->ItemIndex() == 1 && std::string(emp->Get_Code()) == "S002"; }},
      {"a code of \"sup\" goes to the board", [&] { Host().board.clear(), Type(emp, "S001"); },
       [&] { return Host().board == std::vector<std::string>{"sup:S001"}; }},
      {"keys are offered to the host, Up and Down too",
       [&] {
         Host().inp_key = [&](TComboBox_Ext*, int k) { return offered.push_back(k), 0; };
         QTest::keyClick(emp->lineEdit(), Qt::Key_Q);
         QTest::keyClick(emp->lineEdit(), Qt::Key_Down);
       },
       [&] {
         return offered == std::vector<int>{'Q', VK_DOWN};
       }},
      {"an Enter the host takes is not resolved by the box",
       [&] {
         Host().inp_key = [](TComboBox_Ext*, int k) { return k == 13 ? 1 : 0; };
         Host().key_search = [&](const char*, const char16_t*, char*) { return ++reported, 0; };
         Type(emp, "zz");
       },
       [&] { return emp->Text() == "zz" && reported == 0 && emp->Cur_Code().empty(); }},
      {"the open list uses the list font, the closed box the input font", [&] { emp->SetDroppedDown(true); },
       [&] { return emp->Font()->Name == QString::fromUtf16(map_wchar(List_Font_Name()).c_str()); }},
      {"...", [&] { emp->SetDroppedDown(false); },
       [&] { return emp->Font()->Name == QString::fromUtf16(map_wchar(Input_Font_Name()).c_str()); }},
      {"a code typed into a multiple choice and left behind becomes the choice",
       [&] {
         Host().inp_key = nullptr, form.activateWindow(), (void)QTest::qWaitForWindowActive(&form);  // focus moves
         sup->SetHint(U(u"供应商")), sup->Set_Code("S001"), Type_And_Leave(sup, "S002");
       },
       [&] { return std::string(sup->Get_Code()) == "S002" && sup->Hint() == U(u"供应商:南方电子"); }},
      {"a text that matches nothing leaves no choice in the hint either",
       [&] { sup->Set_Code("S001"), Type_And_Leave(sup, "zz"); },
       [&] { return sup->Text() == "zz" && !sup->Have_Choice() && sup->Hint() == U(u"供应商"); }},
      {"a pick from the list shows in the hint",
       [&] {
         sup->Set_Code("S001,S002"), sup->SetDroppedDown(true);
         sup->view()->setCurrentIndex(sup->view()->model()->index(1, 0));
         QTest::keyClick(sup->view(), Qt::Key_Return);
       },
       [&] { return std::string(sup->Get_Code()) == "S002" && sup->Hint() == U(u"供应商:南方电子"); }},
  };
  for (const Row& r : rows) {
    r.act();
    EXPECT_TRUE(r.check()) << r.what;
  }
  EXPECT_EQ(sup->Color(), TComboBox_Ext::kMulti_Color);
}

// The host module's own dialogs, as the box opens them: a double click (single, multiple, over a query
// area) or a typed text the search finds several entries for.
TEST_F(ComboDb, HostChoiceDialogs) {
  Combo_Form form;
  TComboBox_Ext *single = form.Add(), *multi = form.Add(), *dbio = form.Add();
  single->Search_Attach("dept", 0);
  multi->Multi_Attach("dept", 0);
  TSQLCA area;
  Fill_Area(area);
  dbio->Attach_Dbio(&area);
  form.show();
  QStringList seen;
  auto dclick = [](TComboBox_Ext* b) { return [b] { QTest::mouseDClick(b->lineEdit(), Qt::LeftButton); }; };
  auto tick = [](CodeChooseDialog* d, const QString& search) {
    d->setSearchText(search);
    d->list()->model()->setData(d->list()->model()->index(0, 0), Qt::Checked, Qt::CheckStateRole);
  };
  struct Row {
    const char* what;
    TComboBox_Ext* box;
    std::function<void()> open;
    std::function<void(CodeChooseDialog*)> answer;
    QString text;
    std::string code;
  } rows[] = {
      {"single: choosable entries only, initials, Enter takes the row", single, dclick(single),
       [&](CodeChooseDialog* d) {
         seen << QString::number(d->shownCount());
         QTest::keyClicks(d->searchEdit(), "xs"), QTest::keyClick(d->searchEdit(), Qt::Key_Return);
       },
       U(u"销售部"), "03"},
      {"a typed text found several times opens the search with it", single,
       [&] { Host().key_search = Zem_Host_Code_Key_Search, Type(single, "cw"); },
       [&](CodeChooseDialog* d) {
         seen << d->searchEdit()->text() + QString::number(d->shownCount());
         QTest::keyClick(d->searchEdit(), Qt::Key_Down), QTest::keyClick(d->searchEdit(), Qt::Key_Return);
       },
       U(u"仓储物流部"), "05"},
      {"multi: the typed name comes ticked, the order of ticking is kept", multi,
       [&] { multi->SetText(U(u"财务部")), multi->Chosen_List()->Clear_Data(), dclick(multi)(); },
       [&](CodeChooseDialog* d) {
         seen << d->chosenCodes().join(','), tick(d, "05"), tick(d, ""), d->accept();
       },
       U(u"财务部,仓储物流部,总经理办公室"), "02,05,01"},
      {"multi: cancelled keeps the choice", multi, dclick(multi),
       [](CodeChooseDialog* d) { d->chooseAllShown(true), d->reject(); },
       U(u"财务部,仓储物流部,总经理办公室"), "02,05,01"},
      {"multi: none, then all shown", multi, dclick(multi),
       [](CodeChooseDialog* d) {
         d->findChild<QPushButton*>("zem_code_none")->click();
         d->setSearchText(U(u"部"));
         d->findChild<QPushButton*>("zem_code_all")->click();
         d->accept();
       },
       U(u"财务部,销售部,采购部,仓储物流部"), "02,03,04,05"},
      {"over a query area", dbio, dclick(dbio),
       [](CodeChooseDialog* d) { d->setSearchText(U(u"乙")), d->accept(); }, U(u"乙"), "B"},
  };
  for (const Row& r : rows) {
    Answer(r.answer);
    r.open();
    EXPECT_EQ(r.box->Text(), r.text) << r.what;
    EXPECT_EQ(std::string(r.box->Get_Code()), r.code) << r.what;
  }
  EXPECT_EQ(seen, (QStringList{"5", "cw2", "02"}));
}

// A form saved by Designer: the box attaches its dictionary when first shown, through the palette
// loader (tests/designer reads its properties back through the plugin).
TEST_F(ComboDb, DesignerFormAttachesOnFirstShow) {
  const QByteArray ui =
      QString::fromUtf16(
          u"<ui version=\"4.0\"><class>F</class><widget class=\"QWidget\" name=\"F\">"
          u"<layout class=\"QVBoxLayout\" name=\"l\"><item><widget class=\"TComboBox_Ext\" name=\"box\">"
          u"<property name=\"Dict_Id\"><string>dept</string></property>"
          u"<property name=\"Multi_Mode\"><bool>true</bool></property>"
          u"<property name=\"Hint\"><string>部门:</string></property>"
          u"</widget></item></layout></widget></ui>")
          .toUtf8();
  ZemUiLoader loader;
  QBuffer in;
  in.setData(ui);
  std::unique_ptr<QWidget> root(loader.load(&in));
  ASSERT_NE(root, nullptr) << loader.errorString().toStdString();
  auto* box = root->findChild<TComboBox_Ext*>("box");
  ASSERT_NE(box, nullptr);
  root->show();
  QApplication::processEvents();
  EXPECT_EQ(box->Items()->Count(), 6);  // a multiple choice over "dept" lists its group too
  EXPECT_EQ(box->Is_Multi(), 1);
  box->Set_Code("04,01");
  EXPECT_EQ(box->Hint(), U(u"部门:采购部,总经理办公室"));
  EXPECT_EQ(box->property("Dict_Id").toString(), "dept");
}

// The demo: the department and supplier boxes filter the voucher grid by their conditions, and so does
// the department tree; "全部" clears them all and the count beside it follows every fill.
TEST_F(ComboDb, DemoVoucherFilter) {
  DemoDb db;
  ASSERT_EQ(db.open(QString::fromStdString(dir_), QString()), 1);
  ASSERT_EQ(db.ensureSample(), 1);
  DemoWindow w(&db);
  ASSERT_NE(w.window(), nullptr) << w.error().toStdString();
  MTreeView* tree =
      Demo_Attach_Dept_Tree(w.window(), &db, [&w](const QString& c) { return w.fillVouchers(c); });
  ASSERT_NE(tree, nullptr);
  VoucherFilter filter(&w);
  ASSERT_NE(filter.department(), nullptr);
  w.window()->show();
  auto shown = [&] { return w.voucherGrid()->RowCount() - w.voucherGrid()->FixedRows(); };
  EXPECT_EQ(shown(), 12);
  Type(filter.department(), "04");
  EXPECT_EQ(filter.condition(), "dept_code = '04'");
  EXPECT_EQ(shown(), 4);
  filter.suppliers()->Set_Code("S004,S001");
  filter.apply();
  EXPECT_EQ(filter.condition(), "dept_code = '04' and sup_code in ('S004','S001' )");
  EXPECT_EQ(shown(), 2);
  auto count = [&] { return w.window()->findChild<QLabel*>("filterShown")->text(); };
  w.window()->findChild<QPushButton*>("filterAll")->click();
  tree->SetSelected(tree->TN_Get(1, "03"));  // 销售部 and its two teams
  EXPECT_EQ(shown(), 2);
  EXPECT_EQ(count(), QString::fromUtf16(u"所选部门的凭证（2 张）"));
  w.window()->findChild<QPushButton*>("filterAll")->click();
  EXPECT_EQ(shown(), 12);
  EXPECT_EQ(count(), QString::fromUtf16(u"全部凭证（12 张）"));
  Dict_Client_List()->Clear();
}
