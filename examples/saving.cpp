// saving: bound parameters and the save of changed rows from docs/GUIDE.md. Two clerks (two sessions)
// load the same goods, change the same row and save: the second save finds the first clerk's change,
// is asked what to keep, and keeps both clerks' columns.
//
// Usage: saving [--pg CONNINFO]   (SQLite in a temporary folder unless a PostgreSQL server is given)
#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/data/db_connect.h"
#include "core/data/save_changes.h"
#include "core/data/sqlca.h"
#include "frame/startup/zem_pack.h"
#include "frame/zem_units.h"

namespace {

QByteArray U8(const std::u16string& w) { return QString::fromStdU16String(w).toUtf8(); }
QByteArray U8(const wchar16* w) { return QString::fromUtf16(w).toUtf8(); }

int Fail(const char* what, TSQLCA& q) {
  std::fprintf(stderr, "saving: %s: %s\n", what, U8(q.Get_Error_Msg()).constData());
  return 1;
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
  cfg.text[0] = pg ? QString::fromUtf8(pg).toStdU16String() : QDir(home.path()).filePath("app.db").toStdU16String();
  if (!Db_Connect_Mgr()->Add_Config(cfg)) return 1;

  TSQLCA q;
  if (q.Exec(u"drop table if exists goods") != 0 ||
      q.Exec(u"create table goods(code varchar(10) primary key, name varchar(40), price numeric(12,2))") != 0)
    return Fail("cannot make the table", q);
  // Values go beside the statement, never into its text: a quote or "'; drop table" is just text.
  const std::u16string name = u"O'Brien 的钢板'); drop table goods; --";
  if (q.Exec(u"insert into goods(code, name, price) values(?, ?, ?)", {u"G01", name, TSql_Param::Decimal(u"5,600.00")}) != 0 ||
      q.Exec(u"insert into goods(code, name, price) values($1, $2, $3)", {u"G02", u"包装纸箱", TSql_Param::Decimal(u"1.20")}) != 0 ||
      q.Commit() != 0)
    return Fail("cannot insert", q);
  if (q.Select(u"select name from goods where price > ? order by code", {TSql_Param::Decimal(u"100")}) != 0)
    return Fail("cannot read", q);
  std::printf("stored as given: %s\n", U8(q.Get_Row_Value(0, 0)).constData());

  // Two clerks, each on a session of its own, load the goods and track them.
  TDb_Connect session_a, session_b;
  session_a.Set_Config(cfg);
  session_b.Set_Config(cfg);
  TSQLCA a, b;
  a.Set_Connect(&session_a);
  b.Set_Connect(&session_b);
  for (TSQLCA* clerk : {&a, &b}) {
    if (clerk->Select(u"select * from goods order by code") != 0) return Fail("cannot load", *clerk);
    clerk->Track_Changes(u"goods", u"code");
  }
  // A raises the price of G01 and saves; B renames G01 and changes its price too, then saves.
  a.Go_To_Row(a.Find_Key(u"G01"));
  a.Set_Value(a.Find_Field(u"price"), u"5800.00");
  if (a.Save_Changes() != 0) return Fail("A's save", a);
  b.Go_To_Row(b.Find_Key(u"G01"));
  b.Set_Value(b.Find_Field(u"name"), u"冷轧钢板");
  b.Set_Value(b.Find_Field(u"price"), u"6000.00");
  std::printf("B changed %d row(s) since the load\n", b.Row_State(b.Find_Key(u"G01")) == TSQLCA::ROW_CHANGED);

  TSave_Options options;
  options.on_conflict = [](TSave_Conflict* k) {
    std::printf("conflict in %s (%s):\n", U8(k->table).constData(), U8(k->row).constData());
    for (TSave_Conflict_Field& f : k->fields) {
      if (!f.mine_changed && !f.theirs_changed) continue;
      std::printf("  %s: read %s, mine %s, theirs %s\n", U8(f.name).constData(), U8(f.orig).constData(),
                  U8(f.mine).constData(), U8(f.theirs).constData());
      if (f.name == u"price") f.take_theirs = true;  // the price as A saved it, B's name
    }
    return static_cast<int>(TSave_Conflict::MERGE);
  };
  TSave_Result result;
  if (b.Save_Changes(&options, &result) != 0) return Fail("B's save", b);
  if (q.Select(u"select name, price from goods where code = ?", {u"G01"}) != 0) return Fail("cannot read", q);
  std::printf("merged: %s %s (%d conflict)\n", U8(q.Get_Row_Value(0, 0)).constData(),
              U8(q.Get_Row_Value(0, 1)).constData(), result.conflicts);
  Finalize();
  return 0;
}
