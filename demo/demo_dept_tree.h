// The demo's department tree: an MTreeView beside the voucher form. The departments come from the
// dictionary "dept_tree" (table dept_tree: code, name, parent_code; nested by its parent column) under
// one node for the whole company (every voucher). Choosing a node shows the vouchers of every department
// under it: the tree's code loop gives the SQL condition (a quoted code list, or, with Ctrl held, a
// temporary key set). The tree's menu offers the package's groups: expand, show codes, find, copy, print,
// export.
#pragma once

#include <QString>
#include <functional>

class QMainWindow;
class MTreeView;
class DemoDb;

// Creates the dictionary's table and definition when the database lacks them; 1 when they exist.
int Demo_Ensure_Dept_Tree(DemoDb* db);

// Puts the tree beside the voucher form of window (inside its "voucherBox"). filter gets an SQL
// condition on vouchers ("" for all) and returns the rows it shows. The tree, or null when the window
// has no voucher form.
MTreeView* Demo_Attach_Dept_Tree(QMainWindow* window, DemoDb* db,
                                 std::function<int(const QString& where)> filter);
