// The tree views' Qt forms: codes and dictionary ids as QString, the selected code as a value.
#include "controls/support.h"
#include "controls/tree/Mtreeview.h"
#include "controls/tree/Treeview_ext.h"

namespace {

TEST(TreeQt, CodesAndCaptionsAsQString) {
  zt::App();
  MTreeView tree;
  tree.Set_Caption_With_Code(true);
  TTreeNode* root = tree.TN_Add(nullptr, 1, QStringLiteral("01"), QString::fromUtf16(u"总部"));
  TTreeNode* child = tree.TN_Add(root, 1, QString::fromUtf16(u"甲02"), QString::fromUtf16(u"财务部"));
  EXPECT_EQ(child->Text(), QString::fromUtf16(u"甲02 财务部"));
  EXPECT_EQ(tree.code(child), QString::fromUtf16(u"甲02"));
  EXPECT_EQ(tree.TN_Get(1, QString::fromUtf16(u"甲02")), child);
  EXPECT_EQ(tree.TN_Update(child, QStringLiteral("0102"), QString::fromUtf16(u"会计部")), 1);
  EXPECT_EQ(child->Text(), QString::fromUtf16(u"0102 会计部"));
  tree.SetSelected(child);
  EXPECT_EQ(tree.selectedCode(), QStringLiteral("0102"));
  EXPECT_EQ(tree.Search_Str(QString::fromUtf16(u"总部")), 0) << "found";
  EXPECT_EQ(tree.selectedCode(), QStringLiteral("01"));
  EXPECT_EQ(tree.code(nullptr), QString());

  TTreeView_Ext dict;
  TTreeNode* item = dict.AddItem(nullptr, QString::fromUtf16(u"乙9"), QString::fromUtf16(u"仓储 € 部"));
  EXPECT_EQ(item->Text(), QString::fromUtf16(u"仓储 € 部")) << "the text is kept whole";
  EXPECT_EQ(dict.selectedCode(), QString()) << "nothing selected";
  dict.SetSelected(item);
  EXPECT_EQ(dict.selectedCode(), QString::fromUtf16(u"乙9"));
}

}  // namespace
