// The change log of master data: its tables, the triggers that fill it, and reading it.
#include "dict/dict_change.h"

#include <cstdlib>

#include "core/data/db_connect.h"
#include "core/data/sqlca.h"
#include "core/text/wfunc.h"

namespace {

// PostgreSQL: one function for every trigger. 'def' reads the dict_id of the rows the statement wrote
// (its transition tables), anything else the ids app_dict_watch lists for the table. The tables are
// named in the trigger's own schema, whoever writes, and so is the notice channel (the rule of
// zem_drv_pg: "zem_dict@<schema>", the schema's md5 past 63 bytes).
const char16_t kPg_Function[] =
    u"create or replace function zem_dict_change() returns trigger language plpgsql as $zem$\n"
    u"declare\n"
    u"  ids text[];\n"
    u"  one text;\n"
    u"  n bigint;\n"
    u"  sch text := TG_TABLE_SCHEMA;\n"
    u"  ch text;\n"
    u"begin\n"
    u"  if TG_ARGV[0] = 'def' then\n"
    u"    if TG_OP = 'INSERT' then\n"
    u"      select array_agg(distinct dict_id::text) into ids from zem_new;\n"
    u"    elsif TG_OP = 'DELETE' then\n"
    u"      select array_agg(distinct dict_id::text) into ids from zem_old;\n"
    u"    else\n"
    u"      select array_agg(distinct d) into ids from (select dict_id::text as d from zem_new\n"
    u"        union select dict_id::text from zem_old) x;\n"
    u"    end if;\n"
    u"  else\n"
    u"    execute format('select array_agg(dict_id::text) from %I.app_dict_watch where table_name = $1', sch)\n"
    u"      into ids using TG_TABLE_NAME::text;\n"
    u"  end if;\n"
    u"  ch := 'zem_dict@' || sch;\n"
    u"  if octet_length(ch) > 63 then ch := 'zem_dict@' || md5(sch); end if;\n"
    u"  foreach one in array coalesce(ids, array[]::text[]) loop\n"
    u"    execute format('insert into %I.app_dict_change(dict_id) values($1) returning change_id', sch)\n"
    u"      into n using one;\n"
    u"    perform pg_notify(ch, n::text || ' sql ' || one);\n"
    u"  end loop;\n"
    u"  return null;\n"
    u"end\n"
    u"$zem$";

// A table name that can stand in a trigger's text as it is.
bool Plain_Name(const std::string& s) {
  if (s.empty() || s.size() > 60 || (s[0] >= '0' && s[0] <= '9')) return false;
  for (char c : s)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

int Run(TSQLCA* q, const std::string& sql) { return q->Exec(map_wchar(sql.c_str())); }

// 1 on a file database (SQLite), 0 on a server, -1 when no session can be had.
int File_Db(TSQLCA* q) {
  if (q->Exec(u"select 1") != 0) return -1;
  TDb_Connect* c = q->Get_Connect();
  return c && c->Is_File_Db() ? 1 : 0;
}

bool Table_Exists(TSQLCA* q, const std::string& table) {
  return Run(q, "select 1 from " + table + " where 1 = 0") == 0;
}

int Make_Tables(TSQLCA* q, int file_db) {
  const std::string id = file_db ? "integer primary key" : "bigserial primary key";
  if (int rc = Run(q, "create table if not exists app_dict_change(change_id " + id + ", dict_id varchar(60) not null)"))
    return rc;
  if (int rc = Run(q,
                   "create table if not exists app_dict_watch(table_name varchar(60) not null, dict_id varchar(60) "
                   "not null, primary key(table_name, dict_id))"))
    return rc;
  if (!file_db) return q->Exec(kPg_Function);
  return 0;
}

// The triggers of a definition table (app_dict_def, app_dict_sql): every row's dict_id.
int Def_Triggers(TSQLCA* q, int file_db, const std::string& table) {
  if (!file_db) {
    const char* const kinds[][3] = {{"i", "insert", "referencing new table as zem_new"},
                                    {"u", "update", "referencing old table as zem_old new table as zem_new"},
                                    {"d", "delete", "referencing old table as zem_old"}};
    for (const auto& k : kinds) {
      const std::string name = std::string("zem_dict_change_") + k[0];
      if (int rc = Run(q, "drop trigger if exists " + name + " on " + table)) return rc;
      if (int rc = Run(q, "create trigger " + name + " after " + k[1] + " on " + table + " " + k[2] +
                              " for each statement execute procedure zem_dict_change('def')"))
        return rc;
    }
    return 0;
  }
  const std::string base = "zem_dict_change_" + table + "_";
  const std::string bodies[][2] = {
      {"i", "insert on " + table + " begin insert into app_dict_change(dict_id) values(new.dict_id); end"},
      {"u", "update on " + table +
                " begin insert into app_dict_change(dict_id) values(new.dict_id); insert into app_dict_change(dict_id) "
                "select old.dict_id where old.dict_id <> new.dict_id; end"},
      {"d", "delete on " + table + " begin insert into app_dict_change(dict_id) values(old.dict_id); end"}};
  for (const auto& b : bodies) {
    if (int rc = Run(q, "drop trigger if exists " + base + b[0])) return rc;
    if (int rc = Run(q, "create trigger " + base + b[0] + " after " + b[1])) return rc;
  }
  return 0;
}

// The triggers of a watched table: the ids app_dict_watch lists for it.
int Watch_Triggers(TSQLCA* q, int file_db, const std::string& table) {
  if (!file_db) {
    if (int rc = Run(q, "drop trigger if exists zem_dict_watch on " + table)) return rc;
    return Run(q, "create trigger zem_dict_watch after insert or update or delete or truncate on " + table +
                      " for each statement execute procedure zem_dict_change('watch')");
  }
  for (const char* k : {"insert", "update", "delete"}) {
    const std::string name = "zem_dict_watch_" + table + "_" + k[0];
    if (int rc = Run(q, "drop trigger if exists " + name)) return rc;
    if (int rc = Run(q, "create trigger " + name + " after " + k + " on " + table +
                            " begin insert into app_dict_change(dict_id) select dict_id from app_dict_watch where "
                            "table_name = '" + table + "'; end"))
      return rc;
  }
  return 0;
}

}  // namespace

int Dict_Create_Change_Triggers(TSQLCA* q) {
  if (!q) return -1;
  const int file_db = File_Db(q);
  if (file_db < 0) return q->Get_Sqlcode();
  if (int rc = Make_Tables(q, file_db)) return rc;
  for (const char* t : {"app_dict_def", "app_dict_sql"}) {
    if (!Table_Exists(q, t)) continue;
    if (int rc = Def_Triggers(q, file_db, t)) return rc;
  }
  if (int rc = q->Select(u"select distinct table_name from app_dict_watch")) return rc;
  std::vector<std::string> watched;
  for (int r = 0; r < q->Get_Row_Count(); r++) watched.push_back(Zem_W_To_Utf8(q->Get_Row_Value(r, 0)));
  for (const std::string& t : watched) {
    if (!Plain_Name(t) || !Table_Exists(q, t)) continue;  // a table gone since it was named
    if (int rc = Watch_Triggers(q, file_db, t)) return rc;
  }
  return 0;
}

int Dict_Watch_Table(TSQLCA* q, const char* table, const char* ids) {
  if (!q) return -1;
  const std::string t = Lower(table ? table : "");
  if (!Plain_Name(t)) {
    q->Set_Error(-1, map_wchar(("Dict_Watch_Table: not a plain table name: \"" + t + "\"").c_str()));
    return -1;
  }
  const int file_db = File_Db(q);
  if (file_db < 0) return q->Get_Sqlcode();
  if (int rc = Make_Tables(q, file_db)) return rc;
  std::string list = ids ? ids : "";
  size_t at = 0;
  while (at <= list.size()) {
    size_t comma = list.find(',', at);
    if (comma == std::string::npos) comma = list.size();
    std::string id = list.substr(at, comma - at);
    at = comma + 1;
    while (!id.empty() && id.front() == ' ') id.erase(0, 1);
    while (!id.empty() && id.back() == ' ') id.pop_back();
    if (id.empty()) continue;
    if (int rc = q->Exec(u"delete from app_dict_watch where table_name = ? and dict_id = ?", {t, id})) return rc;
    if (int rc = q->Exec(u"insert into app_dict_watch(table_name, dict_id) values(?, ?)", {t, id})) return rc;
  }
  return Watch_Triggers(q, file_db, t);
}

int Dict_Read_Changes(TSQLCA* q, long long after, int limit, std::vector<Dict_Change_Row>* out) {
  out->clear();
  if (q->Select(u"select change_id, dict_id from app_dict_change where change_id > ? order by change_id limit ?",
                {after, limit > 0 ? limit : 1000000}) != 0)
    return 0;
  for (int r = 0; r < q->Get_Row_Count(); r++)
    out->push_back({std::strtoll(Zem_W_To_Utf8(q->Get_Row_Value(r, 0)).c_str(), nullptr, 10),
                    Zem_W_To_Utf8(q->Get_Row_Value(r, 1))});
  return 1;
}

int Dict_Last_Change(TSQLCA* q, long long* last) {
  *last = 0;
  if (q->Select(u"select max(change_id) from app_dict_change") != 0) return 0;
  if (q->Get_Row_Count() > 0) *last = std::strtoll(Zem_W_To_Utf8(q->Get_Row_Value(0, 0)).c_str(), nullptr, 10);
  return 1;
}

int Dict_Prune_Changes(TSQLCA* q, long long keep) {
  long long last = 0;
  if (!Dict_Last_Change(q, &last)) return 0;
  if (last - keep <= 0) return 1;
  if (q->Exec(u"delete from app_dict_change where change_id <= ?", {last - keep}) != 0) {
    q->Rollback();
    return 0;
  }
  return q->Commit() == 0;
}
