#include "shell/PrintDialog.h"

#include <QDir>
#include <QGuiApplication>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>

#include "shell/Boxes.h"

namespace {

constexpr int kPdfResolution = 1200;

PrintDialogHook& Hook() {
  static PrintDialogHook hook;
  return hook;
}

// The hourglass for the time of a print, put back also when painting throws.
class WaitCursor {
 public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// Asks where to print; true to print.
bool Choose(QWidget* owner, QPrinter& printer, const QString& docName) {
  const QString file = qEnvironmentVariable("KORVANEX_PRINT_TO_PDF");
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
    printer.setOutputFileName(QDir::home().filePath(safe + QStringLiteral(".pdf")));
  }
  bool accepted = false;
  if (Hook()) {
    accepted = Hook()(printer);
  } else {
    QPrintDialog dialog(&printer, owner);
    accepted = dialog.exec() == QDialog::Accepted;
  }
  printer.setDocName(docName);
  return accepted;
}

}  // namespace

void SetPrintDialogHook(PrintDialogHook hook) { Hook() = std::move(hook); }

void PrintToPdf(QPrinter& printer, const QString& file) {
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(file);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Portrait);
  printer.setResolution(kPdfResolution);
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

bool PrintDocument(QWidget* owner, const QString& docName, const std::function<void(QPrinter&)>& paint) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(docName);
  if (!Choose(owner, printer, docName)) return false;
  {
    WaitCursor wait;
    paint(printer);
  }
  // Qt's printing says nothing when the file cannot be written or the printer refuses:
  // the printer is then left in its error state.
  if (printer.printerState() != QPrinter::Error) return true;
  const QString target = printer.outputFileName();
  ShowErrorBox(owner, target.isEmpty()
                          ? QStringLiteral("Unable to print on %1.").arg(printer.printerName())
                          : QStringLiteral("Unable to print to the file\r\n%1").arg(QDir::toNativeSeparators(target)));
  return false;
}
