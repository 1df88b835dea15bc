// grid_columns: the grid's definition language of docs/GUIDE.md, worked through. A TMG takes ADEF lines
// (one column each), BDEF header units and one column defined at run time; the program prints the column
// record every line made and the header units, so each item's effect can be read off.
//
// Usage: grid_columns [--screenshot FILE]
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "controls/grid/Mg.h"
#include "frame/startup/zem_pack.h"
#include "frame/zem_units.h"

namespace {

// One line per data column: the caption, then the items.
const char16_t* const kAdef[] = {
    u"凭证号,$voucher_no,readonly,||90",
    u"日期,$voucher_date,|80,align_middle",
    u"数量,$qty,int,+,max#9999",
    u"单价,$price,number,dec#4,min#0",
    u"金额,$amount,float,dec#2,size#14,money,notnull",
    u"审核,$checked,bool,||40",
    u"摘要,$summary,edit_ellipsis,|160",
    u"状态,$state,picklist,blue,bg_yellow",
    u"备注,$note,#8421504,bg#15790320,not_allow_edit",
    u"冲销,$reversal,-,dec#2,right,allow_edit",
    u"Remark ,MONEY_RED,$Remark",
    u"单位, float ,readonly",
    u"仅标题",
};
constexpr int kLines = sizeof kAdef / sizeof kAdef[0];

// Header units over the two fixed rows: unit, first col, first row, last col, last row, caption.
const char16_t* const kBdef[] = {
    u"unit,1,0,2,0,凭证",
    u"unit,3,0,5,0,数量与金额",
    u"unit,6,0,6,1,审核",
    u"unit,1,1,1,1,凭证号",
    u"unit,2,1,2,1,日期",
    u"unit,3,1,3,1,数量",
    u"unit,4,1,4,1,单价",
    u"unit,5,1,5,1,金额",
};

QStringList Lines(const char16_t* const* lines, int n) {
  QStringList list;
  for (int i = 0; i < n; i++) list << QString::fromUtf16(lines[i]);
  return list;
}

// The console is UTF-8; the grid's narrow texts are in the system code page.
QByteArray U8(const char* narrow) { return TMG::Wide(narrow).toUtf8(); }

void Print_Columns(TMG* grid) {
  std::printf("col name         type size dec sign min  max   null ro edit show align color    bg       "
              "fixed width ext\n");
  for (int c = 1; c < grid->ColCount(); c++) {
    const TMG_Col_Def* d = grid->GetColDef(c);
    std::printf("%-3d %-12s %-4c %4d %3d %-4c %-4s %-5s %-4d %-2d %-4d %-4d %-5d 0x%06X 0x%06X %5d %5d %3d\n", c,
                U8(d->name).constData(), d->type, d->size, d->dec, d->sign ? d->sign : '.', d->min[0] ? d->min : ".",
                d->max[0] ? d->max : ".", d->nullable, d->readonly, d->edit_style, d->show_style,
                d->align_style, static_cast<unsigned>(d->color), static_cast<unsigned>(d->bgcolor),
                d->fixed_width, grid->ColWidths(c), d->ext_opt);
  }
}

// Defines the grid's columns, prints what they became; with a file name, a picture of the grid.
int Show_Columns(const QString& shot) {
  TMG grid;
  grid.SetColCount(kLines + 1);  // column 0 is the row-mark column; ADEF line i defines column i + 1
  grid.SetRowCount(5);
  grid.SetFixedRows(2);
  grid.SetADEF(Lines(kAdef, kLines));
  grid.SetBDEF(Lines(kBdef, sizeof kBdef / sizeof kBdef[0]));

  // A column defined at run time: caption, name, type letter, width, flags (2 read-only, 16 six decimals).
  grid.Def_Col(kLines + 1, u"折扣", "discount", 'F', 60, 0x02 | 0x10);
  // Items applied to a column that exists: the same language, one item list.
  grid.Add_Def(1, "bg_silver");

  Print_Columns(&grid);
  std::printf("header units:\n");
  for (int i = 0; i < grid.Rect_Count(); i++) {
    const TMG_Rect_Def* u = grid.Get_Rect_Def(i);
    std::printf("  columns %d..%d, rows %d..%d: %s\n", u->a, u->c, u->b, u->d, U8(u->caption).constData());
  }
  int qty = 0;
  if (grid.GetColId("qty", &qty)) std::printf("column of qty: %d\n", qty);
  std::printf("column of Remark: %s, of remark: %d\n", grid.GetColId("Remark", &qty) ? "found" : "none",
              grid.GetColId("remark", nullptr));

  if (shot.isEmpty()) return 0;
  grid.resize(1100, 200);
  grid.show();
  QApplication::processEvents();
  return grid.grab().save(shot, "PNG") ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("TARVOK_DLL_PATH", ZEM_DLL_DIR, 0);
  QApplication app(argc, argv);
  Initialize();
  Init_Tfa();
  const QStringList args = app.arguments();
  const int shotAt = args.indexOf(QStringLiteral("--screenshot"));
  const int rc = Show_Columns(shotAt > 0 && shotAt + 1 < args.size() ? args[shotAt + 1] : QString());
  Finalize();
  return rc;
}
