// Group tables, zone records and the zone checks.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ElementSite.h"
#include "model/GroupTable.h"
#include "model/Points.h"
#include "model/Zones.h"

namespace {

constexpr std::size_t kZones = 2451;
constexpr std::size_t Record(int number) { return kZones + 27 * static_cast<std::size_t>(number - 1); }

std::vector<int> Raw(const std::uint8_t* p) { return {p[0], p[1], p[2], p[3], p[4]}; }

TEST(GroupTable, WritesAscendingNumbersThenZeros) {
  std::uint8_t bytes[5] = {9, 9, 9, 9, 9};
  TTabGrpDDS table(bytes, 5);
  table.Add(40);
  table.Add(3);
  table.Add(12);
  table.WriteImage();
  EXPECT_EQ(Raw(bytes), (std::vector<int>{3, 12, 40, 0, 0}));
  table.Reset();
  table.WriteImage();
  EXPECT_EQ(Raw(bytes), (std::vector<int>{0, 0, 0, 0, 0}));
}

TEST(GroupTable, ReadsAnyOrderSkippingZerosAndRepeats) {
  std::uint8_t bytes[5] = {40, 0, 12, 40, 3};
  TTabGrpDDS table(bytes, 5);
  table.ReadImage();
  EXPECT_EQ(table.Groups(), (std::set<int>{3, 12, 40}));
  EXPECT_EQ(table.FreePlaces(), 2);
  table.WriteImage();
  EXPECT_EQ(Raw(bytes), (std::vector<int>{3, 12, 40, 0, 0}));
}

TEST(GroupTable, ReadAddsToWhatTheSetHolds) {
  std::uint8_t bytes[5] = {1, 2, 0, 0, 0};
  TTabGrpDDS table(bytes, 5);
  table.Add(7);
  table.ReadImage();
  EXPECT_EQ(table.Groups(), (std::set<int>{1, 2, 7}));
}

TEST(GroupTable, FullTableIgnoresFurtherNumbers) {
  std::uint8_t bytes[5] = {};
  TTabGrpDDS table(bytes, 5);
  for (int g : {5, 4, 3, 2, 1}) table.Add(g);
  EXPECT_EQ(table.FreePlaces(), 0);
  table.Add(99);
  table.Add(3);
  EXPECT_EQ(table.Groups(), (std::set<int>{1, 2, 3, 4, 5}));
  EXPECT_FALSE(table.Contains(99));
  table.Remove(3);
  table.Remove(50);  // absent: nothing happens
  EXPECT_EQ(table.FreePlaces(), 1);
  table.Add(3);
  table.Add(3);
  EXPECT_EQ(table.FreePlaces(), 0);
  EXPECT_TRUE(table.Contains(3));
}

class Zones : public ElementSite {
 protected:
  void AddPoint(int address, int type, int zone) {
    Point(address).SetType(type);
    Point(address).SetZone(zone);
  }
};

TEST_F(Zones, RecordRoundTrips) {
  TZones& z = Zone(5);
  z.SetLabel("Warehouse ground floor east");
  z.SetPreAlarm(true);
  z.Groups()->Add(12);
  z.Groups()->Add(3);
  Encode();
  Poke(Record(5) + 26, {5});
  Redecode();  // the zone flag is only ever read
  EXPECT_EQ(z.ZoneFlag(), 1);
  Encode();
  std::vector<int> expected;
  for (char c : std::string("Warehouse ground flo")) expected.push_back(c);
  expected.insert(expected.end(), {1, 3, 12, 0, 0, 0, 1});
  EXPECT_EQ(Bytes(Record(5), 27), expected);

  z.Reset();
  EXPECT_EQ(z.ZoneFlag(), 0);
  Redecode();
  EXPECT_EQ(z.Label(), "Warehouse ground flo");
  EXPECT_TRUE(z.PreAlarm());
  EXPECT_EQ(z.ModeText(), "Pre Alarm");
  EXPECT_EQ(z.Groups()->Groups(), (std::set<int>{3, 12}));
  EXPECT_EQ(z.ZoneFlag(), 1);
}

TEST_F(Zones, RecordsAbove99AreKeptLikeTheOthers) {
  Poke(Record(128), {'L', 'a', 's', 't'});
  Poke(Record(128) + 20, {1, 99});
  Redecode();
  TZones& z = Zone(128);
  EXPECT_EQ(z.Label(), "Last");
  EXPECT_TRUE(z.PreAlarm());
  EXPECT_TRUE(z.Groups()->Contains(99));
  Encode();
  EXPECT_EQ(Bytes(Record(128), 4), (std::vector<int>{'L', 'a', 's', 't'}));
  EXPECT_EQ(At(Record(128) + 21), 99);
  EXPECT_EQ(Root().Zones()->GetZone(128), nullptr);
}

TEST_F(Zones, PreAlarmChecks) {
  struct Case {
    const char* what;
    bool preAlarm;
    std::vector<int> types;  // one point per type
    std::vector<std::string> messages;
    int image;
  };
  const Case cases[] = {
      {"alarm zone, one call point", false, {6}, {}, 0},
      {"alarm zone, empty", false, {}, {}, 0},
      {"pre-alarm, two detectors", true, {2, 19}, {}, 2},
      {"pre-alarm, one call point",
       true,
       {6},
       {"Less than two points in pre alarme zone 4", "A MCP is declared in pre alarme zone 4"},
       3},
      {"pre-alarm, empty", true, {}, {"Less than two points in pre alarme zone 4"}, 3},
      {"pre-alarm, two call points reported once", true, {7, 6, 2}, {"A MCP is declared in pre alarme zone 4"}, 3},
  };
  for (const Case& c : cases) {
    Root().Reset();
    TZones& z = Zone(4);
    z.SetPreAlarm(c.preAlarm);
    int address = 1;
    for (int type : c.types) AddPoint(address++, type, 4);
    platform::StringList list;
    EXPECT_EQ(z.Check(&list), c.messages.empty()) << c.what;
    std::vector<std::string> got;
    for (int i = 0; i < list.Count(); ++i) got.push_back(list[i]);
    EXPECT_EQ(got, c.messages) << c.what;
    EXPECT_EQ(z.ImageIndex(), c.image) << c.what;
    std::string joined;
    for (const std::string& m : c.messages) joined += (joined.empty() ? "" : "\r\n") + m;
    EXPECT_EQ(z.CheckText(), joined) << c.what;
  }
}

TEST_F(Zones, CaptionAndNames) {
  TZones& z = Zone(3);
  EXPECT_EQ(z.ShortName(), "Z003");
  EXPECT_EQ(z.Caption(), "Z003 - empty");
  AddPoint(1, 2, 3);
  EXPECT_EQ(z.Caption(), "Z003 - 1 point");
  AddPoint(2, 2, 3);
  z.SetLabel("Hall");
  EXPECT_EQ(z.Caption(), "Z003 - 2 points - \"Hall\"");
  EXPECT_EQ(z.LabelText(), "Hall");
  EXPECT_EQ(z.ModeText(), "Alarm");
  EXPECT_EQ(Root().Zones()->Title(), "Zones");
}

TEST_F(Zones, UseFollowsThePointsNotTheLabel) {
  TGstZones& g = *Root().Zones();
  Zone(2).SetLabel("Labelled only");
  AddPoint(1, 2, 7);
  AddPoint(2, 2, 100);
  EXPECT_FALSE(Zone(2).IsUsed());
  EXPECT_TRUE(Zone(7).IsUsed());
  platform::StringList used;
  g.FillUsedZones(used);
  ASSERT_EQ(used.Count(), 2);
  EXPECT_EQ(used[0], "7");
  EXPECT_EQ(used[1], "100");
  platform::StringList free;
  g.FillFreeZones(free);
  EXPECT_EQ(free.Count(), 98);
  EXPECT_EQ(free[0], "1");
  EXPECT_EQ(free[1], "2") << "a zone with a label but no point is free";
  EXPECT_EQ(free.IndexOf("7"), -1);
  EXPECT_EQ(free[free.Count() - 1], "99") << "numbers from 100 are never offered";

  Point(1).Reset();
  EXPECT_FALSE(Zone(7).IsUsed());
}

// Setting a point's zone files it at once; decoding or resetting the zones files again
// every point in use, by address, whatever the lists held before.
TEST_F(Zones, ReadAndResetRefileThePointsInUse) {
  AddPoint(9, 2, 3);
  AddPoint(2, 2, 3);
  AddPoint(5, 2, 4);
  Point(5).SetType(0);  // out of use, still filed
  ASSERT_EQ(Zone(3).RawItem(0), &Point(9));
  ASSERT_TRUE(Zone(4).IsUsed());
  for (void (TGstZones::*refile)() : {&TGstZones::ReadImage, &TGstZones::Reset}) {
    SCOPED_TRACE(refile == &TGstZones::ReadImage ? "read" : "reset");
    (Root().Zones()->*refile)();
    ASSERT_EQ(Zone(3).Count(), 2);
    EXPECT_EQ(Zone(3).RawItem(0), &Point(2));
    EXPECT_EQ(Zone(3).RawItem(1), &Point(9));
    EXPECT_FALSE(Zone(4).IsUsed());
    Point(5).SetZone(0);
    Point(5).SetZone(4);  // filed again for the next round
  }
}

TEST_F(Zones, GroupUseCountsZonesInUse) {
  Zone(1).Groups()->Add(5);
  Zone(2).Groups()->Add(5);
  AddPoint(1, 2, 1);
  EXPECT_EQ(Root().Zones()->GroupUseCount(5), 1);
  AddPoint(2, 2, 2);
  EXPECT_EQ(Root().Zones()->GroupUseCount(5), 2);
}

TEST(ZoneNumber, Check) {
  struct Case {
    const char* text;
    bool ok;
  };
  const Case cases[] = {{"1", true},  {"99", true}, {"0", false}, {"100", false},
                        {"x", false}, {"", false},  {"-1", false}};
  for (const Case& c : cases) {
    std::string message;
    EXPECT_EQ(TGstZones::CheckZoneNumber(c.text, message), c.ok) << c.text;
    EXPECT_EQ(message, c.ok ? "" : "Zone number must be a value between 1 and 99") << c.text;
  }
}

}  // namespace
