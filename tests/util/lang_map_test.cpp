// The caption language map through its public interface: translation files in both encodings read
// from a temporary directory, lookups with contexts and placeholders, the caption translation with
// blanks and hot keys, and the lookup log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "core/text/code_page.h"
#include "core/text/wfunc.h"
#include "frame/pub_ptr.h"
#include "util/lang_map.h"

namespace fs = std::filesystem;

namespace {

// A fresh directory that the test works in; the previous working directory comes back at the end.
struct TempDir {
  TempDir() : old(fs::current_path()) {
    char tmpl[] = "/tmp/zem_lang_XXXXXX";
    path = mkdtemp(tmpl);
    fs::current_path(path);
  }
  ~TempDir() {
    std::error_code ec;
    fs::current_path(old);
    fs::remove_all(path, ec);
  }
  fs::path old;
  std::string path;
};

std::string Utf16_Bytes(const std::u16string& text) {
  std::string b("\xFF\xFE", 2);
  for (char16_t c : text) b += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return b;
}

std::string Gbk_Bytes(const std::u16string& text) {
  int n = Zem_W_To_MB(ZEM_CP_GBK, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
  std::string b(static_cast<size_t>(n), '\0');
  if (n > 0) Zem_W_To_MB(ZEM_CP_GBK, text.c_str(), static_cast<int>(text.size()), &b[0], n);
  return b;
}

void Write_File(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string Read_File(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::u16string S(const wchar16* s) { return s ? std::u16string(s) : u"<null>"; }

// A map made from the bytes of a UTF-16 file holding these lines, logging nowhere.
struct Map_Of {
  explicit Map_Of(const std::u16string& lines) : bytes(Utf16_Bytes(lines)), map(bytes.data(), bytes.size(), nullptr) {}
  std::string bytes;
  TLang_Map map;
};

const std::u16string kFile =
    u"# captions for the grid\r\n"
    u"grid.合计=Total\r\n"
    u"合计=Sum\r\n"
    u"查找=Search\r\n"
    u"打印=打印输出\r\n"
    u"tarvok 设置=Settings\r\n"
    u"-=dash\r\n"
    u"找(x)=never\r\n"
    u"查找Q=Find{}\r\n"
    u"导出到{1}文件=Export to file {1}\r\n"
    u"保存=Save\r\n";

// ---------------------------------------------------------------------------------------------------
// The byte parser: one table of line rules, each row fed in both encodings (or as the raw bytes given).

TEST(LangParse, LineRules) {
  // raw, when not empty: these bytes alone, instead of text in both encodings; pairs: in file order
  const struct { const char* name; std::u16string text; std::string raw;
                 std::vector<std::pair<std::u16string, std::u16string>> pairs; int log_mode; } rows[] = {
      {"empty file", u"", "", {}, 0},
      {"key and value trimmed", u"  保存 \t=\t Save  \r\n", "", {{u"保存", u"Save"}}, 0},
      {"split at the first =", u"a=b=c", "", {{u"a", u"b=c"}}, 0},
      {"one leading dot removed", u"..grid.合计=T\n.x=y", "", {{u".grid.合计", u"T"}, {u"x", u"y"}}, 0},
      {"lines without = skipped", u"保存\n\n   \n打印=P", "", {{u"打印", u"P"}}, 0},
      {"comments and #manual", u"#manual\n# x=y\n#x=y\n打印=P", "", {{u"打印", u"P"}}, 0},
      {"#log_all", u"#log_all\r\na=b", "", {{u"a", u"b"}}, 1},
      {"#log_not_define", u"  #log_not_define  \r\n", "", {}, 2},
      {"last log line wins", u"#log_all\n#log_not_define", "", {}, 2},
      {"log line with more is a comment", u"#log_all please", "", {}, 0},
      {"LF and CR LF and no final newline", u"a=1\nb=2\r\nc=3", "", {{u"a", u"1"}, {u"b", u"2"}, {u"c", u"3"}}, 0},
      {"empty value kept", u"a=", "", {{u"a", u""}}, 0},
      {"duplicates all kept", u"a=1\na=2", "", {{u"a", u"1"}, {u"a", u"2"}}, 0},
      {"odd last byte of UTF-16 is no unit", u"", Utf16_Bytes(u"a=b") + "x", {{u"a", u"b"}}, 0},
      {"a NUL ends its line's text only", u"", Utf16_Bytes(std::u16string(u"a=b\0junk=1\nc=d", 14)),
       {{u"a", u"b"}, {u"c", u"d"}}, 0},
      {"only the mark FF FE", u"", "\xFF\xFE", {}, 0},
      {"bytes that are no GBK become ?", u"", "a=\x81\n\xFF=b", {{u"a", u"?"}, {u"?", u"b"}}, 0},
  };
  for (const auto& row : rows) {
    for (int enc = 0; enc < (row.raw.empty() ? 2 : 1); ++enc) {
      SCOPED_TRACE(std::string(row.name) + (!row.raw.empty() ? "" : enc ? " (GBK)" : " (UTF-16)"));
      std::string bytes = !row.raw.empty() ? row.raw : enc ? Gbk_Bytes(row.text) : Utf16_Bytes(row.text);
      TLang_File file;
      ASSERT_EQ(1, Lang_Parse_Bytes(bytes.data(), bytes.size(), &file));
      EXPECT_EQ(row.log_mode, file.log_mode);
      std::vector<std::pair<std::u16string, std::u16string>> got;
      for (const auto& p : file.pairs) got.emplace_back(p.key, p.value);
      EXPECT_EQ(row.pairs, got);
    }
  }
  TLang_File file;
  EXPECT_EQ(std::make_tuple(Lang_Parse_Bytes(nullptr, 3, &file), Lang_Parse_Bytes(nullptr, 0, &file),
                            Lang_Parse_Bytes("a=b", 3, nullptr)),
            std::make_tuple(0, 1, 0)) << "no bytes, none at all, nowhere to put them";
}

TEST(LangMap, EntriesSortedByCollation) {
  Map_Of m(u"吧=2\n啊=1\nb=4\na=3\nab=5\nB=6\na=7");
  ASSERT_EQ(7, m.map.Count());
  for (int i = 1; i < m.map.Count(); ++i) EXPECT_LE(W_Cmp(m.map.Key(i - 1), m.map.Key(i)), 0) << i;
  // Code page order puts 啊 (B0A1) before 吧 (B0C9).
  EXPECT_EQ(S(m.map.Key(5)) + S(m.map.Key(6)), u"啊吧");
  EXPECT_TRUE(m.map.Key(7) == nullptr && m.map.Value(-1) == nullptr);
  // Each duplicate finds one of its translations.
  std::u16string dup = S(m.map.Map(u"", u"a"));
  EXPECT_TRUE(dup == u"3" || dup == u"7");
}

// ---------------------------------------------------------------------------------------------------
// The map lookup.

TEST(LangMap, LookupTable) {
  const std::u16string key300(300, u'字'), key301(301, u'字');
  Map_Of m(kFile + key300 + u"=T300\n" + key301 + u"=T301\n");
  const struct { const char* name; std::u16string context, text, expected; } rows[] = {
      {"context form first", u"grid", u"合计", u"Total"},
      {"caption alone for another context", u"menu", u"合计", u"Sum"}, {"no context", u"", u"合计", u"Sum"},
      {"unknown text unchanged", u"grid", u"未知", u"未知"}, {"lookup is exact, no trimming", u"", u" 保存", u" 保存"},
      {"tarvok never translated", u"", u"tarvok 设置", u"tarvok 设置"},
      {"TarVok never translated", u"", u"TarVok", u"TarVok"}, {"separator never translated", u"", u"-", u"-"},
      {"empty text", u"grid", u"", u""}, {"placeholder in order", u"", u"查找Q(Ctrl+F)", u"Find(Ctrl+F)"},
      {"numbered placeholder", u"", u"导出到(Excel)文件", u"Export to file (Excel)"},
      {"parenthesised base not found", u"", u"未知(S)", u"未知(S)"},
      {"parenthesised lookup ignores the context form", u"grid", u"合(x)计", u"Sum"},
      {"parenthesised key itself never matches", u"", u"找(x)", u"找(x)"},
      {"300 code units looked up", u"", key300, u"T300"}, {"301 code units unchanged", u"", key301, key301},
  };
  for (const auto& row : rows) EXPECT_EQ(row.expected, S(m.map.Map(row.context.c_str(), row.text.c_str()))) << row.name;

  EXPECT_EQ(u"Total", S(m.map.Map(Gbk_Bytes(u"grid").c_str(), Gbk_Bytes(u"合计").c_str()))) << "narrow context and text";
  Map_Of chain(u"a=b\nb=c");
  EXPECT_EQ(u"c", S(chain.map.Map(u"", chain.map.Map(u"", u"a")))) << "the previous result passed back in";
}

TEST(LangMap, ParenthesisGroups) {
  const std::u16string nine = u"a(1)(2)(3)(4)(5)(6)(7)(8)(9)", base(300, u'x');
  const struct { const char* name; std::u16string line, text, expected; } rows[] = {
      {"key with {} where the group stands", u"导出到{}文件=Export {}", u"导出到(Excel)文件", u"Export (Excel)"},
      {"plain base wins over the marked key", u"ab=plain\na{1}b=marked", u"a(1)b", u"plain"},
      {"groups fill {} in order", u"ab={}-{}", u"a(1)b(2)", u"(1)-(2)"},
      {"{n} everywhere", u"ab={2}{1}{2}", u"a(1)b(2)", u"(2)(1)(2)"},
      {"placeholders beyond the groups stay", u"ab={}{}{3}", u"a(1)b", u"(1){}{3}"},
      {"no placeholders drops the groups", u"ab=X", u"a(1)b", u"X"},
      {"eight groups, the rest ignored", u"a={}{}{}{}{}{}{}{}|{8}", nine, u"(1)(2)(3)(4)(5)(6)(7)(8)|(8)"},
      {"text after the eighth group ignored", u"a=[{8}]", u"a(1)(2)(3)(4)(5)(6)(7)(8)zz", u"[(8)]"},
      {"unclosed ( ends the split", u"ab={}", u"ab(1", u"{}"},
      {"unclosed ( after a group", u"ab={}", u"a(1)b(2", u"(1)"},
      {"group ends at the first )", u"ab)={}", u"a(x(y)b)", u"(x(y)"},
      {"a group's own braces stay", u"ab={}{}", u"a({})b(2)", u"({})(2)"},
      {"base of only groups is never looked up", u"=E", u"(1)", u"(1)"},
      {"a base of 300 units stops the split", base + u"={}|{1}", base + u"yy(1)", u"{}|{1}"},
      {"a group before a base of 300 units", base + u"={}|{1}", u"(1)" + base, u"(1)|(1)"},
  };
  for (const auto& row : rows) EXPECT_EQ(row.expected, S(Map_Of(row.line).map.Map(u"", row.text.c_str()))) << row.name;
}

// ---------------------------------------------------------------------------------------------------
// The caption translation.

TEST(LangCap, CaptionTable) {
  const std::u16string cap299(299, u'x'), cap300(300, u'x');
  Map_Of m(kFile + u"复制=Copy\n关闭=Close it\n打开=open\n退出=退出程序\n删除=&Delete\n排序=Sort\n刷新=F5刷新\n导出=exp\n" +
           cap299 + u"=short\n" + cap300 + u"=long\n");
  const struct { const char* name; std::u16string context, caption, expected; } rows[] = {
      {"grid context", u"grid", u"合计", u"Total"}, {"leading blanks kept", u"grid", u"  合计", u"  Total"},
      {"trailing blanks and tabs trimmed", u"grid", u"合计 \t", u"Total"},
      {"leading tab is trimmed, not kept", u"", u"\t合计", u"Sum"},
      {"hot key found in the translation", u"", u"查找&S", u"&Search"},
      {"lower-case key, then its upper case", u"", u"查找&s", u"&Search"},
      {"hot key missing, letters only: no key", u"", u"查找&F", u"Search"},
      {"hot key missing, other characters: appended", u"", u"打印&P", u"打印输出&P"},
      {"blanks around the hot key removed", u"", u"保存 &P", u"Save"},
      {"untranslated keeps its &", u"", u"打开文件&O", u"打开文件&O"},
      {"hot key before the text", u"", u"&C复制", u"&Copy"},
      {"inner blanks removed for the lookup", u"", u"关 闭(&X)", u"Close it&X"},
      {"blanks are part of the translation", u"", u"关闭&I", u"Close &it"},
      {"upper-case key finds its lower case first", u"", u"打开&O", u"&open"},
      {"translation with & unchanged", u"", u"删除&D", u"&Delete"},
      {"non-letter translation gets it appended", u"", u"退出&X", u"退出程序&X"},
      {"digit key searched as itself after U", u"", u"刷新&5", u"F&5刷新"},
      {"trailing & names no key", u"", u"排序&", u"Sort"}, {"lone &", u"", u"&", u"&"},
      {"only blanks", u"", u"   ", u"   "}, {"empty caption", u"grid", u"", u""}, {"separator", u"menu", u"-", u"-"},
      {"tarvok caption untouched", u"", u"tarvok 设置", u"tarvok 设置"}, {"299 units translate", u"", cap299, u"short"},
      {"299 units after a kept blank", u"", u" " + cap299, u" short"}, {"300 units do not", u"", cap300, cap300},
      {"300 units after blanks do not", u"", u"  " + cap300, u"  " + cap300},
  };
  for (const auto& row : rows) EXPECT_EQ(row.expected, S(Lang_Cap(&m.map, row.context.c_str(), row.caption.c_str()))) << row.name;
  EXPECT_EQ(u"", S(Lang_Cap(&m.map, u"grid", nullptr)));
}

// ---------------------------------------------------------------------------------------------------
// Files in a directory: both encodings, the missing file, the lookup log.

TEST(LangFile, WithoutLangTxtEverythingUnchanged) {
  TempDir dir;
  TLang_Map map;
  EXPECT_TRUE(map.Count() == 0 && map.Log_Mode() == 0);
  EXPECT_EQ(u" 复制全部表格内容", S(Lang_Cap(&map, u"grid", u" 复制全部表格内容")));
  EXPECT_TRUE(S(Lang_Cap(&map, u"grid", u"打印&P")) == u"打印&P" && !fs::exists("lang_log.txt"));
}

std::string Utf8_Bytes(const std::u16string& text) { return Zem_W_To_Utf8(text.c_str()); }

TEST(LangFile, EveryEncodingAnEditorSavesGivesTheSameMap) {
  for (const std::string& bytes : {Utf16_Bytes(kFile), Gbk_Bytes(kFile), "\xEF\xBB\xBF" + Utf8_Bytes(kFile), Utf8_Bytes(kFile)}) {
    SCOPED_TRACE(bytes.substr(0, 3));  // UTF-16LE and UTF-8 with their marks, GBK, UTF-8 without a mark
    TempDir dir;
    Write_File("lang.txt", bytes);
    TLang_Map here, there(dir.path.c_str());  // the current directory, a named one
    for (TLang_Map* map : {&here, &there}) {
      EXPECT_EQ(10, map->Count());
      EXPECT_EQ(S(Lang_Cap(map, u"grid", u"合计")) + u"|" + S(Lang_Cap(map, u"grid", u"导出到(Excel)文件")),
                u"Total|Export to file (Excel)");
    }
  }
}

TEST(LangFile, LogModeTwoWritesOnlyMissingCaptions) {
  TempDir dir;
  Write_File("lang.txt", Utf16_Bytes(u"#log_not_define\r\n合计=Sum\r\n"));
  Write_File("lang_log.txt", "stale");
  TLang_Map map;
  EXPECT_EQ(2, map.Log_Mode());
  EXPECT_EQ(std::string("\xFF\xFE", 2), Read_File("lang_log.txt")) << "recreated with the mark only";
  EXPECT_EQ(u"保存", S(Lang_Cap(&map, u"grid", u"保存")));
  EXPECT_EQ(u"Sum", S(Lang_Cap(&map, u"grid", u"合计")));  // found: not logged
  Lang_Cap(&map, u"menu", u"-");
  Lang_Cap(&map, u"", u"tarvok");  // separators and the maker's name never logged
  Lang_Cap(&map, u"", u"打印&P");                                  // logged without its hot key
  EXPECT_EQ(Utf16_Bytes(u"grid.保存  *****\r\n打印  *****\r\n"), Read_File("lang_log.txt"));
}

TEST(LangFile, LogModeOneLineForms) {
  TempDir dir;
  Write_File("lang.txt", Gbk_Bytes(u"#log_all\ngrid.合计=Total\n合计=Sum\n"));
  TLang_Map map;
  EXPECT_EQ(1, map.Log_Mode());
  fs::remove("lang_log.txt");  // a missing log file is created with its mark on the next line
  // The last, a parenthesised lookup, is not logged.
  for (const auto& [context, text] : {std::pair{u"", u"合计"}, {u"", u"保存"}, {u"grid", u"合计"}, {u"menu", u"合计"},
                                      {u"grid", u"保存"}, {u"grid", u"查找(Ctrl+F)"}})
    map.Map(context, text);
  EXPECT_EQ(Utf16_Bytes(u"合计 = Sum\r\n保存  *****\r\ngrid.合计 = Total\r\nmenu.合计 = Sum\r\ngrid.保存  *****\r\n"),
            Read_File("lang_log.txt"));
}

TEST(LangFile, LogThatCannotBeWrittenDropsLines) {
  TempDir dir;
  Write_File("lang.txt", Utf16_Bytes(u"#log_all\na=b\n"));
  fs::create_directory("lang_log.txt");  // a directory cannot be opened as the log
  TLang_Map map;
  EXPECT_TRUE(S(map.Map(u"grid", u"保存")) == u"保存" && fs::is_directory("lang_log.txt"));
  // From bytes without a log directory: the mode is read, but no file is made.
  fs::remove("lang_log.txt");
  Map_Of quiet(u"#log_all\na=b\n");
  EXPECT_TRUE(quiet.map.Log_Mode() == 1 && quiet.map.Log_Path().empty());
  EXPECT_EQ(u"b", S(quiet.map.Map(u"", u"a")));
  EXPECT_FALSE(fs::exists("lang_log.txt"));
}

// The only test that touches the process-wide map: it is made from the current directory at the
// first caption translation and registered for every module.
TEST(LangMgr, ProcessWideMapFromCurrentDirectory) {
  TempDir dir;
  Write_File("lang.txt", Utf16_Bytes(kFile));
  EXPECT_EQ(u"Total", S(Lang_Cap(u"grid", u"合计")));
  EXPECT_EQ(u"Sum", S(Lang_Cap(Gbk_Bytes(u"menu").c_str(), u"合计"))) << "a narrow context";
  TLang_Map* mgr = Lang_Map_Mgr();
  ASSERT_TRUE(mgr && static_cast<void*>(mgr) == Get_Pub_Ptr("lang_map_mgr"));
  EXPECT_EQ(u"Sum", S(mgr->Map(u"", u"合计")));
}

}  // namespace
