// Paste into a TMG: clipboard text split as spreadsheets write it, values going to the columns that take
// them with each column's rules, a dictionary column taking codes and names, and a paste refused whole.
#include "controls/grid/mg_paste.h"
#include "controls/grid/mg_test_util.h"
#include "toolkit/tk_clipboard.h"

namespace {

// "rows x cols: cells", rows joined by " / ", cells by "|", with TAB, CR and LF shown as \t, \r, \n.
QString Shown(const Mg_Paste_Block& b) {
  QStringList rows;
  for (int r = 0; r < b.rows; ++r) {
    QStringList cells;
    for (int c = 0; c < b.cols; ++c)
      cells << b.At(r, c).toString().replace(u'\t', QStringLiteral("\\t")).replace(u'\r', QStringLiteral("\\r")).replace(u'\n', QStringLiteral("\\n"));
    rows << cells.join(u'|');
  }
  return QStringLiteral("%1x%2: ").arg(b.rows).arg(b.cols) + rows.join(QStringLiteral(" / "));
}

// Every column kind from column 1: text (notnull), pick list, float with a maximum, int with the sign
// rule '+', check box, date, read-only, hidden, a dictionary column with its hidden code column. Row 2
// is hidden.
struct PasteGrid {
  TMG g;
  QStringList reports;
  PasteGrid() {
    g.resize(900, 200);
    g.SetColCount(11);
    g.SetRowCount(3);
    g.SetADEF({QStringLiteral("Code,notnull"), QStringLiteral("Dept"), QStringLiteral("Amount,float,max#1000"),
               QStringLiteral("Qty,int,+"), QStringLiteral("Ok,bool"), QStringLiteral("Date"),
               QStringLiteral("Fixed,readonly"), QStringLiteral("Hidden,|0"), QStringLiteral("Name"),
               QStringLiteral("dept_id,|0")});
    g.SetColPickDict(2, "dept");
    g.GetColDef(6)->type = 'D';
    g.Set_Dict(9, "dept", "dept_id");
    g.SetRowHeights(2, 0);
    for (int r = 1; r < 3; ++r)
      for (int c = 1; c < 11; ++c) g.SetCells(c, r, QStringLiteral("old%1").arg(c));
    g.OnMGValChange = [this](TObject*, int c, int r, const QString& v, const QString&) { reports << QStringLiteral("%1,%2=%3").arg(c).arg(r).arg(v); };
  }
  QString Row(int r) {
    QStringList l;
    for (int c = 1; c < g.ColCount(); ++c) l << g.Cells(c, r);
    return l.join(u'|');
  }
  QString All() {
    QStringList l;
    for (int r = 0; r < g.RowCount(); ++r) l << Row(r);
    return l.join(QStringLiteral(" / "));
  }
};

}  // namespace

TEST(MgPaste, SplitsTextAsSpreadsheetsWriteIt) {
  struct Row {
    const char* what;
    const char16_t *text, *block;
  } rows[] = {
      {"CR LF rows, the last line end starts no row", u"a\tb\r\nc\td\r\n", u"2x2: a|b / c|d"},
      {"LF rows", u"a\tb\nc\td", u"2x2: a|b / c|d"},
      {"CR rows", u"a\rb\r", u"2x1: a / b"},
      {"empty cells and a trailing tab", u"\tx\t\n", u"1x3: |x|"},
      {"quoted TAB and line end", u"\"a\tb\"\t\"x\r\ny\"\r\n", u"1x2: a\\tb|x\\r\\ny"},
      {"doubled quotes", u"\"say \"\"hi\"\"\"\tz", u"1x2: say \"hi\"|z"},
      {"a quote inside a plain cell", u"5\" pipe\t1", u"1x2: 5\" pipe|1"},
      {"a quote never closed is no quote", u"\"open\tx", u"1x2: \"open|x"},
      {"text after the closing quote: read plainly", u"\"ab\"c\td", u"1x2: \"ab\"c|d"},
      {"ragged rows are filled", u"a\tb\tc\nd", u"2x3: a|b|c / d||"},
      {"one line end: one empty cell", u"\n", u"1x1: "},
      {"empty text: no block", u"", u"0x0: "},
  };
  for (const Row& r : rows) {
    Mg_Paste_Block b;
    const QString text = QString::fromUtf16(r.text);
    Mg_Split_Paste(text, &b);
    EXPECT_EQ(Shown(b).toStdString(), QString::fromUtf16(r.block).toStdString()) << r.what;
  }
}

TEST_F(MgDict, PasteTakesEachColumnsValues) {
  PasteGrid t;
  t.g.FocusCell(1, 1);
  const QString text = QString::fromUtf16(
      u"A1\t财务部\t\"1,234.5\"\t7.9\t是\t2024/3/5\t05\t\r\n"
      u"\"two\nlines\"\t01 总经理办公室\t-3\t-4\tFALSE\t20240102\t总经理办公室\t\r\n"
      u"C3\t\t\t\t\t\t\t\r\n");
  QString error;
  EXPECT_EQ(t.g.Paste_Text(text, &error), 17) << error.toStdString();
  EXPECT_EQ(t.g.RowCount(), 5) << "row 2 is hidden: the block's rows went to 1, 3 and 4";
  const char* rows[] = {
      "A1|02 财务部|1000|7|1|2024-03-05|old7|old8|仓储物流部|05",
      "old1|old2|old3|old4|old5|old6|old7|old8|old9|old10",
      "two\nlines|01 总经理办公室|-3|0|0|2024-01-02|||总经理办公室|01",
      "C3|||||||||",
  };
  for (int r = 1; r <= 4; ++r) EXPECT_EQ(t.Row(r).toStdString(), rows[r - 1]) << "row " << r;
  EXPECT_EQ(t.reports.size(), 17) << "one report per changed cell";
  EXPECT_TRUE(t.reports.contains(QStringLiteral("10,1=05"))) << "the code column's change is reported too";
}

TEST_F(MgDict, APasteRefusedChangesNothing) {
  struct Row {
    const char* what;
    const char16_t *text, *error;
    char veto = 0;  // the host refuses column 3: 'e' through OnGetEditEnable, 's' through OnSelectCell
  } rows[] = {
      {"an unknown name", u"A\t研发部", u"第 1 行“Dept”列：“研发部”不是字典 dept 的编码或名称"},
      {"a name two entries share, on the row after the hidden one", u"A\t02\nB\t分部", u"第 3 行“Dept”列：字典 dept 中名称为“分部”的不止一项"},
      {"a stopped entry", u"A\t07", u"第 1 行“Dept”列：字典 dept 的“07”已停用"},
      {"a dictionary column's unknown name", u"A\t\t\t\t\t\t无此部门", u"第 1 行“Name”列：“无此部门”不是字典 dept 的编码或名称"},
      {"no digit in a number", u"A\t02\tabc", u"第 1 行“Amount”列：“abc”不是数字"},
      {"a day that does not exist", u"A\t\t1\t1\t1\t2024-02-30", u"第 1 行“Date”列：“2024-02-30”不是日期"},
      {"neither yes nor no", u"A\t\t1\t1\tmaybe", u"第 1 行“Ok”列：“maybe”不是“是”或“否”"},
      {"an empty value in a notnull column", u"\t02", u"第 1 行“Code”列：不能为空"},
      {"a cell the host refuses editing", u"A\t02\t5", u"第 1 行“Amount”列：不允许修改", 'e'},
      {"a cell the host refuses selecting", u"A\t02\t5", u"第 1 行“Amount”列：不允许修改", 's'},
      {"more columns than the grid has to fill", u"1\t2\t3\t4\t5\t6\t7\t8", u"粘贴的内容有 8 列，从当前单元起只有 7 个可以填写的列"},
  };
  for (const Row& r : rows) {
    PasteGrid t;
    if (r.veto == 'e') t.g.OnGetEditEnable = [](TObject*, int c, int, bool& can) { can = c != 3; };
    if (r.veto == 's') t.g.OnSelectCell = [](TObject*, int c, int, bool& can) { can = c != 3; };
    const QString before = t.All();
    QString error;
    EXPECT_EQ(t.g.Paste_Text(QString::fromUtf16(r.text), &error), -1) << r.what;
    EXPECT_TRUE(error.startsWith(QString::fromUtf16(r.error))) << r.what << ": " << error.toStdString();
    EXPECT_EQ(t.All(), before) << r.what;
    EXPECT_EQ(t.g.RowCount(), 3) << r.what;
    EXPECT_TRUE(t.reports.isEmpty()) << r.what;
  }
}

// A block of many rows has its dictionary columns read from a copy of the dictionary: each row takes
// what it takes pasted alone, and a refusal names the same row and reason.
TEST_F(MgDict, APasteOfManyRowsTakesWhatOneRowTakes) {
  const QString lines[] = {QString::fromUtf16(u"A1\t财务部\t1\t2\t是\t2024/3/5\t05"),
                           QString::fromUtf16(u"B2\t01 总经理办公室\t-3\t4\tno\t20240102\t总经理办公室"),
                           QString::fromUtf16(u"C3\t 02 \t\t\t\t\t财务部")};
  // A row's pasted columns (the read-only and hidden ones keep what the row had: rows added have none).
  auto pasted = [](PasteGrid& t, int r) { return t.Row(r).replace(QStringLiteral("old7|old8"), QStringLiteral("|")); };
  QStringList alone;
  for (const QString& line : lines) {
    PasteGrid t;
    t.g.FocusCell(1, 1);
    EXPECT_GT(t.g.Paste_Text(line, nullptr), 0) << line.toStdString();
    alone << pasted(t, 1);
  }
  const int n = 72;
  QStringList block;
  for (int i = 0; i < n; ++i) block << lines[i % 3];
  PasteGrid t;
  t.g.FocusCell(1, 1);
  QString error;
  EXPECT_GT(t.g.Paste_Text(block.join(u'\n'), &error), 0) << error.toStdString();
  for (int i = 0; i < n; ++i) EXPECT_EQ(pasted(t, i == 0 ? 1 : i + 2), alone[i % 3]) << "block row " << i;
  block[69] = QString::fromUtf16(u"X\t分部");
  PasteGrid refused;
  refused.g.FocusCell(1, 1);
  EXPECT_EQ(refused.g.Paste_Text(block.join(u'\n'), &error), -1);
  EXPECT_TRUE(error.startsWith(QString::fromUtf16(u"第 71 行“Dept”列：字典 dept 中名称为“分部”的不止一项"))) << error.toStdString();
}

// Ctrl+V as the user presses it: a block from the clipboard, a refusal in a message box, and one value
// typed into the editor at its caret.
TEST_F(MgDict, CtrlVPastesTheClipboard) {
  PasteGrid t;
  TMG& g = t.g;
  g.show();
  struct Step {
    const char* what;
    int c, r;
    const char16_t *clip, *message, *row;
  } steps[] = {
      {"a block from the current cell on", 3, 1, u"12\t3\r\n", u"", u"old1|old2|12|3|old5|old6|old7|old8|old9|old10"},
      {"a refusal is said and changes nothing", 3, 1, u"1\tx\r\n", u"第 1 行“Qty”列：“x”不是数字", u"old1|old2|12|3|old5|old6|old7|old8|old9|old10"},
      {"one value goes in at the editor's caret", 1, 1, u"XY\r\n", u"", u"oXYld1|old2|12|3|old5|old6|old7|old8|old9|old10"},
  };
  for (const Step& s : steps) {
    g.FocusCell(s.c, s.r);
    g.InplaceEditor()->setCursorPosition(1);
    Clipboard()->SetAsText(QString::fromUtf16(s.clip));
    const QString said = Message_Of([&] { Press(g, Qt::Key_V, Qt::ControlModifier); });
    EXPECT_TRUE(*s.message ? said.startsWith(QString::fromUtf16(s.message)) : said.isEmpty()) << s.what << ": " << said.toStdString();
    EXPECT_EQ(t.Row(1).toStdString(), QString::fromUtf16(s.row).toStdString()) << s.what;
  }
}
