// The security settings window, opened from Configuration as the user opens it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QLabel>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QTimeEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "editors/FormBits.h"
#include "editors/FormDragList.h"
#include "editors/FormZvoSecurity.h"
#include "editors/TreeElem.h"
#include "editors/ZvoTreeView.h"
#include "model/Points.h"
#include "model/Security.h"
#include "model/TimeOfDay.h"
#include "support/EditorFixture.h"

namespace {

constexpr std::size_t kPoints = 5907;
constexpr std::size_t kAuxContact = 10235;
constexpr std::size_t kEvacuationTimes = 10283;  // delay, then duration
constexpr std::size_t kBreaking1 = 10287;
constexpr std::size_t kBreaking2 = 10295;
constexpr std::size_t EvacuationBytes(int address) { return kPoints + 32 * static_cast<std::size_t>(address - 1) + 29; }

using Bytes = std::vector<std::uint8_t>;
using Addresses = std::vector<int>;

const char* const kSuffix[] = {"Uga", "Br1", "Br2"};
const char* const kPrefix[] = {"SBAl", "SBDi", "SBBm", "SBAc", "SBAt"};

class SecurityTest : public EditorFixture {
 protected:
  SecurityTest() : EditorFixture(3) {}
  // The window switches the points' captions for the whole program; the other tests of
  // this binary expect them as they were.
  void TearDown() override {
    EditorFixture::TearDown();
    PointCaptionView = captionView_;
  }

  TFoncUGA& Evacuation() { return *Root().Security()->Evacuation(); }
  TFoncBrk& Breaking(int n) { return *Root().Security()->Breaking(n); }

  // One point of each category: FD, MCP, CA and TA.
  void FourPoints() {
    MakePoint(1, 19, 1, "Hall");
    MakePoint(2, 6, 1, "Door");
    MakePoint(3, 12, 1, "Boiler");
    MakePoint(4, 14, 1, "Pump");
  }

  TFormZvoSecurity* OpenSecurity() {
    auto* s = Open<TFormZvoSecurity>("MenuItemEvacuation");
    if (!s) throw std::logic_error("the window did not open");
    return s;
  }
  template <class T = QWidget>
  static T* C(const QWidget* s, const char* name) {
    return Control<T>(s, name);
  }
  // The category button of a function (0 evacuation, 1 and 2 breaking) and category (0-4).
  static QToolButton* Category(const QWidget* s, int function, int category) {
    const std::string name = std::string(kPrefix[category]) + kSuffix[function];
    return Control<QToolButton>(s, name.c_str());
  }
  static QStringList Counts(const QWidget* s, int function) {
    QStringList counts;
    for (int c = 1; c <= 4; ++c) counts << Category(s, function, c)->text();
    return counts;
  }
  // A breaking function's delay picker, its two labels and its five category buttons.
  static std::vector<bool> BreakingControlsShown(const QWidget* s, int n) {
    std::vector<bool> shown;
    for (const char* prefix : {"DtpDelBr", "LabelDelBr", "LabelDelMsBr"}) {
      shown.push_back(Control(s, (prefix + std::to_string(n)).c_str())->isVisibleTo(s));
    }
    for (int c = 0; c < 5; ++c) shown.push_back(Category(s, n, c)->isVisibleTo(s));
    return shown;
  }
  static void Press(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  // On the box itself, not on the empty width its row gives it.
  static void Tick(QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2)); }

  static Addresses Listed(const QWidget* s, const char* tree) {
    const auto* view = Control<QTreeWidget>(s, tree);
    Addresses addresses;
    for (int i = 0; i < view->topLevelItemCount(); ++i) {
      addresses.push_back(NodeObjectAs<TTreeFonPoint>(view->topLevelItem(i))->Point()->Address());
    }
    std::sort(addresses.begin(), addresses.end());
    return addresses;
  }
  static void Pick(const QWidget* s, const char* tree, int address) {
    auto* view = Control<QTreeWidget>(s, tree);
    for (int i = 0; i < view->topLevelItemCount(); ++i) {
      if (NodeObjectAs<TTreeFonPoint>(view->topLevelItem(i))->Point()->Address() == address) {
        view->setCurrentItem(view->topLevelItem(i));
        return;
      }
    }
    throw std::logic_error("point " + std::to_string(address) + " not listed");
  }

  static void Step(QTimeEdit* picker, QDateTimeEdit::Section section, Qt::Key key) {
    picker->setFocus();
    picker->setCurrentSection(section);
    QTest::keyClick(picker, key);
  }
  static std::string Shown(const QTimeEdit* picker) {
    return picker->time().toString(QStringLiteral("hh:mm")).toStdString();
  }
  static bool Red(const QTimeEdit* picker) { return picker->palette().color(QPalette::Base) == QColor(Qt::red); }
  static QColor Normal(const QTimeEdit* picker) { return QApplication::palette(picker).color(QPalette::Base); }

  static Bytes Slice(const Bytes& image, std::size_t offset, std::size_t count) {
    return {image.begin() + static_cast<std::ptrdiff_t>(offset),
            image.begin() + static_cast<std::ptrdiff_t>(offset + count)};
  }
  std::uint8_t captionView_ = PointCaptionView;

  void Ok(TFormZvoSecurity* s) {
    Press(C<QPushButton>(s, "BitBtnValider"));
    ASSERT_TRUE(WaitNoChild());
  }
};

// Every point in use is listed for each function in each category; the picker's captions
// follow the category, and ">>" on the full list selects one point of every category.
TEST_F(SecurityTest, CategoriesCaptionThePickerAndCountTheSelection) {
  FourPoints();
  // Not in use: never listed, whatever its flags say.
  Point(5).SetLabel("Spare");
  for (int n = 1; n <= 3; ++n) Point(5).SetEvacuation(n, true);
  TFormZvoSecurity* s = OpenSecurity();
  EXPECT_EQ(s->windowTitle(), QStringLiteral("Security settings"));
  EXPECT_EQ(C<QPushButton>(s, "BitBtnAnnuler")->text(), QStringLiteral("&Cancel"));
  EXPECT_EQ(s->CurrentTag(), 0);
  EXPECT_TRUE(Category(s, 0, 0)->isChecked());

  Tick(C<QCheckBox>(s, "CBBreak1"));
  Tick(C<QCheckBox>(s, "CBBreak2"));
  ASSERT_TRUE(C<QCheckBox>(s, "CBBreak1")->isChecked());
  ASSERT_TRUE(C<QCheckBox>(s, "CBBreak2")->isChecked());
  EXPECT_EQ(s->CurrentTag(), 20);
  for (int f = 0; f < 3; ++f) {
    SCOPED_TRACE(kSuffix[f]);
    Press(Category(s, f, 0));
    EXPECT_EQ(s->CurrentTag(), f * 10);
    EXPECT_EQ(Listed(s, "TVSrc"), (Addresses{1, 2, 3, 4}));
    EXPECT_EQ(Listed(s, "TVDst"), Addresses{});
    EXPECT_EQ(Counts(s, f), (QStringList{"0", "0", "0", "0"}));
  }

  struct Case {
    int category;
    const char* available;
    const char* selected;
    int address;
  };
  const Case cases[] = {
      {1, "Available FD", "Selected FD", 1},
      {2, "Available MCP", "Selected MCP", 2},
      {3, "Available CA", "Selected CA", 3},
      {4, "Available TA", "Selected TA", 4},
      {0, "Available Points", "Selected Points", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(kPrefix[c.category]);
    QToolButton* before = Category(s, s->CurrentTag() / 10, s->CurrentTag() % 10);
    Press(Category(s, 0, c.category));
    EXPECT_EQ(s->CurrentTag(), c.category);
    EXPECT_TRUE(Category(s, 0, c.category)->isChecked());
    if (before != Category(s, 0, c.category)) {
      EXPECT_FALSE(before->isChecked());
    }
    EXPECT_EQ(C<QLabel>(s, "LabelSrc")->text(), QString::fromLatin1(c.available));
    EXPECT_EQ(C<QLabel>(s, "LabelDst")->text(), QString::fromLatin1(c.selected));
    EXPECT_EQ(Listed(s, "TVSrc"), c.address ? Addresses{c.address} : (Addresses{1, 2, 3, 4}));
  }
  // A second click on the button that is down leaves it down.
  Press(Category(s, 0, 0));
  EXPECT_TRUE(Category(s, 0, 0)->isChecked());

  Press(C<QPushButton>(s, "BBAddAll"));
  EXPECT_EQ(Listed(s, "TVDst"), (Addresses{1, 2, 3, 4}));
  EXPECT_EQ(Counts(s, 0), (QStringList{"1", "1", "1", "1"}));
  EXPECT_EQ(Counts(s, 1), (QStringList{"0", "0", "0", "0"}));
  EXPECT_EQ(Counts(s, 2), (QStringList{"0", "0", "0", "0"}));
}

// The counts follow each move, whichever way it is made and whichever category is shown.
TEST_F(SecurityTest, CountsFollowEveryMove) {
  FourPoints();
  MakePoint(7, 11, 1, "Corridor");  // a second fire detector
  Breaking(1).SetEnabled(true);
  Point(3).SetEvacuation(2, true);
  TFormZvoSecurity* s = OpenSecurity();
  EXPECT_EQ(Counts(s, 1), (QStringList{"0", "0", "1", "0"}));

  Pick(s, "TVSrc", 2);
  Press(C<QPushButton>(s, "BBAdd"));
  EXPECT_EQ(Counts(s, 0), (QStringList{"0", "1", "0", "0"}));

  Press(Category(s, 0, 1));
  Pick(s, "TVSrc", 7);
  s->findChild<TFormDragList*>()->TreeViewDblClick(C<TZvoTreeView>(s, "TVSrc"));
  EXPECT_EQ(Counts(s, 0), (QStringList{"1", "1", "0", "0"}));
  Press(C<QPushButton>(s, "BBAddAll"));
  EXPECT_EQ(Listed(s, "TVDst"), (Addresses{1, 7}));
  EXPECT_EQ(Counts(s, 0), (QStringList{"2", "1", "0", "0"}));
  Pick(s, "TVDst", 1);
  Press(C<QPushButton>(s, "BBDel"));
  EXPECT_EQ(Counts(s, 0), (QStringList{"1", "1", "0", "0"}));

  // Breaking function 1 is counted on its own buttons only.
  Press(Category(s, 1, 3));
  EXPECT_EQ(Listed(s, "TVDst"), Addresses{3});
  Press(C<QPushButton>(s, "BBDelAll"));
  EXPECT_EQ(Counts(s, 1), (QStringList{"0", "0", "0", "0"}));
  EXPECT_EQ(Counts(s, 0), (QStringList{"1", "1", "0", "0"}));
  Press(Category(s, 0, 0));
  EXPECT_EQ(Listed(s, "TVDst"), (Addresses{2, 7}));
}

// Each point is selected per function as stored; OK writes each function's selection into
// its own byte only.
TEST_F(SecurityTest, SelectionsAreHeldPerFunction) {
  FourPoints();
  Breaking(1).SetEnabled(true);
  Breaking(2).SetEnabled(true);
  Point(1).SetEvacuation(1, true);
  Point(2).SetEvacuation(3, true);  // breaking function 2 only
  Point(4).SetEvacuation(2, true);
  TFormZvoSecurity* s = OpenSecurity();
  const Addresses expected[] = {{1}, {4}, {2}};
  for (int f = 0; f < 3; ++f) {
    SCOPED_TRACE(kSuffix[f]);
    Press(Category(s, f, 0));
    EXPECT_EQ(Listed(s, "TVDst"), expected[f]);
  }
  EXPECT_EQ(Counts(s, 0), (QStringList{"1", "0", "0", "0"}));
  EXPECT_EQ(Counts(s, 1), (QStringList{"0", "0", "0", "1"}));
  EXPECT_EQ(Counts(s, 2), (QStringList{"0", "1", "0", "0"}));

  // Point 3 for breaking function 2 as well; the other functions keep theirs.
  Press(Category(s, 2, 3));
  Pick(s, "TVSrc", 3);
  Press(C<QPushButton>(s, "BBAdd"));
  Ok(s);
  const Bytes image = Encoded();
  EXPECT_EQ(Slice(image, EvacuationBytes(1), 3), (Bytes{1, 0, 0}));
  EXPECT_EQ(Slice(image, EvacuationBytes(2), 3), (Bytes{0, 0, 1}));
  EXPECT_EQ(Slice(image, EvacuationBytes(3), 3), (Bytes{0, 0, 1}));
  EXPECT_EQ(Slice(image, EvacuationBytes(4), 3), (Bytes{0, 1, 0}));
}

// The pickers stay within their ranges, wrapping at both ends as the user steps them.
TEST_F(SecurityTest, TimesWrapWithinTheirRanges) {
  FourPoints();
  Breaking(1).SetEnabled(true);
  Point(1).SetEvacuation(2, true);
  using S = QDateTimeEdit::Section;
  constexpr S kMin = QDateTimeEdit::HourSection;  // the minutes of a "min sec" picker
  constexpr S kSec = QDateTimeEdit::MinuteSection;
  struct Stroke {
    S section;
    Qt::Key key;
    const char* shown;
  };
  struct Case {
    const char* picker;
    TTimeHM from;
    std::vector<Stroke> strokes;
  };
  const Case cases[] = {
      {"DtpDurUGA", {5, 0}, {{kMin, Qt::Key_Down, "15:00"}}},
      {"DtpDurUGA", {5, 30}, {{kMin, Qt::Key_Down, "15:00"}}},
      {"DtpDurUGA", {15, 0}, {{kMin, Qt::Key_Up, "05:00"}}},
      {"DtpDurUGA", {15, 0}, {{kSec, Qt::Key_Down, "14:59"}, {kMin, Qt::Key_Up, "15:00"}}},
      {"DtpDurUGA", {15, 0}, {{kSec, Qt::Key_Up, "05:00"}}},
      {"DtpDurUGA", {14, 30}, {{kMin, Qt::Key_Up, "05:00"}}},
      {"DtpDurUGA", {10, 0}, {{kSec, Qt::Key_Down, "10:59"}, {kSec, Qt::Key_Up, "10:00"}}},
      {"DtpDelUGA", {0, 4}, {{kSec, Qt::Key_Down, "05:00"}}},
      {"DtpDelUGA", {0, 30}, {{kMin, Qt::Key_Down, "05:00"}}},
      {"DtpDelUGA", {5, 0}, {{kMin, Qt::Key_Up, "00:04"}}},
      {"DtpDelUGA", {5, 0}, {{kSec, Qt::Key_Down, "04:59"}, {kMin, Qt::Key_Up, "05:00"}}},
      {"DtpDelUGA", {5, 0}, {{kSec, Qt::Key_Up, "00:04"}}},
      {"DtpDelUGA", {0, 5}, {{kSec, Qt::Key_Down, "00:04"}}},
      {"DtpDelBr1", {0, 0}, {{kMin, Qt::Key_Down, "05:00"}}},
      {"DtpDelBr1", {0, 0}, {{kSec, Qt::Key_Down, "00:59"}}},
      {"DtpDelBr1", {5, 0}, {{kMin, Qt::Key_Up, "00:00"}}},
      {"DtpDelBr1", {5, 0}, {{kSec, Qt::Key_Down, "04:59"}, {kMin, Qt::Key_Up, "05:00"}}},
      {"DtpDelBr1", {4, 10}, {{kMin, Qt::Key_Up, "00:00"}}},
  };
  for (const Case& c : cases) {
    Evacuation().SetDuration(std::string(c.picker) == "DtpDurUGA" ? c.from : TTimeHM{10, 0});
    Evacuation().SetTime(std::string(c.picker) == "DtpDelUGA" ? c.from : TTimeHM{1, 0});
    Breaking(1).SetTime(std::string(c.picker) == "DtpDelBr1" ? c.from : TTimeHM{0, 0});
    TFormZvoSecurity* s = OpenSecurity();
    auto* picker = C<QTimeEdit>(s, c.picker);
    ASSERT_EQ(Shown(picker), ToQTime(c.from).toString(QStringLiteral("hh:mm")).toStdString()) << c.picker;
    for (const Stroke& k : c.strokes) {
      Step(picker, k.section, k.key);
      EXPECT_EQ(Shown(picker), k.shown) << c.picker << " from " << TimeToStr(c.from);
    }
    C<QPushButton>(s, "BitBtnAnnuler")->click();
    ASSERT_TRUE(WaitNoChild());
  }
}

// A breaking delay above half a minute is shown in red, as loaded and as stepped.
TEST_F(SecurityTest, ALongBreakingDelayIsRed) {
  FourPoints();
  Breaking(1).SetEnabled(true);
  Point(1).SetEvacuation(2, true);
  struct Case {
    TTimeHM delay;
    bool red;
  };
  const Case cases[] = {{{0, 0}, false}, {{0, 30}, false}, {{0, 31}, true}, {{1, 0}, true}, {{5, 0}, true}};
  for (const Case& c : cases) {
    Breaking(1).SetTime(c.delay);
    TFormZvoSecurity* s = OpenSecurity();
    auto* picker = C<QTimeEdit>(s, "DtpDelBr1");
    EXPECT_EQ(Red(picker), c.red) << TimeToStr(c.delay);
    if (!c.red) {
      EXPECT_EQ(picker->palette().color(QPalette::Base), Normal(picker)) << TimeToStr(c.delay);
    }
    C<QPushButton>(s, "BitBtnAnnuler")->click();
    ASSERT_TRUE(WaitNoChild());
  }

  Breaking(1).SetTime({0, 30});
  TFormZvoSecurity* s = OpenSecurity();
  auto* picker = C<QTimeEdit>(s, "DtpDelBr1");
  Step(picker, QDateTimeEdit::MinuteSection, Qt::Key_Up);
  ASSERT_EQ(Shown(picker), "00:31");
  EXPECT_TRUE(Red(picker));
  Step(picker, QDateTimeEdit::MinuteSection, Qt::Key_Down);
  ASSERT_EQ(Shown(picker), "00:30");
  EXPECT_FALSE(Red(picker));
  EXPECT_EQ(picker->palette().color(QPalette::Base), Normal(picker));
}

// "Activated" with no point chosen is dropped at OK: the function stays off with no delay.
TEST_F(SecurityTest, ActivatingWithoutAPointIsDroppedAtOk) {
  FourPoints();
  TFormZvoSecurity* s = OpenSecurity();
  auto* delay = C<QTimeEdit>(s, "DtpDelBr1");
  EXPECT_EQ(BreakingControlsShown(s, 1), std::vector<bool>(8, false));
  Tick(C<QCheckBox>(s, "CBBreak1"));
  ASSERT_TRUE(C<QCheckBox>(s, "CBBreak1")->isChecked());
  EXPECT_EQ(s->CurrentTag(), 10);
  EXPECT_EQ(BreakingControlsShown(s, 1), std::vector<bool>(8, true));
  Step(delay, QDateTimeEdit::HourSection, Qt::Key_Up);
  ASSERT_EQ(Shown(delay), "01:00");
  Ok(s);
  EXPECT_TRUE(Root().Modified());
  EXPECT_FALSE(Breaking(1).IsEnabled());
  EXPECT_EQ(Breaking(1).Time(), (TTimeHM{0, 0}));
  const Bytes image = Encoded();
  EXPECT_EQ(Slice(image, kBreaking1, 8), Bytes(8, 0));
  EXPECT_EQ(Slice(image, kBreaking2, 8), Bytes(8, 0));
  for (int a = 1; a <= 4; ++a) EXPECT_EQ(Slice(image, EvacuationBytes(a), 3), Bytes(3, 0)) << a;
}

// Unchecking "Activated" resets the delay at once, goes back to the evacuation function's
// full list and hides the function's controls; OK then drops its points.
TEST_F(SecurityTest, UncheckingActivatedResetsTheFunction) {
  FourPoints();
  Breaking(1).SetEnabled(true);
  Breaking(1).SetTime({2, 0});
  Point(2).SetEvacuation(2, true);
  Point(2).SetEvacuation(1, true);
  TFormZvoSecurity* s = OpenSecurity();
  auto* box = C<QCheckBox>(s, "CBBreak1");
  auto* delay = C<QTimeEdit>(s, "DtpDelBr1");
  ASSERT_TRUE(box->isChecked());
  EXPECT_EQ(Shown(delay), "02:00");
  EXPECT_TRUE(Red(delay));
  // Breaking function 2 is off: none of its controls but its box.
  EXPECT_TRUE(C(s, "CBBreak2")->isVisibleTo(s));
  EXPECT_EQ(BreakingControlsShown(s, 2), std::vector<bool>(8, false));
  EXPECT_EQ(BreakingControlsShown(s, 1), std::vector<bool>(8, true));

  Press(Category(s, 1, 2));
  ASSERT_EQ(Listed(s, "TVDst"), Addresses{2});
  Tick(box);
  ASSERT_FALSE(box->isChecked());
  EXPECT_EQ(Shown(delay), "00:00");
  EXPECT_FALSE(Red(delay));
  EXPECT_EQ(s->CurrentTag(), 0);
  EXPECT_TRUE(Category(s, 0, 0)->isChecked());
  EXPECT_FALSE(Category(s, 1, 2)->isChecked());
  EXPECT_EQ(C<QLabel>(s, "LabelSrc")->text(), QStringLiteral("Available Points"));
  EXPECT_EQ(Listed(s, "TVSrc"), (Addresses{1, 3, 4}));
  EXPECT_EQ(Listed(s, "TVDst"), Addresses{2});
  EXPECT_TRUE(box->isVisibleTo(s));
  EXPECT_EQ(BreakingControlsShown(s, 1), std::vector<bool>(8, false));

  Ok(s);
  EXPECT_FALSE(Breaking(1).IsEnabled());
  EXPECT_FALSE(Point(2).Evacuation(2));
  const Bytes image = Encoded();
  EXPECT_EQ(Slice(image, kBreaking1, 8), Bytes(8, 0));
  EXPECT_EQ(Slice(image, EvacuationBytes(2), 3), (Bytes{1, 0, 0}));
}

// OK writes the chosen points, the times, the re-arm flag and each function's switch; an
// enabled function no longer shares its relay with any group.
TEST_F(SecurityTest, OkWritesTheFunctions) {
  FourPoints();
  Breaking(1).SetEnabled(true);
  Breaking(1).SetTime({0, 20});
  Breaking(1).Groups()->Add(7);
  Breaking(1).Groups()->Add(40);
  Point(1).SetEvacuation(2, true);
  Breaking(2).Groups()->Add(9);  // emptied as well once activated
  TFormZvoSecurity* s = OpenSecurity();

  Press(C<QPushButton>(s, "BBAddAll"));
  Tick(C<QCheckBox>(s, "cbCAux_Rearm"));
  ASSERT_TRUE(C<QCheckBox>(s, "cbCAux_Rearm")->isChecked());
  Step(C<QTimeEdit>(s, "DtpDelUGA"), QDateTimeEdit::HourSection, Qt::Key_Up);
  Step(C<QTimeEdit>(s, "DtpDurUGA"), QDateTimeEdit::HourSection, Qt::Key_Up);
  Step(C<QTimeEdit>(s, "DtpDelBr1"), QDateTimeEdit::MinuteSection, Qt::Key_Up);
  Tick(C<QCheckBox>(s, "CBBreak2"));
  Press(Category(s, 2, 4));
  Pick(s, "TVSrc", 4);
  Press(C<QPushButton>(s, "BBAdd"));
  Step(C<QTimeEdit>(s, "DtpDelBr2"), QDateTimeEdit::MinuteSection, Qt::Key_Down);
  Ok(s);

  EXPECT_TRUE(Root().Modified());
  EXPECT_TRUE(Breaking(1).Groups()->Empty());
  EXPECT_TRUE(Breaking(2).Groups()->Empty());
  const Bytes image = Encoded();
  EXPECT_EQ(image[kAuxContact], 1);
  EXPECT_EQ(Slice(image, kEvacuationTimes, 4), (Bytes{1, 4, 6, 0}));
  EXPECT_EQ(Slice(image, kBreaking1, 8), (Bytes{1, 0, 21, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Slice(image, kBreaking2, 8), (Bytes{1, 0, 59, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Slice(image, EvacuationBytes(1), 3), (Bytes{1, 1, 0}));
  EXPECT_EQ(Slice(image, EvacuationBytes(2), 3), (Bytes{1, 0, 0}));
  EXPECT_EQ(Slice(image, EvacuationBytes(3), 3), (Bytes{1, 0, 0}));
  EXPECT_EQ(Slice(image, EvacuationBytes(4), 3), (Bytes{1, 0, 1}));

  // Unticked, the re-arm flag is written as 0.
  s = OpenSecurity();
  Tick(C<QCheckBox>(s, "cbCAux_Rearm"));
  ASSERT_FALSE(C<QCheckBox>(s, "cbCAux_Rearm")->isChecked());
  Ok(s);
  EXPECT_EQ(Encoded()[kAuxContact], 0);
}

// OK at once writes the site back as loaded, stored values other than 1 included; only the
// modified flag changes.
TEST_F(SecurityTest, OkAtOnceKeepsTheImage) {
  FourPoints();
  Evacuation().SetTime({1, 30});
  Evacuation().SetDuration({7, 15});
  Breaking(2).SetEnabled(true);
  Breaking(2).SetTime({0, 25});
  Point(1).SetEvacuation(1, true);
  Point(3).SetEvacuation(3, true);
  Encoded();
  Patch(kAuxContact, {2});
  Patch(EvacuationBytes(4), {2, 0, 0});
  Root().SetModified(false);
  const Bytes loaded = Encoded();
  ASSERT_EQ(loaded[kAuxContact], 2);

  TFormZvoSecurity* s = OpenSecurity();
  EXPECT_TRUE(C<QCheckBox>(s, "cbCAux_Rearm")->isChecked());
  EXPECT_EQ(Shown(C<QTimeEdit>(s, "DtpDelUGA")), "01:30");
  EXPECT_EQ(Shown(C<QTimeEdit>(s, "DtpDurUGA")), "07:15");
  EXPECT_EQ(Shown(C<QTimeEdit>(s, "DtpDelBr2")), "00:25");
  EXPECT_EQ(Listed(s, "TVDst"), (Addresses{1, 4}));
  Ok(s);
  EXPECT_TRUE(Root().Modified());
  EXPECT_EQ(Encoded(), loaded);
}

// Times outside the pickers' ranges, as another tool may have stored them, stay as loaded
// while the user leaves them alone.
TEST_F(SecurityTest, StoredTimesOutsideTheRangesAreKeptUntilEdited) {
  FourPoints();
  Breaking(1).SetEnabled(true);
  Point(1).SetEvacuation(2, true);
  Encoded();
  Patch(kEvacuationTimes, {0, 2, 20, 0});
  Patch(kBreaking1 + 1, {6, 0});
  const Bytes loaded = Encoded();

  TFormZvoSecurity* s = OpenSecurity();
  EXPECT_EQ(Shown(C<QTimeEdit>(s, "DtpDelUGA")), "00:02");
  EXPECT_EQ(Shown(C<QTimeEdit>(s, "DtpDurUGA")), "20:00");
  EXPECT_EQ(Shown(C<QTimeEdit>(s, "DtpDelBr1")), "06:00");
  EXPECT_TRUE(Red(C<QTimeEdit>(s, "DtpDelBr1")));
  Ok(s);
  const Bytes image = Encoded();
  EXPECT_EQ(Slice(image, kEvacuationTimes, 4), (Bytes{0, 2, 20, 0}));
  EXPECT_EQ(Slice(image, kBreaking1, 3), (Bytes{1, 6, 0}));
  EXPECT_EQ(image, loaded);
}

// Cancel discards every change made in the window.
TEST_F(SecurityTest, CancelChangesNothing) {
  FourPoints();
  Breaking(1).SetEnabled(true);
  Breaking(1).SetTime({0, 40});
  Breaking(1).Groups()->Add(12);
  Point(2).SetEvacuation(2, true);
  Point(3).SetEvacuation(1, true);
  Encoded();
  Reload();
  Root().SetModified(false);
  const Bytes loaded = Encoded();

  QPointer<TFormZvoSecurity> s = OpenSecurity();
  Press(C<QPushButton>(s, "BBAddAll"));
  Tick(C<QCheckBox>(s, "cbCAux_Rearm"));
  Step(C<QTimeEdit>(s, "DtpDurUGA"), QDateTimeEdit::HourSection, Qt::Key_Up);
  Tick(C<QCheckBox>(s, "CBBreak2"));
  Press(C<QPushButton>(s, "BBAddAll"));
  Tick(C<QCheckBox>(s, "CBBreak1"));
  auto* cancel = C<QPushButton>(s, "BitBtnAnnuler");
  ASSERT_EQ(cancel->text(), QStringLiteral("&Cancel"));
  Press(cancel);
  ASSERT_TRUE(WaitNoChild());
  EXPECT_FALSE(s);
  EXPECT_FALSE(Root().Modified());
  EXPECT_TRUE(Breaking(1).IsEnabled());
  EXPECT_FALSE(Breaking(2).IsEnabled());
  EXPECT_TRUE(Breaking(1).Groups()->Contains(12));
  for (int a = 1; a <= 4; ++a) {
    for (int n = 1; n <= 3; ++n) EXPECT_EQ(Point(a).Evacuation(n), (a == 2 && n == 2) || (a == 3 && n == 1)) << a << n;
  }
  EXPECT_EQ(Encoded(), loaded);
}

}  // namespace
