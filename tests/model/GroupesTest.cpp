// The 99 group records and the group checks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ElementSite.h"
#include "model/Groupes.h"
#include "model/Points.h"
#include "model/Relais.h"
#include "model/Security.h"
#include "model/SigEvt.h"
#include "model/Zones.h"

namespace {

constexpr std::size_t kGroups = 273;
constexpr std::size_t Record(int number) { return kGroups + 22 * static_cast<std::size_t>(number - 1); }

template <std::uint8_t N>
class GroupSite : public SiteOfType<N> {
 protected:
  TGroupe& Group(int number) { return *this->Root().Groups()->GetGroup(number - 1); }
  TZones& Zone(int number) { return *this->Root().Zones()->GetZone(number - 1); }
  TPoints& Point(int address) { return *this->Root().Points()->GetPoint(address - 1); }
  // A zone in use (it holds one point) that triggers the group.
  void ZoneTriggers(int zone, int group) {
    Point(128 - zone).SetType(2);
    Point(128 - zone).SetZone(zone);
    Zone(zone).Groups()->Add(group);
  }
  std::vector<std::string> Messages(TGroupe& g) {
    platform::StringList list;
    g.Check(&list);
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
    return out;
  }
};

using Groups = GroupSite<7>;
using GroupsOfType3 = GroupSite<3>;

TEST_F(Groups, RecordRoundTrips) {
  TGroupe& g = Group(2);
  g.SetLabel("Evacuation of the west wing");
  g.SetDelay("120");
  g.SetTriggerType(1);
  g.SetZoneEvent(3);
  g.SetZoneLogic(2);
  Encode();
  std::vector<int> expected;
  for (char c : std::string("Evacuation of the we")) expected.push_back(c);
  expected.insert(expected.end(), {120, 1 + 4 * 3 + 16 * 2});
  EXPECT_EQ(Bytes(Record(2), 22), expected);
  EXPECT_EQ(Bytes(Record(1), 22), std::vector<int>(22, 0));

  g.Reset();
  Redecode();
  EXPECT_EQ(g.Label(), "Evacuation of the we");
  EXPECT_EQ(g.Delay(), "120");
  EXPECT_EQ(g.TriggerType(), 1);
  EXPECT_EQ(g.ZoneEvent(), 3);
  EXPECT_EQ(g.ZoneLogic(), 2);
  EXPECT_EQ(g.TriggerTypeText(), "Zone");
  EXPECT_EQ(g.ZoneEventText(), "Fault");
  EXPECT_EQ(g.ZoneLogicText(), "AND");
  EXPECT_EQ(g.ShortName(), "02 - Evacuation of the we");
  EXPECT_EQ(g.Caption(), g.ShortName());
}

TEST_F(Groups, CodeByteKeepsItsTopBits) {
  struct Case {
    int byte;
    int trigger, event, logic;
  };
  const Case cases[] = {
      {0xC5, 1, 1, 0},
      {0x40 | 2 | (2 << 2) | (3 << 4), 2, 2, 3},
      {0x80 | 1 | (3 << 4), 1, 0, 3},
  };
  for (const Case& c : cases) {
    Group(9).Reset();
    Poke(Record(9) + 21, {c.byte});
    Redecode();
    EXPECT_EQ(Group(9).TriggerType(), c.trigger) << std::hex << c.byte;
    EXPECT_EQ(Group(9).ZoneEvent(), c.event) << std::hex << c.byte;
    EXPECT_EQ(Group(9).ZoneLogic(), c.logic) << std::hex << c.byte;
    Encode();
    EXPECT_EQ(At(Record(9) + 21), c.byte) << std::hex << c.byte;
  }
}

TEST_F(Groups, TriggerTypeThreeKeepsTheField) {
  Group(4).SetTriggerType(2);
  Poke(Record(4) + 21, {3 | (1 << 2)});
  Redecode();
  EXPECT_EQ(Group(4).TriggerType(), 2);
  EXPECT_EQ(Group(4).ZoneEvent(), 1);
}

TEST_F(Groups, GroupNotInUseIsWrittenBlank) {
  TGroupe& g = Group(3);
  Poke(Record(3) + 21, {0xC0});
  g.SetLabel("Forgotten");
  g.SetDelay("45");
  g.SetZoneEvent(2);
  g.SetZoneLogic(1);
  Encode();
  EXPECT_EQ(Bytes(Record(3), 21), std::vector<int>(21, 0));
  EXPECT_EQ(At(Record(3) + 21), 0xC0) << "only the codes are cleared";
  EXPECT_EQ(g.Label(), "") << "the object is reset too";
  EXPECT_EQ(g.Delay(), "000");
  EXPECT_EQ(g.ZoneEvent(), 0);
}

TEST_F(Groups, DelayText) {
  TGroupe& g = Group(1);
  EXPECT_EQ(g.Delay(), "000");
  EXPECT_EQ(TGroupe::DefaultDelay(), "000");
  g.SetDelay("7");
  EXPECT_EQ(g.Delay(), "007");
  for (const char* bad : {"256", "x", "", "-1"}) {
    g.SetDelay(bad);
    EXPECT_EQ(g.Delay(), "007") << bad;
    std::string message;
    EXPECT_FALSE(g.CheckDelay(bad, message)) << bad;
    EXPECT_EQ(message, "Group 01 command delay is incorrect !\r\nAllowed range is 0 to 255");
  }
  g.SetDelay("255");
  EXPECT_EQ(g.Delay(), "255");
  g.SetDelay("0");
  EXPECT_EQ(g.Delay(), "000");
}

TEST_F(Groups, DelayByteReadsAsThreeDigits) {
  const struct {
    int byte;
    const char* delay;
  } cases[] = {{0, "000"}, {7, "007"}, {45, "045"}, {100, "100"}, {255, "255"}};
  for (const auto& c : cases) {
    Poke(Record(5) + 20, {c.byte});
    Redecode();
    EXPECT_EQ(Group(5).Delay(), c.delay) << c.byte;
  }
}

TEST_F(Groups, CheckMessagesInOrder) {
  TGroupe& g = Group(5);
  g.SetTriggerType(1);
  EXPECT_EQ(Messages(g), (std::vector<std::string>{"Group 05 zone trigger event is not defined.",
                                                   "Group 05 zone trigger logic is not defined.",
                                                   "Group 05 has no selected trigger.",
                                                   "Group 05 has no triggered element."}));
  g.SetTriggerType(3);
  EXPECT_EQ(Messages(g), (std::vector<std::string>{"Group 05 trigger type is not defined.",
                                                   "Group 05 has no selected trigger.",
                                                   "Group 05 has no triggered element."}));
  g.SetTriggerType(2);
  EXPECT_EQ(Messages(g), (std::vector<std::string>{"Group 05 has no selected trigger.",
                                                   "Group 05 has no triggered element."}))
      << "a signal-triggered group needs no zone event or logic";
  g.SetZoneEvent(1);
  g.SetZoneLogic(1);
  EXPECT_EQ(g.CheckText(), "Group 05 has no selected trigger.\r\nGroup 05 has no triggered element.");
}

TEST_F(Groups, ZoneTriggerWithoutActivatedElement) {
  TGroupe& g = Group(5);
  g.SetTriggerType(1);
  g.SetZoneEvent(1);
  g.SetZoneLogic(1);
  ZoneTriggers(3, 5);
  EXPECT_EQ(Messages(g), (std::vector<std::string>{"Group 05 has no triggered element."}));
  EXPECT_EQ(g.ImageIndex(), 2);
  std::string message;
  EXPECT_TRUE(g.HasTrigger(message));
}

TEST_F(Groups, TriggersAndActivatedElementsOfEveryKind) {
  TGroupe& g = Group(12);
  g.SetTriggerType(2);
  std::string message;
  // Triggers are counted whatever the trigger type.
  Zone(6).Groups()->Add(12);
  EXPECT_FALSE(g.HasTrigger(message)) << "a zone not in use does not count";
  EXPECT_EQ(message, "Group 12 has no selected trigger.");
  ZoneTriggers(6, 12);
  EXPECT_TRUE(g.HasTrigger(message));
  Zone(6).Groups()->Remove(12);
  Root().SigEvt()->GetSigEvt(0)->Groups()->Add(12);
  EXPECT_TRUE(g.HasTrigger(message));

  EXPECT_FALSE(g.HasActivatedElement(message));
  EXPECT_EQ(message, "Group 12 has no triggered element.");
  Point(1).Groups()->Add(12);
  EXPECT_FALSE(g.HasActivatedElement(message)) << "a point not in use does not count";
  Point(1).SetType(15);
  EXPECT_TRUE(g.HasActivatedElement(message));
  Point(1).Groups()->Remove(12);
  Root().Relais()->OnBoardRelay(0)->Groups()->Add(12);
  EXPECT_TRUE(g.HasActivatedElement(message));
  Root().Relais()->OnBoardRelay(0)->Groups()->Remove(12);
  Root().Security()->Breaking(1)->Groups()->Add(12);
  EXPECT_FALSE(g.HasActivatedElement(message)) << "breaking functions count only on panel types 3, 5 and 9";

  EXPECT_TRUE(g.Check(nullptr) == false);
  Point(2).SetType(15);
  Point(2).Groups()->Add(12);
  EXPECT_TRUE(g.Check(nullptr));
  EXPECT_EQ(g.ImageIndex(), 1) << "signal-triggered, consistent";
  EXPECT_EQ(g.CheckText(), "");
}

TEST_F(GroupsOfType3, BreakingFunctionIsAnActivatedElement) {
  TGroupe& g = Group(12);
  std::string message;
  Root().Security()->Breaking(2)->Groups()->Add(12);
  EXPECT_TRUE(g.HasActivatedElement(message));
}

TEST_F(Groups, ImageIndexes) {
  TGroupe& g = Group(8);
  g.SetTriggerType(1);
  g.SetZoneEvent(2);
  g.SetZoneLogic(3);
  ZoneTriggers(1, 8);
  Point(1).SetType(2);
  Point(1).Groups()->Add(8);
  EXPECT_EQ(g.ImageIndex(), 0);
  g.SetZoneEvent(0);
  EXPECT_EQ(g.ImageIndex(), 2);
  g.SetTriggerType(0);
  EXPECT_EQ(g.ImageIndex(), 1) << "no trigger type needs no zone codes";
  EXPECT_FALSE(g.IsUsed());
}

TEST_F(Groups, CodeTexts) {
  TGroupe& g = Group(1);
  const std::pair<int, const char*> triggers[] = {{0, ""}, {1, "Zone"}, {2, "Signal/Event"}, {3, ""}};
  for (const auto& [code, text] : triggers) {
    g.SetTriggerType(static_cast<std::uint8_t>(code));
    EXPECT_EQ(g.TriggerTypeText(), text) << code;
  }
  const char* events[] = {"", "Alarm", "Pre Alarm", "Fault", ""};
  const char* logics[] = {"", "OR", "AND", "AND of 2", ""};
  for (int code = 0; code <= 4; ++code) {
    g.SetZoneEvent(static_cast<std::uint8_t>(code));
    g.SetZoneLogic(static_cast<std::uint8_t>(code));
    EXPECT_EQ(g.ZoneEventText(), events[code]) << code;
    EXPECT_EQ(g.ZoneLogicText(), logics[code]) << code;
  }
}

TEST_F(Groups, NumberCheckAndFreeGroups) {
  struct Case {
    const char* text;
    bool ok;
  };
  const Case cases[] = {{"1", true}, {"99", true}, {"0", false}, {"100", false}, {"x", false}, {"", false}};
  for (const Case& c : cases) {
    std::string message;
    EXPECT_EQ(TGstGroups::CheckGroupNumber(c.text, message), c.ok) << c.text;
    EXPECT_EQ(message, c.ok ? "" : "Group number must be a value between 1 and 99.") << c.text;
  }
  Group(1).SetTriggerType(1);
  Group(50).SetTriggerType(2);
  platform::StringList list;
  list.Add("stale");
  Root().Groups()->FillFreeGroups(list);
  ASSERT_EQ(list.Count(), 97);
  EXPECT_EQ(list[0], "2");
  EXPECT_EQ(list.IndexOf("50"), -1);
  EXPECT_EQ(list[96], "99");
  EXPECT_EQ(Root().Groups()->GetGroup(99), nullptr);
}

}  // namespace
