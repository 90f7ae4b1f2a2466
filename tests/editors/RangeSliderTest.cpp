#include "editors/RangeSlider.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <string>
#include <vector>

#include "shell/ZvoApplication.h"
#include "support/Patience.h"

namespace {

std::string Raised(const std::function<void()>& action) {
  try {
    action();
  } catch (const ERangeSlider& e) {
    return e.what();
  }
  return "nothing";
}

// The day/night function's slider: minutes of the day.
void MakeDayScale(TRangeSlider& slider) {
  slider.SetMax(1440);
  slider.SetMin(0);
  slider.SetIsDay(true);
  slider.SetMinPosition(100);
  slider.SetMaxPosition(200);
}

// Records what reaches the program's exception handler while it lives.
class ReportedErrors {
 public:
  ReportedErrors() {
    TZvoApplication::SetExceptionHandler([this](const QString& text) { texts << text; });
  }
  ~ReportedErrors() { TZvoApplication::SetExceptionHandler({}); }
  ReportedErrors(const ReportedErrors&) = delete;
  ReportedErrors& operator=(const ReportedErrors&) = delete;
  QStringList texts;
};

TEST(RangeSliderTest, DefaultsAndBounds) {
  TRangeSlider slider;
  EXPECT_EQ(slider.Min(), 0);
  EXPECT_EQ(slider.Max(), 10);
  EXPECT_EQ(slider.MinPosition(), 0);
  EXPECT_EQ(slider.MaxPosition(), 10);

  const struct {
    bool min;
    int value;
    const char* raised;
  } cases[] = {
      {true, 10, "RangeSlider Error 001"}, {true, 11, "RangeSlider Error 001"},
      {false, 0, "RangeSlider Error 002"}, {false, -3, "RangeSlider Error 002"},
  };
  int changes = 0;
  slider.OnMinChange = slider.OnMaxChange = [&](TRangeSlider*, int) { ++changes; };
  for (const auto& c : cases) {
    changes = 0;
    EXPECT_EQ(Raised([&] { c.min ? slider.SetMin(c.value) : slider.SetMax(c.value); }), c.raised) << c.value;
    EXPECT_EQ(slider.Min(), 0);
    EXPECT_EQ(slider.Max(), 10);
    EXPECT_EQ(slider.MinPosition(), 0);
    EXPECT_EQ(slider.MaxPosition(), 10);
    EXPECT_EQ(changes, 0);
  }
  // A narrower scale takes the thumbs with it.
  slider.SetMin(4);
  slider.SetMax(6);
  EXPECT_EQ(slider.MinPosition(), 4);
  EXPECT_EQ(slider.MaxPosition(), 6);
}

TEST(RangeSliderTest, DayTimes) {
  TRangeSlider slider;
  MakeDayScale(slider);
  slider.SetMinTime({6, 30});
  EXPECT_EQ(slider.MinPosition(), 390);
  slider.SetMaxPosition(390);
  EXPECT_EQ(slider.GetMaxTime(), (TTimeHM{6, 30}));
  // Midnight at the end of the day is the last minute.
  slider.SetMaxTime({24, 0});
  EXPECT_EQ(slider.MaxPosition(), 1439);
  EXPECT_EQ(slider.GetMaxTime(), (TTimeHM{23, 59}));
  slider.SetMinPosition(1440);
  EXPECT_EQ(slider.MinPosition(), 1439);
  // Outside day mode a thumb reaches Max, which reads as the day's last minute.
  slider.SetIsDay(false);
  slider.SetMaxPosition(1440);
  EXPECT_EQ(slider.MaxPosition(), 1440);
  EXPECT_EQ(slider.GetMaxTime(), (TTimeHM{23, 59}));
}

TEST(RangeSliderTest, KeysMoveTheThumbs) {
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int minPosition;
    int maxPosition;
    int expectedMin;
    int expectedMax;
  } cases[] = {
      {Qt::Key_Right, Qt::NoModifier, 100, 200, 101, 200},
      {Qt::Key_Right, Qt::ControlModifier, 100, 200, 110, 200},
      {Qt::Key_Left, Qt::NoModifier, 100, 200, 99, 200},
      {Qt::Key_Left, Qt::ControlModifier, 5, 200, 0, 200},
      {Qt::Key_Up, Qt::NoModifier, 100, 200, 100, 201},
      {Qt::Key_Down, Qt::ControlModifier, 100, 200, 100, 190},
      {Qt::Key_Right, Qt::ShiftModifier, 100, 200, 101, 201},
      {Qt::Key_Down, Qt::ShiftModifier | Qt::ControlModifier, 100, 200, 90, 190},
      // Both past the start: the range keeps its span against 0.
      {Qt::Key_Left, Qt::ShiftModifier | Qt::ControlModifier, 5, 105, 0, 100},
      // Both past the end of the day: the range ends on its last minute.
      {Qt::Key_Right, Qt::ShiftModifier | Qt::ControlModifier, 1300, 1435, 1304, 1439},
      // ... and goes no further from there.
      {Qt::Key_Right, Qt::ShiftModifier, 1300, 1439, 1300, 1439},
      // A wrapped range pushed past the start keeps its two parts' sum.
      {Qt::Key_Left, Qt::ShiftModifier | Qt::ControlModifier, 1000, 5, 995, 0},
      // Past the end: the minimum thumb ends the day, the maximum follows.
      {Qt::Key_Right, Qt::ShiftModifier | Qt::ControlModifier, 1435, 100, 1439, 104},
      {Qt::Key_Right, Qt::ShiftModifier, 1439, 100, 1439, 100},
      {Qt::Key_Home, Qt::NoModifier, 100, 200, 100, 200},
  };
  for (const auto& c : cases) {
    TRangeSlider slider;
    MakeDayScale(slider);
    slider.SetMinPosition(c.minPosition);
    slider.SetMaxPosition(c.maxPosition);
    int changes = 0;
    slider.OnChange = [&](TRangeSlider*) { ++changes; };
    QTest::keyClick(&slider, c.key, c.modifiers);
    EXPECT_EQ(slider.MinPosition(), c.expectedMin) << c.key << " " << c.modifiers << " " << c.minPosition;
    EXPECT_EQ(slider.MaxPosition(), c.expectedMax) << c.key << " " << c.modifiers << " " << c.maxPosition;
    // Nothing set, nothing reported.
    EXPECT_EQ(changes > 0, c.expectedMin != c.minPosition || c.expectedMax != c.maxPosition);
  }
}

TEST(RangeSliderTest, VerticalKeysCountDown) {
  TRangeSlider slider;
  MakeDayScale(slider);
  slider.SetOrientation(TOrientation::rsVertical);
  QTest::keyClick(&slider, Qt::Key_Right);
  QTest::keyClick(&slider, Qt::Key_Up, Qt::ControlModifier);
  EXPECT_EQ(slider.MinPosition(), 99);
  EXPECT_EQ(slider.MaxPosition(), 190);
}

class RangeSliderDragTest : public ::testing::Test {
 protected:
  void SetUp() override {
    slider_.setFixedSize(400, 40);
    MakeDayScale(slider_);
    slider_.SetThumbStyle(TThumbStyle::rsTransparent);
    slider_.SetDragArea(5);
    slider_.SetMinPosition(360);
    slider_.SetMaxPosition(1080);
    slider_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider_, testwait::kPatienceMs));
    slider_.OnMinPosChange = [this](TRangeSlider*, int v) { minMoves_.push_back(v); };
    slider_.OnMaxPosChange = [this](TRangeSlider*, int v) { maxMoves_.push_back(v); };
    slider_.OnChange = [this](TRangeSlider*) { ++changes_; };
  }

  // A point of the control at a value's pixel, across the minimum thumb.
  QPoint At(int value) const {
    return {slider_.RulerRect().left() + slider_.ValueToPix(value), slider_.ThumbRect(TRangeThumb::Min).center().y()};
  }

  TRangeSlider slider_;
  std::vector<int> minMoves_;
  std::vector<int> maxMoves_;
  int changes_ = 0;
};

TEST_F(RangeSliderDragTest, ChangeOnlyAtAReleaseThatChangedSomething) {
  ASSERT_GT(slider_.RulerRect().width(), 300);
  const QPoint grab = At(360);
  ASSERT_EQ(slider_.ThumbRect(TRangeThumb::Min).contains(grab), true);
  QTest::mousePress(&slider_, Qt::LeftButton, Qt::NoModifier, grab);
  for (const int dx : {30, 60, 90}) QTest::mouseMove(&slider_, grab + QPoint(dx, 0));
  EXPECT_EQ(minMoves_.size(), 3U);
  EXPECT_TRUE(maxMoves_.empty());
  EXPECT_EQ(changes_, 0);
  QTest::mouseRelease(&slider_, Qt::LeftButton, Qt::NoModifier, grab + QPoint(90, 0));
  EXPECT_EQ(changes_, 1);
  ASSERT_FALSE(minMoves_.empty());
  EXPECT_GT(minMoves_.back(), 360);
  EXPECT_EQ(slider_.MinPosition(), minMoves_.back());
  EXPECT_EQ(slider_.MinPosition(), slider_.PixToValue(slider_.ValueToPix(360) + 90));

  // Out and back to the value it started from: moves, but no change. (A pixel stands for
  // several minutes, so the way back is to the pixel of the value the press gave.)
  minMoves_.clear();
  changes_ = 0;
  const int before = slider_.MinPosition();
  const QPoint again = At(before);
  QTest::mousePress(&slider_, Qt::LeftButton, Qt::NoModifier, again);
  QTest::mouseMove(&slider_, again + QPoint(40, 0));
  int back = 0;
  while (back > -10 && slider_.PixToValue(slider_.ValueToPix(before) + back) > before) --back;
  while (back < 10 && slider_.PixToValue(slider_.ValueToPix(before) + back) < before) ++back;
  ASSERT_EQ(slider_.PixToValue(slider_.ValueToPix(before) + back), before);
  QTest::mouseMove(&slider_, again + QPoint(back, 0));
  QTest::mouseRelease(&slider_, Qt::LeftButton, Qt::NoModifier, again + QPoint(back, 0));
  EXPECT_EQ(minMoves_.size(), 2U);
  EXPECT_EQ(slider_.MinPosition(), before);
  EXPECT_EQ(changes_, 0);

  // A press and release on a thumb: no move, no change.
  QTest::mouseClick(&slider_, Qt::LeftButton, Qt::NoModifier, At(before));
  EXPECT_EQ(changes_, 0);

  // A click beside both thumbs grabs nothing.
  QTest::mouseClick(&slider_, Qt::LeftButton, Qt::NoModifier, At(720));
  EXPECT_EQ(changes_, 0);
  EXPECT_EQ(slider_.MinPosition(), before);
}

TEST_F(RangeSliderDragTest, TheDragAreaGrabsOnTheOuterSide) {
  const QPoint maxThumb = At(1080);
  // Right of the maximum thumb, within the drag area.
  const QPoint outside = maxThumb + QPoint(slider_.ThumbRect(TRangeThumb::Max).right() - maxThumb.x() + 4, 0);
  QTest::mousePress(&slider_, Qt::LeftButton, Qt::NoModifier, outside);
  QTest::mouseMove(&slider_, outside + QPoint(30, 0));
  QTest::mouseRelease(&slider_, Qt::LeftButton, Qt::NoModifier, outside + QPoint(30, 0));
  EXPECT_FALSE(maxMoves_.empty());
  EXPECT_GT(slider_.MaxPosition(), 1080);
  EXPECT_EQ(changes_, 1);
}

TEST_F(RangeSliderDragTest, ExceptionsStayInTheControl) {
  ReportedErrors errors;
  // A handler that breaks the scale in the middle of a user's move.
  slider_.OnMinPosChange = [](TRangeSlider* s, int) { s->SetMax(s->Min()); };
  QKeyEvent key(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
  QObject& target = slider_;
  EXPECT_NO_THROW(target.event(&key));
  EXPECT_EQ(errors.texts, QStringList{QStringLiteral("RangeSlider Error 002")});
  EXPECT_EQ(slider_.MinPosition(), 361);

  const QPoint grab = At(361);
  QMouseEvent press(QEvent::MouseButtonPress, grab, slider_.mapToGlobal(grab), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QMouseEvent move(QEvent::MouseMove, grab + QPoint(20, 0), slider_.mapToGlobal(grab + QPoint(20, 0)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  EXPECT_NO_THROW(target.event(&press));
  EXPECT_NO_THROW(target.event(&move));
  EXPECT_EQ(errors.texts.size(), 2);
  EXPECT_EQ(errors.texts.value(1), QStringLiteral("RangeSlider Error 002"));
}

TEST(RangeSliderPaintTest, AGradientTypeThatTakesNoStopsPaintsFlatAndSaysSoOnce) {
  ReportedErrors errors;
  TRangeSlider slider;
  slider.setFixedSize(300, 32);
  slider.SetbGradientDisplayed(true);
  slider.GradientColors = {QStringLiteral("0x00D20000"), QStringLiteral("0x00FFCB9F")};
  slider.UseTStringList();
  slider.SetDisplayRange(false);
  slider.SetiGradientType(2);
  const QPoint middle = slider.RulerRect().center();
  QImage first;
  EXPECT_NO_THROW(first = slider.grab().toImage());
  EXPECT_NO_THROW(slider.grab());
  QTest::qWait(1);
  QApplication::processEvents();
  EXPECT_EQ(errors.texts, QStringList{QStringLiteral("RangeSlider Error 003")});
  EXPECT_EQ(first.pixelColor(middle), slider.palette().color(QPalette::Light));

  // Type 1 takes the stops: dark blue at the start.
  slider.SetiGradientType(1);
  const QImage second = slider.grab().toImage();
  EXPECT_EQ(second.pixelColor(slider.RulerRect().topLeft() + QPoint(1, 3)), QColor(0, 0, 210));
  EXPECT_EQ(errors.texts.size(), 1);
}

TEST(RangeSliderPainterTest, ColourStops) {
  // One stop: the whole picture in it, nothing divided by the missing slices.
  const QImage one = MultiStopImage(QSize(50, 4), {ColorOfBgr(0x7E00FD)}, 1);
  for (const QPoint p : {QPoint(0, 0), QPoint(25, 2), QPoint(49, 3)}) EXPECT_EQ(one.pixelColor(p), QColor(253, 0, 126));

  const QImage three = MultiStopImage(QSize(100, 2), {Qt::black, Qt::white, Qt::black}, 1);
  EXPECT_LT(three.pixelColor(0, 0).red(), 10);
  EXPECT_EQ(three.pixelColor(49, 0), QColor(Qt::white));
  EXPECT_GT(three.pixelColor(50, 0).red(), 245);
  EXPECT_EQ(three.pixelColor(99, 1), QColor(Qt::black));
  EXPECT_EQ(Raised([] { MultiStopImage(QSize(10, 2), {Qt::black, Qt::white}, 0); }), "RangeSlider Error 003");

  // Stops beyond the tenth are not even read.
  QStringList list;
  for (int i = 0; i < 10; ++i) list << QStringLiteral("0x0000%1").arg(i, 2, 10, QLatin1Char('0'));
  list << QStringLiteral("not a colour");
  const std::vector<QColor> colors = ColorsOfList(list);
  ASSERT_EQ(colors.size(), 10U);
  EXPECT_EQ(colors[9], QColor(0x09, 0, 0));
}

TEST(RangeSliderPainterTest, TwoColourGradientsRunFromStartToEnd) {
  const QColor start(0, 0, 128);
  const QColor end(0, 255, 255);
  const QImage across = GradientImage(QSize(256, 3), start, end, 1);
  EXPECT_EQ(across.pixelColor(0, 1), start);
  EXPECT_EQ(across.pixelColor(255, 1), end);
  EXPECT_EQ(across.pixelColor(128, 0), across.pixelColor(128, 2));
  const QImage down = GradientImage(QSize(3, 256), start, end, -1);
  EXPECT_EQ(down.pixelColor(1, 0), start);
  EXPECT_EQ(down.pixelColor(1, 255), end);
  const QImage rings = GradientImage(QSize(10, 10), start, end, 0);
  EXPECT_EQ(rings.pixelColor(0, 5), start);
  EXPECT_EQ(rings.pixelColor(1, 5), end);
  EXPECT_EQ(rings.pixelColor(2, 5), start);
  EXPECT_EQ(rings.pixelColor(5, 5).alpha(), 0);
  EXPECT_EQ(GradientImage(QSize(10, 10), start, end, 10).pixelColor(5, 5), start);
}

TEST(RangeSliderPainterTest, ARulerWithoutLengthMapsEverythingToTheMinimum) {
  for (const int length : {0, -7}) {
    TRangeSliderModel model;
    model.SetMax(1440);
    model.SetMin(-20);
    model.SetRulerLength(length);
    for (const int pixel : {-5, 0, 1, 300}) EXPECT_EQ(model.PixToValue(pixel), -20) << length;
    EXPECT_EQ(model.ValueToPix(1440), 0);
    model.SetMinPosition(100);
    model.SetMaxPosition(0);
    EXPECT_TRUE(RangeFillRects(model, QRect(10, 2, std::max(length, 0), 11), TOrientation::rsHorizontal, 4, 2).empty());
  }
  // A control too narrow for its ruler still paints.
  TRangeSlider slider;
  slider.SetThumbStyle(TThumbStyle::rsArrow);
  slider.SetScaleFactor(4);
  slider.setFixedSize(50, 32);
  slider.SetbGradientDisplayed(true);
  EXPECT_NO_THROW(slider.grab());
  EXPECT_EQ(slider.RulerRect().width(), 0);
  EXPECT_EQ(slider.PixToValue(30), slider.Min());
}

TEST(RangeSliderPainterTest, RangeFill) {
  const QRect ruler(20, 5, 101, 14);
  const struct {
    int minPosition;
    int maxPosition;
    std::vector<QRect> rects;
  } cases[] = {
      {30, 70, {QRect(QPoint(54, 8), QPoint(94, 15))}},
      {0, 70, {QRect(QPoint(21, 8), QPoint(94, 15))}},
      {30, 100, {QRect(QPoint(54, 8), QPoint(120, 15))}},
      {50, 50, {}},
      {70, 30, {QRect(QPoint(94, 8), QPoint(120, 15)), QRect(QPoint(21, 8), QPoint(54, 15))}},
  };
  for (const auto& c : cases) {
    TRangeSliderModel model;
    model.SetMax(100);
    model.SetRulerLength(100);
    model.SetMinPosition(c.minPosition);
    model.SetMaxPosition(c.maxPosition);
    EXPECT_EQ(RangeFillRects(model, ruler, TOrientation::rsHorizontal, 4, 2), c.rects) << c.minPosition;
  }
}

TEST(RangeSliderPainterTest, ThumbShapes) {
  const TThumbShape mirrored = MakeThumbPoints(MakePointsArray(TThumbStyle::rsStandard), true, 0, 3);
  EXPECT_EQ(mirrored.polygon, (std::vector<QPoint>{{9, 12}, {0, 21}, {0, 0}, {9, 0}}));
  EXPECT_EQ(mirrored.anchor, QPoint(0, 9));
  const TThumbShape turned = MakeThumbPoints(MakePointsArray(TThumbStyle::rsStandard), false, 1, 1);
  EXPECT_EQ(turned.polygon, (std::vector<QPoint>{{7, 0}, {7, 3}, {0, 3}, {3, 0}}));
  EXPECT_EQ(turned.anchor, QPoint(4, 3));
  TThumbBitmap orphan;
  EXPECT_EQ(Raised([&] { PlaceThumb(orphan, QRect(0, 0, 10, 10), TOrientation::rsHorizontal, 0); }),
            "RangeSlider Error 004");
}

TEST(RangeSliderTest, EventsAndTheirBlocking) {
  TRangeSlider slider;
  std::vector<std::string> fired;
  slider.OnBeforeChange = [&](TRangeSlider*) { fired.push_back("before"); };
  slider.OnMinPosChange = [&](TRangeSlider*, int v) { fired.push_back("min " + std::to_string(v)); };
  slider.OnChange = [&](TRangeSlider*) { fired.push_back("change"); };
  slider.SetMinPosition(-4);
  EXPECT_EQ(fired, (std::vector<std::string>{"before", "min 0", "change"}));
  fired.clear();
  const bool was = slider.BlockEvents(true);
  slider.SetMinPosition(3);
  slider.BlockEvents(was);
  EXPECT_TRUE(fired.empty());
  EXPECT_EQ(slider.MinPosition(), 3);
}

}  // namespace
