// The points window, opened from Configuration as the user opens it.
#include <gtest/gtest.h>

#include <QAction>
#include <QAbstractItemView>
#include <QApplication>
#include <QFontMetrics>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTreeWidget>
#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "editors/ChoiceTabs.h"
#include "editors/FormZvoPoints.h"
#include "editors/ZvoCtrlModePoints.h"
#include "editors/ZvoGInpPoint.h"
#include "editors/ZvoGInpZone.h"
#include "editors/ZvoTreeView.h"
#include "model/Lignes.h"
#include "support/EditorFixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class PointsWindowTest : public EditorFixture {
 protected:
  void TearDown() override {
    TZvoTreeView::SetClock({});
    EditorFixture::TearDown();
    PointCaptionView = captionView_;
    PointsShowTypes = false;
  }

  TLignes& Line(int n) { return *Root().Lignes()->GetLine(n - 1); }
  TPoints& PlacePoint(int address, int type, int zone, int line, const std::string& label = {}) {
    TPoints& p = MakePoint(address, type, zone, label);
    p.SetLine(line);
    return p;
  }

  TFormZvoPoints* OpenPoints() {
    auto* w = Open<TFormZvoPoints>("MenuItemDetecteur");
    if (!w) throw std::logic_error("the window did not open");
    return w;
  }

  static QTreeWidgetItem* NodeOf(TFormZvoPoints* w, const void* object) {
    QTreeWidgetItem* node = FindNodeByObject(w->TreeView(), object);
    if (!node) throw std::logic_error("no node for the element");
    return node;
  }
  // The centre of the element's node, brought into sight (its parent expanded first).
  static QPoint At(TFormZvoPoints* w, const void* object) {
    QTreeWidgetItem* node = NodeOf(w, object);
    if (node->parent()) node->parent()->setExpanded(true);
    w->TreeView()->scrollToItem(node);
    return w->TreeView()->visualItemRect(node).center();
  }
  // The user's click on the element's node.
  static void Click(TFormZvoPoints* w, const void* object) {
    QTest::mouseClick(w->TreeView()->viewport(), Qt::LeftButton, {}, At(w, object));
  }
  static void Press(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  static void Type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
  }
  static void Release(QWidget* to, Qt::Key key, Qt::KeyboardModifiers modifiers = {}, bool repeat = false) {
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, QString(), repeat);
    QApplication::sendEvent(to, &release);
  }
  static bool Shows(const QWidget* w, const QWidget* control) { return control->isVisibleTo(w); }
  static bool Focused(const QWidget* control) {
    const QWidget* focus = QApplication::focusWidget();
    return focus && (focus == control || control->isAncestorOf(focus));
  }

  // Loop 1: points 3 "Hall" and 7 "Door" in zone 3 "Ground", point 30 "Attic" alone in
  // pre-alarm zone 9; loop 2: the call point 12 and point 20 in pre-alarm zone 5 "Roof".
  // Point 7 and zone 3 are members of groups; point 7 triggers evacuation functions 1 and 3.
  void Site() {
    PlacePoint(3, 19, 3, 1, "Hall");
    TPoints& door = PlacePoint(7, 19, 3, 1, "Door");
    door.Groups()->Add(5);
    door.Groups()->Add(8);
    door.SetEvacuation(1, true);
    door.SetEvacuation(3, true);
    door.SetActiveOutput(true);
    PlacePoint(30, 20, 9, 1, "Attic");
    PlacePoint(12, 6, 5, 2, "Call");
    PlacePoint(20, 12, 5, 2, "Fan");
    Zone(3).SetLabel("Ground");
    Zone(3).Groups()->Add(5);
    Zone(3).Groups()->Add(8);
    Zone(3).SetZoneFlag(true);
    Zone(5).SetLabel("Roof");
    Zone(5).SetPreAlarm(true);
    Zone(9).SetPreAlarm(true);
  }
  // The site as a load leaves it.
  void Loaded() {
    Root().WriteImage();
    Reload();
  }

  static void ShowView(TFormZvoPoints* w, int view) {
    QTest::mouseClick(w->TCView(), Qt::LeftButton, {}, w->TCView()->tabRect(view).center());
    if (w->TCView()->currentIndex() != view) throw std::logic_error("the view did not change");
  }
  // How many nodes carry the object.
  static int NodeCount(TFormZvoPoints* w, const void* object) {
    int n = 0;
    QTreeWidget* tree = w->TreeView();
    for (QTreeWidgetItem* at = tree->topLevelItemCount() > 0 ? tree->topLevelItem(0) : nullptr; at; at = NextNode(at)) {
      if (NodeObject(at) == object) ++n;
    }
    return n;
  }
  static TElemIHM* Selected(TFormZvoPoints* w) { return SelectedNodeObject<TElemIHM>(w->TreeView()); }
  static const void* ParentOf(TFormZvoPoints* w, const void* object) { return NodeObject(NodeOf(w, object)->parent()); }
  static QStringList ChildTexts(TFormZvoPoints* w, const void* object) {
    QTreeWidgetItem* node = NodeOf(w, object);
    QStringList texts;
    for (int i = 0; i < node->childCount(); ++i) texts << node->child(i)->text(0);
    return texts;
  }
  static QStringList TopTexts(TFormZvoPoints* w) {
    QStringList texts;
    for (int i = 0; i < w->TreeView()->topLevelItemCount(); ++i) texts << w->TreeView()->topLevelItem(i)->text(0);
    return texts;
  }
  // A key released where the focus is, as the keyboard sends it.
  static void ReleaseOnFocus(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    QWidget* focus = QApplication::focusWidget();
    if (!focus) throw std::logic_error("no widget has the focus");
    Release(focus, key, modifiers);
  }
  static void TypeAddress(TFormZvoPoints* w, const QString& text) { Type(w->CBAdresse()->lineEdit(), text); }
  static void TypeZone(TFormZvoPoints* w, const QString& text) { Type(w->CBNumZone()->lineEdit(), text); }
  static void Edit(TFormZvoPoints* w, const void* object) {
    Click(w, object);
    Press(w->BBEdit());
  }
  // OK with no box shown.
  void Ok(TFormZvoPoints* w) {
    boxes_.Clear();
    Press(w->BBValider());
    if (!boxes_.Texts().isEmpty()) throw std::logic_error("OK showed " + boxes_.Texts().join('|').toStdString());
  }

  std::uint8_t captionView_ = PointCaptionView;
  // The time of the trees' clock when a test sets it.
  std::int64_t now_ = 7'000'000;
};

TEST_F(PointsWindowTest, OpensOnTheLineViewWithTheFirstLoopSelected) {
  auto* w = OpenPoints();
  EXPECT_EQ(w->windowTitle(), QStringLiteral("Points declaration"));
  EXPECT_EQ(w->HelpContext(), 41);
  ASSERT_EQ(w->TCView()->count(), 2);
  EXPECT_EQ(w->TCView()->tabText(0), QStringLiteral("Loops "));
  EXPECT_EQ(w->TCView()->tabText(1), QStringLiteral("Zones"));
  EXPECT_EQ(w->TCView()->currentIndex(), 0);
  EXPECT_EQ(SelectedNodeObject<TLignes>(w->TreeView()), &Line(1));
  EXPECT_EQ(w->Mode().State(), TCtrlMode::kLineSelected);
  EXPECT_TRUE(Shows(w, w->BBAjouter()));
  EXPECT_FALSE(Shows(w, w->BBRetirer()));
  EXPECT_FALSE(Shows(w, w->BBEdit()));
  EXPECT_FALSE(Shows(w, w->GBPoint()));
  EXPECT_FALSE(Shows(w, w->GBZone()));
}

// The identification list drops down as wide as its longest entry; the box keeps its width.
TEST_F(PointsWindowTest, TheIdentificationListDropsDownWideEnough) {
  auto* w = OpenPoints();
  Press(w->BBAjouter());
  QComboBox* ident = w->CBIdent();
  const int width = ident->width();
  const QFontMetrics metrics(ident->font());
  int widest = 0;
  for (const QString& entry : Entries(ident)) widest = std::max(widest, metrics.horizontalAdvance(entry));
  ident->showPopup();
  EXPECT_GE(ident->view()->minimumWidth(), widest);
  ident->hidePopup();
  EXPECT_EQ(ident->width(), width);
}

TEST_F(PointsWindowTest, InsertOnTheFirstLoopProposesAndStoresPointOne) {
  auto* w = OpenPoints();
  Release(w->TreeView(), Qt::Key_Insert);
  EXPECT_EQ(w->Mode().State(), TCtrlMode::kAddingFromLine);
  EXPECT_EQ(w->CBAdresse()->currentText(), QStringLiteral("1"));
  EXPECT_EQ(w->CBIdent()->currentData().toInt(), 19);
  EXPECT_EQ(w->EditPoint()->text(), QStringLiteral("Interactive opti 1"));
  EXPECT_EQ(w->CBNumZone()->currentText(), QStringLiteral("1"));
  EXPECT_TRUE(Shows(w, w->BBSuivant()));
  Press(w->BBValider());
  EXPECT_EQ(Point(1).Type(), 19);
  EXPECT_EQ(Point(1).LineNumber(), 1);
  EXPECT_EQ(Point(1).ZoneNumber(), 1);
  EXPECT_EQ(Point(1).Label(), "Interactive opti 1");
  EXPECT_TRUE(Root().Modified());
  EXPECT_TRUE(boxes_.Texts().isEmpty());
  EXPECT_EQ(SelectedNodeObject<TPoints>(w->TreeView()), &Point(1));
  EXPECT_EQ(w->Mode().State(), TCtrlMode::kPointSelected);
}

// Each refusal is one message box; nothing is stored and the window stays where it was.
TEST_F(PointsWindowTest, InvalidEntriesAreReportedAndNothingIsStored) {
  Site();
  const Bytes before = Encoded();
  auto* w = OpenPoints();
  const QString range = QStringLiteral("Address must be a value between 1 and 128");
  const QString zoneRange = QStringLiteral("Zone number must be a value between 1 and 99");
  const auto expectRefused = [&](std::uint16_t state, const QString& message, QWidget* focus) {
    boxes_.Clear();
    Press(w->BBValider());
    ASSERT_EQ(boxes_.Texts(), QStringList{message});
    EXPECT_EQ(boxes_.Boxes()[0].kind, BoxKind::Message);
    EXPECT_EQ(w->Mode().State(), state);
    EXPECT_TRUE(Focused(focus));
    EXPECT_FALSE(Root().Modified());
    EXPECT_EQ(Encoded(), before);
  };

  struct Case {
    const char* address;
    const char* zone;
    QString message;
    bool zoneFault;
  };
  const Case adds[] = {
      {"0", "3", range, false},
      {"129", "3", range, false},
      {"", "3", range, false},
      {"x", "3", range, false},
      {"12", "3", QStringLiteral("Address 012 is already used"), false},
      {"1", "0", zoneRange, true},
      {"1", "100", zoneRange, true},
      {"1", "", zoneRange, true},
  };
  Click(w, &Line(1));
  Press(w->BBAjouter());
  for (const Case& c : adds) {
    SCOPED_TRACE(std::string(c.address) + " in zone " + c.zone);
    const QString address = QString::fromLatin1(c.address);
    if (address == QStringLiteral("x")) {
      w->CBAdresse()->setEditText(address);  // the box takes no letter from the keyboard
    } else {
      TypeAddress(w, address);
    }
    TypeZone(w, QString::fromLatin1(c.zone));
    expectRefused(TCtrlMode::kAddingFromLine, c.message, c.zoneFault ? w->CBNumZone() : w->CBAdresse());
  }
  Press(w->BBAnnuler());

  // An edited point keeps its own address, not another point's; its zone number is checked too.
  Edit(w, &Point(7));
  TypeAddress(w, QStringLiteral("12"));
  expectRefused(TCtrlMode::kPointEditing, QStringLiteral("Address 012 is already used"), w->CBAdresse());
  TypeAddress(w, QStringLiteral("7"));
  TypeZone(w, QStringLiteral("100"));
  expectRefused(TCtrlMode::kPointEditing, zoneRange, w->CBNumZone());
  Press(w->BBAnnuler());

  ShowView(w, TFormZvoPoints::kZoneView);
  Edit(w, &Zone(3));
  ASSERT_EQ(w->Mode().State(), TCtrlMode::kZoneEditing);
  TypeZone(w, QStringLiteral("5"));
  expectRefused(TCtrlMode::kZoneEditing, QStringLiteral("Zone 005 is already declared"), w->CBNumZone());
  TypeZone(w, QStringLiteral("0"));
  expectRefused(TCtrlMode::kZoneEditing, zoneRange, w->CBNumZone());
  Press(w->BBAnnuler());

  ShowView(w, TFormZvoPoints::kLineView);
  boxes_.Clear();
  QTest::mouseDClick(w->TreeView()->viewport(), Qt::LeftButton, {}, At(w, &Line(1)));
  ASSERT_EQ(boxes_.Texts(), QStringList{"Lines / loops cannot be edited."});
  EXPECT_EQ(boxes_.Boxes()[0].kind, BoxKind::Error);
  EXPECT_EQ(w->Mode().State(), TCtrlMode::kLineSelected);
  EXPECT_FALSE(Root().Modified());
  EXPECT_EQ(Encoded(), before);
}

// No leaves the site as it was; Yes deletes, and the tree follows in the view shown.
TEST_F(PointsWindowTest, DeletesAskFirstAndUpdateTheTree) {
  Site();
  const Bytes before = Encoded();
  auto* w = OpenPoints();
  const QString line = QStringLiteral("Do you really want to delete all points associated\r\nto this line ?");
  const QString zone = QStringLiteral("Do you really want to delete this zone and all\r\nhosted points ?");
  const QString point = QStringLiteral("Do you really want to delete this point ?");
  const auto remove = [&](const void* element, bool yes, Qt::KeyboardModifiers keypad = {}) {
    Click(w, element);
    boxes_.Clear();
    if (yes) boxes_.Answer(kResultYes);
    Release(w->TreeView(), keypad.testFlag(Qt::KeypadModifier) ? Qt::Key_Minus : Qt::Key_Delete, keypad);
  };
  struct Asked {
    int view;
    const void* element;
    const QString& question;
  };
  const Asked asked[] = {{TFormZvoPoints::kLineView, &Line(1), line},
                         {TFormZvoPoints::kLineView, &Point(7), point},
                         {TFormZvoPoints::kZoneView, &Zone(3), zone},
                         {TFormZvoPoints::kZoneView, &Point(7), point}};
  for (const Asked& a : asked) {
    SCOPED_TRACE(a.question.toStdString());
    ShowView(w, a.view);
    remove(a.element, false);
    ASSERT_EQ(boxes_.Texts(), QStringList{a.question});
    EXPECT_EQ(boxes_.Boxes()[0].kind, BoxKind::Query);
    EXPECT_EQ(Encoded(), before);
    EXPECT_FALSE(Root().Modified());
    EXPECT_EQ(Selected(w), a.element);
  }

  // A held-down key repeats its releases: only the real one asks.
  Click(w, &Point(30));
  boxes_.Clear();
  Release(w->TreeView(), Qt::Key_Delete, {}, true);
  EXPECT_TRUE(boxes_.Texts().isEmpty());

  // Zone view: the last point of zone 9 takes the zone's node with it; a point that
  // leaves others in its zone leaves the zone's node.
  remove(&Point(30), true, Qt::KeypadModifier);
  EXPECT_EQ(boxes_.Texts(), QStringList{point});
  EXPECT_TRUE(Root().Modified());
  EXPECT_FALSE(Point(30).IsUsed());
  EXPECT_FALSE(Zone(9).IsUsed());
  EXPECT_EQ(FindNodeByObject(w->TreeView(), &Zone(9)), nullptr);
  EXPECT_EQ(FindNodeByObject(w->TreeView(), &Point(30)), nullptr);
  remove(&Point(20), true);
  EXPECT_FALSE(Point(20).IsUsed());
  EXPECT_EQ(ChildTexts(w, &Zone(5)), QStringList{"A012 - Loop 2 - \"Call\""});
  EXPECT_EQ(NodeOf(w, &Zone(5))->text(0), QStringLiteral("Z005 - 1 point - \"Roof\""));
  remove(&Zone(5), true);
  EXPECT_EQ(boxes_.Texts(), QStringList{zone});
  EXPECT_FALSE(Point(12).IsUsed());
  EXPECT_FALSE(Zone(5).IsUsed());
  EXPECT_TRUE(Zone(5).Label().empty());
  EXPECT_FALSE(Zone(5).PreAlarm());
  EXPECT_EQ(TopTexts(w), QStringList{"Z003 - 2 points - \"Ground\""});
  EXPECT_EQ(Selected(w), &Zone(3));

  // Line view: a point, then the line's points.
  ShowView(w, TFormZvoPoints::kLineView);
  remove(&Point(3), true);
  EXPECT_EQ(boxes_.Texts(), QStringList{point});
  EXPECT_FALSE(Point(3).IsUsed());
  EXPECT_EQ(ChildTexts(w, &Line(1)), QStringList{"A007 - Z003 - \"Door\""});
  EXPECT_EQ(NodeOf(w, &Line(1))->text(0), QStringLiteral("Loop 1 - 1 point - 1 zone"));
  remove(&Line(1), true);
  EXPECT_EQ(boxes_.Texts(), QStringList{line});
  EXPECT_FALSE(Point(7).IsUsed());
  EXPECT_EQ(Line(1).Count(), 0);
  EXPECT_EQ(NodeOf(w, &Line(1))->childCount(), 0);
  EXPECT_EQ(NodeOf(w, &Line(1))->text(0), QStringLiteral("Loop 1 - empty"));
  EXPECT_EQ(Selected(w), &Line(1));

  // A line without points has nothing to delete: no question.
  EXPECT_FALSE(Shows(w, w->BBRetirer()));
  remove(&Line(2), true);
  EXPECT_TRUE(boxes_.Texts().isEmpty());
  remove(&Line(1), true);
  EXPECT_TRUE(boxes_.Texts().isEmpty());
  EXPECT_EQ(Root().Points()->UnusedCount(), 128);
}

// Next keeps adding while more than one address is free; the last one is added by OK,
// and then nothing can be added.
TEST_F(PointsWindowTest, NextAddsUntilOneAddressIsLeftAndThenNothingCanBeAdded) {
  for (int a = 1; a <= 126; ++a) PlacePoint(a, 19, 1 + a % 4, 1 + a % 2, "P");
  auto* w = OpenPoints();
  Click(w, &Line(2));
  Release(w->TreeView(), Qt::Key_Insert);
  ASSERT_EQ(w->Mode().State(), TCtrlMode::kAddingFromLine);
  EXPECT_EQ(w->CBAdresse()->currentText(), QStringLiteral("127"));
  EXPECT_TRUE(Shows(w, w->BBSuivant()));
  Press(w->BBSuivant());
  EXPECT_TRUE(boxes_.Texts().isEmpty());
  EXPECT_EQ(Point(127).Label(), "Interactive opti 127");
  EXPECT_EQ(Point(127).LineNumber(), 2);
  EXPECT_EQ(Point(127).ZoneNumber(), 1);
  EXPECT_TRUE(Root().Modified());
  EXPECT_EQ(ParentOf(w, &Point(127)), &Line(2));
  EXPECT_EQ(NodeOf(w, &Line(2))->text(0), QStringLiteral("Loop 2 - 64 points - 3 zones"));
  // The next point is proposed; with one address left, Next is hidden.
  EXPECT_EQ(w->Mode().State(), TCtrlMode::kAddingFromLine);
  EXPECT_EQ(w->CBAdresse()->currentText(), QStringLiteral("128"));
  EXPECT_EQ(w->EditPoint()->text(), QStringLiteral("Interactive opti 128"));
  EXPECT_FALSE(Shows(w, w->BBSuivant()));
  Type(w->EditPoint(), QStringLiteral("Gate 2"));
  Ok(w);
  EXPECT_EQ(Point(128).Label(), "Gate 2");
  EXPECT_EQ(Point(128).LineNumber(), 2);
  EXPECT_EQ(w->Mode().State(), TCtrlMode::kPointSelected);
  EXPECT_EQ(Selected(w), &Point(128));

  EXPECT_FALSE(Shows(w, w->BBAjouter()));
  for (auto [key, modifiers] : {std::pair{Qt::Key_Insert, Qt::KeyboardModifiers{}},
                                std::pair{Qt::Key_Plus, Qt::KeyboardModifiers{Qt::KeypadModifier}}}) {
    Release(w->TreeView(), key, modifiers);
    EXPECT_EQ(w->Mode().State(), TCtrlMode::kPointSelected);
  }
  Click(w, &Line(1));
  Release(w->TreeView(), Qt::Key_Insert);
  EXPECT_EQ(w->Mode().State(), TCtrlMode::kLineSelected);
  EXPECT_TRUE(boxes_.Texts().isEmpty());
}

TEST_F(PointsWindowTest, AutomaticLabelFollowsTypeAndAddressUntilTheUserTypesOne) {
  PlacePoint(9, 19, 1, 1, "Interactive opti 9");
  auto* w = OpenPoints();
  Click(w, &Line(2));
  Release(w->TreeView(), Qt::Key_Insert);
  EXPECT_EQ(w->EditPoint()->text(), QStringLiteral("Interactive opti 1"));
  Choose(w->CBIdent(), QStringLiteral("Manual Call Point"));
  EXPECT_EQ(w->EditPoint()->text(), QStringLiteral("Manual Call Poin 1"));
  TypeAddress(w, QStringLiteral("5"));
  EXPECT_EQ(w->EditPoint()->text(), QStringLiteral("Manual Call Poin 5"));
  Type(w->EditPoint(), QStringLiteral("Stairs"));
  Choose(w->CBIdent(), QStringLiteral("Interactive heat"));
  TypeAddress(w, QStringLiteral("6"));
  EXPECT_EQ(w->EditPoint()->text(), QStringLiteral("Stairs"));
  Ok(w);
  EXPECT_EQ(Point(6).Label(), "Stairs");
  EXPECT_EQ(Point(6).Type(), 20);
  EXPECT_EQ(Point(6).LineNumber(), 2);

  // A stored point whose label is the automatic one: it follows as well.
  Edit(w, &Point(9));
  Choose(w->CBIdent(), QStringLiteral("Flame"));
  EXPECT_EQ(w->EditPoint()->text(), QStringLiteral("Flame 9"));

  // The zone-alarm output by type: off and locked for three of them.
  QCheckBox* output = w->CBActiveEC();
  for (int i = 0; i < w->CBIdent()->count(); ++i) {
    const int code = w->CBIdent()->itemData(i).toInt();
    SCOPED_TRACE(code);
    if (output->isEnabled() && !output->isChecked()) Press(output);
    Choose(w->CBIdent(), w->CBIdent()->itemText(i));
    const bool locked = code == 6 || code == 14 || code == 18;
    EXPECT_EQ(output->isEnabled(), !locked);
    if (locked) {
      EXPECT_FALSE(output->isChecked());
    }
  }
  Choose(w->CBIdent(), QStringLiteral("Input module"));
  Ok(w);
  EXPECT_EQ(Point(9).Type(), 14);
  EXPECT_FALSE(Point(9).ActiveOutput());
  EXPECT_EQ(Point(9).Label(), "Input module 9");
}

// The dragged element is the selected node's; the target is the node under the position.
TEST_F(PointsWindowTest, DropsMovePointsAndMergeLinesAndZones) {
  Site();
  auto* w = OpenPoints();
  TZvoTreeView* tree = w->TreeView();
  const auto drop = [&](const void* dragged, const void* target) {
    Click(w, dragged);
    Root().SetModified(false);
    const QPoint pos = At(w, target);
    ASSERT_TRUE(w->CanDrop(pos));
    w->Drop(pos);
    EXPECT_TRUE(Root().Modified());
  };
  const auto refused = [&](const void* dragged, const void* target) {
    Click(w, dragged);
    return !w->CanDrop(At(w, target));
  };
  EXPECT_TRUE(refused(&Point(3), &Point(3)));
  EXPECT_TRUE(refused(&Point(3), &Point(7)));
  EXPECT_TRUE(refused(&Line(1), &Line(1)));
  EXPECT_TRUE(refused(&Line(1), &Point(12)));
  Click(w, &Point(3));
  EXPECT_FALSE(w->CanDrop(QPoint(5, tree->viewport()->height() - 3)));

  drop(&Point(3), &Line(2));
  EXPECT_EQ(Point(3).LineNumber(), 2);
  EXPECT_EQ(ParentOf(w, &Point(3)), &Line(2));
  EXPECT_EQ(NodeOf(w, &Line(1))->text(0), QStringLiteral("Loop 1 - 2 points - 2 zones"));
  EXPECT_EQ(NodeOf(w, &Line(2))->text(0), QStringLiteral("Loop 2 - 3 points - 2 zones"));
  EXPECT_EQ(w->Mode().State(), TCtrlMode::kPointSelected);
  drop(&Line(1), &Line(2));
  for (int a : {3, 7, 12, 20, 30}) EXPECT_EQ(Point(a).LineNumber(), 2) << a;
  EXPECT_EQ(Line(1).Count(), 0);
  EXPECT_EQ(NodeOf(w, &Line(1))->childCount(), 0);
  EXPECT_EQ(NodeOf(w, &Line(2))->childCount(), 5);
  EXPECT_FALSE(NodeOf(w, &Line(2))->isExpanded());

  ShowView(w, TFormZvoPoints::kZoneView);
  EXPECT_TRUE(refused(&Zone(3), &Zone(3)));
  EXPECT_TRUE(refused(&Zone(3), &Point(12)));
  EXPECT_TRUE(refused(&Point(12), &Point(12)));
  drop(&Point(3), &Zone(5));
  EXPECT_EQ(Point(3).ZoneNumber(), 5);
  EXPECT_EQ(ParentOf(w, &Point(3)), &Zone(5));
  EXPECT_EQ(NodeOf(w, &Zone(3))->text(0), QStringLiteral("Z003 - 1 point - \"Ground\""));
  EXPECT_EQ(NodeOf(w, &Zone(5))->text(0), QStringLiteral("Z005 - 3 points - \"Roof\""));
  // A moved point that empties its zone takes the zone's node with it.
  drop(&Point(30), &Zone(3));
  EXPECT_FALSE(Zone(9).IsUsed());
  EXPECT_EQ(FindNodeByObject(tree, &Zone(9)), nullptr);
  drop(&Zone(3), &Zone(5));
  for (int a : {3, 7, 12, 20, 30}) EXPECT_EQ(Point(a).ZoneNumber(), 5) << a;
  EXPECT_FALSE(Zone(3).IsUsed());
  EXPECT_EQ(FindNodeByObject(tree, &Zone(3)), nullptr);
  EXPECT_EQ(TopTexts(w), QStringList{"Z005 - 5 points - \"Roof\""});
  EXPECT_FALSE(NodeOf(w, &Zone(5))->isExpanded());

  // No view shows lines and zones together: a line's node put into the zone view proves
  // that neither is dropped onto the other.
  AddNodeOnce(tree, &Line(2));
  EXPECT_TRUE(refused(&Zone(5), &Line(2)));
  EXPECT_TRUE(refused(&Line(2), &Zone(5)));
}

// A point given another zone number leaves its zone's node for the other's; a zone it
// leaves empty disappears, a zone it opens appears. A number not in use loads no fields:
// the zone it opens takes the fields shown.
TEST_F(PointsWindowTest, AnEditedPointMovedToAnotherZoneMovesInTheTree) {
  Site();
  auto* w = OpenPoints();
  Edit(w, &Point(3));
  TypeZone(w, QStringLiteral("4"));
  Ok(w);
  EXPECT_EQ(Point(3).ZoneNumber(), 4);
  EXPECT_EQ(NodeOf(w, &Point(3))->text(0), QStringLiteral("A003 - Z004 - \"Hall\""));
  EXPECT_EQ(NodeOf(w, &Line(1))->text(0), QStringLiteral("Loop 1 - 3 points - 3 zones"));

  ShowView(w, TFormZvoPoints::kZoneView);
  Edit(w, &Point(7));
  TypeZone(w, QStringLiteral("5"));
  EXPECT_EQ(w->EditZone()->text(), QStringLiteral("Roof"));
  Ok(w);
  EXPECT_EQ(Point(7).ZoneNumber(), 5);
  EXPECT_EQ(ParentOf(w, &Point(7)), &Zone(5));
  EXPECT_EQ(NodeCount(w, &Point(7)), 1);
  EXPECT_EQ(NodeOf(w, &Zone(5))->text(0), QStringLiteral("Z005 - 3 points - \"Roof\""));
  // Zone 3 lost its last point: reset, and its node gone.
  EXPECT_FALSE(Zone(3).IsUsed());
  EXPECT_TRUE(Zone(3).Groups()->Empty());
  EXPECT_EQ(FindNodeByObject(w->TreeView(), &Zone(3)), nullptr);
  EXPECT_EQ(Selected(w), &Point(7));

  Edit(w, &Point(30));
  TypeZone(w, QStringLiteral("2"));
  Type(w->EditZone(), QStringLiteral("Annex"));
  Ok(w);
  EXPECT_EQ(Zone(2).Label(), "Annex");
  EXPECT_EQ(FindNodeByObject(w->TreeView(), &Zone(9)), nullptr);
  EXPECT_EQ(TopTexts(w), (QStringList{"Z002 - 1 point - \"Annex\"", "Z004 - 1 point - \"Ground\"",
                                      "Z005 - 3 points - \"Roof\""}));
  EXPECT_EQ(ParentOf(w, &Point(30)), &Zone(2));
}

// Adding in the zone view into another zone than the one selected, in use or not, puts
// the point under that zone, once.
TEST_F(PointsWindowTest, PointsAddedInTheZoneViewLandUnderTheirZoneOnce) {
  Site();
  auto* w = OpenPoints();
  ShowView(w, TFormZvoPoints::kZoneView);
  struct Case {
    int from;
    const char* zone;
    int address;
  };
  for (Case c : {Case{3, "5", 1}, Case{5, "3", 2}, Case{3, "44", 4}, Case{9, "9", 5}}) {
    SCOPED_TRACE(c.zone);
    Click(w, &Zone(c.from));
    Press(w->BBAjouter());
    ASSERT_EQ(w->Mode().State(), TCtrlMode::kAddingFromZone);
    ASSERT_EQ(w->CBAdresse()->currentText(), QString::number(c.address));
    TypeZone(w, QString::fromLatin1(c.zone));
    Ok(w);
    TPoints& p = Point(c.address);
    TZones& zone = Zone(QString::fromLatin1(c.zone).toInt());
    EXPECT_EQ(p.Zone(), &zone);
    EXPECT_EQ(NodeCount(w, &p), 1);
    EXPECT_EQ(ParentOf(w, &p), &zone);
    EXPECT_EQ(NodeCount(w, &zone), 1);
    EXPECT_EQ(NodeOf(w, &zone)->childCount(), zone.Count());
    EXPECT_EQ(Selected(w), &p);
  }
  EXPECT_EQ(TopTexts(w), (QStringList{"Z003 - 3 points - \"Ground\"", "Z005 - 3 points - \"Roof\"",
                                      "Z009 - 2 points", "Z044 - 1 point - \"Ground\""}));
}

// No point yet: the zone view is empty and a new point makes its zone's node.
TEST_F(PointsWindowTest, TheFirstPointAddedInTheZoneViewMakesItsZone) {
  auto* w = OpenPoints();
  ShowView(w, TFormZvoPoints::kZoneView);
  EXPECT_EQ(w->TreeView()->topLevelItemCount(), 0);
  EXPECT_EQ(w->Mode().State(), TCtrlMode::kLineSelected);
  EXPECT_FALSE(Shows(w, w->BBRetirer()));
  Release(w->TreeView(), Qt::Key_Insert);
  ASSERT_EQ(w->Mode().State(), TCtrlMode::kAddingFromLine);
  EXPECT_EQ(w->CBNumZone()->currentText(), QStringLiteral("1"));
  EXPECT_EQ(w->EditZone()->text(), QString());
  Type(w->EditZone(), QStringLiteral("Lobby"));
  Ok(w);
  EXPECT_EQ(Point(1).ZoneNumber(), 1);
  EXPECT_EQ(Point(1).LineNumber(), 1);
  EXPECT_EQ(Zone(1).Label(), "Lobby");
  EXPECT_EQ(TopTexts(w), QStringList{"Z001 - 1 point - \"Lobby\""});
  EXPECT_EQ(ChildTexts(w, &Zone(1)), QStringList{"A001 - Loop 1 - \"Interactive opti 1\""});
  EXPECT_EQ(Selected(w), &Point(1));
  EXPECT_EQ(w->Mode().State(), TCtrlMode::kPointSelected);
}

// The new point takes the old one's groups and evacuation functions; the old one is gone.
TEST_F(PointsWindowTest, ReaddressingAPointKeepsItsGroupsAndEvacuationInBothViews) {
  Site();
  auto* w = OpenPoints();
  TZvoTreeView* tree = w->TreeView();
  struct Case {
    int view;
    int from;
    int to;
    const char* node;
    const void* parent;
  };
  const Case cases[] = {{TFormZvoPoints::kLineView, 7, 9, "A009 - Z003 - \"Door\"", &Line(1)},
                        {TFormZvoPoints::kZoneView, 9, 11, "A011 - Loop 1 - \"Door\"", &Zone(3)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.to);
    ShowView(w, c.view);
    Edit(w, &Point(c.from));
    TypeAddress(w, QString::number(c.to));
    EXPECT_EQ(w->EditPoint()->text(), QStringLiteral("Door"));
    Ok(w);
    TPoints& p = Point(c.to);
    EXPECT_FALSE(Point(c.from).IsUsed());
    EXPECT_TRUE(Point(c.from).Groups()->Empty());
    EXPECT_FALSE(Point(c.from).Evacuation(1));
    EXPECT_EQ(p.Label(), "Door");
    EXPECT_EQ(p.Type(), 19);
    EXPECT_EQ(p.ZoneNumber(), 3);
    EXPECT_EQ(p.LineNumber(), 1);
    EXPECT_TRUE(p.ActiveOutput());
    EXPECT_TRUE(p.Groups()->Contains(5));
    EXPECT_TRUE(p.Groups()->Contains(8));
    EXPECT_TRUE(p.Evacuation(1));
    EXPECT_FALSE(p.Evacuation(2));
    EXPECT_TRUE(p.Evacuation(3));
    EXPECT_EQ(FindNodeByObject(tree, &Point(c.from)), nullptr);
    EXPECT_EQ(NodeOf(w, &p)->text(0), QString::fromLatin1(c.node));
    EXPECT_EQ(ParentOf(w, &p), c.parent);
    EXPECT_EQ(Selected(w), &p);
    EXPECT_EQ(w->Mode().State(), TCtrlMode::kPointSelected);
    EXPECT_EQ(w->CBAdresse()->currentText(), QString::number(c.to));
    // The other view, filled again, agrees.
    ShowView(w, 1 - c.view);
    EXPECT_EQ(FindNodeByObject(tree, &Point(c.from)), nullptr);
    EXPECT_NE(FindNodeByObject(tree, &p), nullptr);
  }
}

TEST_F(PointsWindowTest, RenumberingAZoneMovesItsPointsGroupsAndSoundersFlag) {
  Site();
  auto* w = OpenPoints();
  ShowView(w, TFormZvoPoints::kZoneView);
  // Under its own number a zone's fields are stored and its node follows.
  Edit(w, &Zone(5));
  Type(w->EditZone(), QStringLiteral("Top"));
  Press(w->TCMode()->Button(0));
  Ok(w);
  EXPECT_EQ(Zone(5).Label(), "Top");
  EXPECT_FALSE(Zone(5).PreAlarm());
  EXPECT_EQ(NodeOf(w, &Zone(5))->text(0), QStringLiteral("Z005 - 2 points - \"Top\""));
  EXPECT_EQ(NodeImageIndex(NodeOf(w, &Zone(5))), Zone(5).ImageIndex());
  EXPECT_EQ(Selected(w), &Zone(5));

  Edit(w, &Zone(3));
  const QStringList offered = Entries(w->CBNumZone());
  EXPECT_TRUE(offered.contains(QStringLiteral("4")));
  for (const char* used : {"3", "5", "9"}) EXPECT_FALSE(offered.contains(QLatin1String(used))) << used;
  // A zone in use typed on the way shows its fields; a free number gives the zone's own back.
  TypeZone(w, QStringLiteral("5"));
  EXPECT_EQ(w->EditZone()->text(), QStringLiteral("Top"));
  TypeZone(w, QStringLiteral("4"));
  EXPECT_EQ(w->EditZone()->text(), QStringLiteral("Ground"));
  Ok(w);
  TZones& to = Zone(4);
  EXPECT_EQ(to.Count(), 2);
  EXPECT_EQ(to.Label(), "Ground");
  EXPECT_FALSE(to.PreAlarm());
  EXPECT_TRUE(to.Groups()->Contains(5));
  EXPECT_TRUE(to.Groups()->Contains(8));
  EXPECT_EQ(to.ZoneFlag(), 1);
  for (int a : {3, 7}) EXPECT_EQ(Point(a).ZoneNumber(), 4) << a;
  TZones& from = Zone(3);
  EXPECT_FALSE(from.IsUsed());
  EXPECT_TRUE(from.Label().empty());
  EXPECT_TRUE(from.Groups()->Empty());
  EXPECT_EQ(from.ZoneFlag(), 0);
  EXPECT_EQ(TopTexts(w), (QStringList{"Z004 - 2 points - \"Ground\"", "Z005 - 2 points - \"Top\"",
                                      "Z009 - 1 point"}));
  EXPECT_EQ(ChildTexts(w, &to), (QStringList{"A003 - Loop 1 - \"Hall\"", "A007 - Loop 1 - \"Door\""}));
  EXPECT_EQ(Selected(w), &to);
  EXPECT_EQ(w->Mode().State(), TCtrlMode::kZoneSelected);
  EXPECT_EQ(w->CBNumZone()->currentText(), QStringLiteral("4"));
  EXPECT_TRUE(Root().Modified());
}

// The zone box shows the zone whose number it shows, never the zone seen before, and OK
// stores those fields.
TEST_F(PointsWindowTest, AddingFromALineShowsAndStoresTheZoneOfTheNumberShown) {
  Site();
  auto* w = OpenPoints();
  Click(w, &Point(12));
  ASSERT_EQ(w->EditZone()->text(), QStringLiteral("Roof"));
  ASSERT_EQ(w->TCMode()->Index(), 1);
  Click(w, &Line(1));
  Press(w->BBAjouter());
  EXPECT_EQ(w->CBNumZone()->currentText(), QStringLiteral("3"));
  EXPECT_EQ(w->EditZone()->text(), QStringLiteral("Ground"));
  EXPECT_EQ(w->TCMode()->Index(), 0);
  Ok(w);
  EXPECT_EQ(Point(1).ZoneNumber(), 3);
  EXPECT_EQ(Zone(3).Label(), "Ground");
  EXPECT_FALSE(Zone(3).PreAlarm());
  EXPECT_EQ(Zone(5).Label(), "Roof");
  EXPECT_TRUE(Zone(5).PreAlarm());

  // Typing the number of another zone in use shows that zone's fields.
  Click(w, &Line(1));
  Press(w->BBAjouter());
  TypeZone(w, QStringLiteral("5"));
  EXPECT_EQ(w->EditZone()->text(), QStringLiteral("Roof"));
  EXPECT_EQ(w->TCMode()->Index(), 1);
  Ok(w);
  EXPECT_EQ(Point(2).ZoneNumber(), 5);
  EXPECT_EQ(Point(2).LineNumber(), 1);
  EXPECT_EQ(Zone(5).Label(), "Roof");
  EXPECT_TRUE(Zone(5).PreAlarm());
  EXPECT_EQ(Zone(3).Label(), "Ground");
}

// A loaded point of no zone shows no zone, not the one shown before it, and cannot be
// stored without one.
TEST_F(PointsWindowTest, APointOfNoZoneShowsNone) {
  Site();
  PlacePoint(40, 19, 0, 1, "Loose");
  Loaded();
  const Bytes before = Encoded();
  auto* w = OpenPoints();
  Click(w, &Point(3));
  ASSERT_EQ(w->EditZone()->text(), QStringLiteral("Ground"));
  Click(w, &Point(40));
  EXPECT_EQ(w->CBNumZone()->currentText(), QString());
  EXPECT_EQ(w->EditZone()->text(), QString());
  EXPECT_EQ(w->TCMode()->Index(), 0);
  Press(w->BBEdit());
  boxes_.Clear();
  Press(w->BBValider());
  EXPECT_EQ(boxes_.Texts(), QStringList{QStringLiteral("Zone number must be a value between 1 and 99")});
  EXPECT_EQ(w->Mode().State(), TCtrlMode::kPointEditing);
  EXPECT_EQ(Encoded(), before);
}

// Cancel shows the point adding started from; while adding or editing the keys command
// nothing.
TEST_F(PointsWindowTest, CancelledAddFromAZonePointShowsThatPointAgain) {
  Site();
  const Bytes before = Encoded();
  auto* w = OpenPoints();
  ShowView(w, TFormZvoPoints::kZoneView);
  Click(w, &Point(7));
  Release(w->TreeView(), Qt::Key_Plus, Qt::KeypadModifier);
  ASSERT_EQ(w->Mode().State(), TCtrlMode::kAddingFromZone);
  EXPECT_EQ(w->CBAdresse()->currentText(), QStringLiteral("8"));
  EXPECT_EQ(w->CBNumZone()->currentText(), QStringLiteral("3"));
  const auto keysDoNothing = [&](std::uint16_t state) {
    for (auto [key, modifiers] : {std::pair{Qt::Key_Delete, Qt::KeyboardModifiers{}},
                                  std::pair{Qt::Key_Insert, Qt::KeyboardModifiers{}},
                                  std::pair{Qt::Key_Minus, Qt::KeyboardModifiers{Qt::KeypadModifier}},
                                  std::pair{Qt::Key_Plus, Qt::KeyboardModifiers{Qt::KeypadModifier}},
                                  std::pair{Qt::Key_Up, Qt::KeyboardModifiers{}},
                                  std::pair{Qt::Key_Down, Qt::KeyboardModifiers{}}}) {
      SCOPED_TRACE(key);
      ReleaseOnFocus(key, modifiers);
      EXPECT_EQ(w->Mode().State(), state);
      EXPECT_TRUE(boxes_.Texts().isEmpty());
    }
  };
  keysDoNothing(TCtrlMode::kAddingFromZone);
  Type(w->EditPoint(), QStringLiteral("Shed"));
  Press(w->BBAnnuler());
  EXPECT_EQ(w->Mode().State(), TCtrlMode::kPointSelected);
  EXPECT_EQ(Selected(w), &Point(7));
  EXPECT_EQ(w->CBAdresse()->currentText(), QStringLiteral("7"));
  EXPECT_EQ(w->EditPoint()->text(), QStringLiteral("Door"));
  EXPECT_FALSE(w->GBPoint()->isEnabled());
  EXPECT_TRUE(w->PanelTree()->isEnabled());
  EXPECT_FALSE(Point(8).IsUsed());

  Press(w->BBEdit());
  ASSERT_EQ(w->Mode().State(), TCtrlMode::kPointEditing);
  keysDoNothing(TCtrlMode::kPointEditing);
  Press(w->BBAnnuler());
  EXPECT_FALSE(Root().Modified());
  EXPECT_EQ(Encoded(), before);
}

// The boxes follow the selection as Up and Down are released; keys other than Delete,
// Insert and the keypad's - and + command nothing.
TEST_F(PointsWindowTest, InBrowsingOnlyTheCommandKeysAndTheArrowsAct) {
  Site();
  const Bytes before = Encoded();
  auto* w = OpenPoints();
  TZvoTreeView* tree = w->TreeView();
  Click(w, &Point(3));
  QTest::keyPress(tree, Qt::Key_Down);
  EXPECT_EQ(w->CBAdresse()->currentText(), QStringLiteral("3"));
  QTest::keyRelease(tree, Qt::Key_Down);
  EXPECT_EQ(w->CBAdresse()->currentText(), QStringLiteral("7"));
  EXPECT_EQ(w->EditPoint()->text(), QStringLiteral("Door"));
  QTest::keyClick(tree, Qt::Key_Up);
  EXPECT_EQ(w->CBAdresse()->currentText(), QStringLiteral("3"));
  QTest::keyClick(tree, Qt::Key_Up);
  EXPECT_EQ(w->Mode().State(), TCtrlMode::kLineSelected);
  QTest::keyClick(tree, Qt::Key_Down);
  EXPECT_EQ(w->Mode().State(), TCtrlMode::kPointSelected);

  for (Qt::Key key : {Qt::Key_Minus, Qt::Key_Plus, Qt::Key_A, Qt::Key_F2, Qt::Key_Return, Qt::Key_Backspace,
                      Qt::Key_Space}) {
    SCOPED_TRACE(key);
    Release(tree, key);
    EXPECT_EQ(w->Mode().State(), TCtrlMode::kPointSelected);
    EXPECT_EQ(Selected(w), &Point(3));
  }
  EXPECT_TRUE(boxes_.Texts().isEmpty());
  EXPECT_FALSE(Root().Modified());
  EXPECT_EQ(Encoded(), before);
}

// A click (or a selection by an arrow key) and, within 300 ms, a double click edit the
// zone without expanding it; later, the double click expands it too. The expand button
// keeps the same rule.
TEST_F(PointsWindowTest, ExpansionIsRefusedWithin300MsOfASelection) {
  Site();
  TZvoTreeView::SetClock([this] { return now_; });
  auto* w = OpenPoints();
  ShowView(w, TFormZvoPoints::kZoneView);
  TZvoTreeView* tree = w->TreeView();
  QTreeWidgetItem* node = NodeOf(w, &Zone(3));
  enum class Action { DoubleClick, ExpandButton };
  struct Case {
    bool byKey;
    Action action;
    std::int64_t after;
    bool expands;
  };
  const Case cases[] = {{false, Action::DoubleClick, 0, false},   {false, Action::DoubleClick, 299, false},
                        {false, Action::DoubleClick, 300, true},  {false, Action::DoubleClick, 1500, true},
                        {true, Action::DoubleClick, 299, false},  {true, Action::DoubleClick, 300, true},
                        {false, Action::ExpandButton, 299, false}, {false, Action::ExpandButton, 300, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.byKey ? "key, " : "click, ") +
                 (c.action == Action::DoubleClick ? "double click after " : "expand button after ") +
                 std::to_string(c.after));
    node->setExpanded(false);
    const QRect rect = tree->visualItemRect(node);
    if (c.byKey) {
      tree->setFocus();
      tree->setCurrentItem(NodeOf(w, &Zone(5)));
      QTest::keyClick(tree, Qt::Key_Up);
    } else {
      QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    }
    ASSERT_EQ(Selected(w), &Zone(3));
    ASSERT_EQ(w->Mode().State(), TCtrlMode::kZoneSelected);
    now_ += c.after;
    if (c.action == Action::DoubleClick) {
      QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
      QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, rect.center());
      EXPECT_EQ(w->Mode().State(), TCtrlMode::kZoneEditing);
      Press(w->BBAnnuler());
    } else {
      QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                        QPoint(rect.x() - tree->indentation() / 2, rect.center().y()));
    }
    EXPECT_EQ(node->isExpanded(), c.expands);
    now_ += 10'000;
  }
}

TEST_F(PointsWindowTest, TooltipsTellWhatAClickDoesOrWhatIsWrong) {
  Site();
  auto* w = OpenPoints();
  TZvoTreeView* tree = w->TreeView();
  const auto hint = [&](QPoint pos) {
    w->TreeViewInfoBulle(pos);
    return tree->toolTip();
  };
  const QString select = QStringLiteral("Click to select");
  const QString edit = QStringLiteral("Click to select, double click to edit");
  EXPECT_EQ(hint(At(w, &Line(1))), select);
  EXPECT_EQ(hint(At(w, &Point(7))), edit);
  const QPoint empty(5, tree->viewport()->height() - 3);
  ASSERT_EQ(tree->itemAt(empty), nullptr);
  EXPECT_EQ(hint(empty), QString());
  ShowView(w, TFormZvoPoints::kZoneView);
  EXPECT_EQ(hint(At(w, &Zone(3))), edit);
  EXPECT_EQ(hint(At(w, &Point(30))), edit);
  EXPECT_EQ(hint(At(w, &Zone(9))), QStringLiteral("Less than two points in pre alarme zone 9"));
  EXPECT_EQ(hint(At(w, &Zone(5))), QStringLiteral("A MCP is declared in pre alarme zone 5"));
  EXPECT_EQ(hint(empty), QString());
}

// The points by their types, in both views and after a store; any tag but 1 and 2
// changes nothing.
TEST_F(PointsWindowTest, TypesPostingShowsThePointsByType) {
  Site();
  auto* w = OpenPoints();
  w->AffichagePointsClick(2);
  EXPECT_TRUE(PointsShowTypes);
  EXPECT_TRUE(w->PopupMenu()->actions()[1]->isChecked());
  EXPECT_EQ(Selected(w), &Line(1));
  EXPECT_EQ(ChildTexts(w, &Line(1)), (QStringList{"A003 - Z003 - Interactive optical",
                                                  "A007 - Z003 - Interactive optical",
                                                  "A030 - Z009 - Interactive heat"}));
  EXPECT_EQ(NodeOf(w, &Line(1))->text(0), QStringLiteral("Loop 1 - 3 points - 2 zones"));
  Edit(w, &Point(7));
  Choose(w->CBIdent(), QStringLiteral("Conventional module"));
  Ok(w);
  EXPECT_EQ(NodeOf(w, &Point(7))->text(0), QStringLiteral("A007 - Z003 - Conventional module"));
  ShowView(w, TFormZvoPoints::kZoneView);
  EXPECT_EQ(ChildTexts(w, &Zone(3)), (QStringList{"A003 - Loop 1 - Interactive optical",
                                                  "A007 - Loop 1 - Conventional module"}));
  EXPECT_EQ(NodeOf(w, &Zone(3))->text(0), QStringLiteral("Z003 - 2 points - \"Ground\""));
  for (int tag : {0, 3}) {
    w->AffichagePointsClick(tag);
    EXPECT_TRUE(PointsShowTypes);
  }
  w->PopupMenu()->actions()[0]->trigger();
  EXPECT_FALSE(PointsShowTypes);
  EXPECT_TRUE(w->PopupMenu()->actions()[0]->isChecked());
  EXPECT_EQ(ChildTexts(w, &Zone(3)), (QStringList{"A003 - Loop 1 - \"Hall\"", "A007 - Loop 1 - \"Door\""}));
  EXPECT_EQ(Selected(w), &Zone(3));
}

// OK at once stores every field as it was loaded: no byte changes.
TEST_F(PointsWindowTest, OkAtOnceChangesNoByte) {
  Site();
  PlacePoint(40, 2, 3, 2);  // a type the panel does not offer, and no label
  PlacePoint(41, 19, 5, 1, "Interactive opti 41");
  Loaded();
  const Bytes before = Encoded();
  auto* w = OpenPoints();
  for (int a : {3, 7, 12, 20, 30, 40, 41}) {
    SCOPED_TRACE(a);
    Edit(w, &Point(a));
    Ok(w);
  }
  ShowView(w, TFormZvoPoints::kZoneView);
  for (int z : {3, 5, 9}) {
    SCOPED_TRACE(z);
    Edit(w, &Zone(z));
    Ok(w);
  }
  for (int a : {7, 12, 40}) {
    SCOPED_TRACE(a);
    Edit(w, &Point(a));
    Ok(w);
  }
  EXPECT_TRUE(Root().Modified());
  EXPECT_EQ(Encoded(), before);
}

TEST_F(PointsWindowTest, CancelAndCloseChangeNothing) {
  Site();
  Loaded();
  const Bytes before = Encoded();
  auto* w = OpenPoints();
  Edit(w, &Point(7));
  TypeAddress(w, QStringLiteral("9"));
  Choose(w->CBIdent(), QStringLiteral("Flame"));
  Type(w->EditPoint(), QStringLiteral("Changed"));
  Press(w->CBActiveEC());
  TypeZone(w, QStringLiteral("5"));
  Press(w->BBAnnuler());
  EXPECT_EQ(w->Mode().State(), TCtrlMode::kPointSelected);
  EXPECT_EQ(w->CBAdresse()->currentText(), QStringLiteral("7"));
  EXPECT_EQ(w->CBIdent()->currentData().toInt(), 19);
  EXPECT_EQ(w->EditPoint()->text(), QStringLiteral("Door"));
  EXPECT_TRUE(w->CBActiveEC()->isChecked());
  EXPECT_EQ(w->CBNumZone()->currentText(), QStringLiteral("3"));
  EXPECT_EQ(w->EditZone()->text(), QStringLiteral("Ground"));

  ShowView(w, TFormZvoPoints::kZoneView);
  Edit(w, &Zone(5));
  Type(w->EditZone(), QStringLiteral("Cellar"));
  Press(w->TCMode()->Button(0));
  Press(w->BBAnnuler());
  EXPECT_EQ(w->Mode().State(), TCtrlMode::kZoneSelected);
  EXPECT_EQ(w->EditZone()->text(), QStringLiteral("Roof"));
  EXPECT_EQ(w->TCMode()->Index(), 1);
  Press(w->BBAjouter());
  ASSERT_EQ(w->Mode().State(), TCtrlMode::kAddingFromZone);
  Press(w->BBAnnuler());
  EXPECT_EQ(w->Mode().State(), TCtrlMode::kZoneSelected);
  EXPECT_EQ(Encoded(), before);
  EXPECT_FALSE(MenusEnabled());

  Press(w->BBFermer());
  ASSERT_TRUE(WaitNoChild());
  EXPECT_TRUE(MenusEnabled());
  EXPECT_FALSE(Root().Modified());
  EXPECT_EQ(Encoded(), before);
  EXPECT_TRUE(boxes_.Texts().isEmpty());
}

}  // namespace
