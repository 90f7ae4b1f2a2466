// The printer base printing to a PDF file: the A4 geometry, the life of a document, and
// where the grid operations put their texts, read back from the file.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QString>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "printing/ZvoPrint.h"
#include "support/PdfText.h"
#include "support/TempHome.h"

namespace {

constexpr const char* kEnvironment = "KORVANEX_PRINT_TO_PDF";
constexpr float kDpm300 = 300 * 0.0393700787F;
constexpr float kDpm600 = 600 * 0.0393700787F;
// The PDF route's printable area begins 5 mm from the sheet's top-left corner.
constexpr double kMarginPt = 5 * 72 / 25.4;
constexpr double kPointsPerDot = 72.0 / 600;
// Font bearings and the PDF's rounding of the margin; far less than a grid cell.
constexpr double kTolerancePt = 1.0;

struct OffsetCase {
  const char* what;
  float dotsPerMmX;
  float dotsPerMmY;
  int width;
  int height;
  int horizontal;
  int vertical;
};

TEST(A4OffsetsTest, CentreThePrintableAreaOnTheSheetHalfAMillimetreOutwardAcrossInwardDown) {
  const OffsetCase cases[] = {
      {"exactly A4 at 10 dots/mm", 10, 10, 2100, 2970, 5, -5},
      {"exactly A4 at 300 dpi", kDpm300, kDpm300, 2480, 3508, 5, -5},
      {"exactly A4 at 600 dpi", kDpm600, kDpm600, 4961, 7016, 11, -11},
      {"200 x 287 mm centred", 10, 10, 2000, 2870, 55, 45},
      {"odd differences", 10, 10, 2001, 2871, 54, 44},
      // (4960.63 - 4724) / 2 = 118, + 11.81 = 129; (7015.75 - 6783) / 2 = 116, - 11.81 = 104
      {"200 x 287 mm at 600 dpi", kDpm600, kDpm600, 4724, 6783, 129, 104},
      {"wider and taller than A4, toward zero", 10, 10, 2111, 2981, 0, -10},
      {"each direction its own resolution", 10, 20, 2000, 5740, 55, 90},
  };
  for (const OffsetCase& c : cases) {
    SCOPED_TRACE(c.what);
    int horizontal = -999;
    int vertical = -999;
    TZvoPrint::A4Offsets(c.dotsPerMmX, c.dotsPerMmY, c.width, c.height, horizontal, vertical);
    EXPECT_EQ(horizontal, c.horizontal);
    EXPECT_EQ(vertical, c.vertical);
  }
}

class ZvoPrintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseFile(File("out.pdf"));
    engine_ = std::make_unique<TZvoPrint>();
    engine_->SetFont(QStringLiteral("Arial"), 11);
  }
  void TearDown() override {
    engine_.reset();
    ::unsetenv(kEnvironment);
  }

  QString File(const char* name) const { return QString::fromStdString(home_.Sub(name)); }
  // The engine reads the file when it re-reads its geometry.
  void UseFile(const QString& file) {
    file_ = file;
    ::setenv(kEnvironment, file.toLocal8Bit().constData(), 1);
  }
  std::vector<pdf::Page> Printed() const { return pdf::Pages(file_); }

  // A position of the printable area in dots, in points from the sheet's corner.
  static double Pt(int dots) { return kMarginPt + dots * kPointsPerDot; }
  int W() const { return engine_->CellWidth(); }
  int H() const { return engine_->CellHeight(); }
  // The one word of the page that is the text.
  static pdf::Word Only(const pdf::Page& page, const QString& text) {
    const std::vector<pdf::Word> found = page.Find(text);
    EXPECT_EQ(found.size(), 1U) << text.toStdString() << " in: " << page.Joined().toStdString();
    return found.empty() ? pdf::Word{} : found.front();
  }
  static double Centre(const pdf::Word& w) { return (w.xMin + w.xMax) / 2; }

  TempHome home_;
  QString file_;
  std::unique_ptr<TZvoPrint> engine_;
};

TEST_F(ZvoPrintTest, ThePdfRouteIsA4PortraitAt600DpiWithFiveMillimetreMargins) {
  EXPECT_FLOAT_EQ(engine_->DotsPerMmX(), kDpm600);
  EXPECT_FLOAT_EQ(engine_->DotsPerMmY(), kDpm600);
  EXPECT_EQ(engine_->PhysicalWidth(), 200);
  EXPECT_EQ(engine_->PhysicalHeight(), 287);
  EXPECT_NEAR(engine_->Printer().width(), 4724, 2);
  EXPECT_NEAR(engine_->Printer().height(), 6780, 4);
  EXPECT_EQ(engine_->ClipRight(), engine_->Printer().width());
  EXPECT_EQ(engine_->ClipBottom(), engine_->Printer().height());
  // About 5 mm and a half across, 4 mm and a half down: rounded up.
  EXPECT_NEAR(engine_->HorizontalOffset(), 129, 2);
  EXPECT_NEAR(engine_->VerticalOffset(), 105, 3);
  EXPECT_EQ(engine_->HorizontalOffsetMm(), 6);
  EXPECT_EQ(engine_->VerticalOffsetMm(), 5);
  EXPECT_TRUE(engine_->HasDestination());
}

TEST_F(ZvoPrintTest, TheFirstPageOpensTheDocumentAndEndDocumentWritesIt) {
  EXPECT_FALSE(engine_->Printing());
  EXPECT_EQ(engine_->PageCount(), 0);
  EXPECT_TRUE(engine_->Title().isEmpty());

  engine_->NewPage(QStringLiteral("Points"));
  EXPECT_TRUE(engine_->Printing());
  EXPECT_EQ(engine_->PageCount(), 1);
  EXPECT_EQ(engine_->Title(), QStringLiteral("Points"));
  engine_->DrawTextAt(1, 1, false, QStringLiteral("first"));
  EXPECT_THROW(engine_->UpdatePrinterGeometry(), std::logic_error);

  engine_->NewPage(QString());
  EXPECT_EQ(engine_->PageCount(), 2);
  EXPECT_EQ(engine_->Title(), QStringLiteral("Points"));
  engine_->DrawTextAt(1, 1, false, QStringLiteral("second"));
  engine_->NewPage(QStringLiteral("Zones"));
  engine_->NewPage(QString());
  EXPECT_EQ(engine_->PageCount(), 4);
  EXPECT_EQ(engine_->Title(), QStringLiteral("Zones"));

  engine_->EndDocument();
  EXPECT_FALSE(engine_->Printing());
  EXPECT_EQ(engine_->PageCount(), 0);
  EXPECT_TRUE(engine_->Title().isEmpty());
  const std::vector<pdf::Page> pages = Printed();
  ASSERT_EQ(pages.size(), 4U);
  EXPECT_EQ(pages[0].Joined(), QStringLiteral("first"));
  EXPECT_EQ(pages[1].Joined(), QStringLiteral("second"));
  EXPECT_DOUBLE_EQ(pages[0].width, 595);
  EXPECT_DOUBLE_EQ(pages[0].height, 842);
}

TEST_F(ZvoPrintTest, EndDocumentWithoutDocumentOnlyResets) {
  EXPECT_NO_THROW(engine_->EndDocument());
  EXPECT_FALSE(QFileInfo::exists(file_));

  engine_->NewPage(QStringLiteral("Summary"));
  engine_->EndDocument();
  const qint64 size = QFileInfo(file_).size();
  EXPECT_NO_THROW(engine_->EndDocument());
  EXPECT_EQ(engine_->PageCount(), 0);
  EXPECT_TRUE(engine_->Title().isEmpty());
  EXPECT_EQ(QFileInfo(file_).size(), size);
  EXPECT_EQ(Printed().size(), 1U);
}

TEST_F(ZvoPrintTest, AfterAbortTheNextPrintIsANewDocument) {
  engine_->NewPage(QStringLiteral("Old"));
  engine_->DrawTextAt(1, 1, false, QStringLiteral("dropped"));
  engine_->NewPage(QString());
  engine_->AbortDocument();
  EXPECT_FALSE(engine_->Printing());
  EXPECT_EQ(engine_->PageCount(), 0);
  EXPECT_TRUE(engine_->Title().isEmpty());
  // No half document is left where a whole one is expected.
  EXPECT_FALSE(QFileInfo::exists(engine_->Printer().outputFileName()));

  engine_->NewPage(QStringLiteral("New"));
  EXPECT_TRUE(engine_->Printing());
  EXPECT_EQ(engine_->PageCount(), 1);
  engine_->DrawTextAt(1, 1, false, QStringLiteral("kept"));
  engine_->EndDocument();
  const std::vector<pdf::Page> pages = Printed();
  ASSERT_EQ(pages.size(), 1U);
  EXPECT_EQ(pages[0].Joined(), QStringLiteral("kept"));
}

TEST_F(ZvoPrintTest, AnUnwritableFileRaisesFromTheFirstPageAndTheNextPrintWorks) {
  const QString unwritable = File("no-such-folder/out.pdf");
  UseFile(unwritable);
  engine_->UpdatePrinterGeometry();
  try {
    engine_->NewPage(QStringLiteral("Report"));
    ADD_FAILURE() << "no exception";
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.Message(), "Unable to print to the file\r\n" + unwritable.toStdString());
  }
  EXPECT_FALSE(engine_->Printing());
  EXPECT_EQ(engine_->PageCount(), 0);
  EXPECT_FALSE(QFileInfo::exists(unwritable));

  UseFile(File("good.pdf"));
  engine_->UpdatePrinterGeometry();
  engine_->NewPage(QStringLiteral("Report"));
  EXPECT_EQ(engine_->PageCount(), 1);
  engine_->DrawTextAt(1, 1, false, QStringLiteral("recovered"));
  engine_->EndDocument();
  const std::vector<pdf::Page> pages = Printed();
  ASSERT_EQ(pages.size(), 1U);
  EXPECT_EQ(pages[0].Joined(), QStringLiteral("recovered"));
}

TEST_F(ZvoPrintTest, TextsGoToTheirGridCellOrAcrossTheWholeColumns) {
  const int full = W() * engine_->Columns();
  engine_->NewPage(QStringLiteral("Grid"));
  engine_->DrawTextAt(1, 1, false, QStringLiteral("origin"));
  engine_->DrawTextAt(7, 3, true, QStringLiteral("framed"));
  engine_->DrawTextAt(20, 40, false, QStringLiteral("far"));
  struct Aligned {
    int alignment;
    const char* text;
  };
  const Aligned aligned[] = {{TZvoPrint::kLeft, "left"}, {TZvoPrint::kRight, "right"}, {TZvoPrint::kCentre, "centre"},
                             {3, "three"},               {-1, "minus"}};
  int row = 10;
  for (const Aligned& a : aligned) engine_->DrawTextAligned(a.alignment, row++, false, QString::fromLatin1(a.text));
  engine_->EndDocument();

  const std::vector<pdf::Page> pages = Printed();
  ASSERT_EQ(pages.size(), 1U);
  const pdf::Page& page = pages[0];
  struct At {
    const char* text;
    int column;
    int row;
  };
  for (const At& at : {At{"origin", 1, 1}, At{"framed", 7, 3}, At{"far", 20, 40}}) {
    SCOPED_TRACE(at.text);
    const pdf::Word w = Only(page, QString::fromLatin1(at.text));
    EXPECT_NEAR(w.xMin, Pt(W() * (at.column - 1)), kTolerancePt);
    EXPECT_NEAR(w.yMin, Pt(H() * (at.row - 1)), kTolerancePt);
  }
  row = 10;
  for (const Aligned& a : aligned) {
    SCOPED_TRACE(a.text);
    const pdf::Word w = Only(page, QString::fromLatin1(a.text));
    EXPECT_NEAR(w.yMin, Pt(H() * (row++ - 1)), kTolerancePt);
    if (a.alignment == TZvoPrint::kRight) {
      EXPECT_NEAR(w.xMax, Pt(full), kTolerancePt);
    } else if (a.alignment == TZvoPrint::kCentre) {
      EXPECT_NEAR(Centre(w), Pt(full / 2), kTolerancePt);
    } else {
      EXPECT_NEAR(w.xMin, Pt(0), kTolerancePt);
    }
  }
}

// The value is placed by the label's width in bold, the style it is drawn in.
TEST_F(ZvoPrintTest, ALabelsValueFollowsItInBold) {
  const QString label = QStringLiteral("Installer name: ");
  const QString value = QStringLiteral("Wallpaper");
  engine_->SetBold(true);
  const int labelWidth = engine_->TextWidth(label);
  const int boldValueWidth = engine_->TextWidth(value);
  engine_->SetBold(false);
  ASSERT_GT(boldValueWidth - engine_->TextWidth(value), 20) << "bold must be told from regular";
  ASSERT_GT(labelWidth - engine_->TextWidth(label), 20);

  engine_->NewPage(QStringLiteral("Labels"));
  engine_->DrawLabelValue(4, 3, value, label);
  EXPECT_FALSE(engine_->Font().bold());
  engine_->EndDocument();

  const std::vector<pdf::Page> pages = Printed();
  ASSERT_EQ(pages.size(), 1U);
  const pdf::Word installer = Only(pages[0], QStringLiteral("Installer"));
  const pdf::Word v = Only(pages[0], value);
  EXPECT_NEAR(installer.xMin, Pt(W() * 3), kTolerancePt);
  EXPECT_NEAR(installer.yMin, Pt(H() * 2), kTolerancePt);
  EXPECT_NEAR(v.xMin, Pt(W() * 3 + labelWidth), kTolerancePt);
  EXPECT_NEAR(v.yMin, installer.yMin, kTolerancePt);
  EXPECT_NEAR(v.xMax - v.xMin, boldValueWidth * kPointsPerDot, kTolerancePt);
}

TEST_F(ZvoPrintTest, ACellsTextIsAlignedBetweenItsFirstAndLastColumn) {
  const int first = 5;
  const int last = 14;
  const int a = W() * (first - 1);
  const int d = W() * (last - 1);
  struct Case {
    int alignment;
    bool bold;
    const char* text;
  };
  const Case cases[] = {{TZvoPrint::kLeft, false, "Start"},
                        {TZvoPrint::kRight, false, "End"},
                        {TZvoPrint::kCentre, false, "Middle"},
                        {TZvoPrint::kRight, true, "Heavy"}};
  engine_->NewPage(QStringLiteral("Cells"));
  int row = 2;
  for (const Case& c : cases) engine_->DrawCell(first, last, c.bold, QString::fromLatin1(c.text), row++, c.alignment);
  EXPECT_FALSE(engine_->Font().bold());
  engine_->EndDocument();

  const std::vector<pdf::Page> pages = Printed();
  ASSERT_EQ(pages.size(), 1U);
  row = 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const pdf::Word w = Only(pages[0], QString::fromLatin1(c.text));
    EXPECT_NEAR(w.yMin, Pt(H() * (row++ - 1)), kTolerancePt);
    if (c.alignment == TZvoPrint::kRight) {
      EXPECT_NEAR(w.xMax, Pt(d), kTolerancePt);
    } else if (c.alignment == TZvoPrint::kCentre) {
      EXPECT_NEAR(Centre(w), Pt((a + d) / 2), kTolerancePt);
    } else {
      EXPECT_NEAR(w.xMin, Pt(a), kTolerancePt);
    }
  }
}

// Every other cell blank: one-column cells side by side would read as one word.
class EvenCells : public TGetTabVal {
 public:
  using TGetTabVal::TGetTabVal;
  QString GetText(int index) const override { return index % 2 == 0 ? TGetTabVal::GetText(index) : QString(); }
};

// Ten cells of two columns a row is how every table of the report is drawn; three of
// one column tells whether a row ends on its last column.
TEST_F(ZvoPrintTest, ACellRowFillsRowsUnderItsTitle) {
  struct Case {
    int count;
    int perRow;
    int cellWidth;
    int rows;
    int lastRowCells;
  };
  const Case cases[] = {{99, 10, 2, 10, 9}, {0, 10, 2, 0, 0}, {128, 10, 2, 13, 8}, {10, 10, 2, 1, 10}, {7, 3, 1, 3, 1}};
  const auto evenOnly = [](const Case& c) { return c.cellWidth == 1; };
  const int column = 3;
  const int row = 2;
  engine_->NewPage(QStringLiteral("Tables"));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    if (i > 0) engine_->NewPage(QString());
    const std::unique_ptr<TGetTabVal> provider = evenOnly(cases[i]) ? std::make_unique<EvenCells>(cases[i].count)
                                                                   : std::make_unique<TGetTabVal>(cases[i].count);
    engine_->DrawCellRow(column, row, *provider, QStringLiteral("Numbers"), cases[i].perRow, cases[i].cellWidth);
  }
  engine_->EndDocument();

  const std::vector<pdf::Page> pages = Printed();
  ASSERT_EQ(pages.size(), std::size(cases));
  for (std::size_t p = 0; p < pages.size(); ++p) {
    const Case& c = cases[p];
    SCOPED_TRACE(std::to_string(c.count) + " cells, " + std::to_string(c.perRow) + " a row");
    const pdf::Page& page = pages[p];
    const int shown = evenOnly(c) ? (c.count + 1) / 2 : c.count;
    EXPECT_EQ(page.words.size(), static_cast<std::size_t>(shown) + 1) << page.Joined().toStdString();
    const int lastColumn = column + c.perRow * c.cellWidth - 1;
    const pdf::Word title = Only(page, QStringLiteral("Numbers"));
    EXPECT_NEAR(title.yMin, Pt(H() * (row - 1)), kTolerancePt);
    EXPECT_NEAR(Centre(title), Pt((W() * (column - 1) + W() * (lastColumn - 1)) / 2), kTolerancePt);

    // Rows under the title, told by position alone, and the cells each holds.
    std::map<long, int> cellsOfRow;
    for (int i = 0; i < c.count; i += evenOnly(c) ? 2 : 1) {
      const pdf::Word w = Only(page, QString::number(i));
      const int expectedRow = row + 1 + i / c.perRow;
      const int a = W() * (column - 1 + c.cellWidth * (i % c.perRow));
      EXPECT_NEAR(w.yMin, Pt(H() * (expectedRow - 1)), kTolerancePt) << i;
      EXPECT_NEAR(Centre(w), Pt(a + W() * (c.cellWidth - 1) / 2), kTolerancePt) << i;
      ++cellsOfRow[std::lround((w.yMin - title.yMin) / (H() * kPointsPerDot))];
    }
    EXPECT_EQ(static_cast<int>(cellsOfRow.size()), c.rows);
    if (!cellsOfRow.empty()) {
      EXPECT_EQ(cellsOfRow.begin()->first, 1);
      EXPECT_EQ(cellsOfRow.rbegin()->first, c.rows);
      EXPECT_EQ(cellsOfRow.rbegin()->second, c.lastRowCells);
    }
  }
}

}  // namespace
