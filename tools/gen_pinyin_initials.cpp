// Generates pinyin_initials.inc, the table of the pinyin initials of the CJK ideographs that the host
// module's code search matches ("cgb" finds 采购部), from the Unicode Character Database that Debian
// ships in the package unicode-data (/usr/share/unicode). The build runs it; nothing generated is
// committed.
//
//   gen_pinyin_initials UNICODE_DIR OUT_FILE
//
// Sources, in order of preference for each ideograph:
//   1. the readings of Unihan_Readings.txt(.bz2): kMandarin, kXHC1983 and kTGHZ2013 (modern usage; all
//      readings of a polyphone count, so 行 answers to both x and h);
//   2. when none of those exists, kHanyuPinyin;
//   3. when the ideograph has no reading at all, the readings of its canonical decomposition
//      (UnicodeData.txt: the compatibility ideographs F900..FAD9) or of a variant (Unihan_Variants:
//      simplified, traditional, Z- and semantic variants).
// The initial of a reading is its first letter with the tone mark taken off (ǎ -> a, ń -> n, ḿ -> m).
//
// What it writes (bit i of a set is the letter 'a' + i):
//   kPinyin_First/kPinyin_Last  the code ranges covered: 3400..4DBF, 4E00..9FFF, F900..FAFF
//   kPinyin_Sets[]              the distinct initial sets, index 0 the empty set
//   kPinyin_Index[]             per code of the ranges, in order, the index of its set (one byte while
//                               the sets fit, else two)
//   kPinyin_Gbk_Han, kPinyin_Gbk_Covered
//                               ideographs of code page 936 (glibc's iconv "GBK"), and how many of them
//                               have initials
// It fails when fewer than 99.8% of the ideographs of code page 936 get initials. The ones the data
// leaves without any Mandarin reading are printed: characters read as two syllables (兙 decagram) and
// compatibility ideographs of Japanese use.
#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Range {
  uint32_t first, last;
};
const Range kRanges[] = {{0x3400, 0x4DBF}, {0x4E00, 0x9FFF}, {0xF900, 0xFAFF}};

std::string Read_Text(const std::string& dir, const char* name) {
  std::string path = dir + "/" + name;
  std::string cmd;
  FILE* f = nullptr;
  if (FILE* plain = std::fopen(path.c_str(), "rb")) {
    f = plain;
  } else {
    cmd = "bzip2 -dc '" + path + ".bz2'";
    f = popen(cmd.c_str(), "r");
  }
  if (!f) {
    std::fprintf(stderr, "gen_pinyin_initials: cannot read %s(.bz2)\n", path.c_str());
    std::exit(1);
  }
  std::string text;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  const int rc = cmd.empty() ? std::fclose(f) : pclose(f);
  if (rc != 0 || text.empty()) {
    std::fprintf(stderr, "gen_pinyin_initials: %s(.bz2) is missing or unreadable (install unicode-data)\n",
                 path.c_str());
    std::exit(1);
  }
  return text;
}

uint32_t Parse_Cp(const std::string& s) {
  return static_cast<uint32_t>(std::strtoul(s.c_str() + 2, nullptr, 16));
}

// The letter a UTF-8 reading starts with, tone mark taken off; 0 when it is not a pinyin syllable.
int Initial(const std::string& r) {
  if (r.empty()) return 0;
  const unsigned char c = static_cast<unsigned char>(r[0]);
  if (c >= 'a' && c <= 'z') return c;
  if (c >= 'A' && c <= 'Z') return c + 32;
  // Accented first letters: the vowels a, e, o with a tone mark (and ê), and syllabic n and m.
  static const struct {
    const char* utf8;
    char letter;
  } kAccented[] = {{"ā", 'a'}, {"á", 'a'}, {"ǎ", 'a'}, {"à", 'a'}, {"ē", 'e'}, {"é", 'e'},
                   {"ě", 'e'}, {"è", 'e'}, {"ê", 'e'}, {"ō", 'o'}, {"ó", 'o'}, {"ǒ", 'o'},
                   {"ò", 'o'}, {"ń", 'n'}, {"ň", 'n'}, {"ǹ", 'n'}, {"ḿ", 'm'}};
  for (const auto& a : kAccented)
    if (r.compare(0, std::strlen(a.utf8), a.utf8) == 0) return a.letter;
  return 0;
}

// The readings of one Unihan value: "hǎo hào", "10019.020:tiàn", "0680.010:huì,kuài 0681.020:kuì".
uint32_t Value_Set(const std::string& value) {
  uint32_t set = 0;
  std::istringstream words(value);
  std::string w;
  while (words >> w) {
    const size_t colon = w.find(':');
    std::string readings = colon == std::string::npos ? w : w.substr(colon + 1);
    size_t start = 0;
    while (start <= readings.size()) {
      size_t end = readings.find(',', start);
      if (end == std::string::npos) end = readings.size();
      if (int l = Initial(readings.substr(start, end - start))) set |= 1u << (l - 'a');
      start = end + 1;
    }
  }
  return set;
}

// Every line "U+XXXX<TAB>field<TAB>value" of a Unihan file, handed to fn.
template <class Fn>
void For_Lines(const std::string& text, Fn fn) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t t1 = line.find('\t');
    const size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
    if (t2 == std::string::npos) continue;
    fn(Parse_Cp(line.substr(0, t1)), line.substr(t1 + 1, t2 - t1 - 1), line.substr(t2 + 1));
  }
}

// The ideographs of code page 936, as glibc's iconv decodes its double-byte codes.
std::vector<uint32_t> Gbk_Ideographs() {
  std::vector<uint32_t> out;
  iconv_t cd = iconv_open("UTF-32LE", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    std::fprintf(stderr, "gen_pinyin_initials: iconv has no GBK converter\n");
    std::exit(1);
  }
  for (int lead = 0x81; lead <= 0xFE; ++lead)
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      uint32_t cp = 0;
      char* ip = in;
      char* op = reinterpret_cast<char*>(&cp);
      size_t il = 2, ol = 4;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) || il != 0 || ol != 0) continue;
      for (const Range& r : kRanges)
        if (cp >= r.first && cp <= r.last) out.push_back(cp);
    }
  iconv_close(cd);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: gen_pinyin_initials UNICODE_DIR OUT_FILE\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::map<uint32_t, uint32_t> modern, hanyu;
  For_Lines(Read_Text(dir, "Unihan_Readings.txt"),
            [&](uint32_t cp, const std::string& field, const std::string& v) {
              if (field == "kMandarin" || field == "kXHC1983" || field == "kTGHZ2013")
                modern[cp] |= Value_Set(v);
              if (field == "kHanyuPinyin") hanyu[cp] |= Value_Set(v);
            });
  std::map<uint32_t, std::vector<uint32_t>> alternates;  // decomposition first, then variants
  {
    std::istringstream in(Read_Text(dir, "UnicodeData.txt"));
    std::string line;
    while (std::getline(in, line)) {
      std::vector<std::string> f;
      std::stringstream ss(line);
      std::string item;
      while (std::getline(ss, item, ';')) f.push_back(item);
      if (f.size() > 5 && !f[5].empty() && f[5][0] != '<' && f[5].find(' ') == std::string::npos)
        alternates[static_cast<uint32_t>(std::strtoul(f[0].c_str(), nullptr, 16))].push_back(
            static_cast<uint32_t>(std::strtoul(f[5].c_str(), nullptr, 16)));
    }
  }
  For_Lines(Read_Text(dir, "Unihan_Variants.txt"),
            [&](uint32_t cp, const std::string& field, const std::string& v) {
              if (field != "kSimplifiedVariant" && field != "kTraditionalVariant" && field != "kZVariant" &&
                  field != "kSemanticVariant")
                return;
              std::istringstream words(v);
              std::string w;
              while (words >> w)
                if (w.compare(0, 2, "U+") == 0) alternates[cp].push_back(Parse_Cp(w.substr(0, w.find('<'))));
            });

  auto own = [&](uint32_t cp) -> uint32_t {
    auto m = modern.find(cp);
    if (m != modern.end() && m->second) return m->second;
    auto h = hanyu.find(cp);
    return h != hanyu.end() ? h->second : 0;
  };
  auto initials = [&](uint32_t cp) -> uint32_t {
    if (uint32_t s = own(cp)) return s;
    auto a = alternates.find(cp);
    if (a == alternates.end()) return 0;
    for (uint32_t alt : a->second)
      if (uint32_t s = own(alt)) return s;
    return 0;
  };

  std::vector<uint32_t> sets{0};
  std::map<uint32_t, uint16_t> set_index{{0, 0}};
  std::vector<uint16_t> index;
  for (const Range& r : kRanges)
    for (uint32_t cp = r.first; cp <= r.last; ++cp) {
      const uint32_t s = initials(cp);
      auto it = set_index.find(s);
      if (it == set_index.end()) {
        it = set_index.emplace(s, static_cast<uint16_t>(sets.size())).first;
        sets.push_back(s);
      }
      index.push_back(it->second);
    }

  const std::vector<uint32_t> gbk = Gbk_Ideographs();
  int covered = 0;
  std::string missing;
  for (uint32_t cp : gbk) {
    if (initials(cp)) {
      ++covered;
    } else {
      char buf[16];
      std::snprintf(buf, sizeof buf, " U+%04X", cp);
      missing += buf;
    }
  }
  std::fprintf(stderr,
               "gen_pinyin_initials: %d of %zu ideographs of code page 936 have initials; without a "
               "reading in the data:%s\n",
               covered, gbk.size(), missing.c_str());
  if (gbk.empty() || covered * 1000 < static_cast<int>(gbk.size()) * 998) {
    std::fprintf(stderr, "gen_pinyin_initials: too few initials, the data is not what was expected\n");
    return 1;
  }

  FILE* out = std::fopen(argv[2], "w");
  if (!out) {
    std::fprintf(stderr, "gen_pinyin_initials: cannot write %s\n", argv[2]);
    return 1;
  }
  std::fprintf(out, "// Generated by tools/gen_pinyin_initials.cpp from %s: do not edit.\n", dir.c_str());
  std::fprintf(out, "static const uint32_t kPinyin_First[] = {");
  for (const Range& r : kRanges) std::fprintf(out, "0x%X, ", r.first);
  std::fprintf(out, "};\nstatic const uint32_t kPinyin_Last[] = {");
  for (const Range& r : kRanges) std::fprintf(out, "0x%X, ", r.last);
  std::fprintf(out,
               "};\nstatic const int kPinyin_Gbk_Han = %zu;\nstatic const int kPinyin_Gbk_Covered = %d;\n",
               gbk.size(), covered);
  std::fprintf(out, "static const uint32_t kPinyin_Sets[%zu] = {", sets.size());
  for (size_t i = 0; i < sets.size(); ++i) std::fprintf(out, "%s0x%X,", i % 12 ? " " : "\n  ", sets[i]);
  // One byte a code while the distinct sets fit in it (about 150 do).
  std::fprintf(out, "\n};\nstatic const %s kPinyin_Index[%zu] = {",
               sets.size() <= 256 ? "uint8_t" : "uint16_t", index.size());
  for (size_t i = 0; i < index.size(); ++i) std::fprintf(out, "%s%u,", i % 24 ? "" : "\n", index[i]);
  std::fprintf(out, "\n};\n");
  return std::fclose(out) == 0 ? 0 : 1;
}
