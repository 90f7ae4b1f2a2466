#include "editors/RangeSliderModel.h"

#include <algorithm>

void TRangeSliderModel::BeforeChange() {
  if (!blocked_ && OnBeforeChange) OnBeforeChange();
}

void TRangeSliderModel::Changed() {
  if (!blocked_ && userChange_ && OnChange) OnChange();
}

void TRangeSliderModel::Repaint() {
  if (OnRepaint) OnRepaint();
}

void TRangeSliderModel::Fire(const std::function<void(int)>& event, int value) {
  if (!blocked_ && event) event(value);
}

int TRangeSliderModel::Clamped(int value) const {
  const int position = std::clamp(value, min_, max_);
  // A day ends before midnight: 24:00 is the next day's 00:00.
  return isDay_ && position == max_ ? max_ - 1 : position;
}

bool TRangeSliderModel::BlockEvents(bool block) {
  const bool previous = blocked_;
  blocked_ = block;
  return previous;
}

void TRangeSliderModel::SetMin(int value) {
  BeforeChange();
  if (value >= max_) throw ERangeSlider("RangeSlider Error 001");
  min_ = value;
  minPosition_ = Clamped(minPosition_);
  maxPosition_ = Clamped(maxPosition_);
  Repaint();
  Fire(OnMinChange, value);
  Changed();
}

void TRangeSliderModel::SetMax(int value) {
  BeforeChange();
  if (min_ >= value) throw ERangeSlider("RangeSlider Error 002");
  max_ = value;
  minPosition_ = Clamped(minPosition_);
  maxPosition_ = Clamped(maxPosition_);
  Repaint();
  Fire(OnMaxChange, value);
  Changed();
}

void TRangeSliderModel::SetMinPosition(int value) {
  BeforeChange();
  minPosition_ = Clamped(value);
  Repaint();
  Fire(OnMinPosChange, minPosition_);
  Changed();
}

void TRangeSliderModel::SetMaxPosition(int value) {
  BeforeChange();
  maxPosition_ = Clamped(value);
  Repaint();
  Fire(OnMaxPosChange, maxPosition_);
  Changed();
}

void TRangeSliderModel::SetDisplayRange(bool display) {
  BeforeChange();
  displayRange_ = display;
  Repaint();
}

TTimeHM TRangeSliderModel::TimeOf(int position) const {
  if (position == max_) return {23, 59};
  const long long span = static_cast<long long>(max_) - min_;
  return {static_cast<int>(position * 24LL / span), static_cast<int>((position * 1440LL / span) % 60)};
}

int TRangeSliderModel::PositionOf(TTimeHM t) const {
  const long long span = static_cast<long long>(max_) - min_;
  return static_cast<int>(t.hour * span / 24 + span * t.minute / 1440);
}

void TRangeSliderModel::KeyDown(Key key, bool shift, bool ctrl, bool vertical) {
  userChange_ = true;
  int step = vertical ? -1 : 1;
  if (ctrl) step *= 10;
  if (key == Key::Left || key == Key::Down) step = -step;
  const bool minThumb = key == Key::Left || key == Key::Right;
  MoveSlider(shift ? TRangeThumb::Both : (minThumb ? TRangeThumb::Min : TRangeThumb::Max), step);
}

void TRangeSliderModel::MoveSlider(TRangeThumb which, int step) {
  switch (which) {
    case TRangeThumb::Min:
      SetMinPosition(minPosition_ + step);
      return;
    case TRangeThumb::Max:
      SetMaxPosition(maxPosition_ + step);
      return;
    case TRangeThumb::None:
      return;
    case TRangeThumb::Both:
      break;
  }
  const int newMin = minPosition_ + step;
  const int newMax = maxPosition_ + step;
  const bool wrapped = minPosition_ > maxPosition_;
  if (newMin >= min_ && newMin < max_ && newMax >= min_ && newMax < max_) {
    SetMinPosition(newMin);
    SetMaxPosition(newMax);
  } else if (newMin < min_ || newMax < min_) {
    if (!wrapped) {
      SetMaxPosition(min_ + maxPosition_ - minPosition_);
      SetMinPosition(min_);
    } else {
      SetMinPosition(minPosition_ + min_ - maxPosition_);
      SetMaxPosition(min_);
    }
  } else {
    const int c = isDay_ ? 1 : 0;
    if (wrapped) {
      if (!(isDay_ && max_ == minPosition_ + 1)) {
        SetMaxPosition(maxPosition_ + max_ - minPosition_ - c);
        SetMinPosition(max_);
      }
    } else if (!(isDay_ && max_ == maxPosition_ + 1)) {
      SetMinPosition(minPosition_ + max_ - maxPosition_ - c);
      SetMaxPosition(max_);
    }
  }
}

double TRangeSliderModel::PixelsPerValue() const {
  return static_cast<double>(rulerLength_) / (static_cast<double>(max_) - min_);
}

int TRangeSliderModel::ValueToPix(int value) const {
  if (rulerLength_ <= 0) return 0;
  return static_cast<int>((static_cast<double>(value) - min_) * PixelsPerValue());
}

int TRangeSliderModel::PixToValue(int pixel) const {
  if (rulerLength_ <= 0) return min_;
  return static_cast<int>(pixel / PixelsPerValue()) + min_;
}

void TRangeSliderModel::BeginDrag(TRangeThumb which, int mousePixel) {
  grabbed_ = which;
  if (which == TRangeThumb::None) return;
  dragOffset_ = ValueToPix(which == TRangeThumb::Min ? minPosition_ : maxPosition_) - mousePixel;
  userChange_ = false;
  pressMin_ = minPosition_;
  pressMax_ = maxPosition_;
}

void TRangeSliderModel::DragTo(int mousePixel, bool shift) {
  if (grabbed_ != TRangeThumb::Min && grabbed_ != TRangeThumb::Max) return;
  const int value = PixToValue(mousePixel + dragOffset_);
  const bool minGrabbed = grabbed_ == TRangeThumb::Min;
  if (!shift) {
    if (minGrabbed) {
      SetMinPosition(value);
    } else {
      SetMaxPosition(value);
    }
    return;
  }
  const int delta = value - (minGrabbed ? minPosition_ : maxPosition_);
  const int newMin = minPosition_ + delta;
  const int newMax = maxPosition_ + delta;
  if (!CheckValue(newMin) || !CheckValue(newMax)) return;
  if (minGrabbed) {
    SetMinPosition(newMin);
    SetMaxPosition(newMax);
  } else {
    SetMaxPosition(newMax);
    SetMinPosition(newMin);
  }
}

void TRangeSliderModel::EndDrag() {
  if (grabbed_ == TRangeThumb::None) return;
  grabbed_ = TRangeThumb::None;
  if (minPosition_ != pressMin_ || maxPosition_ != pressMax_) {
    userChange_ = true;
    Changed();
  }
}
