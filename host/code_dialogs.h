// The host's default code-choice functions, over the process's code dictionaries (dict/) or a query
// area, each a CodeChooseDialog (search by code prefix, name part or pinyin initials):
//
//   name                     what the default does
//   "pdu_code_select"        single choice from the dictionary; the buffer's first code starts current
//   "pdu_code_multi_select"  multiple choice with check boxes; the area's codes start ticked and come
//                            back one a record, in the order they were ticked
//   "pdu_dbio_select"        single choice from a query area (field 0 code, field 1 name)
//   "pdu_code_key_search"    resolves a typed text: an exact code or name, or the one entry the search
//                            finds, is taken at once; otherwise the single-choice dialog opens with the
//                            text in its search line
//
// The dictionaries list their choosable entries: not stopped (stop_flag Y, or stopped by the
// dictionary's own rule) and no code holding ",". Codes are written NUL-terminated into the 100-byte
// buffer, cut to 99 bytes without splitting a character. The dictionary grid columns and the combo box
// call these by name; their types are those of frame/host_funcs.h.
#pragma once

#include <memory>

#include "frame/host_funcs.h"

class CodeSearch;

int Zem_Host_Code_Select(const char* dict_id, char* code_buffer);
int Zem_Host_Code_Multi_Select(const char* dict_id, TSQLCA* codes);
int Zem_Host_Dbio_Select(TSQLCA* items, char* code_buffer, int flag);
int Zem_Host_Code_Key_Search(const char* dict_id, const char16_t* text, char* code_buffer);

// The search over a dictionary's choosable entries (null when the dictionary cannot be had), and over a
// query area's records.
std::shared_ptr<CodeSearch> Zem_Host_Dict_Search(const char* dict_id);
std::shared_ptr<CodeSearch> Zem_Host_Area_Search(TSQLCA* area);

// Registers the four functions above in the shared registry; returns how many were registered.
int Zem_Host_Register_Code_Dialogs();
