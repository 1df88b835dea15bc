// Draws the Designer palette icons of the eight controls (designer/icons/<class>.png at 32x32 and
// <class>@2x.png at 64x64), each a small picture of what the control looks like on a form.
//
//   g++ -O2 -std=c++17 -fPIC tools/gen_designer_icons.cpp -o /tmp/gen_designer_icons \
//       $(pkg-config --cflags --libs Qt6Gui)
//   QT_QPA_PLATFORM=offscreen /tmp/gen_designer_icons designer/icons
//
// Every picture is drawn on a 32-unit square and scaled, so both sizes show the same thing.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>

namespace {

const QColor kInk(0x33, 0x3B, 0x4A);
const QColor kBlue(0x2F, 0x6E, 0xC8);
const QColor kPaleBlue(0xDC, 0xE8, 0xF8);
const QColor kFace(0xF4, 0xF5, 0xF7);
const QColor kGrid(0xA2, 0xC8, 0xA2);  // the grid's own line colour
const QColor kRed(0xD0, 0x30, 0x30);

void Box(QPainter& p, QRectF r, QColor fill, QColor line = kInk) {
  p.setPen(QPen(line, 1));
  p.setBrush(fill);
  p.drawRect(r);
}

void Text_Lines(QPainter& p, QRectF r, int n, QColor c) {
  p.setPen(QPen(c, 1.4, Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i < n; i++) {
    const double y = r.top() + (i + 0.5) * r.height() / n;
    p.drawLine(QPointF(r.left(), y), QPointF(r.right() - (i % 2) * r.width() * 0.3, y));
  }
}

// TMG: a grid with a two-row header, green lines, a money column of digit cells, a row mark.
void Draw_Grid(QPainter& p) {
  Box(p, QRectF(2.5, 4.5, 27, 23), Qt::white);
  p.fillRect(QRectF(3, 5, 26, 6), kPaleBlue);
  p.fillRect(QRectF(3, 11, 4, 16), kFace);
  p.setPen(QPen(kGrid, 1));
  for (double y : {11.5, 16.5, 21.5}) p.drawLine(QPointF(3, y), QPointF(29, y));
  for (double x : {7.5, 16.5}) p.drawLine(QPointF(x, 5), QPointF(x, 27));
  p.setPen(QPen(kGrid, 0.6));
  for (double x : {19.5, 22.5, 25.5}) p.drawLine(QPointF(x, 11), QPointF(x, 27));
  p.setPen(QPen(kBlue, 1.4));
  p.drawLine(QPointF(9, 8), QPointF(14.5, 8));
  p.drawLine(QPointF(18.5, 8), QPointF(27, 8));
  p.setPen(QPen(kInk, 1.2));
  for (double y : {14, 19, 24}) p.drawLine(QPointF(9, y), QPointF(15, y));
  p.setPen(QPen(kRed, 1.2));
  for (double y : {14, 19, 24}) p.drawLine(QPointF(26.5, y), QPointF(28, y));
  p.fillRect(QRectF(3.5, 12, 3, 4), kBlue);
}

// MTreeView, the code tree: tree lines with expand boxes and node texts, and the magnifier of its
// search. TTreeView_Ext, the dictionary tree: a plainer tree on a pale page whose selected node is drawn
// on blue across the row, as the control draws it.
void Draw_Tree(QPainter& p, bool dict) {
  Box(p, QRectF(2.5, 2.5, 27, 27), dict ? QColor(0xF4, 0xF8, 0xFE) : Qt::white);
  if (dict) p.fillRect(QRectF(3, 12.5, 26, 6), kBlue);
  p.setPen(QPen(QColor(0x90, 0x98, 0xA8), 1, Qt::DotLine));
  p.drawLine(QPointF(7.5, 9), QPointF(7.5, 24.5));
  p.drawLine(QPointF(7.5, 15.5), QPointF(12, 15.5));
  p.drawLine(QPointF(7.5, 24.5), QPointF(12, 24.5));
  auto node = [&](double x, double y, bool open) {
    Box(p, QRectF(x - 2.5, y - 2.5, 5, 5), Qt::white, kInk);
    p.setPen(QPen(kInk, 1));
    p.drawLine(QPointF(x - 1.5, y), QPointF(x + 1.5, y));
    if (!open) p.drawLine(QPointF(x, y - 1.5), QPointF(x, y + 1.5));
  };
  node(7.5, 6.5, true);
  node(13.5, 15.5, true);
  node(13.5, 24.5, false);
  p.setPen(QPen(kInk, 1.4));
  p.drawLine(QPointF(11.5, 6.5), QPointF(25, 6.5));
  p.drawLine(QPointF(17.5, 24.5), QPointF(dict ? 26 : 19, 24.5));
  p.setPen(QPen(dict ? Qt::white : kInk, 1.4));
  p.drawLine(QPointF(17.5, 15.5), QPointF(27, 15.5));
  if (!dict) {
    p.setPen(QPen(kBlue, 1.8));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(23, 22.5), 3.2, 3.2);
    p.drawLine(QPointF(25.4, 24.9), QPointF(28.5, 28));
  }
}

// MStatusBar: the bottom of a window, a light grey bar with two panels of blue text.
void Draw_Status(QPainter& p) {
  Box(p, QRectF(2.5, 6.5, 27, 19), Qt::white, QColor(0x90, 0x98, 0xA8));
  Box(p, QRectF(2.5, 19.5, 27, 6), QColor(0xEE, 0xEF, 0xEF), kInk);
  p.setPen(QPen(QColor(0x90, 0x98, 0xA8), 1));
  p.drawLine(QPointF(15.5, 20), QPointF(15.5, 25));
  p.setPen(QPen(QColor(0, 0, 0xFF), 1.4));
  p.drawLine(QPointF(4.5, 22.5), QPointF(12.5, 22.5));
  p.drawLine(QPointF(18, 22.5), QPointF(27, 22.5));
}

// TMGS: a search edit with a magnifier and its drop list.
void Draw_Search(QPainter& p) {
  Box(p, QRectF(2.5, 4.5, 27, 8), Qt::white);
  p.setPen(QPen(kInk, 1.4));
  p.drawLine(QPointF(5, 8.5), QPointF(14, 8.5));
  p.setPen(QPen(kBlue, 1.6));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(23, 8), 2.4, 2.4);
  p.drawLine(QPointF(24.8, 9.8), QPointF(27, 12));
  Box(p, QRectF(2.5, 13.5, 27, 15), Qt::white, QColor(0x90, 0x98, 0xA8));
  p.fillRect(QRectF(3, 14, 26, 4.5), kPaleBlue);
  Text_Lines(p, QRectF(5, 14, 20, 14), 3, kInk);
}

// TMDate: a date box, year-month-day fields and the up/down buttons.
void Draw_Date(QPainter& p) {
  Box(p, QRectF(2.5, 9.5, 27, 13), Qt::white);
  p.setPen(QPen(kInk, 1.6));
  p.drawLine(QPointF(5, 16), QPointF(10, 16));
  p.drawLine(QPointF(12.5, 16), QPointF(15, 16));
  p.drawLine(QPointF(17.5, 16), QPointF(20, 16));
  p.setPen(QPen(kBlue, 1));
  p.drawLine(QPointF(11, 14), QPointF(11.8, 18));
  p.drawLine(QPointF(16, 14), QPointF(16.8, 18));
  Box(p, QRectF(22.5, 9.5, 7, 13), kFace);
  p.setPen(Qt::NoPen);
  p.setBrush(kInk);
  p.drawPolygon(QPolygonF({QPointF(24, 15), QPointF(28, 15), QPointF(26, 12)}));
  p.drawPolygon(QPolygonF({QPointF(24, 17), QPointF(28, 17), QPointF(26, 20)}));
}

// TComboBox_Ext: a combo with its drop arrow and a list of code-name items.
void Draw_Combo(QPainter& p) {
  Box(p, QRectF(2.5, 3.5, 27, 8), Qt::white);
  p.setPen(QPen(kBlue, 1.4));
  p.drawLine(QPointF(5, 7.5), QPointF(8, 7.5));
  p.setPen(QPen(kInk, 1.4));
  p.drawLine(QPointF(10, 7.5), QPointF(18, 7.5));
  Box(p, QRectF(21.5, 3.5, 8, 8), kFace);
  p.setPen(Qt::NoPen);
  p.setBrush(kInk);
  p.drawPolygon(QPolygonF({QPointF(23.5, 6.5), QPointF(27.5, 6.5), QPointF(25.5, 9)}));
  Box(p, QRectF(2.5, 12.5, 27, 16), Qt::white, QColor(0x90, 0x98, 0xA8));
  p.fillRect(QRectF(3, 18, 26, 5), kBlue);
  for (int i = 0; i < 3; i++) {
    const double y = 15.5 + i * 5;
    const QColor c = i == 1 ? Qt::white : kInk;
    p.setPen(QPen(i == 1 ? Qt::white : kBlue, 1.4));
    p.drawLine(QPointF(5, y), QPointF(8, y));
    p.setPen(QPen(c, 1.4));
    p.drawLine(QPointF(10, y), QPointF(i == 2 ? 20 : 24, y));
  }
}

// MPickDate: a calendar page with a picked day and the picker's drop arrow.
void Draw_Calendar(QPainter& p) {
  Box(p, QRectF(2.5, 5.5, 24, 23), Qt::white);
  p.fillRect(QRectF(3, 6, 23, 5), kBlue);
  p.setPen(QPen(kInk, 2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(8, 3.5), QPointF(8, 7.5));
  p.drawLine(QPointF(21, 3.5), QPointF(21, 7.5));
  p.setPen(Qt::NoPen);
  for (int r = 0; r < 4; r++) {
    for (int c = 0; c < 5; c++) {
      p.setBrush(r == 2 && c == 3 ? kRed : QColor(0x90, 0x98, 0xA8));
      p.drawRect(QRectF(5 + c * 4.2, 13 + r * 3.8, 2.6, 2.4));
    }
  }
  p.setBrush(kInk);
  p.drawPolygon(QPolygonF({QPointF(25.5, 24.5), QPointF(31, 24.5), QPointF(28.25, 28)}));
}

void Write(const char* dir, const char* name, const std::function<void(QPainter&)>& draw) {
  for (int scale : {1, 2}) {
    QImage image(32 * scale, 32 * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    draw(p);
    p.end();
    const QString file = QStringLiteral("%1/%2%3.png").arg(QString::fromLocal8Bit(dir), QString::fromLatin1(name),
                                                           scale == 2 ? QStringLiteral("@2x") : QString());
    if (!image.save(file, "PNG")) std::fprintf(stderr, "cannot write %s\n", file.toLocal8Bit().constData());
  }
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const char* dir = argc > 1 ? argv[1] : "designer/icons";
  Write(dir, "TMG", Draw_Grid);
  Write(dir, "MTreeView", [](QPainter& p) { Draw_Tree(p, false); });
  Write(dir, "TTreeView_Ext", [](QPainter& p) { Draw_Tree(p, true); });
  Write(dir, "MStatusBar", Draw_Status);
  Write(dir, "TMGS", Draw_Search);
  Write(dir, "TMDate", Draw_Date);
  Write(dir, "TComboBox_Ext", Draw_Combo);
  Write(dir, "MPickDate", Draw_Calendar);
  return 0;
}
