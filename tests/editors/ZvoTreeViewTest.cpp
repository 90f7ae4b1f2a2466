// The editors' tree views: what a node carries, the node routines, and the refusal to
// expand right after a click.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "editors/TreeElem.h"
#include "editors/TreeImages.h"
#include "editors/ZvoTreeView.h"
#include "model/Points.h"
#include "model/Zones.h"
#include "shell/UiText.h"
#include "support/SiteFixture.h"

static void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace {

// A collection of its own choosing, in use, that holds others without owning them.
class Bag : public TZvoList {
 public:
  void Put(TElemIHM* e) { items_.push_back(e); }
  bool IsUsed() override { return true; }
  std::string Caption() const override { return "Site"; }
};

class ZvoTreeView : public SiteFixture {
 protected:
  void SetUp() override {
    SiteFixture::SetUp();
    view_ = std::make_unique<TZvoTreeView>();
    view_->SetImages(&TreeImages());
    view_->SetStateImages(&StateImages());
  }
  void TearDown() override {
    view_.reset();
    SiteFixture::TearDown();
  }

  // Zone 3 with a detector and a call point, zone 10 with an input module.
  void MakeZones() {
    MakePoint(7, 19, 3, "Door");
    MakePoint(8, 6, 3, "Stairs");
    MakePoint(20, 14, 10, "Pump");
  }
  void Show() {
    view_->resize(320, 400);
    view_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
  }
  static QString Text(const std::string& ansi) { return FromAnsi(ansi); }
  static QStringList Texts(const QTreeWidgetItem* parent) {
    QStringList out;
    for (int i = 0; i < parent->childCount(); ++i) out << parent->child(i)->text(0);
    return out;
  }
  QStringList TopTexts() const {
    QStringList out;
    for (int i = 0; i < view_->topLevelItemCount(); ++i) out << view_->topLevelItem(i)->text(0);
    return out;
  }
  QTreeWidgetItem* Top(int i) const { return view_->topLevelItem(i); }

  std::unique_ptr<TZvoTreeView> view_;
};

// A node holds a site element or a tree element; neither reads as the other.
TEST_F(ZvoTreeView, NodeDataOfOneFamilyIsNotTheOther) {
  TTreeZone elem(&Zone(3));
  QTreeWidgetItem node;
  EXPECT_EQ(NodeElement(&node), nullptr);
  EXPECT_EQ(NodeTreeElem(&node), nullptr);
  EXPECT_EQ(NodeObject(&node), nullptr);
  EXPECT_EQ(NodeImageIndex(&node), -1);
  EXPECT_EQ(NodeStateIndex(&node), -1);

  SetNodeObject(&node, static_cast<TElemIHM*>(&Zone(3)));
  EXPECT_EQ(NodeElement(&node), &Zone(3));
  EXPECT_EQ(NodeObjectAs<TZones>(&node), &Zone(3));
  EXPECT_EQ(NodeObjectAs<TPoints>(&node), nullptr);
  EXPECT_EQ(NodeTreeElem(&node), nullptr);
  EXPECT_EQ(NodeObjectAs<TTreeZone>(&node), nullptr);

  SetNodeObject(&node, static_cast<TTreeElem*>(&elem));
  EXPECT_EQ(NodeTreeElem(&node), &elem);
  EXPECT_EQ(NodeObjectAs<TTreeZone>(&node), &elem);
  EXPECT_EQ(NodeObject(&node), &elem);
  EXPECT_EQ(NodeElement(&node), nullptr);
  EXPECT_EQ(NodeObjectAs<TZones>(&node), nullptr);
  EXPECT_EQ(NodeObjectAs<TElemIHM>(&node), nullptr);
}

// Search runs onward in tree order, across levels, over nodes of both families.
TEST_F(ZvoTreeView, FindAndDeleteNodes) {
  EXPECT_EQ(FindNodeByObject(view_.get(), &Zone(3)), nullptr);  // empty view
  MakeZones();
  TTreeZone elem(&Zone(3));
  auto* a = new QTreeWidgetItem(view_.get());
  SetNodeObject(a, static_cast<TElemIHM*>(&Zone(3)));
  auto* a7 = new QTreeWidgetItem(a);
  SetNodeObject(a7, static_cast<TElemIHM*>(&Point(7)));
  auto* deep = new QTreeWidgetItem(a7);
  SetNodeObject(deep, static_cast<TTreeElem*>(&elem));
  auto* a8 = new QTreeWidgetItem(a);
  SetNodeObject(a8, static_cast<TElemIHM*>(&Point(8)));
  auto* b = new QTreeWidgetItem(view_.get());
  SetNodeObject(b, static_cast<TElemIHM*>(&Zone(10)));
  auto* b20 = new QTreeWidgetItem(b);
  SetNodeObject(b20, static_cast<TElemIHM*>(&Point(20)));

  EXPECT_EQ(FindNodeByObject(view_.get(), &Point(20)), b20);
  EXPECT_EQ(FindNodeByObject(view_.get(), &elem), deep);
  EXPECT_EQ(FindNodeFrom(deep, &Point(8)), a8);  // up one level
  EXPECT_EQ(FindNodeFrom(deep, &Zone(10)), b);   // up two levels
  EXPECT_EQ(FindNodeFrom(b, &Zone(3)), nullptr);  // only onward
  EXPECT_EQ(FindNodeFrom(a8, nullptr), a8);

  // An object no node carries: found nowhere, deleted nowhere.
  EXPECT_EQ(FindNodeByObject(view_.get(), &Zone(50)), nullptr);
  DeleteNodeOfObject(view_.get(), &Zone(50));
  EXPECT_EQ(view_->topLevelItemCount(), 2);
  EXPECT_EQ(a->childCount(), 2);
  EXPECT_EQ(a7->childCount(), 1);

  // A node goes with its children.
  DeleteNodeOfObject(view_.get(), &Zone(3));
  EXPECT_EQ(view_->topLevelItemCount(), 1);
  EXPECT_EQ(Top(0), b);
  EXPECT_EQ(FindNodeByObject(view_.get(), &Point(7)), nullptr);
  EXPECT_EQ(FindNodeByObject(view_.get(), &elem), nullptr);
  DeleteNodeOfObject(view_.get(), &Point(20));
  EXPECT_EQ(b->childCount(), 0);
}

TEST_F(ZvoTreeView, AddNodeOnceAddsOneSortedSelectedNode) {
  MakeZones();
  AddNodeOnce(view_.get(), &Zone(10));
  AddNodeOnce(view_.get(), &Zone(3));
  ASSERT_EQ(TopTexts(), (QStringList{Text(Zone(3).Caption()), Text(Zone(10).Caption())}));
  EXPECT_EQ(NodeElement(Top(0)), &Zone(3));
  EXPECT_EQ(SelectedNodeObject<TZones>(view_.get()), &Zone(3));
  EXPECT_EQ(NodeImageIndex(Top(0)), 0);
  EXPECT_EQ(Top(0)->icon(0).cacheKey(), TreeImages()[0].cacheKey());

  AddNodeOnce(view_.get(), &Zone(10));
  EXPECT_EQ(view_->topLevelItemCount(), 2);
  AddNodeOnce(view_.get(), &Zone(3));
  EXPECT_EQ(view_->topLevelItemCount(), 2);
  EXPECT_EQ(Top(0)->childCount(), 0);  // no children: it is no tree of its collection
}

// A collection's node comes with its items, by their captions, and is selected.
TEST_F(ZvoTreeView, AddNodeTreeBringsTheItems) {
  MakeZones();
  AddNodeTree(view_.get(), &Zone(10));
  AddNodeTree(view_.get(), &Zone(3));
  ASSERT_EQ(view_->topLevelItemCount(), 2);
  EXPECT_EQ(NodeElement(Top(0)), &Zone(3));
  EXPECT_EQ(Texts(Top(0)), (QStringList{"Point 007 - \"Door\"", "Point 008 - \"Stairs\""}));
  EXPECT_EQ(SelectedNodeObject<TZones>(view_.get()), &Zone(3));
}

// Child nodes under a parent's node: added once, sorted, selected; deleted from the
// parent onward; expanded and collapsed with everything below.
TEST_F(ZvoTreeView, ChildNodeRoutines) {
  MakeZones();
  AddNodeTree(view_.get(), &Zone(3));
  AddNodeTree(view_.get(), &Zone(10));
  MakePoint(5, 19, 3, "Attic");
  MakePoint(9, 14, 40, "Pump");

  AddChildNode(view_.get(), &Zone(3), &Point(5), false);
  QTreeWidgetItem* z3 = FindNodeByObject(view_.get(), &Zone(3));
  ASSERT_NE(z3, nullptr);
  EXPECT_EQ(Texts(z3), (QStringList{"Point 005 - \"Attic\"", "Point 007 - \"Door\"", "Point 008 - \"Stairs\""}));
  EXPECT_EQ(SelectedNodeObject<TPoints>(view_.get()), &Point(5));
  // Once only, and never under a parent that has no node.
  AddChildNode(view_.get(), &Zone(10), &Point(5), true);
  AddChildNode(view_.get(), &Zone(40), &Point(9), false);
  EXPECT_EQ(FindNodeByObject(view_.get(), &Point(9)), nullptr);
  EXPECT_EQ(Texts(FindNodeByObject(view_.get(), &Zone(10))).size(), 1);
  AddChildNode(view_.get(), &Zone(10), &Point(9), true);
  EXPECT_EQ(Texts(FindNodeByObject(view_.get(), &Zone(10))).front(), Text(Point(9).TypeCaption()));

  // Only from the parent onward: point 7 under zone 3 is before zone 10's node.
  DeleteChildNode(view_.get(), &Zone(10), &Point(7));
  EXPECT_NE(FindNodeByObject(view_.get(), &Point(7)), nullptr);
  DeleteChildNode(view_.get(), &Zone(3), &Point(7));
  EXPECT_EQ(FindNodeByObject(view_.get(), &Point(7)), nullptr);
  EXPECT_EQ(z3->childCount(), 2);

  ExpandNode(view_.get(), &Zone(3));
  EXPECT_TRUE(z3->isExpanded());
  CollapseNode(view_.get(), &Zone(3));
  EXPECT_FALSE(z3->isExpanded());
}

// A drag near the top or bottom edge scrolls one node that way, and only while there is
// a node to bring in.
TEST_F(ZvoTreeView, DragScrollsOneNodeNearTheEdges) {
  for (int a = 1; a <= 60; ++a) AddNodeOnce(view_.get(), &MakePoint(a, 19, 0, "P"));
  view_->resize(200, 200);
  Show();
  view_->scrollToTop();
  const int height = view_->viewport()->height();
  const auto top = [this] { return NodeObject(view_->itemAt(QPoint(0, 0))); };
  EXPECT_FALSE(view_->ScrollForDrag(QPoint(10, 5))) << "the margin is 0 unless asked";
  view_->SetDragScrollMargin(20);
  EXPECT_FALSE(view_->ScrollForDrag(QPoint(10, 5))) << "nothing above the first node";
  EXPECT_FALSE(view_->ScrollForDrag(QPoint(10, height / 2)));
  EXPECT_EQ(top(), &Point(1));
  EXPECT_TRUE(view_->ScrollForDrag(QPoint(10, height - 5)));
  EXPECT_EQ(top(), &Point(2));
  EXPECT_TRUE(view_->ScrollForDrag(QPoint(10, 19)));
  EXPECT_EQ(top(), &Point(1));
  EXPECT_TRUE(view_->updatesEnabled());
}

// As the system's trees, the right button opens the menu on the selection as it is.
TEST_F(ZvoTreeView, RightClickKeepsTheSelection) {
  MakeZones();
  AddNodeOnce(view_.get(), &Zone(3));
  AddNodeOnce(view_.get(), &Zone(10));
  Show();
  view_->setCurrentItem(Top(0));
  QTest::mouseClick(view_->viewport(), Qt::RightButton, {}, view_->visualItemRect(Top(1)).center());
  EXPECT_EQ(SelectedNodeObject<TZones>(view_.get()), &Zone(3));
}

class ZvoTreeViewChildNodes : public ZvoTreeView, public ::testing::WithParamInterface<bool> {};

// Items not in use are left out at every level; the type-caption flag reaches every
// nested level, for points under a parent only.
TEST_P(ZvoTreeViewChildNodes, AddChildNodesSkipsUnusedAndCarriesTheFlag) {
  const bool typeCaption = GetParam();
  MakeZones();
  Point(9).SetZone(3);  // listed by the zone, not in use
  Zone(5).SetLabel("Empty");
  Bag bag;
  bag.Put(&Point(40));  // not in use
  bag.Put(&Point(7));
  bag.Put(Root().Zones());

  AddChildNodes(bag, view_.get(), nullptr, typeCaption);
  ASSERT_EQ(view_->topLevelItemCount(), 2);
  EXPECT_EQ(Top(0)->text(0), "Point 007 - \"Door\"");
  EXPECT_EQ(NodeImageIndex(Top(0)), 4);
  QTreeWidgetItem* zones = Top(1);
  EXPECT_EQ(NodeElement(zones), Root().Zones());
  ASSERT_EQ(zones->childCount(), 2);
  EXPECT_EQ(Texts(zones), (QStringList{Text(Zone(3).Caption()), Text(Zone(10).Caption())}));
  QTreeWidgetItem* z3 = zones->child(0);
  ASSERT_EQ(z3->childCount(), 2);
  const QStringList expected = typeCaption
                                   ? QStringList{"Point 007 - Interactive optical", "Point 008 - Manual Call Point"}
                                   : QStringList{"Point 007 - \"Door\"", "Point 008 - \"Stairs\""};
  EXPECT_EQ(Texts(z3), expected);
  EXPECT_EQ(NodeElement(z3->child(1)), &Point(8));
  EXPECT_EQ(NodeImageIndex(z3->child(1)), 6);
  EXPECT_EQ(z3->child(1)->icon(0).cacheKey(), TreeImages()[6].cacheKey());
  EXPECT_EQ(Texts(zones->child(1)), QStringList{Text(typeCaption ? Point(20).TypeCaption() : Point(20).Caption())});
}

INSTANTIATE_TEST_SUITE_P(ZvoTreeView, ZvoTreeViewChildNodes, ::testing::Bool());

TEST_F(ZvoTreeView, RenseigneTreeRefillsSorted) {
  MakePoint(8, 6, 3, "Stairs");  // before 7 in the zone's list
  MakePoint(7, 19, 3, "Door");
  MakePoint(20, 14, 10, "Pump");
  auto* junk = new QTreeWidgetItem(view_.get());
  SetNodeObject(junk, static_cast<TElemIHM*>(&Zone(50)));
  Bag bag;
  bag.Put(&Zone(10));
  bag.Put(&Zone(3));
  bag.Put(&Zone(4));  // not in use

  for (int round = 0; round < 2; ++round) {
    RenseigneTree(bag, view_.get(), nullptr, true);
    ASSERT_EQ(TopTexts(), (QStringList{Text(Zone(3).Caption()), Text(Zone(10).Caption())})) << round;
    EXPECT_EQ(Texts(Top(0)), (QStringList{"Point 007 - Interactive optical", "Point 008 - Manual Call Point"}));
    EXPECT_EQ(FindNodeByObject(view_.get(), &Zone(50)), nullptr);
    EXPECT_TRUE(view_->updatesEnabled());
  }

  // Under a parent: the parent stays, its children are the collection's.
  QTreeWidgetItem* parent = Top(1);
  RenseigneTree(Zone(3), view_.get(), parent, false);
  EXPECT_EQ(view_->topLevelItemCount(), 2);
  EXPECT_EQ(NodeElement(Top(1)), &Zone(10));
  EXPECT_EQ(Texts(Top(1)), (QStringList{"Point 007 - \"Door\"", "Point 008 - \"Stairs\""}));
  EXPECT_EQ(Texts(Top(0)).size(), 2);
}

TEST_F(ZvoTreeView, RefreshNodeTakesTheNewTextAndImage) {
  MakePoint(7, 19, 3, "Door");
  AddNodeOnce(view_.get(), &Zone(3));
  AddNodeOnce(view_.get(), &Point(7));
  QTreeWidgetItem* zone = FindNodeByObject(view_.get(), &Zone(3));
  ASSERT_NE(zone, nullptr);
  view_->SetNodeImages(zone, NodeImageIndex(zone), 4);  // a picker's state image stays

  Zone(3).SetLabel("Hall");
  Zone(3).SetPreAlarm(true);  // one point: fails its check
  RefreshNode(view_.get(), &Zone(3), true);
  EXPECT_EQ(zone->text(0), Text(Zone(3).Caption()));
  EXPECT_TRUE(zone->text(0).endsWith("\"Hall\""));
  EXPECT_EQ(NodeImageIndex(zone), 3);
  EXPECT_EQ(NodeStateIndex(zone), 4);

  QTreeWidgetItem* point = FindNodeByObject(view_.get(), &Point(7));
  ASSERT_NE(point, nullptr);
  Point(7).SetType(14);
  RefreshNode(view_.get(), &Point(7), true);
  EXPECT_EQ(point->text(0), "Point 007 - Input module");
  EXPECT_EQ(NodeImageIndex(point), 5);
  EXPECT_EQ(point->icon(0).cacheKey(), TreeImages()[5].cacheKey());
  RefreshNode(view_.get(), &Point(7), false);
  EXPECT_EQ(point->text(0), "Point 007 - \"Door\"");

  RefreshNode(view_.get(), &Zone(10), false);  // no node: nothing to do
  EXPECT_EQ(view_->topLevelItemCount(), 2);
}

TEST_F(ZvoTreeView, SelectedNodeObjectAndNodeObjectAt) {
  MakeZones();
  AddNodeTree(view_.get(), &Zone(3));
  TTreeZone elem(&Zone(10));
  auto* elemNode = new QTreeWidgetItem(view_.get());
  elemNode->setText(0, "Z010");
  SetNodeObject(elemNode, static_cast<TTreeElem*>(&elem));
  Show();

  EXPECT_EQ(SelectedNodeObject<TElemIHM>(view_.get()), &Zone(3));
  EXPECT_EQ(SelectedNodeObject<TPoints>(view_.get()), nullptr);
  EXPECT_EQ(SelectedNodeObject<TElemIHM>(Top(0)->child(1)), &Point(8));
  EXPECT_EQ(SelectedNodeObject<TElemIHM>(static_cast<const QTreeWidgetItem*>(nullptr)), nullptr);
  QPushButton button;
  EXPECT_EQ(SelectedNodeObject<TElemIHM>(&button), nullptr);
  EXPECT_EQ(SelectedNodeObject<TElemIHM>(static_cast<const QObject*>(nullptr)), nullptr);

  view_->setCurrentItem(elemNode);
  EXPECT_EQ(SelectedNodeObject<TTreeElem>(view_.get()), &elem);
  EXPECT_EQ(SelectedNodeObject<TElemIHM>(view_.get()), nullptr);
  view_->clearSelection();
  EXPECT_EQ(SelectedNodeObject<TTreeElem>(view_.get()), nullptr);

  const QPoint onZone = view_->visualItemRect(Top(0)).center();
  const QPoint onElem = view_->visualItemRect(elemNode).center();
  const QRect last = view_->visualItemRect(elemNode);
  const QPoint below(last.center().x(), last.bottom() + 3 * last.height());
  ASSERT_LT(below.y(), view_->viewport()->height());
  EXPECT_EQ(NodeObjectAt<TElemIHM>(view_.get(), onZone), &Zone(3));
  EXPECT_EQ(NodeObjectAt<TTreeElem>(view_.get(), onElem), &elem);
  EXPECT_EQ(NodeObjectAt<TElemIHM>(view_.get(), onElem), nullptr);
  EXPECT_EQ(NodeObjectAt<TElemIHM>(view_.get(), below), nullptr);
  EXPECT_EQ(NodeObjectAt<TElemIHM>(&button, onZone), nullptr);
}

enum class Action { DoubleClick, KeypadPlus, KeypadMinus, ExpandButton };

struct GuardCase {
  bool guard;
  Action action;
  std::int64_t after;  // ms from the click to the action
  bool toggles;
};

void PrintTo(const GuardCase& c, std::ostream* os) {
  static const char* const names[] = {"double click", "keypad +", "keypad -", "expand button"};
  *os << (c.guard ? "guarded, " : "unguarded, ") << names[static_cast<int>(c.action)] << " after " << c.after
      << " ms";
}

class ZvoTreeViewGuard : public ZvoTreeView, public ::testing::WithParamInterface<GuardCase> {
 protected:
  void SetUp() override {
    ZvoTreeView::SetUp();
    TZvoTreeView::SetClock([this] { return now_; });
  }
  void TearDown() override {
    TZvoTreeView::SetClock({});
    ZvoTreeView::TearDown();
  }
  std::int64_t now_ = 5'000'000;
};

TEST_P(ZvoTreeViewGuard, ExpandsOnlyWhenTheClickIsOldEnough) {
  const GuardCase& c = GetParam();
  MakeZones();
  AddNodeTree(view_.get(), &Zone(3));
  view_->SetExpansionGuard(c.guard);
  Show();
  QTreeWidgetItem* node = Top(0);
  ASSERT_GT(node->childCount(), 0);
  const bool expanded = c.action == Action::KeypadMinus;
  node->setExpanded(expanded);
  view_->setCurrentItem(nullptr);
  QWidget* viewport = view_->viewport();
  const QRect rect = view_->visualItemRect(node);

  QTest::mouseClick(viewport, Qt::LeftButton, {}, rect.center());
  ASSERT_EQ(view_->currentItem(), node);
  ASSERT_EQ(node->isExpanded(), expanded);  // a click alone does not expand
  now_ += c.after;
  switch (c.action) {
    case Action::DoubleClick:
      QTest::mouseDClick(viewport, Qt::LeftButton, {}, rect.center());
      QTest::mouseRelease(viewport, Qt::LeftButton, {}, rect.center());
      break;
    case Action::KeypadPlus: QTest::keyClick(view_.get(), Qt::Key_Plus, Qt::KeypadModifier); break;
    case Action::KeypadMinus: QTest::keyClick(view_.get(), Qt::Key_Minus, Qt::KeypadModifier); break;
    case Action::ExpandButton:
      QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(rect.x() - view_->indentation() / 2, rect.center().y()));
      break;
  }
  EXPECT_EQ(node->isExpanded(), c.toggles ? !expanded : expanded);
}

// Exactly 300 ms after the click is late enough; the guard off lets everything through.
INSTANTIATE_TEST_SUITE_P(ZvoTreeView, ZvoTreeViewGuard,
                         ::testing::Values(GuardCase{true, Action::DoubleClick, 0, false},
                                           GuardCase{true, Action::DoubleClick, 299, false},
                                           GuardCase{true, Action::DoubleClick, 300, true},
                                           GuardCase{true, Action::KeypadPlus, 0, false},
                                           GuardCase{true, Action::KeypadPlus, 299, false},
                                           GuardCase{true, Action::KeypadPlus, 300, true},
                                           GuardCase{true, Action::KeypadMinus, 120, false},
                                           GuardCase{true, Action::KeypadMinus, 300, true},
                                           GuardCase{true, Action::ExpandButton, 299, false},
                                           GuardCase{true, Action::ExpandButton, 300, true},
                                           GuardCase{false, Action::DoubleClick, 0, true},
                                           GuardCase{false, Action::KeypadPlus, 0, true},
                                           GuardCase{false, Action::ExpandButton, 0, true}));

}  // namespace
