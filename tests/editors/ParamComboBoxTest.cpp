#include "editors/ParamComboBox.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QFontMetrics>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "model/Contexte.h"
#include "model/Points.h"
#include "platform/StringList.h"
#include "shell/UiText.h"
#include "support/Patience.h"
#include "support/TempHome.h"

namespace {

const QString kWidest = QStringLiteral("Interactive double optical multicriteria");
constexpr int kBoxWidth = 120;

void FillPointTypes(QComboBox& box) {
  platform::StringList types;
  FillPointTypeList(types);
  box.clear();
  for (int i = 0; i < types.Count(); ++i) box.addItem(FromAnsi(types[i]));
}

// Width of a text in the box's font at normal weight.
int Plain(const QComboBox& box, const QString& text) {
  QFont font = box.font();
  font.setWeight(QFont::Normal);
  return QFontMetrics(font).horizontalAdvance(text);
}

// The scroll bar's width and its thumb's smallest length.
int ScrollBarRoom(const QComboBox& box) {
  const QScrollBar* bar = box.view()->verticalScrollBar();
  return bar->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, bar) +
         bar->style()->pixelMetric(QStyle::PM_ScrollBarSliderMin, nullptr, bar);
}

class DropDownWidthTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GetContexte().SetCurrentPanelType(7);
    GetContexte().SetAvsa(false);
    box_.setFixedWidth(kBoxWidth);
    ASSERT_EQ(box_.width(), kBoxWidth);
  }

  TempHome home_;
  QComboBox box_;
};

TEST_F(DropDownWidthTest, ThePointTypeListHoldsItsWidestItem) {
  FillPointTypes(box_);
  ASSERT_GE(box_.findText(kWidest), 0);
  for (int i = 0; i < box_.count(); ++i) {
    EXPECT_LE(Plain(box_, box_.itemText(i)), Plain(box_, kWidest)) << box_.itemText(i).toStdString();
  }
  EXPECT_GT(Plain(box_, kWidest), kBoxWidth);
  // Else the bold case below would prove nothing.
  QFont bold = box_.font();
  bold.setBold(true);
  EXPECT_GT(QFontMetrics(bold).horizontalAdvance(kWidest), Plain(box_, kWidest));
}

TEST_F(DropDownWidthTest, WidthsOfTheCases) {
  enum class Items { PointTypes, Empty, Short };
  const struct {
    const char* name;
    Items items;
    std::function<void(QFont&)> font;
    int minimum;
    // Expected width from the widest item (box's font at normal weight) and the scroll-bar room.
    std::function<int(int widest, int room)> expected;
  } cases[] = {
      {"measured from -1", Items::PointTypes, {}, -1, [](int w, int r) { return w + r; }},
      {"measured from just below the box", Items::PointTypes, {}, kBoxWidth - 1, [](int w, int r) { return w + r; }},
      {"box width applied unmeasured", Items::PointTypes, {}, kBoxWidth, [](int, int) { return kBoxWidth; }},
      {"wider minimum applied unmeasured", Items::PointTypes, {}, 500, [](int, int) { return 500; }},
      {"empty list from -1", Items::Empty, {}, -1, [](int, int r) { return -1 + r; }},
      {"empty list from far below zero", Items::Empty, {}, -100, [](int, int r) { return -100 + r; }},
      {"minimum wider than the items", Items::Short, {}, 100, [](int, int r) { return 100 + r; }},
      {"bold box measured plain", Items::PointTypes, [](QFont& f) { f.setBold(true); }, -1,
       [](int w, int r) { return w + r; }},
      {"box's own font", Items::PointTypes, [](QFont& f) { f.setPixelSize(30); }, -1,
       [](int w, int r) { return w + r; }},
  };
  for (const auto& c : cases) {
    box_.setFont(QFont());
    if (c.font) {
      QFont font = box_.font();
      c.font(font);
      box_.setFont(font);
    }
    box_.clear();
    if (c.items == Items::PointTypes) FillPointTypes(box_);
    if (c.items == Items::Short) box_.addItems({QStringLiteral("A"), QStringLiteral("BB")});
    box_.view()->setMinimumWidth(0);

    const int expected = c.expected(Plain(box_, kWidest), ScrollBarRoom(box_));
    EXPECT_EQ(AdjustDropDownWidth(c.minimum, &box_), expected) << c.name;
    EXPECT_EQ(box_.view()->minimumWidth(), std::max(expected, 0)) << c.name;
  }
}

TEST_F(DropDownWidthTest, TheOpenListIsNeverNarrowerThanItsWidestItem) {
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  auto* box = new QComboBox(&window);
  box->setFixedWidth(kBoxWidth);
  layout->addWidget(box);
  FillPointTypes(*box);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window, testwait::kPatienceMs));

  const int applied = AdjustDropDownWidth(-1, box);
  box->showPopup();
  QWidget* popup = box->view()->window();
  ASSERT_TRUE(QTest::qWaitFor([&] { return popup->isVisible(); }, testwait::kPatienceMs));
  EXPECT_EQ(box->width(), kBoxWidth);
  EXPECT_GE(box->view()->width(), applied);
  EXPECT_GE(popup->width(), Plain(*box, kWidest));
  box->hidePopup();
}

}  // namespace
