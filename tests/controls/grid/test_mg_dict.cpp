// Dictionary pick-list cells against a real dictionary: a SQLite file with app_dict_def rows, read
// through the driver library and the client dictionary list.
#include "controls/controls_test_app.h"
#include "controls/grid/Mg.h"
#include "core/data/db_connect.h"
#include "core/data/sqlca.h"
#include "dict/dict_mgr.h"

#include <QTemporaryDir>
#include <cstring>

namespace {

// A SQLite database in a temporary folder holding the "dept" dictionary; the connection and the
// dictionary list are emptied again afterwards so that other tests meet no database.
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

}  // namespace

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
