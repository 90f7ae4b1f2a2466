// Small pieces every editor window builds its controls with.
#pragma once

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QString>
#include <QTime>
#include <QTimeEdit>
#include <QVariant>
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

// A duration picker ("min sec"): the hour field holds minutes, the minute field seconds;
// each field wraps on its own, which the limiters rely on.
inline QTimeEdit* DurationPicker(QWidget* parent, const char* name) {
  auto* picker = Named(new QTimeEdit(parent), name);
  picker->setWrapping(true);
  picker->setDisplayFormat(QStringLiteral("HH:mm"));
  return picker;
}

// The minutes field as last accepted: where a step of the seconds came from.
inline constexpr const char* kAcceptedMinutes = "kvxAcceptedMinutes";

// Shows the duration without the picker's change signal, and accepts it.
inline void ShowDuration(QTimeEdit* picker, TTimeHM t) {
  const QSignalBlocker blocker(picker);
  picker->setTime(ToQTime(t));
  picker->setProperty(kAcceptedMinutes, t.hour);
}

// A duration of a picker (minutes in the hour field, seconds in the minute one) in seconds.
inline int DurationSeconds(TTimeHM t) { return t.hour * 60 + t.minute; }

// Keeps a duration picker from low to high minutes (high with no seconds), wrapping at
// both ends: below low (the minutes wrapped to 23 included) gives high, above high gives
// low, and the seconds wrapping at high give high - 1 minutes 59 seconds, or high again
// when they came from below.
inline TTimeHM LimitDuration(TTimeHM value, int acceptedMinutes, TTimeHM low, TTimeHM high) {
  if (value.hour == 23 || DurationSeconds(value) < DurationSeconds(low)) return high;
  if (value.hour == high.hour && value.minute == 59) {
    return acceptedMinutes == high.hour - 1 ? high : TTimeHM{high.hour - 1, 59};
  }
  if (DurationSeconds(value) > DurationSeconds(high)) return low;
  return value;
}

// Applies the limits to what the user set, and shows and accepts the result.
inline TTimeHM LimitPicker(QTimeEdit* picker, TTimeHM low, TTimeHM high) {
  const TTimeHM limited =
      LimitDuration(ToTimeHM(picker->time()), picker->property(kAcceptedMinutes).toInt(), low, high);
  ShowDuration(picker, limited);
  return limited;
}
