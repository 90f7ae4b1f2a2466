// Typing as a keyboard does it, for any text.
#pragma once

#include <QString>
#include <QTest>
#include <QWidget>

// One character per key event, with the text a keyboard gives (QTest::keyClicks cannot
// send non-ASCII text).
inline void Type(QWidget* widget, const QString& text) {
  for (QChar c : text) QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}
