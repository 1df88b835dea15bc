// The dictionary tests' database: the driver tests' fixture (SQLite file or PostgreSQL schema) with
// the dictionary tables filled with a small known content.
#pragma once
#include <string>
#include <vector>

#include "dict/dict_mgr.h"
#include "drivers/db_fixture.h"

namespace zem_test {

// The codes of a dictionary in row order.
inline std::vector<std::string> Codes(TDict* d) {
  std::vector<std::string> out;
  auto g = d->Lock();
  for (int r = 0; r < d->Get_Row_Count(); ++r) out.push_back(Utf8(d->Get_Row_Value(r, 0)));
  return out;
}

class Dict_Test : public Db_Test {
 protected:
  void SetUp() override {
    Db_Test::SetUp();
    if (HasFatalFailure()) return;
    Dict_Client_List()->Clear();
    Dict_Client_List()->Set_User_Id("");
    TSQLCA q;
    // The dictionary tables as hosts make them, so the stop rules run on their column types.
    ASSERT_EQ(Dict_Create_Def_Tables(&q), 0) << Utf8(q.Get_Error_Msg());
    Ok(q, {u"create table mup_user_bo (user_id varchar(40), bo_id varchar(40), val varchar(40))",
           u"create table t_item (code varchar(40), name varchar(80), flag varchar(10))"});
    if (HasFatalFailure()) return;
    // dept: a standard dictionary whose order_id order differs from its code order.
    Ok(q, {u"insert into app_dict_def values ('dept','C','部门丙','N','N',0,'',1)",
           u"insert into app_dict_def values ('dept','A','部门甲','N','N',0,'',2)",
           u"insert into app_dict_def values ('dept','B','停用部门','N','Y',0,'',3)",
           u"insert into app_dict_def values ('dept','G','分组','Y','N',0,'',4)",
           u"insert into app_dict_def values ('other','A','not dept','N','N',0,'',1)"});
    if (HasFatalFailure()) return;
    Ok(q, {u"insert into t_item values ('k3','Beta','X')", u"insert into t_item values ('k1','Gamma','')",
           u"insert into t_item values ('k2','Alpha','Q')", u"insert into t_item values ('k4,k5','Delta','')"});
  }
  void TearDown() override {
    Dict_Client_List()->Clear();
    Dict_Client_List()->Set_User_Id("");
    Db_Test::TearDown();
  }

  // Defines an own-SQL dictionary in app_dict_sql.
  void Define(const std::string& id, const std::string& sql, const std::string& sort_col = "",
              const std::string& ext_col = "", const std::string& ext_col_val = "",
              const std::string& sql_ext = "") {
    TSQLCA q;
    std::string s = "insert into app_dict_sql values ('" + id + "','" + Sql_Quote(sql.c_str()) + "','" +
                    Sql_Quote(sql_ext.c_str()) + "','','','','" + sort_col + "','" + ext_col + "','" +
                    ext_col_val + "')";
    std::u16string w = U(s);
    Ok(q, {w.c_str()});
  }

  static std::vector<std::string> Codes(TDict* d) { return zem_test::Codes(d); }
};

}  // namespace zem_test
