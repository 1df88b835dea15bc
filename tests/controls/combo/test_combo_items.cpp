// TComboBox_Ext's list and codes against real dictionaries: the attach rules, codes set and read in
// both modes, and the SQL condition of a choice run on SQLite and PostgreSQL.
#include "combo_fixture.h"
#include "core/text/separate_str.h"

#include <algorithm>

using zt::U;

TEST_P(ComboDb, AttachRules) {
  TComboBox_Ext b;
  const QStringList five{U(u"总经理办公室"), U(u"财务部"), U(u"销售部"), U(u"采购部"), U(u"仓储物流部")};
  const QStringList six = five + QStringList{U(u"人力资源部")};
  const auto changed = [&] {
    Sql({u"insert into app_dict_def values('dept','06','人力资源部',0,0,0,'',6)"});
    Dict_Client_List()->Refresh_Dict("dept");
    return b.Is_Dict_Time_Stamp_Changed("dept") * 10 + b.Attach_Dict("dept", -1);
  };
  struct Step { const char* what; std::function<int()> act; int result; QStringList shown; } steps[] = {
      {"first attach lists the choosable entries", [&] { return b.Attach_Dict("dept", 0); }, 1, five},
      {"the same dictionary again changes nothing", [&] { return b.Attach_Dict("dept", -1); }, 0, five},
      {"include-all adds the group, never the stop_flag entry", [&] { return b.Attach_Dict("dept", 1); }, 1,
       five + QStringList{U(u"分公司")}},
      {"a changed dictionary is rebuilt on the next attach", changed, 11, six + QStringList{U(u"分公司")}},
      {"allow-empty adds an empty entry", [&] { return b.Set_Allow_Empty(1), b.Clear_Data(), b.Attach_Dict("dept", 0); },
       1, six + QStringList{""}},
      {"a dictionary that does not load leaves the list", [&] { return b.Attach_Dict("broken", 0); }, 0,
       six + QStringList{""}},
      {"own SQL: a code holding a comma is stopped", [&] { return b.Set_Allow_Empty(0), b.Attach_Dict("sup", 0); }, 1,
       {U(u"华东钢材"), U(u"南方电子")}},
      {"... and listed with include-all", [&] { return b.Attach_Dict_Ext("sup"); }, 1,
       {U(u"华东钢材"), U(u"南方电子"), U(u"合并供应商")}},
  };
  for (Step& s : steps) {
    EXPECT_EQ(s.act(), s.result) << s.what;
    EXPECT_EQ(b.Items()->toQStringList(), s.shown) << s.what;
  }
  // 3000 entries give 2000 items, yet every code is known and shows its name.
  EXPECT_TRUE(b.Attach_Dict("big", 0) == 1 && b.Items()->Count() == 2000);
  EXPECT_EQ(b.Set_Code("B2500"), 1);
  EXPECT_TRUE(b.Text() == U(u"名称2500") && std::string(b.Get_Code()) == "B2500");
}

TEST_P(ComboDb, CodesInBothModes) {
  TComboBox_Ext single, multi, cut, sorted, listed, long_list;
  single.Attach_Dict("dept", 0);
  long_list.SetStyle(csDropDownList);
  long_list.Attach_Dict("big", 0);
  sorted.Multi_Attach("dept", 0);
  TSQLCA namesakes;  // two codes, one name
  namesakes.Set_Field_Count(2);
  for (const char16_t* code : {u"A", u"B"}) {
    namesakes.Add_Row();
    namesakes.Set_Value(0, code);
    namesakes.Set_Value(1, u"张伟");
  }
  listed.SetStyle(csDropDownList);
  listed.Attach_Dbio(&namesakes);
  multi.SetHint(U(u"大字典:旧的选择"));
  multi.Multi_Attach("big", 0);
  cut.Multi_Attach("cut", 0);
  QString first21;
  std::string all25;
  for (int i = 1; i <= 25; ++i) {
    if (i <= 21) first21 += (i > 1 ? "," : "") + U(u"名称") + QString::number(i);
    all25 += (i > 1 ? "," : "") + QString::asprintf("B%04d", i).toStdString();
  }
  // code: Get_Code afterwards, first: Get_First_Code
  struct Row { const char* what; TComboBox_Ext* box; std::function<void(TComboBox_Ext&)> act; QString text;
               std::string code, first; } rows[] = {
      {"a listed code shows its name", &single, [](auto& b) { b.Set_Code("02"); }, U(u"财务部"), "02", "02"},
      {"an unknown code clears the box", &single, [](auto& b) { b.Set_Code("77"); }, "", "", ""},
      {"Set_Info shows a code no source knows", &single, [](auto& b) { b.Set_Info("77", u"临时部门"); },
       U(u"临时部门"), "77", "77"},
      {"a stopped code kept in data still shows its name", &single, [](auto& b) { b.Set_Code("09"); },
       U(u"分公司"), "09", "09"},
      {"a typed exact name gives its code", &single, [](auto& b) { b.SetText(U(u"采购部")); }, U(u"采购部"), "04", "04"},
      {"a typed exact code turns into its name", &single, [](auto& b) { b.SetText(" 05 "); }, U(u"仓储物流部"), "05",
       "05"},
      {"typed text matching nothing gives no code", &single, [](auto& b) { b.SetText("xyz"); }, "xyz", "", ""},
      {"a code list: blanks dropped, unknown codes skipped", &multi,
       [](auto& b) { b.Set_Code("B0003, B0001,\nB9999,B0002"); }, U(u"名称3,名称1,名称2"), "B0003,B0001,B0002", "B0003"},
      {"25 codes show 21 names and ...等", &multi, [&](auto& b) { b.Set_Code(all25.c_str()); },
       first21 + U(u"...等"), all25, "B0001"},
      {"Set_Default_Code makes one code the choice", &multi, [](auto& b) { b.Set_Default_Code("B0007"); },
       U(u"名称7"), "B0007", "B0007"},
      {"an empty default empties the choice", &multi, [](auto& b) { b.Set_Default_Code(""); }, "", "", ""},
      {"a pick from a list sorted after the attach gives the picked name's code", &sorted,
       [](auto& b) { b.SetSorted(true); b.SetItemIndex(0); b.Handle_On_Select(&b); }, U(u"财务部"), "02", "02"},
      {"a drop-down list keeps the code set though another entry has its name", &listed,
       [](auto& b) { b.Set_Code("B"); }, U(u"张伟"), "B", "B"},
      {"three short codes", &cut, [](auto& b) { b.Set_Code("A1,B22,C3"); }, U(u"甲,乙,丙"), "A1,B22,C3", "A1"},
      {"a drop-down list shows an entry past the 2000 listed", &long_list, [](auto& b) { b.Set_Code("B2500"); },
       U(u"名称2500"), "B2500", "B2500"},
      {"... and a listed one after it", &long_list, [](auto& b) { b.Set_Code("B0007"); }, U(u"名称7"), "B0007", "B0007"},
      {"a drop-down list cleared chooses no entry, not one without a name", &listed,
       [](auto& b) { b.Add_Item("X", u""); b.Set_Code("A"); b.Set_Code("77"); }, "", "", ""},
  };
  for (Row& r : rows) {
    r.act(*r.box);
    char buf[TComboBox_Ext::kCode_Buffer], first[TComboBox_Ext::kCode_Buffer];
    EXPECT_EQ(std::string(r.box->Get_Code(buf, 0)) + " first " + r.box->Get_First_Code(first), r.code + " first " + r.first) << r.what;
    EXPECT_TRUE(r.box->Text() == r.text && r.box->Have_Choice() == !r.code.empty()) << r.what << ": " << r.box->Text().toStdString();
  }
  // The hint keeps its prefix and shows the choice; cuts never split a code.
  multi.Set_Code("B0002,B0010");
  EXPECT_EQ(multi.Hint(), U(u"大字典:名称2,名称10"));
  struct Cut { int max; const char* code; } cuts[] = {{5, "A1"}, {6, "A1,B22"}, {8, "A1,B22"}, {9, "A1,B22,C3"}, {1, ""}};
  cut.Set_Code("A1,B22,C3");
  for (const Cut& c : cuts) {
    char buf[32];
    char16_t wbuf[32];
    EXPECT_STREQ(cut.Get_Max_Code(buf, c.max), c.code) << c.max;
    EXPECT_EQ(std::u16string(cut.Get_Max_Code(wbuf, c.max)), map_wchar(c.code).c_str()) << c.max;
  }
  // A buffer of known size is never written past: the codes are cut between codes ('|' the
  // terminator, '#' untouched), and the result is the whole length.
  const std::pair<size_t, const char*> sized[] = {{0, "######"}, {1, "|#####"}, {3, "A1|###"}, {7, "A1,B22"}};
  for (const auto& [size, seen] : sized) {
    char buf[7] = "######";
    char16_t wbuf[7] = u"######";
    const std::string need = std::to_string(cut.Copy_Code(buf, size)) + " " + std::to_string(cut.Copy_Code(wbuf, size));
    std::string got(buf, 6), wgot(wbuf, wbuf + 6);
    std::replace(got.begin(), got.end(), '\0', '|');
    std::replace(wgot.begin(), wgot.end(), '\0', '|');
    EXPECT_EQ(got + " " + wgot + " " + need, std::string(seen) + " " + seen + " 9 9") << size;
  }
  TSQLCA area;
  Array_Str list;
  EXPECT_TRUE(cut.Get_Code(&area) == 1 && cut.Get_Code_Array(&list) == 1);
  ASSERT_TRUE(area.Get_Row_Count() == 3 && list.Count() == 3);
  EXPECT_TRUE(std::u16string(area.Get_Row_Value(2, 0)) == u"C3" && std::string(list.Str(1)) == "B22");
  list.Free_All();
  // A multiple choice from an area keeps the listed codes in the area's order.
  area.First();
  area.Set_Value(0, u"ZZ");
  EXPECT_EQ(cut.Set_Code(&area), 1);
  EXPECT_STREQ(cut.Get_Code(), "B22,C3");
}

// The condition of a choice selects the chosen rows: a literal list while it is short, a temporary key
// set on the server once it grows past the length allowed.
using ComboLimit = zt::Dict_Db;

TEST_P(ComboLimit, BuildLimitSelectsTheChosenRows) {
  TSQLCA q;
  Ok(q, {u"create table goods(code varchar(20), name varchar(40))",
         u"insert into app_dict_sql values('goods','select code,name from goods','','','','','code','','')"});
  std::string all;
  for (int i = 1; i <= 300; ++i) {
    const QString code = QStringLiteral("G%1").arg(i, 3, 10, QLatin1Char('0'));
    ASSERT_EQ(q.Exec(QStringLiteral("insert into goods values('%1','货品')").arg(code)), 0);
    all += "," + code.toStdString();
  }
  ASSERT_EQ(q.Commit(), 0);
  TComboBox_Ext multi, single;
  multi.Multi_Attach("goods", 0);
  single.Attach_Dict("goods", 0);
  // limit: exact, or the start of the key-set form
  // The key table of a shape the server cannot write: no key set can be made.
  const auto no_key_sets = [&] { Ok(q, {u"drop table if exists app_tmp_key_set", u"create table app_tmp_key_set(x int)"}); };
  struct Row { const char* what; TComboBox_Ext* box; std::string codes, limit; int rows; std::function<void()> before; } rows[] = {
      {"one code in single mode", &single, "G007", " = 'G007'", 1, nullptr},
      {"two codes: a literal list", &multi, "G002,G001", "in ('G002','G001' ) ", 2, nullptr},
      {"300 codes pass 1000 characters: a key set", &multi, all.substr(1),
       "in( select key_id from app_tmp_key_set where set_id=", 300, nullptr},
      {"no key set to be had: the list stays literal, and the log says why", &multi, all.substr(1),
       "in ('G001','G002',", 300, no_key_sets},
  };
  for (const Row& r : rows) {
    if (r.before) r.before();
    zem_test::Log_Capture log;
    r.box->Set_Code(r.codes.c_str());
    const std::string limit = r.box->Build_Limit(1000);
    EXPECT_EQ(limit.substr(0, r.limit.size()), r.limit) << r.what;
    EXPECT_EQ(log.Text().find("no temporary key set") != std::string::npos, r.before != nullptr) << log.Text();
    ASSERT_EQ(q.Exec(map_wchar(("select count(*) from goods where code " + limit).c_str())), 0)
        << r.what << zem_test::Utf8(q.Get_Error_Msg());
    EXPECT_EQ(QString::fromUtf16(q.Get_Row_Value(0, 0)).toInt(), r.rows) << r.what;
  }
  q.Rollback();
  Ok(q, {u"drop table if exists app_tmp_key_set"});
}

INSTANTIATE_TEST_SUITE_P(Drivers, ComboLimit, ::testing::Values("sqlite", "pg"), zt::Backend_Name);
INSTANTIATE_TEST_SUITE_P(Sqlite, ComboDb, ::testing::Values("sqlite"), zt::Backend_Name);

// Areas attached and appended: a code repeated within the rows appended together, or across them, or
// after them, is listed once with the first row's name, and every listed code finds its name.
TEST_P(ComboDb, RepeatedCodesAreListedOnceWithTheFirstName) {
  const auto area = [](int from, int count, int distinct, const char16_t* prefix) {
    auto a = std::make_unique<TSQLCA>();
    a->Set_Field_Count(2);
    for (int i = from; i < from + count; ++i) {
      a->Add_Row();
      a->Set_Value(0, (u"C" + QString::number(i % distinct).toStdU16String()).c_str());
      a->Set_Value(1, (prefix + QString::number(i).toStdU16String()).c_str());
    }
    return a;
  };
  // 100 rows over 40 codes: repeats inside one batch of rows taken together and across batches.
  const auto first = area(0, 100, 40, u"甲");
  const auto more = area(30, 20, 50, u"乙");  // C30..C49: ten known, ten new
  TComboBox_Ext b;
  b.Attach_Dbio(first.get());
  const struct { const char* what; std::function<void()> act; int items; const char* code; QString name; } steps[] = {
      {"each code once, the first row's name winning", [] {}, 40, "C39", U(u"甲39")},
      {"appending adds only the new codes", [&] { b.Append_Dbio(more.get()); }, 50, "C45", U(u"乙45")},
      {"... and keeps the names listed", [] {}, 50, "C35", U(u"甲35")},
      {"a single item with a listed code changes nothing", [&] { b.Add_Item("C7", u"丙"); }, 50, "C7", U(u"甲7")},
      {"a single new item is listed", [&] { b.Add_Item("C99", u"丙"); }, 51, "C99", U(u"丙")},
  };
  for (const auto& s : steps) {
    s.act();
    EXPECT_TRUE(b.Items()->Count() == s.items && b.Set_Code(s.code) == 1) << s.what;
    EXPECT_TRUE(b.Text() == s.name && std::string(b.Get_Code()) == s.code) << s.what;
  }
}
