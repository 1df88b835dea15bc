// Server side of "tfa_key_set_create".
#include <string>

#include "core/data/db_connect.h"
#include "core/data/para.h"
#include "core/data/sqlca.h"
#include "core/text/code_page.h"
#include "frame/log_mgr.h"
#include "frame/thr_err.h"
#include "link/r_call.h"

namespace {

int Fail(TSQLCA& db, const char* what) {
  std::string text = std::string("tfa_key_set_create: ") + what;
  std::string msg = Zem_W_To_Utf8(db.Get_Error_Msg());
  if (!msg.empty()) text += ": " + msg;
  Thr_Err_Mgr()->Set_Err(db.Get_Sqlcode() ? db.Get_Sqlcode() : -1, text.c_str());
  return 0;
}

// Makes the tables when missing and numbers a new set: 1 with *id, or 0 with the thread error set.
// On a server database this runs on a session of its own and commits at once. On the caller's
// session the new table (while its creation is not committed) and the sequence row would stay locked
// until the caller commits, and every other client making a set would wait for that. A file database
// has one writer at a time whatever is done, and a second session of it could not write while the
// caller's transaction holds the file, so there the caller's session does it.
int Number_Set(TDb_Connect* conn, int* id) {
  TDb_Connect* side = conn->Is_File_Db() ? nullptr : conn->Side_Session();
  if (!side && !conn->Is_File_Db())
    Log_Printf("tfa_key_set_create: no session of its own; the set is numbered in the caller's transaction\n");
  TSQLCA db;
  db.Set_Connect(side ? side : conn);
  const char* what = nullptr;
  if (db.Exec(u"create table if not exists app_sequence(seq_name varchar(60) not null primary key, "
              u"seq_val integer not null)"))
    what = "cannot create app_sequence";
  else if (db.Exec(u"create table if not exists app_tmp_key_set(set_id integer not null, key_id varchar(200))"))
    what = "cannot create app_tmp_key_set";
  else if (!db.Get_Sequence_Id("app_tmp_key_set", id) || *id <= 0)
    what = "cannot number the set";
  else if (side && db.Commit())
    what = "cannot commit the set's number";
  if (!what) return 1;
  Fail(db, what);
  if (side) db.Rollback();
  return 0;
}

}  // namespace

int Tfa_Key_Set_Create(TParaMgr* para) {
  if (!para) {
    Thr_Err_Mgr()->Set_Err(-1, "tfa_key_set_create: no parameter pack");
    return 0;
  }
  TSQLCA keys;
  if (!para->Get_Sqlca_Para(u"key_dbio", &keys)) {
    Thr_Err_Mgr()->Set_Err(-1, "tfa_key_set_create: no key list \"key_dbio\" in the call");
    return 0;
  }
  TDb_Connect* conn = Db_Connect_Mgr()->Get_Session(nullptr);
  if (!conn) {
    Thr_Err_Mgr()->Set_Err(999, "tfa_key_set_create: cant get db connection");
    return 0;
  }
  int id = 0;
  if (!Number_Set(conn, &id)) return 0;

  // One row per key, inserted in one batch on the caller's session: the set joins its transaction.
  TSQLCA db;
  db.Set_Connect(conn);
  std::u16string sid;
  for (char c : std::to_string(id)) sid.push_back(static_cast<char16_t>(c));
  db.Set_Field_Count(2);
  db.Set_Field_Name(0, u"set_id");
  db.Set_Field_Name(1, u"key_id");
  db.Set_Table_Name(u"app_tmp_key_set");
  const int n = keys.Get_Field_Count() > 0 ? keys.Get_Row_Count() : 0;
  for (int r = 0; r < n; r++) {
    db.Add_Row();
    db.Set_Value(0, sid.c_str());
    db.Set_Value(1, keys.Get_Row_Value(r, 0));
  }
  if (n > 0 && db.Batch_Insert()) return Fail(db, "cannot store the keys");
  para->Put_Int(u"set_id", id);
  return 1;
}
