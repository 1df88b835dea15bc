// Default host functions behind the data grid's popup menu: files, display schemes, full screen, column
// fitting and message templates, each a Qt dialog over the grid (or a file), registered together by
// Zem_Host_Register_Grid_Menu (which Zem_Host_Register_Defaults calls).
//
//   name                           what the default does
//   "gui_save_mg"                  asks for a file and writes the grid as shown: an Excel workbook
//                                  (.xlsx), CSV or a packed data set (.dat), chosen by the file's kind
//   "gui_mg_import_from_dat"       asks for a data file (packed data set or CSV) and fills the grid from
//                                  it, column by column name; the grid's import mode 2 appends the rows
//                                  after the last row holding data, any other mode replaces the rows
//   "gui_fit_mg_col_size_skip_0"   fits the shown columns to their texts (column 0, hidden, held,
//                                  money and check-box columns keep their widths)
//   "pdu_grid_show_max"            the grid (and its sum grid) alone on the whole screen until Escape
//                                  or the close button; then back in its form exactly as it was
//   "pdu_fmtgrid_load_list"        the grid's display schemes from the user's settings, and a last
//                                  entry (id "manage") that opens the scheme dialog
//   "pdu_fmtgrid_f2g_handle"       applies the descriptor's chosen scheme, or opens the scheme dialog
//   "tbx_sms_send_by_temp"         fills the template for the grid's rows and queues the messages in the
//                                  outbox after the user saw them
//   "tbx_sms_temp_design"          the template designer, with the focused grid's columns as fields
//   "tbx_sms_my_list"              the outbox
//
// Written files (whole or not at all: an existing file is replaced only by a complete one):
//   what          rows                                   cells
//   .xlsx         header rows, then the shown data rows  captions in bold; header units as merged
//                 (trailing empty rows left out)          ranges; numeric columns as numbers (money
//                                                         "#,##0.00", decimals as the column keeps
//                                                         them), check boxes as TRUE/FALSE, dates
//                                                         (type 'D', YYYYMMDD or YYYY-MM-DD) as dates;
//                                                         widths from the grid; header rows frozen
//   .csv          as .xlsx                               UTF-8 with a byte-order mark, "," between
//                                                         cells, CR LF between rows, quotes as a
//                                                         spreadsheet writes them; a header unit's
//                                                         caption in its first cell; numbers without
//                                                         thousands separators
//   .dat          the shown data rows                    a packed data set: one field per shown column
//                                                         (name, caption, type, size, decimals, width),
//                                                         the values (codes, not names, in dictionary
//                                                         pick-list columns)
// Hidden rows (height 0) and hidden columns (width 0) are left out of every kind; column 0 too.
//
// Display schemes live in the user's settings under "grid_schemes/<key>/<id>/": name, locked (the
// number of fixed columns) and columns (one entry per column in order: name, width, hidden).
//
// Message templates and the outbox are tables of a SQLite file "zem_host_sms.db" in the application
// home path (the public parameter "app_home_path", else the user's data folder of the program):
//   tbx_sms_temp(temp_code, temp_name, phone_col, body, fields, updated)
//   tbx_sms_outbox(msg_id, temp_code, phone, body, created, status)
// A template's body names the grid's columns as {name}; sending replaces each by the row's cell as
// shown. No gateway is attached: queued messages wait with the status "待发送".
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "frame/host_funcs.h"

// Registers the nine functions above; returns how many were registered. Also puts Qt's own dialog texts
// into Chinese (Host_Use_Chinese_Qt_Texts).
int Zem_Host_Register_Grid_Menu();

// ---- The host functions themselves.
int Zem_Host_Save_Mg(TMG* grid);
int Zem_Host_Mg_Import_From_Dat(TMG* grid);
int Zem_Host_Fit_Mg_Col_Size_Skip_0(TMG* grid);
int Zem_Host_Grid_Show_Max(TMG* grid);
int Zem_Host_Fmtgrid_Load_List(const char* key, TSQLCA* schemes);
int Zem_Host_Fmtgrid_F2g_Handle(Grid_Fmt_Desc* desc, TMG* grid, int flag);
int Zem_Host_Sms_Send_By_Temp(TMG* grid, const char* temp_code);
int Zem_Host_Sms_Temp_Design(const char* temp_code);
int Zem_Host_Sms_My_List();

// ---- Files, without dialogs (for hosts that choose the file themselves, and for tests).
enum Zem_Grid_File_Kind { ZEM_GRID_XLSX, ZEM_GRID_CSV, ZEM_GRID_DAT };
// The kind a file name asks for by its suffix (xlsx, csv, dat; any other gives xlsx).
Zem_Grid_File_Kind Zem_Host_Grid_File_Kind(const QString& path);
// Writes the grid to path; true, or false with *error saying why (the file is then left as it was).
bool Zem_Host_Write_Grid(TMG* grid, const QString& path, Zem_Grid_File_Kind kind, QString* error);

struct Zem_Grid_Import {
  int rows = 0;             // data rows written into the grid
  QStringList matched;      // captions of the grid columns that were filled
  QStringList unused;       // fields of the file that no column took
};
// Fills the grid from a packed data set or a CSV file (by content: a file that unpacks as a data set is
// one, other text is CSV). A file field fills the column whose name equals its name (then without regard
// to case, then whose caption equals its caption or name). Numeric columns take numbers only (blanks,
// thousands separators and currency signs aside); check-box columns 1/0, T/F, true/false, 是/否;
// dictionary pick-list columns a code or "code name". mode 2 appends, any other replaces the data rows.
// Checked whole before the grid changes: true with *done, or false with *error naming the file, the
// line and the column, the grid untouched.
bool Zem_Host_Import_Grid_File(TMG* grid, const QString& path, int mode, Zem_Grid_Import* done, QString* error);

// ---- Display schemes, without dialogs.
struct Zem_Grid_Scheme_Col {
  QString name;       // the column's name
  int width = 0;      // its width when shown
  bool hidden = false;
};
struct Zem_Grid_Scheme {
  QString id, name;
  int locked = -1;    // fixed columns (columns locked while scrolling); -1 leaves them
  QList<Zem_Grid_Scheme_Col> cols;  // in order; columns the grid lacks are passed over
};
// The grid's layout now: its named columns in order, their widths, hidden flags and the locked columns.
Zem_Grid_Scheme Zem_Host_Grid_Capture_Scheme(TMG* grid);
// Moves, sizes, hides and shows the grid's columns and locks its leading columns as the scheme says
// (columns the scheme does not name keep their places after the named ones). Returns 1.
int Zem_Host_Grid_Apply_Scheme(TMG* grid, const Zem_Grid_Scheme& scheme);
// The schemes kept under key, in the order they were first saved.
QList<Zem_Grid_Scheme> Zem_Host_Grid_Schemes(const QString& key);
// Keeps the scheme under key; a scheme of the same name is replaced. Returns its id.
QString Zem_Host_Grid_Save_Scheme(const QString& key, const Zem_Grid_Scheme& scheme);
int Zem_Host_Grid_Delete_Scheme(const QString& key, const QString& id);
// The scheme dialog over the grid: save the layout under a name, see, apply and delete schemes. Returns
// 1 when a scheme was applied.
int Zem_Host_Grid_Scheme_Dialog(TMG* grid, const QString& key);
// A descriptor for the grid, owned by the host module and freed with the grid; its key names the grid
// by its window's and its own object names ("voucherForm/voucherGrid").
Grid_Fmt_Desc* Zem_Host_Grid_Fmt_Desc(TMG* grid);
// The id of the last entry of the scheme list, the one that opens the dialog.
inline constexpr char kZem_Grid_Scheme_Manage[] = "manage";

// ---- Message templates, without dialogs.
struct Zem_Sms_Template {
  QString code, name;
  QString phone_col;     // the column holding the receiver's number
  QString body;          // text with {column name} fields
  QStringList fields;    // "name\tcaption" of the columns it was last designed or sent with
};
struct Zem_Sms_Message {
  int row = 0;           // grid row
  QString phone, text;
};
// The SQLite file of the templates and the outbox.
QString Zem_Host_Sms_Db_Path();
// false with *error when the store cannot be read, or (found null) the template does not exist.
bool Zem_Host_Sms_Load(const QString& code, Zem_Sms_Template* temp, bool* found, QString* error);
bool Zem_Host_Sms_Save(const Zem_Sms_Template& temp, QString* error);
// The fields of the body that the grid (or, without one, the template's field list) lacks.
QStringList Zem_Host_Sms_Unknown_Fields(const Zem_Sms_Template& temp, TMG* grid);
// The messages for the grid's rows: the marked rows when the grid's check-mark column marks any, else
// the selected rows when the selection spans several, else every shown row holding data. Rows whose
// number cell is empty or not a number are counted in *skipped.
QList<Zem_Sms_Message> Zem_Host_Sms_Build(TMG* grid, const Zem_Sms_Template& temp, int* skipped);
// Puts the messages into the outbox in one transaction; false with *error and nothing queued.
bool Zem_Host_Sms_Queue(const QString& code, const QList<Zem_Sms_Message>& messages, QString* error);
struct Zem_Sms_Outbox_Row {
  int id = 0;
  QString created, code, phone, text, status;
};
// The outbox, newest first.
bool Zem_Host_Sms_Outbox(QList<Zem_Sms_Outbox_Row>* rows, QString* error);
bool Zem_Host_Sms_Delete(const QList<int>& ids, QString* error);
// Counts the characters of a message and the parts it is sent in (70 characters in one, else 67 each).
int Zem_Host_Sms_Parts(const QString& text);
