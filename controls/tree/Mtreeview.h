// The Mtreeview unit: MTreeView, the code tree view.
//
// Each node stands for a code: it carries a type number and a code (narrow text, system code page) and
// shows a caption, preceded by its code and one blank while A_Caption_With_Code is on. The tree fills
// itself from query areas, dictionaries and tree dictionaries, collects the codes of a branch for SQL,
// searches its texts, copies itself to the clipboard as indented text, and offers the context menu
// groups below. The show-codes choice is kept per user through the host's preferences.
//
// Published properties (edited in the form designer, stored in .ui files):
//   A_Caption_With_Code   false   node texts read "code caption"
//   A_ID                  0       an identifier for the host
//
// Code loops (TN_Code_Loop): the codes of a node and of all its descendants, depth first, parents before
// children, joined by ",". With quote on, each code is written as an SQL text literal: wrapped in "'"
// with every "'" inside it doubled, so a code can never end the literal early. Nodes with an empty code
// (group nodes without one, nodes without node data) add nothing. The text form is cut back to whole
// items at max_len; while Ctrl is held it becomes the key-set form: the node's code and its direct
// children's codes stored as a temporary key set, and the text "select key_id from app_tmp_key_set where
// set_id = N" for the caller's own in-list. When no set can be made the whole list is the result,
// however long, and the log says why (a set 0 would select nothing).
//
// Context menu groups (added once to a menu; each group is known by an item named after the control):
//   "<name>_exp_funcs"     expand / collapse all, the current node, the current node and all below
//   "<name>_shcode_funcs"  show / hide codes (stored as the preference "cap.<form>.<name>")
//   "<name>_find_funcs"    find from the start, from here, next (Ctrl+K), previous (Ctrl+L), copy the
//                          tree as text, print (host "gui_print_tree")
//   "<name>_km_funcs"      export to a hierarchy chart (host "pdu_export_tree_to_km")
// Captions go through the caption language map with the context "tree".
//
// Searching compares the search text (kept narrow, at most 60 bytes, as the host's input box gives it)
// with the node texts case-sensitively as a substring, in node order (depth first, expanded or not).
//
// Class dictionaries (TN_Attach_Class_Dict, TN_Attach_Class_Tree_Dbio) are code classifications whose
// levels are code prefixes (01, 0101, 010101): they nest each code under the longest other code that
// begins it, whatever parent column the dictionary names.
//
// The unit keeps two static texts: the shared result of the text code loops and the work list they are
// built in; both go at the unit's finalization.
#pragma once

#include <QPointer>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "controls/common/zem_common.h"
#include "core/text/map_str.h"
#include "core/text/zstr.h"
#include "toolkit/tk_tree.h"

class TSQLCA;
class TDict;
class TTree_Dict;
class TPopupMenu;
class TMenuItem;

// What an MTreeView keeps for each node it made; owned by the control, released by TN_Free or with the
// node.
struct TN_Node_Data {
  int type = 0;
  int code_len = 0;
  union {
    char inline_code[16];  // codes of up to 15 bytes, NUL-terminated
    char* heap_code;       // longer codes, malloc
  };
  const char* Code() const {
    return code_len < static_cast<int>(sizeof inline_code) ? inline_code : heap_code;
  }
};

class MTreeView : public TTreeView {
  Q_OBJECT
  // The setters follow Qt's "setName" form, so that a form's code generated from a .ui file calls them
  // whether or not the form designer marked the properties as non-standard.
  Q_PROPERTY(bool A_Caption_With_Code READ A_Caption_With_Code WRITE setA_Caption_With_Code)
  Q_PROPERTY(int A_ID READ A_ID WRITE setA_ID)

 public:
  // The code of a node as the caller sees it (a code loop's code_fn); null or "" adds nothing.
  typedef const char* (*TN_Code_Fn)(TTreeNode* node);
  enum { SEARCH_TEXT_MAX = 60 };
  // TN_Extend_Menu flags.
  enum { TN_MENU_SWITCH_CODE = 1, TN_MENU_NO_EXPAND = 2, TN_MENU_NO_FIND = 4 };
  // The background of a tree on no form.
  static constexpr TColor kNo_Form_Color = 0xF3F3F2;

  explicit MTreeView(QWidget* parent = nullptr);
  ~MTreeView() override;

  // ---- nodes
  // A new last child of parent (a root when parent is null) with its own copy of code (null: "").
  // Text: the caption, or the code, one blank and the caption while codes are shown and the code is
  // not empty. OnShowRowNum runs afterwards.
  TTreeNode* TN_Add(TTreeNode* parent, int type, const char* code, map_wchar caption);
  // Replaces the node's code and rebuilds its text by the same rule; an empty caption keeps the one it
  // has (with codes shown: the text after the first blank when the node had a code). 1, or 0 for a
  // null node or a node without node data.
  int TN_Update(TTreeNode* node, const char* code, map_wchar caption);
  int TN_Update_Code(TTreeNode* node, const char* code) { return TN_Update(node, code, map_wchar(u"")); }
  // The first node in node order of that type and (when code is not null) exactly that code; or null.
  TTreeNode* TN_Get(int type, const char* code = nullptr);
  // Of the nodes of that type whose code begins text, the one with the greatest code (byte order; the
  // later node on equal codes); with text null, the first node of that type. Null when none.
  TTreeNode* TN_Get_Head_Mode(int type, const char* text);
  // The node's code ("" for null or a node without data) and type (0 likewise).
  const char* TN_Code(TTreeNode* node) const;
  int TN_Type(TTreeNode* node) const;
  const char* Selected_Code() const { return TN_Code(Selected()); }
  int Selected_Type() const { return TN_Type(Selected()); }
  // Both image indexes of every node of that type (-1: every node).
  void TN_Set_Image(int type, int image, int selected_image);
  // Releases the node data of node (its code and type read as "" and 0 afterwards).
  void TN_Free(TTreeNode* node);

  // ---- code loops
  // Appends the codes of node and its descendants to list (a "," before each when the list is not
  // empty). Returns how many codes were added.
  int TN_Code_Loop(TTreeNode* node, tstr* list, int quote, TN_Code_Fn code_fn = nullptr);
  // The list as text in the unit's shared buffer (valid until the next code loop), cut back to the
  // whole items that fit in max_len bytes when max_len > 0 (a "," inside a code never cuts). While
  // Ctrl is held: TN_Code_Loop_Smart.
  const char* TN_Code_Loop(TTreeNode* node, int quote, int max_len, TN_Code_Fn code_fn = nullptr);
  // The list, or, when it is longer than a non-zero max_len, the key-set sub-select over the node's
  // code and its direct children's codes.
  const char* TN_Code_Loop_Smart(TTreeNode* node, int quote, int max_len, TN_Code_Fn code_fn = nullptr);

  // ---- filling (every one returns 1, or 0 for a missing data set or dictionary)
  // One child of node per row: code field 0, caption field 1.
  int TN_Attach_Dbio(TTreeNode* node, TSQLCA* data, int type);
  // The dictionary (made and loaded on first use) as a tree under node: nested by the dictionary's
  // parent column when it has one that its rows carry, else every entry directly under node. with_ext
  // adds the rows of its extended dictionary.
  int TN_Attach_Dict(TTreeNode* node, const char* dict_id, int type, int with_ext = 0);
  int TN_Attach_Dict(TTreeNode* node, TDict* dict, int type, int with_ext = 0);
  // The tree dictionary of data's rows (parent_col -1: none; equal to code_col: by code prefix).
  int TN_Attach_Tree_Dbio(TTreeNode* node, TSQLCA* data, int type, int code_col, int name_col,
                          int parent_col);
  // Every entry below branch, as nodes below node.
  int TN_Attach_Tree_Dbio_Branch(TTreeNode* node, TTree_Dict* branch, int type);
  int TN_Attach_Class_Dict(TTreeNode* node, const char* dict_id, int type, int with_ext = 0);
  int TN_Attach_Class_Tree_Dbio(TTreeNode* node, TSQLCA* data, int type, int code_col, int name_col);
  // The dictionary attaches above follow their dictionary (controls/common/dict_watch.h): a change of
  // it replaces the nodes the attach made by the dictionary's present tree, under the same node, with
  // the nodes that were expanded expanded again and the selected node (by its code) selected again,
  // without OnChange. The selection moves to the attach's node, with OnChange, only when its code is
  // gone. An attach whose node, or one of whose top nodes, the host deletes is followed no more.
  // Called with the changed id (empty: every attached dictionary).
  void Follow_Dict_Change(const std::string& id);

  // ---- show codes
  bool A_Caption_With_Code() const { return with_code_; }
  // Prefixes (on) or strips (off) the code of every node that has one; nothing when already so.
  void Set_Caption_With_Code(bool on);
  void setA_Caption_With_Code(bool on) { Set_Caption_With_Code(on); }
  int A_ID() const { return a_id_; }
  void Set_A_ID(int id) { a_id_ = id; }
  void setA_ID(int id) { Set_A_ID(id); }
  // The user preference key "cap.<outermost form's name>.<control's name>" (narrow).
  std::string User_Para_Key() const;

  // 0 sets the suppress-change flag, any other value clears it; 2 also runs OnChange with the selected
  // node when there is one. Returns 1.
  int Change_Event_Cmd(int cmd);
  bool Change_Event_Suppressed() const { return suppress_change_ != 0; }

  // ---- search
  // Keeps text as the search text and selects the first node whose text holds it. 0 when found or
  // when the tree is empty, 1 when not found.
  int Search_Str(const char* text);
  const char* Search_Text() const { return search_text_; }
  // The menu's find actions: ask through "gui_inp_str" and search from the first node / from the node
  // after the selected one; next and previous from the selected node (asking first while the search
  // text is empty). 1 when a node was selected.
  int Find_From_Start();
  int Find_From_Here();
  int Find_Next();
  int Find_Prev();

  // ---- text, print, export
  // One line per node in node order: "......" per level, the node text, CR LF.
  QString Tree_Text() const;
  int Copy_To_Clipboard();
  // Through the host ("gui_print_tree", "pdu_export_tree_to_km"); 0 when the host has none.
  int Print_Tree();
  int Export_Tree();
  // The hierarchy chart's title: Add_Km_Menu's, else the control's caption (window title), else "索引树".
  QString Km_Title() const;

  // ---- menus (menu null: the control's PopupMenu); 0 when there is no menu at all
  int TN_Extend_Menu(TPopupMenu* menu, int flags);
  // Adds the show-codes item and applies the stored preference when it differs from the present state.
  int TN_Extend_Menu_Switch_Code(TPopupMenu* menu);
  int Add_Km_Menu(TPopupMenu* menu, const char16_t* title);

  // ---- Qt forms (mtreeview_nodes.cpp)
  // QString for codes and dictionary ids (converted to the system code page), values instead of shared
  // buffers; captions (map_wchar) take a QString as they are.

  TTreeNode* TN_Add(TTreeNode* parent, int type, const QString& code, map_wchar caption);
  int TN_Update(TTreeNode* node, const QString& code, map_wchar caption);
  TTreeNode* TN_Get(int type, const QString& code);
  int TN_Attach_Dict(TTreeNode* node, const QString& dict_id, int type, int with_ext = 0);
  int TN_Attach_Class_Dict(TTreeNode* node, const QString& dict_id, int type, int with_ext = 0);
  int Search_Str(const QString& text);
  int Add_Km_Menu(TPopupMenu* menu, const QString& title);
  // The node's code ("" for null or a node without data), the selected node's.
  QString code(TTreeNode* node) const;
  QString selectedCode() const { return code(Selected()); }

  // Ctrl+K finds the next node, Ctrl+L the previous one (the key is then swallowed).
  void TMTreeView_OnKeyDown(TObject* sender, WORD& key, TShiftState shift);
  // Fills the background with the colour of the outermost form holding the tree (kNo_Form_Color on
  // none); installed as OnCustomDraw.
  void MTreeView_CustomDraw(TTreeView* sender, const TRect& rect, bool& default_draw);

  // After the show-codes state changed through the menu or the stored preference.
  TNotifyEvent OnSwitch_Caption_With_CodeClick;
  // After every node addition.
  TNotifyEvent OnShowRowNum;

 protected:
  void DoDeletion(TTreeNode* node) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  TN_Node_Data* New_Data(int type, const char* code, int len);
  void Set_Code(TN_Node_Data* d, const char* code, int len);
  TN_Node_Data* Data_Of(TTreeNode* node) const;
  // The code loop into list; with fit, it stops at the first item that takes list past max_len and
  // leaves in *fit the length of the items that fit whole.
  int Loop_Codes(TTreeNode* node, tstr* list, int quote, TN_Code_Fn code_fn, int max_len, int* fit);
  // The node text of code and caption by the show-codes rule.
  void Make_Text(const char* code, int code_len, const char16_t* caption, int caption_len);
  TTreeNode* Add_Node(TTreeNode* parent, int type, const char* code, int code_len, const char16_t* caption,
                      int caption_len);
  void Attach_Branch(TTreeNode* node, TTree_Dict* branch, int type);
  int Attach_Dict_With(TTreeNode* node, TDict* dict, int type, int with_ext, bool by_prefix);
  int Build_Dict_Branch(TTreeNode* node, TDict* dict, int type, int with_ext, bool by_prefix);
  TTreeNode* Search_From(TTreeNode* start, bool forward) const;
  int Select_Found(TTreeNode* found);
  int Ask_Search_Text();
  void Toggle_Caption_With_Code();
  TMenuItem* Add_Item(TPopupMenu* menu, const char* suffix, const char16_t* caption,
                      std::function<void()> click);
  TPopupMenu* Menu_Or_Own(TPopupMenu* menu) const;

  // A dictionary attach the tree follows: the node it went under (null: roots) and the top nodes it made.
  struct Dict_Attach {
    TTreeNode* node;
    std::string dict_id;
    int type;
    int with_ext;
    bool by_prefix;
    std::vector<TTreeNode*> made;
  };
  std::vector<Dict_Attach> attaches_;
  bool dict_watched_ = false;
  bool refreshing_ = false;  // Follow_Dict_Change is replacing nodes

  bool with_code_ = false;
  int a_id_ = 0;
  int suppress_change_ = 0;
  char search_text_[SEARCH_TEXT_MAX + 1] = {0};
  std::u16string km_title_;
  QPointer<TMenuItem> km_item_;  // the export item, made once
  std::u16string text_;          // scratch for node texts
  // Node data in blocks of kData_Block records; released records are chained through heap_code.
  std::vector<std::unique_ptr<TN_Node_Data[]>> data_blocks_;
  int data_used_ = 0;
  TN_Node_Data* data_free_ = nullptr;
};

// The unit's palette registration: "MTreeView" on the page "Zem_Pack".
void Mtreeview_Register();
