// Small pieces every editor window builds its controls with.
#pragma once

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QString>
#include <QTime>
#include <initializer_list>

#include "model/TimeOfDay.h"
#include "platform/StringList.h"
#include "shell/UiText.h"

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

// The window's buttons in a row at its right.
inline QHBoxLayout* ButtonRow(std::initializer_list<QWidget*> buttons) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  for (QWidget* b : buttons) row->addWidget(b);
  return row;
}

inline QLabel* Caption(QWidget* parent, const char* name) { return Named(new QLabel(parent), name); }

// The list's texts with their objects, without the box's change signals.
inline void Fill(QComboBox* box, const platform::StringList& list) {
  const QSignalBlocker blocker(box);
  box->clear();
  for (const auto& item : list.Items()) box->addItem(FromAnsi(item.text), static_cast<int>(item.object));
}

// An entry only for an index the list holds: a stored code outside it shows no entry and
// is kept, not replaced by whatever entry the list would fall on.
inline void Select(QComboBox* box, int index) {
  const QSignalBlocker blocker(box);
  box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

inline QTime ToQTime(TTimeHM t) { return QTime(t.hour, t.minute); }
inline TTimeHM ToTimeHM(const QTime& t) { return {t.hour(), t.minute()}; }
