// The 128 point records, their types by panel type, and the points manager's queries.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ElementSite.h"
#include "model/Lignes.h"
#include "model/Points.h"
#include "model/Zones.h"

namespace {

constexpr std::size_t kPoints = 5907;
constexpr std::size_t Record(int address) { return kPoints + 32 * static_cast<std::size_t>(address - 1); }

class Points : public ElementSite {
 protected:
  TGstPoints& Gst() { return *Root().Points(); }
  TPoints& Point(int address) { return *Gst().GetPoint(address - 1); }
  void TearDown() override {
    PointCaptionView = 0;
    ElementSite::TearDown();
  }
};

TEST_F(Points, RecordRoundTrips) {
  Root().Lignes()->SetLoopSystem(false);
  TPoints& p = Point(7);
  p.SetType(15);
  p.SetLabel("Input module of the kitchen");  // cut to 20
  p.SetLine(4);
  p.SetZone(99);
  p.SetActiveOutput(true);
  p.SetEvacuation(1, true);
  p.SetEvacuation(3, true);
  p.Groups()->Add(40);
  p.Groups()->Add(3);
  Encode();
  std::vector<int> expected = {4};
  for (char c : std::string("Input module of the ")) expected.push_back(static_cast<unsigned char>(c));
  expected.insert(expected.end(), {15, 99, 3, 40, 0, 0, 0, 1, 1, 0, 1});
  EXPECT_EQ(Bytes(Record(7), 32), expected);
  EXPECT_EQ(Bytes(Record(6), 32), std::vector<int>(32, 0));
  EXPECT_EQ(Bytes(Record(8), 32), std::vector<int>(32, 0));

  p.Reset();
  EXPECT_FALSE(p.IsUsed());
  Redecode();
  EXPECT_EQ(p.Type(), 15);
  EXPECT_EQ(p.Label(), "Input module of the ");
  EXPECT_EQ(p.LineNumber(), 4);
  EXPECT_EQ(p.ZoneNumber(), 99);
  EXPECT_TRUE(p.ActiveOutput());
  EXPECT_TRUE(p.Evacuation(1));
  EXPECT_FALSE(p.Evacuation(2));
  EXPECT_TRUE(p.Evacuation(3));
  EXPECT_EQ(p.Groups()->Groups(), (std::set<int>{3, 40}));
  EXPECT_EQ(Root().Lignes()->GetLine(3)->Count(), 1);
  EXPECT_EQ(Root().Zones()->GetZone(98)->Count(), 1);
}

TEST_F(Points, LineOrZoneByteNamingNothingReadsAsNone) {
  struct Case {
    bool loops;
    int lineByte;
    int zoneByte;
    int line;
    int zone;
  };
  const Case cases[] = {
      {true, 2, 128, 2, 128},  {true, 3, 129, 0, 0},   {true, 255, 255, 0, 0},
      {false, 4, 100, 4, 100}, {false, 5, 200, 0, 0}, {false, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    Root().Lignes()->SetLoopSystem(c.loops);
    Point(1).Reset();
    Poke(272, {c.loops ? 1 : 0});
    Poke(Record(1), {c.lineByte});
    Poke(Record(1) + 21, {2, c.zoneByte});
    Redecode();
    EXPECT_EQ(Point(1).LineNumber(), c.line) << "line byte " << c.lineByte;
    EXPECT_EQ(Point(1).ZoneNumber(), c.zone) << "zone byte " << c.zoneByte;
    EXPECT_EQ(Point(1).Line() != nullptr, c.line != 0);
    EXPECT_EQ(Point(1).Zone() != nullptr, c.zone != 0);
    Encode();
    EXPECT_EQ(At(Record(1)), c.line);
    EXPECT_EQ(At(Record(1) + 22), c.zone);
  }
}

TEST_F(Points, ActiveOutputFlagIsClearedForInputTypes) {
  struct Case {
    int type;
    bool active;
  };
  const Case cases[] = {{6, false}, {14, false}, {18, false}, {15, true}, {7, true}, {2, true}};
  for (const Case& c : cases) {
    Poke(Record(3) + 21, {c.type});
    Poke(Record(3) + 28, {1});
    Redecode();
    EXPECT_EQ(Point(3).ActiveOutput(), c.active) << "type " << c.type;
    Encode();
    EXPECT_EQ(At(Record(3) + 28), c.active ? 1 : 0) << "type " << c.type;
  }
}

TEST_F(Points, InvalidTypeByteKeepsTheType) {
  for (int code : {8, 10, 13, 17, 22, 24, 28, 51, 54, 255}) {
    EXPECT_FALSE(TPoints::IsValidType(code)) << code;
    Poke(Record(2) + 21, {code});
    Redecode();
    EXPECT_EQ(Point(2).Type(), 0) << code;
    EXPECT_FALSE(Point(2).IsUsed()) << code;
  }
  EXPECT_TRUE(Point(2).SetType(19));
  EXPECT_FALSE(Point(2).SetType(8));
  EXPECT_EQ(Point(2).Type(), 19);
}

TEST_F(Points, TypeNamesCategoriesAndImages) {
  struct Case {
    int code;
    const char* name;
    int category;
    int image;
  };
  const Case cases[] = {
      {0, "???", 1, -1},
      {1, "Ionization", 1, 4},
      {3, "Rate of rise", 1, 4},
      {6, "Manual Call Point", 2, 6},
      {7, "Relay Manual Call Point", 2, 6},
      {8, "???", 1, -1},
      {12, "Conventional module", 3, 7},
      {14, "Input module", 4, 5},
      {15, "Input/Output module", 4, 5},
      {16, "Air sampling Fire localization", 1, 4},
      {18, "4-20 input module", 4, 5},
      {25, "Interactive double optical multicriteria", 1, 4},
      {26, "Addressable sounder", 1, 12},
      {27, "Interactive short range beam", 1, 4},
      {52, "Static heat", 1, 4},
      {53, "Combined", 1, 4},
  };
  TPoints& p = Point(1);
  for (const Case& c : cases) {
    EXPECT_EQ(PointTypeName(c.code), c.name) << c.code;
    p.Reset();
    p.SetType(c.code);
    EXPECT_EQ(p.TypeName(), c.name) << c.code;
    EXPECT_EQ(p.Category(), c.category) << c.code;
    EXPECT_EQ(p.ImageIndex(), c.image) << c.code;
  }
}

TEST(PointTypes, ListByPanelType) {
  struct Case {
    std::uint8_t type;
    bool avsa;
    std::vector<std::intptr_t> codes;
  };
  const Case cases[] = {
      {4, true, {19, 20, 6, 21, 23, 27, 11, 14, 12, 15, 9, 1, 5, 18, 25, 16, 52, 53}},
      {5, false, {19, 20, 6, 21, 23, 27, 11, 14, 12, 15, 9, 1, 5, 18, 25, 16, 52, 53}},
      {2, true, {2, 3, 4, 9, 6, 11, 5, 1, 12, 14, 15, 16}},
      {3, true, {2, 3, 4, 9, 6, 11, 5, 1, 12, 14, 15, 16}},
      {7, true, {19, 20, 21, 6, 7, 23, 27, 11, 12, 14, 15, 9, 1, 5, 26, 25, 16, 18, 52, 53}},
      {7, false, {19, 20, 21, 6, 7, 23, 27, 11, 12, 14, 15, 9, 1, 5, 25, 16, 18, 52, 53}},
      {6, true, {19, 20, 21, 6, 7, 23, 27, 11, 14, 15, 12, 9, 26, 1, 5, 18, 25, 16, 52, 53}},
      {10, false, {19, 20, 21, 6, 7, 23, 27, 11, 14, 15, 12, 9, 1, 5, 18, 25, 16, 52, 53}},
      {11, true, {19, 20, 21, 6, 7, 23, 27, 11, 14, 15, 12, 9, 26, 1, 5, 18, 25, 16, 52, 53}},
      {1, true, {}},
      {8, true, {}},
      {9, true, {}},
  };
  TempHome home;
  for (const Case& c : cases) {
    GetContexte().SetCurrentPanelType(c.type);
    GetContexte().SetAvsa(c.avsa);
    platform::StringList list;
    list.Add("stale");
    FillPointTypeList(list);
    std::vector<std::intptr_t> codes;
    for (int i = 0; i < list.Count(); ++i) {
      codes.push_back(list.Object(i));
      EXPECT_EQ(list[i], PointTypeName(static_cast<int>(list.Object(i))));
    }
    EXPECT_EQ(codes, c.codes) << "panel type " << int(c.type) << " avsa " << c.avsa;
  }
  GetContexte().SetCurrentPanelType(3);
  EXPECT_EQ(PointTypeName(3), "Rate of rise / Static heat");
  EXPECT_EQ(DefaultPointType(), 2);
  GetContexte().SetCurrentPanelType(2);
  EXPECT_EQ(DefaultPointType(), 2);
  GetContexte().SetCurrentPanelType(4);
  EXPECT_EQ(PointTypeName(3), "Rate of rise");
  EXPECT_EQ(DefaultPointType(), 19);
}

TEST_F(Points, CaptionsFollowTheView) {
  Root().Lignes()->SetLoopSystem(false);
  TPoints& p = Point(7);
  p.SetType(2);
  p.SetLabel("Hall");
  p.SetLine(2);
  p.SetZone(3);
  struct Case {
    int view;
    const char* prefix;
  };
  const Case cases[] = {{0, "Point 007"}, {1, "A007 - Line 2"}, {2, "A007 - Z003"}, {3, "Point 007"}};
  for (const Case& c : cases) {
    PointCaptionView = static_cast<std::uint8_t>(c.view);
    EXPECT_EQ(p.Caption(), std::string(c.prefix) + " - \"Hall\"") << c.view;
    EXPECT_EQ(p.TypeCaption(), std::string(c.prefix) + " - Optical") << c.view;
  }
  p.SetZone(0);
  PointCaptionView = 2;
  EXPECT_EQ(p.Caption(), "A007 -  - \"Hall\"");
  EXPECT_EQ(p.ShortName(), "Point 007");
  EXPECT_EQ(p.LabelText(), "Hall");
}

TEST_F(Points, SetLineAndSetZoneMoveThePointBetweenLists) {
  TPoints& p = Point(10);
  p.SetType(6);
  TZones& z3 = *Root().Zones()->GetZone(2);
  TZones& z4 = *Root().Zones()->GetZone(3);
  p.SetZone(3);
  p.SetZone(3);
  EXPECT_EQ(z3.Count(), 1) << "not added twice";
  p.SetZone(4);
  EXPECT_EQ(z3.Count(), 0);
  EXPECT_EQ(z4.Count(), 1);
  EXPECT_EQ(p.Zone(), &z4);
  p.SetZone(0);
  EXPECT_EQ(z4.Count(), 0);
  EXPECT_EQ(p.Zone(), nullptr);

  TLignes& loop1 = *Root().Lignes()->GetLine(0);
  TLignes& loop2 = *Root().Lignes()->GetLine(1);
  p.SetLine(1);
  p.SetLine(2);
  EXPECT_EQ(loop1.Count(), 0);
  EXPECT_EQ(loop2.Count(), 1);
  p.SetLine(3);  // no third loop
  EXPECT_EQ(p.LineNumber(), 0);
  EXPECT_EQ(loop2.Count(), 0);
  p.Reset();
  EXPECT_EQ(p.ZoneNumber(), 0);
  EXPECT_EQ(p.LineNumber(), 0);
}

TEST_F(Points, NextFreeAddress) {
  TGstPoints& g = Gst();
  EXPECT_EQ(g.NextFreeAddress(1), 2);
  EXPECT_EQ(g.NextFreeAddress(128), 1) << "wraps to the start";
  for (int a = 1; a <= 128; ++a) Point(a).SetType(2);
  EXPECT_EQ(g.NextFreeAddress(5), 0);
  Point(5).SetType(0);
  EXPECT_EQ(g.NextFreeAddress(5), 0) << "the given address itself is never returned";
  EXPECT_EQ(g.NextFreeAddress(128), 5);
  EXPECT_EQ(g.NextFreeAddress(2), 5);
  EXPECT_EQ(g.NextFreeAddress(6), 5);
  Point(128).SetType(0);
  EXPECT_EQ(g.NextFreeAddress(128), 5);
  EXPECT_EQ(g.NextFreeAddress(127), 128);

  platform::StringList list;
  g.FillFreeAddresses(list);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0], "5");
  EXPECT_EQ(list[1], "128");
}

TEST(PointAddress, Check) {
  struct Case {
    const char* text;
    bool ok;
  };
  const Case cases[] = {{"1", true}, {"128", true}, {"64", true}, {"0", false},  {"129", false},
                        {"-3", false}, {"", false},  {"x", false}, {"12a", false}};
  for (const Case& c : cases) {
    std::string message;
    EXPECT_EQ(TGstPoints::CheckAddress(c.text, message), c.ok) << c.text;
    EXPECT_EQ(message, c.ok ? "" : "Address must be a value between 1 and 128") << c.text;
  }
}

TEST_F(Points, TypeSummaryAndGroupUse) {
  for (int a : {9, 3, 40}) Point(a).SetType(2);
  Point(12).SetType(6);
  platform::StringList list;
  list.Add("stale");
  Gst().FillTypeSummary(list);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0], "003  Optical");
  EXPECT_EQ(list[1], "001  Manual Call Point");

  Point(9).Groups()->Add(5);
  Point(12).Groups()->Add(5);
  Point(13).Groups()->Add(5);  // not in use
  EXPECT_EQ(Gst().GroupUseCount(5), 2);
  EXPECT_EQ(Gst().GroupUseCount(6), 0);
}

TEST_F(Points, ZoneAndLinePointListsHoldPointsInUseInAddressOrder) {
  for (int a : {30, 4, 17}) {
    Point(a).SetType(19);
    Point(a).SetZone(8);
  }
  TLstPoints list;
  Gst().FillZonePoints(8, list);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(static_cast<TPoints*>(list.Item(0))->Address(), 4);
  EXPECT_EQ(static_cast<TPoints*>(list.Item(2))->Address(), 30);
  Point(17).SetType(0);
  Gst().FillZonePoints(8, list);
  EXPECT_EQ(list.Count(), 2);
  Gst().FillLinePoints(0, list);
  EXPECT_EQ(list.Count(), 2) << "points without a line are line 0";
}

TEST_F(Points, RecordsOutsideTheImageAreNeitherReadNorWritten) {
  TPoints outside(128);
  TZones zoneOutside(128);
  std::vector<int> before = Bytes(0, 10322);
  outside.SetType(2);
  outside.WriteImage();
  outside.ReadImage();
  zoneOutside.SetLabel("x");
  zoneOutside.WriteImage();
  zoneOutside.ReadImage();
  EXPECT_EQ(Bytes(0, 10322), before);
  EXPECT_EQ(outside.Address(), 129);
}

}  // namespace
