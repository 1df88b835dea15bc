// Saving a tracked query area: the statements of one transaction, conflicts found and put to the clerk,
// the rows read back.
#include "core/data/save_changes.h"

#include <memory>
#include <string>
#include <vector>

#include "core/data/db_connect.h"
#include "core/data/row_track.h"
#include "core/data/sql_param.h"
#include "core/data/sqlca.h"
#include "frame/host_funcs.h"
#include "frame/log_mgr.h"
#include "frame/pub_ptr.h"

namespace {

bool Numeric(char type) { return type == 'F' || type == 'I' || type == 'N' || type == '1' || type == '2'; }

// A name as it goes into a statement: plain names as they are, any other quoted ("a b" -> "\"a b\""),
// each part of a dotted table name on its own.
std::u16string Ident(const std::u16string& name) {
  std::u16string out, part;
  auto flush = [&]() {
    bool plain = !part.empty() && !(part[0] >= u'0' && part[0] <= u'9');
    for (char16_t c : part)
      plain = plain && ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_');
    if (!out.empty()) out += u".";
    if (plain) {
      out += part;
    } else {
      out += u"\"";
      for (char16_t c : part) out += c == u'"' ? std::u16string(u"\"\"") : std::u16string(1, c);
      out += u"\"";
    }
    part.clear();
  };
  for (char16_t c : name) {
    if (c == u'.') flush();
    else part.push_back(c);
  }
  flush();
  return out;
}

// A value the clerk gave, for SET or VALUES: empty is NULL; numbers are checked and lose their
// thousands separators.
TSql_Param Value_Param(const wchar16* v, bool present, char type) {
  if (!present || !v || !*v) return TSql_Param::Null();
  if (Numeric(type)) return TSql_Param::Decimal(v);
  return TSql_Param(std::u16string(v));
}

// A value as the table gave it, for WHERE: exactly that text (the database reads it back as the
// column's type).
TSql_Param Table_Param(const wchar16* v) { return TSql_Param(std::u16string(v ? v : u"")); }

struct Row_Values {
  std::vector<std::u16string> text;
  std::vector<char> present;
};

struct Conflict_Rec {
  int kind = TSave_Conflict::CHANGED;
  int orig = -1;  // the original row
  Row_Values theirs;  // empty for GONE
};

class Saver {
 public:
  Saver(TSQLCA* area, const TSave_Options& opt, TSave_Result* res)
      : area_(area), d_(area->Data()), t_(area->Tracker()), opt_(opt), res_(res) {
    if (area->Get_Connect()) w_.Set_Connect(area->Get_Connect());
  }

  int Run() {
    if (!t_) return Fail(SAVE_NOT_TRACKED, u"Save_Changes: the area is not tracked (Track_Changes)");
    for (int k : t_->Key_Columns())
      if (t_->Field_Of(d_, k) < 0)
        return Fail(SAVE_NOT_TRACKED, u"Save_Changes: the area no longer has the key field " + t_->Columns()[static_cast<size_t>(k)]);
    if (!t_->Has_Changes(d_)) return 0;
    bool retried = false;
    for (int round = 0;; round++) {
      conflicts_.clear();
      *res_ = TSave_Result();
      res_->conflicts = conflicts_seen_;
      res_->took_theirs = took_theirs_;
      Keep_Added();
      const int rc = Write_All();
      if (rc != 0 || !conflicts_.empty()) Restore_Added();  // numbers given in the rolled-back transaction
      if (rc == 0 && conflicts_.empty()) {
        if (w_.Commit() == 0) break;
        if (Lost() && !retried) {
          // The outcome is unknown. Updates and deletes find on the next try what is there; added rows
          // would be inserted twice if the commit landed, so they are looked up first, by the keys
          // this try gave them.
          const std::u16string why = w_.Get_Error_Msg();
          const int code = w_.Get_Sqlcode();
          const int landed = Added_Landed();
          if (landed == 1) break;
          retried = true;
          Restore_Added();
          if (landed < 0)
            return Fail(code, u"提交时与数据库的连接中断，无法确定新增的记录是否已经保存；请刷新后核对，"
                              u"确认没有保存再重新录入（" + why + u"）");
          round--;
          continue;
        }
        const std::u16string why = w_.Get_Error_Msg();
        const int code = w_.Get_Sqlcode();
        w_.Rollback();
        Restore_Added();
        return Fail(code, why);
      }
      const bool lost = rc != 0 && Lost();
      const int code = rc != 0 ? w_.Get_Sqlcode() : 0;
      const std::u16string why = rc != 0 ? message_ : u"";
      w_.Rollback();
      if (rc != 0) {
        if (lost && !retried) {
          retried = true;
          round--;
          continue;
        }
        return Fail(code ? code : -1, why);
      }
      conflicts_seen_ += static_cast<int>(conflicts_.size());
      if (round + 1 >= (opt_.max_rounds > 0 ? opt_.max_rounds : 1))
        return Fail(SAVE_CONFLICT, Conflict_Text(u"保存未完成：记录仍被他人修改："));
      const int answered = Ask_All();
      if (answered != 1) {
        res_->conflicts = conflicts_seen_;
        return answered == 0 ? Fail(SAVE_CANCELLED, Conflict_Text(u"保存已取消：记录已被他人修改："))
                             : Fail(SAVE_CONFLICT, Conflict_Text(u"记录已被他人修改，未保存："));
      }
    }
    Read_Back();
    t_->Accept(d_);
    area_->Set_Error(0, u"");
    return 0;
  }

 private:
  int Fail(int code, const std::u16string& why) {
    res_->message = why;
    area_->Set_Error(code, why.c_str());
    Log_Printf("*** save of %s failed: %s\n", Zem_W_To_Utf8(t_ ? t_->Table().c_str() : u"").c_str(),
               Zem_W_To_Utf8(why.c_str()).c_str());
    return code;
  }

  bool Lost() const {
    const int c = w_.Get_Sqlcode();
    return c == DB_LOST_CONNECTION || c == DB_LOST_TRANSACTION || c == 999 || Db_Lost_Message(w_.Get_Error_Msg());
  }

  // Runs one statement of the save; on failure keeps the database's message with the row named.
  int Exec(const std::u16string& sql, const TSql_Params& p, int orig_or_row, bool is_orig) {
    if ((p.empty() ? w_.Exec(sql.c_str()) : w_.Exec(sql.c_str(), p)) == 0) return 0;
    std::u16string where;
    if (orig_or_row >= 0) where = u" (" + (is_orig ? Orig_Row_Text(orig_or_row) : Area_Row_Text(orig_or_row)) + u")";
    message_ = t_->Table() + where + u": " + w_.Get_Error_Msg();
    return w_.Get_Sqlcode() ? w_.Get_Sqlcode() : -1;
  }

  std::u16string Caption(int c) const {
    const int f = t_->Field_Of(d_, c);
    const wchar16* cap = f >= 0 ? d_->Get_Field_Caption(f) : nullptr;
    return cap && *cap ? std::u16string(cap) : t_->Columns()[static_cast<size_t>(c)];
  }

  std::u16string Orig_Row_Text(int o) const {
    std::u16string s;
    for (int k : t_->Key_Columns()) {
      if (!s.empty()) s += u", ";
      s += Caption(k) + u"=" + t_->Original().Get_Row_Value(o, k);
    }
    return s;
  }

  std::u16string Area_Row_Text(int row) const {
    std::u16string s;
    for (int k : t_->Key_Columns()) {
      if (!s.empty()) s += u", ";
      s += Caption(k) + u"=" + d_->Get_Row_Value(row, t_->Field_Of(d_, k));
    }
    return s;
  }

  std::u16string Conflict_Text(const std::u16string& head) const {
    std::u16string s = head;
    for (size_t i = 0; i < conflicts_.size(); i++) s += (i ? u"；" : u"") + Orig_Row_Text(conflicts_[i].orig);
    return s;
  }

  // " where k1 = ? and k2 = ?" over the original key, its parameters appended to p.
  std::u16string Key_Where(int o, TSql_Params* p) const {
    std::u16string w;
    for (int k : t_->Key_Columns()) {
      w += w.empty() ? u" where " : u" and ";
      w += Ident(t_->Columns()[static_cast<size_t>(k)]);
      if (!t_->Original().Row_Value_Present(o, k)) {
        w += u" is null";
      } else {
        w += u" = ?";
        p->push_back(Table_Param(t_->Original().Get_Row_Value(o, k)));
      }
    }
    return w;
  }

  // " and c = ?" (or " is null") for each compared column's original value.
  std::u16string Orig_Where(int o, const std::vector<int>& cols, TSql_Params* p) const {
    std::u16string w;
    for (int c : cols) {
      w += u" and " + Ident(t_->Columns()[static_cast<size_t>(c)]);
      if (!t_->Original().Row_Value_Present(o, c)) {
        w += u" is null";
      } else {
        w += u" = ?";
        p->push_back(Table_Param(t_->Original().Get_Row_Value(o, c)));
      }
    }
    return w;
  }

  std::u16string Column_List() const {
    std::u16string s;
    for (size_t c = 0; c < t_->Columns().size(); c++) s += (c ? u"," : u"") + Ident(t_->Columns()[c]);
    return s;
  }

  // The table's present row for an original's key (in the transaction, locked where the database can);
  // 1 found, 0 gone, -1 failed.
  int Read_Row(int o, Row_Values* out) {
    TSql_Params p;
    std::u16string sql = u"select " + Column_List() + u" from " + Ident(t_->Table()) + Key_Where(o, &p);
    if (!file_db_) sql += u" for update";
    if (Exec(sql, p, o, true) != 0) return -1;
    if (w_.Get_Row_Count() < 1) return 0;
    const int nc = static_cast<int>(t_->Columns().size());
    out->text.assign(static_cast<size_t>(nc), u"");
    out->present.assign(static_cast<size_t>(nc), 0);
    DBDataMgr* r = w_.Data();
    for (int c = 0; c < nc; c++) {
      out->text[static_cast<size_t>(c)] = r->Get_Row_Value(0, c);
      out->present[static_cast<size_t>(c)] = static_cast<char>(r->Row_Value_Present(0, c));
    }
    return 1;
  }

  bool Orig_Same(int o, int c, const Row_Values& v) const {
    return TRow_Track::Same(t_->Original().Get_Row_Value(o, c), t_->Original().Row_Value_Present(o, c),
                            v.text[static_cast<size_t>(c)].c_str(), v.present[static_cast<size_t>(c)] != 0,
                            t_->Original().Get_Field_Type(c));
  }

  bool Mine_Same(int row, int c, const Row_Values& v) const {
    const int f = t_->Field_Of(d_, c);
    return f >= 0 && TRow_Track::Same(d_->Get_Row_Value(row, f), d_->Row_Value_Present(row, f) != 0,
                                      v.text[static_cast<size_t>(c)].c_str(), v.present[static_cast<size_t>(c)] != 0,
                                      t_->Original().Get_Field_Type(c));
  }

  // Every change of the area in the open transaction. 0, or the failing statement's code (message_
  // set); conflicts go to conflicts_.
  int Write_All() {
    file_db_ = w_.Get_Connect() ? w_.Get_Connect()->Is_File_Db() : 0;
    if (int rc = Exec(u"begin", {}, -1, false)) return rc;
    if (!file_db_) file_db_ = w_.Get_Connect() ? w_.Get_Connect()->Is_File_Db() : 0;
    for (int o : t_->Deleted(d_))
      if (int rc = Delete(o)) return rc;
    for (int r = 0; r < d_->Get_Row_Count(); r++) {
      const int state = t_->Row_State(d_, r);
      if (state == TRow_Track::ROW_CHANGED) {
        if (int rc = Update(r)) return rc;
      } else if (state == TRow_Track::ROW_ADDED) {
        if (int rc = Insert(r)) return rc;
      }
    }
    return 0;
  }

  int Delete(int o) {
    const int nc = static_cast<int>(t_->Columns().size());
    std::vector<int> compared;
    if (t_->Version_Column() >= 0) {
      compared.push_back(t_->Version_Column());
    } else {
      for (int c = 0; c < nc; c++) compared.push_back(c);
    }
    TSql_Params p;
    const std::u16string head = u"delete from " + Ident(t_->Table());
    std::u16string where = Key_Where(o, &p);
    TSql_Params p_all = p;
    if (int rc = Exec(head + where + Orig_Where(o, compared, &p_all), p_all, o, true)) return rc;
    if (w_.Get_Result_Int() > 0) {
      res_->deleted++;
      return 0;
    }
    Row_Values theirs;
    const int found = Read_Row(o, &theirs);
    if (found < 0) return w_.Get_Sqlcode() ? w_.Get_Sqlcode() : -1;
    if (found == 0) return 0;  // deleted meanwhile by someone else too
    bool same = true;
    for (int c : compared) same = same && Orig_Same(o, c, theirs);
    if (!same) {
      conflicts_.push_back({TSave_Conflict::DELETE_CHANGED, o, theirs});
      return 0;
    }
    // The values differ only in how the database writes them: the row is locked, deleted by key.
    if (int rc = Exec(head + where, p, o, true)) return rc;
    res_->deleted += w_.Get_Result_Int() > 0;
    return 0;
  }

  int Update(int row) {
    const int o = t_->Original_Of(d_, row);
    const int nc = static_cast<int>(t_->Columns().size());
    const int ver = t_->Version_Column();
    std::vector<int> changed;
    for (int c = 0; c < nc; c++)
      if (c != ver && t_->Column_Changed(d_, row, c)) changed.push_back(c);
    if (changed.empty()) return 0;  // only the version differs: nothing of the row to write
    TSql_Params p;
    std::u16string set;
    for (int c : changed) {
      const int f = t_->Field_Of(d_, c);
      set += (set.empty() ? u" set " : u", ") + Ident(t_->Columns()[static_cast<size_t>(c)]) + u" = ?";
      p.push_back(Value_Param(d_->Get_Row_Value(row, f), d_->Row_Value_Present(row, f) != 0,
                              t_->Original().Get_Field_Type(c)));
    }
    if (ver >= 0) {
      const std::u16string v = Ident(t_->Columns()[static_cast<size_t>(ver)]);
      set += u", " + v + u" = coalesce(" + v + u", 0) + 1";
    }
    const std::u16string head = u"update " + Ident(t_->Table()) + set;
    TSql_Params p_key = p;
    const std::u16string where = Key_Where(o, &p_key);
    TSql_Params p_all = p_key;
    const std::vector<int> compared = ver >= 0 ? std::vector<int>{ver} : changed;
    if (int rc = Exec(head + where + Orig_Where(o, compared, &p_all), p_all, row, false)) return rc;
    if (w_.Get_Result_Int() > 0) {
      res_->updated++;
      return 0;
    }
    Row_Values theirs;
    const int found = Read_Row(o, &theirs);
    if (found < 0) return w_.Get_Sqlcode() ? w_.Get_Sqlcode() : -1;
    if (found == 0) {
      conflicts_.push_back({TSave_Conflict::GONE, o, Row_Values()});
      return 0;
    }
    bool as_loaded = true, as_mine = true;
    for (int c : compared) as_loaded = as_loaded && Orig_Same(o, c, theirs);
    for (int c : changed) as_mine = as_mine && Mine_Same(row, c, theirs);
    if (as_loaded) {
      // Only the database's way of writing the values differs: the row is locked, written by key.
      if (int rc = Exec(head + where, p_key, row, false)) return rc;
      res_->updated += w_.Get_Result_Int() > 0;
      return 0;
    }
    if (as_mine && ver < 0) return 0;  // the table holds these values already (an earlier try committed)
    conflicts_.push_back({TSave_Conflict::CHANGED, o, theirs});
    return 0;
  }

  int Insert(int row) {
    if (opt_.before_insert) {
      if (int rc = opt_.before_insert(&w_, area_, row)) {
        message_ = t_->Table() + u": " + w_.Get_Error_Msg();
        return rc;
      }
    }
    const int nc = static_cast<int>(t_->Columns().size());
    std::u16string cols, marks;
    TSql_Params p;
    for (int c = 0; c < nc; c++) {
      const int f = t_->Field_Of(d_, c);
      const bool has = f >= 0 && d_->Row_Value_Present(row, f) && *d_->Get_Row_Value(row, f);
      if (!has && c != t_->Version_Column()) continue;  // left to the table's default
      cols += (cols.empty() ? u"" : u",") + Ident(t_->Columns()[static_cast<size_t>(c)]);
      marks += marks.empty() ? u"?" : u",?";
      if (has) p.push_back(Value_Param(d_->Get_Row_Value(row, f), true, t_->Original().Get_Field_Type(c)));
      else p.push_back(TSql_Param(1));  // a new row's first version
    }
    if (cols.empty()) return 0;  // an empty row is not written
    if (int rc = Exec(u"insert into " + Ident(t_->Table()) + u"(" + cols + u") values(" + marks + u")", p, row, false))
      return rc;
    res_->inserted++;
    return 0;
  }

  // The added rows' values before a try: what before_insert writes into them goes back with a rolled
  // back transaction, so that a number taken there is taken again.
  void Keep_Added() {
    added_.clear();
    for (int r = 0; r < d_->Get_Row_Count(); r++) {
      if (t_->Row_State(d_, r) != TRow_Track::ROW_ADDED) continue;
      Row_Values v;
      for (int f = 0; f < d_->Get_Field_Count(); f++) {
        v.text.push_back(d_->Get_Row_Value(r, f));
        v.present.push_back(static_cast<char>(d_->Row_Value_Present(r, f)));
      }
      added_.emplace_back(r, std::move(v));
    }
  }

  // After a commit lost on its way: whether its added rows are in the table. 1 one of them is, with
  // the values this try wrote (the transaction was committed: all of it is); 0 none of them is (a row
  // under one of the keys holds other values: another clerk took that number since the rollback);
  // -1 it cannot be told (a row whose key the table makes, or the look-up failed).
  int Added_Landed() {
    if (added_.empty()) return 0;
    const int nc = static_cast<int>(t_->Columns().size());
    int unknown = 0;
    for (const auto& entry : added_) {
      const int r = entry.first;
      TSql_Params p;
      std::u16string where;
      bool keyed = r < d_->Get_Row_Count();
      for (int k : t_->Key_Columns()) {
        const int f = t_->Field_Of(d_, k);
        keyed = keyed && f >= 0 && d_->Row_Value_Present(r, f) && *d_->Get_Row_Value(r, f);
        if (!keyed) break;
        where += (where.empty() ? u" where " : u" and ") + Ident(t_->Columns()[static_cast<size_t>(k)]) + u" = ?";
        p.push_back(Table_Param(d_->Get_Row_Value(r, f)));
      }
      if (!keyed) {
        unknown = 1;
        continue;
      }
      if (w_.Select((u"select " + Column_List() + u" from " + Ident(t_->Table()) + where).c_str(), p) != 0) return -1;
      if (w_.Get_Row_Count() < 1) continue;
      Row_Values theirs;
      for (int c = 0; c < nc; c++) {
        theirs.text.push_back(w_.Data()->Get_Row_Value(0, c));
        theirs.present.push_back(static_cast<char>(w_.Data()->Row_Value_Present(0, c)));
      }
      bool same = true;
      for (int c = 0; c < nc && same; c++) {
        const int f = t_->Field_Of(d_, c);
        if (f >= 0 && d_->Row_Value_Present(r, f) && *d_->Get_Row_Value(r, f)) same = Mine_Same(r, c, theirs);
      }
      if (same) {
        Log_Printf("save of %s: the commit's answer was lost, and its added rows are in the table: it landed\n",
                   Zem_W_To_Utf8(t_->Table().c_str()).c_str());
        return 1;
      }
    }
    return unknown ? -1 : 0;
  }

  void Restore_Added() {
    for (const auto& [r, v] : added_) {
      if (r >= d_->Get_Row_Count()) continue;
      d_->Go_To_Row(r);
      for (int f = 0; f < d_->Get_Field_Count() && f < static_cast<int>(v.text.size()); f++) {
        if (v.present[static_cast<size_t>(f)]) d_->Set_Value_With_Len(f, v.text[static_cast<size_t>(f)].c_str(), static_cast<int>(v.text[static_cast<size_t>(f)].size()));
        else d_->Set_Null(f);
      }
    }
  }

  // ---- conflicts

  TSave_Conflict Describe(const Conflict_Rec& rec, int row) const {
    TSave_Conflict k;
    k.kind = rec.kind;
    k.table = t_->Table();
    k.caption = opt_.caption;
    k.row = Orig_Row_Text(rec.orig);
    const int nc = static_cast<int>(t_->Columns().size());
    for (int c = 0; c < nc; c++) {
      TSave_Conflict_Field f;
      f.name = t_->Columns()[static_cast<size_t>(c)];
      f.caption = Caption(c);
      f.orig = t_->Original().Get_Row_Value(rec.orig, c);
      f.orig_null = !t_->Original().Row_Value_Present(rec.orig, c);
      const int af = t_->Field_Of(d_, c);
      if (row >= 0 && af >= 0) {
        f.mine = d_->Get_Row_Value(row, af);
        f.mine_null = !d_->Row_Value_Present(row, af);
        f.mine_changed = t_->Column_Changed(d_, row, c) != 0;
      } else {
        f.mine_null = true;  // deleted here
      }
      if (rec.kind == TSave_Conflict::GONE) {
        f.theirs_null = true;
      } else {
        f.theirs = rec.theirs.text[static_cast<size_t>(c)];
        f.theirs_null = !rec.theirs.present[static_cast<size_t>(c)];
        f.theirs_changed = !Orig_Same(rec.orig, c, rec.theirs);
      }
      for (int k2 : t_->Key_Columns()) f.key = f.key || k2 == c;
      f.take_theirs = f.theirs_changed && !f.mine_changed;
      k.fields.push_back(f);
    }
    return k;
  }

  int Area_Row_Of(int o) const {
    for (int r = 0; r < d_->Get_Row_Count(); r++)
      if (t_->Original_Of(d_, r) == o) return r;
    return -1;
  }

  // Asks every conflict, then applies the answers: 1 all answered, 0 cancelled, -1 nobody to ask.
  int Ask_All() {
    auto host = reinterpret_cast<Pdu_Save_Conflict_Fn>(Get_Pub_Ptr(kPdu_Save_Conflict));
    if (!opt_.on_conflict && !host) return -1;
    std::vector<TSave_Conflict> asked;
    std::vector<int> choice;
    for (const Conflict_Rec& rec : conflicts_) {
      TSave_Conflict k = Describe(rec, Area_Row_Of(rec.orig));
      const int ch = opt_.on_conflict ? opt_.on_conflict(&k) : host(&k);
      if (ch != TSave_Conflict::KEEP_MINE && ch != TSave_Conflict::TAKE_THEIRS && ch != TSave_Conflict::MERGE) return 0;
      asked.push_back(k);
      choice.push_back(ch);
    }
    for (size_t i = 0; i < conflicts_.size(); i++) Apply(conflicts_[i], asked[i], choice[i]);
    return 1;
  }

  void Set_Area(int row, int c, const std::u16string& v, bool present) {
    const int f = t_->Field_Of(d_, c);
    if (row < 0 || f < 0) return;
    d_->Go_To_Row(row);
    if (present) d_->Set_Value_With_Len(f, v.c_str(), static_cast<int>(v.size()));
    else d_->Set_Null(f);
  }

  void Apply(const Conflict_Rec& rec, const TSave_Conflict& k, int choice) {
    const int o = rec.orig;
    const int row = Area_Row_Of(o);
    const int nc = static_cast<int>(t_->Columns().size());
    if (rec.kind == TSave_Conflict::GONE) {
      if (choice == TSave_Conflict::TAKE_THEIRS) {
        if (row >= 0) {
          d_->Go_To_Row(row);
          d_->Del_Row();
        }
        took_theirs_++;
      } else if (row >= 0) {
        d_->Set_Row_Track(row, 0);  // inserted again
      }
      t_->Drop_Original(o);
      return;
    }
    // The table's row is the new original: the next try compares with it.
    for (int c = 0; c < nc; c++)
      t_->Set_Original(o, c, rec.theirs.text[static_cast<size_t>(c)].c_str(), rec.theirs.present[static_cast<size_t>(c)] != 0);
    if (rec.kind == TSave_Conflict::DELETE_CHANGED) {
      if (choice == TSave_Conflict::TAKE_THEIRS) {  // the row comes back as the table has it
        d_->Add_Row();
        const int r = d_->Get_Row_Count() - 1;
        for (int c = 0; c < nc; c++)
          Set_Area(r, c, rec.theirs.text[static_cast<size_t>(c)], rec.theirs.present[static_cast<size_t>(c)] != 0);
        d_->Set_Row_Track(r, o + 1);
        took_theirs_++;
      }
      return;
    }
    if (choice == TSave_Conflict::TAKE_THEIRS) took_theirs_++;
    for (int c = 0; c < nc; c++) {
      const TSave_Conflict_Field& f = k.fields[static_cast<size_t>(c)];
      const bool theirs = choice == TSave_Conflict::TAKE_THEIRS ||
                          (choice == TSave_Conflict::MERGE && f.take_theirs) ||
                          (choice == TSave_Conflict::KEEP_MINE && !f.mine_changed);
      if (theirs) Set_Area(row, c, rec.theirs.text[static_cast<size_t>(c)], rec.theirs.present[static_cast<size_t>(c)] != 0);
    }
  }

  // The rows written, as the table holds them now (other clerks' columns, versions, defaults).
  void Read_Back() {
    const int nc = static_cast<int>(t_->Columns().size());
    for (int r = 0; r < d_->Get_Row_Count(); r++) {
      if (t_->Row_State(d_, r) == TRow_Track::ROW_UNCHANGED) continue;
      TSql_Params p;
      std::u16string where;
      bool keyed = true;
      for (int k : t_->Key_Columns()) {
        const int f = t_->Field_Of(d_, k);
        where += (where.empty() ? u" where " : u" and ") + Ident(t_->Columns()[static_cast<size_t>(k)]) + u" = ?";
        keyed = keyed && d_->Row_Value_Present(r, f) && *d_->Get_Row_Value(r, f);
        p.push_back(Table_Param(d_->Get_Row_Value(r, f)));
      }
      if (!keyed) continue;  // a key the table made: the row cannot be found again here
      if (w_.Select((u"select " + Column_List() + u" from " + Ident(t_->Table()) + where).c_str(), p) != 0 ||
          w_.Get_Row_Count() != 1)
        continue;
      for (int c = 0; c < nc; c++)
        Set_Area(r, c, w_.Data()->Get_Row_Value(0, c), w_.Data()->Row_Value_Present(0, c) != 0);
    }
  }

  TSQLCA* area_;
  DBDataMgr* d_;
  TRow_Track* t_;
  const TSave_Options& opt_;
  TSave_Result* res_;
  TSQLCA w_;
  int file_db_ = 0;
  std::u16string message_;
  std::vector<Conflict_Rec> conflicts_;
  std::vector<std::pair<int, Row_Values>> added_;  // Keep_Added
  int conflicts_seen_ = 0;
  int took_theirs_ = 0;
};

}  // namespace

int Sql_Save_Changes(TSQLCA* area, const TSave_Options* options, TSave_Result* result) {
  if (!area) return SAVE_NOT_TRACKED;
  TSave_Options dflt;
  TSave_Result local;
  Saver s(area, options ? *options : dflt, result ? result : &local);
  return s.Run();
}
