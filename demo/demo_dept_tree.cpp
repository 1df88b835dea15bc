// The demo's department tree beside the voucher form.
#include "demo/demo_dept_tree.h"

#include <QGroupBox>
#include <QLayout>
#include <QMainWindow>
#include <QSplitter>

#include "controls/tree/Mtreeview.h"
#include "core/data/sqlca.h"
#include "demo/demo_db.h"
#include "dict/dict_change.h"
#include "toolkit/tk_menu.h"

namespace {

// Two groups over the sample departments, and two sales teams below the sales department.
const char16_t* const kRows[] = {
    u"insert into dept_tree values('G1','管理部门','')",
    u"insert into dept_tree values('G2','业务部门','')",
    u"insert into dept_tree values('01','总经理办公室','G1')",
    u"insert into dept_tree values('02','财务部','G1')",
    u"insert into dept_tree values('06','人力资源部','G1')",
    u"insert into dept_tree values('03','销售部','G2')",
    u"insert into dept_tree values('0301','华东销售组','03')",
    u"insert into dept_tree values('0302','华南销售组','03')",
    u"insert into dept_tree values('04','采购部','G2')",
    u"insert into dept_tree values('05','仓储物流部','G2')",
};

// The tree's dictionary: the nodes of dept_tree, a department named as the "dept" dictionary names it
// (and marked when that stops it), the groups and teams the dictionary does not know by their own names.
const char16_t kTree_Sql[] =
    u"select code, name, parent_code from (select t.code code, case when d.code is null then t.name "
    u"when d.stop_flag = 'Y' then d.name || '（停用）' else d.name end name, t.parent_code parent_code "
    u"from dept_tree t left join app_dict_def d on d.dict_id = 'dept' and d.code = t.code) x";
// What databases made by an older demo hold instead.
const char16_t kOld_Tree_Sql[] = u"select code,name,parent_code from dept_tree";

// The tree follows the "dept" dictionary too: a change of app_dict_def reads its dictionary again.
bool Follow_Dept_Names(TSQLCA& q) {
  return q.Exec(u"update app_dict_sql set sqlcmd = ? where dict_id = 'dept_tree'", {kTree_Sql}) == 0 &&
         Dict_Watch_Table(&q, "app_dict_def", "dept_tree") == 0;
}

}  // namespace

int Demo_Ensure_Dept_Tree(DemoDb* db) {
  TSQLCA q;
  if (db->select(q, QStringLiteral("select sqlcmd from app_dict_sql where dict_id='dept_tree'")) != 0)
    return 0;
  if (q.Get_Row_Count() == 1) {
    // A database of an older demo gets the tree's current dictionary; a server's database is brought up
    // to date by the demo run on it directly.
    if (db->remote() || QString::fromUtf16(q.Get_Row_Value(0, 0)) != QString::fromUtf16(kOld_Tree_Sql)) return 1;
    const bool ok = Follow_Dept_Names(q);
    if (!ok) q.Rollback();
    return ok && q.Commit() == 0;
  }
  // A server's database is made by the demo run on it directly: its client makes no tables.
  if (db->remote()) return 0;
  // The table and its dictionary come together, in one transaction.
  bool ok = q.Exec(
                u"create table dept_tree(code varchar(20) primary key, name varchar(60) not null, "
                u"parent_code varchar(20))") == 0;
  for (const char16_t* sql : kRows) ok = ok && q.Exec(sql) == 0;
  ok = ok && q.Exec(u"insert into app_dict_sql values('dept_tree',?,'','parent_code','','','code','','')", {kTree_Sql}) == 0;
  // The tree follows changes of its table and of the department dictionary by any writer
  // (dict/dict_change.h).
  ok = ok && Dict_Watch_Table(&q, "dept_tree", "dept_tree") == 0 && Dict_Watch_Table(&q, "app_dict_def", "dept_tree") == 0;
  if (!ok) q.Rollback();
  return ok && q.Commit() == 0;
}

MTreeView* Demo_Attach_Dept_Tree(QMainWindow* window, DemoDb* db,
                                 std::function<int(const QString& where)> filter) {
  auto* box = window ? window->findChild<QGroupBox*>(QStringLiteral("voucherBox")) : nullptr;
  if (!box || !box->layout() || !Demo_Ensure_Dept_Tree(db)) return nullptr;
  // The voucher form (the box's child that holds the voucher grid) moves into a splitter, with the tree on
  // its left; whatever else the box holds stays where it is.
  QWidget* page = box->findChild<QWidget*>(QStringLiteral("voucherGrid"));
  while (page && page->parentWidget() != box) page = page->parentWidget();
  if (!page) return nullptr;
  auto* split = new QSplitter(Qt::Horizontal, box);
  box->layout()->replaceWidget(page, split);
  auto* tree = new MTreeView(split);
  tree->setObjectName(QStringLiteral("deptTree"));
  tree->setWindowTitle(QString::fromUtf16(u"部门树"));
  tree->setAccessibleName(tree->windowTitle());
  split->addWidget(tree);
  split->addWidget(page);
  split->setStretchFactor(1, 1);
  split->setSizes({230, 800});

  TTreeNode* all = tree->TN_Add(nullptr, 0, "", u"全部部门");
  tree->TN_Attach_Dict(all, "dept_tree", 1);
  tree->FullExpand();
  auto* menu = new TPopupMenu(tree);
  menu->SetAutoHotkeys(maManual);  // the captions carry their own key texts (Ctrl+K)
  tree->SetPopupMenu(menu);
  tree->TN_Extend_Menu(nullptr, MTreeView::TN_MENU_SWITCH_CODE);
  tree->Add_Km_Menu(nullptr, u"部门树");
  tree->TN_Extend_Menu_Switch_Code(nullptr);  // the user's last choice of showing codes

  const QString title = box->title();
  tree->OnChange = [tree, box, title, filter](TObject*, TTreeNode* node) {
    if (!node || tree->Change_Event_Suppressed()) return;
    // The top node, the whole company, has no code of its own: every voucher, with a department or not.
    const QString codes = *tree->TN_Code(node)
                              ? QString::fromUtf16(map_wchar(tree->TN_Code_Loop(node, 1, 4000)).c_str())
                              : QString();
    filter(codes.isEmpty() ? QString() : QStringLiteral("dept_code in (%1)").arg(codes));
    box->setTitle(QString::fromUtf16(u"%1 — %2").arg(title, node->Text()));
  };
  return tree;
}
