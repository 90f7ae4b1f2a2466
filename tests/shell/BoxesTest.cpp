#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "platform/Texts.h"
#include "shell/Boxes.h"
#include "shell/FormZvoBoxes.h"
#include "support/RunModal.h"
#include "shell/UiText.h"
#include "support/BoxRecorder.h"

namespace {

QString ButtonText(QDialog& box, const char* name) {
  auto* button = box.findChild<QPushButton*>(QString::fromLatin1(name));
  return button ? button->text() : QStringLiteral("<no %1>").arg(QString::fromLatin1(name));
}

QString LabelText(QDialog& box, const char* name) {
  auto* label = box.findChild<QLabel*>(QString::fromLatin1(name));
  return label ? label->text() : QStringLiteral("<no %1>").arg(QString::fromLatin1(name));
}

// What each kind of box shows, by the names of its components.
struct Layout {
  BoxKind kind;
  const char* label;
  const char* picture;
  int caption;
  std::vector<std::pair<const char*, int>> buttons;
};

const std::vector<Layout>& Layouts() {
  static const std::vector<Layout> layouts = {
      {BoxKind::Message, "LabelMessage", "ImageInfo", 5, {{"ButtonOK", 2}}},
      {BoxKind::Query, "LabelQuery", "ImageQuery", 6, {{"ButtonOui", 0}, {"ButtonNon", 1}}},
      {BoxKind::Error, "LabelError", "ImageError", 4, {{"ButtonOK", 2}}},
  };
  return layouts;
}

class BoxesTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::SetTextOverrides({}); }

  // Shows the real box of the kind and checks its texts while it is up.
  static void ExpectTexts(const Layout& layout, const QString& text, const QString& shownText) {
    ModalRun run = RunModal([&] { return ShowBox(layout.kind, nullptr, text); },
                            [&](QDialog& box) {
                              EXPECT_EQ(box.windowTitle(), Str(layout.caption));
                              EXPECT_EQ(LabelText(box, layout.label), shownText);
                              auto* picture = box.findChild<QLabel*>(QString::fromLatin1(layout.picture));
                              ASSERT_NE(picture, nullptr) << layout.picture;
                              EXPECT_FALSE(picture->pixmap().isNull()) << layout.picture;
                              for (const auto& [name, id] : layout.buttons) {
                                EXPECT_EQ(ButtonText(box, name), Str(id)) << name;
                              }
                              EXPECT_FALSE(box.windowFlags() & Qt::WindowCloseButtonHint);
                              EXPECT_TRUE(box.windowFlags() & Qt::WindowStaysOnTopHint);
                              box.reject();
                            });
    EXPECT_FALSE(run.stayedOpen);
  }
};

TEST_F(BoxesTest, CaptionsButtonsAndLineBreaks) {
  for (const Layout& layout : Layouts()) {
    SCOPED_TRACE(layout.label);
    ExpectTexts(layout, QStringLiteral("First line\r\nSecond line"), QStringLiteral("First line\nSecond line"));
  }
}

TEST_F(BoxesTest, NewBoxesShowTheTextsOfTheCurrentLanguage) {
  platform::SetTextOverrides({{0, "&Oui"}, {1, "&Non"}, {2, "&D'accord"},
                              {4, "Erreur"}, {5, "Attention"}, {6, "Question ?"}});
  ASSERT_EQ(Str(5), QStringLiteral("Attention"));
  for (const Layout& layout : Layouts()) {
    SCOPED_TRACE(layout.label);
    ExpectTexts(layout, QStringLiteral("Texte"), QStringLiteral("Texte"));
  }
}

// Every way out of each box and the modal result it gives.
TEST_F(BoxesTest, ModalResults) {
  enum class Way { Click, Return, Escape, Close };
  struct Case {
    BoxKind kind;
    Way way;
    const char* button;
    int expected;
  };
  const Case cases[] = {
      {BoxKind::Message, Way::Click, "ButtonOK", kResultOk},
      {BoxKind::Message, Way::Return, nullptr, kResultOk},
      {BoxKind::Message, Way::Escape, nullptr, kResultOk},
      {BoxKind::Message, Way::Close, nullptr, kResultOk},
      {BoxKind::Query, Way::Click, "ButtonOui", kResultYes},
      {BoxKind::Query, Way::Click, "ButtonNon", kResultNo},
      {BoxKind::Query, Way::Return, nullptr, kResultYes},
      {BoxKind::Query, Way::Escape, nullptr, kResultNo},
      {BoxKind::Query, Way::Close, nullptr, kResultNo},
      {BoxKind::Error, Way::Click, "ButtonOK", kResultOk},
      {BoxKind::Error, Way::Return, nullptr, kResultOk},
      {BoxKind::Error, Way::Close, nullptr, kResultOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(c.kind) << " way "
                                    << static_cast<int>(c.way) << " " << (c.button ? c.button : ""));
    ModalRun run = RunModal([&] { return ShowBox(c.kind, nullptr, QStringLiteral("Text")); },
                            [&](QDialog& box) {
                              QWidget* focus = box.focusWidget() ? box.focusWidget() : &box;
                              switch (c.way) {
                                case Way::Click:
                                  QTest::mouseClick(box.findChild<QPushButton*>(QString::fromLatin1(c.button)),
                                                    Qt::LeftButton);
                                  break;
                                case Way::Return: QTest::keyClick(focus, Qt::Key_Return); break;
                                case Way::Escape: QTest::keyClick(focus, Qt::Key_Escape); break;
                                case Way::Close: box.close(); break;
                              }
                            });
    EXPECT_FALSE(run.stayedOpen);
    EXPECT_EQ(run.result, c.expected);
  }
}

TEST_F(BoxesTest, AskQuestionIsTrueOnlyForYes) {
  for (const auto& [button, expected] : {std::pair{"ButtonOui", true}, std::pair{"ButtonNon", false}}) {
    bool answer = !expected;
    RunModal([&] { answer = AskQuestion(nullptr, QStringLiteral("?")); return 0; },
             [&](QDialog& box) { box.findChild<QPushButton*>(QString::fromLatin1(button))->click(); });
    EXPECT_EQ(answer, expected) << button;
  }
}

// The message and question boxes keep their size and clip; the error box grows until every
// line fits, and widens for a word too long to wrap (a path wraps at its separators only).
// A failure message must never be cut off: the message and error boxes grow with their
// text; the question box keeps its fixed size (its questions are short).
TEST_F(BoxesTest, MessageAndErrorBoxesGrowWithTheirText) {
  const QString word = QStringLiteral("Installation_2024_north_building_second_floor_site.srd");
  const QString text = QStringLiteral("[/home/somebody/Documents/projects/%1] database already exists :"
                                      "\r\nPlease retry\r\n").arg(word) +
                       QStringLiteral("one more line of explanation that wraps around a few times ").repeated(3);

  TFormZvoMessage shortMessage(nullptr, QStringLiteral("Short"));
  TFormZvoMessage longMessage(nullptr, text);
  TFormZvoQuery longQuery(nullptr, text);
  TFormZvoError shortError(nullptr, QStringLiteral("Short"));
  TFormZvoError longError(nullptr, text);
  EXPECT_EQ(shortMessage.size(), QSize(297, 97));
  EXPECT_EQ(longQuery.size(), QSize(297, 92));
  EXPECT_EQ(shortError.size(), QSize(297, 97));

  struct Grown {
    QDialog* box;
    const char* label;
  };
  for (const Grown& g : {Grown{&longMessage, "LabelMessage"}, Grown{&longError, "LabelError"}}) {
    SCOPED_TRACE(g.label);
    EXPECT_GT(g.box->width(), 297);
    EXPECT_GT(g.box->height(), 97);
    auto* label = g.box->findChild<QLabel*>(QString::fromLatin1(g.label));
    ASSERT_NE(label, nullptr);
    EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(word));
    EXPECT_GE(label->height(), label->heightForWidth(label->width()));
    auto* button = g.box->findChild<QPushButton*>(QStringLiteral("ButtonOK"));
    ASSERT_NE(button, nullptr);
    EXPECT_GE(button->y(), label->geometry().bottom());
    EXPECT_LE(button->geometry().bottom(), g.box->height());
  }
}

TEST_F(BoxesTest, AnInstalledHandlerTakesEveryBox) {
  QWidget owner;
  {
    BoxRecorder recorder;
    recorder.Answer(kResultYes);
    EXPECT_TRUE(AskQuestion(&owner, QStringLiteral("Close ?")));
    EXPECT_FALSE(AskQuestion(&owner, QStringLiteral("Save ?")));  // queue empty: No
    ShowMessageBox(QStringLiteral("Warned\r\n"));
    ShowErrorBox(&owner, QStringLiteral("Failed"));
    recorder.Answer(kResultNo);
    EXPECT_EQ(ShowBox(BoxKind::Error, nullptr, QStringLiteral("Any")), kResultNo);

    const auto& boxes = recorder.Boxes();
    ASSERT_EQ(boxes.size(), 5U);
    const BoxKind kinds[] = {BoxKind::Query, BoxKind::Query, BoxKind::Message, BoxKind::Error, BoxKind::Error};
    QWidget* owners[] = {&owner, &owner, nullptr, &owner, nullptr};
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      EXPECT_EQ(boxes[i].kind, kinds[i]) << i;
      EXPECT_EQ(boxes[i].owner, owners[i]) << i;
    }
    EXPECT_EQ(recorder.Texts(), QStringList({"Close ?", "Save ?", "Warned\r\n", "Failed", "Any"}));
  }
  // The recorder gone, the real boxes are back.
  EXPECT_EQ(SetBoxHandler(nullptr), nullptr);
}

}  // namespace
