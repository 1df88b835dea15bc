// Dictionary cache files on disk: how they are read and written, and the integrity record that lies
// beside each one.
//
// A cache file ("<id>.dt", "<id>.dz", "<id>.ext.dt", "<id>.ext.dz") keeps its own format (a packed
// data set; dict/dict_zip.h). Beside it lies its integrity record "<cache file>.sum", written after
// the cache file and renamed into place the same way, so a record always describes a whole file. A
// cache file is used only when its record is present and matches it: the record missing, of another
// size or magic, or naming another length or checksum, and anything but a regular file in the cache
// file's place (a FIFO, a directory, a device), make a damaged cache. That is logged ("damaged cache
// file %s: <why>"), and the caller loads from the database (or the server) and writes a fresh cache.
//
// Integrity record, 24 bytes, integers big-endian:
//
//   OFFSET  SIZE  CONTENT
//   0       8     magic "ZEMDSUM1"
//   8       8     the cache file's length in bytes
//   16      4     CRC-32 (zlib crc32) of the cache file's bytes
//   20      4     CRC-32 of bytes 0 to 19 of this record
//
// CRC-32 finds every change of up to 32 bits in a row, so every single flipped bit of a cache file or
// of its record is found.
//
// Writing: the bytes go to a temporary file unique to the writer (mkstemp, "<file>.XXXXXX", in the same
// folder), are flushed to disk (fsync) and renamed over the file, so two processes writing the same
// cache never rename each other's half-written file into place. Temporary files that a killed writer
// left are removed by a later write of the same cache once they are an hour old. Reading never waits:
// files are opened without blocking and anything but a regular file is refused.
//
// Messages end their line; when the system gives a reason (no space, permission denied) it follows on
// a line of its own: "reason: <text>".
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

constexpr size_t DICT_SUM_SIZE = 24;

// The integrity record of the bytes.
std::string Dict_Sum_Record(const uint8_t* data, size_t len);
// Null when record is the integrity record of the bytes; else why not, for the log.
const char* Dict_Sum_Mismatch(const std::string& record, const uint8_t* data, size_t len);
// The record's path beside a cache file: path + ".sum".
std::string Dict_Sum_Path(const std::string& path);

// Reads a whole regular file. 1 with the bytes; 0 after logging "unable to open file %s\n" (a
// missing file, a FIFO, a directory; the reason on its own line) or "unable to malloc mem %d bytes\n".
int Dict_Read_Raw(const std::string& path, std::unique_ptr<uint8_t[]>* buf, size_t* len);
int Dict_Read_File(const std::string& path, std::string* out);

// Writes the bytes to path through a unique temporary file, flushed and renamed. 1, or 0 after
// logging failure_line (default "unable to create dmp file %s\n" with the path) and the reason.
int Dict_Write_File(const std::string& path, const void* data, size_t len, const char* failure_line = nullptr);

// Makes the cache folder (and its parents) when missing. 1, or 0 after logging
// "Unable to create directory %s\n" and the reason.
int Dict_Make_Cache_Dir(const std::string& dir);

// A cache file and then its record. 1, or 0 (logged).
int Dict_Write_Cache_File(const std::string& path, const void* data, size_t len);
// A cache file checked against its record, which is read first: a file of another length than the
// record names is refused unread. 1 with the bytes; 0 quietly when there is no cache file (nothing
// cached yet), or after logging when it is unreadable or damaged.
int Dict_Read_Cache_File(const std::string& path, std::unique_ptr<uint8_t[]>* buf, size_t* len);
// Deletes a cache file and its record; 1 when the cache file existed.
int Dict_Remove_Cache_File(const std::string& path);
