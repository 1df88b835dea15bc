// zem_demo_server.so: the demo's server module for zem_app_server (--module), so that the demo runs on
// an application server without database credentials (zem_demo --server). It serves the demo's reads
// and writes as statement texts, which suits a sample: a real host serves business calls (save this
// voucher) and keeps its SQL on the server.
//
//   "demo_select"    sql (one select)                       -> rows (packed data set)
//   "demo_transact"  sqls (packed data set, field 0: inserts, updates and selects, in order)
//                                                           -> rows of the last statement; the server
//                                                              commits them together or none of them
//   "demo_engine"                                           -> engine ("SQLite 3.40.1", "PostgreSQL 15.6")
//
// A statement is one statement (no ';' outside quotes) of the kinds named; anything else is refused.
#include <cctype>
#include <string>

#include "core/data/db_connect.h"
#include "core/data/name_call.h"
#include "core/data/para.h"
#include "core/data/sqlca.h"
#include "core/text/code_page.h"
#include "frame/thr_err.h"
#include "link/server_module.h"

namespace {

// Whether sql is one statement that starts with one of the words.
bool Allowed(const std::u16string& sql, std::initializer_list<const char*> words) {
  bool quoted = false;
  for (char16_t c : sql) {
    if (c == u'\'') quoted = !quoted;
    if (c == u';' && !quoted) return false;
  }
  size_t i = 0;
  while (i < sql.size() && (sql[i] == u' ' || sql[i] == u'\t' || sql[i] == u'\n' || sql[i] == u'\r')) ++i;
  std::string first;
  for (; i < sql.size() && sql[i] < 128 && std::isalpha(static_cast<int>(sql[i])); ++i)
    first += static_cast<char>(std::tolower(static_cast<int>(sql[i])));
  for (const char* w : words)
    if (first == w) return true;
  return false;
}

int Refuse(const std::u16string& sql) {
  const std::string text = "the demo's server runs no such statement: " + Zem_W_To_Utf8(sql.c_str());
  Thr_Err_Mgr()->Set_Err(-1, text.c_str());
  return 0;
}

// Runs one statement on the worker's session; its rows stay in q.
int Run(TSQLCA& q, const std::u16string& sql) {
  if (q.Exec(sql.c_str()) == 0) return 1;
  Thr_Err_Mgr()->Set_Err(q.Get_Sqlcode() ? q.Get_Sqlcode() : -1, Zem_W_To_Utf8(q.Get_Error_Msg()).c_str());
  return 0;
}

std::u16string Text(TParaMgr* p, const char16_t* name) {
  wstr w;
  p->Get_WStr(name, &w);
  return w.c_str() ? std::u16string(w.c_str()) : std::u16string();
}

int Demo_Select(TParaMgr* p) {
  const std::u16string sql = Text(p, u"sql");
  if (!Allowed(sql, {"select"})) return Refuse(sql);
  TSQLCA q;
  if (!Run(q, sql)) return 0;
  p->Put_Sqlca_Para(u"rows", &q);
  return 1;
}

int Demo_Transact(TParaMgr* p) {
  TSQLCA list, q;
  if (!p->Get_Sqlca_Para(u"sqls", &list) || list.Get_Field_Count() < 1) {
    Thr_Err_Mgr()->Set_Err(-1, "demo_transact: no statements \"sqls\"");
    return 0;
  }
  for (int r = 0; r < list.Get_Row_Count(); ++r) {
    const std::u16string sql = list.Get_Row_Value(r, 0);
    if (!Allowed(sql, {"insert", "update", "select"})) return Refuse(sql);
  }
  // The server commits what the call leaves when it succeeded and rolls it back otherwise.
  for (int r = 0; r < list.Get_Row_Count(); ++r)
    if (!Run(q, list.Get_Row_Value(r, 0))) return 0;
  p->Put_Sqlca_Para(u"rows", &q);
  return 1;
}

int Demo_Engine(TParaMgr* p) {
  TDb_Connect* c = Db_Connect_Mgr()->Get_Session(nullptr);
  const bool file = c && c->Is_File_Db();
  TSQLCA q;
  if (!Run(q, file ? u"select sqlite_version()" : u"show server_version")) return 0;
  const std::string v = q.Get_Row_Count() > 0 ? Zem_W_To_Utf8(q.Get_Row_Value(0, 0)) : "";
  p->Put_Str(u"engine", ((file ? "SQLite " : "PostgreSQL ") + v).c_str());
  return 1;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int Zem_App_Server_Init(Zem_App_Server_Serve_Fn serve) {
  const struct {
    const char* name;
    Name_Call_Fn fn;
  } fns[] = {{"demo_select", Demo_Select}, {"demo_transact", Demo_Transact}, {"demo_engine", Demo_Engine}};
  for (const auto& f : fns) {
    Mid_Process()->DefineFunction(f.name, 1, f.fn, "zem_demo");
    serve(f.name);
  }
  return 1;
}
