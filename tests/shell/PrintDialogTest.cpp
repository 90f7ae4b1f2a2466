// Where a print goes: the PDF file the environment names, the test's answer, or the
// print dialog; and what the user is told when it cannot be written.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <cstdlib>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "shell/PrintDialog.h"
#include "support/BoxRecorder.h"
#include "support/PdfText.h"
#include "support/RunModal.h"
#include "support/TempHome.h"

namespace {

constexpr const char* kEnvironment = "KORVANEX_PRINT_TO_PDF";

class PrintDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv(kEnvironment);
    SetPrintDialogHook([this](QPrinter& printer) {
      seen_.push_back({printer.docName(), printer.outputFileName(), printer.outputFormat()});
      return answer_ ? answer_(printer) : false;
    });
  }
  void TearDown() override {
    ::unsetenv(kEnvironment);
    SetPrintDialogHook({});
  }

  // Prints one line of text; counts the runs.
  bool Print(const QString& docName) {
    return PrintDocument(nullptr, docName, [this](QPrinter& printer) {
      ++painted_;
      QPainter painter(&printer);
      painter.drawText(QPointF(100, 100), QStringLiteral("Printed line"));
    });
  }
  QString File(const char* name) const { return QString::fromStdString(home_.Sub(name)); }

  struct Seen {
    QString docName;
    QString outputFile;
    QPrinter::OutputFormat format;
  };
  TempHome home_;
  BoxRecorder boxes_;
  std::function<bool(QPrinter&)> answer_;
  std::vector<Seen> seen_;
  int painted_ = 0;
};

TEST_F(PrintDialogTest, TheEnvironmentsFileIsPrintedWithoutDialog) {
  ::setenv(kEnvironment, File("env.pdf").toLocal8Bit().constData(), 1);
  EXPECT_TRUE(Print(QStringLiteral("Job 1/2")));
  EXPECT_TRUE(seen_.empty());
  EXPECT_TRUE(pdf::Text(File("env.pdf")).contains(QStringLiteral("Printed line")));
  EXPECT_EQ(pdf::Title(File("env.pdf")), QStringLiteral("Job 1/2"));
  EXPECT_TRUE(boxes_.Texts().isEmpty());
}

TEST_F(PrintDialogTest, ACancelledDialogPrintsNothing) {
  EXPECT_FALSE(Print(QStringLiteral("Job")));
  EXPECT_EQ(seen_.size(), 1U);
  EXPECT_EQ(painted_, 0);
  EXPECT_TRUE(QDir(QString::fromStdString(home_.Path())).entryList({QStringLiteral("*.pdf")}).isEmpty());
  EXPECT_TRUE(boxes_.Texts().isEmpty());
}

TEST_F(PrintDialogTest, WithoutHookThePrintDialogAsks) {
  SetPrintDialogHook({});
  bool printed = true;
  bool shown = false;
  const ModalRun run = RunModal(
      [&] {
        printed = Print(QStringLiteral("Job"));
        return 0;
      },
      [&](QDialog& dialog) {
        shown = qobject_cast<QPrintDialog*>(&dialog) != nullptr;
        dialog.reject();
      });
  EXPECT_TRUE(shown);
  EXPECT_FALSE(run.stayedOpen);
  EXPECT_FALSE(printed);
  EXPECT_EQ(painted_, 0);
}

// Without a printer the dialog prints to a file named after the document: taken as it
// is proposed, it is written, though the name holds a date's slashes, colons and dots;
// the job itself keeps its name.
TEST_F(PrintDialogTest, TheProposedFileCanBeWrittenWhateverTheDocumentsName) {
  const QString name = QStringLiteral("DATABASE DIAGNOSIS  01/02/2024 10:00:00 v1.2");
  answer_ = [](QPrinter& printer) { return printer.outputFormat() == QPrinter::PdfFormat; };
  ASSERT_TRUE(Print(name));
  ASSERT_EQ(seen_.size(), 1U);
  if (seen_[0].format != QPrinter::PdfFormat) GTEST_SKIP() << "a printer is installed";
  const QFileInfo proposed(seen_[0].outputFile);
  EXPECT_EQ(proposed.absolutePath(), QString::fromStdString(home_.Path()));
  EXPECT_EQ(proposed.fileName(), QStringLiteral("DATABASE DIAGNOSIS  01-02-2024 10-00-00 v1-2.pdf"));
  EXPECT_TRUE(proposed.exists());
  EXPECT_EQ(pdf::Title(proposed.filePath()), name);
  EXPECT_TRUE(boxes_.Texts().isEmpty());
}

TEST_F(PrintDialogTest, APrintThatCannotBeWrittenIsTold) {
  const QString unwritable = File("no-such-folder/out.pdf");
  for (bool fromEnvironment : {false, true}) {
    SCOPED_TRACE(fromEnvironment ? "file of the environment" : "file chosen in the dialog");
    boxes_.Clear();
    if (fromEnvironment) {
      ::setenv(kEnvironment, unwritable.toLocal8Bit().constData(), 1);
    } else {
      answer_ = [&unwritable](QPrinter& printer) {
        PrintToPdf(printer, unwritable);
        return true;
      };
    }
    EXPECT_FALSE(Print(QStringLiteral("Job")));
    ASSERT_EQ(boxes_.Boxes().size(), 1U);
    EXPECT_EQ(boxes_.Boxes()[0].kind, BoxKind::Error);
    EXPECT_TRUE(boxes_.Texts()[0].contains(unwritable)) << boxes_.Texts()[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists(unwritable));
  }
}

TEST_F(PrintDialogTest, TheHourglassGoesAlsoWhenPaintingFails) {
  answer_ = [this](QPrinter& printer) {
    PrintToPdf(printer, File("out.pdf"));
    return true;
  };
  EXPECT_THROW(PrintDocument(nullptr, QStringLiteral("Job"), [](QPrinter&) { throw std::runtime_error("broken"); }),
               std::runtime_error);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
