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

#include <QStringList>
#include <functional>
#include <string>
#include <vector>

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

// One sort key (filled by sorting): the column and its direction.
struct TMG_Sort_Key {
  int col;
  int desc;           // 0 ascending, 1 descending
};

class TImage;
class TMenuItem;
class TPopupMenu;

int Is_Num_Type(char type);  // 1 for 'F', 'I', 'N', '1', '2'

// Number text helpers of the grid (narrow text, in the system code page).
// Cleaning: full-width digits and signs to ASCII, keep only digits, '+', '-', '.'; a lone sign is "0".
std::string Mg_Clean_Number(const std::string& s);
// Formatting to d decimals (d limited to 10, negative counts as 0), with or without zero padding;
// fractions are cut, not rounded; ',' separators in the input are put back on the result.
std::string Mg_Format_Number(const std::string& s, int d, bool pad);
// Trailing fraction zeros removed, and the '.' when nothing is left after it.
std::string Mg_Allt_Number(const std::string& s);

// The framework start-up runs before the grid base is built, through the parent argument
// (Zem_Startup_Parent), since the meta-object compiler needs the Qt base first in the list.
class TMG : public TStringGrid {
  Q_OBJECT
  Q_PROPERTY(QStringList ADEF READ ADEF WRITE SetADEF)
  Q_PROPERTY(QStringList BDEF READ BDEF WRITE SetBDEF)
  Q_PROPERTY(bool Show_Row_Id_Mode READ Show_Row_Id_Mode WRITE Set_Show_Row_Id_Mode)
  Q_PROPERTY(int FixedFontColor READ FixedFontColor WRITE SetFixedFontColor)

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

  // Runs once after the properties were set: applies ADEF, BDEF and the row-number mode.
  virtual void Loaded();
  bool IsLoaded() const { return loaded_; }

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

  // ---- Drawing.
  void OnMGGridDrawCell(TObject* Sender, int ACol, int ARow, TRect& Rect, TGridDrawState State);
  int Get_Color(int col, int row, TColor& color, TColor& bgcolor, TGridDrawState State);
  int Get_Color(int col, int row, TColor& color, TColor& bgcolor) {
    return Get_Color(col, row, color, bgcolor, TGridDrawState());
  }
  void Show_Money(int col, int row, TRect& rect, const char* text, TGridDrawState State);
  void Show_Bool(int col, int row, TRect& rect, const char* text, TGridDrawState State);
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
  // rows and columns that change.
  void TMG_OnMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
  int Refresh_Mouse_Move_Height_Light();
  // The host's answer whether a row is checked (row check marks arrive with the options).
  std::function<bool(int row)> Row_Checked;

  // ---- State the drawing reads and later parts fill. Public: the host fills the attribute list.
  std::vector<TMG_Cell_Attr> Cell_Attr;
  std::vector<TMG_Sort_Key> Sort_Keys;
  int Row_Mark_Row = 1;          // current-row mark row
  int Base_Color_Mode = 0;
  int Row_Hover = 0, Col_Hover = 0, Last_Hover_Row = -1, Last_Hover_Col = -1;
  std::string Marked_Col_Name;
  int Check_Col = -1;            // row check-mark column, -1 none
  std::u16string Search_Text;
  int Search_Hit_Col = -1, Search_Hit_Row = -1;
  int Column_Order_Changed = 0;

  // ---- Events.
  std::function<void(TObject*, int, int, const QString&, const QString&)> OnMGValChange;
  std::function<void(TObject*, int, int, TStrings*)> OnFillPickListitems;
  std::function<void(TObject*)> OnEditButtonClick;
  std::function<void(TObject*, int, int, TColor&, TColor&, TGridDrawState)> OnGetEditColor;
  std::function<void(TObject*, int, int, bool&)> OnGetEditEnable;
  std::function<void(TObject*, int, char*)> OnShowRow;
  std::function<void(TObject*, int, bool&)> OnCanRowBoolBeTrue;
  std::function<void(TObject*, int, bool&)> OnCanRowBoolBeFalse;
  std::function<void(TObject*)> OnShowRowNum;

  // Narrow (system code page) forms of wide text and back.
  static std::string Narrow(QStringView w);
  static QString Wide(const char* s);

 protected:
  bool event(QEvent* e) override;
  // The cells, then the background picture in the uncovered area.
  void Paint() override;

 private:
  TMG_Col_Def* Rec(int col);  // grows the record array; col >= 0
  const char* Ring(const std::string& s);
  void Reset_Rec(TMG_Col_Def* d);
  void Swap_Attr_Col(int a, int b);
  // Exchanges the cells and widths of two columns (not their records or attributes).
  void Swap_Col_Cells(int a, int b);
  const TMG_Rect_Def* Unit_At(int col, int row, bool last) const;
  bool In_Range(int col) const { return col >= 0 && col < ColCount(); }

  std::vector<TMG_Col_Def> cols_;
  std::vector<TMG_Rect_Def> rects_;
  QStringList adef_, bdef_;
  bool showRowIdMode_ = true;
  TColor fixedFontColor_ = 0x800000;
  bool loaded_ = false;
  std::string datId_;
  int datFlag_ = 0;
  TImage* bgPict_ = nullptr;          // not owned
  TPopupMenu* popupMenu_ = nullptr;   // owned: a Qt child of the grid
  std::vector<std::u16string> wring_;
  int wringPos_ = 0;
};

void Mg_Register();
