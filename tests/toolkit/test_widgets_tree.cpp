// TTreeView, TTreeNode and TTreeNodes: node order, navigation, selection, deletion and custom drawing.
#include "toolkit/tk_test_app.h"
#include "toolkit/tk_tree.h"

#include <QPixmap>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class TreeTest : public ::testing::Test {
protected:
    // A (A1 (A1a), A2), B (B1), C
    void SetUp() override {
        tkTestApp();
        tree = std::make_unique<TTreeView>();
        tree->resize(200, 200);
        TTreeNodes* n = tree->Items();
        a = n->AddChildObject(nullptr, "A", &tags[0]);
        a1 = n->AddChildObject(a, "A1", &tags[1]);
        a1a = n->AddChildObject(a1, "A1a", nullptr);
        a2 = n->AddChild(a, "A2");
        b = n->AddChild(nullptr, "B");
        b1 = n->AddChild(b, "B1");
        c = n->Add(b, "C");  // a sibling of B: a root
    }

    QStringList order(bool backwards) {
        QStringList out;
        TTreeNode* node = backwards ? tree->Items()->GetNodeFromIndex(tree->Items()->Count() - 1)
                                    : tree->Items()->GetFirstNode();
        for (; node; node = backwards ? node->GetPrev() : node->GetNext()) out << node->Text();
        return out;
    }

    int tags[2] = {1, 2};
    std::unique_ptr<TTreeView> tree;
    TTreeNode *a, *a1, *a1a, *a2, *b, *b1, *c;
};

TEST_F(TreeTest, NodeOrderIsDepthFirstWhetherExpandedOrNot) {
    const QStringList depthFirst{"A", "A1", "A1a", "A2", "B", "B1", "C"};
    EXPECT_EQ(order(false), depthFirst);
    QStringList reversed(depthFirst.rbegin(), depthFirst.rend());
    EXPECT_EQ(order(true), reversed);
    ASSERT_EQ(tree->Items()->Count(), 7);
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(tree->Items()->GetNodeFromIndex(i)->Text(), depthFirst[i]);
        EXPECT_EQ(tree->Items()->GetNodeFromIndex(i)->AbsoluteIndex(), i);
    }
    EXPECT_EQ(tree->Items()->GetNodeFromIndex(-1), nullptr);
    EXPECT_EQ(tree->Items()->GetNodeFromIndex(7), nullptr);
    tree->FullExpand();
    EXPECT_EQ(order(false), depthFirst);
}

TEST_F(TreeTest, NodesKnowTheirPlace) {
    struct Row {
        const char* name;
        TTreeNode* node;
        TTreeNode* parent;
        int level, index, count;
        TTreeNode* firstChild;
        TTreeNode* nextSibling;
        TTreeNode* prevSibling;
    };
    const Row rows[] = {
        {"root with children", a, nullptr, 0, 0, 2, a1, b, nullptr},
        {"inner node", a1, a, 1, 0, 1, a1a, a2, nullptr},
        {"leaf at depth 2", a1a, a1, 2, 0, 0, nullptr, nullptr, nullptr},
        {"last child", a2, a, 1, 1, 0, nullptr, nullptr, a1},
        {"last root", c, nullptr, 0, 2, 0, nullptr, nullptr, b},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(r.node->Parent(), r.parent);
        EXPECT_EQ(r.node->Level(), r.level);
        EXPECT_EQ(r.node->Index(), r.index);
        EXPECT_EQ(r.node->Count(), r.count);
        EXPECT_EQ(r.node->getFirstChild(), r.firstChild);
        EXPECT_EQ(r.node->getNextSibling(), r.nextSibling);
        EXPECT_EQ(r.node->getPrevSibling(), r.prevSibling);
        EXPECT_EQ(r.node->TreeView(), tree.get());
    }
    EXPECT_EQ(a->Data(), &tags[0]);
    EXPECT_EQ(a1->Data(), &tags[1]);
    EXPECT_EQ(a2->Data(), nullptr);
    EXPECT_TRUE(a1a->HasAsParent(a));
    EXPECT_FALSE(a->HasAsParent(a1a));
    EXPECT_EQ(a->Item(5), nullptr);
}

TEST_F(TreeTest, ChangesToTheTreeRenewTheOrder) {
    std::vector<QString> deleted;
    tree->OnDeletion = [&](TObject*, TTreeNode* n) { deleted.push_back(n->Text()); };
    EXPECT_EQ(tree->Items()->Count(), 7);
    tree->Items()->Delete(a1);
    EXPECT_EQ(deleted, (std::vector<QString>{"A1", "A1a"}));
    EXPECT_EQ(order(false), (QStringList{"A", "A2", "B", "B1", "C"}));
    tree->Items()->Insert(b, "before B");
    tree->Items()->AddChildFirst(a, "A0");
    EXPECT_EQ(order(false), (QStringList{"A", "A0", "A2", "before B", "B", "B1", "C"}));
    EXPECT_EQ(b->AbsoluteIndex(), 4);
    deleted.clear();
    tree->Items()->Clear();
    EXPECT_EQ(deleted.size(), 7u);
    EXPECT_EQ(tree->Items()->Count(), 0);
    EXPECT_EQ(tree->Items()->GetFirstNode(), nullptr);
}

TEST_F(TreeTest, DestroyingTheViewReportsEveryNode) {
    int deleted = 0;
    tree->OnDeletion = [&](TObject*, TTreeNode*) { ++deleted; };
    tree.reset();
    EXPECT_EQ(deleted, 7);
}

TEST_F(TreeTest, SelectionAndChangeEvent) {
    std::vector<TTreeNode*> changes;
    tree->OnChange = [&](TObject*, TTreeNode* n) { changes.push_back(n); };
    EXPECT_EQ(tree->Selected(), nullptr);
    tree->SetSelected(a1a);
    EXPECT_EQ(tree->Selected(), a1a);
    EXPECT_TRUE(a1a->Selected());
    b1->SetSelected(true);
    EXPECT_EQ(tree->Selected(), b1);
    EXPECT_FALSE(a1a->Selected());
    tree->SetSelected(nullptr);
    EXPECT_EQ(tree->Selected(), nullptr);
    EXPECT_EQ(changes, (std::vector<TTreeNode*>{a1a, b1, nullptr}));
}

TEST_F(TreeTest, ExpandAndCollapseWithAndWithoutRecursion) {
    a->Expand(false);
    EXPECT_TRUE(a->Expanded());
    EXPECT_FALSE(a1->Expanded());
    a->Expand(true);
    EXPECT_TRUE(a1->Expanded());
    a->Collapse(false);
    EXPECT_FALSE(a->Expanded());
    EXPECT_TRUE(a1->Expanded());
    a->Collapse(true);
    EXPECT_FALSE(a1->Expanded());
    a1a->MakeVisible();
    EXPECT_TRUE(a->Expanded());
    EXPECT_TRUE(a1->Expanded());
}

TEST_F(TreeTest, ImageIndexesPickIconsAndTheSelectedOneFollowsSelection) {
    QPixmap red(16, 16), green(16, 16);
    red.fill(Qt::red);
    green.fill(Qt::green);
    tree->SetImages({QIcon(red), QIcon(green)});
    a->SetImageIndex(0);
    a->SetSelectedIndex(1);
    b->SetImageIndex(7);  // outside the list: no icon
    EXPECT_EQ(a->ImageIndex(), 0);
    EXPECT_EQ(a->icon(0).pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::red));
    EXPECT_TRUE(b->icon(0).isNull());
    tree->SetSelected(a);
    EXPECT_EQ(a->icon(0).pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::green));
    tree->SetSelected(b);
    EXPECT_EQ(a->icon(0).pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::red));
}

TEST_F(TreeTest, CustomDrawingColoursTheBackgroundAndTheSelectedItem) {
    tree->show();
    tree->SetSelected(b);
    int items = 0;
    bool sawSelected = false;
    tree->OnCustomDraw = [&](TTreeView* v, const TRect& r, bool&) {
        v->Canvas()->Brush->Color = 0xF3F3F2;
        v->Canvas()->FillRect(r);
    };
    tree->OnCustomDrawItem = [&](TTreeView* v, TTreeNode*, TCustomDrawState state, const TRect&, bool&) {
        ++items;
        if (state & cdsSelected) {
            sawSelected = true;
            v->Canvas()->Brush->Color = 0xFF0000;  // blue as a toolkit colour
        }
    };
    const QImage img = tree->viewport()->grab().toImage();
    EXPECT_EQ(items, 3);  // the three roots are the visible rows
    EXPECT_TRUE(sawSelected);
    const QRect sel = b->DisplayRect(true).toQRect();
    EXPECT_EQ(img.pixelColor(sel.right() - 2, sel.center().y()), QColor(0, 0, 0xFF));
    EXPECT_EQ(img.pixelColor(img.width() - 3, img.height() - 3), QColor(0xF2, 0xF3, 0xF3));

    // Without the item hook, a cleared DefaultDraw of the whole view leaves only what the handler drew.
    tree->OnCustomDrawItem = nullptr;
    tree->OnCustomDraw = [&](TTreeView* v, const TRect& r, bool& def) {
        v->Canvas()->Brush->Color = clLime;
        v->Canvas()->FillRect(r);
        def = false;
    };
    const QImage only = tree->viewport()->grab().toImage();
    EXPECT_EQ(only.pixelColor(sel.right() - 2, sel.center().y()), QColor(0, 0xFF, 0));
}

TEST_F(TreeTest, KeyDownCanSwallowKeys) {
    tree->show();
    tree->SetSelected(a);
    tree->OnKeyDown = [&](TObject*, WORD& k, TShiftState s) {
        if (k == 'K' && s.Contains(ssCtrl)) {
            TTreeNode* next = tree->Selected()->GetNext();
            if (next) tree->SetSelected(next);
            k = 0;
        }
    };
    QTest::keyClick(tree.get(), Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(tree->Selected(), a1);  // hidden nodes count in node order
    QTest::keyClick(tree.get(), Qt::Key_Down);
    EXPECT_NE(tree->Selected(), a1);  // other keys still reach the view
}

}  // namespace
