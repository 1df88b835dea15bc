// TComboBox_Ext driven as a user drives it (QTest keys on offscreen widgets): Enter resolving typed
// text, keys offered to the host, the wheel, the board, the list fonts, the host's real choice dialogs,
// a Designer form, and the demo's voucher filter.
#include <QLabel>
#include <QPushButton>
#include <QTableView>

#include "combo_fixture.h"
#include "controls/grid/Mg.h"
#include "controls/tree/Mtreeview.h"
#include "demo/demo_db.h"
#include "demo/demo_dept_tree.h"
#include "demo/demo_voucher_filter.h"
#include "demo/demo_window.h"
#include "host/code_choose_dialog.h"
#include "toolkit/tk_system.h"

using zt::U;

namespace {

void Type(TComboBox_Ext* b, const QString& text) { zt::Type(b->lineEdit(), text); }

// Answers the next choice dialog with answer(dialog) once it is up.
void Answer(std::function<void(CodeChooseDialog*)> answer) {
  zt::Answer([answer](QWidget* d) { answer(qobject_cast<CodeChooseDialog*>(d)); });
}

}  // namespace

TEST_P(ComboDb, EnterResolvesTypedText) {
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
  const Pdu_Code_Key_Search_Fn found_09 = [](const char*, const char16_t*, char* b) { return std::strcpy(b, "09"), 1; };
  struct Row { const char* what; TComboBox_Ext* box; QString typed; Pdu_Code_Key_Search_Fn search; QString text;
               const char* code; int changes, searched; } rows[] = {
      {"an exact code shows its name, reported once", dept, "04", nullptr, U(u"采购部"), "04", 1, 0},
      {"Enter again changes nothing", dept, "", nullptr, U(u"采购部"), "04", 1, 0},
      {"pinyin initials go to the host's search", dept, "cwb", Zem_Host_Code_Key_Search, U(u"财务部"), "02", 2, 1},
      {"a name part too", dept, U(u"物流"), Zem_Host_Code_Key_Search, U(u"仓储物流部"), "05", 3, 2},
      {"a stopped code from the search is added and shown", dept, "fgs", found_09, U(u"分公司"), "09", 4, 3},
      {"a search that finds nothing leaves the text", dept, "zzz", nullptr, "zzz", "", 4, 3},
      {"without a dictionary an exact name is taken", dbio, U(u"乙"), nullptr, U(u"乙"), "B", 14, 3},
      {"... and an exact code shows its name", dbio, "A", nullptr, U(u"甲"), "A", 24, 3},
  };
  for (const Row& r : rows) {
    Key_Search::Set(r.search);
    Type(r.box, r.typed);
    EXPECT_EQ(r.box->Text(), r.text) << r.what;
    EXPECT_STREQ(r.box->Get_Code(), r.code) << r.what;
    EXPECT_EQ(std::make_pair(changes, searched), std::make_pair(r.changes, r.searched)) << r.what << ": changes, searches";
  }
  EXPECT_EQ(dept->Color(), TComboBox_Ext::kSearch_Color);
}

TEST_P(ComboDb, KeysWheelBoardAndFonts) {
  Combo_Form form;
  TComboBox_Ext *sup = form.Add(), *emp = form.Add();
  sup->Multi_Attach("sup", 0);
  emp->Search_Attach("sup", 0);
  form.show();
  std::vector<int> offered;
  int reported = 0;
  QWheelEvent wheel(QPointF(5, 5), emp->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  const auto font = [&](const char* (*name)()) { return emp->Font()->Name == U(map_wchar(name()).c_str()); };
  const auto pick_second = [&] {
    sup->Set_Code("S001,S002");
    sup->SetDroppedDown(true);
    sup->view()->setCurrentIndex(sup->view()->model()->index(1, 0));
    QTest::keyClick(sup->view(), Qt::Key_Return);
  };
  struct Row { const char* what; std::function<void()> act; std::function<bool()> check; } rows[] = {
      {"a plain letter empties a multiple choice",
       [&] { sup->Set_Code("S001,S002"); QTest::keyClick(sup->lineEdit(), Qt::Key_X); },
       [&] { return sup->Chosen_List()->Get_Row_Count() == 0; }},
      {"with Ctrl held the choice stays",
       [&] { sup->Set_Code("S001,S002"); QTest::keyClick(sup->lineEdit(), Qt::Key_A, Qt::ControlModifier); },
       [&] { return std::string(sup->Get_Code()) == "S001,S002"; }},
      {"the wheel never changes the choice", [&] { emp->Set_Code("S002"); QApplication::sendEvent(emp, &wheel); },
       [&] { return emp->ItemIndex() == 1 && std::string(emp->Get_Code()) == "S002"; }},
      {"a code of \"sup\" goes to the board", [&] { board.clear(); Type(emp, "S001"); },
       [&] { return board == std::vector<std::string>{"sup:S001"}; }},
      {"keys are offered to the host, Up and Down too",
       [&] {
         Inp_Key::Set([&](TComboBox_Ext*, int k) { return offered.push_back(k), 0; });
         QTest::keyClick(emp->lineEdit(), Qt::Key_Q);
         QTest::keyClick(emp->lineEdit(), Qt::Key_Down);
       },
       [&] { return offered == std::vector<int>{'Q', VK_DOWN}; }},
      {"an Enter the host takes is not resolved by the box",
       [&] {
         Inp_Key::Set([](TComboBox_Ext*, int k) { return k == 13 ? 1 : 0; });
         Key_Search::Set([&](const char*, const char16_t*, char*) { return ++reported, 0; });
         Type(emp, "zz");
       },
       [&] { return emp->Text() == "zz" && reported == 0 && emp->Cur_Code().empty(); }},
      {"the open list uses the list font", [&] { emp->SetDroppedDown(true); }, [&] { return font(List_Font_Name); }},
      {"the closed box the input font", [&] { emp->SetDroppedDown(false); }, [&] { return font(Input_Font_Name); }},
      {"a code typed into a multiple choice and left behind becomes the choice",
       [&] {
         Inp_Key::Set(nullptr);
         form.activateWindow();
         (void)QTest::qWaitForWindowActive(&form);  // focus moves
         sup->SetHint(U(u"供应商"));
         sup->Set_Code("S001");
         sup->setFocus();
         zt::Type(sup->lineEdit(), "S002", Qt::Key_Tab);
       },
       [&] { return std::string(sup->Get_Code()) == "S002" && sup->Hint() == U(u"供应商:南方电子"); }},
      {"a text that matches nothing leaves no choice in the hint either",
       [&] { sup->Set_Code("S001"); sup->setFocus(); zt::Type(sup->lineEdit(), "zz", Qt::Key_Tab); },
       [&] { return sup->Text() == "zz" && !sup->Have_Choice() && sup->Hint() == U(u"供应商"); }},
      {"a pick from the list shows in the hint", pick_second,
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
TEST_P(ComboDb, HostChoiceDialogs) {
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
  struct Row { const char* what; TComboBox_Ext* box; std::function<void()> open;
               std::function<void(CodeChooseDialog*)> answer; QString text; std::string code; } rows[] = {
      {"single: choosable entries only, initials, Enter takes the row", single, dclick(single),
       [&](CodeChooseDialog* d) {
         seen << QString::number(d->shownCount());
         QTest::keyClicks(d->searchEdit(), "xs");
         QTest::keyClick(d->searchEdit(), Qt::Key_Return);
       },
       U(u"销售部"), "03"},
      {"a typed text found several times opens the search with it", single,
       [&] { Key_Search::Set(Zem_Host_Code_Key_Search); Type(single, "cw"); },
       [&](CodeChooseDialog* d) {
         seen << d->searchEdit()->text() + QString::number(d->shownCount());
         QTest::keyClick(d->searchEdit(), Qt::Key_Down);
         QTest::keyClick(d->searchEdit(), Qt::Key_Return);
       },
       U(u"仓储物流部"), "05"},
      {"multi: the typed name comes ticked, the order of ticking is kept", multi,
       [&] { multi->SetText(U(u"财务部")); multi->Chosen_List()->Clear_Data(); dclick(multi)(); },
       [&](CodeChooseDialog* d) { seen << d->chosenCodes().join(','); tick(d, "05"); tick(d, ""); d->accept(); },
       U(u"财务部,仓储物流部,总经理办公室"), "02,05,01"},
      {"multi: cancelled keeps the choice", multi, dclick(multi),
       [](CodeChooseDialog* d) { d->chooseAllShown(true); d->reject(); }, U(u"财务部,仓储物流部,总经理办公室"), "02,05,01"},
      {"multi: none, then all shown", multi, dclick(multi), [](CodeChooseDialog* d) {
         zt::Click(d, "zem_code_none");
         d->setSearchText(U(u"部"));
         zt::Click(d, "zem_code_all");
         d->accept();
       }, U(u"财务部,销售部,采购部,仓储物流部"), "02,03,04,05"},
      {"over a query area", dbio, dclick(dbio), [](CodeChooseDialog* d) { d->setSearchText(U(u"乙")); d->accept(); },
       U(u"乙"), "B"},
  };
  for (const Row& r : rows) {
    Answer(r.answer);
    r.open();
    EXPECT_EQ(r.box->Text() + ' ' + r.box->Get_Code(), r.text + ' ' + QString::fromStdString(r.code)) << r.what;
  }
  EXPECT_EQ(seen, (QStringList{"5", "cw2", "02"}));
}

// A form as a host loads it: the box attaches its dictionary when first shown (its properties come back
// through the designer's table).
TEST_P(ComboDb, FormBoxAttachesOnFirstShow) {
  auto root = zt::Load_Form(U(u"<ui version=\"4.0\"><widget class=\"QWidget\" name=\"F\"><layout class=\"QVBoxLayout\">"
                              u"<item><widget class=\"TComboBox_Ext\" name=\"box\">"
                              u"<property name=\"Dict_Id\"><string>dept</string></property>"
                              u"<property name=\"Multi_Mode\"><bool>true</bool></property>"
                              u"<property name=\"Hint\"><string>部门:</string></property>"
                              u"</widget></item></layout></widget></ui>"));
  ASSERT_NE(root, nullptr);
  auto* box = root->findChild<TComboBox_Ext*>("box");
  root->show();
  EXPECT_EQ(box->Items()->Count(), 6);  // a multiple choice over "dept" lists its group too
  box->Set_Code("04,01");
  EXPECT_EQ(box->Hint(), U(u"部门:采购部,总经理办公室"));
}

// The demo: the department and supplier boxes filter the voucher grid by their conditions, and so does
// the department tree; "全部" clears them all and the count beside it follows every fill.
TEST_P(ComboDb, DemoVoucherFilter) {
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
  auto count = [&] { return w.window()->findChild<QLabel*>("filterShown")->text(); };
  auto all = [&] { w.window()->findChild<QPushButton*>("filterAll")->click(); };
  EXPECT_EQ(shown(), 12);
  Type(filter.department(), "04");
  EXPECT_TRUE(filter.condition() == "dept_code = '04'" && shown() == 4) << filter.condition().toStdString();
  EXPECT_EQ(count(), U(u"条件：部门：采购部（4 张）")) << "the choice in words, not its SQL";
  filter.suppliers()->Set_Code("S004,S001");
  filter.apply();
  EXPECT_TRUE(filter.condition() == "dept_code = '04' and sup_code in ('S004','S001' )" && shown() == 2)
      << filter.condition().toStdString();
  all();
  tree->SetSelected(tree->TN_Get(1, "03"));  // 销售部 and its two teams
  EXPECT_TRUE(shown() == 2 && count() == U(u"所选部门的凭证（2 张）")) << count().toStdString();
  all();
  EXPECT_TRUE(shown() == 12 && count() == U(u"全部凭证（12 张）")) << count().toStdString();
  Dict_Client_List()->Clear();
}
