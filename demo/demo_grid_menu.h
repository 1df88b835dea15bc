// The voucher grid's menus: its own menu (the corner cell) with range selection, display schemes and
// SMS templates, and the form's right-click menu, which carries the grid functions as its first item
// and the row check marks of a column "mark" with an action on the marked vouchers.
#pragma once

class TMG;

void Demo_Add_Grid_Menu(TMG* grid);
