// Named-function tables: functions of the form int f(TParaMgr*) defined under a text name and run
// by name with a parameter pack. The middleware's process tables "Mid_Process" and "Link_Process"
// are two such tables shared by every module of the process.
#pragma once
#include <mutex>

#include "core/text/ot_array.h"

class TParaMgr;

typedef int (*Name_Call_Fn)(TParaMgr* para);

struct TName_Call_Entry {
  char* name;         // owned copy, without the trailing '*' of a prefix entry
  char* mean;         // description, owned copy or null
  char* text2;        // second text, owned copy or null
  Name_Call_Fn func;  // the function
  int kind;           // 1 for the framework's own definitions
  int type;           // 3 when defined with 0
  int prefix;         // 1: the entry serves every name that begins with its name
};

class TName_Call {
 public:
  TName_Call() = default;
  ~TName_Call();
  TName_Call(const TName_Call&) = delete;
  TName_Call& operator=(const TName_Call&) = delete;

  // Adds an entry; a name ending in '*' defines a prefix entry. A name already defined keeps its
  // entry (1, nothing changes). 0 for a null name or function, or a failed allocation.
  int DefineFunction(const char* name, int kind, Name_Call_Fn func, const char* mean = nullptr, int type = 0,
                     const char* text2 = nullptr);
  // An exact entry of this name, else the last prefix entry that begins it, else null.
  Name_Call_Fn Find(const char* name);
  const TName_Call_Entry* Find_Entry(const char* name);
  // Runs the function found for name with para and returns its result, logging the call. When no
  // function is found: the thread error becomes -1 with a text saying so, "cant get function %s\n"
  // goes to the log, para receives "_r_ec_" and "_r_em_" from the thread error, and the result is 1.
  int N_Call(const char* name, TParaMgr* para);
  int Count();

 private:
  const TName_Call_Entry* Find_Locked(const char* name) const;
  std::mutex lock_;
  OT_Array<TName_Call_Entry*> entries_;  // owned, in definition order
};

// Writes the calling thread's error into para: "_r_ec_" = code and "_r_em_" = text, or only
// "_r_ec_" = 0 when the thread has no error. 1, or 0 for a null pack.
int Put_Thr_Err_Para(TParaMgr* para);

// The process tables, found or created under "Mid_Process" and "Link_Process".
TName_Call* Mid_Process();
TName_Call* Link_Process();
// Whether this module knows "Mid_Process" yet (found or created by any caller), without looking it up.
bool Mid_Process_Known();
