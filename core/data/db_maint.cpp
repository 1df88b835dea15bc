// Maintenance statements of a session: table copy, new column, index rebuild, and the dump of a table
// to a file and back.
//
// Dump file: exactly one packed data set (the table of core/data/dbdata.h): the field descriptors of
// the table's result and every row, table_name the dumped table. Nothing else is in the file, so a
// dump reads back with DBDataMgr::Unpack_Data, which checks every length against the file's bytes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/data/db_connect.h"
#include "core/data/dbdata.h"
#include "core/data/sqlca.h"
#include "frame/log_mgr.h"

namespace {

// The outcome goes to the caller's area, or to a scratch one.
struct Target {
  TSQLCA scratch;
  TSQLCA* q;
  Target(TDb_Connect* c, TSQLCA* out) : q(out ? out : &scratch) { q->Set_Connect(c); }
};

int Fail(TSQLCA* q, const std::string& what) {
  q->CFree();
  q->Set_Error(-1, Zem_Utf8_To_W(what).c_str());
  Log_Printf("%s\n", what.c_str());
  return -1;
}

// A run of statements on the session; the first failure ends it. Returns the last sqlcode.
int Run(TSQLCA* q, std::initializer_list<std::u16string> sqls) {
  int rc = 0;
  for (const std::u16string& sql : sqls)
    if ((rc = q->Exec(sql.c_str())) != 0) break;
  return rc;
}

// Writes all bytes to a temporary file of this writer beside path, flushes it to disk and renames it
// into place. "" or the system's reason.
std::string Write_Whole(const char* path, const void* data, size_t len) {
  std::string tmp = std::string(path) + ".XXXXXX";
  int fd = mkstemp(&tmp[0]);
  if (fd < 0) return std::strerror(errno);
  const char* p = static_cast<const char*>(data);
  std::string why;
  for (size_t left = len; left > 0 && why.empty();) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) why = std::strerror(n < 0 ? errno : ENOSPC);
    else p += n, left -= static_cast<size_t>(n);
  }
  if (why.empty() && fsync(fd) != 0) why = std::strerror(errno);
  if (close(fd) != 0 && why.empty()) why = std::strerror(errno);
  if (why.empty() && std::rename(tmp.c_str(), path) != 0) why = std::strerror(errno);
  if (!why.empty()) unlink(tmp.c_str());
  return why;
}

}  // namespace

int TDb_Connect::Is_File_Db() { return file_db_ && file_db_() == 1; }

int TDb_Connect::Copy_Table(map_wchar to, map_wchar from, map_wchar cond, TSQLCA* out) {
  Target t(this, out);
  if (Is_File_Db()) return Fail(t.q, "disk storage not support");
  return Run(t.q, {u"select * into " + std::u16string(to.c_str()) + u" from " + from.c_str() + u" " + cond.c_str()});
}

int TDb_Connect::Add_Column(map_wchar table, map_wchar column, map_wchar type, TSQLCA* out) {
  Target t(this, out);
  return Run(t.q, {u"ALTER TABLE " + std::u16string(table.c_str()) + u" ADD " + column.c_str() + u" " + type.c_str()});
}

int TDb_Connect::Rebuild_Index(map_wchar index, map_wchar table, map_wchar columns, TSQLCA* out) {
  Target t(this, out);
  const std::u16string name = index.c_str();
  return Run(t.q, {u"drop index if exists " + name,
                   u"create index " + name + u" on " + table.c_str() + u"(" + columns.c_str() + u")"});
}

int TDb_Connect::Dump_Table(map_wchar table, const char* file, TSQLCA* out) {
  Target t(this, out);
  if (!file || !*file) return Fail(t.q, "dump: no file named");
  int rc = Run(t.q, {u"select * from " + std::u16string(table.c_str())});
  if (rc) return rc;
  unsigned len = 0;
  uint8_t* buf = t.q->Data()->Pack_Data(&len);
  if (!buf) return Fail(t.q, std::string("dump: the rows cannot be packed for ") + file);
  std::string why = Write_Whole(file, buf, len);
  std::free(buf);
  if (!why.empty()) return Fail(t.q, std::string("dump: cannot write ") + file + ": " + why);
  return 0;
}

int TDb_Connect::Load_Dump(const char* file, map_wchar table, TSQLCA* out) {
  Target t(this, out);
  if (!file || !*file) return Fail(t.q, "load dump: no file named");
  // Only a regular file is read: a FIFO or a device in its place would block or never end.
  int fd = open(file, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    std::string why = fd < 0 ? std::strerror(errno) : "not a regular file";
    if (fd >= 0) close(fd);
    return Fail(t.q, std::string("load dump: cannot read ") + file + ": " + why);
  }
  std::string bytes(static_cast<size_t>(st.st_size), '\0');
  size_t got = 0;
  while (got < bytes.size()) {
    ssize_t n = read(fd, &bytes[got], bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  t.q->CFree();
  if (got != bytes.size() ||
      !t.q->Data()->Unpack_Data(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), nullptr))
    return Fail(t.q, std::string("load dump: ") + file + " is not a whole dump");
  t.q->Set_Table_Name(table);
  return t.q->Batch_Insert();
}
