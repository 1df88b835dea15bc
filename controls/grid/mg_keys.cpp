// TMG moves: which cells may become current, and the moves of Enter, Tab, the arrows, Home, End and
// Alt+Enter along the cells that may be entered (read-only, hidden and vetoed cells are skipped).
#include "controls/grid/Mg.h"

#include <QGuiApplication>
#include <QInputMethod>

void TMG::TMG_OnSelectCell(TObject*, int ACol, int ARow, bool& CanSelect) {
  // A move only being tried (Can_Move_To) is answered and changes nothing.
  if (!probing_) Show_Row_Mark(ARow);
  bool editCheck = false;  // the host's OnGetEditEnable decides whether the cell takes the editor
  if (Range_Selecting()) {
    CanSelect = true;
  } else if ((Row() >= RowCount() && ARow < RowCount()) || (Col() >= ColCount() && ACol < ColCount())) {
    CanSelect = true;
  } else if (RowHeights(ARow) == 0) {
    // A hidden row is never current: the move goes on to the next shown row in its direction.
    CanSelect = false;
    if (probing_) return;
    const int step = ARow > Row() ? 1 : -1;
    for (int r = ARow + step; r >= FixedRows() && r < RowCount(); r += step)
      if (RowHeights(r) != 0) {
        SetRow(r);
        break;
      }
    return;
  } else if (!OnGetEditEnable) {
    if (ACol < FixedCols()) CanSelect = false;
    else if (GetColReadonly(ACol) && !Options().Contains(goRowSelect)) CanSelect = false;
  } else {
    editCheck = true;
  }
  if (!CanSelect || probing_) return;
  if (ACol != Col() || ARow != Row()) {
    // Leaving the cell ends its edit: its change is reported, and nothing is watched until the next.
    Change_Check();
    Change_Check_Reset();
  }
  if (editCheck) {  // never in range selection, which keeps editing off
    bool can = true;
    OnGetEditEnable(this, ACol, ARow, can);
    SetOptions(can ? Options() | goEditing : TGridOptions(Options()) >> goEditing);
  }
}

int TMG::Can_Move_To(int col, int row) {
  if (col < FixedCols() || row < FixedRows() || col >= ColCount() || row >= RowCount()) return 0;
  if (ColWidths(col) < 1 || RowHeights(row) == 0 || GetColReadonly(col)) return 0;
  if (OnSelectCell) {
    bool can = true;
    ++probing_;
    OnSelectCell(this, col, row, can);
    --probing_;
    if (!can) return 0;
  }
  return 1;
}

int TMG::First_Edit_Col() {
  for (int c = FixedCols(); c <= ColCount() - 2; ++c)
    if (!GetColReadonly(c) && ColWidths(c) != 0) return c;
  return ColCount() - 1;
}

bool TMG::Editor_Showing() const {
  return Options().Contains(goEditing) && (EditorMode() || Options().Contains(goAlwaysShowEditor));
}

int TMG::Restore_Ime() {
  if (imeSaved_ && imeShown_) QGuiApplication::inputMethod()->show();
  return 1;
}

bool TMG::Nav_Key_Down(WORD& Key, TShiftState Shift) {
  const bool ctrl = Shift.Contains(ssCtrl), shift = Shift.Contains(ssShift), alt = Shift.Contains(ssAlt);
  if (Key == 'V' && ctrl && !alt && !shift) {
    Key = 0;
    Paste_From_Clipboard();
    return true;
  }
  if (Options().Contains(goRowSelect)) return false;
  const WORD key = Key;
  // The reading-order moves keep whether the input method's panel showed, for Restore_Ime.
  auto saveIme = [this] {
    imeSaved_ = true;
    imeShown_ = QGuiApplication::inputMethod()->isVisible();
  };
  switch (key) {
    case VK_HOME:
    case VK_END: {
      if (!ctrl && !shift) return false;
      Change_Check();
      Key = 0;
      const bool first = key == VK_HOME;
      const int step = first ? 1 : -1;
      int r = Row();
      if (ctrl) {  // the first (last) row where the column may be entered
        r = -1;
        for (int k = first ? FixedRows() : RowCount() - 1; k >= FixedRows() && k < RowCount(); k += step)
          if (Can_Move_To(Col(), k)) {
            r = k;
            break;
          }
        if (r < 0) return true;
      }
      for (int c = first ? FixedCols() : ColCount() - 1; c >= FixedCols() && c < ColCount(); c += step)
        if (Can_Move_To(c, r)) {
          FocusCell(c, r);
          break;
        }
      return true;
    }
    case VK_RETURN:
      if (alt) {
        Change_Check();
        Key = 0;
        Change_Check_Reset();
        int r = Row() + 1;
        while (r < RowCount() && RowHeights(r) == 0) ++r;
        const int c = First_Edit_Col();
        if (r < RowCount() && Can_Move_To(c, r)) FocusCell(c, r);
        return true;
      }
      [[fallthrough]];
    case VK_TAB:
      if (key == VK_TAB && (ctrl || !Options().Contains(goTabs))) return false;
      saveIme();
      Key = 0;
      Move_Reading(!shift);
      return true;
    case VK_UP:
    case VK_DOWN:
      Change_Check();
      Key = 0;
      Move_Vertical(key == VK_DOWN ? 1 : -1);
      return true;
    case VK_LEFT:
    case VK_RIGHT:
      if (Editor_Showing()) return false;
      saveIme();
      Key = 0;
      Move_Reading((key == VK_RIGHT) != shift);
      return true;
    default:
      return false;
  }
}

// The next shown row where the current column may be entered; going down, a row where it may not
// takes the nearest column to its left that may.
void TMG::Move_Vertical(int step) {
  const int c = Col();
  for (int r = Row() + step; r >= FixedRows() && r < RowCount(); r += step) {
    if (RowHeights(r) == 0) continue;
    if (Can_Move_To(c, r)) {
      FocusCell(c, r);
      return;
    }
    if (step < 0) continue;
    for (int k = c; k >= 0; --k)
      if (Can_Move_To(k, r)) {
        FocusCell(k, r);
        return;
      }
  }
}

// Reading order: the next (previous) cell of the row that may be entered, else the first (last) one
// of the next (previous) shown row; the row after that is not looked at.
void TMG::Move_Reading(bool forward) {
  const int c0 = Col(), r0 = Row();
  Change_Check();
  if (Col() != c0 || Row() != r0) return;  // the change's handler moved the current cell itself
  const int step = forward ? 1 : -1;
  for (int c = c0 + step; c >= FixedCols() && c < ColCount(); c += step)
    if (Can_Move_To(c, r0)) {
      FocusCell(c, r0);
      return;
    }
  int r = r0 + step;
  while (r >= FixedRows() && r < RowCount() && RowHeights(r) == 0) r += step;
  if (r < FixedRows() || r >= RowCount()) return;
  for (int c = forward ? FixedCols() : ColCount() - 1; c >= FixedCols() && c < ColCount(); c += step)
    if (Can_Move_To(c, r)) {
      FocusCell(c, r);
      return;
    }
}
