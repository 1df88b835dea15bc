#include "demo/demo_inputs.h"

#include <QApplication>
#include <QBoxLayout>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QToolButton>

#include "controls/common/dict_watch.h"
#include "controls/inputs/Mdate.h"
#include "controls/inputs/Mgs.h"
#include "controls/inputs/Mpickdate.h"
#include "controls/inputs/Mstatusbar.h"
#include "core/data/sqlca.h"
#include "demo/demo_db.h"
#include "demo/demo_window.h"
#include "dict/dict_mgr.h"
#include "dict/dict_net.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"
#include "host/zem_ui_loader.h"

namespace {

void Note(QMainWindow* window, const QString& text) {
  Demo_Status_Note(window->findChild<MStatusBar*>(QStringLiteral("statusBar")), text);
}

// What a code field chooses from: its table's codes and names, the dictionary of the search dialog,
// the word the status bar uses, and whether an unknown code may be added.
struct CodeSource {
  const char* list_sql;  // code and name, in order
  const char* dict_id;
  const char16_t* what;  // e.g. u"部门"
  bool addable;
  const char* list_name;  // the drop-down's object name
};

// A code field and its drop-down.
class CodeChooser : public QObject {
 public:
  // owner holds chosen_hook and owns the chooser.
  CodeChooser(QObject* owner, QMainWindow* window, DemoDb* db, const CodeSource& source, QLineEdit* code,
              QToolButton* drop, QLabel* name, std::function<void(const QString&)>* chosen_hook)
      : QObject(owner), window_(window), db_(db), source_(source), code_(code), name_(name), hook_(chosen_hook) {
    mgs_ = new TMGS(window->centralWidget());
    mgs_->setObjectName(QString::fromLatin1(source.list_name));
    mgs_->setAccessibleName(QString::fromUtf16(source.what) + QString::fromUtf16(u"列表"));
    mgs_->Code_Edit()->setAccessibleName(QString::fromUtf16(source.what) + QString::fromUtf16(u"编码"));
    mgs_->List()->setAccessibleName(QString::fromUtf16(source.what));
    mgs_->SetOptions(source.addable ? TMGS::goSearch | TMGS::goAdd | TMGS::goRefresh : TMGS::goSearch | TMGS::goRefresh);
    mgs_->resize(300, 200);
    mgs_->Hide();
    mgs_->OnFunc_Result = [this](TObject*, const char* c) { chosen(QString::fromLatin1(c)); };
    if (source.addable) mgs_->OnFunc_Add = [this](TObject*) { addCode(); };
    mgs_->OnFunc_Refresh = [this](TObject*) { fill(); };
    mgs_->OnFunc_Search = [this](TObject*) { search(); };
    mgs_->Loaded();
    fill();
    // The list follows its dictionary: a department added, renamed or stopped by anyone shows here.
    Zem_Dict_Watch(this, [this](const std::string& id) {
      if (id.empty() || id == source_.dict_id) fill();
    });
    drop->setFocusPolicy(Qt::NoFocus);  // Tab goes from field to field
    connect(drop, &QToolButton::clicked, this, [this] { open(); });
    code_->installEventFilter(this);
    mgs_->installEventFilter(this);
  }
  TMGS* list() const { return mgs_; }

 protected:
  // Down or F4 opens the drop-down; Enter checks the typed code as the owner of a search edit does.
  // However the drop-down closes (a choice, Escape, a refusal), the typing goes on in the code field.
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == mgs_ && e->type() == QEvent::Hide) {
      QWidget* focus = QApplication::focusWidget();
      if (focus && mgs_->isAncestorOf(focus)) code_->setFocus();
      return false;
    }
    if (watched != code_ || e->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(e)->key();
    if (key == Qt::Key_Down || key == Qt::Key_F4) {
      open();
      return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      const QString typed = code_->text().trimmed();
      mgs_->Set_Code(typed.toLatin1().constData());
      name_->clear();  // an accepted or added code writes it again
      if (typed.isEmpty()) return true;
      if (nameOf(typed).isNull()) {
        // Only a code of the table is taken; the typing stays for the clerk to mend. Where a new code
        // may be added, the search edit's own question follows, and the status bar names the code it
        // is about.
        note(QString::fromUtf16(u"没有这个%1编码：").arg(QString::fromUtf16(source_.what)) + typed);
        if (!source_.addable) {
          code_->selectAll();
          return true;
        }
      }
      mgs_->Check_Return();
      return true;
    }
    return false;
  }

 private:
  void fill() {
    TSQLCA q;
    if (db_->select(q, QString::fromLatin1(source_.list_sql)) == 0) mgs_->Fill_List(&q, 2);
  }
  // The name of a code in the list; a null text when the list lacks it.
  QString nameOf(const QString& c) const {
    for (int i = 0; i < mgs_->List()->Count(); i++)
      if (QString::fromStdString(TMGS::Code_Of(mgs_->List()->Items()->Strings(i))) == c)
        return mgs_->List()->Items()->Strings(i).section(QStringLiteral("  "), 1, 1);
    return QString();
  }
  void open() {
    QWidget* host = window_->centralWidget();
    const QPoint at = code_->mapTo(host, QPoint(0, 0));
    mgs_->Set_EditWidth(code_->width());
    mgs_->move(at);
    mgs_->Show();
    mgs_->raise();
    mgs_->Set_Code(code_->text().toLatin1().constData());
    mgs_->Code_Edit()->setFocus();
    mgs_->Code_Edit()->selectAll();
  }
  void chosen(const QString& c) {
    code_->setText(c);
    name_->setText(nameOf(c));
    note(QString::fromUtf16(source_.what) + QStringLiteral("：") + c + QLatin1Char(' ') + name_->text());
    code_->setFocus();
    if (hook_ && *hook_) (*hook_)(c);
  }
  // Yes to the question: the code is added with a name asked for (departments only).
  void addCode() {
    auto ask = reinterpret_cast<Gui_Inp_Str_W_Fn>(Zem_Get_Shared_Ptr(kGui_Inp_Str_W));
    const QString c = QString::fromStdString(mgs_->Typed_Code());
    char16_t name[61] = u"";
    if (c.isEmpty() || !ask || !ask(u"新部门名称", name, 60, u"增加部门") || !name[0]) return;
    TSQLCA q;
    QString n = QString::fromUtf16(name), code = c;
    n.replace(QLatin1Char('\''), QStringLiteral("''"));
    code.replace(QLatin1Char('\''), QStringLiteral("''"));
    // The department table fills this list; the "dept" code dictionary, which the code dialogs and the
    // grid's department column read, gets the department too and is read again at once.
    const QStringList sqls = {
        QStringLiteral("insert into departments(dept_code,dept_name) values('%1','%2')").arg(code, n),
        QStringLiteral("insert into app_dict_def(dict_id,code,name,order_id) select 'dept','%1','%2',"
                       "coalesce(max(order_id),0)+1 from app_dict_def where dict_id='dept'")
            .arg(code, n)};
    if (db_->transact(q, sqls) != 0) {
      note(QString::fromUtf16(u"增加部门失败：") + db_->error());
      return;
    }
    // The dictionary has the department at once: from the database, or through the server, which reads
    // its database again and tells its other clients.
    if (auto* net = dynamic_cast<TDict_Net*>(Dict_Client_List()->Get_Dict("dept", 1)))
      net->Serv_Refresh();
    else
      Dict_Client_List()->Refresh_Dict("dept");
    fill();
    chosen(c);
  }
  void search() {
    auto select = reinterpret_cast<Pdu_Code_Select_Fn>(Zem_Get_Shared_Ptr(kPdu_Code_Select));
    char c[100] = "";
    if (select && select(source_.dict_id, c)) {
      mgs_->Hide();
      chosen(QString::fromLatin1(c));
    }
  }
  void note(const QString& text) { Note(window_, text); }

  QMainWindow* window_;
  DemoDb* db_;
  CodeSource source_;
  QLineEdit* code_;
  QLabel* name_;
  std::function<void(const QString&)>* hook_;  // the owner's
  TMGS* mgs_;  // a child of the central widget, floating over the form
};

// Enter in any part of the voucher date ends it.
class DateDone : public QObject {
 public:
  // owner holds the hook and owns this filter.
  DateDone(QObject* owner, TMDate* date, std::function<void()>* hook) : QObject(owner), hook_(hook) {
    for (QWidget* f : {static_cast<QWidget*>(date->Year_Field()), static_cast<QWidget*>(date->Month_Field()),
                       static_cast<QWidget*>(date->Day_Field())})
      f->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(e)->key();
    if ((key != Qt::Key_Return && key != Qt::Key_Enter) || !*hook_) return false;
    (*hook_)();
    return true;
  }

 private:
  std::function<void()>* hook_;
};

}  // namespace


DemoInputs* Demo_Add_Inputs(QMainWindow* window, DemoDb* db) {
  auto* box = window ? window->findChild<QWidget*>(QStringLiteral("voucherBox")) : nullptr;
  auto* layout = box ? qobject_cast<QBoxLayout*>(box->layout()) : nullptr;
  QFile form(QStringLiteral(":/demo/inputs_form.ui"));
  if (!layout || !form.open(QIODevice::ReadOnly)) return nullptr;
  ZemUiLoader loader;
  QWidget* strip = loader.load(&form, box);
  auto* in = new DemoInputs(window);
  if (strip) {
    in->date = strip->findChild<TMDate*>(QStringLiteral("voucherDate"));
    in->month = strip->findChild<TMDate*>(QStringLiteral("periodMonth"));
    in->made = strip->findChild<MPickDate*>(QStringLiteral("makeDate"));
    in->supCode = strip->findChild<QLineEdit*>(QStringLiteral("supCode"));
    in->supName = strip->findChild<QLabel*>(QStringLiteral("supName"));
    in->deptCode = strip->findChild<QLineEdit*>(QStringLiteral("deptCode"));
    in->deptName = strip->findChild<QLabel*>(QStringLiteral("deptName"));
  }
  auto* supDrop = strip ? strip->findChild<QToolButton*>(QStringLiteral("supDrop")) : nullptr;
  auto* deptDrop = strip ? strip->findChild<QToolButton*>(QStringLiteral("deptDrop")) : nullptr;
  if (!in->date || !in->month || !in->made || !in->supCode || !in->supName || !in->deptCode || !in->deptName ||
      !supDrop || !deptDrop) {
    delete strip;
    delete in;
    return nullptr;
  }
  strip->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);  // one line; the grid takes the rest
  layout->insertWidget(0, strip);
  in->date->Set_Date(Today().toString(QStringLiteral("yyyyMMdd")).toLatin1().constData());
  in->month->Set_Month(Today().toString(QStringLiteral("yyyyMM")).toLatin1().constData());
  in->made->Set_Date(nullptr);
  auto show = [window](const char16_t* what, const char* value) {
    Note(window, QString::fromUtf16(what) + (*value ? QString::fromLatin1(value) : QString::fromUtf16(u"（空）")));
  };
  TMDate* date = in->date;
  TMDate* month = in->month;
  MPickDate* made = in->made;
  date->OnChange = [date, show](TObject*) {
    char v[16];
    date->Get_Date(v);
    show(u"凭证日期：", v);
  };
  month->OnChange = [month, show](TObject*) {
    char v[16];
    month->Get_Month(v);
    show(u"会计期间：", v);
  };
  made->OnChange = [made, show](TObject*) {
    char v[16];
    made->Get_Date(v);
    show(u"制单日期：", v);
  };
  new DateDone(in, date, &in->onDateDone);
  const CodeSource suppliers{"select sup_code,sup_name from suppliers order by sup_code", "sup", u"供应商", false,
                             "supChooser"};
  // The departments a voucher may take: the "dept" dictionary's, less the stopped ones and groups.
  const CodeSource departments{"select code,name from app_dict_def where dict_id = 'dept' and "
                               "coalesce(stop_flag, 'N') <> 'Y' and coalesce(is_group, 'N') <> 'Y' order by order_id, code",
                               "dept", u"部门", true, "deptChooser"};
  in->supList = (new CodeChooser(in, window, db, suppliers, in->supCode, supDrop, in->supName, &in->onSupplier))->list();
  in->deptList =
      (new CodeChooser(in, window, db, departments, in->deptCode, deptDrop, in->deptName, &in->onDept))->list();
  return in;
}
