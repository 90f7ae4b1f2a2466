#include "shell/PrintDialog.h"

#include <QDir>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>

#include "shell/Boxes.h"

namespace {

constexpr int kPdfResolution = 600;
// About the unprintable edges of a laser printer: what the report's A4 geometry assumes.
constexpr double kPdfMarginMm = 5.0;

PrintDialogHook& Hook() {
  static PrintDialogHook hook;
  return hook;
}

// Asks where to print; true to print.
bool Choose(QWidget* owner, QPrinter& printer, const QString& docName) {
  const QString file = FixedPdfFile();
  if (!file.isEmpty()) {
    PrintToPdf(printer, file);
    return true;
  }
  // The dialog proposes a PDF file named after the document, and a name holding the
  // slashes of a date would name folders that do not exist: it sees a safe name, and
  // the job takes its own name once the choice is made.
  const QString safe = SafeFileName(docName);
  printer.setDocName(safe);
  if (printer.outputFormat() == QPrinter::PdfFormat && printer.outputFileName().isEmpty()) {
    // No printer installed: printing to a file is the default, into the home folder.
    printer.setOutputFileName(ProposedPdfFile(docName));
  }
  const bool accepted = ShowPrintDialog(owner, printer);
  printer.setDocName(docName);
  return accepted;
}

}  // namespace

void SetPrintDialogHook(PrintDialogHook hook) { Hook() = std::move(hook); }

QString FixedPdfFile() { return qEnvironmentVariable("KORVANEX_PRINT_TO_PDF"); }

bool ShowPrintDialog(QWidget* owner, QPrinter& printer) {
  if (Hook()) return Hook()(printer);
  QPrintDialog dialog(&printer, owner);
  return dialog.exec() == QDialog::Accepted;
}

QString PrintFailureText(const QPrinter& printer) {
  const QString target = printer.outputFileName();
  return target.isEmpty() ? QStringLiteral("Unable to print on %1.").arg(printer.printerName())
                          : QStringLiteral("Unable to print to the file\r\n%1").arg(QDir::toNativeSeparators(target));
}

void PrintToPdf(QPrinter& printer, const QString& file) {
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(file);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Portrait);
  printer.setResolution(kPdfResolution);
  printer.setFullPage(false);
  printer.setPageMargins(QMarginsF(kPdfMarginMm, kPdfMarginMm, kPdfMarginMm, kPdfMarginMm), QPageLayout::Millimeter);
}

QString SafeFileName(const QString& text) {
  QString name;
  name.reserve(text.size());
  for (QChar c : text) {
    name += c.isLetterOrNumber() || c == QLatin1Char(' ') || c == QLatin1Char('-') || c == QLatin1Char('_')
                ? c
                : QLatin1Char('-');
  }
  name = name.trimmed();
  return name.isEmpty() ? QStringLiteral("print") : name;
}

QString ProposedPdfFile(const QString& docName) {
  return QDir::home().filePath(SafeFileName(docName) + QStringLiteral(".pdf"));
}

bool PrintDocument(QWidget* owner, const QString& docName, const std::function<void(QPrinter&)>& paint) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(docName);
  if (!Choose(owner, printer, docName)) return false;
  {
    TWaitCursor wait;
    paint(printer);
  }
  // Qt's printing says nothing when the file cannot be written or the printer refuses:
  // the printer is then left in its error state.
  if (printer.printerState() != QPrinter::Error) return true;
  ShowErrorBox(owner, PrintFailureText(printer));
  return false;
}
