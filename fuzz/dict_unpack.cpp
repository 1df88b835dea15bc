// Fuzz target: arbitrary bytes read as a parameter pack and applied to a dictionary as a transfer
// pack (Unpack_Dict) and, on a second dictionary, as a change set (Unpack_Part). A refused pack must
// leave its dictionary exactly as it was; an accepted one must leave every entry findable by code.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/data/para.h"
#include "core/data/sqlca.h"
#include "dict/dict.h"
#include "frame/log_mgr.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void Setup_Once() {
  static bool done = [] {
    Log_Mgr()->Set_File("/dev/null");
    Sqlca_Set_Para_Hooks();
    // Transfer files of file_mode 1 go to a directory of this process.
    std::string h = "/tmp/zem-fuzz-dict-unpack-" + std::to_string(getpid());
    std::filesystem::create_directories(h);
    std::u16string w = std::filesystem::path(h).u16string();
    Pub_Para_Put_WStr(u"app_home_path", w.c_str());
    return true;
  }();
  (void)done;
}

// A dictionary holding two entries at stamp 5.
void Make_Before(TDict* d) {
  d->Set_Dict_Id("fz");
  d->Set_Field_Count(2);
  d->Set_Field_Name(0, u"code");
  d->Set_Field_Name(1, u"name");
  for (const char16_t* c : {u"k2", u"k1"}) {
    d->Add_Row();
    d->Set_Value(0, c);
    d->Set_Value(1, u"before");
  }
  d->Build_Index();
  d->Set_Time_Stamp(5);
  d->Set_Local_Version(5);
  d->Set_Loaded(1);
}

struct Snapshot {
  std::vector<std::u16string> cells;
  int fields, ts, ver, loaded;
  std::string sql;
  bool has_ext;
};

Snapshot Take(TDict* d) {
  Snapshot s{{}, d->Get_Field_Count(), d->Time_Stamp(), d->Local_Version(), d->Is_Loaded(), d->Sqlcmd(),
             d->Ext_Dict() != nullptr};
  for (int r = 0; r < d->Get_Row_Count(); ++r)
    for (int f = 0; f < d->Get_Field_Count(); ++f) s.cells.push_back(d->Get_Row_Value(r, f));
  return s;
}

bool Same(const Snapshot& a, const Snapshot& b) {
  return a.cells == b.cells && a.fields == b.fields && a.ts == b.ts && a.ver == b.ver && a.loaded == b.loaded &&
         a.sql == b.sql && a.has_ext == b.has_ext;
}

void Check_Findable(TDict* d) {
  for (int r = 0; r < d->Get_Row_Count(); ++r) {
    std::u16string code = d->Get_Row_Value(r, 0);
    Check(d->Seek_Code(0, code.c_str()) == 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Setup_Once();
  TParaMgr pack;
  if (!pack.Unpack_Para(data, size)) return 0;

  TDict whole;
  Make_Before(&whole);
  Snapshot before = Take(&whole);
  if (whole.Unpack_Dict(&pack)) {
    Check_Findable(&whole);
    if (TDict* ext = whole.Ext_Dict()) Check_Findable(ext);
  } else {
    Check(Same(before, Take(&whole)));
  }

  TDict part;
  Make_Before(&part);
  if (part.Unpack_Part(&pack)) {
    Check_Findable(&part);
  } else {
    Check(Same(before, Take(&part)));
  }
  return 0;
}
