// The two-tree picker hosted in a plain panel, with small tree elements of the test's own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTest>
#include <QTreeWidgetItem>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "editors/FormDragList.h"
#include "editors/TreeElem.h"
#include "editors/ZvoTreeView.h"
#include "model/GroupTable.h"
#include "shell/UiText.h"
#include "support/TreeElems.h"

namespace {

using Leaf = Labelled<TTreeElem>;
using Branch = Labelled<TTreeList>;

// The group table of five places on bytes of its own; built before the element that uses it.
struct GroupBytes {
  explicit GroupBytes(bool full) {
    if (full) bytes = {1, 2, 3, 4, 5};
    table.ReadImage();
  }
  std::array<std::uint8_t, 5> bytes{};
  TTabGrpDDS table{bytes.data(), 5};
};

class Grouped : private GroupBytes, public TTreeGroupe {
 public:
  Grouped(std::string caption, bool full) : GroupBytes(full), TTreeGroupe(&table), caption_(std::move(caption)) {}
  std::string Caption() override { return caption_; }

 private:
  std::string caption_;
};

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text + ' ') {
    if (c == ' ') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  return words;
}

std::string Text(const QTreeWidgetItem* node) { return node->text(0).toStdString(); }

// A picker in a shown panel, and the elements of both trees by caption.
class Bench {
 public:
  explicit Bench(int width = 400, int height = 250, bool shown = true) : picker_(new TFormDragList(&host_)) {
    for (int i = 0; i < 8; ++i) {
      QPixmap pixmap(16, 16);
      pixmap.fill(QColor::fromHsv(i * 40, 200, 200));
      images_.append(QIcon(pixmap));
      states_.append(QIcon(pixmap));
    }
    host_.resize(width, height);
    if (shown) host_.show();
    picker_->OnMoved = [this] { ++moved_; };
  }

  // Trees written as "Alpha Group(Beta Zulu)": a name with "(...)" is a list of the
  // elements inside, "!Name" a group element with no free place, "#Name" one with five,
  // "~Name" an element without hint; the others hint "About Name".
  void Load(const std::string& source, const std::string& destination, bool single = false) {
    source_ = std::make_unique<TTreeList>();
    destination_ = std::make_unique<TTreeList>();
    elements_.clear();
    Parse(source, *source_);
    Parse(destination, *destination_);
    Load(*source_, *destination_, single);
  }
  void Load(TTreeList& source, TTreeList& destination, bool single = false) {
    if (single) {
      picker_->LoadSingle(source, destination, "Available", "Chosen", &images_, &states_);
    } else {
      picker_->Load(source, destination, "Available", "Chosen", &images_, &states_);
    }
    QApplication::processEvents();
  }

  TFormDragList& Picker() { return *picker_; }
  QWidget& Host() { return host_; }
  TZvoTreeView* Src() const { return picker_->SourceTree(); }
  TZvoTreeView* Dst() const { return picker_->DestinationTree(); }
  int Moved() const { return moved_; }
  TTreeElem* E(const std::string& caption) const {
    auto at = elements_.find(caption);
    if (at == elements_.end()) throw std::logic_error("no element " + caption);
    return at->second;
  }
  template <class T = QWidget>
  T* C(const char* name) const {
    T* c = picker_->findChild<T*>(QString::fromLatin1(name));
    if (!c) throw std::logic_error(std::string("no control ") + name);
    return c;
  }

  // The node at "Site/Zone/Beta", by text.
  static QTreeWidgetItem* Node(const QTreeWidget* tree, const std::string& path) {
    QTreeWidgetItem* at = nullptr;
    std::string rest = path;
    while (!rest.empty()) {
      const auto slash = rest.find('/');
      const std::string name = rest.substr(0, slash);
      rest = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
      QTreeWidgetItem* found = nullptr;
      const int count = at ? at->childCount() : tree->topLevelItemCount();
      for (int i = 0; i < count && !found; ++i) {
        QTreeWidgetItem* child = at ? at->child(i) : tree->topLevelItem(i);
        if (Text(child) == name) found = child;
      }
      if (!found) throw std::logic_error("no node " + path);
      at = found;
    }
    return at;
  }
  // Selects the node, or clears the selection for an empty path. Not as the current item:
  // the view would expand the node's parents to show it.
  static void Select(QTreeWidget* tree, const std::string& path) {
    tree->clearSelection();
    if (!path.empty()) Node(tree, path)->setSelected(true);
  }
  // As the window system sends it: a click, then a press that is a double click.
  static void DoubleClick(QTreeWidget* tree, QPoint at) {
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
  }
  static void Expand(QTreeWidget* tree, const std::string& paths) {
    for (const std::string& path : Words(paths)) Node(tree, path)->setExpanded(true);
  }

  // "Alpha Group+(Beta Zulu)": texts in display order, '+' expanded, '-' collapsed.
  static std::string Shape(const QTreeWidget* tree) {
    std::string shape;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) Shape(tree->topLevelItem(i), shape);
    return shape;
  }

  // What a node must hold wherever it is: its element with its caption and images; a leaf's
  // element says it is on the side of its tree.
  std::string Faults() const {
    std::string faults;
    for (const TZvoTreeView* tree : {Src(), Dst()}) {
      const bool right = tree == Dst();
      if (tree->topLevelItemCount() == 0) continue;
      for (QTreeWidgetItem* at = tree->topLevelItem(0); at; at = NextNode(at)) {
        auto fault = [&](const std::string& what) {
          faults += (faults.empty() ? "" : "; ") + std::string(right ? "right " : "left ") + Text(at) + ' ' + what;
        };
        TTreeElem* e = NodeTreeElem(at);
        if (!e) {
          fault("has no element");
          continue;
        }
        if (FromAnsi(e->Caption()) != at->text(0)) fault("shows another caption");
        if (NodeImageIndex(at) != e->ImageIndex()) fault("image " + std::to_string(NodeImageIndex(at)));
        if (NodeStateIndex(at) != e->StateIndex()) fault("state " + std::to_string(NodeStateIndex(at)));
        if (at->childCount() == 0 && e->IsSelected() != right) fault("reports the other side");
      }
    }
    return faults;
  }

 private:
  static void Shape(const QTreeWidgetItem* node, std::string& shape) {
    if (!shape.empty() && shape.back() != '(') shape += ' ';
    shape += Text(node);
    if (node->childCount() == 0) return;
    shape += node->isExpanded() ? "+(" : "-(";
    for (int i = 0; i < node->childCount(); ++i) Shape(node->child(i), shape);
    shape += ')';
  }

  void Parse(const std::string& text, TTreeList& into) {
    std::vector<TTreeList*> open{&into};
    std::string name;
    auto flush = [&](bool opens) {
      if (name.empty()) {
        if (opens) throw std::logic_error("a list without name in " + text);
        return;
      }
      const char mark = name.front();
      std::string caption = (mark == '!' || mark == '#' || mark == '~') ? name.substr(1) : name;
      if (elements_.count(caption)) throw std::logic_error("twice " + caption);
      const std::string hint = mark == '~' ? std::string() : "About " + caption;
      const int image = static_cast<int>(elements_.size() % 8);
      TTreeElem* e = nullptr;
      if (opens) {
        auto* list = new Branch(caption, hint, image);
        open.back()->Add(list);
        open.push_back(list);
        e = list;
      } else {
        e = (mark == '!' || mark == '#') ? static_cast<TTreeElem*>(new Grouped(caption, mark == '!'))
                                         : new Leaf(caption, hint, image);
        open.back()->Add(e);
      }
      elements_[caption] = e;
      name.clear();
    };
    for (char c : text + ' ') {
      if (c == '(') {
        flush(true);
      } else if (c == ')') {
        flush(false);
        open.pop_back();
      } else if (c == ' ') {
        flush(false);
      } else {
        name += c;
      }
    }
  }

  std::unique_ptr<TTreeList> source_;
  std::unique_ptr<TTreeList> destination_;
  std::map<std::string, TTreeElem*> elements_;
  TImageList images_;
  TImageList states_;
  QWidget host_;
  TFormDragList* picker_;
  int moved_ = 0;
};

enum class Act { Add, Del, AddAll, DelAll, DblSrc, DblDst, DropFromSrc, DropFromDst };

// One user action; the path names the node selected (or double-clicked) in the tree the
// move starts from, none for no selection.
struct Step {
  Act act;
  std::string path;
};

void Do(Bench& b, const Step& step) {
  switch (step.act) {
    case Act::Add:
    case Act::AddAll:
    case Act::DropFromSrc: Bench::Select(b.Src(), step.path); break;
    case Act::Del:
    case Act::DelAll:
    case Act::DropFromDst: Bench::Select(b.Dst(), step.path); break;
    case Act::DblSrc:
    case Act::DblDst: break;
  }
  switch (step.act) {
    case Act::Add: QTest::mouseClick(b.C<QPushButton>("BBAdd"), Qt::LeftButton); break;
    case Act::Del: QTest::mouseClick(b.C<QPushButton>("BBDel"), Qt::LeftButton); break;
    case Act::AddAll: QTest::mouseClick(b.C<QPushButton>("BBAddAll"), Qt::LeftButton); break;
    case Act::DelAll: QTest::mouseClick(b.C<QPushButton>("BBDelAll"), Qt::LeftButton); break;
    case Act::DblSrc:
    case Act::DblDst: {
      TZvoTreeView* tree = step.act == Act::DblSrc ? b.Src() : b.Dst();
      tree->clearSelection();
      Bench::DoubleClick(tree, tree->visualItemRect(Bench::Node(tree, step.path)).center());
      break;
    }
    case Act::DropFromSrc: b.Picker().TreeViewDragDrop(b.Src(), b.Dst()); break;
    case Act::DropFromDst: b.Picker().TreeViewDragDrop(b.Dst(), b.Src()); break;
  }
}

struct MoveCase {
  const char* name;
  const char* source;
  const char* destination;
  const char* expandSource;
  const char* expandDestination;
  std::vector<Step> steps;
  const char* wantSource;
  const char* wantDestination;
  bool single = false;
};

void RunMoves(const std::vector<MoveCase>& cases) {
  for (const MoveCase& c : cases) {
    SCOPED_TRACE(c.name);
    Bench b;
    b.Load(c.source, c.destination, c.single);
    Bench::Expand(b.Src(), c.expandSource);
    Bench::Expand(b.Dst(), c.expandDestination);
    for (const Step& step : c.steps) Do(b, step);
    EXPECT_EQ(Bench::Shape(b.Src()), c.wantSource);
    EXPECT_EQ(Bench::Shape(b.Dst()), c.wantDestination);
    EXPECT_EQ(b.Faults(), "");
    EXPECT_TRUE(b.Picker().updatesEnabled() && b.Src()->updatesEnabled() && b.Dst()->updatesEnabled());
  }
}

TEST(DragListLoad, SourceElementsAreUnselectedAndDestinationElementsSelected) {
  Bench b;
  EXPECT_EQ(b.C<QLabel>("LabelSrc")->text(), QString());
  EXPECT_EQ(b.C<QLabel>("LabelDst")->text(), QString());
  b.Load("Hotel Group(Zulu Team(Eve Dan)) Alpha", "Carol Site(Zone(Beta))");
  EXPECT_EQ(b.C<QLabel>("LabelSrc")->text(), QStringLiteral("Available"));
  EXPECT_EQ(b.C<QLabel>("LabelDst")->text(), QStringLiteral("Chosen"));
  EXPECT_EQ(Bench::Shape(b.Src()), "Alpha Group-(Team-(Dan Eve) Zulu) Hotel");
  EXPECT_EQ(Bench::Shape(b.Dst()), "Carol Site-(Zone-(Beta))");
  for (const char* left : {"Hotel", "Group", "Zulu", "Team", "Eve", "Dan", "Alpha"}) {
    SCOPED_TRACE(left);
    EXPECT_FALSE(b.E(left)->IsSelected());
    EXPECT_FALSE(b.E(left)->InitiallySelected());
  }
  for (const char* right : {"Carol", "Site", "Zone", "Beta"}) {
    SCOPED_TRACE(right);
    EXPECT_TRUE(b.E(right)->IsSelected());
    EXPECT_TRUE(b.E(right)->InitiallySelected());
  }
  EXPECT_EQ(b.Faults(), "");
  EXPECT_TRUE(b.Src()->updatesEnabled());
  EXPECT_TRUE(b.Dst()->updatesEnabled());

  // Loaded again the other way round: the flags follow the new sides, no node is left over.
  Refs left;
  Refs right;
  left.Add(b.E("Carol"));
  right.Add(b.E("Alpha"));
  right.Add(b.E("Group"));
  b.Load(left, right);
  EXPECT_EQ(Bench::Shape(b.Src()), "Carol");
  EXPECT_EQ(Bench::Shape(b.Dst()), "Alpha Group-(Team-(Dan Eve) Zulu)");
  EXPECT_TRUE(b.E("Dan")->IsSelected());
  EXPECT_TRUE(b.E("Dan")->InitiallySelected());
  EXPECT_FALSE(b.E("Carol")->IsSelected());
  EXPECT_FALSE(b.E("Carol")->InitiallySelected());
  EXPECT_EQ(b.Faults(), "");
}

TEST(DragListMove, TheSelectedNodeMovesWithItsParentChain) {
  RunMoves({
      {"a leaf to the right", "Bravo Alpha", "Zulu", "", "", {{Act::Add, "Alpha"}}, "Bravo", "Alpha Zulu"},
      {"a leaf to the left", "", "Alpha Zulu", "", "", {{Act::Del, "Zulu"}}, "Zulu", "Alpha"},
      {"one child of two leaves its parent in place", "Group(Zulu Beta)", "", "", "",
       {{Act::Add, "Group/Beta"}}, "Group-(Zulu)", "Group-(Beta)"},
      {"the last child takes its empty ancestors, expanded", "Alpha Site(Zone(Beta))", "", "Site Site/Zone", "",
       {{Act::Add, "Site/Zone/Beta"}}, "Alpha", "Site+(Zone+(Beta))"},
      {"the last child takes its empty ancestors, collapsed", "Alpha Site(Zone(Beta))", "", "", "",
       {{Act::Add, "Site/Zone/Beta"}}, "Alpha", "Site-(Zone-(Beta))"},
      {"only the outer ancestor expanded", "Site(Zone(Beta))", "", "Site", "", {{Act::Add, "Site/Zone/Beta"}}, "",
       "Site+(Zone-(Beta))"},
      {"only the inner ancestor expanded", "Site(Zone(Beta))", "", "Site/Zone", "", {{Act::Add, "Site/Zone/Beta"}},
       "", "Site-(Zone+(Beta))"},
      {"a chain made again on the left", "", "Site(Zone(Gamma Beta))", "", "Site/Zone",
       {{Act::Del, "Site/Zone/Gamma"}}, "Site-(Zone+(Gamma))", "Site-(Zone+(Beta))"},
      {"a second child joins the parent made for the first", "Group(Zulu Beta)", "", "Group", "",
       {{Act::Add, "Group/Beta"}, {Act::Add, "Group/Zulu"}}, "", "Group+(Beta Zulu)"},
      {"a subtree moves whole, each level as it was", "Alpha Group(Zulu Team(Eve Dan))", "", "Group", "",
       {{Act::Add, "Group"}}, "Alpha", "Group+(Team-(Dan Eve) Zulu)"},
      {"a subtree is not merged with its element's node", "Group(Zulu Beta)", "", "", "",
       {{Act::Add, "Group/Beta"}, {Act::Add, "Group"}}, "", "Group-(Beta) Group-(Zulu)"},
      {"a double click on the left", "Alpha Bravo", "", "", "", {{Act::DblSrc, "Bravo"}}, "Alpha", "Bravo"},
      {"a double click on the right", "", "Site(Zone(Beta))", "", "Site Site/Zone",
       {{Act::DblDst, "Site/Zone/Beta"}}, "Site+(Zone+(Beta))", ""},
      {"a drop from the left", "Alpha Bravo", "Zulu", "", "", {{Act::DropFromSrc, "Bravo"}}, "Alpha",
       "Bravo Zulu"},
      {"a drop from the right", "Alpha", "Group(Zulu)", "", "", {{Act::DropFromDst, "Group"}}, "Alpha Group-(Zulu)",
       ""},
      {"a group element with free places shows one fewer on the right", "#Free", "", "", "",
       {{Act::Add, "Free"}}, "", "Free"},
      {"a full group element loaded on the right goes left", "", "!Kept", "", "", {{Act::Del, "Kept"}}, "Kept",
       ""},
      {"a full unselected group element stays", "!Full Alpha", "", "", "", {{Act::Add, "Full"}}, "Alpha Full", ""},
      {"nothing selected", "Alpha", "Zulu", "", "", {{Act::Add, ""}, {Act::Del, ""}}, "Alpha", "Zulu"},
  });
}

TEST(DragListMove, AllLeavesThatMayMoveGo) {
  RunMoves({
      {">> takes every leaf", "Alpha Group(Zulu Beta)", "Carol", "Group", "", {{Act::AddAll, ""}}, "",
       "Alpha Carol Group+(Beta Zulu)"},
      {"<< gives every leaf back", "", "Alpha Site(Zone(Beta))", "", "", {{Act::DelAll, ""}},
       "Alpha Site-(Zone-(Beta))", ""},
      {"full unselected group elements stay, with their parents", "Alpha !Full Group(Beta !Packed) #Free", "!Kept",
       "", "", {{Act::AddAll, ""}}, "Full Group-(Packed)", "Alpha Free Group-(Beta) Kept"},
      {"and everything comes back", "Alpha !Full Group(Beta !Packed) #Free", "!Kept", "", "",
       {{Act::AddAll, ""}, {Act::DelAll, ""}}, "Alpha Free Full Group-(Beta Packed) Kept", ""},
  });
}

TEST(DragListMove, SingleModeSendsTheChosenElementBack) {
  RunMoves({
      {"a leaf in sends the one there out", "Bravo Charlie", "Alpha", "", "", {{Act::Add, "Bravo"}},
       "Alpha Charlie", "Bravo", true},
      {"with its parent chain, both ways", "Bravo", "Site(Zone(Alpha))", "", "Site Site/Zone",
       {{Act::Add, "Bravo"}}, "Site+(Zone+(Alpha))", "Bravo", true},
      {"a double click as well", "Bravo Group(Delta)", "Alpha", "Group", "", {{Act::DblSrc, "Group/Delta"}},
       "Alpha Bravo", "Group+(Delta)", true},
      {"again and again", "Bravo Charlie", "Alpha", "", "",
       {{Act::Add, "Bravo"}, {Act::Add, "Charlie"}, {Act::Add, "Alpha"}}, "Bravo Charlie", "Alpha", true},
      {"moving out sends nothing", "Bravo", "Alpha", "", "", {{Act::Del, "Alpha"}}, "Alpha Bravo", "", true},
      {"a refused element leaves the chosen one", "!Full", "Alpha", "", "", {{Act::Add, "Full"}}, "Full", "Alpha",
       true},
      {"not single: both stay", "Bravo", "Alpha", "", "", {{Act::Add, "Bravo"}}, "", "Alpha Bravo", false},
  });
}

TEST(DragListMove, SingleModeHidesTheAllButtonsUntilTheNextLoad) {
  Bench b;
  b.Load("Bravo", "Alpha", true);
  EXPECT_TRUE(b.Picker().IsSingle());
  EXPECT_FALSE(b.C("BBAddAll")->isVisible());
  EXPECT_FALSE(b.C("BBDelAll")->isVisible());
  EXPECT_TRUE(b.C("BBAdd")->isVisible());
  EXPECT_TRUE(b.C("BBDel")->isVisible());
  b.Load("Bravo", "Alpha");
  EXPECT_FALSE(b.Picker().IsSingle());
  EXPECT_TRUE(b.C("BBAddAll")->isVisible());
  EXPECT_TRUE(b.C("BBDelAll")->isVisible());
}

TEST(DragListMove, TheButtonsGiveTheFocusBackToTheTreeMovedFrom) {
  Bench b;
  b.Host().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&b.Host()));
  b.Load("Alpha", "Zulu");
  Do(b, {Act::Add, "Alpha"});
  EXPECT_TRUE(b.Src()->hasFocus());
  Do(b, {Act::Del, "Zulu"});
  EXPECT_TRUE(b.Dst()->hasFocus());
  Do(b, {Act::AddAll, ""});
  EXPECT_TRUE(b.Src()->hasFocus());
  Do(b, {Act::DelAll, ""});
  EXPECT_TRUE(b.Dst()->hasFocus());
}

TEST(DragListNotify, OnMovedFollowsEveryMoveAskedWithASelectedNode) {
  struct Case {
    const char* name;
    const char* source;
    Step step;
    int calls;
  };
  const std::vector<Case> cases = {
      {"> with a node", "Alpha", {Act::Add, "Alpha"}, 1},
      {"> refused by a full group element", "!Full", {Act::Add, "Full"}, 1},
      {"> with none selected on the left", "Alpha", {Act::Add, ""}, 0},
      {"< with none selected on the right", "Alpha", {Act::Del, ""}, 0},
      {"a double click", "Alpha", {Act::DblSrc, "Alpha"}, 1},
      {"a drop", "Alpha", {Act::DropFromSrc, "Alpha"}, 1},
      {"a drop with none selected", "Alpha", {Act::DropFromDst, ""}, 0},
      {">> with nothing to move", "", {Act::AddAll, ""}, 1},
      {">> refused by every element", "!Full", {Act::AddAll, ""}, 1},
      {"<< with elements", "Alpha", {Act::DelAll, ""}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bench b;
    b.Load(c.source, "Zulu");
    Bench::Select(b.Src(), c.step.act == Act::Del ? Words(c.source).front() : "");
    Do(b, c.step);
    EXPECT_EQ(b.Moved(), c.calls);
  }
}

TEST(DragListNotify, NoSelectedNodeNoDoubleClickMoveAndOnMovedOnceInSingleMode) {
  Bench b;
  b.Load("Alpha", "Zulu", true);
  b.Picker().TreeViewDblClick(b.Src());
  b.Picker().TreeViewDblClick(b.Dst());
  EXPECT_EQ(b.Moved(), 0);
  // Below the last node of a tree with nothing selected.
  Bench::DoubleClick(b.Src(), QPoint(20, b.Src()->viewport()->height() - 5));
  EXPECT_EQ(b.Moved(), 0);
  EXPECT_EQ(Bench::Shape(b.Src()), "Alpha");
  // With a node selected, a double click anywhere in its tree moves it, empty space too.
  Bench::Select(b.Src(), "Alpha");
  Bench::DoubleClick(b.Src(), QPoint(20, b.Src()->viewport()->height() - 5));
  EXPECT_EQ(b.Moved(), 1);
  EXPECT_EQ(Bench::Shape(b.Dst()), "Alpha");
  Do(b, {Act::Add, "Zulu"});
  EXPECT_EQ(b.Moved(), 2);  // the element sent back is part of the same move
  EXPECT_EQ(Bench::Shape(b.Src()), "Alpha");
}

TEST(DragListStore, LeavesInTreeOrderAGroupNodeByItsChildren) {
  Bench b;
  b.Load("Hotel Group(Zulu Beta) Delta Alpha Empty()", "Team(Eve Dan) Carol");
  auto captions = [](const TTreeList& list) {
    std::string all;
    for (TTreeElem* e : list.Items()) all += (all.empty() ? "" : " ") + e->Caption();
    return all;
  };
  Refs left;
  Refs right;
  left.Add(b.E("Carol"));  // emptied first
  b.Picker().Store(left, right);
  EXPECT_EQ(captions(left), "Alpha Delta Empty Beta Zulu Hotel");
  EXPECT_EQ(captions(right), "Carol Dan Eve");
  EXPECT_EQ(right.Items().front(), b.E("Carol"));

  Do(b, {Act::Add, "Group/Beta"});
  Do(b, {Act::Add, "Empty"});
  b.Picker().Store(left, right);
  EXPECT_EQ(captions(left), "Alpha Delta Zulu Hotel");
  EXPECT_EQ(captions(right), "Carol Empty Beta Dan Eve");
  // Store reads the trees; it moves nothing and changes no element.
  EXPECT_EQ(Bench::Shape(b.Dst()), "Carol Empty Group-(Beta) Team-(Dan Eve)");
  EXPECT_EQ(b.Faults(), "");
}

TEST(DragListDrop, OnlyBetweenThisPickersTwoTrees) {
  Bench b;
  Bench other;
  b.Load("Alpha Bravo", "Zulu");
  other.Load("Carol", "Dan");
  TZvoTreeView plain;
  QLabel label;
  struct Case {
    const char* name;
    const QObject* source;
    const QObject* target;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {"left to right", b.Src(), b.Dst(), true},
      {"right to left", b.Dst(), b.Src(), true},
      {"left onto itself", b.Src(), b.Src(), false},
      {"right onto itself", b.Dst(), b.Dst(), false},
      {"another picker's tree", other.Src(), b.Dst(), false},
      {"onto another picker's tree", b.Src(), other.Dst(), false},
      {"a plain tree view", &plain, b.Src(), false},
      {"no source", nullptr, b.Dst(), false},
      {"no target", b.Src(), nullptr, false},
      {"not a tree", &label, b.Dst(), false},
      {"the picker itself", &b.Picker(), b.Dst(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(b.Picker().TreeViewDragOver(c.source, c.target), c.accepted);
  }
}

TEST(DragListDrop, AForeignTreeMovesNothing) {
  Bench b;
  Bench other;
  b.Load("Alpha", "Zulu");
  other.Load("Carol", "Dan");
  TZvoTreeView plain;
  auto* stray = new QTreeWidgetItem(&plain, QStringList{QStringLiteral("Stray")});
  SetNodeObject(stray, other.E("Carol"));
  for (QTreeWidget* tree : std::initializer_list<QTreeWidget*>{b.Src(), b.Dst(), other.Src(), other.Dst(), &plain}) {
    tree->setCurrentItem(tree->topLevelItem(0));
  }
  b.Picker().TreeViewDragDrop(other.Src(), b.Dst());
  b.Picker().TreeViewDragDrop(&plain, b.Src());
  b.Picker().TreeViewDragDrop(b.Src(), other.Dst());
  b.Picker().TreeViewDragDrop(b.Src(), b.Src());
  b.Picker().TreeViewDragDrop(nullptr, b.Dst());
  EXPECT_EQ(b.Moved(), 0);
  EXPECT_EQ(Bench::Shape(b.Src()), "Alpha");
  EXPECT_EQ(Bench::Shape(b.Dst()), "Zulu");
  EXPECT_EQ(Bench::Shape(other.Src()), "Carol");
  EXPECT_EQ(Bench::Shape(other.Dst()), "Dan");
  EXPECT_EQ(Bench::Shape(&plain), "Stray");
  EXPECT_EQ(b.Faults(), "");
  EXPECT_EQ(other.Faults(), "");
}

TEST(DragListHint, TheTreesHintIsTheElementsUnderTheMouse) {
  Bench b;
  b.Load("Alpha ~Bravo Group(Charlie)", "~Zulu Yankee");
  Bench::Expand(b.Src(), "Group");
  QApplication::processEvents();
  struct Hover {
    const char* name;
    bool right;
    const char* path;  // none: empty space below the nodes
    QString tip;
  };
  const std::vector<Hover> hovers = {
      {"an element's hint", false, "Alpha", QStringLiteral("About Alpha")},
      {"the same again", false, "Alpha", QStringLiteral("About Alpha")},
      {"one without hint clears it", false, "Bravo", QString()},
      {"a child's hint", false, "Group/Charlie", QStringLiteral("About Charlie")},
      {"a list's own hint", false, "Group", QStringLiteral("About Group")},
      {"empty space keeps it", false, nullptr, QStringLiteral("About Group")},
      {"the other tree", true, "Yankee", QStringLiteral("About Yankee")},
      {"and there without hint", true, "Zulu", QString()},
  };
  for (const Hover& h : hovers) {
    SCOPED_TRACE(h.name);
    TZvoTreeView* tree = h.right ? b.Dst() : b.Src();
    const QPoint at = h.path ? tree->visualItemRect(Bench::Node(tree, h.path)).center()
                             : QPoint(20, tree->viewport()->height() - 5);
    QTest::mouseMove(tree->viewport(), at);
    QApplication::processEvents();
    EXPECT_EQ(tree->toolTip(), h.tip);
  }
  EXPECT_EQ(b.Src()->toolTip(), QStringLiteral("About Group"));  // each tree has its own

  // Called directly, as the mouse handler calls it.
  b.Picker().TreeViewInfoBulle(b.Src(), b.Src()->visualItemRect(Bench::Node(b.Src(), "Alpha")).center());
  EXPECT_EQ(b.Src()->toolTip(), QStringLiteral("About Alpha"));
  b.Picker().TreeViewInfoBulle(b.Src(), b.Src()->visualItemRect(Bench::Node(b.Src(), "Bravo")).center());
  EXPECT_EQ(b.Src()->toolTip(), QString());
}

TEST(DragListLayout, TheTreesShareTheWidthLeftByTheButtons) {
  struct Case {
    int width;
    bool shownBeforeLoad;
  };
  for (const Case c : {Case{400, true}, Case{401, true}, Case{306, true}, Case{640, true}, Case{517, false}}) {
    SCOPED_TRACE(c.width);
    Bench b(c.width, 300, c.shownBeforeLoad);
    b.Load("Alpha", "Zulu");
    b.Host().show();
    QApplication::processEvents();
    const int srcWidth = (c.width - TFormDragList::kButtonPanelWidth) / 2;
    const int dstLeft = srcWidth + TFormDragList::kButtonPanelWidth;
    EXPECT_EQ(b.Picker().geometry(), QRect(0, 0, c.width, 300));
    EXPECT_EQ(b.C("TVSrc")->x(), 0);
    EXPECT_EQ(b.C("TVSrc")->width(), srcWidth);
    EXPECT_EQ(b.C("PanelBtn")->x(), srcWidth);
    EXPECT_EQ(b.C("PanelBtn")->width(), TFormDragList::kButtonPanelWidth);
    EXPECT_EQ(b.C("TVDst")->x(), dstLeft);
    EXPECT_EQ(b.C("TVDst")->width(), c.width - dstLeft);
    EXPECT_EQ(b.C("LabelSrc")->width(), srcWidth);
    EXPECT_EQ(b.C("LabelDst")->x(), dstLeft);
    EXPECT_EQ(b.C("LabelDst")->width(), c.width - dstLeft);
    EXPECT_GE(b.C("PanelBtn")->height(), 161);
    for (const char* button : {"BBAdd", "BBDel", "BBAddAll", "BBDelAll"}) {
      SCOPED_TRACE(button);
      const QRect r = b.C(button)->geometry();
      EXPECT_TRUE(QRect(QPoint(0, 0), b.C("PanelBtn")->size()).contains(r));
    }
  }
}

TEST(DragListCopy, TheDestinationLeavesWithTheirParentChains) {
  Bench b;
  b.Load("Hotel", "Alpha Site(Zone(Gamma Beta) Yard()) Team(Dan)");
  Bench::Expand(b.Dst(), "Site Team");
  Do(b, {Act::Add, "Hotel"});
  const std::string source = Bench::Shape(b.Src());
  const std::string destination = Bench::Shape(b.Dst());

  TZvoTreeView view;
  new QTreeWidgetItem(&view, QStringList{QStringLiteral("Old")});
  b.Picker().CopyDestinationTo(&view);
  EXPECT_EQ(Bench::Shape(&view), "Alpha Hotel Site+(Yard Zone-(Beta Gamma)) Team+(Dan)");
  EXPECT_TRUE(view.updatesEnabled());
  for (const char* path : {"Alpha", "Site", "Site/Yard", "Site/Zone", "Site/Zone/Beta", "Team/Dan"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(NodeTreeElem(Bench::Node(&view, path)), NodeTreeElem(Bench::Node(b.Dst(), path)));
  }
  // The picker's own trees and elements stay as they were.
  EXPECT_EQ(Bench::Shape(b.Src()), source);
  EXPECT_EQ(Bench::Shape(b.Dst()), destination);
  EXPECT_EQ(b.Faults(), "");
}

}  // namespace
