// The grid over a tracked query area (Bind_Area): what the clerk changes reaches the table through
// Save_Changes, on SQLite and PostgreSQL; QString and QDate as bound values; the first current cell.
#include <zem_pack/zem_pack.h>

#include "controls/grid/mg_test_util.h"
#include "drivers/db_fixture.h"

namespace {

QString U(const char16_t* s) { return QString::fromUtf16(s); }

// Goods read into a tracked area, shown by a grid with a dictionary pick list and a sum grid.
class MgArea : public AppFirst, public zem_test::Db_Test {
 public:
  void SetUp() override {
    Db_Test::SetUp();
    if (HasFatalFailure()) return;
    Dict_Client_List()->Clear();  // the other backend's dictionaries
    TSQLCA q;
    ASSERT_EQ(Dict_Create_Def_Tables(&q), 0);
    Ok(q, {u"insert into app_dict_def(dict_id, code, name) values('dept','01','财务部'),('dept','02','采购部'),"
           u"('dept','03','仓储部')",
           u"create table goods(code varchar(40) primary key, dept_code varchar(10), qty integer, "
           u"amount numeric(12,2), since date)"});
    grid.SetColCount(5);
    grid.SetADEF({U(u"代码,$code"), U(u"部门,$dept_code"), U(u"数量,$qty,int"), U(u"金额,$amount,money")});
    grid.SetColPickDict(2, "dept");
    grid.Set_Sum_Mg(&sum);
    grid.Set_Sum_Flag("amount", 1);
  }
  void Load() {
    TSQLCA q;
    Ok(q, {u"delete from goods", u"insert into goods values('G01','02',12,67200,'2024-01-08'),"
                                 u"('G02','02',340,4250,'2024-03-15'),('G03','03',1500,1800,'2024-05-20')"});
    ASSERT_EQ(area.Select(u"select * from goods order by code"), 0);
    ASSERT_EQ(area.Track_Changes(u"goods", u"code"), 1);
    ASSERT_EQ(grid.Bind_Area(&area), 3);
  }
  std::string Table() {
    TSQLCA q;
    std::string out;
    q.Select(u"select code || ' ' || dept_code || ' ' || qty || ' ' || cast(amount as integer) || '|' from goods order by code");
    for (int r = 0; r < q.Get_Row_Count(); ++r) out += zem_test::Utf8(q.Get_Row_Value(r, 0));
    return out;
  }
  void Paste(int col, int row, const QString& text) {
    grid.FocusCell(col, row);
    grid.Paste_Text(text);
  }
  TMG grid;
  TMG sum;
  TSQLCA area;
};

TEST_P(MgArea, WhatTheClerkChangesIsSaved) {
  // total: the sum line (without decimals while a pasted amount has none)
  struct Row { const char* name; std::function<void(MgArea&)> act; const char* table; const char* total; } rows[] = {
      {"an amount pasted", [](MgArea& t) { t.Paste(4, 2, QStringLiteral("5,100")); },
       "G01 02 12 67200|G02 02 340 5100|G03 03 1500 1800|", "74100"},
      {"a code pasted into the dictionary column (shown as \"01 财务部\")", [](MgArea& t) { t.Paste(2, 3, QStringLiteral("01")); },
       "G01 02 12 67200|G02 02 340 4250|G03 01 1500 1800|", "73250.00"},
      {"sorted by quantity, falling, then the first row changed", [](MgArea& t) {
         t.grid.Sort_Col_Add(3, 1);
         t.grid.Sort();
         t.Paste(3, 1, QStringLiteral("1499"));
       }, "G01 02 12 67200|G02 02 340 4250|G03 03 1499 1800|", "73250.00"},
      {"a row deleted", [](MgArea& t) { t.grid.Delete_Row(1); }, "G02 02 340 4250|G03 03 1500 1800|", "6050.00"},
      {"a row inserted and pasted into; another inserted and left empty", [](MgArea& t) {
         t.grid.Insert_Row(2);
         t.grid.Insert_Row(2);
         t.Paste(1, 3, U(u"G09\t03\t2\t10"));
       }, "G01 02 12 67200|G02 02 340 4250|G03 03 1500 1800|G09 03 2 10|", "73260"},
      {"a check-box column ticked off by the key 0", [](MgArea& t) {
         t.grid.SetColShowStyle(3, 2);
         t.grid.FocusCell(3, 1);
         QTest::keyClick(&t.grid, Qt::Key_0);
       }, "G01 02 0 67200|G02 02 340 4250|G03 03 1500 1800|", "73250.00"},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    grid.Sort_Col_Clear();
    Load();
    row.act(*this);
    EXPECT_EQ(sum.value(4, 0), QLatin1String(row.total));
    ASSERT_EQ(area.Save_Changes(), 0) << zem_test::Utf8(area.Get_Error_Msg());
    EXPECT_EQ(Table(), row.table);
  }
  // A display column added afterwards shows the names of the codes already there, and stores nothing.
  grid.Def_Col(5, U(u"部门名称"), "dept_name", 'S', 80, 0);
  EXPECT_EQ(grid.Set_Dict(5, QStringLiteral("dept"), QStringLiteral("dept_code")), 1);
  EXPECT_EQ(grid.value(5, 1) + grid.value(5, 3), U(u"采购部仓储部"));
  TSave_Result result;
  ASSERT_EQ(area.Save_Changes(nullptr, &result), 0);
  EXPECT_EQ(result.updated, 0);
}

TEST_P(MgArea, QStringAndQDateAreBoundValues) {
  TSQLCA q;
  const QString quoted = U(u"O'Brien 的\"货\"'); drop table goods; --");  // a QString is only ever a value
  ASSERT_EQ(q.Exec(u"insert into goods(code, dept_code, since) values(?, ?, ?)", {quoted, QString(), QDate(2024, 2, 29)}), 0);
  ASSERT_EQ(q.Exec(u"insert into goods(code, since) values(?, ?)", {QStringLiteral("G11"), QDate()}), 0);
  // An empty QString is an empty text, an invalid QDate NULL.
  ASSERT_EQ(q.Select(u"select code from goods where (dept_code = ? and since = ?) or since is null order by code",
                     {QString(), QDate(2024, 2, 29)}), 0);
  EXPECT_EQ(QString::fromUtf16(q.Get_Row_Value(0, 0)) + "|" + QString::fromUtf16(q.Get_Row_Value(1, 0)), "G11|" + quoted);
}

INSTANTIATE_TEST_SUITE_P(Backends, MgArea, ::testing::Values("sqlite", "pg"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

TEST(MgQt, QStringFormsAndTheFirstCurrentCell) {
  controlsTestApp();
  TMG g;
  g.SetColCount(4);
  g.SetADEF({"H,$h,|0", "K,$k,readonly", "N,$n"});
  g.show();
  QApplication::processEvents();
  EXPECT_EQ(g.Col(), 3) << "past the hidden and the read-only column";
  // A character the system code page lacks stays whole; a name no column has writes nothing.
  EXPECT_EQ(g.SetW("n", 1, U(u"€ 12 ✓")) + g.SetV("zz", 1, U(u"乙")) + g.SetV(1, 9, U(u"乙")), 1);
  EXPECT_EQ(g.value("n", 1), U(u"€ 12 ✓"));
  int id = 0;
  EXPECT_TRUE(g.Adjust_Col_Caption("n", U(u"名称 ✓")) && g.GetColId(QStringLiteral("k"), &id) && id == 2);
  EXPECT_EQ(g.Cells(3, 0) + '|' + g.colName(3), U(u"名称 ✓|n"));
}

}  // namespace
