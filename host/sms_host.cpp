// Message templates and the outbox ("tbx_sms_send_by_temp", "tbx_sms_temp_design", "tbx_sms_my_list"):
// templates over a grid's columns kept in a local SQLite file, messages filled per row and queued.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTableWidget>
#include <QVBoxLayout>

#include "controls/grid/Mg.h"
#include "core/data/db_connect.h"
#include "core/data/db_errors.h"
#include "core/data/para.h"
#include "core/data/sqlca.h"
#include "host/grid_menu_host.h"
#include "host/host_ui.h"

namespace {

QString Cap(const char16_t* caption) { return Host_Cap(u"sms", caption); }
const wchar16* W(const QString& s) { return reinterpret_cast<const wchar16*>(s.utf16()); }
QString Q(const wchar16* s) { return s ? QString::fromUtf16(s) : QString(); }
QString Lit(const QString& s) { return u'\'' + QString(s).replace(u'\'', QStringLiteral("''")) + u'\''; }

// One session on the local file, its tables made when missing.
class Sms_Db {
 public:
  bool Open(QString* error) {
    const QString path = Zem_Host_Sms_Db_Path();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
      *error = Cap(u"不能建立文件夹 %1").arg(QFileInfo(path).absolutePath());
      return false;
    }
    TDb_Config cfg;
    cfg.driver = "zem_drv_sqlite";
    cfg.text[0] = path.toStdU16String();
    DBDataMgr result;
    if (!conn_.Set_Config(cfg) || !conn_.Connect(&result)) {
      *error = Cap(u"打不开短信库 %1：%2")
                   .arg(QDir::toNativeSeparators(path),
                        QString::fromStdU16String(Db_User_Message(result.Get_Sqlcode(), result.Get_Sqlmsg(),
                                                                  result.Get_Tag(3), 0)));
      return false;
    }
    q_.Set_Connect(&conn_);
    return Exec(QStringLiteral("create table if not exists tbx_sms_temp(temp_code varchar(40) primary key, "
                               "temp_name varchar(100), phone_col varchar(61), body text, fields text, "
                               "updated char(19))"), error) &&
           Exec(QStringLiteral("create table if not exists tbx_sms_outbox(msg_id integer primary key, "
                               "temp_code varchar(40), phone varchar(40), body text, created char(19), "
                               "status varchar(20))"), error) &&
           Exec(QStringLiteral("commit"), error);
  }
  bool Exec(const QString& sql, QString* error) {
    if (q_.Exec(W(sql)) == 0) return true;
    *error = Q(q_.Get_User_Msg());  // the database's own text is in the log
    q_.Rollback();
    return false;
  }
  TSQLCA& Q_() { return q_; }

 private:
  TDb_Connect conn_;  // declared before the query area, which uses it until it goes
  TSQLCA q_;
};

QString Now() { return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }

// The columns a template can name: "name\tcaption" of every named data column.
QStringList Grid_Fields(TMG* grid) {
  QStringList fields;
  for (int c = 1; grid && c < grid->ColCount(); ++c) {
    const QString name = TMG::Wide(grid->GetColName(c));
    if (!name.isEmpty()) fields << name + u'\t' + Host_Col_Caption(grid, c);
  }
  return fields;
}

const QRegularExpression& Field_Pattern() {
  static const QRegularExpression re(QStringLiteral("\\{([^{}\\r\\n]+)\\}"));
  return re;
}

QString Fill(TMG* grid, int row, const QString& body) {
  QString out;
  qsizetype at = 0;
  for (auto it = Field_Pattern().globalMatch(body); it.hasNext();) {
    const auto m = it.next();
    out += body.mid(at, m.capturedStart() - at);
    int c = 0;
    out += grid->GetColId(TMG::Narrow(m.captured(1).trimmed()).c_str(), &c) ? grid->Cells(c, row).trimmed()
                                                                               : m.captured(0);
    at = m.capturedEnd();
  }
  return out + body.mid(at);
}

QString Phone(const QString& cell) {
  QString p = cell.trimmed();
  static const QRegularExpression ok(QStringLiteral("^\\+?[0-9][0-9 \\-()]{2,}$"));
  if (!ok.match(p).hasMatch()) return QString();
  return p.remove(QRegularExpression(QStringLiteral("[ \\-()]")));
}

}  // namespace

QString Zem_Host_Sms_Db_Path() {
  wchar16 home[1024] = {0};
  QString dir;
  if (Pub_Para_Get_WStr(u"app_home_path", home, 1024) && home[0]) dir = QString::fromUtf16(home);
  if (dir.isEmpty()) dir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
  return QDir(dir).filePath(QStringLiteral("zem_host_sms.db"));
}

bool Zem_Host_Sms_Load(const QString& code, Zem_Sms_Template* temp, bool* found, QString* error) {
  *found = false;
  Sms_Db db;
  if (!db.Open(error) ||
      !db.Exec(QStringLiteral("select temp_code,temp_name,phone_col,body,fields from tbx_sms_temp where temp_code=%1")
                   .arg(Lit(code)), error))
    return false;
  TSQLCA& q = db.Q_();
  *found = q.Get_Row_Count() > 0;
  temp->code = code;
  if (*found) {
    temp->name = Q(q.Get_Row_Value(0, 1));
    temp->phone_col = Q(q.Get_Row_Value(0, 2));
    temp->body = Q(q.Get_Row_Value(0, 3));
    temp->fields = Q(q.Get_Row_Value(0, 4)).split(u'\n', Qt::SkipEmptyParts);
  }
  return true;
}

bool Zem_Host_Sms_Save(const Zem_Sms_Template& t, QString* error) {
  Sms_Db db;
  return db.Open(error) && db.Exec(QStringLiteral("delete from tbx_sms_temp where temp_code=%1").arg(Lit(t.code)), error) &&
         db.Exec(QStringLiteral("insert into tbx_sms_temp(temp_code,temp_name,phone_col,body,fields,updated) "
                                "values(%1,%2,%3,%4,%5,%6)")
                     .arg(Lit(t.code), Lit(t.name), Lit(t.phone_col), Lit(t.body), Lit(t.fields.join(u'\n')), Lit(Now())),
                 error) &&
         db.Exec(QStringLiteral("commit"), error);
}

QStringList Zem_Host_Sms_Unknown_Fields(const Zem_Sms_Template& t, TMG* grid) {
  QStringList known;
  for (const QString& f : grid ? Grid_Fields(grid) : t.fields) known << f.section(u'\t', 0, 0);
  QStringList unknown;
  for (auto it = Field_Pattern().globalMatch(t.body); it.hasNext();) {
    const QString name = it.next().captured(1).trimmed();
    if (!known.contains(name) && !unknown.contains(name)) unknown << name;
  }
  return unknown;
}

QList<Zem_Sms_Message> Zem_Host_Sms_Build(TMG* grid, const Zem_Sms_Template& t, int* skipped) {
  QList<Zem_Sms_Message> out;
  if (skipped) *skipped = 0;
  int phone_col = 0;
  if (!grid || !grid->GetColId(TMG::Narrow(t.phone_col).c_str(), &phone_col)) return out;
  const int first = grid->FixedRows();
  auto has_data = [grid](int r) {
    for (int c = 1; c < grid->ColCount(); ++c)
      if (grid->ColWidths(c) > 0 && !grid->CellView(c, r).trimmed().isEmpty()) return true;
    return false;
  };
  std::vector<int> rows;
  if (grid->Row_Bool_Col()[0])
    for (int r = first; r < grid->RowCount(); ++r)
      if (grid->GetRow_Bool(r)) rows.push_back(r);
  const TGridRect sel = grid->Selection();
  if (rows.empty() && sel.Bottom > sel.Top)
    for (int r = std::max(sel.Top, first); r <= sel.Bottom && r < grid->RowCount(); ++r)
      if (grid->RowHeights(r) > 0) rows.push_back(r);
  if (rows.empty())
    for (int r = first; r < grid->RowCount(); ++r)
      if (grid->RowHeights(r) > 0 && has_data(r)) rows.push_back(r);
  for (int r : rows) {
    const QString phone = Phone(grid->Cells(phone_col, r));
    if (phone.isEmpty()) {
      if (skipped) ++*skipped;
      continue;
    }
    out.append({r, phone, Fill(grid, r, t.body)});
  }
  return out;
}

bool Zem_Host_Sms_Queue(const QString& code, const QList<Zem_Sms_Message>& messages, QString* error) {
  Sms_Db db;
  if (!db.Open(error)) return false;
  const QString now = Now();
  for (const Zem_Sms_Message& m : messages) {
    if (!db.Exec(QStringLiteral("insert into tbx_sms_outbox(temp_code,phone,body,created,status) values(%1,%2,%3,%4,%5)")
                     .arg(Lit(code), Lit(m.phone), Lit(m.text), Lit(now), Lit(QString::fromUtf16(u"待发送"))),
                 error))
      return false;  // Exec rolled the earlier inserts back
  }
  return db.Exec(QStringLiteral("commit"), error);
}

bool Zem_Host_Sms_Outbox(QList<Zem_Sms_Outbox_Row>* rows, QString* error) {
  rows->clear();
  Sms_Db db;
  if (!db.Open(error) ||
      !db.Exec(QStringLiteral("select msg_id,created,temp_code,phone,body,status from tbx_sms_outbox order by msg_id desc"),
               error))
    return false;
  TSQLCA& q = db.Q_();
  for (int r = 0; r < q.Get_Row_Count(); ++r)
    rows->append({Q(q.Get_Row_Value(r, 0)).toInt(), Q(q.Get_Row_Value(r, 1)), Q(q.Get_Row_Value(r, 2)),
                  Q(q.Get_Row_Value(r, 3)), Q(q.Get_Row_Value(r, 4)), Q(q.Get_Row_Value(r, 5))});
  return true;
}

bool Zem_Host_Sms_Delete(const QList<int>& ids, QString* error) {
  if (ids.isEmpty()) return true;
  QStringList list;
  for (int id : ids) list << QString::number(id);
  Sms_Db db;
  return db.Open(error) &&
         db.Exec(QStringLiteral("delete from tbx_sms_outbox where msg_id in (%1)").arg(list.join(u',')), error) &&
         db.Exec(QStringLiteral("commit"), error);
}

int Zem_Host_Sms_Parts(const QString& text) {
  const int n = int(text.size());
  return n == 0 ? 0 : n <= 70 ? 1 : (n + 66) / 67;
}

// ---- The dialogs ---------------------------------------------------------------------------------------

namespace {

QString Title(const Zem_Sms_Template& t) { return t.name.isEmpty() ? t.code : t.name; }

QString Count_Text(const QString& text) {
  return Cap(u"共 %1 字，分 %2 条发送").arg(text.size()).arg(Zem_Host_Sms_Parts(text));
}

// The designer over the grid's columns (or the fields the template remembers). 1 when saved.
int Design(TMG* grid, const QString& code, QWidget* parent) {
  Zem_Sms_Template t;
  bool found = false;
  QString error;
  if (!Zem_Host_Sms_Load(code, &t, &found, &error)) {
    Host_Tell(parent, QMessageBox::Warning, Cap(u"设计短信模板"), error);
    return 0;
  }
  const QStringList fields = grid ? Grid_Fields(grid) : t.fields;
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("zem_host_sms_design"));
  dialog.setLocale(Host_Locale());
  dialog.setWindowTitle(Cap(u"设计短信模板 - %1").arg(code));
  auto* layout = new QVBoxLayout(&dialog);
  auto* form = new QFormLayout;
  auto* name = new QLineEdit(t.name, &dialog);
  name->setObjectName(QStringLiteral("name"));
  form->addRow(Cap(u"模板名称"), name);
  auto* phone = new QComboBox(&dialog);
  phone->setObjectName(QStringLiteral("phone"));
  phone->addItem(QString(), QString());
  auto* list = new QListWidget(&dialog);
  list->setObjectName(QStringLiteral("fields"));
  for (const QString& f : fields) {
    const QString n = f.section(u'\t', 0, 0), c = f.section(u'\t', 1);
    const QString shown = c.isEmpty() || c == n ? n : Cap(u"%1（%2）").arg(c, n);
    phone->addItem(shown, n);
    list->addItem(shown);
    list->item(list->count() - 1)->setData(Qt::UserRole, n);
  }
  phone->setCurrentIndex(std::max(0, phone->findData(t.phone_col)));
  form->addRow(Cap(u"接收号码列"), phone);
  layout->addLayout(form);
  auto* middle = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  left->addWidget(new QLabel(Cap(u"字段（双击插入）"), &dialog));
  left->addWidget(list);
  middle->addLayout(left, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(new QLabel(Cap(u"短信内容"), &dialog));
  auto* body = new QPlainTextEdit(t.body, &dialog);
  body->setObjectName(QStringLiteral("body"));
  right->addWidget(body, 1);
  auto* preview = new QLabel(&dialog);
  preview->setObjectName(QStringLiteral("preview"));
  preview->setWordWrap(true);
  right->addWidget(preview);
  middle->addLayout(right, 2);
  layout->addLayout(middle, 1);
  layout->addWidget(Host_Buttons(&dialog, Cap(u"保存"), Cap(u"取消")));
  QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, [body](QListWidgetItem* item) {
    body->insertPlainText(u'{' + item->data(Qt::UserRole).toString() + u'}');
    body->setFocus();
  });
  auto update = [&] {
    const QString text = body->toPlainText();
    if (grid && grid->Row() >= grid->FixedRows()) {
      const QString filled = Fill(grid, grid->Row(), text);
      preview->setText(Cap(u"预览（第 %1 行）：%2\n%3").arg(grid->Row() - grid->FixedRows() + 1).arg(filled, Count_Text(filled)));
    } else {
      preview->setText(Count_Text(text));
    }
  };
  QObject::connect(body, &QPlainTextEdit::textChanged, &dialog, update);
  update();
  dialog.resize(640, 420);
  for (;;) {
    if (dialog.exec() != QDialog::Accepted) return 0;
    Zem_Sms_Template saved{code, name->text().trimmed(), phone->currentData().toString(), body->toPlainText(), fields};
    QString problem;
    if (saved.body.trimmed().isEmpty()) problem = Cap(u"短信内容是空的。");
    else if (saved.phone_col.isEmpty()) problem = Cap(u"请选择接收号码所在的列。");
    else if (const QStringList unknown = Zem_Host_Sms_Unknown_Fields(saved, grid); !unknown.isEmpty())
      problem = Cap(u"表格中没有这些字段：%1").arg(unknown.join(QStringLiteral("、")));
    else if (!Zem_Host_Sms_Save(saved, &error)) problem = error;
    if (problem.isEmpty()) return 1;
    Host_Tell(&dialog, QMessageBox::Warning, Cap(u"设计短信模板"), problem);
  }
}

}  // namespace

int Zem_Host_Sms_Temp_Design(const char* temp_code) {
  if (!temp_code || !*temp_code) return 0;
  TMG* grid = Host_Focused_Grid();
  return Design(grid, TMG::Wide(temp_code), Host_Parent(grid));
}

int Zem_Host_Sms_Send_By_Temp(TMG* grid, const char* temp_code) {
  if (!grid || !temp_code || !*temp_code) return 0;
  QWidget* parent = Host_Parent(grid);
  const QString code = TMG::Wide(temp_code);
  Zem_Sms_Template t;
  bool found = false;
  QString error;
  if (!Zem_Host_Sms_Load(code, &t, &found, &error)) {
    Host_Tell(parent, QMessageBox::Warning, Cap(u"发送短信"), error);
    return 0;
  }
  if (!found) {
    if (!Host_Ask(parent, Cap(u"发送短信"), Cap(u"短信模板“%1”还没有设计，现在设计吗？").arg(code)) ||
        !Design(grid, code, parent) || !Zem_Host_Sms_Load(code, &t, &found, &error) || !found)
      return 0;
  }
  if (const QStringList unknown = Zem_Host_Sms_Unknown_Fields(t, grid); !unknown.isEmpty()) {
    Host_Tell(parent, QMessageBox::Warning, Cap(u"发送短信"),
              Cap(u"模板“%1”用到的字段表格中没有：%2").arg(Title(t), unknown.join(QStringLiteral("、"))));
    return 0;
  }
  int skipped = 0;
  const QList<Zem_Sms_Message> messages = Zem_Host_Sms_Build(grid, t, &skipped);
  if (messages.isEmpty()) {
    int col = 0;
    const QString where = grid->GetColId(TMG::Narrow(t.phone_col).c_str(), &col) ? Host_Col_Caption(grid, col) : t.phone_col;
    Host_Tell(parent, QMessageBox::Information, Cap(u"发送短信"),
              Cap(u"没有可以发送的短信：所选的行在“%1”列中都没有有效的号码。").arg(where));
    return 0;
  }
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("zem_host_sms_send"));
  dialog.setLocale(Host_Locale());
  dialog.setWindowTitle(Cap(u"发送短信 - %1").arg(Title(t)));
  auto* layout = new QVBoxLayout(&dialog);
  QString summary = Cap(u"将放入待发送 %1 条短信。").arg(messages.size());
  if (skipped) summary += Cap(u"另有 %1 行没有有效的号码，不发送。").arg(skipped);
  auto* label = new QLabel(summary, &dialog);
  label->setObjectName(QStringLiteral("summary"));
  layout->addWidget(label);
  auto* table = new QTableWidget(int(messages.size()), 3, &dialog);
  table->setObjectName(QStringLiteral("messages"));
  table->setHorizontalHeaderLabels({Cap(u"行"), Cap(u"号码"), Cap(u"内容")});
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->verticalHeader()->hide();
  table->horizontalHeader()->setStretchLastSection(true);
  for (int i = 0; i < messages.size(); ++i) {
    table->setItem(i, 0, new QTableWidgetItem(QString::number(messages[i].row - grid->FixedRows() + 1)));
    table->setItem(i, 1, new QTableWidgetItem(messages[i].phone));
    table->setItem(i, 2, new QTableWidgetItem(messages[i].text));
  }
  table->resizeColumnsToContents();
  layout->addWidget(table, 1);
  layout->addWidget(Host_Buttons(&dialog, Cap(u"发送"), Cap(u"取消")));
  dialog.resize(640, 400);
  if (dialog.exec() != QDialog::Accepted) return 0;
  if (!Zem_Host_Sms_Queue(code, messages, &error)) {
    Host_Tell(parent, QMessageBox::Warning, Cap(u"发送短信"), Cap(u"短信没有放入待发送：%1").arg(error));
    return 0;
  }
  return int(messages.size());
}

int Zem_Host_Sms_My_List() {
  QWidget* parent = Host_Parent(Host_Focused_Grid());
  QList<Zem_Sms_Outbox_Row> rows;
  QString error;
  if (!Zem_Host_Sms_Outbox(&rows, &error)) {
    Host_Tell(parent, QMessageBox::Warning, Cap(u"短信发送记录"), error);
    return 0;
  }
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("zem_host_sms_list"));
  dialog.setLocale(Host_Locale());
  dialog.setWindowTitle(Cap(u"短信发送记录"));
  auto* layout = new QVBoxLayout(&dialog);
  auto* summary = new QLabel(&dialog);
  summary->setObjectName(QStringLiteral("summary"));
  layout->addWidget(summary);
  auto* table = new QTableWidget(0, 5, &dialog);
  table->setObjectName(QStringLiteral("outbox"));
  table->setHorizontalHeaderLabels({Cap(u"时间"), Cap(u"模板"), Cap(u"号码"), Cap(u"内容"), Cap(u"状态")});
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->verticalHeader()->hide();
  table->horizontalHeader()->setStretchLastSection(true);
  auto fill = [&] {
    table->setRowCount(int(rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
      const Zem_Sms_Outbox_Row& r = rows[i];
      const QString cells[] = {r.created, r.code, r.phone, r.text, r.status};
      for (int k = 0; k < 5; ++k) table->setItem(i, k, new QTableWidgetItem(cells[k]));
      table->item(i, 0)->setData(Qt::UserRole, r.id);
    }
    table->resizeColumnsToContents();
    int waiting = 0;
    for (const Zem_Sms_Outbox_Row& r : rows) waiting += r.status == QString::fromUtf16(u"待发送");
    summary->setText(rows.isEmpty() ? Cap(u"还没有短信记录。")
                                    : Cap(u"共 %1 条，%2 条待发送（没有接上短信网关时，短信留在这里）。").arg(rows.size()).arg(waiting));
  };
  fill();
  layout->addWidget(table, 1);
  auto* buttons = new QHBoxLayout;
  auto* remove = new QPushButton(Cap(u"删除选中"), &dialog);
  remove->setObjectName(QStringLiteral("delete"));
  auto* close = new QPushButton(Cap(u"关闭"), &dialog);
  close->setObjectName(QStringLiteral("close"));
  buttons->addWidget(remove);
  buttons->addStretch(1);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  QObject::connect(close, &QPushButton::clicked, &dialog, &QDialog::accept);
  QObject::connect(remove, &QPushButton::clicked, &dialog, [&] {
    QList<int> ids;
    for (const QModelIndex& i : table->selectionModel()->selectedRows()) ids << table->item(i.row(), 0)->data(Qt::UserRole).toInt();
    if (ids.isEmpty() || !Host_Ask(&dialog, Cap(u"短信发送记录"), Cap(u"删除选中的 %1 条记录吗？").arg(ids.size()))) return;
    QString why;
    if (!Zem_Host_Sms_Delete(ids, &why) || !Zem_Host_Sms_Outbox(&rows, &why)) {
      Host_Tell(&dialog, QMessageBox::Warning, Cap(u"短信发送记录"), why);
      return;
    }
    fill();
  });
  dialog.resize(720, 420);
  dialog.exec();
  return 1;
}
