// Temporary key sets: a code list too long for a literal "in (...)" condition is stored on the
// application server as a numbered set (table app_tmp_key_set, columns set_id and key_id), and the
// condition becomes a short sub-select over that table.
//
// The call goes through the remote-call entry of the middleware link (link/r_call.h). The link sits
// above this layer, so the entry is reached through the shared registry: Link_Register() puts it
// there under kR_Call_Entry, and Zem_R_Call finds it.
#pragma once
#include <string>

class TSQLCA;
class TParaMgr;

// The remote-call entry: runs the call name with the pack (arguments in, results out) and returns 0
// on success; errors are the calling thread's error and "_r_ec_"/"_r_em_" in the pack.
typedef int (*R_Call_Fn)(const char* name, TParaMgr* para, int wait);
inline constexpr char kR_Call_Entry[] = "R_Call_Entry";

// Calls through the registered entry. Without one: thread error -1 ("remote call entry is not
// registered"), the same in the pack, result -1.
int Zem_R_Call(const char* name, TParaMgr* para, int wait = 1);

// Stores the distinct non-empty values of the field of every row of data (first-seen order) as a key
// set through the call "tfa_key_set_create" ("key_dbio" in, "set_id" out). The set id, or 0 when the
// call failed or answered no "set_id": the reason is then the calling thread's error and a log line.
// A set without rows sends an empty list; rows without the field give 0 without a call.
int Key_Set_Create(TSQLCA* data, int field);

// The condition texts over a set id.
// "in( select key_id from app_tmp_key_set where set_id=%d) " (one blank at the end): a multi-choice limit.
std::string Key_Set_In_Cond(int set_id);
// "select key_id from app_tmp_key_set where set_id = %d": a sub-select for the caller's own in-list.
std::string Key_Set_Sub_Select(int set_id);
