// MTreeView over real dictionaries and key sets: SQLite on a file and PostgreSQL on the test server.
#include "controls/support.h"
#include "controls/tree/Mtreeview.h"
#include "controls/tree/Treeview_ext.h"
#include "core/text/map_str.h"

namespace {

// dept: a standard dictionary, its codes a classification (0201 missing on purpose); units: an own-SQL
// dictionary nested by its column "up", with extended rows.
class TreeDb : public zt::Dict_Db {
 protected:
  void SetUp() override {
    Dict_Db::SetUp();
    if (HasFatalFailure()) return;
    Sql({u"insert into app_dict_def values('dept','01','总部',0,0,0,'',1),('dept','0101','财务部',0,0,0,'',2),"
         u"('dept','0102','销售部',0,0,0,'',3),('dept','02','工厂',0,0,0,'',4),('dept','020101','一车间',0,0,0,'',5)",
         u"create table units(code varchar(20), name varchar(40), up varchar(20))",
         u"create table units_ext(code varchar(20), name varchar(40), up varchar(20))",
         u"insert into units values('S1','华东区','')", u"insert into units values('S11','上海','S1')",
         u"insert into units values('N''1','O''Brien 部','')", u"insert into units_ext values('S12','杭州','S1')",
         u"insert into app_dict_sql values('units','select code,name,up from units',"
         u"'select code,name,up from units_ext','up','','','','','')"});
  }
};

TEST_P(TreeDb, AttachAndUpdate) {
  // codes: shown from the start; first: a dictionary attached before act, or null; text: as copied
  struct Row { const char* name; bool codes; const char* first; std::function<int(MTreeView&)> act; int result;
               const char16_t* text; } rows[] = {
      {"standard dictionary: flat, in order_id order", false, nullptr,
       [](MTreeView& t) { return t.TN_Attach_Dict(nullptr, "dept", 1); }, 1,
       u"总部\r\n财务部\r\n销售部\r\n工厂\r\n一车间\r\n"},
      {"class dictionary under a node: nested by code prefix, a missing level skipped", false, nullptr,
       [](MTreeView& t) { return t.TN_Attach_Class_Dict(t.TN_Add(nullptr, 0, "", u"全部"), "dept", 1); }, 1,
       u"全部\r\n......总部\r\n............财务部\r\n............销售部\r\n......工厂\r\n............一车间\r\n"},
      {"own SQL nested by its parent column, codes shown", true, nullptr,
       [](MTreeView& t) { return t.TN_Attach_Dict(nullptr, "units", 2); }, 1,
       u"N'1 O'Brien 部\r\nS1 华东区\r\n......S11 上海\r\n"},
      {"with the extended dictionary's rows", false, nullptr,
       [](MTreeView& t) { return t.TN_Attach_Dict(nullptr, "units", 2, 1); }, 1,
       u"O'Brien 部\r\n华东区\r\n......上海\r\n......杭州\r\n"},
      {"a dictionary without entries, and no id at all, attach nothing", false, nullptr,
       [](MTreeView& t) { return t.TN_Attach_Dict(nullptr, "nope", 1) * 10 + t.TN_Attach_Dict(nullptr, (char*)0, 1); },
       10, u""},
      {"query area: one node per row", false, nullptr,
       [](MTreeView& t) {
         TSQLCA q;
         return q.Exec(u"select code,name from units order by code"), t.TN_Attach_Dbio(nullptr, &q, 3) + (t.TN_Get(3, "S11") ? 10 : 0);
       }, 11, u"O'Brien 部\r\n华东区\r\n上海\r\n"},
      {"update code and caption with codes shown", true, "dept",
       [](MTreeView& t) { return t.TN_Update(t.TN_Get(1, "02"), "09", u"新工厂"); }, 1,
       u"01 总部\r\n0101 财务部\r\n0102 销售部\r\n09 新工厂\r\n020101 一车间\r\n"},
      {"update the code alone keeps the caption", true, "dept",
       [](MTreeView& t) { return t.TN_Update_Code(t.TN_Get(1, "0101"), "0109") + t.TN_Update_Code(nullptr, "x"); }, 1,
       u"01 总部\r\n0109 财务部\r\n0102 销售部\r\n02 工厂\r\n020101 一车间\r\n"},
      {"update with codes hidden changes the code only", false, "dept",
       [](MTreeView& t) { return t.TN_Update_Code(t.TN_Get(1, "02"), "09") + (t.TN_Get(1, "09") ? 10 : 0); }, 11,
       u"总部\r\n财务部\r\n销售部\r\n工厂\r\n一车间\r\n"},
      {"a long code updated to a part of itself", true, nullptr,
       [](MTreeView& t) {  // from the node's own code
         TTreeNode* n = t.TN_Add(nullptr, 4, "DEPT-2024-NORTH-01", u"北区");
         return t.TN_Update_Code(n, t.TN_Code(n) + 10);
       }, 1, u"NORTH-01 北区\r\n"},
  };
  for (const Row& r : rows) {
    MTreeView t;
    t.Set_Caption_With_Code(r.codes);
    if (r.first) t.TN_Attach_Dict(nullptr, r.first, 1);
    EXPECT_EQ(r.act(t), r.result) << r.name;
    EXPECT_EQ(t.Tree_Text().toStdU16String(), r.text) << r.name;
  }
}

TEST_P(TreeDb, KeySetFormStoresTheNodeAndItsChildren) {
  MTreeView t;
  TTreeNode* top = t.TN_Add(nullptr, 1, "A'1", u"甲");
  t.TN_Add(t.TN_Add(top, 1, "B1", u"乙"), 1, "B11", u"丙");
  t.TN_Add(top, 1, "B2", u"丁");
  EXPECT_STREQ(t.TN_Code_Loop_Smart(top, 1, 40), "'A''1','B1','B11','B2'");  // short enough: the list
  const std::string cond = t.TN_Code_Loop_Smart(top, 1, 10);
  const std::string head = "select key_id from app_tmp_key_set where set_id = ";
  ASSERT_EQ(cond.substr(0, head.size()), head);
  EXPECT_GT(std::atoi(cond.c_str() + head.size()), 0);
  TSQLCA q;
  const std::string sql = "select key_id from app_tmp_key_set where key_id in (" + cond + ") order by key_id";
  ASSERT_EQ(q.Exec(map_wchar(sql.c_str())), 0);
  std::u16string keys;
  for (int r = 0; r < q.Get_Row_Count(); ++r) keys += std::u16string(q.Get_Row_Value(r, 0)) + u";";
  EXPECT_EQ(keys, u"A'1;B1;B2;");  // the grandchild B11 is not part of the set
  q.Rollback();  // no key set to be had (a key table the server cannot write): the whole list stands
  Ok(q, {u"drop table if exists app_tmp_key_set", u"create table app_tmp_key_set(other integer)"});
  zem_test::Log_Capture log;
  EXPECT_STREQ(t.TN_Code_Loop_Smart(top, 1, 10), "'A''1','B1','B11','B2'");
  EXPECT_NE(log.Text().find("no temporary key set"), std::string::npos) << log.Text();
  q.Rollback();
  Ok(q, {u"drop table if exists app_tmp_key_set"});
}

// Both tree views follow their dictionary: a renamed entry shows its new name with the user's expanded
// nodes and selection kept and no change event; a deleted selected entry moves the selection, told.
TEST_P(TreeDb, BothTreesFollowTheirDictionary) {
  MTreeView t;
  TTreeView_Ext ext;
  TTreeNode* all = t.TN_Add(nullptr, 0, "", u"全部");
  ASSERT_EQ(t.TN_Attach_Class_Dict(all, "dept", 1), 1);
  ASSERT_EQ(ext.Attach_Dict("dept"), 1);
  all->SetExpanded(true);
  t.TN_Get(1, "01")->SetExpanded(true);
  t.SetSelected(t.TN_Get(1, "0102"));
  for (TTreeNode* n = ext.Items()->GetFirstNode(); n; n = n->GetNext())
    if (std::string(static_cast<const char*>(n->Data())) == "0102") ext.SetSelected(n);
  int changes = 0, ext_changes = 0;
  t.OnChange = [&](TObject*, TTreeNode*) { changes++; };
  ext.OnChange = [&](TObject*, TTreeNode*) { ext_changes++; };
  struct Step {
    const char* name;
    const char16_t* sql;  // null: no change in the database
    const char* id;
    std::string selected, ext_selected;
    int changes;
    const char16_t* text;
  } steps[] = {
      {"renamed", u"update app_dict_def set name = '营销部' where dict_id = 'dept' and code = '0102'", "dept", "0102",
       "0102", 0, u"全部\r\n......总部\r\n............财务部\r\n............营销部\r\n......工厂\r\n............一车间\r\n"},
      {"another dictionary's change", nullptr, "units", "0102", "0102", 0, nullptr},
      {"the selected entry deleted", u"delete from app_dict_def where dict_id = 'dept' and code = '0102'", "dept", "",
       "", 1, u"全部\r\n......总部\r\n............财务部\r\n......工厂\r\n............一车间\r\n"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    const QString before = t.Tree_Text();
    if (s.sql) Sql({s.sql});
    Dict_Client_List()->Mark_Changed(s.id);
    t.Follow_Dict_Change(s.id);
    ext.Follow_Dict_Change(s.id);
    EXPECT_EQ(t.Tree_Text(), s.text ? QString::fromUtf16(s.text) : before);
    EXPECT_EQ(std::string(t.Selected_Code()), s.selected);
    EXPECT_EQ(std::string(ext.GetCode() ? ext.GetCode() : ""), s.ext_selected);
    EXPECT_EQ(std::make_pair(changes, ext_changes), std::make_pair(s.changes, s.changes));
    EXPECT_TRUE(t.TN_Get(1, "01")->Expanded()) << "the user's expanded node stays expanded";
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, TreeDb, ::testing::Values("sqlite", "pg"), zt::Backend_Name);

}  // namespace
