// The combo box tests' database and host. A SQLite file holds the dictionaries
//   dept  (app_dict_def) 01..05 choosable, 08 with stop_flag Y, 09 a group (stopped by the rule);
//   cut   (app_dict_def) A1, B22, C3;
//   sup   (own SQL over suppliers) S001, S002, and "S9,X" whose comma stops it;
//   big   (own SQL over 3000 generated rows) B0001 名称1 .. B3000 名称3000;
//   broken (own SQL over a missing table: never loads);
// read through the driver library and the client dictionary list. The host's code dialogs are the host
// module's own; the search and key functions find and take nothing until a test says otherwise, and the
// board records "dict:code" per call.
#pragma once

#include <QVBoxLayout>

#include "controls/combo/Combobox_ext.h"
#include "controls/support.h"
#include "frame/host_funcs.h"
#include "host/code_dialogs.h"

using Key_Search = zt::Host<kPdu_Code_Key_Search, Pdu_Code_Key_Search_Fn>;
using Inp_Key = zt::Host<kPdu_Inp_Dict_Key, Pdu_Inp_Dict_Key_Fn>;

class ComboDb : public zt::Dict_Db {
 protected:
  void SetUp() override {
    Dict_Db::SetUp();
    if (HasFatalFailure()) return;
    Sql({u"insert into app_dict_def "
         u"values('dept','01','总经理办公室',0,0,0,'',1),('dept','02','财务部',0,0,0,'',2),"
         u"('dept','03','销售部',0,0,0,'',3),('dept','04','采购部',0,0,0,'',4),"
         u"('dept','05','仓储物流部',0,0,0,'',5),('dept','08','旧部门',0,'Y',0,'',8),"
         u"('dept','09','分公司','Y',0,0,'',9),"
         u"('cut','A1','甲',0,0,0,'',1),('cut','B22','乙',0,0,0,'',2),('cut','C3','丙',0,0,0,'',3)",
         u"create table suppliers(code varchar(20), name varchar(60))",
         u"insert into suppliers values('S001','华东钢材'),('S002','南方电子'),('S9,X','合并供应商')",
         u"insert into app_dict_sql values('sup','select code,name from suppliers','','','','','code','','')",
         u"create table big(code varchar(20), name varchar(60))",
         u"insert into big with recursive c(n) as (select 1 union all select n+1 from c where n<3000) "
         u"select printf('B%04d',n), '名称'||n from c",
         u"insert into app_dict_sql values('big','select code,name from big','','','','','code','','')",
         u"insert into app_dict_sql values('broken','select code,name from no_table','','','','','','','')"});
    Zem_Host_Register_Code_Dialogs(), Key_Search::Set(nullptr), Inp_Key::Set(nullptr);
    zt::Host<kBoard_Obj_Handle, Board_Obj_Handle_Fn>::Set([this](const char* d, const char* c) {
      return board.push_back(std::string(d) + ":" + c), 1;
    });
  }
  std::vector<std::string> board;
};

// A form of boxes one under the other.
struct Combo_Form : QWidget {
  QVBoxLayout* layout = new QVBoxLayout(this);
  TComboBox_Ext* Add() {
    auto* b = new TComboBox_Ext(this);
    return layout->addWidget(b), b;
  }
};

// A query area of two codes: A 甲, B 乙.
inline void Fill_Area(TSQLCA& area) {
  area.Set_Field_Count(2);
  for (const char16_t* code : {u"A", u"B"})
    area.Add_Row(), area.Set_Value(0, code), area.Set_Value(1, code[0] == u'B' ? u"乙" : u"甲");
}
