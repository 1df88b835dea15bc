// TMG search, seek and filter: the text search with next/previous steps, seeks by column values, the
// row filter (heights of 0), and the number clean-ups of the popup menu.
#include "controls/grid/Mg.h"

#include "core/data/dec_num.h"
#include "frame/host_funcs.h"
#include "frame/singleton.h"
#include "frame/vector_state.h"

#include <cstdarg>
#include <cstring>

namespace {

Gui_Inp_Str_W_Fn g_inp_str_w = nullptr;
Pdu_Grid_Filter_Fn g_grid_filter = nullptr;
Pdu_Grid_Show_Max_Fn g_grid_show_max = nullptr;

}  // namespace

// ---- Seeks -----------------------------------------------------------------------------------------

int TMG::Seek(int* row, const char* col_name, map_wchar value) {
  return Seek_From_Row(row, FixedRows(), col_name, value);
}

int TMG::Seek_From_Row(int* row, int from_row, const char* col_name, map_wchar value) {
  Zem_Clean_Vector_State();  // a seek compares a cell of every row up to the hit
  const QStringView want(reinterpret_cast<const char16_t*>(value.c_str()));
  for (int r = std::max(from_row, 0); r < RowCount(); ++r) {
    if (QStringView(GetW(col_name, r)) == want) {
      if (row) *row = r;
      return 1;
    }
  }
  return 0;
}

int TMG::Seek_Ext(int* row, int from_row, const char* col_name, const char* value, ...) {
  struct Pair {
    int col;
    const char* value;
  };
  std::vector<Pair> pairs;
  va_list ap;
  va_start(ap, value);
  const char* name = col_name;
  const char* val = value;
  while (name && val && pairs.size() < 20) {
    int id = -1;
    GetColId(name, &id);  // an unknown name reads as "", as GetV gives it
    pairs.push_back({id, val});
    name = va_arg(ap, const char*);
    if (!name) break;
    val = va_arg(ap, const char*);
  }
  va_end(ap);
  Zem_Clean_Vector_State();  // a seek compares the cells of every row up to the hit
  for (int r = std::max(from_row, 0); r < RowCount(); ++r) {
    bool all = true;
    for (const Pair& p : pairs) {
      const char* cell = p.col >= 0 ? GetV(p.col, r) : "";
      if (std::strcmp(cell, p.value) != 0) {
        all = false;
        break;
      }
    }
    if (all) {
      if (row) *row = r;
      return 1;
    }
  }
  return 0;
}

// ---- Search ----------------------------------------------------------------------------------------

void TMG::Popu_Menu_SearchClick(TObject*) {
  Gui_Inp_Str_W_Fn ask = Zem_Host_Func(kGui_Inp_Str_W, g_inp_str_w);
  if (!ask || !ask(u"查找内容", Search_Text, 60, nullptr)) return;
  Search_Text[60] = 0;
  Search_Hit_Col = FixedCols() - 1;
  Search_Hit_Row = FixedRows();
  Search_Str_To_Next();
  Refresh();
}

void TMG::Popu_Menu_Search_NextClick(TObject*) { Search_Str_To_Next(); }
void TMG::Popu_Menu_Search_LastClick(TObject*) { Search_Str_To_Last(); }

void TMG::Popu_Menu_Search_ClearClick(TObject*) {
  Search_Text[0] = 0;
  Refresh();
}

int TMG::Search_Step(int step) {
  if (Search_Text[0] == 0) return 1;
  Zem_Clean_Vector_State();  // the search compares the text with cell after cell
  const QStringView needle(Search_Text);
  const bool inside = Search_Hit_Row >= 0 && Search_Hit_Row < RowCount() && Search_Hit_Col >= 0 &&
                      Search_Hit_Col < ColCount();
  if (inside) Redraw_Cell(Search_Hit_Col, Search_Hit_Row);
  int c = Search_Hit_Col, r = Search_Hit_Row;
  for (;;) {
    c += step;
    if (step > 0 && c >= ColCount()) {
      c = FixedCols();
      ++r;
    } else if (step < 0 && c < FixedCols()) {
      c = ColCount() - 1;
      --r;
    }
    if (r >= RowCount() || r < FixedRows()) {
      if (inside) Redraw_Cell(Search_Hit_Col, Search_Hit_Row);
      return 1;  // no further hit: the last one stays
    }
    if (RowHeights(r) < 1) {
      c = step > 0 ? ColCount() : FixedCols() - 1;  // the whole hidden row is passed over
      continue;
    }
    if (ColWidths(c) < 1 || !CellView(c, r).contains(needle)) continue;
    break;
  }
  Search_Hit_Col = c;
  Search_Hit_Row = r;
  Redraw_Cell(c, r);
  // The rules apply one after the other, each on the view the one before left: where a column of
  // context on the left leaves no room for the hit (one visible column), the last rule brings it back.
  // The first scrollable column has no column of context: a view right of it goes back to it.
  if (r > TopRow() + VisibleRowCount() - 1) SetTopRow(r - VisibleRowCount() + 1);
  if (r < TopRow() && r >= 1) SetTopRow(r);
  if (c <= LeftCol() && c > FixedCols()) SetLeftCol(c - 1);
  else if (c < LeftCol() && c == FixedCols()) SetLeftCol(c);
  if (c > LeftCol() + VisibleColCount() - 1) SetLeftCol(c - VisibleColCount() + 1);
  return 1;
}

int TMG::Search_Str_To_Next() { return Search_Step(+1); }
int TMG::Search_Str_To_Last() { return Search_Step(-1); }

// ---- Filter ----------------------------------------------------------------------------------------

int TMG::Filter(int col, map_wchar value) {
  if (!In_Range(col)) return 1;
  const QStringView want(reinterpret_cast<const char16_t*>(value.c_str()));
  const int def = DefaultRowHeight();
  Zem_Clean_Vector_State();  // every row's cell is compared with the value
  BeginUpdate();
  for (int r = FixedRows(); r < RowCount(); ++r) {
    const bool show = CellView(col, r) == want;
    const int h = RowHeights(r);
    if (show && h == 0) SetRowHeights(r, def);
    else if (!show && h != 0) SetRowHeights(r, 0);
  }
  EndUpdate();
  if (showRowIdMode_) Show_Row_Id();
  return 1;
}

int TMG::Filter(const char* col_name, map_wchar value) {
  int id;
  if (!GetColId(col_name, &id)) return 0;
  return Filter(id, value);
}

int TMG::Filter_Show_All() {
  const int def = DefaultRowHeight();
  BeginUpdate();
  for (int r = FixedRows(); r < RowCount(); ++r)
    if (RowHeights(r) == 0) SetRowHeights(r, def);
  EndUpdate();
  if (showRowIdMode_) Show_Row_Id();
  return 1;
}

void TMG::Popu_Menu_FilterClick(TObject*) {
  if (Pdu_Grid_Filter_Fn f = Zem_Host_Func(kPdu_Grid_Filter, g_grid_filter)) f(this);
}

void TMG::Popu_Menu_Show_Max_Click(TObject*) {
  if (Pdu_Grid_Show_Max_Fn f = Zem_Host_Func(kPdu_Grid_Show_Max, g_grid_show_max)) f(this);
}

// Only cells that are numbers as a whole are touched: a text that merely reads as zero (letters) keeps
// what the user wrote.
void TMG::Popu_Menu_Hide_Zero_Click(TObject*) {
  for (int c = FixedCols(); c < ColCount(); ++c) {
    if (!Is_Num_Type(Rec(c)->type)) continue;
    for (int r = FixedRows(); r < RowCount(); ++r) {
      if (CellView(c, r).isEmpty()) continue;
      const std::string t = Narrow(CellView(c, r)).substr(0, 30);
      if (Dec_Valid(t.c_str()) && Dec_Cmp(t.c_str(), "0") == 0) SetCells(c, r, QString());
    }
  }
}

void TMG::Popu_Menu_Clear_Dot_Zero_Click(TObject*) {
  for (int c = FixedCols(); c < ColCount(); ++c) {
    if (!Is_Num_Type(Rec(c)->type)) continue;
    for (int r = FixedRows(); r < RowCount(); ++r) {
      if (CellView(c, r).indexOf(u'.') < 0) continue;
      const std::string t = Narrow(CellView(c, r)).substr(0, 30);
      if (!Dec_Valid(t.c_str())) continue;
      const std::string a = Mg_Allt_Number(t);
      if (a != t) SetCells(c, r, Wide(a.c_str()));
    }
  }
}
