// The grid over a tracked query area (Bind_Area): what the clerk changes in the grid reaches the table
// through Save_Changes, on SQLite and on the PostgreSQL test server; values bound from QString and QDate;
// the grid's Qt forms; the first current cell; dictionary columns bound after the rows came.
#include "controls/grid/mg_test_util.h"
#include "core/data/save_changes.h"
#include "dict/dict.h"
#include "drivers/db_fixture.h"

namespace {

QString U(const char16_t* s) { return QString::fromUtf16(s); }

// Goods of three departments in the dictionary "dept", read into a tracked area shown by a grid whose
// department column is a dictionary pick list and whose amounts are totalled by a sum grid.
class MgArea : public AppFirst, public zem_test::Db_Test {
 public:
  void SetUp() override {
    controlsTestApp();
    Db_Test::SetUp();
    if (HasFatalFailure()) return;
    Dict_Client_List()->Clear();
    TSQLCA q;
    ASSERT_EQ(Dict_Create_Def_Tables(&q), 0) << zem_test::Utf8(q.Get_Error_Msg());
    Ok(q, {u"insert into app_dict_def(dict_id, code, name) values('dept','01','财务部'),('dept','02','采购部'),"
           u"('dept','03','仓储部')",
           u"create table goods(code varchar(10) primary key, name varchar(40), dept_code varchar(10), qty integer, "
           u"amount numeric(12,2), since date)",
           u"insert into goods values('G01','冷轧钢板','02',12,67200,'2024-01-08'),('G02','电子元件','02',340,4250,"
           u"'2024-03-15'),('G03','包装纸箱','03',1500,1800,'2024-05-20')"});
    grid.SetColCount(6);
    grid.SetADEF({U(u"代码,$code"), U(u"名称,$name"), U(u"部门,$dept_code"), U(u"数量,$qty,int"),
                  U(u"金额,$amount,money")});
    grid.SetColPickDict(3, "dept");
    grid.Set_Sum_Mg(&sum);
    grid.Set_Sum_Flag("amount", 1);
  }
  void TearDown() override {
    grid.Bind_Area(nullptr);
    Dict_Client_List()->Clear();
    Db_Test::TearDown();
  }
  void Load() {
    ASSERT_EQ(area.Select(u"select * from goods order by code"), 0) << zem_test::Utf8(area.Get_Error_Msg());
    ASSERT_EQ(area.Track_Changes(u"goods", u"code"), 1);
    ASSERT_EQ(grid.Bind_Area(&area), 3);
  }
  int Row_Of(const char* code) {
    for (int r = 1; r < grid.RowCount(); ++r)
      if (grid.value("code", r) == QLatin1String(code)) return r;
    return -1;
  }
  // The table as "code dept qty amount" per row.
  std::string Table() {
    TSQLCA q;
    EXPECT_EQ(q.Select(u"select code, dept_code, qty, cast(amount as integer) from goods order by code"), 0);
    std::string out;
    for (int r = 0; r < q.Get_Row_Count(); ++r) {
      for (int f = 0; f < 4; ++f) out += zem_test::Utf8(q.Get_Row_Value(r, f)) + (f < 3 ? " " : "|");
    }
    return out;
  }
  TMG grid;
  TMG sum;
  TSQLCA area;
};

TEST_P(MgArea, WhatTheClerkChangesIsSaved) {
  // act: the clerk's change; table: the table after Save_Changes; total: the sum line under the amounts
  struct Row { const char* name; std::function<void(MgArea&)> act; const char* table; const char* total; } rows[] = {
      {"an amount pasted", [](MgArea& t) {
         t.grid.FocusCell(5, t.Row_Of("G02"));
         EXPECT_EQ(t.grid.Paste_Text(QStringLiteral("5,100")), 1);
       }, "G01 02 12 67200|G02 02 340 5100|G03 03 1500 1800|", "74100"},
      {"a department code pasted into the dictionary column shows its name, the code is stored", [](MgArea& t) {
         t.grid.FocusCell(3, t.Row_Of("G03"));
         t.grid.Paste_Text(QStringLiteral("01"));
         EXPECT_EQ(t.grid.Cells(3, t.Row_Of("G03")), U(u"01 财务部"));
       }, "G01 02 12 67200|G02 02 340 4250|G03 01 1500 1800|", "73250.00"},
      {"rows sorted by quantity, falling, then the first one changed", [](MgArea& t) {
         t.grid.Sort_Col_Add(4, 1);
         t.grid.Sort();
         EXPECT_EQ(t.grid.value("code", 1), QStringLiteral("G03"));
         t.grid.FocusCell(4, 1);
         t.grid.Paste_Text(QStringLiteral("1499"));
       }, "G01 02 12 67200|G02 02 340 4250|G03 03 1499 1800|", "73250.00"},
      {"a row deleted", [](MgArea& t) { EXPECT_EQ(t.grid.Delete_Row(t.Row_Of("G01")), 1); },
       "G02 02 340 4250|G03 03 1500 1800|", "6050.00"},
      {"a row inserted and typed into by a paste of a whole row", [](MgArea& t) {
         t.grid.Insert_Row(2);
         t.grid.FocusCell(1, 2);
         t.grid.Paste_Text(U(u"G09\t样品\t03\t2\t10"));
       }, "G01 02 12 67200|G02 02 340 4250|G03 03 1500 1800|G09 03 2 10|", "73260"},
      {"two rows swapped, then one changed", [](MgArea& t) {
         t.grid.Swap_Row(1, 3);
         t.grid.FocusCell(4, 3);  // G01 now
         t.grid.Paste_Text(QStringLiteral("13"));
       }, "G01 02 13 67200|G02 02 340 4250|G03 03 1500 1800|", "73250.00"},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    TSQLCA q;
    Ok(q, {u"delete from goods", u"insert into goods values('G01','冷轧钢板','02',12,67200,'2024-01-08'),"
                                 u"('G02','电子元件','02',340,4250,'2024-03-15'),('G03','包装纸箱','03',1500,1800,'2024-05-20')"});
    grid.Sort_Col_Clear();
    Load();
    row.act(*this);
    EXPECT_EQ(sum.value(5, 0), QLatin1String(row.total)) << "the sum line follows the change";
    TSave_Result result;
    ASSERT_EQ(area.Save_Changes(nullptr, &result), 0) << zem_test::Utf8(area.Get_Error_Msg());
    EXPECT_EQ(Table(), row.table);
  }
}

TEST_P(MgArea, QStringAndQDateAreBoundValues) {
  // A text with a quote, an empty one, a date, an empty date box (NULL), through Exec and Select.
  TSQLCA q;
  const QString name = U(u"O'Brien 的\"货\"'); drop table goods; --");
  ASSERT_EQ(q.Exec(u"insert into goods(code, name, since) values(?, ?, ?)", {QStringLiteral("G10"), name, QDate(2024, 2, 29)}), 0)
      << zem_test::Utf8(q.Get_Error_Msg());
  ASSERT_EQ(q.Exec(u"insert into goods(code, name, since) values(?, ?, ?)", {QStringLiteral("G11"), QString(), QDate()}), 0);
  ASSERT_EQ(q.Commit(), 0);
  ASSERT_EQ(q.Select(u"select code from goods where since >= ? order by code", {QDate(2024, 2, 29)}), 0);
  std::string codes;
  for (int r = 0; r < q.Get_Row_Count(); ++r) codes += zem_test::Utf8(q.Get_Row_Value(r, 0)) + " ";
  EXPECT_EQ(codes, "G02 G03 G10 ");
  ASSERT_EQ(q.Select(u"select name from goods where code = ?", {QStringLiteral("G10")}), 0);
  EXPECT_EQ(QString::fromUtf16(q.Get_Row_Value(0, 0)), name);
  ASSERT_EQ(q.Select(u"select count(*) from goods where code = ? and since is null and name = ?",
                     {QStringLiteral("G11"), QString()}), 0);
  EXPECT_EQ(zem_test::Utf8(q.Get_Row_Value(0, 0)), "1") << "an empty QString is an empty text, an invalid QDate NULL";
}

TEST_P(MgArea, RowsAlreadyThereWhenAColumnBecomesADictionaryColumn) {
  Load();
  // A display column added after the rows: Set_Dict fills the names of the codes already there.
  grid.Def_Col(6, U(u"部门名称"), "dept_name", 'S', 80, 0);
  EXPECT_EQ(grid.Cells(6, 1), QString());
  EXPECT_EQ(grid.Set_Dict(6, QStringLiteral("dept"), QStringLiteral("dept_code")), 1);
  EXPECT_EQ(grid.Cells(6, Row_Of("G01")), U(u"采购部"));
  EXPECT_EQ(grid.Cells(6, Row_Of("G03")), U(u"仓储部"));
  // The names are shown, not stored: a save after it writes nothing.
  TSave_Result result;
  ASSERT_EQ(area.Save_Changes(nullptr, &result), 0);
  EXPECT_EQ(result.updated, 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, MgArea, ::testing::Values("sqlite", "pg"),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

TEST(MgQt, TextMethodsTakeAndGiveQString) {
  controlsTestApp();
  TMG g;
  g.SetColCount(4);
  g.SetRowCount(3);
  g.SetADEF({QStringLiteral("A,$a"), QStringLiteral("B,$b"), QStringLiteral("C,$c")});
  // A character the system code page lacks stays whole through the QString forms.
  const QString euro = U(u"€ 12 ✓");
  struct Row { const char* name; std::function<int()> act; int result; int col; QString shown; } rows[] = {
      {"SetW by name", [&] { return g.SetW("a", 1, euro); }, 1, 1, euro},
      {"SetV by column", [&] { return g.SetV(2, 1, U(u"乙")); }, 1, 2, U(u"乙")},
      {"SetW by a name no column has", [&] { return g.SetW("zz", 1, euro); }, 0, 3, QString()},
      {"SetV outside the rows", [&] { return g.SetV(3, 9, euro); }, 0, 3, QString()},
      {"a caption from a QString", [&] { return g.Adjust_Col_Caption("c", U(u"丙列")); }, 1, -1, QString()},
  };
  for (Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.act(), r.result);
    if (r.col > 0) {
      EXPECT_EQ(g.value(r.col, 1), r.shown);
    }
  }
  EXPECT_EQ(g.Cells(3, 0), U(u"丙列"));
  int id = 0;
  EXPECT_TRUE(g.GetColId(QStringLiteral("b"), &id) && id == 2);
  EXPECT_EQ(g.colName(3), QStringLiteral("c"));
  EXPECT_EQ(g.value("a", 9), QString());
}

TEST(MgQt, TheFirstCurrentCellTakesTyping) {
  controlsTestApp();
  // col: the current column after the first show
  struct Row { const char* name; QStringList adef; int col; } rows[] = {
      {"a read-only key column first", {QStringLiteral("K,$k,readonly"), QStringLiteral("N,$n")}, 2},
      {"a hidden column, then a read-only one", {QStringLiteral("H,$h,|0"), QStringLiteral("K,$k,readonly"),
                                                  QStringLiteral("N,$n")}, 3},
      {"the first column takes typing", {QStringLiteral("N,$n"), QStringLiteral("K,$k,readonly")}, 1},
  };
  for (Row& r : rows) {
    SCOPED_TRACE(r.name);
    TMG g;
    g.SetColCount(int(r.adef.size()) + 1);
    g.SetRowCount(3);
    g.SetADEF(r.adef);
    g.resize(300, 120);
    g.show();
    QApplication::processEvents();
    EXPECT_EQ(g.Col(), r.col);
    EXPECT_EQ(g.Row(), 1);
  }
}

}  // namespace
