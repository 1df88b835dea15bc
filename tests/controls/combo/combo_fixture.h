// The combo box tests' database and host. A SQLite file holds the dictionaries
//   dept  (app_dict_def) 01..05 choosable, 08 with stop_flag Y, 09 a group (stopped by the rule);
//   cut   (app_dict_def) A1, B22, C3;
//   sup   (own SQL over suppliers) S001, S002, and "S9,X" whose comma stops it;
//   big   (own SQL over 3000 generated rows) B0001 名称1 .. B3000 名称3000;
//   broken (own SQL over a missing table: never loads);
// read through the driver library and the client dictionary list. The host's code dialogs are the host
// module's own; the search, key and board functions are trampolines whose behaviour each test sets.
#pragma once

#include <QApplication>
#include <QVBoxLayout>
#include <functional>
#include <string>
#include <vector>

#include "controls/combo/Combobox_ext.h"
#include "controls/controls_test_app.h"
#include "core/data/sqlca.h"
#include "dict/dict_mgr.h"
#include "drivers/db_fixture.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"
#include "host/code_dialogs.h"

struct Combo_Host {
  std::function<int(const char*, const char16_t*, char*)> key_search;  // null: finds nothing
  std::function<int(TComboBox_Ext*, int)> inp_key;                     // null: takes no key
  std::vector<std::string> board;                                      // "dict:code" per call
};

inline Combo_Host& Host() {
  static Combo_Host h;
  return h;
}

inline void Register_Combo_Host() {
  Pdu_Code_Key_Search_Fn search = [](const char* d, const char16_t* t, char* b) {
    return Host().key_search ? Host().key_search(d, t, b) : 0;
  };
  Pdu_Inp_Dict_Key_Fn key = [](TComboBox_Ext* box, int k) {
    return Host().inp_key ? Host().inp_key(box, k) : 0;
  };
  Board_Obj_Handle_Fn board = [](const char* d, const char* c) {
    Host().board.push_back(std::string(d) + ":" + c);
    return 1;
  };
  Zem_Host_Register_Code_Dialogs();
  Reg_Pub_Ptr(kPdu_Code_Key_Search, reinterpret_cast<void*>(search));
  Reg_Pub_Ptr(kPdu_Inp_Dict_Key, reinterpret_cast<void*>(key));
  Reg_Pub_Ptr(kBoard_Obj_Handle, reinterpret_cast<void*>(board));
}

class ComboDb : public ::testing::Test {
 protected:
  void SetUp() override {
    controlsTestApp();
    char tmpl[] = "/tmp/zem-combo-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    TDb_Config cfg;
    std::string why;
    ASSERT_TRUE(zem_test::Config_For("sqlite", dir_, &cfg, &why)) << why;
    Db_Connect_Mgr()->Clear();
    ASSERT_TRUE(Db_Connect_Mgr()->Add_Config(cfg));
    Dict_Client_List()->Clear();
    TSQLCA q;
    ASSERT_EQ(Dict_Create_Def_Tables(&q), 0);
    Sql(
        {u"insert into app_dict_def "
         u"values('dept','01','总经理办公室',0,0,0,'',1),('dept','02','财务部',0,0,0,'',2),"
         u"('dept','03','销售部',0,0,0,'',3),('dept','04','采购部',0,0,0,'',4),('dept','05','仓储物流部',0,0,"
         u"0,'',5),"
         u"('dept','08','旧部门',0,'Y',0,'',8),('dept','09','分公司','Y',0,0,'',9),"
         u"('cut','A1','甲',0,0,0,'',1),('cut','B22','乙',0,0,0,'',2),('cut','C3','丙',0,0,0,'',3)",
         u"create table suppliers(code varchar(20), name varchar(60))",
         u"insert into suppliers values('S001','华东钢材'),('S002','南方电子'),('S9,X','合并供应商')",
         u"insert into app_dict_sql values('sup','select code,name from suppliers','','','','','code','','')",
         u"create table big(code varchar(20), name varchar(60))",
         u"insert into big with recursive c(n) as (select 1 union all select n+1 from c where n<3000) "
         u"select printf('B%04d',n), '名称'||n from c",
         u"insert into app_dict_sql values('big','select code,name from big','','','','','code','','')",
         u"insert into app_dict_sql values('broken','select code,name from no_table','','','','','','','')"});
    Register_Combo_Host();
    Host() = Combo_Host();
  }
  void TearDown() override {
    Dict_Client_List()->Clear();
    Db_Connect_Mgr()->Clear();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  static void Sql(std::initializer_list<const char16_t*> sqls) {
    TSQLCA q;
    for (const char16_t* s : sqls)
      ASSERT_EQ(q.Exec(s), 0) << zem_test::Utf8(s) << zem_test::Utf8(q.Get_Error_Msg());
    ASSERT_EQ(q.Commit(), 0);
  }
  static QStringList Names(std::initializer_list<const char16_t*> names) {
    QStringList l;
    for (const char16_t* n : names) l << QString::fromUtf16(n);
    return l;
  }
  std::string dir_;
};

// A form of boxes one under the other.
struct Combo_Form : QWidget {
  QVBoxLayout* layout = new QVBoxLayout(this);
  TComboBox_Ext* Add() {
    auto* b = new TComboBox_Ext(this);
    layout->addWidget(b);
    return b;
  }
};

// A query area of two codes: A 甲, B 乙.
inline void Fill_Area(TSQLCA& area) {
  area.Set_Field_Count(2);
  for (const char16_t* code : {u"A", u"B"})
    area.Add_Row(), area.Set_Value(0, code), area.Set_Value(1, code[0] == u'B' ? u"乙" : u"甲");
}
