#include "toolkit/tk_datetime.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionComboBox>

namespace {

TClock& clockSlot() {
    static TClock clock;
    return clock;
}

QString kindFormat(TDateTimeKind k) { return k == dtkTime ? QStringLiteral("HH:mm:ss") : QStringLiteral("yyyy-MM-dd"); }

// Toolkit format letters to Qt's: only the AM/PM marker differs.
QString qtFormat(QString f) {
    f.replace(QLatin1String("tt"), QLatin1String("AP"));
    return f;
}

bool isBlankFormat(const QString& f) { return !f.isEmpty() && f.trimmed().isEmpty(); }

// Sets a value without it counting as the user's change.
struct Quiet {
    explicit Quiet(int& n) : n_(n) { ++n_; }
    ~Quiet() { --n_; }
    int& n_;
};

}  // namespace

QDateTime Now() { return clockSlot() ? clockSlot()() : QDateTime::currentDateTime(); }

QDate Today() { return Now().date(); }

void SetClock(TClock clock) { clockSlot() = std::move(clock); }

TDateTimePicker::TDateTimePicker(QWidget* parent) : QDateTimeEdit(parent), TControl(this) {
    {
        Quiet q(programmatic_);
        setMinimumDate(QDate(1601, 1, 1));
        setMaximumDate(QDate(9999, 12, 31));
        setDateTime(Now());
        setCalendarPopup(true);
        setDisplayFormat(kindFormat(kind_));
    }
    resize(186, 21);
    HookChild(lineEdit());
    connect(this, &QDateTimeEdit::dateTimeChanged, this, [this]() {
        if (programmatic_ == 0) userChanged();
    });
    // The calendar is made when first needed (a press, a key, DropDown): making one per picker up
    // front would cost more than the rest of the picker.
}

TDateTimePicker::~TDateTimePicker() {
    // Qt's own destructors still emit signals; none may reach this half-destroyed picker.
    disconnect(this, nullptr, this, nullptr);
    if (popup_) popup_->removeEventFilter(this);
}

void TDateTimePicker::SetDate(const QDate& d) {
    if (!d.isValid()) return;
    Quiet q(programmatic_);
    setDate(d);
}

void TDateTimePicker::SetTime(const QTime& t) {
    if (!t.isValid()) return;
    Quiet q(programmatic_);
    setTime(t);
}

void TDateTimePicker::SetDateTime(const QDateTime& dt) {
    if (!dt.isValid()) return;
    Quiet q(programmatic_);
    setDateTime(dt);
}

void TDateTimePicker::SetFormat(const QString& f) {
    format_ = f;
    applyFormat();
}

void TDateTimePicker::applyFormat() {
    const bool wasBlank = blank_;
    blank_ = isBlankFormat(format_);
    if (!blank_) {
        const QString want = qtFormat(format_.isEmpty() ? kindFormat(kind_) : format_);
        // Setting the format again starts the editing over at the first section: a format already
        // shown is left alone, so that a field being typed into keeps its section and its typing. A
        // field coming back from blank shows its value afresh, not what was typed before it was blanked.
        if (!wasBlank && displayFormat() == want) {
            applyTextLook();
            return;
        }
        Quiet q(programmatic_);
        const QDateTime keep = dateTime();
        setDisplayFormat(want);
        // A format Qt cannot use leaves the Kind's own in force.
        if (displayFormat() != want) setDisplayFormat(kindFormat(kind_));
        setDateTime(keep);
    }
    applyTextLook();
}

QString TDateTimePicker::Text() const { return blank_ ? QString() : text(); }

void TDateTimePicker::SetKind(TDateTimeKind k) {
    if (k == kind_) return;
    kind_ = k;
    setCalendarPopup(k == dtkDate);
    applyFormat();
}

void TDateTimePicker::SetShowCheckbox(bool on) {
    showCheckbox_ = on;
    if (on && !checkbox_) {
        checkbox_ = new QCheckBox(this);
        checkbox_->setFocusPolicy(Qt::NoFocus);
        checkbox_->setChecked(checked_);
        connect(checkbox_, &QCheckBox::clicked, this, [this](bool c) {
            checked_ = c;
            applyTextLook();
            userChanges_++;
            Change();
        });
    }
    if (checkbox_) checkbox_->setVisible(on);
    lineEdit()->setTextMargins(on ? 18 : 0, 0, 0, 0);
    placeCheckbox();
    applyTextLook();
}

void TDateTimePicker::SetChecked(bool c) {
    checked_ = c;
    if (checkbox_) checkbox_->setChecked(c);
    applyTextLook();
}

void TDateTimePicker::placeCheckbox() {
    if (!checkbox_) return;
    const QSize s = checkbox_->sizeHint();
    checkbox_->setGeometry(3, (height() - s.height()) / 2, s.width(), s.height());
}

void TDateTimePicker::applyTextLook() {
    // The editor's own palette: transparent text for the blank format, grey for an unticked box.
    QPalette pal = palette();
    if (blank_) {
        pal.setColor(QPalette::Text, Qt::transparent);
        pal.setColor(QPalette::HighlightedText, Qt::transparent);
        pal.setColor(QPalette::Highlight, Qt::transparent);
    } else if (!Checked()) {
        pal.setColor(QPalette::Text, pal.color(QPalette::Disabled, QPalette::Text));
    }
    lineEdit()->setPalette(pal);
    lineEdit()->update();
}

void TDateTimePicker::ColorChanged() {
    TControl::ColorChanged();
    applyTextLook();
}

void TDateTimePicker::userChanged() {
    if (showCheckbox_ && !checked_) SetChecked(true);
    userChanges_++;
    Change();
}

void TDateTimePicker::Change() {
    if (OnChange) OnChange(this);
}

void TDateTimePicker::calendarPicked() {
    // A pick of another date changed the value already (the calendar sets it as its selection moves);
    // picking the date held is a change of its own.
    if (userChanges_ == changesAtDrop_) userChanged();
}

void TDateTimePicker::watchPopup() {
    if (!calendarPopup()) return;
    QCalendarWidget* cal = calendarWidget();
    if (!cal) return;
    QWidget* popup = cal->window();
    if (popup == popup_.data()) return;
    popup_ = popup;
    // The pop-up is a window of its own and does not inherit the picker's locale by itself.
    if (testAttribute(Qt::WA_SetLocale)) cal->setLocale(locale());
    popup->installEventFilter(this);
    connect(cal, &QCalendarWidget::clicked, this, [this]() { calendarPicked(); });
    connect(cal, &QCalendarWidget::activated, this, [this]() { calendarPicked(); });
}

bool TDateTimePicker::eventFilter(QObject* watched, QEvent* e) {
    if (watched == popup_.data()) {
        if (e->type() == QEvent::Show) changesAtDrop_ = userChanges_;
        if (e->type() == QEvent::Show && OnDropDown) OnDropDown(this);
        if (e->type() == QEvent::Hide && OnCloseUp) OnCloseUp(this);
    }
    return QDateTimeEdit::eventFilter(watched, e);
}

void TDateTimePicker::DropDown() {
    if (kind_ != dtkDate || !calendarPopup() || DroppedDown()) return;
    watchPopup();
    // Qt opens the calendar only from a press on the arrow; press it where the style puts it.
    QStyleOptionComboBox opt;
    opt.initFrom(this);
    opt.editable = true;
    opt.frame = true;
    opt.subControls = QStyle::SC_All;
    const QRect arrow = style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxArrow, this);
    const QPointF at = arrow.isValid() ? QPointF(arrow.center()) : QPointF(width() - 6, height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    mousePressEvent(&press);
}

void TDateTimePicker::CloseUp() {
    if (popup_ && popup_->isVisible()) popup_->hide();
}

bool TDateTimePicker::DroppedDown() const { return popup_ && popup_->isVisible(); }

void TDateTimePicker::mousePressEvent(QMouseEvent* e) {
    watchPopup();
    QDateTimeEdit::mousePressEvent(e);
}

void TDateTimePicker::keyPressEvent(QKeyEvent* e) {
    watchPopup();
    if (RunKeyHandlers(this, e, OnKeyDown, OnKeyPress, nullptr)) {
        e->accept();
        return;
    }
    QDateTimeEdit::keyPressEvent(e);
}

void TDateTimePicker::focusInEvent(QFocusEvent* e) {
    QDateTimeEdit::focusInEvent(e);
    if (OnEnter && IsControlFocusReason(e->reason())) OnEnter(this);
}

void TDateTimePicker::focusOutEvent(QFocusEvent* e) {
    QDateTimeEdit::focusOutEvent(e);
    if (OnExit && IsControlFocusReason(e->reason())) OnExit(this);
}

void TDateTimePicker::resizeEvent(QResizeEvent* e) {
    QDateTimeEdit::resizeEvent(e);
    placeCheckbox();
}
