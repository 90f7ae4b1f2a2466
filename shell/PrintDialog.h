// The one way every print of the program goes: one run prints one document. Where it
// goes is decided in this order:
//   1. the environment variable KORVANEX_PRINT_TO_PDF names a PDF file: printed there,
//      no dialog;
//   2. a hook is set (tests): it answers in place of the dialog;
//   3. the print dialog.
#pragma once

#include <QString>
#include <functional>

#include "shell/WaitCursor.h"

class QPrinter;
class QWidget;

// Gets the printer as the dialog would show it; answers whether to print. It may change
// the printer (PrintToPdf); an empty hook gives the dialog back.
using PrintDialogHook = std::function<bool(QPrinter& printer)>;
void SetPrintDialogHook(PrintDialogHook hook);

// Points the printer at a PDF file: A4 portrait at a fixed resolution and fixed margins.
void PrintToPdf(QPrinter& printer, const QString& file);
// The file KORVANEX_PRINT_TO_PDF names; empty when every print goes to a chosen printer.
QString FixedPdfFile();
// The print dialog on the printer (or the test's hook in its place); true when confirmed.
bool ShowPrintDialog(QWidget* owner, QPrinter& printer);
// What the user is told when the printer's output could not be written.
QString PrintFailureText(const QPrinter& printer);

// A file name made of the text, safe in any folder: no separators, no dots, no colons.
QString SafeFileName(const QString& text);
// The PDF file the print dialog proposes for a document with no printer installed: named
// after it, in the home folder.
QString ProposedPdfFile(const QString& docName);

// Prints one document, named docName (the job's name; a PDF file's title), that paint
// draws on the chosen printer under the hourglass cursor. A print that cannot be written
// is told in an error box owned by owner. True when it was printed; false when cancelled
// or failed.
bool PrintDocument(QWidget* owner, const QString& docName, const std::function<void(QPrinter&)>& paint);
