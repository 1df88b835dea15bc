// Every host function the package may call, with its name and its C function-pointer type. The host
// registers its functions under these names (App_Set_Pub_Ptr of its registry copy, or kdm_pub_ptr);
// the controls look them up by the same constants and call through the same types, so a host and a
// control that disagree on a function's arguments fail to compile rather than crash.
//
// Conventions: narrow text is GBK (char), wide text is UTF-16 (char16_t); int results are non-zero for
// "done/chosen" and 0 for "cancelled/not handled" unless said otherwise. Controls, menus and query
// areas are passed as pointers the host must not keep beyond the call. The classes are declared only:
// this header sits at the bottom layer and is used by hosts that never see the classes' definitions.
//
// Use with Zem_Host_Func (frame/singleton.h):
//   static Pdu_Grid_Filter_Fn fn = nullptr;
//   if (auto f = Zem_Host_Func(kPdu_Grid_Filter, fn)) f(grid);
#pragma once

class TMG;
class TSQLCA;
class TPopupMenu;
class TComboBox_Ext;
class MTreeView;
class TParaMgr;
struct TSave_Conflict;
struct Zem_Wait;


// --- Menus ---------------------------------------------------------------------------------------
// Sets the application's menu font on the menu's items; result ignored.
inline constexpr char kGui_Init_Menu_Font[] = "gui_init_menu_font";
typedef int (*Gui_Init_Menu_Font_Fn)(TPopupMenu* menu);

// --- Code tree view ------------------------------------------------------------------------------
// One-line input box: prompt (e.g. "查找内容" in GBK), buffer edited in place (holds at most max_len
// characters plus NUL), title (may be empty). Non-zero when confirmed.
inline constexpr char kGui_Inp_Str[] = "gui_inp_str";
typedef int (*Gui_Inp_Str_Fn)(const char* prompt, char* buffer, int max_len, const char* title);
// Prints the tree.
inline constexpr char kGui_Print_Tree[] = "gui_print_tree";
typedef int (*Gui_Print_Tree_Fn)(MTreeView* tree);
// Exports the tree to a hierarchy chart under the title (narrow text).
inline constexpr char kPdu_Export_Tree_To_Km[] = "pdu_export_tree_to_km";
typedef int (*Pdu_Export_Tree_To_Km_Fn)(MTreeView* tree, const char* title);
// Reads a per-user preference ("cap.%s.%s"): the stored value as narrow text owned by the host and
// valid until the next call, or null when none is stored.
inline constexpr char kMup_Gui_User_Para_Get[] = "Mup_Gui_User_Para_Get";
typedef const char* (*Mup_Gui_User_Para_Get_Fn)(const char* key);
// Stores a per-user preference; flag is 0 from the controls.
inline constexpr char kMup_Gui_User_Para_Save[] = "Mup_Gui_User_Para_Save";
typedef int (*Mup_Gui_User_Para_Save_Fn)(const char* key, const char* value, int flag);

// --- Grid search and filter ----------------------------------------------------------------------
// Wide one-line input box: prompt (u"查找内容"), buffer edited in place (at most max_len characters
// plus NUL, 60 from the grid), title (null from the grid). Non-zero when confirmed; on cancel the
// buffer is left as it was.
inline constexpr char kGui_Inp_Str_W[] = "gui_inp_str_w";
typedef int (*Gui_Inp_Str_W_Fn)(const char16_t* prompt, char16_t* buffer, int max_len,
                                const char16_t* title);
// The host's filter for the whole grid; result ignored.
inline constexpr char kPdu_Grid_Filter[] = "pdu_grid_filter";
typedef int (*Pdu_Grid_Filter_Fn)(TMG* grid);
// The host's filter for one column (the column's name, narrow); result ignored.
inline constexpr char kPdu_Grid_Filter_Ext[] = "pdu_grid_filter_ext";
typedef int (*Pdu_Grid_Filter_Ext_Fn)(TMG* grid, const char* col_name);

// --- Dictionary choice (grid dictionary columns, combo box) ---------------------------------------
// Single choice: dictionary id, code buffer of 100 bytes holding the current code (list). Non-zero
// when chosen; the buffer then holds the chosen code (NUL-terminated, at most 99 bytes).
inline constexpr char kPdu_Code_Select[] = "pdu_code_select";
typedef int (*Pdu_Code_Select_Fn)(const char* dict_id, char* code_buffer);
// Multiple choice: dictionary id, query area with one field and one record per chosen code. Non-zero
// when confirmed; the host has rewritten the records (code in field 0).
inline constexpr char kPdu_Code_Multi_Select[] = "pdu_code_multi_select";
typedef int (*Pdu_Code_Multi_Select_Fn)(const char* dict_id, TSQLCA* codes);

// --- Grid popup menu -----------------------------------------------------------------------------
// Each takes the grid; results ignored.
inline constexpr char kGui_Save_Mg[] = "gui_save_mg";
typedef int (*Gui_Save_Mg_Fn)(TMG* grid);
inline constexpr char kGui_Mg_Import_From_Dat[] = "gui_mg_import_from_dat";
typedef int (*Gui_Mg_Import_From_Dat_Fn)(TMG* grid);
inline constexpr char kGui_Fit_Mg_Col_Size_Skip_0[] = "gui_fit_mg_col_size_skip_0";
typedef int (*Gui_Fit_Mg_Col_Size_Skip_0_Fn)(TMG* grid);
inline constexpr char kPdu_Grid_Show_Max[] = "pdu_grid_show_max";
typedef int (*Pdu_Grid_Show_Max_Fn)(TMG* grid);
// A grid's display-format descriptor: made and kept by the host, handed to the grid, read by both.
// The grid lists the schemes stored under key and, when the user picks one, writes its id into
// cur_id before asking the host to apply it.
struct Grid_Fmt_Desc {
  char key[101];     // the grid's place in the host's scheme store (narrow, NUL-terminated)
  char cur_id[101];  // the scheme to apply: at most 100 bytes and the NUL
};
// Fills the empty query area with the grid's display schemes: field 0 scheme id, field 1 name.
// key is the display-format descriptor's key text.
inline constexpr char kPdu_Fmtgrid_Load_List[] = "pdu_fmtgrid_load_list";
typedef int (*Pdu_Fmtgrid_Load_List_Fn)(const char* key, TSQLCA* schemes);
// Applies the descriptor's current scheme (cur_id) to the grid; flag is 0.
inline constexpr char kPdu_Fmtgrid_F2g_Handle[] = "pdu_fmtgrid_f2g_handle";
typedef int (*Pdu_Fmtgrid_F2g_Handle_Fn)(Grid_Fmt_Desc* fmt_descriptor, TMG* grid, int flag);
// SMS templates: send built from the grid with the template code; design a template; show the log.
inline constexpr char kTbx_Sms_Send_By_Temp[] = "tbx_sms_send_by_temp";
typedef int (*Tbx_Sms_Send_By_Temp_Fn)(TMG* grid, const char* temp_code);
inline constexpr char kTbx_Sms_Temp_Design[] = "tbx_sms_temp_design";
typedef int (*Tbx_Sms_Temp_Design_Fn)(const char* temp_code);
inline constexpr char kTbx_Sms_My_List[] = "tbx_sms_my_list";
typedef int (*Tbx_Sms_My_List_Fn)();

// --- Combo box -----------------------------------------------------------------------------------
// Offers a key (wide character code) to the host's search list; non-zero when the host took it.
inline constexpr char kPdu_Inp_Dict_Key[] = "pdu_inp_dict_key";
typedef int (*Pdu_Inp_Dict_Key_Fn)(TComboBox_Ext* box, int key);
// Looks up a typed text (wide, NUL-terminated: the view's text) in the dictionary; non-zero when a
// code was found, written NUL-terminated into code_buffer (100 bytes).
inline constexpr char kPdu_Code_Key_Search[] = "pdu_code_key_search";
typedef int (*Pdu_Code_Key_Search_Fn)(const char* dict_id, const char16_t* text, char* code_buffer);
// Single choice over a box filled from a query area: the item list, the 100-byte code buffer, 0.
inline constexpr char kPdu_Dbio_Select[] = "pdu_dbio_select";
typedef int (*Pdu_Dbio_Select_Fn)(TSQLCA* items, char* code_buffer, int flag);
// Tells the host's board that a code of dictionary "emp", "eba", "res" or "sup" was chosen; result
// ignored. Looked up on every use.
inline constexpr char kBoard_Obj_Handle[] = "board_obj_handle";
typedef int (*Board_Obj_Handle_Fn)(const char* dict_id, const char* code);

// --- Date box and date picker --------------------------------------------------------------------
// Calendar dialog over a 20-byte buffer holding YYYYMMDD or an empty text; non-zero when a date was
// chosen, left in the buffer as YYYYMMDD. The dialog's position is in the integer public parameters
// "tmp.calendar_x" and "tmp.calendar_y".
inline constexpr char kGui_Calendar_Get[] = "gui_calendar_get";
typedef int (*Gui_Calendar_Get_Fn)(char* date_buffer);

// --- Saving tracked rows (core/data/save_changes.h) ----------------------------------------------
// A row another clerk changed (or deleted) since it was loaded: shows the row, its values as loaded,
// as this clerk has them and as the table holds them, and lets the clerk choose. Returns a
// TSave_Conflict::Choice: 1 keep mine, 2 take theirs, 3 merge by column (the fields' take_theirs
// flags, which the host may change, say which value each column keeps), 0 cancel the save.
inline constexpr char kPdu_Save_Conflict[] = "pdu_save_conflict";
typedef int (*Pdu_Save_Conflict_Fn)(TSave_Conflict* conflict);

// --- Framework -----------------------------------------------------------------------------------
// Prepares a remote call's parameter pack before it is sent (the host adds its session values);
// non-zero to go on with the call.
inline constexpr char kRcall_Prepare_Handle[] = "Rcall_Prepare_Handle";
typedef int (*Rcall_Prepare_Handle_Fn)(TParaMgr* para);
// The host's memory figure in bytes, for diagnostics.
inline constexpr char kGui_Get_Memory_Usage[] = "gui_get_memory_usage";
typedef long long (*Gui_Get_Memory_Usage_Fn)();
// The box shown while the user-interface thread waits for a server (frame/wait.h has the struct and
// the operations): runs the host's event loop so the window keeps painting, holds off other input,
// and after w->show_after_ms shows a small modal box with w->title ("正在等待数据库…"), the time waited,
// the detail line and 取消 (Escape too). Any thread may call it: on any but its user-interface thread
// it answers ZEM_WAIT_NOT_HERE and the caller waits by itself.
inline constexpr char kGui_Wait_Box[] = "gui_wait_box";
typedef int (*Gui_Wait_Box_Fn)(Zem_Wait* w, int op);
// A line about the database link for the status bar: kind 1 when it broke ("数据库连接中断，N 秒后重试"),
// 2 when it is back ("数据库连接已恢复"), 0 any other notice (a dictionary serving old rows). The same
// line goes to the framework log. Called from any thread; result ignored.
inline constexpr char kGui_Status_Text[] = "gui_status_text";
typedef int (*Gui_Status_Text_Fn)(const char16_t* text, int kind);
// Objects rather than functions: the TLS proxies' client and server, opaque to the package.
inline constexpr char kSsl_Proxy_Client_Ptr[] = "Ssl_Proxy_Client_Ptr";
inline constexpr char kSsl_Proxy_Server_Ptr[] = "Ssl_Proxy_Server_Ptr";

// Every host function name above, for hosts that list or check what they provide.
inline const char* const* Zem_Host_Func_Names(int* count) {
  static const char* const names[] = {
      kGui_Init_Menu_Font, kGui_Inp_Str, kGui_Print_Tree, kPdu_Export_Tree_To_Km,
      kMup_Gui_User_Para_Get, kMup_Gui_User_Para_Save, kGui_Inp_Str_W, kPdu_Grid_Filter,
      kPdu_Grid_Filter_Ext, kPdu_Code_Select, kPdu_Code_Multi_Select, kGui_Save_Mg,
      kGui_Mg_Import_From_Dat, kGui_Fit_Mg_Col_Size_Skip_0, kPdu_Grid_Show_Max,
      kPdu_Fmtgrid_Load_List, kPdu_Fmtgrid_F2g_Handle, kTbx_Sms_Send_By_Temp, kTbx_Sms_Temp_Design,
      kTbx_Sms_My_List, kPdu_Inp_Dict_Key, kPdu_Code_Key_Search, kPdu_Dbio_Select, kBoard_Obj_Handle,
      kGui_Calendar_Get, kPdu_Save_Conflict, kRcall_Prepare_Handle, kGui_Get_Memory_Usage, kGui_Wait_Box,
      kGui_Status_Text, kSsl_Proxy_Client_Ptr, kSsl_Proxy_Server_Ptr};
  if (count) *count = static_cast<int>(sizeof names / sizeof names[0]);
  return names;
}
