// What a printed PDF file holds, read back with poppler-utils (pdftotext, pdfinfo).
#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <vector>

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

// A word as pdftotext -bbox places it, in points from the page's top-left corner.
struct Word {
  QString text;
  double xMin = 0;
  double yMin = 0;
  double xMax = 0;
  double yMax = 0;
};

struct Page {
  double width = 0;
  double height = 0;
  std::vector<Word> words;

  // The words that are exactly the text, in reading order.
  std::vector<Word> Find(const QString& text) const {
    std::vector<Word> found;
    for (const Word& w : words) {
      if (w.text == text) found.push_back(w);
    }
    return found;
  }
  // The page's words joined by blanks, in reading order.
  QString Joined() const {
    QStringList texts;
    for (const Word& w : words) texts << w.text;
    return texts.join(QLatin1Char(' '));
  }
};

inline QString Unescaped(QString text) {
  text.replace(QLatin1String("&lt;"), QLatin1String("<"));
  text.replace(QLatin1String("&gt;"), QLatin1String(">"));
  text.replace(QLatin1String("&quot;"), QLatin1String("\""));
  text.replace(QLatin1String("&apos;"), QLatin1String("'"));
  text.replace(QLatin1String("&amp;"), QLatin1String("&"));
  return text;
}

// Every page of the file with its words; empty when the file cannot be read.
inline std::vector<Page> Pages(const QString& file) {
  const QString html = RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), file, QStringLiteral("-")});
  static const QRegularExpression pageRe(QStringLiteral(R"re(<page width="([\d.]+)" height="([\d.]+)">)re"));
  static const QRegularExpression wordRe(QStringLiteral(
      R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
  std::vector<Page> pages;
  for (const QString& chunk : html.split(QStringLiteral("</page>"))) {
    const QRegularExpressionMatch page = pageRe.match(chunk);
    if (!page.hasMatch()) continue;
    Page p;
    p.width = page.captured(1).toDouble();
    p.height = page.captured(2).toDouble();
    for (auto it = wordRe.globalMatch(chunk, page.capturedEnd()); it.hasNext();) {
      const QRegularExpressionMatch w = it.next();
      p.words.push_back({Unescaped(w.captured(5)), w.captured(1).toDouble(), w.captured(2).toDouble(),
                         w.captured(3).toDouble(), w.captured(4).toDouble()});
    }
    pages.push_back(std::move(p));
  }
  return pages;
}

}  // namespace pdf
