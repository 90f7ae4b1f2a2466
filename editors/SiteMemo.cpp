#include "editors/SiteMemo.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>

#include "editors/ZvoInc.h"
#include "shell/UiText.h"

TSiteMemo::TSiteMemo(int maxLength, QWidget* parent) : QPlainTextEdit(parent), maxLength_(maxLength) {}

int TSiteMemo::StoredLength(const QString& text) {
  // The field holds LF (or the paragraph separator it may hand out) for a line end.
  int length = 0;
  for (QChar c : text) length += (c == QLatin1Char('\n') || c == QChar::ParagraphSeparator) ? 2 : 1;
  return length;
}

void TSiteMemo::SetSiteText(const std::string& ansi) {
  loaded_ = ansi;
  setPlainText(FromAnsi(ansi));
  shown_ = toPlainText();
}

std::string TSiteMemo::SiteText() const {
  const QString text = toPlainText();
  if (text == shown_) return loaded_;
  QString stored = Fitting(text, maxLength_);
  stored.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return ToAnsi(stored);
}

QString TSiteMemo::Fitting(const QString& text, int room) {
  int used = 0;
  qsizetype n = 0;
  for (; n < text.size(); ++n) {
    const int units = StoredLength(QString(text.at(n)));
    if (used + units > room) break;
    used += units;
  }
  return text.left(n);
}

int TSiteMemo::Room() const {
  const QString selected = textCursor().selectedText();  // line ends as paragraph separators
  return maxLength_ - Length() + StoredLength(selected);
}

void TSiteMemo::keyPressEvent(QKeyEvent* event) {
  const bool newLine = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  const QString text = newLine ? QStringLiteral("\n") : event->text();
  const bool inserts =
      newLine ? !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) : TypesCharacter(*event);
  if (inserts && StoredLength(text) > Room()) {
    event->accept();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

void TSiteMemo::insertFromMimeData(const QMimeData* source) {
  if (!source || !source->hasText()) return;
  // Carriage returns of foreign text would be kept as characters of their own.
  QString text = source->text();
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  const QString kept = Fitting(text, Room());
  if (kept.isEmpty()) return;
  QMimeData fitting;
  fitting.setText(kept);
  QPlainTextEdit::insertFromMimeData(&fitting);
}

void TSiteMemo::inputMethodEvent(QInputMethodEvent* event) {
  const QString commit = event->commitString();
  if (!commit.isEmpty()) {
    const QString kept = Fitting(commit, Room());
    if (kept != commit) event->setCommitString(kept, event->replacementStart(), event->replacementLength());
  }
  QPlainTextEdit::inputMethodEvent(event);
}
