// MTreeView and TTreeView_Ext as a user meets them: code lists, search stepping, clipboard text, the
// show-codes preference, the menu groups, drawing and the exported outline. The host functions are test
// doubles registered by name.
#include <QPdfWriter>
#include <QXmlStreamReader>
#include <algorithm>

#include "controls/support.h"
#include "controls/tree/Mtreeview.h"
#include "controls/tree/Treeview_ext.h"
#include "frame/host_funcs.h"
#include "host/zem_host_tree.h"
#include "toolkit/tk_clipboard.h"
#include "toolkit/tk_menu.h"

namespace {

using zt::Gbk;
using zt::U;

// A tree on a form: 财务部 (会计组), 销售部 (华东销售组 (上海, code A'1), 华南销售组), 仓库 (no code). The
// host's input box confirms `answer` (null cancels), its preferences hold `stored` ("" none) and report
// the last key read or "key=value,flag" saved, and the hierarchy-chart export keeps its title.
struct Fixture {
  QApplication* app = zt::App();
  QWidget form;
  MTreeView* t = new MTreeView(&form);
  TTreeNode *fin, *acc, *sales, *east, *quoted, *south, *store;
  const char* answer = nullptr;
  int asked = 0;
  std::string stored, saved, exported;
  Fixture() {
    zt::Host<kGui_Inp_Str, Gui_Inp_Str_Fn>::Set([this](const char*, char* buffer, int max_len, const char*) {
      return ++asked, answer ? (Str_Copy_Limit(buffer, max_len, answer), 1) : 0;
    });
    zt::Host<kMup_Gui_User_Para_Get, Mup_Gui_User_Para_Get_Fn>::Set(
        [this](const char* key) { return stored.empty() ? nullptr : (saved = key, stored.c_str()); });
    zt::Host<kMup_Gui_User_Para_Save, Mup_Gui_User_Para_Save_Fn>::Set([this](const char* key, const char* v, int flag) {
      return saved = std::string(key) + "=" + v + "," + std::to_string(flag), 1;
    });
    zt::Host<kPdu_Export_Tree_To_Km, Pdu_Export_Tree_To_Km_Fn>::Set(
        [this](MTreeView*, const char* title) { return exported = title, 1; });
    form.setObjectName(QStringLiteral("deptForm"));
    form.resize(300, 300);
    t->setObjectName(QStringLiteral("deptTree"));
    t->resize(300, 300);
    fin = t->TN_Add(nullptr, 1, "01", u"财务部");
    acc = t->TN_Add(fin, 2, "0101", u"会计组");
    sales = t->TN_Add(nullptr, 1, "02", u"销售部");
    east = t->TN_Add(sales, 2, "0201", u"华东销售组");
    quoted = t->TN_Add(east, 3, "A'1", u"上海");
    south = t->TN_Add(sales, 2, "0202", u"华南销售组");
    store = t->TN_Add(nullptr, 1, "", u"仓库");
  }
};

// Code functions: a "k" before the code; a comma inside it (01 reads 0,1).
const char* Upper(TTreeNode* n) {
  static std::string s;
  return (s = "k" + std::string(static_cast<MTreeView*>(n->TreeView())->TN_Code(n))).c_str();
}
const char* Comma(TTreeNode* n) {
  static std::string s;
  return (s = static_cast<MTreeView*>(n->TreeView())->TN_Code(n)).insert(1, ","), s.c_str();
}

TEST(MTreeView, CodeLoopsAndLookups) {
  Fixture f;
  struct Row { const char* name; TTreeNode* node; int quote, max_len; MTreeView::TN_Code_Fn fn; const char* list; };
  const Row rows[] = {
      {"quoted: parent first, depth first, a quote doubled", f.sales, 1, 0, nullptr, "'02','0201','A''1','0202'"},
      {"plain", f.sales, 0, 0, nullptr, "02,0201,A'1,0202"},
      {"cut back to whole items", f.sales, 0, 12, nullptr, "02,0201,A'1"},
      {"cut exactly at a comma", f.sales, 0, 7, nullptr, "02,0201"},
      {"no comma within max_len empties the list", f.sales, 0, 1, nullptr, ""},
      {"a node without a code adds nothing", f.store, 1, 0, nullptr, ""},
      {"the code function supplies the codes", f.fin, 1, 0, Upper, "'k01','k0101'"},
      {"a comma inside a quoted code is no place to cut", f.fin, 1, 9, Comma, "'0,1'"},
      {"null node", nullptr, 1, 0, nullptr, ""},
  };
  for (const Row& r : rows)
    EXPECT_STREQ(f.t->TN_Code_Loop(r.node, r.quote, r.max_len, r.fn), r.list) << r.name;
  tstr list("x");
  EXPECT_TRUE(f.t->TN_Code_Loop(f.east, &list, 1) == 2 && std::string(list.c_str()) == "x,'0201','A''1'") << "appended";

  struct Find { const char* name; TTreeNode *got, *want; } finds[] = {
      {"TN_Get by type", f.t->TN_Get(2), f.acc}, {"TN_Get by type and code", f.t->TN_Get(2, "0202"), f.south},
      {"TN_Get wrong type", f.t->TN_Get(1, "0202"), nullptr},
      {"head mode: the longest code beginning the text", f.t->TN_Get_Head_Mode(2, "020199"), f.east},
      {"head mode over levels of one type",
       (f.t->TN_Update_Code(f.acc, "0"), f.t->TN_Get_Head_Mode(2, "0201")), f.east},
      {"head mode without text: the first of the type", f.t->TN_Get_Head_Mode(3, nullptr), f.quoted},
      {"head mode: an empty code begins every text", f.t->TN_Get_Head_Mode(1, "9"), f.store},
      {"head mode, nothing begins the text", f.t->TN_Get_Head_Mode(2, "9"), nullptr},
  };
  for (const Find& x : finds) EXPECT_EQ(x.got, x.want) << x.name;
  EXPECT_STREQ(f.t->TN_Code(f.store), "");
  f.t->TN_Free(f.acc);
  EXPECT_TRUE(f.t->TN_Type(f.acc) == 0 && f.t->TN_Update_Code(f.acc, "x") == 0) << "a freed node has nothing to update";
}

TEST(MTreeView, SearchStepping) {
  Fixture f;
  const std::string sales = Gbk(u"销售"), missing = Gbk(u"人事"), store = Gbk(u"仓"), group = Gbk(u"组");
  auto key = [&](Qt::Key k) { return [&f, k] { return QTest::keyClick(f.t, k, Qt::ControlModifier), 0; }; };
  // asked: input boxes so far
  struct Step { const char* name; std::function<int()> act; int result; TTreeNode* selected; int asked; } steps[] = {
      {"next with no search text asks first; cancelled", [&] { return f.t->Find_Next(); }, 0, nullptr, 1},
      {"Search_Str selects the first holding the text", [&] { return f.t->Search_Str(sales.c_str()); }, 0, f.sales, 1},
      {"Ctrl+K steps on in node order", key(Qt::Key_K), 0, f.east, 1}, {"Ctrl+K again", key(Qt::Key_K), 0, f.south, 1},
      {"next at the last match changes nothing", [&] { return f.t->Find_Next(); }, 0, f.south, 1},
      {"Ctrl+L steps back", key(Qt::Key_L), 0, f.east, 1},
      {"not found keeps the selection", [&] { return f.t->Search_Str(missing.c_str()); }, 1, f.east, 1},
      {"from the start asks the host", [&] { return f.answer = store.c_str(), f.t->Find_From_Start(); }, 1, f.store, 2},
      {"from here: after the selected node",
       [&] { return f.t->SetSelected(f.fin), f.answer = group.c_str(), f.t->Find_From_Here(); }, 1, f.acc, 3},
      {"from here without a selection asks nothing",
       [&] { return f.t->SetSelected(nullptr), f.t->Find_From_Here(); }, 0, nullptr, 3},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(s.act(), s.result) << s.name;
    EXPECT_TRUE(f.t->Selected() == s.selected && f.asked == s.asked) << s.name << ": asked " << f.asked;
  }
  MTreeView empty;
  EXPECT_TRUE(std::string(f.t->Search_Text()) == group && empty.Search_Str("x") == 0);
}

TEST(MTreeView, ShowCodesPreferenceAndClipboard) {
  Fixture f;
  int events = 0;
  f.t->OnSwitch_Caption_With_CodeClick = [&](TObject*) { ++events; };
  auto menu = new TPopupMenu(f.t);
  f.t->SetPopupMenu(menu);
  f.stored = "1";
  EXPECT_EQ(f.t->TN_Extend_Menu_Switch_Code(nullptr), 1);
  EXPECT_TRUE(f.saved == "cap.deptForm.deptTree" && f.t->A_Caption_With_Code()) << "the stored 1 shows the codes";
  f.t->Copy_To_Clipboard();
  EXPECT_EQ(Clipboard()->AsText(), U(u"01 财务部\r\n......0101 会计组\r\n02 销售部\r\n......0201 华东销售组\r\n"
                                     u"............A'1 上海\r\n......0202 华南销售组\r\n仓库\r\n"));
  menu->FindItem(QStringLiteral("deptTree_shcode_funcs"))->Click();  // the user hides them again
  EXPECT_EQ(f.saved, "cap.deptForm.deptTree=0,0");
  EXPECT_EQ(f.t->Tree_Text(), U(u"财务部\r\n......会计组\r\n销售部\r\n......华东销售组\r\n............上海\r\n"
                                 u"......华南销售组\r\n仓库\r\n"));
  f.stored = "0";
  f.t->TN_Extend_Menu_Switch_Code(nullptr);  // agrees with the state: nothing changes
  EXPECT_EQ(events, 2);
  f.t->Set_Caption_With_Code(true);
  f.t->TN_Add(nullptr, 1, "A1", u"Sales");
  f.t->Set_Caption_With_Code(true);
  EXPECT_EQ(f.t->Items()->Root(3)->Text(), QStringLiteral("A1 Sales"));
  f.t->Set_Caption_With_Code(false);
  EXPECT_EQ(f.t->Items()->Root(3)->Text(), QStringLiteral("Sales"));
}

// Codes as QString in and out; a caption keeps a character the code page lacks.
TEST(MTreeView, CodesAsQString) {
  Fixture f;
  TTreeNode* n = f.t->TN_Add(f.fin, 2, U(u"甲€2"), u"出纳组");
  EXPECT_TRUE(f.t->TN_Get(2, U(u"甲€2")) == n && f.t->TN_Update(n, QStringLiteral("0102"), u"会计部 ✓") == 1);
  f.t->Set_Caption_With_Code(true);
  EXPECT_TRUE(f.t->Search_Str(U(u"会计部")) == 0 && f.t->Selected() == n) << "found";
  EXPECT_EQ(n->Text() + '|' + f.t->selectedCode() + '|' + f.t->code(nullptr), U(u"0102 会计部 ✓|0102|"));
}

TEST(MTreeView, MenuGroupsAreAddedOnce) {
  Fixture f;
  TPopupMenu menu;
  auto names = [&] {
    QStringList out;
    for (int i = 0; i < menu.Count(); ++i) out << menu.Items(i)->Name().mid(8) + '=' + menu.Items(i)->Caption();
    return out.join('|');
  };
  EXPECT_EQ(f.t->TN_Extend_Menu(nullptr, 0), 0);  // no menu at all
  EXPECT_EQ(f.t->TN_Extend_Menu(&menu, MTreeView::TN_MENU_NO_EXPAND | MTreeView::TN_MENU_NO_FIND), 1);
  EXPECT_EQ(menu.Count(), 0);
  for (int i = 0; i < 2; ++i) f.t->TN_Extend_Menu(&menu, MTreeView::TN_MENU_SWITCH_CODE);
  f.t->Add_Km_Menu(&menu, u"部门树");
  f.t->Add_Km_Menu(&menu, nullptr);
  EXPECT_EQ(names(), U(u"_exp_funcs=-|_exp_all= 全部展开|_col_all= 全部合拢|_exp_cur= 展开当前节点|_col_cur= 合拢当前节点|"
                       u"_exp_cur_all= 全部展开当前节点|_col_cur_all= 全部合拢当前节点|_shcode_funcs= 显示/隐藏编码|"
                       u"_find_funcs=-|_find_start= 从头查找节点|_find_here= 从本节点查找|_find_next= 向后查找Ctrl+K|"
                       u"_find_prev= 向前查找Ctrl+L|_copy_text= 复制树结构文本到内存|_print= 打印|_km_funcs= 输出到层次图"));
  menu.FindItem(QStringLiteral("deptTree_km_funcs"))->Click();
  EXPECT_EQ(f.exported, Gbk(u"索引树"));  // the last title was empty and the tree has no caption
  f.t->Add_Km_Menu(&menu, u"部门树");
  menu.FindItem(QStringLiteral("deptTree_km_funcs"))->Click();
  EXPECT_EQ(f.exported, Gbk(u"部门树"));
  f.t->SetSelected(f.sales);
  menu.FindItem(QStringLiteral("deptTree_exp_cur_all"))->Click();
  EXPECT_TRUE(f.east->Expanded());
  menu.FindItem(QStringLiteral("deptTree_col_all"))->Click();
  EXPECT_FALSE(f.sales->Expanded());
}

TEST(MTreeView, BackgroundAndSelectedItemColours) {
  Fixture f;
  QPalette p = f.form.palette();
  p.setColor(QPalette::Window, QColor(0x20, 0x40, 0x60));
  f.form.setPalette(p);
  f.form.show();
  MTreeView alone;
  alone.resize(100, 100);
  alone.show();
  auto corner = [](TTreeView* v) {
    const QImage img = v->viewport()->grab().toImage();
    return img.pixelColor(img.width() - 2, img.height() - 2);
  };
  EXPECT_EQ(corner(f.t), QColor(0x20, 0x40, 0x60));  // the form's colour
  EXPECT_EQ(corner(&alone), QColor(0xF2, 0xF3, 0xF3));

  TTreeView_Ext ext(&f.form);
  ext.SetHideSelection(true);
  ext.resize(200, 100);
  ext.show();
  TTreeNode* n = ext.AddItem(nullptr, U(u"0€1"), U(u"x ✓"));  // the QString form
  EXPECT_TRUE(ext.GetCode() == nullptr && ext.selectedCode().isEmpty()) << "nothing selected";
  ext.SetSelected(n);
  f.t->setFocus();
  ext.viewport()->grab();  // the selected item stays blue without the focus
  const QImage img = ext.viewport()->grab().toImage();
  const QRect r = n->DisplayRect(true).toQRect();
  for (int x : {r.right() - 2, 2})  // 2: the row's branch area
    EXPECT_EQ(img.pixelColor(x, r.center().y()), QColor(0, 0, 0xFF)) << "x " << x;
  EXPECT_EQ(ext.selectedCode() + '|' + n->Text(), U(u"0€1|x ✓"));
  EXPECT_TRUE(ext.FreeCode() == 1 && ext.GetCode() == nullptr);
}

TEST(TTreeView_Ext, AttachTreeDictNestsByCodeContainment) {
  zt::App();
  TSQLCA q;
  q.Set_Field_Count(2);
  for (const char* code : {"01", "0101", "010101", "0102", "02", "0201", "X", "X01"}) {
    q.Add_Row();
    q.Set_Value(0, map_wchar(code));
    q.Set_Value(1, map_wchar(("n" + std::string(code)).c_str()));
  }
  TTreeView_Ext t;
  EXPECT_EQ(t.AttachTreeDict(nullptr), 0);
  EXPECT_EQ(t.AttachTreeDict(&q), 1);
  QString shape;
  for (TTreeNode* n = t.Items()->GetFirstNode(); n; n = n->GetNext())
    shape += QString(n->Level(), '.') + static_cast<const char*>(n->Data()) + ' ';
  EXPECT_EQ(shape, QStringLiteral("01 .0101 ..010101 .0102 02 .0201 X .X01 "));
  EXPECT_TRUE(t.Items()->GetFirstNode()->Text() == QStringLiteral("n01") && t.Code_Count() == 8);
  EXPECT_TRUE(t.FreeCode() == 8 && t.Code_Count() == 0);
}

// The outline the hierarchy-chart export writes, read back as a mind-map program reads it ("." per
// level, "+" after a folded node), and the printout.
TEST(MTreeView, ExportedOutlineParsesBack) {
  Fixture f;
  f.t->TN_Update(f.store, "", u"仓库 𠀀 <&\"'> \x01");
  f.t->SetSelected(f.sales);
  f.sales->Expand(false);
  QTemporaryDir dir;
  struct Row { Zem_Outline_Format format; const char *file, *text; QString lines; } rows[] = {
      {ZEM_OUTLINE_FREEMIND, "t.mm", "TEXT",
       U(u"部门|.财务部+|..会计组|.销售部|..华东销售组+|...上海|..华南销售组|.仓库 𠀀 <&\"'> ")},
      {ZEM_OUTLINE_OPML, "t.opml", "text",
       U(u"title 部门|财务部|.会计组|销售部|.华东销售组|..上海|.华南销售组|仓库 𠀀 <&\"'> ")},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.file);
    const QString path = dir.filePath(QLatin1String(r.file));
    QString error;
    ASSERT_TRUE(Zem_Host_Write_Tree_Outline(f.t, U(u"部门"), path, r.format, &error)) << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    // A map as the mind-map program writes its own: it looks for <map version= at the very start and
    // reads the file in the platform's charset, so Chinese goes as character references.
    const QByteArray bytes = file.readAll();
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; });
    EXPECT_TRUE(r.format != ZEM_OUTLINE_FREEMIND || (bytes.startsWith("<map version=") && ascii)) << bytes.data();
    QXmlStreamReader x(bytes);
    QStringList lines;
    for (int depth = 0; !x.atEnd();) {
      x.readNext();
      const bool item = x.name() == QLatin1String("node") || x.name() == QLatin1String("outline");
      if (x.isEndElement() && item) --depth;
      if (x.isStartElement() && x.name() == QLatin1String("title")) lines << "title " + x.readElementText();
      if (x.isStartElement() && item)
        lines << QString(depth++, '.') + x.attributes().value(r.text).toString() +
                     (x.attributes().value("FOLDED") == QLatin1String("true") ? "+" : "");
    }
    EXPECT_FALSE(x.hasError()) << x.errorString().toStdString();
    EXPECT_EQ(lines.join('|'), r.lines);
  }
  QString error;
  EXPECT_FALSE(Zem_Host_Write_Tree_Outline(f.t, QString(), dir.filePath("no/such/dir/t.mm"), ZEM_OUTLINE_FREEMIND, &error));
  EXPECT_TRUE(error.startsWith(U(u"不能写入文件"))) << error.toStdString();
  // The printout: 300 nodes take several pages.
  for (int i = 0; i < 300; ++i) f.t->TN_Add(f.store, 1, "x", u"行");
  QBuffer pdf;
  pdf.open(QIODevice::WriteOnly);
  QPdfWriter writer(&pdf);
  EXPECT_GT(Zem_Host_Paint_Tree(f.t, &writer), 3);
}

}  // namespace
