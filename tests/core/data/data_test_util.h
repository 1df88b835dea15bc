// Helpers shared by the data-layer tests: kept log lines, packed bytes, text shorthands.
#pragma once
#include <cstdlib>
#include <string>
#include <vector>

#include "core/data/dbdata.h"
#include "core/data/para.h"
#include "core/text/code_page.h"
#include "frame/log_mgr.h"

typedef std::vector<unsigned char> Bytes;

// Keeps the log lines written while it lives; a quiet one also keeps them off the console.
class Kept_Log {
 public:
  explicit Kept_Log(bool quiet = false) : quiet_(quiet) {
    if (quiet_) Log_Mgr()->Set_File("/dev/null");
    Log_Mgr()->Set_Keep(0), Log_Mgr()->Set_Keep(50);
  }
  ~Kept_Log() {
    if (quiet_) Log_Mgr()->Set_File("");
    Log_Mgr()->Set_Keep(0);
  }
  std::string Text() const { return Log_Mgr()->Last_Lines(); }
  bool Has(const std::string& line) const { return Text().find(line) != std::string::npos; }

 private:
  bool quiet_;
};

inline Bytes Take_Bytes(void* p, size_t len) {
  Bytes b;
  if (p) b.assign(static_cast<unsigned char*>(p), static_cast<unsigned char*>(p) + len);
  std::free(p);
  return b;
}
inline Bytes Pack(DBDataMgr* d) {
  unsigned len = 0;
  uint8_t* p = d->Pack_Data(&len);
  return Take_Bytes(p, len);
}
inline Bytes Pack(TParaMgr* m, int zip = 0, int threshold = 30000) {
  int len = 0;
  void* p = m->Pack_Para(&len, zip, threshold);
  return Take_Bytes(p, static_cast<size_t>(len));
}

inline std::u16string S(const wchar16* s) { return s ? std::u16string(s) : u"<null>"; }

inline std::string Gbk(const char16_t* w) {
  char b[256];
  int n = Zem_W_To_MB(ZEM_CP_GBK, w, -1, b, sizeof b);
  return std::string(b, n > 0 ? static_cast<size_t>(n - 1) : 0);
}
