// DBDataMgr packed form (byte for byte, round trips, truncated and lying buffers) and the XML form.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "data_test_util.h"

namespace {

// The small set whose packed bytes are written out by hand below.
void Build_Small(DBDataMgr* d) {
  d->CFree();
  d->Set_Error(-2, u"ab");
  d->Set_Table_Name(u"t1");
  d->Set_Field_Count(2);
  d->Set_Field_Name(0, u"id");
  d->Set_Field_Caption(0, u"编号");
  d->Set_Field_Size(0, 10);
  d->Set_Field_Decsize(0, -2);
  d->Set_Field_Width(0, 80);
  d->Set_Field_Attr(0, 0x1234);
  d->Set_Field_Name(1, u"v");
  d->Set_Field_Type(1, 'F');
  d->Add_Row();
  d->Set_Value(0, u"A");
  d->Set_Value(1, std::u16string(300, u'x').c_str());
  d->Add_Row();
  d->Set_Value(1, u"");
}

Bytes Small_Bytes() {
  Bytes b = {0xFF, 0xFF, 0xFF, 0xFE,                    // sqlcode -2
             0x00, 0x02, 'a',  0x00,                    // m = 2 code units, then 2 bytes of UTF-16LE
             0x00, 0x02, 'T',  '1',                     // table name
             0x00, 0x02,                                // fields
             0x00, 0x02, 'i',  'd',  'S',  0x00, 0x0A, 0xFE,   // name, type, size, decsize -2
             0x00, 0x06, 0xE7, 0xBC, 0x96, 0xE5, 0x8F, 0xB7,   // caption 编号 in UTF-8
             0x00, 0x50, 0x12, 0x34,                           // width, attr
             0x00, 0x01, 'v',  'F',  0x00, 0x00, 0x00, 0x00, 0x01, 'v', 0x00, 0x00, 0x00, 0x00,
             0x00, 0x00, 0x00, 0x02,                    // rows
             0x01, 0x01, 'A',                           // "A"
             0x02, 0x01, 0x2C};                         // 300 bytes follow
  b.insert(b.end(), 300, 'x');
  b.insert(b.end(), {0x00, 0x00});  // absent, empty
  return b;
}

TEST(DBDataPack, ByteExactForm) {
  DBDataMgr d;
  Build_Small(&d);
  EXPECT_EQ(Pack(&d), Small_Bytes());

  DBDataMgr empty;
  EXPECT_EQ(Pack(&empty), Bytes(14, 0)) << "code, two empty texts, no fields, no rows";
}

TEST(DBDataPack, ValueLengthPrefixes) {
  const struct { const char* name; size_t units; char16_t unit; Bytes prefix; } cases[] = {
      {"empty", 0, u'x', {0x00}}, {"one byte", 1, u'x', {0x01, 0x01}}, {"255 bytes", 255, u'x', {0x01, 0xFF}},
      {"256 bytes", 256, u'x', {0x02, 0x01, 0x00}}, {"85 Chinese = 255 bytes", 85, u'中', {0x01, 0xFF}},
      {"86 Chinese = 258 bytes", 86, u'中', {0x02, 0x01, 0x02}}, {"65536 bytes", 65536, u'x', {0x03, 0x01, 0x00, 0x00}},
  };
  for (const auto& c : cases) {
    DBDataMgr d;
    d.Set_Field_Count(1);
    d.Add_Row();
    d.Set_Value(0, std::u16string(c.units, c.unit).c_str());
    Bytes b = Pack(&d);
    size_t at = 14 + 2 + 1 + 2 + 1 + 2 + 2 + 2;  // header, one field record without name and caption
    ASSERT_GE(b.size(), at + c.prefix.size()) << c.name;
    EXPECT_EQ(Bytes(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + c.prefix.size())), c.prefix)
        << c.name;
    EXPECT_EQ(b.size(), at + c.prefix.size() + (c.unit == u'x' ? c.units : 3 * c.units)) << c.name;
  }
}

TEST(DBDataPack, RoundTrip) {
  DBDataMgr d;
  d.Set_Error(1403, u"error");
  d.Set_Table_Name(u"app_dict_def");
  d.Set_Field_Count(3);
  const char16_t* names[] = {u"编码", u"名称", u"note"};
  for (int i = 0; i < 3; ++i) d.Set_Field_Name(i, names[i]);
  d.Set_Field_Type(0, 'I');
  d.Set_Field_Size(0, 65535);
  d.Set_Field_Decsize(1, 127);
  d.Set_Field_Decsize(2, -128);
  d.Set_Field_Width(2, 300);
  d.Set_Field_Attr(2, 0xFFFF);
  const std::u16string values[][3] = {
      {u"001", u"财务部", u""}, {u"002", u"人力资源部（北京）", u"𠀀 outside the BMP"},
      {u"", u"", std::u16string(70000, u'长')}, {u"-12.50", std::u16string(u"a\0b", 3), u"tab\there"},
  };
  for (const auto& row : values) {
    d.Add_Row();
    for (int i = 0; i < 3; ++i)
      if (!row[i].empty()) d.Set_Value_With_Len(i, row[i].data(), static_cast<int>(row[i].size()));
  }
  Bytes b = Pack(&d);
  ASSERT_FALSE(b.empty());

  DBDataMgr e;
  e.Set_Field_Count(1);
  e.Add_Row();  // whatever was there goes
  ASSERT_EQ(e.Unpack_Data(b.data(), static_cast<int>(b.size())), 1);
  EXPECT_EQ(e.Get_Sqlcode(), 1403);
  EXPECT_EQ(S(e.Get_Sqlmsg()), u"err") << "the message travels as its first m bytes";
  EXPECT_EQ(S(e.Get_Table_Name()), u"APP_DICT_DEF");
  ASSERT_EQ(e.Get_Field_Count(), 3);
  EXPECT_EQ(S(e.Get_Field_Caption(1)), names[1]);
  // The limits of each packed width, signed decsize included.
  EXPECT_EQ(std::make_tuple(e.Get_Field_Type(0), e.Get_Field_Size(0), e.Get_Field_Decsize(1), e.Get_Field_Decsize(2),
                            e.Get_Field_Width(2), e.Get_Field_Attr(2)),
            std::make_tuple('I', 65535, 127, -128, 300, 0xFFFF));
  ASSERT_EQ(e.Get_Row_Count(), 4);
  EXPECT_EQ(e.Get_Cur_Row(), 0);
  for (int r = 0; r < 4; ++r) {
    e.Go_To_Row(r);
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(std::u16string(e.Get_Value(i), static_cast<size_t>(e.Get_Value_Len(i))), values[r][i]) << r << i;
  }
  e.Set_Error(1403, u"error");
  EXPECT_EQ(Pack(&e), b) << "packing the unpacked set (message put back) gives the same bytes";
}

// Every cut of a packed set is refused, and the set that was asked to unpack keeps what it held.
TEST(DBDataPack, TruncatedBuffersAreRefused) {
  DBDataMgr src;
  Build_Small(&src);
  Bytes b = Pack(&src);
  DBDataMgr d;
  d.Set_Field_Count(1);
  d.Set_Field_Name(0, u"keep");
  d.Add_Row();
  d.Set_Value(0, u"me");
  const size_t after_row_count = 52;  // a cut right after the row count is a set without rows
  for (size_t n = 1; n < b.size(); ++n) {
    if (n == after_row_count) continue;
    ASSERT_EQ(d.Unpack_Data(b.data(), static_cast<int>(n)), 0) << "cut at " << n;
    ASSERT_TRUE(d.Get_Field_Count() == 1 && d.Get_Row_Count() == 1 && S(d.Get_Value(0)) == u"me") << "cut at " << n;
  }
  EXPECT_EQ(d.Unpack_Data(nullptr, 5) + d.Unpack_Data(b.data(), 0) + d.Unpack_Data(b.data(), -1), 0) << "no bytes";
  EXPECT_EQ(d.Unpack_Data(b.data(), static_cast<int>(b.size())), 1);
}

TEST(DBDataPack, LyingBuffersAreRefused) {
  const Bytes good = Small_Bytes();
  const size_t rows_at = 48, first_value = 52;  // offsets of the row count and the first value in Small_Bytes
  ASSERT_EQ(good[rows_at + 3], 0x02);
  const struct { const char* name; size_t at; Bytes bytes; } cases[] = {
      {"message longer than the buffer", 4, {0xFF, 0xFF}}, {"table name longer than the buffer", 8, {0x7F, 0x00}},
      {"600 fields", 12, {0x02, 0x58}}, {"field name longer than the buffer", 14, {0xFF, 0xFF}},
      {"caption longer than the buffer", 22, {0x40, 0x00}}, {"more rows than bytes", rows_at, {0x00, 0x00, 0x01, 0x00}},
      {"row count beyond 2^31", rows_at, {0x80, 0x00, 0x00, 0x01}}, {"five length bytes", first_value, {0x05}},
      {"value longer than the buffer", first_value, {0x02, 0xFF, 0xFF}},
      {"four-byte length beyond the buffer", first_value, {0x04, 0x7F, 0xFF, 0xFF}},
  };
  for (const auto& c : cases) {
    Bytes b = good;
    std::copy(c.bytes.begin(), c.bytes.end(), b.begin() + static_cast<long>(c.at));
    DBDataMgr d;
    d.Set_Table_Name(u"before");
    EXPECT_TRUE(d.Unpack_Data(b.data(), static_cast<int>(b.size())) == 0 && S(d.Get_Table_Name()) == u"BEFORE") << c.name;
  }

  // Rows announced but no byte after the count: a set with its fields and no rows.
  Bytes no_rows(good.begin(), good.begin() + static_cast<long>(first_value));
  DBDataMgr d;
  EXPECT_EQ(d.Unpack_Data(no_rows.data(), static_cast<int>(no_rows.size())), 1);
  EXPECT_TRUE(d.Get_Row_Count() == 0 && d.Get_Field_Count() == 2);
  no_rows.push_back(0x00);  // one byte of the first row: truncated
  EXPECT_EQ(d.Unpack_Data(no_rows.data(), static_cast<int>(no_rows.size())), 0);

  // Bytes after the set are left alone; the bounded form says how many were used.
  Bytes tail = good;
  tail.insert(tail.end(), {0xDE, 0xAD});
  size_t used = 0;
  EXPECT_EQ(d.Unpack_Data(tail.data(), tail.size(), &used), 1);
  EXPECT_TRUE(used == good.size() && d.Get_Row_Count() == 2);
  EXPECT_TRUE(d.Unpack_Data(tail.data(), size_t{3}, &used) == 0 && used == 0u) << "a cut set uses nothing";
}

TEST(DBDataPack, UnpackedTextsAreTheConvertersReading) {
  const struct { const char* what; std::string utf8; std::u16string want; } cases[] = {
      {"ASCII", "D000123", u"D000123"},
      {"ideographs", "\xE9\x83\xA8\xE9\x97\xA8", u"部门"},
      {"E0 with its second byte in range", "\xE0\xA4\x85", u"\u0905"},
      {"E0 overlong form", "\xE0\x80\xAFx", u"\uFFFD\uFFFD\uFFFDx"},
      {"ED encoding a surrogate", "\xED\xA0\x80" "a", u"\uFFFD\uFFFD\uFFFDa"},
      {"four-byte form", "a\xF0\x9F\x98\x80", u"a\U0001F600"},
      {"cut three-byte form at the end", "\xE9\x83\xA8\xE9\x97", u"部\uFFFD"},
      {"lone continuation between ideographs", "\xE9\x83\xA8\x80\xE9\x97\xA8", u"部\uFFFD门"},
      {"lead byte followed by ASCII", "\xE9" "A\xC3", u"\uFFFDA\uFFFD"},
  };
  // One text field; each row holds a case's bytes as they are, its length in one byte.
  Bytes b = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 'v', 'S', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, std::size(cases)};
  for (const auto& c : cases) {
    b.insert(b.end(), {0x01, static_cast<unsigned char>(c.utf8.size())});
    b.insert(b.end(), c.utf8.begin(), c.utf8.end());
  }
  DBDataMgr d;
  ASSERT_EQ(d.Unpack_Data(b.data(), static_cast<int>(b.size())), 1);
  ASSERT_EQ(d.Get_Row_Count(), static_cast<int>(std::size(cases)));
  for (size_t r = 0; r < std::size(cases); ++r) {
    d.Go_To_Row(static_cast<int>(r));
    EXPECT_EQ(std::u16string(d.Get_Value(0), static_cast<size_t>(d.Get_Value_Len(0))), cases[r].want) << cases[r].what;
    EXPECT_EQ(Zem_Utf8_To_W(cases[r].utf8), cases[r].want) << cases[r].what << ": the converter reads it alike";
  }
}

TEST(DBDataXml, WritesFieldsAndRows) {
  DBDataMgr d;
  d.Set_Error(5, u"a<b");
  d.Set_Table_Name(u"emp");
  d.Set_Field_Count(2);
  d.Set_Field_Name(0, u"code");
  d.Set_Field_Name(1, u"1st");
  d.Set_Field_Caption(1, u"名");
  d.Set_Field_Size(0, 8);
  d.Add_Row();
  d.Set_Value(0, u"R&D");
  d.Set_Value(1, u"啊");
  std::string x;
  ASSERT_EQ(d.Write_Xml(&x, "data", -1), 1);
  EXPECT_EQ(x,
            "<data type=\"dbio\" sqlcode=\"5\" sqlmsg=\"a&lt;b\" table_name=\"EMP\" colcount=\"2\" rowcount=\"1\">"
            "<col_list><col name=\"code\" caption=\"code\" type=\"S\" size=\"8\" width=\"0\" decsize=\"0\"/>"
            "<col name=\"1st\" caption=\"\xC3\xFB\" type=\"S\" size=\"0\" width=\"0\" decsize=\"0\"/></col_list>"
            "<row_list><row><code>R&amp;D</code><field_1>\xB0\xA1</field_1></row></row_list></data>");
  std::string y;
  d.Write_Xml(&y, "data");
  EXPECT_NE(y.find("\n  <col_list>\n    <col name"), std::string::npos) << y;
}

}  // namespace
