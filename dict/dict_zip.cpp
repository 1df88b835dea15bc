// Block-compressed files: one zlib stream per 4,000,000-byte chunk behind a 20-byte text header.
#include "dict/dict_zip.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "frame/log_mgr.h"

namespace {

// The compressed length of the header at p (ZIP_BLOCK_HEADER bytes available), or -1.
long long Header_Length(const uint8_t* p) {
  if (std::memcmp(p, "zipblock ", 9) != 0 || p[19] != ' ') return -1;
  long long n = 0;
  bool digits = false;
  for (int i = 9; i < 19; ++i) {
    uint8_t c = p[i];
    if (c == ' ' && !digits) continue;  // right-aligned: blanks before the digits only
    if (c < '0' || c > '9') return -1;
    digits = true;
    n = n * 10 + (c - '0');
  }
  return digits && n > 0 ? n : -1;
}

}  // namespace

int Zip_Block_Encode(const uint8_t* src, size_t len, std::string* out) {
  if (!out || (!src && len)) return 0;
  std::string blocks;
  std::vector<Bytef> buf(compressBound(ZIP_BLOCK_CHUNK));
  for (size_t pos = 0; pos < len; pos += ZIP_BLOCK_CHUNK) {
    uLong chunk = static_cast<uLong>(len - pos < ZIP_BLOCK_CHUNK ? len - pos : ZIP_BLOCK_CHUNK);
    uLongf n = static_cast<uLongf>(buf.size());
    if (compress(buf.data(), &n, src + pos, chunk) != Z_OK || n > ZIP_BLOCK_CHUNK) {
      Log_Printf("encode buf fail\n");
      return 0;
    }
    char head[ZIP_BLOCK_HEADER + 1];
    std::snprintf(head, sizeof head, "zipblock %10d ", static_cast<int>(n));
    blocks.append(head, ZIP_BLOCK_HEADER);
    blocks.append(reinterpret_cast<const char*>(buf.data()), n);
  }
  out->append(blocks);
  return 1;
}

int Zip_Block_Count(const uint8_t* src, size_t len) {
  if (!src && len) return -1;
  int count = 0;
  size_t pos = 0;
  while (pos < len) {
    if (len - pos < ZIP_BLOCK_HEADER) return -1;
    long long n = Header_Length(src + pos);
    if (n < 0 || static_cast<unsigned long long>(n) > len - pos - ZIP_BLOCK_HEADER) return -1;
    pos += ZIP_BLOCK_HEADER + static_cast<size_t>(n);
    ++count;
  }
  return count;
}

int Zip_Block_Decode(const uint8_t* src, size_t len, std::string* out, size_t max_out) {
  if (!out || Zip_Block_Count(src, len) < 0) {
    Log_Printf("decode buf fail\n");
    return 0;
  }
  std::string result;
  std::vector<Bytef> buf;
  size_t pos = 0;
  while (pos < len) {
    size_t n = static_cast<size_t>(Header_Length(src + pos));
    const uint8_t* data = src + pos + ZIP_BLOCK_HEADER;
    pos += ZIP_BLOCK_HEADER + n;
    size_t room = max_out - result.size();
    if (room > ZIP_BLOCK_CHUNK) room = ZIP_BLOCK_CHUNK;
    if (buf.size() < room) buf.resize(room);
    uLongf got = static_cast<uLongf>(room);
    if (room == 0 || uncompress(buf.data(), &got, data, static_cast<uLong>(n)) != Z_OK) {
      Log_Printf("decode buf fail\n");
      return 0;
    }
    result.append(reinterpret_cast<const char*>(buf.data()), got);
  }
  out->append(result);
  return 1;
}
