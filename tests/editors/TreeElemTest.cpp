// The objects behind the picker's nodes: their texts, what their state images say, and
// what moving them does to the site.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "editors/TreeElem.h"
#include "model/Points.h"
#include "model/Relais.h"
#include "model/Security.h"
#include "model/SigEvt.h"
#include "model/Zones.h"
#include "support/SiteFixture.h"

namespace {

constexpr std::size_t kZones = 2451;
constexpr std::size_t ZoneRecord(int number) { return kZones + 27 * static_cast<std::size_t>(number - 1); }
constexpr std::size_t kPoints = 5907;
constexpr std::size_t PointRecord(int address) { return kPoints + 32 * static_cast<std::size_t>(address - 1); }

class TreeElem : public SiteFixture {
 protected:
  TFoncBrk& Breaking(int n) { return *Root().Security()->Breaking(n); }
  TRelais& OnBoardRelay(int n) { return *Root().Relais()->OnBoardRelay(n - 1); }
  TSigEvt& Signal(int index) { return *Root().SigEvt()->GetSigEvt(index); }
  static void Fill(TTabGrpDDS* table, int count) {
    for (int g = 1; g <= count; ++g) table->Add(50 + g);
  }
};

// Texts and images of every kind of element, each read from its own site element.
TEST_F(TreeElem, CaptionsAndImagesComeFromTheElement) {
  Zone(3).SetLabel("Hall");
  MakePoint(7, 19, 3, "Door");
  struct Row {
    std::unique_ptr<TTreeElem> elem;
    std::string caption;
    int image;
  };
  std::vector<Row> rows;
  rows.push_back({std::make_unique<TTreeZone>(&Zone(3)), "Z003  \"Hall\"", 0});
  rows.push_back({std::make_unique<TTreeGrpZone>(&Zone(3)), "Z003  \"Hall\"", 0});
  rows.push_back({std::make_unique<TTreeGrpPoint>(&Point(7)), "Point 007 - Z003 \"Door\"", 4});
  rows.push_back({std::make_unique<TTreeFonPoint>(&Point(7), false), "Point 007 - \"Door\"", 4});
  rows.push_back({std::make_unique<TTreeGrpFonBrk>(&Breaking(1)),
                  "On board - Relay 6 - (Breaking function 1 by default)", 10});
  rows.push_back({std::make_unique<TTreeGrpRelai>(&OnBoardRelay(4)),
                  "On board - Relay 4 - (Alarm repetition by default)", 8});
  rows.push_back({std::make_unique<TTreeGrpSiEv>(&Signal(0)), "Fire Alarm LED", 4});
  for (const Row& r : rows) {
    EXPECT_EQ(r.elem->Caption(), r.caption);
    EXPECT_EQ(r.elem->ImageIndex(), r.image) << r.caption;
  }

  // A zone without label still shows the quotes; a renamed element shows its new text.
  EXPECT_EQ(TTreeZone(&Zone(4)).Caption(), "Z004  \"\"");
  Point(7).SetZone(4);
  EXPECT_EQ(TTreeGrpPoint(&Point(7)).Caption(), "Point 007 - Z004 \"Door\"");
}

// The hint is the element's own check: its message while it fails, nothing once it passes.
TEST_F(TreeElem, HintsAreTheElementsCheck) {
  MakePoint(7, 19, 3);
  Zone(3).SetPreAlarm(true);  // one point only
  TTreeZone zone(&Zone(3));
  TTreeGrpZone grpZone(&Zone(3));
  EXPECT_EQ(zone.Hint(), "Less than two points in pre alarme zone 3");
  EXPECT_EQ(grpZone.Hint(), zone.Hint());
  EXPECT_EQ(zone.ImageIndex(), 3);
  MakePoint(8, 6, 3);  // a manual call point: two points now, but one is a call point
  EXPECT_EQ(grpZone.Hint(), "A MCP is declared in pre alarme zone 3");
  Zone(3).SetPreAlarm(false);
  EXPECT_EQ(zone.Hint(), "");
  EXPECT_EQ(grpZone.Hint(), "");

  TTreeGrpFonBrk breaking(&Breaking(1));
  EXPECT_EQ(breaking.Hint(), "");
  Breaking(1).Groups()->Add(7);
  EXPECT_EQ(breaking.Hint(), "Relay 6 used in another function than the default one");

  TTreeGrpRelai relay(&OnBoardRelay(4));
  EXPECT_EQ(relay.Hint(), "");
  OnBoardRelay(4).Groups()->Add(12);
  EXPECT_EQ(relay.Hint(), "Relay 4 used in another function than the default one");

  // Points always pass their check.
  EXPECT_EQ(TTreeGrpPoint(&Point(7)).Hint(), "");
  EXPECT_EQ(TTreeFonPoint(&Point(7), true).Hint(), "");
}

enum class Kind { Zone, Signal, Point, Relay, Breaking };

struct StateCase {
  Kind kind;
  int held;  // groups in the element's table before the move, its own included when initially in
  bool initial;
  bool current;
  int state;
  bool movable;
};

void PrintTo(const StateCase& c, std::ostream* os) {
  *os << "kind " << static_cast<int>(c.kind) << ", " << c.held << " held, initial " << c.initial << ", current "
      << c.current;
}

class TreeElemGroupState : public TreeElem, public ::testing::WithParamInterface<StateCase> {
 protected:
  // The wrapper of each kind and the table it must read.
  std::unique_ptr<TTreeGroupe> Make(Kind kind, TTabGrpDDS*& table) {
    switch (kind) {
      case Kind::Zone: table = Zone(3).Groups(); return std::make_unique<TTreeGrpZone>(&Zone(3));
      case Kind::Signal: table = Signal(2).Groups(); return std::make_unique<TTreeGrpSiEv>(&Signal(2));
      case Kind::Point: table = MakePoint(7, 19, 3).Groups(); return std::make_unique<TTreeGrpPoint>(&Point(7));
      case Kind::Relay: table = OnBoardRelay(1).Groups(); return std::make_unique<TTreeGrpRelai>(&OnBoardRelay(1));
      case Kind::Breaking: table = Breaking(2).Groups(); return std::make_unique<TTreeGrpFonBrk>(&Breaking(2));
    }
    return nullptr;
  }
};

// The state image is 1 + the places left once the pending move is applied.
TEST_P(TreeElemGroupState, StateIndexAndCanMove) {
  const StateCase& c = GetParam();
  TTabGrpDDS* table = nullptr;
  std::unique_ptr<TTreeGroupe> e = Make(c.kind, table);
  ASSERT_EQ(e->Table(), table);
  Fill(table, c.held);
  e->InitSelected(c.initial);
  e->SetSelected(c.current);
  EXPECT_EQ(e->InitiallySelected(), c.initial);
  EXPECT_EQ(e->IsSelected(), c.current);
  EXPECT_EQ(e->StateIndex(), c.state);
  EXPECT_EQ(e->CanMove(), c.movable);
}

INSTANTIATE_TEST_SUITE_P(TreeElem, TreeElemGroupState,
                         ::testing::Values(
                             // No group yet: 6 on the left, 5 once moved in.
                             StateCase{Kind::Zone, 0, false, false, 6, true},
                             StateCase{Kind::Signal, 0, false, true, 5, true},
                             // Full and in at loading: 1 on the right, 2 once taken out, always movable.
                             StateCase{Kind::Point, 5, true, true, 1, true},
                             StateCase{Kind::Relay, 5, true, false, 2, true},
                             // Full and not in: the last place is gone, it cannot come in.
                             StateCase{Kind::Breaking, 5, false, false, 1, false},
                             StateCase{Kind::Zone, 4, false, false, 2, true},
                             StateCase{Kind::Point, 4, false, true, 1, true},
                             StateCase{Kind::Signal, 3, true, false, 4, true}));

// Moving in adds the group to each element's own table, moving out removes only it.
TEST_F(TreeElem, ApplyAddsAndRemovesTheGroup) {
  TTreeList list;
  std::vector<TTabGrpDDS*> tables = {Zone(3).Groups(), MakePoint(7, 19, 3).Groups(), OnBoardRelay(2).Groups(),
                                     Signal(1).Groups(), Breaking(1).Groups()};
  list.Add(new TTreeGrpZone(&Zone(3)));
  list.Add(new TTreeGrpPoint(&Point(7)));
  list.Add(new TTreeGrpRelai(&OnBoardRelay(2)));
  list.Add(new TTreeGrpSiEv(&Signal(1)));
  list.Add(new TTreeGrpFonBrk(&Breaking(1)));
  for (TTabGrpDDS* t : tables) t->Add(3);

  list.ApplySelected(12);
  for (TTabGrpDDS* t : tables) EXPECT_EQ(t->Groups(), (std::set<int>{3, 12}));
  list.ApplyUnselected(12);
  for (TTabGrpDDS* t : tables) EXPECT_EQ(t->Groups(), (std::set<int>{3}));

  // A full table is left as it is, and the write carries the move.
  TTabGrpDDS* zone = Zone(3).Groups();
  Fill(zone, 4);
  const std::set<int> full = zone->Groups();
  list.Items()[0]->ApplySelected(12);
  EXPECT_EQ(zone->Groups(), full);
  zone->Remove(54);
  list.Items()[0]->ApplySelected(12);
  Root().WriteImage();
  const std::uint8_t* bytes = Image() + ZoneRecord(3) + 21;
  EXPECT_EQ(std::vector<int>(bytes, bytes + 5), (std::vector<int>{3, 12, 51, 52, 53}));
}

// A point that counts its own end, to see who frees it.
class Counted : public TTreeFonPoint {
 public:
  Counted(TPoints* point, bool selected, int* freed) : TTreeFonPoint(point, selected), freed_(freed) {}
  ~Counted() override { ++*freed_; }

 private:
  int* freed_;
};

TEST_F(TreeElem, InitAndSetSelectedReachEveryLevel) {
  int freed = 0;
  TTreeList outer;
  auto* inner = new TTreeList;
  auto* deep = new Counted(&MakePoint(1, 19, 3), false, &freed);
  auto* top = new Counted(&MakePoint(2, 19, 3), true, &freed);
  inner->Add(deep);
  outer.Add(inner);
  outer.Add(top);

  outer.InitSelected(true);
  for (TTreeElem* e : {static_cast<TTreeElem*>(&outer), static_cast<TTreeElem*>(inner), static_cast<TTreeElem*>(deep),
                       static_cast<TTreeElem*>(top)}) {
    EXPECT_TRUE(e->InitiallySelected());
    EXPECT_TRUE(e->IsSelected());
  }
  outer.SetSelected(false);
  for (TTreeElem* e : {static_cast<TTreeElem*>(&outer), static_cast<TTreeElem*>(inner), static_cast<TTreeElem*>(deep),
                       static_cast<TTreeElem*>(top)}) {
    EXPECT_TRUE(e->InitiallySelected());
    EXPECT_FALSE(e->IsSelected());
  }
  outer.InitSelected(false);
  EXPECT_FALSE(deep->InitiallySelected());

  outer.FreeItems();
  EXPECT_EQ(freed, 2);  // nested children too
  EXPECT_EQ(outer.Count(), 0);
}

struct MatchCase {
  int filter;
  bool wanted;
  std::vector<int> addresses;  // of the matching points, in list order
};

void PrintTo(const MatchCase& c, std::ostream* os) { *os << "filter " << c.filter << ", wanted " << c.wanted; }

class TreeElemMatching : public TreeElem, public ::testing::WithParamInterface<MatchCase> {};

// Points by category (1 detectors, 2 call points, 3 conventional, 4 inputs) on both sides.
TEST_P(TreeElemMatching, CollectIntoAndCountMatchingAgree) {
  const MatchCase& c = GetParam();
  struct Entry {
    int address;
    int type;
    bool selected;
  };
  const Entry entries[] = {{1, 19, true}, {2, 6, false}, {3, 7, true}, {4, 14, false}, {5, 21, false}, {6, 12, true}};
  int freed = 0;
  {
    TTreeList source;
    for (const Entry& s : entries) source.Add(new Counted(&MakePoint(s.address, s.type, 3), s.selected, &freed));
    // The target's former entry is dropped, not freed: the target only refers.
    TTreeList target;
    auto* former = new Counted(&MakePoint(9, 19, 3), true, &freed);
    target.Add(former);

    EXPECT_EQ(source.CountMatching(c.filter, c.wanted), static_cast<int>(c.addresses.size()));
    source.CollectInto(target, c.filter, c.wanted);
    std::vector<int> got;
    for (TTreeElem* e : target.Items()) {
      got.push_back(static_cast<TTreeFonPoint*>(e)->Point()->Address());
      EXPECT_NE(std::find(source.Items().begin(), source.Items().end(), e), source.Items().end());
    }
    EXPECT_EQ(got, c.addresses);
    EXPECT_EQ(source.Count(), 6);
    EXPECT_EQ(freed, 0);

    // Collecting again empties the target first.
    source.CollectInto(target, c.filter, c.wanted);
    EXPECT_EQ(target.Count(), static_cast<int>(c.addresses.size()));
    target.Release();
    delete former;
    EXPECT_EQ(freed, 1);
  }
  EXPECT_EQ(freed, 7);  // the source freed its six
}

INSTANTIATE_TEST_SUITE_P(TreeElem, TreeElemMatching,
                         ::testing::Values(MatchCase{0, true, {1, 3, 6}}, MatchCase{0, false, {2, 4, 5}},
                                           MatchCase{1, false, {5}}, MatchCase{1, true, {1}},
                                           MatchCase{2, true, {3}}, MatchCase{2, false, {2}},
                                           MatchCase{3, false, {}}, MatchCase{4, false, {4}},
                                           MatchCase{5, true, {}}));

TEST_F(TreeElem, FonPointStartsAsGivenAndAcceptsByCategory) {
  TPoints& mcp = MakePoint(2, 7, 3);
  TTreeFonPoint in(&mcp, true);
  TTreeFonPoint out(&mcp, false);
  EXPECT_TRUE(in.InitiallySelected());
  EXPECT_TRUE(in.IsSelected());
  EXPECT_FALSE(out.InitiallySelected());
  EXPECT_FALSE(out.IsSelected());
  EXPECT_TRUE(in.Accept(0));
  EXPECT_TRUE(in.Accept(2));
  EXPECT_FALSE(in.Accept(1));
  // No state image and always movable: it is no group element.
  EXPECT_EQ(in.StateIndex(), -1);
  EXPECT_TRUE(in.CanMove());
}

struct StateKindCase {
  int kind;
  std::vector<bool> written;  // which of the point's flags 1-3 the kind writes
};

void PrintTo(const StateKindCase& c, std::ostream* os) { *os << "kind " << c.kind; }

class TreeElemApplyState : public TreeElem, public ::testing::WithParamInterface<StateKindCase> {};

// Kinds 0, 1, 2 write the current side into the point's flag 1, 2, 3; others write nothing.
TEST_P(TreeElemApplyState, WritesTheFlagOfItsKind) {
  const StateKindCase& c = GetParam();
  TPoints& in = MakePoint(1, 19, 3);
  TPoints& out = MakePoint(2, 19, 3);
  for (int n = 1; n <= 3; ++n) out.SetEvacuation(n, true);
  TTreeList list;
  list.Add(new TTreeFonPoint(&in, false));
  list.Add(new TTreeFonPoint(&out, true));
  list.Items()[0]->SetSelected(true);  // the user's moves: the current side counts
  list.Items()[1]->SetSelected(false);

  list.ApplyState(c.kind);
  for (int n = 1; n <= 3; ++n) {
    const bool written = c.written[static_cast<std::size_t>(n - 1)];
    EXPECT_EQ(in.Evacuation(n), written) << "flag " << n;
    EXPECT_EQ(out.Evacuation(n), !written) << "flag " << n;
  }
  Root().WriteImage();
  for (std::size_t n = 1; n <= 3; ++n) {
    EXPECT_EQ(Image()[PointRecord(1) + 28 + n], c.written[n - 1] ? 1 : 0) << "byte of flag " << n;
  }
}

INSTANTIATE_TEST_SUITE_P(TreeElem, TreeElemApplyState,
                         ::testing::Values(StateKindCase{0, {true, false, false}},
                                           StateKindCase{1, {false, true, false}},
                                           StateKindCase{2, {false, false, true}},
                                           StateKindCase{3, {false, false, false}},
                                           StateKindCase{-1, {false, false, false}}));

// The sounders' zone sets and clears the zone flag whatever the argument, and touches no group.
TEST_F(TreeElem, ZoneMoveSetsTheZoneFlag) {
  MakePoint(7, 19, 3);
  TTreeZone zone(&Zone(3));
  EXPECT_FALSE(zone.InitiallySelected());
  EXPECT_FALSE(zone.IsSelected());
  const std::size_t flag = ZoneRecord(3) + 26;
  for (int argument : {0, 1, 12, -5}) {
    zone.ApplySelected(argument);
    EXPECT_EQ(Zone(3).ZoneFlag(), 1) << argument;
    Root().WriteImage();
    EXPECT_EQ(Image()[flag], 1) << argument;
    zone.ApplyUnselected(argument);
    EXPECT_EQ(Zone(3).ZoneFlag(), 0) << argument;
    Root().WriteImage();
    EXPECT_EQ(Image()[flag], 0) << argument;
  }
  EXPECT_TRUE(Zone(3).Groups()->Empty());
  EXPECT_EQ(Image()[ZoneRecord(4) + 26], 0);
}

}  // namespace
