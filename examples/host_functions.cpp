// host_functions: the host functions of docs/GUIDE.md. The host module's defaults, the names an
// application provides itself, a default replaced by the application's own function (which hands other
// dictionaries on to the default), and a host function called from the application's own code.
//
// Usage: host_functions
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "controls/combo/Combobox_ext.h"
#include "core/data/db_connect.h"
#include "core/data/sqlca.h"
#include "dict/dict.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"
#include "frame/singleton.h"
#include "frame/startup/zem_pack.h"
#include "frame/zem_units.h"
#include "host/code_dialogs.h"
#include "host/wait_box.h"
#include "host/zem_host.h"

namespace {

// The application's own code choice. For its suppliers it has a choice of its own (here it takes S002
// without asking; a real one shows the application's dialog); other dictionaries get the default dialog.
int My_Code_Select(const char* dict_id, char* code_buffer) {
  if (std::strcmp(dict_id, "sup") != 0) return Zem_Host_Code_Select(dict_id, code_buffer);
  std::printf("pdu_code_select: dictionary %s, current code \"%s\"\n", dict_id, code_buffer);
  std::strcpy(code_buffer, "S002");  // the buffer holds 100 bytes
  return 1;                          // chosen
}

// Told when a code of the dictionaries "emp", "eba", "res" or "sup" is chosen in a combo box.
int My_Board(const char* dict_id, const char* code) {
  std::printf("board_obj_handle: %s %s\n", dict_id, code);
  return 1;
}

bool Make_Database(const QString& file) {
  TDb_Config cfg;
  cfg.text[0] = file.toStdU16String();
  TSQLCA q;
  if (!Db_Connect_Mgr()->Add_Config(cfg) || Dict_Create_Def_Tables(&q) != 0) return false;
  for (const char16_t* sql : {u"insert into app_dict_def(dict_id,code,name) values('sup','S001','华东钢材有限公司')",
                              u"insert into app_dict_def(dict_id,code,name) values('sup','S002','南方电子元件厂')"})
    if (q.Exec(sql) != 0) return false;
  return q.Commit() == 0;
}

}  // namespace

// The wait box as this application wants it: the box only after two seconds of waiting, the rest (the
// window painting meanwhile, 取消, Escape) the default's.
int My_Wait_Box(Zem_Wait* w, int op) {
  w->show_after_ms = 2000;
  return Zem_Host_Wait_Box(w, op);
}

int main(int argc, char** argv) {
  setenv("TARVOK_DLL_PATH", ZEM_DLL_DIR, 0);
  QApplication app(argc, argv);
  Initialize();
  Init_Tfa();

  // The defaults first: a later registration under the same name replaces an earlier one.
  std::printf("%d defaults registered\n", Zem_Host_Register_Defaults());
  int count = 0;
  const char* const* names = Zem_Host_Func_Names(&count);
  for (int i = 0; i < count; i++)
    if (!Zem_Get_Shared_Ptr(names[i])) std::printf("no default: %s\n", names[i]);

  // Then the application's own, before any control first calls them (each call site keeps the
  // address it found first). The typed variables make a mismatched signature a compile error.
  Pdu_Code_Select_Fn select = My_Code_Select;
  Board_Obj_Handle_Fn board = My_Board;
  Zem_Reg_Shared_Ptr(kPdu_Code_Select, reinterpret_cast<void*>(select));
  Zem_Reg_Shared_Ptr(kBoard_Obj_Handle, reinterpret_cast<void*>(board));
  Gui_Wait_Box_Fn wait = My_Wait_Box;
  Zem_Reg_Shared_Ptr(kGui_Wait_Box, reinterpret_cast<void*>(wait));

  QTemporaryDir home;
  if (!home.isValid() || !Make_Database(QDir(home.path()).filePath(QStringLiteral("app.db")))) return 1;
  {
    TComboBox_Ext box;
    box.Search_Attach("sup", 0);
    box.Pop_Choose();  // what a double click on the box does
    std::printf("box: code %s, text %s\n", box.Get_Code(), box.currentText().toUtf8().constData());
  }

  // A host function called from the application's own code, the way the controls call them.
  static Gui_Get_Memory_Usage_Fn memory = nullptr;
  if (auto f = Zem_Host_Func(kGui_Get_Memory_Usage, memory))
    std::printf("gui_get_memory_usage: %s\n", f() > 0 ? "a figure" : "nothing");
  Finalize();
  return 0;
}
