// The groups (repetitions) window, opened from Configuration as the user opens it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "editors/ChoiceTabs.h"
#include "editors/FormDragList.h"
#include "editors/FormZvoGroups.h"
#include "editors/TreeElem.h"
#include "editors/ZvoGInpElmGrp.h"
#include "editors/ZvoGInpGroup.h"
#include "editors/ZvoGroupsMode.h"
#include "editors/ZvoTreeView.h"
#include "model/GroupTable.h"
#include "model/Groupes.h"
#include "model/Relais.h"
#include "model/Security.h"
#include "model/SigEvt.h"
#include "model/SiteSettings.h"
#include "support/EditorFixture.h"

namespace {

constexpr std::size_t kGroupRecords = 273;
constexpr std::size_t GroupRecord(int n) { return kGroupRecords + 22 * static_cast<std::size_t>(n - 1); }

using Bytes = std::vector<std::uint8_t>;

class GroupsTest : public EditorFixture {
 protected:
  explicit GroupsTest(std::uint8_t panelType = 7) : EditorFixture(panelType) {}

  TGroupe& Group(int n) { return *Root().Groups()->GetGroup(n - 1); }
  TSigEvt& Signal(int index) { return *Root().SigEvt()->GetSigEvt(index); }
  TRelais& Relay(int index) { return *Root().Relais()->UsableRelay(index); }

  TGroupe& MakeGroup(int n, const std::string& label, int type = 1, int event = 1, int logic = 1) {
    TGroupe& g = Group(n);
    g.SetLabel(label);
    g.SetTriggerType(static_cast<std::uint8_t>(type));
    g.SetZoneEvent(static_cast<std::uint8_t>(event));
    g.SetZoneLogic(static_cast<std::uint8_t>(logic));
    g.SetDelay("010");
    return g;
  }

  // Zones 1-3 with a detector each (points 1-3), points 4 and 5 as well: group 5 "Stairs"
  // triggered by zones 1 and 2, activating points 4 and 5; group 12 "Hall" by zone 3,
  // activating point 5 and the first relay.
  void TwoGroups() {
    MakePoint(1, 19, 1, "Hall");
    MakePoint(2, 19, 2, "Door");
    MakePoint(3, 19, 3, "Roof");
    MakePoint(4, 12, 1, "Fan");
    MakePoint(5, 12, 2, "Shutter");
    MakeGroup(5, "Stairs");
    MakeGroup(12, "Hall");
    for (int z : {1, 2}) Zone(z).Groups()->Add(5);
    Zone(3).Groups()->Add(12);
    Point(4).Groups()->Add(5);
    Point(5).Groups()->Add(5);
    Point(5).Groups()->Add(12);
    Relay(0).Groups()->Add(12);
  }

  TFormZvoGroups* OpenGroups() {
    auto* w = Open<TFormZvoGroups>("MenuItemRepetition");
    if (!w) throw std::logic_error("the window did not open");
    return w;
  }

  static QStringList Texts(const QTreeWidget* tree) {
    QStringList texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) texts << tree->topLevelItem(i)->text(0);
    return texts;
  }
  static QStringList Shown(const QWidget* w, const char* tree) { return Texts(Control<QTreeWidget>(w, tree)); }
  static void Press(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  static void Choose(TChoiceTabs* tabs, int index) { Press(tabs->Button(index)); }
  // The user's click on the group's node.
  static void ClickGroup(TFormZvoGroups* w, int n) {
    TZvoTreeView* tree = w->TVGroups();
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
      QTreeWidgetItem* node = tree->topLevelItem(i);
      if (NodeObjectAs<TGroupe>(node)->Number() == n) {
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(node).center());
        return;
      }
    }
    throw std::logic_error("group " + std::to_string(n) + " not listed");
  }
  static void Release(QWidget* to, Qt::Key key, Qt::KeyboardModifiers modifiers = {}, bool repeat = false) {
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, QString(), repeat);
    QApplication::sendEvent(to, &release);
  }
  static void Type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
  }
  static void TypeNumber(TFormZvoGroups* w, const QString& text) { Type(w->CBNumGroupe()->lineEdit(), text); }

  // Moves the element whose caption starts with the text to the other side of the picker.
  static void Move(TFormDragList& picker, bool in, const QString& caption) {
    TZvoTreeView* from = in ? picker.SourceTree() : picker.DestinationTree();
    for (int i = 0; i < from->topLevelItemCount(); ++i) {
      if (from->topLevelItem(i)->text(0).startsWith(caption)) {
        from->setCurrentItem(from->topLevelItem(i));
        in ? picker.BBAddClick() : picker.BBDelClick();
        return;
      }
    }
    throw std::logic_error("no element " + caption.toStdString());
  }

  void Ok(TFormZvoGroups* w) { Press(w->findChild<QPushButton*>(QStringLiteral("BBValider"))); }
  // OK refused with one error box holding the message.
  void ExpectRefused(TFormZvoGroups* w, const QString& message) {
    boxes_.Clear();
    Ok(w);
    ASSERT_EQ(boxes_.Texts(), QStringList{message});
    EXPECT_EQ(boxes_.Boxes()[0].kind, BoxKind::Error);
    EXPECT_FALSE(w->Mode().IsBrowsing());
    EXPECT_FALSE(Root().Modified());
  }
  static bool Focused(const QWidget* control) {
    const QWidget* focus = QApplication::focusWidget();
    return focus && (focus == control || control->isAncestorOf(focus));
  }
};

TEST_F(GroupsTest, ListsTheGroupsInUseAndShowsTheFirstInBrowseMode) {
  TwoGroups();
  MakeGroup(7, "Unused", 0);
  auto* w = OpenGroups();
  EXPECT_EQ(w->windowTitle(), QStringLiteral("Groups declaration"));
  EXPECT_EQ(w->HelpContext(), 43);
  EXPECT_FALSE(MenusEnabled());
  EXPECT_EQ(Shown(w, "TVGroups"), (QStringList{"05 - Stairs", "12 - Hall"}));
  EXPECT_EQ(SelectedNodeObject<TGroupe>(w->TVGroups()), &Group(5));
  EXPECT_EQ(w->CBNumGroupe()->currentText(), QStringLiteral("5"));
  EXPECT_EQ(w->EditGroupe()->text(), QStringLiteral("Stairs"));
  EXPECT_EQ(w->EditRetard()->text(), QStringLiteral("010"));
  EXPECT_EQ(w->TCType()->Index(), 0);
  EXPECT_EQ(w->TCEvent()->Index(), 0);
  EXPECT_EQ(w->TCLogic()->Index(), 0);
  EXPECT_EQ(w->EditResetExt()->text(), QStringLiteral("10"));
  EXPECT_EQ(Shown(w, "TVTgr").size(), 2);
  EXPECT_EQ(Shown(w, "TVTgd").size(), 2);
  // The free numbers, group 7 among them since it is not in use.
  EXPECT_EQ(w->CBNumGroupe()->count(), 97);
  EXPECT_EQ(w->CBNumGroupe()->findText(QStringLiteral("7")), 5);

  EXPECT_TRUE(w->Mode().IsBrowsing());
  EXPECT_TRUE(w->PanelSelection()->isEnabled());
  EXPECT_FALSE(w->PCEdition()->isEnabled());
  EXPECT_TRUE(w->PanelAction()->isVisibleTo(w));
  EXPECT_FALSE(w->PanelConfirmation()->isVisibleTo(w));
  for (QWidget* b : {static_cast<QWidget*>(w->BBAjouter()), static_cast<QWidget*>(w->BBRetirer()),
                     static_cast<QWidget*>(w->BBEdit())}) {
    EXPECT_TRUE(b->isVisibleTo(w)) << b->objectName().toStdString();
  }

  // The other group follows a click; a double click edits it.
  ClickGroup(w, 12);
  EXPECT_EQ(w->EditGroupe()->text(), QStringLiteral("Hall"));
  EXPECT_EQ(w->Input().Current(), &Group(12));
  QTest::mouseDClick(w->TVGroups()->viewport(), Qt::LeftButton, {},
                     w->TVGroups()->visualItemRect(w->TVGroups()->topLevelItem(0)).center());
  EXPECT_EQ(w->Input().Current(), &Group(5));
  EXPECT_EQ(w->Mode().Mode(), TGroupMode::kEdit);
  EXPECT_FALSE(w->PanelSelection()->isEnabled());
  EXPECT_TRUE(w->PCEdition()->isEnabled());
  EXPECT_TRUE(w->EditGroupe()->isEnabled());
  EXPECT_FALSE(w->PanelAction()->isVisibleTo(w));
  EXPECT_TRUE(w->PanelConfirmation()->isVisibleTo(w));
  // Cancel and Close change nothing.
  Type(w->EditGroupe(), QStringLiteral("Changed"));
  Press(w->findChild<QPushButton*>(QStringLiteral("BBAnnuler")));
  EXPECT_TRUE(w->Mode().IsBrowsing());
  EXPECT_EQ(w->EditGroupe()->text(), QStringLiteral("Stairs"));
  const Bytes before = Encoded();
  Press(w->findChild<QPushButton*>(QStringLiteral("BBFermer")));
  ASSERT_TRUE(WaitNoChild());
  EXPECT_TRUE(MenusEnabled());
  EXPECT_FALSE(Root().Modified());
  EXPECT_EQ(Encoded(), before);
  EXPECT_TRUE(boxes_.Texts().isEmpty());
}

// The editor follows the tree's keyboard selection only as the keys are released.
TEST_F(GroupsTest, UpAndDownInBrowseModeLoadTheNextAndPreviousGroup) {
  TwoGroups();
  MakeGroup(30, "Lift");
  auto* w = OpenGroups();
  TZvoTreeView* tree = w->TVGroups();
  tree->setFocus();
  QTest::keyPress(tree, Qt::Key_Down);
  EXPECT_EQ(w->EditGroupe()->text(), QStringLiteral("Stairs"));
  QTest::keyRelease(tree, Qt::Key_Down);
  EXPECT_EQ(w->EditGroupe()->text(), QStringLiteral("Hall"));
  QTest::keyClick(tree, Qt::Key_Down);
  EXPECT_EQ(w->EditGroupe()->text(), QStringLiteral("Lift"));
  QTest::keyClick(tree, Qt::Key_Up);
  EXPECT_EQ(w->EditGroupe()->text(), QStringLiteral("Hall"));
}

// The group tree tells what is wrong with the group under the mouse; the summaries tell
// of their elements and keep their tooltip over a node with nothing to tell.
TEST_F(GroupsTest, TooltipsFollowTheMouse) {
  TwoGroups();
  MakeGroup(7, "Orphan");
  auto* w = OpenGroups();
  TZvoTreeView* tree = w->TVGroups();
  const auto over = [](QTreeWidget* t, int row) {
    QTest::mouseMove(t->viewport(), t->visualItemRect(t->topLevelItem(row)).center());
  };
  over(tree, 1);
  EXPECT_EQ(tree->toolTip(), QStringLiteral("Group 07 has no selected trigger.\r\nGroup 07 has no triggered element."));
  over(tree, 0);
  EXPECT_EQ(tree->toolTip(), QString());
  EXPECT_EQ(tree->topLevelItem(1)->text(0), QStringLiteral("07 - Orphan"));
  EXPECT_EQ(NodeImageIndex(tree->topLevelItem(1)), 2);  // zone-triggered, failed

  Press(w->BBEdit());
  TZvoTreeView* summary = w->TVTgd();
  summary->setToolTip(QStringLiteral("before"));
  over(summary, 0);
  EXPECT_EQ(summary->toolTip(), QStringLiteral("before"));
}

TEST_F(GroupsTest, WithEveryGroupInUseNothingCanBeAdded) {
  MakePoint(1, 19, 1);
  MakePoint(2, 12, 1);
  for (int n = 1; n <= TGstGroups::kGroupCount; ++n) MakeGroup(n, "G" + std::to_string(n));
  auto* w = OpenGroups();
  EXPECT_EQ(w->TVGroups()->topLevelItemCount(), 99);
  EXPECT_FALSE(w->Mode().CanAdd());
  EXPECT_FALSE(w->BBAjouter()->isVisibleTo(w));
  for (auto [key, modifiers] : {std::pair{Qt::Key_Insert, Qt::NoModifier}, std::pair{Qt::Key_Plus, Qt::KeypadModifier}}) {
    QTest::keyClick(w->TVGroups(), key, modifiers);
    EXPECT_TRUE(w->Mode().IsBrowsing());
  }
}

// A new group by the Insert key: nothing chosen for its event and logic until the user
// chooses, and each check in turn, then the store of the group and its memberships.
TEST_F(GroupsTest, AddingAGroupChecksEachFieldInTurnAndStoresItsMemberships) {
  TwoGroups();
  auto* w = OpenGroups();
  QTest::keyClick(w->TVGroups(), Qt::Key_Insert);
  ASSERT_TRUE(w->Mode().IsAdding());
  EXPECT_EQ(w->CBNumGroupe()->currentText(), QStringLiteral("1"));
  EXPECT_EQ(w->EditRetard()->text(), QStringLiteral("000"));
  EXPECT_EQ(w->TCType()->Index(), 0);
  EXPECT_EQ(w->TCEvent()->Index(), -1);
  EXPECT_EQ(w->TCLogic()->Index(), -1);
  EXPECT_TRUE(Shown(w, "TVTgr").isEmpty());

  struct Case {
    const char* number;
    const char* message;
    std::function<QWidget*()> focus;
  };
  const Case numbers[] = {
      {"0", "Group number must be a value between 1 and 99.", [w] { return w->CBNumGroupe(); }},
      {"", "Group number must be a value between 1 and 99.", [w] { return w->CBNumGroupe(); }},
      // Taken as typed, not completed to the free "50".
      {"5", "Group 05 already exists.", [w] { return w->CBNumGroupe(); }},
      {"12", "Group 12 already exists.", [w] { return w->CBNumGroupe(); }},
      {"1", "Group 01 zone trigger event is not defined.", [w] { return w->TCEvent(); }},
  };
  for (const Case& c : numbers) {
    SCOPED_TRACE(c.number);
    TypeNumber(w, QString::fromLatin1(c.number));
    w->PCEdition()->setCurrentWidget(w->TSTrigged());
    ExpectRefused(w, QString::fromLatin1(c.message));
    EXPECT_EQ(w->PCEdition()->currentWidget(), w->TSParametres());
    EXPECT_TRUE(Focused(c.focus()));
  }
  // Typing the number of a group in use shows that group's fields.
  EXPECT_EQ(w->EditGroupe()->text(), QStringLiteral("Hall"));
  TypeNumber(w, QStringLiteral("1"));
  Type(w->EditGroupe(), QStringLiteral("Basement"));
  Choose(w->TCEvent(), 1);
  ExpectRefused(w, QStringLiteral("Group 01 zone trigger logic is not defined."));
  EXPECT_TRUE(Focused(w->TCLogic()));
  Choose(w->TCLogic(), 0);
  Type(w->EditRetard(), QStringLiteral("256"));
  ExpectRefused(w, QStringLiteral("Group 01 command delay is incorrect !\r\nAllowed range is 0 to 255"));
  EXPECT_TRUE(Focused(w->EditRetard()));
  Type(w->EditRetard(), QStringLiteral("7"));
  ExpectRefused(w, QStringLiteral("Group trigger is not defined."));
  EXPECT_EQ(w->PCEdition()->currentWidget(), w->TSTrigger());
  TFormDragList& triggers = w->Input().Triggers().Picker();
  Move(triggers, true, QStringLiteral("Z003"));
  // Group 12's elements came with its fields.
  TFormDragList& activated = w->Input().Activated().Picker();
  EXPECT_EQ(activated.DestinationTree()->topLevelItemCount(), 2);
  activated.BBDelAllClick();
  ExpectRefused(w, QStringLiteral("Activated element are not defined."));
  EXPECT_EQ(w->PCEdition()->currentWidget(), w->TSTrigged());
  Move(activated, true, QStringLiteral("Point 004"));
  // AND needs two zones, whatever else is wrong.
  Choose(w->TCLogic(), 1);
  Type(w->EditRetard(), QStringLiteral("300"));
  ExpectRefused(w, QStringLiteral("Cannot choose only one zone with logic option AND or AND for 2"));
  EXPECT_EQ(w->PCEdition()->currentWidget(), w->TSParametres());
  EXPECT_TRUE(Focused(w->TCLogic()));
  Type(w->EditRetard(), QStringLiteral("7"));
  w->PCEdition()->setCurrentWidget(w->TSTrigger());
  Move(triggers, true, QStringLiteral("Z001"));

  boxes_.Clear();
  Ok(w);
  EXPECT_TRUE(boxes_.Texts().isEmpty()) << boxes_.Texts().join('|').toStdString();
  EXPECT_TRUE(w->Mode().IsBrowsing());
  EXPECT_TRUE(Root().Modified());
  TGroupe& g = Group(1);
  EXPECT_EQ(g.Label(), "Basement");
  EXPECT_EQ(g.Delay(), "007");
  EXPECT_EQ(g.TriggerType(), 1);
  EXPECT_EQ(g.ZoneEvent(), 2);
  EXPECT_EQ(g.ZoneLogic(), 2);
  EXPECT_TRUE(Zone(1).Groups()->Contains(1));
  EXPECT_TRUE(Zone(3).Groups()->Contains(1));
  EXPECT_FALSE(Zone(2).Groups()->Contains(1));
  EXPECT_TRUE(Point(4).Groups()->Contains(1));
  EXPECT_FALSE(Point(5).Groups()->Contains(1));
  EXPECT_EQ(Shown(w, "TVGroups"), (QStringList{"01 - Basement", "05 - Stairs", "12 - Hall"}));
  EXPECT_EQ(SelectedNodeObject<TGroupe>(w->TVGroups()), &g);
  EXPECT_EQ(w->EditGroupe()->text(), QStringLiteral("Basement"));
  // The other groups kept their memberships.
  EXPECT_TRUE(Zone(3).Groups()->Contains(12));
  EXPECT_TRUE(Point(5).Groups()->Contains(5));
}

TEST_F(GroupsTest, NumberFieldsTakeDigitsOnly) {
  TwoGroups();
  auto* w = OpenGroups();
  Press(w->BBEdit());
  for (QLineEdit* edit : {w->CBNumGroupe()->lineEdit(), w->EditRetard(), w->EditResetExt()}) {
    SCOPED_TRACE(edit->parentWidget()->objectName().toStdString() + "/" + edit->objectName().toStdString());
    edit->setFocus();
    edit->end(false);
    const QString before = edit->text();
    QTest::keyClicks(edit, QStringLiteral("x-"));
    EXPECT_EQ(edit->text(), before);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), before.chopped(1));
    QTest::keyClicks(edit, QStringLiteral("123"));
    EXPECT_EQ(edit->text().size(), edit->maxLength());
  }
}

// Checked even while its field is hidden.
TEST_F(GroupsTest, PulseExtensionIsCheckedBeforeTheGroup) {
  TwoGroups();
  auto* w = OpenGroups();
  Press(w->BBEdit());
  ASSERT_FALSE(w->PanelPulsExt()->isVisibleTo(w));
  Type(w->EditResetExt(), QStringLiteral("5"));
  Type(w->EditRetard(), QStringLiteral("999"));
  ExpectRefused(w, QStringLiteral("Pulse extension must be a value\r\nbetween 10 and 60."));
  Type(w->EditResetExt(), QStringLiteral("45"));
  Type(w->EditRetard(), QStringLiteral("20"));
  Ok(w);
  EXPECT_TRUE(w->Mode().IsBrowsing());
  EXPECT_EQ(Root().PulseExtension()->Text(), "45");
  EXPECT_EQ(Group(5).Delay(), "020");
}

// The group 5 byte keeps bits 6-7 it was loaded with; renumbering to 7 moves every
// membership and resets record 5 as the model writes a group not in use.
TEST_F(GroupsTest, RenumberingMovesEveryMembershipAndResetsTheOldRecord) {
  TwoGroups();
  Root().WriteImage();
  Patch(GroupRecord(5) + 21, {0xD5});  // zone, alarm, OR, and bits 6-7 set
  auto* w = OpenGroups();
  ASSERT_EQ(Group(5).Label(), "Stairs");
  Press(w->BBEdit());
  TypeNumber(w, QStringLiteral("7"));
  Type(w->EditGroupe(), QStringLiteral("Stairs east"));
  // Deleting node 05 during the store must not load group 12 into the fields.
  Ok(w);
  ASSERT_TRUE(boxes_.Texts().isEmpty()) << boxes_.Texts().join('|').toStdString();
  EXPECT_EQ(Shown(w, "TVGroups"), (QStringList{"07 - Stairs east", "12 - Hall"}));
  EXPECT_EQ(w->EditGroupe()->text(), QStringLiteral("Stairs east"));
  EXPECT_FALSE(Group(5).IsUsed());
  EXPECT_EQ(Group(12).Label(), "Hall");
  for (int z : {1, 2}) {
    EXPECT_TRUE(Zone(z).Groups()->Contains(7));
    EXPECT_FALSE(Zone(z).Groups()->Contains(5));
  }
  for (int a : {4, 5}) {
    EXPECT_TRUE(Point(a).Groups()->Contains(7));
    EXPECT_FALSE(Point(a).Groups()->Contains(5));
  }
  EXPECT_TRUE(Point(5).Groups()->Contains(12));
  const Bytes image = Encoded();
  Bytes reset(22, 0);
  reset[21] = 0xC0;
  EXPECT_EQ(Bytes(image.begin() + GroupRecord(5), image.begin() + GroupRecord(5) + 22), reset);
  EXPECT_EQ(image[GroupRecord(7)], 'S');
  EXPECT_EQ(image[GroupRecord(7) + 20], 10);
  EXPECT_EQ(image[GroupRecord(7) + 21], 0x15);
}

TEST_F(GroupsTest, SignalTriggeredGroupTakesOneSignalAndDropsItsZones) {
  TwoGroups();
  auto* w = OpenGroups();
  Press(w->BBEdit());
  Choose(w->TCType(), 1);
  EXPECT_EQ(w->TCEvent()->Index(), -1);
  EXPECT_EQ(w->TCLogic()->Index(), -1);
  EXPECT_FALSE(w->PanelByZones()->isVisibleTo(w));
  EXPECT_TRUE(w->PanelPulsExt()->isVisibleTo(w));
  TFormDragList& triggers = w->Input().Triggers().Picker();
  EXPECT_TRUE(triggers.IsSingle());
  EXPECT_EQ(triggers.DestinationTree()->topLevelItemCount(), 0);
  Move(triggers, true, QStringLiteral("Fault LED"));
  Move(triggers, true, QStringLiteral("Battery fault"));
  EXPECT_EQ(Texts(triggers.DestinationTree()), QStringList{"Battery fault"});
  Ok(w);
  ASSERT_TRUE(boxes_.Texts().isEmpty()) << boxes_.Texts().join('|').toStdString();
  EXPECT_EQ(Group(5).TriggerType(), 2);
  EXPECT_EQ(Group(5).ZoneEvent(), 0);
  EXPECT_EQ(Group(5).ZoneLogic(), 0);
  EXPECT_TRUE(Signal(19).Groups()->Contains(5));
  EXPECT_FALSE(Signal(2).Groups()->Contains(5));
  for (int z : {1, 2}) EXPECT_FALSE(Zone(z).Groups()->Contains(5));
}

TEST_F(GroupsTest, AFullGroupTableKeepsItsElementAvailable) {
  TwoGroups();
  for (int g : {40, 41, 42, 43, 44}) Zone(3).Groups()->Add(g);  // 12 and four of these
  ASSERT_EQ(Zone(3).Groups()->FreePlaces(), 0);
  auto* w = OpenGroups();
  Press(w->BBEdit());
  TFormDragList& triggers = w->Input().Triggers().Picker();
  Move(triggers, true, QStringLiteral("Z003"));
  EXPECT_EQ(triggers.DestinationTree()->topLevelItemCount(), 2);
  EXPECT_EQ(Texts(triggers.SourceTree()).filter(QStringLiteral("Z003")).size(), 1);
}

TEST_F(GroupsTest, PointsOfTheExcludedTypesAreNeverOffered) {
  MakePoint(1, 19, 1, "Smoke");
  MakePoint(2, 5, 1, "Five");
  MakePoint(3, 6, 1, "Call");
  MakePoint(4, 14, 1, "Pump");
  MakePoint(5, 12, 1, "Fan");
  MakeGroup(5, "Stairs");
  Zone(1).Groups()->Add(5);
  for (int a = 1; a <= 5; ++a) Point(a).Groups()->Add(5);
  auto* w = OpenGroups();
  TFormDragList& activated = w->Input().Activated().Picker();
  QStringList offered = Texts(activated.SourceTree()) + Texts(activated.DestinationTree());
  EXPECT_EQ(offered.filter(QStringLiteral("Point")).size(), 2) << offered.join('|').toStdString();
  for (const char* label : {"Five", "Call", "Pump"}) EXPECT_TRUE(offered.filter(QLatin1String(label)).isEmpty());
  // OK takes the group out of them all the same.
  Press(w->BBEdit());
  Ok(w);
  ASSERT_TRUE(w->Mode().IsBrowsing());
  for (int a : {1, 5}) EXPECT_TRUE(Point(a).Groups()->Contains(5));
  for (int a : {2, 3, 4}) EXPECT_FALSE(Point(a).Groups()->Contains(5));
}

// OK at once on a loaded site rewrites what it stores and changes no byte.
TEST_F(GroupsTest, OkAtOnceChangesNoByte) {
  TwoGroups();
  Signal(18).Groups()->Add(30);
  MakeGroup(30, "Mains", 2, 0, 0);
  Relay(1).Groups()->Add(30);
  Root().WriteImage();
  Reload();
  const Bytes before = Encoded();
  auto* w = OpenGroups();
  for (int n : {5, 12, 30}) {
    SCOPED_TRACE(n);
    ClickGroup(w, n);
    Press(w->BBEdit());
    Ok(w);
    ASSERT_TRUE(boxes_.Texts().isEmpty()) << boxes_.Texts().join('|').toStdString();
  }
  EXPECT_TRUE(Root().Modified());
  EXPECT_EQ(Encoded(), before);
}

class GroupsDeleteTest : public GroupsTest {
 protected:
  GroupsDeleteTest() : GroupsTest(3) {}
};

// Yes takes the number out of every table that holds it; No changes nothing; a held-down
// Delete asks once.
TEST_F(GroupsDeleteTest, DeleteRemovesTheGroupFromEveryElement) {
  TwoGroups();
  MakePoint(6, 19, 9, "Gone");
  Zone(9).Groups()->Add(5);
  Point(6).SetZone(0);  // zone 9 is no longer in use, its table still names group 5
  Point(6).SetType(0);
  ASSERT_FALSE(Zone(9).IsUsed());
  Signal(19).Groups()->Add(5);
  Relay(0).Groups()->Add(5);
  Root().Security()->Breaking(1)->Groups()->Add(5);
  const Bytes before = Encoded();
  auto* w = OpenGroups();
  ASSERT_EQ(SelectedNodeObject<TGroupe>(w->TVGroups()), &Group(5));
  QTest::keyClick(w->TVGroups(), Qt::Key_Delete);
  EXPECT_EQ(boxes_.Texts(), QStringList{"Do you really want to delete this group ?"});
  EXPECT_EQ(boxes_.Boxes()[0].kind, BoxKind::Query);
  EXPECT_EQ(Encoded(), before);
  EXPECT_FALSE(Root().Modified());

  boxes_.Clear();
  boxes_.Answer(kResultYes);
  TZvoTreeView* tree = w->TVGroups();
  QTest::keyPress(tree, Qt::Key_Minus, Qt::KeypadModifier);
  Release(tree, Qt::Key_Minus, Qt::KeypadModifier, true);
  Release(tree, Qt::Key_Minus, Qt::KeypadModifier, true);
  Release(tree, Qt::Key_Minus, Qt::KeypadModifier);
  EXPECT_EQ(boxes_.Texts().size(), 1);
  EXPECT_TRUE(Root().Modified());
  EXPECT_FALSE(Group(5).IsUsed());
  EXPECT_EQ(Shown(w, "TVGroups"), QStringList{"12 - Hall"});
  for (TTabGrpDDS* table : {Zone(1).Groups(), Zone(2).Groups(), Zone(9).Groups(), Point(4).Groups(),
                            Point(5).Groups(), Signal(19).Groups(), Relay(0).Groups(),
                            Root().Security()->Breaking(1)->Groups()}) {
    EXPECT_FALSE(table->Contains(5));
  }
  EXPECT_TRUE(Point(5).Groups()->Contains(12));
  EXPECT_TRUE(Relay(0).Groups()->Contains(12));
  // The group left is shown.
  EXPECT_EQ(w->EditGroupe()->text(), QStringLiteral("Hall"));

  // Nothing selected: Delete does nothing.
  tree->clearSelection();
  boxes_.Clear();
  QTest::keyClick(tree, Qt::Key_Delete);
  EXPECT_TRUE(boxes_.Texts().isEmpty());
}

TEST_F(GroupsDeleteTest, BreakingFunctionsServeGroupsOnlyWhileOff) {
  TwoGroups();
  Root().Security()->Breaking(2)->SetEnabled(true);
  auto* w = OpenGroups();
  TFormDragList& activated = w->Input().Activated().Picker();
  const QStringList offered = Texts(activated.SourceTree());
  EXPECT_EQ(offered.filter(QString::fromStdString(Root().Security()->Breaking(1)->ShortName())).size(), 1);
  EXPECT_TRUE(offered.filter(QString::fromStdString(Root().Security()->Breaking(2)->ShortName())).isEmpty());
}

}  // namespace
