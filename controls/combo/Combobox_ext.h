// The Combobox_ext unit: TComboBox_Ext, the dictionary combo box. The user sees names, the program
// reads and writes codes.
//
// Item list. An owned query area of two fields per record, field 0 the code and field 1 the name (wide
// text). It is the master list: the toolkit's visible items are rebuilt from it and hold only names,
// in list order, so visible item i is record i. With a dictionary attached only the first 2000 records
// get visible items; every record stays a valid code. Codes are unique in the list (adding a code that
// is there changes nothing) and are found through a hash index kept beside the list.
//
// Sources. Attach_Dict fills the list from a code dictionary (dict/): entries whose "stop_flag" is Y
// never, entries the dictionary reports as stopped (and codes holding ",") only with include-all, which
// also appends the extended dictionary "<id>.ext". Attaching the same id again is cheap: the list is
// rebuilt only when the id, the include-all flag or the dictionary's time stamp changed. Attach_Dbio
// fills it from any query area; Add_Item/Del_Item change single entries.
//
// Modes. Single mode holds one current code (at most 99 bytes), shown by its name. Multi mode
// (Multi_Attach) holds a list of chosen codes in choice order, shown as "name,name,..." (after 21
// names "...等") with the whole choice in the hint. Build_Limit turns the choice into an SQL condition:
// " = 'code'", "in ('a','b' ) ", or, when that grows past the length given, a temporary key set
// ("in( select key_id from app_tmp_key_set where set_id=N) "); when no set can be made, the list
// stays literal whatever its length, and the log says why (a set 0 would select nothing).
//
// Typing and choosing (combo_input.cpp). Enter resolves the typed text: an exact code of the list (or
// of the dictionary), else without a dictionary an exact name, else the host's search
// "pdu_code_key_search". A double click opens the host's choice ("pdu_code_select", "pdu_dbio_select"
// or in multi mode "pdu_code_multi_select"); keys are first offered to "pdu_inp_dict_key". Leaving the
// box validates typed text. Every accepted change is reported to the host's change handler (the OnChange
// assigned before the first attach, kept and called by the control) and, for the dictionaries "emp",
// "eba", "res" and "sup", to "board_obj_handle". The mouse wheel never changes the choice.
//
// Colours: a box with search handlers is painted 0xFCF8E8 (light blue), a multi-choice box 0xFFF1EF.
//
// Narrow texts (codes, dictionary ids) are in the system code page; names are wide. Results of Get_Code
// without a buffer and of Build_Limit live in buffers shared by every combo box and are overwritten by
// the next such call on any of them.
//
// Published properties (form designer, .ui files); a form's control attaches its dictionary when it is
// first shown (Loaded), the host may attach it itself instead; a box made by the form designer only
// holds them (Set_Designing) and shows the colour it will have:
//   Dict_Id      the dictionary to attach ("" none)         Multi_Mode   multi choice (Multi_Attach)
//   Include_All  list stopped entries and the extended one   Allow_Empty  add an empty entry
//   Style        Drop_Down, Simple, Drop_Down_List (0..2)     Sorted       sort by name, then code
//   DropDownCount lines of the open list                      Hint         tooltip text (prefix kept)
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "controls/common/zem_common.h"
#include "core/text/map_str.h"
#include "toolkit/tk_combo.h"

class TSQLCA;
class TDict;
class Array_Str;

class TComboBox_Ext : public TComboBox {
  Q_OBJECT
  // Written through the "setName" forms, the ones code generated from a form (uic) calls.
  Q_PROPERTY(QString Dict_Id READ Dict_Id_Property WRITE setDict_Id)
  Q_PROPERTY(bool Multi_Mode READ Multi_Mode_Property WRITE setMulti_Mode)
  Q_PROPERTY(bool Include_All READ Include_All_Property WRITE setInclude_All)
  Q_PROPERTY(bool Allow_Empty READ Allow_Empty_Property WRITE setAllow_Empty)
  Q_PROPERTY(Box_Style Style READ Style_Property WRITE setStyle)
  Q_PROPERTY(bool Sorted READ Sorted_Property WRITE setSorted)
  Q_PROPERTY(int DropDownCount READ DropDownCount WRITE setDropDownCount)
  Q_PROPERTY(QString Hint READ Hint WRITE setHint)

 public:
  // The toolkit styles a form may give the box, by name in the designer (forms hold them as numbers
  // 0..2 as well).
  enum Box_Style { Drop_Down = csDropDown, Simple = csSimple, Drop_Down_List = csDropDownList };
  Q_ENUM(Box_Style)

  // The colours the attach calls paint the box with (toolkit 0x00BBGGRR values).
  static constexpr TColor kSearch_Color = 0xFCF8E8;
  static constexpr TColor kMulti_Color = 0xFFF1EF;
  // Records of a dictionary that get visible items.
  static constexpr int kMax_Dict_Items = 2000;
  // Codes (narrow bytes) the control keeps: the current code, and the choice buffer of the dialogs.
  static constexpr int kCode_Max = 99;
  static constexpr int kChoose_Buffer = 100;
  // What Get_Code(buf) takes a caller's buffer to hold, terminator included.
  static constexpr size_t kCode_Buffer = 1024;

  explicit TComboBox_Ext(QWidget* parent = nullptr);
  ~TComboBox_Ext() override;

  // ---- building the list
  // Time stamp -1, no visible items, an empty list of two fields, no selection and no text. 1.
  int Clear_Data();
  // Appends (code, name) unless the code is listed, then rebuilds the visible items. 1.
  int Add_Item(map_char code, map_wchar name);
  // Removes the code's record and rebuilds. 1, or 0 when the code is not listed.
  int Del_Item(map_char code);
  // The same without rebuilding; _Build_Item rebuilds the visible items from the list.
  int _Add_Item(map_char code, map_wchar name);
  int _Del_Item(map_char code);
  int _Build_Item();
  // Empties the list and sets it back to two fields.
  int _Reset_Data_List();
  // Adds an entry with an empty code and an empty name unless one exists. 1.
  int Enable_Null();

  // Attaches the dictionary dict_id (include_all < 0 keeps the flag). 1 when the list was rebuilt, 0
  // when nothing changed or the dictionary cannot be had (the list stays as it was).
  int Attach_Dict(const char* dict_id, int include_all);
  int Attach_Dict_Ext(const char* dict_id) { return Attach_Dict(dict_id, 1); }
  // Fills the list from the dictionary (its entries, with include-all its extended ones). 0 for null.
  int Attach_Dict(TDict* dict);
  int _Append_Dict(TDict* dict);
  // Fills the list from the area (field 0 code, field 1 name), installs the input handlers and paints
  // the search colour. 0 for null.
  int Attach_Dbio(TSQLCA* area);
  // Appends the area's records and rebuilds. 0 for null.
  int Append_Dbio(TSQLCA* area);
  // Attach_Dict, then the input handlers with the search keys, and the search colour.
  int Search_Attach(const char* dict_id, int include_all);
  // Multi mode with no code chosen, Search_Attach (the dictionaries "res", "emp", "eba" and "sup"
  // without include-all, the others with it; the include_all argument is not used), multi colour.
  int Multi_Attach(const char* dict_id, int include_all);
  // 1 when the loaded dictionary has another time stamp than the list was built from.
  int Is_Dict_Time_Stamp_Changed(const char* dict_id);
  // A change of a dictionary reached this process (controls/common/dict_watch.h): when it is the
  // attached one (or id is empty), the dictionary is read again and the list rebuilt, the choice kept
  // (a renamed entry shows its new name, a stopped one leaves the list). Attach_Dict makes the box
  // follow its dictionary this way by itself.
  void Follow_Dict_Change(const std::string& id);
  // Adds the code with its name when the attached dictionary (or its extended one) knows it. 1 or 0.
  int Try_To_Add_Dict_Code_To_List(map_wchar code);

  // ---- codes
  // Single mode: selects the code and shows its name (a code only the dictionary knows is added
  // first); 1, or 0 (selection and text cleared) when unknown. Multi mode: code is a "," list; the
  // known codes become the choice. 1 when at least one was taken.
  int Set_Code(map_char code);
  // From field 0 of the area's first record (single mode, no dictionary fallback) or of all its
  // records (multi mode). 0 for null.
  int Set_Code(TSQLCA* area);
  // Set_Code, clearing the box when the code is unknown; multi mode: the choice becomes this code.
  int Set_Default_Code(map_char code);
  // Shows the code with the given name even when no source knows the code (it is added). 1 or 0.
  int Set_Info(map_char code, map_wchar name);
  // Single mode: the current code after validating typed text. Multi mode: the chosen codes joined by
  // "," (only the first when first_only). Into buf when given, else into a shared buffer (whole).
  // A buffer of unknown size is taken to hold kCode_Buffer units: a longer choice is cut between
  // codes, and the log says so; Copy_Code takes the buffer's size.
  const char* Get_Code(char* buf = nullptr, int first_only = 0);
  const wchar16* Get_Code(wchar16* buf, int first_only = 0);
  const char* Get_First_Code(char* buf) { return Get_Code(buf, 1); }
  const wchar16* Get_First_Code(wchar16* buf) { return Get_Code(buf, 1); }
  // The text of Get_Code into buf of size units (bytes / characters), terminator included, cut
  // between codes when it does not fit (a code is never written in part; nothing for size 0).
  // Returns the length of the whole text, as snprintf does: size or more means it was cut.
  int Copy_Code(char* buf, size_t size, int first_only = 0);
  int Copy_Code(wchar16* buf, size_t size, int first_only = 0);
  // The joined codes cut to at most max_len bytes (characters for the wide form, which works on at
  // most 290) without splitting a code: a code the cut would split is dropped with its comma. buf
  // holds max_len + 1. Returns buf.
  char* Get_Max_Code(char* buf, int max_len);
  wchar16* Get_Max_Code(wchar16* buf, int max_len);
  // The area emptied to one field and one record per code (validated current code, or each chosen
  // code). 1, or 0 for null.
  int Get_Code(TSQLCA* area);
  int Get_Code_Array(Array_Str* list);
  int Contain_Code(map_char code);
  int Have_Choice();
  // Recognises typed text as a code or a name of the list; 1 when a current code results.
  int Check_Valid();
  const char* Build_Limit(int max_len);
  int Multi_Show_Text();

  // ---- choosing (combo_input.cpp)
  int Pop_Choose();
  int Pop_Choose_Single();
  int Pop_Choose_Multi();
  int Ensure_Set_Code(map_char code);
  int Check_Board_Obj();
  static void Hide_Dropdown(TComboBox_Ext* box);
  static void Show_Dropdown(TComboBox_Ext* box);
  // The combo box the mouse last entered (null when none, or after it was destroyed).
  static TComboBox_Ext* Hovered();
  static void Set_Hovered(TComboBox_Ext* box);

  // Called after a host search or choice dialog returned a code, before the code is applied.
  TNotifyEvent On_Ext_Search_Ret;

  // ---- state
  const std::string& Dict_Id() const { return dict_id_; }
  int Dict_Time_Stamp() const { return dict_time_stamp_; }
  int Is_Multi() const { return multi_mode_; }
  int Include_All() const { return include_all_; }
  int Allow_Empty() const { return allow_empty_; }
  void Set_Allow_Empty(int on) { allow_empty_ = on ? 1 : 0; }
  const std::string& Cur_Code() const { return cur_code_; }
  int Changed() const { return changed_; }
  // The item list and the chosen-codes list (null outside multi mode); owned by the box.
  TSQLCA* Items_List() const { return items_.get(); }
  TSQLCA* Chosen_List() const { return chosen_.get(); }
  // Position of the code's record in the item list, -1 when not listed.
  int Find_Code(const wchar16* code);
  // The host's change handler kept by the control (empty when none).
  const TNotifyEvent& Saved_On_Change() const { return saved_on_change_; }

  // ---- Qt forms (combo_items.cpp)
  // Set_Code, Add_Item, Del_Item, Set_Info, Contain_Code and the other map_char / map_wchar parameters
  // take a QString as they are (converted to the system code page for codes).

  enum { ATTACH_FAILED = -1, ATTACH_UNCHANGED = 0, ATTACH_REBUILT = 1 };
  // Attach_Dict returns 1 when it rebuilt the list and 0 otherwise, whether nothing changed or the
  // dictionary cannot be had; Last_Attach tells the two apart for the last Attach_Dict(dict_id, ...)
  // call: ATTACH_REBUILT, ATTACH_UNCHANGED or ATTACH_FAILED.
  int Last_Attach() const { return last_attach_; }
  int Attach_Dict(const QString& dict_id, int include_all);
  int Search_Attach(const QString& dict_id, int include_all);
  int Multi_Attach(const QString& dict_id, int include_all);
  // Get_Code's text as a value: the current code (single mode, after validating typed text) or the
  // chosen codes joined by ","; "" when none.
  QString code();
  // The chosen codes one by one (single mode: the current code alone; empty when none).
  QStringList codes();

  // ---- published properties
  QString Dict_Id_Property() const;
  void Set_Dict_Id_Property(const QString& id);
  bool Multi_Mode_Property() const { return multi_mode_ || form_multi_; }
  void Set_Multi_Mode_Property(bool on);
  bool Include_All_Property() const { return include_all_ != 0; }
  void Set_Include_All_Property(bool on) { include_all_ = on ? 1 : 0; }
  bool Allow_Empty_Property() const { return allow_empty_ != 0; }
  void Set_Allow_Empty_Property(bool on) { Set_Allow_Empty(on); }
  bool Sorted_Property() const { return Sorted() || sorted_flag_ == 1; }
  // The box sorts its list itself (by name, then code) so that visible item i stays record i: the
  // toolkit's sorting stays off, on sets the sorted flag and sorts what is listed, off clears the flag.
  void SetSorted(bool on) override;
  Box_Style Style_Property() const { return static_cast<Box_Style>(Style()); }
  void Set_Style_Property(Box_Style s);
  // The same setters under the names a generated form calls. setStyle(Box_Style) stands beside
  // QWidget::setStyle(QStyle*), which stays reachable.
  void setDict_Id(const QString& id) { Set_Dict_Id_Property(id); }
  void setMulti_Mode(bool on) { Set_Multi_Mode_Property(on); }
  void setInclude_All(bool on) { Set_Include_All_Property(on); }
  void setAllow_Empty(bool on) { Set_Allow_Empty_Property(on); }
  using TComboBox::setStyle;
  void setStyle(Box_Style s) { Set_Style_Property(s); }
  void setSorted(bool on) { SetSorted(on); }
  void setDropDownCount(int n) { SetDropDownCount(n); }
  void setHint(const QString& hint) { SetHint(hint); }

  void Loaded() override;
  // Made by the form designer: the box holds its published properties and attaches nothing (there is
  // no database to load from, and a form is only being drawn), yet shows the colour it will have.
  bool Designing() const { return designing_; }
  void Set_Designing(bool on);

  // ---- handlers (installed by the constructor and the attach calls; public so that a host can
  // chain them from handlers of its own)
  void Handle_On_Change(TObject* sender);
  void Handle_On_Key_Press(TObject* sender, char16_t& key);
  void Handle_On_Key_Down(TObject* sender, WORD& key, TShiftState shift);
  void Handle_On_Key_Up(TObject* sender, WORD& key, TShiftState shift);
  void Handle_On_Select(TObject* sender);
  void Handle_On_Exit(TObject* sender);
  void Handle_On_DblClick(TObject* sender);
  void Handle_On_DropDown(TObject* sender);
  void Handle_On_CloseUp(TObject* sender);
  void Handle_On_MouseEnter(TObject* sender);

 protected:
  // Wheel turns are dropped: turning the wheel over a box never changes its choice.
  void wheelEvent(QWheelEvent* e) override;

 private:
  struct Own_Change;  // the control's own OnChange, told apart from a host's
  class Code_Index;

  // Item list helpers.
  const wchar16* Item_Code(int row) const;
  const wchar16* Item_Name(int row) const;
  int Item_Count() const;
  int Find_Name(const wchar16* name) const;
  // Appends (code, name) unless the code is listed; true when appended.
  bool Append_Item(const wchar16* code, const wchar16* name);
  // Append_Item for rows 0..rows-1 of a source: pick(r, &code, &name) gives a row's code and name, or
  // false to pass the row over (a null name lists ""). A whole dictionary or area at once.
  template <class Pick>
  void Append_Rows(int rows, Pick pick);
  void Index_Dirty();
  TDict* Attached_Dict() const;  // the loaded dictionary of dict_id_, or null
  // Reloads and re-attaches the attached dictionary; 1 when one is attached.
  int Reload_Dict();
  // Single-mode steps of Set_Code; dict_fallback: try the dictionary for a missing code.
  int Set_Single_Code(const wchar16* code, bool dict_fallback);
  // Multi mode: the code's record, trying the dictionary once and then a re-attach; -1 when missing.
  int Find_Code_Multi(const wchar16* code, bool* reattached);
  void Clear_Selection();
  // Chooses the visible item of the record. A drop-down list shows only its items, so a record past
  // the listed ones (a long dictionary) gets an item of its own after them while it is chosen.
  void Select_Row(int row);
  void Drop_Extra_Item();
  // The record of visible item i, -1 for none.
  int Row_Of_Item(int i) const;
  // Multi mode: the hint becomes the host's prefix and the shown choice (the prefix alone for none).
  void Show_Choice_Hint(const QString& shown);
  void Set_Cur_Code(const wchar16* code);
  // The codes Get_Code reports, in order.
  std::vector<std::u16string> Code_List(int first_only);
  void Install_Handlers(bool search_keys);
  // Accepting a code (Enter, list pick, dialogs): Set_Code when it differs, the host's handler, the
  // changed flag cleared, Check_Board_Obj.
  void Accept_Code(const wchar16* code);
  void Report_Change();
  // Takes the focus back with the enter and exit handlers detached.
  void Take_Focus_Back();
  // Offers a key to "pdu_inp_dict_key"; true when the host took it.
  bool Offer_Key(int key);

  std::unique_ptr<TSQLCA> items_;
  std::unique_ptr<TSQLCA> chosen_;  // multi mode only
  std::unique_ptr<Code_Index> index_;
  std::string dict_id_;  // at most 100 bytes
  int dict_time_stamp_ = -1;
  bool dict_watched_ = false;  // Zem_Dict_Watch made
  bool dict_follow_waiting_ = false;  // a dictionary change waits for the clerk's typing to end
  static const int kFollow_Again_Ms = 300;
  int include_all_ = 0;
  int allow_empty_ = 0;
  int sorted_flag_ = -1;
  std::string cur_code_;  // at most kCode_Max bytes
  int listed_ = 0;        // visible items that are records 0 .. listed_ - 1
  int extra_row_ = -1;    // the record behind the item after them (drop-down list), -1 when none
  int multi_mode_ = 0;
  int changed_ = 0;
  TNotifyEvent saved_on_change_;
  QString form_dict_id_;  // Dict_Id given by a form, attached by Loaded
  bool form_multi_ = false;
  bool designing_ = false;
  int last_attach_ = ATTACH_UNCHANGED;  // what the last Attach_Dict(dict_id, ...) did
};

// The unit's palette registration: "TComboBox_Ext" on the page "Zem_Pack".
void Combobox_ext_Register();
