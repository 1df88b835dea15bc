// The number of a new voucher: "V", the year of its date and the next value of the sequence
// "voucher_no" in at least three digits, taken in the save's own transaction (TSave_Options::
// before_insert). The demo uses it when it saves on its database, its server module when it saves for
// a demo on the application server, so both number alike.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/data/sqlca.h"
#include "core/text/code_page.h"

inline int Demo_Number_Voucher(TSQLCA* q, TSQLCA* rows, int r) {
  rows->Go_To_Row(r);
  const int key = rows->Find_Field(u"voucher_no");
  if (*rows->Get_Value(key)) return 0;  // a voucher another clerk deleted, saved again: its own number
  if (q->Exec(u"update app_sequence set seq_val = seq_val + 1 where seq_name = ?", {u"voucher_no"}) != 0)
    return q->Get_Sqlcode();
  if (q->Select(u"select seq_val from app_sequence where seq_name = ?", {u"voucher_no"}) != 0) return q->Get_Sqlcode();
  if (q->Get_Row_Count() != 1) {
    q->Set_Error(-1, u"no sequence voucher_no in app_sequence");
    return -1;
  }
  char digits[24];
  std::snprintf(digits, sizeof digits, "%03d", std::atoi(Zem_W_To_Utf8(q->Get_Row_Value(0, 0)).c_str()));
  const std::u16string no = u"V" + std::u16string(rows->Get_Value(u"voucher_date")).substr(0, 4) + Zem_Utf8_To_W(digits);
  rows->Set_Value(key, no.c_str());
  return 0;
}
