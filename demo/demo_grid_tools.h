// The demo's Tools > 表格 menu: the host functions behind the grid's popup menu, called on the voucher
// grid through the registry by name, as the grid's own menu calls them.
#pragma once

class QMainWindow;
class TMG;

// Adds the submenu to the window's menu "menuTools" (nothing when either is missing) and gives the grid
// its import id and display-format descriptor.
void Demo_Add_Grid_Tools(QMainWindow* window, TMG* grid);
