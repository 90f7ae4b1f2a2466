// The site's consistency findings in the order the diagnosis lists them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ElementSite.h"
#include "model/Diagnosis.h"
#include "model/Groupes.h"
#include "model/Lignes.h"
#include "model/Points.h"
#include "model/Relais.h"
#include "model/Security.h"
#include "model/Zones.h"

namespace {

template <std::uint8_t N>
class DiagnosisSite : public SiteOfType<N> {
 protected:
  std::vector<std::string> Findings() {
    platform::StringList list;
    CollectSiteChecks(this->Root(), list);
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
    return out;
  }
  TPoints& Point(int address) { return *this->Root().Points()->GetPoint(address - 1); }
};

using Diagnosis = DiagnosisSite<7>;
using DiagnosisOfType3 = DiagnosisSite<3>;
using DiagnosisOfType2 = DiagnosisSite<2>;

TEST_F(Diagnosis, NewSiteListsOnlyTheEmptyLoops) {
  EXPECT_EQ(Findings(), (std::vector<std::string>{"Loop 1 is empty.", "Loop 2 is empty."}));
  Root().Lignes()->SetLoopSystem(false);
  EXPECT_EQ(Findings(), (std::vector<std::string>{"Line 1 is empty.", "Line 2 is empty.", "Line 3 is empty.",
                                                  "Line 4 is empty."}));
}

TEST_F(Diagnosis, FindingsComeInTheirOrder) {
  Point(1).SetType(6);
  Point(1).SetLine(1);
  Point(1).SetZone(4);
  Root().Zones()->GetZone(3)->SetPreAlarm(true);
  Root().Zones()->GetZone(3)->Groups()->Add(5);
  Root().Zones()->GetZone(9)->SetPreAlarm(true);  // not in use: not checked

  TGroupe& g = *Root().Groups()->GetGroup(4);
  g.SetTriggerType(1);
  g.SetZoneEvent(1);
  g.SetZoneLogic(1);
  Root().Groups()->GetGroup(20)->SetZoneEvent(0);  // not in use: not checked

  Root().Relais()->OnBoardRelay(4)->Groups()->Add(9);
  Root().Relais()->OnBoardRelay(0)->Groups()->Add(9);  // only the last two relays are checked
  Root().Security()->Breaking(1)->Groups()->Add(9);    // no security functions on type 7

  EXPECT_EQ(Findings(), (std::vector<std::string>{
                            "Less than two points in pre alarme zone 4\r\nA MCP is declared in pre alarme zone 4",
                            "Loop 2 is empty.",
                            "Group 05 has no triggered element.",
                            "Relay 5 used in another function than the default one",
                        }));
}

TEST_F(DiagnosisOfType3, LastTwoOnBoardRelaysAndBreakingFunctions) {
  for (int a = 1; a <= 2; ++a) {
    Point(a).SetType(2);
    Point(a).SetLine(a);
  }
  TGstRelais& relais = *Root().Relais();
  for (int i = 0; i < relais.OnBoardCount(); ++i) relais.OnBoardRelay(i)->Groups()->Add(3);
  Root().Security()->Breaking(2)->Groups()->Add(3);
  Root().Security()->Breaking(1)->Groups()->Add(3);
  EXPECT_EQ(Findings(), (std::vector<std::string>{
                            "Relay 4 used in another function than the default one",
                            "Relay 5 used in another function than the default one",
                            "Relay 6 used in another function than the default one",
                            "Relay 7 used in another function than the default one",
                        }));
}

TEST_F(DiagnosisOfType2, BreakingFunctionsAreNotCheckedWithoutSecurityFunctions) {
  for (int a = 1; a <= 2; ++a) {
    Point(a).SetType(2);
    Point(a).SetLine(a);
  }
  Root().Security()->Breaking(1)->Groups()->Add(3);
  Root().Security()->Breaking(2)->Groups()->Add(3);
  EXPECT_EQ(Findings(), std::vector<std::string>{});
}

}  // namespace
