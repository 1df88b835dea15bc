// Dictionary pick-list cells against a real dictionary: a SQLite file with app_dict_def rows, read
// through the driver library and the client dictionary list.
#include "controls/grid/mg_dict_find.h"
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

// A dictionary that could not be read cannot say that a typed code is missing: the box says that it
// could not check, and why, in the user's words.
TEST_F(MgDict, DictionaryThatFailedIsToldAsAFailure) {
  TSQLCA q;
  ASSERT_EQ(q.Exec(u"insert into app_dict_sql(dict_id,sqlcmd) values('broken','select code,name from gone')"), 0);
  ASSERT_EQ(q.Commit(), 0);
  TMG g;
  g.SetColCount(2);
  g.SetRowCount(3);
  g.SetADEF({QStringLiteral("Dept,|120")});
  g.SetColPickDict(1, "broken");
  g.show();
  g.FocusCell(1, 1);
  Type(g, QStringLiteral("02"));
  const QString said = Message_Of([&] { Press(g, Qt::Key_Tab); });
  EXPECT_TRUE(said.contains(QString::fromUtf16(u"字典 broken 暂时无法读取，不能核对“02”：数据库操作失败（错误代码 1，详见日志）")))
      << said.toStdString();
}

namespace {

// The host's code choice as each step wants it, registered once as a host registers its functions.
std::function<int(const char*, char*)> g_select;
std::function<int(const char*, TSQLCA*)> g_multi;
std::function<int(const char*, const char16_t*, char*)> g_search;
int Select(const char* d, char* b) { return g_select ? g_select(d, b) : 0; }
int Multi(const char* d, TSQLCA* q) { return g_multi ? g_multi(d, q) : 0; }
int Search(const char* d, const char16_t* t, char* b) { return g_search ? g_search(d, t, b) : 0; }

// Column 1 a pick list over "dept"; 2 shows the name of the code in 3; 4 the names of the codes in 5.
struct DictGrid {
  TMG g;
  QStringList reports;
  DictGrid() {
    static const bool registered = [] {
      Pdu_Code_Select_Fn s = Select;
      Pdu_Code_Multi_Select_Fn m = Multi;
      Pdu_Code_Key_Search_Fn k = Search;
      return Zem_Reg_Shared_Ptr(kPdu_Code_Select, reinterpret_cast<void*>(s)) +
                 Zem_Reg_Shared_Ptr(kPdu_Code_Multi_Select, reinterpret_cast<void*>(m)) +
                 Zem_Reg_Shared_Ptr(kPdu_Code_Key_Search, reinterpret_cast<void*>(k)) == 3;
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
    g.OnMGValChange = [this](TObject*, int c, int r, const QString& v, const QString&) { reports << QStringLiteral("%1,%2:%3").arg(c).arg(r).arg(v); };
    g.show();
    g.FocusCell(3, 3);
  }
};

int Answer(char* buf, const char* code) { return std::strcpy(buf, code), 1; }

}  // namespace

TEST_F(MgDict, TypedTextIsResolvedOrRefused) {
  DictGrid t;
  TMG& g = t.g;
  auto echo = [](const char*, const char16_t* text, char* b) { return Answer(b, map_char(reinterpret_cast<const wchar16*>(text)).c_str()); };
  struct Step {
    const char* what;
    int col;
    const char* typed;  // "↓↓": the second entry of the dropped list
    std::function<int(const char*, const char16_t*, char*)> search;
    const char* cell;
    const char* code;     // the code column's text, for the display columns
    const char* message;  // a part of what the box said, "" for no box
  } steps[] = {
      {"a code", 1, "02", nullptr, "02 财务部", nullptr, ""},
      {"a name", 1, "仓储物流部", nullptr, "05 仓储物流部", nullptr, ""},
      {"the cell's own form", 1, "01 总经理办公室", nullptr, "01 总经理办公室", nullptr, ""},
      {"emptied", 1, "", nullptr, "", nullptr, ""},
      {"picked from the list", 1, "↓↓", nullptr, "02 财务部", nullptr, ""},
      {"what the host's search takes", 1, "仓", [](const char* d, const char16_t* text, char* b) { return std::u16string(text) == u"仓" && !std::strcmp(d, "dept") && Answer(b, "05"); }, "05 仓储物流部", nullptr, ""},
      {"the host's search cancelled: the old text, nothing said", 1, "zz", nullptr, "05 仓储物流部", nullptr, ""},
      {"a stopped entry refused", 1, "07", echo, "05 仓储物流部", nullptr, "已停用"},
      {"a name two entries share refused", 1, "分部", echo, "05 仓储物流部", nullptr, "不止一项"},
      {"an unknown text refused", 1, "研发部", echo, "05 仓储物流部", nullptr, "“Dept”列：“研发部”不是字典 dept 的编码或名称"},
      {"a display column takes a name", 2, "仓储物流部", nullptr, "仓储物流部", "05", ""},
      {"a display column takes a code", 2, "01", nullptr, "总经理办公室", "01", ""},
      {"several codes and names", 4, "05,财务部", nullptr, "仓储物流部,财务部", "05,02", ""},
  };
  for (const Step& s : steps) {
    g_search = s.search;
    g.FocusCell(s.col, 1);
    if (QString::fromUtf8(s.typed) == QString::fromUtf16(u"↓↓")) {
      Press(g, Qt::Key_Down, Qt::AltModifier);
      QListWidget* list = qobject_cast<TInplaceEditList*>(g.InplaceEditor())->PickListWidget();
      EXPECT_EQ(list->count(), 6) << "every entry of the dictionary";
      list->setCurrentRow(1);
      QTest::keyClick(list, Qt::Key_Return);
    } else if (*s.typed) {
      Type(g, QString::fromUtf8(s.typed));
    } else {
      Press(g, Qt::Key_Backspace);
    }
    const QString said = Message_Of([&] { Press(g, Qt::Key_Tab); });
    EXPECT_EQ(g.Cells(s.col, 1), QString::fromUtf8(s.cell)) << s.what;
    if (s.code) {
      EXPECT_EQ(g.Cells(s.col + 1, 1), QString::fromUtf8(s.code)) << s.what;
    }
    EXPECT_TRUE(*s.message ? said.contains(QString::fromUtf8(s.message)) : said.isEmpty()) << s.what << ": " << said.toStdString();
  }
  EXPECT_EQ(t.reports.join(u'|').toStdString(), "1,1:02 财务部|1,1:05 仓储物流部|1,1:01 总经理办公室|1,1:|1,1:02 财务部|1,1:05 仓储物流部|"
                                                "2,1:仓储物流部|2,1:总经理办公室|4,1:仓储物流部,财务部");
  g_search = nullptr;
}

TEST_F(MgDict, PopChooseThroughTheHost) {
  DictGrid t;
  TMG& g = t.g;
  QStringList offered;
  auto multi = [&offered](QStringList answer) {
    return [&offered, answer](const char*, TSQLCA* q) {
      offered.clear();
      for (int r = 0; r < q->Get_Row_Count(); ++r) offered << QString::fromUtf16(q->Get_Row_Value(r, 0));
      q->Clear_Data();
      for (const QString& c : answer) {
        q->Add_Row();
        q->Set_Value(0, map_wchar(c.toLatin1().constData()));
      }
      return 1;
    };
  };
  QStringList many;  // 10 bytes each: nine of them and their commas fill 98 bytes
  for (int i = 0; i < 30; ++i) many << QStringLiteral("C00000000%1").arg(i % 10);
  const std::string nine = many.mid(0, 9).join(u',').toStdString();
  struct Row {
    const char* what;
    int col;
    std::function<int(const char*, char*)> select;
    std::function<int(const char*, TSQLCA*)> multi;
    int result;
    const char *cell, *code, *offered;
  } rows[] = {
      {"one code, offered the current one", 2, [&](const char*, char* b) { offered = QStringList{b}; return Answer(b, "05"); }, nullptr, 1, "仓储物流部", "05", "02"},
      {"cancelled", 2, [](const char*, char*) { return 0; }, nullptr, 0, "仓储物流部", "05", ""},
      {"several codes, the current two offered", 4, nullptr, multi({"05", "01"}), 1, "仓储物流部,总经理办公室", "05,01", "01,02"},
      {"as many codes as fit in 98 bytes", 4, nullptr, multi(many), 1, ",,,,,,,,", nine.c_str(), "05,01"},
      {"not a dictionary column", 3, [](const char*, char* b) { return Answer(b, "01"); }, nullptr, 0, "05", ",,,,,,,,", ""},
  };
  for (const Row& r : rows) {
    g_select = r.select;
    g_multi = r.multi;
    offered.clear();
    EXPECT_EQ(g.Pop_Choose(r.col, 2), r.result) << r.what;
    EXPECT_EQ(g.Cells(r.col, 2), QString::fromUtf8(r.cell)) << r.what;
    EXPECT_EQ(g.Cells(r.col + 1, 2).toStdString(), r.code) << r.what;
    EXPECT_EQ(offered.join(u','), QString::fromUtf8(r.offered)) << r.what;
  }
  // Ctrl+Enter is the ellipsis button; the choice is reported at once.
  g_select = [](const char*, char* b) { return Answer(b, "02"); };
  g.FocusCell(2, 2);
  t.reports.clear();
  Press(g, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(t.reports.join(u'|'), QStringLiteral("2,2:财务部"));
  g_select = nullptr;
  g_multi = nullptr;
}

// A paste of many rows reads a copy of the dictionary: every text finds there what one look-up finds
// in the dictionary itself, refusals worded alike.
TEST_F(MgDict, ManyLookUpsFindWhatOneLookUpFinds) {
  struct Row {
    const char16_t* text;
    const char16_t* want;  // "code name", or the refusal
  } rows[] = {
      {u"02", u"02 财务部"},
      {u" 05 ", u"05 仓储物流部"},
      {u"财务部", u"02 财务部"},
      {u"01 总经理办公室", u"01 总经理办公室"},
      {u"01 财务部", u"“01 财务部”不是字典 dept 的编码或名称"},
      {u"分部", u"字典 dept 中名称为“分部”的不止一项，请输入编码"},
      {u"07", u"字典 dept 的“07”已停用或是分组，不能选用"},
      {u"旧部门", u"字典 dept 的“旧部门”已停用或是分组，不能选用"},
      {u"not a department", u"“not a department”不是字典 dept 的编码或名称"},
      {u"", u"“”不是字典 dept 的编码或名称"},
  };
  Mg_Dict_Finder one("dept"), many("dept");
  many.Expect_Many();
  // The cell a pick-list column shows, its code and name agreeing with it; or the refusal.
  auto found = [](Mg_Dict_Finder& f, const char16_t* text) {
    QString code, name, why, cell;
    if (!f.Find(QStringView(text), &code, &name, &why, &cell)) return why;
    return code + u' ' + name == cell ? cell : QStringLiteral("code and name disagree: ") + cell;
  };
  for (const Row& r : rows) {
    EXPECT_EQ(found(one, r.text), QString::fromUtf16(r.want)) << "one: " << QString::fromUtf16(r.text).toStdString();
    EXPECT_EQ(found(many, r.text), QString::fromUtf16(r.want)) << "many: " << QString::fromUtf16(r.text).toStdString();
  }
}
