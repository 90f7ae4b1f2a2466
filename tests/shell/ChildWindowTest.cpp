// The child-window pattern as the menu handlers use it: built through the registration,
// inside one guard, with the main menus out of the way of the child's mnemonics.
#include <gtest/gtest.h>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>
#include <ostream>
#include <vector>

#include "platform/Exception.h"
#include "shell/ChildFactories.h"
#include "shell/ChildForm.h"
#include "shell/GestionMultiLangue.h"
#include "support/MainWindowFixture.h"

static void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace {

// A child window with buttons of the given captions; a click on one records its caption
// and closes the window. throwAfterShowing: it fails once it has shown itself.
class TestChild : public TZvoChildForm {
 public:
  TestChild(TFormZvoPrincipale* owner, const QStringList& captions, QStringList* clicked,
            bool throwAfterShowing = false)
      : TZvoChildForm(owner, 0) {
    setObjectName(QStringLiteral("TestChild"));
    auto* layout = new QVBoxLayout(this);
    for (const QString& caption : captions) {
      auto* button = new QPushButton(caption, this);
      layout->addWidget(button);
      connect(button, &QPushButton::clicked, this, [this, caption, clicked] {
        if (clicked) *clicked << caption;
        close();
      });
    }
    ApplyTexts();
    ShowAsChild();
    if (throwAfterShowing) throw platform::Exception("cannot be built");
    if (!captions.isEmpty()) findChild<QPushButton*>()->setFocus();
  }
  void ApplyTexts() override { setWindowTitle(QStringLiteral("Test child")); }
};

constexpr ChildKind kEditorKinds[] = {ChildKind::GeneralParameters, ChildKind::Points, ChildKind::Sounders,
                                      ChildKind::Security,          ChildKind::Groups, ChildKind::Diagnosis};

class ChildWindowTest : public MainWindowFixture {
 protected:
  explicit ChildWindowTest(std::uint8_t panelType = 7) : MainWindowFixture(panelType) {}
  void TearDown() override {
    MainWindowFixture::TearDown();
    for (ChildKind kind : kEditorKinds) RegisterChildFactory(kind, {});
  }
  std::vector<QMdiSubWindow*> Frames() const {
    const QList<QMdiSubWindow*> frames = window_->findChildren<QMdiSubWindow*>();
    return {frames.begin(), frames.end()};
  }
  // The diagnosis item opens a test child window.
  void DiagnosisOpens(QStringList captions, bool throwAfterShowing = false) {
    RegisterChildFactory(ChildKind::Diagnosis, [this, captions, throwAfterShowing](TFormZvoPrincipale* owner, bool) {
      new TestChild(owner, captions, &clicked_, throwAfterShowing);
    });
  }
  QStringList clicked_;
};

class SecurityChildWindowTest : public ChildWindowTest {
 protected:
  SecurityChildWindowTest() : ChildWindowTest(3) {}
};

// Each editor item builds its own kind through the registration.
TEST_F(ChildWindowTest, EditorItemsBuildTheirRegisteredWindows) {
  std::vector<ChildKind> built;
  for (ChildKind kind : kEditorKinds) {
    RegisterChildFactory(kind, [&built, kind](TFormZvoPrincipale*, bool) { built.push_back(kind); });
  }
  for (const char* item : {"MenuItemParamGen", "MenuItemDetecteur", "MenuItemSirene", "MenuItemRepetition",
                           "MenuItemDiagnostic"}) {
    ASSERT_TRUE(Item(item)->isEnabled()) << item;
    Item(item)->trigger();
  }
  EXPECT_EQ(built, (std::vector<ChildKind>{ChildKind::GeneralParameters, ChildKind::Points, ChildKind::Sounders,
                                           ChildKind::Groups, ChildKind::Diagnosis}));
  EXPECT_TRUE(boxes_.Texts().isEmpty());
}

TEST_F(SecurityChildWindowTest, SecuritySettingsBuildTheirRegisteredWindow) {
  std::vector<ChildKind> built;
  RegisterChildFactory(ChildKind::Security,
                       [&built](TFormZvoPrincipale*, bool) { built.push_back(ChildKind::Security); });
  ASSERT_TRUE(Item("MenuItemEvacuation")->isEnabled());
  Item("MenuItemEvacuation")->trigger();
  EXPECT_EQ(built, std::vector<ChildKind>{ChildKind::Security});
}

TEST_F(ChildWindowTest, AnItemWithoutRegisteredWindowDoesNothing) {
  for (const char* item : {"MenuItemParamGen", "MenuItemDetecteur", "MenuItemSirene", "MenuItemRepetition",
                           "MenuItemDiagnostic"}) {
    Item(item)->trigger();
    EXPECT_TRUE(Frames().empty()) << item;
    EXPECT_TRUE(MenusEnabled()) << item;
  }
  EXPECT_TRUE(boxes_.Texts().isEmpty());
}

// Whether it throws before or after showing itself, nothing stays of it: no box, no empty
// frame, and the menus enabled, so that the next window opens.
TEST_F(ChildWindowTest, AWindowThatCannotBeBuiltShowsNothing) {
  for (bool afterShowing : {false, true}) {
    SCOPED_TRACE(afterShowing ? "thrown after showing" : "thrown before showing");
    if (afterShowing) {
      DiagnosisOpens({QStringLiteral("&Cancel")}, true);
    } else {
      RegisterChildFactory(ChildKind::Diagnosis,
                           [](TFormZvoPrincipale*, bool) { throw platform::Exception("cannot be built"); });
    }
    Item("MenuItemDiagnostic")->trigger();
    EXPECT_TRUE(Frames().empty());
    EXPECT_FALSE(window_->HasChild());
    EXPECT_TRUE(MenusEnabled());
    EXPECT_TRUE(Item("MenuItemDiagnostic")->isEnabled());
    EXPECT_TRUE(boxes_.Texts().isEmpty()) << boxes_.Texts().join('|').toStdString();

    DiagnosisOpens({QStringLiteral("&Cancel")});
    Item("MenuItemDiagnostic")->trigger();
    EXPECT_EQ(Frames().size(), 1U);
    EXPECT_FALSE(MenusEnabled());
    window_->MdiArea()->closeAllSubWindows();
    EXPECT_TRUE(WaitNoChild());
  }
}

// The menu-bar titles' mnemonics, disabled while a child is open, never take a key from
// the child's buttons; the titles get them back when the child closes.
TEST_F(ChildWindowTest, TheChildsMnemonicsWinOverTheDisabledMenus) {
  struct Case {
    const char* caption;
    char key;
  };
  // Against "&File", "&Configuration", "&Tools", "&Help" and "&Language".
  const Case cases[] = {{"&Cancel", 'c'}, {"&Fix", 'f'}, {"&Test", 't'}, {"&Hold", 'h'}, {"&Load", 'l'}};
  const QString language = window_->LanguageManager()->LanguageMenu()->title();
  ASSERT_EQ(language, QStringLiteral("&Language"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    clicked_.clear();
    DiagnosisOpens({QStringLiteral("&Other"), QString::fromLatin1(c.caption)});
    Item("MenuItemDiagnostic")->trigger();
    ASSERT_EQ(Frames().size(), 1U);
    ASSERT_FALSE(MenusEnabled());
    AltKey(c.key);
    // A mnemonic clicks with a short delay.
    EXPECT_TRUE(WaitNoChild());
    EXPECT_EQ(clicked_, QStringList{QString::fromLatin1(c.caption)});
  }
  EXPECT_EQ(window_->Menu(QStringLiteral("MenuFichier"))->title(), QStringLiteral("&File"));
  EXPECT_EQ(window_->Menu(QStringLiteral("MenuConfiguration"))->title(), QStringLiteral("&Configuration"));
  EXPECT_EQ(window_->Menu(QStringLiteral("MenuOutils"))->title(), QStringLiteral("&Tools"));
  EXPECT_EQ(window_->Menu(QStringLiteral("MenuAide"))->title(), QStringLiteral("&Help"));
  EXPECT_EQ(window_->LanguageManager()->LanguageMenu()->title(), language);
  EXPECT_TRUE(boxes_.Texts().isEmpty());
}

}  // namespace
