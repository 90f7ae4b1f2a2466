// On-board relays by panel type, the relay card and the relays' group tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ElementSite.h"
#include "model/Relais.h"

namespace {

constexpr std::size_t kCardType = 261;
constexpr std::size_t kCardTables = 10003;
constexpr std::size_t kBoardTables = 10063;

std::vector<int> Numbers(const std::vector<TRelais*>& relays) {
  std::vector<int> out;
  for (TRelais* r : relays) out.push_back(r->Number());
  return out;
}

std::vector<TRelais*> Usable(const TGstRelais& g, bool card) {
  std::vector<TRelais*> out;
  for (int i = 0; i < g.Count(); ++i) {
    if (g.UsableRelay(i)->IsCardRelay() == card) out.push_back(g.UsableRelay(i));
  }
  return out;
}

TRelais* PositionOf(const TGstRelais& g, bool card, int number) {
  for (int i = 0; i < g.PositionCount(); ++i) {
    TRelais* r = g.Position(i);
    if (r->IsCardRelay() == card && r->Number() == number) return r;
  }
  return nullptr;
}

using Relays = ElementSite;
using RelaysOfType3 = SiteOfType<3>;

TEST_F(Relays, FiveOnBoardRelaysAndNoCardOnAFreshSite) {
  TGstRelais& g = *Root().Relais();
  EXPECT_EQ(g.CardType(), 0);
  EXPECT_EQ(g.OnBoardCount(), 5);
  EXPECT_EQ(g.CardCount(), 0);
  EXPECT_EQ(g.Count(), 5);
  EXPECT_EQ(g.PositionCount(), 5) << "no card position exists before the card code first changes";
  EXPECT_EQ(g.UsedCount(), 5);
  EXPECT_EQ(g.UnusedCount(), 0);
  EXPECT_EQ(g.Item(5), nullptr);
  EXPECT_EQ(g.Item(-1), nullptr);
  EXPECT_EQ(g.OnBoardRelay(5), nullptr);
  EXPECT_EQ(g.CardRelay(0), nullptr);
  EXPECT_EQ(g.OnBoardRelay(0)->ShortName(), "On board - Relay 1");
  EXPECT_EQ(g.OnBoardRelay(3)->ShortName(), "On board - Relay 4 - (Alarm repetition by default)");
  EXPECT_EQ(g.OnBoardRelay(4)->ShortName(), "On board - Relay 5 - (Fault repetition by default)");
  EXPECT_EQ(g.OnBoardRelay(4)->Caption(), g.OnBoardRelay(4)->ShortName());
  EXPECT_EQ(g.OnBoardRelay(4)->LabelText(), g.OnBoardRelay(4)->ShortName());
  EXPECT_EQ(g.CardTypeText(), "No Card");
}

TEST_F(RelaysOfType3, OnBoardPositionThreeIsEmpty) {
  TGstRelais& g = *Root().Relais();
  std::vector<TRelais*> board;
  for (int i = 0; i < g.OnBoardCount(); ++i) board.push_back(g.OnBoardRelay(i));
  EXPECT_EQ(Numbers(board), (std::vector<int>{1, 2, 4, 5}));
  EXPECT_EQ(Numbers(Usable(g, false)), (std::vector<int>{1, 2, 4, 5}));
  TRelais* third = PositionOf(g, false, 3);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->ShortName(), "Empty Board Relay  3");
  EXPECT_FALSE(third->IsUsed());
  EXPECT_EQ(third->ImageIndex(), 9);
  EXPECT_EQ(g.Count(), 4);
  EXPECT_EQ(g.PositionCount(), 5);
}

TEST_F(Relays, OnBoardRelayWithAGroupFailsItsCheck) {
  TGstRelais& g = *Root().Relais();
  TRelais* fourth = g.OnBoardRelay(3);
  EXPECT_TRUE(fourth->Check(nullptr));
  EXPECT_EQ(fourth->CheckText(), "");
  fourth->Groups()->Add(12);
  platform::StringList list;
  EXPECT_FALSE(fourth->Check(&list));
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list[0], "Relay 4 used in another function than the default one");
  EXPECT_EQ(fourth->CheckText(), "Relay 4 used in another function than the default one");
  EXPECT_EQ(fourth->ImageIndex(), 8);
  EXPECT_EQ(fourth->ShortName(), "On board - Relay 4 - (Alarm repetition by default)");
  Encode();
  EXPECT_EQ(Bytes(kBoardTables + 5 * 3, 5), (std::vector<int>{12, 0, 0, 0, 0}));
  EXPECT_EQ(g.GroupUseCount(12), 1);
  EXPECT_EQ(g.GroupUseCount(13), 0);
}

TEST_F(Relays, SevenRelayCard) {
  TGstRelais& g = *Root().Relais();
  g.SetCardType(2);
  EXPECT_EQ(g.CardType(), 2);
  std::vector<TRelais*> card;
  for (int i = 0; i < g.CardCount(); ++i) card.push_back(g.CardRelay(i));
  EXPECT_EQ(Numbers(card), (std::vector<int>{1, 2, 3, 4, 5, 6, 11}));
  EXPECT_EQ(Numbers(Usable(g, true)), (std::vector<int>{1, 2, 3, 4, 5, 6, 11}));
  EXPECT_EQ(g.Count(), 12);
  EXPECT_EQ(g.PositionCount(), 17);
  EXPECT_EQ(g.UsedCount() + g.UnusedCount(), g.Count());
  EXPECT_EQ(card[0]->ShortName(), "Orla K - Relay 1");
  EXPECT_EQ(card[6]->ShortName(), "Orla K - Relay11");
  EXPECT_EQ(card[6]->ImageIndex(), 9);
  TRelais* seventh = PositionOf(g, true, 7);
  ASSERT_NE(seventh, nullptr);
  EXPECT_EQ(seventh->ShortName(), "Empty Duol Relay  7");
  EXPECT_FALSE(seventh->IsUsed());
  EXPECT_EQ(PositionOf(g, true, 12)->ShortName(), "Empty Duol Relay 12");
  EXPECT_EQ(g.CardTypeText(), "Orla Card");
}

TEST_F(Relays, TwelveRelayCard) {
  TGstRelais& g = *Root().Relais();
  g.SetCardType(1);
  EXPECT_EQ(g.CardCount(), 12);
  EXPECT_EQ(g.Count(), 17);
  EXPECT_EQ(g.CardRelay(11)->ShortName(), "Brenn K - Relay12");
  EXPECT_EQ(g.CardTypeText(), "Brenn Card");
  g.SetCardType(0);
  EXPECT_EQ(g.CardCount(), 0);
  EXPECT_EQ(g.Count(), 5);
  EXPECT_EQ(g.PositionCount(), 17) << "twelve empty card positions stay";
  EXPECT_EQ(PositionOf(g, true, 1)->ShortName(), "Empty Duol Relay  1");
}

TEST_F(Relays, InvalidOrUnchangedCardTypeChangesNothing) {
  TGstRelais& g = *Root().Relais();
  g.SetCardType(2);
  g.CardRelay(0)->Groups()->Add(9);
  TRelais* first = g.CardRelay(0);
  for (int code : {3, -1, 2}) {
    g.SetCardType(code);
    EXPECT_EQ(g.CardType(), 2) << code;
    EXPECT_EQ(g.CardRelay(0), first) << code << ": no rebuild";
    EXPECT_TRUE(first->Groups()->Contains(9)) << code;
  }
  EXPECT_TRUE(TGstRelais::IsValidCardType(0));
  EXPECT_TRUE(TGstRelais::IsValidCardType(2));
  EXPECT_FALSE(TGstRelais::IsValidCardType(3));
}

TEST_F(Relays, CardListAndTexts) {
  platform::StringList list;
  list.Add("stale");
  TGstRelais::FillCardTypeList(list);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[0], "No Card");
  EXPECT_EQ(list[1], "Orla Card");
  EXPECT_EQ(list[2], "Brenn Card");
}

TEST_F(Relays, CardTypeAndTablesRoundTrip) {
  TGstRelais& g = *Root().Relais();
  g.SetCardType(1);
  g.CardRelay(10)->Groups()->Add(40);
  g.CardRelay(10)->Groups()->Add(3);
  g.OnBoardRelay(0)->Groups()->Add(99);
  Encode();
  EXPECT_EQ(At(kCardType), 1);
  EXPECT_EQ(Bytes(kCardTables + 5 * 10, 5), (std::vector<int>{3, 40, 0, 0, 0}));
  EXPECT_EQ(Bytes(kBoardTables, 5), (std::vector<int>{99, 0, 0, 0, 0}));

  // Reading an image with the same card code keeps the card relays and puts the
  // rebuilt on-board relays after them.
  Redecode();
  EXPECT_EQ(g.CardType(), 1);
  EXPECT_TRUE(g.UsableRelay(0)->IsCardRelay());
  EXPECT_FALSE(g.UsableRelay(g.Count() - 1)->IsCardRelay());
  EXPECT_TRUE(g.CardRelay(10)->Groups()->Contains(40));
  EXPECT_TRUE(g.OnBoardRelay(0)->Groups()->Contains(99));
}

TEST_F(Relays, ReadingTheCardCodeFromTheImage) {
  TGstRelais& g = *Root().Relais();
  Poke(kCardType, {2});
  Poke(kCardTables + 5 * 10, {7, 0, 0, 0, 0});  // position 11
  Poke(kCardTables + 5 * 6, {8, 0, 0, 0, 0});   // position 7, no relay there
  Redecode();
  EXPECT_EQ(g.CardType(), 2);
  ASSERT_EQ(g.CardCount(), 7);
  EXPECT_TRUE(g.CardRelay(6)->Groups()->Contains(7));
  EXPECT_TRUE(PositionOf(g, true, 7)->Groups()->Contains(8)) << "empty positions read their bytes too";
  EXPECT_EQ(g.GroupUseCount(8), 0) << "only usable relays count";
  EXPECT_EQ(g.GroupUseCount(7), 1);

  Poke(kCardType, {5});
  Redecode();
  EXPECT_EQ(g.CardType(), 2) << "an invalid code keeps the card";
  Encode();
  EXPECT_EQ(At(kCardType), 2);
}

TEST_F(Relays, CardTablesAreLeftAloneWhileNoCardPositionExists) {
  Poke(kCardTables, {5, 6, 0, 0, 0});
  Encode();
  EXPECT_EQ(Bytes(kCardTables, 5), (std::vector<int>{5, 6, 0, 0, 0}));
  Root().Relais()->SetCardType(2);
  Root().Relais()->SetCardType(0);
  Encode();
  EXPECT_EQ(Bytes(kCardTables, 5), (std::vector<int>{0, 0, 0, 0, 0})) << "a rebuilt position starts empty";
}

TEST_F(Relays, ResetDropsTheCard) {
  TGstRelais& g = *Root().Relais();
  g.SetCardType(1);
  g.OnBoardRelay(1)->Groups()->Add(4);
  g.Reset();
  EXPECT_EQ(g.CardType(), 0);
  EXPECT_EQ(g.Count(), 5);
  EXPECT_TRUE(g.OnBoardRelay(1)->Groups()->Empty());
}

}  // namespace
