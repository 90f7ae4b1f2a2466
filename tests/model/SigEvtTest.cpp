// The 28 signals and events: names and availability by panel type, group tables.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ElementSite.h"
#include "model/SigEvt.h"

namespace {

constexpr std::size_t kTables = 10088;

bool In(int t, std::initializer_list<int> types) {
  for (int x : types) {
    if (x == t) return true;
  }
  return false;
}

class SignalsByPanelType : public ElementSite, public ::testing::WithParamInterface<int> {
 protected:
  SignalsByPanelType() : ElementSite(static_cast<std::uint8_t>(GetParam())) {}
  TSigEvt& Sig(int index) { return *Root().SigEvt()->GetSigEvt(index); }
};

TEST_P(SignalsByPanelType, NamesAndUse) {
  const int t = GetParam();
  const bool alert = In(t, {2, 4, 8});
  EXPECT_EQ(Sig(8).LabelText(), alert ? "Alert output active LED" : "Report output active LED");
  EXPECT_EQ(Sig(9).LabelText(), alert ? "Alert output fault LED" : "Report output fault LED");
  EXPECT_EQ(Sig(15).LabelText(), alert ? "Alert output disabled LED" : "Report output disabled");
  EXPECT_EQ(Sig(8).Caption(), Sig(8).LabelText());
  EXPECT_EQ(Sig(8).ShortName(), Sig(8).LabelText());

  struct Expect {
    int index;
    bool used;
  };
  const Expect expects[] = {
      {0, true},
      {7, true},
      {16, true},
      {22, true},
      {8, In(t, {2, 4, 6, 7, 8, 10, 11})},
      {9, In(t, {2, 4, 6, 7, 8, 10, 11})},
      {15, In(t, {2, 4, 6, 7, 8, 10, 11})},
      {10, In(t, {3, 5, 9})},
      {14, In(t, {3, 5, 9})},
      {23, In(t, {3, 5, 9})},
      {24, In(t, {3, 5, 9})},
      {25, In(t, {6, 7, 10, 11})},
      {26, false},
      {27, false},
  };
  for (const Expect& e : expects) {
    TSigEvt& s = Sig(e.index);
    s.Groups()->Add(21);
    EXPECT_EQ(s.IsUsed(), e.used) << "index " << e.index;
    EXPECT_EQ(s.Groups()->Contains(21), e.used) << "index " << e.index << ": asking empties an unavailable one";
  }
}

INSTANTIATE_TEST_SUITE_P(AllTypes, SignalsByPanelType, ::testing::Range(1, 12));

using Signals = ElementSite;
using SignalsOfType3 = SiteOfType<3>;

TEST_F(Signals, KindsAndIndexes) {
  TGstSigEvt& g = *Root().SigEvt();
  ASSERT_EQ(g.Count(), 28);
  EXPECT_EQ(g.GetSigEvt(28), nullptr);
  EXPECT_EQ(g.GetSigEvt(-1), nullptr);
  EXPECT_TRUE(g.GetSigEvt(15)->IsSignal());
  EXPECT_EQ(g.GetSigEvt(15)->ImageIndex(), 4);
  EXPECT_FALSE(g.GetSigEvt(16)->IsSignal());
  EXPECT_EQ(g.GetSigEvt(16)->ImageIndex(), 5);
  EXPECT_TRUE(g.GetSigEvt(20)->IsPanelReset());
  EXPECT_EQ(g.GetSigEvt(20)->LabelText(), "Panel reset");
  EXPECT_EQ(g.GetSigEvt(0)->LabelText(), "Fire Alarm LED");
  EXPECT_EQ(g.GetSigEvt(25)->LabelText(), "Evacuation relay active");
  EXPECT_EQ(g.GetSigEvt(26)->LabelText(), "???");
  EXPECT_EQ(g.GetSigEvt(27)->LabelText(), "???");
  EXPECT_EQ(g.GetSigEvt(27)->Index(), 26);
  EXPECT_EQ(g.GetSigEvt(27)->Category(), 4);
}

TEST_F(Signals, GroupTablesRoundTrip) {
  TGstSigEvt& g = *Root().SigEvt();
  g.GetSigEvt(0)->Groups()->Add(7);
  g.GetSigEvt(21)->Groups()->Add(99);
  g.GetSigEvt(21)->Groups()->Add(1);
  Encode();
  EXPECT_EQ(Bytes(kTables, 5), (std::vector<int>{7, 0, 0, 0, 0}));
  EXPECT_EQ(Bytes(kTables + 5 * 21, 5), (std::vector<int>{1, 99, 0, 0, 0}));

  Poke(kTables + 5 * 27, {4});  // the last one keeps its own bytes, despite its index 26
  Poke(kTables + 5 * 2, {30, 31});
  Redecode();
  EXPECT_TRUE(g.GetSigEvt(27)->Groups()->Contains(4));
  EXPECT_FALSE(g.GetSigEvt(26)->Groups()->Contains(4));
  EXPECT_EQ(g.GetSigEvt(2)->Groups()->Groups(), (std::set<int>{30, 31}));
}

TEST_F(SignalsOfType3, UnavailableSignalsAreSkippedAndCleared) {
  TGstSigEvt& g = *Root().SigEvt();
  g.GetSigEvt(8)->Groups()->Add(5);   // category 1: not on type 3
  g.GetSigEvt(27)->Groups()->Add(5);  // never available
  g.GetSigEvt(12)->Groups()->Add(6);  // category 2: type 3 has it
  EXPECT_EQ(g.FindByGroup(5), nullptr);
  EXPECT_TRUE(g.GetSigEvt(8)->Groups()->Empty());
  EXPECT_TRUE(g.GetSigEvt(27)->Groups()->Empty());
  EXPECT_EQ(g.FindByGroup(6), g.GetSigEvt(12));
  EXPECT_EQ(g.GroupUseCount(6), 1);

  g.GetSigEvt(20)->Groups()->Add(6);
  EXPECT_EQ(g.FindByGroup(6), g.GetSigEvt(12)) << "first in index order";
  EXPECT_EQ(g.GroupUseCount(6), 2);
  g.GetSigEvt(9)->Groups()->Add(6);
  EXPECT_EQ(g.GroupUseCount(6), 2);
  EXPECT_EQ(g.UsedCount() + g.UnusedCount(), 28);
}

}  // namespace
