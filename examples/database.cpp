// database: the database layer of docs/GUIDE.md. A session configuration read from "key=value" lines,
// statements through a query area (rows, errors, transactions, two result areas), a sequence, and the
// public parameters that bound the waits for a server.
//
// Usage: database [--pg CONNINFO]   (SQLite in a temporary folder unless a PostgreSQL server is given)
#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/data/db_connect.h"
#include "core/data/para.h"
#include "core/data/sqlca.h"
#include "frame/startup/zem_pack.h"
#include "frame/zem_units.h"

namespace {

// The console is UTF-8; the query area's texts are UTF-16.
QByteArray U8(const wchar16* w) { return QString::fromUtf16(w).toUtf8(); }

int Fail(const char* what, TSQLCA* q) {
  std::fprintf(stderr, "database: %s: %s\n", what, q ? U8(q->Get_Error_Msg()).constData() : "");
  return 1;
}

// A host's configuration file holds the same lines ('#' starts a comment).
const char* const kSqliteConfig =
    "# the embedded database: one SQLite file, two pooled sessions\n"
    "driver=zem_drv_sqlite\n"
    "count=2\n";

}  // namespace

int main(int argc, char** argv) {
  setenv("TARVOK_DLL_PATH", ZEM_DLL_DIR, 0);
  Initialize();
  Init_Tfa();
  const char* pg = argc > 2 && std::strcmp(argv[1], "--pg") == 0 ? argv[2] : nullptr;

  QTemporaryDir home;
  std::string text = pg ? std::string("driver=zem_drv_pg\ntext1=") + pg + "\n"
                        : kSqliteConfig + ("text1=" + QDir(home.path()).filePath("app.db").toStdString() + "\n");
  TDb_Config cfg;
  std::string error;
  if (!cfg.Parse_Text(text.c_str(), &error)) {
    std::fprintf(stderr, "database: %s\n", error.c_str());
    return 1;
  }
  if (!Db_Connect_Mgr()->Add_Config(cfg)) return Fail("cannot load the driver library", nullptr);

  // Read at every call: a call may wait 30 s for the server (all of its round trips together), a
  // connection attempt 5 s (the name look-up included).
  Pub_Para_Put_Int(u"db_statement_timeout", 30);
  Pub_Para_Put_Int(u"db_connect_timeout", 5);

  TSQLCA q;
  for (const char16_t* sql : {u"drop table if exists goods", u"drop table if exists app_sequence",
                              u"create table goods(code varchar(10) primary key, name varchar(40), "
                              u"price numeric(12,2))",
                              u"create table app_sequence(seq_name varchar(60) primary key, seq_val int)",
                              u"insert into goods values('G01','冷轧钢板',5600.00)",
                              u"insert into goods values('G02','包装纸箱',1.20)"})
    if (q.Exec(sql) != 0) return Fail("cannot make the table", &q);
  if (q.Commit() != 0) return Fail("cannot commit", &q);  // writes need a commit

  // A statement the database refuses: its code and message; the transaction is rolled back.
  if (q.Exec(u"insert into goods values('G01','重复的编码',1.00)") != 0) {
    std::printf("refused: %d %s\n", q.Get_Sqlcode(), U8(q.Get_Error_Msg()).constData());
    std::printf("the user reads: %s\n", U8(q.Get_User_Msg()).constData());  // whole, in Chinese
    q.Rollback();
  }

  // A long report may wait longer than the other calls: its query area's own bound, in seconds.
  TSQLCA report;
  report.Set_Statement_Timeout(600);
  if (report.Exec(u"select sum(price) from goods") != 0) return Fail("cannot sum", &report);

  // Rows of a select, in the current area (area 0); a second area keeps its own result.
  if (q.Exec(u"select code,name,price from goods order by code") != 0) return Fail("cannot read", &q);
  q.SelectArea(1);
  if (q.Exec(u"select count(*) from goods") != 0) return Fail("cannot count", &q);
  const int count = QString::fromUtf16(q.Get_Row_Value(0, 0)).toInt();
  q.SelectArea(0);
  for (int r = 0; r < q.Get_Row_Count(); r++)
    std::printf("%s %s %s\n", U8(q.Get_Row_Value(r, 0)).constData(), U8(q.Get_Row_Value(r, 1)).constData(),
                U8(q.Get_Row_Value(r, 2)).constData());
  std::printf("%d goods in table %s\n", count, U8(q.Get_Table_Name()).constData());

  // The next number of a sequence (table app_sequence), made at 1 on first use.
  int no = 0;
  if (!q.Get_Sequence_Id("voucher_no", &no) || q.Commit() != 0) return Fail("no sequence", &q);
  std::printf("sequence voucher_no = %d\n", no);
  Finalize();
  return 0;
}
