// The Mgs unit: TMGS, the search edit: a code chooser that its owner shows as a drop-down.
//
// A panel (150 x 100) with a code edit on top, a list of candidate rows below it, and up to four flat
// buttons along the bottom. With W, H the panel's size and E the edit's height:
//
//   PART        PLACE
//   code edit   (0, 0), EditWidth wide (80 after construction)
//   list        (0, 20), W wide, H - 38 high; 18 higher when no button is shown
//   buttons     y = H - 18, 18 high, W / count wide each, left to right in the order
//               查找 (goSearch), 增加 (goAdd), 编辑 (goEdit), 刷新 (goRefresh); unchosen ones hidden
//   clip        once loaded, the strip right of the edit and above the list is cut away: the polygon
//               (0,0) (EditWidth,0) (EditWidth,E-1) (W,E-1) (W,H) (0,H)
//
// The owner fills the list from a query area (Fill_List: one line per row, each of the first columns'
// texts followed by two blanks). The code of a line is its first blank-delimited word; codes compare
// byte-wise as narrow text. Typing in the edit selects the first line whose code is not smaller than
// the typed one (the selection stays when every code is smaller). Up/Down/Page Up/Page Down in the
// edit move the list's selection; Enter or a click on a line accepts the selected line (its code goes
// into the edit and Check_Return runs); Escape anywhere in it, or the focus leaving the control, hides it.
//
// Check_Return accepts the edit's code when a line has exactly that code (hides, fires OnFunc_Result);
// otherwise it asks "选择了无效的代码，需要新增加吗" (yes/no/cancel): Yes fires OnFunc_Add and hides,
// No hides, Cancel leaves the control open. The question's texts and buttons pass through the caption
// map (context "mgs").
//
// Each button runs its event: 查找 OnFunc_Search, 增加 OnFunc_Add, 编辑 OnFunc_Edit, 刷新 OnFunc_Refresh.
// Events fire only when assigned. The edit is named "mgs_code_%p" with the control's address.
//
// Published (form designer, .ui files): EditWidth, Options.
#pragma once

#include <QFlags>
#include <functional>

#include "toolkit/tk_button.h"
#include "toolkit/tk_edit.h"
#include "toolkit/tk_listbox.h"
#include "toolkit/tk_panel.h"

class TSQLCA;

class TMGS : public TPanel {
  Q_OBJECT
  // Written through the "setName" forms, the ones code generated from a form (uic) calls.
  Q_PROPERTY(int EditWidth READ EditWidth WRITE setEditWidth)
  Q_PROPERTY(TMGSOptions Options READ Options WRITE setOptions)

 public:
  enum TMGSOption { goAdd = 0x1, goSearch = 0x2, goRefresh = 0x4, goEdit = 0x8 };
  Q_DECLARE_FLAGS(TMGSOptions, TMGSOption)
  Q_FLAG(TMGSOptions)

  typedef std::function<void(TObject* Sender, const char* ret_code)> TResultEvent;

  explicit TMGS(QWidget* parent = nullptr);
  ~TMGS() override;

  // Clears the list; then, for a query area, one line per row: the texts of its first
  // min(columns, field count) fields, each followed by two blanks.
  void Fill_List(TSQLCA* data, int columns);
  // Puts a narrow code into the edit and selects as typing would. Null does nothing.
  void Set_Code(const char* code);
  // 1 when a line holds the edit's code (accepted), else 0 after the question (see above).
  int Check_Return();
  // The edit's width; lays the control out again.
  int EditWidth() const { return editWidth_; }
  void Set_EditWidth(int w);
  TMGSOptions Options() const { return options_; }
  void SetOptions(TMGSOptions o);
  void setEditWidth(int w) { Set_EditWidth(w); }
  void setOptions(TMGSOptions o) { SetOptions(o); }
  // Places the parts (the table above).
  void Fitsize();
  void Loaded() override;

  // The code of a list line (narrow, first blank-delimited word), and the edit's typed code.
  static std::string Code_Of(const QString& line);
  std::string Typed_Code() const;

  // Qt forms: Set_Code with the code as a QString; the typed code as a value.
  void Set_Code(const QString& code);
  QString typedCode() const;

  // Its size in a layout: 150 x 100 (the size it is made with), at least the edit and a few lines.
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  TEdit* Code_Edit() const { return edit_; }
  TListBox* List() const { return list_; }
  // The button of one option.
  TSpeedButton* Button(TMGSOption o) const;

  TNotifyEvent OnFunc_Add;
  TNotifyEvent OnFunc_Search;
  TNotifyEvent OnFunc_Edit;
  TNotifyEvent OnFunc_Refresh;
  TResultEvent OnFunc_Result;

  // Handlers (public as in the toolkit's forms, so that hosts and tests can run them).
  void OnMGSResize(TObject* sender);
  void MGS_Enter(TObject* sender);
  void MGS_Exit(TObject* sender);
  void Edit_CodeChange(TObject* sender);
  void Edit_CodeKeyDown(TObject* sender, WORD& key, TShiftState shift);
  void ListBox_OnMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);

 protected:
  // Escape pressed on a part that does not take it itself (a button) closes the drop-down too.
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void Accept_Selected();
  void Fire(const TNotifyEvent& e) {
    if (e) e(this);
  }

  TEdit* edit_;
  TListBox* list_;
  TSpeedButton* search_;
  TSpeedButton* add_;
  TSpeedButton* editBtn_;
  TSpeedButton* refresh_;
  int editWidth_ = 80;
  TMGSOptions options_;
  bool loaded_ = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TMGS::TMGSOptions)

// The unit's palette registration: "TMGS" on the page "Zem_Pack".
void Mgs_Register();
