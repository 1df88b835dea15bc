// Temporary key sets, client side.
#include "core/data/key_set.h"

#include <cstdio>
#include <string>
#include <unordered_set>

#include "core/data/para.h"
#include "core/data/name_call.h"
#include "core/data/sqlca.h"
#include "frame/log_mgr.h"
#include "frame/singleton.h"
#include "frame/thr_err.h"

int Zem_R_Call(const char* name, TParaMgr* para, int wait) {
  static R_Call_Fn entry = nullptr;
  if (R_Call_Fn fn = Zem_Host_Func(kR_Call_Entry, entry)) return fn(name, para, wait);
  Thr_Err_Mgr()->Set_Err(-1, "remote call entry is not registered");
  Log_Printf("cant call %s: remote call entry is not registered\n", name ? name : "");
  Put_Thr_Err_Para(para);
  return -1;
}

int Key_Set_Create(TSQLCA* data, int field) {
  if (!data || field < 0) return 0;
  // A set without rows sends an empty list whatever its fields; rows have to have the field.
  const int rows = data->Get_Row_Count();
  if (rows > 0 && field >= data->Get_Field_Count()) return 0;

  TParaMgr para;
  TSQLCA keys;
  keys.Set_Field_Count(1);
  keys.Set_Field_Name(0, u"key_id");
  // Exact matches (the collation's equality is equality of code units), in a hash set so that long
  // lists stay linear.
  std::unordered_set<std::u16string> seen;
  data->First();
  for (int r = 0; r < rows; r++) {
    std::u16string v = data->Get_Value(field);
    data->Next();
    if (v.empty() || !seen.insert(v).second) continue;
    keys.Add_Row();
    keys.Set_Value_With_Len(0, v.data(), static_cast<int>(v.size()));
  }
  if (!para.Put_Sqlca_Para(u"key_dbio", &keys)) return 0;

  Thr_Err_Mgr()->Clear_Err();
  Zem_R_Call("tfa_key_set_create", &para, 1);
  std::string why;
  if (Thr_Err_Mgr()->Get_Err(&why) == 0) {
    int id = 0;
    if (para.Get_Int(u"set_id", &id) && id != 0) return id;
    why = "the reply holds no set_id";
    Thr_Err_Mgr()->Set_Err(-1, why.c_str());
  }
  Log_Printf("no temporary key set for %d keys: %s\n", keys.Get_Row_Count(), why.c_str());
  return 0;
}

std::string Key_Set_In_Cond(int set_id) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "in( select key_id from app_tmp_key_set where set_id=%d) ", set_id);
  return buf;
}

std::string Key_Set_Sub_Select(int set_id) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "select key_id from app_tmp_key_set where set_id = %d", set_id);
  return buf;
}
