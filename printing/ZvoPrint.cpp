#include "printing/ZvoPrint.h"

#include <QFile>
#include <QFontMetrics>
#include <QPageSize>
#include <QPainter>
#include <cmath>
#include <stdexcept>

#include "platform/Exception.h"
#include "shell/PrintDialog.h"
#include "shell/UiText.h"

namespace {

constexpr float kMmPerInchInverse = 0.0393700787F;
constexpr int kTextBoxPen = 5;
constexpr int kCellPen = 3;

[[noreturn]] void Fail(const QPrinter& printer) { throw platform::Exception(ToAnsi(PrintFailureText(printer))); }

}  // namespace

QPrinter& GlobalPrinter() {
  // Never destroyed: the printing back end must not be torn down after the application.
  static QPrinter* printer = [] {
    auto* p = new QPrinter(QPrinter::HighResolution);
    p->setPageSize(QPageSize(QPageSize::A4));
    p->setPageOrientation(QPageLayout::Portrait);
    return p;
  }();
  return *printer;
}

bool ChooseGlobalPrinter(QWidget* owner, const QString& fileName) {
  QPrinter& printer = GlobalPrinter();
  QString proposed;
  if (printer.outputFormat() == QPrinter::PdfFormat && printer.outputFileName().isEmpty()) {
    proposed = ProposedPdfFile(fileName);
    printer.setOutputFileName(proposed);
  }
  const bool confirmed = ShowPrintDialog(owner, printer);
  // A cancelled proposal must not become where the next print goes unasked.
  if (!confirmed && !proposed.isEmpty() && printer.outputFileName() == proposed) {
    printer.setOutputFileName(QString());
    printer.setOutputFormat(QPrinter::PdfFormat);
  }
  return confirmed;
}

QString TGetTabVal::GetText(int index) const { return QString::number(index); }

TZvoPrint::TZvoPrint() : printer_(QPrinter::HighResolution) { UpdatePrinterGeometry(); }

TZvoPrint::~TZvoPrint() { AbortDocument(); }

void TZvoPrint::A4Offsets(float dotsPerMmX, float dotsPerMmY, int width, int height, int& horizontal, int& vertical) {
  horizontal = static_cast<int>((dotsPerMmX * 210 - static_cast<float>(width)) * 0.5F);
  horizontal = static_cast<int>(static_cast<float>(horizontal) + dotsPerMmX * 0.5F);
  vertical = static_cast<int>((dotsPerMmY * 297 - static_cast<float>(height)) * 0.5F);
  vertical = static_cast<int>(static_cast<float>(vertical) - dotsPerMmY * 0.5F);
}

void TZvoPrint::UpdatePrinterGeometry() {
  if (painter_) throw std::logic_error("the printer changes only between documents");
  const QString fixed = FixedPdfFile();
  if (!fixed.isEmpty()) {
    PrintToPdf(printer_, fixed);
  } else {
    const QPrinter& chosen = GlobalPrinter();
    printer_.setOutputFormat(chosen.outputFormat());
    if (chosen.outputFormat() == QPrinter::NativeFormat) {
      // A file chosen before would otherwise go on receiving what the printer should.
      printer_.setOutputFileName(QString());
      printer_.setPrinterName(chosen.printerName());
    } else {
      printer_.setOutputFileName(chosen.outputFileName());
    }
    printer_.setPageLayout(chosen.pageLayout());
    printer_.setResolution(chosen.resolution());
  }
  printer_.setPageOrientation(QPageLayout::Portrait);
  dotsPerMmX_ = static_cast<float>(printer_.logicalDpiX()) * kMmPerInchInverse;
  dotsPerMmY_ = static_cast<float>(printer_.logicalDpiY()) * kMmPerInchInverse;
  physicalWidth_ = printer_.widthMM();
  physicalHeight_ = printer_.heightMM();
  A4Offsets(dotsPerMmX_, dotsPerMmY_, printer_.width(), printer_.height(), horizontalOffset_, verticalOffset_);
  if (dotsPerMmX_ != 0) {
    horizontalOffsetMm_ = static_cast<int>(std::ceil(static_cast<float>(horizontalOffset_) / dotsPerMmX_));
  }
  if (dotsPerMmY_ != 0) {
    verticalOffsetMm_ = static_cast<int>(std::ceil(static_cast<float>(verticalOffset_) / dotsPerMmY_));
  }
}

bool TZvoPrint::HasDestination() const {
  return printer_.outputFormat() == QPrinter::NativeFormat ? !printer_.printerName().isEmpty()
                                                           : !printer_.outputFileName().isEmpty();
}

void TZvoPrint::NewPage(const QString& title) {
  if (!title.isEmpty()) title_ = title;
  if (pageCount_ == 0) {
    if (!painter_) {
      auto painter = std::make_unique<QPainter>();
      if (!painter->begin(&printer_)) Fail(printer_);
      painter_ = std::move(painter);
    }
  } else if (!printer_.newPage()) {
    Fail(printer_);
  }
  ++pageCount_;
}

void TZvoPrint::EndDocument() {
  bool failed = false;
  if (painter_) {
    failed = !painter_->end() || printer_.printerState() == QPrinter::Error;
    painter_.reset();
  }
  pageCount_ = 0;
  title_.clear();
  if (failed) Fail(printer_);
}

void TZvoPrint::AbortDocument() {
  if (painter_) {
    // A PDF file cannot be aborted: ending it writes what was drawn, and a half report
    // must not be taken for a whole one.
    const bool aborted = printer_.abort();
    painter_->end();
    painter_.reset();
    if (!aborted && printer_.outputFormat() == QPrinter::PdfFormat && !printer_.outputFileName().isEmpty()) {
      QFile::remove(printer_.outputFileName());
    }
  }
  pageCount_ = 0;
  title_.clear();
}

void TZvoPrint::SetFont(const QString& family, int pointSize) {
  font_.setFamily(family);
  font_.setPointSize(pointSize);
}

int TZvoPrint::TextWidth(const QString& text) const {
  return QFontMetrics(font_, &printer_).horizontalAdvance(text);
}

int TZvoPrint::TextHeight(const QString& text) const {
  // One line's height, whatever its letters: the grid's rows do not depend on the text.
  static_cast<void>(text);
  return QFontMetrics(font_, &printer_).height();
}

int TZvoPrint::ClipRight() const { return printer_.width(); }

int TZvoPrint::ClipBottom() const { return printer_.height(); }

QPainter& TZvoPrint::Canvas() {
  if (!painter_) throw std::logic_error("drawing outside a document");
  return *painter_;
}

void TZvoPrint::DrawFrame(const QRect& box, int penWidth) {
  QPainter& canvas = Canvas();
  QPen pen(Qt::black);
  pen.setWidth(penWidth);
  canvas.setPen(pen);
  canvas.setBrush(Qt::NoBrush);
  canvas.drawRect(box);
}

void TZvoPrint::DrawClipped(const QString& text, int x, int y, const QRect& clip) {
  QPainter& canvas = Canvas();
  if (text.isEmpty()) return;
  canvas.save();
  canvas.setClipRect(clip);
  canvas.setFont(font_);
  canvas.setPen(Qt::black);
  canvas.drawText(QPoint(x, y + QFontMetrics(font_, &printer_).ascent()), text);
  canvas.restore();
}

void TZvoPrint::DrawTextBox(const QString& text, bool framed, int x, int y) {
  const int w = CellWidth();
  const int h = CellHeight();
  const int left = x - w / 2;
  const int right = x + TextWidth(text) + w / 2;
  const QRect box(left, y, right - left, h);
  if (framed) DrawFrame(box, kTextBoxPen);
  DrawClipped(text, x, y, box.adjusted(kTextBoxPen, kTextBoxPen, -kTextBoxPen, -kTextBoxPen));
}

void TZvoPrint::DrawTextAt(int column, int row, bool framed, const QString& text) {
  DrawTextBox(text, framed, CellWidth() * (column - 1), CellHeight() * (row - 1));
}

void TZvoPrint::DrawTextAligned(int alignment, int row, bool framed, const QString& text) {
  const int w = CellWidth();
  const int d = w * (ClipRight() / w) - TextWidth(text);
  const int x = alignment == kRight ? d : alignment == kCentre ? d / 2 : 0;
  DrawTextBox(text, framed, x, CellHeight() * (row - 1));
}

void TZvoPrint::DrawCellFrame(int column, int row, int yOrigin, int xOrigin, int rows, int columns) {
  const int w = CellWidth();
  const int h = CellHeight();
  const int left = xOrigin + w * (column - 1) + w / 2;
  const int top = yOrigin + h * (row - 1);
  DrawFrame(QRect(left, top, columns * w, rows * h), penWidth_);
}

void TZvoPrint::DrawLabelValue(int column, int row, const QString& value, const QString& label) {
  DrawTextAt(column, row, false, label);
  SetBold(true);
  DrawTextBox(value, false, CellWidth() * (column - 1) + TextWidth(label), CellHeight() * (row - 1));
  SetBold(false);
}

void TZvoPrint::DrawCell(int first, int last, bool bold, const QString& text, int row, int alignment) {
  const int w = CellWidth();
  const int h = CellHeight();
  const int a = w * (first - 1);
  const int d = w * (last - 1);
  const int left = a - w / 2;
  const int top = h * (row - 1);
  const QRect cell(left, top, d + w / 2 - left, h);
  DrawFrame(cell, kCellPen);
  if (bold) SetBold(true);
  const int width = TextWidth(text);
  const int m = alignment == kCentre ? (d - a) / 2 - width / 2 : alignment == kRight ? d - a - width : 0;
  DrawClipped(text, a + m, top, cell.adjusted(kCellPen, kCellPen, -kCellPen, -kCellPen));
  if (bold) SetBold(false);
}

void TZvoPrint::DrawCellRow(int column, int row, const TGetTabVal& provider, const QString& title, int perRow,
                            int cellWidth) {
  const int last = column + perRow * cellWidth - 1;
  DrawCell(column, last, false, title, row, kCentre);
  int r = row + 1;
  int c = column;
  for (int i = 0; i < provider.Count(); ++i) {
    DrawCell(c, c + cellWidth - 1, false, provider.GetText(i), r, kCentre);
    c += cellWidth;
    if (c > last) {
      ++r;
      c = column;
    }
  }
}
