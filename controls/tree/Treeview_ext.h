// The Treeview_ext unit: TTreeView_Ext, the dictionary tree view.
//
// A lighter tree than MTreeView: it shows the rows of a query area (code and name) as a tree, keeps each
// node's code as narrow text (system code page) and reports the code of the selected node. Selected items
// are drawn on blue (0xFF0000 as a toolkit colour) whether or not the view has the focus.
//
// Code list: every AddItem makes its own copy of the code and appends it to the control's list; a node's
// data points at its copy. The copies live until FreeCode (or the destructor), whatever happens to the
// nodes.
//
// AttachTreeDict nesting: rows come in the data set's order; each row's node goes under the nearest of
// the previous row's node and that node's ancestors whose code is contained in the new code (a shorter,
// non-empty code that occurs in it), else it becomes a root. So 01, 0101, 010101, 0102, 02 nest as 01
// (0101 (010101), 0102), 02. Codes are carried up to 399 bytes and names up to 511 code units.
#pragma once

#include <QString>
#include <vector>

#include "controls/common/zem_common.h"
#include "toolkit/tk_tree.h"

class TSQLCA;

class TTreeView_Ext : public TTreeView {
  Q_OBJECT

 public:
  static constexpr TColor kSelected_Color = 0xFF0000;
  static constexpr int kCode_Max = 399;  // bytes of a code carried by AttachTreeDict
  static constexpr int kName_Max = 511;  // code units of a name

  explicit TTreeView_Ext(QWidget* parent = nullptr);
  ~TTreeView_Ext() override;

  // A new last child of parent (a root when parent is null) captioned text (narrow; the wide form
  // keeps characters the code page lacks), its data a new copy of code (null: "").
  TTreeNode* AddItem(TTreeNode* parent, const char* code, const char* text);
  TTreeNode* AddItem(TTreeNode* parent, const char* code, const char16_t* text);
  // The code of the selected node, or null when nothing is selected (or its code was freed).
  const char* GetCode() const;
  // Frees every code copy and empties the list; the nodes' data is cleared. Returns how many went.
  int FreeCode();
  int Code_Count() const { return static_cast<int>(codes_.size()); }
  // Fills the tree from data (field 0 code, field 1 name); 0 for a null data set, else 1. A code
  // dictionary given as data (a TDict) is followed as Attach_Dict does.
  int AttachTreeDict(TSQLCA* data);
  // Fills the tree from the dictionary (made and loaded on first use) and follows it: a change of the
  // dictionary (controls/common/dict_watch.h) fills the tree anew from it, the expanded nodes expanded
  // again and the selected code selected again, without OnChange (with it when that code is gone). 0
  // when the dictionary cannot be had.
  int Attach_Dict(const char* dict_id);
  // The followed dictionary's id ("" when none) and the refill on its change (id empty: any change).
  const std::string& Dict_Id() const { return dict_id_; }
  void Follow_Dict_Change(const std::string& id);

  // ---- Qt forms
  // The code converted to the system code page, the text kept whole.

  TTreeNode* AddItem(TTreeNode* parent, const QString& code, const QString& text);
  int Attach_Dict(const QString& dict_id);
  // GetCode as a value ("" when nothing is selected).
  QString selectedCode() const;

  // The item-draw handler installed by the constructor: keeps the selection shown without the focus
  // and paints selected items on kSelected_Color.
  void MTreeView_DrawItem(TTreeView* sender, TTreeNode* node, TCustomDrawState state, const TRect& rect,
                          bool& default_draw);

 private:
  int Fill(TSQLCA* data);
  std::vector<char*> codes_;  // owned (malloc)
  std::string dict_id_;       // the dictionary followed
  bool dict_watched_ = false;
};

// The unit's palette registration: "TTreeView_Ext" on the page "Zem_Pack".
void Treeview_ext_Register();
