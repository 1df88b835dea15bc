// TMG: the package's data grid. A TStringGrid whose columns each carry a record (TMG_Col_Def) saying
// what the column holds and how it is shown and edited, defined by the ADEF definition language, by
// Def_Col at run time, or by the per-column setters.
//
// Column definition language (one ADEF line per data column; line i defines column i + 1):
//   caption [, item [, item ...]]
// The caption is trimmed and written into header row 0; its narrow form (at most 60 bytes) is the
// column name. Items are lower-cased and applied in order by Add_Sub_Def; the first rule that fits an
// item decides:
//   $name            column name             | float, int, number   numeric type, size 9, right aligned
//   size#n           digits                  | dec#n                decimals (n > 0 makes the type 'F')
//   min#t / max#t    limits as number text   | + or -               sign rule
//   |n               width (0..999)          | ||n                  fixed width (columns < 250) and width
//   notnull, readonly                        | allow_edit (bit 1), not_allow_edit (bit 2)
//   edit / show / align / colour keywords    substring match against the tables, in that order
//   #n / bg#n        text / background colour as a decimal TColor
// Keyword matching is by substring: "money_red" is a money column (no colour), "bg_yellow" a background.
// Anything else is ignored.
//
// Header units (BDEF, one per line): unit, first col, first row, last col, last row, caption
// (exactly six comma-separated fields, blanks around each trimmed); other lines are ignored.
//
// Column 0 is the row-mark column; data columns start at 1. Results of C and GetV(name) come from a
// ring of 100 buffers: each stays valid until 100 further results were produced.
#pragma once

#include "controls/common/zem_common.h"
#include "toolkit/tk_color.h"
#include "core/text/code_page.h"
#include "toolkit/tk_grid.h"

#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/text/map_str.h"

typedef unsigned char TMG_EditStyle;   // 0 simple, 1 ellipsis, 2 host pick list, 3 dictionary pick list
typedef unsigned char TMG_ShowStyle;   // 0 plain text, 1 money digit grid, 2 check box
typedef unsigned char TMG_AlignStyle;  // 0 left, 1 right, 2 centred

// One column's record. Defaults of a new record are written beside each field.
struct TMG_Col_Def {
  char name[61];        // "" : the name every lookup by name uses
  char type;            // 'S': 'S' text, 'I' integer, 'F' decimal, 'D' date; 'N', '1', '2' numeric too
  int size;             // 0 : number of digits
  int dec;              // 0 : decimals kept by the number normalisation
  char sign;            // 0 : '+' not negative, '-' negative, 0 no rule
  char min[20];         // "" : lower limit as number text, empty for none
  char max[20];         // "" : upper limit
  char dict[100];       // "" : code dictionary bound to the column
  char code_col[61];    // "" : column holding the codes whose names this column shows
  bool nullable;        // true
  bool readonly;        // false
  TMG_EditStyle edit_style;    // 0
  TMG_ShowStyle show_style;    // 0
  TMG_AlignStyle align_style;  // 0
  TColor color;         // 0 (black); Def_Col uses 0x1F1F1F
  TColor bgcolor;       // 0xFFFFFF
  int fixed_width;      // -1 : none; else the width the column is held at (columns below 250)
  int width;            // 0 : width when shown (Hide_Col keeps it)
  int stat_mode;        // 0 : sum grid statistics, 0 none, 1 sum, 2 average
  int ext_opt;          // 0 : bit 1 allow_edit, bit 2 not_allow_edit, bits 4 and 8 editing options
};

struct Key_Cmp_Str {
  char key[32];
  int value;
};

// One header unit: a rectangle of header cells drawn as one cell with one caption.
struct TMG_Rect_Def {
  int a, b, c, d;     // first column, first row, last column, last row
  char caption[80];
};

// One entry of the cell attribute list. row/col -10 mean every row / column of the other coordinate.
struct TMG_Cell_Attr {
  int row, col;
  int flags;          // 4 text colour set, 8 background set, 16 and 32 for the sum grid
  int color;          // TColor
  int bgcolor;        // TColor
};

// One sort key: the column, its type letter when it was added (not updated later), its direction.
struct TMG_Sort_Key {
  int col;
  char type;
  int desc;           // 0 ascending, 1 descending
};

class MPickDate;
class QDate;
class TImage;
class TMenuItem;
class TPopupMenu;
class TSQLCA;
struct Grid_Fmt_Desc;

int Is_Num_Type(char type);  // 1 for 'F', 'I', 'N', '1', '2'

// Number text helpers of the grid (narrow text, in the system code page).
// Cleaning: full-width digits and signs to ASCII, keep only digits, '+', '-', '.'; a lone sign is "0".
std::string Mg_Clean_Number(const std::string& s);
// Formatting to d decimals (d limited to 10, negative counts as 0), with or without zero padding;
// fractions are cut, not rounded; ',' separators in the input are put back on the result.
std::string Mg_Format_Number(const std::string& s, int d, bool pad);
// Trailing fraction zeros removed, and the '.' when nothing is left after it.
std::string Mg_Allt_Number(const std::string& s);
// The text Valid_Check leaves in a cell of the column d describes for text (narrow): cleaned,
// formatted to the column's type and decimals, the sign rule and the limits applied. Text of the
// columns Valid_Check leaves alone ('S', 'D', type code 2) and empty text come back unchanged.
std::string Mg_Valid_Text(const TMG_Col_Def* d, const std::string& text);
// A date in the forms cells hold: yyyymmdd, or year, month and day separated by any non-digits
// ("2024-1-5", "2024/01/05", "2024年1月5日"), years 1601..9999. False for anything else.
bool Mg_Read_Date(QStringView text, QDate* date);

// The framework start-up runs before the grid base is built, through the parent argument
// (Zem_Startup_Parent), since the meta-object compiler needs the Qt base first in the list.
class TMG : public TStringGrid {
  Q_OBJECT
  // Written through the "setName" forms below, the ones code generated from a form (uic) calls.
  Q_PROPERTY(QStringList ADEF READ ADEF WRITE setADEF)
  Q_PROPERTY(QStringList BDEF READ BDEF WRITE setBDEF)
  Q_PROPERTY(bool Show_Row_Id_Mode READ Show_Row_Id_Mode WRITE setShow_Row_Id_Mode)
  Q_PROPERTY(int FixedFontColor READ FixedFontColor WRITE setFixedFontColor)

 public:
  explicit TMG(QWidget* parent = nullptr);
  ~TMG() override;

  // ---- Published properties.
  QStringList ADEF() const { return adef_; }
  void SetADEF(const QStringList& list);
  QStringList BDEF() const { return bdef_; }
  void SetBDEF(const QStringList& list);
  int Set_ADef(TStrings* list);
  int Set_BDef(TStrings* list);
  bool Show_Row_Id_Mode() const { return showRowIdMode_; }
  void Set_Show_Row_Id_Mode(bool on);
  TColor FixedFontColor() const { return fixedFontColor_; }
  void SetFixedFontColor(TColor c);
  // The same setters under the names a generated form calls.
  void setADEF(const QStringList& list) { SetADEF(list); }
  void setBDEF(const QStringList& list) { SetBDEF(list); }
  void setShow_Row_Id_Mode(bool on) { Set_Show_Row_Id_Mode(on); }
  void setFixedFontColor(int c) { SetFixedFontColor(c); }

  // Runs once, on the first show (or when the host calls it), after the properties were set: gives the
  // columns that did not exist yet when ADEF was parsed (a form may set ADEF before ColCount) their
  // captions and widths. Nothing a host set in code is parsed over.
  void Loaded() override;

  // ---- Column definitions.
  int Add_Def(int col, const char* items);
  int Add_Sub_Def(int col, const char* item);
  TMG_Col_Def* Def_Col(int col, const char16_t* caption, const char* name, char type, int width, int flags);
  TMG_Col_Def* Get_Def(const char* name);
  TMG_Col_Def* GetColDef(int col);
  TMG_Col_Def* GetColDef(const char* name);
  const char* GetColName(int col);
  int GetColId(const char* name, int* id);
  int GetColId(const char16_t* name, int* id);
  const char* C(int col, int row);
  const char* C(const char* name, int row);
  int Set_Col(const char* name);
  static int Cmp_Key(const char* item, const Key_Cmp_Str* table, unsigned count);

  bool GetColNullable(int col);
  void SetColNullable(int col, bool v);
  bool GetColReadonly(int col);
  void SetColReadonly(int col, bool v);
  int GetColStatMode(int col);
  void SetColStatMode(int col, int v);
  TMG_EditStyle GetColEditStyle(int col);
  void SetColEditStyle(int col, TMG_EditStyle v);
  TMG_ShowStyle GetColShowStyle(int col);
  void SetColShowStyle(int col, TMG_ShowStyle v);
  TMG_AlignStyle GetColAlignStyle(int col);
  void SetColAlignStyle(int col, TMG_AlignStyle v);
  TColor GetColColor(int col);
  void SetColColor(int col, TColor v);
  TColor GetColBgColor(int col);
  void SetColBgColor(int col, TColor v);
  int GetColFixedSize(int col);
  void SetColFixedSize(int col, int v);

  int Hide_Col(int col);
  int Hide_Col(const char* name);
  int Show_Col(int col, int width);
  int Show_Col(const char* name, int width);
  int Set_Width(int col, int width) { return Show_Col(col, width); }
  int Set_Width(const char* name, int width) { return Show_Col(name, width); }
  int Adjust_Col_Width(const char* name, int width) { return Show_Col(name, width); }
  int Adjust_Col_Caption(const char* name, const char16_t* caption);
  int Adjust_Col_All_Hide();
  int Adjust_Col_Pos(const char* name, int pos);
  int Adjust_Col_Pos_And_Width(const char* name, int pos, int width);
  int Swap_Column(int a, int b);
  int Col_Jump(const char* name, int pos);
  int Check_Column_Turn(const char* first, const char* second);
  int Column_Move(TObject* Sender, int from, int to);

  int Def_Rect(int a, int b, int c, int d, const char* caption);
  int Rect_Count() const { return int(rects_.size()); }
  const TMG_Rect_Def* Get_Rect_Def(int i) const;

  // ---- Values.
  const char* GetV(int col, int row);
  const char* GetV(const char* name, int row);
  const char* SetV(int col, int row, const char* text);
  const char* SetV(int col, int row, int value);
  const char* SetV(int col, int row, float value);
  const char* SetV(const char* name, int row, const char* text);
  const char* SetV(const char* name, int row, const char16_t* text);
  const char16_t* GetW(int col, int row);
  const char16_t* GetW(const char* name, int row);
  const char16_t* SetW(int col, int row, const char16_t* text);
  const char16_t* SetW(const char* name, int row, const char16_t* text);

  int Std_Number_Cell(int col, int row);
  int Unify_Dec_Num(int col);
  int Unify_Dec_Num(const char* name);
  int Unify_All_Dec_Num();
  int Allt_Num(int col);
  int Allt_Num(const char* name);
  int Allt_All_Num();
  int Allt_And_Unify();
  int Valid_Check(int col, int row);

  int Insert_Row(int row);
  int Add_Row(int row) { return Insert_Row(row + 1); }
  int Delete_Row(int row);
  int Swap_Row(int a, int b);
  int Get_Have_Data_Row_Num();
  bool Has_Changed();
  int Set_Changed(int flag);
  int Assign_Mg(TMG* src);
  // Stores the data import id (at most 62 bytes) and mode, builds the popup menu when missing and
  // shows its import item exactly when mode is not 0. Returns 1.
  int Set_Dat_Id(const char* id, int flag);
  const char* Dat_Id() const { return datId_.c_str(); }
  int Dat_Mode() const { return datFlag_; }

  // ---- Popup menu of grid functions.
  // Builds the base popup menu once (items in their fixed order, each named "mg_..."; see
  // mg_menu.cpp); does nothing when it exists. Returns 1.
  int Init_Popup_Menu();
  // The base menu (owned by the grid); null until Init_Popup_Menu.
  TPopupMenu* Base_Popup_Menu() const { return popupMenu_; }
  // The base menu's item of that name; null when the menu or the item does not exist.
  TMenuItem* Base_Menu_Item(const char* name) const;
  // Brings the items in line with the grid each time the menu opens: the export items, unsort, the
  // range-select switch and the display schemes the host lists.
  void Popu_Menu_OnPopup();

  // ---- The menu's actions: clipboard, files, fitting, column locking, range selection, display
  // schemes, SMS templates (mg_menu.cpp, mg_clipboard.cpp). Host functions missing from the registry
  // make their items do nothing.
  int Export_Allowed = 1;      // copy, save and full-screen items, Ctrl+B and Ctrl+N
  // -1 the switch is not offered, 0 offered and off, 1 on: every cell may be selected, no editing.
  int Range_Select_Mode = -1;
  // Attaches the host's own popup menu. A right press then puts the grid's menu into it as the first
  // item, a submenu named "<menu name>_grid_base_fun", replacing the one an earlier press put there;
  // attaching another menu takes that submenu out of the previous one. Returns 1.
  int Set_PopupMenu(TPopupMenu* menu);
  // The text of rows from_row..to_row and columns from_col..to_col on the clipboard (see mg_clipboard.cpp
  // for its form). Returns 1, or 0 when there is no clipboard.
  int Copy_To_Mem(int from_row, int to_row, int from_col, int to_col);
  // The text Copy_To_Mem puts on the clipboard.
  QString Copy_Text(int from_row, int to_row, int from_col, int to_col);
  // The clipboard keys, from the key handler: Ctrl+C the selection, Ctrl+B every row and Ctrl+N the data
  // rows (both while export is allowed). 1 when the key was one of them (it is then cleared).
  int Copy_Key_Down(WORD& Key, TShiftState Shift);
  void Popu_Menu_Copy_To_MemClick(TObject* Sender);
  void Popu_Menu_Copy_Selected_To_MemClick(TObject* Sender);
  void Popu_Menu_Save_To_FileClick(TObject* Sender);
  void Popu_Menu_Import_From_DatClick(TObject* Sender);
  void Popu_Menu_Auto_Fit_Col_Size(TObject* Sender);
  void Popu_Menu_Auto_Fit_Row_Size(TObject* Sender);
  // Locks the columns up to the clicked one (they stay while the others scroll); the same column again
  // unlocks, back to the fixed columns the grid had before.
  void Popu_Menu_Lock_Fixed_Col(TObject* Sender);
  // allow != 0: mode 0, the switch item shown; 0: mode -1, the item hidden. Leaving mode 1 this way
  // restores the options saved when it went on (the grid edits again). Returns 1.
  int Allow_Range_Select_Mode_Switch(int allow);
  int Check_Range_Select_Mode_Switch_Menu();
  void Popu_Menu_Range_Select_Mode_Switch_Click(TObject* Sender);
  // The host's display-format descriptor of this grid (not owned; null: no scheme items). Returns 1.
  int Set_Fmt_Desc(Grid_Fmt_Desc* desc);
  Grid_Fmt_Desc* Fmt_Desc() const { return fmtDesc_; }
  // Sender: a display-scheme item. Its scheme becomes the descriptor's current one, which the host applies.
  void Popu_Menu_Format_TempClick(TObject* Sender);
  // SMS items for the comma-separated template codes: one entry per code in the send and design
  // submenus, captioned with its name in the dictionary "tbx_sms_type" (the code when it has none);
  // an empty list hides the SMS items. Returns 1.
  int Bind_Sms_Temp(const char* temp_list);
  void Popu_Menu_Sms_CreateClick(TObject* Sender);  // Sender: an entry of the send submenu
  void Popu_Menu_Sms_DesignClick(TObject* Sender);  // Sender: an entry of the design submenu

  // ---- Drawing.
  void OnMGGridDrawCell(TObject* Sender, int ACol, int ARow, TRect& Rect, TGridDrawState State);
  int Get_Color(int col, int row, TColor& color, TColor& bgcolor, TGridDrawState State);
  int Get_Color(int col, int row, TColor& color, TColor& bgcolor) {
    return Get_Color(col, row, color, bgcolor, TGridDrawState());
  }
  // Lets OnGetEditColor (Sender = the grid) change a cell's colours; returns the grid's own Color.
  TColor GetEditColor(int col, int row, TColor& color, TColor& bgcolor, TGridDrawState State);
  // The on-screen rectangle of a cell, added up from the fixed columns and rows, the columns from
  // LeftCol and the rows from TopRow, each with its grid line. Returns 1.
  int Get_Rect(int col, int row, TRect* r);
  void Show_Money(int col, int row, TRect& rect, const char* text, TGridDrawState State);
  void Show_Bool(int col, int row, TRect& rect, const char* text, TGridDrawState State);
  // Draws rect with the canvas pen and brush (the cell's border and background), then lays out text.
  void Out_Text(int col, int row, int align, TRect& rect, const char16_t* text, TGridDrawState State,
                TCanvas* canvas);
  int Fit_To_Show(int from, int to);
  int Fit_To_Show();
  int Fit_To_Show(int row) { return Fit_To_Show(row, row); }
  int Cal_Row_Fit_Height(int row, int& height);
  int Show_Row_Id();
  int Show_Row_Mark(int row);
  int Show_Row_Num();
  int Show_Last_Row();
  int Set_Base_Color_Mode(int mode);
  TColor GetFixedFontColor() const { return fixedFontColor_; }
  // The picture painted into the area the rows and columns leave empty (below the last row, right of
  // the last column), from the same coordinates of the picture. Not owned: the caller keeps it alive
  // while it is set; null removes it. Returns 1.
  int Set_Background_Image(TImage* picture);
  TImage* Background_Image() const { return bgPict_; }
  int Redraw_Row(int row);
  int Redraw_Col(int col);
  int Redraw_Cell(int col, int row);
  // Hover highlight: follows the mouse (row, and column when Col_Hover is on), repainting only the
  // rows and columns that change; drawn only while the mouse is over the cells and the grid's window
  // is the active one.
  void TMG_OnMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
  int Refresh_Mouse_Move_Height_Light();

  // ---- Editing: moves, change reports, dictionary columns, the date picker and paste
  // (mg_keys.cpp, mg_edit.cpp, mg_dict.cpp, mg_paste.cpp).
  //
  // Check-box columns (show style 2) take no editor: Space, a click on the current cell, 1 and 0 set
  // them ("1" ticked, "0" crossed) where editing is allowed, reported as any change.
  //
  // Leaving the grid for another control reports the change of the cell being edited (DoExit), as
  // leaving the cell does.
  //
  // Keys (TMG_OnKeyDown; with goRowSelect on, only the Ctrl keys are the grid's):
  //   Enter, Tab / Shift    next / previous cell in reading order that may be entered (Can_Move_To),
  //                         in this row, else in the next (previous) shown row only
  //   Right, Left           the same while no editor shows (Shift reverses them)
  //   Up, Down              the next shown row where the column may be entered; Down also takes the
  //                         nearest column to the left that may
  //   Shift+Home / End      first / last such cell of the row; Ctrl+Home / End first / last such row
  //                         of the column, then its first / last such cell
  //   Alt+Enter             the first editable column (First_Edit_Col) of the next shown row
  //   Ctrl+V                Paste_From_Clipboard
  // Every move reports the change of the cell being left first (Change_Check). The wheel posts Up and
  // Down, so it moves the current cell.
  //
  // Change reports: the watched cell starts when the editor first writes a cell (or by
  // Change_Check_Set) and ends when the current cell moves on; Change_Check compares its text with the
  // text it had when watching began and, when they differ, calls OnMGValChange once. Text typed into a
  // dictionary cell is resolved first: a code, the cell's own "code name", or the name of one entry;
  // else the host's "pdu_code_key_search"; what none of them knows is refused and the old text kept.

  // 1 when (col, row) may become current: a data cell of a shown row and column, not read-only, and
  // the select-cell handler (TMG_OnSelectCell unless the host replaced it) agrees; else 0.
  int Can_Move_To(int col, int row);
  // The first column from FixedCols to ColCount - 2 that is not read-only and shown; ColCount - 1
  // when there is none.
  int First_Edit_Col();
  int Change_Check_Set(int col, int row);
  int Change_Check_Reset();
  int Change_Check();
  // Change_Check, then watches the current cell with its present text. Returns 1.
  int Change_Auto_Check();
  int Change_Check_Col() const { return watchCol_; }
  int Change_Check_Row() const { return watchRow_; }
  // Shows the input method's panel again when it showed as Enter or Tab was pressed. Returns 1.
  int Restore_Ime();
  // What the number normalisation (Valid_Check) would take from the text of a number cell: characters
  // other than the digits, a sign in front, one '.', ',' separators, blanks and a currency sign, or
  // decimals beyond the column's (trailing zeros aside). The reason in words, "" when nothing would be
  // lost (also for text columns, check boxes and cells out of range). With the option "keep_bad_number"
  // (Opt_Add), Valid_Check and Std_Number_Cell leave such a cell as typed and it is drawn marked, so
  // the host can tell the user and refuse to save it instead of storing another value.
  QString Number_Problem(int col, int row);

  // Dictionary pick-list column: edit style 3 over dict; its cells hold "code name", GetW reads the
  // code. Returns 1 (an out-of-range column changes nothing).
  int SetColPickDict(int col, const char* dict);
  // Dictionary column: col shows the names of the codes held in the column named code_col. 1, or 0
  // for a column outside 1 .. ColCount - 1 or a name no column has.
  int Set_Dict(int col, const char* dict, const char* code_col);
  int Set_Dict(const char* name, const char* dict, const char* code_col);
  int Is_Dict_Col(int col);
  int Is_Dict_Col(const char* name);
  // Writes the names anew into the cells of the dictionary columns over dict_id (null: every
  // dictionary column): a pick-list cell "code name" from its code, a display column's names from its
  // code column. The cell being typed into is left alone; nothing is reported as an edit. Returns the
  // cells that changed. Runs by itself when a dictionary of the grid's columns changes in the database
  // (controls/common/dict_watch.h).
  int Refresh_Dict_Names(const char* dict_id = nullptr);
  // The host's choice ("pdu_code_select", or "pdu_code_multi_select" with extended option bit 8) of
  // the code of a dictionary column's row: the code column takes the code(s), col the name(s). Several
  // codes are joined with ',' while the text stays within 98 bytes. 1 when chosen, else 0.
  int Pop_Choose(int col, int row);
  // A dictionary pick-list column's items ("code name" per entry, in dictionary order), then
  // OnFillPickListitems.
  void DoFillPickListItems(int col, int row, TStrings* items);

  // The date picker over the current cell with its calendar open (a date column's ellipsis button).
  // A date picked is written at once as "yyyy-mm-dd" and reported; Enter or leaving the picker
  // closes it, Escape puts back the text the cell had. Returns 1.
  int Inp_Grid_Date();
  void DateTimePicker_Mg_Change(TObject* Sender);
  void DateTimePicker_Mg_Exit(TObject* Sender);
  MPickDate* DateTimePicker_Mg() const { return picker_; }

  // Pastes tab-separated text (see mg_paste.cpp for the format) from the current cell on: block
  // columns go to the shown, writable columns from Col() on, block rows to the shown rows from Row()
  // on, rows added as needed. Each value is checked and normalised as its column asks (numbers as
  // Valid_Check leaves them, dictionary cells by code or name, dates, check boxes); one OnMGValChange
  // per changed cell. The number of cells changed, or -1 when some value is refused: nothing changed
  // then and *error says which cell refused and why.
  int Paste_Text(const QString& text, QString* error = nullptr);
  // Ctrl+V: the clipboard's text. A single value goes into the showing editor at its caret; anything
  // else through Paste_Text, a refusal shown in a message box. Returns what Paste_Text returns.
  int Paste_From_Clipboard();

 protected:
  TEditStyle GetEditStyle(int ACol, int ARow) override;
  void GetPickListItems(int ACol, int ARow, TStrings* Items) override;
  // No editor in a read-only column.
  bool CanEditShow() const override;
  // The first write of the editor into a cell starts watching it.
  void SetEditText(int ACol, int ARow, const QString& Value) override;
  // The program wrote the cell being edited (a reload, a new value): what was typed is gone, so the
  // editor counts as unmodified (Has_Changed).
  void EditTextReplaced(int ACol, int ARow, const QString& Value) override;
  // The program wrote cells (or dropped rows or columns), the editor on them or not: when the watched
  // cell is among them, its new text is what a change is measured from, so a reload is never reported
  // as the user's change.
  void CellsSetByCode(int Left, int Top, int Right, int Bottom) override;
  // Columns added after ADEF was parsed take their lines' captions and widths at once, whenever the
  // host adds them (before or after the grid is shown).
  void SizeChanged(int OldColCount, int OldRowCount) override;
  // The focus went to another control: the edit of the watched cell ends there and is reported.
  void DoExit() override;

 private:
  // Range-select mode is on: every cell may be selected.
  bool Range_Selecting() const { return Range_Select_Mode == 1; }
  bool Editor_Showing() const;
  // The key map's moves; true when the key was the grid's.
  bool Nav_Key_Down(WORD& Key, TShiftState Shift);
  void Move_Vertical(int step);
  void Move_Reading(bool forward);
  // Resolves the text typed into a dictionary cell; false when it was refused (the old text is back).
  bool Dict_Commit(int col, int row);
  void Show_Refusal(const QString& text);
  void Picker_Key(WORD& Key);
  // A check-box cell that editing reaches (not read-only, editing on, no range selection).
  bool Bool_Editable(int col, int row);
  // Ticks ("1") or crosses ("0") a check-box cell and reports the change.
  void Bool_Cell_Set(int col, int row, bool on);
  // The grid's own select-cell binding, of a type of its own so that a paste can tell a host's handler
  // (which may veto cells) from it.
  struct Own_Select {
    TMG* g;
    void operator()(TObject* s, int c, int r, bool& can) const { g->TMG_OnSelectCell(s, c, r, can); }
  };

  int watchCol_ = -1, watchRow_ = -1;  // the watched cell, -1 when none
  QString watchOld_;                   // its text when watching began
  bool watchTyped_ = false;            // the editor wrote it since
  int probing_ = 0;                    // > 0 while Can_Move_To asks the select-cell handler
  int ownWrite_ = 0;                   // > 0 while the grid writes a user's choice into cells
  bool dictWatched_ = false;           // Zem_Dict_Watch made (first dictionary column)
  void Watch_Dicts();
  MPickDate* picker_ = nullptr;        // child of the viewport, owned by Qt; made on first use
  int pickerCol_ = -1, pickerRow_ = -1;
  QString pickerOld_;                  // the cell's text when the picker opened
  bool imeSaved_ = false, imeShown_ = false;

 public:

  // ---- Sum grid (mg_sum.cpp). A second TMG below this one shows one line of column totals or
  // averages (per column statistics mode: 0 none, 1 sum, 2 average) and the count of data rows; it
  // mirrors this grid's columns, widths, font and horizontal scrolling. Not owned either way.
  int Set_Sum_Mg(TMG* sum);
  TMG* Sum_Mg() const { return sumMg_.data(); }
  TMG* Data_Mg() const { return dataMg_.data(); }
  // Layout, totals and the row count, when a sum grid exists and is visible. Returns 1.
  int Sync_Sum();
  int Fit_Sum_Grid_Size();
  // Totals in exact decimal arithmetic over the visible data rows; options "sum_val.<name>" (a fixed
  // text instead of the statistic) and "sum_ext.<name>" (a second line, or the text alone in a column
  // without statistic); attribute flag 16 leaves cells out, flag 32 on a cell's own entry takes it back.
  int Cal_Sum_Val();
  // Called on the sum grid: the data grid's row count (n < 0) or n, as "合计 n" under the first column
  // of at least 50 pixels when that column has no statistic, else as "总n " in the corner.
  int Show_Sum_Rec_Num(int n);
  int Set_Sum_Flag(const char* col_name, int mode);
  int Clear_All_Sum_Flag();
  int Set_All_Num_Sum_Flag();
  void TMG_OnTopLeftChanged_For_Data(TObject* Sender);
  void TMG_OnTopLeftChanged_For_Sum(TObject* Sender);
  void TMG_OnItemSelectCell_For_Sum(TObject* Sender, int ACol, int ARow, bool& CanSelect);

  // ---- Sorting (mg_sort.cpp). Up to 20 key columns; header clicks build the list (a click adds or
  // removes a column, Ctrl adds it descending, a double click makes it the only one) and sort at once.
  // The last sort is remembered (old and new row of every sorted row) so that Unsort can undo it.
  enum { MAX_SORT_KEYS = 20 };
  int Sort_Col_Add(int col, int dir);
  int Sort_Col_Get(int col);
  int Sort_Col_Remove(int col);
  int Sort_Col_Clear();
  int Sort_Cmp(int row_a, int row_b);
  int Sort_Row_(int from, int to);
  int Sort(int from, int to);
  int Sort();
  int Unsort();
  void Popu_Menu_UnsortClick(TObject* Sender);
  // The memory of the last sort: one record per sorted row, the key texts, then the row before and
  // the row after the sort. Null before any sort and after Sort_Col_Clear. Owned by the grid.
  TSQLCA* Sort_Memory() const { return sortMemory_.get(); }
  // The tick count of the system (milliseconds, wrapping at 32 bits), the clock of header double clicks
  // and of the public parameter "grid_show_time".
  static int Tick_Count();

  // ---- Search, seek and filter (mg_search.cpp).
  int Seek(int* row, const char* col_name, map_wchar value);
  int Seek_From_Row(int* row, int from_row, const char* col_name, map_wchar value);
  // Pairs (column name, narrow value) ended by a null name; at most 20 pairs are used.
  int Seek_Ext(int* row, int from_row, const char* col_name, const char* value, ...);
  void Popu_Menu_SearchClick(TObject* Sender);
  void Popu_Menu_Search_NextClick(TObject* Sender);
  void Popu_Menu_Search_LastClick(TObject* Sender);
  void Popu_Menu_Search_ClearClick(TObject* Sender);
  int Search_Str_To_Next();
  int Search_Str_To_Last();
  int Filter(int col, map_wchar value);
  int Filter(const char* col_name, map_wchar value);
  int Filter_Show_All();
  void Popu_Menu_FilterClick(TObject* Sender);
  void Popu_Menu_Show_Max_Click(TObject* Sender);
  void Popu_Menu_Hide_Zero_Click(TObject* Sender);
  void Popu_Menu_Clear_Dot_Zero_Click(TObject* Sender);

  // ---- Row check marks and options (mg_options.cpp).
  // The check-mark column (a row is checked when its cell there begins with 'T'); when menu is given,
  // the mark items are appended to it. Returns 1.
  int Row_Bool_Bind(const char* col_name, TPopupMenu* menu);
  const char* Row_Bool_Col() const { return rowBoolCol_; }
  bool GetRow_Bool(int row);
  void SetRow_Bool(int row, bool value);
  int Row_Bool_All();
  int Row_Bool_Clear();
  int Row_Bool_Extend_Menu(TPopupMenu* menu);
  void Popu_Menu_Select_AllClick(TObject* Sender);
  void Popu_Menu_Unselect_AllClick(TObject* Sender);
  void Popu_Menu_Select_ThisClick(TObject* Sender);
  void Popu_Menu_Unselect_ThisClick(TObject* Sender);
  // Named options, one line each ("name" or "name: value"), found by the first line beginning with
  // the name.
  int Opt_Add(const char* name, const char* value);
  int Opt_Remove(const char* name);
  int Opt_Exist(const char* name);
  int Opt_Get_Val(const char* name, char* dst);  // dst holds at least 200 bytes
  int Opt_Clear();
  int Get_Ext_Opt(int col);
  int Get_Ext_Opt(const char* name);
  int Add_Ext_Opt(int col, int bits);
  int Add_Ext_Opt(const char* name, int bits);
  int Remove_Ext_Opt(int col, int bits);
  int Remove_Ext_Opt(const char* name, int bits);

  // ---- The grid's own event handlers (mg_events.cpp), bound by the constructor.
  void TMG_OnSelectCell(TObject* Sender, int ACol, int ARow, bool& CanSelect);
  void TMG_OnKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);
  void TMG_OnMouseWheelDown(TObject* Sender, TShiftState Shift, TPoint MousePos, bool& Handled);
  void TMG_MouseWheelUp(TObject* Sender, TShiftState Shift, TPoint MousePos, bool& Handled);
  void TMG_OnMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void TMG_OnMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void TMG_OnTopLeftChanged(TObject* Sender);
  void TMG_OnEditButtonClick(TObject* Sender);
  // For hosts that bind a set-edit-text handler of their own: the grid learns of typing through
  // SetEditText (the watched cell), so this has nothing left to do.
  void OnMGSetEditText(TObject*, int, int, const QString&) {}
  // The cell under the mouse cursor; -1, -1 left of or above the control. Returns 1.
  int Get_Mouse_Pos(int& col, int& row);

  // ---- State the drawing reads and the host fills. Public: the host fills the attribute list.
  std::vector<TMG_Cell_Attr> Cell_Attr;
  std::vector<TMG_Sort_Key> Sort_Keys;   // at most MAX_SORT_KEYS; the order is the priority
  int Row_Mark_Row = 1;          // current-row mark row
  int Base_Color_Mode = 0;
  int Row_Hover = 0, Col_Hover = 0, Last_Hover_Row = 0, Last_Hover_Col = 0;
  std::string Marked_Col_Name;
  char16_t Search_Text[62] = {0};  // 60 characters and the terminator; empty: no search
  int Search_Hit_Col = -1, Search_Hit_Row = -1;
  int Column_Order_Changed = 0;
  int Sort_Allowed = 1;
  int Filter_Click_Mode = 1;     // a click in the right half of a row-0 header opens the host filter
  int Click_Col = -1, Click_Row = -1;  // the cell of the last mouse press or release

  // ---- Events.
  std::function<void(TObject*, int, int, const QString&, const QString&)> OnMGValChange;
  std::function<void(TObject*, int, int, TStrings*)> OnFillPickListitems;
  std::function<void(TObject*, int, int, TColor&, TColor&, TGridDrawState)> OnGetEditColor;
  std::function<void(TObject*, int, int, bool&)> OnGetEditEnable;
  std::function<void(TObject*, int, char*)> OnShowRow;
  std::function<void(TObject*, int, bool&)> OnCanRowBoolBeTrue;
  std::function<void(TObject*, int, bool&)> OnCanRowBoolBeFalse;
  std::function<void(TObject*)> OnShowRowNum;
  // Before Sort() sorts: the range it computed, which the handler may change.
  std::function<void(TObject*, int& from_row, int& to_row)> OnGetSortRows;
  // Every renumbering step of a sort or unsort: what the host keeps for row a_row now belongs to b_row
  // and the other way round.
  std::function<void(TObject*, int a_row, int b_row)> OnSortSwapRow;

  // ---- What a screen reader is told (mg_access.cpp): a header unit's caption for each of its cells,
  // money cells as "1,234.50", check-box cells ticked or not (and "是" / "否"), the sum line under its
  // data grid's headers, the editor as "金额，第 3 行".
  void GetCellShown(int ACol, int ARow, TGridCellShown& Shown) override;
  QString ColumnHeaderText(int ACol) override;
  QString EditorAccessibleName(int ACol, int ARow) override;

  // Narrow (system code page) forms of wide text and back.
  static std::string Narrow(QStringView w);
  static QString Wide(const char* s);

 protected:
  // The cells, then the background picture in the uncovered area.
  void Paint() override;
  void changeEvent(QEvent* e) override;

 private:
  TMG_Col_Def* Rec(int col);  // grows the record array; col >= 0
  const char* Ring(const std::string& s);
  void Reset_Rec(TMG_Col_Def* d);
  void Swap_Attr_Col(int a, int b);
  // Exchanges the cells and widths of two columns (not their records or attributes).
  void Swap_Col_Cells(int a, int b);
  const TMG_Rect_Def* Unit_At(int col, int row, bool last) const;
  bool In_Range(int col) const { return col >= 0 && col < ColCount(); }
  // Captions and widths of the ADEF lines whose columns did not exist when ADEF was parsed.
  void Apply_Deferred_Defs();
  int Add_Def_Items(int col, const char* items, bool widthsOnly);
  int Apply_Item(int col, const char* item, bool widthsOnly);
  // Row dst[k] takes row src[k] (texts, heights, attribute rows; both lists cover the same rows), and
  // the host hears of it through OnSortSwapRow in two passes through temporary numbers above T.
  void Move_Rows(const std::vector<int>& src, const std::vector<int>& dst, int T, bool unsort);
  // Repaints the header rows, where the sort marks are.
  void Invalidate_Header();
  void Draw_Sort_Mark(int ACol, int ARow, const TRect& Rect);
  // Repaints the hovered row and column (after the mouse left or the window changed activation).
  void Redraw_Hover();
  bool Hover_Active() const;
  void Popup_Base_Menu(int X, int Y, bool topLeft);
  // Puts the grid's menu into the host's menu as its first item (mg_menu.cpp).
  void Extend_Host_Menu(TPopupMenu* host);
  // One search step forward (+1) or backward (-1) from the found cell.
  int Search_Step(int step);

  std::vector<TMG_Col_Def> cols_;
  std::vector<TMG_Rect_Def> rects_;
  QStringList adef_, bdef_;
  int adefColCount_ = 0;              // columns that had their ADEF lines applied (ColCount at parse)
  bool showRowIdMode_ = true;
  TColor fixedFontColor_ = 0x800000;
  std::string datId_;
  int datFlag_ = 0;
  TImage* bgPict_ = nullptr;          // not owned
  TPopupMenu* popupMenu_ = nullptr;   // owned: a Qt child of the grid
  std::vector<std::u16string> wring_;
  int wringPos_ = 0;
  bool mouseInside_ = false;          // the mouse is over the cells (for the hover tint)
  QPointer<TMG> sumMg_;               // not owned; null again once that grid is gone
  QPointer<TMG> dataMg_;              // not owned; likewise
  std::unique_ptr<TSQLCA> sortMemory_;
  int lastClickTick_ = 0;
  bool haveLastClick_ = false;
  int lastClickCol_ = -1, lastClickRow_ = -1;
  char rowBoolCol_[64] = {0};
  std::vector<std::string> options_;
  // Popup menu actions (mg_menu.cpp).
  QPointer<TMenuItem> hostSub_;       // the grid's menu as a submenu of the host's; owned by the grid
                                      // while in no menu, by the host's menu while in it
  std::vector<QPointer<TMenuItem>> rowBoolItems_;  // the check-mark items put into hosts' menus
  int savedFixedCols_ = -1;           // the fixed columns before locking
  TGridOptions rangeSavedOptions_;    // the options before range-select mode went on
  Grid_Fmt_Desc* fmtDesc_ = nullptr;  // not owned
  std::vector<std::string> schemeIds_;  // the ids of the display-scheme items shown, in order
  std::vector<std::string> smsTemps_;   // the SMS template codes of the last Bind_Sms_Temp
};

void Mg_Register();
