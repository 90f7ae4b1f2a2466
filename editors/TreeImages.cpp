#include "editors/TreeImages.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace {

constexpr int kSide = 16;

}  // namespace

QIcon TreeGlyph(QColor fill, QChar letter, bool failed) {
  QPixmap pixmap(kSide, kSide);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(fill.darker(160));
  painter.setBrush(fill);
  painter.drawRoundedRect(QRectF(1.5, 1.5, kSide - 3, kSide - 3), 3, 3);
  QFont font = painter.font();
  font.setPixelSize(10);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(QRect(0, 0, kSide, kSide), Qt::AlignCenter, QString(letter));
  if (failed) {
    painter.setPen(QPen(Qt::red, 2));
    painter.drawLine(kSide - 6, kSide - 6, kSide - 1, kSide - 1);
    painter.drawLine(kSide - 1, kSide - 6, kSide - 6, kSide - 1);
  }
  return QIcon(pixmap);
}

// Kept for the whole run and never destroyed: pixmaps must not outlive the application object.
const TImageList& TreeImages() {
  static const TImageList* images = [] {
    struct Entry {
      QColor colour;
      char letter;
      bool failed;
    };
    const Entry entries[] = {
        {QColor(255, 170, 60), 'Z', false}, {QColor(255, 170, 60), 'Z', true},  {QColor(250, 230, 90), 'Z', false},
        {QColor(250, 230, 90), 'Z', true},  {QColor(120, 170, 255), 'D', false}, {QColor(90, 200, 190), 'T', false},
        {QColor(240, 90, 90), 'M', false},  {QColor(190, 140, 230), 'A', false}, {QColor(130, 210, 120), 'L', false},
        {QColor(130, 210, 120), 'L', true}, {QColor(120, 200, 160), 'B', false}, {QColor(120, 200, 160), 'B', true},
        {QColor(190, 190, 190), 'X', false},
    };
    auto* list = new TImageList;
    for (const Entry& e : entries) *list << TreeGlyph(e.colour, QLatin1Char(e.letter), e.failed);
    return list;
  }();
  return *images;
}

const TImageList& GroupImages() {
  static const TImageList* images = [] {
    auto* list = new TImageList;
    for (bool failed : {false, true}) {
      *list << TreeGlyph(QColor(255, 170, 60), QLatin1Char('G'), failed)
            << TreeGlyph(QColor(120, 170, 255), QLatin1Char('G'), failed);
    }
    return list;
  }();
  return *images;
}

const TImageList& StateImages() {
  static const TImageList* images = [] {
    auto* list = new TImageList;
    *list << QIcon();
    for (int left = 0; left <= 6; ++left) {
      *list << TreeGlyph(left == 0 ? QColor(230, 120, 120) : QColor(235, 235, 235), QChar(u'0' + left), false);
    }
    return list;
  }();
  return *images;
}
