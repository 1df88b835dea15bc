// Mg_Paste_Block: clipboard text as spreadsheets write it, split into rows of cells, for the grid's
// paste (TMG::Paste_Text). The text format is in mg_paste.cpp.
#pragma once

#include <QString>
#include <QStringView>
#include <vector>

struct Mg_Paste_Block {
  int rows = 0;                // rows of the block; 0 for an empty text
  int cols = 0;                // cells of its longest row; shorter rows are filled with empty cells
  std::vector<QString> cells;  // row by row, rows * cols
  const QString& At(int r, int c) const { return cells[size_t(r) * size_t(cols) + size_t(c)]; }
};

// Splits text into *out. Any text is some block: this never fails.
void Mg_Split_Paste(QStringView text, Mg_Paste_Block* out);
