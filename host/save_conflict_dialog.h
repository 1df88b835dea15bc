// The default "pdu_save_conflict" (frame/host_funcs.h): the dialog a clerk sees when a save finds a row
// that someone else changed or deleted since it was read (core/data/save_changes.h).
//
// The dialog ("zem_host_save_conflict") names the table and the row by its key and lists every column
// ("fields", a table): its caption, the value as read, this clerk's value, the other clerk's value
// ("（空）" for none), and a tick "采用他人的" for a merge, preset where only the other clerk changed the
// column. Columns changed by one side are tinted; changed by both, marked in red. Buttons: "保留我的"
// (keepMine), "采用他人的" (takeTheirs), "按列合并" (merge: the ticks decide; only for a changed row) and
// "取消" (cancel). Captions go through the caption map with the context "dialog".
#pragma once

struct TSave_Conflict;

// Shows the dialog over the active window; returns the clerk's TSave_Conflict::Choice (0 on cancel), and
// for a merge writes the ticks into the fields' take_theirs.
int Zem_Host_Save_Conflict(TSave_Conflict* conflict);
// Registers it under "pdu_save_conflict"; 1, or 0 when the registry refused it.
int Zem_Host_Register_Save_Conflict();
