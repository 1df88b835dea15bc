// TDateTimePicker and TStatusBar: the blank format and check box of the picker, its calendar events, and
// status bar panels as they come out on rendered pixels (text alignment is checked on MStatusBar).
#include "toolkit/tk_datetime.h"
#include "toolkit/tk_statusbar.h"
#include "toolkit/tk_test_app.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A picker 160 x 24 on a shown form.
class PickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        form.resize(220, 60);
        p.SetBounds(0, 0, 160, 24);
    }
    QApplication* app = tkTestApp();  // before the widgets
    QWidget form;
    TDateTimePicker p{&form};
};

// What each format shows, as text and as ink on the screen; the blank format keeps the date underneath.
TEST_F(PickerTest, FormatsShowTheHeldDateAndTheBlankFormatShowsNothing) {
    p.SetDate(QDate(2024, 2, 29));
    form.show();
    const QLineEdit* editor = p.findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    const QRect textArea = editor->geometry().adjusted(2, 2, -2, -2);
    struct Row { const char* name; QString format, text; bool blank; };
    const Row rows[] = {
        {"kind's own format", "", "2024-02-29", false}, {"month format", "yyyy-MM", "2024-02", false},
        {"one blank", " ", "", true}, {"several blanks", "   ", "", true},
        {"date format again", "yyyy-MM-dd", "2024-02-29", false}, {"compact", "yyyyMMdd", "20240229", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        p.SetFormat(r.format);
        EXPECT_TRUE(p.Format() == r.format && p.IsBlank() == r.blank && p.Date() == QDate(2024, 2, 29));
        EXPECT_EQ(p.Text(), r.text);
        const int ink = zt::Dark_Pixels(p.grab().toImage(), textArea, 110);  // text on the field
        EXPECT_TRUE(r.blank ? ink == 0 : ink > 20) << ink;
    }
    p.SetDate(QDate());  // an invalid date is ignored
    EXPECT_EQ(p.Date(), QDate(2024, 2, 29));
}

TEST_F(PickerTest, CheckboxTicksAndUserChangesFireOnChange) {
    p.SetDate(QDate(2024, 1, 10));
    form.show();
    int changes = 0;
    p.OnChange = [&](TObject*) { ++changes; };

    // Without a check box the picker counts as ticked whatever is set; with one, as set.
    std::string ticks;
    for (bool box : {false, true}) {
        p.SetShowCheckbox(box);
        for (bool set : {false, true}) p.SetChecked(set), ticks += p.Checked() ? "1" : "0";
    }
    EXPECT_EQ(ticks, "1101");
    p.SetDate(QDate(2024, 1, 11)), p.SetFormat("yyyy-MM-dd");
    EXPECT_EQ(changes, 0);  // setters are not the user's changes

    auto* box = p.findChild<QCheckBox*>();
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(5, box->height() / 2));
    EXPECT_FALSE(p.Checked());
    EXPECT_EQ(changes, 1);

    p.setFocus(), p.setCurrentSection(QDateTimeEdit::DaySection);
    QTest::keyClick(&p, Qt::Key_Up);  // the user steps the day
    EXPECT_EQ(p.Date(), QDate(2024, 1, 12));
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(p.Checked());  // a change by the user ticks the box
}

TEST_F(PickerTest, CalendarDropDownAndCloseUp) {
    form.show();
    std::string log;
    p.OnDropDown = [&](TObject*) { log += "D"; };
    p.OnCloseUp = [&](TObject*) { log += "U"; };
    EXPECT_FALSE(p.DroppedDown());
    p.DropDown();
    EXPECT_TRUE(p.DroppedDown() && p.calendarWidget()->isVisible());
    p.CloseUp();
    EXPECT_FALSE(p.DroppedDown());
    EXPECT_EQ(log, "DU");

    p.SetKind(dtkTime);
    EXPECT_EQ(p.displayFormat(), "HH:mm:ss");
    p.DropDown();  // a time picker has no calendar
    EXPECT_FALSE(p.DroppedDown());
    EXPECT_EQ(log, "DU");
}

class StatusBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        tkTestApp();
        form = std::make_unique<QWidget>();
        form->resize(300, 120);
        bar = new TStatusBar(form.get());
    }
    std::unique_ptr<QWidget> form;
    TStatusBar* bar = nullptr;  // owned by form
};

TEST_F(StatusBarTest, PanelsAreAddedCountedAndLaidOutLeftToRight) {
    TStatusPanels* panels = bar->Panels();
    TStatusPanel *p0 = panels->Add(), *p1 = panels->Add(), *p2 = panels->Insert(1);
    EXPECT_TRUE(panels->Count() == 3 && panels->Items(1) == p2 && p1->Index() == 2 && !panels->Items(3));
    p0->SetWidth(100), p2->SetWidth(-4);
    EXPECT_EQ(p2->Width(), 0);
    p2->SetWidth(60);
    EXPECT_TRUE(bar->Width() == 300 && bar->Top() == 120 - bar->Height()) << "the bar follows its parent's bottom edge";
    const int h = bar->Height();  // the last panel reaches the edge
    EXPECT_EQ(std::vector<TRect>({bar->PanelRect(0), bar->PanelRect(1), bar->PanelRect(2)}),
              std::vector<TRect>({TRect(1, 1, 99, h - 1), TRect(101, 1, 159, h - 1), TRect(161, 1, 299, h - 1)}));
    p1->SetBevel(pbNone);
    EXPECT_EQ(bar->PanelRect(2), TRect(160, 0, 300, bar->Height()));
    panels->Delete(1);
    EXPECT_TRUE(panels->Count() == 2 && panels->Items(1) == p1);
    panels->Clear();
    EXPECT_EQ(bar->PanelRect(0), TRect());
}

TEST_F(StatusBarTest, OwnerDrawnPanelsAreDrawnByOnDrawPanelOnly) {
    bar->SetHeight(22), bar->SetColor(0xEFEFEE);
    TStatusPanel* text = bar->Panels()->Add();
    text->SetWidth(80), text->SetText("Ready");
    TStatusPanel* owner = bar->Panels()->Add();
    owner->SetWidth(80), owner->SetStyle(psOwnerDraw), owner->SetText("drawn by the handler");
    bar->Panels()->Add();  // an empty text panel after it
    std::vector<TStatusPanel*> drawn;
    TRect given;
    bar->OnDrawPanel = [&](TStatusBar* b, TStatusPanel* p, const TRect& r) {
        drawn.push_back(p);
        given = r;
        b->Canvas()->Brush->Color = clRed;
        b->Canvas()->FillRect(r);
    };
    const QImage img = bar->grab().toImage();
    EXPECT_EQ(drawn, std::vector<TStatusPanel*>{owner});
    EXPECT_EQ(given, bar->PanelRect(1));
    const QRect r = given.toQRect();
    for (QPoint at : {r.center(), r.topLeft(), r.bottomRight()}) EXPECT_EQ(img.pixelColor(at), QColor(255, 0, 0));
    // Outside the handler's rect the bar keeps its colour (0x00BBGGRR: red EE, green EF, blue EF).
    EXPECT_EQ(img.pixelColor(bar->PanelRect(2).Left + 5, 10), QColor(0xEE, 0xEF, 0xEF));
    EXPECT_EQ(img.pixelColor(75, 2), QColor(0xEE, 0xEF, 0xEF));

    // A text panel draws in the bar's font colour (blue here), with the system font in its own colour.
    auto blueInk = [&] {
        const QImage shot = bar->grab().toImage();
        int n = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < 80; ++x) n += shot.pixelColor(x, y).blue() > 200 && shot.pixelColor(x, y).red() < 90;
        return n;
    };
    bar->SetUseSystemFont(false);
    bar->Font()->Color = 0xFF0000;
    EXPECT_GT(blueInk(), 0);
    bar->SetUseSystemFont(true);
    EXPECT_EQ(blueInk(), 0);

    drawn.clear(), bar->SetSimplePanel(true), bar->SetSimpleText("simple"), bar->grab();
    EXPECT_TRUE(drawn.empty());  // simple mode shows no panels
}

}  // namespace
