// The package in one include: every public class and function of zem_pack, for an application that
// links ZemPack::zem_pack (and ZemPack::zem_host for the host module's part: Zem_Pack_Start, the default
// dialogs, the form loader).
//
//   #include <zem_pack/zem_pack.h>
//
// docs/reference/SYMBOLS.md lists every name with the header it comes from; the headers may also be
// included one by one ("controls/grid/Mg.h").
#pragma once

// Start-up and shutdown: Zem_Pack_Start (host), Initialize / Finalize, Init_Tfa.
#include "frame/startup/zem_pack.h"
#include "frame/zem_units.h"
#include "host/zem_start.h"

// The eight controls, and the toolkit classes they derive from.
#include "controls/combo/Combobox_ext.h"
#include "controls/common/dict_watch.h"
#include "controls/grid/Mg.h"
#include "controls/inputs/Mdate.h"
#include "controls/inputs/Mgs.h"
#include "controls/inputs/Mpickdate.h"
#include "controls/inputs/Mstatusbar.h"
#include "controls/tree/Mtreeview.h"
#include "controls/tree/Treeview_ext.h"
#include "toolkit/tk_image.h"
#include "toolkit/tk_menu.h"

// Text, parameters, data sets, query areas, sessions, saving.
#include "core/data/db_connect.h"
#include "core/data/dbdata.h"
#include "core/data/key_set.h"
#include "core/data/name_call.h"
#include "core/data/para.h"
#include "core/data/row_track.h"
#include "core/data/save_changes.h"
#include "core/data/sql_param.h"
#include "core/data/sqlca.h"
#include "core/text/map_str.h"
#include "core/text/separate_str.h"

// Remote calls, in-process or to the application server.
#include "link/r_call.h"
#include "link/server_module.h"

// Code dictionaries.
#include "dict/dict.h"
#include "dict/dict_change.h"
#include "dict/dict_mgr.h"
#include "dict/dict_notify.h"
#include "dict/dict_serv.h"
#include "dict/tree_dict.h"

// The registry, host functions, the log, captions.
#include "frame/host_funcs.h"
#include "frame/log_mgr.h"
#include "frame/pub_ptr.h"
#include "frame/singleton.h"
#include "util/disp_text.h"
#include "util/lang_map.h"

// The host module: default host functions (and those a replacement hands the rest to), and the form
// loader where Qt's UI tools are on the include path (ZemPack::zem_host brings them).
#include "host/code_dialogs.h"
#include "host/wait_box.h"
#include "host/zem_host.h"
#if __has_include(<QUiLoader>)
#include "host/zem_ui_loader.h"
#endif
