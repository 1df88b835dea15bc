// plain_qt_app: data_app with Qt alone, to set beside it (docs/GUIDE.md, "A first data app"): a QTableView
// over a QSqlRelationalTableModel, a QComboBox, a QDateEdit and a label of the total.
// Usage: plain_qt_app [--check]; --check changes an amount, saves and prints the result.
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRelationalDelegate>
#include <QSqlRelationalTableModel>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QTemporaryDir home;
  QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE");
  db.setDatabaseName(home.filePath("plain_qt_app.db"));
  if (!db.open()) return 1;
  QSqlQuery q(db);
  for (const char* sql :
       {"create table dept(code varchar(10) primary key, name varchar(40))",
        "insert into dept values('01', '财务部'), ('02', '采购部'), ('03', '仓储部')",
        "create table goods(code varchar(10) primary key, name varchar(40), dept_code varchar(10), qty integer, "
        "amount numeric(12,2), since date)",
        "insert into goods values('G01', '冷轧钢板', '02', 12, 67200, '2024-01-08'), ('G02', '电子元件', '02', 340, 4250, "
        "'2024-03-15'), ('G03', '包装纸箱', '03', 1500, 1800, '2024-05-20'), ('G04', '办公用品', '01', 25, 2200, '2024-06-01')"})
    q.exec(sql);

  QWidget window;
  auto* dept = new QComboBox;
  dept->addItem("", "");  // every department
  q.exec("select code, name from dept order by code");
  while (q.next()) dept->addItem(q.value(1).toString(), q.value(0));
  auto* since = new QDateEdit(QDate(2024, 12, 31));
  auto* save = new QPushButton("保存");
  auto* view = new QTableView;
  auto* total = new QLabel;
  auto* layout = new QGridLayout(&window);
  layout->addWidget(dept, 0, 0);
  layout->addWidget(since, 0, 1);
  layout->addWidget(save, 0, 2);
  layout->addWidget(view, 1, 0, 1, 3);
  layout->addWidget(total, 2, 0, 1, 3);

  auto* model = new QSqlRelationalTableModel(view, db);
  model->setTable("goods");
  model->setEditStrategy(QSqlTableModel::OnManualSubmit);
  model->setRelation(2, QSqlRelation("dept", "code", "name"));
  const char* titles[] = {"代码", "名称", "部门", "数量", "金额", "启用日期"};
  for (int c = 0; c < 6; c++) model->setHeaderData(c, Qt::Horizontal, QString::fromUtf8(titles[c]));
  view->setModel(model);
  view->setItemDelegate(new QSqlRelationalDelegate(view));

  auto sum = [&] {
    double t = 0;
    for (int r = 0; r < model->rowCount(); r++) t += model->index(r, 4).data().toDouble();
    total->setText(QString("合计 %1").arg(t, 0, 'f', 2));
  };
  auto load = [&] {
    QString filter = QString("goods.since <= '%1'").arg(since->date().toString(Qt::ISODate));
    if (!dept->currentData().toString().isEmpty())
      filter += QString(" and goods.dept_code = '%1'").arg(dept->currentData().toString());
    model->setFilter(filter);
    model->select();
    sum();
  };
  QObject::connect(dept, &QComboBox::currentIndexChanged, load);
  QObject::connect(since, &QDateEdit::dateChanged, load);
  QObject::connect(model, &QAbstractItemModel::dataChanged, sum);
  QObject::connect(save, &QPushButton::clicked, [&] {  // as data_app: a failed save keeps the clerk's work
    if (model->submitAll()) load();
    else QMessageBox::warning(&window, "plain_qt_app", model->lastError().text());
  });
  load();
  window.resize(640, 360);
  window.show();
  if (!app.arguments().contains("--check")) return app.exec();

  model->setData(model->index(1, 4), 5100);  // G02's amount, as a clerk types it and saves
  save->click();
  q.exec("select amount from goods where code = 'G02'");
  q.next();
  std::printf("saved: G02 amount %s, %s\n", qPrintable(q.value(0).toString()), qPrintable(total->text()));
  return 0;
}
