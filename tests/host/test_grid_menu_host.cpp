// The host functions behind the grid's popup menu, as a user meets them: the files they write (the
// workbook unzipped and its sheet read), what an import leaves in the grid, schemes, full screen,
// fitted widths and the message outbox in its SQLite file, the dialogs answered as a user would.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QXmlStreamReader>
#include <cstring>
#include <map>

#include "controls/grid/Mg.h"
#include "controls/support.h"
#include "host/grid_menu_host.h"
#include "host/host_ui.h"
#include "host/zem_host.h"

namespace {

using zt::Answer;
using zt::Click;
using zt::U;

QString Path(const char* name) { return zt::Home().filePath(QString::fromUtf8(name)); }
QString Write_File(const char* name, const QByteArray& bytes) {
  QFile f(Path(name));
  return f.open(QIODevice::WriteOnly), f.write(bytes), Path(name);
}

// Types the file's path into a file dialog and accepts it, as a user would.
void Choose(QWidget* d, const char* name) {
  d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(Path(name));
  static_cast<QDialog*>(d)->accept();
}

// The voucher grid: two header rows with units, every kind of column, a hidden row, a hidden column and
// an empty last row.
struct Voucher {
  QApplication* app = zt::App();
  TMG g;
  Voucher() {
    g.SetColCount(9), g.SetRowCount(6), g.SetFixedRows(2);
    g.SetADEF({U(u"凭证号,$no"), U(u"日期,$day"), U(u"摘要,$summary"), U(u"金额,$amount,money"),
               U(u"数量,$qty,int"), U(u"审核,$ok,bool"), U(u"备注,$note"), U(u"电话,$phone")});
    g.GetColDef(2)->type = 'D';
    g.SetBDEF({QStringLiteral("unit,1,0,2,0,") + U(u"凭证"), QStringLiteral("unit,3,0,5,0,") + U(u"内容"),
               QStringLiteral("unit,6,0,8,0,") + U(u"其他")});
    for (int c = 1; c < 9; ++c) g.SetCells(c, 1, g.Cells(c, 0));
    const QStringList rows[] = {
        {"V001", "20240105", U(u"采购, \"冷轧\"钢板"), "125600.50", "12", "1", "secret", "13800000001"},
        {"V002", "20240106", U(u"隐藏的行"), "1.00", "1", "1", "", "13800000002"},
        {"V003", "", "line1\nline2", "-5.00", "12345678901234567890", "0", "", ""}};
    for (int r = 0; r < 3; ++r)
      for (int c = 1; c < 9; ++c) g.SetCells(c, 2 + r, rows[r][c - 1]);
    g.SetRowHeights(3, 0), g.Hide_Col(7);
  }
};

// Every cell of the data rows, "a|b;c|d", to see that an import changed all or nothing.
QString Dump(TMG& g) {
  QStringList rows;
  for (int r = g.FixedRows(); r < g.RowCount(); ++r) {
    QStringList cells;
    for (int c = 1; c < g.ColCount(); ++c) cells << g.Cells(c, r);
    rows << cells.join(u'|');
  }
  return rows.join(u';');
}

QByteArray Unzip(const QString& file, const char* member) {
  QProcess p;
  p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), file, QString::fromLatin1(member)});
  return p.waitForFinished(), p.readAllStandardOutput();
}

// A workbook's first sheet as its cells: reference -> {type attribute, value (shared strings resolved),
// number format}, and its merged ranges.
struct Sheet {
  struct Cell { QString t, v, fmt; };
  std::map<QString, Cell> cells;
  QStringList merged;
  explicit Sheet(const QString& file) {
    QStringList strings, xf_fmt;
    std::map<QString, QString> fmt_code{{QStringLiteral("0"), QStringLiteral("General")}, {QStringLiteral("1"), QStringLiteral("0")}};
    for (QXmlStreamReader x(Unzip(file, "xl/sharedStrings.xml")); !x.atEnd();)
      if (x.readNext() == QXmlStreamReader::StartElement && x.name() == QLatin1String("t")) strings << x.readElementText();
    bool in_xfs = false;
    for (QXmlStreamReader x(Unzip(file, "xl/styles.xml")); !x.atEnd();) {
      x.readNext();
      if (x.isStartElement() && x.name() == QLatin1String("numFmt"))
        fmt_code[x.attributes().value("numFmtId").toString()] = x.attributes().value("formatCode").toString();
      if (x.name() == QLatin1String("cellXfs")) in_xfs = x.isStartElement();
      if (in_xfs && x.isStartElement() && x.name() == QLatin1String("xf"))
        xf_fmt << fmt_code[x.attributes().value("numFmtId").toString()];
    }
    QString ref;
    for (QXmlStreamReader x(Unzip(file, "xl/worksheets/sheet1.xml")); !x.atEnd();) {
      if (x.readNext() != QXmlStreamReader::StartElement) continue;
      if (x.name() == QLatin1String("mergeCell")) merged << x.attributes().value("ref").toString();
      if (x.name() == QLatin1String("c")) {
        ref = x.attributes().value("r").toString();
        const int s = x.attributes().value("s").toInt();
        cells[ref] = {x.attributes().value("t").toString(), QString(), s < xf_fmt.size() ? xf_fmt[s] : QString()};
      }
      if (x.name() == QLatin1String("v")) {
        Cell& c = cells[ref];
        c.v = x.readElementText(), c.v = c.t == QLatin1String("s") ? strings.value(c.v.toInt()) : c.v;
      }
    }
  }
};

}  // namespace

TEST(GridFiles, WorkbookCellsAsASpreadsheetReadsThem) {
  Voucher v;
  const QString file = Path("voucher.xlsx");
  QString error;
  ASSERT_TRUE(Zem_Host_Write_Grid(&v.g, file, ZEM_GRID_XLSX, &error)) << error.toStdString();
  const Sheet sheet(file);
  const struct { const char* what, *ref, *t; QString v; const char* fmt; } rows[] = {  // t: "s" text, "" number, "b" boolean
      {"unit caption", "A1", "s", U(u"凭证"), "General"},
      {"unit over a hidden column ends at the shown one", "F1", "s", U(u"其他"), "General"},
      {"caption row", "G2", "s", U(u"电话"), "General"}, {"text", "C3", "s", U(u"采购, \"冷轧\"钢板"), "General"},
      {"date column as a date", "B3", "", "45296", "yyyy-mm-dd"},
      {"money as a number with two decimals", "D3", "", "125600.5", "#,##0.00"},
      {"integer column", "E3", "", "12", "0"}, {"check box as a boolean", "F3", "b", "1", "General"},
      {"digits in a text column stay text", "G3", "s", "13800000001", "General"},
      {"the hidden row is left out", "A4", "s", "V003", "General"}, {"a negative amount", "D4", "", "-5", "#,##0.00"},
      {"more digits than a double keeps stay text", "E4", "s", "12345678901234567890", "General"},
      {"an unchecked box", "F4", "b", "0", "General"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    ASSERT_TRUE(sheet.cells.count(QString::fromLatin1(r.ref))) << r.ref;
    const Sheet::Cell& c = sheet.cells.at(QString::fromLatin1(r.ref));
    EXPECT_EQ(c.t.toStdString(), r.t);
    EXPECT_EQ(c.v, r.v);
    if (r.t[0] != 's') {
      EXPECT_EQ(c.fmt.toStdString(), r.fmt);
    }
  }
  EXPECT_EQ(sheet.merged, QStringList({"A1:B1", "C1:E1", "F1:G1"}));
  EXPECT_FALSE(sheet.cells.count(QStringLiteral("A5"))) << "the empty last row is left out";
  EXPECT_FALSE(sheet.cells.count(QStringLiteral("H3"))) << "the hidden column is left out";
}

TEST(GridFiles, CsvTextAndFailedWrites) {
  Voucher v;
  const QString file = Path("voucher.csv");
  QString error;
  ASSERT_TRUE(Zem_Host_Write_Grid(&v.g, file, ZEM_GRID_CSV, &error));
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(f.readAll()),
            U(u"\uFEFF凭证,,内容,,,其他,\r\n凭证号,日期,摘要,金额,数量,审核,电话\r\n"
              u"V001,20240105,\"采购, \"\"冷轧\"\"钢板\",125600.50,12,1,13800000001\r\n"
              u"V003,,\"line1\nline2\",-5.00,12345678901234567890,0,\r\n"));
  for (Zem_Grid_File_Kind kind : {ZEM_GRID_XLSX, ZEM_GRID_CSV, ZEM_GRID_DAT}) {
    error.clear();
    EXPECT_FALSE(Zem_Host_Write_Grid(&v.g, Path("missing/folder/out.file"), kind, &error)) << kind;
    EXPECT_FALSE(error.isEmpty()) << kind;
  }
}

TEST(GridFiles, ImportMatchesColumnsByNameOrRefusesWhole) {
  Voucher v;
  const QString dat = Path("voucher.dat"), csv = Path("voucher_import.csv");
  ASSERT_TRUE(Zem_Host_Write_Grid(&v.g, dat, ZEM_GRID_DAT, nullptr));
  ASSERT_TRUE(Zem_Host_Write_Grid(&v.g, csv, ZEM_GRID_CSV, nullptr));
  QFile in(dat);
  ASSERT_TRUE(in.open(QIODevice::ReadOnly));
  const QByteArray packed = in.readAll();
  const QString old = QStringLiteral("1|2.00|old|3|0|x");
  // after: the data rows afterwards (empty: refused, the grid as it was).
  const struct { const char* what; QString file; int mode; QString after; const char16_t* error; } rows[] = {
      {"data set replaces, by name in other columns", dat, 1,
       QStringLiteral("13800000001|125600.50|V001|12|1|;|-5.00|V003|12345678901234567890|0|"), nullptr},
      {"CSV of a grid appends, by caption under its units", csv, 2,
       old + QStringLiteral(";13800000001|125600.50|V001|12|1|;|-5.00|V003|12345678901234567890|0|"), nullptr},
      {"typed CSV: separators, currency, yes", Write_File("typed.csv", QString::fromUtf16(u"凭证号;金额;审核\r\nX1;\"1,234.5\";是\r\nX2;¥7;\r\n").toUtf8()), 1,
       QStringLiteral("|1234.50|X1||1|;|7.00|X2|||"), nullptr},
      {"GBK CSV", Write_File("gbk.csv", QByteArray("no,other\r\nA,\xD6\xD0\r\n")), 1, QStringLiteral("||A|||中"), nullptr},
      {"not a data file", Write_File("picture.dat", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)), 1, QString(), u"不是数据文件"},
      {"a cut data set", Write_File("cut.dat", packed.left(packed.size() / 2)), 1, QString(), u"不是数据文件"},
      {"no column of the grid", Write_File("other.csv", "a,b\r\n1,2\r\n"), 1, QString(), u"没有与表格列同名"},
      {"text in a number column", Write_File("bad.csv", QString::fromUtf16(u"凭证号,金额\r\nX1,12\r\nX2,abc\r\n").toUtf8()), 1,
       QString(), u"第 3 行“金额”列的值“abc”"},
      {"a word in a check-box column", Write_File("bad2.csv", QString::fromUtf16(u"审核\r\n也许\r\n").toUtf8()), 1,
       QString(), u"应为 1 或 0"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    TMG g;
    g.SetColCount(7), g.SetRowCount(2);
    g.SetADEF({U(u"电话,$phone"), U(u"金额,$amount,money"), U(u"凭证号,$no"), U(u"数量,$qty,int"),
               U(u"审核,$ok,bool"), U(u"其他,$other")});
    const QStringList first = old.split(u'|');
    for (int c = 1; c < 7; ++c) g.SetCells(c, 1, first[c - 1]);
    Zem_Grid_Import done;
    QString error;
    const bool ok = Zem_Host_Import_Grid_File(&g, r.file, r.mode, &done, &error);
    EXPECT_EQ(ok, !r.after.isEmpty()) << error.toStdString();
    EXPECT_EQ(Dump(g), r.after.isEmpty() ? old : r.after);
    if (r.error) {
      EXPECT_TRUE(error.contains(U(r.error))) << error.toStdString();
    }
  }
}

// What a grid with two header rows, a dictionary column and row check marks saved comes back whole when
// imported, the marks still marks; a file may name a dictionary entry by its name, not by an unknown one.
TEST(GridFiles, ImportTakesBackWhatTheGridSaved) {
  zt::App();
  TDict* dept = Dict_Client_List()->Get_Dict("imp_dept", 1);
  dept->Set_Field_Count(2), dept->Add_Code(u"01", u"总经理办公室"), dept->Add_Code(u"02", u"财务部");
  auto grid = [](TMG& g, int rows) {
    g.SetColCount(6), g.SetRowCount(rows), g.SetFixedRows(2);
    g.SetADEF({U(u"凭证号,$no"), U(u"部门,$dept"), U(u"摘要,$summary"), U(u"金额,$amount,money"), U(u"选,$mark")});
    g.SetColEditStyle(2, 3), std::strcpy(g.GetColDef(2)->dict, "imp_dept");
    g.SetBDEF({QStringLiteral("unit,1,0,2,0,") + U(u"凭证"), QStringLiteral("unit,3,0,3,1,") + U(u"摘要"),
               QStringLiteral("unit,4,0,4,1,") + U(u"金额"), QStringLiteral("unit,5,0,5,1,") + U(u"选")});
    g.SetCells(1, 1, U(u"凭证号")), g.SetCells(2, 1, U(u"部门")), g.Row_Bool_Bind("mark", nullptr);
  };
  TMG saved;
  grid(saved, 4);
  for (int r : {2, 3}) saved.SetCells(1, r, QStringLiteral("V%1").arg(r)), saved.SetW(2, r, r == 2 ? u"02" : u"01");
  saved.SetRow_Bool(3, true);
  ASSERT_TRUE(Zem_Host_Write_Grid(&saved, Path("marks.csv"), ZEM_GRID_CSV, nullptr));
  ASSERT_TRUE(Zem_Host_Write_Grid(&saved, Path("marks.dat"), ZEM_GRID_DAT, nullptr));
  // after: the data rows (empty: refused with the error).
  const struct { const char* what; QString file, after; const char16_t* error; } rows[] = {
      {"CSV: both header lines name the columns", Path("marks.csv"), Dump(saved), nullptr},
      {"data set", Path("marks.dat"), Dump(saved), nullptr},
      {"a department by its name", Write_File("by_name.csv", U(u"部门,选\r\n财务部,是\r\n").toUtf8()), U(u"|02 财务部|||T"), nullptr},
      {"a name the dictionary lacks", Write_File("no_name.csv", U(u"部门\r\n销售部\r\n").toUtf8()), QString(),
       u"第 2 行“部门”列的值“销售部”不合这一列：字典中没有这个代码或名称。"},
  };
  for (const auto& r : rows) {
    TMG g;
    grid(g, 3);
    QString error;
    EXPECT_EQ(Zem_Host_Import_Grid_File(&g, r.file, 1, nullptr, &error), !r.error) << r.what;
    EXPECT_EQ(Dump(g), r.error ? QStringLiteral("||||") : r.after) << r.what;
    EXPECT_TRUE(r.error ? error.contains(U(r.error)) : g.GetRow_Bool(g.RowCount() - 1)) << r.what;
  }
  Dict_Client_List()->Clear();
}

TEST(GridFiles, DialogsChooseTheFileAndSayWhatWentWrong) {
  Voucher v;
  Host_Use_Chinese_Qt_Texts(), QFile::remove(Path("chosen.xlsx"));
  Answer([](QWidget* d) {
    auto* fd = qobject_cast<QFileDialog*>(d);
    EXPECT_EQ(fd->nameFilters().first(), U(u"Excel 工作簿 (*.xlsx)"));
    EXPECT_EQ(fd->labelText(QFileDialog::Accept), U(u"保存"));
    Choose(fd, "chosen.xlsx");
  });
  EXPECT_EQ(Zem_Host_Save_Mg(&v.g), 1);
  EXPECT_EQ(Sheet(Path("chosen.xlsx")).cells.at(QStringLiteral("A3")).v, QStringLiteral("V001"));

  const QString before = Dump(v.g);
  QString told;
  Answer([&](QWidget* d) {
    Answer([&](QWidget* box) {
      told = qobject_cast<QMessageBox*>(box)->text();
      Click(box, "ok");
    }, "zem_host_message");
    auto* fd = qobject_cast<QFileDialog*>(d);
    Choose(fd, "chosen.xlsx");  // a workbook is not a data file
  });
  EXPECT_EQ(Zem_Host_Mg_Import_From_Dat(&v.g), 0);
  EXPECT_TRUE(told.contains(U(u"表格保持原样"))) << told.toStdString();
  EXPECT_EQ(Dump(v.g), before);
}

TEST(GridSchemes, SavedLayoutsComeBackThroughTheMenuFunctions) {
  Voucher v;
  TMG& g = v.g;
  const QString key = QStringLiteral("voucherForm/voucherGrid");
  auto layout = [&g] {
    const Zem_Grid_Scheme s = Zem_Host_Grid_Capture_Scheme(&g);
    QStringList out{QString::number(s.locked)};
    for (const Zem_Grid_Scheme_Col& c : s.cols) out << QStringLiteral("%1:%2%3").arg(c.name).arg(c.width).arg(c.hidden ? "h" : "");
    return out.join(u' ');
  };
  g.Show_Col(3, 150);
  const QString saved = layout();
  Zem_Grid_Scheme s = Zem_Host_Grid_Capture_Scheme(&g);
  s.name = U(u"宽摘要");
  const QString id = Zem_Host_Grid_Save_Scheme(key, s);

  g.MoveColumn(3, 1), g.Hide_Col(2), g.Show_Col(7, 55), g.Show_Col(4, 200), g.SetFixedCols(3);
  ASSERT_NE(layout(), saved);
  EXPECT_EQ(Zem_Host_Grid_Save_Scheme(key, s), id) << "the same name replaces";

  TSQLCA list;
  EXPECT_EQ(Zem_Host_Fmtgrid_Load_List(TMG::Narrow(key).c_str(), &list), 2);
  EXPECT_EQ(QString::fromUtf16(list.Get_Row_Value(0, 1)), U(u"宽摘要"));
  EXPECT_EQ(QString::fromUtf16(list.Get_Row_Value(1, 0)), QString::fromLatin1(kZem_Grid_Scheme_Manage));

  Grid_Fmt_Desc desc{};
  std::snprintf(desc.key, sizeof desc.key, "%s", TMG::Narrow(key).c_str());
  std::snprintf(desc.cur_id, sizeof desc.cur_id, "%s", TMG::Narrow(QString::fromUtf16(list.Get_Row_Value(0, 0))).c_str());
  EXPECT_EQ(Zem_Host_Fmtgrid_F2g_Handle(&desc, &g, 0), 1);
  EXPECT_EQ(layout(), saved);
  EXPECT_EQ(TMG::Wide(g.GetColName(3)), QStringLiteral("summary")) << "the column's record moved with it";

  Voucher fresh;  // a scheme's locked columns unlock from the grid's menu, back to the grid's own
  s.locked = 4, Zem_Host_Grid_Apply_Scheme(&fresh.g, s), fresh.g.Click_Col = 3, fresh.g.Popu_Menu_Lock_Fixed_Col(&fresh.g);
  EXPECT_EQ(fresh.g.FixedCols(), 1);

  EXPECT_EQ(Zem_Host_Grid_Delete_Scheme(key, id), 1);
  Answer([](QWidget* box) { Click(box, "ok"); }, "zem_host_message");
  EXPECT_EQ(Zem_Host_Fmtgrid_F2g_Handle(&desc, &g, 0), 0) << "a deleted scheme is said so";
  EXPECT_EQ(Zem_Host_Fmtgrid_Load_List(TMG::Narrow(key).c_str(), &list), 1);
}

TEST(GridView, FitWidthsAndFullScreenGivesTheGridBack) {
  Voucher v;
  TMG& g = v.g;
  const int row_mark = g.ColWidths(0), money = g.ColWidths(4);
  g.Show_Col(1, 300), Zem_Host_Fit_Mg_Col_Size_Skip_0(&g);
  const QFontMetrics fm(g.font());
  const struct { const char* what; int col, low, high; } rows[] = {  // the width afterwards lies in low..high
      {"row marks keep their width", 0, row_mark, row_mark},
      {"a short code shrinks to its text", 1, fm.horizontalAdvance(QStringLiteral("V003")), 60},
      {"the longest line of a wrapped text counts", 3, fm.horizontalAdvance(U(u"采购, \"冷轧\"钢板")), 200},
      {"money keeps its digit grid", 4, money, money}, {"a hidden column stays hidden", 7, 0, 0},
  };
  for (const auto& r : rows) {
    EXPECT_GE(g.ColWidths(r.col), r.low) << r.what;
    EXPECT_LE(g.ColWidths(r.col), r.high) << r.what;
  }

  QWidget form;
  auto* box = new QVBoxLayout(&form);
  box->addWidget(new QLabel(QStringLiteral("above"))), box->addWidget(&g), box->addWidget(new QLabel(QStringLiteral("below")));
  form.resize(400, 300), form.show(), QApplication::processEvents();
  const QRect place = g.geometry();
  QSize while_max;
  Answer([&](QWidget* d) {
    QApplication::processEvents();
    while_max = d->isFullScreen() && g.window() == d ? g.size() : QSize();
    QTest::keyClick(&g, Qt::Key_Escape);
  }, "zem_host_grid_max");
  EXPECT_EQ(Zem_Host_Grid_Show_Max(&g), 1);
  EXPECT_GT(while_max.width(), place.width());
  EXPECT_TRUE(g.parentWidget() == &form && box->indexOf(&g) == 1 && g.geometry() == place && g.isVisible())
      << "back in its slot, as it was";
  box->removeWidget(&g), g.setParent(nullptr);
}

TEST(Sms, TemplatesFillRowsIntoTheOutbox) {
  zt::App(), QFile::remove(Zem_Host_Sms_Db_Path());
  TMG g;
  g.SetColCount(5), g.SetRowCount(4);
  g.SetADEF({U(u"姓名,$name"), U(u"电话,$phone"), U(u"金额,$amount,money"), U(u"选,$mark")});
  const QStringList rows[] = {{U(u"张三"), "13800000001", "100.00", ""},
                              {U(u"李四"), "", "50.00", ""},
                              {U(u"王五"), "139-0000-0002", "20.00", "T"}};
  for (int r = 0; r < 3; ++r)
    for (int c = 1; c < 5; ++c) g.SetCells(c, r + 1, rows[r][c - 1]);
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(&g), window.show(), QApplication::setActiveWindow(&window), g.setFocus();

  Answer([](QWidget* d) {
    d->findChild<QLineEdit*>(QStringLiteral("name"))->setText(U(u"催款"));
    auto* phone = d->findChild<QComboBox*>(QStringLiteral("phone"));
    phone->setCurrentIndex(phone->findData(QStringLiteral("phone")));
    d->findChild<QPlainTextEdit*>(QStringLiteral("body"))->setPlainText(U(u"{name}您好，本月金额{amount}元"));
    Click(d, "ok");
  }, "zem_host_sms_design");
  EXPECT_EQ(Zem_Host_Sms_Temp_Design("T01"), 1);
  Zem_Sms_Template t;
  bool found = false;
  QString error;
  ASSERT_TRUE(Zem_Host_Sms_Load(QStringLiteral("T01"), &t, &found, &error) && found) << error.toStdString();
  EXPECT_EQ(t.fields.first(), U(u"name\t姓名")) << "the focused grid's columns are the fields";

  const struct { const char* what; std::function<void()> before; QString texts; int skipped; } cases[] = {
      {"every row with data; a row without a number is skipped", [] {},
       U(u"13800000001 张三您好，本月金额100.00元|13900000002 王五您好，本月金额20.00元"), 1},
      {"the selected rows", [&] { g.SetSelection({1, 1, 2, 2}); }, U(u"13800000001 张三您好，本月金额100.00元"), 1},
      {"the marked rows before the selection", [&] { g.Row_Bool_Bind("mark", nullptr); },
       U(u"13900000002 王五您好，本月金额20.00元"), 0},
  };
  for (const auto& c : cases) {
    c.before();
    int skipped = -1;
    QStringList texts;
    for (const Zem_Sms_Message& m : Zem_Host_Sms_Build(&g, t, &skipped)) texts << m.phone + u' ' + m.text;
    EXPECT_EQ(texts.join(u'|'), c.texts) << c.what;
    EXPECT_EQ(skipped, c.skipped) << c.what;
  }

  t.body += QStringLiteral("{missing}");
  EXPECT_EQ(Zem_Host_Sms_Unknown_Fields(t, &g), QStringList{QStringLiteral("missing")});
  Answer([](QWidget* d) {
    EXPECT_EQ(d->findChild<QTableWidget*>(QStringLiteral("messages"))->rowCount(), 1);
    Click(d, "ok");
  }, "zem_host_sms_send");
  EXPECT_EQ(Zem_Host_Sms_Send_By_Temp(&g, "T01"), 1);
  QStringList listed;
  Answer([&](QWidget* d) {
    auto* table = d->findChild<QTableWidget*>(QStringLiteral("outbox"));
    for (int r = 0; r < table->rowCount(); ++r) listed << table->item(r, 2)->text() + u' ' + table->item(r, 4)->text();
    Click(d, "close");
  }, "zem_host_sms_list");
  EXPECT_EQ(Zem_Host_Sms_My_List(), 1);
  EXPECT_EQ(listed, QStringList{U(u"13900000002 待发送")});
  layout->removeWidget(&g), g.setParent(nullptr);
}
