// The evacuation function and the two breaking functions.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ElementSite.h"
#include "model/Points.h"
#include "model/Security.h"

namespace {

constexpr std::size_t kAuxContact = 10235;
constexpr std::size_t kEvacuation = 10283;
constexpr std::size_t kBreaking1 = 10287;
constexpr std::size_t kBreaking2 = 10295;

class Security : public ElementSite {
 protected:
  TSecurity& Sec() { return *Root().Security(); }
};

TEST_F(Security, FreshSiteBytesAndDefaults) {
  EXPECT_EQ(Bytes(kEvacuation, 4), (std::vector<int>{0, 4, 5, 0}));
  EXPECT_EQ(At(kAuxContact), 0);
  EXPECT_EQ(Bytes(kBreaking1, 16), std::vector<int>(16, 0));
  EXPECT_EQ(Sec().Evacuation()->DefaultTime(), (TTimeHM{0, 4}));
  EXPECT_EQ(Sec().Evacuation()->DefaultTimeB(), (TTimeHM{5, 0}));
  EXPECT_EQ(Sec().Breaking(1)->DefaultTime(), (TTimeHM{0, 0}));
  EXPECT_FALSE(Sec().IsEnabled());
}

TEST_F(Security, EvacuationRoundTrips) {
  TFoncUGA& e = *Sec().Evacuation();
  e.SetTime({2, 30});
  e.SetDuration({10, 0});
  e.SetAuxContactFlag(0x101);  // only its low byte is stored
  Encode();
  EXPECT_EQ(Bytes(kEvacuation, 4), (std::vector<int>{2, 30, 10, 0}));
  EXPECT_EQ(At(kAuxContact), 1);
  e.Reset();
  Redecode();
  EXPECT_EQ(e.Time(), (TTimeHM{2, 30}));
  EXPECT_EQ(e.Duration(), (TTimeHM{10, 0}));
  EXPECT_EQ(e.AuxContactFlag(), 1);
}

TEST_F(Security, InvalidTimesFallBackToTheDefaults) {
  struct Case {
    std::vector<int> bytes;  // delay hour, minute, duration hour, minute
    TTimeHM delay;
    TTimeHM duration;
  };
  const Case cases[] = {
      {{0, 4, 30, 10}, {0, 4}, {5, 0}},
      {{24, 0, 23, 59}, {0, 4}, {23, 59}},
      {{1, 60, 0, 0}, {0, 4}, {0, 0}},
      {{23, 59, 5, 0}, {23, 59}, {5, 0}},
  };
  TFoncUGA& e = *Sec().Evacuation();
  for (const Case& c : cases) {
    Poke(kEvacuation, {c.bytes[0], c.bytes[1], c.bytes[2], c.bytes[3]});
    Redecode();
    EXPECT_EQ(e.Time(), c.delay) << c.bytes[0] << "," << c.bytes[1];
    EXPECT_EQ(e.Duration(), c.duration) << c.bytes[2] << "," << c.bytes[3];
    Encode();
    EXPECT_EQ(Bytes(kEvacuation, 4),
              (std::vector<int>{c.delay.hour, c.delay.minute, c.duration.hour, c.duration.minute}));
  }
}

TEST_F(Security, BreakingRecordRoundTrips) {
  TFoncBrk& b = *Sec().Breaking(2);
  b.SetEnabled(true);
  b.SetTime({1, 15});
  b.Groups()->Add(9);
  b.Groups()->Add(3);
  Encode();
  EXPECT_EQ(Bytes(kBreaking2, 8), (std::vector<int>{1, 1, 15, 3, 9, 0, 0, 0}));
  EXPECT_EQ(Bytes(kBreaking1, 8), std::vector<int>(8, 0));
  b.Reset();
  EXPECT_FALSE(b.IsEnabled());
  Poke(kBreaking2, {5});
  Poke(kBreaking1 + 1, {30, 10});
  Redecode();
  EXPECT_TRUE(b.IsEnabled());
  EXPECT_EQ(b.Time(), (TTimeHM{1, 15}));
  EXPECT_EQ(b.Groups()->Groups(), (std::set<int>{3, 9}));
  EXPECT_EQ(Sec().Breaking(1)->Time(), (TTimeHM{0, 0})) << "not a time: the default";
  EXPECT_TRUE(Sec().IsEnabled());
  Encode();
  EXPECT_EQ(At(kBreaking2), 1);
}

TEST_F(Security, BreakingFunctionNamesAndChecks) {
  TFoncBrk& b1 = *Sec().Breaking(1);
  TFoncBrk& b2 = *Sec().Breaking(2);
  EXPECT_EQ(b1.ShortName(), "On board - Relay 6 - (Breaking function 1 by default)");
  EXPECT_EQ(b2.ShortName(), "On board - Relay 7 - (Breaking function 2 by default)");
  EXPECT_EQ(b2.ImageIndex(), 10);
  EXPECT_TRUE(b2.Check(nullptr));
  EXPECT_EQ(b2.CheckText(), "");
  b2.Groups()->Add(7);
  platform::StringList list;
  EXPECT_FALSE(b2.Check(&list));
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list[0], "Relay 7 used in another function than the default one");
  EXPECT_EQ(b2.CheckText(), list[0]);
}

TEST_F(Security, FunctionsAreUsedOnlyOnPanelTypes3And5And9) {
  for (std::uint8_t t = 1; t <= 11; ++t) {
    GetContexte().SetCurrentPanelType(t);
    bool expected = t == 3 || t == 5 || t == 9;
    EXPECT_EQ(Sec().Evacuation()->IsUsed(), expected) << int(t);
    EXPECT_EQ(Sec().Breaking(1)->IsUsed(), expected) << int(t);
    EXPECT_EQ(Sec().Breaking(2)->IsUsed(), expected) << int(t);
  }
}

TEST_F(Security, EvacuationIsEnabledByAPointInUseWithSelectionOne) {
  TFoncUGA& e = *Sec().Evacuation();
  Point(4).SetEvacuation(1, true);
  EXPECT_FALSE(e.IsEnabled()) << "point not in use";
  Point(5).SetType(2);
  Point(5).SetEvacuation(2, true);
  Point(5).SetEvacuation(3, true);
  EXPECT_FALSE(e.IsEnabled()) << "only selection 1 counts";
  Point(4).SetType(26);
  EXPECT_TRUE(e.IsEnabled());
  EXPECT_TRUE(Sec().IsEnabled());
  e.SetTime({0, 0});
  e.SetDuration({0, 0});
  EXPECT_TRUE(e.IsEnabled()) << "whatever its times";

  Encode();
  EXPECT_EQ(Bytes(5907 + 32 * 3 + 29, 3), (std::vector<int>{1, 0, 0}));
  EXPECT_EQ(Bytes(5907 + 32 * 4 + 29, 3), (std::vector<int>{0, 1, 1}));
}

}  // namespace
