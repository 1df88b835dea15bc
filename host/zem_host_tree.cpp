// Default host functions of the code tree view: print preview to PDF, export as a mind-map outline.
#include "host/zem_host_tree.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QXmlStreamWriter>
#include <cstring>
#include <string>

#include "controls/tree/Mtreeview.h"
#include "core/text/code_page.h"
#include "frame/host_funcs.h"
#include "frame/pub_ptr.h"
#include "host/host_ui.h"

namespace {

// Narrow text as the controls hand it over: in the system code page.
QString From_Narrow(const char* s) {
  if (!s || !*s) return QString();
  const int n = static_cast<int>(std::strlen(s));
  std::u16string w(static_cast<size_t>(n), u'\0');
  const int m = Zem_MB_To_W(ZEM_CP_SYSTEM, s, n, &w[0], n);
  return QString::fromUtf16(w.data(), m);
}

// The text without what XML 1.0 cannot carry (control characters, lone surrogates, U+FFFE/U+FFFF), so
// that every outline we write parses back.
QString Xml_Safe(const QString& s) {
  QString out;
  out.reserve(s.size());
  for (qsizetype i = 0; i < s.size(); ++i) {
    const QChar c = s[i];
    if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
      out.append(c).append(s[++i]);
    } else if (c.isSurrogate() || c.unicode() == 0xFFFE || c.unicode() == 0xFFFF) {
      continue;
    } else if (c.unicode() >= 0x20 || c == u'\t' || c == u'\n' || c == u'\r') {
      out.append(c);
    }
  }
  return out;
}

// A file name for the title in the user's documents folder.
QString Default_Path(const QString& title, const char* suffix) {
  QString name = title;
  name.replace(QRegularExpression(QStringLiteral("[/\\\\:*?\"<>|]")), QStringLiteral("_"));
  if (name.trimmed().isEmpty()) name = QStringLiteral("tree");
  QString dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (dir.isEmpty() || !QDir(dir).exists()) dir = QDir::homePath();
  return QDir(dir).filePath(name + QLatin1String(suffix));
}

}  // namespace

int Zem_Host_Paint_Tree(MTreeView* tree, QPagedPaintDevice* device) {
  if (!tree || !device) return 0;
  QPainter p(device);
  if (!p.isActive()) return 0;
  const QRect page = p.viewport();
  QFont body = QApplication::font();
  body.setPointSizeF(10);
  QFont head = body;
  head.setPointSizeF(15);
  head.setBold(true);
  const QFontMetrics bm(body, device), hm(head, device);
  const int line = bm.height() * 13 / 10;
  const int indent = bm.horizontalAdvance(QString::fromUtf16(u"部门"));
  const int footer = bm.height() * 2;
  int pages = 1;
  auto finish_page = [&] {
    p.setFont(body);
    p.setPen(Qt::darkGray);
    p.drawText(QRect(0, page.height() - bm.height(), page.width(), bm.height()), Qt::AlignCenter,
               QString::fromUtf16(u"第 %1 页").arg(pages));
  };
  p.setFont(head);
  p.setPen(Qt::black);
  p.drawText(QRect(0, 0, page.width(), hm.height()), Qt::AlignLeft | Qt::AlignVCenter, tree->Km_Title());
  int y = hm.height() * 2;
  p.setFont(body);
  for (TTreeNode* n = tree->Items()->GetFirstNode(); n; n = n->GetNext()) {
    if (y + line > page.height() - footer) {
      finish_page();
      device->newPage();
      ++pages;
      y = 0;
      p.setFont(body);
    }
    const int x = n->Level() * indent;
    const int mid = y + line / 2;
    // A filled square for a branch, a ring for a leaf, then the text.
    p.setPen(QColor(0x1F, 0x3D, 0x7A));
    const int r = bm.height() / 5;
    if (n->HasChildren()) {
      p.fillRect(QRect(x, mid - r, 2 * r, 2 * r), QColor(0x1F, 0x3D, 0x7A));
    } else {
      p.drawEllipse(QPoint(x + r, mid), r, r);
    }
    p.setPen(Qt::black);
    const QRect text(x + 4 * r, y, page.width() - x - 4 * r, line);
    p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
               bm.elidedText(n->Text(), Qt::ElideRight, text.width()));
    y += line;
  }
  finish_page();
  return pages;
}

namespace {

// The text as an XML attribute value in ASCII: markup characters, line breaks and every character
// beyond ASCII as character references (what XML cannot carry is already gone).
QByteArray Ascii_Attr(const QString& text) {
  QByteArray out;
  const QString s = Xml_Safe(text);
  for (qsizetype i = 0; i < s.size(); ++i) {
    char32_t c = s[i].unicode();
    if (s[i].isHighSurrogate() && i + 1 < s.size()) {
      c = QChar::surrogateToUcs4(s[i], s[i + 1]);
      ++i;
    }
    if (c >= 0x20 && c < 0x7F && c != u'&' && c != u'<' && c != u'>' && c != u'"') {
      out.append(static_cast<char>(c));
    } else {
      out.append("&#").append(QByteArray::number(static_cast<uint>(c))).append(';');
    }
  }
  return out;
}

// A FreeMind map as the program writes its own: no XML declaration (its loader checks that the file
// begins with <map version=), and nothing but ASCII (it reads the file in the platform's charset).
QByteArray Freemind_Map(MTreeView* tree, const QString& title) {
  QByteArray out = "<map version=\"1.0.1\">\n<node TEXT=\"" + Ascii_Attr(title) + "\">\n";
  // Node order is depth first: a node stays open while the nodes below it follow.
  int open = 0;
  for (TTreeNode* n = tree->Items()->GetFirstNode(); n; n = n->GetNext()) {
    for (const int level = n->Level(); open > level; --open) out.append("</node>\n");
    out.append("<node TEXT=\"").append(Ascii_Attr(n->Text())).append('"');
    if (n->HasChildren() && !n->Expanded()) out.append(" FOLDED=\"true\"");
    out.append(n->HasChildren() ? ">\n" : "/>\n");
    if (n->HasChildren()) ++open;
  }
  for (; open > 0; --open) out.append("</node>\n");
  return out.append("</node>\n</map>\n");
}

QByteArray Opml(MTreeView* tree, const QString& title) {
  QByteArray out;
  QXmlStreamWriter w(&out);
  w.setAutoFormatting(true);
  w.setAutoFormattingIndent(1);
  w.writeStartDocument();
  w.writeStartElement(QStringLiteral("opml"));
  w.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
  w.writeStartElement(QStringLiteral("head"));
  w.writeTextElement(QStringLiteral("title"), Xml_Safe(title));
  w.writeEndElement();
  w.writeStartElement(QStringLiteral("body"));
  int open = 0;
  for (TTreeNode* n = tree->Items()->GetFirstNode(); n; n = n->GetNext()) {
    for (const int level = n->Level(); open > level; --open) w.writeEndElement();
    w.writeStartElement(QStringLiteral("outline"));
    w.writeAttribute(QStringLiteral("text"), Xml_Safe(n->Text()));
    ++open;
  }
  for (; open > 0; --open) w.writeEndElement();
  w.writeEndDocument();  // closes the body and the root
  return out;
}

}  // namespace

bool Zem_Host_Write_Tree_Outline(MTreeView* tree, const QString& title, const QString& path,
                                 Zem_Outline_Format format, QString* error) {
  QString why;
  if (!error) error = &why;
  if (!tree) {
    *error = Host_Cap(u"tree", u"没有要输出的树。");
    return false;
  }
  const QByteArray text = format == ZEM_OUTLINE_FREEMIND ? Freemind_Map(tree, title) : Opml(tree, title);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
    *error = Host_Cap(u"tree", u"不能写入文件 %1：%2").arg(QDir::toNativeSeparators(path), file.errorString());
    return false;
  }
  return true;
}

int Zem_Host_Print_Tree(MTreeView* tree) {
  if (!tree) return 0;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setDocName(tree->Km_Title());
  printer.setOutputFileName(Default_Path(tree->Km_Title(), ".pdf"));
  QPrintPreviewDialog preview(&printer, tree->window());
  preview.setObjectName(QStringLiteral("zem_host_tree_preview"));
  preview.setWindowTitle(QString::fromUtf16(u"打印预览 — ") + tree->Km_Title());
  QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                   [tree](QPrinter* target) { Zem_Host_Paint_Tree(tree, target); });
  return preview.exec() == QDialog::Accepted ? 1 : 0;
}

int Zem_Host_Export_Tree_To_Km(MTreeView* tree, const char* title) {
  if (!tree) return 0;
  const QString t = title && *title ? From_Narrow(title) : tree->Km_Title();
  QString filter = QStringLiteral("FreeMind (*.mm)");
  QString path = QFileDialog::getSaveFileName(tree->window(), QString::fromUtf16(u"输出到层次图"),
                                              Default_Path(t, ".mm"),
                                              QStringLiteral("FreeMind (*.mm);;OPML (*.opml)"), &filter);
  if (path.isEmpty()) return 0;
  const bool opml = QFileInfo(path).suffix().compare(QStringLiteral("opml"), Qt::CaseInsensitive) == 0 ||
                    (QFileInfo(path).suffix().isEmpty() && filter.startsWith(QStringLiteral("OPML")));
  if (QFileInfo(path).suffix().isEmpty()) path += opml ? QStringLiteral(".opml") : QStringLiteral(".mm");
  QString error;
  if (!Zem_Host_Write_Tree_Outline(tree, t, path, opml ? ZEM_OUTLINE_OPML : ZEM_OUTLINE_FREEMIND, &error)) {
    Host_Tell(tree->window(), QMessageBox::Warning, Host_Cap(u"tree", u"输出到层次图"), error);
    return 0;
  }
  return 1;
}

int Zem_Host_Register_Tree() {
  Gui_Print_Tree_Fn print = Zem_Host_Print_Tree;
  Pdu_Export_Tree_To_Km_Fn km = Zem_Host_Export_Tree_To_Km;
  return Zem_Reg_Shared_Ptr(kGui_Print_Tree, reinterpret_cast<void*>(print)) +
         Zem_Reg_Shared_Ptr(kPdu_Export_Tree_To_Km, reinterpret_cast<void*>(km));
}
