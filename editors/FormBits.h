// Small pieces every editor window builds its controls with.
#pragma once

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QString>
#include <QTime>
#include <QTimeEdit>
#include <QVariant>
#include <initializer_list>
#include <utility>

#include "editors/ZvoInc.h"
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

// An editable number box: digits only, at most length of them, taken as typed (completion
// would turn a typed "12" into a listed "120").
inline QComboBox* NumberComboBox(QWidget* parent, const char* name, int length) {
  auto* box = Named(new QComboBox(parent), name);
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->setCompleter(nullptr);
  box->lineEdit()->setMaxLength(length);
  InstallDigitKeyFilter(box->lineEdit());
  return box;
}

// Key preview: the window's event filter sees the key releases of all its controls.
inline void InstallKeyPreview(QWidget* window) {
  window->installEventFilter(window);
  for (QWidget* child : window->findChildren<QWidget*>()) child->installEventFilter(window);
}

// The key release the window's preview acts on, or null. A release reaches the focused
// control first, then passes up to its parents: it is taken once, where it was delivered;
// auto-repeat releases are not taken.
inline const QKeyEvent* PreviewedRelease(const QWidget* window, const QObject* watched, const QEvent* event) {
  if (event->type() != QEvent::KeyRelease) return nullptr;
  const auto* key = static_cast<const QKeyEvent*>(event);
  const QWidget* focus = QApplication::focusWidget();
  const bool delivered = watched == focus || (watched == window && !window->isAncestorOf(focus));
  return delivered && !key->isAutoRepeat() ? key : nullptr;
}

inline QLabel* Caption(QWidget* parent, const char* name) { return Named(new QLabel(parent), name); }

// Captions beside their fields, one pair a row; answers the next free row.
inline int AddRows(QWidget* page, QGridLayout* grid, std::initializer_list<std::pair<const char*, QWidget*>> rows,
                   Qt::Alignment captionAlignment = {}) {
  int row = 0;
  for (const auto& [caption, field] : rows) {
    grid->addWidget(Caption(page, caption), row, 0, captionAlignment);
    grid->addWidget(field, row++, 1);
  }
  return row;
}

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
