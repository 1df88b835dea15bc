// TTreeView, TTreeNode and TTreeNodes: node order, navigation, changes (batched or not), selection,
// icons and custom drawing, seen through the view as a user sees it.
#include <gtest/gtest.h>

#include <QPixmap>
#include <QTest>

#include "toolkit/tk_test_app.h"
#include "toolkit/tk_tree.h"

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
    // The texts of the rows the view shows, top to bottom.
    QStringList shown() {
        QStringList out;
        for (QModelIndex i = tree->indexAt(QPoint(1, 1)); i.isValid(); i = tree->indexBelow(i))
            out << i.data().toString();
        return out;
    }

    int tags[2] = {1, 2};
    std::unique_ptr<TTreeView> tree;
    TTreeNode *a, *a1, *a1a, *a2, *b, *b1, *c;
};

TEST_F(TreeTest, NodeOrderAndPlaces) {
    const QStringList depthFirst{"A", "A1", "A1a", "A2", "B", "B1", "C"};
    EXPECT_EQ(order(false), depthFirst);
    EXPECT_EQ(order(true), QStringList(depthFirst.rbegin(), depthFirst.rend()));
    ASSERT_EQ(tree->Items()->Count(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(tree->Items()->GetNodeFromIndex(i)->Text(), depthFirst[i]) << i;
        EXPECT_EQ(tree->Items()->GetNodeFromIndex(i)->AbsoluteIndex(), i) << i;
    }
    EXPECT_EQ(tree->Items()->GetNodeFromIndex(-1), nullptr);
    EXPECT_EQ(tree->Items()->GetNodeFromIndex(7), nullptr);

    struct Row {
        const char* name;
        TTreeNode *node, *parent;
        int level, index, count;
        TTreeNode *firstChild, *nextSibling, *prevSibling;
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
    EXPECT_EQ(a2->Data(), nullptr);
    EXPECT_TRUE(a1a->HasAsParent(a));
    EXPECT_FALSE(a->HasAsParent(a1a));
    EXPECT_EQ(shown(), (QStringList{"A", "B", "C"}));
}

TEST_F(TreeTest, ChangesRenewOrderViewAndDeletionReports) {
    std::vector<QString> deleted;
    tree->OnDeletion = [&](TObject*, TTreeNode* n) { deleted.push_back(n->Text()); };
    tree->Items()->Delete(a1);
    EXPECT_EQ(deleted, (std::vector<QString>{"A1", "A1a"}));
    tree->Items()->Insert(b, "before B");
    tree->Items()->AddChildFirst(a, "A0");
    a2->SetText(u"A2 renamed", -1);
    EXPECT_EQ(order(false), (QStringList{"A", "A0", "A2 renamed", "before B", "B", "B1", "C"}));
    EXPECT_EQ(b->AbsoluteIndex(), 4);
    a->Expand(false);
    EXPECT_EQ(shown(), (QStringList{"A", "A0", "A2 renamed", "before B", "B", "C"}));
    deleted.clear();
    tree->Items()->Clear();
    EXPECT_EQ(deleted.size(), 7u);
    EXPECT_EQ(tree->Items()->Count(), 0);
    EXPECT_EQ(shown(), QStringList());

    // Destroying the view reports every node left.
    tree->Items()->AddChild(tree->Items()->AddChild(nullptr, "X"), "Y");
    deleted.clear();
    tree.reset();
    EXPECT_EQ(deleted, (std::vector<QString>{"X", "Y"}));
}

TEST_F(TreeTest, BatchedChangesReachTheViewAtTheEnd) {
    tree->show();
    a->Expand(false);
    TTreeNodes* n = tree->Items();
    n->BeginUpdate();
    TTreeNode* a3 = n->AddChild(a, "A3");
    n->AddChild(a3, "A3a");
    n->AddChild(nullptr, "D");
    // The view still shows the tree as it was, while node order already has the new nodes.
    EXPECT_EQ(shown(), (QStringList{"A", "A1", "A2", "B", "C"}));
    EXPECT_EQ(n->Count(), 10);
    EXPECT_EQ(a3->GetNext()->Text(), QStringLiteral("A3a"));
    n->BeginUpdate();  // nested: only the outer end announces
    n->AddChild(b, "B2");
    n->EndUpdate();
    EXPECT_EQ(shown(), (QStringList{"A", "A1", "A2", "B", "C"}));
    n->EndUpdate();
    EXPECT_EQ(shown(), (QStringList{"A", "A1", "A2", "A3", "B", "C", "D"}));
    a3->Expand(false);
    b->Expand(false);
    EXPECT_EQ(shown(), (QStringList{"A", "A1", "A2", "A3", "A3a", "B", "B1", "B2", "C", "D"}));

    // A deletion or a selection inside a batch announces what is pending first.
    n->BeginUpdate();
    TTreeNode* e = n->AddChild(nullptr, "E");
    n->AddChild(nullptr, "F");
    tree->SetSelected(e);
    n->Delete(a3);
    n->EndUpdate();
    EXPECT_EQ(tree->Selected(), e);
    EXPECT_EQ(shown(), (QStringList{"A", "A1", "A2", "B", "B1", "B2", "C", "D", "E", "F"}));
}

TEST_F(TreeTest, SelectionExpansionAndEvents) {
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

    struct Step {
        const char* what;
        std::function<void()> act;
        bool aOpen, a1Open;
    };
    const Step steps[] = {
        {"expand one level", [&] { a->Expand(false); }, true, false},
        {"expand all below", [&] { a->Expand(true); }, true, true},
        {"collapse one level keeps the inner state", [&] { a->Collapse(false); }, false, true},
        {"collapse all below", [&] { a->Collapse(true); }, false, false},
        {"make visible opens the parents", [&] { a1a->MakeVisible(); }, true, true},
    };
    for (const Step& s : steps) {
        s.act();
        EXPECT_EQ(a->Expanded(), s.aOpen) << s.what;
        EXPECT_EQ(a1->Expanded(), s.a1Open) << s.what;
    }
}

TEST_F(TreeTest, IconsFollowImageIndexesAndTheCurrentNode) {
    QPixmap red(16, 16), green(16, 16);
    red.fill(Qt::red);
    green.fill(Qt::green);
    tree->SetImages({QIcon(red), QIcon(green)});
    a->SetImageIndex(0);
    a->SetSelectedIndex(1);
    b->SetImageIndex(7);  // outside the list: no icon
    auto iconColour = [&](TTreeNode* n) {
        const QIcon icon = tree->IndexOf(n).data(Qt::DecorationRole).value<QIcon>();
        return icon.isNull() ? QColor() : icon.pixmap(16, 16).toImage().pixelColor(8, 8);
    };
    EXPECT_EQ(iconColour(a), QColor(Qt::red));
    EXPECT_FALSE(iconColour(b).isValid());
    tree->SetSelected(a);
    EXPECT_EQ(iconColour(a), QColor(Qt::green));
    tree->SetSelected(b);
    EXPECT_EQ(iconColour(a), QColor(Qt::red));
}

TEST_F(TreeTest, CustomDrawingColoursTheBackgroundAndTheSelectedItem) {
    tree->show();
    tree->SetSelected(b);
    int items = 0;
    tree->OnCustomDraw = [&](TTreeView* v, const TRect& r, bool&) {
        v->Canvas()->Brush->Color = 0xF3F3F2;
        v->Canvas()->FillRect(r);
    };
    tree->OnCustomDrawItem = [&](TTreeView* v, TTreeNode* n, TCustomDrawState state, const TRect&, bool&) {
        ++items;
        if (state & cdsSelected) {
            EXPECT_EQ(n, b);
            v->Canvas()->Brush->Color = 0xFF0000;  // blue as a toolkit colour
        }
    };
    const QImage img = tree->viewport()->grab().toImage();
    EXPECT_EQ(items, 3);  // the three roots are the visible rows
    const QRect sel = b->DisplayRect(true).toQRect();
    EXPECT_EQ(img.pixelColor(sel.right() - 2, sel.center().y()), QColor(0, 0, 0xFF));
    EXPECT_EQ(img.pixelColor(img.width() - 3, img.height() - 3), QColor(0xF2, 0xF3, 0xF3));

    // A cleared DefaultDraw of the whole view leaves only what the handler drew.
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
            if (TTreeNode* next = tree->Selected()->GetNext()) tree->SetSelected(next);
            k = 0;
        }
    };
    QTest::keyClick(tree.get(), Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(tree->Selected(), a1);  // hidden nodes count in node order
    QTest::keyClick(tree.get(), Qt::Key_Down);
    EXPECT_NE(tree->Selected(), a1);  // other keys still reach the view
}

}  // namespace
