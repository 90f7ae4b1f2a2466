// The two-thumb range slider control: a ruler over the integer scale Min..Max with a
// minimum and a maximum thumb and the range between them filled; the range wraps when
// the maximum thumb stands left of the minimum one. In day mode positions are times of
// day. What it holds and does is TRangeSliderModel; the pictures are RangeSliderPainter.
//
// Events are plain callbacks with the slider as sender; each runs after its change:
//   OnMinChange / OnMaxChange (value)       after SetMin / SetMax;
//   OnMinPosChange / OnMaxPosChange (value) after every position set, by keys, drags AND
//                                           the program (SetMinPosition, SetMinTime...),
//                                           even when the position stays;
//   OnChange                                after those, except during a drag, whose
//                                           release runs it once when a position changed;
//   OnBeforeChange                          before any of those changes;
//   OnGetRullerLength (length)              on every layout; a length > 0 fixes the ruler
//                                           and the control's width follows it.
// A caller that sets positions from a handler of its own (time pickers that follow the
// thumbs and move them) either guards against re-entry or sets them inside
//   const bool was = slider->BlockEvents(true); ... ; slider->BlockEvents(was);
// which runs no event at all (the control still repaints).
//
// An exception raised while the control handles a key, a mouse event or a paint, by its
// own checks or by an event handler, never leaves the control: it goes to the program's
// exception handler (TZvoApplication::HandleException), which shows its text, and the
// positions stay as they were set up to the failure. A paint that fails ("RangeSlider
// Error 003") draws the ruler flat and reports once until the gradient settings change.
#pragma once

#include <QColor>
#include <QStringList>
#include <QWidget>
#include <functional>

#include "editors/RangeSliderModel.h"
#include "editors/RangeSliderPainter.h"

class TRangeSlider : public QWidget {
 public:
  explicit TRangeSlider(QWidget* parent = nullptr);

  std::function<void(TRangeSlider*, int)> OnMinChange;
  std::function<void(TRangeSlider*, int)> OnMaxChange;
  std::function<void(TRangeSlider*, int)> OnMinPosChange;
  std::function<void(TRangeSlider*, int)> OnMaxPosChange;
  std::function<void(TRangeSlider*)> OnChange;
  std::function<void(TRangeSlider*)> OnBeforeChange;
  std::function<void(TRangeSlider*, int&)> OnGetRullerLength;

  // Raise ERangeSlider "RangeSlider Error 001" / "002" when Min would not stay below Max.
  int Min() const { return model_.Min(); }
  int Max() const { return model_.Max(); }
  void SetMin(int value) { model_.SetMin(value); }
  void SetMax(int value) { model_.SetMax(value); }
  int MinPosition() const { return model_.MinPosition(); }
  int MaxPosition() const { return model_.MaxPosition(); }
  void SetMinPosition(int value) { model_.SetMinPosition(value); }
  void SetMaxPosition(int value) { model_.SetMaxPosition(value); }
  TTimeHM GetMinTime() const { return model_.GetMinTime(); }
  TTimeHM GetMaxTime() const { return model_.GetMaxTime(); }
  void SetMinTime(TTimeHM t) { model_.SetMinTime(t); }
  void SetMaxTime(TTimeHM t) { model_.SetMaxTime(t); }
  bool CheckValue(int value) const { return model_.CheckValue(value); }
  // Pixels from the ruler's start.
  int ValueToPix(int value) const { return model_.ValueToPix(value); }
  int PixToValue(int pixel) const { return model_.PixToValue(pixel); }
  void MoveSlider(TRangeThumb which, int step) { model_.MoveSlider(which, step); }
  bool BlockEvents(bool block) { return model_.BlockEvents(block); }

  bool ReadIsDay() const { return model_.IsDay(); }
  void SetIsDay(bool isDay) { model_.SetIsDay(isDay); }
  bool DisplayRange() const { return model_.DisplayRange(); }
  void SetDisplayRange(bool display) { model_.SetDisplayRange(display); }
  int ScaleFactor() const { return scaleFactor_; }
  void SetScaleFactor(int factor);
  bool DrawXAxis() const { return drawXAxis_; }
  void SetDrawXAxis(bool draw);
  bool bGradientDisplayed() const { return gradientDisplayed_; }
  void SetbGradientDisplayed(bool displayed);
  // Colours are blue-green-red values as the site holds them (0x800000 is dark blue).
  unsigned colorGradientStart() const { return gradientStart_; }
  void SetcolorGradientStart(unsigned color);
  unsigned colorGradientEnd() const { return gradientEnd_; }
  void SetcolorGradientEnd(unsigned color);
  int iGradientType() const { return gradientType_; }
  void SetiGradientType(int type);
  int iRangeOffset() const { return rangeOffset_; }
  void SetiRangeOffset(int offset);
  int Frequency() const { return frequency_; }
  void SetFrequency(int frequency);
  TOrientation Orientation() const { return orientation_; }
  void SetOrientation(TOrientation orientation);
  TeTickStyle TickStyle() const { return tickStyle_; }
  void SetTickStyle(TeTickStyle style);
  TThumbStyle ThumbStyle() const { return thumbStyle_; }
  void SetThumbStyle(TThumbStyle style);
  unsigned RangeColor() const { return rangeColor_; }
  void SetRangeColor(unsigned color);
  int ReadDragArea() const { return minThumb_.dragArea; }
  void SetDragArea(int pixels);
  int RullerHeight() const { return rulerHeight_; }
  // Taken at the next layout (a style or orientation change, a resize or a paint).
  void SetRullerHeight(int height) { rulerHeight_ = height; }
  bool bDisplaySlidersValue() const { return displayValues_; }
  void SetbDisplaySlidersValue(bool display);
  // Colour stops as texts ("0x00D20000"); UseTStringList takes the first 10 into use and
  // raises platform::EConvertError for one that is no number.
  QStringList GradientColors;
  void UseTStringList();

  // Where the ruler and the thumbs are now, in the control's coordinates.
  QRect RulerRect() const { return ruler_; }
  QRect ThumbRect(TRangeThumb which) const;
  QSize sizeHint() const override { return {200, 32}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void CalcRullerDimensions();
  void CreateThumbnails();
  void Rebuild();
  void Paint(QPainter& painter);
  void BeforeChange();
  void GradientChanged();
  void Report(const std::exception& e);
  TRangeThumb ThumbAt(QPoint pos, bool widened) const;
  int Along(QPoint pos) const;

  TRangeSliderModel model_;
  TThumbBitmap minThumb_;
  TThumbBitmap maxThumb_;
  QRect ruler_;
  int scaleFactor_ = 3;
  bool drawXAxis_ = false;
  bool gradientDisplayed_ = false;
  unsigned gradientStart_ = 0x800000;
  unsigned gradientEnd_ = 0xFFFF00;
  int gradientType_ = 1;
  int rangeOffset_ = 0;
  int frequency_ = 0;
  TOrientation orientation_ = TOrientation::rsHorizontal;
  TeTickStyle tickStyle_ = TeTickStyle::rsBottomRight;
  TThumbStyle thumbStyle_ = TThumbStyle::rsStandard;
  unsigned rangeColor_ = 255;
  int rulerHeight_ = 11;
  bool displayValues_ = false;
  std::vector<QColor> stops_;
  bool sizeCursor_ = false;
  bool laying_ = false;
  bool paintFailureReported_ = false;
};
