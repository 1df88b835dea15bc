// Packed form of parameter packs: exact bytes, round trips, the zlib envelope, the 4-byte form,
// and bad input that must keep what was read and never read past the buffer.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "data_test_util.h"

namespace {

Bytes Head(char version, unsigned total, int count) {
  Bytes b = {'^', static_cast<unsigned char>(version)};
  int lw = version == '1' ? 3 : 4;
  for (int i = lw - 1; i >= 0; --i) b.push_back(static_cast<unsigned char>(total >> (8 * i)));
  b.insert(b.end(), 10, 0);
  b.push_back(static_cast<unsigned char>(count >> 8));
  b.push_back(static_cast<unsigned char>(count));
  return b;
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string Names(TParaMgr* m) {
  std::string r;
  for (int i = 0; i < m->Count(); ++i) {
    char b[300];
    Zem_W_To_MB(ZEM_CP_UTF8, m->Para(i)->Name(), -1, b, sizeof b);
    r += b;
    r += ';';
  }
  return r;
}

std::string Text(TParaMgr* m, const char* name) {
  tstr t;
  m->Get_Str(name, &t);
  return t.c_str();
}

TEST(PackPara, ExactBytes) {
  const struct { const char* what; void (*fill)(TParaMgr*); Bytes params; int count; } rows[] = {
      {"empty", [](TParaMgr*) {}, {}, 0},
      {"int 42 under x", [](TParaMgr* m) { m->Put_Int("x", 42); }, {1, 'x', 0, 0, 0, 2, '4', '2'}, 1},
      {"narrow text", [](TParaMgr* m) { m->Put_Str("s", "ab"); }, {1, 's', 0, 0, 0, 2, 'a', 'b'}, 1},
      {"empty text", [](TParaMgr* m) { m->Put_Str("e", nullptr); }, {1, 'e', 0, 0, 0, 0}, 1},
      {"wide as UTF-8", [](TParaMgr* m) { m->Put_WStr("w", u"中"); }, {1, 'w', 'W', 0, 0, 3, 0xE4, 0xB8, 0xAD}, 1},
      {"float", [](TParaMgr* m) { m->Put_Float("f", 1.5); },
       {1, 'f', 0, 0, 0, 8, '1', '.', '5', '0', '0', '0', '0', '0'}, 1},
      {"one byte", [](TParaMgr* m) { m->Push_Para("c", "A", 'C', 0); }, {1, 'c', 0, 0, 0, 2, '6', '5'}, 1},
      {"data flag", [](TParaMgr* m) { m->Put_Str("d", "z")->Set_Data_Flag(1); }, {1, 'd', 1, 0, 0, 1, 'z'}, 1},
      {"binary data", [](TParaMgr* m) { m->Put_Data("b", "\0\1", 2); }, {1, 'b', 0, 0, 0, 2, 0, 1}, 1},
      {"Chinese name", [](TParaMgr* m) { m->Put_Int(u"名", 1); }, {3, 0xE5, 0x90, 0x8D, 0, 0, 0, 1, '1'}, 1},
      {"nameless left out", [](TParaMgr* m) { m->Put_Int("", 1); m->Put_Int("k", 2); }, {1, 'k', 0, 0, 0, 1, '2'}, 1},
      {"two in order", [](TParaMgr* m) { m->Put_Int("b", 1); m->Put_Int("a", 2); },
       {1, 'b', 0, 0, 0, 1, '1', 1, 'a', 0, 0, 0, 1, '2'}, 2},
  };
  Kept_Log quiet(true);
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    TParaMgr m;
    r.fill(&m);
    Bytes want = Cat(Head('1', static_cast<unsigned>(17 + r.params.size()), r.count), r.params);
    EXPECT_EQ(Pack(&m), want);
  }
  TParaMgr empty;
  EXPECT_EQ(Pack(&empty), Bytes({'^', '1', 0, 0, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(PackPara, RoundTrip) {
  TParaMgr inner;
  inner.Put_Int("deep", 7);
  TParaMgr m;
  m.Put_Int("i", -12);
  m.Put_Float("f", 2.25);
  m.Put_Str("s", "GBK text");
  m.Put_WStr("w", u"宽字符\U0001F600");
  m.Put_WStr("ew", nullptr);
  m.Put_Str("es", "");
  m.Put_Data("bin", "a\0b", 3)->Set_Data_Flag(9);
  m.Put_Para_Para("pp", &inner);
  Bytes b = Pack(&m);
  TParaMgr r;
  ASSERT_EQ(r.Unpack_Para(b.data(), b.size()), 1);
  EXPECT_EQ(Names(&r), "i;f;s;w;ew;es;bin;pp;");
  EXPECT_EQ(r.Find_Para("i")->Get_Int(), -12);
  EXPECT_FLOAT_EQ(r.Find_Para("f")->Get_Float(), 2.25f);
  // Numbers come back as their text; the empty wide and narrow texts keep their terminators' sizes.
  std::string types;
  for (const char* n : {"i", "w", "s"}) types += r.Find_Para(n)->Type();
  EXPECT_EQ(types, "SWS");
  wstr w;
  r.Get_WStr("w", &w);
  EXPECT_EQ(std::u16string(w.c_str()), u"宽字符\U0001F600");
  EXPECT_TRUE(r.Find_Para("ew")->Size() == 2 && r.Find_Para("es")->Size() == 1);
  int size = 0;
  const char* bin = static_cast<const char*>(r.Get_Data("bin", &size));
  ASSERT_EQ(std::string(bin, static_cast<size_t>(size)), std::string("a\0b\0", 4)) << "terminated on the way back";
  EXPECT_TRUE(r.Find_Para("bin")->Data_Flag() == 9 && r.Find_Para("pp")->Data_Flag() == 2);
  TParaMgr back, r2, u;
  EXPECT_TRUE(r.Get_Para_Para("pp", &back) == 1 && back.Find_Para("deep")->Get_Int() == 7) << "the inner pack";
  EXPECT_EQ(r2.Unpack_Para(b.data()), 1);
  EXPECT_EQ(Names(&r2), Names(&r)) << "the pointer-only form reads the same";
  u.Put_Int("keep", 1);
  u.Put_Int("i", 99);
  EXPECT_EQ(u.Unpack_Para(b.data(), b.size()), 1);
  EXPECT_TRUE(Names(&u) == "keep;i;f;s;w;ew;es;bin;pp;" && Text(&u, "i") == "-12") << "adds and updates, keeps the rest";
}

TEST(PackPara, ZipThreshold) {
  struct Row { int packed_size; bool zipped; };
  const Row rows[] = {{29999, false}, {30000, true}, {200000, true}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.packed_size);
    TParaMgr m;
    // 17 header bytes + 1 + 1 + 1 + 3 bytes around the value of "x".
    std::string v(static_cast<size_t>(r.packed_size - 23), 'q');
    m.Put_Str("x", v.c_str());
    EXPECT_EQ(Pack(&m).size(), static_cast<size_t>(r.packed_size));
    Bytes z = Pack(&m, 1, 30000);
    std::string s(z.begin(), z.end());
    EXPECT_EQ(s.find("auto_zip_flag") != std::string::npos, r.zipped);
    if (r.zipped) { EXPECT_LT(z.size(), 1000u); }
    TParaMgr back;
    back.Put_Int("old", 1);
    ASSERT_EQ(back.Unpack_Para(z.data(), z.size()), 1);
    EXPECT_EQ(Text(&back, "x"), v);
    EXPECT_EQ(back.Find_Para("auto_zip_flag"), nullptr);
    // An expanded envelope replaces the pack's contents; a plain one adds to them.
    EXPECT_EQ(back.Find_Para("old") != nullptr, !r.zipped);
  }
}

TEST(PackPara, FourByteLengths) {
  const long long limit = 16581375;
  struct Row { const char* what; long long value; long long second; char version; };
  const Row rows[] = {{"total at the limit", limit - 23, 0, '1'}, {"total one above", limit - 22, 0, '2'},
                      {"one value at the limit", limit, 0, '2'}, {"two values past it", limit / 2, limit / 2, '2'}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    TParaMgr m;
    const std::string a(static_cast<size_t>(r.value), 'a'), b(static_cast<size_t>(r.second), 'b');
    m.Put_Str("x", a.c_str());
    if (r.second) m.Put_Str("y", b.c_str());
    int len = 0;
    unsigned char* p = static_cast<unsigned char*>(m.Pack_Para(&len, 0, 0));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[1], r.version);
    TParaMgr back;
    EXPECT_TRUE(back.Unpack_Para(p, static_cast<size_t>(len)) == 1 && back.Find_Para("x")->Text_Bytes() == r.value);
    if (r.second) { EXPECT_EQ(back.Find_Para("y")->Text_Bytes(), r.second); }
    std::free(p);
  }
}

TEST(PackPara, ManyParametersAndLongNames) {
  TParaMgr m;
  for (int i = 0; i < 70000; ++i) m.Put_Int(("n" + std::to_string(i)).c_str(), i);
  Bytes b = Pack(&m);
  EXPECT_TRUE(b[15] == 0xFF && b[16] == 0xFF) << "the count says 65535 or more";
  TParaMgr back;
  ASSERT_TRUE(back.Unpack_Para(b.data(), b.size()) == 1 && back.Count() == 70000);
  EXPECT_TRUE(Text(&back, "n69999") == "69999" && back.Para(12345)->Get_Int() == 12345);

  Kept_Log quiet(true);
  TParaMgr l;
  std::u16string name(200, u'中');  // 600 UTF-8 bytes, cut to 85 whole characters
  l.Put_Int(name.c_str(), 1);
  Bytes lb = Pack(&l);
  EXPECT_EQ(lb[17], 255);
  TParaMgr lback;
  lback.Unpack_Para(lb.data(), lb.size());  // the name's length byte says 255, the rest is cut
  EXPECT_EQ(std::u16string(lback.Para(0)->Name()), name.substr(0, 85));
}

// Bad heads are refused; lying lengths and counts end the reading where the bytes run out, keeping
// what was read; what the pack held before stays. The last rows are inputs that once looked risky.
TEST(UnpackPara, MalformedInputKeepsWhatWasRead) {
  Kept_Log quiet(true);
  const Bytes a = {1, 'a', 0, 0, 0, 1, 'x'}, b = {1, 'b', 0, 0, 0, 1, 'y'};
  const Bytes zip_flag = {13, 'a', 'u', 't', 'o', '_', 'z', 'i', 'p', '_', 'f', 'l', 'a', 'g', 0, 0, 0, 1, '1'};
  const struct { const char* what; Bytes data; int result; const char* names; } rows[] = {
      {"nothing", {}, 0, "keep;"}, {"one byte", {'^'}, 0, "keep;"},
      {"no caret", {'x', '1', 0, 0, 17, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, "keep;"},
      {"version 3", {'^', '3', 0, 0, 17, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, "keep;"},
      {"header cut", {'^', '1', 0, 0, 17, 0, 0}, 0, "keep;"}, {"length cut", {'^', '2', 0}, 0, "keep;"},
      {"total below the header", {'^', '1', 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1, "keep;"},
      {"total beyond the buffer", Cat(Head('1', 1000, 2), Cat(a, b)), 1, "keep;a;b;"},
      {"total shorter than the buffer", Cat(Head('1', 24, 2), Cat(a, b)), 1, "keep;a;"},
      {"count beyond the parameters", Cat(Head('1', 24, 5), a), 1, "keep;a;"},
      {"count below the parameters", Cat(Head('1', 31, 1), Cat(a, b)), 1, "keep;a;"},
      {"name length zero", Cat(Head('1', 31, 2), Cat(a, {0, 'b', 0, 0, 0, 1, 'y'})), 1, "keep;a;"},
      {"name past the end", Cat(Head('1', 26, 2), Cat(a, {9, 'b'})), 1, "keep;a;"},
      {"value past the end", Cat(Head('1', 31, 2), Cat(a, {1, 'b', 0, 0, 0, 9, 'y'})), 1, "keep;a;"},
      {"length field cut", Cat(Head('1', 28, 2), Cat(a, {1, 'b', 0, 0})), 1, "keep;a;"},
      {"negative 4-byte length", Cat(Head('2', 33, 2), {1, 'a', 0, 0, 0, 0, 1, 'x', 1, 'b', 0, 0xFF, 0xFF, 0xFF, 0xFF}),
       1, "keep;a;"},
      {"huge 4-byte length", Cat(Head('2', 33, 2), {1, 'a', 0, 0, 0, 0, 1, 'x', 1, 'b', 0, 0x7F, 0xFF, 0xFF, 0xFF}),
       1, "keep;a;"},
      {"zip flag without data", Cat(Head('1', 17 + 19, 1), zip_flag), 1, "keep;auto_zip_flag;"},
      {"'W' value that is not UTF-8", Cat(Head('1', 17 + 8, 1), {1, 'w', 'W', 0, 0, 2, 0xFF, 0xC0}), 1, "keep;w;"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    TParaMgr m;
    m.Put_Int("keep", 1);
    EXPECT_EQ(m.Unpack_Para(r.data.data(), r.data.size()), r.result);
    EXPECT_EQ(Names(&m), r.names);
  }
  TParaMgr m;
  EXPECT_EQ(m.Unpack_Para(nullptr) + m.Unpack_Para(nullptr, 10), 0);
}

TEST(UnpackPara, TruncatedKeepsWhatWasRead) {
  TParaMgr m;
  m.Put_Str("a", "one");
  m.Put_Str("bb", "two");
  m.Put_Str("ccc", "three");
  Bytes full = Pack(&m);
  // The end offsets of the three parameters.
  const size_t ends[] = {17 + 9, 17 + 9 + 10, 17 + 9 + 10 + 13};
  ASSERT_EQ(full.size(), ends[2]);
  Kept_Log quiet(true);
  for (size_t cut = 17; cut <= full.size(); ++cut) {
    SCOPED_TRACE(cut);
    Bytes part(full.begin(), full.begin() + static_cast<long>(cut));
    TParaMgr r;
    EXPECT_EQ(r.Unpack_Para(part.data(), part.size()), 1);
    EXPECT_EQ(r.Count(), (cut >= ends[0]) + (cut >= ends[1]) + (cut >= ends[2])) << "the whole parameters before the cut";
  }
  TParaMgr r;
  Bytes part(full.begin(), full.begin() + 30);
  r.Unpack_Para(part.data(), part.size());
  EXPECT_TRUE(quiet.Has("parameter 2 of 3 does not fit"));
}

// An envelope around the packed form of one parameter, with the sizes given.
Bytes Envelope(const Bytes& zdata, int zsize, long long org) {
  TParaMgr env;
  env.Put_Int("auto_zip_flag", 1);
  env.Put_Data("auto_zip_data", zdata.data(), static_cast<int>(zdata.size()));
  env.Put_Int("auto_zip_size", zsize);
  env.Put_Str("auto_zip_org_size", std::to_string(org).c_str());
  return Pack(&env);
}

TEST(UnpackPara, BadEnvelopesLeaveThePack) {
  TParaMgr src;
  std::string v(50000, 'z');
  src.Put_Str("big", v.c_str());
  const Bytes plain = Pack(&src);
  auto zip = [](const Bytes& in) {
    uLongf n = compressBound(in.size());
    Bytes out(n);
    EXPECT_EQ(compress(out.data(), &n, in.data(), in.size()), Z_OK);
    out.resize(n);
    return out;
  };
  const Bytes z = zip(plain);
  const long long org = static_cast<long long>(plain.size());
  Bytes corrupt = z, inner_bad = plain;
  corrupt[z.size() / 2] ^= 0x5A;
  inner_bad[0] = 'x';
  const Bytes zbad = zip(inner_bad);

  Kept_Log quiet(true);
  struct Row { const char* what; Bytes data; int result; };
  const Row rows[] = {
      {"good", Envelope(z, static_cast<int>(z.size()), org), 1},
      {"corrupt compressed bytes", Envelope(corrupt, static_cast<int>(z.size()), org), 0},
      {"org size too small", Envelope(z, static_cast<int>(z.size()), org - 1), 0},
      {"org size too large", Envelope(z, static_cast<int>(z.size()), org + 1), 0},
      {"org size impossible", Envelope(z, static_cast<int>(z.size()), 2000000000LL), 0},
      {"org size negative", Envelope(z, static_cast<int>(z.size()), -5), 0},
      {"zip size beyond the data", Envelope(z, static_cast<int>(z.size()) + 10, org), 0},
      {"zip size short of the data", Envelope(z, static_cast<int>(z.size()) - 10, org), 0},
      {"expands to no pack", Envelope(zbad, static_cast<int>(zbad.size()), static_cast<long long>(inner_bad.size())), 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    TParaMgr m;
    m.Put_Int("before", 1);
    long long blocks = m.Mem_Blocks();
    EXPECT_EQ(m.Unpack_Para(r.data.data(), r.data.size()), r.result);
    EXPECT_EQ(Names(&m), r.result ? "big;" : "before;");
    EXPECT_TRUE(r.result ? Text(&m, "big") == v : m.Mem_Blocks() == blocks);
  }
  EXPECT_TRUE(quiet.Has("Unpack_Para"));
}

}  // namespace

// Packing into a caller's string, sharing kept bytes, and reading large values where they lie.
TEST(PackPara, IntoStringSharedAndReadInPlace) {
  const int big = TParaMgr::kRefer_Min;
  const struct { const char* what; int value_len; bool refers; } rows[] = {
      {"small value is copied", 10, false},
      {"one byte short of the bound is copied", big - 1, false},
      {"at the bound it refers to the bytes", big, true},
      {"a megabyte refers to the bytes", 1 << 20, true},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    std::string value(static_cast<size_t>(r.value_len), 'v');
    value[0] = 'a';
    auto shared = std::make_shared<const std::string>(value);
    TParaMgr out;
    out.Put_Int("n", 7);
    ASSERT_NE(out.Put_Shared("rows", shared), nullptr);
    out.Find_Para("rows")->Set_Data_Flag(1);
    shared.reset();  // the pack keeps the bytes

    int len = 0;
    void* plain = out.Pack_Para(&len, 0);
    ASSERT_NE(plain, nullptr);
    std::string into = "head";
    EXPECT_EQ(out.Pack_Para_Into(&into), len);
    EXPECT_EQ(into.substr(4), std::string(static_cast<const char*>(plain), static_cast<size_t>(len)));
    std::free(plain);

    TParaMgr in;
    ASSERT_EQ(in.Unpack_Para_Refer(into.data() + 4, into.size() - 4), 1);
    int size = 0;
    const char* got = static_cast<const char*>(in.Get_Data("rows", &size));
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(std::string(got, static_cast<size_t>(in.Find_Para("rows")->Text_Bytes())), value);
    EXPECT_EQ(in.Find_Para("rows")->Data_Flag(), 1);
    EXPECT_EQ(Text(&in, "n"), "7");
    const bool inside = got >= into.data() && got < into.data() + into.size();
    EXPECT_EQ(inside, r.refers);

    // Cut short, a large value is refused as in a copying read: nothing points past the bytes.
    TParaMgr cut;
    EXPECT_EQ(cut.Unpack_Para_Refer(into.data() + 4, into.size() - 5), 1);
    EXPECT_EQ(cut.Find_Para("rows"), nullptr);
  }
}

// A pack that holds what its values refer to lets go of it when it is reset.
TEST(PackPara, HoldLastsUntilReset) {
  auto kept = std::make_shared<const std::string>(std::string(100, 'x'));
  std::weak_ptr<const std::string> watch = kept;
  TParaMgr m;
  m.Put_Shared("d", kept);
  kept.reset();
  EXPECT_FALSE(watch.expired());
  TParaMgr copy;
  copy.Copy_Para(&m);  // a copy owns its bytes
  m.Reset_Para();
  EXPECT_TRUE(watch.expired());
  int size = 0;
  const void* v = copy.Get_Data("d", &size);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(v), 100), std::string(100, 'x'));
}
