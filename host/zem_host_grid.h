// Default grid dialogs of the host module, for the data grid's filter actions:
//
//   name                   what the default does
//   "pdu_grid_filter"      dialog "过滤数据": a column of the grid (the current one first) and the list of its
//                          distinct values with their counts; the chosen value filters the grid
//                          (TMG::Filter), "全部显示" shows every row again
//   "pdu_grid_filter_ext"  dialog over one column: its distinct values as check boxes (ticked: shown in the
//                          grid now), narrowed by a "包含" text; rows whose value is ticked stay, the others
//                          are hidden
//
// Both refresh the grid's sum line afterwards (TMG::Sync_Sum). The grid's search asks for its text through
// "gui_inp_str_w", the input box of zem_host.h. Captions pass through the caption language map (context
// "grid").
#pragma once

class TMG;

// Registers the two functions above; returns how many were registered. Zem_Host_Register_Defaults calls it.
int Zem_Host_Register_Grid();

// 1 when the grid's rows were changed, 0 when cancelled (or for a null grid or an unknown column).
int Zem_Host_Grid_Filter(TMG* grid);
int Zem_Host_Grid_Filter_Ext(TMG* grid, const char* col_name);
