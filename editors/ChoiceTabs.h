// A row of exclusive choices that may also have none chosen (index -1), where a tab bar
// always has a current tab. It tells only of the user's changes.
#pragma once

#include <QStringList>
#include <QWidget>
#include <vector>

class QButtonGroup;
class QPushButton;

class TChoiceTabs : public QWidget {
  Q_OBJECT

 public:
  explicit TChoiceTabs(QWidget* parent = nullptr);

  // One button per caption, none chosen.
  void SetCaptions(const QStringList& captions);
  int Count() const { return static_cast<int>(buttons_.size()); }
  // -1 when none is chosen.
  int Index() const;
  // An index out of range chooses none. Never signals.
  void SetIndex(int index);
  QPushButton* Button(int index) const;

 signals:
  // The user chose another entry.
  void Changed(int index);

 private:
  QButtonGroup* group_;
  int last_ = -1;
  std::vector<QPushButton*> buttons_;
};
