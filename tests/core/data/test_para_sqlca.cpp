// Packs carry query areas as soon as the library is loaded: nothing in this binary runs a start-up.
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/data/para.h"
#include "core/data/sqlca.h"

TEST(ParaSqlca, QueryAreasTravelInPacksBeforeAnyStartup) {
  TSQLCA src, dst;
  src.Add_Field(u"code"), src.Add_Row(), src.Set_Value(0, u"K035390");
  TParaMgr p, back;
  ASSERT_NE(p.Put_Sqlca_Para(u"lst", &src), nullptr);
  int len = 0;
  void* packed = p.Pack_Para(&len, 0, 0);
  ASSERT_EQ(back.Unpack_Para(packed), 1);
  std::free(packed);
  ASSERT_EQ(back.Get_Sqlca_Para(u"lst", &dst), 1);
  EXPECT_EQ(std::u16string(dst.Get_Value(0)), u"K035390");
  std::string xml;
  p.Xml_Doc(&xml);
  EXPECT_NE(xml.find("K035390"), std::string::npos) << xml;
}
