#include "editors/RangeSlider.h"

#include <QFont>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include "shell/ZvoApplication.h"

TRangeSlider::TRangeSlider(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  minThumb_.owner = this;
  maxThumb_.owner = this;
  model_.OnMinChange = [this](int v) {
    if (OnMinChange) OnMinChange(this, v);
  };
  model_.OnMaxChange = [this](int v) {
    if (OnMaxChange) OnMaxChange(this, v);
  };
  model_.OnMinPosChange = [this](int v) {
    if (OnMinPosChange) OnMinPosChange(this, v);
  };
  model_.OnMaxPosChange = [this](int v) {
    if (OnMaxPosChange) OnMaxPosChange(this, v);
  };
  model_.OnChange = [this] {
    if (OnChange) OnChange(this);
  };
  model_.OnBeforeChange = [this] {
    if (OnBeforeChange) OnBeforeChange(this);
  };
  model_.OnRepaint = [this] { update(); };
  resize(200, 32);
  Rebuild();
}

void TRangeSlider::BeforeChange() {
  if (OnBeforeChange && !model_.EventsBlocked()) OnBeforeChange(this);
}

void TRangeSlider::Rebuild() {
  CreateThumbnails();
  CalcRullerDimensions();
  update();
}

void TRangeSlider::CreateThumbnails() {
  ::CreateThumbnails(thumbStyle_, orientation_, tickStyle_, scaleFactor_, minThumb_, maxThumb_);
}

void TRangeSlider::CalcRullerDimensions() {
  if (laying_) return;
  laying_ = true;
  int length = 0;
  if (OnGetRullerLength) OnGetRullerLength(this, length);
  const bool horizontal = orientation_ == TOrientation::rsHorizontal;
  setMinimumSize(horizontal ? QSize(50, 10) : QSize(10, 50));
  const TRulerLayout layout = ::CalcRullerDimensions(orientation_, size(), minThumb_.picture.size(),
                                                     minThumb_.hotSpot, rulerHeight_, length);
  if (length > 0) {
    if (horizontal && width() != layout.controlLength) resize(layout.controlLength, height());
    if (!horizontal && height() != layout.controlLength) resize(width(), layout.controlLength);
  }
  ruler_ = layout.ruler;
  model_.SetRulerLength(layout.length);
  laying_ = false;
}

void TRangeSlider::SetScaleFactor(int factor) {
  BeforeChange();
  scaleFactor_ = factor;
  Rebuild();
}

void TRangeSlider::SetDrawXAxis(bool draw) {
  BeforeChange();
  drawXAxis_ = draw;
  update();
}

void TRangeSlider::GradientChanged() {
  paintFailureReported_ = false;
  update();
}

void TRangeSlider::SetbGradientDisplayed(bool displayed) {
  BeforeChange();
  gradientDisplayed_ = displayed;
  GradientChanged();
}

void TRangeSlider::SetcolorGradientStart(unsigned color) {
  BeforeChange();
  gradientStart_ = color;
  GradientChanged();
}

void TRangeSlider::SetcolorGradientEnd(unsigned color) {
  BeforeChange();
  gradientEnd_ = color;
  GradientChanged();
}

void TRangeSlider::SetiGradientType(int type) {
  BeforeChange();
  gradientType_ = type;
  GradientChanged();
}

void TRangeSlider::SetiRangeOffset(int offset) {
  BeforeChange();
  rangeOffset_ = offset;
  update();
}

void TRangeSlider::SetFrequency(int frequency) {
  BeforeChange();
  frequency_ = frequency;
  update();
}

void TRangeSlider::SetOrientation(TOrientation orientation) {
  BeforeChange();
  orientation_ = orientation;
  Rebuild();
}

void TRangeSlider::SetTickStyle(TeTickStyle style) {
  BeforeChange();
  tickStyle_ = style;
  Rebuild();
}

void TRangeSlider::SetThumbStyle(TThumbStyle style) {
  BeforeChange();
  thumbStyle_ = style;
  Rebuild();
}

void TRangeSlider::SetRangeColor(unsigned color) {
  BeforeChange();
  rangeColor_ = color;
  update();
}

void TRangeSlider::SetDragArea(int pixels) {
  BeforeChange();
  minThumb_.dragArea = pixels;
  maxThumb_.dragArea = pixels;
}

void TRangeSlider::SetbDisplaySlidersValue(bool display) {
  BeforeChange();
  displayValues_ = display;
  update();
}

void TRangeSlider::UseTStringList() {
  stops_ = ColorsOfList(GradientColors);
  GradientChanged();
}

QRect TRangeSlider::ThumbRect(TRangeThumb which) const {
  TThumbBitmap thumb = which == TRangeThumb::Max ? maxThumb_ : minThumb_;
  const int position = which == TRangeThumb::Max ? model_.MaxPosition() : model_.MinPosition();
  return PlaceThumb(thumb, ruler_, orientation_, model_.ValueToPix(position));
}

void TRangeSlider::Report(const std::exception& e) { TZvoApplication::HandleException(e); }

void TRangeSlider::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  CalcRullerDimensions();
}

void TRangeSlider::paintEvent(QPaintEvent* /*event*/) {
  QImage frame(size(), QImage::Format_ARGB32_Premultiplied);
  if (frame.isNull()) return;
  {
    QPainter painter(&frame);
    try {
      Paint(painter);
    } catch (const std::exception& e) {
      // A paint must end; the failure is shown once, outside the paint.
      if (!paintFailureReported_) {
        paintFailureReported_ = true;
        const std::string message = e.what();
        QTimer::singleShot(0, this, [message] { TZvoApplication::HandleException(platform::Exception(message)); });
      }
      const bool gradient = gradientDisplayed_;
      gradientDisplayed_ = false;
      try {
        Paint(painter);
      } catch (const std::exception&) {
        // Nothing more to draw than what stands.
      }
      gradientDisplayed_ = gradient;
    }
  }
  QPainter(this).drawImage(0, 0, frame);
}

void TRangeSlider::Paint(QPainter& painter) {
  CalcRullerDimensions();
  const QPalette& pal = palette();
  painter.fillRect(rect(), pal.color(QPalette::Window));
  const bool horizontal = orientation_ == TOrientation::rsHorizontal;
  if (model_.IsDay() && drawXAxis_) {
    QFont font(QStringLiteral("Small Fonts"));
    font.setPointSize(7);
    painter.setFont(font);
    painter.setPen(pal.color(QPalette::WindowText));
    const int y = ruler_.top() + ruler_.height();
    const auto write = [&](int x, const QString& text) {
      painter.drawText(QRect(x, y, 200, 40), Qt::AlignLeft | Qt::AlignTop, text);
    };
    const int thumbWidth = minThumb_.picture.width();
    write(ruler_.left(), QStringLiteral("00H00"));
    write(ruler_.right() + 1 - 28, QStringLiteral("24H00"));
    write(thumbWidth + (ruler_.right() + 1 - ruler_.left() - 20) / 2, QStringLiteral("12H00"));
  }
  TRulerLook look;
  look.gradient = gradientDisplayed_;
  look.stops = stops_;
  look.start = ColorOfBgr(gradientStart_);
  look.end = ColorOfBgr(gradientEnd_);
  look.type = gradientType_;
  look.flat = pal.color(QPalette::Light);
  look.shadow = pal.color(QPalette::Dark);
  look.highlight = pal.color(QPalette::Light).lighter(110);
  if (!ruler_.isEmpty()) painter.drawImage(ruler_.topLeft(), RulerImage(ruler_.size(), look));
  for (TThumbBitmap* thumb : {&minThumb_, &maxThumb_}) {
    const int position = thumb == &minThumb_ ? model_.MinPosition() : model_.MaxPosition();
    PlaceThumb(*thumb, ruler_, orientation_, model_.ValueToPix(position));
    if (thumbStyle_ != TThumbStyle::rsTransparent) painter.drawImage(thumb->rect.topLeft(), thumb->picture);
  }
  if (model_.DisplayRange()) {
    const int inner = MakePointsArray(thumbStyle_).anchor.x() * scaleFactor_ + 4;
    for (const QRect& r : RangeFillRects(model_, ruler_, orientation_, inner, rangeOffset_)) {
      painter.fillRect(r, ColorOfBgr(rangeColor_));
    }
  }
  if (displayValues_) {
    painter.setPen(pal.color(QPalette::WindowText));
    for (const int position : {model_.MinPosition(), model_.MaxPosition()}) {
      QString text = QString::number(position);
      if (model_.IsDay()) {
        const TTimeHM t = position == model_.MinPosition() ? model_.GetMinTime() : model_.GetMaxTime();
        text = QStringLiteral("%1:%2").arg(t.hour).arg(t.minute, 2, 10, QLatin1Char('0'));
      }
      const int pixel = model_.ValueToPix(position);
      painter.drawText(horizontal ? QPoint(pixel, 20) : QPoint(20, pixel), text);
    }
  }
}

int TRangeSlider::Along(QPoint pos) const { return orientation_ == TOrientation::rsHorizontal ? pos.x() : pos.y(); }

TRangeThumb TRangeSlider::ThumbAt(QPoint pos, bool widened) const {
  QRect minRect = ThumbRect(TRangeThumb::Min);
  QRect maxRect = ThumbRect(TRangeThumb::Max);
  if (widened) {
    // On the outer side of each thumb: away from the range.
    const bool wrapped = model_.MinPosition() > model_.MaxPosition();
    const int minOut = wrapped ? 0 : minThumb_.dragArea;
    const int minIn = wrapped ? minThumb_.dragArea : 0;
    const int maxOut = wrapped ? 0 : maxThumb_.dragArea;
    const int maxIn = wrapped ? maxThumb_.dragArea : 0;
    if (orientation_ == TOrientation::rsHorizontal) {
      minRect.adjust(-minOut, 0, minIn, 0);
      maxRect.adjust(-maxIn, 0, maxOut, 0);
    } else {
      minRect.adjust(0, -minOut, 0, minIn);
      maxRect.adjust(0, -maxIn, 0, maxOut);
    }
  }
  if (minRect.contains(pos)) return TRangeThumb::Min;
  if (maxRect.contains(pos)) return TRangeThumb::Max;
  return TRangeThumb::None;
}

void TRangeSlider::keyPressEvent(QKeyEvent* event) {
  using Key = TRangeSliderModel::Key;
  Key key = Key::Left;
  switch (event->key()) {
    case Qt::Key_Left:
      key = Key::Left;
      break;
    case Qt::Key_Right:
      key = Key::Right;
      break;
    case Qt::Key_Up:
      key = Key::Up;
      break;
    case Qt::Key_Down:
      key = Key::Down;
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  event->accept();
  try {
    model_.KeyDown(key, event->modifiers().testFlag(Qt::ShiftModifier),
                   event->modifiers().testFlag(Qt::ControlModifier), orientation_ == TOrientation::rsVertical);
  } catch (const std::exception& e) {
    Report(e);
  }
}

void TRangeSlider::mousePressEvent(QMouseEvent* event) {
  if (!hasFocus()) setFocus(Qt::MouseFocusReason);
  if (event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  TRangeThumb which = ThumbAt(pos, false);
  if (which == TRangeThumb::None) which = ThumbAt(pos, true);
  const int start = orientation_ == TOrientation::rsHorizontal ? ruler_.left() : ruler_.top();
  model_.BeginDrag(which, Along(pos) - start);
}

void TRangeSlider::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  try {
    if (model_.Grabbed() != TRangeThumb::None) {
      const int start = orientation_ == TOrientation::rsHorizontal ? ruler_.left() : ruler_.top();
      model_.DragTo(Along(pos) - start, event->modifiers().testFlag(Qt::ShiftModifier));
    }
  } catch (const std::exception& e) {
    Report(e);
  }
  const bool over = ThumbAt(pos, true) != TRangeThumb::None;
  if (over != sizeCursor_) {
    sizeCursor_ = over;
    if (over) {
      setCursor(Qt::SizeHorCursor);
    } else {
      unsetCursor();
    }
  }
}

void TRangeSlider::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  try {
    model_.EndDrag();
  } catch (const std::exception& e) {
    Report(e);
  }
}
