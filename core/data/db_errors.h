// What a user is told when a database call failed: one whole sentence in the user's language
// (Chinese, as the package's other captions), saying what happened and what became of the work.
// The database's own code and technical text stay in the query area (Get_Sqlcode, Get_Error_Msg) and
// in the framework log; this text is for message boxes and status bars (TSQLCA::Get_User_Msg).
//
//   what failed                                   the user reads (examples)
//   no session in the pool (999)                  没有空闲的数据库会话，请稍后再试
//   no link to the server (999, "连接失败")        数据库连接中断，8 秒后重试 / 无法连接数据库服务器
//   the call's deadline (57014 timeout, SQLite 9)  数据库在 30 秒内没有完成这次操作，已取消；没有留下任何修改
//   the user's 取消                                已取消：数据库操作已中止，没有留下任何修改
//   connection lost (8006), during a commit       与数据库的连接中断，这次操作没有完成 / ... 无法确定是否已保存
//   connection lost with earlier work (8007)       与数据库的连接中断，尚未提交的修改已丢失 ...
//   earlier work rolled back by the database       数据库撤销了之前尚未提交的修改 ...
//   a timeout or 取消 that took earlier work, or    the head above, then ；之前尚未提交的修改也已丢失 ... /
//     met a commit of unknown outcome                ；提交的结果无法确定，请刷新后核对
//   refused as busy (8010)                         数据库正忙：上一个操作还在等待数据库
//   constraint, lock, data and syntax errors       by SQLSTATE class (PostgreSQL) or result code (SQLite)
//   anything else                                  数据库操作失败（错误代码 N，详见日志）
#pragma once
#include <string>

#include "core/text/map_str.h"

// The user's sentence for a failed call: code and msg as the area holds them, end the driver's tag 3
// (DB_END_*), retry_in_ms the time until the server's next try (0 when not waiting). "" for code 0.
std::u16string Db_User_Message(int code, const wchar16* msg, int end, int retry_in_ms);
