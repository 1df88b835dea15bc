// The Mstatusbar unit: MStatusBar and its unit hooks.
#include "controls/inputs/Mstatusbar.h"

#include <QPainter>
#include <algorithm>

#include "controls/common/zem_common.h"

MStatusBar::MStatusBar(QWidget* parent) : TStatusBar(parent) {
  SetColor(kBar_Color);
  Font()->Color = kFont_Color;
  SetUseSystemFont(false);
  FontChanged();
  OnDrawPanel = [this](TStatusBar* bar, TStatusPanel* panel, const TRect& rect) {
    MStatusBarDrawPanel(bar, panel, rect);
  };
}

int MStatusBar::Set_Own_Draw() {
  for (int i = 0; i < Panels()->Count(); i++) Panels()->Items(i)->SetStyle(psOwnerDraw);
  return 1;
}

void MStatusBar::MStatusBarDrawPanel(TStatusBar* bar, TStatusPanel* panel, const TRect& rect) {
  if (!bar || !panel) return;
  TCanvas* canvas = bar->Canvas();
  // The bar saves and restores its painter around each panel, which takes back the font the canvas
  // gave it for an earlier panel while the canvas still counts it as given: binding the painter again
  // makes the canvas give it the font anew.
  if (QPainter* painter = canvas->Painter()) canvas->Attach(painter);
  canvas->Brush->SetStyle(bsSolid);
  canvas->Brush->SetColor(bar->Color());
  canvas->FillRect(rect);
  canvas->Font->Assign(*bar->Font());

  const QString text = panel->Text();
  const int h = canvas->TextHeight(text);
  const int w = canvas->TextWidth(text);
  // A text taller than the panel starts at its top; a wide right-justified one may start left of the
  // panel and is clipped by the bar's paint.
  const int y = std::max(0, (rect.Bottom - rect.Top - h) / 2);
  int x = 3;
  switch (panel->Alignment()) {
    case taLeftJustify: x = 3; break;
    case taRightJustify: x = (rect.Right - rect.Left) - w - 3; break;
    case taCenter: x = (rect.Right - rect.Left - w) / 2; break;
  }
  canvas->TextOut(rect.Left + x, rect.Top + y, text);
}

QStringList MStatusBar::PanelTexts() const {
  QStringList texts;
  TStatusPanels* panels = const_cast<MStatusBar*>(this)->Panels();
  for (int i = 0; i < panels->Count(); i++) texts << panels->Items(i)->Text();
  return texts;
}

void MStatusBar::SetPanelTexts(const QStringList& texts) {
  // Widths given earlier (a form may set PanelWidths before PanelTexts) apply to the new panels.
  const QString widths = widthsSpec_.isEmpty() ? PanelWidths() : widthsSpec_;
  widthsSpec_.clear();
  Panels()->Clear();
  for (const QString& t : texts) Panels()->Add()->SetText(t);
  Apply_Widths(widths);
  if (ownDraw_) Set_Own_Draw();
}

QString MStatusBar::PanelWidths() const {
  if (!widthsSpec_.isEmpty()) return widthsSpec_;  // widths waiting for their panels read back as given
  QStringList widths;
  TStatusPanels* panels = const_cast<MStatusBar*>(this)->Panels();
  for (int i = 0; i < panels->Count(); i++) widths << QString::number(panels->Items(i)->Width());
  return widths.join(u',');
}

void MStatusBar::SetPanelWidths(const QString& widths) {
  // Widths for panels that do not exist yet wait for the next PanelTexts.
  const int given = widths.trimmed().isEmpty() ? 0 : int(widths.count(u',')) + 1;
  widthsSpec_ = given > Panels()->Count() ? widths : QString();
  Apply_Widths(widths);
}

void MStatusBar::Apply_Widths(const QString& widths) {
  // Entry i is panel i's: an empty entry holds its place, so ",90" widens the second panel.
  const QStringList parts = widths.split(u',');
  for (int i = 0; i < parts.size() && i < Panels()->Count(); i++) {
    bool ok = false;
    const int w = parts[i].trimmed().toInt(&ok);
    if (ok) Panels()->Items(i)->SetWidth(w);  // empty or not a number: the panel keeps its width
  }
}

void MStatusBar::SetOwnDraw(bool on) {
  ownDraw_ = on;
  if (on) Set_Own_Draw();
}

void MStatusBar::SetAlignBottom(bool on) {
  alignBottom_ = on;
  TStatusBar::SetAlignBottom(on && !designing_);
}

void MStatusBar::Set_Designing(bool on) {
  designing_ = on;
  SetAlignBottom(alignBottom_);
  update();
}

void MStatusBar::paintEvent(QPaintEvent* e) {
  TStatusBar::paintEvent(e);
  if (!designing_) return;
  // Designer only: the bar's colour is the form's, so its outline and, while it has no panels, its
  // class name show where it is.
  QPainter p(this);
  p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1, Qt::DashLine));
  p.setBrush(Qt::NoBrush);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  if (Panels()->Count() == 0 && !SimplePanel()) {
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawText(rect().adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("MStatusBar"));
  }
}

namespace {

void* Create_MStatusBar(void* parent) { return new MStatusBar(static_cast<QWidget*>(parent)); }

}  // namespace

void Mstatusbar_Register() { RegisterComponents(kZem_Palette_Page, "MStatusBar", Create_MStatusBar); }

// The unit has no static objects to destroy; its initialization only counts (the unit table does).
static Zem_Unit_Registrar g_mstatusbar_unit("Mstatusbar", nullptr, nullptr, Mstatusbar_Register);
