// zem_demo_server.so: the demo's server module for zem_app_server (--module), so that the demo runs on
// an application server without database credentials (zem_demo --server). It serves the demo's reads
// and writes as statement texts, which suits a sample: a real host serves business calls (save this
// voucher) and keeps its SQL on the server.
//
//   "demo_select"    sql (one select), params (packed set, field 0: texts bound to its placeholders)
//                                                           -> rows (packed data set)
//   "demo_transact"  sqls (packed data set, field 0: inserts, updates and selects, in order)
//                                                           -> rows of the last statement; the server
//                                                              commits them together or none of them
//   "demo_save"      table ("vouchers"), orig (the changed rows as loaded, then the deleted ones),
//                    now (the changed rows' new values, the added rows), how (per row of now: state
//                    "changed" or "added", fields: the changed fields' indexes), deleted (count)
//                                                           -> rows: the added rows as saved (numbered),
//                                                              inserted, updated
//   "demo_engine"                                           -> engine ("SQLite 3.40.1", "PostgreSQL 15.6")
//
// A statement is one statement (no ';' outside quotes) of the kinds named; anything else is refused.
// demo_save saves as the demo does on its database (TSQLCA::Save_Changes): the rows as loaded are
// tracked here, the client's changes applied over them, and a row another clerk changed meanwhile is
// refused with a message (the clerk's window then shows the other's row; saving again keeps theirs
// apart from the columns this clerk changed).
#include <cctype>
#include <cstdlib>
#include <string>

#include "core/data/db_connect.h"
#include "core/data/db_errors.h"
#include "core/data/name_call.h"
#include "core/data/para.h"
#include "core/data/save_changes.h"
#include "core/data/sql_param.h"
#include "core/data/sqlca.h"
#include "demo/demo_voucher_no.h"
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
  TSQLCA params, q;
  TSql_Params bound;
  if (p->Get_Sqlca_Para(u"params", &params) && params.Get_Field_Count() > 0)
    for (int r = 0; r < params.Get_Row_Count(); ++r) bound.emplace_back(std::u16string(params.Get_Row_Value(r, 0)));
  // Select runs reads only: a statement that writes is refused before it is sent.
  if (q.Select(sql.c_str(), bound) != 0) {
    Thr_Err_Mgr()->Set_Err(q.Get_Sqlcode() ? q.Get_Sqlcode() : -1, Zem_W_To_Utf8(q.Get_Error_Msg()).c_str());
    return 0;
  }
  p->Put_Sqlca_Para(u"rows", &q);
  return 1;
}

int Demo_Save(TParaMgr* p) {
  if (Text(p, u"table") != u"vouchers") {
    Thr_Err_Mgr()->Set_Err(-1, "demo_save: the demo saves vouchers only");
    return 0;
  }
  TSQLCA area, now, how;
  int deleted = 0;
  p->Get_Int(u"deleted", &deleted);
  if (!p->Get_Sqlca_Para(u"orig", &area) || !p->Get_Sqlca_Para(u"now", &now) || !p->Get_Sqlca_Para(u"how", &how) ||
      how.Get_Row_Count() != now.Get_Row_Count() || how.Get_Field_Count() < 2 || deleted < 0 ||
      now.Get_Field_Count() != area.Get_Field_Count()) {
    Thr_Err_Mgr()->Set_Err(-1, "demo_save: the rows do not read");
    return 0;
  }
  // The changed rows as loaded come first in orig, then the deleted ones: tracked as the loaded rows.
  if (!area.Track_Changes(u"vouchers", u"voucher_no")) {
    Thr_Err_Mgr()->Set_Err(-1, Zem_W_To_Utf8(area.Get_Error_Msg()).c_str());
    return 0;
  }
  const int fields = area.Get_Field_Count();
  int changed = 0;
  for (int r = 0; r < how.Get_Row_Count(); ++r) {
    if (std::u16string(how.Get_Row_Value(r, 0)) != u"changed") continue;
    if (changed >= area.Get_Row_Count()) break;
    area.Go_To_Row(changed++);
    const std::string list = Zem_W_To_Utf8(how.Get_Row_Value(r, 1));
    for (size_t at = 0; at < list.size();) {
      const int f = std::atoi(list.c_str() + at);
      if (f >= 0 && f < fields) area.Set_Value(f, now.Get_Row_Value(r, f));
      const size_t comma = list.find(',', at);
      at = comma == std::string::npos ? list.size() : comma + 1;
    }
  }
  if (changed + deleted > area.Get_Row_Count()) {
    Thr_Err_Mgr()->Set_Err(-1, "demo_save: the rows do not read");
    return 0;
  }
  for (int k = changed + deleted - 1; k >= changed; --k) {
    area.Go_To_Row(k);
    area.Del_Row();
  }
  const int first_added = area.Get_Row_Count();
  for (int r = 0; r < how.Get_Row_Count(); ++r) {
    if (std::u16string(how.Get_Row_Value(r, 0)) != u"added") continue;
    area.Add_Row();
    for (int f = 0; f < fields; ++f)
      if (*now.Get_Row_Value(r, f)) area.Set_Value(f, now.Get_Row_Value(r, f));
  }
  TSave_Options options;
  options.before_insert = Demo_Number_Voucher;
  std::u16string conflict;
  options.on_conflict = [&conflict](TSave_Conflict* c) {
    if (conflict.empty()) conflict = c->row;
    return static_cast<int>(TSave_Conflict::CANCEL);
  };
  TSave_Result result;
  if (const int code = area.Save_Changes(&options, &result)) {
    const std::string text = conflict.empty()
                                 ? Zem_W_To_Utf8(Db_User_Message(code, area.Get_Error_Msg(), DB_END_NONE, 0).c_str())
                                              : "another clerk changed or deleted " + Zem_W_To_Utf8(conflict.c_str()) +
                                                    " since it was loaded; the window shows theirs";
    Thr_Err_Mgr()->Set_Err(code, text.c_str());
    return 0;
  }
  TSQLCA out;
  out.Set_Field_Count(fields);
  for (int f = 0; f < fields; ++f) out.Set_Field_Name(f, area.Get_Field_Name(f));
  for (int r = first_added; r < area.Get_Row_Count(); ++r) {
    out.Add_Row();
    for (int f = 0; f < fields; ++f) out.Set_Value(f, area.Get_Row_Value(r, f));
  }
  p->Put_Sqlca_Para(u"rows", &out);
  p->Put_Int(u"inserted", result.inserted);
  p->Put_Int(u"updated", result.updated);
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
  if (!Run(q, file ? u"select sqlite_version()" : u"select current_setting('server_version')")) return 0;
  const std::string v = q.Get_Row_Count() > 0 ? Zem_W_To_Utf8(q.Get_Row_Value(0, 0)) : "";
  p->Put_Str(u"engine", ((file ? "SQLite " : "PostgreSQL ") + v).c_str());
  return 1;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int Zem_App_Server_Init(Zem_App_Server_Serve_Fn serve) {
  const struct {
    const char* name;
    Name_Call_Fn fn;
  } fns[] = {{"demo_select", Demo_Select},
             {"demo_transact", Demo_Transact},
             {"demo_save", Demo_Save},
             {"demo_engine", Demo_Engine}};
  for (const auto& f : fns) {
    Mid_Process()->DefineFunction(f.name, 1, f.fn, "zem_demo");
    serve(f.name);
  }
  return 1;
}
