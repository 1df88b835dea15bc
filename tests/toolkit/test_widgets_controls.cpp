// TControl and the simple controls of the toolkit layer: panel, edit, label, speed button, list box and
// combo box, driven through their public names with QTest on offscreen widgets.
#include "toolkit/tk_button.h"
#include "toolkit/tk_combo.h"
#include "toolkit/tk_edit.h"
#include "toolkit/tk_label.h"
#include "toolkit/tk_listbox.h"
#include "toolkit/tk_msgbox.h"
#include "toolkit/tk_panel.h"
#include "toolkit/tk_test_app.h"

#include <QAbstractItemView>
#include <QMessageBox>
#include <QAbstractButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using WidgetsTest = zt::TkTest;

// A panel that counts the layer's Loaded() calls.
class CountingPanel : public TPanel {
public:
    using TPanel::TPanel;
    void Loaded() override { TPanel::Loaded(), ++loads; }
    int loads = 0;
};

TEST_F(WidgetsTest, ControlBoundsClampAndMapBetweenClientAndScreen) {
    QWidget form;
    form.resize(300, 200);
    TPanel panel(&form);
    struct Row { const char* name; int left, top, width, height; TRect expected; };
    const Row rows[] = {{"plain", 3, 1, 132, 21, TRect(3, 1, 135, 22)},
                        {"negative sizes count as 0", 10, 20, -5, -1, TRect(10, 20, 10, 20)},
                        {"negative position is kept", -4, -2, 8, 6, TRect(-4, -2, 4, 4)}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        panel.SetLeft(r.left), panel.SetTop(r.top), panel.SetWidth(r.width), panel.SetHeight(r.height);
        EXPECT_EQ(panel.BoundsRect(), r.expected);
        EXPECT_EQ(panel.ClientRect(), TRect(0, 0, r.expected.Width(), r.expected.Height()));
    }
    panel.SetBounds(40, 50, 100, 30), form.move(200, 100), form.show();
    const TPoint s = panel.ClientToScreen(TPoint(5, 7));
    EXPECT_EQ(s, TPoint::fromQPoint(form.mapToGlobal(QPoint(45, 57))));
    EXPECT_EQ(panel.ScreenToClient(s), TPoint(5, 7));
}

TEST_F(WidgetsTest, VisibleHintColourAndFontFollowTheToolkitRules) {
    QWidget form;  // not shown: children still count as Visible until hidden
    TLabel label(&form);
    EXPECT_TRUE(label.Visible() && !label.Showing());
    label.Hide();
    EXPECT_FALSE(label.Visible());
    label.Show();
    EXPECT_TRUE(label.Visible());

    label.SetHint("prefix:a,b");
    EXPECT_EQ(label.toolTip(), QString()) << "no tooltip until ShowHint";
    label.SetShowHint(true);
    EXPECT_EQ(label.toolTip(), "prefix:a,b");

    label.SetColor(0xFCF8E8);
    EXPECT_EQ(label.palette().color(QPalette::Window), QColor(0xE8, 0xF8, 0xFC));
    label.Font()->Color = TkRGB(128, 128, 128), label.FontChanged();
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(128, 128, 128));
    TFont f;
    f.Name = "DejaVu Sans", f.Size = 14, f.Color = clRed, label.SetFont(f);
    EXPECT_TRUE(label.font().pointSize() == 14 && label.palette().color(QPalette::WindowText) == QColor(255, 0, 0));
    EXPECT_TRUE(AsControl(&label) == &label && AsControl(&form) == nullptr);
}

TEST_F(WidgetsTest, ClipPolygonCutsTheControlsArea) {
    TPanel panel;
    panel.resize(150, 100);
    // An edit 80 wide and 21 high on top, the rest of the top strip cut away.
    panel.SetClipPolygon({{0, 0}, {80, 0}, {80, 20}, {150, 20}, {150, 100}, {0, 100}});
    const QRegion m = panel.mask();
    EXPECT_TRUE(m.contains(QPoint(10, 5)) && !m.contains(QPoint(120, 5)) && m.contains(QPoint(120, 50)));
    panel.SetClipPolygon({{0, 0}, {1, 1}});
    EXPECT_TRUE(panel.mask().isEmpty());
}

TEST_F(WidgetsTest, LoadedRunsOnceOnFirstShowOrWhenTheHostCallsIt) {
    for (bool hostCalls : {false, true}) {
        SCOPED_TRACE(hostCalls ? "a host building the control in code" : "first show");
        CountingPanel p;
        if (hostCalls) p.Loaded();
        EXPECT_EQ(p.loads, hostCalls ? 1 : 0);
        p.show(), p.hide(), p.show();
        EXPECT_TRUE(p.loads == 1 && p.IsLoaded());
    }
}

TEST_F(WidgetsTest, ParentFormGivesNameAndColour) {
    QWidget form;
    form.setObjectName("frm_order");
    QPalette pal = form.palette();
    pal.setColor(QPalette::Window, QColor(0xF2, 0xF3, 0xF3));
    form.setPalette(pal);
    TPanel outer(&form);
    TEdit edit(&outer);
    EXPECT_TRUE(GetParentForm(&edit) == &form && FormName(GetParentForm(&edit)) == "frm_order");
    EXPECT_EQ(FormColor(&form), TColor(0xF3F3F2));
    EXPECT_TRUE(GetParentForm(nullptr) == nullptr && FormColor(nullptr) == clNone);
    TListBox list(&outer);
    for (QWidget* w : {static_cast<QWidget*>(&edit), static_cast<QWidget*>(&list)})  // white on the grey panel
        EXPECT_EQ(QColor(w->grab().toImage().pixel(w->width() / 2, w->height() / 2)), QColor(Qt::white));
}

TEST_F(WidgetsTest, PanelReportsFocusEnteringAndLeavingItsChildren) {
    QWidget form;
    form.resize(300, 100);
    TPanel panel(&form);
    TEdit inner1(&panel), inner2(&panel), outside(&form);
    outside.move(0, 60);
    form.show(), form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    outside.setFocus();
    std::string log;
    panel.OnEnter = [&](TObject*) { log += "E"; };
    panel.OnExit = [&](TObject*) { log += "X"; };

    for (TEdit* e : {&inner1, &inner2, &outside, &inner2}) e->setFocus();  // enter, inside, out, enter again
    EXPECT_EQ(log, "EXE");
}

TEST_F(WidgetsTest, PanelDrawsItsCaptionAndReportsResize) {
    TPanel panel;
    panel.resize(120, 30), panel.SetBevelOuter(bvNone), panel.SetColor(clWhite);
    const QRect middle(10, 5, 100, 20);
    EXPECT_EQ(zt::Dark_Pixels(panel.grab().toImage(), middle), 0);
    panel.SetCaption("Caption");
    EXPECT_GT(zt::Dark_Pixels(panel.grab().toImage(), middle), 10);
    panel.show();
    int resizes = 0;
    panel.OnResize = [&](TObject*) { ++resizes; };
    panel.SetWidth(150);
    EXPECT_TRUE(resizes == 1 && panel.frameStyle() == int(QFrame::NoFrame));
    panel.SetBorderStyle(bsSingle);
    EXPECT_EQ(panel.frameShape(), QFrame::Box);
}

TEST_F(WidgetsTest, EditSelectionIsClampedToTheText) {
    TEdit edit;
    edit.SetText("20240229");
    struct Row { const char* name; int start, length, wantStart, wantLength; QString selText; };
    const Row rows[] = {{"inside", 2, 3, 2, 3, "240"},        {"length past the end", 6, 10, 6, 2, "29"},
                        {"start past the end", 20, 1, 8, 0, ""}, {"negative start", -3, 2, 0, 2, "20"},
                        {"zero length", 4, 0, 4, 0, ""}};
    for (const Row& r : rows) {
        edit.SetSelStart(r.start), edit.SetSelLength(r.length);
        EXPECT_TRUE(edit.SelStart() == r.wantStart && edit.SelLength() == r.wantLength) << r.name;
        EXPECT_EQ(edit.SelText(), r.selText) << r.name;
    }
}

TEST_F(WidgetsTest, EditKeyHandlersSwallowReplaceAndSeeVirtualKeys) {
    TEdit edit;
    edit.SetMaxLength(4);
    int changes = 0;
    std::vector<WORD> downs;
    edit.OnChange = [&](TObject*) { ++changes; };
    edit.OnKeyDown = [&](TObject*, WORD& k, TShiftState s) {
        downs.push_back(k);
        if (k == VK_DELETE && s.Contains(ssCtrl)) k = 0;  // swallowed
    };
    edit.OnKeyPress = [&](TObject*, char16_t& c) { c = c == u'x' ? 0 : c == u'a' ? u'b' : c; };  // swallowed, replaced
    edit.SetText("1");
    EXPECT_EQ(changes, 1);  // code changes count too
    QTest::keyClicks(&edit, "xa23456");
    EXPECT_EQ(edit.Text(), "1b23");  // x dropped, a typed as b, cut at MaxLength 4
    for (Qt::Key k : {Qt::Key_Delete, Qt::Key_Home, Qt::Key_Delete})
        QTest::keyClick(&edit, k, k == Qt::Key_Delete ? Qt::ControlModifier : Qt::NoModifier);
    EXPECT_TRUE(edit.Text() == "1b23" && downs.back() == VK_DELETE);
    edit.SetReadOnly(true), QTest::keyClicks(&edit, "9");
    EXPECT_EQ(edit.Text(), "1b23") << "read-only";
    edit.SetBorderStyle(bsNone);
    EXPECT_FALSE(edit.hasFrame());
}

TEST_F(WidgetsTest, LabelSizesToItsCaptionAndClicks) {
    TLabel label;
    label.SetCaption(QString::fromUtf16(u"年"));
    const int narrow = label.Width();
    label.SetCaption(QString::fromUtf16(u"年年年年年年"));
    EXPECT_GT(label.Width(), narrow);
    label.SetAutoSize(false), label.SetWidth(12), label.SetCaption("a much longer caption");
    EXPECT_EQ(label.Width(), 12);
    label.SetCaption("<b>x</b>");
    EXPECT_EQ(label.textFormat(), Qt::PlainText);
    int clicks = 0;
    label.OnClick = [&](TObject*) { ++clicks; };
    label.show();
    for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton}) QTest::mouseClick(&label, b, Qt::NoModifier, QPoint(2, 2));
    EXPECT_EQ(clicks, 1) << "the left button clicks";
}

TEST_F(WidgetsTest, SpeedButtonDownFollowsGroupRules) {
    QWidget bar;
    TSpeedButton a(&bar), b(&bar), c(&bar);
    struct Step { const char* name; TSpeedButton* click; bool a, b, c; };
    a.SetDown(true);
    EXPECT_FALSE(a.Down());  // GroupIndex 0 never stays down
    a.SetGroupIndex(1), b.SetGroupIndex(1), c.SetGroupIndex(2), c.SetAllowAllUp(true);
    const Step steps[] = {
        {"a goes down", &a, true, false, false}, {"b lifts a", &b, false, true, false},
        {"b stays down without AllowAllUp", &b, false, true, false}, {"c is its own group", &c, false, true, true},
        {"c comes up with AllowAllUp", &c, false, true, false},
    };
    int clicks = 0;
    for (TSpeedButton* s : {&a, &b, &c}) s->OnClick = [&](TObject*) { ++clicks; };
    bar.show();
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        QTest::mouseClick(s.click, Qt::LeftButton);
        EXPECT_EQ(std::vector<bool>({a.Down(), b.Down(), c.Down()}), std::vector<bool>({s.a, s.b, s.c}));
    }
    EXPECT_EQ(clicks, 5);
    a.SetDown(true);
    EXPECT_FALSE(b.Down());

    a.SetCaption(QString::fromUtf16(u"查找")), a.SetGlyph(QImage(16, 16, QImage::Format_RGB32));
    EXPECT_EQ(a.toolButtonStyle(), Qt::ToolButtonTextBesideIcon) << "a glyph beside the caption";
    a.SetGlyph(QImage());
    EXPECT_EQ(a.toolButtonStyle(), Qt::ToolButtonTextOnly);
    QImage clear(16, 16, QImage::Format_ARGB32_Premultiplied);
    clear.fill(Qt::transparent), a.SetCaption(QString()), a.SetGlyph(clear), a.resize(24, 24);
    EXPECT_EQ(zt::Dark_Pixels(a.grab().toImage(), a.rect()), 0);  // a glyph's transparent parts show the face
}

TEST_F(WidgetsTest, ListBoxItemsIndexAndUserClicks) {
    TListBox list;
    list.resize(150, 120);
    for (const char* s : {"01  Sales", "05  Stock", "10  Office"}) list.Items()->Add(s);
    EXPECT_TRUE(list.Count() == 3 && list.ItemIndex() == -1);
    int clicks = 0, dbl = 0;
    list.OnClick = [&](TObject*) { ++clicks; };
    list.OnDblClick = [&](TObject*) { ++dbl; };

    list.SetItemIndex(1);
    EXPECT_TRUE(list.ItemIndex() == 1 && clicks == 0) << "code does not click";
    list.SetItemIndex(7);
    EXPECT_EQ(list.ItemIndex(), -1);
    list.SetItemIndex(0), list.show(), QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_TRUE(list.ItemIndex() == 1 && clicks == 1);
    const QRect r = list.ItemRect(2).toQRect();
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    EXPECT_TRUE(list.ItemIndex() == 2 && dbl == 1);
    EXPECT_EQ(list.ItemAtPos(TPoint::fromQPoint(r.center()), true), 2);
    EXPECT_EQ(list.ItemAtPos(TPoint(5, 110), true), -1) << "below the items";
    EXPECT_EQ(list.ItemAtPos(TPoint(5, 110), false), 3) << "below the items, the place after the last";

    int obj = 0;
    list.Items()->SetObjects(0, &obj), list.Items()->Delete(1);
    EXPECT_TRUE(list.Items()->Strings(1) == "10  Office" && list.Items()->Objects(0) == &obj);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(WidgetsTest, SortedListBoxKeepsCaseInsensitiveOrder) {
    TListBox list;
    for (const char* s : {"beta", "Alpha", "gamma"}) list.Items()->Add(s);
    list.SetSorted(true);
    EXPECT_EQ(list.Items()->toQStringList(), (QStringList{"Alpha", "beta", "gamma"}));
    EXPECT_EQ(list.Items()->Add("Beta"), 2);  // equal lines keep adding order
    EXPECT_EQ(list.Items()->Add("a"), 0);
    EXPECT_EQ(list.Items()->toQStringList(), (QStringList{"a", "Alpha", "beta", "Beta", "gamma"}));
}

// The choice and the text of a combo box, step by step: what each call leaves chosen and shown.
TEST_F(WidgetsTest, ComboChoiceAndText) {
    TComboBox combo;
    int changes = 0;
    combo.OnChange = [&](TObject*) { ++changes; };
    combo.show();
    struct Step { const char* what; std::function<void()> act; int index; QString text; int changes; } steps[] = {
        {"text before any entry", [&] { combo.SetText("typed"); }, -1, "typed", 0},
        {"adding never selects", [&] { combo.Items()->Add("Sales"), combo.Items()->Add("Stock"); }, -1, "typed", 0},
        {"AssignTexts replaces every entry, keeps the text", [&] { combo.AssignTexts({"A1", "B22", "C3"}); }, -1, "typed", 0},
        {"an index shows its entry", [&] { combo.SetItemIndex(1); }, 1, "B22", 0},
        {"another text leaves no entry chosen", [&] { combo.SetText("B2"); }, -1, "B2", 0},
        {"out of range clears", [&] { combo.SetItemIndex(9); }, -1, "", 0},
        {"deleting the chosen entry keeps its text", [&] { combo.SetItemIndex(2), combo.Items()->Delete(2); }, -1, "C3", 0},
        {"typing reports and drops the choice", [&] { combo.SetItemIndex(0), QTest::keyClicks(combo.lineEdit(), "x"); },
         -1, "A1x", 1},
        {"a drop-down list selects by exact text", [&] { combo.SetStyle(csDropDownList), combo.SetText("B22"); }, 1, "B22", 1},
        {"... case counts", [&] { combo.SetText("b22"); }, -1, "", 1},
        {"editable again keeps the choice", [&] { combo.SetItemIndex(0), combo.SetStyle(csDropDown); }, 0, "A1", 1},
    };
    for (const Step& s : steps) {
        s.act();
        EXPECT_TRUE(combo.ItemIndex() == s.index && combo.Text() == s.text && changes == s.changes)
            << s.what << ": " << combo.ItemIndex() << " " << combo.Text().toStdString() << " " << changes;
    }
}

// The events of a combo box: picks, the list opening and closing, the wheel, keys, sorting.
TEST_F(WidgetsTest, ComboEvents) {
    QWidget form;
    form.resize(200, 100);
    TComboBox combo(&form);
    combo.Items()->fromQStringList({"pear", "Apple", "fig"}), form.show();
    std::string log;
    combo.OnClick = [&](TObject*) { log += "C"; };
    combo.OnChange = [&](TObject*) { log += "H"; };
    combo.OnDropDown = [&](TObject*) { log += "D"; };
    combo.OnCloseUp = [&](TObject*) { log += "U"; };
    combo.OnKeyDown = [&](TObject*, WORD& k, TShiftState) { log += k == VK_DOWN ? "v" : ""; };
    combo.OnMouseWheel = [&](TObject*, TShiftState, int, TPoint, bool& h) { h = true; };
    QWheelEvent wheel(QPointF(5, 5), combo.mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    struct Step { const char* what; std::function<void()> act; std::string log; int index; QString text; } steps[] = {
        {"a keyboard pick: OnKeyDown once, then click and change",
         [&] { combo.SetItemIndex(0), QTest::keyClick(combo.lineEdit(), Qt::Key_Down); }, "vCH", 1, "Apple"},
        {"with OnSelect, select instead of change",
         [&] { combo.OnSelect = [&](TObject*) { log += "S"; }, QTest::keyClick(combo.lineEdit(), Qt::Key_Up); }, "CS", 0, "pear"},
        {"the list opens and closes", [&] { combo.SetDroppedDown(true), combo.SetDroppedDown(false); }, "DU", 0, "pear"},
        {"a handled wheel keeps the choice", [&] { QCoreApplication::sendEvent(&combo, &wheel); }, "", 0, "pear"},
        {"OnKeyPress swallows and replaces characters", [&] {
             combo.OnKeyPress = [](TObject*, char16_t& c) { c = c == u'q' ? 0 : c == u'1' ? u'7' : c; };
             combo.SetText(""), QTest::keyClicks(combo.lineEdit(), "q1q");
         }, "H", -1, "7"},
        {"the length limit", [&] { combo.SetMaxLength(2), QTest::keyClicks(combo.lineEdit(), "2345"); }, "H", -1, "72"},
        {"sorting keeps the chosen entry", [&] { combo.SetMaxLength(0), combo.SetItemIndex(0), combo.SetSorted(true); }, "", 2, "pear"},
    };
    for (const Step& s : steps) {
        log.clear(), s.act();
        EXPECT_EQ(log, s.log) << s.what;
        EXPECT_TRUE(combo.ItemIndex() == s.index && combo.Text() == s.text) << s.what << ": " << combo.Text().toStdString();
    }
    EXPECT_EQ(combo.Items()->toQStringList(), (QStringList{"Apple", "fig", "pear"}));
    EXPECT_EQ(combo.Items()->Add("banana"), 1);
    combo.SetDropDownCount(0);
    EXPECT_EQ(combo.DropDownCount(), 1) << "at least one row drops down";
}

TEST_F(WidgetsTest, MessageBoxButtonsIconsAndAnswers) {
    // buttons: their texts in any order; press: a button's text, or "" for Escape.
    struct Row { const char* name; unsigned flags; QString buttons; const char* press; int answer; QMessageBox::Icon icon; };
    const Row rows[] = {
        {"yes/no/cancel, no", MB_YESNOCANCEL | MB_ICONQUESTION, "YNC", "N", IDNO, QMessageBox::Question},
        {"yes/no/cancel, escape", MB_YESNOCANCEL, "YNC", "", IDCANCEL, QMessageBox::NoIcon},
        {"yes/no, escape is no", MB_YESNO | MB_ICONWARNING, "YN", "", IDNO, QMessageBox::Warning},
        {"ok/cancel, ok", MB_OKCANCEL | MB_ICONERROR, "OC", "O", IDOK, QMessageBox::Critical},
        {"ok alone, escape", MB_OK | MB_ICONINFORMATION, "O", "", IDOK, QMessageBox::Information},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        QString shown;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        zt::Answer([&](QWidget* d) {
            auto* box = qobject_cast<QMessageBox*>(d);
            icon = box->icon();
            for (QAbstractButton* b : box->buttons()) shown += b->text();
            if (!*r.press || !zt::Click(box, r.press)) QTest::keyClick(box, Qt::Key_Escape);
        });
        EXPECT_EQ(MessageBox(nullptr, "text", "caption", r.flags, {"O", "C", "Y", "N"}), r.answer);
        QString want = r.buttons;
        std::sort(shown.begin(), shown.end()), std::sort(want.begin(), want.end());
        EXPECT_TRUE(shown == want && icon == r.icon) << shown.toStdString();
    }
    EXPECT_EQ(TMsgBoxButtons().cancel, QString::fromUtf16(u"取消"));  // Chinese unless the caller maps them
}

}  // namespace
