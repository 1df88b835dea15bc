// TMG sorting: the key list, comparisons, the sort through a query area with its memory, and Unsort.
//
// Sort memory (the query area kept after Sort(from, to)), one record per sorted row in sorted order,
// n = the number of keys at the time of the sort:
//   FIELD     CONTENT
//   0..n-1    the cell texts of the key columns (empty for a key whose column was out of range)
//   n         the grid row the row had before the sort, decimal
//   n+1       the grid row the sort gave it, decimal
#include "controls/grid/Mg.h"

#include "core/data/dec_num.h"
#include "core/data/sqlca.h"
#include "frame/vector_state.h"

#include <chrono>
#include <cstring>

namespace {

// A row number into a field, written without formatting calls (a sort writes two per row).
void Set_Row_Field(DBDataMgr* d, int field, int row) {
  wchar16 buf[12];
  int n = 0;
  do {
    buf[11 - n++] = wchar16(u'0' + row % 10);
    row /= 10;
  } while (row);
  d->Set_Value_With_Len(field, buf + 12 - n, n);
}

int Row_Field(DBDataMgr* d, int field) {
  int v = 0;
  for (const wchar16* p = d->Get_Value(field); *p >= u'0' && *p <= u'9'; ++p) v = v * 10 + (*p - u'0');
  return v;
}

}  // namespace

int TMG::Tick_Count() {
  using namespace std::chrono;
  const long long ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return int(unsigned(ms));
}

// ---- The key list ----------------------------------------------------------------------------------

int TMG::Sort_Col_Add(int col, int dir) {
  if (col < 1 || col >= ColCount() || int(Sort_Keys.size()) >= MAX_SORT_KEYS) return 0;
  Sort_Keys.push_back({col, Rec(col)->type, dir});
  return 1;
}

int TMG::Sort_Col_Get(int col) {
  for (size_t k = 0; k < Sort_Keys.size(); ++k)
    if (Sort_Keys[k].col == col) return int(k);
  return -1;
}

int TMG::Sort_Col_Remove(int col) {
  const int k = Sort_Col_Get(col);
  if (k >= 0) Sort_Keys.erase(Sort_Keys.begin() + k);
  return 1;
}

int TMG::Sort_Col_Clear() {
  sortMemory_.reset();
  Sort_Keys.clear();
  Invalidate_Header();  // the sort marks go
  return 1;
}

// The strip of 30 pixels the marks of one header row need, or all header rows where they are taller:
// under a header unit the marks stand in the lowest header row.
void TMG::Invalidate_Header() {
  int h = 0;
  for (int r = 0; r < FixedRows(); ++r) h += RowHeights(r) + GridLineWidth();
  InvalidateRect(TRect(0, 0, Width(), std::max(30, h)));
}

// ---- Comparing and sorting -------------------------------------------------------------------------

int TMG::Sort_Cmp(int row_a, int row_b) {
  for (const TMG_Sort_Key& k : Sort_Keys) {
    if (k.col <= 0 || k.col >= ColCount()) continue;
    const std::string a = Narrow(CellView(k.col, row_a)), b = Narrow(CellView(k.col, row_b));
    if (a == b) continue;
    int r = Is_Num_Type(k.type) ? Dec_Cmp(a.c_str(), b.c_str()) : std::strcmp(a.c_str(), b.c_str());
    r = r < 0 ? -1 : r > 0 ? 1 : 0;
    if (r) return k.desc ? -r : r;
  }
  return 0;
}

int TMG::Sort_Row_(int from, int to) {
  int m = from;
  for (int r = from + 1; r <= to; ++r)
    if (Sort_Cmp(m, r) > 0) m = r;
  if (m == from) return 1;
  for (int c = 0; c < ColCount(); ++c) {
    const QString t = Cells(c, m);
    SetCells(c, m, Cells(c, from));
    SetCells(c, from, t);
  }
  const int h = RowHeights(m);
  SetRowHeights(m, RowHeights(from));
  SetRowHeights(from, h);
  for (TMG_Cell_Attr& e : Cell_Attr) {
    if (e.row == m) e.row = from;
    else if (e.row == from) e.row = m;
  }
  if (OnSortSwapRow) OnSortSwapRow(this, m, from);
  return 1;
}

void TMG::Move_Rows(const std::vector<int>& src, const std::vector<int>& dst, int T, bool unsort) {
  const int n = int(src.size());
  int first = RowCount();
  for (int d : dst) first = std::min(first, d);
  std::vector<int> order(static_cast<size_t>(n)), newRow(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) {
    order[size_t(dst[size_t(k)] - first)] = src[size_t(k)];
    newRow[size_t(src[size_t(k)] - first)] = dst[size_t(k)];
  }
  ReorderRows(first, order);
  Area_Rows_Moved(src, dst);
  // The attribute rows end where their rows went; the host hears it as exchanges through temporary
  // numbers T + row, which compose to the same permutation for a host that applies each one.
  for (TMG_Cell_Attr& e : Cell_Attr)
    if (e.row >= first && e.row < first + n) e.row = newRow[size_t(e.row - first)];
  // The watched cell goes with its text: a sort is no change of it, and an edit not yet reported is
  // reported for the row it belongs to.
  if (watchRow_ >= first && watchRow_ < first + n) watchRow_ = newRow[size_t(watchRow_ - first)];
  if (!OnSortSwapRow) return;
  for (int k = 0; k < n; ++k) OnSortSwapRow(this, src[size_t(k)], T + dst[size_t(k)]);
  for (int k = 0; k < n; ++k) {
    const int x = unsort ? src[size_t(k)] : dst[size_t(k)];
    OnSortSwapRow(this, T + x, x);
  }
}

int TMG::Sort(int from, int to) {
  from = std::max(from, 0);
  to = std::min(to, RowCount() - 1);
  if (!Sort_Allowed || from >= to) return 1;
  Zem_Clean_Vector_State();  // every row's keys are copied into the sort memory and compared there
  auto mem = std::make_unique<TSQLCA>();
  DBDataMgr* data = mem->Data();
  const int n = int(Sort_Keys.size());
  const int T = RowCount() + 100;
  data->Set_Field_Count(n + 2);
  for (int i = 0; i < n; ++i) {
    const TMG_Sort_Key& k = Sort_Keys[size_t(i)];
    if (k.col <= 0 || k.col >= ColCount()) continue;
    data->Set_Field_Type(i, k.type);
    data->Add_Sort_Key(i, k.desc == 1);
  }
  for (int r = from; r <= to; ++r) {
    data->Add_Row();
    Set_Row_Field(data, n, r);
    for (int i = 0; i < n; ++i) {
      const int c = Sort_Keys[size_t(i)].col;
      if (c <= 0 || c >= ColCount()) continue;
      QStringView v = CellView(c, r);
      data->Set_Value_With_Len(i, reinterpret_cast<const wchar16*>(v.utf16()), int(v.size()));
    }
  }
  data->Sort();
  std::vector<int> src, dst;
  src.reserve(size_t(to - from + 1));
  dst.reserve(size_t(to - from + 1));
  int k = 0;
  for (bool more = data->First(); more; more = data->Next(), ++k) {
    src.push_back(Row_Field(data, n));
    dst.push_back(from + k);
    Set_Row_Field(data, n + 1, from + k);
  }
  Move_Rows(src, dst, T, false);
  sortMemory_ = std::move(mem);
  return 1;
}

int TMG::Sort() {
  if (!Sort_Allowed) return 1;
  if (OnExit) OnExit(this);
  const bool rows = RowCount() > FixedRows();
  if (rows) SetCells(0, Row(), QString());
  int from = FixedRows(), to = RowCount() - 1;
  auto empty = [this](int r) {
    for (int c = 1; c < ColCount(); ++c)
      if (!CellView(c, r).isEmpty()) return false;
    return true;
  };
  while (to > from && empty(to)) --to;
  if (OnGetSortRows) OnGetSortRows(this, from, to);
  Sort(from, to);
  if (rows) {
    Show_Row_Mark(Row());
    if (showRowIdMode_) Show_Row_Id();
  }
  return 1;
}

int TMG::Unsort() {
  if (!sortMemory_) return 1;
  DBDataMgr* data = sortMemory_->Data();
  const int records = data->Get_Row_Count();
  if (RowCount() - FixedRows() < records) return 1;
  const int n = data->Get_Field_Count() - 2;
  std::vector<int> src, dst;  // row dst (before the sort) takes row src (after it)
  src.reserve(size_t(records));
  dst.reserve(size_t(records));
  for (bool more = data->First(); more; more = data->Next()) {
    dst.push_back(Row_Field(data, n));
    src.push_back(Row_Field(data, n + 1));
  }
  for (int r : src)
    if (r >= RowCount()) return 1;
  if (!src.empty()) Move_Rows(src, dst, RowCount() + 100, true);
  Sort_Col_Clear();
  if (RowCount() > FixedRows()) {
    Show_Row_Mark(Row());
    if (showRowIdMode_) Show_Row_Id();
  }
  return 1;
}

void TMG::Popu_Menu_UnsortClick(TObject*) { Unsort(); }
