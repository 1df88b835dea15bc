// The sample database of the demo: schema, rows, and the reads the window makes.
#include "demo/demo_db.h"

#include <QDir>
#include <QRegularExpression>

#include "core/data/db_connect.h"
#include "core/data/db_errors.h"
#include "core/data/dbdata.h"
#include "core/data/para.h"
#include "core/data/row_track.h"
#include "core/data/save_changes.h"
#include "core/data/sqlca.h"
#include "dict/dict.h"
#include "dict/dict_change.h"
#include "dict/dict_mgr.h"
#include "dict/dict_notify.h"
#include "link/r_call.h"

namespace {

const wchar16* W(const QString& s) { return reinterpret_cast<const wchar16*>(s.utf16()); }

QString Q(const wchar16* s) { return s ? QString::fromUtf16(s) : QString(); }

// What a failed statement says to the user: its sentence for the user, else the database's message.
QString Said(const TSQLCA& q) { return Q(q.Get_User_Msg()).isEmpty() ? Q(q.Get_Error_Msg()) : Q(q.Get_User_Msg()); }

// The schema, beside the dictionary tables (Dict_Create_Def_Tables): app_sequence holds the sequences.
const char16_t* const kSchema[] = {
    u"create table departments(dept_code varchar(20) primary key, dept_name varchar(60) not null, "
    u"manager varchar(40), phone varchar(20))",
    u"create table employees(emp_code varchar(20) primary key, emp_name varchar(40) not null, "
    u"dept_code varchar(20), title varchar(40), salary numeric(12,2), hire_date char(8))",
    u"create table suppliers(sup_code varchar(20) primary key, sup_name varchar(100) not null, "
    u"city varchar(40), contact varchar(40), phone varchar(20))",
    u"create table app_sequence(seq_name varchar(60) primary key, seq_val int)",
};

const char16_t* const kRows[] = {
    u"insert into departments values('01','总经理办公室','张伟','010-62001001')",
    u"insert into departments values('02','财务部','王芳','010-62001002')",
    u"insert into departments values('03','销售部','李娜','010-62001003')",
    u"insert into departments values('04','采购部','刘洋','010-62001004')",
    u"insert into departments values('05','仓储物流部','陈静','010-62001005')",
    u"insert into departments values('06','人力资源部','杨磊','010-62001006')",
    u"insert into employees values('E001','张伟','01','总经理',28000.00,'20150301')",
    u"insert into employees values('E002','王芳','02','财务经理',16500.00,'20160612')",
    u"insert into employees values('E003','李娜','03','销售经理',15800.00,'20170105')",
    u"insert into employees values('E004','刘洋','04','采购经理',14200.00,'20180420')",
    u"insert into employees values('E005','陈静','05','仓储主管',11800.00,'20190815')",
    u"insert into employees values('E006','杨磊','06','人事主管',12300.00,'20191101')",
    u"insert into employees values('E007','赵敏','02','会计',9600.50,'20200310')",
    u"insert into employees values('E008','黄强','03','销售代表',8800.00,'20210107')",
    u"insert into employees values('E009','周杰','03','销售代表',8650.00,'20210618')",
    u"insert into employees values('E010','吴婷','04','采购专员',7900.00,'20220902')",
    u"insert into suppliers values('S001','华东钢材有限公司','上海','孙立','021-55501234')",
    u"insert into suppliers values('S002','南方电子元件厂','深圳','郑洁','0755-8800321')",
    u"insert into suppliers values('S003','北方包装材料公司','天津','冯涛','022-23456789')",
    u"insert into suppliers values('S004','西部物流运输公司','成都','何静','028-86660001')",
    u"insert into suppliers values('S005','中原办公用品商行','郑州','高远','0371-6543210')",
    u"insert into app_dict_def values('dept','01','总经理办公室','N','N',0,'',1)",
    u"insert into app_dict_def values('dept','02','财务部','N','N',0,'',2)",
    u"insert into app_dict_def values('dept','03','销售部','N','N',0,'',3)",
    u"insert into app_dict_def values('dept','04','采购部','N','N',0,'',4)",
    u"insert into app_dict_def values('dept','05','仓储物流部','N','N',0,'',5)",
    u"insert into app_dict_def values('dept','06','人力资源部','N','N',0,'',6)",
    // The SMS templates the voucher grid's menu offers, by their names.
    u"insert into app_dict_def values('tbx_sms_type','T01','付款通知','N','N',0,'',1)",
    u"insert into app_dict_def values('tbx_sms_type','T02','对账提醒','N','N',0,'',2)",
    u"insert into app_dict_sql values('emp','select emp_code code,emp_name name,0 is_group,0 stop_flag,"
    u"0 color_val,title note_info,0 order_id from employees','','','','','code','','')",
    u"insert into app_dict_sql values('sup','select sup_code code,sup_name name,0 is_group,0 stop_flag,"
    u"0 color_val,city note_info,0 order_id from suppliers','','','','','code','','')",
    u"insert into app_sequence values('voucher_no',12)",
};

// The vouchers of the voucher form: checked is 1 (audited), 0 (rejected) or null (not yet seen).
const char16_t* const kVoucherSchema =
    u"create table vouchers(voucher_no varchar(20) primary key, voucher_date char(8), "
    u"sup_code varchar(20), dept_code varchar(20), summary varchar(100), amount numeric(14,2), checked int)";

const char16_t* const kVoucherRows[] = {
    u"insert into vouchers values('V2024001','20240105','S001','04','采购冷轧钢板',125600.00,1)",
    u"insert into vouchers values('V2024002','20240112','S002','04','采购电子元件',48320.50,1)",
    u"insert into vouchers values('V2024003','20240120','S004','05','支付一月运费',6850.00,1)",
    u"insert into vouchers values('V2024004','20240203','S003','04','采购包装纸箱',1234.50,0)",
    u"insert into vouchers values('V2024005','20240215','S005','06','购买办公用品',3265.80,1)",
    u"insert into vouchers values('V2024006','20240301','S001','04','年度钢材框架合同预付款',12345678.00,null)",
    u"insert into vouchers values('V2024007','20240318','S004','05','支付二月运费',7420.00,1)",
    u"insert into vouchers values('V2024008','20240402','S002','03','样品电路板',15600.00,0)",
    u"insert into vouchers values('V2024009','20240415','S005','02','退回多付货款尾差',-5.00,null)",
    u"insert into vouchers values('V2024010','20240428','S003','01','会议室装修材料',28960.00,1)",
    u"insert into vouchers values('V2024011','20240510','S004','05','支付三月、四月运费',14275.60,null)",
    u"insert into vouchers values('V2024012','20240522','S002','03','客户展会宣传资料印刷',0.50,0)",
};

const struct {
  const char16_t* column;
  const char16_t* caption;
} kCaptions[] = {
    {u"dept_code", u"部门编码"}, {u"dept_name", u"部门名称"}, {u"manager", u"负责人"},
    {u"phone", u"电话"},         {u"emp_code", u"职员编码"},  {u"emp_name", u"姓名"},
    {u"title", u"职务"},         {u"salary", u"月薪"},        {u"hire_date", u"入职日期"},
    {u"sup_code", u"供应商编码"}, {u"sup_name", u"供应商名称"}, {u"city", u"城市"},
    {u"contact", u"联系人"},     {u"voucher_no", u"凭证号"},  {u"voucher_date", u"日期"},
    {u"summary", u"摘要"},       {u"amount", u"金额"},        {u"checked", u"审核"},
};

}  // namespace

QList<DemoTable> DemoDb::tables() {
  return {{QStringLiteral("departments"), QString::fromUtf16(u"部门")},
          {QStringLiteral("employees"), QString::fromUtf16(u"职员")},
          {QStringLiteral("suppliers"), QString::fromUtf16(u"供应商")},
          {QStringLiteral("vouchers"), QString::fromUtf16(u"凭证")},
          {QStringLiteral("app_dict_def"), QString::fromUtf16(u"字典定义")}};
}

QString DemoDb::columnCaption(const QString& column) {
  for (const auto& c : kCaptions)
    if (column == QString::fromUtf16(c.column)) return QString::fromUtf16(c.caption);
  return column;
}

int DemoDb::open(const QString& home, const QString& pg) {
  TDb_Config cfg;
  pg_ = !pg.isEmpty();
  if (pg_) {
    cfg.driver = "zem_drv_pg";
    location_ = pg;
  } else {
    if (!QDir().mkpath(home)) {
      error_ = QStringLiteral("cannot create the folder %1").arg(home);
      return 0;
    }
    cfg.driver = "zem_drv_sqlite";
    location_ = QDir(home).filePath(QStringLiteral("zem_demo.db"));
  }
  cfg.text[0] = location_.toStdU16String();
  cfg.count = 1;
  Db_Connect_Mgr()->Clear();
  if (!Db_Connect_Mgr()->Add_Config(cfg)) {
    error_ = QStringLiteral("cannot load the driver library %1.so").arg(QString::fromStdString(cfg.driver));
    return 0;
  }
  // Connect first on this thread's session, so that a refusal is told in the server's (or SQLite's) own
  // words: a query area only reports that it could not link. The session stays with the thread.
  DBDataMgr reply;
  TDb_Connect* session = Db_Connect_Mgr()->Get_Session();
  if (session && !session->Connected() && !session->Connect(&reply)) {
    QString where = location_;
    where.replace(QRegularExpression(QStringLiteral("password\\s*=\\s*\\S+")), QStringLiteral("password=***"));
    error_ = QStringLiteral("cannot connect to %1: %2").arg(where, Q(reply.Get_Sqlmsg()).trimmed());
    return 0;
  }
  TSQLCA q;
  if (exec(q, QStringLiteral("select 1")) != 0) return 0;
  return 1;
}

int DemoDb::openServer(const QString& address, const QString& ca, const QString& token, bool insecure) {
  remote_ = true;
  location_ = QString::fromUtf16(u"应用服务器 ") + address;
  Pub_Para_Put_WStr(u"app_server", W(address));
  Pub_Para_Put_WStr(u"app_server_ca", W(ca));
  Pub_Para_Put_WStr(u"app_server_token", W(token));
  Pub_Para_Put_Int(u"app_server_insecure", insecure ? 1 : 0);
  *R_Call_Local_Mode() = 0;
  Dict_Client_List()->Set_Dict_Kind(TDict_Client_List::DICT_KIND_NET);
  TParaMgr p;
  if (R_Call("demo_engine", &p) != 0) {
    wchar16 why[1024] = {0};
    p.Get_WStr(u"_r_em_", why, 1024);
    error_ = QStringLiteral("cannot reach the application server %1: %2").arg(address, Q(why));
    return 0;
  }
  wchar16 engine[200] = {0};
  p.Get_WStr(u"engine", engine, 200);
  engine_ = Q(engine);
  return 1;
}

namespace {

// A call of the demo's server module that answers rows: q gets them. Its code; *error the user's
// sentence: the link's when the call failed on its way, else the database's as a local statement
// would have it (a save's conflict is told in the clerk's words already).
int Remote_Rows(const char* call, TParaMgr& p, TSQLCA& q, QString* error) {
  const int code = R_Call(call, &p);
  if (code != 0) {
    wchar16 why[2048] = {0};
    p.Get_WStr(u"_r_em_", why, 2048);
    if (*R_Call_User_Msg())
      *error = Q(R_Call_User_Msg());
    else if (code == SAVE_CONFLICT || code == SAVE_CANCELLED)
      *error = Q(why);
    else
      *error = QString::fromStdU16String(Db_User_Message(code, why, DB_END_NONE, 0));
    return code;
  }
  if (!p.Get_Sqlca_Para(u"rows", &q)) q.Set_Field_Count(0);
  return 0;
}

// Texts as a one-column set (field "v"), the way lists travel to the demo's server module.
void Put_Texts(TParaMgr& p, const char16_t* name, const QStringList& texts) {
  TSQLCA list;
  list.Set_Field_Count(1);
  list.Set_Field_Name(0, u"v");
  for (const QString& t : texts) {
    list.Add_Row();
    list.Set_Value(0, W(t));
  }
  p.Put_Sqlca_Para(name, &list);
}

}  // namespace

int DemoDb::followChanges() {
  // On a server, the server follows its database and passes each change on.
  if (remote_) return Dict_Notify()->Start();
  // A database made before the change log gets it (once: the renewal takes locks other clients may
  // hold), with the vouchers watched so that every window shows the others' vouchers.
  TSQLCA q;
  if (q.Select(u"select 1 from app_dict_change where 1 = 0") != 0) {
    q.Rollback();
    const bool tree = q.Select(u"select 1 from dept_tree where 1 = 0") == 0;
    if (Dict_Create_Change_Triggers(&q) != 0 || Dict_Watch_Table(&q, "vouchers", "vouchers") != 0 ||
        Dict_Watch_Table(&q, "suppliers", "sup") != 0 ||
        (tree && Dict_Watch_Table(&q, "dept_tree", "dept_tree") != 0)) {
      error_ = Q(q.Get_Error_Msg());
      q.Rollback();
      return 0;
    }
    if (q.Commit() != 0) {
      error_ = Q(q.Get_Error_Msg());
      return 0;
    }
  }
  // Dictionaries and vouchers follow other writers: notices on a server, the change log on a file.
  Pub_Para_Put_Int(u"dict_change_poll_ms", 500);
  return Dict_Notify()->Start();
}

// What the window shows of a failure is the user's sentence; the database's own text is in the log.
int DemoDb::exec(TSQLCA& q, const QString& sql) {
  if (remote_) return select(q, sql, {});
  const int code = q.Exec(W(sql));
  if (code != 0) error_ = Q(q.Get_User_Msg()).isEmpty() ? Q(q.Get_Error_Msg()) : Q(q.Get_User_Msg());
  return code;
}

int DemoDb::select(TSQLCA& q, const QString& sql) { return exec(q, sql); }

int DemoDb::select(TSQLCA& q, const QString& sql, const QStringList& params) {
  if (remote_) {
    TParaMgr p;
    p.Put_WStr(u"sql", W(sql));
    Put_Texts(p, u"params", params);
    return Remote_Rows("demo_select", p, q, &error_);
  }
  TSql_Params bound;
  for (const QString& v : params) bound.emplace_back(v.toStdU16String());
  const int code = q.Select(W(sql), bound);
  if (code != 0) error_ = Said(q);
  return code;
}

int DemoDb::transact(TSQLCA& q, const QStringList& sqls) {
  if (remote_) {
    // One call: the server runs them on its session and commits only when every one succeeded.
    TParaMgr p;
    Put_Texts(p, u"sqls", sqls);
    return Remote_Rows("demo_transact", p, q, &error_);
  }
  for (const QString& sql : sqls) {
    if (const int code = q.Exec(W(sql))) {
      error_ = Said(q);
      q.Rollback();
      return code;
    }
  }
  // Through another area of the same session: q keeps the last statement's rows.
  TSQLCA c;
  if (const int code = c.Commit()) {
    error_ = Said(c);
    return code;
  }
  return 0;
}

int DemoDb::saveChanges(TSQLCA* area, const TSave_Options& options, TSave_Result* result) {
  if (!remote_) {
    const int code = area->Save_Changes(&options, result);
    // A conflict is told in the clerk's words already; a database failure gets the user's sentence.
    if (code == SAVE_CONFLICT || code == SAVE_CANCELLED)
      error_ = Q(area->Get_Error_Msg());
    else if (code != 0)
      error_ = QString::fromStdU16String(Db_User_Message(code, area->Get_Error_Msg(), DB_END_NONE, 0));
    return code;
  }
  // The rows as loaded and as they are now go to the server, which saves them there (demo_save).
  const int fields = area->Get_Field_Count();
  TSQLCA orig, now, how;
  for (TSQLCA* s : {&orig, &now}) {
    s->Set_Field_Count(fields);
    for (int f = 0; f < fields; ++f) {
      s->Set_Field_Name(f, area->Get_Field_Name(f));
      s->Set_Field_Type(f, area->Get_Field_Type(f));
    }
  }
  how.Set_Field_Count(2);
  how.Set_Field_Name(0, u"state");
  how.Set_Field_Name(1, u"fields");
  std::vector<int> added;
  for (int r = 0; r < area->Get_Row_Count(); ++r) {
    const int state = area->Row_State(r);
    if (state == TSQLCA::ROW_UNCHANGED) continue;
    QStringList changed;
    now.Add_Row();
    if (state == TSQLCA::ROW_CHANGED) orig.Add_Row();
    for (int f = 0; f < fields; ++f) {
      const wchar16* v = area->Get_Row_Value(r, f);
      if (state == TSQLCA::ROW_CHANGED) {
        area->Go_To_Row(r);
        const wchar16* o = area->Get_Orig_Value(r, f);
        if (o && *o) orig.Set_Value(f, o);
        if (!area->Field_Changed(r, f)) continue;
        changed << QString::number(f);
      }
      if (v && *v) now.Set_Value(f, v);
    }
    how.Add_Row();
    how.Set_Value(0, state == TSQLCA::ROW_CHANGED ? u"changed" : u"added");
    how.Set_Value(1, W(changed.join(QLatin1Char(','))));
    if (state == TSQLCA::ROW_ADDED) added.push_back(r);
  }
  for (int i = 0; i < area->Deleted_Count(); ++i) {
    orig.Add_Row();
    for (int f = 0; f < fields; ++f) {
      const wchar16* o = area->Get_Deleted_Value(i, area->Get_Field_Name(f));
      if (o && *o) orig.Set_Value(f, o);
    }
  }
  TParaMgr p;
  p.Put_WStr(u"table", W(QString::fromStdU16String(area->Tracker()->Table())));
  p.Put_Sqlca_Para(u"orig", &orig);
  p.Put_Sqlca_Para(u"now", &now);
  p.Put_Sqlca_Para(u"how", &how);
  p.Put_Int(u"deleted", area->Deleted_Count());
  TSQLCA saved;
  if (const int code = Remote_Rows("demo_save", p, saved, &error_)) {
    if (result) result->message = error_.toStdU16String();
    return code;
  }
  // The added rows come back with what the save gave them (their numbers), in their order; then the
  // area's rows are the loaded ones, as after a save here.
  for (size_t i = 0; i < added.size() && static_cast<int>(i) < saved.Get_Row_Count(); ++i) {
    area->Go_To_Row(added[i]);
    for (int f = 0; f < fields && f < saved.Get_Field_Count(); ++f) area->Set_Value(f, saved.Get_Row_Value(static_cast<int>(i), f));
  }
  area->Accept_Changes();
  if (result) {
    int n = 0;
    p.Get_Int(u"inserted", &n);
    result->inserted = n;
    p.Get_Int(u"updated", &n);
    result->updated = n;
  }
  return 0;
}

int DemoDb::ensureSample() {
  TSQLCA q;
  if (remote_) {
    // The server's database is the server's: the demo only checks that it holds the sample.
    if (select(q, QStringLiteral("select count(*) from vouchers")) == 0) return 1;
    error_ = QStringLiteral("the application server's database has no sample tables (%1): run zem_demo once on "
                            "that database itself (--home DIR or --pg CONNINFO)").arg(error_);
    return 0;
  }
  const char16_t* probe = pg_ ? u"select count(*) from information_schema.tables where table_name='app_sequence' "
                              u"and table_schema = current_schema()"
                              : u"select count(*) from sqlite_master where type='table' and name='app_sequence'";
  if (q.Exec(probe) != 0) {
    error_ = Q(q.Get_Error_Msg());
    return 0;
  }
  auto run = [&](const char16_t* sql) {
    if (q.Exec(sql) == 0) return true;
    error_ = Q(q.Get_Error_Msg());
    q.Rollback();
    return false;
  };
  if (q.Get_Row_Count() == 1 && Q(q.Get_Row_Value(0, 0)).toInt() > 0) {
    // A database made before the vouchers had their audit column gets the current vouchers table.
    if (q.Exec(u"select checked from vouchers where 1 = 0") == 0) return 1;
    q.Rollback();
    if (!run(u"drop table if exists vouchers")) return 0;
  } else {
    for (const char16_t* sql : kSchema)
      if (!run(sql)) return 0;
    if (Dict_Create_Def_Tables(&q) != 0) {
      error_ = Q(q.Get_Error_Msg());
      q.Rollback();
      return 0;
    }
    for (const char16_t* sql : kRows)
      if (!run(sql)) return 0;
  }
  if (!run(kVoucherSchema)) return 0;
  for (const char16_t* sql : kVoucherRows)
    if (!run(sql)) return 0;
  if (Dict_Watch_Table(&q, "vouchers", "vouchers") != 0) {
    error_ = Q(q.Get_Error_Msg());
    q.Rollback();
    return 0;
  }
  return q.Commit() == 0;
}

int DemoDb::rowCount(const QString& table) {
  TSQLCA q;
  if (exec(q, QStringLiteral("select count(*) from ") + table) != 0 || q.Get_Row_Count() < 1) return -1;
  return Q(q.Get_Row_Value(0, 0)).toInt();
}

QString DemoDb::engineVersion() {
  TSQLCA q;
  if (remote_) return engine_;
  if (pg_) {
    if (exec(q, QStringLiteral("select current_setting('server_version')")) != 0 || q.Get_Row_Count() < 1) return QStringLiteral("PostgreSQL");
    return QStringLiteral("PostgreSQL ") + Q(q.Get_Row_Value(0, 0));
  }
  if (exec(q, QStringLiteral("select sqlite_version()")) != 0 || q.Get_Row_Count() < 1) return QStringLiteral("SQLite");
  return QStringLiteral("SQLite ") + Q(q.Get_Row_Value(0, 0));
}
