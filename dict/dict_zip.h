// The block-compressed form of dictionary cache and transfer files (".dz"): the source is cut into
// chunks of 4,000,000 bytes (the last one shorter), each compressed with zlib's compress and written
// as one block. Blocks follow each other up to the end of the file.
//
//   OFFSET  SIZE  CONTENT
//   0       20    ASCII header "zipblock %10d ": "zipblock ", the compressed length n right-aligned
//                 in 10 characters, one blank
//   20      n     the compressed bytes; they expand to at most 4,000,000 bytes
//
// A reader refuses a header that does not say "zipblock ", a length that is not a positive decimal
// number or runs past the end of the input, and a block that does not expand; the whole input then
// fails and the output is left as it was.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t ZIP_BLOCK_CHUNK = 4000000;
constexpr size_t ZIP_BLOCK_HEADER = 20;

// Appends the blocks of src to *out. 1, or 0 after logging "encode buf fail\n" (out unchanged).
int Zip_Block_Encode(const uint8_t* src, size_t len, std::string* out);
// Appends the expanded bytes of a whole block sequence to *out. 1, or 0 after logging
// "decode buf fail\n" (out unchanged). The output never grows past max_out bytes (a longer result
// fails), so a lying file cannot make it allocate without bound.
int Zip_Block_Decode(const uint8_t* src, size_t len, std::string* out, size_t max_out = SIZE_MAX);
// The number of blocks of a well-formed sequence, -1 when it is not one (headers only, no expanding).
int Zip_Block_Count(const uint8_t* src, size_t len);
