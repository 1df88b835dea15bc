// The user's sentence for a failed database call.
#include "core/data/db_errors.h"

#include <cstdlib>
#include <cstring>

#include "core/data/db_connect.h"

namespace {

std::u16string W(const std::string& utf8) { return Zem_Utf8_To_W(utf8); }

bool Has(const std::u16string& m, const char16_t* s) { return m.find(s) != std::u16string::npos; }

// The SQLSTATE a PostgreSQL message starts with ("23505: duplicate key ..."), "" for other messages.
std::string State_Of(const std::u16string& m) {
  if (m.size() < 7 || m[5] != u':' || m[6] != u' ') return std::string();
  std::string st;
  for (int i = 0; i < 5; i++) {
    const char16_t c = m[static_cast<size_t>(i)];
    if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z'))) return std::string();
    st.push_back(static_cast<char>(c));
  }
  return st;
}

// The seconds after "within " or "longer than " in a timeout message ("" when absent).
std::string Seconds_In(const std::u16string& m) {
  for (const char16_t* key : {u"within ", u"longer than ", u"bound of "}) {
    size_t p = m.find(key);
    if (p == std::u16string::npos) continue;
    p += std::char_traits<char16_t>::length(key);
    std::string n;
    while (p < m.size() && ((m[p] >= u'0' && m[p] <= u'9') || m[p] == u'.')) n.push_back(static_cast<char>(m[p++]));
    if (!n.empty()) return n;
  }
  return std::string();
}

std::u16string By_State(const std::string& st) {
  const std::string cls = st.substr(0, 2);
  if (st == "23505") return u"已有相同编号的记录，这次修改没有保存";
  if (st == "23503") return u"引用的编码不存在，或这条记录仍被其他数据引用，这次修改没有保存";
  if (st == "23502") return u"缺少必须填写的内容，这次修改没有保存";
  if (st == "23514") return u"内容不符合数据库的检查条件，这次修改没有保存";
  if (cls == "23") return u"内容与数据库的约束冲突，这次修改没有保存";
  if (st == "22001") return u"输入的内容太长，这次修改没有保存";
  if (st == "22003") return u"数值超出允许的范围，这次修改没有保存";
  if (st == "22007" || st == "22008") return u"日期或时间的格式不对，这次修改没有保存";
  if (cls == "22") return u"输入的数据格式不对，这次修改没有保存";
  if (st == "40001" || st == "40P01") return u"与其他用户同时修改了相同的数据，这次修改没有保存，请再试一次";
  if (st == "55P03") return u"数据被其他用户锁定，请稍后再试";
  if (st == "57P01" || st == "57P02" || st == "57P03") return u"数据库服务器正在关闭或重新启动，请稍后再试";
  if (cls == "53") return u"数据库服务器的资源不足，请稍后再试或告知管理员";
  if (cls == "28") return u"数据库拒绝了登录，请检查用户名和密码";
  if (st == "3D000") return u"要连接的数据库不存在，请检查连接设置";
  if (cls == "42") return u"程序的数据库语句有误，这次操作没有完成（详见日志，请告知管理员）";
  if (cls == "08") return u"与数据库的连接中断，这次操作没有完成";
  return std::u16string();
}

std::u16string By_Sqlite_Code(int code) {
  switch (code) {
    case 2067: case 1555: return u"已有相同编号的记录，这次修改没有保存";
    case 787: return u"引用的编码不存在，或这条记录仍被其他数据引用，这次修改没有保存";
    case 1299: return u"缺少必须填写的内容，这次修改没有保存";
    case 275: return u"内容不符合数据库的检查条件，这次修改没有保存";
    default: break;
  }
  switch (code & 0xFF) {
    case 19: return u"内容与数据库的约束冲突，这次修改没有保存";
    case 5: case 6: return u"数据库文件被其他程序锁定，这次操作没有完成，请稍后再试";
    case 8: return u"数据库文件是只读的，这次修改没有保存";
    case 10: return u"读写数据库文件时出错，这次操作没有完成（详见日志）";
    case 11: case 26: return u"数据库文件已损坏，请告知管理员";
    case 13: return u"磁盘已满，这次修改没有保存";
    case 14: return u"无法打开数据库文件，请检查连接设置";
    default: return std::u16string();
  }
}

}  // namespace

std::u16string Db_User_Message(int code, const wchar16* msg_in, int end, int retry_in_ms) {
  if (code == 0) return std::u16string();
  const std::u16string m = msg_in ? msg_in : u"";
  // What became of the work decides the end of the sentence, whatever stopped the call: earlier
  // uncommitted work gone with a transaction, a commit whose outcome nobody knows, or nothing left.
  const bool tx_gone = code == DB_LOST_TRANSACTION || Has(m, u"the open transaction was rolled back") ||
                       Has(m, u"rolled the transaction back");
  const bool unknown = Has(m, u"whether the server committed is unknown");
  const bool cancelled = end == DB_END_CANCELLED || Has(m, u"cancelled by the user");
  const bool timeout = !cancelled && (end == DB_END_TIMEOUT || Has(m, u"statement timeout") ||
                                      Has(m, u"no answer from the server within"));
  if (cancelled || timeout) {
    const std::string s = Seconds_In(m);
    const std::u16string head = cancelled ? std::u16string(u"已取消：数据库操作已中止")
                                          : W("数据库在" + (s.empty() ? std::string("限定时间") : " " + s + " 秒") +
                                              "内没有完成这次操作，已取消");
    if (unknown) return head + u"；提交的结果无法确定，请刷新后核对";
    if (tx_gone) return head + u"；之前尚未提交的修改也已丢失，这次没有保存任何内容，请再保存一次";
    return head + (cancelled ? u"，没有留下任何修改" : u"；这次操作没有留下任何修改");
  }
  if (tx_gone) {
    if (Has(m, u"connection")) return u"与数据库的连接中断，之前尚未提交的修改已丢失，这次没有保存任何内容；请再保存一次";
    return u"数据库撤销了之前尚未提交的修改，这次没有保存任何内容；请再保存一次";
  }
  if (unknown) return u"提交时与数据库的连接中断，无法确定是否已经保存；请刷新后核对";
  if (code == DB_SESSION_BUSY) return u"数据库正忙：上一个操作还在等待数据库，请稍后再试";
  if (code == 999 && Has(m, u"cant get db connection")) return u"没有空闲的数据库会话，请稍后再试";
  const bool link = code == 999 || Has(m, u"连接失败") || Has(m, u"could not be reached");
  if (link || (code == DB_LOST_CONNECTION && !Has(m, u"ConnectionWrite"))) {
    if (retry_in_ms > 0) return W("数据库连接中断，" + std::to_string((retry_in_ms + 999) / 1000) + " 秒后重试");
    return u"无法连接数据库服务器，这次操作没有完成";
  }
  if (code == DB_LOST_CONNECTION || Has(m, u"ConnectionWrite")) {
    return u"与数据库的连接中断，这次操作没有完成；请再试一次";
  }
  const std::string st = State_Of(m);
  std::u16string out = st.empty() ? By_Sqlite_Code(code) : By_State(st);
  if (!out.empty()) return out;
  return W("数据库操作失败（错误代码 " + std::to_string(code) + "，详见日志）");
}
