#include "editors/RangeSliderPainter.h"

#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cstdlib>

#include "platform/Convert.h"

namespace {

constexpr int kMaxStops = 10;

QColor Lerp(const QColor& start, const QColor& end, int step, int steps) {
  if (steps <= 0) return start;
  const auto channel = [&](int s, int e) { return s + (e - s) * step / steps; };
  return QColor(channel(start.red(), end.red()), channel(start.green(), end.green()),
                channel(start.blue(), end.blue()));
}

// Of 256 bands, band i covering [i * length / 256, (i + 1) * length / 256): the one that
// holds the pixel. On a short side the narrowest bands cover nothing, and the last pixel
// is always in the last band.
int Band(int pixel, int length) { return std::min(((pixel + 1) * 256 - 1) / length, 255); }

// Distance of a pixel to the picture's border, in rings.
int Ring(int x, int y, int w, int h) { return std::min({x, y, w - 1 - x, h - 1 - y}); }

QColor RingColor(const QColor& start, const QColor& end, int ring) {
  if (start == end) return start;
  return ring == 1 ? end : start;
}

QColor PixelColor(int x, int y, int w, int h, const QColor& start, const QColor& end, int type) {
  if (type < 0) type = 2;
  switch (type) {
    case 1:
      return Lerp(start, end, Band(x, w), 255);
    case 2:
      return Lerp(start, end, Band(y, h), 255);
    case 3: {
      const int steps = std::max(w, h) / 2;
      const int ring = Ring(x, y, w, h);
      return ring >= steps ? end : Lerp(start, end, ring, steps);
    }
    case 4: {
      const int half = std::max(h / 2, 1);
      return Lerp(start, end, std::min(std::min(y, h - 1 - y) * 255 / half, 254), 254);
    }
    case 5: {
      const int half = std::max(w / 2, 1);
      return Lerp(start, end, std::min(std::min(x, w - 1 - x) * 255 / half, 254), 254);
    }
    case 6:
    case 7: {
      const int across = type == 6 ? x : w - 1 - x;
      // 0 at the starting corner, 256 at the opposite one.
      return Lerp(start, end, (across * 128 / w) + (y * 128 / h), 256);
    }
    case 8:
    case 9: {
      const int across = type == 8 ? x : w - 1 - x;
      const int bands = type == 8 ? 128 : 127;
      const int sum = across * bands / w + y * bands / h;
      // Band 0 at both corners, the last band on the other diagonal.
      return Lerp(start, end, bands - std::abs(sum - bands), bands);
    }
    default: {
      const int ring = Ring(x, y, w, h);
      if (ring < 3 && (start != end || ring == 0)) return RingColor(start, end, ring);
      return type == 0 ? QColor(Qt::transparent) : start;
    }
  }
}

QPoint Turned(QPoint p, int quarterTurns) {
  static constexpr int kCos[] = {1, 0, -1, 0};
  static constexpr int kSin[] = {0, -1, 0, 1};
  const int q = ((quarterTurns % 4) + 4) % 4;
  return {p.x() * kCos[q] + p.y() * kSin[q], -p.x() * kSin[q] + p.y() * kCos[q]};
}

QImage ThumbPicture(const TThumbShape& shape) {
  int width = 0;
  int height = 0;
  for (const QPoint& p : shape.polygon) {
    width = std::max(width, p.x() + 1);
    height = std::max(height, p.y() + 1);
  }
  QImage picture(std::max(width, 1), std::max(height, 1), QImage::Format_ARGB32_Premultiplied);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  const QPolygon polygon(QList<QPoint>(shape.polygon.begin(), shape.polygon.end()));
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xF0, 0xF0, 0xF0));
  painter.drawPolygon(polygon);
  // Bevel: light on the edges that face up or left, dark on those facing down or right.
  // An edge faces up or left when its middle lies above-left of the shape's centre.
  const std::size_t n = shape.polygon.size();
  QPoint sum;
  for (const QPoint& p : shape.polygon) sum += p;
  const QPoint centre2 = sum * 2 / static_cast<int>(std::max<std::size_t>(n, 1));
  for (std::size_t i = 0; i < n; ++i) {
    const QPoint a = shape.polygon[i];
    const QPoint b = shape.polygon[(i + 1) % n];
    const QPoint toMiddle = a + b - centre2;
    painter.setPen(toMiddle.x() + toMiddle.y() < 0 ? QColor(Qt::white) : QColor(0xA0, 0xA0, 0xA0));
    painter.drawLine(a, b);
  }
  return picture;
}

void BuildThumb(const TThumbShape& base, bool mirror, int turns, int scale, TThumbBitmap& thumb) {
  const TThumbShape shape = MakeThumbPoints(base, mirror, turns, scale);
  thumb.picture = ThumbPicture(shape);
  thumb.hotSpot = shape.anchor;
  thumb.rect = QRect(QPoint(0, 0), thumb.picture.size());
}

}  // namespace

QColor ColorOfBgr(unsigned value) { return QColor(value & 0xFFU, (value >> 8) & 0xFFU, (value >> 16) & 0xFFU); }

std::vector<QColor> ColorsOfList(const QStringList& list) {
  std::vector<QColor> colors;
  for (int i = 0; i < list.size() && i < kMaxStops; ++i) {
    colors.push_back(ColorOfBgr(static_cast<unsigned>(platform::StrToInt(list[i].trimmed().toStdString()))));
  }
  return colors;
}

TThumbShape MakePointsArray(TThumbStyle style) {
  switch (style) {
    case TThumbStyle::rsStandard:
      return {{3, 3}, {{0, 0}, {3, 0}, {3, 7}, {0, 4}}};
    case TThumbStyle::rsTriangle:
      return {{3, 3}, {{3, 0}, {3, 6}, {0, 3}}};
    case TThumbStyle::rsCorner:
      return {{6, 3}, {{0, 0}, {6, 0}, {6, 6}}};
    case TThumbStyle::rsArrow:
      return {{7, 4}, {{0, 3}, {3, 3}, {3, 0}, {7, 4}, {3, 8}, {3, 5}, {0, 5}}};
    case TThumbStyle::rsRectangle:
      return {{2, 2}, {{0, 0}, {2, 0}, {2, 5}, {0, 5}}};
    case TThumbStyle::rsThinLine:
      return {{1, 2}, {{0, 0}, {1, 0}, {1, 3}, {0, 3}}};
    case TThumbStyle::rsLine1:
    case TThumbStyle::rsTransparent:
      break;
  }
  return {{0, 2}, {{0, 0}, {0, 3}}};
}

TThumbShape MakeThumbPoints(const TThumbShape& shape, bool mirror, int quarterTurns, int scaleFactor) {
  TThumbShape out = shape;
  if (mirror) {
    for (QPoint& p : out.polygon) p.setX(-p.x());
    out.anchor.setX(-out.anchor.x());
    std::reverse(out.polygon.begin(), out.polygon.end());
  }
  for (QPoint& p : out.polygon) p = Turned(p, quarterTurns);
  out.anchor = Turned(out.anchor, quarterTurns);
  int minX = out.anchor.x();
  int minY = out.anchor.y();
  for (const QPoint& p : out.polygon) {
    minX = std::min(minX, p.x());
    minY = std::min(minY, p.y());
  }
  const QPoint shift(minX < 0 ? -minX : 0, minY < 0 ? -minY : 0);
  for (QPoint& p : out.polygon) p = (p + shift) * scaleFactor;
  out.anchor = (out.anchor + shift) * scaleFactor;
  return out;
}

void CreateThumbnails(TThumbStyle style, TOrientation orientation, TeTickStyle tick, int scaleFactor,
                      TThumbBitmap& minThumb, TThumbBitmap& maxThumb) {
  const TThumbShape shape = MakePointsArray(style);
  const bool horizontal = orientation == TOrientation::rsHorizontal;
  const bool bottomRight = tick == TeTickStyle::rsBottomRight;
  int turns = 0;
  bool mirrorMin = false;
  if (horizontal) {
    turns = bottomRight ? 0 : 2;
    mirrorMin = !bottomRight;
  } else {
    turns = bottomRight ? 3 : 1;
    mirrorMin = bottomRight;
  }
  BuildThumb(shape, mirrorMin, turns, scaleFactor, minThumb);
  BuildThumb(shape, !mirrorMin, turns, scaleFactor, maxThumb);
}

QRect PlaceThumb(TThumbBitmap& thumb, const QRect& ruler, TOrientation orientation, int valuePixel) {
  if (thumb.owner == nullptr) throw ERangeSlider("RangeSlider Error 004");
  QPoint spot;
  if (orientation == TOrientation::rsHorizontal) {
    spot = QPoint(ruler.left() + valuePixel, ruler.top() + ruler.height() / 2 + 5);
  } else {
    spot = QPoint(ruler.left() + ruler.width() / 2 + 5, ruler.top() + valuePixel);
  }
  thumb.rect = QRect(spot - thumb.hotSpot, thumb.picture.size());
  return thumb.rect;
}

TRulerLayout CalcRullerDimensions(TOrientation orientation, QSize control, QSize thumb, QPoint hotSpot,
                                  int rulerHeight, int suppliedLength) {
  const bool horizontal = orientation == TOrientation::rsHorizontal;
  // Along the ruler and across it.
  const int thumbAlong = horizontal ? thumb.width() : thumb.height();
  const int spotAcross = horizontal ? hotSpot.y() : hotSpot.x();
  TRulerLayout layout;
  if (suppliedLength > 0) {
    layout.length = suppliedLength;
    layout.controlLength = 2 * thumbAlong + suppliedLength + 6;
  } else {
    layout.controlLength = horizontal ? control.width() : control.height();
    layout.length = layout.controlLength - 2 * thumbAlong - 6;
  }
  const int along = thumbAlong + 3;
  const int across = rulerHeight / 2 < spotAcross ? spotAcross - rulerHeight / 2 + 2 : 2;
  const int length = std::max(layout.length, 0);
  layout.ruler = horizontal ? QRect(along, across, length, rulerHeight) : QRect(across, along, rulerHeight, length);
  return layout;
}

QImage GradientImage(QSize size, QColor start, QColor end, int type) {
  QImage image(size.expandedTo(QSize(0, 0)), QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return image;
  image.fill(Qt::transparent);
  const int w = size.width();
  const int h = size.height();
  if (type == 0 && (w <= 1 || h <= 1)) type = 1;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) image.setPixelColor(x, y, PixelColor(x, y, w, h, start, end, type));
  }
  return image;
}

QImage MultiStopImage(QSize size, const std::vector<QColor>& stops, int type) {
  if (type != 1) throw ERangeSlider("RangeSlider Error 003");
  QImage image(size.expandedTo(QSize(0, 0)), QImage::Format_ARGB32_Premultiplied);
  if (image.isNull() || stops.empty()) return image;
  if (stops.size() == 1) {
    image.fill(stops.front());
    return image;
  }
  const int slices = static_cast<int>(stops.size()) - 1;
  QPainter painter(&image);
  for (int i = 0; i < slices; ++i) {
    const int left = i * size.width() / slices;
    const int right = (i + 1) * size.width() / slices;
    if (right <= left) continue;
    painter.drawImage(left, 0, GradientImage(QSize(right - left, size.height()), stops[i], stops[i + 1], 1));
  }
  return image;
}

QImage RulerImage(QSize size, const TRulerLook& look) {
  QImage image(size.expandedTo(QSize(0, 0)), QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return image;
  if (!look.gradient) {
    image.fill(look.flat);
  } else if (!look.stops.empty()) {
    image = MultiStopImage(size, look.stops, look.type);
  } else {
    // Drawn wider than the ruler, so the ends show colours a little inside the two.
    const QImage wide = GradientImage(QSize(size.width() + 21, size.height()), look.start, look.end, look.type);
    image = wide.copy(10, 0, size.width(), size.height());
  }
  QPainter painter(&image);
  const int right = size.width() - 1;
  const int bottom = size.height() - 1;
  painter.setPen(look.shadow);
  painter.drawLine(0, 0, right, 0);
  painter.drawLine(0, 0, 0, bottom);
  painter.setPen(look.highlight);
  painter.drawLine(0, bottom, right, bottom);
  painter.drawLine(right, 0, right, bottom);
  return image;
}

std::vector<QRect> RangeFillRects(const TRangeSliderModel& model, const QRect& ruler, TOrientation orientation,
                                  int innerEdge, int rangeOffset) {
  const int minPos = model.MinPosition();
  const int maxPos = model.MaxPosition();
  if (minPos == maxPos) return {};
  const bool horizontal = orientation == TOrientation::rsHorizontal;
  const int start = horizontal ? ruler.left() : ruler.top();
  const int end = horizontal ? ruler.right() : ruler.bottom();
  const int minPix = model.ValueToPix(minPos);
  const int maxPix = model.ValueToPix(maxPos);
  // Spans along the ruler, ends included.
  std::vector<std::pair<int, int>> spans;
  if (minPos < maxPos) {
    const int from = minPix == 0 ? start + 1 : start + minPix + innerEdge;
    if (maxPix != 0) spans.emplace_back(from, start + maxPix + innerEdge);
  } else {
    spans.emplace_back(start + minPix + innerEdge, end);
    spans.emplace_back(start + 1, start + maxPix + innerEdge);
  }
  const int inset = rangeOffset + 1;
  std::vector<QRect> rects;
  for (auto [from, to] : spans) {
    to = std::min(to, end);
    if (to < from) continue;
    if (horizontal) {
      rects.emplace_back(QPoint(from, ruler.top() + inset), QPoint(to, ruler.bottom() - inset));
    } else {
      rects.emplace_back(QPoint(ruler.left() + inset, from), QPoint(ruler.right() - inset, to));
    }
  }
  std::erase_if(rects, [](const QRect& r) { return r.isEmpty(); });
  return rects;
}
