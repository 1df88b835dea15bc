// The token file and the constant-time check of a presented token.
#include "apps/app_server/token_file.h"

#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <fstream>
#include <sstream>

namespace {

std::array<unsigned char, 32> Digest(const std::string& s) {
  std::array<unsigned char, 32> d{};
  SHA256(reinterpret_cast<const unsigned char*>(s.data()), s.size(), d.data());
  return d;
}

}  // namespace

int Token_File::Load(const std::string& path, std::string* error) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    *error = "cannot read the token file " + path;
    return 0;
  }
  std::ostringstream s;
  s << f.rdbuf();
  return Parse(s.str(), path, error);
}

int Token_File::Parse(const std::string& text, const std::string& where, std::string* error) {
  std::vector<Entry> read;
  std::istringstream in(text);
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string one; words >> one;) w.push_back(one);
    if (w.empty() || w[0][0] == '#') continue;
    const std::string at = where + ": line " + std::to_string(n) + ": ";
    if (w.size() > 2) {
      *error = at + "one token, or a label and a token, per line";
      return 0;
    }
    const std::string& token = w.back();
    if (token.size() < MIN_LENGTH) {
      *error = at + "a token has at least " + std::to_string(MIN_LENGTH) + " characters";
      return 0;
    }
    read.push_back({Digest(token), w.size() == 2 ? w[0] : "token " + std::to_string(n)});
  }
  if (read.empty()) {
    *error = where + ": no token (every call would be refused)";
    return 0;
  }
  entries_.swap(read);
  return 1;
}

std::string Token_File::Check(const std::string& token) const {
  const std::array<unsigned char, 32> d = Digest(token);
  const Entry* hit = nullptr;
  for (const Entry& e : entries_) {
    // Every digest is compared whole; the branch below depends on the outcome only.
    const bool same = CRYPTO_memcmp(d.data(), e.digest.data(), d.size()) == 0;
    if (same && !hit) hit = &e;
  }
  return hit ? hit->label : std::string();
}
