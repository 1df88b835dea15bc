// TMG's own handlers of the grid's events: keys, the mouse wheel, presses and releases (header sorting,
// the header filter click, the corner menu, check marks) and scrolling. Cell selection and the moves of
// the editing keys are in mg_keys.cpp, the ellipsis button in mg_edit.cpp.
#include "controls/grid/Mg.h"

#include "core/data/para.h"
#include "frame/host_funcs.h"
#include "frame/singleton.h"
#include "toolkit/tk_clipboard.h"
#include "toolkit/tk_menu.h"

#include <QCoreApplication>
#include <QCursor>
#include <QKeyEvent>

namespace {

Pdu_Grid_Filter_Ext_Fn g_grid_filter_ext = nullptr;

const int kDoubleClickMs = 350;
const int kShowDebounceMs = 1000;

// A check-box text drawn as a tick (Show_Bool's rule).
bool Ticked(const char* text) {
  return text[0] == 'T' || text[0] == '1' || text[0] == 't' || text[0] == 'Y' || text[0] == 'y';
}

}  // namespace

void TMG::TMG_OnKeyDown(TObject*, WORD& Key, TShiftState Shift) {
  const bool ctrl = Shift.Contains(ssCtrl);
  if (ctrl && Key == VK_RETURN) return;
  if (Copy_Key_Down(Key, Shift)) return;
  int checkCol = -1;
  const bool checks = rowBoolCol_[0] && GetColId(rowBoolCol_, &checkCol);
  if ((Key == VK_SPACE && !ctrl && checks && checkCol == Col()) || (ctrl && Key == 'S' && checks)) {
    SetRow_Bool(Row(), !GetRow_Bool(Row()));
    Sync_Sum();
    Key = 0;
    return;
  }
  // A check-box cell: Space turns it over, 1 ticks and 0 crosses it.
  const bool plain = !ctrl && !Shift.Contains(ssAlt) && !Shift.Contains(ssShift);
  if (plain && (Key == VK_SPACE || Key == '1' || Key == '0') && In_Range(Col()) && Rec(Col())->show_style == 2) {
    if (Bool_Editable(Col(), Row())) {
      Bool_Cell_Set(Col(), Row(), Key == VK_SPACE ? !Ticked(GetV(Col(), Row())) : Key == '1');
    }
    Key = 0;
    return;
  }
  if (Nav_Key_Down(Key, Shift)) return;  // moves, Alt+Enter and paste (mg_keys.cpp)
  if (!ctrl) return;
  switch (Key) {
    case 'F': Popu_Menu_SearchClick(this); break;
    case 'K': Popu_Menu_Search_NextClick(this); break;
    case 'L': Popu_Menu_Search_LastClick(this); break;
    default: return;
  }
  Key = 0;
}

// The wheel moves the current cell as the arrow keys do.
void TMG::TMG_OnMouseWheelDown(TObject*, TShiftState, TPoint, bool& Handled) {
  QCoreApplication::postEvent(this, new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier));
  Handled = true;
}

void TMG::TMG_MouseWheelUp(TObject*, TShiftState, TPoint, bool& Handled) {
  QCoreApplication::postEvent(this, new QKeyEvent(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier));
  Handled = true;
}

void TMG::Popup_Base_Menu(int X, int Y, bool topLeft) {
  Init_Popup_Menu();
  // Emptying zero cells and dropping trailing zeros are offered from the corner cell only.
  for (const char* name : {"mg_hide_zero", "mg_clear_dot_zero"})
    if (TMenuItem* item = Base_Menu_Item(name)) item->SetVisible(topLeft);
  const TPoint p = ClientToScreen(TPoint(X, Y));
  popupMenu_->SetPopupComponent(this);
  popupMenu_->Popup(p.x, p.y);
}

void TMG::TMG_OnMouseDown(TObject*, TMouseButton Button, TShiftState, int X, int Y) {
  if (Button != mbRight) return;
  MouseToCell(X, Y, Click_Col, Click_Row);
  // A host menu of its own opens through the toolkit, with the grid's menu as its first item (none with
  // "hide_base_menu"); the grid's menu opens alone otherwise.
  if (PopupMenu()) Extend_Host_Menu(PopupMenu());
  else if (!Opt_Exist("hide_base_menu")) Popup_Base_Menu(X, Y, false);
}

void TMG::TMG_OnMouseUp(TObject*, TMouseButton Button, TShiftState Shift, int X, int Y) {
  int c, r;
  MouseToCell(X, Y, c, r);
  Click_Col = c;
  Click_Row = r;
  if (r == 0 && sumMg_ && sumMg_->Visible()) Fit_Sum_Grid_Size();  // widths dragged in the header
  if (Opt_Exist("auto_adjust_height")) Fit_To_Show();
  else Fit_To_Show(0, FixedRows() - 1);
  if (Button != mbLeft || c < 0 || r < 0) return;

  const int now = Tick_Count();
  int shown = 0;
  if (Pub_Para_Get_Int(u"grid_show_time", &shown) && unsigned(now - shown) < unsigned(kShowDebounceMs)) return;
  const bool dbl = haveLastClick_ && unsigned(now - lastClickTick_) < unsigned(kDoubleClickMs);
  haveLastClick_ = true;
  lastClickTick_ = now;
  lastClickCol_ = c;
  lastClickRow_ = r;

  if (c == 0 && r == 0) {
    Click_Col = Col();
    Click_Row = Row();
    if (!Opt_Exist("hide_base_menu")) Popup_Base_Menu(X, Y, true);
    return;
  }
  if (Shift.Contains(ssAlt)) {
    Clipboard()->SetAsText(Cells(c, r));
    return;
  }
  if (Column_Order_Changed) {  // the release that ends a column drag is no header click
    Column_Order_Changed = 0;
    return;
  }
  if (r >= FixedRows()) {
    int checkCol;
    if (c >= FixedCols() && rowBoolCol_[0] && GetColId(rowBoolCol_, &checkCol) && checkCol == c) {
      SetRow_Bool(r, !GetRow_Bool(r));
      Sync_Sum();
    } else if (c == Col() && r == Row() && Bool_Editable(c, r)) {
      // A click on a check box turns it over (the press made the cell current where that was allowed).
      Bool_Cell_Set(c, r, !Ticked(GetV(c, r)));
    }
    return;
  }

  // A click in the right half of a row-0 header, away from its right border, is the column's filter.
  if (Filter_Click_Mode && r == 0) {
    int hc, hr, bc, br;
    MouseToCell(X + ColWidths(c) / 2, Y, hc, hr);
    MouseToCell(X + 6, Y + 3, bc, br);
    if (hc != c && bc == c && br == 0) {
      if (auto f = Zem_Host_Func(kPdu_Grid_Filter_Ext, g_grid_filter_ext)) f(this, GetColName(c));
      return;
    }
  }
  if (!Sort_Allowed) return;
  // Near a column border the click belongs to resizing.
  int lc, lr, rc, rr;
  MouseToCell(X - 5, Y, lc, lr);
  MouseToCell(X + 5, Y, rc, rr);
  if (lc != c || rc != c) return;

  if (c == 0) {
    Sort_Keys.clear();
  } else {
    if (dbl) Sort_Keys.clear();
    if (Sort_Col_Get(c) >= 0) Sort_Col_Remove(c);
    else Sort_Col_Add(c, Shift.Contains(ssCtrl) ? 1 : 0);
  }
  Invalidate_Header();
  if (OnExit) OnExit(this);
  Sort();
  if (OnEnter) OnEnter(this);
}

void TMG::TMG_OnTopLeftChanged(TObject*) { Refresh_Mouse_Move_Height_Light(); }

int TMG::Get_Mouse_Pos(int& col, int& row) {
  const QPoint p = viewport()->mapFromGlobal(QCursor::pos());
  col = row = -1;
  if (p.x() < 0 || p.y() < 0) return 1;
  MouseToCell(p.x(), p.y(), col, row);
  return 1;
}
