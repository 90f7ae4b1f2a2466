// The database diagnosis, opened from Tools as the user opens it.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <ostream>
#include <string>

#include "editors/FormZvoDiagnostic.h"
#include "model/Groupes.h"
#include "model/ParamsGen.h"
#include "model/Points.h"
#include "model/Relais.h"
#include "model/Security.h"
#include "model/Zones.h"
#include "shell/UiText.h"
#include "support/EditorFixture.h"
#include "support/PdfText.h"

static void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

static std::string S(const QString& text) { return text.toStdString(); }

namespace {

constexpr std::size_t kLineSystemOffset = 272;  // 1: loops, 0: lines

class DiagnosisTest : public EditorFixture {
 protected:
  using EditorFixture::EditorFixture;

  TFormZvoDiagnostic* OpenDiagnosis() { return Open<TFormZvoDiagnostic>("MenuItemDiagnostic"); }
  static QStringList MemoLines(const TFormZvoDiagnostic* d) {
    return Control<QPlainTextEdit>(d, "Memo")->toPlainText().split(QLatin1Char('\n'));
  }
  static void Click(const TFormZvoDiagnostic* d, const char* button) {
    QTest::mouseClick(Control<QPushButton>(d, button), Qt::LeftButton);
  }
  QString Pdf() const { return QString::fromStdString(home_.Sub("diagnosis.pdf")); }
};

class AlphaDiagnosisTest : public DiagnosisTest {
 protected:
  AlphaDiagnosisTest() : DiagnosisTest(7, "Alpha") {}
};

class AccentedDiagnosisTest : public DiagnosisTest {
 protected:
  AccentedDiagnosisTest() : DiagnosisTest(7, "Zoé") {}
};

class SecurityDiagnosisTest : public DiagnosisTest {
 protected:
  SecurityDiagnosisTest() : DiagnosisTest(3) {}
};

TEST_F(DiagnosisTest, OpensFromToolsAsTheOneChildAndOkClosesIt) {
  ASSERT_TRUE(MenusEnabled());
  TFormZvoDiagnostic* d = OpenDiagnosis();
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(window_->findChildren<QMdiSubWindow*>().size(), 1);
  EXPECT_EQ(d->SubWindow()->windowTitle(), QStringLiteral("Database diagnosis"));
  EXPECT_EQ(d->HelpContext(), 32);
  EXPECT_FALSE(MenusEnabled());
  EXPECT_FALSE(Item("MenuItemDiagnostic")->isEnabled());

  auto* memo = Control<QPlainTextEdit>(d, "Memo");
  EXPECT_TRUE(memo->isReadOnly());
  EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(Control<QPushButton>(d, "BitBtnValider")->text(), QStringLiteral("&OK"));
  EXPECT_EQ(Control<QPushButton>(d, "BitBtnImprimer")->text(), QStringLiteral("&Print"));

  Click(d, "BitBtnValider");
  EXPECT_TRUE(WaitNoChild());
  EXPECT_TRUE(MenusEnabled());
  EXPECT_TRUE(Item("MenuItemDiagnostic")->isEnabled());
  EXPECT_TRUE(boxes_.Texts().isEmpty()) << boxes_.Texts().join('|').toStdString();
}

TEST_F(DiagnosisTest, WithoutASiteItShowsNothing) {
  CloseDatabase();
  window_->MiseAJourControle();
  window_->Diagnostic();
  EXPECT_TRUE(window_->findChildren<QMdiSubWindow*>().isEmpty());
  EXPECT_TRUE(MenusEnabled());
  EXPECT_TRUE(boxes_.Texts().isEmpty()) << boxes_.Texts().join('|').toStdString();
}

TEST_F(AlphaDiagnosisTest, ANewSiteListsItsEmptyLoops) {
  TFormZvoDiagnostic* d = OpenDiagnosis();
  ASSERT_NE(d, nullptr);
  const QStringList lines = MemoLines(d);
  ASSERT_EQ(lines.size(), 10) << lines.join('|').toStdString();
  EXPECT_TRUE(lines[0].startsWith(QStringLiteral("DATABASE DIAGNOSIS  "))) << S(lines[0]);
  EXPECT_EQ(lines.mid(1), (QStringList{"Site name : SARDEL128", "File name : Alpha", "", "", "", "Loop 1 is empty.",
                                       "Loop 2 is empty.", "", ""}));
  EXPECT_EQ(d->Title(), lines[0]);
}

// The title's date and time are the clock's, in the system's formats, without a
// time-zone name.
TEST_F(AlphaDiagnosisTest, TheTitleHoldsTheDateAndTime) {
  TFormZvoDiagnostic* d = OpenDiagnosis();
  ASSERT_NE(d, nullptr);
  const QString title = MemoLines(d)[0];
  const QString when = title.mid(QStringLiteral("DATABASE DIAGNOSIS  ").size());
  const QLocale locale = QLocale::system();
  EXPECT_TRUE(when.startsWith(locale.toString(QDate(2024, 2, 1), QLocale::ShortFormat) + ' ')) << S(title);
  EXPECT_TRUE(when.contains(QStringLiteral(":37:52"))) << S(title);
  EXPECT_FALSE(title.contains(QStringLiteral("%s")));
  const QString zone = QDateTime::currentDateTime().timeZoneAbbreviation();
  if (!zone.isEmpty()) {
    EXPECT_FALSE(title.contains(zone)) << S(title);
  }
}

// Texts of the site are ANSI, the file name is the file system's: both keep their accents.
TEST_F(AccentedDiagnosisTest, NamesKeepTheirAccents) {
  Root().ParamsGen()->SiteName()->SetText(ToAnsi(QStringLiteral("Café")));
  TFormZvoDiagnostic* d = OpenDiagnosis();
  ASSERT_NE(d, nullptr);
  const QStringList lines = MemoLines(d);
  ASSERT_GE(lines.size(), 3);
  EXPECT_EQ(lines[1], QStringLiteral("Site name : Café"));
  EXPECT_EQ(lines[2], QStringLiteral("File name : Zoé"));
}

// A pre-alarm zone of one manual call point, 33 points on line 2 and a group that
// triggers nothing: the findings by section, the very lines the site tool's check prints.
TEST_F(DiagnosisTest, FindingsComeBySectionAsTheSiteToolPrintsThem) {
  Patch(kLineSystemOffset, {0});
  Point(1).SetType(6);
  Point(1).SetLine(1);
  Point(1).SetZone(4);
  for (int a = 2; a <= 34; ++a) {
    Point(a).SetType(19);
    Point(a).SetLine(2);
    Point(a).SetZone(1);
  }
  Root().Zones()->GetZone(3)->SetPreAlarm(true);
  Root().Zones()->GetZone(3)->Groups()->Add(5);
  TGroupe& group = *Root().Groups()->GetGroup(4);
  group.SetTriggerType(1);
  group.SetZoneEvent(1);
  group.SetZoneLogic(1);

  TFormZvoDiagnostic* d = OpenDiagnosis();
  ASSERT_NE(d, nullptr);
  const QStringList lines = MemoLines(d);
  EXPECT_EQ(lines.mid(3), (QStringList{"",
                                       "",
                                       "Less than two points in pre alarme zone 4",
                                       "A MCP is declared in pre alarme zone 4",
                                       "",
                                       "More than 32 points are declared on line 2.",
                                       "Line 3 is empty.",
                                       "Line 4 is empty.",
                                       "",
                                       "Group 05 has no triggered element.",
                                       ""}));

  SaveDatabase(*CurrentDatabase());
  QProcess tool;
  tool.start(QStringLiteral(KVX_SRDTOOL_PATH),
             {QStringLiteral("check"), QString::fromStdString(DatabasePath(*CurrentDatabase()))});
  ASSERT_TRUE(tool.waitForFinished(testwait::kPatienceMs));
  ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
  QStringList printed = QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'));
  ASSERT_EQ(printed.takeLast(), QString());
  QStringList findings = lines.mid(3);
  findings.removeAll(QString());
  EXPECT_EQ(findings, printed);
}

// Security variants list the breaking functions right after the relays.
TEST_F(SecurityDiagnosisTest, BreakingFunctionsFollowTheRelays) {
  for (int a = 1; a <= 2; ++a) {
    Point(a).SetType(2);
    Point(a).SetLine(a);
  }
  TGstRelais& relais = *Root().Relais();
  for (int i = 0; i < relais.OnBoardCount(); ++i) relais.OnBoardRelay(i)->Groups()->Add(3);
  Root().Security()->Breaking(1)->Groups()->Add(3);
  Root().Security()->Breaking(2)->Groups()->Add(3);
  ASSERT_TRUE(Item("MenuItemDiagnostic")->isEnabled());
  TFormZvoDiagnostic* d = OpenDiagnosis();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(MemoLines(d).mid(3), (QStringList{"", "", "", "", "",
                                              "Relay 4 used in another function than the default one",
                                              "Relay 5 used in another function than the default one",
                                              "Relay 6 used in another function than the default one",
                                              "Relay 7 used in another function than the default one"}));
}

TEST_F(DiagnosisTest, PrintsTheMemoAsOneDocumentNamedByTheTitle) {
  printTo_ = Pdf();
  TFormZvoDiagnostic* d = OpenDiagnosis();
  ASSERT_NE(d, nullptr);
  Click(d, "BitBtnImprimer");
  ASSERT_EQ(printDialogs_.size(), 1U);
  // The file the dialog proposes lies in a folder that exists, whatever the title holds.
  const QFileInfo proposed(printDialogs_[0].outputFile);
  EXPECT_TRUE(proposed.dir().exists()) << S(printDialogs_[0].outputFile);
  EXPECT_TRUE(proposed.fileName().endsWith(QStringLiteral(".pdf")));
  EXPECT_FALSE(proposed.fileName().contains(QLatin1Char(':')));

  ASSERT_TRUE(QFileInfo::exists(Pdf()));
  const QString text = pdf::Text(Pdf());
  ASSERT_FALSE(text.isNull()) << "pdftotext (poppler-utils) could not read the print";
  // Every line of the memo, as the PDF's text shows it (blanks between words as one).
  QStringList printed = text.split(QLatin1Char('\n'));
  for (QString& line : printed) line = line.simplified();
  for (const QString& line : MemoLines(d)) {
    if (!line.isEmpty()) {
      EXPECT_TRUE(printed.contains(line.simplified())) << S(line) << " not in\n" << S(text);
    }
  }
  EXPECT_TRUE(text.contains(QStringLiteral("Site name : SARDEL128")));
  EXPECT_EQ(pdf::Title(Pdf()), d->Title());
  EXPECT_TRUE(boxes_.Texts().isEmpty()) << boxes_.Texts().join('|').toStdString();
}

TEST_F(DiagnosisTest, ACancelledPrintPrintsNothing) {
  TFormZvoDiagnostic* d = OpenDiagnosis();
  ASSERT_NE(d, nullptr);
  const QStringList before = MemoLines(d);
  Click(d, "BitBtnImprimer");
  EXPECT_EQ(printDialogs_.size(), 1U);
  EXPECT_TRUE(QDir(QString::fromStdString(home_.Path())).entryList({QStringLiteral("*.pdf")}).isEmpty());
  EXPECT_EQ(window_->findChild<TFormZvoDiagnostic*>(), d);
  EXPECT_EQ(MemoLines(d), before);
  EXPECT_TRUE(boxes_.Texts().isEmpty()) << boxes_.Texts().join('|').toStdString();
}

TEST_F(DiagnosisTest, AltKeysReachItsButtons) {
  TFormZvoDiagnostic* d = OpenDiagnosis();
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(d->isAncestorOf(QApplication::focusWidget()));
  AltKey('p');
  // A mnemonic clicks with a short delay.
  EXPECT_TRUE(QTest::qWaitFor([this] { return printDialogs_.size() == 1; }, testwait::kPatienceMs));
  AltKey('o');
  EXPECT_TRUE(WaitNoChild());
}

// Reading and printing change nothing: leaving asks only whether to close the site.
TEST_F(DiagnosisTest, ClosingItLeavesTheSiteUnmodified) {
  ASSERT_FALSE(Root().Modified());
  printTo_ = Pdf();
  TFormZvoDiagnostic* d = OpenDiagnosis();
  ASSERT_NE(d, nullptr);
  Click(d, "BitBtnImprimer");
  Click(d, "BitBtnValider");
  ASSERT_TRUE(WaitNoChild());
  EXPECT_FALSE(Root().Modified());

  boxes_.Answer(kResultYes);
  Item("MenuItemQuitter")->trigger();
  EXPECT_EQ(boxes_.Texts(), QStringList{Str(7)});
  EXPECT_FALSE(window_->isVisible());
  EXPECT_FALSE(IsDatabaseLoaded());
}

}  // namespace
