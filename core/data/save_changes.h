// Saving a tracked query area back to its table (TSQLCA::Save_Changes), so that no clerk's update is
// lost to another's:
//
//   TSQLCA q;
//   q.Select(u"select * from vouchers order by voucher_no");
//   q.Track_Changes(u"vouchers", u"voucher_no");  // the rows as loaded (core/data/row_track.h)
//   ... rows changed, added (Add_Row) and deleted (Del_Row) in the area ...
//   if (q.Save_Changes() != 0) show(q.Get_Error_Msg());
//
// One save is one transaction on the area's session: every deleted row, every changed row and every
// added row, all or none. Only the columns a row changed are written. Each UPDATE and DELETE names the
// row by its key as loaded and holds, in its WHERE, the original values of the columns it changes (a
// NULL original as "is null"; numbers compared as numbers by the database), or the original row
// version where the table has a version field (then counted up by the save). So a row another clerk
// changed since it was loaded is not overwritten: its statement finds no row. The save then reads the
// row in the same transaction: when the columns compared still hold the original values (a number the
// database writes otherwise, a float that did not survive as text), the row is written by key under the
// transaction's lock; when they hold this clerk's values already, there is nothing to write; otherwise
// it is a conflict. Edits of different columns by two clerks therefore never conflict and both stay.
//
// Conflicts. The transaction is rolled back (nothing waits on a dialog while holding locks), and each
// conflicting row is put to the clerk through TSave_Options::on_conflict or, without it, the host
// function "pdu_save_conflict" (frame/host_funcs.h; host/save_conflict_dialog.h is the default): the
// row named by its key, each column's value as loaded, as this clerk has it and as the table holds it
// now. The answers: keep mine (this clerk's changes are written over the table's present row; the
// other clerk's changes to other columns stay), take theirs (the area's row becomes the table's), merge
// by column (per column, this clerk's value or the table's). Then the save runs again with the answers,
// up to max_rounds times. A cancel, or a conflict nobody answers, ends the save with nothing written.
// A row another clerk deleted is offered as keep mine (inserted again) or take theirs (gone here too);
// a row deleted here that another clerk changed as keep mine (deleted anyway) or take theirs (back).
//
// A save whose first statements meet a lost connection (a server restart since the last call) runs
// once more on the new session: nothing of the first try was committed. A commit whose answer was lost
// has an unknown outcome: its added rows are looked up on the new session by the keys that try gave
// them (before_insert's numbers kept until then). Found with this clerk's values, the commit landed
// and the save is done; not found, the save runs once more (changed and deleted rows find their own
// earlier writes, see above); rows whose key the table makes cannot be found again, so such a save
// fails and asks the clerk to reload and check rather than insert them twice.
//
// After the commit the rows written are read back (the other clerk's columns, version counts, the
// table's defaults) and the area's rows become the loaded ones. On any failure the area is left as it
// was, except for the answers already given to conflicts.
#pragma once
#include <functional>
#include <string>
#include <vector>

class TSQLCA;

// One column of a conflicting row, as the clerk is shown it.
struct TSave_Conflict_Field {
  std::u16string name;     // the field name
  std::u16string caption;  // the area's caption of the field (the name when it has none)
  std::u16string orig, mine, theirs;  // as loaded, in this area now, in the table now
  bool orig_null = false, mine_null = false, theirs_null = false;
  bool mine_changed = false;    // this clerk changed it
  bool theirs_changed = false;  // the table's value differs from the loaded one
  bool key = false;             // a key field
  // The answer for a merge: the table's value (true) or this clerk's. Preset to the table's exactly
  // where only the other clerk changed the column.
  bool take_theirs = false;
};

// A row the save could not write as it was, handed to the host function "pdu_save_conflict".
struct TSave_Conflict {
  enum Kind {
    CHANGED = 1,         // changed here and, since the load, in the table
    GONE = 2,            // changed here, deleted from the table
    DELETE_CHANGED = 3,  // deleted here, changed in the table
  };
  enum Choice { CANCEL = 0, KEEP_MINE = 1, TAKE_THEIRS = 2, MERGE = 3 };
  int kind = CHANGED;
  std::u16string table;
  std::u16string caption;  // what the rows are in the clerk's words (TSave_Options::caption); "" none
  std::u16string row;  // the row's key as "field=value" pairs
  std::vector<TSave_Conflict_Field> fields;  // every column of the row, in the area's order
};

struct TSave_Options {
  // Runs in the save's transaction, on the same session (q), before each added row is inserted: it
  // may set values of the area's row (a number from a sequence, say). A nonzero result stops the save
  // (rolled back, nothing written) with q's code and message.
  std::function<int(TSQLCA* q, TSQLCA* area, int row)> before_insert;
  // Answers conflicts in place of the host function (a TSave_Conflict::Choice; MERGE reads the
  // fields' take_theirs).
  std::function<int(TSave_Conflict* conflict)> on_conflict;
  // How often the save runs again after answered conflicts before it gives up.
  int max_rounds = 4;
  // What the rows are, as a conflict names them to the clerk ("凭证"); the table's name is never shown.
  std::u16string caption;
};

struct TSave_Result {
  int inserted = 0, updated = 0, deleted = 0;  // rows written by the committed transaction
  int conflicts = 0;     // conflicts met (answered or not)
  int took_theirs = 0;   // rows that became the table's by the clerk's answer
  std::u16string message;  // what went wrong ("" on success)
};

// Result codes of Save_Changes besides 0 (saved, or nothing to save) and the database's own codes.
enum {
  SAVE_NOT_TRACKED = -1,  // the area is not tracked, or its key fields are missing
  SAVE_CONFLICT = -2,     // a conflict nobody answered, or one still there after max_rounds
  SAVE_CANCELLED = -3,    // the clerk cancelled at a conflict
};

// Saves the tracked current area of area (see above). 0 on success; otherwise a code above or the
// database's, with the message in the area (Get_Error_Msg) and in result.
int Sql_Save_Changes(TSQLCA* area, const TSave_Options* options = nullptr, TSave_Result* result = nullptr);
