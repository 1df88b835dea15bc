#include "demo/demo_grid_menu.h"

#include <QLocale>
#include <QMessageBox>

#include "controls/grid/Mg.h"
#include "host/grid_menu_host.h"
#include "toolkit/tk_menu.h"

void Demo_Add_Grid_Menu(TMG* grid) {
  if (!grid) return;
  grid->Set_Fmt_Desc(Zem_Host_Grid_Fmt_Desc(grid));
  grid->Allow_Range_Select_Mode_Switch(1);
  grid->Bind_Sms_Temp("T01,T02");
  // The mark column, last, under a header unit of both header rows. Read-only: a click marks, no editor.
  const int col = grid->ColCount();
  grid->Def_Col(col, u"选", "mark", 'S', 34, 0x02);
  grid->Def_Rect(col, 0, col, grid->FixedRows() - 1, TMG::Narrow(u"选").c_str());

  auto* menu = new TPopupMenu(grid);
  menu->SetName(QStringLiteral("voucherMenu"));
  auto* sum = new TMenuItem(menu);
  sum->SetCaption(QString::fromUtf16(u" 已选凭证合计…"));
  sum->OnClick = [grid](TObject*) {
    int n = 0;
    double total = 0;
    for (int r = grid->FixedRows(); r < grid->RowCount(); ++r)
      if (grid->GetRow_Bool(r)) ++n, total += QString::fromLatin1(grid->GetV("amount", r)).toDouble();
    QMessageBox::information(grid, QString::fromUtf16(u"已选凭证"),
                             QString::fromUtf16(u"已选 %1 张凭证，金额合计 %2。")
                                 .arg(n).arg(QLocale(QLocale::Chinese).toString(total, 'f', 2)));
  };
  menu->Items()->Add(sum);
  grid->Row_Bool_Bind("mark", menu);
  grid->Set_PopupMenu(menu);
  // The sum line takes the new column too, or it could not scroll as far as the grid.
  grid->Sync_Sum();
}
