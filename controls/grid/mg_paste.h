// Mg_Paste_Block: clipboard text as spreadsheets write it, split into rows of cells, for the grid's
// paste (TMG::Paste_Text). The text format is in mg_paste.cpp.
#pragma once

#include <QString>
#include <QStringView>
#include <vector>

struct Mg_Paste_Block {
  int rows = 0;                    // rows of the block; 0 for an empty text
  int cols = 0;                    // cells of its longest row; shorter rows are filled with empty cells
  std::vector<QStringView> cells;  // row by row, rows * cols: into the text, or into quoted
  std::vector<QString> quoted;     // the texts of the quoted cells (their quotes undone)
  QStringView At(int r, int c) const { return cells[size_t(r) * size_t(cols) + size_t(c)]; }
};

// Splits text into *out, whose views point into text: it must outlive the block. Any text is some
// block: this never fails.
void Mg_Split_Paste(QStringView text, Mg_Paste_Block* out);
// A text that dies at the end of the call would leave the block's views dangling.
void Mg_Split_Paste(QString&& text, Mg_Paste_Block* out) = delete;
