// The server's token file: the tokens that clients' calls must carry ("app_server_token").
//
// One token per line, optionally after a label naming its holder, which the log shows instead of
// the token: "label token" or "token". Blank lines and lines starting with '#' are skipped. A token
// is at least 16 characters without blanks. Only each token's SHA-256 is kept, and a presented token
// is compared with every one of them in constant time (its digest against all digests, no early
// exit), so neither the time of a refusal nor the memory of the server tells anything of a token.
#pragma once
#include <array>
#include <string>
#include <vector>

class Token_File {
 public:
  enum { MIN_LENGTH = 16 };

  // Reads the file, replacing what was held only when the whole file reads. 1, or 0 with *error
  // ("FILE: line N: ...", or why the file cannot be read).
  int Load(const std::string& path, std::string* error);
  // Reads tokens from text (the file's content); as Load.
  int Parse(const std::string& text, const std::string& where, std::string* error);

  // The label of the token (its line's label, else "token <line>"); empty when the token is not held.
  std::string Check(const std::string& token) const;
  int Count() const { return static_cast<int>(entries_.size()); }

 private:
  struct Entry {
    std::array<unsigned char, 32> digest;
    std::string label;
  };
  std::vector<Entry> entries_;
};
