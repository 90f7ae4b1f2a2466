// The base of the print engines: one printer of its own, the geometry of an A4 portrait
// sheet on it, the document opened by the first page and closed by EndDocument, and
// drawing on a character grid whose cell is the letter "W" in the current font. All
// coordinates are device dots of the printable area unless a name says column or row;
// columns and rows count from 1.
#pragma once

#include <QFont>
#include <QPrinter>
#include <QString>
#include <memory>

class QPainter;
class QWidget;

// The one printer choice of the program: the printer last confirmed in a print dialog.
// Every engine copies it when it re-reads its geometry.
QPrinter& GlobalPrinter();
// The print dialog on that choice; true when confirmed. With no printer installed it
// proposes a PDF file of the name in the home folder, kept only when confirmed.
bool ChooseGlobalPrinter(QWidget* owner, const QString& fileName);

// Gives the texts of the cells of a table: here the index itself in decimal.
class TGetTabVal {
 public:
  explicit TGetTabVal(int count = 0, int group = 0) : count_(count), group_(group) {}
  TGetTabVal(const TGetTabVal&) = delete;
  TGetTabVal& operator=(const TGetTabVal&) = delete;
  virtual ~TGetTabVal() = default;

  // An empty text leaves the cell blank.
  virtual QString GetText(int index) const;
  int Count() const { return count_; }
  int Group() const { return group_; }

 protected:
  int count_;
  int group_;
};

class TZvoPrint {
 public:
  // Alignments of DrawTextAligned (any other value is left) and of DrawCell.
  static constexpr int kLeft = 0;
  static constexpr int kRight = 1;
  static constexpr int kCentre = 2;

  TZvoPrint();
  TZvoPrint(const TZvoPrint&) = delete;
  TZvoPrint& operator=(const TZvoPrint&) = delete;
  virtual ~TZvoPrint();

  // Opens the document with the first page; an empty title keeps the previous one.
  // Raises when the printer cannot be written.
  virtual void NewPage(const QString& title);
  virtual void PrintHeader() {}
  // Hands the document to the printer; raises when its output could not be written.
  virtual void EndDocument();
  // Drops a document a failure interrupted, so the next print starts a new one.
  void AbortDocument();
  // Re-reads the printer choice and the device geometry; outside a document only.
  void UpdatePrinterGeometry();
  // Whether prints have somewhere to go: a printer, or a PDF file named.
  bool HasDestination() const;

  void DrawTextBox(const QString& text, bool framed, int x, int y);
  void DrawTextAt(int column, int row, bool framed, const QString& text);
  void DrawTextAligned(int alignment, int row, bool framed, const QString& text);
  void DrawCellFrame(int column, int row, int yOrigin, int xOrigin, int rows, int columns);
  void DrawLabelValue(int column, int row, const QString& value, const QString& label);
  void DrawCell(int first, int last, bool bold, const QString& text, int row, int alignment);
  void DrawCellRow(int column, int row, const TGetTabVal& provider, const QString& title, int perRow,
                   int cellWidth);

  // The canvas: its font (name, size, bold), pen width and measures in dots.
  QFont& Font() { return font_; }
  void SetFont(const QString& family, int pointSize);
  void SetBold(bool bold) { font_.setBold(bold); }
  int PenWidth() const { return penWidth_; }
  void SetPenWidth(int width) { penWidth_ = width; }
  int TextWidth(const QString& text) const;
  int TextHeight(const QString& text) const;
  // The grid cell: the size of "W" in the current font.
  int CellWidth() const { return TextWidth(QStringLiteral("W")); }
  int CellHeight() const { return TextHeight(QStringLiteral("W")); }
  // The clip rectangle's right and bottom edges: the printable area.
  int ClipRight() const;
  int ClipBottom() const;
  int Columns() const { return ClipRight() / CellWidth(); }
  int Rows() const { return ClipBottom() / CellHeight(); }

  int PageCount() const { return pageCount_; }
  const QString& Title() const { return title_; }
  bool Printing() const { return painter_ != nullptr; }
  float DotsPerMmX() const { return dotsPerMmX_; }
  float DotsPerMmY() const { return dotsPerMmY_; }
  int PhysicalWidth() const { return physicalWidth_; }
  int PhysicalHeight() const { return physicalHeight_; }
  int HorizontalOffset() const { return horizontalOffset_; }
  int VerticalOffset() const { return verticalOffset_; }
  int HorizontalOffsetMm() const { return horizontalOffsetMm_; }
  int VerticalOffsetMm() const { return verticalOffsetMm_; }
  QPrinter& Printer() { return printer_; }

  // The offsets of an A4 sheet for a printable area of width x height dots: half a
  // millimetre outward horizontally, inward vertically.
  static void A4Offsets(float dotsPerMmX, float dotsPerMmY, int width, int height, int& horizontal, int& vertical);

 private:
  QPainter& Canvas();
  // Draws the text with its top-left corner at (x, y), clipped to the box.
  void DrawClipped(const QString& text, int x, int y, const QRect& clip);
  void DrawFrame(const QRect& box, int penWidth);

  QPrinter printer_;
  std::unique_ptr<QPainter> painter_;
  QFont font_;
  int penWidth_ = 1;
  int pageCount_ = 0;
  QString title_;
  float dotsPerMmX_ = 0;
  float dotsPerMmY_ = 0;
  int physicalWidth_ = 0;
  int physicalHeight_ = 0;
  int horizontalOffset_ = 0;
  int verticalOffset_ = 0;
  int horizontalOffsetMm_ = 0;
  int verticalOffsetMm_ = 0;
};
