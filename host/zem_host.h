// Default host functions: the ones that do not depend on an application's own data, as Qt dialogs.
//
//   name                    what the default does
//   "gui_inp_str"           one-line input box; prompt, title and text in GBK
//   "gui_inp_str_w"         the same in UTF-16
//   "gui_calendar_get"      calendar dialog over a YYYYMMDD buffer, placed at the public parameters
//                           "tmp.calendar_x"/"tmp.calendar_y" when they exist
//   "gui_init_menu_font"    gives a popup menu the application's menu font
//   "Mup_Gui_User_Para_Get" / "Mup_Gui_User_Para_Save"
//                           per-user preferences in QSettings (organisation "zem_pack", application
//                           the program's name), keys and values GBK
//   "gui_get_memory_usage"  resident memory of the process in bytes
//   "gui_print_tree", "pdu_export_tree_to_km"
//                           the code tree's print preview and outline export (host/zem_host_tree.h)
//   "pdu_code_select", "pdu_code_multi_select", "pdu_dbio_select", "pdu_code_key_search"
//                           code choice over the dictionaries (host/code_dialogs.h)
//   "pdu_grid_filter", "pdu_grid_filter_ext"
//                           the data grid's filter dialogs (host/zem_host_grid.h)
//   "pdu_inp_dict_key", "board_obj_handle"
//                           the combo box's key hook and the board of current objects (host/combo_host.h)
//   "pdu_save_conflict"     the choice over a row someone else changed since it was read, when a tracked
//                           query area is saved (host/save_conflict_dialog.h)
//   "gui_wait_box", "gui_status_text"
//                           the box shown while the user-interface thread waits for a server, with 取消,
//                           and the status line about the database link (host/wait_box.h)
//
// The grid's popup-menu functions (files, display schemes, full screen, column fitting, message
// templates) are registered with them (host/grid_menu_host.h). Other data dialogs ("pdu_*") belong to the
// application.
#pragma once

#include "frame/host_funcs.h"

// Registers every default above in the shared registry (the process-wide one when bound, else the
// framework's own table). A name the host registered already is replaced. With an application made, it
// also makes every modal dialog hand the keyboard back when it closes (ReturnFocusAfterDialogs). Returns
// how many were registered.
int Zem_Host_Register_Defaults();

// The defaults themselves, for hosts that register only some of them or wrap them.
int Zem_Host_Inp_Str(const char* prompt, char* buffer, int max_len, const char* title);
int Zem_Host_Inp_Str_W(const char16_t* prompt, char16_t* buffer, int max_len, const char16_t* title);
// The calendar (host/zem_host_calendar.cpp): a month view in Chinese starting on the buffer's date
// (today by the toolkit's clock when it holds none), its top-left corner at "tmp.calendar_x" /
// "tmp.calendar_y" kept on the screen; a double click or OK chooses. Registered alone by
// Zem_Host_Register_Calendar (1, or 0 when the registry refused it).
int Zem_Host_Calendar_Get(char* date_buffer);
int Zem_Host_Register_Calendar();
int Zem_Host_Init_Menu_Font(TPopupMenu* menu);
const char* Zem_Host_User_Para_Get(const char* key);
int Zem_Host_User_Para_Save(const char* key, const char* value, int flag);
long long Zem_Host_Memory_Usage();
