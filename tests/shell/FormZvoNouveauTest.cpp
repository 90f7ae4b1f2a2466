#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>

#include "support/RunModal.h"
#include "model/Contexte.h"
#include "platform/Texts.h"
#include "shell/Boxes.h"
#include "shell/FormZvoNouveau.h"
#include "shell/UiText.h"
#include "support/BoxRecorder.h"
#include "support/TempHome.h"

namespace {

const QString kUntouched = QStringLiteral("<untouched>");

QLineEdit* Edit(QDialog& d) { return d.findChild<QLineEdit*>(QStringLiteral("EditNomProjet")); }
QTabBar* Tabs(QDialog& d) { return d.findChild<QTabBar*>(QStringLiteral("TCTypeCentrale")); }
QPushButton* Button(QDialog& d, const char* name) {
  return d.findChild<QPushButton*>(QString::fromLatin1(name));
}
void ClickOk(QDialog& d) { QTest::mouseClick(Button(d, "BitBtnValider"), Qt::LeftButton); }
void ClickTab(QDialog& d, int index) {
  QTest::mouseClick(Tabs(d), Qt::LeftButton, {}, Tabs(d)->tabRect(index).center());
}

class NouveauTest : public ::testing::Test {
 protected:
  void SetUp() override { GetContexte().SetCurrentPanelType(7); }
  void TearDown() override {
    platform::SetTextOverrides({});
    platform::SetFormTextOverrides({});
  }

  // Opens the dialog at the panel type, runs act inside it and answers how it ended.
  ModalRun Run(std::uint8_t panelType, const std::function<void(QDialog&)>& act) {
    GetContexte().SetCurrentPanelType(panelType);
    TFormZvoNouveau dialog(nullptr, name_);
    return RunModal([&] { return dialog.exec(); }, act);
  }

  std::string Folder() const { return GetContexte().LoadSavePath(); }

  TempHome home_;
  BoxRecorder boxes_;
  QString name_ = kUntouched;
};

TEST_F(NouveauTest, StartsInTheDocumentsFolderOfTheTemporaryHome) {
  EXPECT_EQ(Folder(), home_.Path());
}

TEST_F(NouveauTest, OkGivesTheTrimmedName) {
  const std::pair<QString, QString> cases[] = {
      {QStringLiteral("  Site 1 \t"), QStringLiteral("Site 1")},
      {QStringLiteral("v1.2"), QStringLiteral("v1.2")},
      {QStringLiteral("..a"), QStringLiteral("..a")},
  };
  for (const auto& [typed, expected] : cases) {
    name_ = kUntouched;
    ModalRun run = Run(7, [&](QDialog& d) {
      Edit(d)->insert(typed);
      ClickOk(d);
    });
    EXPECT_EQ(run.result, kResultOk) << typed.toStdString();
    EXPECT_FALSE(run.stayedOpen);
    EXPECT_EQ(name_, expected);
  }
  EXPECT_TRUE(boxes_.Boxes().empty()) << boxes_.Texts().join('|').toStdString();
}

// Names that are empty once trimmed, or that would not be one plain file in the folder
// (pasted, so the key filter never saw them), are refused and the dialog stays usable.
TEST_F(NouveauTest, UnusableNamesAreRefusedAndTheDialogStaysOpen) {
  const QString cases[] = {QStringLiteral("   "), QStringLiteral("\t \x01"), QStringLiteral("a/b"),
                           QStringLiteral("a\\b"), QStringLiteral("a\tb"),   QStringLiteral("."),
                           QStringLiteral(" .. "), QStringLiteral("/"),      QStringLiteral("a\x7fz")};
  for (const QString& pasted : cases) {
    SCOPED_TRACE(pasted.toStdString());
    boxes_.Clear();
    name_ = kUntouched;
    QDialog* owner = nullptr;
    QString left = QStringLiteral("<not read>");
    ModalRun run = Run(3, [&](QDialog& d) {
      owner = &d;
      Edit(d)->insert(pasted);
      ASSERT_EQ(Edit(d)->text(), pasted);
      ClickOk(d);
      left = Edit(d)->text();
    });
    EXPECT_TRUE(run.stayedOpen);
    EXPECT_TRUE(left.isEmpty()) << left.toStdString();
    ASSERT_EQ(boxes_.Boxes().size(), 1U);
    EXPECT_EQ(boxes_.Boxes()[0].kind, BoxKind::Error);
    EXPECT_EQ(boxes_.Boxes()[0].owner, owner);
    EXPECT_EQ(boxes_.Boxes()[0].text, Str(32));
    EXPECT_EQ(name_, kUntouched);
    EXPECT_EQ(GetContexte().PanelType(), 3);  // the variant is set only on success
  }
}

TEST_F(NouveauTest, ATakenNameIsRefusedWithItsWholePath) {
  std::filesystem::create_directory(Folder() + "/Folder.srd");
  std::ofstream(Folder() + "/Taken.srd") << "x";
  for (const char* taken : {"Taken", "Folder"}) {
    SCOPED_TRACE(taken);
    boxes_.Clear();
    name_ = kUntouched;
    QString left = QStringLiteral("<not read>");
    ModalRun run = Run(7, [&](QDialog& d) {
      QTest::keyClicks(Edit(d), QStringLiteral(" %1 ").arg(QString::fromLatin1(taken)));
      ClickOk(d);
      left = Edit(d)->text();
      // The same dialog takes a free name afterwards.
      QTest::keyClicks(Edit(d), QStringLiteral("taken"));
      ClickOk(d);
    });
    EXPECT_FALSE(run.stayedOpen);
    EXPECT_EQ(run.result, kResultOk);
    EXPECT_TRUE(left.isEmpty());
    const std::string path = Folder() + "/" + taken + ".srd";
    EXPECT_EQ(boxes_.Texts(), QStringList{StrF(33, {path})});
    EXPECT_TRUE(boxes_.Texts().value(0).startsWith(QStringLiteral("[/")));
    EXPECT_EQ(name_, QStringLiteral("taken"));
  }
}

TEST_F(NouveauTest, TypedFileNameCharactersAreDropped) {
  QString typed;
  Run(7, [&](QDialog& d) {
    QTest::keyClicks(Edit(d), QStringLiteral("a\\b/c:d?e\"f<g>h|i*j k"));
    typed = Edit(d)->text();
    Edit(d)->clear();
    QTest::keyClicks(Edit(d), QStringLiteral("0123456789abcdefghijKLMNO"));
    typed += QLatin1Char('|') + Edit(d)->text();
    d.reject();
  });
  EXPECT_EQ(typed, QStringLiteral("abcdefghij k|0123456789abcdefghij"));
}

// The tabs show for the panel types that come in pairs; OK leaves the chosen variant
// current, "FSC" unless the user chose otherwise, and each change of tab warns once.
TEST_F(NouveauTest, VariantTabs) {
  struct Case {
    std::uint8_t type;
    int click;  // tab clicked before OK, -1 for none
    bool shown;
    std::uint8_t after;
    int warnings;
  };
  const Case cases[] = {
      {7, -1, false, 7, 0}, {6, -1, false, 6, 0}, {2, -1, true, 2, 0}, {3, -1, true, 2, 0},
      {9, -1, true, 8, 0},  {2, 1, true, 3, 1},   {3, 1, true, 3, 1},  {2, 0, true, 2, 0},
  };
  int heightWithout = 0, heightWith = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << int{c.type} << " click " << c.click);
    boxes_.Clear();
    bool shown = !c.shown;
    ModalRun run = Run(c.type, [&](QDialog& d) {
      shown = Tabs(d)->isVisible();
      (shown ? heightWith : heightWithout) = d.height();
      if (c.click >= 0) ClickTab(d, c.click);
      QTest::keyClicks(Edit(d), QStringLiteral("Site"));
      ClickOk(d);
    });
    EXPECT_EQ(run.result, kResultOk);
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(GetContexte().PanelType(), c.after);
    EXPECT_EQ(boxes_.Texts(), QStringList(c.warnings, Str(39)));
    for (const auto& box : boxes_.Boxes()) EXPECT_EQ(box.kind, BoxKind::Error);
  }
  EXPECT_GT(heightWith, heightWithout);
}

TEST_F(NouveauTest, CancelChecksNothingAndChangesNothing) {
  std::ofstream(Folder() + "/Taken.srd") << "x";
  const std::function<void(QDialog&)> ways[] = {
      [](QDialog& d) { QTest::mouseClick(Button(d, "BitBtnAnnuler"), Qt::LeftButton); },
      [](QDialog& d) { QTest::keyClick(Edit(d), Qt::Key_Escape); },
      [](QDialog& d) { d.close(); },
  };
  for (const QString& typed : {QStringLiteral("Taken"), QStringLiteral("   "), QStringLiteral("Free")}) {
    for (const auto& way : ways) {
      ModalRun run = Run(3, [&](QDialog& d) {
        QTest::keyClicks(Edit(d), typed);
        way(d);
      });
      EXPECT_EQ(run.result, TFormZvoNouveau::kResultCancel) << typed.toStdString();
      EXPECT_FALSE(run.stayedOpen);
    }
  }
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_EQ(name_, kUntouched);
  EXPECT_EQ(GetContexte().PanelType(), 3);
}

TEST_F(NouveauTest, TextsComeFromTheCurrentLanguage) {
  GetContexte().SetCurrentPanelType(7);
  TFormZvoNouveau dialog(nullptr, name_);
  auto* label = dialog.findChild<QLabel*>(QStringLiteral("LabelNomPojet"));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(dialog.windowTitle(), Str(465));
  EXPECT_EQ(label->text(), QStringLiteral("Database name"));
  EXPECT_EQ(Button(dialog, "BitBtnValider")->text(), QStringLiteral("&OK"));
  EXPECT_EQ(Button(dialog, "BitBtnAnnuler")->text(), QStringLiteral("&Cancel"));

  platform::SetTextOverrides({{465, "Nouvelle base"}});
  platform::SetFormTextOverrides({{"TFormZvoNouveau.LabelNomPojet.Caption", "Nom de la base"},
                                  {"TFormZvoNouveau.BitBtnAnnuler.Caption", "&Annuler"}});
  dialog.ApplyTexts();
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Nouvelle base"));
  EXPECT_EQ(label->text(), QStringLiteral("Nom de la base"));
  EXPECT_EQ(Button(dialog, "BitBtnValider")->text(), QStringLiteral("&OK"));
  EXPECT_EQ(Button(dialog, "BitBtnAnnuler")->text(), QStringLiteral("&Annuler"));
}

}  // namespace
