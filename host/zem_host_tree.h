// Default host functions of the code tree view (MTreeView): printing and the hierarchy-chart export.
//
//   name                     what the default does
//   "gui_print_tree"         a print preview of the tree (every node, indented by level, under the
//                            chart title), printed to a PDF file the user names
//   "pdu_export_tree_to_km"  asks for a file and writes the tree as an outline that mind-map programs
//                            open: FreeMind (.mm, the default) or OPML (.opml), chosen by the file's
//                            suffix; nodes collapsed in the view are folded in a FreeMind map, which
//                            is written as that program writes its own (no XML declaration, ASCII with
//                            character references); a file that cannot be written is reported in Chinese
// The search box of the tree ("gui_inp_str") and its show-codes preference ("Mup_Gui_User_Para_Get" /
// "Mup_Gui_User_Para_Save") are the module's general defaults (host/zem_host.h).
#pragma once

#include <QString>

class MTreeView;
class QPagedPaintDevice;

// Registers the two functions above; returns how many were registered.
int Zem_Host_Register_Tree();

int Zem_Host_Print_Tree(MTreeView* tree);
int Zem_Host_Export_Tree_To_Km(MTreeView* tree, const char* title);

// The work behind them, without dialogs (for hosts that choose the file themselves, and for tests).
// Paints the tree's pages on device; returns the number of pages.
int Zem_Host_Paint_Tree(MTreeView* tree, QPagedPaintDevice* device);
enum Zem_Outline_Format { ZEM_OUTLINE_FREEMIND, ZEM_OUTLINE_OPML };
// Writes the outline file whole or not at all (an existing file is replaced only by a complete one).
// true, or false with *error saying why.
bool Zem_Host_Write_Tree_Outline(MTreeView* tree, const QString& title, const QString& path,
                                 Zem_Outline_Format format, QString* error);
