#include "demo/demo_inputs.h"

#include <QApplication>
#include <QBoxLayout>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QToolButton>

#include "controls/inputs/Mdate.h"
#include "controls/inputs/Mgs.h"
#include "controls/inputs/Mpickdate.h"
#include "controls/inputs/Mstatusbar.h"
#include "core/data/sqlca.h"
#include "demo/demo_db.h"
#include "dict/dict_mgr.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"
#include "host/zem_ui_loader.h"

namespace {

// The department field and its drop-down.
class DeptChooser : public QObject {
 public:
  DeptChooser(QMainWindow* window, DemoDb* db, QLineEdit* code, QToolButton* drop, QLabel* name)
      : QObject(window), window_(window), db_(db), code_(code), name_(name) {
    mgs_ = new TMGS(window->centralWidget());
    mgs_->setObjectName(QStringLiteral("deptChooser"));
    mgs_->SetOptions(TMGS::goSearch | TMGS::goAdd | TMGS::goRefresh);
    mgs_->resize(300, 200);
    mgs_->Hide();
    mgs_->OnFunc_Result = [this](TObject*, const char* c) { chosen(QString::fromLatin1(c)); };
    mgs_->OnFunc_Add = [this](TObject*) { addDept(); };
    mgs_->OnFunc_Refresh = [this](TObject*) { fill(); };
    mgs_->OnFunc_Search = [this](TObject*) { search(); };
    mgs_->Loaded();
    fill();
    connect(drop, &QToolButton::clicked, this, [this] { open(); });
    code_->installEventFilter(this);
    mgs_->installEventFilter(this);
  }

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
      mgs_->Set_Code(code_->text().toLatin1().constData());
      name_->clear();  // an accepted or added code writes it again
      if (!code_->text().isEmpty()) mgs_->Check_Return();
      return true;
    }
    return false;
  }

 private:
  void fill() {
    TSQLCA q;
    if (db_->select(q, QStringLiteral("select dept_code,dept_name from departments order by dept_code")) == 0)
      mgs_->Fill_List(&q, 2);
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
    for (int i = 0; i < mgs_->List()->Count(); i++)
      if (QString::fromStdString(TMGS::Code_Of(mgs_->List()->Items()->Strings(i))) == c)
        name_->setText(mgs_->List()->Items()->Strings(i).section(QStringLiteral("  "), 1, 1));
    note(QString::fromUtf16(u"部门：") + c + QLatin1Char(' ') + name_->text());
    code_->setFocus();
  }
  // Yes to the question: the department is added under the typed code with a name asked for.
  void addDept() {
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
    const QString sqls[] = {
        QStringLiteral("insert into departments(dept_code,dept_name) values('%1','%2')").arg(code, n),
        QStringLiteral("insert into app_dict_def(dict_id,code,name,order_id) select 'dept','%1','%2',"
                       "coalesce(max(order_id),0)+1 from app_dict_def where dict_id='dept'")
            .arg(code, n)};
    for (const QString& sql : sqls)
      if (q.Exec(reinterpret_cast<const wchar16*>(sql.utf16())) != 0) {
        const QString why = QString::fromUtf16(q.Get_Error_Msg());
        q.Rollback();
        note(QString::fromUtf16(u"增加部门失败：") + why);
        return;
      }
    if (q.Commit() != 0) {
      note(QString::fromUtf16(u"增加部门失败：") + QString::fromUtf16(q.Get_Error_Msg()));
      return;
    }
    Dict_Client_List()->Refresh_Dict("dept");
    fill();
    chosen(c);
  }
  void search() {
    auto select = reinterpret_cast<Pdu_Code_Select_Fn>(Zem_Get_Shared_Ptr(kPdu_Code_Select));
    char c[100] = "";
    if (select && select("dept", c)) {
      mgs_->Hide();
      chosen(QString::fromLatin1(c));
    }
  }
  void note(const QString& text) {
    auto* bar = window_->findChild<MStatusBar*>(QStringLiteral("statusBar"));
    if (bar && bar->Panels()->Count() > 1) bar->Panels()->Items(1)->SetText(text);
  }

  QMainWindow* window_;
  DemoDb* db_;
  QLineEdit* code_;
  QLabel* name_;
  TMGS* mgs_;  // a child of the central widget, floating over the form
};

void Note(QMainWindow* window, const QString& text) {
  auto* bar = window->findChild<MStatusBar*>(QStringLiteral("statusBar"));
  if (bar && bar->Panels()->Count() > 1) bar->Panels()->Items(1)->SetText(text);
}

}  // namespace

bool Demo_Add_Inputs(QMainWindow* window, DemoDb* db) {
  auto* box = window ? window->findChild<QWidget*>(QStringLiteral("voucherBox")) : nullptr;
  auto* layout = box ? qobject_cast<QBoxLayout*>(box->layout()) : nullptr;
  QFile form(QStringLiteral(":/demo/inputs_form.ui"));
  if (!layout || !form.open(QIODevice::ReadOnly)) return false;
  ZemUiLoader loader;
  QWidget* strip = loader.load(&form, box);
  auto* date = strip ? strip->findChild<TMDate*>(QStringLiteral("voucherDate")) : nullptr;
  auto* month = strip ? strip->findChild<TMDate*>(QStringLiteral("periodMonth")) : nullptr;
  auto* made = strip ? strip->findChild<MPickDate*>(QStringLiteral("makeDate")) : nullptr;
  auto* code = strip ? strip->findChild<QLineEdit*>(QStringLiteral("deptCode")) : nullptr;
  auto* drop = strip ? strip->findChild<QToolButton*>(QStringLiteral("deptDrop")) : nullptr;
  auto* name = strip ? strip->findChild<QLabel*>(QStringLiteral("deptName")) : nullptr;
  if (!date || !month || !made || !code || !drop || !name) {
    delete strip;
    return false;
  }
  strip->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);  // one line; the grid takes the rest
  layout->insertWidget(0, strip);
  date->Set_Date(Today().toString(QStringLiteral("yyyyMMdd")).toLatin1().constData());
  month->Set_Month(Today().toString(QStringLiteral("yyyyMM")).toLatin1().constData());
  made->Set_Date(nullptr);
  auto show = [window](const char16_t* what, const char* value) {
    Note(window, QString::fromUtf16(what) + (*value ? QString::fromLatin1(value) : QString::fromUtf16(u"（空）")));
  };
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
  new DeptChooser(window, db, code, drop, name);
  return true;
}
