// The Mstatusbar unit: MStatusBar, the owner-drawn status bar.
//
// A light grey bar (EFEFEE) whose owner-drawn panels write their text in the bar's own font and font
// colour (blue), vertically centred, 3 pixels in from the side the panel's alignment names (centred for
// taCenter). Panels are owner-drawn only after Set_Own_Draw; before that the toolkit draws them in its
// own style, with the bar's colour and font colour. Unlike the other controls, constructing an
// MStatusBar does not start the framework.
//
// Published properties (editable in the form designer and stored in .ui files):
//   SimplePanel, SimpleText  the toolkit's single-text mode
//   PanelTexts               one panel per item, its text (rebuilds the panels)
//   PanelWidths              panel widths as a comma-separated list ("200,,120"); an entry that is
//                            empty or not a number keeps its panel's width (a new panel's is 50)
//   OwnDraw                  when on, Set_Own_Draw runs now and after every PanelTexts rebuild
//   AlignBottom              the bar keeps itself along the bottom of its parent (off inside layouts)
//
// In a form designer (Set_Designing) the bar stays where the designer put it, whatever AlignBottom
// says, so a saved and reopened form looks the same; it docks at run time. It also draws a dashed frame
// and, without panels, its class name, so that a freshly dropped bar can be seen on the form.
#pragma once

#include <QStringList>

#include "toolkit/tk_statusbar.h"

class MStatusBar : public TStatusBar {
  Q_OBJECT
  // Written through the "setName" forms, the ones code generated from a form (uic) calls.
  Q_PROPERTY(bool SimplePanel READ SimplePanel WRITE setSimplePanel)
  Q_PROPERTY(QString SimpleText READ SimpleText WRITE setSimpleText)
  Q_PROPERTY(QStringList PanelTexts READ PanelTexts WRITE setPanelTexts)
  Q_PROPERTY(QString PanelWidths READ PanelWidths WRITE setPanelWidths)
  Q_PROPERTY(bool OwnDraw READ OwnDraw WRITE setOwnDraw)
  Q_PROPERTY(bool AlignBottom READ AlignBottom WRITE setAlignBottom)

 public:
  // The bar colour and the font colour set by construction (toolkit 0x00BBGGRR values).
  static constexpr TColor kBar_Color = 0xEFEFEE;
  static constexpr TColor kFont_Color = 0xFF0000;

  explicit MStatusBar(QWidget* parent = nullptr);

  // Makes every panel that exists now owner-drawn. Returns 1.
  int Set_Own_Draw();
  // Draws one owner-drawn panel of bar into rect: fills it with the bar colour and writes the panel's
  // text with the bar's font, the text background in the bar colour.
  void MStatusBarDrawPanel(TStatusBar* bar, TStatusPanel* panel, const TRect& rect);

  QStringList PanelTexts() const;
  void SetPanelTexts(const QStringList& texts);
  QString PanelWidths() const;
  void SetPanelWidths(const QString& widths);
  bool OwnDraw() const { return ownDraw_; }
  void SetOwnDraw(bool on);
  // The published value; while designing the toolkit bar does not dock whatever it is.
  bool AlignBottom() const { return alignBottom_; }
  void SetAlignBottom(bool on);
  bool Designing() const { return designing_; }
  void Set_Designing(bool on);
  // The published setters under the names a generated form calls.
  void setSimplePanel(bool on) { SetSimplePanel(on); }
  void setSimpleText(const QString& text) { SetSimpleText(text); }
  void setPanelTexts(const QStringList& texts) { SetPanelTexts(texts); }
  void setPanelWidths(const QString& widths) { SetPanelWidths(widths); }
  void setOwnDraw(bool on) { SetOwnDraw(on); }
  void setAlignBottom(bool on) { SetAlignBottom(on); }

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  void Apply_Widths(const QString& widths);
  bool ownDraw_ = false;
  bool alignBottom_ = true;
  bool designing_ = false;
  QString widthsSpec_;  // widths given for more panels than exist, for the next PanelTexts
};

// The unit's palette registration: "MStatusBar" on the page "Zem_Pack".
void Mstatusbar_Register();
