#include "editors/ZvoInc.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "support/Patience.h"
#include "support/Typing.h"

namespace {

const QString kExample = QStringLiteral("Zoé/1~\\É€Ж");
const QString kExampleKept = QStringLiteral("Zoé1");

TEST(FilterNameKeyTest, PassesExactlyTheCodesThePanelShows) {
  std::set<int> passing = {127, 3, 8, 20, 22, 24, 224, 226, 231, 232, 233, 234, 238, 244};
  for (int c = 32; c <= 126; ++c) {
    if (c != '/' && c != '\\' && c != '~') passing.insert(c);
  }
  std::string wrong;
  for (int code = 0; code <= 255; ++code) {
    char key = static_cast<char>(code);
    FilterNameKey(key);
    const bool passed = key != 0;
    if (passed && key != static_cast<char>(code)) wrong += " changed:" + std::to_string(code);
    if (passed != (passing.count(code) == 1)) wrong += " " + std::to_string(code);
  }
  EXPECT_EQ(wrong, "");
}

TEST(FilterNameKeyTest, TextGoesThroughTheCodePageFirst) {
  const struct {
    QString text;
    std::string_view extra;
    QString kept;
  } cases[] = {
      {kExample, {}, kExampleKept},
      // A character the code page lacks must not come through as the conversion's '?'.
      {QStringLiteral("Ж?€\U0001F600"), {}, QStringLiteral("?")},
      {QStringLiteral("àâçèéêîô ëïùûüÀÉ"), {}, QStringLiteral("àâçèéêîô ")},
      // Code page bytes 0x80-0x9F and Latin-1 controls are above 127 and refused.
      {QStringLiteral("ŠœŸ\u0081\u0080\u00A0"), {}, QString()},
      {QStringLiteral("\t\r\n\x7f"), {}, QStringLiteral("\x7f")},
      {QStringLiteral("a:b?c\"d<e>f|g*h.i"), {}, QStringLiteral("a:b?c\"d<e>f|g*h.i")},
      {QStringLiteral("a:b?c\"d<e>f|g*h.i/j\\k"), kSiteNameRefused, QStringLiteral("abcdefgh.ijk")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FilterNameText(c.text, c.extra), c.kept) << c.text.toStdString();
  }
}

void PasteByKey(QLineEdit* edit, const QString& text) {
  QGuiApplication::clipboard()->setText(text);
  QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
}

// A label field in a dialog with a default button and a field after it.
class NameFieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto* layout = new QVBoxLayout(&dialog_);
    edit_ = new QLineEdit(&dialog_);
    next_ = new QLineEdit(&dialog_);
    ok_ = new QPushButton(QStringLiteral("OK"), &dialog_);
    ok_->setDefault(true);
    QObject::connect(ok_, &QPushButton::clicked, &dialog_, &QDialog::accept);
    layout->addWidget(edit_);
    layout->addWidget(next_);
    layout->addWidget(ok_);
    InstallNameKeyFilter(edit_);
    dialog_.show();
    dialog_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog_, testwait::kPatienceMs));
    edit_->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit_->hasFocus(); }, testwait::kPatienceMs));
  }

  QDialog dialog_;
  QLineEdit* edit_ = nullptr;
  QLineEdit* next_ = nullptr;
  QPushButton* ok_ = nullptr;
};

TEST_F(NameFieldTest, EveryWayOfEnteringTextKeepsTheSameCharacters) {
  const struct {
    const char* way;
    std::function<void(QLineEdit*, const QString&)> enter;
  } ways[] = {
      {"typing", [](QLineEdit* e, const QString& t) { Type(e, t); }},
      {"Ctrl+V", PasteByKey},
      {"Ctrl+V as X11 sends it",
       [](QLineEdit* e, const QString& t) {
         QGuiApplication::clipboard()->setText(t);
         QTest::sendKeyEvent(QTest::Click, e, Qt::Key_V, QStringLiteral("\x16"), Qt::ControlModifier);
       }},
      {"Shift+Insert",
       [](QLineEdit* e, const QString& t) {
         QGuiApplication::clipboard()->setText(t);
         QTest::keyClick(e, Qt::Key_Insert, Qt::ShiftModifier);
       }},
      {"context menu",
       [](QLineEdit* e, const QString& t) {
         QGuiApplication::clipboard()->setText(t);
         QContextMenuEvent event(QContextMenuEvent::Mouse, e->rect().center(), e->mapToGlobal(e->rect().center()));
         QApplication::sendEvent(e, &event);
         auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
         ASSERT_NE(menu, nullptr);
         QAction* paste = nullptr;
         for (QAction* a : menu->actions()) {
           if (a->text().startsWith(QStringLiteral("&Paste"))) paste = a;
         }
         ASSERT_NE(paste, nullptr);
         paste->trigger();
         menu->close();
       }},
      {"drop",
       [](QLineEdit* e, const QString& t) {
         QMimeData data;
         data.setText(t);
         // A drop follows the drag's entry into the field.
         QDragEnterEvent enter(e->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
         QApplication::sendEvent(e, &enter);
         ASSERT_TRUE(enter.isAccepted());
         QDropEvent drop(QPointF(e->rect().center()), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
         QApplication::sendEvent(e, &drop);
         EXPECT_TRUE(drop.isAccepted());
       }},
      {"input method",
       [](QLineEdit* e, const QString& t) {
         QInputMethodEvent event(QString(), {});
         event.setCommitString(t);
         QApplication::sendEvent(e, &event);
       }},
  };
  // The length limit must not count the refused characters.
  edit_->setMaxLength(4);
  for (const auto& w : ways) {
    edit_->clear();
    w.enter(edit_, kExample);
    EXPECT_EQ(edit_->text(), kExampleKept) << w.way;
    EXPECT_EQ(edit_->cursorPosition(), 4) << w.way;
  }
}

TEST_F(NameFieldTest, PasteGoesWhereTheCaretOrSelectionIs) {
  const struct {
    int start;
    int length;  // 0: the caret at start
    QString clip;
    QString text;
    int caret;
  } cases[] = {
      {2, 0, kExample, QStringLiteral("abZoé1cd"), 6},
      {1, 2, kExample, QStringLiteral("aZoé1d"), 5},
      {0, 0, QStringLiteral("x/y"), QStringLiteral("xyabcd"), 2},
      // Nothing accepted: nothing changes, the selection stays.
      {1, 2, QStringLiteral("/~\\€"), QStringLiteral("abcd"), 3},
  };
  for (const auto& c : cases) {
    edit_->setText(QStringLiteral("abcd"));
    if (c.length > 0) {
      edit_->setSelection(c.start, c.length);
    } else {
      edit_->setCursorPosition(c.start);
    }
    PasteByKey(edit_, c.clip);
    EXPECT_EQ(edit_->text(), c.text) << c.clip.toStdString();
    EXPECT_EQ(edit_->cursorPosition(), c.caret) << c.clip.toStdString();
  }
  EXPECT_EQ(edit_->selectedText(), QStringLiteral("bc"));
}

TEST_F(NameFieldTest, ALengthLimitIsFilledWithAcceptedCharacters) {
  edit_->setMaxLength(5);
  PasteByKey(edit_, QStringLiteral("////a~b\\cdefgh"));
  EXPECT_EQ(edit_->text(), QStringLiteral("abcde"));
}

TEST_F(NameFieldTest, TextSetByTheProgramIsKept) {
  int edited = 0;
  QObject::connect(edit_, &QLineEdit::textEdited, [&] { ++edited; });
  const QString stored = QStringLiteral("a/b~c\\É€");
  edit_->setText(stored);
  EXPECT_EQ(edit_->text(), stored);
  edit_->insert(QStringLiteral("~"));
  EXPECT_EQ(edit_->text(), stored + QStringLiteral("~"));
  Type(edit_, QStringLiteral("~x"));
  EXPECT_EQ(edit_->text(), stored + QStringLiteral("~x"));
  EXPECT_EQ(edited, 2);  // the program's insert and the typed x
}

TEST_F(NameFieldTest, EditingKeysKeepWorking) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  edit_->setText(QStringLiteral("abcdef"));
  QTest::keyClick(edit_, Qt::Key_Backspace);
  EXPECT_EQ(edit_->text(), QStringLiteral("abcde"));
  QTest::sendKeyEvent(QTest::Click, edit_, Qt::Key_Backspace, QStringLiteral("\b"), Qt::NoModifier);
  EXPECT_EQ(edit_->text(), QStringLiteral("abcd"));
  QTest::keyClick(edit_, Qt::Key_Home);
  QTest::keyClick(edit_, Qt::Key_Delete);
  EXPECT_EQ(edit_->text(), QStringLiteral("bcd"));
  QTest::keyClick(edit_, Qt::Key_Right);
  EXPECT_EQ(edit_->cursorPosition(), 1);
  QTest::keyClick(edit_, Qt::Key_End);
  QTest::keyClick(edit_, Qt::Key_Left);
  EXPECT_EQ(edit_->cursorPosition(), 2);
  QTest::keyClick(edit_, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(edit_->selectedText(), QStringLiteral("bcd"));
  clipboard->clear();
  QTest::sendKeyEvent(QTest::Click, edit_, Qt::Key_C, QStringLiteral("\x03"), Qt::ControlModifier);
  EXPECT_EQ(clipboard->text(), QStringLiteral("bcd"));
  QTest::keyClick(edit_, Qt::Key_End);
  QTest::keyClick(edit_, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(edit_->text(), QStringLiteral("bcdbcd"));
  QTest::keyClick(edit_, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(edit_->text(), QStringLiteral("bcd"));
  QTest::keyClick(edit_, Qt::Key_T, Qt::ControlModifier);
  EXPECT_EQ(edit_->text(), QStringLiteral("bcd"));
  edit_->selectAll();
  QTest::keyClick(edit_, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(edit_->text(), QString());
  EXPECT_EQ(clipboard->text(), QStringLiteral("bcd"));
}

TEST_F(NameFieldTest, UndoTakesBackAPasteAsOneStep) {
  Type(edit_, QStringLiteral("ab"));
  PasteByKey(edit_, QStringLiteral("c/d"));
  Type(edit_, QStringLiteral("e"));
  ASSERT_EQ(edit_->text(), QStringLiteral("abcde"));
  const QString steps[] = {QStringLiteral("abcd"), QStringLiteral("ab"), QString()};
  for (const QString& expected : steps) {
    QTest::keyClick(edit_, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(edit_->text(), expected);
  }
}

TEST_F(NameFieldTest, EnterEscapeAndTabKeepTheirRolesInTheDialog) {
  edit_->setText(QStringLiteral("ab"));
  QTest::keyClick(edit_, Qt::Key_Tab);
  EXPECT_TRUE(next_->hasFocus());
  EXPECT_EQ(edit_->text(), QStringLiteral("ab"));

  edit_->setFocus();
  QTest::keyClick(edit_, Qt::Key_Return);
  EXPECT_EQ(dialog_.result(), QDialog::Accepted);
  EXPECT_FALSE(dialog_.isVisible());

  dialog_.setResult(-1);
  dialog_.show();
  dialog_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog_, testwait::kPatienceMs));
  edit_->setFocus();
  QTest::keyClick(edit_, Qt::Key_Escape);
  EXPECT_EQ(dialog_.result(), QDialog::Rejected);
  EXPECT_EQ(edit_->text(), QStringLiteral("ab"));
}

TEST_F(NameFieldTest, ADragWithNothingAcceptedIsRefused) {
  const struct {
    QString text;
    bool accepted;
  } cases[] = {{QStringLiteral("/~€Ж"), false}, {QStringLiteral("/a"), true}};
  for (const auto& c : cases) {
    QMimeData data;
    data.setText(c.text);
    QDragEnterEvent enter(edit_->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit_, &enter);
    EXPECT_EQ(enter.isAccepted(), c.accepted) << c.text.toStdString();
  }
}

TEST_F(NameFieldTest, TheSiteNameFieldRefusesFileNameCharactersToo) {
  auto site = std::make_unique<QLineEdit>(&dialog_);
  InstallNameKeyFilter(site.get(), kSiteNameRefused);
  const QString entered = QStringLiteral("a\\b/c:d?e\"f<g>h|i*jé~");
  Type(site.get(), entered);
  EXPECT_EQ(site->text(), QStringLiteral("abcdefghijé"));
  site->clear();
  PasteByKey(site.get(), entered);
  EXPECT_EQ(site->text(), QStringLiteral("abcdefghijé"));
  // The label filter of another field is not touched.
  Type(edit_, QStringLiteral("a:b"));
  EXPECT_EQ(edit_->text(), QStringLiteral("a:b"));
}

}  // namespace
