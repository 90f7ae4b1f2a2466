// What a two-thumb range slider holds and does, without any drawing: the scale, the two
// thumb positions, the keys, the drag and the day-mode times. TRangeSlider shows it.
#pragma once

#include <functional>

#include "model/TimeOfDay.h"
#include "platform/Exception.h"

// Raised with "RangeSlider Error 001" to "RangeSlider Error 004".
class ERangeSlider : public platform::Exception {
 public:
  using platform::Exception::Exception;
};

enum class TRangeThumb { None, Min, Max, Both };

class TRangeSliderModel {
 public:
  // Every event runs after the change it reports. OnChange reports what the user did; it
  // also runs after a change by the program, except during a drag (see UserChange).
  std::function<void(int)> OnMinChange;
  std::function<void(int)> OnMaxChange;
  std::function<void(int)> OnMinPosChange;
  std::function<void(int)> OnMaxPosChange;
  std::function<void()> OnChange;
  std::function<void()> OnBeforeChange;
  // The view's repaint; runs after every change of what is shown.
  std::function<void()> OnRepaint;

  int Min() const { return min_; }
  int Max() const { return max_; }
  int MinPosition() const { return minPosition_; }
  int MaxPosition() const { return maxPosition_; }
  // Raise "RangeSlider Error 001" / "002" and change nothing when Min would not stay below
  // Max; else both positions are clamped into the new scale as SetMinPosition does, but
  // without position events.
  void SetMin(int value);
  void SetMax(int value);
  // Clamped into Min..Max; in day mode Max becomes Max - 1. Fire the position event and
  // OnChange even when the position stays.
  void SetMinPosition(int value);
  void SetMaxPosition(int value);
  bool CheckValue(int value) const { return value >= min_ && value <= max_; }

  bool IsDay() const { return isDay_; }
  void SetIsDay(bool isDay) { isDay_ = isDay; }
  bool DisplayRange() const { return displayRange_; }
  void SetDisplayRange(bool display);
  // Set at construction and by keys, cleared from a mouse press to its release.
  bool UserChange() const { return userChange_; }

  // Times of day in day mode: on the scale 0..1440 a position is a minute of the day, and
  // a position at Max reads as 23:59.
  TTimeHM GetMinTime() const { return TimeOf(minPosition_); }
  TTimeHM GetMaxTime() const { return TimeOf(maxPosition_); }
  void SetMinTime(TTimeHM t) { SetMinPosition(PositionOf(t)); }
  void SetMaxTime(TTimeHM t) { SetMaxPosition(PositionOf(t)); }

  // Arrows: Left/Right move the minimum thumb, Up/Down the maximum one (both with Shift),
  // by 1, or 10 with Ctrl; on a vertical slider Right and Up count down.
  enum class Key { Left, Right, Up, Down };
  void KeyDown(Key key, bool shift, bool ctrl, bool vertical);
  // Both: the pair keeps its span; at an end of the scale the range is pushed against it.
  void MoveSlider(TRangeThumb which, int step);

  // Pixel mapping along a ruler of the given length. A ruler of no length maps every pixel
  // to Min and every value to pixel 0.
  void SetRulerLength(int pixels) { rulerLength_ = pixels; }
  int RulerLength() const { return rulerLength_; }
  int ValueToPix(int value) const;
  int PixToValue(int pixel) const;

  // A drag: the press grabs a thumb at a mouse coordinate along the ruler (pixel from the
  // ruler's start); every move sets the grabbed thumb (Shift: both, only when both fit);
  // the release runs OnChange once when a position differs from the press.
  void BeginDrag(TRangeThumb which, int mousePixel);
  void DragTo(int mousePixel, bool shift);
  void EndDrag();
  TRangeThumb Grabbed() const { return grabbed_; }

  // While blocked no event runs (OnRepaint still does); answers the previous state.
  bool BlockEvents(bool block);
  bool EventsBlocked() const { return blocked_; }

 private:
  void BeforeChange();
  void Changed();
  void Repaint();
  void Fire(const std::function<void(int)>& event, int value);
  int Clamped(int value) const;
  TTimeHM TimeOf(int position) const;
  int PositionOf(TTimeHM t) const;
  double PixelsPerValue() const;

  int min_ = 0;
  int max_ = 10;
  int minPosition_ = 0;
  int maxPosition_ = 10;
  bool isDay_ = false;
  bool displayRange_ = true;
  bool userChange_ = true;
  bool blocked_ = false;
  int rulerLength_ = 0;
  TRangeThumb grabbed_ = TRangeThumb::None;
  int dragOffset_ = 0;
  int pressMin_ = 0;
  int pressMax_ = 0;
};
