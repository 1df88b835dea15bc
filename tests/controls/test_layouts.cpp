// The eight controls, through the one include of the package, in a row or a column of a window too
// small: each keeps what it needs to show.
#include <QBoxLayout>
#include <QLineEdit>
#include <zem_pack/zem_pack.h>

#include "controls_test_app.h"

TEST(Layouts, EveryControlKeepsWhatItNeedsToShow) {
  controlsTestApp();
  // need: the least size that shows what the control holds (the date box: up to its last caption)
  struct Row { const char* name; std::function<QWidget*()> make; QSize need; } rows[] = {
      {"TMG", [] { return new TMG; }, {1, 1}},          {"TMGS: its edit and lines", [] { return new TMGS; }, {80, 60}},
      {"MTreeView", [] { return new MTreeView; }, {1, 1}}, {"TTreeView_Ext", [] { return new TTreeView_Ext; }, {1, 1}},
      {"TComboBox_Ext", [] { return new TComboBox_Ext; }, {1, 1}}, {"MPickDate", [] { return new MPickDate; }, {1, 1}},
      {"TMDate", [] { return new TMDate; }, {113, 21}},  {"MStatusBar", [] { return new MStatusBar; }, {50, 19}},
      {"TMDate, month form", [] {
         auto* d = new TMDate;
         d->Set_Month("202406");
         return d;
       }, {81, 21}},
  };
  for (Row& r : rows) {
    for (QBoxLayout::Direction dir : {QBoxLayout::LeftToRight, QBoxLayout::TopToBottom}) {
      SCOPED_TRACE(std::string(r.name) + (dir == QBoxLayout::LeftToRight ? ", in a row" : ", in a column"));
      QWidget window;
      auto* layout = new QBoxLayout(dir, &window);
      layout->addWidget(new QLineEdit);
      QWidget* control = r.make();
      if (auto* bar = qobject_cast<MStatusBar*>(control)) bar->SetAlignBottom(false);  // in a layout
      layout->addWidget(control);
      window.resize(40, 20);
      window.show();
      QApplication::processEvents();
      EXPECT_TRUE(control->width() >= r.need.width() && control->height() >= r.need.height())
          << control->width() << "x" << control->height();
    }
  }
}
