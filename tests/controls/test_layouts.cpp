// The eight controls in Qt layouts, as a form built in code or in Designer puts them: each asks for a
// size and is never squeezed below what it needs to show (the date box's last caption, the search
// edit's edit and list), in a row or in a column, in a window smaller than they want together.
#include <QBoxLayout>
#include <QLineEdit>
#include <functional>

#include "controls/combo/Combobox_ext.h"
#include "controls/grid/Mg.h"
#include "controls/inputs/Mdate.h"
#include "controls/inputs/Mgs.h"
#include "controls/inputs/Mpickdate.h"
#include "controls/inputs/Mstatusbar.h"
#include "controls/tree/Mtreeview.h"
#include "controls/tree/Treeview_ext.h"
#include "controls_test_app.h"

namespace {

TEST(Layouts, EveryControlKeepsWhatItNeedsToShow) {
  controlsTestApp();
  // need: the least size the control must keep to show what it holds (0: just not empty)
  struct Row { const char* name; std::function<QWidget*()> make; QSize need; } rows[] = {
      {"TMG", [] { return new TMG; }, {0, 0}},
      {"TMGS: the edit and a few lines of its list", [] { return new TMGS; }, {80, 60}},
      {"MTreeView", [] { return new MTreeView; }, {0, 0}},
      {"TTreeView_Ext", [] { return new TTreeView_Ext; }, {0, 0}},
      {"TComboBox_Ext", [] { return new TComboBox_Ext; }, {0, 0}},
      {"TMDate: up to the day caption", [] { return new TMDate; }, {113, 21}},
      {"TMDate in the month form: up to the month caption", [] {
         auto* d = new TMDate;
         d->Set_Month("202406");
         return d;
       }, {81, 21}},
      {"MPickDate", [] { return new MPickDate; }, {0, 0}},
      {"MStatusBar in a layout", [] {
         auto* b = new MStatusBar;
         b->SetAlignBottom(false);
         return b;
       }, {0, 0}},
  };
  for (Row& r : rows) {
    for (QBoxLayout::Direction dir : {QBoxLayout::LeftToRight, QBoxLayout::TopToBottom}) {
      SCOPED_TRACE(std::string(r.name) + (dir == QBoxLayout::LeftToRight ? ", in a row" : ", in a column"));
      QWidget window;
      auto* layout = new QBoxLayout(dir, &window);
      layout->addWidget(new QLineEdit);
      QWidget* control = r.make();
      layout->addWidget(control);
      layout->addWidget(new QLineEdit);
      window.resize(40, 20);
      window.show();
      QApplication::processEvents();
      EXPECT_TRUE(control->sizeHint().isValid()) << "asks for a size";
      EXPECT_GT(control->width(), 0);
      EXPECT_GT(control->height(), 0);
      EXPECT_GE(control->width(), r.need.width());
      EXPECT_GE(control->height(), r.need.height());
      if (auto* date = qobject_cast<TMDate*>(control)) {
        const QWidget* last = date->MonthForm() || date->Day_Caption()->isHidden() ? date->Month_Caption() : date->Day_Caption();
        EXPECT_LE(last->geometry().right(), date->width() - 1) << "the last caption shows whole";
      }
    }
  }
}

}  // namespace
