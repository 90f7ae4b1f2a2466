// The program's own modal boxes: a warning box with OK (TFormZvoMessage), a yes/no
// question box (TFormZvoQuery) and an error box with OK (TFormZvoError). Every box the
// program shows goes through ShowBox, so that tests can record the texts and answer.
#pragma once

#include <QString>

class QWidget;

enum class BoxKind { Message, Query, Error };

// Modal results of the boxes.
constexpr int kResultOk = 1;
constexpr int kResultYes = 6;
constexpr int kResultNo = 7;

// Stands in for the boxes while installed (tests); ShowBox then returns its answer.
class BoxHandler {
 public:
  virtual ~BoxHandler() = default;
  virtual int Show(BoxKind kind, QWidget* owner, const QString& text) = 0;
};

// Installs a handler (nullptr: the real boxes again); answers the previous one.
BoxHandler* SetBoxHandler(BoxHandler* handler);

// Shows the box of the kind modally and returns its modal result. Texts break lines
// with "\r\n" as the string table writes them.
int ShowBox(BoxKind kind, QWidget* owner, const QString& text);

// The warning box without owner.
void ShowMessageBox(const QString& text);
// The error box owned by a window.
void ShowErrorBox(QWidget* owner, const QString& text);
// The question box owned by a window; true only for Yes.
bool AskQuestion(QWidget* owner, const QString& text);
