// TTreeView, TTreeNode and TTreeNodes: node order, navigation, changes (batched or not), selection,
// icons, keys and custom drawing, seen through the view as a user sees it.
#include <gtest/gtest.h>

#include <QPixmap>
#include <QTest>
#include <tuple>

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
        a = n->AddChildObject(nullptr, "A", &tag);
        a1 = n->AddChild(a, "A1");
        a1a = n->AddChild(a1, "A1a");
        a2 = n->AddChild(a, "A2");
        b = n->AddChild(nullptr, "B");
        b1 = n->AddChild(b, "B1");
        c = n->Add(b, "C");  // a sibling of B: a root
    }
    QString order(bool backwards) {
        QStringList out;
        TTreeNodes* n = tree->Items();
        for (TTreeNode* i = backwards ? n->GetNodeFromIndex(n->Count() - 1) : n->GetFirstNode(); i;
             i = backwards ? i->GetPrev() : i->GetNext())
            out << i->Text() + QString::number(i->AbsoluteIndex());
        return out.join(' ');
    }
    // The rows the view shows, top to bottom.
    QString shown() {
        QStringList out;
        for (QModelIndex i = tree->indexAt(QPoint(1, 1)); i.isValid(); i = tree->indexBelow(i))
            out << i.data().toString();
        return out.join(' ');
    }

    int tag = 1;
    std::unique_ptr<TTreeView> tree;
    TTreeNode *a, *a1, *a1a, *a2, *b, *b1, *c;
};

TEST_F(TreeTest, NodeOrderAndPlaces) {
    EXPECT_EQ(order(false), "A0 A11 A1a2 A23 B4 B15 C6");  // depth first, expanded or not
    EXPECT_EQ(order(true), "C6 B15 B4 A23 A1a2 A11 A0");
    EXPECT_EQ(tree->Items()->GetNodeFromIndex(7), nullptr);
    struct Row { const char* name; TTreeNode *node, *parent; int level, index, count; TTreeNode *firstChild, *next, *prev; } rows[] = {
        {"root with children", a, nullptr, 0, 0, 2, a1, b, nullptr}, {"inner node", a1, a, 1, 0, 1, a1a, a2, nullptr},
        {"leaf at depth 2", a1a, a1, 2, 0, 0, nullptr, nullptr, nullptr},
        {"last child", a2, a, 1, 1, 0, nullptr, nullptr, a1}, {"last root", c, nullptr, 0, 2, 0, nullptr, nullptr, b},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(std::make_tuple(r.node->Level(), r.node->Index(), r.node->Count()), std::make_tuple(r.level, r.index, r.count));
        EXPECT_EQ(std::vector<TTreeNode*>(
                      {r.node->Parent(), r.node->getFirstChild(), r.node->getNextSibling(), r.node->getPrevSibling()}),
                  std::vector<TTreeNode*>({r.parent, r.firstChild, r.next, r.prev})) << "parent, first child, next, previous";
    }
    EXPECT_EQ(a->Data(), &tag);
    EXPECT_TRUE(a1a->HasAsParent(a) && !a->HasAsParent(a1a));
    EXPECT_EQ(shown(), "A B C");
}

TEST_F(TreeTest, ChangesReachOrderAndViewBatchedOrNot) {
    std::vector<QString> deleted;
    tree->OnDeletion = [&](TObject*, TTreeNode* n) { deleted.push_back(n->Text()); };
    TTreeNodes* n = tree->Items();
    n->Delete(a1);
    TTreeNode* b0 = n->Insert(b, "b0");
    n->AddChildFirst(a, "A0"), a2->SetText(u"A2x", -1), a->Expand(false);
    EXPECT_EQ(shown(), "A A0 A2x b0 B C");
    EXPECT_EQ(deleted, (std::vector<QString>{"A1", "A1a"}));  // parents first

    // Inside an update the view keeps the tree it knew; the end announces the appends.
    struct Step { const char* name; std::function<void()> act; const char* shown; } steps[] = {
        {"append under an open node and a new node, batched", [&] { n->AddChild(n->AddChild(a, "A3"), "A3a"); },
         "A A0 A2x b0 B C"},
        {"nested update ends", [&] { n->BeginUpdate(), n->AddChild(nullptr, "D"), n->EndUpdate(); }, "A A0 A2x b0 B C"},
        {"a selection announces what is pending", [&] { tree->SetSelected(n->AddChild(nullptr, "E")); },
         "A A0 A2x A3 b0 B C D E"},
        {"a deletion too", [&] { n->AddChild(nullptr, "F"), n->Delete(b0); }, "A A0 A2x A3 B C D E F"},
    };
    n->BeginUpdate();
    for (const Step& s : steps) {
        s.act();
        EXPECT_EQ(shown(), s.shown) << s.name;
    }
    n->AddChild(nullptr, "G"), n->EndUpdate();
    EXPECT_EQ(shown(), "A A0 A2x A3 B C D E F G");
    EXPECT_TRUE(tree->Selected()->Text() == "E" && n->Count() == 12);

    deleted.clear(), n->Clear();
    EXPECT_TRUE(deleted.size() == 12u && shown().isEmpty());
    n->AddChild(n->AddChild(nullptr, "X"), "Y"), deleted.clear();
    tree.reset();  // destroying the view reports every node left
    EXPECT_EQ(deleted, (std::vector<QString>{"X", "Y"}));
}

TEST_F(TreeTest, SelectionExpansionIconsAndKeys) {
    std::vector<TTreeNode*> changes;
    tree->OnChange = [&](TObject*, TTreeNode* n) { changes.push_back(n); };
    tree->SetSelected(a1a), b1->SetSelected(true);
    EXPECT_TRUE(b1->Selected() && !a1a->Selected());
    tree->SetSelected(nullptr);
    EXPECT_EQ(tree->Selected(), nullptr);
    EXPECT_EQ(changes, (std::vector<TTreeNode*>{a1a, b1, nullptr}));

    struct Step { const char* what; std::function<void()> act; bool aOpen, a1Open; } steps[] = {
        {"expand one level", [&] { a->Expand(false); }, true, false},
        {"expand all below", [&] { a->Expand(true); }, true, true},
        {"collapse one level keeps the inner state", [&] { a->Collapse(false); }, false, true},
        {"collapse all below", [&] { a->Collapse(true); }, false, false},
        {"make visible opens the parents", [&] { a1a->MakeVisible(); }, true, true},
    };
    for (const Step& s : steps) {
        s.act();
        EXPECT_EQ(std::make_pair(a->Expanded(), a1->Expanded()), std::make_pair(s.aOpen, s.a1Open)) << s.what;
    }

    QPixmap red(16, 16), green(16, 16);
    red.fill(Qt::red), green.fill(Qt::green), tree->SetImages({QIcon(red), QIcon(green)});
    a->SetImageIndex(0), a->SetSelectedIndex(1);
    b->SetImageIndex(7);  // outside the list: no icon
    auto icon = [&](TTreeNode* n) {
        const QIcon i = tree->IndexOf(n).data(Qt::DecorationRole).value<QIcon>();
        return i.isNull() ? QColor() : i.pixmap(16, 16).toImage().pixelColor(8, 8);
    };
    EXPECT_TRUE(icon(a) == QColor(Qt::red) && !icon(b).isValid());
    tree->SetSelected(a);
    EXPECT_EQ(icon(a), QColor(Qt::green));  // the current node shows its selected image

    tree->OnKeyDown = [&](TObject*, WORD& k, TShiftState s) {
        if (k == 'K' && s.Contains(ssCtrl)) tree->SetSelected(tree->Selected()->GetNext()), k = 0;
    };
    QTest::keyClick(tree.get(), Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(tree->Selected(), a1);  // swallowed: the handler moved on in node order
    QTest::keyClick(tree.get(), Qt::Key_Down);
    EXPECT_EQ(tree->Selected(), a1a);  // other keys still reach the view
}

// A click selects the node before OnChange runs (the handler reads it as Selected()); a click on no
// node (null), or a Ctrl+click on the selected one, keeps the selection.
TEST_F(TreeTest, MouseKeepsOneNodeSelected) {
    tree->show();
    TTreeNode* seen = nullptr;
    tree->OnChange = [&](TObject*, TTreeNode*) { seen = tree->Selected(); };
    const struct { const char* what; TTreeNode* on; bool ctrl; TTreeNode* selected; } clicks[] = {
        {"a click", b, false, b}, {"Ctrl+click on the selected node", b, true, b},
        {"a click below the last node", nullptr, false, b}, {"Ctrl+click on another node", c, true, c}};
    for (const auto& k : clicks) {
        const QPoint at = k.on ? k.on->DisplayRect(true).toQRect().center() : QPoint(5, tree->height() - 9);
        const Qt::KeyboardModifiers mods = k.ctrl ? Qt::ControlModifier : Qt::NoModifier;
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, mods, at);
        EXPECT_TRUE(tree->Selected() == k.selected && seen == k.selected) << k.what;
    }
}

TEST_F(TreeTest, CustomDrawingColoursTheBackgroundAndTheSelectedItem) {
    tree->show(), tree->SetSelected(b);
    int items = 0;
    tree->OnCustomDraw = [&](TTreeView* v, const TRect& r, bool&) { v->Canvas()->Brush->Color = 0xF3F3F2, v->Canvas()->FillRect(r); };
    tree->OnCustomDrawItem = [&](TTreeView* v, TTreeNode* n, TCustomDrawState state, const TRect&, bool&) {
        ++items;
        if (state & cdsSelected) v->Canvas()->Brush->Color = n == b ? 0xFF0000 : clLime;  // blue for B
    };
    const QImage img = tree->viewport()->grab().toImage();
    EXPECT_EQ(items, 3) << "the three roots are the visible rows";
    const QRect sel = b->DisplayRect(true).toQRect();
    EXPECT_EQ(img.pixelColor(sel.right() - 2, sel.center().y()), QColor(0, 0, 0xFF));
    EXPECT_EQ(img.pixelColor(img.width() - 3, img.height() - 3), QColor(0xF2, 0xF3, 0xF3));
    // A cleared DefaultDraw of the whole view leaves only what the handler drew.
    tree->OnCustomDraw = [&](TTreeView* v, const TRect& r, bool& def) {
        v->Canvas()->Brush->Color = clLime, v->Canvas()->FillRect(r), def = false;
    };
    const QImage only = tree->viewport()->grab().toImage();
    EXPECT_EQ(only.pixelColor(sel.right() - 2, sel.center().y()), QColor(0, 0xFF, 0));
}

}  // namespace
