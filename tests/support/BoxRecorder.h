// Stands in for the program's boxes while it lives: records every box shown and answers
// from a queue, then OK for the message and error boxes and No for questions.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

#include "shell/Boxes.h"

class BoxRecorder : public BoxHandler {
 public:
  struct Box {
    BoxKind kind;
    QWidget* owner;
    QString text;
  };

  BoxRecorder() : previous_(SetBoxHandler(this)) {}
  ~BoxRecorder() override { SetBoxHandler(previous_); }
  BoxRecorder(const BoxRecorder&) = delete;
  BoxRecorder& operator=(const BoxRecorder&) = delete;

  // Queues the modal result of the next box.
  void Answer(int result) { answers_.push_back(result); }

  int Show(BoxKind kind, QWidget* owner, const QString& text) override {
    boxes_.push_back({kind, owner, text});
    if (answers_.empty()) return kind == BoxKind::Query ? kResultNo : kResultOk;
    const int result = answers_.front();
    answers_.pop_front();
    return result;
  }

  const std::vector<Box>& Boxes() const { return boxes_; }
  QStringList Texts() const {
    QStringList texts;
    for (const Box& box : boxes_) texts << box.text;
    return texts;
  }
  void Clear() {
    boxes_.clear();
    answers_.clear();
  }

 private:
  BoxHandler* previous_;
  std::vector<Box> boxes_;
  std::deque<int> answers_;
};
