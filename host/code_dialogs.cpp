// The host's default code-choice functions.
#include "host/code_dialogs.h"

#include <QApplication>
#include <cstring>
#include <string>

#include "core/data/sqlca.h"
#include "core/text/map_str.h"
#include "core/text/wfunc.h"
#include "dict/dict_mgr.h"
#include "frame/pub_ptr.h"
#include "host/code_choose_dialog.h"
#include "host/code_search.h"
#include "util/lang_map.h"

namespace {

QString Q(const wchar16* w) { return w ? QString::fromUtf16(w) : QString(); }
QString From_Narrow(const char* s) { return Q(map_wchar(s).c_str()); }

int Copy_Code(const QString& code, char* code_buffer) {
  const map_char narrow(map_wchar(code).c_str());
  Str_Copy_Limit(code_buffer, 99, narrow.c_str());
  return 1;
}

QString Title(const char16_t* caption, const char* dict_id) {
  QString t = QString::fromUtf16(Lang_Cap(map_wchar(u"host"), caption));
  if (dict_id && *dict_id) t += QStringLiteral(" - ") + From_Narrow(dict_id);
  return t;
}

// The first code of a "," list.
QString First_Code(const char* list) {
  const QString all = From_Narrow(list);
  return all.section(u',', 0, 0).trimmed();
}

// Runs the single-choice dialog; the chosen code into the buffer.
int Choose_One(std::shared_ptr<CodeSearch> search, const QString& title, const QString& current,
               const QString& text, char* code_buffer) {
  CodeChooseDialog dialog(CodeChooseDialog::Single, std::move(search), title, QApplication::activeWindow());
  if (!text.isEmpty()) dialog.setSearchText(text);
  if (!current.isEmpty()) dialog.setCurrentCode(current);
  if (dialog.exec() != QDialog::Accepted || dialog.chosenCode().isEmpty()) return 0;
  return Copy_Code(dialog.chosenCode(), code_buffer);
}

}  // namespace

std::shared_ptr<CodeSearch> Zem_Host_Dict_Search(const char* dict_id) {
  TDict* dict = dict_id && *dict_id ? Dict_Client_List()->Get_Dict(dict_id, 1) : nullptr;
  if (!dict) return nullptr;
  std::vector<CodeSearch::Entry> entries;
  {
    auto guard = dict->Lock();
    DBDataMgr* d = dict->Data();
    const int stop_field = d->Find_Field(u"stop_flag");
    const bool has_name = d->Get_Field_Count() > 1;
    entries.reserve(static_cast<size_t>(d->Get_Row_Count()));
    for (int r = 0; r < d->Get_Row_Count(); ++r) {
      const wchar16* code = d->Get_Row_Value(r, 0);
      if (W_Is_Empty(code) || W_Chr(code, u',')) continue;
      if (stop_field >= 0 && std::u16string_view(d->Get_Row_Value(r, stop_field)) == u"Y") continue;
      d->Go_To_Row(r);
      if (dict->Is_Stop()) continue;
      entries.push_back({Q(code), has_name ? Q(d->Get_Row_Value(r, 1)) : QString()});
    }
  }
  auto search = std::make_shared<CodeSearch>();
  search->setEntries(std::move(entries));
  return search;
}

std::shared_ptr<CodeSearch> Zem_Host_Area_Search(TSQLCA* area) {
  if (!area) return nullptr;
  DBDataMgr* d = area->Data();
  std::vector<CodeSearch::Entry> entries;
  const bool has_name = d->Get_Field_Count() > 1;
  for (int r = 0; r < d->Get_Row_Count(); ++r)
    entries.push_back({Q(d->Get_Row_Value(r, 0)), has_name ? Q(d->Get_Row_Value(r, 1)) : QString()});
  auto search = std::make_shared<CodeSearch>();
  search->setEntries(std::move(entries));
  return search;
}

int Zem_Host_Code_Select(const char* dict_id, char* code_buffer) {
  if (!code_buffer) return 0;
  auto search = Zem_Host_Dict_Search(dict_id);
  if (!search) return 0;
  return Choose_One(search, Title(u"选择", dict_id), First_Code(code_buffer), QString(), code_buffer);
}

int Zem_Host_Dbio_Select(TSQLCA* items, char* code_buffer, int /*flag*/) {
  if (!code_buffer) return 0;
  auto search = Zem_Host_Area_Search(items);
  if (!search) return 0;
  return Choose_One(search, Title(u"选择", nullptr), First_Code(code_buffer), QString(), code_buffer);
}

int Zem_Host_Code_Multi_Select(const char* dict_id, TSQLCA* codes) {
  if (!codes) return 0;
  auto search = Zem_Host_Dict_Search(dict_id);
  if (!search) return 0;
  QStringList chosen;
  for (int r = 0; r < codes->Get_Row_Count(); ++r) chosen << Q(codes->Get_Row_Value(r, 0));
  CodeChooseDialog dialog(CodeChooseDialog::Multi, search, Title(u"多项选择", dict_id),
                          QApplication::activeWindow());
  dialog.setChosenCodes(chosen);
  if (dialog.exec() != QDialog::Accepted) return 0;
  // The area keeps its fields; a fresh one gets the code field.
  codes->Clear_Data();
  if (codes->Get_Field_Count() < 1) {
    codes->Set_Field_Count(1);
    codes->Set_Field_Name(0, u"code");
  }
  for (const QString& c : dialog.chosenCodes()) {
    codes->Add_Row();
    codes->Set_Value(0, map_wchar(c).c_str());
  }
  return 1;
}

int Zem_Host_Code_Key_Search(const char* dict_id, const char16_t* text, char* code_buffer) {
  if (!code_buffer) return 0;
  auto search = Zem_Host_Dict_Search(dict_id);
  if (!search || search->size() == 0) return 0;
  const QString typed = Q(text).trimmed();
  int hit = search->findCode(typed);
  for (int i = 0; hit < 0 && i < search->size(); ++i)
    if (search->entry(i).name == typed) hit = i;
  if (hit < 0 && !typed.isEmpty()) {
    const std::vector<int>& found = search->filter(typed);
    if (found.size() == 1) hit = found[0];
  }
  if (hit >= 0) return Copy_Code(search->entry(hit).code, code_buffer);
  return Choose_One(search, Title(u"查找", dict_id), QString(), typed, code_buffer);
}

int Zem_Host_Register_Code_Dialogs() {
  Pdu_Code_Select_Fn select = Zem_Host_Code_Select;
  Pdu_Code_Multi_Select_Fn multi = Zem_Host_Code_Multi_Select;
  Pdu_Dbio_Select_Fn dbio = Zem_Host_Dbio_Select;
  Pdu_Code_Key_Search_Fn search = Zem_Host_Code_Key_Search;
  return Zem_Reg_Shared_Ptr(kPdu_Code_Select, reinterpret_cast<void*>(select)) +
         Zem_Reg_Shared_Ptr(kPdu_Code_Multi_Select, reinterpret_cast<void*>(multi)) +
         Zem_Reg_Shared_Ptr(kPdu_Dbio_Select, reinterpret_cast<void*>(dbio)) +
         Zem_Reg_Shared_Ptr(kPdu_Code_Key_Search, reinterpret_cast<void*>(search));
}
