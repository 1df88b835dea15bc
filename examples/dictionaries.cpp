// dictionaries: code dictionaries of docs/GUIDE.md. Their definition tables, a standard dictionary
// (rows in app_dict_def) and one of its own SQL (app_dict_sql), lookups, the file cache with its
// integrity records, and a dictionary served by the application server that follows its time stamps
// through change sets; on PostgreSQL, the change notices that bring a change without asking.
//
// Usage: dictionaries [--pg CONNINFO]   (SQLite in a temporary folder unless a server is given)
#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/data/db_connect.h"
#include "core/data/para.h"
#include "core/data/sqlca.h"
#include "dict/dict.h"
#include "dict/dict_db.h"
#include "dict/dict_mgr.h"
#include "dict/dict_notify.h"
#include "dict/dict_serv.h"
#include "frame/startup/zem_pack.h"
#include "frame/zem_units.h"

namespace {

QByteArray U8(const wchar16* w) { return QString::fromUtf16(w).toUtf8(); }

// The definition tables (Dict_Create_Def_Tables makes them) and the rows of three dictionaries.
const char16_t* const kRows[] = {
    // "dept", a standard dictionary: code, name, is_group, stop_flag, color_val, note_info, order_id
    u"insert into app_dict_def values('dept','09','职能部门','Y','N',0,'',0)",
    u"insert into app_dict_def values('dept','01','财务部','N','N',0,'',1)",
    u"insert into app_dict_def values('dept','02','采购部','N','N',0,'',2)",
    u"insert into app_dict_def values('dept','03','旧仓库','N','Y',0,'已撤销',3)",
    // "unit", another standard dictionary, served by the application server below
    u"insert into app_dict_def values('unit','PCS','件','N','N',0,'',1)",
    u"insert into app_dict_def values('unit','BOX','箱','N','N',0,'',2)",
    // "sup", a dictionary of its own SQL over a table of the application; state X may not be chosen
    u"create table suppliers(sup_code varchar(20) primary key, sup_name varchar(100), state varchar(1))",
    u"insert into suppliers values('S001','华东钢材有限公司','A')",
    u"insert into suppliers values('S002','南方电子元件厂','A')",
    u"insert into suppliers values('S003','北方包装材料公司','X')",
    u"insert into app_dict_sql(dict_id,sqlcmd,sort_col,ext_col,ext_col_val) values('sup',"
    u"'select sup_code code,sup_name name,state from suppliers','code','state','X')",
};

bool Make_Tables() {
  TSQLCA q;
  for (const char16_t* sql : {u"drop table if exists app_dict_def", u"drop table if exists app_dict_sql",
                              u"drop table if exists suppliers"})
    if (q.Exec(sql) != 0) return false;
  if (Dict_Create_Def_Tables(&q) != 0) return false;
  for (const char16_t* sql : kRows)
    if (q.Exec(sql) != 0) return false;
  return q.Commit() == 0;
}

// Every entry with its name and whether it may be chosen.
void Print_Entries(TDict* d) {
  auto hold = d->Lock();  // other threads may use the dictionary meanwhile
  std::printf("%s (%d entries):", d->Dict_Id().c_str(), d->Get_Row_Count());
  for (int r = 0; r < d->Get_Row_Count(); r++) {
    d->Go_To_Row(r);
    std::printf(" %s %s%s", U8(d->Get_Value(0)).constData(), U8(d->Get_Value(1)).constData(),
                d->Is_Stop() ? " (not choosable)" : "");
  }
  std::printf("\n");
}

// The cache folder's files: each cache file and its integrity record.
void Print_Cache_Files() {
  const QStringList files = QDir(QString::fromStdString(Dict_Cache_Dir())).entryList(QDir::Files, QDir::Name);
  std::printf("cache files: %s\n", files.isEmpty() ? "none" : files.join(' ').toUtf8().constData());
}

}  // namespace

int main(int argc, char** argv) {
  setenv("TARVOK_DLL_PATH", ZEM_DLL_DIR, 0);
  Initialize();
  Init_Tfa();
  const char* pg = argc > 2 && std::strcmp(argv[1], "--pg") == 0 ? argv[2] : nullptr;
  QTemporaryDir home;
  TDb_Config cfg;
  cfg.driver = pg ? "zem_drv_pg" : "zem_drv_sqlite";
  cfg.text[0] = pg ? QString::fromLocal8Bit(pg).toStdU16String()
                   : QDir(home.path()).filePath(QStringLiteral("app.db")).toStdU16String();
  if (!home.isValid() || !Db_Connect_Mgr()->Add_Config(cfg) || !Make_Tables()) {
    std::fprintf(stderr, "dictionaries: cannot make the sample tables\n");
    return 1;
  }
  // The cache files lie in "dt" below the application home path.
  Pub_Para_Put_WStr(u"app_home_path", reinterpret_cast<const wchar16*>(home.path().utf16()));
  TDict_Client_List* dicts = Dict_Client_List();

  // 1. Plain SQL dictionaries (the default kind): made, defined and loaded on the first request.
  TDict* dept = dicts->Get_Dict("dept", 1);
  if (!dept) return 1;
  Print_Entries(dept);
  std::u16string name;
  if (dept->Get_Name(u"02", &name)) std::printf("name of 02: %s\n", QString::fromStdU16String(name).toUtf8().constData());
  std::printf("seek 07: %d\n", dept->Seek_Code(0, u"07"));

  // 2. File-cached dictionaries: the rows are written to the cache and read from it at the next start.
  dicts->Set_Dict_Kind(TDict_Client_List::DICT_KIND_DB);
  TDict* sup = dicts->Get_Dict("sup", 1);
  if (!sup) return 1;
  Print_Entries(sup);
  Print_Cache_Files();
  std::printf("time stamp %d, local version %d\n", sup->Time_Stamp(), sup->Local_Version());
  // After the application changed the table: drop the cache and load again.
  TSQLCA q;
  if (q.Exec(u"update suppliers set sup_name='南方电子有限公司' where sup_code='S002'") != 0 || q.Commit() != 0) return 1;
  Expire_Cache("sup");
  std::printf("after Expire_Cache: changed %d; ", sup->Is_Time_Stamp_Changed());
  Print_Cache_Files();
  dicts->Refresh_Dict("sup");
  Print_Entries(sup);
  std::printf("time stamp %d, local version %d\n", sup->Time_Stamp(), sup->Local_Version());

  // 3. Dictionaries of the application server (here in this process, in local call mode). The server
  // stamps every change; a client holding an older stamp receives the changes since then.
  dicts->Set_Dict_Kind(TDict_Client_List::DICT_KIND_NET);
  TDict* unit = dicts->Get_Dict("unit", 1);
  if (!unit) return 1;
  const int first = unit->Time_Stamp();
  Print_Entries(unit);
  Dict_Mgr_Serv()->Add_Code("unit", u"KG", u"千克");  // a change on the server: a later stamp
  if (q.Commit() != 0) return 1;                       // on PostgreSQL the notice leaves with it
  if (unit->Is_Time_Stamp_Changed() && unit->Load() && unit->Seek_Code(0, u"KG"))
    std::printf("change set applied: stamp %s, %d entries\n", unit->Time_Stamp() > first ? "later" : "same",
                unit->Get_Row_Count());

  // 4. PostgreSQL: change notices. A listening process learns of a change without asking; the next
  // Get_Dict loads it.
  if (pg && Dict_Notify()->Start()) {
    const long long seen = Dict_Notify()->Received();
    Dict_Mgr_Serv()->Add_Code("unit", u"T", u"吨");
    if (q.Commit() != 0) return 1;
    QElapsedTimer wait;
    wait.start();
    while (Dict_Notify()->Received() == seen && wait.elapsed() < 10000) QThread::msleep(20);
    unit = dicts->Get_Dict("unit", 1);
    std::printf("notice received: %s, T is %s\n", Dict_Notify()->Received() > seen ? "yes" : "no",
                unit->Seek_Code(0, u"T") ? "there" : "missing");
    Dict_Notify()->Stop();
  }
  Finalize();
  return 0;
}
