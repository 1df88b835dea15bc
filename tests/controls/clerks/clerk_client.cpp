// A clerk's window in a process of its own, for the test of several clerks on one database
// (test_clerks.cpp): the "dept" dictionary in a combo box, in both tree views and in a grid's
// department column, and the vouchers in a tracked query area saved through Save_Changes. It follows
// master-data changes as a host does (Dict_Notify()->Start()) and talks over standard input and
// output; its answers start with "@ " (the framework's console lines go to standard output too):
//   (start)                    -> "@ ready"
//   "load"                     -> "@ ok <rows>": the vouchers read again and tracked, the grid filled
//   "set <no> <field> <value>" -> "@ ok" (value "-" for NULL)
//   "save <answer>"            -> "@ saved" or "@ code <n> <message>"; a conflict is answered keep,
//                                 theirs, merge or cancel, or with none by nobody
//   "wait <what> <code> <text>" -> "@ ok" once the control shows the code's name as text ("-": the code
//                                 is not shown), "@ timeout <shown>" after 60 s; what is combo, tree,
//                                 ext (the dictionary tree view), grid, or stop (1/0: the dictionary
//                                 this process holds stops the code)
//   "quit" or the end of input ends it.
// Usage: zem_clerk_client DRIVER CONNECTION_TEXT
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "controls/combo/Combobox_ext.h"
#include "controls/grid/Mg.h"
#include "controls/tree/Mtreeview.h"
#include "controls/tree/Treeview_ext.h"
#include "core/data/db_connect.h"
#include "core/data/para.h"
#include "core/data/save_changes.h"
#include "core/data/sqlca.h"
#include "dict/dict_mgr.h"
#include "dict/dict_notify.h"

namespace {

void Say(const std::string& s) {
  std::printf("@ %s\n", s.c_str());
  std::fflush(stdout);
}

std::u16string W(const std::string& s) { return QString::fromUtf8(s.c_str()).toStdU16String(); }

struct Clerk {
  TComboBox_Ext* combo = nullptr;
  MTreeView* tree = nullptr;
  TTreeView_Ext* ext = nullptr;
  TMG* grid = nullptr;
  TSQLCA area;

  void Build(QWidget* w) {
    combo = new TComboBox_Ext(w);
    combo->Attach_Dict("dept", 0);
    tree = new MTreeView(w);
    tree->TN_Attach_Dict(tree->TN_Add(nullptr, 0, "", u"全部"), "dept", 1);
    ext = new TTreeView_Ext(w);
    ext->Attach_Dict("dept");
    grid = new TMG(w);
    grid->Def_Col(1, u"凭证号", "voucher_no", 'S', 90, 0x02);
    grid->Def_Col(2, u"部门", "dept_code", 'S', 140, 0);
    grid->SetColPickDict(2, "dept");
    grid->Def_Col(3, u"金额", "amount", 'F', 100, 0);
  }

  int Load() {
    if (area.Select(u"select * from vouchers order by voucher_no") != 0) return -1;
    area.Track_Changes(u"vouchers", u"voucher_no");
    grid->SetRowCount(grid->FixedRows() + std::max(1, area.Get_Row_Count()));
    for (int r = 0; r < area.Get_Row_Count(); r++)
      for (const char* f : {"voucher_no", "dept_code", "amount"}) {
        int col = 0;
        grid->GetColId(f, &col);
        grid->SetW(col, grid->FixedRows() + r, area.Get_Row_Value(r, area.Find_Field(map_wchar(f))));
      }
    return area.Get_Row_Count();
  }

  // The name the control shows for the code; "-" when it does not show the code.
  std::string Shown(const std::string& what, const std::string& code) {
    if (what == "combo") {  // the visible item of the code's record
      const int i = combo->Find_Code(W(code).c_str());
      return i < 0 || i >= combo->Items()->Count() ? "-" : combo->Items()->Strings(i).toStdString();
    }
    if (what == "tree") {
      TTreeNode* n = tree->TN_Get(1, code.c_str());
      return n ? n->Text().toStdString() : "-";
    }
    if (what == "ext") {
      for (TTreeNode* n = ext->Items()->GetFirstNode(); n; n = n->GetNext())
        if (n->Data() && code == static_cast<const char*>(n->Data())) return n->Text().toStdString();
      return "-";
    }
    if (what == "grid") {
      int col = 0;
      grid->GetColId("dept_code", &col);
      for (int r = grid->FixedRows(); r < grid->RowCount(); r++) {
        const QString cell = grid->Cells(col, r);
        if (cell.section(u' ', 0, 0).toStdString() == code) return cell.section(u' ', 1).toStdString();
      }
      return "-";
    }
    if (what == "stop") {
      TDict* d = Dict_Client_List()->Get_Dict("dept", 0);  // as held: the change was read by the watch
      if (!d) return "-";
      auto g = d->Lock();
      return d->Seek_Code(0, map_wchar(code.c_str())) ? std::to_string(d->Is_Stop()) : "-";
    }
    return "?";
  }

  // The first n words of line and the rest (blanks around the rest dropped).
  static std::vector<std::string> Words(const std::string& line, size_t n) {
    std::vector<std::string> out;
    size_t at = 0;
    while (out.size() < n) {
      while (at < line.size() && line[at] == ' ') at++;
      if (at >= line.size()) break;
      size_t end = out.size() + 1 == n ? line.size() : line.find(' ', at);
      if (end == std::string::npos) end = line.size();
      out.push_back(line.substr(at, end - at));
      at = end;
    }
    while (!out.empty() && !out.back().empty() && out.back().back() == ' ') out.back().pop_back();
    return out;
  }

  void Command(const std::string& line, const std::function<void()>& quit) {
    const std::vector<std::string> w = Words(line, 4);
    const std::string cmd = w.empty() ? "" : w[0];
    if (cmd == "load") {
      Say("ok " + std::to_string(Load()));
    } else if (cmd == "set" && w.size() == 4) {
      const int r = area.Find_Key(W(w[1]).c_str());
      if (r < 0) return Say("missing " + w[1]);
      area.Go_To_Row(r);
      const int f = area.Find_Field(W(w[2]).c_str());
      if (w[3] == "-") area.Data()->Set_Null(f);
      else area.Set_Value(f, W(w[3]).c_str());
      Say("ok");
    } else if (cmd == "save" && w.size() == 2) {
      const std::string answer = w[1];
      TSave_Options o;
      if (answer != "none")
        o.on_conflict = [answer](TSave_Conflict*) {
          return answer == "keep"     ? TSave_Conflict::KEEP_MINE
                 : answer == "theirs" ? TSave_Conflict::TAKE_THEIRS
                 : answer == "merge"  ? TSave_Conflict::MERGE
                                      : TSave_Conflict::CANCEL;
        };
      const int code = area.Save_Changes(&o);
      if (code == 0) Say("saved");
      else Say("code " + std::to_string(code) + " " + QString::fromUtf16(area.Get_Error_Msg()).toStdString());
    } else if (cmd == "wait" && w.size() == 4) {
      const std::string what = w[1], code = w[2], text = w[3];
      auto timer = std::make_shared<QElapsedTimer>();
      timer->start();
      auto poll = std::make_shared<QTimer>();
      QObject::connect(poll.get(), &QTimer::timeout, [this, poll, timer, what, code, text] {
        const std::string now = Shown(what, code);
        if (now == text) {
          poll->stop();
          Say("ok");
        } else if (timer->elapsed() > 60000) {
          poll->stop();
          Say("timeout " + now);
        }
      });
      busy_ = poll;
      poll->start(10);
    } else {
      quit();
    }
  }
  std::shared_ptr<QTimer> busy_;  // the wait in progress
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zem_clerk_client DRIVER CONNECTION_TEXT\n");
    return 2;
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  TDb_Config cfg;
  cfg.driver = argv[1];
  cfg.text[0] = W(argv[2]);
  if (!Db_Connect_Mgr()->Add_Config(cfg)) return 3;
  Pub_Para_Put_Int(u"dict_change_poll_ms", 200);
  if (!Dict_Notify()->Start()) return 4;
  QWidget window;
  Clerk clerk;
  clerk.Build(&window);
  window.show();
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  std::string buffer;
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char b[1024];
    const ssize_t n = read(STDIN_FILENO, b, sizeof b);
    if (n <= 0) {
      app.quit();
      return;
    }
    buffer.append(b, static_cast<size_t>(n));
    for (size_t nl; (nl = buffer.find('\n')) != std::string::npos;) {
      const std::string line = buffer.substr(0, nl);
      buffer.erase(0, nl + 1);
      clerk.Command(line, [&] { app.quit(); });
    }
  });
  Say("ready");
  const int rc = app.exec();
  Dict_Notify()->Stop();
  return rc;
}
