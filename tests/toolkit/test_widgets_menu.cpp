// Pop-up menus, the clipboard and the system services of the toolkit layer, through their public names.
#include "toolkit/tk_clipboard.h"
#include "toolkit/tk_edit.h"
#include "toolkit/tk_menu.h"
#include "toolkit/tk_system.h"
#include "toolkit/tk_test_app.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

namespace {

QString W(const char16_t* s) { return QString::fromUtf16(s); }

TMenuItem* item(QObject* owner, const QString& name, const QString& caption) {
    auto* it = new TMenuItem(owner);
    return it->SetName(name), it->SetCaption(caption), it;
}

// The texts of a QMenu's actions in order ("-" for separators), as the user would see them.
QStringList shown(QMenu* m) {
    QStringList out;
    for (QAction* a : m->actions()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

using MenuTest = zt::TkTest;

TEST_F(MenuTest, ItemsAreAddedInsertedAndFoundByName) {
    TPopupMenu menu;
    menu.SetAutoHotkeys(maManual);
    TMenuItem* root = menu.Items();
    root->Add(item(&menu, "copy", W(u" 复制全部表格内容")));
    root->Add(item(&menu, "sep1", "-"));
    TMenuItem* sub = item(&menu, "schemes", "Schemes");
    root->Add(sub);
    sub->Add(item(&menu, "scheme_a", "A"));
    sub->Add(item(&menu, "scheme_b", "B"));
    root->Insert(0, item(&menu, "first", "First"));
    root->Insert(99, item(&menu, "last", "Last"));  // out of range appends

    ASSERT_EQ(menu.Count(), 5);
    EXPECT_EQ(shown(menu.menu()), (QStringList{"First", W(u" 复制全部表格内容"), "-", "Schemes", "Last"}));
    TMenuItem* b = menu.FindItem("scheme_b");
    EXPECT_TRUE(b == sub->Items(1) && b->Parent() == sub && b->PopupMenu() == &menu) << "found in a submenu";
    EXPECT_EQ(menu.FindItem("nothing"), nullptr);
    EXPECT_EQ(root->Find("&Schemes"), sub) << "accelerator marks do not count";
    EXPECT_EQ(root->Find("schemes"), nullptr) << "captions compare exactly";
    EXPECT_TRUE(sub->MenuIndex() == 3 && root->Items(-1) == nullptr && root->Items(5) == nullptr);
    ASSERT_NE(sub->menu(), nullptr);
    EXPECT_EQ(sub->action()->menu(), sub->menu());
    EXPECT_EQ(shown(sub->menu()), (QStringList{"A", "B"}));
}

TEST_F(MenuTest, RemoveGivesTheItemBackToItsOwnerAndDeleteTakesItOut) {
    QObject grid;  // stands for the control that owns its own item while it sits in a host's menu
    TPopupMenu hostMenu;
    hostMenu.SetAutoHotkeys(maManual);
    hostMenu.Items()->Add(item(&hostMenu, "host_item", "Host"));
    QPointer<TMenuItem> gridItem = item(&grid, "grid_base_fun_1", "Grid");
    hostMenu.Items()->Insert(0, gridItem);
    EXPECT_TRUE(gridItem->parent() == hostMenu.Items() && shown(hostMenu.menu()) == (QStringList{"Grid", "Host"}));

    hostMenu.Items()->Remove(gridItem);
    ASSERT_FALSE(gridItem.isNull());
    EXPECT_TRUE(gridItem->parent() == &grid && gridItem->Parent() == nullptr) << "back with its owner";
    EXPECT_EQ(shown(hostMenu.menu()), QStringList{"Host"});

    // Moving an item from one menu to another takes it out of the first.
    TPopupMenu other;
    other.Items()->Add(gridItem);
    hostMenu.Items()->Add(gridItem);
    EXPECT_TRUE(other.Count() == 0 && hostMenu.Count() == 2);

    QPointer<TMenuItem> host = hostMenu.FindItem("host_item");
    delete host.data();
    EXPECT_TRUE(hostMenu.Count() == 1 && hostMenu.menu()->actions().size() == 1);
    hostMenu.Items()->Clear();
    EXPECT_TRUE(hostMenu.Count() == 0 && gridItem.isNull()) << "Clear deletes, whoever the owner was";
}

TEST_F(MenuTest, ItemStateReachesTheActionAndClicksReportTheItem) {
    TPopupMenu menu;
    TMenuItem* it = item(&menu, "lock", "Lock");
    menu.Items()->Add(it);
    TObject* sender = nullptr;
    int clicks = 0;
    it->OnClick = [&](TObject* s) {
        sender = s;
        ++clicks;
    };

    it->SetVisible(false);
    it->SetEnabled(false);
    EXPECT_TRUE(!it->action()->isVisible() && !it->action()->isEnabled());
    it->SetVisible(true);
    it->SetEnabled(true);
    it->SetChecked(true);
    EXPECT_TRUE(it->action()->isVisible() && it->action()->isEnabled() && it->action()->isChecked());

    it->action()->trigger();
    EXPECT_TRUE(clicks == 1 && sender == it);
    EXPECT_TRUE(it->Checked() && it->action()->isChecked()) << "choosing an item does not tick or untick it";

    it->SetCaption("-");
    EXPECT_TRUE(it->IsLine() && it->action()->isSeparator());
    it->SetCaption("Unlock");
    EXPECT_FALSE(it->action()->isSeparator());
}

// Items are fields alone until a menu shows them or a caller asks for their action: what was set before
// must be what the action shows.
TEST_F(MenuTest, StateSetBeforeTheActionIsMadeIsWhatItShows) {
    struct Row {
        const char* name;
        std::function<void(TMenuItem*)> set;
        bool visible, enabled, checkable, checked, separator;
        QString text;
    };
    const Row rows[] = {
        {"untouched", [](TMenuItem*) {}, true, true, false, false, false, "Lock"},
        {"hidden and disabled",
         [](TMenuItem* i) {
             i->SetVisible(false);
             i->SetEnabled(false);
         },
         false, false, false, false, false, "Lock"},
        {"checked", [](TMenuItem* i) { i->SetChecked(true); }, true, true, true, true, false, "Lock"},
        {"checked then unchecked keeps room for the mark",
         [](TMenuItem* i) {
             i->SetChecked(true);
             i->SetChecked(false);
         },
         true, true, true, false, false, "Lock"},
        {"a line", [](TMenuItem* i) { i->SetCaption("-"); }, true, true, false, false, true, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TPopupMenu menu;
        menu.SetAutoHotkeys(maManual);
        TMenuItem* it = item(&menu, "lock", "Lock");
        menu.Items()->Add(it);
        r.set(it);
        QAction* a = menu.menu()->actions().value(0);
        ASSERT_TRUE(a != nullptr && a == it->action());
        EXPECT_EQ(a->isVisible(), r.visible);
        EXPECT_EQ(a->isEnabled(), r.enabled);
        EXPECT_EQ(a->isCheckable(), r.checkable);
        EXPECT_EQ(a->isChecked(), r.checked);
        EXPECT_EQ(a->isSeparator(), r.separator);
        EXPECT_EQ(a->text(), r.text);
    }
    // A submenu filled before anything was shown opens with its entries.
    TPopupMenu menu;
    menu.SetAutoHotkeys(maManual);
    TMenuItem* sub = item(&menu, "sub", "Sub");
    sub->Add(item(&menu, "a", "A"));
    menu.Items()->Add(sub);
    sub->Add(item(&menu, "b", "B"));
    ASSERT_EQ(menu.menu()->actions().size(), 1);
    ASSERT_EQ(menu.menu()->actions()[0]->menu(), sub->menu());
    EXPECT_EQ(shown(sub->menu()), (QStringList{"A", "B"}));
}

// A menu given a fill makes its entries at the first look, by whichever way it comes, and only once.
TEST_F(MenuTest, AFillMakesTheEntriesOnceAtTheFirstLook) {
    struct Row {
        const char* name;
        std::function<void(TPopupMenu&)> look;
    };
    const Row rows[] = {
        {"Items()", [](TPopupMenu& m) { m.Items(); }},
        {"Count()", [](TPopupMenu& m) { m.Count(); }},
        {"Items(i)", [](TPopupMenu& m) { m.Items(0); }},
        {"FindItem", [](TPopupMenu& m) { m.FindItem("two"); }},
        {"menu()", [](TPopupMenu& m) { m.menu(); }},
        {"Popup", [](TPopupMenu& m) { m.Popup(10, 10); }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TPopupMenu menu;
        menu.SetAutoHotkeys(maManual);
        int fills = 0;
        menu.SetFill([&fills](TPopupMenu* m) {
            ++fills;
            m->Items()->Add(item(m, "one", "One"));
            m->Items()->Add(item(m, "two", "Two"));
        });
        EXPECT_EQ(fills, 0);
        r.look(menu);
        EXPECT_EQ(fills, 1);
        EXPECT_EQ(shown(menu.menu()), (QStringList{"One", "Two"}));
        EXPECT_EQ(menu.FindItem("two"), menu.Items(1));
        EXPECT_EQ(fills, 1);
        menu.menu()->hide();
    }
}

TEST_F(MenuTest, AutomaticHotkeysMarkShownTextsButKeepCaptions) {
    struct Row { const char* name; TMenuAutoFlag flag; QStringList captions, expected; };
    const Row rows[] = {
        {"automatic: first free letter", maAutomatic, {"Copy", "Cut", "Paste"}, {"&Copy", "C&ut", "&Paste"}},
        {"automatic: explicit marks are kept and reserved", maAutomatic, {"&Undo", "Use"}, {"&Undo", "U&se"}},
        {"automatic: no letter, no mark", maAutomatic, {W(u"查找"), W(u"查找Ctrl+K")}, {W(u"查找"), W(u"查找&Ctrl+K")}},
        {"manual: texts as given", maManual, {"Copy", "Cut"}, {"Copy", "Cut"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TPopupMenu menu;
        menu.SetAutoHotkeys(r.flag);
        for (const QString& c : r.captions) menu.Items()->Add(item(&menu, QString(), c));
        int popups = 0;
        menu.OnPopup = [&](TObject*) { ++popups; };
        menu.Popup(10, 10);
        EXPECT_TRUE(popups == 1 && menu.menu()->isVisible());
        EXPECT_EQ(shown(menu.menu()), r.expected);
        for (int i = 0; i < r.captions.size(); ++i) EXPECT_EQ(menu.Items(i)->Caption(), r.captions[i]);
        menu.menu()->hide();
    }
}

// A context event that OnContextPopup handles opens no menu; one it leaves opens the control's menu (where,
// and for whom, is checked through the grid in tk_grid_test.cpp).
TEST_F(MenuTest, ControlOpensItsPopupMenuOnContextEventUnlessHandled) {
    TEdit edit;
    TPopupMenu menu;
    edit.show();
    menu.Items()->Add(item(&menu, "a", "A"));
    edit.SetPopupMenu(&menu);
    bool handle = true;
    edit.OnContextPopup = [&](TObject*, TPoint, bool& handled) { handled = handle; };
    for (bool h : {true, false}) {
        handle = h;
        QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(5, 6), edit.mapToGlobal(QPoint(5, 6)));
        QCoreApplication::sendEvent(&edit, &ev);
        EXPECT_EQ(menu.menu()->isVisible(), !h) << (h ? "handled" : "left to the menu");
    }
    menu.menu()->hide();
}

TEST(ClipboardTest, ChineseTextRoundTripsAndClears) {
    tkTestApp();
    const char16_t* text = u"编码\t名称\r\n01\t销售部\r\n";
    Clipboard()->SetAsText(text);
    EXPECT_TRUE(Clipboard()->HasText() && Clipboard()->AsText() == QString::fromUtf16(text));

    char16_t buf[5];
    EXPECT_EQ(Clipboard()->GetTextBuf(buf, 5), 4);
    EXPECT_EQ(std::u16string(buf), std::u16string(u"编码\t名"));
    EXPECT_EQ(Clipboard()->GetTextBuf(nullptr, 5) + Clipboard()->GetTextBuf(buf, 0), 0) << "no room";

    Clipboard()->SetAsText(static_cast<const char16_t*>(nullptr));
    EXPECT_TRUE(!Clipboard()->HasText() && Clipboard()->AsText().isEmpty());
}

TEST(SystemTest, VirtualKeysMapToQtAndBack) {
    const WORD keys[] = {'A', 'Z', '0', '9', VK_F1, VK_F12, VK_RETURN, VK_ESCAPE, VK_BACK, VK_TAB, VK_UP,
                         VK_DOWN, VK_LEFT, VK_RIGHT, VK_PRIOR, VK_NEXT, VK_HOME, VK_END, VK_DELETE, VK_INSERT};
    for (WORD vk : keys) {
        SCOPED_TRACE(vk);
        const int q = QtKeyFromVk(vk);
        ASSERT_NE(q, 0);
        EXPECT_EQ(vkFromQtKey(q), vk);
    }
    EXPECT_TRUE(QtKeyFromVk(0) == 0 && QtKeyFromVk(VK_LCONTROL) == int(Qt::Key_Control));
}

TEST(SystemTest, PostedKeysArriveThroughTheEventLoopInOrder) {
    tkTestApp();
    TEdit edit;
    std::vector<WORD> downs;
    std::u16string typed;
    edit.OnKeyDown = [&](TObject*, WORD& k, TShiftState) { downs.push_back(k); };
    edit.OnKeyPress = [&](TObject*, char16_t& c) { typed += c; };

    ASSERT_TRUE(PostKeyDown(&edit, VK_DOWN) && PostKeyDown(&edit, 'A', ssShift) && PostKeyDown(&edit, 'B'));
    EXPECT_TRUE(downs.empty()) << "posted, not sent";
    QCoreApplication::processEvents();
    EXPECT_EQ(downs, (std::vector<WORD>{VK_DOWN, 'A', 'B'}));
    EXPECT_TRUE(typed == u"Ab" && edit.Text() == "Ab");

    EXPECT_FALSE(PostKeyDown(nullptr, VK_DOWN) || PostKeyDown(&edit, 0)) << "no control, no key";
    EXPECT_TRUE(SendKeyDown(&edit, 'C'));
    EXPECT_EQ(edit.Text(), "Abc");
}

TEST(SystemTest, TheActiveFormIsTheActiveWindow) {
    tkTestApp();
    QWidget form;
    form.setObjectName("main_form");
    form.resize(100, 60);
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_TRUE(ApplicationActive() && ActiveForm() == &form);
}

TEST(SystemTest, ModifierStateFollowsTheKeyboard) {
    tkTestApp();
    TEdit edit;
    edit.show();
    struct Row { const char* name; Qt::Key key; Qt::KeyboardModifier mod; WORD vk; TShiftStateFlag state; bool (*held)(); };
    const Row rows[] = {
        {"ctrl", Qt::Key_Control, Qt::ControlModifier, VK_CONTROL, ssCtrl, &CtrlDown},
        {"shift", Qt::Key_Shift, Qt::ShiftModifier, VK_SHIFT, ssShift, &ShiftDown},
        {"alt", Qt::Key_Alt, Qt::AltModifier, VK_MENU, ssAlt, &AltDown},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        QTest::keyPress(&edit, r.key, r.mod);
        EXPECT_TRUE(r.held() && IsKeyDown(r.vk) && KeyboardState().Contains(r.state));
        QTest::keyRelease(&edit, r.key, Qt::NoModifier);
        EXPECT_FALSE(r.held());
    }
    EXPECT_FALSE(IsKeyDown('A'));  // only modifiers are tracked
}

}  // namespace
