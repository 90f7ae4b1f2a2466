// The site report as it lands in a PDF file: read back word by word with the words'
// positions mapped onto the engine's own character grid.
#include <gtest/gtest.h>

#include <QDate>
#include <QLocale>
#include <QPageLayout>
#include <QRectF>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/GroupTable.h"
#include "model/Groupes.h"
#include "model/ParamsGen.h"
#include "model/Relais.h"
#include "model/Security.h"
#include "model/SigEvt.h"
#include "model/SiteImage.h"
#include "model/SiteSettings.h"
#include "platform/Clock.h"
#include "printing/ZvoPrintSite.h"
#include "support/PdfText.h"
#include "support/SiteFixture.h"

namespace {

const QString kArial = QStringLiteral("Arial");
constexpr int kNormalSize = 11;
constexpr int kSmallSize = 8;
constexpr platform::LocalDateTime kNow{2024, 2, 1, 13, 37, 52};
// A print some minutes after the save: a print that wrote the site would date it anew.
constexpr platform::LocalDateTime kLater{2024, 2, 1, 15, 5, 0};

using Bytes = std::vector<std::uint8_t>;

// An engine's character grid on the PDF page, in points from the page's top-left corner.
struct Grid {
  double left = 0;
  double top = 0;
  double w = 0;
  double h = 0;
  int rows = 0;
  int columns = 0;

  int Row(const pdf::Word& word) const { return static_cast<int>(std::lround((word.yMin - top) / h)) + 1; }
  // Where a left-aligned text starts.
  int Column(const pdf::Word& word) const { return static_cast<int>(std::lround((word.xMin - left) / w)) + 1; }
  // The column under the middle of a word: where a centred cell text sits.
  int MiddleColumn(const pdf::Word& word) const {
    return static_cast<int>(std::floor(((word.xMin + word.xMax) / 2 - left) / w)) + 1;
  }
};

double PointsPerDot(TPrintSite& engine) { return 72.0 / engine.Printer().resolution(); }

// The grid of the engine in the font size (this leaves the engine's font at that size).
Grid GridOf(TPrintSite& engine, int size) {
  engine.SetFont(kArial, size);
  const QRectF paint = engine.Printer().pageLayout().paintRect(QPageLayout::Point);
  const double p = PointsPerDot(engine);
  return {paint.left(), paint.top(), engine.CellWidth() * p, engine.CellHeight() * p, engine.Rows(), engine.Columns()};
}

std::vector<pdf::Word> WordsIn(const pdf::Page& page, const Grid& g, int firstRow, int lastRow, int firstColumn,
                               int lastColumn, bool centred = false) {
  std::vector<pdf::Word> found;
  for (const pdf::Word& w : page.words) {
    const int row = g.Row(w);
    const int column = centred ? g.MiddleColumn(w) : g.Column(w);
    if (row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn) found.push_back(w);
  }
  std::stable_sort(found.begin(), found.end(), [&g](const pdf::Word& a, const pdf::Word& b) {
    return g.Row(a) != g.Row(b) ? g.Row(a) < g.Row(b) : a.xMin < b.xMin;
  });
  return found;
}

QStringList Texts(const std::vector<pdf::Word>& words) {
  QStringList texts;
  for (const pdf::Word& w : words) texts << w.text;
  return texts;
}

using Cells = std::vector<std::string>;

// The words of one row whose middles lie between the columns, left to right, joined by
// blanks.
std::string RowText(const pdf::Page& page, const Grid& g, int row, int firstColumn = 1, int lastColumn = 1000) {
  return Texts(WordsIn(page, g, row, row, firstColumn, lastColumn, true)).join(QLatin1Char(' ')).toStdString();
}

// The texts of the cells of a table drawn with DrawCellRow (title at titleRow, ten cells
// of two columns a row).
Cells CellTexts(const pdf::Page& page, const Grid& g, int titleRow, int column, int rows) {
  Cells texts;
  for (const QString& t : Texts(WordsIn(page, g, titleRow + 1, titleRow + rows, column, column + 19, true))) {
    texts.push_back(t.toStdString());
  }
  return texts;
}

// The header's compartments: k and m as the header computes them from its columns.
int HeaderK(const Grid& g11) { return g11.columns * 8 / 20; }
int HeaderM(const Grid& g11) { return g11.columns - g11.columns / 3; }

std::string HeaderTitle(const pdf::Page& page, const Grid& g11) {
  return Texts(WordsIn(page, g11, 2, 7, HeaderK(g11) + 1, HeaderM(g11), true)).join(QLatin1Char(' ')).toStdString();
}

std::string Signature(const pdf::Page& page, const Grid& g11) {
  static const QRegularExpression re("^Datas sign : ([0-9a-f]{4})h$");
  const QRegularExpressionMatch m = re.match(QString::fromStdString(RowText(page, g11, 5, HeaderM(g11) + 1)));
  return m.hasMatch() ? m.captured(1).toStdString() : std::string();
}

std::string Hex4(unsigned value) { return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toStdString(); }

std::string Pad3(int n) { return QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0')).toStdString(); }

std::string PageText(std::size_t n) { return "Page " + std::to_string(n); }

}  // namespace

class SiteReportTest : public SiteFixture {
 protected:
  using SiteFixture::SiteFixture;

  void SetUp() override {
    SiteFixture::SetUp();
    platform::SetFixedNow(kNow);
    file_ = QString::fromStdString(home_.Sub("report.pdf"));
    ::setenv("KORVANEX_PRINT_TO_PDF", home_.Sub("report.pdf").c_str(), 1);
    TPrintSite engine;
    g11_ = GridOf(engine, kNormalSize);
    g8_ = GridOf(engine, kSmallSize);
  }
  void TearDown() override {
    ::unsetenv("KORVANEX_PRINT_TO_PDF");
    platform::SetFixedNow(std::nullopt);
    SiteFixture::TearDown();
  }

  // One run on the engine: the sections, then the end of the document; its pages.
  std::vector<pdf::Page> Run(TPrintSite& engine, const std::function<void(TPrintSite&)>& sections) {
    sections(engine);
    engine.EndDocument();
    return pdf::Pages(file_);
  }
  std::vector<pdf::Page> Print(const std::function<void(TPrintSite&)>& sections) {
    TPrintSite engine;
    return Run(engine, sections);
  }
  static void AllSections(TPrintSite& e) {
    e.PrintGeneral();
    e.PrintPoints();
    e.PrintZones();
    e.PrintSounderLine();
    e.PrintSecurity();
    e.PrintGroups();
    e.PrintSummary();
  }

  Bytes ImageBytes() { return Bytes(Image(), Image() + kSiteImageSize); }
  static Bytes FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::string SitePath() { return DatabasePath(*CurrentDatabase()); }
  // Saves the site and gives the file's stored CRC as the header shows it.
  std::string SaveAndReadCrc() {
    SaveDatabase(*CurrentDatabase());
    const Bytes bytes = FileBytes(SitePath());
    EXPECT_EQ(bytes.size(), kSiteImageSize);
    if (bytes.size() != kSiteImageSize) return {};
    return Hex4(static_cast<unsigned>(bytes[kSiteCrcOffset] | (bytes[kSiteCrcOffset + 1] << 8)));
  }

  // Whether the word was drawn bold: its width is nearer the bold one than the plain one.
  static bool LooksBold(const pdf::Word& word, int size = kNormalSize) {
    TPrintSite engine;
    engine.SetFont(kArial, size);
    const double p = PointsPerDot(engine);
    const double plain = engine.TextWidth(word.text) * p;
    engine.SetBold(true);
    const double bold = engine.TextWidth(word.text) * p;
    const double width = word.xMax - word.xMin;
    return std::abs(width - bold) < std::abs(width - plain);
  }

  void MakeGroup(int number, std::uint8_t triggerType, const std::string& label = {}) {
    TGroupe& g = *Root().Groups()->GetGroup(number - 1);
    g.SetTriggerType(triggerType);
    g.SetZoneEvent(1);
    g.SetZoneLogic(1);
    g.SetLabel(label);
  }
  // The first row (a) of each group block on the page, by its title "GROUP NUMBER n" on a + 1.
  std::vector<std::pair<int, int>> GroupBlocks(const pdf::Page& page) {
    std::vector<std::pair<int, int>> blocks;
    for (const pdf::Word& w : page.words) {
      if (w.text != QLatin1String("GROUP")) continue;
      const int row = g8_.Row(w);
      const QStringList title = QString::fromStdString(RowText(page, g8_, row, 3, 26)).split(QLatin1Char(' '));
      if (title.size() == 3 && title[1] == QLatin1String("NUMBER")) blocks.emplace_back(title[2].toInt(), row - 1);
    }
    return blocks;
  }
  int BlockRow(const pdf::Page& page, int group) {
    for (const auto& [number, a] : GroupBlocks(page)) {
      if (number == group) return a;
    }
    ADD_FAILURE() << "no block of group " << group;
    return -100;
  }

  QString file_;
  Grid g11_;
  Grid g8_;
};

// ---------------------------------------------------------------------------------------
// The header

TEST_F(SiteReportTest, HeaderRepeatsOnEveryPageWithTheSavedSignatureAndRunningPageNumbers) {
  for (int a = 1; a <= 60; ++a) MakePoint(a, 19, 1 + a % 5);
  for (int g = 1; g <= 5; ++g) MakeGroup(g, 1);
  Root().LineSound()->mode = 1;
  const std::string saved = SaveAndReadCrc();

  const std::vector<pdf::Page> pages = Print(AllSections);
  // One page each but two of points and two of groups.
  ASSERT_EQ(pages.size(), 9U);
  const Cells titles = {"GENERAL PARAMETERS", "POINTS",      "POINTS",      "ZONES",       "LINE OF SOUNDERS",
                        "SECURITY SETTINGS",  "REPETITIONS", "REPETITIONS", "SITE SUMMARY"};
  const int m = HeaderM(g11_);
  const std::string date =
      QLocale::system().toString(QDate(kNow.year, kNow.month, kNow.day), QLocale::ShortFormat).toStdString();
  TPrintSite engine;
  engine.SetFont(kArial, kNormalSize);
  const double blank = engine.TextWidth(" ") * PointsPerDot(engine);

  for (std::size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "page " << i + 1);
    const pdf::Page& page = pages[i];
    EXPECT_EQ(RowText(page, g11_, 3, 1, HeaderK(g11_) - 1), "File name : Site.srd");
    EXPECT_EQ(RowText(page, g11_, 4, 1, HeaderK(g11_) - 1), "Site name : SARDEL128");
    EXPECT_EQ(RowText(page, g11_, 5, 1, HeaderK(g11_) - 1), "Data index : A");
    EXPECT_TRUE(RowText(page, g11_, 3, m + 1).starts_with("Software Version "));
    EXPECT_EQ(RowText(page, g11_, 4, m + 1), "Printed " + date);
    EXPECT_EQ(Signature(page, g11_), saved);
    EXPECT_EQ(HeaderTitle(page, g11_), titles[i]);
    // The page number on the last whole row.
    EXPECT_EQ(RowText(page, g11_, g11_.rows), PageText(i + 1));

    // "Printed" is followed by two blanks, which the text extraction folds into one.
    const std::vector<pdf::Word> printed = WordsIn(page, g11_, 4, 4, m + 1, 1000);
    ASSERT_GE(printed.size(), 2U);
    const double gap = printed[1].xMin - printed[0].xMax;
    EXPECT_NEAR(gap, 2 * blank, blank / 2);
  }
}

TEST_F(SiteReportTest, HeaderNamesAnEmptyEditorUnknownWhileTheSiteInformationLeavesItEmpty) {
  struct Case {
    const char* editor;
    const char* header;
    const char* information;
  };
  const Case cases[] = {
      {"", "Editor name : unknown", "Editor name :"},
      {"Jane Doe", "Editor name : Jane Doe", "Editor name : Jane Doe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.editor);
    Root().ParamsGen()->EditorName()->SetText(c.editor);
    const std::vector<pdf::Page> pages = Print([](TPrintSite& e) { e.PrintGeneral(); });
    ASSERT_EQ(pages.size(), 1U);
    EXPECT_EQ(RowText(pages[0], g11_, 6, 1, HeaderK(g11_) - 1), c.header);
    EXPECT_EQ(RowText(pages[0], g11_, 45), c.information);
  }
}

// ---------------------------------------------------------------------------------------
// The signature and the site

TEST_F(SiteReportTest, PrintingAnUnmodifiedSiteLeavesItsImageFileAndFlagAsTheyWere) {
  MakePoint(1, 19, 3, "Hall").Groups()->Add(2);
  MakeGroup(2, 2, "Sirens");
  Root().SigEvt()->GetSigEvt(20)->Groups()->Add(2);
  Root().LineSound()->mode = 2;
  SaveDatabase(*CurrentDatabase());
  const Bytes saved = FileBytes(SitePath());
  ASSERT_EQ(saved.size(), kSiteImageSize);
  ASSERT_FALSE(Root().Modified());

  platform::SetFixedNow(kLater);
  Print(AllSections);

  EXPECT_EQ(ImageBytes(), saved);
  EXPECT_EQ(FileBytes(SitePath()), saved);
  EXPECT_FALSE(Root().Modified());
  // Nothing the site holds changed: saving again at the time of the first save writes the
  // same file.
  platform::SetFixedNow(kNow);
  SaveDatabase(*CurrentDatabase());
  EXPECT_EQ(FileBytes(SitePath()), saved);
}

TEST_F(SiteReportTest, AModifiedSiteSignsWithTheCrcItsNextSaveStoresAndStaysModified) {
  const std::string before = SaveAndReadCrc();
  Root().ParamsGen()->SiteName()->SetText("HARBOUR");
  MakePoint(7, 19, 2);
  Root().SetModified(true);
  const Bytes image = ImageBytes();

  platform::SetFixedNow(kLater);
  const std::vector<pdf::Page> pages = Print(AllSections);
  ASSERT_FALSE(pages.empty());

  EXPECT_EQ(ImageBytes(), image);
  EXPECT_TRUE(Root().Modified());
  const std::string after = SaveAndReadCrc();
  EXPECT_NE(after, before);
  for (const pdf::Page& page : pages) EXPECT_EQ(Signature(page, g11_), after);
}

TEST_F(SiteReportTest, OneRunKeepsTheSignatureOfItsFirstPageAndTheNextRunComputesItAgain) {
  const std::string first = SaveAndReadCrc();
  TPrintSite engine;

  const std::vector<pdf::Page> run1 = Run(engine, [this](TPrintSite& e) {
    e.PrintGeneral();
    Root().ParamsGen()->SiteName()->SetText("HARBOUR");
    Root().SetModified(true);
    e.PrintSummary();
  });
  ASSERT_EQ(run1.size(), 2U);
  EXPECT_EQ(Signature(run1[0], g11_), first);
  EXPECT_EQ(Signature(run1[1], g11_), first);
  // The rest of the header follows the site as it is now.
  EXPECT_EQ(RowText(run1[1], g11_, 4, 1, HeaderK(g11_) - 1), "Site name : HARBOUR");

  const std::vector<pdf::Page> run2 = Run(engine, [](TPrintSite& e) { e.PrintSummary(); });
  ASSERT_EQ(run2.size(), 1U);
  EXPECT_EQ(RowText(run2[0], g11_, g11_.rows), "Page 1");
  const std::string changed = SaveAndReadCrc();
  EXPECT_NE(changed, first);
  EXPECT_EQ(Signature(run2[0], g11_), changed);
}

// ---------------------------------------------------------------------------------------
// Points and the summary

TEST_F(SiteReportTest, ANewSitePrintsNoPointZoneOrGroupPages) {
  const std::vector<pdf::Page> pages = Print([](TPrintSite& e) {
    e.PrintGeneral();
    e.PrintPoints();
    e.PrintZones();
    e.PrintGroups();
    e.PrintSummary();
  });
  ASSERT_EQ(pages.size(), 2U);
  EXPECT_EQ(HeaderTitle(pages[0], g11_), "GENERAL PARAMETERS");
  EXPECT_EQ(HeaderTitle(pages[1], g11_), "SITE SUMMARY");
  EXPECT_EQ(RowText(pages[1], g11_, 10), "OPTIONAL CARD");
  EXPECT_EQ(RowText(pages[1], g11_, 12), "No Card");
}

TEST_F(SiteReportTest, SummaryCountsPointsZonesAndGroupsSingularUpToOne) {
  struct Case {
    int count;
    const char* points;
    const char* zones;
    const char* groups;
  };
  const Case cases[] = {
      {0, "0 DECLARED POINT", "0 DECLARED ZONE", "0 DECLARED GROUP"},
      {1, "1 DECLARED POINT", "1 DECLARED ZONE", "1 DECLARED GROUP"},
      {2, "2 DECLARED POINTS", "2 DECLARED ZONES", "2 DECLARED GROUPS"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    for (int i = 1; i <= c.count; ++i) {
      MakePoint(i, 19, i);
      MakeGroup(i, 1);
    }
    const std::vector<pdf::Page> pages = Print([](TPrintSite& e) { e.PrintSummary(); });
    ASSERT_EQ(pages.size(), 1U);
    const pdf::Page& page = pages[0];
    EXPECT_EQ(RowText(page, g11_, 15), c.points);
    // One type-summary line from row 17 when there are points; the boxes follow it.
    const int b = c.count > 0 ? 18 : 17;
    if (c.count > 0) {
      EXPECT_EQ(RowText(page, g11_, 17), Pad3(c.count) + " Interactive optical");
    }
    EXPECT_EQ(RowText(page, g11_, b + 2), c.zones);
    EXPECT_EQ(RowText(page, g11_, b + 6), c.groups);
  }
}

TEST_F(SiteReportTest, PointsAreListedOnePerRowUnderTheirHeadings) {
  MakePoint(7, 19, 3, "Hall");
  MakePoint(2, 12, 3, "Office").SetActiveOutput(true);
  MakePoint(100, 6, 5, "Stairs");

  const std::vector<pdf::Page> pages = Print([](TPrintSite& e) {
    e.PrintPoints();
    e.PrintSummary();
  });
  ASSERT_EQ(pages.size(), 2U);
  const pdf::Page& list = pages[0];
  EXPECT_EQ(HeaderTitle(list, g11_), "POINTS");
  EXPECT_EQ(RowText(list, g11_, 10), "Address Line/Loop Zone Identification Out. Act. Label");
  // In address order, without rows for the addresses between.
  EXPECT_EQ(RowText(list, g11_, 11), "002 0 3 Conventional module X Office");
  EXPECT_EQ(RowText(list, g11_, 12), "007 0 3 Interactive optical Hall");
  EXPECT_EQ(RowText(list, g11_, 13), "100 0 5 Manual Call Point Stairs");
  EXPECT_EQ(RowText(list, g11_, 14), "");
  // Each value in its heading's columns.
  for (const pdf::Word& x : list.Find("X")) {
    EXPECT_GE(g11_.MiddleColumn(x), 31);
    EXPECT_LE(g11_.MiddleColumn(x), 34);
  }
  ASSERT_EQ(list.Find("Office").size(), 1U);
  EXPECT_EQ(g11_.Column(list.Find("Office")[0]), 35);

  const pdf::Page& summary = pages[1];
  EXPECT_EQ(RowText(summary, g11_, 15), "3 DECLARED POINTS");
  // By type code: 6, 12, 19.
  EXPECT_EQ(RowText(summary, g11_, 17), "001 Manual Call Point");
  EXPECT_EQ(RowText(summary, g11_, 18), "001 Conventional module");
  EXPECT_EQ(RowText(summary, g11_, 19), "001 Interactive optical");
  EXPECT_EQ(RowText(summary, g11_, 22), "2 DECLARED ZONES");
}

TEST_F(SiteReportTest, PointPagesTakeRowsElevenToThreeAboveTheLastRow) {
  for (int a = 1; a <= TGstPoints::kPointCount; ++a) MakePoint(a, 19, 1);
  const int rows = g11_.rows;
  const int perPage = rows - 3 - 10;
  ASSERT_GT(perPage, 4);
  const std::vector<pdf::Page> pages = Print([](TPrintSite& e) { e.PrintPoints(); });
  ASSERT_EQ(static_cast<int>(pages.size()), (TGstPoints::kPointCount + perPage - 1) / perPage);

  static const QRegularExpression address("^\\d{3}$");
  int expected = 1;
  for (std::size_t p = 0; p < pages.size(); ++p) {
    SCOPED_TRACE(testing::Message() << "page " << p + 1);
    const pdf::Page& page = pages[p];
    EXPECT_EQ(RowText(page, g11_, 10, 1, 5), "Address");
    std::vector<std::pair<int, int>> printed;  // address, row
    for (const pdf::Word& w : WordsIn(page, g11_, 1, rows, 1, 5, true)) {
      if (address.match(w.text).hasMatch()) printed.emplace_back(w.text.toInt(), g11_.Row(w));
    }
    ASSERT_FALSE(printed.empty());
    EXPECT_EQ(printed.front(), std::make_pair(expected, 11));
    if (printed.size() >= 4) {
      EXPECT_EQ(printed[3].second, 14);
    }
    for (std::size_t i = 0; i < printed.size(); ++i) {
      EXPECT_EQ(printed[i].first, expected + static_cast<int>(i));
      EXPECT_EQ(printed[i].second, 11 + static_cast<int>(i));
    }
    EXPECT_LE(printed.back().second, rows - 3);
    // A page is left only when its next row would be R - 2.
    if (p + 1 < pages.size()) {
      EXPECT_EQ(printed.back().second, rows - 3);
    }
    expected += static_cast<int>(printed.size());
  }
  EXPECT_EQ(expected, TGstPoints::kPointCount + 1);
}

// ---------------------------------------------------------------------------------------
// Repetitions

TEST_F(SiteReportTest, GroupBlocksAreTwentyRowsApartAndANewPageStartsBelowRowRMinus18) {
  // The page's height set so that the fourth block of a page starts exactly on R - 18,
  // or one row below it.
  struct Case {
    int extraRows;
    std::size_t perPage;
  };
  const Case cases[] = {{0, 4}, {-1, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extraRows);
    for (int g = 1; g <= 7; ++g) MakeGroup(g, 1);
    TPrintSite engine;
    engine.SetFont(kArial, kNormalSize);
    const int h11 = engine.CellHeight();
    engine.SetFont(kArial, kSmallSize);
    const int h8 = engine.CellHeight();
    const int first = (8 * h11) / h8;
    const int rows = first + 3 * 20 + 18 + c.extraRows;
    const double dotsPerMm = engine.Printer().resolution() / 25.4;
    const double top = engine.Printer().pageLayout().margins(QPageLayout::Millimeter).top();
    const double height = (rows + 0.5) * h8 / dotsPerMm;
    engine.Printer().setPageMargins(QMarginsF(5, top, 5, 297 - top - height), QPageLayout::Millimeter);
    const Grid g8 = GridOf(engine, kSmallSize);
    ASSERT_EQ(g8.rows, rows);

    const std::vector<pdf::Page> pages = Run(engine, [](TPrintSite& e) { e.PrintGroups(); });
    ASSERT_EQ(pages.size(), (7 + c.perPage - 1) / c.perPage);
    int next = 1;
    for (std::size_t p = 0; p < pages.size(); ++p) {
      SCOPED_TRACE(testing::Message() << "page " << p + 1);
      EXPECT_EQ(HeaderTitle(pages[p], g11_), "REPETITIONS");
      const auto blocks = GroupBlocks(pages[p]);
      ASSERT_EQ(blocks.size(), std::min<std::size_t>(c.perPage, 8 - static_cast<std::size_t>(next)));
      for (std::size_t j = 0; j < blocks.size(); ++j) {
        EXPECT_EQ(blocks[j].first, next++);
        EXPECT_EQ(blocks[j].second, first + 20 * static_cast<int>(j));
        EXPECT_LE(blocks[j].second, rows - 18);
      }
    }
  }
}

TEST_F(SiteReportTest, AZoneTriggeredGroupShowsItsZonesPointsAndTexts) {
  MakeGroup(1, 1, "Stairwell");
  Root().Groups()->GetGroup(0)->SetDelay("30");
  for (int zone : {3, 12, 5}) MakePoint(40 + zone, 19, zone);
  Zone(3).Groups()->Add(1);
  Zone(12).Groups()->Add(1);
  Zone(20).Groups()->Add(1);  // no point: not in use
  Point(5).Groups()->Add(1);  // not in use
  MakePoint(17, 19, 5).Groups()->Add(1);
  MakePoint(6, 19, 5);
  MakePoint(100, 19, 5).Groups()->Add(1);

  const std::vector<pdf::Page> pages = Print([](TPrintSite& e) { e.PrintGroups(); });
  ASSERT_EQ(pages.size(), 1U);
  const pdf::Page& page = pages[0];
  const int a = BlockRow(page, 1);
  TGroupe& group = *Root().Groups()->GetGroup(0);
  EXPECT_EQ(RowText(page, g8_, a + 2, 27, 50), "Label : Stairwell");
  EXPECT_EQ(RowText(page, g8_, a + 3, 27, 50), "Activation delay : " + group.Delay() + " sec");
  EXPECT_EQ(RowText(page, g8_, a + 3, 3, 26), "Trigger type : " + group.TriggerTypeText());
  EXPECT_EQ(RowText(page, g8_, a + 2, 51), "Event : " + group.ZoneEventText());
  EXPECT_EQ(RowText(page, g8_, a + 3, 51), "Logic : " + group.ZoneLogicText());

  EXPECT_EQ(RowText(page, g8_, a + 5, 3, 22), "TRIGGERING ZONES");
  EXPECT_EQ(CellTexts(page, g8_, a + 5, 3, 10), (Cells{"3", "12"}));
  EXPECT_EQ(RowText(page, g8_, a + 5, 51), "ACTIVATED POINTS");
  EXPECT_EQ(CellTexts(page, g8_, a + 5, 51, 13), (Cells{"17", "100"}));
}

TEST_F(SiteReportTest, ASignalTriggeredGroupShowsItsSignalOrEvent) {
  struct Case {
    int group;
    int sigEvt;
    const char* kind;
    const char* label;
    const char* pulse;
  };
  const Case cases[] = {
      {1, 0, "TRIGGERING SIGNAL", "Fire Alarm LED", ""},
      {2, 20, "TRIGGERING EVENT", "Panel reset", "Reset pulse extension : 25 sec"},
      {3, 16, "TRIGGERING EVENT", "Buzzer on for alarm", ""},
      {4, -1, "", "", ""},
  };
  Root().PulseExtension()->SetText("25");
  for (const Case& c : cases) {
    MakeGroup(c.group, 2);
    if (c.sigEvt >= 0) Root().SigEvt()->GetSigEvt(c.sigEvt)->Groups()->Add(c.group);
  }
  const std::vector<pdf::Page> pages = Print([](TPrintSite& e) { e.PrintGroups(); });
  ASSERT_EQ(pages.size(), 1U);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.group);
    const int a = BlockRow(pages[0], c.group);
    EXPECT_EQ(RowText(pages[0], g8_, a + 5, 3, 22), c.kind);
    EXPECT_EQ(RowText(pages[0], g8_, a + 6, 3, 22), c.label);
    EXPECT_EQ(RowText(pages[0], g8_, a + 2, 51), c.pulse);
  }
}

TEST_F(SiteReportTest, CardRelaysAreTitledByTheCardType) {
  struct Case {
    int card;
    const char* title;
  };
  const Case cases[] = {{0, ""}, {1, "ACTIVATED Brenn RELAYS"}, {2, "ACTIVATED Orla RELAYS"}};
  MakeGroup(1, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.card);
    TGstRelais& relays = *Root().Relais();
    relays.SetCardType(c.card);
    if (relays.CardCount() > 0) relays.CardRelay(1)->Groups()->Add(1);
    relays.OnBoardRelay(0)->Groups()->Add(1);
    const std::vector<pdf::Page> pages = Print([](TPrintSite& e) { e.PrintGroups(); });
    ASSERT_EQ(pages.size(), 1U);
    const int a = BlockRow(pages[0], 1);
    EXPECT_EQ(RowText(pages[0], g8_, a + 5, 27, 50), "ACTIVATED ON BOARD RELAYS");
    EXPECT_EQ(CellTexts(pages[0], g8_, a + 5, 27, 1), Cells{std::to_string(relays.OnBoardRelay(0)->Number())});
    EXPECT_EQ(RowText(pages[0], g8_, a + 9, 27, 50), c.title);
    if (relays.CardCount() > 0) {
      EXPECT_EQ(CellTexts(pages[0], g8_, a + 9, 27, 2), Cells{std::to_string(relays.CardRelay(1)->Number())});
    }
  }
}

class SiteReportPanelTest : public SiteReportTest, public testing::WithParamInterface<int> {
 protected:
  SiteReportPanelTest() : SiteReportTest(static_cast<std::uint8_t>(GetParam())) {}
};

TEST_P(SiteReportPanelTest, BreakFunctionRelaysPrintOnThePanelTypesWithSecurity) {
  const bool security = GetParam() == 3 || GetParam() == 5 || GetParam() == 9;
  // The break-function table comes after the on-board relays and the card's, which take
  // five rows with the twelve relays of card 1, four otherwise.
  struct Case {
    int card;
    int row;
  };
  const Case cases[] = {{0, 9}, {1, 14}, {2, 13}};
  MakeGroup(1, 1);
  Root().Security()->Breaking(2)->Groups()->Add(1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.card);
    Root().Relais()->SetCardType(c.card);
    const std::vector<pdf::Page> pages = Print([](TPrintSite& e) { e.PrintGroups(); });
    ASSERT_EQ(pages.size(), 1U);
    const int a = BlockRow(pages[0], 1);
    EXPECT_EQ(RowText(pages[0], g8_, a + c.row, 27, 50), security ? "ACTIVATED BREAK FUNCTION RELAYS" : "");
    EXPECT_EQ(CellTexts(pages[0], g8_, a + c.row, 27, 1), security ? Cells{"2"} : Cells{});
    EXPECT_EQ(pages[0].Find("BREAK").size(), security ? 1U : 0U);
  }
}

INSTANTIATE_TEST_SUITE_P(PanelTypes, SiteReportPanelTest, testing::Values(3, 5, 9, 2, 7, 8));

// ---------------------------------------------------------------------------------------
// The line of sounders and the security functions

TEST_F(SiteReportTest, SounderSectionFollowsTheSounderLineMode) {
  struct Case {
    std::uint8_t mode;
    const char* title;
    const char* caption;
    const char* row10;
    const char* row12;
  };
  const Case cases[] = {
      {0, "", "", "", ""},
      {1, "LINE OF SOUNDERS", "Line of sounders", "Fonctionnal mode : Direct Evacuation", "Delay : 02'30\""},
      {2, "LINE OF SOUNDERS", "Line of sounders", "Fonctionnal mode : Mode Hotel Evacuation",
       "Delay 1 : 05'00\" Delay 2 : 01'15\""},
      {3, "ALERT / EVAC FUNCTION", "Alert/evac function", "", "Delay 1 : 05'00\" Delay 2 : 01'15\""},
      {4, "ALERT OUTPUT", "Alert output", "", "Delay : 02'30\""},
  };
  TLineSound& line = *Root().LineSound();
  line.delay = {2, 30};
  line.hotelDelay1 = {5, 0};
  line.hotelDelay2 = {1, 15};
  for (int zone : {3, 5, 7}) MakePoint(zone, 19, zone);
  Zone(3).SetZoneFlag(true);
  Zone(7).SetZoneFlag(true);
  Zone(9).SetZoneFlag(true);  // no point: not in use

  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    line.mode = c.mode;
    TPrintSite engine;
    EXPECT_EQ(engine.SounderSectionTitle(), c.title);
    EXPECT_EQ(engine.SounderSectionCaption(), c.caption);
    const std::vector<pdf::Page> pages = Run(engine, [](TPrintSite& e) { e.PrintSounderLine(); });
    ASSERT_EQ(pages.size(), 1U);
    const pdf::Page& page = pages[0];
    EXPECT_EQ(HeaderTitle(page, g11_), c.title);
    EXPECT_EQ(RowText(page, g11_, 10), c.row10);
    EXPECT_EQ(RowText(page, g11_, 12), c.row12);
    if (c.mode == 0) {
      // The header alone.
      EXPECT_TRUE(WordsIn(page, g11_, 8, g11_.rows - 1, 1, 1000).empty());
    } else {
      EXPECT_EQ(RowText(page, g11_, 15), "TRIGGERING ZONES");
      EXPECT_EQ(CellTexts(page, g11_, 15, 2, 10), (Cells{"3", "7"}));
    }
  }
}

TEST_F(SiteReportTest, DurationsAreMinutesApostropheSecondsQuote) {
  EXPECT_EQ(TPrintSite::DurationText({0, 4}), "00'04\"");
  EXPECT_EQ(TPrintSite::DurationText({12, 59}), "12'59\"");
}

class SiteReportSecurityTest : public SiteReportTest {
 protected:
  SiteReportSecurityTest() : SiteReportTest(3) {}
};

TEST_F(SiteReportSecurityTest, DisabledFunctionsSayDisabledInPlainText) {
  const std::vector<pdf::Page> pages = Print([](TPrintSite& e) { e.PrintSecurity(); });
  ASSERT_EQ(pages.size(), 1U);
  const pdf::Page& page = pages[0];
  EXPECT_EQ(HeaderTitle(page, g11_), "SECURITY SETTINGS");
  const char* titles[] = {"AMU", "BREAKING FUNCTION 1", "BREAKING FUNCTION 2"};
  for (int b = 0; b < 3; ++b) {
    SCOPED_TRACE(b);
    EXPECT_EQ(RowText(page, g8_, 15 + 25 * b), titles[b]);
    EXPECT_EQ(RowText(page, g8_, 17 + 25 * b), "Disabled");
  }
  for (const pdf::Word& w : page.Find("Disabled")) EXPECT_FALSE(LooksBold(w, kSmallSize));
}

TEST_F(SiteReportSecurityTest, EnabledFunctionsShowTheirDelaysAndTriggeringPoints) {
  MakePoint(4, 2, 1).SetEvacuation(1, true);
  TPoints& both = MakePoint(9, 2, 1);
  both.SetEvacuation(1, true);
  both.SetEvacuation(2, true);
  MakePoint(12, 2, 1).SetEvacuation(2, true);
  MakePoint(13, 2, 1).SetEvacuation(3, true);
  Point(20).SetEvacuation(1, true);  // not in use
  TSecurity& security = *Root().Security();
  security.Evacuation()->SetTime({1, 30});
  security.Evacuation()->SetDuration({10, 0});
  security.Breaking(1)->SetEnabled(true);
  security.Breaking(1)->SetTime({0, 45});

  const std::vector<pdf::Page> pages = Print([](TPrintSite& e) { e.PrintSecurity(); });
  ASSERT_EQ(pages.size(), 1U);
  const pdf::Page& page = pages[0];
  EXPECT_EQ(RowText(page, g8_, 17, 1, 31), "Delay : 01'30\" Duration : 10'00\"");
  EXPECT_EQ(RowText(page, g8_, 17, 32), "TRIGGERING POINTS");
  EXPECT_EQ(CellTexts(page, g8_, 17, 32, 13), (Cells{"4", "9"}));
  EXPECT_EQ(RowText(page, g8_, 42, 1, 31), "Delay : 00'45\"");
  EXPECT_EQ(CellTexts(page, g8_, 42, 32, 13), (Cells{"9", "12"}));
  // Breaking function 2 is off although a point selects it.
  EXPECT_EQ(RowText(page, g8_, 67), "Disabled");
}

// ---------------------------------------------------------------------------------------
// General parameters

TEST_F(SiteReportTest, AnUnusedCarryInputPrintsOnlyNotUsedInBold) {
  TCarInpDDS& used = *Root().CarryInput2();
  used.function = 2;
  used.normallyActive = true;
  used.SetLabel("Door");
  const std::vector<pdf::Page> pages = Print([](TPrintSite& e) { e.PrintGeneral(); });
  ASSERT_EQ(pages.size(), 1U);
  const pdf::Page& page = pages[0];
  const int half = g11_.columns / 2;

  EXPECT_EQ(RowText(page, g11_, 17), "CARRY INPUT 1");
  EXPECT_EQ(RowText(page, g11_, 19), "Not used");
  EXPECT_EQ(RowText(page, g11_, 20), "");
  for (const pdf::Word& w : WordsIn(page, g11_, 19, 19, 1, 1000)) EXPECT_TRUE(LooksBold(w)) << w.text.toStdString();

  EXPECT_EQ(RowText(page, g11_, 23), "CARRY INPUT 2");
  EXPECT_EQ(RowText(page, g11_, 25, 1, half - 1), "Type : Panel reset");
  EXPECT_EQ(RowText(page, g11_, 25, half), "Contact : Normally Active");
  EXPECT_EQ(RowText(page, g11_, 26), "Label : Door");
  const std::vector<pdf::Word> type = WordsIn(page, g11_, 25, 25, 1, half - 1);
  ASSERT_EQ(type.size(), 4U);
  EXPECT_FALSE(LooksBold(type[0]));
  EXPECT_TRUE(LooksBold(type[2]));
}

TEST_F(SiteReportTest, DayNightPrintsDisabledInBoldOrItsTwoTimes) {
  struct Case {
    bool enabled;
    const char* left;
    const char* right;
    bool bold;
  };
  const Case cases[] = {{false, "Disabled", "", true}, {true, "Startup time : 06:30", "End time : 22:15", false}};
  TDayNightF& dayNight = *Root().DayNight();
  dayNight.start = {6, 30};
  dayNight.end = {22, 15};
  const int half = g11_.columns / 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.enabled);
    dayNight.enabled = c.enabled;
    const std::vector<pdf::Page> pages = Print([](TPrintSite& e) { e.PrintGeneral(); });
    ASSERT_EQ(pages.size(), 1U);
    EXPECT_EQ(RowText(pages[0], g11_, 31, 1, half - 1), c.left);
    EXPECT_EQ(RowText(pages[0], g11_, 31, half), c.right);
    const std::vector<pdf::Word> first = WordsIn(pages[0], g11_, 31, 31, 1, 2);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(LooksBold(first[0]), c.bold);
  }
}

TEST_F(SiteReportTest, CombinedRepeatsTheMulticriteriaThreshold) {
  TAlarmThresholds& t = *Root().Thresholds();
  t.optical = 5;
  t.multicriteria = 1;
  const std::vector<pdf::Page> pages = Print([](TPrintSite& e) { e.PrintGeneral(); });
  ASSERT_EQ(pages.size(), 1U);
  EXPECT_EQ(RowText(pages[0], g11_, 35), "Optical : -- (5)");
  EXPECT_EQ(RowText(pages[0], g11_, 38), "Multicriteria : ++ (1)");
  EXPECT_EQ(RowText(pages[0], g11_, 39), "Combined : ++ (1)");
}

TEST_F(SiteReportTest, LongRemarksGoOnUnderTheSameTitleWithNoLineLost) {
  // Rows 50 to R - 3 take the first lines.
  const int fit = g11_.rows - 3 - 50 + 1;
  struct Case {
    int lines;
    bool blankSecond;
    std::size_t pages;
  };
  const Case cases[] = {{fit, false, 1}, {fit + 1, false, 2}, {31, true, 2}};
  ASSERT_LT(fit + 1, 31);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    Cells named;
    std::string text;
    for (int i = 1; i <= c.lines; ++i) {
      named.push_back(QStringLiteral("R%1").arg(i, 2, 10, QLatin1Char('0')).toStdString());
      text += (i > 1 ? "\r\n" : "") + named.back();
      if (i == 1 && c.blankSecond) text += "\r\n";
    }
    Root().ParamsGen()->Remarks()->SetText(text);
    ASSERT_EQ(Root().ParamsGen()->Remarks()->Text(), text) << "the field cuts the remarks";

    const std::vector<pdf::Page> pages = Print([](TPrintSite& e) {
      e.PrintGeneral();
      e.PrintSummary();
    });
    ASSERT_EQ(pages.size(), c.pages + 1);
    static const QRegularExpression remark("^R\\d\\d$");
    Cells printed;
    for (std::size_t p = 0; p < c.pages; ++p) {
      SCOPED_TRACE(testing::Message() << "page " << p + 1);
      const pdf::Page& page = pages[p];
      EXPECT_EQ(HeaderTitle(page, g11_), "GENERAL PARAMETERS");
      EXPECT_EQ(RowText(page, g11_, g11_.rows), PageText(p + 1));
      std::vector<int> rows;
      for (const pdf::Word& w : WordsIn(page, g11_, 1, 1000, 1, 1000)) {
        if (!remark.match(w.text).hasMatch()) continue;
        printed.push_back(w.text.toStdString());
        rows.push_back(g11_.Row(w));
      }
      ASSERT_FALSE(rows.empty());
      EXPECT_EQ(rows.front(), p == 0 ? 50 : 10);
      EXPECT_LE(rows.back(), g11_.rows - 3);
      for (std::size_t i = 1; i < rows.size(); ++i) {
        // The blank second line keeps its row.
        const int step = p == 0 && i == 1 && c.blankSecond ? 2 : 1;
        EXPECT_EQ(rows[i] - rows[i - 1], step) << "after row " << rows[i - 1];
      }
    }
    EXPECT_EQ(printed, named);
    EXPECT_EQ(HeaderTitle(pages[c.pages], g11_), "SITE SUMMARY");
  }
}

