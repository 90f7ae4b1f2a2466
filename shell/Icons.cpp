#include "shell/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

constexpr int kSize = 24;

void Page(QPainter& p, QColor fill = Qt::white) {
  p.setBrush(fill);
  QPolygonF page({{5, 2}, {15, 2}, {19, 6}, {19, 22}, {5, 22}});
  p.drawPolygon(page);
  p.drawLine(QPointF(15, 2), QPointF(15, 6));
  p.drawLine(QPointF(15, 6), QPointF(19, 6));
}

void Folder(QPainter& p) {
  p.setBrush(QColor(230, 190, 80));
  p.drawPolygon(QPolygonF({{2, 7}, {8, 7}, {10, 9}, {21, 9}, {21, 20}, {2, 20}}));
}

void Disk(QPainter& p) {
  p.setBrush(QColor(40, 80, 160));
  p.drawRect(QRectF(3, 3, 18, 18));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(7, 3, 10, 6));
  p.setBrush(QColor(200, 200, 200));
  p.drawRect(QRectF(6, 13, 12, 8));
}

void Cross(QPainter& p, QColor c, QRectF r) {
  p.setPen(QPen(c, 2.5));
  p.drawLine(r.topLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomLeft());
}

void Printer(QPainter& p) {
  p.setBrush(Qt::white);
  p.drawRect(QRectF(7, 3, 10, 7));
  p.setBrush(QColor(120, 120, 120));
  p.drawRoundedRect(QRectF(3, 10, 18, 8), 2, 2);
  p.setBrush(Qt::white);
  p.drawRect(QRectF(7, 15, 10, 6));
}

void Detector(QPainter& p, QColor c) {
  p.setBrush(c);
  p.drawEllipse(QRectF(3, 3, 18, 18));
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(9, 9, 6, 6));
}

void Draw(int index, QPainter& p) {
  p.setPen(QPen(QColor(40, 40, 40), 1.2));
  switch (index) {
    case 0:  // new
      Page(p);
      p.setPen(QPen(QColor(230, 170, 0), 2));
      p.drawLine(QPointF(16, 14), QPointF(22, 14));
      p.drawLine(QPointF(19, 11), QPointF(19, 17));
      break;
    case 1: Folder(p); break;
    case 2: Disk(p); break;
    case 3:  // save as
      Disk(p);
      p.setPen(QPen(QColor(230, 170, 0), 2));
      p.drawLine(QPointF(12, 21), QPointF(21, 12));
      break;
    case 4:  // close
      Page(p);
      Cross(p, QColor(200, 30, 30), QRectF(8, 10, 8, 8));
      break;
    case 5: Printer(p); break;
    case 6:  // labels
      p.setBrush(QColor(255, 250, 200));
      for (int row = 0; row < 3; ++row) p.drawRect(QRectF(4, 3 + row * 7, 16, 5));
      break;
    case 7:  // exit: a door and an arrow
      p.setBrush(QColor(150, 100, 60));
      p.drawRect(QRectF(4, 3, 10, 18));
      p.setPen(QPen(QColor(200, 30, 30), 2));
      p.drawLine(QPointF(12, 12), QPointF(21, 12));
      p.drawLine(QPointF(18, 9), QPointF(21, 12));
      p.drawLine(QPointF(18, 15), QPointF(21, 12));
      break;
    case 8:  // general parameters: sliders
      for (int i = 0; i < 3; ++i) {
        p.drawLine(QPointF(4, 6 + i * 6), QPointF(20, 6 + i * 6));
        p.setBrush(QColor(40, 80, 160));
        p.drawRect(QRectF(6 + i * 5, 4 + i * 6, 4, 4));
      }
      break;
    case 9: Detector(p, QColor(220, 220, 220)); break;
    case 10:  // line of sounders: a bell
      p.setBrush(QColor(230, 60, 40));
      p.drawPath([] {
        QPainterPath path;
        path.moveTo(5, 18);
        path.cubicTo(7, 16, 6, 5, 12, 4);
        path.cubicTo(18, 5, 17, 16, 19, 18);
        path.closeSubpath();
        return path;
      }());
      p.drawEllipse(QRectF(10, 18, 4, 4));
      break;
    case 11:  // security: a shield
      p.setBrush(QColor(40, 140, 60));
      p.drawPolygon(QPolygonF({{12, 2}, {20, 5}, {19, 14}, {12, 22}, {5, 14}, {4, 5}}));
      break;
    case 12:  // repetitions: two arrows in a circle
      p.setPen(QPen(QColor(40, 80, 160), 2.5));
      p.drawArc(QRectF(4, 4, 16, 16), 30 * 16, 150 * 16);
      p.drawArc(QRectF(4, 4, 16, 16), 210 * 16, 150 * 16);
      break;
    case 13:  // identification: a card
      p.setBrush(QColor(240, 240, 255));
      p.drawRoundedRect(QRectF(2, 6, 20, 13), 2, 2);
      p.setBrush(QColor(40, 80, 160));
      p.drawEllipse(QRectF(5, 9, 6, 6));
      break;
    case 14:  // diagnosis: a magnifier
      p.setBrush(QColor(200, 230, 255));
      p.drawEllipse(QRectF(3, 3, 12, 12));
      p.setPen(QPen(QColor(40, 40, 40), 3));
      p.drawLine(QPointF(13, 13), QPointF(21, 21));
      break;
    case 15:  // panel transfer: a panel and two arrows
      p.setBrush(QColor(200, 40, 40));
      p.drawRect(QRectF(10, 3, 11, 18));
      p.setPen(QPen(QColor(40, 80, 160), 2));
      p.drawLine(QPointF(2, 8), QPointF(9, 8));
      p.drawLine(QPointF(6, 5), QPointF(9, 8));
      p.drawLine(QPointF(2, 16), QPointF(9, 16));
      p.drawLine(QPointF(2, 16), QPointF(5, 13));
      break;
    case 16:  // help
      p.setBrush(QColor(40, 80, 160));
      p.drawEllipse(QRectF(2, 2, 20, 20));
      p.setPen(Qt::white);
      p.setFont(QFont(QStringLiteral("Liberation Sans"), 12, QFont::Bold));
      p.drawText(QRectF(2, 2, 20, 20), Qt::AlignCenter, QStringLiteral("?"));
      break;
    case 17:  // about
      p.setBrush(QColor(40, 140, 60));
      p.drawEllipse(QRectF(2, 2, 20, 20));
      p.setPen(Qt::white);
      p.setFont(QFont(QStringLiteral("Liberation Serif"), 12, QFont::Bold));
      p.drawText(QRectF(2, 2, 20, 20), Qt::AlignCenter, QStringLiteral("i"));
      break;
    default:  // installer: a spanner
      p.setPen(QPen(QColor(90, 90, 90), 3.5));
      p.drawLine(QPointF(6, 18), QPointF(16, 8));
      p.setBrush(QColor(90, 90, 90));
      p.drawEllipse(QRectF(13, 3, 8, 8));
      break;
  }
}

}  // namespace

QIcon MenuImage(int index) {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  Draw(index, painter);
  return QIcon(pixmap);
}
