// Parameter packs: value sizes, conversions, names, lookup with prefixes and parents, list upkeep,
// copies, the XML form and the process-wide packs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/text/wfunc.h"
#include "data_test_util.h"
#include "frame/pub_ptr.h"

namespace {

std::u16string Wide(const ParaStru* p) {
  char16_t b[256];
  return p->Get_WStr(b, 256), b;
}

std::string Narrow(const ParaStru* p) {
  char b[256];
  return p->Get_Str(b, 256), b;
}

TEST(ParaStru, SetValueSizes) {
  const struct { const char* what; char type; const void* value; int length, result, size;
                 const char16_t* reads; } rows[] = {  // reads: read back as wide text; null: not checked
      {"C by type", 'C', "A", 0, 1, 1, u"65"}, {"I by type", 'I', nullptr, 0, 1, 4, u"0"},
      {"F by type", 'F', nullptr, 0, 1, 4, u"0.000000"}, {"S text", 'S', "abc", 0, 1, 4, u"abc"},
      {"S null", 'S', nullptr, 0, 1, 1, u""},
      {"S given length: cut there and terminated", 'S', "abcdef", 2, 1, 3, u"ab"},
      {"M text", 'M', "xy", 0, 1, 3, u"xy"}, {"W text", 'W', u"ab", 0, 1, 6, u"ab"},
      {"W null", 'W', nullptr, 0, 1, 2, u""}, {"W given bytes", 'W', u"abc", 2, 1, 4, u"a"},
      {"W odd bytes", 'W', u"abc", 3, 1, 5, u"a"}, {"I given length", 'I', "12345678", 8, 1, 8, nullptr},
      {"unknown type leaves the previous value", 'X', "a", 0, 0, 5, u"keep"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    ParaStru p;
    p.Set_Value("keep", 'S', 0);
    EXPECT_EQ(p.Set_Value(r.value, r.type, r.length), r.result);
    EXPECT_EQ(std::make_pair(p.Size(), p.Type()), std::make_pair(r.size, r.result ? r.type : 'S')) << "size, type";
    if (r.reads) { EXPECT_EQ(Wide(&p), r.reads); }
  }
}

TEST(ParaStru, Conversions) {
  const struct { const char* what; void (*put)(TParaMgr*); int as_int; float as_float; std::string as_narrow;
                 std::u16string as_wide; } rows[] = {
      {"int", [](TParaMgr* m) { m->Put_Int("v", 42); }, 42, 42.0f, "42", u"42"},
      {"negative int", [](TParaMgr* m) { m->Put_Int("v", -7); }, -7, -7.0f, "-7", u"-7"},
      {"float", [](TParaMgr* m) { m->Put_Float("v", 2.5); }, 2, 2.5f, "2.500000", u"2.500000"},
      {"float toward zero", [](TParaMgr* m) { m->Put_Float("v", -2.75); }, -2, -2.75f, "-2.750000", u"-2.750000"},
      {"one byte", [](TParaMgr* m) { m->Push_Para("v", "A", 'C', 0); }, 65, 65.0f, "65", u"65"},
      {"number text", [](TParaMgr* m) { m->Put_Str("v", "123abc"); }, 123, 123.0f, "123abc", u"123abc"},
      {"float text", [](TParaMgr* m) { m->Put_Str("v", " 1.25"); }, 1, 1.25f, " 1.25", u" 1.25"},
      {"empty text", [](TParaMgr* m) { m->Put_Str("v", ""); }, 0, 0.0f, "", u""},
      {"null text", [](TParaMgr* m) { m->Put_Str("v", nullptr); }, 0, 0.0f, "", u""},
      {"word", [](TParaMgr* m) { m->Put_Str("v", "abc"); }, 0, 0.0f, "abc", u"abc"},
      {"wide number", [](TParaMgr* m) { m->Put_WStr("v", u"3.75"); }, 3, 3.75f, "3.75", u"3.75"},
      {"wide Chinese", [](TParaMgr* m) { m->Put_WStr("v", u"中文"); }, 0, 0.0f, Gbk(u"中文"), u"中文"},
      {"narrow Chinese", [](TParaMgr* m) { m->Put_Str("v", Gbk(u"中文").c_str()); }, 0, 0.0f, Gbk(u"中文"), u"中文"},
      {"int text too big", [](TParaMgr* m) { m->Put_Str("v", "99999999999"); }, 2147483647, 99999999999.0f,
       "99999999999", u"99999999999"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    TParaMgr m;
    r.put(&m);
    ParaStru* p = m.Find_Para("v");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Get_Int(), r.as_int);
    EXPECT_FLOAT_EQ(p->Get_Float(), r.as_float);
    EXPECT_EQ(Narrow(p), r.as_narrow);
    EXPECT_EQ(Wide(p), r.as_wide);
    tstr t;
    wstr w;
    EXPECT_TRUE(m.Get_Str("v", &t) == 1 && m.Get_WStr("v", &w) == 1);
    EXPECT_EQ(std::string(t.c_str()), r.as_narrow) << "through the pack";
    EXPECT_EQ(std::u16string(w.c_str()), r.as_wide) << "through the pack";
  }
}

TEST(ParaStru, LimitedBuffersKeepWholeCharacters) {
  TParaMgr m;
  m.Put_WStr("v", u"a中文");  // narrow: 'a' and two double-byte characters
  struct Row { int size; std::string expect; };
  const Row rows[] = {{1, ""}, {2, "a"}, {3, "a"}, {4, Gbk(u"a中")}, {5, Gbk(u"a中")}, {6, Gbk(u"a中文")}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.size);
    char b[16];
    std::memset(b, 'Z', sizeof b);
    EXPECT_TRUE(m.Get_Str("v", b, r.size) == 1 && std::string(b) == r.expect) << b;
  }
  m.Put_WStr("s", u"x\U0001F600y");  // a surrogate pair is never split
  for (const auto& [size, want] : {std::pair{3, u"x"}, {4, u"x\U0001F600"}}) {
    char16_t w[8];
    m.Get_WStr("s", w, size);
    EXPECT_EQ(std::u16string(w), want) << size;
  }
}

TEST(TParaMgr, AbsentParameters) {
  TParaMgr m;
  int i = 5;
  float f = 5;
  char b[8] = "keep";
  char16_t w[8] = u"keep";
  tstr t("old");
  wstr ws(u"old");
  int size = 9;
  // Each call says 0; numbers and strings read 0 and empty, fixed buffers keep what they held.
  const int found = m.Get_Int("none", &i) + m.Get_Float("none", &f) + m.Get_Str("none", b) + m.Get_WStr("none", w) +
                    m.Get_Str("none", &t) + m.Get_WStr("none", &ws) + m.Erase_Para("none");
  EXPECT_EQ(found, 0);
  EXPECT_TRUE(i == 0 && f == 0 && t.length() == 0 && ws.length() == 0);
  EXPECT_TRUE(std::string(b) == "keep" && std::u16string(w) == u"keep");
  EXPECT_EQ(m.Get_Data("none", &size), nullptr);
  EXPECT_EQ(size, 0);
}

TEST(TParaMgr, NameCheck) {
  struct Row { const char16_t* name; int ok; };
  const Row rows[] = {
      {u"abc", 1}, {u"_a", 1},   {u"#a", 1},  {u"a.b$c#_9", 1}, {u"中文", 1}, {u"Z", 1},
      {u"1a", 0},  {u".a", 0},   {u"$a", 0},  {u"a b", 0},      {u"a-b", 0},  {u"", 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(static_cast<int>(&r - rows));
    EXPECT_EQ(TParaMgr::Name_Ok(r.name), r.ok);
    TParaMgr m;
    m.Set_Name_Check(1);
    EXPECT_EQ(m.Put_Int(r.name, 1) != nullptr, r.ok == 1);
    EXPECT_EQ(m.Count(), r.ok);
    TParaMgr loose;  // without the check every name is taken
    EXPECT_NE(loose.Put_Int(r.name, 1), nullptr);
  }
}

TEST(TParaMgr, Prefixes) {
  TParaMgr parent, m;
  m.Add_Parent(&parent), parent.Put_Int("in_other", 7), m.Put_Int("code", 5);
  EXPECT_EQ(m.Add_Pre("in_"), 1);
  int v = 0;
  EXPECT_TRUE(m.Get_Int("in_code", &v) == 1 && v == 5) << "found without its prefix";
  // A matching prefix ends the lookup in this pack, found or not.
  EXPECT_EQ(m.Find_Para("in_other"), nullptr);
  EXPECT_EQ(m.Find_Para("code"), m.Para(0));
  // A name hidden by a prefix is still kept once.
  m.Put_Int("in_zz", 1), m.Put_Int("in_zz", 2);
  EXPECT_TRUE(m.Count() == 2 && m.Para(1)->Get_Int() == 2);

  Kept_Log log;
  for (int i = 1; i < TParaMgr::kMaxPrefixes; ++i) EXPECT_EQ(m.Add_Pre(("p" + std::to_string(i) + "_").c_str()), 1);
  EXPECT_EQ(m.Pre_Count(), 10);
  EXPECT_TRUE(m.Add_Pre("eleventh_") == 0 && m.Pre_Count() == 10) << "ten prefixes at most";
  EXPECT_TRUE(log.Has("paramgr add pre fail\n"));
  EXPECT_EQ(m.Add_Pre(""), 0);
  EXPECT_TRUE(m.Clear_Pre() == 1 && m.Pre_Count() == 0);
  EXPECT_TRUE(m.Find_Para("in_code") == nullptr && m.Find_Para("in_other")->Get_Int() == 7) << "no prefixes left";
}

TEST(TParaMgr, Parents) {
  TParaMgr a, b, c;
  a.Put_Int("x", 1), b.Put_Int("y", 2), b.Add_Parent(&a), c.Add_Parent(&b);
  EXPECT_TRUE(c.Find_Para("x") == a.Para(0) && c.Find_Para("y") == b.Para(0)) << "through the parents' parents";
  // Putting a name that exists only in a parent updates the parent.
  EXPECT_EQ(c.Put_Int("x", 9), a.Para(0));
  EXPECT_TRUE(a.Para(0)->Get_Int() == 9 && c.Count() == 0 && a.Changed() == 1);
  c.Put_Int("own", 3), c.Set_Parent(nullptr);
  EXPECT_TRUE(c.Parent_Count() == 0 && c.Find_Para("x") == nullptr) << "Set_Parent(null) drops every parent";
  // Parents pointing at each other end the lookup.
  a.Add_Parent(&b);
  EXPECT_TRUE(a.Find_Para("nowhere") == nullptr && a.Find_Para("y") == b.Para(0));
  // The first parent that has the name wins; Set_Parent leaves one.
  TParaMgr p1, p2, k;
  p1.Put_Int("n", 1), p2.Put_Int("n", 2), k.Add_Parent(&p1), k.Add_Parent(&p2);
  EXPECT_EQ(k.Find_Para("n")->Get_Int(), 1);
  EXPECT_EQ(k.Set_Parent(&p2), 1);
  EXPECT_EQ(k.Find_Para("n")->Get_Int(), 2);

  // Twenty parents at most; the twentieth is still searched.
  TParaMgr m, others[21];
  Kept_Log log;
  EXPECT_EQ(m.Add_Parent(nullptr), 0);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(m.Add_Parent(&others[i]), 1);
  EXPECT_FALSE(log.Has("paramgr add parent fail"));
  EXPECT_TRUE(m.Add_Parent(&others[20]) == 0 && m.Parent_Count() == 20);
  EXPECT_TRUE(log.Has("paramgr add parent fail\n"));
  others[19].Put_Int("last", 19);
  EXPECT_EQ(m.Find_Para("last")->Get_Int(), 19);
}

TEST(TParaMgr, ListUpkeep) {
  TParaMgr m;
  for (int i = 0; i < 1000; ++i) m.Put_Int(("p" + std::to_string(i)).c_str(), i);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(m.Para(i)->Get_Int(), i);
    ASSERT_EQ(m.Find_Para(("p" + std::to_string(i)).c_str()), m.Para(i));
  }
  // Updating keeps the position; erasing closes the gap; putting again appends.
  m.Put_Int("p5", 55);
  EXPECT_EQ(m.Para(5)->Get_Int(), 55);
  EXPECT_EQ(m.Erase_Para("p5"), 1);
  EXPECT_TRUE(m.Count() == 999 && m.Find_Para("p5") == nullptr && m.Para(5) == m.Find_Para("p6"));
  m.Put_Int("p5", 5);
  EXPECT_EQ(m.Para(999), m.Find_Para("p5"));
  // Truncation: p0..p4, p6..p10 stay.
  m.Set_Changed(0);
  EXPECT_EQ(m.Set_Para_Pos(-1), 0);
  EXPECT_TRUE(m.Set_Para_Pos(10) == 1 && m.Changed() == 1 && m.Count() == 10);
  EXPECT_TRUE(m.Find_Para("p11") == nullptr && m.Find_Para("p5") == nullptr && m.Find_Para("p10") == m.Para(9));
  m.Put_Int("p500", 1);
  EXPECT_EQ(m.Count(), 11);
  // Renaming moves the index entry; a name held by another parameter is refused.
  ParaStru* p = m.Find_Para("p0");
  const char* old_name = "p0";
  for (const char* name : {"renamed", "a_name_long_enough_to_need_memory", "short"}) {
    EXPECT_EQ(p->Set_Name(name), 1);
    EXPECT_TRUE(m.Find_Para(old_name) == nullptr && m.Find_Para(name) == p) << name;
    old_name = name;
  }
  EXPECT_TRUE(p->Set_Name("p1") == 0 && m.Find_Para("p1") == m.Para(1)) << "a name held by another is refused";
  // Reset frees everything the pack allocated.
  m.Set_Changed(0);
  EXPECT_EQ(m.Reset_Para(), 1);
  EXPECT_TRUE(m.Count() == 0 && m.Changed() == 1 && m.Mem_Blocks() == 0 && m.Find_Para("p1") == nullptr);
}

TEST(TParaMgr, ExternalData) {
  TParaMgr m;
  const char bytes[] = {'a', 0, 'b', 'c'};
  ParaStru* p = m.Put_Data("blob", bytes, 4);
  ASSERT_NE(p, nullptr);
  int size = 0;
  EXPECT_TRUE(m.Get_Data("blob", &size) == bytes && size == 4) << "the caller's bytes themselves";
  EXPECT_TRUE(p->Is_External() && p->Text_Bytes() == 4 && Narrow(p) == "a");
  long long blocks = m.Mem_Blocks();
  // A later value is owned again; the caller's bytes are not freed.
  m.Put_Str("blob", "owned text longer than sixteen bytes");
  EXPECT_TRUE(!p->Is_External() && Narrow(p) == "owned text longer than sixteen bytes" && m.Mem_Blocks() == blocks + 1);
  m.Put_Str("blob", "short");
  EXPECT_TRUE(m.Mem_Blocks() == blocks && Narrow(p) == "short") << "small values are held inside the parameter";
}

TEST(TParaMgr, CopyPara) {
  TParaMgr src, dst;
  const char blob[] = "xyz";
  src.Put_Int("i", 3), src.Put_Float("f", 0.5), src.Put_Str("s", "text")->Set_Mean(u"说明"), src.Put_WStr("w", u"宽");
  src.Put_Data("d", blob, 3)->Set_Data_Flag(1), src.Push_Para("m", "mm", 'M', 0), dst.Put_Int("gone", 1);
  EXPECT_EQ(dst.Copy_Para(&src), 1);
  ASSERT_EQ(dst.Count(), 6);
  EXPECT_EQ(dst.Find_Para("gone"), nullptr) << "what the target held goes";
  const char* names[] = {"i", "f", "s", "w", "d", "m"};
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(names[i]);
    ParaStru* a = src.Para(i);
    ParaStru* b = dst.Para(i);
    EXPECT_EQ(std::make_tuple(std::u16string(b->Name()), b->Type(), b->Data_Flag(), Narrow(b)),
              std::make_tuple(std::u16string(a->Name()), a->Type(), a->Data_Flag(), Narrow(a)));
    EXPECT_EQ(b->Owner(), &dst);
  }
  EXPECT_EQ(std::u16string(dst.Find_Para("s")->Mean()), u"说明");
  EXPECT_TRUE(!dst.Find_Para("d")->Is_External() && dst.Find_Para("d")->Text_Bytes() == 3) << "external data copied";
  EXPECT_TRUE(dst.Copy_Para(&dst) == 1 && dst.Count() == 6) << "a copy onto itself";
}

TEST(TParaMgr, DumpLines) {
  TParaMgr m;
  m.Add_Pre("in_"), m.Put_Int("n", 12), m.Put_Str("s", "ab");
  Kept_Log log;
  EXPECT_EQ(m.Dump(), 1);
  EXPECT_EQ(log.Text(),
            "Pre Name in_\n"
            "Para: 00 Name: 'n' Size: '4' Value: 12\n"
            "Para: 01 Name: 's' Size: '3' Value: 'ab'\n");
}

TEST(TParaMgr, XmlForm) {
  TParaMgr inner;
  inner.Put_Int("k", 1);
  TParaMgr m;
  m.Put_Int("code", 42), m.Put_Float("rate", 1.5), m.Put_Str("text", "a<b&c"), m.Put_WStr("wide", u"中");
  m.Push_Para("hidden", "x", 'M', 0), m.Put_Str("empty", ""), m.Put_Para_Para("inner", &inner);
  m.Put_Str("set", "")->Set_Data_Flag(1), m.Put_Str("bad name", "1");
  std::string x;
  EXPECT_EQ(m.Xml_Doc(&x), 1);
  std::string want =
      "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n"
      "<para_mgr type=\"para\" para_num=\"9\">\n"
      "  <code type=\"int\">42</code>\n"
      "  <rate type=\"float\">1.500000</rate>\n"
      "  <text type=\"string\">a&lt;b&amp;c</text>\n"
      "  <wide type=\"string\">" + Gbk(u"中") + "</wide>\n"
      "  <empty type=\"string\"/>\n"
      "  <inner type=\"para\" para_num=\"1\">\n"
      "    <k type=\"string\">1</k>\n"
      "  </inner>\n"
      "  <set type=\"dbio\"/>\n"
      "  <bad_name type=\"string\">1</bad_name>\n"
      "</para_mgr>";
  EXPECT_EQ(x, want);

  // External values are written as their address.
  TParaMgr e;
  static const char bytes[] = "zz";
  e.Put_Data("ext", bytes, 2);
  std::string y;
  e.Xml_Doc(&y);
  char addr[32];
  std::snprintf(addr, sizeof addr, "%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(bytes)));
  EXPECT_NE(y.find(std::string("<ext type=\"string\">") + addr + "</ext>"), std::string::npos);
}

TEST(TXml_Writer, ElementNames) {
  struct Row { const char* in; const char* out; };
  const Row rows[] = {{"abc", "abc"}, {"a b", "a_b"}, {"1x", "_1x"}, {"", "_"}, {"a$#", "a__"}, {"x.y-z", "x.y-z"}};
  for (const Row& r : rows) EXPECT_EQ(TXml_Writer::Element_Name(r.in), r.out) << r.in;
}

TEST(ProcessPacks, ByNameHelpers) {
  EXPECT_TRUE(Pub_Para_Mgr() == Get_Pub_Ptr("pub_para_mgr") && Tmp_Para_Mgr() == Get_Pub_Ptr("tmp_para_mgr") &&
              Rep_Call_Para() == Get_Pub_Ptr("rep_call_para")) << "registered by name";
  EXPECT_NE(Pub_Para_Mgr(), Tmp_Para_Mgr());

  EXPECT_EQ(Pub_Para_Put_Str("font.list", "SimSun"), 1);
  char b[32] = "";
  EXPECT_TRUE(Pub_Para_Get_Str("font.list", b, sizeof b) != 0 && std::string(b) == "SimSun");
  EXPECT_TRUE(Pub_Para_Get_Str("font.none", b, sizeof b) == 0 && std::string(b) == "SimSun") << "absent: kept";
  EXPECT_EQ(Tmp_Para_Put_Int("n", 4), 1);
  int v = 0;
  EXPECT_TRUE(Tmp_Para_Get_Int("n", &v) != 0 && v == 4);
  EXPECT_EQ(Pub_Para_Get_Int("n", &v), 0) << "each pack its own";
  EXPECT_EQ(Rep_Call_Para_Put_WStr("w", u"报表"), 1);
  char16_t w[8];
  EXPECT_TRUE(Rep_Call_Para_Get_WStr("w", w, 8) != 0 && std::u16string(w) == u"报表");

  // Many threads putting and reading at once: each access is under the pack's lock.
  std::vector<std::thread> ts;
  for (int t = 0; t < 4; ++t)
    ts.emplace_back([t] {
      for (int i = 0, x; i < 500; ++i) {
        const std::string n = "t" + std::to_string(t) + "_" + std::to_string(i % 50);
        Tmp_Para_Put_Int(n.c_str(), i), Tmp_Para_Get_Int(n.c_str(), &x);
      }
    });
  for (auto& t : ts) t.join();
  int x = -1;
  EXPECT_TRUE(Tmp_Para_Get_Int("t3_49", &x) != 0 && x == 499);
}

}  // namespace
