// TDateTimePicker: the toolkit's date or time picker over QDateTimeEdit, with a calendar pop-up.
//
// Values are QDate/QTime/QDateTime (not the toolkit's day numbers): Date() is the calendar date the picker
// holds, SetDate() with an invalid QDate does nothing.
//
// Format uses the toolkit's letters, which Qt shares (yyyy, MM, dd, HH, mm, ss; "tt" is AM/PM). An empty
// Format means the Kind's own ("yyyy-MM-dd" for dates, "HH:mm:ss" for times). A Format of blanks only
// (" ") is the blank format: the field shows nothing, Text() is empty, and the picker still holds its
// date, which a later real Format shows again. Qt rejects a format without fields, so the layer keeps
// the last real one underneath and hides the text. Setting the Format already shown changes nothing:
// typing goes on in its section (Qt would start the editing over at the first one).
//
// ShowCheckbox adds a check box at the left; an unticked picker shows its date greyed. A user's change
// of the value ticks it.
//
// The calendar pop-up is made on first use and speaks the picker's locale when one was set on the picker
// (setLocale).
//
// OnChange fires for changes made by the user (typing, the calendar, the check box), not for the
// setters, as the toolkit does. A date picked in the calendar is the user's change even when it is the
// date already held. OnDropDown and OnCloseUp bracket the calendar pop-up.
#pragma once

#include "toolkit/tk_controls.h"

#include <QDateTimeEdit>
#include <QPointer>
#include <functional>

class QCheckBox;

// The clock that everything offering "today" reads (a new picker's value, today menu items, calendars
// opened on an empty date). It is the system clock unless one was injected, so tests and replays can fix
// the day. Main thread only, like the widgets that read it.
typedef std::function<QDateTime()> TClock;
QDateTime Now();
QDate Today();
// Injects a clock; an empty one goes back to the system clock.
void SetClock(TClock clock);

enum TDateTimeKind { dtkDate, dtkTime };

class TDateTimePicker : public QDateTimeEdit, public TControl {
    Q_OBJECT
public:
    // Starts on Now(), date kind, the Kind's own format.
    explicit TDateTimePicker(QWidget* parent = nullptr);
    ~TDateTimePicker() override;

    QDate Date() const { return date(); }
    void SetDate(const QDate& d);
    QTime Time() const { return time(); }
    void SetTime(const QTime& t);
    QDateTime DateTime() const { return dateTime(); }
    void SetDateTime(const QDateTime& dt);

    QString Format() const { return format_; }
    void SetFormat(const QString& f);
    // True while the Format is the blank format.
    bool IsBlank() const { return blank_; }
    // The shown text; empty under the blank format.
    QString Text() const;

    TDateTimeKind Kind() const { return kind_; }
    void SetKind(TDateTimeKind k);

    bool ShowCheckbox() const { return showCheckbox_; }
    void SetShowCheckbox(bool on);
    // Always true without a check box.
    bool Checked() const { return !showCheckbox_ || checked_; }
    void SetChecked(bool c);

    // Opens / closes the calendar pop-up (date kind only).
    void DropDown();
    void CloseUp();
    bool DroppedDown() const;

    TNotifyEvent OnChange;
    TNotifyEvent OnDropDown;
    TNotifyEvent OnCloseUp;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TKeyEvent OnKeyDown;
    TKeyPressEvent OnKeyPress;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void ColorChanged() override;
    // Runs for every change the user makes, then OnChange; a derived picker that must follow the
    // user's changes overrides it and calls the base.
    virtual void Change();

private:
    void applyFormat();
    void applyTextLook();
    void placeCheckbox();
    void watchPopup();
    void userChanged();
    void calendarPicked();

    QString format_;
    TDateTimeKind kind_ = dtkDate;
    bool blank_ = false;
    bool showCheckbox_ = false;
    bool checked_ = true;
    int programmatic_ = 0;  // > 0 while a setter changes the value
    unsigned userChanges_ = 0;    // counts the user's changes
    unsigned changesAtDrop_ = 0;  // userChanges_ when the calendar last opened
    QCheckBox* checkbox_ = nullptr;  // child widget, made on first ShowCheckbox
    QPointer<QWidget> popup_;        // the calendar's pop-up window being watched
};
