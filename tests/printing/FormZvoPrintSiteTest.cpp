// The site-report window, opened from File as the user opens it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPageLayout>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "editors/FormDragList.h"
#include "editors/ZvoTreeView.h"
#include "model/Groupes.h"
#include "model/Projet.h"
#include "model/Security.h"
#include "model/SiteImage.h"
#include "model/SiteSettings.h"
#include "model/Zavo.h"
#include "platform/Exception.h"
#include "printing/FormZvoPrintSite.h"
#include "printing/PrintingWindows.h"
#include "printing/ZvoPrint.h"
#include "printing/ZvoPrintSite.h"
#include "shell/Boxes.h"
#include "shell/PrintDialog.h"
#include "shell/UiText.h"
#include "support/EditorFixture.h"
#include "support/PdfText.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const char* const kPdfVariable = "KORVANEX_PRINT_TO_PDF";

// The title in a page's header: half a row under the site name, above the data index.
QString PageTitle(const pdf::Page& page) {
  auto top = [&page](const char* word) {
    double y = page.height;
    for (const pdf::Word& w : page.Find(QString::fromLatin1(word))) y = std::min(y, w.yMin);
    return y;
  };
  const double below = top("Site") + 2;
  const double above = top("Data") - 2;
  QStringList words;
  for (const pdf::Word& w : page.words) {
    if (w.yMin > below && w.yMin < above) words << w.text;
  }
  return words.join(QLatin1Char(' '));
}

// The header titles of the file's pages, in page order.
QStringList Titles(const QString& file) {
  QStringList titles;
  for (const pdf::Page& page : pdf::Pages(file)) titles << PageTitle(page);
  return titles;
}

// The page number each page shows at its foot.
QStringList PageNumbers(const QString& file) {
  static const QRegularExpression number(QStringLiteral("Page \\d+"));
  QStringList numbers;
  for (const pdf::Page& page : pdf::Pages(file)) {
    QString last;
    for (auto it = number.globalMatch(page.Joined()); it.hasNext();) last = it.next().captured();
    numbers << last;
  }
  return numbers;
}

QStringList Numbered(int count) {
  QStringList numbers;
  for (int n = 1; n <= count; ++n) numbers << QStringLiteral("Page %1").arg(n);
  return numbers;
}

Bytes FileBytes(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + path);
  const QByteArray bytes = file.readAll();
  return {bytes.begin(), bytes.end()};
}

class PrintSiteWindowTest : public EditorFixture {
 protected:
  using EditorFixture::EditorFixture;

  void SetUp() override {
    RegisterPrintingWindows();
    QPrinter& printer = GlobalPrinter();
    savedFormat_ = printer.outputFormat();
    savedFile_ = printer.outputFileName();
    savedLayout_ = printer.pageLayout();
    savedResolution_ = printer.resolution();
    // As on a machine with no printer installed and none chosen yet.
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString());
    EditorFixture::SetUp();
  }
  void TearDown() override {
    EditorFixture::TearDown();
    unsetenv(kPdfVariable);
    // The printer choice outlives the window: every test starts from the same one.
    QPrinter& printer = GlobalPrinter();
    printer.setOutputFormat(savedFormat_);
    printer.setOutputFileName(savedFile_);
    printer.setPageLayout(savedLayout_);
    printer.setResolution(savedResolution_);
  }

  QString Pdf(const char* name) const { return QString::fromStdString(home_.Sub(name)); }
  // Before the window opens: its engine reads the variable when it reads the printer.
  static void SendPrintsTo(const QString& file) { setenv(kPdfVariable, file.toLocal8Bit().constData(), 1); }

  TFormZvoPrintSite* OpenPrint() {
    auto* w = Open<TFormZvoPrintSite>("MenuItemImprimer");
    if (!w) throw std::logic_error("the window did not open");
    return w;
  }
  static void Click(const QWidget* in, const char* button) {
    QTest::mouseClick(Control<QPushButton>(in, button), Qt::LeftButton);
  }
  static QTreeWidget* Available(const TFormZvoPrintSite* w) { return w->Picker().SourceTree(); }
  static QTreeWidget* Selected(const TFormZvoPrintSite* w) { return w->Picker().DestinationTree(); }
  static QStringList Captions(const QTreeWidget* tree) {
    QStringList captions;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) captions << tree->topLevelItem(i)->text(0);
    return captions;
  }
  static QTreeWidgetItem* Node(const QTreeWidget* tree, const char* caption) {
    const auto found = tree->findItems(QString::fromLatin1(caption), Qt::MatchExactly);
    if (found.size() != 1) throw std::logic_error(std::string("no node ") + caption);
    return found.front();
  }
  // The node alone selected, as a click leaves it (not current: no expansion).
  static void Pick(QTreeWidget* tree, const char* caption) {
    tree->clearSelection();
    Node(tree, caption)->setSelected(true);
  }
  // As the window system sends it: a click, then a press that is a double click.
  static void DoubleClick(QTreeWidget* tree, const char* caption) {
    const QPoint at = tree->visualItemRect(Node(tree, caption)).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
  }

  // Points 1 (in zone 1 when zones) and a zone-triggered group 1, as asked.
  void Fill(bool points, bool zones, bool groups) {
    if (points || zones) MakePoint(1, 19, zones ? 1 : 0, "Hall");
    if (groups) {
      TGroupe& group = *Root().Groups()->GetGroup(0);
      group.SetTriggerType(1);
      group.SetZoneEvent(1);
      group.SetZoneLogic(1);
    }
  }

 private:
  QPrinter::OutputFormat savedFormat_ = QPrinter::PdfFormat;
  QString savedFile_;
  QPageLayout savedLayout_;
  int savedResolution_ = 0;
};

// Which sections a site offers, by panel type and what the site uses.
struct OfferCase {
  const char* name;
  std::uint8_t panelType;
  bool points;
  bool zones;
  bool groups;
  std::uint8_t mode;  // of the line of sounders
  bool security;      // a breaking function enabled
  std::vector<const char*> titles;
};

void PrintTo(const OfferCase& c, std::ostream* os) { *os << c.name; }

const OfferCase kOffers[] = {
    {"NewSite", 7, false, false, false, 0, false, {"General parameters", "Site summary"}},
    {"PointsWithoutZone", 7, true, false, false, 0, false, {"General parameters", "Points", "Site summary"}},
    {"GroupsOnly", 7, false, false, true, 0, false, {"General parameters", "Repetitions", "Site summary"}},
    {"EverythingDirectEvacuation",
     7,
     true,
     true,
     true,
     1,
     true,
     {"General parameters", "Points", "Zones", "Line of sounders", "Repetitions", "Site summary"}},
    {"HotelEvacuation", 7, false, false, false, 2, false, {"General parameters", "Line of sounders", "Site summary"}},
    {"OptionC", 7, false, false, false, 3, false, {"General parameters", "Alert/evac function", "Site summary"}},
    {"AlertOutput", 7, false, false, false, 4, false, {"General parameters", "Alert output", "Site summary"}},
    {"SecurityNeverOnType7", 7, false, false, false, 0, true, {"General parameters", "Site summary"}},
    {"SoundersOnType4", 4, false, false, false, 1, true, {"General parameters", "Line of sounders", "Site summary"}},
    {"Type3SoundersNever", 3, false, false, false, 1, false, {"General parameters", "Site summary"}},
    {"Type3Security", 3, false, false, false, 0, true, {"General parameters", "Security settings", "Site summary"}},
    {"Type5Everything",
     5,
     true,
     true,
     true,
     4,
     true,
     {"General parameters", "Points", "Zones", "Security settings", "Repetitions", "Site summary"}},
    {"Type9SecurityNotSounders", 9, false, false, false, 2, true, {"General parameters", "Security settings", "Site summary"}},
};

class PrintSiteWindowOffers : public PrintSiteWindowTest, public testing::WithParamInterface<OfferCase> {
 protected:
  PrintSiteWindowOffers() : PrintSiteWindowTest(GetParam().panelType) {}
};

// Numbered from 1 without gaps, every one selected, with its section's image.
TEST_P(PrintSiteWindowOffers, NumberedInOrderAndAllSelected) {
  const OfferCase& c = GetParam();
  Fill(c.points, c.zones, c.groups);
  Root().LineSound()->mode = c.mode;
  Root().Security()->Breaking(2)->SetEnabled(c.security);
  TFormZvoPrintSite* w = OpenPrint();

  const std::map<QString, int> images = {
      {"General parameters", 0}, {"Points", 1},       {"Zones", 2},       {"Line of sounders", 3},
      {"Alert/evac function", 3}, {"Alert output", 3}, {"Security settings", 4}, {"Repetitions", 5},
      {"Site summary", 6},
  };
  QStringList expected;
  for (const char* title : c.titles) {
    expected << QStringLiteral("%1 - %2").arg(expected.size() + 1).arg(QString::fromLatin1(title));
  }
  ASSERT_EQ(Captions(Selected(w)), expected);
  EXPECT_EQ(Available(w)->topLevelItemCount(), 0);
  for (int i = 0; i < Selected(w)->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* node = Selected(w)->topLevelItem(i);
    EXPECT_EQ(NodeImageIndex(node), images.at(QString::fromLatin1(c.titles[static_cast<std::size_t>(i)])))
        << node->text(0).toStdString();
  }
  ASSERT_EQ(w->Sections().Sections().size(), c.titles.size());
  for (const auto& section : w->Sections().Sections()) {
    EXPECT_TRUE(section->IsSelected()) << section->Caption();
  }
}

INSTANTIATE_TEST_SUITE_P(Sites, PrintSiteWindowOffers, testing::ValuesIn(kOffers),
                         [](const testing::TestParamInfo<OfferCase>& c) { return std::string(c.param.name); });

TEST_F(PrintSiteWindowTest, OpensFromFileAndCloseClosesIt) {
  TFormZvoPrintSite* w = OpenPrint();
  EXPECT_EQ(w->SubWindow()->windowTitle(), QStringLiteral("Site database print"));
  EXPECT_EQ(w->HelpContext(), 30);
  EXPECT_FALSE(MenusEnabled());
  EXPECT_EQ(Control<QPushButton>(w, "BitBtnImprimantes")->text(), QStringLiteral("P&rinters..."));
  EXPECT_EQ(Control<QPushButton>(w, "BitBtnImprimer")->text(), QStringLiteral("&Print"));
  auto* close = Control<QPushButton>(w, "BitBtnSortir");
  EXPECT_EQ(close->text(), QStringLiteral("&Close"));
  EXPECT_TRUE(close->isDefault());
  EXPECT_EQ(Control<QLabel>(&w->Picker(), "LabelSrc")->text(), QStringLiteral("Available items"));
  EXPECT_EQ(Control<QLabel>(&w->Picker(), "LabelDst")->text(), QStringLiteral("Selected items"));
  EXPECT_EQ(w->Picker().parentWidget(), Control(w, "PanelDrag"));

  QPointer<TFormZvoPrintSite> alive = w;
  Click(w, "BitBtnSortir");
  EXPECT_TRUE(WaitNoChild());
  EXPECT_TRUE(alive.isNull());
  EXPECT_TRUE(MenusEnabled());
  EXPECT_TRUE(boxes_.Boxes().empty());
}

// The window's mnemonics win over the disabled main menus' ("&Configuration" for Alt+C).
TEST_F(PrintSiteWindowTest, AltKeysReachItsButtons) {
  TFormZvoPrintSite* w = OpenPrint();
  ASSERT_TRUE(w->isAncestorOf(QApplication::focusWidget()));
  AltKey('r');
  // A mnemonic clicks with a short delay.
  EXPECT_TRUE(QTest::qWaitFor([this] { return printDialogs_.size() == 1; }, testwait::kPatienceMs));
  AltKey('p');  // still no printer: the dialog again
  EXPECT_TRUE(QTest::qWaitFor([this] { return printDialogs_.size() == 2; }, testwait::kPatienceMs));
  AltKey('c');
  EXPECT_TRUE(WaitNoChild());
}

// Whatever the order the user put them back in, the sections print in their own order as
// one document whose page numbers run on.
TEST_F(PrintSiteWindowTest, PrintsTheSelectedSectionsInTheirFixedOrder) {
  Fill(true, true, true);
  Zone(1).SetZoneFlag(true);
  Root().LineSound()->mode = 1;
  const QString file = Pdf("report.pdf");
  SendPrintsTo(file);
  TFormZvoPrintSite* w = OpenPrint();

  Click(w, "BitBtnImprimer");
  EXPECT_EQ(Titles(file), (QStringList{"GENERAL PARAMETERS", "POINTS", "ZONES", "LINE OF SOUNDERS", "REPETITIONS",
                                       "SITE SUMMARY"}));
  EXPECT_EQ(PageNumbers(file), Numbered(6));
  EXPECT_TRUE(printDialogs_.empty());
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

  Click(&w->Picker(), "BBDelAll");
  ASSERT_EQ(Selected(w)->topLevelItemCount(), 0);
  for (const char* caption : {"6 - Site summary", "3 - Zones", "1 - General parameters"}) {
    Pick(Available(w), caption);
    Click(&w->Picker(), "BBAdd");
  }
  ASSERT_EQ(Captions(Selected(w)), (QStringList{"1 - General parameters", "3 - Zones", "6 - Site summary"}));
  ASSERT_TRUE(QFile::remove(file));
  Click(w, "BitBtnImprimer");
  EXPECT_EQ(Titles(file), (QStringList{"GENERAL PARAMETERS", "ZONES", "SITE SUMMARY"}));
  EXPECT_EQ(PageNumbers(file), Numbered(3));
}

// A section moved to "Available items", by its button or a double click, is left out.
TEST_F(PrintSiteWindowTest, SectionsMovedOutAreNotPrinted) {
  Fill(true, true, false);
  const QString file = Pdf("some.pdf");
  SendPrintsTo(file);
  TFormZvoPrintSite* w = OpenPrint();
  Pick(Selected(w), "2 - Points");
  Click(&w->Picker(), "BBDel");
  DoubleClick(Selected(w), "4 - Site summary");
  ASSERT_EQ(Captions(Available(w)), (QStringList{"2 - Points", "4 - Site summary"}));
  ASSERT_EQ(Captions(Selected(w)), (QStringList{"1 - General parameters", "3 - Zones"}));

  Click(w, "BitBtnImprimer");
  EXPECT_EQ(Titles(file), (QStringList{"GENERAL PARAMETERS", "ZONES"}));
  EXPECT_EQ(PageNumbers(file), Numbered(2));
}

// With nothing selected there is no print job: not even the printer dialog a first print
// without a printer shows.
TEST_F(PrintSiteWindowTest, NothingSelectedPrintsNothingAndAsksNothing) {
  printTo_ = Pdf("unwanted.pdf");
  TFormZvoPrintSite* w = OpenPrint();
  ASSERT_FALSE(w->Engine().HasDestination());
  Click(&w->Picker(), "BBDelAll");
  ASSERT_EQ(Available(w)->topLevelItemCount(), 2);

  Click(w, "BitBtnImprimer");
  EXPECT_TRUE(printDialogs_.empty());
  EXPECT_FALSE(QFile::exists(printTo_));
  EXPECT_FALSE(w->Engine().Printing());
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// The dialog may change the printer and still be cancelled: the engine follows the
// printer as the dialog left it, and so does the next window.
TEST_F(PrintSiteWindowTest, PrintersReReadsThePrinterEvenWhenCancelled) {
  TFormZvoPrintSite* w = OpenPrint();
  ASSERT_FALSE(w->Engine().HasDestination());
  const float dotsBefore = w->Engine().DotsPerMmX();
  const QString file = Pdf("chosen.pdf");
  int shown = 0;
  SetPrintDialogHook([&](QPrinter& printer) {
    ++shown;
    EXPECT_EQ(&printer, &GlobalPrinter());
    PrintToPdf(printer, file);  // 600 dpi
    return false;
  });

  Click(w, "BitBtnImprimantes");
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(w->Engine().HasDestination());
  EXPECT_EQ(w->Engine().Printer().outputFileName(), file);
  EXPECT_NE(w->Engine().DotsPerMmX(), dotsBefore);
  EXPECT_NEAR(w->Engine().DotsPerMmX(), 600 / 25.4, 0.01);

  // &Print now goes there without asking.
  Click(w, "BitBtnImprimer");
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(Titles(file), (QStringList{"GENERAL PARAMETERS", "SITE SUMMARY"}));

  Click(w, "BitBtnSortir");
  ASSERT_TRUE(WaitNoChild());
  w = OpenPrint();
  EXPECT_TRUE(w->Engine().HasDestination());
  EXPECT_EQ(w->Engine().Printer().outputFileName(), file);
}

// With no printer chosen and none installed, &Print shows the dialog first; cancelled,
// nothing prints. Once a printer is chosen it asks no more.
TEST_F(PrintSiteWindowTest, WithoutADestinationPrintAsksForAPrinterFirst) {
  TFormZvoPrintSite* w = OpenPrint();
  Click(w, "BitBtnImprimer");
  ASSERT_EQ(printDialogs_.size(), 1U);
  EXPECT_EQ(printDialogs_[0].outputFile, Pdf("Site.pdf"));  // proposed, and dropped when cancelled
  EXPECT_FALSE(w->Engine().HasDestination());
  EXPECT_FALSE(w->Engine().Printing());
  EXPECT_TRUE(QDir(QString::fromStdString(home_.Path())).entryList({QStringLiteral("*.pdf")}).isEmpty());
  EXPECT_TRUE(boxes_.Boxes().empty());

  printTo_ = Pdf("dialog.pdf");
  Click(w, "BitBtnImprimer");
  ASSERT_EQ(printDialogs_.size(), 2U);
  EXPECT_EQ(Titles(printTo_), (QStringList{"GENERAL PARAMETERS", "SITE SUMMARY"}));

  ASSERT_TRUE(QFile::remove(printTo_));
  Click(w, "BitBtnImprimer");
  EXPECT_EQ(printDialogs_.size(), 2U);
  EXPECT_EQ(PageNumbers(printTo_), Numbered(2));
}

// Printing changes nothing in the site, on disk or in memory, nor whether it needs saving:
// closing it afterwards asks to save only a site modified before.
class PrintSiteWindowLeavesTheSite : public PrintSiteWindowTest, public testing::WithParamInterface<bool> {};

TEST_P(PrintSiteWindowLeavesTheSite, AsItWasAndClosingAsksAsBefore) {
  const bool modified = GetParam();
  Fill(true, true, true);
  Root().LineSound()->mode = 2;
  const Bytes saved = SavedImage();
  const std::string path = DatabasePath(*CurrentDatabase());
  if (modified) {
    // An edit not saved yet: in the fields, not in the image.
    MakePoint(2, 19, 1, "Stairs");
    Root().SetModified(true);
  }
  const Bytes image(Image(), Image() + kSiteImageSize);
  const QString file = Pdf("site.pdf");
  SendPrintsTo(file);
  TFormZvoPrintSite* w = OpenPrint();

  for (int run = 0; run < 2; ++run) {
    Click(w, "BitBtnImprimer");
    ASSERT_EQ(Titles(file).size(), 6);
  }
  EXPECT_EQ(Root().Modified(), modified);
  EXPECT_EQ(Bytes(Image(), Image() + kSiteImageSize), image);
  EXPECT_EQ(FileBytes(path), saved);

  Click(w, "BitBtnSortir");
  ASSERT_TRUE(WaitNoChild());
  boxes_.Clear();
  boxes_.Answer(kResultYes);  // close it; a save question gets No
  Item("MenuItemFermer")->trigger();
  const QStringList texts = boxes_.Texts();
  ASSERT_EQ(texts.size(), modified ? 2 : 1) << texts.join(QLatin1Char('|')).toStdString();
  EXPECT_TRUE(texts[0].startsWith(Str(7)));
  if (modified) {
    EXPECT_TRUE(texts[1].startsWith(Str(8)));
  }
  EXPECT_FALSE(IsDatabaseLoaded());
  EXPECT_EQ(FileBytes(path), saved);
}

INSTANTIATE_TEST_SUITE_P(Flag, PrintSiteWindowLeavesTheSite, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& c) {
                           return std::string(c.param ? "Modified" : "Unmodified");
                         });

// An engine whose zones section fails once, after its page began.
class JammedZones : public TPrintSite {
 public:
  void PrintZones() override {
    if (jams_ > 0) {
      --jams_;
      NewPage(QStringLiteral("ZONES"));
      throw platform::Exception("Paper jam");
    }
    TPrintSite::PrintZones();
  }

 private:
  int jams_ = 1;
};

// The document a failure interrupted is dropped: the failure reaches the caller, and the
// next run is a new document from page 1.
TEST_F(PrintSiteWindowTest, ARunThatFailsMidwayIsDroppedAndTheNextStartsAtPageOne) {
  Fill(true, true, false);
  const QString file = Pdf("jam.pdf");
  SendPrintsTo(file);
  JammedZones engine;
  TTreeLstPrt sections;
  sections.Build(engine);
  ASSERT_EQ(sections.Sections().size(), 4U);

  try {
    PrintSections(sections, engine);
    ADD_FAILURE() << "the failure was swallowed";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.Message(), "Paper jam");
  }
  EXPECT_FALSE(engine.Printing());
  EXPECT_EQ(engine.PageCount(), 0);

  PrintSections(sections, engine);
  EXPECT_EQ(Titles(file), (QStringList{"GENERAL PARAMETERS", "POINTS", "ZONES", "SITE SUMMARY"}));
  EXPECT_EQ(PageNumbers(file), Numbered(4));
}

// A printer that cannot write: the main window tells it, the hourglass is gone, and once
// the printer can write again the same window prints.
TEST_F(PrintSiteWindowTest, APrinterFailureIsToldAndTheNextPrintWorks) {
  const QString folder = Pdf("later");
  const QString file = folder + QStringLiteral("/report.pdf");
  SendPrintsTo(file);
  TFormZvoPrintSite* w = OpenPrint();

  Click(w, "BitBtnImprimer");
  ASSERT_EQ(boxes_.Texts(), QStringList{QStringLiteral("Unable to print to the file\r\n") + QDir::toNativeSeparators(file)});
  EXPECT_EQ(boxes_.Boxes().front().kind, BoxKind::Message);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(w->Engine().Printing());
  EXPECT_TRUE(w->isVisible());

  ASSERT_TRUE(QDir().mkpath(folder));
  boxes_.Clear();
  Click(w, "BitBtnImprimer");
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_EQ(Titles(file), (QStringList{"GENERAL PARAMETERS", "SITE SUMMARY"}));
  EXPECT_EQ(PageNumbers(file), Numbered(2));
}

}  // namespace
