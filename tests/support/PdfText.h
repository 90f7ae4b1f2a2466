// What a printed PDF file holds, read back with poppler-utils (pdftotext, pdfinfo).
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include "support/Patience.h"

namespace pdf {

// The tool's standard output; a null string when it cannot run or fails.
inline QString RunTool(const QString& tool, const QStringList& arguments) {
  QProcess process;
  process.start(tool, arguments);
  if (!process.waitForFinished(testwait::kPatienceMs) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
    return {};
  }
  return QString::fromUtf8(process.readAllStandardOutput());
}

// The text of the file, laid out as printed.
inline QString Text(const QString& file) {
  return RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")});
}

// The document's title (the print job's name).
inline QString Title(const QString& file) {
  const QString info = RunTool(QStringLiteral("pdfinfo"), {file});
  for (const QString& line : info.split(QLatin1Char('\n'))) {
    if (line.startsWith(QLatin1String("Title:"))) return line.mid(6).trimmed();
  }
  return {};
}

}  // namespace pdf
