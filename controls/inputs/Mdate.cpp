// The Mdate unit: TMDate and its unit hooks.
#include "controls/inputs/Mdate.h"
#include "controls/common/zem_common.h"
#include "controls/inputs/date_calendar.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/text/code_page.h"
#include "toolkit/tk_datetime.h"
#include "core/text/map_str.h"
#include "util/disp_text.h"
#include "util/lang_map.h"

namespace {

constexpr TColor kField_Color = 0xFFFFF6;
constexpr TColor kGrey_Caption = TkRGB(128, 128, 128);

QString Caption_Text(const char16_t* text) { return QString::fromUtf16(Disp_Text(text)); }

// The field's text as narrow text (the fields hold digits; anything else converts as GBK).
std::string Narrow(const QString& s) {
  const std::u16string w = s.toStdU16String();
  const int n = Zem_W_To_MB(ZEM_CP_SYSTEM, w.data(), static_cast<int>(w.size()), nullptr, 0);
  std::string out(static_cast<size_t>(n), '\0');
  Zem_W_To_MB(ZEM_CP_SYSTEM, w.data(), static_cast<int>(w.size()), &out[0], n);
  return out;
}

QString Wide(const std::string& s) {
  std::u16string w(s.size() + 1, u'\0');
  w.resize(static_cast<size_t>(
      Zem_MB_To_W(ZEM_CP_SYSTEM, s.data(), static_cast<int>(s.size()), &w[0], static_cast<int>(w.size()))));
  return QString::fromStdU16String(w);
}

}  // namespace

int Zem_Days_In_Month(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  return month == 2 && leap ? 29 : kDays[month - 1];
}

TMDate::TMDate(QWidget* parent) : TPanel(Zem_Startup_Parent(parent)) {
  SetCaption(QString());
  SetBounds(Left(), Top(), 132, 21);
  SetBevelInner(bvNone);
  SetBevelOuter(bvNone);
  SetBorderStyle(bsNone);
  SetColor(clWhite);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  Font()->Name = QStringLiteral("Arial");
  Font()->Size = 9;
  FontChanged();

  year_ = Make_Field("2008", 32, 4);
  yearCap_ = Make_Caption(u"年");
  month_ = Make_Field("1", 16, 2);
  monthCap_ = Make_Caption(u"月");
  day_ = Make_Field("18", 16, 2);
  dayCap_ = Make_Caption(u"日");
  int x = 3;
  for (TControl* c : {static_cast<TControl*>(year_), static_cast<TControl*>(yearCap_),
                      static_cast<TControl*>(month_), static_cast<TControl*>(monthCap_),
                      static_cast<TControl*>(day_), static_cast<TControl*>(dayCap_)}) {
    c->SetBounds(x, 1, c->Width(), 19);
    x += c->Width() + 2;
  }
  // Each field is named by its caption for screen readers; the box is one group (mdate_access.cpp).
  yearCap_->setBuddy(year_);
  monthCap_->setBuddy(month_);
  dayCap_->setBuddy(day_);
  Install_Accessible();
  // The menus offer the years around the clock's year at construction. They exist from here on, so
  // that an owner's own OnContextPopup (or any code) finds each field's and caption's menu in place;
  // their 63 entries are made when a menu is first wanted: a form may hold hundreds of date boxes.
  menuYear_ = Today().year();
  Build_Menus();
}

void TMDate::Build_Menus() {
  yearMenu_ = Make_Menu();
  monthMenu_ = Make_Menu();
  dayMenu_ = Make_Menu();
  dayMenu_->OnPopup = [this](TObject* s) { On_Day_Menu_Popup(s); };
  year_->SetPopupMenu(yearMenu_);
  yearCap_->SetPopupMenu(yearMenu_);
  month_->SetPopupMenu(monthMenu_);
  monthCap_->SetPopupMenu(monthMenu_);
  day_->SetPopupMenu(dayMenu_);
  dayCap_->SetPopupMenu(dayMenu_);
  yearMenu_->SetFill([this](TPopupMenu* m) {
    const int y = menuYear_;
    Add_Item(m, Caption_Text(u"今天"));
    for (int i = y + 5; i > y; i--) Add_Item(m, QString::asprintf("%02d ", i) + Caption_Text(u"年"));
    Add_Item(m, QStringLiteral("-"));
    for (int i = y; i > y - 10; i--) Add_Item(m, QString::asprintf("%02d ", i) + Caption_Text(u"年"));
    Apply_Menu_Font(m);
  });
  monthMenu_->SetFill([this](TPopupMenu* m) {
    Add_Item(m, Caption_Text(u"今天"));
    for (int i = 1; i <= 12; i++) Add_Item(m, QString::asprintf("%02d ", i) + Caption_Text(u"月份"));
    Apply_Menu_Font(m);
  });
  dayMenu_->SetFill([this](TPopupMenu* m) {
    Add_Item(m, Caption_Text(u"今天"));
    for (int i = 1; i <= 31; i++) {
      TMenuItem* item = Add_Item(m, QString::asprintf("%02d ", i) + Caption_Text(u"日"));
      if (i == 29) day29_ = item;
      if (i == 30) day30_ = item;
      if (i == 31) day31_ = item;
    }
    Apply_Menu_Font(m);
  });
}

TMDate::~TMDate() {
  // The fields report their own destruction as text changes no more: nothing reaches this half-gone box.
  for (TEdit* f : {year_, month_, day_}) f->OnChange = nullptr;
}

TEdit* TMDate::Make_Field(const char* text, int width, int max_len) {
  auto* f = new TEdit(this);
  f->SetText(QString::fromLatin1(text));
  f->SetWidth(width);
  f->SetMaxLength(max_len);
  f->SetColor(kField_Color);
  f->SetBorderStyle(bsNone);
  f->setTextMargins(-1, 0, -1, 0);  // the edit's own 2-pixel inset would scroll "12" out of 16 pixels
  f->Font()->Name = QStringLiteral("Arial");
  f->Font()->Size = 9;
  f->FontChanged();
  f->OnChange = [this](TObject* s) { Value_OnChange(s); };
  return f;
}

TLabel* TMDate::Make_Caption(const char16_t* caption) {
  auto* l = new TLabel(this);
  l->SetAutoSize(false);
  // The caption map may give a caption in another language (context "date"); a longer caption widens
  // its label, so the parts after it move right.
  const QString text = QString::fromUtf16(Disp_Text(Lang_Cap(map_wchar(u"date"), caption)));
  l->SetCaption(text);
  l->Font()->Name = QStringLiteral("Arial");
  l->Font()->Size = 9;
  l->Font()->Color = clBlack;
  l->FontChanged();  // before measuring the caption
  const bool translated = text != Caption_Text(caption);
  l->SetWidth(translated ? std::max(12, l->fontMetrics().horizontalAdvance(text) + 2) : 12);
  l->SetAlignment(taCenter);
  l->setAlignment(Qt::AlignCenter);  // and vertically in the field's height
  l->setCursor(Qt::PointingHandCursor);  // a click opens the calendar
  l->OnClick = [this](TObject* s) { Label_OnClick(s); };
  return l;
}

TPopupMenu* TMDate::Make_Menu() {
  auto* m = new TPopupMenu(this);
  m->SetAutoHotkeys(maManual);
  return m;
}

TMenuItem* TMDate::Add_Item(TPopupMenu* menu, const QString& caption) {
  auto* item = new TMenuItem(menu);
  item->SetCaption(caption);
  if (!item->IsLine()) item->OnClick = [this](TObject* s) { Menu_OnClick(s); };
  menu->Items()->Add(item);
  return item;
}

int TMDate::To_Int(const char* text) {
  if (!text) return 0;
  int v = 0, digits = 0;
  for (const char* p = text; *p; p++)
    if (*p >= '0' && *p <= '9' && digits < 9) {
      v = v * 10 + (*p - '0');
      digits++;
    }
  return v;
}

int TMDate::Set_Date(const char* text) {
  const std::string t = text ? text : "";
  struct Part {
    TEdit* field;
    size_t from, len;
    int lo, hi;
  };
  const Part parts[] = {{year_, 0, 4, 1000, 5000}, {month_, 4, 2, 1, 12}, {day_, 6, 2, 1, 31}};
  for (const Part& p : parts) {
    const std::string s = p.from < t.size() ? t.substr(p.from, p.len) : std::string();
    const int v = To_Int(s.c_str());
    p.field->SetText(v >= p.lo && v <= p.hi ? Wide(s) : QString());
  }
  day_->Show();
  dayCap_->Show();
  updateGeometry();
  monthForm_ = false;
  return 1;
}

int TMDate::Set_Month(const char* text) {
  const std::string t = text ? text : "";
  year_->SetText(Wide(t.substr(0, 4)));
  month_->SetText(Wide(t.size() > 4 ? t.substr(4, 2) : std::string()));
  day_->Hide();
  dayCap_->Hide();
  updateGeometry();
  monthForm_ = true;
  return 1;
}

namespace {

// text into out of size bytes when it fits whole; else "" and 0.
int Put_Whole(char* out, size_t size, const char* text) {
  const size_t n = std::strlen(text);
  if (n >= size) {
    out[0] = 0;
    return 0;
  }
  std::memcpy(out, text, n + 1);
  return 1;
}

}  // namespace

int TMDate::Get_Date(char* out, size_t size) {
  if (!out || size == 0) return 0;
  const int y = To_Int(Narrow(year_->Text()).c_str());
  const int m = To_Int(Narrow(month_->Text()).c_str());
  const int d = To_Int(Narrow(day_->Text()).c_str());
  char date[16] = "";
  if (y != 0 || m != 0 || d != 0)
    std::snprintf(date, sizeof date, "%04u%02u%02u", unsigned(y) % 10000u, unsigned(m) % 100u, unsigned(d) % 100u);
  return Put_Whole(out, size, date);
}

int TMDate::Get_Month(char* out, size_t size) {
  if (!out || size == 0) return 0;
  const int y = To_Int(Narrow(year_->Text()).c_str());
  const int m = To_Int(Narrow(month_->Text()).c_str());
  char month[16] = "";
  if (y != 0 || m != 0) std::snprintf(month, sizeof month, "%04u%02u", unsigned(y) % 10000u, unsigned(m) % 100u);
  return Put_Whole(out, size, month);
}

int TMDate::Hide_Info() {
  for (TEdit* f : {year_, month_, day_}) f->Hide();
  for (TLabel* l : {yearCap_, monthCap_, dayCap_}) {
    l->Font()->Color = kGrey_Caption;
    l->FontChanged();
  }
  return 1;
}

int TMDate::Show_Info() {
  for (TEdit* f : {year_, month_, day_}) f->Show();
  for (TLabel* l : {yearCap_, monthCap_, dayCap_}) {
    l->Font()->Color = clBlack;
    l->FontChanged();
  }
  return 1;
}

void TMDate::Loaded() {
  TPanel::Loaded();
  SetCaption(QString());
}

QString TMDate::Value() {
  char buffer[9];
  if (monthForm_)
    Get_Month(buffer, sizeof buffer);
  else
    Get_Date(buffer, sizeof buffer);
  return QString::fromLatin1(buffer);
}

void TMDate::SetValue(const QString& v) {
  const std::string text = Narrow(v);
  if (monthForm_)
    Set_Month(text.c_str());
  else
    Set_Date(text.c_str());
}

void TMDate::SetMonthForm(bool on) {
  if (on == monthForm_) return;
  char buffer[9];
  Get_Date(buffer, sizeof buffer);
  if (on)
    Set_Month(buffer);
  else
    Set_Date(buffer);
}

void TMDate::Fire_Change() {
  if (OnChange) OnChange(this);
}

void TMDate::Focus(TEdit* field) {
  if (!field->Focused()) field->SetFocus();
}

void TMDate::Value_OnChange(TObject*) { Fire_Change(); }

void TMDate::Label_OnClick(TObject* sender) {
  auto* caption = qobject_cast<TLabel*>(sender);
  if (!caption || !Zem_Calendar_Available()) return;
  Focus(day_);
  char buffer[20], old[20];
  Get_Date(buffer, sizeof buffer);
  Get_Date(old, sizeof old);
  // Below the clicked caption, in screen coordinates.
  const TPoint at = ClientToScreen(TPoint(caption->Left(), caption->Top() + caption->Height()));
  if (!Zem_Calendar_Get(at, buffer)) return;
  Set_Date(buffer);
  if (std::strcmp(buffer, old) != 0) Fire_Change();
}

void TMDate::Menu_OnClick(TObject* sender) {
  auto* item = qobject_cast<TMenuItem*>(sender);
  if (!item) return;
  const std::string caption = Narrow(item->Caption());
  auto holds = [&](const char* simplified) { return caption.find(Disp_Text(simplified)) != std::string::npos; };
  char gbk[4][8];
  const char16_t* words[4] = {u"今天", u"年", u"月", u"日"};
  for (int i = 0; i < 4; i++) {
    const int n = Zem_W_To_MB(ZEM_CP_SYSTEM, words[i], -1, gbk[i], sizeof gbk[i]);
    if (n <= 0) gbk[i][0] = 0;
  }
  TEdit* field = nullptr;
  if (holds(gbk[0])) {
    Focus(day_);
    Set_Date(Today().toString(QStringLiteral("yyyyMMdd")).toLatin1().constData());
    Fire_Change();
    return;
  }
  if (holds(gbk[1]))
    field = year_;
  else if (holds(gbk[2]))
    field = month_;
  else if (holds(gbk[3]))
    field = day_;
  if (!field) return;
  Focus(field);
  field->SetText(QString::number(To_Int(caption.c_str())));
  Fire_Change();
}

void TMDate::On_Day_Menu_Popup(TObject*) {
  char month[9];
  Get_Month(month, sizeof month);
  const int ym = To_Int(month);
  const int days = month[0] ? Zem_Days_In_Month(ym / 100, ym % 100) : 0;
  dayMenu_->Items();  // its entries, made if this is their first use
  day29_->SetVisible(days >= 29);
  day30_->SetVisible(days >= 30);
  day31_->SetVisible(days >= 31);
}

namespace {

void* Create_TMDate(void* parent) { return new TMDate(static_cast<QWidget*>(parent)); }

}  // namespace

void Mdate_Register() { RegisterComponents(kZem_Palette_Page, "TMDate", Create_TMDate); }

// The unit has no static objects to destroy; its initialization only counts (the unit table does).
static Zem_Unit_Registrar g_mdate_unit("Mdate", nullptr, nullptr, Mdate_Register);

// ---- Qt forms ---------------------------------------------------------------------------------------

int TMDate::Set_Date(const QString& text) { return Set_Date(Narrow(text).c_str()); }

int TMDate::Set_Date(const QDate& date) {
  return Set_Date(date.isValid() ? date.toString(QStringLiteral("yyyyMMdd")).toLatin1().constData() : "");
}

int TMDate::Set_Month(const QString& text) { return Set_Month(Narrow(text).c_str()); }

int TMDate::Set_Month(const QDate& date) {
  return Set_Month(date.isValid() ? date.toString(QStringLiteral("yyyyMM")).toLatin1().constData() : "");
}

QDate TMDate::dateValue() {
  const int y = To_Int(Narrow(year_->Text()).c_str());
  const int m = To_Int(Narrow(month_->Text()).c_str());
  const int d = monthForm_ ? 1 : To_Int(Narrow(day_->Text()).c_str());
  // A year still being typed ("2", "202") is no date yet: the box takes years 1000 to 5000.
  return y >= 1000 && y <= 5000 && QDate::isValid(y, m, d) ? QDate(y, m, d) : QDate();
}

namespace {

// The right edge of the box's last shown part.
int Parts_Right(const QWidget* box) {
  int right = 0;
  for (const QWidget* w : box->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    if (!w->isHidden()) right = std::max(right, w->geometry().right() + 1);
  return right;
}

}  // namespace

QSize TMDate::sizeHint() const { return QSize(Parts_Right(this) + 19, 21); }

QSize TMDate::minimumSizeHint() const { return QSize(Parts_Right(this) + 3, 21); }
