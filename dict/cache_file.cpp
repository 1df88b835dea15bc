// Cache files: non-blocking whole-file reads, unique-temporary writes, integrity records.
#include "dict/cache_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <new>
#include <system_error>
#include <vector>

#include "frame/log_mgr.h"

namespace {

const char kMagic[8] = {'Z', 'E', 'M', 'D', 'S', 'U', 'M', '1'};

void Log_Reason(int err) {
  if (err) Log_Printf("reason: %s\n", std::generic_category().message(err).c_str());
}

uint32_t Crc(const uint8_t* p, size_t n) {
  uLong c = crc32(0L, Z_NULL, 0);
  while (n > 0) {  // crc32 takes an unsigned int length
    uInt step = n > (1u << 30) ? (1u << 30) : static_cast<uInt>(n);
    c = crc32(c, p, step);
    p += step;
    n -= step;
  }
  return static_cast<uint32_t>(c);
}

void Put_Be(uint8_t* p, uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i, v >>= 8) p[i] = static_cast<uint8_t>(v);
}

uint64_t Get_Be(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
  return v;
}

bool Write_All(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

std::string Folder_Of(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash ? slash : 1);
}

// 0, or the errno of the step that failed (the temporary file is then gone).
int Write_Atomic(const std::string& path, const void* data, size_t len) {
  std::vector<char> tmp(path.begin(), path.end());
  const char suffix[] = ".XXXXXX";
  tmp.insert(tmp.end(), suffix, suffix + sizeof suffix);  // with the terminator
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) return errno;
  int err = 0;
  errno = 0;
  if (::fchmod(fd, 0644) != 0 || !Write_All(fd, static_cast<const uint8_t*>(data), len) || ::fsync(fd) != 0)
    err = errno ? errno : EIO;
  if (::close(fd) != 0 && !err) err = errno;
  if (!err && ::rename(tmp.data(), path.c_str()) != 0) err = errno;
  if (err) ::unlink(tmp.data());
  return err;
}

// Removes the temporary files of a cache file and of its record ("<file>.XXXXXX",
// "<file>.sum.XXXXXX") that writers killed before their rename left behind an hour ago or more: no
// writer takes that long, and each would otherwise keep a whole cache's size on the disk for ever.
void Remove_Orphans(const std::string& path) {
  const std::string folder = Folder_Of(path);
  const std::string base = path.substr(path.rfind('/') + 1) + ".";
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  const time_t old = ::time(nullptr) - 3600;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    const size_t n = name.size();
    if (name.compare(0, base.size(), base) != 0) continue;
    const bool sum_tmp = n == base.size() + 10 && name.compare(base.size(), 4, "sum.") == 0;
    if (n != base.size() + 6 && !sum_tmp) continue;
    struct stat st;
    if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        st.st_mtime < old)
      ::unlinkat(::dirfd(dir), e->d_name, 0);
  }
  ::closedir(dir);
}

// Opens a regular file for reading without blocking (a FIFO in the file's place would otherwise wait
// for a writer for ever). The descriptor and *size, or -1 after logging "unable to open file %s\n" and
// the reason.
int Open_Regular(const std::string& path, size_t* size) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat st;
  int err = fd < 0 ? errno : (::fstat(fd, &st) != 0 ? errno : 0);
  if (!err && !S_ISREG(st.st_mode)) err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  if (err) {
    if (fd >= 0) ::close(fd);
    Log_Printf("unable to open file %s\n", path.c_str());
    if (err == EINVAL) {
      Log_Printf("reason: not a regular file\n");
    } else {
      Log_Reason(err);
    }
    return -1;
  }
  *size = static_cast<size_t>(st.st_size);
  return fd;
}

// Reads the size bytes of an open file and closes it. 1 with the bytes, or 0 after logging.
int Read_All(int fd, const std::string& path, size_t size, std::unique_ptr<uint8_t[]>* out) {
  // Left unfilled before the read: a cache file is megabytes, and zeroing them first costs time.
  std::unique_ptr<uint8_t[]> buf(new (std::nothrow) uint8_t[size ? size : 1]);
  if (!buf) {
    ::close(fd);
    Log_Printf("unable to malloc mem %d bytes\n", size > INT_MAX ? INT_MAX : static_cast<int>(size));
    return 0;
  }
  size_t got = 0;
  int err = 0;
  while (got < size) {
    ssize_t n = ::read(fd, buf.get() + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      err = n < 0 ? errno : 0;
      break;
    }
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  if (got != size) {
    Log_Printf("unable to open file %s\n", path.c_str());
    if (err) {
      Log_Reason(err);
    } else {
      Log_Printf("reason: the file got shorter while it was read\n");
    }
    return 0;
  }
  *out = std::move(buf);
  return 1;
}

// Checks a record by itself (size, magic, its own checksum): null with the cache file's length and
// checksum it names, else why not.
const char* Record_Mismatch(const std::string& record, uint64_t* len, uint32_t* crc) {
  if (record.size() != DICT_SUM_SIZE) return "the integrity record is not 24 bytes";
  const uint8_t* r = reinterpret_cast<const uint8_t*>(record.data());
  if (std::memcmp(r, kMagic, 8) != 0) return "the integrity record has no magic";
  if (Get_Be(r + 20, 4) != Crc(r, 20)) return "the integrity record is damaged";
  *len = Get_Be(r + 8, 8);
  *crc = static_cast<uint32_t>(Get_Be(r + 16, 4));
  return nullptr;
}

}  // namespace

std::string Dict_Sum_Path(const std::string& path) { return path + ".sum"; }

std::string Dict_Sum_Record(const uint8_t* data, size_t len) {
  uint8_t r[DICT_SUM_SIZE];
  std::memcpy(r, kMagic, 8);
  Put_Be(r + 8, len, 8);
  Put_Be(r + 16, Crc(data, len), 4);
  Put_Be(r + 20, Crc(r, 20), 4);
  return std::string(reinterpret_cast<const char*>(r), sizeof r);
}

const char* Dict_Sum_Mismatch(const std::string& record, const uint8_t* data, size_t len) {
  uint64_t want = 0;
  uint32_t crc = 0;
  if (const char* why = Record_Mismatch(record, &want, &crc)) return why;
  if (want != len) return "its length differs from the integrity record";
  if (crc != Crc(data, len)) return "its checksum differs from the integrity record";
  return nullptr;
}

int Dict_Read_Raw(const std::string& path, std::unique_ptr<uint8_t[]>* out, size_t* len) {
  size_t size = 0;
  int fd = Open_Regular(path, &size);
  if (fd < 0 || !Read_All(fd, path, size, out)) return 0;
  *len = size;
  return 1;
}

int Dict_Read_File(const std::string& path, std::string* out) {
  std::unique_ptr<uint8_t[]> buf;
  size_t len = 0;
  if (!Dict_Read_Raw(path, &buf, &len)) return 0;
  out->assign(reinterpret_cast<const char*>(buf.get()), len);
  return 1;
}

int Dict_Write_File(const std::string& path, const void* data, size_t len, const char* failure_line) {
  int err = Write_Atomic(path, data, len);
  if (!err) return 1;
  if (failure_line) {
    Log_Printf("%s", failure_line);
  } else {
    Log_Printf("unable to create dmp file %s\n", path.c_str());
  }
  Log_Reason(err);
  return 0;
}

int Dict_Make_Cache_Dir(const std::string& dir) {
  std::error_code ec, probe;
  std::filesystem::create_directories(dir, ec);
  if (std::filesystem::is_directory(dir, probe)) return 1;
  Log_Printf("Unable to create directory %s\n", dir.c_str());
  Log_Printf("reason: %s\n", ec ? ec.message().c_str() : "a file that is not a directory holds its name");
  return 0;
}

int Dict_Write_Cache_File(const std::string& path, const void* data, size_t len) {
  if (!Dict_Write_File(path, data, len)) return 0;
  std::string sum = Dict_Sum_Record(static_cast<const uint8_t*>(data), len);
  if (!Dict_Write_File(Dict_Sum_Path(path), sum.data(), sum.size())) return 0;
  Remove_Orphans(path);
  // The record is what makes the new file count: its name in the folder goes to disk too.
  int dir = ::open(Folder_Of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return 1;
}

int Dict_Read_Cache_File(const std::string& path, std::unique_ptr<uint8_t[]>* buf, size_t* len) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT) return 0;  // nothing cached yet
  // The record first: a file of another length than it names is refused before a byte of it is read
  // (a damaged cache file may be gigabytes long, or a hole of them).
  const std::string sum_path = Dict_Sum_Path(path);
  std::unique_ptr<uint8_t[]> bytes;
  size_t n = 0;
  uint64_t want = 0;
  uint32_t crc = 0;
  const char* why = nullptr;
  int fd = -1;
  if (::lstat(sum_path.c_str(), &st) != 0 && errno == ENOENT) {
    why = "no integrity record";
  } else if ((fd = Open_Regular(sum_path, &n)) < 0) {
    why = "its integrity record cannot be read";
  } else if (n != DICT_SUM_SIZE) {
    ::close(fd);
    why = "the integrity record is not 24 bytes";
  } else if (!Read_All(fd, sum_path, n, &bytes)) {
    why = "its integrity record cannot be read";
  } else if (!(why = Record_Mismatch(std::string(reinterpret_cast<char*>(bytes.get()), n), &want, &crc))) {
    if ((fd = Open_Regular(path, &n)) < 0) {
      why = "it cannot be read";
    } else if (n != want) {
      ::close(fd);
      why = "its length differs from the integrity record";
    } else if (!Read_All(fd, path, n, &bytes)) {
      why = "it cannot be read";
    } else if (Crc(bytes.get(), n) != crc) {
      why = "its checksum differs from the integrity record";
    }
  }
  if (why) {
    Log_Printf("damaged cache file %s: %s\n", path.c_str(), why);
    return 0;
  }
  *buf = std::move(bytes);
  *len = n;
  return 1;
}

int Dict_Remove_Cache_File(const std::string& path) {
  int had = ::unlink(path.c_str()) == 0;
  ::unlink(Dict_Sum_Path(path).c_str());
  return had;
}
