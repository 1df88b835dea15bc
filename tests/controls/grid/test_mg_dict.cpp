// Dictionary pick-list cells against a real dictionary: a SQLite file with app_dict_def rows, read
// through the driver library and the client dictionary list.
#include "controls/grid/mg_test_util.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"

#include <QListWidget>
#include <cstring>

TEST_F(MgDict, SetWShowsCodeAndNameAndGetWGivesTheCode) {
  TMG g;
  g.SetColCount(5);
  g.SetRowCount(9);
  g.SetADEF({QStringLiteral("Dept,$dept"), QStringLiteral("Plain,$plain"), QStringLiteral("NoDict,$nodict"),
             QStringLiteral("Missing,$missing")});
  std::strcpy(g.GetColDef(1)->dict, "dept");
  g.GetColDef(1)->edit_style = 3;
  std::strcpy(g.GetColDef(3)->dict, "dept");  // a dictionary, but not a pick-list column
  std::strcpy(g.GetColDef(4)->dict, "no_such_dict");
  g.GetColDef(4)->edit_style = 3;
  struct Row {
    const char* what;
    const char* col;
    const char16_t* code;
    const char16_t* cell;
    const char16_t* value;
  } rows[] = {
      {"known code", "dept", u"02", u"02 财务部", u"02"},
      {"longer name", "dept", u"05", u"05 仓储物流部", u"05"},
      {"unknown code keeps the blank", "dept", u"99", u"99 ", u"99"},
      {"empty code", "dept", u"", u" ", u""},
      {"other dictionary's code is not used", "dept", u"other", u"other ", u"other"},
      {"plain column keeps the text", "plain", u"02", u"02", u"02"},
      {"edit style 0 ignores the dictionary", "nodict", u"02", u"02", u"02"},
      {"a missing dictionary leaves the code", "missing", u"02", u"02 ", u"02"},
  };
  int row = 1;
  for (const Row& r : rows) {
    int col = 0;
    ASSERT_TRUE(g.GetColId(r.col, &col)) << r.what;
    EXPECT_EQ(std::u16string(g.SetW(r.col, row, r.code)), r.code) << r.what;
    EXPECT_EQ(g.Cells(col, row), QString::fromUtf16(r.cell)) << r.what;
    EXPECT_EQ(std::u16string(g.GetW(col, row)), r.value) << r.what;
    ++row;
  }
  // The dictionary was loaded once from the database and is shared by the list.
  TDict* d = Dict_Client_List()->Get_Dict("dept", 0);
  ASSERT_NE(d, nullptr);
  std::u16string name;
  d->Get_Name(map_wchar(u"01"), &name);
  EXPECT_EQ(name, u"总经理办公室");
}

namespace {

// The host's code choice, as each step wants it; registered once, as a host registers its functions.
std::function<int(const char*, char*)> g_select;
std::function<int(const char*, TSQLCA*)> g_multi;
std::function<int(const char*, const char16_t*, char*)> g_search;
int Select(const char* d, char* buf) { return g_select ? g_select(d, buf) : 0; }
int Multi(const char* d, TSQLCA* q) { return g_multi ? g_multi(d, q) : 0; }
int Search(const char* d, const char16_t* t, char* buf) { return g_search ? g_search(d, t, buf) : 0; }

// Column 1 a pick list over "dept"; 2 shows the name of the code in 3; 4 the names of the codes in 5.
struct DictGrid {
  TMG g;
  QStringList reports;
  DictGrid() {
    static const bool registered = [] {
      Pdu_Code_Select_Fn s = Select;
      Pdu_Code_Multi_Select_Fn m = Multi;
      Pdu_Code_Key_Search_Fn k = Search;
      Zem_Reg_Shared_Ptr(kPdu_Code_Select, reinterpret_cast<void*>(s));
      Zem_Reg_Shared_Ptr(kPdu_Code_Multi_Select, reinterpret_cast<void*>(m));
      return Zem_Reg_Shared_Ptr(kPdu_Code_Key_Search, reinterpret_cast<void*>(k)) == 1;
    }();
    EXPECT_TRUE(registered);
    g.resize(700, 200);
    g.SetColCount(6);
    g.SetRowCount(4);
    g.SetADEF({QStringLiteral("Dept,|120"), QStringLiteral("Name,ellipsis,|120"), QStringLiteral("Code,$code"),
               QStringLiteral("Names,ellipsis,|150"), QStringLiteral("Codes,$codes")});
    g.SetColPickDict(1, "dept");
    g.Set_Dict("Name", "dept", "code");
    g.Set_Dict(4, "dept", "codes");
    g.Add_Ext_Opt(4, 8);
    g.SetW(1, 1, u"01");
    for (int c = 2; c <= 5; ++c) g.SetCells(c, 2, QStringList{"财务部", "02", "总经理办公室,财务部", "01,02"}[c - 2]);
    g.OnMGValChange = [this](TObject*, int c, int r, const QString& v, const QString&) {
      reports << QStringLiteral("%1,%2:%3").arg(c).arg(r).arg(v);
    };
    g.show();
    g.FocusCell(3, 3);
  }
};

}  // namespace

TEST_F(MgDict, TypedTextIsResolvedOrRefused) {
  DictGrid t;
  TMG& g = t.g;
  auto echo = [](const char*, const char16_t* text, char* buf) {
    std::strcpy(buf, map_char(reinterpret_cast<const wchar16*>(text)).c_str());
    return 1;
  };
  struct Step {
    const char* what;
    int col;
    const char* typed;
    std::function<int(const char*, const char16_t*, char*)> search;
    const char* cell;
    const char* code;     // the code column's text, for the display columns
    const char* message;  // a part of what the box said, "" for no box
  } steps[] = {
      {"a code", 1, "02", nullptr, "02 财务部", nullptr, ""},
      {"a name", 1, "仓储物流部", nullptr, "05 仓储物流部", nullptr, ""},
      {"the cell's own form", 1, "01 总经理办公室", nullptr, "01 总经理办公室", nullptr, ""},
      {"emptied", 1, "", nullptr, "", nullptr, ""},
      {"what the host's search takes",  1, "仓",
       [](const char* d, const char16_t* text, char* buf) {
         EXPECT_STREQ(d, "dept");
         EXPECT_EQ(std::u16string(text), u"仓");
         std::strcpy(buf, "05");
         return 1;
       },
       "05 仓储物流部", nullptr, ""},
      {"the host's search cancelled: the old text, nothing said", 1, "zz", nullptr, "05 仓储物流部", nullptr, ""},
      {"a stopped entry refused", 1, "07", echo, "05 仓储物流部", nullptr, "已停用"},
      {"a name two entries share refused", 1, "分部", echo, "05 仓储物流部", nullptr, "不止一项"},
      {"an unknown text refused", 1, "研发部", echo, "05 仓储物流部", nullptr, "“研发部”不是字典 dept 的编码或名称"},
      {"a display column takes a name", 2, "仓储物流部", nullptr, "仓储物流部", "05", ""},
      {"a display column takes a code", 2, "01", nullptr, "总经理办公室", "01", ""},
      {"several codes and names", 4, "05,财务部", nullptr, "仓储物流部,财务部", "05,02", ""},
  };
  for (const Step& s : steps) {
    g_search = s.search;
    g.FocusCell(s.col, 1);
    if (*s.typed) Type(g, QString::fromUtf8(s.typed));
    else Press(g, Qt::Key_Backspace);
    const QString said = Message_Of([&] { Press(g, Qt::Key_Tab); });
    EXPECT_EQ(g.Cells(s.col, 1), QString::fromUtf8(s.cell)) << s.what;
    if (s.code) {
      EXPECT_EQ(g.Cells(s.col + 1, 1), QString::fromUtf8(s.code)) << s.what;
    }
    EXPECT_TRUE(*s.message ? said.contains(QString::fromUtf8(s.message)) : said.isEmpty()) << s.what << ": " << said.toStdString();
  }
  EXPECT_EQ(t.reports.join(u'|').toStdString(), QStringLiteral("1,1:02 财务部|1,1:05 仓储物流部|1,1:01 总经理办公室|1,1:|1,1:05 仓储物流部|"
                                                 "2,1:仓储物流部|2,1:总经理办公室|4,1:仓储物流部,财务部").toStdString());
  g_search = nullptr;
}

TEST_F(MgDict, PopChooseThroughTheHost) {
  DictGrid t;
  TMG& g = t.g;
  std::vector<std::string> offered;
  auto multi_answer = [&](std::vector<std::string> answer) {
    return [&offered, answer](const char* d, TSQLCA* q) {
      EXPECT_STREQ(d, "dept");
      offered.clear();
      for (int r = 0; r < q->Get_Row_Count(); ++r) offered.push_back(map_char(q->Get_Row_Value(r, 0)).c_str());
      q->Clear_Data();
      for (const std::string& c : answer) {
        q->Add_Row();
        q->Set_Value(0, map_wchar(c.c_str()));
      }
      return 1;
    };
  };
  std::vector<std::string> many;
  for (int i = 0; i < 30; ++i) many.push_back("C00000000" + std::to_string(i % 10));  // 10 bytes each
  struct Row {
    const char* what;
    int col;
    std::function<int(const char*, char*)> select;
    std::function<int(const char*, TSQLCA*)> multi;
    int result;
    const char* cell;
    const char* code;
    const char* offered;
  } rows[] = {
      {"one code chosen, from the current one", 2,
       [&](const char*, char* buf) {
         offered = {buf};
         std::strcpy(buf, "05");
         return 1;
       },
       nullptr, 1, "仓储物流部", "05", "02"},
      {"cancelled", 2, [](const char*, char*) { return 0; }, nullptr, 0, "仓储物流部", "05", ""},
      {"several codes, the current two offered", 4, nullptr, multi_answer({"05", "01"}), 1, "仓储物流部,总经理办公室",
       "05,01", "01,02"},
      {"several codes: as many as fit in 98 bytes", 4, nullptr, multi_answer(many), 1, ",,,,,,,,",
       "C000000000,C000000001,C000000002,C000000003,C000000004,C000000005,C000000006,C000000007,C000000008",
       "05,01"},
      {"not a dictionary column", 3, [](const char*, char*) { return 1; }, nullptr, 0, "05", ",,,,,,,,", ""},
  };
  for (const Row& r : rows) {
    g_select = r.select;
    g_multi = r.multi;
    offered.clear();
    EXPECT_EQ(g.Pop_Choose(r.col, 2), r.result) << r.what;
    EXPECT_EQ(g.Cells(r.col, 2), QString::fromUtf8(r.cell)) << r.what;
    EXPECT_EQ(g.Cells(r.col + 1, 2), QString::fromUtf8(r.code)) << r.what;
    std::string seen;
    for (const std::string& o : offered) seen += (seen.empty() ? "" : ",") + o;
    EXPECT_EQ(seen, r.offered) << r.what;
  }
  // From the keyboard: Ctrl+Enter is the ellipsis button, the choice is reported at once.
  g_select = [](const char*, char* buf) {
    std::strcpy(buf, "02");
    return 1;
  };
  g.FocusCell(2, 2);
  t.reports.clear();
  Press(g, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(t.reports.join(u'|'), QStringLiteral("2,2:财务部"));
  g_select = nullptr;
  g_multi = nullptr;
}

TEST_F(MgDict, PickListOffersTheDictionary) {
  DictGrid t;
  TMG& g = t.g;
  g.OnFillPickListitems = [](TObject*, int, int, TStrings* items) { items->Add(QStringLiteral("host's own")); };
  g.FocusCell(1, 2);
  Press(g, Qt::Key_Down, Qt::AltModifier);
  auto* editor = qobject_cast<TInplaceEditList*>(g.InplaceEditor());
  ASSERT_NE(editor, nullptr);
  QListWidget* list = editor->PickListWidget();
  ASSERT_TRUE(list && list->isVisible());
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
  EXPECT_EQ(items.join(u'|'), QStringLiteral("01 总经理办公室|02 财务部|05 仓储物流部|07 旧部门|08 分部|09 分部|host's own"));
  QTest::keyClick(list, Qt::Key_Down);
  QTest::keyClick(list, Qt::Key_Return);
  Press(g, Qt::Key_Tab);
  EXPECT_EQ(g.Cells(1, 2), QStringLiteral("02 财务部"));
  EXPECT_EQ(t.reports.join(u'|'), QStringLiteral("1,2:02 财务部"));
}
