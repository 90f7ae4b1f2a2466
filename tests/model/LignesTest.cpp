// Open lines and loops, and the switch between the two line systems.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ElementSite.h"
#include "model/Lignes.h"
#include "model/Points.h"

namespace {

constexpr std::size_t kLineSystem = 272;

class Lines : public ElementSite {
 protected:
  TGstLignes& Gst() { return *Root().Lignes(); }
  TLignes& Line(int number) { return *Gst().GetLine(number - 1); }
  TPoints& Point(int address) { return *Root().Points()->GetPoint(address - 1); }
  void AddPoints(int first, int count, int line, int zone = 0) {
    for (int a = first; a < first + count; ++a) {
      Point(a).SetType(2);
      Point(a).SetLine(line);
      Point(a).SetZone(zone);
    }
  }
  std::vector<int> LineNumbers(std::initializer_list<int> addresses) {
    std::vector<int> out;
    for (int a : addresses) out.push_back(Point(a).LineNumber());
    return out;
  }
};

TEST_F(Lines, FreshSiteHasTwoEmptyLoops) {
  TGstLignes& g = Gst();
  EXPECT_TRUE(g.IsLoopSystem());
  ASSERT_EQ(g.Count(), 2);
  EXPECT_EQ(g.GetLine(2), nullptr);
  EXPECT_EQ(At(kLineSystem), 1);
  EXPECT_EQ(Line(2).ShortName(), "Loop 2");
  EXPECT_EQ(Line(2).LabelText(), "Loop 2");
  EXPECT_EQ(Line(1).Caption(), "Loop 1 - empty");
  EXPECT_EQ(Line(1).CheckText(), "Loop 1 is empty.");
  EXPECT_EQ(Line(1).ImageIndex(), 11);
  EXPECT_TRUE(Line(1).IsUsed());
  EXPECT_EQ(g.PluralTitle(), "Loops ");
}

TEST_F(Lines, LineSystemByte) {
  struct Case {
    int byte;
    bool loops;
    int count;
    int written;
  };
  const Case cases[] = {{0, false, 4, 0}, {1, true, 2, 1}, {7, true, 2, 1}, {0, false, 4, 0}};
  for (const Case& c : cases) {
    Poke(kLineSystem, {c.byte});
    Redecode();
    EXPECT_EQ(Gst().IsLoopSystem(), c.loops) << c.byte;
    EXPECT_EQ(Gst().Count(), c.count) << c.byte;
    Encode();
    EXPECT_EQ(At(kLineSystem), c.written) << c.byte;
  }
  EXPECT_EQ(Line(4).ShortName(), "Line 4");
  EXPECT_EQ(Gst().PluralTitle(), "Lines ");
}

TEST_F(Lines, SwitchingSystemsRemapsThePoints) {
  Gst().SetLoopSystem(false);
  AddPoints(1, 1, 1);
  AddPoints(2, 1, 2);
  AddPoints(3, 1, 3);
  AddPoints(4, 1, 4);
  AddPoints(5, 1, 0);
  Point(6).SetLine(4);  // not in use: left as it is

  Gst().SetLoopSystem(true);
  EXPECT_EQ(LineNumbers({1, 2, 3, 4, 5, 6}), (std::vector<int>{1, 1, 2, 2, 1, 4}));
  EXPECT_EQ(Line(1).Count(), 3);
  EXPECT_EQ(Line(2).Count(), 2);

  Gst().SetLoopSystem(false);
  EXPECT_EQ(LineNumbers({1, 2, 3, 4, 5}), (std::vector<int>{1, 1, 3, 3, 1}));
  EXPECT_EQ(Line(1).Count(), 3);
  EXPECT_EQ(Line(2).Count(), 0);
  EXPECT_EQ(Line(3).Count(), 2);
  EXPECT_EQ(Line(4).Count(), 0);

  Encode();
  EXPECT_EQ(At(kLineSystem), 0);
  EXPECT_EQ(At(5907 + 32 * 2), 3) << "point 3's line byte";
}

TEST_F(Lines, SettingTheCurrentSystemNeitherRebuildsNorRenumbers) {
  AddPoints(1, 2, 2);
  TLignes* before = Gst().GetLine(1);
  Gst().SetLoopSystem(true);
  EXPECT_EQ(Gst().GetLine(1), before);
  EXPECT_EQ(Point(1).LineNumber(), 2);
  EXPECT_EQ(Line(2).Count(), 2);
}

TEST_F(Lines, ResetReturnsToLoopsWithoutRenumbering) {
  Gst().SetLoopSystem(false);
  AddPoints(1, 1, 4);
  Gst().Reset();
  EXPECT_TRUE(Gst().IsLoopSystem());
  EXPECT_EQ(Point(1).LineNumber(), 4);
}

TEST_F(Lines, OpenLinesHoldAtMost32Points) {
  Gst().SetLoopSystem(false);
  AddPoints(1, 33, 1);
  AddPoints(34, 32, 2);
  platform::StringList list;
  EXPECT_FALSE(Line(1).Check(&list));
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list[0], "More than 32 points are declared on line 1.");
  EXPECT_EQ(Line(1).ImageIndex(), 9);
  EXPECT_TRUE(Line(2).Check(nullptr));
  EXPECT_EQ(Line(2).ImageIndex(), 8);
  EXPECT_EQ(Line(2).CheckText(), "");
  EXPECT_EQ(Line(3).CheckText(), "Line 3 is empty.");
  EXPECT_EQ(Line(3).ImageIndex(), 9);

  Gst().SetLoopSystem(true);
  EXPECT_EQ(Line(1).Count(), 65);
  EXPECT_TRUE(Line(1).Check(nullptr)) << "loops have no upper bound";
  EXPECT_EQ(Line(1).ImageIndex(), 10);
}

TEST_F(Lines, CaptionCountsDistinctZones) {
  Gst().SetLoopSystem(false);
  AddPoints(1, 2, 1, 2);
  AddPoints(3, 1, 1, 5);
  AddPoints(10, 1, 2, 0);
  AddPoints(11, 2, 3, 4);
  EXPECT_EQ(Line(1).ZoneCount(), 2);
  EXPECT_EQ(Line(1).Caption(), "Line 1 - 3 points - 2 zones");
  EXPECT_EQ(Line(2).Caption(), "Line 2 - 1 point - 1 zone") << "no zone counts as zone 0";
  EXPECT_EQ(Line(3).Caption(), "Line 3 - 2 points - 1 zone");
  EXPECT_EQ(Line(4).Caption(), "Line 4 - empty");
}

TEST(LineSystemList, Texts) {
  platform::StringList list;
  list.Add("stale");
  TGstLignes::FillSystemList(list);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0], "Open Lines");
  EXPECT_EQ(list[1], "Loop System");
}

}  // namespace
