// The pictures of the range slider: thumb shapes, the ruler's layout, its gradients and
// the range fill. Plain functions of their inputs, so that a test can check the pixels.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <vector>

#include "editors/RangeSliderModel.h"

enum class TOrientation { rsHorizontal, rsVertical };
enum class TeTickStyle { rsBottomRight, rsTopLeft };
enum class TThumbStyle { rsStandard, rsTriangle, rsCorner, rsArrow, rsRectangle, rsLine1, rsThinLine, rsTransparent };

// A colour value in the blue-green-red order of the site's colours: 0x7E00FD is
// RGB(253, 0, 126).
QColor ColorOfBgr(unsigned value);
// The first 10 entries of the list as colours ("0x00D20000", or decimal); an entry that is
// no number raises platform::EConvertError.
std::vector<QColor> ColorsOfList(const QStringList& list);

// A thumb's outline in shape units and its anchor, the point that sits on the value.
struct TThumbShape {
  QPoint anchor;
  std::vector<QPoint> polygon;
};
TThumbShape MakePointsArray(TThumbStyle style);
// Mirrored (x negated, order reversed), turned by quarter turns, moved to non-negative
// coordinates and scaled.
TThumbShape MakeThumbPoints(const TThumbShape& shape, bool mirror, int quarterTurns, int scaleFactor);

// One thumb's picture and place. A thumb without owner slider cannot be drawn.
struct TThumbBitmap {
  const void* owner = nullptr;
  QImage picture;
  QRect rect;
  QPoint hotSpot;
  int dragArea = 0;
};
// Pictures of the minimum and the maximum thumb for the style, orientation and tick side.
void CreateThumbnails(TThumbStyle style, TOrientation orientation, TeTickStyle tick, int scaleFactor,
                      TThumbBitmap& minThumb, TThumbBitmap& maxThumb);
// Places the thumb's hot spot on a value pixel of the ruler and answers its rectangle;
// raises "RangeSlider Error 004" when the thumb has no owner.
QRect PlaceThumb(TThumbBitmap& thumb, const QRect& ruler, TOrientation orientation, int valuePixel);

// The ruler's place on the control. suppliedLength > 0 fixes the ruler and answers the
// control's length along the ruler in controlLength; else the ruler fills the control.
struct TRulerLayout {
  QRect ruler;
  int length = 0;
  int controlLength = 0;
};
TRulerLayout CalcRullerDimensions(TOrientation orientation, QSize control, QSize thumb, QPoint hotSpot,
                                  int rulerHeight, int suppliedLength);

// A rectangle of the size filled from start to end in the gradient type's pattern, each
// channel interpolated with integer division.
QImage GradientImage(QSize size, QColor start, QColor end, int type);
// Colour stops cut the picture into equal slices, each a left to right gradient; one stop
// fills it in its colour. Only type 1 takes stops ("RangeSlider Error 003").
QImage MultiStopImage(QSize size, const std::vector<QColor>& stops, int type);

struct TRulerLook {
  bool gradient = false;
  std::vector<QColor> stops;
  QColor start;
  QColor end;
  int type = 1;
  QColor flat;
  QColor shadow;
  QColor highlight;
};
// The ruler's picture of the given size (along x and y of a horizontal slider), framed.
QImage RulerImage(QSize size, const TRulerLook& look);

// The rectangles filled in the range colour: between the thumbs' inner edges, inset
// across the ruler by offset + 1, in two parts for a wrapped range; innerEdge is the
// distance from a thumb's value pixel to the fill.
std::vector<QRect> RangeFillRects(const TRangeSliderModel& model, const QRect& ruler, TOrientation orientation,
                                  int innerEdge, int rangeOffset);
