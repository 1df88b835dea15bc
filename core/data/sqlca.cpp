// TSQLCA: areas, Exec with its recovery and logging, batch insert, the skip-sum column.
#include "core/data/sqlca.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <string>
#include <utility>

#include "core/data/db_connect.h"
#include "core/data/db_errors.h"
#include "core/data/db_stmt.h"
#include "core/data/para.h"
#include "core/data/row_track.h"
#include "core/text/wfunc.h"
#include "frame/host_funcs.h"
#include "frame/log_mgr.h"
#include "frame/singleton.h"

namespace {

std::atomic<int> g_trace{0};

std::u16string Ascii(const char* s) {
  std::u16string w;
  for (; *s; ++s) w.push_back(static_cast<wchar16>(static_cast<unsigned char>(*s)));
  return w;
}


// A query area's bound in seconds as the session takes it in ms (0: the public parameter).
int Bound_Ms(int seconds) {
  if (seconds == 0) return 0;
  if (seconds < 0) return -1;
  return seconds > INT_MAX / 1000 ? INT_MAX : seconds * 1000;
}

bool Contains(const std::u16string& hay, const char16_t* needle) {
  return hay.find(needle) != std::u16string::npos;
}

const char16_t kBookmark[] = u"无效的书签";
const char16_t kBookmarkText[] =
    u"  无效的书签-数据库异常了，不要共享方式使用软件，可以尝试在（配置管理=》压缩数据库）进行修复";

}  // namespace

std::string Sql_Quote(const char* text) {
  std::string out;
  if (!text) return out;
  for (const char* p = text; *p; ++p) {
    out.push_back(*p);
    if (*p == '\'') out.push_back('\'');
  }
  return out;
}

std::u16string Sql_Quote(const wchar16* text) {
  std::u16string out;
  if (!text) return out;
  for (const wchar16* p = text; *p; ++p) {
    out.push_back(*p);
    if (*p == u'\'') out.push_back(u'\'');
  }
  return out;
}

std::u16string Sql_Table_Name(const wchar16* sql) {
  std::u16string s = sql ? sql : u"";
  size_t at = std::u16string::npos;
  for (const char16_t* key : {u" into ", u" update ", u" from "}) {
    size_t p = s.find(key);
    if (p != std::u16string::npos) {
      at = p + std::char_traits<char16_t>::length(key);
      break;
    }
  }
  std::u16string name;
  if (at == std::u16string::npos) return name;
  while (at < s.size() && (s[at] == u' ' || s[at] == u'\t' || s[at] == u'\r' || s[at] == u'\n')) at++;
  while (at < s.size() && name.size() < 60) {
    wchar16 c = s[at++];
    bool ok = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
              c == u'_' || c == u'.';
    if (!ok) break;
    if (c >= u'a' && c <= u'z') c = static_cast<wchar16>(c - u'a' + u'A');
    name.push_back(c);
  }
  return name;
}

void TSQLCA::Set_Trace(int on) { g_trace = on; }

void TSQLCA::Take_Outcome(TDb_Connect* conn) {
  Area_Result& r = res_[cur_];
  r.sqlcode = cur_data_->Get_Sqlcode();
  r.msg = cur_data_->Get_Sqlmsg();
  r.result = cur_data_->Get_Tag(1);
  r.user = Db_User_Message(r.sqlcode, r.msg.c_str(), cur_data_->Get_Tag(3), r.sqlcode ? conn->Retry_In_Ms() : 0);
}

TSQLCA::TSQLCA() : owner_(std::this_thread::get_id()) {}

TSQLCA::~TSQLCA() { Free_Area(); }

int TSQLCA::SelectArea(int n) {
  if (n < 0 || n >= AREA_COUNT) return 0;
  if (!areas_[n]) {
    areas_[n] = new DBDataMgr();
    res_[n] = Area_Result();
  }
  cur_ = n;
  cur_data_ = areas_[n];
  Refresh_From_Data();
  return 1;
}

void TSQLCA::Refresh_From_Data() {
  Area_Result& r = res_[cur_];
  r.sqlcode = cur_data_->Get_Sqlcode();
  r.msg = cur_data_->Get_Sqlmsg();
}

DBDataMgr* TSQLCA::Data() {
  if (cur_ < 0) SelectArea(0);
  return cur_data_;
}

DBDataMgr* TSQLCA::Area_Data(int n) const { return (n >= 0 && n < AREA_COUNT) ? areas_[n] : nullptr; }

int TSQLCA::Free_Area() {
  for (int i = 0; i < AREA_COUNT; i++) {
    delete track_[i];
    track_[i] = nullptr;
    delete areas_[i];
    areas_[i] = nullptr;
    res_[i] = Area_Result();
  }
  cur_ = -1;
  cur_data_ = nullptr;
  return 1;
}

const wchar16* TSQLCA::Get_Error_Msg() const { return cur_ < 0 ? g_empty_w : res_[cur_].msg.c_str(); }
const wchar16* TSQLCA::Get_User_Msg() const { return cur_ < 0 ? g_empty_w : res_[cur_].user.c_str(); }
const wchar16* TSQLCA::Get_Error_Sql() const { return cur_ < 0 ? g_empty_w : res_[cur_].sql.c_str(); }

int TSQLCA::Set_Error(int code, map_wchar msg) {
  Data()->Set_Error(code, msg);
  res_[cur_].sqlcode = code;
  res_[cur_].msg = cur_data_->Get_Sqlmsg();
  res_[cur_].user.clear();
  return 1;
}

int TSQLCA::Set_Error_Msg(map_wchar msg) {
  Data();
  res_[cur_].msg = msg.c_str();
  return 1;
}

int TSQLCA::Set_Error_Sql(map_wchar sql) {
  Data();
  res_[cur_].sql = sql.c_str();
  return 1;
}

const wchar16* TSQLCA::Get_Value(map_wchar field) {
  int i = Data()->Find_Field(field);
  return i < 0 ? g_empty_w : Data()->Get_Value(i);
}

void TSQLCA::Swap_Area_Data(TSQLCA& other) {
  Data();
  other.Data();
  std::swap(areas_[cur_], other.areas_[other.cur_]);
  std::swap(res_[cur_], other.res_[other.cur_]);
  cur_data_ = areas_[cur_];
  other.cur_data_ = other.areas_[other.cur_];
}

TDb_Connect* TSQLCA::Take_Connect() {
  if (explicit_) return explicit_;
  used_ = Db_Connect_Mgr()->Get_Session(nullptr);
  return used_;
}

int TSQLCA::Fail_No_Connect(const wchar16* sql, const char* what, const char* console_what) {
  const int end = cur_data_->Get_Tag(3);  // the connect's, when it was stopped
  cur_data_->CFree();
  std::u16string msg = Ascii(what);
  cur_data_->Set_Error(999, msg.c_str());
  Area_Result& r = res_[cur_];
  r.sqlcode = 999;
  r.msg = msg;
  r.result = 0;
  r.user = Db_User_Message(999, msg.c_str(), end, Get_Connect() ? Get_Connect()->Retry_In_Ms() : 0);
  Log_Printf("*** fail to run %s\n", Zem_W_To_Utf8(sql).c_str());
  Log_Printf("*** %s\n", console_what);
  return 999;
}

int TSQLCA::Exec(map_wchar sql) { return Run(sql, nullptr); }

int TSQLCA::Exec(map_wchar sql, const TSql_Params& params) { return Run(sql, &params); }

int TSQLCA::Select(map_wchar sql) { return Select(sql, TSql_Params()); }

int TSQLCA::Select(map_wchar sql, const TSql_Params& params) {
  if (Db_Classify(sql.c_str()) != Db_Stmt::Select)
    return Refuse(sql.c_str() ? sql.c_str() : u"", "Select runs reads only; this statement writes");
  return params.empty() ? Run(sql, nullptr) : Run(sql, &params);
}

// A statement refused before it reached the driver: -1 and the reason in the area, logged.
int TSQLCA::Refuse(const std::u16string& sql, const std::string& why) {
  Data();
  cur_data_->CFree();
  cur_data_->Set_Error(-1, map_wchar(why.c_str()));
  Area_Result& r = res_[cur_];
  r.sql = sql;
  r.sqlcode = -1;
  r.msg = cur_data_->Get_Sqlmsg();
  r.result = 0;
  r.user = Db_User_Message(-1, r.msg.c_str(), DB_END_NONE, 0);
  Log_Printf("*** fail to run %s\n*** %s\n", Zem_W_To_Utf8(sql.c_str()).c_str(), why.c_str());
  return -1;
}

int TSQLCA::Run(map_wchar sql_in, const TSql_Params* params) {
  std::u16string sql = sql_in.c_str() ? sql_in.c_str() : u"";
  if (g_trace) Log_Printf("SQL TRACE: %s\n", Zem_W_To_Utf8(sql.c_str()).c_str());
  for (wchar16& c : sql)
    if (c == u'`') c = u'%';
  Data();
  Area_Result& r = res_[cur_];
  r.sql = sql;

  // Parameters: their count and values are checked before anything is sent.
  std::vector<const wchar16*> values;
  std::string kinds;
  if (params) {
    int count = 0;
    std::string why;
    if (Db_Number_Params(sql.c_str(), 0, nullptr, &count, &why) < 0) return Refuse(sql, why);
    if (count != static_cast<int>(params->size()))
      return Refuse(sql, "the statement has " + std::to_string(count) + " placeholders and " +
                             std::to_string(params->size()) + " parameters were given");
    for (size_t i = 0; i < params->size(); i++) {
      const TSql_Param& p = (*params)[i];
      if (!p.Bad().empty()) return Refuse(sql, "parameter " + std::to_string(i + 1) + ": " + p.Bad());
      values.push_back(p.Is_Null() ? nullptr : p.Text().c_str());
      kinds.push_back(static_cast<char>(p.Type()));
    }
  }

  TDb_Connect* conn = Take_Connect();
  if (!conn) return Fail_No_Connect(sql.c_str(), "cant get db connection", "cant get db connection");
  const Db_Stmt kind = Db_Classify(sql.c_str());
  // A commit or rollback of a session that is not connected has nothing to end: no connecting.
  if (!conn->Busy() && !conn->Connected() && kind != Db_Stmt::Commit && kind != Db_Stmt::Rollback &&
      !conn->Connect(cur_data_)) {
    // The driver's own reason goes to the log; the area carries the fixed text callers test for.
    std::string why = Zem_W_To_Utf8(cur_data_->Get_Sqlmsg());
    if (!why.empty()) Log_Printf("connect: %s\n", why.c_str());
    return Fail_No_Connect(sql.c_str(), "cant link to db server", "cant link to db server");
  }

  End_Tracking();  // the rows are replaced
  cur_data_->CFree();
  conn->Set_Call_Bound(Bound_Ms(timeout_s_));
  try {
    if (params)
      conn->Execute_Sql_Params(cur_data_, sql.c_str(), static_cast<int>(values.size()), values.data(), kinds.c_str());
    else
      conn->Execute_Sql(cur_data_, sql.c_str());
  } catch (...) {
    // A failure raised inside the driver: keep whatever the data set holds.
    if (cur_data_->Get_Sqlcode() == 0) cur_data_->Set_Error(-1, u"driver failure");
  }
  conn->Set_Call_Bound(0);
  std::u16string table = Sql_Table_Name(sql.c_str());
  if (!table.empty()) cur_data_->Set_Table_Name(table.c_str());

  Take_Outcome(conn);
  cur_data_->First();

  // A lost session was already replaced by a fresh one (TDb_Connect); this statement is not repeated.
  if (r.sqlcode != 0 && Contains(r.msg, kBookmark)) r.msg = kBookmarkText;

  const int rows = cur_data_->Get_Row_Count();
  if (conn->Log_Mode() == 2 || r.sqlcode != 0) {
    char line[128];
    std::snprintf(line, sizeof line, "runover error code %d result rownum %d", r.sqlcode, rows);
    std::u16string entry = sql + u"\n";
    if (params) entry += Sql_Params_Text(*params) + u"\n";
    entry += Ascii(line);
    if (r.sqlcode != 0) {
      std::snprintf(line, sizeof line, "%d", r.sqlcode);
      entry += u"\n错误代码: " + Ascii(line) + u"\n错误信息: " + r.msg;
    }
    conn->Log_Text(entry.c_str());
  }
  if (rows >= MANY_ROWS) {
    const std::u16string dashes(63, u'-');
    char line[128];
    std::snprintf(line, sizeof line, "the next sqlcmd fetch many rows[more than 10000]: %d", rows);
    std::u16string entry = dashes + u"\n" + Ascii(line) + u"\n" + sql + u"\n" + dashes;
    // A fetch this large is where memory goes: the host's figure, when it gives one, goes beside it.
    static Gui_Get_Memory_Usage_Fn memory = nullptr;
    if (Gui_Get_Memory_Usage_Fn fn = Zem_Host_Func(kGui_Get_Memory_Usage, memory)) {
      std::snprintf(line, sizeof line, "memory in use: %lld bytes", fn());
      entry += u"\n" + Ascii(line);
    }
    conn->Log_Text(entry.c_str());
  }
  return r.sqlcode;
}

int TSQLCA::Batch_Insert() {
  if (cur_ < 0 || !cur_data_) return 0;
  Area_Result& r = res_[cur_];
  std::u16string label = u"batch insert into ";
  label += cur_data_->Get_Table_Name();
  r.sql = label;
  TDb_Connect* conn = Take_Connect();
  if (!conn) return Fail_No_Connect(label.c_str(), "cant get db connection", "cant get db connection");
  // Connection failures must not free the rows the caller wants inserted.
  if (!conn->Connected() && !conn->Busy()) {
    DBDataMgr scratch;
    if (!conn->Connect(&scratch)) {
      Log_Printf("connect: %s\n", Zem_W_To_Utf8(scratch.Get_Sqlmsg()).c_str());
      r.sqlcode = 999;
      r.msg = u"cant link to db server";
      r.user = Db_User_Message(999, r.msg.c_str(), scratch.Get_Tag(3), conn->Retry_In_Ms());
      cur_data_->Set_Error(999, r.msg.c_str());
      Log_Printf("*** fail to run %s\n*** cant link to db server\n", Zem_W_To_Utf8(label.c_str()).c_str());
      return 999;
    }
  }
  cur_data_->Set_Error(0, g_empty_w);
  conn->Set_Call_Bound(Bound_Ms(timeout_s_));
  try {
    conn->Batch_Insert(cur_data_);
  } catch (...) {
    if (cur_data_->Get_Sqlcode() == 0) cur_data_->Set_Error(-1, u"driver failure");
  }
  conn->Set_Call_Bound(0);
  Take_Outcome(conn);
  if (conn->Log_Mode() == 2 || r.sqlcode != 0) {
    char line[128];
    std::snprintf(line, sizeof line, "runover error code %d result rownum %d", r.sqlcode,
                  cur_data_->Get_Row_Count());
    conn->Log_Text((label + u"\n" + Ascii(line) + (r.sqlcode ? u"\n错误信息: " + r.msg : u"")).c_str());
  }
  return r.sqlcode;
}

// ---- sequences -------------------------------------------------------------------------------------
// mode 0: next value; 1: current value; 2: set to set_value. The statements run in a query area of
// their own on the same session, so the caller's areas keep their rows.
int TSQLCA::Sequence_Step(const char* name, int set_value, int mode, int* value) {
  if (value) *value = 0;
  if (!name) name = "";
  TDb_Connect* conn = Take_Connect();
  if (!conn) {
    Log_Printf("*** fail to Get_Sequence_Id %s\n", name);
    Log_Printf("*** cant get db connection\n");
    Data();
    res_[cur_].sqlcode = 999;
    res_[cur_].msg = u"cant get db connection";
    res_[cur_].user = Db_User_Message(999, u"cant get db connection", DB_END_NONE, 0);
    return 0;
  }
  map_wchar wname(name);
  const std::u16string q = Sql_Quote(wname.c_str());
  if (conn->Log_Mode() == 2) conn->Log_Text((u"get sequence " + std::u16string(wname.c_str())).c_str());

  TSQLCA work;
  work.Set_Connect(conn);
  auto run = [&work](const std::u16string& sql) { return work.Exec(sql.c_str()); };
  auto fail = [&]() {
    Data();
    res_[cur_].sqlcode = work.Get_Sqlcode();
    res_[cur_].msg = work.Get_Error_Msg();
    res_[cur_].user = work.Get_User_Msg();
    return 0;
  };
  char num[32];
  std::snprintf(num, sizeof num, "%d", set_value);
  const std::u16string n16 = Ascii(num);
  if (mode == 0 && run(u"update app_sequence set seq_val=seq_val+1 where seq_name='" + q + u"'"))
    return fail();
  if (mode == 2 &&
      run(u"update app_sequence set seq_val=" + n16 + u" where seq_name='" + q + u"'"))
    return fail();
  if (run(u"select seq_val from app_sequence where seq_name='" + q + u"'")) return fail();
  if (work.Get_Row_Count() == 0) {
    int start = mode == 2 ? set_value : 1;
    std::snprintf(num, sizeof num, "%d", start);
    if (run(u"insert into app_sequence(seq_name,seq_val) values('" + q + u"'," + Ascii(num) + u")"))
      return fail();
    if (value) *value = start;
    return 1;
  }
  work.First();
  if (value) *value = W_To_Int(work.Get_Value(0));
  return 1;
}

int TSQLCA::Get_Sequence_Id(const char* name, int* value) { return Sequence_Step(name, 0, 0, value); }
int TSQLCA::Get_Sequence_Cur(const char* name, int* value) { return Sequence_Step(name, 0, 1, value); }
int TSQLCA::Set_Sequence(const char* name, int value) {
  int v = 0;
  return Sequence_Step(name, value, 2, &v);
}

// ---- skip-sum column ---------------------------------------------------------------------------------
int TSQLCA::Skip_Sum_Col() {
  DBDataMgr* d = Data();
  int i = d->Find_Field(u"skip_sum_flag");
  if (i >= 0) return i;
  if (!d->Add_Field(u"skip_sum_flag")) return -1;
  i = d->Find_Field(u"skip_sum_flag");
  if (i >= 0) {
    d->Set_Field_Type(i, 'S');
    d->Set_Field_Width(i, 0);  // hidden
  }
  return i;
}

int TSQLCA::Set_Skip_Sum(int row, int skip) {
  int col = Skip_Sum_Col();
  DBDataMgr* d = Data();
  if (col < 0 || row < 0 || row >= d->Get_Row_Count()) return 0;
  int keep = d->Get_Cur_Row();
  d->Go_To_Row(row);
  int ok = d->Set_Value(col, skip ? u"1" : u"");
  d->Go_To_Row(keep);
  return ok;
}

int TSQLCA::Get_Skip_Sum(int row) {
  DBDataMgr* d = Data();
  int col = d->Find_Field(u"skip_sum_flag");
  if (col < 0) return 0;
  const wchar16* v = d->Get_Row_Value(row, col);
  return v && v[0] == u'1';
}

// ---- parameter pack hooks ---------------------------------------------------------------------------
void* Sqlca_Para_Pack(TSQLCA* sqlca, int* len) {
  unsigned n = 0;
  uint8_t* buf = sqlca->Data()->Pack_Data(&n);
  if (len) *len = buf ? static_cast<int>(n) : 0;
  return buf;
}

int Sqlca_Para_Unpack(TSQLCA* sqlca, const void* data, int len) {
  if (!data || len < 1) return 0;
  return sqlca->Data()->Unpack_Data(static_cast<const uint8_t*>(data), len);
}

int Sqlca_Para_Xml(const void* data, int len, const char* elem, std::string* out) {
  if (!data || len < 1 || !out) return 0;
  DBDataMgr d;
  if (!d.Unpack_Data(static_cast<const uint8_t*>(data), len)) return 0;
  return d.Write_Xml(out, elem);
}

int Sqlca_Set_Para_Hooks() {
  TPara_Dbio_Hooks h;
  h.pack = Sqlca_Para_Pack;
  h.unpack = Sqlca_Para_Unpack;
  h.xml = Sqlca_Para_Xml;
  Para_Set_Dbio_Hooks(h);
  return 1;
}
